// Entities of the simulated host: lines, polylines, text, attributes, block references,
// viewports and the dynamic block view.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "cadsim/dxf/dxf_text.h"
#include "cadsim/engine/database_state.h"

namespace {

// The plain text of MText content, read as the DXF reader reads it.
std::wstring plainMText(const std::wstring& s) { return cadsim::widen(cadsim::dxf::MTextPlainText(cadsim::narrow(s))); }

bool finite(const AcGePoint3d& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// cadsim::upper(a) == cadsim::upper(b) without making either: layerId() runs it for every
// entity read, against every layer.
bool sameUpper(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'a' && x <= L'z') x = static_cast<wchar_t>(x - L'a' + L'A');
    if (y >= L'a' && y <= L'z') y = static_cast<wchar_t>(y - L'a' + L'A');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

// --- AcDbEntity -----------------------------------------------------------------------------------

AcDbObjectId AcDbEntity::blockId() const { return ownerId(); }
ACHAR* AcDbEntity::layer() const {
  assertReadEnabled();
  return cadsim::allocCopy(m_layerName);
}
AcDbObjectId AcDbEntity::layerId() const {
  assertReadEnabled();
  if (!m_layerId.isNull() || !database()) return m_layerId;
  AcDbLayerTable* table = cadsim::peek<AcDbLayerTable>(database()->layerTableId());
  if (!table) return AcDbObjectId();
  for (AcDbObjectId id : table->recordIds()) {
    auto* rec = cadsim::peek<AcDbLayerTableRecord>(id);
    if (rec && sameUpper(rec->nameText(), m_layerName)) return id;
  }
  return AcDbObjectId();
}
Acad::ErrorStatus AcDbEntity::setLayer(const ACHAR* newVal, bool, bool) {
  if (!newVal || !*newVal) return Acad::eInvalidInput;
  assertWriteEnabled();
  m_layerName = newVal;
  m_layerId = AcDbObjectId();
  return Acad::eOk;
}
Acad::ErrorStatus AcDbEntity::setLayer(AcDbObjectId newVal, bool, bool) {
  auto* rec = cadsim::peek<AcDbLayerTableRecord>(newVal);
  if (!rec) return Acad::eInvalidInput;
  assertWriteEnabled();
  m_layerName = rec->nameText();
  m_layerId = newVal;
  return Acad::eOk;
}
Adesk::UInt16 AcDbEntity::colorIndex() const { assertReadEnabled(); return m_color; }
Acad::ErrorStatus AcDbEntity::setColorIndex(Adesk::UInt16 color, bool) {
  if (color > 257) return Acad::eInvalidInput;
  assertWriteEnabled();
  m_color = color;
  return Acad::eOk;
}
AcDb::Visibility AcDbEntity::visibility() const { assertReadEnabled(); return m_visibility; }
Acad::ErrorStatus AcDbEntity::setVisibility(AcDb::Visibility v, bool) {
  assertWriteEnabled();
  m_visibility = v;
  return Acad::eOk;
}
Acad::ErrorStatus AcDbEntity::getGeomExtents(AcDbExtents&) const {
  assertReadEnabled();
  return Acad::eInvalidExtents;
}

Acad::ErrorStatus AcDbCurve::getStartParam(double& param) const {
  assertReadEnabled();
  param = 0;
  return Acad::eOk;
}
Acad::ErrorStatus AcDbCurve::getEndParam(double&) const { return Acad::eNotApplicable; }
Acad::ErrorStatus AcDbCurve::getDistAtParam(double, double&) const { return Acad::eNotApplicable; }
Acad::ErrorStatus AcDbCurve::getStartPoint(AcGePoint3d&) const { return Acad::eNotApplicable; }
Acad::ErrorStatus AcDbCurve::getEndPoint(AcGePoint3d&) const { return Acad::eNotApplicable; }

// --- AcDbLine -------------------------------------------------------------------------------------

AcGePoint3d AcDbLine::startPoint() const { assertReadEnabled(); return m_start; }
AcGePoint3d AcDbLine::endPoint() const { assertReadEnabled(); return m_end; }
Acad::ErrorStatus AcDbLine::setStartPoint(const AcGePoint3d& p) { assertWriteEnabled(); m_start = p; return Acad::eOk; }
Acad::ErrorStatus AcDbLine::setEndPoint(const AcGePoint3d& p) { assertWriteEnabled(); m_end = p; return Acad::eOk; }
Acad::ErrorStatus AcDbLine::getEndParam(double& param) const {
  assertReadEnabled();
  param = m_start.distanceTo(m_end);
  return Acad::eOk;
}
Acad::ErrorStatus AcDbLine::getDistAtParam(double param, double& dist) const {
  assertReadEnabled();
  if (param < 0 || param > m_start.distanceTo(m_end) + 1e-9) return Acad::eInvalidInput;
  dist = param;
  return Acad::eOk;
}
Acad::ErrorStatus AcDbLine::getStartPoint(AcGePoint3d& p) const { p = startPoint(); return Acad::eOk; }
Acad::ErrorStatus AcDbLine::getEndPoint(AcGePoint3d& p) const { p = endPoint(); return Acad::eOk; }
Acad::ErrorStatus AcDbLine::getGeomExtents(AcDbExtents& extents) const {
  assertReadEnabled();
  if (!finite(m_start) || !finite(m_end)) return Acad::eInvalidExtents;
  extents = AcDbExtents();
  extents.addPoint(m_start);
  extents.addPoint(m_end);
  return Acad::eOk;
}

// --- AcDbPolyline ---------------------------------------------------------------------------------

unsigned int AcDbPolyline::numVerts() const {
  assertReadEnabled();
  return static_cast<unsigned int>(m_vertices.size());
}
Acad::ErrorStatus AcDbPolyline::addVertexAt(unsigned int index, const AcGePoint2d& pt, double bulge,
                                            double, double, Adesk::Int32) {
  if (index > m_vertices.size()) return Acad::eInvalidIndex;
  assertWriteEnabled();
  m_vertices.insert(m_vertices.begin() + index, Vertex{pt, bulge});
  return Acad::eOk;
}
Acad::ErrorStatus AcDbPolyline::getPointAt(unsigned int index, AcGePoint2d& pt) const {
  assertReadEnabled();
  if (index >= m_vertices.size()) return Acad::eInvalidIndex;
  pt = m_vertices[index].point;
  return Acad::eOk;
}
Acad::ErrorStatus AcDbPolyline::getPointAt(unsigned int index, AcGePoint3d& pt) const {
  AcGePoint2d p;
  Acad::ErrorStatus es = getPointAt(index, p);
  if (es == Acad::eOk) pt = AcGePoint3d(p.x, p.y, m_elevation);
  return es;
}
Acad::ErrorStatus AcDbPolyline::getBulgeAt(unsigned int index, double& bulge) const {
  assertReadEnabled();
  if (index >= m_vertices.size()) return Acad::eInvalidIndex;
  bulge = m_vertices[index].bulge;
  return Acad::eOk;
}
bool AcDbPolyline::isClosed() const { assertReadEnabled(); return m_closed; }
void AcDbPolyline::setClosed(bool closed) { assertWriteEnabled(); m_closed = closed; }
double AcDbPolyline::elevation() const { assertReadEnabled(); return m_elevation; }
void AcDbPolyline::setElevation(double e) { assertWriteEnabled(); m_elevation = e; }

// Segments run from vertex i to i+1 (and from the last back to the first when closed); a bulge
// is the tangent of a quarter of the arc's included angle.
double AcDbPolyline::segmentLength(size_t i) const {
  const Vertex& a = m_vertices[i];
  const Vertex& b = m_vertices[(i + 1) % m_vertices.size()];
  double chord = a.point.distanceTo(b.point);
  if (a.bulge == 0 || chord == 0) return chord;
  double theta = 4 * std::atan(std::fabs(a.bulge));
  double radius = chord / (2 * std::sin(theta / 2));
  return radius * theta;
}

Acad::ErrorStatus AcDbPolyline::getEndParam(double& param) const {
  assertReadEnabled();
  if (m_vertices.empty()) return Acad::eInvalidInput;
  param = static_cast<double>(m_closed ? m_vertices.size() : m_vertices.size() - 1);
  return Acad::eOk;
}

Acad::ErrorStatus AcDbPolyline::getDistAtParam(double param, double& dist) const {
  double end = 0;
  Acad::ErrorStatus es = getEndParam(end);
  if (es != Acad::eOk) return es;
  if (!(param >= 0 && param <= end + 1e-9)) return Acad::eInvalidInput;
  dist = 0;
  size_t whole = static_cast<size_t>(std::floor(param));
  size_t segments = m_closed ? m_vertices.size() : m_vertices.size() - 1;
  for (size_t i = 0; i < whole && i < segments; ++i) dist += segmentLength(i);
  double frac = param - static_cast<double>(whole);
  if (frac > 0 && whole < segments) dist += frac * segmentLength(whole);
  return Acad::eOk;
}
Acad::ErrorStatus AcDbPolyline::getStartPoint(AcGePoint3d& p) const {
  if (numVerts() == 0) return Acad::eInvalidInput;
  return getPointAt(0, p);
}
Acad::ErrorStatus AcDbPolyline::getEndPoint(AcGePoint3d& p) const {
  unsigned n = numVerts();
  if (n == 0) return Acad::eInvalidInput;
  return getPointAt(m_closed ? 0 : n - 1, p);
}
Acad::ErrorStatus AcDbPolyline::getGeomExtents(AcDbExtents& extents) const {
  assertReadEnabled();
  if (m_vertices.empty()) return Acad::eInvalidExtents;
  AcDbExtents e;
  for (const Vertex& v : m_vertices) {
    AcGePoint3d p(v.point.x, v.point.y, m_elevation);
    if (!finite(p)) return Acad::eInvalidExtents;
    e.addPoint(p);
  }
  extents = e;
  return Acad::eOk;
}

// --- text -----------------------------------------------------------------------------------------

AcDbText::AcDbText(const AcGePoint3d& position, const ACHAR* text, AcDbObjectId style, double height,
                   double rotation)
    : m_text(text ? text : L""), m_position(position), m_height(height > 0 ? height : 2.5),
      m_rotation(rotation), m_style(style) {}
ACHAR* AcDbText::textString() const { assertReadEnabled(); return cadsim::allocCopy(m_text); }
const ACHAR* AcDbText::textStringConst() const { assertReadEnabled(); return m_text.c_str(); }
Acad::ErrorStatus AcDbText::textString(AcString& text) const {
  assertReadEnabled();
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("textString", Acad::eInvalidInput, &es)) return es;
  text = m_text.c_str();
  return Acad::eOk;
}
Acad::ErrorStatus AcDbText::setTextString(const ACHAR* text) {
  if (!text) return Acad::eInvalidInput;
  assertWriteEnabled();
  m_text = text;
  return Acad::eOk;
}
AcGePoint3d AcDbText::position() const { assertReadEnabled(); return m_position; }
Acad::ErrorStatus AcDbText::setPosition(const AcGePoint3d& p) { assertWriteEnabled(); m_position = p; return Acad::eOk; }
double AcDbText::height() const { assertReadEnabled(); return m_height; }
Acad::ErrorStatus AcDbText::setHeight(double h) {
  if (!(h > 0)) return Acad::eInvalidInput;
  assertWriteEnabled();
  m_height = h;
  return Acad::eOk;
}
double AcDbText::rotation() const { assertReadEnabled(); return m_rotation; }
Acad::ErrorStatus AcDbText::setRotation(double r) { assertWriteEnabled(); m_rotation = r; return Acad::eOk; }
AcDbObjectId AcDbText::textStyle() const { assertReadEnabled(); return m_style; }
Acad::ErrorStatus AcDbText::setTextStyle(AcDbObjectId style) { assertWriteEnabled(); m_style = style; return Acad::eOk; }
Acad::ErrorStatus AcDbText::getGeomExtents(AcDbExtents& extents) const {
  assertReadEnabled();
  if (m_text.empty()) return Acad::eInvalidExtents;
  // Without font metrics: a box of the text height and 0.8 height per character.
  AcDbExtents e;
  e.addPoint(AcGePoint3d(0, 0, 0));
  e.addPoint(AcGePoint3d(0.8 * m_height * static_cast<double>(m_text.size()), m_height, 0));
  e.transformBy(AcGeMatrix3d::translation(AcGeVector3d(m_position.x, m_position.y, m_position.z)) *
                AcGeMatrix3d::rotation(m_rotation, AcGeVector3d::kZAxis, AcGePoint3d::kOrigin));
  extents = e;
  return Acad::eOk;
}

ACHAR* AcDbMText::contents() const { assertReadEnabled(); return cadsim::allocCopy(m_contents); }
Acad::ErrorStatus AcDbMText::contents(AcString& text) const {
  assertReadEnabled();
  text = m_contents.c_str();
  return Acad::eOk;
}
Acad::ErrorStatus AcDbMText::setContents(const ACHAR* text) {
  if (!text) return Acad::eInvalidInput;
  assertWriteEnabled();
  m_contents = text;
  return Acad::eOk;
}
ACHAR* AcDbMText::text() const { assertReadEnabled(); return cadsim::allocCopy(plainMText(m_contents)); }
Acad::ErrorStatus AcDbMText::text(AcString& text) const {
  assertReadEnabled();
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("text", Acad::eInvalidInput, &es)) return es;
  text = plainMText(m_contents);
  return Acad::eOk;
}
AcGePoint3d AcDbMText::location() const { assertReadEnabled(); return m_location; }
Acad::ErrorStatus AcDbMText::setLocation(const AcGePoint3d& p) { assertWriteEnabled(); m_location = p; return Acad::eOk; }
double AcDbMText::textHeight() const { assertReadEnabled(); return m_height; }
Acad::ErrorStatus AcDbMText::setTextHeight(double h) {
  if (!(h > 0)) return Acad::eInvalidInput;
  assertWriteEnabled();
  m_height = h;
  return Acad::eOk;
}
AcDbObjectId AcDbMText::textStyle() const { assertReadEnabled(); return m_style; }
Acad::ErrorStatus AcDbMText::setTextStyle(AcDbObjectId style) { assertWriteEnabled(); m_style = style; return Acad::eOk; }

