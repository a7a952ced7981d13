#include "vantrell_app.h"

#include "capture.h"

#include "browser/dialog_wb_container.h"
#include "core/locations.h"
#include "framework/strings.h"
#include "isolation/isolation.h"
#include "prefs/language.h"
#include "res/resource_ids.h"
#include "shell/dialog_open_all.h"
#include "shell/main_frame.h"
#include "shell/options_sheet.h"
#include "shell/release_check.h"
#include "shell/vantrell_doc.h"
#include "shell/vantrell_view.h"
#include "framework/document.h"
#include "isolation/engine_table.h"

#include <commctrl.h>
#include <objbase.h>
#include <ole2.h>
#include <gdiplus.h>

namespace {
// Overlapped window whose title would show the active document's name.
constexpr DWORD kMainFrameStyle = 0xCF8000;
// How long a child waits for its engine thread at exit, and the main
// process for its engine threads before it frees the engine libraries.
constexpr DWORD kEngineThreadExitWaitMs = 4000;

static_assert(fw::kAppTitleStringId == IDS_APP_TITLE, "the framework reads the application title from this string");

void ReportSystemError(HWND owner, const wchar_t* call, DWORD error) {
    TranslatedMessageBox(owner, IDS_SYSTEM_CALL_FAILED, MB_OK | MB_ICONERROR, fw::DescribeSystemError(call, error));
}
} // namespace

CVantrellApp* GetVantrellApp() { return static_cast<CVantrellApp*>(fw::GetApp()); }

CVantrellApp::CVantrellApp() { RegisterCommands(); }
CVantrellApp::~CVantrellApp() = default;

