// Drawing databases of the simulated host: handles, the default drawing, database accessors and
// the host application services.
#include "cadsim/engine/database_state.h"
#include "cadsim/engine/session_state.h"

namespace cadsim {
namespace {

template <class T>
T* addRecord(DatabaseData& d, AcDbObjectId table, T* record, const wchar_t* name) {
  record->setName(name);
  AcDbObjectId id = d.add(record, table);
  peek<AcDbSymbolTable>(table)->recordIds().push_back(id);
  return record;
}

}  // namespace

void buildDefaultDrawing(DatabaseData& d) {
  d.blockTable = d.add(new AcDbBlockTable(), AcDbObjectId());
  d.layerTable = d.add(new AcDbLayerTable(), AcDbObjectId());
  d.textStyleTable = d.add(new AcDbTextStyleTable(), AcDbObjectId());
  d.namedObjects = d.add(new AcDbDictionary(), AcDbObjectId());
  d.layoutDictionary = d.add(new AcDbDictionary(), d.namedObjects);
  peek<AcDbDictionary>(d.namedObjects)->entries().push_back({L"ACAD_LAYOUT", d.layoutDictionary});

  auto* layer0 = addRecord(d, d.layerTable, new AcDbLayerTableRecord(), L"0");
  d.clayer = layer0->objectId();
  auto* standard = new AcDbTextStyleTableRecord();
  standard->setFileName(L"txt.shx");
  d.textstyle = addRecord(d, d.textStyleTable, standard, L"Standard")->objectId();

  auto* model = addRecord(d, d.blockTable, new AcDbBlockTableRecord(), ACDB_MODEL_SPACE);
  d.modelSpace = model->objectId();
  auto* layout = new AcDbLayout();
  layout->setLayoutName(L"Model");
  layout->setTabOrder(0);
  layout->setModelTypeFlag(true);
  layout->setBlockTableRecordId(d.modelSpace);
  AcDbObjectId modelLayout = d.add(layout, d.layoutDictionary);
  peek<AcDbDictionary>(d.layoutDictionary)->entries().push_back({L"Model", modelLayout});
  model->objectState().writer = true;  // engine write of a closed record
  model->setLayoutId(modelLayout);
  model->objectState().writer = false;
  d.currentLayout = modelLayout;

  createPaperLayout(d.owner, L"Layout1", 1, nullptr);
  createPaperLayout(d.owner, L"Layout2", 2, nullptr);
}

}  // namespace cadsim

using cadsim::peek;

AcDbHandle AcDbObjectId::handle() const {
  return m_stub && m_stub->database ? AcDbHandle(m_stub->handle) : AcDbHandle();
}
AcDbDatabase* AcDbObjectId::database() const { return m_stub ? m_stub->database : nullptr; }
bool AcDbObjectId::isErased() const {
  return m_stub && m_stub->database && m_stub->object && m_stub->object->objectState().erased;
}

AcDbDatabase::AcDbDatabase(bool buildDefaultDrawing, bool)
    : m_data(std::make_unique<cadsim::DatabaseData>(this)) {
  if (buildDefaultDrawing) cadsim::buildDefaultDrawing(*m_data);
}

namespace {
AcDbDatabase* g_workingDatabase = nullptr;
}

AcDbDatabase::~AcDbDatabase() {
  // Only the explicit working database: the current document may be mid-destruction here.
  if (g_workingDatabase == this) g_workingDatabase = nullptr;
}

const ACHAR* AcDbDatabase::originalFileName() const { return m_data->fileName.c_str(); }
AcDbObjectId AcDbDatabase::blockTableId() const { return m_data->blockTable; }
AcDbObjectId AcDbDatabase::layerTableId() const { return m_data->layerTable; }
AcDbObjectId AcDbDatabase::textStyleTableId() const { return m_data->textStyleTable; }
AcDbObjectId AcDbDatabase::namedObjectsDictionaryId() const { return m_data->namedObjects; }
AcDbObjectId AcDbDatabase::layoutDictionaryId() const { return m_data->layoutDictionary; }
AcDbObjectId AcDbDatabase::clayer() const { return m_data->clayer; }
AcDbObjectId AcDbDatabase::textstyle() const { return m_data->textstyle; }

