#pragma once
// A child process started ahead of time, so that the next tab in
// multi-process mode does not wait for a process to start.
//
// Main process: CSpareChildPool keeps at most one spare of the program. A
// proxy engine thread takes it (Adopt) instead of starting a process, and
// asks for the next one (PrepareSoon) once its own page shows. The spare is never a tab: it has no
// window in the main window, and it ends with the program (Shutdown at the
// program's exit; on an unclean end the spare sees its parent go).
//
// Spare process: started as "<program> -pspare=<parent process id>". It
// starts what every child needs (OLE, GDI+, the language), then waits
// (RunSpareWait) for its start: WM_COPYDATA to its message window (class
// kSpareWindowClass, named by its process id) carrying the arguments a
// fresh child gets on its command line ("-pcode=... -psize=... -purl=...").
// Only then does it read the settings and install the isolation layer for
// its version, before any engine library loads.
//
// Errors: Adopt returns false (the caller starts a fresh child) whenever the
// spare is not ready or does not take its start within kAdoptWaitMs; the
// pool then ends that spare. Nothing here shows a message.
#include "framework/handles.h"

#include <windows.h>

#include <mutex>
#include <string>

inline constexpr const wchar_t* kSpareWindowClass = L"VantrellSpareChild";

class CSpareChildPool {
public:
    static constexpr DWORD kAdoptWaitMs = 2000;

    // The process's pool. Any thread.
    static CSpareChildPool& Get();

    // Starts a spare of `program` unless one is there already. Any thread;
    // takes as long as a process start (tens of milliseconds under Wine).
    void Prepare(const std::wstring& program);
    // Prepare on a thread of the system's pool, so that the caller (a
    // proxy relaying its tab's page) does not wait for the process start;
    // where nothing can be queued it prepares at once.
    void PrepareSoon(const std::wstring& program);
    // Hands the ready spare of `program` its start `arguments`; on success
    // the caller owns the process (`process`, both handles) and the pool has
    // none until the next Prepare.
    [[nodiscard]] bool Adopt(const std::wstring& program, const std::wstring& arguments, fw::ProcessHandles& process);
    // Ends the spare, if any, and prepares no more.
    void Shutdown();

private:
    void EndSpareLocked();
    std::mutex m_lock;
    std::wstring m_strProgram;
    fw::ProcessHandles m_process;
    bool m_bShutDown = false;
};

// Spare process: waits for its start; true with the start's arguments,
// false when the parent (`parentId`) ended or the wait failed.
[[nodiscard]] bool RunSpareWait(DWORD parentId, std::wstring& arguments);
