// userFiles.cpp: the files the Linux program keeps for the player: the folder it works in when
// started from the menu, and the player's files (the best score, the last game's recording) there.
#include "userFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"

// stdio rather than streams: the streams' locale machinery would keep a few hundred kilobytes of
// the C++ library in memory for two small files.
bool readUserFile(const char* name, std::string& bytes) {
    std::FILE* file = std::fopen(name, "rb");
    if (file == nullptr) return false;
    bytes.clear();
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, got);
    const bool read = !std::ferror(file);
    std::fclose(file);
    return read;
}

bool writeUserFile(const char* name, const std::string& bytes) {
    // The bytes go to a file beside the old one, which rename() then replaces atomically within
    // one file system: a crash or a full disk leaves the previous file.
    const std::string temporary = std::string(name) + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) == 0 && written && std::rename(temporary.c_str(), name) == 0) return true;
    std::remove(temporary.c_str());
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
