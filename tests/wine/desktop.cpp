// desktop.cpp: Xvfb, openbox and Wine processes for the Wine tests, and the X tools they use.
#include "desktop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char ch : text) {
        if (ch == '\'') out += "'\\''";
        else out += ch;
    }
    return out + "'";
}

// Forks and runs `argv` with standard output and error sent to `outputPath` (or /dev/null),
// from `workDir` when one is given.
pid_t spawn(const std::vector<std::string>& argv, const std::string& outputPath, const std::string& workDir,
            int keepFd = -1) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    // Only calls that are safe between fork and exec from here on.
    if (!workDir.empty() && chdir(workDir.c_str()) != 0) _exit(127);
    const int out = open(outputPath.empty() ? "/dev/null" : outputPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (out >= 0) {
        dup2(out, 1);
        dup2(out, 2);
        if (out > 2 && out != keepFd) close(out);
    }
    setpgid(0, 0);  // its own process group, so that nothing it starts outlives the kill below
    execvp(args[0], args.data());
    _exit(127);
}

void killAndReap(pid_t& pid) {
    if (pid <= 0) return;
    kill(-pid, SIGTERM);
    kill(pid, SIGTERM);
    int status = 0;
    const bool ended = waitUntil(std::chrono::milliseconds(3000), [&] { return waitpid(pid, &status, WNOHANG) != 0; });
    if (!ended) {
        kill(-pid, SIGKILL);
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    pid = -1;
}

void appendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Wine's debug form of a wide string: L"..." with \n, \r, \t, \", \\ and \XXXX (four hex digits)
// for everything else outside printable ASCII.
std::string decodeWineString(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        const char escaped = text[++i];
        if (escaped == 'n') out += '\n';
        else if (escaped == 'r') out += '\r';
        else if (escaped == 't') out += '\t';
        else if (escaped == '"' || escaped == '\\') out += escaped;
        else {
            appendUtf8(out, static_cast<unsigned>(std::stoul(text.substr(i, 4), nullptr, 16)));
            i += 3;
        }
    }
    return out;
}

}  // namespace

std::string runCommand(const std::string& command, int* status) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        if (status) *status = -1;
        return output;
    }
    char buffer[65536];
    std::size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    const int result = pclose(pipe);
    if (status) *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    return output;
}

