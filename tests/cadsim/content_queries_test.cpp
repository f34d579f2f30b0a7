// What the drawing content queries rely on in the host: window selection with filters, the view of
// each space, and faults narrowed to the reads the queries make.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cadsim/control.h"
#include "tests/cadsim/new_drawing_test.h"

namespace {

using ContentQueriesTest = NewDrawingTest;

// Runs a selection and answers the handles it chose, in set order; the set is freed.
std::vector<std::string> Select(const ACHAR* mode, double x0, double y0, double x1, double y1,
                                resbuf* filter) {
  ads_point a = {x0, y0, 0}, b = {x1, y1, 0};
  ads_name ss = {0, 0};
  std::vector<std::string> out;
  if (acedSSGet(mode, a, b, filter, ss) != RTNORM) return out;
  Adesk::Int32 n = 0;
  EXPECT_EQ(acedSSLength(ss, &n), RTNORM);
  for (Adesk::Int32 i = 0; i < n; ++i) {
    ads_name e = {0, 0};
    AcDbObjectId id;
    EXPECT_EQ(acedSSName(ss, i, e), RTNORM);
    EXPECT_EQ(acdbGetObjectId(id, e), Acad::eOk);
    out.push_back(cadsim::handleText(id));
  }
  EXPECT_EQ(acedSSFree(ss), RTNORM);
  return out;
}

TEST_F(ContentQueriesTest, WindowSelectionTakesWhatLiesWhollyInsideAndMatchesTheFilter) {
  AcDbObjectId frame = cadsim::addBlockDefinition(db, "FRAME", {{"NO", "", false, false}});
  {
    AcDbObjectId def = frame;  // the definition's own geometry: a 20 x 10 box
    cadsim::addPolyline(db, def, {{0, 0}, {20, 0}, {20, 10}, {0, 10}}, true);
  }
  const AcDbObjectId model = cadsim::modelSpaceId(db);
  const std::string inside = cadsim::handleText(cadsim::addBlockReference(db, model, frame, {10, 10, 0}, {{"NO", "1"}}));
  const std::string crossing = cadsim::handleText(cadsim::addBlockReference(db, model, frame, {90, 10, 0}));
  const std::string outside = cadsim::handleText(cadsim::addBlockReference(db, model, frame, {500, 500, 0}));
  const std::string line = cadsim::handleText(cadsim::addLine(db, model, {1, 1, 0}, {2, 2, 0}));
  AcDbObjectId erased = cadsim::addBlockReference(db, model, frame, {40, 40, 0});
  cadsim::eraseObject(erased);
  cadsim::addLayer(db, "HIDDEN", {/*off*/ true, /*frozen*/ false, false, false});
  const std::string hidden = cadsim::handleText(cadsim::addBlockReference(db, model, frame, {60, 60, 0}, {}, "HIDDEN"));
  const AcDbObjectId paper = cadsim::layoutSpaceId(db, "Layout1");
  const std::string onPaper = cadsim::handleText(cadsim::addBlockReference(db, paper, frame, {10, 10, 0}));
  (void)outside;

  resbuf* inserts = acutBuildList(RTDXF0, L"INSERT", 0);
  resbuf* lines = acutBuildList(RTDXF0, L"line,Circle", 0);  // alternatives, any letter case
  resbuf* onLayout1 = acutBuildList(410, L"layout1", RTNONE);  // the host ends a list at 0 or RTNONE
  struct Row {
    const ACHAR* mode;
    resbuf* filter;
    std::vector<std::string> chosen;
  } rows[] = {
      {L"W", inserts, {inside}},  // the crossing, outside, erased and hidden references are left out
      {L"W", lines, {line}},
      {L"W", nullptr, {inside, line}},
      {L"X", inserts, {inside, crossing, outside, hidden, onPaper}},  // the whole drawing, no window
      {L"X", onLayout1, {onPaper}},
  };
  for (const Row& row : rows) EXPECT_EQ(Select(row.mode, 0, 0, 100, 100, row.filter), row.chosen);
  EXPECT_EQ(Select(L"W", 200, 200, 300, 300, inserts), std::vector<std::string>());  // RTERROR

  // In a paper layout the window looks at that layout's space only.
  cadsim::typeLine("(setvar \"CTAB\" \"Layout1\")");
  EXPECT_EQ(Select(L"W", 100, 100, 0, 0, inserts), std::vector<std::string>{onPaper});  // corners any way round

  ads_name ss = {0, 0};
  ads_point a = {0, 0, 0}, b = {100, 100, 0};
  EXPECT_EQ(acedSSGet(L"C", a, b, nullptr, ss), RTREJ);
  ASSERT_EQ(acedSSGet(L"W", a, b, inserts, ss), RTNORM);
  EXPECT_EQ(cadsim::liveSelectionSets(), 1u);
  EXPECT_EQ(acedSSFree(ss), RTNORM);
  EXPECT_EQ(acedSSFree(ss), RTERROR);  // freed once only
  EXPECT_EQ(cadsim::liveSelectionSets(), 0u);
  ads_name forged = {12345, 0};
  AcDbObjectId id;
  EXPECT_EQ(acdbGetObjectId(id, forged), Acad::eInvalidInput);
  for (resbuf* rb : {inserts, lines, onLayout1}) acutRelRb(rb);
}

// Each space keeps its own view: a plot moves the view of the space it plots, and the other must
// be as it was. (The view variables the plug-in reads are the plot view tests'.)
TEST_F(ContentQueriesTest, ViewsBelongToTheSpace) {
  AcDbViewTableRecord view;
  view.setViewDirection(AcGeVector3d(1, -1, 1));
  view.setTarget(AcGePoint3d(5, 6, 7));
  ASSERT_EQ(acedSetCurrentView(&view, nullptr), Acad::eOk);
  cadsim::typeLine("(setvar \"CTAB\" \"Layout1\")");  // a paper space never set shows the plan view
  EXPECT_EQ(cadsim::currentView(doc).direction, AcGeVector3d(0, 0, 1));
  cadsim::typeLine("(setvar \"CTAB\" \"Model\")");
  EXPECT_EQ(cadsim::currentView(doc).target, AcGePoint3d(5, 6, 7));
  view.setViewDirection(AcGeVector3d(0, 0, 0));
  EXPECT_EQ(acedSetCurrentView(&view, nullptr), Acad::eInvalidInput);
  EXPECT_EQ(acedSetCurrentView(nullptr, nullptr), Acad::eNullObjectPointer);
}

// The readers' faults narrowed to one class, the same in a side database as in a drawing.
TEST_F(ContentQueriesTest, NarrowedFaultsTakeOnlyTheClassNamed) {
  AcDbDatabase side(true, true);
  for (AcDbDatabase* where : {db, &side}) {
    const AcDbObjectId layout = cadsim::layoutId(where, "Layout1");
    const AcDbObjectId space = cadsim::layoutSpaceId(where, "Layout1");
    cadsim::clearFaults();
    cadsim::failCall("acdbOpenObject:AcDbLayout", 250, true);
    cadsim::failCall("getName:AcDbBlockTableRecord", 330, true);
    AcDbBlockTableRecord* record = nullptr;
    AcDbLayout* asLayout = nullptr;
    AcDbObject* asObject = nullptr;
    EXPECT_EQ(acdbOpenObject(asLayout, layout, AcDb::kForRead), 250);
    ASSERT_EQ(acdbOpenObject(asObject, layout, AcDb::kForRead), Acad::eOk);  // asked as another class
    AcString name;
    EXPECT_EQ(AcDbLayout::cast(asObject)->getName(name), Acad::eOk);
    asObject->close();
    ASSERT_EQ(acdbOpenObject(record, space, AcDb::kForRead), Acad::eOk);
    EXPECT_EQ(record->getName(name), 330);
    record->close();
    // An entity read through a block record's iterator is an open of an AcDbEntity too.
    cadsim::addLine(where, cadsim::modelSpaceId(where), {0, 0, 0}, {1, 1, 0});
    cadsim::failCall("acdbOpenObject:AcDbEntity", 124);
    ASSERT_EQ(acdbOpenObject(record, cadsim::modelSpaceId(where), AcDb::kForRead), Acad::eOk);
    AcDbBlockTableRecordIterator* it = nullptr;
    ASSERT_EQ(record->newIterator(it), Acad::eOk);
    AcDbEntity* entity = nullptr;
    EXPECT_EQ(it->getEntity(entity), 124);
    delete it;
    record->close();
    EXPECT_EQ(cadsim::injectedFailures(), (std::vector<std::string>{"acdbOpenObject:AcDbLayout",
                                                                    "getName:AcDbBlockTableRecord",
                                                                    "acdbOpenObject:AcDbEntity"}));
  }
  cadsim::clearFaults();
}

}  // namespace