bool MakeExecutableFolderCurrent() {
    std::wstring exe = fw::ModuleFileName(nullptr, MAX_PATH);
    if (exe.empty()) return false;
    std::wstring folder = fw::FolderOfPath(exe);
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

std::wstring ExistingFileAddress(const std::wstring& address) {
    // Addresses with a scheme ("http:", "file:", "about:") stay as they are;
    // a drive letter ("C:\\") is not a scheme.
    const size_t colon = address.find(L':');
    if (address.empty() || (colon != std::wstring::npos && colon > 1)) return address;
    wchar_t full[MAX_PATH] = {};
    const DWORD n = GetFullPathNameW(address.c_str(), MAX_PATH, full, nullptr);
    if (n == 0 || n >= MAX_PATH) return address;
    const DWORD attributes = GetFileAttributesW(full);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return address;
    return full;
}

std::vector<StartupAddress> StartupAddresses(const CCustomCommandLineInfo& cmdInfo, bool multiProcessMode) {
    std::vector<StartupAddress> out;
    for (int v = 0; v < kVersionCount; ++v) {
        auto version = static_cast<IEVERSION>(v);
        if (!IsVersionAvailable(version, multiProcessMode)) continue;
        // Versions without a template (4 and 5) can never open a tab.
        if (!g_versionInfo[static_cast<size_t>(v)].templateRegistered) continue;
        for (const auto& address : cmdInfo.m_urls[v]) out.push_back({version, address});
    }
    return out;
}

bool CVantrellApp::InitInstance() {
    INITCOMMONCONTROLSEX icc{sizeof(icc), 0xFF};
    InitCommonControlsEx(&icc);

    m_ole.emplace();
    if (!m_ole->ok()) {
        fw::AppMessageBox(nullptr, TranslatedString(IDS_OLE_INIT_FAILED), MB_OK | MB_ICONERROR);
        return false;
    }

    // GDI+ draws the taskbar pictures; without it the program still runs.
    m_gdiplus.emplace();
    if (!m_gdiplus->ok())
        TranslatedMessageBox(nullptr, IDS_SYSTEM_CALL_FAILED, MB_OK | MB_ICONEXCLAMATION,
                             fw::Format(L"GdiplusStartup: status %d", static_cast<int>(m_gdiplus->status())));

    SetRegistryKey(kCompanyKey);

    std::wstring installDir = ReadInstallDir();
    // Every setting is read here, once; the start paths decide which count.
    const Settings stored = ReadSettings(GetProfile());

    CCustomCommandLineInfo cmdInfo;
    fw::ParseCommandLine(cmdInfo);
    cmdInfo.FinishParsing();
    // A plain start makes its own folder current before it opens the
    // addresses: a file named relative to the folder it was started in is
    // found there now.
    for (auto& list : cmdInfo.m_urls)
        for (std::wstring& address : list) address = ExistingFileAddress(address);
    for (std::wstring& address : cmdInfo.m_allUrls) address = ExistingFileAddress(address);

    InitLanguage(LanguageBaseFolder(installDir, cmdInfo).c_str(), stored.langId);

    if (cmdInfo.m_bPcode) {
        m_settings.langId = stored.langId;
        return ChildStart(cmdInfo);
    }
    m_settings = stored;
    if (cmdInfo.m_bCapture) {
        // Like the addresses, the folder is relative to where the program
        // was started.
        if (!cmdInfo.m_strCaptureFolder.empty()) {
            wchar_t full[MAX_PATH] = {};
            const DWORD n = GetFullPathNameW(cmdInfo.m_strCaptureFolder.c_str(), MAX_PATH, full, nullptr);
            if (n > 0 && n < MAX_PATH) cmdInfo.m_strCaptureFolder = full;
            while (cmdInfo.m_strCaptureFolder.size() > 3 &&
                   (cmdInfo.m_strCaptureFolder.back() == L'\\' || cmdInfo.m_strCaptureFolder.back() == L'/'))
                cmdInfo.m_strCaptureFolder.pop_back();
        }
        return CaptureStart(cmdInfo);
    }
    return PlainStart(cmdInfo);
}

bool CVantrellApp::InstallHooks(IEVERSION version, bool singleVersion, HWND owner) {
    if (LONG error = InstallEngineHooks(version, m_settings.disableFilters, singleVersion); error != NO_ERROR) {
        TranslatedMessageBox(owner, IDS_ISOLATION_FAILED, MB_OK | MB_ICONERROR,
                             fw::DescribeSystemError(L"InstallEngineHooks", static_cast<DWORD>(error)));
        return false;
    }
    m_bHooksInstalled = true;
    return true;
}

bool CVantrellApp::PlainStart(CCustomCommandLineInfo& cmdInfo) {
    m_bMultiProcessMode = m_settings.multiProcessMode;

    // Engine libraries are looked up in the current directory.
    MakeExecutableFolderCurrent();

    if (!m_bMultiProcessMode && !InstallHooks(IE6, false, nullptr)) return false;
    g_strHomePage = m_settings.homePage;
    RegisterTemplates();
    // A missing Favorites folder only leaves the menu empty.
    (void)m_favorites.LoadFavorites();

    m_hAccelTable.reset(LoadAcceleratorsW(fw::ResourceModule(), MAKEINTRESOURCEW(IDR_APP_ACCELERATORS)));
    CIEThread::SetAcceleratorTable(m_hAccelTable.get());
    GetBrowserHostOptions().hAccelTable = m_hAccelTable.get();
    GetBrowserHostOptions().bDisableWindowExternal = m_settings.disableWindowExternal;

    // A frame whose window cannot be made is gone when Open returns.
    CMainFrame* frame =
        CMainFrame::Open(std::make_unique<CMainFrame>(m_settings, m_hAccelTable.get()), kMainFrameStyle);
    if (!frame) return false;
    SetMainWindow(frame->Handle());
    frame->SetFavoritesMenu(BuildFavoritesMenu());
    cmdInfo.m_nShellCommand = fw::CommandLineInfo::ShellCommand::FileNothing;
    // The tabs open before the window is first shown.
    for (const StartupAddress& start : StartupAddresses(cmdInfo, m_bMultiProcessMode))
        OpenTabForVersion(start.version, start.address.c_str());

    ShowWindow(frame->Handle(), ShowCommand());
    UpdateWindow(frame->Handle());
    return true;
}

bool CVantrellApp::CaptureStart(CCustomCommandLineInfo& cmdInfo) {
    m_bMultiProcessMode = m_settings.multiProcessMode;
    m_exitCode = 2;
    if (!cmdInfo.m_strCaptureError.empty() || cmdInfo.m_strCaptureFolder.empty()) {
        const std::wstring value = cmdInfo.m_strCaptureError.empty() ? L"-capture" : cmdInfo.m_strCaptureError;
        std::wstring line = TranslatedString(IDS_CAPTURE_BAD_VALUE);
        if (size_t at = line.find(L"%s"); at != std::wstring::npos) line.replace(at, 2, value);
        WriteOutputLine(line);
        return false;
    }
    const std::wstring folder = cmdInfo.m_strCaptureFolder;
    const std::vector<CaptureItem> items = PlanCaptures(cmdInfo, folder);
    if (items.empty()) {
        WriteOutputLine(TranslatedString(IDS_CAPTURE_NO_ADDRESS));
        return false;
    }
    m_exitCode = 1;

    // Engine libraries are looked up in the current directory.
    MakeExecutableFolderCurrent();
    if (!m_bMultiProcessMode) {
        if (LONG error = InstallEngineHooks(IE6, m_settings.disableFilters, false); error != NO_ERROR) {
            for (const CaptureItem& item : items) {
                CaptureOutcome outcome;
                outcome.item = item;
                outcome.error = TranslatedString(IDS_ISOLATION_FAILED) + L" " +
                                fw::DescribeSystemError(L"InstallEngineHooks", static_cast<DWORD>(error));
                WriteOutputLine(FormatCaptureLine(outcome));
            }
            return false;
        }
        m_bHooksInstalled = true;
    }
    g_strHomePage = m_settings.homePage;
    GetBrowserHostOptions().bDisableWindowExternal = m_settings.disableWindowExternal;

    CPageCapture::Options options;
    options.width = cmdInfo.m_nCaptureWidth;
    options.height = cmdInfo.m_nCaptureHeight;
    options.waitMs = cmdInfo.m_nCaptureWaitMs;
    options.multiProcess = m_bMultiProcessMode;
    bool allOk = true;
    {
        CPageCapture capture(options, [this](IEVERSION v) { return CanCaptureVersion(v); });
        for (const CaptureOutcome& outcome : capture.Run(items, folder)) {
            WriteOutputLine(FormatCaptureLine(outcome));
            allOk = allOk && outcome.ok;
        }
    }
    m_exitCode = allOk ? 0 : 1;
    return false;
}

bool CVantrellApp::ChildStart(CCustomCommandLineInfo& cmdInfo) {
    m_bMultiProcessMode = true;
    m_bSubProcess = true;

    const IEVERSION version = cmdInfo.m_nPcodeVersion;
    const HWND view = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(cmdInfo.m_hWndParent));
    if (!InstallHooks(version, true, view)) return false;
    if (version != IE9 && version != IEDefault && g_engines[version].loaded != 1) {
        TranslatedMessageBox(view, IDS_CANNOT_LOAD_VERSION, MB_OK | MB_ICONERROR);
        return false;
    }
    m_hSubProcessDoneEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_hSubProcessDoneEvent) {
        ReportSystemError(view, L"CreateEvent", GetLastError());
        return false;
    }

    // The tab content, inside the parent's tab view; it belongs to this
    // thread and deletes itself when its window goes.
    const HWND topLevel = fw::OutermostAncestor(view);
    m_pChildNotifier = std::make_unique<CChildPipeNotifier>();
    auto dialog = new CDialogWBContainer();
    dialog->m_bChildProcess = true;
    dialog->m_nVersion = version;
    dialog->m_hWndTopLevel = topLevel;
    dialog->m_pOwner = m_pChildNotifier.get();
    // The parent may destroy the view at any moment (the tab closed while
    // its child starts), and the content's window goes with it, even in the
    // middle of its creation: its WM_NCDESTROY then deletes the object. So
    // the object is not touched after Create, only its handle; and a failed
    // Create, which may have deleted it already, leaves it to the process's
    // end (which follows at once) instead of deleting it a second time.
    if (!dialog->Create(IDD_TAB_CONTENT, view)) return false;
    const HWND content = dialog->Handle();
    SetMainWindow(content);
    ShowWindow(content, ShowCommand());
    UpdateWindow(content);

    auto thread = new CIEThread(true, true, cmdInfo.m_strPipeName.c_str(), content, version, L"",
                                m_hSubProcessDoneEvent.get(), topLevel);
    thread->SetChildNotifier(m_pChildNotifier.get());
    if (!thread->CreateThread(CREATE_SUSPENDED)) {
        // Without its pipe thread the tab can never connect: end the child,
        // which the parent reports as a lost engine.
        ReportSystemError(view, L"CreateThread", GetLastError());
        delete thread;
        return false;
    }
    m_pSubProcessThread = thread;
    // The object deletes itself when its thread ends, with its handle: keep
    // a handle of our own for the exit. The thread runs either way; without
    // the handle the exit can only wait for it, not end it.
    HANDLE own = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), thread->ThreadHandle(), GetCurrentProcess(), &own, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        const DWORD error = GetLastError();
        ResumeThread(thread->ThreadHandle());
        ReportSystemError(view, L"DuplicateHandle", error);
        return true;
    }
    m_hSubProcessThread.reset(own);
    ResumeThread(m_hSubProcessThread.get());
    return true;
}

