// The message numbers, the record's wire form and its decoder.
#include "core/messages.h"
#include "core/script_error_log.h"
#include "pipe_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace hosting_test;

namespace {

// ---------------------------------------------------------------------------
// Checked by the compiler, so that the x86 build, which cannot run its tests
// here, proves the same bytes as the x86-64 build.

template <std::size_t N>
constexpr bool EncodesTo(const CFNKXProcessMessage& m, const std::array<std::uint8_t, N>& golden) {
    std::vector<std::uint8_t> bytes = m.Encode();
    return m.WireSize() == N && bytes.size() == N && std::equal(bytes.begin(), bytes.end(), golden.begin());
}

template <std::size_t N>
constexpr bool DecodesTo(const std::array<std::uint8_t, N>& golden, const CFNKXProcessMessage& m) {
    std::vector<CFNKXProcessMessage> out = DecodeMessages(golden.data(), N);
    return out.size() == 1 && out[0] == m;
}

// Functions rather than constants: a std::wstring cannot outlive constant evaluation.
constexpr CFNKXProcessMessage Progress() { return CFNKXProcessMessage::Numbers(UWM_TAB_PROGRESS, 50, 100); }
constexpr CFNKXProcessMessage ByteOrder() {
    return CFNKXProcessMessage::Numbers(UWM_TAB_PROGRESS, 0xFFFFFFFFu, 0x12345678u);
}

static_assert(EncodesTo(Progress(), kGoldenProgress));
static_assert(EncodesTo(CFNKXProcessMessage::Strings(UWM_TAB_HISTORY_ADD, L"http://a.b", L"Hello"), kGoldenHistory));
static_assert(EncodesTo(CFNKXProcessMessage::StringAndNumber(UWM_TAB_TITLE, L"", 0), kGoldenEmptyTitle));
static_assert(EncodesTo(ByteOrder(), kGoldenByteOrder));
static_assert(EncodesTo(CFNKXProcessMessage::StringAndNumber(UWM_TAB_NEW_WINDOW, L"\u00E9\u4E2D\U0001F600", 7),
                        kGoldenNewWindow));

static_assert(DecodesTo(kGoldenProgress, Progress()));
static_assert(DecodesTo(kGoldenHistory, CFNKXProcessMessage::Strings(UWM_TAB_HISTORY_ADD, L"http://a.b", L"Hello")));
static_assert(DecodesTo(kGoldenEmptyTitle, CFNKXProcessMessage::StringAndNumber(UWM_TAB_TITLE, L"", 0)));
static_assert(DecodesTo(kGoldenByteOrder, ByteOrder()));
static_assert(DecodesTo(kGoldenNewWindow,
                        CFNKXProcessMessage::StringAndNumber(UWM_TAB_NEW_WINDOW, L"\u00E9\u4E2D\U0001F600", 7)));

// The record's numbers are 32 bits whatever the build; the wire never sees a pointer.
static_assert(sizeof(CFNKXProcessMessage::m_nMessage) == 4 && sizeof(CFNKXProcessMessage::m_wParam) == 4 &&
              sizeof(CFNKXProcessMessage::m_lParam) == 4 && sizeof(CFNKXProcessMessage::m_nWParamType) == 4 &&
              sizeof(CFNKXProcessMessage::m_nLParamType) == 4 && sizeof(CFNKXProcessMessage::m_nError) == 4);

// A truncated record decodes to nothing.
static_assert(DecodeMessages(kGoldenHistory.data(), 45).empty());
static_assert(DecodeMessages(kGoldenProgress.data(), 19).empty());

// ---------------------------------------------------------------------------

TEST(MessageNumbers, AreTheAgreedValues) {
    EXPECT_EQ(0x1400u, UWM_ENGINE_CLOSE);
    EXPECT_EQ(0x1401u, UWM_ENGINE_COMMAND);
    const UINT window[] = {UWM_TAB_GO_ADDRESS,       UWM_TAB_TITLE,          UWM_TAB_STATUS_TEXT,
                           UWM_TAB_HISTORY_ADD,      UWM_TAB_PROGRESS,       UWM_TAB_NAVIGATE,
                           UWM_TAB_NEW_WINDOW,       UWM_TAB_ZOOM};
    for (UINT i = 0; i < 8; ++i) EXPECT_EQ(0x2400u + i, window[i]);
    EXPECT_EQ(UWM_TAB_ZOOM, UWM_FRAME_WEB_SEARCH);
    const UINT later[] = {UWM_TAB_PANEL_STATE,   UWM_TAB_BROWSER_READY, UWM_TAB_TASKBAR_ACTIVATE,
                          UWM_TAB_TASKBAR_SYSCOMMAND, UWM_TAB_MUST_CLOSE, UWM_TAB_QUERY_CLOSE,
                          UWM_TAB_DOWNLOAD_FLAGS, UWM_FRAME_TAB_CRASHED, UWM_TAB_ADDRESS,
                          UWM_TAB_TASKBAR_PREVIEW};
    for (UINT i = 0; i < 10; ++i) EXPECT_EQ(0x2409u + i, later[i]); // 0x2408 is skipped
    EXPECT_EQ(1, CLOSE_PAGE_CLOSED);
    EXPECT_EQ(2, CLOSE_ENGINE_LOST);
    EXPECT_EQ(3, CLOSE_TASKBAR);
    EXPECT_EQ(4, CLOSE_LAUNCH_FAILED);
    EXPECT_EQ(5, CLOSE_UNLOAD_ACCEPTED);
}

// The two records of a script error as every receiver reads them: numbers
// as signed 32-bit values, null strings as empty text, and a message that
// comes without its position reads line 0, character 0.
TEST(ScriptErrorPair, ReadsSignedPositionsAndNullStringsAndForgetsThePositionAfterEachError) {
    ScriptErrorPairReader reader;
    reader.TakePosition(static_cast<WPARAM>(0xFFFFFFFFu), static_cast<LPARAM>(0x7FFFFFFF));
    ScriptError first = reader.TakeError(NewStringParam<WPARAM>(L"'f' is undefined"), NewStringParam<LPARAM>(L"http://a/"));
    EXPECT_EQ(first, (ScriptError{L"'f' is undefined", -1, 0x7FFFFFFF, L"http://a/"}));
    ScriptError second = reader.TakeError(0, 0);
    EXPECT_EQ(second, (ScriptError{L"", 0, 0, L""}));
}

TEST(ScriptErrorPair, TheLogCountsEveryErrorKeepsTheFirstAndTheTextHasOneLineOfFourFieldsEach) {
    ScriptErrorLog log(2);
    log.Add({L"a\tb", 1, 2, L"http://x/"});
    log.Add({L"line\r\nbreak", 30, 4, L"http://y/\t"});
    log.Add({L"third", 5, 6, L""});
    EXPECT_EQ(log.Count(), 3u);
    ASSERT_EQ(log.Kept().size(), 2u);
    EXPECT_EQ(ScriptErrorsAsText(log.Kept()), L"a b\t1\t2\thttp://x/\r\nline  break\t30\t4\thttp://y/ ");
    EXPECT_EQ(ScriptErrorsAsText({}), L"");
    log.Clear();
    EXPECT_EQ(log.Count(), 0u);
    EXPECT_TRUE(log.Kept().empty());
}

TEST(WireForm, TwoNumbersTake20Bytes) {
    auto bytes = Progress().Encode();
    EXPECT_EQ(Bytes(kGoldenProgress), bytes);
    EXPECT_EQ(20u, bytes.size());
}

TEST(WireForm, HistoryCaseTakes46Bytes) {
    auto m = CFNKXProcessMessage::Strings(UWM_TAB_HISTORY_ADD, L"http://a.b", L"Hello");
    EXPECT_EQ(46u, m.WireSize());
    EXPECT_EQ(Bytes(kGoldenHistory), m.Encode());
}

TEST(WireForm, EmptyStringIsOneZeroUnitAndComesBackEmpty) {
    auto m = CFNKXProcessMessage::StringAndNumber(UWM_TAB_TITLE, L"", 0);
    EXPECT_EQ(Bytes(kGoldenEmptyTitle), m.Encode());
    auto out = DecodeMessages(kGoldenEmptyTitle.data(), kGoldenEmptyTitle.size());
    ASSERT_EQ(1u, out.size());
    EXPECT_EQ(XPM_STRING, out[0].m_nWParamType);
    EXPECT_TRUE(out[0].m_strWParam.empty());
}

TEST(WireForm, StringEndsAtAnEmbeddedZero) {
    std::wstring text(L"ab\0cd", 5);
    auto m = CFNKXProcessMessage::StringAndNumber(UWM_TAB_TITLE, text, 3);
    auto bytes = m.Encode();
    EXPECT_EQ(8u + 6 + 8, bytes.size());
    auto out = DecodeMessages(bytes.data(), bytes.size());
    ASSERT_EQ(1u, out.size()); // the units behind the 0 did not become a second record
    EXPECT_EQ(L"ab", out[0].m_strWParam);
    EXPECT_EQ(3u, out[0].m_lParam);
}

TEST(WireForm, OtherKindsAreNumbers) {
    // Kind 7 is not a string: four bytes of number follow.
    std::vector<std::uint8_t> bytes = {0x05, 0, 0, 0, 7, 0, 0, 0, 0xAA, 0xBB, 0xCC, 0xDD, 0, 0, 0, 0, 1, 2, 3, 4};
    auto out = DecodeMessages(bytes.data(), bytes.size());
    ASSERT_EQ(1u, out.size());
    EXPECT_EQ(5u, out[0].m_nMessage);
    EXPECT_EQ(7u, out[0].m_nWParamType);
    EXPECT_EQ(0xDDCCBBAAu, out[0].m_wParam);
    EXPECT_EQ(0u, out[0].m_nLParamType);
    EXPECT_EQ(0x04030201u, out[0].m_lParam);
    EXPECT_EQ(bytes, out[0].Encode());
}

TEST(Decoder, TwoRecordsInOneBufferInOrder) {
    auto bytes = Bytes(kGoldenHistory);
    bytes.insert(bytes.end(), kGoldenProgress.begin(), kGoldenProgress.end());
    auto out = DecodeMessages(bytes.data(), bytes.size());
    ASSERT_EQ(2u, out.size());
    EXPECT_EQ(UWM_TAB_HISTORY_ADD, out[0].m_nMessage);
    EXPECT_EQ(L"http://a.b", out[0].m_strWParam);
    EXPECT_EQ(L"Hello", out[0].m_strLParam);
    EXPECT_EQ(Progress(), out[1]);
}

TEST(Decoder, RecordSplitAtEveryByteComesOutWhole) {
    auto whole = Bytes(kGoldenHistory);
    whole.insert(whole.end(), kGoldenNewWindow.begin(), kGoldenNewWindow.end());
    for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
        CXProcessDecoder decoder;
        std::vector<CFNKXProcessMessage> out;
        decoder.Feed(whole.data(), cut, out);
        decoder.Feed(whole.data() + cut, whole.size() - cut, out);
        ASSERT_EQ(2u, out.size()) << "cut at " << cut;
        EXPECT_EQ(L"Hello", out[0].m_strLParam);
        EXPECT_EQ(std::wstring(L"\u00E9\u4E2D\U0001F600"), out[1].m_strWParam);
        EXPECT_TRUE(decoder.AtRecordBoundary());
    }
}

