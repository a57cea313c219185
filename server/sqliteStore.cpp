// sqliteStore.cpp: the ranking in one SQLite file, shared by the web server's processes and the
// operator's command.
#include "placeCounts.h"
#include "replayCheck.h"
#include "replaySql.h"
#include "store.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <unistd.h>

namespace {

// The schema's version in PRAGMA user_version; 0 is a new, empty file. Version 1 had no place
// counts; version 2 kept every submission, and an index of the addresses to forget; version 3 had
// no replays. Opening an older file to serve or modify brings it to this version.
constexpr int schemaVersion = 4;

const char* const schemaSql =
    "CREATE TABLE IF NOT EXISTS submissions("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  name BLOB NOT NULL,"
    "  score INTEGER NOT NULL,"
    "  address TEXT NOT NULL,"
    "  at INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS submissionsByAddress ON submissions(address, at);"
    // One row per name: its best score and the submission that first reached it, which decides
    // ties (the earlier one stays ahead).
    "CREATE TABLE IF NOT EXISTS names("
    "  name BLOB PRIMARY KEY,"
    "  score INTEGER NOT NULL,"
    "  submission INTEGER NOT NULL) WITHOUT ROWID;"
    "CREATE INDEX IF NOT EXISTS namesByPlace ON names(score DESC, submission);"
    // How many names have a best score in each range (placeCounts.h): counting index entries
    // walked the whole ranking below the top.
    "CREATE TABLE IF NOT EXISTS placeCounts("
    "  level INTEGER NOT NULL,"
    "  prefix INTEGER NOT NULL,"
    "  names INTEGER NOT NULL,"
    "  PRIMARY KEY(level, prefix)) WITHOUT ROWID;"
    // A range that no name holds any longer goes: a name climbing through ever new scores left
    // rows of nought behind it on every level, for ever.
    "CREATE TRIGGER IF NOT EXISTS placeCountsEmptied AFTER UPDATE OF names ON placeCounts WHEN NEW.names = 0 "
    "BEGIN DELETE FROM placeCounts WHERE level = NEW.level AND prefix = NEW.prefix; END;"
    // Version 2's: submissions now go whole once the rate limit no longer needs them.
    "DROP INDEX IF EXISTS submissionsToForget;"
    // The replays (replaySql.h): waiting for their submission, or behind a name's best entry.
    "CREATE TABLE IF NOT EXISTS replays("
    "  key BLOB NOT NULL UNIQUE,"
    "  name BLOB NOT NULL,"
    "  score INTEGER NOT NULL,"
    "  address TEXT NOT NULL,"
    "  at INTEGER NOT NULL,"
    "  kept INTEGER NOT NULL,"
    "  recording BLOB NOT NULL);"
    "CREATE INDEX IF NOT EXISTS replaysWaiting ON replays(address, at) WHERE NOT kept;";
// Before version 4 a name's best had no replay behind it.
const char* const addReplayColumn = "ALTER TABLE names ADD COLUMN replay BLOB";

const char* const sqlRecentFromAddress = "SELECT COUNT(*) FROM submissions WHERE address = ?1 AND at > ?2";
const char* const sqlOldestCounted =
    "SELECT at FROM submissions WHERE address = ?1 AND at > ?2 ORDER BY at LIMIT 1 OFFSET ?3";
// The history holds only the rate limit's window: each name's best is its row in names (whose
// submission number still orders ties). The oldest few go with every submission, so the pruning
// keeps pace with the arrivals and never stalls one submission with a large batch; they are the
// first rows in the table's own order, found without an index and without stepping over the
// window's rows.
const char* const sqlPruneHistory =
    "DELETE FROM submissions WHERE id IN (SELECT id FROM submissions ORDER BY id LIMIT 4) AND at <= ?1";
const char* const sqlInsertSubmission = "INSERT INTO submissions(name, score, address, at) VALUES(?1, ?2, ?3, ?4)";
const char* const sqlSelectName = "SELECT score, submission, replay FROM names WHERE name = ?1";
const char* const sqlInsertName = "INSERT INTO names(name, score, submission, replay) VALUES(?1, ?2, ?3, ?4)";
const char* const sqlUpdateName = "UPDATE names SET score = ?2, submission = ?3, replay = ?4 WHERE name = ?1";
const char* const sqlAddCount =
    "INSERT INTO placeCounts(level, prefix, names) VALUES(?1, ?2, ?3) "
    "ON CONFLICT(level, prefix) DO UPDATE SET names = names + excluded.names";
const char* const sqlCountAt = "SELECT names FROM placeCounts WHERE level = 0 AND prefix = ?1";
const char* const sqlCountTiedBefore = "SELECT COUNT(*) FROM names WHERE score = ?1 AND submission < ?2";
const char* const sqlReadRanking =
    "SELECT name, score, replay FROM names ORDER BY score DESC, submission ASC LIMIT ?1 OFFSET ?2";
// A page from its first place's score on (placeCounts.h's findPlace), skipping only the names of
// that score before it.
const char* const sqlReadFromScore =
    "SELECT name, score, replay FROM names WHERE score <= ?3 ORDER BY score DESC, submission ASC LIMIT ?1 OFFSET ?2";
// A file of an earlier version, read by the operator's reading commands, has no replays.
const char* const sqlReadRankingOld =
    "SELECT name, score, NULL FROM names ORDER BY score DESC, submission ASC LIMIT ?1 OFFSET ?2";
const char* const sqlCountNamesByScan = "SELECT COUNT(*) FROM names";
const char* const sqlCountSubmissions = "SELECT COUNT(*) FROM submissions";
const char* const sqlCountAddresses = "SELECT COUNT(*) FROM submissions WHERE address <> ''";
const char* const sqlRemoveName = "DELETE FROM names WHERE name = ?1 RETURNING score, replay";

// A WAL that reaches 4 MB is copied into the database and started again from its beginning,
// waiting for the other writers meanwhile. Between two busy workers the log is otherwise never
// wholly copied at the moment a writer starts, so SQLite's own passive checkpoints never let it
// start again, and it grows without bound. Each checkpoint waits for the disk twice: fewer of them
// cost the submissions less. A full disk gets its room back at once (see submit).
constexpr int walCheckpointBytes = 4 << 20;
const char* const walSizeLimitPragma = "PRAGMA journal_size_limit = 4194304";
// A submission changes a few rows on each of about eight pages, and a commit writes every changed
// page whole into the log: 1 KB pages (new files; SQLite's default is 4 KB) write a quarter of the
// bytes, and so need a quarter of the checkpoints.
const char* const newFilePageSize = "PRAGMA page_size = 1024";

// The busy time-out: about five seconds in all. A submission holds the write lock for well under
// a millisecond, so short naps at first keep the wait close to that; SQLite's own time-out handler
// sleeps 1, 2, 5, 10 ms and more from the start, which shows up as tens of milliseconds of latency
// whenever two workers meet.
int waitForLock(void*, int attempts) {
    constexpr int shortNaps = 50;
    if (attempts >= shortNaps + 4900) return 0;
    usleep(attempts < shortNaps ? 100 : 1000);
    return 1;
}

// The checkpoint's wait: a writer holds the lock for a batch (about a millisecond), a reader may
// hold an old snapshot for as long as it likes (an operator's shell, a backup, a check of a large
// ranking). The submissions of the next batch wait for the checkpoint, so it waits for neither
// beyond a millisecond: it then copies what it can without them.
int waitBriefly(void*, int attempts) {
    if (attempts >= 10) return 0;
    usleep(100);
    return 1;
}

// When the log is next worth a checkpoint.
struct CheckpointMark {
    int pages = 1000;  // the log's length that starts one
    int failed = 0;    // attempts in a row that could not start the log again
    int skip = 0;      // commits to let pass before the next attempt
};

int checkpointWhenLong(void* context, sqlite3* db, const char* schema, int pages) {
    auto& mark = *static_cast<CheckpointMark*>(context);
    if (pages < mark.pages) mark.failed = mark.skip = 0;  // the log started again
    if (pages < mark.pages || mark.skip-- > 0) return SQLITE_OK;
    sqlite3_busy_handler(db, waitBriefly, nullptr);
    int rc = sqlite3_wal_checkpoint_v2(db, schema, SQLITE_CHECKPOINT_RESTART, nullptr, nullptr);
    sqlite3_busy_handler(db, waitForLock, nullptr);
    // Another process's batch holds the log for a millisecond, and the next commit's attempt will
    // likely find it free; a reader on an old snapshot holds it for as long as it reads, and an
    // attempt at every commit waited its millisecond for that reader each time, about as long as
    // the batch itself (a 25-second read of the ranking cost four submissions in five). So the
    // attempts that fail in a row come after ever more commits: 1, 2, 4, ... up to 64.
    mark.failed = rc == SQLITE_OK ? 0 : mark.failed + 1;
    mark.skip = mark.failed == 0 ? 0 : (1 << std::min(mark.failed - 1, 6)) - 1;
    return SQLITE_OK;
}

bool bindBlob(sqlite3_stmt* s, int index, std::string_view bytes) {
    // A zero-length blob still has to be a blob, not NULL: pass a valid pointer.
    return sqlite3_bind_blob(s, index, bytes.empty() ? "" : bytes.data(), static_cast<int>(bytes.size()),
                             SQLITE_TRANSIENT) == SQLITE_OK;
}

std::string columnBlob(sqlite3_stmt* s, int column) {
    const void* bytes = sqlite3_column_blob(s, column);
    return bytes == nullptr ? std::string()
                            : std::string(static_cast<const char*>(bytes),
                                          static_cast<std::size_t>(sqlite3_column_bytes(s, column)));
}

bool bindText(sqlite3_stmt* s, int index, std::string_view text) {
    // An empty text is still a text, not NULL.
    return sqlite3_bind_text(s, index, text.empty() ? "" : text.data(), static_cast<int>(text.size()),
                             SQLITE_TRANSIENT) == SQLITE_OK;
}

class SqliteStore : public RankingStore {
public:
    ~SqliteStore() override {
        for (auto& entry : statements) sqlite3_finalize(entry.second);
        if (db != nullptr) sqlite3_close(db);
    }

