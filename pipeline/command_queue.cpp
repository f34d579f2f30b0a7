#include "pipeline/command_queue.h"

#include <exception>
#include <utility>
#include <vector>

#include "host/host_entry.h"
#include "host/platform.h"
#include "link/client_state.h"
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
const char* const kUnloadedWhileQueued = "Error: The CAD plug-in was unloaded before the request ran.";
const char* const kUnloadedWhileDeferred =
    "Error: The CAD plug-in was unloaded before the command the request typed had run.";

// Main thread only.
TaskRunner g_runner;
std::vector<void (*)(const std::string&)> g_taskEndListeners;
bool g_taskDeferred = false;

// At most one drain is pending; a refused post is tried again later.
OrvikSinglePost g_drainPost;
// Cleared at unload: drains still posted then find nothing to do.
std::atomic<bool> g_pipelineRunning{true};

void ScheduleDrain() {
  // Nothing is posted once unloading began: it would run after the bundle is gone.
  if (g_pipelineRunning.load()) g_drainPost.post(acDocManagerPtr(), ProcessCommandQueue);
}

bool QueueIsEmpty() {
  std::lock_guard<std::mutex> lock(g_queueMutex);
  return g_pendingQueue.empty();
}

}  // namespace

void InstallTaskRunner(TaskRunner runner) { g_runner = std::move(runner); }

void AddTaskEndListener(void (*listener)(const std::string&)) {
  for (auto* known : g_taskEndListeners)
    if (known == listener) return;
  g_taskEndListeners.push_back(listener);
}

uint64_t CurrentDocumentEpoch() {
  std::lock_guard<std::mutex> lock(g_lifecycleMutex);
  return g_metadata.documentEpoch;
}

bool UsesActiveDocument(const CommandTask& task) {
  return g_runner.usesActiveDocument ? g_runner.usesActiveDocument(task) : true;
}

void EnqueueAndSchedule(const CommandTask& task) {
  CommandTask copy = task;
  if (copy.documentEpoch == 0) copy.documentEpoch = CurrentDocumentEpoch();
  {
    std::lock_guard<std::mutex> lock(g_queueMutex);
    g_pendingQueue.push_back(std::move(copy));
  }
  // The running task's completion picks the new task up; otherwise a drain is posted unless one
  // is pending already.
  if (g_queueBusy.load()) return;
  ScheduleDrain();
}

void ProcessCommandQueue(void*) {
  ORVIK_ASSERT_MAIN_THREAD();
  g_drainPost.ran();
  if (!g_pipelineRunning.load() || g_queueBusy.load()) return;
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
  // From here every path ends the task through OnTaskComplete exactly once: here, or for a
  // deferred task from the command it typed.
  TaskOutcome outcome;
  try {
    if (UsesActiveDocument(task) && !validateCadDocumentTask(task.documentEpoch))
      outcome = TaskOutcome::Done(kNotReadyAtRun, false);
    else if (g_runner.run)
      outcome = g_runner.run(task, manager);
    else
      outcome = TaskOutcome::Done("Error: Unsupported command kind " + std::to_string(task.kind) + ".");
  } catch (const std::exception& e) {
    outcome = TaskOutcome::Done(e.what(), false);
  } catch (...) {
    outcome = TaskOutcome::Done("Error: Unknown C++ exception.", false);
  }
  // A deferred task may already have been ended (its drawing closed, its LISP cancelled) before
  // the run returned: then the busy flag is down and there is nothing left to complete.
  if (outcome.deferred) return;
  try {
    OnTaskComplete(task.reqId, std::move(outcome.text), outcome.success);
  } catch (...) {
    // Nothing may escape into the host; the answer is lost but the queue has moved on.
  }
}

void OnTaskComplete(const std::string& reqId, std::string message, bool success) {
  ORVIK_ASSERT_MAIN_THREAD();
  const std::string id = reqId;  // reqId may be g_currentTaskReqId itself, cleared below
  for (auto* listener : g_taskEndListeners) listener(id);
  AcApDocument* locked = g_lockedDocument;
  g_lockedDocument = nullptr;
  AcApDocManager* manager = acDocManagerPtr();
  if (locked && manager) manager->unlockDocument(locked);
  g_queueBusy.store(false);
  g_taskDeferred = false;
  g_currentTaskReqId.clear();
  if (!id.empty()) SendCadResult(id, success ? "true" : "false", std::move(message));
  if (!QueueIsEmpty()) ScheduleDrain();
}

TaskOutcome DeferTaskToCommandLine(const std::string& reqId) {
  ORVIK_ASSERT_MAIN_THREAD();
  g_currentTaskReqId = reqId;
  g_taskDeferred = true;
  return TaskOutcome::Deferred();
}

bool TaskIsDeferred() { return g_taskDeferred; }

namespace {

std::vector<std::string> g_unregisteredCommands;  // main thread only

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

}  // namespace

void SetUnregisteredCommands(std::vector<std::string> names) {
  ORVIK_ASSERT_MAIN_THREAD();
  for (std::string& name : names) name = LowerAscii(name);
  g_unregisteredCommands = std::move(names);
}

std::string UnregisteredCommandError(const std::string& name) {
  ORVIK_ASSERT_MAIN_THREAD();
  const std::string wanted = LowerAscii(name);
  for (const std::string& missing : g_unregisteredCommands)
    if (missing == wanted)
      return "Error: The CAD command " + name + " is not registered, so the request cannot be completed.";
  return std::string();
}

void RetryCommandDrain() {
  if (g_queueBusy.load() || QueueIsEmpty()) return;
  ScheduleDrain();
}

void StopCommandPipeline() {
  ORVIK_ASSERT_MAIN_THREAD();
  g_pipelineRunning.store(false);
  // The queue goes first, so that ending the deferred task posts no drain into a bundle that is
  // about to be released.
  std::deque<CommandTask> dropped;
  {
    std::lock_guard<std::mutex> lock(g_queueMutex);
    dropped.swap(g_pendingQueue);
  }
  if (g_taskDeferred) OnTaskComplete(g_currentTaskReqId, kUnloadedWhileDeferred, true);
  for (const CommandTask& task : dropped) {
    for (auto* listener : g_taskEndListeners) listener(task.reqId);
    SendCadResult(task.reqId, "false", kUnloadedWhileQueued);
  }
  // A task running inside the drain cannot be here (unload runs on the main thread too), so what
  // is still marked running belongs to nobody.
  AcApDocument* locked = g_lockedDocument;
  g_lockedDocument = nullptr;
  if (AcApDocManager* manager = acDocManagerPtr(); locked && manager) manager->unlockDocument(locked);
  g_queueBusy.store(false);
  g_taskDeferred = false;
  g_currentTaskReqId.clear();
}

void StartCommandPipeline() { g_pipelineRunning.store(true); }

void ResetCommandQueue() {
  {
    std::lock_guard<std::mutex> lock(g_queueMutex);
    g_pendingQueue.clear();
  }
  g_queueBusy.store(false);
  g_drainPost.ran();
  g_pipelineRunning.store(true);
  g_lockedDocument = nullptr;
  g_taskDeferred = false;
  g_currentTaskReqId.clear();
}
