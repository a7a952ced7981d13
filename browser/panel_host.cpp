#include "panel_host.h"

#include "browser/dialog_wb_container.h"
#include "core/locations.h"
#include "core/settings.h"
#include "framework/app.h"
#include "framework/handles.h"
#include "isolation/isolation.h"
#include "prefs/language.h"
#include "res/resource_ids.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>

namespace {

// The panel's fixed parts: the title line and close button are 20 pixels
// high, the close button 20 wide, the splitter bar 4 wide.
constexpr int kPanelTitleHeight = 20;
constexpr int kCloseButtonSize = 20;
constexpr int kSplitterWidth = 4;
constexpr int kDefaultPanelWidth = 200;

// The shell's docking-window interface, through which the panel object
// reports and shows its window.
constexpr IID kIidDockingWindow = {0x012DD920, 0x7B26, 0x11D0, {0x8C, 0xA9, 0x00, 0xA0, 0xC9, 0x2D, 0xBF, 0xE8}};

// Shown in version-9 tabs, which have no panel; not translated.
constexpr const wchar_t* kPanelRefusedIn9 = L"Fennick under IE9 tab instance is not yet supported.";

// Message `id` with Yes and No; Yes opens the toolbar's download page in
// the user's browser.
void OfferDownloadPage(HWND owner, UINT id) {
    if (TranslatedMessageBox(owner, id, MB_YESNO | MB_ICONEXCLAMATION) == IDYES)
        ShellExecuteW(nullptr, L"open", kToolbarDownloadAddress, nullptr, nullptr, SW_SHOWNORMAL);
}

} // namespace

void CPanelHost::OnInitDialog() {
    SetWindowTextW(m_dialog.Item(IDC_PANEL_TITLE), L"");
    m_hSplitterCursor = LoadCursorW(nullptr, IDC_SIZEWE);
    if (HWND splitter = m_dialog.Item(IDC_PANEL_SPLITTER))
        SetWindowSubclass(splitter, &CPanelHost::SplitterProc, 0, reinterpret_cast<DWORD_PTR>(this));
    if (HWND close = m_dialog.Item(IDC_PANEL_CLOSE)) {
        SetWindowSubclass(close, &CPanelHost::CloseButtonProc, 0, reinterpret_cast<DWORD_PTR>(this));
        SetWindowPos(close, nullptr, 0, 0, kCloseButtonSize, kCloseButtonSize,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOACTIVATE);
    }
}

int CPanelHost::Layout(int width, int height) {
    if (!m_bPanelVisible) return 0;
    // The panel on the left, its title line and close button above it, the
    // splitter bar between panel and page.
    int panel = m_nPanelWidth;
    if (panel > width) panel = width - kCloseButtonSize;
    if (panel < 0) panel = 0;
    MoveWindow(m_dialog.Item(IDC_PANEL_TITLE), 0, 0, std::max(panel - kCloseButtonSize, 0), kPanelTitleHeight, TRUE);
    MoveWindow(m_dialog.Item(IDC_PANEL_CLOSE), panel - kCloseButtonSize, 0, kCloseButtonSize, kCloseButtonSize, TRUE);
    if (m_hWndPanel && IsWindow(m_hWndPanel))
        MoveWindow(m_hWndPanel, 0, kPanelTitleHeight, panel, std::max(height - kPanelTitleHeight, 0), TRUE);
    MoveWindow(m_dialog.Item(IDC_PANEL_SPLITTER), panel, 0, kSplitterWidth, height, TRUE);
    return panel + kSplitterWidth;
}

