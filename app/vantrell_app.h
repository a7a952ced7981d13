#pragma once
// The application object. Decides once per process what the process is: a
// main process in multi-thread mode, a main process in multi-process mode,
// or the child process of one tab (started with "-pcode=").
#include "command_line.h"

#include "core/settings.h"
#include "core/versions.h"
#include "framework/app.h"
#include "framework/handles.h"
#include "hosting/ie_thread.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class CIEThread;

class CVantrellApp : public fw::WinApp {
public:
    CVantrellApp();
    ~CVantrellApp() override;

    bool InitInstance() override;
    int ExitInstance() override;

    // The stored settings as start-up read them, once. A child process keeps
    // the defaults but for the language: it reads no other setting.
    const Settings& GetSettings() const { return m_settings; }
    // The process's role, fixed by InitInstance: multi-process mode is also
    // true in a child process; sub-process only there.
    bool IsMultiProcessMode() const { return m_bMultiProcessMode; }
    bool IsSubProcess() const { return m_bSubProcess; }
    // Accelerator table 129, loaded by a plain start; null in a child.
    HACCEL AcceleratorTable() const { return m_hAccelTable.get(); }

protected:
    // The two start paths; their result is the result of InitInstance.
    virtual bool PlainStart(CCustomCommandLineInfo& cmdInfo);
    virtual bool ChildStart(CCustomCommandLineInfo& cmdInfo);

private:
    // Installs the isolation layer; false after telling the user (owner:
    // `owner`) when it could not be installed.
    bool InstallHooks(IEVERSION version, bool singleVersion, HWND owner);

    Settings m_settings;
    bool m_bMultiProcessMode = false;
    bool m_bSubProcess = false;
    fw::AcceleratorTable m_hAccelTable;
    // The child process's engine thread; it deletes itself, so only its
    // thread handle (duplicated) is used after it started.
    CIEThread* m_pSubProcessThread = nullptr;
    fw::UniqueHandle m_hSubProcessThread;
    fw::UniqueHandle m_hSubProcessDoneEvent;
    // Carries the child's tab content notifications to the parent.
    std::unique_ptr<CChildPipeNotifier> m_pChildNotifier;
    ULONG_PTR m_gdiplusToken = 0;
    std::optional<fw::OleInit> m_ole;
    bool m_bHooksInstalled = false;
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
// The command-line addresses that start-up opens, in the order it opens
// them: per version in order, only for available versions.
struct StartupAddress {
    IEVERSION version;
    std::wstring address;
};
std::vector<StartupAddress> StartupAddresses(const CCustomCommandLineInfo& cmdInfo, bool multiProcessMode);
