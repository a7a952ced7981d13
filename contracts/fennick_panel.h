#pragma once
// contracts/: interfaces the program shares with components built apart
// from it. A header here includes only system headers, so that the
// program's layers and the stand-in components alike may include it.
//
// The contract with Fennick, the developer toolbar installed on its own: an
// in-process COM server whose panel object the tab content creates, places
// on the left of the page and asks to show a page's source. The program
// knows nothing of the component beyond these identifiers and this
// interface; a machine without it gets the "not found" message instead.
//
// The tab content creates the object on its own thread (CoCreateInstance,
// CLSCTX_INPROC_SERVER, IID_IDispatch), queries IFennickPanel and the
// shell's IDockingWindow, calls Initialize, then SetMainWindow,
// SetEngineModule and Start, and at its end Close before the last release.
// Only Initialize's result is looked at: S_OK means the panel is ready and
// its title (a BSTR the caller frees) names it; any other result is a
// failure and the object is dropped.
#include <windows.h>
#include <exdisp.h>

// The panel object's class.
inline constexpr CLSID CLSID_FennickPanel = {0x6F1E3A52, 0x9C2B, 0x4D7E, {0xA5, 0xB1, 0x3C, 0x8D, 0x2E, 0x4F, 0x1A, 0x60}};
// The panel interface, derived from IUnknown; called by slot.
inline constexpr IID IID_IFennickPanel = {0x6F1E3A53, 0x9C2B, 0x4D7E, {0xA5, 0xB1, 0x3C, 0x8D, 0x2E, 0x4F, 0x1A, 0x60}};

struct IFennickPanel : public IUnknown {
    // Slot 3: `parent` is the tab content's window (the panel window's
    // parent), `version` the tab's engine version (IEVERSION as 32 bits).
    virtual HRESULT STDMETHODCALLTYPE Initialize(HWND parent, IWebBrowser2* browser, DWORD version, BSTR* title) = 0;
    // Slots 4 and 5 belong to the component; the program never calls them.
    virtual HRESULT STDMETHODCALLTYPE Reserved4() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved5() = 0;
    // Slot 6: the application's main window.
    virtual HRESULT STDMETHODCALLTYPE SetMainWindow(HWND mainWindow) = 0;
    // Slot 7: the tab's urlmon.dll, or null when the thread has no engine record.
    virtual HRESULT STDMETHODCALLTYPE SetEngineModule(HMODULE urlmon) = 0;
    // Slot 8: called once when the tab content goes, before the last release.
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
    // Slot 9: called once after a successful Initialize and the two calls above.
    virtual HRESULT STDMETHODCALLTYPE Start() = 0;
    // Slot 10: shows the source of the tab's page in the component's own
    // window; the program always passes -1.
    virtual HRESULT STDMETHODCALLTYPE ShowSource(LONG which) = 0;
};

