// The few script statements the stand-in control understands: a tokenizer,
// a splitter into statements and an evaluator for literal expressions with
// '+', plus the document.write expansion of inline <script> blocks.
#include "engines/browser/script.h"

#include "engines/browser/loader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cwctype>
#include <functional>

namespace standin {

namespace {

enum class TokenKind { Identifier, String, Number, Punctuator };

struct Token {
    TokenKind kind = TokenKind::Punctuator;
    std::wstring text;      // identifier name, string value or punctuator
    double number = 0;
    bool newlineBefore = false;
    std::size_t begin = 0, end = 0;  // source offsets
};

bool IsIdentifierStart(wchar_t c) { return c == L'_' || c == L'$' || std::iswalpha(c); }
bool IsIdentifierPart(wchar_t c) { return IsIdentifierStart(c) || (c >= L'0' && c <= L'9'); }
bool IsLineBreak(wchar_t c) { return c == L'\n' || c == L'\r' || c == 0x2028 || c == 0x2029; }

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// Splits script source into tokens; on a lexical error returns false with
// the message in `error`.
bool Tokenize(std::wstring_view s, std::vector<Token>& tokens, std::wstring& error) {
    std::size_t i = 0;
    bool newline = true;  // at the start of a line (for "-->")
    bool lineStart = true;
    while (i < s.size()) {
        wchar_t c = s[i];
        if (IsLineBreak(c)) {
            newline = lineStart = true;
            ++i;
            continue;
        }
        if (c == L' ' || c == L'\t' || c == L'\v' || c == L'\f' || c == 0xA0 || c == 0xFEFF) {
            ++i;
            continue;
        }
        // Comments: //, /* */, and the HTML-like "<!--" and line-leading "-->".
        bool lineComment = s.substr(i, 2) == L"//" || s.substr(i, 4) == L"<!--" ||
                           (lineStart && s.substr(i, 3) == L"-->");
        if (lineComment) {
            while (i < s.size() && !IsLineBreak(s[i])) ++i;
            continue;
        }
        if (s.substr(i, 2) == L"/*") {
            std::size_t close = s.find(L"*/", i + 2);
            if (close == std::wstring_view::npos) {
                error = L"Expected '*/'";
                return false;
            }
            for (std::size_t k = i; k < close; ++k)
                if (IsLineBreak(s[k])) newline = lineStart = true;
            i = close + 2;
            continue;
        }
        lineStart = false;
        Token token;
        token.begin = i;
        token.newlineBefore = newline;
        newline = false;
        if (c == L'\'' || c == L'"') {
            wchar_t quote = c;
            ++i;
            std::wstring value;
            bool closed = false;
            while (i < s.size()) {
                wchar_t d = s[i];
                if (d == quote) {
                    closed = true;
                    ++i;
                    break;
                }
                if (IsLineBreak(d)) break;
                if (d != L'\\') {
                    value += d;
                    ++i;
                    continue;
                }
                ++i;
                if (i >= s.size()) break;
                wchar_t e = s[i++];
                switch (e) {
                case L'n': value += L'\n'; break;
                case L't': value += L'\t'; break;
                case L'r': value += L'\r'; break;
                case L'b': value += L'\b'; break;
                case L'f': value += L'\f'; break;
                case L'v': value += L'\v'; break;
                case L'0': value += L'\0'; break;
                case L'\r':
                    if (i < s.size() && s[i] == L'\n') ++i;
                    break;  // a line continuation
                case L'\n':
                case 0x2028:
                case 0x2029: break;
                case L'x':
                case L'u': {
                    int digits = e == L'x' ? 2 : 4;
                    int code = 0;
                    bool ok = i + digits <= s.size();
                    for (int k = 0; ok && k < digits; ++k) {
                        int h = HexDigit(s[i + k]);
                        if (h < 0) ok = false;
                        else code = code * 16 + h;
                    }
                    if (ok) {
                        value += static_cast<wchar_t>(code);
                        i += digits;
                    } else {
                        value += e;  // not an escape after all
                    }
                    break;
                }
                default: value += e; break;
                }
            }
            if (!closed) {
                error = L"Unterminated string constant";
                return false;
            }
            token.kind = TokenKind::String;
            token.text = std::move(value);
        } else if ((c >= L'0' && c <= L'9') || (c == L'.' && i + 1 < s.size() && s[i + 1] >= L'0' && s[i + 1] <= L'9')) {
            token.kind = TokenKind::Number;
            if (c == L'0' && i + 1 < s.size() && (s[i + 1] == L'x' || s[i + 1] == L'X')) {
                i += 2;
                double value = 0;
                std::size_t start = i;
                while (i < s.size() && HexDigit(s[i]) >= 0) value = value * 16 + HexDigit(s[i++]);
                if (i == start) {
                    error = L"Syntax error";
                    return false;
                }
                token.number = value;
            } else {
                std::string digits;
                while (i < s.size() && s[i] >= L'0' && s[i] <= L'9') digits += static_cast<char>(s[i++]);
                if (i < s.size() && s[i] == L'.') {
                    digits += '.';
                    ++i;
                    while (i < s.size() && s[i] >= L'0' && s[i] <= L'9') digits += static_cast<char>(s[i++]);
                }
                if (i < s.size() && (s[i] == L'e' || s[i] == L'E')) {
                    std::size_t save = i;
                    std::string exponent = "e";
                    ++i;
                    if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) exponent += static_cast<char>(s[i++]);
                    std::size_t start = i;
                    while (i < s.size() && s[i] >= L'0' && s[i] <= L'9') exponent += static_cast<char>(s[i++]);
                    if (i == start) i = save;
                    else digits += exponent;
                }
                token.number = std::strtod(digits.c_str(), nullptr);
            }
            if (i < s.size() && IsIdentifierStart(s[i])) {
                error = L"Expected ';'";
                return false;
            }
        } else if (IsIdentifierStart(c)) {
            token.kind = TokenKind::Identifier;
            while (i < s.size() && IsIdentifierPart(s[i])) token.text += s[i++];
        } else {
            token.kind = TokenKind::Punctuator;
            token.text = std::wstring(1, c);
            ++i;
        }
        token.end = i;
        tokens.push_back(std::move(token));
    }
    return true;
}

using Statement = std::vector<Token>;

bool IsPunctuator(const Token& token, wchar_t c) {
    return token.kind == TokenKind::Punctuator && token.text.size() == 1 && token.text[0] == c;
}

// Splits tokens into statements at ';' and at line breaks that end a
// statement; false when the brackets do not balance.
bool SplitStatements(const std::vector<Token>& tokens, std::vector<Statement>& statements, std::wstring& error) {
    Statement current;
    int depth = 0;
    auto finish = [&] {
        if (!current.empty()) statements.push_back(std::move(current));
        current.clear();
    };
    for (const Token& token : tokens) {
        if (depth == 0 && token.newlineBefore && !current.empty()) {
            const Token& last = current.back();
            bool continues = IsPunctuator(last, L'+') || IsPunctuator(last, L',') || IsPunctuator(last, L'=') ||
                             IsPunctuator(last, L'.') || IsPunctuator(token, L'.') || IsPunctuator(token, L'+') ||
                             IsPunctuator(token, L',') || IsPunctuator(token, L'=');
            if (!continues) finish();
        }
        if (token.kind == TokenKind::Punctuator) {
            wchar_t c = token.text[0];
            if (c == L'(' || c == L'[' || c == L'{') ++depth;
            if (c == L')' || c == L']' || c == L'}') {
                if (--depth < 0) {
                    error = L"Syntax error";
                    return false;
                }
            }
            if (c == L';' && depth == 0) {
                finish();
                continue;
            }
        }
        current.push_back(token);
    }
    if (depth != 0) {
        error = L"Expected ')'";
        return false;
    }
    if (!current.empty()) finish();
    return true;
}

struct Value {
    enum class Kind { Undefined, Null, Boolean, Number, String } kind = Kind::Undefined;
    std::wstring text;
    double number = 0;
    bool boolean = false;
};

std::wstring NumberText(double n) {
    if (std::isnan(n)) return L"NaN";
    if (std::isinf(n)) return n > 0 ? L"Infinity" : L"-Infinity";
    if (n == 0) return L"0";
    char buffer[64];
    if (n == std::floor(n) && std::fabs(n) < 1e21) {
        std::snprintf(buffer, sizeof buffer, "%.0f", n);
    } else {
        // The shortest form that reads back as the same number.
        for (int precision = 15; precision <= 17; ++precision) {
            std::snprintf(buffer, sizeof buffer, "%.*g", precision, n);
            if (std::strtod(buffer, nullptr) == n) break;
        }
    }
    std::wstring text;
    for (const char* p = buffer; *p; ++p) text += static_cast<wchar_t>(*p);
    return text;
}

std::wstring ToText(const Value& value) {
    switch (value.kind) {
    case Value::Kind::Undefined: return L"undefined";
    case Value::Kind::Null: return L"null";
    case Value::Kind::Boolean: return value.boolean ? L"true" : L"false";
    case Value::Kind::Number: return NumberText(value.number);
    case Value::Kind::String: return value.text;
    }
    return {};
}

double ToNumber(const Value& value) {
    switch (value.kind) {
    case Value::Kind::Null: return 0;
    case Value::Kind::Boolean: return value.boolean ? 1 : 0;
    case Value::Kind::Number: return value.number;
    case Value::Kind::String: {
        std::string narrow;
        for (wchar_t c : value.text) {
            if (c > 127) return NAN;
            narrow += static_cast<char>(c);
        }
        std::size_t first = narrow.find_first_not_of(" \t\r\n");
        if (first == std::string::npos) return 0;
        char* end = nullptr;
        double n = std::strtod(narrow.c_str() + first, &end);
        while (end && (*end == ' ' || *end == '\t' || *end == '\r' || *end == '\n')) ++end;
        return end && *end == 0 ? n : NAN;
    }
    default: return NAN;
    }
}

// What a dotted name such as navigator.userAgent stands for; nullopt when unknown.
using Names = std::function<std::optional<Value>(const std::vector<std::wstring>& path)>;

// Evaluates literal expressions joined by '+' over a statement's tokens.
class Evaluator {
public:
    Evaluator(const Statement& tokens, std::size_t position, const Names& names)
        : t_(tokens), i_(position), names_(names) {}

