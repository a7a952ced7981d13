#pragma once
// Stored settings, the installed engine version and the program's own version.
#include "versions.h"

#include <functional>
#include <string>

namespace fw { class Profile; }

// Names of the values in the "Options" section of the profile.
namespace setting {
inline constexpr const wchar_t* kSection = L"Options";
inline constexpr const wchar_t* kLangId = L"langID";
inline constexpr const wchar_t* kMultiProcessMode = L"MultiProcessMode";
inline constexpr const wchar_t* kDisableFilters = L"DisableFilters";
inline constexpr const wchar_t* kSearchBehaviour = L"SearchBehaviour";
inline constexpr const wchar_t* kDisableWindowExternal = L"DisableWindowExternal";
inline constexpr const wchar_t* kHomePage = L"HomePage";
inline constexpr const wchar_t* kOpenAllPrefix = L"OpenAll_IE";
inline constexpr const wchar_t* kVertLeftSplitter = L"VertLeftSplitter";
inline constexpr const wchar_t* kLastVersionCheck = L"LastVersionCheck";
inline constexpr const wchar_t* kDisableWin7Taskbar = L"DisableWin7Taskbar";
inline constexpr const wchar_t* kApplicationLook = L"ApplicationLook";  // workspace value
} // namespace setting

// The settings as the program reads them, defaults applied.
struct Settings {
    WORD langId = 0;
    bool multiProcessMode = false;
    bool disableFilters = false;
    int searchBehaviour = 1;
    bool disableWindowExternal = false;
    std::wstring homePage;
    int vertLeftSplitter = 200;
    std::wstring lastVersionCheck;
    bool disableWin7Taskbar = false;
};

// A "SearchBehaviour" outside 1..3 reads as 1.
int ClampSearchBehaviour(int value);
// Reads every setting with its default from `profile`.
Settings ReadSettings(const fw::Profile& profile);
// "OpenAll_IE" + version code; true unless the stored value is not 1.
std::wstring OpenAllSettingName(IEVERSION v);
bool ReadOpenAll(const fw::Profile& profile, IEVERSION v);

// The installed engine's version text ("Version" of the Internet Explorer
// key), or "not found".
std::wstring GetInstalledIEVersionString();
IEVERSION GetInstalledIEVersion();
// The mapping from a version text to a version.
IEVERSION MapInstalledIEVersion(const std::wstring& versionText);

// The program's own version from its version resource, trimmed ("1.2",
// "3.0"); empty when it cannot be read.
std::wstring GetProductVersionString();
// The trimming rule applied to the four parts of a product version.
std::wstring FormatProductVersion(DWORD productVersionMS, DWORD productVersionLS);
// Reads the product version of one file; false when it has none.
bool ReadProductVersion(const std::wstring& file, DWORD& ms, DWORD& ls);

// Site base address + "?version=" + the program's version.
std::wstring GetDefaultHomePage();

// Address opened by new tabs and the Home command. A copy of the live
// settings' home page (their owner is the application): written only by
// ApplyTabSettings (browser/control_site.h), on the main thread.
extern std::wstring g_strHomePage;
