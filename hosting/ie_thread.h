#pragma once
// The engine thread of one tab. Its role is fixed at construction:
//   in-process  the tab's engine runs here: the thread binds itself to the
//               tab's version, creates the tab content and runs its loop;
//   proxy       (multi-process mode) relays between the tab view and the
//               tab's child process over a named pipe, and watches the child;
//   child       (inside a child process) reads the pipe for the tab content
//               and watches the parent process.
#include "browser/dialog_wb_container.h"
#include "hosting/named_pipe.h"

#include "framework/thread.h"

#include <string>

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
    static void SetAcceleratorTable(HACCEL table);
    // Writes a notification of a child process's tab content to the parent,
    // through the pipe of the child's engine thread; false when that thread
    // is not (or no longer) there.
    static bool WriteToParent(CFNKXProcessMessage& message);
    // The program whose child path hosts a tab: this process's own
    // executable unless set (a test host sets the staged program).
    static void SetProgramPath(const std::wstring& path);
    // Starts the tab's child process (proxy role); false after reporting.
    bool LaunchChildProcess();
    // The command line of a child: "\"exe\" -pcode=<pipe>_ie<code>_<view>".
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
    bool m_bOleInitialized = false;
    void EndRelay();
    void WriteSize(int width, int height);
};
