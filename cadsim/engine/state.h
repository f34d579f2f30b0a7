// Internal state of the simulated host. Engine sources only; the plug-in never sees this header.
//
// Threads: the posted-callback queue, faults, output and recorded URLs are guarded by their own
// mutexes because other threads reach them; everything else belongs to the main thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cadsim/control.h"
#include "cadsim/sdk/arx.h"

namespace cadsim {

struct ObjectStub {
  AcDbDatabase* database = nullptr;
  Adesk::UInt64 handle = 0;
};

struct LayoutData {
  std::wstring name;
  int tabOrder = 0;
  ObjectStub* stub = nullptr;
};

struct DatabaseData {
  explicit DatabaseData(AcDbDatabase* owner) : owner(owner) {}
  AcDbDatabase* owner;
  Adesk::UInt64 handseed = 0x20;
  std::deque<ObjectStub> stubs;  // deque: stubs never move, ids stay valid
  std::vector<LayoutData> layouts;  // [0] is model space
  size_t currentLayout = 0;
  std::map<std::wstring, std::wstring> variables;  // per-drawing system variables by upper name

  ObjectStub* newStub();
  LayoutData* findLayout(const std::wstring& name);
};

class InputPointManagerImpl : public AcEdInputPointManager {
 public:
  Acad::ErrorStatus addInputContextReactor(AcEdInputContextReactor* r) override;
  Acad::ErrorStatus removeInputContextReactor(AcEdInputContextReactor* r) override;
  std::vector<AcEdInputContextReactor*> reactors;
};

struct DocumentData {
  DocumentData() : facade(this) {}
  AcApDocument facade;  // the document's identity for the plug-in
  std::wstring fileName;
  std::wstring title;
  std::unique_ptr<AcDbDatabase> database;
  bool named = false;
  bool readOnly = false;
  bool quiescent = false;
  bool opening = false;
  bool busy = false;
  int commandDepth = 0;
  int lockCount = 0;
  AcAp::DocLockMode lockMode = AcAp::kNone;
  InputPointManagerImpl inputPoints;
};

struct PendingInput {
  AcApDocument* doc;
  std::wstring text;
  bool activate;
};

struct RegisteredCommand {
  std::wstring group;
  std::wstring globalName;
  Adesk::Int32 flags;
  AcRxFunctionPtr fn;
};

struct HostState {
  // Reached from any thread.
  std::mutex postMutex;
  std::condition_variable postWake;
  std::deque<std::pair<AcApExecuteInApplicationContextCallback, void*>> posted;
  bool wakeRequested = false;

  std::mutex faultMutex;
  struct Fault {
    int status;
    bool persistent;
  };
  std::map<std::string, Fault> faults;
  std::vector<std::string> faultLog;

  std::mutex outputMutex;
  std::string output;
  size_t outputTaken = 0;
  std::vector<std::string> urls;
  std::string displayName;

  // Main thread only.
  std::vector<std::unique_ptr<DocumentData>> documents;
  AcApDocument* cur = nullptr;
  AcApDocument* mdiActive = nullptr;
  bool managerAvailable = true;
  bool appContext = false;
  bool activationEnabled = true;
  int untitledCounter = 0;
  std::vector<AcApDocManagerReactor*> docReactors;
  std::vector<AcEditorReactor*> editorReactors;
  std::deque<PendingInput> input;
  std::vector<RegisteredCommand> commands;
  std::map<std::wstring, BuiltinCommand> builtins;
  std::map<std::wstring, std::wstring> sessionVariables;
  int displayRefreshes = 0;
};

HostState& state();

// Records a fault when main-thread-only host code is reached from another thread.
void requireMainThread(const char* what);

// Engine helpers shared by the sources.
DocumentData* dataOf(AcApDocument* doc);  // null when doc is not an open drawing
AcDbDatabase* currentDatabase();
void raiseDocEvent(const std::function<void(AcApDocManagerReactor*)>& fn);
void raiseEditorEvent(const std::function<void(AcEditorReactor*)>& fn);
bool executeLine(AcApDocument* doc, const std::wstring& line);
void registerBuiltins();
void installRegistry();
std::wstring upper(const std::wstring& s);

}  // namespace cadsim
