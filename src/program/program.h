// program.h: the program between the rules and the shells. Every shell calls these, in the game's
// own vocabulary, as its events come; each returns at once. The program owns the one game being
// played, its phase, the row-clear wipe, the sounds, the best-score file, the end-of-game flow and
// the recording of every game; it reaches the machine only through platform/platform.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "game/game.h"
#include "platform/platform.h"

// The timer's period; each period runs the rules for two ticks of 33 ms of game time, so the game
// runs at twice the clock's pace.
constexpr unsigned tickPeriodMs = 33;
constexpr unsigned ticksPerPeriod = 2;

// Where the program stands. Only `playing` runs the rules; `wiping` holds keys back for the wipe's
// end; the end-of-game flow's states (and the pause box) drop keys and ticks, except `nameEntry`,
// where keys reach the game (whose piece keys are dead by then) until the field is clicked.
enum class Phase : std::uint8_t {
    playing,
    wiping,            // the full rows of a settle turn white column by column
    paused,            // the pause box is up over the game
    pausedAtName,      // the pause box is up over the name window
    newBest,           // the new-best-score box is up
    offer,             // the ranking offer (Yes/No) is up
    nameEntry,         // the name window waits for OK
    nameWarning,       // a warning about the name is up; the name window stays
    sendingReplay,     // the game's recording is out, ahead of its score
    sending,           // the ranking request is out
    done,              // the done box shows what the server said
    continueQuestion,  // "続けますか？" is up
    closing,           // No was answered; the program is ending
    watching,          // a kept game plays back (startWatching)
};

// Start-up, once the shell's windows exist (and, in the browser, its art is in): the ranking
// address the shell was given (null for the build's), the seed as decimal text (null: the clock's
// seconds), the first game dealt, the art loaded, the first frame shown and the timer started.
void startProgram(const char* rankingUrl, const char* seedText);

// The shells' events.
void onTimer();  // one period of the timer: ticksPerPeriod ticks
void onTick();   // one tick alone (the tests', which count them)
void onKeyDown(WindowId receiver, Key key);
void onKeyUp();
void onActivate(bool active);  // either window was activated (true) or deactivated
void onNameConfirmed();        // the name window's OK button was clicked
void onDelayElapsed();         // the delay of startDelay() is over
void onBoxAnswer(BoxAnswer answer);
void onRankingReply(const std::string& replyBytes);  // empty when the request failed
void onHiScoreChanged();  // another copy (a browser tab) stored a new best score

// The key a desktop virtual-key number stands for (the browser's keyCode is the same number).
Key keyOfVirtualKey(int code);

// What the shells, the tests and the benchmarks may read.
Phase phase();
bool ticksRun();  // the rules take ticks now: playing, with one of the windows active
Game& currentGame();
// The recording of the last game that ended, as written to replayFileName.
const std::vector<std::uint8_t>& lastRecording();

// Watching a kept game instead of playing one: a game value of its own, driven by the recording's
// ticks and keys at the game's pace (times 1, 2 or 4), drawn and heard as a played game is, wipes
// too; it stops on the game's final frame. startWatching replaces startProgram; false when the
// bytes are not a recording. The shell's timer and delays reach it through onTimer and
// onDelayElapsed.
bool startWatching(const std::uint8_t* bytes, std::size_t size);
void setWatchSpeed(unsigned times);
void setWatchPaused(bool paused);
void restartWatching();
bool watchEnded();
const Game& watchedGame();

// A fresh program, as before startProgram (the tests start each case from here).
void resetProgram();
