// Start-up decisions, in process and by starting the staged program.
#include "core/settings.h"
#include "app/vantrell_app.h"
#include "isolation/engine_table.h"

#include "framework/profile.h"
#include "framework/strings.h"
#include "prefs/language.h"
#include "res/resource_ids.h"
#include "shell/main_frame.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

#include <tlhelp32.h>
#include <algorithm>
#include <cwctype>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using testing_support::Launch;
using testing_support::Process;
using testing_support::TopLevelWindows;
using testing_support::WaitFor;
using testing_support::WindowText;

namespace {

TEST(StartupRules, ExecutableFolder) {
    EXPECT_EQ(fw::FolderOfPath(L"C:\\Program Files\\Vantrell\\vantrell.exe"), L"C:\\Program Files\\Vantrell\\");
    EXPECT_EQ(fw::FolderOfPath(L"C:\\vantrell.exe"), L"C:\\");
    EXPECT_EQ(fw::FolderOfPath(L"vantrell.exe"), L"");
    EXPECT_EQ(fw::FolderOfPath(L"C:\\dir\\"), L"C:\\dir\\");  // empty base name
}

TEST(StartupRules, CurrentDirectoryBecomesTheExecutablesFolder) {
    wchar_t before[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, before);
    ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\windows"));
    ASSERT_TRUE(MakeExecutableFolderCurrent());
    wchar_t now[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, now);
    std::wstring stage = testing_support::StageFolder();
    // GetCurrentDirectory reports the folder without its trailing backslash.
    EXPECT_TRUE(fw::EqualsNoCase(std::wstring(now) + L"\\", stage)) << now;
    SetCurrentDirectoryW(before);
}

TEST(StartupRules, LanguageFolderOfAVersion9ChildGoesUpOneLevel) {
    CCustomCommandLineInfo plain, child7, child9;
    fw::ParseCommandLine(child7, {L"-pcode=P_ie7_10"});
    fw::ParseCommandLine(child9, {L"-pcode=P_ie9_10"});
    EXPECT_EQ(LanguageBaseFolder(L"C:\\Vantrell", plain), L"C:\\Vantrell");
    EXPECT_EQ(LanguageBaseFolder(L"C:\\Vantrell", child7), L"C:\\Vantrell");
    EXPECT_EQ(LanguageBaseFolder(L"C:\\Vantrell", child9), L"C:\\Vantrell\\..\\");
    EXPECT_EQ(LanguageBaseFolder(L"", child9), L"\\..\\");
}

TEST(StartupRules, CommandLineAddressesOpenOnlyForAvailableVersions) {
    CCustomCommandLineInfo info;
    fw::ParseCommandLine(info, {L"-all", L"x.html", L"-ie7", L"y.html"});
    IEENGINE saved[kVersionCount];
    memcpy(saved, g_engines, sizeof(saved));
    memset(g_engines, 0, sizeof(g_engines));
    g_engines[IE7].loaded = 1;
    g_engines[IEDefault].loaded = 1;

    auto mt = StartupAddresses(info, false);
    ASSERT_EQ(mt.size(), 3u);
    EXPECT_EQ(mt[0].version, IE7);
    EXPECT_EQ(mt[0].address, L"x.html");
    EXPECT_EQ(mt[1].version, IE7);
    EXPECT_EQ(mt[1].address, L"y.html");
    EXPECT_EQ(mt[2].version, IEDefault);

    // Multi-process mode opens every version that has a template (not 4 and 5).
    auto mp = StartupAddresses(info, true);
    ASSERT_EQ(mp.size(), 7u);
    EXPECT_EQ(mp[0].version, IE55);
    EXPECT_EQ(mp.back().version, IEDefault);
    memcpy(g_engines, saved, sizeof(saved));
}

TEST(MainFrameTitle, ComposesModeAndElevation) {
    InitLanguage(L"", 9);
    EXPECT_EQ(CMainFrame::ComposeTitle(L"Vantrell", false, false), L"Vantrell (multi-thread mode)");
    EXPECT_EQ(CMainFrame::ComposeTitle(L"Vantrell", true, false), L"Vantrell (multi-process mode)");
    EXPECT_EQ(CMainFrame::ComposeTitle(L"Vantrell", true, true), L"Vantrell (multi-process mode | Administrator)");
    ReleaseLanguage();
}

// Starts the real program and inspects what it shows. The settings live in
// the program's own profile key, so each case restores it afterwards.
class ProgramStart : public ::testing::Test {
protected:
    void SetUp() override {
        profile.SetRegistryKey(L"Brenmoor", L"Vantrell");
        RegDeleteTreeW(HKEY_CURRENT_USER, profile.KeyPath().c_str());
    }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, profile.KeyPath().c_str()); }

    // The program's main window once it shows, or null.
    static HWND WaitForMainWindow(const Process& p) {
        HWND found = nullptr;
        WaitFor(
            [&] {
                for (HWND h : TopLevelWindows(p.id, L"fw.FrameWnd"))
                    if (IsWindowVisible(h)) found = h;
                return found != nullptr;
            },
            15s);
        return found;
    }

    static void CloseAndWait(Process& p, HWND main) {
        PostMessageW(main, WM_CLOSE, 0, 0);
        DWORD code = 1234;
        EXPECT_TRUE(p.WaitForExit(10000, &code));
        EXPECT_EQ(code, 0u);
    }

    static std::wstring Expected(UINT modeId, const std::wstring& modeText) {
        (void)modeId;
        std::wstring title = L"Vantrell (" + modeText;
        if (IsProcessElevated()) title += L" | " + TranslatedString(IDS_ADMINISTRATOR);
        return title + L")";
    }

    fw::Profile profile;
};

