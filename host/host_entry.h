// Small shapes every host entry point of the plug-in shares.
#pragma once

#include <atomic>

#include "host/acad.h"

// Runs fn and swallows whatever it throws: the host's command loop, reactor calls and posted
// callbacks must never see an exception of ours.
template <class Fn>
void OrvikGuarded(Fn fn) {
  try {
    fn();
  } catch (...) {
  }
}

// A callback posted to the host's application context at most once at a time. The flag is set by
// compare-and-swap before the post and cleared again when the host refuses it, so a refused post
// never blocks the next one; the callback calls ran() first thing.
class OrvikSinglePost {
 public:
  // True when this call posted the callback.
  bool post(AcApDocManager* manager, void (*callback)(void*)) {
    if (!manager) return false;
    bool expected = false;
    if (!pending_.compare_exchange_strong(expected, true)) return false;
    if (manager->beginExecuteInApplicationContext(callback, nullptr) == Acad::eOk) return true;
    pending_.store(false);
    return false;
  }
  void ran() { pending_.store(false); }

 private:
  std::atomic<bool> pending_{false};
};
