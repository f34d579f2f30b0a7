// What the drawing content queries rely on in the host: window selection with filters, read-only
// opens, the view of each space, the view transform's matrices, and faults and delays narrowed to
// the reads the queries make.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <thread>
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

class ReadOnlyOpenTest : public NewDrawingTest {
 protected:
  void SetUp() override {
    NewDrawingTest::SetUp();
    char scratch[] = "/tmp/readonly-XXXXXX";
    dir = ::mkdtemp(scratch);
    path = dir + "/sheet.dxf";
    std::ofstream(path) << "0\nSECTION\n2\nENTITIES\n0\nENDSEC\n0\nEOF\n";
  }
  void TearDown() override {
    for (AcApDocument* d : cadsim::documents())
      if (cadsim::fileNameUtf8(d) == path) cadsim::close(d);
    std::remove(path.c_str());
    ::rmdir(dir.c_str());
    NewDrawingTest::TearDown();
  }
  Acad::ErrorStatus Open(const std::string& file, int flags) {
    const std::wstring wide = cadsim::widen(file);
    AcApDocManager::OpenParams p{};
    p.mpwszFileName = wide.c_str();
    p.mnInitialViewType = 1;
    p.mnFlags = flags;
    return acDocManager->appContextOpenDocument(&p);
  }
  std::string dir, path;
};

TEST_F(ReadOnlyOpenTest, TheFlagMakesTheDrawingReadOnlyUnlessTheHostIgnoresIt) {
  struct Row {
    bool honoured;
    bool readOnly;
  } rows[] = {{true, true}, {false, false}};
  for (const Row& row : rows) {
    cadsim::setReadOnlyOpenHonoured(row.honoured);
    ASSERT_EQ(Open(path, 6), Acad::eOk);
    AcApDocument* opened = cadsim::findDocument(path);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(acDocManager->mdiActiveDocument(), opened);
    EXPECT_EQ(opened->isReadOnly(), row.readOnly);
    AcDbObject* space = nullptr;
    const Acad::ErrorStatus write =
        acdbOpenObject(space, cadsim::modelSpaceId(cadsim::databaseOf(opened)), AcDb::kForWrite);
    if (space) space->close();
    EXPECT_EQ(write, row.readOnly ? Acad::eFileAccessErr : Acad::eOk);
    EXPECT_EQ(::access(cadsim::lockFilePath(path).c_str(), F_OK) == 0, !row.readOnly);
    cadsim::close(opened);
  }
}

TEST_F(ReadOnlyOpenTest, AnOpenDrawingIsActivatedAndAMissingOneIsNotFound) {
  AcApDocument* mine = cadsim::openDrawing(path);
  cadsim::activate(doc);
  EXPECT_EQ(Open(path, 6), Acad::eOk);
  EXPECT_EQ(acDocManager->mdiActiveDocument(), mine);
  EXPECT_FALSE(mine->isReadOnly());  // as the user had it
  EXPECT_EQ(cadsim::documents().size(), 2u);
  EXPECT_EQ(Open(dir + "/missing.dxf", 6), Acad::eFileNotFound);
  EXPECT_EQ(Open("", 6), Acad::eInvalidInput);
  EXPECT_EQ(acDocManager->appContextOpenDocument(static_cast<const AcApDocManager::OpenParams*>(nullptr)),
            Acad::eInvalidInput);
  EXPECT_EQ(cadsim::documents().size(), 2u);
}

// Each space keeps its own view; the view variables read the current space's.
TEST_F(ContentQueriesTest, ViewsBelongToTheSpaceAndShowInTheVariables) {
  AcDbViewTableRecord view;
  view.setViewDirection(AcGeVector3d(1, -1, 1));
  view.setTarget(AcGePoint3d(5, 6, 7));
  view.setViewTwist(0.5);
  view.setCenterPoint(AcGePoint2d(3, 4));
  view.setWidth(40);
  view.setHeight(30);
  ASSERT_EQ(acedSetCurrentView(&view, nullptr), Acad::eOk);
  acedUpdateDisplay();
  EXPECT_EQ(cadsim::displayUpdates(), 1);

  auto get = [](const ACHAR* name) {
    resbuf rb{};
    EXPECT_EQ(acedGetVar(name, &rb), RTNORM) << cadsim::narrow(name);
    if (rb.restype == RTSHORT) return std::to_string(rb.resval.rint);
    if (rb.restype == RTREAL) return std::to_string(rb.resval.rreal);
    EXPECT_EQ(rb.restype, RT3DPOINT);
    return std::to_string(rb.resval.rpoint[0]) + "," + std::to_string(rb.resval.rpoint[1]) + "," +
           std::to_string(rb.resval.rpoint[2]);
  };
  EXPECT_EQ(get(L"VIEWDIR"), "1.000000,-1.000000,1.000000");
  EXPECT_EQ(get(L"TARGET"), "5.000000,6.000000,7.000000");
  EXPECT_EQ(get(L"VIEWTWIST"), "0.500000");
  EXPECT_EQ(get(L"VIEWCTR"), "3.000000,4.000000,0.000000");
  EXPECT_EQ(get(L"VIEWSIZE"), "30.000000");
  EXPECT_EQ(get(L"CVPORT"), "2");

  cadsim::typeLine("(setvar \"CTAB\" \"Layout1\")");  // a paper space never set shows the plan view
  EXPECT_EQ(get(L"VIEWDIR"), "0.000000,0.000000,1.000000");
  EXPECT_EQ(get(L"CVPORT"), "1");
  cadsim::typeLine("(setvar \"CTAB\" \"Model\")");
  EXPECT_EQ(cadsim::currentView(doc).target, AcGePoint3d(5, 6, 7));

  view.setViewDirection(AcGeVector3d(0, 0, 0));
  EXPECT_EQ(acedSetCurrentView(&view, nullptr), Acad::eInvalidInput);
  EXPECT_EQ(acedSetCurrentView(nullptr, nullptr), Acad::eNullObjectPointer);
}

