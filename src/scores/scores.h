// scores.h: the best-score file, the dialogs at the end of a game and the ranking submission.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

extern const char* const hiScoreFileName;
// Where a new best score is sent: the build's address unless chooseRankingUrl found another.
extern std::string rankingUrl;
extern const char* const rankingHeaderLine;
extern const char* const rankingDoneSuffix;

// What the player typed, as code page 932 bytes, NUL-terminated; at most 19 bytes are read.
extern char playerName[20];

void loadHiScore();
void saveHiScore();
// The best-score file's text: its leading decimal number, read as "%d" would (a number beyond the
// signed 32-bit range held at the nearest end) and kept as its bit pattern; false when none.
bool parseHiScoreText(const std::string& text, std::uint32_t& score);
// The exact bytes the file holds for a score.
std::string hiScoreFileText(std::uint32_t score);

void handleGameOver();
void offerRanking();
void showNameEntry();
void askToContinue();
// The OK button of the name window was clicked.
void confirmName();

// At start-up: PILARO_RANKING_URL from the environment, when set, replaces the build's address. One
// that cannot be parsed is reported on the debug output and the build's address is kept.
void chooseRankingUrl();
void submitRanking();
bool httpPostForm(const std::string& url, const std::string& body);

// Splits an http or https URL into its parts; false when it is not one.
bool splitUrl(const std::string& url, HttpTarget& target);
// The first "<"-delimited token of a reply, or nothing.
std::string firstReplyToken(const std::string& reply);
// The text (UTF-8) the done box shows for the reply's bytes: its first token from code page 932
// with the note that lower places are on the web page, or nothing when the reply has no token.
std::string rankingReplyText(const std::string& replyBytes);
