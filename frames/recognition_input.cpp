#include "frames/recognition_input.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <string_view>

#include "host/opened_object.h"
#include "host/platform.h"
#include "host/strings.h"

namespace OrvikFrameRecognition {

namespace {

// How much one extraction may collect and walk. A drawing of a few thousand entities can multiply
// through nested references into billions (a reference to A, A with 1,000 references to B, B with
// 1,000 to C, C with 1,000 lines: 10^9 lines), all on the host's main thread and in memory. Only
// axis-parallel lines above the length threshold and small polylines are collected: a real sheet
// gives some tens of thousands, and even a million-entity model space (the collector's benchmark)
// gives 1.25 million. Two million leaves room above that and still bounds the work and the answer
// (64 MB of points while collecting, about 240 MB of JSON). The walk cap bounds the time spent on
// members that collect nothing (short lines, text, hatches under many references): 20 million
// visits is ten times a drawing of 10,000 references to blocks of 200 entities each, and about a
// second of work.
constexpr size_t kMaximumCollectedItems = 2000000;
constexpr size_t kMaximumWalkedEntities = 20000000;

void Check(Acad::ErrorStatus status, const char* what) {
  if (status != Acad::eOk)
    Require(false, std::string(what) + " failed, ObjectARX status=" + std::to_string(static_cast<int>(status)));
}

Point2d Point(const AcGePoint3d& p) {
  Require(std::isfinite(p.x) && std::isfinite(p.y), "non-finite WCS XY coordinate");
  return {p.x, p.y};
}

bool Orthogonal(double rotation, double toleranceDegrees) {
  Require(std::isfinite(rotation), "non-finite block rotation");
  const double degrees = rotation * 180.0 / std::acos(-1.0);
  const double normalised = std::fmod(std::fmod(degrees, 360.0) + 360.0, 360.0);
  for (const double axis : {0.0, 90.0, 180.0, 270.0})
    if (std::fabs(normalised - axis) < toleranceDegrees) return true;
  return false;
}

// What the walk read of one entity: enough to place it under any reference without reading it
// again. A block definition is usually referenced many times (a title block on every sheet), so
// its members are read once per walk and then only transformed; the drawing cannot change while
// the walk runs on the main thread. Each member is read when the walk first reaches it, so a read
// that fails or finds bad geometry fails the walk at the same point as reading it every time would.
// Kept small, as a definition may hold as many entities as a model space: a reference's larger
// part lives beside the members.
struct Member {
  enum Kind : unsigned char { kUnread, kSkipped, kLine, kPolyline, kReference };
  Kind kind = kUnread;
  uint32_t reference = 0;  // kReference inside a definition: its index in `references`
  AcGePoint3d first;       // kLine: the local start; kPolyline: the local bounds' minimum
  AcGePoint3d second;      // kLine: the local end; kPolyline: the local bounds' maximum
};

struct Reference {
  AcGeMatrix3d blockTransform;
  AcDbObjectId definitionId;
};

// A block definition's entities in the order its iterator gives them, read as the walk needs them.
struct Definition {
  std::vector<AcDbObjectId> ids;
  std::vector<Member> members;
  std::vector<Reference> references;
};

class Collector {
 public:
  Collector(AcDbDatabase* database, const Settings& settings, RecognitionInput& input)
      : m_database(database), m_settings(settings), m_input(input) {
    const AcDbObjectId viewportId = acedGetCurViewportObjectId();
    if (viewportId.isNull() || viewportId.database() != database) return;
    OpenedObject<AcDbObject> viewport;
    Check(acdbOpenObject(viewport.object, viewportId, AcDb::kForRead), "open active viewport");
    if (const AcDbViewport* v = AcDbViewport::cast(viewport.object)) {
      AcDbObjectIdArray frozen;
      Check(v->getFrozenLayerList(frozen), "read active viewport frozen layers");
      for (int i = 0; i < frozen.length(); ++i) m_viewportFrozen.insert(frozen[i]);
    }
  }

