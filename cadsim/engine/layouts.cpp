// Layouts of the simulated host: plot settings, layout objects, the layout manager and the
// current layout of each drawing (CTAB).
#include <algorithm>

#include "cadsim/engine/database_state.h"

namespace cadsim {
namespace {

bool g_layoutManagerAvailable = true;

AcDbDatabase* targetDatabase(const AcDbDatabase* db) {
  return db ? const_cast<AcDbDatabase*>(db) : workingDatabase();
}

AcDbDictionary* layoutDictionary(AcDbDatabase* db) {
  return db ? peek<AcDbDictionary>(db->data().layoutDictionary) : nullptr;
}

}  // namespace

bool layoutManagerAvailable() { return g_layoutManagerAvailable; }
void setLayoutManagerAvailable(bool available) { g_layoutManagerAvailable = available; }

bool isModelName(const std::wstring& name) { return upper(name) == L"MODEL" || name == L"模型"; }

std::vector<AcDbObjectId> layoutIds(AcDbDatabase* db) {
  std::vector<AcDbObjectId> ids;
  AcDbDictionary* dict = layoutDictionary(db);
  if (!dict) return ids;
  for (auto& e : dict->entries()) {
    AcDbLayout* l = peek<AcDbLayout>(e.second);
    if (l && !l->isErased()) ids.push_back(e.second);
  }
  std::stable_sort(ids.begin(), ids.end(), [](AcDbObjectId a, AcDbObjectId b) {
    return peek<AcDbLayout>(a)->tabOrderValue() < peek<AcDbLayout>(b)->tabOrderValue();
  });
  return ids;
}

std::wstring layoutName(AcDbObjectId id) {
  AcDbLayout* l = peek<AcDbLayout>(id);
  if (!l) return L"";
  AcDbDictionary* dict = layoutDictionary(id.database());
  if (!dict) return L"";
  for (auto& e : dict->entries())
    if (e.second == id) return e.first;
  return L"";
}

AcDbObjectId findLayout(AcDbDatabase* db, const std::wstring& name) {
  AcDbDictionary* dict = layoutDictionary(db);
  if (!dict || name.empty()) return AcDbObjectId();
  for (auto& e : dict->entries()) {
    AcDbLayout* l = peek<AcDbLayout>(e.second);
    if (!l || l->isErased()) continue;
    if (upper(e.first) == upper(name)) return e.second;
  }
  // Model space answers to both of its names.
  if (isModelName(name))
    for (auto& e : dict->entries()) {
      AcDbLayout* l = peek<AcDbLayout>(e.second);
      if (l && !l->isErased() && l->modelTypeValue()) return e.second;
    }
  return AcDbObjectId();
}

bool makeLayoutCurrent(AcDbDatabase* db, AcDbObjectId layout) {
  AcDbLayout* l = peek<AcDbLayout>(layout);
  if (!db || !l || l->isErased() || layout.database() != db) return false;
  DatabaseData& d = db->data();
  d.currentLayout = layout;
  if (!l->modelTypeValue()) d.lastPaperLayout = layout;
  return true;
}

int setCtab(AcDbDatabase* db, const std::wstring& name) {
  int status = 0;
  if (argumentFails("acedSetVar", "CTAB", &status)) return status;
  if (!db) return RTERROR;
  AcDbObjectId id = findLayout(db, name);
  return makeLayoutCurrent(db, id) ? RTNORM : RTERROR;
}

AcDbObjectId createPaperLayout(AcDbDatabase* db, const std::wstring& name, int tabOrder,
                               AcDbObjectId* blockRecord) {
  if (!db || name.empty() || !findLayout(db, name).isNull()) return AcDbObjectId();
  DatabaseData& d = db->data();
  auto* table = peek<AcDbBlockTable>(d.blockTable);
  auto* dict = layoutDictionary(db);
  if (!table || !dict) return AcDbObjectId();
  // Paper spaces are "*Paper_Space", then "*Paper_Space0", "*Paper_Space1"...
  std::wstring spaceName = ACDB_PAPER_SPACE;
  for (int n = 0; [&] {
         for (AcDbObjectId id : table->recordIds()) {
           auto* r = peek<AcDbBlockTableRecord>(id);
           if (r && upper(r->nameText()) == upper(spaceName)) return true;
         }
         return false;
       }();
       ++n)
    spaceName = std::wstring(ACDB_PAPER_SPACE) + std::to_wstring(n);
  auto* space = new AcDbBlockTableRecord();
  space->setName(spaceName.c_str());
  AcDbObjectId spaceId = d.add(space, d.blockTable);
  table->recordIds().push_back(spaceId);

  if (tabOrder < 0) {
    tabOrder = 0;
    for (AcDbObjectId id : layoutIds(db)) {
      tabOrder = std::max(tabOrder, peek<AcDbLayout>(id)->tabOrderValue() + 1);
    }
  }
  auto* layout = new AcDbLayout();
  layout->setLayoutName(name.c_str());
  layout->setTabOrder(tabOrder);
  layout->setBlockTableRecordId(spaceId);
  AcDbObjectId layoutId = d.add(layout, d.layoutDictionary);
  space->objectState().writer = true;  // engine write of a closed record
  space->setLayoutId(layoutId);
  space->objectState().writer = false;
  auto& entries = dict->entries();
  auto pos = std::find_if(entries.begin(), entries.end(), [&](const std::pair<std::wstring, AcDbObjectId>& e) {
    return upper(e.first) > upper(name);
  });
  entries.insert(pos, {name, layoutId});
  // The layout's own paper-space viewport.
  auto* vp = new AcDbViewport();
  vp->setCenterPoint(AcGePoint3d(210, 148.5, 0));
  vp->setWidth(420);
  vp->setHeight(297);
  vp->numberValue = 1;
  AcDbObjectId vpId = d.add(vp, spaceId);
  space->entityIds().push_back(vpId);
  if (blockRecord) *blockRecord = spaceId;
  return layoutId;
}

}  // namespace cadsim

