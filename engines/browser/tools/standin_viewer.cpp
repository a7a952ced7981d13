// Shows one page in several stand-in engine versions side by side, each in
// its own embedded control, for looking at what differs between versions:
//   standin_viewer.exe [address] [library ...]
// The address defaults to samples\compare.html beside the program and the
// libraries to those of 5.5, 7 and 8.
#include "engines/browser/tests/test_container.h"

#include <memory>
#include <string>
#include <vector>

namespace {

struct Pane {
    std::wstring library;
    std::wstring label;
};

std::wstring LabelOf(const std::wstring& library) {
    if (library.find(L"ie9") != std::wstring::npos) return L"Engine 9";
    if (!library.empty() && library[0] == L'5') return L"Engine 5.5";
    return L"Engine " + library.substr(0, 1);
}

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    wchar_t folder[MAX_PATH];
    GetModuleFileNameW(nullptr, folder, MAX_PATH);
    if (wchar_t* slash = wcsrchr(folder, L'\\')) *slash = L'\0';
    SetCurrentDirectoryW(folder);
    std::wstring address = argc > 1 ? argv[1] : std::wstring(folder) + L"\\samples\\compare.html";
    // A relative file name is taken from the program's folder.
    if (address.find(L':') == std::wstring::npos && address.rfind(L"\\\\", 0) != 0) {
        const std::wstring local = std::wstring(folder) + L"\\" + address;
        if (GetFileAttributesW(local.c_str()) != INVALID_FILE_ATTRIBUTES) address = local;
    }
    std::vector<Pane> panes;
    for (int i = 2; i < argc; ++i) panes.push_back({argv[i], LabelOf(argv[i])});
    if (panes.empty()) {
        for (const wchar_t* library : {L"5hdocvw.dll", L"7eframe.dll", L"8eframe.dll"})
            panes.push_back({library, LabelOf(library)});
    }
    LocalFree(argv);

    OleInitialize(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"StandInViewerFrame";
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    RegisterClassW(&wc);
    const int width = 1260, height = 760, labelHeight = 22;
    HWND frame = CreateWindowExW(0, L"StandInViewerFrame", (L"Stand-in engines side by side - " + address).c_str(),
                                 WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0, width, height, nullptr,
                                 nullptr, instance, nullptr);
    RECT client;
    GetClientRect(frame, &client);
    const int paneWidth = client.right / static_cast<int>(panes.size());
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    std::vector<std::unique_ptr<browser_test::Container>> hosts;
    for (size_t i = 0; i < panes.size(); ++i) {
        const int left = static_cast<int>(i) * paneWidth;
        HWND label = CreateWindowExW(0, L"STATIC", panes[i].label.c_str(), WS_CHILD | WS_VISIBLE | SS_CENTER,
                                     left, 3, paneWidth - 4, labelHeight - 4, frame, nullptr, instance, nullptr);
        SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        auto host = std::make_unique<browser_test::Container>(
            frame, RECT{left, labelHeight, left + paneWidth - 4, client.bottom});
        host->processNewWindow = false;  // no tabs here: new windows open in place
        if (SUCCEEDED(host->CreateFromLibrary(panes[i].library.c_str()))) {
            BSTR url = SysAllocString(address.c_str());
            host->Browser()->Navigate(url, nullptr, nullptr, nullptr, nullptr);
            SysFreeString(url);
        }
        hosts.push_back(std::move(host));
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    hosts.clear();
    OleUninitialize();
    return 0;
}
