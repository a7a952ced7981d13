// The release check and the About box of the real program, seen from
// outside. The program reaches the maker's site through WinINet with the
// system's proxy settings; the tests point those settings of the test
// prefix at a loopback server for the time of one test, so the program's
// requests for the release-check address arrive there.
#include <winsock2.h>

#include "core/locations.h"
#include "core/settings.h"
#include "framework/profile.h"
#include "framework/strings.h"
#include "res/resource_ids.h"
#include "shell/release_check.h"
#include "tests/support/process.h"

#include "engines/browser/tests/http_server.h"


#include <atomic>
#include <ctime>
#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono_literals;
using testing_support::HttpServer;
using testing_support::Launch;
using testing_support::MessageBoxText;
using testing_support::Process;
using testing_support::TopLevelWindows;
using testing_support::WaitFor;
using testing_support::WindowText;

namespace {

// The request line's target of a request made through a proxy: the whole
// address. Wine's WinINet writes the default port into it.
const std::string kCheckPath = fw::ToNarrow(kReleaseCheckAddress);

std::string WithoutDefaultPort(std::string target) {
    const size_t port = target.find(":80/");
    if (port != std::string::npos) target.erase(port, 3);
    return target;
}

// The release-check answer of `server`, with or without the port.
void ServeCheck(HttpServer& server, int status, const std::string& body) {
    const std::string withPort = fw::ToNarrow(L"http://" VANTRELL_SITE_HOST L":80/vantrell/checkversion.php");
    server.Serve(kCheckPath, status, "text/plain", body);
    server.Serve(withPort, status, "text/plain", body);
}
constexpr const wchar_t* kInternetSettings = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// Sets the prefix's proxy to 127.0.0.1:port for the scope and puts back
// what was there.
class ProxyOverride {
public:
    explicit ProxyOverride(int port)
        : m_enable(kInternetSettings, L"ProxyEnable", DWORD{1}),
          m_server(kInternetSettings, L"ProxyServer", L"127.0.0.1:" + std::to_wstring(port)) {}

private:
    testing_support::ScopedRegistryValue m_enable, m_server;
};

// A server on 127.0.0.1 that accepts connections, reads the requests and
// never answers, until destroyed.
class SilentServer {
public:
    SilentServer() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        m_listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        listen(m_listener, 8);
        int length = sizeof(address);
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] {
            std::vector<SOCKET> held;
            while (!m_stop) {
                fd_set readable;
                FD_ZERO(&readable);
                FD_SET(m_listener, &readable);
                timeval wait{0, 50 * 1000};
                if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
                SOCKET client = accept(m_listener, nullptr, nullptr);
                if (client != INVALID_SOCKET) {
                    held.push_back(client);
                    ++m_accepted;
                }
            }
            for (SOCKET s : held) closesocket(s);
        });
    }
    ~SilentServer() {
        m_stop = true;
        m_thread.join();
        closesocket(m_listener);
        WSACleanup();
    }
    int Port() const { return m_port; }
    int Accepted() const { return m_accepted; }

private:
    SOCKET m_listener = INVALID_SOCKET;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_accepted{0};
    std::thread m_thread;
};

// The staged program's own version string, as it computes it.
std::wstring StagedVersion() {
    DWORD ms = 0, ls = 0;
    if (!ReadProductVersion(testing_support::StageFolder() + L"vantrell.exe", ms, ls)) return {};
    return FormatProductVersion(ms, ls);
}

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(towupper(c));
    return text;
}

