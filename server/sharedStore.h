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

// Opened on first use and kept open. One thread of the store's own does every write: request
// threads queue their work and wait for it to be answered. Submissions that arrive while a batch
// is being written wait, and go together in the next batch: one transaction and one flush for all
// of them, where two processes taking turns at the write lock spent most of their time handing it
// over. Each is answered only once its batch is committed and on the disk. The writer starts the
// next batch as soon as one ends, where a request thread would first have to be woken for it.
class SharedStore {
public:
    ~SharedStore();
    // Opens the store at `location` and starts its writer, for the first caller; false (and why)
    // when either cannot be done. Every other call needs the store open.
    bool open(const std::string& location, std::string& error);
    // Stores one submission with whatever else is waiting.
    void submit(PendingSubmission& pending);
    // Stores one replay with the other replays waiting, in a turn of their own before the next
    // batch of submissions.
    void storeReplay(PendingReplay& pending);
    // Runs `use` on the writer's connection, before the next batch (a short turn is not held up
    // behind batch after batch).
    void exclusive(const std::function<void(RankingStore&)>& use);
    // Runs `use` for a page read, on a read-only connection of its own, which never waits for the
    // batches nor holds them up (an SQLite file's WAL readers and its writer do not block each
    // other), one connection to each page read at a time. Where there is none to be had (":memory:",
    // a PostgreSQL process's second read at once), it reads with `exclusive`.
    void read(const std::function<void(RankingStore&)>& use);

    Metrics metrics;  // the process's counters, its batches' among them

private:
    struct Turn;  // a caller of `exclusive`, waiting
    // A request thread's work in a queue, and the condition "answered" on which that thread alone
    // waits: a turn of the writer wakes the threads it answered, not every waiting one (which then
    // took the mutex one after the other, to find most of them that theirs was not answered yet).
    template <typename Work>
    struct Waiting;
    // The writer's loop: whatever waits, in turns, until the store is closed.
    void writeWaiting();
    // Takes everything in `queue`, runs `write` on it with the mutex released, and wakes its threads.
    template <typename Work, typename Write>
    void answerAll(std::unique_lock<std::mutex>& lock, std::vector<Waiting<Work>*>& queue, const Write& write);
    // Queues `work` for the writer and waits until it is answered.
    template <typename Work>
    void waitForAnswer(std::vector<Waiting<Work>*>& queue, Work& work);

    std::mutex mutex;                     // guards the queues and `closing`
    std::condition_variable workWaiting;  // for the writer: something queued, or closing
    std::vector<Waiting<Turn>*> turns;
    std::vector<Waiting<PendingReplay>*> replays;
    std::vector<Waiting<PendingSubmission>*> submissions;
    bool closing = false;
    std::unique_ptr<RankingStore> store;  // the writer's alone once it runs
    std::thread writer;

    std::string location;          // where the store was opened
    std::mutex readersMutex;       // guards the readers' fields, never held with `mutex`
    std::size_t readersAtMost = 0;  // reading connections of its own, at most (set by open)
    std::size_t readersOpen = 0;
    std::vector<std::unique_ptr<RankingStore>> idleReaders;
};
