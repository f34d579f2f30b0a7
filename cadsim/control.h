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
// faults, output, recorded URLs and options, restores the document manager, and makes the calling
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
// Opens a drawing: a path of a readable drawing file loads it; a path with no file creates an
// empty drawing with that name (before drawing files are read, and for tests). The drawing
// becomes active. Returns null and sets *status when the host refuses.
AcApDocument* openDrawing(const std::string& path, int* status = nullptr);

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

// --- faults ---------------------------------------------------------------------------------------

// Makes the named host call answer `status` once (or every time while persistent). Names are the
// SDK's member or function names, e.g. "lockDocument", "setCurDocument",
// "beginExecuteInApplicationContext", "addInputContextReactor", "acedSetVar", "acedGetVar".
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

// URLs the plug-in asked the platform to open (thread-safe).
std::vector<std::string> openedUrls();
void recordOpenedUrl(const std::string& url);

// The host process's display name as the platform reports it (empty: none).
void setDisplayName(const std::string& name);
std::string displayName();

// How often the display was refreshed (acedUpdateDisplay).
int displayRefreshCount();

// --- strings --------------------------------------------------------------------------------------
std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& wide);

}  // namespace cadsim
