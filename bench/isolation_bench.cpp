// Cost of the isolation layer: the per-call lookup every detour starts
// with, and an intercepted library load against the plain one.
//
// Plain and intercepted loads are measured in one process, with the layer
// installed, in alternating batches: a plain batch runs with the LoadLibraryW
// detour taken off and an intercepted batch with it on, so that both see the
// same loaded modules and the same loader state (the engine files the layer
// loads make every load search a longer module list). The order inside a
// round alternates too, and the medians over all rounds are compared, so
// that a busy machine slows both alike instead of deciding the ratio.
#include "isolation_bench.h"

#include "interception/interception.h"
#include "isolation/detours.h"
#include "isolation/isolation.h"
#include "tests/support/process.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace std::chrono;

namespace {

constexpr int kLookupBatches = 15;
constexpr int kLookupCalls = 1'000'000;
constexpr int kLoadRounds = 201;
constexpr int kLoadCalls = 1'000;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename F>
double NanosecondsPerCall(int calls, F&& f) {
    auto start = steady_clock::now();
    for (int i = 0; i < calls; ++i) f();
    return duration<double, std::nano>(steady_clock::now() - start).count() / calls;
}

IEENGINE* volatile g_sink = nullptr;

double LookupCost() {
    std::vector<double> batches;
    for (int b = 0; b < kLookupBatches; ++b)
        batches.push_back(NanosecondsPerCall(kLookupCalls, [] { g_sink = GetCurrentEngine(); }));
    return Median(batches);
}

// Puts the LoadLibraryW detour on or takes it off, leaving the rest of the
// layer as it is.
LONG SetLoadDetour(bool attached) {
    if (LONG error = interception::TransactionBegin(); error != NO_ERROR) return error;
    auto pointer = reinterpret_cast<void**>(&RealLoadLibraryW);
    auto detour = reinterpret_cast<void*>(&HookedLoadLibraryW);
    const LONG queued = attached ? interception::Attach(pointer, detour) : interception::Detach(pointer, detour);
    if (queued != NO_ERROR) {
        (void)interception::TransactionAbort();
        return queued;
    }
    return interception::TransactionCommit();
}

// One batch of loads of a module that is already loaded; the references it
// adds are given back outside the timed part.
double LoadBatch() {
    double ns = NanosecondsPerCall(kLoadCalls, [] { LoadLibraryW(L"user32.dll"); });
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    for (int i = 0; i < kLoadCalls; ++i) FreeLibrary(user32);
    return ns;
}

struct LoadFigures {
    double plain = 0;
    double intercepted = 0;
    LONG error = NO_ERROR;
};

LoadFigures LoadCost() {
    LoadFigures f;
    std::vector<double> plain, intercepted;
    for (int round = 0; round < kLoadRounds; ++round) {
        for (int half = 0; half < 2; ++half) {
            const bool plainNow = (round + half) % 2 == 0;
            if (plainNow && (f.error = SetLoadDetour(false)) != NO_ERROR) return f;
            (plainNow ? plain : intercepted).push_back(LoadBatch());
            if (plainNow && (f.error = SetLoadDetour(true)) != NO_ERROR) return f;
        }
    }
    f.plain = Median(plain);
    f.intercepted = Median(intercepted);
    return f;
}

struct ThreadFigures {
    double lookup = 0;
    LoadFigures load;
};

DWORD WINAPI MeasureOnBoundThread(void* out) {
    auto figures = static_cast<ThreadFigures*>(out);
    BindThreadToVersion(0, IE7);
    figures->lookup = LookupCost();
    figures->load = LoadCost();
    UnbindCurrentThread();
    return 0;
}

bool PrintLoad(const char* thread, const LoadFigures& f) {
    if (f.error != NO_ERROR) {
        std::printf("LoadLibraryW, %s: switching the detour failed: error %ld\n", thread, static_cast<long>(f.error));
        return false;
    }
    std::printf("LoadLibraryW of a loaded module, %s: %.0f ns plain, %.0f ns intercepted (ratio %.2f; medians of %d "
                "alternating batches of %d)\n",
                thread, f.plain, f.intercepted, f.intercepted / f.plain, kLoadRounds, kLoadCalls);
    return true;
}

} // namespace

void IsolationBenchmarkMulti() {
    SetCurrentDirectoryW(testing_support::StageFolder().c_str());
    if (LONG error = InstallEngineHooks(IE6, false, false); error != NO_ERROR) {
        std::printf("installing the isolation layer failed: error %ld\n", static_cast<long>(error));
        return;
    }
    ThreadFigures unbound;
    unbound.lookup = LookupCost();
    unbound.load = LoadCost();
    ThreadFigures bound;
    // The measuring thread binds itself; this thread is unbound, so the
    // thread detour creates it unbound.
    HANDLE t = CreateThread(nullptr, 0, MeasureOnBoundThread, &bound, 0, nullptr);
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
    const bool switched = unbound.load.error == NO_ERROR && bound.load.error == NO_ERROR;
    // Should switching the detour back on have failed, the layer cannot be
    // removed cleanly; the process ends with it installed.
    if (switched && RemoveEngineHooks() != NO_ERROR) std::printf("removing the isolation layer failed\n");
    std::printf("GetCurrentEngine, multi-version mode: %.1f ns per call (bound thread), %.1f ns (unbound) "
                "(medians of %d batches of %d)\n",
                bound.lookup, unbound.lookup, kLookupBatches, kLookupCalls);
    PrintLoad("unbound thread", unbound.load);
    PrintLoad("thread bound to 7", bound.load);
}

void IsolationBenchmarkSingle() {
    SetCurrentDirectoryW(testing_support::StageFolder().c_str());
    if (LONG error = InstallEngineHooks(IE7, false, true); error != NO_ERROR) {
        std::printf("installing the isolation layer failed: error %ld\n", static_cast<long>(error));
        return;
    }
    double single = LookupCost();
    if (RemoveEngineHooks() != NO_ERROR) std::printf("removing the isolation layer failed\n");
    std::printf("GetCurrentEngine, single-version mode: %.1f ns per call\n", single);
}
