// boards.cpp: the periods' beginnings, and the board requests' query.
#include "boards.h"

#include "submission.h"
#include "text/cp932.h"
#include "texts.h"

namespace {

// "%XX" and "+" undone, as a browser's form sends them; false for a broken escape.
bool formDecode(std::string_view text, std::string& out) {
    out.clear();
    auto hex = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] != '%') {
            out += text[i];
        } else {
            if (i + 2 >= text.size()) return false;
            int high = hex(text[i + 1]), low = hex(text[i + 2]);
            if (high < 0 || low < 0) return false;
            out += static_cast<char>(high * 16 + low);
            i += 2;
        }
    }
    return true;
}

}  // namespace

BoardKey boardAt(Board board, std::int64_t now) {
    if (board == Board::allTime) return {board, 0};
    PeriodRule rule = periodRule(board);
    std::int64_t into = (now + rule.shift) % rule.length;
    if (into < 0) into += rule.length;
    return {board, now - into};
}

std::string periodStartSql(Board board, const std::string& at) {
    PeriodRule rule = periodRule(board);
    return "(" + at + " - ((" + at + " + " + std::to_string(rule.shift) + ") % " + std::to_string(rule.length) + "))";
}

const char* boardWord(Board board) {
    switch (board) {
    case Board::today: return "today";
    case Board::week: return "week";
    case Board::allTime: break;
    }
    return "all";
}

bool parseBoardQuery(std::string_view query, BoardQuery& out, std::string& error, bool strict) {
    out = BoardQuery{};
    bool boardGiven = false;
    std::size_t at = 0;
    while (at < query.size()) {
        std::size_t end = query.find('&', at);
        if (end == std::string_view::npos) end = query.size();
        std::string_view pair = query.substr(at, end - at);
        at = end + 1;
        std::size_t equals = pair.find('=');
        std::string_view key = pair.substr(0, equals);
        std::string_view value = equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1);
        if (key == "board" && !boardGiven) {
            boardGiven = true;
            if (value == "today") out.board = Board::today;
            else if (value == "week") out.board = Board::week;
            else if (value == "all") out.board = Board::allTime;
            else return error = "board は today、week、all のどれかです", false;
        } else if (key == "page" && !out.pageGiven) {
            out.pageGiven = true;
            std::uint64_t page = 0;
            for (char c : value) page = c >= '0' && c <= '9' && page < 100000000 ? page * 10 + std::uint64_t(c - '0') : 0;
            if (value.empty() || page == 0 || page >= 100000000)
                return error = "page は 1 から 99999999 までの数です", false;
            out.page = static_cast<std::uint32_t>(page);
        } else if (key == "name" && !out.nameGiven) {
            out.nameGiven = true;
            std::string typed, bytes;
            if (!formDecode(value, typed)) return error = "name の % エスケープが正しくありません", false;
            // Matched as the ranking stores names: the code page 932 bytes of the text typed, with
            // the blanks at either end dropped.
            if (!cp932::encodeStrict(typed, bytes)) return error = bodyErrorText(BodyError::nameEncoding), false;
            BodyError why = parseName(bytes, out.name);
            if (why != BodyError::none) return error = bodyErrorText(why), false;
        } else if (strict || key == "board" || key == "page" || key == "name") {
            return error = "知らない項目か、二度目の項目があります", false;
        }
    }
    if (out.pageGiven && out.nameGiven) return error = "page と name は一緒に使えません", false;
    return true;
}
