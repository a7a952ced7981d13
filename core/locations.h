#pragma once
// Every fixed file name, folder and web address the program relies on.

// --- The maker's web site -------------------------------------------------
// Host of the maker's site; the paths below it are fixed.
#define VANTRELL_SITE_HOST L"www.brenmoor.com"
// Base address of the product's pages; the default home page adds
// "?version=" and the program's own version.
inline constexpr const wchar_t* kSiteBaseAddress = L"http://" VANTRELL_SITE_HOST L"/vantrell/";
inline constexpr const wchar_t* kProductPageAddress = L"http://" VANTRELL_SITE_HOST L"/vantrell/";
inline constexpr const wchar_t* kReleaseCheckAddress = L"http://" VANTRELL_SITE_HOST L"/vantrell/checkversion.php";
// Followed by the percent-encoded search text.
inline constexpr const wchar_t* kSearchAddress = L"http://" VANTRELL_SITE_HOST L"/vantrell/vantrell-search.php?q=";
inline constexpr const wchar_t* kToolbarDownloadAddress = L"http://" VANTRELL_SITE_HOST L"/fennick/download.php";
// The release check reads at most this many bytes of the answer.
inline constexpr unsigned kReleaseCheckMaxBytes = 10000;

// --- Registry -------------------------------------------------------------
inline constexpr const wchar_t* kCompanyKey = L"Brenmoor";
// HKEY_LOCAL_MACHINE key written by the installer.
inline constexpr const wchar_t* kMachineKey = L"Software\\Brenmoor\\Vantrell";
inline constexpr const wchar_t* kInstallDirValue = L"Install_Dir";
inline constexpr const wchar_t* kInstalledIEKey = L"Software\\Microsoft\\Internet Explorer";

// --- Engine files ---------------------------------------------------------
// Folder of the version-9 executable, relative to the program's folder.
inline constexpr const wchar_t* kIE9Folder = L"ie9";
inline constexpr const wchar_t* kIE9Executable = L"ie9\\vantrell.ie9.exe";
// Per-application library redirection folder holding version 9's libraries.
inline constexpr const wchar_t* kIE9LibraryFolder = L"ie9\\vantrell.ie9.exe.local";
// Loaded by a version-9 child through the system's search.
inline constexpr const wchar_t* kIE9Urlmon = L"vantrell.client.exe.local\\urlmon.dll";
// Resource libraries of 5.5 and 6, loaded on the engine's request.
inline constexpr const wchar_t* kShdoclcName = L"shdoclc.dll";

// --- Languages ------------------------------------------------------------
inline constexpr const wchar_t* kLanguagesFolder = L"Languages";
