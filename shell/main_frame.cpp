#include "main_frame.h"

#include "app/vantrell_app.h"
#include "prefs/language.h"
#include "res/string_ids.h"

bool IsProcessElevated() {
    OSVERSIONINFOW os{};
    os.dwOSVersionInfoSize = sizeof(os);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&os)) return false;
#pragma GCC diagnostic pop
    if (os.dwPlatformId != VER_PLATFORM_WIN32_NT || os.dwMajorVersion <= 5) return false;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    bool elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size) &&
                    elevation.TokenIsElevated != 0;
    CloseHandle(token);
    return elevated;
}

std::wstring CMainFrame::ComposeTitle(const std::wstring& frameTitle, bool multiProcessMode, bool elevated) {
    std::wstring title = frameTitle + L" (";
    title += TranslatedString(multiProcessMode ? IDS_MULTI_PROCESS_MODE : IDS_MULTI_THREAD_MODE);
    if (elevated) title += L" | " + TranslatedString(IDS_ADMINISTRATOR);
    title += L")";
    return title;
}

int CMainFrame::OnCreate(CREATESTRUCTW*) {
    CVantrellApp* app = GetVantrellApp();
    SetText(ComposeTitle(Text(), app && app->m_bMultiProcessMode, IsProcessElevated()));
    return 0;
}

bool CMainFrame::PreTranslateMessage(MSG& msg) {
    CVantrellApp* app = GetVantrellApp();
    if (app && app->m_hAccelTable && msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST &&
        TranslateAcceleratorW(Handle(), app->m_hAccelTable, &msg))
        return true;
    return fw::FrameWnd::PreTranslateMessage(msg);
}
