#include "pipeline/session_actions.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "host/opened_object.h"
#include "host/platform.h"
#include "host/strings.h"
#include "pipeline/command_dispatch.h"
#include "pipeline/document_binding.h"
#include "pipeline/layout_switch.h"
#include "pipeline/request_json.h"
#include "plugin/messages.h"

namespace {

const char* const kMarkerCommand = "orvik-notify-lisp-done";
const char* const kMarkerLine = "_.orvik-notify-lisp-done\n";
const char* const kNoActiveDocument = "Error: No active document.";

// A freshly opened drawing may still be loading: it is polled for this long before giving up.
constexpr int kDatabaseWaitAttempts = 150;
constexpr int kDatabaseWaitStepMs = 200;
constexpr int kOpenSettleMs = 100;

std::function<void(int)> g_sleepForTesting;  // main thread only

void Sleep(int milliseconds) {
  if (g_sleepForTesting) g_sleepForTesting(milliseconds);
  else std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// Reads a system variable; a string value comes back in UTF-8 and is freed here.
int GetVariable(const ACHAR* name, std::string* text) {
  resbuf rb{};
  const int status = acedGetVar(name, &rb);
  if (status == RTNORM && rb.restype == RTSTR && rb.resval.rstring) {
    if (text) *text = OrvikUtf8(rb.resval.rstring);
    std::free(rb.resval.rstring);  // acedGetVar malloc()s its strings
  }
  return status;
}

bool ReadCtab(std::string& value) {
  value.clear();
  resbuf rb{};
  if (acedGetVar(L"CTAB", &rb) != RTNORM) return false;
  if (rb.restype != RTSTR || !rb.resval.rstring) return false;
  value = OrvikUtf8(rb.resval.rstring);
  std::free(rb.resval.rstring);  // acedGetVar malloc()s its strings
  return true;
}

// The name a reply gives a document: its file name, or the requested path when it has none.
std::string ReportedName(AcApDocument* document, const std::string& requested) {
  std::string name = DocumentPath(document);
  return name.empty() ? requested : name;
}

bool EndsWith(const std::string& text, const char* suffix) {
  const std::string s(suffix);
  return text.size() >= s.size() && text.compare(text.size() - s.size(), s.size(), s) == 0;
}

// The paper-space layouts of a drawing in tab order, read from its layout dictionary.
std::vector<std::string> PaperSpaceLayoutNames(AcDbDatabase* database) {
  std::vector<std::pair<int, std::string>> found;
  if (!database) return {};
  OpenedObject<AcDbDictionary> dictionary;
  if (database->getLayoutDictionary(dictionary.object, AcDb::kForRead) != Acad::eOk || !dictionary.object) {
    dictionary.object = nullptr;
    return {};
  }
  AcDbDictionaryIterator* it = dictionary.object->newIterator();
  for (; it && !it->done(); it->next()) {
    OpenedObject<AcDbLayout> layout;
    if (acdbOpenObject(layout.object, it->objectId(), AcDb::kForRead) != Acad::eOk || !layout.object) {
      layout.object = nullptr;
      continue;
    }
    if (layout.object->modelType()) continue;
    const ACHAR* name = nullptr;
    if (layout.object->getLayoutName(name) != Acad::eOk || !name) continue;
    found.emplace_back(layout.object->getTabOrder(), OrvikUtf8(name));
  }
  delete it;
  std::stable_sort(found.begin(), found.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> names;
  for (auto& entry : found) names.push_back(std::move(entry.second));
  return names;
}

AcDbDatabase* CurrentDatabase() {
  AcApDocManager* manager = acDocManagerPtr();
  AcApDocument* document = manager ? manager->curDocument() : nullptr;
  return document ? document->database() : nullptr;
}

}  // namespace

std::string ActiveDwgPath(AcApDocManager* manager) {
  if (!manager) return std::string();
  AcApDocument* doc = manager->mdiActiveDocument();
  if (!doc) doc = manager->curDocument();
  return DocumentPath(doc);
}

std::string CurrentSpaceName() {
  ORVIK_ASSERT_MAIN_THREAD();
  std::string name;
  return ReadCtab(name) ? name : std::string(kModelSpaceName);
}

bool VerifyDirExists(const std::string& path) {
  if (path.empty()) return false;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode);
}

int SwitchSpace(const std::string& name) {
  ORVIK_ASSERT_MAIN_THREAD();
  std::wstring wide = OrvikWide(name);
  if (wide.size() > kMaxLayoutNameChars) return RTERROR;
  resbuf rb{};
  rb.restype = RTSTR;
  rb.resval.rstring = &wide[0];
  return acedSetVar(L"CTAB", &rb);
}

std::string PrepareLispCode(const std::string& code) {
  std::string out;
  out.reserve(code.size() + 1);
  for (char c : code)
    if (c != '\r') out.push_back(c);
  if (out.empty() || out.back() != '\n') out.push_back('\n');
  return out;
}

std::string EscapeLispString(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

size_t SweepDrawingLockFiles(const std::string& drawingPath) {
  namespace fs = std::filesystem;
  const size_t slash = drawingPath.rfind('/');
  if (slash == std::string::npos) return 0;
  const std::string folder = drawingPath.substr(0, slash);
  // Only the drawing's own tree: never the whole file system.
  if (folder.find_first_not_of('/') == std::string::npos) return 0;

  size_t deleted = 0;
  std::error_code ec;
  fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
  for (const fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
    std::error_code statusError;
    // symlink_status: a link is judged as itself, so nothing outside the tree is reached.
    const fs::file_status status = it->symlink_status(statusError);
    if (statusError || !fs::is_regular_file(status)) continue;
    const std::string name = it->path().filename().string();
    if (!EndsWith(name, ".dwl") && !EndsWith(name, ".dwl2")) continue;
    std::error_code removeError;
    if (fs::remove(it->path(), removeError)) ++deleted;
  }
  return deleted;
}

namespace {

std::string SendFailure(Acad::ErrorStatus status) {
  return "Error: sendStringToExecute code=" + std::to_string(static_cast<int>(status));
}

// A control character cannot be part of a layout name, and a line feed would split the typed text
// into command lines of its own.
bool HasControlCharacter(const std::string& text) {
  for (const unsigned char c : text)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

// Types the text into the drawing; its marker line completes the task later. A text the host
// refuses never reaches the marker, so the task ends here instead of holding the queue for ever.
TaskOutcome HandToCommandLine(AcApDocManager* manager, AcApDocument* document, const std::string& reqId,
                              const std::string& text) {
  const std::string unregistered = UnregisteredCommandError(kMarkerCommand);
  if (!unregistered.empty()) return TaskOutcome::Done(unregistered);
  const std::wstring wide = OrvikWide(text);
  TaskOutcome deferred = DeferTaskToCommandLine(reqId);
  const Acad::ErrorStatus sent = manager->sendStringToExecute(document, wide.c_str(), true, false, false);
  if (sent != Acad::eOk) return TaskOutcome::Done(SendFailure(sent));
  return deferred;
}

TaskOutcome RunLisp(const CommandTask& task, AcApDocManager* manager, bool waitForCompletion) {
  if (task.params.empty()) return TaskOutcome::Done("Error: Empty LISP code.");
  const TaskDocument locked = LockCurrentDocument(manager);
  if (!locked) return TaskOutcome::Done(locked.error);
  std::string text = PrepareLispCode(task.params);
  if (!waitForCompletion) {
    const std::wstring wide = OrvikWide(text);
    const Acad::ErrorStatus sent = manager->sendStringToExecute(locked.document, wide.c_str(), false, false, false);
    return TaskOutcome::Done(sent == Acad::eOk ? std::string("OK") : SendFailure(sent));
  }
  text += kMarkerLine;
  return HandToCommandLine(manager, locked.document, task.reqId, text);
}

TaskOutcome RunLispTask(const CommandTask& task, AcApDocManager* manager) {
  ORVIK_ASSERT_MAIN_THREAD();
  return RunLisp(task, manager, true);
}

TaskOutcome RunLispNoWaitTask(const CommandTask& task, AcApDocManager* manager) {
  ORVIK_ASSERT_MAIN_THREAD();
  return RunLisp(task, manager, false);
}

TaskOutcome SwitchSpaceTask(const CommandTask& task, AcApDocManager* manager) {
  ORVIK_ASSERT_MAIN_THREAD();
  if (task.params.empty()) return TaskOutcome::Done("Error: spaceName required");
  if (HasControlCharacter(task.params))
    return TaskOutcome::Done("Error: spaceName must not contain control characters.");
  const TaskDocument locked = LockCurrentDocument(manager);
  if (!locked) return TaskOutcome::Done(locked.error);
  const std::string text = "(setvar \"CTAB\" \"" + EscapeLispString(task.params) + "\")\n" + kMarkerLine;
  return HandToCommandLine(manager, locked.document, task.reqId, text);
}

TaskOutcome OpenDwgTask(const CommandTask& task, AcApDocManager* manager) {
  ORVIK_ASSERT_MAIN_THREAD();
  const std::string path = QuoteStripped(task.params);  // again, as at admission
  if (path.empty()) return TaskOutcome::Done("Error: Empty DWG path.");

  if (AcApDocument* open = FindOpenDocumentByPath(manager, path)) {
    if (manager->curDocument() == open && manager->mdiActiveDocument() == open)
      return TaskOutcome::Done("ALREADY_CURRENT:" + ReportedName(open, path));
    if (!ActivateDocument(manager, open)) return TaskOutcome::Done("Error: Could not activate requested DWG.");
    const TaskDocument locked = LockTaskDocument(manager, open);
    if (!locked) return TaskOutcome::Done(locked.error);
    return TaskOutcome::Done("SWITCHED:" + ReportedName(open, path));
  }

  SweepDrawingLockFiles(path);
  const std::wstring wide = OrvikWide(path);
  const Acad::ErrorStatus status = manager->appContextOpenDocument(wide.c_str());
  if (status != Acad::eOk)
    return TaskOutcome::Done("Error: Open failed code=" + std::to_string(static_cast<int>(status)));
  AcApDocument* opened = FindOpenDocumentByPath(manager, path);
  if (!opened) return TaskOutcome::Done("Error: Requested DWG was not found after open.");
  if (!ActivateDocument(manager, opened))
    return TaskOutcome::Done("Error: Requested DWG was opened but could not be activated.");
  const TaskDocument locked = LockTaskDocument(manager, opened);
  if (!locked) return TaskOutcome::Done(locked.error);
  bool loaded = false;
  for (int attempt = 0; attempt < kDatabaseWaitAttempts; ++attempt) {
    if (opened->database() && GetVariable(L"DWGTITLED", nullptr) == RTNORM) {
      loaded = true;
      break;
    }
    Sleep(kDatabaseWaitStepMs);
  }
  if (!loaded) return TaskOutcome::Done("Error: DB load timeout");
  Sleep(kOpenSettleMs);
  return TaskOutcome::Done("OPENED:" + ReportedName(opened, path));
}

TaskOutcome CloseDwgTask(const CommandTask&, AcApDocManager* manager) {
  ORVIK_ASSERT_MAIN_THREAD();
  AcApDocument* document = manager->curDocument();
  if (!document) return TaskOutcome::Done(kNoActiveDocument);
  // The last drawing is never closed: the host would be left without one.
  if (manager->documentCount() <= 1) return TaskOutcome::Done("LAST_DOC");
  const bool activationWasEnabled = manager->isDocumentActivationEnabled();
  if (activationWasEnabled) manager->disableDocumentActivation();
  const Acad::ErrorStatus status = manager->appContextCloseDocument(document);
  if (activationWasEnabled) manager->enableDocumentActivation();
  if (status == Acad::eOk) return TaskOutcome::Done("CLOSED");
  return TaskOutcome::Done("Error: close failed code=" + std::to_string(static_cast<int>(status)));
}

TaskOutcome GetDwgPathTask(const CommandTask&, AcApDocManager* manager) {
  return TaskOutcome::Done(ActiveDwgPath(manager));
}

TaskOutcome GetCurrentSpaceTask(const CommandTask&, AcApDocManager*) { return TaskOutcome::Done(CurrentSpaceName()); }

std::string VerifyDirAnswer(const std::string&, const std::string& path) {
  return VerifyDirExists(path) ? "EXISTS" : "NOT_FOUND";
}

// clang-format off
const ActionRow kSessionActions[] = {
    // name             kind              parameters                     empty answer                  gate   answered
    {"getDwgPath",      kGetDwgPath,      ActionParams::kNone,          nullptr,                      true,  ActionAnswer::kQueued, nullptr, nullptr, GetDwgPathTask},
    {"getCurrentSpace", kGetCurrentSpace, ActionParams::kNone,          nullptr,                      true,  ActionAnswer::kQueued, nullptr, nullptr, GetCurrentSpaceTask},
    {"verifyDir",       -1,               ActionParams::kQuoteStripped, nullptr,                      false, ActionAnswer::kAtOnce, VerifyDirAnswer, nullptr, nullptr},
    {"runLisp",         kRunLisp,         ActionParams::kAsReceived,    "Error: Empty LISP code.",    true,  ActionAnswer::kQueued, nullptr, nullptr, RunLispTask},
    {"runLispNoWait",   kRunLispNoWait,   ActionParams::kAsReceived,    "Error: Empty LISP code.",    true,  ActionAnswer::kQueued, nullptr, nullptr, RunLispNoWaitTask},
    {"switchSpace",     kSwitchSpace,     ActionParams::kQuoteStripped, "Error: spaceName required",  true,  ActionAnswer::kQueued, nullptr, nullptr, SwitchSpaceTask},
    {"openDwg",         kOpenDwg,         ActionParams::kQuoteStripped, "Error: Empty DWG path.",     false, ActionAnswer::kQueued, nullptr, nullptr, OpenDwgTask},
    {"closeDwg",        kCloseDwg,        ActionParams::kNone,          nullptr,                      true,  ActionAnswer::kQueued, nullptr, nullptr, CloseDwgTask},
};
// clang-format on

}  // namespace

void RegisterSessionActions() { RegisterActions(kSessionActions); }

void orvikNotifyLispDoneCmd() {
  try {
    const std::string reqId = g_currentTaskReqId;
    std::wstring wide = OrvikWide(reqId);
    acutPrintf(orvikText(kMsgLispCompleted), wide.c_str());
    OnTaskComplete(reqId, "OK", true);
  } catch (...) {
    // Nothing may escape into the host's command loop.
  }
}

void SetSessionSleepForTesting(std::function<void(int)> sleep) { g_sleepForTesting = std::move(sleep); }

void orvikListSpacesCmd() {
  try {
    acutPrintf(orvikText(kMsgSpacesHeading));
    acutPrintf(orvikText(kMsgSpacesModelLine));
    const std::vector<std::string> names = PaperSpaceLayoutNames(CurrentDatabase());
    for (size_t i = 0; i < names.size(); ++i) {
      const std::wstring wide = OrvikWide(names[i]);
      acutPrintf(orvikText(kMsgSpacesPaperLine), static_cast<int>(i + 1), wide.c_str());
    }
    if (names.empty()) acutPrintf(orvikText(kMsgSpacesNone));
    std::string ctab;
    if (ReadCtab(ctab)) {
      const std::wstring wide = OrvikWide(ctab);
      acutPrintf(orvikText(kMsgSpacesCurrentLine), wide.c_str());
    }
    acutPrintf(orvikText(kMsgSpacesClosingRule));
  } catch (...) {
    // Nothing may escape into the host's command loop.
  }
}

void orvikSwitchRandomSpaceCmd() {
  try {
    const std::vector<std::string> names = PaperSpaceLayoutNames(CurrentDatabase());
    if (names.empty()) {
      SwitchSpace(kModelSpaceName);
      acutPrintf(orvikText(kMsgNoPaperSwitchedToModel));
      return;
    }
    const std::string& chosen = names[static_cast<size_t>(std::rand()) % names.size()];
    SwitchSpace(chosen);
    acutPrintf(orvikText(kMsgRandomSwitched), chosen.c_str());
    std::string ctab;
    ReadCtab(ctab);
    const std::wstring wide = OrvikWide(ctab);
    acutPrintf(orvikText(kMsgCurrentCtab), wide.c_str());
  } catch (...) {
    // Nothing may escape into the host's command loop.
  }
}

void orvikCurrentSpaceCmd() {
  try {
    std::string ctab;
    if (ReadCtab(ctab)) {
      const std::wstring wide = OrvikWide(ctab);
      acutPrintf(orvikText(kMsgCurrentSpace), wide.c_str());
    } else {
      acutPrintf(orvikText(kMsgCurrentSpaceUnreadable));
    }
  } catch (...) {
    // Nothing may escape into the host's command loop.
  }
}
