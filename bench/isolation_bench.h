#pragma once
// Each runs in its own process: the single-version mode of the isolation
// layer, once set, stays for the life of the process.
void IsolationBenchmarkMulti();
void IsolationBenchmarkSingle();