  void Run() {
    AcDbObjectId modelSpaceId;
    {
      OpenedObject<AcDbBlockTable> table;
      Check(m_database->getBlockTable(table.object, AcDb::kForRead), "open block table");
      Check(table.object->getAt(ACDB_MODEL_SPACE, modelSpaceId), "find Model space");
    }
    OpenedObject<AcDbBlockTableRecord> modelSpace;
    Check(acdbOpenObject(modelSpace.object, modelSpaceId, AcDb::kForRead), "open Model space");
    Iterator it;
    Check(modelSpace.object->newIterator(it.object, true, true), "iterate Model space");
    Member member;  // one for all: Read sets what Place uses
    for (; !it.object->done(); it.object->step(true, true)) {
      AcDbObjectId id;
      Check(it.object->getEntityId(id), "read root entity id");
      {
        OpenedObject<AcDbEntity> entity;
        Check(acdbOpenObject(entity.object, id, AcDb::kForRead), "inspect root entity");
        Read(entity.object, true, member, m_rootReference);
      }
      Place(member, nullptr, AcGeMatrix3d::kIdentity, 0);
    }
  }

 private:
  struct Iterator {
    AcDbBlockTableRecordIterator* object = nullptr;
    Iterator() = default;
    Iterator(const Iterator&) = delete;
    Iterator& operator=(const Iterator&) = delete;
    ~Iterator() { delete object; }
  };

  // Reads what placing the entity needs, in the order the host is asked: its layer and
  // visibility, then its own geometry. A reference's blockTransform is read here so that the
  // entity is closed before its definition is walked. Model space entities of other kinds are
  // passed over before their layer is looked at; inside a block every entity's layer is.
  void Read(const AcDbEntity* entity, bool root, Member& member, Reference& referenced) {
    member.kind = Member::kSkipped;
    const AcDbBlockReference* reference = AcDbBlockReference::cast(entity);
    const AcDbLine* line = reference ? nullptr : AcDbLine::cast(entity);
    const AcDbPolyline* polyline = reference || line ? nullptr : AcDbPolyline::cast(entity);
    if (root && !reference && !line && !polyline) return;
    if (!VisibleLayer(entity, root)) return;
    if (reference) {
      if (Clipped(reference) || !Orthogonal(reference->rotation(), m_settings.OrthogonalBlockRotationToleranceDegrees))
        return;
      referenced.blockTransform = reference->blockTransform();
      referenced.definitionId = reference->blockTableRecord();
      member.kind = Member::kReference;
    } else if (line) {
      member.first = line->startPoint();
      member.second = line->endPoint();
      const double length = member.first.distanceTo(member.second);
      Require(std::isfinite(length), "non-finite local line length");
      if (length < m_settings.IgnoreLengthThreshold) return;
      member.kind = Member::kLine;
    } else if (polyline) {
      const long vertices = static_cast<long>(polyline->numVerts());
      if (vertices < m_settings.MinimumPolylineVertexCount || vertices > m_settings.MaximumPolylineVertexCount) return;
      double endParam = 0, length = 0;
      Check(polyline->getEndParam(endParam), "read polyline end parameter");
      Check(polyline->getDistAtParam(endParam, length), "read local polyline length");
      Require(std::isfinite(length), "non-finite local polyline length");
      if (length < m_settings.IgnoreLengthThreshold) return;
      AcDbExtents extents;
      const Acad::ErrorStatus status = polyline->getGeomExtents(extents);
      // A polyline without extent (no vertices, or all at one point) is skipped, not an error. The
      // host answers eInvalidExtents for it, and eNullExtents for a box it could not grow.
      if (status == Acad::eInvalidExtents || status == Acad::eNullExtents) return;
      Check(status, "read native polyline bounds");
      member.first = extents.minPoint();
      member.second = extents.maxPoint();
      member.kind = Member::kPolyline;
    }
  }

