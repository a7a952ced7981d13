// The stand-in control's page script: statements reaching a recording host,
// the document.write expansion per engine version and inputs that must not
// break it.
#include "engines/browser/script.h"

#include "engines/browser/loader.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using standin::ExpandDocumentWrites;
using standin::RunScript;

// What one external call received, with each argument as "type:value".
struct ExternalCall {
    std::wstring name;
    std::vector<std::wstring> args;
};

std::wstring Describe(const VARIANT& v) {
    switch (V_VT(&v)) {
    case VT_BSTR: return L"str:" + std::wstring(V_BSTR(&v), SysStringLen(V_BSTR(&v)));
    case VT_I4: return L"i4:" + std::to_wstring(V_I4(&v));
    case VT_R8: return L"r8:" + std::to_wstring(V_R8(&v));
    case VT_BOOL: return V_BOOL(&v) == VARIANT_TRUE ? L"bool:true" : V_BOOL(&v) == VARIANT_FALSE ? L"bool:false" : L"bool:?";
    case VT_NULL: return L"null";
    case VT_EMPTY: return L"empty";
    default: return L"vt:" + std::to_wstring(V_VT(&v));
    }
}

class RecordingHost : public standin::ScriptHost {
public:
    void CloseWindow() override { log.push_back(L"close"); }
    void OpenWindow(const std::wstring& url) override { log.push_back(L"open " + url); }
    void Alert(const std::wstring& text) override { log.push_back(L"alert " + text); }
    void Navigate(const std::wstring& url) override { log.push_back(L"navigate " + url); }
    HRESULT CallExternal(const std::wstring& name, std::vector<VARIANT>& args, std::wstring* error) override {
        ExternalCall call{name, {}};
        for (const VARIANT& arg : args) call.args.push_back(Describe(arg));
        calls.push_back(call);
        log.push_back(L"external " + name);
        if (FAILED(externalResult) && error) *error = L"no such method " + name;
        return externalResult;
    }
    void ScriptError(const std::wstring& message) override { errors.push_back(message); }

    std::vector<std::wstring> log;
    std::vector<ExternalCall> calls;
    std::vector<std::wstring> errors;
    HRESULT externalResult = S_OK;
};

using Log = std::vector<std::wstring>;

TEST(ScriptRun, WindowStatements) {
    RecordingHost host;
    EXPECT_TRUE(RunScript(L"window.close(); self.close()\nclose()", host));
    EXPECT_EQ(host.log, (Log{L"close", L"close", L"close"}));
    EXPECT_TRUE(host.errors.empty());

    RecordingHost open;
    RunScript(L"window.open('popup.html', 'name', 'width=200'); window.open(\"b.html\")", open);
    EXPECT_EQ(open.log, (Log{L"open popup.html", L"open b.html"}));
    EXPECT_TRUE(open.errors.empty());
}

TEST(ScriptRun, AlertsAndLocation) {
    RecordingHost host;
    RunScript(L"alert('one');window.alert(\"two\");alert(3);alert('a' + 1 + 2)", host);
    RunScript(L"location.href = 'x.html'; window.location = \"y.html\"", host);
    EXPECT_EQ(host.log, (Log{L"alert one", L"alert two", L"alert 3", L"alert a12", L"navigate x.html",
                             L"navigate y.html"}));
    EXPECT_TRUE(host.errors.empty());
}

TEST(ScriptRun, ExternalCallsConvertArgumentsInOrder) {
    RecordingHost host;
    EXPECT_TRUE(RunScript(L"window.external.Hello('from the page', 42, 1.5, true, false, null, -7, 4.0, 3000000000)",
                          host));
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].name, L"Hello");
    EXPECT_EQ(host.calls[0].args,
              (Log{L"str:from the page", L"i4:42", L"r8:1.500000", L"bool:true", L"bool:false", L"null", L"i4:-7",
                   L"i4:4", L"r8:3000000000.000000"}));
    EXPECT_TRUE(host.errors.empty());

    RecordingHost none;
    RunScript(L"window.external.NoArgs()", none);
    ASSERT_EQ(none.calls.size(), 1u);
    EXPECT_TRUE(none.calls[0].args.empty());
}

TEST(ScriptRun, StringEscapes) {
    RecordingHost host;
    RunScript(L"alert('a\\nb\\tc\\\\d\\'e\\\"f\\x41\\u00e9\\u20AC'); alert(\"it's\")", host);
    EXPECT_EQ(host.log, (Log{L"alert a\nb\tc\\d'e\"fA\u00e9\u20ac", L"alert it's"}));
}

