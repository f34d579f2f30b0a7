// The view of each space of each drawing: the view variables, acedSetCurrentView and the view
// controls. A view belongs to the space, so switching layouts brings back that layout's view.
#include "cadsim/engine/database_state.h"
#include "cadsim/engine/session_state.h"

namespace cadsim {
namespace {

AcDbDatabase* databaseOfDoc(AcApDocument* doc) {
  DocumentData* d = dataOf(doc);
  return d ? d->database.get() : nullptr;
}

void put3d(resbuf* result, double x, double y, double z) {
  result->restype = RT3DPOINT;
  result->resval.rpoint[0] = x;
  result->resval.rpoint[1] = y;
  result->resval.rpoint[2] = z;
}

void putReal(resbuf* result, double value) {
  result->restype = RTREAL;
  result->resval.rreal = value;
}

}  // namespace

ViewState viewOf(AcDbDatabase* db) {
  if (!db) return ViewState();
  auto it = db->data().views.find(db->currentSpaceId());
  return it == db->data().views.end() ? ViewState() : it->second;
}

int getViewVariable(const std::wstring& name, resbuf* result, bool* handled) {
  *handled = true;
  AcDbDatabase* db = currentDatabase();
  if (name == L"CVPORT") {
    if (!db) return RTERROR;
    result->rbnext = nullptr;
    result->restype = RTSHORT;
    result->resval.rint = db->tilemode() ? 2 : 1;
    return RTNORM;
  }
  const bool viewVariable = name == L"VIEWDIR" || name == L"TARGET" || name == L"VIEWTWIST" ||
                            name == L"VIEWCTR" || name == L"VIEWSIZE";
  if (!viewVariable) {
    *handled = false;
    return RTERROR;
  }
  if (!db) return RTERROR;
  const ViewState v = viewOf(db);
  result->rbnext = nullptr;
  if (name == L"VIEWDIR") put3d(result, v.direction.x, v.direction.y, v.direction.z);
  else if (name == L"TARGET") put3d(result, v.target.x, v.target.y, v.target.z);
  else if (name == L"VIEWCTR") put3d(result, v.center.x, v.center.y, 0);
  else if (name == L"VIEWTWIST") putReal(result, v.twist);
  else putReal(result, v.height);
  return RTNORM;
}

void setView(AcApDocument* doc, const ViewState& view) {
  requireMainThread("setView");
  if (AcDbDatabase* db = databaseOfDoc(doc)) db->data().views[db->currentSpaceId()] = view;
}

ViewState currentView(AcApDocument* doc) {
  requireMainThread("currentView");
  return viewOf(databaseOfDoc(doc));
}

}  // namespace cadsim

Acad::ErrorStatus acedSetCurrentView(AcDbViewTableRecord* pVwRec, AcDbViewport*) {
  cadsim::requireMainThread("acedSetCurrentView");
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("acedSetCurrentView", Acad::eInvalidInput, &es)) return es;
  if (!pVwRec) return Acad::eNullObjectPointer;
  AcDbDatabase* db = cadsim::currentDatabase();
  if (!db) return Acad::eNoDocument;
  // A direction of zero length has no view plane; the host refuses it rather than guess one.
  if (pVwRec->viewDirection().isZeroLength(0)) return Acad::eInvalidInput;
  cadsim::ViewState v;
  v.direction = pVwRec->viewDirection();
  v.target = pVwRec->target();
  v.twist = pVwRec->viewTwist();
  v.center = pVwRec->centerPoint();
  v.width = pVwRec->width();
  v.height = pVwRec->height();
  v.paperSpaceView = pVwRec->isPaperspaceView();
  db->data().views[db->currentSpaceId()] = v;
  return Acad::eOk;
}