int CVantrellApp::ExitInstance() {
    if (m_bSubProcess && m_pSubProcessThread) {
        // The engine thread signals the event as its object goes away. It
        // reads the pipe only, never engine code, but it is gone before the
        // engine libraries are.
        if (WaitForSingleObject(m_hSubProcessDoneEvent.get(), kEngineThreadExitWaitMs) != WAIT_OBJECT_0 &&
            m_hSubProcessThread)
            TerminateThread(m_hSubProcessThread.get(), 1);
        m_pSubProcessThread = nullptr;
    }
    if (m_bHooksInstalled) {
        // Tabs close with the main window, but their engine threads wind
        // down on their own: no engine library may be freed under a thread
        // that still runs its code. One that does not end in time keeps the
        // libraries loaded until the process is gone.
        bool idle = CIEThread::WaitForEngineThreads(kEngineThreadExitWaitMs);
        if (idle && RemoveEngineHooks() == NO_ERROR) m_bHooksInstalled = false;
    }
    ReleaseLanguage();
    m_gdiplus.reset();
    m_ole.reset();
    return fw::WinApp::ExitInstance();
}

// ---------------------------------------------------------------------------
// Tabs and the application's commands.

void CVantrellApp::RegisterTemplates() {
    for (const VersionInfo& info : g_versionInfo) {
        if (!info.templateRegistered) continue;
        const IEVERSION version = info.version;
        AddDocTemplate(std::make_unique<CMyMultiDocTemplate>(
            info.templateId, [version]() -> fw::Document* { return NewDocumentOfVersion(version); },
            []() -> fw::MDIChildFrame* { return new CChildFrame; },
            []() -> fw::View* { return new CVantrellView; }));
    }
}

