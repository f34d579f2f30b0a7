// Seams for the calls that are platform-specific or that tests must observe.
//
// On macOS these open URLs with the system's `open` command, read the process display name from
// the application runtime and ask the threading library for the main thread. On Linux the
// simulated host supplies them: it records the URLs, takes the display name from its options and
// knows which thread runs its main loop.
#pragma once

#include <string>

// Hands a URL of the companion's scheme to the platform ("open '<url>'" on macOS).
void OrvikOpenUrl(const std::string& url);

// The host process's localized display name; empty when the platform gives none.
std::string OrvikProcessDisplayName();

// True on the host's main thread.
bool OrvikIsMainThread();

// Called when main-thread-only code runs elsewhere: a bug, logged loudly and, under the simulated
// host, recorded so that tests fail.
void OrvikReportThreadViolation(const char* function);

#define ORVIK_ASSERT_MAIN_THREAD()                              \
  do {                                                          \
    if (!OrvikIsMainThread()) OrvikReportThreadViolation(__func__); \
  } while (0)
