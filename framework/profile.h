#pragma once
// The application's registry profile: values under
// HKEY_CURRENT_USER\Software\<company>\<application>\<section>.
#include <windows.h>
#include <string>

namespace fw {

class Profile {
public:
    // Workspace values (window placement, visual style) live in this section.
    static constexpr const wchar_t* kWorkspaceSection = L"Workspace";

    Profile() = default;
    // The profile key becomes "Software\<company>\<application>".
    void SetRegistryKey(const std::wstring& company, const std::wstring& application);
    const std::wstring& KeyPath() const { return m_keyPath; }
    bool IsSet() const { return !m_keyPath.empty(); }

    // Integers are REG_DWORD values; a missing or unreadable value gives the default.
    int GetInt(const std::wstring& section, const std::wstring& entry, int defaultValue) const;
    [[nodiscard]] bool WriteInt(const std::wstring& section, const std::wstring& entry, int value) const;
    // Strings are REG_SZ values; a missing or unreadable value gives the default.
    std::wstring GetString(const std::wstring& section, const std::wstring& entry,
                           const std::wstring& defaultValue = {}) const;
    [[nodiscard]] bool WriteString(const std::wstring& section, const std::wstring& entry, const std::wstring& value) const;
    // Removes one value; true when it is gone afterwards (also when it never existed).
    [[nodiscard]] bool DeleteValue(const std::wstring& section, const std::wstring& entry) const;

    int GetWorkspaceInt(const std::wstring& entry, int defaultValue) const {
        return GetInt(kWorkspaceSection, entry, defaultValue);
    }
    [[nodiscard]] bool WriteWorkspaceInt(const std::wstring& entry, int value) const {
        return WriteInt(kWorkspaceSection, entry, value);
    }

private:
    std::wstring SectionPath(const std::wstring& section) const;
    std::wstring m_keyPath;
};

} // namespace fw
