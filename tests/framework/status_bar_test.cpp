#include "framework/profile.h"
#include "framework/caption_bar.h"
#include "framework/status_bar.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A frame stand-in that records the commands and size messages its bars send.
class RecordingParent : public fw::Window {
public:
    std::vector<UINT> commands;
    std::vector<LPARAM> sizes;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_COMMAND) commands.push_back(LOWORD(wParam));
        if (message == WM_SIZE) sizes.push_back(lParam);
        return Window::WindowProc(message, wParam, lParam);
    }
};

// Exposes the configuration menu's parts and records where the menu would
// open instead of showing it modally.
class TestBar : public fw::RibbonStatusBar {
public:
    using RibbonStatusBar::ApplyConfigurationCommand;
    using RibbonStatusBar::BuildConfigurationMenu;
    std::vector<POINT> menus;

protected:
    void ShowConfigurationMenu(POINT screenPoint) override { menus.push_back(screenPoint); }
};

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

void Click(HWND hwnd, int x, int y) {
    SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    Pump();
}

int Width(const RECT& r) { return r.right - r.left; }
int MiddleY(const RECT& r) { return (r.top + r.bottom) / 2; }

enum : int { kStatus = 1, kLine, kConnection, kProgress, kZoomText, kZoom };

class StatusBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(parent.Create(0, L"fw.StatusBarTestParent", L"parent", WS_OVERLAPPEDWINDOW, 0, 0, 700, 200,
                                  nullptr, nullptr));
        ASSERT_TRUE(bar.Create(parent.Handle(), 100));
        using Area = fw::RibbonStatusBar::Area;
        bar.AddPane(Area::Main, kStatus, L"Ready", L"Status");
        bar.AddPane(Area::Main, kLine, L"Ln 1", L"Line", L"Ln 99999", false);
        bar.AddPane(Area::Extended, kConnection, L"Online", L"Connection", L"Connected");
        bar.AddProgress(Area::Extended, kProgress, 100, 12, L"Progress");
        bar.AddPane(Area::Extended, kZoomText, L"100%", L"Zoom level", L"1000%");
        bar.AddSlider(Area::Extended, kZoom, 120, 10, 500, 10, 100, true, L"Zoom");
        Resize(640);
    }
    void Resize(int width) { MoveWindow(bar.Handle(), 0, 0, width, bar.Height(), FALSE); }
    const RECT& RectOf(int id) const { return bar.FindById(id)->Rect(); }

    RecordingParent parent;
    TestBar bar;
};

TEST_F(StatusBarTest, TheFirstMainPaneStretchesAndTheExtendedAreaIsRightAligned) {
    const RECT status = RectOf(kStatus), line = RectOf(kLine), zoom = RectOf(kZoom);
    EXPECT_LE(status.left, 8);
    EXPECT_LE(status.right, line.left);
    for (int id = kLine; id < kZoom; ++id) EXPECT_LE(RectOf(id).right, RectOf(id + 1).left) << id;
    EXPECT_GE(zoom.right, 640 - 12);
    EXPECT_LE(zoom.right, 640);
    EXPECT_EQ(MiddleY(RectOf(kProgress)), MiddleY(status));
    EXPECT_EQ(RectOf(kProgress).bottom - RectOf(kProgress).top, 12);

    Resize(800);  // the extra width all goes to the first pane
    EXPECT_EQ(Width(RectOf(kStatus)), Width(status) + 160);
    EXPECT_EQ(RectOf(kZoom).right, zoom.right + 160);
    EXPECT_EQ(Width(RectOf(kLine)), Width(line));
}

TEST_F(StatusBarTest, AHiddenElementTakesNoSpace) {
    const RECT status = RectOf(kStatus), connection = RectOf(kConnection), progress = RectOf(kProgress);
    bar.FindById(kConnection)->SetVisible(false);
    EXPECT_TRUE(IsRectEmpty(&bar.FindById(kConnection)->Rect()));
    EXPECT_TRUE(EqualRect(&RectOf(kProgress), &progress));
    EXPECT_GE(Width(RectOf(kStatus)), Width(status) + Width(connection));
    bar.FindById(kConnection)->SetVisible(true);
    EXPECT_TRUE(EqualRect(&RectOf(kStatus), &status));
}

