#include "child_thread.h"

#include "framework/wine.h"
#include "res/resource_ids.h"

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
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_pThread) m_pThread->m_pipe.Send(message);
    else if (!m_bAttachedOnce && m_early.size() < kMaxEarlyRecords) m_early.push_back(std::move(message));
}

void CChildPipeNotifier::Attach(CChildEngineThread* thread) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_pThread = thread;
    m_bAttachedOnce = true;
    for (CFNKXProcessMessage& early : m_early) thread->m_pipe.Send(early);
    m_early.clear();
}

void CChildPipeNotifier::Detach(CChildEngineThread* thread) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_pThread == thread) m_pThread = nullptr;
}

CChildEngineThread::CChildEngineThread(const Start& start) : CPipeEngineThread(Role::Child, start) {}

CChildEngineThread::~CChildEngineThread() {
    if (m_pNotifier) m_pNotifier->Detach(this);
}

bool CChildEngineThread::InitInstance() {
    // Find and watch the parent process, then open the pipe. Each failure
    // ends the child process (its main loop), which the parent reports as
    // a lost engine.
    const DWORD mainThread = GetWindowThreadProcessId(m_hWndTab, nullptr);
    DWORD parentId = 0;
    GetWindowThreadProcessId(m_hWndTopLevel, &parentId);
    if (parentId == 0) {
        ReportError(IDS_NO_PARENT_PROCESS_ID);
        PostThreadMessageW(mainThread, WM_QUIT, 0, 0);
        return false;
    }
    m_processInfo = fw::ProcessHandles(OpenProcess(SYNCHRONIZE, FALSE, parentId), parentId);
    if (!m_processInfo) {
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

bool CChildEngineThread::OnThreadMessage(const MSG& msg) {
    // Only the parent's close reaches the thread itself (re-posted by
    // OnRecord); everything else goes to the tab content.
    if (msg.message != UWM_ENGINE_CLOSE) return false;
    PostMessageW(m_hWndTab, WM_CLOSE, 0, 0);
    PostQuitMessage(0);
    return true;
}

bool CChildEngineThread::OnRecord(CFNKXProcessMessage& record) {
    // A child reads only what its parent writes; what does not follow the
    // protocol is left alone.
    if (!record.Follows(TabDirection::Down)) return true;
    if (record.m_nMessage == UWM_ENGINE_CLOSE) {
        PostThreadMessageW(GetCurrentThreadId(), UWM_ENGINE_CLOSE, record.m_wParam, record.m_lParam);
        return true;
    }
    record.PostTo(m_hWndTab);
    return true;
}

DWORD CChildEngineThread::NextDutyIn(ULONGLONG) const { return m_pPictureWriter ? kPictureIntervalMs : INFINITE; }

void CChildEngineThread::OnDuty() {
    if (m_pPictureWriter && m_pPictureWriter->Capture(m_hWndTab)) m_pipe.SendNumbers(UWM_TAB_PICTURE, 0, 0);
}

void CChildEngineThread::NotifyRelayEnd() { PostMessageW(m_hWndTab, WM_CLOSE, 0, 0); }

int CChildEngineThread::ExitInstance() {
    m_pipe.Close();
    return CIEThread::ExitInstance();
}
