// placeCounts.h: how both stores count the names above a score without walking the ranking. Level
// k holds one row per value of score >> (placeCountBits * k) with the names whose best score has
// that prefix, so the names above a score are the sums of fewer than 2^placeCountBits rows on each
// level, however long the ranking. The SQL both stores run on those rows is made here.
#pragma once

#include <cstdint>
#include <string>

constexpr int placeCountLevels = 8;
constexpr int placeCountBits = 4;  // levels * bits = 32: the top level has one row per score >> 28
static_assert(placeCountLevels * placeCountBits == 32, "the levels cover a 32-bit score");

constexpr std::int64_t placePrefix(std::uint32_t score, int level) { return score >> (placeCountBits * level); }

// The levels as a one-column table "k", in any SQL dialect.
std::string placeLevelsSql();
// The names above the score that the SQL expression `score` gives, as one SQL expression.
std::string namesAboveSql(const std::string& table, const std::string& score);
// The counts made again from the names table: level 0 from the names, each level above from the
// one below.
std::string rebuildPlaceCountsSql(const std::string& table);
// The names in the ranking: the sum of the top level.
std::string countNamesSql(const std::string& table);
// How many rows of the counts differ from what the names give (0 when they agree).
std::string placeCountsDifferSql(const std::string& table);
