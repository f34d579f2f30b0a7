// Symbol tables of the SDK surface: block, layer and text style tables with their records and
// iterators, and the fonts of text styles.
//
// Tables and records are database objects (dbobject.h): open them, close them. A table iterator
// is deleted by the caller and must not outlive the table's database; getRecord opens the record
// and the caller closes it.
#pragma once

#include <string>
#include <vector>

#include "cadsim/sdk/acge.h"
#include "cadsim/sdk/dbobject.h"

class AcDbEntity;
class AcDbBlockTableRecordIterator;

// Character sets and font traits of TrueType text styles.
enum Charset { kAnsiCharset = 0, kDefaultCharset = 1, kSymbolCharset = 2, kGb2312Charset = 134 };
namespace Autodesk {
namespace AutoCAD {
namespace PAL {
namespace FontUtils {
enum class FontPitch { kDefault = 0, kFixed = 1, kVariable = 2 };
enum class FontFamily { kDoNotCare = 0, kRoman = 16, kSwiss = 32, kModern = 48, kScript = 64, kDecorative = 80 };
}  // namespace FontUtils
}  // namespace PAL
}  // namespace AutoCAD
}  // namespace Autodesk

class AcDbSymbolTableRecord : public AcDbObject {
 public:
  ACRX_DECLARE_MEMBERS(AcDbSymbolTableRecord);
  // ACHAR*& forms allocate: free with acutDelString.
  Acad::ErrorStatus getName(ACHAR*& pName) const;
  Acad::ErrorStatus getName(const ACHAR*& pName) const;
  Acad::ErrorStatus getName(AcString& sName) const;
  Acad::ErrorStatus setName(const ACHAR* pName);
  bool isDependent() const { return false; }

  // Engine use: the name without the open check.
  const std::wstring& nameText() const { return m_name; }

 private:
  std::wstring m_name;
};

class AcDbSymbolTableIterator {
 public:
  AcDbSymbolTableIterator(std::vector<AcDbObjectId> ids, bool atBeginning, bool skipDeleted);
  virtual ~AcDbSymbolTableIterator() = default;
  void start(bool atBeginning = true, bool skipDeleted = true);
  bool done() const;
  void step(bool forward = true, bool skipDeleted = true);
  Acad::ErrorStatus getRecordId(AcDbObjectId& id) const;
  Acad::ErrorStatus getRecord(AcDbSymbolTableRecord*& pRecord, AcDb::OpenMode mode = AcDb::kForRead,
                              bool openErasedRec = false) const;
  Acad::ErrorStatus seek(AcDbObjectId id);

 protected:
  template <class T>
  Acad::ErrorStatus getTyped(T*& pRecord, AcDb::OpenMode mode, bool openErased) const {
    pRecord = nullptr;
    AcDbSymbolTableRecord* record = nullptr;
    Acad::ErrorStatus es = AcDbSymbolTableIterator::getRecord(record, mode, openErased);
    if (es != Acad::eOk) return es;
    pRecord = T::cast(record);
    if (pRecord) return Acad::eOk;
    record->close();
    return Acad::eNotThatKindOfClass;
  }

 private:
  void skip(bool forward);
  std::vector<AcDbObjectId> m_ids;
  long m_index = 0;
  bool m_skipDeleted = true;
};

class AcDbSymbolTable : public AcDbObject {
 public:
  ACRX_DECLARE_MEMBERS(AcDbSymbolTable);
  // Names compare without letter case. Erased records are found only with getErasedRecord.
  Acad::ErrorStatus getAt(const ACHAR* entryName, AcDbObjectId& recordId,
                          bool getErasedRecord = false) const;
  Acad::ErrorStatus getAt(const ACHAR* entryName, AcDbSymbolTableRecord*& pRec,
                          AcDb::OpenMode openMode, bool openErasedRec = false) const;
  bool has(const ACHAR* name) const;
  bool has(AcDbObjectId id) const;
  // Needs the table open for write; a record not yet in a database joins it open for write.
  Acad::ErrorStatus add(AcDbObjectId& recordId, AcDbSymbolTableRecord* pRecord);
  Acad::ErrorStatus add(AcDbSymbolTableRecord* pRecord);
  Acad::ErrorStatus newIterator(AcDbSymbolTableIterator*& pIterator, bool atBeginning = true,
                                bool skipDeleted = true) const;

