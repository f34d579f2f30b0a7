// The simulated host's editor: command line output, system variables, the command line with its
// registered and built-in commands, the editor reactors and the system registry.
#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "cadsim/engine/database_state.h"
#include "cadsim/engine/session_state.h"

namespace cadsim {
namespace {

void appendOutput(const std::string& text) {
  SessionState& s = session();
  std::lock_guard<std::mutex> lock(s.outputMutex);
  s.output += text;
}

// Formats one conversion with the C library, after mapping the host's %s (wide) and %hs (narrow)
// onto the wide printf family's %ls and %s.
std::wstring formatHostPrintf(const ACHAR* format, va_list args) {
  std::wstring out;
  const ACHAR* p = format;
  while (*p) {
    if (*p != L'%') {
      out.push_back(*p++);
      continue;
    }
    const ACHAR* start = p++;
    if (*p == L'%') {
      out.push_back(L'%');
      ++p;
      continue;
    }
    std::wstring conversion(L"%");
    while (*p && std::wcschr(L"-+ #0", *p)) conversion.push_back(*p++);
    while (*p && ((*p >= L'0' && *p <= L'9') || *p == L'.' || *p == L'*')) {
      if (*p == L'*') conversion += std::to_wstring(va_arg(args, int)), ++p;
      else conversion.push_back(*p++);
    }
    std::wstring length;
    while (*p && std::wcschr(L"hlLqjzt", *p)) length.push_back(*p++);
    if (!*p) {
      out.append(start);
      break;
    }
    ACHAR conv = *p++;
    wchar_t buf[512];
    switch (conv) {
      case L's': {
        if (length == L"h") {
          const char* s = va_arg(args, const char*);
          out += widen(s ? s : "(null)");
        } else {
          const wchar_t* s = va_arg(args, const wchar_t*);
          out += s ? s : L"(null)";
        }
        break;
      }
      case L'c':
        out.push_back(static_cast<wchar_t>(va_arg(args, int)));
        break;
      case L'd':
      case L'i':
      case L'u':
      case L'x':
      case L'X':
      case L'o': {
        std::wstring f = conversion;
        if (length == L"l" || length == L"ll" || length == L"z" || length == L"j" || length == L"q") {
          f += L"ll";
          f.push_back(conv);
          long long v = (length == L"l") ? va_arg(args, long) : va_arg(args, long long);
          std::swprintf(buf, 512, f.c_str(), v);
        } else {
          f.push_back(conv);
          int v = va_arg(args, int);
          std::swprintf(buf, 512, f.c_str(), v);
        }
        out += buf;
        break;
      }
      case L'f':
      case L'F':
      case L'g':
      case L'G':
      case L'e':
      case L'E': {
        std::wstring f = conversion;
        f.push_back(conv);
        std::swprintf(buf, 512, f.c_str(), va_arg(args, double));
        out += buf;
        break;
      }
      case L'p': {
        std::swprintf(buf, 512, L"%p", va_arg(args, void*));
        out += buf;
        break;
      }
      default:
        out.append(start, p);
        break;
    }
  }
  return out;
}

}  // namespace

void appendOutputText(const std::string& utf8) { appendOutput(utf8); }

namespace {

class EditorImpl : public AcEditor {
 public:
  void addReactor(AcRxEventReactor* reactor) override {
    requireMainThread("AcEditor::addReactor");
    auto* r = dynamic_cast<AcEditorReactor*>(reactor);
    auto& v = session().editorReactors;
    if (r && std::find(v.begin(), v.end(), r) == v.end()) v.push_back(r);
  }
  void removeReactor(AcRxEventReactor* reactor) override {
    requireMainThread("AcEditor::removeReactor");
    auto* r = dynamic_cast<AcEditorReactor*>(reactor);
    auto& v = session().editorReactors;
    v.erase(std::remove(v.begin(), v.end(), r), v.end());
  }
};

class CommandStackImpl : public AcEdCommandStack {
 public:
  Acad::ErrorStatus addCommand(const ACHAR* group, const ACHAR* globalName, const ACHAR*,
                               Adesk::Int32 flags, AcRxFunctionPtr fn, AcEdUIContext*, int,
                               const AcRxResourceInstance&, AcEdCommand**) override {
    requireMainThread("addCommand");
    Acad::ErrorStatus es;
    if (hostCallFails("addCommand", Acad::eDuplicateKey, &es)) return es;
    if (!group || !globalName || !*globalName || !fn) return Acad::eInvalidInput;
    auto& cmds = session().commands;
    std::wstring name = upper(globalName);
    for (auto& c : cmds)
      if (upper(c.globalName) == name) return Acad::eDuplicateKey;
    cmds.push_back(RegisteredCommand{group, globalName, flags, fn});
    return Acad::eOk;
  }
  Acad::ErrorStatus removeGroup(const ACHAR* group) override {
    requireMainThread("removeGroup");
    if (!group) return Acad::eInvalidInput;
    auto& cmds = session().commands;
    size_t before = cmds.size();
    std::wstring g = upper(group);
    cmds.erase(std::remove_if(cmds.begin(), cmds.end(),
                              [&](const RegisteredCommand& c) { return upper(c.group) == g; }),
               cmds.end());
    return cmds.size() == before ? Acad::eKeyNotFound : Acad::eOk;
  }
  Acad::ErrorStatus removeCmd(const ACHAR* group, const ACHAR* globalName) override {
    requireMainThread("removeCmd");
    if (!group || !globalName) return Acad::eInvalidInput;
    auto& cmds = session().commands;
    std::wstring g = upper(group), n = upper(globalName);
    auto it = std::find_if(cmds.begin(), cmds.end(), [&](const RegisteredCommand& c) {
      return upper(c.group) == g && upper(c.globalName) == n;
    });
    if (it == cmds.end()) return Acad::eKeyNotFound;
    cmds.erase(it);
    return Acad::eOk;
  }
};

class DynamicLinkerImpl : public AcRxDynamicLinker {
 public:
  bool unlockApplication(void*) const override { return true; }
  bool registerAppMDIAware(void*) const override { return true; }
};

class RegistryImpl : public AcRxDictionary {
 public:
  AcRxObject* at(const ACHAR* key) const override {
    if (!key) return nullptr;
    std::wstring k = key;
    if (k == ACRX_DYNAMIC_LINKER) return &linker;
    if (k == ACRX_COMMAND_DOCK) return &commands;
    if (k == ACRX_EDITOR_NAME) return &editor;
    return nullptr;
  }
  mutable DynamicLinkerImpl linker;
  mutable CommandStackImpl commands;
  mutable EditorImpl editor;
};

RegistryImpl& registry() {
  static RegistryImpl* r = new RegistryImpl();
  return *r;
}

// A command runs inside the drawing: it leaves quiescence, raises the editor events (the body
// answers whether the command succeeded or failed) and, when it is done, lets the idle loop settle
// the drawing again.
template <typename Fn>
void runAsCommand(AcApDocument* doc, const std::wstring& name, Fn&& body) {
  SessionState& s = session();
  AcApDocument* previousCur = s.cur;
  s.cur = doc;
  if (DocumentData* d = dataOf(doc)) {
    ++d->commandDepth;
    if (d->quiescent) {
      d->quiescent = false;
      std::vector<AcEdInputContextReactor*> reactors = d->inputPoints.reactors;
      for (AcEdInputContextReactor* r : reactors) r->endQuiescentState();
    }
  }
  raiseEditorEvent([&](AcEditorReactor* r) { r->commandWillStart(name.c_str()); });
  const bool ok = body();
  if (DocumentData* d = dataOf(doc)) --d->commandDepth;
  if (ok) raiseEditorEvent([&](AcEditorReactor* r) { r->commandEnded(name.c_str()); });
  else raiseEditorEvent([&](AcEditorReactor* r) { r->commandFailed(name.c_str()); });
  // A command that closed its own drawing leaves the active one current.
  if (!dataOf(s.cur)) s.cur = dataOf(previousCur) ? previousCur : s.mdiActive;
}

std::wstring variableValue(const std::wstring& name, bool* found) {
  *found = true;
  SessionState& s = session();
  DocumentData* d = dataOf(s.cur);
  AcDbDatabase* db = d ? d->database.get() : nullptr;
  if (name == L"CTAB") {
    std::wstring current = db ? layoutName(db->data().currentLayout) : L"";
    *found = !current.empty();
    return current;
  }
  if (name == L"DWGTITLED") return d && d->named ? L"1" : L"0";
  if (name == L"DWGNAME") return d ? d->title : L"";
  if (name == L"DWGPREFIX") {
    if (!d) return L"";
    size_t slash = d->fileName.find_last_of(L"/\\");
    return slash == std::wstring::npos ? L"" : d->fileName.substr(0, slash + 1);
  }
  if (db) {
    auto it = db->data().variables.find(name);
    if (it != db->data().variables.end()) return it->second;
  }
  auto it = s.sessionVariables.find(name);
  if (it != s.sessionVariables.end()) return it->second;
  *found = false;
  return L"";
}

bool isNumericVariable(const std::wstring& name) { return name == L"DWGTITLED" || name == L"CVPORT"; }

}  // namespace

void installRegistry() { (void)registry(); }

bool executeCommandLine(AcApDocument* doc, const std::wstring& line) {
  SessionState& s = session();
  size_t space = line.find_first_of(L" \t");
  std::wstring word = line.substr(0, space);
  std::wstring args = space == std::wstring::npos ? L"" : line.substr(space + 1);
  std::wstring name = word;
  while (!name.empty() && (name.front() == L'_' || name.front() == L'.')) name.erase(0, 1);
  std::wstring key = upper(name);
  for (const RegisteredCommand& c : s.commands) {
    if (upper(c.globalName) != key) continue;
    AcRxFunctionPtr fn = c.fn;
    runAsCommand(doc, c.globalName, [&] {
      fn();
      return true;
    });
    return true;
  }
  auto it = s.builtins.find(key);
  if (it != s.builtins.end()) {
    BuiltinCommand fn = it->second;
    std::string a = narrow(args);
    bool ok = true;
    runAsCommand(doc, key, [&] {
      try {
        fn(a);
      } catch (const std::exception& e) {
        appendOutput(std::string(e.what()) + "\n");
        ok = false;
      }
      return ok;
    });
    return ok;
  }
  appendOutput("Unknown command \"" + narrow(upper(word)) + "\".  Press F1 for help.\n");
  return false;
}

void defineBuiltinCommand(const std::string& name, BuiltinCommand fn) {
  session().builtins[upper(widen(name))] = std::move(fn);
}

void registerBuiltins() {
  defineBuiltinCommand("NEW", [](const std::string&) { newDrawing(); });
  defineBuiltinCommand("OPEN", [](const std::string& path) {
    if (path.empty()) throw std::runtime_error("OPEN needs a drawing path.");
    Acad::ErrorStatus status = openDrawingFile(path);
    if (status != Acad::eOk)
      throw std::runtime_error("Cannot open " + path + " (status " + std::to_string(status) + ").");
  });
  defineBuiltinCommand("CLOSE", [](const std::string&) {
    if (session().mdiActive) close(session().mdiActive);
  });
  defineBuiltinCommand("_REGENALL", [](const std::string&) { appendOutput("Regenerating model.\n"); });
  defineBuiltinCommand("REGENALL", [](const std::string&) { appendOutput("Regenerating model.\n"); });
}

void fireCommandEnded(const std::string& name) {
  std::wstring w = widen(name);
  raiseEditorEvent([&](AcEditorReactor* r) { r->commandEnded(w.c_str()); });
}
void fireCommandCancelled(const std::string& name) {
  std::wstring w = widen(name);
  raiseEditorEvent([&](AcEditorReactor* r) { r->commandCancelled(w.c_str()); });
}
void fireCommandFailed(const std::string& name) {
  std::wstring w = widen(name);
  raiseEditorEvent([&](AcEditorReactor* r) { r->commandFailed(w.c_str()); });
}
void fireLispEnded() {
  raiseEditorEvent([](AcEditorReactor* r) { r->lispEnded(); });
}
void fireLispCancelled() {
  raiseEditorEvent([](AcEditorReactor* r) { r->lispCancelled(); });
}

}  // namespace cadsim

