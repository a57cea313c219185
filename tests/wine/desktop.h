// desktop.h: a throw-away X display with a window manager, programs run under Wine on it, and
// the xdotool and ImageMagick calls that the Wine tests drive and watch them with.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;

// Runs a shell command and returns what it printed on standard output; `status` gets its exit
// status (-1 when it could not be run). Every command given here carries its own time limit.
std::string runCommand(const std::string& command, int* status = nullptr);

// Polls `ready` every 50 ms until it holds or `limit` has passed; true when it held.
bool waitUntil(std::chrono::milliseconds limit, const std::function<bool()>& ready);

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& other) const { return r == other.r && g == other.g && b == other.b; }
};

struct Image {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;  // row-major, three bytes a pixel
    Rgb at(int x, int y) const;
    bool savePpm(const std::string& path) const;
};

// An Xvfb display of its own (the server picks a free number) with openbox running on it, so
// that new windows get the activation and the keyboard as on a desktop.
struct Desktop {
    pid_t server = -1;
    pid_t windowManager = -1;
    std::string display;  // ":N", also put into this process's DISPLAY
    bool start(std::string& why);
    void stop();
};

// A child process whose standard output and error go to a file.
struct Program {
    pid_t pid = -1;
    std::string outputPath;
    bool exited = false;
    int exitCode = -1;
};

// Starts `wine exe` in `workDir`; its output (and Wine's traces) go to `outputPath`.
Program startUnderWine(const std::string& exe, const std::string& workDir, const std::string& outputPath);
// Waits for the program to end; true with its exit code when it ended in time.
bool waitForExit(Program& program, std::chrono::milliseconds limit);
// Kills it if it still runs, and reaps it.
void endProgram(Program& program);

// The first visible window whose title is exactly `title`, or "" when there is none.
std::string findWindow(const std::string& title);
std::string waitForWindow(const std::string& title, std::chrono::milliseconds limit);
// Activates the window and presses the given keys (xdotool key names) in it.
bool pressKeys(const std::string& window, const std::string& keys);
// Clicks the left button at (x, y) of the window's client area.
bool clickAt(const std::string& window, int x, int y);
bool typeText(const std::string& text);
// The window's pixels (client area for a Wine top-level window).
Image screenshot(const std::string& window);
// Client width and height as xwininfo reports them.
bool windowSize(const std::string& window, int& width, int& height);

// The texts of the message boxes a program has shown so far, in order, as UTF-8, read from the
// "msgbox" trace that Wine writes to the program's output (WINEDEBUG=trace+msgbox).
std::vector<std::string> messageBoxTexts(const std::string& outputPath);
