#include "temp_dir.h"

#include "framework/strings.h"

#include <windows.h>
#include <atomic>

namespace testing_support {

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    wchar_t base[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, base);
    m_path = fw::Format(L"%svantrell-test-%lu-%d\\", base, GetCurrentProcessId(), counter++);
    CreateDirectoryW(m_path.c_str(), nullptr);
}

namespace {
// Deletes a folder and everything below it, never following anything out
// of it. Long paths are handled through the "\\?\" form.
void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = folder + L"\\" + name;
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                RemoveTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}
} // namespace

TempDir::~TempDir() {
    // Only ever below the temporary folder this object created.
    if (m_path.size() > 4 && m_path.find(L"vantrell-test-") != std::wstring::npos)
        RemoveTree(L"\\\\?\\" + m_path.substr(0, m_path.size() - 1));
}

std::wstring TempDir::WriteFile(const std::wstring& relative, const std::string& bytes) const {
    std::wstring full = m_path + relative;
    for (size_t pos = full.find(L'\\', m_path.size()); pos != std::wstring::npos; pos = full.find(L'\\', pos + 1))
        CreateDirectoryW(full.substr(0, pos).c_str(), nullptr);
    HANDLE h = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(h);
    }
    return full;
}

std::string Utf16File(const std::wstring& text) {
    std::string out = "\xFF\xFE";
    for (wchar_t c : text) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>((c >> 8) & 0xFF));
    }
    return out;
}

std::string CodePageFile(const std::wstring& text, unsigned cp) { return fw::ToNarrow(text, cp); }

} // namespace testing_support
