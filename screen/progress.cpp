// Progress steps: r = bits 16-30 of the generator's state, step = 2r / 32767 + 1. The
// generator is our own, not the C runtime's rand(), whose sequence differs between runtimes.
#include "screen/progress.h"

int NextProgressStep(uint32_t* state)
{
    *state = *state * 214013u + 2531011u;
    int drawn = static_cast<int>((*state >> 16) & 0x7FFF);
    return 2 * drawn / 32767 + 1;
}

int AdvanceProgress(int progress, uint32_t* state)
{
    progress += NextProgressStep(state);
    return progress >= 100 ? 100 : progress;
}
