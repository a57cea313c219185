// support.cpp: loopback HTTP, temporary lighttpd instances, single CGI runs and fresh stores for the
// ranking tests.
#include "support.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <arpa/inet.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

sockaddr_in loopback(unsigned port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

}  // namespace

RawReply rawExchange(unsigned port, const std::string& request) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(port);
    connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);  // if not, nothing is read
    // The server may answer and close before a too large body is through: then read what it said.
    for (std::size_t sent = 0; sent < request.size();) {
        ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    shutdown(fd, SHUT_WR);
    timeval timeout{10, 0};  // the server closes the connection after its reply
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::string all;
    char buffer[65536];
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) all.append(buffer, static_cast<std::size_t>(got));
    close(fd);
    RawReply reply;
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

std::string makeTempDir() {
    std::string name = (std::filesystem::temp_directory_path() / "pilaro-ranking-XXXXXX").string();
    return mkdtemp(name.data()) != nullptr ? name : std::string();
}

void removeTree(const std::string& path) {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
}

int runShell(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string postgresMissing() {
    return "PostgreSQL could not start here (see " PILARO_TEST_POSTGRES_STATE "): its cases are skipped";
}

std::string freshStore(const std::string& kind) {
    static int made = 0;
    if (kind == "sqlite") {
        static std::string dir = makeTempDir();  // removed by the system's temporary cleaning
        return dir + "/ranking" + std::to_string(getpid()) + "-" + std::to_string(++made) + ".sqlite3";
    }
    // The first line of the state file is the throw-away server's URI, when it started.
    std::string uri = readFile(PILARO_TEST_POSTGRES_STATE);
    uri = uri.substr(0, uri.find('\n'));
    if (uri.empty()) return {};
    std::string schema = "t" + std::to_string(getpid()) + "_" + std::to_string(++made);
    PGconn* conn = PQconnectdb(uri.c_str());
    PGresult* result = PQexec(conn, ("CREATE SCHEMA " + schema).c_str());
    bool created = PQresultStatus(result) == PGRES_COMMAND_OK;
    PQclear(result);
    PQfinish(conn);
    return created ? uri + "&options=-csearch_path%3D" + schema : std::string();
}

namespace {

// The settings for scripts/ranking-server, as VAR=value words.
std::string settings(const LocalServer& server) {
    return "PILARO_DATA_DIR='" + server.dataDir + "' PILARO_RANKING_PORT=" + std::to_string(server.port) +
           " PILARO_RANKING_RATE='" + server.rate + "' PILARO_RANKING_MODE=" + server.mode +
           " PILARO_RANKING_DB='" + server.databasePath() + "' PILARO_RANKING_BIN='" PILARO_RANKING_BIN "' ";
}

}  // namespace

LocalServer::~LocalServer() {
    stop();
    removeTree(dataDir);
}

bool LocalServer::start() {
    if (dataDir.empty()) dataDir = makeTempDir();
    // A port taken between asking and binding makes the start fail: try a few.
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = loopback(0);
        socklen_t size = sizeof address;
        bind(fd, reinterpret_cast<sockaddr*>(&address), size);
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
        close(fd);
        port = ntohs(address.sin_port);
        std::string limit = fileSizeLimit > 0 ? "prlimit --fsize=" + std::to_string(fileSizeLimit) + ":unlimited -- " : "";
        if (runShell(settings(*this) + limit + "'" PILARO_RANKING_SCRIPT "' start >/dev/null") == 0) return true;
    }
    port = 0;
    return false;
}

int LocalServer::stop() {
    return dataDir.empty() ? 0 : runShell(settings(*this) + "'" PILARO_RANKING_SCRIPT "' stop >/dev/null");
}

std::string LocalServer::errorLog() const {
    return readFile(dataDir + "/lighttpd-error.log") + readFile(dataDir + "/ranking-error.log");
}

bool alive(pid_t pid) {
    std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    std::size_t close = stat.rfind(')');
    return close != std::string::npos && stat.size() > close + 2 && stat[close + 2] != 'Z';
}

pid_t LocalServer::lighttpdPid() const {
    std::ifstream in(dataDir + "/lighttpd.pid");
    pid_t pid = 0;
    in >> pid;
    return pid;
}

std::vector<pid_t> LocalServer::workerPids() const {
    std::vector<pid_t> pids;
    long parent = lighttpdPid();
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::string line;
        std::getline(std::ifstream(entry.path() / "stat"), line);
        // "pid (comm) state ppid ...": the name may hold blanks, so read after the last ")".
        std::size_t close = line.rfind(')');
        char state = 0;
        long ppid = 0;
        if (line.find(" (pilaro-ranking) ") != std::string::npos &&
            std::sscanf(line.c_str() + close + 1, " %c %ld", &state, &ppid) == 2 && ppid == parent && state != 'Z')
            pids.push_back(static_cast<pid_t>(std::stol(line)));
    }
    return pids;
}

CgiResult runCgi(const std::string& method, const std::string& body, const std::string& database,
                 const std::string& environment) {
    std::ofstream(database + ".in", std::ios::binary) << body;
    CgiResult result;
    // Later settings replace earlier ones of the same name.
    result.exitStatus = runShell("env -i REQUEST_METHOD=" + method + " CONTENT_LENGTH=" + std::to_string(body.size()) +
                                 " PILARO_RANKING_DB='" + database + "' PILARO_RANKING_RATE=0 REMOTE_ADDR=127.0.0.1 "
                                 "SCRIPT_NAME=/whiteRanking.cgi QUERY_STRING= " + environment + " '" PILARO_RANKING_BIN
                                 "' <'" + database + ".in' >'" + database + ".out' 2>/dev/null");
    std::ifstream out(database + ".out", std::ios::binary);
    result.output.assign(std::istreambuf_iterator<char>(out), {});
    if (result.output.rfind("Status: ", 0) == 0) result.status = std::atoi(result.output.c_str() + 8);
    std::size_t end = result.output.find("\r\n\r\n");
    if (end != std::string::npos) result.body = result.output.substr(end + 4);
    return result;
}

std::uint64_t expectConsistentHolding(const std::string& location, const std::vector<std::string>& names) {
    std::string error, report;
    std::vector<RankingEntry> all;
    StoreCounts counts;
    std::unique_ptr<RankingStore> store = openStore(location, StoreAccess::readOnly, error);
    if (store == nullptr) {
        ADD_FAILURE() << error;
        return 0;
    }
    EXPECT_TRUE(store->check(report)) << report << store->lastError();
    EXPECT_TRUE(store->read(0, 100000, all));
    EXPECT_TRUE(store->counts(counts));
    std::set<std::string> ranked;
    for (const RankingEntry& entry : all) ranked.insert(entry.name);
    std::size_t missing = 0;
    for (const std::string& name : names) missing += ranked.count(name) == 0 ? 1 : 0;
    EXPECT_EQ(missing, 0u) << "of " << names.size() << " acknowledged names";
    return counts.submissions;
}

std::string firstToken(const std::string& reply) {
    std::size_t from = reply.find_first_not_of('<');
    if (from == std::string::npos) return {};
    return reply.substr(from, reply.find('<', from) - from);
}
