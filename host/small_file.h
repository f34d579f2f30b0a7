// Reading the small text files other programs leave for the plug-in (the runtime service's
// discovery file, the shell's preference file).
//
// Whoever can write to those paths can put anything there: a FIFO that would block an ordinary
// open for ever, a device, or a file of gigabytes. The reader opens without blocking, accepts
// regular files only and refuses anything above the caller's size cap, so a bad file costs one
// failed read and never stalls or floods the thread that asked.
#pragma once

#include <cstddef>
#include <string>

// The whole content of the regular file at `path` into `content`; false when it cannot be opened,
// is not a regular file, is larger than `maxBytes` or cannot be read.
bool ReadSmallRegularFile(const std::string& path, size_t maxBytes, std::string& content);
