#pragma once
// A buffered file on a Win32 handle that reads text line by line.
#include "handles.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fw {

class StdioFile {
public:
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareDenyWrite = 0x0020,
        shareDenyNone = 0x0040,
        modeCreate = 0x1000,
        typeText = 0x4000,
        typeBinary = 0x8000,
    };
    enum class SeekFrom { Begin, Current, End };

    StdioFile() = default;
    virtual ~StdioFile() = default;
    StdioFile(const StdioFile&) = delete;
    StdioFile& operator=(const StdioFile&) = delete;

    virtual bool Open(const std::wstring& path, unsigned flags);
    void Close();
    bool IsOpen() const { return m_file.valid(); }

    // Reads up to `count` bytes; returns how many were read (0 at the end).
    size_t Read(void* buffer, size_t count);
    // Reads one byte; false at the end of the file.
    bool ReadByte(uint8_t& byte);
    // Reads one line of 8-bit text in the ANSI code page (the line feed and
    // a carriage return before it are dropped); false at the end of the file.
    virtual bool ReadString(std::wstring& line);
    // Returns the new position, or UINT64_MAX on failure.
    virtual uint64_t Seek(int64_t offset, SeekFrom from);
    bool Write(const void* data, size_t count);

protected:
    // Reads raw bytes up to and including the next byte `terminator`.
    // Returns false when nothing was left to read.
    bool ReadBytesUntil(std::string& out, char terminator);

private:
    bool Fill();
    UniqueHandle m_file;
    std::vector<uint8_t> m_buffer;
    size_t m_pos = 0;
    size_t m_end = 0;
};

} // namespace fw
