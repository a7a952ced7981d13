// Shows one address in the tab content of several engine versions side by
// side, each column a stand-in tab view with its own engine thread: in this
// process on bound threads, or (with -child) in child processes of the
// staged program. For looking at what a tab shows before the shell exists.
//
//   tab_content_viewer.exe [-child] address [ie55|ie6|ie7|ie8|ie ...]
#include "hosting/ie_thread.h"
#include "core/messages.h"

#include "framework/commandline.h"
#include "framework/strings.h"
#include "isolation/isolation.h"

#include <shellapi.h>

#include <string>
#include <vector>

namespace {

constexpr int kHeaderHeight = 22;

struct Column {
    IEVERSION version;
    HWND view = nullptr;      // the stand-in tab view
    HWND header = nullptr;    // version and page title
    CIEThread* thread = nullptr;
    DWORD threadId = 0;
    HANDLE done = nullptr;
};

std::vector<Column> g_columns;

const wchar_t* NameOf(IEVERSION v) { return g_versionInfo[static_cast<size_t>(v)].name; }

LRESULT CALLBACK ViewProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto column = reinterpret_cast<Column*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (column && message >= UWM_TAB_GO_ADDRESS && message <= UWM_TAB_LAST) {
        // Strings and streams handed over by the protocol are taken over.
        if (message == UWM_TAB_TITLE) {
            if (auto title = TakeStringParam(wParam))
                SetWindowTextW(column->header, (std::wstring(NameOf(column->version)) + L"  \x2014  " + *title).c_str());
        } else if (message == UWM_TAB_ADDRESS || message == UWM_TAB_STATUS_TEXT || message == UWM_TAB_NEW_WINDOW) {
            TakeStringParam(wParam);
        } else if (message == UWM_TAB_HISTORY_ADD) {
            TakeStringParam(wParam);
            TakeStringParam(static_cast<std::uintptr_t>(lParam));
        } else if (message == UWM_TAB_BROWSER_READY) {
            IDispatch* browser = nullptr;
            if (SUCCEEDED(CoGetInterfaceAndReleaseStream(reinterpret_cast<IStream*>(wParam), IID_IDispatch,
                                                         reinterpret_cast<void**>(&browser))) &&
                browser)
                browser->Release();
        }
        return 0;
    }
    if (message == WM_SIZE && column && column->threadId)
        PostThreadMessageW(column->threadId, WM_SIZE, LOWORD(lParam), HIWORD(lParam));
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void Layout(HWND frame) {
    RECT client{};
    GetClientRect(frame, &client);
    const int n = static_cast<int>(g_columns.size());
    for (int i = 0; i < n; ++i) {
        const int left = client.right * i / n, right = client.right * (i + 1) / n;
        MoveWindow(g_columns[i].header, left, 0, right - left - 2, kHeaderHeight, TRUE);
        MoveWindow(g_columns[i].view, left, kHeaderHeight, right - left - 2, client.bottom - kHeaderHeight, TRUE);
    }
}

LRESULT CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        Layout(hwnd);
        return 0;
    case WM_DESTROY:
        for (Column& c : g_columns) {
            DestroyWindow(c.view);
            PostThreadMessageW(c.threadId, UWM_ENGINE_CLOSE, 0, 0);
        }
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    std::vector<std::wstring> args = fw::SplitCommandLine(GetCommandLineW());
    bool child = !args.empty() && args.front() == L"-child";
    if (child) args.erase(args.begin());
    std::wstring address = args.empty() ? L"about:blank" : args.front();
    // A file named relative to the working folder becomes its full path.
    wchar_t full[MAX_PATH];
    if (GetFileAttributesW(address.c_str()) != INVALID_FILE_ATTRIBUTES &&
        GetFullPathNameW(address.c_str(), MAX_PATH, full, nullptr))
        address = full;
    for (size_t i = 1; i < args.size(); ++i)
        for (const auto& info : g_versionInfo)
            if (fw::EqualsNoCase(args[i], fw::ToWide(info.flag))) g_columns.push_back({info.version});
    if (g_columns.empty()) g_columns = {{IE55}, {IE7}, {IE8}};

    OleInitialize(nullptr);
    // The engine files and the program's child path lie beside this tool.
    SetCurrentDirectoryW(fw::FolderOfPath(fw::ModuleFileName(nullptr)).c_str());
    if (!child && InstallEngineHooks(IE6, false, false) != NO_ERROR) return 1;
    CIEThread::SetProgramPath(fw::FolderOfPath(fw::ModuleFileName(nullptr)) + L"vantrell.exe");

    WNDCLASSW wc{};
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNSHADOW + 1);
    wc.lpfnWndProc = FrameProc;
    wc.lpszClassName = L"TabContentViewer";
    RegisterClassW(&wc);
    wc.lpfnWndProc = ViewProc;
    wc.lpszClassName = L"TabContentViewerView";
    RegisterClassW(&wc);

    std::wstring title = std::wstring(L"Tab content, ") + (child ? L"child processes" : L"engine threads");
    HWND frame = CreateWindowExW(0, L"TabContentViewer", title.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                                 1260, 760, nullptr, nullptr, instance, nullptr);
    for (Column& c : g_columns) {
        c.header = CreateWindowExW(0, L"STATIC", NameOf(c.version), WS_CHILD | WS_VISIBLE | SS_CENTERIMAGE, 0, 0, 10,
                                   10, frame, nullptr, instance, nullptr);
        c.view = CreateWindowExW(0, L"TabContentViewerView", L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 10,
                                 10, frame, nullptr, instance, nullptr);
        SetWindowLongPtrW(c.view, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&c));
    }
    Layout(frame);
    for (Column& c : g_columns) {
        c.done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        c.thread = CIEThread::New(child, false, L"", c.view, c.version, address.c_str(), c.done, frame);
        if (!c.thread->CreateThread()) {
            delete c.thread;
            continue;
        }
        c.threadId = c.thread->ThreadId();
    }
    ShowWindow(frame, SW_SHOW);
    Layout(frame);
    for (Column& c : g_columns) {
        RECT r{};
        GetClientRect(c.view, &r);
        PostThreadMessageW(c.threadId, WM_SIZE, r.right, r.bottom);
    }

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    for (Column& c : g_columns) WaitForSingleObject(c.done, 5000);
    CIEThread::WaitForEngineThreads(4000);
    if (!child) (void)RemoveEngineHooks();
    OleUninitialize();
    return 0;
}
