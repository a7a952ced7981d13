#include "ie_thread.h"

#include "app/locations.h"
#include "isolation/isolation.h"

#include "framework/app.h"
#include "framework/strings.h"

#include <objbase.h>
#include <ole2.h>

namespace {
HACCEL g_accelerators = nullptr;
std::wstring g_programPath;
constexpr DWORD kChildExitWaitMs = 5000;
constexpr UINT kOleInitFailedString = 100;

std::wstring FolderOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// The child process's engine thread, for the writes of the main thread.
struct ChildThreadSlot {
    ChildThreadSlot() { InitializeCriticalSection(&lock); }
    CRITICAL_SECTION lock;
    CIEThread* thread = nullptr;
};
ChildThreadSlot& ChildSlot() {
    static ChildThreadSlot* slot = new ChildThreadSlot;  // outlives every thread
    return *slot;
}

void ErrorBox(HWND owner, const wchar_t* text) { fw::AppMessageBox(owner, text, MB_OK | MB_ICONERROR); }
} // namespace

void CIEThread::SetAcceleratorTable(HACCEL table) { g_accelerators = table; }
void CIEThread::SetProgramPath(const std::wstring& path) { g_programPath = path; }

CIEThread::CIEThread() = default;

CIEThread::CIEThread(bool multiProcess, bool subProcess, LPCWSTR pipeName, HWND hWndTab, IEVERSION version,
                     LPCWSTR url, HANDLE doneEvent, HWND hWndTopLevel)
    : m_hWndTab(hWndTab), m_hWndTopLevel(hWndTopLevel), m_nVersion(version), m_strURL(url ? url : L""),
      m_hDoneEvent(doneEvent), m_bMultiProcess(multiProcess), m_bSubProcess(subProcess),
      m_strPipeName(pipeName ? pipeName : L"") {
    m_startupInfo.cb = sizeof(m_startupInfo);
}

bool CIEThread::WriteToParent(CFNKXProcessMessage& message) {
    ChildThreadSlot& slot = ChildSlot();
    EnterCriticalSection(&slot.lock);
    bool written = slot.thread != nullptr;
    if (written) slot.thread->m_pipe.Send(message);
    LeaveCriticalSection(&slot.lock);
    return written;
}

CIEThread::~CIEThread() {
    if (m_bSubProcess) {
        ChildThreadSlot& slot = ChildSlot();
        EnterCriticalSection(&slot.lock);
        if (slot.thread == this) slot.thread = nullptr;
        LeaveCriticalSection(&slot.lock);
    }
    // The creator may be waiting for this: tell it first.
    if (m_hDoneEvent) SetEvent(m_hDoneEvent);
    m_pipe.Close();
    if (m_processInfo.hProcess) CloseHandle(m_processInfo.hProcess);
    if (m_processInfo.hThread) CloseHandle(m_processInfo.hThread);
}

bool CIEThread::InitInstance() {
    if (!m_bMultiProcess) {
        BindThreadToVersion(0, m_nVersion);
        if (FAILED(OleInitialize(nullptr))) {
            std::wstring text = fw::LoadResourceString(kOleInitFailedString).value_or(L"");
            ErrorBox(nullptr, text.c_str());
            return false;
        }
        m_bOleInitialized = true;
        m_dlgContent.m_hWndView = m_hWndTab;
        m_dlgContent.m_strURL = m_strURL;
        m_dlgContent.m_nVersion = m_nVersion;
        m_dlgContent.m_hWndTopLevel = fw::OutermostAncestor(m_hWndTab);
        if (!m_dlgContent.Create(CDialogWBContainer::kTemplateId, m_hWndTab)) return true;
        SetParent(m_dlgContent.Handle(), m_hWndTab);
        ShowWindow(m_dlgContent.Handle(), SW_SHOW);
        return true;
    }
    if (!m_bSubProcess) {
        m_pipe.CreateServer(m_strPipeName);
        return LaunchChildProcess();
    }

    // Child role: find and watch the parent process, then open the pipe.
    DWORD parentId = 0;
    GetWindowThreadProcessId(m_hWndTopLevel, &parentId);
    if (parentId == 0) {
        ErrorBox(m_hWndTab, L"Unable to get Parent Process ID");
        // Without a parent there is nothing to host for: end the process.
        PostMessageW(m_hWndTab, WM_DESTROY, 0, 0);
        PostThreadMessageW(GetWindowThreadProcessId(m_hWndTab, nullptr), WM_QUIT, 0, 0);
        return false;
    }
    m_processInfo.hProcess = OpenProcess(SYNCHRONIZE, FALSE, parentId);
    if (!m_processInfo.hProcess) {
        ErrorBox(m_hWndTab, L"Unable to get Parent Process Handle");
        PostMessageW(m_hWndTab, WM_CLOSE, 0, 0);
        PostThreadMessageW(GetWindowThreadProcessId(m_hWndTab, nullptr), WM_QUIT, 0, 0);
        return false;
    }
    if (!m_pipe.OpenClient(m_strPipeName.c_str())) {
        // No pipe, no tab: ending the child lets the parent report the loss.
        PostThreadMessageW(GetWindowThreadProcessId(m_hWndTab, nullptr), WM_QUIT, 0, 0);
        return false;
    }
    ChildThreadSlot& slot = ChildSlot();
    EnterCriticalSection(&slot.lock);
    slot.thread = this;
    LeaveCriticalSection(&slot.lock);
    return true;
}

