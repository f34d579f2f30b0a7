// Turns a DXF drawing read by the DXF reader into a database of the simulated host: tables,
// blocks with their entities, layouts and dictionaries, keeping the file's handles.
#include <algorithm>
#include <cmath>
#include <locale>
#include <map>
#include <memory>
#include <sstream>

#include "cadsim/dxf/dxf_reader.h"
#include "cadsim/engine/database_state.h"

namespace cadsim {
namespace {

using dxf::Drawing;

constexpr double kDegrees = M_PI / 180.0;

AcGePoint3d point(const dxf::Point3& p) { return AcGePoint3d(p.x, p.y, p.z); }
std::wstring wide(const std::string& s) { return widen(s); }


class Importer {
 public:
  Importer(AcDbDatabase* db, const Drawing& drawing) : m_db(db), m_d(db->data()), m_in(drawing) {}

  void run() {
    reserveHandles();
    makeContainers();
    readLinetypes();
    importLayers();
    importTextStyles();
    importBlockRecords();
    importLayouts();
    importEntities();
    linkDictionaries();
    chooseCurrent();
  }

 private:
  // Objects that have no handle in the file get new handles above every handle the file uses.
  void reserveHandles() {
    uint64_t top = m_in.header.handSeed.value;
    auto see = [&](const dxf::Handle& h) { top = std::max(top, h.value + 1); };
    for (auto& r : m_in.layers) see(r.handle);
    for (auto& r : m_in.textStyles) see(r.handle);
    for (auto& r : m_in.blockRecords) see(r.handle);
    for (auto& b : m_in.blocks) {
      see(b.handle);
      for (auto& e : b.entities) seeEntity(e, see);
    }
    for (auto& e : m_in.entities) seeEntity(e, see);
    for (auto& r : m_in.dictionaries) see(r.handle);
    for (auto& r : m_in.layouts) see(r.handle);
    m_d.handseed = std::max<uint64_t>(top, 1);
  }
  template <class F>
  static void seeEntity(const dxf::Entity& e, F& see) {
    see(e.handle);
    if (auto* ins = std::get_if<dxf::Insert>(&e.data))
      for (auto& a : ins->attributes) see(a.handle);
  }

  AcDbObjectId add(AcDbObject* object, AcDbObjectId owner, const dxf::Handle& handle) {
    AcDbObjectId id = m_d.add(object, owner, handle.value);
    if (!handle.IsNull()) m_byHandle[handle.value] = id;
    return id;
  }

  void makeContainers() {
    m_d.blockTable = m_d.add(new AcDbBlockTable(), AcDbObjectId());
    m_d.layerTable = m_d.add(new AcDbLayerTable(), AcDbObjectId());
    m_d.textStyleTable = m_d.add(new AcDbTextStyleTable(), AcDbObjectId());
    // The file's dictionaries, entries linked once every object exists.
    for (const dxf::Dictionary& dict : m_in.dictionaries) add(new AcDbDictionary(), AcDbObjectId(), dict.handle);
    auto root = m_byHandle.find(m_in.rootDictionary.value);
    m_d.namedObjects = root != m_byHandle.end() && !m_in.rootDictionary.IsNull()
                           ? root->second
                           : m_d.add(new AcDbDictionary(), AcDbObjectId());
    for (const dxf::Dictionary& dict : m_in.dictionaries) {
      if (dict.handle.value != m_in.rootDictionary.value || dict.handle.IsNull()) continue;
      for (const auto& e : dict.entries)
        if (e.name == "ACAD_LAYOUT" && m_byHandle.count(e.handle.value)) m_d.layoutDictionary = m_byHandle[e.handle.value];
    }
    if (m_d.layoutDictionary.isNull()) {
      m_d.layoutDictionary = m_d.add(new AcDbDictionary(), m_d.namedObjects);
      peek<AcDbDictionary>(m_d.namedObjects)->entries().push_back({L"ACAD_LAYOUT", m_d.layoutDictionary});
    }
  }

  AcDbObjectId addRecord(AcDbObjectId table, AcDbSymbolTableRecord* record, const dxf::Handle& handle) {
    AcDbObjectId id = add(record, table, handle);
    peek<AcDbSymbolTable>(table)->recordIds().push_back(id);
    return id;
  }

