#pragma once
// The application's main window.
#include "framework/window.h"

#include <string>

class CMainFrame : public fw::FrameWnd {
public:
    CMainFrame() = default;
    bool PreTranslateMessage(MSG& msg) override;

    // The title rule: frame title + " (" + mode [+ " | " + "Administrator"] + ")".
    static std::wstring ComposeTitle(const std::wstring& frameTitle, bool multiProcessMode, bool elevated);

protected:
    int OnCreate(CREATESTRUCTW* create) override;
    void PostNcDestroy() override { delete this; }
};

// True when the process runs with an elevated token on Windows Vista or later.
bool IsProcessElevated();
