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

// What one step of a recording played back did.
enum class ReplayStep : std::uint8_t {
    tick,     // a tick of the rules
    settled,  // a tick that settled the piece (the Settle tells what it did)
    event,    // a key-down (its sound given), a key-up or the Down key's state after a settle
    end,      // the recording is over
    bad,      // an event of no known kind: the bytes are not a recording
};

// Plays a recording back a tick or an event at a time, for a watcher who sees it at the game's
// pace. The bytes stay the caller's and must outlive the player.
class ReplayPlayer {
public:
    // Deals `game` as the recording's game was dealt; false when the bytes are not a recording of
    // a known version.
    bool start(const std::uint8_t* bytes, std::size_t size, Game& game);
    ReplayStep next(Game& game, Settle& settle, Sound& sound);
    std::uint64_t ticksPlayed() const { return played; }

private:
    const std::uint8_t* data = nullptr;
    std::size_t size = 0, at = 0;
    unsigned ticksLeft = 0;  // of the byte read last, before its event
    bool eventDue = false;
    std::uint64_t played = 0;
};

// Plays a recording back into `game`; false, with the game as far as it got, when the bytes are
// not a recording of a known version. `ticks` counts the ticks played.
bool replay(const std::uint8_t* bytes, std::size_t size, Game& game, std::uint64_t* ticks = nullptr);

// A hash of the well (occupied cells and their tiles), the score, the lines and the level.
std::uint64_t gameHash(const Game& game);
