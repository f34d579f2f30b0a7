// Symbol tables of the simulated host: block, layer and text style tables, their records and
// iterators.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "cadsim/engine/database_state.h"

namespace {

bool liveObject(AcDbObjectId id) {
  AcDbObject* o = cadsim::peekObject(id);
  return o && !o->isErased();
}

// Shared positioning of the table and block iterators.
void skipErased(const std::vector<AcDbObjectId>& ids, long& index, bool forward) {
  while (index >= 0 && index < static_cast<long>(ids.size()) &&
         !liveObject(ids[static_cast<size_t>(index)]))
    index += forward ? 1 : -1;
}

bool outOfRange(const std::vector<AcDbObjectId>& ids, long index) {
  return index < 0 || index >= static_cast<long>(ids.size());
}

Acad::ErrorStatus seekIn(const std::vector<AcDbObjectId>& ids, long& index, AcDbObjectId id) {
  for (size_t i = 0; i < ids.size(); ++i)
    if (ids[i] == id) {
      index = static_cast<long>(i);
      return Acad::eOk;
    }
  return Acad::eInvalidInput;
}

}  // namespace

// --- symbol table records -------------------------------------------------------------------------

Acad::ErrorStatus AcDbSymbolTableRecord::getName(ACHAR*& pName) const {
  assertReadEnabled();
  pName = nullptr;
  Acad::ErrorStatus es;
  if (cadsim::nameReadFails(this, &es)) return es;
  pName = cadsim::allocCopy(m_name);
  return pName ? Acad::eOk : Acad::eOutOfMemory;
}
Acad::ErrorStatus AcDbSymbolTableRecord::getName(const ACHAR*& pName) const {
  assertReadEnabled();
  Acad::ErrorStatus es;
  if (cadsim::nameReadFails(this, &es)) return es;
  pName = m_name.c_str();
  return Acad::eOk;
}
Acad::ErrorStatus AcDbSymbolTableRecord::getName(AcString& sName) const {
  assertReadEnabled();
  Acad::ErrorStatus es;
  if (cadsim::nameReadFails(this, &es)) return es;
  sName = m_name.c_str();
  return Acad::eOk;
}
Acad::ErrorStatus AcDbSymbolTableRecord::setName(const ACHAR* pName) {
  if (!pName || !*pName) return Acad::eInvalidInput;
  assertWriteEnabled();
  m_name = pName;
  return Acad::eOk;
}

// --- symbol tables --------------------------------------------------------------------------------

AcDbSymbolTableIterator::AcDbSymbolTableIterator(std::vector<AcDbObjectId> ids, bool atBeginning,
                                                 bool skipDeleted)
    : m_ids(std::move(ids)) {
  start(atBeginning, skipDeleted);
}
void AcDbSymbolTableIterator::start(bool atBeginning, bool skipDeleted) {
  m_skipDeleted = skipDeleted;
  m_index = atBeginning ? 0 : static_cast<long>(m_ids.size()) - 1;
  skip(atBeginning);
}
bool AcDbSymbolTableIterator::done() const { return outOfRange(m_ids, m_index); }
void AcDbSymbolTableIterator::step(bool forward, bool skipDeleted) {
  if (done()) return;
  m_skipDeleted = skipDeleted;
  m_index += forward ? 1 : -1;
  skip(forward);
}
void AcDbSymbolTableIterator::skip(bool forward) {
  if (m_skipDeleted) skipErased(m_ids, m_index, forward);
}
Acad::ErrorStatus AcDbSymbolTableIterator::getRecordId(AcDbObjectId& id) const {
  if (done()) return Acad::eInvalidOpenState;
  id = m_ids[static_cast<size_t>(m_index)];
  return Acad::eOk;
}
Acad::ErrorStatus AcDbSymbolTableIterator::getRecord(AcDbSymbolTableRecord*& pRecord,
                                                     AcDb::OpenMode mode, bool openErasedRec) const {
  pRecord = nullptr;
  if (done()) return Acad::eInvalidOpenState;
  return cadsim::openAsCall("getRecord", pRecord, m_ids[static_cast<size_t>(m_index)], mode, openErasedRec);
}
Acad::ErrorStatus AcDbSymbolTableIterator::seek(AcDbObjectId id) { return seekIn(m_ids, m_index, id); }

