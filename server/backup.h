// backup.h: the operator's backup and restore of an SQLite ranking, taken while it serves.
#pragma once

#include <string>

// Copies the ranking at `store` into `file`, a consistent snapshot taken beside the running
// ranking, checks the copy (SQLite's integrity check and the place counts) and flushes it. Never
// writes over an existing file. `report` says what was copied, or why nothing was.
bool backupRanking(const std::string& store, const std::string& file, std::string& report);
// Writes the ranking in `backup` (checked first) into `store`, which is created when missing or
// else has its whole content replaced, also while a ranking serves it.
bool restoreRanking(const std::string& backup, const std::string& store, std::string& report);
