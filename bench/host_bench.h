#pragma once
// Figures of a hosted tab (host_bench.cpp): engine thread start to
// DocumentComplete of about:blank, and private memory per tab.
void HostBenchmark(int runs);
