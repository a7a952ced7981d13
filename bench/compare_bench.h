#pragma once
// What checking pictures costs a capture run (compare_bench.cpp).
void CompareBenchmark(int runs);
