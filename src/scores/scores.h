// scores.h: the best-score file's text, and the rules of the ranking's address, request and reply.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

// Where a new best score is sent: the build's address unless chooseRankingUrl took another.
extern std::string rankingUrl;
extern const char* const rankingHeaderLine;
extern const char* const replayHeaderLine;
extern const char* const rankingDoneSuffix;

// The best-score file's text as "%d" reads it (white space, an optional sign, digits; a number
// beyond the signed 32-bit range held at its nearer end), stored as its bit pattern; false when no
// number starts the text. And the exact text written for a score.
bool parseHiScoreText(const std::string& text, std::uint32_t& score);
std::string hiScoreFileText(std::uint32_t score);

// At start-up each shell hands over the address it was given (PILARO_RANKING_URL on the desktops),
// or none. An http or https address replaces the build's; one that cannot be parsed is reported on
// the debug output and the build's address is kept.
void chooseRankingUrl(const char* chosen);
// Starts the POST of `body` to `url`, given `timeLimitMs`; false, with nothing sent, when the
// address is refused.
bool startRankingExchange(const std::string& url, const std::string& body, unsigned timeLimitMs);
// Starts the POST of a game's recording to the replay path on the host of `url`: the name's bytes,
// "_", the score, a line end and the recording's bytes. False, with nothing sent, as above.
bool startReplayExchange(const std::string& url, const std::string& name, std::uint32_t score,
                         const std::vector<std::uint8_t>& recording);
// The replay path beside a ranking path: its last rankingPath replaced (a deployment under a
// folder keeps the folder), else replayPath at the host's root.
std::string replayPathBeside(const std::string& rankingUrlPath);

// Splits an http or https URL into its parts; false when it is not one.
bool splitUrl(const std::string& url, HttpTarget& target);
// The reply's first "<"-delimited token, read to a NUL, or nothing.
std::string firstReplyToken(const std::string& reply);
// The done box's text for the reply's bytes: the first token of its first 1024 bytes, from code
// page 932, followed by rankingDoneSuffix; "" when the reply gives no token.
std::string rankingReplyText(const std::string& replyBytes);