TEST_F(ProgramStart, PlainStartShowsTheMultiThreadTitle) {
    InitLanguage(L"", 9);
    Process p;
    ASSERT_TRUE(Launch(p, L"vantrell.exe", L""));
    HWND main = WaitForMainWindow(p);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(WindowText(main), Expected(IDS_MULTI_THREAD_MODE, L"multi-thread mode"));
    CloseAndWait(p, main);
    ReleaseLanguage();
}

TEST_F(ProgramStart, MultiProcessSettingChangesTheTitle) {
    InitLanguage(L"", 9);
    ASSERT_TRUE(profile.WriteInt(setting::kSection, setting::kMultiProcessMode, 1));
    Process p;
    ASSERT_TRUE(Launch(p, L"vantrell.exe", L"-ie7 a.html"));
    HWND main = WaitForMainWindow(p);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(WindowText(main), Expected(IDS_MULTI_PROCESS_MODE, L"multi-process mode"));
    CloseAndWait(p, main);
    ReleaseLanguage();
}

TEST_F(ProgramStart, FrenchLanguageSetting) {
    ASSERT_TRUE(profile.WriteInt(setting::kSection, setting::kLangId, 12));
    std::wstring french;
    ASSERT_TRUE(ReadLanguageString((testing_support::StageFolder() + L"Languages\\FRENCH.lang").c_str(), french,
                                   IDS_MULTI_THREAD_MODE));
    ASSERT_NE(french, L"multi-thread mode");
    std::wstring admin;
    ReadLanguageString((testing_support::StageFolder() + L"Languages\\FRENCH.lang").c_str(), admin,
                       IDS_ADMINISTRATOR);

    // Started from another folder: the program still finds its languages.
    Process p;
    ASSERT_TRUE(Launch(p, L"vantrell.exe", L"", L"C:\\windows"));
    HWND main = WaitForMainWindow(p);
    ASSERT_NE(main, nullptr);
    std::wstring expected = L"Vantrell (" + french + (IsProcessElevated() ? L" | " + admin : L"") + L")";
    EXPECT_EQ(WindowText(main), expected);
    CloseAndWait(p, main);
}

TEST_F(ProgramStart, UnknownChildVersionStartsAPlainMainProcess) {
    Process p;
    ASSERT_TRUE(Launch(p, L"vantrell.exe", L"-pcode=P1_ie10_1F4"));
    HWND main = WaitForMainWindow(p);
    ASSERT_NE(main, nullptr);
    CloseAndWait(p, main);
}

