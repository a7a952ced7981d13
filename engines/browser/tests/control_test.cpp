// The stand-in WebBrowser control embedded in a test container the way a
// host embeds the real one: creation from each version's library, the
// events of a load in order with their arguments, the host protocol, history,
// errors, new windows, closing, commands and automation by dispatch
// identifier.
#include "engines/browser/tests/http_server.h"
#include "engines/browser/tests/test_container.h"
#include "engines/render/tests/canvas.h"
#include "engines/standin.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <exdispid.h>
#include <mshtmcid.h>
#include <mshtmdid.h>
#include <mshtml.h>

#include <algorithm>
#include <string>
#include <vector>

using browser_test::Container;
using browser_test::Event;
using browser_test::MessageBoxAnswer;
using testing_support::HttpServer;
using testing_support::TempDir;

namespace {

constexpr GUID kCgidMshtml = {0xDE4BA900, 0x59CA, 0x11CF, {0x95, 0x92, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

struct VersionLibrary {
    const wchar_t* file;
    wchar_t code;
    const char* token;  // in its user agent
};

const VersionLibrary kLibraries[] = {
    {L"5hdocvw.dll", L'5', "MSIE 5.5;"},
    {L"6hdocvw.dll", L'6', "MSIE 6.0;"},
    {L"7eframe.dll", L'7', "MSIE 7.0;"},
    {L"8eframe.dll", L'8', "MSIE 8.0;"},
    {L"ie9\\vantrell.ie9.exe.local\\ieframe.dll", L'9', "MSIE 9.0;"},
};

BOOL CALLBACK FindPreview(HWND window, LPARAM result) {
    wchar_t text[128] = L"";
    GetWindowTextW(window, text, 128);
    if (wcsstr(text, L"Print Preview - Print me")) {
        *reinterpret_cast<HWND*>(result) = window;
        return FALSE;
    }
    return TRUE;
}

class Control : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
    void TearDown() override { OleUninitialize(); }

    std::wstring Location(Container& c) {
        BSTR url = nullptr;
        if (FAILED(c.Browser()->get_LocationURL(&url))) return L"<failed>";
        std::wstring text = url ? url : L"";
        SysFreeString(url);
        return text;
    }

    std::wstring LocationName(Container& c) {
        BSTR name = nullptr;
        if (FAILED(c.Browser()->get_LocationName(&name))) return L"<failed>";
        std::wstring text = name ? name : L"";
        SysFreeString(name);
        return text;
    }

    IHTMLDocument2* Document(Container& c) {
        IDispatch* dispatch = nullptr;
        if (FAILED(c.Browser()->get_Document(&dispatch)) || !dispatch) return nullptr;
        IHTMLDocument2* document = nullptr;
        dispatch->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&document));
        dispatch->Release();
        return document;
    }

    std::wstring BodyText(Container& c) {
        IHTMLDocument2* document = Document(c);
        if (!document) return L"<no document>";
        IHTMLElement* body = nullptr;
        std::wstring text = L"<no body>";
        if (SUCCEEDED(document->get_body(&body)) && body) {
            BSTR inner = nullptr;
            if (SUCCEEDED(body->get_innerText(&inner))) text = inner ? inner : L"";
            SysFreeString(inner);
            body->Release();
        }
        document->Release();
        return text;
    }

    // Dark pixels in a picture of the page drawn through IViewObject::Draw.
    static int InkOf(IUnknown* object, int width, int height) {
        IViewObject* view = nullptr;
        if (FAILED(object->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(&view)))) return -1;
        render_test::Canvas canvas(width, height);
        RECTL bounds{0, 0, width, height};
        const HRESULT hr = view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.dc(), &bounds,
                                      nullptr, nullptr, 0);
        view->Release();
        if (FAILED(hr)) return -1;
        int ink = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const COLORREF c = canvas.At(x, y);
                if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 128) ++ink;
            }
        return ink;
    }

    // Ids of the new-style events from `from` on, in order.
    static std::vector<DISPID> Sequence(const Container& c, size_t from) {
        std::vector<DISPID> ids;
        for (size_t i = from; i < c.events.size(); ++i)
            if (!c.events[i].oldStyle) ids.push_back(c.events[i].id);
        return ids;
    }

    static int IndexOf(const std::vector<DISPID>& ids, DISPID id) {
        auto it = std::find(ids.begin(), ids.end(), id);
        return it == ids.end() ? -1 : static_cast<int>(it - ids.begin());
    }

    TempDir temp_;
};

TEST_F(Control, EveryVersionsShellLibraryServesAControlThatLoadsAPage) {
    for (const auto& library : kLibraries) {
        SCOPED_TRACE(testing::Message() << "library " << std::string(library.file, library.file + wcslen(library.file)));
        Container c;
        ASSERT_EQ(c.CreateFromLibrary(library.file), S_OK);
        IStandInObject* probe = nullptr;
        ASSERT_EQ(c.Control()->QueryInterface(IID_IStandInObject, reinterpret_cast<void**>(&probe)), S_OK);
        WCHAR code[2] = {};
        probe->GetVersionCode(code);
        probe->Release();
        EXPECT_EQ(code[0], library.code);

        HWND window = c.ControlWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(GetParent(window), c.Window());
        EXPECT_TRUE(c.NavigateAndWait(L"about:blank"));
        EXPECT_EQ(Location(c), L"about:blank");
        IHTMLDocument2* document = Document(c);
        ASSERT_NE(document, nullptr);
        document->Release();
    }
}

TEST_F(Control, ALoadFiresItsEventsInOrderWithTheirArguments) {
    const std::wstring file = temp_.WriteFile(L"order.html",
        "<html><head><title>Order test</title></head><body><p>Hello</p></body></html>");
    Container c;
    ASSERT_EQ(c.CreateFromLibrary(L"7eframe.dll"), S_OK);
    ASSERT_TRUE(c.NavigateAndWait(file));
    const std::wstring url = Location(c);
    EXPECT_EQ(url.rfind(L"file:", 0), 0u) << "a path becomes a file URL";

    const auto ids = Sequence(c, 0);
    const int before = IndexOf(ids, DISPID_BEFORENAVIGATE2);
    const int begin = IndexOf(ids, DISPID_DOWNLOADBEGIN);
    const int navigated = IndexOf(ids, DISPID_NAVIGATECOMPLETE2);
    const int title = IndexOf(ids, DISPID_TITLECHANGE);
    const int downloaded = IndexOf(ids, DISPID_DOWNLOADCOMPLETE);
    const int complete = IndexOf(ids, DISPID_DOCUMENTCOMPLETE);
    ASSERT_GE(before, 0);
    EXPECT_LT(before, begin);
    EXPECT_LT(begin, navigated);
    EXPECT_LT(navigated, title);
    EXPECT_LT(title, downloaded);
    EXPECT_LT(downloaded, complete);

    const Event beforeNavigate = c.Of(DISPID_BEFORENAVIGATE2).at(0);
    ASSERT_EQ(beforeNavigate.args.size(), 7u);
    EXPECT_EQ(beforeNavigate.args[0], L"<top>");
    EXPECT_EQ(beforeNavigate.args[1], L"&" + url);
    EXPECT_EQ(beforeNavigate.args[6], L"&false");
    const Event navigateComplete = c.Of(DISPID_NAVIGATECOMPLETE2).at(0);
    EXPECT_EQ(navigateComplete.args, (std::vector<std::wstring>{L"<top>", L"&" + url}));
    EXPECT_EQ(c.Of(DISPID_TITLECHANGE).back().args.at(0), L"Order test");
    EXPECT_EQ(c.Of(DISPID_DOCUMENTCOMPLETE).back().args, (std::vector<std::wstring>{L"<top>", L"&" + url}));
    EXPECT_EQ(LocationName(c), L"Order test");

    // Progress starts at 0 and ends at -1 after the document is complete.
    const auto progress = c.Of(DISPID_PROGRESSCHANGE);
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress.front().args.at(0), L"0");
    EXPECT_EQ(progress.back().args.at(0), L"-1");
    EXPECT_GT(c.Find(DISPID_PROGRESSCHANGE, c.Find(DISPID_DOCUMENTCOMPLETE)), 0);
    // The status text ends as "Done".
    EXPECT_EQ(c.Of(DISPID_STATUSTEXTCHANGE).back().args.at(0), L"Done");
    // Old-style sinks hear the same load.
    EXPECT_GE(c.Find(DISPID_BEFORENAVIGATE, 0, true), 0);
    EXPECT_GE(c.Find(DISPID_NAVIGATECOMPLETE, 0, true), 0);
    VARIANT_BOOL busy = VARIANT_TRUE;
    c.Browser()->get_Busy(&busy);
    EXPECT_EQ(busy, VARIANT_FALSE);
}

