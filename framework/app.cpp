#include "app.h"

#include "document.h"
#include "strings.h"
#include "window.h"

namespace fw {

namespace {
WinApp* g_app = nullptr;
}

WinApp* GetApp() { return g_app; }

WinApp::WinApp() { g_app = this; }

WinApp::~WinApp() {
    if (g_app == this) g_app = nullptr;
}

void WinApp::AddDocTemplate(std::unique_ptr<DocTemplate> docTemplate) {
    if (docTemplate) m_templates.push_back(std::move(docTemplate));
}

int WinApp::Main(HINSTANCE instance, int showCommand) {
    m_hInstance = instance;
    m_nCmdShow = showCommand;
    if (auto title = LoadResourceString(kAppTitleStringId)) m_appName = *title;
    if (InitInstance()) m_exitCode = Run();
    return ExitInstance();
}

int WinApp::Run() {
    MSG msg;
    for (;;) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) return 1;
        if (!got) return static_cast<int>(msg.wParam);
        if (PreTranslateMessage(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool WinApp::PreTranslateMessage(MSG& msg) {
    for (HWND h = msg.hwnd; h; h = GetParent(h)) {
        if (Window* w = Window::FromHandle(h); w && w->PreTranslateMessage(msg)) return true;
        if (h == m_hMainWnd) break;
    }
    return false;
}

int AppMessageBox(HWND owner, const std::wstring& text, UINT type) {
    WinApp* app = GetApp();
    std::wstring caption = app ? app->AppName() : L"Vantrell";
    return MessageBoxW(owner, text.c_str(), caption.c_str(), type);
}

} // namespace fw
