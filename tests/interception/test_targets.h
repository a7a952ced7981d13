// Functions of the test executable that the interception tests patch.
#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>

namespace interception_test {

using BinaryFn = int (*)(int, int);

// The targets read these globals, so their results are computed at run time
// and the compiler cannot fold calls.
extern volatile int g_factor;
extern volatile int g_bias;

int TargetAdd(int a, int b);
int TargetMul(int a, int b);

// What the targets must return, computed independently of them.
inline int ExpectedAdd(int a, int b) { return a * g_factor + b * 3 + g_bias; }
inline int ExpectedMul(int a, int b) { return (a ^ g_bias) * (b + g_factor) - 5; }

// Called through these so that every call really reaches the function.
extern BinaryFn volatile g_callAdd;
extern BinaryFn volatile g_callMul;

// Detours add a fixed offset to what the trampoline returns.
constexpr int kAddDetourOffset = 1000;
constexpr int kMulDetourOffset = 2000;
extern BinaryFn g_realAdd;
extern BinaryFn g_realMul;
extern std::atomic<int> g_addDetourCalls;
extern std::atomic<int> g_mulDetourCalls;
int DetourAdd(int a, int b);
int DetourMul(int a, int b);

using CodeBytes = std::array<uint8_t, 32>;
inline CodeBytes Snapshot(const void* p) {
    CodeBytes bytes;
    std::memcpy(bytes.data(), p, bytes.size());
    return bytes;
}

template <class F>
void* AsVoid(F f) {
    return reinterpret_cast<void*>(f);
}
template <class F>
void** AsSlot(F* f) {
    return reinterpret_cast<void**>(f);
}

}  // namespace interception_test
