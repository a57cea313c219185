// loopbackServer.cpp: the tests' HTTP server on 127.0.0.1.
#include "loopbackServer.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

void LoopbackServer::serve(int connection, const std::string& rankingReply, ReplyMode replyMode,
                           const std::string& replayReply) {
    // The head, then as many body bytes as its Content-Length (spelt as every client here spells
    // it) announces; a client that stalls is given up on after 10 s.
    const timeval limit{10, 0};
    ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::string bytes;
    char buffer[4096];
    std::size_t headEnd = std::string::npos;
    const auto complete = [&] {
        const std::size_t length = bytes.find("\r\nContent-Length:");
        headEnd = bytes.find("\r\n\r\n");
        return headEnd != std::string::npos &&
               bytes.size() >= headEnd + 4 + (length < headEnd ? std::atoi(&bytes[length + 17]) : 0);
    };
    for (ssize_t got; !complete() && (got = ::recv(connection, buffer, sizeof buffer, 0)) > 0;)
        bytes.append(buffer, static_cast<std::size_t>(got));
    headEnd = std::min(headEnd, bytes.size());
    {
        std::lock_guard<std::mutex> guard(lock);
        received.push_back({bytes.substr(0, headEnd + 2), bytes.substr(std::min(headEnd + 4, bytes.size()))});
    }
    const bool toReplayPath = bytes.find(std::string(" ") + replayPath + " ") < bytes.find("\r\n");
    const std::string& replyBytes = toReplayPath && !replayReply.empty() ? replayReply : rankingReply;
    const std::size_t step = replyMode == ReplyMode::trickle ? 1 : replyBytes.size();
    for (std::size_t sent = 0; sent < replyBytes.size() && !stopping &&
                               ::send(connection, replyBytes.data() + sent, std::min(step, replyBytes.size() - sent),
                                      MSG_NOSIGNAL) > 0;
         sent += step)
        if (step == 1) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ::close(connection);
}

std::string LoopbackServer::start(std::string reply, ReplyMode mode, std::string replayReply) {
    stop();
    // Close-on-exec: the programs the tests start must not inherit the listening socket.
    listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Port 0: any free port, so tests running side by side never collide.
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    auto* named = reinterpret_cast<sockaddr*>(&address);
    if (listener < 0 || ::bind(listener, named, length) != 0 || ::listen(listener, 8) != 0 ||
        ::getsockname(listener, named, &length) != 0)
        return std::string("cannot listen on 127.0.0.1: ") + std::strerror(errno);  // stop() closes it
    port = ntohs(address.sin_port);
    stopping = false;
    worker = std::thread([this, rankingReply = std::move(reply), replyMode = mode, replayReply = std::move(replayReply)] {
        // accept fails once stop() has shut the listener down. Each connection is served on a
        // thread of its own, as a real server would: a client that gave up on a slow reply and
        // left its connection open must not hold back its next request.
        for (int connection; (connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
            std::lock_guard<std::mutex> guard(lock);
            serving.emplace_back([=, this] { serve(connection, rankingReply, replyMode, replayReply); });
        }
    });
    return "";
}

void LoopbackServer::stop() {
    stopping = true;
    if (listener >= 0) ::shutdown(listener, SHUT_RDWR);  // wakes the accept
    if (worker.joinable()) worker.join();
    for (std::thread& connection : serving) connection.join();
    serving.clear();
    if (listener >= 0) ::close(listener);
    listener = -1;
}
