// The plug-in's platform calls: opening a URL, the process display name, the main-thread check and
// the report of main-thread code running elsewhere. One POSIX implementation (platform_posix.cpp)
// with small macOS and Linux parts; the Linux part is what the simulated host runs.
#pragma once

#include <string>

// Hands a URL of the companion's scheme to the system by running `open URL` (no shell, the URL as
// one argument) and waiting for it. Its exit status does not matter; when it cannot be started,
// a line on standard error says so and nothing else happens.
void OrvikOpenUrl(const std::string& url);

// The host process's display name (macOS: the running application's localized name; Linux: the
// base name of argv[0]); empty when the platform gives none.
std::string OrvikProcessDisplayName();

// True on the process's main thread, which is the host's.
bool OrvikIsMainThread();

// Called when main-thread-only code runs elsewhere: a bug. Logs a line holding
// kOrvikThreadViolationMarker on standard error, then calls the installed hook, if any.
void OrvikReportThreadViolation(const char* function);

// What every violation report on standard error contains (end-to-end checks look for it).
extern const char* const kOrvikThreadViolationMarker;

// Tests install a hook that fails the running test; it may be called on any thread. Returns the
// hook it replaces; nullptr removes it.
using OrvikThreadViolationHook = void (*)(const char* function);
OrvikThreadViolationHook OrvikSetThreadViolationHook(OrvikThreadViolationHook hook);

#define ORVIK_ASSERT_MAIN_THREAD()                                  \
  do {                                                              \
    if (!OrvikIsMainThread()) OrvikReportThreadViolation(__func__); \
  } while (0)
