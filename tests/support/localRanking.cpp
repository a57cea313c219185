// localRanking.cpp: the shell helpers of localRanking.h.
#include "localRanking.h"

#include <sys/wait.h>

#include <fstream>

std::string makeTempDir() {
    std::string name = (std::filesystem::temp_directory_path() / "pilaro-ranking-XXXXXX").string();
    return mkdtemp(name.data()) != nullptr ? name : std::string();
}

int runShell(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