    std::size_t Position() const { return i_; }
    bool AtEnd() const { return i_ >= t_.size(); }
    bool Next(wchar_t c) const { return !AtEnd() && IsPunctuator(t_[i_], c); }
    bool Take(wchar_t c) {
        if (!Next(c)) return false;
        ++i_;
        return true;
    }

    std::optional<Value> Expression(int nesting = 0) {
        if (nesting > 64) return std::nullopt;
        std::optional<Value> left = Unary(nesting);
        while (left && Take(L'+')) {
            std::optional<Value> right = Unary(nesting);
            if (!right) return std::nullopt;
            if (left->kind == Value::Kind::String || right->kind == Value::Kind::String) {
                left = Value{Value::Kind::String, ToText(*left) + ToText(*right)};
            } else {
                Value sum;
                sum.kind = Value::Kind::Number;
                sum.number = ToNumber(*left) + ToNumber(*right);
                left = sum;
            }
        }
        return left;
    }

    // "(" [expression {"," expression}] ")"
    std::optional<std::vector<Value>> Arguments() {
        std::vector<Value> values;
        if (!Take(L'(')) return std::nullopt;
        if (Take(L')')) return values;
        for (;;) {
            std::optional<Value> value = Expression();
            if (!value) return std::nullopt;
            values.push_back(std::move(*value));
            if (Take(L')')) return values;
            if (!Take(L',')) return std::nullopt;
        }
    }

private:
    std::optional<Value> Unary(int nesting) {
        if (nesting > 64) return std::nullopt;
        if (Take(L'-') || (Next(L'+') && Take(L'+'))) {
            bool negate = t_[i_ - 1].text == L"-";
            std::optional<Value> operand = Unary(nesting + 1);
            if (!operand) return std::nullopt;
            Value result;
            result.kind = Value::Kind::Number;
            result.number = negate ? -ToNumber(*operand) : ToNumber(*operand);
            return result;
        }
        return Primary(nesting);
    }

