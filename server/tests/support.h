// support.h: helpers for the ranking's tests: raw loopback HTTP, a lighttpd instance in a temporary
// data folder, and the ranking program run once as a CGI program.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

struct RawReply {
    int status = 0;  // 0 when the exchange failed
    std::string headers;
    std::string body;
};

// Sends `request` as it is to 127.0.0.1:`port` and reads the whole reply (the connection is closed
// by the request's "Connection: close"). Bounded by a few seconds.
RawReply rawExchange(unsigned port, const std::string& request);
// A game-style POST (the header line, a Content-Length) of `body` to /whiteRanking.cgi.
RawReply postBody(unsigned port, const std::string& body);
// A free TCP port on 127.0.0.1 at the moment of asking.
unsigned freePort();
// A new empty folder under the temporary folder; removed by `removeTree`.
std::string makeTempDir();
void removeTree(const std::string& path);
// Runs a command line through /bin/sh with extra environment settings; returns its exit status.
int runShell(const std::string& command);

// lighttpd with the ranking program, started and stopped through scripts/ranking-server.
struct LocalServer {
    std::string dataDir;
    unsigned port = 0;
    std::string rate = "0";
    std::string mode = "fastcgi";  // or "cgi": one ranking process per request
    std::uint64_t fileSizeLimit = 0;  // > 0 caps every file lighttpd and the ranking write (a full disk);
                                      // only the soft limit, so a test can lift it again
    std::string environment() const;  // the settings for scripts/ranking-server, as VAR=value words
    bool start();
    void stop();
    std::string databasePath() const { return dataDir + "/ranking.sqlite3"; }
    pid_t lighttpdPid() const;
    std::vector<pid_t> workerPids() const;  // the ranking processes lighttpd spawned
};

struct CgiResult {
    int exitStatus = -1;
    int status = 0;  // from the "Status:" line
    std::string output;
    std::string body;
};

// Runs the ranking program once as a CGI program; `fileSizeLimit` > 0 caps the size of any file it
// writes (a full disk without root).
CgiResult runCgi(const std::string& method, const std::string& body, const std::string& databasePath,
                 std::uint64_t fileSizeLimit = 0, const std::vector<std::string>& extraEnvironment = {});

// The game's handling of a reply: skip leading "<", keep up to the next "<".
std::string firstToken(const std::string& reply);
