// The progress step generator: a 32-bit linear congruential generator that starts at 1 and
// is never reseeded, so every run climbs through the same steps of 1 to 3 percent.
#pragma once
#include <cstdint>

// Advances *state and returns the next step, 1, 2 or 3.
int NextProgressStep(uint32_t* state);
// The progress after one more confirmed tick: the next step added, held at 100.
int AdvanceProgress(int progress, uint32_t* state);
