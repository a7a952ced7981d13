// Soak of the pipe decoder: see decoder_soak.h.
#include "decoder_soak.h"

#include "core/messages.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Records = std::vector<CFNKXProcessMessage>;
using Random = std::mt19937;

// Readable pages followed by one inaccessible page. Place copies bytes so
// that the last of them is the last readable byte.
class GuardedPages {
public:
    explicit GuardedPages(std::size_t readablePages) {
        SYSTEM_INFO si;
        GetSystemInfo(&si);
        m_page = si.dwPageSize;
        m_size = readablePages * m_page;
        m_base = static_cast<std::uint8_t*>(
            VirtualAlloc(nullptr, m_size + m_page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        m_guarded = m_base && VirtualProtect(m_base + m_size, m_page, PAGE_NOACCESS, &old);
    }
    ~GuardedPages() {
        if (m_base) VirtualFree(m_base, 0, MEM_RELEASE);
    }
    GuardedPages(const GuardedPages&) = delete;
    GuardedPages& operator=(const GuardedPages&) = delete;

    bool Ready() const { return m_guarded; }
    std::size_t Capacity() const { return m_size; }
    // `size` must not exceed Capacity().
    const std::uint8_t* Place(const std::uint8_t* data, std::size_t size) {
        std::uint8_t* at = m_base + m_size - size;
        if (size) std::memcpy(at, data, size);
        return at;
    }
    // The page right after the readable ones cannot be read.
    bool GuardHolds() const {
        MEMORY_BASIC_INFORMATION info{};
        return m_guarded && VirtualQuery(m_base + m_size, &info, sizeof info) == sizeof info &&
               info.State == MEM_COMMIT && info.Protect == PAGE_NOACCESS;
    }

private:
    std::uint8_t* m_base = nullptr;
    std::size_t m_page = 0;
    std::size_t m_size = 0;
    bool m_guarded = false;
};

// 64 KiB: room for the longest generated record.
constexpr std::size_t kReadablePages = 16;
constexpr std::size_t kLongestHugeString = 30000;

enum Kind { Noise, Truncated, Flipped, Extended, Unterminated, Intact, Huge };
const char* const kKindNames[] = {"noise", "truncated", "flipped", "extended", "unterminated", "intact", "huge"};

// Code units that are never 0, with many whose low or high byte is 0 and
// surrogates of both halves.
std::wstring RandomText(Random& rng, std::size_t units) {
    std::wstring text(units, L'x');
    for (wchar_t& c : text) {
        switch (rng() % 4) {
        case 0: c = static_cast<wchar_t>(0x100 * (1 + rng() % 255)); break;
        case 1: c = static_cast<wchar_t>(1 + rng() % 255); break;
        case 2: c = static_cast<wchar_t>(0xD800 + rng() % 0x800); break;
        default: c = static_cast<wchar_t>(1 + rng() % 0xFFFF); break;
        }
    }
    return text;
}

// A kind the decoder reads as a number: anything but XPM_STRING.
std::uint32_t NumberKind(Random& rng) {
    const std::uint32_t kinds[] = {XPM_NUMBER, XPM_NUMBER, 0, 3, 0xFFFFFFFFu, static_cast<std::uint32_t>(rng())};
    std::uint32_t kind = kinds[rng() % 6];
    return kind == XPM_STRING ? XPM_NUMBER : kind;
}

std::uint32_t RandomNumber(Random& rng) {
    const std::uint32_t edges[] = {0, 1, 0xFFFFFFFFu, 0x80000000u};
    return rng() % 4 == 0 ? edges[rng() % 4] : static_cast<std::uint32_t>(rng());
}

// A record as the decoder would give it back: a string parameter carries
// the number 0, a number parameter an empty string.
CFNKXProcessMessage RandomRecord(Random& rng, std::size_t longest, bool lParamString = false) {
    CFNKXProcessMessage m;
    m.m_nMessage = RandomNumber(rng);
    const unsigned shape = rng() % 4;
    if (shape & 1) {
        m.m_nWParamType = XPM_STRING;
        m.m_strWParam = RandomText(rng, rng() % (longest + 1));
    } else {
        m.m_nWParamType = NumberKind(rng);
        m.m_wParam = RandomNumber(rng);
    }
    if ((shape & 2) || lParamString) {
        m.m_nLParamType = XPM_STRING;
        m.m_strLParam = RandomText(rng, rng() % (longest + 1));
    } else {
        m.m_nLParamType = NumberKind(rng);
        m.m_lParam = RandomNumber(rng);
    }
    return m;
}

void Append(Bytes& bytes, const CFNKXProcessMessage& m) {
    Bytes e = m.Encode();
    bytes.insert(bytes.end(), e.begin(), e.end());
}

Records RandomRecords(Random& rng, int fewest, int most, Bytes& bytes) {
    Records records;
    for (int n = fewest + static_cast<int>(rng() % (most - fewest + 1)); n > 0; --n) {
        records.push_back(RandomRecord(rng, 40));
        Append(bytes, records.back());
    }
    return records;
}

// One generated buffer, and the records it must decode to where that is
// known: `complete` is then whether it ends on a record boundary.
struct Case {
    Kind kind = Noise;
    Bytes bytes;
    bool known = false;
    Records expected;
    bool complete = false;
};

Case Generate(Random& rng, std::uint64_t index) {
    Case c;
    c.kind = index % 64 == 63 ? Huge : static_cast<Kind>(index % 6);
    Bytes& b = c.bytes;
    switch (c.kind) {
    case Noise: {
        // Biased towards the kinds 1 and 2 and towards 0 bytes, which end strings.
        b.resize(rng() % 300);
        for (auto& x : b) {
            const unsigned r = rng() % 8;
            x = r < 2 ? 0 : r == 2 ? 2 : r == 3 ? 1 : static_cast<std::uint8_t>(rng());
        }
        break;
    }
    case Truncated:
        RandomRecords(rng, 1, 4, b);
        b.resize(rng() % (b.size() + 1));
        break;
    case Flipped:
        RandomRecords(rng, 1, 4, b);
        for (int n = 1 + rng() % 4; n > 0; --n) b[rng() % b.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
        break;
    case Extended:
        RandomRecords(rng, 1, 4, b);
        for (int n = 1 + rng() % 8; n > 0; --n)
            b.insert(b.begin() + static_cast<std::ptrdiff_t>(rng() % (b.size() + 1)), static_cast<std::uint8_t>(rng()));
        break;
    case Unterminated: {
        // Whole records, then one whose last string lacks all or half of its
        // terminating unit.
        c.known = true;
        c.expected = RandomRecords(rng, 0, 3, b);
        Append(b, RandomRecord(rng, 40, true));
        b.resize(b.size() - 1 - rng() % 2);
        c.complete = false;
        break;
    }
    case Intact:
        c.known = true;
        c.expected = RandomRecords(rng, 1, 8, b);
        c.complete = true;
        break;
    case Huge: {
        // One record with a long string and extreme numbers, whole or
        // without its terminator.
        CFNKXProcessMessage m = RandomRecord(rng, 0);
        m.m_nMessage = 0xFFFFFFFFu;
        std::wstring text = RandomText(rng, 1000 + rng() % (kLongestHugeString - 999));
        if (rng() % 2) {
            m.m_nWParamType = XPM_STRING;
            m.m_wParam = 0;
            m.m_strWParam = std::move(text);
            // A number lParam: 8 bytes after the string's terminator.
            m.m_nLParamType = NumberKind(rng);
            m.m_lParam = 0xFFFFFFFFu;
            m.m_strLParam.clear();
        } else {
            m.m_nLParamType = XPM_STRING;
            m.m_lParam = 0;
            m.m_strLParam = std::move(text);
        }
        Append(b, m);
        c.known = true;
        c.complete = rng() % 2 == 0;
        if (c.complete) {
            c.expected.push_back(std::move(m));
        } else if (m.LParamIsString()) {
            b.resize(b.size() - 2);
        } else {
            // The lParam and the wParam's terminator go: the string runs to the end.
            b.resize(b.size() - 8 - 2);
        }
        break;
    }
    }
    return c;
}

Bytes Concat(const Records& records) {
    Bytes bytes;
    for (const auto& r : records) Append(bytes, r);
    return bytes;
}

// What is wrong with a decoded record, or null.
const char* Insane(const CFNKXProcessMessage& m) {
    if (m.m_nError != 0) return "a decoded record carries an error";
    if (!m.WParamIsString() && !m.m_strWParam.empty()) return "a number wParam has a string";
    if (!m.LParamIsString() && !m.m_strLParam.empty()) return "a number lParam has a string";
    if ((m.WParamIsString() && m.m_wParam != 0) || (m.LParamIsString() && m.m_lParam != 0))
        return "a string parameter has a number";
    for (const std::wstring* s : {&m.m_strWParam, &m.m_strLParam}) {
        if (s->size() > CFNKXProcessMessage::kMaxStringUnits) return "a string is over the limit";
        if (s->find(L'\0') != std::wstring::npos) return "a string holds a 0 unit";
    }
    return nullptr;
}

// Decodes one buffer whole and in pieces against the guard; the first
// thing that is wrong, or null.
const char* Check(GuardedPages& guard, Random& rng, const Case& c, DecoderSoakFigures& f) {
    const Bytes& in = c.bytes;
    if (in.size() > guard.Capacity()) return "the buffer does not fit before the guard page";

    const Records whole = DecodeMessages(guard.Place(in.data(), in.size()), in.size());

    CXProcessDecoder decoder;
    Records pieces;
    const std::size_t largestPiece = in.size() > 4096 ? 4096 : 8;
    for (std::size_t pos = 0; pos < in.size();) {
        const std::size_t n = std::min<std::size_t>(in.size() - pos, rng() % (largestPiece + 1));
        decoder.Feed(guard.Place(in.data() + pos, n), n, pieces);
        pos += n;
    }

    f.records += whole.size();
    for (const auto& m : whole) {
        if (const char* problem = Insane(m)) return problem;
        f.longestString = std::max<std::uint64_t>(f.longestString, std::max(m.m_strWParam.size(), m.m_strLParam.size()));
    }
    if (whole != pieces) return "pieces decode differently from one read";
    // Every record is exactly the bytes it came from; what is left is one
    // incomplete record.
    const Bytes again = Concat(whole);
    if (again.size() > in.size() || !std::equal(again.begin(), again.end(), in.begin()))
        return "a record does not re-encode to its bytes";
    if ((again.size() == in.size()) != decoder.AtRecordBoundary()) return "the record boundary is wrong";
    if (c.known) {
        if (whole != c.expected) return "the records differ from those encoded";
        if (decoder.AtRecordBoundary() != c.complete) return "an incomplete record was taken as complete";
    }
    return nullptr;
}

// A string one unit over the limit, in guarded pieces of up to 64 KiB,
// followed by an ordinary record: only that record comes out.
const char* CheckOverLimit(GuardedPages& guard, Random& rng, DecoderSoakFigures& f) {
    const auto tooLong = CFNKXProcessMessage::StringAndNumber(
        UWM_TAB_TITLE, std::wstring(CFNKXProcessMessage::kMaxStringUnits + 1, L'y'), 2);
    Bytes bytes = tooLong.Encode();
    const auto after = CFNKXProcessMessage::Numbers(UWM_TAB_PROGRESS, 3, 4);
    Append(bytes, after);
    CXProcessDecoder decoder;
    Records out;
    for (std::size_t pos = 0; pos < bytes.size();) {
        const std::size_t n = std::min<std::size_t>(bytes.size() - pos, 1 + rng() % guard.Capacity());
        decoder.Feed(guard.Place(bytes.data() + pos, n), n, out);
        pos += n;
    }
    f.bytes += bytes.size();
    f.records += out.size();
    if (out.size() != 1 || out[0] != after) return "a string over the limit was not skipped alone";
    if (!decoder.AtRecordBoundary()) return "the framing was lost behind a string over the limit";
    return nullptr;
}

void Record(DecoderSoakFigures& f, const char* problem, const std::string& where) {
    if (!problem) {
        ++f.passed;
        return;
    }
    ++f.failed;
    if (f.firstFailure.empty()) f.firstFailure = where + ": " + problem;
}

} // namespace

void SoakDecoder(std::uint64_t buffers, std::uint32_t seed, std::uint64_t overLimitRuns, DecoderSoakFigures& f) {
    f = DecoderSoakFigures();
    const auto start = std::chrono::steady_clock::now();
    GuardedPages guard(kReadablePages);
    if (!guard.Ready()) {
        f.failed = 1;
        f.firstFailure = "the guard page could not be set up";
        return;
    }
    Random rng(seed);
    for (std::uint64_t i = 0; i < buffers; ++i) {
        const Case c = Generate(rng, i);
        f.bytes += c.bytes.size();
        ++f.buffers;
        Record(f, Check(guard, rng, c, f), "buffer " + std::to_string(i) + " (" + kKindNames[c.kind] + ")");
    }
    for (std::uint64_t i = 0; i < overLimitRuns; ++i) {
        ++f.overLimitRuns;
        Record(f, CheckOverLimit(guard, rng, f), "string over the limit " + std::to_string(i));
    }
    f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool DecoderSoakGuardHolds() {
    GuardedPages guard(1);
    const std::uint8_t byte = 0x5A;
    const std::uint8_t* placed = guard.Place(&byte, 1);
    MEMORY_BASIC_INFORMATION info{};
    return guard.GuardHolds() && *placed == byte && VirtualQuery(placed + 1, &info, sizeof info) == sizeof info &&
           info.Protect == PAGE_NOACCESS;
}