fw::Document* CVantrellApp::OpenTab(UINT templateId, LPCWSTR url) {
    for (const auto& docTemplate : DocTemplates()) {
        if (docTemplate->ResourceId() != templateId) continue;
        fw::Document* doc = docTemplate->OpenDocumentFile(url ? url : L"", true);
        if (HWND main = MainWindow()) SendMessageW(main, fw::MoveToTabGroupMessage(), 0, 0);
        return doc;
    }
    return nullptr;
}

fw::Document* CVantrellApp::OpenTabForVersion(IEVERSION version, LPCWSTR url) {
    return OpenTab(TemplateIdOfVersion(version), url);
}

std::wstring CVantrellApp::FavoriteAddress(UINT id) const { return m_favorites.GetURL(id); }

HMENU CVantrellApp::BuildFavoritesMenu() const {
    fw::Menu popup;
    if (!m_favorites.Root().BuildMenu(popup)) return nullptr;
    if (GetMenuItemCount(popup.get()) > 0) AppendMenuW(popup.get(), MF_SEPARATOR, 0, nullptr);
    std::wstring refresh = TranslatedString(ID_REFRESH_FAVORITES);
    if (const size_t lf = refresh.find(L'\n'); lf != std::wstring::npos) refresh.erase(0, lf + 1);
    AppendMenuW(popup.get(), MF_STRING, ID_REFRESH_FAVORITES, refresh.c_str());
    // The ribbon button shows the one popup of a menu bar: a favorites
    // menu that begins with a folder is not taken for that popup.
    fw::Menu bar(CreateMenu());
    if (!bar || !AppendMenuW(bar.get(), MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup.get()),
                             TranslatedString(IDS_FAVORITES).c_str()))
        return nullptr;
    (void)popup.release();
    return bar.release();
}

