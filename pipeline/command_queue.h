// The hand-over between the connection's receiving thread and the host's main thread, and the end
// of every task.
//
// Commands arrive on the receiving thread but may only touch drawings in the host's application
// context on the main thread. EnqueueAndSchedule puts a task on one first-in-first-out queue and
// asks the host to run the drain; ProcessCommandQueue takes exactly one task per run, checks that
// the drawing it was admitted for is still the ready active drawing, runs it through the task
// runner installed at load, and completes it from what the run returns. Tasks run one at a time: a
// task counts as running from the moment the drain takes it until OnTaskComplete, the one way out,
// and only completion schedules the next drain.
//
// The queue knows no action: the runner (pipeline/command_dispatch.h) is installed once at load.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "host/acad.h"

enum CommandKind : int32_t {
  kGetPrinters = 0,
  kGetPaperSizes = 1,
  kGetStyles = 2,
  kGetDwgPath = 3,
  kGetLayouts = 4,
  kQueryDrawingLayouts = 5,
  kGetCurrentSpace = 6,
  kRunLisp = 7,
  kRunLispNoWait = 8,
  kExtractFramesModel = 9,
  kExtractFramesPaper = 10,
  kSwitchSpace = 11,
  kOpenDwg = 12,
  kCloseDwg = 13,
  kNativePlot = 14,
  kFixMissingFonts = 15,
  kQueryBlocks = 16,
  kQueryAllBlocks = 17,
  kQueryLayoutContext = 18,
  kSimulateLayoutPlot = 19,
  kLayoutPlot = 20,
  kLayoutCustomPlot = 21,
};

struct CommandTask {
  std::string reqId;           // empty: nobody waits for a reply
  int32_t kind = 0;            // a CommandKind
  std::string params;          // as prepared at admission
  uint64_t documentEpoch = 0;  // readiness epoch at admission; 0 = not stamped yet
};

// What became of a task the drain ran: done, with the answer's success flag and text, or handed
// to a command typed into the host, which completes it later (see DeferTaskToCommandLine).
struct TaskOutcome {
  bool deferred = false;
  bool success = true;
  std::string text;

  static TaskOutcome Done(std::string text, bool success = true) { return {false, success, std::move(text)}; }
  static TaskOutcome Deferred() { return {true, true, std::string()}; }
};

// What the queue runs, installed once at load: whether a task is gated on the active drawing, and
// the function that runs it on the main thread in the application context.
struct TaskRunner {
  std::function<bool(const CommandTask&)> usesActiveDocument;
  std::function<TaskOutcome(const CommandTask&, AcApDocManager*)> run;
};

// Guarded by g_queueMutex, which guards nothing else and is never held while a task runs or while
// the host is called.
extern std::deque<CommandTask> g_pendingQueue;
extern std::mutex g_queueMutex;
// True from the moment a drain takes a task until OnTaskComplete runs for it.
extern std::atomic<bool> g_queueBusy;
// Main thread only: the document the running task write-locked, and the request whose completion
// waits for a command the task typed into the host.
extern AcApDocument* g_lockedDocument;
extern std::string g_currentTaskReqId;

// Main thread, at load (tests: in their fixture). Replaces any runner installed before.
void InstallTaskRunner(TaskRunner runner);

uint64_t CurrentDocumentEpoch();
// Receiving thread: queues a copy of the task (stamping its epoch when it has none) and asks the
// host for a drain unless one is pending or a task is running. Never runs the task.
void EnqueueAndSchedule(const CommandTask& task);
// The drain, run by the host in the application context; the argument is ignored.
void ProcessCommandQueue(void* data);
// Gated on the active drawing, as the installed runner says; true when none is installed.
bool UsesActiveDocument(const CommandTask& task);

// Main thread. Ends the running task: forgets the request wherever it was registered (the
// listeners below), unlocks the task's document, clears the busy and deferred state, sends the
// answer and schedules the next drain, in that order. Safe to call when no task runs: it then only
// answers and schedules. The message is handed to the link as it is (move a large one in).
void OnTaskComplete(const std::string& reqId, std::string message, bool success);

// Main thread: called with every request id OnTaskComplete ends, before anything else (the
// drawing layouts query forgets its cancellation entry here). Registered at load.
void AddTaskEndListener(void (*listener)(const std::string& reqId));

// Main thread, inside a running task: its completion now waits for a command it is about to type
// into the host. Returns the outcome the task's run returns.
TaskOutcome DeferTaskToCommandLine(const std::string& reqId);
// True while the running task waits for a typed command.
bool TaskIsDeferred();

// Main thread, at load: the commands the host refused to register (replacing the previous list).
// A task that typed one of them would wait for ever for it to complete the task.
void SetUnregisteredCommands(std::vector<std::string> names);
// The "Error:" text a task ends with at once instead of typing `name` (letter case ignored, as the
// host matches command names); empty when the command was registered.
std::string UnregisteredCommandError(const std::string& name);

// Main thread: posts a drain when tasks wait, none runs and none is pending; after a refused post
// the next enqueue, completion or readiness probe tries again through here.
void RetryCommandDrain();

// Main thread, at unload: no drain runs any more; the deferred task and every queued task are
// answered with an "Error:" text (lost when the connection is already gone), the locked drawing
// is unlocked and the running state cleared. StartCommandPipeline (load) lets drains run again.
void StopCommandPipeline();
void StartCommandPipeline();

// Empties the queue and clears the running state without answering (tests; main thread).
void ResetCommandQueue();
