// rankingFacts.h: what the game and the ranking server agree on: the path the ranking answers at
// and the longest name it takes.
#pragma once

#include <cstddef>

// The path of the ranking on its host, set once in the top CMakeLists.txt (PILARO_RANKING_PATH).
constexpr const char* rankingPath = PILARO_RANKING_PATH;

// A name is at most this many code page 932 bytes (a double-byte character counts two).
constexpr std::size_t maxNameBytes = 10;
