// The isolation layer as a child process installs it (one version for the
// whole process), nested installation, removal, and versions whose files
// are incomplete.
#include "isolation_support.h"

#include "interception/interception.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace isolation_test;

namespace {

struct CurrentDirectory {
    explicit CurrentDirectory(const std::wstring& dir) {
        GetCurrentDirectoryW(MAX_PATH, saved);
        SetCurrentDirectoryW(dir.c_str());
    }
    ~CurrentDirectory() { SetCurrentDirectoryW(saved); }
    wchar_t saved[MAX_PATH] = {};
};

std::vector<BYTE> FirstBytes(const void* function, size_t n = 16) {
    auto p = static_cast<const BYTE*>(function);
    return std::vector<BYTE>(p, p + n);
}

void* ExportOf(const wchar_t* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(module), name));
}

class SingleVersion : public ::testing::Test {
protected:
    void SetUp() override {
        OleInitialize(nullptr);
        SetCurrentDirectoryW(testing_support::StageFolder().c_str());
    }
    void TearDown() override {
        while (g_hookRefCount > 0) ASSERT_EQ(RemoveEngineHooks(), NO_ERROR);
        OleUninitialize();
    }
};

TEST_F(SingleVersion, EveryThreadBelongsToTheOneVersion) {
    void* loadLibrary = ExportOf(L"kernel32.dll", "LoadLibraryW");
    auto before = FirstBytes(loadLibrary);
    EXPECT_EQ(InstallEngineHooks(IE7, false, true), NO_ERROR);
    ASSERT_TRUE(AreEngineHooksAttached());
    EXPECT_TRUE(g_singleVersionMode);
    EXPECT_NE(FirstBytes(loadLibrary), before);
    EXPECT_EQ(GetCurrentEngine(), &g_engines[IE7]);
    EXPECT_EQ(LoadLibraryA("mshtml.dll"), g_engines[IE7].hMshtml);
    // Threads nobody bound, created with the system function (no thread
    // detour is attached in this mode).
    EXPECT_EQ(RealCreateThread, nullptr);
    IEENGINE* seen = nullptr;
    OnThread(-1, [&] {
        seen = GetCurrentEngine();
        IUnknown* doc = nullptr;
        ASSERT_EQ(CoCreateInstance(kHtmlDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&doc)),
                  S_OK);
        EXPECT_EQ(OriginOf(doc), L"7shtml.dll");
        doc->Release();
    });
    EXPECT_EQ(seen, &g_engines[IE7]);
    for (IEVERSION v : {IE55, IE6, IE8, IEDefault}) EXPECT_EQ(g_engines[v].loaded, 0u) << v;

    EXPECT_EQ(RemoveEngineHooks(), NO_ERROR);
    EXPECT_FALSE(AreEngineHooksAttached());
    EXPECT_EQ(FirstBytes(loadLibrary), before);  // original bytes restored exactly
    EXPECT_EQ(GetModuleHandleW(L"7shtml.dll"), nullptr);  // freed at removal
    EXPECT_EQ(g_engines[IE7].loaded, 0u);
}

TEST_F(SingleVersion, NestedInstallationOnlyCounts) {
    EXPECT_EQ(InstallEngineHooks(IE8, true, true), NO_ERROR);
    EXPECT_EQ(InstallEngineHooks(IE55, false, false), NO_ERROR);  // changes nothing but the count
    EXPECT_EQ(g_hookRefCount, 2);
    EXPECT_EQ(g_singleVersion, IE8);
    EXPECT_TRUE(g_filtersDisabled);
    EXPECT_EQ(g_engines[IE55].loaded, 0u);
    EXPECT_EQ(RemoveEngineHooks(), NO_ERROR);
    EXPECT_TRUE(AreEngineHooksAttached());
    EXPECT_EQ(g_engines[IE8].loaded, 1u);
    EXPECT_NE(GetModuleHandleW(L"8shtml.dll"), nullptr);
    EXPECT_EQ(RemoveEngineHooks(), NO_ERROR);
    EXPECT_FALSE(AreEngineHooksAttached());
    EXPECT_EQ(g_engines[IE8].loaded, 0u);
    EXPECT_EQ(GetModuleHandleW(L"8shtml.dll"), nullptr);
    // Installation after removal starts afresh.
    EXPECT_EQ(InstallEngineHooks(IE6, false, true), NO_ERROR);
    EXPECT_TRUE(AreEngineHooksAttached());
    EXPECT_EQ(GetCurrentEngine(), &g_engines[IE6]);
    EXPECT_EQ(RemoveEngineHooks(), NO_ERROR);
}

