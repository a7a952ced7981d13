#pragma once
// What a capture run decides about its pictures: each version's picture of
// an address against the reference version's ("-compare"), each picture
// against the same-named one of an earlier run ("-baseline DIR"), the
// pictures copied into that folder instead ("-update-baseline"), and the
// page's script errors ("-fail-on-script-error"). The outcome of every
// picture, with the verdict, is one PictureResult; a run's results are a
// CaptureReport, which app/capture_reports.h writes and reads.
//
// A CCaptureChecker is created, fed and finished on the capture's thread;
// it checks an address on its own worker threads as soon as every picture
// of that address is done, so the checks run while the engines go on with
// the next addresses. GDI+ must be started (pictures are read and diff
// pictures written). A picture that cannot be read, a missing baseline
// picture or a folder that cannot be written makes that picture's check
// fail with the reason; nothing here throws, and the destructor waits for
// the workers.
//
//   CCaptureChecker checker(items, settings);
//   options.onItemDone = [&](size_t i, const CaptureOutcome& o) { checker.ItemDone(i, o); };
//   std::vector<CaptureOutcome> outcomes = capture.Run(items, folder);
//   CaptureReport report = checker.Finish(outcomes);
//   for (const PictureResult& r : report.pictures) WriteOutputLine(FormatResultLine(report, r));
//   int exitCode = report.Failures() ? 1 : 0;
#include "capture.h"
#include "picture_compare.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// How a run was asked to check its pictures.
struct CheckSettings {
    int width = 0, height = 0;            // the size asked for
    bool compare = false;
    IEVERSION reference = IEDefault;      // with compare
    int tolerance = 16;
    double threshold = 0.1;               // percent; above it fails
    std::wstring baselineFolder;          // empty: none
    bool updateBaseline = false;
    bool failOnScriptError = false;
    int shardIndex = 0, shardCount = 0;   // 0/0: not sharded
};

// One comparison of a picture: with the reference version's picture of the
// same address, or with the baseline picture.
struct PictureCheck {
    bool baseline = false;
    std::wstring against;      // "IE 8", or "baseline"
    std::wstring otherFile;    // the picture compared with (full path)
    std::wstring diffFile;     // the diff picture written; empty when none
    bool compared = false;     // both pictures were read
    int width = 0, height = 0, otherWidth = 0, otherHeight = 0;
    std::uint64_t comparedPixels = 0, differingPixels = 0;
    double percent = 0;
    std::vector<PictureRegion> regions;
    bool failed = false;
    std::wstring message;      // why it failed; empty when it passed

    bool SizeDiffers() const { return compared && (width != otherWidth || height != otherHeight); }
};

// One picture of one address in one version, with its verdict.
struct PictureResult {
    std::wstring versionName;  // "IE 7"
    std::wstring versionLabel; // "7", the file-name part
    std::wstring address;
    std::wstring file;         // full path; empty when no picture was written
    bool written = false;
    bool ok = false;           // taken from a complete page
    DWORD milliseconds = 0;
    std::wstring error;        // why it was not taken (or taken unfinished)
    bool reference = false;    // the reference of "-compare"
    std::vector<PictureCheck> checks;
    size_t scriptErrorCount = 0;
    std::vector<CaptureScriptError> scriptErrors;
    bool failed = false;
    // Every reason it failed, in the order: capture, checks, script errors.
    std::vector<std::wstring> failures;
};

struct CaptureReport {
    CheckSettings settings;
    std::wstring referenceName;  // "IE 8" with compare
    std::vector<PictureResult> pictures;

    size_t Failures() const;
    // The addresses in the order they first appear, and the versions (names)
    // in the order of the versions.
    std::vector<std::wstring> Addresses() const;
    std::vector<std::wstring> Versions() const;
};

// The highest version among `items` (5.5 < 6 < 7 < 8 < 9; Default IE only
// when no numbered version is named); false when there are no items.
[[nodiscard]] bool HighestVersion(const std::vector<CaptureItem>& items, IEVERSION& version);

// Runs the checks the settings ask for on the captured pictures and gives
// each its verdict. Diff pictures are written beside the pictures:
// "7.diff.png" against the reference, "7.baseline-diff.png" against the
// baseline, only where pixels differ or the sizes do.
class CCaptureChecker {
public:
    // `items` as the capture gets them; `workers` threads (at least one).
    CCaptureChecker(const std::vector<CaptureItem>& items, const CheckSettings& settings, unsigned workers = 2);
    ~CCaptureChecker();
    CCaptureChecker(const CCaptureChecker&) = delete;
    CCaptureChecker& operator=(const CCaptureChecker&) = delete;

    // Item `index` has its final outcome; once every item of its address
    // has one, the address is checked.
    void ItemDone(size_t index, const CaptureOutcome& outcome);
    // Checks what is left (items never reported are taken from `outcomes`,
    // one per item), waits for the workers and gives the report.
    CaptureReport Finish(const std::vector<CaptureOutcome>& outcomes);

private:
    struct Group {
        std::vector<size_t> items;
        size_t done = 0;
        bool queued = false;
    };
    void Queue(size_t group);  // with m_lock held
    void Work();
    void CheckGroup(const Group& group);

    CheckSettings m_settings;
    std::wstring m_referenceName;
    DWORD m_baselineFolderError = NO_ERROR;
    std::vector<CaptureOutcome> m_outcomes;   // filled as items are done
    std::vector<std::uint8_t> m_reported;
    std::vector<size_t> m_groupOf;            // item -> group
    std::vector<Group> m_groups;
    std::vector<std::vector<PictureCheck>> m_checks;  // per item, written by the worker of its group
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<size_t> m_queue;
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
};

// "script errors: 2 (first: line 3, char 5: message)".
std::wstring DescribeScriptErrors(const PictureResult& result);

// The output line of a checked picture: the capture line's fields (version,
// address, file, time), then one field per check ("3.45% against IE 8",
// "0.00% against baseline"), "script errors: N (...)" when there were
// some, the verdict "passed" or "failed", and "error: ..." with every
// reason of a failure. Text fields are escaped (EscapeRecordField).
std::wstring FormatResultLine(const CaptureReport& report, const PictureResult& result);
