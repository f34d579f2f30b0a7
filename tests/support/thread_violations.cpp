// Compiled into every test program: plug-in code meant for the host's main thread that runs on
// another thread fails the test that was running, whichever thread it ran on.
#include <gtest/gtest.h>

#include "host/platform.h"

namespace {

void FailRunningTest(const char* function) {
  ADD_FAILURE() << kOrvikThreadViolationMarker << ": " << (function != nullptr ? function : "?");
}

struct InstallHook {
  InstallHook() { OrvikSetThreadViolationHook(FailRunningTest); }
} g_installHook;

}  // namespace
