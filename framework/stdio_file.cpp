#include "stdio_file.h"

#include "strings.h"

#include <algorithm>

namespace fw {

bool StdioFile::Open(const std::wstring& path, unsigned flags) {
    Close();
    DWORD access = GENERIC_READ;
    if (flags & modeWrite) access = GENERIC_WRITE;
    if (flags & modeReadWrite) access = GENERIC_READ | GENERIC_WRITE;
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    if (flags & shareDenyWrite) share = FILE_SHARE_READ;
    DWORD disposition = (flags & modeCreate) ? CREATE_ALWAYS : OPEN_EXISTING;
    HANDLE h = CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    m_file.reset(h);
    m_buffer.assign(65536, 0);
    m_pos = m_end = 0;
    return true;
}

void StdioFile::Close() {
    m_file.reset();
    m_pos = m_end = 0;
}

bool StdioFile::Fill() {
    if (!m_file) return false;
    DWORD got = 0;
    if (!ReadFile(m_file.get(), m_buffer.data(), static_cast<DWORD>(m_buffer.size()), &got, nullptr) || got == 0)
        return false;
    m_pos = 0;
    m_end = got;
    return true;
}

size_t StdioFile::Read(void* buffer, size_t count) {
    auto out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        if (m_pos == m_end && !Fill()) break;
        size_t n = std::min(count - done, m_end - m_pos);
        std::copy_n(m_buffer.data() + m_pos, n, out + done);
        m_pos += n;
        done += n;
    }
    return done;
}

bool StdioFile::ReadByte(uint8_t& byte) { return Read(&byte, 1) == 1; }

bool StdioFile::ReadBytesUntil(std::string& out, char terminator) {
    out.clear();
    bool any = false;
    for (;;) {
        if (m_pos == m_end && !Fill()) return any;
        any = true;
        const uint8_t* start = m_buffer.data() + m_pos;
        const uint8_t* stop = m_buffer.data() + m_end;
        const uint8_t* hit = std::find(start, stop, static_cast<uint8_t>(terminator));
        if (hit != stop) {
            out.append(reinterpret_cast<const char*>(start), static_cast<size_t>(hit - start) + 1);
            m_pos += static_cast<size_t>(hit - start) + 1;
            return true;
        }
        out.append(reinterpret_cast<const char*>(start), static_cast<size_t>(stop - start));
        m_pos = m_end;
    }
}

bool StdioFile::ReadString(std::wstring& line) {
    std::string raw;
    if (!ReadBytesUntil(raw, '\n')) return false;
    if (!raw.empty() && raw.back() == '\n') raw.pop_back();
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    line = ToWide(raw);
    return true;
}

uint64_t StdioFile::Seek(int64_t offset, SeekFrom from) {
    if (!m_file) return UINT64_MAX;
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    DWORD method = FILE_BEGIN;
    if (from == SeekFrom::Current) {
        // The buffer has read ahead of the caller's position.
        distance.QuadPart -= static_cast<int64_t>(m_end - m_pos);
        method = FILE_CURRENT;
    } else if (from == SeekFrom::End) {
        method = FILE_END;
    }
    LARGE_INTEGER result{};
    if (!SetFilePointerEx(m_file.get(), distance, &result, method)) return UINT64_MAX;
    m_pos = m_end = 0;
    return static_cast<uint64_t>(result.QuadPart);
}

bool StdioFile::Write(const void* data, size_t count) {
    if (!m_file) return false;
    DWORD written = 0;
    return WriteFile(m_file.get(), data, static_cast<DWORD>(count), &written, nullptr) && written == count;
}

} // namespace fw
