// loopbackServer.h: a one-connection-at-a-time HTTP server on 127.0.0.1 that records what the
// game posts and answers with fixed bytes, or, when told to, never answers at all.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ReceivedRequest {
    std::string requestLine;  // "POST /whiteRanking.cgi HTTP/1.1"
    std::string headers;      // the header lines as sent, each ending in CRLF
    std::string body;         // exactly Content-Length bytes
};

class LoopbackServer {
public:
    ~LoopbackServer();
    // Listens on 127.0.0.1:port; false (with the reason) when the port cannot be had.
    bool start(unsigned port, std::string replyBody, bool silent, std::string& why);
    void stop();
    std::vector<ReceivedRequest> requests();

private:
    void serve();
    void handle(int connection);

    int listener_ = -1;
    std::string replyBody_;
    bool silent_ = false;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<ReceivedRequest> requests_;
};