  // Engine use: record ids in the order they were added.
  std::vector<AcDbObjectId>& recordIds() { return m_records; }

 private:
  std::vector<AcDbObjectId> m_records;
};

// --- block table ---------------------------------------------------------------------------------

class AcDbBlockTableRecord : public AcDbSymbolTableRecord {
 public:
  ACRX_DECLARE_MEMBERS(AcDbBlockTableRecord);
  // Adds an entity to this block; needs the record open for write. The entity joins the database
  // open for write: the caller closes it.
  Acad::ErrorStatus appendAcDbEntity(AcDbObjectId& pOutputId, AcDbEntity* pEntity);
  Acad::ErrorStatus appendAcDbEntity(AcDbEntity* pEntity);
  Acad::ErrorStatus newIterator(AcDbBlockTableRecordIterator*& pIterator, bool atBeginning = true,
                                bool skipDeleted = true) const;
  AcGePoint3d origin() const;
  Acad::ErrorStatus setOrigin(const AcGePoint3d& origin);
  bool isLayout() const;
  AcDbObjectId getLayoutId() const;
  Acad::ErrorStatus setLayoutId(AcDbObjectId id);
  bool isAnonymous() const;
  bool hasAttributeDefinitions() const;
  bool isFromExternalReference() const { return false; }
  // Block references that point at this record.
  Acad::ErrorStatus getBlockReferenceIds(AcDbObjectIdArray& ids, bool bDirectOnly = true,
                                         bool bForceValidity = false) const;

  // Engine use: a dynamic block definition, and an anonymous representation's link to its
  // dynamic definition (null for ordinary blocks).
  bool dynamicDefinition = false;
  AcDbObjectId dynamicBlockRecord;
  AcDbObjectId getLayoutIdValue() const { return m_layout; }
  AcGePoint3d originValue() const { return m_origin; }
  std::vector<AcDbObjectId>& entityIds() { return m_entities; }
  const std::vector<AcDbObjectId>& entityIds() const { return m_entities; }

 private:
  std::vector<AcDbObjectId> m_entities;
  AcGePoint3d m_origin;
  AcDbObjectId m_layout;
};

class AcDbBlockTableRecordIterator {
 public:
  AcDbBlockTableRecordIterator(std::vector<AcDbObjectId> ids, bool atBeginning, bool skipDeleted);
  virtual ~AcDbBlockTableRecordIterator() = default;
  void start(bool atBeginning = true, bool skipDeleted = true);
  bool done() const;
  void step(bool forward = true, bool skipDeleted = true);
  Acad::ErrorStatus getEntityId(AcDbObjectId& entityId) const;
  Acad::ErrorStatus getEntity(AcDbEntity*& pEntity, AcDb::OpenMode openMode = AcDb::kForRead,
                              bool openErasedEntity = false) const;
  Acad::ErrorStatus seek(AcDbObjectId id);

 private:
  void skip(bool forward);
  std::vector<AcDbObjectId> m_ids;
  long m_index = 0;
  bool m_skipDeleted = true;
};

class AcDbBlockTableIterator : public AcDbSymbolTableIterator {
 public:
  using AcDbSymbolTableIterator::AcDbSymbolTableIterator;
  using AcDbSymbolTableIterator::getRecord;
  Acad::ErrorStatus getRecord(AcDbBlockTableRecord*& pRecord, AcDb::OpenMode mode = AcDb::kForRead,
                              bool openErasedRec = false) const {
    return getTyped(pRecord, mode, openErasedRec);
  }
};

