#pragma once
void ProxyBenchmark(int runs);
