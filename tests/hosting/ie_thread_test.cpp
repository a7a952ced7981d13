// A tab's engine thread in its two main-process roles, with a window of this
// test standing in for the tab view: in-process (the tab content on the
// thread itself) and proxy (a real child process of the staged program).
#include "hosting/ie_thread.h"
#include "core/messages.h"

#include "isolation/isolation.h"
#include "res/resource_ids.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tab_view.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <string>
#include <vector>

using namespace std::chrono_literals;
using testing_support::DoneEvent;
using testing_support::TestView;
using testing_support::WaitFor;

namespace {

class EngineThread : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        OleInitialize(nullptr);
        SetCurrentDirectoryW(testing_support::StageFolder().c_str());
        EXPECT_EQ(InstallEngineHooks(IE6, false, false), NO_ERROR);
        // Children are the staged program, not this test.
        CIEThread::SetProgramPath(testing_support::StageFolder() + L"vantrell.exe");
    }
    static void TearDownTestSuite() {
        EXPECT_EQ(RemoveEngineHooks(), NO_ERROR);
        OleUninitialize();
    }
};

TEST_F(EngineThread, InProcessRoleHostsTheTabContentBoundToItsVersion) {
    TestView view;
    DoneEvent done;
    auto thread = CIEThread::New(false, false, L"", view.hwnd, IE7, L"http://example.test/first", done.h, view.hwnd);
    ASSERT_TRUE(thread->CreateThread());
    const DWORD id = thread->ThreadId();

    ASSERT_TRUE(WaitFor([&] { return !view.Children().empty(); }, 10s));
    HWND content = view.Children().front();
    EXPECT_EQ(GetWindowThreadProcessId(content, nullptr), id);
    IEVERSION bound = IE4;
    EXPECT_TRUE(IsThreadBound(id, &bound));
    EXPECT_EQ(bound, IE7);
    // The first address reaches the view through the address list.
    ASSERT_TRUE(WaitFor([&] { return !view.Addresses().empty(); }, 5s));
    EXPECT_EQ(view.Addresses().front(), L"http://example.test/first");

    // The size request as two plain numbers.
    PostThreadMessageW(id, WM_SIZE, 300, 200);
    ASSERT_TRUE(WaitFor(
        [&] {
            RECT r{};
            GetWindowRect(content, &r);
            return r.right - r.left == 300 && r.bottom - r.top == 200;
        },
        5s));

    // A navigation hands its string over; the same address in other letters
    // is no new address.
    PostThreadMessageW(id, UWM_TAB_NAVIGATE, NewStringParam<WPARAM>(L"http://example.test/second"), 0);
    PostThreadMessageW(id, UWM_TAB_NAVIGATE, NewStringParam<WPARAM>(L"HTTP://EXAMPLE.TEST/SECOND"), 0);
    PostThreadMessageW(id, UWM_TAB_NAVIGATE, 0, 0);  // null: ignored
    ASSERT_TRUE(WaitFor([&] { return view.Addresses().size() >= 2; }, 5s));
    WaitFor([] { return false; }, 200ms);
    EXPECT_EQ(view.Addresses(), (std::vector<std::wstring>{L"http://example.test/first", L"http://example.test/second"}));

    // WM_CLOSE to the content is ignored; closing the engine ends the thread.
    PostMessageW(content, WM_CLOSE, 0, 0);
    PostThreadMessageW(id, UWM_ENGINE_CLOSE, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return done.Signalled(); }, 10s));
    EXPECT_FALSE(IsThreadBound(id));
}

