// main.cpp: the ranking program, run by the web server as a CGI program or as a FastCGI responder.
//
// The same binary serves both ways: when the web server starts it with a listening socket on
// standard input (FastCGI) it answers requests in a loop over one database connection; otherwise
// it answers the one CGI request described by its environment and exits. With
// "--error-pages PREFIX" it writes the web server's error documents (PREFIX + "413.html" ...).
#include "text/cp932.h"
#include "handler.h"
#include "texts.h"

#include <fcgiapp.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Request threads of one FastCGI process: enough for the web server's concurrent requests to the
// ranking to gather into batches while one is being written.
constexpr unsigned requestThreads = 8;

const char* processEnvironment(const char* name) { return std::getenv(name); }

// Reads the request body, never more than `limit` + 1 bytes: a larger one is refused unread.
// `read` returns the count read (0 at the end of the body).
template <typename Read>
BodyState readBody(const char* contentLength, std::uint64_t limit, Read read, std::string& body) {
    body.clear();
    std::uint64_t wanted = limit + 1;
    bool known = contentLength != nullptr && *contentLength != '\0';
    if (known) {
        char* end = nullptr;
        unsigned long long length = std::strtoull(contentLength, &end, 10);
        if (*end != '\0' || contentLength[0] == '-') return BodyState::incomplete;
        if (length > limit) return BodyState::tooLarge;
        wanted = length;
    }
    // Without a length (a gateway that streams a chunked body) read to the end, within the limit.
    char buffer[4096];
    while (body.size() < wanted) {
        int got = read(buffer, static_cast<int>(std::min<std::uint64_t>(wanted - body.size(), sizeof buffer)));
        if (got <= 0) break;
        body.append(buffer, static_cast<std::size_t>(got));
    }
    if (body.size() > limit) return BodyState::tooLarge;
    if (known && body.size() < wanted) return BodyState::incomplete;
    return BodyState::complete;
}

std::string text(const char* value) { return value != nullptr ? value : ""; }

// The request as the gateway describes it, in CGI's names; `param` gives "" for a missing one.
template <typename Param>
RequestInfo requestInfo(Param param) {
    return {param("REQUEST_METHOD"), param("QUERY_STRING"), param("REMOTE_ADDR"),       param("SCRIPT_NAME"),
            param("HTTP_HOST"),      param("HTTP_ORIGIN"),  param("HTTP_SEC_FETCH_SITE"), param("PATH_INFO"),
            param("HTTP_IF_NONE_MATCH")};
}