AcDbObjectId AcDbDatabase::currentSpaceId() const {
  auto* l = peek<AcDbLayout>(m_data->currentLayout);
  return l ? l->blockRecordValue() : m_data->modelSpace;
}

AcDbObjectId AcDbDatabase::paperSpaceVportId() const {
  auto* l = peek<AcDbLayout>(m_data->currentLayout);
  if (!l || l->modelTypeValue()) return AcDbObjectId();
  auto* space = peek<AcDbBlockTableRecord>(l->blockRecordValue());
  if (!space) return AcDbObjectId();
  for (AcDbObjectId id : space->entityIds()) {
    auto* vp = peek<AcDbViewport>(id);
    if (vp && !vp->isErased() && vp->numberValue == 1) return id;
  }
  return AcDbObjectId();
}

bool AcDbDatabase::tilemode() const {
  auto* l = peek<AcDbLayout>(m_data->currentLayout);
  return !l || l->modelTypeValue();
}

Acad::ErrorStatus AcDbDatabase::getBlockTable(AcDbBlockTable*& pTable, AcDb::OpenMode mode) {
  return cadsim::openAsCall("getBlockTable", pTable, m_data->blockTable, mode);
}
Acad::ErrorStatus AcDbDatabase::getLayerTable(AcDbLayerTable*& pTable, AcDb::OpenMode mode) {
  return cadsim::openAsCall("getLayerTable", pTable, m_data->layerTable, mode);
}
Acad::ErrorStatus AcDbDatabase::getTextStyleTable(AcDbTextStyleTable*& pTable, AcDb::OpenMode mode) {
  return cadsim::openAsCall("getTextStyleTable", pTable, m_data->textStyleTable, mode);
}
Acad::ErrorStatus AcDbDatabase::getNamedObjectsDictionary(AcDbDictionary*& pDict, AcDb::OpenMode mode) {
  return cadsim::openAsCall("getNamedObjectsDictionary", pDict, m_data->namedObjects, mode);
}
Acad::ErrorStatus AcDbDatabase::getLayoutDictionary(AcDbDictionary*& pDict, AcDb::OpenMode mode) {
  return cadsim::openAsCall("getLayoutDictionary", pDict, m_data->layoutDictionary, mode);
}

Acad::ErrorStatus AcDbDatabase::getAcDbObjectId(AcDbObjectId& retId, bool, const AcDbHandle& objHandle,
                                                Adesk::UInt32) {
  retId = AcDbObjectId();
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("getAcDbObjectId", Acad::eUnknownHandle, &es)) return es;
  if (objHandle.isNull()) return Acad::eNullHandle;
  auto it = m_data->byHandle.find(objHandle.value());
  if (it == m_data->byHandle.end()) return Acad::eUnknownHandle;
  retId = AcDbObjectId(it->second);
  return Acad::eOk;
}

Acad::ErrorStatus AcDbDatabase::readDwgFile(const ACHAR* fileName, OpenMode, bool, const ACHAR*) {
  cadsim::requireMainThread("readDwgFile");
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("readDwgFile", Acad::eFileAccessErr, &es)) return es;
  if (!fileName || !*fileName) return Acad::eInvalidInput;
  if (!m_data->objects.empty()) return Acad::eInvalidContext;  // only into an empty database
  return cadsim::loadDrawingFile(this, fileName);
}

namespace cadsim {
AcDbDatabase* workingDatabase() { return g_workingDatabase ? g_workingDatabase : currentDatabase(); }
}  // namespace cadsim

AcDbDatabase* AcDbHostApplicationServices::workingDatabase() const {
  if (cadsim::hostCallAnswersNull("workingDatabase")) return nullptr;
  return cadsim::workingDatabase();
}

void AcDbHostApplicationServices::setWorkingDatabase(AcDbDatabase* db) { g_workingDatabase = db; }

AcDbHostApplicationServices* acdbHostApplicationServices() {
  static AcDbHostApplicationServices services;
  return &services;
}
