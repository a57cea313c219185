/* A ranking store as the last release before the PostgreSQL store's names wrote it (SQLite schema 7,
   its own .dump, rows trimmed): a name with today's and this week's entries, a hidden and a refused
   name, their audit lines. */
CREATE TABLE submissions(  id INTEGER PRIMARY KEY AUTOINCREMENT,  name BLOB NOT NULL,  score INTEGER NOT NULL,  address TEXT NOT NULL,  at INTEGER NOT NULL);
CREATE TABLE names(  name BLOB PRIMARY KEY,  score INTEGER NOT NULL,  submission INTEGER NOT NULL, replay BLOB) WITHOUT ROWID;
CREATE TABLE placeCounts(  level INTEGER NOT NULL,  prefix INTEGER NOT NULL,  names INTEGER NOT NULL,  PRIMARY KEY(level, prefix)) WITHOUT ROWID;
CREATE TABLE replays(  key BLOB NOT NULL UNIQUE,  name BLOB NOT NULL,  score INTEGER NOT NULL,  address TEXT NOT NULL,  at INTEGER NOT NULL,  kept INTEGER NOT NULL,  recording BLOB NOT NULL);
CREATE TABLE hidden(  name BLOB PRIMARY KEY,  score INTEGER NOT NULL,  submission INTEGER NOT NULL,  replay BLOB,  reason TEXT NOT NULL,  at INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE refused(folded TEXT PRIMARY KEY, name TEXT NOT NULL, at INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE audit(  id INTEGER PRIMARY KEY,  at INTEGER NOT NULL,  action TEXT NOT NULL,  name TEXT NOT NULL,  reason TEXT NOT NULL);
CREATE TABLE periodBests(  period INTEGER NOT NULL, start INTEGER NOT NULL, name BLOB NOT NULL,  score INTEGER NOT NULL, submission INTEGER NOT NULL,  PRIMARY KEY(period, start, name)) WITHOUT ROWID;
CREATE TABLE periodCounts(  period INTEGER NOT NULL, start INTEGER NOT NULL, level INTEGER NOT NULL, prefix INTEGER NOT NULL,  names INTEGER NOT NULL, PRIMARY KEY(period, start, level, prefix)) WITHOUT ROWID;
CREATE INDEX submissionsByAddress ON submissions(address, at);
CREATE INDEX namesByPlace ON names(score DESC, submission);
CREATE TRIGGER placeCountsEmptied AFTER UPDATE OF names ON placeCounts WHEN NEW.names = 0 BEGIN DELETE FROM placeCounts WHERE level = NEW.level AND prefix = NEW.prefix; END;
CREATE INDEX replaysWaiting ON replays(address, at) WHERE NOT kept;
CREATE INDEX periodBestsByPlace ON periodBests(period, start, score DESC, submission);
CREATE TRIGGER periodCountsEmptied AFTER UPDATE OF names ON periodCounts WHEN NEW.names = 0 BEGIN DELETE FROM periodCounts WHERE period = NEW.period AND start = NEW.start AND level = NEW.level AND prefix = NEW.prefix; END;
CREATE TRIGGER periodBestAdded AFTER INSERT ON periodBests BEGIN INSERT INTO periodCounts(period, start, level, prefix, names) SELECT NEW.period, NEW.start, level, prefix, sum(delta) FROM (SELECT k AS level, NEW.score >> (4 * k) AS prefix, 1 AS delta FROM (SELECT 0 AS k UNION ALL SELECT 1 UNION ALL SELECT 2 UNION ALL SELECT 3 UNION ALL SELECT 4 UNION ALL SELECT 5 UNION ALL SELECT 6 UNION ALL SELECT 7) l) GROUP BY level, prefix HAVING sum(delta) <> 0 ON CONFLICT(period, start, level, prefix) DO UPDATE SET names = names + excluded.names; END;
CREATE TRIGGER periodBestRaised AFTER UPDATE OF score ON periodBests BEGIN INSERT INTO periodCounts(period, start, level, prefix, names) SELECT NEW.period, NEW.start, level, prefix, sum(delta) FROM (SELECT k AS level, NEW.score >> (4 * k) AS prefix, 1 AS delta FROM (SELECT 0 AS k UNION ALL SELECT 1 UNION ALL SELECT 2 UNION ALL SELECT 3 UNION ALL SELECT 4 UNION ALL SELECT 5 UNION ALL SELECT 6 UNION ALL SELECT 7) l UNION ALL SELECT k AS level, OLD.score >> (4 * k) AS prefix, -1 AS delta FROM (SELECT 0 AS k UNION ALL SELECT 1 UNION ALL SELECT 2 UNION ALL SELECT 3 UNION ALL SELECT 4 UNION ALL SELECT 5 UNION ALL SELECT 6 UNION ALL SELECT 7) l) GROUP BY level, prefix HAVING sum(delta) <> 0 ON CONFLICT(period, start, level, prefix) DO UPDATE SET names = names + excluded.names; END;
CREATE TRIGGER periodBestGone AFTER DELETE ON periodBests BEGIN INSERT INTO periodCounts(period, start, level, prefix, names) SELECT OLD.period, OLD.start, level, prefix, sum(delta) FROM (SELECT k AS level, OLD.score >> (4 * k) AS prefix, -1 AS delta FROM (SELECT 0 AS k UNION ALL SELECT 1 UNION ALL SELECT 2 UNION ALL SELECT 3 UNION ALL SELECT 4 UNION ALL SELECT 5 UNION ALL SELECT 6 UNION ALL SELECT 7) l) GROUP BY level, prefix HAVING sum(delta) <> 0 ON CONFLICT(period, start, level, prefix) DO UPDATE SET names = names + excluded.names; END;
CREATE TRIGGER periodBestsOfName AFTER DELETE ON names BEGIN DELETE FROM periodBests WHERE name = OLD.name; END;
CREATE TRIGGER periodBestsOfSubmission AFTER INSERT ON submissions BEGIN DELETE FROM periodBests WHERE (period, start, name) = (SELECT period, start, name FROM periodBests WHERE period = 0 AND start < (NEW.at - ((NEW.at + 32400) % 86400)) ORDER BY start LIMIT 1);INSERT INTO periodBests(period, start, name, score, submission) VALUES(0, (NEW.at - ((NEW.at + 32400) % 86400)), NEW.name, NEW.score, NEW.id) ON CONFLICT(period, start, name) DO UPDATE SET score = excluded.score, submission = excluded.submission WHERE excluded.score > periodBests.score;DELETE FROM periodBests WHERE (period, start, name) = (SELECT period, start, name FROM periodBests WHERE period = 1 AND start < (NEW.at - ((NEW.at + 291600) % 604800)) ORDER BY start LIMIT 1);INSERT INTO periodBests(period, start, name, score, submission) VALUES(1, (NEW.at - ((NEW.at + 291600) % 604800)), NEW.name, NEW.score, NEW.id) ON CONFLICT(period, start, name) DO UPDATE SET score = excluded.score, submission = excluded.submission WHERE excluded.score > periodBests.score; END;
INSERT INTO submissions VALUES(4,X'41',350,'',1796626783);
INSERT INTO names VALUES(X'41',350,4,NULL);
INSERT INTO placeCounts VALUES(0,350,1),(1,21,1),(2,1,1),(3,0,1),(4,0,1),(5,0,1),(6,0,1),(7,0,1);
INSERT INTO hidden VALUES(X'43',100,3,NULL,'rude',1796626783);
INSERT INTO refused VALUES('bad','BAD',1796626783);
INSERT INTO audit VALUES(1,1796626783,'hide','C','rude');
INSERT INTO audit VALUES(2,1796626783,'refuse','BAD','');
PRAGMA user_version = 7;
