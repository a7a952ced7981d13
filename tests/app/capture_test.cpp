// Pictures from the command line ("-capture"): the staged program draws the
// sample page in several engine versions, in multi-thread and multi-process
// mode, and reports every version on a line of its own; the parsing of the
// capture switches in process.
#include "app/capture.h"
#include "app/command_line.h"
#include "tests/app/capture_fixture.h"

#include <tuple>

using namespace capture_testing;

namespace {

// One run per mode: the engines on bound threads, and each in a child process.
class CaptureInMode : public Capture, public ::testing::WithParamInterface<bool> {};

TEST_P(CaptureInMode, SamplePageIn55_7And8GivesThreePicturesThatDifferInTheirVersionBoxes) {
    if (GetParam()) {
        ASSERT_TRUE(profile.WriteInt(setting::kSection, setting::kMultiProcessMode, 1));
    }
    const std::wstring folder = temp.Path() + L"pictures";  // not there yet: the program makes it
    std::vector<std::string> lines;
    const int code = Run(L"-capture \"" + folder + L"\" -width 640 -height 480 -ie55 " + Sample() + L" -ie7 " +
                             Sample() + L" -ie8 " + Sample(),
                         lines);
    EXPECT_EQ(code, 0);
    ASSERT_EQ(lines.size(), 3u);

    // Which version shows which box (the sample page's conditional comments).
    const struct {
        const char* name;
        const wchar_t* file;
        std::vector<Box> boxes;
    } kExpected[] = {{"IE 5.5", L"5.5.png", {kBoxIE55, kBoxBefore7}},
                     {"IE 7", L"7.png", {kBoxIE7}},
                     {"IE 8", L"8.png", {kBoxIE8, kBoxFrom8}}};
    for (size_t i = 0; i < 3; ++i) {
        const auto& e = kExpected[i];
        SCOPED_TRACE(e.name);
        const std::wstring file = folder + L"\\" + e.file;
        // "IE 7<TAB>address<TAB>file<TAB>N ms", nothing after it.
        std::istringstream fields(lines[i]);
        std::string version, address, written, time;
        std::getline(fields, version, '\t');
        std::getline(fields, address, '\t');
        std::getline(fields, written, '\t');
        std::getline(fields, time, '\t');
        EXPECT_EQ(version, e.name) << lines[i];
        EXPECT_NE(address.find("compare.html"), std::string::npos) << lines[i];
        EXPECT_EQ(written, fw::ToNarrow(file)) << lines[i];
        EXPECT_TRUE(time.size() > 3 && time.compare(time.size() - 3, 3, " ms") == 0) << lines[i];
        EXPECT_TRUE(fields.eof() || fields.peek() == EOF) << lines[i];

        const Picture picture = ReadPicture(file);
        ASSERT_TRUE(picture.loaded);
        EXPECT_EQ(picture.width, 640);
        EXPECT_EQ(picture.height, 480);
        for (Box box : kAllBoxes) {
            const bool shown = std::find(e.boxes.begin(), e.boxes.end(), box) != e.boxes.end();
            // A box is a full-width band: thousands of pixels of its colour.
            if (shown) EXPECT_GT(picture.Count(box), 5000) << std::hex << box;
            else EXPECT_EQ(picture.Count(box), 0) << std::hex << box;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, CaptureInMode, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "MultiProcess" : "MultiThread"; });

TEST_F(Capture, AVersionThatIsNotAvailableGetsAnErrorLineAndTheExitIsNotZero) {
    const std::wstring folder = temp.Path() + L"pictures";
    std::vector<std::string> lines;
    // Version 4 never runs; 7 still gives its picture.
    EXPECT_EQ(Run(L"-capture \"" + folder + L"\" -ie4 " + Sample() + L" -ie7 " + Sample(), lines), 1);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("IE 4\t", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("\t-\terror: "), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1].rfind("IE 7\t", 0), 0u) << lines[1];
    EXPECT_EQ(lines[1].find("error"), std::string::npos) << lines[1];
    EXPECT_EQ(GetFileAttributesW((folder + L"\\4.png").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW((folder + L"\\7.png").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Capture, AFolderThatCannotBeWrittenGetsAnErrorLineForEveryVersion) {
    // A file where the folder should be.
    const std::wstring notAFolder = temp.WriteFile(L"file", "x");
    std::vector<std::string> lines;
    EXPECT_EQ(Run(L"-capture \"" + notAFolder + L"\" -ie55 " + Sample() + L" -ie8 " + Sample(), lines), 1);
    ASSERT_EQ(lines.size(), 2u);
    for (const std::string& line : lines) EXPECT_NE(line.find("\t-\terror: "), std::string::npos) << line;
}

TEST(CaptureSwitches, TakeTheArgumentAfterThemAsTheirValue) {
    CCustomCommandLineInfo info;
    fw::ParseCommandLine(info, {L"-capture", L"/tmp/out", L"-width", L"800", L"-wait", L"5000", L"-ie7", L"a.html",
                                L"-height", L"600", L"-tolerance", L"0", L"-threshold", L"2.5", L"-shard", L"2/3",
                                L"-reference-version", L"7", L"-baseline", L"-base", L"-compare"});
    EXPECT_TRUE(info.m_bCapture);
    EXPECT_EQ(info.m_strCaptureFolder, L"/tmp/out");  // a value, not a switch
    EXPECT_EQ(info.m_nCaptureWidth, 800);
    EXPECT_EQ(info.m_nCaptureHeight, 600);
    EXPECT_EQ(info.m_nCaptureWaitMs, 5000u);
    EXPECT_EQ(info.m_nTolerance, 0);
    EXPECT_DOUBLE_EQ(info.m_dThreshold, 2.5);
    EXPECT_EQ(info.m_nShardIndex, 2);
    EXPECT_EQ(info.m_nShardCount, 3);
    EXPECT_EQ(info.m_nReferenceVersion, IE7);
    EXPECT_EQ(info.m_strBaselineFolder, L"-base");
    EXPECT_TRUE(info.m_bCompare);
    EXPECT_EQ(info.m_urls[IE7], std::vector<std::wstring>{L"a.html"});
    EXPECT_TRUE(info.m_strCaptureError.empty());
}

// In a normal start "-width", "-height" and "-wait" are unknown switches:
// the address after them is still opened.
TEST(CaptureSwitches, BeforeCaptureTakeNoValueAndTheAddressAfterThemStays) {
    CCustomCommandLineInfo info;
    fw::ParseCommandLine(info, {L"-width", L"a.html", L"-ie7", L"-height", L"b.html", L"-wait", L"c.html",
                                L"-compare", L"d.html", L"-list", L"e.html"});
    info.FinishParsing();
    EXPECT_FALSE(info.m_bCapture);
    EXPECT_FALSE(info.m_bCompare);
    EXPECT_EQ(info.m_urls[IEDefault], std::vector<std::wstring>{L"a.html"});
    EXPECT_EQ(info.m_urls[IE7], (std::vector<std::wstring>{L"b.html", L"c.html", L"d.html", L"e.html"}));
    EXPECT_EQ(info.m_nCaptureWidth, CCustomCommandLineInfo::kDefaultCaptureWidth);
    EXPECT_EQ(info.m_nCaptureHeight, CCustomCommandLineInfo::kDefaultCaptureHeight);
    EXPECT_EQ(info.m_nCaptureWaitMs, CCustomCommandLineInfo::kDefaultCaptureWaitMs);
    EXPECT_TRUE(info.m_strCaptureError.empty());
}

TEST(CaptureSwitches, ABadOrMissingValueIsReportedWithItsSwitch) {
    const struct {
        std::vector<std::wstring> args;
        const wchar_t* error;
    } kCases[] = {
        {{L"-capture", L"out", L"-width", L"wide"}, L"-width wide"},
        {{L"-capture", L"out", L"-height", L"9"}, L"-height 9"},         // below the smallest side
        {{L"-capture", L"out", L"-wait", L"99999999"}, L"-wait 99999999"},  // above the longest wait
        {{L"-ie7", L"a.html", L"-capture"}, L"-capture "},                 // nothing after it
        {{L"-capture", L"out", L"-tolerance", L"256"}, L"-tolerance 256"},
        {{L"-capture", L"out", L"-threshold", L"1,5"}, L"-threshold 1,5"},  // no locale's comma
        {{L"-capture", L"out", L"-shard", L"4/3"}, L"-shard 4/3"},          // K is 1 to N
        {{L"-capture", L"out", L"-shard", L"0/3"}, L"-shard 0/3"},
        {{L"-capture", L"out", L"-reference-version", L"4"}, L"-reference-version 4"},
        {{L"-capture", L"out", L"-versions", L"7,x"}, L"-versions 7,x"},
    };
    for (const auto& c : kCases) {
        CCustomCommandLineInfo info;
        fw::ParseCommandLine(info, c.args);
        info.FinishParsing();
        EXPECT_EQ(info.m_strCaptureError, c.error);
    }
}

TEST(CapturePlan, AllNamesTheVersionsWithATabAndFilesAreNamedPerVersion) {
    CCustomCommandLineInfo info;
    fw::ParseCommandLine(info, {L"-capture", L"C:\\out", L"-all", L"a.html", L"-ie4", L"b.html", L"-ie7", L"c.html"});
    std::vector<std::tuple<IEVERSION, std::wstring, std::wstring>> plan;
    for (const CaptureItem& item : PlanCaptures(info, L"C:\\out")) plan.emplace_back(item.version, item.address, item.file);
    // Version 4 only for the address named for it, not for the one of "-all".
    const std::vector<std::tuple<IEVERSION, std::wstring, std::wstring>> expected = {
        {IE4, L"b.html", L"C:\\out\\4.png"},        {IE55, L"a.html", L"C:\\out\\5.5.png"},
        {IE6, L"a.html", L"C:\\out\\6.png"},        {IE7, L"a.html", L"C:\\out\\7-1.png"},
        {IE7, L"c.html", L"C:\\out\\7-2.png"},      {IE8, L"a.html", L"C:\\out\\8.png"},
        {IE9, L"a.html", L"C:\\out\\9.png"},        {IEDefault, L"a.html", L"C:\\out\\default.png"}};
    EXPECT_EQ(plan, expected);
}

} // namespace
