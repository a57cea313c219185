// localRanking.h: the real ranking on loopback for the tests: lighttpd running pilaro-ranking,
// started and stopped through scripts/ranking-server, on a port the system picks, with a data
// folder and a store of its own; and the shell helpers the tests around it share.
#pragma once

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "scores/rankingFacts.h"

std::string makeTempDir();
int runShell(const std::string& command);  // through /bin/sh; its exit status
std::string readFile(const std::string& path);

// Stopped, and its data folder removed, when it goes.
struct LocalServer {
    std::string dataDir = makeTempDir(), rate = "0", mode = "fastcgi";
    std::string store = dataDir + "/ranking.sqlite3";  // PILARO_RANKING_DB
    unsigned workers = 1;                              // PILARO_RANKING_WORKERS
    unsigned port = 0;
    ~LocalServer() {
        stop();
        std::filesystem::remove_all(dataDir);
    }
    bool start() {
        // A port taken between asking and binding makes the start fail: try a few.
        for (int attempt = 0; attempt < 3; ++attempt) {
            int fd = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
            socklen_t size = sizeof address;
            bind(fd, reinterpret_cast<sockaddr*>(&address), size);
            getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
            close(fd);
            port = ntohs(address.sin_port);
            if (runShell("env " + settings() + "start >/dev/null") == 0) return true;
        }
        return false;
    }
    int stop() { return runShell("env " + settings() + "stop >/dev/null"); }
    // The settings for scripts/ranking-server, as VAR=value words, and the script.
    std::string settings() const {
        return "PILARO_DATA_DIR='" + dataDir + "' PILARO_RANKING_PORT=" + std::to_string(port) +
               " PILARO_RANKING_RATE='" + rate + "' PILARO_RANKING_MODE=" + mode + " PILARO_RANKING_DB='" + store +
               "' PILARO_RANKING_WORKERS=" + std::to_string(workers) +
               " PILARO_RANKING_BIN='" PILARO_RANKING_BIN "' '" PILARO_RANKING_SCRIPT "' ";
    }
    // For the games: where they send a new best score.
    std::string rankingUrl() const { return "http://127.0.0.1:" + std::to_string(port) + rankingPath; }
    std::string errorLog() const {  // lighttpd's and the CGI runs'
        return readFile(dataDir + "/lighttpd-error.log") + readFile(dataDir + "/ranking-error.log");
    }
    pid_t lighttpdPid() const { return std::atoi(readFile(dataDir + "/lighttpd.pid").c_str()); }
    std::vector<pid_t> workerPids() const {  // the ranking processes lighttpd spawned
        runShell("pgrep -P " + std::to_string(lighttpdPid()) + " -x pilaro-ranking >'" + dataDir + "/workers'");
        std::istringstream listed(readFile(dataDir + "/workers"));
        return {std::istream_iterator<pid_t>(listed), {}};
    }
};
