#pragma once

// Text is UTF-8 throughout the program and UTF-16 at each call into Windows;
// these convert at that crossing, for the engine's file code and the dialog
// alike. Windows only.

#include <optional>
#include <string>
#include <string_view>

// `text` in UTF-16; nullopt when it is not well-formed UTF-8, so that a name
// never turns into another one (U+FFFD, say) on its way into Windows.
std::optional<std::wstring> ToUtf16(std::string_view text);

// `text` in UTF-16 for showing, each ill-formed sequence as U+FFFD.
std::wstring ToUtf16ForDisplay(std::string_view text);

// `text` in UTF-8. A lone surrogate, which Windows names may hold and UTF-8
// cannot, gets the three bytes of its code point: ToUtf16 refuses them, so
// such a name reads as one that no file has rather than as another file's.
std::string ToUtf8(std::wstring_view text);

// `path` in the form the wide file functions take at any length, whatever
// LongPathsEnabled says. Windows limits a path to MAX_PATH characters unless
// it is an extended-length one: absolute, with the \\?\ prefix (\\?\UNC\ for
// a share), which also turns off the system's own normalisation ('/' read as
// '\', "." and ".." resolved, trailing dots and spaces dropped). So a path
// whose full form has 248 characters or more (the limit CreateDirectory
// documents, the lowest of any function) is made absolute and normalised by
// GetFullPathNameW first, then prefixed. A shorter path, and one that has the
// prefix already, is left as it is. A relative path is resolved against the
// current folder, which the program never changes, so any thread may call
// this. Under Wine a path that begins with one '/' is a Linux path, which
// GetFullPathNameW would read as a folder of the current drive: it is taken
// on the drive that Linux's root is (LinuxRootDrive).
std::wstring ExtendedLengthPath(std::wstring path);

// ToUtf16, then ExtendedLengthPath; nullopt for a name that no file can
// have: not well-formed UTF-8, or holding NUL.
std::optional<std::wstring> ToSystemPath(std::string_view path);
