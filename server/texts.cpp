// texts.cpp: the reply the game shows after a submission, the ranking page, and the short texts
// of the program's and the web server's refusals.
#include "texts.h"

#include "replayCheck.h"
#include "text/cp932.h"

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
    "body{font-family:sans-serif;margin:0 auto;padding:1em;max-width:36em;line-height:1.5}\n"
    "h1{font-size:1.4em}\n"
    "table{border-collapse:collapse;width:100%}\n"
    "th,td{padding:.3em .5em;border-bottom:1px solid #ccc;text-align:left}\n"
    "td.place,td.score,th.score{text-align:right;white-space:nowrap}\n"
    "td.name{word-break:break-all}\n"
    "td.watch{white-space:nowrap}\n"
    "nav{margin:1em 0;display:flex;justify-content:space-between}\n";

std::string rankingPage(const std::vector<RankingEntry>& entries, std::uint32_t page, std::uint32_t pageCount,
                        std::uint32_t nameCount, std::string_view pageUrl) {
    std::string html =
        "<!DOCTYPE html>\n"
        "<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<title>Pilaro ランキング</title>\n"
        "<link rel=\"stylesheet\" href=\"" + htmlEscape(pageUrl) + "?style\">\n"
        "</head>\n<body>\n<h1>Pilaro ランキング</h1>\n";
    html += "<p><a href=\"" + std::string(playPath) + "\">ブラウザで遊ぶ</a></p>\n";
    html += "<p>" + std::to_string(nameCount) + " 人</p>\n";
    if (entries.empty()) {
        html += "<p>このページにはまだ記録がありません。</p>\n";
    } else {
        html += "<table>\n<thead><tr><th>順位</th><th>名前</th><th class=\"score\">スコア</th><th>リプレイ</th></tr></thead>\n<tbody>\n";
        for (const RankingEntry& entry : entries) {
            html += "<tr><td class=\"place\">" + std::to_string(entry.place) + "</td><td class=\"name\">" +
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
    std::string base = htmlEscape(pageUrl);
    html += "<nav>";
    if (page > 1)
        html += "<a href=\"" + base + "?page=" + std::to_string(page - 1) + "\">&larr; 前へ</a>";
    else
        html += "<span></span>";
    html += "<span>" + std::to_string(page) + " / " + std::to_string(pageCount) + "</span>";
    if (page < pageCount)
        html += "<a href=\"" + base + "?page=" + std::to_string(page + 1) + "\">次へ &rarr;</a>";
    else
        html += "<span></span>";
    html += "</nav>\n</body>\n</html>\n";
    return html;
}
