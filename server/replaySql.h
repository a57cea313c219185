// replaySql.h: the replays' rules as SQL that both stores run as it is (SQLite takes $1 as a
// parameter named "$1", numbered in order of first use, as PostgreSQL numbers them).
#pragma once

// A replay waits for its submission (not kept) until replayMatchSeconds have passed; one behind a
// name's best entry is kept, without its address, for as long as that entry is the name's best.
// The waiting ones of an address count against the rate limit.
inline const char* const sqlReplaysFromAddress =
    "SELECT count(*) FROM replays WHERE address = $1 AND at > $2 AND NOT kept";
inline const char* const sqlOldestReplayCounted =
    "SELECT at FROM replays WHERE address = $1 AND at > $2 AND NOT kept ORDER BY at LIMIT 1 OFFSET $3";
inline const char* const sqlReplayName = "SELECT name FROM replays WHERE key = $1";
// The same recording sent again by its name's player waits again from now.
inline const char* const sqlInsertReplay =
    "INSERT INTO replays(key, name, score, address, at, kept, recording) VALUES ($1, $2, $3, $4, $5, false, $6) "
    "ON CONFLICT (key) DO UPDATE SET address = excluded.address, at = excluded.at "
    "WHERE NOT replays.kept AND replays.name = excluded.name";
// A few that waited in vain go with every replay, as the history's rows do: found in the waiting
// replays' index without sorting them (nearly all are younger than the bound), then deleted by key.
// SQLite runs the two apart: the subquery of one statement cost it two temporary tables, as much as
// all the rest of a replay's rows.
#define PILARO_EXPIRED_REPLAYS "SELECT key FROM replays WHERE NOT kept AND at <= $1 LIMIT 4"
inline const char* const sqlExpiredReplays = PILARO_EXPIRED_REPLAYS;
inline const char* const sqlPruneReplays = "DELETE FROM replays WHERE key IN (" PILARO_EXPIRED_REPLAYS ")";
inline const char* const sqlMatchReplay =
    "SELECT key FROM replays WHERE name = $1 AND score = $2 AND address = $3 AND at > $4 AND NOT kept "
    "ORDER BY at DESC LIMIT 1";
inline const char* const sqlKeepReplay = "UPDATE replays SET kept = true, address = '' WHERE key = $1";
inline const char* const sqlDropReplay = "DELETE FROM replays WHERE key = $1";
inline const char* const sqlReadReplay = "SELECT name, score, recording FROM replays WHERE key = $1 AND kept";
inline const char* const sqlReadReplays =
    "SELECT key, name, score, recording FROM replays WHERE kept AND key > $1 ORDER BY key LIMIT $2";
