// replay.cpp: writing a game's recording and playing one back.
#include "game/replay.h"

namespace {

constexpr std::uint8_t magic[4] = {'P', 'L', 'R', 'Y'};
constexpr std::uint8_t version = 1;
constexpr std::size_t headerSize = 4 + 1 + 4 + 4 + 4 + 1;
constexpr unsigned keyUpEvent = 8, downUpEvent = 9, downHeldEvent = 10, ticksOnly = 15;
constexpr unsigned mostTicks = 15;

void put32(std::vector<std::uint8_t>& to, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) to.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::uint32_t get32(const std::uint8_t* from) {
    return from[0] | from[1] << 8 | from[2] << 16 | static_cast<std::uint32_t>(from[3]) << 24;
}

}  // namespace

void Recording::start(const Game& game) {
    data.assign(magic, magic + 4);
    data.push_back(version);
    put32(data, game.random.state);
    put32(data, game.garbageCounter);
    put32(data, game.gravityClock);
    data.push_back(static_cast<std::uint8_t>(game.keyLatch | game.downLockout << 1 | game.hardDropPending << 2));
    pendingTicks = 0;
}

void Recording::event(unsigned code) {
    if (data.empty()) return;  // nothing is recorded before the first game
    data.push_back(static_cast<std::uint8_t>(pendingTicks << 4 | code));
    pendingTicks = 0;
}

void Recording::tick() {
    if (++pendingTicks == mostTicks) event(ticksOnly);
}

void Recording::key(Key key) { event(static_cast<unsigned>(key)); }
void Recording::keyUp() { event(keyUpEvent); }
void Recording::afterSettle(bool downHeld) { event(downHeld ? downHeldEvent : downUpEvent); }

std::vector<std::uint8_t> Recording::bytes() const {
    std::vector<std::uint8_t> all = data;
    if (!all.empty() && pendingTicks > 0) all.push_back(static_cast<std::uint8_t>(pendingTicks << 4 | ticksOnly));
    return all;
}

bool ReplayPlayer::start(const std::uint8_t* bytes, std::size_t length, Game& game) {
    *this = ReplayPlayer{};
    game = Game{};
    if (length < headerSize || bytes[0] != magic[0] || bytes[1] != magic[1] || bytes[2] != magic[2] ||
        bytes[3] != magic[3] || bytes[4] != version || bytes[17] > 7)
        return false;
    game.random.state = get32(bytes + 5);
    game.garbageCounter = get32(bytes + 9);
    game.gravityClock = get32(bytes + 13);
    game.keyLatch = bytes[17] & 1;
    game.downLockout = bytes[17] >> 1 & 1;
    game.hardDropPending = bytes[17] >> 2 & 1;
    newGame(game, 0);
    data = bytes, size = length, at = headerSize;
    return true;
}

ReplayStep ReplayPlayer::next(Game& game, Settle& settle, Sound& sound) {
    sound = Sound::none;
    if (ticksLeft > 0) {
        --ticksLeft, ++played;
        return gravityStep(game, settle) ? ReplayStep::settled : ReplayStep::tick;
    }
    if (!eventDue) {
        if (at >= size) return ReplayStep::end;
        ticksLeft = data[at] >> 4;
        eventDue = true;
        return next(game, settle, sound);
    }
    eventDue = false;
    const unsigned code = data[at++] & 15;
    if (code < keyCount) {
        sound = keyDown(game, static_cast<Key>(code));
    } else if (code == keyUpEvent) {
        keyUp(game);
    } else if (code == downUpEvent || code == downHeldEvent) {
        afterSettle(game, code == downHeldEvent);
    } else if (code != ticksOnly) {
        at = size;
        return ReplayStep::bad;
    }
    return ReplayStep::event;
}

bool replay(const std::uint8_t* bytes, std::size_t size, Game& game, std::uint64_t* ticks) {
    ReplayPlayer player;
    Settle settle;
    Sound sound;
    ReplayStep step = player.start(bytes, size, game) ? ReplayStep::tick : ReplayStep::bad;
    while (step != ReplayStep::end && step != ReplayStep::bad) step = player.next(game, settle, sound);
    if (ticks) *ticks = player.ticksPlayed();
    return step == ReplayStep::end;
}

std::uint64_t gameHash(const Game& game) {
    // FNV-1a over each cell (0 when empty, else 1 + its tile), then the three counters.
    std::uint64_t hash = 1469598103934665603ull;
    auto mix = [&hash](std::uint64_t value) { hash = (hash ^ value) * 1099511628211ull; };
    for (int c = 0; c < wellCells; ++c) mix(game.playfield.occupied[c] ? 1 + game.playfield.colour[c] : 0);
    for (std::uint32_t value : {game.score, game.lines, game.level}) mix(value);
    return hash;
}
