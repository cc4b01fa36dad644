// The progress steps of a fresh run: always the same sequence, 100 on the 67th tick (the
// confirming one counted), and never beyond.
#include <gtest/gtest.h>

#include <vector>

#include "screen/progress.h"

TEST(ProgressSteps, FreshRunSequence)
{
    uint32_t state = 1;
    std::vector<int> shown;
    int progress = 0;
    int ticks = 0;
    while (progress < 100) {
        progress = AdvanceProgress(progress, &state);
        ++ticks;
        if (shown.size() < 12)
            shown.push_back(progress);
    }
    EXPECT_EQ((std::vector<int>{1, 3, 4, 6, 8, 9, 10, 12, 14, 16, 17, 19}), shown);
    EXPECT_EQ(67, ticks);
    EXPECT_EQ(100, progress);
    EXPECT_EQ(100, AdvanceProgress(99, &state));
    EXPECT_EQ(100, AdvanceProgress(100, &state));
}

TEST(ProgressSteps, StepBoundaries)
{
    // state chosen so that the next drawn value r is known: r = (state' >> 16) & 0x7FFF.
    auto stepFor = [](uint32_t r) {
        // Find a predecessor whose successor has bits 16-30 equal to r (bit 31 and low bits 0).
        uint32_t target = r << 16;
        // state' = state * a + c  =>  state = (state' - c) * a^-1 (mod 2^32)
        uint32_t a = 214013u, inverse = 1;
        for (int i = 0; i < 5; ++i)
            inverse *= 2 - a * inverse;  // Newton's iteration for the inverse mod 2^32
        uint32_t state = (target - 2531011u) * inverse;
        return NextProgressStep(&state);
    };
    EXPECT_EQ(1, stepFor(0));
    EXPECT_EQ(1, stepFor(16383));
    EXPECT_EQ(2, stepFor(16384));
    EXPECT_EQ(2, stepFor(32766));
    EXPECT_EQ(3, stepFor(32767));
}