  // Puts an entity read before into the input, under the references that lead to it; `owner` is
  // the definition it belongs to, null for model space.
  void Place(const Member& member, const Definition* owner, const AcGeMatrix3d& transform, int level) {
    switch (member.kind) {
      case Member::kLine: {
        AcGePoint3d start = member.first;
        AcGePoint3d end = member.second;
        const Point2d a = Point(start.transformBy(transform));
        const Point2d b = Point(end.transformBy(transform));
        if (std::fabs(a.X - b.X) <= m_settings.AxisCoordinateTolerance) {
          Collected();
          m_input.VerticalLines.push_back({a, b});
        } else if (std::fabs(a.Y - b.Y) <= m_settings.AxisCoordinateTolerance) {
          Collected();
          m_input.HorizontalLines.push_back({a, b});
        }
        break;
      }
      case Member::kPolyline: {
        AcDbExtents extents(member.first, member.second);
        extents.transformBy(transform);
        const Bounds2d bounds{Point(extents.minPoint()), Point(extents.maxPoint())};
        Collected();
        m_input.PolylineBounds.push_back(bounds);
        break;
      }
      case Member::kReference: {
        // Used before the walk goes down: reading members there may grow `references`.
        const Reference& held = owner ? owner->references[member.reference] : m_rootReference;
        const AcDbObjectId definitionId = held.definitionId;
        // A definition that contains itself, directly or further down, is damage a file can
        // carry; following it would multiply the walk with every level up to the limit.
        if (std::find(m_path.begin(), m_path.end(), definitionId) != m_path.end()) return;
        const AcGeMatrix3d inner = transform * held.blockTransform;
        Definition& definition = DefinitionOf(definitionId);
        if (level + 1 > m_settings.MaximumEntityLevel) return;
        m_path.push_back(definitionId);
        m_walked += definition.ids.size();
        if (m_walked > kMaximumWalkedEntities)
          Require(false, "the drawing's block references multiply to more than " +
                             std::to_string(kMaximumWalkedEntities) + " entities to walk");
        for (size_t i = 0; i < definition.ids.size(); ++i) {
          // Members are read on first use; `definition` stays put while others are added, and its
          // members never move.
          if (definition.members[i].kind == Member::kUnread) ReadMember(definition, i);
          Place(definition.members[i], &definition, inner, level + 1);
        }
        m_path.pop_back();
        break;
      }
      case Member::kUnread:
      case Member::kSkipped:
        break;
    }
  }

  void Collected() {
    if (++m_collected > kMaximumCollectedItems)
      Require(false, "more than " + std::to_string(kMaximumCollectedItems) + " lines and polylines to collect");
  }

  void ReadMember(Definition& definition, size_t index) {
    Member& member = definition.members[index];
    const AcDbObjectId id = definition.ids[index];
    member.kind = Member::kSkipped;
    if (id.isNull() || id.isErased()) return;
    Reference referenced;
    {
      OpenedObject<AcDbEntity> entity;
      Check(acdbOpenObject(entity.object, id, AcDb::kForRead), "open recognition entity");
      Read(entity.object, false, member, referenced);
    }
    if (member.kind != Member::kReference) return;
    member.reference = static_cast<uint32_t>(definition.references.size());
    definition.references.push_back(referenced);
  }

  Definition& DefinitionOf(AcDbObjectId definitionId) {
    auto found = m_definitions.find(definitionId);
    if (found != m_definitions.end()) return *found->second;
    auto definition = std::make_unique<Definition>();
    {
      OpenedObject<AcDbBlockTableRecord> record;
      Check(acdbOpenObject(record.object, definitionId, AcDb::kForRead), "open block definition");
      Iterator it;
      Check(record.object->newIterator(it.object, true, true), "iterate block definition");
      for (; !it.object->done(); it.object->step(true, true)) {
        AcDbObjectId child;
        Check(it.object->getEntityId(child), "read child entity id");
        definition->ids.push_back(child);
      }
    }
    definition->members.resize(definition->ids.size());
    return *m_definitions.emplace(definitionId, std::move(definition)).first->second;
  }

