// support.h: helpers for the ranking's tests: raw loopback HTTP, a lighttpd instance in a temporary
// data folder, the ranking program run once as a CGI program, and a check of a database file.
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

// Sends `request` as it is to 127.0.0.1:`port` and reads the whole reply; bounded by a few seconds.
RawReply rawExchange(unsigned port, const std::string& request);
// A game-style POST of `body` to /whiteRanking.cgi.
RawReply postBody(unsigned port, const std::string& body);
std::string makeTempDir();
void removeTree(const std::string& path);
int runShell(const std::string& command);  // through /bin/sh; its exit status

// lighttpd with the ranking program, started and stopped through scripts/ranking-server; stopped
// and its data folder removed when it goes.
struct LocalServer {
    std::string dataDir;
    unsigned port = 0;
    std::string rate = "0";
    std::string mode = "fastcgi";     // or "cgi": one ranking process per request
    std::uint64_t fileSizeLimit = 0;  // > 0: a soft cap on every file written (a full disk)
    ~LocalServer();
    bool start();
    void stop();
    std::string databasePath() const { return dataDir + "/ranking.sqlite3"; }
    pid_t lighttpdPid() const;
    std::vector<pid_t> workerPids() const;  // the live ranking processes lighttpd spawned
};

struct CgiResult {
    int exitStatus = -1;
    int status = 0;  // from the "Status:" line
    std::string output, body;
};

// Runs the ranking program once as a CGI program on `database`; `environment` ("VAR=value ...")
// overrides the usual settings.
CgiResult runCgi(const std::string& method, const std::string& body, const std::string& database,
                 const std::string& environment = "");

// Checks the file's integrity and that each of `names` is ranked; returns the submissions stored.
std::uint64_t expectConsistentHolding(const std::string& database, const std::vector<std::string>& names);

// The game's handling of a reply: skip leading "<", keep up to the next "<".
std::string firstToken(const std::string& reply);
