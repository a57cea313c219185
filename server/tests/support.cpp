// support.cpp: replies and fresh stores for the ranking tests.
#include "support.h"

#include "text/cp932.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <unistd.h>

RawReply parsedReply(const std::string& all, const char* start) {
    std::size_t end = all.find("\r\n\r\n");
    if (all.rfind(start, 0) != 0 || end == std::string::npos) return {0, all, ""};
    return {std::atoi(all.c_str() + all.find(' ') + 1), all.substr(0, end), all.substr(end + 4)};
}

std::string doneText(const std::string& reply) {
    std::size_t from = reply.find_first_not_of('<');
    return from == std::string::npos ? "" : cp932::decode(reply.substr(from, reply.find('<', from) - from));
}

bool rawSql(const std::string& location, const std::string& sql) {
    bool sqlite = location.find("://") == std::string::npos;
    return runShell((sqlite ? "sqlite3 '" : "psql -qX '") + location + (sqlite ? "' '" : "' -c '") + sql +
                    "' >/dev/null 2>&1") == 0;
}

const char* const postgresMissing =
    "PostgreSQL could not start here (see " PILARO_TEST_POSTGRES_STATE "'s folder): its cases are skipped";

std::string freshStore(const std::string& kind) {
    static int made = 0;
    static const std::string folder = makeTempDir();  // removed when the test program ends
    [[maybe_unused]] static const int removal = std::atexit([] { std::filesystem::remove_all(folder); });
    std::string name = "t" + std::to_string(getpid()) + "_" + std::to_string(++made);
    if (kind == "sqlite") return folder + "/" + name + ".sqlite3";
    // The first line of the state file is the throw-away server's URI, when it started.
    std::string uri = readFile(PILARO_TEST_POSTGRES_STATE);
    uri = uri.substr(0, uri.find('\n'));
    return !uri.empty() && rawSql(uri, "CREATE SCHEMA " + name) ? uri + "&options=-csearch_path%3D" + name : "";
}

std::vector<PendingSubmission> submitBatch(RankingStore& store, const std::string& prefix, int count, std::int64_t now, bool spread) {
    std::vector<PendingSubmission> batch(static_cast<std::size_t>(count));
    std::vector<PendingSubmission*> pointers;
    for (std::uint32_t i = 0; i < batch.size(); ++i)
        pointers.push_back(&(batch[i] = {{prefix + std::to_string(i), 10 + (spread ? i * 7919 % 65536 : 0)}, "", now,
                                         {0, 60}, {}, {}, {}, {}}));
    store.submitAll(pointers);
    return batch;
}

std::uint64_t expectConsistentHolding(const std::string& location, const std::vector<std::string>& names) {
    std::string error, report;
    std::vector<RankingEntry> all;
    StoreCounts counts;
    std::unique_ptr<RankingStore> store = openStore(location, StoreAccess::readOnly, error);
    EXPECT_NE(store, nullptr) << error;
    if (store == nullptr) return 0;
    EXPECT_TRUE(store->check(report)) << report;
    EXPECT_TRUE(store->read(0, 100000, all)) << store->lastError();
    EXPECT_TRUE(store->counts(counts)) << store->lastError();
    std::set<std::string> missing(names.begin(), names.end());
    for (const RankingEntry& entry : all) missing.erase(entry.name);
    EXPECT_TRUE(missing.empty()) << missing.size() << " of " << names.size() << " acknowledged names missing, "
                                 << (missing.empty() ? "" : "such as " + *missing.begin());
    return counts.names;
}
