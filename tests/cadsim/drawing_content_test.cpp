// Drawing content made in code, as the readers of layouts, blocks and frames measure it:
// polyline lengths, extents through block transforms, layer states and viewports.
#include <gtest/gtest.h>

#include <cmath>

#include "cadsim/control.h"
#include "tests/cadsim/new_drawing_test.h"

namespace {

using DrawingContentTest = NewDrawingTest;

TEST_F(DrawingContentTest, PolylineLengthsAndExtents) {
  AcDbObjectId ms = cadsim::modelSpaceId(db);
  AcDbObjectId open = cadsim::addPolyline(db, ms, {{0, 0}, {30, 0}, {30, 40}}, false);
  AcDbObjectId closed = cadsim::addPolyline(db, ms, {{0, 0}, {30, 0}, {30, 40}}, true);
  struct Case {
    AcDbObjectId id;
    double endParam, length;
  } cases[] = {{open, 2, 70}, {closed, 3, 120}};
  for (const Case& c : cases) {
    AcDbPolyline* p = nullptr;
    ASSERT_EQ(acdbOpenObject(p, c.id, AcDb::kForRead), Acad::eOk);
    double end = 0, dist = 0;
    ASSERT_EQ(p->getEndParam(end), Acad::eOk);
    ASSERT_EQ(p->getDistAtParam(end, dist), Acad::eOk);
    EXPECT_DOUBLE_EQ(end, c.endParam);
    EXPECT_DOUBLE_EQ(dist, c.length);
    AcDbExtents e;
    ASSERT_EQ(p->getGeomExtents(e), Acad::eOk);
    EXPECT_EQ(e.maxPoint(), AcGePoint3d(30, 40, 0));
    p->close();
  }
  AcDbPolyline empty;
  AcDbExtents e;
  EXPECT_EQ(empty.getGeomExtents(e), Acad::eInvalidExtents);  // 312: callers drop such polylines

  // A half circle (bulge 1) from (0,0) to (2,0) is pi long.
  AcDbPolyline arc;
  arc.addVertexAt(0, AcGePoint2d(0, 0), 1.0);
  arc.addVertexAt(1, AcGePoint2d(2, 0));
  double dist = 0;
  ASSERT_EQ(arc.getDistAtParam(1, dist), Acad::eOk);
  EXPECT_NEAR(dist, M_PI, 1e-12);
}

TEST_F(DrawingContentTest, BlockTransformPlacesDefinitionGeometry) {
  AcDbObjectId def = cadsim::addBlockDefinition(db, "BOX");
  cadsim::addLine(db, def, AcGePoint3d(0, 0, 0), AcGePoint3d(10, 5, 0));
  AcDbObjectId ref = cadsim::addBlockReference(db, cadsim::modelSpaceId(db), def, AcGePoint3d(100, 50, 0));
  AcDbBlockReference* br = nullptr;
  ASSERT_EQ(acdbOpenObject(br, ref, AcDb::kForWrite), Acad::eOk);
  br->setRotation(M_PI / 2);
  br->setScaleFactors(AcGeScale3d(2, 2, 1));
  AcDbExtents e;  // the definition's corner (10, 5) turned a quarter, doubled and moved
  ASSERT_EQ(br->getGeomExtents(e), Acad::eOk);
  EXPECT_NEAR(e.minPoint().x, 90, 1e-9);
  EXPECT_NEAR(e.maxPoint().y, 70, 1e-9);
  br->close();
}

TEST_F(DrawingContentTest, LayersAndViewportsKeepTheirStates) {
  AcDbObjectId frozen = cadsim::addLayer(db, "FROZEN", {false, true, false, false});
  AcDbObjectId hidden = cadsim::addLayer(db, "HIDDEN", {false, false, true, true});
  EXPECT_TRUE(cadsim::addLayer(db, "hidden").isNull());  // names are unique without letter case
  AcDbLayerTableRecord* rec = nullptr;
  ASSERT_EQ(acdbOpenObject(rec, hidden, AcDb::kForRead), Acad::eOk);
  EXPECT_TRUE(rec->isHidden() && rec->isLocked() && !rec->isOff() && !rec->isFrozen());
  rec->close();
  AcDbObjectId paper = cadsim::layoutSpaceId(db, "Layout1");
  AcDbObjectId vp = cadsim::addViewport(db, paper, AcGePoint3d(100, 100, 0), 200, 150, {"FROZEN"});
  ASSERT_FALSE(vp.isNull());
  EXPECT_TRUE(cadsim::addViewport(db, paper, AcGePoint3d(), 1, 1, {"NO SUCH"}).isNull());

  AcDbViewport* v = nullptr;
  ASSERT_EQ(acdbOpenObject(v, vp, AcDb::kForRead), Acad::eOk);
  EXPECT_TRUE(v->isLayerFrozenInViewport(frozen));
  v->close();
}

}  // namespace