std::wstring CIEThread::ChildCommandLine(const std::wstring& exe, const std::wstring& pipe, IEVERSION version,
                                         HWND view) {
    std::wstring code = version == IE55 ? L"55" : (IsValidVersion(version) ? g_versionCodes[version] : L"");
    return fw::Format(L"\"%s\" -pcode=%s_ie%s_%X", exe.c_str(), pipe.c_str(), code.c_str(),
                      static_cast<unsigned>(reinterpret_cast<UINT_PTR>(view)));
}

bool CIEThread::LaunchChildProcess() {
    std::wstring self = g_programPath.empty() ? fw::ModuleFileName(nullptr, MAX_PATH) : g_programPath;
    if (self.empty()) {
        ErrorBox(m_hWndTab, L"Error when launching sub-process (1)");
        PostMessageW(m_hWndTab, UWM_TAB_MUST_CLOSE, CLOSE_LAUNCH_FAILED, 0);
        return false;
    }
    std::wstring exe = m_nVersion == IE9 ? FolderOf(self) + L"\\" + kIE9Executable : self;
    std::wstring commandLine = ChildCommandLine(exe, m_strPipeName, m_nVersion, m_hWndTab);
    m_startupInfo = STARTUPINFOW{};
    m_startupInfo.cb = sizeof(m_startupInfo);
    m_processInfo = PROCESS_INFORMATION{};
    std::wstring buffer = commandLine;
    buffer.resize(std::max<size_t>(buffer.size() + 1, MAX_PATH), L'\0');
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &m_startupInfo,
                        &m_processInfo)) {
        ErrorBox(m_hWndTab, L"Error when launching sub-process (2)");
        PostMessageW(m_hWndTab, UWM_TAB_MUST_CLOSE, CLOSE_LAUNCH_FAILED, 0);
        return false;
    }
    return true;
}

int CIEThread::Run() { return m_bMultiProcess ? RunPipeLoop() : fw::WinThread::Run(); }

bool CIEThread::PreTranslateMessage(MSG& msg) {
    if (g_accelerators && msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) {
        HWND target = MainWindow() ? MainWindow() : GetActiveWindow();
        if (target && TranslateAcceleratorW(target, g_accelerators, &msg)) return true;
    }
    return fw::WinThread::PreTranslateMessage(msg);
}

void CIEThread::WriteSize(int width, int height) {
    m_pipe.SendNumbers(WM_SIZE, 0, static_cast<LPARAM>((height << 16) | (width & 0xFFFF)));
}

