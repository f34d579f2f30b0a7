// The plot answers' pure rules: escaping, membership, numbers and names under hostile locales, the
// output path rules, the errorCode classification and the request checks.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <locale>
#include <string>

#include "plot/plot_json.h"
#include "plot/plot_paths.h"
#include "plot/plot_requests.h"
#include "plot/plot_result.h"

namespace fs = std::filesystem;

namespace {

// Runs a test body under a process locale (C and C++ global), restoring both afterwards.
class ProcessLocale {
 public:
  explicit ProcessLocale(const char* name) : m_saved(std::setlocale(LC_ALL, nullptr)), m_global() {
    m_ok = std::setlocale(LC_ALL, name) != nullptr;
    if (m_ok) std::locale::global(std::locale(name));
  }
  ~ProcessLocale() {
    std::setlocale(LC_ALL, m_saved.c_str());
    std::locale::global(m_global);
  }
  bool ok() const { return m_ok; }

 private:
  std::string m_saved;
  std::locale m_global;
  bool m_ok = false;
};

TEST(PlotJson, EscapesEveryControlByteAndKeepsTheRest) {
  const struct {
    std::string in, out;
  } rows[] = {
      {"A3 \"wide\"", "A3 \\\"wide\\\""},           // quotes
      {"C:\\styles\\a.ctb", "C:\\\\styles\\\\a.ctb"},  // backslashes
      {"a\nb\rc", "a\\nb\\rc"},                     // line feed and carriage return keep short forms
      {"a\tb", "a\\u0009b"},                        // tab, formerly copied raw
      {std::string("x\x01\x1fy", 4), "x\\u0001\\u001fy"},  // other control bytes
      {std::string("n\0ul", 4), "n\\u0000ul"},       // NUL inside a name
      {"图纸 \x7f", "图纸 \x7f"},                    // UTF-8 and DEL unchanged
  };
  for (const auto& row : rows) EXPECT_EQ(EscapeLayoutPlotJson(row.in), row.out) << row.in;
}

TEST(PlotJson, ContainsMatchesWholeStringsOnly) {
  const std::string names = R"j(["ISO_A3_(420.00_x_297.00_MM)","b\"a","tab\u0009name","c\\d"])j";
  EXPECT_FALSE(JsonContainsString(names, "iso_a3_(420.00_x_297.00_mm)"));  // case-sensitive
  EXPECT_FALSE(JsonContainsString(names, "ISO_A3"));                       // part of a name
  EXPECT_TRUE(JsonContainsString(names, "b\"a"));                          // quote inside a name
  EXPECT_FALSE(JsonContainsString(names, "a"));                            // ...is no string start
  EXPECT_TRUE(JsonContainsString(names, "tab\tname"));                     // control byte escaped alike
  EXPECT_TRUE(JsonContainsString(names, "c\\d"));
  EXPECT_FALSE(JsonContainsString("[\"open", "open"));                     // unterminated
  EXPECT_FALSE(JsonContainsString(R"([{"width":420}])", "width"));         // a key is no paper
}

TEST(PlotJson, NamesFoldAsciiLettersOnlyWhateverTheLocale) {
  ProcessLocale koi8("ru_RU.KOI8-R");
  ASSERT_TRUE(koi8.ok()) << "tools/setup.sh generates ru_RU.KOI8-R";
  EXPECT_TRUE(EqualsIgnoreCase("Monochrome.CTB", "monochrome.ctb"));
  EXPECT_FALSE(EqualsIgnoreCase("a.ctb", "a.ctb "));
  // U+4E33 and U+4E23 differ in one continuation byte (B3 / A3), which KOI8-R's tolower folds.
  EXPECT_FALSE(EqualsIgnoreCase("\xe4\xb8\xb3", "\xe4\xb8\xa3"));
  EXPECT_FALSE(EqualsIgnoreCase("Ä", "ä"));
  EXPECT_EQ(NormalizeComparablePath("/D/\xe4\xb8\xb3.DWG"), "/d/\xe4\xb8\xb3.dwg");
}

