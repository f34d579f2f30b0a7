// The simulated host's control surface, for tests and the simulated application program.
//
// Tests drive the host by hand: they build and switch drawings, run the main thread until it is
// idle, make host calls fail on demand and read what was printed on the command line. The thread
// that calls reset() (or bindMainThread()) is the host's main thread; the functions here, except
// the fault and output readers marked thread-safe, must be called on it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "cadsim/sdk/arx.h"

namespace cadsim {

// --- the session --------------------------------------------------------------------------------

// Closes every drawing without events, drops posted callbacks, reactors, registered commands,
// faults, output and options, restores the document manager, and makes the calling
// thread the main thread. Tests call it first.
void reset();
void bindMainThread();
bool isMainThread();  // thread-safe

// Runs posted application-context callbacks, typed command lines and quiescence changes until
// nothing is left; returns how many steps ran. Guards against livelock with a step limit, after
// which it reports a host fault (see faultLog) and returns.
size_t runUntilIdle(size_t maxSteps = 100000);
// Runs exactly one posted application-context callback if there is one.
bool runOneCallback();
size_t pendingCallbackCount();  // thread-safe

// Blocks until work is posted or the timeout passes (for the program's main loop).
void waitForWork(int timeoutMs);
// Wakes waitForWork from any thread (thread-safe).
void wake();

// Takes the document manager away (acDocManagerPtr() returns null) or gives it back.
void setDocumentManagerAvailable(bool available);

// --- drawings -----------------------------------------------------------------------------------

// Creates an unsaved drawing "DrawingN.dwg" and makes it active, with the full event sequence.
AcApDocument* newDrawing();
// Opens a drawing: a path of a readable drawing file loads it and keeps the host's lock files
// "<name>.dwl" and "<name>.dwl2" beside it until it closes. A file that cannot be read answers its
// status (a binary DWG: eDwgNotRecoverable 61). A path with no file creates an empty drawing with
// that name, so tests and scripts can name drawings freely; with strict drawing files it answers
// eFileNotFound (76) instead, as the real host does. The drawing becomes active. Returns null and
// sets *status when the host refuses. appContextOpenDocument and the program's OPEN and DRAWING
// arguments open the same way.
AcApDocument* openDrawing(const std::string& path, int* status = nullptr);
void setStrictDrawingFiles(bool strict);
// The lock file paths the host keeps beside an open drawing file.
std::string lockFilePath(const std::string& drawingPath);
std::string secondLockFilePath(const std::string& drawingPath);

// Staged creation, for "still opening" states: beginOpen raises the creation-started and the
// activation events and stops before the creation completes; finishOpen completes it, cancelOpen
// cancels it (the drawing is destroyed).
AcApDocument* beginOpen(const std::string& pathOrEmpty);
void finishOpen(AcApDocument* doc);
void cancelOpen(AcApDocument* doc);

// Brings an open drawing to the front as a user would (deactivation and activation events).
void activate(AcApDocument* doc);
// Closes a drawing with the host's events; the next drawing, if any, becomes active.
void close(AcApDocument* doc);
// Gives a drawing a new file name and title, raising the title event.
void retitle(AcApDocument* doc, const std::string& path);
// Holds a drawing busy (not quiescent) until released.
void setBusy(AcApDocument* doc, bool busy);

std::vector<AcApDocument*> documents();
AcApDocument* findDocument(const std::string& pathOrTitle);
int lockCount(AcApDocument* doc);
std::string fileNameUtf8(AcApDocument* doc);
std::string titleUtf8(AcApDocument* doc);

// --- command line and events ----------------------------------------------------------------------

// Types a line at the active drawing's command line (runs it at once on the main thread).
void typeLine(const std::string& line);
// Host-level built-in commands (NEW, OPEN, CLOSE, ...) are engine-defined; the program adds its own.
using BuiltinCommand = std::function<void(const std::string& args)>;
void defineBuiltinCommand(const std::string& name, BuiltinCommand fn);

// Raises editor events as a command or a LISP evaluation would.
void fireCommandEnded(const std::string& name);
void fireCommandCancelled(const std::string& name);
void fireCommandFailed(const std::string& name);
void fireLispEnded();
void fireLispCancelled();

// --- drawing content ------------------------------------------------------------------------------
//
// A small builder for drawings made in code. Every function works on a database directly (no
// object is left open) and answers the new object's id, or a null id when the arguments name
// nothing (an unknown layout, block or layer). Spaces are block table record ids; use
// modelSpaceId or layoutSpaceId. New drawings have the layouts "Model", "Layout1" and "Layout2",
// the layer "0" and the text style "Standard" (txt.shx).

struct AttributeSpec {
  std::string tag;
  std::string value;      // for a multi-line attribute, MText content ("\P" breaks paragraphs)
  bool multiline = false;
  bool invisible = false;
};

struct LayerSpec {
  bool off = false;
  bool frozen = false;
  bool locked = false;
  bool hidden = false;
};

AcDbDatabase* databaseOf(AcApDocument* doc);
AcDbObjectId modelSpaceId(AcDbDatabase* db);
// The block table record of a layout ("Model" and "模型" name model space).
AcDbObjectId layoutSpaceId(AcDbDatabase* db, const std::string& layoutName);
AcDbObjectId layoutId(AcDbDatabase* db, const std::string& layoutName);
// A paper-space layout with its own paper space; tabOrder -1 puts it after the others.
AcDbObjectId addLayout(AcDbDatabase* db, const std::string& name, int tabOrder = -1);
// Renames the model layout as a localized host shows it (e.g. "模型").
void setModelLayoutName(AcDbDatabase* db, const std::string& name);
AcDbObjectId addLayer(AcDbDatabase* db, const std::string& name, const LayerSpec& wanted = {});
AcDbObjectId addTextStyle(AcDbDatabase* db, const std::string& name, const std::string& fontFile,
                          const std::string& bigFontFile = "", const std::string& typeface = "");
// A block definition holding one attribute definition per entry (value = default text).
AcDbObjectId addBlockDefinition(AcDbDatabase* db, const std::string& name,
                                const std::vector<AttributeSpec>& attributeDefinitions = {},
                                bool dynamic = false);
// An anonymous block ("*U<n>") representing a dynamic block definition, with copies of its
// attribute definitions.
AcDbObjectId addAnonymousRepresentation(AcDbDatabase* db, AcDbObjectId dynamicDefinition);
AcDbObjectId addBlockReference(AcDbDatabase* db, AcDbObjectId space, AcDbObjectId block,
                               const AcGePoint3d& position,
                               const std::vector<AttributeSpec>& attributes = {},
                               const std::string& layer = "0");
AcDbObjectId addLine(AcDbDatabase* db, AcDbObjectId space, const AcGePoint3d& start,
                     const AcGePoint3d& end, const std::string& layer = "0");
AcDbObjectId addPolyline(AcDbDatabase* db, AcDbObjectId space, const std::vector<AcGePoint2d>& points,
                         bool closed, const std::string& layer = "0");
AcDbObjectId addText(AcDbDatabase* db, AcDbObjectId space, const AcGePoint3d& position,
                     const std::string& text, const std::string& style = "Standard");
AcDbObjectId addMText(AcDbDatabase* db, AcDbObjectId space, const AcGePoint3d& position,
                      const std::string& contents, const std::string& style = "Standard");
AcDbObjectId addViewport(AcDbDatabase* db, AcDbObjectId paperSpace, const AcGePoint3d& center,
                         double width, double height,
                         const std::vector<std::string>& frozenLayers = {});
// A dictionary entry in the named objects dictionary, or in an object's extension dictionary
// (made when missing) when `owner` is not null.
AcDbObjectId addDictionary(AcDbDatabase* db, const std::string& name, AcDbObjectId owner = AcDbObjectId());
bool eraseObject(AcDbObjectId id);
std::string handleText(AcDbObjectId id);
// The current layout's name in the drawing ("" without a database).
std::string currentLayoutName(AcDbDatabase* db);

// Objects open right now in any live database, as "<class> <handle> <read|write|notify>"; tests
// expect none once the plug-in's work is done. A database destroyed with objects open reports a
// host fault.
size_t openObjectCount();
std::vector<std::string> openObjects();

// Takes the layout manager away (layoutManager() returns null) or gives it back.
void setLayoutManagerAvailable(bool available);

// The host's font files for findFile: a folder whose files exist (--fonts DIR), or, without one,
// a list of names (default: txt.shx, simplex.shx, romans.shx, gbcbig.shx, isocp.shx, ...).
void setFontFolder(const std::string& dir);
void setAvailableFonts(const std::vector<std::string>& fileNames);

// --- faults ---------------------------------------------------------------------------------------

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

// --- output and the platform ------------------------------------------------------------------------

// Everything printed on the command line, as UTF-8 (thread-safe).
std::string output();
void clearOutput();
// Takes the complete lines printed since the last call (for the program's standard output).
std::vector<std::string> takeOutputLines();

// How often the display was refreshed (acedUpdateDisplay).
int displayRefreshCount();

// --- strings --------------------------------------------------------------------------------------
std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& wide);

}  // namespace cadsim
