// The fault point of the simulated host's SDK entry points, the main-thread check, and the log of
// host faults. Any thread may get here (beginExecuteInApplicationContext is called from the
// plug-in's threads). Planting, clearing and every call made while something is planted go under
// one mutex; while nothing is planted a call only bumps its atomic counters, because a walk over
// a large drawing makes millions of calls and tests read the counts far less often.
#include "cadsim/engine/host_calls.h"

#include <atomic>
#include <fstream>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "cadsim/control/session.h"
#include "cadsim/control/strings.h"

namespace cadsim {
namespace {

struct Fault {
  size_t pass;  // calls of the name still to let through
  int status;
  bool persistent;
};

// The count of one call name. Slots are never freed, so a pointer to one stays good for the
// process; clearing zeroes them instead.
struct CallSlot {
  explicit CallSlot(std::string n) : name(std::move(n)) {}
  const std::string name;
  std::atomic<size_t> count{0};
};

// Finds a name's slot by the address of its text without a lock: call sites pass literals, so
// one address nearly always means one name. An entry is claimed once (key stored after slot, so
// a reader that sees the key sees a slot) and its slot only ever swapped for another; readers
// compare the slot's name with the text, so an address reused for other text costs a miss, never
// a wrong count.
class SlotCache {
 public:
  CallSlot* find(const char* name) const {
    for (size_t i = 0, at = start(name); i < kProbes; ++i, at = (at + 1) & (kSize - 1)) {
      const char* key = m_entries[at].key.load(std::memory_order_acquire);
      if (key == nullptr) return nullptr;
      if (key != name) continue;
      CallSlot* slot = m_entries[at].slot.load(std::memory_order_acquire);
      return std::strcmp(slot->name.c_str(), name) == 0 ? slot : nullptr;
    }
    return nullptr;
  }
  // Callers hold the registry's mutex, so stores never race each other.
  void store(const char* name, CallSlot* slot) {
    for (size_t i = 0, at = start(name); i < kProbes; ++i, at = (at + 1) & (kSize - 1)) {
      Entry& e = m_entries[at];
      const char* key = e.key.load(std::memory_order_relaxed);
      if (key == name) {
        e.slot.store(slot, std::memory_order_release);
        return;
      }
      if (key == nullptr) {
        e.slot.store(slot, std::memory_order_release);
        e.key.store(name, std::memory_order_release);
        return;
      }
    }
    // Full around this address: the call stays on the locked lookup.
  }

 private:
  static constexpr size_t kSize = 1024;  // a power of two, well above the SDK's call names
  static constexpr size_t kProbes = 16;
  struct Entry {
    std::atomic<const char*> key{nullptr};
    std::atomic<CallSlot*> slot{nullptr};
  };
  static size_t start(const char* name) {
    const auto bits = reinterpret_cast<std::uintptr_t>(name);
    return static_cast<size_t>((bits >> 3) ^ (bits >> 13)) & (kSize - 1);
  }
  Entry m_entries[kSize];
};

struct FaultState {
  std::mutex mutex;
  std::map<std::string, Fault> faults;  // by call name or "name:argument"
  std::map<std::string, int> delays;    // milliseconds, by call name or "name:argument"
  std::map<std::string, std::string> gates;  // release file, by call name or "name:argument"
  bool nthArmed = false;
  size_t nthPass = 0;  // counted calls still to let through before the nth fails
  std::map<std::string, std::unique_ptr<CallSlot>> slots;  // every name ever called, by name
  SlotCache cache;
  std::vector<std::string> failures;
  std::vector<std::string> log;
  // Written under the mutex (rearm), read without it: whether any fault, delay or nth call is
  // planted, and whether any of the faults or delays is a narrowed "name:argument" one.
  std::atomic<bool> anyPlanted{false};
  std::atomic<bool> narrowedPlanted{false};

  void clearPlanted() {
    faults.clear();
    delays.clear();
    gates.clear();
    nthArmed = false;
    nthPass = 0;
    for (auto& slot : slots) slot.second->count.store(0, std::memory_order_relaxed);
    failures.clear();
    rearm();
  }

  // Called under the mutex after every change to what is planted.
  void rearm() {
    bool narrowed = false;
    for (const auto& f : faults) narrowed = narrowed || f.first.find(':') != std::string::npos;
    for (const auto& d : delays) narrowed = narrowed || d.first.find(':') != std::string::npos;
    for (const auto& g : gates) narrowed = narrowed || g.first.find(':') != std::string::npos;
    narrowedPlanted.store(narrowed, std::memory_order_release);
    anyPlanted.store(nthArmed || !faults.empty() || !delays.empty() || !gates.empty(), std::memory_order_release);
  }

