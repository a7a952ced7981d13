// Fetching documents for the stand-in control: about:blank, local files and
// http(s) through WinINet with each engine version's user agent, turning the
// bytes into text, and loading a whole page with its frames and pictures.
#include "engines/browser/loader.h"

#include "engines/browser/picture.h"
#include "engines/browser/script.h"

#include <wininet.h>
#include <urlmon.h>

#include <algorithm>
#include <cwctype>
#include <set>

namespace standin {

namespace {

constexpr DWORD kDownloadImages = 0x10;    // DLCTL_DLIMAGES
constexpr DWORD kNoScripts = 0x80;         // DLCTL_NO_SCRIPTS
constexpr DWORD kPragmaNoCache = 0x4000;   // DLCTL_PRAGMA_NO_CACHE
constexpr std::size_t kMaxBody = 16u * 1024 * 1024;
constexpr int kMaxFrameDepth = 3;
// Redirects followed for one request; the next one fails the request with
// INET_E_REDIRECT_FAILED, as the real engines' download layer does.
constexpr int kMaxRedirects = 20;
constexpr std::size_t kMaxPictures = 64;

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::towlower(text[i]) != std::towlower(prefix[i])) return false;
    return true;
}

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\f'; }

std::wstring Trim(std::wstring_view text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && IsSpace(text[begin])) ++begin;
    while (end > begin && IsSpace(text[end - 1])) --end;
    return std::wstring(text.substr(begin, end - begin));
}

