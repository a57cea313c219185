// texts.cpp: the reply the game shows after a submission, the ranking page, and the short texts
// of the program's and the web server's refusals.
#include "texts.h"

#include "replayCheck.h"
#include "text/cp932.h"

#include <ctime>

namespace {

const char* const malformed = "送信内容の形式が正しくありません";
const char* const tooLarge = "送信内容が長すぎます";
const char* const unavailable = "ランキングは今使えません。時間をおいて送ってください";

}  // namespace

const char* refusalText(Refusal refusal) {
    switch (refusal) {
    case Refusal::tooLarge: return tooLarge;
    case Refusal::cutShort: return "送信内容が途中で切れています";
    case Refusal::unavailable: return unavailable;
    case Refusal::notStored: return "ランキングに記録できませんでした。時間をおいて送ってください";
    case Refusal::tooMany: return "送信が多すぎます。少し待ってから送ってください";
    case Refusal::wrongMethod: return "POST か GET で送ってください";
    case Refusal::otherSite: return "ほかのサイトからの送信は受け付けません";
    case Refusal::notVerified: return "リプレイで確かめられたスコアだけを受け付けています";
    case Refusal::replayOtherName: return "このリプレイはほかの名前で登録されています";
    case Refusal::replayMissing: return "このリプレイは残っていません";
    case Refusal::nameHeldBack: return "この名前では登録できません";
    }
    return unavailable;
}

std::string bodyErrorText(BodyError error) {
    switch (error) {
    case BodyError::none: return {};
    case BodyError::noSeparator: return malformed;
    case BodyError::nameLength: return "名前は1から10バイトにしてください";
    case BodyError::nameEncoding: return "名前に読めない文字があります";
    case BodyError::nameControl: return "名前に制御文字は使えません";
    case BodyError::nameBlank: return "名前が空白だけです";
    case BodyError::score: return "スコアが正しくありません";
    }
    return {};
}

const char* replayVerdictText(ReplayVerdict verdict) {
    switch (verdict) {
    case ReplayVerdict::accepted: return replayAcceptedText;
    case ReplayVerdict::malformed: return malformed;
    case ReplayVerdict::notRecording: return "リプレイが読めません";
    case ReplayVerdict::tooLong: return "リプレイが長すぎます";
    case ReplayVerdict::implausible: return "リプレイのキー操作が速すぎます";
    case ReplayVerdict::notEnded: return "リプレイがゲームオーバーで終わっていません";
    case ReplayVerdict::wrongScore: return "リプレイのスコアが合いません";
    }
    return malformed;
}

const char* const replayAcceptedText = "リプレイを受け付けました";

std::string unavailablePage() {
    return "<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"utf-8\"><title>Pilaro</title></head>"
           "<body><p>ランキングは今使えません。</p></body></html>\n";
}

const StatusText webServerStatusTexts[] = {
    {400, malformed},
    {408, "送信が途中で止まりました。もう一度送ってください"},
    {411, "送信内容の長さがわかりません"},
    {413, tooLarge},
    {414, "アドレスが長すぎます"},
    {417, malformed},
    {431, malformed},
    {500, "ランキングで問題が起きました。時間をおいて送ってください"},
    {501, malformed},
    {502, unavailable},
    {503, unavailable},
    {504, unavailable},
    {505, malformed},
};
const std::size_t webServerStatusTextCount = sizeof webServerStatusTexts / sizeof webServerStatusTexts[0];

std::string gameReply(const SubmitResult& result, const std::vector<RankingEntry>& topTen, std::string_view pageUrl) {
    // The fixed pieces are converted once: the reply is made for every submission.
    static const std::string youAre = cp932::encode("あなたは");
    static const std::string placeSuffix = cp932::encode("位です\n");
    static const std::string bestSoFar = cp932::encode("(これまでの最高 ");
    static const std::string placeWord = cp932::encode("位 ");
    static const std::string pageLink = cp932::encode("ランキング");
    std::string reply = youAre + std::to_string(result.place) + placeSuffix;
    if (!result.improved) reply += bestSoFar + std::to_string(result.bestScore) + ")\n";
    for (const RankingEntry& entry : topTen) {
        reply += std::to_string(entry.place);
        reply += placeWord;
        // The game shows the reply only up to its first "<", so a "<" in a name would cut the
        // list short: it becomes the full-width one. 0x3C is never a trail byte, so this replaces
        // only whole characters.
        for (char c : entry.name) {
            if (c == '<')
                reply += "\x81\x83";
            else
                reply += c;
        }
        reply += ' ';
        reply += std::to_string(entry.score);
        reply += '\n';
    }
    reply += "<a href=\"";
    reply += htmlEscape(pageUrl);
    reply += "\">";
    reply += pageLink;
    reply += "</a>\n";
    return reply;
}

std::string htmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