TEST_F(StatusBarTest, InformationTextReplacesTheElementsUntilItIsEmptied) {
    const RECT zoom = RectOf(kZoom);
    bar.SetInformation(L"Downloading 3 files");
    EXPECT_EQ(bar.Information(), L"Downloading 3 files");
    for (int id = kStatus; id <= kZoom; ++id) EXPECT_TRUE(IsRectEmpty(&bar.FindById(id)->Rect())) << id;
    Click(bar.Handle(), zoom.right - 7, MiddleY(zoom));  // where "+" was
    EXPECT_TRUE(parent.commands.empty());
    bar.SetInformation(L"");
    EXPECT_TRUE(EqualRect(&RectOf(kZoom), &zoom));
}

TEST_F(StatusBarTest, APaneCollapsedWhileEmptyTakesPlaceOnlyWithTextAndIsClickableThen) {
    using Area = fw::RibbonStatusBar::Area;
    enum : int { kSign = 50 };
    fw::StatusElement* sign = bar.AddPane(Area::Main, kSign, L"", L"Sign", L"99 signs", false);
    sign->SetCollapsedWhenEmpty(true);
    EXPECT_TRUE(sign->IsCollapsed());
    EXPECT_TRUE(IsRectEmpty(&sign->Rect()));
    const int shown = Width(RectOf(kStatus));

    // A first text gives it its place (the fit text's width and the icon's),
    // which the stretched pane gives up; a click then posts its id.
    sign->SetIcon(LoadIconW(nullptr, MAKEINTRESOURCEW(32515)));  // IDI_WARNING
    sign->SetText(L"2 signs");
    EXPECT_FALSE(sign->IsCollapsed());
    const RECT r = sign->Rect();
    ASSERT_FALSE(IsRectEmpty(&r));
    EXPECT_GE(r.left, RectOf(kLine).right) << "after the panes added before it";
    EXPECT_EQ(Width(RectOf(kStatus)), shown - Width(r));
    Click(bar.Handle(), r.left + 3, MiddleY(r));
    EXPECT_EQ(parent.commands, (std::vector<UINT>{kSign}));

    // Emptied, it takes no place again and a click there posts nothing.
    sign->SetText(L"");
    EXPECT_TRUE(IsRectEmpty(&sign->Rect()));
    EXPECT_EQ(Width(RectOf(kStatus)), shown);
}

TEST_F(StatusBarTest, TheWindowTextIsTheInformationOrTheShownPanesTexts) {
    auto text = [&] {
        wchar_t buffer[256] = {};
        GetWindowTextW(bar.Handle(), buffer, 256);
        return std::wstring(buffer);
    };
    EXPECT_EQ(text(), L"Ready\tLn 1\tOnline\t100%");
    bar.FindById(kLine)->SetText(L"Ln 7");
    bar.FindById(kConnection)->SetVisible(false);
    EXPECT_EQ(text(), L"Ready\tLn 7\t100%");
    bar.SetInformation(L"Downloading 3 files");
    EXPECT_EQ(text(), L"Downloading 3 files");
    bar.SetInformation(L"");
    EXPECT_EQ(text(), L"Ready\tLn 7\t100%");
}

TEST_F(StatusBarTest, ZoomButtonsAndTrackClicksMoveByAPageAndPostTheSliderId) {
    fw::StatusElement* slider = bar.FindById(kZoom);
    const RECT r = slider->Rect();
    Click(bar.Handle(), r.right - 7, MiddleY(r));  // "+"
    EXPECT_EQ(slider->Pos(), 110);
    Click(bar.Handle(), r.left + 7, MiddleY(r));  // "-"
    Click(bar.Handle(), r.left + 7, MiddleY(r));
    EXPECT_EQ(slider->Pos(), 90);
    Click(bar.Handle(), r.right - 26, MiddleY(r));  // the track right of the thumb
    EXPECT_EQ(slider->Pos(), 100);
    EXPECT_EQ(parent.commands, (std::vector<UINT>{kZoom, kZoom, kZoom, kZoom}));

    parent.commands.clear();
    slider->SetPos(500);
    Pump();
    EXPECT_EQ(slider->Pos(), 500);
    Click(bar.Handle(), r.right - 7, MiddleY(r));  // already at the maximum
    EXPECT_EQ(slider->Pos(), 500);
    EXPECT_TRUE(parent.commands.empty());
}

