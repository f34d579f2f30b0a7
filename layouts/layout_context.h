// The layout context query ("queryLayoutContext"): resolves one layout of the current drawing by
// handle or by name, activates it, and optionally lists its attributed block references with
// their handles.
//
// A non-empty handle is authoritative: the name is then only echoed back, so a companion that
// kept a handle across a rename still reaches the layout it meant. The model layout is not
// excluded. The dispatcher binds the requested drawing and restores its previous layout around
// the call (pipeline/document_binding.h), so the query activates the target freely. Every
// failure is a whole {"success":false,"errorCode",...} object; nothing is printed. Main thread.
#pragma once

#include <string>

#include "host/acad.h"

std::string PerformQueryLayoutContext(const std::string& layoutName, const std::string& layoutHandle, bool includeBlocks);

// The definition a reference is reported under: its dynamic definition when it is a dynamic
// block, else the record it points at; null for a null reference.
AcDbObjectId effectiveBlockTableRecord(AcDbBlockReference* reference);
