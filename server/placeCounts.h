// placeCounts.h: how both stores count the names above a score without walking the ranking. Level
// k holds one row per value of score >> (placeCountBits * k) with the names whose best score has
// that prefix, so the names above a score are the sums of fewer than 2^placeCountBits rows on each
// level, however long the ranking. The SQL both stores run on those rows is made here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

constexpr int placeCountLevels = 8;
constexpr int placeCountBits = 4;  // levels * bits = 32: the top level has one row per score >> 28
static_assert(placeCountLevels * placeCountBits == 32, "the levels cover a 32-bit score");

constexpr std::int64_t placePrefix(std::uint32_t score, int level) { return score >> (placeCountBits * level); }

// The levels as a one-column table "k", in any SQL dialect.
std::string placeLevelsSql();
// The names above the score that the SQL expression `score` gives, as one SQL expression: one sum
// over all the levels (`oneSum`, PostgreSQL's) or a sum for each.
std::string namesAboveSql(const std::string& table, const std::string& score, bool oneSum);
// The counts made again from the names table: level 0 from the names, each level above from the
// one below.
std::string rebuildPlaceCountsSql(const std::string& table);
// The names in the ranking: the sum of the top level.
std::string countNamesSql(const std::string& table);
// How many rows of the counts (table `counts`) differ from what the rows they count (table `rows`,
// with its `score`) give, as one SQL query (0 when they agree). `keys` ("" or "period, start, ")
// are the columns before the level that both tables share, one set of counts for each.
std::string countsDifferSql(const std::string& counts, const std::string& rows, const std::string& keys);

// The counts of one level's prefixes from `first` to `last` that hold names, highest first, as
// (prefix, names); false when the store could not read them.
using PlaceCountRows = std::function<bool(int level, std::int64_t first, std::int64_t last,
                                          std::vector<std::pair<std::int64_t, std::int64_t>>& rows)>;
// Where the place after `offset` places lies: its score, and how many names of that score come
// before it. Found by walking down the levels (at most 2^placeCountBits rows on each), so that a
// page deep in the ranking is read by seeking to its score, not by stepping over every name above
// it. `found` is false past the last place; the result is false when the store failed.
bool findPlace(std::uint64_t offset, const PlaceCountRows& rows, bool& found, std::uint32_t& score,
               std::uint64_t& skip);
// The SQL of those rows, with the level, first and last prefix as parameters 1, 2 and 3 (SQLite's
// "?N"; PostgreSQL's "$N" when `dollar`).
std::string placeCountRowsSql(const std::string& table, bool dollar);