bool IsAsciiAlpha(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

// The length of a URL scheme at the start of `text` (without the colon), or 0.
std::size_t SchemeLength(std::wstring_view text) {
    if (text.empty() || !IsAsciiAlpha(text[0])) return 0;
    std::size_t i = 1;
    while (i < text.size() && (IsAsciiAlpha(text[i]) || (text[i] >= L'0' && text[i] <= L'9') ||
                               text[i] == L'+' || text[i] == L'-' || text[i] == L'.'))
        ++i;
    return i < text.size() && text[i] == L':' ? i : 0;
}

// "C:\..." or "C:/..." (a drive letter and a separator).
bool IsDrivePath(std::wstring_view text) {
    return text.size() >= 3 && IsAsciiAlpha(text[0]) && text[1] == L':' &&
           (text[2] == L'\\' || text[2] == L'/');
}

bool IsUncPath(std::wstring_view text) {
    return text.size() > 2 && text[0] == L'\\' && text[1] == L'\\';
}

std::wstring Utf8ToWide(std::string_view bytes, UINT codePage = CP_UTF8) {
    if (bytes.empty()) return {};
    int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring text(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
    return text;
}

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}


// A local path as a file URL: "C:\a b\x.html" -> "file:///C:/a%20b/x.html",
// "\\server\share\x" -> "file://server/share/x".
std::wstring PathToFileUrl(std::wstring_view path) {
    std::wstring url = IsUncPath(path) ? L"file:" : L"file:///";
    for (wchar_t c : path) {
        if (c == L'\\') url += L'/';
        else if (c == L'%') url += L"%25";
        else if (c == L' ') url += L"%20";
        else if (c == L'#') url += L"%23";
        else url += c;
    }
    return url;
}

// The local path of a file URL (query and fragment dropped), or empty.
std::wstring FileUrlToPath(std::wstring_view url) {
    std::wstring_view rest = url.substr(5);  // after "file:"
    std::size_t end = rest.find_first_of(L"?#");
    if (end != std::wstring_view::npos) rest = rest.substr(0, end);
    std::wstring path;
    if (rest.substr(0, 2) == L"//") {
        rest.remove_prefix(2);
        std::size_t slash = rest.find_first_of(L"/\\");
        std::wstring_view host = rest.substr(0, slash);
        std::wstring_view tail = slash == std::wstring_view::npos ? std::wstring_view() : rest.substr(slash);
        if (host.empty() || Lower(std::wstring(host)) == L"localhost") {
            // file:///C:/x, file://localhost/C:/x; file:////server/share is a share.
            std::size_t slashes = 0;
            while (slashes < tail.size() && (tail[slashes] == L'/' || tail[slashes] == L'\\')) ++slashes;
            std::wstring_view rest2 = tail.substr(slashes);
            if (rest2.size() >= 2 && IsAsciiAlpha(rest2[0]) && (rest2[1] == L':' || rest2[1] == L'|'))
                path = std::wstring(rest2);
            else if (slashes >= 2 && host.empty())
                path = L"\\\\" + std::wstring(rest2);
            else
                path = L"\\" + std::wstring(rest2);
        } else if (host.size() == 2 && IsAsciiAlpha(host[0]) && (host[1] == L':' || host[1] == L'|')) {
            path = std::wstring(host) + std::wstring(tail);  // file://C:/x
        } else {
            path = L"\\\\" + std::wstring(host) + std::wstring(tail);
        }
    } else {
        while (!rest.empty() && (rest[0] == L'/' || rest[0] == L'\\')) rest.remove_prefix(1);
        path = std::wstring(rest);  // file:C:/x, file:/C:/x
    }
    path = PercentDecode(path);
    if (path.size() >= 2 && path[1] == L'|') path[1] = L':';
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::wstring GuessContentType(const std::wstring& path, const std::string& body) {
    std::size_t dot = path.find_last_of(L".\\");
    std::wstring ext = dot != std::wstring::npos && path[dot] == L'.' ? Lower(path.substr(dot + 1)) : L"";
    if (ext == L"htm" || ext == L"html" || ext == L"hta" || ext == L"shtml" || ext == L"xhtml")
        return L"text/html";
    if (ext == L"txt" || ext == L"log" || ext == L"ini" || ext == L"csv" || ext == L"md") return L"text/plain";
    if (ext == L"xml") return L"text/xml";
    if (ext == L"css") return L"text/css";
    if (ext == L"js") return L"application/x-javascript";
    if (ext == L"png") return L"image/png";
    if (ext == L"gif") return L"image/gif";
    if (ext == L"jpg" || ext == L"jpeg" || ext == L"jpe") return L"image/jpeg";
    if (ext == L"bmp") return L"image/bmp";
    if (ext == L"ico") return L"image/x-icon";
    // Anything else: markup when it looks like markup, else plain text.
    std::size_t first = body.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    return first != std::string::npos && body[first] == '<' ? L"text/html" : L"text/plain";
}

std::wstring HtmlEscape(std::wstring_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        if (c == L'&') out += L"&amp;";
        else if (c == L'<') out += L"&lt;";
        else if (c == L'>') out += L"&gt;";
        else if (c == L'"') out += L"&quot;";
        else out += c;
    }
    return out;
}

bool Cancelled(const std::atomic<bool>* cancel) { return cancel && cancel->load(); }

// A folder as a page of links to its entries.
Response FolderListing(const std::wstring& path, const std::wstring& url) {
    Response response;
    response.status = 200;
    response.url = url;
    response.contentType = L"text/html; charset=utf-8";
    std::wstring folder = path;
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    std::wstring base = url;
    if (!base.empty() && base.back() != L'/') base += L'/';
    std::vector<std::pair<std::wstring, bool>> entries;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            entries.emplace_back(name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
        } while (FindNextFileW(find, &data) && entries.size() < 10000);
        FindClose(find);
    }
    std::sort(entries.begin(), entries.end());
    std::wstring html = L"<html><head><title>" + HtmlEscape(path) + L"</title></head><body><h1>" +
                        HtmlEscape(path) + L"</h1><ul>";
    for (const auto& [name, isFolder] : entries) {
        std::wstring href = PathToFileUrl(name);  // escapes the name
        href = href.substr(8);                     // without "file:///"
        if (isFolder) href += L'/';
        html += L"<li><a href=\"" + HtmlEscape(href) + L"\">" + HtmlEscape(name) + (isFolder ? L"\\" : L"") +
                L"</a></li>";
    }
    html += L"</ul></body></html>";
    int n = WideCharToMultiByte(CP_UTF8, 0, html.data(), static_cast<int>(html.size()), nullptr, 0, nullptr, nullptr);
    response.body.resize(static_cast<std::size_t>(std::max(n, 0)));
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, html.data(), static_cast<int>(html.size()), response.body.data(), n,
                            nullptr, nullptr);
    return response;
}