TEST(PlotJson, NumbersStayJsonUnderADecimalCommaLocale) {
  ProcessLocale german("de_DE.UTF-8");
  ASSERT_TRUE(german.ok()) << "tools/setup.sh generates de_DE.UTF-8";
  ASSERT_EQ(std::to_string(0.5), "0,500000");  // the conversion the answers must not use
  EXPECT_EQ(FormatFixedSix(296.5), "296.500000");
  EXPECT_EQ(FormatShortNumber(1e6), "1e+06");
  EXPECT_EQ(FormatShortNumber(1234567), "1.23457e+06");  // no digit grouping either
  EXPECT_EQ(FormatShortNumber(0.25), "0.25");
  EXPECT_EQ(FormatFixedSix(std::numeric_limits<double>::infinity()), "null");
  EXPECT_EQ(FormatShortNumber(std::nan("")), "null");
}

TEST(PlotPaths, FileStemsAreOneSafeFileName) {
  const struct {
    std::string name, stem;
  } rows[] = {
      {"A/B: plan?", "A_B_ plan_"},          // separators and reserved characters
      {"<>:\"/\\|?*", "_________"},          // all nine
      {". . ..", "Layout"},                  // only dots and spaces, no way up the tree
      {"a\tb\x1f", "a_b_"},                  // control bytes
      {"布局一", "布局一"},                    // Chinese unchanged
      {"Plan. ", "Plan"},                    // trailing dot and space
  };
  for (const auto& row : rows) EXPECT_EQ(SanitizeLayoutFileStem(row.name), row.stem) << row.name;
  // A long Chinese name is cut before a whole character and still fits one file name with ".pdf".
  std::string longName;
  for (int i = 0; i < 120; ++i) longName += "图";
  const std::string stem = SanitizeLayoutFileStem(longName);
  EXPECT_LE(stem.size() + 4, 255u);
  EXPECT_EQ(stem.size() % 3, 0u);
}

// The default under HOME itself is driven end to end in tests/e2e/test_plotting.py.
TEST(PlotPaths, DefaultPathIsUnderTmpWithoutAHome) {
  const char* saved = std::getenv("HOME");
  const std::string home = saved ? saved : "";
  setenv("HOME", "", 1);
  EXPECT_EQ(MakeLayoutPdfPath("L"), "/tmp/Documents/OrvikPut/L.pdf");
  unsetenv("HOME");
  EXPECT_EQ(MakeLayoutPdfPath(".."), "/tmp/Documents/OrvikPut/Layout.pdf");
  if (saved) setenv("HOME", home.c_str(), 1);
}

TEST(PlotPaths, ComparableFormsAndTheExtensionTest) {
  EXPECT_EQ(NormalizeComparablePath("C:\\Work\\Plan.DWG\\"), "c:/work/plan.dwg");
  EXPECT_TRUE(HasPdfExtension(".pdf"));         // four characters are enough
  EXPECT_FALSE(HasPdfExtension("pdf"));
  // A trailing separator names a folder: its parents would leave a folder "a.pdf" behind.
  EXPECT_FALSE(HasPdfExtension("/tmp/a.pdf/"));
  EXPECT_FALSE(HasPdfExtension("C:\\out\\a.PDF\\"));
}

TEST(PlotPaths, DirectoryTreeIsCreatedOrRefused) {
  char pattern[] = "/tmp/orvik-plot-paths-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string root = pattern;
  std::ofstream(root + "/file") << "x";
  ASSERT_EQ(mkdir((root + "/locked").c_str(), 0500), 0);
  EXPECT_TRUE(EnsureDirectoryTree(root + "/a//b/./c"));        // empty and dot segments
  EXPECT_TRUE(fs::is_directory(root + "/a/b/c"));
  EXPECT_TRUE(EnsureDirectoryTree(root + "/a/../up"));         // a way up is an ordinary prefix
  EXPECT_TRUE(fs::is_directory(root + "/up"));
  EXPECT_TRUE(EnsureDirectoryTree(root + "/名 \"q\" |*?"));    // hostile but legal names
  EXPECT_TRUE(fs::is_directory(root + "/名 \"q\" |*?"));
  EXPECT_FALSE(EnsureDirectoryTree(root + "/file/sub"));       // a file in the way
  EXPECT_FALSE(EnsureDirectoryTree(root + "/file"));
  EXPECT_FALSE(EnsureDirectoryTree(""));
  if (geteuid() != 0) {
    EXPECT_FALSE(EnsureDirectoryTree(root + "/locked/sub"));  // root may write anyway
  }
  EXPECT_TRUE(EnsureParentDirectory(root + "/p/q/out.pdf"));
  EXPECT_TRUE(fs::is_directory(root + "/p/q"));
  EXPECT_FALSE(EnsureParentDirectory("/x.pdf"));               // only "/" at the start
  std::error_code ec;
  fs::permissions(root + "/locked", fs::perms::owner_all, ec);
  fs::remove_all(root, ec);
}