// Places bytes at the very end of a readable page followed by an inaccessible
// one, so that reading one byte too far faults.
class GuardedBuffer {
public:
    GuardedBuffer() {
        SYSTEM_INFO si;
        GetSystemInfo(&si);
        m_page = si.dwPageSize;
        m_base = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, 2 * m_page, MEM_RESERVE, PAGE_NOACCESS));
        VirtualAlloc(m_base, m_page, MEM_COMMIT, PAGE_READWRITE);
    }
    ~GuardedBuffer() { VirtualFree(m_base, 0, MEM_RELEASE); }
    const std::uint8_t* Place(const std::uint8_t* data, std::size_t size) {
        std::uint8_t* at = m_base + m_page - size;
        std::copy(data, data + size, at);
        return at;
    }
    std::size_t Capacity() const { return m_page; }

private:
    std::uint8_t* m_base = nullptr;
    std::size_t m_page = 0;
};

std::vector<std::uint8_t> Concat(const std::vector<CFNKXProcessMessage>& records) {
    std::vector<std::uint8_t> bytes;
    for (const auto& r : records) {
        auto e = r.Encode();
        bytes.insert(bytes.end(), e.begin(), e.end());
    }
    return bytes;
}

TEST(Decoder, RandomAndDamagedBytesNeverReadOutOfBounds) {
    GuardedBuffer guard;
    std::mt19937 rng(20260412);
    std::vector<std::vector<std::uint8_t>> seeds = {Bytes(kGoldenProgress), Bytes(kGoldenHistory),
                                                    Bytes(kGoldenEmptyTitle), Bytes(kGoldenNewWindow)};
    for (int iteration = 0; iteration < 20000; ++iteration) {
        std::vector<std::uint8_t> input;
        switch (iteration % 3) {
        case 0: { // noise, biased towards the kinds 1 and 2 and zero units
            input.resize(rng() % 300);
            for (auto& b : input) {
                unsigned r = rng() % 8;
                b = r < 2 ? 0 : r == 2 ? 2 : r == 3 ? 1 : static_cast<std::uint8_t>(rng());
            }
            break;
        }
        case 1: { // valid records, then truncated
            for (int n = 1 + rng() % 4; n > 0; --n) {
                const auto& s = seeds[rng() % seeds.size()];
                input.insert(input.end(), s.begin(), s.end());
            }
            input.resize(rng() % (input.size() + 1));
            break;
        }
        default: { // valid records with flipped bytes
            for (int n = 1 + rng() % 4; n > 0; --n) {
                const auto& s = seeds[rng() % seeds.size()];
                input.insert(input.end(), s.begin(), s.end());
            }
            for (int n = 1 + rng() % 4; n > 0; --n) input[rng() % input.size()] ^= static_cast<std::uint8_t>(rng());
            break;
        }
        }
        ASSERT_LE(input.size(), guard.Capacity());

        // One read holding everything.
        auto oneShot = DecodeMessages(guard.Place(input.data(), input.size()), input.size());

        // The same bytes in random pieces, each at the edge of the guard page.
        CXProcessDecoder decoder;
        std::vector<CFNKXProcessMessage> pieces;
        for (std::size_t pos = 0; pos < input.size();) {
            std::size_t n = std::min<std::size_t>(input.size() - pos, rng() % 9);
            decoder.Feed(guard.Place(input.data() + pos, n), n, pieces);
            pos += n;
        }
        ASSERT_EQ(oneShot, pieces) << "iteration " << iteration;

        // Every decoded record is exactly the bytes it came from; what is
        // left over is one incomplete record.
        auto again = Concat(oneShot);
        ASSERT_LE(again.size(), input.size());
        ASSERT_TRUE(std::equal(again.begin(), again.end(), input.begin())) << "iteration " << iteration;
        ASSERT_EQ(again.size() == input.size(), decoder.AtRecordBoundary()) << "iteration " << iteration;
    }
}

