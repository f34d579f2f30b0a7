// Finding, activating and locking the drawing a request is meant for.
#pragma once

#include <string>

#include "host/acad.h"

// The document's file name in UTF-8; empty for a null document or name.
std::string DocumentPath(AcApDocument* document);
