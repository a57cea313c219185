/* A ranking store as the release before replays wrote it (schema version 3), with one name.
   No single quotes: the tests hand it to sqlite3 inside them. */
CREATE TABLE submissions(id INTEGER PRIMARY KEY AUTOINCREMENT, name BLOB NOT NULL, score INTEGER NOT NULL,
  address TEXT NOT NULL, at INTEGER NOT NULL);
CREATE INDEX submissionsByAddress ON submissions(address, at);
CREATE TABLE names(name BLOB PRIMARY KEY, score INTEGER NOT NULL, submission INTEGER NOT NULL) WITHOUT ROWID;
CREATE INDEX namesByPlace ON names(score DESC, submission);
CREATE TABLE placeCounts(level INTEGER NOT NULL, prefix INTEGER NOT NULL, names INTEGER NOT NULL,
  PRIMARY KEY(level, prefix)) WITHOUT ROWID;
CREATE TRIGGER placeCountsEmptied AFTER UPDATE OF names ON placeCounts WHEN NEW.names = 0
  BEGIN DELETE FROM placeCounts WHERE level = NEW.level AND prefix = NEW.prefix; END;
INSERT INTO names VALUES (CAST("OLD" AS BLOB), 1, 1);
PRAGMA user_version = 3;