using cadsim::requireMainThread;
using cadsim::session;

AcRxDictionary* acrxSysRegistry() { return &cadsim::registry(); }

int acutPrintf(const ACHAR* format, ...) {
  requireMainThread("acutPrintf");
  if (!format) return 0;
  va_list args;
  va_start(args, format);
  std::wstring text = cadsim::formatHostPrintf(format, args);
  va_end(args);
  cadsim::appendOutput(cadsim::narrow(text));
  return static_cast<int>(text.size());
}

// Pairs with cadsim::allocCopy (new[]), as the SDK's own pairs with its string allocator. A
// string from malloc (acedGetVar's) freed here is an allocation mismatch the sanitizers report.
void acutDelString(ACHAR*& pString) {
  delete[] pString;
  pString = nullptr;
}

const AcRxResourceInstance& AcRxResourceInstance::empty() {
  static const AcRxResourceInstance none;
  return none;
}

void acedUpdateDisplay() {
  requireMainThread("acedUpdateDisplay");
  ++session().displayRefreshes;
}

int acedGetVar(const ACHAR* sym, struct resbuf* result) {
  requireMainThread("acedGetVar");
  int status = 0;
  if (cadsim::hostCallFails("acedGetVar", RTERROR, &status)) return status;
  if (!sym || !result) return RTERROR;
  return cadsim::getVariable(cadsim::upper(sym), result);
}

