// moderationSql.h: the operator's moderation as SQL that both stores run as it is (the parameters
// as in replaySql.h). A hidden entry leaves `names` for `hidden`, so that the page, the places and
// the place counts, which know only `names`, leave it out with no rule of their own; a refused
// name is kept in its folded form (foldedName); `audit` holds every administrator's action.
#pragma once

// The audit table's word for each Moderation, in its order.
inline const char* const moderationActions[] = {"hide", "unhide", "refuse", "allow"};

inline const char* const sqlHideEntry = "DELETE FROM names WHERE name = $1 RETURNING score, submission, replay";
inline const char* const sqlKeepHidden =
    "INSERT INTO hidden(name, score, submission, replay, reason, at) VALUES ($1, $2, $3, $4, $5, $6) "
    "ON CONFLICT (name) DO UPDATE SET score = excluded.score, submission = excluded.submission, "
    "replay = excluded.replay, reason = excluded.reason, at = excluded.at";
inline const char* const sqlUnhideEntry = "DELETE FROM hidden WHERE name = $1 RETURNING score, submission, replay";
// A name that came back meanwhile (its submission passed the check just before the hide) keeps
// its newer entry; the hidden one then goes.
inline const char* const sqlShowAgain =
    "INSERT INTO names(name, score, submission, replay) VALUES ($1, $2, $3, $4) ON CONFLICT (name) DO NOTHING";
inline const char* const sqlRefuseName =
    "INSERT INTO refused(folded, name, at) VALUES ($1, $2, $3) ON CONFLICT (folded) DO NOTHING";
inline const char* const sqlAllowName = "DELETE FROM refused WHERE folded = $1";
inline const char* const sqlLogAction = "INSERT INTO audit(at, action, name, reason) VALUES ($1, $2, $3, $4)";
inline const char* const sqlReadLog = "SELECT at, action, name, reason FROM audit ORDER BY id";
// Whether a submission's name is held back: its entry hidden, or its folded form refused.
inline const char* const sqlHeldBack =
    "SELECT (SELECT count(*) FROM hidden WHERE name = $1) + (SELECT count(*) FROM refused WHERE folded = $2)";
