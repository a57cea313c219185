// fill.h: for the benchmark, a ranking of a given size written straight into a store.
#pragma once

#include <cstdint>
#include <string>

// Adds `count` names to the store at `location` (created when new), name i ("F" and nine digits)
// with the score 1000 + 2 * i, as if each had submitted once at `now`. False, and why, on failure.
bool fillForBenchmark(const std::string& location, std::uint32_t count, std::int64_t now, std::string& error);
