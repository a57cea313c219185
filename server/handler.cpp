// handler.cpp: the ranking's request handling: submissions (POST), the ranking page (GET), refusals.
#include "handler.h"

#include "replayCheck.h"
#include "scores/rankingFacts.h"
#include "text/cp932.h"
#include "texts.h"

#include <algorithm>
#include <cctype>
#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>

namespace {

const char* const gameReplyType = "text/plain; charset=Shift_JIS";

// A refusal the game can show: a short Japanese sentence and a line end, so that the sentence the
// game appends starts on a line of its own; nothing in it is a "<".
Response refusal(int status, Refusal why, const char* textUtf8 = nullptr) {
    Response response;
    response.status = status;
    response.contentType = gameReplyType;
    response.body = cp932::encode(std::string(textUtf8 != nullptr ? textUtf8 : refusalText(why)) + "\n");
    return response;
}

const char* reasonPhrase(int status) {
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 411: return "Length Required";
    case 414: return "URI Too Long";
    case 417: return "Expectation Failed";
    case 431: return "Request Header Fields Too Large";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 504: return "Gateway Timeout";
    case 505: return "HTTP Version Not Supported";
    case 413: return "Payload Too Large";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    }
    return "Unknown";
}

std::uint32_t pageFromQuery(const std::string& query) {
    // Only "page=N" matters; anything unreadable shows the first page.
    std::size_t at = 0;
    while (at < query.size()) {
        std::size_t end = query.find('&', at);
        if (end == std::string::npos) end = query.size();
        std::string_view pair(query.data() + at, end - at);
        if (pair.starts_with("page=")) {
            std::uint64_t page = 0;
            std::string_view digits = pair.substr(5);
            if (digits.empty() || digits.size() > 9) return 1;
            for (char c : digits) {
                if (c < '0' || c > '9') return 1;
                page = page * 10 + static_cast<std::uint64_t>(c - '0');
            }
            return page == 0 ? 1 : static_cast<std::uint32_t>(page);
        }
        at = end + 1;
    }
    return 1;
}

Response unavailable(Refusal text, const std::string& why) {
    Response response = refusal(503, text);
    response.logLine = "pilaro-ranking: 503: " + why;
    return response;
}

// The process's store, opened on first use; false (and why) when the settings or the store fail.
bool openShared(SharedStore& store, const ServerConfig& config, std::string& error) {
    error = config.problem;
    return error.empty() && store.open(config.databasePath, error);
}

// Text compared as the host names in it are, without regard to case.
bool sameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// "host[:port]" split into the host and the port ("" for none, or the scheme's default).
std::pair<std::string_view, std::string_view> hostAndPort(std::string_view authority, std::string_view scheme) {
    std::size_t colon = authority.rfind(':');
    if (colon == std::string_view::npos || authority.find(']', colon) != std::string_view::npos)  // "[::1]"
        return {authority, {}};
    std::string_view port = authority.substr(colon + 1);
    if (port == (scheme == "https" ? "443" : "80")) port = {};
    return {authority.substr(0, colon), port};
}

Response submit(SharedStore& store, const ServerConfig& config, const RequestInfo& request, BodyState bodyState,
                const std::string& body, std::int64_t now, const std::string& pageUrl) {
    // Before anything else: a page of another site must not submit through its visitors, whose
    // many addresses would each bring the attacker an allowance of its own.
    if (fromAnotherSite(request)) return refusal(403, Refusal::otherSite);
    if (bodyState == BodyState::tooLarge) return refusal(413, Refusal::tooLarge);
    if (bodyState == BodyState::incomplete) return refusal(400, Refusal::cutShort);
    Submission submission;
    BodyError bodyError = parseSubmission(body, submission);
    if (bodyError != BodyError::none) return refusal(400, {}, bodyErrorText(bodyError).c_str());
    std::string error;
    if (!openShared(store, config, error)) return unavailable(Refusal::unavailable, "cannot open the ranking: " + error);
    PendingSubmission pending{submission, rateLimitKey(request.remoteAddr), now, config.rateLimit, config.verifiedOnly,
                              {}, {}, {}};
    store.submit(pending);
    const SubmitResult& result = pending.result;
    if (result.outcome == SubmitOutcome::rateLimited) {
        Response response = refusal(429, Refusal::tooMany);
        response.extraHeaders = "Retry-After: " + std::to_string(result.retryAfter) + "\r\n";
        return response;
    }
    if (result.outcome == SubmitOutcome::heldBack) {
        Response response = refusal(403, Refusal::nameHeldBack);
        response.refusedAs = "name_held_back";
        return response;
    }
    if (result.outcome == SubmitOutcome::notVerified) {
        Response response = refusal(403, Refusal::notVerified);
        response.refusedAs = "not_verified";
        return response;
    }
    if (result.outcome != SubmitOutcome::accepted)
        return unavailable(Refusal::notStored, "a submission was not stored: " + pending.error);
    Response response;
    response.contentType = gameReplyType;
    response.body = gameReply(result, pending.topTen, pageUrl);
    return response;
}