    std::optional<Value> Primary(int nesting) {
        if (AtEnd()) return std::nullopt;
        const Token& token = t_[i_];
        if (token.kind == TokenKind::String) {
            ++i_;
            return Value{Value::Kind::String, token.text};
        }
        if (token.kind == TokenKind::Number) {
            ++i_;
            Value value;
            value.kind = Value::Kind::Number;
            value.number = token.number;
            return value;
        }
        if (Take(L'(')) {
            std::optional<Value> inner = Expression(nesting + 1);
            if (!inner || !Take(L')')) return std::nullopt;
            return inner;
        }
        if (token.kind != TokenKind::Identifier) return std::nullopt;
        std::vector<std::wstring> path{token.text};
        ++i_;
        while (Next(L'.') && i_ + 1 < t_.size() && t_[i_ + 1].kind == TokenKind::Identifier) {
            path.push_back(t_[i_ + 1].text);
            i_ += 2;
        }
        if (path.size() == 1) {
            Value value;
            if (path[0] == L"true" || path[0] == L"false") {
                value.kind = Value::Kind::Boolean;
                value.boolean = path[0] == L"true";
                return value;
            }
            if (path[0] == L"null") {
                value.kind = Value::Kind::Null;
                return value;
            }
            if (path[0] == L"undefined") return value;
        }
        if (names_) return names_(path);
        return std::nullopt;
    }

