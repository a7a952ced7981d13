#include "framework/command.h"
#include "framework/ribbon.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <memory>
#include <string>
#include <vector>

namespace {

// A plain top-level window that records the commands and sizes it gets.
class RecordingFrame : public fw::Window {
public:
    std::vector<UINT> commands;
    int sizes = 0;

    bool Create() {
        return fw::Window::Create(0, L"test.RibbonFrame", L"frame", WS_OVERLAPPEDWINDOW, 0, 0, 1200, 400, nullptr,
                                  nullptr);
    }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_COMMAND) commands.push_back(LOWORD(wParam));
        if (message == WM_SIZE) ++sizes;
        return Default(message, wParam, lParam);
    }
};

class CountingCombo : public fw::RibbonComboBox {
public:
    using RibbonComboBox::RibbonComboBox;
    int enters = 0;

protected:
    void OnEnter() override { ++enters; }
};

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

POINT Centre(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

void Click(HWND hwnd, POINT pt) {
    SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
    SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
    Pump();
}

class RibbonTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(frame.Create());
        ASSERT_TRUE(ribbon.Create(frame.Handle(), 0xE806));
        home = ribbon.AddCategory(L"&Home", {});
        view = ribbon.AddCategory(L"&View", {});
        // Four panels of three buttons each: every panel is narrower small
        // (one column of three) than large (three columns).
        for (int p = 0; p < 4; ++p) {
            fw::RibbonPanel* panel = home->AddPanel(L"Panel " + std::to_wstring(p));
            for (int b = 0; b < 3; ++b) {
                int id = 500 + p * 10 + b;
                panel->Add(std::make_unique<fw::RibbonButton>(id, L"Button " + std::to_wstring(id), 0, 0));
            }
        }
        Resize(1200);
    }
    void TearDown() override { Pump(); }

    void Resize(int width) {
        SetWindowPos(ribbon.Handle(), nullptr, 0, 0, width, ribbon.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
        ribbon.RecalcLayout();
    }
    // 0 large, 1 small, 2 collapsed, per panel of Home.
    std::vector<int> Levels() const {
        std::vector<int> levels;
        for (auto& p : home->Panels()) levels.push_back(p->IsCollapsed() ? 2 : p->IsSmall() ? 1 : 0);
        return levels;
    }
    const RECT& RectOf(int id) const { return ribbon.FindById(id)->Rect(); }

    RecordingFrame frame;
    fw::RibbonBar ribbon;
    fw::RibbonCategory* home = nullptr;
    fw::RibbonCategory* view = nullptr;
};

TEST_F(RibbonTest, AWideBarShowsEveryPanelLargeAndInsideTheBar) {
    EXPECT_EQ(Levels(), (std::vector<int>{0, 0, 0, 0}));
    RECT client;
    GetClientRect(ribbon.Handle(), &client);
    std::vector<RECT> rects;
    for (auto& p : home->Panels())
        for (auto& e : p->Elements()) rects.push_back(e->Rect());
    for (size_t i = 0; i < rects.size(); ++i) {
        EXPECT_GE(rects[i].left, 0);
        EXPECT_LE(rects[i].right, client.right);
        EXPECT_GE(rects[i].top, fw::RibbonBar::kTabRowHeight);
        EXPECT_LE(rects[i].bottom, client.bottom);
        EXPECT_GT(rects[i].bottom - rects[i].top, 3 * 16) << "large buttons take the panel's height";
        for (size_t j = i + 1; j < rects.size(); ++j) {
            RECT both;
            EXPECT_FALSE(IntersectRect(&both, &rects[i], &rects[j])) << i << " overlaps " << j;
        }
    }
}

