// resource.h: the numbers of the icon, art and sound resources, shared by pilaro.rc and the Win32 shell.
#pragma once

#define IDI_PILARO 1

#define IDB_BACKDROP 101
#define IDB_TILES 102

// The sounds follow on from here: the core's sound id n (present/sound.h) is resource IDW_SOUNDS + n.
#define IDW_SOUNDS 201