    const Statement& t_;
    std::size_t i_;
    const Names& names_;
};

// The dotted name at the start of a statement, with a leading "window." or
// "self." dropped ("window.close" -> "close").
std::vector<std::wstring> LeadingPath(const Statement& statement, std::size_t* next) {
    std::vector<std::wstring> path;
    std::size_t i = 0;
    if (statement.empty() || statement[0].kind != TokenKind::Identifier) {
        *next = 0;
        return path;
    }
    path.push_back(statement[0].text);
    i = 1;
    while (i + 1 < statement.size() && IsPunctuator(statement[i], L'.') &&
           statement[i + 1].kind == TokenKind::Identifier) {
        path.push_back(statement[i + 1].text);
        i += 2;
    }
    while (path.size() > 1 && (path[0] == L"window" || path[0] == L"self")) path.erase(path.begin());
    *next = i;
    return path;
}

std::wstring StatementText(std::wstring_view code, const Statement& statement) {
    if (statement.empty()) return {};
    std::size_t begin = statement.front().begin, end = statement.back().end;
    if (begin >= code.size() || end > code.size() || end < begin) return {};
    return std::wstring(code.substr(begin, end - begin));
}

VARIANT ToVariant(const Value& value) {
    VARIANT v;
    VariantInit(&v);
    switch (value.kind) {
    case Value::Kind::Undefined: break;
    case Value::Kind::Null: V_VT(&v) = VT_NULL; break;
    case Value::Kind::Boolean:
        V_VT(&v) = VT_BOOL;
        V_BOOL(&v) = value.boolean ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    case Value::Kind::Number:
        if (value.number == std::floor(value.number) && value.number >= -2147483648.0 &&
            value.number <= 2147483647.0) {
            V_VT(&v) = VT_I4;
            V_I4(&v) = static_cast<LONG>(value.number);
        } else {
            V_VT(&v) = VT_R8;
            V_R8(&v) = value.number;
        }
        break;
    case Value::Kind::String:
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = SysAllocStringLen(value.text.data(), static_cast<UINT>(value.text.size()));
        break;
    }
    return v;
}

const Names kNoNames;

bool Parse(std::wstring_view code, std::vector<Statement>& statements, std::wstring& error) {
    std::vector<Token> tokens;
    return Tokenize(code, tokens, error) && SplitStatements(tokens, statements, error);
}


bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::towlower(text[i]) != std::towlower(prefix[i])) return false;
    return true;
}

