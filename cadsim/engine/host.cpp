// The simulated host's session: main thread, posted callbacks, the idle loop, faults and output.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cwchar>
#include <thread>

#include "cadsim/engine/lisp.h"
#include "cadsim/dxf/dxf_text.h"
#include "cadsim/engine/state.h"

namespace cadsim {
namespace {

std::atomic<std::thread::id> g_mainThread{std::this_thread::get_id()};

// Settles one drawing into quiescence, if one is due; returns whether it did.
bool settleQuiescence() {
  HostState& s = state();
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
  HostState& s = state();
  if (s.input.empty()) return false;
  PendingInput in = s.input.front();
  s.input.pop_front();
  if (!dataOf(in.doc)) return true;  // the drawing was closed meanwhile: its input goes with it
  if (in.activate && s.mdiActive != in.doc) activate(in.doc);
  // Lines typed in one go: a line that fails cancels the rest, as the host's command line does.
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
    if (!line.empty() && !executeLine(in.doc, line)) break;
    if (end == std::wstring::npos) break;
    start = end + 1;
    if (!dataOf(in.doc)) break;
  }
  return true;
}

}  // namespace

HostState& state() {
  static HostState* s = new HostState();  // never destroyed: other threads may outlive main's exit
  return *s;
}

void bindMainThread() { g_mainThread.store(std::this_thread::get_id()); }
bool isMainThread() { return g_mainThread.load() == std::this_thread::get_id(); }

void requireMainThread(const char* what) {
  if (!isMainThread()) reportFault(std::string(what) + " called off the main thread");
}

void reset() {
  bindMainThread();
  HostState& s = state();
  {
    std::lock_guard<std::mutex> lock(s.postMutex);
    s.posted.clear();
    s.wakeRequested = false;
  }
  {
    std::lock_guard<std::mutex> lock(s.faultMutex);
    s.faults.clear();
    s.faultLog.clear();
  }
  {
    std::lock_guard<std::mutex> lock(s.outputMutex);
    s.output.clear();
    s.outputTaken = 0;
  }
  for (auto& d : s.documents)
    if (d->hasLockFiles) removeLockFiles(narrow(d->fileName));
  s.documents.clear();
  resetDrawingServices();
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
  HostState& s = state();
  std::pair<AcApExecuteInApplicationContextCallback, void*> item;
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
  HostState& s = state();
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
  HostState& s = state();
  std::unique_lock<std::mutex> lock(s.postMutex);
  s.postWake.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [&] { return !s.posted.empty() || s.wakeRequested; });
  s.wakeRequested = false;
}

void wake() {
  HostState& s = state();
  {
    std::lock_guard<std::mutex> lock(s.postMutex);
    s.wakeRequested = true;
  }
  s.postWake.notify_all();
}

void failCall(const std::string& name, int status, bool persistent) {
  HostState& s = state();
  std::lock_guard<std::mutex> lock(s.faultMutex);
  s.faults[name] = HostState::Fault{status, persistent};
}

void clearFaults() {
  HostState& s = state();
  std::lock_guard<std::mutex> lock(s.faultMutex);
  s.faults.clear();
}

bool injectedStatus(const std::string& name, int* status) {
  HostState& s = state();
  std::lock_guard<std::mutex> lock(s.faultMutex);
  auto it = s.faults.find(name);
  if (it == s.faults.end()) return false;
  *status = it->second.status;
  if (!it->second.persistent) s.faults.erase(it);
  return true;
}

std::vector<std::string> faultLog() {
  HostState& s = state();
  std::lock_guard<std::mutex> lock(s.faultMutex);
  return s.faultLog;
}

void reportFault(const std::string& what) {
  HostState& s = state();
  std::lock_guard<std::mutex> lock(s.faultMutex);
  s.faultLog.push_back(what);
}

std::string output() {
  HostState& s = state();
  std::lock_guard<std::mutex> lock(s.outputMutex);
  return s.output;
}

void clearOutput() {
  HostState& s = state();
  std::lock_guard<std::mutex> lock(s.outputMutex);
  s.output.clear();
  s.outputTaken = 0;
}

std::vector<std::string> takeOutputLines() {
  HostState& s = state();
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

std::wstring widen(const std::string& utf8) {
  // Strict decoding: overlong forms, encoded surrogates and values past U+10FFFF become U+FFFD,
  // so that no byte sequence can pose as another character (a "/" in a path, say).
  std::wstring out;
  out.reserve(utf8.size());
  size_t i = 0;
  const size_t n = utf8.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    size_t len;
    uint32_t cp;
    if (c < 0x80) {
      len = 1;
      cp = c;
    } else if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      cp = c & 0x07;
    } else {
      out.push_back(static_cast<wchar_t>(0xFFFD));
      ++i;
      continue;
    }
    size_t k = 1;
    for (; k < len && i + k < n; ++k) {
      unsigned char cc = static_cast<unsigned char>(utf8[i + k]);
      if ((cc & 0xC0) != 0x80) break;
      cp = (cp << 6) | (cc & 0x3F);
    }
    bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
    if (k < len || overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(static_cast<wchar_t>(0xFFFD));
      i += k;
      continue;
    }
    out.push_back(static_cast<wchar_t>(cp));
    i += len;
  }
  return out;
}

std::string narrow(const std::wstring& wide) {
  std::string out;
  out.reserve(wide.size());
  for (wchar_t w : wide) {
    uint32_t cp = static_cast<uint32_t>(w);
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    dxf::AppendUtf8(out, cp);
  }
  return out;
}

int displayRefreshCount() { return state().displayRefreshes; }

std::wstring upper(const std::wstring& s) {
  std::wstring u = s;
  for (auto& c : u)
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  return u;
}

}  // namespace cadsim
