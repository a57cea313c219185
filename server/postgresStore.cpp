// postgresStore.cpp: the ranking in a PostgreSQL database, shared by the ranking programs of
// several web hosts. The rows, the rules and the answers are those of the SQLite store.
#include "moderationSql.h"
#include "placeCounts.h"
#include "replayCheck.h"
#include "replaySql.h"
#include "rulesSql.h"
#include "store.h"

#include <libpq-fe.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sstream>

namespace {

// Version 1 had no replays; version 2 no moderation; versions before 5 had no period boards;
// version 5 kept the boards by triggers.
constexpr int schemaVersion = 6;

// Everything lives in the connection's current schema (the first of its search_path).
const char* const schemaSql = R"SQL(
CREATE TABLE IF NOT EXISTS pilaro_ranking_schema(version integer NOT NULL);
CREATE TABLE IF NOT EXISTS submissions(
  id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  name bytea NOT NULL,
  score bigint NOT NULL,
  address text NOT NULL,
  at bigint NOT NULL);
CREATE INDEX IF NOT EXISTS submissions_by_address ON submissions(address, at);
-- The history holds only the rate limit's window now (see pilaro_submit).
DROP INDEX IF EXISTS submissions_to_forget;
CREATE TABLE IF NOT EXISTS names(
  name bytea PRIMARY KEY,
  score bigint NOT NULL,
  submission bigint NOT NULL);
CREATE INDEX IF NOT EXISTS names_by_place ON names(score DESC, submission);
-- The place counts (placeCounts.h), as in the SQLite store.
CREATE TABLE IF NOT EXISTS place_counts(
  level integer NOT NULL,
  prefix bigint NOT NULL,
  names bigint NOT NULL,
  PRIMARY KEY(level, prefix));
-- One row per connection slot, written by the small transaction that waits for the disk after each
-- batch of submissions (see submitAll).
-- The replays (replaySql.h): waiting for their submission, or behind a name's best entry.
CREATE TABLE IF NOT EXISTS replays(
  key bytea PRIMARY KEY,
  name bytea NOT NULL,
  score bigint NOT NULL,
  address text NOT NULL,
  at bigint NOT NULL,
  kept boolean NOT NULL,
  recording bytea NOT NULL);
CREATE INDEX IF NOT EXISTS replays_waiting ON replays(address, at) WHERE NOT kept;
ALTER TABLE names ADD COLUMN IF NOT EXISTS replay bytea;
-- Version 1's, without the replays.
DROP FUNCTION IF EXISTS pilaro_submit(bytea, bigint, text, bigint, integer, integer);
CREATE TABLE IF NOT EXISTS pilaro_flush(slot integer PRIMARY KEY, writes bigint NOT NULL);

-- One name's count moves from `old_score` (null: a new name) to `new_score` (null: removed), for
-- the operator's commands; a submission moves its own inline, with the same statements.
CREATE OR REPLACE FUNCTION pilaro_move_count(old_score bigint, new_score bigint) RETURNS void
LANGUAGE plpgsql AS $f$
BEGIN
@MOVE@
END
$f$;

-- Version 5's, before the name check, the boards and the counts came into it.
DROP FUNCTION IF EXISTS pilaro_submit(bytea, bigint, text, bigint, integer, integer, boolean, bigint);
-- outcome: 0 accepted, 1 rate limited, 2 not verified (p_verified_only and no replay matched), 3
-- held back (moderation). One call per submission: one round trip. The rules are those of the
-- SQLite store's storeOne. Every statement a PL/pgSQL function runs costs the server the start and
-- end of an executor, which was most of a submission's work: so the submission's whole work is
-- here, in as few statements as it takes, with no trigger and no nested function. Its statements
-- keep one plan each: left to choose, the server judged each new plan dearer than planning again
-- for the values at hand, and planned most of them anew on every call (a quarter of its work in
-- a profile at a million names).
CREATE OR REPLACE FUNCTION pilaro_submit(p_name bytea, p_score bigint, p_address text, p_now bigint,
    p_count integer, p_seconds integer, p_verified_only boolean, p_match_after bigint, p_folded text,
    OUT outcome integer, OUT place bigint, OUT best bigint, OUT improved boolean, OUT retry bigint,
    OUT verified boolean, OUT top_ten text)
LANGUAGE plpgsql SET plan_cache_mode = force_generic_plan AS $f$
-- @SET_UP@
DECLARE
  v_id bigint; v_made bigint; v_old bigint; v_old_submission bigint; v_best_submission bigint;
  v_replay bytea; v_old_replay bytea; v_new boolean; v_today bigint; v_week bigint;
  v_old_today bigint; v_old_week bigint; v_pruned text; v_up_today boolean := false; v_up_week boolean := false;
BEGIN
  outcome := 0; retry := 0;
  -- In the submission's own transaction, which a hide takes too.
  IF (@HELD@) > 0 THEN
    outcome := 3;
    RETURN;
  END IF;
  -- Submissions out of the window go, the oldest few with each submission; with the limit off,
  -- all. Each name's best stays in names, whose submission number still orders ties. The
  -- connection remembers the last it took away, and looks from there; from the first again once in
  -- about 1024 submissions, for rows passed over while another connection held them and kept them.
  v_pruned := CASE WHEN random() < 1.0 / 1024 THEN '0' ELSE coalesce(nullif(current_setting('pilaro.pruned', true), ''), '0') END;
  WITH gone AS (@PRUNE@ RETURNING id)
  SELECT set_config('pilaro.pruned', max(id)::text, false) INTO v_pruned FROM gone HAVING count(*) > 0;
  IF p_count > 0 THEN
    -- Two hosts may count the same address at once: one waits for the other.
    PERFORM pg_advisory_xact_lock(hashtextextended(p_address, 7));
    v_made := (@RECENT@);
    IF v_made >= p_count THEN
      retry := (@OLDEST@) + p_seconds - p_now;
      outcome := 1; retry := greatest(coalesce(retry, 1), 1);
      RETURN;
    END IF;
  END IF;
  -- The replay accepted shortly before from the same address for the same name and score.
  v_replay := (@MATCH@ FOR UPDATE);
  verified := v_replay IS NOT NULL;
  IF NOT verified AND p_verified_only THEN
    outcome := 2;
    RETURN;
  END IF;
  IF p_count <= 0 THEN
    p_address := '';
  END IF;
  -- The submission and, for a new name, its row in names: one statement.
  WITH submitted AS (
    INSERT INTO submissions(name, score, address, at) VALUES (p_name, p_score, p_address, p_now) RETURNING id),
  added AS (
    INSERT INTO names(name, score, submission, replay) SELECT p_name, p_score, id, v_replay FROM submitted
    ON CONFLICT (name) DO NOTHING RETURNING 1)
  SELECT s.id, EXISTS (SELECT FROM added) INTO v_id, v_new FROM submitted s;
  IF v_new THEN
    improved := true; best := p_score; v_best_submission := v_id;
  ELSE
    -- The name's row, locked, orders this name's submissions, and so its period rows' changes.
    SELECT n.score, n.submission, n.replay INTO v_old, v_old_submission, v_old_replay FROM names n
      WHERE n.name = p_name FOR UPDATE;
    IF v_old >= p_score THEN
      improved := false; best := v_old; v_best_submission := v_old_submission;
    ELSE
      UPDATE names SET score = p_score, submission = v_id, replay = v_replay WHERE name = p_name;
      improved := true; best := p_score; v_best_submission := v_id;
    END IF;
  END IF;
  -- Only the replay behind a name's best is kept.
  IF improved AND v_old_replay IS DISTINCT FROM v_replay AND v_old_replay IS NOT NULL THEN
    DELETE FROM replays WHERE key = v_old_replay;
  END IF;
  IF v_replay IS NOT NULL AND improved THEN
    UPDATE replays SET kept = true, address = '' WHERE key = v_replay;
  ELSIF v_replay IS NOT NULL THEN
    DELETE FROM replays WHERE key = v_replay;
  END IF;
  place := @ABOVE@ + (@TIED@) + 1;
  -- The top ten for the reply, before the counts, so that their rows are held for less: each name
  -- in hexadecimal and its score, separated by blanks.
  SELECT string_agg(encode(t.name, 'hex') || ' ' || t.score, ' ' ORDER BY t.score DESC, t.submission) INTO top_ten
    FROM (SELECT n.name, n.score, n.submission FROM names n ORDER BY n.score DESC, n.submission LIMIT 10) t;
  -- The period boards (boards.h): the rows of the periods that are over go, eight of each kind
  -- with every eighth submission, so the old rows go as fast as new ones come and none meets a
  -- large delete (the rows by their whole key, found in the order of the index), and the seven
  -- others run no statement for them (each costs an executor's start, as much as finding none);
  -- then the name's best of today and of this week rises, with its counts.
  v_today := @TODAY@; v_week := @WEEK@;
  IF v_id % 8 = 0 THEN
    DELETE FROM period_bests WHERE (period, start, name) IN (SELECT period, start, name FROM period_bests
      WHERE period = 0 AND start < v_today ORDER BY start LIMIT 8 FOR UPDATE SKIP LOCKED);
    DELETE FROM period_bests WHERE (period, start, name) IN (SELECT period, start, name FROM period_bests
      WHERE period = 1 AND start < v_week ORDER BY start LIMIT 8 FOR UPDATE SKIP LOCKED);
  END IF;
  IF NOT v_new THEN  -- a new name has no period rows
    SELECT max(score) FILTER (WHERE period = 0), max(score) FILTER (WHERE period = 1)
      INTO v_old_today, v_old_week FROM period_bests
      WHERE (period = 0 AND start = v_today OR period = 1 AND start = v_week) AND name = p_name;
  END IF;
  IF v_old_today IS NULL OR v_old_today < p_score OR v_old_week IS NULL OR v_old_week < p_score THEN
    WITH raised AS (
      INSERT INTO period_bests(period, start, name, score, submission)
      VALUES (0, v_today, p_name, p_score, v_id), (1, v_week, p_name, p_score, v_id)
      ON CONFLICT (period, start, name) DO UPDATE SET score = excluded.score, submission = excluded.submission
      WHERE excluded.score > period_bests.score RETURNING period)
    SELECT coalesce(bool_or(period = 0), false), coalesce(bool_or(period = 1), false) INTO v_up_today, v_up_week FROM raised;
  END IF;
  -- The counts last, all in one statement: their rows near the top of the levels are shared by
  -- every submission, and each is held from its change to the commit, so the others wait out
  -- whatever runs between (in two statements, the period counts' and the place counts', 6-9%
  -- fewer submissions went through here). The names above `best` do not include this one's own
  -- rows, so the place is the same counted before. Every submission changes the counts in one
  -- order (the periods that are over; today's and this week's, in the order of their key; then
  -- the place counts, whose statement asks for the period counts' end before it takes its first
  -- row), so two never wait for each other in a circle.
  IF improved OR v_up_today OR v_up_week THEN
    WITH moved AS (
      SELECT 0 AS period, v_today AS start, p_score AS score, 1 AS delta WHERE v_up_today
      UNION ALL SELECT 0, v_today, v_old_today, -1 WHERE v_up_today AND v_old_today IS NOT NULL
      UNION ALL SELECT 1, v_week, p_score, 1 WHERE v_up_week
      UNION ALL SELECT 1, v_week, v_old_week, -1 WHERE v_up_week AND v_old_week IS NOT NULL),
    periods AS (
      INSERT INTO period_counts(period, start, level, prefix, names)
      SELECT period, start, k, score >> (@BITS@ * k), sum(delta) FROM moved, @LEVELS@ l
      GROUP BY 1, 2, 3, 4 HAVING sum(delta) <> 0 ORDER BY 1, 2, 3, 4
      ON CONFLICT (period, start, level, prefix) DO UPDATE SET names = period_counts.names + excluded.names
      RETURNING 1)
@MOVE_SUBMITTED@;
    IF v_old_today IS NOT NULL OR v_old_week IS NOT NULL THEN
      DELETE FROM period_counts c USING (VALUES (0, v_today, v_old_today), (1, v_week, v_old_week)) o(period, start, score),
        @LEVELS@ l
        WHERE o.score IS NOT NULL AND c.period = o.period AND c.start = o.start AND c.level = l.k
          AND c.prefix = o.score >> (@BITS@ * l.k) AND c.names = 0;
    END IF;
    IF improved THEN
@EMPTIED_SUBMITTED@
    END IF;
  END IF;
END
$f$;
)SQL";

// Version 3: the operator's moderation (moderationSql.h).
const char* const moderationSchemaSql = R"SQL(
CREATE TABLE IF NOT EXISTS hidden(
  name bytea PRIMARY KEY,
  score bigint NOT NULL,
  submission bigint NOT NULL,
  replay bytea,
  reason text NOT NULL,
  at bigint NOT NULL);
CREATE TABLE IF NOT EXISTS refused(folded text PRIMARY KEY, name text NOT NULL, at bigint NOT NULL);
CREATE TABLE IF NOT EXISTS audit(
  id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  at bigint NOT NULL,
  action text NOT NULL,
  name text NOT NULL,
  reason text NOT NULL);
)SQL";
// The period boards (boards.h), as in the SQLite store: each name's best of today and of this week,
// by the period's first second, with their place counts. pilaro_submit keeps them; the triggers
// here take out the rows of a name that leaves the ranking and of a period that is over, with
// their counts. The counts of a row move in one statement in the order of their keys, as a
// submission's do, so two never wait for each other in a circle. Made anew on every start, as the
// functions above.
const char* const periodBoardsSql = R"SQL(
CREATE TABLE IF NOT EXISTS period_bests(
  period integer NOT NULL, start bigint NOT NULL, name bytea NOT NULL,
  score bigint NOT NULL, submission bigint NOT NULL,
  PRIMARY KEY(period, start, name));
