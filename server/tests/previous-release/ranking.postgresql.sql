/* The tables of a PostgreSQL ranking store as the release before replays wrote them (version 1)
   that the upgrade changes. No single quotes: the tests hand it to psql inside them. */
CREATE TABLE pilaro_ranking_schema(version integer NOT NULL);
INSERT INTO pilaro_ranking_schema VALUES (1);
CREATE TABLE names(name bytea PRIMARY KEY, score bigint NOT NULL, submission bigint NOT NULL);
