#include "layouts/layout_context.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "host/opened_object.h"
#include "host/platform.h"
#include "host/strings.h"
#include "layouts/attribute_text.h"
#include "layouts/block_queries.h"
#include "pipeline/layout_switch.h"

namespace {

struct BlockResult {
  unsigned long long handleValue = 0;
  std::string blockHandle;
  std::string blockName;
  std::vector<std::pair<std::string, std::string>> attributes;
};

std::string Failure(const char* code, const char* message) {
  return std::string("{\"success\":false,\"errorCode\":\"") + code + "\",\"message\":\"" + message + "\"}";
}

std::string HandleText(AcDbObjectId id) {
  ACHAR buffer[32] = {};
  id.handle().getIntoAsciiBuffer(buffer, 32);
  return ws2s(buffer);
}

AcDbObjectId ResolveByHandle(AcDbDatabase* database, const std::string& layoutHandle) {
  const std::wstring wide = OrvikWide(layoutHandle);
  const AcDbHandle handle(wide.c_str());
  AcDbObjectId id;
  if (handle.isNull()) return id;
  if (database->getAcDbObjectId(id, false, handle, 0) != Acad::eOk) return AcDbObjectId();
  return id;
}

AcDbObjectId ResolveByName(AcDbDatabase* database, const std::string& layoutName) {
  AcDbHostApplicationServices* services = acdbHostApplicationServices();
  AcDbLayoutManager* manager = services ? services->layoutManager() : nullptr;
  if (!manager) return AcDbObjectId();
  return manager->findLayoutNamed(OrvikWide(layoutName).c_str(), database);
}

std::string DefinitionName(AcDbBlockReference* reference) {
  OpenedObject<AcDbBlockTableRecord> definition;
  if (acdbOpenObject(definition.object, effectiveBlockTableRecord(reference), AcDb::kForRead) != Acad::eOk)
    return std::string();
  AcString name;
  if (definition.object->getName(name) != Acad::eOk) return std::string();
  return ws2s(name.kwszPtr());
}

enum class ReadOutcome { kRead, kRecordUnreadable, kAttributeTextFailed };

ReadOutcome ReadAttributedBlocks(AcDbObjectId layoutRecord, std::vector<BlockResult>& blocks) {
  OpenedObject<AcDbBlockTableRecord> record;
  if (acdbOpenObject(record.object, layoutRecord, AcDb::kForRead) != Acad::eOk) return ReadOutcome::kRecordUnreadable;
  AcDbBlockTableRecordIterator* rawEntities = nullptr;
  // A record whose entities cannot be walked is as unreadable as one that does not open: an empty
  // list would tell the companion the layout carries no blocks.
  if (record.object->newIterator(rawEntities, true, true) != Acad::eOk || !rawEntities)
    return ReadOutcome::kRecordUnreadable;
  std::unique_ptr<AcDbBlockTableRecordIterator> entities(rawEntities);

  for (; !entities->done(); entities->step(true, true)) {
    OpenedObject<AcDbEntity> entity;
    if (entities->getEntity(entity.object, AcDb::kForRead, false) != Acad::eOk || !entity.object) continue;
    AcDbBlockReference* reference = AcDbBlockReference::cast(entity.object);
    if (!reference) continue;
    std::unique_ptr<AcDbObjectIterator> attributes(reference->attributeIterator());
    if (!attributes) continue;

    BlockResult block;
    block.blockHandle = HandleText(reference->objectId());
    block.handleValue = std::strtoull(block.blockHandle.c_str(), nullptr, 16);
    block.blockName = DefinitionName(reference);
    for (attributes->start(false); !attributes->done(); attributes->step(false, true)) {
      OpenedObject<AcDbAttribute> attribute;
      if (acdbOpenObject(attribute.object, attributes->objectId(), AcDb::kForRead) != Acad::eOk) continue;
      std::string tag, value;
      if (OrvikAttributeText::ReadUtf8Pair(attribute.object, tag, value) != Acad::eOk)
        return ReadOutcome::kAttributeTextFailed;
      block.attributes.emplace_back(std::move(tag), std::move(value));
    }
    if (!block.attributes.empty()) blocks.push_back(std::move(block));
  }
  return ReadOutcome::kRead;
}

}  // namespace

