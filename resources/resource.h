// resource.h: the numbers of the icon, art and sound resources, shared by pilaro.rc and the Win32 shell.
#pragma once

#define IDI_PILARO 1

#define IDB_BACKDROP 101
#define IDB_TILES 102

#define IDW_TURN 201
#define IDW_MOVE 202
#define IDW_ROWS_CLEARED 203
#define IDW_HARD_DROP 204
