#pragma once
// The script errors of a page as the main process keeps them. The tab
// content reports each error in two records (messages.h):
// UWM_TAB_SCRIPT_ERROR_AT with the line and character, then
// UWM_TAB_SCRIPT_ERROR with the message and the script's address. Every
// receiver reads the pair through ScriptErrorPairReader, so the tab view (the
// status bar sign and the list of a tab's errors) and the capture command
// take the same fields from the same parameters.
//
// Plain values without threads: each reader and each log belongs to one
// receiver (a tab view, a capture job) and is used on its thread only.
// Nothing here fails; a string parameter that is null reads as empty text.
//
//   case UWM_TAB_SCRIPT_ERROR_AT: m_reader.TakePosition(wParam, lParam); break;
//   case UWM_TAB_SCRIPT_ERROR: m_log.Add(m_reader.TakeError(wParam, lParam)); break;
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

// One script error: the engine's message, where it is (line and character,
// from 1; 0 when the engine did not say) and the address of the script.
struct ScriptError {
    std::wstring message;
    long line = 0;
    long character = 0;
    std::wstring address;

    bool operator==(const ScriptError&) const = default;
};

class ScriptErrorPairReader {
public:
    // UWM_TAB_SCRIPT_ERROR_AT: keeps the position for the record that
    // follows. Both numbers are signed 32-bit values.
    void TakePosition(WPARAM wParam, LPARAM lParam);
    // UWM_TAB_SCRIPT_ERROR: takes its two string parameters over (they are
    // freed here) and returns the whole error with the position kept last.
    // The position is then forgotten: a record that comes without one reads
    // line 0, character 0.
    ScriptError TakeError(WPARAM wParam, LPARAM lParam);

private:
    long m_line = 0;
    long m_character = 0;
};

// The errors of one page: how many were reported, and the first `kept` of
// them in full.
class ScriptErrorLog {
public:
    explicit ScriptErrorLog(std::size_t kept) : m_kept(kept) {}

    void Add(ScriptError error);
    // A new page: no error yet.
    void Clear();
    std::size_t Count() const { return m_count; }
    const std::vector<ScriptError>& Kept() const { return m_errors; }

private:
    std::size_t m_kept;
    std::size_t m_count = 0;
    std::vector<ScriptError> m_errors;
};

// The errors as text: one line per error (CR LF between lines), its message,
// line, character and address separated by tabs. Tabs and line breaks
// inside a field become spaces, so that every error stays one line of four
// fields.
std::wstring ScriptErrorsAsText(const std::vector<ScriptError>& errors);
