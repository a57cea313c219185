// gameOver.cpp: the dialogs at the end of a game, the name window and the check of the name.
#include <cstring>
#include <string>

#include "game/game.h"
#include "platform/platform.h"
#include "scores/rankingFacts.h"
#include "scores/scores.h"

char playerName[20];

namespace {

constexpr std::size_t nameBytesRead = sizeof playerName - 1;

}  // namespace

void askToContinue() {
    if (showMessageBox("続けますか？", "ゲームオーバー", BoxButtons::yesNo, BoxOwner::none) == BoxAnswer::yes) {
        newGame();
        game.rankingPending = 0;
    } else {
        postClose(WindowId::game);
    }
}

void handleGameOver() {
    // Compared unsigned and strictly: equalling the best score is not a new one.
    if (game.score > game.hiScore) {
        game.rankingPending = 1;
        showMessageBox("スコア：" + std::to_string(game.score), "ハイスコア！", BoxButtons::ok, BoxOwner::none);
        saveHiScore();
        offerRanking();
    } else {
        askToContinue();
    }
}

void offerRanking() {
    const std::string offer = "あなたのスコア\n" + std::to_string(game.score) + "\nランキングに登録しますか？";
    if (showMessageBox(offer, "ランキング登録", BoxButtons::yesNo, BoxOwner::none) == BoxAnswer::yes) {
        // The flow goes on when the player clicks OK in the name window, after this tick ends.
        showNameEntry();
    } else {
        askToContinue();
    }
}

void showNameEntry() { showNameWindow(); }

void confirmName() {
    // Lengths count code page 932 bytes, so a double-byte character counts two; only the first
    // 19 bytes are read, and anything longer is refused as too long anyway.
    const std::string bytes = utf8ToCp932(nameFieldText());
    std::memset(playerName, 0, sizeof playerName);
    std::memcpy(playerName, bytes.data(), bytes.size() < nameBytesRead ? bytes.size() : nameBytesRead);
    const std::size_t length = std::strlen(playerName);
    if (length > maxNameBytes) {
        showMessageBox("文字数は10文字以下にしてネ", "警告", BoxButtons::ok, BoxOwner::nameWindow);
        return;
    }
    if (length == 0) {
        showMessageBox("名前を入力してください", "警告", BoxButtons::ok, BoxOwner::nameWindow);
        return;
    }
    hideNameWindow();
    submitRanking();
}
