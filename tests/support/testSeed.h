// testSeed.h: the seed of a randomized test, for the core's and the ranking's tests alike:
// PILARO_TEST_SEED replays one, else a fresh one; printed either way, where a failure's replay begins.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <random>

inline unsigned testSeed() {
    const char* seedText = std::getenv("PILARO_TEST_SEED");
    const unsigned seed =
        seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10)) : std::random_device{}();
    std::printf("random seed %u (replay with PILARO_TEST_SEED=%u)\n", seed, seed);
    return seed;
}
