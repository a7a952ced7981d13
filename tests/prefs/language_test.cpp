#include "prefs/language.h"
#include "prefs/stdio_file_ex.h"

#include "framework/strings.h"
#include "res/resource_ids.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

using testing_support::CodePageFile;
using testing_support::TempDir;
using testing_support::Utf16File;

namespace {

// Every test starts and ends with no language loaded.
class Language : public ::testing::Test {
protected:
    void TearDown() override {
        while (LoadedLanguage() != 0 || RequestedLanguage() != 0) {
            ReleaseLanguage();
            if (LoadedLanguage() == 0) break;
        }
        SetUserDefaultLanguageSource({});
    }
    // Loads `langId` from `dir`, making sure any earlier load is released.
    static void Init(const TempDir& dir, WORD langId) { InitLanguage(dir.Path().c_str(), langId); }
};

const wchar_t* kSample =
    L"# A comment\r\n"
    L"\r\n"
    L"   \t# an indented comment\r\n"
    L"168:mode multi-thread\r\n"
    L"  167:  spaced: with colon\r\n"
    L"169:Administrateur\r\n"
    L"0:zero is ignored\r\n"
    L"abc:not a number\r\n"
    L":no id\r\n"
    L"200:two\\nlines\\tand tab\\r\\nend\r\n"
    L"201:first\r\n"
    L"201:second wins\r\n"
    L"202:caf\u00e9 cr\u00e8me\r\n"
    L"124:Fran\u00e7ais\r\n"
    L"166\r\n"
    L"57344:Vantrell FR";

TEST_F(Language, ParsesTheFileFormat) {
    UINT id = 0;
    std::wstring text;
    EXPECT_FALSE(ParseLanguageLine(L"# 12:comment", id, text));
    EXPECT_FALSE(ParseLanguageLine(L"   ", id, text));
    EXPECT_FALSE(ParseLanguageLine(L"0:zero", id, text));
    EXPECT_FALSE(ParseLanguageLine(L"x1:no", id, text));
    EXPECT_FALSE(ParseLanguageLine(L"12 no colon", id, text));
    ASSERT_TRUE(ParseLanguageLine(L" \t12abc:text: more", id, text));
    EXPECT_EQ(id, 12u);
    EXPECT_EQ(text, L"text: more");
    ASSERT_TRUE(ParseLanguageLine(L"7:", id, text));
    EXPECT_EQ(text, L"");
    ASSERT_TRUE(ParseLanguageLine(L"8:a\\r\\nb\\nc\\td\\x", id, text));
    EXPECT_EQ(text, L"a\r\nb\nc\td\\x");
    EXPECT_FALSE(ParseLanguageLine(L"99999999999:overflow", id, text));
}

TEST_F(Language, Utf16AndAnsiFilesGiveTheSameTexts) {
    TempDir utf16, ansi;
    utf16.WriteFile(L"Languages\\FRENCH.lang", Utf16File(kSample));
    ansi.WriteFile(L"Languages\\FRENCH.lang", CodePageFile(kSample, CP_ACP));

    std::vector<std::wstring> results[2];
    const TempDir* dirs[2] = {&utf16, &ansi};
    for (int i = 0; i < 2; ++i) {
        Init(*dirs[i], 12);
        EXPECT_EQ(LoadedLanguage(), 12);
        for (UINT id : {168u, 167u, 169u, 200u, 201u, 202u, 124u, 57344u}) results[i].push_back(TranslatedString(id));
        ReleaseLanguage();
    }
    EXPECT_EQ(results[0], results[1]);
    const auto& r = results[0];
    EXPECT_EQ(r[0], L"mode multi-thread");
    EXPECT_EQ(r[1], L"  spaced: with colon");
    EXPECT_EQ(r[2], L"Administrateur");
    EXPECT_EQ(r[3], L"two\nlines\tand tab\r\nend");
    EXPECT_EQ(r[4], L"second wins");
    EXPECT_EQ(r[5], L"caf\u00e9 cr\u00e8me");
    EXPECT_EQ(r[6], L"Fran\u00e7ais");
    EXPECT_EQ(r[7], L"Vantrell FR");
}

TEST_F(Language, IdsMissingFromTheFileFallBackToTheBuiltInTable) {
    TempDir dir;
    dir.WriteFile(L"Languages\\FRENCH.lang", Utf16File(kSample));
    Init(dir, 12);
    // 166 has a line without a colon, 100 no line at all.
    EXPECT_EQ(TranslatedString(IDS_CANNOT_LOAD_VERSION), L"Unable to load the requested IE Version.");
    EXPECT_EQ(TranslatedString(IDS_OLE_INIT_FAILED),
              L"OLE initialization failed.  Make sure that the OLE libraries are the correct version.");
    // Unknown everywhere: the caller's text stays.
    std::wstring text = L"unchanged";
    EXPECT_EQ(LoadTranslatedString(text, 9999), 0);
    EXPECT_EQ(text, L"unchanged");
    EXPECT_EQ(LoadTranslatedString(text, 168), 1);
    EXPECT_EQ(text, L"mode multi-thread");
}

// Translated patterns are filled in, never used as formats: a translation
// with other conversions, too few or too many "%s" loses or keeps a field
// and nothing else happens.
TEST_F(Language, FieldsFillEachPlaceholderInTurnWhateverTheTranslationHolds) {
    TempDir dir;
    dir.WriteFile(L"Languages\\FRENCH.lang", Utf16File(L"431:a %s b %s c\r\n"
                                                       L"432:%n%d%x %s %%s\r\n"
                                                       L"433:no field\r\n"
                                                       L"434:%s%s%s%s%s%s%s%s\r\n"));
    Init(dir, 12);
    EXPECT_EQ(TranslatedText(IDS_CHECK_UNREADABLE, {L"1", L"%s"}), L"a 1 b %s c");
    EXPECT_EQ(TranslatedText(IDS_CHECK_UNREADABLE, {L"only"}), L"a only b %s c");
    EXPECT_EQ(TranslatedText(IDS_CHECK_OTHER_UNREADABLE, {L"x", L"y"}), L"%n%d%x x %y");
    EXPECT_EQ(TranslatedText(IDS_CHECK_DIFFERS, {L"x", L"y"}), L"no field");
    EXPECT_EQ(TranslatedText(IDS_CHECK_SIZES_DIFFER, {L"1", L"2"}), L"12%s%s%s%s%s%s");
    EXPECT_EQ(TranslatedText(9999, {L"x"}), L"");
}

TEST_F(Language, ChoosesTheFileByIdOrByTheUsersLanguage) {
    TempDir dir;
    for (const wchar_t* name : {L"PORTUGUESE", L"CHINESE", L"TCHINESE", L"CROATIAN", L"SERBIAN", L"ENGLISH"})
        dir.WriteFile(std::wstring(L"Languages\\") + name + L".lang", Utf16File(std::wstring(L"124:") + name));

    const struct {
        WORD setting;
        LANGID user;
        const wchar_t* expected;
        WORD requested;
    } cases[] = {
        {0, 0x0416, L"PORTUGUESE", 22},  // Brazilian Portuguese: primary language 22
        {1028, 0x0409, L"TCHINESE", 1028},
        {0, 0x0404, L"CHINESE", 4},      // Traditional Chinese user: primary id 4
        {26, 0x0409, L"CROATIAN", 26},   // Croatian and Serbian share 26
        {0, 0x0C1A, L"CROATIAN", 26},    // a Serbian user still gets the first row
        {9, 0x040C, L"ENGLISH", 9},
    };
    for (const auto& c : cases) {
        SetUserDefaultLanguageSource([&] { return c.user; });
        Init(dir, c.setting);
        EXPECT_EQ(RequestedLanguage(), c.requested) << c.expected;
        EXPECT_EQ(LoadedLanguage(), c.requested) << c.expected;
        EXPECT_EQ(TranslatedString(IDS_LANGUAGE_NAME), c.expected);
        ReleaseLanguage();
    }
}

TEST_F(Language, MissingFilesAndUnknownLanguagesShowEnglish) {
    TempDir empty;
    Init(empty, 16);  // Italian: shipped nowhere
    EXPECT_EQ(RequestedLanguage(), 16);
    EXPECT_EQ(LoadedLanguage(), 0);
    EXPECT_EQ(TranslatedString(IDS_LANGUAGE_NAME), L"English");
    ReleaseLanguage();

    Init(empty, 0x7F);  // not in the table: the map stays empty
    EXPECT_EQ(LoadedLanguage(), 0x7F);
    EXPECT_EQ(TranslatedString(IDS_MULTI_THREAD_MODE), L"multi-thread mode");
    ReleaseLanguage();
}

TEST_F(Language, FallsBackToTheCurrentFolder) {
    TempDir dir, elsewhere;
    dir.WriteFile(L"Languages\\ITALIAN.lang", Utf16File(L"124:Italiano"));
    wchar_t before[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, before);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.Path().c_str()));
    InitLanguage(elsewhere.Path().c_str(), 16);
    SetCurrentDirectoryW(before);
    EXPECT_EQ(LoadedLanguage(), 16);
    EXPECT_EQ(TranslatedString(IDS_LANGUAGE_NAME), L"Italiano");
}

