// replayCommand.cpp: pilaro-replay FILE plays a recorded game back headless and prints its final
// score, rows, level and the hash of its well (game/replay.h), one "name value" line each.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "game/replay.h"

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pilaro-replay FILE\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    Game game;
    std::uint64_t ticks = 0;
    if (!file.is_open() || !replay(bytes.data(), bytes.size(), game, &ticks)) {
        std::fprintf(stderr, "pilaro-replay: %s is not a recording this program can play\n", argv[1]);
        return 1;
    }
    std::printf("score %u\nlines %u\nlevel %u\nticks %llu\nwell %016llx\n", game.score, game.lines, game.level,
                static_cast<unsigned long long>(ticks), static_cast<unsigned long long>(gameHash(game)));
    return 0;
}
