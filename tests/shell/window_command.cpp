// Sends commands to a running Vantrell main window, as its menus would:
//   window_command.exe ID [ID...]     each ID a decimal command identifier,
//                                     or "wait:MS" to pause between commands,
//                                     "post:ID" to post a command that opens
//                                     a modal window, "page:N" to show page N
//                                     of the program's open property sheet,
//                                     "dialog:ID" to press button ID of it
//                                     (or of another dialog of the program),
//                                     "click:X,Y" to click the ribbon there,
//                                     "scroll:N" to scroll the first page
//                                     shown in the window N lines down
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

struct SheetSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK TakeSheet(HWND h, LPARAM param) {
    auto search = reinterpret_cast<SheetSearch*>(param);
    wchar_t className[16] = {};
    GetClassNameW(h, className, 16);
    DWORD processId = 0;
    GetWindowThreadProcessId(h, &processId);
    if (processId != search->processId || wcscmp(className, L"#32770") != 0 || !IsWindowVisible(h)) return TRUE;
    search->found = h;
    return FALSE;
}

BOOL CALLBACK TakePageWindow(HWND h, LPARAM out) {
    wchar_t className[64] = {};
    GetClassNameW(h, className, 64);
    if (wcscmp(className, L"StandInWebBrowserView") != 0 || !IsWindowVisible(h)) return TRUE;
    *reinterpret_cast<HWND*>(out) = h;
    return FALSE;
}

int wmain(int argc, wchar_t** argv) {
    HWND main = nullptr;
    for (int i = 0; i < 200 && !(main = FindMainWindow()); ++i) Sleep(100);
    if (!main) return 1;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg.rfind(L"wait:", 0) == 0) {
            Sleep(static_cast<DWORD>(_wtoi(arg.c_str() + 5)));
        } else if (arg.rfind(L"post:", 0) == 0) {
            PostMessageW(main, WM_COMMAND, static_cast<WPARAM>(_wtoi(arg.c_str() + 5)), 0);
        } else if (arg.rfind(L"page:", 0) == 0) {
            SheetSearch search{0, nullptr};
            GetWindowThreadProcessId(main, &search.processId);
            EnumWindows(&TakeSheet, reinterpret_cast<LPARAM>(&search));
            if (search.found) SendMessageW(search.found, 0x400 + 101 /* PSM_SETCURSEL */, _wtoi(arg.c_str() + 5), 0);
        } else if (arg.rfind(L"dialog:", 0) == 0) {
            SheetSearch search{0, nullptr};
            GetWindowThreadProcessId(main, &search.processId);
            EnumWindows(&TakeSheet, reinterpret_cast<LPARAM>(&search));
            if (search.found) PostMessageW(search.found, WM_COMMAND, static_cast<WPARAM>(_wtoi(arg.c_str() + 7)), 0);
        } else if (arg.rfind(L"scroll:", 0) == 0) {
            HWND page = nullptr;
            EnumChildWindows(main, &TakePageWindow, reinterpret_cast<LPARAM>(&page));
            for (int n = _wtoi(arg.c_str() + 7); page && n > 0; --n) SendMessageW(page, WM_VSCROLL, SB_LINEDOWN, 0);
        } else if (arg.rfind(L"click:", 0) == 0) {
            HWND ribbon = FindWindowExW(main, nullptr, L"fw.RibbonBar", nullptr);
            const int x = _wtoi(arg.c_str() + 6);
            const size_t comma = arg.find(L',');
            const int y = comma == std::wstring::npos ? 0 : _wtoi(arg.c_str() + comma + 1);
            PostMessageW(ribbon, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
            PostMessageW(ribbon, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        } else {
            SendMessageW(main, WM_COMMAND, static_cast<WPARAM>(_wtoi(arg.c_str())), 0);
        }
    }
    return 0;
}