class AcDbBlockTable : public AcDbSymbolTable {
 public:
  ACRX_DECLARE_MEMBERS(AcDbBlockTable);
  using AcDbSymbolTable::getAt;
  using AcDbSymbolTable::newIterator;
  Acad::ErrorStatus getAt(const ACHAR* entryName, AcDbBlockTableRecord*& pRec,
                          AcDb::OpenMode openMode, bool openErasedRec = false) const;
  Acad::ErrorStatus newIterator(AcDbBlockTableIterator*& pIterator, bool atBeginning = true,
                                bool skipDeleted = true) const;
};

// --- layer table ---------------------------------------------------------------------------------

class AcDbLayerTableRecord : public AcDbSymbolTableRecord {
 public:
  ACRX_DECLARE_MEMBERS(AcDbLayerTableRecord);
  bool isOff() const;
  void setIsOff(bool off);
  bool isFrozen() const;
  Acad::ErrorStatus setIsFrozen(bool frozen);
  bool isLocked() const;
  void setIsLocked(bool locked);
  bool isHidden() const;
  Acad::ErrorStatus setIsHidden(bool hidden);
  bool isPlottable() const;
  Acad::ErrorStatus setIsPlottable(bool plottable);
  short colorIndex() const;
  void setColorIndex(short index);

 private:
  bool m_off = false, m_frozen = false, m_locked = false, m_hidden = false, m_plottable = true;
  short m_color = 7;
};

class AcDbLayerTableIterator : public AcDbSymbolTableIterator {
 public:
  using AcDbSymbolTableIterator::AcDbSymbolTableIterator;
  using AcDbSymbolTableIterator::getRecord;
  Acad::ErrorStatus getRecord(AcDbLayerTableRecord*& pRecord, AcDb::OpenMode mode = AcDb::kForRead,
                              bool openErasedRec = false) const {
    return getTyped(pRecord, mode, openErasedRec);
  }
};

class AcDbLayerTable : public AcDbSymbolTable {
 public:
  ACRX_DECLARE_MEMBERS(AcDbLayerTable);
  using AcDbSymbolTable::getAt;
  using AcDbSymbolTable::newIterator;
  Acad::ErrorStatus getAt(const ACHAR* entryName, AcDbLayerTableRecord*& pRec,
                          AcDb::OpenMode openMode, bool openErasedRec = false) const;
  Acad::ErrorStatus newIterator(AcDbLayerTableIterator*& pIterator, bool atBeginning = true,
                                bool skipDeleted = true) const;
};

// --- text style table ----------------------------------------------------------------------------

class AcDbTextStyleTableRecord : public AcDbSymbolTableRecord {
 public:
  ACRX_DECLARE_MEMBERS(AcDbTextStyleTableRecord);
  // ACHAR*& forms allocate: free with acutDelString.
  Acad::ErrorStatus fileName(ACHAR*& fileName) const;
  Acad::ErrorStatus fileName(const ACHAR*& fileName) const;
  Acad::ErrorStatus fileName(AcString& fileName) const;
  Acad::ErrorStatus setFileName(const ACHAR* fileName);
  Acad::ErrorStatus bigFontFileName(ACHAR*& fileName) const;
  Acad::ErrorStatus bigFontFileName(const ACHAR*& fileName) const;
  Acad::ErrorStatus bigFontFileName(AcString& fileName) const;
  Acad::ErrorStatus setBigFontFileName(const ACHAR* fileName);
  // The TrueType typeface; an empty typeface turns the style back to its shape font files.
  Acad::ErrorStatus setFont(const ACHAR* pTypeface, bool bold, bool italic, Charset charset,
                            Autodesk::AutoCAD::PAL::FontUtils::FontPitch pitch,
                            Autodesk::AutoCAD::PAL::FontUtils::FontFamily family,
                            bool bAllowMissingFont = false);
  Acad::ErrorStatus font(AcString& sTypeface, bool& bold, bool& italic, Charset& charset,
                         Autodesk::AutoCAD::PAL::FontUtils::FontPitch& pitch,
                         Autodesk::AutoCAD::PAL::FontUtils::FontFamily& family) const;
  double textSize() const;
  Acad::ErrorStatus setTextSize(double size);
  double xScale() const;
  Acad::ErrorStatus setXScale(double scale);
  bool isShapeFile() const;
  void setIsShapeFile(bool shape);

