// The stand-in control's loader against a loopback HTTP server (real WinINet)
// and files in a temporary folder.
#include "engines/browser/loader.h"

#include "engines/browser/picture.h"
#include "engines/browser/tests/http_server.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <urlmon.h>

#include <algorithm>
#include <string>

namespace {

using standin::DecodeText;
using standin::Fetch;
using standin::LoadPage;
using standin::NormalizeAddress;
using standin::ResolveUrl;
using testing_support::HttpServer;

constexpr DWORD kImages = 0x10;       // DLCTL_DLIMAGES
constexpr DWORD kNoScripts = 0x80;    // DLCTL_NO_SCRIPTS
constexpr DWORD kNoCache = 0x4000;    // DLCTL_PRAGMA_NO_CACHE

// A 1x1 GIF whose only pixel is red.
const std::string kRedGif("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\x00\x00\x00\x00\x00"
                          ",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;",
                          35);

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += static_cast<char>(c);
    return out;
}

std::size_t CountRequests(const HttpServer& server, const std::string& path) {
    auto requests = server.Requests();
    return std::count_if(requests.begin(), requests.end(),
                         [&](const HttpServer::Request& r) { return r.path == path; });
}

// A port on which nothing listens: one the system handed out and took back.
int ClosedPort() {
    HttpServer server;
    return server.Port();
}

TEST(LoaderUserAgent, StringsPerVersion) {
    EXPECT_EQ(standin::UserAgent(5), L"Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.1)");
    EXPECT_EQ(standin::UserAgent(6), L"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)");
    EXPECT_EQ(standin::UserAgent(7), L"Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1)");
    EXPECT_EQ(standin::UserAgent(8), L"Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1; Trident/4.0)");
    EXPECT_EQ(standin::UserAgent(9), L"Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; Trident/5.0)");
}

TEST(LoaderHttp, ServerSeesTheUserAgentOfEachVersion) {
    HttpServer server;
    server.Serve("/ua", 200, "text/html", "<p>hello</p>");
    for (int version : {5, 6, 7, 8, 9}) {
        std::string path = "/ua?v=" + std::to_string(version);
        standin::Response response = Fetch(server.Url(path), version, 0);
        ASSERT_EQ(response.error, S_OK) << version;
        EXPECT_EQ(response.status, 200u);
        EXPECT_EQ(response.body, "<p>hello</p>");
        auto requests = server.Requests();
        ASSERT_FALSE(requests.empty());
        const HttpServer::Request& last = requests.back();
        EXPECT_EQ(last.method, "GET");
        EXPECT_EQ(last.path, path);
        EXPECT_EQ(last.headers.count("user-agent"), 1u);
        EXPECT_EQ(last.headers.at("user-agent"), Narrow(standin::UserAgent(version))) << version;
    }
}

TEST(LoaderHttp, StatusCodesAndContentType) {
    HttpServer server;
    server.Serve("/ok.html", 200, "text/html; charset=utf-8", "<b>ok</b>");
    server.Serve("/broken", 500, "text/plain", "server broke");
    standin::Response ok = Fetch(server.Url("/ok.html"), 8, 0);
    EXPECT_EQ(ok.error, S_OK);
    EXPECT_EQ(ok.status, 200u);
    EXPECT_EQ(ok.contentType, L"text/html; charset=utf-8");
    EXPECT_EQ(ok.url, server.Url("/ok.html"));
    EXPECT_EQ(ok.body, "<b>ok</b>");

    standin::Response broken = Fetch(server.Url("/broken"), 8, 0);
    EXPECT_EQ(broken.error, S_OK);  // a response did arrive
    EXPECT_EQ(broken.status, 500u);
    EXPECT_EQ(broken.body, "server broke");

    standin::Response missing = Fetch(server.Url("/nothing-here"), 8, 0);
    EXPECT_EQ(missing.error, S_OK);
    EXPECT_EQ(missing.status, 404u);
}

