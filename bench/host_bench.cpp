// Cost of a hosted tab: from the start of a tab's engine thread to the
// DocumentComplete of about:blank (in-process, on a bound thread), and the
// private memory of one tab showing the sample page.
#include "host_bench.h"

#include "hosting/ie_thread.h"
#include "core/messages.h"
#include "isolation/isolation.h"
#include "tests/support/process.h"
#include "tests/support/tab_view.h"

#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace std::chrono;

namespace {

using testing_support::TestView;

int Loads(const TestView& view) { return static_cast<int>(view.Of(UWM_TAB_HISTORY_ADD).size()); }

// As a tab closes: the view's window goes first, and its content with it.
void CloseView(TestView& view) { DestroyWindow(view.hwnd); }

bool PumpUntil(const TestView& view, int loads, milliseconds timeout) {
    auto end = steady_clock::now() + timeout;
    while (Loads(view) < loads) {
        if (steady_clock::now() > end) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return true;
}

struct Tab {
    Tab(TestView& view, IEVERSION version, const std::wstring& url) : view(view) {
        done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        auto thread = CIEThread::New(false, false, L"", view.hwnd, version, url.c_str(), done, view.hwnd);
        if (thread->CreateThread()) id = thread->ThreadId();
        else delete thread;
    }
    // Tells the engine thread to end and waits for it, serving this
    // thread's messages meanwhile (the thread's windows talk to the view's).
    void Close() {
        PostThreadMessageW(id, UWM_ENGINE_CLOSE, 0, 0);
        auto end = steady_clock::now() + 10s;
        while (MsgWaitForMultipleObjects(1, &done, FALSE, 50, QS_ALLINPUT) != WAIT_OBJECT_0 &&
               steady_clock::now() < end) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        }
        CloseHandle(done);
    }
    TestView& view;
    HANDLE done = nullptr;
    DWORD id = 0;
};

SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
    // Wine reports committed private memory as PagefileUsage (PrivateUsage is 0).
    return std::max(counters.PrivateUsage, counters.PagefileUsage);
}

} // namespace

void HostBenchmark(int runs) {
    const std::wstring stage = testing_support::StageFolder();
    SetCurrentDirectoryW(stage.c_str());
    OleInitialize(nullptr);
    if (LONG error = InstallEngineHooks(IE6, false, false); error != NO_ERROR) {
        std::printf("installing the isolation layer failed: error %ld\n", static_cast<long>(error));
        return;
    }
    // Each tab opens either in a quiet process, or right after the previous
    // tab closed (its thread is then still ending, which under Wine holds
    // the new thread's start back).
    for (bool quiet : {true, false}) {
        for (IEVERSION version : {IE55, IE7, IE8}) {
            std::vector<double> ms;
            for (int i = 0; i < runs + 1; ++i) {
                if (quiet) Sleep(300);
                TestView view;
                auto start = steady_clock::now();
                Tab tab(view, version, L"about:blank");
                bool loaded = PumpUntil(view, 1, 10s);
                double elapsed = duration<double, std::milli>(steady_clock::now() - start).count();
                CloseView(view);
                tab.Close();
                if (!loaded) {
                    std::printf("%ls: about:blank never completed\n", g_versionInfo[version].name);
                    break;
                }
                if (i > 0) ms.push_back(elapsed);  // the first run loads the libraries' first pages
            }
            if (ms.empty()) continue;
            std::sort(ms.begin(), ms.end());
            std::printf("%ls tab, engine thread start to DocumentComplete of about:blank, %s: median %.1f ms, "
                        "min %.1f ms, max %.1f ms over %zu runs\n",
                        g_versionInfo[version].name, quiet ? "quiet process" : "right after another tab closed",
                        ms[ms.size() / 2], ms.front(), ms.back(), ms.size());
        }
    }

    // Memory: tabs showing the sample page, opened together.
    constexpr int kTabs = 10;
    const std::wstring sample = stage + L"samples\\compare.html";
    TestView view;
    {
        Tab warm(view, IE7, sample);
        PumpUntil(view, 1, 15s);
        warm.Close();
    }
    const int warmLoads = Loads(view);
    const SIZE_T before = PrivateBytes();
    std::vector<Tab*> tabs;
    for (int i = 0; i < kTabs; ++i) tabs.push_back(new Tab(view, IE7, sample));
    bool loaded = PumpUntil(view, warmLoads + kTabs, 30s);
    const SIZE_T after = PrivateBytes();
    CloseView(view);
    for (Tab* t : tabs) {
        t->Close();
        delete t;
    }
    if (loaded)
        std::printf("private memory per hosted IE 7 tab showing the sample page: %.2f MB (over %d tabs)\n",
                    static_cast<double>(after - before) / kTabs / (1024.0 * 1024.0), kTabs);
    else
        std::printf("the sample page did not load in every tab\n");
    std::fflush(stdout);
    if (RemoveEngineHooks() != NO_ERROR) std::printf("removing the isolation layer failed\n");
    OleUninitialize();
}
