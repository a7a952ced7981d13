#pragma once
// The translated-string lookup: every text the user interface shows is
// fetched by string-table id, from the language file chosen at start-up or,
// for ids the file lacks, from the built-in English string table.
//
// Errors in prefs/: lookups fall back (to English, to an empty menu) and report it with bool;
// nothing throws past a window procedure of the layers above (framework/errors.h).
#include <windows.h>
#include <functional>
#include <initializer_list>
#include <string>

struct LanguageEntry {
    WORD id;
    const wchar_t* file;  // relative to the base folder
};
inline constexpr int kLanguageCount = 48;
extern const LanguageEntry g_languageTable[kLanguageCount];

// File of the first table row whose id is `langId`; null when none matches.
const wchar_t* FindLanguageFile(WORD langId);

void InitLanguage(LPCWSTR baseFolder, WORD langId);
void ReleaseLanguage();
// 1 with `text` set, or 0 with `text` unchanged when the id is unknown.
int LoadTranslatedString(std::wstring& text, UINT id);
// Part `index` (from 0) of the text of `id`, parts separated by runs of
// `delimiters`; the whole text when that part does not exist or is empty.
void ExtractTranslatedSubString(std::wstring& text, UINT id, LPCWSTR delimiters, int index);
// Reads one id straight from one language file, leaving the loaded texts alone.
bool ReadLanguageString(LPCWSTR relativeFile, std::wstring& text, UINT id);

// Convenience: the text of `id`, or empty when it is unknown.
std::wstring TranslatedString(UINT id);
// The text of `id` with each "%s" in turn replaced by the next of `fields`
// (never interpreted as a format: a language file with too few or too many
// "%s" loses or keeps a field, nothing worse). Fields are not searched.
std::wstring TranslatedText(UINT id, std::initializer_list<std::wstring> fields);
// A message box captioned with the application's name showing the text of
// `id`, followed by `detail` (untranslated: a file name, a system error) on
// a paragraph of its own when it is not empty. Returns MessageBox's result.
int TranslatedMessageBox(HWND owner, UINT id, UINT type, const std::wstring& detail = {});

// One line of a language file: true with `id` and `text` when the line
// defines a string (comments, blanks, id 0 and non-numeric ids do not).
bool ParseLanguageLine(const std::wstring& line, UINT& id, std::wstring& text);

// State, for the options page and for tests.
WORD RequestedLanguage();
WORD LoadedLanguage();
// Replaces the source of the user's default language (tests only); pass
// an empty function to restore the system's.
void SetUserDefaultLanguageSource(std::function<LANGID()> source);