TEST_F(Control, CancellingBeforeNavigate2LoadsNothing) {
    HttpServer server;
    server.Serve("/blocked.html", 200, "text/html", "<title>Blocked</title>");
    Container c;
    ASSERT_EQ(c.CreateFromLibrary(L"8eframe.dll"), S_OK);
    ASSERT_TRUE(c.NavigateAndWait(L"about:blank"));
    c.cancelNavigation = [](const std::wstring& url) { return url.find(L"blocked") != std::wstring::npos; };
    const size_t from = c.events.size();
    BSTR url = SysAllocString(server.Url("/blocked.html").c_str());
    EXPECT_EQ(c.Browser()->Navigate(url, nullptr, nullptr, nullptr, nullptr), S_OK);
    SysFreeString(url);
    c.Pump([] { return false; }, 500);
    EXPECT_GE(c.Find(DISPID_BEFORENAVIGATE2, from), 0);
    EXPECT_EQ(c.Find(DISPID_DOWNLOADBEGIN, from), -1);
    EXPECT_EQ(c.Find(DISPID_NAVIGATECOMPLETE2, from), -1);
    EXPECT_EQ(c.Find(DISPID_DOCUMENTCOMPLETE, from), -1);
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(Location(c), L"about:blank");
}

TEST_F(Control, TheHostsSettingsAreReadBeforeEveryLoadAndHonoured) {
    HttpServer server;
    // A 1x1 GIF.
    const std::string gif("GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff!\xf9\x04\x01\x00\x00\x00\x00,"
                          "\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02D\x01\x00;", 43);
    server.Serve("/dot.gif", 200, "image/gif", gif);
    server.Serve("/page.html", 200, "text/html",
                 "<html><body><img src=\"dot.gif\" alt=\"dot\">"
                 "<script>document.write('<p>written</p>')</script></body></html>");
    Container c;
    ASSERT_EQ(c.CreateFromLibrary(L"7eframe.dll"), S_OK);

    // Images off, scripts off.
    c.downloadFlags = 0x4060 | DLCTL_NO_SCRIPTS;
    const int readsBefore = c.ambientReads;
    const int hostInfoBefore = c.hostInfoCalls;
    ASSERT_TRUE(c.NavigateAndWait(server.Url("/page.html")));
    EXPECT_GT(c.ambientReads, readsBefore);
    EXPECT_GT(c.hostInfoCalls, hostInfoBefore);
    auto imageRequests = [&] {
        int n = 0;
        for (const auto& r : server.Requests()) n += r.path == "/dot.gif";
        return n;
    };
    EXPECT_EQ(imageRequests(), 0);
    EXPECT_EQ(BodyText(c).find(L"written"), std::wstring::npos);
    // Scripts off: a javascript: address runs nothing.
    BSTR script = SysAllocString(L"javascript:window.external.Hello('no')");
    c.Browser()->Navigate(script, nullptr, nullptr, nullptr, nullptr);
    SysFreeString(script);
    EXPECT_TRUE(c.externalCalls.empty());

    // The host turns them back on; the next load sees it.
    c.downloadFlags = 0x4070;
    const int readsAgain = c.ambientReads;
    ASSERT_TRUE(c.NavigateAndWait(server.Url("/page.html")));
    EXPECT_GT(c.ambientReads, readsAgain);
    EXPECT_EQ(imageRequests(), 1);
    EXPECT_NE(BodyText(c).find(L"written"), std::wstring::npos);

    // A 3-D border unless the host asks for none.
    HWND window = c.ControlWindow();
    EXPECT_EQ(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
    c.hostFlags = DOCHOSTUIFLAG_THEME;
    ASSERT_TRUE(c.NavigateAndWait(L"about:blank"));
    EXPECT_NE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
}

TEST_F(Control, BackAndForwardWalkTheControlsOwnHistory) {
    const std::wstring a = temp_.WriteFile(L"a.html", "<title>A</title>");
    const std::wstring b = temp_.WriteFile(L"b.html", "<title>B</title>");
    const std::wstring d = temp_.WriteFile(L"d.html", "<title>D</title>");
    Container c;
    ASSERT_EQ(c.CreateFromLibrary(L"6hdocvw.dll"), S_OK);
    EXPECT_EQ(c.Browser()->GoBack(), E_FAIL) << "nothing to go back to";
    ASSERT_TRUE(c.NavigateAndWait(a));
    ASSERT_TRUE(c.NavigateAndWait(b));
    EXPECT_EQ(LocationName(c), L"B");

    auto waitTitle = [&](const wchar_t* title) {
        return c.Pump([&] { return !c.Of(DISPID_TITLECHANGE).empty() && c.Of(DISPID_TITLECHANGE).back().args[0] == title && c.Browser() && LocationName(c) == title; });
    };
    EXPECT_EQ(c.Browser()->GoBack(), S_OK);
    EXPECT_TRUE(waitTitle(L"A"));
    EXPECT_EQ(c.Browser()->GoBack(), E_FAIL);
    EXPECT_EQ(c.Browser()->GoForward(), S_OK);
    EXPECT_TRUE(waitTitle(L"B"));
    EXPECT_EQ(c.Browser()->GoForward(), E_FAIL);
    // Going back and then somewhere new drops the forward entries.
    EXPECT_EQ(c.Browser()->GoBack(), S_OK);
    EXPECT_TRUE(waitTitle(L"A"));
    ASSERT_TRUE(c.NavigateAndWait(d));
    EXPECT_EQ(c.Browser()->GoForward(), E_FAIL);
    // The back and forward states are announced.
    const auto states = c.Of(DISPID_COMMANDSTATECHANGE);
    ASSERT_GE(states.size(), 2u);
    EXPECT_EQ(states[states.size() - 2].args, (std::vector<std::wstring>{L"2", L"true"}));
    EXPECT_EQ(states.back().args, (std::vector<std::wstring>{L"1", L"false"}));
}

TEST_F(Control, NavigateErrorReportsTheStatusAndShowsTheControlsErrorPage) {
    HttpServer server;
    Container c;
    ASSERT_EQ(c.CreateFromLibrary(L"8eframe.dll"), S_OK);
    const std::wstring missing = server.Url("/missing.html");
    ASSERT_TRUE(c.NavigateAndWait(missing));
    const auto errors = c.Of(DISPID_NAVIGATEERROR);
    ASSERT_EQ(errors.size(), 1u);
    ASSERT_EQ(errors[0].args.size(), 5u);
    EXPECT_EQ(errors[0].args[0], L"<top>");
    EXPECT_EQ(errors[0].args[1], L"&" + missing);
    EXPECT_EQ(errors[0].args[3], L"&404");
    EXPECT_EQ(Location(c), missing);
    EXPECT_NE(LocationName(c).find(L"404"), std::wstring::npos);
    EXPECT_NE(BodyText(c).find(L"cannot be found"), std::wstring::npos);

    // A refused connection reports a failure code, not an HTTP status.
    const std::wstring refused = L"http://127.0.0.1:1/nothing.html";
    const size_t from = c.events.size();
    ASSERT_TRUE(c.NavigateAndWait(refused));
    const int error = c.Find(DISPID_NAVIGATEERROR, from);
    ASSERT_GE(error, 0);
    EXPECT_EQ(c.events[error].args[3].rfind(L"&-", 0), 0u) << "a negative HRESULT: " << c.events[error].args[3].c_str();

    // A host that cancels the error keeps the page it had.
    c.cancelNavigateError = true;
    const size_t later = c.events.size();
    BSTR url = SysAllocString(missing.c_str());
    c.Browser()->Navigate(url, nullptr, nullptr, nullptr, nullptr);
    SysFreeString(url);
    EXPECT_TRUE(c.WaitFor(DISPID_NAVIGATEERROR, later));
    EXPECT_TRUE(c.WaitFor(DISPID_DOWNLOADCOMPLETE, later));
    EXPECT_EQ(c.Find(DISPID_DOCUMENTCOMPLETE, later), -1);
    EXPECT_EQ(Location(c), refused);
}

TEST_F(Control, EachVersionSendsItsOwnUserAgentAndReadsItsOwnConditionalComments) {
    HttpServer server;
    server.Serve("/cc.html", 200, "text/html; charset=utf-8",
                 "<html><body><!--[if IE 7]><p>seven</p><![endif]-->"
                 "<!--[if lt IE 7]><p>older</p><![endif]-->"
                 "<!--[if gte IE 8]><p>eight or later</p><![endif]--></body></html>");
    for (const auto& library : kLibraries) {
        SCOPED_TRACE(library.token);
        Container c;
        ASSERT_EQ(c.CreateFromLibrary(library.file), S_OK);
        const size_t seen = server.Requests().size();
        ASSERT_TRUE(c.NavigateAndWait(server.Url("/cc.html")));
        const auto requests = server.Requests();
        ASSERT_GT(requests.size(), seen);
        const std::string agent = requests.back().headers.count("user-agent") ? requests.back().headers.at("user-agent") : "";
        EXPECT_NE(agent.find(library.token), std::string::npos) << agent;
        const std::wstring text = BodyText(c);
        const bool seven = library.code == L'7';
        const bool older = library.code == L'5' || library.code == L'6';
        const bool later = library.code == L'8' || library.code == L'9';
        EXPECT_EQ(text.find(L"seven") != std::wstring::npos, seven) << text.c_str();
        EXPECT_EQ(text.find(L"older") != std::wstring::npos, older) << text.c_str();
        EXPECT_EQ(text.find(L"eight or later") != std::wstring::npos, later) << text.c_str();
    }
}

TEST_F(Control, PageScriptCallsTheHostsExternalObjectWithConvertedArguments) {
    Container c;
    ASSERT_EQ(c.CreateFromLibrary(L"7eframe.dll"), S_OK);
    ASSERT_TRUE(c.NavigateAndWait(L"about:blank"));
    BSTR script = SysAllocString(L"javascript:window.external.Hello('from the page', 42, true, 2.5, null)");
    EXPECT_EQ(c.Browser()->Navigate(script, nullptr, nullptr, nullptr, nullptr), S_OK);
    SysFreeString(script);
    ASSERT_EQ(c.externalCalls.size(), 1u);
    EXPECT_EQ(c.externalCalls[0], (std::vector<std::wstring>{L"Hello", L"8:from the page", L"3:42", L"11:true",
                                                             L"5:2.5", L"1:null"}));

    // An unknown method and a host without an external object are script
    // errors shown in the status text.
    const size_t from = c.events.size();
    script = SysAllocString(L"javascript:window.external.Missing(1)");
    c.Browser()->Navigate(script, nullptr, nullptr, nullptr, nullptr);
    SysFreeString(script);
    const int status = c.Find(DISPID_STATUSTEXTCHANGE, from);
    ASSERT_GE(status, 0);
    EXPECT_NE(c.events[status].args[0].find(L"Error on page"), std::wstring::npos);
    c.giveExternal = false;
    const size_t later = c.events.size();
    script = SysAllocString(L"javascript:window.external.Hello(1)");
    c.Browser()->Navigate(script, nullptr, nullptr, nullptr, nullptr);
    SysFreeString(script);
    EXPECT_EQ(c.externalCalls.size(), 1u);
    EXPECT_GE(c.Find(DISPID_STATUSTEXTCHANGE, later), 0);
    // javascript: runs in the page: no navigation events.
    EXPECT_EQ(c.Find(DISPID_BEFORENAVIGATE2, from), -1);
}

TEST_F(Control, ClickedLinksNavigateOpenNewWindowsAndRunTheirHandlers) {
    const std::wstring target = temp_.WriteFile(L"target.html", "<title>Target</title>");
    const std::wstring page = temp_.WriteFile(L"links.html",
        "<html><body style=\"margin:0\"><h1><a href=\"target.html\">Same window link</a></h1>"
        "<h1><a href=\"target.html\" target=\"_blank\">New window link</a></h1>"
        "<h1><a href=\"target.html\" onclick=\"window.external.Add('clicked'); return false\">Handler link</a></h1>"
        "</body></html>");
    Container c;
    ASSERT_EQ(c.CreateFromLibrary(L"8eframe.dll"), S_OK);
    ASSERT_TRUE(c.NavigateAndWait(page));
    HWND window = c.ControlWindow();
    UpdateWindow(window);
    c.Pump([] { return false; }, 100);

    // Find the links by their status text under the pointer.
    auto linkAt = [&](int y) {
        const size_t from = c.events.size();
        SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(400, 400));
        SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(40, y));
        const int status = c.Find(DISPID_STATUSTEXTCHANGE, from);
        return status >= 0 ? c.events[status].args[0] : std::wstring();
    };
    int newWindowY = -1, handlerY = -1;
    // Click the second heading's link: old-style NewWindow, processed by the host.
    int lastY = -100;
    std::vector<int> bands;
    for (int y = 5; y < 300; y += 3) {
        if (linkAt(y).find(L"target.html") != std::wstring::npos) {
            if (y - lastY > 6) bands.push_back(y);
            lastY = y;
        }
    }
    ASSERT_EQ(bands.size(), 3u) << "three links under the pointer";
    newWindowY = bands[1] + 2;
    handlerY = bands[2] + 2;

    size_t from = c.events.size();
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, newWindowY));
    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(40, newWindowY));
    const auto newWindows = c.Of(DISPID_NEWWINDOW, true);
    ASSERT_EQ(newWindows.size(), 1u);
    EXPECT_NE(newWindows[0].args.at(0).find(L"target.html"), std::wstring::npos);
    EXPECT_EQ(newWindows[0].args.at(2), L"_blank");
    EXPECT_GE(c.Find(DISPID_NEWWINDOW2, from), 0);
    c.Pump([] { return false; }, 200);
    EXPECT_EQ(c.Find(DISPID_BEFORENAVIGATE2, from), -1) << "the host processed the new window";

    // The handler runs and its "return false" keeps the link from opening.
    from = c.events.size();
    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(40, handlerY));
    ASSERT_EQ(c.externalCalls.size(), 1u);
    EXPECT_EQ(c.externalCalls[0], (std::vector<std::wstring>{L"Add", L"8:clicked"}));
    c.Pump([] { return false; }, 200);
    EXPECT_EQ(c.Find(DISPID_BEFORENAVIGATE2, from), -1);

    // An ordinary link navigates.
    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(40, bands[0] + 2));
    EXPECT_TRUE(c.Pump([&] { return LocationName(c) == L"Target"; }));
}

