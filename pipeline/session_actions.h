// Actions that drive the host session rather than read drawing content: running AutoLISP,
// switching the current space, opening, activating and closing drawings, and the small readers of
// the current drawing's path and space.
//
// The task actions run on the host's main thread inside a queued task (pipeline/command_queue.h)
// and end it through OnTaskComplete, every completion with success true. runLisp and switchSpace
// cannot finish inside the task: they type their work and the marker command
// "orvik-notify-lisp-done" into the drawing's command line, and the marker completes the task;
// until it runs the queue waits. A LISP error or cancel drops the rest of the typed text, the
// marker with it: the task is then ended by pipeline/task_watch.h instead.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "host/acad.h"
#include "pipeline/command_queue.h"

// The MDI-active drawing's path (or the current one's when none is MDI-active); empty when none.
std::string ActiveDwgPath(AcApDocManager* manager);
// The current layout's name from "CTAB", or "Model" when it cannot be read.
std::string CurrentSpaceName();
// True when the path names an existing folder. Runs on the receiving thread.
bool VerifyDirExists(const std::string& path);

// Writes "CTAB" without waiting for the switch; the host's status (RTNORM on success). A name
// longer than the host takes is refused with RTERROR rather than cut short.
int SwitchSpace(const std::string& name);

// LISP code as the command line gets it: no carriage returns, one line feed at the end.
std::string PrepareLispCode(const std::string& code);
// A name inside an AutoLISP string literal: backslashes and double quotes escaped.
std::string EscapeLispString(const std::string& text);

// Deletes the host's drawing lock files ("*.dwl", "*.dwl2", regular files only) anywhere below the
// folder of `drawingPath`, in this process without a shell, so no character of the path can run
// anything. Symbolic links inside the tree are neither followed nor deleted. A path without a
// folder part ("a.dwg", "/a.dwg") or whose folder is the file-system root sweeps nothing. Errors
// are ignored. Returns how many files were deleted.
size_t SweepDrawingLockFiles(const std::string& drawingPath);

// The session actions' rows: getDwgPath, getCurrentSpace, verifyDir, runLisp, runLispNoWait,
// switchSpace, openDwg, closeDwg. Main thread, at load.
void RegisterSessionActions();

// Test hook: replaces the sleeps of openDwg (the database wait and the settle pause); nullptr
// restores real sleeping.
void SetSessionSleepForTesting(std::function<void(int milliseconds)> sleep);

// The command "orvik-notify-lisp-done": typed after the work a deferred task handed to the host's
// command line, it completes that task with "OK".
void orvikNotifyLispDoneCmd();

// Console functions, exported for other callers but not registered as commands.
void orvikListSpacesCmd();
void orvikSwitchRandomSpaceCmd();
void orvikCurrentSpaceCmd();