  AcDbObjectId layerNamed(const std::string& name) {
    std::wstring key = upper(wide(name.empty() ? "0" : name));
    auto it = m_layers.find(key);
    if (it != m_layers.end()) return it->second;
    // An entity on a layer the table lacks: the host makes the layer.
    auto* rec = new AcDbLayerTableRecord();
    rec->setName(wide(name.empty() ? "0" : name).c_str());
    return m_layers[key] = addRecord(m_d.layerTable, rec, dxf::Handle());
  }

  // The dash patterns of the file's linetypes by upper-case name; a pattern without a dash or gap
  // longer than nothing is continuous.
  void readLinetypes() {
    for (const dxf::TableRecord& r : m_in.otherTableRecords) {
      if (r.table != "LTYPE" || r.name.empty()) continue;
      double total = 0;
      for (double d : r.pattern) total += std::isfinite(d) ? std::fabs(d) : INFINITY;
      if (r.pattern.size() < 2 || !(total > 0) || !std::isfinite(total)) continue;
      m_linetypes[upper(wide(r.name))] = std::make_shared<const std::vector<double>>(r.pattern);
    }
    std::istringstream scale(headerText("$LTSCALE", "1"));
    scale.imbue(std::locale::classic());
    if (!(scale >> m_ltscale)) m_ltscale = 1;
    if (!std::isfinite(m_ltscale) || m_ltscale <= 0) m_ltscale = 1;
  }

  std::shared_ptr<const std::vector<double>> dashesNamed(const std::string& name) const {
    auto it = m_linetypes.find(upper(wide(name)));
    return it == m_linetypes.end() ? nullptr : it->second;
  }

  static void textLook(PlotLook& look, int h, int v, const dxf::Point3& align, double widthFactor) {
    look.horizontalAlignment = h;
    look.verticalAlignment = v;
    look.alignX = align.x;
    look.alignY = align.y;
    look.widthFactor = std::isfinite(widthFactor) && widthFactor > 0 ? widthFactor : 1;
  }

  // Records how the entity plots when that differs from the default.
  void recordLook(AcDbObjectId id, const dxf::Entity& e) {
    PlotLook look;
    const std::wstring ltype = upper(wide(e.linetype));
    if (ltype == L"BYBLOCK") {
      look.linetype = PlotLook::kByBlock;
    } else if (!ltype.empty() && ltype != L"BYLAYER") {
      look.linetype = PlotLook::kOwn;
      look.dashes = dashesNamed(e.linetype);
    }
    look.linetypeScale = (std::isfinite(e.linetypeScale) && e.linetypeScale > 0 ? e.linetypeScale : 1) * m_ltscale;
    look.lineWeight = e.lineWeight;
    if (auto* t = std::get_if<dxf::Text>(&e.data))
      textLook(look, t->horizontalAlignment, t->verticalAlignment, t->alignment, t->widthFactor);
    if (auto* a = std::get_if<dxf::Attribute>(&e.data))
      textLook(look, a->horizontalAlignment, a->verticalAlignment, a->alignment, a->widthFactor);
    if (auto* m = std::get_if<dxf::MText>(&e.data)) {
      look.attachment = m->attachment >= 1 && m->attachment <= 9 ? m->attachment : 1;
      look.columnWidth = std::isfinite(m->referenceWidth) && m->referenceWidth > 0 ? m->referenceWidth : 0;
      const bool directed = m->direction.x != 1 || m->direction.y != 0;
      look.direction = directed ? std::atan2(m->direction.y, m->direction.x) : m->rotation * kDegrees;
      if (!std::isfinite(look.direction)) look.direction = 0;
    }
    keepLook(id, look);
  }

  void keepLook(AcDbObjectId id, const PlotLook& look) {
    const PlotLook plain;
    if (look.linetype != plain.linetype || look.linetypeScale != plain.linetypeScale ||
        look.lineWeight != plain.lineWeight || look.horizontalAlignment != 0 || look.verticalAlignment != 0 ||
        look.widthFactor != 1 || look.attachment != 1 || look.columnWidth != 0 || look.direction != 0)
      m_d.looks[id] = look;
  }