// One line per failure in the web server's error log: a CGI program's standard error, or a
// FastCGI request's error stream (lighttpd gives the processes it spawns no standard error).
void logFailure(const Response& response, FCGX_Stream* fastCgiErrors = nullptr) {
    if (response.logLine.empty()) return;
    std::string line = response.logLine + "\n";
    if (fastCgiErrors != nullptr) {
        FCGX_PutStr(line.data(), static_cast<int>(line.size()), fastCgiErrors);
        return;
    }
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

// The web server answers some requests itself (a body too large, a length missing, the ranking
// program down). For the game's address those answers are these short code page 932 texts, which
// the game shows like the program's own, instead of the web server's XHTML pages.
int writeErrorPages(const std::string& prefix) {
    for (std::size_t i = 0; i < webServerStatusTextCount; ++i) {
        const StatusText& entry = webServerStatusTexts[i];
        std::string path = prefix + std::to_string(entry.status) + ".html";
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << cp932::encode(std::string(entry.text) + "\n");
        if (!out.flush()) {
            std::fprintf(stderr, "pilaro-ranking: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}

int runCgi(const ServerConfig& config) {
    auto param = [](const char* name) { return text(std::getenv(name)); };
    RequestInfo request = requestInfo(param);
    if (request.method.empty()) {
        std::fputs(
            "pilaro-ranking: run me from a web server (CGI or FastCGI); "
            "pilaro-ranking-admin looks after the database\n",
            stderr);
        return 2;
    }
    std::string body;
    BodyState state = BodyState::complete;
    if (request.method == "POST") {
        state = readBody(
            std::getenv("CONTENT_LENGTH"), bodyLimit(request),
            [](char* into, int size) {
                ssize_t got;
                do got = ::read(0, into, static_cast<std::size_t>(size));
                while (got < 0 && errno == EINTR);
                return static_cast<int>(got);
            },
            body);
    }
    SharedStore store;
    Response response = handleRequest(store, config, request, state, body, std::time(nullptr));
    logFailure(response);
    std::string out = responseHead(response);
    if (request.method != "HEAD") out += response.body;
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    return 0;
}

// Answers requests on one thread until the web server closes the socket.
void serveFastCgi(const ServerConfig& processConfig, SharedStore& store) {
    FCGX_Request fcgi;
    if (FCGX_InitRequest(&fcgi, 0, 0) != 0) return;
    for (;;) {
        // Every idle thread waits in accept at once, and the kernel hands each connection to one
        // of them. Taking turns under a mutex instead cost each request a second thread's wake-up
        // (the next in line, to start waiting in accept), as much as a request's hand-over to the
        // store's writer.
        if (FCGX_Accept_r(&fcgi) < 0) break;
        auto param = [&fcgi](const char* name) { return text(FCGX_GetParam(name, fcgi.envp)); };
        // The web server's settings for the process win; a front end that passes them as request
        // parameters instead (nginx's fastcgi_param) works as well.
        ServerConfig config = processConfig;
        if (config.databasePath.empty()) {
            config.databasePath = param("PILARO_RANKING_DB");
            if (config.problem.empty()) config.problem = storeLocationProblem(config.databasePath);
        }
        RequestInfo request = requestInfo(param);
        std::string body;
        BodyState state = BodyState::complete;
        if (request.method == "POST") {
            state = readBody(
                FCGX_GetParam("CONTENT_LENGTH", fcgi.envp), bodyLimit(request),
                [&fcgi](char* into, int size) { return FCGX_GetStr(into, size, fcgi.in); }, body);
        }
        Response response = handleRequest(store, config, request, state, body, std::time(nullptr));
        logFailure(response, fcgi.err);
        std::string out = responseHead(response);
        if (request.method != "HEAD") out += response.body;
        FCGX_PutStr(out.data(), static_cast<int>(out.size()), fcgi.out);
        FCGX_Finish_r(&fcgi);
    }
    FCGX_Free(&fcgi, 1);
}

// Several requests at once in one process: their submissions go into the store together, in one
// transaction with one flush (see SharedStore), so one process with threads writes faster than
// several processes taking turns at an SQLite file's lock or each flushing alone.
int runFastCgi(const ServerConfig& config) {
    const unsigned threads = requestThreads;
    SharedStore store;
    std::vector<std::thread> others;
    try {
        for (unsigned i = 1; i < threads; ++i)
            others.emplace_back(serveFastCgi, std::cref(config), std::ref(store));
    } catch (const std::system_error&) {
        // A host that refuses more threads still gets its requests answered, by fewer of them.
    }
    serveFastCgi(config, store);
    for (std::thread& thread : others) thread.join();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--error-pages") return writeErrorPages(argv[2]);
    // A full disk under a file size limit must fail the write (and so the submission), not kill
    // the process; a client that hung up must not kill it either.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    if (FCGX_Init() != 0) return 1;
    ServerConfig config = configFromEnvironment(processEnvironment);
    if (FCGX_IsCGI()) return runCgi(config);  // a CGI run says it in its 503 line
    // A setting that cannot be used is said at once, and again in the 503 line of every request:
    // the process keeps running, so that the web server does not start it again and again.
    if (!config.problem.empty()) std::fprintf(stderr, "pilaro-ranking: %s\n", config.problem.c_str());
    return runFastCgi(config);
}
