// program.cpp: the one game being played and everything around its rules: the phase, which events
// reach the rules, the wipe, the sounds, the best-score file, the recording and the end-of-game flow
// (its boxes, the name window, the check of the name and the ranking exchange).
#include "program/program.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>

#include "game/replay.h"
#include "present/frame.h"
#include "present/sound.h"
#include "scores/rankingFacts.h"
#include "scores/scores.h"

namespace {

constexpr unsigned wipeColumnMs = 10;
constexpr unsigned wipePauseMs = 50;

// A key that came during the wipe: a key-down's receiver and key, or a key-up.
struct HeldKey {
    bool down;
    WindowId receiver;
    Key key;
};

struct Program {
    Game game;
    Phase phase = Phase::playing;
    bool active = true;              // one of the program's windows has the activation
    Settle wipe{};                   // the settle being wiped
    int wipeColumn = -1;             // the column whitened last, 10 during the pause after it
    std::vector<HeldKey> keysHeldBack;  // in order, for the wipe's end
    Recording recording;
    std::vector<std::uint8_t> lastRecording;
    std::string playerName;  // code page 932 bytes, as confirmed
    std::chrono::steady_clock::time_point replaySent;  // when the recording went out
    // Watching a kept game: its bytes, the player stepping through them and the game they drive.
    struct {
        std::vector<std::uint8_t> bytes;
        ReplayPlayer player;
        Game game;
        unsigned speed = 1;
        bool paused = false, ended = false;
    } watch;
};

Program program;
Game& game = program.game;

// The rules' sounds are the shells' sound ids, in the same order.
static_assert(static_cast<int>(Sound::turn) == soundTurn && static_cast<int>(Sound::move) == soundMove &&
              static_cast<int>(Sound::rowsCleared) == soundRowsCleared && static_cast<int>(Sound::hardDrop) == soundHardDrop);

void play(Sound sound) {
    if (sound != Sound::none) startSound(static_cast<int>(sound));
}

std::uint32_t readHiScore() {
    std::string text;
    std::uint32_t score = 0;
    return readUserFile(hiScoreFileName, text) && parseHiScoreText(text, score) ? score : 0;
}

void dealNewGame() {
    program.recording.start(game);
    newGame(game, readHiScore());
}

// ---- The end-of-game flow ----

void showBox(Phase phase, const std::string& text, const char* title, BoxButtons buttons,
             BoxOwner owner = BoxOwner::none) {
    program.phase = phase;
    showMessageBox(text, title, buttons, owner);
}

void askToContinue() { showBox(Phase::continueQuestion, "続けますか？", "ゲームオーバー", BoxButtons::yesNo); }

void offerRanking() {
    const std::string offer = "あなたのスコア\n" + std::to_string(game.score) + "\nランキングに登録しますか？";
    showBox(Phase::offer, offer, "ランキング登録", BoxButtons::yesNo);
}

void saveHiScore() {
    // The shell replaces the file in one step, so a crash or a full disk leaves the previous best
    // score rather than an empty file.
    if (!writeUserFile(hiScoreFileName, hiScoreFileText(game.score))) debugOutput("ファイルオープンに失敗しました\n");
}

// The recording goes first, so that the server can check the score against the game's rules
// before it ranks it; the score follows whatever became of the recording (refused, an older server
// that knows no replay path, no connection), within what is left of the one time limit.
void submitReplay() {
    program.phase = Phase::sendingReplay;
    program.replaySent = std::chrono::steady_clock::now();
    // A refused address sends and shows nothing: straight on to the question.
    if (!startReplayExchange(rankingUrl, program.playerName, game.score, program.lastRecording)) askToContinue();
}

void submitRanking() {
    using std::chrono::milliseconds;
    const auto taken = std::chrono::ceil<milliseconds>(std::chrono::steady_clock::now() - program.replaySent);
    const unsigned replayMs = static_cast<unsigned>(std::clamp<milliseconds::rep>(taken.count(), 0, replayTimeLimitMs));
    // Name bytes, "_" and the score, unescaped: the server takes the score after the last "_".
    const std::string body = program.playerName + "_" + std::to_string(game.score);
    program.phase = Phase::sending;
    if (!startRankingExchange(rankingUrl, body, rankingTimeLimitMs - replayMs)) askToContinue();
}

void continueOrClose(BoxAnswer answer) {
    if (answer == BoxAnswer::yes) {
        program.phase = Phase::playing;
        dealNewGame();
        composeFrame(game);  // the fresh game shows at once, not with the next tick
    } else {
        program.phase = Phase::closing;
        postClose(WindowId::game);
    }
}

// A blocked entry: the game's recording is kept and written beside the best score, then the
// boxes follow.
void endOfGame() {
    program.lastRecording = program.recording.bytes();
    writeUserFile(replayFileName,
                  std::string(program.lastRecording.begin(), program.lastRecording.end()));
    // Compared unsigned and strictly: equalling the best score is not a new one.
    if (game.score > game.hiScore) {
        showBox(Phase::newBest, "スコア：" + std::to_string(game.score), "ハイスコア！", BoxButtons::ok);
    } else {
        askToContinue();
    }
}

void showPauseBox() {
    // Only from play or from the name window: under another box, or with the request out, F1 waits
    // for nothing.
    if (program.phase == Phase::playing) showBox(Phase::paused, "続ける", "ポーズ中", BoxButtons::ok);
    if (program.phase == Phase::nameEntry) showBox(Phase::pausedAtName, "続ける", "ポーズ中", BoxButtons::ok);
}

// ---- Settling on screen ----

// Whitens one column of the full rows straight on the window, then waits its step.
void whitenWipeColumn() {
    for (int i = 0; i < program.wipe.rowCount; ++i) {
        fillWhite(Surface::gameWindow, wellLeft + cellSize * program.wipeColumn,
                  wellTop + cellSize * program.wipe.rows[i], cellSize, cellSize);
    }
    endWindowDrawing();
    startDelay(wipeColumnMs);
}

// What follows a settle once it shows (at once, or at the end of its wipe): the Down key read, the
// frame, and after a blocked entry the end-of-game flow.
void finishSettle() {
    const bool downHeld = isDownKeyHeld();
    afterSettle(game, downHeld);
    program.recording.afterSettle(downHeld);
    composeFrame(game);
    if (game.gameOver) endOfGame();
}

// The settled piece shows on the window at once, at its final place; with full rows, their wipe
// starts (true), and its end goes on.
bool startWipe(const Settle& settle) {
    beginWindowDrawing();
    drawField(Surface::gameWindow, settle.settled);
    if (settle.rowCount == 0) {
        endWindowDrawing();
        return false;
    }
    // The well is settled already; only the screen takes its time: the full rows turn white column
    // by column and stay white a moment, while the game stands still.
    program.wipe = settle;
    program.wipeColumn = 0;
    program.phase = Phase::wiping;
    whitenWipeColumn();
    return true;
}

void showSettle(const Settle& settle) {
    if (!startWipe(settle)) finishSettle();
}

// One period of a kept game: its recording's steps until ticksPerPeriod ticks times the speed have
// passed, or a wipe or its end stops them.
void watchPeriod() {
    auto& watch = program.watch;
    if (program.phase != Phase::watching || watch.paused || watch.ended) return;
    bool frameWanted = false;
    for (unsigned ticks = ticksPerPeriod * watch.speed; ticks > 0;) {
        Settle settle;
        Sound sound;
        const ReplayStep step = watch.player.next(watch.game, settle, sound);
        if (step == ReplayStep::end || step == ReplayStep::bad) {
            watch.ended = true;
            break;
        }
        frameWanted = true;
        play(sound);
        if (step == ReplayStep::settled && startWipe(settle)) return;
        if (step != ReplayStep::event) --ticks;
    }
    if (frameWanted || watch.ended) composeFrame(watch.game);
}

}  // namespace

