// Cost of the isolation layer: the per-call lookup every detour starts
// with, and an intercepted library load against the plain one.
#include "isolation_bench.h"

#include "isolation/isolation.h"
#include "tests/support/process.h"

#include <chrono>
#include <cstdio>

using namespace std::chrono;

namespace {

template <typename F>
double NanosecondsPerCall(int calls, F&& f) {
    auto start = steady_clock::now();
    for (int i = 0; i < calls; ++i) f();
    return duration<double, std::nano>(steady_clock::now() - start).count() / calls;
}

volatile IEENGINE* g_sink = nullptr;

double LookupCost() {
    return NanosecondsPerCall(2'000'000, [] { g_sink = GetCurrentEngine(); });
}

double LoadCost() {
    constexpr int kCalls = 200'000;
    double ns = NanosecondsPerCall(kCalls, [] { LoadLibraryW(L"user32.dll"); });
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    for (int i = 0; i < kCalls; ++i) FreeLibrary(user32);
    return ns;
}

DWORD WINAPI BoundLookup(void* out) {
    BindThreadToVersion(0, IE7);
    *static_cast<double*>(out) = LookupCost();
    UnbindCurrentThread();
    return 0;
}

} // namespace

void IsolationBenchmarkMulti() {
    SetCurrentDirectoryW(testing_support::StageFolder().c_str());
    double plainLoad = LoadCost();
    if (LONG error = InstallEngineHooks(IE6, false, false); error != NO_ERROR) {
        std::printf("installing the isolation layer failed: error %ld\n", static_cast<long>(error));
        return;
    }
    double unbound = LookupCost();
    double bound = 0;
    HANDLE t = CreateThread(nullptr, 0, BoundLookup, &bound, 0, nullptr);
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
    double hookedLoad = LoadCost();
    if (RemoveEngineHooks() != NO_ERROR) std::printf("removing the isolation layer failed\n");
    std::printf("GetCurrentEngine, multi-version mode: %.1f ns per call (bound thread), %.1f ns (unbound)\n", bound,
                unbound);
    std::printf("LoadLibraryW of a loaded module: %.0f ns plain, %.0f ns intercepted (ratio %.2f)\n", plainLoad,
                hookedLoad, hookedLoad / plainLoad);
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
