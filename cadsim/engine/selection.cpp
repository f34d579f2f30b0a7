// Selection sets and result-buffer lists of the simulated host's editor layer.
//
// A selection set is a snapshot of entity ids taken when acedSSGet runs; its name is a number
// the host hands out, and the set lives until acedSSFree, so a test can see sets left behind.
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "cadsim/engine/database_state.h"
#include "cadsim/engine/session_state.h"
#include "cadsim/engine/wildcard.h"

namespace cadsim {
namespace {

struct SelectionSets {
  Adesk::Int64 next = 1;
  std::map<Adesk::Int64, std::vector<AcDbObjectId>> sets;
  std::set<ObjectStub*> named;  // every entity handed out; its name outlives the set
};

SelectionSets& selections() {
  static SelectionSets* s = new SelectionSets();
  return *s;
}

// Entity names the host hands out for selected entities: the id's stub address, which stays
// valid for the whole process (stubs are never freed).
Adesk::Int64 entityName(AcDbObjectId id) {
  return static_cast<Adesk::Int64>(reinterpret_cast<std::uintptr_t>(id.stub()));
}

enum class ValueKind { String, Short, Long, Real, Point, Unknown };

ValueKind kindOf(int type) {
  if (type == RTSTR) return ValueKind::String;
  if (type == RTSHORT) return ValueKind::Short;
  if (type == RTLONG) return ValueKind::Long;
  if (type == RTREAL || type == RTANG) return ValueKind::Real;
  if (type == RTPOINT || type == RT3DPOINT) return ValueKind::Point;
  // Group codes (RTDXF0 stands for group 0).
  if (type >= 5000 && type != RTDXF0) return ValueKind::Unknown;
  int code = type == RTDXF0 ? 0 : type;
  if ((code >= 0 && code <= 9) || (code >= 100 && code <= 109) || (code >= 300 && code <= 369) ||
      (code >= 410 && code <= 419) || (code >= 1000 && code <= 1009))
    return ValueKind::String;
  if (code >= 10 && code <= 18) return ValueKind::Point;
  if (code >= 38 && code <= 59) return ValueKind::Real;
  if ((code >= 60 && code <= 79) || (code >= 270 && code <= 289)) return ValueKind::Short;
  if (code >= 90 && code <= 99) return ValueKind::Long;
  return ValueKind::Unknown;
}

// The group code a filter item stands for.
int groupCode(short restype) { return restype == RTDXF0 ? 0 : restype; }

const std::wstring& entityTypeName(const AcDbEntity* e) {
  static const std::wstring insert = L"INSERT", lwpolyline = L"LWPOLYLINE", line = L"LINE",
                            text = L"TEXT", mtext = L"MTEXT", attdef = L"ATTDEF",
                            viewport = L"VIEWPORT", other = L"";
  if (AcDbBlockReference::cast(e)) return insert;
  if (AcDbPolyline::cast(e)) return lwpolyline;
  if (AcDbLine::cast(e)) return line;
  if (AcDbAttributeDefinition::cast(e)) return attdef;
  if (AcDbText::cast(e)) return text;
  if (AcDbMText::cast(e)) return mtext;
  if (AcDbViewport::cast(e)) return viewport;
  return other;
}

// A layout name of the space an entity lies in ("Model" for model space).
std::wstring spaceLayoutName(const AcDbEntity* e) {
  auto* space = peek<AcDbBlockTableRecord>(e->objectState().owner);
  if (!space) return L"";
  auto* layout = peek<AcDbLayout>(space->getLayoutIdValue());
  return layout ? layoutName(layout->objectId()) : L"";
}

// Measures an entity that nobody may have open, as the host's selection does.
bool extentsOf(AcDbEntity* e, AcDbExtents& out) {
  e->objectState().readers++;
  Acad::ErrorStatus es = e->getGeomExtents(out);
  if (auto* ref = AcDbBlockReference::cast(e)) {
    for (AcDbObjectId id : ref->attributeIds()) {
      auto* att = peek<AcDbAttribute>(id);
      if (!att || att->isErased()) continue;
      AcDbExtents a;
      att->objectState().readers++;
      if (att->getGeomExtents(a) == Acad::eOk) {
        out.addExt(a);
        es = Acad::eOk;
      }
      att->objectState().readers--;
    }
  }
  e->objectState().readers--;
  return es == Acad::eOk && !out.isEmpty();
}

// Entities on layers that are off or frozen are not drawn, so a window cannot pick them.
bool shownOnScreen(AcDbEntity* e) {
  e->objectState().readers++;
  auto* layer = peek<AcDbLayerTableRecord>(e->layerId());
  e->objectState().readers--;
  if (!layer) return true;
  layer->objectState().readers++;
  const bool shown = !layer->isOff() && !layer->isFrozen();
  layer->objectState().readers--;
  return shown;
}

bool matchesFilter(const AcDbEntity* e, const resbuf* filter) {
  for (const resbuf* rb = filter; rb; rb = rb->rbnext) {
    const int code = groupCode(rb->restype);
    if (code != 0 && code != 410) continue;  // other groups are not filtered on here
    if (kindOf(rb->restype) != ValueKind::String || !rb->resval.rstring) return false;
    const std::wstring value = code == 0 ? entityTypeName(e) : spaceLayoutName(e);
    if (!filterStringMatches(rb->resval.rstring, value)) return false;
  }
  return true;
}

}  // namespace

bool filterStringMatches(const std::wstring& pattern, const std::wstring& value) {
  return wildcardMatches(pattern, value);
}

size_t liveSelectionSets() {
  requireMainThread("liveSelectionSets");
  return selections().sets.size();
}

void resetSelectionSets() {
  selections().sets.clear();
  selections().named.clear();
}

}  // namespace cadsim