    bool open(const std::string& path, StoreAccess access);

    void submitAll(const std::vector<PendingSubmission*>& batch) override;
    bool read(std::uint32_t offset, std::uint32_t count, std::vector<RankingEntry>& out) override;
    bool countNames(std::uint32_t& names) override;
    bool counts(StoreCounts& out) override;
    bool removeName(std::string_view cp932Name, bool& found) override;
    bool check(std::string& report) override;
    bool probe() override {
        // Rewrites the version it has: a page written, committed and flushed like a submission's.
        std::string write = "PRAGMA user_version = " + std::to_string(schemaVersion);
        if (execute("BEGIN IMMEDIATE") && execute(write.c_str()) && execute("COMMIT")) return true;
        std::string why = error;
        execute("ROLLBACK");
        error = why;
        return false;
    }
    ReplayOutcome storeReplay(const StoredReplay& replay, std::string_view address, std::int64_t now,
                              const RateLimit& limit, std::uint32_t& retryAfter) override;
    void storeReplays(const std::vector<PendingReplay*>& batch) override;
    bool readReplay(std::string_view key, StoredReplay& out, bool& found) override;
    bool readReplays(std::string_view after, std::uint32_t count, std::vector<StoredReplay>& out) override;

private:
    // A cached statement, reset and unbound when the scope that uses it ends. A FastCGI process
    // answers many requests with one connection, so each statement is prepared once.
    class Use {
    public:
        Use(SqliteStore& store, const char* sql) {
            for (auto& [text, stmt] : store.statements)
                if (text == sql) statement = stmt;
            if (statement == nullptr &&
                sqlite3_prepare_v3(store.db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) == SQLITE_OK)
                store.statements.emplace_back(sql, statement);
        }
        ~Use() {
            if (statement != nullptr) {
                sqlite3_reset(statement);
                sqlite3_clear_bindings(statement);
            }
        }
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;
        // Steps a statement that changes rows.
        bool done() { return statement != nullptr && sqlite3_step(statement) == SQLITE_DONE; }
        // Steps a statement that yields one integer; false on any error.
        bool integer(std::int64_t& out) {
            if (statement == nullptr || sqlite3_step(statement) != SQLITE_ROW) return false;
            out = sqlite3_column_int64(statement, 0);
            return true;
        }
        sqlite3_stmt* statement = nullptr;
    };

