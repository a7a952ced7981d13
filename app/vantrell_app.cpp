#include "vantrell_app.h"

#include "capture.h"
#include "capture_checks.h"
#include "capture_reports.h"

#include "browser/dialog_wb_container.h"
#include "hosting/child_thread.h"
#include "hosting/proxy_thread.h"
#include "hosting/spare_child.h"
#include "core/locations.h"
#include "framework/strings.h"
#include "isolation/isolation.h"
#include "prefs/language.h"
#include "res/resource_ids.h"
#include "shell/dialog_open_all.h"
#include "shell/main_frame.h"
#include "shell/options_sheet.h"
#include "shell/release_check.h"
#include "shell/tab_links.h"
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
// How long the main process waits for its proxies: each waits for its child
// (5 s at most) and then ends it.
constexpr DWORD kProxyExitWaitMs = CProxyEngineThread::kChildExitWaitMs + 2000;

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

    // A child follows the same settings as its parent, read from the same
    // place.
    m_settings = stored;
    if (cmdInfo.m_bSpare) return SpareStart(cmdInfo);
    if (cmdInfo.m_bPcode) return ChildStart(cmdInfo);
    // Like the addresses, folders are relative to where the program was
    // started.
    auto fullFolder = [](std::wstring& folder) {
        if (folder.empty()) return;
        wchar_t full[MAX_PATH] = {};
        const DWORD n = GetFullPathNameW(folder.c_str(), MAX_PATH, full, nullptr);
        if (n > 0 && n < MAX_PATH) folder = full;
        while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    };
    if (cmdInfo.m_bMergeReports) {
        fullFolder(cmdInfo.m_strMergeOut);
        for (std::wstring& folder : cmdInfo.m_mergeFolders) fullFolder(folder);
        return MergeStart(cmdInfo);
    }
    if (cmdInfo.m_bCapture) {
        fullFolder(cmdInfo.m_strCaptureFolder);
        fullFolder(cmdInfo.m_strBaselineFolder);
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
    CIEThread::SetKeepSpareChild(m_bMultiProcessMode);
    ApplyTabSettings(m_settings);
    RegisterTemplates();
    // A missing Favorites folder only leaves the menu empty.
    (void)m_favorites.LoadFavorites();

    m_hAccelTable.reset(LoadAcceleratorsW(fw::ResourceModule(), MAKEINTRESOURCEW(IDR_APP_ACCELERATORS)));
    CIEThread::SetAcceleratorTable(m_hAccelTable.get());
    GetBrowserHostOptions().hAccelTable = m_hAccelTable.get();

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
    if (cmdInfo.m_bCompareView) (void)CompareSideBySide();

    ShowWindow(frame->Handle(), ShowCommand());
    UpdateWindow(frame->Handle());
    return true;
}