bool CPanelHost::CreatePanel() {
    fw::ComPtr<IWebBrowser2> browser(m_dialog.Browser());
    if (!browser) return false;

    // The version the component is told: the thread's engine, or the
    // installed one for the system's engine.
    const IEENGINE* engine = GetCurrentEngine();
    IEVERSION version = engine ? static_cast<IEVERSION>(engine->version) : IEDefault;
    if (version == IEDefault) version = GetInstalledIEVersion();
    HMODULE urlmon = engine ? engine->hUrlmon : nullptr;

    fw::ComPtr<IDispatch> object;
    if (FAILED(CoCreateInstance(CLSID_FennickPanel, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                object.put_void())) ||
        !object) {
        object.reset();
        OfferDownloadPage(m_dialog.Handle(), IDS_FENNICK_NOT_FOUND);
        return false;
    }
    if (FAILED(object->QueryInterface(IID_IFennickPanel, m_pPanel.put_void())) || !m_pPanel) {
        m_pPanel.reset();
        object.reset();
        OfferDownloadPage(m_dialog.Handle(), IDS_FENNICK_TOO_OLD);
        return false;
    }
    if (FAILED(object->QueryInterface(kIidDockingWindow, m_pPanelWindow.put_void())) || !m_pPanelWindow) {
        m_pPanelWindow.reset();
        m_pPanel.reset();
        object.reset();
        OfferDownloadPage(m_dialog.Handle(), IDS_FENNICK_TOO_OLD);
        return false;
    }
    BSTR title = nullptr;
    if (m_pPanel->Initialize(m_dialog.Handle(), browser.get(), static_cast<DWORD>(version), &title) != S_OK) {
        SysFreeString(title);
        m_pPanelWindow.reset();
        m_pPanel.reset();
        object.reset();
        TranslatedMessageBox(m_dialog.Handle(), IDS_FENNICK_PANEL_ERROR, MB_OK | MB_ICONERROR);
        return false;
    }
    m_strPanelTitle = title ? std::wstring(title, SysStringLen(title)) : std::wstring();
    SysFreeString(title);
    SetWindowTextW(m_dialog.Item(IDC_PANEL_TITLE), (L"  " + m_strPanelTitle).c_str());
    HWND panelWindow = nullptr;
    m_hWndPanel = SUCCEEDED(m_pPanelWindow->GetWindow(&panelWindow)) ? panelWindow : nullptr;
    m_pPanel->SetMainWindow(m_dialog.m_hWndTopLevel);
    m_pPanel->SetEngineModule(urlmon);
    m_pPanel->Start();
    return true;
}

void CPanelHost::ShowPanelParts(int show) {
    for (int id : {IDC_PANEL_SPLITTER, IDC_PANEL_CLOSE, IDC_PANEL_TITLE}) ShowWindow(m_dialog.Item(id), show);
}