Acad::ErrorStatus AcDbSymbolTable::getAt(const ACHAR* entryName, AcDbObjectId& recordId,
                                         bool getErasedRecord) const {
  assertReadEnabled();
  recordId = AcDbObjectId();
  if (!entryName) return Acad::eInvalidInput;
  std::wstring key = cadsim::upper(entryName);
  for (AcDbObjectId id : m_records) {
    auto* rec = cadsim::peek<AcDbSymbolTableRecord>(id);
    if (!rec || (rec->isErased() && !getErasedRecord)) continue;
    if (cadsim::upper(rec->nameText()) == key) {
      recordId = id;
      return Acad::eOk;
    }
  }
  return Acad::eKeyNotFound;
}

Acad::ErrorStatus AcDbSymbolTable::getAt(const ACHAR* entryName, AcDbSymbolTableRecord*& pRec,
                                         AcDb::OpenMode openMode, bool openErasedRec) const {
  pRec = nullptr;
  AcDbObjectId id;
  Acad::ErrorStatus es = getAt(entryName, id, openErasedRec);
  if (es != Acad::eOk) return es;
  return cadsim::openAsCall("getAt", pRec, id, openMode, openErasedRec);
}

bool AcDbSymbolTable::has(const ACHAR* name) const {
  AcDbObjectId id;
  return getAt(name, id) == Acad::eOk;
}

bool AcDbSymbolTable::has(AcDbObjectId id) const {
  assertReadEnabled();
  return std::find(m_records.begin(), m_records.end(), id) != m_records.end() && liveObject(id);
}

Acad::ErrorStatus AcDbSymbolTable::add(AcDbObjectId& recordId, AcDbSymbolTableRecord* pRecord) {
  recordId = AcDbObjectId();
  if (!pRecord) return Acad::eNullObjectPointer;
  if (!isWriteEnabled()) return Acad::eNotOpenForWrite;
  if (!database()) return Acad::eNotInDatabase;
  const std::wstring& name = pRecord->nameText();
  if (name.empty()) return Acad::eInvalidInput;
  if (has(name.c_str())) return Acad::eDuplicateKey;
  Acad::ErrorStatus es = cadsim::addOpenForWrite(database(), pRecord, objectId(), &recordId);
  if (es != Acad::eOk) return es;
  m_records.push_back(recordId);
  assertWriteEnabled();
  return Acad::eOk;
}

Acad::ErrorStatus AcDbSymbolTable::add(AcDbSymbolTableRecord* pRecord) {
  AcDbObjectId ignored;
  return add(ignored, pRecord);
}

Acad::ErrorStatus AcDbSymbolTable::newIterator(AcDbSymbolTableIterator*& pIterator, bool atBeginning,
                                               bool skipDeleted) const {
  assertReadEnabled();
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("newIterator", Acad::eOutOfMemory, &es)) return pIterator = nullptr, es;
  pIterator = new AcDbSymbolTableIterator(m_records, atBeginning, skipDeleted);
  return Acad::eOk;
}

Acad::ErrorStatus AcDbBlockTable::getAt(const ACHAR* entryName, AcDbBlockTableRecord*& pRec,
                                        AcDb::OpenMode openMode, bool openErasedRec) const {
  pRec = nullptr;
  AcDbObjectId id;
  Acad::ErrorStatus es = getAt(entryName, id, openErasedRec);
  return es != Acad::eOk ? es : cadsim::openAsCall("getAt", pRec, id, openMode, openErasedRec);
}
Acad::ErrorStatus AcDbBlockTable::newIterator(AcDbBlockTableIterator*& pIterator, bool atBeginning,
                                              bool skipDeleted) const {
  assertReadEnabled();
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("newIterator", Acad::eOutOfMemory, &es)) return pIterator = nullptr, es;
  pIterator = new AcDbBlockTableIterator(const_cast<AcDbBlockTable*>(this)->recordIds(), atBeginning, skipDeleted);
  return Acad::eOk;
}