  void importLayers() {
    for (const dxf::Layer& l : m_in.layers) {
      if (l.name.empty() || m_layers.count(upper(wide(l.name)))) continue;
      auto* rec = new AcDbLayerTableRecord();
      rec->setName(wide(l.name).c_str());
      rec->setIsOff(!l.on);
      rec->setIsFrozen(l.frozen);
      rec->setIsLocked(l.locked);
      rec->setIsPlottable(l.plot);
      rec->setColorIndex(static_cast<short>(std::abs(l.color) % 257));
      AcDbObjectId id = m_layers[upper(wide(l.name))] = addRecord(m_d.layerTable, rec, l.handle);
      PlotLook look;
      look.linetype = PlotLook::kOwn;
      look.dashes = dashesNamed(l.linetype);
      look.lineWeight = l.lineWeight;
      if (look.dashes || look.lineWeight >= 0) m_d.looks[id] = look;
    }
    m_d.clayer = layerNamed(headerText("$CLAYER", "0"));
  }

  void importTextStyles() {
    for (const dxf::TextStyle& s : m_in.textStyles) {
      if (s.name.empty() || m_styles.count(upper(wide(s.name)))) continue;  // shape-file entries
      auto* rec = new AcDbTextStyleTableRecord();
      rec->setName(wide(s.name).c_str());
      rec->setFileName(wide(s.fontFile).c_str());
      rec->setBigFontFileName(wide(s.bigFontFile).c_str());
      rec->setTextSize(s.fixedHeight);
      rec->setXScale(s.widthFactor);
      rec->setIsShapeFile((s.flags & 1) != 0);
      // A TrueType typeface lives in the style's extended data of the host's own application.
      for (const dxf::XData& x : s.xdata)
        if (x.application == "ACAD" && !x.groups.empty() && x.groups[0].code == 1000)
          rec->setFont(wide(x.groups[0].value).c_str(), false, false, kAnsiCharset,
                       Autodesk::AutoCAD::PAL::FontUtils::FontPitch::kDefault,
                       Autodesk::AutoCAD::PAL::FontUtils::FontFamily::kDoNotCare);
      m_styles[upper(wide(s.name))] = addRecord(m_d.textStyleTable, rec, s.handle);
    }
    if (!m_styles.count(L"STANDARD")) {
      auto* rec = new AcDbTextStyleTableRecord();
      rec->setName(L"Standard");
      rec->setFileName(L"txt.shx");
      m_styles[L"STANDARD"] = addRecord(m_d.textStyleTable, rec, dxf::Handle());
    }
    auto it = m_styles.find(upper(wide(headerText("$TEXTSTYLE", "Standard"))));
    m_d.textstyle = it != m_styles.end() ? it->second : m_styles[L"STANDARD"];
  }

  // R12 files call the spaces "$MODEL_SPACE" and "$PAPER_SPACE".
  static const std::string& spaceName(const std::string& name) {
    static const std::string model = "*Model_Space", paper = "*Paper_Space";
    std::wstring u = upper(wide(name));
    if (u == L"$MODEL_SPACE") return model;
    if (u == L"$PAPER_SPACE") return paper;
    return name;
  }

  AcDbObjectId blockNamed(const std::string& name) const {
    auto it = m_blocks.find(upper(wide(spaceName(name))));
    return it == m_blocks.end() ? AcDbObjectId() : it->second;
  }

  AcDbObjectId makeBlock(const std::string& fileName, const dxf::Handle& handle) {
    const std::string& name = spaceName(fileName);
    AcDbObjectId existing = blockNamed(name);
    if (!existing.isNull()) return existing;
    auto* rec = new AcDbBlockTableRecord();
    rec->setName(wide(name).c_str());
    return m_blocks[upper(wide(name))] = addRecord(m_d.blockTable, rec, handle);
  }