    bool execute(const char* sql) {
        if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK) return true;
        error = sqlite3_errmsg(db);
        return false;
    }
    bool fail() {
        error = sqlite3_errmsg(db);
        return false;
    }
    bool setUp(StoreAccess access);
    bool readVersion(std::int64_t& version, std::int64_t& tables, std::int64_t& ours);
    bool addCounts(std::uint32_t score, std::int64_t delta, std::uint32_t unchangedFrom = 0, bool skipShared = false);
    bool namesAbove(std::uint32_t score, std::int64_t& out);
    bool storeSubmission(const Submission& submission, std::string_view address, std::int64_t now,
                         const std::string& replay, SubmitResult& result);
    bool keyStep(const char* sql, std::string_view key);
    // One replay's rows, inside the caller's transaction.
    ReplayOutcome storeReplayRow(PendingReplay& pending);
    // The rate limit, for submissions and replays alike: `countSql` counts the address's since the
    // window began, `oldestSql` finds when the oldest that counts leaves it. `retryAfter` is 0 when
    // one more is allowed. False when the store cannot be read.
    bool overLimit(const char* countSql, const char* oldestSql, std::string_view address, const RateLimit& limit,
                   std::int64_t now, std::uint32_t& retryAfter);
    bool commitTogether(const std::vector<PendingSubmission*>& batch);
    bool storeOne(PendingSubmission& pending);
    bool readTop(std::uint32_t offset, std::uint32_t count, std::vector<RankingEntry>& out);