TEST(LoaderHttp, ConnectionRefused) {
    int port = ClosedPort();
    standin::Response response = Fetch(L"http://127.0.0.1:" + std::to_wstring(port) + L"/x.html", 8, 0);
    EXPECT_EQ(response.error, INET_E_CANNOT_CONNECT);
    EXPECT_EQ(response.status, 0u);
}

TEST(LoaderHttp, UnknownHost) {
    standin::Response response = Fetch(L"http://no-such-host.invalid/page.html", 8, 0);
    EXPECT_EQ(response.error, INET_E_RESOURCE_NOT_FOUND);
}

TEST(LoaderHttp, RedirectGivesTheFinalUrl) {
    HttpServer server;
    server.Serve("/old.html", 302, "text/html", "moved", "Location: /new.html\r\n");
    server.Serve("/new.html", 200, "text/html", "<p>new</p>");
    standin::Response response = Fetch(server.Url("/old.html"), 7, 0);
    EXPECT_EQ(response.error, S_OK);
    EXPECT_EQ(response.status, 200u);
    EXPECT_EQ(response.url, server.Url("/new.html"));
    EXPECT_EQ(response.body, "<p>new</p>");
    EXPECT_EQ(CountRequests(server, "/old.html"), 1u);
    EXPECT_EQ(CountRequests(server, "/new.html"), 1u);
}

// A chain /r0 -> /r1 -> ... -> /r<hops>, the last answering with a page.
void ServeRedirectChain(HttpServer& server, int hops) {
    for (int i = 0; i < hops; ++i)
        server.Serve("/r" + std::to_string(i), 302, "text/html", "moved",
                     "Location: /r" + std::to_string(i + 1) + "\r\n");
    server.Serve("/r" + std::to_string(hops), 200, "text/html", "<p>end</p>");
}

TEST(LoaderHttp, TwentyRedirectsAreFollowed) {
    HttpServer server;
    ServeRedirectChain(server, 20);
    standin::Response response = Fetch(server.Url("/r0"), 8, 0);
    EXPECT_EQ(response.error, S_OK);
    EXPECT_EQ(response.status, 200u);
    EXPECT_EQ(response.url, server.Url("/r20"));
    EXPECT_EQ(response.body, "<p>end</p>");
}

TEST(LoaderHttp, TheTwentyFirstRedirectFailsWithTheRedirectError) {
    HttpServer server;
    ServeRedirectChain(server, 30);
    standin::Response response = Fetch(server.Url("/r0"), 8, 0);
    EXPECT_EQ(response.error, INET_E_REDIRECT_FAILED);
    EXPECT_TRUE(response.body.empty());
    // The first request and twenty redirects; the one the twenty-first
    // redirect names is never asked for.
    EXPECT_EQ(CountRequests(server, "/r20"), 1u);
    EXPECT_EQ(CountRequests(server, "/r21"), 0u);
    EXPECT_EQ(server.Requests().size(), 21u);
}

TEST(LoaderHttp, ARedirectLoopEndsWithTheRedirectError) {
    HttpServer server;
    server.Serve("/loop", 302, "text/html", "again", "Location: /loop\r\n");
    standin::Response response = Fetch(server.Url("/loop"), 7, 0);
    EXPECT_EQ(response.error, INET_E_REDIRECT_FAILED);
    EXPECT_EQ(CountRequests(server, "/loop"), 21u);
}

bool AsksForNoCache(const HttpServer::Request& request) {
    auto has = [&](const char* name) {
        auto found = request.headers.find(name);
        return found != request.headers.end() && found->second.find("no-cache") != std::string::npos;
    };
    return has("pragma") || has("cache-control");
}

TEST(LoaderHttp, NoCacheFlagSendsNoCacheHeaders) {
    HttpServer server;
    server.Serve("/page.html", 200, "text/html", "x");
    ASSERT_EQ(Fetch(server.Url("/page.html?plain"), 8, 0).error, S_OK);
    ASSERT_EQ(Fetch(server.Url("/page.html?fresh"), 8, kNoCache).error, S_OK);
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(AsksForNoCache(requests[0]));
    EXPECT_TRUE(AsksForNoCache(requests[1]));
    EXPECT_EQ(requests[1].headers.count("pragma"), 1u);
}

