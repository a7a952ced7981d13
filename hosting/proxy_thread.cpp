#include "proxy_thread.h"

#include "core/locations.h"
#include "framework/strings.h"
#include "framework/wine.h"
#include "isolation/isolation.h"
#include "spare_child.h"
#include "res/resource_ids.h"

#include <algorithm>
#include <climits>

namespace {
std::wstring g_programPath;
bool g_keepSpareChild = false;

// Errors with which the system refuses to run a program file at all: the
// file is missing, unreadable or not a program for this system.
bool IsRefusedProgram(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_FORMAT:
    case ERROR_INVALID_NAME:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_INVALID_EXE_SIGNATURE:
    case ERROR_EXE_MACHINE_TYPE_MISMATCH:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_DIRECTORY:
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_FILE_CORRUPT:
    case ERROR_DLL_NOT_FOUND:
    case ERROR_MOD_NOT_FOUND:
    case ERROR_ACCESS_DISABLED_BY_POLICY:
        return true;
    default:
        return false;
    }
}
} // namespace

void CIEThread::SetProgramPath(const std::wstring& path) { g_programPath = path; }
void CIEThread::SetKeepSpareChild(bool keep) { g_keepSpareChild = keep; }

std::wstring CIEThread::ChildCommandLine(const std::wstring& exe, const std::wstring& pipe, IEVERSION version,
                                         HWND view) {
    return L"\"" + exe + L"\" " +
           BuildPcodeArgument(pipe, version, static_cast<DWORD>(reinterpret_cast<UINT_PTR>(view)));
}

CProxyEngineThread::CProxyEngineThread(const Start& start) : CPipeEngineThread(Role::Proxy, start) {}

bool CProxyEngineThread::InitInstance() {
    if (!m_pipe.CreateServer(m_strPipeName)) {
        ReportError(IDS_SYSTEM_CALL_FAILED, fw::DescribeSystemError(L"CreateNamedPipe", GetLastError()));
        PostMessageW(m_hWndTab, UWM_TAB_MUST_CLOSE, CLOSE_LAUNCH_FAILED, 0);
        return false;
    }
    return LaunchChildProcess();
}

bool CProxyEngineThread::LaunchChildProcess() {
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
    // The child starts on the tab's page at the tab's size: no blank page
    // first, no wait for the pipe.
    RECT client{};
    GetClientRect(m_hWndTab, &client);
    if (std::wstring start = BuildChildStartArguments(m_strURL, client.right - client.left, client.bottom - client.top);
        !start.empty()) {
        commandLine += L" " + start;
        m_bAddressSent = true;
    }
    // A spare child started ahead takes the tab when one is ready (never
    // for version 9, whose program is another); the next one starts once
    // this tab's page shows (PrepareSpareIfDue).
    if (g_keepSpareChild && m_nVersion != IE9) {
        const std::wstring arguments = commandLine.substr(commandLine.find(L"\" -pcode=") + 2);
        m_strSpareProgram = exe;
        m_spareDueAt = GetTickCount64() + kSpareStartDelayMs;
        if (CSpareChildPool::Get().Adopt(exe, arguments, m_processInfo)) return true;
    }
    STARTUPINFOW startupInfo{};
    startupInfo.cb = sizeof(startupInfo);
    m_processInfo.reset();
    std::wstring buffer = commandLine;
    buffer.resize(std::max<size_t>(buffer.size() + 1, MAX_PATH), L'\0');
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startupInfo,
                        &started)) {
        ReportLaunchFailure(exe, GetLastError());
        return false;
    }
    m_processInfo = fw::ProcessHandles(started);
    return true;
}

void CProxyEngineThread::ReportLaunchFailure(const std::wstring& exe, DWORD error) {
    // Under Wine a child that dies during its own start (killed, or a crash
    // in its libraries' start) makes CreateProcess fail, as the long
    // child-kill run found; the error it then gives is none of those with
    // which the system refuses a program file. With the program in place
    // such a failure is a lost tab, which the notice offers to reopen;
    // anything else is a launch error with the system's reason.
    const DWORD attributes = GetFileAttributesW(exe.c_str());
    const bool programThere = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (programThere && fw::RunningUnderWine() && !IsRefusedProgram(error)) {
        PostMessageW(m_hWndTab, UWM_TAB_MUST_CLOSE, CLOSE_ENGINE_LOST, 0);
        return;
    }
    // The tab closes first, so the box does not hold it open behind it.
    PostMessageW(m_hWndTab, UWM_TAB_MUST_CLOSE, CLOSE_LAUNCH_FAILED, 0);
    ReportError(IDS_LAUNCH_FAILED_CREATE, fw::DescribeSystemError(L"CreateProcess", error));
}