int acedGetString(int cronly, const ACHAR* prompt, ACHAR* result, size_t bufLen) {
  requireMainThread("acedGetString");
  int status = 0;
  if (cadsim::hostCallFails("acedGetString", RTERROR, &status)) return status;
  if (!result || bufLen == 0) return RTERROR;
  if (prompt) acutPrintf(L"%ls", prompt);
  cadsim::SessionState& s = cadsim::session();
  if (!s.typeAhead || s.typeAheadAt > s.typeAhead->size()) return RTCAN;
  const std::wstring& text = *s.typeAhead;
  size_t end = text.find(L'\n', s.typeAheadAt);
  if (end == std::wstring::npos) end = text.size();
  std::wstring answer = text.substr(s.typeAheadAt, end - s.typeAheadAt);
  s.typeAheadAt = end + 1;
  if (!answer.empty() && answer.back() == L'\r') answer.pop_back();
  if (!cronly) answer = answer.substr(0, answer.find(L' '));
  if (answer.size() + 1 > bufLen) return RTERROR;
  std::copy(answer.begin(), answer.end(), result);
  result[answer.size()] = L'\0';
  return RTNORM;
}

int acedSetVar(const ACHAR* sym, const struct resbuf* val) {
  requireMainThread("acedSetVar");
  int status = 0;
  if (cadsim::hostCallFails("acedSetVar", RTREJ, &status)) return status;
  if (!sym || !val) return RTERROR;
  return cadsim::setVariable(cadsim::upper(sym), *val);
}

