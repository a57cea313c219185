// store.h: where the ranking is kept. One interface, two stores: SQLite, a file beside the web
// server and the default, and PostgreSQL, one database that several web hosts share. Both keep the
// same rows and give the same answers; the rules of what may be stored live in submission.h.
#pragma once

#include "boards.h"
#include "submission.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct StoreCounts {
    std::uint32_t names = 0;          // names in the ranking
    std::uint64_t submissions = 0;    // accepted submissions kept (the rate window's, and a few more)
    std::uint64_t addressesKept = 0;  // submissions whose client address is still remembered
};

// One submission on its way into the store, and what became of it.
struct PendingSubmission {
    Submission submission;
    std::string address;
    std::int64_t now = 0;
    RateLimit limit;
    bool verifiedOnly = false;         // refused (notVerified) when no replay matches it
    SubmitResult result;               // storageFailed until it is stored
    std::vector<RankingEntry> topTen;  // the top ten right after it
    std::string error;                 // why it was not stored, for the error log
};

// A replay that the rules accepted, on its way into the store; and one read back.
struct StoredReplay {
    std::string key;        // replayKey of the recording
    std::string name;       // code page 932 bytes
    std::uint32_t score = 0;
    std::string recording;
};
enum class ReplayOutcome { accepted, rateLimited, otherName, storageFailed };
// A replay with what it takes to store it, and its answer, as the submissions' PendingSubmission.
struct PendingReplay {
    StoredReplay replay;
    std::string address;
    std::int64_t now = 0;
    RateLimit limit;
    ReplayOutcome outcome = ReplayOutcome::storageFailed;
    std::uint32_t retryAfter = 0;
    std::string error;  // why it was not stored, for the error log
};

// The operator's moderation (moderationSql.h).
enum class Moderation {
    hide,    // the name's entry leaves the page and the places, and stays stored with the reason
    unhide,  // it comes back
    refuse,  // submissions under the name, matched in its folded form, are refused
    allow,   // no longer
};
// One line of the audit table: what an administrator did, when (seconds), to which name (as typed).
struct AuditEntry {
    std::int64_t at = 0;
    std::string action, name, reason;
};

// The room the health check asks the store for: a few hundred new names. Less than that free,
// submissions are about to fail, and a 503 lets a load balancer send them elsewhere first.
constexpr int healthRoomBytes = 64 << 10;

