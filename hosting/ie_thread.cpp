#include "ie_thread.h"

#include "core/locations.h"
#include "framework/app.h"
#include "framework/strings.h"
#include "framework/wine.h"
#include "isolation/isolation.h"
#include "prefs/language.h"
#include "res/resource_ids.h"

#include <objbase.h>
#include <algorithm>
#include <ole2.h>

namespace {
HACCEL g_accelerators = nullptr;
std::wstring g_programPath;
constexpr DWORD kChildExitWaitMs = 5000;
// How long a child may leave the close question unanswered before the proxy
// looks whether it still runs, and how long that look waits.
constexpr ULONGLONG kCloseAnswerWaitMs = 3000;
constexpr UINT kRespondWaitMs = 1000;
// A child's windows share their input with the tab's window, so a child
// that stops taking messages can block the main window (a focus change
// waits for it). The proxy looks at its child this often, and ends a child
// that has not answered for this long; its tab closes with the notice.
constexpr ULONGLONG kWatchIntervalMs = 1500;
constexpr ULONGLONG kHungChildMs = 6000;
// Under Wine: how often a child paints its content for the parent.
constexpr DWORD kPictureIntervalMs = 250;

// The in-process engine thread objects alive, so the main process's exit can
// wait for them before it frees the engine libraries. Never destroyed:
// threads may end while the process runs its static destructors.
struct LiveEngineThreads {
    LiveEngineThreads() {
        InitializeCriticalSection(&lock);
        noneLeft = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    }
    CRITICAL_SECTION lock;
    HANDLE noneLeft;
    int count = 0;
};
LiveEngineThreads& Live() {
    static LiveEngineThreads* live = new LiveEngineThreads;
    return *live;
}
void CountEngineThread(int delta) {
    LiveEngineThreads& live = Live();
    EnterCriticalSection(&live.lock);
    live.count += delta;
    if (live.count == 0) SetEvent(live.noneLeft);
    else ResetEvent(live.noneLeft);
    LeaveCriticalSection(&live.lock);
}
} // namespace

CChildPipeNotifier::CChildPipeNotifier() { InitializeCriticalSection(&m_lock); }
CChildPipeNotifier::~CChildPipeNotifier() { DeleteCriticalSection(&m_lock); }

void CChildPipeNotifier::Notify(UINT message, std::uint32_t wParam, std::uint32_t lParam) {
    auto record = CFNKXProcessMessage::Numbers(message, wParam, lParam);
    Write(record);
}

void CChildPipeNotifier::NotifyString(UINT message, const std::wstring& text, std::uint32_t lParam) {
    auto record = CFNKXProcessMessage::StringAndNumber(message, text, lParam);
    Write(record);
}

void CChildPipeNotifier::NotifyStrings(UINT message, const std::wstring& first, const std::wstring& second) {
    auto record = CFNKXProcessMessage::Strings(message, first, second);
    Write(record);
}

void CChildPipeNotifier::Write(CFNKXProcessMessage& message) {
    EnterCriticalSection(&m_lock);
    if (m_pThread) m_pThread->m_pipe.Send(message);
    LeaveCriticalSection(&m_lock);
}

void CChildPipeNotifier::Attach(CIEThread* thread) {
    EnterCriticalSection(&m_lock);
    m_pThread = thread;
    LeaveCriticalSection(&m_lock);
}

void CChildPipeNotifier::Detach(CIEThread* thread) {
    EnterCriticalSection(&m_lock);
    if (m_pThread == thread) m_pThread = nullptr;
    LeaveCriticalSection(&m_lock);
}

void CIEThread::SetAcceleratorTable(HACCEL table) { g_accelerators = table; }
void CIEThread::SetProgramPath(const std::wstring& path) { g_programPath = path; }

