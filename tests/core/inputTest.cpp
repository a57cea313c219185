// inputTest.cpp: the keys, their sounds and latch, the drops, pause, quit and activation.
#include "coreFixture.h"

#include "game/input.h"
#include "present/sound.h"

class Keys : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        newGame();
        placeCurrent(shapeO, 0, 3);
    }
};

TEST_F(Keys, OnlyTheFirstKeyDownOfAPressSounds) {
    // unshifted: a press, its repeats, its release
    onKeyDown(WindowId::game, keyLeft);
    onKeyDown(WindowId::game, keyLeft);
    onKeyDown(WindowId::game, keyLeft);
    EXPECT_EQ(current.col, 0) << "repeats keep sliding";
    EXPECT_EQ(fake.sounds, std::vector<int>{soundMove});
    onKeyUp();

    // a second key while one is held: it acts but is silent
    onKeyDown(WindowId::game, keyDown);
    onKeyDown(WindowId::game, keyRight);
    EXPECT_EQ(current.col, 1);
    EXPECT_EQ(fake.sounds, (std::vector<int>{soundMove, soundMove}));
    onKeyUp();

    // each sound key's own effect, also when its action is refused
    const struct { int key; int sound; } rows[] = {
        {keyUp, soundTurn}, {keyDown, soundMove}, {keyLeft, soundMove}, {keyRight, soundMove}, {keyShift, soundHardDrop},
    };
    for (const auto& row : rows) {
        fake.sounds.clear();
        game.downLockout = 1;  // refuses the soft drop; the sound still plays
        onKeyDown(WindowId::game, row.key);
        EXPECT_EQ(fake.sounds, std::vector<int>{row.sound}) << "key " << row.key;
        onKeyUp();
    }
    fake.sounds.clear();
    onKeyDown(WindowId::game, 'A');
    EXPECT_EQ(game.keyLatch, 1) << "a key without meaning still sets the latch";
    onKeyDown(WindowId::game, keyLeft);
    EXPECT_TRUE(fake.sounds.empty());
}

TEST_F(Keys, SoftDropScoresARowAndIsLockedOutAfterASettleUntilAKeyUp) {
    onKeyDown(WindowId::game, keyDown);
    EXPECT_EQ(current.row, 1);
    EXPECT_EQ(game.score, 1u);
    game.downLockout = 1;
    onKeyDown(WindowId::game, keyDown);
    EXPECT_EQ(current.row, 1);
    EXPECT_EQ(game.score, 1u);
    onKeyUp();  // any key-up clears both
    EXPECT_EQ(game.downLockout, 0);
    EXPECT_EQ(game.keyLatch, 0);
    current.row = 17;
    onKeyDown(WindowId::game, keyDown);  // on the floor: refused, no point
    EXPECT_EQ(game.score, 1u);
}

TEST_F(Keys, AHardDropScoresItsRowsAndMarksTheSettle) {
    onKeyDown(WindowId::game, keyShift);
    EXPECT_EQ(current.row, 17);
    EXPECT_EQ(game.score, 17u);
    EXPECT_EQ(game.hardDropPending, 1);
    onKeyDown(WindowId::game, keyShift);  // nothing left to fall: no points, still marked
    EXPECT_EQ(game.score, 17u);
    EXPECT_EQ(game.hardDropPending, 1);
    EXPECT_TRUE(gravityStep()) << "the next tick settles without the lock delay";
}

TEST_F(Keys, UpTurnsAndKeepsTheCounter) {
    placeCurrent(shapeS, 5, 3);
    onKeyDown(WindowId::game, keyUp);
    EXPECT_EQ(current.rotationState, 1u);
    onKeyDown(WindowId::game, keyUp);
    EXPECT_EQ(current.rotationState, 0u);
}

TEST_F(Keys, EscapeClosesTheWindowThatGotItAndF1Pauses) {
    onKeyDown(WindowId::name, keyEscape);
    onKeyDown(WindowId::game, keyEscape);
    EXPECT_EQ(fake.closes, (std::vector<WindowId>{WindowId::name, WindowId::game}));
    onKeyUp();
    onKeyDown(WindowId::game, keyF1);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, "続ける");
    EXPECT_EQ(fake.boxes[0].title, "ポーズ中");
    EXPECT_EQ(fake.boxes[0].buttons, BoxButtons::ok);
    EXPECT_EQ(fake.boxes[0].owner, BoxOwner::none);
    EXPECT_TRUE(fake.sounds.empty());
}

TEST_F(Keys, OnlyCommandOneConfirmsTheName) {
    fake.nameField = "";
    for (unsigned wParam : {0u, 2u, 0x10001u, 0x20001u}) onCommand(wParam);
    EXPECT_TRUE(fake.boxes.empty());
    onCommand(1);
    EXPECT_EQ(fake.boxTitles(), std::vector<std::string>{"警告"});
}

// Fault guarded against: a hard drop pressed under the game-over boxes used to settle the
// first piece of the next game; after a blocked entry the piece keys must do nothing.
TEST_F(Keys, PieceKeysDoNothingBetweenABlockedEntryAndTheNextGame) {
    game.gameOver = 1;
    const Piece before = current;
    for (int key : {keyLeft, keyRight, keyUp, keyDown, keyShift}) {
        onKeyDown(WindowId::game, key);
        onKeyUp();
    }
    EXPECT_EQ(std::memcmp(&current, &before, sizeof current), 0);
    EXPECT_EQ(game.hardDropPending, 0);
    EXPECT_EQ(game.score, 0u);
    EXPECT_TRUE(fake.sounds.empty());
    onKeyDown(WindowId::game, keyEscape);
    EXPECT_EQ(fake.closes.size(), 1u) << "Escape still works";
    newGame();
    EXPECT_EQ(game.gameOver, 0);
}