TEST_F(RibbonTest, NarrowerBarsReducePanelsFromTheRightLargeToSmallThenCollapsed) {
    std::vector<std::vector<int>> seen;
    int previousSum = 0;
    for (int width = 1200; width >= 60; width -= 10) {
        Resize(width);
        std::vector<int> levels = Levels();
        int sum = 0;
        for (size_t i = 0; i < levels.size(); ++i) {
            sum += levels[i];
            if (i > 0) {
                EXPECT_LE(levels[i - 1], levels[i]) << "width " << width;
            }
        }
        // No panel collapses while another is still large.
        bool anyCollapsed = std::find(levels.begin(), levels.end(), 2) != levels.end();
        bool anyLarge = std::find(levels.begin(), levels.end(), 0) != levels.end();
        EXPECT_FALSE(anyCollapsed && anyLarge) << "width " << width;
        EXPECT_GE(sum, previousSum) << "width " << width;
        previousSum = sum;
        if (seen.empty() || seen.back() != levels) seen.push_back(levels);
        // Whatever is shown stays inside the bar and does not overlap.
        std::vector<RECT> shown;
        for (auto& p : home->Panels())
            for (auto& e : p->Elements()) {
                const RECT& r = e->Rect();
                if (IsRectEmpty(&r)) {
                    EXPECT_TRUE(p->IsCollapsed());
                    continue;
                }
                if (sum < 8) {
                    EXPECT_LE(r.right, width) << "width " << width;
                }
                for (const RECT& other : shown) {
                    RECT both;
                    EXPECT_FALSE(IntersectRect(&both, &r, &other)) << "width " << width;
                }
                shown.push_back(r);
            }
    }
    const std::vector<std::vector<int>> expected{{0, 0, 0, 0}, {0, 0, 0, 1}, {0, 0, 1, 1}, {0, 1, 1, 1}, {1, 1, 1, 1},
                                                 {1, 1, 1, 2}, {1, 1, 2, 2}, {1, 2, 2, 2}, {2, 2, 2, 2}};
    EXPECT_EQ(seen, expected);
}

TEST_F(RibbonTest, ClickingAnEnabledButtonPostsItsCommandToTheFrame) {
    Click(ribbon.Handle(), Centre(RectOf(511)));
    EXPECT_EQ(frame.commands, (std::vector<UINT>{511}));
}

TEST_F(RibbonTest, ADisabledButtonPostsNothing) {
    ribbon.SetCommandUpdater([](UINT id) {
        fw::CmdUI ui(id);
        ui.Enable(id != 502);
        return ui;
    });
    Click(ribbon.Handle(), Centre(RectOf(502)));
    EXPECT_TRUE(frame.commands.empty());
    Click(ribbon.Handle(), Centre(RectOf(501)));
    EXPECT_EQ(frame.commands, (std::vector<UINT>{501}));
}

TEST_F(RibbonTest, ClickingATabActivatesItsCategory) {
    ASSERT_EQ(ribbon.ActiveCategory(), home);
    POINT tab{};
    for (int x = 0; x < 400 && !ribbon.HitTestCategory(tab); ++x) tab = {x, fw::RibbonBar::kTabRowHeight / 2};
    ASSERT_EQ(ribbon.HitTestCategory(tab), home);
    while (ribbon.HitTestCategory(tab) == home) ++tab.x;
    tab.x += 6;
    ASSERT_EQ(ribbon.HitTestCategory(tab), view);
    Click(ribbon.Handle(), tab);
    EXPECT_EQ(ribbon.ActiveCategory(), view);
    EXPECT_TRUE(IsRectEmpty(&RectOf(500))) << "the elements of an inactive category are not shown";
    EXPECT_EQ(ribbon.HitTestCategory({tab.x, fw::RibbonBar::kTabRowHeight + 20}), nullptr);
    EXPECT_TRUE(frame.commands.empty());
}

TEST_F(RibbonTest, MinimizingLeavesOnlyTheTabRowAndTellsTheFrame) {
    EXPECT_EQ(ribbon.Height(), fw::RibbonBar::kTabRowHeight + fw::RibbonBar::kPanelAreaHeight);
    int sizes = frame.sizes;
    ribbon.SetMinimized(true);
    EXPECT_TRUE(ribbon.IsMinimized());
    EXPECT_EQ(ribbon.Height(), fw::RibbonBar::kTabRowHeight);
    EXPECT_GT(frame.sizes, sizes);
    EXPECT_TRUE(IsRectEmpty(&RectOf(500)));
    ribbon.SetMinimized(false);
    EXPECT_EQ(ribbon.Height(), fw::RibbonBar::kTabRowHeight + fw::RibbonBar::kPanelAreaHeight);
    EXPECT_FALSE(IsRectEmpty(&RectOf(500)));
}

