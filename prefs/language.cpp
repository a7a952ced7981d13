#include "language.h"

#include "stdio_file_ex.h"

#include "framework/app.h"
#include "framework/strings.h"

#include <memory>
#include <unordered_map>

const LanguageEntry g_languageTable[kLanguageCount] = {
    {54, L"Languages\\AFRIKAANS.lang"},  {28, L"Languages\\ALBANIAN.lang"},   {1, L"Languages\\ARABIC.lang"},
    {43, L"Languages\\ARMENIAN.lang"},   {45, L"Languages\\BASQUE.lang"},     {35, L"Languages\\BELARUSIAN.lang"},
    {69, L"Languages\\BENGALI.lang"},    {2, L"Languages\\BULGARIAN.lang"},   {3, L"Languages\\CATALAN.lang"},
    {4, L"Languages\\CHINESE.lang"},     {1028, L"Languages\\TCHINESE.lang"}, {26, L"Languages\\CROATIAN.lang"},
    {5, L"Languages\\CZECH.lang"},       {6, L"Languages\\DANISH.lang"},      {19, L"Languages\\DUTCH.lang"},
    {9, L"Languages\\ENGLISH.lang"},     {37, L"Languages\\ESTONIAN.lang"},   {56, L"Languages\\FAEROESE.lang"},
    {41, L"Languages\\FARSI.lang"},      {11, L"Languages\\FINNISH.lang"},    {12, L"Languages\\FRENCH.lang"},
    {7, L"Languages\\GERMAN.lang"},      {8, L"Languages\\GREEK.lang"},       {13, L"Languages\\HEBREW.lang"},
    {14, L"Languages\\HUNGARIAN.lang"},  {15, L"Languages\\ICELANDIC.lang"},  {33, L"Languages\\INDONESIAN.lang"},
    {16, L"Languages\\ITALIAN.lang"},    {17, L"Languages\\JAPANESE.lang"},   {18, L"Languages\\KOREAN.lang"},
    {38, L"Languages\\LATVIAN.lang"},    {39, L"Languages\\LITHUANIAN.lang"}, {20, L"Languages\\NORWEGIAN.lang"},
    {21, L"Languages\\POLISH.lang"},     {22, L"Languages\\PORTUGUESE.lang"}, {24, L"Languages\\ROMANIAN.lang"},
    {25, L"Languages\\RUSSIAN.lang"},    {26, L"Languages\\SERBIAN.lang"},    {27, L"Languages\\SLOVAK.lang"},
    {36, L"Languages\\SLOVENIAN.lang"},  {10, L"Languages\\SPANISH.lang"},    {29, L"Languages\\SWEDISH.lang"},
    {30, L"Languages\\THAI.lang"},       {31, L"Languages\\TURKISH.lang"},    {66, L"Languages\\TURKMEN.lang"},
    {128, L"Languages\\UIGHUR.lang"},    {34, L"Languages\\UKRAINIAN.lang"},  {42, L"Languages\\VIETNAMESE.lang"},
};

namespace {

struct LanguageState {
    std::wstring baseFolder;
    int refCount = 0;
    std::unique_ptr<std::unordered_map<UINT, std::wstring>> strings;
    WORD requested = 0;
    WORD loaded = 0;
    std::function<LANGID()> userDefault;
};

LanguageState& State() {
    static LanguageState state;
    return state;
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& file) {
    if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) return folder + file;
    return folder + L"\\" + file;
}

void ReplaceAll(std::wstring& text, const std::wstring& from, const std::wstring& to) {
    for (size_t pos = text.find(from); pos != std::wstring::npos; pos = text.find(from, pos + to.size()))
        text.replace(pos, from.size(), to);
}

bool OpenLanguageFile(CStdioFileEx& file, const std::wstring& path) {
    return file.Open(path, fw::StdioFile::modeRead | fw::StdioFile::shareDenyWrite | fw::StdioFile::typeText);
}

bool LoadLanguageFile(const std::wstring& path, std::unordered_map<UINT, std::wstring>& map) {
    CStdioFileEx file;
    if (!OpenLanguageFile(file, path)) return false;
    std::wstring line, text;
    UINT id = 0;
    while (file.ReadString(line)) {
        if (ParseLanguageLine(line, id, text)) map[id] = std::move(text);
    }
    return true;
}

// Folder of the running program, with its trailing backslash.
std::wstring ProgramFolder() { return fw::FolderOfPath(fw::ModuleFileName(nullptr)); }

} // namespace

const wchar_t* FindLanguageFile(WORD langId) {
    for (const auto& row : g_languageTable) {
        if (row.id == langId) return row.file;
    }
    return nullptr;
}

