// loopbackServer.cpp: the tests' HTTP server on 127.0.0.1.
#include "loopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// How many body bytes the head announces, spelt as every client of these tests spells it.
std::size_t contentLength(const std::string& head) {
    const std::size_t at = head.find("\r\nContent-Length:");
    return at == std::string::npos ? 0 : std::strtoul(head.c_str() + at + 17, nullptr, 10);
}

}  // namespace

bool LoopbackServer::start(std::string reply, ReplyMode mode, std::string* why) {
    stop();
    replyBytes = std::move(reply);
    replyMode = mode;
    // Close-on-exec: the programs the tests start must not inherit the listening socket.
    listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0;  // any free port: tests running side by side never collide
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener, 8) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (why != nullptr) *why = std::string("cannot listen on 127.0.0.1: ") + std::strerror(errno);
        stop();
        return false;
    }
    boundPort = ntohs(address.sin_port);
    stopping = false;
    worker = std::thread([this] {
        // accept fails once stop() has shut the listener down.
        for (int connection; (connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;)
            serve(connection);
    });
    return true;
}

void LoopbackServer::serve(int connection) {
    std::string bytes;
    char buffer[4096];
    std::size_t headEnd = std::string::npos;
    // Every wait on the client is bounded (10 s), and stop() cuts it short.
    for (int waited = 0; !stopping && waited < 10000;) {
        headEnd = bytes.find("\r\n\r\n");
        if (headEnd != std::string::npos && bytes.size() >= headEnd + 4 + contentLength(bytes.substr(0, headEnd + 2)))
            break;
        pollfd wanted{connection, POLLIN, 0};
        if (::poll(&wanted, 1, 100) <= 0) {
            waited += 100;
            continue;
        }
        const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        if (headEnd == std::string::npos) headEnd = bytes.size();
        received.push_back({bytes.substr(0, headEnd + 2), bytes.size() > headEnd + 4 ? bytes.substr(headEnd + 4) : ""});
    }
    if (replyMode == ReplyMode::silent) {
        held.push_back(connection);
        return;
    }
    const std::size_t step = replyMode == ReplyMode::trickle ? 1 : replyBytes.size();
    for (std::size_t sent = 0; sent < replyBytes.size() && !stopping;) {
        if (sent > 0) std::this_thread::sleep_for(trickleDelay);
        const ssize_t put =
            ::send(connection, replyBytes.data() + sent, std::min(step, replyBytes.size() - sent), MSG_NOSIGNAL);
        if (put <= 0) break;
        sent += static_cast<std::size_t>(put);
    }
    ::close(connection);
}

void LoopbackServer::stop() {
    stopping = true;
    if (listener >= 0) ::shutdown(listener, SHUT_RDWR);  // wakes the accept
    if (worker.joinable()) worker.join();
    for (int connection : held) ::close(connection);
    held.clear();
    if (listener >= 0) ::close(listener);
    listener = -1;
}

std::string LoopbackServer::rankingUrl() const {
    return "http://127.0.0.1:" + std::to_string(boundPort) + "/whiteRanking.cgi";
}

std::vector<ReceivedRequest> LoopbackServer::requests() {
    std::lock_guard<std::mutex> guard(lock);
    return received;
}

std::string httpReply(const std::string& body, const std::string& status, const std::string& extraHeaders) {
    return "HTTP/1.1 " + status + "\r\n" + extraHeaders + "Content-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}