const char* const rankingStyle =
    "body{font-family:sans-serif;margin:0 auto;padding:.5em 1em;max-width:40em;line-height:1.5;color:#111;background:#fff}\n"
    "h1{font-size:1.4em;margin:.4em 0}\n"
    "h2{font-size:1.1em}\n"
    "a{color:#0645ad}\n"
    "nav{display:flex;flex-wrap:wrap;gap:.5em;align-items:center}\n"
    "nav.boards ul{list-style:none;padding:0;margin:.5em 0;display:flex;flex-wrap:wrap;gap:.5em}\n"
    "nav.boards a{display:inline-block;padding:.5em .9em;border:1px solid #0645ad;border-radius:.3em}\n"
    "nav.boards a[aria-current]{background:#0645ad;color:#fff}\n"
    "form{display:flex;flex-wrap:wrap;gap:.5em;align-items:center;margin:.8em 0}\n"
    "input{font-size:1em;padding:.5em;min-width:0;flex:1 1 8em}\n"
    "button{font-size:1em;padding:.5em 1em;min-height:48px}\n"
    "table{border-collapse:collapse;width:100%}\n"
    "th,td{padding:.4em .4em;border-bottom:1px solid #ccc;text-align:left}\n"
    "td.place,td.score,th.score{text-align:right;white-space:nowrap}\n"
    "td.name{word-break:break-all}\n"
    "td.watch{white-space:nowrap}\n"
    "tr.found{background:#fff3b0;font-weight:bold}\n"
    "nav.pages{margin:1em 0;justify-content:space-between}\n"
    "nav.pages a{display:inline-block;padding:.6em .4em}\n"
    "footer{margin-top:1.5em;font-size:.9em;color:#333}\n";

namespace {

// The first day of a period as Japan's calendar has it: "2026年12月7日".
std::string jstDate(std::int64_t start) {
    std::time_t local = static_cast<std::time_t>(start + jstOffsetSeconds);
    std::tm day{};
    gmtime_r(&local, &day);
    return std::to_string(day.tm_year + 1900) + "年" + std::to_string(day.tm_mon + 1) + "月" +
           std::to_string(day.tm_mday) + "日";
}

const char* boardTitle(Board board) {
    switch (board) {
    case Board::today: return "今日";
    case Board::week: return "今週";
    case Board::allTime: break;
    }
    return "全期間";
}

// The board's link with the query that shows it (and `more`, already escaped).
std::string boardHref(std::string_view pageUrl, Board board, const std::string& more = {}) {
    return htmlEscape(pageUrl) + "?board=" + boardWord(board) + more;
}

}  // namespace

