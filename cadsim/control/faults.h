// Faults: host calls made to fail on demand, the count of host calls, and the host faults the
// engine detected. Everything here is thread-safe.
//
// The fault points are the SDK entry points that can fail: those that answer a status, an RTxxx
// code, or a pointer or id that may be null. Each call of one counts once, under its SDK name:
// "acdbOpenObject", "acedGetCurViewportObjectId", "acedGetString", "acedGetVar",
// "acedSetCurrentView", "acedSetVar", "acedSSGet", "activateDocument", "addCommand", "addInputContextReactor", "appContextCloseDocument",
// "appContextNewDocument", "appContextOpenDocument" (both forms), "beginExecuteInApplicationContext",
// "createLayout", "disableDocumentActivation", "enableDocumentActivation", "findActiveLayout",
// "findFile", "findLayoutNamed", "getAcDbObjectId", "getActiveLayoutName", "getAt" (opening a
// dictionary entry or a symbol table record), "getBlockTable", "getEntity", "getLayerTable",
// "getLayoutDictionary", "getMTextAttribute" (null), "getName" (AcDbLayout::getName and
// getLayoutName, AcDbSymbolTableRecord::getName), "getNamedObjectsDictionary", "getObject",
// "getRecord", "getTextStyleTable", "inputPointManager", "layoutExists", "layoutManager",
// "lockDocument", "newAcApDocumentIterator", "newIterator" (symbol tables, block records,
// dictionaries), "readDwgFile", "sendStringToExecute", "setCurDocument", "setCurrentLayout",
// "setCurrentLayoutId", "tag" (AcDbAttribute::tag(AcString&)), "text" (AcDbMText::text(AcString&)),
// "textString" (AcDbText::textString(AcString&)), "upgradeOpen", "workingDatabase".
// Plotting adds "acplPlotConfigManagerPtr", "plotSettingsValidator", "getDevicesList",
// "getStyleList", "setCurrentConfig", "copyFrom", every plot settings validator setter and list under its own name
// ("setPlotCfgName", "setCanonicalMediaName", "canonicalMediaNameList", "getLocaleMediaName", ...),
// "validate", "createPublishEngine" and each engine call ("beginPlot" ... "endPlot").
// The calls that open an object also answer faults planted on "acdbOpenObject", and
// findActiveLayout those on "getActiveLayoutName". Not fault points: calls that cannot fail (void
// ones, state queries such as curDocument, reads and writes of an open object other than those
// named), and the calls that give something back (unlockDocument, close, removing a reactor or a
// command, acedSSFree, acutRelRb), which the host refuses only when there is nothing to give back.
//
// Narrowed faults ("name:argument", not counted as calls of their own): "setCurrentLayout:<layout
// name>", "acedSetVar:CTAB", "acdbOpenObject:<class>" (the class the typed open asks for, e.g.
// "acdbOpenObject:AcDbLayout"; the calls that open an object for their caller answer it for the
// class they open: getEntity for "acdbOpenObject:AcDbEntity"), "getName:<class>" (the object's
// class: "getName:AcDbLayout", "getName:AcDbBlockTableRecord"). All of these work alike in
// drawings and in side databases.
//
// A fault fails a call the way the host fails it: with the planted status (any number: the tests
// plant 2, 35, 124, 250, 330...), or, for a call made to fail as the nth host call, with that
// call's own failure (acdbOpenObject eWasOpenForWrite, lockDocument eLockViolation, acedGetVar
// RTERROR, acedSetVar RTREJ, acedSSGet RTERROR, getName, tag, text and textString eInvalidInput,
// findLayoutNamed a null id, inputPointManager a null pointer, ...).
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace cadsim {

// Makes the named host call answer `status` once (or every time while persistent). "name:argument"
// narrows a fault to one argument: "setCurrentLayout:Model" refuses only that layout name,
// "acedSetVar:CTAB" refuses writes of CTAB (also from AutoLISP's setvar).
void failCall(const std::string& name, int status, bool persistent = false);
// The same for the nth call of that name from now on (n = 1 is the next call): the calls before
// it pass; it fails, and with persistent every later one too.
void failNthCall(const std::string& name, size_t n, int status, bool persistent = false);
// Makes the nth counted host call from now on fail once, whatever its name, with that call's own
// failure (n = 1 is the next call).
void failNthHostCall(size_t n);
// Makes every counted call of that name (or "name:argument", as for faults) sleep `milliseconds`
// on the calling thread before it answers, until clearFaults(): a slow read a test can cancel
// while it runs.
void delayCall(const std::string& name, int milliseconds);
// Holds the next call of `name` (or "name:argument"): it creates RELEASEFILE.reached and waits,
// at most a minute, until RELEASEFILE exists, so a test acts at a known point inside the
// plug-in's work however slowly the machine runs.
void gateCall(const std::string& name, const std::string& releaseFile);
// Drops every planted fault, delay and gate, and starts the counts and the list of injected failures afresh.
void clearFaults();

// Host calls counted since reset() or clearFaults(): all of them, one name's, and per name.
size_t hostCallCount();
size_t hostCallCount(const std::string& name);
std::map<std::string, size_t> hostCallCounts();
// The calls that failed by injection since reset() or clearFaults(), in order: the call's name,
// or "name:argument" for an argument fault.
std::vector<std::string> injectedFailures();

// Host faults the engine detected (main-thread-only code called elsewhere, runaway loops...).
std::vector<std::string> faultLog();
void reportFault(const std::string& what);

}  // namespace cadsim
