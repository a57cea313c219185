// gameOver.cpp: the end-of-game flow in one place: the boxes, the name window, the check of the
// name and the ranking exchange, as states that the player's answers and the reply move on. It
// also keeps the pause box, since only one box is ever up.
#include <cstring>
#include <string>

#include "game/game.h"
#include "game/input.h"
#include "platform/platform.h"
#include "present/frame.h"
#include "scores/rankingFacts.h"
#include "scores/scores.h"

char playerName[20];

namespace {

constexpr std::size_t nameBytesRead = sizeof playerName - 1;

// What the flow waits for. Every state but `none` holds the game still.
enum class Flow {
    none,              // playing, or nothing asked
    paused,            // the pause box is up; `pausedFrom` is where its answer goes back to
    newBest,           // the new-best-score box is up
    offer,             // the ranking offer (Yes/No) is up
    nameEntry,         // the name window waits for OK
    nameWarning,       // a warning about the name is up; the name window stays
    sending,           // the ranking request is out
    done,              // the done box shows what the server said
    continueQuestion,  // "続けますか？" is up
    closing,           // No was answered; the program is ending
};

Flow flow = Flow::none;
Flow pausedFrom = Flow::none;

void showBox(Flow state, const std::string& text, const char* title, BoxButtons buttons,
             BoxOwner owner = BoxOwner::none) {
    flow = state;
    showMessageBox(text, title, buttons, owner);
}

void askToContinue() { showBox(Flow::continueQuestion, "続けますか？", "ゲームオーバー", BoxButtons::yesNo); }

void offerRanking() {
    const std::string offer = "あなたのスコア\n" + std::to_string(game.score) + "\nランキングに登録しますか？";
    showBox(Flow::offer, offer, "ランキング登録", BoxButtons::yesNo);
}

void submitRanking() {
    // Name bytes, "_" and the score, unescaped: the server takes the score after the last "_".
    // The body is built to whatever length it needs, so a long score is never cut.
    const std::string body = std::string(playerName) + "_" + std::to_string(game.score);
    flow = Flow::sending;
    // A refused address sends and shows nothing: straight on to the question.
    if (!startRankingExchange(rankingUrl, body)) askToContinue();
}

void continueOrClose(BoxAnswer answer) {
    if (answer == BoxAnswer::yes) {
        flow = Flow::none;
        newGame();
        game.rankingPending = 0;
        composeFrame();  // the fresh game shows at once, not with the next tick
    } else {
        flow = Flow::closing;
        postClose(WindowId::game);
    }
}

}  // namespace

bool flowHoldsGame() { return flow != Flow::none; }

void resetEndOfGame() { flow = pausedFrom = Flow::none; }

void handleGameOver() {
    // Compared unsigned and strictly: equalling the best score is not a new one.
    if (game.score > game.hiScore) {
        game.rankingPending = 1;
        showBox(Flow::newBest, "スコア：" + std::to_string(game.score), "ハイスコア！", BoxButtons::ok);
    } else {
        askToContinue();
    }
}

void showPauseBox() {
    // Only from play or from the name window: under another box, or with the request out, F1 waits
    // for nothing.
    if (flow != Flow::none && flow != Flow::nameEntry) return;
    pausedFrom = flow;
    showBox(Flow::paused, "続ける", "ポーズ中", BoxButtons::ok);
}

void onBoxAnswer(BoxAnswer answer) {
    switch (flow) {
    case Flow::paused: flow = pausedFrom; break;
    case Flow::newBest:
        // Saved before the offer, so that declining it or a failed request keeps the new best.
        saveHiScore();
        offerRanking();
        break;
    case Flow::offer:
        if (answer != BoxAnswer::yes) return askToContinue();
        flow = Flow::nameEntry;
        showNameWindow();
        break;
    case Flow::nameWarning: flow = Flow::nameEntry; break;
    case Flow::done: askToContinue(); break;
    case Flow::continueQuestion: continueOrClose(answer); break;
    default: break;  // no box of ours is up
    }
}

void confirmName() {
    if (flow != Flow::nameEntry) return;
    // Lengths count code page 932 bytes, so a double-byte character counts two; only the first
    // 19 bytes are read, and anything longer is refused as too long anyway.
    const std::string bytes = utf8ToCp932(nameFieldText());
    std::memset(playerName, 0, sizeof playerName);
    std::memcpy(playerName, bytes.data(), bytes.size() < nameBytesRead ? bytes.size() : nameBytesRead);
    const std::size_t length = std::strlen(playerName);
    if (length > maxNameBytes) {
        showBox(Flow::nameWarning, "文字数は10文字以下にしてネ", "警告", BoxButtons::ok, BoxOwner::nameWindow);
    } else if (length == 0) {
        showBox(Flow::nameWarning, "名前を入力してください", "警告", BoxButtons::ok, BoxOwner::nameWindow);
    } else {
        hideNameWindow();
        submitRanking();
    }
}

void onRankingReply(const std::string& replyBytes) {
    if (flow != Flow::sending) return;
    // The box follows every attempt, a failed one too, then with an empty text.
    showBox(Flow::done, rankingReplyText(replyBytes), "登録完了", BoxButtons::ok);
}
