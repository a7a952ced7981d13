// A short run of the isolation layer's soak (vantrell_bench soak-hooks runs
// it long): installation and removal, cycle after cycle, while threads call
// through the detours and bind and unbind themselves.
#include "bench/hook_soak.h"
#include "isolation/detours.h"
#include "isolation/isolation.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

namespace {

// The long soak also starts threads while the cycles commit; that is left to
// it, because a commit under Wine can wait for good on a thread that is just
// starting (see hook_soak.h).
TEST(IsolationSoak, CyclesUnderCallingThreadsRestoreEveryByteAndAnswerRight) {
    HookSoakFigures f;
    SoakHooks(20, 16, f, {}, false);
    EXPECT_EQ(f.cycles, 20);
    EXPECT_EQ(f.passed, 20) << f.firstFailure;
    EXPECT_EQ(f.failed, 0) << f.firstFailure;
    EXPECT_EQ(f.wrongAnswers, 0u);
    EXPECT_GT(f.calls, 0u);  // the workers did run
    EXPECT_GT(f.bindings, 0u);
}

DWORD WINAPI ReturnThree(void*) { return 3; }

// A thread can be on its way into a detour while the removal is committed
// and arrive after it; the saved entry points then hold the functions
// themselves, no longer detoured, so every detour reaches the system.
TEST(IsolationSoak, ADetourEnteredAfterTheRemovalReachesTheSystem) {
    ASSERT_FALSE(AreEngineHooksAttached());
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    SetCurrentDirectoryW(testing_support::StageFolder().c_str());
    ASSERT_EQ(InstallEngineHooks(IE6, false, false), NO_ERROR);
    ASSERT_EQ(RemoveEngineHooks(), NO_ERROR);
    ASSERT_NE(RealLoadLibraryW, nullptr);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    ASSERT_NE(user32, nullptr);
    EXPECT_EQ(HookedLoadLibraryW(L"user32.dll"), user32);
    EXPECT_EQ(HookedLoadLibraryA("user32.dll"), user32);
    EXPECT_TRUE(HookedFreeLibrary(user32));
    EXPECT_TRUE(HookedFreeLibrary(user32));
    wchar_t text[] = L"user32.dll";
    ISOLATION_UNICODE_STRING name{sizeof(text) - sizeof(wchar_t), sizeof(text), text};
    PVOID found = nullptr;
    EXPECT_EQ(HookedLdrGetDllHandle(nullptr, nullptr, &name, &found), 0);
    EXPECT_EQ(found, user32);
    HKEY key = nullptr;
    ASSERT_EQ(HookedRegOpenKeyW(HKEY_CURRENT_USER, L"Software", &key), ERROR_SUCCESS);
    EXPECT_EQ(HookedRegCloseKey(key), ERROR_SUCCESS);
    IUnknown* table = nullptr;
    EXPECT_EQ(HookedCoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                     reinterpret_cast<void**>(&table)),
              S_OK);
    if (table) table->Release();
    HANDLE thread = HookedCreateThread(nullptr, 0, ReturnThree, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    CloseHandle(thread);
    OleUninitialize();
}

} // namespace