TEST_F(EngineThread, WaitForEngineThreadsIsTrueOnlyOnceNoInProcessEngineThreadIsLeft) {
    TestView view;
    DoneEvent done;
    auto thread = CIEThread::New(false, false, L"", view.hwnd, IE6, L"about:blank", done.h, view.hwnd);
    ASSERT_TRUE(thread->CreateThread());
    const DWORD id = thread->ThreadId();
    // Running: its tab content is in the view.
    ASSERT_TRUE(WaitFor([&] { return !view.Children().empty(); }, 10s));
    EXPECT_FALSE(CIEThread::WaitForEngineThreads(100));

    PostThreadMessageW(id, UWM_ENGINE_CLOSE, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return done.Signalled(); }, 10s));
    // The done event comes first in the object's end; the count follows.
    EXPECT_TRUE(CIEThread::WaitForEngineThreads(5000));
}

// A proxy thread and the real child process it starts.
struct Proxy {
    Proxy(TestView& view, IEVERSION version, const wchar_t* url, DoneEvent& done) {
        thread = CIEThread::New(true, false, L"", view.hwnd, version, url, done.h, view.hwnd);
        started = thread->CreateThread();
        id = thread->ThreadId();
    }
    // The child process: the owner of the first window of another process
    // inside the view.
    static DWORD ChildOf(const TestView& view) {
        for (HWND c : view.Children()) {
            DWORD pid = 0;
            GetWindowThreadProcessId(c, &pid);
            if (pid != GetCurrentProcessId()) return pid;
        }
        return 0;
    }
    CIEThread* thread = nullptr;
    bool started = false;
    DWORD id = 0;
};

bool ProcessGone(DWORD pid) {
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!h) return true;
    bool gone = WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
    CloseHandle(h);
    return gone;
}

TEST_F(EngineThread, ProxyRoleEmbedsAChildProcessAndRelaysBothWays) {
    TestView view;
    DoneEvent done;
    Proxy proxy(view, IE7, L"http://example.test/start", done);
    ASSERT_TRUE(proxy.started);
    // Posted before the child connects: dropped (its string freed).
    PostThreadMessageW(proxy.id, UWM_TAB_NAVIGATE, NewStringParam<WPARAM>(L"http://example.test/too-early"), 0);

    DWORD child = 0;
    ASSERT_TRUE(WaitFor([&] { return (child = Proxy::ChildOf(view)) != 0; }, 20s));
    HWND content = view.Children().front();
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(content) != FALSE; }, 10s));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(content, IDC_ADDRESS_BOX)));
    // The size and address of the moment of connection arrive.
    RECT client{};
    GetClientRect(view.hwnd, &client);
    ASSERT_TRUE(WaitFor(
        [&] {
            RECT r{};
            GetWindowRect(content, &r);
            return r.right - r.left == client.right && r.bottom - r.top == client.bottom;
        },
        10s));
    ASSERT_TRUE(WaitFor(
        [&] {
            auto a = view.Addresses();
            return std::find(a.begin(), a.end(), L"http://example.test/start") != a.end();
        },
        10s));

    // Later requests cross the pipe; the notification comes back through it.
    PostThreadMessageW(proxy.id, WM_SIZE, 320, 240);
    PostThreadMessageW(proxy.id, UWM_TAB_NAVIGATE, NewStringParam<WPARAM>(L"http://example.test/next"), 0);
    ASSERT_TRUE(WaitFor(
        [&] {
            auto a = view.Addresses();
            return std::find(a.begin(), a.end(), L"http://example.test/next") != a.end();
        },
        10s));
    RECT r{};
    ASSERT_TRUE(WaitFor(
        [&] {
            GetWindowRect(content, &r);
            return r.right - r.left == 320 && r.bottom - r.top == 240;
        },
        10s));
    auto addresses = view.Addresses();
    EXPECT_EQ(std::find(addresses.begin(), addresses.end(), L"http://example.test/too-early"), addresses.end());

    // Closing the engine while the view still holds the child's content: the
    // proxy gives the child its grace period, then ends it.
    PostThreadMessageW(proxy.id, UWM_ENGINE_CLOSE, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return done.Signalled(); }, 15s));
    ASSERT_TRUE(WaitFor([&] { return ProcessGone(child); }, 10s));
    EXPECT_FALSE(view.Got(UWM_TAB_MUST_CLOSE));
}

