#include "main_frame.h"

#include "core/messages.h"
#include "framework/app.h"
#include "framework/strings.h"
#include "prefs/language.h"
#include "res/resource_ids.h"
#include "vantrell_view.h"
#include "windows_dialog.h"

#include <commctrl.h>

namespace {
// Status bar parts, from the right: the zoom slider, the zoom label and the
// progress bar; the status text takes the rest.
constexpr int kSliderWidth = 140;
constexpr int kZoomLabelWidth = 56;
constexpr int kProgressWidth = 90;
constexpr int kZoomLabelPart = 2;
constexpr int kStatusTextPart = 0;

// The short text of a command: the part after the line feed of its
// translated string, or the whole string; empty when it has none.
std::wstring CommandLabel(UINT id) {
    std::wstring text;
    if (!LoadTranslatedString(text, id) || text.empty()) return {};
    size_t lf = text.find(L'\n');
    return lf == std::wstring::npos ? text : text.substr(lf + 1);
}

// Translates the items of `menu` (and its sub-menus, whose titles are the
// strings in `popupTitles`, in order) in place; the shortcut after a tab
// stays.
void TranslateMenu(HMENU menu, const UINT* popupTitles, size_t titleCount, size_t& nextTitle) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        wchar_t buffer[256] = {};
        info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE | MIIM_STRING;
        info.dwTypeData = buffer;
        info.cch = 255;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info) || (info.fType & MFT_SEPARATOR)) continue;
        std::wstring label;
        if (info.hSubMenu) {
            if (nextTitle < titleCount) label = TranslatedString(popupTitles[nextTitle++]);
            TranslateMenu(info.hSubMenu, popupTitles, titleCount, nextTitle);
        } else {
            // The tab list's command shares its number with another string.
            label = CommandLabel(info.wID == ID_WINDOWS_DIALOG ? IDS_WINDOWS_DIALOG : info.wID);
        }
        if (label.empty()) continue;
        std::wstring old = buffer;
        if (size_t tab = old.find(L'\t'); tab != std::wstring::npos) label += old.substr(tab);
        MENUITEMINFOW set{};
        set.cbSize = sizeof(set);
        set.fMask = MIIM_STRING;
        set.dwTypeData = label.data();
        SetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &set);
    }
}

LRESULT CALLBACK StatusBarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR frame) {
    // The slider's scroll notifications go to its parent, the status bar:
    // the frame turns them into the zoom command.
    if (message == WM_HSCROLL) return SendMessageW(reinterpret_cast<HWND>(frame), message, wParam, lParam);
    return DefSubclassProc(hwnd, message, wParam, lParam);
}
} // namespace

bool IsProcessElevated() {
    OSVERSIONINFOW os{};
    os.dwOSVersionInfoSize = sizeof(os);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&os)) return false;
#pragma GCC diagnostic pop
    if (os.dwPlatformId != VER_PLATFORM_WIN32_NT || os.dwMajorVersion <= 5) return false;
    fw::UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size) &&
           elevation.TokenIsElevated != 0;
}

CMainFrame::CMainFrame(const Settings& settings, HACCEL appAccelerators)
    : m_settings(settings), m_hAppAccelerators(appAccelerators) {
    m_commands.Add(ID_WINDOWS_DIALOG, [this](UINT) { ShowWindowsDialog(); });
    // Ctrl+W goes through the framework's close command, as if from a menu.
    m_commands.Add(ID_CLOSE_ACTIVE_TAB, [this](UINT) {
        PostMessageW(Handle(), WM_COMMAND, MAKEWPARAM(ID_CLOSE_TAB, 1), 0);
    });
}

std::wstring CMainFrame::ComposeTitle(const std::wstring& frameTitle, bool multiProcessMode, bool elevated) {
    std::wstring title = frameTitle + L" (";
    title += TranslatedString(multiProcessMode ? IDS_MULTI_PROCESS_MODE : IDS_MULTI_THREAD_MODE);
    if (elevated) title += L" | " + TranslatedString(IDS_ADMINISTRATOR);
    title += L")";
    return title;
}

