#include "mdi.h"

#include "app.h"
#include "errors.h"

#include <windowsx.h>

#include <algorithm>

namespace fw {

extern thread_local const Window* t_lastTabWindow;  // document.cpp

namespace {

constexpr const wchar_t* kClientClass = L"fw.MDIClient";
constexpr int kGroupGap = 4;       // pixels between two groups (the splitter)
constexpr int kMinGroupExtent = 60;  // a dragged splitter keeps groups at least this large
constexpr int kTabColorCount = 8;
int g_nextTabColor = 0;

// Every document the frame knows: those of the application's templates,
// then any of a tab's document that no template lists.
std::vector<Document*> AllDocuments(const MDIFrameWnd& frame) {
    std::vector<Document*> documents;
    if (WinApp* app = GetApp())
        for (const auto& docTemplate : app->DocTemplates())
            for (Document* document : docTemplate->Documents()) documents.push_back(document);
    for (MDIChildFrame* child : frame.ChildFrames())
        if (Document* document = child->ActiveDocument();
            document && std::find(documents.begin(), documents.end(), document) == documents.end())
            documents.push_back(document);
    return documents;
}

bool IsListed(const MDIFrameWnd& frame, Document* document) {
    auto all = AllDocuments(frame);
    return std::find(all.begin(), all.end(), document) != all.end();
}

std::vector<MDIChildFrame*> FramesOf(Document* document) {
    std::vector<MDIChildFrame*> frames;
    for (View* view : document->Views())
        if (MDIChildFrame* f = view->ParentFrame(); f && std::find(frames.begin(), frames.end(), f) == frames.end())
            frames.push_back(f);
    return frames;
}

} // namespace

UINT MoveToTabGroupMessage() {
    static const UINT message = RegisterWindowMessageW(L"AFX_WM_ON_MOVETOTABGROUP");
    return message;
}

// ---- MDIChildFrame ---------------------------------------------------------

Document* MDIChildFrame::ActiveDocument() const { return m_pView ? m_pView->GetDocument() : nullptr; }

TabGroup* MDIChildFrame::Group() const {
    return Handle() ? dynamic_cast<TabGroup*>(FromHandle(GetParent(Handle()))) : nullptr;
}

MDIFrameWnd* MDIChildFrame::MainFrame() const {
    TabGroup* group = Group();
    return group ? group->m_pOwner : nullptr;
}

void MDIChildFrame::SetCaption(const std::wstring& caption) {
    SetText(caption);
    if (TabGroup* group = Group()) group->RecalcLayout();
}

void MDIChildFrame::ActivateOnClick() {
    MDIFrameWnd* main = MainFrame();
    if (main && main->ActiveFrame() != this) main->ActivateFrame(this);
}

void MDIChildFrame::OnClose() {
    Document* document = ActiveDocument();
    if (!document) {
        Destroy();
        return;
    }
    if (!document->CanCloseFrame(this)) return;
    auto frames = FramesOf(document);
    bool last = std::all_of(frames.begin(), frames.end(), [this](MDIChildFrame* f) { return f == this; });
    // Either call may delete this object.
    if (last)
        document->OnCloseDocument();
    else
        Destroy();
}

LRESULT MDIChildFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCREATE:
        t_lastTabWindow = this;
        break;
    case WM_CREATE:
        if (TabGroup* group = Group()) {
            RECT area = group->ContentRect();
            SetWindowPos(Handle(), nullptr, area.left, area.top, area.right - area.left, area.bottom - area.top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        }
        return 0;
    case WM_SIZE:
        if (m_pView && m_pView->Handle())
            SetWindowPos(m_pView->Handle(), nullptr, 0, 0, LOWORD(lParam), HIWORD(lParam),
                         SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    case WM_SETFOCUS:
        if (m_pView && m_pView->Handle()) SetFocus(m_pView->Handle());
        return 0;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            SendMessageW(Handle(), WM_CLOSE, 0, 0);
            return 0;
        }
        break;
    case WM_COMMAND:
        // The tab-group menu's choices: Close for this frame, the rest for
        // the main frame, which acts on the active tab (this one).
        if (LOWORD(wParam) == (SC_CLOSE & 0xFFFF)) {
            SendMessageW(Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
            return 0;
        }
        if (HIWORD(wParam) <= 1) {
            if (MDIFrameWnd* main = MainFrame()) {
                if (main->ActiveFrame() != this) main->ActivateFrame(this);
                SendMessageW(main->Handle(), WM_COMMAND, wParam, lParam);
                return 0;
            }
        }
        break;
    case WM_PARENTNOTIFY:
        switch (LOWORD(wParam)) {
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            ActivateOnClick();
            break;
        default:
            break;
        }
        break;
    case WM_MOUSEACTIVATE:
        ActivateOnClick();
        break;
    case WM_DESTROY:
    case WM_NCDESTROY:  // the second call finds nothing left to do
        if (MDIFrameWnd* main = MainFrame()) main->RemoveFrame(this);
        break;
    default:
        break;
    }
    return Default(message, wParam, lParam);
}

// ---- MDIFrameWnd: construction and layout ----------------------------------

MDIFrameWnd::MDIFrameWnd() {
    auto hasOtherTab = [this](CmdUI& ui) { ui.Enable(ChildFrames().size() > 1); };
    m_commands.Add(FW_ID_NEXT_PANE, [this](UINT) { ActivateNext(false); }, hasOtherTab);
    m_commands.Add(FW_ID_PREV_PANE, [this](UINT) { ActivateNext(true); }, hasOtherTab);
    m_commands.Add(
        FW_ID_CLOSE_DOCUMENT,
        [this](UINT) {
            if (MDIChildFrame* frame = ActiveFrame()) SendMessageW(frame->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
        },
        [this](CmdUI& ui) { ui.Enable(ActiveFrame() != nullptr); });
    // Posted: the close may destroy this window, and with it this object.
    m_commands.Add(FW_ID_APP_EXIT, [this](UINT) { PostMessageW(Handle(), WM_CLOSE, 0, 0); });
    m_commands.Add(
        FW_ID_NEW_HORZ_TAB_GROUP, [this](UINT) { (void)NewTabGroup(false); },
        [this](CmdUI& ui) { ui.Enable(CanNewTabGroup(false)); });
    m_commands.Add(
        FW_ID_NEW_VERT_TAB_GROUP, [this](UINT) { (void)NewTabGroup(true); },
        [this](CmdUI& ui) { ui.Enable(CanNewTabGroup(true)); });
    m_commands.Add(
        FW_ID_MOVE_TO_NEXT_GROUP, [this](UINT) { (void)MoveToNextGroup(false); },
        [this](CmdUI& ui) { ui.Enable(CanMoveToGroup(false)); });
    m_commands.Add(
        FW_ID_MOVE_TO_PREV_GROUP, [this](UINT) { (void)MoveToNextGroup(true); },
        [this](CmdUI& ui) { ui.Enable(CanMoveToGroup(true)); });
}

MDIFrameWnd::~MDIFrameWnd() {
    // Window's destructor would destroy the window too, but only after this
    // part of the object is gone, while the tabs still call back into it.
    if (Handle()) DestroyWindow(Handle());
}

int MDIFrameWnd::OnCreate(CREATESTRUCTW* create) {
    if (FrameWnd::OnCreate(create) == -1) return -1;
    m_bDestroying = false;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    if (!GetClassInfoExW(instance, kClientClass, &wc)) {
        wc = WNDCLASSEXW{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &MDIFrameWnd::ClientProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
        wc.lpszClassName = kClientClass;
        if (!RegisterClassExW(&wc)) return -1;
    }
    RECT area{};
    GetClientRect(Handle(), &area);
    m_hWndClient = CreateWindowExW(0, kClientClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                   0, 0, area.right, area.bottom, Handle(),
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(FW_MDI_CLIENT_ID)), instance, this);
    return m_hWndClient ? 0 : -1;
}

void MDIFrameWnd::RecalcLayout() {
    RECT area{};
    GetClientRect(Handle(), &area);
    SetClientArea(area);
}

void MDIFrameWnd::SetClientArea(const RECT& area) {
    m_clientArea = area;
    if (m_hWndClient)
        SetWindowPos(m_hWndClient, nullptr, area.left, area.top, area.right - area.left, area.bottom - area.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
}

void MDIFrameWnd::LayoutGroups() {
    if (!m_hWndClient || m_groups.empty()) return;
    RECT area{};
    GetClientRect(m_hWndClient, &area);
    const int n = static_cast<int>(m_groups.size());
    const int extent = m_bVertical ? area.right : area.bottom;
    const int across = m_bVertical ? area.bottom : area.right;
    const int room = std::max(0, extent - kGroupGap * (n - 1));
    double total = 0;
    for (TabGroup* group : m_groups) total += group->m_weight;
    int position = 0;
    for (int i = 0; i < n; ++i) {
        TabGroup* group = m_groups[i];
        int length = i == n - 1 ? std::max(0, extent - position)
                                : static_cast<int>(room * group->m_weight / (total > 0 ? total : 1) + 0.5);
        if (m_bVertical)
            SetWindowPos(group->Handle(), nullptr, position, 0, length, across, SWP_NOZORDER | SWP_NOACTIVATE);
        else
            SetWindowPos(group->Handle(), nullptr, 0, position, across, length, SWP_NOZORDER | SWP_NOACTIVATE);
        // Only the last group may be empty; it hides until it has a tab.
        ShowWindow(group->Handle(), group->Count() > 0 ? SW_SHOWNA : SW_HIDE);
        position += length + kGroupGap;
    }
}

int MDIFrameWnd::GapAt(POINT pt) const {
    for (size_t i = 0; i + 1 < m_groups.size(); ++i) {
        RECT a{}, b{};
        GetWindowRect(m_groups[i]->Handle(), &a);
        GetWindowRect(m_groups[i + 1]->Handle(), &b);
        MapWindowPoints(nullptr, m_hWndClient, reinterpret_cast<POINT*>(&a), 2);
        MapWindowPoints(nullptr, m_hWndClient, reinterpret_cast<POINT*>(&b), 2);
        if (m_bVertical ? (pt.x >= a.right && pt.x < b.left) : (pt.y >= a.bottom && pt.y < b.top))
            return static_cast<int>(i);
    }
    return -1;
}

void MDIFrameWnd::DragGap(int gap, POINT pt) {
    if (gap < 0 || gap + 1 >= static_cast<int>(m_groups.size())) return;
    TabGroup* first = m_groups[gap];
    TabGroup* second = m_groups[gap + 1];
    RECT a{}, b{};
    GetWindowRect(first->Handle(), &a);
    GetWindowRect(second->Handle(), &b);
    MapWindowPoints(nullptr, m_hWndClient, reinterpret_cast<POINT*>(&a), 2);
    MapWindowPoints(nullptr, m_hWndClient, reinterpret_cast<POINT*>(&b), 2);
    int start = m_bVertical ? a.left : a.top;
    int end = m_bVertical ? b.right : b.bottom;
    int room = end - start - kGroupGap;
    if (room < 2 * kMinGroupExtent) return;
    int firstLength = std::clamp(static_cast<int>((m_bVertical ? pt.x : pt.y) - start - kGroupGap / 2),
                                 kMinGroupExtent, room - kMinGroupExtent);
    double sum = first->m_weight + second->m_weight;
    first->m_weight = sum * firstLength / room;
    second->m_weight = sum - first->m_weight;
    LayoutGroups();
}

LRESULT CALLBACK MDIFrameWnd::ClientProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return fw::Guarded("tab area", LRESULT{0}, [&]() -> LRESULT {
        if (message == WM_NCCREATE) {
            auto create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            return DefWindowProcW(hwnd, message, wParam, lParam);
        }
        auto self = reinterpret_cast<MDIFrameWnd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
        POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        switch (message) {
        case WM_SIZE:
            self->LayoutGroups();
            return 0;
        case WM_MDIACTIVATE: {
            auto frame = dynamic_cast<MDIChildFrame*>(Window::FromHandle(reinterpret_cast<HWND>(wParam)));
            if (frame && frame->MainFrame() == self) self->ActivateFrame(frame);
            return 0;
        }
        case WM_MDIGETACTIVE: {
            if (lParam) *reinterpret_cast<BOOL*>(lParam) = FALSE;  // tabs are never maximized windows
            MDIChildFrame* frame = self->ActiveFrame();
            return frame ? reinterpret_cast<LRESULT>(frame->Handle()) : 0;
        }
        case WM_MDINEXT:
            self->ActivateNext(lParam != 0);
            return 0;
        case WM_SETCURSOR:
            if (reinterpret_cast<HWND>(wParam) == hwnd && LOWORD(lParam) == HTCLIENT) {
                POINT cursor{};
                GetCursorPos(&cursor);
                ScreenToClient(hwnd, &cursor);
                if (self->GapAt(cursor) >= 0) {
                    SetCursor(LoadCursorW(nullptr, self->m_bVertical ? IDC_SIZEWE : IDC_SIZENS));
                    return TRUE;
                }
            }
            break;
        case WM_LBUTTONDOWN:
            self->m_draggedGap = self->GapAt(pt);
            if (self->m_draggedGap >= 0) SetCapture(hwnd);
            return 0;
        case WM_MOUSEMOVE:
            if (self->m_draggedGap >= 0 && GetCapture() == hwnd) self->DragGap(self->m_draggedGap, pt);
            return 0;
        case WM_LBUTTONUP:
            if (self->m_draggedGap >= 0) {
                self->m_draggedGap = -1;
                ReleaseCapture();
            }
            return 0;
        case WM_CAPTURECHANGED:
            self->m_draggedGap = -1;
            return 0;
        case WM_NCDESTROY:
            if (self->m_hWndClient == hwnd) self->m_hWndClient = nullptr;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            break;
        default:
            break;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    });
}

// ---- MDIFrameWnd: tabs and groups ------------------------------------------

MDIChildFrame* MDIFrameWnd::ActiveFrame() const { return m_pActiveGroup ? m_pActiveGroup->ActiveTab() : nullptr; }

View* MDIFrameWnd::ActiveView() const {
    MDIChildFrame* frame = ActiveFrame();
    return frame ? frame->ActiveView() : nullptr;
}

Document* MDIFrameWnd::ActiveDocument() const {
    View* view = ActiveView();
    return view ? view->GetDocument() : nullptr;
}

std::vector<MDIChildFrame*> MDIFrameWnd::ChildFrames() const {
    std::vector<MDIChildFrame*> frames;
    for (TabGroup* group : m_groups) frames.insert(frames.end(), group->m_tabs.begin(), group->m_tabs.end());
    return frames;
}

int MDIFrameWnd::GroupIndex(const TabGroup* group) const {
    auto it = std::find(m_groups.begin(), m_groups.end(), group);
    return it == m_groups.end() ? -1 : static_cast<int>(it - m_groups.begin());
}

TabGroup* MDIFrameWnd::GroupForNewTab() {
    if (m_pActiveGroup) return m_pActiveGroup;
    if (!m_groups.empty()) return m_groups.front();
    return CreateGroup(0);
}

TabGroup* MDIFrameWnd::CreateGroup(int position) {
    if (!m_hWndClient) return nullptr;
    auto group = new TabGroup(this);
    // TabGroup never fails its own creation messages, so a failed Create
    // means its window never existed and the object is still ours.
    if (!group->Create(0, L"fw.TabGroup", L"", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 0, 0,
                       m_hWndClient, nullptr)) {
        delete group;
        return nullptr;
    }
    position = std::clamp(position, 0, static_cast<int>(m_groups.size()));
    m_groups.insert(m_groups.begin() + position, group);
    for (TabGroup* g : m_groups) g->m_weight = 1.0;  // equal shares again
    LayoutGroups();
    return group;
}

void MDIFrameWnd::DestroyGroupIfEmpty(TabGroup* group) {
    int index = GroupIndex(group);
    if (index < 0 || group->Count() > 0) return;
    if (m_groups.size() > 1) {
        m_groups.erase(m_groups.begin() + index);
        if (m_pActiveGroup == group) m_pActiveGroup = m_groups[index > 0 ? index - 1 : 0];
        for (TabGroup* g : m_groups) g->m_weight = 1.0;
        ShowWindow(group->Handle(), SW_HIDE);
        // Not destroyed here: this may run inside a message of the group or
        // of the frame that just left it.
        PostMessageW(group->Handle(), TabGroup::kDestroyIfUnused, 0, 0);
    }
    LayoutGroups();
}

void MDIFrameWnd::OnGroupDestroyed(TabGroup* group) {
    int index = GroupIndex(group);
    if (index >= 0) m_groups.erase(m_groups.begin() + index);
    if (m_pActiveGroup == group) m_pActiveGroup = m_groups.empty() ? nullptr : m_groups.front();
}

void MDIFrameWnd::AddFrame(MDIChildFrame* frame, bool activate) {
    TabGroup* group = frame->Group();
    if (!group || GroupIndex(group) < 0 || group->IndexOf(frame) >= 0) return;
    frame->m_nColor = g_nextTabColor++ % kTabColorCount;
    group->m_tabs.push_back(frame);
    if (group->m_active < 0) group->m_active = group->Count() - 1;
    LayoutGroups();
    group->RecalcLayout();
    if (activate) ActivateFrame(frame);
}

void MDIFrameWnd::RemoveFrame(MDIChildFrame* frame) {
    View* closingView = frame->m_pView;
    TabGroup* group = nullptr;
    int at = -1;
    for (TabGroup* g : m_groups)
        if ((at = g->IndexOf(frame)) >= 0) {
            group = g;
            break;
        }
    if (!group) {
        if (closingView && m_pActiveView == closingView) m_pActiveView = nullptr;
        return;
    }
    const bool wasActiveFrame = ActiveFrame() == frame;
    group->m_tabs.erase(group->m_tabs.begin() + at);
    if (group->m_active > at)
        --group->m_active;
    else if (group->m_active == at)
        // The right neighbour (now at the same place), else the left one.
        group->m_active = group->m_tabs.empty() ? -1 : std::min(at, group->Count() - 1);
    if (m_bDestroying) {
        // The whole tree goes: only drop the pointers.
        if (closingView && m_pActiveView == closingView) m_pActiveView = nullptr;
        return;
    }
    if (group->Count() == 0)
        DestroyGroupIfEmpty(group);
    else
        group->RecalcLayout();
    if (wasActiveFrame)
        if (MDIChildFrame* next = ActiveFrame()) ActivateFrame(next);
    if (closingView && m_pActiveView == closingView) {
        // No other tab took over.
        m_pActiveView = nullptr;
        closingView->OnActivateView(false, nullptr, closingView);
    }
    if (m_bClosePending && !m_bAskingToClose && ChildFrames().empty()) PostMessageW(Handle(), WM_CLOSE, 0, 0);
}

void MDIFrameWnd::ActivateFrame(MDIChildFrame* frame) {
    if (!frame) return;
    TabGroup* group = frame->Group();
    int index = group ? group->IndexOf(frame) : -1;
    if (index < 0 || GroupIndex(group) < 0) return;
    TabGroup* previousGroup = m_pActiveGroup;
    View* oldView = m_pActiveView;
    group->m_active = index;
    m_pActiveGroup = group;
    group->RecalcLayout();
    if (previousGroup && previousGroup != group && GroupIndex(previousGroup) >= 0)
        InvalidateRect(previousGroup->Handle(), nullptr, FALSE);  // its active tab turns pale
    View* newView = frame->m_pView;
    if (newView != oldView) {
        m_pActiveView = newView;
        if (oldView) oldView->OnActivateView(false, newView, oldView);
        if (newView) newView->OnActivateView(true, newView, oldView);
    }
    if (newView && newView->Handle() && IsWindowVisible(newView->Handle())) {
        HWND focus = GetFocus();
        // Moving the focus sends the old focus window its loss: a window of
        // another thread that does not answer (a child process's page busy
        // in a long script) would hold this thread until it does. The focus
        // then stays where it is; the tab is shown all the same.
        if ((!focus || (focus != newView->Handle() && !IsChild(newView->Handle(), focus))) &&
            !(focus && IsHungAppWindow(focus)))
            SetFocus(newView->Handle());
    }
}

void MDIFrameWnd::ActivateNext(bool previous) {
    auto frames = ChildFrames();
    if (frames.empty()) return;
    const int n = static_cast<int>(frames.size());
    auto it = std::find(frames.begin(), frames.end(), ActiveFrame());
    int next = 0;
    if (it != frames.end()) next = (static_cast<int>(it - frames.begin()) + (previous ? n - 1 : 1)) % n;
    ActivateFrame(frames[next]);
}

bool MDIFrameWnd::CanNewTabGroup(bool vertical) const {
    MDIChildFrame* frame = ActiveFrame();
    TabGroup* group = frame ? frame->Group() : nullptr;
    if (!group || group->Count() < 2) return false;
    return m_groups.size() < 2 || m_bVertical == vertical;
}

bool MDIFrameWnd::CanMoveToGroup(bool previous) const {
    MDIChildFrame* frame = ActiveFrame();
    int index = frame ? GroupIndex(frame->Group()) : -1;
    if (index < 0) return false;
    int target = previous ? index - 1 : index + 1;
    return target >= 0 && target < static_cast<int>(m_groups.size());
}

bool MDIFrameWnd::NewTabGroup(bool vertical) {
    if (!CanNewTabGroup(vertical)) return false;
    MDIChildFrame* frame = ActiveFrame();
    int index = GroupIndex(frame->Group());
    m_bVertical = vertical;
    TabGroup* group = CreateGroup(index + 1);
    return group && MoveTab(frame, group, 0);
}

bool MDIFrameWnd::MoveToNextGroup(bool previous) {
    if (!CanMoveToGroup(previous)) return false;
    MDIChildFrame* frame = ActiveFrame();
    TabGroup* target = m_groups[GroupIndex(frame->Group()) + (previous ? -1 : 1)];
    return MoveTab(frame, target, target->Count());
}

bool MDIFrameWnd::MoveTab(MDIChildFrame* frame, TabGroup* group, int index) {
    if (!frame || !group || GroupIndex(group) < 0) return false;
    TabGroup* from = frame->Group();
    int at = from && GroupIndex(from) >= 0 ? from->IndexOf(frame) : -1;
    if (at < 0) return false;
    if (from == group) {
        MDIChildFrame* active = from->ActiveTab();
        from->m_tabs.erase(from->m_tabs.begin() + at);
        index = std::clamp(index, 0, from->Count());
        from->m_tabs.insert(from->m_tabs.begin() + index, frame);
        from->m_active = from->IndexOf(active);
        from->RecalcLayout();
        ActivateFrame(frame);
        return true;
    }
    from->m_tabs.erase(from->m_tabs.begin() + at);
    if (from->m_active > at)
        --from->m_active;
    else if (from->m_active == at)
        from->m_active = from->m_tabs.empty() ? -1 : std::min(at, from->Count() - 1);
    ShowWindow(frame->Handle(), SW_HIDE);
    SetParent(frame->Handle(), group->Handle());
    index = std::clamp(index, 0, group->Count());
    group->m_tabs.insert(group->m_tabs.begin() + index, frame);
    if (group->m_active >= index) ++group->m_active;
    ActivateFrame(frame);
    if (from->Count() == 0)
        DestroyGroupIfEmpty(from);
    else
        from->RecalcLayout();
    LayoutGroups();
    SendMessageW(Handle(), MoveToTabGroupMessage(), 0, 0);
    return true;
}

// ---- MDIFrameWnd: commands -------------------------------------------------

bool MDIFrameWnd::FindUpdate(CmdUI& ui) {
    View* view = ActiveView();
    Document* document = view ? view->GetDocument() : nullptr;
    MDIChildFrame* frame = ActiveFrame();
    if (view && view->OnUpdateCommand(ui)) return true;
    if (document && document->OnUpdateCommand(ui)) return true;
    if (frame && frame->OnUpdateCommand(ui)) return true;
    if (OnUpdateCommand(ui)) return true;
    WinApp* app = GetApp();
    return app && app->OnUpdateCommand(ui);
}

CmdUI MDIFrameWnd::RouteUpdate(UINT id) {
    CmdUI ui(id);
    if (!FindUpdate(ui)) ui.enabled = false;
    return ui;
}

bool MDIFrameWnd::RouteCommand(UINT id) { return Route(id, 0, nullptr); }

bool MDIFrameWnd::Route(UINT id, UINT code, HWND control) {
    CmdUI ui(id);
    if (FindUpdate(ui) && !ui.enabled) return false;
    // Each step returns at once: the command may have closed the tab or the
    // window it came through.
    View* view = ActiveView();
    Document* document = view ? view->GetDocument() : nullptr;
    MDIChildFrame* frame = ActiveFrame();
    if (view && view->OnCommand(id)) return true;
    if (document && document->OnCommand(id)) return true;
    if (frame && frame->OnCommand(id)) return true;
    if (OnCommand(id)) return true;
    if (OnCommand(id, code, control)) return true;
    WinApp* app = GetApp();
    return app && app->OnCommand(id);
}

void MDIFrameWnd::OnInitMenuPopup(HMENU menu) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOW item{};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item)) continue;
        if (item.hSubMenu || (item.fType & MFT_SEPARATOR) || item.wID == 0) continue;
        CmdUI ui = RouteUpdate(item.wID);
        EnableMenuItem(menu, static_cast<UINT>(i), MF_BYPOSITION | (ui.enabled ? MF_ENABLED : MF_GRAYED));
        if (ui.radio) {
            item.fMask = MIIM_FTYPE;
            item.fType |= MFT_RADIOCHECK;
            SetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item);
        }
        CheckMenuItem(menu, static_cast<UINT>(i), MF_BYPOSITION | (ui.checked || ui.radio ? MF_CHECKED : MF_UNCHECKED));
    }
}

