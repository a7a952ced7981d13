#include "vantrell_app.h"

#include "locations.h"
#include "settings.h"

#include "browser/dialog_wb_container.h"
#include "framework/handles.h"
#include "hosting/ie_thread.h"
#include "isolation/isolation.h"
#include "framework/strings.h"
#include "prefs/language.h"
#include "res/string_ids.h"
#include "shell/main_frame.h"

#include <commctrl.h>
#include <objbase.h>
#include <ole2.h>
#include <gdiplus.h>

namespace {
constexpr UINT kMainFrameResource = 128;
constexpr UINT kAppAcceleratorTable = 129;
// Overlapped window whose title would show the active document's name.
constexpr DWORD kMainFrameStyle = 0xCF8000;
} // namespace

CVantrellApp* GetVantrellApp() { return static_cast<CVantrellApp*>(fw::GetApp()); }

CVantrellApp::CVantrellApp() = default;
CVantrellApp::~CVantrellApp() = default;

std::wstring ExecutableFolderOf(const std::wstring& exePath) {
    size_t slash = exePath.find_last_of(L'\\');
    if (slash == std::wstring::npos) return {};
    std::wstring base = exePath.substr(slash + 1);
    if (base.size() >= exePath.size()) return {};
    return exePath.substr(0, exePath.size() - base.size());
}

bool MakeExecutableFolderCurrent() {
    std::wstring exe = fw::ModuleFileName(nullptr, MAX_PATH);
    if (exe.empty()) return false;
    std::wstring folder = ExecutableFolderOf(exe);
    return !folder.empty() && SetCurrentDirectoryW(folder.c_str());
}

std::wstring LanguageBaseFolder(const std::wstring& installDir, const CCustomCommandLineInfo& cmdInfo) {
    if (cmdInfo.m_bPcode && cmdInfo.m_nPcodeVersion == IE9) return installDir + L"\\..\\";
    return installDir;
}

std::wstring ReadInstallDir() {
    fw::RegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMachineKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return {};
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH * sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key.get(), kInstallDirValue, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    buffer[std::min<size_t>(size / sizeof(wchar_t), MAX_PATH)] = L'\0';
    return buffer;
}

std::vector<StartupAddress> StartupAddresses(const CCustomCommandLineInfo& cmdInfo, bool multiProcessMode) {
    std::vector<StartupAddress> out;
    for (int v = 0; v < kVersionCount; ++v) {
        auto version = static_cast<IEVERSION>(v);
        if (!multiProcessMode && g_engines[v].loaded != 1) continue;
        // Versions without a template (4 and 5) can never open a tab.
        if (!g_versionInfo[static_cast<size_t>(v)].templateRegistered) continue;
        for (const auto& address : cmdInfo.m_urls[v]) out.push_back({version, address});
    }
    return out;
}

bool CVantrellApp::InitInstance() {
    INITCOMMONCONTROLSEX icc{sizeof(icc), 0xFF};
    InitCommonControlsEx(&icc);

    if (FAILED(OleInitialize(nullptr))) {
        fw::AppMessageBox(nullptr, TranslatedString(IDS_OLE_INIT_FAILED), MB_OK | MB_ICONERROR);
        return false;
    }
    m_bOleInitialized = true;

    Gdiplus::GdiplusStartupInput gdiplusInput;
    Gdiplus::GdiplusStartup(&m_gdiplusToken, &gdiplusInput, nullptr);

    SetRegistryKey(kCompanyKey);

    std::wstring installDir = ReadInstallDir();
    WORD langId = static_cast<WORD>(GetProfile().GetInt(setting::kSection, setting::kLangId, 0) & 0xFFFF);

    CCustomCommandLineInfo cmdInfo;
    fw::ParseCommandLine(cmdInfo);

    InitLanguage(LanguageBaseFolder(installDir, cmdInfo).c_str(), langId);

    return cmdInfo.m_bPcode ? ChildStart(cmdInfo) : PlainStart(cmdInfo);
}

