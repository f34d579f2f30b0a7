// Database objects of the SDK surface: the object base with its open/close protocol, opening by
// id, dictionaries and the object iterator.
//
// Rules the simulated host enforces as the real one does: an object is reached by opening its id
// (acdbOpenObject) for read, write or notify and is given back with close(); many readers or one
// writer at a time; an erased object opens only when asked to (openErased); reading needs the
// object open, writing needs it open for write, and a breach is reported as a host fault
// (cadsim::faultLog). Objects not yet added to a database belong to whoever made them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "cadsim/sdk/acad_types.h"
#include "cadsim/sdk/acdb.h"
#include "cadsim/sdk/acrx.h"
#include "cadsim/sdk/acutil.h"

typedef AcArray<AcDbObjectId> AcDbObjectIdArray;

namespace cadsim {
// The engine's bookkeeping of one object; the plug-in never touches it.
struct ObjectState {
  ObjectStub* stub = nullptr;  // null until the object is added to a database
  int readers = 0;
  bool writer = false;
  int notifiers = 0;
  bool erased = false;
  bool modified = false;
  AcDbObjectId owner;
  AcDbObjectId extensionDictionary;
};
}  // namespace cadsim

class AcDbObject : public AcRxObject {
 public:
  ACRX_DECLARE_MEMBERS(AcDbObject);
  AcDbObject() = default;
  ~AcDbObject() override;
  AcDbObject(const AcDbObject&) = delete;
  AcDbObject& operator=(const AcDbObject&) = delete;

  AcDbObjectId objectId() const;
  AcDbObjectId ownerId() const;
  Acad::ErrorStatus setOwnerId(AcDbObjectId ownerId);
  void getAcDbHandle(AcDbHandle& handle) const;
  AcDbDatabase* database() const;

  Acad::ErrorStatus close();
  // Read to write: refused with eWasOpenForRead while another reader holds the object.
  Acad::ErrorStatus upgradeOpen();
  Acad::ErrorStatus downgradeOpen();
  void assertReadEnabled() const;
  void assertWriteEnabled(bool autoUndo = true, bool recordModified = true);
  void assertNotifyEnabled() const;
  bool isReadEnabled() const;
  bool isWriteEnabled() const;
  bool isNotifyEnabled() const;
  bool isErased() const;
  bool isModified() const;
  // Needs the object open for write; erasing an erased object answers eWasErased.
  Acad::ErrorStatus erase(bool erasing = true);

  AcDbObjectId extensionDictionary() const;
  // Needs the object open for write; an object that has one already answers eDuplicateKey.
  Acad::ErrorStatus createExtensionDictionary();
  // Declared here and only here, as in the SDK; classes that copy implement copyObjectFrom.
  Acad::ErrorStatus copyFrom(const AcRxObject* other) override;

  // Engine use.
  cadsim::ObjectState& objectState() { return m_state; }
  const cadsim::ObjectState& objectState() const { return m_state; }

 protected:
  virtual Acad::ErrorStatus copyObjectFrom(const AcRxObject* other);

 private:
  cadsim::ObjectState m_state;
};

// Opens a database object. Statuses: eNullObjectId, eNotInDatabase (its database is gone),
// eWasErased, eWasOpenForWrite (already open for write), eWasOpenForRead (write asked while
// readers hold it), eNotThatKindOfClass (the typed form, object of another class; it is closed).
// `asked` is the class the caller opens it as (the typed form passes its own), so that a fault
// can be planted on the opens of one class only.
Acad::ErrorStatus acdbOpenAcDbObject(AcDbObject*& pObj, AcDbObjectId id, AcDb::OpenMode mode,
                                     bool openErased = false, const AcRxClass* asked = nullptr);

template <class T>
inline Acad::ErrorStatus acdbOpenObject(T*& pObj, AcDbObjectId id, AcDb::OpenMode mode = AcDb::kForRead,
                                        bool openErased = false) {
  pObj = nullptr;
  AcDbObject* raw = nullptr;
  Acad::ErrorStatus es = acdbOpenAcDbObject(raw, id, mode, openErased, T::desc());
  if (es != Acad::eOk) return es;
  T* typed = T::cast(raw);
  if (!typed) {
    raw->close();
    return Acad::eNotThatKindOfClass;
  }
  pObj = typed;
  return Acad::eOk;
}

