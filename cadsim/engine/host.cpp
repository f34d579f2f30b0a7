// The simulated host's session: main thread, posted callbacks, the idle loop, typed input (AutoLISP
// or a command line) and output.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cwchar>
#include <thread>

#include "cadsim/engine/database_state.h"
#include "cadsim/engine/lisp.h"
#include "cadsim/engine/plot/plot_services.h"
#include "cadsim/engine/session_state.h"

namespace cadsim {
namespace {

std::atomic<std::thread::id> g_mainThread{std::this_thread::get_id()};

// AutoLISP runs in its drawing (current while it runs) without being a command.
template <typename Fn>
void withCurrentDocument(AcApDocument* doc, Fn&& body) {
  SessionState& s = session();
  AcApDocument* previousCur = s.cur;
  s.cur = doc;
  DocumentData* d = dataOf(doc);
  if (d) ++d->commandDepth;
  body();
  if ((d = dataOf(doc)) != nullptr) --d->commandDepth;
  if (!dataOf(s.cur) || s.cur == doc) s.cur = dataOf(previousCur) ? previousCur : s.mdiActive;
}

// Settles one drawing into quiescence, if one is due; returns whether it did.
bool settleQuiescence() {
  SessionState& s = session();
  for (auto& d : s.documents) {
    if (d->quiescent || d->opening || d->busy || d->commandDepth > 0) continue;
    d->quiescent = true;
    std::vector<AcEdInputContextReactor*> reactors = d->inputPoints.reactors;
    for (AcEdInputContextReactor* r : reactors) {
      auto& live = d->inputPoints.reactors;
      if (std::find(live.begin(), live.end(), r) != live.end()) r->beginQuiescentState();
    }
    return true;
  }
  return false;
}

bool runOneInput() {
  SessionState& s = session();
  if (s.input.empty()) return false;
  PendingInput in = s.input.front();
  s.input.pop_front();
  if (!dataOf(in.doc)) return true;  // the drawing was closed meanwhile: its input goes with it
  if (in.activate && s.mdiActive != in.doc) activate(in.doc);
  // Lines typed in one go. A LISP evaluation that is cancelled or ends in an error drops the rest,
  // as the host does; a command line that fails (an unknown command, say) does not.
  size_t start = 0;
  while (start <= in.text.size()) {
    size_t end = in.text.find(L'\n', start);
    std::wstring line = in.text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    // An AutoLISP form may go on over several lines; it runs once its parentheses close.
    size_t first = line.find_first_not_of(L" \t");
    if (first != std::wstring::npos && line[first] == L'(') {
      while (!lispComplete(line) && end != std::wstring::npos) {
        size_t next = in.text.find(L'\n', end + 1);
        std::wstring more = in.text.substr(end + 1, next == std::wstring::npos ? std::wstring::npos : next - end - 1);
        if (!more.empty() && more.back() == L'\r') more.pop_back();
        line += L"\n" + more;
        end = next;
      }
    }
    s.typeAhead = &in.text;
    s.typeAheadAt = end == std::wstring::npos ? in.text.size() + 1 : end + 1;
    const bool goOn = line.empty() || executeLine(in.doc, line);
    start = s.typeAheadAt;  // past the answers the line's command read
    s.typeAhead = nullptr;
    if (!goOn || start > in.text.size()) break;
    if (!dataOf(in.doc)) break;
  }
  return true;
}

}  // namespace

bool executeLine(AcApDocument* doc, const std::wstring& rawLine) {
  std::wstring line = rawLine;
  while (!line.empty() && (line.front() == L' ' || line.front() == L'\t')) line.erase(0, 1);
  while (!line.empty() && (line.back() == L' ' || line.back() == L'\t')) line.pop_back();
  if (line.empty()) return true;
  if (line.front() == L'(') {
    std::wstring firstLine = line.substr(0, line.find(L'\n'));
    raiseEditorEvent([&](AcEditorReactor* r) { r->lispWillStart(firstLine.c_str()); });
    bool ok = false;
    withCurrentDocument(doc, [&] { ok = evaluateLisp(doc, line); });
    if (ok) raiseEditorEvent([](AcEditorReactor* r) { r->lispEnded(); });
    else raiseEditorEvent([](AcEditorReactor* r) { r->lispCancelled(); });
    return ok;
  }
  executeCommandLine(doc, line);
  return true;
}

void typeLine(const std::string& line) {
  requireMainThread("typeLine");
  executeLine(session().mdiActive, widen(line));
}

SessionState& session() {
  static SessionState* s = new SessionState();  // never destroyed: other threads may outlive main's exit
  return *s;
}

void bindMainThread() { g_mainThread.store(std::this_thread::get_id()); }
bool isMainThread() { return g_mainThread.load() == std::this_thread::get_id(); }

void reset() {
  bindMainThread();
  SessionState& s = session();
  {
    std::lock_guard<std::mutex> lock(s.postMutex);
    s.posted.clear();
    s.wakeRequested = false;
  }
  resetFaults();
  {
    std::lock_guard<std::mutex> lock(s.outputMutex);
    s.output.clear();
    s.outputTaken = 0;
  }
  for (auto& d : s.documents)
    if (d->hasLockFiles) removeLockFiles(narrow(d->fileName));
  s.documents.clear();
  resetDrawingServices();
  resetSelectionSets();
  resetPlotServices();
  s.cur = s.mdiActive = nullptr;
  s.managerAvailable = true;
  s.appContext = false;
  s.activationEnabled = true;
  s.untitledCounter = 0;
  s.docReactors.clear();
  s.editorReactors.clear();
  s.input.clear();
  s.commands.clear();
  s.builtins.clear();
  s.sessionVariables.clear();
  s.displayRefreshes = 0;
  acdbHostApplicationServices()->setWorkingDatabase(nullptr);
  registerBuiltins();
  installRegistry();
}

bool runOneCallback() {
  requireMainThread("runOneCallback");
  SessionState& s = session();
  std::pair<cadsim::AppContextCallback, void*> item;
  {
    std::lock_guard<std::mutex> lock(s.postMutex);
    if (s.posted.empty()) return false;
    item = s.posted.front();
    s.posted.pop_front();
  }
  bool wasAppContext = s.appContext;
  s.appContext = true;
  item.first(item.second);
  s.appContext = wasAppContext;
  return true;
}

size_t pendingCallbackCount() {
  SessionState& s = session();
  std::lock_guard<std::mutex> lock(s.postMutex);
  return s.posted.size();
}

size_t runUntilIdle(size_t maxSteps) {
  requireMainThread("runUntilIdle");
  size_t steps = 0;
  while (steps < maxSteps) {
    if (runOneCallback() || runOneInput() || settleQuiescence()) {
      ++steps;
      continue;
    }
    return steps;
  }
  reportFault("runUntilIdle: still busy after " + std::to_string(maxSteps) + " steps");
  return steps;
}

void waitForWork(int timeoutMs) {
  SessionState& s = session();
  std::unique_lock<std::mutex> lock(s.postMutex);
  s.postWake.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [&] { return !s.posted.empty() || s.wakeRequested; });
  s.wakeRequested = false;
}

void wake() {
  SessionState& s = session();
  {
    std::lock_guard<std::mutex> lock(s.postMutex);
    s.wakeRequested = true;
  }
  s.postWake.notify_all();
}

std::string output() {
  SessionState& s = session();
  std::lock_guard<std::mutex> lock(s.outputMutex);
  return s.output;
}

void clearOutput() {
  SessionState& s = session();
  std::lock_guard<std::mutex> lock(s.outputMutex);
  s.output.clear();
  s.outputTaken = 0;
}

std::vector<std::string> takeOutputLines() {
  SessionState& s = session();
  std::lock_guard<std::mutex> lock(s.outputMutex);
  std::vector<std::string> lines;
  size_t pos = s.outputTaken;
  for (;;) {
    size_t nl = s.output.find('\n', pos);
    if (nl == std::string::npos) break;
    lines.push_back(s.output.substr(pos, nl - pos));
    pos = nl + 1;
  }
  s.outputTaken = pos;
  // Keep the buffer from growing for ever in a long-running program.
  if (s.outputTaken > (1u << 20)) {
    s.output.erase(0, s.outputTaken);
    s.outputTaken = 0;
  }
  return lines;
}

int displayRefreshCount() { return session().displayRefreshes; }

}  // namespace cadsim