    sqlite3* db = nullptr;
    std::vector<std::pair<const char*, sqlite3_stmt*>> statements;
    // The place counts' SQL (placeCounts.h), kept for the statement cache, which knows a
    // statement by the address of its text.
    const std::string countAbove = "SELECT " + namesAboveSql("placeCounts", "?1");
    const std::string namesSql = countNamesSql("placeCounts");
    const std::string rebuildCounts = rebuildPlaceCountsSql("placeCounts");
    const std::string countsDiffer = placeCountsDifferSql("placeCounts");
    const std::string countRows = placeCountRowsSql("placeCounts", false);
    CheckpointMark checkpointMark;
    int failedWith = SQLITE_OK;  // the error code of the latest failed submission
    bool hasCounts = true;       // false only for a version 1 file opened read-only
    bool hasReplays = true;      // false only for a file before version 4 opened read-only
};

bool SqliteStore::open(const std::string& path, StoreAccess access) {
    int flags = SQLITE_OPEN_NOMUTEX;
    if (access == StoreAccess::serve)
        flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    else if (access == StoreAccess::modify)
        flags |= SQLITE_OPEN_READWRITE;
    else
        flags |= SQLITE_OPEN_READONLY;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        error = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
        return false;
    }
    // Several processes (FastCGI workers, CGI runs, the admin command) share the file: wait for a
    // writer rather than fail at once.
    sqlite3_busy_handler(db, waitForLock, nullptr);
    // Two processes meeting a new file both want to set it up; the loser can be told "locked" at
    // once, without the busy handler (SQLite will not wait where waiting could deadlock). Try
    // again for a while: the winner takes milliseconds.
    for (int attempt = 0;; ++attempt) {
        if (setUp(access)) return true;
        int code = sqlite3_errcode(db) & 0xFF;
        if ((code != SQLITE_BUSY && code != SQLITE_LOCKED) || attempt >= 1000) return false;
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        usleep(5000);
    }
}

bool SqliteStore::readVersion(std::int64_t& version, std::int64_t& tables, std::int64_t& ours) {
    Use v(*this, "PRAGMA user_version");
    Use t(*this,
          "SELECT COUNT(*), COUNT(*) FILTER (WHERE name IN ('submissions', 'names')) FROM sqlite_schema "
          "WHERE type = 'table'");
    if (!v.integer(version) || t.statement == nullptr || sqlite3_step(t.statement) != SQLITE_ROW) return fail();
    tables = sqlite3_column_int64(t.statement, 0);
    ours = sqlite3_column_int64(t.statement, 1);
    return true;
}

bool SqliteStore::setUp(StoreAccess access) {
    error.clear();
    // First only look: a file that is not a ranking of this program, or one of a newer version,
    // is left exactly as it was.
    std::int64_t version = -1, tables = 0, ours = 0;
    if (!execute("BEGIN")) return false;
    bool read = readVersion(version, tables, ours);
    execute("COMMIT");
    if (!read) return false;
    bool empty = version == 0 && tables == 0;
    if (version > schemaVersion)
        error = "the ranking was written by a newer version of the program";
    else if (!empty && (version < 1 || ours != 2))
        error = "not a Pilaro ranking";
    else if (empty && access != StoreAccess::serve)
        error = "not a Pilaro ranking (the file is empty)";
    if (!error.empty()) return false;
    if (access == StoreAccess::readOnly) {
        hasCounts = version >= 2;
        hasReplays = version >= 4;
        return true;
    }
    // WAL lets the page be read while a submission is written. FULL sync flushes the log at every
    // commit, before its submissions are answered: a submission acknowledged is on the disk, and
    // survives a crash of the machine. One commit is one batch (SharedStore), so one flush.
    if (empty && !execute(newFilePageSize)) return false;
    if (!execute("PRAGMA journal_mode = WAL") || !execute("PRAGMA synchronous = FULL")) return false;
    std::int64_t pageSize = 4096;
    {
        Use size(*this, "PRAGMA page_size");
        size.integer(pageSize);
    }
    checkpointMark.pages = static_cast<int>(walCheckpointBytes / (pageSize > 0 ? pageSize : 4096));
    sqlite3_wal_hook(db, checkpointWhenLong, &checkpointMark);
    if (!execute(walSizeLimitPragma)) return false;
    if (version == schemaVersion) return true;
    // Create or upgrade under the write lock, looking again: another process may have done it.
    if (!execute("BEGIN IMMEDIATE")) return false;
    bool ok = readVersion(version, tables, ours);
    if (ok && version < schemaVersion)
        ok = execute(schemaSql) && execute(addReplayColumn) && execute(rebuildCounts.c_str()) &&
             execute(("PRAGMA user_version = " + std::to_string(schemaVersion)).c_str());
    if (ok && execute("COMMIT")) return true;
    std::string why = error;
    execute("ROLLBACK");
    error = why;
    return false;
}

