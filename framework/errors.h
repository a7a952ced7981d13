#pragma once
// Where exceptions stop. No exception crosses a window procedure, a dialog
// procedure, a COM method or a detour: each of them runs its body through
// fw::Guarded (or fw::ComGuard, com_object.h), which catches everything,
// logs it with OutputDebugString and returns the boundary's defined failure
// value instead. Any thread; nothing here throws.
//
//   LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
//       return fw::Guarded("Proc", LRESULT{0}, [&] { return Handle(hwnd, message, wParam, lParam); });
//   }
#include <windows.h>

#include <exception>
#include <utility>

namespace fw {

// Writes "vantrell: exception stopped in <where>: <what>" to the debugger
// (OutputDebugStringA); `error` may be null for an exception of no standard type.
void LogStoppedException(const char* where, const std::exception* error) noexcept;

// Writes "vantrell: <what> failed: 0x<hr>" to the debugger, for a failure the
// caller goes on without (nothing to tell the user, nothing to return).
void LogFailure(const char* what, HRESULT hr) noexcept;

// Runs `body` and returns what it returns; when it throws, logs the
// exception and returns `failure`.
template <typename Result, typename Body>
Result Guarded(const char* where, Result failure, Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (const std::exception& error) {
        LogStoppedException(where, &error);
    } catch (...) {
        LogStoppedException(where, nullptr);
    }
    return failure;
}

// The same for a detour of a Win32 function that reports its failures
// through the last error: `lastError` is set when an exception is stopped.
template <typename Result, typename Body>
Result Guarded(const char* where, Result failure, DWORD lastError, Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (const std::exception& error) {
        LogStoppedException(where, &error);
    } catch (...) {
        LogStoppedException(where, nullptr);
    }
    SetLastError(lastError);
    return failure;
}

} // namespace fw
