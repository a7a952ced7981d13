#pragma once
// Text file reader for language files: UTF-16 little-endian with the FF FE
// signature, or 8-bit text in a chosen code page (the system's ANSI code
// page by default, UTF-8 with or without its signature on request).
#include "framework/stdio_file.h"

class CStdioFileEx : public fw::StdioFile {
public:
    static constexpr int kAnsiCodePage = -1;

    bool Open(const std::wstring& path, unsigned flags) override;
    // One line without its line feed (and a carriage return before it);
    // false at the end of the file when nothing was read.
    bool ReadString(std::wstring& line) override;
    uint64_t Seek(int64_t offset, SeekFrom from) override;

    bool IsUnicodeText() const { return m_bIsUnicodeText; }
    void SetCodePage(int codePage) { m_nFileCodePage = codePage; }
    int CodePage() const { return m_nFileCodePage; }

private:
    bool m_bIsUnicodeText = false;
    int m_nFileCodePage = kAnsiCodePage;
    bool m_bFirstRead = true;
    unsigned m_nFlags = 0;
};