using cadsim::peek;

// --- plot settings --------------------------------------------------------------------------------

bool AcDbPlotSettings::modelType() const { assertReadEnabled(); return m_modelType; }
Acad::ErrorStatus AcDbPlotSettings::getPlotSettingsName(const ACHAR*& name) const {
  assertReadEnabled();
  name = m_plot.name.c_str();
  return Acad::eOk;
}
Acad::ErrorStatus AcDbPlotSettings::setPlotSettingsName(const ACHAR* name) {
  assertWriteEnabled();
  m_plot.name = name ? name : L"";
  return Acad::eOk;
}
Acad::ErrorStatus AcDbPlotSettings::getPlotCfgName(const ACHAR*& name) const {
  assertReadEnabled();
  name = m_plot.configName.c_str();
  return Acad::eOk;
}
Acad::ErrorStatus AcDbPlotSettings::getCanonicalMediaName(const ACHAR*& name) const {
  assertReadEnabled();
  name = m_plot.mediaName.c_str();
  return Acad::eOk;
}
Acad::ErrorStatus AcDbPlotSettings::getCurrentStyleSheet(const ACHAR*& name) const {
  assertReadEnabled();
  name = m_plot.styleSheet.c_str();
  return Acad::eOk;
}
AcDbPlotSettings::PlotPaperUnits AcDbPlotSettings::plotPaperUnits() const { assertReadEnabled(); return m_plot.units; }
AcDbPlotSettings::PlotRotation AcDbPlotSettings::plotRotation() const { assertReadEnabled(); return m_plot.rotation; }
AcDbPlotSettings::PlotType AcDbPlotSettings::plotType() const { assertReadEnabled(); return m_plot.type; }
bool AcDbPlotSettings::plotCentered() const { assertReadEnabled(); return m_plot.centered; }
bool AcDbPlotSettings::useStandardScale() const { assertReadEnabled(); return m_plot.standardScale; }
Acad::ErrorStatus AcDbPlotSettings::getStdScale(double& scale) const {
  assertReadEnabled();
  scale = m_plot.stdScale;
  return Acad::eOk;
}
Acad::ErrorStatus AcDbPlotSettings::getCustomPrintScale(double& numerator, double& denominator) const {
  assertReadEnabled();
  numerator = m_plot.numerator;
  denominator = m_plot.denominator;
  return Acad::eOk;
}
Acad::ErrorStatus AcDbPlotSettings::getPlotOrigin(double& x, double& y) const {
  assertReadEnabled();
  x = m_plot.originX;
  y = m_plot.originY;
  return Acad::eOk;
}
Acad::ErrorStatus AcDbPlotSettings::getPlotPaperSize(double& width, double& height) const {
  assertReadEnabled();
  const bool turned = m_plot.rotation == k90degrees || m_plot.rotation == k270degrees;
  width = turned ? m_plot.paperHeight : m_plot.paperWidth;
  height = turned ? m_plot.paperWidth : m_plot.paperHeight;
  return Acad::eOk;
}
Acad::ErrorStatus AcDbPlotSettings::getPlotPaperMargins(double& left, double& bottom, double& right,
                                                        double& top) const {
  assertReadEnabled();
  left = m_plot.marginLeft;
  bottom = m_plot.marginBottom;
  right = m_plot.marginRight;
  top = m_plot.marginTop;
  return Acad::eOk;
}
Acad::ErrorStatus AcDbPlotSettings::getPlotWindowArea(double& xmin, double& ymin, double& xmax,
                                                      double& ymax) const {
  assertReadEnabled();
  xmin = m_plot.windowMinX;
  ymin = m_plot.windowMinY;
  xmax = m_plot.windowMaxX;
  ymax = m_plot.windowMaxY;
  return Acad::eOk;
}
Acad::ErrorStatus AcDbPlotSettings::copyObjectFrom(const AcRxObject* pSrc) {
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("copyFrom", Acad::eNotApplicable, &es)) return es;
  const AcDbPlotSettings* src = AcDbPlotSettings::cast(pSrc);
  if (!src) return Acad::eWrongObjectType;
  src->assertReadEnabled();
  assertWriteEnabled();
  m_plot = src->m_plot;
  m_modelType = src->m_modelType;
  return Acad::eOk;
}

