#pragma once
// A thin object wrapper around a Win32 window: one C++ object per window,
// messages dispatched through a virtual WindowProc.
#include <windows.h>
#include <string>

namespace fw {

// The outermost ancestor of a window (GetParent until it gives null).
HWND OutermostAncestor(HWND hwnd);

class Window {
public:
    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Creates the window with a class registered by the framework for this
    // object type (`className`, registered once per process).
    [[nodiscard]] bool Create(DWORD exStyle, const wchar_t* className, const std::wstring& title, DWORD style, int x, int y,
                int cx, int cy, HWND parent, HMENU menuOrId, HICON icon = nullptr);
    void Destroy();

    HWND Handle() const { return m_hWnd; }
    // The framework object of a window created by this framework on the
    // calling thread's process; null for every other window.
    static Window* FromHandle(HWND hwnd);

    std::wstring Text() const;
    void SetText(const std::wstring& text) const { SetWindowTextW(m_hWnd, text.c_str()); }

    // Offered every message of the thread's loop whose target is this window
    // or one of its descendants; return true to consume it.
    virtual bool PreTranslateMessage(MSG& msg);

protected:
    // Binds this object to a window created elsewhere (a dialog), or undoes it.
    void Attach(HWND hwnd);
    void Detach();
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);
    // Called after the window is gone; the object may delete itself here.
    virtual void PostNcDestroy() {}

private:
    static LRESULT CALLBACK StaticProc(HWND, UINT, WPARAM, LPARAM);
    HWND m_hWnd = nullptr;
};

// A top-level frame window loaded from a resource id: its title is the
// string with that id, its icon the icon with that id and its keyboard
// shortcuts the accelerator table with that id.
class FrameWnd : public Window {
public:
    [[nodiscard]] bool LoadFrame(UINT resourceId, DWORD style, HWND parent = nullptr);
    bool PreTranslateMessage(MSG& msg) override;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // WM_CREATE; return -1 to fail the creation.
    virtual int OnCreate(CREATESTRUCTW*) { return 0; }
    virtual void OnSize(UINT, int, int) {}
    // WM_COMMAND from a menu, an accelerator or a control; true when handled.
    virtual bool OnCommand(UINT /*id*/, UINT /*code*/, HWND /*control*/) { return false; }
    virtual void OnClose() { Destroy(); }

private:
    HACCEL m_hAccel = nullptr;
};

// A dialog created from a dialog template, modeless (Create) or modal
// (DoModal). Its messages reach DialogProc; keyboard navigation of a
// modeless one goes through the dialog manager in PreTranslateMessage, a
// modal one has the system's own loop.
class Dialog : public Window {
public:
    // False when the dialog could not be created, or was destroyed (and may
    // have deleted itself in PostNcDestroy) before Create returned.
    [[nodiscard]] bool Create(UINT templateId, HWND parent);
    // Shows the dialog modally, `parent` disabled meanwhile, until
    // EndDialog; returns the value given to EndDialog, or -1 when the
    // dialog could not be created. The object must not delete itself.
    INT_PTR DoModal(UINT templateId, HWND parent);
    // Ends a modal dialog with `result`.
    void EndDialog(INT_PTR result) const { ::EndDialog(Handle(), result); }
    bool PreTranslateMessage(MSG& msg) override;
    HWND Item(int id) const { return GetDlgItem(Handle(), id); }

protected:
    // Returns TRUE to let the system set the focus.
    virtual BOOL OnInitDialog() { return TRUE; }
    // Dialog messages; return true when handled, with the result in `result`
    // (set as the message result with DWLP_MSGRESULT where that matters).
    virtual bool DialogProc(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);

private:
    static INT_PTR CALLBACK StaticDialogProc(HWND, UINT, WPARAM, LPARAM);
};

} // namespace fw