TEST_F(SingleVersion, Version9AndTheSystemEngineAttachNothing) {
    void* coCreate = ExportOf(L"ole32.dll", "CoCreateInstance");
    void* loadLibrary = ExportOf(L"kernel32.dll", "LoadLibraryW");
    auto before = FirstBytes(coCreate);
    auto beforeLoad = FirstBytes(loadLibrary);
    {
        // The version-9 child runs from the ie9 folder, whose redirection
        // folder holds its URL moniker library.
        CurrentDirectory cd(testing_support::StageFolder() + L"ie9");
        EXPECT_EQ(InstallEngineHooks(IE9, false, true), NO_ERROR);
    }
    EXPECT_FALSE(AreEngineHooksAttached());
    EXPECT_EQ(FirstBytes(coCreate), before);
    EXPECT_EQ(FirstBytes(loadLibrary), beforeLoad);
    EXPECT_EQ(g_engines[IE9].loaded, 1u);
    EXPECT_EQ(g_engines[IE9].version, static_cast<DWORD>(IE9));
    wchar_t path[MAX_PATH] = {};
    ASSERT_NE(g_engines[IE9].hUrlmon, nullptr);
    GetModuleFileNameW(g_engines[IE9].hUrlmon, path, MAX_PATH);
    EXPECT_NE(std::wstring(path).find(L"vantrell.client.exe.local\\urlmon.dll"), std::wstring::npos) << path;
    // The stand-in itself, not a library of the same name.
    EXPECT_NE(GetProcAddress(g_engines[IE9].hUrlmon, "StandInIdentity"), nullptr);
    EXPECT_EQ(GetCurrentEngine(), &g_engines[IE9]);
    EXPECT_EQ(RemoveEngineHooks(), NO_ERROR);
    EXPECT_EQ(g_engines[IE9].loaded, 0u);

    EXPECT_EQ(InstallEngineHooks(IEDefault, false, true), NO_ERROR);
    EXPECT_FALSE(AreEngineHooksAttached());
    EXPECT_EQ(g_engines[IEDefault].useSystem, 1u);
    EXPECT_EQ(ModuleName(g_engines[IEDefault].hUrlmon), L"urlmon.dll");
    EXPECT_EQ(ModuleName(g_engines[IEDefault].hWininet), L"wininet.dll");
    EXPECT_EQ(RemoveEngineHooks(), NO_ERROR);
}

TEST_F(SingleVersion, Version9WithoutItsLibraryStillCounts) {
    // From the program's folder the relative path finds nothing; the record
    // is loaded all the same.
    EXPECT_EQ(InstallEngineHooks(IE9, false, true), NO_ERROR);
    EXPECT_EQ(g_engines[IE9].loaded, 1u);
    EXPECT_EQ(g_engines[IE9].hUrlmon, nullptr);
    EXPECT_EQ(RemoveEngineHooks(), NO_ERROR);
}

