// sound.h: the four sound effects, by the ids the core starts them by. Each shell finds sound id n
// as the n-th of cmake/resourceFiles.cmake's sound files (its own copy, a file or a resource).
#pragma once

constexpr int soundTurn = 0;
constexpr int soundMove = 1;
constexpr int soundRowsCleared = 2;
constexpr int soundHardDrop = 3;
constexpr int soundCount = 4;
