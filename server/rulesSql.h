// rulesSql.h: the ranking's rules as SQL that both stores run (the parameters as in replaySql.h;
// the SQLite store reads "$N" as its "?N", and the PostgreSQL store's pilaro_submit puts its own
// variables in their place).
#pragma once

#include <string>

// The rate limit: the address's submissions in the window ($1 the address, $2 the window's start),
// and the time of the one whose leaving lets the next in ($3 how many of them are over the limit).
inline const char* const sqlRecentFromAddress = "SELECT count(*) FROM submissions WHERE address = $1 AND at > $2";
inline const char* const sqlOldestCounted =
    "SELECT at FROM submissions WHERE address = $1 AND at > $2 ORDER BY at LIMIT 1 OFFSET $3";
// The history holds only the rate limit's window: each name's best is its row in names (whose
// submission number still orders ties). The oldest few go with every submission, so the pruning
// keeps pace with the arrivals and never stalls one submission with a large delete; they are the
// first rows in the table's own order, found without stepping over the window's rows ($1: the
// window's start). `skipLocked`: several writers at once (PostgreSQL) pass over each other's, and
// each looks past the last one it took away ($2; 0 for the first): PostgreSQL keeps a deleted row's
// index entry until the table's vacuum, and a scan from the first id stepped over every one of them,
// ever more as a long history (a million rows of an upgraded store) went.
inline std::string pruneHistorySql(bool skipLocked) {
    return std::string("DELETE FROM submissions WHERE id IN (SELECT id FROM submissions WHERE id > $2 ORDER BY id LIMIT 4") +
           (skipLocked ? " FOR UPDATE SKIP LOCKED" : "") + ") AND at <= $1";
}
// The tie rule: of the names with the same best score ($1), those that reached it with an earlier
// submission ($2) come first; on a period board ($2 the period, $3 its start, $4 the submission),
// the same.
inline const char* const sqlCountTiedBefore = "SELECT count(*) FROM names WHERE score = $1 AND submission < $2";
inline const char* const sqlPeriodTiedBefore =
    "SELECT count(*) FROM period_bests WHERE period = $2 AND start = $3 AND score = $1 AND submission < $4";

// `sql` with each "$N" replaced by the Nth of `values` (1 for the first), in one pass.
inline std::string withParameters(const std::string& sql, std::initializer_list<std::string> values) {
    std::string out;
    for (std::size_t at = 0; at < sql.size(); ++at) {
        std::size_t digits = at + 1;
        while (digits < sql.size() && sql[digits] >= '0' && sql[digits] <= '9') ++digits;
        if (sql[at] != '$' || digits == at + 1) {
            out += sql[at];
            continue;
        }
        std::size_t n = std::stoul(sql.substr(at + 1, digits - at - 1));
        out += n >= 1 && n <= values.size() ? values.begin()[n - 1] : sql.substr(at, digits - at);
        at = digits - 1;
    }
    return out;
}
