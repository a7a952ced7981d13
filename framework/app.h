#pragma once
// The application object: one per process, constructed before the entry
// point runs. The entry point hands control to it: InitInstance, then the
// message loop when InitInstance succeeded, then ExitInstance.
//
// Errors in framework/: window and dialog code returns bool, COM-facing code an HRESULT (com_object.h);
// no exception crosses a window procedure, dialog procedure or COM method (errors.h stops it there).
#include "command.h"
#include "profile.h"

#include <windows.h>
#include <memory>
#include <string>
#include <vector>

namespace fw {

class DocTemplate;

// The last target of command routing (see mdi.h).
class WinApp : public CommandTarget {
public:
    WinApp();
    virtual ~WinApp();
    WinApp(const WinApp&) = delete;
    WinApp& operator=(const WinApp&) = delete;

    // Returns true to run the message loop, false to end at once.
    virtual bool InitInstance() { return true; }
    // The message loop; returns the exit code of WM_QUIT.
    virtual int Run();
    // Returns the process exit code.
    virtual int ExitInstance() { return m_exitCode; }
    // Offered every queued message before it is dispatched; true consumes it.
    // The default walks from the message's window up to the main window and
    // offers the message to every framework window on the way.
    virtual bool PreTranslateMessage(MSG& msg);

    HINSTANCE Instance() const { return m_hInstance; }
    // The show command the process was started with (STARTUPINFO or WinMain).
    int ShowCommand() const { return m_nCmdShow; }
    HWND MainWindow() const { return m_hMainWnd; }
    void SetMainWindow(HWND hwnd) { m_hMainWnd = hwnd; }

    // Application name: string 57344 of the resources, else the given default.
    const std::wstring& AppName() const { return m_appName; }
    // Makes the registry profile "Software\<company>\<AppName()>".
    void SetRegistryKey(const std::wstring& company) { m_profile.SetRegistryKey(company, m_appName); }
    Profile& GetProfile() { return m_profile; }
    const Profile& GetProfile() const { return m_profile; }

    // Document templates, in registration order; the application owns them
    // and deletes them (with any document still open) when it goes.
    void AddDocTemplate(std::unique_ptr<DocTemplate> docTemplate);
    const std::vector<std::unique_ptr<DocTemplate>>& DocTemplates() const { return m_templates; }

    // Entry point used by wWinMain.
    int Main(HINSTANCE instance, int showCommand);

protected:
    HINSTANCE m_hInstance = nullptr;
    int m_nCmdShow = SW_SHOWDEFAULT;
    HWND m_hMainWnd = nullptr;
    int m_exitCode = 0;
    std::wstring m_appName = L"Vantrell";
    Profile m_profile;
    std::vector<std::unique_ptr<DocTemplate>> m_templates;
};

// The process's application object, or null before one exists.
WinApp* GetApp();

// Resource id of the application's title string.
constexpr UINT kAppTitleStringId = 57344;

// A message box captioned with the application's name.
int AppMessageBox(HWND owner, const std::wstring& text, UINT type);

} // namespace fw