TEST_F(Control, APageClosingItselfAsksTheHostFirst) {
    Container c;
    ASSERT_EQ(c.CreateFromLibrary(L"7eframe.dll"), S_OK);
    ASSERT_TRUE(c.NavigateAndWait(L"about:blank"));
    HWND window = c.ControlWindow();
    c.cancelWindowClosing = true;
    BSTR close = SysAllocString(L"javascript:window.close()");
    c.Browser()->Navigate(close, nullptr, nullptr, nullptr, nullptr);
    const auto closing = c.Of(DISPID_WINDOWCLOSING);
    ASSERT_EQ(closing.size(), 1u);
    EXPECT_EQ(closing[0].args, (std::vector<std::wstring>{L"false", L"&false"}));
    c.Pump([] { return false; }, 200);
    EXPECT_TRUE(IsWindow(window)) << "the host refused";

    c.cancelWindowClosing = false;
    c.Browser()->Navigate(close, nullptr, nullptr, nullptr, nullptr);
    SysFreeString(close);
    EXPECT_TRUE(c.Pump([&] { return !IsWindow(window); }));
    EXPECT_EQ(c.inPlaceDeactivations, 1);
}

TEST_F(Control, UnloadQuestionFollowsThePagesHandlerAndTheUsersAnswer) {
    const std::wstring asking = temp_.WriteFile(L"ask.html",
        "<html><body onbeforeunload=\"return 'You have unsaved changes.'\">Form</body></html>");
    Container c;
    ASSERT_EQ(c.CreateFromLibrary(L"8eframe.dll"), S_OK);
    ASSERT_TRUE(c.NavigateAndWait(L"about:blank"));
    auto ask = [&]() {
        VARIANT out;
        VariantInit(&out);
        V_VT(&out) = VT_BOOL;
        V_BOOL(&out) = VARIANT_TRUE;
        const HRESULT hr = c.Browser()->ExecWB(OLECMDID_ONUNLOAD, OLECMDEXECOPT_DODEFAULT, nullptr, &out);
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(V_VT(&out), VT_BOOL);
        return V_BOOL(&out) != VARIANT_FALSE;
    };
    EXPECT_TRUE(ask()) << "a page without a handler may always go";

    ASSERT_TRUE(c.NavigateAndWait(asking));
    {
        MessageBoxAnswer stay(GetCurrentThreadId(), IDCANCEL);
        EXPECT_FALSE(ask());
        EXPECT_NE(stay.Join().find(L"You have unsaved changes."), std::wstring::npos);
    }
    {
        MessageBoxAnswer leave(GetCurrentThreadId(), IDOK);
        EXPECT_TRUE(ask());
        EXPECT_NE(leave.Join().find(L"You have unsaved changes."), std::wstring::npos);
    }
    // With scripts switched off the handler does not run.
    c.downloadFlags = 0x4070 | DLCTL_NO_SCRIPTS;
    ASSERT_TRUE(c.NavigateAndWait(asking));
    EXPECT_TRUE(ask());
}

