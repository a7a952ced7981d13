// Time from the start of a proxy engine thread to its child process's
// connection: measured to the first address the child reports back through
// the pipe, which the proxy's first message after the connection causes.
#include "proxy_bench.h"

#include "hosting/ie_thread.h"
#include "core/messages.h"
#include "tests/support/process.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace std::chrono;

namespace {

bool g_addressSeen = false;

LRESULT CALLBACK ViewProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == UWM_TAB_ADDRESS) {
        TakeStringParam(w);
        g_addressSeen = true;
        return 0;
    }
    if (m >= UWM_TAB_GO_ADDRESS && m <= UWM_TAB_TASKBAR_PREVIEW) {
        if (m == UWM_TAB_TITLE || m == UWM_TAB_STATUS_TEXT) TakeStringParam(w);
        return 0;
    }
    return DefWindowProcW(h, m, w, l);
}

} // namespace

void ProxyBenchmark(int runs) {
    SetCurrentDirectoryW(testing_support::StageFolder().c_str());
    CIEThread::SetProgramPath(testing_support::StageFolder() + L"vantrell.exe");
    WNDCLASSW wc{};
    wc.lpfnWndProc = ViewProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VantrellBenchView";
    RegisterClassW(&wc);
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        HWND view = CreateWindowExW(0, L"VantrellBenchView", L"view", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                                    640, 480, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        g_addressSeen = false;
        auto start = steady_clock::now();
        auto thread = CIEThread::New(true, false, L"", view, IE7, L"http://bench.test/", done, view);
        DWORD id = thread->CreateThread() ? thread->ThreadId() : 0;
        bool ok = id && testing_support::WaitFor([] { return g_addressSeen; }, seconds(30));
        double elapsed = duration<double, std::milli>(steady_clock::now() - start).count();
        bool embedded = GetWindow(view, GW_CHILD) != nullptr;
        DestroyWindow(view);
        if (id) PostThreadMessageW(id, UWM_ENGINE_CLOSE, 0, 0);
        testing_support::WaitFor([&] { return WaitForSingleObject(done, 0) == WAIT_OBJECT_0; }, seconds(15));
        CloseHandle(done);
        if (!ok) {
            std::printf("proxy start to child connection: no connection within 30 s (content %s)\n",
                        embedded ? "embedded" : "missing");
            return;
        }
        ms.push_back(elapsed);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("proxy start to child connection (first reply through the pipe): median %.1f ms, min %.1f ms over "
                "%d runs\n",
                ms[ms.size() / 2], ms.front(), runs);
}
