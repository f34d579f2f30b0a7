// Database layer of the SDK surface: handles, object ids, drawing databases and the host
// application services.
//
// The simulated database keeps what the plug-in reads; its internals live in cadsim/engine.
#pragma once

#include <memory>

#include "cadsim/sdk/acad_types.h"
#include "cadsim/sdk/acutil.h"

class AcDbDatabase;
class AcDbLayoutManager;
class AcDbBlockTable;
class AcDbLayerTable;
class AcDbTextStyleTable;
class AcDbDictionary;
class AcDbPlotSettingsValidator;

namespace cadsim {
struct DatabaseData;
struct ObjectStub;
}  // namespace cadsim

// A persistent object handle: a 64-bit number written as upper-case hexadecimal text.
class AcDbHandle {
 public:
  AcDbHandle() = default;
  explicit AcDbHandle(Adesk::UInt64 value) : m_value(value) {}
  explicit AcDbHandle(const ACHAR* hex);
  bool isNull() const { return m_value == 0; }
  Adesk::UInt64 value() const { return m_value; }
  // Writes the hexadecimal text with a terminator; needs at most 17 characters.
  bool getIntoAsciiBuffer(ACHAR* buffer, size_t length) const;
  bool operator==(const AcDbHandle& o) const { return m_value == o.m_value; }
  bool operator!=(const AcDbHandle& o) const { return m_value != o.m_value; }

 private:
  Adesk::UInt64 m_value = 0;
};

// The in-session identity of a database object. Null unless it names an object of a live database.
class AcDbObjectId {
 public:
  AcDbObjectId() = default;
  static const AcDbObjectId kNull;
  bool isNull() const { return m_stub == nullptr; }
  bool isValid() const { return m_stub != nullptr; }
  AcDbHandle handle() const;
  AcDbDatabase* database() const;
  // True when the id names an object that is erased (false for a null id).
  bool isErased() const;
  bool operator==(const AcDbObjectId& o) const { return m_stub == o.m_stub; }
  bool operator!=(const AcDbObjectId& o) const { return m_stub != o.m_stub; }
  bool operator<(const AcDbObjectId& o) const { return m_stub < o.m_stub; }

  // Engine use: ids are made by the database that owns the object.
  explicit AcDbObjectId(cadsim::ObjectStub* stub) : m_stub(stub) {}
  cadsim::ObjectStub* stub() const { return m_stub; }

 private:
  cadsim::ObjectStub* m_stub = nullptr;
};

// A drawing database. It owns its objects: ids stay valid while it lives, and every object opened
// from it must be closed before it is destroyed (the simulated host reports objects left open).
class AcDbDatabase {
 public:
  // Sharing modes of readDwgFile.
  enum OpenMode {
    kForReadAndReadShare = 1,
    kForReadAndWriteNoShare = 2,
    kForReadAndAllShare = 3,
    kTryForReadShare = 4,
  };

  explicit AcDbDatabase(bool buildDefaultDrawing = true, bool noDocument = false);
  ~AcDbDatabase();
  AcDbDatabase(const AcDbDatabase&) = delete;
  AcDbDatabase& operator=(const AcDbDatabase&) = delete;

  // Reads a drawing file into a database made with buildDefaultDrawing false. A missing file
  // answers eFileNotFound; a file that cannot be read (a binary DWG here) a read-failure status.
  Acad::ErrorStatus readDwgFile(const ACHAR* fileName, OpenMode mode = kForReadAndReadShare,
                                bool bAllowCPConversion = false, const ACHAR* password = nullptr);
  const ACHAR* originalFileName() const;

  AcDbObjectId blockTableId() const;
  AcDbObjectId layerTableId() const;
  AcDbObjectId textStyleTableId() const;
  AcDbObjectId namedObjectsDictionaryId() const;
  AcDbObjectId layoutDictionaryId() const;
  // The block table record of the current space: model space, or the current layout's.
  AcDbObjectId currentSpaceId() const;
  AcDbObjectId paperSpaceVportId() const;
  AcDbObjectId clayer() const;
  AcDbObjectId textstyle() const;
  bool tilemode() const;

  Acad::ErrorStatus getBlockTable(AcDbBlockTable*& pTable, AcDb::OpenMode mode = AcDb::kForRead);
  Acad::ErrorStatus getLayerTable(AcDbLayerTable*& pTable, AcDb::OpenMode mode = AcDb::kForRead);
  Acad::ErrorStatus getTextStyleTable(AcDbTextStyleTable*& pTable,
                                      AcDb::OpenMode mode = AcDb::kForRead);
  Acad::ErrorStatus getNamedObjectsDictionary(AcDbDictionary*& pDict,
                                              AcDb::OpenMode mode = AcDb::kForRead);
  Acad::ErrorStatus getLayoutDictionary(AcDbDictionary*& pDict, AcDb::OpenMode mode = AcDb::kForRead);

  // Looks a handle up. A handle that names nothing answers eUnknownHandle (ids are never created
  // here, whatever createIfNotFound says); a null handle eNullHandle.
  Acad::ErrorStatus getAcDbObjectId(AcDbObjectId& retId, bool createIfNotFound,
                                    const AcDbHandle& objHandle, Adesk::UInt32 xRefId = 0);

  // Engine use.
  cadsim::DatabaseData& data() { return *m_data; }
  const cadsim::DatabaseData& data() const { return *m_data; }

 private:
  std::unique_ptr<cadsim::DatabaseData> m_data;
};

class AcDbHostApplicationServices {
 public:
  enum FindFileHint {
    kDefault = 0,
    kFontFile = 1,
    kCompiledShapeFile = 2,
    kTrueTypeFontFile = 3,
    kEmbeddedImageFile = 4,
    kXRefDrawing = 5,
    kPatternFile = 6,
    kARXApplication = 7,
    kFontMapFile = 8,
    kUnderlayFile = 9,
    kDataLinkFile = 10,
    kPhotometricWebFile = 11,
    kMaterialMapFile = 12,
    kCloudOrProjectFile = 13,
  };

  AcDbDatabase* workingDatabase() const;
  void setWorkingDatabase(AcDbDatabase* db);
  // Null when the host has no layout manager (tests can take it away).
  AcDbLayoutManager* layoutManager() const;
  // Null when the host has no plot settings validator (tests can take it away).
  AcDbPlotSettingsValidator* plotSettingsValidator() const;
  // Finds a file the way the host's support path does. Font hints look in the host's font folder;
  // other hints accept an existing absolute path or a file beside the database's drawing.
  // eOk with the full path in fileOut; eFileNotFound (fileOut empty); eInvalidInput for a null
  // name. (The SDK's form with a caller's buffer is private to the host.)
  Acad::ErrorStatus findFile(AcString& fileOut, const ACHAR* pcFilename, AcDbDatabase* pDb = nullptr,
                             FindFileHint hint = kDefault);
};

AcDbHostApplicationServices* acdbHostApplicationServices();
