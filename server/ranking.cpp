// ranking.cpp: parsing submissions, the SQLite store of the ranking, and the reply and page texts.
#include "ranking.h"

#include "cp932.h"

#include <sqlite3.h>

#include <unistd.h>

namespace {

// The schema's version in PRAGMA user_version; 0 is a new, empty file.
constexpr int schemaVersion = 1;

const char* const schemaSql =
    "CREATE TABLE IF NOT EXISTS submissions("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  name BLOB NOT NULL,"
    "  score INTEGER NOT NULL,"
    "  address TEXT NOT NULL,"
    "  at INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS submissionsByAddress ON submissions(address, at);"
    // One row per name: its best score and the submission that first reached it, which decides
    // ties (the earlier one stays ahead).
    "CREATE TABLE IF NOT EXISTS names("
    "  name BLOB PRIMARY KEY,"
    "  score INTEGER NOT NULL,"
    "  submission INTEGER NOT NULL) WITHOUT ROWID;"
    "CREATE INDEX IF NOT EXISTS namesByPlace ON names(score DESC, submission);"
    "PRAGMA user_version = 1;";

const char* const sqlRecentFromAddress = "SELECT COUNT(*) FROM submissions WHERE address = ?1 AND at > ?2";
const char* const sqlInsertSubmission = "INSERT INTO submissions(name, score, address, at) VALUES(?1, ?2, ?3, ?4)";
const char* const sqlSelectName = "SELECT score, submission FROM names WHERE name = ?1";
const char* const sqlInsertName = "INSERT INTO names(name, score, submission) VALUES(?1, ?2, ?3)";
const char* const sqlUpdateName = "UPDATE names SET score = ?2, submission = ?3 WHERE name = ?1";
const char* const sqlCountAbove = "SELECT COUNT(*) FROM names WHERE score > ?1";
const char* const sqlCountTiedBefore = "SELECT COUNT(*) FROM names WHERE score = ?1 AND submission < ?2";
const char* const sqlReadRanking =
    "SELECT name, score FROM names ORDER BY score DESC, submission ASC LIMIT ?1 OFFSET ?2";
const char* const sqlCountNames = "SELECT COUNT(*) FROM names";
const char* const sqlCountSubmissions = "SELECT COUNT(*) FROM submissions";
const char* const sqlRemoveName = "DELETE FROM names WHERE name = ?1";

// A cached statement, reset and unbound when the scope that uses it ends.
class Use {
public:
    Use(RankingDb& ranking, const char* sql) {
        for (auto& [text, stmt] : ranking.statements)
            if (text == sql) statement = stmt;
        if (statement == nullptr) {
            if (sqlite3_prepare_v3(ranking.db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK)
                statement = nullptr;
            else
                ranking.statements.emplace_back(sql, statement);
        }
    }
    ~Use() {
        if (statement != nullptr) {
            sqlite3_reset(statement);
            sqlite3_clear_bindings(statement);
        }
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    sqlite3_stmt* statement = nullptr;
};

bool bindBlob(sqlite3_stmt* s, int index, std::string_view bytes) {
    // A zero-length blob still has to be a blob, not NULL: pass a valid pointer.
    return sqlite3_bind_blob(s, index, bytes.empty() ? "" : bytes.data(), static_cast<int>(bytes.size()),
                             SQLITE_TRANSIENT) == SQLITE_OK;
}

// Runs a statement that yields one integer (a count); false on any error.
bool singleInteger(Use& use, std::int64_t& out) {
    if (use.statement == nullptr || sqlite3_step(use.statement) != SQLITE_ROW) return false;
    out = sqlite3_column_int64(use.statement, 0);
    return true;
}

bool execute(RankingDb& ranking, const char* sql) {
    return sqlite3_exec(ranking.db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Within the caller's transaction: the place of a name with best `score` reached by `submission`.
bool placeOf(RankingDb& ranking, std::uint32_t score, std::int64_t submission, std::uint32_t& place) {
    Use above(ranking, sqlCountAbove);
    Use tied(ranking, sqlCountTiedBefore);
    if (above.statement == nullptr || tied.statement == nullptr) return false;
    sqlite3_bind_int64(above.statement, 1, score);
    sqlite3_bind_int64(tied.statement, 1, score);
    sqlite3_bind_int64(tied.statement, 2, submission);
    std::int64_t higher = 0;
    std::int64_t earlier = 0;
    if (!singleInteger(above, higher) || !singleInteger(tied, earlier)) return false;
    place = static_cast<std::uint32_t>(higher + earlier + 1);
    return true;
}

// The body of the write transaction; false leaves the caller to roll back.
bool storeSubmission(RankingDb& ranking, const Submission& submission, std::string_view address, std::int64_t now,
                     SubmitResult& result) {
    std::int64_t id = 0;
    {
        Use insert(ranking, sqlInsertSubmission);
        if (insert.statement == nullptr) return false;
        bindBlob(insert.statement, 1, submission.name);
        sqlite3_bind_int64(insert.statement, 2, submission.score);
        sqlite3_bind_text(insert.statement, 3, address.data(), static_cast<int>(address.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert.statement, 4, now);
        if (sqlite3_step(insert.statement) != SQLITE_DONE) return false;
        id = sqlite3_last_insert_rowid(ranking.db);
    }
    std::uint32_t best = submission.score;
    std::int64_t bestSubmission = id;
    bool known = false;
    {
        Use select(ranking, sqlSelectName);
        if (select.statement == nullptr) return false;
        bindBlob(select.statement, 1, submission.name);
        int rc = sqlite3_step(select.statement);
        if (rc == SQLITE_ROW) {
            known = true;
            std::uint32_t stored = static_cast<std::uint32_t>(sqlite3_column_int64(select.statement, 0));
            if (stored >= submission.score) {
                best = stored;
                bestSubmission = sqlite3_column_int64(select.statement, 1);
            }
        } else if (rc != SQLITE_DONE) {
            return false;
        }
    }
    result.improved = bestSubmission == id;
    if (result.improved) {
        Use write(ranking, known ? sqlUpdateName : sqlInsertName);
        if (write.statement == nullptr) return false;
        bindBlob(write.statement, 1, submission.name);
        sqlite3_bind_int64(write.statement, 2, submission.score);
        sqlite3_bind_int64(write.statement, 3, id);
        if (sqlite3_step(write.statement) != SQLITE_DONE) return false;
    }
    result.bestScore = best;
    return placeOf(ranking, best, bestSubmission, result.place);
}

// The busy time-out: about five seconds in all. A submission holds the write lock for well under
// a millisecond, so short naps at first keep the wait close to that; SQLite's own time-out handler
// sleeps 1, 2, 5, 10 ms and more from the start, which shows up as tens of milliseconds of latency
// whenever two workers meet.
int waitForLock(void*, int attempts) {
    constexpr int shortNaps = 50;
    if (attempts >= shortNaps + 4900) return 0;
    usleep(attempts < shortNaps ? 100 : 1000);
    return 1;
}

void appendNumber(std::string& out, std::uint64_t value) { out += std::to_string(value); }

}  // namespace

BodyError parseSubmission(std::string_view body, Submission& out) {
    std::size_t split = body.rfind('_');
    if (split == std::string_view::npos) return BodyError::noSeparator;
    std::string_view name = body.substr(0, split);
    std::string_view digits = body.substr(split + 1);
    if (name.empty() || name.size() > maxNameBytes) return BodyError::nameLength;
    if (hasControlCharacter(name)) return BodyError::nameControl;
    if (!isValidCp932(name)) return BodyError::nameEncoding;
    if (digits.empty() || digits.size() > maxScoreDigits) return BodyError::score;
    std::uint64_t score = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return BodyError::score;
        score = score * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (score > 0xFFFFFFFFull) return BodyError::score;
    out.name.assign(name);
    out.score = static_cast<std::uint32_t>(score);
    return BodyError::none;
}

std::string bodyErrorText(BodyError error) {
    switch (error) {
    case BodyError::none: return {};
    case BodyError::noSeparator: return "送信内容の形式が正しくありません";
    case BodyError::nameLength: return "名前は1から10バイトにしてください";
    case BodyError::nameEncoding: return "名前に読めない文字があります";
    case BodyError::nameControl: return "名前に制御文字は使えません";
    case BodyError::score: return "スコアが正しくありません";
    }
    return {};
}

bool openRanking(RankingDb& ranking, const std::string& path, std::string& error) {
    closeRanking(ranking);
    if (sqlite3_open_v2(path.c_str(), &ranking.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        error = ranking.db != nullptr ? sqlite3_errmsg(ranking.db) : "out of memory";
        closeRanking(ranking);
        return false;
    }
    // Several processes (FastCGI workers, CGI runs, the admin command) share the file: wait for a
    // writer rather than fail at once.
    sqlite3_busy_handler(ranking.db, waitForLock, nullptr);
    // WAL lets the page be read while a submission is written. NORMAL sync keeps every committed
    // transaction when a process is killed; only a crash of the whole machine may lose the latest.
    bool ok = execute(ranking, "PRAGMA journal_mode = WAL") && execute(ranking, "PRAGMA synchronous = NORMAL");
    int version = -1;
    if (ok) {
        sqlite3_stmt* s = nullptr;
        ok = sqlite3_prepare_v2(ranking.db, "PRAGMA user_version", -1, &s, nullptr) == SQLITE_OK &&
             sqlite3_step(s) == SQLITE_ROW;
        if (ok) version = sqlite3_column_int(s, 0);
        sqlite3_finalize(s);
    }
    if (ok && version != schemaVersion) {
        ok = execute(ranking, "BEGIN IMMEDIATE");
        if (ok) {
            ok = execute(ranking, schemaSql) && execute(ranking, "COMMIT");
            if (!ok) execute(ranking, "ROLLBACK");
        }
    }
    if (!ok) {
        error = sqlite3_errmsg(ranking.db);
        closeRanking(ranking);
        return false;
    }
    return true;
}

void closeRanking(RankingDb& ranking) {
    for (auto& entry : ranking.statements) sqlite3_finalize(entry.second);
    ranking.statements.clear();
    if (ranking.db != nullptr) sqlite3_close(ranking.db);
    ranking.db = nullptr;
}

SubmitResult submitScore(RankingDb& ranking, const Submission& submission, std::string_view address,
                         std::int64_t now, const RateLimit& limit) {
    SubmitResult result;
    result.outcome = SubmitOutcome::storageFailed;
    // IMMEDIATE takes the write lock first, so the rate count and the writes see one state and
    // two writers never deadlock on a lock upgrade.
    if (!execute(ranking, "BEGIN IMMEDIATE")) return result;
    if (limit.count > 0) {
        Use recent(ranking, sqlRecentFromAddress);
        std::int64_t made = 0;
        if (recent.statement != nullptr) {
            sqlite3_bind_text(recent.statement, 1, address.data(), static_cast<int>(address.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int64(recent.statement, 2, now - static_cast<std::int64_t>(limit.seconds));
        }
        if (!singleInteger(recent, made)) {
            execute(ranking, "ROLLBACK");
            return result;
        }
        if (made >= static_cast<std::int64_t>(limit.count)) {
            execute(ranking, "ROLLBACK");
            result.outcome = SubmitOutcome::rateLimited;
            return result;
        }
    }
    if (!storeSubmission(ranking, submission, address, now, result) || !execute(ranking, "COMMIT")) {
        // A failed COMMIT (a full disk) may have rolled back already; a second ROLLBACK is harmless.
        execute(ranking, "ROLLBACK");
        result = SubmitResult{};
        return result;
    }
    result.outcome = SubmitOutcome::accepted;
    return result;
}

bool readRanking(RankingDb& ranking, std::uint32_t offset, std::uint32_t count, std::vector<RankingEntry>& out) {
    out.clear();
    Use read(ranking, sqlReadRanking);
    if (read.statement == nullptr) return false;
    sqlite3_bind_int64(read.statement, 1, count);
    sqlite3_bind_int64(read.statement, 2, offset);
    int rc;
    while ((rc = sqlite3_step(read.statement)) == SQLITE_ROW) {
        RankingEntry entry;
        entry.place = offset + static_cast<std::uint32_t>(out.size()) + 1;
        const void* name = sqlite3_column_blob(read.statement, 0);
        int size = sqlite3_column_bytes(read.statement, 0);
        if (name != nullptr) entry.name.assign(static_cast<const char*>(name), static_cast<std::size_t>(size));
        entry.score = static_cast<std::uint32_t>(sqlite3_column_int64(read.statement, 1));
        out.push_back(std::move(entry));
    }
    return rc == SQLITE_DONE;
}

bool countNames(RankingDb& ranking, std::uint32_t& out) {
    Use count(ranking, sqlCountNames);
    std::int64_t n = 0;
    if (!singleInteger(count, n)) return false;
    out = static_cast<std::uint32_t>(n);
    return true;
}

bool countSubmissions(RankingDb& ranking, std::uint64_t& out) {
    Use count(ranking, sqlCountSubmissions);
    std::int64_t n = 0;
    if (!singleInteger(count, n)) return false;
    out = static_cast<std::uint64_t>(n);
    return true;
}

bool removeName(RankingDb& ranking, std::string_view cp932Name, bool& found) {
    found = false;
    Use remove(ranking, sqlRemoveName);
    if (remove.statement == nullptr) return false;
    bindBlob(remove.statement, 1, cp932Name);
    if (sqlite3_step(remove.statement) != SQLITE_DONE) return false;
    found = sqlite3_changes(ranking.db) > 0;
    return true;
}

bool checkIntegrity(RankingDb& ranking, std::string& report) {
    report.clear();
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(ranking.db, "PRAGMA integrity_check", -1, &s, nullptr) != SQLITE_OK) {
        report = sqlite3_errmsg(ranking.db);
        return false;
    }
    while (sqlite3_step(s) == SQLITE_ROW) {
        if (!report.empty()) report += '\n';
        report += reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    }
    sqlite3_finalize(s);
    return report == "ok";
}

std::string gameReply(const SubmitResult& result, const std::vector<RankingEntry>& topTen, std::string_view pageUrl) {
    std::string text = "あなたは" + std::to_string(result.place) + "位です\n";
    if (!result.improved) text += "(これまでの最高 " + std::to_string(result.bestScore) + ")\n";
    std::string reply = cp932Text(text);
    for (const RankingEntry& entry : topTen) {
        appendNumber(reply, entry.place);
        reply += cp932Text("位 ");
        // The game shows the reply only up to its first "<", so a "<" in a name would cut the
        // list short: it becomes the full-width one. 0x3C is never a trail byte, so this replaces
        // only whole characters.
        for (char c : entry.name) {
            if (c == '<')
                reply += "\x81\x83";
            else
                reply += c;
        }
        reply += ' ';
        appendNumber(reply, entry.score);
        reply += '\n';
    }
    reply += "<a href=\"";
    reply += htmlEscape(pageUrl);
    reply += "\">";
    reply += cp932Text("ランキング");
    reply += "</a>\n";
    return reply;
}

std::string htmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string rankingPage(const std::vector<RankingEntry>& entries, std::uint32_t page, std::uint32_t pageCount,
                        std::uint32_t nameCount, std::string_view pageUrl) {
    std::string html =
        "<!DOCTYPE html>\n"
        "<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<title>Pilaro ランキング</title>\n"
        "<style>\n"
        "body{font-family:sans-serif;margin:0 auto;padding:1em;max-width:36em;line-height:1.5}\n"
        "h1{font-size:1.4em}\n"
        "table{border-collapse:collapse;width:100%}\n"
        "th,td{padding:.3em .5em;border-bottom:1px solid #ccc;text-align:left}\n"
        "td.place,td.score,th.score{text-align:right;white-space:nowrap}\n"
        "td.name{word-break:break-all}\n"
        "nav{margin:1em 0;display:flex;justify-content:space-between}\n"
        "</style>\n</head>\n<body>\n<h1>Pilaro ランキング</h1>\n";
    html += "<p><a href=\"/play/\">ブラウザで遊ぶ</a></p>\n";
    html += "<p>" + std::to_string(nameCount) + " 人</p>\n";
    if (entries.empty()) {
        html += "<p>このページにはまだ記録がありません。</p>\n";
    } else {
        html += "<table>\n<thead><tr><th>順位</th><th>名前</th><th class=\"score\">スコア</th></tr></thead>\n<tbody>\n";
        for (const RankingEntry& entry : entries) {
            html += "<tr><td class=\"place\">" + std::to_string(entry.place) + "</td><td class=\"name\">" +
                    htmlEscape(decodeCp932(entry.name)) + "</td><td class=\"score\">" + std::to_string(entry.score) +
                    "</td></tr>\n";
        }
        html += "</tbody>\n</table>\n";
    }
    std::string base = htmlEscape(pageUrl);
    html += "<nav>";
    if (page > 1)
        html += "<a href=\"" + base + "?page=" + std::to_string(page - 1) + "\">&larr; 前へ</a>";
    else
        html += "<span></span>";
    html += "<span>" + std::to_string(page) + " / " + std::to_string(pageCount) + "</span>";
    if (page < pageCount)
        html += "<a href=\"" + base + "?page=" + std::to_string(page + 1) + "\">次へ &rarr;</a>";
    else
        html += "<span></span>";
    html += "</nav>\n</body>\n</html>\n";
    return html;
}