Acad::ErrorStatus AcDbLayerTable::getAt(const ACHAR* entryName, AcDbLayerTableRecord*& pRec,
                                        AcDb::OpenMode openMode, bool openErasedRec) const {
  pRec = nullptr;
  AcDbObjectId id;
  Acad::ErrorStatus es = getAt(entryName, id, openErasedRec);
  return es != Acad::eOk ? es : cadsim::openAsCall("getAt", pRec, id, openMode, openErasedRec);
}
Acad::ErrorStatus AcDbLayerTable::newIterator(AcDbLayerTableIterator*& pIterator, bool atBeginning,
                                              bool skipDeleted) const {
  assertReadEnabled();
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("newIterator", Acad::eOutOfMemory, &es)) return pIterator = nullptr, es;
  pIterator = new AcDbLayerTableIterator(const_cast<AcDbLayerTable*>(this)->recordIds(), atBeginning, skipDeleted);
  return Acad::eOk;
}

Acad::ErrorStatus AcDbTextStyleTable::getAt(const ACHAR* entryName, AcDbTextStyleTableRecord*& pRec,
                                            AcDb::OpenMode openMode, bool openErasedRec) const {
  pRec = nullptr;
  AcDbObjectId id;
  Acad::ErrorStatus es = getAt(entryName, id, openErasedRec);
  return es != Acad::eOk ? es : cadsim::openAsCall("getAt", pRec, id, openMode, openErasedRec);
}
Acad::ErrorStatus AcDbTextStyleTable::newIterator(AcDbTextStyleTableIterator*& pIterator,
                                                  bool atBeginning, bool skipDeleted) const {
  assertReadEnabled();
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("newIterator", Acad::eOutOfMemory, &es)) return pIterator = nullptr, es;
  pIterator = new AcDbTextStyleTableIterator(const_cast<AcDbTextStyleTable*>(this)->recordIds(),
                                             atBeginning, skipDeleted);
  return Acad::eOk;
}

// --- block table records --------------------------------------------------------------------------

Acad::ErrorStatus AcDbBlockTableRecord::appendAcDbEntity(AcDbObjectId& pOutputId, AcDbEntity* pEntity) {
  return cadsim::appendOwned(this, m_entities, pEntity, &pOutputId);
}

Acad::ErrorStatus AcDbBlockTableRecord::appendAcDbEntity(AcDbEntity* pEntity) {
  AcDbObjectId ignored;
  return appendAcDbEntity(ignored, pEntity);
}

Acad::ErrorStatus AcDbBlockTableRecord::newIterator(AcDbBlockTableRecordIterator*& pIterator,
                                                    bool atBeginning, bool skipDeleted) const {
  assertReadEnabled();
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("newIterator", Acad::eOutOfMemory, &es)) return pIterator = nullptr, es;
  pIterator = new AcDbBlockTableRecordIterator(m_entities, atBeginning, skipDeleted);
  return Acad::eOk;
}

AcGePoint3d AcDbBlockTableRecord::origin() const {
  assertReadEnabled();
  return m_origin;
}
Acad::ErrorStatus AcDbBlockTableRecord::setOrigin(const AcGePoint3d& origin) {
  assertWriteEnabled();
  m_origin = origin;
  return Acad::eOk;
}
bool AcDbBlockTableRecord::isLayout() const {
  assertReadEnabled();
  return !m_layout.isNull();
}
AcDbObjectId AcDbBlockTableRecord::getLayoutId() const {
  assertReadEnabled();
  return m_layout;
}
Acad::ErrorStatus AcDbBlockTableRecord::setLayoutId(AcDbObjectId id) {
  assertWriteEnabled();
  m_layout = id;
  return Acad::eOk;
}
bool AcDbBlockTableRecord::isAnonymous() const {
  assertReadEnabled();
  return !nameText().empty() && nameText()[0] == L'*' && m_layout.isNull();
}
bool AcDbBlockTableRecord::hasAttributeDefinitions() const {
  assertReadEnabled();
  for (AcDbObjectId id : m_entities) {
    AcDbObject* o = cadsim::peekObject(id);
    if (o && !o->isErased() && AcDbAttributeDefinition::cast(o)) return true;
  }
  return false;
}
Acad::ErrorStatus AcDbBlockTableRecord::getBlockReferenceIds(AcDbObjectIdArray& ids, bool, bool) const {
  assertReadEnabled();
  ids.removeAll();
  AcDbDatabase* db = database();
  if (!db) return Acad::eNotInDatabase;
  for (auto& o : db->data().objects) {
    auto* ref = AcDbBlockReference::cast(o.get());
    if (!ref || ref->isErased()) continue;
    if (ref->blockRecordValue() == objectId()) ids.append(ref->objectId());
  }
  return Acad::eOk;
}