class RankingStore {
public:
    virtual ~RankingStore() = default;
    // Stores several submissions in their order, each answered as if it had come alone: for each,
    // the history row, and the name's best score when this one beats it (a tie keeps the earlier
    // submission ahead), and the top ten as they are after it. The store commits them together,
    // with one flush to the disk, and each is accepted only once that commit is on the disk.
    // A member that cannot be stored does not take the others with it.
    virtual void submitAll(const std::vector<PendingSubmission*>& batch) = 0;
    // One submission, as a batch of its own. `now` is in seconds.
    SubmitResult submit(const Submission& submission, std::string_view address, std::int64_t now,
                        const RateLimit& limit, std::vector<RankingEntry>& topTen, bool verifiedOnly = false);
    // Keeps an accepted replay for replayMatchSeconds, for the classic submission that follows it
    // (matched by name, score and `address`, the rate limit's key); an address's waiting replays
    // count against `limit` as its submissions do. A recording already kept under another name is
    // refused (otherName). Committed without waiting for the disk: the submission that it verifies
    // waits for the disk, and its flush comes after it. `retryAfter` as for a submission.
    virtual ReplayOutcome storeReplay(const StoredReplay& replay, std::string_view address, std::int64_t now,
                                      const RateLimit& limit, std::uint32_t& retryAfter) = 0;
    // Stores several replays in their order, each answered as if it had come alone; a store that
    // can commits them together. By default, one after the other.
    virtual void storeReplays(const std::vector<PendingReplay*>& batch);
    // The replay behind a ranked entry, by its key; `found` false when none is kept under it.
    virtual bool readReplay(std::string_view key, StoredReplay& out, bool& found) = 0;
    // Up to `count` replays behind ranked entries, in the order of their keys, after `after`.
    virtual bool readReplays(std::string_view after, std::uint32_t count, std::vector<StoredReplay>& out) = 0;
    // Reads `count` places starting after `offset` places, best first.
    virtual bool read(std::uint32_t offset, std::uint32_t count, std::vector<RankingEntry>& out) = 0;
    // The names in the ranking alone, for the page: no count of the whole history.
    virtual bool countNames(std::uint32_t& names) = 0;
    // A board's `count` places after `offset` places, best first. A period board ranks each name's
    // best score submitted within the period, ties in the order of the submissions that reached
    // them, as the all-time board does; its entries carry the replay of the name's all-time best
    // when that is the same submission. Read in one snapshot.
    virtual bool readBoard(const BoardKey& board, std::uint32_t offset, std::uint32_t count,
                           std::vector<RankingEntry>& out) = 0;
    virtual bool countBoard(const BoardKey& board, std::uint32_t& names) = 0;
    // A name's place on a board, 0 when it is not on it.
    virtual bool placeOf(const BoardKey& board, std::string_view cp932Name, std::uint32_t& place) = 0;
    virtual bool counts(StoreCounts& out) = 0;
    // Takes a name out of the ranking (its submissions in the rate window stay); `found` tells
    // whether it was there.
    virtual bool removeName(std::string_view cp932Name, bool& found) = 0;
    // The store's own consistency check, and that the place counts agree with the names.
    virtual bool check(std::string& report) = 0;
    // A health check: a write that changes no ranking, committed and flushed as a submission is,
    // and room for the store to grow by healthRoomBytes.
    virtual bool probe() = 0;
    // Moderates `cp932Name` (its folded form `folded`, foldedName) and logs it with `shownName`
    // (UTF-8) and `reason` in the audit table, in one transaction; `changed` false when there was
    // nothing to do (no such entry, or already so), which is logged too.
    virtual bool moderate(Moderation what, std::string_view cp932Name, std::string_view folded,
                          std::string_view shownName, std::string_view reason, std::int64_t now, bool& changed) = 0;
    // Adds a line to the audit table, for actions that change no moderation.
    virtual bool logAction(std::string_view action, std::string_view shownName, std::string_view reason,
                           std::int64_t now) = 0;
    virtual bool readLog(std::vector<AuditEntry>& out) = 0;
    // Whether submissions under a name are held back (its entry hidden, or its folded form refused).
    virtual bool heldBack(std::string_view cp932Name, std::string_view folded, bool& held) = 0;
    // Why the latest operation failed, for the error log.
    const std::string& lastError() const { return error; }

protected:
    std::string error;
};

// The rows each store keeps beside others, and what they must agree with, as SQL that both stores
// run as it is: each query counts the rows in disagreement, and `disagreement` says what they are.
// `part` names the tables it reads, which a store of an earlier version opened to be read only may
// lack.
enum class StorePart { placeCounts, moderation, periodBoards };
struct RowCheck {
    StorePart part;
    const char* disagreement;
    std::string sql;
};
const std::vector<RowCheck>& rowChecks();
// The check's report from the rows each check counted (in the order of rowChecks(); none for a
// check not run): "ok", or a line for each that found some.
bool rowsReport(const std::vector<std::int64_t>& rows, std::string& report);

// What the stores tell the operator (the error log, the admin's command) when a location holds no
// ranking they may open, in their one wording.
extern const char* const newerRankingText;  // written by a newer version of the program
extern const char* const notRankingText;    // holds something else
extern const char* const emptyRankingText;  // holds nothing, and only the ranking program creates one

enum class StoreAccess {
    serve,     // the ranking program: creates the store on first use
    modify,    // the operator's changes: the store must exist and be a ranking of this version
    readOnly,  // the operator's reading commands: nothing is written, not even the schema
};

// Sixteen hexadecimal digits of the FNV-1a hash of `bytes`: the same on every host and build (a
// board page's entity tag, the mark of the PostgreSQL set-up's text).
std::string hexHash(std::string_view bytes);

// `location` is a PostgreSQL connection URI ("postgresql://..." or "postgres://...") or else the
// path of an SQLite file (":memory:" for tests). On failure `error` says why and null is returned.
// (store.cpp, which also holds the single submission and the default storeReplays.)
std::unique_ptr<RankingStore> openStore(const std::string& location, StoreAccess access, std::string& error);
bool isPostgresLocation(const std::string& location);
std::unique_ptr<RankingStore> openSqliteStore(const std::string& path, StoreAccess access, std::string& error);
std::unique_ptr<RankingStore> openPostgresStore(const std::string& uri, StoreAccess access, std::string& error);