TEST(Decoder, StringOverTheLimitIsSkippedAndFramingHolds) {
    const std::size_t limit = CFNKXProcessMessage::kMaxStringUnits;
    auto longest = CFNKXProcessMessage::StringAndNumber(UWM_TAB_TITLE, std::wstring(limit, L'x'), 1);
    auto tooLong = CFNKXProcessMessage::StringAndNumber(UWM_TAB_TITLE, std::wstring(limit + 1, L'y'), 2);
    EXPECT_FALSE(longest.TooLong());
    EXPECT_TRUE(tooLong.TooLong());
    auto bytes = tooLong.Encode();
    auto tail = longest.Encode();
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    bytes.insert(bytes.end(), kGoldenProgress.begin(), kGoldenProgress.end());

    CXProcessDecoder decoder;
    std::vector<CFNKXProcessMessage> out;
    for (std::size_t pos = 0; pos < bytes.size(); pos += 5000)
        decoder.Feed(bytes.data() + pos, std::min<std::size_t>(5000, bytes.size() - pos), out);
    ASSERT_EQ(2u, out.size());
    EXPECT_EQ(limit, out[0].m_strWParam.size());
    EXPECT_EQ(1u, out[0].m_lParam);
    EXPECT_EQ(Progress(), out[1]);
}

