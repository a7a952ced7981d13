// Benchmarks, run by scripts/bench.sh under Wine. Prints one line per figure.
//   startup: time from CreateProcess of vantrell.exe to its visible main window.
//   isolation: the isolation layer's lookup and an intercepted library load.
//   pipe: a tab's pipe between two processes against plain pipe calls.
// "vantrell_bench.exe [runs]" runs everything; the isolation parts run in
// child processes of the benchmark ("isolation-multi", "isolation-single"),
// and so does the pipe part ("pipe", whose other end is "pipe-peer" or
// "pipe-raw-peer", started by it).
// The soaks are long and run only when named: "soak-decoder" and
// "soak-hooks" (soak_bench.h); their exit code tells whether they passed.
#include "isolation_bench.h"
#include "proxy_bench.h"
#include "soak_bench.h"
#include "host_bench.h"
#include "standin_bench.h"

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
    return 0;
}