// --- attributes -----------------------------------------------------------------------------------

AcDbAttributeDefinition::AcDbAttributeDefinition(const AcGePoint3d& position, const ACHAR* text,
                                                 const ACHAR* tag, const ACHAR* prompt, AcDbObjectId style)
    : AcDbText(position, text, style), m_tag(tag ? tag : L""), m_prompt(prompt ? prompt : L"") {}
ACHAR* AcDbAttributeDefinition::tag() const { assertReadEnabled(); return cadsim::allocCopy(m_tag); }
ACHAR* AcDbAttributeDefinition::prompt() const { assertReadEnabled(); return cadsim::allocCopy(m_prompt); }
const ACHAR* AcDbAttributeDefinition::tagConst() const { assertReadEnabled(); return m_tag.c_str(); }
const ACHAR* AcDbAttributeDefinition::promptConst() const { assertReadEnabled(); return m_prompt.c_str(); }
Acad::ErrorStatus AcDbAttributeDefinition::setTag(const ACHAR* tag) {
  if (!tag || !*tag) return Acad::eInvalidInput;
  assertWriteEnabled();
  m_tag = tag;
  return Acad::eOk;
}
Acad::ErrorStatus AcDbAttributeDefinition::setPrompt(const ACHAR* prompt) {
  assertWriteEnabled();
  m_prompt = prompt ? prompt : L"";
  return Acad::eOk;
}
bool AcDbAttributeDefinition::isInvisible() const { assertReadEnabled(); return m_invisible; }
Acad::ErrorStatus AcDbAttributeDefinition::setInvisible(bool v) { assertWriteEnabled(); m_invisible = v; return Acad::eOk; }
bool AcDbAttributeDefinition::isConstant() const { assertReadEnabled(); return m_constant; }
Acad::ErrorStatus AcDbAttributeDefinition::setConstant(bool v) { assertWriteEnabled(); m_constant = v; return Acad::eOk; }
bool AcDbAttributeDefinition::isMTextAttributeDefinition() const { assertReadEnabled(); return m_mtext != nullptr; }
Acad::ErrorStatus AcDbAttributeDefinition::setMTextAttributeDefinition(AcDbMText* mtext) {
  if (!mtext) return Acad::eNullObjectPointer;
  assertWriteEnabled();
  AcString contents;
  mtext->contents(contents);
  m_mtext = std::make_unique<AcDbMText>();
  m_mtext->setContents(contents.kwszPtr());
  return Acad::eOk;
}

