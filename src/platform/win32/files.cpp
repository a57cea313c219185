// files.cpp: replacing one file by another in one step, for the best-score file.
#include "platform/win32/shell.h"

#include "platform/platform.h"

// rename() in the C runtime refuses to replace an existing file here; MoveFileEx does it in one
// step on the same volume, and the write-through flag returns only once the move is on disk.
bool replaceFile(const char* from, const char* to) {
    return MoveFileExW(toUtf16(from).c_str(), toUtf16(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
