// files.cpp: the best-score file, "hiScore.txt" in the working folder, replaced in one step.
#include "platform/win32/shell.h"

#include <cstdio>

#include "platform/platform.h"

namespace {

const char* const hiScoreFileName = "hiScore.txt";
const char* const hiScoreTempName = "hiScore.txt.tmp";

}  // namespace

bool readHiScoreText(std::string& text) {
    std::FILE* file = std::fopen(hiScoreFileName, "rb");
    if (!file) return false;
    text.clear();
    char chunk[256];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, got);
    std::fclose(file);
    return true;
}

bool writeHiScoreText(const std::string& text) {
    // The text goes to a file beside the old one, which then replaces it. rename() in the C runtime
    // refuses to replace an existing file here; MoveFileEx does it in one step on the same volume,
    // and the write-through flag returns only once the move is on disk.
    bool written = false;
    if (std::FILE* file = std::fopen(hiScoreTempName, "wb")) {
        const bool put = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        const bool flushed = std::fflush(file) == 0;
        written = (std::fclose(file) == 0) && put && flushed &&
                  MoveFileExW(toUtf16(hiScoreTempName).c_str(), toUtf16(hiScoreFileName).c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        if (!written) std::remove(hiScoreTempName);
    }
    return written;
}
