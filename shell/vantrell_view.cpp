#include "vantrell_view.h"

#include "core/messages.h"
#include "core/settings.h"
#include "framework/app.h"
#include "framework/mdi.h"
#include "framework/strings.h"
#include "hosting/ie_thread.h"
#include "main_frame.h"
#include "res/resource_ids.h"
#include "shell_app.h"
#include "tab_links.h"
#include "vantrell_doc.h"


#include <algorithm>
#include <cmath>

namespace {
constexpr UINT kFirstHistoryId = CMainFrame::kFirstHistoryCommand;
constexpr UINT kLastHistoryId = kFirstHistoryId + CVantrellView::kMaxHistory - 1;
constexpr UINT kFirstFavoriteId = 3584;
constexpr UINT kLastFavoriteId = 4095;
constexpr int kZoomStep = 15;
constexpr int kSliderMax = 200;

// Download-control bits the tab's feature commands switch.
constexpr DWORD kDlImages = 0x0010;
constexpr DWORD kDlVideos = 0x0020;
constexpr DWORD kDlBackgroundSounds = 0x0040;
constexpr DWORD kDlNoScripts = 0x0080;
constexpr DWORD kDlNoJava = 0x0100;
constexpr DWORD kDlNoActiveX = 0x0200;
constexpr DWORD kDlNoCache = 0x4000;
constexpr DWORD kDlNoBehaviors = 0x8000;

CMainFrame* MainFrame() {
    fw::WinApp* app = fw::GetApp();
    return app ? dynamic_cast<CMainFrame*>(fw::Window::FromHandle(app->MainWindow())) : nullptr;
}
} // namespace

CVantrellView::CVantrellView() {
    RegisterCommands();
    tab_links::Add(*this);
}

CVantrellView::~CVantrellView() { tab_links::Remove(*this); }

CVantrellDoc* CVantrellView::GetDocument() const { return dynamic_cast<CVantrellDoc*>(fw::View::GetDocument()); }

bool CVantrellView::PostToEngine(UINT message, WPARAM wParam, LPARAM lParam) const {
    return m_nEngineThreadId && PostThreadMessageW(m_nEngineThreadId, message, wParam, lParam);
}

void CVantrellView::EngineCommand(UINT id) const { PostToEngine(UWM_ENGINE_COMMAND, id, 0); }

void CVantrellView::Navigate(const std::wstring& url) const {
    auto param = NewStringParam<WPARAM>(url);
    // The thread takes the string over only when the post succeeds.
    if (!PostToEngine(UWM_TAB_NAVIGATE, param, 0)) TakeStringParam(param);
}

void CVantrellView::FollowedCommand(UINT id) {
    EngineCommand(id);
    if (m_bPostedCommand) return;
    // Each linked tab takes its own history step, or reloads its own page.
    for (CVantrellView* partner : tab_links::Partners(*this)) partner->EngineCommand(id);
}

