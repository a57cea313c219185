// makeResources.cpp: writes the game's bitmaps and sounds into the directory given on the command line.
#include "resourceFiles.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: makeResources <outputDir>\n");
        return 2;
    }
    if (!writeAllResources(argv[1])) {
        std::fprintf(stderr, "makeResources: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