TEST(ScriptRun, ReturnValues) {
    RecordingHost host;
    EXPECT_FALSE(RunScript(L"alert('a'); return false; alert('b')", host));
    EXPECT_EQ(host.log, (Log{L"alert a"}));
    EXPECT_TRUE(RunScript(L"return true", host));
    EXPECT_TRUE(RunScript(L"window.external.Go(); return true;", host));
    EXPECT_TRUE(RunScript(L"", host));
    EXPECT_TRUE(host.errors.empty());
}

TEST(ScriptRun, NoEffectStatements) {
    RecordingHost host;
    EXPECT_TRUE(RunScript(L"void(0)", host));
    EXPECT_TRUE(RunScript(L"void 0;;  ;", host));
    EXPECT_TRUE(RunScript(L"// only a comment\n/* and another */", host));
    EXPECT_TRUE(host.log.empty());
    EXPECT_TRUE(host.errors.empty());
}

TEST(ScriptRun, UnknownStatementsStopTheScript) {
    RecordingHost host;
    RunScript(L"alert('before'); document.body.innerHTML = 'x'; alert('after')", host);
    EXPECT_EQ(host.log, (Log{L"alert before"}));
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_NE(host.errors[0].find(L"Object doesn't support this property or method"), std::wstring::npos);
    EXPECT_NE(host.errors[0].find(L"document.body.innerHTML = 'x'"), std::wstring::npos) << host.errors[0].c_str();

    RecordingHost self;
    RunScript(L"self.external.Hello(1)", self);  // only window.external reaches the host
    EXPECT_TRUE(self.calls.empty());
    EXPECT_EQ(self.errors.size(), 1u);
}

TEST(ScriptRun, SyntaxErrorsRunNothing) {
    RecordingHost unterminated;
    RunScript(L"alert('ok'); alert('oops", unterminated);
    EXPECT_TRUE(unterminated.log.empty());
    ASSERT_EQ(unterminated.errors.size(), 1u);
    EXPECT_EQ(unterminated.errors[0], L"Unterminated string constant");

    RecordingHost paren;
    RunScript(L"alert('ok'); alert('x'", paren);
    EXPECT_TRUE(paren.log.empty());
    ASSERT_EQ(paren.errors.size(), 1u);
    EXPECT_EQ(paren.errors[0], L"Expected ')'");

    RecordingHost args;
    RunScript(L"window.external.Hello(1 2)", args);
    EXPECT_TRUE(args.calls.empty());
    EXPECT_EQ(args.errors.size(), 1u);
}

TEST(ScriptRun, FailedExternalCallIsReported) {
    RecordingHost host;
    host.externalResult = DISP_E_UNKNOWNNAME;
    RunScript(L"window.external.Missing('x'); alert('not reached')", host);
    EXPECT_EQ(host.log, (Log{L"external Missing"}));
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(host.errors[0], L"no such method Missing");
}

TEST(ScriptRun, LineBreaksSeparateStatements) {
    RecordingHost host;
    RunScript(L"alert('a')\r\nalert('b' +\n 'c')\n  window.external.F(1,\n 2)", host);
    EXPECT_EQ(host.log, (Log{L"alert a", L"alert bc", L"external F"}));
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].args, (Log{L"i4:1", L"i4:2"}));
}

TEST(ScriptUrl, JavascriptUrlCode) {
    EXPECT_EQ(standin::JavascriptUrlCode(L"javascript:window.external.Hello('from%20the%20page',%2042)"),
              L"window.external.Hello('from the page', 42)");
    EXPECT_EQ(standin::JavascriptUrlCode(L"JavaScript:void(0)"), L"void(0)");
    EXPECT_EQ(standin::JavascriptUrlCode(L"javascript:alert('caf%C3%A9 100%')"), L"alert('caf\u00e9 100%')");
    EXPECT_EQ(standin::JavascriptUrlCode(L"http://example.com/"), L"");

    RecordingHost host;
    RunScript(standin::JavascriptUrlCode(L"javascript:window.external.Hello('from%20the%20page',%2042)"), host);
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].args, (Log{L"str:from the page", L"i4:42"}));
}

