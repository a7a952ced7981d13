// Inline function interception for x86-64 and x86 Windows processes.
//
// A function is intercepted by overwriting its first five bytes with a jump
// to a replacement ("detour"). The instructions that were overwritten are
// relocated into a trampoline that ends with a jump back into the function,
// so calling the trampoline runs the original function.
//
// Changes are grouped in transactions:
//
//   static decltype(&GetTickCount) RealGetTickCount = &GetTickCount;
//   static DWORD WINAPI MyGetTickCount() { return RealGetTickCount() + 1; }
//
//   interception::TransactionBegin();
//   interception::Attach(reinterpret_cast<void**>(&RealGetTickCount),
//                        reinterpret_cast<void*>(&MyGetTickCount));
//   LONG error = interception::TransactionCommit();
//
// After the commit RealGetTickCount points at the trampoline. Detach with the
// same pointer and detour restores the original bytes and sets the pointer
// back to the function.
//
// Errors in interception/: every call returns a Win32 error code (never throws) and must be
// checked; a detour written with this engine catches everything and returns its function's failure.
//
// Every call returns a Win32 error code, NO_ERROR on success:
//   ERROR_INVALID_OPERATION  no transaction open (or already open for Begin),
//                            or the transaction belongs to another thread
//   ERROR_INVALID_PARAMETER  null pointer, detour equal to (or inside) the
//                            target, detour mismatch on Detach, the same
//                            pointer used twice in one transaction
//   ERROR_INVALID_HANDLE     UpdateThread with something that is not a thread
//   ERROR_INVALID_ADDRESS    target is not committed, readable, executable memory
//                            (or lies in this module's own trampoline memory)
//   ERROR_ALREADY_EXISTS     target (or its first bytes) is already intercepted
//   ERROR_NOT_FOUND          Detach of a pointer that is not an active trampoline
//   ERROR_INVALID_DATA       the target's first instructions cannot be relocated
//                            (unknown opcode, function shorter than the jump,
//                            loop/jcxz, branch into the patched bytes, operand
//                            out of reach), or the bytes changed before commit
//   ERROR_NOT_ENOUGH_MEMORY  no trampoline memory within reach of the target
//   other                    what VirtualProtect reported at commit
//
// A failed Attach, Detach or UpdateThread also marks the open transaction as
// failed: its commit then writes nothing, returns that first error and closes
// the transaction.
#pragma once

#include <windows.h>

#include <cstddef>

namespace interception {

// Opens a transaction for the calling thread.
[[nodiscard]] LONG TransactionBegin();

// Names a thread to suspend during the commit and whose instruction pointer
// is moved out of bytes being patched. Every other thread of the process is
// suspended anyway; this is for threads the caller wants to be explicit about.
// The handle needs THREAD_SUSPEND_RESUME, THREAD_GET_CONTEXT and
// THREAD_SET_CONTEXT and must stay open until the transaction ends.
[[nodiscard]] LONG UpdateThread(HANDLE thread);

// Queues interception of *ppPointer (the target function) by detour. After a
// successful commit *ppPointer holds the trampoline. ppPointer must stay
// valid until the transaction ends.
[[nodiscard]] LONG Attach(void** ppPointer, void* detour);

// Queues removal of an interception: *ppPointer holds the trampoline set by
// Attach. After a successful commit *ppPointer holds the target again.
[[nodiscard]] LONG Detach(void** ppPointer, void* detour);

// Applies the queued operations. Either all of them take effect or, on
// error, none does. The transaction is closed in both cases.
[[nodiscard]] LONG TransactionCommit();

// Drops the queued operations and closes the transaction.
[[nodiscard]] LONG TransactionAbort();

// Bookkeeping of trampoline memory, for diagnostics and leak tests.
struct MemoryStats {
    size_t regions;       // 64 KiB blocks reserved for trampolines
    size_t slotsInUse;    // trampolines of active or queued interceptions
    size_t slotsRetired;  // trampolines kept forever because a thread was inside
};
MemoryStats GetMemoryStats();

}  // namespace interception
