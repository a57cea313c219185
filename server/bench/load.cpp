// load.cpp: pilaro-ranking-load, a small HTTP load generator for the ranking benchmark. It posts
// game-style submissions to 127.0.0.1 over keep-alive connections and prints counts and latencies.
// With --fill it instead writes names straight into a store, for a ranking of a given size; with
// --get it fetches a path, to compare with the web server's own speed. With --replays each
// submission goes after its game's replay, as the games send them (a submission counts when both
// were taken); with --verify it only times the server's verification of replays, on this thread.
#include "fill.h"
#include "games.h"
#include "replayCheck.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Worker {
    int index = 0;
    std::vector<double> latenciesMs;
    long ok = 0;
    long refused = 0;
    long failed = 0;
};

int connectTo(unsigned port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // loopback only, on purpose
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    timeval timeout{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Sends one request on `fd` and reads its response; returns the status, or 0 when the connection
// failed (the caller reconnects). `closing` is set when the server announced that it closes the
// connection after this response (lighttpd does so after a number of requests on one connection).
int exchange(int fd, const std::string& request, std::string& pending, bool& closing) {
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) return 0;
    char buffer[4096];
    std::size_t headerEnd;
    while ((headerEnd = pending.find("\r\n\r\n")) == std::string::npos) {
        ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) return 0;
        pending.append(buffer, static_cast<std::size_t>(got));
    }
    int status = std::atoi(pending.c_str() + 9);
    std::size_t length = 0;
    std::size_t at = pending.find("\r\nContent-Length:");
    if (at == std::string::npos || at > headerEnd) return 0;
    length = std::strtoul(pending.c_str() + at + 17, nullptr, 10);
    std::size_t total = headerEnd + 4 + length;
    while (pending.size() < total) {
        ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) return 0;
        pending.append(buffer, static_cast<std::size_t>(got));
    }
    std::size_t close = pending.find("\r\nConnection: close");
    closing = close != std::string::npos && close < headerEnd;
    pending.erase(0, total);
    return status;
}

// The score of the n-th submission: where it lands in a ranking filled with `names` names
// (scores 1000, 1002, ... 998 + 2 * names), or in the run's own ranking when it started empty.
long scoreFor(const std::string& position, long n, long names) {
    if (position == "top") return 1001 + 2 * names + n;                      // above everyone so far
    if (position == "bottom") return 999 - n % 1000;                         // below everyone so far
    return 1001 + names + 2 * ((n * 7919) % 1000) - (names > 0 ? 1000 : 0);  // about halfway down
}

int fill(const std::string& location, long names) {
    std::string error;
    if (fillForBenchmark(location, static_cast<std::uint32_t>(names), std::time(nullptr), error)) return 0;
    std::fprintf(stderr, "pilaro-ranking-load: cannot fill %s: %s\n", location.c_str(), error.c_str());
    return 1;
}

// A game to each submission (a recording verifies one name's entry only): `count` of them, made
// before the clock starts.
struct Game {
    std::uint32_t score = 0;
    std::string recording;
};
std::vector<Game> games(long count) {
    std::vector<Game> out(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < out.size(); ++i) out[i].recording = playedGame(static_cast<std::uint32_t>(i + 1), out[i].score);
    return out;
}

