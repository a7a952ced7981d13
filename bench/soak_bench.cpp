// The soak commands: long runs of decoder_soak.cpp and hook_soak.cpp with
// their figures printed. A crash (for the decoder, a read past the end of a
// buffer into the guard page) is reported with how far the run got before
// the process ends with the exception's code; a hook soak that stops moving
// is reported by the process that watches it.
#include "soak_bench.h"

#include "decoder_soak.h"
#include "hook_soak.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

const DecoderSoakFigures* g_decoderRun = nullptr;
const HookSoakFigures* g_hookRun = nullptr;

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* e = info->ExceptionRecord;
    std::printf("crash: exception 0x%08lX at %p", static_cast<unsigned long>(e->ExceptionCode), e->ExceptionAddress);
    if (e->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && e->NumberParameters >= 2)
        std::printf(" (%s of %p)", e->ExceptionInformation[0] == 0 ? "read" : "write",
                    reinterpret_cast<void*>(e->ExceptionInformation[1]));
    std::printf("\n");
    if (g_decoderRun)
        std::printf("crash after %llu buffers and %llu strings over the limit\n%llu passed, %llu failed\n",
                    static_cast<unsigned long long>(g_decoderRun->buffers),
                    static_cast<unsigned long long>(g_decoderRun->overLimitRuns),
                    static_cast<unsigned long long>(g_decoderRun->passed),
                    static_cast<unsigned long long>(g_decoderRun->failed + 1));
    if (g_hookRun)
        std::printf("crash in cycle %d\n%d passed, %d failed\n", g_hookRun->cycles - 1, g_hookRun->passed,
                    g_hookRun->failed + 1);
    std::fflush(stdout);
    return EXCEPTION_EXECUTE_HANDLER;
}

unsigned long long Argument(int argc, char** argv, int index, unsigned long long fallback) {
    return argc > index ? std::strtoull(argv[index], nullptr, 10) : fallback;
}

} // namespace

int DecoderSoakCommand(int argc, char** argv) {
    const unsigned long long buffers = Argument(argc, argv, 2, 1'000'000);
    const auto seed = static_cast<std::uint32_t>(Argument(argc, argv, 3, 20260412));
    // One string over the limit (16 MiB) for every 250000 buffers.
    const unsigned long long overLimit = std::max(1ull, buffers / 250'000);
    DecoderSoakFigures f;
    g_decoderRun = &f;
    SetUnhandledExceptionFilter(ReportCrash);
    std::printf("pipe decoder soak: %llu buffers from seed %u, and %llu strings over the limit\n", buffers, seed,
                overLimit);
    std::fflush(stdout);
    SoakDecoder(buffers, seed, overLimit, f);
    std::printf("decoded %llu buffers (%llu bytes, %llu records, longest string %llu units) and %llu strings over "
                "the limit in %.1f s, each against a guard page\n",
                static_cast<unsigned long long>(f.buffers), static_cast<unsigned long long>(f.bytes),
                static_cast<unsigned long long>(f.records), static_cast<unsigned long long>(f.longestString),
                static_cast<unsigned long long>(f.overLimitRuns), f.seconds);
    if (!f.firstFailure.empty()) std::printf("first failure: %s\n", f.firstFailure.c_str());
    std::printf("%llu passed, %llu failed\n", static_cast<unsigned long long>(f.passed),
                static_cast<unsigned long long>(f.failed));
    return f.failed == 0 ? 0 : 1;
}

namespace {

// How far the hook soak's child has got, in memory its parent shares.
struct HookSoakProgress {
    volatile LONG cycles;
    volatile LONG passed;
    volatile LONG failed;
};

// A cycle takes a fraction of a second; one that has not ended after this
// long never will.
constexpr DWORD kHangSeconds = 120;

std::wstring ProgressName(DWORD parentId) { return L"Local\\VantrellHookSoak-" + std::to_wstring(parentId); }

// Starts this program again with `arguments`, sharing this process's
// standard output and error.
bool StartChild(const std::wstring& arguments, PROCESS_INFORMATION& child) {
    wchar_t path[MAX_PATH] = {};
    if (!GetModuleFileNameW(nullptr, path, MAX_PATH)) return false;
    std::wstring commandLine = L"\"" + std::wstring(path) + L"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    for (HANDLE h : {si.hStdOutput, si.hStdError})
        if (h && h != INVALID_HANDLE_VALUE) SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    std::fflush(stdout);
    return CreateProcessW(path, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &child) != FALSE;
}

} // namespace

// The soak runs in a child process, watched: the interception engine
// suspends every other thread of its process while it commits, a watchdog
// thread in there included, so only another process can tell a commit that
// never returns.
int HookSoakCommand(int argc, char** argv) {
    const int cycles = static_cast<int>(std::clamp(Argument(argc, argv, 2, 1000), 1ull, 1'000'000ull));
    const int threads = static_cast<int>(std::clamp(Argument(argc, argv, 3, 16), 1ull, 64ull));
    std::printf("isolation layer soak: %d install/remove cycles, %d threads calling the intercepted functions\n",
                cycles, threads);
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(HookSoakProgress),
                                        ProgressName(GetCurrentProcessId()).c_str());
    auto progress = mapping ? static_cast<HookSoakProgress*>(
                                  MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(HookSoakProgress)))
                            : nullptr;
    PROCESS_INFORMATION child{};
    if (!progress || !StartChild(L"soak-hooks-run " + std::to_wstring(cycles) + L" " + std::to_wstring(threads) +
                                     L" " + std::to_wstring(GetCurrentProcessId()),
                                 child)) {
        std::printf("the soak could not be started\n0 passed, 1 failed\n");
        return 1;
    }
    LONG seen = 0;
    DWORD quietSeconds = 0;
    int result = 1;
    for (;;) {
        if (WaitForSingleObject(child.hProcess, 1000) == WAIT_OBJECT_0) {
            DWORD code = 1;
            GetExitCodeProcess(child.hProcess, &code);
            result = code == 0 ? 0 : 1;  // the child has printed its figures
            break;
        }
        const LONG now = progress->cycles;
        quietSeconds = now == seen ? quietSeconds + 1 : 0;
        seen = now;
        if (quietSeconds >= kHangSeconds) {
            TerminateProcess(child.hProcess, 1);
            WaitForSingleObject(child.hProcess, 10000);
            std::printf("hang: no cycle ended for %lu s; the soak was stopped in cycle %ld\n%ld passed, %ld failed\n",
                        static_cast<unsigned long>(kHangSeconds), now, progress->passed, progress->failed + 1);
            break;
        }
    }
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    UnmapViewOfFile(progress);
    CloseHandle(mapping);
    return result;
}

