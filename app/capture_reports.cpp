#include "capture_reports.h"

#include "framework/handles.h"
#include "framework/strings.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cwctype>

using nlohmann::json;

namespace {

constexpr const char* kFormatName = "vantrell-capture-report";
constexpr int kFormatVersion = 1;
// A report.json larger than this is refused rather than read.
constexpr LONGLONG kMaxReportBytes = 256LL * 1024 * 1024;

std::string Utf8(const std::wstring& text) { return fw::ToNarrow(text, CP_UTF8); }
std::wstring Wide(const std::string& text) { return fw::ToWide(text, CP_UTF8); }

// --- files -----------------------------------------------------------------

bool WriteTextFile(const std::wstring& file, const std::string& bytes, std::wstring& error) {
    fw::UniqueHandle handle(
        CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) {
        error = file + L": " + fw::DescribeSystemError(nullptr, GetLastError());
        return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 24));
        if (!WriteFile(handle.get(), bytes.data() + done, chunk, &written, nullptr) || written == 0) {
            error = file + L": " + fw::DescribeSystemError(nullptr, GetLastError());
            return false;
        }
        done += written;
    }
    return true;
}

bool ReadTextFile(const std::wstring& file, std::string& bytes, std::wstring& error) {
    fw::UniqueHandle handle(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!handle || !GetFileSizeEx(handle.get(), &size)) {
        error = file + L": " + fw::DescribeSystemError(nullptr, GetLastError());
        return false;
    }
    if (size.QuadPart > kMaxReportBytes) {
        error = file + L": too large";
        return false;
    }
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        if (!ReadFile(handle.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &read, nullptr)) {
            error = file + L": " + fw::DescribeSystemError(nullptr, GetLastError());
            return false;
        }
        if (read == 0) break;
        done += read;
    }
    bytes.resize(done);
    return true;
}

// Paths without a trailing separator and with backslashes only.
std::wstring Normalised(std::wstring path) {
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

std::vector<std::wstring> PathParts(const std::wstring& path) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t cut = path.find(L'\\', start);
        if (cut == std::wstring::npos) cut = path.size();
        if (cut > start) parts.push_back(path.substr(start, cut - start));
        start = cut + 1;
    }
    return parts;
}