// A game's recording before its classic submission: played by the rules, and kept when they reach
// a blocked entry with exactly the score claimed.
Response acceptReplay(SharedStore& store, const ServerConfig& config, const RequestInfo& request,
                      BodyState bodyState, const std::string& body, std::int64_t now) {
    if (fromAnotherSite(request)) return refusal(403, Refusal::otherSite);
    if (bodyState == BodyState::tooLarge) return refusal(413, Refusal::tooLarge);
    if (bodyState == BodyState::incomplete) return refusal(400, Refusal::cutShort);
    ReplayClaim claim;
    ReplayVerdict verdict = checkReplay(body, claim);
    if (verdict != ReplayVerdict::accepted) return refusal(400, {}, replayVerdictText(verdict));
    std::string error;
    if (!openShared(store, config, error)) return unavailable(Refusal::unavailable, "cannot open the ranking: " + error);
    PendingReplay pending{{replayKey(claim.recording), claim.submission.name, claim.submission.score,
                           std::move(claim.recording)},
                          rateLimitKey(request.remoteAddr), now, config.rateLimit, ReplayOutcome::storageFailed, 0,
                          {}, false};
    store.storeReplay(pending);
    std::uint32_t retryAfter = pending.retryAfter;
    error = pending.error;
    switch (pending.outcome) {
    case ReplayOutcome::accepted: return refusal(200, {}, replayAcceptedText);
    case ReplayOutcome::otherName: return refusal(409, Refusal::replayOtherName);
    case ReplayOutcome::rateLimited: {
        Response response = refusal(429, Refusal::tooMany);
        response.extraHeaders = "Retry-After: " + std::to_string(retryAfter) + "\r\n";
        return response;
    }
    case ReplayOutcome::storageFailed: break;
    }
    return unavailable(Refusal::notStored, "a replay was not stored: " + error);
}

// The recording behind a verified entry, for the browser page's watch view: "id=<key>". Its id
// names its bytes, which never change: caches may keep it for good.
Response readReplay(SharedStore& store, const ServerConfig& config, const RequestInfo& request) {
    std::string key;
    if (!request.query.starts_with("id=") || !parseReplayKeyText(std::string_view(request.query).substr(3), key))
        return refusal(400, {}, bodyErrorText(BodyError::noSeparator).c_str());
    std::string error;
    bool read = false, found = false;
    StoredReplay replay;
    if (openShared(store, config, error)) {
        store.read([&](RankingStore& ranking) {
            read = ranking.readReplay(key, replay, found);
            if (!read) error = ranking.lastError();
        });
    }
    if (!read) return unavailable(Refusal::unavailable, "a replay cannot be read: " + error);
    if (!found) return refusal(404, Refusal::replayMissing);
    Response response;
    response.contentType = "application/octet-stream";
    response.body = std::move(replay.recording);
    std::string name;
    for (unsigned char c : cp932::decode(replay.name)) {
        static const char digits[] = "0123456789ABCDEF";
        bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        name += plain ? std::string(1, static_cast<char>(c)) : std::string{'%', digits[c >> 4], digits[c & 15]};
    }
    response.extraHeaders = "Cache-Control: public, max-age=31536000, immutable\r\nX-Pilaro-Score: " +
                            std::to_string(replay.score) + "\r\nX-Pilaro-Name: " + name + "\r\n";
    return response;
}

Response page(SharedStore& store, const ServerConfig& config, const RequestInfo& request, const std::string& pageUrl) {
    Response response;
    response.contentType = "text/html; charset=utf-8";
    std::uint32_t names = 0;
    std::vector<RankingEntry> entries;
    std::string error;
    bool read = false;
    if (openShared(store, config, error)) {
        store.read([&](RankingStore& ranking) {
            read = ranking.countNames(names);
            std::uint32_t pageCount = names == 0 ? 1 : (names + placesPerPage - 1) / placesPerPage;
            std::uint32_t wanted = std::min(pageFromQuery(request.query), pageCount);
            read = read && ranking.read((wanted - 1) * placesPerPage, placesPerPage, entries);
            if (read)
                response.body = rankingPage(entries, wanted, pageCount, names, pageUrl);
            else
                error = ranking.lastError();
        });
    }
    if (read) return response;
    response.status = 503;
    response.logLine = "pilaro-ranking: 503: the page cannot be read: " + error;
    response.body = unavailablePage();
    return response;
}

