// frame.cpp: composing the game window's frame: background, settled blocks, pieces, score panel.
#include "present/frame.h"

#include <cstdio>

#include "game/game.h"

namespace {

void drawTile(Surface to, int x, int y, unsigned tile) {
    copyRect(to, x, y, cellSize, cellSize, Surface::tileSheet, 0, static_cast<int>(cellSize * tile));
}

void drawPreview(Surface to, const Piece& piece, int top) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (piece.cells[r * 4 + c]) drawTile(to, previewLeft + cellSize * c, top + cellSize * r, piece.colour);
        }
    }
}

void drawHudLine(Surface to, int top, const char* format, std::uint32_t value) {
    char text[32];
    std::snprintf(text, sizeof text, format, static_cast<unsigned>(value));
    drawText(to, hudLeft, top, text);
}

}  // namespace

void drawField(Surface to, const Playfield& playfield) {
    for (int r = 0; r < wellRows; ++r) {
        for (int c = 0; c < wellColumns; ++c) {
            const int i = r * wellColumns + c;
            if (playfield.occupied[i])
                drawTile(to, wellLeft + cellSize * c, wellTop + cellSize * r, playfield.colour[i]);
        }
    }
}

void drawPieces(Surface to, const Game& game) {
    const Piece& current = game.current;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (!current.cells[r * 4 + c]) continue;
            drawTile(to, wellLeft + (current.col + c) * cellSize, wellTop + (current.row + r) * cellSize,
                     current.colour);
        }
    }
    drawPreview(to, game.next, nextTop);
    drawPreview(to, game.afterNext, afterNextTop);
}

void drawHud(Surface to, const Game& game) {
    // Scores are unsigned: printed as such, a score past 2^31 still reads as the points it is.
    drawText(to, hudLeft, 264, "SCORE");
    drawHudLine(to, 288, "%07u", game.score);
    drawText(to, hudLeft, 336, "LINE");
    drawHudLine(to, 360, "%04u", game.lines);
    drawHudLine(to, 408, "LEVEL  %u", game.level);
}

void composeFrame(const Game& game) {
    beginFrame();
    copyRect(Surface::backBuffer, 0, 0, canvasWidth, canvasHeight, Surface::backdrop, 0, 0);
    drawField(Surface::backBuffer, game.playfield);
    drawPieces(Surface::backBuffer, game);
    drawHud(Surface::backBuffer, game);
    invalidateGameWindow();
}
