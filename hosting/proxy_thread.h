#pragma once
// The proxy role of an engine thread (multi-process mode, main process). It
// creates the server end of the tab's pipe, starts the tab's child process
// with the tab's first address and size on its command line, and relays:
// the view's requests (the tab protocol's Down messages) are written to the
// pipe, the child's records (Up messages, checked against the protocol) are
// posted to the view.
//
// It also looks after the child. A child that has answered nothing for
// kNotRespondingMs is reported to the view (UWM_TAB_NOT_RESPONDING 1), and
// again when it answers (0); it is never ended on the program's own
// initiative: only the user's answer (UWM_TAB_BUSY_ANSWER 1), the tab's
// close and the program's end do that. A close question the child leaves
// unanswered while it does not respond closes the tab after
// kCloseAnswerWaitMs.
//
// At its end the thread asks the child to end (UWM_ENGINE_CLOSE), waits for
// it up to kChildExitWaitMs and then terminates it; a child that stopped
// answering is not waited for. The main process's exit waits for every
// proxy (CIEThread::WaitForEngineThreads), so no child outlives it.
//
// Created through CIEThread::New; runs on its own thread.
#include "content_mirror.h"
#include "pipe_thread.h"

class CProxyEngineThread final : public CPipeEngineThread {
public:
    static constexpr DWORD kChildExitWaitMs = 5000;
    static constexpr ULONGLONG kNotRespondingMs = 5000;
    static constexpr ULONGLONG kCloseAnswerWaitMs = 3000;
    static constexpr ULONGLONG kWatchIntervalMs = 1000;
    // The next spare child starts once this tab's page has its title, or
    // this long after the launch: starting it at once would make it compete
    // with the page the user is waiting for.
    static constexpr ULONGLONG kSpareStartDelayMs = 2000;

    explicit CProxyEngineThread(const Start& start);

    bool InitInstance() override;
    int ExitInstance() override;
    bool OnThreadMessage(const MSG& msg) override;

    // Starts the tab's child process; false after reporting.
    bool LaunchChildProcess();

protected:
    HANDLE PipeEvent() const override;
    bool OnPipeEvent() override;
    bool OnRecord(CFNKXProcessMessage& record) override;
    DWORD NextDutyIn(ULONGLONG now) const override;
    void OnDuty() override;
    void NotifyRelayEnd() override;

private:
    // Whether a window of the child process still takes sent messages (a
    // page asking its question runs a modal loop and does; a hung child
    // does not); `withoutWindow` when it has none in the tab yet.
    bool ChildResponds(bool withoutWindow) const;
    // The child showed a sign of life.
    void Answered();
    void WriteSize(int width, int height);
    // Launch failures: the user is told, unless the child died during its
    // own start (a lost tab, which the crash notice offers to reopen).
    void ReportLaunchFailure(const std::wstring& exe, DWORD error);
    // Starts the next spare child if this tab still owes it.
    void PrepareSpareIfDue(bool pageShown);

    // The address went to the child on its command line.
    bool m_bAddressSent = false;
    // When the close question went out and is unanswered, or 0.
    ULONGLONG m_closeAskedAt = 0;
    // The child stopped answering while the tab closed, or the user ended it:
    // its end is not waited for.
    bool m_bChildHung = false;
    // When the child last answered; when to look again; whether the view
    // was told that it does not respond (GetTickCount64; 0 before the child
    // connects).
    ULONGLONG m_lastAnswerAt = 0;
    ULONGLONG m_nextWatchAt = 0;
    bool m_bReportedNotResponding = false;
    // The program of the spare child to start after this launch, and when
    // (empty and 0 once started, or when none is kept).
    std::wstring m_strSpareProgram;
    ULONGLONG m_spareDueAt = 0;
    // Under Wine: the child's picture of its content, drawn into the view.
    CContentPictureReader m_pictureReader;
};
