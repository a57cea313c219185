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

std::string namesAboveSql(const std::string& table, const std::string& score) {
    // On each level, the siblings after the score's own prefix; each a range of the primary key
    // (one query over all levels is planned as a scan of the whole table).
    std::string sql = "0";
    const std::string lastSibling = std::to_string((1 << placeCountBits) - 1);
    for (int k = 0; k < placeCountLevels; ++k) {
        std::string prefix = shifted(score, k);
        sql += " + (SELECT coalesce(sum(names), 0) FROM " + table + " WHERE level = " + std::to_string(k) +
               " AND prefix > " + prefix + " AND prefix <= (" + prefix + " | " + lastSibling + "))";
    }
    return sql;
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

std::string placeCountsDifferSql(const std::string& table) {
    std::string expected = "(SELECT k AS level, score >> (" + std::to_string(placeCountBits) + " * k) AS prefix, count(*) AS names FROM names, " + placeLevelsSql() +
                           " levels GROUP BY 1, 2)";
    std::string kept = "(SELECT level, prefix, names FROM " + table + " WHERE names <> 0)";
    return "SELECT (SELECT count(*) FROM (SELECT * FROM " + expected + " e EXCEPT SELECT * FROM " + kept +
           " k) a) + (SELECT count(*) FROM (SELECT * FROM " + kept + " k EXCEPT SELECT * FROM " + expected +
           " e) b)";
}
