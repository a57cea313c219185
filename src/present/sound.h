// sound.h: the four sound effects, by the numbers the shells know them by.
#pragma once

constexpr int soundTurn = 201;
constexpr int soundMove = 202;
constexpr int soundRowsCleared = 203;
constexpr int soundHardDrop = 204;
