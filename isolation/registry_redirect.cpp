// Registry answers that must differ for the hosted engines: the installed
// browser's version vector is hidden from every thread, and for version 5.5
// the registration path of one type library is made to look present.
#include "isolation.h"

#include "detours.h"

#include "framework/errors.h"

#include <cstring>
#include <cwchar>
#include <vector>

namespace {

constexpr LONG kStatusBufferTooSmall = static_cast<LONG>(0xC0000023);
constexpr int kKeyNameInformation = 3;
const wchar_t kVersionVector[] = L"SOFTWARE\\Microsoft\\Internet Explorer\\Version Vector";
const wchar_t kTypeLibGuid[] = L"{527A4DA4-7F2C-11D2-B12D-0000F81F5995}";

HKEY FakeHandle(int slot) { return reinterpret_cast<HKEY>(static_cast<UINT_PTR>(slot)); }

bool IsSlot(const IEENGINE& e, int slot, HKEY key) {
    return e.hFakeKey[slot - 1] != nullptr && e.hFakeKey[slot - 1] == key;
}

LSTATUS OpenFake(IEENGINE& e, int slot, PHKEY result) {
    e.hFakeKey[slot - 1] = FakeHandle(slot);
    if (result) *result = FakeHandle(slot);
    return ERROR_SUCCESS;
}

size_t FindNoCase(const std::wstring& text, const wchar_t* what) {
    const size_t n = std::wcslen(what);
    for (size_t i = 0; i + n <= text.size(); ++i)
        if (_wcsnicmp(text.c_str() + i, what, n) == 0) return i;
    return std::wstring::npos;
}

} // namespace

std::wstring GetRegistryKeyName(HKEY key) {
    if (!RealZwQueryKey) return {};
    ULONG length = 0;
    if (RealZwQueryKey(key, kKeyNameInformation, nullptr, 0, &length) != kStatusBufferTooSmall) return {};
    std::vector<BYTE> buffer(length + 2, 0);
    if (RealZwQueryKey(key, kKeyNameInformation, buffer.data(), length, &length) != 0) return {};
    ULONG nameBytes = 0;
    std::memcpy(&nameBytes, buffer.data(), sizeof(nameBytes));
    // Never read past what the system wrote.
    if (nameBytes > buffer.size() - sizeof(ULONG)) nameBytes = static_cast<ULONG>(buffer.size() - sizeof(ULONG));
    return std::wstring(reinterpret_cast<const wchar_t*>(buffer.data() + sizeof(ULONG)), nameBytes / sizeof(wchar_t));
}

LSTATUS WINAPI HookedRegOpenKeyW(HKEY key, LPCWSTR subKey, PHKEY result) {
    return fw::Guarded("RegOpenKeyW detour", LSTATUS{ERROR_OUTOFMEMORY}, [&]() -> LSTATUS {
        if (subKey && (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER) && _wcsicmp(subKey, kVersionVector) == 0)
            return ERROR_FILE_NOT_FOUND;

        IEENGINE* engine = subKey ? GetCurrentEngine() : nullptr;
        if (engine && engine->version == IE55) {
            IEENGINE& e = *engine;
            if (IsSlot(e, 4, key)) return RealRegOpenKeyW(key, subKey, result);
            if (IsSlot(e, 3, key) && _wcsicmp(subKey, L"win32") == 0) return OpenFake(e, 4, result);
            if (IsSlot(e, 2, key) && std::wcscmp(subKey, L"0") == 0) return OpenFake(e, 3, result);
            if (IsSlot(e, 1, key) && _wcsicmp(subKey, L"1.0") == 0) return OpenFake(e, 2, result);
            if (_wcsicmp(subKey, kTypeLibGuid) == 0) {
                // Registry names are case-insensitive (Wine stores the key as
                // "Typelib"), so the parent's name is compared the same way.
                std::wstring name = GetRegistryKeyName(key);
                size_t at = FindNoCase(name, L"\\TypeLib");
                if (at != std::wstring::npos && at + 8 == name.size()) return OpenFake(e, 1, result);
            }
        }
        return RealRegOpenKeyW(key, subKey, result);
    });
}

LSTATUS WINAPI HookedRegCloseKey(HKEY key) {
    return fw::Guarded("RegCloseKey detour", LSTATUS{ERROR_OUTOFMEMORY}, [&]() -> LSTATUS {
        if (key) {
            IEENGINE* engine = GetCurrentEngine();
            if (engine && engine->version == IE55) {
                for (int slot = 1; slot <= 4; ++slot) {
                    if (IsSlot(*engine, slot, key)) {
                        engine->hFakeKey[slot - 1] = nullptr;
                        return ERROR_SUCCESS;
                    }
                }
            }
        }
        return RealRegCloseKey(key);
    });
}

LSTATUS WINAPI HookedRegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                      LPDWORD size) {
    return fw::Guarded("RegQueryValueExW detour", LSTATUS{ERROR_OUTOFMEMORY}, [&]() -> LSTATUS {
        return RealRegQueryValueExW(key, name, reserved, type, data, size);
    });
}

LSTATUS WINAPI HookedRegQueryValueW(HKEY key, LPCWSTR subKey, LPWSTR data, PLONG size) {
    return fw::Guarded("RegQueryValueW detour", LSTATUS{ERROR_OUTOFMEMORY}, [&]() -> LSTATUS {
        return RealRegQueryValueW(key, subKey, data, size);
    });
}
