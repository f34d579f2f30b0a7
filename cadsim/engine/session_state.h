// The simulated host's session area: the main thread with its posted callbacks, the open
// documents and the document manager, the command line with its commands, AutoLISP, system
// variables, reactors and output. Engine sources only; the plug-in never sees this header.
//
// Threads: the posted-callback queue and the output are guarded by their own mutexes because
// other threads reach them; everything else belongs to the main thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cadsim/control/drawings.h"
#include "cadsim/control/output.h"
#include "cadsim/control/session.h"
#include "cadsim/control/strings.h"
#include "cadsim/engine/host_calls.h"
#include "cadsim/sdk/arx.h"

namespace cadsim {

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
  bool hasLockFiles = false;  // "<name>.dwl" and ".dwl2" were made beside the file
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

struct SessionState {
  // Reached from any thread.
  std::mutex postMutex;
  std::condition_variable postWake;
  std::deque<std::pair<cadsim::AppContextCallback, void*>> posted;
  bool wakeRequested = false;

  std::mutex outputMutex;
  std::string output;
  size_t outputTaken = 0;

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
  // The text being typed and where its next unread line starts, while one of its lines runs; the
  // command of that line may read the lines after it as answers to its prompts.
  const std::wstring* typeAhead = nullptr;
  size_t typeAheadAt = 0;
  std::vector<RegisteredCommand> commands;
  std::map<std::wstring, BuiltinCommand> builtins;
  std::map<std::wstring, std::wstring> sessionVariables;
  int displayRefreshes = 0;
};

SessionState& session();

// --- documents -----------------------------------------------------------------------------------

DocumentData* dataOf(AcApDocument* doc);  // null when doc is not an open drawing
void lock(DocumentData& d, AcAp::DocLockMode mode);
// Opens a drawing file as appContextOpenDocument does (a path with no file is not found).
Acad::ErrorStatus openDrawingFile(const std::string& path, bool readOnly = false);
AcDbDatabase* currentDatabase();
void raiseDocEvent(const std::function<void(AcApDocManagerReactor*)>& fn);
void raiseEditorEvent(const std::function<void(AcEditorReactor*)>& fn);
bool createLockFiles(const std::string& drawingPath);
void removeLockFiles(const std::string& drawingPath);

// --- command line --------------------------------------------------------------------------------

// Runs a typed line, AutoLISP or a command line, in doc. False when it cancels the rest of the
// input typed with it: an AutoLISP evaluation that was cancelled or ended in an error.
bool executeLine(AcApDocument* doc, const std::wstring& line);
// Runs a command line (not AutoLISP) in doc; false when the command is unknown or failed.
bool executeCommandLine(AcApDocument* doc, const std::wstring& line);
// System variables of the current drawing, shared by acedGetVar/acedSetVar and AutoLISP.
int getVariable(const std::wstring& upperName, resbuf* result);
int setVariable(const std::wstring& upperName, const resbuf& value);
// The view variables (VIEWDIR, TARGET, VIEWTWIST, VIEWCTR, VIEWSIZE, CVPORT) of the current
// drawing's current space; *handled false for any other name.
int getViewVariable(const std::wstring& upperName, resbuf* result, bool* handled);
void appendOutputText(const std::string& utf8);
void registerBuiltins();
void installRegistry();

}  // namespace cadsim
