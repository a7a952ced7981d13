#pragma once
// Figures of the stand-in WebBrowser control (standin_bench.cpp).
void StandInBenchmark(int runs);
