#pragma once
// The script errors of one tab (dialog 402): a list with the message, line,
// character and address of each error the tab's page reported, "Copy", which
// puts every row on the clipboard as text (ScriptErrorsAsText: tab-separated
// fields, one line per error), and "Close".
//
// Constructed by the main frame when the status bar's sign is clicked, with
// a copy of the active tab's errors, and run modally on the user-interface
// thread; it shows the errors as they were when it opened, whatever becomes
// of the tab meanwhile. The object lives on the caller's stack.
//
//   CScriptErrorsDialog dialog(view->ScriptErrors().Kept(), view->ScriptErrors().Count());
//   dialog.DoModal(frameWindow);
//
// DoModal returns IDCANCEL once closed, or -1 when the dialog could not be
// shown. Window code: bool results, nothing thrown.
#include "core/script_error_log.h"
#include "framework/window.h"

#include <cstddef>
#include <vector>

class CScriptErrorsDialog : public fw::Dialog {
public:
    // `count` is how many errors were reported; `errors` those kept of them.
    CScriptErrorsDialog(std::vector<ScriptError> errors, std::size_t count)
        : m_errors(std::move(errors)), m_count(count) {}

    INT_PTR DoModal(HWND parent);

protected:
    BOOL OnInitDialog() override;
    bool DialogProc(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    void FillList() const;
    // Puts the rows on the clipboard; false when the clipboard could not be
    // had or the text not stored.
    [[nodiscard]] bool CopyRows() const;

    std::vector<ScriptError> m_errors;
    std::size_t m_count;
};