TEST_F(EngineThread, AChildThatBreaksTheProtocolIsTreatedAsLost) {
    // The "child" sends its page title as a number, where the view would
    // free a string: the tab is given up, nothing of it reaches the view.
    struct ProgramPath {
        ProgramPath() { CIEThread::SetProgramPath(testing_support::StageFolder() + L"pipe_peer.exe"); }
        ~ProgramPath() { CIEThread::SetProgramPath(testing_support::StageFolder() + L"vantrell.exe"); }
    } brokenChild;
    TestView view;
    DoneEvent done;
    Proxy proxy(view, IE7, L"http://example.test/", done);
    ASSERT_TRUE(proxy.started);
    EXPECT_TRUE(WaitFor([&] { return view.Got(UWM_TAB_MUST_CLOSE); }, 20s));
    ASSERT_FALSE(view.Of(UWM_TAB_MUST_CLOSE).empty());
    EXPECT_EQ(view.Of(UWM_TAB_MUST_CLOSE).front().wParam, static_cast<WPARAM>(CLOSE_ENGINE_LOST));
    EXPECT_FALSE(view.Got(UWM_TAB_TITLE));
    // The thread ends (ending the child with it).
    EXPECT_TRUE(WaitFor([&] { return done.Signalled(); }, 15s));
}

TEST_F(EngineThread, Version9TabsRunTheVersion9Executable) {
    TestView view;
    DoneEvent done;
    Proxy proxy(view, IE9, L"http://example.test/nine", done);
    ASSERT_TRUE(proxy.started);
    DWORD child = 0;
    ASSERT_TRUE(WaitFor([&] { return (child = Proxy::ChildOf(view)) != 0; }, 20s));
    ASSERT_TRUE(WaitFor(
        [&] {
            auto a = view.Addresses();
            return std::find(a.begin(), a.end(), L"http://example.test/nine") != a.end();
        },
        10s));
    // The child is the program in the ie9 folder.
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, child);
    ASSERT_NE(h, nullptr);
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    QueryFullProcessImageNameW(h, 0, path, &size);
    CloseHandle(h);
    EXPECT_NE(std::wstring(path).find(L"\\ie9\\vantrell.ie9.exe"), std::wstring::npos) << path;
    DestroyWindow(view.hwnd);
    PostThreadMessageW(proxy.id, UWM_ENGINE_CLOSE, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return ProcessGone(child); }, 15s));
    ASSERT_TRUE(WaitFor([&] { return done.Signalled(); }, 10s));
}

TEST_F(EngineThread, AKilledChildIsReportedAsLost) {
    TestView view;
    DoneEvent done;
    Proxy proxy(view, IE8, L"about:blank", done);
    ASSERT_TRUE(proxy.started);
    DWORD child = 0;
    ASSERT_TRUE(WaitFor([&] { return (child = Proxy::ChildOf(view)) != 0; }, 20s));
    HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, child);
    ASSERT_NE(h, nullptr);
    TerminateProcess(h, 7);
    WaitForSingleObject(h, 5000);
    CloseHandle(h);
    ASSERT_TRUE(WaitFor([&] { return view.Got(UWM_TAB_MUST_CLOSE); }, 10s));
    for (const auto& m : view.received) {
        if (m.message == UWM_TAB_MUST_CLOSE) {
            EXPECT_EQ(m.wParam, static_cast<WPARAM>(CLOSE_ENGINE_LOST));
        }
    }
    ASSERT_TRUE(WaitFor([&] { return done.Signalled(); }, 10s));
}

TEST_F(EngineThread, DestroyingTheViewEndsTheChild) {
    DoneEvent done;
    DWORD child = 0;
    DWORD proxyId = 0;
    {
        TestView view;
        Proxy proxy(view, IE55, L"about:blank", done);
        ASSERT_TRUE(proxy.started);
        proxyId = proxy.id;
        ASSERT_TRUE(WaitFor([&] { return (child = Proxy::ChildOf(view)) != 0; }, 20s));
        // The view goes (its window destroys the child's content with it),
        // then tells its engine to close, as a closing tab does.
        DestroyWindow(view.hwnd);
    }
    PostThreadMessageW(proxyId, UWM_ENGINE_CLOSE, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return ProcessGone(child); }, 15s));
    ASSERT_TRUE(WaitFor([&] { return done.Signalled(); }, 10s));
}

