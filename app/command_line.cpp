#include "command_line.h"

#include "framework/strings.h"

#include <cstdio>
#include <cstring>

namespace {

// Narrow, ASCII-only case-insensitive comparison of whole words.
bool SameWord(const char* a, const char* b) { return _stricmp(a, b) == 0; }

} // namespace

CCustomCommandLineInfo::~CCustomCommandLineInfo() {
    for (auto& list : m_urls) list.clear();
    m_strPipeName.clear();
}

void CCustomCommandLineInfo::ParseParam(const wchar_t* param, bool flag, bool last) {
    std::string narrow = fw::ToNarrow(param ? param : L"");
    ParseParam(narrow.c_str(), flag, last);
}

void CCustomCommandLineInfo::ParseParam(const char* param, bool flag, bool /*last*/) {
    if (!param) return;
    if (!flag) {
        std::wstring address = fw::ToWide(param);
        for (int v = 0; v < kVersionCount; ++v) {
            if (v == m_nCurrentVersion || m_bAll) m_urls[v].push_back(address);
        }
        return;
    }

    if (std::strncmp(param, "pcode=", 6) == 0) {
        std::vector<std::wstring> parts;
        if (SplitString(fw::ToWide(param + 6), L"_", parts) == 3 && !parts[0].empty()) {
            m_strPipeName = parts[0];
            static const wchar_t* const kCodes[] = {L"ie4", L"ie5", L"ie55", L"ie6", L"ie7",
                                                    L"ie8", L"ie9", L"ie",   L"ieD"};
            for (int i = 0; i < 9; ++i) {
                if (fw::EqualsNoCase(parts[1], kCodes[i])) {
                    m_nPcodeVersion = static_cast<IEVERSION>(i < 7 ? i : IEDefault);
                    m_bPcode = true;
                    break;
                }
            }
            unsigned int hwnd = 0;
            if (swscanf(parts[2].c_str(), L"%X", &hwnd) == 1) m_hWndParent = hwnd;
        }
    }

    for (const auto& info : g_versionInfo) {
        if (SameWord(param, info.flag)) {
            m_nCurrentVersion = info.version;
            m_bAll = false;
            return;
        }
    }
    if (SameWord(param, "all")) m_bAll = true;
}

int SplitString(const std::wstring& text, const std::wstring& separator, std::vector<std::wstring>& out) {
    out.clear();
    if (separator.empty()) return 0;
    size_t start = 0;
    bool first = true;
    for (;;) {
        size_t hit = text.find(separator, start);
        if (hit == std::wstring::npos) break;
        if (hit > start) {
            out.push_back(text.substr(start, hit - start));
        } else if (!first) {
            out.emplace_back();
        }
        first = false;
        start = hit + separator.size();
    }
    if (start < text.size()) out.push_back(text.substr(start));
    return static_cast<int>(out.size());
}

std::wstring BuildPcodeArgument(const std::wstring& pipeName, IEVERSION version, DWORD parentWindow) {
    std::wstring code = version == IE55 ? L"55" : (IsValidVersion(version) ? g_versionCodes[version] : L"");
    return L"-pcode=" + pipeName + L"_ie" + code + L"_" + fw::Format(L"%X", parentWindow);
}