TEST_F(Control, TextSizeLevelsChangeThePictureOfThePage) {
    const std::wstring page = temp_.WriteFile(L"text.html",
        "<html><body><p>Some text to measure at several sizes, long enough to fill a line or two "
        "of the picture.</p></body></html>");
    Container c;
    ASSERT_EQ(c.CreateFromLibrary(L"7eframe.dll"), S_OK);
    ASSERT_TRUE(c.NavigateAndWait(page));
    auto setLevel = [&](int level) {
        VARIANT in, out;
        VariantInit(&in);
        VariantInit(&out);
        V_VT(&in) = VT_I4;
        V_I4(&in) = level;
        const HRESULT hr = c.Browser()->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, &in, &out);
        return hr == S_OK && V_VT(&out) == VT_I4 && V_I4(&out) == level;
    };
    ASSERT_TRUE(setLevel(0));
    IHTMLDocument2* document = Document(c);
    ASSERT_NE(document, nullptr);
    const int smallest = InkOf(document, 400, 300);
    ASSERT_TRUE(setLevel(4));
    const int largest = InkOf(document, 400, 300);
    document->Release();
    EXPECT_GT(smallest, 0);
    EXPECT_GT(largest, smallest * 3 / 2);
    VARIANT in;
    VariantInit(&in);
    V_VT(&in) = VT_I4;
    V_I4(&in) = 5;
    EXPECT_EQ(c.Browser()->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, &in, nullptr), E_INVALIDARG);
    // The control's own picture is the page too.
    EXPECT_GT(InkOf(c.Control(), 400, 300), 0);
}