// A window of this test process that stands in for a tab's view.
struct ParentWindow {
    ParentWindow() {
        hwnd = CreateWindowExW(0, L"STATIC", L"parent", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    }
    ~ParentWindow() { DestroyWindow(hwnd); }
    HWND hwnd;
};

TEST_F(ProgramStart, ChildOfAVersionThatCannotLoadShowsTheErrorOwnedByTheParent) {
    InitLanguage(L"", 9);
    // A copy of the program without any engine files beside it.
    testing_support::TempDir dir;
    ASSERT_TRUE(CopyFileW((testing_support::StageFolder() + L"vantrell.exe").c_str(),
                          (dir.Path() + L"vantrell.exe").c_str(), FALSE));
    ParentWindow parent;
    ASSERT_NE(parent.hwnd, nullptr);
    Process p;
    ASSERT_TRUE(Launch(p, dir.Path() + L"vantrell.exe",
                       fw::Format(L"-pcode=Pipe1_ie7_%X", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(parent.hwnd))),
                       dir.Path()));
    HWND box = nullptr;
    ASSERT_TRUE(WaitFor(
        [&] {
            auto dialogs = TopLevelWindows(p.id, L"#32770");
            box = dialogs.empty() ? nullptr : dialogs.front();
            // The box's window exists a moment before its text does.
            return box != nullptr && !testing_support::MessageBoxText(box).empty();
        },
        15s));
    EXPECT_EQ(WindowText(box), L"Vantrell");
    EXPECT_EQ(testing_support::MessageBoxText(box), TranslatedString(IDS_CANNOT_LOAD_VERSION));
    EXPECT_EQ(GetWindow(box, GW_OWNER), parent.hwnd);
    // The child never creates a main window.
    EXPECT_TRUE(TopLevelWindows(p.id, L"fw.FrameWnd").empty());
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    DWORD code = 1234;
    EXPECT_TRUE(p.WaitForExit(10000, &code));
    ReleaseLanguage();
}

TEST_F(ProgramStart, ChildOfAnInstalledVersionShowsNoError) {
    // Version 7's stand-in files lie beside the staged program.
    Process p;
    ASSERT_TRUE(Launch(p, L"vantrell.exe", L"-pcode=Pipe3_ie7_0"));
    DWORD code = 1234;
    EXPECT_TRUE(p.WaitForExit(15000, &code));
}

// Names (lower case) of the modules a process has loaded.
std::vector<std::wstring> LoadedModules(DWORD pid) {
    std::vector<std::wstring> names;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (snap == INVALID_HANDLE_VALUE) return names;
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL ok = Module32FirstW(snap, &entry); ok; ok = Module32NextW(snap, &entry)) {
        std::wstring n = entry.szModule;
        for (auto& c : n) c = static_cast<wchar_t>(towlower(c));
        names.push_back(n);
    }
    CloseHandle(snap);
    return names;
}

bool Has(const std::vector<std::wstring>& list, const wchar_t* name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

TEST_F(ProgramStart, MultiThreadModeLoadsTheEngineFilesAtStart) {
    Process p;
    ASSERT_TRUE(Launch(p, L"vantrell.exe", L""));
    HWND main = WaitForMainWindow(p);
    ASSERT_NE(main, nullptr);
    auto modules = LoadedModules(p.id);
    for (const wchar_t* name : {L"5hdocvw.dll", L"5shtml.dll", L"6hdocvw.dll", L"6shtml.dll", L"6script.dll",
                                L"7eframe.dll", L"7shtml.dll", L"7rlmon.dll", L"7xtrans.dll", L"8eframe.dll",
                                L"8shtml.dll", L"8ininet.dll", L"urlmon.dll", L"wininet.dll", L"inetcpl.cpl"})
        EXPECT_TRUE(Has(modules, name)) << name;
    EXPECT_FALSE(Has(modules, L"6xtrans.dll"));
    CloseAndWait(p, main);
}

TEST_F(ProgramStart, MultiProcessModeLoadsNoEngine) {
    ASSERT_TRUE(profile.WriteInt(setting::kSection, setting::kMultiProcessMode, 1));
    Process p;
    ASSERT_TRUE(Launch(p, L"vantrell.exe", L""));
    HWND main = WaitForMainWindow(p);
    ASSERT_NE(main, nullptr);
    auto modules = LoadedModules(p.id);
    for (const wchar_t* name : {L"5shtml.dll", L"6shtml.dll", L"7shtml.dll", L"8shtml.dll", L"7eframe.dll"})
        EXPECT_FALSE(Has(modules, name)) << name;
    CloseAndWait(p, main);
}

TEST_F(ProgramStart, ChildOfTheDefaultEngineNeverShowsTheError) {
    for (const wchar_t* version : {L"ieD", L"ie9"}) {
        Process p;
        ASSERT_TRUE(Launch(p, L"vantrell.exe", std::wstring(L"-pcode=Pipe2_") + version + L"_0"));
        DWORD code = 1234;
        // A message box would keep the process alive until someone closed it.
        EXPECT_TRUE(p.WaitForExit(15000, &code)) << version;
    }
}

} // namespace
