// desktop.h: a throw-away X display with a window manager, programs run under Wine on it, and
// the xdotool and ImageMagick calls that the Wine tests drive and watch them with.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// Runs a shell command and returns what it printed on standard output. Every command given
// here carries its own time limit.
inline std::string runCommand(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[65536];
    for (std::size_t got; pipe && (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, got);
    if (pipe) pclose(pipe);
    return output;
}

// Runs a shell command with its output thrown away; true when it succeeded.
inline bool succeeds(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// Polls `ready` every 50 ms until it holds or `limit` has passed; true when it held.
inline bool waitUntil(std::chrono::milliseconds limit, const std::function<bool()>& ready) {
    for (const auto deadline = std::chrono::steady_clock::now() + limit; !ready();
         std::this_thread::sleep_for(std::chrono::milliseconds(50)))
        if (std::chrono::steady_clock::now() >= deadline) return false;
    return true;
}

// Runs the shell command line in a process group of its own; the command execs its program, so
// that the process id is the program's.
inline pid_t spawn(const std::string& command) {
    const pid_t pid = fork();
    if (pid == 0) {
        // Only calls that are safe between fork and exec from here on.
        setpgid(0, 0);
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// Ends the process and everything it started, and reaps it.
inline void killAndReap(pid_t& pid) {
    for (int signal : {SIGTERM, SIGKILL}) {
        if (pid <= 0 || (kill(-pid, signal), kill(pid, signal)) != 0) return;
        if (waitUntil(std::chrono::seconds(3), [&] { return waitpid(pid, nullptr, WNOHANG) != 0; })) pid = -1;
    }
}

using Rgb = std::array<int, 3>;

// A window's pixels, read as a picture that it shows `scale` times over in each direction: at(x, y) is
// the top-left pixel of the picture's pixel (x, y).
struct Image {
    int width = 0, height = 0, scale = 1;
    std::vector<Rgb> pixels;  // row-major
    Rgb at(int x, int y) const { return pixels[static_cast<std::size_t>(y * scale) * width + x * scale]; }
};

// An Xvfb display of its own (the server picks a free number) with openbox running on it, so
// that new windows get the activation and the keyboard as on a desktop. It is tall enough for the
// game at 192 DPI (1048 pixels and the caption).
struct Desktop {
    pid_t server = -1, windowManager = -1;

    // Also points this process's DISPLAY at it; "" once it runs, else why not. A second try covers a
    // start that lost a race on a busy machine (seen once: openbox never came up on a fresh display).
    std::string start() {
        std::string why;
        for (int attempt = 0; attempt < 2; ++attempt, stop()) {
            int fds[2];
            if (pipe(fds) != 0) return "no pipe for Xvfb";
            // -displayfd: the server takes the first free display number and writes it to the pipe.
            server = spawn("exec Xvfb -displayfd " + std::to_string(fds[1]) +
                           " -screen 0 1600x1200x24 -nolisten tcp >/dev/null 2>&1");
            close(fds[1]);
            char number[32] = {};
            pollfd watch{fds[0], POLLIN, 0};
            const bool ready = poll(&watch, 1, 15000) > 0 && read(fds[0], number, sizeof number - 1) > 0;
            close(fds[0]);
            const std::string display = ":" + std::to_string(std::atoi(number));
            setenv("DISPLAY", display.c_str(), 1);
            windowManager = spawn("exec openbox >/dev/null 2>&1");
            if (ready && waitUntil(std::chrono::seconds(15), [] {
                    return succeeds("timeout 5 xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'");
                }))
                return "";
            why = ready ? "openbox did not start on " + display : "Xvfb did not start";
        }
        return why;
    }

    void stop() { killAndReap(windowManager), killAndReap(server); }
    ~Desktop() { stop(); }
};

// `wine exe` run in a folder, its output (and Wine's traces) going to a file.
struct Program {
    pid_t pid;
    std::string outputPath;
    int exitCode = -1;  // -1 until waitForExit has seen it end; 128 + the signal that ended it

    Program(const std::string& exe, const std::string& workDir, const std::string& output)
        : pid(spawn("cd '" + workDir + "' && exec wine '" + exe + "' >>'" + output + "' 2>&1")), outputPath(output) {}
    ~Program() { killAndReap(pid); }

    // Waits up to `limit` for the program to end; its `exitCode`, still -1 if it runs on.
    int waitForExit(std::chrono::milliseconds limit) {
        int status = 0;
        if (pid > 0 && waitUntil(limit, [&] { return waitpid(pid, &status, WNOHANG) == pid; }))
            pid = -1, exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return exitCode;
    }
};

// The first visible window whose title is exactly `title`, or "" when none shows in time.
inline std::string waitForWindow(const std::string& title, std::chrono::milliseconds limit = {}) {
    std::string window;
    const std::string search =
        "timeout 5 xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null | head -n 1";
    waitUntil(limit, [&] { return !(window = runCommand(search + " | tr -d '\\n'")).empty(); });
    return window;
}

// Runs `xdotool args`; true when it succeeded.
inline bool xdotool(const std::string& args) { return succeeds("timeout 10 xdotool " + args); }

// Activates the window and presses the given keys (xdotool key names) in it.
inline bool pressKeys(const std::string& window, const std::string& keys) {
    return xdotool("windowactivate --sync " + window) && xdotool("key --delay 60 " + keys);
}

// The window's pixels (the client area, for a Wine top-level window), read at `scale`.
inline Image screenshot(const std::string& window, int scale = 1) {
    Image image{0, 0, scale, {}};
    const std::string ppm = runCommand("timeout 10 import -window " + window + " -depth 8 ppm:- 2>/dev/null");
    int start = 0;
    if (std::sscanf(ppm.c_str(), "P6 %d %d 255%n", &image.width, &image.height, &start) != 2 || start == 0 ||
        ppm.size() != static_cast<std::size_t>(start + 1 + image.width * image.height * 3))
        return {};
    const auto* bytes = reinterpret_cast<const unsigned char*>(ppm.data()) + start + 1;
    for (int i = 0; i < image.width * image.height * 3; i += 3)
        image.pixels.push_back({bytes[i], bytes[i + 1], bytes[i + 2]});
    return image;
}

// The texts of the message boxes a program has shown so far, in order, as UTF-8, read from the
// "msgbox" trace that Wine writes to the program's output (WINEDEBUG=trace+msgbox): each text in
// Wine's debug form, L"..." with \n, \", \\ and \XXXX (four hex digits) for what is not plain ASCII,
// which perl turns back into characters, each text ended by a NUL.
inline std::vector<std::string> messageBoxTexts(const std::string& outputPath) {
    std::vector<std::string> texts;
    std::istringstream decoded(
        runCommand(R"perl(perl -CO -ne 'if (/MSGBOX_OnInit L"(.*)"/) { ($t = $1) =~ s/\\([0-9a-f]{4}|.)/)perl"
                   R"perl(length $1 > 1 ? chr hex $1 : $1 eq "n" ? "\n" : $1/ge; print "$t\0" }' ')perl" +
                   outputPath + "'"));
    for (std::string text; std::getline(decoded, text, '\0');) texts.push_back(text);
    return texts;
}