CREATE INDEX IF NOT EXISTS period_bests_by_place ON period_bests(period, start, score DESC, submission);
CREATE TABLE IF NOT EXISTS period_counts(
  period integer NOT NULL, start bigint NOT NULL, level integer NOT NULL, prefix bigint NOT NULL,
  names bigint NOT NULL, PRIMARY KEY(period, start, level, prefix));
-- Version 5 kept the boards by triggers on every submission, a fifth of its work.
DROP TRIGGER IF EXISTS period_bests_of_submission ON submissions;
DROP TRIGGER IF EXISTS period_bests_counted ON period_bests;
-- The counts of the rows a statement took away change once for the statement, in the order of
-- their key, then the rows of nought go. Changed row by row, level by level, two submissions taking
-- old rows at once could each hold a count row that the other wanted next, and one of them failed
-- after a second ("deadlock detected"), a few times a minute at the turn of a busy day.
CREATE OR REPLACE FUNCTION pilaro_period_counts() RETURNS trigger LANGUAGE plpgsql AS $f$
BEGIN
  INSERT INTO period_counts(period, start, level, prefix, names)
  SELECT period, start, k, score >> (@BITS@ * k), -count(*) FROM gone, @LEVELS@ l
  GROUP BY 1, 2, 3, 4 ORDER BY 1, 2, 3, 4
  ON CONFLICT (period, start, level, prefix) DO UPDATE SET names = period_counts.names + excluded.names;
  DELETE FROM period_counts p USING (SELECT DISTINCT period, start, score FROM gone) g, @LEVELS@ l
    WHERE p.period = g.period AND p.start = g.start AND p.level = l.k AND p.prefix = g.score >> (@BITS@ * l.k)
      AND p.names = 0;
  RETURN NULL;
