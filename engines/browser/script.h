#pragma once
// The stand-in control's page script: not a language engine, only the few
// statement forms web developers reach for when they try a host, run from
// javascript: links, onclick attributes and inline <script> blocks.
#include <windows.h>
#include <oleauto.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// A script error of a page, where it happened: line and character counted
// from 1 in the page's markup.
struct ScriptErrorRecord {
    std::wstring message;
    long line = 1;
    long character = 1;
};

// What a script may do to its page and host.
class ScriptHost {
public:
    virtual ~ScriptHost() = default;
    virtual void CloseWindow() = 0;                          // window.close()
    virtual void OpenWindow(const std::wstring& url) = 0;    // window.open('url')
    virtual void Alert(const std::wstring& text) = 0;        // alert('text')
    virtual void Navigate(const std::wstring& url) = 0;      // location.href = 'url'
    // window.external.Name(args...): `args` are in source order (the
    // callee's IDispatch wants them reversed). RunScript owns them and
    // clears them after the call returns, so the host may reorder them in
    // place and uses VariantCopy to keep one. On failure `error` says why.
    virtual HRESULT CallExternal(const std::wstring& name, std::vector<VARIANT>& args,
                                 std::wstring* error) = 0;
    virtual void ScriptError(const std::wstring& message) = 0;
};

// Runs statements separated by ';' or new lines:
//   window.close()  self.close()  close()
//   window.open('url'[, 'name'[, 'features']])
//   alert('text')  window.alert("text")
//   location.href = 'url'   window.location = 'url'
//   window.external.Name(literal, ...)  with string, number, true, false,
//                                       null literals
//   return false / return true
//   void(0)  and empty statements (no effect)
// Anything else stops the script with ScriptError ("Object doesn't support
// this property or method" and the statement, or a syntax message).
// Returns false when the script ran "return false" (an onclick cancelling
// its link), true otherwise.
bool RunScript(std::wstring_view code, ScriptHost& host);

// The script of a javascript: address (after "javascript:", percent-decoded).
std::wstring JavascriptUrlCode(std::wstring_view url);

// Replaces each inline <script> block (without src) of a page's markup by
// what its document.write / document.writeln calls write, evaluating string
// literals, numbers, + concatenation, navigator.userAgent,
// navigator.appVersion, navigator.appName and document.documentMode (
// undefined before version 8, then the version) for the engine version.
// Blocks with other statements write nothing. <noscript> content is dropped.
// A block that does not parse, or that calls a function no page has (a bare
// name that is not one of the script's own: "'name' is undefined"), adds its
// error to `errors` (when given); the writes before the failing statement
// stay, as in an engine that stops a script at its first error.
std::wstring ExpandDocumentWrites(std::wstring_view html, int version,
                                  std::vector<ScriptErrorRecord>* errors = nullptr);

// For an onbeforeunload handler such as "return 'Leave?'": the message to
// ask the user; nullopt when the handler returns nothing (leave freely).
std::optional<std::wstring> BeforeUnloadMessage(std::wstring_view handler);

}  // namespace standin