TEST(LoaderHttp, CancelledBeforeStartSendsNothing) {
    HttpServer server;
    server.Serve("/page.html", 200, "text/html", "x");
    std::atomic<bool> cancel{true};
    standin::Response response = Fetch(server.Url("/page.html"), 8, 0, &cancel);
    EXPECT_EQ(response.error, E_ABORT);
    EXPECT_TRUE(server.Requests().empty());
}

TEST(LoaderHttp, LargeBodyArrivesWhole) {
    HttpServer server;
    std::string body(3 * 1024 * 1024 + 17, 'a');
    for (std::size_t i = 0; i < body.size(); i += 1000) body[i] = static_cast<char>('A' + (i / 1000) % 26);
    server.Serve("/big.txt", 200, "text/plain", body);
    standin::Response response = Fetch(server.Url("/big.txt"), 8, 0);
    EXPECT_EQ(response.error, S_OK);
    EXPECT_TRUE(response.body == body);
}

TEST(LoaderFetch, AboutBlankAndOtherAbout) {
    standin::Response blank = Fetch(L"about:blank", 6, 0);
    EXPECT_EQ(blank.error, S_OK);
    EXPECT_EQ(blank.status, 200u);
    EXPECT_NE(blank.body.find("<body>"), std::string::npos);
    EXPECT_EQ(Fetch(L"about:mozilla", 6, 0).error, INET_E_UNKNOWN_PROTOCOL);
    EXPECT_EQ(Fetch(L"gopher://example.com/", 6, 0).error, INET_E_UNKNOWN_PROTOCOL);
}

TEST(LoaderFetch, FilesByPathAndByUrl) {
    testing_support::TempDir dir;
    std::wstring path = dir.WriteFile(L"sub dir\\my page.html", "<p>on disk</p>");
    dir.WriteFile(L"sub dir\\notes.txt", "plain");

    standin::Response byPath = Fetch(path, 8, 0);
    EXPECT_EQ(byPath.error, S_OK);
    EXPECT_EQ(byPath.status, 200u);
    EXPECT_EQ(byPath.body, "<p>on disk</p>");
    EXPECT_EQ(byPath.contentType, L"text/html");

    std::wstring url = NormalizeAddress(path);
    ASSERT_EQ(url.substr(0, 8), L"file:///");
    EXPECT_NE(url.find(L"sub%20dir/my%20page.html"), std::wstring::npos) << url;
    standin::Response byUrl = Fetch(url, 8, 0);
    EXPECT_EQ(byUrl.error, S_OK);
    EXPECT_EQ(byUrl.body, "<p>on disk</p>");
    EXPECT_EQ(byUrl.url, url);

    standin::Response withFragment = Fetch(url + L"#top", 8, 0);
    EXPECT_EQ(withFragment.body, "<p>on disk</p>");

    standin::Response text = Fetch(ResolveUrl(url, L"notes.txt"), 8, 0);
    EXPECT_EQ(text.body, "plain");
    EXPECT_EQ(text.contentType, L"text/plain");

    EXPECT_EQ(Fetch(dir.Path() + L"missing.html", 8, 0).error, INET_E_RESOURCE_NOT_FOUND);
    EXPECT_EQ(Fetch(ResolveUrl(url, L"missing.html"), 8, 0).error, INET_E_RESOURCE_NOT_FOUND);

    // A folder is shown as a list of its entries.
    standin::Response folder = Fetch(dir.Path() + L"sub dir", 8, 0);
    EXPECT_EQ(folder.error, S_OK);
    EXPECT_NE(folder.body.find("my page.html"), std::string::npos);
    EXPECT_NE(folder.body.find("notes.txt"), std::string::npos);
}