int HookSoakChild(int argc, char** argv) {
    const int cycles = static_cast<int>(std::clamp(Argument(argc, argv, 2, 1000), 1ull, 1'000'000ull));
    const int threads = static_cast<int>(std::clamp(Argument(argc, argv, 3, 16), 1ull, 64ull));
    const auto parent = static_cast<DWORD>(Argument(argc, argv, 4, 0));
    HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, ProgressName(parent).c_str());
    auto progress = mapping ? static_cast<HookSoakProgress*>(
                                  MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(HookSoakProgress)))
                            : nullptr;
    HookSoakFigures f;
    g_hookRun = &f;
    SetUnhandledExceptionFilter(ReportCrash);
    SoakHooks(cycles, threads, f, [progress](const HookSoakFigures& now) {
        if (progress) {
            InterlockedExchange(&progress->passed, now.passed);
            InterlockedExchange(&progress->failed, now.failed);
            InterlockedExchange(&progress->cycles, now.cycles);
        }
        if (now.cycles % 100 == 0) {
            std::printf("  %d cycles, %llu calls by the workers, %d failed\n", now.cycles,
                        static_cast<unsigned long long>(now.calls), now.failed);
            std::fflush(stdout);
        }
    });
    std::printf("%d cycles in %.1f s; the workers made %llu calls to the detoured functions, %llu binds and unbinds, "
                "created %llu threads, got %llu wrong answers\n",
                f.cycles, f.seconds, static_cast<unsigned long long>(f.calls),
                static_cast<unsigned long long>(f.bindings), static_cast<unsigned long long>(f.threadsCreated),
                static_cast<unsigned long long>(f.wrongAnswers));
    if (!f.firstFailure.empty()) std::printf("first failure: %s\n", f.firstFailure.c_str());
    std::printf("%d passed, %d failed\n", f.passed, f.failed);
    std::fflush(stdout);
    if (progress) UnmapViewOfFile(progress);
    if (mapping) CloseHandle(mapping);
    return f.failed == 0 ? 0 : 1;
}
