// The fault point of the simulated host's SDK entry points, the main-thread check, and the log of
// host faults. Any thread may get here (beginExecuteInApplicationContext is called from the
// plug-in's threads), so everything is under one mutex.
#include "cadsim/engine/host_calls.h"

#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "cadsim/control/session.h"

namespace cadsim {
namespace {

struct Fault {
  size_t pass;  // calls of the name still to let through
  int status;
  bool persistent;
};

struct FaultState {
  std::mutex mutex;
  std::map<std::string, Fault> faults;  // by call name or "name:argument"
  std::map<std::string, int> delays;    // milliseconds, by call name or "name:argument"
  bool nthArmed = false;
  size_t nthPass = 0;  // counted calls still to let through before the nth fails
  size_t total = 0;
  std::map<std::string, size_t> counts;
  std::vector<std::string> failures;
  std::vector<std::string> log;

  void clearPlanted() {
    faults.clear();
    delays.clear();
    nthArmed = false;
    nthPass = 0;
    total = 0;
    counts.clear();
    failures.clear();
  }

  // A fault planted on `key` takes this call: ticks it, and answers whether the call fails now.
  bool planted(const std::string& key, int* status) {
    auto it = faults.find(key);
    if (it == faults.end()) return false;
    if (it->second.pass > 0) {
      --it->second.pass;
      return false;
    }
    *status = it->second.status;
    if (!it->second.persistent) faults.erase(it);
    return true;
  }

  int delayFor(const std::string& key) const {
    auto it = delays.find(key);
    return it == delays.end() ? 0 : it->second;
  }
};

// Slow calls sleep with the lock released, so other threads' host calls go on meanwhile.
void sleepFor(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

FaultState& faultState() {
  static FaultState* s = new FaultState();  // never destroyed: other threads may outlive main's exit
  return *s;
}

}  // namespace

void requireMainThread(const char* what) {
  if (!isMainThread()) reportFault(std::string(what) + " called off the main thread");
}

void failCall(const std::string& name, int status, bool persistent) { failNthCall(name, 1, status, persistent); }

void failNthCall(const std::string& name, size_t n, int status, bool persistent) {
  if (n == 0) return;
  FaultState& s = faultState();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.faults[name] = Fault{n - 1, status, persistent};
}

void failNthHostCall(size_t n) {
  if (n == 0) return;
  FaultState& s = faultState();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.nthArmed = true;
  s.nthPass = n - 1;
}

void delayCall(const std::string& name, int milliseconds) {
  FaultState& s = faultState();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (milliseconds > 0) s.delays[name] = milliseconds;
  else s.delays.erase(name);
}

void clearFaults() {
  FaultState& s = faultState();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.clearPlanted();
}

void resetFaults() {
  FaultState& s = faultState();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.clearPlanted();
  s.log.clear();
}

bool hostCallFails(const char* name, int failure, int* status, const char* alsoAnswers) {
  FaultState& s = faultState();
  std::unique_lock<std::mutex> lock(s.mutex);
  const int delay = s.delayFor(name);
  ++s.total;
  ++s.counts[name];
  bool fails = s.planted(name, status) || (alsoAnswers && s.planted(alsoAnswers, status));
  if (s.nthArmed) {
    if (s.nthPass == 0) {
      s.nthArmed = false;
      if (!fails) *status = failure;
      fails = true;
    } else {
      --s.nthPass;
    }
  }
  if (fails) s.failures.push_back(name);
  lock.unlock();
  sleepFor(delay);
  return fails;
}

bool argumentFails(const std::string& name, const std::string& argument, int* status) {
  FaultState& s = faultState();
  std::unique_lock<std::mutex> lock(s.mutex);
  const std::string key = name + ":" + argument;
  const int delay = s.delayFor(key);
  const bool fails = s.planted(key, status);
  if (fails) s.failures.push_back(key);
  lock.unlock();
  sleepFor(delay);
  return fails;
}

size_t hostCallCount() {
  FaultState& s = faultState();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.total;
}

size_t hostCallCount(const std::string& name) {
  FaultState& s = faultState();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = s.counts.find(name);
  return it == s.counts.end() ? 0 : it->second;
}

std::map<std::string, size_t> hostCallCounts() {
  FaultState& s = faultState();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.counts;
}

std::vector<std::string> injectedFailures() {
  FaultState& s = faultState();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.failures;
}

std::vector<std::string> faultLog() {
  FaultState& s = faultState();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.log;
}

void reportFault(const std::string& what) {
  FaultState& s = faultState();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.log.push_back(what);
}

}  // namespace cadsim
