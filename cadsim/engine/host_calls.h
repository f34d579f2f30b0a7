// What the simulated host's SDK entry points share, whatever their area: the main-thread check
// and the fault point that decides whether a call fails (cadsim/control/faults.h).
#pragma once

#include <string>

#include "cadsim/control/faults.h"
#include "cadsim/sdk/acad_types.h"

namespace cadsim {

// Records a fault when main-thread-only host code is reached from another thread.
void requireMainThread(const char* what);

// True with *es set when the call (or "call:argument") is to fail.
bool injectedFault(const std::string& name, Acad::ErrorStatus* es);
// Drops planted faults and the fault log (reset()).
void resetFaults();

}  // namespace cadsim