// The health check: 200 once the store answered a read and a flushed write, else 503.
Response health(SharedStore& store, const ServerConfig& config) {
    Response response;
    response.contentType = "text/plain; charset=utf-8";
    std::string error;
    bool healthy = openShared(store, config, error);
    if (healthy) {
        store.exclusive([&](RankingStore& ranking) {
            std::uint32_t names = 0;
            healthy = ranking.countNames(names) && ranking.probe();
            if (!healthy) error = ranking.lastError();
        });
    }
    response.body = healthy ? "ok\n" : "unavailable: " + error + "\n";
    if (healthy) return response;
    response.status = 503;
    response.logLine = "pilaro-ranking: 503: the health check failed: " + error;
    return response;
}

bool fromLoopback(const std::string& address) {
    return address.starts_with("127.") || address == "::1" || address.starts_with("::ffff:127.");
}

// The counters, for this host only: who submits how much, and how the store fares, is nobody
// else's business (a proxy in front passes the client's address on, which is then not loopback).
Response metrics(SharedStore& store, const ServerConfig& config, const RequestInfo& request) {
    Response response;
    response.contentType = "text/plain; version=0.0.4; charset=utf-8";
    if (!fromLoopback(request.remoteAddr)) {
        response.status = 403;
        response.body = "metrics are served to this host only\n";
        return response;
    }
    std::uint32_t names = 0;
    std::string error;
    bool known = false;
    if (openShared(store, config, error)) store.read([&](RankingStore& ranking) { known = ranking.countNames(names); });
    response.body = store.metrics.text(known ? static_cast<std::int64_t>(names) : -1);
    return response;
}

// Said with every answer of the program: the ranking page takes its style sheet from its own
// address and nothing else, and no other site may frame it.
const char* const securityHeaders =
    "Content-Security-Policy: default-src 'none'; style-src 'self'; img-src 'self'; base-uri 'none'; "
    "form-action 'none'; frame-ancestors 'none'\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "Referrer-Policy: " PILARO_REFERRER_POLICY "\r\n"
    "Permissions-Policy: " PILARO_PERMISSIONS_POLICY "\r\n";

}  // namespace

bool isReplayRequest(const RequestInfo& request) { return request.scriptName == replayPath; }

std::uint64_t bodyLimit(const RequestInfo& request) {
    return isReplayRequest(request) ? maxReplayBodyBytes : maxBodyBytes;
}

std::string rateLimitKey(const std::string& address) {
    in6_addr bytes{};
    if (address.find(':') == std::string::npos || inet_pton(AF_INET6, address.c_str(), &bytes) != 1) return address;
    char text[INET6_ADDRSTRLEN] = {};
    if (IN6_IS_ADDR_V4MAPPED(&bytes)) return inet_ntop(AF_INET, &bytes.s6_addr[12], text, sizeof text);
    std::fill(bytes.s6_addr + 8, bytes.s6_addr + 16, 0);
    return std::string(inet_ntop(AF_INET6, &bytes, text, sizeof text)) + "/64";
}

bool fromAnotherSite(const RequestInfo& request) {
    if (request.fetchSite == "cross-site" || request.fetchSite == "same-site") return true;
    if (request.origin.empty()) return false;
    // "scheme://host[:port]", to be this host (a sandboxed page's "null" is not). The scheme is not
    // compared: behind a proxy that ends TLS the program may not know the page's. Nor is the port
    // when Host has none: Debian's nginx passes the host name alone.
    std::string_view origin = request.origin;
    std::size_t schemeEnd = origin.find("://");
    if (schemeEnd == std::string_view::npos || request.host.empty()) return true;
    std::string_view scheme = origin.substr(0, schemeEnd);
    auto [host, port] = hostAndPort(request.host, scheme);
    auto [originHost, originPort] = hostAndPort(origin.substr(schemeEnd + 3), scheme);
    bool portGiven = request.host.find(':', host.size()) != std::string::npos;
    return !sameText(host, originHost) || (portGiven && port != originPort);
}