template <>
inline Acad::ErrorStatus acdbOpenObject<AcDbObject>(AcDbObject*& pObj, AcDbObjectId id,
                                                    AcDb::OpenMode mode, bool openErased) {
  return acdbOpenAcDbObject(pObj, id, mode, openErased, AcDbObject::desc());
}

// Iterates a dictionary's entries in name order (keys compare without letter case). The caller
// deletes it; it must not outlive the dictionary's database.
class AcDbDictionaryIterator {
 public:
  explicit AcDbDictionaryIterator(std::vector<std::pair<std::wstring, AcDbObjectId>> entries)
      : m_entries(std::move(entries)) {}
  virtual ~AcDbDictionaryIterator() = default;
  const ACHAR* name() const { return done() ? nullptr : m_entries[m_index].first.c_str(); }
  AcDbObjectId objectId() const { return done() ? AcDbObjectId() : m_entries[m_index].second; }
  Acad::ErrorStatus getObject(AcDbObject*& pObject, AcDb::OpenMode mode = AcDb::kForRead);
  bool done() const { return m_index >= m_entries.size(); }
  bool next() {
    if (!done()) ++m_index;
    return !done();
  }
  bool setPosition(AcDbObjectId id);

 private:
  std::vector<std::pair<std::wstring, AcDbObjectId>> m_entries;
  size_t m_index = 0;
};

class AcDbDictionary : public AcDbObject {
 public:
  ACRX_DECLARE_MEMBERS(AcDbDictionary);
  Acad::ErrorStatus getAt(const ACHAR* entryName, AcDbObject*& entryObj, AcDb::OpenMode mode) const;
  Acad::ErrorStatus getAt(const ACHAR* entryName, AcDbObjectId& entryId) const;
  Acad::ErrorStatus nameAt(AcDbObjectId objId, AcString& name) const;
  bool has(const ACHAR* entryName) const;
  bool has(AcDbObjectId objId) const;
  Adesk::UInt32 numEntries() const;
  Acad::ErrorStatus remove(const ACHAR* key);
  Acad::ErrorStatus remove(const ACHAR* key, AcDbObjectId& returnId);
  // Adds or replaces an entry; needs the dictionary open for write. An object not yet in a
  // database joins this dictionary's database, open for write: the caller closes it.
  Acad::ErrorStatus setAt(const ACHAR* srchKey, AcDbObject* newValue, AcDbObjectId& retObjId);
  // Erased entries are left out. The caller deletes the iterator.
  AcDbDictionaryIterator* newIterator() const;

  // Engine use: entries in key order.
  std::vector<std::pair<std::wstring, AcDbObjectId>>& entries() { return m_entries; }

 private:
  std::vector<std::pair<std::wstring, AcDbObjectId>> m_entries;
};

// Iterates the objects an object owns, such as a block reference's attributes. The caller
// deletes it.
class AcDbObjectIterator {
 public:
  explicit AcDbObjectIterator(std::vector<AcDbObjectId> ids) : m_ids(std::move(ids)) {}
  virtual ~AcDbObjectIterator() = default;
  bool done() const { return m_index < 0 || m_index >= static_cast<long>(m_ids.size()); }
  void start(bool atEnd = false) {
    m_index = atEnd ? static_cast<long>(m_ids.size()) - 1 : 0;
    skip(atEnd);
  }
  void step(bool backwards = false, bool skipDeleted = true);
  AcDbObjectId objectId() { return done() ? AcDbObjectId() : m_ids[static_cast<size_t>(m_index)]; }
  bool seek(AcDbObjectId id);

 private:
  void skip(bool backwards);
  std::vector<AcDbObjectId> m_ids;
  long m_index = 0;
  bool m_skipDeleted = true;
};