TEST_F(SingleVersion, AMissingRequiredFileMakesTheVersionUnavailable) {
    testing_support::TempDir dir;
    // 7script.dll is missing.
    ASSERT_TRUE(CopyStageFiles(dir.Path(), {L"7eframe.dll", L"7shtml.dll", L"7rlmon.dll", L"7ininet.dll"}));
    {
        CurrentDirectory cd(dir.Path());
        EXPECT_EQ(InstallEngineHooks(IE7, false, true), NO_ERROR);
    }
    EXPECT_EQ(g_engines[IE7].loaded, 0u);
    EXPECT_EQ(g_engines[IE7].hShell, nullptr);
    EXPECT_EQ(g_engines[IE7].hMshtml, nullptr);
    EXPECT_EQ(g_engines[IE7].pfnGetClassObject[0], nullptr);
    // Everything loaded for it so far was freed again.
    wchar_t loaded[MAX_PATH] = {};
    HMODULE shell = GetModuleHandleW((dir.Path() + L"7eframe.dll").c_str());
    if (shell) GetModuleFileNameW(shell, loaded, MAX_PATH);
    EXPECT_EQ(shell, nullptr) << loaded;
    // Single-version mode still answers with the record, which is empty.
    EXPECT_EQ(GetCurrentEngine(), &g_engines[IE7]);
    EXPECT_EQ(RemoveEngineHooks(), NO_ERROR);
}

TEST_F(SingleVersion, MissingOptionalFilesLeaveTheirModulesNull) {
    testing_support::TempDir dir;
    ASSERT_TRUE(CopyStageFiles(dir.Path(), {L"8eframe.dll", L"8shtml.dll", L"8script.dll", L"8rlmon.dll",
                                            L"8ininet.dll", L"8xtrans.dll"}));
    {
        CurrentDirectory cd(dir.Path());
        EXPECT_EQ(InstallEngineHooks(IE8, false, true), NO_ERROR);
    }
    const IEENGINE& e = g_engines[IE8];
    ASSERT_EQ(e.loaded, 1u);
    EXPECT_EQ(e.hMshtmled, nullptr);
    EXPECT_EQ(e.hVbscript, nullptr);
    EXPECT_NE(e.hDxtrans, nullptr);
    EXPECT_EQ(e.hDxtmsft, nullptr);
    EXPECT_EQ(e.pfnGetClassObject[5], nullptr);  // vbscript
    EXPECT_NE(e.pfnGetClassObject[7], nullptr);  // dxtrans
    // A vbscript class without the vbscript library goes to the system.
    IUnknown* obj = nullptr;
    EXPECT_EQ(CoCreateInstance(kVbscriptClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&obj)) == S_OK &&
                  !OriginOf(obj).empty(),
              false);
    if (obj) obj->Release();
    ASSERT_EQ(CoCreateInstance(kFilterClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&obj)),
              S_OK);
    EXPECT_EQ(OriginOf(obj), L"8xtrans.dll");
    obj->Release();
    // A redirected load of a missing module hands back its null field.
    EXPECT_EQ(LoadLibraryA("mshtml.dll"), e.hMshtml);
    EXPECT_EQ(RemoveEngineHooks(), NO_ERROR);
}

TEST_F(SingleVersion, AMissingExportMakesTheVersionUnavailable) {
    testing_support::TempDir dir;
    // A library without DllGetClassObject under the jscript name.
    ASSERT_TRUE(CopyStageFiles(dir.Path(), {L"6hdocvw.dll", L"6shtml.dll", L"6rlmon.dll", L"6ininet.dll"}));
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    ASSERT_TRUE(CopyFileW((std::wstring(system) + L"\\version.dll").c_str(), (dir.Path() + L"6script.dll").c_str(),
                          FALSE));
    {
        CurrentDirectory cd(dir.Path());
        EXPECT_EQ(InstallEngineHooks(IE6, false, true), NO_ERROR);
    }
    EXPECT_EQ(g_engines[IE6].loaded, 0u);
    EXPECT_EQ(g_engines[IE6].hJscript, nullptr);
    EXPECT_EQ(RemoveEngineHooks(), NO_ERROR);
}

TEST_F(SingleVersion, TooLongACurrentDirectoryFailsTheVersion) {
    testing_support::TempDir dir;
    std::wstring deep = dir.Path();
    while (deep.size() < 340) {
        deep += L"abcdefghijklmnopqrstuvwxyz\\";
        CreateDirectoryW(deep.c_str(), nullptr);
    }
    {
        CurrentDirectory cd(deep);
        EXPECT_EQ(InstallEngineHooks(IE7, false, true), NO_ERROR);
    }
    EXPECT_EQ(g_engines[IE7].loaded, 0u);
    EXPECT_EQ(RemoveEngineHooks(), NO_ERROR);
}


