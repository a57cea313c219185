// resource.h: the numbers of the icon, art and sound resources, shared by pilaro.rc and the Win32 shell.
// The sounds are numbered by the game itself, which asks for them by these numbers.
#pragma once

#define IDI_PILARO 1

#define IDB_BACKDROP 101
#define IDB_TILES 102

#include "present/sound.h"