int CMainFrame::OnCreate(CREATESTRUCTW* create) {
    if (fw::MDIFrameWnd::OnCreate(create) != 0) return -1;
    m_nMoveToTabGroupMessage = fw::MoveToTabGroupMessage();
    fw::TabGroupTexts texts;
    auto label = [](UINT id, std::wstring& out) {
        if (std::wstring text = CommandLabel(id); !text.empty()) out = text;
    };
    label(ID_NEW_HORZ_TAB_GROUP, texts.newHorizontalGroup);
    label(ID_NEW_VERT_TAB_GROUP, texts.newVerticalGroup);
    label(ID_MOVE_TO_NEXT_GROUP, texts.moveToNextGroup);
    label(ID_MOVE_TO_PREV_GROUP, texts.moveToPreviousGroup);
    label(IDS_CLOSE_BUTTON, texts.closeTab);
    SetTabGroupTexts(texts);
    if (!CreateMenuBar() || !CreateStatusBar()) return -1;
    SetText(ComposeTitle(Text(), m_settings.multiProcessMode, IsProcessElevated()));
    return 0;
}

bool CMainFrame::CreateMenuBar() {
    fw::Menu menu(LoadMenuW(fw::ResourceModule(), MAKEINTRESOURCEW(IDR_MENU_BAR)));
    if (!menu) return false;
    static constexpr UINT kPopupTitles[] = {IDS_MENU_TABS, IDS_MENU_NAVIGATE, IDS_MENU_PAGE, IDS_MENU_TOOLS,
                                            IDS_MENU_WINDOW};
    size_t next = 0;
    TranslateMenu(menu.get(), kPopupTitles, std::size(kPopupTitles), next);
    if (!SetMenu(Handle(), menu.get())) return false;
    // The window destroys its menu bar with itself.
    static_cast<void>(menu.release());
    return true;
}

bool CMainFrame::CreateStatusBar() {
    m_hWndStatusBar = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | SBARS_SIZEGRIP,
                                      0, 0, 0, 0, Handle(), nullptr, fw::ResourceModule(), nullptr);
    if (!m_hWndStatusBar) return false;
    SetWindowSubclass(m_hWndStatusBar, &StatusBarProc, 1, reinterpret_cast<DWORD_PTR>(Handle()));
    m_hWndProgress = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, 0, 0, 0, 0, m_hWndStatusBar, nullptr,
                                     fw::ResourceModule(), nullptr);
    m_hWndZoomSlider = CreateWindowExW(0, TRACKBAR_CLASSW, L"", WS_CHILD | WS_VISIBLE | TBS_HORZ | TBS_NOTICKS, 0, 0,
                                       0, 0, m_hWndStatusBar, reinterpret_cast<HMENU>(IDS_ZOOM_SLIDER),
                                       fw::ResourceModule(), nullptr);
    if (m_hWndZoomSlider) {
        SendMessageW(m_hWndZoomSlider, TBM_SETRANGE, TRUE, MAKELPARAM(0, kZoomSliderMax));
        SendMessageW(m_hWndZoomSlider, TBM_SETPAGESIZE, 0, 15);
        SendMessageW(m_hWndZoomSlider, TBM_SETPOS, TRUE, 100);
    }
    SetZoomLabel(L"100%");
    return true;
}

bool CMainFrame::SetZoomLabel(const std::wstring& text) {
    if (!m_hWndStatusBar) return false;
    // Kept: a status bar whose parts change forgets the texts of its parts.
    m_strZoomLabel = text;
    SendMessageW(m_hWndStatusBar, SB_SETTEXTW, kZoomLabelPart, reinterpret_cast<LPARAM>(text.c_str()));
    return true;
}

void CMainFrame::RecalcLayout() {
    RECT client{};
    GetClientRect(Handle(), &client);
    if (m_hWndStatusBar) {
        SendMessageW(m_hWndStatusBar, WM_SIZE, 0, 0);
        RECT bar{};
        GetWindowRect(m_hWndStatusBar, &bar);
        const int width = client.right - client.left;
        const int barHeight = bar.bottom - bar.top;
        int edges[4] = {width - kSliderWidth - kZoomLabelWidth - kProgressWidth, width - kSliderWidth - kZoomLabelWidth,
                        width - kSliderWidth, -1};
        SendMessageW(m_hWndStatusBar, SB_SETPARTS, 4, reinterpret_cast<LPARAM>(edges));
        SendMessageW(m_hWndStatusBar, SB_SETTEXTW, kZoomLabelPart, reinterpret_cast<LPARAM>(m_strZoomLabel.c_str()));
        RECT part{};
        if (m_hWndProgress && SendMessageW(m_hWndStatusBar, SB_GETRECT, 1, reinterpret_cast<LPARAM>(&part)))
            MoveWindow(m_hWndProgress, part.left + 2, part.top + 2, part.right - part.left - 4, part.bottom - part.top - 4,
                       TRUE);
        if (m_hWndZoomSlider && SendMessageW(m_hWndStatusBar, SB_GETRECT, 3, reinterpret_cast<LPARAM>(&part)))
            MoveWindow(m_hWndZoomSlider, part.left, part.top, part.right - part.left - 16, part.bottom - part.top,
                       TRUE);
        client.bottom -= barHeight;
    }
    SetClientArea(client);
}