AcDbAttribute::AcDbAttribute(const AcGePoint3d& position, const ACHAR* text, const ACHAR* tag,
                             AcDbObjectId style)
    : AcDbText(position, text, style), m_tag(tag ? tag : L"") {}
ACHAR* AcDbAttribute::tag() const { assertReadEnabled(); return cadsim::allocCopy(m_tag); }
Acad::ErrorStatus AcDbAttribute::tag(AcString& tag) const {
  assertReadEnabled();
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("tag", Acad::eInvalidInput, &es)) return es;
  tag = m_tag.c_str();
  return Acad::eOk;
}
const ACHAR* AcDbAttribute::tagConst() const { assertReadEnabled(); return m_tag.c_str(); }
Acad::ErrorStatus AcDbAttribute::setTag(const ACHAR* tag) {
  if (!tag || !*tag) return Acad::eInvalidInput;
  assertWriteEnabled();
  m_tag = tag;
  return Acad::eOk;
}
bool AcDbAttribute::isInvisible() const { assertReadEnabled(); return m_invisible; }
Acad::ErrorStatus AcDbAttribute::setInvisible(bool v) { assertWriteEnabled(); m_invisible = v; return Acad::eOk; }
bool AcDbAttribute::isConstant() const { assertReadEnabled(); return m_constant; }
bool AcDbAttribute::isMTextAttribute() const { assertReadEnabled(); return m_mtext != nullptr; }
AcDbMText* AcDbAttribute::getMTextAttribute() const {
  assertReadEnabled();
  if (!m_mtext) return nullptr;
  if (cadsim::hostCallAnswersNull("getMTextAttribute")) return nullptr;
  auto* copy = new AcDbMText();
  AcString contents;
  m_mtext->contents(contents);
  copy->setContents(contents.kwszPtr());
  copy->setLocation(position());
  copy->setTextHeight(height());
  return copy;
}
const AcDbMText* AcDbAttribute::getMTextAttributeConst() const {
  assertReadEnabled();
  return m_mtext.get();
}
Acad::ErrorStatus AcDbAttribute::setMTextAttribute(AcDbMText* mtext) {
  if (!mtext) return Acad::eNullObjectPointer;
  assertWriteEnabled();
  AcString contents;
  mtext->contents(contents);
  m_mtext = std::make_unique<AcDbMText>();
  m_mtext->setContents(contents.kwszPtr());
  return setTextString(plainMText(contents.kwszPtr()).c_str());
}
Acad::ErrorStatus AcDbAttribute::convertIntoMTextAttribute(bool val) {
  assertWriteEnabled();
  if (!val) {
    m_mtext.reset();
    return Acad::eOk;
  }
  if (m_mtext) return Acad::eOk;
  m_mtext = std::make_unique<AcDbMText>();
  return m_mtext->setContents(textStringConst());
}

