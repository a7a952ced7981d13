#include "command_line.h"

#include "browser/page_picture.h"
#include "framework/file_bytes.h"
#include "framework/handles.h"
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

void CCustomCommandLineInfo::AddAddress(const std::wstring& address) {
    if (m_bMergeReports && !m_strMergeOut.empty()) {
        m_mergeFolders.push_back(address);
        return;
    }
    for (int v = 0; v < kVersionCount; ++v) {
        if (v == m_nCurrentVersion || m_bAll || (m_versionSet & (1u << v))) m_urls[v].push_back(address);
    }
    if (m_bAll) m_allUrls.push_back(address);
}

void CCustomCommandLineInfo::ParseParam(const wchar_t* param, bool flag, bool last) {
    if (!param) return;
    const std::wstring text(param);
    if (m_pendingValue != PendingValue::None) {
        TakeValue(text);
        return;
    }
    if (!flag) {
        AddAddress(text);
        return;
    }

    // The switches with a value; all but "-capture" and "-merge-reports"
    // count only after "-capture".
    static const struct {
        const wchar_t* name;
        PendingValue value;
    } kValueSwitches[] = {{L"capture", PendingValue::Folder},
                          {L"merge-reports", PendingValue::MergeOut},
                          {L"width", PendingValue::Width},
                          {L"height", PendingValue::Height},
                          {L"wait", PendingValue::Wait},
                          {L"list", PendingValue::List},
                          {L"tolerance", PendingValue::Tolerance},
                          {L"threshold", PendingValue::Threshold},
                          {L"reference-version", PendingValue::Reference},
                          {L"baseline", PendingValue::Baseline},
                          {L"shard", PendingValue::Shard},
                          {L"versions", PendingValue::Versions}};
    for (const auto& s : kValueSwitches) {
        if (!fw::EqualsNoCase(text, s.name)) continue;
        if (s.value == PendingValue::Folder) m_bCapture = true;
        else if (s.value == PendingValue::MergeOut) m_bMergeReports = true;
        else if (!m_bCapture) return;  // ignored, like any unknown switch
        m_pendingValue = s.value;
        if (last) FinishParsing();
        return;
    }
    if (m_bCapture) {
        if (fw::EqualsNoCase(text, L"compare")) {
            m_bCompare = true;
            return;
        }
        if (fw::EqualsNoCase(text, L"update-baseline")) {
            m_bUpdateBaseline = true;
            return;
        }
        if (fw::EqualsNoCase(text, L"fail-on-script-error")) {
            m_bFailOnScriptError = true;
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
            m_versionSet = 0;
            return;
        }
    }
    if (fw::EqualsNoCase(text, L"compare-view")) {
        m_bCompareView = true;
        return;
    }
    if (fw::EqualsNoCase(text, L"all")) {
        m_bAll = true;
        m_versionSet = 0;
    }
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

// A decimal number such as "0.1", "5" or "12.25" within [0, 100]; no sign,
// no exponent, whatever the locale.
bool ParsePercent(const std::wstring& text, double& out) {
    if (text.empty() || text.size() > 12) return false;
    double value = 0, scale = 0;
    bool digits = false;
    for (wchar_t c : text) {
        if (c == L'.' && scale == 0) {
            scale = 1;
        } else if (c >= L'0' && c <= L'9') {
            digits = true;
            if (scale == 0) {
                value = value * 10 + (c - L'0');
            } else {
                scale /= 10;
                value += (c - L'0') * scale;
            }
        } else {
            return false;
        }
    }
    if (!digits || value > 100) return false;
    out = value;
    return true;
}
} // namespace

bool ParseVersionName(const std::wstring& text, IEVERSION& version) {
    std::wstring name = text;
    if (name.size() > 2 && (name[0] == L'i' || name[0] == L'I') && (name[1] == L'e' || name[1] == L'E'))
        name.erase(0, 2);
    static const struct {
        const wchar_t* name;
        IEVERSION version;
    } kNames[] = {{L"5.5", IE55}, {L"55", IE55}, {L"6", IE6}, {L"7", IE7},
                  {L"8", IE8},    {L"9", IE9},   {L"default", IEDefault}};
    for (const auto& n : kNames) {
        if (fw::EqualsNoCase(name, n.name)) {
            version = n.version;
            return true;
        }
    }
    return false;
}