bool waitUntil(std::chrono::milliseconds limit, const std::function<bool()>& ready) {
    const auto deadline = Clock::now() + limit;
    while (true) {
        if (ready()) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

Rgb Image::at(int x, int y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

bool Image::savePpm(const std::string& path) const {
    std::ofstream file(path, std::ios::binary);
    file << "P6\n" << width << " " << height << "\n255\n";
    file.write(reinterpret_cast<const char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    return static_cast<bool>(file);
}

bool Desktop::start(std::string& why) {
    int fds[2];
    if (pipe(fds) != 0) {
        why = "no pipe for Xvfb";
        return false;
    }
    // -displayfd: the server takes the first free display number and writes it to the pipe.
    server = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
                   "", "", fds[1]);
    close(fds[1]);
    std::string number;
    pollfd watch{fds[0], POLLIN, 0};
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    while (Clock::now() < deadline && number.find('\n') == std::string::npos) {
        if (poll(&watch, 1, 100) > 0) {
            char buffer[32];
            const ssize_t got = read(fds[0], buffer, sizeof buffer);
            if (got <= 0) break;
            number.append(buffer, static_cast<std::size_t>(got));
        }
    }
    close(fds[0]);
    if (number.empty() || number.find('\n') == std::string::npos) {
        why = "Xvfb did not start";
        return false;
    }
    display = ":" + number.substr(0, number.find('\n'));
    setenv("DISPLAY", display.c_str(), 1);
    windowManager = spawn({"openbox"}, "", "");
    const bool managed = waitUntil(std::chrono::seconds(15), [] {
        return runCommand("timeout 5 xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null").find("window id") !=
               std::string::npos;
    });
    if (!managed) why = "openbox did not start on " + display;
    return managed;
}

void Desktop::stop() {
    killAndReap(windowManager);
    killAndReap(server);
}

Program startUnderWine(const std::string& exe, const std::string& workDir, const std::string& outputPath) {
    Program program;
    program.outputPath = outputPath;
    program.pid = spawn({"wine", exe}, outputPath, workDir);
    return program;
}

bool waitForExit(Program& program, std::chrono::milliseconds limit) {
    if (program.exited) return true;
    int status = 0;
    const bool ended = waitUntil(limit, [&] { return waitpid(program.pid, &status, WNOHANG) == program.pid; });
    if (!ended) return false;
    program.exited = true;
    program.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}

void endProgram(Program& program) {
    if (program.pid <= 0 || program.exited) return;
    killAndReap(program.pid);
    program.exited = true;
}

std::string findWindow(const std::string& title) {
    const std::string ids =
        runCommand("timeout 5 xdotool search --onlyvisible --name " + quoted("^" + title + "$") + " 2>/dev/null");
    return ids.substr(0, ids.find('\n'));
}

std::string waitForWindow(const std::string& title, std::chrono::milliseconds limit) {
    std::string window;
    waitUntil(limit, [&] { return !(window = findWindow(title)).empty(); });
    return window;
}

bool pressKeys(const std::string& window, const std::string& keys) {
    int status = 0;
    runCommand("timeout 10 xdotool windowactivate --sync " + window + " >/dev/null 2>&1 && timeout 10 xdotool key --delay 60 " +
                   keys + " >/dev/null 2>&1",
               &status);
    return status == 0;
}

bool clickAt(const std::string& window, int x, int y) {
    int status = 0;
    runCommand("timeout 10 xdotool mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) +
                   " click 1 >/dev/null 2>&1",
               &status);
    return status == 0;
}

bool typeText(const std::string& text) {
    int status = 0;
    runCommand("timeout 10 xdotool type --delay 60 " + quoted(text) + " >/dev/null 2>&1", &status);
    return status == 0;
}

Image screenshot(const std::string& window) {
    Image image;
    const std::string ppm = runCommand("timeout 10 import -window " + window + " -depth 8 ppm:- 2>/dev/null");
    std::istringstream in(ppm);
    std::string magic;
    int maximum = 0;
    in >> magic >> image.width >> image.height >> maximum;
    if (magic != "P6" || maximum != 255 || image.width <= 0 || image.height <= 0) return {};
    in.get();
    const std::size_t size = static_cast<std::size_t>(image.width) * image.height * 3;
    const std::size_t start = static_cast<std::size_t>(in.tellg());
    if (ppm.size() < start + size) return {};
    image.rgb.assign(ppm.begin() + static_cast<std::ptrdiff_t>(start),
                     ppm.begin() + static_cast<std::ptrdiff_t>(start + size));
    return image;
}

bool windowSize(const std::string& window, int& width, int& height) {
    const std::string info = runCommand("timeout 5 xwininfo -id " + window + " 2>/dev/null");
    const std::size_t w = info.find("Width:");
    const std::size_t h = info.find("Height:");
    if (w == std::string::npos || h == std::string::npos) return false;
    width = std::atoi(info.c_str() + w + 6);
    height = std::atoi(info.c_str() + h + 7);
    return true;
}

std::vector<std::string> messageBoxTexts(const std::string& outputPath) {
    std::vector<std::string> texts;
    std::ifstream file(outputPath, std::ios::binary);
    const std::string marker = "trace:msgbox:MSGBOX_OnInit L\"";
    std::string line;
    while (std::getline(file, line)) {
        const std::size_t at = line.find(marker);
        if (at == std::string::npos) continue;
        const std::size_t start = at + marker.size();
        const std::size_t end = line.rfind('"');
        if (end == std::string::npos || end < start) continue;
        texts.push_back(decodeWineString(line.substr(start, end - start)));
    }
    return texts;
}
