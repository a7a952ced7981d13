#pragma once
// The in-process role of an engine thread (multi-thread mode): the tab's
// engine lives on this thread. It binds the thread to the tab's version in
// the isolation layer, starts OLE, creates the tab content as a child window
// of the tab view and hands it every request of the view. The tab content
// reports to the view through its owner (browser/tab_content_owner.h), the
// same way a child's does.
//
// Created through CIEThread::New; everything here runs on the thread itself.
#include "ie_thread.h"

#include "browser/dialog_wb_container.h"

#include <optional>

class CInProcessEngineThread final : public CIEThread {
public:
    static constexpr int kContentCreateAttempts = 3;

    explicit CInProcessEngineThread(const Start& start);
    ~CInProcessEngineThread() override;

    bool InitInstance() override;
    int ExitInstance() override;
    bool OnThreadMessage(const MSG& msg) override;

    // Posts the tab content's notifications to the view; outlives it.
    CPostingTabContentOwner m_owner;
    // The tab content; its window exists from InitInstance to ExitInstance.
    CDialogWBContainer m_dlgContent;

private:
    std::optional<fw::OleInit> m_ole;
    bool m_bBound = false;
};
