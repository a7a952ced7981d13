#include "core/versions.h"

#include "res/resource_ids.h"

#include <cwchar>

const wchar_t* const g_versionCodes[kVersionCount] = {L"", L"", L"5", L"6", L"7", L"8", L"9", L"D"};

const std::array<VersionInfo, kVersionCount> g_versionInfo = {{
    {IE4, "ie4", IDR_IE4, false, ID_NEW_IE4, L"IE 4"},
    {IE5, "ie5", IDR_IE5, false, ID_NEW_IE5, L"IE 5"},
    {IE55, "ie55", IDR_IE55, true, ID_NEW_IE55, L"IE 5.5"},
    {IE6, "ie6", IDR_IE6, true, ID_NEW_IE6, L"IE 6"},
    {IE7, "ie7", IDR_IE7, true, ID_NEW_IE7, L"IE 7"},
    {IE8, "ie8", IDR_IE8, true, ID_NEW_IE8, L"IE 8"},
    {IE9, "ie9", IDR_IE9, true, ID_NEW_IE9, L"IE 9"},
    {IEDefault, "ie", IDR_IE_DEFAULT, true, ID_NEW_IE_DEFAULT, L"Default IE"},
}};

UINT TemplateIdOfVersion(IEVERSION v) {
    return IsValidVersion(v) ? g_versionInfo[static_cast<size_t>(v)].templateId : IDR_IE_DEFAULT;
}

UINT IconIdOfVersion(IEVERSION v) {
    return IsValidVersion(v) && v <= IE8 ? TemplateIdOfVersion(v) : IDR_IE_DEFAULT;
}

bool VersionOfTemplateId(UINT id, IEVERSION& version) {
    for (const auto& info : g_versionInfo) {
        if (info.templateId == id) {
            version = info.version;
            return true;
        }
    }
    return false;
}

std::wstring BuildPcodeArgument(const std::wstring& pipeName, IEVERSION version, DWORD parentWindow) {
    const wchar_t* code = version == IE55 ? L"55" : (IsValidVersion(version) ? g_versionCodes[version] : L"");
    wchar_t window[16];
    swprintf(window, 16, L"%X", static_cast<unsigned>(parentWindow));
    return L"-pcode=" + pipeName + L"_ie" + code + L"_" + window;
}