TEST_F(Language, OnlyTheFirstInitialisationLoadsAndTheLastReleaseFrees) {
    TempDir a, b;
    a.WriteFile(L"Languages\\FRENCH.lang", Utf16File(L"124:Premier"));
    b.WriteFile(L"Languages\\GERMAN.lang", Utf16File(L"124:Zweiter"));
    Init(a, 12);
    Init(b, 7);
    EXPECT_EQ(TranslatedString(IDS_LANGUAGE_NAME), L"Premier");
    ReleaseLanguage();
    EXPECT_EQ(TranslatedString(IDS_LANGUAGE_NAME), L"Premier");
    ReleaseLanguage();
    EXPECT_EQ(TranslatedString(IDS_LANGUAGE_NAME), L"English");
    ReleaseLanguage();  // one release too many is harmless
    EXPECT_EQ(TranslatedString(IDS_LANGUAGE_NAME), L"English");
}

TEST_F(Language, ExtractsSubStrings) {
    TempDir dir;
    dir.WriteFile(L"Languages\\FRENCH.lang",
                  Utf16File(L"320:Close all opened tabs for this window\\nClose all tabs\r\n"
                            L"321:\\n\\nOnly second\\n\r\n"
                            L"322:single"));
    Init(dir, 12);
    std::wstring text = L"x";
    ExtractTranslatedSubString(text, 320, L"\n", 1);
    EXPECT_EQ(text, L"Close all tabs");
    ExtractTranslatedSubString(text, 320, L"\n", 0);
    EXPECT_EQ(text, L"Close all opened tabs for this window");
    ExtractTranslatedSubString(text, 321, L"\n", 0);  // empty parts are skipped
    EXPECT_EQ(text, L"Only second");
    ExtractTranslatedSubString(text, 322, L"\n", 1);
    EXPECT_EQ(text, L"single");
    ExtractTranslatedSubString(text, 320, L"\n", 5);
    EXPECT_EQ(text, L"Close all opened tabs for this window\nClose all tabs");
    text = L"kept";
    ExtractTranslatedSubString(text, 9999, L"\n", 1);
    EXPECT_EQ(text, L"kept");
}

