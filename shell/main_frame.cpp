#include "main_frame.h"

#include "framework/handles.h"
#include "prefs/language.h"
#include "res/resource_ids.h"

bool IsProcessElevated() {
    OSVERSIONINFOW os{};
    os.dwOSVersionInfoSize = sizeof(os);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&os)) return false;
#pragma GCC diagnostic pop
    if (os.dwPlatformId != VER_PLATFORM_WIN32_NT || os.dwMajorVersion <= 5) return false;
    fw::UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size) &&
           elevation.TokenIsElevated != 0;
}

std::wstring CMainFrame::ComposeTitle(const std::wstring& frameTitle, bool multiProcessMode, bool elevated) {
    std::wstring title = frameTitle + L" (";
    title += TranslatedString(multiProcessMode ? IDS_MULTI_PROCESS_MODE : IDS_MULTI_THREAD_MODE);
    if (elevated) title += L" | " + TranslatedString(IDS_ADMINISTRATOR);
    title += L")";
    return title;
}

int CMainFrame::OnCreate(CREATESTRUCTW*) {
    SetText(ComposeTitle(Text(), m_settings.multiProcessMode, IsProcessElevated()));
    return 0;
}

bool CMainFrame::PreTranslateMessage(MSG& msg) {
    if (m_hAppAccelerators && msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST &&
        TranslateAcceleratorW(Handle(), m_hAppAccelerators, &msg))
        return true;
    return fw::FrameWnd::PreTranslateMessage(msg);
}
