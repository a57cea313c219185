// userFiles.h: the folder the Linux program keeps the player's best score in.
#pragma once

#include <string>

// The desktop entry starts the game with this option; from a terminal it works in the current folder.
constexpr const char* userFolderOption = "--user-folder";

// ${XDG_DATA_HOME:-$HOME/.local/share}/pilaro, or "" when neither variable gives a full path.
std::string userFolder();

// With userFolderOption among the arguments, makes the per-user folder when missing and makes
// it the working folder. False, with a line on standard error, when that could not be done.
bool enterUserFolderWhenAsked(int argc, char** argv);
