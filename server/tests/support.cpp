// support.cpp: loopback HTTP, temporary lighttpd instances and single CGI runs for the ranking tests.
#include "support.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string readAll(int fd, std::chrono::steady_clock::time_point deadline) {
    std::string out;
    char buffer[65536];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) break;
        out.append(buffer, static_cast<std::size_t>(got));
    }
    return out;
}

}  // namespace

RawReply rawExchange(unsigned port, const std::string& request) {
    RawReply reply;
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return reply;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return reply;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::size_t sent = 0;
    while (sent < request.size()) {
        ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        // The server may answer and close before a too large body is through: read what it said.
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    shutdown(fd, SHUT_WR);
    std::string all = readAll(fd, deadline);
    close(fd);
    std::size_t end = all.find("\r\n\r\n");
    if (all.rfind("HTTP/1.", 0) != 0 || end == std::string::npos) return reply;
    reply.status = std::atoi(all.c_str() + 9);
    reply.headers = all.substr(0, end);
    reply.body = all.substr(end + 4);
    return reply;
}

RawReply postBody(unsigned port, const std::string& body) {
    return rawExchange(port, "POST /whiteRanking.cgi HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                             "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                                 std::to_string(body.size()) + "\r\n\r\n" + body);
}

unsigned freePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    close(fd);
    return ntohs(address.sin_port);
}

std::string makeTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pilaro-ranking-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    return mkdtemp(name.data()) != nullptr ? std::string(name.data()) : std::string();
}

void removeTree(const std::string& path) {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
}

int runShell(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string LocalServer::environment() const {
    return "PILARO_DATA_DIR='" + dataDir + "' PILARO_RANKING_PORT=" + std::to_string(port) + " PILARO_RANKING_RATE='" +
           rate + "' PILARO_RANKING_MODE=" + mode + " PILARO_RANKING_BIN='" PILARO_RANKING_BIN "'";
}

bool LocalServer::start() {
    if (dataDir.empty()) dataDir = makeTempDir();
    // A port taken between asking and binding makes the start fail: try a few.
    for (int attempt = 0; attempt < 3; ++attempt) {
        port = freePort();
        std::string limit = fileSizeLimit > 0 ? "prlimit --fsize=" + std::to_string(fileSizeLimit) + ":unlimited -- " : "";
        if (runShell(environment() + " " + limit + "'" PILARO_RANKING_SCRIPT "' start >/dev/null") == 0) return true;
    }
    port = 0;
    return false;
}

void LocalServer::stop() {
    runShell(environment() + " '" PILARO_RANKING_SCRIPT "' stop >/dev/null");
}

pid_t LocalServer::lighttpdPid() const {
    std::ifstream in(dataDir + "/lighttpd.pid");
    pid_t pid = 0;
    in >> pid;
    return pid;
}

std::vector<pid_t> LocalServer::workerPids() const {
    std::vector<pid_t> pids;
    pid_t parent = lighttpdPid();
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return pids;
    while (dirent* entry = readdir(proc)) {
        char* end = nullptr;
        long pid = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || pid <= 0) continue;
        std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
        std::string line;
        std::getline(stat, line);
        // "pid (comm) state ppid ..."; the name may hold blanks, so read after the last ")".
        std::size_t close = line.rfind(')');
        if (close == std::string::npos || line.find("(pilaro-ranking)") == std::string::npos) continue;
        char state = 0;
        long ppid = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %ld", &state, &ppid) == 2 && ppid == parent && state != 'Z')
            pids.push_back(static_cast<pid_t>(pid));
    }
    closedir(proc);
    return pids;
}

CgiResult runCgi(const std::string& method, const std::string& body, const std::string& databasePath,
                 std::uint64_t fileSizeLimit, const std::vector<std::string>& extraEnvironment) {
    CgiResult result;
    int input[2];
    int output[2];
    if (pipe(input) != 0) return result;
    if (pipe(output) != 0) {
        close(input[0]);
        close(input[1]);
        return result;
    }
    std::vector<std::string> environment = {
        "REQUEST_METHOD=" + method, "CONTENT_LENGTH=" + std::to_string(body.size()),
        "PILARO_RANKING_DB=" + databasePath, "PILARO_RANKING_RATE=0", "REMOTE_ADDR=127.0.0.1",
        "SCRIPT_NAME=/whiteRanking.cgi", "GATEWAY_INTERFACE=CGI/1.1", "QUERY_STRING="};
    // A setting given by the caller replaces the usual one of the same name.
    for (const std::string& extra : extraEnvironment) {
        std::string name = extra.substr(0, extra.find('=') + 1);
        std::erase_if(environment, [&](const std::string& setting) { return setting.rfind(name, 0) == 0; });
        environment.push_back(extra);
    }
    std::vector<char*> envp;
    for (std::string& setting : environment) envp.push_back(setting.data());
    envp.push_back(nullptr);
    pid_t child = fork();
    if (child == 0) {
        dup2(input[0], 0);
        dup2(output[1], 1);
        close(input[0]);
        close(input[1]);
        close(output[0]);
        close(output[1]);
        if (fileSizeLimit > 0) {
            rlimit limit{fileSizeLimit, fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        char* argv[] = {const_cast<char*>(PILARO_RANKING_BIN), nullptr};
        execve(PILARO_RANKING_BIN, argv, envp.data());
        _exit(127);
    }
    close(input[0]);
    close(output[1]);
    std::signal(SIGPIPE, SIG_IGN);
    if (!body.empty()) {
        ssize_t ignored = write(input[1], body.data(), body.size());
        (void)ignored;
    }
    close(input[1]);
    result.output = readAll(output[0], std::chrono::steady_clock::now() + std::chrono::seconds(10));
    close(output[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (result.output.rfind("Status: ", 0) == 0) result.status = std::atoi(result.output.c_str() + 8);
    std::size_t end = result.output.find("\r\n\r\n");
    if (end != std::string::npos) result.body = result.output.substr(end + 4);
    return result;
}

std::string firstToken(const std::string& reply) {
    std::size_t from = reply.find_first_not_of('<');
    if (from == std::string::npos) return {};
    std::size_t to = reply.find('<', from);
    return reply.substr(from, to == std::string::npos ? std::string::npos : to - from);
}
