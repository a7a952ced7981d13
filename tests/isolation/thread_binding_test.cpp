// What the detours ask first on every call: the calling thread's binding
// (kept in a record the thread finds through a TLS slot) and whether a name
// is an engine file's name at all.
#include "isolation_support.h"

#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>

using namespace isolation_test;
using namespace std::literals;

namespace {

class ThreadBinding : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        OleInitialize(nullptr);
        SetCurrentDirectoryW(testing_support::StageFolder().c_str());
        EXPECT_EQ(InstallEngineHooks(IE6, false, false), NO_ERROR);
    }
    static void TearDownTestSuite() {
        EXPECT_EQ(RemoveEngineHooks(), NO_ERROR);
        OleUninitialize();
    }
};

// A thread that takes steps when told and reports what it saw.
struct Stepper {
    HANDLE go = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    IEENGINE* seen[4] = {};
    ~Stepper() {
        CloseHandle(go);
        CloseHandle(done);
    }
    static DWORD WINAPI Main(void* p) {
        auto s = static_cast<Stepper*>(p);
        for (int step = 0; step < 4; ++step) {
            if (WaitForSingleObject(s->go, 10000) != WAIT_OBJECT_0) return 1;
            if (step == 3) UnbindCurrentThread();
            s->seen[step] = GetCurrentEngine();
            SetEvent(s->done);
        }
        return 0;
    }
    bool Step() {
        SetEvent(go);
        return WaitForSingleObject(done, 10000) == WAIT_OBJECT_0;
    }
};

TEST_F(ThreadBinding, AThreadSeesBindingsMadeForItByAnotherThreadAfterItHasLookedItselfUp) {
    Stepper s;
    DWORD id = 0;
    HANDLE thread = RealCreateThread(nullptr, 0, Stepper::Main, &s, 0, &id);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(s.Step());  // looks itself up unbound
    ASSERT_TRUE(BindThreadToVersion(id, IE7));
    ASSERT_TRUE(s.Step());
    ASSERT_TRUE(BindThreadToVersion(id, IE8));
    ASSERT_TRUE(s.Step());
    ASSERT_TRUE(s.Step());  // unbinds itself
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(s.seen[0], nullptr);
    EXPECT_EQ(s.seen[1], &g_engines[IE7]);
    EXPECT_EQ(s.seen[2], &g_engines[IE8]);
    EXPECT_EQ(s.seen[3], nullptr);
}

DWORD WINAPI LookUpTwice(void* p) {
    auto errors = static_cast<DWORD*>(p);
    for (DWORD i = 0; i < 2; ++i) {
        SetLastError(54321 + i);
        if (GetCurrentEngine() != nullptr) return 1;
        errors[i] = GetLastError();
    }
    return 0;
}

TEST_F(ThreadBinding, TheLookupLeavesTheLastErrorAlone) {
    OnThread(IE7, [] {
        SetLastError(12345);
        EXPECT_EQ(GetCurrentEngine(), &g_engines[IE7]);
        EXPECT_EQ(GetLastError(), 12345u);
    });
    // A thread nobody bound: its first lookup, which finds no record yet,
    // and a later one.
    DWORD errors[2] = {};
    HANDLE thread = RealCreateThread(nullptr, 0, LookUpTwice, errors, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    DWORD code = 1;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(errors[0], 54321u);
    EXPECT_EQ(errors[1], 54322u);
}

using LdrGetDllHandleFn = LONG(NTAPI*)(PWSTR, PULONG, ISOLATION_UNICODE_STRING*, PVOID*);

struct LookupCase {
    std::wstring_view buffer;  // what the counted string's buffer holds
    USHORT units;              // its counted length
    HMODULE IEENGINE::*field;  // null: the system answers
};

TEST_F(ThreadBinding, ModuleLookupsMatchEngineNamesExactlyIgnoringCase) {
    const LookupCase cases[] = {
        {L"MsHtMl.DlL"sv, 10, &IEENGINE::hMshtml},
        {L"mshtmled"sv, 8, &IEENGINE::hMshtmled},
        {L"VBSCRIPT.dll"sv, 12, &IEENGINE::hVbscript},
        {L"mshtml\0.dll"sv, 11, &IEENGINE::hMshtml},  // the name ends at its first 0
        {L"urlmon.dllXYZ"sv, 10, &IEENGINE::hUrlmon},  // counted, not terminated
        {L"urlmon.dl"sv, 9, nullptr},
        {L"mshtml.dlll"sv, 11, nullptr},
        {L"xmshtml"sv, 7, nullptr},
        {L"user32.dll"sv, 10, nullptr},  // the length and first letter of urlmon.dll
        {L"msvcrt.dll"sv, 10, nullptr},  // ... and of mshtml.dll
        {L""sv, 0, nullptr},
    };
    auto ldr = reinterpret_cast<LdrGetDllHandleFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "LdrGetDllHandle")));
    ASSERT_NE(ldr, nullptr);
    ASSERT_NE(RealLdrGetDllHandle, nullptr);
    OnThread(IE7, [&] {
        for (const LookupCase& c : cases) {
            wchar_t text[16] = {};
            std::copy(c.buffer.begin(), c.buffer.end(), text);
            const std::wstring shown(c.buffer.substr(0, c.units));
            ISOLATION_UNICODE_STRING name{static_cast<USHORT>(c.units * sizeof(wchar_t)), sizeof(text), text};
            PVOID found = reinterpret_cast<PVOID>(1);
            const LONG status = ldr(nullptr, nullptr, &name, &found);
            if (c.field) {
                EXPECT_EQ(status, 0) << shown;
                EXPECT_EQ(found, g_engines[IE7].*c.field) << shown;
            } else {
                PVOID system = reinterpret_cast<PVOID>(1);
                EXPECT_EQ(status, RealLdrGetDllHandle(nullptr, nullptr, &name, &system)) << shown;
                EXPECT_EQ(found, system) << shown;
            }
        }
        // Loads of a name of the same length and first letter as a redirected one.
        HMODULE user32 = GetModuleHandleW(L"user32.dll");
        ASSERT_NE(user32, nullptr);
        EXPECT_EQ(LoadLibraryW(L"USER32.DLL"), user32);
        EXPECT_EQ(LoadLibraryA("user32.dll"), user32);
        FreeLibrary(user32);
        FreeLibrary(user32);
    });
}

} // namespace