Response FetchFile(const std::wstring& path, const std::wstring& url, const std::atomic<bool>* cancel) {
    Response response;
    response.url = url;
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        response.error = INET_E_RESOURCE_NOT_FOUND;
        return response;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FolderListing(path, url);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        response.error = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION
                             ? E_ACCESSDENIED
                             : INET_E_RESOURCE_NOT_FOUND;
        return response;
    }
    char buffer[64 * 1024];
    for (;;) {
        if (Cancelled(cancel)) {
            response.error = E_ABORT;
            break;
        }
        DWORD read = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &read, nullptr)) {
            response.error = INET_E_DOWNLOAD_FAILURE;
            break;
        }
        if (read == 0) break;
        std::size_t room = kMaxBody - response.body.size();
        response.body.append(buffer, std::min<std::size_t>(read, room));
        if (response.body.size() >= kMaxBody) break;
    }
    CloseHandle(file);
    if (FAILED(response.error)) {
        response.body.clear();
        return response;
    }
    response.status = 200;
    response.contentType = GuessContentType(path, response.body);
    return response;
}

HRESULT FromInternetError(DWORD error) {
    switch (error) {
    case ERROR_INTERNET_NAME_NOT_RESOLVED: return INET_E_RESOURCE_NOT_FOUND;
    case ERROR_INTERNET_CANNOT_CONNECT: return INET_E_CANNOT_CONNECT;
    case ERROR_INTERNET_TIMEOUT: return INET_E_CONNECTION_TIMEOUT;
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME: return INET_E_UNKNOWN_PROTOCOL;
    case ERROR_INTERNET_INVALID_URL: return INET_E_INVALID_URL;
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_INVALID_CERT: return INET_E_INVALID_CERTIFICATE;
    case ERROR_INTERNET_OPERATION_CANCELLED: return E_ABORT;
    default: return INET_E_DOWNLOAD_FAILURE;
    }
}

// Whether the URL's host is this machine, which is reached without a proxy.
bool IsLoopbackHost(const std::wstring& url) {
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    wchar_t host[256] = {};
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    if (!InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return false;
    std::wstring name = Lower(host);
    return name == L"localhost" || name == L"127.0.0.1" || name == L"[::1]" || name == L"::1";
}

struct InternetHandle {
    HINTERNET handle = nullptr;
    explicit InternetHandle(HINTERNET h) : handle(h) {}
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    ~InternetHandle() {
        if (handle) InternetCloseHandle(handle);
    }
};

// Where a redirect response sends its request (its Location, resolved
// against `address`); empty when the response is no redirect.
std::wstring RedirectTarget(HINTERNET request, const std::wstring& address) {
    DWORD status = 0, size = sizeof status;
    if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        return {};
    if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308) return {};
    std::wstring location(2048, L'\0');
    size = static_cast<DWORD>(location.size() * sizeof(wchar_t));
    if (!HttpQueryInfoW(request, HTTP_QUERY_LOCATION, location.data(), &size, nullptr)) return {};
    location.resize(size / sizeof(wchar_t));
    location = Trim(location);
    return location.empty() ? std::wstring() : ResolveUrl(address, location);
}

