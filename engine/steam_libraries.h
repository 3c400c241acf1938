#pragma once

// Steam's list of its library folders, steamapps/libraryfolders.vdf, read as
// the KeyValues text it is. Portable: the caller reads the file.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The longest text read as a library list; a real one is a few kilobytes.
inline constexpr std::size_t kMaxLibraryListBytes = std::size_t{4} << 20;

// The folders the list names, in its order, as UTF-8 and spelt as written
// (a Linux Steam writes Linux paths). The list is a top-level
// "libraryfolders" block (any case) whose numbered keys map either to a
// folder (older Steam) or to a block that names it under "path". Quoted text
// takes the escapes \\ \" \n \t; a backslash before anything else is kept,
// as in a path written by hand. A folder that is empty, longer than 32767
// bytes, not UTF-8 or holds a control character is left out.
//
// Never reads past `text`. Malformed text gives the folders read before the
// fault; text longer than kMaxLibraryListBytes gives none. Reading stops at
// 256 folders or blocks nested 16 deep.
std::vector<std::string> SteamLibraryPaths(std::string_view text);