bool CIEThread::WaitForEngineThreads(DWORD timeoutMs) {
    // An ending engine thread may still send a message to a window of the
    // waiting thread (a tab content telling its view that it goes): those
    // are served while waiting, posted messages are left alone.
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now >= end ? 0 : static_cast<DWORD>(end - now);
        HANDLE noneLeft = Live().noneLeft;
        DWORD r = MsgWaitForMultipleObjects(1, &noneLeft, FALSE, left, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0) return true;
        if (r != WAIT_OBJECT_0 + 1) return false;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

CIEThread::CIEThread() = default;

CIEThread::CIEThread(bool multiProcess, bool subProcess, LPCWSTR pipeName, HWND hWndTab, IEVERSION version,
                     LPCWSTR url, HANDLE doneEvent, HWND hWndTopLevel)
    : m_hWndTab(hWndTab), m_hWndTopLevel(hWndTopLevel), m_nVersion(version), m_strURL(url ? url : L""),
      m_hDoneEvent(doneEvent), m_bMultiProcess(multiProcess), m_bSubProcess(subProcess),
      m_strPipeName(pipeName ? pipeName : L"") {
    m_startupInfo.cb = sizeof(m_startupInfo);
    // The creator may close its handle before this object goes (a tab view
    // closes it as its window goes); signalling a closed, maybe reused,
    // handle value would set some other object. The thread signals a
    // handle of its own.
    HANDLE own = nullptr;
    if (doneEvent && DuplicateHandle(GetCurrentProcess(), doneEvent, GetCurrentProcess(), &own, 0, FALSE,
                                     DUPLICATE_SAME_ACCESS))
        m_hOwnDoneEvent.reset(own);
    if (!m_bMultiProcess) CountEngineThread(+1);
}

CIEThread::~CIEThread() {
    if (m_pNotifier) m_pNotifier->Detach(this);
    // The creator may be waiting for this: tell it first.
    if (m_hOwnDoneEvent) SetEvent(m_hOwnDoneEvent.get());
    else if (m_hDoneEvent) SetEvent(m_hDoneEvent);
    m_pipe.Close();
    if (m_processInfo.hProcess) CloseHandle(m_processInfo.hProcess);
    if (m_processInfo.hThread) CloseHandle(m_processInfo.hThread);
    if (!m_bMultiProcess) CountEngineThread(-1);
}

void CIEThread::ReportError(UINT stringId, const std::wstring& detail) {
    TranslatedMessageBox(m_hWndTab, stringId, MB_OK | MB_ICONERROR, detail);
}

bool CIEThread::InitInstance() {
    if (!m_bMultiProcess) {
        // Bound before anything of the engine can run on this thread; an
        // unbound tab would silently show the system's engine instead.
        if (!BindThreadToVersion(0, m_nVersion)) {
            ReportError(IDS_BIND_FAILED);
            return false;
        }
        if (FAILED(OleInitialize(nullptr))) {
            fw::AppMessageBox(nullptr, TranslatedString(IDS_OLE_INIT_FAILED), MB_OK | MB_ICONERROR);
            return false;
        }
        m_bOleInitialized = true;
        m_dlgContent.m_hWndView = m_hWndTab;
        m_dlgContent.m_strURL = m_strURL;
        m_dlgContent.m_nVersion = m_nVersion;
        m_dlgContent.m_hWndTopLevel = fw::OutermostAncestor(m_hWndTab);
        if (!m_dlgContent.Create(IDD_TAB_CONTENT, m_hWndTab)) {
            ReportError(IDS_SYSTEM_CALL_FAILED, fw::DescribeSystemError(L"CreateDialog", GetLastError()));
            return false;
        }
        SetParent(m_dlgContent.Handle(), m_hWndTab);
        ShowWindow(m_dlgContent.Handle(), SW_SHOW);
        return true;
    }
    if (!m_bSubProcess) {
        if (!m_pipe.CreateServer(m_strPipeName)) {
            ReportError(IDS_SYSTEM_CALL_FAILED, fw::DescribeSystemError(L"CreateNamedPipe", GetLastError()));
            PostMessageW(m_hWndTab, UWM_TAB_MUST_CLOSE, CLOSE_LAUNCH_FAILED, 0);
            return false;
        }
        return LaunchChildProcess();
    }

    // Child role: find and watch the parent process, then open the pipe.
    // Each failure ends the child process (its main loop), which the parent
    // reports as a lost engine.
    const DWORD mainThread = GetWindowThreadProcessId(m_hWndTab, nullptr);
    DWORD parentId = 0;
    GetWindowThreadProcessId(m_hWndTopLevel, &parentId);
    if (parentId == 0) {
        ReportError(IDS_NO_PARENT_PROCESS_ID);
        PostThreadMessageW(mainThread, WM_QUIT, 0, 0);
        return false;
    }
    m_processInfo.hProcess = OpenProcess(SYNCHRONIZE, FALSE, parentId);
    if (!m_processInfo.hProcess) {
        ReportError(IDS_NO_PARENT_PROCESS_HANDLE);
        PostMessageW(m_hWndTab, WM_CLOSE, 0, 0);
        PostThreadMessageW(mainThread, WM_QUIT, 0, 0);
        return false;
    }
    if (!m_pipe.OpenClient(m_strPipeName.c_str())) {
        PostThreadMessageW(mainThread, WM_QUIT, 0, 0);
        return false;
    }
    if (fw::RunningUnderWine()) {
        m_pPictureWriter = std::make_unique<CContentPictureWriter>();
        if (!m_pPictureWriter->Create(m_strPipeName)) m_pPictureWriter.reset();
    }
    if (m_pNotifier) m_pNotifier->Attach(this);
    return true;
}

std::wstring CIEThread::ChildCommandLine(const std::wstring& exe, const std::wstring& pipe, IEVERSION version,
                                         HWND view) {
    return L"\"" + exe + L"\" " +
           BuildPcodeArgument(pipe, version, static_cast<DWORD>(reinterpret_cast<UINT_PTR>(view)));
}

bool CIEThread::LaunchChildProcess() {
    std::wstring self = g_programPath.empty() ? fw::ModuleFileName(nullptr, MAX_PATH) : g_programPath;
    if (self.empty()) {
        ReportError(IDS_LAUNCH_FAILED_PATH);
        PostMessageW(m_hWndTab, UWM_TAB_MUST_CLOSE, CLOSE_LAUNCH_FAILED, 0);
        return false;
    }
    std::wstring exe = m_nVersion == IE9 ? fw::FolderOfPath(self) + kIE9Executable : self;
    // Without the overrides the child would start Wine's own engine under
    // version 9's name; it then still runs, so a failed write is not fatal.
    if (m_nVersion == IE9) (void)PrepareIE9ChildUnderWine();
    std::wstring commandLine = ChildCommandLine(exe, m_strPipeName, m_nVersion, m_hWndTab);
    m_startupInfo = STARTUPINFOW{};
    m_startupInfo.cb = sizeof(m_startupInfo);
    m_processInfo = PROCESS_INFORMATION{};
    std::wstring buffer = commandLine;
    buffer.resize(std::max<size_t>(buffer.size() + 1, MAX_PATH), L'\0');
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &m_startupInfo,
                        &m_processInfo)) {
        const DWORD error = GetLastError();
        // A child that dies while it starts makes the start fail (so Wine):
        // with its executable in place that is a lost tab, which the notice
        // offers to reopen, not a broken installation. A message box here
        // would also hold the tab until somebody answered it.
        const DWORD attributes = GetFileAttributesW(exe.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            PostMessageW(m_hWndTab, UWM_TAB_MUST_CLOSE, CLOSE_ENGINE_LOST, 0);
            return false;
        }
        ReportError(IDS_LAUNCH_FAILED_CREATE, fw::DescribeSystemError(L"CreateProcess", error));
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
    case UWM_TAB_CAPTURE:
        // The file name is a string parameter: the dialog takes it over, the
        // proxy writes it to the child, which posts it to its dialog.
        if (inProcess) {
            if (!dialog || !SendMessageW(dialog, UWM_TAB_CAPTURE, msg.wParam, msg.lParam)) {
                TakeStringParam(msg.wParam);
                PostMessageW(m_hWndTab, UWM_TAB_CAPTURED, static_cast<WPARAM>(static_cast<std::uint32_t>(E_NOINTERFACE)), 0);
            }
        } else if (!m_bSubProcess) {
            if (auto file = TakeStringParam(msg.wParam)) m_pipe.SendString(UWM_TAB_CAPTURE, file->c_str(), msg.lParam);
        } else {
            TakeStringParam(msg.wParam);
        }
        return true;
    case UWM_TAB_QUERY_CLOSE:
        // A child that has not connected yet shows no page that could
        // object: the tab may close at once (the request would be lost).
        if (!inProcess && !m_bSubProcess && !m_pipe.IsConnected()) {
            PostMessageW(m_hWndTab, UWM_TAB_MUST_CLOSE, CLOSE_UNLOAD_ACCEPTED, 0);
            return true;
        }
        [[fallthrough]];
    case UWM_TAB_ZOOM:
    case UWM_TAB_DOWNLOAD_FLAGS:
    case UWM_TAB_TASKBAR_PREVIEW:
        if (inProcess) SendMessageW(dialog, msg.message, msg.wParam, msg.lParam);
        else if (!m_bSubProcess) {
            m_pipe.SendNumbers(msg.message, msg.wParam, msg.lParam);
            if (msg.message == UWM_TAB_QUERY_CLOSE && !m_closeAskedAt) m_closeAskedAt = GetTickCount64();
        }
        return true;
    default:
        return false;
    }
}

