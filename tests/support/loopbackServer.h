// loopbackServer.h: the tests' stand-in for the ranking server: an HTTP server on 127.0.0.1, on a
// port the system picks, that records every request and answers with fixed bytes, at once or slowly.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "scores/rankingFacts.h"

// `head`: the request line and the header lines, each ending in CRLF; `body`: the bytes after the
// blank line, as many as Content-Length announced.
struct ReceivedRequest {
    std::string head, body;
};

// How the server replies: `answer`, the reply bytes at once, then the connection is closed;
// `trickle`, the reply bytes one at a time, 100 ms apart, as a server that hangs but never stalls.
enum class ReplyMode { answer, trickle };

// The programs under test block while they post, so it serves on a thread of its own.
struct LoopbackServer {
    ~LoopbackServer() { stop(); }
    // Listens on a port the system picks; "" when it does, else why it cannot. A request to the
    // replay path gets `replayReply` instead, when there is one.
    std::string start(std::string reply, ReplyMode mode = ReplyMode::answer, std::string replayReply = "");
    void stop();
    // For PILARO_RANKING_URL: the game then sends its ranking here.
    std::string rankingUrl() const { return "http://127.0.0.1:" + std::to_string(port) + rankingPath; }
    std::vector<ReceivedRequest> requests() {
        std::lock_guard<std::mutex> guard(lock);
        return received;
    }

    unsigned short port = 0;
    int listener = -1;
    std::atomic<bool> stopping{false};
    void serve(int connection, const std::string& rankingReply, ReplyMode mode, const std::string& replayReply);
    std::thread worker;
    std::vector<std::thread> serving;  // a thread a connection
    std::mutex lock;  // guards `received` and `serving`
    std::vector<ReceivedRequest> received;
};

// A whole HTTP/1.1 reply: the status line, `extraHeaders` (lines ending in CRLF), Content-Length,
// "Connection: close", then `body`.
inline std::string httpReply(const std::string& body, const std::string& status = "200 OK",
                             const std::string& extraHeaders = "") {
    return "HTTP/1.1 " + status + "\r\n" + extraHeaders + "Content-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}
