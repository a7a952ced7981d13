#include "ie_thread.h"

#include "child_thread.h"
#include "in_process_thread.h"
#include "proxy_thread.h"

#include "prefs/language.h"

#include <mutex>

namespace {
HACCEL g_accelerators = nullptr;

// The main process's engine thread objects alive (in-process and proxy), so
// that its exit can wait for them: before it frees the engine libraries, and
// until every proxy has seen its child end. Never destroyed: threads may end
// while the process runs its static destructors.
struct LiveEngineThreads {
    std::mutex lock;
    HANDLE noneLeft = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    int count = 0;
};
LiveEngineThreads& Live() {
    static LiveEngineThreads* live = new LiveEngineThreads;
    return *live;
}
void CountEngineThread(int delta) {
    LiveEngineThreads& live = Live();
    std::lock_guard<std::mutex> hold(live.lock);
    live.count += delta;
    if (live.count == 0) SetEvent(live.noneLeft);
    else ResetEvent(live.noneLeft);
}
} // namespace

CIEThread* CIEThread::New(Role role, const Start& start) {
    switch (role) {
    case Role::InProcess: return new CInProcessEngineThread(start);
    case Role::Proxy: return new CProxyEngineThread(start);
    case Role::Child: return new CChildEngineThread(start);
    }
    return nullptr;
}

CIEThread* CIEThread::New(bool multiProcess, bool subProcess, LPCWSTR pipeName, HWND hWndTab, IEVERSION version,
                          LPCWSTR url, HANDLE doneEvent, HWND hWndTopLevel) {
    Start start;
    start.hWndTab = hWndTab;
    start.hWndTopLevel = hWndTopLevel;
    start.version = version;
    start.url = url ? url : L"";
    start.doneEvent = doneEvent;
    start.pipeName = pipeName ? pipeName : L"";
    const Role role = !multiProcess ? Role::InProcess : subProcess ? Role::Child : Role::Proxy;
    return New(role, start);
}

CIEThread::CIEThread(Role role, const Start& start)
    : m_hWndTab(start.hWndTab), m_hWndTopLevel(start.hWndTopLevel), m_nVersion(start.version),
      m_strURL(start.url), m_hDoneEvent(start.doneEvent), m_bMultiProcess(role != Role::InProcess),
      m_bSubProcess(role == Role::Child), m_role(role) {
    HANDLE own = nullptr;
    if (start.doneEvent && DuplicateHandle(GetCurrentProcess(), start.doneEvent, GetCurrentProcess(), &own, 0,
                                           FALSE, DUPLICATE_SAME_ACCESS))
        m_hOwnDoneEvent.reset(own);
    if (role != Role::Child) CountEngineThread(+1);
}

CIEThread::~CIEThread() {
    // The creator may be waiting for this: tell it first. (The roles'
    // members go after this body; none of them waits for anything.)
    if (m_hOwnDoneEvent) SetEvent(m_hOwnDoneEvent.get());
    else if (m_hDoneEvent) SetEvent(m_hDoneEvent);
    if (m_role != Role::Child) CountEngineThread(-1);
}

void CIEThread::SetAcceleratorTable(HACCEL table) { g_accelerators = table; }
HACCEL CIEThread::AcceleratorTable() { return g_accelerators; }

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

void CIEThread::ReportError(UINT stringId, const std::wstring& detail) {
    TranslatedMessageBox(m_hWndTab, stringId, MB_OK | MB_ICONERROR, detail);
}

bool CIEThread::PreTranslateMessage(MSG& msg) {
    if (g_accelerators && msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) {
        HWND target = MainWindow() ? MainWindow() : GetActiveWindow();
        if (target && TranslateAcceleratorW(target, g_accelerators, &msg)) return true;
    }
    return fw::WinThread::PreTranslateMessage(msg);
}