TEST(LoaderDecode, ByteOrderMarksWin) {
    EXPECT_EQ(DecodeText("\xEF\xBB\xBF" "caf\xC3\xA9", L"text/html; charset=windows-1252"), L"caf\u00e9");
    EXPECT_EQ(DecodeText(std::string("\xFF\xFE" "h\0i\0", 6), L"text/html"), L"hi");
    EXPECT_EQ(DecodeText(std::string("\xFE\xFF\0h\0i\x20\xAC", 8), L""), L"hi\u20ac");
}

TEST(LoaderDecode, CharsetOfTheContentType) {
    EXPECT_EQ(DecodeText("caf\xC3\xA9", L"text/html; charset=utf-8"), L"caf\u00e9");
    EXPECT_EQ(DecodeText("caf\xC3\xA9", L"text/html; charset=\"UTF-8\""), L"caf\u00e9");
    EXPECT_EQ(DecodeText("\xcf\xf0\xe8", L"text/html; charset=windows-1251"), L"\u041f\u0440\u0438");
    EXPECT_EQ(DecodeText("\x80", L"text/html; charset=iso-8859-1"), L"\u20ac");  // read as windows-1252
    EXPECT_EQ(DecodeText("\xe9", L"text/plain;charset=ISO-8859-1"), L"\u00e9");
    // The content type wins over a <meta>.
    EXPECT_EQ(DecodeText("<meta charset=utf-8>\xe9", L"text/html; charset=windows-1252"),
              L"<meta charset=utf-8>\u00e9");
}

TEST(LoaderDecode, MetaCharsetAndDefault) {
    EXPECT_EQ(DecodeText("<html><head><meta charset=\"utf-8\"></head>\xC3\xA9", L"text/html"),
              L"<html><head><meta charset=\"utf-8\"></head>\u00e9");
    EXPECT_EQ(DecodeText("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=windows-1251\">\xcf",
                         L"text/html"),
              L"<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=windows-1251\">\u041f");
    // No label at all: windows-1252.
    EXPECT_EQ(DecodeText("caf\xe9 \x80", L"text/html"), L"caf\u00e9 \u20ac");
    // A <meta> past the first 1024 bytes does not count.
    std::string late = std::string(1100, ' ') + "<meta charset=utf-8>\xC3\xA9";
    std::wstring decoded = DecodeText(late, L"text/html");
    EXPECT_EQ(decoded.substr(decoded.size() - 2), L"\u00c3\u00a9");
    EXPECT_EQ(DecodeText("", L"text/html"), L"");
}

