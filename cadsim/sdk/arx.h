// The simulated host's SDK surface, as one header for the plug-in's include seam (host/acad.h).
#pragma once

#include "cadsim/sdk/acad_types.h"
#include "cadsim/sdk/acap.h"
#include "cadsim/sdk/acdb.h"
#include "cadsim/sdk/aced.h"
#include "cadsim/sdk/acge.h"
#include "cadsim/sdk/acpl.h"
#include "cadsim/sdk/acrx.h"
#include "cadsim/sdk/acutil.h"
#include "cadsim/sdk/dbents.h"
#include "cadsim/sdk/dblayout.h"
#include "cadsim/sdk/dbobject.h"
#include "cadsim/sdk/dbplotsetval.h"
#include "cadsim/sdk/dbtables.h"
