// The rules of a tab's history and zoom that no window shows directly.
#include "shell/vantrell_view.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::wstring> Titles(const CVantrellView& view) {
    std::vector<std::wstring> out;
    for (const auto& e : view.m_arHistory) out.push_back(e->m_strTitle);
    return out;
}

std::vector<std::wstring> Titles(const std::vector<const CHistoryObj*>& list) {
    std::vector<std::wstring> out;
    for (const CHistoryObj* e : list) out.push_back(e->m_strTitle);
    return out;
}

using Names = std::vector<std::wstring>;

TEST(TabHistory, RepeatedPagesAreKeptOnceAndAFullListLosesItsNewestEntry) {
    CVantrellView view;
    view.AddHistory(L"a.html", L"A");
    view.AddHistory(L"b.html", L"B");
    view.m_nHistoryPos = 1;
    view.AddHistory(L"a.html", L"A");  // title and address both known: nothing changes
    EXPECT_EQ(Titles(view), (Names{L"B", L"A"}));
    EXPECT_EQ(view.m_nHistoryPos, 1);
    view.AddHistory(L"a.html", L"A again");  // same address, other title: a new entry
    EXPECT_EQ(Titles(view), (Names{L"A again", L"B", L"A"}));
    EXPECT_EQ(view.m_nHistoryPos, 0);

    for (int i = 0; i < 7; ++i) view.AddHistory(L"p.html", L"P" + std::to_wstring(i));
    ASSERT_EQ(view.m_arHistory.size(), 10u);
    const UINT oldestId = view.m_arHistory.back()->m_nID;
    view.AddHistory(L"new.html", L"New");
    ASSERT_EQ(view.m_arHistory.size(), 10u);
    EXPECT_EQ(view.m_arHistory[0]->m_strTitle, L"New");
    EXPECT_EQ(view.m_arHistory[0]->m_nID, 4105u);
    EXPECT_EQ(view.m_arHistory[1]->m_strTitle, L"P5") << "the newest entry (P6) made room";
    EXPECT_EQ(view.m_arHistory.back()->m_nID, oldestId);
}

TEST(TabHistory, ChoosingAnEntryMovesItLastAndTheListsFollowThePosition) {
    CVantrellView view;
    view.AddHistory(L"c.html", L"C");
    view.AddHistory(L"b.html", L"B");
    view.AddHistory(L"a.html", L"A");  // [A, B, C], position 0
    EXPECT_EQ(Titles(view.BackList()), (Names{L"B", L"C"}));
    EXPECT_TRUE(view.ForwardList().empty());

    view.SelectHistory(view.m_arHistory[2]->m_nID);  // C
    EXPECT_EQ(Titles(view), (Names{L"A", L"B", L"C"}));
    EXPECT_EQ(view.m_nHistoryPos, 2);
    EXPECT_TRUE(view.BackList().empty());
    EXPECT_EQ(Titles(view.ForwardList()), (Names{L"B", L"A"}));

    view.SelectHistory(view.m_arHistory[1]->m_nID);  // B
    EXPECT_EQ(Titles(view), (Names{L"A", L"C", L"B"}));
    EXPECT_EQ(view.m_nHistoryPos, 1);

    view.SelectHistory(4200);  // no such entry
    EXPECT_EQ(view.m_nHistoryPos, 1);
}

TEST(TabZoom, SliderPositionsAndZoomsMapBothWays) {
    EXPECT_EQ(CVantrellView::ZoomOfSliderPos(0), 10);
    EXPECT_EQ(CVantrellView::ZoomOfSliderPos(50), 55);
    EXPECT_EQ(CVantrellView::ZoomOfSliderPos(100), 100);
    EXPECT_EQ(CVantrellView::ZoomOfSliderPos(200), 999);
    EXPECT_EQ(CVantrellView::SliderPosOfZoom(55), 50);
    EXPECT_EQ(CVantrellView::SliderPosOfZoom(991), 199);
    EXPECT_EQ(CVantrellView::SliderPosOfZoom(100), 100);
}

} // namespace
