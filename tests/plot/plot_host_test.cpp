// The plot actions against the simulated host: what the catalogues relay and refuse, what the layout,
// custom and window plots hand the publish engine, and the simulation's answers.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "cadsim/control.h"
#include "cadsim/control/plot.h"
#include "host/opened_object.h"
#include "host/strings.h"
#include "plot/custom_plot.h"
#include "plot/custom_settings.h"
#include "plot/layout_plot.h"
#include "plot/native_plot.h"
#include "plot/plot_catalogues.h"
#include "plot/plot_json.h"
#include "plot/plot_requests.h"
#include "plot/plot_result.h"
#include "plot/plot_simulation.h"

namespace fs = std::filesystem;

namespace {

const char* const kPdf = "DWG To PDF.pc3";
const char* const kA3 = "ISO_A3_(420.00_x_297.00_MM)";
const char* const kA4Portrait = "ISO_A4_(210.00_x_297.00_MM)";

class PlotHost : public ::testing::Test {
 protected:
  void SetUp() override {
    cadsim::reset();
    char pattern[] = "/tmp/orvik-plot-host-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    doc = cadsim::openDrawing(dir + "/sheets.dwg");
    ASSERT_NE(doc, nullptr);
    db = cadsim::databaseOf(doc);
    cadsim::addLayout(db, "Plan \"A\"\t1");
    SetPageSetup("Layout1", kPdf, kA3);
  }
  void TearDown() override {
    EXPECT_EQ(cadsim::openObjects(), std::vector<std::string>());
    EXPECT_EQ(cadsim::faultLog(), std::vector<std::string>());
    cadsim::reset();
    std::error_code ec;
    fs::remove_all(dir, ec);
  }

  void SetPageSetup(const std::string& layoutName, const char* device, const char* media) {
    OpenedObject<AcDbLayout> layout;
    ASSERT_EQ(acdbOpenObject(layout.object, cadsim::layoutId(db, layoutName), AcDb::kForWrite), Acad::eOk);
    AcDbPlotSettingsValidator* validator = acdbHostApplicationServices()->plotSettingsValidator();
    const std::wstring d = OrvikWide(device), m = OrvikWide(media);
    ASSERT_EQ(validator->setPlotCfgName(layout.object, d.c_str(), m.c_str()), Acad::eOk);
    ASSERT_EQ(validator->setCurrentStyleSheet(layout.object, L"acad.ctb"), Acad::eOk);
  }

  std::string Path() { return cadsim::fileNameUtf8(doc); }

  // The errorCode of an answer, or the whole answer when it has none.
  static std::string Code(const std::string& answer) {
    const size_t at = answer.find("\"errorCode\":\"");
    return at == std::string::npos ? answer : answer.substr(at + 13, answer.find('"', at + 13) - at - 13);
  }

