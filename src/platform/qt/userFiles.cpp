// userFiles.cpp: the files the Linux program keeps for the player: the folder it works in when
// started from the menu, and the one-step replacement of the best-score file.
#include "userFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"

// On Linux rename() replaces an existing file atomically within one file system.
bool replaceFile(const char* from, const char* to) { return std::rename(from, to) == 0; }

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
