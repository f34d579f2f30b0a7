// The one include seam between the plug-in and its host's SDK.
//
// Every plug-in source reaches host classes, functions and constants through this header and no
// other. On macOS it takes the real host SDK; on our Linux machines it takes the simulated host's
// SDK surface, which has the same names and call shapes.
#pragma once

#if defined(ORVIK_USE_HOST_SDK)
#include <arxHeaders.h>
#else
#include "cadsim/sdk/arx.h"
#endif
