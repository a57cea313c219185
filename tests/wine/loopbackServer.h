// loopbackServer.h: the Wine tests' stand-in for the ranking server: an HTTP server on 127.0.0.1
// that records what the game posts and answers with fixed bytes, or, silent, never answers.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ReceivedRequest {
    std::string head;  // the request line and the header lines, each ending in CRLF
    std::string body;  // exactly Content-Length bytes
};

class LoopbackServer {
public:
    ~LoopbackServer() {
        shutdown(listener_, SHUT_RDWR);  // wakes the accept below
        if (thread_.joinable()) thread_.join();
        for (int connection : held_) close(connection);
        close(listener_);
    }

    // Listens on 127.0.0.1:port; false (with the reason) when the port cannot be had.
    bool start(unsigned port, std::string replyBody, bool silent, std::string& why) {
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
            return false;
        }
        thread_ = std::thread([this, replyBody, silent] { serve(replyBody, silent); });
        return true;
    }

    std::vector<ReceivedRequest> requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

private:
    void serve(const std::string& replyBody, bool silent) {
        for (int connection; (connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
            const timeval limit{10, 0};
            setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            std::string data;
            char buffer[4096];
            std::size_t headEnd;
            while ((headEnd = data.find("\r\n\r\n")) == std::string::npos || data.size() < headEnd + 4 + contentLength(data)) {
                const ssize_t got = recv(connection, buffer, sizeof buffer, 0);
                if (got <= 0) break;
                data.append(buffer, static_cast<std::size_t>(got));
            }
            if (headEnd != std::string::npos) {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back({data.substr(0, headEnd + 2), data.substr(headEnd + 4)});
            }
            // Silent, it holds the connection open and says nothing, as a server that hangs would.
            if (silent) {
                held_.push_back(connection);
                continue;
            }
            const std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=Shift_JIS\r\nContent-Length: " +
                                      std::to_string(replyBody.size()) + "\r\nConnection: close\r\n\r\n" + replyBody;
            send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
            close(connection);
        }
    }

    static std::size_t contentLength(const std::string& head) {
        const std::size_t at = head.find("\r\nContent-Length:");
        return at == std::string::npos ? 0 : std::strtoul(head.c_str() + at + 17, nullptr, 10);
    }

    int listener_ = -1;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<ReceivedRequest> requests_;
    std::vector<int> held_;
};
