// Plotting in the simulated host: the plot settings validator's refusals, the publish engine's order
// and faults, and a real PDF file checked with poppler's pdfinfo and pdftoppm. (What the catalogues
// list, copyFrom and window plots are the plot actions' tests.)
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "cadsim/control.h"
#include "tests/cadsim/new_drawing_test.h"

namespace {

std::string run(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

// A rendering of a PDF's first page in grey, two pixels a millimetre, read from pdftoppm's PGM.
struct Raster {
  int width = 0, height = 0;
  std::vector<unsigned char> pixels;
  int at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  // Whether anything dark is in the rectangle, in millimetres from the page's top left.
  bool inkIn(double x0, double y0, double x1, double y1) const {
    for (int y = std::max(0, int(y0 * 2)); y < std::min(height, int(y1 * 2)); ++y)
      for (int x = std::max(0, int(x0 * 2)); x < std::min(width, int(x1 * 2)); ++x)
        if (at(x, y) < 200) return true;
    return false;
  }
};

Raster render(const std::string& pdf, const std::string& pngBeside = "") {
  Raster r;
  const std::string stem = pdf + ".page";
  run("pdftoppm -gray -r 50.8 -f 1 -l 1 -singlefile '" + pdf + "' '" + stem + "' 2>&1");
  std::ifstream in(stem + ".pgm", std::ios::binary);
  std::string magic;
  int maxValue = 0;
  in >> magic >> r.width >> r.height >> maxValue;
  in.get();
  if (magic != "P5" || r.width <= 0 || r.height <= 0) return Raster();
  r.pixels.resize(static_cast<size_t>(r.width) * r.height);
  in.read(reinterpret_cast<char*>(r.pixels.data()), static_cast<std::streamsize>(r.pixels.size()));
  if (!pngBeside.empty()) run("pdftoppm -png -r 50 -f 1 -l 1 -singlefile '" + pdf + "' '" + pngBeside + "'");
  std::remove((stem + ".pgm").c_str());
  return r;
}

std::string pdfPageSize(const std::string& pdf) {
  std::istringstream info(run("pdfinfo '" + pdf + "' 2>&1"));
  std::string line;
  while (std::getline(info, line))
    if (line.rfind("Page size:", 0) == 0) return line.substr(line.find_first_not_of(' ', 10));
  return "<no page size>";
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

class PlotTest : public NewDrawingTest {
 protected:
  void SetUp() override {
    NewDrawingTest::SetUp();
    validator = acdbHostApplicationServices()->plotSettingsValidator();
    ASSERT_NE(validator, nullptr);
    char dir[] = "/tmp/cadsim-plot-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    out = dir;
  }
  void TearDown() override {
    NewDrawingTest::TearDown();
    if (!getenv("CADSIM_KEEP_PLOTS")) run("rm -rf '" + out + "'");
  }

  // Gives Layout1 a page setup on A3 landscape at 1:1, as a user's page setup dialog would.
  void pageSetup(const wchar_t* style = L"monochrome.ctb") {
    AcDbLayout* layout = nullptr;
    ASSERT_EQ(acdbOpenObject(layout, cadsim::layoutId(db, "Layout1"), AcDb::kForWrite), Acad::eOk);
    EXPECT_EQ(validator->setPlotCfgName(layout, L"DWG To PDF.pc3", L"ISO_A3_(420.00_x_297.00_MM)"), Acad::eOk);
    EXPECT_EQ(validator->setCurrentStyleSheet(layout, style), Acad::eOk);
    EXPECT_EQ(validator->setPlotType(layout, AcDbPlotSettings::kLayout), Acad::eOk);
    EXPECT_EQ(validator->setUseStandardScale(layout, false), Acad::eOk);
    EXPECT_EQ(validator->setCustomPrintScale(layout, 1, 1), Acad::eOk);
    layout->close();
  }

  // The plug-in's publish sequence; the first failing status, or eOk.
  Acad::ErrorStatus publish(AcDbObjectId layout, const AcDbPlotSettings* overrides, const std::string& path) {
    AcPlPlotInfo info;
    info.setLayout(layout);
    if (overrides) info.setOverrideSettings(overrides);
    AcPlPlotInfoValidator check;
    check.setMediaMatchingPolicy(AcPlPlotInfoValidator::kMatchEnabled);
    Acad::ErrorStatus es = check.validate(info);
    if (es != Acad::eOk) return es;
    AcPlPlotEngine* engine = nullptr;
    if ((es = AcPlPlotFactory::createPublishEngine(engine)) != Acad::eOk) return es;
    std::wstring file = cadsim::widen(path);
    if ((es = engine->beginPlot(nullptr)) == Acad::eOk) {
      if ((es = engine->beginDocument(info, L"doc.dwg", nullptr, 1, true, file.c_str())) == Acad::eOk) {
        AcPlPlotPageInfo page;
        if ((es = engine->beginPage(page, info, true)) == Acad::eOk) {
          Acad::ErrorStatus g = engine->beginGenerateGraphics();
          if (g == Acad::eOk) g = engine->endGenerateGraphics();
          Acad::ErrorStatus p = engine->endPage();
          es = g != Acad::eOk ? g : p;
        }
        Acad::ErrorStatus d = engine->endDocument();
        if (es == Acad::eOk) es = d;
      }
      Acad::ErrorStatus p = engine->endPlot();
      if (es == Acad::eOk) es = p;
    }
    engine->destroy();
    return es;
  }

  AcDbPlotSettingsValidator* validator = nullptr;
  std::string out;
};

// Each row: a setter call the host refuses, and why.
TEST_F(PlotTest, ValidatorRefusesWhatTheHostRefusesAndKeepsTheSettings) {
  AcDbPlotSettings paper(false), model(true);
  ASSERT_EQ(validator->setPlotCfgName(&paper, L"DWG To PDF.pc3", L"ISO_A3_(420.00_x_297.00_MM)"), Acad::eOk);
  ASSERT_EQ(validator->setPlotCfgName(&model, L"DWG To PDF.pc3"), Acad::eOk);
  const AcDbPlotSettings::Data before = paper.plotData();
  struct Row {
    const char* why;
    Acad::ErrorStatus status;
  } rows[] = {
      {"unknown device", validator->setPlotCfgName(&paper, L"No Such.pc3")},
      {"media the device lacks", validator->setPlotCfgName(&paper, L"DWF6 ePlot.pc3", L"ISO_A2_(594.00_x_420.00_MM)")},
      {"localized media name", validator->setCanonicalMediaName(&paper, L"ISO A3 (420.00 x 297.00 MM)")},
      {"media in other letter case", validator->setCanonicalMediaName(&paper, L"iso_a3_(420.00_x_297.00_mm)")},
      {"null settings", validator->setPlotRotation(nullptr, AcDbPlotSettings::k90degrees)},
      {"rotation out of range", validator->setPlotRotation(&paper, static_cast<AcDbPlotSettings::PlotRotation>(4))},
      {"inverted window", validator->setPlotWindowArea(&paper, 10, 0, 0, 10)},
      {"window plot without a window", validator->setPlotType(&paper, AcDbPlotSettings::kWindow)},
      {"layout plot of model space", validator->setPlotType(&model, AcDbPlotSettings::kLayout)},
      {"view plot without a view", validator->setPlotType(&paper, AcDbPlotSettings::kView)},
      {"zero custom scale", validator->setCustomPrintScale(&paper, 1, 0)},
      {"infinite custom scale", validator->setCustomPrintScale(&paper, INFINITY, 1)},
      {"standard scale out of range", validator->setStdScaleType(&paper, static_cast<AcDbPlotSettings::StdScaleType>(99))},
      {"pixels on a paper device", validator->setPlotPaperUnits(&paper, AcDbPlotSettings::kPixels)},
      {"style table not listed", validator->setCurrentStyleSheet(&paper, L"nosuch.ctb")},
      {"Normal is no table", validator->setCurrentStyleSheet(&paper, L"Normal")},
      {"origin not finite", validator->setPlotOrigin(&paper, NAN, 0)},
  };
  for (const Row& r : rows) EXPECT_EQ(r.status, Acad::eInvalidInput) << r.why;
  EXPECT_EQ(paper.plotData().configName, before.configName);
  EXPECT_EQ(paper.plotData().mediaName, before.mediaName);
  EXPECT_EQ(paper.plotData().rotation, before.rotation);
  EXPECT_EQ(paper.plotData().denominator, before.denominator);

  // A style table by its file name in any letter case, or by a full path of either separator.
  EXPECT_EQ(validator->setCurrentStyleSheet(&paper, L"C:\\styles\\MONOCHROME.CTB"), Acad::eOk);
  EXPECT_EQ(paper.plotData().styleSheet, L"monochrome.ctb");
  // A layout in the drawing changes only while open for write.
  AcDbLayout* layout = nullptr;
  ASSERT_EQ(acdbOpenObject(layout, cadsim::layoutId(db, "Layout1"), AcDb::kForRead), Acad::eOk);
  EXPECT_EQ(validator->setPlotCentered(layout, true), Acad::eNotOpenForWrite);
  layout->close();
  // Every setter is a fault point under its own name.
  cadsim::failCall("setPlotRotation", Acad::eLockViolation);
  EXPECT_EQ(validator->setPlotRotation(&paper, AcDbPlotSettings::k90degrees), Acad::eLockViolation);
  EXPECT_EQ(validator->setPlotRotation(&paper, AcDbPlotSettings::k90degrees), Acad::eOk);
}

TEST_F(PlotTest, EngineKeepsItsOrderAndReportsThePlotInProgress) {
  pageSetup();
  AcPlPlotInfo info;
  AcDbObjectId layout1 = cadsim::layoutId(db, "Layout1");
  info.setLayout(layout1);
  AcPlPlotInfoValidator check;
  ASSERT_EQ(check.validate(info), Acad::eOk);
  AcPlPlotEngine* engine = nullptr;
  ASSERT_EQ(AcPlPlotFactory::createPublishEngine(engine), Acad::eOk);
  AcPlPlotPageInfo page;
  EXPECT_EQ(engine->beginPage(page, info, true), Acad::eInvalidContext);  // no plot, no document
  EXPECT_EQ(acplProcessPlotState(), kNotPlotting);
  ASSERT_EQ(engine->beginPlot(nullptr), Acad::eOk);
  EXPECT_EQ(acplProcessPlotState(), kForegroundPlotting);
  AcPlPlotEngine* second = nullptr;
  EXPECT_EQ(AcPlPlotFactory::createPublishEngine(second), Acad::eInvalidContext);
  const std::string missing = out + "/no/such/dir/a.pdf";
  EXPECT_EQ(engine->beginDocument(info, L"d", nullptr, 1, true, cadsim::widen(missing).c_str()), Acad::eFileAccessErr);
  AcPlPlotInfo unvalidated;
  unvalidated.setLayout(layout1);
  EXPECT_EQ(engine->beginDocument(unvalidated, L"d", nullptr, 1, true, L"/tmp/x.pdf"), Acad::eInvalidInput);
  EXPECT_EQ(engine->endPlot(), Acad::eOk);
  EXPECT_EQ(acplProcessPlotState(), kNotPlotting);
  // Destroying an engine mid-plot is the caller's leak: the host ends it and reports it.
  ASSERT_EQ(engine->beginPlot(nullptr), Acad::eOk);
  engine->destroy();
  EXPECT_EQ(acplProcessPlotState(), kNotPlotting);
  EXPECT_EQ(cadsim::faultLog().size(), 1u);
  cadsim::reset();
  doc = nullptr;
  // The host's own plot shows too.
  cadsim::setHostPlotInProgress(true);
  EXPECT_EQ(acplProcessPlotState(), kBackgroundPlotting);
}

// Each row: an engine call made to fail, and that no file is left at the path.
TEST_F(PlotTest, AFailedEngineCallLeavesNoFile) {
  pageSetup();
  for (const char* call : {"validate", "createPublishEngine", "beginPlot", "beginDocument", "beginPage",
                           "beginGenerateGraphics", "endGenerateGraphics", "endPage", "endDocument", "endPlot"}) {
    const std::string path = out + "/" + call + ".pdf";
    cadsim::failCall(call, Acad::eNotApplicable);
    EXPECT_EQ(publish(cadsim::layoutId(db, "Layout1"), nullptr, path), Acad::eNotApplicable) << call;
    EXPECT_EQ(acplProcessPlotState(), kNotPlotting) << call;
    // endPlot comes after the file is complete: only the calls before it spoil it.
    EXPECT_EQ(exists(path), std::string(call) == "endPlot") << call;
    EXPECT_FALSE(exists(path + ".partial")) << call;
  }
}

// Each row: a drawing whose walk has no end in sight, and the plot type. The page fails with a
// failed engine call instead of running for ever, and leaves no file and no plot begun.
TEST_F(PlotTest, AWalkWithoutEndFailsThePage) {
  pageSetup();
  // A block holding ten references to itself.
  const AcDbObjectId self = cadsim::addBlockDefinition(db, "SELF");
  for (int i = 0; i < 10; ++i) cadsim::addBlockReference(db, self, self, AcGePoint3d(i, 0, 0));
  cadsim::addBlockReference(db, cadsim::layoutSpaceId(db, "Layout1"), self, AcGePoint3d(10, 10, 0));
  // Eight levels of twenty-fold nesting with nothing drawable at the bottom.
  AcDbObjectId inner = cadsim::addBlockDefinition(db, "N0");
  for (int level = 1; level <= 8; ++level) {
    const AcDbObjectId outer = cadsim::addBlockDefinition(db, "N" + std::to_string(level));
    for (int i = 0; i < 20; ++i) cadsim::addBlockReference(db, outer, inner, AcGePoint3d(i, 0, 0));
    inner = outer;
  }
  cadsim::addBlockReference(db, cadsim::modelSpaceId(db), inner, AcGePoint3d(0, 0, 0));
  AcDbPlotSettings extents(true);
  ASSERT_EQ(validator->setPlotCfgName(&extents, L"DWG To PDF.pc3", L"ISO_A3_(420.00_x_297.00_MM)"), Acad::eOk);
  ASSERT_EQ(validator->setPlotType(&extents, AcDbPlotSettings::kExtents), Acad::eOk);
  struct Row {
    const char* what;
    AcDbObjectId layout;
    const AcDbPlotSettings* overrides;
    Acad::ErrorStatus status;
  } rows[] = {
      {"self-reference on a layout", cadsim::layoutId(db, "Layout1"), nullptr, Acad::eOutOfMemory},
      {"deep nesting measured for extents", cadsim::layoutId(db, "Model"), &extents, Acad::eInvalidInput},
  };
  for (const Row& r : rows) {
    const std::string path = out + "/walk.pdf";
    EXPECT_EQ(publish(r.layout, r.overrides, path), r.status) << r.what;
    EXPECT_FALSE(exists(path)) << r.what;
    EXPECT_EQ(acplProcessPlotState(), kNotPlotting) << r.what;
  }
}

// Each row: a plot type of model space, and the area it plots in the view's display coordinates
// (extents are measured to whole drawing units).
TEST_F(PlotTest, ExtentsAndDisplayPlotsCoverWhatTheViewShows) {
  cadsim::addPolyline(db, cadsim::modelSpaceId(db), {{0, 0}, {100, 0}, {100, 50}, {0, 50}}, true);
  cadsim::ViewState view;
  view.target = AcGePoint3d(10, 20, 0);
  view.center = AcGePoint2d(15, 5);
  view.width = 40;
  view.height = 30;
  cadsim::setView(doc, view);
  struct Row {
    AcDbPlotSettings::PlotType type;
    double x0, y0, x1, y1;
  } rows[] = {
      {AcDbPlotSettings::kExtents, -10, -20, 90, 30},  // the rectangle, seen from the target
      {AcDbPlotSettings::kDisplay, -5, -10, 35, 20},   // the view's own window
  };
  for (const Row& r : rows) {
    AcDbPlotSettings settings(true);
    ASSERT_EQ(validator->setPlotCfgName(&settings, L"DWG To PDF.pc3", L"ISO_A3_(420.00_x_297.00_MM)"), Acad::eOk);
    ASSERT_EQ(validator->setPlotType(&settings, r.type), Acad::eOk);
    ASSERT_EQ(publish(cadsim::layoutId(db, "Model"), &settings, out + "/area.pdf"), Acad::eOk) << r.type;
    const cadsim::PlotRecord record = cadsim::plotRecords().back();
    EXPECT_NEAR(record.areaMinX, r.x0, 1.01) << r.type;
    EXPECT_NEAR(record.areaMinY, r.y0, 1.01) << r.type;
    EXPECT_NEAR(record.areaMaxX, r.x1, 1.01) << r.type;
    EXPECT_NEAR(record.areaMaxY, r.y1, 1.01) << r.type;
  }
}

// A viewport looking along X sees a square lying in the XY plane edge on: a line across its
// middle, nothing where the plan view would show the square's top edge.
TEST_F(PlotTest, AViewportSeenFromTheSideProjectsItsContent) {
  pageSetup();
  cadsim::addPolyline(db, cadsim::modelSpaceId(db), {{-50, -50}, {50, -50}, {50, 50}, {-50, 50}}, true);
  const AcDbObjectId id =
      cadsim::addViewport(db, cadsim::layoutSpaceId(db, "Layout1"), AcGePoint3d(200, 150, 0), 200, 200);
  AcDbViewport* vp = nullptr;
  ASSERT_EQ(acdbOpenObject(vp, id, AcDb::kForWrite), Acad::eOk);
  vp->setViewCenter(AcGePoint2d(0, 0));
  vp->setViewHeight(200);
  vp->setViewDirection(AcGeVector3d(1, 0, 0));
  vp->close();
  const std::string path = out + "/side.pdf";
  ASSERT_EQ(publish(cadsim::layoutId(db, "Layout1"), nullptr, path), Acad::eOk);
  const Raster r = render(path);
  // Paper space's origin is at the printable corner, 5 mm from the left and 6.5 mm from the bottom.
  EXPECT_TRUE(r.inkIn(175, 139.5, 225, 141.5));   // the square, edge on
  EXPECT_FALSE(r.inkIn(175, 88.5, 225, 92.5));    // where its top edge shows in plan
  EXPECT_FALSE(r.inkIn(151, 100, 160, 130));      // where its left edge shows in plan
}

// The drawing of tests/data/dxf/make_plot_drawing.py, written once per test process.
std::string plotDrawing() {
  static const std::string path = [] {
    std::string dir = std::string(ORVIK_BINARY_DIR) + "/plot-drawing-XXXXXX";
    if (!mkdtemp(dir.data())) return std::string();
    const std::string file = dir + "/plot.dxf";
    const std::string script = std::string(ORVIK_SOURCE_DIR) + "/tests/data/dxf/make_plot_drawing.py";
    if (std::system(("/usr/bin/python3 '" + script + "' '" + file + "'").c_str()) != 0) return std::string();
    return file;
  }();
  return path;
}

class DxfPlotTest : public PlotTest {
 protected:
  void SetUp() override {
    PlotTest::SetUp();
    ASSERT_FALSE(plotDrawing().empty()) << "make_plot_drawing.py failed";
    int status = 0;
    doc = cadsim::openDrawing(plotDrawing(), &status);
    ASSERT_NE(doc, nullptr) << status;
    db = cadsim::databaseOf(doc);
  }
};

TEST_F(DxfPlotTest, LayoutPlotsShowTheSheetInTheMediasOrientation) {
  const std::string a3 = out + "/Sheet A3.pdf", a4 = out + "/Sheet A4.pdf";
  ASSERT_EQ(publish(cadsim::layoutId(db, "Sheet A3"), nullptr, a3), Acad::eOk);
  ASSERT_EQ(publish(cadsim::layoutId(db, "Sheet A4"), nullptr, a4), Acad::eOk);
  EXPECT_EQ(pdfPageSize(a3), "1190.55 x 841.89 pts (A3)");
  EXPECT_EQ(pdfPageSize(a4), "595.276 x 841.89 pts (A4)");  // a quarter turn: portrait
  Raster r = render(a3, getenv("CADSIM_KEEP_PLOTS") ? a3 : "");
  ASSERT_GE(r.width, 840);
  // In millimetres from the page's top left; paper space's origin is at (5, 290.5).
  struct Place {
    const char* what;
    double x0, y0, x1, y1;
    bool ink;
  } places[] = {
      {"frame left", 4, 100, 6, 110, true},
      {"frame right", 414, 100, 416, 110, true},
      {"frame top", 200, 5.5, 210, 7.5, true},
      {"frame bottom", 200, 289.5, 210, 291.5, true},
      {"nothing left of the printable area", 0, 0, 3.5, 297, false},
      {"title block attribute A-101", 295, 275, 320, 281, true},
      {"invisible attribute", 295, 260, 340, 266, false},
      {"PLAN", 25, 30, 60, 41, true},
      {"second line of the multi-line attribute", 295, 218, 320, 221, true},
      {"second line of the MText", 305, 48, 325, 54, true},
      {"line on a layer that does not plot", 20, 20, 100, 22, false},
      {"circle through the viewport", 64, 189, 66, 192, true},
      {"arc through the viewport", 104, 170, 106, 172, true},
      {"model line cut at the viewport's edge", 182, 189, 400, 192, false},
  };
  for (const Place& p : places) EXPECT_EQ(r.inkIn(p.x0, p.y0, p.x1, p.y1), p.ink) << p.what;
}

}  // namespace
