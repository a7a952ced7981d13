// The tab content hosting its version's WebBrowser control: on a bound
// engine thread of this process, and in a real child process of the staged
// program, with a window of this test standing in for the tab view. Pages
// come from a loopback server, which shows which engine fetched them.
#include "hosting/ie_thread.h"
#include "core/messages.h"

#include "browser/dialog_wb_container.h"

#include "browser/window_external.h"

#include "core/settings.h"
#include "engines/browser/tests/http_server.h"
#include "interception/interception.h"
#include "framework/profile.h"
#include "isolation/isolation.h"
#include "tests/support/process.h"
#include "tests/support/tab_view.h"

#include "res/resource_ids.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <objidl.h>
#include <gdiplus.h>

#include <functional>
#include <future>

#include <string>
#include <vector>

using namespace std::chrono_literals;
using testing_support::DoneEvent;
using testing_support::TestView;
using testing_support::WaitFor;

namespace {

// One tab: its engine thread in the in-process or the proxy role.
struct Tab {
    Tab(TestView& view, IEVERSION version, const std::wstring& url, bool childProcess) : view(view) {
        thread = CIEThread::New(childProcess, false, L"", view.hwnd, version, url.c_str(), done.h, view.hwnd);
        started = thread->CreateThread();
        id = thread->ThreadId();
    }
    // As a tab closes: the view's window goes (and the content inside it),
    // then the engine thread is told to end.
    ~Tab() {
        if (IsWindow(view.hwnd)) DestroyWindow(view.hwnd);
        PostThreadMessageW(id, UWM_ENGINE_CLOSE, 0, 0);
        WaitFor([&] { return done.Signalled(); }, 15s);
    }
    void Navigate(const std::wstring& url) {
        WPARAM heap = NewStringParam<WPARAM>(url);
        if (!PostThreadMessageW(id, UWM_TAB_NAVIGATE, heap, 0)) TakeStringParam(heap);
    }
    TestView& view;
    DoneEvent done;
    CIEThread* thread = nullptr;
    bool started = false;
    DWORD id = 0;
};

const char* UserAgentMark(IEVERSION v) {
    switch (v) {
    case IE55: return "MSIE 5.5";
    case IE6: return "MSIE 6.0";
    case IE7: return "MSIE 7.0";
    case IE8: return "MSIE 8.0";
    default: return "";
    }
}

// The user agent of the last request for `path`.
std::string AgentOf(const testing_support::HttpServer& server, const std::string& path) {
    std::string agent;
    for (const auto& r : server.Requests())
        if (r.path == path) {
            auto it = r.headers.find("user-agent");
            if (it != r.headers.end()) agent = it->second;
        }
    return agent;
}

class TabContent : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        OleInitialize(nullptr);
        // Taskbar thumbnails are scaled with GDI+, which start-up starts.
        Gdiplus::GdiplusStartupInput input;
        EXPECT_EQ(Gdiplus::GdiplusStartup(&s_gdiplus, &input, nullptr), Gdiplus::Ok);
        SetCurrentDirectoryW(testing_support::StageFolder().c_str());
        EXPECT_EQ(InstallEngineHooks(IE6, false, false), NO_ERROR);
        CIEThread::SetProgramPath(testing_support::StageFolder() + L"vantrell.exe");
    }
    static void TearDownTestSuite() {
        EXPECT_EQ(RemoveEngineHooks(), NO_ERROR);
        Gdiplus::GdiplusShutdown(s_gdiplus);
        OleUninitialize();
    }
    static inline ULONG_PTR s_gdiplus = 0;
    void SetUp() override {
        server.Serve("/page.html", 200, "text/html", "<html><head><title>Sample page</title></head><body>Hi</body></html>");
        server.Serve("/other.html", 200, "text/html", "<html><head><title>Other</title></head><body>2</body></html>");
        server.Serve("/leave.html", 200, "text/html",
                     "<html><head><title>Leave</title></head><body onbeforeunload=\"return 'Sure?'\">x</body></html>");
    }
    testing_support::HttpServer server;
};

TEST_F(TabContent, EachVersionLoadsThePageWithItsOwnEngineAndReportsIt) {
    for (IEVERSION version : {IE55, IE7, IE8}) {
        SCOPED_TRACE(UserAgentMark(version));
        TestView view;
        const std::wstring url = server.Url("/page.html");
        Tab tab(view, version, url, false);
        ASSERT_TRUE(tab.started);
        ASSERT_TRUE(WaitFor([&] { return view.Got(UWM_TAB_HISTORY_ADD); }, 15s));
        EXPECT_NE(AgentOf(server, "/page.html").find(UserAgentMark(version)), std::string::npos)
            << AgentOf(server, "/page.html");
        EXPECT_TRUE(view.Got(UWM_TAB_TITLE, L"Sample page"));
        auto history = view.Of(UWM_TAB_HISTORY_ADD);
        EXPECT_EQ(history.back().text, url);
        EXPECT_EQ(history.back().text2, L"Sample page");
        EXPECT_TRUE(view.Got(UWM_TAB_PROGRESS));
        EXPECT_TRUE(view.Got(UWM_TAB_STATUS_TEXT));
        // The browser handed to the view works from the view's thread.
        ASSERT_EQ(view.browsers.size(), 1u);
        IWebBrowser2* browser = nullptr;
        ASSERT_EQ(view.browsers[0]->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser)), S_OK);
        BSTR location = nullptr;
        EXPECT_EQ(browser->get_LocationURL(&location), S_OK);
        EXPECT_EQ(std::wstring(location ? location : L""), url);
        SysFreeString(location);
        browser->Release();

        // One address, however often and in whatever letter case it comes.
        std::wstring upper = url;
        for (auto& c : upper) c = static_cast<wchar_t>(towupper(c));
        tab.Navigate(upper);
        ASSERT_TRUE(WaitFor([&] { return view.Of(UWM_TAB_HISTORY_ADD).size() >= 2; }, 15s));
        EXPECT_EQ(view.Of(UWM_TAB_ADDRESS).size(), 1u);
    }
}

