// sharedStore.cpp: the batching of one process's submissions (see sharedStore.h).
#include "sharedStore.h"

bool SharedStore::open(const std::string& location, std::string& error) {
    std::unique_lock lock(mutex);
    if (store != nullptr) return true;
    if (location.empty()) {
        error = "PILARO_RANKING_DB is not set";
        return false;
    }
    // Opened under the mutex: the first requests of a new process wait for one open, not race.
    store = openStore(location, StoreAccess::serve, error);
    return store != nullptr;
}

void SharedStore::submit(PendingSubmission& pending) {
    std::unique_lock lock(mutex);
    pending.answered = false;
    waiting.push_back(&pending);
    // Whoever finds the store free writes everything waiting, its own submission among it; the
    // others wait for that batch, or for the next, to end.
    while (!pending.answered) {
        if (busy) {
            turnEnded.wait(lock);
            continue;
        }
        std::vector<PendingSubmission*> batch;
        batch.swap(waiting);
        takeTurn(lock, [&] { store->submitAll(batch); });
        for (PendingSubmission* stored : batch) stored->answered = true;  // still under the mutex
    }
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
