// fill.cpp: the benchmark's fill, in one transaction per store, through the store's own library
// and its place counts' SQL. The names come in the order of every index they go into (by name, and
// by score from the bottom), so the indexes grow at one end and need no rebuilding.
#include "fill.h"

#include "placeCounts.h"
#include "store.h"

#include <libpq-fe.h>
#include <sqlite3.h>

namespace {

// Each filled name on today's and this week's board at `now`, with the boards' place counts made
// level by level as the all-time board's are: through the triggers that keep them for each
// submission, a million names took minutes.
std::string fillPeriodBoardsSql(const std::string& bests, const std::string& counts, const std::string& newer,
                                std::int64_t now) {
    std::string sql;
    for (Board board : {Board::today, Board::week})
        sql += "INSERT INTO " + bests + "(period, start, name, score, submission) SELECT " +
               std::to_string(static_cast<int>(board)) + ", " + std::to_string(boardAt(board, now).start) +
               ", name, score, id FROM submissions WHERE " + newer + " ON CONFLICT DO NOTHING;";
    sql += "DELETE FROM " + counts + ";INSERT INTO " + counts +
           "(period, start, level, prefix, names) SELECT period, start, 0, score, count(*) FROM " + bests +
           " GROUP BY period, start, score;";
    for (int k = 1; k < placeCountLevels; ++k)
        sql += "INSERT INTO " + counts + "(period, start, level, prefix, names) SELECT period, start, " +
               std::to_string(k) + ", prefix >> " + std::to_string(placeCountBits) + ", sum(names) FROM " + counts +
               " WHERE level = " + std::to_string(k - 1) + " GROUP BY period, start, prefix >> " +
               std::to_string(placeCountBits) + ";";
    return sql;
}

// The ranking keeps no history past the rate limit's window: each submission forgets a few rows
// older than it, so a served store's history stays near the window's size. Left in, the fill's
// million rows were each submission's to prune, work no store served from its start ever does.
const char* const forgetFillHistorySql = "DELETE FROM submissions WHERE id > (SELECT id FROM fill_from);";

bool fillSqlite(const std::string& path, std::uint32_t count, std::int64_t now, std::string& error) {
    sqlite3* db = nullptr;
    // Written past the log: through it, the fill's hundred and more megabytes went into the log,
    // were copied over, and the log was cut back, so the measurement after it ran while the file
    // system still gave those blocks back, at half the rate of a store that grew to this size.
    std::string sql = "PRAGMA journal_mode = DELETE; PRAGMA cache_size = -262144; BEGIN IMMEDIATE;"
                      "DROP TRIGGER period_bests_of_submission; DROP TRIGGER period_best_added;"
                      "CREATE TEMP TABLE fill_from AS SELECT coalesce(max(id), 0) AS id FROM submissions;"
                      "WITH RECURSIVE i(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM i WHERE n + 1 < " +
                      std::to_string(count) +
                      ") INSERT INTO submissions(name, score, address, at) "
                      "SELECT CAST(printf('F%09d', n) AS BLOB), 1000 + 2 * n, '', " +
                      std::to_string(now) +
                      " FROM i;"
                      "INSERT INTO names(name, score, submission) SELECT name, score, id FROM submissions "
                      "WHERE id > (SELECT id FROM fill_from) ORDER BY name ON CONFLICT(name) DO NOTHING;" +
                      rebuildPlaceCountsSql("place_counts") +
                      fillPeriodBoardsSql("period_bests", "period_counts", "id > (SELECT id FROM fill_from)", now) +
                      sqlitePeriodBoardsSql() + forgetFillHistorySql + "COMMIT; PRAGMA journal_mode = WAL;";
    char* message = nullptr;
    bool ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
              sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK;
    if (!ok) error = message != nullptr ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    sqlite3_close(db);
    return ok;
}

bool fillPostgres(const std::string& uri, std::uint32_t count, std::int64_t now, std::string& error) {
    PGconn* conn = PQconnectdb(uri.c_str());
    std::string sql = "BEGIN; SET LOCAL maintenance_work_mem = '256MB';"
                      "CREATE TEMP TABLE fill_from ON COMMIT DROP AS SELECT coalesce(max(id), 0) AS id FROM submissions;"
                      "INSERT INTO submissions(name, score, address, at) "
                      "SELECT convert_to('F' || lpad(i::text, 9, '0'), 'SQL_ASCII'), 1000 + 2 * i, '', " +
                      std::to_string(now) + " FROM generate_series(0, " + std::to_string(count) +
                      " - 1) i;"
                      "INSERT INTO names(name, score, submission) SELECT name, score, id FROM submissions "
                      "WHERE id > (SELECT id FROM fill_from) ON CONFLICT (name) DO NOTHING;" +
                      rebuildPlaceCountsSql("place_counts") +
                      fillPeriodBoardsSql("period_bests", "period_counts", "id > (SELECT id FROM fill_from)", now) +
                      forgetFillHistorySql + "COMMIT";
    bool ok = true;
    for (const char* part : {sql.c_str(), "VACUUM ANALYZE"}) {  // VACUUM runs outside a transaction
        PGresult* result = PQexec(conn, part);
        ok = ok && PQresultStatus(result) == PGRES_COMMAND_OK;
        if (!ok && error.empty()) error = PQerrorMessage(conn);
        PQclear(result);
    }
    // The fill's pages are written out now, not by the server in the middle of the measurement
    // (CHECKPOINT takes a superuser or pg_checkpoint: without, the server writes them in its time).
    if (ok) PQclear(PQexec(conn, "CHECKPOINT"));
    PQfinish(conn);
    return ok;
}

}  // namespace

bool fillForBenchmark(const std::string& location, std::uint32_t count, std::int64_t now, std::string& error) {
    // Opened once as the ranking program would: the tables are made on a new store.
    if (openStore(location, StoreAccess::serve, error) == nullptr) return false;
    return isPostgresLocation(location) ? fillPostgres(location, count, now, error)
                                        : fillSqlite(location, count, now, error);
}