TEST_F(Control, KeysGoToTheHostBeforeTheControlActsOnThem) {
    const std::wstring page = temp_.WriteFile(L"keys.html", "<title>Keys</title>");
    Container c;
    ASSERT_EQ(c.CreateFromLibrary(L"8eframe.dll"), S_OK);
    ASSERT_TRUE(c.NavigateAndWait(page));
    IOleInPlaceActiveObject* active = nullptr;
    ASSERT_EQ(c.Control()->QueryInterface(IID_IOleInPlaceActiveObject, reinterpret_cast<void**>(&active)), S_OK);
    MSG f5{c.ControlWindow(), WM_KEYDOWN, VK_F5, 0, 0, {0, 0}};

    c.acceleratorAnswer = S_OK;  // the host translates it
    size_t from = c.events.size();
    EXPECT_EQ(active->TranslateAccelerator(&f5), S_OK);
    EXPECT_EQ(c.acceleratorCalls, 1);
    c.Pump([] { return false; }, 200);
    EXPECT_EQ(c.Find(DISPID_DOWNLOADBEGIN, from), -1);

    c.acceleratorAnswer = S_FALSE;  // the host lets it through: the control refreshes
    from = c.events.size();
    EXPECT_EQ(active->TranslateAccelerator(&f5), S_OK);
    EXPECT_EQ(c.acceleratorCalls, 2);
    EXPECT_TRUE(c.WaitFor(DISPID_DOWNLOADCOMPLETE, from));
    EXPECT_EQ(c.Find(DISPID_BEFORENAVIGATE2, from), -1) << "a refresh is no navigation";

    MSG letter{c.ControlWindow(), WM_KEYDOWN, 'A', 0, 0, {0, 0}};
    EXPECT_EQ(active->TranslateAccelerator(&letter), S_FALSE);
    EXPECT_EQ(c.acceleratorCalls, 3);
    MSG mouse{c.ControlWindow(), WM_LBUTTONDOWN, 0, 0, 0, {0, 0}};
    EXPECT_EQ(active->TranslateAccelerator(&mouse), S_FALSE);
    EXPECT_EQ(c.acceleratorCalls, 3) << "only keys are offered";
    active->Release();
}

TEST_F(Control, AutomationByDispatchIdentifierReachesTheSameControl) {
    const std::wstring page = temp_.WriteFile(L"dispatch.html", "<title>By number</title><p>x</p>");
    Container c;
    ASSERT_EQ(c.CreateFromLibrary(L"5hdocvw.dll"), S_OK);
    IDispatch* dispatch = c.Browser();
    auto invoke = [&](DISPID id, WORD flags, std::vector<VARIANT> args, VARIANT* result) {
        std::reverse(args.begin(), args.end());
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{args.empty() ? nullptr : args.data(), (flags & DISPATCH_PROPERTYPUT) ? &named : nullptr,
                          static_cast<UINT>(args.size()), (flags & DISPATCH_PROPERTYPUT) ? 1u : 0u};
        return dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
    };
    VARIANT url, empty, result;
    VariantInit(&url);
    VariantInit(&empty);
    VariantInit(&result);
    V_VT(&url) = VT_BSTR;
    V_BSTR(&url) = SysAllocString(page.c_str());
    const size_t from = c.events.size();
    ASSERT_EQ(invoke(104, DISPATCH_METHOD, {url, empty, empty, empty, empty}, nullptr), S_OK);
    VariantClear(&url);
    ASSERT_TRUE(c.WaitFor(DISPID_DOCUMENTCOMPLETE, from));

    ASSERT_EQ(invoke(210, DISPATCH_PROPERTYGET, {}, &result), S_OK);
    EXPECT_EQ(V_VT(&result), VT_BSTR);
    EXPECT_STREQ(V_BSTR(&result), L"By number");
    VariantClear(&result);
    ASSERT_EQ(invoke(211, DISPATCH_PROPERTYGET, {}, &result), S_OK);
    EXPECT_EQ(std::wstring(V_BSTR(&result)).rfind(L"file:", 0), 0u);
    VariantClear(&result);
    ASSERT_EQ(invoke(203, DISPATCH_PROPERTYGET, {}, &result), S_OK);
    ASSERT_EQ(V_VT(&result), VT_DISPATCH);
    IHTMLDocument2* document = nullptr;
    EXPECT_EQ(V_DISPATCH(&result)->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&document)), S_OK);
    if (document) document->Release();
    VariantClear(&result);
    ASSERT_EQ(invoke(200, DISPATCH_PROPERTYGET, {}, &result), S_OK);
    EXPECT_EQ(browser_test::RenderArgument(result, c.Control()), L"<top>");
    VariantClear(&result);

    VARIANT no;
    VariantInit(&no);
    V_VT(&no) = VT_BOOL;
    V_BOOL(&no) = VARIANT_FALSE;
    EXPECT_EQ(invoke(553, DISPATCH_PROPERTYPUT, {no}, nullptr), S_OK);
    VARIANT_BOOL drop = VARIANT_TRUE;
    c.Browser()->get_RegisterAsDropTarget(&drop);
    EXPECT_EQ(drop, VARIANT_FALSE);

    // ExecWB (502) with the text size, and Refresh (-550), Stop (106).
    VARIANT command, option, level, out;
    VariantInit(&command);
    VariantInit(&option);
    VariantInit(&level);
    VariantInit(&out);
    V_VT(&command) = VT_I4;
    V_I4(&command) = OLECMDID_ZOOM;
    V_VT(&option) = VT_I4;
    V_I4(&option) = OLECMDEXECOPT_DONTPROMPTUSER;
    V_VT(&level) = VT_I4;
    V_I4(&level) = 1;
    VARIANT outRef;
    VariantInit(&outRef);
    V_VT(&outRef) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&outRef) = &out;
    EXPECT_EQ(invoke(502, DISPATCH_METHOD, {command, option, level, outRef}, nullptr), S_OK);
    EXPECT_EQ(V_VT(&out), VT_I4);
    EXPECT_EQ(V_I4(&out), 1);
    const size_t refresh = c.events.size();
    EXPECT_EQ(invoke(DISPID_REFRESH, DISPATCH_METHOD, {}, nullptr), S_OK);
    EXPECT_EQ(invoke(106, DISPATCH_METHOD, {}, nullptr), S_OK);
    EXPECT_GE(c.Find(DISPID_DOWNLOADBEGIN, refresh), 0);
    EXPECT_EQ(invoke(100, DISPATCH_METHOD, {}, nullptr), E_FAIL) << "GoBack with no history";
    EXPECT_EQ(invoke(9999, DISPATCH_METHOD, {}, nullptr), DISP_E_MEMBERNOTFOUND);

    // Names map to the same identifiers.
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"LocationURL")};
    DISPID id = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    EXPECT_EQ(id, 211);
}

