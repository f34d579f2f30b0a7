// The hand-over between the connection's receiving thread and the host's main thread.
//
// Commands arrive on the receiving thread but may only touch drawings in the host's application
// context on the main thread. EnqueueAndSchedule puts a task on one first-in-first-out queue and
// asks the host to run the drain; ProcessCommandQueue takes exactly one task per run, checks that
// the drawing it was admitted for is still the ready active drawing, and runs it. Tasks run one at
// a time: a task counts as running from the moment the drain takes it until OnTaskComplete
// (pipeline/result_reporting.h), and only completion schedules the next drain.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

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

uint64_t CurrentDocumentEpoch();
// Receiving thread: queues a copy of the task (stamping its epoch when it has none) and asks the
// host for a drain unless one is pending or a task is running. Never runs the task.
void EnqueueAndSchedule(const CommandTask& task);
// The drain, run by the host in the application context; the argument is ignored.
void ProcessCommandQueue(void* data);
bool UsesActiveDocument(const CommandTask& task);

// Test hook: runs tasks through `runner` instead of the action table (nullptr restores it).
void SetTaskRunnerForTesting(std::function<void(const CommandTask&)> runner);

// Empties the queue and clears the running state (unload and tests; main thread).
void ResetCommandQueue();