AcDbBlockTableRecordIterator::AcDbBlockTableRecordIterator(std::vector<AcDbObjectId> ids,
                                                           bool atBeginning, bool skipDeleted)
    : m_ids(std::move(ids)) {
  start(atBeginning, skipDeleted);
}
void AcDbBlockTableRecordIterator::start(bool atBeginning, bool skipDeleted) {
  m_skipDeleted = skipDeleted;
  m_index = atBeginning ? 0 : static_cast<long>(m_ids.size()) - 1;
  skip(atBeginning);
}
bool AcDbBlockTableRecordIterator::done() const { return outOfRange(m_ids, m_index); }
void AcDbBlockTableRecordIterator::step(bool forward, bool skipDeleted) {
  if (done()) return;
  m_skipDeleted = skipDeleted;
  m_index += forward ? 1 : -1;
  skip(forward);
}
void AcDbBlockTableRecordIterator::skip(bool forward) {
  if (m_skipDeleted) skipErased(m_ids, m_index, forward);
}
Acad::ErrorStatus AcDbBlockTableRecordIterator::getEntityId(AcDbObjectId& entityId) const {
  if (done()) return Acad::eInvalidOpenState;
  entityId = m_ids[static_cast<size_t>(m_index)];
  return Acad::eOk;
}
Acad::ErrorStatus AcDbBlockTableRecordIterator::getEntity(AcDbEntity*& pEntity, AcDb::OpenMode openMode,
                                                          bool openErasedEntity) const {
  pEntity = nullptr;
  if (done()) return Acad::eInvalidOpenState;
  return cadsim::openAsCall("getEntity", pEntity, m_ids[static_cast<size_t>(m_index)], openMode,
                            openErasedEntity);
}
Acad::ErrorStatus AcDbBlockTableRecordIterator::seek(AcDbObjectId id) { return seekIn(m_ids, m_index, id); }

// --- layer table records --------------------------------------------------------------------------

bool AcDbLayerTableRecord::isOff() const { assertReadEnabled(); return m_off; }
void AcDbLayerTableRecord::setIsOff(bool off) { assertWriteEnabled(); m_off = off; }
bool AcDbLayerTableRecord::isFrozen() const { assertReadEnabled(); return m_frozen; }
Acad::ErrorStatus AcDbLayerTableRecord::setIsFrozen(bool frozen) { assertWriteEnabled(); m_frozen = frozen; return Acad::eOk; }
bool AcDbLayerTableRecord::isLocked() const { assertReadEnabled(); return m_locked; }
void AcDbLayerTableRecord::setIsLocked(bool locked) { assertWriteEnabled(); m_locked = locked; }
bool AcDbLayerTableRecord::isHidden() const { assertReadEnabled(); return m_hidden; }
Acad::ErrorStatus AcDbLayerTableRecord::setIsHidden(bool hidden) { assertWriteEnabled(); m_hidden = hidden; return Acad::eOk; }
bool AcDbLayerTableRecord::isPlottable() const { assertReadEnabled(); return m_plottable; }
Acad::ErrorStatus AcDbLayerTableRecord::setIsPlottable(bool p) { assertWriteEnabled(); m_plottable = p; return Acad::eOk; }
short AcDbLayerTableRecord::colorIndex() const { assertReadEnabled(); return m_color; }
void AcDbLayerTableRecord::setColorIndex(short index) { assertWriteEnabled(); m_color = index; }

