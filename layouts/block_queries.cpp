#include "layouts/block_queries.h"

#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <memory>
#include <set>
#include <vector>

#include "host/opened_object.h"
#include "host/platform.h"
#include "host/strings.h"
#include "layouts/attribute_text.h"
#include "link/hub_protocol.h"
#include "pipeline/session_actions.h"
#include "plot/plot_view.h"
#include "plugin/message_language.h"
#include "plugin/messages.h"

namespace {

const char* const kUnknownBlockName = "未知块名";
const char* const kAttributeTextError = "Error: Cannot read block attribute text.";

// The window the developer command lists: an A3 sheet in millimetres at the origin.
constexpr double kTestWindowMaxX = 420.0;
constexpr double kTestWindowMaxY = 297.0;

// A selection set the host made; freed on every path out of the scope.
class SelectionSet {
 public:
  SelectionSet() = default;
  SelectionSet(const SelectionSet&) = delete;
  SelectionSet& operator=(const SelectionSet&) = delete;
  ~SelectionSet() {
    if (m_selected) acedSSFree(m_name);
  }

  // INSERT entities entirely inside the window; false when the host selected nothing.
  bool SelectInsertsInWindow(double xmin, double ymin, double xmax, double ymax) {
    ads_point first = {xmin, ymin, 0.0};
    ads_point second = {xmax, ymax, 0.0};
    resbuf* filter = acutBuildList(RTDXF0, L"INSERT", RTNONE);
    // Without its filter the window would take every entity and count them all as blocks.
    if (!filter) return false;
    const int status = acedSSGet(L"W", first, second, filter, m_name);
    if (filter) acutRelRb(filter);
    m_selected = status == RTNORM;
    return m_selected;
  }

  Adesk::Int32 Length() const {
    Adesk::Int32 length = 0;
    if (acedSSLength(m_name, &length) != RTNORM || length < 0) return 0;
    return length;
  }

  AcDbObjectId IdAt(Adesk::Int32 index) const {
    ads_name entity = {0, 0};
    AcDbObjectId id;
    if (acedSSName(m_name, index, entity) != RTNORM) return id;
    if (acdbGetObjectId(id, entity) != Acad::eOk) return AcDbObjectId();
    return id;
  }

 private:
  ads_name m_name = {0, 0};
  bool m_selected = false;
};

// The name of the definition the reference points at directly (not its dynamic definition).
std::string DirectDefinitionName(const AcDbBlockReference* reference) {
  OpenedObject<AcDbBlockTableRecord> definition;
  if (acdbOpenObject(definition.object, reference->blockTableRecord(), AcDb::kForRead) != Acad::eOk)
    return kUnknownBlockName;
  AcString name;
  if (definition.object->getName(name) != Acad::eOk || name.isEmpty()) return kUnknownBlockName;
  return ws2s(name.kwszPtr());
}

// The reference's attributes; null only when the host gives no iterator. A reference whose
// iterator yields nothing is still listed, with an empty "attributes" array: the companion reads
// these two answers as "every block reference here", unlike the snapshot readers.
std::unique_ptr<AcDbObjectIterator> AttributesOf(const AcDbBlockReference* reference) {
  return std::unique_ptr<AcDbObjectIterator>(reference->attributeIterator());
}

// Appends one block object; false when an attribute opened but its text could not be read. An
// attribute that does not open is left out.
bool AppendBlockObject(std::string& json, const std::string& name, AcDbObjectIterator& attributes) {
  std::string block = "{\"blockName\":\"" + jsonEscape(name) + "\",\"attributes\":[";
  bool first = true;
  for (attributes.start(false); !attributes.done(); attributes.step(false, true)) {
    OpenedObject<AcDbAttribute> attribute;
    if (acdbOpenObject(attribute.object, attributes.objectId(), AcDb::kForRead) != Acad::eOk) continue;
    std::string tag, value;
    if (OrvikAttributeText::ReadUtf8Pair(attribute.object, tag, value) != Acad::eOk) return false;
    if (!first) block += ',';
    first = false;
    block += "{\"tag\":\"" + jsonEscape(tag) + "\",\"value\":\"" + jsonEscape(value) + "\"}";
  }
  block += "]}";
  if (json.size() > 1) json += ',';
  json += block;
  return true;
}

// "CTAB" as UTF-8; false when it cannot be read as text.
bool ReadCurrentLayoutName(std::string& name) {
  resbuf value{};
  if (acedGetVar(L"CTAB", &value) != RTNORM) return false;
  if (value.restype != RTSTR || !value.resval.rstring) return false;
  name = ws2s(value.resval.rstring);
  std::free(value.resval.rstring);  // acedGetVar malloc()s its strings
  return true;
}

AcDbDatabase* ActiveDatabase(std::string& error) {
  AcApDocManager* manager = acDocManagerPtr();
  AcApDocument* document = manager ? manager->mdiActiveDocument() : nullptr;
  if (!document) {
    error = "Error: No active document.";
    return nullptr;
  }
  AcDbDatabase* database = document->database();
  if (!database) error = "Error: No database.";
  return database;
}

}  // namespace

