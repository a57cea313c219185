// userFiles.cpp: the files the Linux program keeps for the player: the folder it works in when
// started from the menu, and the best-score file, "hiScore.txt" in the working folder.
#include "userFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/platform.h"

namespace {

const char* const hiScoreFileName = "hiScore.txt";
const char* const hiScoreTempName = "hiScore.txt.tmp";

}  // namespace

bool readHiScoreText(std::string& text) {
    std::ifstream file(hiScoreFileName, std::ios::binary);
    if (!file) return false;
    text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

bool writeHiScoreText(const std::string& text) {
    // The text goes to a file beside the old one, which rename() then replaces atomically within
    // one file system: a crash or a full disk leaves the previous best score.
    std::ofstream file(hiScoreTempName, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (file && std::rename(hiScoreTempName, hiScoreFileName) == 0) return true;
    std::remove(hiScoreTempName);
    return false;
}

namespace {

// Makes every missing folder along `path`, for the player only; false when one cannot be made.
bool makeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}

}  // namespace

std::string userFolder() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    // The XDG rule: a relative or empty XDG_DATA_HOME is ignored.
    if (dataHome && dataHome[0] == '/') return std::string(dataHome) + "/pilaro";
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') return "";
    return std::string(home) + "/.local/share/pilaro";
}

bool enterUserFolderWhenAsked(int argc, char** argv) {
    bool asked = false;
    for (int i = 1; i < argc; ++i) asked = asked || std::strcmp(argv[i], userFolderOption) == 0;
    if (!asked) return true;
    // A menu starts programs in the home folder; the best score belongs in the game's own folder.
    const std::string folder = userFolder();
    if (folder.empty() || !makeFolders(folder) || chdir(folder.c_str()) != 0) {
        std::fprintf(stderr, "pilaro: cannot work in %s: %s\n",
                     folder.empty() ? "the per-user folder (HOME is not set)" : folder.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}
