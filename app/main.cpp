// Entry point of vantrell.exe (and of ie9\vantrell.ie9.exe).
#include "vantrell_app.h"

#include <cstdio>

// The one application object, built before the entry point runs.
CVantrellApp theApp;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int showCommand) {
    const int code = theApp.Main(instance, showCommand);
    // An engine thread stuck in its engine (a page laid out for minutes)
    // would hold the process's normal end, which waits for the libraries it
    // runs in. Everything worth keeping is written by now: the process ends
    // at once with its code.
    if (!theApp.EngineThreadsIdle()) {
        std::fflush(nullptr);
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
    }
    return code;
}
