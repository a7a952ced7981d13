// Sends commands to a running Vantrell main window, as its menus would:
//   window_command.exe ID [ID...]     each ID a decimal command identifier,
//                                     or "wait:MS" to pause between commands
// For the picture scripts, which arrange tabs before they take a picture.
// Exits with 1 when no main window shows within 20 seconds.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {
BOOL CALLBACK TakeMainWindow(HWND h, LPARAM out) {
    wchar_t className[64] = {};
    GetClassNameW(h, className, 64);
    if (wcscmp(className, L"fw.FrameWnd") != 0 || !IsWindowVisible(h)) return TRUE;
    *reinterpret_cast<HWND*>(out) = h;
    return FALSE;
}

HWND FindMainWindow() {
    HWND found = nullptr;
    EnumWindows(&TakeMainWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}
} // namespace

int wmain(int argc, wchar_t** argv) {
    HWND main = nullptr;
    for (int i = 0; i < 200 && !(main = FindMainWindow()); ++i) Sleep(100);
    if (!main) return 1;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg.rfind(L"wait:", 0) == 0) Sleep(static_cast<DWORD>(_wtoi(arg.c_str() + 5)));
        else SendMessageW(main, WM_COMMAND, static_cast<WPARAM>(_wtoi(arg.c_str())), 0);
    }
    return 0;
}