Response FetchHttp(const std::wstring& url, int version, DWORD downloadFlags, const std::atomic<bool>* cancel) {
    Response response;
    response.url = url;
    if (Cancelled(cancel)) {
        response.error = E_ABORT;
        return response;
    }
    InternetHandle session(InternetOpenW(UserAgent(version).c_str(),
                                         IsLoopbackHost(url) ? INTERNET_OPEN_TYPE_DIRECT
                                                             : INTERNET_OPEN_TYPE_PRECONFIG,
                                         nullptr, nullptr, 0));
    if (!session.handle) {
        response.error = INET_E_DOWNLOAD_FAILURE;
        return response;
    }
    DWORD timeout = 30000;
    InternetSetOptionW(session.handle, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionW(session.handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionW(session.handle, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);

    // Redirects are followed here, not by WinINet, so that a chain of them
    // ends after kMaxRedirects (a loop would otherwise never end).
    DWORD flags = INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT;
    if (downloadFlags & kPragmaNoCache)
        flags |= INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
    static const wchar_t kHeaders[] = L"Accept: */*\r\n";
    std::wstring address = url;
    std::unique_ptr<InternetHandle> opened;
    for (int redirects = 0;; ++redirects) {
        if (Cancelled(cancel)) {
            response.error = E_ABORT;
            return response;
        }
        DWORD hopFlags = flags;
        if (StartsWithNoCase(address, L"https:")) hopFlags |= INTERNET_FLAG_SECURE;
        opened = std::make_unique<InternetHandle>(InternetOpenUrlW(
            session.handle, address.c_str(), kHeaders, static_cast<DWORD>(wcslen(kHeaders)), hopFlags, 0));
        if (!opened->handle) {
            response.error = FromInternetError(GetLastError());
            return response;
        }
        const std::wstring next = RedirectTarget(opened->handle, address);
        if (next.empty()) break;
        if (redirects == kMaxRedirects) {
            response.error = INET_E_REDIRECT_FAILED;
            return response;
        }
        address = next;
    }
    InternetHandle& request = *opened;
    response.url = address;

    DWORD status = 0, size = sizeof status;
    if (HttpQueryInfoW(request.handle, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        response.status = status;
    else
        response.status = 200;

    wchar_t type[512] = {};
    size = sizeof type;
    if (HttpQueryInfoW(request.handle, HTTP_QUERY_CONTENT_TYPE, type, &size, nullptr)) response.contentType = type;

    DWORD urlSize = 0;
    InternetQueryOptionW(request.handle, INTERNET_OPTION_URL, nullptr, &urlSize);
    if (urlSize > 0) {
        std::wstring finalUrl(urlSize / sizeof(wchar_t) + 1, L'\0');
        urlSize = static_cast<DWORD>(finalUrl.size() * sizeof(wchar_t));
        if (InternetQueryOptionW(request.handle, INTERNET_OPTION_URL, finalUrl.data(), &urlSize)) {
            finalUrl.resize(wcslen(finalUrl.c_str()));
            if (!finalUrl.empty()) response.url = finalUrl;
        }
    }

    char buffer[32 * 1024];
    for (;;) {
        if (Cancelled(cancel)) {
            response.error = E_ABORT;
            response.body.clear();
            return response;
        }
        DWORD read = 0;
        if (!InternetReadFile(request.handle, buffer, sizeof buffer, &read)) {
            response.error = FromInternetError(GetLastError());
            response.body.clear();
            return response;
        }
        if (read == 0) break;
        std::size_t room = kMaxBody - response.body.size();
        response.body.append(buffer, std::min<std::size_t>(read, room));
        if (response.body.size() >= kMaxBody) break;
    }
    return response;
}

// The code page of a charset name; 0 when unknown.
UINT CodePageOfCharset(std::wstring name) {
    name = Lower(Trim(name));
    if (name.size() >= 2 && (name.front() == L'"' || name.front() == L'\'')) name = name.substr(1, name.size() - 2);
    if (name == L"utf-8" || name == L"utf8" || name == L"unicode-1-1-utf-8") return CP_UTF8;
    if (name == L"utf-16" || name == L"utf-16le" || name == L"unicode" || name == L"ucs-2") return 1200;
    if (name == L"utf-16be" || name == L"unicodefffe") return 1201;
    if (name == L"iso-8859-1" || name == L"latin1" || name == L"l1" || name == L"us-ascii" || name == L"ascii" ||
        name == L"iso8859-1" || name == L"iso_8859-1" || name == L"cp819")
        return 1252;  // pages labelled Latin-1 are read as windows-1252, as browsers do
    for (const wchar_t* prefix : {L"windows-", L"cp", L"x-cp"}) {
        std::wstring p = prefix;
        if (name.compare(0, p.size(), p) == 0) {
            std::wstring digits = name.substr(p.size());
            if (!digits.empty() && digits.size() <= 5 &&
                std::all_of(digits.begin(), digits.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; }))
                return static_cast<UINT>(std::stoul(digits));
        }
    }
    if (name.compare(0, 9, L"iso-8859-") == 0) {
        std::wstring digits = name.substr(9);
        if (!digits.empty() && digits.size() <= 2 &&
            std::all_of(digits.begin(), digits.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; })) {
            unsigned number = static_cast<unsigned>(std::stoul(digits));
            if (number >= 2 && number <= 15) return 28590 + number;
        }
    }
    if (name == L"koi8-r") return 20866;
    if (name == L"koi8-u") return 21866;
    if (name == L"shift_jis" || name == L"shift-jis" || name == L"sjis" || name == L"x-sjis") return 932;
    if (name == L"euc-jp") return 20932;
    if (name == L"iso-2022-jp") return 50220;
    if (name == L"gb2312" || name == L"gbk" || name == L"x-gbk") return 936;
    if (name == L"gb18030") return 54936;
    if (name == L"big5") return 950;
    if (name == L"euc-kr" || name == L"ks_c_5601-1987") return 949;
    if (name == L"ibm866") return 866;
    return 0;
}

// The value of a "charset=" parameter inside `text`, or empty.
std::wstring CharsetParameter(std::wstring_view text) {
    std::wstring lower = Lower(std::wstring(text));
    std::size_t pos = lower.find(L"charset");
    while (pos != std::wstring::npos) {
        std::size_t i = pos + 7;
        while (i < lower.size() && IsSpace(lower[i])) ++i;
        if (i < lower.size() && lower[i] == L'=') {
            ++i;
            while (i < lower.size() && IsSpace(lower[i])) ++i;
            if (i < lower.size() && (lower[i] == L'"' || lower[i] == L'\'')) ++i;
            std::size_t end = i;
            while (end < lower.size() && !IsSpace(lower[end]) && lower[end] != L'"' && lower[end] != L'\'' &&
                   lower[end] != L';' && lower[end] != L'>' && lower[end] != L'/')
                ++end;
            if (end > i) return lower.substr(i, end - i);
        }
        pos = lower.find(L"charset", pos + 7);
    }
    return {};
}

// The charset a <meta> element names within the first 1024 bytes.
std::wstring MetaCharset(const std::string& bytes) {
    std::string head = bytes.substr(0, 1024);
    std::wstring text;
    for (char c : head) text += static_cast<wchar_t>(static_cast<unsigned char>(c));
    std::wstring lower = Lower(text);
    for (std::size_t pos = lower.find(L"<meta"); pos != std::wstring::npos; pos = lower.find(L"<meta", pos + 5)) {
        std::size_t end = lower.find(L'>', pos);
        std::wstring charset = CharsetParameter(
            std::wstring_view(lower).substr(pos, end == std::wstring::npos ? std::wstring::npos : end - pos));
        if (!charset.empty()) return charset;
    }
    return {};
}

std::wstring DecodeWith(std::string_view bytes, UINT codePage) {
    if (codePage == 1200 || codePage == 1201) {
        std::wstring text;
        text.reserve(bytes.size() / 2);
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            unsigned char a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
            text += static_cast<wchar_t>(codePage == 1200 ? (a | (b << 8)) : ((a << 8) | b));
        }
        return text;
    }
    if (bytes.empty()) return {};
    int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) {
        if (codePage == 1252) return {};
        return DecodeWith(bytes, 1252);  // a code page this system lacks
    }
    std::wstring text(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
    return text;
}

std::wstring MediaType(const std::wstring& contentType) {
    return Lower(Trim(std::wstring_view(contentType).substr(0, contentType.find(L';'))));
}

// The text of a non-HTML document shown as a page.
std::wstring TextPage(const std::wstring& text) {
    return L"<html><body><pre>" + HtmlEscape(text) + L"</pre></body></html>";
}

bool IsHtmlType(const std::wstring& mediaType) {
    return mediaType.empty() || mediaType == L"text/html" || mediaType == L"application/xhtml+xml" ||
           mediaType == L"text/x-server-parsed-html";
}

LoadResult LoadAt(const std::wstring& url, int version, DWORD downloadFlags, const std::atomic<bool>* cancel,
                  int depth) {
    LoadResult result;
    result.response = Fetch(url, version, downloadFlags, cancel);
    const Response& response = result.response;
    if (FAILED(response.error) || response.status >= 400) return result;

    auto page = std::make_shared<Page>();
    page->url = response.url;
    page->version = version;
    std::wstring type = MediaType(response.contentType);
    if (type.compare(0, 6, L"image/") == 0) {
        // A picture on its own is shown as a page holding just that picture.
        page->isHtml = false;
        page->document = render::ParseHtml(L"<html><body><img src=\"" + HtmlEscape(response.url) +
                                               L"\"></body></html>",
                                           version);
        if (auto picture = DecodePicture(response.body)) page->pictures[response.url] = picture;
        result.page = page;
        return result;
    }
    std::wstring text = DecodeText(response.body, response.contentType);
    if (!IsHtmlType(type)) {
        page->isHtml = false;
        page->document = render::ParseHtml(TextPage(text), version);
        result.page = page;
        return result;
    }
    if (!(downloadFlags & kNoScripts)) text = ExpandDocumentWrites(text, version, &page->scriptErrors);
    page->document = render::ParseHtml(text, version);

    // Addresses inside the page are relative to its <base href>, if any.
    std::wstring base = page->url;
    for (const render::Element* element : page->document.ElementsByTag(L"base")) {
        if (const std::wstring* href = element->Attribute(L"href"); href && !Trim(*href).empty()) {
            base = ResolveUrl(page->url, *href);
            break;
        }
    }

    for (const render::Frame& frame : page->document.frames) {
        std::shared_ptr<Page> framePage;
        if (depth < kMaxFrameDepth && !Cancelled(cancel)) {
            std::wstring src = Trim(frame.src);
            std::wstring target = src.empty() ? L"about:blank" : ResolveUrl(base, src);
            if (!StartsWithNoCase(target, L"javascript:")) {
                framePage = LoadAt(target, version, downloadFlags, cancel, depth + 1).page;
                if (framePage) framePage->name = frame.name;
            }
        }
        page->frames.push_back(framePage);
    }

    if (downloadFlags & kDownloadImages) {
        std::map<std::wstring, std::shared_ptr<Picture>> byUrl;
        std::set<std::wstring> fetched;
        for (const render::Element* image : page->document.ElementsByTag(L"img")) {
            if (Cancelled(cancel)) break;
            const std::wstring* src = image->Attribute(L"src");
            if (!src || Trim(*src).empty() || page->pictures.count(*src)) continue;
            std::wstring target = ResolveUrl(base, Trim(*src));
            if (!fetched.count(target)) {
                if (fetched.size() >= kMaxPictures) break;
                fetched.insert(target);
                Response imageResponse = Fetch(target, version, downloadFlags, cancel);
                if (SUCCEEDED(imageResponse.error) && imageResponse.status < 400)
                    byUrl[target] = DecodePicture(imageResponse.body);
            }
            if (auto found = byUrl.find(target); found != byUrl.end() && found->second)
                page->pictures[*src] = found->second;
        }
    }

    if (Cancelled(cancel)) {
        result.response.error = E_ABORT;
        return result;
    }
    result.page = page;
    return result;
}

// Splits a hierarchical URL into its parts.
struct UrlParts {
    std::wstring scheme;     // without ':'
    bool hasAuthority = false;
    std::wstring authority;  // without "//"
    std::wstring path;
    std::wstring query;      // with '?', or empty
    std::wstring fragment;   // with '#', or empty
};

UrlParts SplitUrl(std::wstring_view url) {
    UrlParts parts;
    std::size_t schemeLength = SchemeLength(url);
    if (schemeLength) {
        parts.scheme = std::wstring(url.substr(0, schemeLength));
        url.remove_prefix(schemeLength + 1);
    }
    if (std::size_t hash = url.find(L'#'); hash != std::wstring_view::npos) {
        parts.fragment = std::wstring(url.substr(hash));
        url = url.substr(0, hash);
    }
    if (std::size_t question = url.find(L'?'); question != std::wstring_view::npos) {
        parts.query = std::wstring(url.substr(question));
        url = url.substr(0, question);
    }
    if (url.substr(0, 2) == L"//") {
        parts.hasAuthority = true;
        url.remove_prefix(2);
        std::size_t slash = url.find(L'/');
        parts.authority = std::wstring(url.substr(0, slash));
        url = slash == std::wstring_view::npos ? std::wstring_view() : url.substr(slash);
    }
    parts.path = std::wstring(url);
    return parts;
}

// Removes "." and ".." segments from a path; ".." never climbs above the root.
std::wstring RemoveDotSegments(const std::wstring& path) {
    std::vector<std::wstring> output;
    bool absolute = !path.empty() && path[0] == L'/';
    std::size_t pos = absolute ? 1 : 0;
    bool trailingSlash = false;
    while (pos <= path.size()) {
        std::size_t slash = path.find(L'/', pos);
        std::wstring segment = path.substr(pos, slash == std::wstring::npos ? std::wstring::npos : slash - pos);
        bool last = slash == std::wstring::npos;
        if (segment == L"." || segment == L"%2e" || segment == L"%2E") {
            trailingSlash = last;
        } else if (segment == L".." || Lower(segment) == L"%2e%2e" || Lower(segment) == L".%2e" ||
                   Lower(segment) == L"%2e.") {
            if (!output.empty()) output.pop_back();
            trailingSlash = last;
        } else {
            output.push_back(segment);
            trailingSlash = false;
        }
        if (last) break;
        pos = slash + 1;
    }
    std::wstring result = absolute ? L"/" : L"";
    for (std::size_t i = 0; i < output.size(); ++i) {
        if (i) result += L'/';
        result += output[i];
    }
    if (trailingSlash && !output.empty()) result += L'/';
    return result;
}

std::wstring JoinUrl(const UrlParts& parts) {
    std::wstring url = parts.scheme + L":";
    if (parts.hasAuthority) url += L"//" + parts.authority;
    return url + parts.path + parts.query + parts.fragment;
}

}  // namespace

