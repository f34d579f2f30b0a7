// The control surface's drawing builder: makes drawing content in code, for tests.
#include "cadsim/engine/database_state.h"
#include "cadsim/engine/session_state.h"

namespace cadsim {
namespace {


AcDbObjectId recordNamed(AcDbDatabase* db, AcDbObjectId table, const std::string& name) {
  auto* t = db ? peek<AcDbSymbolTable>(table) : nullptr;
  if (!t) return AcDbObjectId();
  std::wstring key = upper(widen(name));
  for (AcDbObjectId id : t->recordIds()) {
    auto* r = peek<AcDbSymbolTableRecord>(id);
    if (r && !r->isErased() && upper(r->nameText()) == key) return id;
  }
  return AcDbObjectId();
}

AcDbObjectId addRecord(AcDbDatabase* db, AcDbObjectId table, AcDbSymbolTableRecord* record) {
  std::unique_ptr<AcDbSymbolTableRecord> owned(record);
  if (!db || !recordNamed(db, table, narrow(record->nameText())).isNull()) return AcDbObjectId();
  AcDbObjectId id = db->data().add(owned.release(), table);
  peek<AcDbSymbolTable>(table)->recordIds().push_back(id);
  return id;
}

AcDbObjectId addEntity(AcDbDatabase* db, AcDbObjectId space, AcDbEntity* entity, const std::string& layer) {
  std::unique_ptr<AcDbEntity> owned(entity);
  auto* block = peek<AcDbBlockTableRecord>(space);
  if (!db || !block || space.database() != db) return AcDbObjectId();
  if (recordNamed(db, db->data().layerTable, layer).isNull()) return AcDbObjectId();
  entity->setLayer(widen(layer).c_str());
  AcDbObjectId id = db->data().add(owned.release(), space);
  block->entityIds().push_back(id);
  return id;
}

AcDbAttribute* makeAttribute(const AttributeSpec& wanted, const AcGePoint3d& at) {
  auto* a = new AcDbAttribute(at, L"", widen(wanted.tag).c_str());
  a->setInvisible(wanted.invisible);
  if (wanted.multiline) {
    AcDbMText m;
    m.setContents(widen(wanted.value).c_str());
    a->setMTextAttribute(&m);
  } else {
    a->setTextString(widen(wanted.value).c_str());
  }
  return a;
}

}  // namespace

AcDbDatabase* databaseOf(AcApDocument* doc) {
  DocumentData* d = dataOf(doc);
  return d ? d->database.get() : nullptr;
}

AcDbObjectId modelSpaceId(AcDbDatabase* db) { return db ? db->data().modelSpace : AcDbObjectId(); }

AcDbObjectId layoutId(AcDbDatabase* db, const std::string& layoutName) {
  return db ? findLayout(db, widen(layoutName)) : AcDbObjectId();
}

AcDbObjectId layoutSpaceId(AcDbDatabase* db, const std::string& layoutName) {
  auto* l = peek<AcDbLayout>(layoutId(db, layoutName));
  return l ? l->blockRecordValue() : AcDbObjectId();
}

AcDbObjectId addLayout(AcDbDatabase* db, const std::string& name, int tabOrder) {
  return createPaperLayout(db, widen(name), tabOrder, nullptr);
}

void setModelLayoutName(AcDbDatabase* db, const std::string& name) {
  if (!db || name.empty()) return;
  for (AcDbObjectId id : layoutIds(db)) {
    auto* l = peek<AcDbLayout>(id);
    if (l->modelTypeValue()) edit(l, [&](AcDbLayout* o) { o->setLayoutName(widen(name).c_str()); });
  }
}

AcDbObjectId addLayer(AcDbDatabase* db, const std::string& name, const LayerSpec& wanted) {
  if (name.empty()) return AcDbObjectId();
  auto* rec = new AcDbLayerTableRecord();
  rec->setName(widen(name).c_str());
  rec->setIsOff(wanted.off);
  rec->setIsFrozen(wanted.frozen);
  rec->setIsLocked(wanted.locked);
  rec->setIsHidden(wanted.hidden);
  return db ? addRecord(db, db->data().layerTable, rec) : (delete rec, AcDbObjectId());
}

AcDbObjectId addTextStyle(AcDbDatabase* db, const std::string& name, const std::string& fontFile,
                          const std::string& bigFontFile, const std::string& typeface) {
  if (name.empty()) return AcDbObjectId();
  auto* rec = new AcDbTextStyleTableRecord();
  rec->setName(widen(name).c_str());
  rec->setFileName(widen(fontFile).c_str());
  rec->setBigFontFileName(widen(bigFontFile).c_str());
  rec->setFont(widen(typeface).c_str(), false, false, kAnsiCharset,
               Autodesk::AutoCAD::PAL::FontUtils::FontPitch::kDefault,
               Autodesk::AutoCAD::PAL::FontUtils::FontFamily::kDoNotCare);
  return db ? addRecord(db, db->data().textStyleTable, rec) : (delete rec, AcDbObjectId());
}

AcDbObjectId addBlockDefinition(AcDbDatabase* db, const std::string& name,
                                const std::vector<AttributeSpec>& attributeDefinitions, bool dynamic) {
  if (!db || name.empty()) return AcDbObjectId();
  auto* rec = new AcDbBlockTableRecord();
  rec->setName(widen(name).c_str());
  rec->dynamicDefinition = dynamic;
  AcDbObjectId id = addRecord(db, db->data().blockTable, rec);
  if (id.isNull()) return id;
  double y = 0;
  for (const AttributeSpec& wanted : attributeDefinitions) {
    auto* def = new AcDbAttributeDefinition(AcGePoint3d(0, y, 0), widen(wanted.value).c_str(),
                                            widen(wanted.tag).c_str(), widen(wanted.tag).c_str());
    def->setInvisible(wanted.invisible);
    if (wanted.multiline) {
      AcDbMText m;
      m.setContents(widen(wanted.value).c_str());
      def->setMTextAttributeDefinition(&m);
    }
    addEntity(db, id, def, "0");
    y -= 5;
  }
  return id;
}

AcDbObjectId addAnonymousRepresentation(AcDbDatabase* db, AcDbObjectId dynamicDefinition) {
  auto* def = peek<AcDbBlockTableRecord>(dynamicDefinition);
  if (!db || !def || dynamicDefinition.database() != db) return AcDbObjectId();
  auto* rec = new AcDbBlockTableRecord();
  rec->setName((L"*U" + std::to_wstring(++db->data().anonymousCounter)).c_str());
  rec->dynamicBlockRecord = dynamicDefinition;
  AcDbObjectId id = addRecord(db, db->data().blockTable, rec);
  for (AcDbObjectId e : def->entityIds()) {
    auto* ad = peek<AcDbAttributeDefinition>(e);
    if (!ad) continue;
    ad->objectState().readers++;
    auto* copy = new AcDbAttributeDefinition(ad->position(), ad->textStringConst(), ad->tagConst(),
                                             ad->promptConst());
    ad->objectState().readers--;
    addEntity(db, id, copy, "0");
  }
  return id;
}

AcDbObjectId addBlockReference(AcDbDatabase* db, AcDbObjectId space, AcDbObjectId block,
                               const AcGePoint3d& position, const std::vector<AttributeSpec>& attributes,
                               const std::string& layer) {
  if (!peek<AcDbBlockTableRecord>(block) || block.database() != db) return AcDbObjectId();
  AcDbObjectId id = addEntity(db, space, new AcDbBlockReference(position, block), layer);
  auto* ref = peek<AcDbBlockReference>(id);
  if (!ref) return id;
  double y = 0;
  for (const AttributeSpec& wanted : attributes) {
    AcDbAttribute* a = makeAttribute(wanted, AcGePoint3d(position.x, position.y + y, position.z));
    a->setLayer(widen(layer).c_str());
    AcDbObjectId attId = db->data().add(a, id);
    ref->attributeIds().push_back(attId);
    y -= 5;
  }
  return id;
}

AcDbObjectId addLine(AcDbDatabase* db, AcDbObjectId space, const AcGePoint3d& start,
                     const AcGePoint3d& end, const std::string& layer) {
  return addEntity(db, space, new AcDbLine(start, end), layer);
}

AcDbObjectId addPolyline(AcDbDatabase* db, AcDbObjectId space, const std::vector<AcGePoint2d>& points,
                         bool closed, const std::string& layer) {
  auto* p = new AcDbPolyline();
  for (size_t i = 0; i < points.size(); ++i) p->addVertexAt(static_cast<unsigned>(i), points[i]);
  p->setClosed(closed);
  return addEntity(db, space, p, layer);
}

AcDbObjectId addText(AcDbDatabase* db, AcDbObjectId space, const AcGePoint3d& position,
                     const std::string& text, const std::string& style) {
  AcDbObjectId styleId = db ? recordNamed(db, db->data().textStyleTable, style) : AcDbObjectId();
  if (styleId.isNull()) return AcDbObjectId();
  return addEntity(db, space, new AcDbText(position, widen(text).c_str(), styleId), "0");
}

AcDbObjectId addMText(AcDbDatabase* db, AcDbObjectId space, const AcGePoint3d& position,
                      const std::string& contents, const std::string& style) {
  AcDbObjectId styleId = db ? recordNamed(db, db->data().textStyleTable, style) : AcDbObjectId();
  if (styleId.isNull()) return AcDbObjectId();
  auto* m = new AcDbMText();
  m->setContents(widen(contents).c_str());
  m->setLocation(position);
  m->setTextStyle(styleId);
  return addEntity(db, space, m, "0");
}

AcDbObjectId addViewport(AcDbDatabase* db, AcDbObjectId paperSpace, const AcGePoint3d& center,
                         double width, double height, const std::vector<std::string>& frozenLayers) {
  AcDbObjectIdArray frozen;
  for (const std::string& name : frozenLayers) {
    AcDbObjectId layer = db ? recordNamed(db, db->data().layerTable, name) : AcDbObjectId();
    if (layer.isNull()) return AcDbObjectId();
    frozen.append(layer);
  }
  auto* vp = new AcDbViewport();
  vp->setCenterPoint(center);
  vp->setWidth(width);
  vp->setHeight(height);
  vp->setViewCenter(AcGePoint2d(center.x, center.y));
  vp->setViewHeight(height);
  vp->freezeLayersInViewport(frozen);
  return addEntity(db, paperSpace, vp, "0");
}

AcDbObjectId addDictionary(AcDbDatabase* db, const std::string& name, AcDbObjectId owner) {
  if (!db || name.empty()) return AcDbObjectId();
  AcDbObjectId parent = db->data().namedObjects;
  if (!owner.isNull()) {
    AcDbObject* o = peekObject(owner);
    if (!o || owner.database() != db) return AcDbObjectId();
    if (o->extensionDictionary().isNull())
      o->objectState().extensionDictionary = db->data().add(new AcDbDictionary(), owner);
    parent = o->extensionDictionary();
  }
  auto* dict = peek<AcDbDictionary>(parent);
  if (!dict) return AcDbObjectId();
  AcDbObjectId id = db->data().add(new AcDbDictionary(), parent);
  edit(dict, [&](AcDbDictionary* d) {
    d->remove(widen(name).c_str());  // an older entry of that name, erased or not, is replaced
    auto& entries = d->entries();
    std::wstring key = widen(name);
    auto pos = std::find_if(entries.begin(), entries.end(), [&](const std::pair<std::wstring, AcDbObjectId>& e) {
      return upper(e.first) > upper(key);
    });
    entries.insert(pos, {key, id});
  });
  return id;
}

bool eraseObject(AcDbObjectId id) {
  AcDbObject* o = peekObject(id);
  if (!o || o->isErased()) return false;
  o->objectState().erased = true;
  return true;
}

std::string currentLayoutName(AcDbDatabase* db) {
  return db ? narrow(layoutName(db->data().currentLayout)) : std::string();
}

}  // namespace cadsim