std::size_t FindNoCase(std::wstring_view text, std::wstring_view what, std::size_t from) {
    if (what.empty()) return from;
    for (std::size_t i = from; i + what.size() <= text.size(); ++i)
        if (StartsWithNoCase(text.substr(i), what)) return i;
    return std::wstring_view::npos;
}

bool IsTagEnd(std::wstring_view html, std::size_t pos) {
    return pos >= html.size() || html[pos] == L'>' || html[pos] == L'/' || std::iswspace(html[pos]);
}

// The end of a start tag beginning at `pos` (just after its '>'), with its
// attributes (names lower case); npos when the tag does not close.
std::size_t ReadStartTag(std::wstring_view html, std::size_t pos,
                         std::vector<std::pair<std::wstring, std::wstring>>& attributes) {
    std::size_t i = pos + 1;
    while (i < html.size() && !std::iswspace(html[i]) && html[i] != L'>' && html[i] != L'/') ++i;
    for (;;) {
        while (i < html.size() && (std::iswspace(html[i]) || html[i] == L'/')) ++i;
        if (i >= html.size()) return std::wstring_view::npos;
        if (html[i] == L'>') return i + 1;
        std::wstring name;
        while (i < html.size() && !std::iswspace(html[i]) && html[i] != L'=' && html[i] != L'>' && html[i] != L'/')
            name += static_cast<wchar_t>(std::towlower(html[i++]));
        while (i < html.size() && std::iswspace(html[i])) ++i;
        std::wstring value;
        if (i < html.size() && html[i] == L'=') {
            ++i;
            while (i < html.size() && std::iswspace(html[i])) ++i;
            if (i < html.size() && (html[i] == L'"' || html[i] == L'\'')) {
                wchar_t quote = html[i++];
                std::size_t close = html.find(quote, i);
                if (close == std::wstring_view::npos) return std::wstring_view::npos;
                value = std::wstring(html.substr(i, close - i));
                i = close + 1;
            } else {
                while (i < html.size() && !std::iswspace(html[i]) && html[i] != L'>') value += html[i++];
            }
        }
        if (!name.empty()) attributes.emplace_back(std::move(name), std::move(value));
    }
}

const std::wstring* FindAttribute(const std::vector<std::pair<std::wstring, std::wstring>>& attributes,
                                  std::wstring_view name) {
    for (const auto& [key, value] : attributes)
        if (key == name) return &value;
    return nullptr;
}

bool IsJavaScriptBlock(const std::vector<std::pair<std::wstring, std::wstring>>& attributes) {
    if (const std::wstring* type = FindAttribute(attributes, L"type"); type && !type->empty()) {
        std::wstring lower;
        for (wchar_t c : *type) lower += static_cast<wchar_t>(std::towlower(c));
        if (lower.find(L"javascript") == std::wstring::npos && lower.find(L"jscript") == std::wstring::npos &&
            lower.find(L"ecmascript") == std::wstring::npos)
            return false;
    }
    if (const std::wstring* language = FindAttribute(attributes, L"language"); language && !language->empty())
        return StartsWithNoCase(*language, L"javascript") || StartsWithNoCase(*language, L"jscript") ||
               StartsWithNoCase(*language, L"ecmascript");
    return true;
}

