#include "settings.h"

#include "locations.h"

#include "framework/handles.h"
#include "framework/profile.h"
#include "framework/strings.h"

#include <cwchar>
#include <vector>

std::wstring g_strHomePage = kSiteBaseAddress;

int ClampSearchBehaviour(int value) { return (value < 1 || value > 3) ? 1 : value; }

Settings ReadSettings(const fw::Profile& p) {
    using namespace setting;
    Settings s;
    s.langId = static_cast<WORD>(p.GetInt(kSection, kLangId, 0) & 0xFFFF);
    s.multiProcessMode = p.GetInt(kSection, kMultiProcessMode, 0) == 1;
    s.disableFilters = p.GetInt(kSection, kDisableFilters, 0) == 1;
    s.searchBehaviour = ClampSearchBehaviour(p.GetInt(kSection, kSearchBehaviour, 1));
    s.disableWindowExternal = p.GetInt(kSection, kDisableWindowExternal, 0) == 1;
    s.homePage = p.GetString(kSection, kHomePage, GetDefaultHomePage());
    s.vertLeftSplitter = p.GetInt(kSection, kVertLeftSplitter, 200);
    s.lastVersionCheck = p.GetString(kSection, kLastVersionCheck, L"");
    s.disableWin7Taskbar = p.GetInt(kSection, kDisableWin7Taskbar, 0) == 1;
    return s;
}

std::wstring OpenAllSettingName(IEVERSION v) {
    return std::wstring(setting::kOpenAllPrefix) + (IsValidVersion(v) ? g_versionCodes[v] : L"");
}

bool ReadOpenAll(const fw::Profile& profile, IEVERSION v) {
    return profile.GetInt(setting::kSection, OpenAllSettingName(v), 1) == 1;
}

std::wstring GetInstalledIEVersionString() {
    fw::RegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kInstalledIEKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return L"not found";
    // 200 bytes of room, one character kept for the terminator.
    wchar_t buffer[100] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key.get(), L"Version", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return L"not found";
    buffer[std::min<size_t>(size / sizeof(wchar_t), 99)] = L'\0';
    return buffer;
}

IEVERSION MapInstalledIEVersion(const std::wstring& text) {
    size_t dot = text.find(L'.');
    int major = 0, minor = 0;
    if (dot != std::wstring::npos) {
        major = static_cast<int>(wcstol(text.substr(0, dot).c_str(), nullptr, 10));
        if (dot + 1 < text.size()) minor = static_cast<int>(wcstol(text.substr(dot + 1, 1).c_str(), nullptr, 10));
    }
    switch (major) {
    case 4: return IE4;
    case 5: return minor == 5 ? IE55 : IE5;
    case 6: return IE6;
    case 7: return IE7;
    case 8: return IE8;
    default: return IEDefault;
    }
}

IEVERSION GetInstalledIEVersion() { return MapInstalledIEVersion(GetInstalledIEVersionString()); }

std::wstring FormatProductVersion(DWORD ms, DWORD ls) {
    std::wstring text = fw::Format(L"%d.%d.%d.%d", HIWORD(ms), LOWORD(ms), HIWORD(ls), LOWORD(ls));
    size_t keep = text.find_last_not_of(L".0");
    text.erase(keep == std::wstring::npos ? 0 : keep + 1);
    if (text.find(L'.') == std::wstring::npos) text += L".0";
    return text;
}

bool ReadProductVersion(const std::wstring& file, DWORD& ms, DWORD& ls) {
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(file.c_str(), &handle);
    if (size == 0) return false;
    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoW(file.c_str(), 0, size, data.data())) return false;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof(VS_FIXEDFILEINFO))
        return false;
    ms = info->dwProductVersionMS;
    ls = info->dwProductVersionLS;
    return true;
}

std::wstring GetProductVersionString() {
    std::wstring exe = fw::ModuleFileName(nullptr, MAX_PATH);
    DWORD ms = 0, ls = 0;
    if (exe.empty() || !ReadProductVersion(exe, ms, ls)) return {};
    return FormatProductVersion(ms, ls);
}

std::wstring GetDefaultHomePage() { return std::wstring(kSiteBaseAddress) + L"?version=" + GetProductVersionString(); }