  void importBlockRecords() {
    // Records first (R2000 and later), so blocks keep the record's handle.
    for (const dxf::BlockRecord& r : m_in.blockRecords)
      if (!r.name.empty()) makeBlock(r.name, r.handle);
    for (const dxf::Block& b : m_in.blocks) {
      if (b.name.empty()) continue;
      AcDbObjectId id = makeBlock(b.name, b.handle);
      edit(peek<AcDbBlockTableRecord>(id), [&](AcDbBlockTableRecord* rec) { rec->setOrigin(point(b.basePoint)); });
    }
    if (blockNamed("*Model_Space").isNull()) makeBlock("*Model_Space", dxf::Handle());
    m_d.modelSpace = blockNamed("*Model_Space");
    bool anyPaper = std::any_of(m_in.entities.begin(), m_in.entities.end(),
                                [](const dxf::Entity& e) { return e.paperSpace; });
    if (anyPaper && blockNamed("*Paper_Space").isNull()) makeBlock("*Paper_Space", dxf::Handle());
    // Dynamic links: an anonymous block names the dynamic definition it represents.
    for (const dxf::BlockRecord& r : m_in.blockRecords) {
      if (r.dynamicBlockRecord.IsNull()) continue;
      auto target = m_byHandle.find(r.dynamicBlockRecord.value);
      auto* anon = peek<AcDbBlockTableRecord>(blockNamed(r.name));
      auto* def = target == m_byHandle.end() ? nullptr : peek<AcDbBlockTableRecord>(target->second);
      if (!anon || !def) continue;
      anon->dynamicBlockRecord = target->second;
      def->dynamicDefinition = true;
    }
    // Block contents once every block exists, so nested references resolve.
    for (const dxf::Block& b : m_in.blocks)
      for (const dxf::Entity& e : b.entities) importEntity(e, blockNamed(b.name));
  }

  void importLayouts() {
    for (const dxf::Layout& l : m_in.layouts) {
      if (l.name.empty() || !findLayout(m_db, wide(l.name)).isNull()) continue;
      auto block = m_byHandle.find(l.blockRecord.value);
      if (l.blockRecord.IsNull() || block == m_byHandle.end() || !peek<AcDbBlockTableRecord>(block->second)) continue;
      addLayout(l, block->second);
    }
    // Old files without layouts: model space, and the paper space when there is one.
    if (findLayout(m_db, L"Model").isNull()) {
      dxf::Layout model;
      model.name = "Model";
      model.modelType = true;
      addLayout(model, m_d.modelSpace);
    }
    AcDbObjectId paper = blockNamed("*Paper_Space");
    if (!paper.isNull() && peek<AcDbBlockTableRecord>(paper)->getLayoutIdValue().isNull()) {
      dxf::Layout layout;
      layout.name = "Layout1";
      layout.tabOrder = 1;
      if (findLayout(m_db, L"Layout1").isNull()) addLayout(layout, paper);
    }
  }