class ReleaseCheck : public ::testing::Test {
protected:
    void SetUp() override {
        profile.SetRegistryKey(L"Brenmoor", L"Vantrell");
        RegDeleteTreeW(HKEY_CURRENT_USER, profile.KeyPath().c_str());
        ASSERT_TRUE(profile.WriteString(setting::kSection, setting::kHomePage, L"about:blank"));
        version = StagedVersion();
        ASSERT_FALSE(version.empty());
    }
    void TearDown() override {
        CloseBoxes();
        if (main && IsWindow(main)) PostMessageW(main, WM_CLOSE, 0, 0);
        if (program.process) program.WaitForExit(15000);
        RegDeleteTreeW(HKEY_CURRENT_USER, profile.KeyPath().c_str());
    }
    // A recent "LastVersionCheck", so that the start itself checks nothing.
    void SkipWeeklyCheck() {
        ASSERT_TRUE(profile.WriteString(setting::kSection, setting::kLastVersionCheck,
                                        std::to_wstring(static_cast<long>(time(nullptr)))));
    }
    void Start() {
        ASSERT_TRUE(Launch(program, L"vantrell.exe", L""));
        ASSERT_TRUE(WaitFor(
            [&] {
                for (HWND h : TopLevelWindows(program.id, L"fw.FrameWnd"))
                    if (IsWindowVisible(h)) main = h;
                return main != nullptr;
            },
            20s));
    }
    struct Box {
        HWND window = nullptr;
        std::wstring text, caption;
        bool has(int id) const { return GetDlgItem(window, id) != nullptr; }
    };
    // The next message box of the program, within `timeout`.
    Box NextBox(std::chrono::milliseconds timeout = 20s) {
        Box box;
        WaitFor(
            [&] {
                for (HWND w : TopLevelWindows(program.id, L"#32770"))
                    if (IsWindowVisible(w) && !MessageBoxText(w).empty()) box.window = w;
                return box.window != nullptr;
            },
            timeout);
        if (box.window) {
            box.text = MessageBoxText(box.window);
            box.caption = WindowText(box.window);
        }
        return box;
    }
    void Answer(const Box& box, int button) {
        PostMessageW(box.window, WM_COMMAND, static_cast<WPARAM>(button), 0);
        WaitFor([&] { return !IsWindow(box.window); }, 10s);
    }
    void CloseBoxes() {
        if (!program.id) return;
        for (HWND w : TopLevelWindows(program.id, L"#32770"))
            if (IsWindowVisible(w)) PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
    }
    int Requests(const HttpServer& server) {
        int n = 0;
        for (const auto& request : server.Requests()) n += WithoutDefaultPort(request.path) == kCheckPath;
        return n;
    }
    // Every request target the server saw, for failure messages.
    std::string Paths(const HttpServer& server) {
        std::string out;
        for (const auto& request : server.Requests()) out += request.method + " " + request.path + "\n";
        return out;
    }
    // Whether the main window answers a message within a second.
    bool Responds() {
        DWORD_PTR result = 0;
        return SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result) != 0;
    }
    std::wstring Text(UINT id) {
        wchar_t buffer[512] = {};
        LoadStringW(GetModuleHandleW(nullptr), id, buffer, 512);
        return buffer;
    }

    fw::Profile profile;
    std::wstring version;
    Process program;
    HWND main = nullptr;
};

TEST_F(ReleaseCheck, CheckOnDemandComparesTheAnswerExactlyWithTheProgramsVersion) {
    HttpServer server;
    ProxyOverride proxy(server.Port());
    SkipWeeklyCheck();
    Start();
    EXPECT_EQ(Requests(server), 0) << "a recent weekly check is not repeated";

    struct Case {
        std::string answer;
        std::wstring expected;
        int buttons;
    };
    const std::wstring latest = Text(IDS_LATEST_VERSION), newer = Text(IDS_NEW_VERSION_AVAILABLE);
    const Case cases[] = {
        {fw::ToNarrow(version), latest, IDOK},
        {"99.1", newer, IDYES},
        // Letter case and a trailing line break make another version.
        {fw::ToNarrow(Upper(version + L"-beta")), newer, IDYES},
        {fw::ToNarrow(version) + "\r\n", newer, IDYES},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        ServeCheck(server, 200, c.answer);
        const int before = Requests(server);
        PostMessageW(main, WM_COMMAND, ID_CHECK_VERSION, 0);
        Box box = NextBox();
        ASSERT_NE(box.window, nullptr);
        EXPECT_EQ(box.text, c.expected);
        EXPECT_EQ(box.caption, L"Vantrell");
        EXPECT_EQ(GetWindow(box.window, GW_OWNER), main);
        if (c.buttons == IDYES) {
            EXPECT_TRUE(box.has(IDYES) && box.has(IDNO));
            Answer(box, IDNO);  // Yes would open the product page in a browser
        } else {
            EXPECT_FALSE(box.has(IDYES));
            Answer(box, IDOK);
        }
        EXPECT_EQ(Requests(server), before + 1) << Paths(server);
    }
}

TEST_F(ReleaseCheck, GarbageHugeEmptyAndErrorAnswersEndInAMessageAndTheProgramGoesOn) {
    HttpServer server;
    ProxyOverride proxy(server.Port());
    SkipWeeklyCheck();
    Start();
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 37 + 11) & 0xFF);
    struct Case {
        const char* name;
        int status;
        std::string body;
        UINT expected;
    };
    const Case cases[] = {
        {"binary garbage", 200, garbage, IDS_NEW_VERSION_AVAILABLE},
        {"2 MB of text", 200, std::string(2 * 1024 * 1024, 'x'), IDS_NEW_VERSION_AVAILABLE},
        {"empty", 200, "", IDS_VERSION_INFO_UNAVAILABLE},
        {"not found", 404, fw::ToNarrow(version), IDS_VERSION_INFO_UNAVAILABLE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ServeCheck(server, c.status, c.body);
        PostMessageW(main, WM_COMMAND, ID_CHECK_VERSION, 0);
        Box box = NextBox();
        ASSERT_NE(box.window, nullptr);
        EXPECT_EQ(box.text, Text(c.expected));
        Answer(box, box.has(IDNO) ? IDNO : IDOK);
        EXPECT_TRUE(Responds());
    }
    PostMessageW(main, WM_CLOSE, 0, 0);
    DWORD code = 1234;
    EXPECT_TRUE(program.WaitForExit(15000, &code));
    EXPECT_EQ(code, 0u);
}