// Names a page's scripts may call without defining them.
bool IsKnownGlobal(const std::wstring& name) {
    static const wchar_t* const kNames[] = {
        L"alert", L"confirm", L"prompt", L"close", L"open", L"print", L"focus", L"blur", L"escape", L"unescape",
        L"parseInt", L"parseFloat", L"isNaN", L"isFinite", L"setTimeout", L"setInterval", L"clearTimeout",
        L"clearInterval", L"eval", L"String", L"Number", L"Boolean", L"Date", L"Array", L"Object", L"RegExp",
        L"Function", L"Error", L"Math", L"encodeURI", L"decodeURI", L"encodeURIComponent",
        L"decodeURIComponent", L"ActiveXObject", L"GetObject", L"ScriptEngine", L"ScriptEngineMajorVersion",
        L"ScriptEngineMinorVersion", L"ScriptEngineBuildVersion", L"navigate", L"execScript", L"showModalDialog",
        L"attachEvent", L"detachEvent", L"scrollTo", L"scrollBy", L"moveTo", L"resizeTo",
        // Words of the language that a '(' may follow.
        L"if", L"while", L"for", L"switch", L"function", L"return", L"typeof", L"void", L"catch", L"with",
        L"new", L"delete", L"in", L"instanceof", L"do", L"else", L"try", L"throw", L"var"};
    for (const wchar_t* known : kNames)
        if (name == known) return true;
    return false;
}

// The names a page's inline scripts define ("function name", "var name").
std::vector<std::wstring> DefinedNames(std::wstring_view code) {
    std::vector<Token> tokens;
    std::wstring error;
    std::vector<std::wstring> names;
    if (!Tokenize(code, tokens, error)) return names;
    for (std::size_t i = 0; i + 1 < tokens.size(); ++i)
        if (tokens[i].kind == TokenKind::Identifier && (tokens[i].text == L"function" || tokens[i].text == L"var") &&
            tokens[i + 1].kind == TokenKind::Identifier)
            names.push_back(tokens[i + 1].text);
    return names;
}

// A script block's error: the message and its offset in the block.
struct BlockError {
    std::wstring message;
    std::size_t offset = 0;
};

// What a script block writes with document.write and document.writeln;
// empty when it does anything else. A block that does not parse, or calls a
// name that is neither known nor defined by the page (`defined`), gets
// `error`, and keeps what it wrote before.
std::wstring BlockOutput(std::wstring_view code, int version, const std::vector<std::wstring>& defined,
                         std::optional<BlockError>& error) {
    std::vector<Statement> statements;
    std::wstring parseError;
    if (!Parse(code, statements, parseError)) {
        error = BlockError{parseError, 0};
        return {};
    }
    std::wstring userAgent = UserAgent(version);
    Names names = [&](const std::vector<std::wstring>& fullPath) -> std::optional<Value> {
        std::vector<std::wstring> path = fullPath;
        while (path.size() > 1 && (path[0] == L"window" || path[0] == L"self")) path.erase(path.begin());
        if (path.size() != 2) return std::nullopt;
        Value text{Value::Kind::String, {}};
        if (path[0] == L"navigator") {
            if (path[1] == L"userAgent") text.text = userAgent;
            else if (path[1] == L"appVersion")
                text.text = StartsWithNoCase(userAgent, L"Mozilla/") ? userAgent.substr(8) : userAgent;
            else if (path[1] == L"appName") text.text = L"Microsoft Internet Explorer";
            else if (path[1] == L"appCodeName") text.text = L"Mozilla";
            else return std::nullopt;
            return text;
        }
        if (path[0] == L"document" && path[1] == L"documentMode") {
            Value mode;
            if (version == 8 || version == 9) {
                mode.kind = Value::Kind::Number;
                mode.number = version;
            }
            return mode;  // undefined before version 8
        }
        return std::nullopt;
    };
    std::wstring output;
    for (const Statement& statement : statements) {
        std::size_t next = 0;
        std::vector<std::wstring> path = LeadingPath(statement, &next);
        if (path.size() == 1 && next < statement.size() && IsPunctuator(statement[next], L'(') &&
            !IsKnownGlobal(path[0]) && std::find(defined.begin(), defined.end(), path[0]) == defined.end()) {
            // The engine stops the block here; what it wrote stays.
            error = BlockError{L"'" + path[0] + L"' is undefined", statement[0].begin};
            return output;
        }
        if (path.size() != 2 || path[0] != L"document" || (path[1] != L"write" && path[1] != L"writeln"))
            return {};
        Evaluator evaluator(statement, next, names);
        std::optional<std::vector<Value>> arguments = evaluator.Arguments();
        if (!arguments || !evaluator.AtEnd()) return {};
        for (const Value& value : *arguments) output += ToText(value);
        if (path[1] == L"writeln") output += L'\n';
    }
    return output;
}

}  // namespace

