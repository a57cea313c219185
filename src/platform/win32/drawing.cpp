// drawing.cpp: the back buffer, the art from the resources, and the surface calls of the platform
// interface done with GDI.
#include "platform/win32/shell.h"

#include "platform/platform.h"
#include "present/shellFacts.h"
#include "resource.h"

namespace {

// A memory surface and the bitmap selected into it.
struct MemorySurface {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ replaced;  // what the fresh surface held before, put back before it is deleted
};

MemorySurface backBuffer;  // the frame being composed; the paint handler copies it to the screen
MemorySurface backdrop;    // the background image, bitmap 101
MemorySurface tileSheet;   // the eight block tiles, bitmap 102
HDC windowSurface;         // the game window's own surface, held while the row-clear wipe draws on it
HFONT panelFont;           // the score panel's font, the same at every DPI
HGDIOBJ fontReplaced;      // the back buffer's own font, put back before the panel's is deleted

MemorySurface selectInto(HDC dc, HBITMAP bitmap) { return {dc, bitmap, SelectObject(dc, bitmap)}; }

// The surface is deleted before the bitmap it holds: a bitmap still selected into a surface
// cannot be freed.
void release(MemorySurface& surface) {
    if (surface.dc) {
        SelectObject(surface.dc, surface.replaced);
        DeleteDC(surface.dc);
    }
    if (surface.bitmap) DeleteObject(surface.bitmap);
    surface = {};
}

MemorySurface loadResourceBitmap(int id) {
    HBITMAP bitmap = LoadBitmapW(appInstance, MAKEINTRESOURCEW(id));
    return selectInto(CreateCompatibleDC(nullptr), bitmap);
}

HDC memorySurfaceDc(Surface surface) {
    switch (surface) {
    case Surface::backBuffer: return backBuffer.dc;
    case Surface::backdrop: return backdrop.dc;
    case Surface::tileSheet: return tileSheet.dc;
    case Surface::gameWindow: return windowSurface;
    }
    return nullptr;
}

// The window's surface is scaled like the painted frame: the core draws the wipe in canvas pixels,
// the world transform spreads them by the window's factor, and COLORONCOLOR keeps the stretched
// tiles as sharp as the frame around them.
HDC scaledWindowSurface(HDC dc) {
    SetGraphicsMode(dc, GM_ADVANCED);
    const FLOAT scale = static_cast<FLOAT>(pixelScale);
    const XFORM transform{scale, 0, 0, scale, 0, 0};
    SetWorldTransform(dc, &transform);
    SetStretchBltMode(dc, COLORONCOLOR);
    return dc;
}

// The panel's text is drawn into the canvas at one size, whatever the screen, and scaled with the
// whole frame. The system font cannot give that: it comes from another font file on a screen of
// another DPI. Tahoma is on every Windows since 2000 and in Wine; bold, 16 pixels a line and
// without smoothing, it keeps the sharp look of the system font it stands in for.
HFONT makePanelFont() {
    return CreateFontW(16, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma");
}

// Runs one drawing call on `to`. Outside the wipe the game window's surface is borrowed just
// for the call; during the wipe GDI's batch is flushed at once, so that each white cell shows
// before the wipe sleeps.
template <typename Draw>
void drawOn(Surface to, Draw draw) {
    if (to != Surface::gameWindow) {
        draw(memorySurfaceDc(to));
    } else if (windowSurface) {
        draw(windowSurface);
        GdiFlush();
    } else {
        HDC dc = scaledWindowSurface(GetDC(mainWindow));
        draw(dc);
        ReleaseDC(mainWindow, dc);
    }
}

}  // namespace

void makeBackBuffer(HWND window) {
    // Both windows come through here while they are made. The back buffer is made once, for the
    // game window; the name window's creation keeps it rather than leaving a spare pair behind.
    if (backBuffer.dc) return;
    HDC windowDc = GetDC(window);
    HBITMAP bitmap = CreateCompatibleBitmap(windowDc, canvasWidth, canvasHeight);
    backBuffer = selectInto(CreateCompatibleDC(windowDc), bitmap);
    ReleaseDC(window, windowDc);
    panelFont = makePanelFont();
    fontReplaced = SelectObject(backBuffer.dc, panelFont);
}

void releaseBackBuffer() {
    if (backBuffer.dc) SelectObject(backBuffer.dc, fontReplaced);
    release(backBuffer);
    if (panelFont) DeleteObject(panelFont);
    panelFont = nullptr;
}

void loadArt() {
    tileSheet = loadResourceBitmap(IDB_TILES);
    backdrop = loadResourceBitmap(IDB_BACKDROP);
}

void releaseArt() {
    release(tileSheet);
    release(backdrop);
}

void paintGameWindow() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(mainWindow, &paint);
    // Nearest neighbour by a whole factor: every canvas pixel becomes a square of pixelScale.
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, 0, 0, canvasWidth * pixelScale, canvasHeight * pixelScale, backBuffer.dc, 0, 0, canvasWidth,
               canvasHeight, SRCCOPY);
    EndPaint(mainWindow, &paint);
}

void paintNameWindow() {
    // The paint context's defaults: the system font, black text on an opaque white background.
    static const std::wstring prompt = toUtf16(namePrompt);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(nameWindow, &paint);
    // The whole client, whatever the screen's factor has made of the window's 250x90.
    RECT client;
    GetClientRect(nameWindow, &client);
    BitBlt(dc, 0, 0, client.right, client.bottom, nullptr, 0, 0, WHITENESS);
    TextOutW(dc, 0, 0, prompt.c_str(), static_cast<int>(prompt.size()));
    EndPaint(nameWindow, &paint);
}

void copyRect(Surface to, int x, int y, int width, int height, Surface from, int fromX, int fromY) {
    drawOn(to, [&](HDC dc) { BitBlt(dc, x, y, width, height, memorySurfaceDc(from), fromX, fromY, SRCCOPY); });
}

void fillWhite(Surface to, int x, int y, int width, int height) {
    drawOn(to, [&](HDC dc) { BitBlt(dc, x, y, width, height, nullptr, 0, 0, WHITENESS); });
}

void drawText(Surface to, int x, int y, const std::string& utf8) {
    // The back buffer holds the panel's font; the window's surface, which the core gives no text,
    // keeps its own.
    const std::wstring text = toUtf16(utf8);
    drawOn(to, [&](HDC dc) {
        SetTextColor(dc, RGB(255, 255, 255));
        SetBkMode(dc, TRANSPARENT);
        TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
    });
}

void beginWindowDrawing() {
    if (!windowSurface) windowSurface = scaledWindowSurface(GetDC(mainWindow));
}

void endWindowDrawing() {
    if (!windowSurface) return;
    GdiFlush();
    ReleaseDC(mainWindow, windowSurface);
    windowSurface = nullptr;
}

// GDI copies whole frames cheaply; nothing needs to know where one starts.
void beginFrame() {}

void invalidateGameWindow() { InvalidateRect(mainWindow, nullptr, FALSE); }
