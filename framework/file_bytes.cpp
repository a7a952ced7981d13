#include "file_bytes.h"

#include "handles.h"
#include "strings.h"

#include <windows.h>

namespace fw {

ReadBytesResult ReadFileBytes(const std::wstring& file, std::uint64_t maxBytes, std::string& bytes,
                              std::wstring& error) {
    bytes.clear();
    error.clear();
    UniqueHandle handle(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size{};
    if (!handle || !GetFileSizeEx(handle.get(), &size)) {
        error = DescribeSystemError(nullptr, GetLastError());
        return ReadBytesResult::Failed;
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > maxBytes) return ReadBytesResult::TooLarge;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        if (!ReadFile(handle.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &read, nullptr)) {
            error = DescribeSystemError(nullptr, GetLastError());
            bytes.clear();
            return ReadBytesResult::Failed;
        }
        if (read == 0) break;
        done += read;
    }
    bytes.resize(done);
    return ReadBytesResult::Ok;
}

} // namespace fw
