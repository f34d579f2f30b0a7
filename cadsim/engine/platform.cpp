// The simulated host's side of the plug-in's platform seams (host/platform.h).
#include <cstdio>

#include "cadsim/control/faults.h"
#include "cadsim/control/output.h"
#include "cadsim/control/session.h"
#include "host/platform.h"

void OrvikOpenUrl(const std::string& url) { cadsim::recordOpenedUrl(url); }

std::string OrvikProcessDisplayName() { return cadsim::displayName(); }

bool OrvikIsMainThread() { return cadsim::isMainThread(); }

void OrvikReportThreadViolation(const char* function) {
  std::string what = std::string("plug-in main-thread code ran elsewhere: ") + (function ? function : "?");
  std::fprintf(stderr, "[cadsim] %s\n", what.c_str());
  cadsim::reportFault(what);
}
