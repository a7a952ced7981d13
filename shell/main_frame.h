#pragma once
// The application's main window.
#include "core/settings.h"
#include "framework/window.h"

#include <string>

// Created by the application's plain start, on the main thread; deletes
// itself when its window is destroyed. `settings` must outlive the frame.
class CMainFrame : public fw::FrameWnd {
public:
    CMainFrame(const Settings& settings, HACCEL appAccelerators)
        : m_settings(settings), m_hAppAccelerators(appAccelerators) {}
    bool PreTranslateMessage(MSG& msg) override;

    // The title rule: frame title + " (" + mode [+ " | " + "Administrator"] + ")".
    static std::wstring ComposeTitle(const std::wstring& frameTitle, bool multiProcessMode, bool elevated);

protected:
    int OnCreate(CREATESTRUCTW* create) override;
    void PostNcDestroy() override { delete this; }

private:
    const Settings& m_settings;
    // Table 129 of the application, tried before the frame's own table.
    HACCEL m_hAppAccelerators;
};

// True when the process runs with an elevated token on Windows Vista or later.
bool IsProcessElevated();
