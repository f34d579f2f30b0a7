// The view transform against the simulated host's view: the window a plot or a selection acts
// on, and the view it leaves, in plan, twisted and non-plan views. Expected values are worked out
// by hand from the view's axes, not with the matrices the code uses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "cadsim/control.h"
#include "pipeline/layout_switch.h"
#include "plot/plot_view.h"

namespace {

const double kPi = std::acos(-1.0);
const double kRoot2 = std::sqrt(2.0);
const double kRoot6 = std::sqrt(6.0);

struct Box {
  double xmin, ymin, xmax, ymax;
};

// A box to six decimals, so boxes compare in one line and show whole when they differ.
std::string Text(const Box& b) {
  char text[128];
  auto r = [](double v) { return std::round(v * 1e6) / 1e6 + 0.0; };
  std::snprintf(text, sizeof text, "%.6f,%.6f %.6f,%.6f", r(b.xmin), r(b.ymin), r(b.xmax), r(b.ymax));
  return text;
}

class PlotView : public ::testing::Test {
 protected:
  void SetUp() override {
    cadsim::reset();
    doc = cadsim::newDrawing();
    cadsim::runUntilIdle();
  }
  void TearDown() override {
    EXPECT_TRUE(cadsim::faultLog().empty());
    for (AcApDocument* d : cadsim::documents()) cadsim::close(d);
    cadsim::reset();
  }
  void Look(const AcGeVector3d& direction, const AcGePoint3d& target, double twist) {
    cadsim::ViewState view;
    view.direction = direction;
    view.target = target;
    view.twist = twist;
    cadsim::setView(doc, view);
  }

  AcApDocument* doc = nullptr;
};

TEST_F(PlotView, ModelSpaceWindowBecomesItsDisplayBounds) {
  const AcGeVector3d plan(0, 0, 1);
  const struct {
    const char* why;
    AcGeVector3d direction;
    AcGePoint3d target;
    double twist;
    Box window, display;
  } cases[] = {
      {"plan view, no twist: unchanged", plan, {0, 0, 0}, 0, {10, 20, 110, 80}, {10, 20, 110, 80}},
      {"target moves the origin", plan, {100, 50, 0}, 0, {10, 20, 110, 80}, {-90, -30, 10, 30}},
      // A 90 degree twist turns world (x, y) into display (-y, x).
      {"twisted 90 degrees", plan, {0, 0, 0}, kPi / 2, {10, 20, 110, 80}, {-80, 10, -20, 110}},
      {"twisted about the target", plan, {10, 20, 0}, kPi / 2, {10, 20, 110, 80}, {-60, 0, 0, 100}},
      // Front view: display x is world x, display y is world z, so the flat window has no height.
      {"front view", {0, -1, 0}, {0, 0, 0}, 0, {10, 20, 110, 80}, {10, 0, 110, 0}},
      // South-east isometric: display x = (x + y)/sqrt 2, display y = (y - x)/sqrt 6 at z = 0.
      {"isometric", {1, -1, 1}, {0, 0, 0}, 0, {0, 0, 10, 10}, {0, -10 / kRoot6, 20 / kRoot2, 10 / kRoot6}},
  };
  for (const auto& c : cases) {
    Look(c.direction, c.target, c.twist);
    const int refreshes = cadsim::displayUpdates();
    Box box = c.window;
    FocusAndGetPlotWindow(box.xmin, box.ymin, box.xmax, box.ymax);
    EXPECT_EQ(Text(box), Text(c.display)) << c.why;

    const cadsim::ViewState v = cadsim::currentView(doc);
    const Box shown{v.center.x - v.width / 2, v.center.y - v.height / 2, v.center.x + v.width / 2, v.center.y + v.height / 2};
    EXPECT_EQ(Text(shown), Text(c.display)) << c.why << ": the view shows the window";
    EXPECT_FALSE(v.paperSpaceView) << c.why;
    EXPECT_EQ(cadsim::displayUpdates(), refreshes + 1) << c.why;

    // The related transforms read the same view and leave it alone.
    Box transformed = c.window;
    TransformWcsToPlotDcs(transformed.xmin, transformed.ymin, transformed.xmax, transformed.ymax);
    EXPECT_EQ(Text(transformed), Text(c.display)) << c.why;
    // A quarter turn maps boxes onto boxes, so the way back gives the window again.
    if (c.twist != 0) {
      ConvertDcsToPlotWcs(transformed.xmin, transformed.ymin, transformed.xmax, transformed.ymax);
      EXPECT_EQ(Text(transformed), Text(c.window)) << c.why;
    }
  }
}

TEST_F(PlotView, PaperSpaceIsZoomedButKeepsTheWindow) {
  ASSERT_TRUE(SwitchSpaceSync("Layout1"));
  Box box{0, 0, 420, 297};
  Look({0, 0, 1}, {0, 0, 0}, kPi / 2);
  FocusAndGetPlotWindow(box.xmin, box.ymin, box.xmax, box.ymax);
  EXPECT_EQ(Text(box), Text({0, 0, 420, 297})) << "paper space keeps the window";
  const cadsim::ViewState view = cadsim::currentView(doc);
  EXPECT_TRUE(view.paperSpaceView);
  EXPECT_NEAR(view.width, 297, 1e-9) << "the view still shows the twisted window";
}

TEST_F(PlotView, NothingChangesWithoutAUsableViewOrWindow) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char* why;
    size_t failingRead;  // which acedGetVar call fails (VIEWDIR, TARGET, VIEWTWIST in turn), 0: none
    AcGeVector3d direction;
    Box window;
  } cases[] = {
      {"VIEWDIR unreadable", 1, {0, 0, 1}, {0, 0, 10, 10}},
      {"VIEWTWIST unreadable", 3, {0, 0, 1}, {0, 0, 10, 10}},
      {"zero view direction", 0, {0, 0, 0}, {0, 0, 10, 10}},
      {"not a number in the window", 0, {0, 0, 1}, {nan, 0, 10, 10}},
      {"infinite window", 0, {0, 0, 1}, {0, 0, std::numeric_limits<double>::infinity(), 10}},
      {"a width beyond the largest double", 0, {0, 0, 1}, {-1e308, 0, 1e308, 10}},
      {"a centre beyond the largest double", 0, {0, 0, 1}, {1e308, 0, 1.7e308, 10}},
  };
  for (const auto& c : cases) {
    cadsim::ViewState before;
    before.direction = c.direction;
    before.center = AcGePoint2d(7, 8);
    before.width = 3;
    before.height = 4;
    cadsim::setView(doc, before);
    if (c.failingRead) cadsim::failNthCall("acedGetVar", c.failingRead, RTERROR);
    Box box = c.window;
    FocusAndGetPlotWindow(box.xmin, box.ymin, box.xmax, box.ymax);
    cadsim::clearFaults();
    EXPECT_EQ(box.xmax, c.window.xmax) << c.why;
    const cadsim::ViewState after = cadsim::currentView(doc);
    EXPECT_EQ(after.width, 3) << c.why << ": the view is untouched";
    EXPECT_EQ(after.center.x, 7) << c.why;
  }
}

}  // namespace
