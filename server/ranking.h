// ranking.h: the online ranking's rules: what a submission may hold, how it is stored, and the
// texts the game and the ranking page are given.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// Why a request body was refused; `none` when it holds a name and a score.
enum class BodyError { none, noSeparator, nameLength, nameEncoding, nameControl, score };

struct Submission {
    std::string name;  // code page 932 bytes, 1 to 10 of them
    std::uint32_t score = 0;
};

// Splits "NAME_SCORE" at the LAST underscore: the name itself may hold underscores, and so may a
// double-byte character whose second byte is 0x5F.
BodyError parseSubmission(std::string_view body, Submission& out);
// The reason for a refusal, as a short Japanese sentence (UTF-8).
std::string bodyErrorText(BodyError error);

constexpr std::size_t maxNameBytes = 10;
constexpr std::size_t maxScoreDigits = 10;

struct RankingDb {
    sqlite3* db = nullptr;
    // Statements prepared once per open database, found by their SQL text's address: a FastCGI
    // process answers many requests with one connection.
    std::vector<std::pair<const char*, sqlite3_stmt*>> statements;
};

// Opens (and on first use creates) the ranking database: WAL journal, a busy time-out, the tables.
// `path` may be ":memory:" for tests. On failure `error` says why and nothing stays open.
bool openRanking(RankingDb& ranking, const std::string& path, std::string& error);
void closeRanking(RankingDb& ranking);

// How many accepted submissions one client address may make per window; 0 turns the limit off.
struct RateLimit {
    unsigned count = 5;
    unsigned seconds = 60;
};

enum class SubmitOutcome { accepted, rateLimited, storageFailed };

struct SubmitResult {
    SubmitOutcome outcome = SubmitOutcome::storageFailed;
    std::uint32_t place = 0;      // the name's place after this submission (1 = top)
    std::uint32_t bestScore = 0;  // the name's best score after this submission
    bool improved = false;        // this submission became the name's best
};

struct RankingEntry {
    std::uint32_t place = 0;
    std::string name;  // code page 932 bytes
    std::uint32_t score = 0;
};

// Stores one submission in one write transaction: the history row, and the name's best score
// when this one beats it (a tie keeps the earlier submission ahead). `now` is in seconds.
SubmitResult submitScore(RankingDb& ranking, const Submission& submission, std::string_view address,
                         std::int64_t now, const RateLimit& limit);

// Reads `count` places starting after `offset` places, best first.
bool readRanking(RankingDb& ranking, std::uint32_t offset, std::uint32_t count, std::vector<RankingEntry>& out);
bool countNames(RankingDb& ranking, std::uint32_t& out);
bool countSubmissions(RankingDb& ranking, std::uint64_t& out);
// Takes a name out of the ranking (its history stays); `found` tells whether it was there.
bool removeName(RankingDb& ranking, std::string_view cp932Name, bool& found);
// SQLite's own consistency check of the whole file.
bool checkIntegrity(RankingDb& ranking, std::string& report);

// The reply to an accepted submission, in code page 932: the submitter's place, the top ten one
// per line, then an HTML remainder beginning with "<" that the game cuts off.
std::string gameReply(const SubmitResult& result, const std::vector<RankingEntry>& topTen,
                      std::string_view pageUrl);

constexpr std::uint32_t placesPerPage = 50;

// The whole ranking as a web page (UTF-8), page `page` (1-based) of `pageCount`.
std::string rankingPage(const std::vector<RankingEntry>& entries, std::uint32_t page, std::uint32_t pageCount,
                        std::uint32_t nameCount, std::string_view pageUrl);

// HTML-escapes UTF-8 text for element content and attribute values.
std::string htmlEscape(std::string_view text);