std::wstring PercentDecode(std::wstring_view text) {
    if (text.find(L'%') == std::wstring_view::npos) return std::wstring(text);
    std::wstring result;
    std::string bytes;
    auto flush = [&] {
        if (bytes.empty()) return;
        int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                    static_cast<int>(bytes.size()), nullptr, 0);
        result += n > 0 ? Utf8ToWide(bytes) : Utf8ToWide(bytes, CP_ACP);
        bytes.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            bytes += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            flush();
            result += text[i];
        }
    }
    flush();
    return result;
}

std::wstring UserAgent(int version) {
    switch (version) {
    case 5:
    case 55: return L"Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.1)";
    case 6: return L"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)";
    case 7: return L"Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1)";
    case 9: return L"Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; Trident/5.0)";
    case 8:
    default: return L"Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1; Trident/4.0)";
    }
}

std::wstring NormalizeAddress(const std::wstring& address) {
    std::wstring text = Trim(address);
    if (text.empty()) return text;
    if (IsDrivePath(text) || IsUncPath(text)) return PathToFileUrl(text);
    if (std::size_t scheme = SchemeLength(text)) {
        // "localhost:8080/x" is a host and port, not a scheme.
        std::size_t i = scheme + 1;
        std::size_t digits = i;
        while (digits < text.size() && text[digits] >= L'0' && text[digits] <= L'9') ++digits;
        bool port = digits > i && (digits == text.size() || text[digits] == L'/' || text[digits] == L'?' ||
                                   text[digits] == L'#');
        if (!port) return text;
    }
    std::wstring url = L"http://" + text;
    if (text.find_first_of(L"/?#") == std::wstring::npos) url += L'/';
    return url;
}

