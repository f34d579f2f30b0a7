// What the host showed: the command line, the URLs handed to the platform, the process display
// name and display refreshes. Readers marked thread-safe may be called from any thread.
#pragma once

#include <string>
#include <vector>

namespace cadsim {

// Everything printed on the command line, as UTF-8 (thread-safe).
std::string output();
void clearOutput();
// Takes the complete lines printed since the last call (for the program's standard output).
std::vector<std::string> takeOutputLines();

// URLs the plug-in asked the platform to open (thread-safe).
std::vector<std::string> openedUrls();
void recordOpenedUrl(const std::string& url);

// The host process's display name as the platform reports it (empty: none).
void setDisplayName(const std::string& name);
std::string displayName();

// How often the display was refreshed (acedUpdateDisplay).
int displayRefreshCount();

}  // namespace cadsim