TEST(ScriptWrites, NavigatorPerVersion) {
    const wchar_t* page = L"<p><script>document.write(navigator.userAgent)</script></p>";
    for (int version : {5, 6, 7, 8, 9})
        EXPECT_EQ(ExpandDocumentWrites(page, version), L"<p>" + standin::UserAgent(version) + L"</p>");
    EXPECT_EQ(ExpandDocumentWrites(L"<script>document.write(navigator.appVersion)</script>", 6),
              L"4.0 (compatible; MSIE 6.0; Windows NT 5.1)");
    EXPECT_EQ(ExpandDocumentWrites(L"<script>document.write(navigator.appVersion)</script>", 9),
              L"5.0 (compatible; MSIE 9.0; Windows NT 6.1; Trident/5.0)");
    EXPECT_EQ(ExpandDocumentWrites(L"<script>document.write(window.navigator.appName)</script>", 8),
              L"Microsoft Internet Explorer");
}

TEST(ScriptWrites, DocumentModePerVersion) {
    const wchar_t* page = L"<script type='text/javascript'>document.write('mode ' + document.documentMode)</script>";
    EXPECT_EQ(ExpandDocumentWrites(page, 5), L"mode undefined");
    EXPECT_EQ(ExpandDocumentWrites(page, 6), L"mode undefined");
    EXPECT_EQ(ExpandDocumentWrites(page, 7), L"mode undefined");
    EXPECT_EQ(ExpandDocumentWrites(page, 8), L"mode 8");
    EXPECT_EQ(ExpandDocumentWrites(page, 9), L"mode 9");
}

TEST(ScriptWrites, WritesConcatenationAndComments) {
    EXPECT_EQ(ExpandDocumentWrites(L"a<SCRIPT LANGUAGE=\"JavaScript\">\n<!--\ndocument.write('<b>' + 1 + 2 + '</b>');\n"
                                   L"document.writeln(1 + 2, 'x');\n//-->\n</SCRIPT>b",
                                   8),
              L"a<b>12</b>3x\nb");
    EXPECT_EQ(ExpandDocumentWrites(L"<script>document.write(\"</scr\" + \"ipt>\")</script>", 8), L"</script>");
}

TEST(ScriptWrites, OtherBlocksWriteNothingOrStay) {
    // Anything besides writes: the block writes nothing at all.
    EXPECT_EQ(ExpandDocumentWrites(L"x<script>document.write('a'); var y = 2;</script>y", 8), L"xy");
    EXPECT_EQ(ExpandDocumentWrites(L"x<script>document.write(location.href)</script>y", 8), L"xy");
    // External and non-JavaScript scripts are left for the parser to skip.
    const wchar_t* external = L"<script src='a.js'>document.write('no')</script>";
    EXPECT_EQ(ExpandDocumentWrites(external, 8), external);
    const wchar_t* vb = L"<script language='VBScript'>document.write(\"vb\")</script>";
    EXPECT_EQ(ExpandDocumentWrites(vb, 8), vb);
    // <noscript> goes; markup without scripts stays as it is.
    EXPECT_EQ(ExpandDocumentWrites(L"<p>a</p><NOSCRIPT><p>no</p></noscript><p>b</p>", 8), L"<p>a</p><p>b</p>");
    EXPECT_EQ(ExpandDocumentWrites(L"<p><scripts>x</p><noscripty>", 8), L"<p><scripts>x</p><noscripty>");
    // An unclosed block stays.
    EXPECT_EQ(ExpandDocumentWrites(L"<p>x</p><script>document.write('a')", 8), L"<p>x</p><script>document.write('a')");
}

TEST(ScriptWrites, InsideConditionalComments) {
    std::wstring out = ExpandDocumentWrites(
        L"<!--[if IE 7]><script>document.write('<i>seven</i>')</script><![endif]-->", 7);
    EXPECT_EQ(out, L"<!--[if IE 7]><i>seven</i><![endif]-->");
}

TEST(ScriptBeforeUnload, Messages) {
    EXPECT_EQ(standin::BeforeUnloadMessage(L"return 'Leave?'"), std::optional<std::wstring>(L"Leave?"));
    EXPECT_EQ(standin::BeforeUnloadMessage(L"return \"Unsaved \" + 'work'"),
              std::optional<std::wstring>(L"Unsaved work"));
    EXPECT_EQ(standin::BeforeUnloadMessage(L"event.returnValue = 'Sure?'"), std::optional<std::wstring>(L"Sure?"));
    EXPECT_FALSE(standin::BeforeUnloadMessage(L""));
    EXPECT_FALSE(standin::BeforeUnloadMessage(L"return;"));
    EXPECT_FALSE(standin::BeforeUnloadMessage(L"return null"));
    EXPECT_FALSE(standin::BeforeUnloadMessage(L"alert('x')"));
    EXPECT_FALSE(standin::BeforeUnloadMessage(L"return 'unterminated"));
}