bool RunScript(std::wstring_view code, ScriptHost& host) {
    std::vector<Statement> statements;
    std::wstring error;
    if (!Parse(code, statements, error)) {
        host.ScriptError(error);
        return true;
    }
    for (const Statement& statement : statements) {
        std::wstring text = StatementText(code, statement);
        auto unsupported = [&] {
            host.ScriptError(L"Object doesn't support this property or method: " + text);
        };
        std::size_t next = 0;
        std::vector<std::wstring> path = LeadingPath(statement, &next);
        if (path.empty()) {
            unsupported();
            return true;
        }
        Evaluator evaluator(statement, next, kNoNames);

        if (path.size() == 1 && path[0] == L"return") {
            if (evaluator.AtEnd()) return true;
            std::optional<Value> value = evaluator.Expression();
            if (!value || !evaluator.AtEnd()) {
                host.ScriptError(L"Syntax error: " + text);
                return true;
            }
            return !(value->kind == Value::Kind::Boolean && !value->boolean);
        }
        if (path.size() == 1 && path[0] == L"void") {
            // void(0), void 0: evaluated for nothing.
            if (!evaluator.Expression() || !evaluator.AtEnd()) {
                host.ScriptError(L"Syntax error: " + text);
                return true;
            }
            continue;
        }

        bool isLocation = (path.size() == 1 && path[0] == L"location") ||
                          (path.size() == 2 && path[0] == L"location" && path[1] == L"href") ||
                          (path.size() == 2 && path[0] == L"document" && path[1] == L"location") ||
                          (path.size() == 3 && path[0] == L"document" && path[1] == L"location" &&
                           path[2] == L"href");
        if (isLocation && evaluator.Take(L'=')) {
            std::optional<Value> value = evaluator.Expression();
            if (!value || !evaluator.AtEnd()) {
                host.ScriptError(L"Syntax error: " + text);
                return true;
            }
            host.Navigate(ToText(*value));
            continue;
        }

        if (!evaluator.Next(L'(')) {
            unsupported();
            return true;
        }
        std::optional<std::vector<Value>> arguments = evaluator.Arguments();
        if (!arguments || !evaluator.AtEnd()) {
            host.ScriptError(L"Syntax error: " + text);
            return true;
        }
        if (path.size() == 1 && path[0] == L"close") {
            host.CloseWindow();
        } else if (path.size() == 1 && path[0] == L"open" && statement[0].text == L"window") {
            host.OpenWindow(arguments->empty() ? std::wstring() : ToText((*arguments)[0]));
        } else if (path.size() == 1 && path[0] == L"alert") {
            host.Alert(arguments->empty() ? std::wstring() : ToText((*arguments)[0]));
        } else if (path.size() == 2 && path[0] == L"external" && statement[0].text == L"window") {
            std::vector<VARIANT> args;
            for (const Value& value : *arguments) args.push_back(ToVariant(value));
            std::wstring callError;
            HRESULT hr = host.CallExternal(path[1], args, &callError);
            for (VARIANT& arg : args) VariantClear(&arg);
            if (FAILED(hr)) {
                host.ScriptError(callError.empty() ? L"Object doesn't support this property or method: " + text
                                                   : callError);
                return true;
            }
        } else {
            unsupported();
            return true;
        }
    }
    return true;
}

std::wstring JavascriptUrlCode(std::wstring_view url) {
    std::size_t start = 0;
    while (start < url.size() && std::iswspace(url[start])) ++start;
    url.remove_prefix(start);
    if (!StartsWithNoCase(url, L"javascript:")) return {};
    return PercentDecode(url.substr(11));
}

