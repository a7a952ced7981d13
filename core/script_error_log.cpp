#include "script_error_log.h"

#include "messages.h"

#include <cstdint>
#include <utility>

namespace {
long SignedNumber(std::uintptr_t value) {
    return static_cast<long>(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
}

void AppendField(std::wstring& out, const std::wstring& field) {
    for (wchar_t c : field) out += (c == L'\t' || c == L'\r' || c == L'\n') ? L' ' : c;
}
} // namespace

void ScriptErrorPairReader::TakePosition(WPARAM wParam, LPARAM lParam) {
    m_line = SignedNumber(wParam);
    m_character = SignedNumber(static_cast<std::uintptr_t>(lParam));
}

ScriptError ScriptErrorPairReader::TakeError(WPARAM wParam, LPARAM lParam) {
    auto message = TakeStringParam(wParam);
    auto address = TakeStringParam(static_cast<std::uintptr_t>(lParam));
    ScriptError error{message ? std::move(*message) : std::wstring(), m_line, m_character,
                      address ? std::move(*address) : std::wstring()};
    m_line = m_character = 0;
    return error;
}

void ScriptErrorLog::Add(ScriptError error) {
    ++m_count;
    if (m_errors.size() < m_kept) m_errors.push_back(std::move(error));
}

void ScriptErrorLog::Clear() {
    m_count = 0;
    m_errors.clear();
}

std::wstring ScriptErrorsAsText(const std::vector<ScriptError>& errors) {
    std::wstring out;
    for (const ScriptError& e : errors) {
        if (!out.empty()) out += L"\r\n";
        AppendField(out, e.message);
        out += L'\t' + std::to_wstring(e.line) + L'\t' + std::to_wstring(e.character) + L'\t';
        AppendField(out, e.address);
    }
    return out;
}
