// Database objects of the simulated host: the open/close protocol, ids and their stubs,
// dictionaries, object iterators and the reports of objects left open.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <set>

#include "cadsim/engine/database_state.h"

namespace cadsim {
namespace {

// Stubs live for the whole process so that a stale id never reaches freed memory.
std::mutex g_stubMutex;
std::deque<ObjectStub>& stubArena() {
  static std::deque<ObjectStub>* arena = new std::deque<ObjectStub>();
  return *arena;
}

// Live databases, for the open-object reports (databases may be made on any thread).
std::mutex g_liveMutex;
std::set<DatabaseData*>& liveDatabases() {
  static std::set<DatabaseData*>* live = new std::set<DatabaseData*>();
  return *live;
}

ObjectStub* allocateStub() {
  std::lock_guard<std::mutex> lock(g_stubMutex);
  stubArena().emplace_back();
  return &stubArena().back();
}

std::string describeOpen(const AcDbObject& o) {
  const ObjectState& st = o.objectState();
  std::string mode = st.writer ? "write" : st.readers > 0 ? "read" : "notify";
  return narrow(o.isA()->name()) + " " + handleText(o.objectId()) + " " + mode;
}

bool isOpen(const AcDbObject& o) {
  const ObjectState& st = o.objectState();
  return st.writer || st.readers > 0 || st.notifiers > 0;
}

}  // namespace

DatabaseData::DatabaseData(AcDbDatabase* owner) : owner(owner) {
  std::lock_guard<std::mutex> lock(g_liveMutex);
  liveDatabases().insert(this);
}

DatabaseData::~DatabaseData() {
  {
    std::lock_guard<std::mutex> lock(g_liveMutex);
    liveDatabases().erase(this);
  }
  std::vector<std::string> leaked;
  for (auto& o : objects)
    if (isOpen(*o)) leaked.push_back(describeOpen(*o));
  if (!leaked.empty()) {
    std::string what = "database destroyed with objects open:";
    for (auto& l : leaked) what += " [" + l + "]";
    reportFault(what);
  }
  for (auto& o : objects) {
    ObjectStub* stub = o->objectState().stub;
    if (stub) {
      stub->database = nullptr;
      stub->object = nullptr;
    }
  }
}

AcDbObjectId DatabaseData::add(AcDbObject* object, AcDbObjectId ownerId, Adesk::UInt64 handle) {
  if (handle == 0 || byHandle.count(handle)) {
    while (byHandle.count(handseed)) ++handseed;
    handle = handseed++;
  } else if (handle >= handseed) {
    handseed = handle + 1;
  }
  ObjectStub* stub = allocateStub();
  stub->database = owner;
  stub->handle = handle;
  stub->object = object;
  byHandle[handle] = stub;
  objects.emplace_back(object);
  object->objectState().stub = stub;
  object->objectState().owner = ownerId;
  return AcDbObjectId(stub);
}

AcDbObject* peekObject(AcDbObjectId id) {
  ObjectStub* stub = id.stub();
  if (!stub || !stub->database) return nullptr;
  return stub->object;
}

Acad::ErrorStatus addOpenForWrite(AcDbDatabase* db, AcDbObject* object, AcDbObjectId owner,
                                  AcDbObjectId* id) {
  if (!db || !object) return Acad::eNullObjectPointer;
  if (object->objectState().stub) return Acad::eDuplicateKey;  // already in a database
  AcDbObjectId newId = db->data().add(object, owner);
  object->objectState().writer = true;
  object->objectState().modified = true;
  if (id) *id = newId;
  return Acad::eOk;
}

Acad::ErrorStatus appendOwned(AcDbObject* owner, std::vector<AcDbObjectId>& owned,
                              AcDbObject* object, AcDbObjectId* id) {
  if (id) *id = AcDbObjectId();
  if (!object) return Acad::eNullObjectPointer;
  if (!owner->database()) return Acad::eNotInDatabase;
  if (!owner->isWriteEnabled()) return Acad::eNotOpenForWrite;
  AcDbObjectId newId;
  Acad::ErrorStatus es = addOpenForWrite(owner->database(), object, owner->objectId(), &newId);
  if (es != Acad::eOk) return es;
  owned.push_back(newId);
  owner->assertWriteEnabled();
  if (id) *id = newId;
  return Acad::eOk;
}

ACHAR* allocCopy(const std::wstring& text) {
  ACHAR* out = new (std::nothrow) ACHAR[text.size() + 1];
  if (out) std::memcpy(out, text.c_str(), (text.size() + 1) * sizeof(ACHAR));
  return out;
}

ACHAR* mallocCopy(const std::wstring& text) {
  size_t bytes = (text.size() + 1) * sizeof(ACHAR);
  ACHAR* out = static_cast<ACHAR*>(std::malloc(bytes));
  if (out) std::memcpy(out, text.c_str(), bytes);
  return out;
}

Acad::ErrorStatus openObject(AcDbObject*& pObj, AcDbObjectId id, AcDb::OpenMode mode, bool openErased) {
  pObj = nullptr;
  if (id.isNull()) return Acad::eNullObjectId;
  AcDbObject* object = peekObject(id);
  if (!object) return Acad::eNotInDatabase;
  ObjectState& st = object->objectState();
  if (st.erased && !openErased) return Acad::eWasErased;
  switch (mode) {
    case AcDb::kForRead:
      if (st.writer) return Acad::eWasOpenForWrite;
      ++st.readers;
      break;
    case AcDb::kForWrite:
      if (id.database()->data().readOnly) return Acad::eFileAccessErr;
      if (st.writer) return Acad::eWasOpenForWrite;
      if (st.readers > 0) return Acad::eWasOpenForRead;
      if (st.notifiers > 0) return Acad::eWasOpenForNotify;
      st.writer = true;
      break;
    case AcDb::kForNotify:
      ++st.notifiers;
      break;
    default:
      return Acad::eInvalidInput;
  }
  pObj = object;
  return Acad::eOk;
}

size_t openObjectCount() { return openObjects().size(); }

std::vector<std::string> openObjects() {
  std::vector<std::string> out;
  std::lock_guard<std::mutex> lock(g_liveMutex);
  for (DatabaseData* d : liveDatabases())
    for (auto& o : d->objects)
      if (isOpen(*o)) out.push_back(describeOpen(*o));
  return out;
}

std::string handleText(AcDbObjectId id) {
  ACHAR buf[32] = {0};
  id.handle().getIntoAsciiBuffer(buf, 32);
  return narrow(buf);
}

}  // namespace cadsim

