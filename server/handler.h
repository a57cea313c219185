// handler.h: one HTTP request to the ranking, turned into its response, apart from the gateway
// (CGI or FastCGI) that carried it.
#pragma once

#include "sharedStore.h"

#include <cstdint>
#include <string>
#include <vector>

struct ServerConfig {
    std::string databasePath;  // from PILARO_RANKING_DB
    RateLimit rateLimit;       // from PILARO_RANKING_RATE ("COUNT" or "COUNT/SECONDS", 0 = off)
    std::string problem;       // a setting that cannot be used, named: every request is refused (503)
    bool verifiedOnly = false; // PILARO_RANKING_VERIFIED_ONLY=1: a submission no replay verified is refused
};

// How long a cache may keep an answer of the read API (PILARO_RANKING_API_PATH).
constexpr unsigned apiCacheSeconds = 10;

// Request bodies beyond this are refused unread: the game's body has at most 19 bytes.
constexpr std::uint64_t maxBodyBytes = 64;

// What the gateway knew of the request and how reading its body went.
struct RequestInfo {
    std::string method;      // REQUEST_METHOD
    std::string query;       // QUERY_STRING
    std::string remoteAddr;  // REMOTE_ADDR
    std::string scriptName;  // SCRIPT_NAME, the ranking page's own address
    std::string host;        // HTTP_HOST
    std::string origin;      // HTTP_ORIGIN: a browser's page that sent the request
    std::string fetchSite;   // HTTP_SEC_FETCH_SITE: the browser's own word on where it came from
    std::string pathInfo;    // PATH_INFO: what follows the program's address (its health and metrics paths)
    std::string ifNoneMatch; // HTTP_IF_NONE_MATCH: the API's answer a cache holds
};

// The replay path (replayPath): the same program answers it; the web server tells which by SCRIPT_NAME.
bool isReplayRequest(const RequestInfo& request);
// The body limit of the address asked for.
std::uint64_t bodyLimit(const RequestInfo& request);

enum class BodyState { complete, tooLarge, incomplete };

struct Response {
    int status = 200;
    std::string contentType;
    std::string extraHeaders;  // complete lines, each ending in "\r\n"
    std::string body;
    std::string logLine;  // for the server's error log: set for every 5xx and storage failure
    const char* refusedAs = nullptr;  // the counters' reason for a refusal that its status does not tell
};

// Reads the configuration from the environment (`lookup` returns null for a missing name). A
// malformed rate, or a store that is not an absolute path or a PostgreSQL URI, is a problem.
ServerConfig configFromEnvironment(const char* (*lookup)(const char* name));
// Why `location` (PILARO_RANKING_DB) cannot be the store, or "" when it can. A relative path would
// be taken from the program's working folder, which a web server makes the web root in CGI mode:
// the ranking, client addresses and all, could then be downloaded.
std::string storeLocationProblem(const std::string& location);
// The one parse of PILARO_RANKING_RATE's text; false when it is not one.
bool parseRateLimit(const char* text, RateLimit& out);

// The key the rate limit counts an address by: an IPv4 address as it is, an IPv6 address by its
// /64 (one home connection's share: its 2^64 addresses are one allowance), written
// "2001:db8:1:2::/64"; an IPv4-mapped IPv6 address as its IPv4 address.
std::string rateLimitKey(const std::string& address);
// A browser's request sent by a page of another site (its Origin is not this host, or the browser
// says cross-site or same-site). A request with neither header (the desktop games, curl) is not.
bool fromAnotherSite(const RequestInfo& request);

// Answers one request; opens the store on first use and keeps it open for the next.
Response handleRequest(SharedStore& store, const ServerConfig& config, const RequestInfo& request, BodyState bodyState,
                       const std::string& body, std::int64_t now);

// The CGI response header block (a "Status:" line, the type, the extra lines, a blank line).
std::string responseHead(const Response& response);