TEST(PlotResult, ErrorCodesFollowTheMessage) {
  const struct {
    std::string plotResult, code, message;
  } rows[] = {
      {"Error: active DWG does not match dwgPath. active=/a.dwg; requested=/b.dwg", "dwg_mismatch",
       "active DWG does not match dwgPath. active=/a.dwg; requested=/b.dwg"},
      {"Error: The current page is Model space. Switch to a paper-space layout and retry.", "model_not_supported", ""},
      {"Error: layout was not found. requestedName=X; availableLayouts=[]", "layout_not_found", ""},
      {"Error: outputPath must end with .pdf.", "output_path_invalid", ""},
      {"Error: printer was not found.", "printer_not_found", ""},
      {"Error: paper was not found for the selected printer.", "paper_not_found", ""},
      {"Error: plot style was not found.", "style_not_found", ""},
      {ManualPlotError("set plot device", 3), "set_plot_device_failed", "set plot device failed (Acad::ErrorStatus=3)."},
      {ManualPlotError("set canonical media", 5), "set_plot_media_failed", ""},
      {ManualPlotError("set plot style", 5), "set_plot_style_failed", ""},
      {ManualPlotError("validate plot info", 5), "validate_plot_info_failed", ""},
      {"Error: Another plot is already in progress.", "plot_busy", "Another plot is already in progress."},
      {ManualPlotError("begin page", 5), "layout_plot_failed", ""},
      // Names after "=" never classify: a layout named like another failure stays not found.
      {"Error: layout was not found. requestedName=Model space; availableLayouts=[\"active DWG\"]",
       "layout_not_found", ""},
      {"Error: authoritative layoutHandle could not be resolved; layoutHandle=outputPath; handleError=x",
       "layout_plot_failed", ""},
      {"Error:    leading spaces", "layout_plot_failed", "leading spaces"},
  };
  for (const auto& row : rows) {
    const std::string expected = row.message.empty() ? row.plotResult.substr(7) : row.message;
    EXPECT_EQ(LayoutPlotFailure(row.plotResult),
              "{\"success\":false,\"simulated\":false,\"errorCode\":\"" + row.code + "\",\"message\":\"" +
                  EscapeLayoutPlotJson(expected) + "\"}")
        << row.plotResult;
  }
}

TEST(PlotResult, SuccessObjectEscapesNamesAndKeepsKeyOrder) {
  EffectivePlotSettings s;
  s.printer = "DWG To PDF.pc3";
  s.paper = "ISO_A3_(420.00_x_297.00_MM)";
  s.style = "mono\"chrome.ctb";
  EXPECT_EQ(LayoutPlotSuccess("C:\\d\\a.dwg", "Plan\t1", "/o/a.pdf", s),
            "{\"success\":true,\"errorCode\":\"\",\"message\":\"Layout PDF created.\",\"dwgPath\":\"C:\\\\d\\\\a.dwg\","
            "\"layoutName\":\"Plan\\u00091\",\"outputPath\":\"/o/a.pdf\",\"effectiveSettings\":{\"deviceMode\":"
            "\"inheritLayout\",\"printer\":\"DWG To PDF.pc3\",\"paper\":\"ISO_A3_(420.00_x_297.00_MM)\",\"styleMode\":"
            "\"inheritLayout\",\"style\":\"mono\\\"chrome.ctb\",\"scaleMode\":\"inheritLayout\",\"scaleDenominator\":0,"
            "\"units\":\"inheritLayout\",\"orientation\":\"inheritLayout\"}}");
}

