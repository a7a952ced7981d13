#pragma once
// The child role of an engine thread (inside a tab's child process). It
// opens the client end of the tab's pipe, watches the parent process and
// posts every record from the parent that follows the tab protocol (Down
// messages, core/messages.h) to the child's tab content, which runs on the
// child's main thread; anything else from the parent is ignored. The tab
// content's notifications go the other way through CChildPipeNotifier.
// When the parent or the pipe goes, the tab content is closed, which ends
// the child's main loop. Under Wine it also paints the tab content into a
// picture for the parent (content_mirror.h).
//
// Created through CIEThread::New by the child's start-up, which waits for
// the thread's done event at its exit.
#include "content_mirror.h"
#include "pipe_thread.h"

#include "browser/tab_content_owner.h"

#include <memory>
#include <mutex>
#include <vector>

class CChildEngineThread;

// Carries the notifications of a child's tab content (written on the child's
// main thread) to the parent through the pipe of the child's engine thread.
// The engine thread attaches itself once its pipe is open and detaches as its
// object goes. A notification before the first attach is kept (at most
// kMaxEarlyRecords) and written then; one after the detach is dropped.
// Owned by the child's start-up; outlives the tab content and the thread.
class CChildPipeNotifier final : public ITabContentOwner {
public:
    void Notify(UINT message, std::uint32_t wParam, std::uint32_t lParam) override;
    void NotifyString(UINT message, const std::wstring& text, std::uint32_t lParam) override;
    void NotifyStrings(UINT message, const std::wstring& first, const std::wstring& second) override;

    void Attach(CChildEngineThread* thread);
    void Detach(CChildEngineThread* thread);

private:
    void Write(CFNKXProcessMessage& message);
    // Held for one write, and while the thread attaches or detaches, so a
    // write never reaches a pipe whose thread object is being destroyed.
    std::mutex m_lock;
    CChildEngineThread* m_pThread = nullptr;
    // What the tab content said before the pipe was open (its first page
    // starts loading at once), written as the thread attaches; bounded.
    static constexpr size_t kMaxEarlyRecords = 256;
    std::vector<CFNKXProcessMessage> m_early;
    bool m_bAttachedOnce = false;
};

class CChildEngineThread final : public CPipeEngineThread {
public:
    explicit CChildEngineThread(const Start& start);
    ~CChildEngineThread() override;

    // Where the tab content's notifications are written. Set before the
    // thread starts.
    void SetChildNotifier(CChildPipeNotifier* notifier) { m_pNotifier = notifier; }

    bool InitInstance() override;
    int ExitInstance() override;
    bool OnThreadMessage(const MSG& msg) override;

protected:
    bool OnRecord(CFNKXProcessMessage& record) override;
    DWORD NextDutyIn(ULONGLONG now) const override;
    void OnDuty() override;
    void NotifyRelayEnd() override;

private:
    friend class CChildPipeNotifier;
    CChildPipeNotifier* m_pNotifier = nullptr;
    // Under Wine: the child paints its content for the parent this often.
    static constexpr DWORD kPictureIntervalMs = 250;
    std::unique_ptr<CContentPictureWriter> m_pPictureWriter;
};
