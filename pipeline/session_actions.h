// Actions that drive the host session rather than read drawing content.
#pragma once

#include <string>

#include "host/acad.h"

// The MDI-active drawing's path (or the current one's when none is MDI-active); empty when none.
std::string ActiveDwgPath(AcApDocManager* manager);
// The current layout's name from "CTAB", or "Model" when it cannot be read.
std::string CurrentSpaceName();
// True when the path names an existing folder. Runs on the receiving thread.
bool VerifyDirExists(const std::string& path);