void CVantrellView::RegisterCommands() {
    auto engine = [this](UINT id) { EngineCommand(id); };
    auto followed = [this](UINT id) { FollowedCommand(id); };
    auto notBusy = [this](fw::CmdUI& ui) { ui.Enable(!m_bBusy); };
    m_commands.Add(ID_BACK, followed, [this](fw::CmdUI& ui) {
        ui.Enable(m_nHistoryPos < static_cast<int>(m_arHistory.size()) - 1);
    });
    m_commands.Add(ID_FORWARD, followed, [this](fw::CmdUI& ui) { ui.Enable(m_nHistoryPos > 0); });
    m_commands.Add(ID_REFRESH, followed, notBusy);
    m_commands.Add(ID_STOP, engine, [this](fw::CmdUI& ui) { ui.Enable(m_bBusy); });
    m_commands.Add(ID_HOME, [this](UINT) {
        Navigate(g_strHomePage);
        for (CVantrellView* partner : tab_links::Partners(*this)) partner->Navigate(g_strHomePage);
    });
    m_commands.Add(ID_MENU_REFRESH, followed, notBusy);
    m_commands.Add(ID_REFRESH_NO_CACHE, followed, notBusy);
    for (UINT id : {ID_PRINT, ID_QUICK_PRINT, ID_PRINT_PREVIEW, ID_VIEW_SOURCE, ID_FOCUS_ADDRESS})
        m_commands.Add(id, engine);
    m_commands.Add(ID_TOGGLE_FENNICK, engine, [this](fw::CmdUI& ui) { ui.SetCheck(m_bPanelShown); });
    for (UINT id : {ID_TEXT_SIZE_LARGER, ID_TEXT_SIZE_LARGE, ID_TEXT_SIZE_MEDIUM, ID_TEXT_SIZE_SMALL,
                    ID_TEXT_SIZE_SMALLER})
        m_commands.Add(id, followed);
    m_commands.Add(ID_LINK_TABS, [this](UINT) { (void)tab_links::Toggle(*this); },
                   [this](fw::CmdUI& ui) { ui.SetCheck(m_nLinkGroup != 0); });

    m_commands.Add(ID_ZOOM_SLIDER, [this](UINT) { ApplyZoomSlider(); });
    m_commands.Add(ID_ZOOM_100, [this](UINT) { MoveZoomSlider(100); });
    m_commands.Add(ID_ZOOM_IN, [this](UINT) { StepZoomSlider(kZoomStep); });
    m_commands.Add(ID_ZOOM_OUT, [this](UINT) { StepZoomSlider(-kZoomStep); });
    m_commands.Add(ID_ZOOM_LABEL, [](UINT) {});

    // Feature switches: "checked" means the feature is off.
    struct Switch {
        UINT id;
        DWORD bit;
        bool checkedWhenSet;
    };
    static constexpr Switch kSwitches[] = {
        {ID_DISABLE_CACHE, kDlNoCache, true},          {ID_DISABLE_IMAGES, kDlImages, false},
        {ID_DISABLE_VIDEOS, kDlVideos, false},         {ID_DISABLE_BACKGROUND_SOUNDS, kDlBackgroundSounds, false},
        {ID_DISABLE_JAVASCRIPT, kDlNoScripts, true},   {ID_DISABLE_JAVA, kDlNoJava, true},
        {ID_DISABLE_ACTIVEX, kDlNoActiveX, true},      {ID_DISABLE_BEHAVIORS, kDlNoBehaviors, true},
    };
    for (const Switch& s : kSwitches) {
        m_commands.Add(s.id, [this, s](UINT) { ToggleDownloadFlag(s.bit); }, [this, s](fw::CmdUI& ui) {
            ui.SetCheck(((m_dwDownloadFlags & s.bit) != 0) == s.checkedWhenSet);
        });
    }

    // A taskbar thumbnail (or a ribbon menu button) activates this tab.
    m_commands.Add(ID_TASKBAR_TAB_ACTIVE, [this](UINT) {
        CMainFrame* frame = MainFrame();
        fw::MDIChildFrame* child = ParentFrame();
        if (frame && child)
            SendMessageW(frame->MDIClient(), WM_MDIACTIVATE, reinterpret_cast<WPARAM>(child->Handle()), 0);
    });
    for (UINT id : {ID_FAVORITES, ID_TEXT_SIZE, ID_DISABLE_ENGINES}) m_commands.Add(id, [](UINT) {});
    // Favorite entries: their addresses come with the favorites menu.
    m_commands.AddRange(kFirstFavoriteId, kLastFavoriteId, [this](UINT id) {
        if (IShellApp* app = GetShellApp()) {
            std::wstring url = app->FavoriteAddress(id);
            if (!url.empty()) Navigate(url);
        }
    });
    // In a menu the page the tab shows carries the radio mark.
    m_commands.AddRange(kFirstHistoryId, kLastHistoryId, [this](UINT id) { SelectHistory(id); },
                        [this](fw::CmdUI& ui) {
                            for (size_t i = 0; i < m_arHistory.size(); ++i)
                                if (m_arHistory[i]->m_nID == ui.id) ui.SetCheck(static_cast<int>(i) == m_nHistoryPos);
                            ui.SetRadio();
                        });
}

void CVantrellView::OnInitialUpdate() {
    fw::View::OnInitialUpdate();
    CVantrellDoc* doc = GetDocument();
    if (!doc) return;
    m_hThreadDoneEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    doc->m_hBrowserEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    IShellApp* app = GetShellApp();
    fw::WinApp* fwApp = fw::GetApp();
    auto thread = CIEThread::New(app && app->IsMultiProcessMode(), false, L"", Handle(), doc->m_nVersion,
                                doc->m_strURL.c_str(), m_hThreadDoneEvent.get(),
                                fwApp ? fwApp->MainWindow() : nullptr);
    if (!thread->CreateThread()) {
        // No engine for this tab: it stays empty and closes without asking.
        delete thread;
        return;
    }
    m_nEngineThreadId = thread->ThreadId();
}

