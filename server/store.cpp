// store.cpp: what every store shares: choosing the store from its location, one submission as a
// batch of its own, and storing replays one after the other for a store that cannot do better.
#include "store.h"

SubmitResult RankingStore::submit(const Submission& submission, std::string_view address, std::int64_t now,
                                  const RateLimit& limit, std::vector<RankingEntry>& topTen, bool verifiedOnly) {
    PendingSubmission one{submission, std::string(address), now, limit, verifiedOnly, {}, {}, {}, {}};
    submitAll({&one});
    topTen = std::move(one.topTen);
    error = one.error;
    return one.result;
}

void RankingStore::storeReplays(const std::vector<PendingReplay*>& batch) {
    for (PendingReplay* pending : batch) {
        pending->outcome = storeReplay(pending->replay, pending->address, pending->now, pending->limit,
                                       pending->retryAfter);
        pending->error = pending->outcome == ReplayOutcome::storageFailed ? lastError() : std::string();
    }
}

const char* const newerRankingText = "the ranking was written by a newer version of the program";
const char* const notRankingText = "not a Pilaro ranking";
const char* const emptyRankingText = "not a Pilaro ranking (it is empty)";

bool isPostgresLocation(const std::string& location) {
    return location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0;
}

std::unique_ptr<RankingStore> openStore(const std::string& location, StoreAccess access, std::string& error) {
    if (isPostgresLocation(location)) return openPostgresStore(location, access, error);
    return openSqliteStore(location, access, error);
}