bool parseRateLimit(const char* text, RateLimit& out) {
    // Each number starts with a digit: strtoul would also take blanks and a sign, and read "-0" as
    // 0 (the limit off) or a long negative number as a small count.
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    if (text == nullptr || !isDigit(*text)) return false;
    char* end = nullptr;
    unsigned long count = std::strtoul(text, &end, 10);
    unsigned long seconds = 60;
    if (count > 1000000) return false;
    if (*end == '/') {
        const char* from = end + 1;
        if (!isDigit(*from)) return false;
        seconds = std::strtoul(from, &end, 10);
        if (seconds == 0 || seconds > 86400) return false;
    }
    if (*end != '\0') return false;
    out.count = static_cast<unsigned>(count);
    out.seconds = static_cast<unsigned>(seconds);
    return true;
}

std::string storeLocationProblem(const std::string& location) {
    if (location.empty() || location.front() == '/' || isPostgresLocation(location)) return {};
    return "PILARO_RANKING_DB must be an absolute path or a postgresql:// URI, not \"" + location + "\"";
}

ServerConfig configFromEnvironment(const char* (*lookup)(const char* name)) {
    ServerConfig config;
    if (const char* path = lookup("PILARO_RANKING_DB")) config.databasePath = path;
    const char* verifiedOnly = lookup("PILARO_RANKING_VERIFIED_ONLY");
    std::string_view verified = verifiedOnly != nullptr ? verifiedOnly : "";
    config.problem = storeLocationProblem(config.databasePath);
    // Unset or empty: the default limit. Anything else must be a limit: a typing error must not
    // quietly become another limit.
    const char* rate = lookup("PILARO_RANKING_RATE");
    if (rate != nullptr && *rate != '\0' && !parseRateLimit(rate, config.rateLimit))
        config.problem = "PILARO_RANKING_RATE must be COUNT or COUNT/SECONDS (0 turns the limit off), not \"" +
                         std::string(rate) + "\"";
    // Unset, empty or 0: every submission is ranked, marked verified or not; 1: only verified ones.
    if (verified != "" && verified != "0" && verified != "1")
        config.problem = "PILARO_RANKING_VERIFIED_ONLY must be 0 or 1, not \"" + std::string(verified) + "\"";
    config.verifiedOnly = verified == "1";
    return config;
}

Response handleRequest(SharedStore& store, const ServerConfig& config, const RequestInfo& request, BodyState bodyState,
                       const std::string& body, std::int64_t now) {
    std::string pageUrl = request.scriptName.empty() ? rankingPath : request.scriptName;
    // lighttpd hands the health path over as the program's address and a PATH_INFO; nginx as
    // its SCRIPT_NAME.
    std::string path = request.scriptName + request.pathInfo;
    auto start = std::chrono::steady_clock::now();
    Response response;
    bool timed = false;
    bool replayAddress = isReplayRequest(request);
    if (path == PILARO_RANKING_HEALTH_PATH) {
        response = health(store, config);
    } else if (path == PILARO_RANKING_METRICS_PATH) {
        response = metrics(store, config, request);
    } else if (replayAddress && request.method == "POST") {
        response = acceptReplay(store, config, request, bodyState, body, now);
    } else if (replayAddress && (request.method == "GET" || request.method == "HEAD")) {
        response = readReplay(store, config, request);
    } else if (request.method == "POST") {
        response = submit(store, config, request, bodyState, body, now, pageUrl);
        store.metrics.countSubmission(response.status, response.refusedAs);
        timed = true;
    } else if ((request.method == "GET" || request.method == "HEAD") && request.query == "style") {
        response.contentType = "text/css; charset=utf-8";
        response.body = rankingStyle;
    } else if (request.method == "GET" || request.method == "HEAD") {
        response = page(store, config, request, pageUrl);
        timed = true;
    } else {
        response = refusal(405, Refusal::wrongMethod);
        response.extraHeaders = "Allow: GET, HEAD, POST\r\n";
    }
    if (timed)
        store.metrics.timeRequest(request.method == "POST",
                                  std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (response.status == 503) store.metrics.countStoreError();
    // A replay is kept for good; everything else is asked afresh.
    if (response.extraHeaders.find("Cache-Control:") == std::string::npos)
        response.extraHeaders += "Cache-Control: no-store\r\n";
    response.extraHeaders += securityHeaders;
    return response;
}

std::string responseHead(const Response& response) {
    std::string head = "Status: " + std::to_string(response.status) + " " + reasonPhrase(response.status) + "\r\n";
    head += "Content-Type: " + response.contentType + "\r\n";
    head += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    head += response.extraHeaders;
    head += "\r\n";
    return head;
}
