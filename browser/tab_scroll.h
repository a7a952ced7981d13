#pragma once
// The scroll position of a tab's page, for linked tabs: reports the page's
// scrolls to the view (UWM_TAB_SCROLLED) and scrolls the page when the view
// asks (UWM_TAB_SCROLL_TO), both as shares of the scrollable range, so that
// pages of different lengths follow each other proportionally.
//
// It works through the engine's document interfaces only: the scrolls are
// learnt from the onscroll event of the page's window (HTMLWindowEvents2,
// through the window's connection point), the position is read and set on
// the element that scrolls the document (IHTMLElement2 of the root element
// in standards mode, of the body otherwise).
//
// A scroll this part makes is not reported: it keeps the position it set,
// and an onscroll that finds the page still there is its own echo. Any other
// position is the user's (or the page's) and is reported.
//
// Created as a member of the tab content (dialog_wb_container.h), which
// destroys it; every call runs on the content's thread. Without a control
// or an HTML page every call does nothing.
//
//   // the page itself finished loading:
//   m_scroll.OnDocumentComplete();
//   // UWM_TAB_SCROLL_TO:
//   m_scroll.ScrollTo(static_cast<std::uint32_t>(wParam), static_cast<std::uint32_t>(lParam));
//   // teardown, before the control goes:
//   m_scroll.Disconnect();
#include "browser/tab_content_part.h"
#include "framework/com_ptr.h"

#include <mshtml.h>
#include <ocidl.h>
#include <windows.h>

#include <cstdint>

class CTabScroll : private CTabContentPart {
public:
    explicit CTabScroll(CDialogWBContainer& dialog);
    ~CTabScroll();

    // Listens to the scrolls of the page on display (the previous page's
    // connection is undone first).
    void OnDocumentComplete();
    // Scrolls the page to `xParts` and `yParts` millionths of its range
    // (kScrollPartsMax, core/messages.h); larger values mean the end.
    void ScrollTo(std::uint32_t xParts, std::uint32_t yParts);
    // Stops listening.
    void Disconnect();

    // A page's position and range, in pixels.
    struct Position {
        long left = 0, top = 0;
        long rangeX = 0, rangeY = 0;  // scroll size minus client size, never negative
    };
    // The share of `range` that `offset` is, in millionths (0 without a range).
    static std::uint32_t PartsOf(long offset, long range);
    // The offset of `parts` millionths of `range`.
    static long OffsetOf(std::uint32_t parts, long range);

private:
    class WindowEvents;

    void OnScroll();
    // The element that scrolls the document, or null.
    fw::ComPtr<IHTMLElement2> ScrollingElement() const;
    static bool Read(IHTMLElement2* element, Position& out);

    fw::ComPtr<WindowEvents> m_pSink;
    fw::ComPtr<IConnectionPoint> m_pPoint;
    DWORD m_dwCookie = 0;
    // The position of the last scroll made here, while the page stays there.
    bool m_bApplied = false;
    long m_nAppliedLeft = 0;
    long m_nAppliedTop = 0;
};
