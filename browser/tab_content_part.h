#pragma once
// The base of the tab content's parts: the zoom (tab_zoom.h), the
// developer-toolbar panel (panel_host.h) and the taskbar thumbnail
// (tab_thumbnail.h).
//
// A part is a member of its tab content (dialog_wb_container.h), made in
// the content's constructor and destroyed with it; it refers to the content
// for the few things it needs, through the content's public functions, and
// runs on the content's thread only. A part is neither copied nor moved:
// its windows' subclass data and its COM pointers belong to one tab.
class CDialogWBContainer;

class CTabContentPart {
public:
    CTabContentPart(const CTabContentPart&) = delete;
    CTabContentPart& operator=(const CTabContentPart&) = delete;

protected:
    explicit CTabContentPart(CDialogWBContainer& dialog) : m_dialog(dialog) {}
    ~CTabContentPart() = default;

    CDialogWBContainer& m_dialog;
};
