// The tabbed window: templates, tabs and groups, activation, closing and
// command routing, on real windows (headless Wine).
#include "framework/app.h"
#include "framework/document.h"
#include "framework/handles.h"
#include "framework/mdi.h"
#include "res/resource_ids.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

int g_liveViews = 0;
int g_liveFrames = 0;
std::vector<std::string> g_log;  // command handlers and view activations, in order

class TestDoc : public fw::Document {
public:
    bool refuse = false;
    bool failNew = false;
    int saveAsked = 0;
    fw::CommandTable& Commands() { return m_commands; }
    bool OnNewDocument() override { return !failNew; }
    bool SaveModified() override {
        ++saveAsked;
        return !refuse;
    }
};

class TestView : public fw::View {
public:
    TestView() { ++g_liveViews; }
    ~TestView() override { --g_liveViews; }
    int initialUpdates = 0;
    fw::CommandTable& Commands() { return m_commands; }
    void OnInitialUpdate() override { ++initialUpdates; }
    void OnActivateView(bool activate, fw::View* activated, fw::View* deactivated) override {
        g_log.push_back(std::string(activate ? "on:" : "off:") + (activated == this ? "self" : "other") + "," +
                        (deactivated == this ? "self" : deactivated ? "other" : "none"));
    }
};

class TestChildFrame : public fw::MDIChildFrame {
public:
    TestChildFrame() { ++g_liveFrames; }
    ~TestChildFrame() override { --g_liveFrames; }
    fw::CommandTable& Commands() { return m_commands; }
};

class MainFrame : public fw::MDIFrameWnd {
public:
    int moves = 0;
    fw::CommandTable& Commands() { return m_commands; }

protected:
    bool OnCommand(UINT id, UINT, HWND) override {
        if (id != 40060) return false;
        g_log.push_back("frame-override");
        return true;
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == fw::MoveToTabGroupMessage() && wParam == 0 && lParam == 0) ++moves;
        return MDIFrameWnd::WindowProc(message, wParam, lParam);
    }
};

class TestApp : public fw::WinApp {
public:
    fw::CommandTable& Commands() { return m_commands; }
};

