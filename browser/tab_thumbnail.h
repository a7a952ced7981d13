#pragma once
// The taskbar thumbnail of a tab: its proxy window (taskbar_proxy.h), the
// pictures of the page that answer the desktop window manager's requests,
// the picture shown when none can be taken, and the thumbnail's caption,
// which follows the page's title.
//
// Created as a member of the tab content (dialog_wb_container.h), which it
// refers to and which destroys it. The content calls OnInitDialog once its
// window exists, which posts UWM_TAB_TASKBAR_PREVIEW to the content, so the
// proxy window is made after the content's creation: the taskbar (slow,
// missing or failing) never takes part in it. The content hands on the
// proxy's requests from its dialog procedure and calls DestroyProxy first
// in its teardown. Everything runs on the tab content's thread.
//
// Nothing here is required to work: without a proxy window (thumbnails
// off, no taskbar list, Wine) every call does nothing, and a page that
// cannot be drawn shows the no-preview picture.
//
//   m_thumbnail.OnInitDialog();                     // in the content's OnInitDialog
//   m_thumbnail.OnTaskbarThumbnail(width, height);  // WM_DWMSENDICONICTHUMBNAIL
//   m_thumbnail.DestroyProxy();                     // in its teardown
#include "browser/tab_content_part.h"
#include "browser/taskbar_proxy.h"

#include "framework/handles.h"

#include <windows.h>

#include <string>

class CTabThumbnail : private CTabContentPart {
public:
    explicit CTabThumbnail(CDialogWBContainer& dialog) : CTabContentPart(dialog) {}

    // Loads the no-preview picture and asks for the proxy window (above).
    void OnInitDialog();

    // The proxy window; null when the thumbnails are off or the system has
    // none.
    HWND ProxyWindow() const { return m_taskBarProxy.Handle(); }
    // Makes the proxy window unless there is one, captioned with the page's
    // title when the page has one already. Without success there is none.
    void CreateTaskbarProxy();
    // Destroys the proxy window, which takes the thumbnail off the taskbar.
    void DestroyProxy() { m_taskBarProxy.DestroyProxy(); }
    // The view activated this tab: its thumbnail becomes the active one.
    void SetTabActive() const { m_taskBarProxy.SetTabActive(); }
    // The page changed: the window manager asks for new pictures.
    void InvalidateTaskbarBitmaps() const;
    // The page's title changed: the thumbnail's caption follows it.
    void OnTitleChange(const std::wstring& title) const;

    // The proxy's requests, handed on by the content: a thumbnail at most
    // `maxWidth` by `maxHeight`, the live preview, the thumbnail activated
    // (WM_ACTIVATE's state), and a command of its system menu.
    void OnTaskbarThumbnail(int maxWidth, int maxHeight) const;
    void OnTaskbarLivePreview() const;
    void OnTaskbarActivate(WPARAM state);
    void OnTaskbarSysCommand(WPARAM command, LPARAM lParam);

private:
    // The page drawn at the size of the control's window; null (with the
    // window's size still set) when it cannot be taken.
    fw::Bitmap CapturePageBitmap(SIZE& size) const;

    CTaskBarProxyWnd m_taskBarProxy;
    // The thumbnail shown when no picture of the page can be taken.
    fw::Bitmap m_imgNoPreview;
};