TEST(PlotRequests, CustomOverridesAreValidatedInOrder) {
  using Change = void (*)(LayoutCustomPlotParams&);
  const struct {
    Change change;
    const char* message;
  } rows[] = {
      {[](LayoutCustomPlotParams&) {}, ""},
      {[](LayoutCustomPlotParams& p) { p.deviceMode = "Override"; }, "Error: device.mode must be inheritLayout or override."},
      {[](LayoutCustomPlotParams& p) { p.paper = ""; }, "Error: Custom printer and paper are required together."},
      {[](LayoutCustomPlotParams& p) { p.deviceMode = "inheritLayout"; p.paper = ""; }, ""},
      {[](LayoutCustomPlotParams& p) { p.styleMode = "none"; }, "Error: style.mode must be inheritLayout or override."},
      {[](LayoutCustomPlotParams& p) { p.style = ""; }, "Error: Custom plot style is required."},
      {[](LayoutCustomPlotParams& p) { p.plotArea = "window"; }, "Error: plotArea must be layout."},
      {[](LayoutCustomPlotParams& p) { p.scaleMode = ""; }, "Error: scale.mode must be inheritLayout or custom."},
      {[](LayoutCustomPlotParams& p) { p.scaleMode = "inheritLayout"; p.scaleUnits = "cm"; },
       "Error: scale.units must be inheritLayout, millimeters or inches."},
      {[](LayoutCustomPlotParams& p) { p.scaleMode = "inheritLayout"; p.scaleDenominator = 0; }, ""},
      {[](LayoutCustomPlotParams& p) { p.scaleDenominator = 0; }, "Error: Custom scale numerator and denominator must be greater than zero."},
      {[](LayoutCustomPlotParams& p) { p.scaleNumerator = -1; }, "Error: Custom scale numerator and denominator must be greater than zero."},
      {[](LayoutCustomPlotParams& p) { p.scaleDenominator = std::numeric_limits<double>::infinity(); },
       "Error: Custom scale numerator and denominator must be greater than zero."},
      {[](LayoutCustomPlotParams& p) { p.orientation = "Portrait"; }, "Error: orientation must be inheritLayout, landscape or portrait."},
  };
  for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
    LayoutCustomPlotParams p = ReadCustomPlotParams(
        R"j({"device":{"mode":"override","printer":"DWG To PDF.pc3","paper":"ISO_A4_(210.00_x_297.00_MM)"},)j"
        R"j("style":{"mode":"override","name":"monochrome.ctb"},"orientation":"portrait",)j"
        R"j("scale":{"mode":"custom","units":"millimeters","denominator":50}})j");
    rows[i].change(p);
    EXPECT_EQ(ValidateCustomPlotParams(p), rows[i].message) << "row " << i;
  }
}

TEST(PlotRequests, OrientationTurnsTheSheetOnlyWhenItsShapeDiffers) {
  const struct {
    double w, h;
    const char* orientation;
    bool upsideDown;
    int rotation;
  } rows[] = {
      {300, 300, "landscape", false, 0},  // square counts as wide
      {300, 300, "portrait", false, 1},
      {420, 297, "portrait", true, 3},    // upside down
      {420, 297, "landscape", true, 2},
  };
  for (const auto& r : rows)
    EXPECT_EQ(CustomPlotRotation(r.w, r.h, r.orientation, r.upsideDown), r.rotation) << r.w << "x" << r.h << " " << r.orientation;
}

TEST(PlotRequests, RequestsFillTheRecords) {
  const PlotParams window = ReadPlotParams(
      R"j({"printer":"DWG To PDF.pc3","paper":"ISO_A3_(420.00_x_297.00_MM)","outputPath":"/o/\u56fe \"1\".pdf","xmin": 5,"ymax":100.5})j");
  EXPECT_EQ(window.outputPath, "/o/图 \"1\".pdf");
  EXPECT_EQ(window.ymin, 0);  // what is left out keeps its default
  EXPECT_EQ(window.xmax, 420);
  EXPECT_THROW(ReadPlotParams(R"j({"xmin":"abc"})j"), std::invalid_argument);

  const LayoutCustomPlotParams custom = ReadCustomPlotParams(
      R"j({"dwgPath":"/d/a.dwg","layoutName":"A","device":{"mode":"override","printer":"P","paper":"Q"},"scale":{"mode":"inheritLayout","units":"inheritLayout"},"orientation":"portrait"})j");
  EXPECT_EQ(custom.paper, "Q");
  EXPECT_EQ(custom.styleMode, "");  // no style object: the record's default does not survive
  EXPECT_EQ(custom.plotArea, "layout");
}

}  // namespace