bool IsAbsolute(const std::wstring& path) {
    return (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) ||
           (path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') && (path[1] == L'\\' || path[1] == L'/'));
}

// --- escaping ----------------------------------------------------------------

// For HTML and XML text and attributes: control characters escaped as in
// the output lines, then the markup characters as entities.
std::string Markup(const std::wstring& text) {
    std::wstring escaped = EscapeRecordField(text);
    std::wstring out;
    for (wchar_t c : escaped) {
        switch (c) {
        case L'&': out += L"&amp;"; break;
        case L'<': out += L"&lt;"; break;
        case L'>': out += L"&gt;"; break;
        case L'"': out += L"&quot;"; break;
        case L'\'': out += L"&#39;"; break;
        case 0xFFFE:
        case 0xFFFF: out += fw::Format(L"&lt;U+%04X&gt;", static_cast<unsigned>(c)); break;
        default: out += c;
        }
    }
    return Utf8(out);
}

// A relative path as a link: forward slashes, and the characters that mean
// something in an address percent-encoded.
std::string Link(const std::wstring& path) {
    std::string bytes = Utf8(path);
    std::string out = IsAbsolute(path) ? "file:///" : "";
    for (unsigned char c : bytes) {
        if (c == '\\') out += '/';
        else if (c <= 0x20 || c == '%' || c == '#' || c == '?' || c == '"' || c == '\'' || c == '<' || c == '>' ||
                 c == '&' || c >= 0x7F) {
            static const char kHex[] = "0123456789ABCDEF";
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// --- test cases ------------------------------------------------------------

struct TestCase {
    const PictureResult* picture = nullptr;
    const PictureCheck* check = nullptr;  // none: the picture on its own
    std::wstring name;
    bool failed = false;
    std::wstring message;
};

// The testcases of a report, in report order: per picture one against the
// reference (or the reference itself) with "-compare", one against the
// baseline with "-baseline", and one for the picture alone without either.
// A reason that belongs to the picture (not taken, script errors) fails
// each of its testcases, so the report has failed testcases exactly when
// the run failed.
std::vector<TestCase> TestCases(const CaptureReport& report) {
    std::vector<TestCase> cases;
    for (const PictureResult& p : report.pictures) {
        std::vector<std::wstring> own;
        if (!p.ok) own.push_back(p.error.empty() ? L"the picture was not taken" : p.error);
        if (report.settings.failOnScriptError && p.scriptErrorCount > 0) own.push_back(DescribeScriptErrors(p));
        auto add = [&](const std::wstring& name, const PictureCheck* check) {
            TestCase c;
            c.picture = &p;
            c.check = check;
            c.name = name;
            std::vector<std::wstring> reasons = own;
            if (check && check->failed) reasons.push_back(check->message);
            for (const std::wstring& r : reasons) c.message += (c.message.empty() ? L"" : L"; ") + r;
            c.failed = !reasons.empty();
            cases.push_back(std::move(c));
        };
        const PictureCheck* versus = nullptr;
        const PictureCheck* baseline = nullptr;
        for (const PictureCheck& c : p.checks) (c.baseline ? baseline : versus) = &c;
        const bool compare = report.settings.compare;
        const bool hasBaseline = !report.settings.baselineFolder.empty();
        if (compare)
            add(p.reference ? p.versionName + L" (reference)" : p.versionName + L" against " + report.referenceName,
                versus);
        if (hasBaseline) add(p.versionName + L" against baseline", baseline);
        if (!compare && !hasBaseline) add(p.versionName, nullptr);
    }
    return cases;
}

std::string JUnitXml(const CaptureReport& report) {
    const std::vector<TestCase> cases = TestCases(report);
    size_t failures = 0;
    double seconds = 0;
    for (const TestCase& c : cases) failures += c.failed ? 1 : 0;
    for (const PictureResult& p : report.pictures) seconds += p.milliseconds / 1000.0;
    auto number = [](double v) { return Utf8(fw::Format(L"%.3f", v)); };
    std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    x += "<testsuites name=\"vantrell\" tests=\"" + std::to_string(cases.size()) + "\" failures=\"" +
         std::to_string(failures) + "\" errors=\"0\" time=\"" + number(seconds) + "\">\n";
    x += "  <testsuite name=\"vantrell capture\" tests=\"" + std::to_string(cases.size()) + "\" failures=\"" +
         std::to_string(failures) + "\" errors=\"0\" skipped=\"0\" time=\"" + number(seconds) + "\">\n";
    x += "    <properties>\n";
    auto property = [&](const char* name, const std::wstring& value) {
        x += std::string("      <property name=\"") + name + "\" value=\"" + Markup(value) + "\"/>\n";
    };
    property("size", fw::Format(L"%dx%d", report.settings.width, report.settings.height));
    property("tolerance", fw::Format(L"%d", report.settings.tolerance));
    property("threshold", FormatPercent(report.settings.threshold));
    if (report.settings.compare) property("reference", report.referenceName);
    if (!report.settings.baselineFolder.empty()) property("baseline", report.settings.baselineFolder);
    if (report.settings.shardCount)
        property("shard", fw::Format(L"%d/%d", report.settings.shardIndex, report.settings.shardCount));
    x += "    </properties>\n";
    for (const TestCase& c : cases) {
        const PictureResult& p = *c.picture;
        x += "    <testcase classname=\"" + Markup(p.address) + "\" name=\"" + Markup(c.name) + "\" time=\"" +
             number(p.milliseconds / 1000.0) + "\"";
        std::wstring out = L"picture: " + (p.written ? p.file : std::wstring(L"-")) + L"\n";
        if (c.check) {
            if (c.check->compared) {
                out += FormatPercent(c.check->percent) + L"% against " + c.check->against +
                       fw::Format(L" (%llu of %llu pixels)\n", static_cast<unsigned long long>(c.check->differingPixels),
                                  static_cast<unsigned long long>(c.check->comparedPixels));
                if (!c.check->regions.empty()) out += L"regions: " + FormatRegions(c.check->regions) + L"\n";
            }
            if (!c.check->otherFile.empty()) out += L"compared with: " + c.check->otherFile + L"\n";
            if (!c.check->diffFile.empty()) out += L"diff picture: " + c.check->diffFile + L"\n";
        }
        if (p.scriptErrorCount > 0) {
            out += DescribeScriptErrors(p) + L"\n";
            for (const CaptureScriptError& e : p.scriptErrors)
                out += fw::Format(L"  line %ld, char %ld: ", e.line, e.character) + e.message + L" (" + e.address + L")\n";
        }
        x += ">\n";
        if (c.failed) {
            const char* type = c.check && c.check->failed ? "difference" : (!p.ok ? "capture" : "script-error");
            x += "      <failure type=\"" + std::string(type) + "\" message=\"" + Markup(c.message) + "\">" +
                 Markup(c.message) + "</failure>\n";
        }
        // Line ends stay line ends here: the escaping is per line.
        x += "      <system-out>";
        size_t start = 0;
        while (start < out.size()) {
            size_t end = out.find(L'\n', start);
            if (end == std::wstring::npos) end = out.size();
            x += Markup(out.substr(start, end - start)) + "\n";
            start = end + 1;
        }
        x += "</system-out>\n    </testcase>\n";
    }
    x += "  </testsuite>\n</testsuites>\n";
    return x;
}

// --- HTML ------------------------------------------------------------------

constexpr const char* kStyle = R"(body{font-family:Verdana,Arial,sans-serif;font-size:13px;margin:16px;color:#222}
h1{font-size:20px;margin:0 0 6px}
.summary{font-size:15px;margin:6px 0 14px;padding:8px 10px;border-radius:4px}
.summary.pass{background:#e3f4e1;border:1px solid #7cb87a}.summary.fail{background:#fbe3e3;border:1px solid #d46a6a}
.settings{color:#555;margin-bottom:12px}
table{border-collapse:collapse}th,td{border:1px solid #bbb;padding:6px;vertical-align:top;text-align:left}
th{background:#f0f0f0}td.address{max-width:220px;word-break:break-all;font-family:Consolas,monospace;font-size:12px}
td.pass{background:#f6fbf5}td.fail{background:#fdf0f0;border:2px solid #d03030}td.none{background:#fafafa;color:#888}
.verdict{font-weight:bold;margin-bottom:4px}.fail .verdict{color:#c00000}.pass .verdict{color:#287a28}
img{display:block;width:240px;border:1px solid #ccc;margin:3px 0;background:#fff}
.check{margin-top:4px}.pct{font-weight:bold}.regions,.reason,.script{font-size:11px;color:#444;max-width:240px;word-break:break-word}
.reason{color:#a00000}.script{color:#6a4a00}
)";

std::string HtmlReport(const std::wstring& folder, const CaptureReport& report) {
    const std::vector<std::wstring> addresses = report.Addresses();
    const std::vector<std::wstring> versions = report.Versions();
    const JUnitCounts counts = CountTestCases(report);
    const size_t failed = report.Failures();
    std::string h = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
                    "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; img-src 'self' file: data:; style-src 'unsafe-inline'\">\n"
                    "<title>Vantrell capture report</title>\n<style>";
    h += kStyle;
    h += "</style></head><body>\n<h1>Vantrell capture report</h1>\n";
    h += std::string("<div class=\"summary ") + (failed ? "fail" : "pass") + "\">" +
         Markup(fw::Format(L"%u addresses, %u pictures, %u checks: %u failed, %u passed. ",
                           static_cast<unsigned>(addresses.size()), static_cast<unsigned>(report.pictures.size()),
                           static_cast<unsigned>(counts.tests), static_cast<unsigned>(counts.failures),
                           static_cast<unsigned>(counts.tests - counts.failures))) +
         (failed ? "<b>FAILED</b>" : "<b>PASSED</b>") + "</div>\n";
    std::wstring settings = fw::Format(L"Pictures of %d x %d; tolerance %d per channel; threshold %s%%",
                                       report.settings.width, report.settings.height, report.settings.tolerance,
                                       FormatPercent(report.settings.threshold).c_str());
    if (report.settings.compare) settings += L"; reference " + report.referenceName;
    if (!report.settings.baselineFolder.empty())
        settings += (report.settings.updateBaseline ? L"; baseline written to " : L"; baseline ") +
                    report.settings.baselineFolder;
    if (report.settings.shardCount)
        settings += fw::Format(L"; shard %d of %d", report.settings.shardIndex, report.settings.shardCount);
    h += "<div class=\"settings\">" + Markup(settings) + "</div>\n<table>\n<tr><th>Address</th>";
    for (const std::wstring& v : versions) h += "<th>" + Markup(v) + (v == report.referenceName ? " (reference)" : "") + "</th>";
    h += "</tr>\n";
    for (const std::wstring& address : addresses) {
        h += "<tr><td class=\"address\">" + Markup(address) + "</td>";
        for (const std::wstring& v : versions) {
            std::vector<const PictureResult*> cell;
            for (const PictureResult& p : report.pictures)
                if (p.address == address && p.versionName == v) cell.push_back(&p);
            if (cell.empty()) {
                h += "<td class=\"none\">not asked for</td>";
                continue;
            }
            const bool anyFailed = std::any_of(cell.begin(), cell.end(), [](const PictureResult* p) { return p->failed; });
            h += std::string("<td class=\"") + (anyFailed ? "fail" : "pass") + "\">";
            for (const PictureResult* p : cell) {
                h += std::string("<div class=\"verdict\">") + (p->failed ? "FAILED" : "passed") +
                     (p->reference ? " &middot; reference" : "") + "</div>";
                if (p->written) {
                    const std::string link = Link(RelativePath(folder, p->file));
                    h += "<a href=\"" + link + "\"><img src=\"" + link + "\" alt=\"" + Markup(p->versionName) + "\"></a>";
                } else {
                    h += "<div class=\"reason\">no picture</div>";
                }
                for (const PictureCheck& c : p->checks) {
                    h += "<div class=\"check\">";
                    if (c.compared)
                        h += "<span class=\"pct\">" + Markup(FormatPercent(c.percent)) + "%</span> against " +
                             Markup(c.against);
                    else if (c.baseline && report.settings.updateBaseline && !c.failed)
                        h += "baseline updated";
                    else
                        h += "not compared with " + Markup(c.against);
                    h += "</div>";
                    if (!c.diffFile.empty()) {
                        const std::string link = Link(RelativePath(folder, c.diffFile));
                        h += "<a href=\"" + link + "\"><img src=\"" + link + "\" alt=\"difference\"></a>";
                    }
                    if (!c.regions.empty()) h += "<div class=\"regions\">regions: " + Markup(FormatRegions(c.regions)) + "</div>";
                }
                if (p->scriptErrorCount > 0) {
                    h += "<div class=\"script\">" + Markup(DescribeScriptErrors(*p)) + "</div>";
                }
                for (const std::wstring& reason : p->failures) h += "<div class=\"reason\">" + Markup(reason) + "</div>";
            }
            h += "</td>";
        }
        h += "</tr>\n";
    }
    h += "</table>\n</body></html>\n";
    return h;
}

// --- JSON ------------------------------------------------------------------

json RegionJson(const PictureRegion& r) {
    return {{"x", r.left}, {"y", r.top}, {"width", r.Width()}, {"height", r.Height()}};
}

std::string Str(const json& j, const char* key) {
    auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}
double Num(const json& j, const char* key) {
    auto it = j.find(key);
    return it != j.end() && it->is_number() ? it->get<double>() : 0.0;
}
long long Int(const json& j, const char* key, long long low, long long high) {
    auto it = j.find(key);
    if (it == j.end() || !it->is_number()) return 0;
    const double v = it->get<double>();
    if (!(v >= static_cast<double>(low) && v <= static_cast<double>(high))) return 0;
    return static_cast<long long>(v);
}
bool Bool(const json& j, const char* key) {
    auto it = j.find(key);
    return it != j.end() && it->is_boolean() && it->get<bool>();
}
const json& Array(const json& j, const char* key) {
    static const json empty = json::array();
    auto it = j.find(key);
    return it != j.end() && it->is_array() ? *it : empty;
}

// A file of a report read back: relative names are taken from `folder`.
std::wstring FileFrom(const std::wstring& folder, const std::string& stored) {
    if (stored.empty()) return {};
    std::wstring file = Normalised(Wide(stored));
    return IsAbsolute(file) ? file : folder + L"\\" + file;
}

} // namespace

JUnitCounts CountTestCases(const CaptureReport& report) {
    JUnitCounts counts;
    for (const TestCase& c : TestCases(report)) {
        ++counts.tests;
        counts.failures += c.failed ? 1 : 0;
    }
    return counts;
}

std::wstring RelativePath(const std::wstring& folder, const std::wstring& file) {
    if (file.empty()) return file;
    const std::vector<std::wstring> base = PathParts(Normalised(folder)), target = PathParts(Normalised(file));
    if (base.empty() || target.empty() || !fw::EqualsNoCase(base[0], target[0])) return file;
    size_t common = 0;
    while (common < base.size() && common + 1 < target.size() && fw::EqualsNoCase(base[common], target[common])) ++common;
    std::wstring out;
    for (size_t i = common; i < base.size(); ++i) out += L"..\\";
    for (size_t i = common; i < target.size(); ++i) out += target[i] + (i + 1 < target.size() ? L"\\" : L"");
    return out;
}

std::string ReportToJson(const std::wstring& folder, const CaptureReport& report) {
    const CheckSettings& s = report.settings;
    const JUnitCounts counts = CountTestCases(report);
    json root;
    root["format"] = kFormatName;
    root["formatVersion"] = kFormatVersion;
    root["settings"] = {{"width", s.width},
                        {"height", s.height},
                        {"compare", s.compare},
                        {"reference", s.compare ? Utf8(report.referenceName) : std::string()},
                        {"tolerance", s.tolerance},
                        {"threshold", s.threshold},
                        {"baseline", Utf8(s.baselineFolder)},
                        {"updateBaseline", s.updateBaseline},
                        {"failOnScriptError", s.failOnScriptError},
                        {"shard", {{"index", s.shardIndex}, {"count", s.shardCount}}}};
    root["summary"] = {{"addresses", report.Addresses().size()},
                       {"pictures", report.pictures.size()},
                       {"failedPictures", report.Failures()},
                       {"tests", counts.tests},
                       {"failures", counts.failures},
                       {"passed", report.Failures() == 0}};
    json pictures = json::array();
    for (const PictureResult& p : report.pictures) {
        json checks = json::array();
        for (const PictureCheck& c : p.checks) {
            json regions = json::array();
            for (const PictureRegion& r : c.regions) regions.push_back(RegionJson(r));
            checks.push_back({{"against", Utf8(c.against)},
                              {"baseline", c.baseline},
                              {"file", Utf8(RelativePath(folder, c.otherFile))},
                              {"diff", Utf8(RelativePath(folder, c.diffFile))},
                              {"compared", c.compared},
                              {"width", c.width},
                              {"height", c.height},
                              {"otherWidth", c.otherWidth},
                              {"otherHeight", c.otherHeight},
                              {"sizeDiffers", c.SizeDiffers()},
                              {"comparedPixels", c.comparedPixels},
                              {"differingPixels", c.differingPixels},
                              {"percent", c.percent},
                              {"percentText", Utf8(FormatPercent(c.percent))},
                              {"regions", regions},
                              {"failed", c.failed},
                              {"message", Utf8(c.message)}});
        }
        json errors = json::array();
        for (const CaptureScriptError& e : p.scriptErrors)
            errors.push_back({{"message", Utf8(e.message)},
                              {"line", e.line},
                              {"character", e.character},
                              {"address", Utf8(e.address)}});
        json failures = json::array();
        for (const std::wstring& f : p.failures) failures.push_back(Utf8(f));
        pictures.push_back({{"address", Utf8(p.address)},
                            {"version", Utf8(p.versionName)},
                            {"versionLabel", Utf8(p.versionLabel)},
                            {"file", Utf8(RelativePath(folder, p.file))},
                            {"written", p.written},
                            {"ok", p.ok},
                            {"milliseconds", p.milliseconds},
                            {"error", Utf8(p.error)},
                            {"reference", p.reference},
                            {"checks", checks},
                            {"scriptErrorCount", p.scriptErrorCount},
                            {"scriptErrors", errors},
                            {"failed", p.failed},
                            {"failures", failures}});
    }
    root["pictures"] = std::move(pictures);
    return root.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

bool ReportFromJson(const std::string& text, const std::wstring& folder, CaptureReport& report, std::wstring& error) {
    report = CaptureReport{};
    const json root = json::parse(text, nullptr, false);
    if (root.is_discarded() || !root.is_object()) {
        error = L"not JSON text";
        return false;
    }
    if (Str(root, "format") != kFormatName || Int(root, "formatVersion", 0, 1000) != kFormatVersion) {
        error = L"not a Vantrell capture report of this format";
        return false;
    }
    static const json emptyObject = json::object();
    auto object = [](const json& j, const char* key) -> const json& {
        auto it = j.find(key);
        return it != j.end() && it->is_object() ? *it : emptyObject;
    };
    const json& s = object(root, "settings");
    CheckSettings& settings = report.settings;
    settings.width = static_cast<int>(Int(s, "width", 0, 1 << 20));
    settings.height = static_cast<int>(Int(s, "height", 0, 1 << 20));
    settings.compare = Bool(s, "compare");
    report.referenceName = Wide(Str(s, "reference"));
    settings.tolerance = static_cast<int>(Int(s, "tolerance", 0, 255));
    settings.threshold = std::clamp(Num(s, "threshold"), 0.0, 100.0);
    settings.baselineFolder = Wide(Str(s, "baseline"));
    settings.updateBaseline = Bool(s, "updateBaseline");
    settings.failOnScriptError = Bool(s, "failOnScriptError");
    const json& shard = object(s, "shard");
    settings.shardIndex = static_cast<int>(Int(shard, "index", 0, 1 << 20));
    settings.shardCount = static_cast<int>(Int(shard, "count", 0, 1 << 20));
    for (const json& pj : Array(root, "pictures")) {
        if (!pj.is_object()) continue;
        PictureResult p;
        p.address = Wide(Str(pj, "address"));
        p.versionName = Wide(Str(pj, "version"));
        p.versionLabel = Wide(Str(pj, "versionLabel"));
        p.file = FileFrom(folder, Str(pj, "file"));
        p.written = Bool(pj, "written");
        p.ok = Bool(pj, "ok");
        p.milliseconds = static_cast<DWORD>(Int(pj, "milliseconds", 0, 0xFFFFFFFFLL));
        p.error = Wide(Str(pj, "error"));
        p.reference = Bool(pj, "reference");
        p.scriptErrorCount = static_cast<size_t>(Int(pj, "scriptErrorCount", 0, 1LL << 40));
        p.failed = Bool(pj, "failed");
        for (const json& f : Array(pj, "failures"))
            if (f.is_string()) p.failures.push_back(Wide(f.get<std::string>()));
        for (const json& ej : Array(pj, "scriptErrors")) {
            if (!ej.is_object()) continue;
            p.scriptErrors.push_back({Wide(Str(ej, "message")), static_cast<long>(Int(ej, "line", -(1LL << 31), (1LL << 31) - 1)),
                                      static_cast<long>(Int(ej, "character", -(1LL << 31), (1LL << 31) - 1)),
                                      Wide(Str(ej, "address"))});
        }
        for (const json& cj : Array(pj, "checks")) {
            if (!cj.is_object()) continue;
            PictureCheck c;
            c.against = Wide(Str(cj, "against"));
            c.baseline = Bool(cj, "baseline");
            c.otherFile = FileFrom(folder, Str(cj, "file"));
            c.diffFile = FileFrom(folder, Str(cj, "diff"));
            c.compared = Bool(cj, "compared");
            c.width = static_cast<int>(Int(cj, "width", 0, 1 << 20));
            c.height = static_cast<int>(Int(cj, "height", 0, 1 << 20));
            c.otherWidth = static_cast<int>(Int(cj, "otherWidth", 0, 1 << 20));
            c.otherHeight = static_cast<int>(Int(cj, "otherHeight", 0, 1 << 20));
            c.comparedPixels = static_cast<std::uint64_t>(Int(cj, "comparedPixels", 0, 1LL << 50));
            c.differingPixels = static_cast<std::uint64_t>(Int(cj, "differingPixels", 0, 1LL << 50));
            c.percent = std::clamp(Num(cj, "percent"), 0.0, 100.0);
            for (const json& rj : Array(cj, "regions")) {
                if (!rj.is_object()) continue;
                const int x = static_cast<int>(Int(rj, "x", 0, 1 << 20)), y = static_cast<int>(Int(rj, "y", 0, 1 << 20));
                c.regions.push_back({x, y, x + static_cast<int>(Int(rj, "width", 0, 1 << 20)),
                                     y + static_cast<int>(Int(rj, "height", 0, 1 << 20))});
            }
            c.failed = Bool(cj, "failed");
            c.message = Wide(Str(cj, "message"));
            p.checks.push_back(std::move(c));
        }
        // A failure is never lost on the way: a picture with a failed check
        // or a reason is failed whatever its "failed" field says.
        if (!p.failures.empty() || std::any_of(p.checks.begin(), p.checks.end(), [](const PictureCheck& c) { return c.failed; }))
            p.failed = true;
        if (p.failed && p.failures.empty()) p.failures.push_back(L"failed");
        report.pictures.push_back(std::move(p));
    }
    return true;
}

bool WriteReports(const std::wstring& folder, const CaptureReport& report, std::wstring& error) {
    const std::wstring base = Normalised(folder);
    return WriteTextFile(base + L"\\report.json", ReportToJson(base, report), error) &&
           WriteTextFile(base + L"\\report.xml", JUnitXml(report), error) &&
           WriteTextFile(base + L"\\report.html", HtmlReport(base, report), error);
}

bool MergeReports(const std::wstring& out, const std::vector<std::wstring>& folders, CaptureReport& merged,
                  std::wstring& error) {
    merged = CaptureReport{};
    if (folders.empty()) {
        error = L"no folder to merge";
        return false;
    }
    bool first = true;
    for (const std::wstring& f : folders) {
        const std::wstring folder = Normalised(f);
        const std::wstring file = folder + L"\\report.json";
        std::string text;
        CaptureReport part;
        if (!ReadTextFile(file, text, error)) return false;
        if (!ReportFromJson(text, folder, part, error)) {
            error = file + L": " + error;
            return false;
        }
        if (first) {
            merged.settings = part.settings;
            merged.referenceName = part.referenceName;
            first = false;
        }
        for (PictureResult& p : part.pictures) merged.pictures.push_back(std::move(p));
    }
    // The merged run is no shard.
    merged.settings.shardIndex = merged.settings.shardCount = 0;
    if (const DWORD made = PrepareCaptureFolder(Normalised(out)); made != NO_ERROR) {
        error = out + L": " + fw::DescribeSystemError(nullptr, made);
        return false;
    }
    return WriteReports(out, merged, error);
}
