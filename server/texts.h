// texts.h: everything the ranking says: the reply the game shows after a submission, its
// refusals, and the page.
#pragma once

#include "boards.h"
#include "submission.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The reply to an accepted submission, in code page 932: the submitter's place, the top ten one
// per line, then an HTML remainder beginning with "<" that the game cuts off.
std::string gameReply(const SubmitResult& result, const std::vector<RankingEntry>& topTen, std::string_view pageUrl);

constexpr std::uint32_t placesPerPage = 50;

// What one board request found: a page of the board, or the places around a name.
struct BoardView {
    BoardKey board;
    std::uint32_t names = 0;  // on the board
    std::uint32_t page = 1, pageCount = 1;
    bool search = false;   // the places around `name`, not a page
    std::string name;      // code page 932 bytes
    std::uint32_t place = 0;  // of `name`; 0: not on the board
    std::vector<RankingEntry> entries;
};
// Places shown above and below a name found.
constexpr std::uint32_t placesAroundName = 10;

// A board as a web page (UTF-8); `problem` (UTF-8) is said above it when the query was refused.
std::string rankingPage(const BoardView& view, std::string_view pageUrl, std::string_view problem = {});
// The same as the API's JSON: every name as UTF-8 text and as its code page 932 bytes in hex.
std::string boardJson(const BoardView& view);
// The API's refusal: {"error": "..."}.
std::string jsonError(std::string_view textUtf8);

// The ranking's own refusals, short Japanese sentences (UTF-8) that the game shows; none holds a "<".
enum class Refusal {
    tooLarge, cutShort, unavailable, notStored, tooMany, wrongMethod, otherSite,
    notVerified,     // the operator ranks verified scores only, and no replay came before this one
    replayOtherName, // the recording is already behind another name's entry
    replayMissing,   // no replay is kept under the id asked for
    nameHeldBack,    // the operator hid the name's entry or refused the name
};
const char* refusalText(Refusal refusal);
// Why a request body was refused.
std::string bodyErrorText(BodyError error);
// Why a replay was refused (replayCheck.h's verdicts but `accepted`), and the word that it was not.
enum class ReplayVerdict;
const char* replayVerdictText(ReplayVerdict verdict);
extern const char* const replayAcceptedText;
// The browser page's path on the ranking's host: the ranking page links to it, and each verified
// entry to its watch view there.
constexpr const char* playPath = "/play/";
// The ranking page's style sheet, which it links to at its own address (its policy allows no
// inline style).
extern const char* const rankingStyle;
// The page when the ranking cannot be read (UTF-8 HTML).
std::string unavailablePage();

// HTML-escapes UTF-8 text for element content and attribute values.
std::string htmlEscape(std::string_view text);

// The short texts (UTF-8) of the statuses that the web server itself may answer for the ranking's
// address before the program sees the request: the game shows them like the program's own.
struct StatusText {
    int status;
    const char* text;
};
extern const StatusText webServerStatusTexts[];
extern const std::size_t webServerStatusTextCount;
