#pragma once
// Small character helpers shared by the parser and the layout.
#include <string>
#include <string_view>

namespace render::detail {

inline wchar_t Lower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? wchar_t(c + 32) : c; }

inline bool IsSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\f';
}

inline bool EqualNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

inline bool StartsWithNoCase(std::wstring_view s, std::size_t at, std::wstring_view prefix) {
    return at <= s.size() && s.size() - at >= prefix.size() &&
           EqualNoCase(s.substr(at, prefix.size()), prefix);
}

// Position of `needle` in `s` at or after `from`, ignoring case; npos if none.
inline std::size_t FindNoCase(std::wstring_view s, std::wstring_view needle, std::size_t from) {
    if (needle.empty()) return from <= s.size() ? from : std::wstring_view::npos;
    for (std::size_t i = from; i + needle.size() <= s.size(); ++i)
        if (Lower(s[i]) == Lower(needle[0]) && EqualNoCase(s.substr(i, needle.size()), needle))
            return i;
    return std::wstring_view::npos;
}

inline std::wstring_view Trim(std::wstring_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return s;
}

inline std::wstring ToLower(std::wstring_view s) {
    std::wstring out(s);
    for (auto& c : out) c = Lower(c);
    return out;
}

// Runs of white space become one space; leading and trailing space removed.
inline std::wstring CollapseSpace(std::wstring_view s) {
    std::wstring out;
    bool space = false;
    for (wchar_t c : s) {
        if (IsSpace(c) || c == 0xA0) {
            space = true;
        } else {
            if (space && !out.empty()) out += L' ';
            space = false;
            out += c;
        }
    }
    return out;
}

}  // namespace render::detail
