#pragma once
// The engine thread of one tab. Its role is chosen once, by its creator:
//   in-process  (in_process_thread.h) the tab's engine runs here: the thread
//               binds itself to the tab's version, creates the tab content
//               and runs its loop;
//   proxy       (proxy_thread.h, multi-process mode) relays between the tab
//               view and the tab's child process over a named pipe, and
//               watches the child;
//   child       (child_thread.h, inside a child process) reads the pipe for
//               the tab content and watches the parent process.
// Each role is a class of its own behind this interface; the rest of the
// program knows only CIEThread.
//
// Created by CIEThread::New on the main thread of its process (the tab view,
// the capture command, or a child's start-up), started with CreateThread.
// The object deletes itself when its thread ends, signalling the creator's
// done event first. The creator never calls into the thread: it posts the
// thread messages of the tab protocol (core/messages.h) to ThreadId().
//
// Errors: window and thread code returns bool. A failed start is shown to
// the user and ends the thread (an in-process tab stays empty, a proxy's tab
// is told to close with CLOSE_LAUNCH_FAILED, a child ends its process).
//
//   CIEThread* thread = CIEThread::New(CIEThread::Role::InProcess, start);
//   if (!thread->CreateThread()) delete thread;
//   else PostThreadMessageW(thread->ThreadId(), UWM_TAB_ZOOM, 150, 0);
#include "core/versions.h"

#include "framework/handles.h"
#include "framework/thread.h"

#include <cstdint>
#include <string>

class CIEThread : public fw::WinThread {
public:
    enum class Role : std::uint8_t { InProcess, Proxy, Child };

    // What a role needs at its start.
    struct Start {
        // Where the thread posts: the tab view's window in the main process,
        // the child's tab content in a child.
        HWND hWndTab = nullptr;
        // The main frame (child role: the parent's, which names its process).
        HWND hWndTopLevel = nullptr;
        IEVERSION version = IEDefault;
        // The address the tab shows first.
        std::wstring url;
        // Signalled as the object goes; not owned (the thread keeps a copy).
        HANDLE doneEvent = nullptr;
        // Child role: the pipe's name from the command line.
        std::wstring pipeName;
    };

    // A new thread object of `role`, not yet started.
    [[nodiscard]] static CIEThread* New(Role role, const Start& start);
    // The creators' form: the two flags choose the role (multi-process and
    // sub-process: child; multi-process only: proxy; neither: in-process).
    [[nodiscard]] static CIEThread* New(bool multiProcess, bool subProcess, LPCWSTR pipeName, HWND hWndTab,
                                        IEVERSION version, LPCWSTR url, HANDLE doneEvent, HWND hWndTopLevel);
    ~CIEThread() override;

    Role GetRole() const { return m_role; }
    // Offers key messages to the application's accelerator table first, so
    // the program's shortcut keys work while the focus is inside a page.
    bool PreTranslateMessage(MSG& msg) override;

    // The application's accelerator table. Set once by start-up, before the
    // first engine thread starts.
    static void SetAcceleratorTable(HACCEL table);
    static HACCEL AcceleratorTable();
    // Waits until no engine thread object of this process's main-process
    // roles (in-process and proxy) is left: their engine code has stopped
    // and every proxy has seen its child end. False when some are still
    // there after `timeoutMs`. Messages sent to the calling thread's windows
    // are served meanwhile.
    [[nodiscard]] static bool WaitForEngineThreads(DWORD timeoutMs);
    // The program whose child path hosts a tab: this process's own
    // executable unless set (a test host sets the staged program).
    static void SetProgramPath(const std::wstring& path);
    // Multi-process mode keeps a spare child ready for the next tab
    // (spare_child.h). Set once by start-up; off unless set.
    static void SetKeepSpareChild(bool keep);
    // The command line of a child: the quoted executable and its "-pcode="
    // argument.
    static std::wstring ChildCommandLine(const std::wstring& exe, const std::wstring& pipe, IEVERSION version,
                                         HWND view);

    HWND m_hWndTab = nullptr;
    HWND m_hWndTopLevel = nullptr;
    IEVERSION m_nVersion = IEDefault;
    std::wstring m_strURL;
    HANDLE m_hDoneEvent = nullptr;
    // True in the proxy and child roles.
    const bool m_bMultiProcess;
    // True in the child role.
    const bool m_bSubProcess;

protected:
    CIEThread(Role role, const Start& start);
    // Shows a translated error (owner: the tab's window).
    void ReportError(UINT stringId, const std::wstring& detail = {});

private:
    const Role m_role;
    // This thread's own handle of the creator's done event: the creator may
    // close its handle before this object goes.
    fw::UniqueHandle m_hOwnDoneEvent;
};
