#pragma once
// A small OLE container window for testing WebBrowser controls: it gives the
// control a client site with an in-place site, a document host handler, the
// ambient download-control flags and a window.external object, connects to
// both event interfaces and records every event with its arguments.
#include <windows.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <ocidl.h>

#include <functional>
#include <string>
#include <vector>

namespace browser_test {

struct Event {
    bool oldStyle = false;           // from DWebBrowserEvents (not ...Events2)
    DISPID id = 0;
    std::vector<std::wstring> args;  // in source order; see RenderArgument
};

// An argument as text: strings as they are, numbers in decimal, Booleans
// "true"/"false", the control itself "<top>", another object "<object>",
// a null object "<null>", empty "<empty>", references with a leading "&".
std::wstring RenderArgument(const VARIANT& value, IUnknown* control);

class Container {
public:
    // A top-level window of its own, or a child window of `parent` at `rect`.
    explicit Container(HWND parent = nullptr, RECT rect = RECT{0, 0, 800, 600});
    ~Container();
    Container(const Container&) = delete;
    Container& operator=(const Container&) = delete;

    // Creates a control through a stand-in library's DllGetClassObject
    // (`file` relative to the program's folder) and embeds it.
    HRESULT CreateFromLibrary(const wchar_t* file);
    // Embeds a control made elsewhere.
    HRESULT Embed(IUnknown* control);
    // Disconnects and closes the control as a host does when it goes away.
    void Close();

    IWebBrowser2* Browser() const { return browser_; }
    IUnknown* Control() const { return control_; }
    HWND Window() const { return window_; }
    HWND ControlWindow() const;

    // Runs this thread's messages until `done` answers true or the time is up.
    bool Pump(const std::function<bool()>& done, DWORD timeoutMs = 15000);
    // Navigates and waits for the top-level DocumentComplete (or an error
    // page's). Returns false on timeout or a failed Navigate call.
    bool NavigateAndWait(const std::wstring& url);
    // Index of the first event `id` at or after `from`, or -1.
    int Find(DISPID id, size_t from = 0, bool oldStyle = false) const;
    bool WaitFor(DISPID id, size_t from = 0, DWORD timeoutMs = 15000);
    // Events of one kind, in order.
    std::vector<Event> Of(DISPID id, bool oldStyle = false) const;

    // What the host answers.
    DWORD downloadFlags = 0x4070;
    DWORD hostFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_THEME;
    std::function<bool(const std::wstring& url)> cancelNavigation;  // BeforeNavigate2
    bool cancelNavigateError = false;
    bool processNewWindow = true;        // old-style NewWindow's Processed
    bool cancelWindowClosing = false;
    bool giveExternal = true;
    HRESULT acceleratorAnswer = S_FALSE;
    bool hostContextMenu = true;         // ShowContextMenu answers S_OK

    // What the host saw.
    std::vector<Event> events;
    std::vector<std::vector<std::wstring>> externalCalls;  // name first, then arguments
    int ambientReads = 0;
    int hostInfoCalls = 0;
    int acceleratorCalls = 0;
    int contextMenuCalls = 0;
    int inPlaceDeactivations = 0;

private:
    class Site;
    class Sink;
    class External;
    friend class Site;
    friend class Sink;
    friend class External;

    HWND window_ = nullptr;
    IUnknown* control_ = nullptr;
    IWebBrowser2* browser_ = nullptr;
    IOleObject* oleObject_ = nullptr;
    Site* site_ = nullptr;
    Sink* sink2_ = nullptr;
    Sink* sink1_ = nullptr;
    External* external_ = nullptr;
    DWORD cookie2_ = 0;
    DWORD cookie1_ = 0;
    HMODULE library_ = nullptr;
};

// Presses a button of the next message box that appears on thread
// `threadId` (IDOK, IDCANCEL, ...) from a thread of its own, once the box
// shows its text, and keeps that text. Join() waits for it (up to
// `timeoutMs` from the start).
class MessageBoxAnswer {
public:
    MessageBoxAnswer(DWORD threadId, int button, DWORD timeoutMs = 10000);
    ~MessageBoxAnswer();
    // The message text of the box that was answered (the title of a dialog
    // that has none, such as the print dialog); empty if none came.
    std::wstring Join();

private:
    static DWORD WINAPI Run(void* self);
    DWORD threadId_;
    int button_;
    DWORD timeoutMs_;
    HANDLE thread_ = nullptr;
    std::wstring text_;
};

}  // namespace browser_test
