#pragma once
// The one program-wide random generator. Seeded from the clock at start; a seed option
// makes a run reproducible.
#include <cstdint>
#include <random>

namespace vantorel::imaging {

std::mt19937& programRandom();
void seedProgramRandom(std::uint32_t seed);
void seedProgramRandomFromClock();
// A uniform integer in 0..n-1; 0 when n <= 0.
int Random(int n);

} // namespace vantorel::imaging
