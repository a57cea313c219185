// sharedStore.cpp: the batching of one process's submissions (see sharedStore.h).
#include "sharedStore.h"

#include <chrono>
#include <system_error>

bool SharedStore::open(const std::string& location, std::string& error) {
    std::unique_lock lock(mutex);
    if (store != nullptr) return true;
    if (location.empty()) {
        error = "PILARO_RANKING_DB is not set";
        return false;
    }
    // Opened under the mutex: the first requests of a new process wait for one open, not race.
    store = openStore(location, StoreAccess::serve, error);
    this->location = location;
    return store != nullptr;
}

void SharedStore::read(const std::function<void(RankingStore&)>& use) {
    {
        std::lock_guard turn(readTurn);
        // A connection of its own is only worth it for a file: a PostgreSQL process answers one
        // request at a time, and ":memory:" is a store of the connection alone.
        if (reader == nullptr && !isPostgresLocation(location) && location != ":memory:") {
            std::string error;
            reader = openStore(location, StoreAccess::readOnly, error);  // else read as before
        }
        if (reader != nullptr) return use(*reader);
    }
    exclusive(use);
}

SharedStore::~SharedStore() {
    {
        std::lock_guard lock(mutex);
        closing = true;
    }
    turnEnded.notify_all();
    if (writer.joinable()) writer.join();
}

void SharedStore::submit(PendingSubmission& pending) {
    std::unique_lock lock(mutex);
    pending.answered = false;
    waiting.push_back(&pending);
    bool writing = writer.joinable();
    if (!writing) {
        try {
            writer = std::thread(&SharedStore::writeBatches, this);
            writing = true;
        } catch (const std::system_error&) {
            // A host that refuses the thread: whoever finds the store free writes what waits.
        }
    }
    turnEnded.notify_all();
    while (!pending.answered) {
        if (writing || busy)
            turnEnded.wait(lock);
        else
            writeWaiting(lock);
    }
}

void SharedStore::writeBatches() {
    std::unique_lock lock(mutex);
    for (;;) {
        turnEnded.wait(lock, [this] { return !busy && (closing || !waiting.empty()); });
        if (waiting.empty()) return;
        writeWaiting(lock);
    }
}

void SharedStore::writeWaiting(std::unique_lock<std::mutex>& lock) {
    std::vector<PendingSubmission*> batch;
    batch.swap(waiting);
    auto start = std::chrono::steady_clock::now();
    takeTurn(lock, [&] { store->submitAll(batch); });
    metrics.countBatch(batch.size(), std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    for (PendingSubmission* stored : batch) stored->answered = true;  // still under the mutex
    turnEnded.notify_all();
}

void SharedStore::exclusive(const std::function<void(RankingStore&)>& use) {
    std::unique_lock lock(mutex);
    turnEnded.wait(lock, [this] { return !busy; });
    takeTurn(lock, [&] { use(*store); });
}

void SharedStore::takeTurn(std::unique_lock<std::mutex>& lock, const std::function<void()>& work) {
    busy = true;
    lock.unlock();
    work();
    lock.lock();
    busy = false;
    turnEnded.notify_all();
}