END
$f$;
CREATE TRIGGER period_bests_counted AFTER DELETE ON period_bests REFERENCING OLD TABLE AS gone
  FOR EACH STATEMENT EXECUTE FUNCTION pilaro_period_counts();
CREATE OR REPLACE FUNCTION pilaro_period_bests() RETURNS trigger LANGUAGE plpgsql AS $f$
BEGIN
  DELETE FROM period_bests WHERE name = OLD.name;
  RETURN NULL;
END
$f$;
CREATE OR REPLACE TRIGGER period_bests_of_name AFTER DELETE ON names
  FOR EACH ROW EXECUTE FUNCTION pilaro_period_bests();
)SQL";

// A period board's place counts, as placeCounts.h's SQL takes a table: its board by the
// parameters `period` and `period` + 1.
std::string periodCountsOf(int period) {
    return "(SELECT level, prefix, names FROM period_counts WHERE period = $" + std::to_string(period) +
           " AND start = $" + std::to_string(period + 1) + ") c";
}

// The statements that move one name's place counts from the score `from` to `to` (either may be
// SQL NULL: a new name, a name removed): its rows are changed level by level, so two submissions
// never wait for each other in a circle, and a range that no name holds any longer goes (a name
// climbing through ever new scores left rows of nought behind it for ever). The change is one
// statement (without its semicolon), which takes its rows only where `when` holds; the rows of
// nought go in the next.
std::string changeCountsSql(const std::string& from, const std::string& to, const std::string& when) {
    return "  INSERT INTO place_counts(level, prefix, names)\n"
           "  SELECT level, prefix, sum(delta) FROM (\n"
           "    SELECT k AS level, " + to + " >> (@BITS@ * k) AS prefix, 1 AS delta FROM @LEVELS@ l WHERE " + to +
           " IS NOT NULL\n    UNION ALL\n"
           "    SELECT k, " + from + " >> (@BITS@ * k), -1 FROM @LEVELS@ l WHERE " + from + " IS NOT NULL) d\n"
           "  WHERE " + when + "\n"
           "  GROUP BY level, prefix HAVING sum(delta) <> 0 ORDER BY level, prefix\n"
           "  ON CONFLICT (level, prefix) DO UPDATE SET names = place_counts.names + excluded.names";
}
std::string dropEmptiedCountsSql(const std::string& from) {
    return "  IF " + from + " IS NOT NULL THEN\n"
           "    DELETE FROM place_counts p USING @LEVELS@ l\n"
           "      WHERE p.level = l.k AND p.prefix = " + from + " >> (@BITS@ * l.k) AND p.names = 0;\n"
           "  END IF;";
}
std::string moveCountsSql(const std::string& from, const std::string& to) {
    return changeCountsSql(from, to, "true") + ";\n" + dropEmptiedCountsSql(from);
}

// The schema with the shared SQL put in.
std::string schemaWithCounts() {
    std::string sql = schemaSql + std::string(periodBoardsSql);
    for (auto [mark, value] : {std::pair<std::string, std::string>{"@MOVE@", moveCountsSql("old_score", "new_score")},
                               {"@MOVE_SUBMITTED@", changeCountsSql("v_old", "p_score", "improved AND (SELECT count(*) FROM periods) >= 0")},
                               {"@EMPTIED_SUBMITTED@", dropEmptiedCountsSql("v_old")},
                               {"@HELD@", withParameters(sqlHeldBack, {"p_name", "p_folded"})},
                               {"@MATCH@", withParameters(sqlMatchReplay, {"p_name", "p_score", "p_address", "p_match_after"})},
                               {"@PRUNE@", withParameters(pruneHistorySql(true),
                                                          {"p_now - CASE WHEN p_count > 0 THEN p_seconds ELSE 0 END",
                                                           "v_pruned::bigint"})},
                               {"@RECENT@", withParameters(sqlRecentFromAddress, {"p_address", "p_now - p_seconds"})},
                               {"@OLDEST@", withParameters(sqlOldestCounted,
                                                           {"p_address", "p_now - p_seconds", "v_made - p_count"})},
                               {"@TIED@", withParameters(sqlCountTiedBefore, {"best", "v_best_submission"})},
                               {"@TODAY@", periodStartSql(Board::today, "p_now")},
                               {"@WEEK@", periodStartSql(Board::week, "p_now")},
                               {"@BITS@", std::to_string(placeCountBits)},
                               {"@LEVELS@", placeLevelsSql()},
                               {"@ABOVE@", namesAboveSql("place_counts", "best", true)}})
        for (std::size_t at; (at = sql.find(mark)) != std::string::npos;) sql.replace(at, mark.size(), value);
    return sql;
}

