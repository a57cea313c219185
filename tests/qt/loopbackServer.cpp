// loopbackServer.cpp: the tests' small HTTP server on 127.0.0.1.
#include "loopbackServer.h"

#include <cctype>
#include <chrono>
#include <cstdlib>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

LoopbackServer::~LoopbackServer() { stop(); }

bool LoopbackServer::start(unsigned short port, std::string reply, bool silent)
{
    replyBytes = std::move(reply);
    neverAnswer = silent;
    listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listener < 0) return false;
    int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 4) != 0) {
        ::close(listener);
        listener = -1;
        return false;
    }
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    boundPort = ntohs(address.sin_port);
    stopping = false;
    worker = std::thread([this] { serve(); });
    return true;
}

void LoopbackServer::stop()
{
    stopping = true;
    if (worker.joinable()) worker.join();
    if (listener >= 0) ::close(listener);
    listener = -1;
}

std::string LoopbackServer::lastRequest()
{
    std::lock_guard<std::mutex> guard(lock);
    return request;
}

int LoopbackServer::requestCount()
{
    std::lock_guard<std::mutex> guard(lock);
    return requests;
}

void LoopbackServer::serve()
{
    while (!stopping) {
        pollfd waiting{listener, POLLIN, 0};
        if (::poll(&waiting, 1, 50) <= 0) continue;
        int connection = ::accept(listener, nullptr, nullptr);
        if (connection < 0) continue;
        handle(connection);
        ::close(connection);
    }
}

void LoopbackServer::handle(int connection)
{
    // Reads the head, then as many body bytes as Content-Length announces, for at most 5 s.
    std::string bytes;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::size_t wanted = std::string::npos;
    while (!stopping && std::chrono::steady_clock::now() < deadline) {
        std::size_t headEnd = bytes.find("\r\n\r\n");
        if (headEnd != std::string::npos && wanted == std::string::npos) {
            ParsedRequest head = parseRequest(bytes);
            std::string length = headerValue(head, "Content-Length");
            wanted = headEnd + 4 + (length.empty() ? 0 : std::strtoul(length.c_str(), nullptr, 10));
        }
        if (wanted != std::string::npos && bytes.size() >= wanted) break;
        // Not HTTP at all (a TLS handshake, say): answer at once rather than wait for a head.
        if (!bytes.empty() && (bytes[0] < 'A' || bytes[0] > 'Z')) break;
        pollfd waiting{connection, POLLIN, 0};
        if (::poll(&waiting, 1, 50) <= 0) continue;
        char buffer[4096];
        ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        request = bytes;
        ++requests;
    }
    if (neverAnswer) {
        // Holds the connection open and says nothing until the test ends.
        while (!stopping) ::poll(nullptr, 0, 50);
        return;
    }
    std::size_t sent = 0;
    while (sent < replyBytes.size()) {
        ssize_t put = ::send(connection, replyBytes.data() + sent, replyBytes.size() - sent, MSG_NOSIGNAL);
        if (put <= 0) break;
        sent += static_cast<std::size_t>(put);
    }
    ::shutdown(connection, SHUT_WR);
}

ParsedRequest parseRequest(const std::string& bytes)
{
    ParsedRequest parsed;
    std::size_t lineEnd = bytes.find("\r\n");
    std::size_t headEnd = bytes.find("\r\n\r\n");
    if (lineEnd == std::string::npos || headEnd == std::string::npos) return parsed;
    std::string requestLine = bytes.substr(0, lineEnd);
    std::size_t firstSpace = requestLine.find(' ');
    std::size_t secondSpace = requestLine.find(' ', firstSpace + 1);
    parsed.method = requestLine.substr(0, firstSpace);
    parsed.path = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    parsed.headers = bytes.substr(lineEnd + 2, headEnd + 2 - (lineEnd + 2));
    parsed.body = bytes.substr(headEnd + 4);
    return parsed;
}

std::string headerValue(const ParsedRequest& request, const std::string& name, int* count)
{
    auto lower = [](std::string text) {
        for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        return text;
    };
    std::string value;
    int found = 0;
    std::size_t at = 0;
    while (at < request.headers.size()) {
        std::size_t end = request.headers.find("\r\n", at);
        std::string line = request.headers.substr(at, end - at);
        std::size_t colon = line.find(':');
        if (colon != std::string::npos && lower(line.substr(0, colon)) == lower(name)) {
            ++found;
            std::size_t start = line.find_first_not_of(' ', colon + 1);
            value = start == std::string::npos ? "" : line.substr(start);
        }
        at = end + 2;
    }
    if (count != nullptr) *count = found;
    return value;
}