TEST(LoaderResolve, Table) {
    struct Case {
        const wchar_t* base;
        const wchar_t* relative;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"http://a.com/b/c/d.html?q#f", L"https://x.org/y", L"https://x.org/y"},
        {L"http://a.com/b/c/d.html", L"//cdn.net/lib.js", L"http://cdn.net/lib.js"},
        {L"https://a.com/b/c/d.html", L"//cdn.net/lib.js", L"https://cdn.net/lib.js"},
        {L"http://a.com/b/c/d.html", L"/root.html", L"http://a.com/root.html"},
        {L"http://a.com/b/c/d.html", L"e.html", L"http://a.com/b/c/e.html"},
        {L"http://a.com/b/c/d.html", L"./e.html", L"http://a.com/b/c/e.html"},
        {L"http://a.com/b/c/d.html", L"../e.html", L"http://a.com/b/e.html"},
        {L"http://a.com/b/c/d.html", L"../../../../e.html", L"http://a.com/e.html"},
        {L"http://a.com/b/c/d.html", L"x/./y/../z.html", L"http://a.com/b/c/x/z.html"},
        {L"http://a.com/b/c/d.html", L"..", L"http://a.com/b/"},
        {L"http://a.com/b/c/d.html", L".", L"http://a.com/b/c/"},
        {L"http://a.com/b/c/d.html?old#frag", L"?new=1", L"http://a.com/b/c/d.html?new=1"},
        {L"http://a.com/b/c/d.html?old#frag", L"#top", L"http://a.com/b/c/d.html?old#top"},
        {L"http://a.com/b/c/d.html#frag", L"", L"http://a.com/b/c/d.html"},
        {L"http://a.com/b/c/d.html", L"e.html?x=1#y", L"http://a.com/b/c/e.html?x=1#y"},
        {L"http://a.com", L"e.html", L"http://a.com/e.html"},
        {L"http://a.com:8080/b/", L"c.html", L"http://a.com:8080/b/c.html"},
        {L"http://a.com/b/c/d.html", L"  e.html  ", L"http://a.com/b/c/e.html"},
        {L"http://a.com/b/c/d.html", L"sub\\e.html", L"http://a.com/b/c/sub/e.html"},
        {L"http://a.com/b/c/d.html", L"javascript:alert('x')", L"javascript:alert('x')"},
        {L"http://a.com/b/c/d.html", L"mailto:me@example.com", L"mailto:me@example.com"},
        {L"file:///C:/site/pages/index.html", L"other.html", L"file:///C:/site/pages/other.html"},
        {L"file:///C:/site/pages/index.html", L"../img/a.gif", L"file:///C:/site/img/a.gif"},
        {L"file:///C:/site/pages/index.html", L"/top.html", L"file:///C:/top.html"},
        {L"file:///C:/site/index.html", L"../../../x.html", L"file:///C:/x.html"},
        {L"file://server/share/dir/a.html", L"b.html", L"file://server/share/dir/b.html"},
        {L"about:blank", L"page.html", L"page.html"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ResolveUrl(c.base, c.relative), c.expected) << Narrow(c.base) << " + " << Narrow(c.relative);
}

TEST(LoaderNormalize, Table) {
    EXPECT_EQ(NormalizeAddress(L"about:blank"), L"about:blank");
    EXPECT_EQ(NormalizeAddress(L"  http://example.com/a  "), L"http://example.com/a");
    EXPECT_EQ(NormalizeAddress(L"www.example.com"), L"http://www.example.com/");
    EXPECT_EQ(NormalizeAddress(L"www.example.com/page.html"), L"http://www.example.com/page.html");
    EXPECT_EQ(NormalizeAddress(L"localhost:8080/x"), L"http://localhost:8080/x");
    EXPECT_EQ(NormalizeAddress(L"C:\\dir\\page.html"), L"file:///C:/dir/page.html");
    EXPECT_EQ(NormalizeAddress(L"C:\\my dir\\page.html"), L"file:///C:/my%20dir/page.html");
    EXPECT_EQ(NormalizeAddress(L"\\\\server\\share\\x.html"), L"file://server/share/x.html");
    EXPECT_EQ(NormalizeAddress(L"file:///C:/x.html"), L"file:///C:/x.html");
    EXPECT_EQ(NormalizeAddress(L""), L"");
}

TEST(LoaderPage, FramesLoadWithNamesAndFailuresAreNull) {
    HttpServer server;
    server.Serve("/top.html", 200, "text/html",
                 "<html><frameset cols='50%,50%'><frame name='left' src='left.html'>"
                 "<frame name='gone' src='missing.html'></frameset></html>");
    server.Serve("/left.html", 200, "text/html",
                 "<html><body><p id='l'>left</p><iframe name='inner' src='sub/inner.html'></iframe></body></html>");
    server.Serve("/sub/inner.html", 200, "text/html", "<p id='in'>inner</p>");
    standin::LoadResult result = LoadPage(server.Url("/top.html"), 8, 0);
    ASSERT_EQ(result.response.error, S_OK);
    ASSERT_TRUE(result.page);
    EXPECT_TRUE(result.page->name.empty());
    EXPECT_EQ(result.page->url, server.Url("/top.html"));
    ASSERT_EQ(result.page->frames.size(), 2u);
    ASSERT_TRUE(result.page->frames[0]);
    EXPECT_EQ(result.page->frames[0]->name, L"left");
    EXPECT_EQ(result.page->frames[0]->url, server.Url("/left.html"));
    EXPECT_TRUE(result.page->frames[0]->document.FindById(L"l"));
    EXPECT_FALSE(result.page->frames[1]);  // 404
    ASSERT_EQ(result.page->frames[0]->frames.size(), 1u);
    ASSERT_TRUE(result.page->frames[0]->frames[0]);
    EXPECT_EQ(result.page->frames[0]->frames[0]->name, L"inner");
    EXPECT_TRUE(result.page->frames[0]->frames[0]->document.FindById(L"in"));
}

