// The installer made by the build, run silently under Wine: what it places,
// what it registers, that the installed program finds its languages through
// "Install_Dir", and that the uninstaller takes everything away again but
// the user's settings.
#include "core/locations.h"
#include "core/settings.h"
#include "framework/handles.h"
#include "framework/profile.h"
#include "framework/strings.h"
#include "prefs/language.h"
#include "res/resource_ids.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

#include <shlobj.h>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using testing_support::Launch;
using testing_support::Process;
using testing_support::StageFolder;
using testing_support::TopLevelWindows;
using testing_support::WaitFor;
using testing_support::WindowText;

namespace {

constexpr const wchar_t* kUninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantrell";

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A string value of HKLM; nullopt when the key or value is missing.
std::optional<std::wstring> MachineString(const wchar_t* key, const wchar_t* value) {
    wchar_t buffer[1024] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(buffer);
}

std::wstring StartMenuFolder() {
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, path);
    return std::wstring(path) + L"\\Vantrell";
}

// The title of the main window of `exe` started in `workingDir`; the
// program is closed again.
std::wstring MainWindowTitle(const std::wstring& exe, const std::wstring& workingDir) {
    Process p;
    if (!Launch(p, exe, L"", workingDir)) return L"(not started)";
    HWND main = nullptr;
    WaitFor(
        [&] {
            for (HWND h : TopLevelWindows(p.id, L"fw.FrameWnd"))
                if (IsWindowVisible(h)) main = h;
            return main != nullptr;
        },
        30s);
    if (!main) return L"(no window)";
    std::wstring title = WindowText(main);
    PostMessageW(main, WM_CLOSE, 0, 0);
    p.WaitForExit(15000);
    return title;
}

class Installer : public ::testing::Test {
protected:
    void SetUp() override {
        profile.SetRegistryKey(L"Brenmoor", L"Vantrell");
        Clean();
    }
    void TearDown() override { Clean(); }
    void Clean() {
        RegDeleteTreeW(HKEY_CURRENT_USER, profile.KeyPath().c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kMachineKey);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kUninstallKey);
    }

    fw::Profile profile;
    testing_support::TempDir temp;
};

TEST_F(Installer, SilentInstallRunsInFrenchThroughInstallDirAndUninstallLeavesOnlyTheSettings) {
    const std::wstring setup = StageFolder() + L"..\\" VANTRELL_SETUP_NAME;
    ASSERT_TRUE(Exists(setup)) << "the build made no installer (is makensis installed?)";
    const std::wstring dir = temp.Path() + L"Program Files\\Vantrell";

    // Silent, into a folder of our own ("/D=" comes last and unquoted).
    Process install;
    ASSERT_TRUE(Launch(install, setup, L"/S /D=" + dir));
    DWORD code = 99;
    ASSERT_TRUE(install.WaitForExit(180000, &code));
    EXPECT_EQ(code, 0u);

    for (const wchar_t* file : {L"vantrell.exe", L"uninstall.exe", L"Languages\\ENGLISH.lang",
                                L"Languages\\FRENCH.lang", L"Languages\\GERMAN.lang", L"samples\\compare.html",
                                L"5hdocvw.dll", L"6hdocvw.dll", L"7eframe.dll", L"8eframe.dll",
                                L"ie9\\vantrell.ie9.exe", L"ie9\\vantrell.ie9.exe.local\\ieframe.dll"})
        EXPECT_TRUE(Exists(dir + L"\\" + file)) << fw::ToNarrow(file);
    // The stage's test programs are no part of the product.
    EXPECT_FALSE(Exists(dir + L"\\installer_tests.exe"));
    EXPECT_FALSE(Exists(dir + L"\\vantrell_bench.exe"));

    const auto installDir = MachineString(kMachineKey, kInstallDirValue);
    ASSERT_TRUE(installDir.has_value());
    EXPECT_TRUE(fw::EqualsNoCase(*installDir, dir)) << fw::ToNarrow(*installDir);
    EXPECT_EQ(MachineString(kUninstallKey, L"DisplayName").value_or(L""), L"Vantrell");
    EXPECT_NE(MachineString(kUninstallKey, L"UninstallString").value_or(L"").find(dir + L"\\uninstall.exe"),
              std::wstring::npos);
    EXPECT_TRUE(Exists(StartMenuFolder() + L"\\Vantrell.lnk"));
    EXPECT_TRUE(Exists(StartMenuFolder() + L"\\Uninstall Vantrell.lnk"));

    // French (language 12): the installed program, and a copy of it in a
    // folder without languages started from yet another folder, which can
    // find them only through "Install_Dir".
    ASSERT_TRUE(profile.WriteInt(setting::kSection, setting::kLangId, 12));
    std::wstring french;
    ASSERT_TRUE(ReadLanguageString((dir + L"\\Languages\\FRENCH.lang").c_str(), french, IDS_MULTI_THREAD_MODE));
    ASSERT_NE(french, L"multi-thread mode");
    const std::wstring frenchTitle = L"Vantrell (" + french;
    EXPECT_EQ(MainWindowTitle(dir + L"\\vantrell.exe", dir).rfind(frenchTitle, 0), 0u);
    const std::wstring elsewhere = temp.Path() + L"elsewhere\\";
    ASSERT_TRUE(CreateDirectoryW(elsewhere.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW((dir + L"\\vantrell.exe").c_str(), (elsewhere + L"vantrell.exe").c_str(), FALSE));
    EXPECT_EQ(MainWindowTitle(elsewhere + L"vantrell.exe", L"C:\\windows").rfind(frenchTitle, 0), 0u);

    // The uninstaller runs from a copy of itself and returns at once: the
    // folder going away is its end.
    Process uninstall;
    ASSERT_TRUE(Launch(uninstall, dir + L"\\uninstall.exe", L"/S", temp.Path()));
    EXPECT_TRUE(uninstall.WaitForExit(60000, &code));
    EXPECT_TRUE(WaitFor([&] { return !Exists(dir); }, 90s)) << "files are left in the installation folder";
    EXPECT_FALSE(Exists(StartMenuFolder()));
    EXPECT_FALSE(MachineString(kMachineKey, kInstallDirValue).has_value());
    EXPECT_FALSE(MachineString(kUninstallKey, L"DisplayName").has_value());
    // The user's settings stay.
    EXPECT_EQ(profile.GetInt(setting::kSection, setting::kLangId, 0), 12);
    // Without "Install_Dir" the copy no longer finds French.
    EXPECT_EQ(MainWindowTitle(elsewhere + L"vantrell.exe", L"C:\\windows").rfind(frenchTitle, 0), std::wstring::npos);
}

} // namespace
