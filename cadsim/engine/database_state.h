// The simulated host's database area: object identity, the objects of each drawing database,
// symbol tables, layouts and drawing files. Engine sources only; the plug-in never sees this.
//
// Databases may be made and destroyed on any thread (the open-object reports lock for that);
// their objects are opened on the main thread.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cadsim/control/content.h"
#include "cadsim/control/strings.h"
#include "cadsim/control/view.h"
#include "cadsim/engine/host_calls.h"
#include "cadsim/engine/plot/plot_looks.h"
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
  std::map<AcDbObjectId, ViewState> views;  // by space block record; a space not here shows plan
  bool readOnly = false;  // a drawing opened read-only: objects do not open for write
  int anonymousCounter = 0;
  AcDbObjectId activeViewport;  // the viewport a user made current on its layout (setActiveViewport)
  std::map<AcDbObjectId, PlotLook> looks;  // entities and layers whose plot look is not the default

  // Takes ownership of a new object and gives it an id (handle 0: the next free one). Objects
  // added this way are not open.
  AcDbObjectId add(AcDbObject* object, AcDbObjectId owner, Adesk::UInt64 handle = 0);
};

// --- objects -------------------------------------------------------------------------------------

// The object behind an id without opening it (engine use only); null for a stale id or an object
// of another class.
AcDbObject* peekObject(AcDbObjectId id);
template <class T>
T* peek(AcDbObjectId id) {
  return T::cast(peekObject(id));
}
// Opens an object as acdbOpenObject does, without being a host call of its own (no fault point).
Acad::ErrorStatus openObject(AcDbObject*& object, AcDbObjectId id, AcDb::OpenMode mode,
                             bool openErased = false);
// The SDK calls that open an object for their caller (getRecord, getBlockTable, ...): a fault
// point of their own that also answers faults planted on acdbOpenObject, and on
// "acdbOpenObject:<class>" for the class it opens, then the typed open.
template <class T>
Acad::ErrorStatus openAsCall(const char* call, T*& out, AcDbObjectId id, AcDb::OpenMode mode,
                             bool openErased = false) {
  out = nullptr;
  requireMainThread(call);
  Acad::ErrorStatus es;
  if (hostCallFails(call, Acad::eWasOpenForWrite, &es, "acdbOpenObject")) return es;
  int planted = 0;
  if (argumentFails("acdbOpenObject", T::desc()->name(), &planted))
    return static_cast<Acad::ErrorStatus>(planted);
  AcDbObject* raw = nullptr;
  if ((es = openObject(raw, id, mode, openErased)) != Acad::eOk) return es;
  out = T::cast(raw);
  if (!out) {
    raw->close();
    return Acad::eNotThatKindOfClass;
  }
  return Acad::eOk;
}
// The "getName" fault point of layouts and symbol table records, narrowed by the object's class
// ("getName:AcDbLayout", "getName:AcDbBlockTableRecord").
inline bool nameReadFails(const AcDbObject* object, Acad::ErrorStatus* status) {
  if (hostCallFails("getName", Acad::eInvalidInput, status)) return true;
  int planted = 0;
  if (!argumentFails("getName", object->isA()->name(), &planted)) return false;
  *status = static_cast<Acad::ErrorStatus>(planted);
  return true;
}
// Makes an engine-made object database-resident and open for write, as the SDK's append calls do.
Acad::ErrorStatus addOpenForWrite(AcDbDatabase* db, AcDbObject* object, AcDbObjectId owner,
                                  AcDbObjectId* id);
// The SDK's "append a new object to me" calls (entities to a block, attributes to a reference,
// records to a table): the owner must be open for write and resident; the object joins the
// owner's database, open for write, and its id goes to the end of `owned`.
Acad::ErrorStatus appendOwned(AcDbObject* owner, std::vector<AcDbObjectId>& owned,
                              AcDbObject* object, AcDbObjectId* id);
// A copy of text for SDK calls that hand out allocated text (the caller frees it with
// acutDelString); null when out of memory.
ACHAR* allocCopy(const std::wstring& text);
// A copy for a result buffer's string: malloc'ed, freed by acutRelRb or the caller's free().
ACHAR* mallocCopy(const std::wstring& text);

// Engine writes to resident objects that nobody has open (building a drawing, importing one):
// the write is allowed for the duration of fn only.
template <class T, class Fn>
void edit(T* object, Fn&& fn) {
  bool was = object->objectState().writer;
  object->objectState().writer = true;
  fn(object);
  object->objectState().writer = was;
}

// The database the host works on: the one set as working, else the current drawing's.
AcDbDatabase* workingDatabase();

// Builds the default drawing's tables, spaces, layouts and dictionaries.
void buildDefaultDrawing(DatabaseData& data);

// --- layouts -------------------------------------------------------------------------------------

std::vector<AcDbObjectId> layoutIds(AcDbDatabase* db);  // in tab order
AcDbObjectId findLayout(AcDbDatabase* db, const std::wstring& name);  // model: both names
std::wstring layoutName(AcDbObjectId layout);
bool isModelName(const std::wstring& name);
// Makes a layout current; false for an id that is not a layout of db.
bool makeLayoutCurrent(AcDbDatabase* db, AcDbObjectId layout);
// Writes CTAB in a drawing (a layout switch); RTNORM, or RTERROR for no drawing or an unknown name.
int setCtab(AcDbDatabase* db, const std::wstring& name);
// Layout creation shared by the builder and the layout manager.
AcDbObjectId createPaperLayout(AcDbDatabase* db, const std::wstring& name, int tabOrder,
                               AcDbObjectId* blockRecord);
bool layoutManagerAvailable();

// --- selection -----------------------------------------------------------------------------------

// Whether a selection filter's string value, a wildcard pattern (engine/wildcard.h), matches a
// value.
bool filterStringMatches(const std::wstring& pattern, const std::wstring& value);
// Drops every selection set (reset()).
void resetSelectionSets();

// --- drawing files and host services -------------------------------------------------------------

Acad::ErrorStatus loadDrawingFile(AcDbDatabase* db, const std::wstring& path);
// Turns a DXF file into the (empty) database's objects.
Acad::ErrorStatus readDxfInto(AcDbDatabase* db, const std::string& path);
// The same import from text in memory (the import's fuzz target).
Acad::ErrorStatus readDxfTextInto(AcDbDatabase* db, std::string_view text);
bool strictDrawingFiles();
bool readOnlyOpenHonoured();
// Back to the defaults: fonts, layout manager, lenient drawing files.
void resetDrawingServices();

}  // namespace cadsim
