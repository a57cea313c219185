// store.cpp: what every store shares: choosing the store from its location, and storing a batch
// one submission (or replay) after the other for a store that cannot do better.
#include "store.h"

void RankingStore::submitAll(const std::vector<PendingSubmission*>& batch) {
    for (PendingSubmission* pending : batch) {
        pending->result = submit(pending->submission, pending->address, pending->now, pending->limit, pending->topTen,
                                 pending->verifiedOnly);
        pending->error = pending->result.outcome == SubmitOutcome::storageFailed ? lastError() : std::string();
    }
}

void RankingStore::storeReplays(const std::vector<PendingReplay*>& batch) {
    for (PendingReplay* pending : batch) {
        pending->outcome = storeReplay(pending->replay, pending->address, pending->now, pending->limit,
                                       pending->retryAfter);
        pending->error = pending->outcome == ReplayOutcome::storageFailed ? lastError() : std::string();
    }
}

bool isPostgresLocation(const std::string& location) {
    return location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0;
}

std::unique_ptr<RankingStore> openStore(const std::string& location, StoreAccess access, std::string& error) {
    if (isPostgresLocation(location)) return openPostgresStore(location, access, error);
    return openSqliteStore(location, access, error);
}