  bool Clipped(const AcDbBlockReference* reference) {
    const AcDbObjectId dictionaryId = reference->extensionDictionary();
    if (dictionaryId.isNull()) return false;
    OpenedObject<AcDbDictionary> dictionary;
    Check(acdbOpenObject(dictionary.object, dictionaryId, AcDb::kForRead), "open block extension dictionary");
    return dictionary.object->has(L"ACAD_FILTER");
  }

  bool VisibleLayer(const AcDbEntity* entity, bool root) {
    if (entity->isErased() || entity->visibility() != AcDb::kVisible) return false;
    const AcDbObjectId layerId = entity->layerId();
    if (layerId.isNull()) return false;
    const LayerState& layer = Layer(layerId);
    return layer.shown && !(root && layer.hidden);
  }

  // What a layer decides, read once per walk: the layers cannot change while the walk runs on the
  // main thread, and a drawing may have thousands of layers and millions of entities on them.
  struct LayerState {
    bool shown = false;   // not off, not frozen, not ignored by name, not frozen in the viewport
    bool hidden = false;  // hides root entities only
  };

  const LayerState& Layer(AcDbObjectId layerId) {
    // Entities come in runs on one layer: the last one answers most lookups without a search.
    if (m_lastLayer != m_layers.end() && m_lastLayer->first == layerId) return m_lastLayer->second;
    const auto known = m_layers.find(layerId);
    if (known != m_layers.end()) {
      m_lastLayer = known;
      return known->second;
    }
    LayerState state;
    OpenedObject<AcDbLayerTableRecord> layer;
    Check(acdbOpenObject(layer.object, layerId, AcDb::kForRead), "open entity layer");
    state.hidden = layer.object->isHidden();
    state.shown = !layer.object->isOff() && !layer.object->isFrozen();
    if (state.shown && !m_settings.IgnoreLayerNames.empty()) {
      const ACHAR* name = nullptr;
      Check(layer.object->getName(name), "read layer name");
      const std::string utf8 = OrvikUtf8(name);
      for (const std::string& ignored : m_settings.IgnoreLayerNames) state.shown = state.shown && utf8 != ignored;
    }
    state.shown = state.shown && m_viewportFrozen.count(layerId) == 0;
    m_lastLayer = m_layers.emplace(layerId, state).first;
    return m_lastLayer->second;
  }

  AcDbDatabase* m_database;
  const Settings& m_settings;
  RecognitionInput& m_input;
  std::set<AcDbObjectId> m_viewportFrozen;
  std::vector<AcDbObjectId> m_path;  // definitions being walked, outermost first
  std::map<AcDbObjectId, std::unique_ptr<Definition>> m_definitions;
  Reference m_rootReference;  // of the model space entity being placed
  std::map<AcDbObjectId, LayerState> m_layers;
  std::map<AcDbObjectId, LayerState>::const_iterator m_lastLayer = m_layers.end();
  size_t m_collected = 0;
  size_t m_walked = 0;
};

void AppendString(std::string& out, std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  out.push_back('"');
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (byte < 0x20) {
      out.append("\\u00");
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 0xF]);
    } else {
      out.push_back(c);
    }
  }
  out.push_back('"');
}

void AppendPoint(std::string& out, const Point2d& p) {
  out.append("{\"X\":");
  AppendJsonNumber(out, p.X);
  out.append(",\"Y\":");
  AppendJsonNumber(out, p.Y);
  out.push_back('}');
}

void AppendLines(std::string& out, const std::vector<Line2d>& lines) {
  out.push_back('[');
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) out.push_back(',');
    out.append("{\"StartPoint\":");
    AppendPoint(out, lines[i].StartPoint);
    out.append(",\"EndPoint\":");
    AppendPoint(out, lines[i].EndPoint);
    out.push_back('}');
  }
  out.push_back(']');
}

}  // namespace

