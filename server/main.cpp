// main.cpp: the ranking program, run by the web server as a CGI program or as a FastCGI responder.
//
// The same binary serves both ways: when the web server starts it with a listening socket on
// standard input (FastCGI) it answers requests in a loop over one database connection; otherwise
// it answers the one CGI request described by its environment and exits.
#include "handler.h"

#include <fcgiapp.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <unistd.h>

namespace {

const char* processEnvironment(const char* name) { return std::getenv(name); }

// Reads the request body, never more than maxBodyBytes + 1: a larger one is refused unread.
// `read` returns the count read (0 at the end of the body).
template <typename Read>
BodyState readBody(const char* contentLength, Read read, std::string& body) {
    body.clear();
    std::uint64_t wanted = maxBodyBytes + 1;
    bool known = contentLength != nullptr && *contentLength != '\0';
    if (known) {
        char* end = nullptr;
        unsigned long long length = std::strtoull(contentLength, &end, 10);
        if (*end != '\0' || contentLength[0] == '-') return BodyState::incomplete;
        if (length > maxBodyBytes) return BodyState::tooLarge;
        wanted = length;
    }
    // Without a length (a gateway that streams a chunked body) read to the end, within the limit.
    char buffer[maxBodyBytes + 1];
    while (body.size() < wanted) {
        int got = read(buffer, static_cast<int>(wanted - body.size()));
        if (got <= 0) break;
        body.append(buffer, static_cast<std::size_t>(got));
    }
    if (body.size() > maxBodyBytes) return BodyState::tooLarge;
    if (known && body.size() < wanted) return BodyState::incomplete;
    return BodyState::complete;
}

std::string text(const char* value) { return value != nullptr ? value : ""; }

int runCgi(const ServerConfig& config) {
    RequestInfo request{text(std::getenv("REQUEST_METHOD")), text(std::getenv("QUERY_STRING")),
                        text(std::getenv("REMOTE_ADDR")), text(std::getenv("SCRIPT_NAME"))};
    if (request.method.empty()) {
        std::fputs("pilaro-ranking: run me from a web server (CGI or FastCGI); "
                   "pilaro-ranking-admin looks after the database\n",
                   stderr);
        return 2;
    }
    std::string body;
    BodyState state = BodyState::complete;
    if (request.method == "POST") {
        state = readBody(std::getenv("CONTENT_LENGTH"), [](char* into, int size) {
            ssize_t got;
            do got = ::read(0, into, static_cast<std::size_t>(size));
            while (got < 0 && errno == EINTR);
            return static_cast<int>(got);
        }, body);
    }
    RankingDb ranking;
    Response response = handleRequest(ranking, config, request, state, body, std::time(nullptr));
    closeRanking(ranking);
    std::string out = responseHead(response);
    if (request.method != "HEAD") out += response.body;
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    return 0;
}

int runFastCgi(const ServerConfig& processConfig) {
    FCGX_Request fcgi;
    if (FCGX_InitRequest(&fcgi, 0, 0) != 0) return 1;
    RankingDb ranking;
    while (FCGX_Accept_r(&fcgi) >= 0) {
        auto param = [&fcgi](const char* name) { return text(FCGX_GetParam(name, fcgi.envp)); };
        // The web server's settings for the process win; a front end that passes them as request
        // parameters instead (nginx's fastcgi_param) works as well.
        ServerConfig config = processConfig;
        if (config.databasePath.empty()) config.databasePath = param("PILARO_RANKING_DB");
        RequestInfo request{param("REQUEST_METHOD"), param("QUERY_STRING"), param("REMOTE_ADDR"), param("SCRIPT_NAME")};
        std::string body;
        BodyState state = BodyState::complete;
        if (request.method == "POST") {
            state = readBody(FCGX_GetParam("CONTENT_LENGTH", fcgi.envp),
                             [&fcgi](char* into, int size) { return FCGX_GetStr(into, size, fcgi.in); }, body);
        }
        Response response = handleRequest(ranking, config, request, state, body, std::time(nullptr));
        std::string out = responseHead(response);
        if (request.method != "HEAD") out += response.body;
        FCGX_PutStr(out.data(), static_cast<int>(out.size()), fcgi.out);
        FCGX_Finish_r(&fcgi);
    }
    closeRanking(ranking);
    return 0;
}

}  // namespace

int main() {
    // A full disk under a file size limit must fail the write (and so the submission), not kill
    // the process; a client that hung up must not kill it either.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    if (FCGX_Init() != 0) return 1;
    ServerConfig config = configFromEnvironment(processEnvironment);
    return FCGX_IsCGI() ? runCgi(config) : runFastCgi(config);
}