TEST_F(Control, FramesFinishBeforeTheirPageAndAreReachedThroughTheFramesCollection) {
    temp_.WriteFile(L"left.html", "<title>Left frame</title><p>left</p>");
    temp_.WriteFile(L"right.html", "<title>Right frame</title><p>right</p>");
    const std::wstring page = temp_.WriteFile(L"frames.html",
        "<html><head><title>Frames</title></head><frameset cols=\"30%,*\">"
        "<frame src=\"left.html\" name=\"left\"><frame src=\"right.html\" name=\"right\"></frameset></html>");
    Container c;
    ASSERT_EQ(c.CreateFromLibrary(L"7eframe.dll"), S_OK);
    ASSERT_TRUE(c.NavigateAndWait(page));
    const auto completes = c.Of(DISPID_DOCUMENTCOMPLETE);
    ASSERT_EQ(completes.size(), 3u);
    EXPECT_EQ(completes[0].args[0], L"<object>");
    EXPECT_NE(completes[0].args[1].find(L"left.html"), std::wstring::npos);
    EXPECT_EQ(completes[1].args[0], L"<object>");
    EXPECT_EQ(completes[2].args[0], L"<top>");

    IHTMLDocument2* document = Document(c);
    ASSERT_NE(document, nullptr);
    IHTMLFramesCollection2* frames = nullptr;
    ASSERT_EQ(document->get_frames(&frames), S_OK);
    LONG length = 0;
    EXPECT_EQ(frames->get_length(&length), S_OK);
    EXPECT_EQ(length, 2);
    VARIANT index, item;
    VariantInit(&index);
    VariantInit(&item);
    V_VT(&index) = VT_I4;
    V_I4(&index) = 1;
    ASSERT_EQ(frames->item(&index, &item), S_OK);
    ASSERT_EQ(V_VT(&item), VT_DISPATCH);
    IHTMLWindow2* window = nullptr;
    ASSERT_EQ(V_DISPATCH(&item)->QueryInterface(IID_IHTMLWindow2, reinterpret_cast<void**>(&window)), S_OK);
    IHTMLDocument2* frameDocument = nullptr;
    ASSERT_EQ(window->get_document(&frameDocument), S_OK);
    BSTR title = nullptr;
    frameDocument->get_title(&title);
    EXPECT_STREQ(title, L"Right frame");
    SysFreeString(title);
    frameDocument->Release();
    window->Release();
    VariantClear(&item);
    frames->Release();
    // Both frames are drawn in the picture of the page.
    EXPECT_GT(InkOf(document, 600, 300), 0);
    document->Release();
}

TEST_F(Control, PrintGoesThroughTheSystemsPrintDialog) {
    const std::wstring page = temp_.WriteFile(L"print.html", "<title>Print me</title><p>paper</p>");
    Container c;
    ASSERT_EQ(c.CreateFromLibrary(L"8eframe.dll"), S_OK);
    ASSERT_TRUE(c.NavigateAndWait(page));
    IOleCommandTarget* commands = nullptr;
    ASSERT_EQ(c.Control()->QueryInterface(IID_IOleCommandTarget, reinterpret_cast<void**>(&commands)), S_OK);
    OLECMD query[2] = {{IDM_PRINT, 0}, {IDM_PRINTPREVIEW, 0}};
    EXPECT_EQ(commands->QueryStatus(&kCgidMshtml, 2, query, nullptr), S_OK);
    EXPECT_EQ(query[0].cmdf, DWORD(OLECMDF_SUPPORTED | OLECMDF_ENABLED));
    // The dialog (or the system's note that no printer is installed) appears
    // on this thread; the user cancels it, which is no failure.
    {
        MessageBoxAnswer cancel(GetCurrentThreadId(), IDCANCEL);
        const HRESULT hr = commands->Exec(&kCgidMshtml, IDM_PRINT, 0, nullptr, nullptr);
        const std::wstring shown = cancel.Join();
        EXPECT_TRUE(hr == S_OK || hr == E_FAIL) << std::hex << hr;
        EXPECT_FALSE(shown.empty() && hr == S_OK) << "a cancelled print showed a dialog";
    }
    // Print preview opens a window of its own showing the page.
    const DWORD thread = GetCurrentThreadId();
    EXPECT_EQ(commands->Exec(&kCgidMshtml, IDM_PRINTPREVIEW, 0, nullptr, nullptr), S_OK);
    HWND preview = nullptr;
    EnumThreadWindows(thread, FindPreview, reinterpret_cast<LPARAM>(&preview));
    ASSERT_NE(preview, nullptr);
    DestroyWindow(preview);
    EXPECT_EQ(commands->Exec(&kCgidMshtml, 123456, 0, nullptr, nullptr), OLECMDERR_E_NOTSUPPORTED);
    GUID other = kCgidMshtml;
    other.Data1 ^= 1;
    EXPECT_EQ(commands->Exec(&other, IDM_PRINT, 0, nullptr, nullptr), OLECMDERR_E_UNKNOWNGROUP);
    commands->Release();
}

}  // namespace

namespace {

// The zoom a host applies: a DIV wrapper with a CSS zoom inserted around the
// whole body through the markup services, found again by its id later.
bool HostZoom(IHTMLDocument2* document, int percent) {
    const std::wstring id = L"__bm__fennickbar__zoom__";
    wchar_t zoomText[16];
    swprintf(zoomText, 16, L"%d%%", percent);
    IHTMLElement* body = nullptr;
    if (FAILED(document->get_body(&body)) || !body) return false;
    bool done = false;
    IDispatch* allDispatch = nullptr;
    IHTMLElementCollection* all = nullptr;
    if (SUCCEEDED(body->get_all(&allDispatch)) && allDispatch &&
        SUCCEEDED(allDispatch->QueryInterface(IID_IHTMLElementCollection, reinterpret_cast<void**>(&all)))) {
        VARIANT zero;
        VariantInit(&zero);
        V_VT(&zero) = VT_I4;
        V_I4(&zero) = 0;
        IDispatch* first = nullptr;
        IHTMLElement* element = nullptr;
        BSTR firstId = nullptr;
        if (SUCCEEDED(all->item(zero, zero, &first)) && first &&
            SUCCEEDED(first->QueryInterface(IID_IHTMLElement, reinterpret_cast<void**>(&element))) &&
            SUCCEEDED(element->get_id(&firstId)) && firstId && id == firstId) {
            IHTMLStyle* style = nullptr;
            IHTMLStyle3* style3 = nullptr;
            if (SUCCEEDED(element->get_style(&style)) &&
                SUCCEEDED(style->QueryInterface(__uuidof(IHTMLStyle3), reinterpret_cast<void**>(&style3)))) {
                VARIANT value;
                VariantInit(&value);
                V_VT(&value) = VT_BSTR;
                V_BSTR(&value) = SysAllocString(zoomText);
                done = SUCCEEDED(style3->put_zoom(value));
                VariantClear(&value);
                style3->Release();
            }
            if (style) style->Release();
        } else {
            IMarkupServices* services = nullptr;
            IMarkupContainer* container = nullptr;
            IMarkupPointer* start = nullptr;
            IMarkupPointer* finish = nullptr;
            IHTMLElement* wrapper = nullptr;
            const std::wstring attributes = L"ID = \"" + id + L"\" NAME=\"" + id +
                                            L"\" STYLE=\"position: relative;zoom: " + zoomText + L"\"";
            done = SUCCEEDED(document->QueryInterface(__uuidof(IMarkupServices), reinterpret_cast<void**>(&services))) &&
                   SUCCEEDED(document->QueryInterface(__uuidof(IMarkupContainer), reinterpret_cast<void**>(&container))) &&
                   SUCCEEDED(services->CreateMarkupPointer(&start)) &&
                   SUCCEEDED(services->CreateMarkupPointer(&finish)) &&
                   SUCCEEDED(start->MoveAdjacentToElement(body, ELEM_ADJ_AfterBegin)) &&
                   SUCCEEDED(finish->MoveAdjacentToElement(body, ELEM_ADJ_BeforeEnd)) &&
                   SUCCEEDED(services->CreateElement(TAGID_DIV, const_cast<OLECHAR*>(attributes.c_str()), &wrapper)) &&
                   SUCCEEDED(services->InsertElement(wrapper, start, finish));
            for (IUnknown* p : std::initializer_list<IUnknown*>{services, container, start, finish, wrapper})
                if (p) p->Release();
        }
        SysFreeString(firstId);
        if (element) element->Release();
        if (first) first->Release();
    }
    if (all) all->Release();
    if (allDispatch) allDispatch->Release();
    body->Release();
    return done;
}

TEST_F(Control, AHostsZoomWrapperScalesThePageTheControlShows) {
    const std::wstring page = temp_.WriteFile(L"zoom.html",
        "<html><body><p>Zoom me: this paragraph grows with the wrapper around the body.</p></body></html>");
    Container c;
    ASSERT_EQ(c.CreateFromLibrary(L"8eframe.dll"), S_OK);
    ASSERT_TRUE(c.NavigateAndWait(page));
    const int plain = InkOf(c.Control(), 500, 400);
    IHTMLDocument2* document = Document(c);
    ASSERT_NE(document, nullptr);
    ASSERT_TRUE(HostZoom(document, 200));
    const int zoomed = InkOf(c.Control(), 500, 400);
    EXPECT_GT(zoomed, plain * 2) << plain << " dark pixels before";
    // The second request finds the wrapper again and changes it.
    ASSERT_TRUE(HostZoom(document, 100));
    EXPECT_EQ(InkOf(c.Control(), 500, 400), plain);
    EXPECT_EQ(BodyText(c).find(L"Zoom me"), 0u);
    document->Release();
}

}  // namespace