bool CVantrellApp::CaptureStart(CCustomCommandLineInfo& cmdInfo) {
    m_bMultiProcessMode = m_settings.multiProcessMode;
    m_exitCode = 2;
    auto badValue = [](const std::wstring& value) {
        std::wstring line = TranslatedString(IDS_CAPTURE_BAD_VALUE);
        if (size_t at = line.find(L"%s"); at != std::wstring::npos) line.replace(at, 2, value);
        WriteOutputLine(EscapeRecordField(line));
        return false;
    };
    if (!cmdInfo.m_strCaptureError.empty() || cmdInfo.m_strCaptureFolder.empty())
        return badValue(cmdInfo.m_strCaptureError.empty() ? L"-capture" : cmdInfo.m_strCaptureError);
    const std::wstring folder = cmdInfo.m_strCaptureFolder;
    const std::vector<CaptureItem> items = PlanCaptures(cmdInfo, folder);
    if (items.empty()) {
        WriteOutputLine(TranslatedString(IDS_CAPTURE_NO_ADDRESS));
        return false;
    }
    CheckSettings checks;
    checks.width = cmdInfo.m_nCaptureWidth;
    checks.height = cmdInfo.m_nCaptureHeight;
    checks.compare = cmdInfo.m_bCompare;
    checks.tolerance = cmdInfo.m_nTolerance;
    checks.threshold = cmdInfo.m_dThreshold;
    checks.baselineFolder = cmdInfo.m_strBaselineFolder;
    checks.updateBaseline = cmdInfo.m_bUpdateBaseline;
    checks.failOnScriptError = cmdInfo.m_bFailOnScriptError;
    checks.shardIndex = cmdInfo.m_nShardIndex;
    checks.shardCount = cmdInfo.m_nShardCount;
    if (checks.updateBaseline && checks.baselineFolder.empty()) return badValue(L"-update-baseline (without -baseline DIR)");
    if (checks.compare) {
        if (cmdInfo.m_nReferenceVersion >= 0) {
            checks.reference = static_cast<IEVERSION>(cmdInfo.m_nReferenceVersion);
            if (std::none_of(items.begin(), items.end(), [&](const CaptureItem& i) { return i.version == checks.reference; }))
                return badValue(L"-reference-version " + std::wstring(g_versionInfo[static_cast<size_t>(checks.reference)].name) +
                                L" (no address is named for this version)");
        } else if (!HighestVersion(items, checks.reference)) {
            return badValue(L"-compare");
        }
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
    ApplyTabSettings(m_settings);

    CPageCapture::Options options;
    options.width = cmdInfo.m_nCaptureWidth;
    options.height = cmdInfo.m_nCaptureHeight;
    options.waitMs = cmdInfo.m_nCaptureWaitMs;
    options.multiProcess = m_bMultiProcessMode;
    // An address is checked as soon as its pictures are there, while the
    // engines go on with the next ones.
    CCaptureChecker checker(items, checks);
    options.onItemDone = [&checker](size_t index, const CaptureOutcome& outcome) { checker.ItemDone(index, outcome); };
    std::vector<CaptureOutcome> outcomes;
    {
        CPageCapture capture(options, [this](IEVERSION v) { return CanCaptureVersion(v); });
        outcomes = capture.Run(items, folder);
    }
    // A plain capture keeps its lines as they always were; a checking one
    // adds the comparisons and the verdict to each.
    const bool checking = checks.compare || !checks.baselineFolder.empty() || checks.failOnScriptError;
    const CaptureReport report = checker.Finish(outcomes);
    for (size_t i = 0; i < outcomes.size(); ++i)
        WriteOutputLine(checking ? FormatResultLine(report, report.pictures[i]) : FormatCaptureLine(outcomes[i]));
    // The reports go where the pictures went; when that folder could not be
    // made, the lines above have said so for every picture.
    if (std::any_of(outcomes.begin(), outcomes.end(), [](const CaptureOutcome& o) { return o.written; }) ||
        PrepareCaptureFolder(folder) == NO_ERROR) {
        std::wstring error;
        if (!WriteReports(folder, report, error)) {
            std::wstring text = TranslatedString(IDS_CAPTURE_ERROR);
            if (const size_t at = text.find(L"%s"); at != std::wstring::npos) text.replace(at, 2, error);
            WriteOutputLine(EscapeRecordField(text));
            return false;
        }
    }
    m_exitCode = report.Failures() == 0 ? 0 : 1;
    return false;
}

bool CVantrellApp::MergeStart(CCustomCommandLineInfo& cmdInfo) {
    m_exitCode = 2;
    std::wstring line = TranslatedString(IDS_CAPTURE_BAD_VALUE);
    const size_t at = line.find(L"%s");
    if (!cmdInfo.m_strCaptureError.empty() || cmdInfo.m_strMergeOut.empty() || cmdInfo.m_mergeFolders.empty()) {
        if (at != std::wstring::npos)
            line.replace(at, 2, cmdInfo.m_strCaptureError.empty() ? L"-merge-reports OUT DIR..." : cmdInfo.m_strCaptureError);
        WriteOutputLine(EscapeRecordField(line));
        return false;
    }
    CaptureReport merged;
    std::wstring error;
    if (!MergeReports(cmdInfo.m_strMergeOut, cmdInfo.m_mergeFolders, merged, error)) {
        std::wstring text = TranslatedString(IDS_CAPTURE_ERROR);
        if (const size_t e = text.find(L"%s"); e != std::wstring::npos) text.replace(e, 2, error);
        WriteOutputLine(EscapeRecordField(text));
        return false;
    }
    for (const PictureResult& result : merged.pictures) WriteOutputLine(FormatResultLine(merged, result));
    m_exitCode = merged.Failures() == 0 ? 0 : 1;
    return false;
}

bool CVantrellApp::SpareStart(const CCustomCommandLineInfo& cmdInfo) {
    // Ready before the tab exists; the tab's start then comes as a fresh
    // child's command line would.
    // Every engine version's libraries load now (as in a multi-thread main
    // process), so the tab finds its version loaded.
    MakeExecutableFolderCurrent();
    if (!InstallHooks(IE6, false, nullptr)) return false;
    std::wstring arguments;
    if (!RunSpareWait(cmdInfo.m_dwSpareParent, arguments)) return false;
    CCustomCommandLineInfo start;
    fw::ParseCommandLine(start, fw::SplitCommandLine((L"vantrell.exe " + arguments).c_str()));
    start.FinishParsing();
    if (!start.m_bPcode || start.m_nPcodeVersion == IE9) return false;
    // The settings as they are now, not as they were when the spare began.
    m_settings = ReadSettings(GetProfile());
    return ChildStart(start);
}

bool CVantrellApp::ChildStart(CCustomCommandLineInfo& cmdInfo) {
    m_bMultiProcessMode = true;
    m_bSubProcess = true;

    const IEVERSION version = cmdInfo.m_nPcodeVersion;
    const HWND view = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(cmdInfo.m_hWndParent));
    // A spare loaded every version while it waited: its tab's thread is
    // bound to one, as an engine thread of the main process is; a fresh
    // child loads only its own version.
    if (m_bHooksInstalled) {
        if (!BindThreadToVersion(0, version)) {
            TranslatedMessageBox(view, IDS_BIND_FAILED, MB_OK | MB_ICONERROR);
            return false;
        }
    } else if (!InstallHooks(version, true, view)) {
        return false;
    }
    if (version != IE9 && version != IEDefault && g_engines[version].loaded != 1) {
        TranslatedMessageBox(view, IDS_CANNOT_LOAD_VERSION, MB_OK | MB_ICONERROR);
        return false;
    }
    m_hSubProcessDoneEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_hSubProcessDoneEvent) {
        ReportSystemError(view, L"CreateEvent", GetLastError());
        return false;
    }

    // The switches apply here as in the parent; the application's shortcut
    // keys inside the page go to the parent's main frame.
    const HWND topLevel = fw::OutermostAncestor(view);
    ApplyTabSettings(m_settings);
    m_hAccelTable.reset(LoadAcceleratorsW(fw::ResourceModule(), MAKEINTRESOURCEW(IDR_APP_ACCELERATORS)));
    CIEThread::SetAcceleratorTable(m_hAccelTable.get());
    GetBrowserHostOptions().hAccelTable = m_hAccelTable.get();
    GetBrowserHostOptions().hWndAcceleratorTarget = topLevel;

    // The tab content, inside the parent's tab view, on the tab's first
    // page at the view's size when the parent named them; it belongs to
    // this thread and deletes itself when its window goes.
    m_pChildNotifier = std::make_unique<CChildPipeNotifier>();
    auto dialog = new CDialogWBContainer();
    dialog->m_bChildProcess = true;
    dialog->m_nVersion = version;
    dialog->m_hWndTopLevel = topLevel;
    if (cmdInfo.m_bStartAddress) dialog->m_strURL = cmdInfo.m_strStartURL;
    dialog->SetOwner(m_pChildNotifier.get());
    // The parent may destroy the view at any moment (the tab closed while
    // its child starts), and the content's window goes with it, even in the
    // middle of its creation: its WM_NCDESTROY then deletes the object. So
    // the object is not touched after Create, only its handle; and a failed
    // Create, which may have deleted it already, leaves it to the process's
    // end (which follows at once) instead of deleting it a second time.
    if (!dialog->Create(IDD_TAB_CONTENT, view)) return false;
    const HWND content = dialog->Handle();
    if (cmdInfo.m_bStartSize) MoveWindow(content, 0, 0, cmdInfo.m_nStartWidth, cmdInfo.m_nStartHeight, FALSE);
    SetMainWindow(content);
    ShowWindow(content, ShowCommand());
    UpdateWindow(content);

    CIEThread::Start start;
    start.hWndTab = content;
    start.hWndTopLevel = topLevel;
    start.version = version;
    start.doneEvent = m_hSubProcessDoneEvent.get();
    start.pipeName = cmdInfo.m_strPipeName;
    auto thread = static_cast<CChildEngineThread*>(CIEThread::New(CIEThread::Role::Child, start));
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
    if (!m_bSubProcess) {
        CSpareChildPool::Get().Shutdown();
        // Tabs close with the main window, but their engine threads wind
        // down on their own: no engine library may be freed under a thread
        // that still runs its code, and no child process may outlive the
        // program (each proxy waits for its child, then ends it). A thread
        // that does not end in time keeps the libraries loaded until the
        // process is gone.
        const DWORD wait = m_bMultiProcessMode ? kProxyExitWaitMs : kEngineThreadExitWaitMs;
        m_bEngineThreadsIdle = CIEThread::WaitForEngineThreads(wait);
        if (m_bHooksInstalled && m_bEngineThreadsIdle && RemoveEngineHooks() == NO_ERROR) m_bHooksInstalled = false;
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

bool CVantrellApp::CompareSideBySide() {
    auto* frame = dynamic_cast<CMainFrame*>(fw::Window::FromHandle(MainWindow()));
    auto* active = frame ? dynamic_cast<CVantrellView*>(frame->ActiveView()) : nullptr;
    if (!active || !active->GetDocument()) return false;
    const std::wstring address = tab_links::AddressOf(*active);
    if (address.empty()) return false;
    const IEVERSION activeVersion = active->GetDocument()->m_nVersion;
    std::vector<CVantrellView*> views;
    std::vector<fw::MDIChildFrame*> frames;
    for (IEVERSION version : {IE55, IE6, IE7, IE8, IE9, IEDefault}) {
        if (!CanOpenVersion(version) || !ReadOpenAll(GetProfile(), version)) continue;
        CVantrellView* view = nullptr;
        if (version == activeVersion) {
            view = active;
        } else if (fw::Document* doc = OpenTabForVersion(version, address.c_str())) {
            view = dynamic_cast<CVantrellView*>(doc->FirstView());
        }
        fw::MDIChildFrame* child = view ? view->ParentFrame() : nullptr;
        if (!child) continue;
        views.push_back(view);
        frames.push_back(child);
    }
    if (views.size() < 2) return false;
    const bool arranged = tab_links::ArrangeSideBySide(*frame, frames);
    return tab_links::Link(views) && arranged;
}

std::vector<fw::Document*> CVantrellApp::AllDocuments() const {
    std::vector<fw::Document*> out;
    for (const auto& docTemplate : DocTemplates())
        out.insert(out.end(), docTemplate->Documents().begin(), docTemplate->Documents().end());
    return out;
}

void CVantrellApp::NotifySettingsChanged() {
    ApplyTabSettings(m_settings);
    for (fw::Document* doc : AllDocuments())
        if (fw::View* view = doc->FirstView()) PostMessageW(view->Handle(), UWM_TAB_SETTINGS_CHANGED, 0, 0);
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
    m_commands.Add(ID_COMPARE_SIDE_BY_SIDE, [this](UINT) { (void)CompareSideBySide(); }, [this](fw::CmdUI& ui) {
        auto frame = dynamic_cast<fw::MDIFrameWnd*>(fw::Window::FromHandle(MainWindow()));
        ui.Enable(frame && dynamic_cast<CVantrellView*>(frame->ActiveView()) != nullptr);
    });
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