void AppendJsonNumber(std::string& out, double value) {
  Require(std::isfinite(value), "cannot serialize non-finite number");
  // to_chars in general format with a precision is defined as printf's %.*g in the C locale, and
  // avoids printf's locale lookup and multi-precision arithmetic.
  char buffer[32];
  const std::to_chars_result written =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 17);
  out.append(buffer, written.ptr);
}

Fixture Extract(AcDbDatabase* database, const Settings& settings, const std::string& drawingFileName) {
  ORVIK_ASSERT_MAIN_THREAD();
  Require(database != nullptr, "no database");
  Validate(settings);
  Fixture fixture;
  fixture.DrawingFileName = drawingFileName;
  fixture.Settings = settings;
  Collector collector(database, fixture.Settings, fixture.RecognitionInput);
  collector.Run();
  return fixture;
}

std::string Serialize(const Fixture& fixture) {
  Require(fixture.SchemaVersion == 2 && fixture.CoordinateSystem == "WCS", "unsupported output contract");
  const Settings& s = fixture.Settings;
  Validate(s);
  const RecognitionInput& input = fixture.RecognitionInput;
  std::string out;
  // About 90 bytes a line item; a reserve saves the copies of a growing buffer on large drawings.
  out.reserve(1024 + 90 * (input.HorizontalLines.size() + input.VerticalLines.size() + input.PolylineBounds.size()));
  out.append("{\"SchemaVersion\":2,\"DrawingFileName\":");
  AppendString(out, fixture.DrawingFileName);
  out.append(",\"CoordinateSystem\":\"WCS\",\"Settings\":{\"IgnoreLengthThreshold\":");
  AppendJsonNumber(out, s.IgnoreLengthThreshold);
  out.append(",\"IgnoreLayerNames\":[");
  for (size_t i = 0; i < s.IgnoreLayerNames.size(); ++i) {
    if (i) out.push_back(',');
    AppendString(out, s.IgnoreLayerNames[i]);
  }
  out.append("],\"MaximumEntityLevel\":");
  out.append(std::to_string(s.MaximumEntityLevel));
  out.append(",\"AxisCoordinateTolerance\":");
  AppendJsonNumber(out, s.AxisCoordinateTolerance);
  out.append(",\"LineComparisonTolerance\":");
  AppendJsonNumber(out, s.LineComparisonTolerance);
  out.append(",\"EndpointKeyDecimalPlaces\":");
  out.append(std::to_string(s.EndpointKeyDecimalPlaces));
  out.append(",\"EndpointKeyCulture\":");
  AppendString(out, s.EndpointKeyCulture);
  out.append(",\"OrthogonalBlockRotationToleranceDegrees\":");
  AppendJsonNumber(out, s.OrthogonalBlockRotationToleranceDegrees);
  out.append(",\"SimilarBoundsRelativeTolerance\":");
  AppendJsonNumber(out, s.SimilarBoundsRelativeTolerance);
  out.append(",\"MinimumPolylineVertexCount\":");
  out.append(std::to_string(s.MinimumPolylineVertexCount));
  out.append(",\"MaximumPolylineVertexCount\":");
  out.append(std::to_string(s.MaximumPolylineVertexCount));
  out.append("},\"RecognitionInput\":{\"HorizontalLines\":");
  AppendLines(out, input.HorizontalLines);
  out.append(",\"VerticalLines\":");
  AppendLines(out, input.VerticalLines);
  out.append(",\"PolylineBounds\":[");
  for (size_t i = 0; i < input.PolylineBounds.size(); ++i) {
    if (i) out.push_back(',');
    out.append("{\"MinPoint\":");
    AppendPoint(out, input.PolylineBounds[i].MinPoint);
    out.append(",\"MaxPoint\":");
    AppendPoint(out, input.PolylineBounds[i].MaxPoint);
    out.push_back('}');
  }
  out.append("]}}");
  return out;
}

}  // namespace OrvikFrameRecognition