// ---------------------------------------------------------------------------
// Delivery to a window.

class PostTarget : public ::testing::Test {
protected:
    void SetUp() override {
        m_hwnd = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, m_hwnd);
    }
    void TearDown() override {
        MSG msg;
        while (PeekMessageW(&msg, m_hwnd, 0, 0, PM_REMOVE)) {
        }
        DestroyWindow(m_hwnd);
    }
    bool Next(MSG& msg) { return PeekMessageW(&msg, m_hwnd, 0, 0, PM_REMOVE) != FALSE; }
    HWND m_hwnd = nullptr;
};

TEST_F(PostTarget, StringsBecomeNewHeapStringsAndWmNullFollows) {
    auto record = CFNKXProcessMessage::Strings(UWM_TAB_HISTORY_ADD, L"http://a.b", L"Hello");
    ASSERT_TRUE(record.PostTo(m_hwnd));
    MSG msg;
    ASSERT_TRUE(Next(msg));
    EXPECT_EQ(UWM_TAB_HISTORY_ADD, msg.message);
    auto url = TakeStringParam(msg.wParam);
    auto title = TakeStringParam(static_cast<std::uintptr_t>(msg.lParam));
    ASSERT_TRUE(url && title);
    EXPECT_EQ(L"http://a.b", *url);
    EXPECT_EQ(L"Hello", *title);
    EXPECT_NE(&record.m_strWParam, url.get()); // the record keeps its own
    EXPECT_EQ(L"http://a.b", record.m_strWParam);
    ASSERT_TRUE(Next(msg));
    EXPECT_EQ(static_cast<UINT>(WM_NULL), msg.message);
    EXPECT_EQ(0u, msg.wParam);
    EXPECT_EQ(0, msg.lParam);
    EXPECT_FALSE(Next(msg));
}

