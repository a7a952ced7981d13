#include "command_line.h"

#include "framework/strings.h"

#include <cstdio>
#include <cstring>

CCustomCommandLineInfo::~CCustomCommandLineInfo() {
    for (auto& list : m_urls) list.clear();
    m_strPipeName.clear();
}

// The wide form is the parser: an address keeps every character it was
// given. The narrow form widens through the ANSI code page first.
void CCustomCommandLineInfo::ParseParam(const char* param, bool flag, bool last) {
    if (!param) return;
    ParseParam(fw::ToWide(param).c_str(), flag, last);
}

void CCustomCommandLineInfo::ParseParam(const wchar_t* param, bool flag, bool /*last*/) {
    if (!param) return;
    const std::wstring text(param);
    if (!flag) {
        for (int v = 0; v < kVersionCount; ++v) {
            if (v == m_nCurrentVersion || m_bAll) m_urls[v].push_back(text);
        }
        return;
    }

    // "pcode=" is matched in lower case only: "-PCODE=" is no child argument.
    if (text.compare(0, 6, L"pcode=") == 0) {
        std::vector<std::wstring> parts;
        if (SplitString(text.substr(6), L"_", parts) == 3 && !parts[0].empty()) {
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
        if (fw::EqualsNoCase(text, fw::ToWide(info.flag))) {
            m_nCurrentVersion = info.version;
            m_bAll = false;
            return;
        }
    }
    if (fw::EqualsNoCase(text, L"all")) m_bAll = true;
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
