#pragma once
// A private folder under the system's temporary folder, removed with its
// contents when the object goes away.
#include <string>

namespace testing_support {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // With a trailing backslash.
    const std::wstring& Path() const { return m_path; }
    // Writes raw bytes to a file below the folder, creating sub-folders.
    std::wstring WriteFile(const std::wstring& relative, const std::string& bytes) const;

private:
    std::wstring m_path;
};

// UTF-16LE bytes with the FF FE signature.
std::string Utf16File(const std::wstring& text);
// Bytes of `text` in code page `cp`.
std::string CodePageFile(const std::wstring& text, unsigned cp);

} // namespace testing_support