TEST_F(StatusBarTest, DraggingTheThumbFollowsTheMouseAndPostsEachChange) {
    fw::StatusElement* slider = bar.FindById(kZoom);
    slider->SetPos(255);  // the middle of the range: the thumb sits in the middle of the slider
    const RECT r = slider->Rect();
    const int middle = (r.left + r.right) / 2;
    SendMessageW(bar.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(middle, MiddleY(r)));
    SendMessageW(bar.Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(middle + 20, MiddleY(r)));
    const int afterFirstMove = slider->Pos();
    SendMessageW(bar.Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(r.right + 50, MiddleY(r)));
    SendMessageW(bar.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(r.right + 50, MiddleY(r)));
    Pump();
    EXPECT_GT(afterFirstMove, 255);
    EXPECT_LT(afterFirstMove, 500);
    EXPECT_EQ(slider->Pos(), 500);
    EXPECT_EQ(parent.commands, (std::vector<UINT>{kZoom, kZoom}));
}

TEST_F(StatusBarTest, RightClickOpensTheConfigurationMenuUnlessTheLeftButtonIsDown) {
    const RECT status = RectOf(kStatus), zoom = RectOf(kZoom);
    POINT expected{status.left + 10, MiddleY(status)};
    ClientToScreen(bar.Handle(), &expected);
    SendMessageW(bar.Handle(), WM_RBUTTONUP, 0, MAKELPARAM(status.left + 10, MiddleY(status)));
    ASSERT_EQ(bar.menus.size(), 1u);
    EXPECT_EQ(bar.menus[0].x, expected.x);
    EXPECT_EQ(bar.menus[0].y, expected.y);

    SendMessageW(bar.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(zoom.right - 7, MiddleY(zoom)));
    SendMessageW(bar.Handle(), WM_RBUTTONUP, MK_LBUTTON, MAKELPARAM(status.left + 10, MiddleY(status)));
    EXPECT_EQ(bar.menus.size(), 1u);
    SendMessageW(bar.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(zoom.right - 7, MiddleY(zoom)));
}

TEST_F(StatusBarTest, OnlyPanesThatAreNotStaticPostTheirIdWhenClicked) {
    const RECT line = RectOf(kLine), status = RectOf(kStatus);
    Click(bar.Handle(), status.left + 5, MiddleY(status));
    Click(bar.Handle(), line.left + 5, MiddleY(line));
    EXPECT_EQ(parent.commands, (std::vector<UINT>{kLine}));
}

TEST_F(StatusBarTest, ConfigurationMenuListsElementsWithTextAndFlipsVisibility) {
    bar.SetConfigurationTitle(L"Customize Status Bar");
    const std::wstring longText(60, L'x');
    bar.FindById(kConnection)->SetText(longText);
    bar.FindById(kProgress)->SetVisible(false);
    fw::Menu menu = bar.BuildConfigurationMenu();
    ASSERT_TRUE(menu);
    // Title, two main elements, a separator, four extended elements.
    ASSERT_EQ(GetMenuItemCount(menu.get()), 8);
    auto text = [&menu](int index) {
        wchar_t buffer[128] = {};
        GetMenuStringW(menu.get(), static_cast<UINT>(index), buffer, 128, MF_BYPOSITION);
        return std::wstring(buffer);
    };
    auto state = [&menu](int index) { return GetMenuState(menu.get(), static_cast<UINT>(index), MF_BYPOSITION); };
    EXPECT_EQ(text(0), L"Customize Status Bar");
    EXPECT_EQ(text(1), L"Status\tReady");
    EXPECT_TRUE(state(3) & MF_SEPARATOR);
    EXPECT_EQ(text(4), L"Connection\t" + longText.substr(0, 49));
    EXPECT_EQ(text(5), L"Progress");
    EXPECT_TRUE(state(4) & MF_CHECKED);
    EXPECT_FALSE(state(5) & MF_CHECKED);

    bar.ApplyConfigurationCommand(GetMenuItemID(menu.get(), 5));
    EXPECT_TRUE(bar.FindById(kProgress)->IsVisible());
    EXPECT_FALSE(IsRectEmpty(&RectOf(kProgress)));
    bar.ApplyConfigurationCommand(GetMenuItemID(menu.get(), 1));
    EXPECT_FALSE(bar.FindById(kStatus)->IsVisible());
}

