// Checking pictures in a capture run: versions against a reference version,
// runs against a baseline, the three reports, shards and their merging, and
// output lines that no address can forge. Black-box through the staged
// program, apart from the pixel comparison and the planning, which are
// tested on their own below.
#include "app/capture.h"
#include "app/command_line.h"
#include "app/picture_compare.h"
#include "tests/app/capture_fixture.h"

#include <msxml2.h>
#include <nlohmann/json.hpp>

#include <algorithm>

using namespace capture_testing;

namespace {

// The fields of an output line.
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t')) out.push_back(field);
    return out;
}

bool HasField(const std::string& line, const std::string& field) {
    const auto f = Fields(line);
    return std::find(f.begin(), f.end(), field) != f.end();
}

std::string FileText(const std::wstring& file) {
    std::ifstream in(fw::ToNarrow(file, CP_ACP), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// report.xml read with the system's XML parser (MSXML).
struct JUnit {
    bool parsed = false;
    long tests = -1, failures = -1;  // the attributes of <testsuites>
    long testcaseElements = 0, failureElements = 0;
    std::vector<std::string> messages;
};

JUnit ReadJUnit(const std::wstring& file) {
    JUnit out;
    // CLSID_DOMDocument30 and IID_IXMLDOMDocument as documented.
    static const CLSID kDomDocument30 = {0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
    static const IID kIXMLDOMDocument = {0x2933bf81, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
    IXMLDOMDocument* doc = nullptr;
    if (FAILED(CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER, kIXMLDOMDocument,
                                reinterpret_cast<void**>(&doc))) ||
        !doc) {
        ADD_FAILURE() << "no XML parser";
        return out;
    }
    doc->put_async(VARIANT_FALSE);
    VARIANT path;
    VariantInit(&path);
    path.vt = VT_BSTR;
    path.bstrVal = SysAllocString(file.c_str());
    VARIANT_BOOL ok = VARIANT_FALSE;
    doc->load(path, &ok);
    VariantClear(&path);
    if (ok == VARIANT_TRUE) {
        out.parsed = true;
        IXMLDOMElement* root = nullptr;
        if (SUCCEEDED(doc->get_documentElement(&root)) && root) {
            auto attribute = [&](const wchar_t* name) {
                VARIANT v;
                VariantInit(&v);
                BSTR n = SysAllocString(name);
                long value = -1;
                if (root->getAttribute(n, &v) == S_OK && v.vt == VT_BSTR) value = _wtol(v.bstrVal);
                SysFreeString(n);
                VariantClear(&v);
                return value;
            };
            out.tests = attribute(L"tests");
            out.failures = attribute(L"failures");
            root->Release();
        }
        auto count = [&](const wchar_t* query, std::vector<std::string>* messages) {
            IXMLDOMNodeList* list = nullptr;
            BSTR q = SysAllocString(query);
            long length = 0;
            if (SUCCEEDED(doc->selectNodes(q, &list)) && list) {
                list->get_length(&length);
                for (long i = 0; messages && i < length; ++i) {
                    IXMLDOMNode* node = nullptr;
                    BSTR text = nullptr;
                    if (SUCCEEDED(list->get_item(i, &node)) && node && SUCCEEDED(node->get_text(&text)) && text)
                        messages->push_back(fw::ToNarrow(text, CP_UTF8));
                    SysFreeString(text);
                    if (node) node->Release();
                }
                list->Release();
            }
            SysFreeString(q);
            return length;
        };
        out.testcaseElements = count(L"//testcase", nullptr);
        out.failureElements = count(L"//failure", &out.messages);
    }
    doc->Release();
    return out;
}

nlohmann::json ReadJson(const std::wstring& file) {
    return nlohmann::json::parse(FileText(file), nullptr, false);
}

// The box of the pixels of colour `rgb` in a picture file; empty when none.
PictureRegion BoxOfColour(const std::wstring& file, unsigned rgb) {
    Pixels p;
    std::wstring error;
    PictureRegion box{};
    if (!LoadPicture(file, p, error)) return box;
    bool any = false;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if ((p.argb[static_cast<size_t>(y) * p.width + x] & 0xFFFFFF) == rgb) {
                if (!any) box = {x, y, x + 1, y + 1};
                box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1), std::max(box.bottom, y + 1)};
                any = true;
            }
    return box;
}

bool Overlaps(const PictureRegion& a, const nlohmann::json& r) {
    const int x = r.value("x", 0), y = r.value("y", 0), w = r.value("width", 0), h = r.value("height", 0);
    return a.left < x + w && x < a.right && a.top < y + h && y < a.bottom;
}

class Compare : public Capture {
protected:
    void SetUp() override {
        Capture::SetUp();
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    }
    void TearDown() override {
        CoUninitialize();
        Capture::TearDown();
    }
    std::wstring Quoted(const std::wstring& s) const { return L"\"" + s + L"\""; }
    std::wstring Page(const std::wstring& name, const std::string& body) const {
        return temp.WriteFile(name, "<html><head><title>t</title></head><body bgcolor=\"#ffffff\">" + body +
                                        "</body></html>");
    }
};

TEST_F(Compare, TheSamplePageIn7Against8DiffersWhereItsVersionBoxesAre) {
    const std::wstring folder = temp.Path() + L"cmp";
    std::vector<std::string> lines;
    const int code = Run(L"-capture " + Quoted(folder) + L" -width 640 -height 480 -compare -versions 7,8 " + Sample(),
                         lines);
    EXPECT_EQ(code, 1);  // far above the 0.1% threshold
    ASSERT_EQ(lines.size(), 2u);
    // "IE 7  address  file  N ms  P% against IE 8  failed  error: ..."
    const auto seven = Fields(lines[0]);
    ASSERT_GE(seven.size(), 7u) << lines[0];
    EXPECT_EQ(seven[0], "IE 7");
    EXPECT_EQ(seven[4].substr(seven[4].find('%')), "% against IE 8") << lines[0];
    EXPECT_GT(std::stod(seven[4]), 0.0) << lines[0];
    EXPECT_EQ(seven[5], "failed");
    EXPECT_EQ(seven[6].rfind("error: ", 0), 0u);
    EXPECT_EQ(Fields(lines[1])[0], "IE 8");
    EXPECT_TRUE(HasField(lines[1], "reference")) << lines[1];
    EXPECT_TRUE(HasField(lines[1], "passed")) << lines[1];

    // The regions cover the box only 7 shows and the boxes only 8 shows.
    const nlohmann::json report = ReadJson(folder + L"\\report.json");
    ASSERT_TRUE(report.is_object());
    const nlohmann::json& check = report["pictures"][0]["checks"][0];
    EXPECT_EQ(check["against"], "IE 8");
    EXPECT_GT(check["differingPixels"].get<long long>(), 0);
    const nlohmann::json& regions = check["regions"];
    ASSERT_TRUE(regions.is_array());
    EXPECT_FALSE(regions.empty());
    EXPECT_LE(regions.size(), kMaxDifferenceRegions);
    for (auto [file, colour] : {std::pair{L"\\7.png", kBoxIE7}, {L"\\8.png", kBoxIE8}, {L"\\8.png", kBoxFrom8}}) {
        const PictureRegion box = BoxOfColour(folder + file, colour);
        ASSERT_GT(box.Width(), 0) << std::hex << colour;
        EXPECT_TRUE(std::any_of(regions.begin(), regions.end(), [&](const auto& r) { return Overlaps(box, r); }))
            << std::hex << colour << " " << check.dump();
    }
    // The diff picture is written and linked from the HTML report.
    EXPECT_TRUE(Exists(folder + L"\\7.diff.png"));
    const std::string html = FileText(folder + L"\\report.html");
    EXPECT_NE(html.find("src=\"7.diff.png\""), std::string::npos);
    EXPECT_NE(html.find("src=\"8.png\""), std::string::npos);
    // Self-contained: no script, no style sheet or picture from elsewhere.
    for (const char* outside : {"<script", "<link", "http://", "https://", "src=\"//"})
        EXPECT_EQ(html.find(outside), std::string::npos) << outside;
}

TEST_F(Compare, APageWithoutVersionDependentContentIsTheSameInEveryVersion) {
    const std::wstring page = Page(L"same.html", "<h1>Same everywhere</h1><p>Plain text and "
                                                 "<div style=\"background-color: #336699; padding: 6px\">a box</div></p>");
    const std::wstring folder = temp.Path() + L"same";
    std::vector<std::string> lines;
    EXPECT_EQ(Run(L"-capture " + Quoted(folder) + L" -width 400 -height 300 -compare -versions 5.5,6,7,8 " + Quoted(page),
                  lines),
              0);
    ASSERT_EQ(lines.size(), 4u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(HasField(lines[i], "0.00% against IE 8")) << lines[i];
        EXPECT_TRUE(HasField(lines[i], "passed")) << lines[i];
    }
    const JUnit junit = ReadJUnit(folder + L"\\report.xml");
    EXPECT_TRUE(junit.parsed);
    EXPECT_EQ(junit.tests, 4);
    EXPECT_EQ(junit.failures, 0);
    EXPECT_EQ(junit.failureElements, 0);
}

TEST_F(Compare, ABaselineRunThenAnUnchangedRunPassesAndAChangedPageFailsWhereItChanged) {
    const std::wstring baseline = temp.Path() + L"baseline";
    Page(L"page.html", "<h1>Stable</h1><p>Text that stays.</p>");
    const std::wstring page = Quoted(temp.Path() + L"page.html");
    auto run = [&](const wchar_t* folder, const wchar_t* extra, std::vector<std::string>& lines) {
        return Run(L"-capture " + Quoted(temp.Path() + folder) + L" -width 400 -height 300 -baseline " +
                       Quoted(baseline) + L" " + extra + L" -ie7 " + page,
                   lines);
    };
    std::vector<std::string> lines;
    // Nothing in the baseline yet: a failure of its own.
    EXPECT_EQ(run(L"run0", L"", lines), 1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("no baseline picture: "), std::string::npos) << lines[0];
    EXPECT_GE(ReadJUnit(temp.Path() + L"run0\\report.xml").failureElements, 1);

    EXPECT_EQ(run(L"run1", L"-update-baseline", lines), 0);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(HasField(lines[0], "baseline updated")) << lines[0];
    EXPECT_TRUE(Exists(baseline + L"\\7.png"));

    EXPECT_EQ(run(L"run2", L"", lines), 0);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(HasField(lines[0], "0.00% against baseline")) << lines[0];
    JUnit junit = ReadJUnit(temp.Path() + L"run2\\report.xml");
    EXPECT_TRUE(junit.parsed);
    EXPECT_EQ(junit.failures, 0);
    EXPECT_EQ(junit.failureElements, 0);

    // A box appears under the heading.
    Page(L"page.html", "<h1>Stable</h1><div style=\"background-color: #cc0000; padding: 20px\">new</div>"
                       "<p>Text that stays.</p>");
    EXPECT_EQ(run(L"run3", L"", lines), 1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(HasField(lines[0], "failed")) << lines[0];
    junit = ReadJUnit(temp.Path() + L"run3\\report.xml");
    EXPECT_TRUE(junit.parsed);
    EXPECT_EQ(junit.failures, 1);
    EXPECT_EQ(junit.failureElements, 1);
    ASSERT_EQ(junit.messages.size(), 1u);
    EXPECT_NE(junit.messages[0].find("% of the pixels differ from baseline"), std::string::npos) << junit.messages[0];
    EXPECT_NE(junit.messages[0].find("regions: "), std::string::npos) << junit.messages[0];
    const PictureRegion box = BoxOfColour(temp.Path() + L"run3\\7.png", 0xCC0000);
    ASSERT_GT(box.Width(), 0);
    const nlohmann::json report = ReadJson(temp.Path() + L"run3\\report.json");
    const nlohmann::json& regions = report["pictures"][0]["checks"][0]["regions"];
    ASSERT_TRUE(regions.is_array());
    EXPECT_TRUE(std::any_of(regions.begin(), regions.end(), [&](const auto& r) { return Overlaps(box, r); }))
        << regions.dump();
    EXPECT_TRUE(Exists(temp.Path() + L"run3\\7.baseline-diff.png"));
}

TEST_F(Compare, AListFileAndShardsSplitTheAddressesAndTheirReportsMerge) {
    std::string list = "\xEF\xBB\xBF# pages of the site\r\n\r\n";
    std::wstring pages[4];
    for (int i = 0; i < 4; ++i) {
        pages[i] = Page(fw::Format(L"p%d.html", i + 1), "<h1>Page " + std::to_string(i + 1) + "</h1>");
        list += "  " + fw::ToNarrow(pages[i], CP_UTF8) + "  \r\n";
    }
    const std::wstring listFile = temp.WriteFile(L"pages.txt", list);
    const std::wstring extra = Quoted(temp.Path() + L"extra.html");
    Page(L"extra.html", "<p>extra</p>");
    std::vector<std::string> lines;
    // Five addresses (four from the list, one on the command line); shard 1
    // of 2 takes the first, third and fifth.
    for (int shard = 1; shard <= 2; ++shard) {
        EXPECT_EQ(Run(L"-capture " + Quoted(temp.Path() + fw::Format(L"shard%d", shard)) +
                          fw::Format(L" -width 200 -height 150 -compare -shard %d/2 -versions 7,8 -list ", shard) +
                          Quoted(listFile) + L" " + extra,
                      lines),
                  0);
        ASSERT_EQ(lines.size(), shard == 1 ? 6u : 4u);
        EXPECT_NE(lines[0].find(shard == 1 ? "p1.html" : "p2.html"), std::string::npos) << lines[0];
        // Files keep their number in the whole list.
        EXPECT_NE(lines[0].find(shard == 1 ? "\\7-1.png" : "\\7-2.png"), std::string::npos) << lines[0];
    }
    const std::wstring merged = temp.Path() + L"merged";
    EXPECT_EQ(Run(L"-merge-reports " + Quoted(merged) + L" " + Quoted(temp.Path() + L"shard1") + L" " +
                      Quoted(temp.Path() + L"shard2"),
                  lines),
              0);
    EXPECT_EQ(lines.size(), 10u);
    const nlohmann::json report = ReadJson(merged + L"\\report.json");
    ASSERT_TRUE(report.is_object());
    EXPECT_EQ(report["pictures"].size(), 10u);
    EXPECT_EQ(report["summary"]["addresses"], 5);
    EXPECT_EQ(report["pictures"][0]["file"], "..\\shard1\\7-1.png");
    EXPECT_EQ(ReadJUnit(merged + L"\\report.xml").tests, 10);
    EXPECT_NE(FileText(merged + L"\\report.html").find("src=\"../shard1/7-1.png\""), std::string::npos);

    // A missing list and a damaged report are command-line errors.
    EXPECT_EQ(Run(L"-capture " + Quoted(temp.Path() + L"x") + L" -list " + Quoted(temp.Path() + L"none.txt"), lines), 2);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("-list "), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("(2)"), std::string::npos) << lines[0];  // the system's reason, file not found
    temp.WriteFile(L"damaged\\report.json", "{\"format\": \"vantrell-capture-report\", \"pictures\": [");
    EXPECT_EQ(Run(L"-merge-reports " + Quoted(temp.Path() + L"m2") + L" " + Quoted(temp.Path() + L"damaged"), lines), 2);
    EXPECT_FALSE(Exists(temp.Path() + L"m2"));
}

// An address with a tab and a line end cannot add a line or a field, and a
// message never names a picture that is not there.
TEST_F(Compare, AddressesAndMessagesCannotForgeALine) {
    const std::wstring folder = temp.Path() + L"esc";
    std::vector<std::string> lines;
    EXPECT_EQ(Run(L"-capture " + Quoted(folder) + L" -ie4 \"http://h/a\tb\nIE 9\tfake\"", lines), 1);
    ASSERT_EQ(lines.size(), 1u);
    const auto f = Fields(lines[0]);
    ASSERT_EQ(f.size(), 4u) << lines[0];
    EXPECT_EQ(f[0], "IE 4");
    EXPECT_EQ(f[1], "http://h/a<U+0009>b<U+000A>IE 9<U+0009>fake");
    EXPECT_EQ(f[2], "-");
    // A folder that cannot be made leaves none of its parents behind.
    EXPECT_EQ(Run(L"-capture " + Quoted(temp.Path() + L"new1\\new2\\bad*name") + L" -ie7 " + Sample(), lines), 1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(HasField(lines[0], "-")) << lines[0];
    EXPECT_FALSE(Exists(temp.Path() + L"new1"));
}

TEST(CaptureRecords, EscapingKeepsPathsAndCanBeToldFromText) {
    EXPECT_EQ(EscapeRecordField(L"C:\\users\\u0009\\a.html"), L"C:\\users\\u0009\\a.html");
    EXPECT_EQ(EscapeRecordField(L"a\tb\r\nc\x1b\x7f\x85\x2028"),
              L"a<U+0009>b<U+000D><U+000A>c<U+001B><U+007F><U+0085><U+2028>");
    // A "<U+" in the text is escaped itself, so it is never taken for an escape.
    EXPECT_EQ(EscapeRecordField(L"x<U+0009>"), L"x<U+003C>U+0009>");
    EXPECT_EQ(EscapeRecordField(L"a<b"), L"a<b");
}

TEST(CapturePlan, ShardsTakeEveryNthAddressFromTheKthAndKeepTheFileNamesOfTheWholeRun) {
    CCustomCommandLineInfo info;
    fw::ParseCommandLine(info, {L"-capture", L"C:\\out", L"-shard", L"2/3", L"-versions", L"7,8", L"a", L"b", L"c",
                                L"d", L"e"});
    info.FinishParsing();
    ASSERT_TRUE(info.m_strCaptureError.empty());
    std::vector<std::pair<IEVERSION, std::wstring>> plan;
    for (const CaptureItem& item : PlanCaptures(info, L"C:\\out")) plan.emplace_back(item.version, item.file);
    const std::vector<std::pair<IEVERSION, std::wstring>> expected = {
        {IE7, L"C:\\out\\7-2.png"}, {IE7, L"C:\\out\\7-5.png"}, {IE8, L"C:\\out\\8-2.png"}, {IE8, L"C:\\out\\8-5.png"}};
    EXPECT_EQ(plan, expected);
}

TEST(CaptureList, ReadsUtf8LinesAndSkipsBlanksAndComments) {
    TempDir temp;
    std::vector<std::wstring> addresses;
    std::wstring error;
    const std::wstring good = temp.WriteFile(L"good.txt", "\xEF\xBB\xBF" "a.html\r\n\r\n   \n# comment\n  b.html \n"
                                                          "\xC3\xA9t\xC3\xA9.html");
    ASSERT_TRUE(ReadAddressList(good, addresses, error)) << fw::ToNarrow(error);
    EXPECT_EQ(addresses, (std::vector<std::wstring>{L"a.html", L"b.html", L"\x00E9t\x00E9.html"}));
    const std::wstring bad = temp.WriteFile(L"bad.txt", "a.html\n\xFF\xFE bad\n");
    EXPECT_FALSE(ReadAddressList(bad, addresses, error));
    EXPECT_EQ(error, L"line 2 is not UTF-8 text");
    EXPECT_FALSE(ReadAddressList(temp.Path() + L"missing.txt", addresses, error));
    EXPECT_FALSE(error.empty());
}

// A page whose script calls a function no page has: the engine reports the
// error to the tab content, which passes it on, in every version and mode.
class ScriptErrorsInMode : public Compare, public ::testing::WithParamInterface<bool> {};

TEST_P(ScriptErrorsInMode, APageWithAScriptErrorHasItReportedInEveryVersion) {
    if (GetParam()) {
        ASSERT_TRUE(profile.WriteInt(setting::kSection, setting::kMultiProcessMode, 1));
    }
    const std::wstring page = temp.WriteFile(L"errors.html", "<html><body><h1>Errors</h1>\n"
                                                             "<script type=\"text/javascript\">\n"
                                                             "document.write('<p>before</p>');\n"
                                                             "  notAFunction(1);\n"
                                                             "document.write('<p>after</p>');\n"
                                                             "</script>\n</body></html>\n");
    const std::wstring folder = temp.Path() + L"errors";
    std::vector<std::string> lines;
    // Reported, but no failure unless asked for.
    EXPECT_EQ(Run(L"-capture " + Quoted(folder) + L" -width 300 -height 200 -versions 5.5,7,8 " + Quoted(page), lines), 0);
    ASSERT_EQ(lines.size(), 3u);
    for (const std::string& line : lines)
        EXPECT_TRUE(HasField(line, "script errors: 1 (first: line 4, char 3: 'notAFunction' is undefined)")) << line;
    const nlohmann::json report = ReadJson(folder + L"\\report.json");
    ASSERT_TRUE(report.is_object());
    ASSERT_EQ(report["pictures"].size(), 3u);
    for (const auto& picture : report["pictures"]) {
        ASSERT_EQ(picture["scriptErrors"].size(), 1u) << picture.dump();
        const auto& e = picture["scriptErrors"][0];
        EXPECT_EQ(e["message"], "'notAFunction' is undefined");
        EXPECT_EQ(e["line"], 4);
        EXPECT_EQ(e["character"], 3);
        EXPECT_NE(e["address"].get<std::string>().find("errors.html"), std::string::npos) << e.dump();
    }
    // With -fail-on-script-error every version fails, and says why.
    EXPECT_EQ(Run(L"-capture " + Quoted(folder) + L" -width 300 -height 200 -fail-on-script-error -versions 5.5,7,8 " +
                      Quoted(page),
                  lines),
              1);
    ASSERT_EQ(lines.size(), 3u);
    for (const std::string& line : lines) EXPECT_TRUE(HasField(line, "failed")) << line;
    const JUnit junit = ReadJUnit(folder + L"\\report.xml");
    EXPECT_EQ(junit.failures, 3);
    EXPECT_EQ(junit.failureElements, 3);
    EXPECT_NE(FileText(folder + L"\\report.html").find("notAFunction"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Modes, ScriptErrorsInMode, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "MultiProcess" : "MultiThread"; });

// --- the comparison on its own ------------------------------------------------

Pixels Plain(int w, int h, std::uint32_t colour = 0xFFFFFFFF) {
    Pixels p;
    p.width = w;
    p.height = h;
    p.argb.assign(static_cast<size_t>(w) * h, colour);
    return p;
}

void Fill(Pixels& p, const PictureRegion& r, std::uint32_t colour) {
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) p.argb[static_cast<size_t>(y) * p.width + x] = colour;
}

TEST(PictureCompare, FindsEachChangedBlockAsARegionWithinTheTolerance) {
    Pixels a = Plain(300, 200), b = Plain(300, 200);
    Fill(b, {10, 20, 60, 40}, 0xFF000000);
    Fill(b, {200, 150, 230, 190}, 0xFF00FF00);
    Fill(b, {100, 100, 110, 110}, 0xFFF5F5F5);  // within the tolerance of 16
    const PictureDifference d = ComparePictures(b, a, 16);
    EXPECT_EQ(d.differing, 50u * 20 + 30u * 40);
    EXPECT_EQ(d.compared, 300u * 200);
    EXPECT_EQ(FormatPercent(d.Percent()), L"3.67");
    ASSERT_EQ(d.regions.size(), 2u);
    // Largest first.
    EXPECT_EQ(d.regions[0], (PictureRegion{200, 150, 230, 190}));
    EXPECT_EQ(d.regions[1], (PictureRegion{10, 20, 60, 40}));
    EXPECT_EQ(ComparePictures(b, a, 255).differing, 0u);
    EXPECT_EQ(ComparePictures(a, a, 0).differing, 0u);
    EXPECT_TRUE(ComparePictures(a, a, 0).regions.empty());

    // The diff picture: faded reference, red pixels, blue frames.
    const Pixels diff = MakeDiffPicture(a, d);
    EXPECT_EQ(diff.argb[0], 0xFFFFFFFFu);
    EXPECT_EQ(diff.argb[25 * 300 + 20], 0xFFE00000u);
    EXPECT_EQ(diff.argb[18 * 300 + 30], 0xFF0050FFu);
    EXPECT_EQ(MakeDiffPicture(Plain(2, 1, 0xFF000000), ComparePictures(Plain(2, 1), Plain(2, 1), 0)).argb[0],
              0xFFB3B3B3u);  // black at 30% over white
}

TEST(PictureCompare, ManyScatteredChangesAreMergedIntoAtMostTwentyRegions) {
    Pixels a = Plain(640, 480), b = Plain(640, 480);
    for (int y = 0; y < 480; y += 40)
        for (int x = 0; x < 640; x += 40) Fill(b, {x, y, x + 3, y + 3}, 0xFF000000);
    const PictureDifference d = ComparePictures(b, a, 0);
    EXPECT_EQ(d.differing, 16u * 12 * 9);
    EXPECT_LE(d.regions.size(), kMaxDifferenceRegions);
    EXPECT_GE(d.regions.size(), 1u);
    // Every changed pixel is inside a region.
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            if (!d.mask[static_cast<size_t>(y) * 640 + x]) continue;
            ASSERT_TRUE(std::any_of(d.regions.begin(), d.regions.end(), [&](const PictureRegion& r) {
                return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
            })) << x << "," << y;
        }
    }
}

