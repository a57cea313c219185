// durabilityTest.cpp: a submission is answered only once it is on the disk: SQLite flushes its log
// once per batch before the batch's submissions are answered, and PostgreSQL has flushed the
// submission's commit; a PostgreSQL server that crashes under load keeps every acknowledged one.
#include "support.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

// The system's VFS, counting the flushes of write-ahead logs: made the default for the test's
// own stores, so that the store's commits go through it. A log file is the system's own file with
// a method table that differs only in xSync.
struct CountingVfs {
    sqlite3_vfs vfs{};
    sqlite3_vfs* real = sqlite3_vfs_find(nullptr);
    sqlite3_io_methods logMethods{};
    const sqlite3_io_methods* realMethods = nullptr;
    std::atomic<int> logFlushes{0};
};
CountingVfs counting;

int countedSync(sqlite3_file* file, int flags) {
    ++counting.logFlushes;
    return counting.realMethods->xSync(file, flags);
}

int countedOpen(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    int rc = counting.real->xOpen(counting.real, name, file, flags, outFlags);
    if (rc == SQLITE_OK && file->pMethods != nullptr && (flags & SQLITE_OPEN_WAL) != 0) {
        counting.realMethods = file->pMethods;
        counting.logMethods = *file->pMethods;
        counting.logMethods.xSync = countedSync;
        file->pMethods = &counting.logMethods;
    }
    return rc;
}

TEST(Durability, SqliteFlushesItsLogOncePerBatchBeforeTheBatchIsAnswered) {
    // Fault: the log was flushed by checkpoints only, never before a reply.
    counting.vfs = *counting.real;
    counting.vfs.zName = "pilaro-counting";
    counting.vfs.xOpen = countedOpen;
    ASSERT_EQ(sqlite3_vfs_register(&counting.vfs, 1), SQLITE_OK);
    std::string error;
    std::unique_ptr<RankingStore> store = openStore(freshStore("sqlite"), StoreAccess::serve, error);
    ASSERT_NE(store, nullptr) << error;
    for (int round = 0; round < 3; ++round) {
        std::vector<PendingSubmission> batch(4);
        std::vector<PendingSubmission*> pointers;
        for (PendingSubmission& pending : batch) {
            pending.submission = {"B" + std::to_string(pointers.size()), 10u + static_cast<unsigned>(round)};
            pending.limit.count = 0;
            pointers.push_back(&pending);
        }
        int before = counting.logFlushes;
        store->submitAll(pointers);
        for (const PendingSubmission& pending : batch) EXPECT_EQ(pending.result.outcome, SubmitOutcome::accepted);
        EXPECT_EQ(counting.logFlushes - before, 1) << "round " << round;
    }
    store.reset();
    sqlite3_vfs_unregister(&counting.vfs);
}

}  // namespace

// A throw-away PostgreSQL server of the test's own, which it may crash: its WAL writer waits ten
// seconds between rounds, so a commit that did not wait for its flush stays unflushed meanwhile.
struct CrashableServer {
    std::string state = makeTempDir() + "/state", uri;
    CrashableServer() {
        runShell("PILARO_POSTGRES_SETTINGS='-c wal_writer_delay=10s -c autovacuum=off' '" PILARO_TEST_POSTGRES_SCRIPT
                 "' start '" + state + "' fast >/dev/null 2>&1");
        uri = readFile(state).substr(0, readFile(state).find('\n'));
    }
    ~CrashableServer() { runShell("'" PILARO_TEST_POSTGRES_SCRIPT "' stop '" + state + "'"); }
    bool crash() { return runShell("'" PILARO_TEST_POSTGRES_SCRIPT "' crash '" + state + "'") == 0; }
    std::string value(const std::string& sql) {
        runShell("psql -qXtA '" + uri + "' -c '" + sql + "' >'" + state + ".value' 2>&1");
        std::string out = readFile(state + ".value");
        return out.substr(0, out.find('\n'));
    }
};

TEST(Durability, PostgresAnswersFlushedSubmissionsOnlyAndACrashUnderLoadLosesNoneOfThem) {
    CrashableServer server;
    if (server.uri.empty()) GTEST_SKIP() << postgresMissing;
    std::string error;
    std::unique_ptr<RankingStore> store = openStore(server.uri, StoreAccess::serve, error);
    ASSERT_NE(store, nullptr) << error;
    std::vector<RankingEntry> topTen;
    ASSERT_EQ(store->submit({"FLUSHED", 1}, "", 1000, {0, 60}, topTen).outcome, SubmitOutcome::accepted);
    // Fault: the submission committed without waiting for the disk, and so did the small
    // transaction after it, which wrote nothing.
    EXPECT_EQ(server.value("SELECT pg_current_wal_flush_lsn() >= pg_current_wal_insert_lsn()"), "t");

    std::mutex lock;
    std::vector<std::string> acknowledged{"FLUSHED"};
    std::atomic<int> afterCrash{0};
    std::atomic<bool> crashed{false}, stop{false};
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t)
        posters.emplace_back([&, t] {
            std::string why;
            std::unique_ptr<RankingStore> own = openStore(server.uri, StoreAccess::serve, why);
            std::vector<RankingEntry> top;
            bool counted = false;
            for (int i = 0; own != nullptr && !stop; ++i) {
                std::string name = "C" + std::to_string(t) + "_" + std::to_string(i);
                bool seenCrash = crashed;
                if (own->submit({name, 1}, "", 1000, {0, 60}, top).outcome != SubmitOutcome::accepted) continue;
                std::lock_guard guard(lock);
                acknowledged.push_back(name);
                if (seenCrash && !counted) afterCrash += counted = true;
            }
        });
    while (acknowledged.size() < 200 && afterCrash == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    crashed = true;
    EXPECT_TRUE(server.crash());
    // Each process connects again by itself: a page read at once (fault: 503 until a submission
    // had reconnected), and every poster stores again.
    std::vector<RankingEntry> page;
    EXPECT_TRUE(store->read(0, 10, page)) << store->lastError();
    for (int i = 0; i < 6000 && afterCrash < 4; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(afterCrash, 4);
    stop = true;
    for (std::thread& poster : posters) poster.join();
    expectConsistentHolding(server.uri, acknowledged);
}
