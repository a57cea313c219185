// loopbackServer.h: a one-request-at-a-time HTTP server on 127.0.0.1, on its own thread, for the tests.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

// Answers every request with `reply` (raw bytes, status line included), or never answers when
// `silent`; keeps the last request as received. The game's own thread blocks in the exchange, so
// the server cannot live on it.
class LoopbackServer {
public:
    LoopbackServer() = default;
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;
    ~LoopbackServer();

    // Listens on `port` (0: any free one); false when the port cannot be had.
    bool start(unsigned short port, std::string reply, bool silent = false);
    void stop();
    unsigned short port() const { return boundPort; }
    // The last request's bytes, head and body, and how many requests came.
    std::string lastRequest();
    int requestCount();

private:
    void serve();
    void handle(int connection);

    int listener = -1;
    unsigned short boundPort = 0;
    std::string replyBytes;
    bool neverAnswer = false;
    std::atomic<bool> stopping{false};
    std::thread worker;
    std::mutex lock;
    std::string request;
    int requests = 0;
};

// The parts of a received request.
struct ParsedRequest {
    std::string method;
    std::string path;
    std::string headers;  // every header line, each ending in "\r\n"
    std::string body;
};
ParsedRequest parseRequest(const std::string& bytes);
// The value of header `name` (case-insensitive), or "" when absent; `count` gets how many there were.
std::string headerValue(const ParsedRequest& request, const std::string& name, int* count = nullptr);
