// The fault point of the simulated host's SDK entry points, the main-thread check, and the log of
// host faults. Any thread may get here (beginExecuteInApplicationContext is called from the
// plug-in's threads), so everything is under one mutex.
#include "cadsim/engine/host_calls.h"

#include <map>
#include <mutex>

#include "cadsim/control/session.h"

namespace cadsim {
namespace {

struct Fault {
  int status;
  bool persistent;
};

struct FaultState {
  std::mutex mutex;
  std::map<std::string, Fault> faults;
  std::vector<std::string> log;
};

FaultState& faultState() {
  static FaultState* s = new FaultState();  // never destroyed: other threads may outlive main's exit
  return *s;
}

}  // namespace

void requireMainThread(const char* what) {
  if (!isMainThread()) reportFault(std::string(what) + " called off the main thread");
}

void failCall(const std::string& name, int status, bool persistent) {
  FaultState& s = faultState();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.faults[name] = Fault{status, persistent};
}

void clearFaults() {
  FaultState& s = faultState();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.faults.clear();
}

void resetFaults() {
  FaultState& s = faultState();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.faults.clear();
  s.log.clear();
}

bool injectedStatus(const std::string& name, int* status) {
  FaultState& s = faultState();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = s.faults.find(name);
  if (it == s.faults.end()) return false;
  *status = it->second.status;
  if (!it->second.persistent) s.faults.erase(it);
  return true;
}

bool injectedFault(const std::string& name, Acad::ErrorStatus* es) {
  int status = 0;
  if (!injectedStatus(name, &status)) return false;
  *es = static_cast<Acad::ErrorStatus>(status);
  return true;
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
