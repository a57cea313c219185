// boards.h: the ranking's three boards (today's, this week's and the all-time one), where Japan's
// days and weeks begin, and the one reading of a board request's query, for the page and the API.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The numbers are stored: a period board's rows carry theirs.
enum class Board { today = 0, week = 1, allTime = 2 };

// A board as the stores know it: a period board by the first second (Unix time) of its period.
struct BoardKey {
    Board board = Board::allTime;
    std::int64_t start = 0;
};

// The periods follow Japan's clock, UTC+9 all year (Japan keeps no daylight saving time): a day
// begins at 00:00 JST (15:00 UTC the day before), a week on Monday at 00:00 JST.
constexpr std::int64_t jstOffsetSeconds = 9 * 3600;
// Each period as a length and the shift that puts its beginnings at multiples of it; the stores'
// SQL and the program's arithmetic are both made from these. 1970-01-01 was a Thursday: three days
// on from a Monday.
struct PeriodRule {
    std::int64_t length, shift;
};
constexpr PeriodRule periodRule(Board board) {
    return board == Board::today ? PeriodRule{86400, jstOffsetSeconds}
                                 : PeriodRule{7 * 86400, jstOffsetSeconds + 3 * 86400};
}
// The board as it stands at `now` (seconds, Unix time).
BoardKey boardAt(Board board, std::int64_t now);
// SQL for the first second of the period that holds the SQL integer `at` (never before 1970).
std::string periodStartSql(Board board, const std::string& at);


// The SQLite store's period tables and the triggers that keep them (sqliteStore.cpp); it may run
// again, and makes only what is missing.
std::string sqlitePeriodBoardsSql();


// A board request: "board=today|week|all", "page=N" (from 1) and "name=..." (UTF-8, form-encoded).
struct BoardQuery {
    Board board = Board::allTime;
    std::uint32_t page = 1;
    bool pageGiven = false;
    bool nameGiven = false;
    std::string name;  // the typed name in code page 932, as the ranking stores it
};
// Reads `query`; false, with `error` (Japanese, UTF-8) saying what is wrong, for a key given twice,
// a value it cannot read, a name that no stored name could be, or (`strict`, for the API) a key it
// does not know. The page passes over unknown keys: links shared elsewhere come back with keys of
// other sites added.
bool parseBoardQuery(std::string_view query, BoardQuery& out, std::string& error, bool strict = true);
// The word of each board in queries and in the API's answers ("today", "week", "all").
const char* boardWord(Board board);
