#pragma once
// The application object. Decides once per process what the process is: a
// main process in multi-thread mode, a main process in multi-process mode,
// or the child process of one tab (started with "-pcode=").
#include "command_line.h"

#include "core/settings.h"
#include "core/versions.h"
#include "framework/app.h"
#include "framework/gdiplus_init.h"
#include "framework/handles.h"
#include "hosting/child_thread.h"
#include "prefs/favorites.h"
#include "shell/shell_app.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class CIEThread;
class CChildEngineThread;
namespace fw { class Document; }

class CVantrellApp : public fw::WinApp, public IShellApp {
public:
    CVantrellApp();
    ~CVantrellApp() override;

    bool InitInstance() override;
    int ExitInstance() override;

    // The stored settings as start-up read them, once, in every process;
    // the options sheet changes them (LiveSettings).
    const Settings& GetSettings() const { return m_settings; }
    // The process's role, fixed by InitInstance: multi-process mode is also
    // true in a child process; sub-process only there.
    bool IsMultiProcessMode() const override { return m_bMultiProcessMode; }
    bool IsSubProcess() const { return m_bSubProcess; }
    // Accelerator table 129, loaded by a plain start and by a child.
    HACCEL AcceleratorTable() const { return m_hAccelTable.get(); }

    // Opens a new tab from the template `templateId` with `url` as its first
    // address; null when no template has that id or it could not be opened.
    fw::Document* OpenTab(UINT templateId, LPCWSTR url);
    // The same for a version (every value outside 0 to 6 is the default
    // engine; 4 and 5 have no template and open nothing).
    fw::Document* OpenTabForVersion(IEVERSION version, LPCWSTR url) override;
    std::wstring FavoriteAddress(UINT id) const override;
    Settings& LiveSettings() override { return m_settings; }
    // Tells every tab whether its taskbar thumbnail is switched off.
    void NotifyTaskbarSetting(bool off) override;
    // Applies the live settings in this process and tells every tab.
    void NotifySettingsChanged() override;
    // Whether every engine thread had ended when the program exited (false:
    // one was stuck; the process then ends without further waiting).
    bool EngineThreadsIdle() const { return m_bEngineThreadsIdle; }
    // The favorites as read at start-up or at the last refresh.
    const CFavoritesManager& Favorites() const { return m_favorites; }

    // Whether the new-tab command of `version` is enabled now.
    bool CanOpenVersion(IEVERSION version) const;
    // Whether a capture can run `version` in this process's mode: 4 and 5
    // never; 9 when its program and libraries are there; in multi-process
    // mode the others when their files are there, otherwise when loaded.
    bool CanCaptureVersion(IEVERSION version) const;
    // Every open document, template by template.
    std::vector<fw::Document*> AllDocuments() const;

protected:
    // The two start paths; their result is the result of InitInstance.
    virtual bool PlainStart(CCustomCommandLineInfo& cmdInfo);
    virtual bool ChildStart(CCustomCommandLineInfo& cmdInfo);
    // "-pspare=": a child started ahead, which waits for its tab's start.
    bool SpareStart(const CCustomCommandLineInfo& cmdInfo);
    // "-capture": pictures of the addresses, no window (app/capture.h).
    // Always false (the process ends); the exit code is 0 only when every
    // picture was taken from a complete page, 2 for a bad command line.
    virtual bool CaptureStart(CCustomCommandLineInfo& cmdInfo);
    // "-merge-reports OUT DIR...": the shards' reports merged into OUT
    // (app/capture_reports.h). Always false; exit code 0 when every merged
    // picture passed, 1 when one failed, 2 for a bad command line or a
    // report that cannot be read or written.
    bool MergeStart(CCustomCommandLineInfo& cmdInfo);

private:
    // Installs the isolation layer; false after telling the user (owner:
    // `owner`) when it could not be installed.
    bool InstallHooks(IEVERSION version, bool singleVersion, HWND owner);
    void RegisterTemplates();
    void RegisterCommands();
    void PostToViews(UINT command);
    // Closes every tab but the one of `keep` (none: all), each through its
    // close protocol.
    void CloseTabs(const fw::Document* keep);
    void OpenInternetOptions();
    // The "All IE versions" command: the dialog, then one tab per chosen
    // version that can be opened.
    void OpenInAllVersions();
    // "Compare side by side": the active tab's page in every version the
    // open-in-all choices name (the active tab serves its own version),
    // one tab group each side by side, the tabs linked. False when there is
    // no active tab or fewer than two versions could be shown.
    bool CompareSideBySide();
    // Reads the Favorites folder again and gives the ribbon the new menu.
    void RefreshFavorites();
    // The Favorites button's menu built from the tree, with the refresh
    // command at its end; null when a menu could not be created.
    HMENU BuildFavoritesMenu() const;

    Settings m_settings;
    bool m_bMultiProcessMode = false;
    bool m_bSubProcess = false;
    fw::AcceleratorTable m_hAccelTable;
    // The child process's engine thread; it deletes itself, so only its
    // thread handle (duplicated) is used after it started.
    CChildEngineThread* m_pSubProcessThread = nullptr;
    fw::UniqueHandle m_hSubProcessThread;
    fw::UniqueHandle m_hSubProcessDoneEvent;
    // Carries the child's tab content notifications to the parent.
    std::unique_ptr<CChildPipeNotifier> m_pChildNotifier;
    std::optional<fw::GdiplusInit> m_gdiplus;
    std::optional<fw::OleInit> m_ole;
    bool m_bHooksInstalled = false;
    bool m_bEngineThreadsIdle = true;
    // The user's favorites; only a main process reads them.
    CFavoritesManager m_favorites;
    // Whether version 9's libraries are there, once looked at.
    mutable std::optional<bool> m_ie9Libraries;
};

// The process's application object.
CVantrellApp* GetVantrellApp();

// Makes the running executable's folder the current directory; false (and
// the current directory unchanged) when that is not possible.
bool MakeExecutableFolderCurrent();
// The folder handed to the language loader: the installation folder, or
// for a version-9 child the installation folder followed by "\..\".
std::wstring LanguageBaseFolder(const std::wstring& installDir, const CCustomCommandLineInfo& cmdInfo);
// "Install_Dir" of the machine-wide key; empty on any failure.
std::wstring ReadInstallDir();
// The full path of `address` when it names an existing file relative to the
// current directory; otherwise `address` itself.
std::wstring ExistingFileAddress(const std::wstring& address);
// The command-line addresses that start-up opens, in the order it opens
// them: per version in order, only for available versions.
struct StartupAddress {
    IEVERSION version;
    std::wstring address;
};
std::vector<StartupAddress> StartupAddresses(const CCustomCommandLineInfo& cmdInfo, bool multiProcessMode);