std::string rankingPage(const BoardView& view, std::string_view pageUrl, std::string_view problem) {
    Board board = view.board.board;
    std::string title = std::string("Pilaro ランキング (") + boardTitle(board) + ")";
    std::string html =
        "<!DOCTYPE html>\n"
        "<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<link rel=\"icon\" href=\"data:,\">\n"
        "<meta name=\"description\" content=\"Pilaro の今日、今週、全期間のランキング。名前で自分の順位とその前後を探せます。\">\n"
        "<title>" + title + "</title>\n"
        "<link rel=\"stylesheet\" href=\"" + htmlEscape(pageUrl) + "?style\">\n"
        "</head>\n<body>\n<header>\n<h1>" + title + "</h1>\n";
    html += "<p><a href=\"" + std::string(playPath) + "\">ブラウザで遊ぶ</a></p>\n</header>\n";
    html += "<nav class=\"boards\" aria-label=\"ランキングの期間\"><ul>";
    for (Board each : {Board::today, Board::week, Board::allTime})
        html += std::string("<li><a href=\"") + boardHref(pageUrl, each) + "\"" +
                (each == board ? " aria-current=\"page\"" : "") + ">" + boardTitle(each) + "</a></li>";
    html += "</ul></nav>\n<main>\n";
    if (board == Board::today)
        html += "<p>" + jstDate(view.board.start) + " 0:00 (日本時間) からの各プレイヤーの最高スコアです。</p>\n";
    else if (board == Board::week)
        html += "<p>" + jstDate(view.board.start) + " (月) 0:00 (日本時間) からの各プレイヤーの最高スコアです。</p>\n";
    else
        html += "<p>これまでの各プレイヤーの最高スコアです。</p>\n";
    html += "<form method=\"get\" action=\"" + htmlEscape(pageUrl) + "\" role=\"search\">"
            "<input type=\"hidden\" name=\"board\" value=\"" + boardWord(board) + "\">"
            "<label for=\"name\">名前で探す</label>"
            "<input id=\"name\" name=\"name\" type=\"search\" autocomplete=\"nickname\" value=\"" +
            (view.search ? htmlEscape(cp932::decode(view.name)) : std::string()) + "\">"
            "<button type=\"submit\">探す</button></form>\n";
    if (!problem.empty()) html += "<p role=\"alert\">" + htmlEscape(problem) + "</p>\n";
    std::string shownName = htmlEscape(cp932::decode(view.name));
    if (view.search && view.place == 0)
        html += "<p role=\"status\">「" + shownName + "」は" + boardTitle(board) + "のランキングにいません。</p>\n";
    else if (view.search)
        html += "<p role=\"status\">「" + shownName + "」は" + boardTitle(board) + "の " + std::to_string(view.place) +
                " 位です。</p>\n";
    else
        html += "<p>" + std::to_string(view.names) + " 人</p>\n";
    if (view.entries.empty() && !view.search) {
        html += "<p>このページにはまだ記録がありません。</p>\n";
    } else if (!view.entries.empty()) {
        html += "<table>\n<thead><tr><th scope=\"col\">順位</th><th scope=\"col\">名前</th>"
                "<th scope=\"col\" class=\"score\">スコア</th><th scope=\"col\">リプレイ</th></tr></thead>\n<tbody>\n";
        for (const RankingEntry& entry : view.entries) {
            bool found = view.search && entry.place == view.place;
            html += std::string(found ? "<tr class=\"found\" aria-current=\"true\">" : "<tr>") +
                    "<td class=\"place\">" + std::to_string(entry.place) + "</td><td class=\"name\">" +
                    htmlEscape(cp932::decode(entry.name)) + "</td><td class=\"score\">" + std::to_string(entry.score) +
                    "</td><td class=\"watch\">";
            // A verified entry: the rules reached its score from the replay kept with it, which
            // the browser page plays.
            if (!entry.replay.empty())
                html += "<a href=\"" + std::string(playPath) + "?watch=" + replayKeyText(entry.replay) +
                        "\" title=\"リプレイを見る\">検証済み &#9654;</a>";
            html += "</td></tr>\n";
        }
        html += "</tbody>\n</table>\n";
    }
    if (!view.search) {
        html += "<nav class=\"pages\" aria-label=\"ページ\">";
        if (view.page > 1)
            html += "<a href=\"" + boardHref(pageUrl, board, "&amp;page=" + std::to_string(view.page - 1)) +
                    "\">&larr; 前へ</a>";
        else
            html += "<span></span>";
        html += "<span>" + std::to_string(view.page) + " / " + std::to_string(view.pageCount) + "</span>";
        if (view.page < view.pageCount)
            html += "<a href=\"" + boardHref(pageUrl, board, "&amp;page=" + std::to_string(view.page + 1)) +
                    "\">次へ &rarr;</a>";
        else
            html += "<span></span>";
        html += "</nav>\n";
    }
    html += "</main>\n<footer><p>「今日」は日本時間 (UTC+9) の毎日 0:00 に、「今週」は毎週月曜 0:00 に新しく始まります。"
            "</p></footer>\n</body>\n</html>\n";
    return html;
}

namespace {

// UTF-8 text as a JSON string.
std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        unsigned char b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || c == '<' || c == '>' || c == '&') {
            // Also "<", ">" and "&": the answer stays harmless if a browser is ever made to take it as HTML.
            static const char digits[] = "0123456789abcdef";
            out += "\\u00";
            out += digits[b >> 4];
            out += digits[b & 15];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// A name as the API gives it: its text and its stored bytes, in the lower-case hex of a replay's id.
std::string jsonName(const std::string& cp932Name) {
    return "\"name\":" + jsonString(cp932::decode(cp932Name)) + ",\"nameCp932\":\"" + replayKeyText(cp932Name) + "\"";
}

}  // namespace

std::string boardJson(const BoardView& view) {
    bool period = view.board.board != Board::allTime;
    std::string json = std::string("{\"board\":\"") + boardWord(view.board.board) + "\",\"periodStart\":" +
                       (period ? std::to_string(view.board.start) : "null") + ",\"names\":" +
                       std::to_string(view.names);
    if (view.search)
        json += ",\"search\":{" + jsonName(view.name) + ",\"place\":" +
                (view.place != 0 ? std::to_string(view.place) : "null") + "}";
    else
        json += ",\"page\":" + std::to_string(view.page) + ",\"pages\":" + std::to_string(view.pageCount) +
                ",\"perPage\":" + std::to_string(placesPerPage);
    json += ",\"entries\":[";
    for (const RankingEntry& entry : view.entries) {
        if (json.back() == '}') json += ',';
        json += "{\"place\":" + std::to_string(entry.place) + "," + jsonName(entry.name) +
                ",\"score\":" + std::to_string(entry.score) + ",\"replay\":" +
                (entry.replay.empty() ? "null" : "\"" + replayKeyText(entry.replay) + "\"") + "}";
    }
    return json + "]}\n";
}

std::string jsonError(std::string_view textUtf8) { return "{\"error\":" + jsonString(textUtf8) + "}\n"; }
