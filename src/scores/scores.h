// scores.h: the best-score file, the dialogs at the end of a game and the ranking submission.
#pragma once

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
// The text the done box shows for a reply: its first "<"-delimited token, or nothing.
std::string firstReplyToken(const std::string& reply);
