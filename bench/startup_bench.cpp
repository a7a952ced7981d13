// Benchmarks, run by scripts/bench.sh under Wine. Prints one line per figure.
//   startup: time from CreateProcess of vantrell.exe to its visible main window.
//   isolation: the isolation layer's lookup and an intercepted library load.
//   pipe: a tab's pipe between two processes against plain pipe calls.
//   child-tab: multi-process mode, from the new-tab command to the page's
//   title in the new tab, against starting and ending a trivial process.
// "vantrell_bench.exe [runs]" runs everything; the isolation parts run in
// child processes of the benchmark ("isolation-multi", "isolation-single"),
// and so does the pipe part ("pipe", whose other end is "pipe-peer" or
// "pipe-raw-peer", started by it).
// "compare [runs]": what -compare adds to a capture of 80 pictures
// (compare_bench.h); run only when named.
// The soaks are long and run only when named: "soak-decoder" and
// "soak-hooks" (soak_bench.h); their exit code tells whether they passed.
#include "compare_bench.h"
#include "isolation_bench.h"
#include "proxy_bench.h"
#include "soak_bench.h"
#include "host_bench.h"
#include "standin_bench.h"

#include "core/locations.h"
#include "framework/profile.h"
#include "res/resource_ids.h"
#include "tests/support/process.h"

#include <cstring>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace std::chrono;

// pipe_bench.cpp
void PipeBenchmark();
int PipeBenchmarkPeer(int argc, char** argv);

namespace {

void StartupBenchmark(int runs) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        testing_support::Process p;
        auto start = steady_clock::now();
        if (!testing_support::Launch(p, L"vantrell.exe", L"")) {
            std::printf("startup: cannot start vantrell.exe\n");
            return;
        }
        HWND main = nullptr;
        bool shown = testing_support::WaitFor(
            [&] {
                for (HWND h : testing_support::TopLevelWindows(p.id, L"fw.FrameWnd"))
                    if (IsWindowVisible(h)) main = h;
                return main != nullptr;
            },
            seconds(30));
        auto elapsed = duration<double, std::milli>(steady_clock::now() - start).count();
        if (!shown) {
            std::printf("startup: no main window within 30 s\n");
            return;
        }
        ms.push_back(elapsed);
        PostMessageW(main, WM_CLOSE, 0, 0);
        p.WaitForExit(10000);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("startup to main window: median %.1f ms, min %.1f ms, max %.1f ms over %d runs\n",
                ms[ms.size() / 2], ms.front(), ms.back(), runs);
}

// Tab captions of a main window (main > MDI client > groups > tabs).
std::vector<std::wstring> TabCaptions(HWND main) {
    std::vector<std::wstring> out;
    HWND client = GetDlgItem(main, 0xE900);
    for (HWND g = FindWindowExW(client, nullptr, L"fw.TabGroup", nullptr); g;
         g = FindWindowExW(client, g, L"fw.TabGroup", nullptr))
        for (HWND t = FindWindowExW(g, nullptr, L"fw.MDIChild", nullptr); t;
             t = FindWindowExW(g, t, L"fw.MDIChild", nullptr))
            out.push_back(testing_support::WindowText(t));
    return out;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Median milliseconds from the new-tab command to the page's title in the
// new tab, with "MultiProcessMode" as given; empty when a tab did not load.
// Also the median time to the tab content's window in the view (`content`).
std::vector<double> NewTabTimes(int runs, DWORD multiProcess, double* content = nullptr) {
    fw::Profile profile;
    profile.SetRegistryKey(L"Brenmoor", L"Vantrell");
    const std::wstring key = profile.KeyPath() + L"\\Options";
    const std::wstring home = L"file:///" + testing_support::StageFolder() + L"samples\\compare.html";
    RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"MultiProcessMode", REG_DWORD, &multiProcess,
                    sizeof(multiProcess));
    RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"HomePage", REG_SZ, home.c_str(),
                    static_cast<DWORD>((home.size() + 1) * sizeof(wchar_t)));
    std::vector<double> tab;
    testing_support::Process program;
    HWND main = nullptr;
    if (testing_support::Launch(program, L"vantrell.exe", L"")) {
        testing_support::WaitFor(
            [&] {
                for (HWND h : testing_support::TopLevelWindows(program.id, L"fw.FrameWnd"))
                    if (IsWindowVisible(h)) main = h;
                return main != nullptr;
            },
            seconds(30));
    }
    auto loaded = [&] {
        auto captions = TabCaptions(main);
        return std::count_if(captions.begin(), captions.end(),
                             [](const std::wstring& c) { return c.find(L"Vantrell sample") != std::wstring::npos; });
    };
    // One tab first, so that both modes measure a tab of a running program
    // (the engine libraries of the main process are loaded either way).
    if (main) {
        SendMessageW(main, WM_COMMAND, ID_NEW_IE8, 0);
        testing_support::WaitFor([&] { return loaded() == 1; }, seconds(30));
        SendMessageW(main, WM_COMMAND, FW_ID_CLOSE_DOCUMENT, 0);
        testing_support::WaitFor([&] { return TabCaptions(main).empty(); }, seconds(30));
    }
    // The tab content of the only tab (frame > view > content).
    auto contentShown = [&] {
        HWND client = GetDlgItem(main, 0xE900);
        HWND group = FindWindowExW(client, nullptr, L"fw.TabGroup", nullptr);
        HWND frame = group ? FindWindowExW(group, nullptr, L"fw.MDIChild", nullptr) : nullptr;
        HWND view = frame ? FindWindowExW(frame, nullptr, L"fw.View", nullptr) : nullptr;
        return view && FindWindowExW(view, nullptr, nullptr, nullptr) != nullptr;
    };
    std::vector<double> shown;
    for (int i = 0; main && i < runs; ++i) {
        // A spare child (when the program keeps one) is ready by now, as it
        // is when a user opens a tab.
        Sleep(500);
        auto start = steady_clock::now();
        SendMessageW(main, WM_COMMAND, ID_NEW_IE8, 0);
        if (!testing_support::WaitFor(contentShown, seconds(30))) break;
        shown.push_back(duration<double, std::milli>(steady_clock::now() - start).count());
        if (!testing_support::WaitFor([&] { return loaded() == 1; }, seconds(30))) break;
        tab.push_back(duration<double, std::milli>(steady_clock::now() - start).count());
        SendMessageW(main, WM_COMMAND, FW_ID_CLOSE_DOCUMENT, 0);
        testing_support::WaitFor([&] { return TabCaptions(main).empty(); }, seconds(30));
    }
    if (main) PostMessageW(main, WM_CLOSE, 0, 0);
    program.WaitForExit(15000);
    RegDeleteTreeW(HKEY_CURRENT_USER, profile.KeyPath().c_str());
    if (tab.size() != static_cast<size_t>(runs)) tab.clear();
    if (content) *content = Median(shown);
    return tab;
}