 private:
  std::wstring m_file, m_bigFont, m_typeface;
  bool m_bold = false, m_italic = false, m_shapeFile = false;
  Charset m_charset = kAnsiCharset;
  Autodesk::AutoCAD::PAL::FontUtils::FontPitch m_pitch = Autodesk::AutoCAD::PAL::FontUtils::FontPitch::kDefault;
  Autodesk::AutoCAD::PAL::FontUtils::FontFamily m_family = Autodesk::AutoCAD::PAL::FontUtils::FontFamily::kDoNotCare;
  double m_size = 0, m_xScale = 1;
};

class AcDbTextStyleTableIterator : public AcDbSymbolTableIterator {
 public:
  using AcDbSymbolTableIterator::AcDbSymbolTableIterator;
  using AcDbSymbolTableIterator::getRecord;
  Acad::ErrorStatus getRecord(AcDbTextStyleTableRecord*& pRecord,
                              AcDb::OpenMode mode = AcDb::kForRead, bool openErasedRec = false) const {
    return getTyped(pRecord, mode, openErasedRec);
  }
};

class AcDbTextStyleTable : public AcDbSymbolTable {
 public:
  ACRX_DECLARE_MEMBERS(AcDbTextStyleTable);
  using AcDbSymbolTable::getAt;
  using AcDbSymbolTable::newIterator;
  Acad::ErrorStatus getAt(const ACHAR* entryName, AcDbTextStyleTableRecord*& pRec,
                          AcDb::OpenMode openMode, bool openErasedRec = false) const;
  Acad::ErrorStatus newIterator(AcDbTextStyleTableIterator*& pIterator, bool atBeginning = true,
                                bool skipDeleted = true) const;
};

// --- views ---------------------------------------------------------------------------------------

// A view's values. The SDK declares them on this shared base of view and viewport records.
class AcDbAbstractViewTableRecord : public AcDbSymbolTableRecord {
 public:
  ACRX_DECLARE_MEMBERS(AcDbAbstractViewTableRecord);
  AcGePoint2d centerPoint() const { return m_center; }
  void setCenterPoint(const AcGePoint2d& center) { m_center = center; }
  double height() const { return m_height; }
  void setHeight(double height) { m_height = height; }
  double width() const { return m_width; }
  void setWidth(double width) { m_width = width; }
  AcGePoint3d target() const { return m_target; }
  void setTarget(const AcGePoint3d& target) { m_target = target; }
  AcGeVector3d viewDirection() const { return m_direction; }
  void setViewDirection(const AcGeVector3d& direction) { m_direction = direction; }
  double viewTwist() const { return m_twist; }
  void setViewTwist(double angle) { m_twist = angle; }

 private:
  AcGePoint2d m_center;
  double m_height = 0, m_width = 0, m_twist = 0;
  AcGePoint3d m_target;
  AcGeVector3d m_direction{0, 0, 1};
};

// A named view; the plug-in fills one to set the current view (acedSetCurrentView), so it need
// not be in a database.
class AcDbViewTableRecord : public AcDbAbstractViewTableRecord {
 public:
  ACRX_DECLARE_MEMBERS(AcDbViewTableRecord);
  bool isPaperspaceView() const { return m_paperspace; }
  void setIsPaperspaceView(bool paperspace) { m_paperspace = paperspace; }

 private:
  bool m_paperspace = false;
};
