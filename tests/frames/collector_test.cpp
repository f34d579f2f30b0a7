// The collector over drawings written by ezdxf, and the Schema 2 text it is written as.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "frames/recognition_input.h"
#include "frames/recognition_settings.h"
#include "pipeline/session_actions.h"
#include "tests/frames/frame_drawings.h"

namespace {

using namespace OrvikFrameRecognition;
using Strings = std::vector<std::string>;

std::string Num(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", std::round(v * 1e6) / 1e6 + 0.0);  // rotations leave 1e-14s
  return text;
}
std::string Pt(const Point2d& p) { return Num(p.X) + "," + Num(p.Y); }

// One line per item: "H", "V" or "B", then its two points.
Strings Describe(const RecognitionInput& input) {
  Strings out;
  for (const Line2d& l : input.HorizontalLines) out.push_back("H " + Pt(l.StartPoint) + " " + Pt(l.EndPoint));
  for (const Line2d& l : input.VerticalLines) out.push_back("V " + Pt(l.StartPoint) + " " + Pt(l.EndPoint));
  for (const Bounds2d& b : input.PolylineBounds) out.push_back("B " + Pt(b.MinPoint) + " " + Pt(b.MaxPoint));
  return out;
}

AcDbObjectId LayerId(AcDbDatabase* db, const wchar_t* name) {
  AcDbLayerTable* table = nullptr;
  AcDbObjectId id;
  if (db->getLayerTable(table, AcDb::kForRead) == Acad::eOk) {
    table->getAt(name, id);
    table->close();
  }
  return id;
}

using CollectorTest = FrameDrawingTest;

// Each case of collector.dxf sits at its own X (see make_frame_drawings.py).
TEST_F(CollectorTest, KeepsOnlyVisibleAxisLineWork) {
  ASSERT_TRUE(Open("collector.dxf"));
  const Strings always = {
      "H 0,0 100,0",          // 0: a line of exactly the threshold (the shorter one is dropped)
      "H 2000,0 2100,0",      // 2000: unrotated reference
      "H 7000,0 7100,0",      // 7000: levels 1 to 3 of nesting; the line at level 4 is not reached
      "H 7000,10 7200,10",    //
      "H 7000,20 7300,20",    //
      "V 1000,0 1001,150",    // 1000: X within the axis tolerance (the slanted one is dropped)
      "V 3000,0 3000,100",    // 3000: rotated 90 degrees (45 and just below 360 are skipped)
      "V 6000,0 6000,75",     // 6000: local length 150 scaled by 0.5 (60 scaled by 2 is dropped)
  };
  const Strings filtered = {
      "V 9000,0 9000,200",    // 9000: model-level lines on layers hidden, frozen in the viewport,
      "V 9000,0 9000,200",    //       and ignored by name
      "V 9000,0 9000,200",    //
      "V 10000,0 10000,300",  // 10000: the same inside a block
      "V 10000,0 10000,300",  //
      "V 10000,0 10000,300",  //
  };
  const Strings bounds = {"B 2000,0 2200,100", "B 2900,0 3000,200"};  // the two walked references

  Strings expected = always;
  expected.insert(expected.begin() + 8, filtered.begin(), filtered.end());
  expected.insert(expected.end(), bounds.begin(), bounds.end());
  EXPECT_EQ(Describe(Extract(db, Settings(), "c.dwg").RecognitionInput), expected);

  // Hide a layer, ignore one by name, and enter a viewport that freezes a third.
  AcDbLayerTableRecord* hidden = nullptr;
  ASSERT_EQ(acdbOpenObject(hidden, LayerId(db, L"HIDDEN"), AcDb::kForWrite), Acad::eOk);
  hidden->setIsHidden(true);
  hidden->close();
  ASSERT_EQ(SwitchSpace("Layout1"), RTNORM);
  const AcDbObjectId layout1 = cadsim::layoutSpaceId(db, "Layout1");
  cadsim::setActiveViewport(db, cadsim::addViewport(db, layout1, {100, 100, 0}, 200, 150, {"VPFROZEN"}));
  Settings settings;
  settings.IgnoreLayerNames = {"IGNORED"};
  expected = always;
  expected.insert(expected.begin() + 8, "V 10000,0 10000,300");  // hidden counts only at model level
  expected.insert(expected.end(), bounds.begin(), bounds.end());
  EXPECT_EQ(Describe(Extract(db, settings, "c.dwg").RecognitionInput), expected);

  settings.MaximumEntityLevel = 4;
  settings.IgnoreLengthThreshold = 0;
  settings.MaximumPolylineVertexCount = 7;
  const Strings more = Describe(Extract(db, settings, "c.dwg").RecognitionInput);
  for (const char* item : {"H 7000,30 7400,30", "H 0,10 99.999,10", "H 6000,0 6120,0", "B 12000,0 12300,100",
                           "B 13000,0 13010,10"})
    EXPECT_NE(std::find(more.begin(), more.end(), item), more.end()) << item;
  for (const char* item : {"B 12000,0 12200,100", "V 11000,0 11000,200"})  // 3 vertices; invisible
    EXPECT_EQ(std::find(more.begin(), more.end(), item), more.end()) << item;
}

TEST_F(CollectorTest, WritesSchemaTwoExactly) {
  ASSERT_TRUE(Open("small.dxf"));
  const std::string text = Serialize(Extract(db, Settings(), "frame\tsheet.dwg"));
  EXPECT_EQ(text,
            R"({"SchemaVersion":2,"DrawingFileName":"frame\u0009sheet.dwg","CoordinateSystem":"WCS",)"
            R"("Settings":{"IgnoreLengthThreshold":100,"IgnoreLayerNames":[],"MaximumEntityLevel":3,)"
            R"("AxisCoordinateTolerance":1,"LineComparisonTolerance":1,"EndpointKeyDecimalPlaces":4,)"
            R"("EndpointKeyCulture":"zh-CN","OrthogonalBlockRotationToleranceDegrees":9.9999999999999995e-07,)"
            R"("SimilarBoundsRelativeTolerance":0.10000000000000001,"MinimumPolylineVertexCount":4,)"
            R"("MaximumPolylineVertexCount":6},"RecognitionInput":{"HorizontalLines":[{"StartPoint":{"X":0,"Y":0},)"
            R"("EndPoint":{"X":420,"Y":0}}],"VerticalLines":[{"StartPoint":{"X":0.10000000000000001,"Y":0},)"
            R"("EndPoint":{"X":0.10000000000000001,"Y":297}}],"PolylineBounds":[{"MinPoint":{"X":0,"Y":0},)"
            R"("MaxPoint":{"X":420,"Y":297}}]}})");
  EXPECT_EQ(ParseSettingsFromFixtureJson(text).OrthogonalBlockRotationToleranceDegrees, 1e-6);

  cadsim::close(doc);
  ASSERT_TRUE(Open("empty.dxf"));
  const std::string empty = Serialize(Extract(db, Settings(), ""));
  EXPECT_NE(empty.find(R"("RecognitionInput":{"HorizontalLines":[],"VerticalLines":[],"PolylineBounds":[]}})"),
            std::string::npos);
}

TEST_F(CollectorTest, NumbersAsPrintfWritesThem) {
  const double values[] = {-0.0, 0.1, 1e-5, 5e-324, 1e16, 1e17, 0.30000000000000004, std::numeric_limits<double>::max()};
  for (const double v : values) {
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.17g", v);
    std::string out;
    AppendJsonNumber(out, v);
    EXPECT_EQ(out, expected);
  }
  Fixture fixture;
  fixture.RecognitionInput.PolylineBounds.push_back({{0, 0}, {std::nan(""), 1}});
  try {
    Serialize(fixture);
    ADD_FAILURE() << "serialized a non-finite number";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Frame recognition input: cannot serialize non-finite number");
  }
}

// A definition that contains itself (damage a file can carry) is walked once, not to the depth
// limit with every copy.
TEST_F(CollectorTest, SelfContainingBlockEndsTheWalk) {
  doc = cadsim::newDrawing();
  db = cadsim::databaseOf(doc);
  const AcDbObjectId loop = cadsim::addBlockDefinition(db, "LOOP");
  cadsim::addLine(db, loop, AcGePoint3d(0, 0, 0), AcGePoint3d(200, 0, 0));
  for (int i = 0; i < 4; ++i) cadsim::addBlockReference(db, loop, loop, AcGePoint3d(0, 10.0 * i, 0));
  cadsim::addBlockReference(db, cadsim::modelSpaceId(db), loop, AcGePoint3d(0, 0, 0));
  Settings settings;
  settings.MaximumEntityLevel = 64;
  EXPECT_EQ(Describe(Extract(db, settings, "").RecognitionInput), Strings{"H 0,0 200,0"});
}

// A line short on both axes is vertical: X is tested first.
TEST_F(CollectorTest, ALineWithinTheToleranceOnBothAxesIsVertical) {
  doc = cadsim::newDrawing();
  db = cadsim::databaseOf(doc);
  cadsim::addLine(db, cadsim::modelSpaceId(db), AcGePoint3d(5, 5, 0), AcGePoint3d(5.5, 5.5, 0));
  Settings settings;
  settings.IgnoreLengthThreshold = 0;
  EXPECT_EQ(Describe(Extract(db, settings, "").RecognitionInput), Strings{"V 5,5 5.5,5.5"});
}

// One reference to A, A holding 1,000 references to B, B 1,000 to C: 3,000 entities that multiply
// to 10^9 under the default depth. The walk stops with an error instead of holding the host.
TEST_F(CollectorTest, ADrawingThatMultipliesBeyondTheCapsFails) {
  const struct {
    double lineLength;  // 200 is collected; 1 is only walked
    const char* message;
  } rows[] = {
      {200, "more than 2000000 lines and polylines to collect"},
      {1, "the drawing's block references multiply to more than 20000000 entities to walk"},
  };
  for (const auto& row : rows) {
    cadsim::reset();
    doc = cadsim::newDrawing();
    db = cadsim::databaseOf(doc);
    const AcDbObjectId c = cadsim::addBlockDefinition(db, "C");
    const AcDbObjectId b = cadsim::addBlockDefinition(db, "B");
    const AcDbObjectId a = cadsim::addBlockDefinition(db, "A");
    for (int i = 0; i < 1000; ++i) {
      cadsim::addLine(db, c, AcGePoint3d(0, i, 0), AcGePoint3d(row.lineLength, i, 0));
      cadsim::addBlockReference(db, b, c, AcGePoint3d(0, 0, 0));
      cadsim::addBlockReference(db, a, b, AcGePoint3d(0, 0, 0));
    }
    cadsim::addBlockReference(db, cadsim::modelSpaceId(db), a, AcGePoint3d(0, 0, 0));
    try {
      Extract(db, Settings(), "");
      ADD_FAILURE() << row.message;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), std::string("Frame recognition input: ") + row.message);
    }
    cadsim::close(doc);
  }
}

TEST_F(CollectorTest, HostFailuresNameTheirStep) {
  ASSERT_TRUE(Open("collector.dxf"));
  const struct {
    const char* call;
    size_t nth;
    const char* message;
  } rows[] = {
      {"getBlockTable", 1, "open block table failed, ObjectARX status=3"},
      // the block table's open counts as the first
      {"acdbOpenObject", 2, "open Model space failed, ObjectARX status=3"},
      {"acdbOpenObject", 4, "open entity layer failed, ObjectARX status=3"},  // read once per walk
      {"acdbOpenObject", 5, "inspect root entity failed, ObjectARX status=3"},
  };
  for (const auto& row : rows) {
    cadsim::clearFaults();
    cadsim::failNthCall(row.call, row.nth, 3);
    try {
      Extract(db, Settings(), "");
      ADD_FAILURE() << row.message;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), std::string("Frame recognition input: ") + row.message);
    }
  }
  cadsim::clearFaults();
  EXPECT_THROW(Extract(nullptr, Settings(), ""), std::runtime_error);
}

}  // namespace