class PostgresStore : public RankingStore {
public:
    ~PostgresStore() override {
        if (conn != nullptr) PQfinish(conn);
    }
    bool open(const std::string& uri, StoreAccess access);

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
        // The submissions' own flush row: a commit that waits for the disk, as theirs do. That row
        // fits in its page and the log in its segment even when the server cannot write a byte
        // more, so the probe also writes a table of healthRoomBytes, as a few hundred new names
        // would grow the ranking's, in a transaction rolled back (its file goes with it). A new
        // table: emptying one of its own would wait for every backup (pg_dump holds its tables).
        static const std::string room = "CREATE TABLE pilaro_health_room AS SELECT repeat('x', 1000) AS filler "
                                        "FROM generate_series(1, " + std::to_string(healthRoomBytes / 1024) + ")";
        return reading([this] {
            bool flushed = prepare() && execute("BEGIN") &&
                           ok(PQexecPrepared(conn, "flush", 0, nullptr, nullptr, nullptr, 0)) && execute("COMMIT") &&
                           execute("BEGIN") && execute(room.c_str());
            std::string why = error;
            if (PQtransactionStatus(conn) != PQTRANS_IDLE) execute("ROLLBACK");
            error = why;
            return flushed;
        });
    }
    bool moderate(Moderation what, std::string_view cp932Name, std::string_view folded, std::string_view shownName,
                  std::string_view reason, std::int64_t now, bool& changed) override;
    bool logAction(std::string_view action, std::string_view shownName, std::string_view reason,
                   std::int64_t now) override {
        std::string at = std::to_string(now), what(action), name(shownName), why(reason);
        return ok(run(sqlLogAction, {{at.c_str(), -1}, {what.c_str(), -1}, {name.c_str(), -1}, {why.c_str(), -1}}));
    }
    bool readLog(std::vector<AuditEntry>& out) override {
        out.clear();
        PGresult* result = run(sqlReadLog);
        if (PQresultStatus(result) == PGRES_TUPLES_OK)
            for (int row = 0; row < PQntuples(result); ++row)
                out.push_back({std::strtoll(PQgetvalue(result, row, 0), nullptr, 10), PQgetvalue(result, row, 1),
                               PQgetvalue(result, row, 2), PQgetvalue(result, row, 3)});
        return ok(result);
    }
    bool heldBack(std::string_view cp932Name, std::string_view folded, bool& held) override {
        std::string name(cp932Name), key(folded);
        return reading([&] {
            PGresult* result = run(sqlHeldBack, {blob(name), {key.c_str(), -1}});
            held = PQresultStatus(result) == PGRES_TUPLES_OK && std::strtoll(PQgetvalue(result, 0, 0), nullptr, 10) > 0;
            return ok(result);
        });
    }
    ReplayOutcome storeReplay(const StoredReplay& replay, std::string_view address, std::int64_t now,
                              const RateLimit& limit, std::uint32_t& retryAfter) override;
    bool readReplay(std::string_view key, StoredReplay& out, bool& found) override;
    bool readReplays(std::string_view after, std::uint32_t count, std::vector<StoredReplay>& out) override;

private:
    static std::string bytes(PGresult* result, int row, int column) {
        std::size_t size = 0;
        unsigned char* value =
            PQunescapeBytea(reinterpret_cast<const unsigned char*>(PQgetvalue(result, row, column)), &size);
        std::string out = value != nullptr ? std::string(reinterpret_cast<const char*>(value), size) : std::string();
        PQfreemem(value);
        return out;
    }
    static std::pair<const char*, int> blob(const std::string& value) {
        return {value.data(), static_cast<int>(value.size())};
    }
    // Runs one statement with text parameters (a null pointer is SQL NULL; `binary` marks bytea).
    PGresult* run(const char* sql, std::initializer_list<std::pair<const char*, int>> parameters = {}) {
        std::vector<const char*> values;
        std::vector<int> lengths, formats;
        for (auto& [value, length] : parameters) {
            values.push_back(value);
            lengths.push_back(length < 0 ? 0 : length);
            formats.push_back(length < 0 ? 0 : 1);
        }
        return PQexecParams(conn, sql, static_cast<int>(values.size()), nullptr, values.data(), lengths.data(),
                            formats.data(), 0);
    }
    bool ok(PGresult* result) {
        ExecStatusType status = PQresultStatus(result);
        bool good = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
        if (!good) error = PQresultErrorMessage(result);
        while (!error.empty() && error.back() == '\n') error.pop_back();
        PQclear(result);
        return good;
    }
    bool execute(const char* sql) { return ok(PQexec(conn, sql)); }
    bool single(const char* sql, std::int64_t& out) {
        PGresult* result = run(sql);
        bool good = PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1;
        if (good) out = std::strtoll(PQgetvalue(result, 0, 0), nullptr, 10);
        return ok(result) && good;
    }
    static void readEntries(PGresult* result, std::uint32_t offset, std::vector<RankingEntry>& out) {
        out.clear();
        for (int row = 0; row < PQntuples(result); ++row) {
            RankingEntry entry;
            entry.place = offset + static_cast<std::uint32_t>(row) + 1;
            entry.name = bytes(result, row, 0);
            entry.score = static_cast<std::uint32_t>(std::strtoull(PQgetvalue(result, row, 1), nullptr, 10));
            if (PQnfields(result) > 2 && !PQgetisnull(result, row, 2)) entry.replay = bytes(result, row, 2);
            out.push_back(std::move(entry));
        }
    }

    // pilaro_submit's top ten: each name in hexadecimal and its score, separated by blanks.
    static void readTopTen(const char* text, std::vector<RankingEntry>& out) {
        out.clear();
        std::istringstream words(text);
        for (std::string hex, score; words >> hex >> score;) {
            RankingEntry entry;
            entry.place = static_cast<std::uint32_t>(out.size()) + 1;
            for (std::size_t at = 0; at + 1 < hex.size(); at += 2)
                entry.name += static_cast<char>(std::stoi(hex.substr(at, 2), nullptr, 16));
            entry.score = static_cast<std::uint32_t>(std::strtoull(score.c_str(), nullptr, 10));
            out.push_back(std::move(entry));
        }
    }

    // Runs a call that only reads; when it failed (the server restarted, or the network dropped
    // the connection), connects again and runs it once more, so that a restarted server is served
    // again at once, not only after a submission.
    template <typename Call>
    bool reading(Call call) {
        if (call()) return true;
        if (!reconnected()) return false;
        error.clear();
        return call();
    }
    // After a failed call: connects again. libpq does not always know that the connection is gone
    // (after a server restart it may still say CONNECTION_OK), and a new connection costs little
    // next to the failure.
    bool reconnected() {
        PQreset(conn);
        prepared = false;
        return PQstatus(conn) == CONNECTION_OK;
    }
    // Before a write: an idle connection with something to read is one that the server is ending
    // (it stopped or crashed: its last words, or the connection's end). Connects again rather than
    // fail the write, which could then not tell whether it was stored.
    void reconnectIfClosed() {
        pollfd socket{PQsocket(conn), POLLIN, 0};
        if (PQstatus(conn) != CONNECTION_OK || poll(&socket, 1, 0) != 0) reconnected();
    }
    // The statements of a submission, prepared once for each connection: an unnamed statement is
    // parsed and planned again every time. The connection's commits do not wait for the disk; the
    // flush's does (see submitAll): it commits as the server's synchronous_commit says, the
    // connection's own before it was turned off.
    bool prepare() {
        if (prepared) return true;
        PGresult* shown = PQexec(conn, "SELECT reset_val FROM pg_settings WHERE name = 'synchronous_commit'");
        std::string setting = PQresultStatus(shown) == PGRES_TUPLES_OK && PQntuples(shown) == 1 ? PQgetvalue(shown, 0, 0) : "";
        if (!ok(shown)) return false;
        char* literal = PQescapeLiteral(conn, setting.data(), setting.size());
        std::string flushSql = std::string("WITH waiting AS (SELECT set_config('synchronous_commit', ") +
                               (literal != nullptr ? literal : "'on'") +
                               ", true)) INSERT INTO pilaro_flush SELECT pg_backend_pid() % 1024, 1 FROM waiting "
                               "ON CONFLICT (slot) DO UPDATE SET writes = pilaro_flush.writes + 1";
        PQfreemem(literal);
        prepared =
            execute("SET synchronous_commit = off") &&
            ok(PQprepare(conn, "submit", "SELECT * FROM pilaro_submit($1, $2, $3, $4, $5, $6, $7, $8, $9)", 9, nullptr)) &&
            ok(PQprepare(conn, "flush", flushSql.c_str(), 0, nullptr));
        return prepared;
    }

    // Queues, in pipeline mode, the small transaction that writes a row and commits as the server's
    // synchronous_commit says, and its sync: one result and the sync's. Its commit waits for the
    // disk, and for every commit before it on the connection.
    void sendFlush() {
        PQsendQueryPrepared(conn, "flush", 0, nullptr, nullptr, nullptr, 0);
        PQpipelineSync(conn);
    }

    PGconn* conn = nullptr;
    bool prepared = false;
};