void CProxyEngineThread::WriteSize(int width, int height) {
    m_pipe.SendNumbers(WM_SIZE, 0, static_cast<LPARAM>((height << 16) | (width & 0xFFFF)));
}

bool CProxyEngineThread::OnThreadMessage(const MSG& msg) {
    switch (msg.message) {
    case UWM_TAB_BUSY_ANSWER:
        if (msg.wParam == 1) {
            // "End the page": the child goes at once; its end makes the tab
            // a lost one.
            m_bChildHung = true;
            if (m_processInfo) TerminateProcess(m_processInfo.process(), 1);
        } else {
            // "Wait": another full period before the next notice.
            m_lastAnswerAt = GetTickCount64();
            m_bReportedNotResponding = false;
        }
        return true;
    case UWM_TAB_QUERY_CLOSE:
        // A child that has not connected yet shows no page that could
        // object: the tab may close at once (the request would be lost).
        if (!m_pipe.IsConnected()) {
            PostMessageW(m_hWndTab, UWM_TAB_MUST_CLOSE, CLOSE_UNLOAD_ACCEPTED, 0);
            return true;
        }
        if (!m_closeAskedAt) m_closeAskedAt = GetTickCount64();
        break;
    default:
        break;
    }
    const TabMessageRule* rule = FindTabMessage(msg.message, TabDirection::Down);
    if (!rule) return false;
    if (msg.message == WM_SIZE) {
        WriteSize(static_cast<int>(msg.wParam), static_cast<int>(msg.lParam));
        return true;
    }
    // Every other Down message crosses as its rule says; String parameters
    // are written and then freed here (a null string writes nothing).
    CFNKXProcessMessage record = CFNKXProcessMessage::Numbers(rule->pipeMessage, static_cast<std::uint32_t>(msg.wParam),
                                                              static_cast<std::uint32_t>(msg.lParam));
    bool complete = true;
    if (rule->wParam == ParamKind::String) {
        auto text = TakeStringParam(msg.wParam);
        complete = complete && text;
        record.m_nWParamType = XPM_STRING;
        record.m_wParam = 0;
        if (text) record.m_strWParam = *text;
    }
    if (rule->lParam == ParamKind::String) {
        auto text = TakeStringParam(static_cast<std::uintptr_t>(msg.lParam));
        complete = complete && text;
        record.m_nLParamType = XPM_STRING;
        record.m_lParam = 0;
        if (text) record.m_strLParam = *text;
    }
    if (complete) m_pipe.Send(record);
    if (msg.message == UWM_ENGINE_CLOSE) PostQuitMessage(0);
    return true;
}

HANDLE CProxyEngineThread::PipeEvent() const {
    return m_pipe.IsConnected() ? m_pipe.ReadEvent() : m_pipe.ConnectEvent();
}

bool CProxyEngineThread::OnPipeEvent() {
    if (m_pipe.IsConnected()) return CPipeEngineThread::OnPipeEvent();
    if (m_pipe.PollConnect() == CFNKNamedPipe::ConnectState::Connected) {
        // The view may have changed its size since the launch; the address
        // follows only when the command line could not carry it.
        RECT client{};
        GetClientRect(m_hWndTab, &client);
        WriteSize(client.right - client.left, client.bottom - client.top);
        if (!m_bAddressSent) m_pipe.SendString(UWM_TAB_NAVIGATE, m_strURL.c_str(), 0);
        Answered();
    }
    return true;
}

bool CProxyEngineThread::OnRecord(CFNKXProcessMessage& record) {
    // A record no child sends (a message the view does not take from a
    // child, a number where the view would free a string) means the child
    // is broken or hostile: its tab is lost.
    if (!record.IsUpstream()) return false;
    Answered();
    if (record.m_nMessage == UWM_TAB_MUST_CLOSE || record.m_nMessage == UWM_TAB_CLOSE_REFUSED) m_closeAskedAt = 0;
    if (record.m_nMessage == UWM_TAB_PICTURE) {
        (void)m_pictureReader.Draw(m_hWndTab, m_strPipeName);
        return true;
    }
    const bool title = record.m_nMessage == UWM_TAB_TITLE;
    record.PostTo(m_hWndTab);
    if (title) PrepareSpareIfDue(true);
    return true;
}

