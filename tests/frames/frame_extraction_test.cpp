// Frames of block definitions and of paper layouts, on drawings written by ezdxf.
#include <gtest/gtest.h>

#include <string>

#include "frames/frame_extraction.h"
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
