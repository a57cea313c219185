// loopbackServer.cpp: the Wine tests' stand-in for the ranking server.
#include "loopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

enum class ReadResult { data, nothing, closed };

// Reads what arrives within the wait.
ReadResult readSome(int connection, std::string& into, int waitMs) {
    pollfd watch{connection, POLLIN, 0};
    if (poll(&watch, 1, waitMs) <= 0) return ReadResult::nothing;
    char buffer[4096];
    const ssize_t got = recv(connection, buffer, sizeof buffer, 0);
    if (got <= 0) return ReadResult::closed;
    into.append(buffer, static_cast<std::size_t>(got));
    return ReadResult::data;
}

std::size_t contentLength(const std::string& headers) {
    std::string lower = headers;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    const std::size_t at = lower.find("\r\ncontent-length:");
    if (at == std::string::npos) return 0;
    return static_cast<std::size_t>(std::strtoul(lower.c_str() + at + 17, nullptr, 10));
}

}  // namespace

LoopbackServer::~LoopbackServer() { stop(); }

bool LoopbackServer::start(unsigned port, std::string replyBody, bool silent, std::string& why) {
    replyBody_ = std::move(replyBody);
    silent_ = silent;
    // Close-on-exec: the programs the tests start must not inherit the listening socket.
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener_, 4) != 0) {
        why = "127.0.0.1:" + std::to_string(port) + " is taken: " + std::strerror(errno);
        close(listener_);
        listener_ = -1;
        return false;
    }
    thread_ = std::thread([this] { serve(); });
    return true;
}

void LoopbackServer::stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) close(listener_);
    listener_ = -1;
}

std::vector<ReceivedRequest> LoopbackServer::requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void LoopbackServer::serve() {
    while (!stopping_) {
        pollfd watch{listener_, POLLIN, 0};
        if (poll(&watch, 1, 100) <= 0) continue;
        const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        handle(connection);
        close(connection);
    }
}

void LoopbackServer::handle(int connection) {
    std::string data;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::size_t headerEnd;
    while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline || stopping_) return;
        if (readSome(connection, data, 100) == ReadResult::closed) return;
    }
    ReceivedRequest request;
    const std::size_t lineEnd = data.find("\r\n");
    request.requestLine = data.substr(0, lineEnd);
    request.headers = data.substr(lineEnd + 2, headerEnd + 2 - (lineEnd + 2));
    const std::size_t length = contentLength("\r\n" + request.headers);
    while (data.size() < headerEnd + 4 + length) {
        if (std::chrono::steady_clock::now() > deadline || stopping_) break;
        if (readSome(connection, data, 100) == ReadResult::closed) break;
    }
    request.body = data.substr(headerEnd + 4);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
    }
    if (silent_) {
        // Holds the connection open and says nothing, as a server that hangs would.
        while (!stopping_ && readSome(connection, data, 100) != ReadResult::closed) {
        }
        return;
    }
    const std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=Shift_JIS\r\nContent-Length: " +
                              std::to_string(replyBody_.size()) + "\r\nConnection: close\r\n\r\n" + replyBody_;
    send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
}
