// The simulated host's SDK surface, as one header for the plug-in's include seam (host/acad.h).
#pragma once

#include "cadsim/sdk/acad_types.h"
#include "cadsim/sdk/acap.h"
#include "cadsim/sdk/acdb.h"
#include "cadsim/sdk/aced.h"
#include "cadsim/sdk/acrx.h"