// --- block references -----------------------------------------------------------------------------

AcDbBlockReference::AcDbBlockReference(const AcGePoint3d& position, AcDbObjectId blockTableRec)
    : m_block(blockTableRec), m_position(position) {}
AcDbObjectId AcDbBlockReference::blockTableRecord() const { assertReadEnabled(); return m_block; }
Acad::ErrorStatus AcDbBlockReference::setBlockTableRecord(AcDbObjectId id) {
  if (id.isNull()) return Acad::eNullObjectId;
  assertWriteEnabled();
  m_block = id;
  return Acad::eOk;
}
AcGePoint3d AcDbBlockReference::position() const { assertReadEnabled(); return m_position; }
Acad::ErrorStatus AcDbBlockReference::setPosition(const AcGePoint3d& p) { assertWriteEnabled(); m_position = p; return Acad::eOk; }
AcGeScale3d AcDbBlockReference::scaleFactors() const { assertReadEnabled(); return m_scale; }
Acad::ErrorStatus AcDbBlockReference::setScaleFactors(const AcGeScale3d& s) {
  if (s.sx == 0 || s.sy == 0 || s.sz == 0) return Acad::eInvalidInput;
  assertWriteEnabled();
  m_scale = s;
  return Acad::eOk;
}
double AcDbBlockReference::rotation() const { assertReadEnabled(); return m_rotation; }
Acad::ErrorStatus AcDbBlockReference::setRotation(double r) { assertWriteEnabled(); m_rotation = r; return Acad::eOk; }
AcGeMatrix3d AcDbBlockReference::blockTransform() const {
  assertReadEnabled();
  AcGePoint3d base;
  if (auto* def = cadsim::peek<AcDbBlockTableRecord>(m_block)) {
    def->objectState().readers++;
    base = def->origin();
    def->objectState().readers--;
  }
  return AcGeMatrix3d::translation(AcGeVector3d(m_position.x, m_position.y, m_position.z)) *
         AcGeMatrix3d::rotation(m_rotation, AcGeVector3d::kZAxis, AcGePoint3d::kOrigin) *
         AcGeMatrix3d::scaling(m_scale, AcGePoint3d::kOrigin) *
         AcGeMatrix3d::translation(AcGeVector3d(-base.x, -base.y, -base.z));
}
Acad::ErrorStatus AcDbBlockReference::appendAttribute(AcDbObjectId& id, AcDbAttribute* attribute) {
  return cadsim::appendOwned(this, m_attributes, attribute, &id);
}
Acad::ErrorStatus AcDbBlockReference::appendAttribute(AcDbAttribute* attribute) {
  AcDbObjectId ignored;
  return appendAttribute(ignored, attribute);
}
AcDbObjectIterator* AcDbBlockReference::attributeIterator() const {
  assertReadEnabled();
  auto* it = new AcDbObjectIterator(m_attributes);
  it->start();
  return it;
}
Acad::ErrorStatus AcDbBlockReference::getGeomExtents(AcDbExtents& extents) const {
  assertReadEnabled();
  auto* def = cadsim::peek<AcDbBlockTableRecord>(m_block);
  if (!def) return Acad::eInvalidExtents;
  AcDbExtents box;
  for (AcDbObjectId id : def->entityIds()) {
    auto* ent = cadsim::peek<AcDbEntity>(id);
    if (!ent || ent->isErased() || AcDbAttributeDefinition::cast(ent)) continue;
    // Measured without opening: the definition's entities may be open elsewhere.
    AcDbExtents e;
    ent->objectState().readers++;
    Acad::ErrorStatus es = ent->getGeomExtents(e);
    ent->objectState().readers--;
    if (es == Acad::eOk) box.addExt(e);
  }
  if (box.isEmpty()) return Acad::eInvalidExtents;
  box.transformBy(blockTransform());
  extents = box;
  return Acad::eOk;
}

