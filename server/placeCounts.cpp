// placeCounts.cpp: the SQL of the place counts, made from their two constants.
#include "placeCounts.h"

namespace {

std::string shifted(const std::string& value, int level) {
    return "(" + value + " >> " + std::to_string(placeCountBits * level) + ")";
}

}  // namespace

std::string placeLevelsSql() {
    std::string sql = "(SELECT 0 AS k";
    for (int k = 1; k < placeCountLevels; ++k) sql += " UNION ALL SELECT " + std::to_string(k);
    return sql + ")";
}

std::string namesAboveSql(const std::string& table, const std::string& score, bool oneSum) {
    // On each level, the siblings after the score's own prefix; each a range of the primary key
    // (one query over all levels is planned as a scan of the whole table). PostgreSQL sums them
    // in one aggregate over the eight ranges (a sum for each level set up eight aggregates in
    // every submission); SQLite runs each level's sum as a small subquery of its own, and with
    // the one sum its submissions at a million names came no faster.
    std::string ranges, sums = "0";
    const std::string lastSibling = std::to_string((1 << placeCountBits) - 1);
    for (int k = 0; k < placeCountLevels; ++k) {
        std::string prefix = shifted(score, k);
        std::string range = "FROM " + table + " WHERE level = " + std::to_string(k) + " AND prefix > " + prefix +
                            " AND prefix <= (" + prefix + " | " + lastSibling + ")";
        ranges += std::string(k > 0 ? " UNION ALL " : "") + "SELECT names " + range;
        sums += " + (SELECT coalesce(sum(names), 0) " + range + ")";
    }
    return oneSum ? "(SELECT coalesce(sum(names), 0) FROM (" + ranges + ") siblings)" : sums;
}

std::string rebuildPlaceCountsSql(const std::string& table) {
    std::string sql = "DELETE FROM " + table + ";INSERT INTO " + table +
                      "(level, prefix, names) SELECT 0, score, count(*) FROM names GROUP BY score;";
    for (int k = 1; k < placeCountLevels; ++k)
        sql += "INSERT INTO " + table + "(level, prefix, names) SELECT " + std::to_string(k) + ", " +
               shifted("prefix", 1) + ", sum(names) FROM " + table + " WHERE level = " + std::to_string(k - 1) +
               " GROUP BY " + shifted("prefix", 1) + ";";
    return sql;
}

std::string countNamesSql(const std::string& table) {
    return "SELECT coalesce(sum(names), 0) FROM " + table + " WHERE level = " + std::to_string(placeCountLevels - 1);
}

std::string countsDifferSql(const std::string& counts, const std::string& rows, const std::string& keys) {
    // Level 0 from the rows (one pass in the order of their index by score), and each level above
    // from the level below it as kept: all agree only if every level agrees with the rows. Each
    // level made from the rows, as the counts' definition reads, grouped eight times the rows,
    // and took the admin's check (and every backup's check of its copy) most of a minute at a
    // million names.
    std::string bits = std::to_string(placeCountBits);
    std::string expected = "SELECT " + keys + "0 AS level, score AS prefix, count(*) AS names FROM " + rows +
                           " GROUP BY " + keys + "score UNION ALL SELECT " + keys + "level + 1, prefix >> " + bits +
                           ", CAST(sum(names) AS bigint) FROM " + counts + " WHERE level < " +
                           std::to_string(placeCountLevels - 1) + " AND names <> 0 GROUP BY " + keys + "level, prefix >> " + bits;
    std::string kept = "SELECT " + keys + "level, prefix, names FROM " + counts + " WHERE names <> 0";
    return "WITH e AS MATERIALIZED (" + expected + "), k AS MATERIALIZED (" + kept +
           ") SELECT (SELECT count(*) FROM (SELECT * FROM e EXCEPT SELECT * FROM k) a) + "
           "(SELECT count(*) FROM (SELECT * FROM k EXCEPT SELECT * FROM e) b)";
}

bool findPlace(std::uint64_t offset, const PlaceCountRows& rows, bool& found, std::uint32_t& score,
               std::uint64_t& skip) {
    found = false;
    std::int64_t parent = 0;  // the prefix chosen on the level above (the top level's is 0)
    std::uint64_t before = 0;  // names in the prefixes passed over, all above the place
    std::vector<std::pair<std::int64_t, std::int64_t>> counts;
    for (int k = placeCountLevels - 1; k >= 0; --k) {
        std::int64_t first = parent << placeCountBits;
        if (!rows(k, first, first | ((1 << placeCountBits) - 1), counts)) return false;
        bool within = false;
        for (const auto& [prefix, names] : counts) {
            if (names <= 0) continue;
            if (before + static_cast<std::uint64_t>(names) > offset) {
                parent = prefix;
                within = true;
                break;
            }
            before += static_cast<std::uint64_t>(names);
        }
        if (!within) return true;  // past the last place
    }
    found = true;
    score = static_cast<std::uint32_t>(parent);
    skip = offset - before;
    return true;
}

std::string placeCountRowsSql(const std::string& table, bool dollar) {
    const char* mark = dollar ? "$" : "?";
    return std::string("SELECT prefix, names FROM ") + table + " WHERE level = " + mark + "1 AND prefix BETWEEN " +
           mark + "2 AND " + mark + "3 AND names > 0 ORDER BY prefix DESC";
}
