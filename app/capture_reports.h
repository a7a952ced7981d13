#pragma once
// The three reports of a capture run, written into its output folder:
//
//   report.html  one row per address, one column per version; each cell has
//                the picture, the diff picture and the percentages, failures
//                marked; a summary line. Self-contained: its style is inside
//                it and it loads nothing from elsewhere; the pictures are
//                linked by paths relative to the report.
//   report.xml   JUnit form: one testcase per address and version (against
//                the reference with "-compare"), and one per address and
//                version against the baseline; a failure's message carries
//                the percentage and the regions.
//   report.json  the same data, for programs; written and read with
//                nlohmann::json. Files are stored relative to the report's
//                folder, so a folder can be moved or downloaded as a whole.
//
// "-merge-reports OUT DIR..." reads the report.json of each DIR (the shards
// of one run) and writes the three reports of all of them into OUT.
//
// Plain functions on the calling thread. Every function returns false with
// the reason in `error` when a file cannot be read or written or a
// report.json is damaged; a damaged file never crashes the program and
// leaves what was already written as it was.
//
//   CaptureReport report = checker.Finish(outcomes);  // capture_checks.h
//   std::wstring error;
//   if (!WriteReports(folder, report, error)) WriteOutputLine(L"error: " + error);
#include "capture_checks.h"

#include <string>
#include <vector>

// The JUnit counts of a report: testcases and failed testcases.
struct JUnitCounts {
    size_t tests = 0;
    size_t failures = 0;
};
JUnitCounts CountTestCases(const CaptureReport& report);

// Writes report.html, report.xml and report.json into `folder`.
[[nodiscard]] bool WriteReports(const std::wstring& folder, const CaptureReport& report, std::wstring& error);

// The JSON text of a report, its files relative to `folder`.
std::string ReportToJson(const std::wstring& folder, const CaptureReport& report);
// Reads the JSON text of a report whose files are relative to `folder`.
[[nodiscard]] bool ReportFromJson(const std::string& text, const std::wstring& folder, CaptureReport& report,
                                  std::wstring& error);

// Reads DIR\report.json of each folder and writes the merged reports into
// `out` (made when missing). The pictures stay where they are; the merged
// reports link to them.
[[nodiscard]] bool MergeReports(const std::wstring& out, const std::vector<std::wstring>& folders,
                                CaptureReport& merged, std::wstring& error);

// `file` relative to `folder` ("7.png", "..\\shard-1\\7.png"); `file` itself
// when they are on different drives or `file` is empty.
std::wstring RelativePath(const std::wstring& folder, const std::wstring& file);
