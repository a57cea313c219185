// games.h: whole games played by the rules with random keys, and their recordings: the replays
// that the benchmark posts and times, that the tests send, and that seed the replay fuzz target.
#pragma once

#include <cstdint>
#include <string>

// The game from `seed` (its deal and its keys), to its end; its recording's bytes, and its score.
std::string playedGame(std::uint32_t seed, std::uint32_t& score);
// The replay request's body: "NAME_SCORE\n" and the recording.
std::string replayBody(const std::string& name, std::uint32_t score, const std::string& recording);
