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
    waitForAnswer(lock, pending.answered);
}

void SharedStore::storeReplay(PendingReplay& pending) {
    std::unique_lock lock(mutex);
    pending.answered = false;
    waitingReplays.push_back(&pending);
    waitForAnswer(lock, pending.answered);
}

void SharedStore::waitForAnswer(std::unique_lock<std::mutex>& lock, const bool& answered) {
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
    while (!answered) {
        if (writing || busy)
            turnEnded.wait(lock);
        else
            writeWaiting(lock);
    }
}

void SharedStore::writeBatches() {
    std::unique_lock lock(mutex);
    for (;;) {
        // The writer takes the next batch as soon as the store is free, but after those waiting for
        // an exclusive turn: with submissions arriving all along they waited for ever.
        turnEnded.wait(lock, [this] {
            return !busy && exclusiveWaiting == 0 && (closing || !waiting.empty() || !waitingReplays.empty());
        });
        if (waiting.empty() && waitingReplays.empty()) return;
        writeWaiting(lock);
    }
}

void SharedStore::writeWaiting(std::unique_lock<std::mutex>& lock) {
    // Replays first: their turn is short (no flush of its own), and the submissions their games
    // send next then find the next batch, not the one after it (in turns of their own, unbatched,
    // they waited for every batch's flush: submissions with replays came at half the rate).
    if (!waitingReplays.empty()) {
        std::vector<PendingReplay*> replays;
        replays.swap(waitingReplays);
        takeTurn(lock, [&] { store->storeReplays(replays); });
        for (PendingReplay* stored : replays) stored->answered = true;
        turnEnded.notify_all();
        return;
    }
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
    ++exclusiveWaiting;
    turnEnded.wait(lock, [this] { return !busy; });
    --exclusiveWaiting;
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
