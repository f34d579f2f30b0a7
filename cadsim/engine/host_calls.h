// What the simulated host's SDK entry points share, whatever their area: the main-thread check
// and the fault point that counts each call and decides whether it fails
// (cadsim/control/faults.h says which calls are fault points and how they fail).
#pragma once

#include <string>
#include <string_view>

#include "cadsim/control/faults.h"
#include "cadsim/sdk/acad_types.h"

namespace cadsim {

// Records a fault when main-thread-only host code is reached from another thread.
void requireMainThread(const char* what);

// The fault point of one SDK entry point (thread-safe). Counts the call under `name` and answers
// whether it is to fail: through a fault planted on `name`, or on `alsoAnswers` (the inner call
// the entry point is made of: a fault planted on acdbOpenObject also fails getRecord), with the
// planted status; or as the nth host call, with `failure`, the way the host fails this call.
// Engine code calls the engine's own helpers, never a fault point, so only the caller's calls
// count. `name` is best a string literal: its address finds the call's counter without a lock
// (any other text is still counted right, only slower).
bool hostCallFails(const char* name, int failure, int* status, const char* alsoAnswers = nullptr);
inline bool hostCallFails(const char* name, Acad::ErrorStatus failure, Acad::ErrorStatus* status,
                          const char* alsoAnswers = nullptr) {
  int planted = 0;
  if (!hostCallFails(name, static_cast<int>(failure), &planted, alsoAnswers)) return false;
  *status = static_cast<Acad::ErrorStatus>(planted);
  return true;
}
// The fault point of a call that fails with a null answer.
inline bool hostCallAnswersNull(const char* name, const char* alsoAnswers = nullptr) {
  int ignored = 0;
  return hostCallFails(name, 0, &ignored, alsoAnswers);
}
// A fault planted on "name:argument", which narrows a call's faults to one argument. Not a call of
// its own: it is not counted and never the nth host call. The text "name:argument" is only made
// while some narrowed fault or delay is planted, so the wide form narrows nothing otherwise.
bool argumentFails(const char* name, std::string_view argument, int* status);
bool argumentFails(const char* name, const ACHAR* argument, int* status);

// Drops planted faults, counts and the fault log (reset()).
void resetFaults();

}  // namespace cadsim
