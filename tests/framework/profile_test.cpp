#include "framework/profile.h"
#include "framework/strings.h"

#include <gtest/gtest.h>

namespace {

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        profile.SetRegistryKey(L"BrenmoorTests", L"ProfileTest");
        RegDeleteTreeW(HKEY_CURRENT_USER, profile.KeyPath().c_str());
    }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, profile.KeyPath().c_str()); }
    fw::Profile profile;
};

TEST_F(ProfileTest, KeyPathFollowsCompanyAndApplication) {
    EXPECT_EQ(profile.KeyPath(), L"Software\\BrenmoorTests\\ProfileTest");
    fw::Profile unset;
    EXPECT_FALSE(unset.IsSet());
    EXPECT_EQ(unset.GetInt(L"Options", L"x", 17), 17);
    EXPECT_FALSE(unset.WriteInt(L"Options", L"x", 1));
}

TEST_F(ProfileTest, IntegersRoundTripThroughDwordValues) {
    EXPECT_EQ(profile.GetInt(L"Options", L"Number", 42), 42);
    ASSERT_TRUE(profile.WriteInt(L"Options", L"Number", -5));
    EXPECT_EQ(profile.GetInt(L"Options", L"Number", 42), -5);

    // Stored as REG_DWORD in the section's sub-key.
    DWORD raw = 0, size = sizeof(raw), type = 0;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Software\\BrenmoorTests\\ProfileTest\\Options", L"Number",
                           RRF_RT_ANY, &type, &raw, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(raw, 0xFFFFFFFBu);
}

TEST_F(ProfileTest, StringsRoundTripIncludingLongOnes) {
    EXPECT_EQ(profile.GetString(L"Options", L"Home", L"default"), L"default");
    std::wstring longText(5000, L'x');
    longText += L"\u00e9\u4e2d";
    ASSERT_TRUE(profile.WriteString(L"Options", L"Home", longText));
    EXPECT_EQ(profile.GetString(L"Options", L"Home"), longText);
    ASSERT_TRUE(profile.WriteString(L"Options", L"Empty", L""));
    EXPECT_EQ(profile.GetString(L"Options", L"Empty", L"default"), L"");
}

TEST_F(ProfileTest, WrongTypesGiveDefaults) {
    ASSERT_TRUE(profile.WriteString(L"Options", L"Number", L"12"));
    ASSERT_TRUE(profile.WriteInt(L"Options", L"Text", 12));
    EXPECT_EQ(profile.GetInt(L"Options", L"Number", 3), 3);
    EXPECT_EQ(profile.GetString(L"Options", L"Text", L"d"), L"d");
}

TEST_F(ProfileTest, DeleteValue) {
    EXPECT_TRUE(profile.DeleteValue(L"Options", L"Never"));  // nothing there: still gone
    ASSERT_TRUE(profile.WriteInt(L"Options", L"Gone", 1));
    ASSERT_TRUE(profile.DeleteValue(L"Options", L"Gone"));
    EXPECT_EQ(profile.GetInt(L"Options", L"Gone", 9), 9);
}

TEST_F(ProfileTest, WorkspaceValuesLiveInTheirOwnSection) {
    EXPECT_EQ(profile.GetWorkspaceInt(L"ApplicationLook", 215), 215);
    ASSERT_TRUE(profile.WriteWorkspaceInt(L"ApplicationLook", 216));
    EXPECT_EQ(profile.GetWorkspaceInt(L"ApplicationLook", 215), 216);
    EXPECT_EQ(profile.GetInt(L"Workspace", L"ApplicationLook", 0), 216);
    EXPECT_EQ(profile.GetInt(L"Options", L"ApplicationLook", 0), 0);
}

TEST(Strings, ResourceStringsTellMissingFromEmpty) {
    // This executable carries the program's string table.
    auto title = fw::LoadResourceString(57344);
    ASSERT_TRUE(title.has_value());
    EXPECT_EQ(*title, L"Vantrell");
    EXPECT_FALSE(fw::LoadResourceString(334).has_value());   // no entry in its block
    EXPECT_FALSE(fw::LoadResourceString(9999).has_value());  // no block at all
}

TEST(Strings, CodePageConversionsRoundTrip) {
    std::wstring text = L"caf\u00e9 na\u00efve \u20ac";
    EXPECT_EQ(fw::ToWide(fw::ToNarrow(text, CP_UTF8), CP_UTF8), text);
    EXPECT_EQ(fw::ToWide(fw::ToNarrow(text, 1252), 1252), text);
    EXPECT_EQ(fw::Format(L"%d-%s-%X", 5, L"ab", 255u), L"5-ab-FF");
    EXPECT_TRUE(fw::EqualsNoCase(L"MsHtml.DLL", L"mshtml.dll"));
    EXPECT_FALSE(fw::EqualsNoCase(L"mshtml.dll", L"mshtml.dl"));
}

} // namespace