void CProxyEngineThread::PrepareSpareIfDue(bool pageShown) {
    if (m_strSpareProgram.empty() || (!pageShown && GetTickCount64() < m_spareDueAt)) return;
    CSpareChildPool::Get().PrepareSoon(m_strSpareProgram);
    m_strSpareProgram.clear();
    m_spareDueAt = 0;
}

void CProxyEngineThread::Answered() {
    m_lastAnswerAt = GetTickCount64();
    if (m_bReportedNotResponding) {
        m_bReportedNotResponding = false;
        PostMessageW(m_hWndTab, UWM_TAB_NOT_RESPONDING, 0, 0);
    }
}

bool CProxyEngineThread::ChildResponds(bool withoutWindow) const {
    for (HWND h = GetWindow(m_hWndTab, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
        DWORD process = 0;
        GetWindowThreadProcessId(h, &process);
        if (process != m_processInfo.id()) continue;
        DWORD_PTR result = 0;
        return SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 1000, &result) != 0;
    }
    return withoutWindow;
}

DWORD CProxyEngineThread::NextDutyIn(ULONGLONG now) const {
    ULONGLONG due = ULLONG_MAX;
    if (m_pipe.IsConnected()) {
        due = m_nextWatchAt ? m_nextWatchAt : now;
        if (m_closeAskedAt) due = std::min(due, m_closeAskedAt + kCloseAnswerWaitMs);
    }
    if (m_spareDueAt) due = std::min(due, m_spareDueAt);
    if (due == ULLONG_MAX) return INFINITE;
    return due > now ? static_cast<DWORD>(due - now) : 0;
}

void CProxyEngineThread::OnDuty() {
    // The wake-up may come a little before the due time by the tick count;
    // each duty runs only once it is really due.
    const ULONGLONG now = GetTickCount64();
    PrepareSpareIfDue(false);
    if (!m_pipe.IsConnected()) return;
    if (now >= m_nextWatchAt) {
        m_nextWatchAt = now + kWatchIntervalMs;
        // A record within the last interval is answer enough; the probe
        // (a sent message, which waits while the child's page works) is
        // only for a child that has gone quiet. A child still creating its
        // window is not hung.
        if (now - m_lastAnswerAt < kWatchIntervalMs || ChildResponds(true)) {
            Answered();
        } else if (!m_bReportedNotResponding && GetTickCount64() - m_lastAnswerAt >= kNotRespondingMs) {
            // Busy or hung, the page is the user's: the view shows the
            // notice and the user decides.
            m_bReportedNotResponding = true;
            PostMessageW(m_hWndTab, UWM_TAB_NOT_RESPONDING, 1, 0);
        }
    }
    if (m_closeAskedAt && GetTickCount64() - m_closeAskedAt >= kCloseAnswerWaitMs) {
        // A child still taking messages is showing the page's question,
        // which waits for the user as long as it takes. One that does not
        // answer would keep its tab, and the closing main window, forever:
        // the tab closes now and the child is ended without the usual wait.
        if (ChildResponds(false)) {
            m_closeAskedAt = GetTickCount64();
        } else {
            m_closeAskedAt = 0;
            m_bChildHung = true;
            PostMessageW(m_hWndTab, UWM_TAB_MUST_CLOSE, CLOSE_UNLOAD_ACCEPTED, 0);
        }
    }
}

void CProxyEngineThread::NotifyRelayEnd() { PostMessageW(m_hWndTab, UWM_TAB_MUST_CLOSE, CLOSE_ENGINE_LOST, 0); }

int CProxyEngineThread::ExitInstance() {
    // A write still in flight (the closing request itself) would be
    // cancelled with this thread's I/O: let it reach the child first.
    (void)m_pipe.FinishWrites(1000);
    m_pipe.Disconnect();
    m_pipe.Close();
    if (m_processInfo &&
        WaitForSingleObject(m_processInfo.process(), m_bChildHung ? 0 : kChildExitWaitMs) == WAIT_TIMEOUT)
        TerminateProcess(m_processInfo.process(), 0);
    // Terminating is asynchronous: the child is gone before the thread is.
    if (m_processInfo) WaitForSingleObject(m_processInfo.process(), kChildExitWaitMs);
    return CIEThread::ExitInstance();
}
