#pragma once

// A folder or file dropped on a window, turned into the game's data folder.

#include <windows.h>
#include <shellapi.h>

#include <string>

// Lets `window` take files dropped from Explorer or, under Wine, from a Linux
// file manager, also when the program runs as administrator.
void AcceptDroppedFiles(HWND window);

// The first item of a drop, and the drop's memory freed. Empty if there is
// no item.
std::string TakeFirstDroppedItem(HDROP drop);

// The data folder for a dropped folder or file, with its trailing backslash:
// the item's folder (for a file, the folder that holds it) if it holds the
// cars, else its `data` subfolder if that does (the game's root folder), else
// the nearest folder above that does (the cars folder, one car's folder or
// file), up to FolderAbove's end. If none does, the item's folder as it is.
std::string DataFolderForDroppedItem(const std::string& item);

// The folder that holds `folder` (which ends with a separator), with its
// separator. Empty at the root of its volume: a drive's root (C:\) or a
// network share (\\server\share\), also behind the \\?\ or \\.\ prefix
// (\\?\C:\, \\?\UNC\server\share\); and for any other form (relative,
// drive-relative), which has no root to stop at. Above a share, a probe would
// name another machine, and reaching for it means a name look-up and a logon
// with the user's credentials.
std::string FolderAbove(const std::string& folder);