  // Under the mutex.
  CallSlot& slotLocked(const char* name) {
    auto it = slots.find(name);
    if (it == slots.end()) it = slots.emplace(name, std::make_unique<CallSlot>(name)).first;
    cache.store(name, it->second.get());
    return *it->second;
  }

  CallSlot& slotFor(const char* name) {
    if (CallSlot* slot = cache.find(name)) return *slot;
    std::lock_guard<std::mutex> lock(mutex);
    return slotLocked(name);
  }

  // The total is the sum of the slots, so a call pays for one atomic add.
  void count(CallSlot& slot) { slot.count.fetch_add(1, std::memory_order_relaxed); }

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

  // Under the mutex: the release file of a gate planted on `key`, taken (a gate holds one call).
  std::string takeGate(const std::string& key) {
    auto it = gates.find(key);
    if (it == gates.end()) return std::string();
    std::string release = it->second;
    gates.erase(it);
    return release;
  }
};

// Slow calls sleep with the lock released, so other threads' host calls go on meanwhile.
void sleepFor(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// A gated call says it has begun (RELEASE.reached) and waits, with the lock released, until the
// test creates RELEASE (at most a minute): the test acts while the call is known to be under way.
void passGate(const std::string& release) {
  if (release.empty()) return;
  std::ofstream(release + ".reached").put('\n');
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!std::ifstream(release).good() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

FaultState& faultState() {
  static FaultState* s = new FaultState();  // never destroyed: other threads may outlive main's exit
  return *s;
}

bool argumentFailsLocked(const char* name, std::string_view argument, int* status) {
  FaultState& s = faultState();
  std::unique_lock<std::mutex> lock(s.mutex);
  std::string key = name;
  key += ':';
  key += argument;
  const int delay = s.delayFor(key);
  const std::string gate = s.takeGate(key);
  const bool fails = s.planted(key, status);
  if (fails) s.failures.push_back(key);
  s.rearm();
  lock.unlock();
  passGate(gate);
  sleepFor(delay);
  return fails;
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
  s.rearm();
}

void failNthHostCall(size_t n) {
  if (n == 0) return;
  FaultState& s = faultState();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.nthArmed = true;
  s.nthPass = n - 1;
  s.rearm();
}

void delayCall(const std::string& name, int milliseconds) {
  FaultState& s = faultState();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (milliseconds > 0) s.delays[name] = milliseconds;
  else s.delays.erase(name);
  s.rearm();
}

void gateCall(const std::string& name, const std::string& releaseFile) {
  FaultState& s = faultState();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.gates[name] = releaseFile;
  s.rearm();
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
  CallSlot& slot = s.slotFor(name);
  if (!s.anyPlanted.load(std::memory_order_acquire)) {
    s.count(slot);
    return false;
  }
  std::unique_lock<std::mutex> lock(s.mutex);
  const int delay = s.delayFor(name);
  const std::string gate = s.takeGate(name);
  s.count(slot);
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
  s.rearm();
  lock.unlock();
  passGate(gate);
  sleepFor(delay);
  return fails;
}

bool argumentFails(const char* name, std::string_view argument, int* status) {
  if (!faultState().narrowedPlanted.load(std::memory_order_acquire)) return false;
  return argumentFailsLocked(name, argument, status);
}

bool argumentFails(const char* name, const ACHAR* argument, int* status) {
  if (!faultState().narrowedPlanted.load(std::memory_order_acquire)) return false;
  return argumentFailsLocked(name, narrow(argument ? argument : L""), status);
}

size_t hostCallCount() {
  FaultState& s = faultState();
  std::lock_guard<std::mutex> lock(s.mutex);
  size_t total = 0;
  for (const auto& slot : s.slots) total += slot.second->count.load(std::memory_order_relaxed);
  return total;
}

size_t hostCallCount(const std::string& name) {
  FaultState& s = faultState();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = s.slots.find(name);
  return it == s.slots.end() ? 0 : it->second->count.load(std::memory_order_relaxed);
}

std::map<std::string, size_t> hostCallCounts() {
  FaultState& s = faultState();
  std::lock_guard<std::mutex> lock(s.mutex);
  std::map<std::string, size_t> counts;
  for (const auto& slot : s.slots)
    if (const size_t n = slot.second->count.load(std::memory_order_relaxed)) counts.emplace(slot.first, n);
  return counts;
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
