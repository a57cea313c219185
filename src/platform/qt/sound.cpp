// sound.cpp: the four sound effects, built into the program, one playing at a time.
#include <QSoundEffect>
#include <QUrl>
#include <QWidget>

#include "platform/platform.h"
#include "present/sound.h"
#include "shell.h"

namespace {

QSoundEffect* sounds[soundCount] = {};  // by sound id from soundTurn, made when first played

}  // namespace

void startSound(int soundId) {
    static const char* const files[soundCount] = {"qrc:/sounds/turn.wav", "qrc:/sounds/move.wav",
                                                  "qrc:/sounds/rowsCleared.wav", "qrc:/sounds/hardDrop.wav"};
    const int index = soundId - soundTurn;
    if (index < 0 || index >= soundCount) return;
    // One effect at a time: a new one cuts off whatever still sounds. With no audio device the
    // effects stay silent; nothing here waits for them.
    for (QSoundEffect* effect : sounds)
        if (effect != nullptr) effect->stop();
    if (sounds[index] == nullptr) {
        sounds[index] = new QSoundEffect(gameWindowWidget());
        sounds[index]->setSource(QUrl(QString::fromLatin1(files[index])));
    }
    sounds[index]->play();
}

// The effects belong to the game window and go with it.
void releaseSounds() {
    for (QSoundEffect*& effect : sounds) effect = nullptr;
}
