#include "stdio_file_ex.h"

#include "framework/strings.h"

bool CStdioFileEx::Open(const std::wstring& path, unsigned flags) {
    m_nFlags = flags;
    m_bIsUnicodeText = false;
    // Always binary underneath: line ends and signatures are handled here.
    unsigned raw = (flags & ~static_cast<unsigned>(typeText)) | typeBinary;
    if (!StdioFile::Open(path, raw)) return false;
    if (!(flags & (modeCreate | modeWrite | modeReadWrite))) {
        uint8_t signature[2] = {};
        m_bIsUnicodeText = Read(signature, 2) == 2 && signature[0] == 0xFF && signature[1] == 0xFE;
        StdioFile::Seek(0, SeekFrom::Begin);
    }
    m_bFirstRead = true;
    return true;
}

uint64_t CStdioFileEx::Seek(int64_t offset, SeekFrom from) {
    m_bFirstRead = true;
    return StdioFile::Seek(offset, from);
}

bool CStdioFileEx::ReadString(std::wstring& line) {
    line.clear();
    if (m_bFirstRead) {
        m_bFirstRead = false;
        if (m_bIsUnicodeText) {
            uint8_t signature[2];
            Read(signature, 2);
        } else if (m_nFileCodePage == CP_UTF8) {
            // Skip the UTF-8 signature, but only when it is really there.
            uint8_t signature[3] = {};
            size_t got = Read(signature, 3);
            if (!(got == 3 && signature[0] == 0xEF && signature[1] == 0xBB && signature[2] == 0xBF))
                StdioFile::Seek(-static_cast<int64_t>(got), SeekFrom::Current);
        }
    }

    if (m_bIsUnicodeText) {
        bool any = false;
        uint8_t unit[2];
        while (Read(unit, 2) == 2) {
            any = true;
            wchar_t c = static_cast<wchar_t>(unit[0] | (unit[1] << 8));
            if (c == L'\n') break;
            line.push_back(c);
        }
        if (!any) return false;
    } else {
        std::string raw;
        if (!ReadBytesUntil(raw, '\n')) return false;
        if (!raw.empty() && raw.back() == '\n') raw.pop_back();
        UINT cp = m_nFileCodePage == kAnsiCodePage ? CP_ACP : static_cast<UINT>(m_nFileCodePage);
        if (!raw.empty()) {
            DWORD convFlags = cp == CP_UTF8 ? 0 : MB_PRECOMPOSED;
            int n = MultiByteToWideChar(cp, convFlags, raw.data(), static_cast<int>(raw.size()), nullptr, 0);
            if (n > 0) {
                line.resize(static_cast<size_t>(n));
                MultiByteToWideChar(cp, convFlags, raw.data(), static_cast<int>(raw.size()), line.data(), n);
            }
        }
    }
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    return true;
}