void CMainFrame::LimitTabWidths() {
    for (fw::TabGroup* group : TabGroups()) {
        group->SetMaxTabWidth(kMaxTabWidth);
        group->RecalcLayout();
    }
}

void CMainFrame::ShowProgress(int progress, int maximum) {
    if (!m_hWndProgress) return;
    const bool visible = IsWindowVisible(m_hWndProgress) != FALSE;
    if (progress == maximum || progress == -1) {
        ShowWindow(m_hWndProgress, SW_HIDE);
        if (visible) InvalidateRect(m_hWndStatusBar, nullptr, TRUE);
        return;
    }
    ShowWindow(m_hWndProgress, SW_SHOW);
    if (!visible) InvalidateRect(m_hWndStatusBar, nullptr, TRUE);
    SendMessageW(m_hWndProgress, PBM_SETRANGE32, 0, maximum);
    SendMessageW(m_hWndProgress, PBM_SETPOS, static_cast<WPARAM>(progress), 0);
}

void CMainFrame::FillHistoryMenu(HMENU popup) {
    // Only the menu that holds the navigation commands lists the history.
    if (GetMenuState(popup, ID_BACK, MF_BYCOMMAND) == static_cast<UINT>(-1)) return;
    for (int i = GetMenuItemCount(popup) - 1; i >= 0; --i) {
        const UINT id = GetMenuItemID(popup, i);
        const bool history = id >= kFirstHistoryCommand && id < kFirstHistoryCommand + CVantrellView::kMaxHistory;
        if (history || (id == 0 && i == GetMenuItemCount(popup) - 1 && m_bHistoryListed))
            DeleteMenu(popup, static_cast<UINT>(i), MF_BYPOSITION);
    }
    m_bHistoryListed = false;
    auto view = dynamic_cast<CVantrellView*>(ActiveView());
    if (!view || view->m_arHistory.empty()) return;
    // Most recent first.
    AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
    m_bHistoryListed = true;
    for (const auto& entry : view->m_arHistory) {
        std::wstring text = entry->m_strTitle.empty() ? entry->m_strURL : entry->m_strTitle;
        // A title is shown as it is, not as a mnemonic.
        for (size_t at = text.find(L'&'); at != std::wstring::npos; at = text.find(L'&', at + 2)) text.insert(at, 1, L'&');
        AppendMenuW(popup, MF_STRING, entry->m_nID, text.c_str());
    }
}

void CMainFrame::ShowWindowsDialog() { CWindowsDialog(*this).DoModal(); }

bool CMainFrame::PreTranslateMessage(MSG& msg) {
    if (m_hAppAccelerators && msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST &&
        TranslateAcceleratorW(Handle(), m_hAppAccelerators, &msg))
        return true;
    return fw::MDIFrameWnd::PreTranslateMessage(msg);
}

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == m_nMoveToTabGroupMessage && message != 0) {
        LimitTabWidths();
        return 0;
    }
    switch (message) {
    case UWM_TAB_STATUS_TEXT:
        // The text stays the sender's; it is read during the send.
        if (wParam && m_hWndStatusBar)
            SendMessageW(m_hWndStatusBar, SB_SETTEXTW, kStatusTextPart,
                         reinterpret_cast<LPARAM>(reinterpret_cast<const std::wstring*>(wParam)->c_str()));
        return 0;
    case UWM_TAB_PROGRESS:
        ShowProgress(static_cast<int>(wParam), static_cast<int>(lParam));
        return 0;
    case UWM_FRAME_TAB_CRASHED:
        // Kept for the reopen command; the notice itself comes with the
        // caption bar.
        if (auto url = TakeStringParam(static_cast<std::uintptr_t>(lParam))) m_strCrashURL = *url;
        m_nCrashVersion = IsValidVersion(static_cast<int>(wParam)) ? static_cast<IEVERSION>(wParam) : IEDefault;
        return 0;
    case WM_INITMENUPOPUP:
        if (!HIWORD(lParam)) FillHistoryMenu(reinterpret_cast<HMENU>(wParam));
        break;
    case WM_HSCROLL:
        if (m_hWndZoomSlider && reinterpret_cast<HWND>(lParam) == m_hWndZoomSlider) {
            RouteCommand(IDS_ZOOM_SLIDER);
            return 0;
        }
        break;
    default:
        break;
    }
    return fw::MDIFrameWnd::WindowProc(message, wParam, lParam);
}
