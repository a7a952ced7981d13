#pragma once
// The tabbed multiple-document window: a main frame (MDIFrameWnd) whose
// MDI client area holds one or more tab groups. Every open document has a
// child frame (MDIChildFrame) that is one tab of one group; each group
// shows a row of tabs (icon, caption, a close button on the active tab,
// a menu of the group's tabs at the right end) above the area where its
// active tab's frame is shown. Groups sit side by side (vertical groups)
// or one above the other (horizontal groups), never both at once.
//
// Window tree, which tests and tools may rely on:
//   main frame ("fw.FrameWnd")
//     MDI client ("fw.MDIClient"), control id FW_MDI_CLIENT_ID
//       tab group ("fw.TabGroup"), one per group, in group order
//         child frame ("fw.MDIChild"), one per tab; window text = caption
//           view ("fw.View")
// Only the active tab of each group is visible. The MDI client answers
// WM_MDIACTIVATE (wParam: a child frame to activate), WM_MDIGETACTIVE and
// WM_MDINEXT (wParam ignored, lParam nonzero for the previous tab).
//
// Keyboard: Ctrl+F4 closes the active tab, Ctrl+Tab/Ctrl+Shift+Tab through
// FW_ID_NEXT_PANE/FW_ID_PREV_PANE. Mouse: a click on a tab activates it, a
// click on its close button closes it (WM_SYSCOMMAND SC_CLOSE to the
// frame), a tab dragged onto another group moves there, dragged along its
// row changes its place; a right click (or a drag that ends outside every
// row) opens the tab-group menu with the FW_ID_*_TAB_GROUP commands.
//
// Whenever a tab moves to another group the frame sends itself the
// registered message MoveToTabGroupMessage() (wParam 0, lParam 0).
//
// A group left without tabs is taken out of TabGroups() at once; its window
// goes when the thread next runs its posted messages. The last group stays
// (hidden while it has no tab).
//
// Commands (WM_COMMAND from menus and accelerators, and RouteCommand for
// other callers such as a ribbon) go to: the active view, its document, the
// active child frame, the main frame, the application. A command whose
// update state is disabled is not run. WM_INITMENUPOPUP of the frame's
// menus sets every item's enabled and checked state the same way.
//
// MDIFrameWnd has two OnCommand families: FrameWnd's virtual
// OnCommand(id, code, control), which a derived main frame may override as
// before, and CommandTarget's OnCommand(id), the routing hook. In the chain
// the main frame is asked through OnCommand(id) first (its CommandTable),
// then through OnCommand(id, code, control); a command runs once, by the
// first of them that handles it. A command known only to the three-argument
// override has no update state, so menus show it disabled: give such
// commands an entry in m_commands (an updater, or a handler) instead.
//
// All of it runs on the user-interface thread that created the frame.
#include "command.h"
#include "command_ids.h"
#include "document.h"
#include "window.h"

#include <string>
#include <vector>

#define FW_MDI_CLIENT_ID 0xE900

namespace fw {

class MDIFrameWnd;
class TabGroup;

// The registered message "AFX_WM_ON_MOVETOTABGROUP".
UINT MoveToTabGroupMessage();

class MDIChildFrame : public Window, public CommandTarget {
public:
    View* ActiveView() const { return m_pView; }
    Document* ActiveDocument() const;
    MDIFrameWnd* MainFrame() const;
    // The group that shows this frame's tab.
    TabGroup* Group() const;
    HICON Icon() const { return m_hIcon; }

