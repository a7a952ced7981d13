#include "command_line.h"

#include "browser/page_picture.h"
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

void CCustomCommandLineInfo::ParseParam(const wchar_t* param, bool flag, bool last) {
    if (!param) return;
    const std::wstring text(param);
    if (m_pendingValue != PendingValue::None) {
        TakeValue(text);
        return;
    }
    if (!flag) {
        for (int v = 0; v < kVersionCount; ++v) {
            if (v == m_nCurrentVersion || m_bAll) m_urls[v].push_back(text);
        }
        if (m_bAll) m_allUrls.push_back(text);
        return;
    }

    // The capture switches and their values.
    static const struct {
        const wchar_t* name;
        PendingValue value;
    } kValueSwitches[] = {{L"capture", PendingValue::Folder},
                          {L"width", PendingValue::Width},
                          {L"height", PendingValue::Height},
                          {L"wait", PendingValue::Wait}};
    for (const auto& s : kValueSwitches) {
        if (fw::EqualsNoCase(text, s.name)) {
            if (s.value == PendingValue::Folder) m_bCapture = true;
            m_pendingValue = s.value;
            if (last) FinishParsing();
            return;
        }
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

    if (text.compare(0, 7, L"pspare=") == 0) {
        unsigned long id = 0;
        wchar_t* end = nullptr;
        id = wcstoul(text.c_str() + 7, &end, 10);
        m_bSpare = end && *end == L'\0' && id != 0;
        m_dwSpareParent = static_cast<DWORD>(id);
        return;
    }
    // A child's start (core/versions.h), lower case only like "pcode=".
    if (text.compare(0, 6, L"psize=") == 0) {
        m_bStartSize = ParseChildSize(text.substr(6), m_nStartWidth, m_nStartHeight);
        return;
    }
    if (text.compare(0, 5, L"purl=") == 0) {
        m_bStartAddress = DecodeChildAddress(text.substr(5), m_strStartURL);
        return;
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

namespace {
// A whole decimal number within [low, high]; false for anything else.
bool ParseNumber(const std::wstring& text, long low, long high, long& out) {
    if (text.empty() || text.size() > 9) return false;
    long value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + (c - L'0');
    }
    if (value < low || value > high) return false;
    out = value;
    return true;
}
} // namespace

void CCustomCommandLineInfo::TakeValue(const std::wstring& text) {
    const PendingValue pending = m_pendingValue;
    m_pendingValue = PendingValue::None;
    long number = 0;
    bool good = true;
    switch (pending) {
    case PendingValue::Folder:
        good = !text.empty();
        if (good) m_strCaptureFolder = text;
        break;
    case PendingValue::Width:
    case PendingValue::Height:
        good = ParseNumber(text, kMinPictureSide, kMaxPictureSide, number);
        if (good) (pending == PendingValue::Width ? m_nCaptureWidth : m_nCaptureHeight) = static_cast<int>(number);
        break;
    case PendingValue::Wait:
        good = ParseNumber(text, static_cast<long>(kMinCaptureWaitMs), static_cast<long>(kMaxCaptureWaitMs), number);
        if (good) m_nCaptureWaitMs = static_cast<DWORD>(number);
        break;
    case PendingValue::None:
        return;
    }
    if (!good && m_strCaptureError.empty()) {
        static const wchar_t* const kNames[] = {L"", L"-capture", L"-width", L"-height", L"-wait"};
        m_strCaptureError = std::wstring(kNames[static_cast<int>(pending)]) + L" " + text;
    }
}

void CCustomCommandLineInfo::FinishParsing() {
    if (m_pendingValue == PendingValue::None) return;
    TakeValue(L"");
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