std::wstring ResolveUrl(const std::wstring& base, const std::wstring& relative) {
    // Tabs and line breaks inside an address are ignored, as in links.
    std::wstring ref;
    for (wchar_t c : Trim(relative))
        if (c != L'\t' && c != L'\r' && c != L'\n') ref += c;
    if (IsDrivePath(ref) || IsUncPath(ref)) return PathToFileUrl(ref);
    if (SchemeLength(ref)) return ref;

    UrlParts baseParts = SplitUrl(base);
    if (baseParts.scheme.empty() || !baseParts.hasAuthority) {
        // A base such as about:blank cannot hold relative addresses.
        return ref;
    }
    std::wstring scheme = Lower(baseParts.scheme);
    if (scheme == L"http" || scheme == L"https" || scheme == L"file" || scheme == L"ftp")
        std::replace(ref.begin(), ref.end(), L'\\', L'/');

    // A file URL's drive ("/C:") belongs to its root.
    std::wstring drive;
    if (scheme == L"file" && baseParts.path.size() >= 3 && baseParts.path[0] == L'/' &&
        IsAsciiAlpha(baseParts.path[1]) && (baseParts.path[2] == L':' || baseParts.path[2] == L'|')) {
        drive = baseParts.path.substr(0, 3);
        baseParts.path = baseParts.path.substr(3);
    }

    UrlParts result = baseParts;
    result.fragment.clear();
    if (ref.empty()) {
        result.path = drive + result.path;
        return JoinUrl(result);
    }
    if (ref.substr(0, 2) == L"//") return baseParts.scheme + L":" + ref;

    UrlParts refParts = SplitUrl(ref);
    if (ref[0] == L'#') {
        result.fragment = refParts.fragment;
    } else if (ref[0] == L'?') {
        result.query = refParts.query;
        result.fragment = refParts.fragment;
    } else {
        std::wstring path;
        if (refParts.path[0] == L'/') {
            path = refParts.path;
        } else {
            std::wstring dir = baseParts.path.substr(0, baseParts.path.rfind(L'/') + 1);
            if (dir.empty()) dir = L"/";
            path = dir + refParts.path;
        }
        result.path = RemoveDotSegments(path);
        if (result.path.empty()) result.path = L"/";
        result.query = refParts.query;
        result.fragment = refParts.fragment;
    }
    result.path = drive + result.path;
    return JoinUrl(result);
}