    // The tab's caption (also the window text).
    void SetCaption(const std::wstring& caption);

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // WM_CLOSE: asks the document; destroys the frame (or closes the
    // document, when this is its last frame) when it agrees.
    virtual void OnClose();
    void PostNcDestroy() override { delete this; }

private:
    friend class DocTemplate;
    friend class MDIFrameWnd;
    friend class TabGroup;
    friend class View;
    // Activates this frame's tab when it is not the active one (a click
    // inside the frame).
    void ActivateOnClick();
    View* m_pView = nullptr;
    HICON m_hIcon = nullptr;
    int m_nColor = 0;  // index of the tab's fill colour
};

// Texts of the tab-group menu, in the program's language.
struct TabGroupTexts {
    std::wstring newHorizontalGroup = L"New Horizontal Tab Group";
    std::wstring newVerticalGroup = L"New Vertical Tab Group";
    std::wstring moveToNextGroup = L"Move to Next Tab Group";
    std::wstring moveToPreviousGroup = L"Move to Previous Tab Group";
    std::wstring closeTab = L"Close";
    // When `windowsCommand` is not 0, the menu of a group's tabs ends with
    // this item, which sends that command to the main frame.
    std::wstring windowsDialog = L"Windows...";
    UINT windowsCommand = 0;
};

// One group: its row of tabs and the area of its active tab.
class TabGroup : public Window {
public:
    int Count() const { return static_cast<int>(m_tabs.size()); }
    MDIChildFrame* Tab(int index) const;
    int IndexOf(const MDIChildFrame* frame) const;
    MDIChildFrame* ActiveTab() const;
    // Upper limit of a tab's width in pixels (0: none).
    void SetMaxTabWidth(int pixels);
    int MaxTabWidth() const { return m_maxTabWidth; }
    // Recomputes the tab rectangles and repaints the row.
    void RecalcLayout();
    // Rectangle of tab `index` in the group window's client coordinates;
    // empty when there is no such tab.
    RECT TabRect(int index) const;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PostNcDestroy() override { delete this; }

private:
    friend class MDIFrameWnd;
    friend class MDIChildFrame;
    explicit TabGroup(MDIFrameWnd* owner) : m_pOwner(owner) {}
    // Posted to a group taken out of its frame's list: it destroys its
    // window then (never from inside a message of one of its tabs).
    static constexpr UINT kDestroyIfUnused = WM_USER + 1;
    // The area below the row, where the active frame is shown.
    RECT ContentRect() const;
    // Shows the active frame below the row and hides the others.
    void PlaceFrames();
    void Paint(HDC dc, int width);
    int HitTab(POINT pt) const;
    RECT CloseGlyphRect(int index) const;
    RECT DropDownRect() const;
    void ShowTabListMenu();
    void ShowGroupMenu(POINT screen);
    void EndDrag(MDIChildFrame* frame, POINT pt);
    MDIFrameWnd* m_pOwner;
    double m_weight = 1.0;  // share of the MDI client along the group direction
    std::vector<MDIChildFrame*> m_tabs;
    int m_active = -1;
    int m_maxTabWidth = 0;
    std::vector<RECT> m_tabRects;
    // Drag state of a pressed tab.
    int m_pressed = -1;
    POINT m_pressPoint{};
    bool m_dragging = false;
};

class MDIFrameWnd : public FrameWnd, public CommandTarget {
public:
    MDIFrameWnd();
    // Destroys the window first when it still exists, so that its tabs go
    // while this object is still whole.
    ~MDIFrameWnd() override;

    // CommandTarget's routing hook; FrameWnd's OnCommand(id, code, control)
    // stays visible to derived frames (see the top of this file).
    using CommandTarget::OnCommand;

    // FrameWnd's accelerators first; then Ctrl+F4 (WM_SYSCOMMAND SC_CLOSE to
    // the active frame) and Ctrl+Tab / Ctrl+Shift+Tab (FW_ID_NEXT_PANE /
    // FW_ID_PREV_PANE through RouteCommand).
    bool PreTranslateMessage(MSG& msg) override;

    HWND MDIClient() const { return m_hWndClient; }
    MDIChildFrame* ActiveFrame() const;
    View* ActiveView() const;
    Document* ActiveDocument() const;
    // Every child frame, group by group, each group in tab order.
    std::vector<MDIChildFrame*> ChildFrames() const;

