// backup.cpp: the operator's backup and restore of an SQLite ranking (see backup.h).
#include "backup.h"

#include "store.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace {

// The store's own check of a file and what it holds, for the report; false (and why) when it fails.
bool checkedCounts(const std::string& path, StoreCounts& counts, std::string& why) {
    std::unique_ptr<RankingStore> store = openStore(path, StoreAccess::readOnly, why);
    if (store == nullptr) return false;
    std::string report;
    if (!store->check(report)) {
        why = report.empty() ? store->lastError() : report;
        return false;
    }
    if (store->counts(counts)) return true;
    why = store->lastError();
    return false;
}

// fsync of the file and of its folder, so that the copy and its name outlive a power cut.
bool flushed(const std::string& path) {
    std::string folder = std::filesystem::absolute(path).parent_path().string();
    bool ok = true;
    for (const std::string& each : {path, folder}) {
        int fd = ::open(each.c_str(), O_RDONLY | O_CLOEXEC);
        ok = ok && fd >= 0 && fsync(fd) == 0;
        if (fd >= 0) close(fd);
    }
    return ok;
}

std::string described(const StoreCounts& counts) {
    return std::to_string(counts.names) + " names, " + std::to_string(counts.submissions) + " submissions";
}

}  // namespace

bool backupRanking(const std::string& store, const std::string& file, std::string& report) {
    if (isPostgresLocation(store)) {
        report = "a PostgreSQL ranking is backed up with pg_dump (see README)";
        return false;
    }
    std::string why;
    if (openStore(store, StoreAccess::readOnly, why) == nullptr) {
        report = "cannot open " + store + ": " + why;
        return false;
    }
    // Made here, empty, and only if nothing is there: VACUUM INTO would also fill an empty file
    // that someone else had just made.
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        report = file + (errno == EEXIST ? " exists: a backup never writes over a file" : ": " + std::string(std::strerror(errno)));
        return false;
    }
    close(fd);
    // VACUUM INTO reads one snapshot on a read-only connection of its own: the ranking keeps
    // taking submissions meanwhile (a WAL reader does not hold the writer), and the copy is
    // compact and whole, where a copy of the file and its log would not be.
    sqlite3* db = nullptr;
    char* sql = sqlite3_mprintf("VACUUM INTO %Q", file.c_str());
    bool copied = sqlite3_open_v2(store.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
                  sqlite3_busy_timeout(db, 5000) == SQLITE_OK &&
                  sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!copied) why = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_free(sql);
    sqlite3_close(db);
    StoreCounts counts;
    if (copied && !checkedCounts(file, counts, why)) {
        copied = false;
        why = "the copy failed its check: " + why;
    }
    if (copied && !flushed(file)) {
        copied = false;
        why = std::string("cannot flush the copy: ") + std::strerror(errno);
    }
    if (!copied) {
        std::filesystem::remove(file);
        report = "no backup: " + why;
        return false;
    }
    report = "copied " + described(counts) + " (" + std::to_string(std::filesystem::file_size(file)) +
             " bytes, integrity checked) from " + store + " to " + file;
    return true;
}

bool restoreRanking(const std::string& backup, const std::string& store, std::string& report) {
    if (isPostgresLocation(store)) {
        report = "a PostgreSQL ranking is restored with pg_restore (see README)";
        return false;
    }
    StoreCounts counts;
    std::string why;
    if (!checkedCounts(backup, counts, why)) {
        report = backup + " is no sound ranking, nothing restored: " + why;
        return false;
    }
    // SQLite's online backup, from the copy into the store: it takes the store's write lock, and
    // a ranking serving the store sees the restored content at its next transaction.
    sqlite3 *from = nullptr, *to = nullptr;
    bool ok = sqlite3_open_v2(backup.c_str(), &from, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
              sqlite3_open_v2(store.c_str(), &to, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK &&
              sqlite3_busy_timeout(to, 5000) == SQLITE_OK && sqlite3_exec(to, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (ok) {
        sqlite3_backup* copy = sqlite3_backup_init(to, "main", from, "main");
        ok = copy != nullptr && sqlite3_backup_step(copy, -1) == SQLITE_DONE;
        ok = sqlite3_backup_finish(copy) == SQLITE_OK && ok;
    }
    why = to != nullptr ? sqlite3_errmsg(to) : "out of memory";
    sqlite3_close(from);
    sqlite3_close(to);
    if (!ok || !checkedCounts(store, counts, why)) {
        report = "restore failed: " + why;
        return false;
    }
    report = "restored " + described(counts) + " from " + backup + " into " + store;
    return true;
}