bool PostgresStore::open(const std::string& uri, StoreAccess access) {
    // A host that is gone must not hold a request for the system's TCP time-out (minutes): ten
    // seconds unless the URI says otherwise (its own setting comes later and wins).
    const char* keywords[] = {"connect_timeout", "dbname", nullptr};
    const char* values[] = {"10", uri.c_str(), nullptr};
    conn = PQconnectdbParams(keywords, values, 1);
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);  // "already exists, skipping"
    if (PQstatus(conn) != CONNECTION_OK) {
        error = PQerrorMessage(conn);
        while (!error.empty() && error.back() == '\n') error.pop_back();
        return false;
    }
    if (access == StoreAccess::readOnly && !execute("SET default_transaction_read_only = on")) return false;
    // Looks before it writes: a database that holds other tables, or a newer ranking, stays as it is.
    // The set-up itself runs once: under a lock, the second host finds it done.
    if (!execute(access != StoreAccess::readOnly ? "BEGIN; SELECT pg_advisory_xact_lock(7158246)" : "BEGIN")) return false;
    // The set-up's own text, as the program brings it, with a mark of that text in pilaro_submit's
    // body: the functions in the ranking are this program's only if the one there has the mark
    // (another program, an older or a newer one, may have replaced them since).
    std::string setUp = schemaWithCounts() + moderationSchemaSql;
    const std::string current = std::to_string(schemaVersion);
    const std::string mark = "set-up " + current + " " + hexHash(setUp);
    setUp.replace(setUp.find("@SET_UP@"), 8, mark);
    std::int64_t marker = 0, tables = 0, version = 0, same = 0;
    bool looked = single(
                      "SELECT count(*) FROM pg_tables WHERE schemaname = current_schema() "
                      "AND tablename = 'pilaro_ranking_schema'",
                      marker) &&
                  single("SELECT count(*) FROM pg_tables WHERE schemaname = current_schema()", tables) &&
                  (marker == 0 || single("SELECT coalesce(max(version), 0) FROM pilaro_ranking_schema", version)) &&
                  (marker == 0 || single(("SELECT count(*) FROM pg_proc WHERE proname = 'pilaro_submit' AND "
                                          "pronamespace = current_schema()::regnamespace AND strpos(prosrc, '" +
                                          mark + "') > 0").c_str(),
                                         same));
    if (looked) {
        if (version > schemaVersion)
            error = newerRankingText;
        else if (tables > 0 && marker == 0)
            error = notRankingText;
        else if (marker == 0 && access != StoreAccess::serve)
            error = emptyRankingText;
    }
    if (!looked || !error.empty()) {
        std::string why = error;
        execute("ROLLBACK");
        error = why;
        return false;
    }
    // The functions are replaced whenever the program brings others than the ranking has, so that
    // a new program brings its own; the operator's changes bring an older ranking up to date too,
    // as the SQLite store's do. A ranking already set up by this program is left as it is: every
    // process did it again on its first request, and each time the triggers' table locks held
    // every other process's submissions, on every host, until the set-up's commit reached the
    // disk, and the new functions made every connection plan its statements anew.
    bool done = access == StoreAccess::readOnly || (version == schemaVersion && same == 1) ||
                (execute(setUp.c_str()) &&
                 execute((marker != 0 ? "UPDATE pilaro_ranking_schema SET version = " + current
                                      : "INSERT INTO pilaro_ranking_schema VALUES (" + current + ")").c_str()));
    if (done && execute("COMMIT")) return true;
    std::string why = error;
    execute("ROLLBACK");
    error = why;
    return false;
}