// A tab of the system's engine gets the system's control, whatever it can
// show (Wine's own engine renders nothing here, but it is created and
// hosted all the same).
TEST_F(TabContent, TheSystemsEngineTabHostsTheSystemsControl) {
    TestView view;
    Tab tab(view, IEDefault, L"about:blank", false);
    ASSERT_TRUE(tab.started);
    ASSERT_TRUE(WaitFor([&] { return !view.browsers.empty(); }, 15s));
    IEVERSION bound = IE4;
    EXPECT_TRUE(IsThreadBound(tab.id, &bound));
    EXPECT_EQ(bound, IEDefault);
    // The control in the tab content is the system's, not a stand-in's.
    HWND content = GetWindow(view.hwnd, GW_CHILD);
    ASSERT_NE(content, nullptr);
    HWND control = GetDlgItem(content, IDC_WEB_BROWSER);
    ASSERT_NE(control, nullptr);
    wchar_t name[64] = {};
    GetClassNameW(control, name, 64);
    EXPECT_STRNE(name, L"StandInWebBrowserView");
    EXPECT_STRNE(name, L"Static");  // the placeholder made way
}

TEST_F(TabContent, ANewWindowOfAPageCarriesTheTabsVersion) {
    TestView view;
    Tab tab(view, IE7, server.Url("/page.html"), false);
    ASSERT_TRUE(WaitFor([&] { return view.Got(UWM_TAB_HISTORY_ADD); }, 15s));
    tab.Navigate(L"javascript:window.open('" + server.Url("/other.html") + L"')");
    ASSERT_TRUE(WaitFor([&] { return view.Got(UWM_TAB_NEW_WINDOW); }, 15s));
    auto opened = view.Of(UWM_TAB_NEW_WINDOW).front();
    EXPECT_EQ(opened.text, server.Url("/other.html"));
    EXPECT_EQ(opened.lParam, static_cast<LPARAM>(IE7));
    // The engine opened no window of its own and the tab kept its page.
    EXPECT_EQ(view.Of(UWM_TAB_HISTORY_ADD).size(), 1u);
}

// A message box of this process, answered with `button`; its text, once the
// box has gone (empty when none came).
std::wstring AnswerMessageBox(int button, std::chrono::milliseconds timeout = 10s) {
    HWND box = nullptr;
    bool found = WaitFor(
        [&] {
            for (HWND w : testing_support::TopLevelWindows(GetCurrentProcessId(), L"#32770")) {
                if (IsWindowVisible(w) && !testing_support::MessageBoxText(w).empty()) {
                    box = w;
                    return true;
                }
            }
            return false;
        },
        timeout);
    if (!found) return {};
    const std::wstring text = testing_support::MessageBoxText(box);
    PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
    return WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 10s) ? text : std::wstring();
}

// The page's unload question, answered.
bool AnswerUnloadQuestion(int button) { return !AnswerMessageBox(button).empty(); }

TEST_F(TabContent, APageThatClosesItselfIsAskedFirstAndThenClosesTheTab) {
    TestView view;
    Tab tab(view, IE8, server.Url("/leave.html"), false);
    ASSERT_TRUE(WaitFor([&] { return view.Got(UWM_TAB_HISTORY_ADD); }, 15s));

    tab.Navigate(L"javascript:window.close()");
    ASSERT_TRUE(AnswerUnloadQuestion(IDCANCEL));  // stay on the page
    // A barrier: a close question refused now is reported after anything
    // the first answer made the tab say, and that was no close.
    PostThreadMessageW(tab.id, UWM_TAB_QUERY_CLOSE, 0, 0);
    ASSERT_TRUE(AnswerUnloadQuestion(IDCANCEL));
    ASSERT_TRUE(WaitFor([&] { return view.Got(UWM_TAB_CLOSE_REFUSED); }, 10s));
    EXPECT_FALSE(view.Got(UWM_TAB_MUST_CLOSE));

    tab.Navigate(L"javascript:window.close()");
    ASSERT_TRUE(AnswerUnloadQuestion(IDOK));
    ASSERT_TRUE(WaitFor([&] { return view.Got(UWM_TAB_MUST_CLOSE); }, 10s));
    EXPECT_EQ(view.Of(UWM_TAB_MUST_CLOSE).front().wParam, static_cast<WPARAM>(CLOSE_PAGE_CLOSED));
}

TEST_F(TabContent, ClosingATabAsksThePage) {
    TestView view;
    Tab tab(view, IE7, server.Url("/leave.html"), false);
    ASSERT_TRUE(WaitFor([&] { return view.Got(UWM_TAB_HISTORY_ADD); }, 15s));
    PostThreadMessageW(tab.id, UWM_TAB_QUERY_CLOSE, 0, 0);
    ASSERT_TRUE(AnswerUnloadQuestion(IDCANCEL));
    // The refusal is reported, so a pending close of the window can end.
    ASSERT_TRUE(WaitFor([&] { return view.Got(UWM_TAB_CLOSE_REFUSED); }, 10s));
    EXPECT_FALSE(view.Got(UWM_TAB_MUST_CLOSE));
    PostThreadMessageW(tab.id, UWM_TAB_QUERY_CLOSE, 0, 0);
    ASSERT_TRUE(AnswerUnloadQuestion(IDOK));
    ASSERT_TRUE(WaitFor([&] { return view.Got(UWM_TAB_MUST_CLOSE); }, 10s));
    EXPECT_EQ(view.Of(UWM_TAB_MUST_CLOSE).front().wParam, static_cast<WPARAM>(CLOSE_UNLOAD_ACCEPTED));
}

