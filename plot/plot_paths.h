// Where plots go: the default output path of a layout, the creation of its folders, and the
// comparable form of the paths a request names.
//
// Layout names come from drawings and output paths from requests: either may hold any character,
// so a name never reaches a shell and a file stem never leaves its folder. Pure apart from the
// file system calls of the directory functions; safe on any thread.
#pragma once

#include <string>
#include <string_view>

// $HOME (or "/tmp" when unset or empty) + "/Documents/OrvikPut/" + the sanitized stem + ".pdf".
std::string MakeLayoutPdfPath(std::string_view layoutName);

// The layout name as one file name: bytes below 0x20 and < > : " / \ | ? * become "_", trailing
// spaces and dots go, a stem too long for a file name is cut at a character boundary, and an empty
// result becomes "Layout".
std::string SanitizeLayoutFileStem(std::string_view layoutName);

// Creates the folder of `path` (everything before its last "/") with its missing parents. False
// when the path has no folder part, or its only "/" is the first character, or the folder cannot be
// made.
bool EnsureParentDirectory(const std::string& path);

// Creates every missing folder of the "/"-separated path (mode 0755), tolerating one made meanwhile
// by someone else. False when the path is empty or any prefix is not, or cannot become, a folder.
bool EnsureDirectoryTree(const std::string& directory);

// "\" as "/", ASCII letters lower-cased, trailing "/" removed: two spellings of one drawing or
// output path compare equal.
std::string NormalizeComparablePath(std::string_view path);

// The path ends in ".pdf", in any letter case, and names a file: a trailing "/" or "\\" fails.
bool HasPdfExtension(std::string_view path);
// The path's last character is "/" or "\\": it names a folder, not a file.
bool EndsWithSeparator(std::string_view path);