TEST_F(RibbonTest, EnterInAComboBoxEditCallsOnEnter) {
    auto owned = std::make_unique<CountingCombo>(700, 120, L"Find:");
    CountingCombo* combo = owned.get();
    ribbon.AddToTabRow(std::move(owned));
    ribbon.RecalcLayout();
    HWND edit = combo->EditWindow();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(GetParent(edit), ribbon.Handle());
    EXPECT_TRUE(GetWindowLongW(edit, GWL_STYLE) & WS_VISIBLE) << "shown with its element";
    RECT r;
    GetWindowRect(edit, &r);
    EXPECT_EQ(r.right - r.left, 120 - 14);
    EXPECT_LE(r.bottom - r.top, fw::RibbonBar::kTabRowHeight);

    combo->SetEditText(L"needle");
    EXPECT_EQ(combo->EditText(), L"needle");
    SendMessageW(edit, WM_KEYDOWN, VK_RETURN, 1);
    EXPECT_EQ(combo->enters, 1);
    SendMessageW(edit, WM_KEYDOWN, 'A', 1);
    EXPECT_EQ(combo->enters, 1);

    // Minimized, the tab row still shows it; a hidden category's combo box hides its edit.
    auto inPanel = std::make_unique<CountingCombo>(701, 100, L"Zoom:");
    CountingCombo* panelCombo = inPanel.get();
    view->AddPanel(L"Zoom")->Add(std::move(inPanel));
    ribbon.RecalcLayout();
    ASSERT_NE(panelCombo->EditWindow(), nullptr);
    EXPECT_FALSE(GetWindowLongW(panelCombo->EditWindow(), GWL_STYLE) & WS_VISIBLE);
    ribbon.SetActiveCategory(view);
    EXPECT_TRUE(GetWindowLongW(panelCombo->EditWindow(), GWL_STYLE) & WS_VISIBLE);
}

TEST_F(RibbonTest, AltThenACategoryLetterOpensThatCategory) {
    SendMessageW(ribbon.Handle(), WM_SYSKEYDOWN, VK_MENU, 1);
    SendMessageW(ribbon.Handle(), WM_SYSKEYUP, VK_MENU, 0xC0000001);
    SendMessageW(ribbon.Handle(), WM_KEYDOWN, 'V', 1);
    EXPECT_EQ(ribbon.ActiveCategory(), view);
    // Without key tips a letter does nothing.
    SendMessageW(ribbon.Handle(), WM_KEYDOWN, VK_ESCAPE, 1);
    SendMessageW(ribbon.Handle(), WM_KEYDOWN, VK_ESCAPE, 1);
    SendMessageW(ribbon.Handle(), WM_KEYDOWN, 'H', 1);
    EXPECT_EQ(ribbon.ActiveCategory(), view);
}

TEST_F(RibbonTest, FindByIdFindsElementsOfEveryPlace) {
    EXPECT_EQ(ribbon.FindById(521)->Text(), L"Button 521");
    auto* main = ribbon.AddMainItem(std::make_unique<fw::RibbonButton>(800, L"&Open"));
    auto* bottom = ribbon.AddMainBottomButton(std::make_unique<fw::RibbonButton>(801, L"E&xit"));
    EXPECT_EQ(ribbon.FindById(800), main);
    EXPECT_EQ(ribbon.FindById(801), bottom);
    EXPECT_EQ(ribbon.FindById(999), nullptr);
    ribbon.SetQuickAccessCommands({511, 800});
    EXPECT_EQ(ribbon.FindById(511), home->Panels()[1]->Elements()[1].get());
}

} // namespace