    // Tabs and groups.
    void SetTabGroupTexts(const TabGroupTexts& texts) { m_texts = texts; }
    const std::vector<TabGroup*>& TabGroups() const { return m_groups; }
    bool VerticalGroups() const { return m_bVertical; }
    // Makes `frame` the active tab of its group and its group the active one.
    void ActivateFrame(MDIChildFrame* frame);
    // Activates the next (or previous) tab, group after group, wrapping.
    void ActivateNext(bool previous);
    // Moves the active tab into a new group after its own; false when the
    // tab is its group's only tab, or the groups run the other way.
    [[nodiscard]] bool NewTabGroup(bool vertical);
    // Moves the active tab to the next (or previous) group; false when
    // there is none. A group left empty disappears.
    [[nodiscard]] bool MoveToNextGroup(bool previous);
    // Moves `frame` to group `group` at `index` (clamped) and activates it;
    // false when either is unknown.
    [[nodiscard]] bool MoveTab(MDIChildFrame* frame, TabGroup* group, int index);

    // Runs a command through the routing chain; false when no target
    // handles it or it is disabled.
    bool RouteCommand(UINT id);
    // The update state of a command through the routing chain; disabled
    // when no target handles it.
    CmdUI RouteUpdate(UINT id);

protected:
    using FrameWnd::OnCommand;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnCreate(CREATESTRUCTW* create) override;
    // Places the frame's bars and gives the rest of the client area to the
    // MDI client (the default gives it all of it). Called on WM_SIZE.
    virtual void RecalcLayout();
    void SetClientArea(const RECT& area);
    // WM_CLOSE: every document is asked (CanCloseFrame of its frames);
    // those that agree close at once. The frame closes when no document is
    // left: at once, or when the last document that was asked closes. A
    // document that refuses for good must call CancelClose so that a later
    // close of its tab does not end the program.
    void OnClose() override;

public:
    void CancelClose() { m_bClosePending = false; }
    bool ClosePending() const { return m_bClosePending; }

private:
    friend class TabGroup;
    friend class MDIChildFrame;
    friend class DocTemplate;
    friend class View;
    // Called by the template for a new frame, and by a frame as it goes.
    void AddFrame(MDIChildFrame* frame, bool activate);
    void RemoveFrame(MDIChildFrame* frame);
    // The group that receives a new tab: the active group, else the first
    // (created when there is none); null when it cannot be created.
    TabGroup* GroupForNewTab();
    TabGroup* CreateGroup(int position);
    void DestroyGroupIfEmpty(TabGroup* group);
    void OnGroupDestroyed(TabGroup* group);
    void LayoutGroups();
    int GroupIndex(const TabGroup* group) const;
    bool CanNewTabGroup(bool vertical) const;
    bool CanMoveToGroup(bool previous) const;
    // The update state from the first target that knows `ui.id`; false when
    // none does.
    bool FindUpdate(CmdUI& ui);
    // The routing chain; `code` and `control` reach FrameWnd's OnCommand.
    bool Route(UINT id, UINT code, HWND control);
    void OnInitMenuPopup(HMENU menu);
    // Gap between groups at a point of the MDI client; -1 when none.
    int GapAt(POINT pt) const;
    void DragGap(int gap, POINT pt);
    static LRESULT CALLBACK ClientProc(HWND, UINT, WPARAM, LPARAM);

    HWND m_hWndClient = nullptr;
    RECT m_clientArea{};
    std::vector<TabGroup*> m_groups;
    TabGroup* m_pActiveGroup = nullptr;
    bool m_bVertical = true;
    TabGroupTexts m_texts;
    View* m_pActiveView = nullptr;
    bool m_bClosePending = false;
    bool m_bAskingToClose = false;  // inside OnClose: no WM_CLOSE is posted
    bool m_bDestroying = false;     // between WM_DESTROY and WM_NCDESTROY
    int m_draggedGap = -1;          // gap being dragged in the MDI client
};

} // namespace fw