TEST(LoaderPage, FramesNestOnlyAFewLevels) {
    HttpServer server;
    server.Serve("/self.html", 200, "text/html", "<p>me</p><iframe src='self.html'></iframe>");
    standin::LoadResult result = LoadPage(server.Url("/self.html"), 8, 0);
    ASSERT_TRUE(result.page);
    int depth = 0;
    const standin::Page* page = result.page.get();
    while (page && !page->frames.empty() && page->frames[0]) {
        page = page->frames[0].get();
        ++depth;
    }
    EXPECT_EQ(depth, 3);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->frames.size(), 1u);  // the entry stays, empty
    EXPECT_EQ(CountRequests(server, "/self.html"), 4u);
}

TEST(LoaderPage, ErrorStatusGivesNoPage) {
    HttpServer server;
    standin::LoadResult result = LoadPage(server.Url("/absent.html"), 8, 0);
    EXPECT_EQ(result.response.error, S_OK);
    EXPECT_EQ(result.response.status, 404u);
    EXPECT_FALSE(result.page);

    standin::LoadResult refused =
        LoadPage(L"http://127.0.0.1:" + std::to_wstring(ClosedPort()) + L"/", 8, 0);
    EXPECT_EQ(refused.response.error, INET_E_CANNOT_CONNECT);
    EXPECT_FALSE(refused.page);
}

TEST(LoaderPage, ImagesOnlyWithTheDownloadFlag) {
    HttpServer server;
    server.Serve("/pics.html", 200, "text/html",
                 "<p><img src='red.gif'><img src='red.gif'><img src=\"/img/../red.gif\">"
                 "<img src='broken.gif'><img src='notapicture.gif'></p>");
    server.Serve("/red.gif", 200, "image/gif", kRedGif);
    server.Serve("/notapicture.gif", 200, "image/gif", "this is not a picture");

    standin::LoadResult without = LoadPage(server.Url("/pics.html"), 8, 0);
    ASSERT_TRUE(without.page);
    EXPECT_TRUE(without.page->pictures.empty());
    EXPECT_EQ(server.Requests().size(), 1u);  // only the page

    standin::LoadResult with = LoadPage(server.Url("/pics.html"), 8, kImages);
    ASSERT_TRUE(with.page);
    auto& pictures = with.page->pictures;
    EXPECT_EQ(pictures.size(), 2u);
    ASSERT_TRUE(pictures.count(L"red.gif"));
    ASSERT_TRUE(pictures.count(L"/img/../red.gif"));
    ASSERT_TRUE(pictures[L"red.gif"]);
    EXPECT_EQ(pictures[L"red.gif"]->Size().cx, 1);
    EXPECT_EQ(pictures[L"red.gif"]->Size().cy, 1);
    EXPECT_FALSE(pictures.count(L"broken.gif"));
    EXPECT_FALSE(pictures.count(L"notapicture.gif"));
    // The same address is fetched once.
    EXPECT_EQ(CountRequests(server, "/red.gif"), 1u);
    EXPECT_EQ(CountRequests(server, "/broken.gif"), 1u);
}

