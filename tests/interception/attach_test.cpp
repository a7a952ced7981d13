// Attach / detach of real code in this process: functions of the test
// executable, hand-assembled code, and kernel32 exports.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "code_buffer.h"
#include "interception/interception.h"
#include "test_targets.h"

using namespace interception_test;

namespace {

// Every test must leave no transaction open and no interception behind.
class Interception : public ::testing::Test {
protected:
    void SetUp() override {
        g_realAdd = &TargetAdd;
        g_realMul = &TargetMul;
        stats_ = interception::GetMemoryStats();
    }
    void TearDown() override {
        EXPECT_EQ(interception::TransactionAbort(), ERROR_INVALID_OPERATION) << "a transaction was left open";
        EXPECT_EQ(interception::GetMemoryStats().slotsInUse, stats_.slotsInUse) << "an interception was left in place";
    }
    interception::MemoryStats stats_{};
};

// One operation in its own transaction; returns the commit's result.
LONG CommitOne(bool attach, void** pointer, void* detour) {
    EXPECT_EQ(interception::TransactionBegin(), NO_ERROR);
    const LONG op = attach ? interception::Attach(pointer, detour) : interception::Detach(pointer, detour);
    EXPECT_EQ(op, NO_ERROR);
    return interception::TransactionCommit();
}

// Where the E9 rel32 at `at` jumps to.
uintptr_t JumpDestination(const void* at) {
    const uint8_t* p = static_cast<const uint8_t*>(at);
    int32_t rel;
    std::memcpy(&rel, p + 1, 4);
    return reinterpret_cast<uintptr_t>(p) + 5 + static_cast<intptr_t>(rel);
}

bool WithinRel32(uintptr_t a, uintptr_t b) {
    const int64_t d = static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
    return d > INT32_MIN && d < INT32_MAX;
}

TEST_F(Interception, AttachCallDetachLocalFunction) {
    const CodeBytes before = Snapshot(AsVoid(&TargetAdd));
    const int calls = g_addDetourCalls;

    ASSERT_EQ(CommitOne(true, AsSlot(&g_realAdd), AsVoid(&DetourAdd)), NO_ERROR);
    EXPECT_NE(g_realAdd, &TargetAdd) << "the pointer must now hold the trampoline";
    EXPECT_EQ(*reinterpret_cast<const uint8_t*>(AsVoid(&TargetAdd)), 0xE9);
    EXPECT_EQ(interception::GetMemoryStats().slotsInUse, stats_.slotsInUse + 1);

    // Calls of the target reach the detour; the trampoline runs the original.
    EXPECT_EQ(g_callAdd(3, 4), ExpectedAdd(3, 4) + kAddDetourOffset);
    EXPECT_EQ(g_addDetourCalls, calls + 1);
    EXPECT_EQ(g_realAdd(3, 4), ExpectedAdd(3, 4));
    EXPECT_EQ(g_realAdd(-20, 9), ExpectedAdd(-20, 9));
    EXPECT_EQ(g_addDetourCalls, calls + 1);

    ASSERT_EQ(CommitOne(false, AsSlot(&g_realAdd), AsVoid(&DetourAdd)), NO_ERROR);
    EXPECT_EQ(g_realAdd, &TargetAdd);
    EXPECT_EQ(Snapshot(AsVoid(&TargetAdd)), before) << "original bytes must be restored exactly";
    EXPECT_EQ(g_callAdd(3, 4), ExpectedAdd(3, 4));
    EXPECT_EQ(g_addDetourCalls, calls + 1);
}

TEST_F(Interception, TwoFunctionsInOneTransaction) {
    const CodeBytes addBytes = Snapshot(AsVoid(&TargetAdd));
    const CodeBytes mulBytes = Snapshot(AsVoid(&TargetMul));

    ASSERT_EQ(interception::TransactionBegin(), NO_ERROR);
    ASSERT_EQ(interception::Attach(AsSlot(&g_realAdd), AsVoid(&DetourAdd)), NO_ERROR);
    ASSERT_EQ(interception::Attach(AsSlot(&g_realMul), AsVoid(&DetourMul)), NO_ERROR);
    // Nothing is written before the commit.
    EXPECT_EQ(Snapshot(AsVoid(&TargetAdd)), addBytes);
    EXPECT_EQ(g_realAdd, &TargetAdd);
    ASSERT_EQ(interception::TransactionCommit(), NO_ERROR);

    EXPECT_EQ(g_callAdd(5, 6), ExpectedAdd(5, 6) + kAddDetourOffset);
    EXPECT_EQ(g_callMul(5, 6), ExpectedMul(5, 6) + kMulDetourOffset);
    EXPECT_EQ(g_realMul(5, 6), ExpectedMul(5, 6));

    ASSERT_EQ(interception::TransactionBegin(), NO_ERROR);
    ASSERT_EQ(interception::Detach(AsSlot(&g_realAdd), AsVoid(&DetourAdd)), NO_ERROR);
    ASSERT_EQ(interception::Detach(AsSlot(&g_realMul), AsVoid(&DetourMul)), NO_ERROR);
    ASSERT_EQ(interception::TransactionCommit(), NO_ERROR);
    EXPECT_EQ(Snapshot(AsVoid(&TargetAdd)), addBytes);
    EXPECT_EQ(Snapshot(AsVoid(&TargetMul)), mulBytes);
    EXPECT_EQ(g_callMul(5, 6), ExpectedMul(5, 6));
}

TEST_F(Interception, AbortLeavesEverythingUntouched) {
    const CodeBytes before = Snapshot(AsVoid(&TargetAdd));
    ASSERT_EQ(interception::TransactionBegin(), NO_ERROR);
    ASSERT_EQ(interception::Attach(AsSlot(&g_realAdd), AsVoid(&DetourAdd)), NO_ERROR);
    ASSERT_EQ(interception::TransactionAbort(), NO_ERROR);
    EXPECT_EQ(Snapshot(AsVoid(&TargetAdd)), before);
    EXPECT_EQ(g_realAdd, &TargetAdd);
    EXPECT_EQ(g_callAdd(1, 2), ExpectedAdd(1, 2));
    EXPECT_EQ(interception::GetMemoryStats().slotsInUse, stats_.slotsInUse);
    // The aborted attach left no trace: the same target can be attached now.
    ASSERT_EQ(CommitOne(true, AsSlot(&g_realAdd), AsVoid(&DetourAdd)), NO_ERROR);
    EXPECT_EQ(g_callAdd(1, 2), ExpectedAdd(1, 2) + kAddDetourOffset);
    ASSERT_EQ(CommitOne(false, AsSlot(&g_realAdd), AsVoid(&DetourAdd)), NO_ERROR);
}

TEST_F(Interception, FailedOperationLeavesOtherTargetUnpatched) {
    const CodeBytes before = Snapshot(AsVoid(&TargetAdd));
    static const uint8_t kData[64] = {0x55, 0x48, 0x89, 0xE5};  // code-like bytes, not executable
    void* dataTarget = const_cast<uint8_t*>(kData);

    ASSERT_EQ(interception::TransactionBegin(), NO_ERROR);
    ASSERT_EQ(interception::Attach(AsSlot(&g_realAdd), AsVoid(&DetourAdd)), NO_ERROR);
    EXPECT_EQ(interception::Attach(&dataTarget, AsVoid(&DetourMul)), ERROR_INVALID_ADDRESS);
    EXPECT_EQ(interception::TransactionCommit(), ERROR_INVALID_ADDRESS);

    EXPECT_EQ(Snapshot(AsVoid(&TargetAdd)), before);
    EXPECT_EQ(g_realAdd, &TargetAdd);
    EXPECT_EQ(dataTarget, static_cast<const void*>(kData));
    EXPECT_EQ(g_callAdd(2, 2), ExpectedAdd(2, 2));
    EXPECT_EQ(interception::GetMemoryStats().slotsInUse, stats_.slotsInUse);
    // The failed commit closed the transaction.
    EXPECT_EQ(interception::TransactionBegin(), NO_ERROR);
    EXPECT_EQ(interception::TransactionAbort(), NO_ERROR);
}

TEST_F(Interception, UnrelocatableTargetFailsWholeTransaction) {
    CodeBuffer code;
    ASSERT_TRUE(code.ok());
    void* tooShort = reinterpret_cast<void*>(code.Put(0, {0x31, 0xC0, 0xC3}));  // xor eax,eax; ret
    void* loops = reinterpret_cast<void*>(code.Put(0x40, {0xE2, 0xFE, 0x90, 0x90, 0x90, 0xC3}));
    void* unknown = reinterpret_cast<void*>(code.Put(0x80, {0xD6, 0x90, 0x90, 0x90, 0x90, 0xC3}));
    const CodeBytes before = Snapshot(AsVoid(&TargetAdd));

    for (void* bad : {tooShort, loops, unknown}) {
        void* pointer = bad;
        const CodeBytes badBefore = Snapshot(bad);
        ASSERT_EQ(interception::TransactionBegin(), NO_ERROR);
        ASSERT_EQ(interception::Attach(AsSlot(&g_realAdd), AsVoid(&DetourAdd)), NO_ERROR);
        EXPECT_EQ(interception::Attach(&pointer, AsVoid(&DetourMul)), ERROR_INVALID_DATA);
        EXPECT_EQ(interception::TransactionCommit(), ERROR_INVALID_DATA);
        EXPECT_EQ(Snapshot(AsVoid(&TargetAdd)), before);
        EXPECT_EQ(Snapshot(bad), badBefore);
        EXPECT_EQ(g_realAdd, &TargetAdd);
        EXPECT_EQ(pointer, bad);
    }
}

TEST_F(Interception, BytesChangedBeforeCommitFailWholeTransaction) {
    CodeBuffer code;
    ASSERT_TRUE(code.ok());
    // lea rsp,[rsp+0]; mov eax,5; ret
    void* target = reinterpret_cast<void*>(code.Put(0, {0x48, 0x8D, 0xA4, 0x24, 0, 0, 0, 0, 0xB8, 5, 0, 0, 0, 0xC3}));
    void* pointer = target;
    const CodeBytes addBefore = Snapshot(AsVoid(&TargetAdd));

    ASSERT_EQ(interception::TransactionBegin(), NO_ERROR);
    ASSERT_EQ(interception::Attach(AsSlot(&g_realAdd), AsVoid(&DetourAdd)), NO_ERROR);
    ASSERT_EQ(interception::Attach(&pointer, AsVoid(&DetourMul)), NO_ERROR);
    code.data()[4] = 0x01;  // someone else rewrites the prologue meanwhile
    const CodeBytes changed = Snapshot(target);
    EXPECT_EQ(interception::TransactionCommit(), ERROR_INVALID_DATA);
    EXPECT_EQ(Snapshot(AsVoid(&TargetAdd)), addBefore);
    EXPECT_EQ(Snapshot(target), changed);
    EXPECT_EQ(g_realAdd, &TargetAdd);
    EXPECT_EQ(pointer, target);
}

TEST_F(Interception, RepeatedAttachDetachDoesNotLeak) {
    const CodeBytes before = Snapshot(AsVoid(&TargetAdd));
    // The first cycle may reserve a block of trampoline memory.
    ASSERT_EQ(CommitOne(true, AsSlot(&g_realAdd), AsVoid(&DetourAdd)), NO_ERROR);
    ASSERT_EQ(CommitOne(false, AsSlot(&g_realAdd), AsVoid(&DetourAdd)), NO_ERROR);
    const interception::MemoryStats first = interception::GetMemoryStats();

    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(CommitOne(true, AsSlot(&g_realAdd), AsVoid(&DetourAdd)), NO_ERROR) << "cycle " << i;
        ASSERT_EQ(g_callAdd(i, 1), ExpectedAdd(i, 1) + kAddDetourOffset) << "cycle " << i;
        ASSERT_EQ(g_realAdd(i, 1), ExpectedAdd(i, 1)) << "cycle " << i;
        ASSERT_EQ(CommitOne(false, AsSlot(&g_realAdd), AsVoid(&DetourAdd)), NO_ERROR) << "cycle " << i;
        ASSERT_EQ(g_callAdd(i, 1), ExpectedAdd(i, 1)) << "cycle " << i;
        ASSERT_EQ(g_realAdd, &TargetAdd);
    }
    EXPECT_EQ(Snapshot(AsVoid(&TargetAdd)), before);
    const interception::MemoryStats after = interception::GetMemoryStats();
    EXPECT_EQ(after.regions, first.regions);
    EXPECT_EQ(after.slotsInUse, first.slotsInUse);
    EXPECT_EQ(after.slotsRetired, first.slotsRetired);
}

