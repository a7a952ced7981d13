// Internet Explorer conditional comment conditions:
//   IE | IE n | lt IE n | lte IE n | gt IE n | gte IE n | true | false
// combined with ! (not), & (and), | (or) and parentheses. A version written
// without a fraction compares with the engine's major version only ("IE 5"
// holds for 5.5); with a fraction it compares the whole number ("IE 5.5").
#include "engines/render/render.h"

#include "engines/render/text_util.h"

namespace render {
namespace {

using namespace detail;

struct Version {
    long major = 0;
    long fraction = 0;  // ten-thousandths
    bool hasFraction = false;
};

Version EngineVersion(int engineVersion) {
    Version v;
    if (engineVersion == 5 || engineVersion == 55) {
        v.major = 5;
        v.fraction = 5000;
    } else {
        v.major = engineVersion;
    }
    return v;
}

class ConditionParser {
public:
    ConditionParser(std::wstring_view text, Version engine) : text_(text), engine_(engine) {}

    // The condition's value, or nullopt when it is malformed.
    std::optional<bool> Evaluate() {
        auto value = Or(0);
        SkipSpace();
        if (!value || pos_ != text_.size()) return std::nullopt;
        return value;
    }

private:
    static constexpr int kMaxDepth = 32;

    void SkipSpace() {
        while (pos_ < text_.size() && IsSpace(text_[pos_])) ++pos_;
    }

    bool Accept(wchar_t c) {
        SkipSpace();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    std::wstring_view Word() {
        SkipSpace();
        std::size_t start = pos_;
        while (pos_ < text_.size() &&
               ((text_[pos_] >= L'a' && text_[pos_] <= L'z') || (text_[pos_] >= L'A' && text_[pos_] <= L'Z')))
            ++pos_;
        return text_.substr(start, pos_ - start);
    }

    std::optional<Version> Number() {
        SkipSpace();
        Version v;
        std::size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] >= L'0' && text_[pos_] <= L'9') {
            if (pos_ - start >= 4) return std::nullopt;  // keeps the arithmetic in range
            v.major = v.major * 10 + (text_[pos_] - L'0');
            ++pos_;
        }
        if (pos_ == start) return std::nullopt;
        if (pos_ < text_.size() && text_[pos_] == L'.') {
            ++pos_;
            long scale = 1000;
            std::size_t digits = pos_;
            while (pos_ < text_.size() && text_[pos_] >= L'0' && text_[pos_] <= L'9') {
                v.fraction += (text_[pos_] - L'0') * scale;
                scale /= 10;
                ++pos_;
            }
            if (pos_ == digits) return std::nullopt;
            v.hasFraction = true;
        }
        return v;
    }

    bool NumberFollows() {
        SkipSpace();
        return pos_ < text_.size() && text_[pos_] >= L'0' && text_[pos_] <= L'9';
    }

    std::optional<bool> Or(int depth) {
        auto left = And(depth);
        while (left && Accept(L'|')) {
            auto right = And(depth);
            if (!right) return std::nullopt;
            left = *left || *right;
        }
        return left;
    }

    std::optional<bool> And(int depth) {
        auto left = Unary(depth);
        while (left && Accept(L'&')) {
            auto right = Unary(depth);
            if (!right) return std::nullopt;
            left = *left && *right;
        }
        return left;
    }

    std::optional<bool> Unary(int depth) {
        if (depth > kMaxDepth) return std::nullopt;
        if (Accept(L'!')) {
            auto value = Unary(depth + 1);
            if (!value) return std::nullopt;
            return !*value;
        }
        if (Accept(L'(')) {
            auto value = Or(depth + 1);
            if (!value || !Accept(L')')) return std::nullopt;
            return value;
        }
        return Term();
    }

    std::optional<bool> Term() {
        std::wstring_view word = Word();
        if (EqualNoCase(word, L"true")) return true;
        if (EqualNoCase(word, L"false")) return false;
        enum class Op { Equal, Less, LessEqual, Greater, GreaterEqual } op = Op::Equal;
        if (EqualNoCase(word, L"lt")) op = Op::Less;
        else if (EqualNoCase(word, L"lte")) op = Op::LessEqual;
        else if (EqualNoCase(word, L"gt")) op = Op::Greater;
        else if (EqualNoCase(word, L"gte")) op = Op::GreaterEqual;
        if (op != Op::Equal) word = Word();
        if (!EqualNoCase(word, L"IE")) return std::nullopt;
        if (!NumberFollows()) {
            if (op != Op::Equal) return std::nullopt;
            return true;  // any version of the engine
        }
        auto wanted = Number();
        if (!wanted) return std::nullopt;
        long have = engine_.major * 10000;
        long want = wanted->major * 10000;
        if (wanted->hasFraction) {
            have += engine_.fraction;
            want += wanted->fraction;
        }
        switch (op) {
            case Op::Equal: return have == want;
            case Op::Less: return have < want;
            case Op::LessEqual: return have <= want;
            case Op::Greater: return have > want;
            case Op::GreaterEqual: return have >= want;
        }
        return std::nullopt;
    }

    std::wstring_view text_;
    Version engine_;
    std::size_t pos_ = 0;
};

}  // namespace

bool EvaluateCondition(std::wstring_view condition, int engineVersion) {
    ConditionParser parser(condition, EngineVersion(engineVersion));
    return parser.Evaluate().value_or(false);
}

}  // namespace render
