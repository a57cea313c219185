// games.cpp: whole games played by the rules with random keys, and their recordings.
#include "games.h"

#include "game/replay.h"

#include <random>
#include <vector>

std::string playedGame(std::uint32_t seed, std::uint32_t& score) {
    Game game;
    game.random.state = seed;
    Recording recording;
    recording.start(game);
    newGame(game, 0);
    std::mt19937 random(seed);
    Settle settle;
    while (game.gameOver == 0) {
        // A key on about one tick in six: well within what a hand makes.
        if (random() % 6 == 0) {
            Key key = static_cast<Key>(1 + random() % 5);
            keyDown(game, key);
            recording.key(key);
            keyUp(game);
            recording.keyUp();
        }
        recording.tick();
        if (gravityStep(game, settle)) {
            afterSettle(game, false);
            recording.afterSettle(false);
        }
    }
    score = game.score;
    std::vector<std::uint8_t> bytes = recording.bytes();
    return std::string(bytes.begin(), bytes.end());
}

std::string replayBody(const std::string& name, std::uint32_t score, const std::string& recording) {
    return name + "_" + std::to_string(score) + "\n" + recording;
}