void CPanelHost::TogglePanel() {
    if (m_dialog.m_nVersion == IE9) {
        fw::AppMessageBox(m_dialog.Handle(), kPanelRefusedIn9, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (m_bPanelVisible) {
        m_bPanelVisible = false;
        m_pPanelWindow->ShowDW(FALSE);
        ShowPanelParts(SW_HIDE);
        m_dialog.RecalcLayout();
        m_dialog.Notify(UWM_TAB_PANEL_STATE, 0, 0);
        return;
    }
    if (!m_pPanel && !CreatePanel()) return;
    m_bPanelVisible = true;
    m_pPanelWindow->ShowDW(TRUE);
    ShowPanelParts(SW_SHOW);
    m_nPanelWidth = CDialogWBContainer::SettingsProfile().GetInt(setting::kSection, setting::kVertLeftSplitter,
                                                                 kDefaultPanelWidth);
    m_dialog.RecalcLayout();
    m_dialog.Notify(UWM_TAB_PANEL_STATE, 1, 0);
}

void CPanelHost::ViewSource() {
    if (!m_pPanel && !CreatePanel()) return;
    m_pPanel->ShowSource(-1);
}

bool CPanelHost::GetSplitterArea(RECT* area, RECT* limits) const {
    RECT client{};
    GetClientRect(m_dialog.Handle(), &client);
    if (area) *area = client;
    if (limits) *limits = client;
    return true;
}

bool CPanelHost::SetSplitterPosition(int percent) {
    if (static_cast<unsigned>(percent) > 100u) return false;
    RECT client{};
    GetClientRect(m_dialog.Handle(), &client);
    m_nPanelWidth = percent * client.right / 100;
    (void)CDialogWBContainer::SettingsProfile().WriteInt(setting::kSection, setting::kVertLeftSplitter, m_nPanelWidth);
    m_dialog.RecalcLayout();
    return true;
}

void CPanelHost::ReleasePanel() {
    if (m_pPanelWindow) {
        m_pPanelWindow->ShowDW(FALSE);
        m_pPanelWindow.reset();
    }
    if (m_pPanel) {
        m_pPanel->Close();
        m_pPanel.reset();
    }
    m_hWndPanel = nullptr;
    m_bPanelVisible = false;
}

void CPanelHost::DrawCloseButton(const DRAWITEMSTRUCT& item) const {
    // A white cross on a red rounded square: darker while pressed, brighter
    // while the pointer rests on it.
    const RECT& r = item.rcItem;
    FillRect(item.hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
    COLORREF fill = RGB(196, 43, 28);
    if (item.itemState & ODS_SELECTED) fill = RGB(140, 24, 16);
    else if (m_bCloseHover) fill = RGB(232, 72, 56);
    const fw::Brush brush(CreateSolidBrush(fill));
    const fw::Pen edge(CreatePen(PS_SOLID, 1, fill));
    const fw::Pen cross(CreatePen(PS_SOLID, 2, RGB(255, 255, 255)));
    fw::Selection withBrush(item.hDC, brush.get());
    {
        fw::Selection withEdge(item.hDC, edge.get());
        RoundRect(item.hDC, r.left + 1, r.top + 1, r.right - 1, r.bottom - 1, 6, 6);
    }
    fw::Selection withCross(item.hDC, cross.get());
    const int inset = (r.right - r.left) * 3 / 10;
    MoveToEx(item.hDC, r.left + inset, r.top + inset, nullptr);
    LineTo(item.hDC, r.right - inset, r.bottom - inset);
    MoveToEx(item.hDC, r.right - inset - 1, r.top + inset, nullptr);
    LineTo(item.hDC, r.left + inset - 1, r.bottom - inset);
}

LRESULT CALLBACK CPanelHost::SplitterProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                          DWORD_PTR data) {
    auto* self = reinterpret_cast<CPanelHost*>(data);
    switch (message) {
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wParam) == hwnd && self->m_hSplitterCursor) {
            SetCursor(self->m_hSplitterCursor);
            return TRUE;
        }
        break;
    case WM_LBUTTONDOWN:
        SetCapture(hwnd);
        self->m_bDragging = true;
        break;
    case WM_MOUSEMOVE:
        if (self->m_bDragging) {
            RECT area{}, limits{};
            self->m_dialog.GetSplitterArea(0, &area, &limits);
            POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ClientToScreen(hwnd, &pt);
            ScreenToClient(self->m_dialog.Handle(), &pt);
            const int x = std::clamp(static_cast<int>(pt.x), static_cast<int>(limits.left),
                                     static_cast<int>(std::max(limits.left, limits.right)));
            const int areaWidth = area.right - area.left;
            const int percent = areaWidth == 0 ? 0 : (x - area.left) * 100 / areaWidth;
            self->m_dialog.SetSplitterPosition(0, percent);
        }
        break;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        if (self->m_bDragging) {
            self->m_bDragging = false;
            ReleaseCapture();
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, &CPanelHost::SplitterProc, 0);
        break;
    default:
        break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK CPanelHost::CloseButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                             DWORD_PTR data) {
    auto* self = reinterpret_cast<CPanelHost*>(data);
    switch (message) {
    case WM_MOUSEMOVE:
        if (!self->m_bCloseTracking) {
            TRACKMOUSEEVENT track{sizeof(track), TME_HOVER | TME_LEAVE, hwnd, 1};
            self->m_bCloseTracking = TrackMouseEvent(&track) != FALSE;
        }
        break;
    case WM_MOUSEHOVER:
        self->m_bCloseHover = true;
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_MOUSELEAVE:
        self->m_bCloseTracking = false;
        self->m_bCloseHover = false;
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, &CPanelHost::CloseButtonProc, 0);
        break;
    default:
        break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