bool MDIFrameWnd::PreTranslateMessage(MSG& msg) {
    if (FrameWnd::PreTranslateMessage(msg)) return true;
    if (msg.message != WM_KEYDOWN || GetKeyState(VK_CONTROL) >= 0 || GetKeyState(VK_MENU) < 0) return false;
    if (msg.wParam == VK_F4) {
        MDIChildFrame* frame = ActiveFrame();
        if (!frame) return false;
        SendMessageW(frame->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    }
    if (msg.wParam == VK_TAB) {
        RouteCommand(GetKeyState(VK_SHIFT) < 0 ? FW_ID_PREV_PANE : FW_ID_NEXT_PANE);
        return true;
    }
    return false;
}

// ---- MDIFrameWnd: closing and messages -------------------------------------

void MDIFrameWnd::OnClose() {
    std::vector<Document*> documents = AllDocuments(*this);
    if (documents.empty()) {
        Destroy();
        return;
    }
    m_bClosePending = true;
    m_bAskingToClose = true;
    for (Document* document : documents) {
        // A document's closing may have taken others with it.
        if (!IsListed(*this, document)) continue;
        auto frames = FramesOf(document);
        bool agrees = true;
        if (frames.empty())
            agrees = document->SaveModified();
        else
            for (MDIChildFrame* frame : frames)
                if (!document->CanCloseFrame(frame)) {
                    agrees = false;
                    break;
                }
        if (agrees) document->OnCloseDocument();
    }
    m_bAskingToClose = false;
    if (AllDocuments(*this).empty()) Destroy();
}

LRESULT MDIFrameWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        // Menus (0) and accelerators (1) go through the routing chain, which
        // includes FrameWnd's OnCommand; control notifications go to that
        // OnCommand alone (through FrameWnd::WindowProc).
        if (HIWORD(wParam) <= 1) {
            Route(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return 0;
        }
        break;
    case WM_INITMENUPOPUP:
        if (!HIWORD(lParam)) {
            OnInitMenuPopup(reinterpret_cast<HMENU>(wParam));
            return 0;
        }
        break;
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED) RecalcLayout();
        break;
    case WM_SETFOCUS:
        // Back to the main window: the keyboard goes to the active tab.
        if (View* view = ActiveView(); view && view->Handle() && IsWindowVisible(view->Handle())) {
            SetFocus(view->Handle());
            return 0;
        }
        break;
    case WM_DESTROY:
        m_bDestroying = true;
        break;
    case WM_NCDESTROY:
        // The groups and frames have gone before this window.
        m_groups.clear();
        m_pActiveGroup = nullptr;
        m_pActiveView = nullptr;
        m_hWndClient = nullptr;
        m_bClosePending = false;
        break;
    default:
        break;
    }
    return FrameWnd::WindowProc(message, wParam, lParam);
}

} // namespace fw
