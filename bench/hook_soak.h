#pragma once
// Soak of the isolation layer: the layer installed in multi-version mode and
// removed again, cycle after cycle, while worker threads keep calling the
// functions it intercepts and bind and unbind themselves.
//
// SoakHooks runs the cycles on the calling thread, in a process where the
// layer is not installed otherwise and was never installed in single-version
// mode. It initialises OLE on that thread, makes the staged folder the
// current directory (the stand-in engine files load from there), starts the
// workers (at most 64) and waits for them before it returns. Each cycle
// checks:
//   - InstallEngineHooks(IE6, false, false) returns NO_ERROR, the layer is
//     attached and every detoured function's first bytes have changed;
//   - RemoveEngineHooks() returns NO_ERROR, the layer is detached and the
//     first 16 bytes of every detoured function are those seen before the
//     first installation;
//   - no worker got a wrong answer meanwhile (every call the workers make
//     answers the same with the layer as without it).
// A crash ends the process; a commit of the interception engine that never
// returns stops it for good (the soak-hooks command runs it in a child
// process and reports both). Run long by "vantrell_bench.exe soak-hooks
// [cycles] [threads]" (scripts/bench.sh soak-hooks), and short by the
// isolation tests.
#include <cstdint>
#include <functional>
#include <string>

struct HookSoakFigures {
    int cycles = 0;  // cycles run
    int passed = 0;
    int failed = 0;
    int threads = 0;             // worker threads
    std::uint64_t calls = 0;     // calls of the detoured functions by the workers
    std::uint64_t bindings = 0;  // binds and unbinds by the workers
    std::uint64_t threadsCreated = 0;
    std::uint64_t wrongAnswers = 0;
    double seconds = 0;
    std::string firstFailure;
};

// The figures are kept up to date as the soak goes (by the calling thread),
// so that a report after a crash can tell how far it got; `afterCycle`, when
// given, is called with them after every cycle. With `createThreads` the
// workers also start threads through the thread detour while cycles commit
// (under Wine a commit has been seen to wait for good in GetThreadContext of
// a thread that was just starting, once in about 650 cycles).
void SoakHooks(int cycles, int threads, HookSoakFigures& figures,
               const std::function<void(const HookSoakFigures&)>& afterCycle = {}, bool createThreads = true);