void CVantrellView::OnActivateView(bool activate, fw::View* activated, fw::View* deactivated) {
    fw::View::OnActivateView(activate, activated, deactivated);
    if (!activate) return;
    CMainFrame* frame = MainFrame();
    if (!frame) return;
    frame->ShowScriptErrorCount(m_scriptErrors.Count());
    if (fw::StatusElement* slider = frame->ZoomSlider()) {
        const int pos = SliderPosOfZoom(m_nZoom);
        if (slider->Pos() != pos) slider->SetPos(pos, true);
    }
    fw::StatusElement* label = frame->ZoomLabel();
    if (!label) return;
    label->SetText(fw::Format(L"%d%%", m_nZoom));
    EngineCommand(ID_TASKBAR_TAB_ACTIVE);
}

int CVantrellView::ZoomOfSliderPos(int pos) {
    int zoom;
    if (pos < 100) zoom = static_cast<int>(pos / 100.0 * 90.0 + 10.0);
    else if (pos == 100) zoom = 100;
    else zoom = 9 * pos - 800;
    return zoom >= 1000 ? 999 : zoom;
}

int CVantrellView::SliderPosOfZoom(int zoom) {
    if (zoom < 100) return (zoom - 10) * 100 / 90;
    if (zoom == 100) return 100;
    return (zoom - 100) / 9 + 100;
}

namespace {
fw::StatusElement* ZoomSliderOfFrame() {
    CMainFrame* frame = MainFrame();
    return frame ? frame->ZoomSlider() : nullptr;
}
} // namespace

void CVantrellView::SetZoom(int zoom) {
    m_nZoom = zoom;
    PostToEngine(UWM_TAB_ZOOM, static_cast<WPARAM>(m_nZoom), 0);
}

void CVantrellView::ApplyZoomSlider() {
    fw::StatusElement* slider = ZoomSliderOfFrame();
    if (!slider) return;
    SetZoom(ZoomOfSliderPos(slider->Pos()));
    // Linked tabs take the same zoom; the slider shows it when they are
    // activated.
    for (CVantrellView* partner : tab_links::Partners(*this)) partner->SetZoom(m_nZoom);
    if (fw::StatusElement* label = MainFrame()->ZoomLabel()) label->SetText(fw::Format(L"%d%%", m_nZoom));
}

void CVantrellView::MoveZoomSlider(int pos) {
    fw::StatusElement* slider = ZoomSliderOfFrame();
    if (!slider) return;
    slider->SetPos(pos, true);
    ApplyZoomSlider();
}

void CVantrellView::StepZoomSlider(int delta) {
    fw::StatusElement* slider = ZoomSliderOfFrame();
    const int pos = slider ? slider->Pos() : 0;
    if (pos != 0) MoveZoomSlider(std::clamp(pos + delta, 0, kSliderMax));
}

void CVantrellView::ToggleDownloadFlag(DWORD bit) {
    m_dwDownloadFlags ^= bit;
    PostToEngine(UWM_TAB_DOWNLOAD_FLAGS, m_dwDownloadFlags, 0);
}

std::vector<const CHistoryObj*> CVantrellView::BackList() const {
    std::vector<const CHistoryObj*> out;
    for (size_t i = static_cast<size_t>(m_nHistoryPos) + 1; i < m_arHistory.size(); ++i)
        out.push_back(m_arHistory[i].get());
    return out;
}

std::vector<const CHistoryObj*> CVantrellView::ForwardList() const {
    std::vector<const CHistoryObj*> out;
    for (int i = std::min(m_nHistoryPos, static_cast<int>(m_arHistory.size())) - 1; i >= 0; --i)
        out.push_back(m_arHistory[static_cast<size_t>(i)].get());
    return out;
}

void CVantrellView::AddHistory(const std::wstring& url, const std::wstring& title) {
    for (const auto& entry : m_arHistory)
        if (entry->m_strTitle == title && entry->m_strURL == url) return;
    // A full list loses its most recent entry, whose identifier the new one
    // takes over; the older entries keep theirs.
    if (m_arHistory.size() >= kMaxHistory) m_arHistory.erase(m_arHistory.begin());
    auto entry = std::make_unique<CHistoryObj>();
    entry->m_strTitle = title;
    entry->m_strURL = url;
    entry->m_nID = kFirstHistoryId + static_cast<UINT>(m_arHistory.size());
    m_arHistory.insert(m_arHistory.begin(), std::move(entry));
    m_nHistoryPos = 0;
}

