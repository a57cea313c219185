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
    // Stores one replay with the other replays waiting, in a turn of their own before the next
    // batch of submissions.
    void storeReplay(PendingReplay& pending);
    // Runs `use` on the store with nothing else using it, before the next batch (a replay's short
    // turn is not held up behind batch after batch); the store must be open.
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
    // Waits until `answered`, starting the writer if there is none (or writing when there can be none).
    void waitForAnswer(std::unique_lock<std::mutex>& lock, const bool& answered);
    // Writes the replays waiting as one batch, else the submissions waiting, and answers them.
    void writeWaiting(std::unique_lock<std::mutex>& lock);
    // Runs `work` with the store marked busy and the mutex released; returns with it held again.
    void takeTurn(std::unique_lock<std::mutex>& lock, const std::function<void()>& work);

    std::mutex mutex;
    std::condition_variable turnEnded;
    bool busy = false;  // someone is using the store, without the mutex held
    unsigned exclusiveWaiting = 0;  // callers of `exclusive` waiting for their turn, which comes first
    std::unique_ptr<RankingStore> store;
    std::vector<PendingSubmission*> waiting;
    std::vector<PendingReplay*> waitingReplays;
    std::thread writer;     // started with the first submission
    bool closing = false;
    std::string location;     // where the store was opened
    std::mutex readTurn;      // the page reads' own, never held with `mutex`
    std::unique_ptr<RankingStore> reader;
};
