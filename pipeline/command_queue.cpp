#include "pipeline/command_queue.h"

#include <exception>

#include "host/platform.h"
#include "link/client_state.h"
#include "pipeline/command_dispatch.h"
#include "pipeline/result_reporting.h"
#include "plugin/document_readiness.h"

std::deque<CommandTask> g_pendingQueue;
std::mutex g_queueMutex;
std::atomic<bool> g_queueBusy{false};
AcApDocument* g_lockedDocument = nullptr;
std::string g_currentTaskReqId;

namespace {

const char* const kNotReadyAtRun =
    "CAD_DOCUMENT_NOT_READY: The active document changed or is still initializing.";

std::function<void(const CommandTask&)> g_testRunner;  // main thread only

void ScheduleDrain() {
  if (AcApDocManager* manager = acDocManagerPtr())
    manager->beginExecuteInApplicationContext(ProcessCommandQueue, nullptr);
}

}  // namespace

uint64_t CurrentDocumentEpoch() {
  std::lock_guard<std::mutex> lock(g_lifecycleMutex);
  return g_metadata.documentEpoch;
}

bool UsesActiveDocument(const CommandTask& task) {
  switch (task.kind) {
    case kQueryDrawingLayouts:
    case kOpenDwg:
    case kQueryLayoutContext:
    case kSimulateLayoutPlot:
    case kLayoutPlot:
    case kLayoutCustomPlot:
      return false;
    default:
      return true;
  }
}

void EnqueueAndSchedule(const CommandTask& task) {
  CommandTask copy = task;
  if (copy.documentEpoch == 0) copy.documentEpoch = CurrentDocumentEpoch();
  bool wasEmpty;
  {
    std::lock_guard<std::mutex> lock(g_queueMutex);
    wasEmpty = g_pendingQueue.empty();
    g_pendingQueue.push_back(std::move(copy));
  }
  // A pending drain or the running task's completion picks the new task up.
  if (!wasEmpty || g_queueBusy.load()) return;
  ScheduleDrain();
}

void ProcessCommandQueue(void*) {
  ORVIK_ASSERT_MAIN_THREAD();
  if (g_queueBusy.load()) return;
  AcApDocManager* manager = acDocManagerPtr();
  if (!manager) return;  // unloading: nothing can run or be rescheduled
  if (!manager->isApplicationContext()) {
    ScheduleDrain();
    return;
  }
  CommandTask task;
  {
    std::lock_guard<std::mutex> lock(g_queueMutex);
    if (g_pendingQueue.empty()) return;
    task = std::move(g_pendingQueue.front());
    g_pendingQueue.pop_front();
  }
  g_queueBusy.store(true);
  // From here every path ends the task through OnTaskComplete exactly once.
  try {
    manager = acDocManagerPtr();
    if (!manager) {
      OnTaskComplete(task.reqId, "Error: acDocManager is null.", true);
      return;
    }
    if (UsesActiveDocument(task) && !validateCadDocumentTask(task.documentEpoch)) {
      OnTaskComplete(task.reqId, kNotReadyAtRun, false);
      return;
    }
    if (g_testRunner) g_testRunner(task);
    else RunTaskBranch(task, manager);
  } catch (const std::exception& e) {
    OnTaskComplete(task.reqId, e.what(), false);
  } catch (...) {
    OnTaskComplete(task.reqId, "Error: Unknown C++ exception.", false);
  }
}

void ResetCommandQueue() {
  {
    std::lock_guard<std::mutex> lock(g_queueMutex);
    g_pendingQueue.clear();
  }
  g_queueBusy.store(false);
  g_lockedDocument = nullptr;
  g_currentTaskReqId.clear();
}

void SetTaskRunnerForTesting(std::function<void(const CommandTask&)> runner) { g_testRunner = std::move(runner); }
