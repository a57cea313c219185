// sharedStore.cpp: the batching of one process's submissions (see sharedStore.h).
#include "sharedStore.h"

#include <chrono>
#include <cstdint>
#include <system_error>

struct SharedStore::Turn {
    const std::function<void(RankingStore&)>& use;
};

template <typename Work>
struct SharedStore::Waiting {
    explicit Waiting(Work& work) : work(work) {}
    Work& work;
    std::condition_variable answered;  // for its thread alone
    bool done = false;                 // under the mutex
};

bool SharedStore::open(const std::string& location, std::string& error) {
    std::unique_lock lock(mutex);
    if (writer.joinable()) return true;
    if (location.empty()) {
        error = "PILARO_RANKING_DB is not set";
        return false;
    }
    // Opened under the mutex: the first requests of a new process wait for one open, not race.
    if (store == nullptr) store = openStore(location, StoreAccess::serve, error);
    if (store == nullptr) return false;
    this->location = location;
    // ":memory:" is a store of the writer's connection alone. A reading connection of a file
    // costs a file handle; one of a PostgreSQL server takes one of its connection slots (a hundred
    // by default) from every ranking process of every web host, so there one to each process.
    readersAtMost = location == ":memory:" ? 0 : isPostgresLocation(location) ? 1 : SIZE_MAX;
    // Without its writer nothing would be stored: a host that refuses the thread gets 503s (and
    // the next request tries again), never a second way of writing.
    try {
        writer = std::thread(&SharedStore::writeWaiting, this);
    } catch (const std::system_error& e) {
        error = std::string("cannot start the store's writer thread: ") + e.what();
        return false;
    }
    return true;
}

SharedStore::~SharedStore() {
    {
        std::lock_guard lock(mutex);
        closing = true;
    }
    workWaiting.notify_one();
    if (writer.joinable()) writer.join();
}

void SharedStore::read(const std::function<void(RankingStore&)>& use) {
    std::unique_ptr<RankingStore> reader;
    bool mayOpen = false;
    {
        std::lock_guard lock(readersMutex);
        if (!idleReaders.empty()) {
            reader = std::move(idleReaders.back());
            idleReaders.pop_back();
        } else if (readersOpen < readersAtMost) {
            mayOpen = true;
            ++readersOpen;
        }
    }
    if (mayOpen) {
        std::string error;
        reader = openStore(location, StoreAccess::readOnly, error);
        std::lock_guard lock(readersMutex);
        if (reader == nullptr) --readersOpen;
    }
    // None to be had: read on the writer's connection, rather than fail or wait for a reader.
    if (reader == nullptr) return exclusive(use);
    use(*reader);
    std::lock_guard lock(readersMutex);
    idleReaders.push_back(std::move(reader));
}

void SharedStore::submit(PendingSubmission& pending) { waitForAnswer(submissions, pending); }

void SharedStore::storeReplay(PendingReplay& pending) { waitForAnswer(replays, pending); }

void SharedStore::exclusive(const std::function<void(RankingStore&)>& use) {
    Turn turn{use};
    waitForAnswer(turns, turn);
}

template <typename Work>
void SharedStore::waitForAnswer(std::vector<Waiting<Work>*>& queue, Work& work) {
    Waiting<Work> waiting{work};
    std::unique_lock lock(mutex);
    queue.push_back(&waiting);
    workWaiting.notify_one();
    waiting.answered.wait(lock, [&] { return waiting.done; });
}

template <typename Work, typename Write>
void SharedStore::answerAll(std::unique_lock<std::mutex>& lock, std::vector<Waiting<Work>*>& queue, const Write& write) {
    std::vector<Waiting<Work>*> taken;
    taken.swap(queue);
    lock.unlock();
    std::vector<Work*> batch;
    batch.reserve(taken.size());
    for (Waiting<Work>* each : taken) batch.push_back(&each->work);
    write(batch);
    lock.lock();
    // Woken under the mutex: a waiting thread returns, and its condition goes, as soon as it sees
    // its answer. The writer lets the mutex go a moment later, before a woken thread runs.
    for (Waiting<Work>* each : taken) {
        each->done = true;
        each->answered.notify_one();
    }
}

void SharedStore::writeWaiting() {
    std::unique_lock lock(mutex);
    for (;;) {
        workWaiting.wait(lock,
                         [this] { return closing || !turns.empty() || !replays.empty() || !submissions.empty(); });
        // In this order: an exclusive turn is short, and with submissions arriving all along it
        // waited for ever behind them. Replays are short too (no flush of their own), and the
        // submissions their games send next then find the next batch, not the one after it (in
        // turns of their own, unbatched, they waited for every batch's flush: submissions with
        // replays came at half the rate).
        if (!turns.empty()) {
            answerAll(lock, turns, [this](const std::vector<Turn*>& taken) {
                for (Turn* turn : taken) turn->use(*store);
            });
        } else if (!replays.empty()) {
            answerAll(lock, replays, [this](const std::vector<PendingReplay*>& batch) { store->storeReplays(batch); });
        } else if (!submissions.empty()) {
            answerAll(lock, submissions, [this](const std::vector<PendingSubmission*>& batch) {
                auto start = std::chrono::steady_clock::now();
                store->submitAll(batch);
                std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
                metrics.countBatch(batch.size(), took.count());
            });
        } else {
            return;  // closing, with nothing left to answer
        }
    }
}
