// support.h: helpers for the ranking's tests: replies read as the game reads them and the stores to
// test against; shell commands, files and the server under lighttpd come from localRanking.h, which
// the games' tests share. (The CGI runs are their test's own.)
#pragma once

#include "localRanking.h"
#include "store.h"

#include <cstdint>
#include <string>
#include <vector>

struct RawReply {
    int status = 0;  // 0 when the reply is not one: then all of it is in `headers`
    std::string headers, body;
    int exitStatus = 0;  // a CGI run's: the program's
};

// An HTTP reply or a CGI program's output, split at its blank line when it starts with `start`
// (then its status follows the first blank).
RawReply parsedReply(const std::string& all, const char* start);
// What the game's done box shows of a reply (in UTF-8 here), before its own fixed sentence: the
// text after any leading "<", up to the next "<".
std::string doneText(const std::string& reply);
// Runs SQL on a store behind its back, as another program or a newer version would.
bool rawSql(const std::string& location, const std::string& sql);

// A fresh, empty store for one test: "sqlite" (a file in a temporary folder) or "postgresql" (a
// schema of its own in the test run's throw-away server). Empty when PostgreSQL is not there.
std::string freshStore(const std::string& kind);
extern const char* const postgresMissing;  // the skip line

// Submits `count` names, prefix0, prefix1, ..., at the time `now`, as one batch; returns them
// answered. Their scores are 10, or spread where `spread` (the i-th 10 + i * 7919 % 65536: prefixes
// that differ at the low levels of the place counts and meet at the high ones).
std::vector<PendingSubmission> submitBatch(RankingStore& store, const std::string& prefix, int count,
                                           std::int64_t now = 1000, bool spread = false);

// Checks the store's consistency and that each of `names` is ranked; returns the names ranked.
std::uint64_t expectConsistentHolding(const std::string& location, const std::vector<std::string>& names);
