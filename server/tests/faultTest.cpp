// faultTest.cpp: the disk failing under the ranking: a power cut that drops every write not yet
// flushed, and a flush that fails (EIO). A test VFS registered over SQLite's default one forwards
// to it and keeps, per file, what each unflushed write overwrote, so that a cut can undo them.
#include "handler.h"
#include "support.h"
#include "texts.h"
#include "text/cp932.h"
#include "testSeed.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <unistd.h>

namespace {

// What a file's unflushed writes overwrote, newest last: undone in reverse, they give the file as
// the disk last flushed it.
struct Undo {
    sqlite3_int64 offset, sizeBefore;
    std::string bytes;
};

struct FaultyDisk {
    sqlite3_vfs vfs{};
    sqlite3_vfs* real = nullptr;
    std::mutex mutex;
    std::map<std::string, std::vector<Undo>> unflushed;  // by path: every handle of a file shares its cache
    std::atomic<long> writesLeft{-1};  // the power goes at this write (-1: never)
    std::atomic<bool> dark{false};     // cut: every write, flush and delete fails
    std::atomic<bool> failFlushes{false};
    std::atomic<long> checkpoints{0};  // checkpoints tried, by any connection
} disk;

struct File {
    sqlite3_file base;
    sqlite3_file* real;  // the default VFS's, allocated after this
    std::string path;
};

File* of(sqlite3_file* file) { return reinterpret_cast<File*>(file); }

int writeTo(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
    File* f = of(file);
    if (disk.dark || disk.writesLeft-- == 0) return disk.dark = true, SQLITE_IOERR_WRITE;
    if (!f->path.empty()) {
        Undo undo{offset, 0, std::string(static_cast<std::size_t>(amount), '\0')};
        f->real->pMethods->xFileSize(f->real, &undo.sizeBefore);
        f->real->pMethods->xRead(f->real, undo.bytes.data(), amount, offset);  // a short read fills zeros
        std::lock_guard lock(disk.mutex);
        disk.unflushed[f->path].push_back(std::move(undo));
    }
    return f->real->pMethods->xWrite(f->real, data, amount, offset);
}

int truncateTo(sqlite3_file* file, sqlite3_int64 size) {
    File* f = of(file);
    if (disk.dark) return SQLITE_IOERR_TRUNCATE;
    sqlite3_int64 before = 0;
    f->real->pMethods->xFileSize(f->real, &before);
    if (!f->path.empty() && before > size) {
        Undo undo{size, before, std::string(static_cast<std::size_t>(before - size), '\0')};
        f->real->pMethods->xRead(f->real, undo.bytes.data(), static_cast<int>(before - size), size);
        std::lock_guard lock(disk.mutex);
        disk.unflushed[f->path].push_back(std::move(undo));
    }
    return f->real->pMethods->xTruncate(f->real, size);
}

int flush(sqlite3_file* file, int flags) {
    File* f = of(file);
    // A failed flush (EIO): what it covered stays unflushed, and the call says so.
    if (disk.dark || disk.failFlushes) return SQLITE_IOERR_FSYNC;
    int rc = f->real->pMethods->xSync(f->real, flags);
    std::lock_guard lock(disk.mutex);
    if (rc == SQLITE_OK) disk.unflushed.erase(f->path);
    return rc;
}

const sqlite3_io_methods* methods() {
    static sqlite3_io_methods m = [] {
        sqlite3_io_methods io{};
        io.iVersion = 3;
        io.xClose = [](sqlite3_file* file) {
            int rc = of(file)->real->pMethods != nullptr ? of(file)->real->pMethods->xClose(of(file)->real) : SQLITE_OK;
            of(file)->path.~basic_string();
            return rc;
        };
        io.xRead = [](sqlite3_file* f, void* d, int n, sqlite3_int64 o) { return of(f)->real->pMethods->xRead(of(f)->real, d, n, o); };
        io.xWrite = writeTo;
        io.xTruncate = truncateTo;
        io.xSync = flush;
        io.xFileSize = [](sqlite3_file* f, sqlite3_int64* s) { return of(f)->real->pMethods->xFileSize(of(f)->real, s); };
        io.xLock = [](sqlite3_file* f, int l) { return of(f)->real->pMethods->xLock(of(f)->real, l); };
        io.xUnlock = [](sqlite3_file* f, int l) { return of(f)->real->pMethods->xUnlock(of(f)->real, l); };
        io.xCheckReservedLock = [](sqlite3_file* f, int* r) { return of(f)->real->pMethods->xCheckReservedLock(of(f)->real, r); };
        io.xFileControl = [](sqlite3_file* f, int op, void* a) { return of(f)->real->pMethods->xFileControl(of(f)->real, op, a); };
        io.xSectorSize = [](sqlite3_file* f) { return of(f)->real->pMethods->xSectorSize(of(f)->real); };
        io.xDeviceCharacteristics = [](sqlite3_file* f) { return of(f)->real->pMethods->xDeviceCharacteristics(of(f)->real); };
        // The WAL's index lives in shared memory, which a power cut takes whole: the test removes
        // the -shm files with the cut, and SQLite rebuilds the index from the log.
        io.xShmMap = [](sqlite3_file* f, int p, int s, int e, void volatile** m) { return of(f)->real->pMethods->xShmMap(of(f)->real, p, s, e, m); };
        io.xShmLock = [](sqlite3_file* f, int o, int n, int fl) {
            // A checkpoint starts by taking the log's checkpoint lock (the second) alone.
            if (o == 1 && n == 1 && fl == (SQLITE_SHM_LOCK | SQLITE_SHM_EXCLUSIVE)) ++disk.checkpoints;
            return of(f)->real->pMethods->xShmLock(of(f)->real, o, n, fl);
        };
        io.xShmBarrier = [](sqlite3_file* f) { of(f)->real->pMethods->xShmBarrier(of(f)->real); };
        io.xShmUnmap = [](sqlite3_file* f, int d) { return of(f)->real->pMethods->xShmUnmap(of(f)->real, d); };
        io.xFetch = [](sqlite3_file*, sqlite3_int64, int, void** p) { return *p = nullptr, SQLITE_OK; };  // no mmap
        io.xUnfetch = [](sqlite3_file*, sqlite3_int64, void*) { return SQLITE_OK; };
        return io;
    }();
    return &m;
}

int openFile(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    File* f = of(file);
    f->real = reinterpret_cast<sqlite3_file*>(f + 1);
    new (&f->path) std::string(name != nullptr ? name : "");
    int rc = disk.real->xOpen(disk.real, name, f->real, flags, outFlags);
    f->base.pMethods = methods();
    return rc;
}

// Registered once, as the default: every store the ranking opens in this test program writes
// through it, and nothing is kept apart until a test arms it.
void installFaultyDisk() {
    static bool done = [] {
        disk.real = sqlite3_vfs_find(nullptr);
        disk.vfs = *disk.real;
        disk.vfs.zName = "faulty";
        disk.vfs.szOsFile = static_cast<int>(sizeof(File)) + disk.real->szOsFile;
        disk.vfs.xOpen = openFile;
        disk.vfs.xDelete = [](sqlite3_vfs*, const char* name, int syncDir) {
            return disk.dark ? SQLITE_IOERR_DELETE : disk.real->xDelete(disk.real, name, syncDir);
        };
        return sqlite3_vfs_register(&disk.vfs, 1) == SQLITE_OK;
    }();
    ASSERT_TRUE(done);
}

// The machine back on: every file as the disk last flushed it, and no shared memory.
void powerOn() {
    for (auto& [path, undos] : disk.unflushed) {
        int fd = ::open(path.c_str(), O_RDWR);
        for (auto undo = undos.rbegin(); fd >= 0 && undo != undos.rend(); ++undo) {
            ASSERT_EQ(pwrite(fd, undo->bytes.data(), undo->bytes.size(), undo->offset), static_cast<ssize_t>(undo->bytes.size()));
            ASSERT_EQ(ftruncate(fd, undo->sizeBefore), 0);
        }
        if (fd >= 0) close(fd);
        std::filesystem::remove(path + "-shm");
    }
    disk.unflushed.clear();
    disk.writesLeft = -1;
    disk.dark = false;
}

RequestInfo post() { return {"POST", "", "10.0.0.1", PILARO_RANKING_PATH, "", "", "", "", ""}; }

// Power cuts at random points of a load of concurrent submissions: after each, every submission
// answered 200 must be in the store, and the store whole. (It fails with synchronous = NORMAL,
// which flushes the log only at checkpoints.) PILARO_TEST_SEED replays a run.
TEST(PowerCut, LosesNoAcknowledgedSubmissionAndLeavesTheStoreWhole) {
    installFaultyDisk();
    std::mt19937 random(testSeed());
    for (int cut = 0; cut < 24; ++cut) {
        std::string location = freshStore("sqlite");
        ServerConfig config{location, {0, 60}, {}};
        std::vector<std::string> acknowledged;
        std::mutex lock;
        {
            SharedStore store;
            ASSERT_EQ(handleRequest(store, config, post(), BodyState::complete, "FIRST_1", 1000).status, 200);
            disk.unflushed.clear();  // other tests' files are not this cut's
            disk.writesLeft = std::uniform_int_distribution<long>(0, 400)(random);
            std::vector<std::thread> clients;
            for (int t = 0; t < 4; ++t)
                clients.emplace_back([&, t] {
                    for (int i = 0; !disk.dark && i < 2000; ++i) {
                        std::string name = "C" + std::to_string(cut) + "_" + std::to_string(t) + "_" + std::to_string(i);
                        Response r = handleRequest(store, config, post(), BodyState::complete, name + "_" + std::to_string(i + 1), 1000);
                        std::lock_guard guard(lock);
                        if (r.status == 200) acknowledged.push_back(name);
                    }
                });
            for (std::thread& client : clients) client.join();
            ASSERT_TRUE(disk.dark) << "the cut never came";
        }  // the process dies with the power: its connections close, and nothing more is written
        powerOn();
        acknowledged.push_back("FIRST");
        expectConsistentHolding(location, acknowledged);
        if (HasFailure()) {
            std::printf("after the cut of round %d, with %zu acknowledged\n", cut, acknowledged.size());
            return;
        }
    }
}

// A flush that fails (EIO) answers what it covered with a short code page 932 refusal, never a
// 200; the health check says 503 meanwhile; once flushes work again, the same process serves
// again and the store is whole.
TEST(FailedFlush, GivesNo200AShortRefusalAndTheStoreStaysUsable) {
    installFaultyDisk();
    std::string location = freshStore("sqlite");
    ServerConfig config{location, {0, 60}, {}};
    SharedStore store;
    RequestInfo health{"GET", "", "127.0.0.1", PILARO_RANKING_HEALTH_PATH, "", "", "", "", ""};
    EXPECT_EQ(handleRequest(store, config, post(), BodyState::complete, "BEFORE_5", 1000).status, 200);
    EXPECT_EQ(handleRequest(store, config, health, BodyState::complete, "", 1000).status, 200);
    disk.failFlushes = true;
    for (const char* body : {"LOST_9", "LOST_8"}) {
        Response refused = handleRequest(store, config, post(), BodyState::complete, body, 1000);
        EXPECT_EQ(refused.status, 503);
        EXPECT_EQ(doneText(refused.body), std::string(refusalText(Refusal::notStored)) + "\n");
        EXPECT_NE(refused.logLine.find("pilaro-ranking: 503: "), std::string::npos);
    }
    Response sick = handleRequest(store, config, health, BodyState::complete, "", 1000);
    EXPECT_EQ(sick.status, 503) << sick.body;
    disk.failFlushes = false;
    EXPECT_EQ(handleRequest(store, config, post(), BodyState::complete, "AFTER_3", 1000).status, 200);
    EXPECT_EQ(handleRequest(store, config, health, BodyState::complete, "", 1000).status, 200);
    expectConsistentHolding(location, {"BEFORE", "AFTER"});
}

// Fault: PostgreSQL's health said 200 while its server could not write (its probe's row fitted in
// its page, the log in its segment). A throw-away server on a small file system (root only: the
// mount), filled: submissions get the short refusal, the health check 503; with room again both
// serve as before.
TEST(FullDisk, PostgresqlHealthSays503WhileItsServerCannotWriteAndServesAgain) {
    std::string folder = makeTempDir(), state = folder + "/state";
    if (runShell("mount -t tmpfs -o size=80m tmpfs '" + folder + "' 2>/dev/null") != 0)
        GTEST_SKIP() << "a small file system is mounted by root only";
    runShell("chmod 755 '" + folder + "'; TMPDIR='" + folder + "' '" PILARO_TEST_POSTGRES_SCRIPT "' start '" + state + "' fast");
    std::string uri = readFile(state);
    uri = uri.substr(0, uri.find('\n'));
    ServerConfig config{uri, {0, 60}, {}};
    SharedStore store;
    RequestInfo health{"GET", "", "127.0.0.1", PILARO_RANKING_HEALTH_PATH, "", "", "", "", ""};
    auto healthStatus = [&] { return handleRequest(store, config, health, BodyState::complete, "", 1000).status; };
    if (!uri.empty()) {
        EXPECT_EQ(handleRequest(store, config, post(), BodyState::complete, "BEFORE_5", 1000).status, 200);
        EXPECT_EQ(healthStatus(), 200);
        runShell("dd if=/dev/zero of='" + folder + "/fill' bs=64k 2>/dev/null");
        std::vector<std::string> acknowledged = {"BEFORE"};
        int refused = 0;
        for (int i = 0; i < 3000 && refused < 5; ++i) {
            Response reply = handleRequest(store, config, post(), BodyState::complete, "F" + std::to_string(i) + "_1", 1000);
            if (reply.status == 200) acknowledged.push_back("F" + std::to_string(i));
            refused += reply.status == 503;
        }
        EXPECT_EQ(refused, 5) << "the disk never filled";
        Response sick = handleRequest(store, config, health, BodyState::complete, "", 1000);
        EXPECT_EQ(sick.status, 503) << sick.body;
        std::filesystem::remove(folder + "/fill");
        EXPECT_EQ(healthStatus(), 200);
        EXPECT_EQ(handleRequest(store, config, post(), BodyState::complete, "AFTER_3", 1000).status, 200);
        acknowledged.push_back("AFTER");
        expectConsistentHolding(uri, acknowledged);
    }
    runShell("'" PILARO_TEST_POSTGRES_SCRIPT "' stop '" + state + "'; umount '" + folder + "'");
    std::filesystem::remove_all(folder);
    if (uri.empty()) GTEST_SKIP() << postgresMissing;
}

// Fault: a reader on an old snapshot (an operator's shell, a backup) keeps the log from starting
// again, and every batch past the log's 4 MB mark tried a checkpoint that waited for it: at first
// the whole five-second busy time-out, then a millisecond each, which cost four submissions in five
// through a long read. Now the attempts come after ever more batches.
TEST(LongRead, CostsFewBatchesACheckpointAttempt) {
    installFaultyDisk();
    std::string location = freshStore("sqlite"), error;
    std::unique_ptr<RankingStore> store = openStore(location, StoreAccess::serve, error);
    sqlite3* reader = nullptr;
    ASSERT_TRUE(store != nullptr && sqlite3_open(location.c_str(), &reader) == SQLITE_OK) << error;
    ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM names", nullptr, nullptr, nullptr), SQLITE_OK);
    disk.checkpoints = 0;
    double slowest = 0;
    int batches = 0;
    for (; batches < 2000 && std::filesystem::file_size(location + "-wal") < (9u << 20); ++batches) {
        auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(submitBatch(*store, "R" + std::to_string(batches) + "_", 50)[0].error, "");
        slowest = std::max(slowest, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    EXPECT_GE(std::filesystem::file_size(location + "-wal"), 9u << 20) << "the log passed its mark";
    EXPECT_LE(disk.checkpoints * 16, batches) << disk.checkpoints << " checkpoints tried in " << batches << " batches";
    EXPECT_LT(slowest, 2.5) << "seconds for one batch";  // alone it takes milliseconds
    sqlite3_close(reader);
}

}  // namespace