bool CIEThread::ChildResponds(bool withoutWindow) const {
    for (HWND h = GetWindow(m_hWndTab, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
        DWORD process = 0;
        GetWindowThreadProcessId(h, &process);
        if (process != m_processInfo.dwProcessId) continue;
        DWORD_PTR result = 0;
        return SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, kRespondWaitMs, &result) != 0;
    }
    return withoutWindow;
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
        // A connected child is looked after at intervals, and sooner while
        // the close question is out.
        const ULONGLONG now = GetTickCount64();
        DWORD wait = INFINITE;
        const bool watching = !m_bSubProcess && m_pipe.IsConnected();
        if (watching) {
            if (!m_lastAnswerAt) m_lastAnswerAt = now;
            if (!m_nextWatchAt) m_nextWatchAt = now + kWatchIntervalMs;
            wait = m_nextWatchAt > now ? static_cast<DWORD>(m_nextWatchAt - now) : 0;
        }
        if (m_pPictureWriter) wait = std::min(wait, kPictureIntervalMs);
        if (m_closeAskedAt) {
            const ULONGLONG waited = now - m_closeAskedAt;
            wait = std::min<DWORD>(wait, waited >= kCloseAnswerWaitMs ? 0 : static_cast<DWORD>(kCloseAnswerWaitMs - waited));
        }
        DWORD r = MsgWaitForMultipleObjects(count, handles, FALSE, wait, QS_ALLEVENTS);
        if (r == WAIT_TIMEOUT) {
            // The wake-up may come a little before the due time by the tick
            // count; each duty below runs only once it is really due.
            const ULONGLONG t = GetTickCount64();
            if (m_pPictureWriter && m_pPictureWriter->Capture(m_hWndTab)) m_pipe.SendNumbers(UWM_TAB_PICTURE, 0, 0);
            if (watching && t >= m_nextWatchAt) {
                m_nextWatchAt = t + kWatchIntervalMs;
                // A child still creating its window is not hung.
                if (ChildResponds(true)) {
                    m_lastAnswerAt = GetTickCount64();
                } else if (GetTickCount64() - m_lastAnswerAt >= kHungChildMs) {
                    // Its end signals the process handle: the tab goes as lost.
                    m_bChildHung = true;
                    TerminateProcess(m_processInfo.hProcess, 1);
                }
            }
            if (m_closeAskedAt && GetTickCount64() - m_closeAskedAt >= kCloseAnswerWaitMs) {
                // A child still taking messages is showing the page's
                // question, which waits for the user as long as it takes. A
                // hung one would keep its tab, and the closing main window,
                // forever: the tab closes now and the child is ended without
                // the usual wait. A child without its window cannot answer
                // either.
                if (ChildResponds(false)) {
                    m_closeAskedAt = GetTickCount64();
                } else {
                    m_closeAskedAt = 0;
                    m_bChildHung = true;
                    PostMessageW(m_hWndTab, UWM_TAB_MUST_CLOSE, CLOSE_UNLOAD_ACCEPTED, 0);
                }
            }
            continue;
        }
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
                // A read error that leaves the pipe open skips what it spoiled.
                if (error != 0) continue;
                // In the parent, a record no child sends (a number where the
                // view would free a string, a message the view does not take
                // from a child) means the child is broken or hostile: its tab
                // is lost. A child reads only what its parent writes.
                if (!m_bSubProcess && !message->IsUpstream()) {
                    m_pipe.SetConnected(false);
                    EndRelay();
                    return fw::WinThread::Run();
                }
                if (message->m_nMessage == UWM_TAB_MUST_CLOSE || message->m_nMessage == UWM_TAB_CLOSE_REFUSED)
                    m_closeAskedAt = 0;
                if (message->m_nMessage == UWM_TAB_PICTURE) {
                    if (!m_bSubProcess) (void)m_pictureReader.Draw(m_hWndTab, m_strPipeName);
                    continue;
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
        // The tab content and its control go first, then OLE; only then is
        // the thread unbound, so that every library load and release of
        // their teardown still reaches this thread's engine version.
        m_dlgContent.Destroy();
        if (m_bOleInitialized) OleUninitialize();
        m_bOleInitialized = false;
        UnbindCurrentThread();
    } else if (m_bSubProcess) {
        m_pipe.Close();
    } else {
        // A write still in flight (the closing request itself) would be
        // cancelled with this thread's I/O: let it reach the child first.
        m_pipe.FinishWrites(1000);
        m_pipe.Disconnect();
        m_pipe.Close();
        if (m_processInfo.hProcess &&
            WaitForSingleObject(m_processInfo.hProcess, m_bChildHung ? 0 : kChildExitWaitMs) == WAIT_TIMEOUT)
            TerminateProcess(m_processInfo.hProcess, 0);
    }
    return fw::WinThread::ExitInstance();
}
