#pragma once

// The dialog's words for what the game folder in the path box holds now.

#include <string>

#include "game_state.h"

// Shown while a reading takes long (a slow disk, a network folder).
inline constexpr char kReadingStatus[] = "Reading the game's files\u2026";

// A few short sentences, UTF-8: the level on the cars (or that they are the
// game's own files, with which online play works; at 100% that online play
// needs Restore), the cars the buttons treat apart (updated by the game,
// changed by something else, unreadable, not installed), and what Restore
// will do, counted as its notice counts it. For a path that leads to the
// data folder, that folder; for anything else, nothing.
std::string GameStatusText(const GameFolderState& state);

// What the empty path box offers, UTF-8: the game's data folders found on
// this PC so far (`found`) and how to take one, or, once the search has
// ended with none, what to do instead; nothing while the search has found
// none yet.
std::string EmptyBoxStatusText(int found, bool searching);