// --- text style table records ---------------------------------------------------------------------

Acad::ErrorStatus AcDbTextStyleTableRecord::fileName(ACHAR*& fileName) const {
  assertReadEnabled();
  fileName = cadsim::allocCopy(m_file);
  return fileName ? Acad::eOk : Acad::eOutOfMemory;
}
Acad::ErrorStatus AcDbTextStyleTableRecord::fileName(const ACHAR*& fileName) const {
  assertReadEnabled();
  fileName = m_file.c_str();
  return Acad::eOk;
}
Acad::ErrorStatus AcDbTextStyleTableRecord::fileName(AcString& fileName) const {
  assertReadEnabled();
  fileName = m_file.c_str();
  return Acad::eOk;
}
Acad::ErrorStatus AcDbTextStyleTableRecord::setFileName(const ACHAR* fileName) {
  assertWriteEnabled();
  m_file = fileName ? fileName : L"";
  return Acad::eOk;
}
Acad::ErrorStatus AcDbTextStyleTableRecord::bigFontFileName(ACHAR*& fileName) const {
  assertReadEnabled();
  fileName = cadsim::allocCopy(m_bigFont);
  return fileName ? Acad::eOk : Acad::eOutOfMemory;
}
Acad::ErrorStatus AcDbTextStyleTableRecord::bigFontFileName(const ACHAR*& fileName) const {
  assertReadEnabled();
  fileName = m_bigFont.c_str();
  return Acad::eOk;
}
Acad::ErrorStatus AcDbTextStyleTableRecord::bigFontFileName(AcString& fileName) const {
  assertReadEnabled();
  fileName = m_bigFont.c_str();
  return Acad::eOk;
}
Acad::ErrorStatus AcDbTextStyleTableRecord::setBigFontFileName(const ACHAR* fileName) {
  assertWriteEnabled();
  m_bigFont = fileName ? fileName : L"";
  return Acad::eOk;
}
Acad::ErrorStatus AcDbTextStyleTableRecord::setFont(const ACHAR* pTypeface, bool bold, bool italic,
                                                    Charset charset,
                                                    Autodesk::AutoCAD::PAL::FontUtils::FontPitch pitch,
                                                    Autodesk::AutoCAD::PAL::FontUtils::FontFamily family,
                                                    bool) {
  assertWriteEnabled();
  m_typeface = pTypeface ? pTypeface : L"";
  m_bold = bold;
  m_italic = italic;
  m_charset = charset;
  m_pitch = pitch;
  m_family = family;
  return Acad::eOk;
}
Acad::ErrorStatus AcDbTextStyleTableRecord::font(AcString& sTypeface, bool& bold, bool& italic,
                                                 Charset& charset,
                                                 Autodesk::AutoCAD::PAL::FontUtils::FontPitch& pitch,
                                                 Autodesk::AutoCAD::PAL::FontUtils::FontFamily& family) const {
  assertReadEnabled();
  sTypeface = m_typeface.c_str();
  bold = m_bold;
  italic = m_italic;
  charset = m_charset;
  pitch = m_pitch;
  family = m_family;
  return Acad::eOk;
}
double AcDbTextStyleTableRecord::textSize() const { assertReadEnabled(); return m_size; }
Acad::ErrorStatus AcDbTextStyleTableRecord::setTextSize(double size) { assertWriteEnabled(); m_size = size; return Acad::eOk; }
double AcDbTextStyleTableRecord::xScale() const { assertReadEnabled(); return m_xScale; }
Acad::ErrorStatus AcDbTextStyleTableRecord::setXScale(double scale) { assertWriteEnabled(); m_xScale = scale; return Acad::eOk; }
bool AcDbTextStyleTableRecord::isShapeFile() const { assertReadEnabled(); return m_shapeFile; }
void AcDbTextStyleTableRecord::setIsShapeFile(bool shape) { assertWriteEnabled(); m_shapeFile = shape; }
