// The simulated host's control surface, for tests and the simulated application program.
//
// Tests drive the host by hand: they build and switch drawings, run the main thread until it is
// idle, make host calls fail on demand and read what was printed on the command line. The thread
// that calls reset() (or bindMainThread()) is the host's main thread; the functions here, except
// the fault and output readers marked thread-safe, must be called on it.
//
// One header per area; this one takes them all.
#pragma once

#include "cadsim/control/content.h"
#include "cadsim/control/drawings.h"
#include "cadsim/control/faults.h"
#include "cadsim/control/output.h"
#include "cadsim/control/plot.h"
#include "cadsim/control/session.h"
#include "cadsim/control/strings.h"
#include "cadsim/control/view.h"
#include "cadsim/sdk/arx.h"
