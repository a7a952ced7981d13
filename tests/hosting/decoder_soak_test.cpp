// A short run of the pipe decoder's soak (vantrell_bench soak-decoder runs
// it long): random and damaged buffers, each ending at an inaccessible page.
#include "bench/decoder_soak.h"

#include <gtest/gtest.h>

namespace {

TEST(DecoderSoak, TheByteAfterAPlacedBufferCannotBeRead) { EXPECT_TRUE(DecoderSoakGuardHolds()); }

TEST(DecoderSoak, RandomAndDamagedBuffersDecodeToSaneRecords) {
    DecoderSoakFigures f;
    SoakDecoder(10'000, 7, 1, f);
    EXPECT_EQ(f.buffers, 10'000u);
    EXPECT_EQ(f.overLimitRuns, 1u);
    EXPECT_EQ(f.passed, 10'001u) << f.firstFailure;
    EXPECT_EQ(f.failed, 0u) << f.firstFailure;
    EXPECT_GT(f.records, 10'000u);
}

} // namespace
