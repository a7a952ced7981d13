#include "app/command_line.h"

#include <gtest/gtest.h>

namespace {

// Parses arguments the way start-up does, from a full command line string.
void Parse(CCustomCommandLineInfo& info, const wchar_t* argumentsAfterProgram) {
    std::wstring line = std::wstring(L"vantrell.exe ") + argumentsAfterProgram;
    fw::ParseCommandLine(info, fw::SplitCommandLine(line.c_str()));
}

size_t TotalUrls(const CCustomCommandLineInfo& info) {
    size_t n = 0;
    for (const auto& list : info.m_urls) n += list.size();
    return n;
}

TEST(CommandLine, NoArgumentsLeavesEverythingEmpty) {
    CCustomCommandLineInfo info;
    Parse(info, L"");
    EXPECT_EQ(TotalUrls(info), 0u);
    EXPECT_FALSE(info.m_bPcode);
    EXPECT_TRUE(info.m_strPipeName.empty());
    EXPECT_EQ(info.m_hWndParent, 0u);
}

TEST(CommandLine, AddressesFollowTheLastVersionFlag) {
    CCustomCommandLineInfo single;
    Parse(single, L"a.html");
    ASSERT_EQ(single.m_urls[IEDefault].size(), 1u);
    EXPECT_EQ(single.m_urls[IEDefault][0], L"a.html");
    EXPECT_EQ(TotalUrls(single), 1u);

    CCustomCommandLineInfo info;
    Parse(info, L"-ie6 a.html -ie8 b.html c.html");
    ASSERT_EQ(info.m_urls[IE6].size(), 1u);
    EXPECT_EQ(info.m_urls[IE6][0], L"a.html");
    ASSERT_EQ(info.m_urls[IE8].size(), 2u);
    EXPECT_EQ(info.m_urls[IE8][0], L"b.html");
    EXPECT_EQ(info.m_urls[IE8][1], L"c.html");
    EXPECT_EQ(TotalUrls(info), 3u);
}

TEST(CommandLine, AllGoesToEveryVersionUntilTheNextVersionFlag) {
    CCustomCommandLineInfo info;
    Parse(info, L"-all x.html -ie7 y.html");
    for (int v = 0; v < kVersionCount; ++v) {
        ASSERT_FALSE(info.m_urls[v].empty()) << v;
        EXPECT_EQ(info.m_urls[v][0], L"x.html") << v;
    }
    ASSERT_EQ(info.m_urls[IE7].size(), 2u);
    EXPECT_EQ(info.m_urls[IE7][1], L"y.html");
    EXPECT_EQ(TotalUrls(info), 9u);
}

TEST(CommandLine, CompareViewIsASwitchThatLeavesTheAddressesToTheirVersions) {
    CCustomCommandLineInfo plain;
    Parse(plain, L"-ie7 a.html");
    EXPECT_FALSE(plain.m_bCompareView);

    CCustomCommandLineInfo info;
    Parse(info, L"-ie7 a.html /Compare-View b.html");
    EXPECT_TRUE(info.m_bCompareView);
    ASSERT_EQ(info.m_urls[IE7].size(), 2u) << "the switch does not end the version's addresses";
    EXPECT_EQ(info.m_urls[IE7][1], L"b.html");
    EXPECT_EQ(TotalUrls(info), 2u);
    EXPECT_FALSE(info.m_bCompare) << "not the capture's -compare";
}

TEST(CommandLine, FlagCharacterAndCaseDoNotMatter) {
    CCustomCommandLineInfo a, b;
    Parse(a, L"/IE55 a.html");
    Parse(b, L"-ie55 a.html");
    ASSERT_EQ(a.m_urls[IE55].size(), 1u);
    EXPECT_EQ(a.m_urls[IE55], b.m_urls[IE55]);

    CCustomCommandLineInfo c;
    Parse(c, L"-IE4 four -Ie5 five -iE9 nine -IE dflt /ALL everywhere -unknown still");
    EXPECT_EQ(c.m_urls[IE4][0], L"four");
    EXPECT_EQ(c.m_urls[IE5][0], L"five");
    EXPECT_EQ(c.m_urls[IE9][0], L"nine");
    EXPECT_EQ(c.m_urls[IEDefault][0], L"dflt");
    // An unknown flag changes nothing: "still" goes to every version too.
    for (int v = 0; v < kVersionCount; ++v) EXPECT_EQ(c.m_urls[v].back(), L"still") << v;
}

TEST(CommandLine, ChildArgument) {
    CCustomCommandLineInfo info;
    Parse(info, L"-pcode=P1_ie7_1F4");
    EXPECT_TRUE(info.m_bPcode);
    EXPECT_EQ(info.m_strPipeName, L"P1");
    EXPECT_EQ(info.m_nPcodeVersion, IE7);
    EXPECT_EQ(info.m_hWndParent, 0x1F4u);
    EXPECT_EQ(TotalUrls(info), 0u);
}

TEST(CommandLine, ChildArgumentVersionWords) {
    const struct {
        const wchar_t* word;
        IEVERSION version;
    } cases[] = {{L"ie4", IE4}, {L"ie5", IE5}, {L"ie55", IE55}, {L"IE6", IE6}, {L"ie7", IE7},
                 {L"ie8", IE8}, {L"ie9", IE9}, {L"ie", IEDefault},  {L"ieD", IEDefault}, {L"IED", IEDefault}};
    for (const auto& c : cases) {
        CCustomCommandLineInfo info;
        Parse(info, (std::wstring(L"/pcode=pipe_") + c.word + L"_abc").c_str());
        EXPECT_TRUE(info.m_bPcode) << c.word;
        EXPECT_EQ(info.m_nPcodeVersion, c.version) << c.word;
        EXPECT_EQ(info.m_hWndParent, 0xABCu) << c.word;
    }
}

TEST(CommandLine, MalformedChildArguments) {
    // Unknown version: pipe name and window are recorded, the process is no child.
    CCustomCommandLineInfo unknown;
    Parse(unknown, L"-pcode=P1_ie10_1F4");
    EXPECT_FALSE(unknown.m_bPcode);
    EXPECT_EQ(unknown.m_strPipeName, L"P1");
    EXPECT_EQ(unknown.m_hWndParent, 0x1F4u);

    // The keyword is case-sensitive.
    CCustomCommandLineInfo upper;
    Parse(upper, L"-PCODE=P1_ie7_1F4");
    EXPECT_FALSE(upper.m_bPcode);
    EXPECT_TRUE(upper.m_strPipeName.empty());
    EXPECT_EQ(upper.m_hWndParent, 0u);

    // An underscore in the pipe name gives four parts: nothing is recorded.
    CCustomCommandLineInfo underscore;
    Parse(underscore, L"-pcode=P_1_ie7_1F4");
    EXPECT_FALSE(underscore.m_bPcode);
    EXPECT_TRUE(underscore.m_strPipeName.empty());
    EXPECT_EQ(underscore.m_hWndParent, 0u);

    // Two parts, an empty pipe name, nothing after the keyword.
    for (const wchar_t* arg : {L"-pcode=ie7_1F4", L"-pcode=_ie7_1F4", L"-pcode=", L"-pcode"}) {
        CCustomCommandLineInfo info;
        Parse(info, arg);
        EXPECT_FALSE(info.m_bPcode) << arg;
        EXPECT_TRUE(info.m_strPipeName.empty()) << arg;
    }

    // Not a flag: an address that happens to look like the keyword.
    CCustomCommandLineInfo address;
    Parse(address, L"pcode=P1_ie7_1F4");
    EXPECT_FALSE(address.m_bPcode);
    EXPECT_EQ(address.m_urls[IEDefault].size(), 1u);
}

TEST(CommandLine, ChildArgumentDoesNotChangeTheAddressVersion) {
    CCustomCommandLineInfo info;
    Parse(info, L"-ie6 -pcode=P1_ie7_1F4 a.html");
    ASSERT_EQ(info.m_urls[IE6].size(), 1u);
    EXPECT_TRUE(info.m_urls[IE7].empty());
}

TEST(CommandLine, BuiltChildArgumentParsesBack) {
    for (int v = 0; v < kVersionCount; ++v) {
        auto version = static_cast<IEVERSION>(v);
        std::wstring arg = BuildPcodeArgument(L"VantrellPipe42", version, 0x2A0B6u);
        CCustomCommandLineInfo info;
        Parse(info, arg.c_str());
        EXPECT_TRUE(info.m_bPcode) << arg;
        EXPECT_EQ(info.m_strPipeName, L"VantrellPipe42");
        EXPECT_EQ(info.m_hWndParent, 0x2A0B6u);
        // 4 and 5 have no code: the launcher sends "ie", which reads as the default engine.
        IEVERSION expected = (version == IE4 || version == IE5) ? IEDefault : version;
        EXPECT_EQ(info.m_nPcodeVersion, expected) << arg;
    }
    EXPECT_EQ(BuildPcodeArgument(L"P", IE55, 0x1F4), L"-pcode=P_ie55_1F4");
    EXPECT_EQ(BuildPcodeArgument(L"P", IEDefault, 0xABC), L"-pcode=P_ieD_ABC");
}

TEST(CommandLine, AddressesKeepEveryCharacter) {
    CCustomCommandLineInfo info;
    // Characters outside any ANSI code page, and ones a code page would map
    // to a look-alike, come through unchanged.
    Parse(info, L"\"C:\\My Pages\\\u00e9t\u00e9 \u20ac.html\" http://example.test/?a=1&b=2 "
                L"-ie7 http://\u4f8b\u3048.test/\u30da\u30fc\u30b8?q=\u0436\U0001F600");
    ASSERT_EQ(info.m_urls[IEDefault].size(), 2u);
    EXPECT_EQ(info.m_urls[IEDefault][0], L"C:\\My Pages\\\u00e9t\u00e9 \u20ac.html");
    EXPECT_EQ(info.m_urls[IEDefault][1], L"http://example.test/?a=1&b=2");
    ASSERT_EQ(info.m_urls[IE7].size(), 1u);
    EXPECT_EQ(info.m_urls[IE7][0], L"http://\u4f8b\u3048.test/\u30da\u30fc\u30b8?q=\u0436\U0001F600");
}

std::vector<std::wstring> Split(const std::wstring& text, const std::wstring& sep, int* count = nullptr) {
    std::vector<std::wstring> out{L"stale"};
    int n = SplitString(text, sep, out);
    if (count) *count = n;
    return out;
}

TEST(SplitString, Rules) {
    EXPECT_EQ(Split(L"name_ie7_1A2B", L"_"), (std::vector<std::wstring>{L"name", L"ie7", L"1A2B"}));
    EXPECT_EQ(Split(L"_ie7_1A2B", L"_"), (std::vector<std::wstring>{L"ie7", L"1A2B"}));
    EXPECT_EQ(Split(L"a__b", L"_"), (std::vector<std::wstring>{L"a", L"", L"b"}));
    EXPECT_EQ(Split(L"a_b_", L"_"), (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_EQ(Split(L"", L"_"), std::vector<std::wstring>{});
    EXPECT_EQ(Split(L"abc", L"_"), std::vector<std::wstring>{L"abc"});
    EXPECT_EQ(Split(L"a::b::::c", L"::"), (std::vector<std::wstring>{L"a", L"b", L"", L"c"}));
    int count = -1;
    EXPECT_EQ(Split(L"a_b", L"", &count), std::vector<std::wstring>{});
    EXPECT_EQ(count, 0);
    Split(L"x_y_z", L"_", &count);
    EXPECT_EQ(count, 3);
}

} // namespace

namespace {

// A child's start as its parent writes it, read back by the child: any
// address (quotes, spaces, non-Latin text) arrives unchanged, and damaged
// values are refused rather than half read.
TEST(CommandLine, AChildsFirstAddressAndSizeSurviveTheCommandLine) {
    const std::wstring address = L"http://h/a b\"c\"?q=\u00e9\u4e2d&x=%20#\\end";
    CCustomCommandLineInfo info;
    Parse(info, (L"-pcode=P1_ie8_1F4 " + BuildChildStartArguments(address, 812, 640)).c_str());
    EXPECT_TRUE(info.m_bPcode);
    ASSERT_TRUE(info.m_bStartAddress);
    EXPECT_EQ(info.m_strStartURL, address);
    ASSERT_TRUE(info.m_bStartSize);
    EXPECT_EQ(info.m_nStartWidth, 812);
    EXPECT_EQ(info.m_nStartHeight, 640);

    // Too long for a command line: nothing is written, the pipe carries it.
    EXPECT_TRUE(BuildChildStartArguments(std::wstring(5000, L'a'), 10, 10).empty());

    for (const wchar_t* bad : {L"-purl=006", L"-purl=00G8", L"-purl=0000", L"-psize=12", L"-psize=1,x",
                               L"-psize=40000,1", L"-psize=-1,5"}) {
        CCustomCommandLineInfo damaged;
        Parse(damaged, bad);
        EXPECT_FALSE(damaged.m_bStartAddress) << bad;
        EXPECT_FALSE(damaged.m_bStartSize) << bad;
    }
    // A spare child names its parent by process id.
    CCustomCommandLineInfo spare;
    Parse(spare, L"-pspare=4242");
    EXPECT_TRUE(spare.m_bSpare);
    EXPECT_EQ(spare.m_dwSpareParent, 4242u);
    for (const wchar_t* bad : {L"-pspare=", L"-pspare=12x", L"-pspare=0"}) {
        CCustomCommandLineInfo damaged;
        Parse(damaged, bad);
        EXPECT_FALSE(damaged.m_bSpare) << bad;
    }
}

} // namespace
