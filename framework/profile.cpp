#include "profile.h"

#include "handles.h"

#include <vector>

namespace fw {

void Profile::SetRegistryKey(const std::wstring& company, const std::wstring& application) {
    m_keyPath = L"Software\\" + company + L"\\" + application;
}

std::wstring Profile::SectionPath(const std::wstring& section) const {
    return section.empty() ? m_keyPath : m_keyPath + L"\\" + section;
}

int Profile::GetInt(const std::wstring& section, const std::wstring& entry, int defaultValue) const {
    if (!IsSet()) return defaultValue;
    DWORD value = 0, size = sizeof(value), type = 0;
    LSTATUS rc = RegGetValueW(HKEY_CURRENT_USER, SectionPath(section).c_str(), entry.c_str(),
                              RRF_RT_REG_DWORD, &type, &value, &size);
    return rc == ERROR_SUCCESS ? static_cast<int>(value) : defaultValue;
}

bool Profile::WriteInt(const std::wstring& section, const std::wstring& entry, int value) const {
    if (!IsSet()) return false;
    RegKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, SectionPath(section).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return false;
    DWORD v = static_cast<DWORD>(value);
    return RegSetValueExW(key.get(), entry.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v),
                          sizeof(v)) == ERROR_SUCCESS;
}

std::wstring Profile::GetString(const std::wstring& section, const std::wstring& entry,
                                const std::wstring& defaultValue) const {
    if (!IsSet()) return defaultValue;
    const std::wstring path = SectionPath(section);
    // The value may change size between the two calls; retry a few times.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = 0;
        if (RegGetValueW(HKEY_CURRENT_USER, path.c_str(), entry.c_str(), RRF_RT_REG_SZ, nullptr, nullptr,
                         &size) != ERROR_SUCCESS)
            return defaultValue;
        std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
        size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        LSTATUS rc = RegGetValueW(HKEY_CURRENT_USER, path.c_str(), entry.c_str(), RRF_RT_REG_SZ, nullptr,
                                  buffer.data(), &size);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) return defaultValue;
        return std::wstring(buffer.data());
    }
    return defaultValue;
}

bool Profile::WriteString(const std::wstring& section, const std::wstring& entry, const std::wstring& value) const {
    if (!IsSet()) return false;
    RegKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, SectionPath(section).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExW(key.get(), entry.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool Profile::DeleteValue(const std::wstring& section, const std::wstring& entry) const {
    if (!IsSet()) return false;
    RegKey key;
    LSTATUS rc = RegOpenKeyExW(HKEY_CURRENT_USER, SectionPath(section).c_str(), 0, KEY_SET_VALUE, key.put());
    if (rc == ERROR_FILE_NOT_FOUND) return true;
    if (rc != ERROR_SUCCESS) return false;
    rc = RegDeleteValueW(key.get(), entry.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

} // namespace fw