void CVantrellApp::RefreshFavorites() {
    (void)m_favorites.LoadFavorites();
    auto frame = dynamic_cast<CMainFrame*>(fw::Window::FromHandle(MainWindow()));
    if (frame) frame->SetFavoritesMenu(BuildFavoritesMenu());
}

void CVantrellApp::OpenInAllVersions() {
    CDialogOpenAll dialog;
    if (dialog.DoModal(MainWindow()) != IDOK) return;
    const fw::Profile& profile = GetProfile();
    for (IEVERSION version : {IE55, IE6, IE7, IE8, IE9, IEDefault}) {
        // The new-tab command's rule: version 9 also needs its libraries.
        if (!CanOpenVersion(version) || !ReadOpenAll(profile, version)) continue;
        OpenTabForVersion(version, dialog.m_strOpenAllURL.c_str());
    }
}

std::vector<fw::Document*> CVantrellApp::AllDocuments() const {
    std::vector<fw::Document*> out;
    for (const auto& docTemplate : DocTemplates())
        out.insert(out.end(), docTemplate->Documents().begin(), docTemplate->Documents().end());
    return out;
}

void CVantrellApp::NotifyTaskbarSetting(bool off) {
    for (fw::Document* doc : AllDocuments())
        if (fw::View* view = doc->FirstView()) SendMessageW(view->Handle(), UWM_TAB_TASKBAR_PREVIEW, off ? 1 : 0, 0);
}

namespace {
// Whether version 9's folder of libraries next to the program holds anything.
bool HasIE9Libraries() {
    const std::wstring folder = fw::FolderOfPath(fw::ModuleFileName(nullptr, MAX_PATH)) + kIE9LibraryFolder;
    WIN32_FIND_DATAW data;
    fw::FindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!find) return false;
    bool any = false;
    do {
        any = wcscmp(data.cFileName, L".") != 0 && wcscmp(data.cFileName, L"..") != 0;
    } while (!any && FindNextFileW(find.get(), &data));
    return any;
}
} // namespace

bool CVantrellApp::CanOpenVersion(IEVERSION version) const {
    if (version == IEDefault) return true;
    // Version 9 runs only in a child process, from its own folder of
    // libraries. The ribbon asks several times a second: the folder is
    // looked at once, on the first question.
    if (version == IE9) {
        if (!m_bMultiProcessMode) return false;
        if (!m_ie9Libraries) m_ie9Libraries = HasIE9Libraries();
        return *m_ie9Libraries;
    }
    return IsVersionAvailable(version, m_bMultiProcessMode);
}

bool CVantrellApp::CanCaptureVersion(IEVERSION version) const {
    if (!IsValidVersion(version) || !g_versionInfo[static_cast<size_t>(version)].templateRegistered) return false;
    if (version == IE9) {
        const std::wstring exe = fw::FolderOfPath(fw::ModuleFileName(nullptr, MAX_PATH)) + kIE9Executable;
        return GetFileAttributesW(exe.c_str()) != INVALID_FILE_ATTRIBUTES && HasIE9Libraries();
    }
    if (m_bMultiProcessMode) return EngineFilesPresent(version);
    return IsVersionAvailable(version, false);
}

void CVantrellApp::PostToViews(UINT command) {
    for (fw::Document* doc : AllDocuments())
        for (fw::View* view : doc->Views()) PostMessageW(view->Handle(), WM_COMMAND, command, 0);
}

