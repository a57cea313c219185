// sharedStore.h: the store of one ranking process, shared by its request threads.
#pragma once

#include "metrics.h"
#include "store.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Opened on first use and kept open. Submissions that arrive while a batch is being written wait,
// and go together in the next batch: one transaction and one flush for all of them, where two
// processes taking turns at the write lock spent most of their time handing it over. Each is
// answered only once its batch is committed and on the disk. One thread of the store's own writes
// the batches, one after the other, for as long as submissions wait: it starts the next as soon as
// one ends, where a request thread would first have to be woken for it.
class SharedStore {
public:
    ~SharedStore();
    // Opens the store at `location` for the first caller; false (and why) when it cannot.
    bool open(const std::string& location, std::string& error);
    // Stores one submission with whatever else is waiting.
    void submit(PendingSubmission& pending);
    // Runs `use` on the store with nothing else using it; the store must be open.
    void exclusive(const std::function<void(RankingStore&)>& use);
    // Runs `use` for a page read: an SQLite file is read on a read-only connection of its own,
    // which never waits for the batches nor holds them up (WAL readers and the writer do not
    // block each other); page reads take turns on it. Other stores read with `exclusive`. The
    // store must be open.
    void read(const std::function<void(RankingStore&)>& use);

    Metrics metrics;  // the process's counters, its batches' among them

private:
    // The writer's loop: each batch waiting, until the store is closed.
    void writeBatches();
    // Writes everything waiting as one batch and answers it.
    void writeWaiting(std::unique_lock<std::mutex>& lock);
    // Runs `work` with the store marked busy and the mutex released; returns with it held again.
    void takeTurn(std::unique_lock<std::mutex>& lock, const std::function<void()>& work);

    std::mutex mutex;
    std::condition_variable turnEnded;
    bool busy = false;  // someone is using the store, without the mutex held
    std::unique_ptr<RankingStore> store;
    std::vector<PendingSubmission*> waiting;
    std::thread writer;     // started with the first submission
    bool closing = false;
    std::string location;     // where the store was opened
    std::mutex readTurn;      // the page reads' own, never held with `mutex`
    std::unique_ptr<RankingStore> reader;
};