TEST(LoaderPage, ManyImagesAreCapped) {
    HttpServer server;
    std::string html;
    for (int i = 0; i < 80; ++i) html += "<img src='p" + std::to_string(i) + ".gif'>";
    server.Serve("/many.html", 200, "text/html", html);
    standin::LoadResult result = LoadPage(server.Url("/many.html"), 8, kImages);
    ASSERT_TRUE(result.page);
    EXPECT_EQ(server.Requests().size(), 1u + 64u);
}

TEST(LoaderPage, DocumentWritesRunUnlessScriptsAreOff) {
    HttpServer server;
    server.Serve("/w.html", 200, "text/html",
                 "<body><script>document.write('<b id=\"written\">' + navigator.appName + '</b>')</script>"
                 "<noscript><i id='noscript'>no scripts</i></noscript></body>");
    standin::LoadResult scripts = LoadPage(server.Url("/w.html"), 7, 0);
    ASSERT_TRUE(scripts.page);
    const render::Element* written = scripts.page->document.FindById(L"written");
    ASSERT_TRUE(written);
    EXPECT_EQ(written->TextContent(), L"Microsoft Internet Explorer");
    EXPECT_FALSE(scripts.page->document.FindById(L"noscript"));

    standin::LoadResult noScripts = LoadPage(server.Url("/w.html"), 7, kNoScripts);
    ASSERT_TRUE(noScripts.page);
    EXPECT_FALSE(noScripts.page->document.FindById(L"written"));
}

TEST(LoaderPage, ConditionalCommentsAndDocumentModePerVersion) {
    HttpServer server;
    server.Serve("/cc.html", 200, "text/html",
                 "<body><!--[if IE 6]><p id='six'>6</p><![endif]-->"
                 "<!--[if gte IE 8]><p id='eight-up'>8+</p><![endif]-->"
                 "<!--[if lt IE 7]><p id='before-seven'>old</p><![endif]-->"
                 "<script>document.write('<p id=\"mode-' + document.documentMode + '\">m</p>')</script></body>");
    struct Expect {
        int version;
        bool six, eightUp, beforeSeven;
        const wchar_t* mode;
    };
    const Expect expects[] = {
        {5, false, false, true, L"mode-undefined"},
        {6, true, false, true, L"mode-undefined"},
        {7, false, false, false, L"mode-undefined"},
        {8, false, true, false, L"mode-8"},
        {9, false, true, false, L"mode-9"},
    };
    for (const Expect& e : expects) {
        standin::LoadResult result = LoadPage(server.Url("/cc.html"), e.version, 0);
        ASSERT_TRUE(result.page) << e.version;
        const render::Document& doc = result.page->document;
        EXPECT_EQ(doc.FindById(L"six") != nullptr, e.six) << e.version;
        EXPECT_EQ(doc.FindById(L"eight-up") != nullptr, e.eightUp) << e.version;
        EXPECT_EQ(doc.FindById(L"before-seven") != nullptr, e.beforeSeven) << e.version;
        EXPECT_TRUE(doc.FindById(e.mode)) << e.version;
        EXPECT_EQ(result.page->version, e.version);
    }
}

TEST(LoaderPage, PlainTextIsShownAsText) {
    HttpServer server;
    server.Serve("/readme.txt", 200, "text/plain; charset=utf-8", "a <b> & c\xC3\xA9");
    standin::LoadResult result = LoadPage(server.Url("/readme.txt"), 8, 0);
    ASSERT_TRUE(result.page);
    EXPECT_FALSE(result.page->isHtml);
    auto pre = result.page->document.ElementsByTag(L"pre");
    ASSERT_EQ(pre.size(), 1u);
    EXPECT_EQ(pre[0]->TextContent(), L"a <b> & c\u00e9");
    EXPECT_TRUE(result.page->document.ElementsByTag(L"b").empty());
}

