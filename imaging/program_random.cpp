#include "imaging/program_random.h"

#include <chrono>

namespace vantorel::imaging {

std::mt19937& programRandom() {
    static std::mt19937 generator(5489u);
    return generator;
}

void seedProgramRandom(std::uint32_t seed) {
    programRandom().seed(seed);
}

void seedProgramRandomFromClock() {
    const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    seedProgramRandom(static_cast<std::uint32_t>(ticks ^ (ticks >> 32)));
}

int Random(int n) {
    if (n <= 0) return 0;
    return std::uniform_int_distribution<int>(0, n - 1)(programRandom());
}

} // namespace vantorel::imaging