// The result texts' escaping: tab, line feed and carriage return short, every other control byte
// as \u00xx, so a strict reader on the companion's side accepts every name and value.
std::string jsonEscape(const std::string& text) { return JsonEscape(text); }

std::string ws2s(const wchar_t* text) { return OrvikUtf8(text); }

std::string PerformQueryBlocksByWindow(double xmin, double ymin, double xmax, double ymax, const std::string& layoutName) {
  ORVIK_ASSERT_MAIN_THREAD();
  std::string error;
  if (!ActiveDatabase(error)) return error;
  // A window without area selects nothing and would set a view of no size: refused before the
  // layout or the view changes. The negated test also refuses a corner that is not a number.
  if (!(std::fabs(xmax - xmin) > 0.0 && std::fabs(ymax - ymin) > 0.0))
    return "Error: The query window has no area.";
  // Querying whatever space happens to be current would answer another layout's blocks under the
  // requested name.
  if (SwitchSpace(layoutName) != RTNORM) return "Error: Cannot switch to layout '" + layoutName + "'.";
  // The selection takes the window as requested; the summary shows it as the view made it.
  double shownXmin = xmin, shownYmin = ymin, shownXmax = xmax, shownYmax = ymax;
  FocusAndGetPlotWindow(shownXmin, shownYmin, shownXmax, shownYmax);

  SelectionSet selection;
  if (!selection.SelectInsertsInWindow(xmin, ymin, xmax, ymax)) return "[]";
  const Adesk::Int32 count = selection.Length();
  std::string json = "[";
  for (Adesk::Int32 i = 0; i < count; ++i) {
    OpenedObject<AcDbBlockReference> reference;
    if (acdbOpenObject(reference.object, selection.IdAt(i), AcDb::kForRead) != Acad::eOk) continue;
    std::unique_ptr<AcDbObjectIterator> attributes = AttributesOf(reference.object);
    if (!attributes) continue;
    if (!AppendBlockObject(json, DirectDefinitionName(reference.object), *attributes)) return kAttributeTextError;
  }
  json += ']';
  acutPrintf(orvikText(kMsgBlockWindowSummary), shownXmin, shownYmin, shownXmax, shownYmax, layoutName.c_str(),
             static_cast<int>(count));
  return json;
}

std::string PerformQueryAllBlocks() {
  ORVIK_ASSERT_MAIN_THREAD();
  std::string error;
  AcDbDatabase* database = ActiveDatabase(error);
  if (!database) return error;

  OpenedObject<AcDbBlockTableRecord> space;
  if (acdbOpenObject(space.object, database->currentSpaceId(), AcDb::kForRead) != Acad::eOk)
    return "Error: Cannot open current space.";
  AcDbBlockTableRecordIterator* rawEntities = nullptr;
  // Without its entities the space cannot be read at all: an empty answer would claim it holds none.
  if (space.object->newIterator(rawEntities, true, true) != Acad::eOk || !rawEntities)
    return "Error: Cannot open current space.";
  std::unique_ptr<AcDbBlockTableRecordIterator> entities(rawEntities);

  std::set<std::string> listed;
  std::string json = "[";
  for (; !entities->done(); entities->step(true, true)) {
    OpenedObject<AcDbEntity> entity;
    if (entities->getEntity(entity.object, AcDb::kForRead, false) != Acad::eOk || !entity.object) continue;
    const AcDbBlockReference* reference = AcDbBlockReference::cast(entity.object);
    if (!reference) continue;
    std::unique_ptr<AcDbObjectIterator> attributes = AttributesOf(reference);
    if (!attributes) continue;
    const std::string name = DirectDefinitionName(reference);
    if (!listed.insert(name).second) continue;
    if (!AppendBlockObject(json, name, *attributes)) return kAttributeTextError;
  }
  json += ']';

  std::string spaceName;
  if (!ReadCurrentLayoutName(spaceName)) spaceName = "Unknown";
  acutPrintf(orvikText(kMsgBlockAllSummary), spaceName.c_str(), static_cast<int>(listed.size()));
  return json;
}

