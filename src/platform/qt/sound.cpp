// sound.cpp: startSound, through the sound module (soundEffects.cpp), loaded at the first sound.
#include <QCoreApplication>
#include <QLibrary>
#include <QWidget>

#include "platform/platform.h"
#include "shell.h"

namespace {

using PlaySound = void (*)(QObject* owner, int soundId);
PlaySound playSound = nullptr;  // the module's, once it is loaded
bool moduleTried = false;       // loaded or not, it is looked for once

// Qt Multimedia, PulseAudio and the codecs behind them hold a few megabytes that a game nobody has
// touched yet has no use for; like libcurl for the ranking, they are loaded when first wanted. The
// module lies beside the program in the build, and in lib/games/pilaro beside games/ when installed.
void loadSoundModule() {
    moduleTried = true;
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString& path : {dir + QStringLiteral("/" PILARO_SOUND_MODULE),
                                dir + QStringLiteral("/../lib/games/pilaro/" PILARO_SOUND_MODULE)}) {
        QLibrary module(path);
        playSound = reinterpret_cast<PlaySound>(module.resolve("pilaroPlaySound"));
        if (playSound != nullptr) return;
    }
    debugOutput("The sound module " PILARO_SOUND_MODULE " was not found; the game plays without sound");
}

}  // namespace

void startSound(int soundId) {
    if (!moduleTried) loadSoundModule();
    if (playSound != nullptr && gameWindowWidget() != nullptr) playSound(gameWindowWidget(), soundId);
}

bool soundsLoaded() { return playSound != nullptr; }
