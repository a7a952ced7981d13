#pragma once
// The script errors of a tab's pages. An engine reports a script error to
// its host through the host's IOleCommandTarget: Exec with no command group
// and OLECMDID_SHOWSCRIPTERROR, the page's document (IHTMLDocument2) in
// pvaIn; the details are properties of the document's window.event at that
// moment ("errorMessage", "errorLine", "errorCharacter", "errorUrl",
// "errorCode"). Answering S_OK tells the engine the host took care of it, so
// it shows no error dialog; pvaOut VT_BOOL VARIANT_TRUE lets the page's
// scripts go on.
//
// One CScriptErrorSink lives in each tab content's control site and shares
// the site's identity and reference count, like the site's document host
// handler: the site hands it out for IID_IOleCommandTarget. Runs on the tab
// content's thread. Every error is kept (the count, and the first
// kKeptErrors in full) and passed to the reporter, which the site points at
// the tab content's notifications (UWM_TAB_SCRIPT_ERROR_AT, then
// UWM_TAB_SCRIPT_ERROR, core/messages.h). COM methods return HRESULTs and
// never throw; a document without a window or an event still counts as an
// error, with what could be read.
//
//   site: if (iid == IID_IOleCommandTarget) { sink.SetOuter(site); *out = &sink; site->AddRef(); }
#include "framework/com_object.h"

#include <docobj.h>
#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

struct ScriptErrorReport {
    std::wstring message;
    long line = 0;
    long character = 0;
    long code = 0;
    std::wstring url;
};

// Reads the details of the error being reported from `document`'s
// window.event; false when the document has no window or no event.
[[nodiscard]] bool ReadScriptError(IUnknown* document, ScriptErrorReport& out);

class CScriptErrorSink final : public fw::TearOff<IOleCommandTarget> {
public:
    static constexpr std::size_t kKeptErrors = 20;

    // Where each error goes as it comes; may be empty.
    std::function<void(const ScriptErrorReport&)> m_reporter;

    std::size_t Count() const { return m_count; }
    const std::vector<ScriptErrorReport>& Errors() const { return m_errors; }

    STDMETHODIMP QueryStatus(const GUID* group, ULONG count, OLECMD* commands, OLECMDTEXT* text) override;
    STDMETHODIMP Exec(const GUID* group, DWORD id, DWORD option, VARIANT* in, VARIANT* out) override;

private:
    std::size_t m_count = 0;
    std::vector<ScriptErrorReport> m_errors;
};
