#include "temp_dir.h"

#include "framework/strings.h"

#include <windows.h>
#include <shellapi.h>
#include <atomic>

namespace testing_support {

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    wchar_t base[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, base);
    m_path = fw::Format(L"%svantrell-test-%lu-%d\\", base, GetCurrentProcessId(), counter++);
    CreateDirectoryW(m_path.c_str(), nullptr);
}

TempDir::~TempDir() {
    std::wstring from = m_path.substr(0, m_path.size() - 1);
    from.push_back(L'\0');  // double terminator for the shell
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationW(&op);
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
