#include "core/locations.h"
#include "core/settings.h"
#include "core/versions.h"
#include "isolation/engine_table.h"

#include "framework/profile.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

namespace {

TEST(InstalledVersion, MapsVersionTexts) {
    EXPECT_EQ(MapInstalledIEVersion(L"9.0.8112.16421"), IEDefault);
    EXPECT_EQ(MapInstalledIEVersion(L"5.50.4807.2300"), IE55);
    EXPECT_EQ(MapInstalledIEVersion(L"5.00.2920.0000"), IE5);
    EXPECT_EQ(MapInstalledIEVersion(L"not found"), IEDefault);
    EXPECT_EQ(MapInstalledIEVersion(L"4.72.3110.0"), IE4);
    EXPECT_EQ(MapInstalledIEVersion(L"6.0.2900.5512"), IE6);
    EXPECT_EQ(MapInstalledIEVersion(L"7.0.5730.13"), IE7);
    EXPECT_EQ(MapInstalledIEVersion(L"8.0.6001.18702"), IE8);
    EXPECT_EQ(MapInstalledIEVersion(L"11.0.9600.16428"), IEDefault);
    EXPECT_EQ(MapInstalledIEVersion(L""), IEDefault);
    EXPECT_EQ(MapInstalledIEVersion(L"8"), IEDefault);   // no dot: major 0
    EXPECT_EQ(MapInstalledIEVersion(L"5."), IE5);        // nothing after the dot
    EXPECT_EQ(MapInstalledIEVersion(L"5.5"), IE55);
}

TEST(InstalledVersion, ReadsTheRegistry) {
    std::wstring text = GetInstalledIEVersionString();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(GetInstalledIEVersion(), MapInstalledIEVersion(text));
}

TEST(ProductVersion, TrimsCharactersNotGroups) {
    EXPECT_EQ(FormatProductVersion(MAKELONG(2, 1), MAKELONG(0, 0)), L"1.2");
    EXPECT_EQ(FormatProductVersion(MAKELONG(0, 3), MAKELONG(0, 0)), L"3.0");
    EXPECT_EQ(FormatProductVersion(MAKELONG(0, 2), MAKELONG(0, 10)), L"2.0.1");
    EXPECT_EQ(FormatProductVersion(0, 0), L".0");
    EXPECT_EQ(FormatProductVersion(MAKELONG(5, 1), MAKELONG(4, 3)), L"1.5.3.4");
    EXPECT_EQ(FormatProductVersion(MAKELONG(0, 10), MAKELONG(0, 0)), L"1.0");
    EXPECT_EQ(FormatProductVersion(MAKELONG(65535, 65535), MAKELONG(65535, 65535)), L"65535.65535.65535.65535");
}

TEST(ProductVersion, ComesFromTheProgramsVersionResource) {
    DWORD ms = 0, ls = 0;
    ASSERT_TRUE(ReadProductVersion(testing_support::StageFolder() + L"vantrell.exe", ms, ls));
    EXPECT_EQ(FormatProductVersion(ms, ls), L"0.1");
    EXPECT_FALSE(ReadProductVersion(testing_support::StageFolder() + L"no-such-file.exe", ms, ls));
    // This test executable carries the program's resources, version block included.
    EXPECT_EQ(GetProductVersionString(), L"0.1");
}

TEST(HomePage, IsTheSiteBaseWithTheVersion) {
    EXPECT_EQ(GetDefaultHomePage(), std::wstring(kSiteBaseAddress) + L"?version=" + GetProductVersionString());
    EXPECT_NE(std::wstring(kSiteBaseAddress).find(L"/vantrell/"), std::wstring::npos);
    EXPECT_EQ(g_strHomePage, kSiteBaseAddress);
}

class SettingsRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        profile.SetRegistryKey(L"BrenmoorTests", L"SettingsTest");
        RegDeleteTreeW(HKEY_CURRENT_USER, profile.KeyPath().c_str());
    }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, profile.KeyPath().c_str()); }
    fw::Profile profile;
};

TEST_F(SettingsRegistry, MissingValuesReadAsDefaults) {
    Settings s = ReadSettings(profile);
    EXPECT_EQ(s.langId, 0);
    EXPECT_FALSE(s.multiProcessMode);
    EXPECT_FALSE(s.disableFilters);
    EXPECT_EQ(s.searchBehaviour, 1);
    EXPECT_FALSE(s.disableWindowExternal);
    EXPECT_EQ(s.homePage, GetDefaultHomePage());
    EXPECT_EQ(s.vertLeftSplitter, 200);
    EXPECT_EQ(s.lastVersionCheck, L"");
    EXPECT_FALSE(s.disableWin7Taskbar);
    for (int v = 0; v < kVersionCount; ++v) EXPECT_TRUE(ReadOpenAll(profile, static_cast<IEVERSION>(v)));
}

