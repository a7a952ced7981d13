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
    std::vector<std::wstring> m_urls[kVersionCount];
    int m_nCurrentVersion = IEDefault;
    bool m_bAll = false;
};

// Splits `text` at `separator` into `out`; returns the number of parts.
// A separator at the very start is skipped, a later empty part is kept and
// an empty rest at the end is dropped.
int SplitString(const std::wstring& text, const std::wstring& separator, std::vector<std::wstring>& out);

