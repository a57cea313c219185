// files.cpp: the player's files (the best score, the last game's recording) in the working folder,
// each replaced in one step.
#include "platform/win32/shell.h"

#include <cstdio>

#include "platform/platform.h"

bool readUserFile(const char* name, std::string& bytes) {
    std::FILE* file = std::fopen(name, "rb");
    if (!file) return false;
    bytes.clear();
    char chunk[256];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) bytes.append(chunk, got);
    std::fclose(file);
    return true;
}

bool writeUserFile(const char* name, const std::string& bytes) {
    // The bytes go to a file beside the old one, which then replaces it. rename() in the C runtime
    // refuses to replace an existing file here; MoveFileEx does it in one step on the same volume,
    // and the write-through flag returns only once the move is on disk.
    const std::string temporary = std::string(name) + ".tmp";
    bool written = false;
    if (std::FILE* file = std::fopen(temporary.c_str(), "wb")) {
        const bool put = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        const bool flushed = std::fflush(file) == 0;
        written = (std::fclose(file) == 0) && put && flushed &&
                  MoveFileExW(toUtf16(temporary).c_str(), toUtf16(name).c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        if (!written) std::remove(temporary.c_str());
    }
    return written;
}
