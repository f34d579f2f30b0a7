#include "cadsim/dxf/dxf_reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <new>
#include <unordered_map>
#include <utility>
#include <vector>

#include "cadsim/dxf/dxf_pairs.h"
#include "cadsim/dxf/dxf_text.h"

namespace cadsim::dxf {
namespace {

// Thrown inside the reader only; ReadText turns it into a kMalformed result.
struct MalformedInput {
  size_t line;
  std::string message;
};

// One record: the pair with code 0 that names its type and every pair up to the next code 0.
struct Record {
  std::string_view type;
  size_t line = 0;
  std::vector<RawPair> pairs;
};

struct Reader {
  PairCursor cursor;
  RawPair lookahead;
  bool hasLookahead = false;
  bool atEnd = false;
  size_t lastLine = 0;
  TextDecoding decoding;
  Drawing drawing;
};

[[noreturn]] void Malformed(size_t line, std::string message) {
  throw MalformedInput{line, std::move(message)};
}

const RawPair* Peek(Reader& r) {
  if (r.hasLookahead) return &r.lookahead;
  if (r.atEnd) return nullptr;
  switch (NextPair(r.cursor, r.lookahead)) {
    case PairStatus::kPair:
      r.hasLookahead = true;
      r.lastLine = r.lookahead.line;
      return &r.lookahead;
    case PairStatus::kEnd:
      r.atEnd = true;
      return nullptr;
    case PairStatus::kError:
      break;
  }
  Malformed(r.cursor.errorLine, r.cursor.error);
}

RawPair Take(Reader& r) {
  const RawPair* next = Peek(r);
  if (next == nullptr) Malformed(r.cursor.nextLine, "the file ends in the middle of the drawing");
  r.hasLookahead = false;
  return *next;
}

// Reads the record that starts at the current pair (which has code 0).
Record TakeRecord(Reader& r) {
  const RawPair head = Take(r);
  Record record;
  record.type = head.value;
  record.line = head.line;
  for (const RawPair* next = Peek(r); next != nullptr && next->code != 0; next = Peek(r)) {
    record.pairs.push_back(Take(r));
  }
  return record;
}

// ---- values ------------------------------------------------------------------------------------

std::string Decode(const Reader& r, std::string_view raw) { return DecodeText(raw, r.decoding); }

double Real(const RawPair& p) {
  double value = 0;
  ParseDouble(p.value, value);  // the cursor has checked numeric codes
  return value;
}

int Int(const RawPair& p) {
  int64_t value = 0;
  if (!ParseInteger(p.value, value)) {
    // A text code used where a number is expected (R12 writers are loose); read what is there.
    double real = 0;
    if (!ParseDouble(p.value, real)) return 0;
    value = real >= 9.2e18 ? std::numeric_limits<int64_t>::max()
            : real <= -9.2e18 ? std::numeric_limits<int64_t>::min()
                              : static_cast<int64_t>(real);
  }
  return static_cast<int>(std::clamp<int64_t>(value, std::numeric_limits<int>::min(),
                                              std::numeric_limits<int>::max()));
}

Handle MakeHandle(std::string_view text) {
  Handle handle;
  handle.text = std::string(Trim(text));
  if (!ParseHandle(handle.text, handle.value)) handle.value = 0;
  return handle;
}

// Sets x, y or z of `point` for the codes base, base + 10 and base + 20. False for other codes.
bool SetCoordinate(Point3& point, const RawPair& p, int base) {
  if (p.code == base) {
    point.x = Real(p);
  } else if (p.code == base + 10) {
    point.y = Real(p);
  } else if (p.code == base + 20) {
    point.z = Real(p);
  } else {
    return false;
  }
  return true;
}

Group MakeGroup(const Reader& r, const RawPair& p) {
  Group group;
  group.code = p.code;
  group.value = KindOfCode(p.code) == ValueKind::kText ? Decode(r, p.value) : std::string(p.value);
  return group;
}

// ---- data every record may carry ---------------------------------------------------------------

struct Walk {
  std::string_view subclass;  // the last 100 marker
  std::string_view group;     // inside a 102 {NAME ... } group
  bool embedded = false;      // after a 101 marker
  bool inXData = false;
  int handleCode = 5;
};

// Takes the pairs that mean the same in every record; false for the record's own pairs.
bool TakeCommon(const Reader& r, ObjectBase& object, Walk& walk, const RawPair& p) {
  if (p.code >= 1000) {
    if (p.code == 1001) {
      object.xdata.push_back(XData{Decode(r, p.value), {}});
      walk.inXData = true;
    } else if (walk.inXData) {
      object.xdata.back().groups.push_back(MakeGroup(r, p));
    }
    return true;
  }
  walk.inXData = false;
  if (p.code == 102) {
    const std::string_view marker = Trim(p.value);
    if (!marker.empty() && marker.front() == '{') {
      walk.group = Trim(marker.substr(1));
    } else {
      walk.group = {};
    }
    return true;
  }
  if (!walk.group.empty()) {
    // Reactors and application groups: only the extension dictionary matters here.
    if (walk.group == "ACAD_XDICTIONARY" && p.code == 360) object.extensionDictionary = MakeHandle(p.value);
    return true;
  }
  if (p.code == 100) {
    walk.subclass = Trim(p.value);
    return true;
  }
  if (p.code == 101) {
    walk.embedded = true;
    return true;
  }
  if (walk.embedded) return false;
  if (p.code == walk.handleCode) {
    object.handle = MakeHandle(p.value);
    return true;
  }
  if (p.code == 330 && object.owner.text.empty() &&
      (walk.subclass.empty() || walk.subclass == "AcDbEntity")) {
    object.owner = MakeHandle(p.value);
    return true;
  }
  return false;
}

void StartObject(ObjectBase& object, const Record& record) {
  object.type = std::string(record.type);
  object.line = record.line;
}

// ---- entities ----------------------------------------------------------------------------------

void ReadLinePair(Line& line, const RawPair& p) {
  if (SetCoordinate(line.start, p, 10) || SetCoordinate(line.end, p, 11) ||
      SetCoordinate(line.extrusion, p, 210)) {
    return;
  }
  if (p.code == 39) line.thickness = Real(p);
}

void ReadCirclePair(Circle& c, const RawPair& p) {
  if (SetCoordinate(c.center, p, 10) || SetCoordinate(c.extrusion, p, 210)) return;
  if (p.code == 40) c.radius = Real(p);
  if (p.code == 50) c.startAngle = Real(p);
  if (p.code == 51) c.endAngle = Real(p);
}

void ReadLwPolylinePair(Polyline& pl, const RawPair& p) {
  Vertex* last = pl.vertices.empty() ? nullptr : &pl.vertices.back();
  switch (p.code) {
    case 10:
      pl.vertices.emplace_back();
      pl.vertices.back().point.x = Real(p);
      pl.vertices.back().point.z = pl.elevation;
      break;
    case 20:
      if (last != nullptr) last->point.y = Real(p);
      break;
    case 40:
      if (last != nullptr) last->startWidth = Real(p);
      break;
    case 41:
      if (last != nullptr) last->endWidth = Real(p);
      break;
    case 42:
      if (last != nullptr) last->bulge = Real(p);
      break;
    case 70:
      pl.flags = Int(p);
      pl.closed = (pl.flags & 1) != 0;
      break;
    case 38:
      pl.elevation = Real(p);
      for (Vertex& v : pl.vertices) v.point.z = pl.elevation;
      break;
    case 39:
      pl.thickness = Real(p);
      break;
    case 43:
      pl.constantWidth = Real(p);
      break;
    default:
      SetCoordinate(pl.extrusion, p, 210);
      break;
  }
}

void ReadPolylinePair(Polyline& pl, const RawPair& p) {
  switch (p.code) {
    case 30:
      pl.elevation = Real(p);
      break;
    case 70:
      pl.flags = Int(p);
      pl.closed = (pl.flags & 1) != 0;
      break;
    case 39:
      pl.thickness = Real(p);
      break;
    case 40:
      pl.constantWidth = Real(p);
      break;
    default:
      SetCoordinate(pl.extrusion, p, 210);
      break;
  }
}

void ReadVertexPair(Vertex& v, const RawPair& p) {
  if (SetCoordinate(v.point, p, 10)) return;
  switch (p.code) {
    case 40:
      v.startWidth = Real(p);
      break;
    case 41:
      v.endWidth = Real(p);
      break;
    case 42:
      v.bulge = Real(p);
      break;
    case 70:
      v.flags = Int(p);
      break;
    default:
      break;
  }
}

void ReadInsertPair(const Reader& r, Insert& insert, const RawPair& p) {
  if (SetCoordinate(insert.position, p, 10) || SetCoordinate(insert.extrusion, p, 210)) return;
  switch (p.code) {
    case 2:
      insert.blockName = Decode(r, Trim(p.value));
      break;
    case 41:
      insert.scale.x = Real(p);
      break;
    case 42:
      insert.scale.y = Real(p);
      break;
    case 43:
      insert.scale.z = Real(p);
      break;
    case 44:
      insert.columnSpacing = Real(p);
      break;
    case 45:
      insert.rowSpacing = Real(p);
      break;
    case 50:
      insert.rotation = Real(p);
      break;
    case 66:
      insert.attributesFollow = Int(p) != 0;
      break;
    case 70:
      insert.columnCount = Int(p);
      break;
    case 71:
      insert.rowCount = Int(p);
      break;
    default:
      break;
  }
}

// ATTRIB and ATTDEF. `mtextRaw` gathers the embedded multi-line content, decoded once at the end
// because its chunks may split a character.
void ReadAttributePair(const Reader& r, Attribute& a, const Walk& walk, const RawPair& p,
                       std::string& mtextRaw) {
  if (walk.embedded) {
    if (p.code == 1 || p.code == 3) {
      mtextRaw.append(p.value);
      a.multiline = true;
    }
    return;
  }
  // Codes 70 and 71 mean other things in the text part and in a trailing AcDbXrecord.
  const bool attributePart = walk.subclass.empty() || walk.subclass == "AcDbAttribute" ||
                             walk.subclass == "AcDbAttributeDefinition";
  if (walk.subclass == "AcDbXrecord") return;
  if (SetCoordinate(a.position, p, 10) || SetCoordinate(a.alignment, p, 11)) return;
  switch (p.code) {
    case 1:
      a.text = Decode(r, p.value);
      break;
    case 2:
      a.tag = Decode(r, Trim(p.value));
      break;
    case 3:
      a.prompt = Decode(r, p.value);
      break;
    case 7:
      a.style = Decode(r, Trim(p.value));
      break;
    case 40:
      a.height = Real(p);
      break;
    case 50:
      a.rotation = Real(p);
      break;
    case 41:
      a.widthFactor = Real(p);
      break;
    case 72:
      a.horizontalAlignment = Int(p);
      break;
    case 74:
      a.verticalAlignment = Int(p);
      break;
    case 70:
      if (attributePart) a.flags = Int(p);
      break;
    case 71:
      // 2: multi-line attribute, 4: multi-line attribute definition.
      if (attributePart && !walk.subclass.empty() && (Int(p) == 2 || Int(p) == 4)) a.multiline = true;
      break;
    default:
      break;
  }
}

void ReadTextPair(const Reader& r, dxf::Text& t, const RawPair& p) {
  if (SetCoordinate(t.position, p, 10) || SetCoordinate(t.alignment, p, 11)) return;
  switch (p.code) {
    case 1:
      t.text = Decode(r, p.value);
      break;
    case 7:
      t.style = Decode(r, Trim(p.value));
      break;
    case 40:
      t.height = Real(p);
      break;
    case 41:
      t.widthFactor = Real(p);
      break;
    case 50:
      t.rotation = Real(p);
      break;
    case 72:
      t.horizontalAlignment = Int(p);
      break;
    case 73:
      t.verticalAlignment = Int(p);
      break;
    default:
      break;
  }
}

void ReadMTextPair(const Reader& r, MText& m, const RawPair& p, std::string& raw) {
  if (SetCoordinate(m.position, p, 10) || SetCoordinate(m.direction, p, 11)) return;
  switch (p.code) {
    case 1:
    case 3:
      raw.append(p.value);
      break;
    case 7:
      m.style = Decode(r, Trim(p.value));
      break;
    case 40:
      m.height = Real(p);
      break;
    case 41:
      m.referenceWidth = Real(p);
      break;
    case 50:
      m.rotation = Real(p);
      break;
    case 71:
      m.attachment = Int(p);
      break;
    default:
      break;
  }
}

void ReadViewportPair(Viewport& v, const RawPair& p) {
  if (SetCoordinate(v.center, p, 10) || SetCoordinate(v.viewCenter, p, 12) ||
      SetCoordinate(v.viewDirection, p, 16) || SetCoordinate(v.viewTarget, p, 17)) {
    return;
  }
  switch (p.code) {
    case 40:
      v.width = Real(p);
      break;
    case 41:
      v.height = Real(p);
      break;
    case 45:
      v.viewHeight = Real(p);
      break;
    case 51:
      v.twist = Real(p);
      break;
    case 68:
      v.status = Int(p);
      break;
    case 69:
      v.id = Int(p);
      break;
    case 90:
      v.statusFlags = Int(p);
      break;
    case 331:
      v.frozenLayers.push_back(MakeHandle(p.value));
      break;
    default:
      break;
  }
}

// R12 viewports keep their view in the "ACAD" extended data that begins with "MVIEW": after the
// version come target and direction (1010), then twist, view height, view centre x and y (1040);
// frozen layers are the 1003 names.
void ReadR12ViewportData(const std::vector<XData>& xdata, Viewport& v) {
  for (const XData& x : xdata) {
    if (x.application != "ACAD" || x.groups.empty() || x.groups.front().value != "MVIEW") continue;
    int reals = 0;
    int points = 0;
    for (const Group& g : x.groups) {
      double value = 0;
      ParseDouble(g.value, value);
      if (g.code == 1010 || g.code == 1020 || g.code == 1030) {
        if (g.code == 1010) ++points;
        Point3& target = points <= 1 ? v.viewTarget : v.viewDirection;
        if (points <= 2) (g.code == 1010 ? target.x : g.code == 1020 ? target.y : target.z) = value;
      } else if (g.code == 1040) {
        if (reals == 0) v.twist = value;
        if (reals == 1) v.viewHeight = value;
        if (reals == 2) v.viewCenter.x = value;
        if (reals == 3) v.viewCenter.y = value;
        ++reals;
      } else if (g.code == 1003) {
        v.frozenLayerNames.push_back(g.value);
      }
    }
  }
}

Entity ParseEntity(const Reader& r, const Record& record) {
  Entity e;
  StartObject(e, record);
  Walk walk;
  const std::string_view type = record.type;
  if (type == "LINE") {
    e.data = Line{};
  } else if (type == "LWPOLYLINE" || type == "POLYLINE") {
    e.data = Polyline{};
  } else if (type == "INSERT") {
    e.data = Insert{};
  } else if (type == "ATTRIB" || type == "ATTDEF") {
    e.data = Attribute{};
  } else if (type == "TEXT") {
    e.data = dxf::Text{};
  } else if (type == "MTEXT") {
    e.data = MText{};
  } else if (type == "VIEWPORT") {
    e.data = Viewport{};
  } else if (type == "CIRCLE" || type == "ARC") {
    Circle c;
    c.arc = type == "ARC";
    e.data = c;
  }
  std::string raw;  // multi-line content gathered across chunks
  for (const RawPair& p : record.pairs) {
    if (TakeCommon(r, e, walk, p)) continue;
    if (!walk.embedded) {
      bool common = true;
      switch (p.code) {
        case 8:
          e.layer = Decode(r, Trim(p.value));
          break;
        case 6:
          e.linetype = Decode(r, Trim(p.value));
          break;
        case 62:
          e.color = Int(p);
          break;
        case 370:
          e.lineWeight = Int(p);
          break;
        case 48:
          e.linetypeScale = Real(p);
          break;
        case 67:
          e.paperSpace = Int(p) != 0;
          break;
        case 60:
          e.visible = Int(p) == 0;
          break;
        default:
          common = false;
          break;
      }
      if (common) continue;
    }
    if (auto* line = std::get_if<Line>(&e.data)) {
      ReadLinePair(*line, p);
    } else if (auto* pl = std::get_if<Polyline>(&e.data)) {
      if (type == "LWPOLYLINE") {
        ReadLwPolylinePair(*pl, p);
      } else {
        ReadPolylinePair(*pl, p);
      }
    } else if (auto* insert = std::get_if<Insert>(&e.data)) {
      ReadInsertPair(r, *insert, p);
    } else if (auto* attribute = std::get_if<Attribute>(&e.data)) {
      ReadAttributePair(r, *attribute, walk, p, raw);
    } else if (auto* text = std::get_if<dxf::Text>(&e.data)) {
      ReadTextPair(r, *text, p);
    } else if (auto* mtext = std::get_if<MText>(&e.data)) {
      if (!walk.embedded) ReadMTextPair(r, *mtext, p, raw);  // embedded: column data
    } else if (auto* circle = std::get_if<Circle>(&e.data)) {
      ReadCirclePair(*circle, p);
    } else if (auto* viewport = std::get_if<Viewport>(&e.data)) {
      ReadViewportPair(*viewport, p);
    } else {
      e.groups.push_back(MakeGroup(r, p));
    }
  }
  if (auto* attribute = std::get_if<Attribute>(&e.data)) {
    attribute->mtext = Decode(r, raw);
  } else if (auto* mtext = std::get_if<MText>(&e.data)) {
    mtext->text = Decode(r, raw);
  } else if (auto* viewport = std::get_if<Viewport>(&e.data)) {
    if (walk.subclass.empty()) ReadR12ViewportData(e.xdata, *viewport);
  }
  return e;
}

// Adds entity records to a list, folding the ATTRIBs of a block reference and the VERTEXes of an
// old-style polyline into their owner up to the SEQEND.
struct EntityList {
  std::vector<Entity>* entities = nullptr;
  bool sequenceOpen = false;  // the last entity takes ATTRIB or VERTEX records
};

void AddEntity(const Reader& r, EntityList& list, const Record& record) {
  const std::string_view type = record.type;
  if (type == "SEQEND") {
    list.sequenceOpen = false;
    return;
  }
  Entity* owner = list.sequenceOpen ? &list.entities->back() : nullptr;
  if (owner != nullptr) {
    if (type == "ATTRIB") {
      if (auto* insert = std::get_if<Insert>(&owner->data)) {
        Entity attrib = ParseEntity(r, record);
        Attribute& attribute = std::get<Attribute>(attrib.data);
        attribute.handle = std::move(attrib.handle);
        attribute.layer = std::move(attrib.layer);
        attribute.visible = attrib.visible;
        insert->attributes.push_back(std::move(attribute));
        return;
      }
    } else if (type == "VERTEX") {
      if (auto* pl = std::get_if<Polyline>(&owner->data)) {
        Vertex vertex;
        vertex.point.z = pl->elevation;
        for (const RawPair& p : record.pairs) ReadVertexPair(vertex, p);
        pl->vertices.push_back(vertex);
        return;
      }
    }
  }
  // A sequence left without its SEQEND ends at the next entity of another kind.
  list.sequenceOpen = false;
  list.entities->push_back(ParseEntity(r, record));
  const Entity& added = list.entities->back();
  if (type == "POLYLINE") {
    list.sequenceOpen = true;
  } else if (const auto* insert = std::get_if<Insert>(&added.data)) {
    list.sequenceOpen = insert->attributesFollow;
  }
}

// ---- sections ----------------------------------------------------------------------------------

bool IsRecord(const RawPair* p, std::string_view type) {
  return p != nullptr && p->code == 0 && p->value == type;
}

// Checks that the next pair starts a record and that the section goes on.
void ExpectRecordInSection(Reader& r, std::string_view section) {
  const RawPair* next = Peek(r);
  if (next == nullptr) {
    Malformed(r.cursor.nextLine, "section " + std::string(section) + " is not closed by ENDSEC");
  }
  if (next->code != 0) {
    Malformed(next->line, "group code " + std::to_string(next->code) + " where a record of section " +
                              std::string(section) + " was expected");
  }
  if (next->value == "SECTION" || next->value == "EOF") {
    Malformed(next->line, "section " + std::string(section) + " is not closed by ENDSEC");
  }
}

void ReadHeader(Reader& r) {
  struct RawVariable {
    std::string_view name;
    std::vector<RawPair> values;
  };
  std::vector<RawVariable> raw;
  for (;;) {
    const RawPair* next = Peek(r);
    if (next == nullptr || (next->code == 0 && next->value != "ENDSEC")) {
      Malformed(next == nullptr ? r.cursor.nextLine : next->line, "section HEADER is not closed by ENDSEC");
    }
    const RawPair p = Take(r);
    if (p.code == 0) break;  // ENDSEC
    if (p.code == 9) {
      raw.push_back(RawVariable{Trim(p.value), {}});
    } else if (raw.empty()) {
      Malformed(p.line, "group code " + std::to_string(p.code) + " before the first header variable");
    } else {
      raw.back().values.push_back(p);
    }
  }
  Header& header = r.drawing.header;
  for (const RawVariable& v : raw) {
    if (v.values.empty()) continue;
    if (v.name == "$ACADVER") header.acadVersion = std::string(Trim(v.values.front().value));
    if (v.name == "$DWGCODEPAGE") header.codePage = std::string(Trim(v.values.front().value));
  }
  r.decoding = TextDecodingFor(header.acadVersion, header.codePage);
  for (const RawVariable& v : raw) {
    Header::Variable variable;
    variable.name = Decode(r, v.name);
    for (const RawPair& p : v.values) variable.values.push_back(MakeGroup(r, p));
    if (!v.values.empty()) {
      const RawPair& first = v.values.front();
      if (v.name == "$HANDSEED") header.handSeed = MakeHandle(first.value);
      if (v.name == "$INSUNITS") header.insUnits = Int(first);
      for (const RawPair& p : v.values) {
        if (v.name == "$EXTMIN") SetCoordinate(header.extMin, p, 10);
        if (v.name == "$EXTMAX") SetCoordinate(header.extMax, p, 10);
      }
    }
    header.variables.push_back(std::move(variable));
  }
}

void ReadLayerRecord(const Reader& r, Drawing& d, const Record& record) {
  Layer layer;
  StartObject(layer, record);
  Walk walk;
  for (const RawPair& p : record.pairs) {
    if (TakeCommon(r, layer, walk, p)) continue;
    switch (p.code) {
      case 2:
        layer.name = Decode(r, Trim(p.value));
        break;
      case 70:
        layer.flags = Int(p);
        break;
      case 62:
        layer.color = Int(p);
        break;
      case 6:
        layer.linetype = Decode(r, Trim(p.value));
        break;
      case 290:
        layer.plot = Int(p) != 0;
        break;
      case 370:
        layer.lineWeight = Int(p);
        break;
      default:
        break;
    }
  }
  layer.on = layer.color >= 0;
  layer.frozen = (layer.flags & 1) != 0;
  layer.locked = (layer.flags & 4) != 0;
  d.layers.push_back(std::move(layer));
}

void ReadStyleRecord(const Reader& r, Drawing& d, const Record& record) {
  TextStyle style;
  StartObject(style, record);
  Walk walk;
  for (const RawPair& p : record.pairs) {
    if (TakeCommon(r, style, walk, p)) continue;
    switch (p.code) {
      case 2:
        style.name = Decode(r, Trim(p.value));
        break;
      case 70:
        style.flags = Int(p);
        break;
      case 40:
        style.fixedHeight = Real(p);
        break;
      case 41:
        style.widthFactor = Real(p);
        break;
      case 42:
        style.lastHeight = Real(p);
        break;
      case 50:
        style.obliqueAngle = Real(p);
        break;
      case 71:
        style.generationFlags = Int(p);
        break;
      case 3:
        style.fontFile = Decode(r, Trim(p.value));
        break;
      case 4:
        style.bigFontFile = Decode(r, Trim(p.value));
        break;
      default:
        break;
    }
  }
  d.textStyles.push_back(std::move(style));
}

void ReadBlockRecordRecord(const Reader& r, Drawing& d, const Record& record) {
  BlockRecord br;
  StartObject(br, record);
  Walk walk;
  for (const RawPair& p : record.pairs) {
    if (TakeCommon(r, br, walk, p)) continue;
    if (p.code == 2) br.name = Decode(r, Trim(p.value));
    if (p.code == 340) br.layout = MakeHandle(p.value);
    if (p.code == 70) br.insertUnits = Int(p);
  }
  d.blockRecords.push_back(std::move(br));
}

void ReadOtherTableRecord(const Reader& r, Drawing& d, const Record& record, std::string_view table) {
  TableRecord tr;
  StartObject(tr, record);
  tr.table = std::string(table);
  Walk walk;
  // DIMSTYLE records carry their handle in 105; their 5 is an old dimension setting.
  if (record.type == "DIMSTYLE") walk.handleCode = 105;
  for (const RawPair& p : record.pairs) {
    if (TakeCommon(r, tr, walk, p)) continue;
    if (p.code == 2) tr.name = Decode(r, Trim(p.value));
    if (p.code == 70) tr.flags = Int(p);
    if (p.code == 49 && table == "LTYPE") tr.pattern.push_back(Real(p));
  }
  d.otherTableRecords.push_back(std::move(tr));
}

void ReadTables(Reader& r) {
  std::string_view table;
  for (;;) {
    ExpectRecordInSection(r, "TABLES");
    if (IsRecord(Peek(r), "ENDSEC")) {
      Take(r);
      return;
    }
    const Record record = TakeRecord(r);
    if (record.type == "TABLE") {
      table = {};
      for (const RawPair& p : record.pairs) {
        if (p.code == 2) {
          table = Trim(p.value);
          break;
        }
      }
    } else if (record.type == "ENDTAB") {
      table = {};
    } else if (record.type == "LAYER") {
      ReadLayerRecord(r, r.drawing, record);
    } else if (record.type == "STYLE") {
      ReadStyleRecord(r, r.drawing, record);
    } else if (record.type == "BLOCK_RECORD") {
      ReadBlockRecordRecord(r, r.drawing, record);
    } else {
      ReadOtherTableRecord(r, r.drawing, record, table.empty() ? record.type : table);
    }
  }
}

void ReadBlockBegin(const Reader& r, Block& block, const Record& record) {
  StartObject(block, record);
  Walk walk;
  for (const RawPair& p : record.pairs) {
    if (TakeCommon(r, block, walk, p)) continue;
    if (SetCoordinate(block.basePoint, p, 10)) continue;
    switch (p.code) {
      case 2:
        block.name = Decode(r, Trim(p.value));
        break;
      case 3:
        if (block.name.empty()) block.name = Decode(r, Trim(p.value));
        break;
      case 70:
        block.flags = Int(p);
        break;
      case 1:
        block.xrefPath = Decode(r, p.value);
        break;
      case 4:
        block.description = Decode(r, p.value);
        break;
      case 8:
        block.layer = Decode(r, Trim(p.value));
        break;
      default:
        break;
    }
  }
}

void ReadBlocks(Reader& r) {
  bool inBlock = false;
  EntityList list;
  for (;;) {
    ExpectRecordInSection(r, "BLOCKS");
    const RawPair* next = Peek(r);
    if (IsRecord(next, "ENDSEC")) {
      if (inBlock) Malformed(next->line, "block " + r.drawing.blocks.back().name + " is not closed by ENDBLK");
      Take(r);
      return;
    }
    const Record record = TakeRecord(r);
    if (record.type == "BLOCK") {
      if (inBlock) Malformed(record.line, "block " + r.drawing.blocks.back().name + " is not closed by ENDBLK");
      r.drawing.blocks.emplace_back();
      ReadBlockBegin(r, r.drawing.blocks.back(), record);
      list = EntityList{&r.drawing.blocks.back().entities, false};
      inBlock = true;
    } else if (record.type == "ENDBLK") {
      if (!inBlock) Malformed(record.line, "ENDBLK without a BLOCK");
      inBlock = false;
    } else if (!inBlock) {
      Malformed(record.line, "entity " + std::string(record.type) + " outside a block definition");
    } else {
      AddEntity(r, list, record);
    }
  }
}

void ReadEntities(Reader& r) {
  EntityList list{&r.drawing.entities, false};
  for (;;) {
    ExpectRecordInSection(r, "ENTITIES");
    if (IsRecord(Peek(r), "ENDSEC")) {
      Take(r);
      return;
    }
    AddEntity(r, list, TakeRecord(r));
  }
}

void ReadDictionary(const Reader& r, Drawing& d, const Record& record) {
  Dictionary dict;
  StartObject(dict, record);
  Walk walk;
  std::string pendingName;
  bool havePending = false;
  for (const RawPair& p : record.pairs) {
    if (TakeCommon(r, dict, walk, p)) continue;
    switch (p.code) {
      case 3:
        pendingName = Decode(r, p.value);
        havePending = true;
        break;
      case 350:
      case 360:
        if (havePending) dict.entries.push_back(Dictionary::Entry{std::move(pendingName), MakeHandle(p.value)});
        pendingName.clear();
        havePending = false;
        break;
      case 280:
        dict.hardOwner = Int(p) != 0;
        break;
      case 281:
        dict.mergeStyle = Int(p);
        break;
      default:
        break;
    }
  }
  d.dictionaries.push_back(std::move(dict));
}

void ReadPlotSettingsPair(const Reader& r, PlotSettings& ps, const RawPair& p) {
  switch (p.code) {
    case 1: ps.pageSetupName = Decode(r, p.value); break;
    case 2: ps.configName = Decode(r, p.value); break;
    case 4: ps.mediaName = Decode(r, p.value); break;
    case 6: ps.plotViewName = Decode(r, p.value); break;
    case 7: ps.styleSheet = Decode(r, p.value); break;
    case 40: ps.marginLeft = Real(p); break;
    case 41: ps.marginBottom = Real(p); break;
    case 42: ps.marginRight = Real(p); break;
    case 43: ps.marginTop = Real(p); break;
    case 44: ps.paperWidth = Real(p); break;
    case 45: ps.paperHeight = Real(p); break;
    case 46: ps.originX = Real(p); break;
    case 47: ps.originY = Real(p); break;
    case 48: ps.windowMinX = Real(p); break;
    case 49: ps.windowMinY = Real(p); break;
    case 140: ps.windowMaxX = Real(p); break;
    case 141: ps.windowMaxY = Real(p); break;
    case 142: ps.scaleNumerator = Real(p); break;
    case 143: ps.scaleDenominator = Real(p); break;
    case 147: ps.scaleFactor = Real(p); break;
    case 70: ps.flags = Int(p); break;
    case 72: ps.paperUnits = Int(p); break;
    case 73: ps.rotation = Int(p); break;
    case 74: ps.plotType = Int(p); break;
    case 75: ps.standardScaleType = Int(p); break;
    default: break;
  }
}

void ReadLayoutPair(const Reader& r, Layout& layout, const RawPair& p) {
  if (SetCoordinate(layout.limitsMin, p, 10) || SetCoordinate(layout.limitsMax, p, 11) ||
      SetCoordinate(layout.insertionBase, p, 12) || SetCoordinate(layout.extentsMin, p, 14) ||
      SetCoordinate(layout.extentsMax, p, 15)) {
    return;
  }
  switch (p.code) {
    case 1: layout.name = Decode(r, p.value); break;
    case 70: layout.flags = Int(p); break;
    case 71: layout.tabOrder = Int(p); break;
    case 330: layout.blockRecord = MakeHandle(p.value); break;
    case 331: layout.lastViewport = MakeHandle(p.value); break;
    default: break;
  }
}

void ReadLayout(const Reader& r, Drawing& d, const Record& record) {
  Layout layout;
  StartObject(layout, record);
  Walk walk;
  for (const RawPair& p : record.pairs) {
    if (TakeCommon(r, layout, walk, p)) continue;
    if (walk.subclass == "AcDbPlotSettings") {
      ReadPlotSettingsPair(r, layout.plot, p);
    } else if (walk.subclass == "AcDbLayout") {
      ReadLayoutPair(r, layout, p);
    }
  }
  layout.modelType = (layout.plot.flags & 1024) != 0;
  d.layouts.push_back(std::move(layout));
}

void ReadObjects(Reader& r) {
  bool first = true;
  for (;;) {
    ExpectRecordInSection(r, "OBJECTS");
    if (IsRecord(Peek(r), "ENDSEC")) {
      Take(r);
      return;
    }
    const Record record = TakeRecord(r);
    Drawing& d = r.drawing;
    if (record.type == "DICTIONARY" || record.type == "ACDBDICTIONARYWDFLT") {
      ReadDictionary(r, d, record);
      if (first) d.rootDictionary = d.dictionaries.back().handle;
    } else if (record.type == "LAYOUT") {
      ReadLayout(r, d, record);
    } else {
      Object object;
      StartObject(object, record);
      Walk walk;
      for (const RawPair& p : record.pairs) {
        if (!TakeCommon(r, object, walk, p)) object.groups.push_back(MakeGroup(r, p));
      }
      d.objects.push_back(std::move(object));
    }
    first = false;
  }
}

// Sections this reader does not use (CLASSES, THUMBNAILIMAGE, ACDSDATA...) may hold bare groups as
// well as records, so they are skipped pair by pair.
void SkipSection(Reader& r, std::string_view name) {
  for (;;) {
    const RawPair* next = Peek(r);
    if (next == nullptr || IsRecord(next, "SECTION") || IsRecord(next, "EOF")) {
      Malformed(next == nullptr ? r.cursor.nextLine : next->line,
                "section " + std::string(name) + " is not closed by ENDSEC");
    }
    const bool end = IsRecord(next, "ENDSEC");
    Take(r);
    if (end) return;
  }
}

// ---- links between records ---------------------------------------------------------------------

void LinkRecords(Drawing& d) {
  std::unordered_map<uint64_t, size_t> dictionaries;
  std::unordered_map<uint64_t, size_t> objects;
  for (size_t i = 0; i < d.dictionaries.size(); ++i) dictionaries.emplace(d.dictionaries[i].handle.value, i);
  for (size_t i = 0; i < d.objects.size(); ++i) objects.emplace(d.objects[i].handle.value, i);
  const auto entryOf = [&](const Handle& dictionary, std::string_view name) -> const Handle* {
    const auto found = dictionaries.find(dictionary.value);
    if (dictionary.IsNull() || found == dictionaries.end()) return nullptr;
    for (const Dictionary::Entry& entry : d.dictionaries[found->second].entries) {
      if (entry.name == name) return &entry.handle;
    }
    return nullptr;
  };
  const auto pointerOf = [&](const Handle& object) -> Handle {
    const auto found = objects.find(object.value);
    if (object.IsNull() || found == objects.end()) return {};
    for (const Group& g : d.objects[found->second].groups) {
      if (g.code == 340) return MakeHandle(g.value);
    }
    return {};
  };

  for (BlockRecord& br : d.blockRecords) {
    for (const XData& x : br.xdata) {
      if (x.application != "AcDbBlockRepBTag") continue;
      for (const Group& g : x.groups) {
        if (g.code == 1005) {
          br.dynamicBlockRecord = MakeHandle(g.value);
          break;
        }
      }
    }
    if (!br.dynamicBlockRecord.IsNull()) continue;
    // The newer form: {ACAD_XDICTIONARY -> "AcDbBlockRepresentation" -> "AcDbRepData" -> 340.
    const Handle* representation = entryOf(br.extensionDictionary, "AcDbBlockRepresentation");
    if (representation == nullptr) continue;
    if (const Handle* data = entryOf(*representation, "AcDbRepData")) {
      br.dynamicBlockRecord = pointerOf(*data);
    } else {
      br.dynamicBlockRecord = pointerOf(*representation);
    }
  }

  // A layout that does not name its space still is named by the space's record.
  for (Layout& layout : d.layouts) {
    if (!layout.blockRecord.IsNull()) continue;
    for (const BlockRecord& br : d.blockRecords) {
      if (!layout.handle.IsNull() && br.layout.value == layout.handle.value) {
        layout.blockRecord = br.handle;
        break;
      }
    }
  }
}

// ---- the file ----------------------------------------------------------------------------------

Result Failure(Status status, std::string message, size_t line = 0) {
  Result result;
  result.status = status;
  result.line = line;
  result.message = line > 0 ? "line " + std::to_string(line) + ": " + message : std::move(message);
  return result;
}

Result ReadDrawing(std::string_view text) {
  Reader r;
  r.cursor = MakePairCursor(text);
  // The first pair decides whether this is DXF at all.
  RawPair first;
  PairCursor probe = r.cursor;
  const PairStatus firstStatus = NextPair(probe, first);
  if (firstStatus == PairStatus::kEnd) return Failure(Status::kNotDxf, "the file is empty");
  if (firstStatus == PairStatus::kError) {
    if (probe.errorLine <= 1) return Failure(Status::kNotDxf, "the file does not begin with a DXF section");
    return Failure(Status::kMalformed, probe.error, probe.errorLine);
  }
  if (first.code != 0 || first.value != "SECTION") {
    return Failure(Status::kNotDxf, "the file does not begin with a DXF section");
  }

  for (;;) {
    const RawPair* next = Peek(r);
    if (next == nullptr) Malformed(r.cursor.nextLine, "the file ends without EOF");
    if (next->code == 0 && next->value == "EOF") break;
    if (next->code != 0 || next->value != "SECTION") {
      Malformed(next->line, "expected a SECTION, found group code " + std::to_string(next->code));
    }
    Take(r);
    const RawPair name = Take(r);
    if (name.code != 2) Malformed(name.line, "a SECTION without its name");
    const std::string_view section = Trim(name.value);
    if (section == "HEADER") {
      ReadHeader(r);
    } else if (section == "TABLES") {
      ReadTables(r);
    } else if (section == "BLOCKS") {
      ReadBlocks(r);
    } else if (section == "ENTITIES") {
      ReadEntities(r);
    } else if (section == "OBJECTS") {
      ReadObjects(r);
    } else {
      SkipSection(r, section);
    }
  }
  LinkRecords(r.drawing);
  Result result;
  result.drawing = std::move(r.drawing);
  return result;
}

}  // namespace

const char* StatusText(Status status) {
  switch (status) {
    case Status::kOk: return "ok";
    case Status::kFileNotFound: return "file not found";
    case Status::kNotDxf: return "not a DXF file";
    case Status::kMalformed: return "malformed DXF";
    case Status::kUnsupported: return "unsupported DXF";
  }
  return "unknown";
}

Result ReadText(std::string_view text) {
  if (text.size() > kMaxDxfFileBytes) return Failure(Status::kUnsupported, "the drawing is too large to read");
  constexpr std::string_view kBinarySentinel = "AutoCAD Binary DXF";
  if (text.substr(0, kBinarySentinel.size()) == kBinarySentinel) {
    return Failure(Status::kUnsupported, "binary DXF files are not supported");
  }
  if (text.substr(0, 4) == "AC10" || text.substr(0, 4) == "AC1.") {
    return Failure(Status::kNotDxf, "this is a DWG drawing, which cannot be read here");
  }
  try {
    return ReadDrawing(text);
  } catch (const MalformedInput& e) {
    return Failure(Status::kMalformed, e.message, e.line);
  } catch (const std::bad_alloc&) {
    return Failure(Status::kMalformed, "the drawing is too large to read");
  } catch (const std::exception& e) {
    return Failure(Status::kMalformed, e.what());
  }
}

Result ReadFile(const std::string& path) {
  try {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
      return Failure(Status::kFileNotFound, "cannot find " + path + ": " + std::strerror(errno));
    }
    if (S_ISDIR(info.st_mode)) return Failure(Status::kNotDxf, path + " is a folder");
    if (static_cast<uint64_t>(info.st_size) > kMaxDxfFileBytes) {
      return Failure(Status::kUnsupported, path + " is too large to read");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return Failure(Status::kFileNotFound, "cannot open " + path);
    std::string content;
    // Read in blocks up to the limit: the size seen above may change before the file is read.
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
      content.append(buffer, static_cast<size_t>(in.gcount()));
      if (content.size() > kMaxDxfFileBytes) return Failure(Status::kUnsupported, path + " is too large to read");
    }
    if (in.bad()) return Failure(Status::kMalformed, "cannot read " + path);
    return ReadText(content);
  } catch (const std::exception& e) {
    return Failure(Status::kMalformed, std::string("cannot read ") + path + ": " + e.what());
  }
}

}  // namespace cadsim::dxf