namespace {

// One tick of the rules; true when it wants the frame composed (a settle shows itself).
bool runTick() {
    // While a window other than ours has the activation, while a box is up or the request is out,
    // during a wipe, and from a blocked entry until the next game, the rules stand still: the tick is
    // dropped, as a busy loop would drop it.
    if (!ticksRun()) return false;
    program.recording.tick();
    Settle settle;
    if (!gravityStep(game, settle)) return true;
    showSettle(settle);
    return false;
}

}  // namespace

void onTick() {
    if (runTick()) composeFrame(game);
}

namespace {

void replayKeysHeldBack() {
    std::vector<HeldKey> keys;
    keys.swap(program.keysHeldBack);
    for (const HeldKey& held : keys) held.down ? onKeyDown(held.receiver, held.key) : onKeyUp();
}

// Keys reach the game in play and at the name window; during the wipe they wait for its end, as in
// a busy message queue. Under a box, while the request is out and while closing they are dropped:
// the box has the keyboard, and keys the blocked loop held while the request ran went to the box
// that followed it, never to the game.
enum class KeyRoute { game, holdBack, drop };
KeyRoute keyRoute() {
    switch (program.phase) {
    case Phase::playing:
    case Phase::nameEntry: return KeyRoute::game;
    case Phase::wiping: return KeyRoute::holdBack;
    default: return KeyRoute::drop;
    }
}

}  // namespace

void startProgram(const char* rankingUrlChosen, const char* seedText) {
    chooseRankingUrl(rankingUrlChosen);
    // Seeded once, from the clock's seconds; a seed given as text (tests, a replayed deal) instead.
    game.random.state = seedText != nullptr && *seedText != '\0'
                            ? static_cast<std::uint32_t>(std::strtoul(seedText, nullptr, 10))
                            : static_cast<std::uint32_t>(std::time(nullptr));
    dealNewGame();
    loadArt();
    // The window shows the dealt game from its first paint rather than a blank until the first tick.
    composeFrame(game);
    startTimer(tickPeriodMs);
}

void onTimer() {
    if (program.phase == Phase::watching) return watchPeriod();
    // The window shows one frame a period, after its ticks: a frame composed between them would
    // never be seen. Only the last tick's wish counts: a settle after it has shown itself already.
    bool frameWanted = false;
    for (unsigned i = 0; i < ticksPerPeriod && ticksRun(); ++i) frameWanted = runTick();
    if (frameWanted) composeFrame(game);
}