class TabbedWindow : public testing::Test {
protected:
    void SetUp() override {
        g_log.clear();
        app.AddDocTemplate(std::make_unique<fw::DocTemplate>(
            IDR_IE6, [] { return new TestDoc; }, [] { return new TestChildFrame; }, [] { return new TestView; }));
        ASSERT_TRUE(main->LoadFrame(IDR_MAINFRAME, WS_OVERLAPPEDWINDOW));
        app.SetMainWindow(main->Handle());
        SetWindowPos(main->Handle(), nullptr, 0, 0, 900, 600, SWP_NOZORDER);
        ShowWindow(main->Handle(), SW_SHOW);
    }
    void TearDown() override {
        if (main->Handle()) DestroyWindow(main->Handle());  // with its tabs still open
        Pump();
        // The documents outlive their windows (the template deletes them)
        // but no longer list the views that went.
        for (fw::Document* doc : app.DocTemplates()[0]->Documents()) EXPECT_TRUE(doc->Views().empty());
        EXPECT_EQ(g_liveViews, 0);
        EXPECT_EQ(g_liveFrames, 0);
    }
    TestDoc* Open() { return static_cast<TestDoc*>(app.DocTemplates()[0]->OpenDocumentFile(nullptr)); }
    static fw::MDIChildFrame* FrameOf(fw::Document* doc) { return doc->FirstView()->ParentFrame(); }
    // Runs the posted messages; a WM_QUIT is noted, not kept.
    void Pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                continue;
            }
            if (app.PreTranslateMessage(msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    void PressCtrl(UINT vk, bool shift = false) {
        BYTE keys[256] = {};
        keys[VK_CONTROL] = 0x80;
        if (shift) keys[VK_SHIFT] = 0x80;
        SetKeyboardState(keys);
        MSG msg{};
        msg.hwnd = main->ActiveView()->Handle();
        msg.message = WM_KEYDOWN;
        msg.wParam = vk;
        msg.lParam = 1;
        if (!app.PreTranslateMessage(msg)) DispatchMessageW(&msg);
        BYTE none[256] = {};
        SetKeyboardState(none);
        Pump();
    }

    TestApp app;
    std::unique_ptr<MainFrame> main = std::make_unique<MainFrame>();
    bool quit = false;
};

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

TEST_F(TabbedWindow, ATemplateOpensEachDocumentAsANewActiveTabWithCaptionAndIcon) {
    TestDoc* first = Open();
    TestDoc* second = Open();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(app.DocTemplates()[0]->Documents(), (std::vector<fw::Document*>{first, second}));
    fw::MDIChildFrame* frame = FrameOf(second);
    EXPECT_EQ(frame->Text(), L"");  // no caption until the document has a title
    second->SetTitle(L"Page");
    EXPECT_EQ(frame->Text(), L"Page");
    EXPECT_NE(frame->Icon(), nullptr);
    EXPECT_EQ(frame->Icon(), app.DocTemplates()[0]->Icon());
    EXPECT_EQ(static_cast<TestView*>(second->FirstView())->initialUpdates, 1);
    EXPECT_EQ(main->ActiveFrame(), frame);
    EXPECT_FALSE(IsWindowVisible(FrameOf(first)->Handle()));
    EXPECT_TRUE(IsWindowVisible(frame->Handle()));

    // The window tree other code relies on.
    HWND client = GetDlgItem(main->Handle(), FW_MDI_CLIENT_ID);
    ASSERT_EQ(client, main->MDIClient());
    EXPECT_EQ(ClassOf(client), L"fw.MDIClient");
    HWND group = GetParent(frame->Handle());
    EXPECT_EQ(ClassOf(group), L"fw.TabGroup");
    EXPECT_EQ(GetParent(group), client);
    EXPECT_EQ(ClassOf(frame->Handle()), L"fw.MDIChild");
    EXPECT_EQ(ClassOf(second->FirstView()->Handle()), L"fw.View");

    second->SetTitle(L"A rather long title for the second tab");
    EXPECT_EQ(frame->Text(), L"A rather long title for the second tab");
    fw::TabGroup* tabs = main->TabGroups()[0];
    EXPECT_GT(tabs->TabRect(1).right - tabs->TabRect(1).left, tabs->TabRect(0).right - tabs->TabRect(0).left);
    tabs->SetMaxTabWidth(80);
    EXPECT_EQ(tabs->TabRect(1).right - tabs->TabRect(1).left, 80);
    RECT none = tabs->TabRect(2);
    EXPECT_TRUE(IsRectEmpty(&none));
}

TEST_F(TabbedWindow, ADocumentThatFailsToOpenLeavesNothingBehind) {
    Open();
    auto* docTemplate = app.DocTemplates()[0].get();
    fw::DocTemplate failing(IDR_IE6, [] { auto d = new TestDoc; d->failNew = true; return d; },
                            [] { return new TestChildFrame; }, [] { return new TestView; });
    EXPECT_EQ(failing.OpenDocumentFile(nullptr), nullptr);
    Pump();
    EXPECT_TRUE(failing.Documents().empty());
    EXPECT_EQ(docTemplate->Documents().size(), 1u);
    EXPECT_EQ(g_liveViews, 1);
    EXPECT_EQ(g_liveFrames, 1);
    EXPECT_EQ(main->ChildFrames().size(), 1u);
}

TEST_F(TabbedWindow, ActivatingATabDeactivatesTheOldViewAndFocusesTheNewOne) {
    TestDoc* first = Open();
    TestDoc* second = Open();
    g_log.clear();
    SendMessageW(main->MDIClient(), WM_MDIACTIVATE, reinterpret_cast<WPARAM>(FrameOf(first)->Handle()), 0);
    EXPECT_EQ(g_log, (std::vector<std::string>{"off:other,self", "on:self,other"}));
    EXPECT_EQ(main->ActiveView(), first->FirstView());
    EXPECT_EQ(GetFocus(), first->FirstView()->Handle());
    EXPECT_EQ(SendMessageW(main->MDIClient(), WM_MDIGETACTIVE, 0, 0),
              reinterpret_cast<LRESULT>(FrameOf(first)->Handle()));
    EXPECT_FALSE(IsWindowVisible(FrameOf(second)->Handle()));
}

TEST_F(TabbedWindow, CtrlTabCyclesTheTabsAndCtrlF4ClosesTheActiveOne) {
    TestDoc* docs[] = {Open(), Open(), Open()};
    PressCtrl(VK_TAB);
    EXPECT_EQ(main->ActiveDocument(), docs[0]);  // wrapped from the last
    PressCtrl(VK_TAB);
    EXPECT_EQ(main->ActiveDocument(), docs[1]);
    PressCtrl(VK_TAB, true);
    EXPECT_EQ(main->ActiveDocument(), docs[0]);
    SendMessageW(main->MDIClient(), WM_MDINEXT, 0, 1);
    EXPECT_EQ(main->ActiveDocument(), docs[2]);
    PressCtrl(VK_TAB, true);
    PressCtrl(VK_F4);  // closes docs[1]: its right neighbour takes over
    EXPECT_EQ(main->ChildFrames().size(), 2u);
    EXPECT_EQ(main->ActiveDocument(), docs[2]);
    SendMessageW(main->Handle(), WM_COMMAND, FW_ID_CLOSE_DOCUMENT, 0);
    EXPECT_EQ(main->ActiveDocument(), docs[0]);  // no right neighbour: the left one
    EXPECT_EQ(app.DocTemplates()[0]->Documents().size(), 1u);
}

TEST_F(TabbedWindow, TabsMoveIntoANewVerticalGroupAndBackAndAnEmptiedGroupGoes) {
    TestDoc* docs[] = {Open(), Open(), Open()};
    EXPECT_FALSE(main->RouteUpdate(FW_ID_MOVE_TO_NEXT_GROUP).enabled);
    ASSERT_TRUE(main->RouteCommand(FW_ID_NEW_VERT_TAB_GROUP));
    ASSERT_EQ(main->TabGroups().size(), 2u);
    EXPECT_TRUE(main->VerticalGroups());
    EXPECT_EQ(main->moves, 1);
    EXPECT_EQ(FrameOf(docs[2])->Group(), main->TabGroups()[1]);
    EXPECT_EQ(main->ActiveDocument(), docs[2]);
    RECT left{}, right{};
    GetWindowRect(main->TabGroups()[0]->Handle(), &left);
    GetWindowRect(main->TabGroups()[1]->Handle(), &right);
    EXPECT_LE(left.right, right.left);
    EXPECT_NEAR(left.right - left.left, right.right - right.left, 1);
    EXPECT_FALSE(main->RouteUpdate(FW_ID_NEW_HORZ_TAB_GROUP).enabled);  // groups run one way only
    EXPECT_FALSE(main->RouteUpdate(FW_ID_MOVE_TO_NEXT_GROUP).enabled);

    // A click inside the other group's tab activates it.
    SendMessageW(docs[1]->FirstView()->Handle(), WM_PARENTNOTIFY, WM_LBUTTONDOWN, 0);
    EXPECT_EQ(main->ActiveDocument(), docs[1]);
    ASSERT_TRUE(main->RouteCommand(FW_ID_MOVE_TO_NEXT_GROUP));
    EXPECT_EQ(main->TabGroups()[1]->Count(), 2);
    EXPECT_EQ(main->moves, 2);

    HWND second = main->TabGroups()[1]->Handle();
    SendMessageW(main->Handle(), WM_COMMAND, FW_ID_MOVE_TO_PREV_GROUP, 0);
    SendMessageW(main->MDIClient(), WM_MDIACTIVATE, reinterpret_cast<WPARAM>(FrameOf(docs[2])->Handle()), 0);
    SendMessageW(main->Handle(), WM_COMMAND, FW_ID_MOVE_TO_PREV_GROUP, 0);
    EXPECT_EQ(main->moves, 4);
    EXPECT_EQ(main->TabGroups().size(), 1u);
    EXPECT_EQ(main->TabGroups()[0]->Count(), 3);
    Pump();
    EXPECT_FALSE(IsWindow(second));
}

TEST_F(TabbedWindow, ATabDraggedOntoAnotherGroupMovesThere) {
    TestDoc* docs[] = {Open(), Open(), Open()};
    ASSERT_TRUE(main->NewTabGroup(true));  // docs[2] alone in the second group
    fw::TabGroup* from = main->TabGroups()[0];
    fw::TabGroup* to = main->TabGroups()[1];
    RECT tab = from->TabRect(0);
    POINT start{(tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2};
    RECT target = to->TabRect(0);
    POINT drop{(target.left + target.right) / 2, (target.top + target.bottom) / 2};
    MapWindowPoints(to->Handle(), from->Handle(), &drop, 1);
    POINT screen = drop;
    ClientToScreen(from->Handle(), &screen);
    ASSERT_EQ(GetAncestor(WindowFromPoint(screen), GA_ROOT), main->Handle()) << "WindowFromPoint misses the frame";

    SendMessageW(from->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(start.x, start.y));
    SendMessageW(from->Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(start.x + 30, start.y));
    SendMessageW(from->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(drop.x, drop.y));
    EXPECT_EQ(to->IndexOf(FrameOf(docs[0])), 0);  // at the tab under the cursor
    EXPECT_EQ(to->Count(), 2);
    EXPECT_EQ(main->ActiveDocument(), docs[0]);
    EXPECT_EQ(main->moves, 2);

    // Along its own row a tab changes place.
    tab = to->TabRect(0);
    target = to->TabRect(1);
    SendMessageW(to->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(tab.left + 12, tab.top + 5));
    SendMessageW(to->Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(target.left + 12, target.top + 5));
    SendMessageW(to->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(target.left + 12, target.top + 5));
    EXPECT_EQ(to->Tab(0), FrameOf(docs[2]));
    EXPECT_EQ(to->Tab(1), FrameOf(docs[0]));
    EXPECT_EQ(main->moves, 2);
    EXPECT_EQ(from->Tab(0), FrameOf(docs[1]));
}

TEST_F(TabbedWindow, ADocumentThatRefusesKeepsItsTabAndOneThatAgreesCloses) {
    TestDoc* keeps = Open();
    TestDoc* closes = Open();
    keeps->refuse = true;
    HWND kept = FrameOf(keeps)->Handle();
    HWND closed = FrameOf(closes)->Handle();
    SendMessageW(kept, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(keeps->saveAsked, 1);
    EXPECT_TRUE(IsWindow(kept));
    SendMessageW(closed, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(IsWindow(closed));
    EXPECT_EQ(app.DocTemplates()[0]->Documents(), (std::vector<fw::Document*>{keeps}));
    EXPECT_EQ(g_liveViews, 1);
    EXPECT_EQ(main->ActiveDocument(), keeps);
}

TEST_F(TabbedWindow, TheMainFrameClosesWhenTheLastRefusingDocumentFinallyCloses) {
    TestDoc* keeps = Open();
    Open();
    keeps->refuse = true;
    SendMessageW(main->Handle(), WM_CLOSE, 0, 0);
    Pump();
    EXPECT_TRUE(IsWindow(main->Handle()));
    EXPECT_TRUE(main->ClosePending());
    EXPECT_EQ(app.DocTemplates()[0]->Documents(), (std::vector<fw::Document*>{keeps}));

    keeps->refuse = false;
    PostMessageW(FrameOf(keeps)->Handle(), WM_CLOSE, 0, 0);
    Pump();
    EXPECT_EQ(main->Handle(), nullptr);
    EXPECT_EQ(app.MainWindow(), nullptr);
    EXPECT_TRUE(quit);
    EXPECT_TRUE(app.DocTemplates()[0]->Documents().empty());
}

TEST_F(TabbedWindow, CommandsGoToViewDocumentChildFrameMainFrameAndAppInThatOrder) {
    TestDoc* doc = Open();
    auto view = static_cast<TestView*>(doc->FirstView());
    auto frame = static_cast<TestChildFrame*>(FrameOf(doc));
    auto record = [](const char* who) { return [who](UINT id) { g_log.push_back(who + std::to_string(id)); }; };
    // 40010 is known to everybody, 40020 from the document on, and so on.
    fw::CommandTable* chain[] = {&view->Commands(), &doc->Commands(), &frame->Commands(), &main->Commands(),
                                 &app.Commands()};
    const char* names[] = {"view:", "doc:", "child:", "main:", "app:"};
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j <= i; ++j) chain[i]->Add(40010 + 10 * j, record(names[i]));
    g_log.clear();
    for (UINT id = 40010; id <= 40050; id += 10) SendMessageW(main->Handle(), WM_COMMAND, id, 0);
    SendMessageW(main->Handle(), WM_COMMAND, MAKEWPARAM(40060, 1), 0);  // the frame's own OnCommand
    EXPECT_EQ(g_log, (std::vector<std::string>{"view:40010", "doc:40020", "child:40030", "main:40040",
                                               "app:40050", "frame-override"}));
}

TEST_F(TabbedWindow, ADisabledCommandDoesNotRunAndMenusShowEachCommandsState) {
    TestDoc* doc = Open();
    auto view = static_cast<TestView*>(doc->FirstView());
    int runs = 0;
    view->Commands().Add(40100, [&](UINT) { ++runs; }, [](fw::CmdUI& ui) { ui.Enable(false); });
    view->Commands().Add(40101, [&](UINT) { ++runs; }, [](fw::CmdUI& ui) { ui.SetCheck(); });
    view->Commands().Add(40102, [&](UINT) { ++runs; }, [](fw::CmdUI& ui) { ui.SetRadio(); });
    SendMessageW(main->Handle(), WM_COMMAND, 40100, 0);
    EXPECT_FALSE(main->RouteCommand(40100));
    EXPECT_FALSE(main->RouteCommand(40199));  // nobody's
    EXPECT_EQ(runs, 0);
    EXPECT_TRUE(main->RouteCommand(40101));
    EXPECT_EQ(runs, 1);

    fw::Menu owner(CreatePopupMenu());
    HMENU menu = owner.get();
    for (UINT id : {40100u, 40101u, 40102u, 40199u, static_cast<UINT>(FW_ID_NEW_VERT_TAB_GROUP)})
        AppendMenuW(menu, MF_STRING | MF_GRAYED, id, L"item");
    SendMessageW(main->Handle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 0);
    auto state = [menu](UINT id) { return GetMenuState(menu, id, MF_BYCOMMAND); };
    EXPECT_TRUE(state(40100) & MF_GRAYED);
    EXPECT_EQ(state(40101) & (MF_GRAYED | MF_CHECKED), static_cast<UINT>(MF_CHECKED));
    MENUITEMINFOW radio{};
    radio.cbSize = sizeof(radio);
    radio.fMask = MIIM_FTYPE | MIIM_STATE;
    GetMenuItemInfoW(menu, 40102, FALSE, &radio);
    EXPECT_TRUE((radio.fType & MFT_RADIOCHECK) && (radio.fState & MFS_CHECKED));
    EXPECT_TRUE(state(40199) & MF_GRAYED);
    EXPECT_TRUE(state(FW_ID_NEW_VERT_TAB_GROUP) & MF_GRAYED);  // one tab cannot make a group
}

} // namespace
