#pragma once
// The program's command line: addresses per engine version, and the
// "-pcode=" argument that makes a process the child of a tab.
#include "core/versions.h"

#include "framework/commandline.h"

#include <string>
#include <vector>

class CCustomCommandLineInfo : public fw::CommandLineInfo {
public:
    CCustomCommandLineInfo() = default;
    ~CCustomCommandLineInfo() override;

    void ParseParam(const wchar_t* param, bool flag, bool last) override;
    void ParseParam(const char* param, bool flag, bool last) override;

    bool m_bPcode = false;
    std::wstring m_strPipeName;
    IEVERSION m_nPcodeVersion = IE4;
    DWORD m_hWndParent = 0;
    // "-pspare=<parent process id>": a spare child that waits for its start
    // (hosting/spare_child.h).
    bool m_bSpare = false;
    DWORD m_dwSpareParent = 0;
    // A child's first address and size ("-purl=", "-psize="); without them
    // the child waits for both from the pipe.
    bool m_bStartAddress = false;
    std::wstring m_strStartURL;
    bool m_bStartSize = false;
    int m_nStartWidth = 0;
    int m_nStartHeight = 0;
    std::vector<std::wstring> m_urls[kVersionCount];
    int m_nCurrentVersion = IEDefault;
    bool m_bAll = false;
    // "-compare-view": once the tabs are open, the active one's page is
    // compared side by side (the ribbon's "Compare side by side").
    bool m_bCompareView = false;

    // "-capture FOLDER [-width N] [-height N] [-wait MS] ...": pictures of
    // the addresses instead of a window (app/capture.h). Every capture
    // switch counts only after "-capture": before it, it is ignored like any
    // unknown switch (so a normal start never loses the address after
    // "-width"). A capture switch with a value takes the argument after it
    // as that value, whatever it begins with.
    bool m_bCapture = false;
    std::wstring m_strCaptureFolder;
    int m_nCaptureWidth = kDefaultCaptureWidth;
    int m_nCaptureHeight = kDefaultCaptureHeight;
    DWORD m_nCaptureWaitMs = kDefaultCaptureWaitMs;
    // The first capture switch with a bad or missing value, with that value
    // as given ("-width abc"), or a list file that cannot be read with the
    // reason ("-list pages.txt: ..."); empty when every value was good.
    std::wstring m_strCaptureError;
    // The addresses given under "-all", in order: a capture reports the
    // versions that never open a tab (4 and 5) only for addresses named for
    // them.
    std::vector<std::wstring> m_allUrls;

    // Checks of the pictures (app/picture_compare.h, app/capture_reports.h).
    // "-compare": every version's picture of an address against the
    // reference version's ("-reference-version V", default the highest
    // version named; -1 until chosen).
    bool m_bCompare = false;
    int m_nReferenceVersion = -1;
    // "-tolerance N" (0-255): a pixel differs when one of its channels
    // differs by more than N.
    int m_nTolerance = kDefaultTolerance;
    // "-threshold PERCENT": a comparison fails above this share of
    // differing pixels.
    double m_dThreshold = kDefaultThreshold;
    // "-baseline DIR" and "-update-baseline".
    std::wstring m_strBaselineFolder;
    bool m_bUpdateBaseline = false;
    // "-fail-on-script-error".
    bool m_bFailOnScriptError = false;
    // "-shard K/N": the K-th (1-based) of N shares of the addresses; 0/0
    // when not given.
    int m_nShardIndex = 0;
    int m_nShardCount = 0;

    // "-merge-reports OUT DIR...": no capture; the report.json files of the
    // DIRs (shards of one run) become one set of reports in OUT. Every
    // argument after OUT that is no switch is one of the DIRs.
    bool m_bMergeReports = false;
    std::wstring m_strMergeOut;
    std::vector<std::wstring> m_mergeFolders;

    static constexpr int kDefaultCaptureWidth = 1024;
    static constexpr int kDefaultCaptureHeight = 768;
    static constexpr DWORD kDefaultCaptureWaitMs = 30000;
    static constexpr DWORD kMinCaptureWaitMs = 100;
    static constexpr DWORD kMaxCaptureWaitMs = 3600000;
    static constexpr int kDefaultTolerance = 16;
    static constexpr double kDefaultThreshold = 0.1;
    static constexpr int kMaxShardCount = 10000;

    bool WantsValue() const override { return m_pendingValue != PendingValue::None; }
    // Called after the last argument: a switch still waiting for its value
    // becomes the capture error.
    void FinishParsing();

private:
    enum class PendingValue {
        None, Folder, Width, Height, Wait, List, Tolerance, Threshold, Reference, Baseline, Shard, Versions, MergeOut
    };
    void TakeValue(const std::wstring& text);
    void AddAddress(const std::wstring& address);
    PendingValue m_pendingValue = PendingValue::None;
    // "-versions 5.5,7,8": the addresses after it go to each of these
    // versions (a bit per version), until the next version switch.
    unsigned m_versionSet = 0;
};

// The addresses of a list file: UTF-8 text (a byte-order mark is skipped),
// one address a line, surrounding blanks trimmed; blank lines and lines that
// begin with '#' are skipped. False with the reason in `error` when the file
// cannot be read, is larger than kMaxAddressListBytes or is not UTF-8.
constexpr size_t kMaxAddressListBytes = 16 * 1024 * 1024;
[[nodiscard]] bool ReadAddressList(const std::wstring& file, std::vector<std::wstring>& addresses,
                                   std::wstring& error);
// A version as "-reference-version" and "-versions" take it: "5.5", "55",
// "ie55", "8", "ie8", "9", "default"; false for anything else.
[[nodiscard]] bool ParseVersionName(const std::wstring& text, IEVERSION& version);

// Splits `text` at `separator` into `out`; returns the number of parts.
// A separator at the very start is skipped, a later empty part is kept and
// an empty rest at the end is dropped.
int SplitString(const std::wstring& text, const std::wstring& separator, std::vector<std::wstring>& out);

