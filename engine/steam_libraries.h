#pragma once

// Steam's list of its library folders, steamapps/libraryfolders.vdf, read as
// the KeyValues text it is. Portable: the caller reads the file.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The longest text read as a library list; a real one is a few kilobytes.
inline constexpr std::size_t kMaxLibraryListBytes = std::size_t{4} << 20;

// Whether a folder that a list names can be a folder's name at all: not
// empty, at most 32767 bytes, well-formed UTF-8 (no overlong forms,
// surrogates or code points past U+10FFFF) without control characters.
bool IsUsableListedPath(std::string_view path);

// The folders the list names, in its order, as UTF-8 and spelt as written
// (a Linux Steam writes Linux paths). The list is a top-level
// "libraryfolders" block (any case) whose numbered keys map either to a
// folder (older Steam) or to a block that names it under "path". Quoted text
// takes the escapes \\ \" \n \t; a backslash before anything else is kept,
// as in a path written by hand. A folder that IsUsableListedPath refuses is
// left out.
//
// Never reads past `text`. Malformed text gives the folders read before the
// fault; text longer than kMaxLibraryListBytes gives none. Reading stops at
// 256 folders or blocks nested 16 deep.
std::vector<std::string> SteamLibraryPaths(std::string_view text);
