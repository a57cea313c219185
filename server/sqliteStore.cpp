// sqliteStore.cpp: the ranking in one SQLite file, shared by the web server's processes and the
// operator's command.
#include "moderationSql.h"
#include "placeCounts.h"
#include "replayCheck.h"
#include "replaySql.h"
#include "rulesSql.h"
#include "store.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <unistd.h>
#include <utility>

namespace {

// The schema's version in PRAGMA user_version; 0 is a new, empty file. Version 1 had no place
// counts; version 2 kept every submission, and an index of the addresses to forget; version 3 had
// no replays; version 4 no moderation; versions before 7 had no period boards; versions before 8
// named their tables, indexes and triggers in camelCase. Opening an older file to serve or modify
// brings it to this version, one step after the other.
constexpr int schemaVersion = 8;
constexpr int moderationVersion = 5;
constexpr int periodBoardsVersion = 7;
constexpr int sharedNamesVersion = 8;

// Version 8 names everything as the PostgreSQL store does: PostgreSQL folds unquoted names to lower
// case, so snake_case is the one naming that both stores can show. The tables are renamed with
// their rows; the indexes and triggers, which SQLite cannot rename, are dropped and made again by
// the schema's own SQL, which makes what is missing.
const std::pair<const char*, const char*> renamedTables[] = {
    {"placeCounts", "place_counts"}, {"periodBests", "period_bests"}, {"periodCounts", "period_counts"}};
const char* const dropCamelCaseSql =
    "DROP TRIGGER IF EXISTS placeCountsEmptied; DROP TRIGGER IF EXISTS periodCountsEmptied;"
    "DROP TRIGGER IF EXISTS periodBestAdded; DROP TRIGGER IF EXISTS periodBestRaised;"
    "DROP TRIGGER IF EXISTS periodBestGone; DROP TRIGGER IF EXISTS periodBestsOfName;"
    "DROP TRIGGER IF EXISTS periodBestsOfSubmission; DROP INDEX IF EXISTS submissionsByAddress;"
    "DROP INDEX IF EXISTS namesByPlace; DROP INDEX IF EXISTS replaysWaiting; DROP INDEX IF EXISTS periodBestsByPlace;";

const char* const schemaSql =
    "CREATE TABLE IF NOT EXISTS submissions("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  name BLOB NOT NULL,"
    "  score INTEGER NOT NULL,"
    "  address TEXT NOT NULL,"
    "  at INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS submissions_by_address ON submissions(address, at);"
    // One row per name: its best score and the submission that first reached it, which decides
    // ties (the earlier one stays ahead).
    "CREATE TABLE IF NOT EXISTS names("
    "  name BLOB PRIMARY KEY,"
    "  score INTEGER NOT NULL,"
    "  submission INTEGER NOT NULL) WITHOUT ROWID;"
    "CREATE INDEX IF NOT EXISTS names_by_place ON names(score DESC, submission);"
    // How many names have a best score in each range (placeCounts.h): counting index entries
    // walked the whole ranking below the top.
    "CREATE TABLE IF NOT EXISTS place_counts("
    "  level INTEGER NOT NULL,"
    "  prefix INTEGER NOT NULL,"
    "  names INTEGER NOT NULL,"
    "  PRIMARY KEY(level, prefix)) WITHOUT ROWID;"
    // A range that no name holds any longer goes: a name climbing through ever new scores left
    // rows of nought behind it on every level, for ever.
    "CREATE TRIGGER IF NOT EXISTS place_counts_emptied AFTER UPDATE OF names ON place_counts WHEN NEW.names = 0 "
    "BEGIN DELETE FROM place_counts WHERE level = NEW.level AND prefix = NEW.prefix; END;"
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
    "CREATE INDEX IF NOT EXISTS replays_waiting ON replays(address, at) WHERE NOT kept;";
// Before version 4 a name's best had no replay behind it.
const char* const addReplayColumn = "ALTER TABLE names ADD COLUMN replay BLOB";
// Version 5: the operator's moderation (moderationSql.h).
const char* const moderationSchemaSql =
    "CREATE TABLE IF NOT EXISTS hidden("
    "  name BLOB PRIMARY KEY,"
    "  score INTEGER NOT NULL,"
    "  submission INTEGER NOT NULL,"
    "  replay BLOB,"
    "  reason TEXT NOT NULL,"
    "  at INTEGER NOT NULL) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS refused(folded TEXT PRIMARY KEY, name TEXT NOT NULL, at INTEGER NOT NULL) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS audit("
    "  id INTEGER PRIMARY KEY,"
    "  at INTEGER NOT NULL,"
    "  action TEXT NOT NULL,"
    "  name TEXT NOT NULL,"
    "  reason TEXT NOT NULL);";

// A period board's place counts, as placeCounts.h's SQL takes a table: its board by the
// parameters `period` and `period` + 1.
std::string periodCountsOf(int period) {
    return "(SELECT level, prefix, names FROM period_counts WHERE period = ?" + std::to_string(period) +
           " AND start = ?" + std::to_string(period + 1) + ") c";
}
const char* const sqlNameOnAllTime = "SELECT score, submission FROM names WHERE name = ?3";
const char* const sqlNameOnPeriod = "SELECT score, submission FROM period_bests WHERE period = ?1 AND start = ?2 AND name = ?3";
const char* const sqlReadPeriod =
    "SELECT b.name, b.score, n.replay FROM period_bests b LEFT JOIN names n ON n.name = b.name AND "
    "n.submission = b.submission WHERE b.period = ?4 AND b.start = ?5 AND b.score <= ?3 "
    "ORDER BY b.score DESC, b.submission LIMIT ?1 OFFSET ?2";

const char* const sqlInsertSubmission = "INSERT INTO submissions(name, score, address, at) VALUES(?1, ?2, ?3, ?4)";
const char* const sqlSelectName = "SELECT score, submission, replay FROM names WHERE name = ?1";
const char* const sqlInsertName = "INSERT INTO names(name, score, submission, replay) VALUES(?1, ?2, ?3, ?4)";
const char* const sqlUpdateName = "UPDATE names SET score = ?2, submission = ?3, replay = ?4 WHERE name = ?1";
const char* const sqlAddCount =
    "INSERT INTO place_counts(level, prefix, names) VALUES(?1, ?2, ?3) "
    "ON CONFLICT(level, prefix) DO UPDATE SET names = names + excluded.names";
const char* const sqlCountAt = "SELECT names FROM place_counts WHERE level = 0 AND prefix = ?1";
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
    bool readBoard(const BoardKey& board, std::uint32_t offset, std::uint32_t count,
                   std::vector<RankingEntry>& out) override;
    bool countBoard(const BoardKey& board, std::uint32_t& names) override;
    bool placeOf(const BoardKey& board, std::string_view cp932Name, std::uint32_t& place) override;
    bool counts(StoreCounts& out) override;
    bool removeName(std::string_view cp932Name, bool& found) override;
    bool check(std::string& report) override;
    bool probe() override {
        // Rewrites the version it has: a page written, committed and flushed like a submission's.
        // That page fits where the log has room even on a full disk, so the file is also asked to
        // grow by healthRoomBytes (allocated past its end, as SQLite's chunked growth does).
        std::string write = "PRAGMA user_version = " + std::to_string(schemaVersion);
        if (!roomToGrow()) return false;
        if (execute("BEGIN IMMEDIATE") && execute(write.c_str()) && execute("COMMIT")) return true;
        std::string why = error;
        execute("ROLLBACK");
        error = why;
        return false;
    }
    bool moderate(Moderation what, std::string_view cp932Name, std::string_view folded, std::string_view shownName,
                  std::string_view reason, std::int64_t now, bool& changed) override;
    bool logAction(std::string_view action, std::string_view shownName, std::string_view reason,
                   std::int64_t now) override;
    bool readLog(std::vector<AuditEntry>& out) override;
    bool heldBack(std::string_view cp932Name, std::string_view folded, bool& held) override {
        Use check(*this, sqlHeldBack);
        std::int64_t count = 0;
        bool read = check.statement != nullptr && bindBlob(check.statement, 1, cp932Name) &&
                    bindText(check.statement, 2, folded) && check.integer(count);
        held = count > 0;
        return read || fail();
    }
    ReplayOutcome storeReplay(const StoredReplay& replay, std::string_view address, std::int64_t now,
                              const RateLimit& limit, std::uint32_t& retryAfter) override;
    void storeReplays(const std::vector<PendingReplay*>& batch) override;
    bool readReplay(std::string_view key, StoredReplay& out, bool& found) override;
    bool readReplays(std::string_view after, std::uint32_t count, std::vector<StoredReplay>& out) override;

private:
    bool roomToGrow() {
        sqlite3_file* file = nullptr;
        sqlite3_int64 size = 0;
        if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK)
            return (error = "the database file cannot be reached", false);
        if (file == nullptr || file->pMethods == nullptr) return true;  // a store in memory has no file
        if (file->pMethods->xFileSize(file, &size) != SQLITE_OK)
            return (error = "the database file cannot be measured", false);
        // The hint allocates only with a chunk size set; it is unset again at once, so that the
        // file's later growth and truncation are as before (the room goes at the next checkpoint).
        int chunk = 1024;
        sqlite3_int64 wanted = size + healthRoomBytes;
        sqlite3_file_control(db, "main", SQLITE_FCNTL_CHUNK_SIZE, &chunk);
        bool grown = sqlite3_file_control(db, "main", SQLITE_FCNTL_SIZE_HINT, &wanted) == SQLITE_OK;
        chunk = 0;
        sqlite3_file_control(db, "main", SQLITE_FCNTL_CHUNK_SIZE, &chunk);
        if (!grown) error = "no room for the database file to grow by " + std::to_string(healthRoomBytes >> 10) + " KB";
        return grown;
    }

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
    bool hasTable(const char* name, bool& found);
    bool takeSharedNames(bool readOnly);
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
    bool readTop(const BoardKey& board, std::uint32_t offset, std::uint32_t count, std::vector<RankingEntry>& out);
    bool placeIn(const BoardKey& board, std::string_view name, std::uint32_t& place);

    sqlite3* db = nullptr;
    std::vector<std::pair<const char*, sqlite3_stmt*>> statements;
    // The place counts' SQL (placeCounts.h), kept for the statement cache, which knows a
    // statement by the address of its text.
    const std::string countAbove = "SELECT " + namesAboveSql("place_counts", "?1", false);
    const std::string namesSql = countNamesSql("place_counts");
    const std::string rebuildCounts = rebuildPlaceCountsSql("place_counts");
    const std::string countRows = placeCountRowsSql("place_counts", false);
    const std::string periodCountRows = placeCountRowsSql(periodCountsOf(4), false);
    const std::string periodNames = countNamesSql(periodCountsOf(1));
    const std::string periodAbove = "SELECT " + namesAboveSql(periodCountsOf(2), "?1", false);
    // The rules both stores run (rulesSql.h), with SQLite's parameters.
    const std::string recentFromAddress = withParameters(sqlRecentFromAddress, {"?1", "?2"});
    const std::string oldestCounted = withParameters(sqlOldestCounted, {"?1", "?2", "?3"});
    const std::string pruneHistory = withParameters(pruneHistorySql(false), {"?1", "0"});
    const std::string countTiedBefore = withParameters(sqlCountTiedBefore, {"?1", "?2"});
    const std::string periodTiedBefore = withParameters(sqlPeriodTiedBefore, {"?1", "?2", "?3", "?4"});
    CheckpointMark checkpointMark;
    int failedWith = SQLITE_OK;  // the error code of the latest failed submission
    bool hasCounts = true;       // false only for a version 1 file opened read-only
    bool hasReplays = true;      // false only for a file before version 4 opened read-only
    bool hasPeriods = true;      // false only for a file before the period boards opened read-only
    bool hasModeration = true;   // false only for a file before moderation opened read-only
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

