// Frames of block definitions and of paper layouts, on drawings written by ezdxf.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "frames/frame_extraction.h"
#include "host/platform.h"
#include "pipeline/session_actions.h"
#include "plugin/messages.h"
#include "tests/frames/frame_drawings.h"

namespace {

AcDbObjectId BlockId(AcDbDatabase* db, const wchar_t* name) {
  AcDbBlockTable* table = nullptr;
  AcDbObjectId id;
  if (db->getBlockTable(table, AcDb::kForRead) == Acad::eOk) {
    table->getAt(name, id);
    table->close();
  }
  return id;
}

std::string Text(const Rect4& r) {
  if (!r.valid) return "invalid";
  char text[128];
  std::snprintf(text, sizeof text, "%g,%g %g,%g", r.minX, r.minY, r.maxX, r.maxY);
  return text;
}

using FrameExtractionTest = FrameDrawingTest;

TEST_F(FrameExtractionTest, FramesOfBlockDefinitions) {
  ASSERT_TRUE(Open("frames.dxf"));
  const struct {
    const wchar_t* block;
    const char* frame;
  } rows[] = {
      {L"FRAME", "0,0 420,297"},             // four lines overlapping at the corners by 2
      {L"GAPPED", "invalid"},                // a 6-unit gap at one corner
      {L"LINES_AND_SQUARE", "0,0 420,297"},  // the line frame outsizes a 100 x 100 polyline
      {L"SQUARE_ONLY", "0,0 500,500"},
      {L"D0", "0,0 50,50"},                  // the 900 square three levels down is not looked at
      {L"TWO_LEVELS", "10,20 850,614"},      // a nested frame, scaled and moved
      {L"NOTHING", "invalid"},               // one slanted line
  };
  for (const auto& row : rows)
    EXPECT_EQ(Text(CalcBlockExtent(BlockId(db, row.block), 0)), row.frame) << cadsim::narrow(row.block);
  EXPECT_EQ(Text(CalcBlockExtent(BlockId(db, L"FRAME"), 3)), "invalid");

  // A frame lying wholly beyond 1e20 keeps its own corners.
  const Rect4 far = TransformRect({0, 0, 1, 1, true}, AcGeMatrix3d::translation(AcGeVector3d(1e21, 2e21, 0)));
  EXPECT_EQ(Text(far), "1e+21,2e+21 1e+21,2e+21");
}

// Definitions built in code, each one case of the frame rules.
TEST_F(FrameExtractionTest, FramesOfDefinitionsBuiltInCode) {
  doc = cadsim::newDrawing();
  db = cadsim::databaseOf(doc);
  auto frameLines = [this](AcDbObjectId def, double leftX) {
    cadsim::addLine(db, def, AcGePoint3d(leftX, 0, 0), AcGePoint3d(leftX, 297, 0));
    cadsim::addLine(db, def, AcGePoint3d(420, 0, 0), AcGePoint3d(420, 297, 0));
    cadsim::addLine(db, def, AcGePoint3d(0, 297, 0), AcGePoint3d(420, 297, 0));
    cadsim::addLine(db, def, AcGePoint3d(0, 0, 0), AcGePoint3d(420, 0, 0));
  };
  // A short line in both directions is offered as a horizontal line too: below the frame, it
  // becomes the bottom candidate, and the corners no longer close.
  const AcDbObjectId tinyBelow = cadsim::addBlockDefinition(db, "TINY_BELOW");
  frameLines(tinyBelow, 0);
  cadsim::addLine(db, tinyBelow, AcGePoint3d(200, -10, 0), AcGePoint3d(200.5, -9.5, 0));
  // A nested frame's area counts against the polylines that follow it.
  const AcDbObjectId sheet = cadsim::addBlockDefinition(db, "SHEET");
  cadsim::addPolyline(db, sheet, {{0, 0}, {420, 0}, {420, 297}, {0, 297}}, true);
  const AcDbObjectId nested = cadsim::addBlockDefinition(db, "NESTED_THEN_SMALL");
  cadsim::addBlockReference(db, nested, sheet, AcGePoint3d(0, 0, 0));
  cadsim::addPolyline(db, nested, {{0, 0}, {100, 0}, {100, 100}, {0, 100}}, true);
  // Two left candidates within 1 unit: the longer one wins although it lies further right.
  const AcDbObjectId parallel = cadsim::addBlockDefinition(db, "PARALLEL");
  cadsim::addLine(db, parallel, AcGePoint3d(0, 0, 0), AcGePoint3d(0, 100, 0));
  frameLines(parallel, 0.5);
  const struct {
    AcDbObjectId block;
    const char* frame;
  } rows[] = {
      {tinyBelow, "invalid"},
      {nested, "0,0 420,297"},
      {parallel, "0.5,0 420,297"},
  };
  for (const auto& row : rows) EXPECT_EQ(Text(CalcBlockExtent(row.block, 0)), row.frame) << cadsim::handleText(row.block);
}

// A layout of 20 references to A, each holding 20 references to B, which holds the frame: each
// definition is read once per depth in one extraction, not once per reference.
TEST_F(FrameExtractionTest, EachDefinitionIsReadOncePerExtraction) {
  doc = cadsim::newDrawing();
  db = cadsim::databaseOf(doc);
  const AcDbObjectId b = cadsim::addBlockDefinition(db, "B");
  cadsim::addPolyline(db, b, {{0, 0}, {420, 0}, {420, 297}, {0, 297}}, true);
  const AcDbObjectId a = cadsim::addBlockDefinition(db, "A");
  for (int i = 0; i < 20; ++i) {
    cadsim::addBlockReference(db, a, b, AcGePoint3d(0, 0, 0));
    cadsim::addBlockReference(db, cadsim::layoutSpaceId(db, "Layout1"), a, AcGePoint3d(1000.0 * i, 0, 0));
  }
  cadsim::clearFaults();
  const LayoutFrames frames = CollectLayoutFrames("Layout1");
  EXPECT_EQ(frames.count, 20);
  EXPECT_EQ(cadsim::hostCallCount("newIterator"), 2u);  // A at depth 0, B at depth 1
}

// Called off the host's main thread, the exported functions touch no drawing and say so.
TEST_F(FrameExtractionTest, ExportedFunctionsRefuseOtherThreads) {
  ASSERT_TRUE(Open("frames.dxf"));
  static std::atomic<int> violations{0};
  violations = 0;
  const OrvikThreadViolationHook previous = OrvikSetThreadViolationHook([](const char*) { ++violations; });
  cadsim::clearFaults();
  std::vector<std::string> answers;
  std::thread([&] {
    answers = {PerformEntityExtraction(), PerformPaperEntityExtraction(), PerformCurrentSpaceExtraction(),
               PerformAllPapersExtraction(), PerformEntityExtractionDirect(false), PerformEntityExtractionDirect(true)};
  }).join();
  OrvikSetThreadViolationHook(previous);
  EXPECT_EQ(answers, std::vector<std::string>(6));
  EXPECT_EQ(violations.load(), 6);
  EXPECT_EQ(cadsim::hostCallCount(), 0u);
}

// Names read as wildcard patterns ("Sheet #2", "~Draft", "A [rev]") are driven end to end in
// tests/e2e/test_frames.py.
TEST_F(FrameExtractionTest, LayoutsSelectOnlyTheirOwnEntities) {
  ASSERT_TRUE(Open("frames.dxf"));
  std::string cousin;  // shares its first 126 bytes with another layout's name
  for (int i = 0; i < 21; ++i) cousin += "图纸";
  cousin += "甲乙";
  const LayoutFrames frames = CollectLayoutFrames(cousin);
  EXPECT_EQ(frames.count, 1);
  EXPECT_EQ(frames.records, "R;10.0000;10.0000;110.0000;60.0000;" + cousin + "\n");
  EXPECT_FALSE(CollectLayoutFrames("Layout2").selected);  // a line only

  // Coordinates as large as a drawing holds: the record keeps every digit and its line end.
  const LayoutFrames big = CollectLayoutFrames("Big");
  char expected[1024];
  std::snprintf(expected, sizeof expected, "R;0.0000;0.0000;%.4f;%.4f;Big\n", 1e300, 1e300);
  EXPECT_EQ(big.records, expected);
  EXPECT_GT(big.records.size(), 384u);
}

TEST_F(FrameExtractionTest, CommandsKeepTheLastResult) {
  ASSERT_TRUE(Open("frames.dxf"));
  ASSERT_EQ(SwitchSpace("Layout1"), RTNORM);
  EXPECT_EQ(PerformCurrentSpaceExtraction(), "R;0.0000;0.0000;420.0000;297.0000;Layout1\n");
  EXPECT_EQ(PerformEntityExtractionDirect(true), GetLastExtractionResult());

  const std::string all = PerformAllPapersExtraction();
  EXPECT_NE(all.find("Layout1\nR;"), std::string::npos);
  EXPECT_NE(all.find(";~Draft\n"), std::string::npos);
  EXPECT_EQ(all.find("Layout2"), std::string::npos);
  EXPECT_EQ(CurrentSpaceName(), "Model");

  EXPECT_EQ(PerformEntityExtractionDirect(false), PerformEntityExtraction());
  EXPECT_EQ(GetLastExtractionResult().rfind("{\"SchemaVersion\":2,", 0), 0u);
}

}  // namespace
