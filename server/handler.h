// handler.h: one HTTP request to the ranking, turned into its response, apart from the gateway
// (CGI or FastCGI) that carried it.
#pragma once

#include "store.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct ServerConfig {
    std::string databasePath;  // from PILARO_RANKING_DB
    RateLimit rateLimit;       // from PILARO_RANKING_RATE ("COUNT" or "COUNT/SECONDS", 0 = off)
};

// Request bodies beyond this are refused unread: the game's body has at most 19 bytes.
constexpr std::uint64_t maxBodyBytes = 64;

// What the gateway knew of the request and how reading its body went.
struct RequestInfo {
    std::string method;      // REQUEST_METHOD
    std::string query;       // QUERY_STRING
    std::string remoteAddr;  // REMOTE_ADDR
    std::string scriptName;  // SCRIPT_NAME, the ranking page's own address
};

enum class BodyState { complete, tooLarge, incomplete };

struct Response {
    int status = 200;
    std::string contentType;
    std::string extraHeaders;  // complete lines, each ending in "\r\n"
    std::string body;
    std::string logLine;  // for the server's error log: set for every 5xx and storage failure
};

// Reads the configuration from the environment (`lookup` returns null for a missing name).
ServerConfig configFromEnvironment(const char* (*lookup)(const char* name));
bool parseRateLimit(const char* text, RateLimit& out);

// The store of one ranking process, shared by its request threads. It is opened on first use and
// kept open. Submissions that arrive while a batch is being written wait, and go together in the
// next batch: one transaction and one write for all of them, where two processes taking turns at
// the write lock spent most of their time handing it over. Each is answered only once its batch is
// committed.
class SharedStore {
public:
    // Opens the store with the first caller's settings; false (and why) when it cannot.
    bool open(const ServerConfig& config, std::string& error);
    // Stores one submission with whatever else is waiting.
    void submit(PendingSubmission& pending);
    // Runs `use` on the store with nothing else using it; the store must be open.
    void exclusive(const std::function<void(RankingStore&)>& use);

private:
    // Runs `work` with the store marked busy and the mutex released; returns with it held again.
    void takeTurn(std::unique_lock<std::mutex>& lock, const std::function<void()>& work);

    std::mutex mutex;
    std::condition_variable turnEnded;
    bool busy = false;  // someone is using the store, without the mutex held
    std::unique_ptr<RankingStore> store;
    std::vector<PendingSubmission*> waiting;
};

// Answers one request; opens the store on first use and keeps it open for the next.
Response handleRequest(SharedStore& store, const ServerConfig& config, const RequestInfo& request, BodyState bodyState,
                       const std::string& body, std::int64_t now);

// The CGI response header block (a "Status:" line, the type, the extra lines, a blank line).
std::string responseHead(const Response& response);
