// support.h: helpers for the ranking's tests: raw loopback HTTP, a lighttpd instance in a temporary
// data folder, the ranking program run once as a CGI program, and the stores to test against.
#pragma once

#include "store.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/types.h>
#include <vector>

struct RawReply {
    int status = 0;  // 0 when the reply is not one: then all of it is in `headers`
    std::string headers, body;
    int exitStatus = 0;  // runCgi's: the program's
};

// Sends `request` as it is to 127.0.0.1:`port` and reads the whole reply; bounded by a few seconds.
RawReply rawExchange(unsigned port, const std::string& request);
// What the game's done box shows of a reply (in UTF-8 here), before its own fixed sentence: the
// text after any leading "<", up to the next "<".
std::string doneText(const std::string& reply);
std::string makeTempDir();
int runShell(const std::string& command);  // through /bin/sh; its exit status
std::string readFile(const std::string& path);
// Runs SQL on a store behind its back, as another program or a newer version would.
bool rawSql(const std::string& location, const std::string& sql);

// A fresh, empty store for one test: "sqlite" (a file in a temporary folder) or "postgresql" (a
// schema of its own in the test run's throw-away server). Empty when PostgreSQL is not there.
std::string freshStore(const std::string& kind);
extern const char* const postgresMissing;  // the skip line

// A throw-away PostgreSQL server of one test's own, which it may crash, started with postgres.sh's
// `options`. Its WAL writer waits ten seconds between rounds, so that a commit that did not wait for
// its flush stays unflushed.
struct CrashablePostgres {
    std::string state = makeTempDir() + "/state";
    explicit CrashablePostgres(const std::string& options);
    ~CrashablePostgres();
    std::string uri() const { return readFile(state).substr(0, readFile(state).find('\n')); }  // empty if not up
    bool crash();  // stopped as a power cut would, and started again
};

// lighttpd with the ranking program, started and stopped through scripts/ranking-server; stopped
// and its data folder removed when it goes.
struct LocalServer {
    std::string dataDir = makeTempDir(), rate = "0", mode = "fastcgi";
    std::string store = dataDir + "/ranking.sqlite3";  // PILARO_RANKING_DB
    unsigned workers = 1;                              // PILARO_RANKING_WORKERS
    unsigned port = 0;
    ~LocalServer();
    bool start();
    int stop();
    std::string errorLog() const {  // lighttpd's and the CGI runs'
        return readFile(dataDir + "/lighttpd-error.log") + readFile(dataDir + "/ranking-error.log");
    }
    pid_t lighttpdPid() const { return std::atoi(readFile(dataDir + "/lighttpd.pid").c_str()); }
    std::vector<pid_t> workerPids() const;  // the ranking processes lighttpd spawned
};

// Runs the ranking program once as a CGI program on `database`; `environment` ("VAR=value ...")
// overrides the usual settings.
RawReply runCgi(const std::string& method, const std::string& body, const std::string& database,
                const std::string& environment = "");

// Checks the store's consistency and that each of `names` is ranked; returns the submissions kept.
std::uint64_t expectConsistentHolding(const std::string& location, const std::vector<std::string>& names);
