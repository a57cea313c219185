// store.cpp: what every store shares: choosing the store from its location, one submission as a
// batch of its own, and storing replays one after the other for a store that cannot do better.
#include "store.h"

#include "placeCounts.h"

#include <cstdint>
#include <cstdio>

SubmitResult RankingStore::submit(const Submission& submission, std::string_view address, std::int64_t now,
                                  const RateLimit& limit, std::vector<RankingEntry>& topTen, bool verifiedOnly) {
    PendingSubmission one{submission, std::string(address), now, limit, verifiedOnly, {}, {}, {}};
    submitAll({&one});
    topTen = std::move(one.topTen);
    error = one.error;
    return one.result;
}

void RankingStore::storeReplays(const std::vector<PendingReplay*>& batch) {
    for (PendingReplay* pending : batch) {
        pending->outcome = storeReplay(pending->replay, pending->address, pending->now, pending->limit,
                                       pending->retryAfter);
        pending->error = pending->outcome == ReplayOutcome::storageFailed ? lastError() : std::string();
    }
}

const std::vector<RowCheck>& rowChecks() {
    static const std::vector<RowCheck> checks = [] {
        // A period row must be of a ranked name (a name that leaves the ranking leaves the boards),
        // at most its all-time best, and begin its period.
        std::string periodStart = "CASE b.period WHEN " + std::to_string(static_cast<int>(Board::today)) + " THEN " +
                                  periodStartSql(Board::today, "b.start") + " WHEN " +
                                  std::to_string(static_cast<int>(Board::week)) + " THEN " +
                                  periodStartSql(Board::week, "b.start") + " END";
        return std::vector<RowCheck>{
            {StorePart::placeCounts, "place counts differ from the names", countsDifferSql("place_counts", "names", "")},
            {StorePart::periodBoards, "period counts differ from the period rows",
             countsDifferSql("period_counts", "period_bests", "period, start, ")},
            {StorePart::periodBoards, "period rows name no ranked name, beat its best or start no period",
             "SELECT count(*) FROM period_bests b LEFT JOIN names n ON n.name = b.name WHERE n.name IS NULL OR "
             "b.score > n.score OR b.start IS DISTINCT FROM " + periodStart},
            // A hidden entry left the ranking: one there too came back past the hide (a submission
            // checked just before it), and the operator hides it again.
            {StorePart::moderation, "hidden names are ranked too (hide them again)",
             "SELECT count(*) FROM hidden h JOIN names n ON n.name = h.name"},
            // The replay behind an entry, shown or hidden, is kept for as long as the entry is.
            {StorePart::moderation, "entries name a replay that is not kept",
             "SELECT (SELECT count(*) FROM names n WHERE n.replay IS NOT NULL AND NOT EXISTS (SELECT 1 FROM "
             "replays r WHERE r.key = n.replay AND r.kept)) + (SELECT count(*) FROM hidden h WHERE h.replay IS "
             "NOT NULL AND NOT EXISTS (SELECT 1 FROM replays r WHERE r.key = h.replay AND r.kept))"}};
    }();
    return checks;
}

bool rowsReport(const std::vector<std::int64_t>& rows, std::string& report) {
    report.clear();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i] != 0)
            report += (report.empty() ? "" : "\n") + std::string(rowChecks()[i].disagreement) + " in " +
                      std::to_string(rows[i]) + " rows";
    if (!report.empty()) return false;
    report = "ok";
    return true;
}

const char* const newerRankingText = "the ranking was written by a newer version of the program";
const char* const notRankingText = "not a Pilaro ranking";
const char* const emptyRankingText = "not a Pilaro ranking (it is empty)";

std::string hexHash(std::string_view bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

bool isPostgresLocation(const std::string& location) {
    return location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0;
}

std::unique_ptr<RankingStore> openStore(const std::string& location, StoreAccess access, std::string& error) {
    if (isPostgresLocation(location)) return openPostgresStore(location, access, error);
    return openSqliteStore(location, access, error);
}
