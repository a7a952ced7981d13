#include "framework/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace {

struct Record {
    std::vector<UINT> messages;
    std::atomic<bool> initialised{false}, exited{false}, destroyed{false};
    DWORD threadOfInit = 0;
};

class RecordingThread : public fw::WinThread {
public:
    RecordingThread(Record& r, bool initResult) : m_record(r), m_initResult(initResult) {}
    ~RecordingThread() override { m_record.destroyed = true; }
    bool InitInstance() override {
        m_record.threadOfInit = GetCurrentThreadId();
        m_record.initialised = true;
        return m_initResult;
    }
    int ExitInstance() override {
        m_record.exited = true;
        return WinThread::ExitInstance() + 40;
    }
    bool OnThreadMessage(const MSG& msg) override {
        m_record.messages.push_back(msg.message);
        if (msg.message == WM_APP + 9) PostQuitMessage(2);
        return true;
    }

private:
    Record& m_record;
    bool m_initResult;
};

TEST(WinThread, RunsItsLoopAndDeletesItselfAtTheEnd) {
    Record record;
    auto thread = new RecordingThread(record, true);
    ASSERT_TRUE(thread->CreateThread());
    DWORD id = thread->ThreadId();
    HANDLE h = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), thread->ThreadHandle(), GetCurrentProcess(), &h, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    // Posting right after creation works: the queue exists before InitInstance.
    EXPECT_TRUE(PostThreadMessageW(id, WM_APP + 1, 0, 0));
    EXPECT_TRUE(PostThreadMessageW(id, WM_APP + 2, 0, 0));
    EXPECT_TRUE(PostThreadMessageW(id, WM_APP + 9, 0, 0));
    ASSERT_EQ(WaitForSingleObject(h, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(h, &code);
    CloseHandle(h);
    EXPECT_EQ(code, 42u);  // WM_QUIT's code passed through ExitInstance
    EXPECT_EQ(record.threadOfInit, id);
    EXPECT_EQ(record.messages, (std::vector<UINT>{WM_APP + 1, WM_APP + 2, WM_APP + 9}));
    EXPECT_TRUE(record.exited);
    EXPECT_TRUE(record.destroyed);
}

TEST(WinThread, FailedInitGoesStraightToExit) {
    Record record;
    auto thread = new RecordingThread(record, false);
    // Suspended, so that the handle can be taken before the object is gone.
    ASSERT_TRUE(thread->CreateThread(CREATE_SUSPENDED));
    HANDLE h = nullptr;
    DuplicateHandle(GetCurrentProcess(), thread->ThreadHandle(), GetCurrentProcess(), &h, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    ResumeThread(h);
    ASSERT_EQ(WaitForSingleObject(h, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(h, &code);
    CloseHandle(h);
    EXPECT_EQ(code, 40u);
    EXPECT_TRUE(record.initialised);
    EXPECT_TRUE(record.exited);
    EXPECT_TRUE(record.destroyed);
    EXPECT_TRUE(record.messages.empty());
}

TEST(WinThread, CurrentNamesTheThreadObject) {
    struct Probe : fw::WinThread {
        fw::WinThread* seen = reinterpret_cast<fw::WinThread*>(1);
        bool InitInstance() override {
            seen = Current();
            return false;
        }
    } probe;
    probe.m_bAutoDelete = false;
    ASSERT_TRUE(probe.CreateThread());
    WaitForSingleObject(probe.ThreadHandle(), 10000);
    EXPECT_EQ(probe.seen, &probe);
    EXPECT_EQ(fw::WinThread::Current(), nullptr);
}

} // namespace
