#pragma once
// The application object. Decides once per process what the process is: a
// main process in multi-thread mode, a main process in multi-process mode,
// or the child process of one tab (started with "-pcode=").
#include "command_line.h"
#include "versions.h"

#include "framework/app.h"

#include <string>

class CIEThread;

class CVantrellApp : public fw::WinApp {
public:
    CVantrellApp();
    ~CVantrellApp() override;

    bool InitInstance() override;
    int ExitInstance() override;

    HACCEL m_hAccelTable = nullptr;
    int m_nSearchBehaviour = 0;
    bool m_bDisableWindowExternal = false;
    bool m_bDisableFilters = false;
    bool m_bMultiProcessMode = false;
    bool m_bSubProcess = false;
    CIEThread* m_pSubProcessThread = nullptr;
    ULONG_PTR m_gdiplusToken = 0;
    int m_nVisualStyle = 0;
    BOOL m_bHiColorIcons = TRUE;
    HANDLE m_hSubProcessDoneEvent = nullptr;
    HANDLE m_pSubProcessThreadHandle = nullptr;

protected:
    // The two start paths; their result is the result of InitInstance.
    virtual bool PlainStart(CCustomCommandLineInfo& cmdInfo);
    virtual bool ChildStart(CCustomCommandLineInfo& cmdInfo);

private:
    bool m_bOleInitialized = false;
    bool m_bHooksInstalled = false;
};

// The process's application object.
CVantrellApp* GetVantrellApp();

// The folder of an executable's full path with its trailing backslash, or
// empty when the path has no folder part.
std::wstring ExecutableFolderOf(const std::wstring& exePath);
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