AcDbObjectId effectiveBlockTableRecord(AcDbBlockReference* reference) {
  if (!reference) return AcDbObjectId();
  AcDbDynBlockReference dynamic(reference);
  if (dynamic.isDynamicBlock()) {
    const AcDbObjectId definition = dynamic.dynamicBlockTableRecord();
    if (!definition.isNull()) return definition;
  }
  return reference->blockTableRecord();
}

std::string PerformQueryLayoutContext(const std::string& layoutName, const std::string& layoutHandle, bool includeBlocks) {
  ORVIK_ASSERT_MAIN_THREAD();
  AcApDocManager* manager = acDocManagerPtr();
  AcApDocument* document = manager ? manager->curDocument() : nullptr;
  AcDbDatabase* database = document ? document->database() : nullptr;
  if (!database) return Failure("active_document_missing", "No active document database.");

  AcDbObjectId layoutId;
  if (!layoutHandle.empty()) {
    layoutId = ResolveByHandle(database, layoutHandle);
    if (layoutId.isNull())
      return Failure("layout_handle_invalid", "The authoritative layoutHandle could not be resolved.");
  } else {
    layoutId = ResolveByName(database, layoutName);
    if (layoutId.isNull()) return Failure("layout_not_found", "The requested layout name was not found.");
  }

  std::string actualLayoutName;
  AcDbObjectId layoutRecord;
  {
    OpenedObject<AcDbLayout> layout;
    if (acdbOpenObject(layout.object, layoutId, AcDb::kForRead) != Acad::eOk)
      return Failure("layout_object_invalid", "The resolved handle is not a readable layout object.");
    AcString name;
    if (layout.object->getName(name) == Acad::eOk) actualLayoutName = ws2s(name.kwszPtr());
    layoutRecord = layout.object->getBlockTableRecordId();
  }
  if (actualLayoutName.empty() || layoutRecord.isNull())
    return Failure("layout_object_invalid", "The resolved layout has no usable name or BTR.");

  if (!SwitchSpaceSync(actualLayoutName))
    return Failure("layout_activation_failed", "The resolved layout could not be activated.");

  std::vector<BlockResult> blocks;
  if (includeBlocks) {
    switch (ReadAttributedBlocks(layoutRecord, blocks)) {
      case ReadOutcome::kRead: break;
      case ReadOutcome::kRecordUnreadable:
        return Failure("layout_btr_open_failed", "The target layout BTR could not be opened.");
      case ReadOutcome::kAttributeTextFailed:
        return Failure("layout_attributes_read_failed", "The layout attribute text could not be read.");
    }
  }
  std::sort(blocks.begin(), blocks.end(),
            [](const BlockResult& a, const BlockResult& b) { return a.handleValue < b.handleValue; });

  std::string json = "{\"success\":true,\"requestedLayoutName\":\"" + jsonEscape(layoutName) +
                     "\",\"actualLayoutName\":\"" + jsonEscape(actualLayoutName) + "\",\"layoutHandle\":\"" +
                     jsonEscape(layoutHandle) + "\",\"blocks\":[";
  for (size_t i = 0; i < blocks.size(); ++i) {
    const BlockResult& block = blocks[i];
    if (i) json += ',';
    json += "{\"blockName\":\"" + jsonEscape(block.blockName) + "\",\"blockHandle\":\"" +
            jsonEscape(block.blockHandle) + "\",\"attributes\":[";
    for (size_t j = 0; j < block.attributes.size(); ++j) {
      if (j) json += ',';
      json += "{\"tag\":\"" + jsonEscape(block.attributes[j].first) + "\",\"value\":\"" +
              jsonEscape(block.attributes[j].second) + "\"}";
    }
    json += "]}";
  }
  json += "]}";
  return json;
}
