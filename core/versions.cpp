#include "core/versions.h"

#include "res/resource_ids.h"

#include <algorithm>
#include <cstdint>
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

namespace {
// Longest address carried on a child's command line (4 characters a unit,
// well inside the system's 32767).
constexpr size_t kMaxCommandLineAddress = 4096;
} // namespace

std::wstring BuildChildStartArguments(const std::wstring& url, int width, int height) {
    if (url.size() > kMaxCommandLineAddress) return {};
    wchar_t size[40];
    swprintf(size, 40, L"-psize=%d,%d", std::clamp(width, 0, 32767), std::clamp(height, 0, 32767));
    std::wstring out = size;
    out += L" -purl=";
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    for (wchar_t c : url) {
        const auto u = static_cast<unsigned>(static_cast<std::uint16_t>(c));
        for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kDigits[(u >> shift) & 0xF]);
    }
    return out;
}

bool ParseChildSize(const std::wstring& text, int& width, int& height) {
    const size_t comma = text.find(L',');
    if (comma == std::wstring::npos) return false;
    auto number = [](const std::wstring& part, int& out) {
        if (part.empty() || part.size() > 5) return false;
        int v = 0;
        for (wchar_t c : part) {
            if (c < L'0' || c > L'9') return false;
            v = v * 10 + (c - L'0');
        }
        if (v > 32767) return false;
        out = v;
        return true;
    };
    int w = 0, h = 0;
    if (!number(text.substr(0, comma), w) || !number(text.substr(comma + 1), h)) return false;
    width = w;
    height = h;
    return true;
}

bool DecodeChildAddress(const std::wstring& hex, std::wstring& url) {
    if (hex.size() % 4 != 0 || hex.size() / 4 > kMaxCommandLineAddress) return false;
    std::wstring out;
    out.reserve(hex.size() / 4);
    for (size_t i = 0; i < hex.size(); i += 4) {
        unsigned u = 0;
        for (size_t k = i; k < i + 4; ++k) {
            const wchar_t c = hex[k];
            unsigned d;
            if (c >= L'0' && c <= L'9') d = static_cast<unsigned>(c - L'0');
            else if (c >= L'A' && c <= L'F') d = static_cast<unsigned>(c - L'A' + 10);
            else if (c >= L'a' && c <= L'f') d = static_cast<unsigned>(c - L'a' + 10);
            else return false;
            u = u << 4 | d;
        }
        // A 0 unit would end the address early wherever it is used.
        if (u == 0) return false;
        out.push_back(static_cast<wchar_t>(u));
    }
    url = std::move(out);
    return true;
}
