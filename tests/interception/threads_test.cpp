// Commits while other threads run, or sit, inside the code being patched.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstring>

#include "code_buffer.h"
#include "interception/interception.h"
#include "test_targets.h"

using namespace interception_test;

namespace {

LONG CommitOne(bool attach, void** pointer, void* detour, HANDLE thread = nullptr) {
    EXPECT_EQ(interception::TransactionBegin(), NO_ERROR);
    if (thread) {
        EXPECT_EQ(interception::UpdateThread(thread), NO_ERROR);
    }
    const LONG op = attach ? interception::Attach(pointer, detour) : interception::Detach(pointer, detour);
    EXPECT_EQ(op, NO_ERROR);
    return interception::TransactionCommit();
}

// Waits until pred() holds, for at most `ms` milliseconds.
template <class Pred>
bool WaitFor(Pred pred, DWORD ms) {
    const DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start > ms) return false;
        Sleep(0);
    }
    return true;
}

struct CallerState {
    std::atomic<bool> stop{false};
    std::atomic<long> original{0};
    std::atomic<long> detoured{0};
    std::atomic<long> wrong{0};
};

// Calls TargetAdd as fast as it can and classifies every result.
DWORD WINAPI Caller(void* arg) {
    auto* state = static_cast<CallerState*>(arg);
    for (int i = 0; !state->stop.load(std::memory_order_relaxed); ++i) {
        const int a = i & 0x3FF, b = (i >> 10) & 0xFF;
        const int r = g_callAdd(a, b);
        const int expected = ExpectedAdd(a, b);
        if (r == expected)
            ++state->original;
        else if (r == expected + kAddDetourOffset)
            ++state->detoured;
        else
            ++state->wrong;
    }
    return 0;
}