TEST_F(TabContent, AChildProcessOfEachVersionShowsThePageAndReportsItsTitle) {
    for (IEVERSION version : {IE55, IE6, IE7, IE8}) {
        SCOPED_TRACE(UserAgentMark(version));
        TestView view;
        const std::wstring url = server.Url("/page.html");
        Tab tab(view, version, url, true);
        ASSERT_TRUE(tab.started);
        // The child shows a blank page until the address comes over the pipe.
        ASSERT_TRUE(WaitFor([&] { return view.Got(UWM_TAB_HISTORY_ADD, url); }, 20s));
        EXPECT_TRUE(view.Got(UWM_TAB_TITLE, L"Sample page"));
        EXPECT_EQ(view.Of(UWM_TAB_HISTORY_ADD).back().text2, L"Sample page");
        EXPECT_NE(AgentOf(server, "/page.html").find(UserAgentMark(version)), std::string::npos)
            << AgentOf(server, "/page.html");
        // No browser crosses a process.
        EXPECT_TRUE(view.browsers.empty());
    }
}

TEST_F(TabContent, PagesReachTheWindowExternalMethodsOfTheirVersion) {
    struct Case {
        IEVERSION version;
        const wchar_t* call;
        const wchar_t* shown;  // null: refused, no message
    } cases[] = {
        {IE7, L"window.external.AddSearchProvider('x')", L"window.external.AddSearchProvider method called"},
        {IE7, L"window.external.AddChannel('x')", nullptr},
        {IE7, L"window.external.addfavorite('a', 'b')", L"window.external.AddFavorite method called"},
        {IE6, L"window.external.IsSubscribed('x')", L"window.external.IsSubscribed method called"},
        {IE8, L"window.external.ShowBrowserUI('x')", L"window.external.ShowBrowserUI method called"},
        {IE8, L"window.external.AddFavorite('a')", nullptr},
        {IE8, L"window.external.ContentDiscoveryReset(1)", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        TestView view;
        Tab tab(view, c.version, server.Url("/page.html"), false);
        ASSERT_TRUE(WaitFor([&] { return view.Got(UWM_TAB_HISTORY_ADD); }, 15s));
        tab.Navigate(std::wstring(L"javascript:") + c.call);
        if (c.shown) {
            EXPECT_EQ(AnswerMessageBox(IDOK), c.shown);
        } else {
            // The script fails: the page reports an error and no box comes.
            ASSERT_TRUE(WaitFor(
                [&] {
                    for (const auto& r : view.Of(UWM_TAB_STATUS_TEXT))
                        if (r.text.rfind(L"Error on page", 0) == 0) return true;
                    return false;
                },
                10s));
            EXPECT_TRUE(AnswerMessageBox(IDOK, 300ms).empty());
        }
    }
}

// The automation rules, called as a script engine would, on a thread bound
// to a version.
TEST_F(TabContent, WindowExternalRefusesWrongCallsWithAutomationErrors) {
    ASSERT_TRUE(BindThreadToVersion(0, IE8));
    CCustomWindowExternal* external = CCustomWindowExternal::Create();
    auto id = [&](const wchar_t* name) {
        DISPID out = 12345;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        HRESULT hr = external->GetIDsOfNames(IID_NULL, names, 1, 0, &out);
        return SUCCEEDED(hr) ? out : static_cast<DISPID>(hr);
    };
    EXPECT_EQ(id(L"addtofavoritesbar"), 3);
    EXPECT_EQ(id(L"IsSubscribed"), static_cast<DISPID>(DISP_E_UNKNOWNNAME));
    auto call = [&](DISPID member, std::vector<VARIANT> args) {
        DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        VARIANT result;
        VariantInit(&result);
        UINT argError = 99;
        return external->Invoke(member, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, &argError);
    };
    VARIANT text;
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(L"a");
    EXPECT_EQ(call(0, {text}), DISP_E_PARAMNOTOPTIONAL);           // AddFavorite(string, string)
    EXPECT_EQ(call(0, {text, text, text}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(call(6, {text}), DISP_E_BADPARAMCOUNT);              // ContentDiscoveryReset()
    EXPECT_EQ(call(1, {text, text, text, text, text, text}), DISP_E_TYPEMISMATCH);  // "a" is no number
    EXPECT_EQ(call(12, {}), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(call(-1, {}), DISP_E_MEMBERNOTFOUND);
    SysFreeString(text.bstrVal);
    // A 7 thread has a table of its own.
    ASSERT_TRUE(BindThreadToVersion(0, IE7));
    EXPECT_EQ(id(L"AddSearchProvider"), 2);
    EXPECT_EQ(id(L"AddToFavoritesBar"), static_cast<DISPID>(DISP_E_UNKNOWNNAME));
    UnbindCurrentThread();
    EXPECT_EQ(external->Release(), 0u);
}

// The tab content on this thread, bound to a version, so a test can look
// into its page directly.
class LocalTab {
public:
    LocalTab(TestView& view, IEVERSION version, const std::wstring& url) : owner(view.hwnd) {
        BindThreadToVersion(0, version);
        dialog.SetOwner(&owner);
        dialog.m_strURL = url;
        dialog.m_nVersion = version;
        dialog.m_hWndTopLevel = view.hwnd;
        created = dialog.Create(IDD_TAB_CONTENT, view.hwnd);
    }
    ~LocalTab() {
        dialog.Destroy();
        UnbindCurrentThread();
    }
    // Runs this thread's messages until `done` or the time is up.
    static bool Pump(const std::function<bool()>& done, std::chrono::milliseconds timeout = 15s) {
        auto end = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        return true;
    }
    fw::ComPtr<IHTMLDocument2> Document() {
        fw::ComPtr<IDispatch> document;
        fw::ComPtr<IHTMLDocument2> html;
        if (dialog.Browser() && SUCCEEDED(dialog.Browser()->get_Document(document.put())) && document)
            document.As(__uuidof(IHTMLDocument2), html);
        return html;
    }
    CPostingTabContentOwner owner;
    CDialogWBContainer dialog;
    bool created = false;
};

// The CSS zoom text of a style object, "" when it has none.
template <typename Style>
std::wstring ZoomOf(Style* style) {
    fw::ComPtr<IHTMLStyle3> style3;
    VARIANT zoom;
    VariantInit(&zoom);
    std::wstring out;
    if (style && SUCCEEDED(style->QueryInterface(__uuidof(IHTMLStyle3), style3.put_void())) &&
        SUCCEEDED(style3->get_zoom(&zoom)) && zoom.vt == VT_BSTR && zoom.bstrVal)
        out = zoom.bstrVal;
    VariantClear(&zoom);
    return out;
}

// The body's wrappers, outermost first, as (id, zoom) pairs.
std::vector<std::pair<std::wstring, std::wstring>> Wrappers(IHTMLDocument2* document) {
    std::vector<std::pair<std::wstring, std::wstring>> out;
    fw::ComPtr<IHTMLElement> element;
    if (FAILED(document->get_body(element.put())) || !element) return out;
    for (;;) {
        fw::ComPtr<IDispatch> allDispatch, firstDispatch;
        fw::ComPtr<IHTMLElementCollection> all;
        fw::ComPtr<IHTMLElement> first;
        VARIANT zero;
        VariantInit(&zero);
        zero.vt = VT_I4;
        if (FAILED(element->get_all(allDispatch.put())) || !allDispatch ||
            FAILED(allDispatch.As(__uuidof(IHTMLElementCollection), all)) ||
            FAILED(all->item(zero, zero, firstDispatch.put())) || !firstDispatch ||
            FAILED(firstDispatch.As(__uuidof(IHTMLElement), first)))
            return out;
        BSTR id = nullptr;
        first->get_id(&id);
        std::wstring idText = id ? id : L"";
        SysFreeString(id);
        if (idText != CDialogWBContainer::kZoomWrapperId) return out;
        fw::ComPtr<IHTMLStyle> style;
        first->get_style(style.put());
        out.push_back({idText, ZoomOf(style.get())});
        element = first;
    }
}

std::wstring RuntimeZoomOfBody(IHTMLDocument2* document) {
    fw::ComPtr<IHTMLElement> body;
    fw::ComPtr<IHTMLElement2> body2;
    fw::ComPtr<IHTMLStyle> runtime;
    if (FAILED(document->get_body(body.put())) || !body || FAILED(body.As(__uuidof(IHTMLElement2), body2)) ||
        FAILED(body2->get_runtimeStyle(runtime.put())))
        return L"?";
    return ZoomOf(runtime.get());
}

fw::ComPtr<IHTMLDocument2> FrameDocument(IHTMLDocument2* document, long index) {
    fw::ComPtr<IHTMLFramesCollection2> frames;
    fw::ComPtr<IHTMLDocument2> out;
    VARIANT i, item;
    VariantInit(&i);
    VariantInit(&item);
    i.vt = VT_I4;
    i.lVal = index;
    if (SUCCEEDED(document->get_frames(frames.put())) && frames && SUCCEEDED(frames->item(&i, &item)) &&
        item.vt == VT_DISPATCH && item.pdispVal) {
        fw::ComPtr<IHTMLWindow2> window;
        if (SUCCEEDED(item.pdispVal->QueryInterface(__uuidof(IHTMLWindow2), window.put_void())))
            window->get_document(out.put());
    }
    VariantClear(&item);
    return out;
}

TEST_F(TabContent, ZoomWrapsThePageOnceAndScalesFramesAndFramesets) {
    server.Serve("/frames.html", 200, "text/html",
                 "<html><head><title>F</title></head><body><p>top</p><iframe src=\"/page.html\"></iframe></body></html>");
    server.Serve("/frameset.html", 200, "text/html",
                 "<html><head><title>S</title></head><frameset cols=\"50%,50%\"><frame src=\"/page.html\">"
                 "<frame src=\"/other.html\"></frameset></html>");
    TestView view;
    {
        LocalTab tab(view, IE7, server.Url("/frames.html"));
        ASSERT_TRUE(tab.created);
        // The panel's parts stay hidden while the panel is.
        for (int id : {IDC_PANEL_SPLITTER, IDC_PANEL_CLOSE, IDC_PANEL_TITLE})
            EXPECT_FALSE(GetWindowLongW(GetDlgItem(tab.dialog.Handle(), id), GWL_STYLE) & WS_VISIBLE) << id;
        ASSERT_TRUE(LocalTab::Pump([&] { return view.Got(UWM_TAB_HISTORY_ADD, server.Url("/frames.html")); }));
        auto document = tab.Document();
        ASSERT_TRUE(document);
        // 100 on a page never zoomed still wraps it, at 100%.
        EXPECT_EQ(SendMessageW(tab.dialog.Handle(), UWM_TAB_ZOOM, 100, 0), 0);
        EXPECT_EQ(Wrappers(document.get()), (std::vector<std::pair<std::wstring, std::wstring>>{
                                                {CDialogWBContainer::kZoomWrapperId, L"100%"}}));
        // Later zooms change that one wrapper.
        SendMessageW(tab.dialog.Handle(), UWM_TAB_ZOOM, 150, 0);
        SendMessageW(tab.dialog.Handle(), UWM_TAB_ZOOM, 200, 0);
        EXPECT_EQ(Wrappers(document.get()), (std::vector<std::pair<std::wstring, std::wstring>>{
                                                {CDialogWBContainer::kZoomWrapperId, L"200%"}}));
        EXPECT_EQ(tab.dialog.Zoom(), 200);
        // A frame's body undoes the frame's scaling; its own wrapper scales.
        auto frame = FrameDocument(document.get(), 0);
        ASSERT_TRUE(frame);
        EXPECT_EQ(RuntimeZoomOfBody(frame.get()), L"50%");
        EXPECT_EQ(Wrappers(frame.get()).size(), 1u);
        SendMessageW(tab.dialog.Handle(), UWM_TAB_ZOOM, 150, 0);
        EXPECT_EQ(RuntimeZoomOfBody(frame.get()), L"66%");
    }
    {
        LocalTab tab(view, IE8, server.Url("/frameset.html"));
        ASSERT_TRUE(LocalTab::Pump([&] { return view.Got(UWM_TAB_HISTORY_ADD, server.Url("/frameset.html")); }));
        auto document = tab.Document();
        ASSERT_TRUE(document);
        SendMessageW(tab.dialog.Handle(), UWM_TAB_ZOOM, 120, 0);
        EXPECT_EQ(RuntimeZoomOfBody(document.get()), L"120%");
        auto second = FrameDocument(document.get(), 1);
        ASSERT_TRUE(second);
        EXPECT_EQ(RuntimeZoomOfBody(second.get()), L"83%");
        EXPECT_EQ(Wrappers(second.get()).size(), 1u);
    }
}

TEST_F(TabContent, DownloadFlagsReachTheControlBeforeItsNextLoad) {
    server.Serve("/picture.html", 200, "text/html",
                 "<html><head><title>P</title></head><body><img src=\"/dot.png\"></body></html>");
    server.Serve("/dot.png", 404, "text/plain", "none");
    TestView view;
    LocalTab tab(view, IE8, server.Url("/picture.html"));
    ASSERT_TRUE(LocalTab::Pump([&] { return view.Got(UWM_TAB_HISTORY_ADD); }));
    auto pictureRequests = [&] {
        int n = 0;
        for (const auto& r : server.Requests()) n += r.path == "/dot.png";
        return n;
    };
    ASSERT_TRUE(LocalTab::Pump([&] { return pictureRequests() == 1; }, 5s));
    // Pictures off: the next load fetches none.
    SendMessageW(tab.dialog.Handle(), UWM_TAB_DOWNLOAD_FLAGS, 0x4060, 0);
    EXPECT_EQ(tab.dialog.m_dwDownloadFlags, 0x4060u);
    const size_t loads = view.Of(UWM_TAB_HISTORY_ADD).size();
    tab.dialog.Navigate(server.Url("/picture.html"));
    ASSERT_TRUE(LocalTab::Pump([&] { return view.Of(UWM_TAB_HISTORY_ADD).size() > loads; }));
    Sleep(200);
    EXPECT_EQ(pictureRequests(), 1);
}

TEST_F(TabContent, EnterInTheAddressBoxNavigatesAndEscapeDoesNothing) {
    TestView view;
    LocalTab tab(view, IE7, server.Url("/page.html"));
    ASSERT_TRUE(LocalTab::Pump([&] { return view.Got(UWM_TAB_HISTORY_ADD); }));
    HWND box = GetDlgItem(tab.dialog.Handle(), IDC_ADDRESS_BOX);
    HWND edit = reinterpret_cast<HWND>(SendMessageW(box, CBEM_GETEDITCONTROL, 0, 0));
    ASSERT_NE(edit, nullptr);
    const std::wstring other = server.Url("/other.html");
    SetWindowTextW(edit, other.c_str());
    // The dialog manager asks the field for its keys; the field takes Enter
    // and Escape for itself, and Enter goes to the typed address.
    auto key = [&](WPARAM vk) {
        MSG msg{edit, WM_KEYDOWN, vk, 0, 0, {}};
        return SendMessageW(edit, WM_GETDLGCODE, vk, reinterpret_cast<LPARAM>(&msg));
    };
    EXPECT_TRUE(key(VK_ESCAPE) & DLGC_WANTALLKEYS);
    LocalTab::Pump([] { return false; }, 200ms);
    EXPECT_FALSE(view.Got(UWM_TAB_HISTORY_ADD, other));
    EXPECT_TRUE(IsWindow(tab.dialog.Handle()));
    EXPECT_TRUE(key(VK_RETURN) & DLGC_WANTALLKEYS);
    EXPECT_TRUE(LocalTab::Pump([&] { return view.Got(UWM_TAB_HISTORY_ADD, other); }));
    EXPECT_TRUE(view.Got(UWM_TAB_ADDRESS, other));
}


// ---------------------------------------------------------------------------
// The developer-toolbar panel, with the stand-in component of the stage
// (fennick\fennick.dll) registered the way an installer would: regsvr32.

// Registers (or unregisters) the stand-in component; true when regsvr32 succeeded.
// What the tab content hands the desktop window manager as its thumbnail:
// DwmSetIconicThumbnail of this process is intercepted while the object
// lives (the module is loaded first, so the tab content finds it).
class ThumbnailRecorder {
public:
    ThumbnailRecorder() {
        module = LoadLibraryW(L"dwmapi.dll");
        s_real = module ? reinterpret_cast<SetThumbnail>(
                              reinterpret_cast<void*>(GetProcAddress(module, "DwmSetIconicThumbnail")))
                        : nullptr;
        if (!s_real || interception::TransactionBegin() != NO_ERROR) return;
        // A failed Attach makes the commit fail too: nothing is attached then.
        const LONG queued = interception::Attach(reinterpret_cast<void**>(&s_real), reinterpret_cast<void*>(&Record));
        attached = interception::TransactionCommit() == NO_ERROR && queued == NO_ERROR;
    }
    ~ThumbnailRecorder() {
        if (attached && interception::TransactionBegin() == NO_ERROR) {
            const LONG queued = interception::Detach(reinterpret_cast<void**>(&s_real), reinterpret_cast<void*>(&Record));
            EXPECT_EQ(queued, NO_ERROR);
            EXPECT_EQ(interception::TransactionCommit(), NO_ERROR);
        }
        if (module) FreeLibrary(module);
    }
    struct Picture {
        int width = 0, height = 0;
        int white = 0;  // pixels of the page's white background
    };
    static inline std::vector<Picture> s_handed;
    bool attached = false;

private:
    using SetThumbnail = HRESULT(WINAPI*)(HWND, HBITMAP, DWORD);
    static HRESULT WINAPI Record(HWND, HBITMAP bitmap, DWORD) {
        Picture picture;
        BITMAP info{};
        if (GetObjectW(bitmap, sizeof(info), &info)) {
            picture.width = info.bmWidth;
            picture.height = info.bmHeight;
            BITMAPINFO format = fw::TopDownBitmapInfo(info.bmWidth, info.bmHeight);
            std::vector<DWORD> pixels(static_cast<size_t>(info.bmWidth) * info.bmHeight);
            HDC screen = GetDC(nullptr);
            if (GetDIBits(screen, bitmap, 0, info.bmHeight, pixels.data(), &format, DIB_RGB_COLORS))
                for (DWORD p : pixels) picture.white += (p & 0xFFFFFF) == 0xFFFFFF;
            ReleaseDC(nullptr, screen);
        }
        s_handed.push_back(picture);
        return S_OK;
    }
    static inline SetThumbnail s_real = nullptr;
    HMODULE module = nullptr;
};

TEST_F(TabContent, TheTabsTaskbarThumbnailShowsItsPageClosesItAndFollowsTheSetting) {
    ThumbnailRecorder recorder;
    ASSERT_TRUE(recorder.attached);
    ThumbnailRecorder::s_handed.clear();
    TestView view;
    LocalTab tab(view, IE7, server.Url("/page.html"));
    ASSERT_TRUE(tab.created);
    ASSERT_TRUE(LocalTab::Pump([&] { return view.Got(UWM_TAB_HISTORY_ADD); }));

    // A hidden window of its own, captioned with the page's title.
    HWND proxy = tab.dialog.TaskbarProxyWindow();
    ASSERT_NE(proxy, nullptr);
    EXPECT_FALSE(IsWindowVisible(proxy));
    wchar_t title[64] = {};
    GetWindowTextW(proxy, title, 64);
    EXPECT_STREQ(title, L"Sample page");
    EXPECT_NE(SendMessageW(proxy, WM_GETICON, ICON_SMALL, 0), 0);

    // Asked for at most 200 x 100: the page, scaled to fit, proportions kept.
    SendMessageW(proxy, WM_DWMSENDICONICTHUMBNAIL, 0, MAKELPARAM(100, 200));
    ASSERT_EQ(ThumbnailRecorder::s_handed.size(), 1u);
    RECT page{};
    GetWindowRect(tab.dialog.BrowserWindow(), &page);
    const int w = page.right - page.left, h = page.bottom - page.top;
    ASSERT_GT(w, 0);
    ASSERT_GT(h, 0);
    const double ratio = std::max(w / 200.0, h / 100.0);
    const auto picture = ThumbnailRecorder::s_handed[0];
    EXPECT_EQ(picture.width, static_cast<int>(w / ratio));
    EXPECT_EQ(picture.height, static_cast<int>(h / ratio));
    EXPECT_GT(picture.white, picture.width * picture.height / 2);
    // Nothing to fit into: the fixed "no preview" picture instead.
    SendMessageW(proxy, WM_DWMSENDICONICTHUMBNAIL, 0, 0);
    ASSERT_EQ(ThumbnailRecorder::s_handed.size(), 2u);
    EXPECT_EQ(ThumbnailRecorder::s_handed[1].width, 103);
    EXPECT_EQ(ThumbnailRecorder::s_handed[1].height, 103);

    // A click on the thumbnail asks the view to activate the tab; its close
    // closes the tab without the page's question.
    SendMessageW(proxy, WM_ACTIVATE, WA_CLICKACTIVE, 0);
    SendMessageW(proxy, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(LocalTab::Pump([&] { return view.Got(UWM_TAB_MUST_CLOSE); }));
    EXPECT_EQ(view.Of(UWM_TAB_MUST_CLOSE)[0].wParam, static_cast<WPARAM>(CLOSE_TASKBAR));
    ASSERT_FALSE(view.Of(WM_COMMAND).empty());
    EXPECT_EQ(view.Of(WM_COMMAND)[0].wParam, static_cast<WPARAM>(ID_TASKBAR_TAB_ACTIVE));
    EXPECT_TRUE(IsWindow(proxy));

    // Switched off, the thumbnail goes; on again it comes back, unless the
    // setting says off.
    SendMessageW(tab.dialog.Handle(), UWM_TAB_TASKBAR_PREVIEW, 1, 0);
    EXPECT_FALSE(IsWindow(proxy));
    EXPECT_EQ(tab.dialog.TaskbarProxyWindow(), nullptr);
    {
        testing_support::ScopedRegistryValue off(L"Software\\Brenmoor\\Vantrell\\Options",
                                                 setting::kDisableWin7Taskbar, 1);
        SendMessageW(tab.dialog.Handle(), UWM_TAB_TASKBAR_PREVIEW, 0, 0);
        EXPECT_EQ(tab.dialog.TaskbarProxyWindow(), nullptr);
    }
    SendMessageW(tab.dialog.Handle(), UWM_TAB_TASKBAR_PREVIEW, 0, 0);
    EXPECT_NE(tab.dialog.TaskbarProxyWindow(), nullptr);
}

bool RegisterToolbar(bool registered) {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring dll = testing_support::StageFolder() + L"fennick\\fennick.dll";
    testing_support::Process regsvr;
    if (!testing_support::Launch(regsvr, std::wstring(system) + L"\\regsvr32.exe",
                                 std::wstring(registered ? L"/s \"" : L"/s /u \"") + dll + L"\""))
        return false;
    DWORD code = 1;
    return regsvr.WaitForExit(30000, &code) && code == 0;
}

const fw::Profile& TestProfile() {
    static const fw::Profile profile = [] {
        fw::Profile p;
        p.SetRegistryKey(L"Brenmoor", L"Vantrell");
        return p;
    }();
    return profile;
}

// A window's rectangle in the client coordinates of `parent`.
RECT RectIn(HWND parent, HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The window's own visibility (the test's view window is never shown).
bool Shown(HWND hwnd) { return hwnd && (GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0; }

class ToolbarPanel : public TabContent {
protected:
    void SetUp() override {
        TabContent::SetUp();
        ASSERT_TRUE(RegisterToolbar(true));
        ASSERT_TRUE(TestProfile().DeleteValue(setting::kSection, setting::kVertLeftSplitter));
    }
    void TearDown() override {
        // The source windows of the component are top-level windows of this
        // thread; none may outlive the tab that opened them.
        EXPECT_TRUE(testing_support::TopLevelWindows(GetCurrentProcessId(), L"FennickSourceWindow").empty());
    }
    static int StoredWidth() { return TestProfile().GetInt(setting::kSection, setting::kVertLeftSplitter, -1); }
};

TEST_F(ToolbarPanel, ThePanelShowsBesideThePageFollowsItsSplitterAndClosesWithItsButton) {
    TestView view;
    LocalTab tab(view, IE7, server.Url("/page.html"));
    ASSERT_TRUE(LocalTab::Pump([&] { return view.Got(UWM_TAB_HISTORY_ADD); }));
    HWND dialog = tab.dialog.Handle();
    MoveWindow(dialog, 0, 0, 800, 500, TRUE);

    SendMessageW(dialog, WM_COMMAND, ID_TOGGLE_FENNICK, 0);
    ASSERT_TRUE(tab.dialog.IsPanelVisible());
    HWND panel = tab.dialog.PanelWindow();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(Shown(panel));
    EXPECT_EQ(GetParent(panel), dialog);
    for (int id : {IDC_PANEL_SPLITTER, IDC_PANEL_CLOSE, IDC_PANEL_TITLE})
        EXPECT_TRUE(Shown(GetDlgItem(dialog, id))) << id;
    EXPECT_EQ(testing_support::WindowText(GetDlgItem(dialog, IDC_PANEL_TITLE)), L"  Document tree (IE 7)");
    // No stored width: 200 pixels, the splitter right of it, the page after.
    RECT p = RectIn(dialog, panel);
    EXPECT_EQ(p.left, 0);
    EXPECT_EQ(p.top, 20);
    EXPECT_EQ(p.right, 200);
    EXPECT_EQ(RectIn(dialog, GetDlgItem(dialog, IDC_PANEL_SPLITTER)).left, 200);
    EXPECT_EQ(RectIn(dialog, GetDlgItem(dialog, IDC_PANEL_CLOSE)).left, 180);
    EXPECT_EQ(RectIn(dialog, GetDlgItem(dialog, IDC_ADDRESS_BOX)).left, 204);
    EXPECT_EQ(RectIn(dialog, tab.dialog.BrowserWindow()).left, 204);
    ASSERT_TRUE(LocalTab::Pump([&] { return view.Got(UWM_TAB_PANEL_STATE); }, 5s));
    EXPECT_EQ(view.Of(UWM_TAB_PANEL_STATE).back().wParam, 1u);

    // The component shows the page's element tree.
    HWND tree = FindWindowExW(panel, nullptr, WC_TREEVIEWW, nullptr);
    ASSERT_NE(tree, nullptr);
    EXPECT_GE(SendMessageW(tree, TVM_GETCOUNT, 0, 0), 4);  // HTML, HEAD, TITLE, BODY
    wchar_t rootText[32] = {};
    TVITEMW root{};
    root.mask = TVIF_TEXT;
    root.hItem = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    root.pszText = rootText;
    root.cchTextMax = 32;
    ASSERT_TRUE(SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&root)));
    EXPECT_STREQ(rootText, L"HTML");

    // Dragging the splitter to the middle of the 800-pixel dialog: 400,
    // stored at once.
    HWND splitter = GetDlgItem(dialog, IDC_PANEL_SPLITTER);
    RECT client{};
    GetClientRect(dialog, &client);
    ASSERT_EQ(client.right, 800);
    POINT at{400, 10};
    MapWindowPoints(dialog, splitter, &at, 1);
    SendMessageW(splitter, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 10));
    EXPECT_EQ(GetCapture(), splitter);
    SendMessageW(splitter, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(static_cast<WORD>(at.x), static_cast<WORD>(at.y)));
    EXPECT_EQ(StoredWidth(), 400);
    EXPECT_EQ(tab.dialog.PanelWidth(), 400);
    EXPECT_EQ(RectIn(dialog, panel).right, 400);
    EXPECT_EQ(RectIn(dialog, GetDlgItem(dialog, IDC_ADDRESS_BOX)).left, 404);
    // Beyond the right edge: the whole width.
    at = {950, 10};
    MapWindowPoints(dialog, splitter, &at, 1);
    SendMessageW(splitter, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(static_cast<WORD>(at.x), static_cast<WORD>(at.y)));
    EXPECT_EQ(StoredWidth(), 800);
    at = {600, 10};
    MapWindowPoints(dialog, splitter, &at, 1);
    SendMessageW(splitter, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(static_cast<WORD>(at.x), static_cast<WORD>(at.y)));
    SendMessageW(splitter, WM_LBUTTONUP, 0, MAKELPARAM(static_cast<WORD>(at.x), static_cast<WORD>(at.y)));
    EXPECT_NE(GetCapture(), splitter);
    EXPECT_EQ(StoredWidth(), 600);
    // Moves without the button held change nothing.
    SendMessageW(splitter, WM_MOUSEMOVE, 0, MAKELPARAM(1, 10));
    EXPECT_EQ(StoredWidth(), 600);
    // Positions outside 0..100 percent are refused.
    EXPECT_FALSE(tab.dialog.SetSplitterPosition(0, 101));
    EXPECT_FALSE(tab.dialog.SetSplitterPosition(0, -1));
    EXPECT_EQ(tab.dialog.PanelWidth(), 600);

    // The close button hides everything and gives the page its width back.
    SendMessageW(GetDlgItem(dialog, IDC_PANEL_CLOSE), BM_CLICK, 0, 0);
    EXPECT_FALSE(tab.dialog.IsPanelVisible());
    EXPECT_FALSE(Shown(panel));
    for (int id : {IDC_PANEL_SPLITTER, IDC_PANEL_CLOSE, IDC_PANEL_TITLE})
        EXPECT_FALSE(Shown(GetDlgItem(dialog, id))) << id;
    EXPECT_EQ(RectIn(dialog, GetDlgItem(dialog, IDC_ADDRESS_BOX)).left, 0);
    ASSERT_TRUE(LocalTab::Pump([&] { return view.Of(UWM_TAB_PANEL_STATE).size() == 2; }, 5s));
    EXPECT_EQ(view.Of(UWM_TAB_PANEL_STATE).back().wParam, 0u);

    // Shown again: the same panel, at the stored width.
    SendMessageW(dialog, WM_COMMAND, ID_TOGGLE_FENNICK, 0);
    EXPECT_TRUE(tab.dialog.IsPanelVisible());
    EXPECT_EQ(tab.dialog.PanelWindow(), panel);
    EXPECT_EQ(RectIn(dialog, panel).right, 600);
}

TEST_F(ToolbarPanel, ViewSourceOpensTheSourceWindowWithoutShowingThePanel) {
    TestView view;
    const std::wstring url = server.Url("/page.html");
    LocalTab tab(view, IE8, url);
    ASSERT_TRUE(LocalTab::Pump([&] { return view.Got(UWM_TAB_HISTORY_ADD); }));
    SendMessageW(tab.dialog.Handle(), WM_COMMAND, ID_VIEW_SOURCE, 0);
    auto sources = testing_support::TopLevelWindows(GetCurrentProcessId(), L"FennickSourceWindow");
    ASSERT_EQ(sources.size(), 1u);
    EXPECT_TRUE(IsWindowVisible(sources[0]));
    EXPECT_EQ(testing_support::WindowText(sources[0]), L"Source - " + url);
    HWND edit = FindWindowExW(sources[0], nullptr, L"EDIT", nullptr);
    ASSERT_NE(edit, nullptr);
    std::wstring text = testing_support::WindowText(edit);
    for (auto& c : text) c = static_cast<wchar_t>(towlower(c));
    EXPECT_NE(text.find(L"<title>sample page</title>"), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"hi"), std::wstring::npos) << text;
    // The panel was made for it, but stays hidden.
    EXPECT_FALSE(tab.dialog.IsPanelVisible());
    ASSERT_NE(tab.dialog.PanelWindow(), nullptr);
    EXPECT_FALSE(Shown(tab.dialog.PanelWindow()));
    EXPECT_FALSE(view.Got(UWM_TAB_PANEL_STATE));
}

TEST_F(ToolbarPanel, VersionNineTabsRefuseThePanelWithAFixedMessage) {
    TestView view;
    LocalTab tab(view, IE8, server.Url("/page.html"));
    ASSERT_TRUE(LocalTab::Pump([&] { return view.Got(UWM_TAB_HISTORY_ADD); }));
    // A version-9 tab runs in a child process; its dialog knows it by its version.
    tab.dialog.m_nVersion = IE9;
    auto answer = std::async(std::launch::async, [] { return AnswerMessageBox(IDOK); });
    SendMessageW(tab.dialog.Handle(), WM_COMMAND, ID_TOGGLE_FENNICK, 0);
    EXPECT_EQ(answer.get(), L"Fennick under IE9 tab instance is not yet supported.");
    EXPECT_FALSE(tab.dialog.IsPanelVisible());
    EXPECT_EQ(tab.dialog.PanelWindow(), nullptr);
    LocalTab::Pump([] { return false; }, 200ms);
    EXPECT_FALSE(view.Got(UWM_TAB_PANEL_STATE));
}

TEST_F(ToolbarPanel, WithoutTheComponentTheUserIsOfferedTheDownloadPageAndNoDoesNothing) {
    ASSERT_TRUE(RegisterToolbar(false));
    struct Reregister {
        ~Reregister() { EXPECT_TRUE(RegisterToolbar(true)); }
    } reregister;
    TestView view;
    LocalTab tab(view, IE7, server.Url("/page.html"));
    ASSERT_TRUE(LocalTab::Pump([&] { return view.Got(UWM_TAB_HISTORY_ADD); }));
    const std::wstring notFound =
        L"Fennick was not found. May be it is not installed. Click \"Yes\" to open the Fennick download page.";
    for (UINT command : {ID_VIEW_SOURCE, ID_TOGGLE_FENNICK}) {
        SCOPED_TRACE(command);
        auto answer = std::async(std::launch::async, [] { return AnswerMessageBox(IDNO); });
        SendMessageW(tab.dialog.Handle(), WM_COMMAND, command, 0);
        // Each command tries again, since nothing was kept.
        EXPECT_EQ(answer.get(), notFound);
        EXPECT_FALSE(tab.dialog.IsPanelVisible());
        EXPECT_EQ(tab.dialog.PanelWindow(), nullptr);
    }
    EXPECT_TRUE(testing_support::TopLevelWindows(GetCurrentProcessId(), L"FennickSourceWindow").empty());
    EXPECT_FALSE(view.Got(UWM_TAB_PANEL_STATE));
}

// The view's command reaches the tab content on its engine thread, and in
// a child process over the pipe.
TEST_F(ToolbarPanel, TheViewsCommandTogglesThePanelOnTheEngineThreadAndInAChildProcess) {
    for (bool childProcess : {false, true}) {
        SCOPED_TRACE(childProcess ? "child process" : "engine thread");
        TestView view;
        Tab tab(view, IE7, server.Url("/page.html"), childProcess);
        ASSERT_TRUE(WaitFor([&] { return view.Got(UWM_TAB_HISTORY_ADD, server.Url("/page.html")); }, 20s));
        PostThreadMessageW(tab.id, UWM_ENGINE_COMMAND, ID_TOGGLE_FENNICK, 0);
        ASSERT_TRUE(WaitFor([&] { return view.Got(UWM_TAB_PANEL_STATE); }, 15s));
        EXPECT_EQ(view.Of(UWM_TAB_PANEL_STATE).back().wParam, 1u);
        PostThreadMessageW(tab.id, UWM_ENGINE_COMMAND, ID_TOGGLE_FENNICK, 0);
        ASSERT_TRUE(WaitFor([&] { return view.Of(UWM_TAB_PANEL_STATE).size() == 2; }, 15s));
        EXPECT_EQ(view.Of(UWM_TAB_PANEL_STATE).back().wParam, 0u);
    }
}

} // namespace