using cadsim::ObjectState;

// --- AcDbObject -----------------------------------------------------------------------------------

AcDbObject::~AcDbObject() = default;

Acad::ErrorStatus AcDbObject::copyFrom(const AcRxObject* other) { return copyObjectFrom(other); }
Acad::ErrorStatus AcDbObject::copyObjectFrom(const AcRxObject* other) { return AcRxObject::copyFrom(other); }

AcDbObjectId AcDbObject::objectId() const { return AcDbObjectId(m_state.stub); }
AcDbObjectId AcDbObject::ownerId() const { return m_state.owner; }
Acad::ErrorStatus AcDbObject::setOwnerId(AcDbObjectId ownerId) {
  assertWriteEnabled();
  m_state.owner = ownerId;
  return Acad::eOk;
}
void AcDbObject::getAcDbHandle(AcDbHandle& handle) const { handle = objectId().handle(); }
AcDbDatabase* AcDbObject::database() const { return m_state.stub ? m_state.stub->database : nullptr; }

Acad::ErrorStatus AcDbObject::close() {
  if (!m_state.stub) return Acad::eOk;  // not in a database: nothing to give back
  if (m_state.writer) {
    m_state.writer = false;
  } else if (m_state.readers > 0) {
    --m_state.readers;
  } else if (m_state.notifiers > 0) {
    --m_state.notifiers;
  } else {
    cadsim::reportFault("close() of " + cadsim::narrow(isA()->name()) + " " +
                        cadsim::handleText(objectId()) + " that is not open");
    return Acad::eNotOpenForRead;
  }
  return Acad::eOk;
}

Acad::ErrorStatus AcDbObject::upgradeOpen() {
  if (!m_state.stub) return Acad::eOk;
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("upgradeOpen", Acad::eWasOpenForRead, &es)) return es;
  if (m_state.writer) return Acad::eWasOpenForWrite;
  if (m_state.readers == 0) return Acad::eNotOpenForRead;
  if (m_state.stub->database && m_state.stub->database->data().readOnly) return Acad::eFileAccessErr;
  if (m_state.readers > 1) return Acad::eWasOpenForRead;
  m_state.readers = 0;
  m_state.writer = true;
  return Acad::eOk;
}

Acad::ErrorStatus AcDbObject::downgradeOpen() {
  if (!m_state.stub) return Acad::eOk;
  if (!m_state.writer) return Acad::eNotOpenForWrite;
  m_state.writer = false;
  m_state.readers = 1;
  return Acad::eOk;
}