void onKeyDown(WindowId receiver, Key key) {
    const KeyRoute route = keyRoute();
    if (route == KeyRoute::holdBack) return program.keysHeldBack.push_back({true, receiver, key});
    if (route == KeyRoute::drop) return;
    program.recording.key(key);
    play(keyDown(game, key));
    if (key == Key::quit) postClose(receiver);
    if (key == Key::pause) showPauseBox();
}

void onKeyUp() {
    const KeyRoute route = keyRoute();
    if (route == KeyRoute::holdBack) return program.keysHeldBack.push_back({false, WindowId::game, Key::other});
    if (route == KeyRoute::drop) return;
    program.recording.keyUp();
    keyUp(game);
}

void onActivate(bool active) { program.active = active; }

void onDelayElapsed() {
    if (program.phase != Phase::wiping) return;
    if (++program.wipeColumn < wellColumns) {
        beginWindowDrawing();
        return whitenWipeColumn();
    }
    if (program.wipeColumn == wellColumns) return startDelay(wipePauseMs);  // the white rows stay a moment
    program.wipeColumn = -1;
    // Heard after the wipe, as the rows go.
    startSound(soundRowsCleared);
    if (!program.watch.bytes.empty()) {
        program.phase = Phase::watching;
        return composeFrame(program.watch.game);
    }
    program.phase = Phase::playing;
    finishSettle();
    replayKeysHeldBack();
}

void onBoxAnswer(BoxAnswer answer) {
    switch (program.phase) {
    case Phase::paused: program.phase = Phase::playing; break;
    case Phase::pausedAtName: program.phase = Phase::nameEntry; break;
    case Phase::newBest:
        // Saved before the offer, so that declining it or a failed request keeps the new best.
        saveHiScore();
        offerRanking();
        break;
    case Phase::offer:
        if (answer != BoxAnswer::yes) return askToContinue();
        program.phase = Phase::nameEntry;
        showNameWindow();
        break;
    case Phase::nameWarning: program.phase = Phase::nameEntry; break;
    case Phase::done: askToContinue(); break;
    case Phase::continueQuestion: continueOrClose(answer); break;
    default: break;  // no box of ours is up
    }
}

void onNameConfirmed() {
    if (program.phase != Phase::nameEntry) return;
    // Lengths count code page 932 bytes, so a double-byte character counts two; only the first 19
    // bytes are read, up to a NUL, and anything longer is refused as too long anyway.
    std::string name = utf8ToCp932(nameFieldText()).substr(0, nameBytesRead);
    name = name.substr(0, name.find('\0'));
    if (name.size() > maxNameBytes) {
        showBox(Phase::nameWarning, nameTooLongText(), "警告", BoxButtons::ok, BoxOwner::nameWindow);
    } else if (name.empty()) {
        showBox(Phase::nameWarning, "名前を入力してください", "警告", BoxButtons::ok, BoxOwner::nameWindow);
    } else {
        program.playerName = name;
        hideNameWindow();
        submitReplay();
    }
}

void onRankingReply(const std::string& replyBytes) {
    if (program.phase == Phase::sendingReplay) return submitRanking();
    if (program.phase != Phase::sending) return;
    // The box follows every attempt, a failed one too, then with an empty text.
    showBox(Phase::done, rankingReplyText(replyBytes), "登録完了", BoxButtons::ok);
}

void onHiScoreChanged() { game.hiScore = readHiScore(); }

Key keyOfVirtualKey(int code) {
    switch (code) {
    case 16: return Key::drop;    // Shift
    case 27: return Key::quit;    // Escape
    case 37: return Key::left;
    case 38: return Key::turn;    // Up
    case 39: return Key::right;
    case 40: return Key::down;
    case 112: return Key::pause;  // F1
    default: return Key::other;
    }
}

bool startWatching(const std::uint8_t* bytes, std::size_t size) {
    program.watch.bytes.assign(bytes, bytes + size);
    restartWatching();
    if (program.watch.ended) return false;
    startTimer(tickPeriodMs);
    return true;
}

void restartWatching() {
    auto& watch = program.watch;
    watch.ended = !watch.player.start(watch.bytes.data(), watch.bytes.size(), watch.game);
    program.phase = Phase::watching;  // a wipe under way is dropped: its next step finds no wipe
    program.wipeColumn = -1;
    composeFrame(watch.game);
}

void setWatchSpeed(unsigned times) { program.watch.speed = times == 2 || times == 4 ? times : 1; }
void setWatchPaused(bool paused) { program.watch.paused = paused; }
bool watchEnded() { return program.watch.ended; }
const Game& watchedGame() { return program.watch.game; }

Phase phase() { return program.phase; }
bool ticksRun() { return program.phase == Phase::playing && program.active && !game.gameOver; }
Game& currentGame() { return game; }
const std::vector<std::uint8_t>& lastRecording() { return program.lastRecording; }
void resetProgram() { program = Program{}; }
