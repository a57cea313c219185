// main.cpp: the Win32 entry point, the single-instance guard, the two windows, the message loop
// and the one window procedure that hands messages to the game.
#include "platform/win32/shell.h"

#include <algorithm>
#include <cstdlib>

#include "platform/platform.h"
#include "present/shellFacts.h"
#include "program/program.h"

HINSTANCE appInstance;  // this program's module, which holds the art and the sounds
HWND mainWindow;        // the game window
HWND nameWindow;        // the name-entry window, hidden until a new best score is offered
int pixelScale = 1;     // the whole factor by which the game window shows the canvas: 1 at 96 DPI, 2 at 192

namespace {

HANDLE instanceMutex;  // held for the whole run, so that a second copy finds it and gives up

// The class is ".\main", as it has always been. The mutex cannot share that name: a backslash
// in a kernel object name means a namespace, ".\main" names none, CreateMutex fails with
// ERROR_PATH_NOT_FOUND and the guard would never see the first copy.
const wchar_t* const windowClassName = L".\\main";
const wchar_t* const instanceMutexName = L"Local\\Pilaro.main";

constexpr DWORD gameWindowStyle = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;  // 0x10CA0000
constexpr DWORD nameWindowStyle = WS_CAPTION;                                             // 0x00C00000

// GetDpiForWindow came with Windows 10 (1607); before it, every window has the system's one setting.
UINT windowDpi(HWND window) {
    using GetDpiForWindowCall = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowCall>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow) return getDpiForWindow(window);
    HDC dc = GetDC(window);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(window, dc);
    return static_cast<UINT>(dpi);
}

// Only a whole factor keeps each 24-pixel cell a sharp square, so the factor is rounded as the Qt
// shell rounds it: 96 and 120 DPI give 1, 144 and 192 give 2, 288 gives 3.
int scaleForDpi(UINT dpi) { return std::max(1, static_cast<int>((dpi + 48) / 96)); }

WindowId windowIdOf(HWND window) { return window == nameWindow ? WindowId::name : WindowId::game; }

LRESULT onCreate(HWND window) {
    makeBackBuffer(window);
    return 0;
}

LRESULT onDestroy() {
    releaseBackBuffer();
    PostQuitMessage(0);
    return 0;
}

LRESULT onPaint(HWND window) {
    const bool nameWindowShown = IsWindowVisible(nameWindow) != FALSE;
    if (nameWindowShown) paintNameWindow();
    paintGameWindow();
    // The name window paints only while it is shown; if it ever asks at another time, its request
    // is settled here so that it does not come back on every pass of the loop.
    if (window == nameWindow && !nameWindowShown) ValidateRect(window, nullptr);
    return 0;
}

// The window was moved to a screen of another DPI, or the setting was changed: both windows take
// the factor of their new screen, and the place that the system suggests.
LRESULT onDpiChanged(HWND window, WPARAM wParam, const RECT* suggested) {
    const int scale = scaleForDpi(HIWORD(wParam));
    if (window == nameWindow) {
        layoutNameWindow(scale, suggested);
        return 0;
    }
    pixelScale = scale;
    fitClientArea(mainWindow, canvasWidth * scale, canvasHeight * scale, suggested);
    InvalidateRect(mainWindow, nullptr, FALSE);
    return 0;
}

LRESULT onTimerMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (wParam == delayTimerId) {
        KillTimer(mainWindow, delayTimerId);  // a one-shot
        onDelayElapsed();
        return 0;
    }
    if (wParam == exchangeTimerId) {
        onExchangeDeadline();
        return 0;
    }
    if (wParam == tickTimerId) ::onTimer();
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: return onCreate(window);
    case WM_DESTROY: return onDestroy();
    case WM_ACTIVATE: onActivate(LOWORD(wParam) != WA_INACTIVE); return 0;
    case WM_PAINT: return onPaint(window);
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_KEYDOWN: onKeyDown(windowIdOf(window), keyOfVirtualKey(static_cast<int>(wParam))); return 0;
    case WM_KEYUP: onKeyUp(); return 0;
    // Only the OK button's click: its id, and no notification code in the high word.
    case WM_COMMAND:
        if (wParam == static_cast<WPARAM>(okButtonId)) onNameConfirmed();
        return 0;
    case WM_TIMER: return onTimerMessage(window, message, wParam, lParam);
    case WM_DPICHANGED: return onDpiChanged(window, wParam, reinterpret_cast<const RECT*>(lParam));
    case boxMessage: onBoxMessage(lParam); return 0;
    case rankingReplyMessage: onRankingReplyMessage(lParam); return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

bool registerWindowClass() {
    WNDCLASSW windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = appInstance;
    windowClass.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = windowClassName;
    return RegisterClassW(&windowClass) != 0;
}

HWND createWindow(const wchar_t* title, DWORD style, int width, int height) {
    return CreateWindowExW(0, windowClassName, title, style, CW_USEDEFAULT, CW_USEDEFAULT, width, height, nullptr,
                           nullptr, appInstance, nullptr);
}

int runMessageLoop() {
    // No dialog-key handling: Enter in the name field does not confirm the name, only OK does.
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

int windowScale(HWND window) { return scaleForDpi(windowDpi(window)); }

void fitClientArea(HWND window, int width, int height, const RECT* place) {
    // A suggested place comes with the frame of the new DPI; moving there first lets the frame
    // measured below be that one.
    if (place) {
        SetWindowPos(window, nullptr, place->left, place->top, place->right - place->left, place->bottom - place->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT outer, client;
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    const int frameWidth = (outer.right - outer.left) - client.right;
    const int frameHeight = (outer.bottom - outer.top) - client.bottom;
    SetWindowPos(window, nullptr, 0, 0, width + frameWidth, height + frameHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool isDownKeyHeld() { return (GetAsyncKeyState(VK_DOWN) & 0x8000) != 0; }

void startDelay(unsigned ms) { SetTimer(mainWindow, delayTimerId, ms, nullptr); }

void startTimer(unsigned periodMs) { SetTimer(mainWindow, tickTimerId, periodMs, nullptr); }

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    appInstance = instance;

    instanceMutex = CreateMutexW(nullptr, TRUE, instanceMutexName);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        runMessageBox(alreadyRunningText, alreadyRunningTitle);
        return 0;
    }

    if (!registerWindowClass()) return 0;

    // The game window is made hidden and shown once it has the size for its screen's DPI.
    RECT outer{0, 0, canvasWidth, canvasHeight};
    AdjustWindowRect(&outer, gameWindowStyle, FALSE);
    mainWindow = createWindow(toUtf16(gameWindowTitle).c_str(), gameWindowStyle & ~WS_VISIBLE, outer.right - outer.left,
                              outer.bottom - outer.top);
    if (!mainWindow) return 0;
    pixelScale = windowScale(mainWindow);
    fitClientArea(mainWindow, canvasWidth * pixelScale, canvasHeight * pixelScale, nullptr);
    ShowWindow(mainWindow, SW_SHOW);
    nameWindow = createWindow(toUtf16(nameWindowTitle).c_str(), nameWindowStyle, nameWindowWidth, nameWindowHeight);
    if (!nameWindow) return 0;
    layoutNameWindow(windowScale(nameWindow), nullptr);

    // PILARO_SEED deals a chosen game, for tests; else the clock's.
    startProgram(std::getenv("PILARO_RANKING_URL"), std::getenv("PILARO_SEED"));

    const int exitCode = runMessageLoop();

    KillTimer(mainWindow, tickTimerId);
    releaseArt();
    CloseHandle(instanceMutex);
    return exitCode;
}
