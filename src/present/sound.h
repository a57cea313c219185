// sound.h: the four sound effects, by the numbers the shells know them by. They are also the
// WAVE resource ids inside pilaro.exe, so the resource compiler reads the macros too.
#pragma once

#define PILARO_SOUND_TURN 201
#define PILARO_SOUND_MOVE 202
#define PILARO_SOUND_ROWS_CLEARED 203
#define PILARO_SOUND_HARD_DROP 204

#ifndef RC_INVOKED
constexpr int soundTurn = PILARO_SOUND_TURN;
constexpr int soundMove = PILARO_SOUND_MOVE;
constexpr int soundRowsCleared = PILARO_SOUND_ROWS_CLEARED;
constexpr int soundHardDrop = PILARO_SOUND_HARD_DROP;
constexpr int soundCount = 4;
#endif