TEST_F(Language, ReadsOneStringStraightFromAFile) {
    TempDir dir;
    dir.WriteFile(L"Languages\\DUTCH.lang", CodePageFile(L"1:een\n124:Nederlands\n", CP_ACP));
    Init(dir, 9);
    std::wstring text = L"x";
    EXPECT_TRUE(ReadLanguageString(L"Languages\\DUTCH.lang", text, 124));  // through the base folder
    EXPECT_EQ(text, L"Nederlands");
    EXPECT_FALSE(ReadLanguageString(L"Languages\\DUTCH.lang", text, 2));
    EXPECT_FALSE(ReadLanguageString(L"Languages\\NONE.lang", text, 124));
    EXPECT_EQ(text, L"Nederlands");
    // The loaded texts are untouched.
    EXPECT_EQ(TranslatedString(IDS_LANGUAGE_NAME), L"English");
}

TEST_F(Language, ShippedTranslationsCoverEveryBuiltInString) {
    std::wstring stage = testing_support::StageFolder();
    for (const wchar_t* file : {L"Languages\\FRENCH.lang", L"Languages\\GERMAN.lang", L"Languages\\ENGLISH.lang"}) {
        CStdioFileEx f;
        ASSERT_TRUE(f.Open(stage + file, fw::StdioFile::modeRead)) << file;
        std::wstring line, text;
        UINT id = 0;
        int count = 0, same = 0;
        while (f.ReadString(line)) {
            if (!ParseLanguageLine(line, id, text)) continue;
            auto builtIn = fw::LoadResourceString(id);
            ASSERT_TRUE(builtIn.has_value()) << file << " defines unknown id " << id;
            ++count;
            if (text == *builtIn) ++same;
        }
        EXPECT_GT(count, 100) << file;
        if (std::wstring(file).find(L"ENGLISH") != std::wstring::npos) {
            EXPECT_EQ(same, count);
        } else {
            // Product names and template strings stay; most texts are translated.
            EXPECT_LT(same * 4, count) << file;
        }
    }
    std::wstring name;
    ASSERT_TRUE(ReadLanguageString((stage + L"Languages\\FRENCH.lang").c_str(), name, IDS_LANGUAGE_NAME));
    EXPECT_EQ(name, L"Fran\u00e7ais");
}

