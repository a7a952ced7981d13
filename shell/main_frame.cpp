#include "main_frame.h"
#include "release_check.h"

#include "core/locations.h"
#include "core/messages.h"
#include "framework/app.h"
#include "framework/strings.h"
#include "framework/visual_scheme.h"
#include "prefs/language.h"
#include "res/resource_ids.h"
#include "script_errors_dialog.h"
#include "shell_app.h"
#include "vantrell_doc.h"
#include "vantrell_view.h"
#include "windows_dialog.h"

#include <commctrl.h>
#include <utility>

namespace {
// Search behaviours of the "SearchBehaviour" setting.
constexpr int kSearchNewDefaultTab = 1;
constexpr int kSearchActiveTab = 2;
constexpr int kSearchFirstDefaultTab = 3;

// Status bar elements.
constexpr int kProgressWidth = 90;
constexpr int kProgressHeight = 22;
constexpr int kSliderWidth = 100;
constexpr int kSliderPage = 10;
constexpr int kSliderStart = 100;
constexpr const wchar_t* kStatusBarSection = L"StatusBar";
constexpr const wchar_t* kRibbonMinimized = L"RibbonMinimized";


// The second line of string `id` (the whole string when it has one line).
std::wstring SecondLine(UINT id) {
    std::wstring text = TranslatedString(id);
    const size_t lf = text.find(L'\n');
    return lf == std::wstring::npos ? text : text.substr(lf + 1);
}

fw::VisualScheme SchemeOfLook(UINT id) {
    switch (id) {
    case ID_LOOK_BASE: return fw::VisualScheme::Base;
    case ID_LOOK_OFFICE_XP: return fw::VisualScheme::OfficeXP;
    case ID_LOOK_WINDOWS: return fw::VisualScheme::Windows;
    case ID_LOOK_OFFICE2003: return fw::VisualScheme::Office2003;
    case ID_LOOK_VS2005: return fw::VisualScheme::VisualStudio2005;
    case ID_LOOK_OFFICE2007_BLACK: return fw::VisualScheme::Office2007Black;
    case ID_LOOK_OFFICE2007_SILVER: return fw::VisualScheme::Office2007Silver;
    case ID_LOOK_OFFICE2007_AQUA: return fw::VisualScheme::Office2007Aqua;
    case ID_LOOK_OFFICE2007_BLUE: return fw::VisualScheme::Office2007Blue;
    default:
        // Any other value keeps the Office 2007 style that is current.
        switch (fw::CurrentVisualScheme()) {
        case fw::VisualScheme::Office2007Black:
        case fw::VisualScheme::Office2007Silver:
        case fw::VisualScheme::Office2007Aqua: return fw::CurrentVisualScheme();
        default: return fw::VisualScheme::Office2007Blue;
        }
    }
}

HBITMAP LoadArtworkBitmap(UINT id) {
    return static_cast<HBITMAP>(
        LoadImageW(fw::ResourceModule(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

fw::WinApp* App() { return fw::GetApp(); }
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
    if (fw::WinApp* app = App())
        m_nAppLook = app->GetProfile().GetWorkspaceInt(setting::kApplicationLook, kDefaultLook);
    RegisterCommands();
}

CMainFrame* CMainFrame::Open(std::unique_ptr<CMainFrame> frame, DWORD style) {
    // Until the window owns the frame, PostNcDestroy leaves it alone: a
    // window that fails during its creation (WM_CREATE answered -1) is
    // destroyed before LoadFrame returns, and the frame goes with `frame`.
    if (!frame || !frame->LoadFrame(IDR_MAINFRAME, style)) return nullptr;
    CMainFrame* owned = frame.release();
    owned->m_bOwnedByWindow = true;
    return owned;
}

void CMainFrame::PostNcDestroy() {
    if (m_bOwnedByWindow) delete this;
}

void CMainFrame::RegisterCommands() {
    m_commands.Add(ID_WINDOWS_DIALOG, [this](UINT) { ShowWindowsDialog(); });
    // The sign of the active tab's script errors lists them. The list takes
    // a copy: the tab may go while it shows.
    m_commands.Add(ID_SCRIPT_ERRORS, [this](UINT) {
        if (auto* view = dynamic_cast<CVantrellView*>(ActiveView())) {
            CScriptErrorsDialog dialog(view->ScriptErrors().Kept(), view->ScriptErrors().Count());
            dialog.DoModal(Handle());
        }
    });
    // Ctrl+W goes through the framework's close command, as if from a menu.
    m_commands.Add(ID_CLOSE_ACTIVE_TAB,
                   [this](UINT) { PostMessageW(Handle(), WM_COMMAND, MAKEWPARAM(ID_CLOSE_TAB, 1), 0); });
    m_commands.AddRange(ID_LOOK_BASE, ID_LOOK_OFFICE2007_AQUA, [this](UINT id) { OnApplicationLook(id); },
                        [this](fw::CmdUI& ui) {
                            ui.SetRadio();
                            ui.SetCheck(static_cast<int>(ui.id) == m_nAppLook);
                        });
    m_commands.Add(ID_CAPTION_BAR, [](UINT) {}, [this](fw::CmdUI& ui) { ui.SetCheck(m_wndCaptionBar.IsShown()); });
    m_commands.Add(ID_REOPEN_TAB, [this](UINT) { ReopenCrashedTab(); });
    m_commands.Add(ID_TAB_BUSY_WAIT, [this](UINT) { AnswerBusyTab(0); });
    m_commands.Add(ID_TAB_BUSY_END, [this](UINT) { AnswerBusyTab(1); });
    m_commands.Add(ID_FOCUS_SEARCH, [this](UINT) {
        if (m_pSearchBox) m_pSearchBox->FocusEdit();
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
    OnApplicationLook(static_cast<UINT>(m_nAppLook));
    m_nMoveToTabGroupMessage = fw::MoveToTabGroupMessage();
    fw::TabGroupTexts texts;
    auto label = [](UINT id, std::wstring& out) {
        if (std::wstring text = SecondLine(id); !text.empty()) out = text;
    };
    label(ID_NEW_HORZ_TAB_GROUP, texts.newHorizontalGroup);
    label(ID_NEW_VERT_TAB_GROUP, texts.newVerticalGroup);
    label(ID_MOVE_TO_NEXT_GROUP, texts.moveToNextGroup);
    label(ID_MOVE_TO_PREV_GROUP, texts.moveToPreviousGroup);
    label(IDS_CLOSE_BUTTON, texts.closeTab);
    label(IDS_WINDOWS_DIALOG, texts.windowsDialog);
    texts.windowsCommand = ID_WINDOWS_DIALOG;
    SetTabGroupTexts(texts);

    if (!LoadArtwork() || !CreateRibbon() || !CreateStatusBar()) return -1;
    if (!m_wndCaptionBar.Create(Handle(), ID_CAPTION_BAR)) return -1;
    m_wndCaptionBar.SetButton(TranslatedString(IDS_REOPEN_TAB), ID_REOPEN_TAB, TranslatedString(IDS_REOPEN_TAB_TIP));
    m_wndCaptionBar.SetText(TranslatedString(IDS_TAB_CRASHED));
    if (m_pSearchBox && m_pSearchBox->EditWindow())
        SendMessageW(m_pSearchBox->EditWindow(), EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
    SetText(ComposeTitle(Text(), m_settings.multiProcessMode, IsProcessElevated()));
    // The release check, at most once a week, in the background.
    if (fw::WinApp* app = fw::GetApp()) RunWeeklyVersionCheck(app->GetProfile(), Handle(), time(nullptr));
    return 0;
}

bool CMainFrame::LoadArtwork() {
    m_bmpRibbonSmall.reset(LoadArtworkBitmap(IDB_RIBBON_SMALL));
    m_bmpRibbonLarge.reset(LoadArtworkBitmap(IDB_RIBBON_LARGE));
    m_bmpMainSmall.reset(LoadArtworkBitmap(IDB_MAIN_SMALL));
    m_bmpMainLarge.reset(LoadArtworkBitmap(IDB_MAIN_LARGE));
    m_bmpAppButton.reset(LoadArtworkBitmap(IDB_APP_BUTTON));
    m_PanelImages.reset(ImageList_LoadImageW(fw::ResourceModule(), MAKEINTRESOURCEW(IDB_PANEL_ICONS), 16, 0,
                                             RGB(255, 0, 255), IMAGE_BITMAP, LR_CREATEDIBSECTION));
    // Missing artwork leaves blank images, not a program that cannot start.
    return true;
}

bool CMainFrame::CreateRibbon() {
    if (!m_wndRibbonBar.Create(Handle(), IDW_RIBBON)) return false;
    CMyMFCRibbonBar& ribbon = m_wndRibbonBar;
    ribbon.SetCommandUpdater([this](UINT id) { return RouteUpdate(id); });

    // The application button and its menu.
    ribbon.SetApplicationButton(m_bmpAppButton.get(), TranslatedString(IDS_FILE), L"f");
    ribbon.SetMainImages({m_bmpMainSmall.get(), m_bmpMainLarge.get()});
    ribbon.AddMainItem(std::make_unique<CMyMFCRibbonButton>(ID_CLOSE_TAB, TranslatedString(IDS_MAIN_CLOSE), 9, 9));
    ribbon.AddMainBottomButton(
        std::make_unique<CMyMFCRibbonMainPanelButton>(ID_EXIT, TranslatedString(IDS_MAIN_EXIT), 15, 15));

    const fw::RibbonImages images{m_bmpRibbonSmall.get(), m_bmpRibbonLarge.get()};
    HIMAGELIST icons = m_PanelImages.get();
    struct ButtonSpec {
        UINT id;
        std::wstring label;
        int image;
        UINT menu = 0;
        bool defaultCommand = false;
        bool rightAlign = false;
    };
    auto add = [](fw::RibbonPanel* panel, const ButtonSpec& spec) {
        auto button = std::make_unique<CMyMFCRibbonButton>(static_cast<int>(spec.id), spec.label, spec.image, spec.image);
        if (spec.menu)
            button->SetMenu(LoadMenuW(fw::ResourceModule(), MAKEINTRESOURCEW(spec.menu)), spec.defaultCommand,
                            spec.rightAlign);
        button->UpdateTooltipInfo();
        return static_cast<CMyMFCRibbonButton*>(panel->Add(std::move(button)));
    };

    fw::RibbonCategory* home = ribbon.AddCategory(TranslatedString(IDS_CATEGORY_HOME), images);
    fw::RibbonPanel* navigate = home->AddPanel(TranslatedString(IDS_PANEL_NAVIGATE), icons, 29);
    m_pBackButton = add(navigate, {ID_BACK, TranslatedString(IDS_LABEL_PREVIOUS), 3, IDR_MENU_BACK, true});
    m_pForwardButton = add(navigate, {ID_FORWARD, TranslatedString(IDS_LABEL_NEXT), 4, IDR_MENU_FORWARD, true});
    add(navigate, {ID_REFRESH, TranslatedString(IDS_LABEL_REFRESH), 5, IDR_MENU_REFRESH, true});
    add(navigate, {ID_STOP, TranslatedString(IDS_LABEL_STOP), 6});
    add(navigate, {ID_HOME, TranslatedString(IDS_LABEL_HOME), 7});
    add(navigate, {ID_CLOSE_ALL_TABS, SecondLine(ID_CLOSE_ALL_TABS), 22});
    add(navigate, {ID_CLOSE_OTHER_TABS, SecondLine(ID_CLOSE_OTHER_TABS), 23});

    fw::RibbonPanel* newTabs = home->AddPanel(TranslatedString(IDS_PANEL_NEW), icons, 30);
    add(newTabs, {ID_NEW_IE55, TranslatedString(ID_NEW_IE55), 15});
    add(newTabs, {ID_NEW_IE6, TranslatedString(ID_NEW_IE6), 16});
    add(newTabs, {ID_NEW_IE7, TranslatedString(ID_NEW_IE7), 17});
    add(newTabs, {ID_NEW_IE8, TranslatedString(ID_NEW_IE8), 18});
    add(newTabs, {ID_NEW_IE9, TranslatedString(ID_NEW_IE9), 30});
    add(newTabs, {ID_NEW_IE_DEFAULT, TranslatedString(ID_NEW_IE_DEFAULT), 20});
    add(newTabs, {ID_OPEN_ALL_VERSIONS, TranslatedString(ID_OPEN_ALL_VERSIONS), 19});

    fw::RibbonPanel* compare = home->AddPanel(TranslatedString(IDS_PANEL_COMPARE), icons, 0);
    add(compare, {ID_COMPARE_SIDE_BY_SIDE, SecondLine(ID_COMPARE_SIDE_BY_SIDE), 32});
    add(compare, {ID_LINK_TABS, SecondLine(ID_LINK_TABS), 33});

    fw::RibbonPanel* favorites = home->AddPanel(TranslatedString(IDS_FAVORITES), icons, 28);
    m_pFavoritesButton = add(favorites, {ID_FAVORITES, TranslatedString(IDS_FAVORITES), 8});

    fw::RibbonCategory* dev = ribbon.AddCategory(TranslatedString(IDS_CATEGORY_DEV_TOOLS), images);
    fw::RibbonPanel* fennick = dev->AddPanel(L"Fennick", icons, 0);
    add(fennick, {ID_TOGGLE_FENNICK, SecondLine(ID_TOGGLE_FENNICK), 21});
    add(fennick, {ID_VIEW_SOURCE, SecondLine(ID_VIEW_SOURCE), 24});
    fw::RibbonPanel* ie = dev->AddPanel(L"IE", icons, 0);
    add(ie, {ID_TEXT_SIZE, SecondLine(ID_TEXT_SIZE), 25, IDR_MENU_TEXT_SIZE});
    fw::RibbonPanel* features = dev->AddPanel(TranslatedString(IDS_PANEL_DISABLE_FEATURES), icons, 0);
    add(features, {ID_DISABLE_CACHE, SecondLine(ID_DISABLE_CACHE), 26});
    add(features, {ID_DISABLE_MEDIAS, SecondLine(ID_DISABLE_MEDIAS), 27, IDR_MENU_MEDIAS});
    add(features, {ID_DISABLE_ENGINES, SecondLine(ID_DISABLE_ENGINES), 28, IDR_MENU_ENGINES});

    fw::RibbonCategory* options = ribbon.AddCategory(TranslatedString(IDS_CATEGORY_OPTIONS), images);
    fw::RibbonPanel* print = options->AddPanel(TranslatedString(IDS_PANEL_PRINT), icons, 0);
    add(print, {ID_PRINT_PREVIEW, SecondLine(ID_PRINT_PREVIEW), 14});
    add(print, {ID_PRINT, SecondLine(ID_PRINT), 13});
    fw::RibbonPanel* ieOptions = options->AddPanel(TranslatedString(IDS_IE_OPTIONS), icons, 0);
    add(ieOptions, {ID_IE_OPTIONS, TranslatedString(IDS_IE_OPTIONS), 11});
    fw::RibbonPanel* appOptions = options->AddPanel(TranslatedString(IDS_PANEL_APP_OPTIONS), icons, 0);
    add(appOptions, {ID_OPTIONS, TranslatedString(IDS_CONFIGURE_APP), 12});
    add(appOptions, {ID_ABOUT, TranslatedString(IDS_ABOUT), 9});
    add(appOptions, {ID_CHECK_VERSION, TranslatedString(IDS_CHECK_VERSION), 10});

    // The tab that minimizes or shows the ribbon.
    m_pToggleCategory = ribbon.AddCategory(TranslatedString(IDS_MINIMIZE_RIBBON), images);
    ribbon.SetToggleCategory(m_pToggleCategory);

    // Beside the tabs: the web search box, the look menu, About.
    auto search = std::make_unique<CMFCRibbonGoogleSearch>(TranslatedString(IDS_WEB_SEARCH));
    search->SetToolTip(TranslatedString(IDS_WEB_SEARCH));
    m_pSearchBox = static_cast<CMFCRibbonGoogleSearch*>(ribbon.AddToTabRow(std::move(search)));
    auto style = std::make_unique<CMyMFCRibbonButton>(-1, TranslatedString(IDS_STYLE));
    style->SetMenu(LoadMenuW(fw::ResourceModule(), MAKEINTRESOURCEW(IDR_MENU_STYLE)), false, true);
    style->SetToolTip(TranslatedString(IDS_STYLE_TIP));
    style->SetDescription(TranslatedString(IDS_STYLE_DESCRIPTION));
    ribbon.AddToTabRow(std::move(style));
    auto about = std::make_unique<CMyMFCRibbonButton>(ID_ABOUT, TranslatedString(IDS_ABOUT), 9, -1);
    about->UpdateTooltipInfo();
    ribbon.AddToTabRow(std::move(about));

    ribbon.SetQuickAccessCommands({ID_CLOSE_TAB});
    ribbon.SetActiveCategory(home);
    if (fw::WinApp* app = App()) ribbon.SetMinimized(app->GetProfile().GetWorkspaceInt(kRibbonMinimized, 0) != 0);
    ribbon.NameToggleCategory();
    return true;
}

bool CMainFrame::CreateStatusBar() {
    if (!m_wndStatusBar.Create(Handle(), IDW_STATUS_BAR)) return false;
    using Area = fw::RibbonStatusBar::Area;
    m_wndStatusBar.AddPane(Area::Main, ID_STATUS_PANE, L"", TranslatedString(IDS_STATUS_INFO));
    // The sign of the active tab's script errors: the system's warning icon
    // and the count, shown only while there are errors; a click lists them.
    fw::StatusElement* errors = m_wndStatusBar.AddPane(Area::Main, ID_SCRIPT_ERRORS, L"",
                                                       TranslatedString(IDS_SCRIPT_ERRORS_TITLE), L"", false);
    errors->SetCollapsedWhenEmpty(true);
    errors->SetToolTip(TranslatedString(ID_SCRIPT_ERRORS));
    // A shared system icon: the system keeps it for the life of the process.
    errors->SetIcon(static_cast<HICON>(
        LoadImageW(nullptr, IDI_WARNING, IMAGE_ICON, 16, 16, LR_SHARED)));
    fw::StatusElement* progress = m_wndStatusBar.AddProgress(Area::Extended, ID_PROGRESS_BAR, kProgressWidth,
                                                            kProgressHeight, TranslatedString(IDS_DOWNLOAD_PROGRESS));
    progress->SetToolTip(TranslatedString(IDS_DOWNLOAD_PROGRESS));
    m_wndStatusBar.AddPane(Area::Extended, ID_ZOOM_LABEL, L"100%", TranslatedString(ID_ZOOM_LABEL), L"1000%", false);
    fw::StatusElement* slider =
        m_wndStatusBar.AddSlider(Area::Extended, ID_ZOOM_SLIDER, kSliderWidth, 0, kZoomSliderMax, kSliderPage,
                                 kSliderStart, true, TranslatedString(ID_ZOOM_SLIDER));
    slider->SetToolTip(TranslatedString(ID_ZOOM_SLIDER));
    m_wndStatusBar.SetConfigurationTitle(TranslatedString(IDS_STATUSBAR_CONFIG));
    if (fw::WinApp* app = App()) m_wndStatusBar.LoadState(app->GetProfile(), kStatusBarSection);
    // The progress bar shows only during a load.
    progress->SetVisible(false);
    return true;
}

fw::StatusElement* CMainFrame::ZoomSlider() const { return m_wndStatusBar.FindById(ID_ZOOM_SLIDER); }
fw::StatusElement* CMainFrame::ZoomLabel() const { return m_wndStatusBar.FindById(ID_ZOOM_LABEL); }

void CMainFrame::ShowScriptErrorCount(size_t count) {
    fw::StatusElement* sign = m_wndStatusBar.FindById(ID_SCRIPT_ERRORS);
    if (!sign) return;
    if (count == 0)
        sign->SetText(L"");
    else if (count == 1)
        sign->SetText(TranslatedString(IDS_SCRIPT_ERROR_ONE));
    else
        sign->SetText(fw::Format(TranslatedString(IDS_SCRIPT_ERROR_MANY).c_str(), static_cast<unsigned>(count)));
}

void CMainFrame::OnApplicationLook(UINT id) {
    HCURSOR old = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    m_nAppLook = static_cast<int>(id);
    fw::SetVisualScheme(SchemeOfLook(id));
    if (Handle())
        RedrawWindow(Handle(), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    if (fw::WinApp* app = App()) (void)app->GetProfile().WriteWorkspaceInt(setting::kApplicationLook, m_nAppLook);
    SetCursor(old);
}

std::wstring CMainFrame::SearchAddress(const std::wstring& text) {
    return std::wstring(kSearchAddress) + UrlEncode(text, true);
}

void CMainFrame::WebSearch(const std::wstring& text) {
    const std::wstring address = SearchAddress(text);
    auto navigate = [&](fw::View* view) {
        auto param = NewStringParam<WPARAM>(address);
        if (!PostMessageW(view->Handle(), UWM_TAB_NAVIGATE, param, 0)) TakeStringParam(param);
    };
    auto openTab = [&] {
        if (IShellApp* app = GetShellApp()) app->OpenTabForVersion(IEDefault, address.c_str());
    };
    switch (m_settings.searchBehaviour) {
    case kSearchActiveTab:
        if (fw::View* view = ActiveView()) navigate(view);
        else openTab();
        return;
    case kSearchFirstDefaultTab:
        if (fw::WinApp* app = App()) {
            for (const auto& docTemplate : app->DocTemplates()) {
                if (docTemplate->ResourceId() != IDR_IE_DEFAULT) continue;
                fw::View* view = docTemplate->Documents().empty() ? nullptr : docTemplate->Documents().front()->FirstView();
                if (!view) break;
                navigate(view);
                if (fw::MDIChildFrame* frame = view->ParentFrame())
                    SendMessageW(MDIClient(), WM_MDIACTIVATE, reinterpret_cast<WPARAM>(frame->Handle()), 0);
                return;
            }
        }
        openTab();
        return;
    case kSearchNewDefaultTab:
    default:
        openTab();
        return;
    }
}

void CMainFrame::RecalcLayout() {
    RECT client{};
    GetClientRect(Handle(), &client);
    const int width = client.right - client.left;
    if (m_wndRibbonBar.Handle()) {
        const int h = m_wndRibbonBar.Height();
        MoveWindow(m_wndRibbonBar.Handle(), 0, client.top, width, h, TRUE);
        client.top += h;
    }
    if (m_wndCaptionBar.Handle()) {
        const int h = m_wndCaptionBar.Height();
        if (h > 0) MoveWindow(m_wndCaptionBar.Handle(), 0, client.top, width, h, TRUE);
        client.top += h;
    }
    if (m_wndStatusBar.Handle()) {
        const int h = m_wndStatusBar.Height();
        MoveWindow(m_wndStatusBar.Handle(), 0, client.bottom - h, width, h, TRUE);
        client.bottom -= h;
    }
    if (client.bottom < client.top) client.bottom = client.top;
    SetClientArea(client);
}

void CMainFrame::LimitTabWidths() {
    for (fw::TabGroup* group : TabGroups()) {
        group->SetMaxTabWidth(kMaxTabWidth);
        group->RecalcLayout();
    }
}

void CMainFrame::ShowStatusText(const std::wstring& text) {
    // The text goes to the first pane only. Drawn across the whole bar it
    // would hide the zoom slider for as long as a page's last status text
    // ("Done") stays, that is almost always.
    if (fw::StatusElement* pane = m_wndStatusBar.FindById(ID_STATUS_PANE)) pane->SetText(text);
}

void CMainFrame::ShowProgress(int progress, int maximum) {
    fw::StatusElement* bar = m_wndStatusBar.FindById(ID_PROGRESS_BAR);
    if (!bar) return;
    const bool visible = bar->IsVisible();
    if (progress == maximum || progress == -1) {
        bar->SetVisible(false);
        if (visible) InvalidateRect(m_wndStatusBar.Handle(), nullptr, TRUE);
        return;
    }
    bar->SetVisible(true);
    if (!visible) InvalidateRect(m_wndStatusBar.Handle(), nullptr, TRUE);
    bar->SetRange(0, maximum);
    bar->SetPos(progress, true);
}

void CMainFrame::ShowNotice(IEVERSION version) {
    const UINT icon = IconIdOfVersion(version);
    m_wndCaptionBar.SetIcon(static_cast<HICON>(
        LoadImageW(fw::ResourceModule(), MAKEINTRESOURCEW(icon), IMAGE_ICON, 16, 16, LR_SHARED)));
    m_wndCaptionBar.Show(true);
    RecalcLayout();
}

void CMainFrame::OnTabCrashed(WPARAM version, std::unique_ptr<std::wstring> url) {
    if (version == 0 || !url || !m_wndCaptionBar.Handle()) return;
    m_strCrashURL = *url;
    m_nCrashVersion = IsValidVersion(static_cast<int>(version)) ? static_cast<IEVERSION>(version) : IEDefault;
    // A lost tab's notice replaces a busy one.
    m_hWndBusyView = nullptr;
    m_wndCaptionBar.SetCloseCommand(0);
    m_wndCaptionBar.SetButton(TranslatedString(IDS_REOPEN_TAB), ID_REOPEN_TAB, TranslatedString(IDS_REOPEN_TAB_TIP));
    m_wndCaptionBar.SetText(TranslatedString(IDS_TAB_CRASHED));
    ShowNotice(m_nCrashVersion);
}

void CMainFrame::OnTabNotResponding(bool busy, HWND view) {
    if (!m_wndCaptionBar.Handle() || !view) return;
    if (!busy) {
        // Only that tab's notice goes; a later notice of another tab stays.
        if (view != m_hWndBusyView) return;
        m_hWndBusyView = nullptr;
        m_wndCaptionBar.Show(false);
        RecalcLayout();
        return;
    }
    auto* tab = dynamic_cast<fw::View*>(fw::Window::FromHandle(view));
    auto* doc = tab ? dynamic_cast<CVantrellDoc*>(tab->GetDocument()) : nullptr;
    m_hWndBusyView = view;
    // The close glyph waits, as the Wait button does.
    m_wndCaptionBar.SetCloseCommand(ID_TAB_BUSY_WAIT);
    m_wndCaptionBar.SetButtons({{TranslatedString(IDS_TAB_BUSY_WAIT), ID_TAB_BUSY_WAIT, TranslatedString(IDS_TAB_BUSY_WAIT_TIP)},
                                {TranslatedString(IDS_TAB_BUSY_END), ID_TAB_BUSY_END, TranslatedString(IDS_TAB_BUSY_END_TIP)}});
    m_wndCaptionBar.SetText(TranslatedString(IDS_TAB_NOT_RESPONDING));
    ShowNotice(doc ? doc->m_nVersion : IEDefault);
}

void CMainFrame::AnswerBusyTab(WPARAM answer) {
    const HWND view = std::exchange(m_hWndBusyView, nullptr);
    m_wndCaptionBar.SetCloseCommand(0);
    m_wndCaptionBar.Show(false);
    RecalcLayout();
    if (view && IsWindow(view)) PostMessageW(view, UWM_TAB_BUSY_ANSWER, answer, 0);
}

void CMainFrame::ReopenCrashedTab() {
    m_wndCaptionBar.Show(false);
    RecalcLayout();
    if (IShellApp* app = GetShellApp()) app->OpenTabForVersion(m_nCrashVersion, m_strCrashURL.c_str());
}

void CMainFrame::SetFavoritesMenu(HMENU menu) {
    fw::Menu owned(menu);
    if (!m_pFavoritesButton) return;
    // The whole button opens the menu; it has no command of its own.
    m_pFavoritesButton->SetMenu(owned.release(), false);
    if (m_wndRibbonBar.Handle()) {
        m_wndRibbonBar.RecalcLayout();
        InvalidateRect(m_wndRibbonBar.Handle(), nullptr, TRUE);
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
        // The frame takes the string over, as every receiver of a String
        // parameter does; 1 tells the sender that it was taken.
        if (auto text = TakeStringParam(wParam)) ShowStatusText(*text);
        return 1;
    case UWM_TAB_PROGRESS:
        ShowProgress(static_cast<int>(wParam), static_cast<int>(lParam));
        return 0;
    case UWM_FRAME_WEB_SEARCH:
        if (auto text = TakeStringParam(wParam)) WebSearch(*text);
        return 0;
    case UWM_FRAME_TAB_NOT_RESPONDING:
        OnTabNotResponding(wParam == 1, reinterpret_cast<HWND>(lParam));
        return 0;
    case UWM_FRAME_TAB_CRASHED:
        OnTabCrashed(wParam, TakeStringParam(static_cast<std::uintptr_t>(lParam)));
        return 0;
    case WM_DESTROY:
        if (fw::WinApp* app = App()) {
            m_wndStatusBar.SaveState(app->GetProfile(), kStatusBarSection);
            (void)app->GetProfile().WriteWorkspaceInt(kRibbonMinimized, m_wndRibbonBar.IsMinimized() ? 1 : 0);
        }
        break;
    default:
        break;
    }
    return fw::MDIFrameWnd::WindowProc(message, wParam, lParam);
}
