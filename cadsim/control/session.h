// The session: the main thread, its queue of posted callbacks and the idle loop, the document
// manager, and the command line with its events.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace cadsim {

// Closes every drawing without events, drops posted callbacks, reactors, registered commands,
// faults and host call counts, output and options, restores the document manager,
// and makes the calling thread the main thread. Tests call it first.
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

// --- command line and events ---------------------------------------------------------------------

// Types a line at the active drawing's command line (runs it at once on the main thread). Text
// sent with sendStringToExecute runs line by line in the idle loop; an AutoLISP line that is
// cancelled or ends in an error (lispCancelled) drops the rest of that text.
void typeLine(const std::string& line);
// Host-level built-in commands (NEW, OPEN, CLOSE, ...) are engine-defined; the program adds its
// own. A command that throws fails: its message is printed and editor reactors hear commandFailed
// instead of commandEnded.
using BuiltinCommand = std::function<void(const std::string& args)>;
void defineBuiltinCommand(const std::string& name, BuiltinCommand fn);

// Raises editor events as a command or a LISP evaluation would.
void fireCommandEnded(const std::string& name);
void fireCommandCancelled(const std::string& name);
void fireCommandFailed(const std::string& name);
void fireLispEnded();
void fireLispCancelled();

}  // namespace cadsim
