#include "test_targets.h"

namespace interception_test {

volatile int g_factor = 7;
volatile int g_bias = 11;

// noipa: no inlining, cloning or interprocedural assumptions, so the function
// keeps its own entry point and callers really call it.
__attribute__((noipa)) int TargetAdd(int a, int b) { return a * g_factor + b * 3 + g_bias; }
__attribute__((noipa)) int TargetMul(int a, int b) { return (a ^ g_bias) * (b + g_factor) - 5; }

BinaryFn volatile g_callAdd = &TargetAdd;
BinaryFn volatile g_callMul = &TargetMul;

BinaryFn g_realAdd = &TargetAdd;
BinaryFn g_realMul = &TargetMul;
std::atomic<int> g_addDetourCalls{0};
std::atomic<int> g_mulDetourCalls{0};

__attribute__((noipa)) int DetourAdd(int a, int b) {
    ++g_addDetourCalls;
    return g_realAdd(a, b) + kAddDetourOffset;
}

__attribute__((noipa)) int DetourMul(int a, int b) {
    ++g_mulDetourCalls;
    return g_realMul(a, b) + kMulDetourOffset;
}

}  // namespace interception_test