bool CVantrellApp::PlainStart(CCustomCommandLineInfo& cmdInfo) {
    const fw::Profile& profile = GetProfile();
    m_bMultiProcessMode = profile.GetInt(setting::kSection, setting::kMultiProcessMode, 0) == 1;

    // Engine libraries are looked up in the current directory.
    MakeExecutableFolderCurrent();

    m_bDisableFilters = profile.GetInt(setting::kSection, setting::kDisableFilters, 0) == 1;
    if (!m_bMultiProcessMode) {
        InstallEngineHooks(IE6, m_bDisableFilters, false);
        m_bHooksInstalled = true;
    }
    m_nSearchBehaviour = ClampSearchBehaviour(profile.GetInt(setting::kSection, setting::kSearchBehaviour, 1));
    m_bDisableWindowExternal = profile.GetInt(setting::kSection, setting::kDisableWindowExternal, 0) == 1;
    g_strHomePage = profile.GetString(setting::kSection, setting::kHomePage, GetDefaultHomePage());

    m_hAccelTable = LoadAcceleratorsW(fw::ResourceModule(), MAKEINTRESOURCEW(kAppAcceleratorTable));
    CIEThread::SetAcceleratorTable(m_hAccelTable);

    auto frame = new CMainFrame();
    if (!frame->LoadFrame(kMainFrameResource, kMainFrameStyle)) {
        // A frame whose window never existed is not deleted by its window.
        if (!frame->Handle()) delete frame;
        return false;
    }
    SetMainWindow(frame->Handle());
    cmdInfo.m_nShellCommand = fw::CommandLineInfo::ShellCommand::FileNothing;

    ShowWindow(frame->Handle(), ShowCommand());
    UpdateWindow(frame->Handle());
    return true;
}

bool CVantrellApp::ChildStart(CCustomCommandLineInfo& cmdInfo) {
    m_bMultiProcessMode = true;
    m_bSubProcess = true;

    const IEVERSION version = cmdInfo.m_nPcodeVersion;
    InstallEngineHooks(version, m_bDisableFilters, true);
    m_bHooksInstalled = true;
    if (version != IE9 && version != IEDefault && g_engines[version].loaded != 1) {
        fw::AppMessageBox(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(cmdInfo.m_hWndParent)),
                          TranslatedString(IDS_CANNOT_LOAD_VERSION), MB_OK | MB_ICONERROR);
        return false;
    }
    m_hSubProcessDoneEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    // The tab content, inside the parent's tab view; it belongs to this
    // thread and deletes itself when its window goes.
    const HWND view = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(cmdInfo.m_hWndParent));
    const HWND topLevel = fw::OutermostAncestor(view);
    auto dialog = new CDialogWBContainer();
    dialog->m_bChildProcess = true;
    dialog->m_nVersion = version;
    dialog->m_hWndTopLevel = topLevel;
    CDialogWBContainer::SetParentWriter(&CIEThread::WriteToParent);
    if (!dialog->Create(CDialogWBContainer::kTemplateId, view)) {
        delete dialog;
        return false;
    }
    SetMainWindow(dialog->Handle());
    ShowWindow(dialog->Handle(), ShowCommand());
    UpdateWindow(dialog->Handle());

    auto thread = new CIEThread(true, true, cmdInfo.m_strPipeName.c_str(), dialog->Handle(), version, L"",
                                m_hSubProcessDoneEvent, topLevel);
    m_pSubProcessThread = thread;
    if (!thread->CreateThread(CREATE_SUSPENDED)) {
        // Without its pipe thread the tab can never connect: end the child,
        // which the parent reports as a lost engine.
        delete thread;
        m_pSubProcessThread = nullptr;
        return false;
    }
    // Kept for the exit, when the thread object may have deleted itself.
    DuplicateHandle(GetCurrentProcess(), thread->ThreadHandle(), GetCurrentProcess(), &m_pSubProcessThreadHandle,
                    0, FALSE, DUPLICATE_SAME_ACCESS);
    ResumeThread(m_pSubProcessThreadHandle);
    return true;
}

int CVantrellApp::ExitInstance() {
    if (m_bHooksInstalled) {
        RemoveEngineHooks();
        m_bHooksInstalled = false;
    }
    if (m_bSubProcess && m_pSubProcessThread) {
        // The engine thread signals the event as its object goes away.
        // (The object deletes itself, so only the duplicated handle is used.)
        if (WaitForSingleObject(m_hSubProcessDoneEvent, 4000) != WAIT_OBJECT_0)
            TerminateThread(m_pSubProcessThreadHandle, 1);
    }
    ReleaseLanguage();
    if (m_gdiplusToken) {
        Gdiplus::GdiplusShutdown(m_gdiplusToken);
        m_gdiplusToken = 0;
    }
    if (m_bOleInitialized) {
        OleUninitialize();
        m_bOleInitialized = false;
    }
    return fw::WinApp::ExitInstance();
}
