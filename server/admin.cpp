// admin.cpp: pilaro-ranking-admin, the operator's command for the ranking database (list, remove,
// counts, consistency check). Names are typed and shown in UTF-8 and stored as code page 932.
#include "cp932.h"
#include "ranking.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

int usage() {
    std::fputs("usage: pilaro-ranking-admin [--db PATH] COMMAND\n"
               "  list [COUNT]          the best COUNT places (default 50)\n"
               "  remove NAME           takes NAME (UTF-8) out of the ranking; its history stays\n"
               "  remove-hex HEX        the same, with the name's code page 932 bytes in hex\n"
               "  count                 names in the ranking and submissions stored\n"
               "  check                 SQLite's integrity check\n"
               "The database is PATH, or else $PILARO_RANKING_DB.\n",
               stderr);
    return 2;
}

bool fromHex(const char* hex, std::string& out) {
    out.clear();
    std::size_t n = std::strlen(hex);
    if (n % 2 != 0) return false;
    for (std::size_t i = 0; i < n; i += 2) {
        char pair[3] = {hex[i], hex[i + 1], 0};
        char* end = nullptr;
        long value = std::strtol(pair, &end, 16);
        if (*end != '\0') return false;
        out += static_cast<char>(value);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int at = 1;
    std::string path = std::getenv("PILARO_RANKING_DB") != nullptr ? std::getenv("PILARO_RANKING_DB") : "";
    if (at + 1 < argc && std::strcmp(argv[at], "--db") == 0) {
        path = argv[at + 1];
        at += 2;
    }
    if (at >= argc || path.empty()) return usage();
    std::string command = argv[at++];
    // A mistyped path must not quietly create a new, empty ranking.
    if (access(path.c_str(), F_OK) != 0) {
        std::fprintf(stderr, "pilaro-ranking-admin: %s does not exist\n", path.c_str());
        return 1;
    }
    RankingDb ranking;
    std::string error;
    if (!openRanking(ranking, path, error)) {
        std::fprintf(stderr, "pilaro-ranking-admin: cannot open %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    int status = 0;
    if (command == "list" && at + 1 >= argc) {
        long count = at < argc ? std::strtol(argv[at], nullptr, 10) : 50;
        std::vector<RankingEntry> entries;
        if (count <= 0 || !readRanking(ranking, 0, static_cast<std::uint32_t>(count), entries)) {
            status = 1;
        } else {
            for (const RankingEntry& entry : entries)
                std::printf("%u\t%s\t%u\n", entry.place, decodeCp932(entry.name).c_str(), entry.score);
        }
    } else if ((command == "remove" || command == "remove-hex") && at + 1 == argc) {
        std::string name;
        bool readable = command == "remove" ? encodeCp932(argv[at], name) : fromHex(argv[at], name);
        bool found = false;
        if (!readable) {
            std::fprintf(stderr, "pilaro-ranking-admin: \"%s\" has no code page 932 form (try remove-hex)\n", argv[at]);
            status = 1;
        } else if (!removeName(ranking, name, found)) {
            std::fprintf(stderr, "pilaro-ranking-admin: the database refused the removal\n");
            status = 1;
        } else if (!found) {
            std::fprintf(stderr, "pilaro-ranking-admin: no such name in the ranking\n");
            status = 1;
        } else {
            std::printf("removed\n");
        }
    } else if (command == "count" && at == argc) {
        std::uint32_t names = 0;
        std::uint64_t submissions = 0;
        if (countNames(ranking, names) && countSubmissions(ranking, submissions))
            std::printf("names %u\nsubmissions %llu\n", names, static_cast<unsigned long long>(submissions));
        else
            status = 1;
    } else if (command == "check" && at == argc) {
        std::string report;
        status = checkIntegrity(ranking, report) ? 0 : 1;
        std::printf("%s\n", report.c_str());
    } else {
        status = usage();
    }
    closeRanking(ranking);
    return status;
}
