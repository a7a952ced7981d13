#pragma once
// Soak of the pipe decoder (CXProcessDecoder): many random and damaged
// buffers, each placed so that its last byte is the last readable byte
// before an inaccessible page, so that any read past the end faults.
//
// SoakDecoder runs on the calling thread and returns its figures; it never
// throws. A read past the end is an access violation, which ends the process
// (the soak-decoder command reports it first); every other fault of the
// decoder counts as a failed buffer. Run long by "vantrell_bench.exe
// soak-decoder [buffers] [seed]" (scripts/bench.sh soak-decoder), and short
// by the hosting tests.
#include <cstddef>
#include <cstdint>
#include <string>

struct DecoderSoakFigures {
    std::uint64_t buffers = 0;      // buffers decoded
    std::uint64_t passed = 0;       // buffers whose every check held
    std::uint64_t failed = 0;
    std::uint64_t bytes = 0;        // bytes of all buffers
    std::uint64_t records = 0;      // records decoded from them
    std::uint64_t longestString = 0;  // code units of the longest decoded string
    std::uint64_t overLimitRuns = 0;  // strings over the decoder's limit, fed in guarded pieces
    double seconds = 0;
    std::string firstFailure;       // what failed first, for the report
};

// Decodes `buffers` generated buffers from `seed`, and `overLimitRuns` times
// a string one unit over CFNKXProcessMessage::kMaxStringUnits (16 MiB each).
// Each buffer is decoded whole and again in random pieces, every piece
// against the inaccessible page; both must give the same records, every
// record must re-encode to exactly the bytes it came from and be sane (a
// string only with the string kind, no 0 unit in it, none over the limit),
// and intact input must come back as the records it was made of. The
// figures are kept up to date as the soak goes, so that a report after a
// fault can tell how far it got.
void SoakDecoder(std::uint64_t buffers, std::uint32_t seed, std::uint64_t overLimitRuns, DecoderSoakFigures& figures);

// The byte right after the end of a placed buffer lies in an inaccessible
// page: the guard the soak relies on. Checked by the tests.
bool DecoderSoakGuardHolds();
