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
// the one it leads to (DataFolderFor), else the item's folder (for a file,
// the folder that holds it) as it is.
std::string DataFolderForDroppedItem(const std::string& item);