void PostgresStore::submitAll(const std::vector<PendingSubmission*>& batch) {
    // One round trip for the batch, and one flush. Each submission is a transaction of its own,
    // which commits without waiting for the disk (the connection's synchronous_commit is off), so
    // the rows it changed (the place counts near the top of their levels are every submission's)
    // are free for the next at once, and a member that fails takes no other with it. The small
    // transaction after them writes a row and commits as the server's synchronous_commit says (on
    // by default): its commit waits for the disk up to its own commit record, and so past theirs,
    // which come before it in the log. (A transaction that writes nothing commits without waiting,
    // whatever synchronous_commit says.) So the replies go out only once the batch is on the disk,
    // and the batches of all the processes share the server's flushes. (The batch as one
    // transaction, as in SQLite, made the batches of several processes wait for each other: each
    // holds some submissions' rows and wants another's, so they had to take turns, and the server
    // then wrote on one core: 570-760/s at a million names here, against 710-1,160/s before.)
    for (PendingSubmission* pending : batch) pending->result = SubmitResult{}, pending->topTen.clear();
    reconnectIfClosed();
    if (!prepare()) {
        std::string why = error;
        reconnected();  // for the next one
        for (PendingSubmission* pending : batch) pending->error = why;
        return;
    }
    std::vector<std::array<std::string, 8>> texts;
    for (const PendingSubmission* pending : batch)
        texts.push_back({std::to_string(pending->submission.score), std::to_string(pending->now),
                         std::to_string(pending->limit.count), std::to_string(pending->limit.seconds),
                         pending->verifiedOnly ? "t" : "f", std::to_string(pending->now - replayMatchSeconds),
                         pending->address, foldedName(pending->submission.name)});
    PQenterPipelineMode(conn);
    // Each member's statements up to its sync are one transaction, rolled back whole on an error.
    for (std::size_t i = 0; i < batch.size(); ++i) {
        const std::array<std::string, 8>& t = texts[i];
        const std::string& name = batch[i]->submission.name;
        const char* values[] = {name.data(),  t[0].c_str(), t[6].c_str(), t[1].c_str(), t[2].c_str(),
                                t[3].c_str(), t[4].c_str(), t[5].c_str(), t[7].c_str()};
        int lengths[] = {static_cast<int>(name.size()), 0, 0, 0, 0, 0, 0, 0, 0};
        int formats[] = {1, 0, 0, 0, 0, 0, 0, 0, 0};
        PQsendQueryPrepared(conn, "submit", 9, values, lengths, formats, 0);
        PQpipelineSync(conn);
    }
    sendFlush();
    // Each member's result and its sync, then the flush's.
    std::vector<int> outcomes(batch.size(), 0);
    std::vector<std::string> errors(batch.size() + 1);
    bool connected = true;
    for (std::size_t i = 0; connected && i <= batch.size(); ++i) {
        PGresult* r = PQgetResult(conn);
        if (r == nullptr) {
            connected = false;
            break;
        }
        ExecStatusType status = PQresultStatus(r);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            errors[i] = PQresultErrorMessage(r);
            if (errors[i].empty()) errors[i] = "not run";
        } else if (i < batch.size() && PQntuples(r) == 1) {
            SubmitResult& result = batch[i]->result;
            outcomes[i] = std::atoi(PQgetvalue(r, 0, 0));
            result.verified = PQgetvalue(r, 0, 5)[0] == 't';
            result.place = static_cast<std::uint32_t>(std::strtoull(PQgetvalue(r, 0, 1), nullptr, 10));
            result.bestScore = static_cast<std::uint32_t>(std::strtoull(PQgetvalue(r, 0, 2), nullptr, 10));
            result.improved = PQgetvalue(r, 0, 3)[0] == 't';
            result.retryAfter = static_cast<std::uint32_t>(std::strtoull(PQgetvalue(r, 0, 4), nullptr, 10));
            readTopTen(PQgetvalue(r, 0, 6), batch[i]->topTen);
        }
        PQclear(r);
        while ((r = PQgetResult(conn)) != nullptr) PQclear(r);  // the end of this query's results
        // The sync: a member's transaction, and the flush's, commit here, once its answer is in.
        r = PQgetResult(conn);
        connected = r != nullptr && PQresultStatus(r) == PGRES_PIPELINE_SYNC;
        PQclear(r);
    }
    PQexitPipelineMode(conn);
    // Without the flush's sync nothing is known to be on the disk: the connection is in doubt,
    // and a new one serves the next batch (this one may have been stored, or not).
    std::string flushError = connected ? errors.back() : "the connection ended before the commit was confirmed";
    if (!flushError.empty()) {
        if (PQtransactionStatus(conn) != PQTRANS_IDLE) execute("ROLLBACK");
        reconnected();
    }
    for (std::size_t i = 0; i < batch.size(); ++i) {
        PendingSubmission& pending = *batch[i];
        std::string why = !errors[i].empty() ? errors[i] : flushError;
        while (!why.empty() && why.back() == '\n') why.pop_back();
        pending.error = why;
        if (!why.empty()) {
            pending.result = SubmitResult{};
            pending.topTen.clear();
        } else if (outcomes[i] == 0) {
            pending.result.outcome = SubmitOutcome::accepted;
        } else {
            constexpr SubmitOutcome refusals[] = {SubmitOutcome::rateLimited, SubmitOutcome::notVerified,
                                                  SubmitOutcome::heldBack};
            pending.result = SubmitResult{refusals[std::clamp(outcomes[i], 1, 3) - 1], 0, 0, false,
                                          pending.result.retryAfter};
            pending.topTen.clear();
        }
    }
    if (!flushError.empty()) error = flushError;
}

bool PostgresStore::read(std::uint32_t offset, std::uint32_t count, std::vector<RankingEntry>& out) {
    return readBoard({}, offset, count, out);
}