// A function that something else already intercepts cannot be attached: the
// installation fails as a whole and leaves nothing of the layer behind.
decltype(&LoadLibraryW) g_foreignReal = nullptr;
HMODULE WINAPI ForeignLoadLibraryW(LPCWSTR name) { return g_foreignReal(name); }

TEST_F(SingleVersion, AFailedInstallationLeavesNothingBehind) {
    void* loadLibrary = ExportOf(L"kernel32.dll", "LoadLibraryA");
    auto before = FirstBytes(loadLibrary);
    g_foreignReal = reinterpret_cast<decltype(&LoadLibraryW)>(ExportOf(L"kernel32.dll", "LoadLibraryW"));
    ASSERT_EQ(interception::TransactionBegin(), NO_ERROR);
    ASSERT_EQ(interception::Attach(reinterpret_cast<void**>(&g_foreignReal), reinterpret_cast<void*>(&ForeignLoadLibraryW)),
              NO_ERROR);
    ASSERT_EQ(interception::TransactionCommit(), NO_ERROR);

    EXPECT_EQ(InstallEngineHooks(IE7, false, true), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(g_hookRefCount, 0);
    EXPECT_FALSE(AreEngineHooksAttached());
    EXPECT_EQ(g_engines[IE7].loaded, 0u);
    EXPECT_EQ(g_engines[IE7].hMshtml, nullptr);
    EXPECT_EQ(GetModuleHandleW(L"7shtml.dll"), nullptr);  // the version's files were freed again
    EXPECT_EQ(RealLoadLibraryA, nullptr);
    EXPECT_EQ(FirstBytes(loadLibrary), before);            // nothing half attached
    EXPECT_EQ(LoadLibraryW(L"kernel32.dll"), GetModuleHandleW(L"kernel32.dll"));

    ASSERT_EQ(interception::TransactionBegin(), NO_ERROR);
    ASSERT_EQ(interception::Detach(reinterpret_cast<void**>(&g_foreignReal), reinterpret_cast<void*>(&ForeignLoadLibraryW)),
              NO_ERROR);
    ASSERT_EQ(interception::TransactionCommit(), NO_ERROR);
    // A later installation starts afresh.
    EXPECT_EQ(InstallEngineHooks(IE7, false, true), NO_ERROR);
    EXPECT_EQ(g_engines[IE7].loaded, 1u);
}

// A removal that cannot detach keeps the detours working: their saved entry
// points stay, and the removal can be tried again.
TEST_F(SingleVersion, AFailedRemovalKeepsTheDetoursWorking) {
    ASSERT_EQ(InstallEngineHooks(IE7, false, true), NO_ERROR);
    // A transaction left open on this thread makes the removal's own fail.
    ASSERT_EQ(interception::TransactionBegin(), NO_ERROR);
    EXPECT_EQ(RemoveEngineHooks(), ERROR_INVALID_OPERATION);
    EXPECT_EQ(g_hookRefCount, 1);
    EXPECT_TRUE(AreEngineHooksAttached());
    EXPECT_NE(RealLoadLibraryA, nullptr);
    EXPECT_NE(RealLoadLibraryW, nullptr);
    EXPECT_EQ(g_engines[IE7].loaded, 1u);
    EXPECT_EQ(LoadLibraryA("mshtml.dll"), g_engines[IE7].hMshtml);
    EXPECT_EQ(LoadLibraryW(L"kernel32.dll"), GetModuleHandleW(L"kernel32.dll"));
    ASSERT_EQ(interception::TransactionAbort(), NO_ERROR);

    EXPECT_EQ(RemoveEngineHooks(), NO_ERROR);
    EXPECT_FALSE(AreEngineHooksAttached());
    EXPECT_EQ(g_hookRefCount, 0);
}

} // namespace
