// soundEffects.cpp: the four sound effects, built into the sound module, one playing at a time.
// The game loads this module when it first sounds (sound.cpp): Qt Multimedia and the audio stack
// behind it are wanted only from then on.
#include <iterator>

#include <QPointer>
#include <QSoundEffect>
#include <QUrl>

#include "present/sound.h"
#include "resourceNames.h"

namespace {

QPointer<QSoundEffect> sounds[soundCount];  // by sound id, made when first played; they go with their owner

}  // namespace

extern "C" Q_DECL_EXPORT void pilaroPlaySound(QObject* owner, int soundId) {
    static const char* const files[] = {PILARO_SOUND_FILES};
    static_assert(std::size(files) == soundCount);
    if (soundId < 0 || soundId >= soundCount) return;
    // One effect at a time: a new one cuts off whatever still sounds. With no audio device the
    // effects stay silent; nothing here waits for them.
    for (QSoundEffect* effect : sounds)
        if (effect != nullptr) effect->stop();
    if (sounds[soundId] == nullptr) {
        sounds[soundId] = new QSoundEffect(owner);
        sounds[soundId]->setSource(QUrl(QStringLiteral("qrc:/sounds/") + QString::fromLatin1(files[soundId])));
    }
    sounds[soundId]->play();
}
