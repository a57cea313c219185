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
#include <cstdio>
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
    case 304: return "Not Modified";
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

// A 503 with the line that tells the error log why.
Response failed(Response response, const std::string& why) {
    response.status = 503;
    response.logLine = "pilaro-ranking: 503: " + why;
    return response;
}

Response unavailable(Refusal text, const std::string& why) { return failed(refusal(503, text), why); }

// The process's store, opened on first use; false (and why) when the settings or the store fail.
bool openShared(SharedStore& store, const ServerConfig& config, std::string& error) {
    error = config.problem;
    if (error.empty() && store.open(config.databasePath, error)) return true;
    error = "cannot open the ranking: " + error;
    return false;
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
    if (!openShared(store, config, error)) return unavailable(Refusal::unavailable, error);
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
    if (!openShared(store, config, error)) return unavailable(Refusal::unavailable, error);
    PendingReplay pending{{replayKey(claim.recording), claim.submission.name, claim.submission.score,
                           std::move(claim.recording)},
                          rateLimitKey(request.remoteAddr), now, config.rateLimit, ReplayOutcome::storageFailed, 0,
                          {}};
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

// Reads what a board request asks for: a page of the board, or the places around a name.
bool readBoardView(RankingStore& ranking, const BoardQuery& query, std::int64_t now, BoardView& view) {
    view.board = boardAt(query.board, now);
    if (!ranking.countBoard(view.board, view.names)) return false;
    if (query.nameGiven) {
        view.search = true;
        view.name = query.name;
        if (!ranking.placeOf(view.board, query.name, view.place)) return false;
        if (view.place == 0) return true;  // not on the board
        std::uint32_t first = view.place > placesAroundName ? view.place - 1 - placesAroundName : 0;
        return ranking.readBoard(view.board, first, view.place - first + placesAroundName, view.entries);
    }
    view.pageCount = view.names == 0 ? 1 : (view.names + placesPerPage - 1) / placesPerPage;
    view.page = std::min(query.page, view.pageCount);
    return ranking.readBoard(view.board, (view.page - 1) * placesPerPage, placesPerPage, view.entries);
}

// The board a request asks for, read from the store; false (and why) when it cannot be read.
bool boardView(SharedStore& store, const ServerConfig& config, const BoardQuery& query, std::int64_t now,
               BoardView& view, std::string& error) {
    bool read = false;
    if (openShared(store, config, error)) {
        store.read([&](RankingStore& ranking) {
            read = readBoardView(ranking, query, now, view);
            if (!read) error = ranking.lastError();
        });
    }
    return read;
}

Response page(SharedStore& store, const ServerConfig& config, const RequestInfo& request, const std::string& pageUrl,
              std::int64_t now) {
    Response response;
    response.contentType = "text/html; charset=utf-8";
    BoardQuery query;
    std::string problem, error;
    // A query the page cannot read shows the all-time board's first page, with what was wrong.
    if (!parseBoardQuery(request.query, query, problem, false)) {
        response.status = 400;
        query = BoardQuery{};
    }
    BoardView view;
    if (boardView(store, config, query, now, view, error)) {
        response.body = rankingPage(view, pageUrl, problem);
        return response;
    }
    response.body = unavailablePage();
    return failed(response, "the page cannot be read: " + error);
}

// A tag of the answer's bytes: a cache in front asks again with it and gets a 304 while the board
// is unchanged.
std::string entityTag(const std::string& body) { return "\"" + hexHash(body) + "\""; }

// Whether If-None-Match names `tag` (or is "*"); weak tags compare as strong ones for a GET.
bool tagMatches(std::string_view ifNoneMatch, std::string_view tag) {
    std::size_t at = 0;
    while (at < ifNoneMatch.size()) {
        std::size_t end = ifNoneMatch.find(',', at);
        if (end == std::string_view::npos) end = ifNoneMatch.size();
        std::string_view one = ifNoneMatch.substr(at, end - at);
        while (!one.empty() && (one.front() == ' ' || one.front() == '\t')) one.remove_prefix(1);
        while (!one.empty() && (one.back() == ' ' || one.back() == '\t')) one.remove_suffix(1);
        if (one.starts_with("W/")) one.remove_prefix(2);
        if (one == tag || one == "*") return true;
        at = end + 1;
    }
    return false;
}

// The read API: the boards and the place search as JSON, for anyone (a cache in front may keep
// an answer for a few seconds; a board changes with every submission).
Response api(SharedStore& store, const ServerConfig& config, const RequestInfo& request, std::int64_t now) {
    Response response;
    response.contentType = "application/json; charset=utf-8";
    response.extraHeaders = "Access-Control-Allow-Origin: *\r\n";
    BoardQuery query;
    std::string problem, error;
    BoardView view;
    if (!parseBoardQuery(request.query, query, problem)) {
        response.status = 400;
        response.body = jsonError(problem);
    } else if (!boardView(store, config, query, now, view, error)) {
        response.body = jsonError(refusalText(Refusal::unavailable));
        response = failed(response, "the API cannot read the ranking: " + error);
    } else {
        std::string body = boardJson(view);
        std::string tag = entityTag(body);
        response.extraHeaders += "Cache-Control: public, max-age=" + std::to_string(apiCacheSeconds) + "\r\nETag: " + tag + "\r\n";
        if (tagMatches(request.ifNoneMatch, tag))
            response.status = 304;
        else
            response.body = std::move(body);
    }
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
    return failed(response, "the health check failed: " + error);
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
// address and nothing else (its empty data: icon keeps the browser from asking for a favicon the
// host may not have), sends its search form only to itself, and no other site may frame it.
const char* const securityHeaders =
    "Content-Security-Policy: default-src 'none'; style-src 'self'; img-src 'self' data:; base-uri 'none'; "
    "form-action 'self'; frame-ancestors 'none'\r\n"
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
    } else if (request.scriptName == PILARO_RANKING_API_PATH) {
        // Read only: a POST here is no submission.
        if (request.method == "GET" || request.method == "HEAD") {
            response = api(store, config, request, now);
        } else {
            response.status = 405;
            response.contentType = "application/json; charset=utf-8";
            response.body = jsonError("GET で読んでください");
            response.extraHeaders = "Allow: GET, HEAD\r\n";
        }
    } else if (request.method == "POST") {
        response = submit(store, config, request, bodyState, body, now, pageUrl);
        store.metrics.countSubmission(response.status, response.refusedAs);
        timed = true;
    } else if ((request.method == "GET" || request.method == "HEAD") && request.query == "style") {
        response.contentType = "text/css; charset=utf-8";
        response.body = rankingStyle;
    } else if (request.method == "GET" || request.method == "HEAD") {
        response = page(store, config, request, pageUrl, now);
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
    // A 304 has no body, and its length would be taken for the body it stands for.
    if (response.status != 304) head += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    head += response.extraHeaders;
    head += "\r\n";
    return head;
}