void CCustomCommandLineInfo::TakeValue(const std::wstring& text) {
    const PendingValue pending = m_pendingValue;
    m_pendingValue = PendingValue::None;
    long number = 0;
    bool good = true;
    std::wstring reason;
    switch (pending) {
    case PendingValue::Folder:
        good = !text.empty();
        if (good) m_strCaptureFolder = text;
        break;
    case PendingValue::MergeOut:
        good = !text.empty();
        if (good) m_strMergeOut = text;
        break;
    case PendingValue::Baseline:
        good = !text.empty();
        if (good) m_strBaselineFolder = text;
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
    case PendingValue::Tolerance:
        good = ParseNumber(text, 0, 255, number);
        if (good) m_nTolerance = static_cast<int>(number);
        break;
    case PendingValue::Threshold:
        good = ParsePercent(text, m_dThreshold);
        break;
    case PendingValue::Reference: {
        IEVERSION version = IEDefault;
        good = ParseVersionName(text, version);
        if (good) m_nReferenceVersion = version;
        break;
    }
    case PendingValue::Versions: {
        std::vector<std::wstring> names;
        unsigned set = 0;
        good = SplitString(text, L",", names) > 0;
        for (const std::wstring& name : names) {
            IEVERSION version = IEDefault;
            if (!ParseVersionName(name, version)) good = false;
            else set |= 1u << version;
        }
        if (good) {
            m_versionSet = set;
            m_bAll = false;
            m_nCurrentVersion = -1;
        }
        break;
    }
    case PendingValue::Shard: {
        const size_t slash = text.find(L'/');
        long index = 0, count = 0;
        good = slash != std::wstring::npos && ParseNumber(text.substr(slash + 1), 1, kMaxShardCount, count) &&
               ParseNumber(text.substr(0, slash), 1, count, index);
        if (good) {
            m_nShardIndex = static_cast<int>(index);
            m_nShardCount = static_cast<int>(count);
        }
        break;
    }
    case PendingValue::List: {
        std::vector<std::wstring> addresses;
        good = !text.empty() && ReadAddressList(text, addresses, reason);
        if (good) {
            for (const std::wstring& address : addresses) AddAddress(address);
        }
        break;
    }
    case PendingValue::None:
        return;
    }
    if (!good && m_strCaptureError.empty()) {
        static const wchar_t* const kNames[] = {L"",           L"-capture",    L"-width",    L"-height",
                                                L"-wait",      L"-list",       L"-tolerance", L"-threshold",
                                                L"-reference-version", L"-baseline", L"-shard", L"-versions",
                                                L"-merge-reports"};
        static_assert(sizeof(kNames) / sizeof(kNames[0]) == static_cast<size_t>(PendingValue::MergeOut) + 1);
        m_strCaptureError = std::wstring(kNames[static_cast<int>(pending)]) + L" " + text;
        if (!reason.empty()) m_strCaptureError += L": " + reason;
    }
}

void CCustomCommandLineInfo::FinishParsing() {
    if (m_pendingValue == PendingValue::None) return;
    TakeValue(L"");
}

bool ReadAddressList(const std::wstring& file, std::vector<std::wstring>& addresses, std::wstring& error) {
    addresses.clear();
    std::string bytes;
    switch (fw::ReadFileBytes(file, kMaxAddressListBytes, bytes, error)) {
    case fw::ReadBytesResult::Ok: break;
    case fw::ReadBytesResult::TooLarge:
        error = fw::Format(L"larger than %u bytes", static_cast<unsigned>(kMaxAddressListBytes));
        return false;
    case fw::ReadBytesResult::Failed: return false;
    }
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    size_t lineNumber = 0, start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        ++lineNumber;
        const std::string line = bytes.substr(start, end - start);
        start = end + 1;
        std::wstring wide;
        if (!line.empty()) {
            const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, line.data(), static_cast<int>(line.size()),
                                              nullptr, 0);
            if (n <= 0) {
                error = fw::Format(L"line %u is not UTF-8 text", static_cast<unsigned>(lineNumber));
                addresses.clear();
                return false;
            }
            wide.resize(static_cast<size_t>(n));
            MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), wide.data(), n);
        }
        const size_t first = wide.find_first_not_of(L" \t\r\f\v");
        if (first == std::wstring::npos || wide[first] == L'#') continue;
        const size_t last = wide.find_last_not_of(L" \t\r\f\v");
        addresses.push_back(wide.substr(first, last - first + 1));
    }
    return true;
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