bool SqliteStore::addCounts(std::uint32_t score, std::int64_t delta, std::uint32_t other, bool skipShared) {
    Use add(*this, sqlAddCount);
    for (int k = 0; k < placeCountLevels; ++k) {
        std::int64_t prefix = placePrefix(score, k);
        // A name that moves keeps its count on the levels where both scores share a prefix.
        if (skipShared && prefix == placePrefix(other, k)) continue;
        sqlite3_bind_int(add.statement, 1, k);
        sqlite3_bind_int64(add.statement, 2, prefix);
        sqlite3_bind_int64(add.statement, 3, delta);
        if (!add.done()) return fail();
        sqlite3_reset(add.statement);
    }
    return true;
}

bool SqliteStore::namesAbove(std::uint32_t score, std::int64_t& out) {
    Use above(*this, countAbove.c_str());
    if (above.statement == nullptr) return fail();
    sqlite3_bind_int64(above.statement, 1, score);
    return above.integer(out) || fail();
}

bool SqliteStore::overLimit(const char* countSql, const char* oldestSql, std::string_view address,
                            const RateLimit& limit, std::int64_t now, std::uint32_t& retryAfter) {
    retryAfter = 0;
    if (limit.count == 0) return true;
    std::int64_t since = now - static_cast<std::int64_t>(limit.seconds), made = 0;
    {
        Use recent(*this, countSql);
        if (recent.statement == nullptr) return fail();
        bindText(recent.statement, 1, address);
        sqlite3_bind_int64(recent.statement, 2, since);
        if (!recent.integer(made)) return fail();
    }
    if (made < static_cast<std::int64_t>(limit.count)) return true;
    // The next one is allowed once the oldest of the latest `count` leaves the window.
    Use oldest(*this, oldestSql);
    bindText(oldest.statement, 1, address);
    sqlite3_bind_int64(oldest.statement, 2, since);
    sqlite3_bind_int64(oldest.statement, 3, made - static_cast<std::int64_t>(limit.count));
    std::int64_t at = now;
    oldest.integer(at);
    std::int64_t left = at + static_cast<std::int64_t>(limit.seconds) - now;
    retryAfter = static_cast<std::uint32_t>(left < 1 ? 1 : left);
    return true;
}

bool SqliteStore::keyStep(const char* sql, std::string_view key) {
    Use step(*this, sql);
    return (step.statement != nullptr && bindBlob(step.statement, 1, key) && step.done()) || fail();
}

bool SqliteStore::storeSubmission(const Submission& submission, std::string_view address, std::int64_t now,
                                  const std::string& replay, SubmitResult& result) {
    std::int64_t id = 0;
    {
        Use insert(*this, sqlInsertSubmission);
        if (insert.statement == nullptr) return fail();
        bindBlob(insert.statement, 1, submission.name);
        sqlite3_bind_int64(insert.statement, 2, submission.score);
        bindText(insert.statement, 3, address);
        sqlite3_bind_int64(insert.statement, 4, now);
        if (!insert.done()) return fail();
        id = sqlite3_last_insert_rowid(db);
    }
    std::uint32_t best = submission.score;
    std::uint32_t previous = 0;
    std::int64_t bestSubmission = id;
    bool known = false;
    std::string previousReplay;
    {
        Use select(*this, sqlSelectName);
        if (select.statement == nullptr) return fail();
        bindBlob(select.statement, 1, submission.name);
        int rc = sqlite3_step(select.statement);
        if (rc == SQLITE_ROW) {
            known = true;
            previous = static_cast<std::uint32_t>(sqlite3_column_int64(select.statement, 0));
            previousReplay = columnBlob(select.statement, 2);
            if (previous >= submission.score) {
                best = previous;
                bestSubmission = sqlite3_column_int64(select.statement, 1);
            }
        } else if (rc != SQLITE_DONE) {
            return fail();
        }
    }
    result.improved = bestSubmission == id;
    result.bestScore = best;
    std::int64_t above = 0, tied = 0;
    if (result.improved) {
        Use write(*this, known ? sqlUpdateName : sqlInsertName);
        if (write.statement == nullptr) return fail();
        bindBlob(write.statement, 1, submission.name);
        sqlite3_bind_int64(write.statement, 2, submission.score);
        sqlite3_bind_int64(write.statement, 3, id);
        if (!replay.empty()) bindBlob(write.statement, 4, replay);
        if (!write.done()) return fail();
        if (known && !addCounts(previous, -1, best, true)) return false;
        if (!addCounts(best, 1, previous, known)) return false;
        // The newest submission is behind every name already at its score.
        Use at(*this, sqlCountAt);
        sqlite3_bind_int64(at.statement, 1, best);
        if (!at.integer(tied)) return fail();
        --tied;
    } else {
        Use before(*this, sqlCountTiedBefore);
        sqlite3_bind_int64(before.statement, 1, best);
        sqlite3_bind_int64(before.statement, 2, bestSubmission);
        if (!before.integer(tied)) return fail();
    }
    // Only the replay behind a name's best is kept: the one it replaces goes, and so does a matched
    // one that did not make a new best.
    result.verified = !replay.empty();
    if (result.improved && !previousReplay.empty() && previousReplay != replay &&
        !keyStep(sqlDropReplay, previousReplay))
        return false;
    if (!replay.empty() && !keyStep(result.improved ? sqlKeepReplay : sqlDropReplay, replay)) return false;
    if (!namesAbove(best, above)) return false;
    result.place = static_cast<std::uint32_t>(above + tied + 1);
    return true;
}