void CVantrellView::SelectHistory(UINT id) {
    auto it = std::find_if(m_arHistory.begin(), m_arHistory.end(), [id](const auto& e) { return e->m_nID == id; });
    if (it == m_arHistory.end()) return;
    const int index = static_cast<int>(it - m_arHistory.begin());
    std::unique_ptr<CHistoryObj> entry = std::move(*it);
    m_arHistory.erase(it);
    const std::wstring url = entry->m_strURL;
    m_arHistory.push_back(std::move(entry));
    m_nHistoryPos = index;
    Navigate(url);
}

void CVantrellView::OnMustClose(int reason) {
    // A lost or closing tab leaves its link; the others stay linked.
    tab_links::Leave(*this);
    CVantrellDoc* doc = GetDocument();
    if (reason == CLOSE_ENGINE_LOST) {
        if (fw::WinApp* app = fw::GetApp(); app && app->MainWindow()) {
            auto url = NewStringParam<LPARAM>(m_strCurrentURL);
            if (!PostMessageW(app->MainWindow(), UWM_FRAME_TAB_CRASHED, doc ? doc->m_nVersion : IEDefault, url))
                TakeStringParam(url);
        }
    }
    if (doc) doc->m_bClosing = true;
    if (fw::MDIChildFrame* frame = ParentFrame()) PostMessageW(frame->Handle(), WM_CLOSE, 0, 0);
}

void CVantrellView::ShowScriptErrorSign() const {
    CMainFrame* frame = MainFrame();
    if (frame && frame->ActiveView() == this) frame->ShowScriptErrorCount(m_scriptErrors.Count());
}

LRESULT CVantrellView::OnTabMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    // Every string parameter is this view's to delete, but the navigation
    // string, which passes on to the engine thread.
    switch (message) {
    case UWM_TAB_TITLE:
        if (auto title = TakeStringParam(wParam); title && GetDocument()) GetDocument()->SetTitle(*title);
        return 0;
    case UWM_TAB_STATUS_TEXT:
        // Handed on to the frame, which takes it over (1) like any receiver.
        if (wParam) {
            fw::WinApp* app = fw::GetApp();
            if (!app || !app->MainWindow() || !SendMessageW(app->MainWindow(), UWM_TAB_STATUS_TEXT, wParam, 0))
                TakeStringParam(wParam);
        }
        return 0;
    case UWM_TAB_HISTORY_ADD: {
        auto url = TakeStringParam(wParam);
        auto title = TakeStringParam(static_cast<std::uintptr_t>(lParam));
        if (url) m_strPageURL = *url;
        if (url && title) AddHistory(*url, *title);
        return 0;
    }
    case UWM_TAB_LINK_NAVIGATE:
        // The user went to an address inside this tab: the linked tabs go too.
        if (auto url = TakeStringParam(wParam); url && !url->empty())
            for (CVantrellView* partner : tab_links::Partners(*this)) partner->Navigate(*url);
        return 0;
    case UWM_TAB_SCROLLED:
        for (CVantrellView* partner : tab_links::Partners(*this))
            partner->PostToEngine(UWM_TAB_SCROLL_TO, static_cast<std::uint32_t>(wParam),
                                  static_cast<std::uint32_t>(lParam));
        return 0;
    case UWM_TAB_LOAD_FAILED:
        // A page that failed leaves the link without disturbing the others.
        tab_links::Leave(*this);
        return 0;
    case UWM_TAB_PROGRESS:
        m_bBusy = !(wParam == static_cast<WPARAM>(lParam) || static_cast<int>(wParam) == -1);
        if (fw::WinApp* app = fw::GetApp(); app && app->MainWindow())
            SendMessageW(app->MainWindow(), UWM_TAB_PROGRESS, wParam, lParam);
        return 0;
    case UWM_TAB_NAVIGATE:
        if (wParam && !PostToEngine(UWM_TAB_NAVIGATE, wParam, 0)) TakeStringParam(wParam);
        return 0;
    case UWM_TAB_NEW_WINDOW:
        if (auto url = TakeStringParam(wParam)) {
            if (IShellApp* app = GetShellApp())
                app->OpenTabForVersion(IsValidVersion(static_cast<int>(lParam)) ? static_cast<IEVERSION>(lParam)
                                                                               : IEDefault,
                                       url->c_str());
        }
        return 0;
    case UWM_TAB_PANEL_STATE:
        m_bPanelShown = wParam == 1;
        return 0;
    case UWM_TAB_BROWSER_READY: {
        auto stream = reinterpret_cast<IStream*>(wParam);
        IShellApp* app = GetShellApp();
        CVantrellDoc* doc = GetDocument();
        // In multi-process mode the number is another process's pointer.
        if ((app && app->IsMultiProcessMode()) || !doc) return 0;
        if (!doc->m_pBrowserStream) doc->m_pBrowserStream = stream;
        else if (stream) CoReleaseMarshalData(stream), stream->Release();
        if (doc->m_hBrowserEvent) SetEvent(doc->m_hBrowserEvent.get());
        return 0;
    }
    case UWM_TAB_MUST_CLOSE:
        OnMustClose(static_cast<int>(wParam));
        return 0;
    case UWM_TAB_CLOSE_REFUSED:
        // The page kept its tab: a pending close of the whole window ends.
        if (CMainFrame* frame = MainFrame()) frame->CancelClose();
        return 0;
    case UWM_TAB_ADDRESS:
        if (auto url = TakeStringParam(wParam)) m_strCurrentURL = *url;
        return 0;
    case UWM_TAB_SCRIPT_ERROR_AT:
        m_scriptErrorReader.TakePosition(wParam, lParam);
        return 0;
    case UWM_TAB_SCRIPT_ERROR:
        m_scriptErrors.Add(m_scriptErrorReader.TakeError(wParam, lParam));
        ShowScriptErrorSign();
        return 0;
    case UWM_TAB_PAGE_STARTED:
        m_scriptErrors.Clear();
        ShowScriptErrorSign();
        return 0;
    case UWM_TAB_TASKBAR_PREVIEW:
    case UWM_TAB_SETTINGS_CHANGED:
    case UWM_TAB_BUSY_ANSWER:
        // From the frame or the options: on to the engine thread.
        PostToEngine(message, wParam, lParam);
        if (message == UWM_TAB_BUSY_ANSWER) m_bNotResponding = false;
        return 0;
    case UWM_TAB_NOT_RESPONDING:
        m_bNotResponding = wParam == 1;
        if (fw::WinApp* app = fw::GetApp(); app && app->MainWindow())
            PostMessageW(app->MainWindow(), UWM_FRAME_TAB_NOT_RESPONDING, wParam, reinterpret_cast<LPARAM>(Handle()));
        return 0;
    default:
        // A message this view does not take still frees what it carries.
        ReleaseTabMessageParams(message, TabDirection::Up, wParam, lParam);
        return Default(message, wParam, lParam);
    }
}