  void addLayout(const dxf::Layout& l, AcDbObjectId block) {
    auto* layout = new AcDbLayout();
    layout->setLayoutName(wide(l.name).c_str());
    layout->setTabOrder(l.tabOrder);
    layout->setModelTypeFlag(l.modelType);
    layout->setBlockTableRecordId(block);
    layout->limitsMin = AcGePoint2d(l.limitsMin.x, l.limitsMin.y);
    layout->limitsMax = AcGePoint2d(l.limitsMax.x, l.limitsMax.y);
    layout->extentsMin = point(l.extentsMin);
    layout->extentsMax = point(l.extentsMax);
    AcDbPlotSettings::Data& p = layout->plotData();
    p.name = wide(l.plot.pageSetupName);
    p.configName = wide(l.plot.configName);
    p.mediaName = wide(l.plot.mediaName);
    p.styleSheet = wide(l.plot.styleSheet);
    p.units = static_cast<AcDbPlotSettings::PlotPaperUnits>(std::clamp(l.plot.paperUnits, 0, 2));
    p.rotation = static_cast<AcDbPlotSettings::PlotRotation>(std::clamp(l.plot.rotation, 0, 3));
    p.type = static_cast<AcDbPlotSettings::PlotType>(std::clamp(l.plot.plotType, 0, 5));
    p.centered = (l.plot.flags & 4) != 0;
    p.standardScale = (l.plot.flags & 16) != 0;
    p.plotPlotStyles = (l.plot.flags & 32) != 0;
    p.scaleLineweights = (l.plot.flags & 64) != 0;
    p.printLineweights = (l.plot.flags & 128) != 0;
    p.stdScaleType = static_cast<AcDbPlotSettings::StdScaleType>(std::clamp(l.plot.standardScaleType, 0, 34));
    p.stdScale = l.plot.scaleFactor;
    p.viewName = wide(l.plot.plotViewName);
    p.numerator = l.plot.scaleNumerator;
    p.denominator = l.plot.scaleDenominator;
    p.originX = l.plot.originX;
    p.originY = l.plot.originY;
    p.paperWidth = l.plot.paperWidth;
    p.paperHeight = l.plot.paperHeight;
    p.marginLeft = l.plot.marginLeft;
    p.marginBottom = l.plot.marginBottom;
    p.marginRight = l.plot.marginRight;
    p.marginTop = l.plot.marginTop;
    p.windowMinX = l.plot.windowMinX;
    p.windowMinY = l.plot.windowMinY;
    p.windowMaxX = l.plot.windowMaxX;
    p.windowMaxY = l.plot.windowMaxY;
    AcDbObjectId id = add(layout, m_d.layoutDictionary, l.handle);
    edit(peek<AcDbBlockTableRecord>(block), [&](AcDbBlockTableRecord* rec) { rec->setLayoutId(id); });
    auto* dict = peek<AcDbDictionary>(m_d.layoutDictionary);
    auto& entries = dict->entries();
    std::wstring key = wide(l.name);
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const std::pair<std::wstring, AcDbObjectId>& e) { return upper(e.first) == upper(key); }),
                  entries.end());
    auto pos = std::find_if(entries.begin(), entries.end(), [&](const std::pair<std::wstring, AcDbObjectId>& e) {
      return upper(e.first) > upper(key);
    });
    entries.insert(pos, {key, id});
  }

  void importEntities() {
    AcDbObjectId paper = blockNamed("*Paper_Space");
    for (const dxf::Entity& e : m_in.entities) {
      AcDbObjectId space = e.paperSpace && !paper.isNull() ? paper : m_d.modelSpace;
      auto owner = m_byHandle.find(e.owner.value);
      if (!e.owner.IsNull() && owner != m_byHandle.end() && peek<AcDbBlockTableRecord>(owner->second))
        space = owner->second;
      importEntity(e, space);
    }
  }

  AcDbObjectId styleNamed(const std::string& name) {
    auto it = m_styles.find(upper(wide(name.empty() ? "Standard" : name)));
    return it != m_styles.end() ? it->second : m_d.textstyle;
  }

  AcDbEntity* convert(const dxf::Entity& e) {
    if (auto* l = std::get_if<dxf::Line>(&e.data)) return new AcDbLine(point(l->start), point(l->end));
    if (auto* c = std::get_if<dxf::Circle>(&e.data)) {
      if (!c->arc) return new AcDbCircle(point(c->center), c->radius);
      return new AcDbArc(point(c->center), c->radius, c->startAngle * kDegrees, c->endAngle * kDegrees);
    }
    if (auto* p = std::get_if<dxf::Polyline>(&e.data)) {
      auto* pl = new AcDbPolyline();
      for (size_t i = 0; i < p->vertices.size(); ++i)
        pl->addVertexAt(static_cast<unsigned>(i), AcGePoint2d(p->vertices[i].point.x, p->vertices[i].point.y),
                        p->vertices[i].bulge);
      pl->setClosed(p->closed);
      pl->setElevation(p->elevation);
      return pl;
    }
    if (auto* t = std::get_if<dxf::Text>(&e.data))
      return new AcDbText(point(t->position), wide(t->text).c_str(), styleNamed(t->style), t->height,
                          t->rotation * kDegrees);
    if (auto* m = std::get_if<dxf::MText>(&e.data)) {
      auto* mt = new AcDbMText();
      mt->setContents(wide(m->text).c_str());
      mt->setLocation(point(m->position));
      if (m->height > 0) mt->setTextHeight(m->height);
      mt->setTextStyle(styleNamed(m->style));
      return mt;
    }
    if (auto* a = std::get_if<dxf::Attribute>(&e.data)) {
      auto* def = new AcDbAttributeDefinition(point(a->position), wide(a->text).c_str(), wide(a->tag).c_str(),
                                              wide(a->prompt).c_str(), styleNamed(a->style));
      def->setInvisible((a->flags & 1) != 0);
      def->setConstant((a->flags & 2) != 0);
      if (a->height > 0) def->setHeight(a->height);
      def->setRotation(a->rotation * kDegrees);
      if (a->multiline) {
        AcDbMText m;
        m.setContents(wide(a->mtext).c_str());
        def->setMTextAttributeDefinition(&m);
      }
      return def;
    }
    if (auto* v = std::get_if<dxf::Viewport>(&e.data)) {
      auto* vp = new AcDbViewport();
      vp->setCenterPoint(point(v->center));
      vp->setWidth(v->width);
      vp->setHeight(v->height);
      vp->numberValue = static_cast<Adesk::Int16>(v->id);
      if (v->status == 0) vp->setOff();
      vp->setViewCenter(AcGePoint2d(v->viewCenter.x, v->viewCenter.y));
      vp->setViewHeight(v->viewHeight);
      vp->setViewTarget(point(v->viewTarget));
      vp->setViewDirection(AcGeVector3d(v->viewDirection.x, v->viewDirection.y, v->viewDirection.z));
      vp->setTwistAngle(v->twist * kDegrees);  // the file writes degrees
      AcDbObjectIdArray frozen;
      for (const dxf::Handle& h : v->frozenLayers) {
        auto it = m_byHandle.find(h.value);
        if (!h.IsNull() && it != m_byHandle.end() && peek<AcDbLayerTableRecord>(it->second)) frozen.append(it->second);
      }
      for (const std::string& name : v->frozenLayerNames) frozen.append(layerNamed(name));
      vp->freezeLayersInViewport(frozen);
      return vp;
    }
    if (std::holds_alternative<dxf::Insert>(e.data)) return nullptr;  // made by importInsert
    return new AcDbEntity();  // kept as a plain entity: its class is all a reader can ask
  }

  void importEntity(const dxf::Entity& e, AcDbObjectId space) {
    auto* block = peek<AcDbBlockTableRecord>(space);
    if (!block) return;
    AcDbEntity* entity = nullptr;
    const dxf::Insert* insert = std::get_if<dxf::Insert>(&e.data);
    if (insert) {
      AcDbObjectId def = blockNamed(insert->blockName);
      if (def.isNull()) return;  // a reference to no block is dropped, as the host's audit does
      auto* ref = new AcDbBlockReference(point(insert->position), def);
      if (insert->scale.x != 0 && insert->scale.y != 0 && insert->scale.z != 0)
        ref->setScaleFactors(AcGeScale3d(insert->scale.x, insert->scale.y, insert->scale.z));
      ref->setRotation(insert->rotation * kDegrees);
      entity = ref;
    } else {
      entity = convert(e);
    }
    if (!entity) return;
    entity->setLayer(peek<AcDbLayerTableRecord>(layerNamed(e.layer))->nameText().c_str());
    if (e.color >= 0 && e.color <= 257) entity->setColorIndex(static_cast<Adesk::UInt16>(e.color));
    if (!e.visible) entity->setVisibility(AcDb::kInvisible);
    AcDbObjectId id = add(entity, space, e.handle);
    block->entityIds().push_back(id);
    recordLook(id, e);
    if (!e.extensionDictionary.IsNull()) m_xdicts.push_back({id, e.extensionDictionary.value});
    if (!insert) return;
    auto* ref = peek<AcDbBlockReference>(id);
    for (const dxf::Attribute& a : insert->attributes) {
      auto* att = new AcDbAttribute(point(a.position), wide(a.text).c_str(), wide(a.tag).c_str(),
                                    styleNamed(a.style));
      att->setInvisible((a.flags & 1) != 0 || !a.visible);
      if (a.height > 0) att->setHeight(a.height);
      att->setRotation(a.rotation * kDegrees);
      att->setLayer(peek<AcDbLayerTableRecord>(layerNamed(a.layer.empty() ? e.layer : a.layer))->nameText().c_str());
      if (a.multiline) {
        AcDbMText m;
        m.setContents(wide(a.mtext).c_str());
        att->setMTextAttribute(&m);
      }
      AcDbObjectId attId = add(att, id, a.handle);
      ref->attributeIds().push_back(attId);
      PlotLook look;
      look.linetypeScale = m_ltscale;
      textLook(look, a.horizontalAlignment, a.verticalAlignment, a.alignment, a.widthFactor);
      keepLook(attId, look);
    }
  }

  void linkDictionaries() {
    for (const dxf::Dictionary& dict : m_in.dictionaries) {
      auto self = m_byHandle.find(dict.handle.value);
      if (dict.handle.IsNull() || self == m_byHandle.end()) continue;
      auto* d = peek<AcDbDictionary>(self->second);
      if (!d) continue;
      if (self->second == m_d.layoutDictionary) continue;  // built from the layouts themselves
      auto owner = m_byHandle.find(dict.owner.value);
      if (owner != m_byHandle.end()) d->objectState().owner = owner->second;
      for (const auto& e : dict.entries) {
        auto target = m_byHandle.find(e.handle.value);
        if (e.name.empty() || e.handle.IsNull() || target == m_byHandle.end()) continue;
        if (std::any_of(d->entries().begin(), d->entries().end(),
                        [&](const std::pair<std::wstring, AcDbObjectId>& x) { return upper(x.first) == upper(wide(e.name)); }))
          continue;
        d->entries().push_back({wide(e.name), target->second});
      }
      std::sort(d->entries().begin(), d->entries().end(),
                [](const std::pair<std::wstring, AcDbObjectId>& a, const std::pair<std::wstring, AcDbObjectId>& b) {
                  return upper(a.first) < upper(b.first);
                });
    }
    for (const auto& x : m_xdicts) {
      auto dict = m_byHandle.find(x.second);
      if (dict != m_byHandle.end() && peek<AcDbDictionary>(dict->second))
        peekObject(x.first)->objectState().extensionDictionary = dict->second;
    }
  }

  void chooseCurrent() {
    AcDbObjectId model = findLayout(m_db, L"Model");
    m_d.currentLayout = model;
    // TILEMODE 0: the layout on "*Paper_Space" was current when the file was saved.
    if (headerText("$TILEMODE", "1") == "0") {
      auto* paper = peek<AcDbBlockTableRecord>(blockNamed("*Paper_Space"));
      if (paper && !paper->getLayoutIdValue().isNull()) makeLayoutCurrent(m_db, paper->getLayoutIdValue());
    }
    for (AcDbObjectId id : layoutIds(m_db))
      if (!peek<AcDbLayout>(id)->modelTypeValue() && m_d.lastPaperLayout.isNull()) m_d.lastPaperLayout = id;
  }

  std::string headerText(const std::string& name, const std::string& fallback) const {
    for (const auto& v : m_in.header.variables)
      if (v.name == name && !v.values.empty()) return v.values[0].value;
    return fallback;
  }

  AcDbDatabase* m_db;
  DatabaseData& m_d;
  const Drawing& m_in;
  std::map<uint64_t, AcDbObjectId> m_byHandle;
  std::map<std::wstring, AcDbObjectId> m_layers, m_styles, m_blocks;
  std::map<std::wstring, std::shared_ptr<const std::vector<double>>> m_linetypes;
  double m_ltscale = 1;
  std::vector<std::pair<AcDbObjectId, uint64_t>> m_xdicts;
};

}  // namespace

namespace {

Acad::ErrorStatus importRead(AcDbDatabase* db, const dxf::Result& read) {
  switch (read.status) {
    case dxf::Status::kOk:
      break;
    case dxf::Status::kFileNotFound:
      return Acad::eFileNotFound;
    case dxf::Status::kMalformed:
      return Acad::eDxfReadAborted;
    case dxf::Status::kNotDxf:
    case dxf::Status::kUnsupported:
      return Acad::eDwgNotRecoverable;
  }
  Importer(db, read.drawing).run();
  return Acad::eOk;
}

}  // namespace

Acad::ErrorStatus readDxfInto(AcDbDatabase* db, const std::string& path) {
  return importRead(db, dxf::ReadFile(path));
}

Acad::ErrorStatus readDxfTextInto(AcDbDatabase* db, std::string_view text) {
  return importRead(db, dxf::ReadText(text));
}

}  // namespace cadsim