using cadsim::requireMainThread;

struct resbuf* acutBuildList(int rtype, ...) {
  requireMainThread("acutBuildList");
  resbuf* head = nullptr;
  resbuf** tail = &head;
  va_list args;
  va_start(args, rtype);
  bool ok = true;
  // The host ends the list at 0 or at RTNONE, whichever the caller writes.
  for (int type = rtype; type != 0 && type != RTNONE && ok; type = va_arg(args, int)) {
    auto* rb = static_cast<resbuf*>(std::calloc(1, sizeof(resbuf)));
    if (!rb) {
      ok = false;
      break;
    }
    rb->restype = static_cast<short>(type);
    switch (cadsim::kindOf(type)) {
      case cadsim::ValueKind::String: {
        const ACHAR* text = va_arg(args, const ACHAR*);
        rb->resval.rstring = cadsim::mallocCopy(text ? text : L"");
        ok = rb->resval.rstring != nullptr;
        break;
      }
      case cadsim::ValueKind::Short:
        rb->resval.rint = static_cast<short>(va_arg(args, int));
        break;
      case cadsim::ValueKind::Long:
        rb->resval.rlong = va_arg(args, Adesk::Int32);
        break;
      case cadsim::ValueKind::Real:
        rb->resval.rreal = va_arg(args, double);
        break;
      case cadsim::ValueKind::Point: {
        const double* p = va_arg(args, const double*);
        if (p) std::memcpy(rb->resval.rpoint, p, sizeof(rb->resval.rpoint));
        break;
      }
      case cadsim::ValueKind::Unknown:
        ok = false;
        break;
    }
    *tail = rb;
    tail = &rb->rbnext;
  }
  va_end(args);
  if (!ok) {
    acutRelRb(head);
    return nullptr;
  }
  return head;
}

int acutRelRb(struct resbuf* rb) {
  while (rb) {
    resbuf* next = rb->rbnext;
    if (cadsim::kindOf(rb->restype) == cadsim::ValueKind::String) std::free(rb->resval.rstring);
    std::free(rb);
    rb = next;
  }
  return RTNORM;
}

