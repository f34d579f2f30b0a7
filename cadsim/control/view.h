// The view of each space of each drawing: what VIEWDIR, TARGET, VIEWTWIST, VIEWCTR and VIEWSIZE
// answer and what acedSetCurrentView changes. A space never set shows the plan view.
#pragma once

#include "cadsim/sdk/acap.h"
#include "cadsim/sdk/acge.h"

namespace cadsim {

struct ViewState {
  AcGeVector3d direction{0, 0, 1};
  AcGePoint3d target;
  double twist = 0;
  AcGePoint2d center;
  double width = 0, height = 0;
  bool paperSpaceView = false;
};

// The view of the drawing's current space (model space, or the current paper layout's).
void setView(AcApDocument* doc, const ViewState& view);
ViewState currentView(AcApDocument* doc);

}  // namespace cadsim