void SqliteStore::submitAll(const std::vector<PendingSubmission*>& batch) {
    if (commitTogether(batch)) return;
    int code = failedWith;
    if ((code & 0xFF) == SQLITE_FULL || code == SQLITE_IOERR_WRITE) {
        // A full disk: the log's pages may fit in the database's free pages. Copy them over, empty
        // the log to give its room back, and try once more.
        sqlite3_wal_checkpoint_v2(db, "main", SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
        if (commitTogether(batch)) return;
    }
    // Nothing of the batch was stored. A lock that stayed taken through the whole busy time-out
    // would keep each of them waiting as long again: they all fail now. Otherwise each on its own,
    // so that one that cannot be stored does not take the others with it.
    if ((code & 0xFF) == SQLITE_BUSY) return;
    if (batch.size() > 1)
        for (PendingSubmission* pending : batch) submitAll({pending});
}

bool SqliteStore::commitTogether(const std::vector<PendingSubmission*>& batch) {
    // IMMEDIATE takes the write lock first, so the rate count and the writes see one state and
    // two writers never deadlock on a lock upgrade.
    bool ok = execute("BEGIN IMMEDIATE");
    for (PendingSubmission* pending : batch) {
        pending->result = SubmitResult{};
        ok = ok && storeOne(*pending);
    }
    if (ok && execute("COMMIT")) {
        for (PendingSubmission* pending : batch) {
            if (pending->result.outcome == SubmitOutcome::storageFailed)
                pending->result.outcome = SubmitOutcome::accepted;
            pending->error.clear();  // from a batch that failed before this one
        }
        return true;
    }
    // A failed COMMIT (a full disk) may have rolled back already; a second ROLLBACK is harmless.
    failedWith = sqlite3_extended_errcode(db);
    std::string why = error;
    execute("ROLLBACK");
    for (PendingSubmission* pending : batch) {
        pending->result = SubmitResult{};
        pending->topTen.clear();
        pending->error = why;
    }
    return false;
}

bool SqliteStore::storeOne(PendingSubmission& pending) {
    std::string_view address = pending.address;
    const RateLimit& limit = pending.limit;
    std::int64_t now = pending.now;
    // A submission is kept only while the rate limit may still count it; without a limit its
    // address is never stored, and what was kept before the limit was turned off goes as well.
    std::int64_t since = now - (limit.count > 0 ? static_cast<std::int64_t>(limit.seconds) : 0);
    {
        Use prune(*this, sqlPruneHistory);
        sqlite3_bind_int64(prune.statement, 1, since);
        if (!prune.done()) return fail();
    }
    if (limit.count == 0) address = {};
    std::uint32_t retryAfter = 0;
    if (!overLimit(sqlRecentFromAddress, sqlOldestCounted, address, limit, now, retryAfter)) return false;
    if (retryAfter != 0) {
        pending.result.outcome = SubmitOutcome::rateLimited;
        pending.result.retryAfter = retryAfter;
        return true;  // nothing written but the forgetting
    }
    // The replay accepted shortly before from the same address for the same name and score.
    std::string replay;
    {
        Use match(*this, sqlMatchReplay);
        if (match.statement == nullptr) return fail();
        bindBlob(match.statement, 1, pending.submission.name);
        sqlite3_bind_int64(match.statement, 2, pending.submission.score);
        bindText(match.statement, 3, pending.address);
        sqlite3_bind_int64(match.statement, 4, now - replayMatchSeconds);
        int rc = sqlite3_step(match.statement);
        if (rc == SQLITE_ROW) replay = columnBlob(match.statement, 0);
        else if (rc != SQLITE_DONE) return fail();
    }
    if (replay.empty() && pending.verifiedOnly) {
        pending.result.outcome = SubmitOutcome::notVerified;
        return true;  // nothing written but the forgetting
    }
    return storeSubmission(pending.submission, address, now, replay, pending.result) &&
           readTop(0, 10, pending.topTen);
}

bool SqliteStore::readTop(std::uint32_t offset, std::uint32_t count, std::vector<RankingEntry>& out) {
    out.clear();
    std::uint32_t score = 0;
    std::uint64_t skip = offset;
    if (offset > 0 && hasCounts) {
        bool found = false;
        Use rows(*this, countRows.c_str());
        if (rows.statement == nullptr) return fail();
        auto readRows = [&](int level, std::int64_t first, std::int64_t last,
                            std::vector<std::pair<std::int64_t, std::int64_t>>& counts) {
            counts.clear();
            sqlite3_reset(rows.statement);
            sqlite3_bind_int(rows.statement, 1, level);
            sqlite3_bind_int64(rows.statement, 2, first);
            sqlite3_bind_int64(rows.statement, 3, last);
            int rc;
            while ((rc = sqlite3_step(rows.statement)) == SQLITE_ROW)
                counts.emplace_back(sqlite3_column_int64(rows.statement, 0), sqlite3_column_int64(rows.statement, 1));
            return rc == SQLITE_DONE;
        };
        if (!findPlace(offset, readRows, found, score, skip)) return fail();
        if (!found) return true;  // past the last place
    }
    Use read(*this, !hasReplays ? sqlReadRankingOld : offset > 0 && hasCounts ? sqlReadFromScore : sqlReadRanking);
    if (read.statement == nullptr) return fail();
    sqlite3_bind_int64(read.statement, 1, count);
    sqlite3_bind_int64(read.statement, 2, static_cast<std::int64_t>(skip));
    if (offset > 0 && hasCounts) sqlite3_bind_int64(read.statement, 3, score);
    int rc;
    while ((rc = sqlite3_step(read.statement)) == SQLITE_ROW) {
        RankingEntry entry;
        entry.place = offset + static_cast<std::uint32_t>(out.size()) + 1;
        const void* name = sqlite3_column_blob(read.statement, 0);
        int size = sqlite3_column_bytes(read.statement, 0);
        if (name != nullptr) entry.name.assign(static_cast<const char*>(name), static_cast<std::size_t>(size));
        entry.score = static_cast<std::uint32_t>(sqlite3_column_int64(read.statement, 1));
        entry.replay = columnBlob(read.statement, 2);
        out.push_back(std::move(entry));
    }
    return rc == SQLITE_DONE || fail();
}

bool SqliteStore::read(std::uint32_t offset, std::uint32_t count, std::vector<RankingEntry>& out) {
    // One snapshot for the walk down the counts and the names it finds.
    if (!execute("BEGIN")) return false;
    bool ok = readTop(offset, count, out);
    execute("COMMIT");
    return ok;
}

bool SqliteStore::countNames(std::uint32_t& names) {
    std::int64_t count = 0;
    Use n(*this, hasCounts ? namesSql.c_str() : sqlCountNamesByScan);
    if (!n.integer(count)) return fail();
    names = static_cast<std::uint32_t>(count);
    return true;
}

bool SqliteStore::counts(StoreCounts& out) {
    std::int64_t submissions = 0, addresses = 0;
    Use s(*this, sqlCountSubmissions);
    Use a(*this, sqlCountAddresses);
    if (!countNames(out.names) || !s.integer(submissions) || !a.integer(addresses)) return fail();
    out.submissions = static_cast<std::uint64_t>(submissions);
    out.addressesKept = static_cast<std::uint64_t>(addresses);
    return true;
}

bool SqliteStore::removeName(std::string_view cp932Name, bool& found) {
    found = false;
    if (!execute("BEGIN IMMEDIATE")) return false;
    bool ok;
    {
        Use remove(*this, sqlRemoveName);
        bindBlob(remove.statement, 1, cp932Name);
        int rc = remove.statement != nullptr ? sqlite3_step(remove.statement) : SQLITE_ERROR;
        found = rc == SQLITE_ROW;
        std::uint32_t score = found ? static_cast<std::uint32_t>(sqlite3_column_int64(remove.statement, 0)) : 0;
        std::string replay = found ? columnBlob(remove.statement, 1) : std::string();
        ok = (rc == SQLITE_ROW || rc == SQLITE_DONE || fail()) &&
             (!found || sqlite3_step(remove.statement) == SQLITE_DONE);
        ok = ok && (!found || addCounts(score, -1)) && (replay.empty() || keyStep(sqlDropReplay, replay));
    }
    if (ok && execute("COMMIT")) return true;
    execute("ROLLBACK");
    found = false;
    return false;
}

bool SqliteStore::check(std::string& report) {
    report.clear();
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr) != SQLITE_OK) return fail();
    while (sqlite3_step(s) == SQLITE_ROW) {
        if (!report.empty()) report += '\n';
        report += reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    }
    sqlite3_finalize(s);
    if (report != "ok" || !hasCounts) return report == "ok";
    // The place counts must be what the names give.
    std::int64_t wrong = 0;
    Use compare(*this, countsDiffer.c_str());
    if (!compare.integer(wrong)) return fail();
    if (wrong != 0) report = "place counts differ from the names in " + std::to_string(wrong) + " rows";
    return wrong == 0;
}