void AcDbObject::assertReadEnabled() const {
  if (!isReadEnabled())
    cadsim::reportFault("read of " + cadsim::narrow(isA()->name()) + " " +
                        cadsim::handleText(objectId()) + " that is not open");
}

void AcDbObject::assertWriteEnabled(bool, bool recordModified) {
  if (!isWriteEnabled()) {
    cadsim::reportFault("write to " + cadsim::narrow(isA()->name()) + " " +
                        cadsim::handleText(objectId()) + " that is not open for write");
    return;
  }
  if (recordModified) m_state.modified = true;
}

void AcDbObject::assertNotifyEnabled() const {
  if (m_state.stub && m_state.notifiers == 0 && !m_state.writer)
    cadsim::reportFault("notify of an object that is not open for notify");
}

bool AcDbObject::isReadEnabled() const {
  return !m_state.stub || m_state.readers > 0 || m_state.writer;
}
bool AcDbObject::isWriteEnabled() const { return !m_state.stub || m_state.writer; }
bool AcDbObject::isNotifyEnabled() const { return m_state.notifiers > 0; }
bool AcDbObject::isErased() const { return m_state.erased; }
bool AcDbObject::isModified() const { return m_state.modified; }

Acad::ErrorStatus AcDbObject::erase(bool erasing) {
  if (!m_state.stub) return Acad::eNotInDatabase;
  if (!m_state.writer) return Acad::eNotOpenForWrite;
  if (m_state.erased == erasing) return erasing ? Acad::eWasErased : Acad::eNotApplicable;
  m_state.erased = erasing;
  m_state.modified = true;
  return Acad::eOk;
}

AcDbObjectId AcDbObject::extensionDictionary() const { return m_state.extensionDictionary; }

Acad::ErrorStatus AcDbObject::createExtensionDictionary() {
  if (!m_state.stub) return Acad::eNotInDatabase;
  if (!m_state.writer) return Acad::eNotOpenForWrite;
  if (!m_state.extensionDictionary.isNull()) return Acad::eDuplicateKey;
  m_state.extensionDictionary = m_state.stub->database->data().add(new AcDbDictionary(), objectId());
  m_state.modified = true;
  return Acad::eOk;
}

Acad::ErrorStatus acdbOpenAcDbObject(AcDbObject*& pObj, AcDbObjectId id, AcDb::OpenMode mode,
                                     bool openErased, const AcRxClass* asked) {
  pObj = nullptr;
  cadsim::requireMainThread("acdbOpenObject");
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("acdbOpenObject", Acad::eWasOpenForWrite, &es)) return es;
  int planted = 0;
  if (asked && cadsim::argumentFails("acdbOpenObject", asked->name(), &planted))
    return static_cast<Acad::ErrorStatus>(planted);
  return cadsim::openObject(pObj, id, mode, openErased);
}

// --- dictionaries ---------------------------------------------------------------------------------

namespace {

std::vector<std::pair<std::wstring, AcDbObjectId>>::const_iterator findEntry(
    const std::vector<std::pair<std::wstring, AcDbObjectId>>& entries, const ACHAR* name) {
  std::wstring key = cadsim::upper(name ? name : L"");
  return std::find_if(entries.begin(), entries.end(),
                      [&](const std::pair<std::wstring, AcDbObjectId>& e) { return cadsim::upper(e.first) == key; });
}

bool liveEntry(AcDbObjectId id) {
  AcDbObject* o = cadsim::peekObject(id);
  return o && !o->isErased();
}

}  // namespace

Acad::ErrorStatus AcDbDictionaryIterator::getObject(AcDbObject*& pObject, AcDb::OpenMode mode) {
  pObject = nullptr;
  if (done()) return Acad::eInvalidOpenState;
  return cadsim::openAsCall("getObject", pObject, objectId(), mode);
}

bool AcDbDictionaryIterator::setPosition(AcDbObjectId id) {
  for (size_t i = 0; i < m_entries.size(); ++i)
    if (m_entries[i].second == id) {
      m_index = i;
      return true;
    }
  return false;
}

Acad::ErrorStatus AcDbDictionary::getAt(const ACHAR* entryName, AcDbObject*& entryObj,
                                        AcDb::OpenMode mode) const {
  entryObj = nullptr;
  AcDbObjectId id;
  Acad::ErrorStatus es = getAt(entryName, id);
  if (es != Acad::eOk) return es;
  return cadsim::openAsCall("getAt", entryObj, id, mode);
}