// --- viewports ------------------------------------------------------------------------------------

AcGePoint3d AcDbViewport::centerPoint() const { assertReadEnabled(); return m_center; }
Acad::ErrorStatus AcDbViewport::setCenterPoint(const AcGePoint3d& p) { assertWriteEnabled(); m_center = p; return Acad::eOk; }
double AcDbViewport::width() const { assertReadEnabled(); return m_width; }
Acad::ErrorStatus AcDbViewport::setWidth(double w) { assertWriteEnabled(); m_width = w; return Acad::eOk; }
double AcDbViewport::height() const { assertReadEnabled(); return m_height; }
Acad::ErrorStatus AcDbViewport::setHeight(double h) { assertWriteEnabled(); m_height = h; return Acad::eOk; }
Adesk::Int16 AcDbViewport::number() const { assertReadEnabled(); return numberValue; }
bool AcDbViewport::isOn() const { assertReadEnabled(); return m_on; }
Acad::ErrorStatus AcDbViewport::setOn() { assertWriteEnabled(); m_on = true; return Acad::eOk; }
Acad::ErrorStatus AcDbViewport::setOff() { assertWriteEnabled(); m_on = false; return Acad::eOk; }
AcGePoint2d AcDbViewport::viewCenter() const { assertReadEnabled(); return m_viewCenter; }
Acad::ErrorStatus AcDbViewport::setViewCenter(const AcGePoint2d& p) { assertWriteEnabled(); m_viewCenter = p; return Acad::eOk; }
double AcDbViewport::viewHeight() const { assertReadEnabled(); return m_viewHeight; }
Acad::ErrorStatus AcDbViewport::setViewHeight(double h) { assertWriteEnabled(); m_viewHeight = h; return Acad::eOk; }
AcGePoint3d AcDbViewport::viewTarget() const { assertReadEnabled(); return m_target; }
Acad::ErrorStatus AcDbViewport::setViewTarget(const AcGePoint3d& p) { assertWriteEnabled(); m_target = p; return Acad::eOk; }
AcGeVector3d AcDbViewport::viewDirection() const { assertReadEnabled(); return m_direction; }
Acad::ErrorStatus AcDbViewport::setViewDirection(const AcGeVector3d& v) { assertWriteEnabled(); m_direction = v; return Acad::eOk; }
double AcDbViewport::twistAngle() const { assertReadEnabled(); return m_twist; }
Acad::ErrorStatus AcDbViewport::setTwistAngle(double a) { assertWriteEnabled(); m_twist = a; return Acad::eOk; }
Acad::ErrorStatus AcDbViewport::getFrozenLayerList(AcDbObjectIdArray& ids) const {
  assertReadEnabled();
  ids = m_frozen;
  return Acad::eOk;
}
Acad::ErrorStatus AcDbViewport::freezeLayersInViewport(const AcDbObjectIdArray& ids) {
  assertWriteEnabled();
  for (const AcDbObjectId& id : ids)
    if (!m_frozen.contains(id)) m_frozen.append(id);
  return Acad::eOk;
}
Acad::ErrorStatus AcDbViewport::thawLayersInViewport(const AcDbObjectIdArray& ids) {
  assertWriteEnabled();
  AcDbObjectIdArray kept;
  for (const AcDbObjectId& id : m_frozen)
    if (!ids.contains(id)) kept.append(id);
  m_frozen = kept;
  return Acad::eOk;
}
bool AcDbViewport::isLayerFrozenInViewport(AcDbObjectId layerId) const {
  assertReadEnabled();
  return m_frozen.contains(layerId);
}
Acad::ErrorStatus AcDbViewport::getGeomExtents(AcDbExtents& extents) const {
  assertReadEnabled();
  AcDbExtents e;
  e.addPoint(AcGePoint3d(m_center.x - m_width / 2, m_center.y - m_height / 2, m_center.z));
  e.addPoint(AcGePoint3d(m_center.x + m_width / 2, m_center.y + m_height / 2, m_center.z));
  extents = e;
  return Acad::eOk;
}