namespace {

TEST_F(Control, BinaryAndMalformedPagesLoadWithoutHarm) {
    std::string garbage;
    unsigned seed = 12345;
    for (int i = 0; i < 300000; ++i) {
        seed = seed * 1103515245 + 12345;
        garbage += static_cast<char>((seed >> 16) & 0xFF);
    }
    const std::wstring binary = temp_.WriteFile(L"noise.html", garbage);
    const std::wstring broken = temp_.WriteFile(L"broken.html",
        "<html><body><table><tr><td><a href=\"javascript:'\">x<img src=\"\x01\"><frameset cols=\"-5%,abc\">"
        "<iframe src=\"broken.html\"><b><i><u><p></td><!--[if IE 7 &&]><p>x</p><![endif]--><script>document.write(");
    Container c;
    ASSERT_EQ(c.CreateFromLibrary(L"7eframe.dll"), S_OK);
    ASSERT_TRUE(c.NavigateAndWait(binary));
    EXPECT_GT(InkOf(c.Control(), 300, 200), 0);
    ASSERT_TRUE(c.NavigateAndWait(broken));
    HWND window = c.ControlWindow();
    UpdateWindow(window);
    for (int y = 0; y < 200; y += 7) {
        SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(20, y));
        SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(20, y));
    }
    c.Pump([] { return false; }, 300);
    EXPECT_TRUE(IsWindow(window));
    IHTMLDocument2* document = Document(c);
    ASSERT_NE(document, nullptr);
    document->Release();
}

}  // namespace

namespace {

TEST_F(Control, AlertsShowTheEnginesMessageBoxUnlessTheControlIsSilent) {
    Container c;
    ASSERT_EQ(c.CreateFromLibrary(L"5hdocvw.dll"), S_OK);
    ASSERT_TRUE(c.NavigateAndWait(L"about:blank"));
    BSTR alert = SysAllocString(L"javascript:alert('Hello from the page')");
    {
        MessageBoxAnswer ok(GetCurrentThreadId(), IDOK);
        c.Browser()->Navigate(alert, nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(ok.Join(), L"Hello from the page");
    }
    c.Browser()->put_Silent(VARIANT_TRUE);
    {
        MessageBoxAnswer none(GetCurrentThreadId(), IDOK, 500);
        c.Browser()->Navigate(alert, nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(none.Join(), L"");
    }
    SysFreeString(alert);
}

}  // namespace

namespace {

TEST_F(Control, LinksInFramesNavigateTheirFrameOrTheFrameTheyName) {
    temp_.WriteFile(L"menu.html",
        "<html><body><h1><a href=\"one.html\" target=\"content\">Open one on the right</a></h1>"
        "<h1><a href=\"two.html\">Open two here</a></h1></body></html>");
    temp_.WriteFile(L"start.html", "<title>Start</title><p>start</p>");
    temp_.WriteFile(L"one.html", "<title>One</title><p>one</p>");
    temp_.WriteFile(L"two.html", "<title>Two</title><p>two</p>");
    const std::wstring page = temp_.WriteFile(L"frameset.html",
        "<html><head><title>Frameset</title></head><frameset cols=\"50%,*\">"
        "<frame src=\"menu.html\" name=\"menu\"><frame src=\"start.html\" name=\"content\"></frameset></html>");
    Container c;
    ASSERT_EQ(c.CreateFromLibrary(L"7eframe.dll"), S_OK);
    ASSERT_TRUE(c.NavigateAndWait(page));
    const std::wstring top = Location(c);
    HWND window = c.ControlWindow();
    UpdateWindow(window);

    auto frameTitle = [&](LONG index) {
        std::wstring result = L"<none>";
        IHTMLDocument2* document = Document(c);
        IHTMLFramesCollection2* frames = nullptr;
        if (document && SUCCEEDED(document->get_frames(&frames))) {
            VARIANT at, item;
            VariantInit(&at);
            VariantInit(&item);
            V_VT(&at) = VT_I4;
            V_I4(&at) = index;
            IHTMLWindow2* frame = nullptr;
            IHTMLDocument2* inner = nullptr;
            if (SUCCEEDED(frames->item(&at, &item)) && V_VT(&item) == VT_DISPATCH &&
                SUCCEEDED(V_DISPATCH(&item)->QueryInterface(IID_IHTMLWindow2, reinterpret_cast<void**>(&frame))) &&
                SUCCEEDED(frame->get_document(&inner))) {
                BSTR title = nullptr;
                inner->get_title(&title);
                result = title ? title : L"";
                SysFreeString(title);
            }
            if (inner) inner->Release();
            if (frame) frame->Release();
            VariantClear(&item);
            frames->Release();
        }
        if (document) document->Release();
        return result;
    };
    ASSERT_EQ(frameTitle(1), L"Start");

    // The two links of the menu frame, found by their status text.
    std::vector<std::pair<int, std::wstring>> links;
    int lastY = -100;
    for (int y = 5; y < 300; y += 3) {
        const size_t from = c.events.size();
        SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(390, 590));
        SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(40, y));
        const int status = c.Find(DISPID_STATUSTEXTCHANGE, from);
        const std::wstring text = status >= 0 ? c.events[status].args[0] : L"";
        if (text.find(L".html") != std::wstring::npos) {
            if (y - lastY > 6) links.emplace_back(y + 2, text);
            lastY = y;
        }
    }
    ASSERT_EQ(links.size(), 2u);
    EXPECT_NE(links[0].second.find(L"one.html"), std::wstring::npos);

    // target="content": the other frame loads; the top page stays.
    size_t from = c.events.size();
    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(40, links[0].first));
    ASSERT_TRUE(c.WaitFor(DISPID_DOCUMENTCOMPLETE, from));
    EXPECT_EQ(frameTitle(1), L"One");
    EXPECT_EQ(frameTitle(0), L"");  // the menu has no title of its own
    const Event before = c.events[c.Find(DISPID_BEFORENAVIGATE2, from)];
    EXPECT_EQ(before.args[0], L"<object>");
    EXPECT_EQ(before.args[3], L"&content");
    EXPECT_EQ(c.events[c.Find(DISPID_DOCUMENTCOMPLETE, from)].args[0], L"<object>");
    EXPECT_EQ(Location(c), top);
    EXPECT_EQ(c.Find(DISPID_BEFORENAVIGATE, from, true), -1) << "old-style events know only the top page";