TEST_F(EngineThread, AChildThatCannotStartIsReportedWithTheSystemsReasonAndTheTabCloses) {
    // A program that is not there, and a file that is there but is no
    // program: both are launch errors with the system's reason, never a
    // lost tab (which would offer to reopen it, and fail again).
    testing_support::TempDir folder;
    const std::wstring notAProgram = folder.Path() + L"\\not-a-program.exe";
    {
        fw::UniqueHandle file(CreateFileW(notAProgram.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file.valid());
        DWORD written = 0;
        WriteFile(file.get(), "just text\r\n", 11, &written, nullptr);
    }
    const struct {
        std::wstring program;
        const wchar_t* reason;
    } cases[] = {{testing_support::StageFolder() + L"no-such-program.exe", L"(2)"}, {notAProgram, nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program);
        TestView view;
        DoneEvent done;
        CIEThread::SetProgramPath(c.program);
        Proxy proxy(view, IE7, L"about:blank", done);
        ASSERT_TRUE(proxy.started);
        // The error is a message box of this process, owned by the view. The
        // box's window exists a moment before its text does: wait for both.
        HWND box = nullptr;
        ASSERT_TRUE(WaitFor(
            [&] {
                auto boxes = testing_support::TopLevelWindows(GetCurrentProcessId(), L"#32770");
                box = boxes.empty() ? nullptr : boxes.front();
                return box != nullptr && !testing_support::MessageBoxText(box).empty();
            },
            10s));
        CIEThread::SetProgramPath(testing_support::StageFolder() + L"vantrell.exe");
        // The fixed text, then the system's reason with its error code.
        const std::wstring text = testing_support::MessageBoxText(box);
        EXPECT_EQ(text.rfind(L"Error when launching sub-process (2)\n\nCreateProcess: ", 0), 0u) << text;
        if (c.reason) {
            EXPECT_NE(text.find(c.reason, 40), std::wstring::npos) << text;  // ERROR_FILE_NOT_FOUND
        }
        EXPECT_GT(text.size(), 52u) << "the system's reason follows";
        EXPECT_EQ(GetWindow(box, GW_OWNER), view.hwnd);
        EXPECT_EQ(testing_support::WindowText(box), L"Vantrell");
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(WaitFor([&] { return view.Got(UWM_TAB_MUST_CLOSE); }, 10s));
        for (const auto& m : view.received) {
            if (m.message == UWM_TAB_MUST_CLOSE) {
                EXPECT_EQ(m.wParam, static_cast<WPARAM>(CLOSE_LAUNCH_FAILED));
            }
        }
        ASSERT_TRUE(WaitFor([&] { return done.Signalled(); }, 10s));
    }
}

TEST(ChildCommandLine, Form) {
    HWND view = reinterpret_cast<HWND>(static_cast<UINT_PTR>(0x1A2B));
    EXPECT_EQ(CIEThread::ChildCommandLine(L"C:\\V\\vantrell.exe", L"3F2", IE55, view),
              L"\"C:\\V\\vantrell.exe\" -pcode=3F2_ie55_1A2B");
    EXPECT_EQ(CIEThread::ChildCommandLine(L"C:\\V\\ie9\\vantrell.ie9.exe", L"AB", IE9, view),
              L"\"C:\\V\\ie9\\vantrell.ie9.exe\" -pcode=AB_ie9_1A2B");
    EXPECT_EQ(CIEThread::ChildCommandLine(L"x.exe", L"AB", IEDefault, view), L"\"x.exe\" -pcode=AB_ieD_1A2B");
}

} // namespace