bool PostgresStore::readBoard(const BoardKey& board, std::uint32_t offset, std::uint32_t count,
                              std::vector<RankingEntry>& out) {
    static const std::string rowsSql = placeCountRowsSql("place_counts", true);
    static const std::string periodRowsSql = placeCountRowsSql(periodCountsOf(4), true);
    bool period = board.board != Board::allTime;
    std::string limit = std::to_string(count), which = std::to_string(static_cast<int>(board.board)),
                start = std::to_string(board.start);
    auto readRows = [&](int level, std::int64_t first, std::int64_t last,
                        std::vector<std::pair<std::int64_t, std::int64_t>>& counts) {
        counts.clear();
        std::string k = std::to_string(level), from = std::to_string(first), to = std::to_string(last);
        PGresult* result =
            period ? run(periodRowsSql.c_str(), {{k.c_str(), -1}, {from.c_str(), -1}, {to.c_str(), -1},
                                                 {which.c_str(), -1}, {start.c_str(), -1}})
                   : run(rowsSql.c_str(), {{k.c_str(), -1}, {from.c_str(), -1}, {to.c_str(), -1}});
        if (PQresultStatus(result) == PGRES_TUPLES_OK)
            for (int row = 0; row < PQntuples(result); ++row)
                counts.emplace_back(std::strtoll(PQgetvalue(result, row, 0), nullptr, 10),
                                    std::strtoll(PQgetvalue(result, row, 1), nullptr, 10));
        return ok(result);
    };
    // A page deep in the ranking seeks to its first place's score (placeCounts.h), as in SQLite,
    // in one snapshot.
    return reading([&] {
        out.clear();
        bool found = true;
        std::uint32_t score = 0xFFFFFFFFu;
        std::uint64_t skip = 0;
        bool good = execute("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY") &&
                    (offset == 0 || findPlace(offset, readRows, found, score, skip));
        if (good && found) {
            std::string from = std::to_string(score), skipped = std::to_string(skip);
            PGresult* result =
                period ? run("SELECT b.name, b.score, n.replay FROM period_bests b LEFT JOIN names n ON n.name = b.name "
                             "AND n.submission = b.submission WHERE b.period = $4 AND b.start = $5 AND b.score <= $3 "
                             "ORDER BY b.score DESC, b.submission LIMIT $1 OFFSET $2",
                             {{limit.c_str(), -1}, {skipped.c_str(), -1}, {from.c_str(), -1}, {which.c_str(), -1},
                              {start.c_str(), -1}})
                       : run("SELECT name, score, replay FROM names WHERE score <= $3 ORDER BY score DESC, submission "
                             "LIMIT $1 OFFSET $2",
                             {{limit.c_str(), -1}, {skipped.c_str(), -1}, {from.c_str(), -1}});
            if (PQresultStatus(result) == PGRES_TUPLES_OK) readEntries(result, offset, out);
            good = ok(result);
        }
        std::string why = error;
        execute(good ? "COMMIT" : "ROLLBACK");
        if (!good) error = why;
        return good;
    });
}

bool PostgresStore::countBoard(const BoardKey& board, std::uint32_t& names) {
    if (board.board == Board::allTime) return countNames(names);
    static const std::string sql = countNamesSql(periodCountsOf(1));
    std::string which = std::to_string(static_cast<int>(board.board)), start = std::to_string(board.start);
    std::int64_t count = 0;
    bool good = reading([&] {
        PGresult* result = run(sql.c_str(), {{which.c_str(), -1}, {start.c_str(), -1}});
        bool one = PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1;
        if (one) count = std::strtoll(PQgetvalue(result, 0, 0), nullptr, 10);
        return ok(result) && one;
    });
    names = static_cast<std::uint32_t>(count);
    return good;
}

bool PostgresStore::placeOf(const BoardKey& board, std::string_view cp932Name, std::uint32_t& place) {
    // The name's score and submission, the names above that score (the counts), and the names tied
    // with it that reached it first, in one statement and so in one snapshot.
    static const std::string allTimeSql =
        "SELECT " + namesAboveSql("place_counts", "f.score", true) +
        " + (" + withParameters(sqlCountTiedBefore, {"f.score", "f.submission"}) + ") + 1 "
        "FROM names f WHERE f.name = $1";
    static const std::string periodSql =
        "SELECT " + namesAboveSql(periodCountsOf(2), "f.score", true) +
        " + (" + withParameters(sqlPeriodTiedBefore, {"f.score", "$2", "$3", "f.submission"}) +
        ") + 1 FROM period_bests f WHERE f.period = $2 AND f.start = $3 AND f.name = $1";
    std::string name(cp932Name), which = std::to_string(static_cast<int>(board.board)),
        start = std::to_string(board.start);
    place = 0;
    return reading([&] {
        PGresult* result = board.board == Board::allTime
                               ? run(allTimeSql.c_str(), {blob(name)})
                               : run(periodSql.c_str(), {blob(name), {which.c_str(), -1}, {start.c_str(), -1}});
        if (PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1)
            place = static_cast<std::uint32_t>(std::strtoull(PQgetvalue(result, 0, 0), nullptr, 10));
        return ok(result);
    });
}

bool PostgresStore::countNames(std::uint32_t& names) {
    static const std::string sql = countNamesSql("place_counts");
    std::int64_t count = 0;
    if (!reading([&] { return single(sql.c_str(), count); })) return false;
    names = static_cast<std::uint32_t>(count);
    return true;
}

bool PostgresStore::counts(StoreCounts& out) {
    std::int64_t submissions = 0, addresses = 0;
    if (!countNames(out.names) || !single("SELECT count(*) FROM submissions", submissions) ||
        !single("SELECT count(*) FROM submissions WHERE address <> ''", addresses))
        return false;
    out.submissions = static_cast<std::uint64_t>(submissions);
    out.addressesKept = static_cast<std::uint64_t>(addresses);
    return true;
}

bool PostgresStore::removeName(std::string_view cp932Name, bool& found) {
    std::string name(cp932Name);
    PGresult* result =
        run("WITH gone AS (DELETE FROM names WHERE name = $1 RETURNING score, replay), "
            "dropped AS (DELETE FROM replays WHERE key IN (SELECT replay FROM gone)) "
            "SELECT pilaro_move_count(score, NULL) FROM gone",
            {{name.data(), static_cast<int>(name.size())}});
    found = PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1;
    return ok(result);
}