bool CIEThread::OnThreadMessage(const MSG& msg) {
    HWND dialog = m_dlgContent.Handle();
    const bool inProcess = !m_bMultiProcess;
    switch (msg.message) {
    case UWM_ENGINE_CLOSE:
        if (inProcess) PostMessageW(dialog, WM_CLOSE, 0, 0);
        else if (!m_bSubProcess) m_pipe.SendNumbers(UWM_ENGINE_CLOSE, 0, 0);
        else PostMessageW(m_hWndTab, WM_CLOSE, 0, 0);
        PostQuitMessage(0);
        return true;
    case WM_SIZE:
        if (inProcess) MoveWindow(dialog, 0, 0, static_cast<int>(msg.wParam), static_cast<int>(msg.lParam), TRUE);
        else if (!m_bSubProcess) WriteSize(static_cast<int>(msg.wParam), static_cast<int>(msg.lParam));
        return true;
    case UWM_ENGINE_COMMAND:
        if (inProcess) SendMessageW(dialog, WM_COMMAND, msg.wParam, msg.lParam);
        else if (!m_bSubProcess) m_pipe.SendNumbers(WM_COMMAND, msg.wParam, msg.lParam);
        return true;
    case UWM_TAB_NAVIGATE:
        if (inProcess) {
            // The dialog takes the string over (a null one is ignored there).
            if (!dialog || !SendMessageW(dialog, UWM_TAB_NAVIGATE, msg.wParam, msg.lParam)) TakeStringParam(msg.wParam);
        } else if (!m_bSubProcess) {
            if (auto url = TakeStringParam(msg.wParam)) m_pipe.SendString(UWM_TAB_NAVIGATE, url->c_str(), msg.lParam);
        }
        return true;
    case UWM_TAB_ZOOM:
    case UWM_TAB_QUERY_CLOSE:
    case UWM_TAB_DOWNLOAD_FLAGS:
    case UWM_TAB_TASKBAR_PREVIEW:
        if (inProcess) SendMessageW(dialog, msg.message, msg.wParam, msg.lParam);
        else if (!m_bSubProcess) m_pipe.SendNumbers(msg.message, msg.wParam, msg.lParam);
        return true;
    default:
        return false;
    }
}

void CIEThread::EndRelay() {
    if (m_bSubProcess) PostMessageW(m_hWndTab, WM_CLOSE, 0, 0);
    else PostMessageW(m_hWndTab, UWM_TAB_MUST_CLOSE, CLOSE_ENGINE_LOST, 0);
    PostQuitMessage(0);
}

int CIEThread::RunPipeLoop() {
    for (;;) {
        HANDLE handles[2] = {m_processInfo.hProcess, m_bSubProcess || m_pipe.IsConnected() ? m_pipe.ReadEvent()
                                                                                           : m_pipe.ConnectEvent()};
        DWORD count = handles[1] ? 2 : 1;
        DWORD r = MsgWaitForMultipleObjects(count, handles, FALSE, INFINITE, QS_ALLEVENTS);
        if (r == WAIT_OBJECT_0) {
            EndRelay();
            return fw::WinThread::Run();
        }
        if (r == WAIT_OBJECT_0 + 1 && count == 2) {
            if (!m_bSubProcess && !m_pipe.IsConnected()) {
                if (m_pipe.PollConnect() == CFNKNamedPipe::ConnectState::Connected) {
                    RECT client{};
                    GetClientRect(m_hWndTab, &client);
                    WriteSize(client.right - client.left, client.bottom - client.top);
                    m_pipe.SendString(UWM_TAB_NAVIGATE, m_strURL.c_str(), 0);
                }
                continue;
            }
            bool first = true;
            while (auto message = m_pipe.Receive(!first)) {
                first = false;
                const DWORD error = message->m_nError;
                if (error == ERROR_INVALID_HANDLE || error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED) {
                    m_pipe.SetConnected(false);
                    EndRelay();
                    return fw::WinThread::Run();
                }
                if (message->m_nMessage == UWM_ENGINE_CLOSE) {
                    PostThreadMessageW(GetCurrentThreadId(), UWM_ENGINE_CLOSE, message->m_wParam, message->m_lParam);
                    continue;
                }
                message->PostTo(m_hWndTab);
            }
            continue;
        }
        if (r == WAIT_OBJECT_0 + count) {
            MSG peek;
            while (PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE)) {
                if (!PumpMessage()) return ExitInstance();
            }
        }
    }
}

int CIEThread::ExitInstance() {
    if (!m_bMultiProcess) {
        UnbindCurrentThread();
        // The tab content and its controls go before OLE does.
        m_dlgContent.Destroy();
        if (m_bOleInitialized) OleUninitialize();
        m_bOleInitialized = false;
    } else if (m_bSubProcess) {
        m_pipe.Close();
    } else {
        // A write still in flight (the closing request itself) would be
        // cancelled with this thread's I/O: let it reach the child first.
        m_pipe.FinishWrites(1000);
        m_pipe.Disconnect();
        m_pipe.Close();
        if (m_processInfo.hProcess && WaitForSingleObject(m_processInfo.hProcess, kChildExitWaitMs) == WAIT_TIMEOUT)
            TerminateProcess(m_processInfo.hProcess, 0);
    }
    return fw::WinThread::ExitInstance();
}