TEST(StdioFileEx, SignaturesCodePagesAndLongLines) {
    TempDir dir;
    std::wstring longLine(20000, L'\u00e9');
    std::wstring utf16 = dir.WriteFile(L"a.txt", Utf16File(L"one\r\n" + longLine + L"\nthree"));
    CStdioFileEx f;
    ASSERT_TRUE(f.Open(utf16, fw::StdioFile::modeRead | fw::StdioFile::typeText));
    EXPECT_TRUE(f.IsUnicodeText());
    std::wstring line;
    ASSERT_TRUE(f.ReadString(line));
    EXPECT_EQ(line, L"one");
    ASSERT_TRUE(f.ReadString(line));
    EXPECT_EQ(line, longLine);
    ASSERT_TRUE(f.ReadString(line));
    EXPECT_EQ(line, L"three");
    EXPECT_FALSE(f.ReadString(line));
    // Seeking back to the start skips the signature again.
    f.Seek(0, fw::StdioFile::SeekFrom::Begin);
    ASSERT_TRUE(f.ReadString(line));
    EXPECT_EQ(line, L"one");

    // UTF-8 with and without its signature.
    std::string body = fw::ToNarrow(L"na\u00efve\r\nz", CP_UTF8);
    for (const std::string& bytes : {std::string("\xEF\xBB\xBF") + body, body}) {
        std::wstring path = dir.WriteFile(L"u8.txt", bytes);
        CStdioFileEx u;
        ASSERT_TRUE(u.Open(path, fw::StdioFile::modeRead));
        u.SetCodePage(CP_UTF8);
        EXPECT_FALSE(u.IsUnicodeText());
        ASSERT_TRUE(u.ReadString(line));
        EXPECT_EQ(line, L"na\u00efve");
        ASSERT_TRUE(u.ReadString(line));
        EXPECT_EQ(line, L"z");
    }

    // A lone FF byte is no UTF-16 signature; an empty file has no lines.
    std::wstring odd = dir.WriteFile(L"odd.txt", "\xFF");
    CStdioFileEx o;
    ASSERT_TRUE(o.Open(odd, fw::StdioFile::modeRead));
    EXPECT_FALSE(o.IsUnicodeText());
    std::wstring empty = dir.WriteFile(L"empty.txt", "");
    CStdioFileEx e;
    ASSERT_TRUE(e.Open(empty, fw::StdioFile::modeRead));
    EXPECT_FALSE(e.ReadString(line));
}

} // namespace