    // No target: the menu frame itself navigates.
    from = c.events.size();
    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(40, links[1].first));
    ASSERT_TRUE(c.WaitFor(DISPID_DOCUMENTCOMPLETE, from));
    EXPECT_EQ(frameTitle(0), L"Two");
    EXPECT_EQ(frameTitle(1), L"One");
    EXPECT_EQ(Location(c), top);
}

// Counts the onscroll events of a window it is advised on.
class ScrollSink final : public IDispatch {
public:
    int scrolls = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch)) return E_NOINTERFACE;
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // on the test's stack
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { return *n = 0, S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        if (id == DISPID_HTMLWINDOWEVENTS2_ONSCROLL) ++scrolls;
        return S_OK;
    }
    ULONG refs() const { return refs_; }

private:
    ULONG refs_ = 0;
};

// The window of a document, and the HTMLWindowEvents2 point of it.
IConnectionPoint* WindowEventsOf(IHTMLDocument2* document) {
    IHTMLWindow2* window = nullptr;
    if (FAILED(document->get_parentWindow(&window)) || !window) return nullptr;
    IConnectionPointContainer* container = nullptr;
    IConnectionPoint* point = nullptr;
    if (SUCCEEDED(window->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)))) {
        // DIID_HTMLWindowEvents2
        const IID events = {0x3050F625, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
        container->FindConnectionPoint(events, &point);
        container->Release();
    }
    window->Release();
    return point;
}

IHTMLElement2* BodyOf(IHTMLDocument2* document) {
    IHTMLElement* body = nullptr;
    IHTMLElement2* body2 = nullptr;
    if (SUCCEEDED(document->get_body(&body)) && body) {
        body->QueryInterface(IID_IHTMLElement2, reinterpret_cast<void**>(&body2));
        body->Release();
    }
    return body2;
}

LONG Get(IHTMLElement2* e, HRESULT (STDMETHODCALLTYPE IHTMLElement2::*getter)(LONG*)) {
    LONG value = -1;
    return SUCCEEDED((e->*getter)(&value)) ? value : -1;
}

TEST_F(Control, ThePageScrollsThroughItsDocumentAndTellsItsWindowsSinks) {
    std::string lines;
    for (int i = 0; i < 150; ++i) lines += "<p>Line " + std::to_string(i) + "</p>";
    const std::wstring page = temp_.WriteFile(L"long.html", "<html><body>" + lines + "</body></html>");
    const std::wstring next = temp_.WriteFile(L"next.html", "<html><body>" + lines + "</body></html>");
    Container c;
    ASSERT_EQ(c.CreateFromLibrary(L"6hdocvw.dll"), S_OK);
    ASSERT_TRUE(c.NavigateAndWait(page));
    IHTMLDocument2* document = Document(c);
    ASSERT_NE(document, nullptr);
    IHTMLElement2* body = BodyOf(document);
    ASSERT_NE(body, nullptr);
    const LONG height = Get(body, &IHTMLElement2::get_scrollHeight);
    const LONG client = Get(body, &IHTMLElement2::get_clientHeight);
    EXPECT_GT(client, 0);
    EXPECT_GT(height, client) << "150 lines are longer than the window";
    EXPECT_EQ(Get(body, &IHTMLElement2::get_scrollTop), 0);
    EXPECT_EQ(Get(body, &IHTMLElement2::get_scrollWidth), Get(body, &IHTMLElement2::get_clientWidth));

    ScrollSink sink;
    IConnectionPoint* point = WindowEventsOf(document);
    ASSERT_NE(point, nullptr);
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);

    // Set through the body: the position takes, and onscroll comes from the
    // thread's messages afterwards, once.
    ASSERT_EQ(body->put_scrollTop(100), S_OK);
    EXPECT_EQ(Get(body, &IHTMLElement2::get_scrollTop), 100);
    EXPECT_EQ(sink.scrolls, 0) << "not during the call";
    ASSERT_TRUE(c.Pump([&] { return sink.scrolls == 1; }));
    // The scroll bar of the control's window: to the end, clamped.
    SendMessageW(c.ControlWindow(), WM_VSCROLL, SB_BOTTOM, 0);
    ASSERT_TRUE(c.Pump([&] { return sink.scrolls == 2; }));
    EXPECT_EQ(Get(body, &IHTMLElement2::get_scrollTop), height - client);
    SCROLLINFO info{sizeof(info), SIF_POS};
    ASSERT_TRUE(GetScrollInfo(c.ControlWindow(), SB_VERT, &info));
    EXPECT_EQ(info.nPos, height - client) << "the scroll bar shows it";
    // The window scrolls the same viewport; a position that does not change
    // fires nothing (the next event is the barrier).
    IHTMLWindow2* window = nullptr;
    ASSERT_EQ(document->get_parentWindow(&window), S_OK);
    ASSERT_EQ(window->scrollTo(0, height - client), S_OK);
    ASSERT_EQ(window->scrollTo(0, 0), S_OK);
    ASSERT_TRUE(c.Pump([&] { return sink.scrolls == 3; }));
    EXPECT_EQ(Get(body, &IHTMLElement2::get_scrollTop), 0);
    window->Release();

    // Another page: the old window's sinks are dropped; the new window's
    // sink hears the next scroll.
    body->Release();
    document->Release();
    ASSERT_TRUE(c.NavigateAndWait(next));
    EXPECT_EQ(sink.refs(), 0u) << "the control let go of the old window's sink";
    document = Document(c);
    ASSERT_NE(document, nullptr);
    ScrollSink fresh;
    IConnectionPoint* freshPoint = WindowEventsOf(document);
    ASSERT_NE(freshPoint, nullptr);
    DWORD freshCookie = 0;
    ASSERT_EQ(freshPoint->Advise(&fresh, &freshCookie), S_OK);
    SendMessageW(c.ControlWindow(), WM_VSCROLL, SB_PAGEDOWN, 0);
    ASSERT_TRUE(c.Pump([&] { return fresh.scrolls == 1; }));
    EXPECT_EQ(sink.scrolls, 3);
    EXPECT_EQ(freshPoint->Unadvise(freshCookie), S_OK);
    EXPECT_EQ(fresh.refs(), 0u);
    EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION) << "already dropped";
    freshPoint->Release();
    point->Release();
    document->Release();
}

}  // namespace
