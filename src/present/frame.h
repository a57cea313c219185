// frame.h: composing a frame of the game window from the art and the game state.
#pragma once

#include "game/game.h"
#include "platform/platform.h"

constexpr int canvasWidth = 408;
constexpr int canvasHeight = 524;
constexpr int cellSize = 24;
constexpr int wellLeft = 24;
constexpr int wellTop = 24;
constexpr int previewLeft = 288;
constexpr int nextTop = 24;
constexpr int afterNextTop = 144;
constexpr int hudLeft = 288;

// Background, settled blocks, the three pieces and the score panel into the back buffer, then
// asks for the game window to be repainted.
void composeFrame(const Game& game);
void drawField(Surface to, const Playfield& playfield);
void drawPieces(Surface to, const Game& game);
void drawHud(Surface to, const Game& game);