// Checks what a host sees from arbitrary input: only the documented
// argument types, and at most one error per run.
class CheckingHost : public RecordingHost {
public:
    HRESULT CallExternal(const std::wstring& name, std::vector<VARIANT>& args, std::wstring* error) override {
        for (const VARIANT& arg : args) {
            VARTYPE vt = V_VT(&arg);
            EXPECT_TRUE(vt == VT_BSTR || vt == VT_I4 || vt == VT_R8 || vt == VT_BOOL || vt == VT_NULL ||
                        vt == VT_EMPTY);
            if (vt == VT_BSTR) {
                EXPECT_NE(V_BSTR(&arg), nullptr);
            }
        }
        return RecordingHost::CallExternal(name, args, error);
    }
};

TEST(ScriptFuzz, RandomAndTruncatedInputs) {
    const std::vector<std::wstring> seeds = {
        L"window.external.Hello('from the page', 42, -1.5e3, true, null); return false",
        L"alert(\"a\\u00e9\\x41\" + 1 + (2 + 3)); location.href = 'x.html'\nclose()",
        L"window.open('a', 'b', 'c'); void(0); /* comment */ // end",
        L"<script>document.write('<p>' + navigator.userAgent + document.documentMode)</script><noscript>n</noscript>",
        L"return 'Leave?'",
    };
    const std::wstring pieces[] = {L"(", L")", L"'", L"\"", L"\\", L"\\u12", L"\\x", L"+", L"-", L",", L";",
                                   L"\n", L"=", L".", L"window", L"external", L"alert", L"return", L"false",
                                   L"0x", L"1e", L"1.5", L"/*", L"//", L"<!--", L"-->", L"<script>",
                                   L"</script>", L"<noscript", L"document.write(", L"javascript:", L"%", L"%4",
                                   L"%C3", L"\u00e9", L"\u2028", L"void", L" ", L"{", L"]"};
    std::mt19937 random(20240607);
    std::vector<std::wstring> inputs;
    for (const std::wstring& seed : seeds)
        for (std::size_t n = 0; n <= seed.size(); ++n) inputs.push_back(seed.substr(0, n));
    for (int i = 0; i < 3000; ++i) {
        std::wstring text;
        int count = static_cast<int>(random() % 24);
        for (int k = 0; k < count; ++k) {
            if (random() % 4 == 0) text += static_cast<wchar_t>(random() % 0x3000);
            else text += pieces[random() % std::size(pieces)];
        }
        inputs.push_back(text);
    }
    inputs.push_back(std::wstring(5000, L'('));
    inputs.push_back(std::wstring(5000, L'-') + L"1");
    inputs.push_back(L"alert(" + std::wstring(200, L'(') + L"1" + std::wstring(200, L')') + L")");

    std::size_t ran = 0;
    for (const std::wstring& input : inputs) {
        CheckingHost host;
        RunScript(input, host);
        EXPECT_LE(host.errors.size(), 1u) << ran;
        standin::JavascriptUrlCode(L"javascript:" + input);
        standin::BeforeUnloadMessage(input);
        std::wstring html = L"<p>" + input + L"</p><script>" + input + L"</script>";
        std::wstring expanded = ExpandDocumentWrites(html, static_cast<int>(5 + ran % 5));
        EXPECT_EQ(expanded.substr(0, 3), L"<p>");
        ++ran;
    }
    EXPECT_EQ(ran, inputs.size());
}

TEST(ScriptWrites, ABlockThatFailsIsAnErrorAtItsLineAndKeepsWhatItWroteBefore) {
    std::vector<standin::ScriptErrorRecord> errors;
    const wchar_t* page = L"<p>a</p>\n<script>\ndocument.write('x');\n   missing(1);\ndocument.write('y');\n</script>";
    EXPECT_EQ(ExpandDocumentWrites(page, 8, &errors), L"<p>a</p>\nx");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].message, L"'missing' is undefined");
    EXPECT_EQ(errors[0].line, 4);
    EXPECT_EQ(errors[0].character, 4);

    // A block that does not parse is an error at its start.
    errors.clear();
    ExpandDocumentWrites(L"<script>document.write('open)</script>", 7, &errors);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].message, L"Unterminated string constant");
    EXPECT_EQ(errors[0].character, 9);

    // Known functions, words of the language and the page's own functions
    // are no errors (the block writes nothing it cannot run, as before).
    errors.clear();
    ExpandDocumentWrites(L"<script>function setup() { }</script><script>setup()</script><script>alert('a')</script>"
                         L"<script>if (1) {}</script><script>while (0) {}</script>",
                         8, &errors);
    EXPECT_TRUE(errors.empty());
}

}  // namespace
