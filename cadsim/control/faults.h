// Faults: host calls made to fail on demand, and the host faults the engine detected.
#pragma once

#include <string>
#include <vector>

namespace cadsim {

// Makes the named host call answer `status` once (or every time while persistent). Names are the
// SDK's member or function names, e.g. "lockDocument", "setCurDocument",
// "beginExecuteInApplicationContext", "addInputContextReactor", "acedSetVar", "acedGetVar",
// "acdbOpenObject", "readDwgFile", "appContextOpenDocument", "findFile", "setCurrentLayout",
// "setCurrentLayoutId", "findLayoutNamed" (answers a null id), "getActiveLayoutName",
// "createLayout", "getAcDbObjectId", "newIterator" (symbol tables and block records).
// "name:argument" narrows a fault to one argument: "setCurrentLayout:Model" refuses only that
// layout name, "acedSetVar:CTAB" refuses writes of CTAB (also from AutoLISP's setvar).
void failCall(const std::string& name, int status, bool persistent = false);
void clearFaults();
// Engine use: the injected status for a call, if any (thread-safe).
bool injectedStatus(const std::string& name, int* status);

// Host faults the engine detected (main-thread-only code called elsewhere, runaway loops...).
std::vector<std::string> faultLog();  // thread-safe
void reportFault(const std::string& what);  // thread-safe

}  // namespace cadsim
