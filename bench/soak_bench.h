#pragma once
// The soak commands of the benchmark executable (soak_bench.cpp):
//   soak-decoder [buffers] [seed]   the pipe decoder, 1000000 buffers by default
//   soak-hooks [cycles] [threads]   the isolation layer, 1000 cycles and 16 threads by default
// Each prints its figures and ends with "N passed, M failed"; the result is
// the process's exit code (0 when nothing failed).
//   soak-hooks-run CYCLES THREADS PARENT   the hook soak itself, started and watched by soak-hooks
int DecoderSoakCommand(int argc, char** argv);
int HookSoakCommand(int argc, char** argv);
int HookSoakChild(int argc, char** argv);
