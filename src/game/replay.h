// replay.h: a game's recording, and playing one back headless.
//
// A recording holds what reached the rules, in order, so that the rules alone rebuild the game:
// the generator's state and the carried-over counters at the game's start, then every tick, key-down
// (as the rules saw it), key-up and reading of the Down key after a settle. The bytes (version 1):
//
//   "PLRY", version byte 1, then little-endian: generator state (4 bytes), garbageCounter (4),
//   gravityClock (4), and a byte of flags (1 keyLatch, 2 downLockout, 4 hardDropPending);
//   then one byte per event: the high four bits are the ticks that came before the event (0-15),
//   the low four the event: 0-7 a key-down (Key's number), 8 a key-up, 9 Down up and 10 Down held
//   after a settle, 15 no event (only the ticks).
//
// A tick costs a sixteenth of a byte at most, so a 30-minute game of 109,000 ticks and steady play
// stays well under 64 KB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "game/game.h"

class Recording {
public:
    // Starts afresh for a game about to be dealt by newGame from this state.
    void start(const Game& game);
    void tick();
    void key(Key key);
    void keyUp();
    void afterSettle(bool downHeld);
    // The recording so far, pending ticks included.
    std::vector<std::uint8_t> bytes() const;
    bool started() const { return !data.empty(); }

private:
    void event(unsigned code);
    std::vector<std::uint8_t> data;
    unsigned pendingTicks = 0;
};

// Plays a recording back into `game`; false, with the game as far as it got, when the bytes are
// not a recording of a known version. `ticks` counts the ticks played.
bool replay(const std::uint8_t* bytes, std::size_t size, Game& game, std::uint64_t* ticks = nullptr);

// A hash of the well (occupied cells and their tiles), the score, the lines and the level.
std::uint64_t gameHash(const Game& game);