namespace cadsim {

int getVariable(const std::wstring& name, resbuf* result) {
  bool handled = false;
  int viewStatus = getViewVariable(name, result, &handled);
  if (handled) return viewStatus;
  bool found = false;
  std::wstring value = variableValue(name, &found);
  if (!found) return RTERROR;
  result->rbnext = nullptr;
  if (isNumericVariable(name)) {
    result->restype = RTSHORT;
    result->resval.rint = static_cast<short>(std::wcstol(value.c_str(), nullptr, 10));
    return RTNORM;
  }
  result->restype = RTSTR;
  size_t bytes = (value.size() + 1) * sizeof(ACHAR);
  result->resval.rstring = static_cast<ACHAR*>(std::malloc(bytes));  // the caller free()s it
  if (!result->resval.rstring) return RTERROR;
  std::memcpy(result->resval.rstring, value.c_str(), bytes);
  return RTNORM;
}

int setVariable(const std::wstring& name, const resbuf& val) {
  SessionState& s = session();
  DocumentData* d = dataOf(s.cur);
  if (name == L"CTAB") {
    if (val.restype != RTSTR || !val.resval.rstring) return RTERROR;
    return setCtab(currentDatabase(), val.resval.rstring);
  }
  if (name == L"DWGTITLED" || name == L"DWGNAME" || name == L"DWGPREFIX") return RTERROR;  // read-only
  std::wstring value;
  if (val.restype == RTSTR && val.resval.rstring) value = val.resval.rstring;
  else if (val.restype == RTSHORT) value = std::to_wstring(val.resval.rint);
  else if (val.restype == RTLONG) value = std::to_wstring(val.resval.rlong);
  else if (val.restype == RTREAL) value = std::to_wstring(val.resval.rreal);
  else return RTERROR;
  if (d) d->database->data().variables[name] = value;
  else s.sessionVariables[name] = value;
  return RTNORM;
}

}  // namespace cadsim
