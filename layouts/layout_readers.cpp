#include "layouts/layout_readers.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "host/platform.h"
#include "host/strings.h"
#include "layouts/attribute_text.h"

namespace OrvikDrawingLayouts {
namespace {

const char* const kReadFailed = "dwg_read_failed";
const char* const kBlocksFailed = "layout_blocks_read_failed";

std::string HandleText(const AcDbObjectId& id) {
  ACHAR buffer[32] = {};
  id.handle().getIntoAsciiBuffer(buffer, 32);
  return OrvikUtf8(buffer);
}

void BlockFailure(Layout& layout, const char* text, Acad::ErrorStatus status) {
  SetBlockError(layout, kBlocksFailed, StatusMessage(text, status), status);
}

// A cancelled block read must never pass for a context error, or a cancelled query would reopen
// the drawing in the fallback.
void BlocksCancelled(Layout& layout) { SetBlockError(layout, kCancelledCode, kCancelledMessage, Acad::eInvalidInput); }

// The definition a reference is reported under: a dynamic block's own definition rather than the
// anonymous copy its changed parameters made.
AcDbObjectId ReportedDefinition(const AcDbBlockReference* reference) {
  AcDbObjectId definition = reference->blockTableRecord();
  AcDbDynBlockReference dynamic(reference->objectId());
  if (dynamic.isDynamicBlock()) {
    const AcDbObjectId dynamicRecord = dynamic.dynamicBlockTableRecord();
    if (!dynamicRecord.isNull()) definition = dynamicRecord;
  }
  return definition;
}

// One reference's block entry, or false with the layout's block error recorded. A reference
// without attributes leaves `block` without attributes and answers true.
bool ReadReference(const AcDbBlockReference* reference, Layout& layout, Block& block,
                   const std::function<bool()>& keepGoing) {
  std::unique_ptr<AcDbObjectIterator> attributes(reference->attributeIterator());
  if (!attributes || attributes->done()) return true;

  ReadObject<AcDbBlockTableRecord> definition;
  Acad::ErrorStatus es = acdbOpenObject(definition.object, ReportedDefinition(reference), AcDb::kForRead);
  if (es != Acad::eOk || !definition.object) {
    BlockFailure(layout, "Cannot read a block definition", es);
    return false;
  }
  AcString name;
  es = definition.object->getName(name);
  if (es != Acad::eOk) {
    BlockFailure(layout, "Cannot read a block name", es);
    return false;
  }
  block.blockName = OrvikUtf8(name.kwszPtr());
  block.blockHandle = HandleText(reference->objectId());
  block.handleValue = std::strtoull(block.blockHandle.c_str(), nullptr, 16);

  for (attributes->start(false); !attributes->done(); attributes->step(false, true)) {
    if (!Continue(keepGoing)) {
      BlocksCancelled(layout);
      return false;
    }
    ReadObject<AcDbAttribute> attribute;
    es = acdbOpenObject(attribute.object, attributes->objectId(), AcDb::kForRead);
    if (es != Acad::eOk || !attribute.object) {
      BlockFailure(layout, "Cannot read a block attribute", es);
      return false;
    }
    Attribute read;
    es = OrvikAttributeText::ReadUtf8Pair(attribute.object, read.tag, read.value);
    if (es != Acad::eOk) {
      BlockFailure(layout, "Cannot read a block attribute value", es);
      return false;
    }
    block.attributes.push_back(std::move(read));
  }
  return true;
}

}  // namespace

void ReadBlocks(AcDbObjectId layoutBlockRecord, Layout& layout, const std::function<bool()>& keepGoing) {
  ORVIK_ASSERT_MAIN_THREAD();
  ReadObject<AcDbBlockTableRecord> record;
  Acad::ErrorStatus es = acdbOpenObject(record.object, layoutBlockRecord, AcDb::kForRead);
  if (es != Acad::eOk || !record.object) {
    BlockFailure(layout, "Cannot read the layout block record", es);
    return;
  }
  AcDbBlockTableRecordIterator* rawIterator = nullptr;
  es = record.object->newIterator(rawIterator, true, true);
  std::unique_ptr<AcDbBlockTableRecordIterator> entities(rawIterator);
  if (es != Acad::eOk || !entities) {
    BlockFailure(layout, "Cannot enumerate the layout block record", es);
    return;
  }
  for (entities->start(true, true); !entities->done(); entities->step(true, true)) {
    if (!Continue(keepGoing)) {
      BlocksCancelled(layout);
      return;
    }
    ReadObject<AcDbEntity> entity;
    es = entities->getEntity(entity.object, AcDb::kForRead, false);
    if (es != Acad::eOk || !entity.object) {
      BlockFailure(layout, "Cannot read a layout entity", es);
      return;
    }
    const AcDbBlockReference* reference = AcDbBlockReference::cast(entity.object);
    if (!reference) continue;
    Block block;
    if (!ReadReference(reference, layout, block, keepGoing)) return;
    if (!block.attributes.empty()) layout.blocks.push_back(std::move(block));
  }
  std::stable_sort(layout.blocks.begin(), layout.blocks.end(),
                   [](const Block& a, const Block& b) { return a.handleValue < b.handleValue; });
}

void ReadLayouts(AcDbDatabase* database, Snapshot& snapshot, const std::function<bool()>& keepGoing) {
  ORVIK_ASSERT_MAIN_THREAD();
  if (!database) {
    SetError(snapshot, kReadFailed, "The drawing database is unavailable.");
    return;
  }
  ReadObject<AcDbDictionary> dictionary;
  Acad::ErrorStatus es = acdbOpenObject(dictionary.object, database->layoutDictionaryId(), AcDb::kForRead);
  if (es != Acad::eOk || !dictionary.object) {
    snapshot.contextError = ContextError(es);
    SetError(snapshot, kReadFailed, "The drawing layout dictionary could not be read.");
    return;
  }
  std::unique_ptr<AcDbDictionaryIterator> entries(dictionary.object->newIterator());
  if (!entries) {
    SetError(snapshot, kReadFailed, "The drawing layout dictionary could not be enumerated.");
    return;
  }
  for (; !entries->done(); entries->next()) {
    if (!Continue(keepGoing)) {
      SetError(snapshot, kCancelledCode, kCancelledMessage);
      return;
    }
    ReadObject<AcDbLayout> layoutObject;
    es = acdbOpenObject(layoutObject.object, entries->objectId(), AcDb::kForRead);
    if (es != Acad::eOk || !layoutObject.object) {
      snapshot.contextError = ContextError(es);
      snapshot.layouts.clear();
      SetError(snapshot, kReadFailed, "A drawing layout could not be read.");
      return;
    }
    if (layoutObject.object->modelType()) continue;
    AcString name;
    es = layoutObject.object->getName(name);
    if (es != Acad::eOk || name.isEmpty()) {
      snapshot.contextError = ContextError(es);
      snapshot.layouts.clear();
      SetError(snapshot, kReadFailed, "A drawing layout name could not be read.");
      return;
    }
    Layout layout;
    layout.name = OrvikUtf8(name.kwszPtr());
    layout.handle = HandleText(layoutObject.object->objectId());
    layout.tabOrder = layoutObject.object->getTabOrder();
    if (snapshot.includeBlocks) ReadBlocks(layoutObject.object->getBlockTableRecordId(), layout, keepGoing);
    snapshot.layouts.push_back(std::move(layout));
  }
  std::stable_sort(snapshot.layouts.begin(), snapshot.layouts.end(), [](const Layout& a, const Layout& b) {
    if (a.tabOrder != b.tabOrder) return a.tabOrder < b.tabOrder;
    return a.handle < b.handle;
  });
  if (snapshot.layouts.empty()) SetError(snapshot, "no_layouts", "This drawing has no paper-space layouts.");
}

}  // namespace OrvikDrawingLayouts
