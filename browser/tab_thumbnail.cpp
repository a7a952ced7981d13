#include "tab_thumbnail.h"

#include "browser/dialog_wb_container.h"
#include "core/messages.h"
#include "framework/strings.h"
#include "res/resource_ids.h"

#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <memory>

namespace {

// A GDI+ copy of `picture` as a 32-bit bitmap on opaque black, scaled to
// width by height when both are given; null when GDI+ cannot make it.
fw::Bitmap ThumbnailOf(HBITMAP picture, UINT width = 0, UINT height = 0) {
    Gdiplus::Bitmap source(picture, nullptr);
    if (source.GetLastStatus() != Gdiplus::Ok) return {};
    std::unique_ptr<Gdiplus::Image> scaled;
    Gdiplus::Bitmap* result = &source;
    if (width && height) {
        scaled.reset(source.GetThumbnailImage(width, height, nullptr, nullptr));
        if (!scaled || scaled->GetLastStatus() != Gdiplus::Ok) return {};
        result = static_cast<Gdiplus::Bitmap*>(scaled.get());
    }
    HBITMAP out = nullptr;
    if (result->GetHBITMAP(Gdiplus::Color(0xFF000000), &out) != Gdiplus::Ok) return {};
    return fw::Bitmap(out);
}

} // namespace

void CTabThumbnail::OnInitDialog() {
    m_imgNoPreview.reset(static_cast<HBITMAP>(
        LoadImageW(fw::ResourceModule(), MAKEINTRESOURCEW(IDB_NO_PREVIEW), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    // The thumbnail's window comes once the dialog's creation is over, so
    // the taskbar (slow, missing or failing) never takes part in it.
    PostMessageW(m_dialog.Handle(), UWM_TAB_TASKBAR_PREVIEW, 0, 0);
}

void CTabThumbnail::CreateTaskbarProxy() {
    if (m_taskBarProxy.Handle()) return;
    m_taskBarProxy.CreateProxy(m_dialog.m_nVersion, m_dialog.Handle(), m_dialog.m_hWndTopLevel,
                               CDialogWBContainer::SettingsProfile());
    // A page whose title came before the thumbnail still captions it.
    IWebBrowser2* browser = m_dialog.Browser();
    BSTR name = nullptr;
    if (HWND proxy = m_taskBarProxy.Handle(); proxy && browser && SUCCEEDED(browser->get_LocationName(&name)) && name)
        SetWindowTextW(proxy, name);
    SysFreeString(name);
}

void CTabThumbnail::InvalidateTaskbarBitmaps() const {
    if (HWND proxy = m_taskBarProxy.Handle()) CallDwmInvalidateIconicBitmaps(proxy);
}

void CTabThumbnail::OnTitleChange(const std::wstring& title) const {
    if (HWND proxy = m_taskBarProxy.Handle()) SetWindowTextW(proxy, title.c_str());
}

fw::Bitmap CTabThumbnail::CapturePageBitmap(SIZE& size) const {
    RECT area{};
    HWND window = m_dialog.BrowserWindow();
    if (!window || !GetWindowRect(window, &area)) return {};
    size = {area.right - area.left, area.bottom - area.top};
    return CaptureBrowserBitmap(m_dialog.Browser(), size.cx, size.cy);
}

void CTabThumbnail::OnTaskbarThumbnail(int maxWidth, int maxHeight) const {
    HWND proxy = m_taskBarProxy.Handle();
    if (!proxy) return;
    SIZE size{};
    fw::Bitmap thumbnail;
    if (maxWidth > 0 && maxHeight > 0) {
        if (fw::Bitmap page = CapturePageBitmap(size)) {
            // As large as the request allows, keeping the page's proportions.
            const double ratio = std::max(static_cast<double>(size.cx) / maxWidth,
                                          static_cast<double>(size.cy) / maxHeight);
            const auto width = std::max(1, static_cast<int>(size.cx / ratio));
            const auto height = std::max(1, static_cast<int>(size.cy / ratio));
            thumbnail = ThumbnailOf(page.get(), static_cast<UINT>(width), static_cast<UINT>(height));
        }
    }
    CallDwmSetIconicThumbnail(proxy, thumbnail ? thumbnail.get() : m_imgNoPreview.get(), 0);
}

void CTabThumbnail::OnTaskbarLivePreview() const {
    HWND proxy = m_taskBarProxy.Handle();
    if (!proxy) return;
    // The page's place inside the main window, as the preview shows it.
    RECT top{}, client{}, own{};
    GetWindowRect(m_dialog.m_hWndTopLevel, &top);
    GetClientRect(m_dialog.m_hWndTopLevel, &client);
    GetWindowRect(m_dialog.Handle(), &own);
    POINT offset{own.left - top.left - ((top.right - top.left) - (client.right - client.left)) / 2, 0};
    RECT browser{};
    if (HWND window = m_dialog.BrowserWindow(); window && GetWindowRect(window, &browser)) {
        offset.y = browser.top - top.top;
        SIZE size{};
        fw::Bitmap page = CapturePageBitmap(size);
        fw::Bitmap preview = page ? ThumbnailOf(page.get()) : fw::Bitmap{};
        if (preview) {
            CallDwmSetIconicLivePreviewBitmap(proxy, preview.get(), &offset, 0);
            return;
        }
    }
    CallDwmSetIconicThumbnail(proxy, m_imgNoPreview.get(), 0);
}

void CTabThumbnail::OnTaskbarActivate(WPARAM state) {
    if (state == WA_INACTIVE) return;
    // The main window belongs to another thread (or process): asynchronous
    // calls only, so this thread never waits for it.
    if (IsIconic(m_dialog.m_hWndTopLevel)) ShowWindowAsync(m_dialog.m_hWndTopLevel, SW_RESTORE);
    SetForegroundWindow(m_dialog.m_hWndTopLevel);
    m_dialog.Notify(WM_COMMAND, ID_TASKBAR_TAB_ACTIVE, 0);
}

void CTabThumbnail::OnTaskbarSysCommand(WPARAM command, LPARAM lParam) {
    if ((command & 0xFFF0) == SC_CLOSE) {
        // Closed from its thumbnail: at once, without the page's question.
        m_dialog.Notify(UWM_TAB_MUST_CLOSE, CLOSE_TASKBAR, 0);
        return;
    }
    SetForegroundWindow(m_dialog.m_hWndTopLevel);
    PostMessageW(m_dialog.m_hWndTopLevel, WM_SYSCOMMAND, command, lParam);
}