TEST(LoaderPage, DecodesTheDocumentCharset) {
    HttpServer server;
    server.Serve("/ru.html", 200, "text/html", "<meta charset=windows-1251><p id='t'>\xcf\xf0\xe8</p>");
    standin::LoadResult result = LoadPage(server.Url("/ru.html"), 8, 0);
    ASSERT_TRUE(result.page);
    const render::Element* text = result.page->document.FindById(L"t");
    ASSERT_TRUE(text);
    EXPECT_EQ(text->TextContent(), L"\u041f\u0440\u0438");
}

TEST(LoaderPage, LocalFileWithFramesAndPictures) {
    testing_support::TempDir dir;
    std::wstring top = dir.WriteFile(L"site\\index.html",
                                     "<iframe name='f' src='pages/frame.html'></iframe><img src='img/red.gif'>");
    dir.WriteFile(L"site\\pages\\frame.html", "<p id='f'>frame</p>");
    dir.WriteFile(L"site\\img\\red.gif", kRedGif);
    standin::LoadResult result = LoadPage(NormalizeAddress(top), 9, kImages);
    ASSERT_TRUE(result.page);
    ASSERT_EQ(result.page->frames.size(), 1u);
    ASSERT_TRUE(result.page->frames[0]);
    EXPECT_TRUE(result.page->frames[0]->document.FindById(L"f"));
    ASSERT_TRUE(result.page->pictures.count(L"img/red.gif"));
    EXPECT_EQ(result.page->pictures[L"img/red.gif"]->Size().cx, 1);
}

}  // namespace

namespace {

// The staged sample page beside the test program, as a file URL; empty when
// the samples were not staged.
std::wstring StagedSample(const wchar_t* name) {
    wchar_t module[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring path = module;
    path = path.substr(0, path.find_last_of(L'\\') + 1) + L"samples\\" + name;
    return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES ? L"" : NormalizeAddress(path);
}

TEST(LoaderSample, CompareShowsOneBoxSetPerVersion) {
    std::wstring url = StagedSample(L"compare.html");
    if (url.empty()) GTEST_SKIP() << "samples not staged (build the vantrell_samples target)";
    struct Expect {
        int version;
        const wchar_t* own;
        bool ltIe7, gteIe8;
    };
    const Expect expects[] = {{5, L"ie55", true, false}, {6, L"ie6", true, false}, {7, L"ie7", false, false},
                              {8, L"ie8", false, true},  {9, L"ie9", false, true}};
    const wchar_t* versionBoxes[] = {L"ie55", L"ie6", L"ie7", L"ie8", L"ie9"};
    for (const Expect& e : expects) {
        standin::LoadResult result = LoadPage(url, e.version, kImages);
        ASSERT_TRUE(result.page) << e.version;
        const render::Document& doc = result.page->document;
        for (const wchar_t* box : versionBoxes)
            EXPECT_EQ(doc.FindById(box) != nullptr, std::wstring(box) == e.own) << e.version << Narrow(box);
        EXPECT_EQ(doc.FindById(L"lt-ie7") != nullptr, e.ltIe7) << e.version;
        EXPECT_EQ(doc.FindById(L"gte-ie8") != nullptr, e.gteIe8) << e.version;
        EXPECT_FALSE(doc.FindById(L"not-ie"));
        EXPECT_FALSE(doc.FindById(L"downlevel-revealed"));
        EXPECT_TRUE(doc.FindById(L"zoomed"));
        std::wstring text = doc.root->TextContent();
        EXPECT_NE(text.find(standin::UserAgent(e.version)), std::wstring::npos) << e.version;
        EXPECT_NE(text.find(e.version >= 8 ? L"Document mode: " + std::to_wstring(e.version)
                                           : std::wstring(L"Document mode: undefined")),
                  std::wstring::npos)
            << e.version;
        ASSERT_EQ(doc.links.size(), 4u);
        EXPECT_EQ(doc.links[0].target, L"_blank");
        EXPECT_EQ(doc.links[1].href, L"javascript:window.external.Hello('from the page', 42)");
        EXPECT_EQ(doc.links[3].href, L"javascript:window.close()");
    }
}

}  // namespace