ReplayOutcome SqliteStore::storeReplay(const StoredReplay& replay, std::string_view address, std::int64_t now,
                                       const RateLimit& limit, std::uint32_t& retryAfter) {
    PendingReplay pending{replay, std::string(address), now, limit, {}, 0, {}, false};
    storeReplays({&pending});
    retryAfter = pending.retryAfter;
    return pending.outcome;
}

ReplayOutcome SqliteStore::storeReplayRow(PendingReplay& pending) {
    const StoredReplay& replay = pending.replay;
    std::int64_t window = pending.limit.count > 0 ? static_cast<std::int64_t>(pending.limit.seconds) : 0;
    pending.retryAfter = 0;
    {
        Use prune(*this, sqlPruneReplays);
        sqlite3_bind_int64(prune.statement, 1, pending.now - std::max(window, replayMatchSeconds));
        if (!prune.done()) return fail(), ReplayOutcome::storageFailed;
    }
    {
        Use owner(*this, sqlReplayName);
        bindBlob(owner.statement, 1, replay.key);
        int rc = owner.statement != nullptr ? sqlite3_step(owner.statement) : SQLITE_ERROR;
        if (rc == SQLITE_ROW && columnBlob(owner.statement, 0) != replay.name) return ReplayOutcome::otherName;
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) return fail(), ReplayOutcome::storageFailed;
    }
    if (!overLimit(sqlReplaysFromAddress, sqlOldestReplayCounted, pending.address, pending.limit, pending.now,
                   pending.retryAfter))
        return ReplayOutcome::storageFailed;
    if (pending.retryAfter != 0) return ReplayOutcome::rateLimited;
    Use insert(*this, sqlInsertReplay);
    if (insert.statement == nullptr) return fail(), ReplayOutcome::storageFailed;
    bindBlob(insert.statement, 1, replay.key);
    bindBlob(insert.statement, 2, replay.name);
    sqlite3_bind_int64(insert.statement, 3, replay.score);
    bindText(insert.statement, 4, pending.address);
    sqlite3_bind_int64(insert.statement, 5, pending.now);
    bindBlob(insert.statement, 6, replay.recording);
    return insert.done() ? ReplayOutcome::accepted : (fail(), ReplayOutcome::storageFailed);
}