void orviktestQueryBlocksCmd() {
  try {
    std::string error;
    if (!ActiveDatabase(error)) return;
    SelectionSet selection;
    if (!selection.SelectInsertsInWindow(0.0, 0.0, kTestWindowMaxX, kTestWindowMaxY)) {
      acutPrintf(orvikText(kMsgTestBlocksNone));
      return;
    }
    int listedBlocks = 0;
    const Adesk::Int32 count = selection.Length();
    for (Adesk::Int32 i = 0; i < count; ++i) {
      OpenedObject<AcDbBlockReference> reference;
      if (acdbOpenObject(reference.object, selection.IdAt(i), AcDb::kForRead) != Acad::eOk) continue;
      std::unique_ptr<AcDbObjectIterator> attributes = AttributesOf(reference.object);
      if (!attributes) continue;
      attributes->start(false);
      if (attributes->done()) continue;  // the developer wants the attributed ones only
      acutPrintf(orvikText(kMsgTestBlockName), OrvikWide(DirectDefinitionName(reference.object)).c_str());
      int attributeCount = 0;
      for (attributes->start(false); !attributes->done(); attributes->step(false, true)) {
        OpenedObject<AcDbAttribute> attribute;
        if (acdbOpenObject(attribute.object, attributes->objectId(), AcDb::kForRead) != Acad::eOk) continue;
        AcString tag, value;
        if (attribute.object->tag(tag) != Acad::eOk) continue;
        if (OrvikAttributeText::ReadValue(attribute.object, value) != Acad::eOk) continue;
        acutPrintf(orvikText(kMsgTestBlockAttribute), tag.kwszPtr(), value.kwszPtr());
        ++attributeCount;
      }
      acutPrintf(orvikText(kMsgTestBlockAttributeCount), attributeCount);
      ++listedBlocks;
    }
    acutPrintf(orvikText(kMsgTestBlocksDone), listedBlocks);
  } catch (...) {
    // Nothing may escape into the host's command loop.
  }
}