void ChildTabBenchmark(int runs) {
    std::vector<double> trivial;
    for (int i = 0; i < runs; ++i) {
        testing_support::Process p;
        auto start = steady_clock::now();
        if (testing_support::Launch(p, L"vantrell_bench.exe", L"noop") && p.WaitForExit(30000))
            trivial.push_back(duration<double, std::milli>(steady_clock::now() - start).count());
    }
    double threadContent = 0, childContent = 0;
    const std::vector<double> thread = NewTabTimes(runs, 0, &threadContent);
    const std::vector<double> child = NewTabTimes(runs, 1, &childContent);
    if (trivial.empty() || thread.empty() || child.empty()) {
        std::printf("child-tab: %zu in-process and %zu child tabs of %d loaded, %zu trivial processes ran\n",
                    thread.size(), child.size(), runs, trivial.size());
        return;
    }
    std::printf("child-tab: new-tab command to the page's title, in-process: median %.1f ms (min %.1f, max %.1f)\n",
                Median(thread), *std::min_element(thread.begin(), thread.end()),
                *std::max_element(thread.begin(), thread.end()));
    std::printf("child-tab: the same in a child process: median %.1f ms (min %.1f, max %.1f); child/in-process %.2f\n",
                Median(child), *std::min_element(child.begin(), child.end()),
                *std::max_element(child.begin(), child.end()), Median(child) / Median(thread));
    std::printf("child-tab: of which until the tab content's window shows: in-process %.1f ms, child %.1f ms\n",
                threadContent, childContent);
    std::printf("child-tab: start and end of a trivial process: median %.1f ms over %d runs\n", Median(trivial),
                runs);
}

} // namespace

void RunSelf(const wchar_t* mode) {
    testing_support::Process p;
    if (testing_support::Launch(p, L"vantrell_bench.exe", mode)) p.WaitForExit(120000);
}

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "isolation-multi") == 0) {
        IsolationBenchmarkMulti();
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "isolation-single") == 0) {
        IsolationBenchmarkSingle();
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "proxy") == 0) {
        ProxyBenchmark(argc > 2 ? std::max(1, std::atoi(argv[2])) : 10);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "standin") == 0) {
        StandInBenchmark(argc > 2 ? std::max(1, std::atoi(argv[2])) : 5);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "host") == 0) {
        HostBenchmark(argc > 2 ? std::max(1, std::atoi(argv[2])) : 9);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "compare") == 0) {
        CompareBenchmark(argc > 2 ? std::max(1, std::atoi(argv[2])) : 5);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "noop") == 0) return 0;
    if (argc > 1 && std::strcmp(argv[1], "child-tab") == 0) {
        ChildTabBenchmark(argc > 2 ? std::max(1, std::atoi(argv[2])) : 10);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "pipe") == 0) {
        PipeBenchmark();
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "soak-decoder") == 0) return DecoderSoakCommand(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "soak-hooks") == 0) return HookSoakCommand(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "soak-hooks-run") == 0) return HookSoakChild(argc, argv);
    if (argc > 1 && (std::strcmp(argv[1], "pipe-peer") == 0 || std::strcmp(argv[1], "pipe-raw-peer") == 0))
        return PipeBenchmarkPeer(argc, argv);
    int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    StartupBenchmark(runs);
    std::fflush(stdout);
    RunSelf(L"isolation-multi");
    RunSelf(L"isolation-single");
    RunSelf(L"pipe");
    ProxyBenchmark(runs);
    std::fflush(stdout);
    RunSelf(L"standin");
    RunSelf(L"host");
    ChildTabBenchmark(runs);
    return 0;
}