LRESULT CVantrellView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE: {
        LRESULT result = fw::View::WindowProc(message, wParam, lParam);
        PostToEngine(WM_SIZE, LOWORD(lParam), HIWORD(lParam));
        return result;
    }
    case WM_DESTROY:
        // The notice of a page that did not respond goes with its tab.
        if (m_bNotResponding) {
            if (fw::WinApp* app = fw::GetApp(); app && app->MainWindow())
                PostMessageW(app->MainWindow(), UWM_FRAME_TAB_NOT_RESPONDING, 0, reinterpret_cast<LPARAM>(Handle()));
        }
        tab_links::Leave(*this);
        // The sign of the last tab goes with it; another tab that becomes
        // the active one shows its own.
        if (CMainFrame* frame = MainFrame(); frame && frame->ActiveView() == this) frame->ShowScriptErrorCount(0);
        PostToEngine(UWM_ENGINE_CLOSE, 0, 0);
        m_nEngineThreadId = 0;
        return fw::View::WindowProc(message, wParam, lParam);
    case WM_PAINT: {
        // The tab's content covers the view; painting only validates it.
        fw::PaintScope paint(Handle());
        return 0;
    }
    case WM_ERASEBKGND:
        return TRUE;
    case WM_COMMAND:
        // Commands posted straight to the view (refresh all, the tab's own
        // activation from its thumbnail) run only while enabled.
        if (lParam == 0 || HIWORD(wParam) <= 1) {
            fw::CmdUI ui(LOWORD(wParam));
            m_bPostedCommand = true;
            if (OnUpdateCommand(ui) && ui.enabled) OnCommand(LOWORD(wParam));
            m_bPostedCommand = false;
            return 0;
        }
        break;
    default:
        if (message >= UWM_TAB_GO_ADDRESS && message <= UWM_TAB_LAST) return OnTabMessage(message, wParam, lParam);
        break;
    }
    return fw::View::WindowProc(message, wParam, lParam);
}