TEST(GeometryTest, RotationsAndPlaneMatricesInvert) {
  const AcGeMatrix3d rotation = AcGeMatrix3d::rotation(0.7, AcGeVector3d(1, 2, 3), AcGePoint3d(4, -5, 6));
  AcGeMatrix3d m = rotation;
  m.preMultBy(AcGeMatrix3d::translation(AcGeVector3d(10, 0, -2)));
  EXPECT_TRUE((m.inverse() * m).isEqualTo(AcGeMatrix3d::kIdentity, 1e-12));
  AcGePoint3d p(1, 2, 3);
  p.transformBy(m).transformBy(AcGeMatrix3d(m).invert());
  EXPECT_NEAR(p.distanceTo(AcGePoint3d(1, 2, 3)), 0, 1e-12);
  AcGeMatrix3d post = AcGeMatrix3d::translation(AcGeVector3d(10, 0, -2));
  post.postMultBy(rotation);
  EXPECT_TRUE(post.isEqualTo(m, 1e-12));

  // The arbitrary-axis rule: a plane's X axis is Z x N, or Y x N for a normal near Z; the plane's
  // own Z is the normal, and the axes are orthonormal.
  struct Row {
    AcGeVector3d normal, xAxis;
  } rows[] = {
      {{1, 1, 1}, AcGeVector3d(-1, 1, 0).normal()},
      {{0, -1, 0}, {1, 0, 0}},
      {{0.01, 0, 1}, AcGeVector3d(0, 1, 0).crossProduct(AcGeVector3d(0.01, 0, 1).normal()).normal()},
      {{0, 0, 1}, {1, 0, 0}},
  };
  for (const Row& row : rows) {
    const AcGeMatrix3d w = AcGeMatrix3d::planeToWorld(row.normal);
    AcGeVector3d x = AcGeVector3d::kXAxis, z = AcGeVector3d::kZAxis, y = AcGeVector3d::kYAxis;
    x.transformBy(w);
    y.transformBy(w);
    z.transformBy(w);
    EXPECT_NEAR((x - row.xAxis).length(), 0, 1e-12) << row.normal.x << "," << row.normal.y << "," << row.normal.z;
    EXPECT_NEAR((z - row.normal.normal()).length(), 0, 1e-12);
    EXPECT_NEAR((y - z.crossProduct(x)).length(), 0, 1e-12);
    EXPECT_TRUE((w.inverse() * w).isEqualTo(AcGeMatrix3d::kIdentity, 1e-12));
  }
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

// A slow call is still in progress when another thread sees it counted: a query can be
// cancelled while it runs.
TEST_F(ContentQueriesTest, ADelayedCallIsSeenRunningFromAnotherThread) {
  const AcDbObjectId layout = cadsim::layoutId(db, "Layout1");
  AcDbLayout* l = nullptr;
  ASSERT_EQ(acdbOpenObject(l, layout, AcDb::kForRead), Acad::eOk);
  cadsim::delayCall("getName:AcDbLayout", 1000);
  std::atomic<bool> returned{false}, seenRunning{false};
  std::thread observer([&] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (cadsim::hostCallCount("getName") == 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::yield();
    seenRunning = cadsim::hostCallCount("getName") == 1 && !returned.load();
  });
  AcString name;
  EXPECT_EQ(l->getName(name), Acad::eOk);
  returned = true;
  observer.join();
  l->close();
  EXPECT_TRUE(seenRunning.load());
  EXPECT_EQ(name, AcString(L"Layout1"));
  cadsim::clearFaults();
}

}  // namespace
