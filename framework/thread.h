#pragma once
// A user-interface thread object: InitInstance on the new thread, then Run
// (a message loop with pre-translation), then ExitInstance. With auto-delete
// on, the object deletes itself when its thread ends.
#include "handles.h"

#include <windows.h>

namespace fw {

class WinThread {
public:
    WinThread() = default;
    virtual ~WinThread();
    WinThread(const WinThread&) = delete;
    WinThread& operator=(const WinThread&) = delete;

    // Starts the thread. False when it could not be created; an auto-delete
    // object is then still owned by the caller.
    [[nodiscard]] bool CreateThread(DWORD flags = 0, UINT stackSize = 0, LPSECURITY_ATTRIBUTES security = nullptr);

    virtual bool InitInstance() { return true; }
    // The message loop; returns the value of ExitInstance when WM_QUIT arrives.
    virtual int Run();
    virtual int ExitInstance() { return m_exitCode; }
    // Offered every message of the loop before dispatch; true consumes it.
    // The default offers it to the framework windows from its target up.
    virtual bool PreTranslateMessage(MSG& msg);
    // Thread messages (no window) reach this; true when handled.
    virtual bool OnThreadMessage(const MSG&) { return false; }

    // Pumps one message; false when it was WM_QUIT (the exit code is kept).
    bool PumpMessage();

    DWORD ThreadId() const { return m_threadId; }
    HANDLE ThreadHandle() const { return m_thread.get(); }
    HWND MainWindow() const { return m_hMainWnd; }
    void SetMainWindow(HWND hwnd) { m_hMainWnd = hwnd; }

    bool m_bAutoDelete = true;

    // The framework thread object of the calling thread, or null.
    static WinThread* Current();

protected:
    int m_exitCode = 0;
    HWND m_hMainWnd = nullptr;

private:
    static DWORD WINAPI ThreadMain(void* self);
    UniqueHandle m_thread;
    DWORD m_threadId = 0;
    HANDLE m_queueReady = nullptr;  // owned by CreateThread while it waits
};

} // namespace fw