Acad::ErrorStatus AcDbDictionary::getAt(const ACHAR* entryName, AcDbObjectId& entryId) const {
  assertReadEnabled();
  entryId = AcDbObjectId();
  if (!entryName) return Acad::eInvalidInput;
  auto it = findEntry(m_entries, entryName);
  if (it == m_entries.end() || !liveEntry(it->second)) return Acad::eKeyNotFound;
  entryId = it->second;
  return Acad::eOk;
}

Acad::ErrorStatus AcDbDictionary::nameAt(AcDbObjectId objId, AcString& name) const {
  assertReadEnabled();
  for (auto& e : m_entries)
    if (e.second == objId) {
      name = e.first.c_str();
      return Acad::eOk;
    }
  return Acad::eKeyNotFound;
}

bool AcDbDictionary::has(const ACHAR* entryName) const {
  AcDbObjectId id;
  return getAt(entryName, id) == Acad::eOk;
}

bool AcDbDictionary::has(AcDbObjectId objId) const {
  assertReadEnabled();
  for (auto& e : m_entries)
    if (e.second == objId) return liveEntry(objId);
  return false;
}

Adesk::UInt32 AcDbDictionary::numEntries() const {
  assertReadEnabled();
  Adesk::UInt32 n = 0;
  for (auto& e : m_entries)
    if (liveEntry(e.second)) ++n;
  return n;
}

Acad::ErrorStatus AcDbDictionary::remove(const ACHAR* key) {
  AcDbObjectId ignored;
  return remove(key, ignored);
}

Acad::ErrorStatus AcDbDictionary::remove(const ACHAR* key, AcDbObjectId& returnId) {
  if (!isWriteEnabled()) return Acad::eNotOpenForWrite;
  auto it = findEntry(m_entries, key);
  if (it == m_entries.end()) return Acad::eKeyNotFound;
  returnId = it->second;
  m_entries.erase(it);
  assertWriteEnabled();
  return Acad::eOk;
}

Acad::ErrorStatus AcDbDictionary::setAt(const ACHAR* srchKey, AcDbObject* newValue,
                                        AcDbObjectId& retObjId) {
  retObjId = AcDbObjectId();
  if (!srchKey || !*srchKey || !newValue) return Acad::eInvalidInput;
  if (!isWriteEnabled()) return Acad::eNotOpenForWrite;
  AcDbObjectId id = newValue->objectId();
  if (id.isNull()) {
    if (!database()) return Acad::eNotInDatabase;
    Acad::ErrorStatus es = cadsim::addOpenForWrite(database(), newValue, objectId(), &id);
    if (es != Acad::eOk) return es;
  }
  auto it = findEntry(m_entries, srchKey);
  if (it != m_entries.end()) m_entries.erase(it);
  std::wstring key = srchKey;
  auto pos = std::find_if(m_entries.begin(), m_entries.end(),
                          [&](const std::pair<std::wstring, AcDbObjectId>& e) {
                            return cadsim::upper(e.first) > cadsim::upper(key);
                          });
  m_entries.insert(pos, {key, id});
  assertWriteEnabled();
  retObjId = id;
  return Acad::eOk;
}

AcDbDictionaryIterator* AcDbDictionary::newIterator() const {
  assertReadEnabled();
  if (cadsim::hostCallAnswersNull("newIterator")) return nullptr;
  std::vector<std::pair<std::wstring, AcDbObjectId>> live;
  for (auto& e : m_entries)
    if (liveEntry(e.second)) live.push_back(e);
  return new AcDbDictionaryIterator(std::move(live));
}

// --- object iterator ------------------------------------------------------------------------------

void AcDbObjectIterator::skip(bool backwards) {
  if (!m_skipDeleted) return;
  while (!done()) {
    AcDbObject* o = cadsim::peekObject(m_ids[static_cast<size_t>(m_index)]);
    if (o && !o->isErased()) return;
    m_index += backwards ? -1 : 1;
  }
}

void AcDbObjectIterator::step(bool backwards, bool skipDeleted) {
  if (done()) return;
  m_skipDeleted = skipDeleted;
  m_index += backwards ? -1 : 1;
  skip(backwards);
}

bool AcDbObjectIterator::seek(AcDbObjectId id) {
  for (size_t i = 0; i < m_ids.size(); ++i)
    if (m_ids[i] == id) {
      m_index = static_cast<long>(i);
      return true;
    }
  return false;
}