bool PostgresStore::moderate(Moderation what, std::string_view cp932Name, std::string_view folded,
                             std::string_view shownName, std::string_view reason, std::int64_t now, bool& changed) {
    changed = false;
    bool hide = what == Moderation::hide;
    std::string name(cp932Name), key(folded), shown(shownName), why(reason), at = std::to_string(now);
    auto change = [&]() -> bool {
        if (what == Moderation::refuse || what == Moderation::allow) {
            PGresult* result = what == Moderation::refuse
                                   ? run(sqlRefuseName, {{key.c_str(), -1}, {shown.c_str(), -1}, {at.c_str(), -1}})
                                   : run(sqlAllowName, {{key.c_str(), -1}});
            changed = PQresultStatus(result) == PGRES_COMMAND_OK && std::strcmp(PQcmdTuples(result), "0") != 0;
            return ok(result);
        }
        // The entry moves between names and hidden whole, with its count.
        PGresult* taken = run(hide ? sqlHideEntry : sqlUnhideEntry, {blob(name)});
        changed = PQresultStatus(taken) == PGRES_TUPLES_OK && PQntuples(taken) == 1;
        std::string score = changed ? PQgetvalue(taken, 0, 0) : "", submission = changed ? PQgetvalue(taken, 0, 1) : "";
        bool verified = changed && !PQgetisnull(taken, 0, 2);
        std::string replay = verified ? bytes(taken, 0, 2) : "";
        std::pair<const char*, int> replayValue = verified ? blob(replay) : std::pair<const char*, int>{nullptr, -1};
        if (!ok(taken) || !changed) return error.empty();
        PGresult* put = hide ? run(sqlKeepHidden, {blob(name), {score.c_str(), -1}, {submission.c_str(), -1}, replayValue,
                                                   {why.c_str(), -1}, {at.c_str(), -1}})
                             : run(sqlShowAgain, {blob(name), {score.c_str(), -1}, {submission.c_str(), -1}, replayValue});
        bool moved = PQresultStatus(put) == PGRES_COMMAND_OK && std::strcmp(PQcmdTuples(put), "1") == 0;
        if (!ok(put)) return false;
        return (!hide && !moved) ||
               ok(run(hide ? "SELECT pilaro_move_count($1, NULL)" : "SELECT pilaro_move_count(NULL, $1)",
                      {{score.c_str(), -1}}));
    };
    error.clear();
    if (!execute("BEGIN")) return false;
    if (change() && (!changed || logAction(moderationActions[static_cast<int>(what)], shownName, reason, now)) &&
        execute("COMMIT"))
        return true;
    std::string failure = error;
    execute("ROLLBACK");
    error = failure;
    return false;
}

bool PostgresStore::check(std::string& report) {
    // The server looks after its own pages; the rows that must agree are ours to check.
    std::vector<std::int64_t> rows;
    for (const RowCheck& each : rowChecks())
        if (rows.push_back(0); !single(each.sql.c_str(), rows.back())) return report.clear(), false;
    return rowsReport(rows, report);
}

ReplayOutcome PostgresStore::storeReplay(const StoredReplay& replay, std::string_view address, std::int64_t now,
                                         const RateLimit& limit, std::uint32_t& retryAfter) {
    std::int64_t window = limit.count > 0 ? static_cast<std::int64_t>(limit.seconds) : 0;
    std::string client(address), at = std::to_string(now), since = std::to_string(now - window);
    std::string pruneBefore = std::to_string(now - std::max(window, replayMatchSeconds));
    std::string score = std::to_string(replay.score);
    auto store = [&]() -> ReplayOutcome {
        // Two hosts may count the same address at once: one waits for the other, as submissions do.
        if (!execute("BEGIN") || !execute("SET LOCAL synchronous_commit = off") ||
            !ok(run("SELECT pg_advisory_xact_lock(hashtextextended($1, 7))", {{client.c_str(), -1}})) ||
            !ok(run(sqlPruneReplays, {{pruneBefore.c_str(), -1}})))
            return ReplayOutcome::storageFailed;
        PGresult* owner = run(sqlReplayName, {blob(replay.key)});
        bool other = PQresultStatus(owner) == PGRES_TUPLES_OK && PQntuples(owner) == 1 &&
                     bytes(owner, 0, 0) != replay.name;
        if (!ok(owner)) return ReplayOutcome::storageFailed;
        if (other) return ReplayOutcome::otherName;
        if (limit.count > 0) {
            std::int64_t made = 0;
            PGresult* recent = run(sqlReplaysFromAddress, {{client.c_str(), -1}, {since.c_str(), -1}});
            if (PQresultStatus(recent) == PGRES_TUPLES_OK) made = std::strtoll(PQgetvalue(recent, 0, 0), nullptr, 10);
            if (!ok(recent)) return ReplayOutcome::storageFailed;
            if (made >= static_cast<std::int64_t>(limit.count)) {
                std::string skip = std::to_string(made - static_cast<std::int64_t>(limit.count));
                PGresult* oldest =
                    run(sqlOldestReplayCounted, {{client.c_str(), -1}, {since.c_str(), -1}, {skip.c_str(), -1}});
                std::int64_t first = now;
                if (PQresultStatus(oldest) == PGRES_TUPLES_OK && PQntuples(oldest) == 1)
                    first = std::strtoll(PQgetvalue(oldest, 0, 0), nullptr, 10);
                PQclear(oldest);
                std::int64_t left = first + window - now;
                retryAfter = static_cast<std::uint32_t>(left < 1 ? 1 : left);
                return ReplayOutcome::rateLimited;
            }
        }
        if (!ok(run(sqlInsertReplay, {blob(replay.key), blob(replay.name), {score.c_str(), -1}, {client.c_str(), -1},
                                      {at.c_str(), -1}, blob(replay.recording)})) ||
            !execute("COMMIT"))
            return ReplayOutcome::storageFailed;
        return ReplayOutcome::accepted;
    };
    reconnectIfClosed();
    ReplayOutcome outcome = store();
    if (outcome != ReplayOutcome::accepted) {
        std::string why = error;
        if (PQtransactionStatus(conn) != PQTRANS_IDLE) execute("ROLLBACK");
        error = why;
        if (outcome == ReplayOutcome::storageFailed) reconnected();
    }
    return outcome;
}

bool PostgresStore::readReplay(std::string_view key, StoredReplay& out, bool& found) {
    std::string wanted(key);
    return reading([&] {
        PGresult* result = run(sqlReadReplay, {blob(wanted)});
        found = PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1;
        if (found) out = {wanted, bytes(result, 0, 0),
                          static_cast<std::uint32_t>(std::strtoull(PQgetvalue(result, 0, 1), nullptr, 10)),
                          bytes(result, 0, 2)};
        return ok(result);
    });
}

bool PostgresStore::readReplays(std::string_view after, std::uint32_t count, std::vector<StoredReplay>& out) {
    std::string from(after), limit = std::to_string(count);
    out.clear();
    PGresult* result = run(sqlReadReplays, {blob(from), {limit.c_str(), -1}});
    if (PQresultStatus(result) == PGRES_TUPLES_OK)
        for (int row = 0; row < PQntuples(result); ++row)
            out.push_back({bytes(result, row, 0), bytes(result, row, 1),
                           static_cast<std::uint32_t>(std::strtoull(PQgetvalue(result, row, 2), nullptr, 10)),
                           bytes(result, row, 3)});
    return ok(result);
}

}  // namespace

std::unique_ptr<RankingStore> openPostgresStore(const std::string& uri, StoreAccess access, std::string& error) {
    auto store = std::make_unique<PostgresStore>();
    if (store->open(uri, access)) return store;
    error = store->lastError();
    return nullptr;
}
