#pragma once
// The engine thread of one tab. Its role is fixed at construction:
//   in-process  the tab's engine runs here: the thread binds itself to the
//               tab's version, creates the tab content and runs its loop;
//   proxy       (multi-process mode) relays between the tab view and the
//               tab's child process over a named pipe, and watches the child;
//   child       (inside a child process) reads the pipe for the tab content
//               and watches the parent process.
//
// Created and started by the main thread of its process (the tab view, or a
// child's start-up); deletes itself when its thread ends, signalling the
// creator's done event first. Failures of its start are shown to the user
// and end the thread (the in-process tab stays empty, a proxy's tab is told
// to close with CLOSE_LAUNCH_FAILED, a child ends its process).
#include "browser/dialog_wb_container.h"
#include "hosting/content_mirror.h"
#include "hosting/named_pipe.h"

#include "framework/handles.h"
#include "framework/thread.h"

#include <memory>
#include <string>

class CIEThread;

// Carries the notifications of a child process's tab content (written on
// the child's main thread) to the parent through the pipe of the child's
// engine thread. The engine thread attaches itself once its pipe is open
// and detaches as its object goes; a notification while none is attached
// is dropped. Owned by the child's start-up; outlives dialog and thread.
class CChildPipeNotifier final : public ITabContentOwner {
public:
    CChildPipeNotifier();
    ~CChildPipeNotifier();
    CChildPipeNotifier(const CChildPipeNotifier&) = delete;
    CChildPipeNotifier& operator=(const CChildPipeNotifier&) = delete;

    void Notify(UINT message, std::uint32_t wParam, std::uint32_t lParam) override;
    void NotifyString(UINT message, const std::wstring& text, std::uint32_t lParam) override;
    void NotifyStrings(UINT message, const std::wstring& first, const std::wstring& second) override;

    void Attach(CIEThread* thread);
    void Detach(CIEThread* thread);

private:
    void Write(CFNKXProcessMessage& message);
    // Held for one write, and while the thread attaches or detaches, so a
    // write never reaches a pipe whose thread object is being destroyed.
    CRITICAL_SECTION m_lock;
    CIEThread* m_pThread = nullptr;
};

class CIEThread : public fw::WinThread {
public:
    CIEThread();
    CIEThread(bool multiProcess, bool subProcess, LPCWSTR pipeName, HWND hWndTab, IEVERSION version, LPCWSTR url,
              HANDLE doneEvent, HWND hWndTopLevel);
    ~CIEThread() override;

    bool InitInstance() override;
    int Run() override;
    bool PreTranslateMessage(MSG& msg) override;
    int ExitInstance() override;
    bool OnThreadMessage(const MSG& msg) override;
    virtual int RunPipeLoop();

    // The application's accelerator table, offered every key message first.
    // Set once by start-up, before the first engine thread starts.
    static void SetAcceleratorTable(HACCEL table);
    // Child role: where the tab content's notifications are written. Set
    // before the thread starts.
    void SetChildNotifier(CChildPipeNotifier* notifier) { m_pNotifier = notifier; }
    // Waits until no in-process engine thread object is left (their threads
    // then run no engine code any more); false when some are still there
    // after `timeoutMs`. For the main process's exit, before the engine
    // libraries are freed. Messages sent to the calling thread's windows
    // are served meanwhile.
    static bool WaitForEngineThreads(DWORD timeoutMs);
    // The program whose child path hosts a tab: this process's own
    // executable unless set (a test host sets the staged program).
    static void SetProgramPath(const std::wstring& path);
    // Starts the tab's child process (proxy role); false after reporting.
    bool LaunchChildProcess();
    // The command line of a child: the quoted executable and its "-pcode="
    // argument.
    static std::wstring ChildCommandLine(const std::wstring& exe, const std::wstring& pipe, IEVERSION version,
                                         HWND view);

    HWND m_hWndTab = nullptr;
    HWND m_hWndTopLevel = nullptr;
    IEVERSION m_nVersion = IEDefault;
    std::wstring m_strURL;
    HANDLE m_hDoneEvent = nullptr;
    bool m_bMultiProcess = false;
    CDialogWBContainer m_dlgContent;
    bool m_bSubProcess = false;
    std::wstring m_strPipeName;
    STARTUPINFOW m_startupInfo{};
    PROCESS_INFORMATION m_processInfo{};
    CFNKNamedPipe m_pipe;

private:
    friend class CChildPipeNotifier;
    bool m_bOleInitialized = false;
    CChildPipeNotifier* m_pNotifier = nullptr;
    // This thread's own handle of the creator's done event.
    fw::UniqueHandle m_hOwnDoneEvent;
    // Shows a translated error (owner: the tab's window).
    void ReportError(UINT stringId, const std::wstring& detail = {});
    void EndRelay();
    void WriteSize(int width, int height);
    // Proxy: whether a window of the child process still takes sent
    // messages (a page asking its question runs a modal loop and does; a
    // hung child does not); `withoutWindow` when it has none in the tab.
    bool ChildResponds(bool withoutWindow) const;
    // Proxy: when the close question went to the child and is still
    // unanswered (GetTickCount64), or 0.
    ULONGLONG m_closeAskedAt = 0;
    // Proxy: the child stopped answering, so its end is not waited for.
    bool m_bChildHung = false;
    // Proxy: when the child last took a message, and when to look again
    // (GetTickCount64; 0 until the child connects).
    ULONGLONG m_lastAnswerAt = 0;
    ULONGLONG m_nextWatchAt = 0;
    // Under Wine: the child paints its content into a picture, which the
    // proxy draws in the tab's view.
    std::unique_ptr<CContentPictureWriter> m_pPictureWriter;
    CContentPictureReader m_pictureReader;
};