void CVantrellApp::CloseTabs(const fw::Document* keep) {
    for (fw::Document* doc : AllDocuments()) {
        if (doc == keep) continue;
        if (fw::View* view = doc->FirstView()) {
            if (fw::MDIChildFrame* frame = view->ParentFrame())
                SendMessageW(frame->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
        } else {
            doc->OnCloseDocument();
        }
    }
}

void CVantrellApp::OpenInternetOptions() {
    using Launch = BOOL(WINAPI*)(HWND);
    HWND owner = MainWindow();
    if (m_bMultiProcessMode) {
        fw::Module cpl(LoadLibraryW(L"inetcpl.cpl"));
        if (!cpl) return;
        if (auto launch = reinterpret_cast<Launch>(reinterpret_cast<void*>(GetProcAddress(cpl.get(), "LaunchInternetControlPanel"))))
            launch(owner);
        return;
    }
    if (!g_hInetCpl) return;
    if (auto launch = reinterpret_cast<Launch>(reinterpret_cast<void*>(GetProcAddress(g_hInetCpl, "LaunchInternetControlPanel"))))
        launch(owner);
}

void CVantrellApp::RegisterCommands() {
    for (const VersionInfo& info : g_versionInfo) {
        if (!info.templateRegistered) continue;
        const IEVERSION version = info.version;
        m_commands.Add(info.newTabCommand, [this, version](UINT) { OpenTabForVersion(version, g_strHomePage.c_str()); },
                       [this, version](fw::CmdUI& ui) { ui.Enable(CanOpenVersion(version)); });
    }
    auto moreThanOne = [this](fw::CmdUI& ui) { ui.Enable(AllDocuments().size() > 1); };
    m_commands.Add(ID_REFRESH_ALL, [this](UINT) { PostToViews(ID_MENU_REFRESH); }, moreThanOne);
    m_commands.Add(ID_REFRESH_ALL_NO_CACHE, [this](UINT) { PostToViews(ID_REFRESH_NO_CACHE); }, moreThanOne);
    m_commands.Add(ID_CLOSE_ALL_TABS, [this](UINT) { CloseTabs(nullptr); },
                   [this](fw::CmdUI& ui) { ui.Enable(!AllDocuments().empty()); });
    m_commands.Add(ID_CLOSE_OTHER_TABS, [this](UINT) {
        auto frame = dynamic_cast<fw::MDIFrameWnd*>(fw::Window::FromHandle(MainWindow()));
        fw::View* view = frame ? frame->ActiveView() : nullptr;
        CloseTabs(view ? view->GetDocument() : nullptr);
    }, moreThanOne);
    m_commands.Add(ID_IE_OPTIONS, [this](UINT) { OpenInternetOptions(); });
    m_commands.Add(ID_OPEN_ALL_VERSIONS, [this](UINT) { OpenInAllVersions(); });
    m_commands.Add(ID_OPTIONS, [this](UINT) { ShowOptionsSheet(MainWindow()); });
    m_commands.Add(ID_REFRESH_FAVORITES, [this](UINT) { RefreshFavorites(); });
    // A favorite chosen while no tab is open (the active tab's view takes
    // it otherwise) opens in a new tab of the installed engine.
    m_commands.AddRange(CFavoritesManager::kFirstCommand, CFavoritesManager::kLastCommand, [this](UINT id) {
        const std::wstring url = m_favorites.GetURL(id);
        if (!url.empty()) OpenTabForVersion(IEDefault, url.c_str());
    });
    // The release check downloads on a worker thread; the command waits
    // until the running one has its answer.
    m_commands.Add(ID_CHECK_VERSION, [this](UINT) { StartVersionCheckOnDemand(MainWindow()); },
                   [](fw::CmdUI& ui) { ui.Enable(!IsVersionCheckOnDemandRunning()); });
    m_commands.Add(ID_ABOUT, [this](UINT) {
        CAboutDlg about;
        about.DoModal(MainWindow());
    });
}