TEST_F(StatusBarTest, VisibilityRoundTripsThroughTheWorkspaceProfile) {
    fw::Profile profile;
    profile.SetRegistryKey(L"VantrellTests", L"StatusBarTest");
    RegDeleteTreeW(HKEY_CURRENT_USER, profile.KeyPath().c_str());
    bar.FindById(kProgress)->SetVisible(false);
    bar.SaveState(profile, L"StatusBar");
    EXPECT_EQ(profile.GetInt(L"Workspace\\StatusBar", L"4", -1), 0);
    EXPECT_EQ(profile.GetInt(L"Workspace\\StatusBar", L"6", -1), 1);

    bar.FindById(kProgress)->SetVisible(true);
    bar.FindById(kStatus)->SetVisible(false);
    bar.LoadState(profile, L"StatusBar");
    EXPECT_FALSE(bar.FindById(kProgress)->IsVisible());
    EXPECT_TRUE(IsRectEmpty(&RectOf(kProgress)));
    EXPECT_TRUE(bar.FindById(kStatus)->IsVisible());
    EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, profile.KeyPath().c_str()), ERROR_SUCCESS);
}

TEST(CaptionBar, ShowsItsButtonCommandAndHidesFromItsCloseGlyph) {
    RecordingParent parent;
    ASSERT_TRUE(parent.Create(0, L"fw.StatusBarTestParent", L"parent", WS_OVERLAPPEDWINDOW, 0, 0, 700, 200, nullptr,
                              nullptr));
    fw::CaptionBar caption;
    ASSERT_TRUE(caption.Create(parent.Handle(), 101));
    EXPECT_EQ(caption.Height(), 0);
    EXPECT_FALSE(IsWindowVisible(caption.Handle()));
    caption.SetIcon(LoadIconW(nullptr, IDI_INFORMATION));
    caption.SetText(L"You closed a tab.");
    caption.SetButton(L"Reopen tab", 4321, L"Reopen the tab you closed");

    RECT client{};
    GetClientRect(parent.Handle(), &client);
    const LPARAM clientSize = MAKELPARAM(client.right, client.bottom);
    parent.sizes.clear();
    caption.Show(true);
    EXPECT_GE(caption.Height(), 24);
    EXPECT_NE(GetWindowLongW(caption.Handle(), GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_EQ(parent.sizes, std::vector<LPARAM>{clientSize});

    MoveWindow(caption.Handle(), 0, 0, client.right, caption.Height(), FALSE);
    const RECT button = caption.ButtonRect(), close = caption.CloseRect();
    ASSERT_FALSE(IsRectEmpty(&button));
    ASSERT_FALSE(IsRectEmpty(&close));
    EXPECT_LE(button.right, close.left);
    Click(caption.Handle(), button.left + 4, MiddleY(button));
    EXPECT_EQ(parent.commands, std::vector<UINT>{4321});
    EXPECT_TRUE(caption.IsShown());

    Click(caption.Handle(), close.left + 8, MiddleY(close));
    EXPECT_FALSE(caption.IsShown());
    EXPECT_EQ(caption.Height(), 0);
    EXPECT_EQ(GetWindowLongW(caption.Handle(), GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_EQ(parent.sizes, (std::vector<LPARAM>{clientSize, clientSize}));
    EXPECT_EQ(parent.commands, std::vector<UINT>{4321});
}

} // namespace