  std::string dir;
  AcApDocument* doc = nullptr;
  AcDbDatabase* db = nullptr;
};

// The catalogues' answers as the companion reads them are driven end to end in
// tests/e2e/test_plotting.py.
TEST_F(PlotHost, CataloguesRelayTheHostsListsAsValidJson) {
  EXPECT_TRUE(IsPlotStyleAvailable("C:\\Styles\\MONOCHROME.CTB"));  // a custom plot's style by path, any case
  EXPECT_EQ(JsonStrings(GetLayoutsJson()), (std::vector<std::string>{"Layout1", "Layout2", "Plan \"A\"\t1"}));
}

std::string Raised(const std::function<std::string()>& call) {
  try {
    return "answered " + call();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
}

TEST_F(PlotHost, PapersWithoutAUsableSizeAreLeftOut) {
  cadsim::PlotCatalogue catalogue;
  catalogue.devices.push_back({"Odd \"PDF\".pc3", cadsim::PlotDeviceSpec::kPdf,
                               {{"ZERO", "", 0, 297}, {"NEG", "", -5, 297}, {"INF", "", INFINITY, 1},
                                {"NAN", "", 1, NAN}, {"OK", "", 100, 50, 1, 2, 3, 4}}});
  catalogue.devices.push_back({"Broken.pc3", cadsim::PlotDeviceSpec::kPdf, {{"ZERO", "", 0, 0}}});
  cadsim::setPlotCatalogue(catalogue);
  EXPECT_EQ(GetDevicesJson(), "[\"Odd \\\"PDF\\\".pc3\",\"Broken.pc3\"]");
  EXPECT_EQ(GetPaperSizesJson("Odd \"PDF\".pc3"),
            "[{\"localeName\":\"OK\",\"canonicalName\":\"OK\",\"width\":100.000000,\"height\":50.000000,"
            "\"printableWidth\":96.000000,\"printableHeight\":44.000000}]");
  EXPECT_EQ(Raised([] { return GetPaperSizesJson("Broken.pc3"); }),
            "CAD_PLOT_RESOURCES_NOT_READY: no usable paper sizes for Broken.pc3.");
}

TEST_F(PlotHost, CataloguesRaiseWhatTheHostCannotAnswer) {
  EXPECT_EQ(Raised([] { return GetPaperSizesJson("Nope.pc3"); }).rfind(
                "CAD_PLOT_RESOURCES_NOT_READY: could not select plot device Nope.pc3 (status ", 0),
            0u);
  cadsim::setPlotSettingsValidatorAvailable(false);
  EXPECT_EQ(Raised([] { return GetPaperSizesJson(kPdf); }),
            "CAD_PLOT_RESOURCES_NOT_READY: plot settings validator is unavailable.");
  cadsim::setPlotSettingsValidatorAvailable(true);
  cadsim::setPlotConfigManagerAvailable(false);
  EXPECT_EQ(Raised([] { return GetDevicesJson(); }), "CAD_PLOT_RESOURCES_NOT_READY: plot config manager is unavailable.");
  EXPECT_EQ(GetStylesJson(), "[]");
  cadsim::setPlotConfigManagerAvailable(true);
  cadsim::setPlotCatalogue(cadsim::PlotCatalogue());
  EXPECT_EQ(Raised([] { return GetDevicesJson(); }), "CAD_PLOT_RESOURCES_NOT_READY: plot device catalogue is empty.");
}

TEST_F(PlotHost, OrientationFollowsTheMediasShape) {
  AcDbPlotSettingsValidator* validator = acdbHostApplicationServices()->plotSettingsValidator();
  const struct {
    const char* media;
    const char* orientation;
    AcDbPlotSettings::PlotRotation rotation;
  } rows[] = {
      {kA3, "portrait", AcDbPlotSettings::k90degrees},          // landscape-shaped media
      {kA3, "landscape", AcDbPlotSettings::k0degrees},
      {kA4Portrait, "landscape", AcDbPlotSettings::k90degrees}, // portrait-shaped media
      {kA4Portrait, "portrait", AcDbPlotSettings::k0degrees},
  };
  for (const auto& row : rows) {
    AcDbPlotSettings settings(false);
    const std::wstring media = OrvikWide(row.media);
    ASSERT_EQ(validator->setPlotCfgName(&settings, L"DWG To PDF.pc3", media.c_str()), Acad::eOk);
    ASSERT_EQ(validator->setPlotRotation(&settings, AcDbPlotSettings::k270degrees), Acad::eOk);
    LayoutCustomPlotParams p;
    p.orientation = row.orientation;
    EXPECT_EQ(ApplyCustomOrientation(validator, &settings, p), Acad::eOk);
    EXPECT_EQ(settings.plotRotation(), row.rotation) << row.media << " " << row.orientation;
  }
}

TEST_F(PlotHost, FailedLayoutPlotsAnswerTheirErrorCode) {
  const std::string blockHandle = cadsim::handleText(cadsim::addBlockDefinition(db, "B"));
  const std::string modelHandle = cadsim::handleText(cadsim::layoutId(db, "Model"));
  const std::string out = dir + "/o.pdf";
  EXPECT_EQ(Code(PerformLayoutPlot("", "Layout1", "", out)), "required_parameter_missing");
  EXPECT_EQ(Code(PerformLayoutPlot(Path(), "模型", "", out)), "model_not_supported");
  EXPECT_EQ(Code(PerformLayoutPlot("/else/where.dwg", "Layout1", "", out)), "dwg_mismatch");
  EXPECT_EQ(Code(PerformLayoutPlot(Path(), "NoSuch", "", out)), "layout_not_found");
  EXPECT_EQ(Code(PerformLayoutPlot(Path(), "Layout1", "", dir + "/a.pdf.txt")), "output_path_invalid");
  EXPECT_EQ(Code(PerformLayoutPlot(Path(), "Layout1", "", "/x.pdf")), "layout_plot_failed");
  // The handle is authoritative: a block's handle fails even though the name exists.
  const std::string viaBlock = PerformLayoutPlot(Path(), "Layout1", blockHandle, out);
  EXPECT_EQ(Code(viaBlock), "layout_plot_failed");
  EXPECT_NE(viaBlock.find("handleError=open layout object failed (Acad::ErrorStatus="), std::string::npos) << viaBlock;
  EXPECT_EQ(Code(PerformLayoutPlot(Path(), "Layout1", modelHandle, out)), "model_not_supported");
  // Layout2 has the new drawing's page setup, which names no device.
  EXPECT_EQ(Code(PerformLayoutPlot(Path(), "Layout2", "", out)), "validate_plot_info_failed");
  EXPECT_FALSE(fs::exists(out));
}

// That the layout's own page setup is left as it was is driven end to end in
// tests/e2e/test_plotting.py.
TEST_F(PlotHost, ACustomPlotOverridesACopy) {
  LayoutCustomPlotParams p = ReadCustomPlotParams(
      R"j({"layoutName":"Layout1","device":{"mode":"override","printer":"DWG To PDF.pc3","paper":"ISO_A4_(210.00_x_297.00_MM)"},)j"
      R"j("style":{"mode":"override","name":"/Library/Plot Styles/monochrome.ctb"},"orientation":"landscape",)j"
      R"j("scale":{"mode":"custom","units":"millimeters","denominator":2}})j");
  p.dwgPath = Path();
  p.outputPath = dir + "/custom.pdf";
  const std::string answer = PerformLayoutCustomPlot(p);
  EXPECT_NE(answer.find("\"success\":true"), std::string::npos) << answer;
  ASSERT_FALSE(cadsim::plotRecords().empty());
  const cadsim::PlotRecord record = cadsim::plotRecords().back();
  EXPECT_EQ(record.media, kA4Portrait);
  EXPECT_EQ(record.styleSheet, "monochrome.ctb");
  EXPECT_EQ(record.rotation, 1);
  EXPECT_DOUBLE_EQ(record.scale, 0.5);
  // A localized paper name is in the catalogue, but the host takes canonical names only.
  p.paper = "ISO A4 (210.00 x 297.00 MM)";
  EXPECT_EQ(Code(PerformLayoutCustomPlot(p)), "set_plot_media_failed");
}

TEST_F(PlotHost, AWindowPlotOfModelSpacePlotsTheWindow) {
  cadsim::addPolyline(db, cadsim::modelSpaceId(db), {{0, 0}, {200, 0}, {200, 100}, {0, 100}}, true);
  PlotParams p = ReadPlotParams(R"j({"printer":"DWG To PDF.pc3","paper":"ISO_A3_(420.00_x_297.00_MM)",)j"
                                R"j("layout":"Model","xmax":200,"ymax":100})j");
  p.outputPath = dir + "/w/window.pdf";
  EXPECT_EQ(PerformNativePlot(p), p.outputPath);
  ASSERT_FALSE(cadsim::plotRecords().empty());
  const cadsim::PlotRecord record = cadsim::plotRecords().back();
  EXPECT_TRUE(record.modelSpace);
  EXPECT_EQ(record.plotType, 4);
  EXPECT_DOUBLE_EQ(record.areaMaxX - record.areaMinX, 200);
}

// A page that cannot be ended leaves no PDF (or half a one): reported, never folded into success.
TEST_F(PlotHost, AFailedEndOfThePlotIsReported) {
  PlotParams window = ReadPlotParams(R"j({"printer":"DWG To PDF.pc3","paper":"ISO_A3_(420.00_x_297.00_MM)"})j");
  for (const char* call : {"endPage", "endDocument", "endPlot"}) {
    cadsim::failCall(call, 7);
    const std::string layout = PerformLayoutPlot(Path(), "Layout1", "", dir + "/l.pdf");
    EXPECT_EQ(Code(layout), "layout_plot_failed") << call;
    EXPECT_NE(layout.find("\"message\":\"generate plot failed (Acad::ErrorStatus=7).\""), std::string::npos) << layout;
    cadsim::failCall(call, 7);
    window.outputPath = dir + "/w.pdf";
    EXPECT_EQ(PerformNativePlot(window), "Error: generate 7") << call;
    cadsim::clearFaults();
  }
}

// Only "portrait" turns the window plot; the request's key is read from its text.
TEST_F(PlotHost, AWindowPlotTurnsForPortraitOnly) {
  for (const auto& row : {std::make_pair("portrait", 1), std::make_pair("landscape", 0), std::make_pair("90", 0)}) {
    PlotParams p = ReadPlotParams(std::string(R"j({"printer":"DWG To PDF.pc3","paper":"ISO_A3_(420.00_x_297.00_MM)",)j") +
                                  "\"rotation\":\"" + row.first + "\"}");
    p.outputPath = dir + "/turn.pdf";
    ASSERT_EQ(PerformNativePlot(p), p.outputPath) << row.first;
    EXPECT_EQ(cadsim::plotRecords().back().rotation, row.second) << row.first;
  }
}

// Every plot promises a PDF: a device that writes another kind of file is refused before anything
// is written, whether the layout's page setup or the request names it.
TEST_F(PlotHost, PlotsRefuseADeviceThatDoesNotWritePdf) {
  const std::string out = dir + "/x.pdf";
  LayoutCustomPlotParams p = ReadCustomPlotParams(
      R"j({"layoutName":"Layout1","device":{"mode":"override","printer":"DWF6 ePlot.pc3","paper":"ISO_A3_(420.00_x_297.00_MM)"},)j"
      R"j("style":{"mode":"inheritLayout"},"orientation":"inheritLayout","scale":{"mode":"inheritLayout","units":"inheritLayout"}})j");
  p.dwgPath = Path();
  p.outputPath = out;
  std::string answer = PerformLayoutCustomPlot(p);
  EXPECT_EQ(Code(answer), "set_plot_device_failed");
  EXPECT_NE(answer.find("the device DWF6 ePlot.pc3 does not write PDF (it writes .dwf files)."), std::string::npos)
      << answer;
  SetPageSetup("Layout2", "PublishToWeb PNG.pc3", "XGA_(1024.00_x_768.00_Pixels)");
  answer = PerformLayoutPlot(Path(), "Layout2", "", out);
  EXPECT_EQ(Code(answer), "set_plot_device_failed") << answer;
  PlotParams window = ReadPlotParams(R"j({"printer":"DWF6 ePlot.pc3","paper":"ISO_A3_(420.00_x_297.00_MM)"})j");
  window.outputPath = out;
  EXPECT_EQ(PerformNativePlot(window),
            "Error: set plot device failed: the device DWF6 ePlot.pc3 does not write PDF (it writes .dwf files).");
  EXPECT_TRUE(cadsim::plotRecords().empty());
  EXPECT_FALSE(fs::exists(out));
}

// Refused before any folder is made or anything written: a path naming a folder, something that is
// not a regular file, or a drawing the user has open.
TEST_F(PlotHost, AWindowPlotRefusesOutputPathsItMustNotReplace) {
  const std::string fifo = dir + "/pipe.pdf";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    std::string path;
    std::string answer;
  } rows[] = {
      {dir + "/o/a.pdf/", "Error: outputPath names a folder, not a file: " + dir + "/o/a.pdf/"},
      {fifo, "Error: outputPath is not a regular file: " + fifo},
      {dir, "Error: outputPath is not a regular file: " + dir},
      {Path(), "Error: outputPath names an open drawing: " + Path()},
  };
  for (const auto& row : rows) {
    PlotParams p = ReadPlotParams(R"j({"printer":"DWG To PDF.pc3","paper":"ISO_A3_(420.00_x_297.00_MM)"})j");
    p.outputPath = row.path;
    EXPECT_EQ(PerformNativePlot(p), row.answer);
  }
  EXPECT_FALSE(fs::exists(dir + "/o"));
  EXPECT_TRUE(cadsim::plotRecords().empty());
  EXPECT_EQ(Code(PerformLayoutPlot(Path(), "Layout1", "", dir + "/p/a.pdf/")), "output_path_invalid");
  EXPECT_FALSE(fs::exists(dir + "/p"));
}

// Each check's answer is driven end to end in tests/e2e/test_plotting.py; these are the cases it
// does not send.
TEST_F(PlotHost, TheSimulationChecksTheRequestDrawingCataloguesAndLayout) {
  LayoutPlotSimulationParams p = ReadSimulationParams(
      R"j({"spaceType":"layout","layoutName":"Layout1","printer":"DWG To PDF.pc3","paper":"ISO_A3_(420.00_x_297.00_MM)",)j"
      R"j("style":"monochrome.ctb","outputMode":"merge","scale":{"mode":"fitToPaper"}})j");
  p.dwgPath = Path();
  p.outputPath = dir + "/never.pdf";
  using Change = void (*)(LayoutPlotSimulationParams&);
  const struct {
    Change change;
    const char* code;
  } rows[] = {
      {[](LayoutPlotSimulationParams&) {}, ""},  // fitToPaper needs no denominator
      {[](LayoutPlotSimulationParams& q) { q.layoutName = ""; }, "model_not_supported"},
      {[](LayoutPlotSimulationParams& q) { q.outputMode = "Merge"; }, "output_mode_invalid"},  // case counts
      {[](LayoutPlotSimulationParams& q) { q.rotation = "-90"; }, "rotation_invalid"},
      {[](LayoutPlotSimulationParams& q) { q.outputPath = "C:\\OUT\\PLAN.PDF"; }, ""},
      {[](LayoutPlotSimulationParams& q) { q.dwgPath = "/else/where.dwg"; }, "dwg_mismatch"},
      {[](LayoutPlotSimulationParams& q) { q.style = "x/monochrome.ctb"; }, "style_not_found"},  // a path counts
  };
  for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
    LayoutPlotSimulationParams q = p;
    rows[i].change(q);
    const std::string answer = SimulateLayoutPlot(q);
    EXPECT_EQ(answer.rfind("{\"success\":true,", 0) == 0 ? "" : Code(answer), rows[i].code) << "row " << i;
  }
  // The drawing's path compares without letter case; the answer names it as the host does.
  p.dwgPath = AsciiLower(Path());
  EXPECT_NE(SimulateLayoutPlot(p).find("\"success\":true,\"simulated\":true,\"spaceType\":\"layout\",\"dwgPath\":\"" +
                                       EscapeLayoutPlotJson(Path()) + "\""),
            std::string::npos);
  EXPECT_EQ(cadsim::currentLayoutName(db), "Layout1");
  EXPECT_TRUE(cadsim::plotRecords().empty());
  EXPECT_FALSE(fs::exists(p.outputPath));
}

}  // namespace
