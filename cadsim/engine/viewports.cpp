// The current viewport of the current drawing, as the host's editor knows it.
#include "cadsim/control/content.h"
#include "cadsim/engine/database_state.h"
#include "cadsim/engine/host_calls.h"
#include "cadsim/engine/session_state.h"

namespace cadsim {

void setActiveViewport(AcDbDatabase* db, AcDbObjectId viewport) {
  if (db) db->data().activeViewport = viewport;
}

}  // namespace cadsim

AcDbObjectId acedGetCurViewportObjectId() {
  cadsim::requireMainThread("acedGetCurViewportObjectId");
  if (cadsim::hostCallAnswersNull("acedGetCurViewportObjectId")) return AcDbObjectId();
  AcDbDatabase* db = cadsim::currentDatabase();
  if (!db) return AcDbObjectId();
  auto* layout = cadsim::peek<AcDbLayout>(db->data().currentLayout);
  if (!layout || layout->modelTypeValue()) return AcDbObjectId();
  const AcDbObjectId entered = db->data().activeViewport;
  auto* viewport = cadsim::peek<AcDbViewport>(entered);
  // A viewport erased since, or one of another layout, leaves the user in paper space.
  if (viewport && !viewport->objectState().erased &&
      viewport->objectState().owner == layout->blockRecordValue())
    return entered;
  return db->paperSpaceVportId();
}