TEST_F(Interception, ParameterErrors) {
    // Outside a transaction.
    EXPECT_EQ(interception::Attach(AsSlot(&g_realAdd), AsVoid(&DetourAdd)), ERROR_INVALID_OPERATION);
    EXPECT_EQ(interception::Detach(AsSlot(&g_realAdd), AsVoid(&DetourAdd)), ERROR_INVALID_OPERATION);
    EXPECT_EQ(interception::UpdateThread(GetCurrentThread()), ERROR_INVALID_OPERATION);
    EXPECT_EQ(interception::TransactionCommit(), ERROR_INVALID_OPERATION);
    EXPECT_EQ(interception::TransactionAbort(), ERROR_INVALID_OPERATION);

    ASSERT_EQ(interception::TransactionBegin(), NO_ERROR);
    EXPECT_EQ(interception::TransactionBegin(), ERROR_INVALID_OPERATION);
    EXPECT_EQ(interception::TransactionAbort(), NO_ERROR);

    void* nullTarget = nullptr;
    void* self = AsVoid(&TargetAdd);
    void* freed = VirtualAlloc(nullptr, 0x10000, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE);
    ASSERT_NE(freed, nullptr);
    VirtualFree(freed, 0, MEM_RELEASE);
    void* readWrite = VirtualAlloc(nullptr, 0x1000, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(readWrite, nullptr);
    std::memset(readWrite, 0x90, 0x1000);
    void* low = reinterpret_cast<void*>(0x10);
    void* stack[8] = {};

    struct Case {
        const char* name;
        void** pointer;
        void* detour;
        LONG error;
    };
    const Case cases[] = {
        {"null pointer", nullptr, AsVoid(&DetourAdd), ERROR_INVALID_PARAMETER},
        {"null target", &nullTarget, AsVoid(&DetourAdd), ERROR_INVALID_PARAMETER},
        {"null detour", AsSlot(&g_realAdd), nullptr, ERROR_INVALID_PARAMETER},
        {"detour is target", &self, AsVoid(&TargetAdd), ERROR_INVALID_PARAMETER},
        {"released memory", &freed, AsVoid(&DetourAdd), ERROR_INVALID_ADDRESS},
        {"read-write memory", &readWrite, AsVoid(&DetourAdd), ERROR_INVALID_ADDRESS},
        {"unmapped low address", &low, AsVoid(&DetourAdd), ERROR_INVALID_ADDRESS},
    };
    const CodeBytes before = Snapshot(AsVoid(&TargetAdd));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        void* original = c.pointer ? *c.pointer : nullptr;
        ASSERT_EQ(interception::TransactionBegin(), NO_ERROR);
        EXPECT_EQ(interception::Attach(c.pointer, c.detour), c.error);
        EXPECT_EQ(interception::TransactionCommit(), c.error);
        if (c.pointer) {
            EXPECT_EQ(*c.pointer, original);
        }
    }
    // A pointer to the stack is not code either.
    stack[0] = &stack[1];
    ASSERT_EQ(interception::TransactionBegin(), NO_ERROR);
    EXPECT_EQ(interception::Attach(&stack[0], AsVoid(&DetourAdd)), ERROR_INVALID_ADDRESS);
    EXPECT_EQ(interception::TransactionAbort(), NO_ERROR);
    EXPECT_EQ(Snapshot(AsVoid(&TargetAdd)), before);
    VirtualFree(readWrite, 0, MEM_RELEASE);

    // Detach of something that was never attached.
    BinaryFn never = &TargetMul;
    ASSERT_EQ(interception::TransactionBegin(), NO_ERROR);
    EXPECT_EQ(interception::Detach(AsSlot(&never), AsVoid(&DetourMul)), ERROR_NOT_FOUND);
    EXPECT_EQ(interception::TransactionCommit(), ERROR_NOT_FOUND);
    EXPECT_EQ(never, &TargetMul);

    // Bad thread handles.
    ASSERT_EQ(interception::TransactionBegin(), NO_ERROR);
    EXPECT_EQ(interception::UpdateThread(nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(interception::TransactionCommit(), ERROR_INVALID_HANDLE);
    ASSERT_EQ(interception::TransactionBegin(), NO_ERROR);
    EXPECT_EQ(interception::UpdateThread(GetCurrentProcess()), ERROR_INVALID_HANDLE);
    EXPECT_EQ(interception::TransactionAbort(), NO_ERROR);
    ASSERT_EQ(interception::TransactionBegin(), NO_ERROR);
    EXPECT_EQ(interception::UpdateThread(GetCurrentThread()), NO_ERROR);  // the committing thread
    EXPECT_EQ(interception::TransactionCommit(), NO_ERROR);
}

TEST_F(Interception, MisuseOfActiveInterception) {
    ASSERT_EQ(CommitOne(true, AsSlot(&g_realAdd), AsVoid(&DetourAdd)), NO_ERROR);
    const CodeBytes patched = Snapshot(AsVoid(&TargetAdd));

    // Attaching the same target again.
    BinaryFn second = &TargetAdd;
    ASSERT_EQ(interception::TransactionBegin(), NO_ERROR);
    EXPECT_EQ(interception::Attach(AsSlot(&second), AsVoid(&DetourMul)), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(interception::TransactionCommit(), ERROR_ALREADY_EXISTS);
    // Attaching the trampoline itself.
    BinaryFn trampoline = g_realAdd;
    ASSERT_EQ(interception::TransactionBegin(), NO_ERROR);
    EXPECT_EQ(interception::Attach(AsSlot(&trampoline), AsVoid(&DetourMul)), ERROR_INVALID_ADDRESS);
    EXPECT_EQ(interception::TransactionAbort(), NO_ERROR);
    // Detach with the wrong detour, then twice in one transaction.
    ASSERT_EQ(interception::TransactionBegin(), NO_ERROR);
    EXPECT_EQ(interception::Detach(AsSlot(&g_realAdd), AsVoid(&DetourMul)), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(interception::TransactionCommit(), ERROR_INVALID_PARAMETER);
    ASSERT_EQ(interception::TransactionBegin(), NO_ERROR);
    EXPECT_EQ(interception::Detach(AsSlot(&g_realAdd), AsVoid(&DetourAdd)), NO_ERROR);
    EXPECT_EQ(interception::Detach(AsSlot(&g_realAdd), AsVoid(&DetourAdd)), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(interception::TransactionCommit(), ERROR_INVALID_PARAMETER);

    EXPECT_EQ(Snapshot(AsVoid(&TargetAdd)), patched);
    EXPECT_EQ(g_callAdd(1, 1), ExpectedAdd(1, 1) + kAddDetourOffset);
    ASSERT_EQ(CommitOne(false, AsSlot(&g_realAdd), AsVoid(&DetourAdd)), NO_ERROR);
    EXPECT_EQ(g_callAdd(1, 1), ExpectedAdd(1, 1));
}

TEST_F(Interception, TransactionBelongsToItsThread) {
    ASSERT_EQ(interception::TransactionBegin(), NO_ERROR);
    LONG begin = NO_ERROR, attach = NO_ERROR, commit = NO_ERROR, abort = NO_ERROR;
    std::thread other([&] {
        begin = interception::TransactionBegin();
        attach = interception::Attach(AsSlot(&g_realAdd), AsVoid(&DetourAdd));
        commit = interception::TransactionCommit();
        abort = interception::TransactionAbort();
    });
    other.join();
    EXPECT_EQ(begin, ERROR_INVALID_OPERATION);
    EXPECT_EQ(attach, ERROR_INVALID_OPERATION);
    EXPECT_EQ(commit, ERROR_INVALID_OPERATION);
    EXPECT_EQ(abort, ERROR_INVALID_OPERATION);
    EXPECT_EQ(interception::TransactionCommit(), NO_ERROR);  // still open, and empty
}

// --- System functions ------------------------------------------------------

using PidFn = DWORD(WINAPI*)();
PidFn g_realGetCurrentProcessId;
std::atomic<int> g_pidDetourCalls{0};
DWORD WINAPI DetourGetCurrentProcessId() {
    ++g_pidDetourCalls;
    return g_realGetCurrentProcessId();
}

using TickFn = DWORD(WINAPI*)();
TickFn g_realGetTickCount;
std::atomic<int> g_tickDetourCalls{0};
DWORD WINAPI DetourGetTickCount() {
    ++g_tickDetourCalls;
    return g_realGetTickCount();
}

using LoadLibraryWFn = HMODULE(WINAPI*)(LPCWSTR);
LoadLibraryWFn g_realLoadLibraryW;
std::atomic<int> g_loadDetourCalls{0};
std::wstring g_lastLoaded;
HMODULE WINAPI DetourLoadLibraryW(LPCWSTR name) {
    ++g_loadDetourCalls;
    g_lastLoaded = name ? name : L"";
    return g_realLoadLibraryW(name);
}

void* Kernel32Export(const char* name) {
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    return kernel32 ? reinterpret_cast<void*>(GetProcAddress(kernel32, name)) : nullptr;
}

HMODULE ModuleOf(const void* address) {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCWSTR>(address), &module);
    return module;
}

TEST_F(Interception, Kernel32GetCurrentProcessId) {
    void* target = Kernel32Export("GetCurrentProcessId");
    ASSERT_NE(target, nullptr);
    const DWORD pid = GetCurrentProcessId();
    const CodeBytes before = Snapshot(target);
    auto viaExport = reinterpret_cast<PidFn>(target);

    g_realGetCurrentProcessId = viaExport;
    ASSERT_EQ(CommitOne(true, AsSlot(&g_realGetCurrentProcessId), AsVoid(&DetourGetCurrentProcessId)), NO_ERROR);
    EXPECT_TRUE(
        WithinRel32(reinterpret_cast<uintptr_t>(g_realGetCurrentProcessId), reinterpret_cast<uintptr_t>(target)));
    int calls = g_pidDetourCalls;
    EXPECT_EQ(viaExport(), pid);
    EXPECT_EQ(g_pidDetourCalls, calls + 1);
    // This executable's import of GetCurrentProcessId goes through kernel32 too.
    calls = g_pidDetourCalls;
    EXPECT_EQ(GetCurrentProcessId(), pid);
    EXPECT_EQ(g_pidDetourCalls, calls + 1);
    EXPECT_EQ(g_realGetCurrentProcessId(), pid);
    EXPECT_EQ(g_pidDetourCalls, calls + 1);

    ASSERT_EQ(CommitOne(false, AsSlot(&g_realGetCurrentProcessId), AsVoid(&DetourGetCurrentProcessId)), NO_ERROR);
    EXPECT_EQ(reinterpret_cast<void*>(g_realGetCurrentProcessId), target);
    EXPECT_EQ(Snapshot(target), before);
    calls = g_pidDetourCalls;
    EXPECT_EQ(viaExport(), pid);
    EXPECT_EQ(g_pidDetourCalls, calls);
}

TEST_F(Interception, Kernel32GetTickCount) {
    void* target = Kernel32Export("GetTickCount");
    ASSERT_NE(target, nullptr);
    const CodeBytes before = Snapshot(target);
    auto viaExport = reinterpret_cast<TickFn>(target);
    g_realGetTickCount = viaExport;
    ASSERT_EQ(CommitOne(true, AsSlot(&g_realGetTickCount), AsVoid(&DetourGetTickCount)), NO_ERROR);
    const int calls = g_tickDetourCalls;
    const DWORD t0 = GetTickCount();
    // Wine's tick count is refreshed in coarse steps, and later still on a
    // loaded machine, so wait for it to advance instead of trusting one sleep.
    DWORD t1 = t0;
    int reads = 0;
    while (t1 - t0 < 10u && reads < 250) {
        Sleep(20);
        t1 = viaExport();
        ++reads;
    }
    EXPECT_EQ(g_tickDetourCalls, calls + 1 + reads);
    EXPECT_GE(t1 - t0, 10u) << "the trampoline must return the real, advancing tick count";
    EXPECT_LT(t1 - t0, 10000u);
    ASSERT_EQ(CommitOne(false, AsSlot(&g_realGetTickCount), AsVoid(&DetourGetTickCount)), NO_ERROR);
    EXPECT_EQ(Snapshot(target), before);
}

TEST_F(Interception, Kernel32LoadLibraryW) {
    void* target = Kernel32Export("LoadLibraryW");
    ASSERT_NE(target, nullptr);
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    if (RunningUnderWine()) {
        // Wine's kernel32 export: hot-patch no-op, then jmp [rip+x] into kernelbase.
        EXPECT_EQ(ModuleOf(target), kernel32);
#if defined(_WIN64)
        const uint8_t thunk[] = {0x48, 0x8D, 0xA4, 0x24, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x25};
        EXPECT_EQ(0, std::memcmp(target, thunk, sizeof thunk)) << "kernel32!LoadLibraryW changed shape";
#endif
    }
    const CodeBytes before = Snapshot(target);
    auto viaExport = reinterpret_cast<LoadLibraryWFn>(target);
    g_realLoadLibraryW = viaExport;
    ASSERT_EQ(CommitOne(true, AsSlot(&g_realLoadLibraryW), AsVoid(&DetourLoadLibraryW)), NO_ERROR);
    EXPECT_TRUE(WithinRel32(reinterpret_cast<uintptr_t>(g_realLoadLibraryW), reinterpret_cast<uintptr_t>(target)));

    int calls = g_loadDetourCalls;
    HMODULE version = viaExport(L"version.dll");
    EXPECT_EQ(g_loadDetourCalls, calls + 1);
    EXPECT_EQ(g_lastLoaded, L"version.dll");
    ASSERT_NE(version, nullptr) << "the trampoline must reach the real LoadLibraryW";
    EXPECT_EQ(GetModuleHandleW(L"version.dll"), version);
    EXPECT_NE(GetProcAddress(version, "GetFileVersionInfoSizeW"), nullptr);

    // The import of this executable reaches the detour as well.
    calls = g_loadDetourCalls;
    HMODULE again = LoadLibraryW(L"version.dll");
    EXPECT_EQ(g_loadDetourCalls, calls + 1);
    EXPECT_EQ(again, version);

    ASSERT_EQ(CommitOne(false, AsSlot(&g_realLoadLibraryW), AsVoid(&DetourLoadLibraryW)), NO_ERROR);
    EXPECT_EQ(Snapshot(target), before);
    calls = g_loadDetourCalls;
    HMODULE third = viaExport(L"version.dll");
    EXPECT_EQ(third, version);
    EXPECT_EQ(g_loadDetourCalls, calls);
    FreeLibrary(third);
    FreeLibrary(again);
    FreeLibrary(version);
}

__attribute__((noipa)) int ReturnNineHundredNinetyNine() { return 999; }

TEST_F(Interception, TrampolineIsPlacedNearTarget) {
    // A target far from every module: the trampoline must still be within rel32.
    CodeBuffer distant(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)) +
                       (sizeof(void*) == 8 ? 0x1000000000ull : 0));
    ASSERT_TRUE(distant.ok());
    // lea rsp,[rsp+0] / (x86: mov edi,edi; push ebp; mov ebp,esp; pop ebp) ... mov eax,5; ret
#if defined(_WIN64)
    void* target =
        reinterpret_cast<void*>(distant.Put(0, {0x48, 0x8D, 0xA4, 0x24, 0, 0, 0, 0, 0xB8, 5, 0, 0, 0, 0xC3}));
#else
    void* target =
        reinterpret_cast<void*>(distant.Put(0, {0x8B, 0xFF, 0x55, 0x8B, 0xEC, 0x5D, 0xB8, 5, 0, 0, 0, 0xC3}));
#endif
    void* pointer = target;
    auto fn = reinterpret_cast<int (*)()>(target);
    ASSERT_EQ(fn(), 5);
    ASSERT_EQ(CommitOne(true, &pointer, AsVoid(&ReturnNineHundredNinetyNine)), NO_ERROR);
    EXPECT_TRUE(WithinRel32(reinterpret_cast<uintptr_t>(pointer), reinterpret_cast<uintptr_t>(target)));
#if defined(_WIN64)
    // The detour, in this executable, is out of rel32 reach: the jump goes to
    // a relay next to the trampoline.
    const uintptr_t detour = reinterpret_cast<uintptr_t>(&ReturnNineHundredNinetyNine);
    ASSERT_FALSE(WithinRel32(detour, reinterpret_cast<uintptr_t>(target)));
    EXPECT_EQ(*static_cast<uint8_t*>(target), 0xE9);
    EXPECT_NE(JumpDestination(target), detour);
    EXPECT_TRUE(WithinRel32(JumpDestination(target), reinterpret_cast<uintptr_t>(target)));
#else
    // Every address is within rel32 reach on x86: the jump goes to the detour.
    EXPECT_EQ(JumpDestination(target), reinterpret_cast<uintptr_t>(&ReturnNineHundredNinetyNine));
#endif
    EXPECT_EQ(fn(), 999);
    EXPECT_EQ(reinterpret_cast<int (*)()>(pointer)(), 5);
    ASSERT_EQ(CommitOne(false, &pointer, AsVoid(&ReturnNineHundredNinetyNine)), NO_ERROR);
    EXPECT_EQ(fn(), 5);
}

#if defined(_WIN64)
__attribute__((noipa)) int ReturnSeven() { return 7; }

// Hand-assembled prologues hooked through the engine: the detour answers 999,
// the trampoline must compute what the untouched code computes.
TEST_F(Interception, RelocatedProloguesRunCorrectly) {
    CodeBuffer code;
    ASSERT_TRUE(code.ok());
    code.PutU32(0x800, 1234);                                       // data
    code.PutU64(0x808, reinterpret_cast<uintptr_t>(&ReturnSeven));  // pointer slot
    code.Put(0x840, {0xB8, 41, 0, 0, 0, 0xC3});                     // helper: mov eax,41; ret

    struct Shape {
        const char* name;
        size_t offset;
        int argument;
    };
    // lea rax,[rip+data]; mov eax,[rax]; ret
    code.Put(0x000, {0x48, 0x8D, 0x05, 0, 0, 0, 0, 0x8B, 0x00, 0xC3});
    code.PutRel32(0x003, 0x007, code.address(0x800));
    // mov eax,[rip+data]; ret
    code.Put(0x040, {0x8B, 0x05, 0, 0, 0, 0, 0xC3});
    code.PutRel32(0x042, 0x046, code.address(0x800));
    // test ecx,ecx; jz +6; mov eax,1; ret; mov eax,2; ret
    code.Put(0x080, {0x85, 0xC9, 0x74, 0x06, 0xB8, 1, 0, 0, 0, 0xC3, 0xB8, 2, 0, 0, 0, 0xC3});
    // call helper; add eax,1; ret
    code.Put(0x0C0, {0xE8, 0, 0, 0, 0, 0x83, 0xC0, 0x01, 0xC3});
    code.PutRel32(0x0C1, 0x0C5, code.address(0x840));
    // Wine-style thunk: lea rsp,[rsp+0]; jmp [rip+slot]
    code.Put(0x100, {0x48, 0x8D, 0xA4, 0x24, 0, 0, 0, 0, 0xFF, 0x25, 0, 0, 0, 0});
    code.PutRel32(0x10A, 0x10E, code.address(0x808));
    // jmp [rip+slot] alone
    code.Put(0x140, {0xFF, 0x25, 0, 0, 0, 0});
    code.PutRel32(0x142, 0x146, code.address(0x808));
    // sub rsp,28h; add rsp,28h; mov eax,3; ret
    code.Put(0x180, {0x48, 0x83, 0xEC, 0x28, 0x48, 0x83, 0xC4, 0x28, 0xB8, 3, 0, 0, 0, 0xC3});
    // call $+5; pop rax; ret: returns the address the call pushed
    code.Put(0x1C0, {0xE8, 0, 0, 0, 0, 0x58, 0xC3});

    const Shape shapes[] = {
        {"rip-relative lea", 0x000, 0},    {"rip-relative mov", 0x040, 0}, {"short jcc taken", 0x080, 0},
        {"short jcc not taken", 0x080, 1}, {"call rel32", 0x0C0, 0},       {"hot-patch thunk", 0x100, 0},
        {"jmp [rip+x]", 0x140, 0},         {"stack adjust", 0x180, 0},     {"call $+5", 0x1C0, 0},
    };
    for (const Shape& s : shapes) {
        SCOPED_TRACE(s.name);
        auto fn = code.As<intptr_t (*)(int)>(s.offset);
        const intptr_t expected = fn(s.argument);
        const CodeBytes before = Snapshot(code.data() + s.offset);
        void* pointer = code.data() + s.offset;
        ASSERT_EQ(CommitOne(true, &pointer, AsVoid(&ReturnNineHundredNinetyNine)), NO_ERROR);
        EXPECT_EQ(static_cast<int>(fn(s.argument)), 999);
        EXPECT_EQ(reinterpret_cast<intptr_t (*)(int)>(pointer)(s.argument), expected);
        ASSERT_EQ(CommitOne(false, &pointer, AsVoid(&ReturnNineHundredNinetyNine)), NO_ERROR);
        EXPECT_EQ(Snapshot(code.data() + s.offset), before);
        EXPECT_EQ(fn(s.argument), expected);
    }
    // The shapes compute what they were written to compute.
    EXPECT_EQ(code.As<int (*)(int)>(0x000)(0), 1234);
    EXPECT_EQ(code.As<int (*)(int)>(0x080)(0), 2);
    EXPECT_EQ(code.As<int (*)(int)>(0x080)(1), 1);
    EXPECT_EQ(code.As<int (*)(int)>(0x0C0)(0), 42);
    EXPECT_EQ(code.As<int (*)(int)>(0x100)(0), 7);
    EXPECT_EQ(code.As<uintptr_t (*)(int)>(0x1C0)(0), code.address(0x1C5));
}
#endif

}  // namespace