TEST_F(ReleaseCheck, ASilentServerNeitherFreezesTheWindowNorKeepsTheCheckWaitingForever) {
    SilentServer server;
    ProxyOverride proxy(server.Port());
    SkipWeeklyCheck();
    Start();
    const auto start = std::chrono::steady_clock::now();
    PostMessageW(main, WM_COMMAND, ID_CHECK_VERSION, 0);
    ASSERT_TRUE(WaitFor([&] { return server.Accepted() > 0; }, 10s));
    // The window answers while the check waits for the server.
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(Responds());
        EXPECT_EQ(NextBox(500ms).window, nullptr) << "no answer yet";
    }
    Box box = NextBox(60s);
    ASSERT_NE(box.window, nullptr) << "the check gave up";
    EXPECT_EQ(box.text, Text(IDS_VERSION_INFO_UNAVAILABLE));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 45s);
    Answer(box, IDOK);
}

TEST_F(ReleaseCheck, TheWeeklyCheckAsksAtStartOnlyWhenAWeekHasPassedAndTheVersionDiffers) {
    HttpServer server;
    ProxyOverride proxy(server.Port());
    ServeCheck(server, 200, "99.1");

    // First start: no stored time. The check runs and asks with OK and Cancel.
    const long before = static_cast<long>(time(nullptr));
    Start();
    Box box = NextBox();
    ASSERT_NE(box.window, nullptr);
    EXPECT_EQ(box.text, Text(IDS_NEW_VERSION_AVAILABLE));
    EXPECT_EQ(box.caption, L"Vantrell");
    EXPECT_TRUE(box.has(IDOK) && box.has(IDCANCEL));
    EXPECT_FALSE(box.has(IDYES));
    Answer(box, IDCANCEL);
    EXPECT_EQ(Requests(server), 1);
    const long stored = wcstol(profile.GetString(setting::kSection, setting::kLastVersionCheck).c_str(), nullptr, 10);
    EXPECT_GE(stored, before);
    EXPECT_LE(stored, static_cast<long>(time(nullptr)));
    PostMessageW(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(program.WaitForExit(15000));
    main = nullptr;

    // Six days later: nothing is asked of the server.
    auto startAfter = [&](long seconds) {
        ASSERT_TRUE(profile.WriteString(setting::kSection, setting::kLastVersionCheck,
                                        std::to_wstring(static_cast<long>(time(nullptr)) - seconds)));
        Start();
    };
    startAfter(6 * 86400);
    EXPECT_EQ(NextBox(4s).window, nullptr);
    EXPECT_EQ(Requests(server), 1);
    PostMessageW(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(program.WaitForExit(15000));
    main = nullptr;

    // Eight days later, with the same version in other letters: the check
    // runs and, letter case aside, finds nothing new.
    ServeCheck(server, 200, fw::ToNarrow(Upper(version)));
    startAfter(8 * 86400);
    ASSERT_TRUE(WaitFor([&] { return Requests(server) == 2; }, 20s));
    EXPECT_EQ(NextBox(4s).window, nullptr);
}

TEST(WeeklyReleaseCheck, IsDueOnlyMoreThanSevenDaysAfterTheStoredTimeOrWhenThatTimeIsUnusable) {
    const time_t now = 1800000000;
    const struct {
        std::wstring stored;
        bool due;
    } cases[] = {
        {L"", true},
        {L"not a number", true},
        {std::to_wstring(now - 604800), false},  // exactly seven days
        {std::to_wstring(now - 604801), true},
        {std::to_wstring(now - 6 * 86400), false},
        {std::to_wstring(now), false},
        {std::to_wstring(now + 3600), true},  // ahead of the clock
    };
    for (const auto& c : cases) EXPECT_EQ(IsWeeklyCheckDue(c.stored, now), c.due) << fw::ToNarrow(c.stored);
}

TEST_F(ReleaseCheck, TheAboutBoxShowsTheVersionAsALinkToTheProductPage) {
    SkipWeeklyCheck();
    Start();
    PostMessageW(main, WM_COMMAND, ID_ABOUT, 0);
    HWND about = nullptr;
    ASSERT_TRUE(WaitFor(
        [&] {
            for (HWND w : TopLevelWindows(program.id, L"#32770"))
                if (IsWindowVisible(w) && GetDlgItem(w, IDC_VERSION_LINK)) about = w;
            return about != nullptr;
        },
        15s));
    EXPECT_EQ(WindowText(about), Text(IDS_ABOUT_TITLE));
    EXPECT_EQ(WindowText(GetDlgItem(about, IDC_VERSION_LINK)),
              std::wstring(L"<a href=\"") + kProductPageAddress + L"\">Vantrell v" + version + L"</a>");
    EXPECT_EQ(GetWindow(about, GW_OWNER), main);
    EXPECT_FALSE(IsWindowEnabled(main)) << "modal";
    PostMessageW(about, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(about); }, 10s));
    EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(main) != FALSE; }, 5s));
}

} // namespace