void RunCyclesWithCaller(bool nameThread) {
    g_realAdd = &TargetAdd;
    const CodeBytes before = Snapshot(AsVoid(&TargetAdd));
    CallerState state;
    HANDLE thread = CreateThread(nullptr, 0, &Caller, &state, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(WaitFor([&] { return state.original.load() > 1000; }, 10000));

    const int kCycles = 100;
    int cycles = 0;
    for (; cycles < kCycles; ++cycles) {
        const long detouredBefore = state.detoured;
        if (CommitOne(true, AsSlot(&g_realAdd), AsVoid(&DetourAdd), nameThread ? thread : nullptr) != NO_ERROR) break;
        // The caller must get through the detour at least once while attached...
        if (!WaitFor([&] { return state.detoured.load() > detouredBefore + 10; }, 5000)) break;
        if (CommitOne(false, AsSlot(&g_realAdd), AsVoid(&DetourAdd), nameThread ? thread : nullptr) != NO_ERROR) break;
        // ...and through the restored original once detached.
        const long originalBefore = state.original;
        if (!WaitFor([&] { return state.original.load() > originalBefore + 10; }, 5000)) break;
    }
    state.stop = true;
    EXPECT_EQ(WaitForSingleObject(thread, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD exitCode = 1;
    GetExitCodeThread(thread, &exitCode);
    CloseHandle(thread);

    EXPECT_EQ(cycles, kCycles);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(state.wrong, 0);
    EXPECT_GT(state.detoured, 10L * kCycles);
    EXPECT_EQ(Snapshot(AsVoid(&TargetAdd)), before);
    EXPECT_EQ(g_realAdd, &TargetAdd);
    if (g_realAdd != &TargetAdd) {  // leave nothing behind for later tests
        CommitOne(false, AsSlot(&g_realAdd), AsVoid(&DetourAdd));
    }
}

TEST(InterceptionThreads, CallerSurvivesAttachDetachCycles) { RunCyclesWithCaller(false); }

TEST(InterceptionThreads, CallerNamedWithUpdateThreadSurvivesCycles) { RunCyclesWithCaller(true); }

#if defined(_WIN64)
// A thread is parked (suspended) with its instruction pointer at a chosen
// place in hand-assembled code; the commit must move it.

std::atomic<bool> g_spinning{false};
volatile bool g_neverTrue = false;

DWORD WINAPI Spin(void*) {
    g_spinning = true;
    while (!g_neverTrue) YieldProcessor();
    return 1;
}

__attribute__((noipa)) int DetourNeverCalled() {
    ADD_FAILURE() << "the parked thread ran into the detour";
    return -1;
}

class ParkedThread : public ::testing::Test {
protected:
    static constexpr size_t kResult = 0x200;

    void SetUp() override {
        ASSERT_TRUE(code_.ok());
        // 0: push rbp; 1: mov rbp,rsp; 4: pop rbp; 5: mov eax,42;
        // 10: mov [rip+result],eax; 16: and rsp,-16; 20: sub rsp,20h;
        // 24: xor ecx,ecx; 26: mov rax,ExitThread; 36: call rax
        code_.Put(0, {0x55, 0x48, 0x89, 0xE5, 0x5D, 0xB8, 42,   0,    0,    0,    0x89, 0x05, 0,    0,
                      0,    0,    0x48, 0x83, 0xE4, 0xF0, 0x48, 0x83, 0xEC, 0x20, 0x31, 0xC9, 0x48, 0xB8});
        code_.PutRel32(12, 16, code_.address(kResult));
        code_.PutU64(28, reinterpret_cast<uintptr_t>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "ExitThread")));
        code_.Put(36, {0xFF, 0xD0, 0xCC});
        code_.PutU32(kResult, 0);
        target_ = code_.data();
        pointer_ = target_;
        before_ = Snapshot(target_);

        g_spinning = false;
        thread_ = CreateThread(nullptr, 0, &Spin, nullptr, 0, nullptr);
        ASSERT_NE(thread_, nullptr);
        ASSERT_TRUE(WaitFor([] { return g_spinning.load(); }, 10000));
        ASSERT_NE(SuspendThread(thread_), static_cast<DWORD>(-1));
    }

    void TearDown() override {
        if (thread_) {
            if (WaitForSingleObject(thread_, 0) != WAIT_OBJECT_0) {
                TerminateThread(thread_, 2);
                WaitForSingleObject(thread_, 5000);
            }
            CloseHandle(thread_);
        }
        if (pointer_ != target_) CommitOne(false, &pointer_, AsVoid(&DetourNeverCalled));
    }

    uintptr_t Ip() {
        CONTEXT c{};
        c.ContextFlags = CONTEXT_CONTROL;
        EXPECT_TRUE(GetThreadContext(thread_, &c));
        return c.Rip;
    }

    void SetIp(uintptr_t ip) {
        CONTEXT c{};
        c.ContextFlags = CONTEXT_CONTROL;
        ASSERT_TRUE(GetThreadContext(thread_, &c));
        c.Rip = ip;
        ASSERT_TRUE(SetThreadContext(thread_, &c));
        ASSERT_EQ(Ip(), ip);
    }

    // Lets the parked thread run; it must finish the code and exit.
    void RunToCompletion() {
        ASSERT_EQ(ResumeThread(thread_), 1u);
        ASSERT_EQ(WaitForSingleObject(thread_, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
        DWORD exitCode = 99;
        GetExitCodeThread(thread_, &exitCode);
        EXPECT_EQ(exitCode, 0u);
        uint32_t result;
        std::memcpy(&result, code_.data() + kResult, 4);
        EXPECT_EQ(result, 42u);
    }

    uintptr_t target() const { return reinterpret_cast<uintptr_t>(target_); }
    uintptr_t trampoline() const { return reinterpret_cast<uintptr_t>(pointer_); }

    CodeBuffer code_;
    void* target_ = nullptr;
    void* pointer_ = nullptr;
    CodeBytes before_{};
    HANDLE thread_ = nullptr;
};

TEST_F(ParkedThread, AttachMovesThreadFromPatchedBytesToTrampoline) {
    SetIp(target() + 1);  // at "mov rbp,rsp", inside the five bytes to be patched
    ASSERT_EQ(CommitOne(true, &pointer_, AsVoid(&DetourNeverCalled)), NO_ERROR);
    ASSERT_NE(trampoline(), target());
    ASSERT_EQ(Ip(), trampoline() + 1) << "the copy of mov rbp,rsp is at the same offset";
    RunToCompletion();
    ASSERT_EQ(CommitOne(false, &pointer_, AsVoid(&DetourNeverCalled)), NO_ERROR);
    EXPECT_EQ(Snapshot(target_), before_);
}

TEST_F(ParkedThread, DetachMovesThreadFromTrampolineToOriginal) {
    ASSERT_EQ(CommitOne(true, &pointer_, AsVoid(&DetourNeverCalled)), NO_ERROR);
    const uintptr_t tramp = trampoline();
    SetIp(tramp + 4);  // at the copy of "pop rbp"
    ASSERT_EQ(CommitOne(false, &pointer_, AsVoid(&DetourNeverCalled), thread_), NO_ERROR);
    EXPECT_EQ(pointer_, target_);
    EXPECT_EQ(Snapshot(target_), before_);
    ASSERT_EQ(Ip(), target() + 4);
    RunToCompletion();
}

TEST_F(ParkedThread, ThreadInsideTrampolineInstructionKeepsTrampoline) {
    ASSERT_EQ(CommitOne(true, &pointer_, AsVoid(&DetourNeverCalled)), NO_ERROR);
    const uintptr_t tramp = trampoline();
    const size_t retired = interception::GetMemoryStats().slotsRetired;
    // Halfway into "48 89 E5": 89 E5 alone is mov ebp,esp, harmless here, but
    // it has no counterpart in the original code.
    SetIp(tramp + 2);
    ASSERT_EQ(CommitOne(false, &pointer_, AsVoid(&DetourNeverCalled)), NO_ERROR);
    EXPECT_EQ(Snapshot(target_), before_);
    ASSERT_EQ(Ip(), tramp + 2) << "no equivalent place: the thread stays in the trampoline";
    EXPECT_EQ(interception::GetMemoryStats().slotsRetired, retired + 1);
    RunToCompletion();
}
#endif

}  // namespace