TEST_F(PostTarget, EmptyStringArrivesAsEmptyNotNull) {
    auto record = CFNKXProcessMessage::StringAndNumber(UWM_TAB_TITLE, L"", 0);
    ASSERT_TRUE(record.PostTo(m_hwnd));
    MSG msg;
    ASSERT_TRUE(Next(msg));
    auto text = TakeStringParam(msg.wParam);
    ASSERT_NE(nullptr, text);
    EXPECT_TRUE(text->empty());
}

TEST_F(PostTarget, NumbersWidenLikeA32BitSender) {
    auto record = CFNKXProcessMessage::Numbers(UWM_TAB_PROGRESS, 0xFFFFFFFFu, 0xFFFFFFFFu);
    ASSERT_TRUE(record.PostTo(m_hwnd));
    MSG msg;
    ASSERT_TRUE(Next(msg));
    EXPECT_EQ(static_cast<WPARAM>(0xFFFFFFFFu), msg.wParam); // zero-extended
    EXPECT_EQ(-1, msg.lParam);                               // sign-extended
    EXPECT_EQ(-1, static_cast<int>(msg.wParam));             // the progress test of the view still holds
}

TEST(PostTo, FailedPostReportsFalse) {
    auto record = CFNKXProcessMessage::StringAndNumber(UWM_TAB_TITLE, L"lost", 0);
    EXPECT_FALSE(record.PostTo(reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x7FFFFFF0))));
}

} // namespace
