#pragma once
// Fetching pages for the stand-in control: about:, file and http(s)
// addresses, each engine version with its own user agent, and a whole page
// with its frames and pictures for a navigation.
#include "engines/browser/page.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

namespace standin {

// The User-Agent header of an engine version (5 meaning 5.5, 6, 7, 8, 9).
std::wstring UserAgent(int version);

// Turns what a user or a page gives as an address into a full URL:
// "about:blank" stays, "C:\dir\page.html" and "\\server\share\x.html" become
// file URLs, "www.example.com" becomes "http://www.example.com/", full URLs
// stay as they are (surrounding white space removed).
std::wstring NormalizeAddress(const std::wstring& address);

// Percent-decodes `text`; the decoded bytes are read as UTF-8 when they form
// valid UTF-8, otherwise in the ANSI code page, as older pages expect.
std::wstring PercentDecode(std::wstring_view text);

// Resolves a link or frame address against the address of its document.
std::wstring ResolveUrl(const std::wstring& base, const std::wstring& relative);

struct Response {
    // S_OK when a response arrived (whatever its HTTP status); otherwise the
    // failure, such as INET_E_RESOURCE_NOT_FOUND (file missing, host not
    // found), INET_E_CANNOT_CONNECT, INET_E_UNKNOWN_PROTOCOL or E_ABORT.
    HRESULT error = S_OK;
    DWORD status = 0;          // HTTP status; 200 for about: and file addresses
    std::wstring url;          // final address after redirects
    std::wstring contentType;  // e.g. "text/html; charset=utf-8"; guessed for files
    std::string body;          // raw bytes
};

// Fetches one address. Blocks; may run on any thread. `downloadFlags` are
// the DLCTL_* bits in force (DLCTL_PRAGMA_NO_CACHE makes http requests
// bypass caches). `cancel`, when given and set, ends the fetch with E_ABORT.
Response Fetch(const std::wstring& url, int version, DWORD downloadFlags,
               const std::atomic<bool>* cancel = nullptr);

// The text of a response body: a byte-order mark wins, then the charset of
// the content type, then a <meta> charset, then windows-1252.
std::wstring DecodeText(const std::string& bytes, const std::wstring& contentType);

struct LoadResult {
    Response response;           // of the document itself
    std::shared_ptr<Page> page;  // null when response.error failed or the status is >= 400
};

// Loads a whole page for a navigation: fetches the document, runs its inline
// document.write scripts for the version unless DLCTL_NO_SCRIPTS is set,
// parses it for the version, loads its frames (nested up to a few levels)
// and, when DLCTL_DLIMAGES is set, its pictures. Blocks; may run on any
// thread.
LoadResult LoadPage(const std::wstring& url, int version, DWORD downloadFlags,
                    const std::atomic<bool>* cancel = nullptr);

// Builds a page from markup already in hand (error pages, about:blank),
// with no fetching; frames and pictures are not loaded.
std::shared_ptr<Page> PageFromMarkup(const std::wstring& url, const std::wstring& html, int version);

}  // namespace standin