// --- layouts --------------------------------------------------------------------------------------

Acad::ErrorStatus AcDbLayout::getLayoutName(const ACHAR*& name) const {
  assertReadEnabled();
  Acad::ErrorStatus es;
  if (cadsim::nameReadFails(this, &es)) return es;
  name = m_name.c_str();
  return Acad::eOk;
}
Acad::ErrorStatus AcDbLayout::getName(AcString& name) const {
  assertReadEnabled();
  Acad::ErrorStatus es;
  if (cadsim::nameReadFails(this, &es)) return es;
  name = m_name.c_str();
  return Acad::eOk;
}
Acad::ErrorStatus AcDbLayout::setLayoutName(const ACHAR* name) {
  if (!name || !*name) return Acad::eInvalidInput;
  assertWriteEnabled();
  std::wstring old = m_name;
  m_name = name;
  // The layout dictionary's key follows the name.
  if (AcDbDictionary* dict = database() ? peek<AcDbDictionary>(database()->data().layoutDictionary) : nullptr)
    for (auto& e : dict->entries())
      if (e.second == objectId()) e.first = m_name;
  return Acad::eOk;
}
int AcDbLayout::getTabOrder() const { assertReadEnabled(); return m_tabOrder; }
void AcDbLayout::setTabOrder(int order) { assertWriteEnabled(); m_tabOrder = order; }
AcDbObjectId AcDbLayout::getBlockTableRecordId() const { assertReadEnabled(); return m_block; }
Acad::ErrorStatus AcDbLayout::setBlockTableRecordId(AcDbObjectId id) {
  assertWriteEnabled();
  m_block = id;
  return Acad::eOk;
}
AcDbObjectIdArray AcDbLayout::getViewportArray() const {
  assertReadEnabled();
  AcDbObjectIdArray out;
  auto* space = peek<AcDbBlockTableRecord>(m_block);
  if (!space) return out;
  std::vector<AcDbObjectId> vps;
  for (AcDbObjectId id : space->entityIds()) {
    auto* vp = peek<AcDbViewport>(id);
    if (!vp || vp->isErased()) continue;
    if (vp->numberValue == 1) vps.insert(vps.begin(), id);
    else vps.push_back(id);
  }
  for (AcDbObjectId id : vps) out.append(id);
  return out;
}
void AcDbLayout::getLimits(AcGePoint2d& min, AcGePoint2d& max) const {
  assertReadEnabled();
  min = limitsMin;
  max = limitsMax;
}
void AcDbLayout::getExtents(AcGePoint3d& min, AcGePoint3d& max) const {
  assertReadEnabled();
  min = extentsMin;
  max = extentsMax;
}

// --- the layout manager ---------------------------------------------------------------------------

namespace {
std::wstring& activeNameBuffer() {
  static std::wstring* buffer = new std::wstring();
  return *buffer;
}
}  // namespace

Acad::ErrorStatus AcDbLayoutManager::setCurrentLayout(const ACHAR* newname, AcDbDatabase* pDb) {
  cadsim::requireMainThread("setCurrentLayout");
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("setCurrentLayout", Acad::eInvalidContext, &es)) return es;
  if (!newname || !*newname) return Acad::eInvalidInput;
  int status = 0;
  if (cadsim::argumentFails("setCurrentLayout", newname, &status))
    return static_cast<Acad::ErrorStatus>(status);
  AcDbDatabase* db = cadsim::targetDatabase(pDb);
  if (!db) return Acad::eNullObjectPointer;
  AcDbObjectId id = cadsim::findLayout(db, newname);
  if (id.isNull()) return Acad::eKeyNotFound;
  cadsim::makeLayoutCurrent(db, id);
  return Acad::eOk;
}

Acad::ErrorStatus AcDbLayoutManager::setCurrentLayoutId(AcDbObjectId layoutId) {
  cadsim::requireMainThread("setCurrentLayoutId");
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("setCurrentLayoutId", Acad::eInvalidContext, &es)) return es;
  if (layoutId.isNull()) return Acad::eNullObjectId;
  return cadsim::makeLayoutCurrent(layoutId.database(), layoutId) ? Acad::eOk : Acad::eInvalidInput;
}