// The rules' verification of the recordings (checkReplay, as the replay path runs it): the fastest
// of several rounds, as replayed ticks per second, and what a 30-minute game takes at that speed.
int verify() {
    std::vector<Game> played = games(200);
    std::vector<std::string> bodies;
    for (const Game& game : played) bodies.push_back(replayBody("V", game.score, game.recording));
    double best = 1e300;
    std::uint64_t ticks = 0;
    for (int round = 0; round < 7; ++round) {
        ticks = 0;
        Clock::time_point start = Clock::now();
        for (const std::string& body : bodies) {
            ReplayClaim claim;
            if (checkReplay(body, claim) != ReplayVerdict::accepted) return 1;
            ticks += claim.ticks;
        }
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    const double halfHourTicks = 30 * 60 * 1000.0 / 33 * 2;  // two ticks every 33 ms
    std::printf("ticks %llu\nseconds %.6f\nhalf_hour_ms %.3f\n", static_cast<unsigned long long>(ticks), best,
                halfHourTicks / (static_cast<double>(ticks) / best) * 1000);
    return 0;
}

std::string post(const char* path, const std::string& body) {
    return std::string("POST ") + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned port = 8631;
    long requests = 5000;
    int connections = 4;
    double seconds = 20;
    long names = 0;
    std::string position = "middle", prefix = "L", get, fillStore;
    long replays = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--port")
            port = static_cast<unsigned>(std::atoi(argv[i + 1]));
        else if (option == "--requests")
            requests = std::atol(argv[i + 1]);
        else if (option == "--connections")
            connections = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--seconds")
            seconds = std::atof(argv[i + 1]);
        else if (option == "--names")
            names = std::atol(argv[i + 1]);
        else if (option == "--position")
            position = argv[i + 1];
        else if (option == "--prefix")
            prefix = std::string(argv[i + 1]).substr(0, 1);
        else if (option == "--get")
            get = argv[i + 1];
        else if (option == "--fill")
            fillStore = argv[i + 1];
        else if (option == "--replays")
            replays = std::atol(argv[i + 1]);
        else if (option == "--verify")
            return verify();
        else {
            std::fprintf(stderr,
                         "usage: pilaro-ranking-load [--port P] [--requests N] [--connections C] [--seconds S]\n"
                         "         [--names N] [--position top|middle|bottom] [--prefix LETTER] [--get PATH]\n"
                         "         [--replays GAMES]\n"
                         "       pilaro-ranking-load --fill STORE --names N\n"
                         "       pilaro-ranking-load --verify 1\n");
            return 2;
        }
    }
    if (!fillStore.empty()) return fill(fillStore, names);
    const std::vector<Game> played = games(replays);
    if (replays > 0) requests = std::min(requests, replays);
    std::atomic<long> next{0};
    Clock::time_point start = Clock::now();
    Clock::time_point deadline =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    std::vector<Worker> workers(static_cast<std::size_t>(connections));
    std::vector<std::thread> threads;
    for (int w = 0; w < connections; ++w) {
        workers[static_cast<std::size_t>(w)].index = w;
        threads.emplace_back([&, w] {
            Worker& me = workers[static_cast<std::size_t>(w)];
            int fd = -1;
            std::string pending;
            long n;
            while ((n = next.fetch_add(1)) < requests && Clock::now() < deadline) {
                if (fd < 0) {
                    fd = connectTo(port);
                    pending.clear();
                    if (fd < 0) {
                        ++me.failed;
                        continue;
                    }
                }
                // Ten-byte names, one per request, so the ranking grows as it would with players.
                char body[32];
                int size =
                    std::snprintf(body, sizeof body, "%s%09ld_%ld", prefix.c_str(), n, scoreFor(position, n, names));
                std::string request = !get.empty()
                                          ? "GET " + get + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
                                          : "POST " PILARO_RANKING_PATH " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                            "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                                                std::to_string(size) + "\r\n\r\n" +
                                                std::string(body, static_cast<std::size_t>(size));
                Clock::time_point sent = Clock::now();
                bool closing = false;
                int status = 200;
                if (replays > 0) {
                    // The game's replay first, under the same name, with its own score.
                    const Game& game = played[static_cast<std::size_t>(n)];
                    std::string name = body;
                    name.resize(name.find('_'));
                    status = exchange(fd, post(PILARO_REPLAY_PATH, replayBody(name, game.score, game.recording)),
                                      pending, closing);
                    request = post(PILARO_RANKING_PATH, name + "_" + std::to_string(game.score));
                    if (status == 200 && closing) {
                        close(fd);
                        fd = connectTo(port);
                        pending.clear();
                        closing = false;
                    }
                }
                // A refused replay: its submission would not be verified, and counts as refused.
                if (status == 200) status = exchange(fd, request, pending, closing);
                else if (status != 0) status = 400;
                double ms = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
                if (status == 0) {
                    ++me.failed;
                    close(fd);
                    fd = -1;
                    continue;
                }
                me.latenciesMs.push_back(ms);
                if (closing) {
                    close(fd);
                    fd = -1;
                }
                if (status == 200)
                    ++me.ok;
                else
                    ++me.refused;
            }
            if (fd >= 0) close(fd);
        });
    }
    for (std::thread& t : threads) t.join();
    double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<double> all;
    long ok = 0, refused = 0, failed = 0;
    for (const Worker& w : workers) {
        all.insert(all.end(), w.latenciesMs.begin(), w.latenciesMs.end());
        ok += w.ok;
        refused += w.refused;
        failed += w.failed;
    }
    std::sort(all.begin(), all.end());
    auto percentile = [&all](double p) {
        if (all.empty()) return 0.0;
        std::size_t i = static_cast<std::size_t>(p * static_cast<double>(all.size() - 1) + 0.5);
        return all[std::min(i, all.size() - 1)];
    };
    std::printf("ok %ld\nrefused %ld\nfailed %ld\nseconds %.3f\np50_ms %.3f\np99_ms %.3f\nmax_ms %.3f\n", ok, refused,
                failed, elapsed, percentile(0.5), percentile(0.99), all.empty() ? 0.0 : all.back());
    return failed == 0 ? 0 : 1;
}