bool ParseLanguageLine(const std::wstring& line, UINT& id, std::wstring& text) {
    size_t start = line.find_first_not_of(L" \t");
    if (start == std::wstring::npos || line[start] == L'#') return false;
    size_t colon = line.find(L':', start);
    if (colon == std::wstring::npos) return false;
    // Decimal digits after optional blanks, up to the first non-digit.
    size_t p = start;
    unsigned long long value = 0;
    bool digits = false;
    while (p < colon && iswdigit(line[p]) && line[p] < 128) {
        value = value * 10 + static_cast<unsigned>(line[p] - L'0');
        if (value > 0xFFFFFFFFull) return false;
        digits = true;
        ++p;
    }
    if (!digits || value == 0) return false;
    id = static_cast<UINT>(value);
    text = line.substr(colon + 1);
    ReplaceAll(text, L"\\r\\n", L"\r\n");
    ReplaceAll(text, L"\\n", L"\n");
    ReplaceAll(text, L"\\t", L"\t");
    return true;
}

void InitLanguage(LPCWSTR baseFolder, WORD langId) {
    LanguageState& s = State();
    s.baseFolder = baseFolder ? baseFolder : L"";
    if (++s.refCount != 1 || s.strings) return;

    s.strings = std::make_unique<std::unordered_map<UINT, std::wstring>>();
    s.strings->reserve(1000);

    WORD requested = langId;
    if (requested == 0) {
        LANGID user = s.userDefault ? s.userDefault() : GetUserDefaultLangID();
        requested = static_cast<WORD>(user & 0x3FF);
    }
    s.requested = requested;
    s.loaded = 0;

    const wchar_t* file = FindLanguageFile(requested);
    if (!file || !*file) {
        s.loaded = requested;
        return;
    }
    // The installation folder first, then the current folder. An empty
    // installation folder (no installer ran) names no folder at all, so it
    // is skipped; the program's own folder is tried last so that a copy of
    // the program started from anywhere still finds its languages.
    bool ok = (!s.baseFolder.empty() && LoadLanguageFile(JoinPath(s.baseFolder, file), *s.strings)) ||
              LoadLanguageFile(file, *s.strings) || LoadLanguageFile(ProgramFolder() + file, *s.strings);
    if (ok) s.loaded = requested;
}

void ReleaseLanguage() {
    LanguageState& s = State();
    if (s.refCount > 0 && --s.refCount == 0) {
        s.strings.reset();
        s.loaded = 0;
    }
}

int LoadTranslatedString(std::wstring& text, UINT id) {
    const LanguageState& s = State();
    if (s.strings && s.loaded != 0) {
        auto it = s.strings->find(id);
        if (it != s.strings->end()) {
            text = it->second;
            return 1;
        }
    }
    if (auto builtIn = fw::LoadResourceString(id)) {
        text = std::move(*builtIn);
        return 1;
    }
    return 0;
}

void ExtractTranslatedSubString(std::wstring& text, UINT id, LPCWSTR delimiters, int index) {
    std::wstring whole;
    if (!LoadTranslatedString(whole, id)) return;
    text = whole;
    if (!delimiters || index < 0) return;
    int part = 0;
    size_t pos = whole.find_first_not_of(delimiters);
    while (pos != std::wstring::npos) {
        size_t end = whole.find_first_of(delimiters, pos);
        if (part == index) {
            text = whole.substr(pos, end == std::wstring::npos ? std::wstring::npos : end - pos);
            return;
        }
        ++part;
        pos = end == std::wstring::npos ? end : whole.find_first_not_of(delimiters, end);
    }
}

bool ReadLanguageString(LPCWSTR relativeFile, std::wstring& text, UINT id) {
    if (!relativeFile) return false;
    CStdioFileEx file;
    if (!OpenLanguageFile(file, relativeFile) &&
        !OpenLanguageFile(file, JoinPath(State().baseFolder, relativeFile)))
        return false;
    std::wstring line, lineText;
    UINT lineId = 0;
    while (file.ReadString(line)) {
        if (ParseLanguageLine(line, lineId, lineText) && lineId == id) {
            text = std::move(lineText);
            return true;
        }
    }
    return false;
}

std::wstring TranslatedString(UINT id) {
    std::wstring text;
    LoadTranslatedString(text, id);
    return text;
}

std::wstring TranslatedText(UINT id, std::initializer_list<std::wstring> fields) {
    const std::wstring pattern = TranslatedString(id);
    std::wstring text;
    size_t from = 0;
    for (const std::wstring& field : fields) {
        const size_t at = pattern.find(L"%s", from);
        if (at == std::wstring::npos) break;
        text.append(pattern, from, at - from).append(field);
        from = at + 2;
    }
    return text.append(pattern, from, std::wstring::npos);
}

int TranslatedMessageBox(HWND owner, UINT id, UINT type, const std::wstring& detail) {
    std::wstring text = TranslatedString(id);
    if (!detail.empty()) text += L"\n\n" + detail;
    return fw::AppMessageBox(owner, text, type);
}

WORD RequestedLanguage() { return State().requested; }
WORD LoadedLanguage() { return State().loaded; }
void SetUserDefaultLanguageSource(std::function<LANGID()> source) { State().userDefault = std::move(source); }