int acedSSGet(const ACHAR* str, const void* pt1, const void* pt2, const struct resbuf* filter,
              ads_name ss) {
  requireMainThread("acedSSGet");
  int status = 0;
  if (cadsim::hostCallFails("acedSSGet", RTERROR, &status)) return status;
  if (!ss) return RTERROR;
  ss[0] = ss[1] = 0;
  AcDbDatabase* db = cadsim::currentDatabase();
  if (!db) return RTERROR;
  const std::wstring mode = cadsim::upper(str ? str : L"");
  std::vector<AcDbObjectId> spaces;
  AcDbExtents window;
  if (mode == L"W") {
    if (!pt1 || !pt2) return RTERROR;
    const double* a = static_cast<const double*>(pt1);
    const double* b = static_cast<const double*>(pt2);
    // Window selection looks at X and Y only.
    window.addPoint(AcGePoint3d(a[0], a[1], 0));
    window.addPoint(AcGePoint3d(b[0], b[1], 0));
    spaces.push_back(db->currentSpaceId());
  } else if (mode == L"X") {
    for (AcDbObjectId layout : cadsim::layoutIds(db))
      if (auto* l = cadsim::peek<AcDbLayout>(layout)) spaces.push_back(l->blockRecordValue());
  } else {
    return RTREJ;
  }
  std::vector<AcDbObjectId> chosen;
  for (AcDbObjectId spaceId : spaces) {
    auto* space = cadsim::peek<AcDbBlockTableRecord>(spaceId);
    if (!space) continue;
    for (AcDbObjectId id : space->entityIds()) {
      auto* e = cadsim::peek<AcDbEntity>(id);
      if (!e || e->isErased() || !cadsim::matchesFilter(e, filter)) continue;
      // A paper space's own viewport is the sheet, never something to pick.
      if (auto* vp = AcDbViewport::cast(e); vp && vp->numberValue == 1) continue;
      if (mode == L"W") {
        if (!cadsim::shownOnScreen(e)) continue;
        AcDbExtents box;
        if (!cadsim::extentsOf(e, box)) continue;
        const AcGePoint3d &lo = box.minPoint(), &hi = box.maxPoint();
        const AcGePoint3d &wlo = window.minPoint(), &whi = window.maxPoint();
        if (lo.x < wlo.x || lo.y < wlo.y || hi.x > whi.x || hi.y > whi.y) continue;
      }
      chosen.push_back(id);
    }
  }
  if (chosen.empty()) return RTERROR;
  cadsim::SelectionSets& s = cadsim::selections();
  for (AcDbObjectId id : chosen) s.named.insert(id.stub());
  const Adesk::Int64 name = s.next++;
  s.sets[name] = std::move(chosen);
  ss[0] = name;
  ss[1] = 0;
  return RTNORM;
}

int acedSSFree(const ads_name sname) {
  requireMainThread("acedSSFree");
  if (!sname) return RTERROR;
  return cadsim::selections().sets.erase(sname[0]) ? RTNORM : RTERROR;
}

int acedSSLength(const ads_name sname, Adesk::Int32* len) {
  requireMainThread("acedSSLength");
  if (!sname || !len) return RTERROR;
  auto& sets = cadsim::selections().sets;
  auto it = sets.find(sname[0]);
  if (it == sets.end()) return RTERROR;
  *len = static_cast<Adesk::Int32>(it->second.size());
  return RTNORM;
}

int acedSSName(const ads_name ss, Adesk::Int32 i, ads_name entres) {
  requireMainThread("acedSSName");
  if (!ss || !entres) return RTERROR;
  auto& sets = cadsim::selections().sets;
  auto it = sets.find(ss[0]);
  if (it == sets.end() || i < 0 || static_cast<size_t>(i) >= it->second.size()) return RTERROR;
  entres[0] = cadsim::entityName(it->second[static_cast<size_t>(i)]);
  entres[1] = 0;
  return RTNORM;
}

Acad::ErrorStatus acdbGetObjectId(AcDbObjectId& objId, const ads_name objName) {
  objId = AcDbObjectId();
  if (!objName || objName[0] == 0) return Acad::eInvalidInput;
  // Only names the host handed out are entity names; anything else is refused, not dereferenced.
  auto& named = cadsim::selections().named;
  auto it = named.find(reinterpret_cast<cadsim::ObjectStub*>(static_cast<std::uintptr_t>(objName[0])));
  if (it == named.end()) return Acad::eInvalidInput;
  AcDbObjectId id(*it);
  if (!id.database()) return Acad::eNotInDatabase;
  objId = id;
  return Acad::eOk;
}
