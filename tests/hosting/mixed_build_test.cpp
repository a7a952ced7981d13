// A tab whose child process is the program of the other build: this test
// program's proxy thread (64-bit in the x86_64 build, 32-bit in the i686
// build) starts the other build's staged vantrell.exe with "-pcode=" and the
// two talk over one pipe. The page's title and address must reach the view,
// a navigation and a size must reach the child, and closing the engine must
// end the child. Pages come from a loopback server, which shows that the
// child's own engine fetched them.
//
// A child takes its engine files from the current directory it inherits
// (the program makes its own folder current before it starts children), so
// this test makes the other build's stage its current directory.
//
// Built with VANTRELL_OTHER_STAGE (the other build's stage folder) and
// VANTRELL_I686_SUPPORT_FILE (scripts/install-deps.sh writes there "yes" or
// the reason 32-bit programs cannot run on the machine), both as Linux paths.
#include "hosting/ie_thread.h"

#include "engines/browser/tests/http_server.h"
#include "tests/support/process.h"
#include "tests/support/tab_view.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using testing_support::DoneEvent;
using testing_support::TestView;
using testing_support::WaitFor;

namespace {

// A Linux path as Wine's drive Z: shows it.
std::wstring OnDriveZ(const char* linuxPath) {
    std::wstring out = L"Z:";
    for (const char* p = linuxPath; *p; ++p) out += *p == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return out;
}

// "yes", or why 32-bit programs cannot run here.
std::string I686Support() {
    FILE* in = _wfopen(OnDriveZ(VANTRELL_I686_SUPPORT_FILE).c_str(), L"rb");
    if (!in) return std::string("unknown: ") + VANTRELL_I686_SUPPORT_FILE + " is missing (scripts/install-deps.sh writes it)";
    char buffer[512] = {};
    const size_t size = fread(buffer, 1, sizeof(buffer) - 1, in);
    fclose(in);
    std::string line(buffer, size);
    line = line.substr(0, line.find('\n'));
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
}

bool IsWow64(HANDLE process) {
    BOOL wow64 = FALSE;
    return IsWow64Process(process, &wow64) && wow64;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

std::string AgentOf(const testing_support::HttpServer& server, const std::string& path) {
    std::string agent;
    for (const auto& r : server.Requests())
        if (r.path == path) {
            auto it = r.headers.find("user-agent");
            if (it != r.headers.end()) agent = it->second;
        }
    return agent;
}

bool ProcessGone(DWORD pid) {
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!h) return true;
    const bool gone = WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
    CloseHandle(h);
    return gone;
}

// The child process: the owner of the first window of another process
// inside the view.
DWORD ChildOf(const TestView& view) {
    for (HWND c : view.Children()) {
        DWORD pid = 0;
        GetWindowThreadProcessId(c, &pid);
        if (pid != GetCurrentProcessId()) return pid;
    }
    return 0;
}

// The programs this test started that still run, with their file names
// (Wine's own, like the desktop's explorer.exe that the first window of a
// session starts, are left alone).
struct ChildProcess {
    DWORD pid;
    std::wstring name;
};
std::vector<ChildProcess> OwnChildren() {
    std::vector<ChildProcess> out;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return out;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (entry.th32ParentProcessID == GetCurrentProcessId() && _wcsicmp(entry.szExeFile, L"vantrell.exe") == 0 &&
            !ProcessGone(entry.th32ProcessID))
            out.push_back({entry.th32ProcessID, entry.szExeFile});
    CloseHandle(snapshot);
    return out;
}

// What the children show in message boxes, for a failure's message.
std::string ChildMessageBoxes() {
    std::string out;
    for (const ChildProcess& child : OwnChildren())
        for (HWND box : testing_support::TopLevelWindows(child.pid, L"#32770")) {
            const std::wstring text = testing_support::MessageBoxText(box);
            out += " [child " + std::to_string(child.pid) + " shows: " + std::string(text.begin(), text.end()) + "]";
        }
    return out.empty() ? " [no child shows a message box]" : out;
}

bool HasAddress(const TestView& view, const std::wstring& url) {
    auto a = view.Addresses();
    return std::find(a.begin(), a.end(), url) != a.end();
}

class MixedBuilds : public ::testing::Test {
protected:
    static void SetUpTestSuite() { OleInitialize(nullptr); }
    static void TearDownTestSuite() { OleUninitialize(); }

