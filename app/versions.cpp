#include "versions.h"

const wchar_t* const g_versionCodes[kVersionCount] = {L"", L"", L"5", L"6", L"7", L"8", L"9", L"D"};

const std::array<VersionInfo, kVersionCount> g_versionInfo = {{
    {IE4, "ie4", 312, false, 32777, L"IE 4"},
    {IE5, "ie5", 313, false, 32778, L"IE 5"},
    {IE55, "ie55", 315, true, 32779, L"IE 5.5"},
    {IE6, "ie6", 314, true, 32781, L"IE 6"},
    {IE7, "ie7", 317, true, 32780, L"IE 7"},
    {IE8, "ie8", 319, true, 32796, L"IE 8"},
    {IE9, "ie9", 334, true, 32873, L"IE 9"},
    {IEDefault, "ie", 316, true, 32793, L"Default IE"},
}};

UINT TemplateIdOfVersion(IEVERSION v) {
    return IsValidVersion(v) ? g_versionInfo[static_cast<size_t>(v)].templateId : 316;
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

bool IsVersionAvailable(IEVERSION v, bool multiProcessMode) {
    if (multiProcessMode) return true;
    return IsValidVersion(v) && g_engines[v].loaded == 1;
}
