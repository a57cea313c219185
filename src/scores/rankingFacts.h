// rankingFacts.h: what the game and the ranking server agree on: the path the ranking answers at,
// the longest name it takes, and the game's warning that names that limit.
#pragma once

#include <cstddef>
#include <string>

// The path of the ranking on its host, set once in the top CMakeLists.txt (PILARO_RANKING_PATH).
constexpr const char* rankingPath = PILARO_RANKING_PATH;
// Where a game's recording goes before its score, on the same host (PILARO_REPLAY_PATH).
constexpr const char* replayPath = PILARO_REPLAY_PATH;

// A name is at most this many code page 932 bytes (a double-byte character counts two).
constexpr std::size_t maxNameBytes = 10;
// Of what the name field holds, the game reads this many bytes at most: enough to tell a name
// that is too long.
constexpr std::size_t nameBytesRead = 19;

// The warning for a name longer than maxNameBytes.
inline std::string nameTooLongText() { return "文字数は" + std::to_string(maxNameBytes) + "文字以下にしてネ"; }
