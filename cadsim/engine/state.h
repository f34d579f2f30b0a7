// Internal state of the simulated host. Engine sources only; the plug-in never sees this header.
//
// Threads: the posted-callback queue, faults and output are guarded by their own
// mutexes because other threads reach them; everything else belongs to the main thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "cadsim/control.h"
#include "cadsim/sdk/arx.h"


namespace cadsim {

// The identity behind an AcDbObjectId. Stubs are never freed: an id kept after its database is
// gone finds `database` null instead of freed memory.
struct ObjectStub {
  AcDbDatabase* database = nullptr;
  Adesk::UInt64 handle = 0;
  AcDbObject* object = nullptr;  // owned by the database's `objects`
};

struct DatabaseData {
  explicit DatabaseData(AcDbDatabase* owner);
  ~DatabaseData();
  AcDbDatabase* owner;
  Adesk::UInt64 handseed = 1;
  std::map<Adesk::UInt64, ObjectStub*> byHandle;
  std::vector<std::unique_ptr<AcDbObject>> objects;
  AcDbObjectId blockTable, layerTable, textStyleTable, namedObjects, layoutDictionary;
  AcDbObjectId modelSpace, currentLayout, lastPaperLayout, clayer, textstyle;
  std::wstring fileName;  // the file it was read from
  std::map<std::wstring, std::wstring> variables;  // per-drawing system variables by upper name
  int anonymousCounter = 0;

  // Takes ownership of a new object and gives it an id (handle 0: the next free one). Objects
  // added this way are not open.
  AcDbObjectId add(AcDbObject* object, AcDbObjectId owner, Adesk::UInt64 handle = 0);
};

// The object behind an id without opening it (engine use only); null for a stale id or an object
// of another class.
AcDbObject* peekObject(AcDbObjectId id);
template <class T>
T* peek(AcDbObjectId id) {
  return T::cast(peekObject(id));
}
// Makes an engine-made object database-resident and open for write, as the SDK's append calls do.
Acad::ErrorStatus addOpenForWrite(AcDbDatabase* db, AcDbObject* object, AcDbObjectId owner,
                                  AcDbObjectId* id);
// Builds the default drawing's tables, spaces, layouts and dictionaries.
void buildDefaultDrawing(DatabaseData& data);

// Layouts.
std::vector<AcDbObjectId> layoutIds(AcDbDatabase* db);  // in tab order
AcDbObjectId findLayout(AcDbDatabase* db, const std::wstring& name);  // model: both names
std::wstring layoutName(AcDbObjectId layout);
bool isModelName(const std::wstring& name);
// Makes a layout current; false for an id that is not a layout of db.
bool makeLayoutCurrent(AcDbDatabase* db, AcDbObjectId layout);
// Writes CTAB in the current drawing (a layout switch); RTNORM, or RTERROR for an unknown name.
int setCtab(const std::wstring& name);
// Layout creation shared by the builder and the layout manager.
AcDbObjectId createPaperLayout(AcDbDatabase* db, const std::wstring& name, int tabOrder,
                               AcDbObjectId* blockRecord);

// Drawing files.
Acad::ErrorStatus loadDrawingFile(AcDbDatabase* db, const std::wstring& path);
// Turns a DXF file into the (empty) database's objects.
Acad::ErrorStatus readDxfInto(AcDbDatabase* db, const std::string& path);
// The same import from text in memory (the import's fuzz target).
Acad::ErrorStatus readDxfTextInto(AcDbDatabase* db, std::string_view text);
bool strictDrawingFiles();
bool createLockFiles(const std::string& drawingPath);
// Back to the defaults: fonts, layout manager, lenient drawing files.
void resetDrawingServices();
void removeLockFiles(const std::string& drawingPath);
bool layoutManagerAvailable();

// Fault injection shortcut: true with *es set when the call (or "call:argument") is to fail.
bool injectedFault(const std::string& name, Acad::ErrorStatus* es);

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
// Runs a command line (not AutoLISP) in doc; false when the command is unknown or failed.
bool executeCommandLine(AcApDocument* doc, const std::wstring& line);
// System variables of the current drawing, shared by acedGetVar/acedSetVar and AutoLISP.
int getVariable(const std::wstring& upperName, resbuf* result);
int setVariable(const std::wstring& upperName, const resbuf& value);
void appendOutputText(const std::string& utf8);
void registerBuiltins();
void installRegistry();
std::wstring upper(const std::wstring& s);

// Engine writes to resident objects that nobody has open (building a drawing, importing one):
// the write is allowed for the duration of fn only.
template <class T, class Fn>
void edit(T* object, Fn&& fn) {
  bool was = object->objectState().writer;
  object->objectState().writer = true;
  fn(object);
  object->objectState().writer = was;
}

}  // namespace cadsim