// --- dynamic block view ---------------------------------------------------------------------------

AcDbDynBlockReference::AcDbDynBlockReference(AcDbObjectId blockRefId) : m_ref(blockRefId) {
  if (auto* ref = cadsim::peek<AcDbBlockReference>(blockRefId)) m_block = ref->blockRecordValue();
}
AcDbDynBlockReference::AcDbDynBlockReference(AcDbBlockReference* pRef) {
  if (!pRef) return;
  m_ref = pRef->objectId();
  m_block = pRef->blockRecordValue();
}
bool AcDbDynBlockReference::isDynamicBlock(AcDbObjectId blockTableRecordId) {
  auto* rec = cadsim::peek<AcDbBlockTableRecord>(blockTableRecordId);
  return rec && (rec->dynamicDefinition || !rec->dynamicBlockRecord.isNull());
}
bool AcDbDynBlockReference::isDynamicBlock() const { return isDynamicBlock(m_block); }
AcDbObjectId AcDbDynBlockReference::dynamicBlockTableRecord() const {
  auto* rec = cadsim::peek<AcDbBlockTableRecord>(m_block);
  if (!rec) return AcDbObjectId();
  if (rec->dynamicDefinition) return m_block;
  return rec->dynamicBlockRecord;
}
AcDbObjectId AcDbDynBlockReference::anonymousBlockTableRecord() const {
  auto* rec = cadsim::peek<AcDbBlockTableRecord>(m_block);
  return rec && !rec->dynamicBlockRecord.isNull() ? m_block : AcDbObjectId();
}
