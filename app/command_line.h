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

    // "-capture FOLDER [-width N] [-height N] [-wait MS]": pictures of the
    // addresses instead of a window (app/capture.h). Each of these switches
    // takes the argument after it as its value, whatever that begins with.
    bool m_bCapture = false;
    std::wstring m_strCaptureFolder;
    int m_nCaptureWidth = kDefaultCaptureWidth;
    int m_nCaptureHeight = kDefaultCaptureHeight;
    DWORD m_nCaptureWaitMs = kDefaultCaptureWaitMs;
    // The first capture switch with a bad or missing value, with that value
    // as given ("-width abc"); empty when every value was good.
    std::wstring m_strCaptureError;
    // The addresses given under "-all", in order: a capture reports the
    // versions that never open a tab (4 and 5) only for addresses named for
    // them.
    std::vector<std::wstring> m_allUrls;

    static constexpr int kDefaultCaptureWidth = 1024;
    static constexpr int kDefaultCaptureHeight = 768;
    static constexpr DWORD kDefaultCaptureWaitMs = 30000;
    static constexpr DWORD kMinCaptureWaitMs = 100;
    static constexpr DWORD kMaxCaptureWaitMs = 3600000;

    bool WantsValue() const override { return m_pendingValue != PendingValue::None; }
    // Called after the last argument: a switch still waiting for its value
    // becomes the capture error.
    void FinishParsing();

private:
    enum class PendingValue { None, Folder, Width, Height, Wait };
    void TakeValue(const std::wstring& text);
    PendingValue m_pendingValue = PendingValue::None;
};

// Splits `text` at `separator` into `out`; returns the number of parts.
// A separator at the very start is skipped, a later empty part is kept and
// an empty rest at the end is dropped.
int SplitString(const std::wstring& text, const std::wstring& separator, std::vector<std::wstring>& out);

