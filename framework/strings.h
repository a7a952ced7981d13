#pragma once
// String helpers: resource strings, code-page conversion, formatting.
#include <windows.h>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fw {

// The module whose resources hold the built-in string table (the executable
// unless a test points it elsewhere).
HINSTANCE ResourceModule();
void SetResourceModule(HINSTANCE module);

// Text of string-table entry `id` of the resource module; nullopt when the
// table has no such entry. An entry that exists with an empty text gives "".
std::optional<std::wstring> LoadResourceString(UINT id);

// Conversions through a code page (CP_ACP for the system's ANSI code page).
std::wstring ToWide(std::string_view text, UINT codePage = CP_ACP);
std::string ToNarrow(std::wstring_view text, UINT codePage = CP_ACP);

// printf-style formatting into a std::wstring.
std::wstring Format(const wchar_t* format, ...);

// Case-insensitive comparison of two wide strings (ordinal, invariant).
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);

// Full path of a module's file; empty when it cannot be read or does not fit
// into `maxChars` characters including the terminator.
std::wstring ModuleFileName(HMODULE module, DWORD maxChars = 32768);

// "<call>: <the system's description of error> (<error>)", for messages that
// report a failed system call.
std::wstring DescribeSystemError(const wchar_t* call, DWORD error);

// The folder part of a path with its trailing separator ("C:\\A\\b.exe" gives
// "C:\\A\\"); empty when the path has no separator. Both "\\" and "/" count.
std::wstring FolderOfPath(const std::wstring& path);

} // namespace fw
