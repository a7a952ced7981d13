#include "code_buffer.h"

#include <cstdio>

namespace interception_test {
namespace {

// These tests execute generated and patched code; a mistake there crashes
// the process. Under Wine an unhandled exception starts a debugger and the
// process may end with status 0, so report it and exit with a failure code.
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info) {
    std::fprintf(stderr, "interception_tests: unhandled exception 0x%08lX at %p\n",
                 static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
                 info->ExceptionRecord->ExceptionAddress);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

const bool kCrashGuard = [] {
    SetUnhandledExceptionFilter(&ReportCrash);
    return true;
}();

}  // namespace

CodeBuffer::CodeBuffer() {
    base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, kSize, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE));
    if (base_) std::memset(base_, 0xCC, kSize);
}

CodeBuffer::CodeBuffer(uintptr_t address) {
    for (int attempt = 0; attempt < 64 && !base_; ++attempt) {
        const uintptr_t free = FindFreeBlock(address);
        if (!free) break;
        base_ = static_cast<uint8_t*>(
            VirtualAlloc(reinterpret_cast<void*>(free), kSize, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE));
        address = free + kSize;
    }
    if (base_) std::memset(base_, 0xCC, kSize);
}

CodeBuffer::~CodeBuffer() {
    if (base_) VirtualFree(base_, 0, MEM_RELEASE);
}

uintptr_t CodeBuffer::Put(size_t offset, std::initializer_list<uint8_t> bytes) {
    size_t i = offset;
    for (uint8_t b : bytes) base_[i++] = b;
    return address(offset);
}

bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

uintptr_t FindFreeBlock(uintptr_t from) {
    const uintptr_t granule = 0x10000;
    uintptr_t p = (from + granule - 1) & ~(granule - 1);
    for (int steps = 0; steps < 100000; ++steps) {
        MEMORY_BASIC_INFORMATION mbi;
        if (!VirtualQuery(reinterpret_cast<void*>(p), &mbi, sizeof mbi)) return 0;
        const uintptr_t end = reinterpret_cast<uintptr_t>(mbi.BaseAddress) + mbi.RegionSize;
        if (mbi.State == MEM_FREE && p + CodeBuffer::kSize <= end) return p;
        uintptr_t next = (end + granule - 1) & ~(granule - 1);
        if (next <= p) next = p + granule;
        p = next;
    }
    return 0;
}

}  // namespace interception_test