TEST(PictureCompare, DifferentSizesAreComparedOverTheCommonAreaAndDamagedFilesAreRefused) {
    Pixels a = Plain(100, 80), b = Plain(120, 60);
    Fill(b, {0, 0, 10, 10}, 0xFF000000);
    const PictureDifference d = ComparePictures(b, a, 16);
    EXPECT_TRUE(d.SizeDiffers());
    EXPECT_EQ(d.compared, 100u * 60);
    EXPECT_EQ(d.differing, 100u);
    EXPECT_EQ(ComparePictures(Plain(0, 0), a, 16).compared, 0u);

    TempDir temp;
    Pixels loaded;
    std::wstring error;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&token, &input, nullptr), Gdiplus::Ok);
    {
        EXPECT_FALSE(LoadPicture(temp.WriteFile(L"bad.png", std::string("\x89PNG\r\n\x1a\n damaged")), loaded, error));
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(LoadPicture(temp.Path() + L"missing.png", loaded, error));
        const std::wstring file = temp.Path() + L"round.png";
        ASSERT_TRUE(SavePicture(b, file, error)) << fw::ToNarrow(error);
        ASSERT_TRUE(LoadPicture(file, loaded, error)) << fw::ToNarrow(error);
        EXPECT_EQ(ComparePictures(loaded, b, 0).differing, 0u);
        EXPECT_FALSE(ComparePictures(loaded, b, 0).SizeDiffers());
    }
    Gdiplus::GdiplusShutdown(token);
}

} // namespace
