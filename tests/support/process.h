#pragma once
// Helpers for tests that start the staged program and look at its windows.
#include "framework/handles.h"

#include <windows.h>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// Folder of the running test executable (the staged install tree), with a
// trailing backslash.
std::wstring StageFolder();

struct Process {
    fw::UniqueHandle process;
    fw::UniqueHandle thread;
    DWORD id = 0;
    // Waits for the process to end; false on time-out (the process is then killed).
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode = nullptr);
    ~Process();
};

// Starts `exe` (relative names are resolved against StageFolder()) with the
// given argument string, in `workingDir` (the stage folder when empty).
bool Launch(Process& out, const std::wstring& exe, const std::wstring& arguments,
            const std::wstring& workingDir = {});

// The same, with the program's standard output and error going to the file
// `outputFile` (created anew), for programs that print their results.
bool LaunchWithOutput(Process& out, const std::wstring& exe, const std::wstring& arguments,
                      const std::wstring& outputFile, const std::wstring& workingDir = {});

// Polls until `predicate` holds or `timeout` passes, pumping this thread's messages.
bool WaitFor(const std::function<bool()>& predicate, std::chrono::milliseconds timeout);

// Visible or hidden top-level windows of a process, optionally of one class.
std::vector<HWND> TopLevelWindows(DWORD processId, const wchar_t* className = nullptr);
std::wstring WindowText(HWND hwnd);
// Text of the message-box dialog's message (its static control 0xFFFF).
std::wstring MessageBoxText(HWND dialog);

// Sets a value of HKEY_CURRENT_USER for the scope and puts back what was
// there (or deletes the value when there was none).
class ScopedRegistryValue {
public:
    ScopedRegistryValue(const wchar_t* key, const wchar_t* name, DWORD type, const void* data, DWORD size);
    ScopedRegistryValue(const wchar_t* key, const wchar_t* name, const std::wstring& text);
    ScopedRegistryValue(const wchar_t* key, const wchar_t* name, DWORD number);
    ~ScopedRegistryValue();
    ScopedRegistryValue(const ScopedRegistryValue&) = delete;
    ScopedRegistryValue& operator=(const ScopedRegistryValue&) = delete;

private:
    std::wstring m_key, m_name;
    bool m_had = false;
    DWORD m_type = 0;
    std::vector<BYTE> m_old;
};

} // namespace testing_support
