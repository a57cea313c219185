// replay.cpp: the ranking server's replay request ("NAME_SCORE\n" and a recording) as it reads it
// and plays it with the rules, and the id that the watch link carries.
#include <cstdint>
#include <string>

#include "check.h"
#include "game/replay.h"
#include "replayCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    // The watch link's id: 32 lowercase hex digits read back to the same text, nothing else.
    std::string key;
    if (parseReplayKeyText(body.substr(0, 32), key)) FUZZ_CHECK(replayKeyText(key) == body.substr(0, 32));
    ReplayClaim claim;
    const ReplayVerdict verdict = checkReplay(body, claim);
    if (verdict == ReplayVerdict::malformed || verdict == ReplayVerdict::tooLong ||
        verdict == ReplayVerdict::implausible)
        return 0;
    // Whatever the rules were given, they played no more than the bound: the work of one
    // verification is bounded by maxReplayTicks, not by what the bytes claim.
    Game game;
    std::uint64_t played = 0;
    const bool read = replay(reinterpret_cast<const std::uint8_t*>(claim.recording.data()), claim.recording.size(),
                             game, &played);
    FUZZ_CHECK(played <= claim.ticks && claim.ticks <= maxReplayTicks);
    FUZZ_CHECK(read == (verdict != ReplayVerdict::notRecording));
    // An accepted one ended at a blocked entry with exactly the claimed score, and the same bytes
    // give the same verdict again (a verification depends on nothing but them).
    if (verdict != ReplayVerdict::accepted) return 0;
    FUZZ_CHECK(game.gameOver != 0 && game.score == claim.submission.score);
    FUZZ_CHECK(checkRecording(claim.recording, claim.submission.score) == ReplayVerdict::accepted);
    return 0;
}
