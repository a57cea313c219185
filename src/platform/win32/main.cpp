// main.cpp: the Win32 entry point, the single-instance guard, the two windows, the message loop
// and the one window procedure that hands messages to the game.
#include "platform/win32/shell.h"

#include <ctime>
#include <cstdlib>

#include "game/game.h"
#include "game/input.h"
#include "platform/platform.h"
#include "present/shellFacts.h"
#include "scores/scores.h"

HINSTANCE appInstance;  // this program's module, which holds the art and the sounds
HWND mainWindow;        // the game window
HWND nameWindow;        // the name-entry window, hidden until a new best score is offered

namespace {

HANDLE instanceMutex;  // held for the whole run, so that a second copy finds it and gives up

// The class is ".\main", as it has always been. The mutex cannot share that name: a backslash
// in a kernel object name means a namespace, ".\main" names none, CreateMutex fails with
// ERROR_PATH_NOT_FOUND and the guard would never see the first copy.
const wchar_t* const windowClassName = L".\\main";
const wchar_t* const instanceMutexName = L"Local\\Pilaro.main";

constexpr DWORD gameWindowStyle = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;  // 0x10CA0000
constexpr DWORD nameWindowStyle = WS_CAPTION;                                             // 0x00C00000

WindowId windowIdOf(HWND window) { return window == nameWindow ? WindowId::name : WindowId::game; }

LRESULT onCreate(HWND window) {
    makeBackBuffer(window);
    // Each of the two windows gets its own tick timer, and each of their ticks runs the game.
    SetTimer(window, tickTimerId, tickPeriodMs, nullptr);
    return 0;
}

LRESULT onDestroy() {
    releaseBackBuffer();
    PostQuitMessage(0);
    return 0;
}

LRESULT onPaint(HWND window) {
    if (game.rankingPending) paintNameWindow();
    paintGameWindow();
    // The name window paints only while a ranking is pending; if it ever asks at another time,
    // its request is settled here so that it does not come back on every pass of the loop.
    if (window == nameWindow && !game.rankingPending) ValidateRect(window, nullptr);
    return 0;
}

LRESULT onTimer(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    onTimerTick();
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: return onCreate(window);
    case WM_DESTROY: return onDestroy();
    case WM_ACTIVATE: onActivate(LOWORD(wParam) != WA_INACTIVE); return 0;
    case WM_PAINT: return onPaint(window);
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_KEYDOWN: onKeyDown(windowIdOf(window), static_cast<int>(wParam)); return 0;
    case WM_KEYUP: onKeyUp(); return 0;
    case WM_COMMAND: onCommand(static_cast<unsigned>(wParam)); return 0;
    case WM_TIMER: return onTimer(window, message, wParam, lParam);
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

bool isDownKeyHeld() { return (GetAsyncKeyState(VK_DOWN) & 0x8000) != 0; }

void sleepMs(unsigned ms) { Sleep(ms); }

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    appInstance = instance;

    instanceMutex = CreateMutexW(nullptr, TRUE, instanceMutexName);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        showMessageBox(alreadyRunningText, alreadyRunningTitle, BoxButtons::ok, BoxOwner::none);
        return 0;
    }

    if (!registerWindowClass()) return 0;

    RECT outer{0, 0, canvasWidth, canvasHeight};
    AdjustWindowRect(&outer, gameWindowStyle, FALSE);
    mainWindow = createWindow(toUtf16(gameWindowTitle).c_str(), gameWindowStyle, outer.right - outer.left, outer.bottom - outer.top);
    if (!mainWindow) return 0;
    nameWindow = createWindow(toUtf16(nameWindowTitle).c_str(), nameWindowStyle, nameWindowWidth, nameWindowHeight);
    if (!nameWindow) return 0;

    chooseRankingUrl();
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    newGame();
    loadArt();

    const int exitCode = runMessageLoop();

    KillTimer(mainWindow, tickTimerId);
    releaseArt();
    CloseHandle(instanceMutex);
    return exitCode;
}