namespace {

// The current layout's name; with allowModel false, model space answers the last paper layout
// that was current, or the first one in tab order when none ever was.
Acad::ErrorStatus activeLayoutName(const AcDbDatabase* pDb, bool allowModel, std::wstring* name) {
  AcDbDatabase* db = cadsim::targetDatabase(pDb);
  if (!db) return Acad::eNullObjectPointer;
  AcDbObjectId id = db->data().currentLayout;
  auto* l = peek<AcDbLayout>(id);
  if (l && l->modelTypeValue() && !allowModel) id = db->data().lastPaperLayout;
  if (id.isNull() || cadsim::layoutName(id).empty()) {
    if (allowModel) return Acad::eKeyNotFound;
    for (AcDbObjectId other : cadsim::layoutIds(db)) {
      auto* o = peek<AcDbLayout>(other);
      if (!o->modelTypeValue()) {
        id = other;
        break;
      }
    }
    if (id.isNull()) return Acad::eKeyNotFound;
  }
  *name = cadsim::layoutName(id);
  return Acad::eOk;
}

}  // namespace

const ACHAR* AcDbLayoutManager::findActiveLayout(bool allowModel, const AcDbDatabase* pDb) {
  cadsim::requireMainThread("findActiveLayout");
  if (cadsim::hostCallAnswersNull("findActiveLayout", "getActiveLayoutName")) return nullptr;
  std::wstring name;
  if (activeLayoutName(pDb, allowModel, &name) != Acad::eOk) return nullptr;
  activeNameBuffer() = name;
  return activeNameBuffer().c_str();
}

Acad::ErrorStatus AcDbLayoutManager::getActiveLayoutName(AcString& sName, bool allowModel,
                                                         const AcDbDatabase* pDb) {
  cadsim::requireMainThread("getActiveLayoutName");
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("getActiveLayoutName", Acad::eKeyNotFound, &es)) return es;
  std::wstring name;
  if ((es = activeLayoutName(pDb, allowModel, &name)) != Acad::eOk) return es;
  sName = name;
  return Acad::eOk;
}

AcDbObjectId AcDbLayoutManager::getActiveLayoutBTRId(const AcDbDatabase* pDb) {
  AcDbDatabase* db = cadsim::targetDatabase(pDb);
  if (!db) return AcDbObjectId();
  auto* l = peek<AcDbLayout>(db->data().currentLayout);
  if (!l) return AcDbObjectId();
  return l->blockRecordValue();
}

AcDbObjectId AcDbLayoutManager::findLayoutNamed(const ACHAR* name, const AcDbDatabase* pDb) {
  cadsim::requireMainThread("findLayoutNamed");
  if (cadsim::hostCallAnswersNull("findLayoutNamed") || !name) return AcDbObjectId();
  return cadsim::findLayout(cadsim::targetDatabase(pDb), name);
}

bool AcDbLayoutManager::layoutExists(const ACHAR* name, const AcDbDatabase* pDb) {
  cadsim::requireMainThread("layoutExists");
  if (cadsim::hostCallAnswersNull("layoutExists", "findLayoutNamed") || !name) return false;
  return !cadsim::findLayout(cadsim::targetDatabase(pDb), name).isNull();
}

int AcDbLayoutManager::countLayouts(AcDbDatabase* pDb) {
  return static_cast<int>(cadsim::layoutIds(cadsim::targetDatabase(pDb)).size());
}

Acad::ErrorStatus AcDbLayoutManager::createLayout(const ACHAR* newname, AcDbObjectId& layoutId,
                                                  AcDbObjectId& blockTableRecId, AcDbDatabase* pDb) {
  cadsim::requireMainThread("createLayout");
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("createLayout", Acad::eInvalidContext, &es)) return es;
  if (!newname || !*newname) return Acad::eInvalidInput;
  AcDbDatabase* db = cadsim::targetDatabase(pDb);
  if (!db) return Acad::eNullObjectPointer;
  if (!cadsim::findLayout(db, newname).isNull()) return Acad::eDuplicateKey;
  layoutId = cadsim::createPaperLayout(db, newname, -1, &blockTableRecId);
  return layoutId.isNull() ? Acad::eInvalidInput : Acad::eOk;
}

AcDbLayoutManager* AcDbHostApplicationServices::layoutManager() const {
  static AcDbLayoutManager* manager = new AcDbLayoutManager();
  if (cadsim::hostCallAnswersNull("layoutManager")) return nullptr;
  return cadsim::layoutManagerAvailable() ? manager : nullptr;
}
