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
    ~LoopbackServer() { stop(); }
    // Listens on `port` (0: any free one); false when the port cannot be had.
    bool start(unsigned short port, std::string reply, bool silent = false);
    void stop();
    unsigned short port() const { return boundPort; }
    std::string lastRequest();

private:
    int listener = -1;
    unsigned short boundPort = 0;
    std::atomic<bool> stopping{false};
    std::thread worker;
    std::mutex lock;
    std::string request;
};

// Every value of header `name` (case-insensitive) in a request, joined by ", "; "" when absent.
std::string headerValues(const std::string& request, const std::string& name);
// Checks that `request` is the form POST of exactly `body` to /whiteRanking.cgi, header for header.
void expectFormPost(const std::string& request, const std::string& body);
