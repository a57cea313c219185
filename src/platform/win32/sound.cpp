// sound.cpp: the four sound effects, played from the program's own WAVE resources.
#include "platform/win32/shell.h"

#include <mmsystem.h>

#include "platform/platform.h"
#include "resource.h"

void startSound(int soundId) {
    // Asynchronous and without SND_NOSTOP: the call returns at once and cuts off the effect that
    // is still sounding. With no sound device it fails quietly, and the game does not mind.
    PlaySoundA(MAKEINTRESOURCEA(IDW_SOUNDS + soundId), appInstance, SND_RESOURCE | SND_ASYNC);
}
