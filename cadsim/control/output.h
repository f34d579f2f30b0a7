// What the host showed: the command line and display refreshes. Readers marked thread-safe may be
// called from any thread. (URLs the plug-in opens go to the system's `open` program; tests put a
// recording one first on PATH, see tools/fake-open/open.)
#pragma once

#include <string>
#include <vector>

namespace cadsim {

// Everything printed on the command line, as UTF-8 (thread-safe).
std::string output();
void clearOutput();
// Takes the complete lines printed since the last call (for the program's standard output).
std::vector<std::string> takeOutputLines();

// How often the display was refreshed (acedUpdateDisplay).
int displayRefreshCount();
inline int displayUpdates() { return displayRefreshCount(); }

}  // namespace cadsim