bool SqliteStore::hasTable(const char* name, bool& found) {
    Use t(*this, "SELECT count(*) FROM main.sqlite_schema WHERE type = 'table' AND name = ?1");
    std::int64_t count = 0;
    if (t.statement == nullptr || sqlite3_bind_text(t.statement, 1, name, -1, SQLITE_STATIC) != SQLITE_OK ||
        !t.integer(count))
        return fail();
    found = count > 0;
    return true;
}

// Version 8's step (see renamedTables). A file opened to be read only is left as it is: its
// connection sees the old tables under the new names through views of its own (in the temporary
// schema, which a read-only connection may write).
bool SqliteStore::takeSharedNames(bool readOnly) {
    if (!readOnly && !execute(dropCamelCaseSql)) return false;
    for (const auto& [before, now] : renamedTables) {
        bool found = false;
        if (!hasTable(before, found)) return false;
        std::string sql = readOnly ? std::string("CREATE TEMP VIEW ") + now + " AS SELECT * FROM main." + before
                                   : std::string("ALTER TABLE ") + before + " RENAME TO " + now;
        if (found && !execute(sql.c_str())) return false;
    }
    bool periods = false;
    return readOnly || (execute(schemaSql) && hasTable("period_bests", periods) &&
                        (!periods || execute(sqlitePeriodBoardsSql().c_str())));
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
        error = newerRankingText;
    else if (!empty && (version < 1 || ours != 2))
        error = notRankingText;
    else if (empty && access != StoreAccess::serve)
        error = emptyRankingText;
    if (!error.empty()) return false;
    if (access == StoreAccess::readOnly) {
        hasCounts = version >= 2;
        hasReplays = version >= 4;
        hasPeriods = version >= periodBoardsVersion;
        hasModeration = version >= moderationVersion;
        return version >= sharedNamesVersion || takeSharedNames(true);
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
    // The renaming first, so that every step after it (written in today's names) finds its tables.
    if (ok && version > 0 && version < sharedNamesVersion) ok = takeSharedNames(false);
    if (ok && version < 4) ok = execute(schemaSql) && execute(addReplayColumn) && execute(rebuildCounts.c_str());
    // The period boards start empty: the history before them holds the rate window alone.
    if (ok && version < moderationVersion) ok = execute(moderationSchemaSql);
    if (ok && version < periodBoardsVersion) ok = execute(sqlitePeriodBoardsSql().c_str());
    if (ok && version < schemaVersion)
        ok = execute(("PRAGMA user_version = " + std::to_string(schemaVersion)).c_str());
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
        Use before(*this, countTiedBefore.c_str());
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
    // Checked in the write transaction, which a hide or a refusal also takes: none slips past one.
    bool held = false;
    if (!heldBack(pending.submission.name, foldedName(pending.submission.name), held)) return false;
    if (held) {
        pending.result.outcome = SubmitOutcome::heldBack;
        return true;  // nothing written
    }
    std::string_view address = pending.address;
    const RateLimit& limit = pending.limit;
    std::int64_t now = pending.now;
    // A submission is kept only while the rate limit may still count it; without a limit its
    // address is never stored, and what was kept before the limit was turned off goes as well.
    std::int64_t since = now - (limit.count > 0 ? static_cast<std::int64_t>(limit.seconds) : 0);
    {
        Use prune(*this, pruneHistory.c_str());
        sqlite3_bind_int64(prune.statement, 1, since);
        if (!prune.done()) return fail();
    }
    if (limit.count == 0) address = {};
    std::uint32_t retryAfter = 0;
    if (!overLimit(recentFromAddress.c_str(), oldestCounted.c_str(), address, limit, now, retryAfter)) return false;
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
           readTop({}, 0, 10, pending.topTen);
}

bool SqliteStore::readTop(const BoardKey& board, std::uint32_t offset, std::uint32_t count,
                          std::vector<RankingEntry>& out) {
    out.clear();
    bool period = board.board != Board::allTime;
    if (period && !hasPeriods) return true;
    std::uint32_t score = 0xFFFFFFFFu;
    std::uint64_t skip = offset;
    bool seek = offset > 0 && hasCounts;
    if (seek) {
        bool found = false;
        Use rows(*this, period ? periodCountRows.c_str() : countRows.c_str());
        if (rows.statement == nullptr) return fail();
        sqlite3_bind_int(rows.statement, 4, static_cast<int>(board.board));
        sqlite3_bind_int64(rows.statement, 5, board.start);
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
    Use read(*this, period ? sqlReadPeriod : !hasReplays ? sqlReadRankingOld : seek ? sqlReadFromScore : sqlReadRanking);
    if (read.statement == nullptr) return fail();
    sqlite3_bind_int64(read.statement, 1, count);
    sqlite3_bind_int64(read.statement, 2, static_cast<std::int64_t>(skip));
    if (seek || period) sqlite3_bind_int64(read.statement, 3, score);
    sqlite3_bind_int(read.statement, 4, static_cast<int>(board.board));
    sqlite3_bind_int64(read.statement, 5, board.start);
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
    return readBoard({}, offset, count, out);
}

bool SqliteStore::readBoard(const BoardKey& board, std::uint32_t offset, std::uint32_t count,
                            std::vector<RankingEntry>& out) {
    // One snapshot for the walk down the counts and the names it finds.
    if (!execute("BEGIN")) return false;
    bool ok = readTop(board, offset, count, out);
    execute("COMMIT");
    return ok;
}

bool SqliteStore::countBoard(const BoardKey& board, std::uint32_t& names) {
    if (board.board == Board::allTime) return countNames(names);
    names = 0;
    if (!hasPeriods) return true;
    std::int64_t count = 0;
    Use n(*this, periodNames.c_str());
    if (n.statement == nullptr) return fail();
    sqlite3_bind_int(n.statement, 1, static_cast<int>(board.board));
    sqlite3_bind_int64(n.statement, 2, board.start);
    if (!n.integer(count)) return fail();
    names = static_cast<std::uint32_t>(count);
    return true;
}

bool SqliteStore::placeOf(const BoardKey& board, std::string_view cp932Name, std::uint32_t& place) {
    place = 0;
    if (board.board != Board::allTime && !hasPeriods) return true;
    if (!execute("BEGIN")) return false;
    bool ok = placeIn(board, cp932Name, place);
    execute("COMMIT");
    return ok;
}

bool SqliteStore::placeIn(const BoardKey& board, std::string_view name, std::uint32_t& place) {
    bool period = board.board != Board::allTime;
    std::int64_t score = 0, submission = 0, above = 0, tied = 0;
    {
        Use find(*this, period ? sqlNameOnPeriod : sqlNameOnAllTime);
        if (find.statement == nullptr) return fail();
        sqlite3_bind_int(find.statement, 1, static_cast<int>(board.board));
        sqlite3_bind_int64(find.statement, 2, board.start);
        bindBlob(find.statement, 3, name);
        int rc = sqlite3_step(find.statement);
        if (rc == SQLITE_DONE) return true;  // not on the board
        if (rc != SQLITE_ROW) return fail();
        score = sqlite3_column_int64(find.statement, 0);
        submission = sqlite3_column_int64(find.statement, 1);
    }
    if (period) {
        Use a(*this, periodAbove.c_str());
        if (a.statement == nullptr) return fail();
        sqlite3_bind_int64(a.statement, 1, score);
        sqlite3_bind_int(a.statement, 2, static_cast<int>(board.board));
        sqlite3_bind_int64(a.statement, 3, board.start);
        if (!a.integer(above)) return fail();
    } else if (!namesAbove(static_cast<std::uint32_t>(score), above)) {
        return false;
    }
    Use t(*this, period ? periodTiedBefore.c_str() : countTiedBefore.c_str());
    if (t.statement == nullptr) return fail();
    sqlite3_bind_int64(t.statement, 1, score);
    sqlite3_bind_int64(t.statement, period ? 4 : 2, submission);
    if (period) {
        sqlite3_bind_int(t.statement, 2, static_cast<int>(board.board));
        sqlite3_bind_int64(t.statement, 3, board.start);
    }
    if (!t.integer(tied)) return fail();
    place = static_cast<std::uint32_t>(above + tied + 1);
    return true;
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

bool SqliteStore::moderate(Moderation what, std::string_view cp932Name, std::string_view folded,
                           std::string_view shownName, std::string_view reason, std::int64_t now, bool& changed) {
    changed = false;
    if (!execute("BEGIN IMMEDIATE")) return false;
    bool hide = what == Moderation::hide, ok = true;
    if (hide || what == Moderation::unhide) {
        // The entry moves between names and hidden whole, with its count.
        std::int64_t score = 0, submission = 0;
        std::string replay;
        {
            Use take(*this, hide ? sqlHideEntry : sqlUnhideEntry);
            int rc = take.statement != nullptr && bindBlob(take.statement, 1, cp932Name) ? sqlite3_step(take.statement)
                                                                                         : SQLITE_ERROR;
            changed = rc == SQLITE_ROW;
            if (changed) {
                score = sqlite3_column_int64(take.statement, 0);
                submission = sqlite3_column_int64(take.statement, 1);
                replay = columnBlob(take.statement, 2);
            }
            ok = (rc == SQLITE_ROW || rc == SQLITE_DONE || fail()) && (!changed || take.done() || fail());
        }
        if (ok && changed) {
            Use put(*this, hide ? sqlKeepHidden : sqlShowAgain);
            ok = put.statement != nullptr && bindBlob(put.statement, 1, cp932Name) &&
                 sqlite3_bind_int64(put.statement, 2, score) == SQLITE_OK &&
                 sqlite3_bind_int64(put.statement, 3, submission) == SQLITE_OK &&
                 (replay.empty() || bindBlob(put.statement, 4, replay)) &&
                 (!hide || (bindText(put.statement, 5, reason) && sqlite3_bind_int64(put.statement, 6, now) == SQLITE_OK)) &&
                 put.done();
            if (!ok)
                fail();
            else if (hide || sqlite3_changes(db) > 0)
                ok = addCounts(static_cast<std::uint32_t>(score), hide ? -1 : 1);
        }
    } else {
        Use change(*this, what == Moderation::refuse ? sqlRefuseName : sqlAllowName);
        ok = change.statement != nullptr && bindText(change.statement, 1, folded) &&
             (what == Moderation::allow ||
              (bindText(change.statement, 2, shownName) && sqlite3_bind_int64(change.statement, 3, now) == SQLITE_OK)) &&
             change.done();
        ok = ok || fail();
        changed = ok && sqlite3_changes(db) > 0;
    }
    ok = ok && (!changed || logAction(moderationActions[static_cast<int>(what)], shownName, reason, now));
    if (ok && execute("COMMIT")) return true;
    std::string why = error;
    execute("ROLLBACK");
    error = why;
    return false;
}

bool SqliteStore::logAction(std::string_view action, std::string_view shownName, std::string_view reason,
                            std::int64_t now) {
    Use log(*this, sqlLogAction);
    return (log.statement != nullptr && sqlite3_bind_int64(log.statement, 1, now) == SQLITE_OK &&
            bindText(log.statement, 2, action) && bindText(log.statement, 3, shownName) &&
            bindText(log.statement, 4, reason) && log.done()) ||
           fail();
}

bool SqliteStore::readLog(std::vector<AuditEntry>& out) {
    out.clear();
    Use log(*this, sqlReadLog);
    if (log.statement == nullptr) return fail();
    int rc;
    auto text = [&](int column) { return std::string(reinterpret_cast<const char*>(sqlite3_column_text(log.statement, column))); };
    while ((rc = sqlite3_step(log.statement)) == SQLITE_ROW)
        out.push_back({sqlite3_column_int64(log.statement, 0), text(1), text(2), text(3)});
    return rc == SQLITE_DONE || fail();
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
    if (report != "ok") return false;
    // Then the rows that must agree, of the tables the file has.
    std::vector<std::int64_t> rows;
    for (const RowCheck& each : rowChecks()) {
        bool has = each.part == StorePart::placeCounts ? hasCounts
                   : each.part == StorePart::periodBoards ? hasPeriods : hasModeration;
        rows.push_back(0);
        if (!has) continue;
        Use count(*this, each.sql.c_str());
        if (!count.integer(rows.back())) return report.clear(), fail();
    }
    return rowsReport(rows, report);
}

ReplayOutcome SqliteStore::storeReplay(const StoredReplay& replay, std::string_view address, std::int64_t now,
                                       const RateLimit& limit, std::uint32_t& retryAfter) {
    PendingReplay pending{replay, std::string(address), now, limit, {}, 0, {}};
    storeReplays({&pending});
    retryAfter = pending.retryAfter;
    return pending.outcome;
}

ReplayOutcome SqliteStore::storeReplayRow(PendingReplay& pending) {
    const StoredReplay& replay = pending.replay;
    std::int64_t window = pending.limit.count > 0 ? static_cast<std::int64_t>(pending.limit.seconds) : 0;
    pending.retryAfter = 0;
    std::vector<std::string> expired;
    {
        Use find(*this, sqlExpiredReplays);
        sqlite3_bind_int64(find.statement, 1, pending.now - std::max(window, replayMatchSeconds));
        int rc;
        while (find.statement != nullptr && (rc = sqlite3_step(find.statement)) == SQLITE_ROW)
            expired.push_back(columnBlob(find.statement, 0));
        if (find.statement == nullptr || rc != SQLITE_DONE) return fail(), ReplayOutcome::storageFailed;
    }
    for (const std::string& key : expired)
        if (!keyStep(sqlDropReplay, key)) return ReplayOutcome::storageFailed;
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

// The period boards (boards.h): each name's best of today and of this week, by the period's first
// second, and their place counts (placeCounts.h, one set per board). Kept by triggers, so that
// every accepted submission, however it is stored, counts on them (the history is kept for the
// rate window only, so the boards cannot be made from it): it removes one row of each kind of
// period that is over, as many as it can add, so the old rows go at least as fast as new ones come
// and no submission meets a large delete (the row is named by its whole key: an IN list of keys
// was planned as a walk through its whole board), and raises the name's best of each period. A name taken out of the ranking leaves
// the boards too: found by a scan, as the operator's removal is rare and an index of the names
// would cost every submission a page more.
std::string sqlitePeriodBoardsSql() {
    std::string levels = placeLevelsSql() + " l";
    // A board's counts follow its rows: `from` and `to` the row before and after ("" for none).
    auto move = [&](const char* row, const char* from, const char* to) {
        std::string parts;
        if (*to) parts += std::string("SELECT k AS level, ") + to + ".score >> (" + std::to_string(placeCountBits) +
                          " * k) AS prefix, 1 AS delta FROM " + levels;
        if (*from && *to) parts += " UNION ALL ";
        if (*from) parts += std::string("SELECT k AS level, ") + from + ".score >> (" + std::to_string(placeCountBits) +
                            " * k) AS prefix, -1 AS delta FROM " + levels;
        return std::string("INSERT INTO period_counts(period, start, level, prefix, names) SELECT ") + row +
               ".period, " + row + ".start, level, prefix, sum(delta) FROM (" + parts +
               ") GROUP BY level, prefix HAVING sum(delta) <> 0 "
               "ON CONFLICT(period, start, level, prefix) DO UPDATE SET names = names + excluded.names;";
    };
    std::string sql =
        "CREATE TABLE IF NOT EXISTS period_bests("
        "  period INTEGER NOT NULL, start INTEGER NOT NULL, name BLOB NOT NULL,"
        "  score INTEGER NOT NULL, submission INTEGER NOT NULL,"
        "  PRIMARY KEY(period, start, name)) WITHOUT ROWID;"
        "CREATE INDEX IF NOT EXISTS period_bests_by_place ON period_bests(period, start, score DESC, submission);"
        "CREATE TABLE IF NOT EXISTS period_counts("
        "  period INTEGER NOT NULL, start INTEGER NOT NULL, level INTEGER NOT NULL, prefix INTEGER NOT NULL,"
        "  names INTEGER NOT NULL, PRIMARY KEY(period, start, level, prefix)) WITHOUT ROWID;"
        "CREATE TRIGGER IF NOT EXISTS period_counts_emptied AFTER UPDATE OF names ON period_counts WHEN NEW.names = 0 "
        "BEGIN DELETE FROM period_counts WHERE period = NEW.period AND start = NEW.start AND level = NEW.level "
        "AND prefix = NEW.prefix; END;"
        "CREATE TRIGGER IF NOT EXISTS period_best_added AFTER INSERT ON period_bests BEGIN " + move("NEW", "", "NEW") + " END;"
        "CREATE TRIGGER IF NOT EXISTS period_best_raised AFTER UPDATE OF score ON period_bests BEGIN " +
        move("NEW", "OLD", "NEW") + " END;"
        "CREATE TRIGGER IF NOT EXISTS period_best_gone AFTER DELETE ON period_bests BEGIN " + move("OLD", "OLD", "") + " END;"
        "CREATE TRIGGER IF NOT EXISTS period_bests_of_name AFTER DELETE ON names BEGIN "
        "DELETE FROM period_bests WHERE name = OLD.name; END;"
        "CREATE TRIGGER IF NOT EXISTS period_bests_of_submission AFTER INSERT ON submissions BEGIN ";
    for (Board board : {Board::today, Board::week}) {
        std::string period = std::to_string(static_cast<int>(board)), start = periodStartSql(board, "NEW.at");
        sql += "DELETE FROM period_bests WHERE (period, start, name) = (SELECT period, start, name FROM period_bests "
               "WHERE period = " + period + " AND start < " + start + " ORDER BY start LIMIT 1);"
               "INSERT INTO period_bests(period, start, name, score, submission) VALUES(" + period + ", " + start +
               ", NEW.name, NEW.score, NEW.id) ON CONFLICT(period, start, name) DO UPDATE SET "
               "score = excluded.score, submission = excluded.submission WHERE excluded.score > period_bests.score;";
    }
    return sql + " END;";
}