std::wstring ExpandDocumentWrites(std::wstring_view html, int version, std::vector<ScriptErrorRecord>* errors) {
    std::wstring out;
    out.reserve(html.size());
    // The names the page's scripts define, for telling an undefined call.
    std::vector<std::wstring> defined;
    for (std::size_t at = FindNoCase(html, L"<script", 0); at != std::wstring_view::npos;
         at = FindNoCase(html, L"<script", at + 7)) {
        std::vector<std::pair<std::wstring, std::wstring>> attributes;
        const std::size_t start = ReadStartTag(html, at, attributes);
        if (start == std::wstring_view::npos) break;
        const std::size_t end = FindNoCase(html, L"</script", start);
        if (end == std::wstring_view::npos) break;
        for (std::wstring& name : DefinedNames(html.substr(start, end - start))) defined.push_back(std::move(name));
    }
    std::size_t pos = 0;
    while (pos < html.size()) {
        std::size_t lt = html.find(L'<', pos);
        if (lt == std::wstring_view::npos) break;
        bool isScript = StartsWithNoCase(html.substr(lt), L"<script") && IsTagEnd(html, lt + 7);
        bool isNoscript = StartsWithNoCase(html.substr(lt), L"<noscript") && IsTagEnd(html, lt + 9);
        if (!isScript && !isNoscript) {
            out.append(html.substr(pos, lt + 1 - pos));
            pos = lt + 1;
            continue;
        }
        std::vector<std::pair<std::wstring, std::wstring>> attributes;
        std::size_t contentStart = ReadStartTag(html, lt, attributes);
        std::wstring_view closeTag = isScript ? L"</script" : L"</noscript";
        std::size_t close = contentStart == std::wstring_view::npos ? std::wstring_view::npos
                                                                    : FindNoCase(html, closeTag, contentStart);
        if (close == std::wstring_view::npos) break;  // an unclosed block: the rest stays as it is
        std::size_t closeEnd = html.find(L'>', close);
        closeEnd = closeEnd == std::wstring_view::npos ? html.size() : closeEnd + 1;
        out.append(html.substr(pos, lt - pos));
        if (isNoscript) {
            // Scripts run, so what is meant for pages without them goes.
        } else if (FindAttribute(attributes, L"src") || !IsJavaScriptBlock(attributes)) {
            out.append(html.substr(lt, closeEnd - lt));  // not ours to run; left for the parser to skip
        } else {
            std::optional<BlockError> error;
            out += BlockOutput(html.substr(contentStart, close - contentStart), version, defined, error);
            if (error && errors) {
                // Line and character of the failing statement in the page, from 1.
                const std::size_t at = std::min(contentStart + error->offset, html.size());
                ScriptErrorRecord record;
                record.message = error->message;
                for (std::size_t i = 0; i < at; ++i) {
                    if (html[i] == L'\n') {
                        ++record.line;
                        record.character = 1;
                    } else {
                        ++record.character;
                    }
                }
                errors->push_back(std::move(record));
            }
        }
        pos = closeEnd;
    }
    if (pos < html.size()) out.append(html.substr(pos));
    return out;
}

std::optional<std::wstring> BeforeUnloadMessage(std::wstring_view handler) {
    std::vector<Statement> statements;
    std::wstring error;
    if (!Parse(handler, statements, error)) return std::nullopt;
    for (const Statement& statement : statements) {
        std::size_t next = 0;
        std::vector<std::wstring> path = LeadingPath(statement, &next);
        Evaluator evaluator(statement, next, kNoNames);
        bool isReturn = path.size() == 1 && path[0] == L"return";
        bool isReturnValue = path.size() == 2 && path[0] == L"event" && path[1] == L"returnValue" &&
                             evaluator.Take(L'=');
        if (!isReturn && !isReturnValue) continue;
        if (evaluator.AtEnd()) return std::nullopt;
        std::optional<Value> value = evaluator.Expression();
        if (!value || !evaluator.AtEnd() || value->kind == Value::Kind::Undefined ||
            value->kind == Value::Kind::Null)
            return std::nullopt;
        return ToText(*value);
    }
    return std::nullopt;
}

}  // namespace standin
