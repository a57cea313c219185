// loopbackServer.h: the tests' stand-in for the ranking server: an HTTP server on 127.0.0.1, on a
// port the system picks, that records every request and answers with fixed bytes, slowly, or not at all.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ReceivedRequest {
    std::string head;  // the request line and the header lines, each ending in CRLF
    std::string body;  // the bytes after the blank line, as many as Content-Length announced
};

enum class ReplyMode {
    answer,   // the reply bytes at once, then the connection is closed
    silent,   // nothing: the connection is held open until the server stops, as a hung server would
    trickle,  // the reply bytes one at a time, `trickleDelay` apart
};

// The programs under test block while they post, so it serves on a thread of its own.
class LoopbackServer {
public:
    ~LoopbackServer() { stop(); }
    // Listens on a port the system picks; false, with the reason in `why`, when it cannot.
    bool start(std::string reply, ReplyMode mode = ReplyMode::answer, std::string* why = nullptr);
    void stop();
    unsigned short port() const { return boundPort; }
    // For PILARO_RANKING_URL: the game then sends its ranking here.
    std::string rankingUrl() const;
    std::vector<ReceivedRequest> requests();
    std::chrono::milliseconds trickleDelay{100};

private:
    void serve(int connection);
    int listener = -1;
    unsigned short boundPort = 0;
    std::string replyBytes;
    ReplyMode replyMode = ReplyMode::answer;
    std::atomic<bool> stopping{false};
    std::thread worker;
    std::mutex lock;  // guards `received`
    std::vector<ReceivedRequest> received;
    std::vector<int> held;  // silent mode's open connections
};

// A whole HTTP/1.1 reply: the status line, `extraHeaders` (lines ending in CRLF), Content-Length,
// "Connection: close", then `body`.
std::string httpReply(const std::string& body, const std::string& status = "200 OK",
                      const std::string& extraHeaders = "");
