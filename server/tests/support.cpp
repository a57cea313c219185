// support.cpp: loopback HTTP, temporary lighttpd instances, single CGI runs and fresh stores for the
// ranking tests.
#include "support.h"

#include "text/cp932.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

// An HTTP reply or a CGI program's output, split at its blank line; its status follows the first blank.
static RawReply parsedReply(const std::string& all, const char* start) {
    std::size_t end = all.find("\r\n\r\n");
    if (all.rfind(start, 0) != 0 || end == std::string::npos) return {0, all, ""};
    return {std::atoi(all.c_str() + all.find(' ') + 1), all.substr(0, end), all.substr(end + 4)};
}

RawReply rawExchange(unsigned port, const std::string& request) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);  // if not, nothing is read
    // The server may answer and close before a too large body is through: then read what it said.
    for (ssize_t sent = 0, n = 0; sent < static_cast<ssize_t>(request.size()); sent += n)
        if ((n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL)) <= 0) break;
    shutdown(fd, SHUT_WR);
    timeval timeout{10, 0};  // the server closes the connection after its reply
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::string all;
    char buffer[65536];
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) all.append(buffer, static_cast<std::size_t>(got));
    close(fd);
    return parsedReply(all, "HTTP/1.");
}

std::string doneText(const std::string& reply) {
    std::size_t from = reply.find_first_not_of('<');
    return from == std::string::npos ? "" : cp932::decode(reply.substr(from, reply.find('<', from) - from));
}

std::string makeTempDir() {
    std::string name = (std::filesystem::temp_directory_path() / "pilaro-ranking-XXXXXX").string();
    return mkdtemp(name.data()) != nullptr ? name : std::string();
}

int runShell(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool rawSql(const std::string& location, const std::string& sql) {
    bool sqlite = location.find("://") == std::string::npos;
    return runShell((sqlite ? "sqlite3 '" : "psql -qX '") + location + (sqlite ? "' '" : "' -c '") + sql +
                    "' >/dev/null 2>&1") == 0;
}

const char* const postgresMissing =
    "PostgreSQL could not start here (see " PILARO_TEST_POSTGRES_STATE "'s folder): its cases are skipped";

std::string freshStore(const std::string& kind) {
    static int made = 0;
    static const std::string folder = makeTempDir();  // removed when the test program ends
    [[maybe_unused]] static const int removal = std::atexit([] { std::filesystem::remove_all(folder); });
    std::string name = "t" + std::to_string(getpid()) + "_" + std::to_string(++made);
    if (kind == "sqlite") return folder + "/" + name + ".sqlite3";
    // The first line of the state file is the throw-away server's URI, when it started.
    std::string uri = readFile(PILARO_TEST_POSTGRES_STATE);
    uri = uri.substr(0, uri.find('\n'));
    return !uri.empty() && rawSql(uri, "CREATE SCHEMA " + name) ? uri + "&options=-csearch_path%3D" + name : "";
}

CrashablePostgres::CrashablePostgres(const std::string& options) {
    std::string slowWal = "PILARO_POSTGRES_SETTINGS='-c wal_writer_delay=10s -c autovacuum=off' ";
    runShell(slowWal + "'" PILARO_TEST_POSTGRES_SCRIPT "' start '" + state + "' " + options + " >/dev/null 2>&1");
}

CrashablePostgres::~CrashablePostgres() {
    runShell("'" PILARO_TEST_POSTGRES_SCRIPT "' stop '" + state + "'");
    std::filesystem::remove_all(std::filesystem::path(state).parent_path());
}

bool CrashablePostgres::crash() { return runShell("'" PILARO_TEST_POSTGRES_SCRIPT "' crash '" + state + "'") == 0; }

// The settings for scripts/ranking-server, as VAR=value words.
static std::string settings(const LocalServer& server) {
    return "PILARO_DATA_DIR='" + server.dataDir + "' PILARO_RANKING_PORT=" + std::to_string(server.port) +
           " PILARO_RANKING_RATE='" + server.rate + "' PILARO_RANKING_MODE=" + server.mode + " PILARO_RANKING_DB='" +
           server.store + "' PILARO_RANKING_WORKERS=" + std::to_string(server.workers) +
           " PILARO_RANKING_BIN='" PILARO_RANKING_BIN "' '" PILARO_RANKING_SCRIPT "' ";
}

LocalServer::~LocalServer() {
    stop();
    std::filesystem::remove_all(dataDir);
}

bool LocalServer::start() {
    // A port taken between asking and binding makes the start fail: try a few.
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t size = sizeof address;
        bind(fd, reinterpret_cast<sockaddr*>(&address), size);
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
        close(fd);
        port = ntohs(address.sin_port);
        if (runShell("env " + settings(*this) + "start >/dev/null") == 0) return true;
    }
    return false;
}

int LocalServer::stop() { return runShell("env " + settings(*this) + "stop >/dev/null"); }

std::vector<pid_t> LocalServer::workerPids() const {
    runShell("pgrep -P " + std::to_string(lighttpdPid()) + " -x pilaro-ranking >'" + dataDir + "/workers'");
    std::istringstream listed(readFile(dataDir + "/workers"));
    return {std::istream_iterator<pid_t>(listed), {}};
}

RawReply runCgi(const std::string& method, const std::string& body, const std::string& database,
                const std::string& environment) {
    std::ofstream(database + ".in", std::ios::binary) << body;
    // Later settings replace earlier ones of the same name.
    int exitStatus =
        runShell("env -i REQUEST_METHOD=" + method + " CONTENT_LENGTH=" + std::to_string(body.size()) +
                 " PILARO_RANKING_DB='" + database +
                 "' PILARO_RANKING_RATE=0 REMOTE_ADDR=127.0.0.1 "
                 "SCRIPT_NAME=" PILARO_RANKING_PATH " QUERY_STRING= " +
                 environment + " '" PILARO_RANKING_BIN "' <'" + database + ".in' >'" + database + ".out' 2>/dev/null");
    RawReply reply = parsedReply(readFile(database + ".out"), "Status: ");
    reply.exitStatus = exitStatus;
    return reply;
}

std::uint64_t expectConsistentHolding(const std::string& location, const std::vector<std::string>& names) {
    std::string error, report;
    std::vector<RankingEntry> all;
    StoreCounts counts;
    std::unique_ptr<RankingStore> store = openStore(location, StoreAccess::readOnly, error);
    EXPECT_NE(store, nullptr) << error;
    if (store == nullptr) return 0;
    EXPECT_TRUE(store->check(report)) << report;
    EXPECT_TRUE(store->read(0, 100000, all)) << store->lastError();
    EXPECT_TRUE(store->counts(counts)) << store->lastError();
    std::set<std::string> missing(names.begin(), names.end());
    for (const RankingEntry& entry : all) missing.erase(entry.name);
    EXPECT_TRUE(missing.empty()) << missing.size() << " of " << names.size() << " acknowledged names missing, "
                                 << (missing.empty() ? "" : "such as " + *missing.begin());
    return counts.submissions;
}
