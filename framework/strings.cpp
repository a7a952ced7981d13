#include "strings.h"

#include <cstdarg>
#include <cwchar>

namespace fw {

namespace {
HINSTANCE g_resourceModule = nullptr;
}

HINSTANCE ResourceModule() {
    return g_resourceModule ? g_resourceModule : GetModuleHandleW(nullptr);
}

void SetResourceModule(HINSTANCE module) { g_resourceModule = module; }

std::optional<std::wstring> LoadResourceString(UINT id) {
    // Strings live in blocks of 16; an entry that is missing from an existing
    // block has length 0, exactly like an empty one, so look at the block
    // itself to tell "absent" from "empty".
    HINSTANCE module = ResourceModule();
    HRSRC block = FindResourceW(module, MAKEINTRESOURCEW(id / 16 + 1), MAKEINTRESOURCEW(6) /* RT_STRING */);
    if (!block) return std::nullopt;
    HGLOBAL data = LoadResource(module, block);
    if (!data) return std::nullopt;
    auto p = static_cast<const WCHAR*>(LockResource(data));
    DWORD size = SizeofResource(module, block) / sizeof(WCHAR);
    const WCHAR* end = p + size;
    for (UINT i = 0; i < id % 16; ++i) {
        if (p >= end) return std::nullopt;
        p += 1 + *p;
    }
    if (p >= end || *p == 0) return std::nullopt;
    if (p + 1 + *p > end) return std::nullopt;
    return std::wstring(p + 1, *p);
}

std::wstring ToWide(std::string_view text, UINT codePage) {
    if (text.empty()) return {};
    int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string ToNarrow(std::wstring_view text, UINT codePage) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring Format(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = _vscwprintf(format, copy);
    va_end(copy);
    std::wstring out;
    if (n > 0) {
        out.resize(static_cast<size_t>(n) + 1);
        _vsnwprintf(out.data(), out.size(), format, args);
        out.resize(static_cast<size_t>(n));
    }
    va_end(args);
    return out;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring ModuleFileName(HMODULE module, DWORD maxChars) {
    std::wstring path(maxChars, L'\0');
    DWORD n = GetModuleFileNameW(module, path.data(), maxChars);
    if (n == 0 || n >= maxChars) return {};
    path.resize(n);
    return path;
}

std::wstring DescribeSystemError(const wchar_t* call, DWORD error) {
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring description(text ? text : L"", n);
    if (text) LocalFree(text);
    while (!description.empty() && (description.back() == L'\n' || description.back() == L'\r' ||
                                    description.back() == L' ' || description.back() == L'.'))
        description.pop_back();
    std::wstring out = call ? std::wstring(call) + L": " : std::wstring();
    if (!description.empty()) out += description + L" ";
    return out + Format(L"(%lu)", static_cast<unsigned long>(error));
}

std::wstring FolderOfPath(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

} // namespace fw
