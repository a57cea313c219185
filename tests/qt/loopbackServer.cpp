// loopbackServer.cpp: the tests' small HTTP server on 127.0.0.1.
#include "loopbackServer.h"

#include <cstdlib>
#include <strings.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

// The head and as many body bytes as Content-Length announces are in, or it is not HTTP at all
// (a TLS handshake, say) and is answered at once.
bool whole(const std::string& bytes)
{
    if (!bytes.empty() && (bytes[0] < 'A' || bytes[0] > 'Z')) return true;
    const std::size_t headEnd = bytes.find("\r\n\r\n");
    return headEnd != std::string::npos &&
           bytes.size() >= headEnd + 4 + std::strtoul(headerValues(bytes, "Content-Length").c_str(), nullptr, 10);
}

}  // namespace

bool LoopbackServer::start(unsigned short port, std::string reply, bool silent)
{
    listener = ::socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(listener, 4) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        stop();
        return false;
    }
    boundPort = ntohs(address.sin_port);
    stopping = false;
    worker = std::thread([this, reply = std::move(reply), silent] {
        // accept fails once stop() has shut the listener down.
        for (int connection; (connection = ::accept(listener, nullptr, nullptr)) >= 0; ::close(connection)) {
            const timeval limit{1, 0};  // every wait on the client is bounded, so stop() is too
            ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            std::string bytes;
            char buffer[4096];
            for (int waits = 0; !whole(bytes) && waits < 5 && !stopping;) {
                const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
                if (got == 0) break;
                if (got < 0) ++waits;
                else bytes.append(buffer, static_cast<std::size_t>(got));
            }
            {
                std::lock_guard<std::mutex> guard(lock);
                request = bytes;
            }
            // Silent: says nothing until the client gives up or the test ends.
            while (silent && !stopping && ::recv(connection, buffer, sizeof buffer, 0) != 0) {}
            for (std::size_t sent = 0; !silent && sent < reply.size();) {
                const ssize_t put = ::send(connection, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
                if (put <= 0) break;
                sent += static_cast<std::size_t>(put);
            }
            ::shutdown(connection, SHUT_WR);
        }
    });
    return true;
}

void LoopbackServer::stop()
{
    stopping = true;
    if (listener >= 0) ::shutdown(listener, SHUT_RDWR);
    if (worker.joinable()) worker.join();
    if (listener >= 0) ::close(listener);
    listener = -1;
}

std::string LoopbackServer::lastRequest()
{
    std::lock_guard<std::mutex> guard(lock);
    return request;
}

std::string headerValues(const std::string& request, const std::string& name)
{
    std::string values;
    const std::size_t headEnd = request.find("\r\n\r\n");
    if (headEnd == std::string::npos) return values;
    for (std::size_t at = request.find("\r\n") + 2; at < headEnd;) {
        const std::size_t end = request.find("\r\n", at);
        const std::string line = request.substr(at, end - at);
        if (line.size() > name.size() && line[name.size()] == ':' &&
            ::strncasecmp(line.c_str(), name.c_str(), name.size()) == 0) {
            const std::size_t start = line.find_first_not_of(' ', name.size() + 1);
            values += (values.empty() ? "" : ", ") + (start == std::string::npos ? "" : line.substr(start));
        }
        at = end + 2;
    }
    return values;
}

void expectFormPost(const std::string& request, const std::string& body)
{
    const std::size_t headEnd = request.find("\r\n\r\n");
    ASSERT_NE(headEnd, std::string::npos) << request;
    EXPECT_EQ(request.substr(0, request.find(" HTTP/1.")), "POST /whiteRanking.cgi");
    EXPECT_EQ(headerValues(request, "Content-Type"), "application/x-www-form-urlencoded");  // and only once
    EXPECT_EQ(headerValues(request, "Content-Length"), std::to_string(body.size()));
    // Fault guarded against: with "Expect: 100-continue" curl waits for a go-ahead before the body.
    EXPECT_EQ(headerValues(request, "Expect"), "");
    EXPECT_EQ(request.substr(headEnd + 4), body);
}
