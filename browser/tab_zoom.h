#pragma once
// The zoom and the text size of a tab's page.
//
// The zoom scales the page by wrapping its body's content in a DIV with a
// CSS zoom, found again by its identifier (kZoomWrapperId) when the zoom
// changes; frames and framesets are scaled each on their own. The text size
// is the engine's own (OLECMDID_ZOOM).
//
// Which copy of the zoom counts: the tab view owns the zoom the user chose
// (CVantrellView::m_nZoom) and sends it with UWM_TAB_ZOOM. This part keeps
// the last one it was told only to re-apply it to the pages loaded after
// it; it never decides a zoom of its own and never reports one.
//
// Created as a member of the tab content (dialog_wb_container.h), which it
// refers to and which destroys it. Every call runs on the tab content's
// thread and reaches the page through the content's public Browser() and
// Document(); without a control or an HTML page a call does nothing.
//
//   // UWM_TAB_ZOOM in the dialog procedure:
//   result = m_zoom.OnZoomRequest(static_cast<int>(wParam));
//   // a page finished loading:
//   m_zoom.ReapplyZoom();
#include "browser/tab_content_part.h"

#include <mshtml.h>
#include <windows.h>

class CTabZoom : private CTabContentPart {
public:
    explicit CTabZoom(CDialogWBContainer& dialog) : CTabContentPart(dialog) {}

    // The identifier of the zoom wrapper, which pages may see.
    static constexpr const wchar_t* kZoomWrapperId = L"__bm__fennickbar__zoom__";

    // The last zoom the view sent, in percent; 100 until it sends one.
    int Zoom() const { return m_nZoom; }

    // UWM_TAB_ZOOM: scales the page and keeps `percent` for the next pages.
    // Returns the message's result: 0 when the request was taken (also for a
    // page that is not HTML, which keeps its zoom), 1 without a control or a
    // document.
    LRESULT OnZoomRequest(int percent);
    // Re-applies the kept zoom to a newly loaded page; nothing at 100.
    void ReapplyZoom();
    // Scales `document` to `percent`; `nested` for frame documents. False
    // when the document's frames could not be visited. Every failing call
    // ends that document's zoom quietly.
    bool ApplyZoom(IHTMLDocument2* document, int percent, bool nested);
    // The engine's text size, 0 (smallest) to 4 (largest). Only with a
    // control.
    void SetTextSize(int level);

private:
    bool ZoomFrames(IHTMLDocument2* document, int percent);

    int m_nZoom = 100;
};
