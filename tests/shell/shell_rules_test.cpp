// The rules of a tab's history and zoom, and of the web search address,
// that no window shows directly.
#include "shell/main_frame.h"
#include "shell/ribbon_elements.h"
#include "shell/vantrell_view.h"

#include "prefs/language.h"
#include "res/resource_ids.h"

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

TEST(WebSearch, EveryCharacterButLettersAndDigitsIsPercentEncoded) {
    EXPECT_EQ(UrlEncode(L"a b", true), L"a%20b");
    EXPECT_EQ(UrlEncode(L"a+b", true), L"a%2Bb");
    EXPECT_EQ(UrlEncode(L"\u00e9", true), L"%C3%A9");
    EXPECT_EQ(UrlEncode(L"100%", true), L"100%25");
    EXPECT_EQ(UrlEncode(L"a-b_c.d~e", true), L"a%2Db%5Fc%2Ed%7Ee");
    EXPECT_EQ(UrlEncode(L"\u20ac\U0001F600", true), L"%E2%82%AC%F0%9F%98%80");
    EXPECT_EQ(UrlEncode(L"tab\there", true), L"tab%09here");
    EXPECT_EQ(CMainFrame::SearchAddress(L"x y"), L"http://www.brenmoor.com/vantrell/vantrell-search.php?q=x%20y");
}

TEST(RibbonTooltips, DescriptionIsTheFirstLineAndTheTipTheSecondWithoutMnemonics) {
    InitLanguage(L"", 9);
    std::wstring tip = L"unchanged", description = L"unchanged";
    ASSERT_TRUE(TranslatedTooltip(ID_CLOSE_ALL_TABS, tip, description));
    EXPECT_EQ(description, L"Close all opened tabs for this window");
    EXPECT_EQ(tip, L"Close all tabs");
    ASSERT_TRUE(TranslatedTooltip(ID_LOOK_OFFICE2007_BLACK, tip, description));
    EXPECT_EQ(tip, L"Office 2007 (Black Style)");
    tip = description = L"unchanged";
    EXPECT_FALSE(TranslatedTooltip(4242, tip, description));
    EXPECT_EQ(tip, L"unchanged");
    ReleaseLanguage();
}

} // namespace