Response Fetch(const std::wstring& url, int version, DWORD downloadFlags, const std::atomic<bool>* cancel) {
    std::wstring address = Trim(url);
    if (Cancelled(cancel)) {
        Response response;
        response.url = address;
        response.error = E_ABORT;
        return response;
    }
    if (IsDrivePath(address) || IsUncPath(address)) return FetchFile(address, PathToFileUrl(address), cancel);
    std::wstring scheme = Lower(address.substr(0, SchemeLength(address)));
    if (scheme == L"about") {
        Response response;
        response.url = address;
        std::wstring what = Lower(address.substr(6));
        what = what.substr(0, what.find_first_of(L"?#"));
        if (what != L"blank") {
            // Only about:blank exists here; other about: pages are not offered.
            response.error = INET_E_UNKNOWN_PROTOCOL;
            return response;
        }
        response.status = 200;
        response.contentType = L"text/html";
        response.body = "<html><body></body></html>";
        return response;
    }
    if (scheme == L"file") return FetchFile(FileUrlToPath(address), address, cancel);
    if (scheme == L"http" || scheme == L"https") return FetchHttp(address, version, downloadFlags, cancel);
    Response response;
    response.url = address;
    response.error = INET_E_UNKNOWN_PROTOCOL;
    return response;
}

std::wstring DecodeText(const std::string& bytes, const std::wstring& contentType) {
    std::string_view view(bytes);
    if (view.size() >= 3 && view.substr(0, 3) == "\xEF\xBB\xBF") return DecodeWith(view.substr(3), CP_UTF8);
    if (view.size() >= 2 && view.substr(0, 2) == "\xFF\xFE") return DecodeWith(view.substr(2), 1200);
    if (view.size() >= 2 && view.substr(0, 2) == "\xFE\xFF") return DecodeWith(view.substr(2), 1201);
    UINT codePage = CodePageOfCharset(CharsetParameter(contentType));
    if (!codePage) {
        codePage = CodePageOfCharset(MetaCharset(bytes));
        // A <meta> found in ASCII-compatible bytes cannot truly mean UTF-16.
        if (codePage == 1200 || codePage == 1201) codePage = CP_UTF8;
    }
    if (!codePage) codePage = 1252;
    return DecodeWith(view, codePage);
}

LoadResult LoadPage(const std::wstring& url, int version, DWORD downloadFlags, const std::atomic<bool>* cancel) {
    return LoadAt(url, version, downloadFlags, cancel, 0);
}

}  // namespace standin