    void SetUp() override {
        const std::string support = I686Support();
        if (support != "yes")
            GTEST_SKIP() << "NOT RUN: 32-bit programs cannot run on this machine (" << support
                         << "), so no child of the other build can start";
        otherProgram = OnDriveZ(VANTRELL_OTHER_STAGE) + L"vantrell.exe";
        ASSERT_NE(GetFileAttributesW(otherProgram.c_str()), INVALID_FILE_ATTRIBUTES)
            << "the other build's program is missing; scripts/test.sh builds both targets";
        CIEThread::SetProgramPath(otherProgram);
        SetCurrentDirectoryW(OnDriveZ(VANTRELL_OTHER_STAGE).c_str());
        server.Serve("/first.html", 200, "text/html", "<html><head><title>First page</title></head><body>1</body></html>");
        server.Serve("/second.html", 200, "text/html", "<html><head><title>Second page</title></head><body>2</body></html>");
    }
    void TearDown() override {
        // A child left behind (by a failed check) would hold the test's
        // output open.
        for (const ChildProcess& child : OwnChildren()) {
            ADD_FAILURE() << "child " << child.pid << " (" << testing::PrintToString(child.name)
                          << ") was still running; ended";
            if (HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, child.pid)) {
                TerminateProcess(h, 9);
                WaitForSingleObject(h, 10000);
                CloseHandle(h);
            }
        }
        CIEThread::SetProgramPath(testing_support::StageFolder() + L"vantrell.exe");
        SetCurrentDirectoryW(testing_support::StageFolder().c_str());
    }

    std::wstring otherProgram;
    testing_support::HttpServer server;
};

TEST_F(MixedBuilds, AChildOfTheOtherBuildShowsTitleAndAddressFollowsANavigationAndCloses) {
    TestView view;
    DoneEvent done;
    const std::wstring first = server.Url("/first.html");
    auto thread = CIEThread::New(true, false, L"", view.hwnd, IE7, first.c_str(), done.h, view.hwnd);
    ASSERT_TRUE(thread->CreateThread());
    const DWORD proxy = thread->ThreadId();

    // A child of the other build starts (slowly where it is emulated).
    DWORD child = 0;
    ASSERT_TRUE(WaitFor([&] { return (child = ChildOf(view)) != 0; }, 60s)) << ChildMessageBoxes();
    {
        HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, child);
        ASSERT_NE(h, nullptr);
        wchar_t path[MAX_PATH] = {};
        DWORD size = MAX_PATH;
        EXPECT_TRUE(QueryFullProcessImageNameW(h, 0, path, &size));
        EXPECT_TRUE(SameText(path, otherProgram)) << "child: " << testing::PrintToString(std::wstring(path));
        // One of the two runs as a 32-bit process on the 64-bit system.
        EXPECT_NE(IsWow64(h), IsWow64(GetCurrentProcess()));
        CloseHandle(h);
    }

    // The first page's address and title come back over the pipe; the
    // child's own version-7 engine fetched it.
    ASSERT_TRUE(WaitFor([&] { return view.Got(UWM_TAB_TITLE, L"First page"); }, 60s));
    EXPECT_TRUE(HasAddress(view, first));
    EXPECT_NE(AgentOf(server, "/first.html").find("MSIE 7.0"), std::string::npos) << AgentOf(server, "/first.html");

    // A navigation crosses the pipe to the child.
    const std::wstring second = server.Url("/second.html");
    WPARAM heap = NewStringParam<WPARAM>(second);
    if (!PostThreadMessageW(proxy, UWM_TAB_NAVIGATE, heap, 0)) TakeStringParam(heap);
    ASSERT_TRUE(WaitFor([&] { return view.Got(UWM_TAB_TITLE, L"Second page"); }, 30s));
    EXPECT_TRUE(HasAddress(view, second));
    EXPECT_FALSE(AgentOf(server, "/second.html").empty());

    // So does a size (two numbers packed into one).
    HWND content = view.Children().front();
    PostThreadMessageW(proxy, WM_SIZE, 320, 240);
    EXPECT_TRUE(WaitFor(
        [&] {
            RECT r{};
            GetWindowRect(content, &r);
            return r.right - r.left == 320 && r.bottom - r.top == 240;
        },
        20s));

    // Closing the engine ends the thread and the child, which is no lost tab.
    PostThreadMessageW(proxy, UWM_ENGINE_CLOSE, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return done.Signalled(); }, 30s));
    EXPECT_TRUE(WaitFor([&] { return ProcessGone(child); }, 20s));
    EXPECT_FALSE(view.Got(UWM_TAB_MUST_CLOSE));
}

TEST_F(MixedBuilds, AKilledChildOfTheOtherBuildIsReportedAsLost) {
    TestView view;
    DoneEvent done;
    auto thread = CIEThread::New(true, false, L"", view.hwnd, IE8, L"about:blank", done.h, view.hwnd);
    ASSERT_TRUE(thread->CreateThread());
    DWORD child = 0;
    ASSERT_TRUE(WaitFor([&] { return (child = ChildOf(view)) != 0; }, 60s)) << ChildMessageBoxes();
    HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, child);
    ASSERT_NE(h, nullptr);
    TerminateProcess(h, 7);
    WaitForSingleObject(h, 10000);
    CloseHandle(h);
    ASSERT_TRUE(WaitFor([&] { return view.Got(UWM_TAB_MUST_CLOSE); }, 20s));
    EXPECT_EQ(view.Of(UWM_TAB_MUST_CLOSE).front().wParam, static_cast<WPARAM>(CLOSE_ENGINE_LOST));
    ASSERT_TRUE(WaitFor([&] { return done.Signalled(); }, 20s));
}

} // namespace