namespace {

struct SampleAttribute {
  const wchar_t* tag;
  const wchar_t* prompt;
  const wchar_t* defaultText;
  const wchar_t* sampleValue;
};

const wchar_t* const kTestFrameName = L"图框";
constexpr double kTestTextHeight = 5.0;
const SampleAttribute kSampleAttributes[] = {
    {L"DRAWING_NAME", L"图名", L"图名", L"测试图纸"},
    {L"DRAWING_NO", L"图号", L"00-00", L"A-101"},
    {L"AUTHOR", L"设计", L"设计人", L"张工"},
    {L"PHASE", L"阶段", L"方案", L"施工图"},
    {L"DATE", L"日期", L"2024-01-01", L"2024-06-30"},
};

// The frame definition, made when the drawing has none of that name yet.
AcDbObjectId EnsureTestFrameDefinition(AcDbDatabase* database) {
  OpenedObject<AcDbBlockTable> table;
  if (database->getBlockTable(table.object, AcDb::kForRead) != Acad::eOk) return AcDbObjectId();
  AcDbObjectId existing;
  if (table.object->getAt(kTestFrameName, existing) == Acad::eOk) return existing;
  if (table.object->upgradeOpen() != Acad::eOk) return AcDbObjectId();

  auto* record = new AcDbBlockTableRecord();
  record->setName(kTestFrameName);
  AcDbObjectId recordId;
  if (table.object->add(recordId, record) != Acad::eOk) {
    delete record;
    return AcDbObjectId();
  }
  OpenedObject<AcDbBlockTableRecord> definition;
  definition.object = record;

  auto* frame = new AcDbPolyline(4);
  const AcGePoint2d corners[] = {{0, 0}, {kTestWindowMaxX, 0}, {kTestWindowMaxX, kTestWindowMaxY}, {0, kTestWindowMaxY}};
  for (unsigned i = 0; i < 4; ++i) frame->addVertexAt(i, corners[i]);
  frame->setClosed(true);
  if (definition.object->appendAcDbEntity(frame) == Acad::eOk) frame->close();
  else delete frame;

  double y = 50.0;
  for (const SampleAttribute& sample : kSampleAttributes) {
    auto* attributeDefinition =
        new AcDbAttributeDefinition(AcGePoint3d(10.0, y, 0.0), sample.defaultText, sample.tag, sample.prompt);
    attributeDefinition->setHeight(kTestTextHeight);
    if (definition.object->appendAcDbEntity(attributeDefinition) == Acad::eOk) attributeDefinition->close();
    else delete attributeDefinition;
    y -= 10.0;
  }
  return recordId;
}

const wchar_t* SampleValueFor(const wchar_t* tag) {
  for (const SampleAttribute& sample : kSampleAttributes)
    if (std::wstring(sample.tag) == tag) return sample.sampleValue;
  return L"";
}

// One attribute per attribute definition of the block, carried through the reference's transform.
void AddSampleAttributes(AcDbBlockReference* reference, AcDbObjectId definitionId) {
  OpenedObject<AcDbBlockTableRecord> definition;
  if (acdbOpenObject(definition.object, definitionId, AcDb::kForRead) != Acad::eOk) return;
  AcDbBlockTableRecordIterator* rawEntities = nullptr;
  if (definition.object->newIterator(rawEntities, true, true) != Acad::eOk || !rawEntities) return;
  std::unique_ptr<AcDbBlockTableRecordIterator> entities(rawEntities);
  const AcGeMatrix3d transform = reference->blockTransform();
  for (; !entities->done(); entities->step(true, true)) {
    OpenedObject<AcDbEntity> entity;
    if (entities->getEntity(entity.object, AcDb::kForRead, false) != Acad::eOk) continue;
    const AcDbAttributeDefinition* attributeDefinition = AcDbAttributeDefinition::cast(entity.object);
    if (!attributeDefinition || attributeDefinition->isConstant()) continue;
    auto* attribute = new AcDbAttribute();
    AcGePoint3d position = attributeDefinition->position();
    attribute->setPosition(position.transformBy(transform));
    attribute->setHeight(attributeDefinition->height());
    attribute->setRotation(attributeDefinition->rotation() + reference->rotation());
    attribute->setTag(attributeDefinition->tagConst());
    attribute->setInvisible(attributeDefinition->isInvisible());
    attribute->setTextString(SampleValueFor(attributeDefinition->tagConst()));
    if (reference->appendAttribute(attribute) == Acad::eOk) attribute->close();
    else delete attribute;
  }
}

}  // namespace

void orviktestCreateBlockCmd() {
  try {
    std::string error;
    AcDbDatabase* database = ActiveDatabase(error);
    if (!database) return;
    const AcDbObjectId definition = EnsureTestFrameDefinition(database);
    if (definition.isNull()) return;

    OpenedObject<AcDbBlockTableRecord> space;
    if (acdbOpenObject(space.object, database->currentSpaceId(), AcDb::kForWrite) != Acad::eOk) return;
    OpenedObject<AcDbBlockReference> reference;
    reference.object = new AcDbBlockReference(AcGePoint3d(0, 0, 0), definition);
    if (space.object->appendAcDbEntity(reference.object) != Acad::eOk) {
      delete reference.object;
      reference.object = nullptr;
      return;
    }
    AddSampleAttributes(reference.object, definition);
    acutPrintf(orvikText(kMsgTestFrameInserted));
  } catch (...) {
    // Nothing may escape into the host's command loop.
  }
}