void SqliteStore::storeReplays(const std::vector<PendingReplay*>& batch) {
    // One transaction for the replays that meet. NORMAL: the commit does not wait for the disk; the
    // FULL commit of the submission that each verifies, after it, does.
    bool ok = execute("PRAGMA synchronous = NORMAL") && execute("BEGIN IMMEDIATE");
    for (std::size_t i = 0; ok && i < batch.size(); ++i)
        ok = (batch[i]->outcome = storeReplayRow(*batch[i])) != ReplayOutcome::storageFailed;
    ok = ok && execute("COMMIT");
    std::string why = error;
    if (!ok) execute("ROLLBACK");
    ok = execute("PRAGMA synchronous = FULL") && ok;
    if (ok) return;
    // Nothing of the batch is stored: each is refused (a store that fails fails them all alike).
    for (PendingReplay* pending : batch) pending->outcome = ReplayOutcome::storageFailed, pending->error = why;
    error = why;
}

bool SqliteStore::readReplay(std::string_view key, StoredReplay& out, bool& found) {
    found = false;
    if (!hasReplays) return true;
    Use read(*this, sqlReadReplay);
    if (read.statement == nullptr) return fail();
    bindBlob(read.statement, 1, key);
    int rc = sqlite3_step(read.statement);
    if (rc == SQLITE_ROW) {
        found = true;
        out.key = key;
        out.name = columnBlob(read.statement, 0);
        out.score = static_cast<std::uint32_t>(sqlite3_column_int64(read.statement, 1));
        out.recording = columnBlob(read.statement, 2);
    }
    return rc == SQLITE_ROW || rc == SQLITE_DONE || fail();
}

bool SqliteStore::readReplays(std::string_view after, std::uint32_t count, std::vector<StoredReplay>& out) {
    out.clear();
    if (!hasReplays) return true;
    Use read(*this, sqlReadReplays);
    if (read.statement == nullptr) return fail();
    bindBlob(read.statement, 1, after);
    sqlite3_bind_int64(read.statement, 2, count);
    int rc;
    while ((rc = sqlite3_step(read.statement)) == SQLITE_ROW)
        out.push_back({columnBlob(read.statement, 0), columnBlob(read.statement, 1),
                       static_cast<std::uint32_t>(sqlite3_column_int64(read.statement, 2)),
                       columnBlob(read.statement, 3)});
    return rc == SQLITE_DONE || fail();
}

}  // namespace

std::unique_ptr<RankingStore> openSqliteStore(const std::string& path, StoreAccess access, std::string& error) {
    auto store = std::make_unique<SqliteStore>();
    if (store->open(path, access)) return store;
    error = store->lastError();
    return nullptr;
}
