// sound.cpp: the four sound effects, built into the program, one playing at a time.
#include <iterator>

#include <QSoundEffect>
#include <QUrl>
#include <QWidget>

#include "platform/platform.h"
#include "present/sound.h"
#include "resourceNames.h"
#include "shell.h"

namespace {

QSoundEffect* sounds[soundCount] = {};  // by sound id, made when first played

}  // namespace

void startSound(int soundId) {
    static const char* const files[] = {PILARO_SOUND_FILES};
    static_assert(std::size(files) == soundCount);
    if (soundId < 0 || soundId >= soundCount) return;
    // One effect at a time: a new one cuts off whatever still sounds. With no audio device the
    // effects stay silent; nothing here waits for them.
    for (QSoundEffect* effect : sounds)
        if (effect != nullptr) effect->stop();
    if (sounds[soundId] == nullptr) {
        sounds[soundId] = new QSoundEffect(gameWindowWidget());
        sounds[soundId]->setSource(QUrl(QStringLiteral("qrc:/sounds/") + QString::fromLatin1(files[soundId])));
    }
    sounds[soundId]->play();
}

// The effects belong to the game window and go with it.
void releaseSounds() {
    for (QSoundEffect*& effect : sounds) effect = nullptr;
}