TEST_F(SettingsRegistry, StoredValuesAreReadAndFlagsNeedExactlyOne) {
    const wchar_t* s = setting::kSection;
    ASSERT_TRUE(profile.WriteInt(s, setting::kLangId, 0x1040C));  // only the low 16 bits count
    ASSERT_TRUE(profile.WriteInt(s, setting::kMultiProcessMode, 1));
    ASSERT_TRUE(profile.WriteInt(s, setting::kDisableFilters, 2));  // anything but 1 is off
    ASSERT_TRUE(profile.WriteInt(s, setting::kSearchBehaviour, 3));
    ASSERT_TRUE(profile.WriteInt(s, setting::kDisableWindowExternal, 1));
    ASSERT_TRUE(profile.WriteString(s, setting::kHomePage, L"http://127.0.0.1/start.html"));
    ASSERT_TRUE(profile.WriteInt(s, setting::kVertLeftSplitter, 321));
    ASSERT_TRUE(profile.WriteString(s, setting::kLastVersionCheck, L"2026-12-01 10:00"));
    ASSERT_TRUE(profile.WriteInt(s, setting::kDisableWin7Taskbar, 1));
    ASSERT_TRUE(profile.WriteInt(s, OpenAllSettingName(IE7), 0));
    ASSERT_TRUE(profile.WriteInt(s, OpenAllSettingName(IE55), 5));

    Settings r = ReadSettings(profile);
    EXPECT_EQ(r.langId, 0x040C);
    EXPECT_TRUE(r.multiProcessMode);
    EXPECT_FALSE(r.disableFilters);
    EXPECT_EQ(r.searchBehaviour, 3);
    EXPECT_TRUE(r.disableWindowExternal);
    EXPECT_EQ(r.homePage, L"http://127.0.0.1/start.html");
    EXPECT_EQ(r.vertLeftSplitter, 321);
    EXPECT_EQ(r.lastVersionCheck, L"2026-12-01 10:00");
    EXPECT_TRUE(r.disableWin7Taskbar);
    EXPECT_FALSE(ReadOpenAll(profile, IE7));
    EXPECT_FALSE(ReadOpenAll(profile, IE55));
    EXPECT_TRUE(ReadOpenAll(profile, IE8));
}

TEST_F(SettingsRegistry, SearchBehaviourIsClamped) {
    for (int stored : {0, 4, -1, 100}) {
        ASSERT_TRUE(profile.WriteInt(setting::kSection, setting::kSearchBehaviour, stored));
        EXPECT_EQ(ReadSettings(profile).searchBehaviour, 1) << stored;
    }
    for (int stored : {1, 2, 3}) {
        ASSERT_TRUE(profile.WriteInt(setting::kSection, setting::kSearchBehaviour, stored));
        EXPECT_EQ(ReadSettings(profile).searchBehaviour, stored);
    }
}

TEST_F(SettingsRegistry, ValuesOfTheWrongTypeReadAsDefaults) {
    ASSERT_TRUE(profile.WriteString(setting::kSection, setting::kMultiProcessMode, L"1"));
    ASSERT_TRUE(profile.WriteInt(setting::kSection, setting::kHomePage, 7));
    Settings r = ReadSettings(profile);
    EXPECT_FALSE(r.multiProcessMode);
    EXPECT_EQ(r.homePage, GetDefaultHomePage());
}

TEST(Versions, TablesAgree) {
    const wchar_t* codes[] = {L"", L"", L"5", L"6", L"7", L"8", L"9", L"D"};
    const UINT templates[] = {312, 313, 315, 314, 317, 319, 334, 316};
    for (int v = 0; v < kVersionCount; ++v) {
        EXPECT_STREQ(g_versionCodes[v], codes[v]);
        EXPECT_EQ(TemplateIdOfVersion(static_cast<IEVERSION>(v)), templates[v]);
        IEVERSION back = IE4;
        ASSERT_TRUE(VersionOfTemplateId(templates[v], back));
        EXPECT_EQ(back, v);
    }
    IEVERSION unused;
    EXPECT_FALSE(VersionOfTemplateId(318, unused));
    EXPECT_EQ(OpenAllSettingName(IE4), L"OpenAll_IE");
    EXPECT_EQ(OpenAllSettingName(IE55), L"OpenAll_IE5");
    EXPECT_EQ(OpenAllSettingName(IEDefault), L"OpenAll_IED");
}

TEST(Versions, AvailabilityFollowsTheLoadedFlag) {
    IEENGINE saved[kVersionCount];
    memcpy(saved, g_engines, sizeof(saved));
    memset(g_engines, 0, sizeof(g_engines));
    g_engines[IE7].loaded = 1;
    g_engines[IE8].loaded = 2;  // only the value 1 counts
    for (int v = 0; v < kVersionCount; ++v) {
        EXPECT_TRUE(IsVersionAvailable(static_cast<IEVERSION>(v), true));
        EXPECT_EQ(IsVersionAvailable(static_cast<IEVERSION>(v), false), v == IE7) << v;
    }
    memcpy(g_engines, saved, sizeof(saved));
}

} // namespace
