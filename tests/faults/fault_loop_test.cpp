// Every queued action survives the failure of any one host call it makes.
//
// For each row below: run the action once on a fresh host and count the host calls it makes, then
// run it again failing call 1, then call 2, and so on to the last. Every run must end with exactly
// one CadResult for the request, no drawing locked, no host object open, no host fault, and the
// next command answered. A run must also not hide its failure: an answer the same as the run
// without a fault, where that one reports success, is allowed only for the calls in kRecoverable.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "frames/frame_extraction.h"
#include "pipeline/result_reporting.h"
#include "pipeline/session_actions.h"
#include "tests/pipeline/fake_hub.h"
#include "tests/pipeline/pipeline_host.h"

namespace fs = std::filesystem;

namespace {

// The drawings a run starts from; `dir` holds plan.dxf, a drawing on disk that no run has open.
using Setup = std::function<void(const std::string& dir)>;

void OneDrawing(const std::string&) { cadsim::newDrawing(); }
void TwoDrawings(const std::string&) {
  cadsim::newDrawing();
  cadsim::newDrawing();
}
void PlanOpenBehindANewDrawing(const std::string& dir) {
  cadsim::openDrawing(dir + "/plan.dxf");
  cadsim::newDrawing();
}
// sheet.dxf beside plan.dxf: one layout with an attributed title block, for the layout query.
void ASheetOnDisk(const std::string& dir) {
  std::ofstream(dir + "/sheet.dxf")
      << "0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n8\n0\n2\nTB\n70\n2\n10\n0\n20\n0\n30\n0\n3\nTB\n0\nENDBLK\n8\n0\n"
         "0\nENDSEC\n0\nSECTION\n2\nENTITIES\n0\nINSERT\n5\nA0\n67\n1\n8\n0\n66\n1\n2\nTB\n10\n0\n20\n0\n30\n0\n"
         "0\nATTRIB\n5\nA1\n67\n1\n8\n0\n10\n0\n20\n0\n30\n0\n40\n2.5\n1\nS-01\n2\nNO\n70\n0\n0\nSEQEND\n8\n0\n"
         "0\nENDSEC\n0\nEOF\n";
  cadsim::openDrawing(dir + "/plan.dxf");
  cadsim::newDrawing();
}
// An attributed title block in model space, and on Layout1 when the drawing has one.
void AddTitleBlocks(AcApDocument* doc) {
  AcDbDatabase* db = cadsim::databaseOf(doc);
  const AcDbObjectId title = cadsim::addBlockDefinition(db, "TITLE", {{"NO", ""}});
  cadsim::addBlockReference(db, cadsim::modelSpaceId(db), title, AcGePoint3d(10, 10, 0), {{"NO", "M-1"}});
  cadsim::addBlockReference(db, cadsim::layoutSpaceId(db, "Layout1"), title, AcGePoint3d(10, 10, 0), {{"NO", "P-1"}});
}
void TitleBlocks(const std::string&) { AddTitleBlocks(cadsim::newDrawing()); }
void PlanWithTitleBlocksBehind(const std::string& dir) {
  AddTitleBlocks(cadsim::openDrawing(dir + "/plan.dxf"));
  cadsim::newDrawing();
}
// plan.dxf open behind a new drawing, its Layout1 set up to plot to PDF on ISO A3.
void PlanWithAPdfPageSetupBehind(const std::string& dir) {
  AcDbDatabase* db = cadsim::databaseOf(cadsim::openDrawing(dir + "/plan.dxf"));
  AcDbPlotSettingsValidator* validator = acdbHostApplicationServices()->plotSettingsValidator();
  AcDbLayout* layout = nullptr;
  if (validator && acdbOpenObject(layout, cadsim::layoutId(db, "Layout1"), AcDb::kForWrite) == Acad::eOk) {
    validator->setPlotCfgName(layout, L"DWG To PDF.pc3", L"ISO_A3_(420.00_x_297.00_MM)");
    layout->close();
  }
  cadsim::newDrawing();
}
void AStyleWithAMissingFont(const std::string&) {
  cadsim::addTextStyle(cadsim::databaseOf(cadsim::newDrawing()), "Lost", "gone.shx", "gbcbig.shx");
}

// Line work in model space, a frame block on Layout1 (current), and the extraction commands,
// which the plug-in registers at load.
void FramesOnTheCurrentLayout(const std::string&) {
  AcDbDatabase* db = cadsim::databaseOf(cadsim::newDrawing());
  const AcDbObjectId frame = cadsim::addBlockDefinition(db, "FRAME");
  cadsim::addPolyline(db, frame, {{0, 0}, {420, 0}, {420, 297}, {0, 297}}, true);
  cadsim::addBlockReference(db, cadsim::layoutSpaceId(db, "Layout1"), frame, AcGePoint3d(0, 0, 0));
  cadsim::addBlockReference(db, cadsim::modelSpaceId(db), frame, AcGePoint3d(0, 0, 0));
  cadsim::addLine(db, cadsim::modelSpaceId(db), AcGePoint3d(0, 0, 0), AcGePoint3d(0, 500, 0));
  SwitchSpace("Layout1");
  acedRegCmds->addCommand(L"TEST_GROUP", L"orvik-native-extract", L"orvik-native-extract", ACRX_CMD_NOHISTORY,
                          orvikNativeExtractCmd);
  acedRegCmds->addCommand(L"TEST_GROUP", L"orvik-native-extract-paper", L"orvik-native-extract-paper",
                          ACRX_CMD_NOHISTORY, orvikNativeExtractPaperCmd);
}

struct Row {
  const char* label;   // names the row in reports and in kKnownPluginFaults
  const char* action;
  const char* params;  // as the hub delivers them; "{dir}" stands for the folder of plan.dxf
  Setup setup;
};

// One row per queued action (or per state an action treats differently). To add an action, add
// one line: a label of its own, the action name, its parameter text and the drawings it needs
// (one of the setups above, or a new one beside them).
const Row kRows[] = {
    {"getDwgPath", "getDwgPath", "", OneDrawing},
    {"getCurrentSpace", "getCurrentSpace", "", OneDrawing},
    {"runLisp", "runLisp", "(princ \"loop\")", OneDrawing},
    {"runLispNoWait", "runLispNoWait", "(princ \"loop\")", OneDrawing},
    {"switchSpace", "switchSpace", "\"Layout1\"", OneDrawing},
    {"openDwg closed", "openDwg", "\"{dir}/plan.dxf\"", OneDrawing},
    {"openDwg behind", "openDwg", "\"{dir}/plan.dxf\"", PlanOpenBehindANewDrawing},
    {"closeDwg", "closeDwg", "", TwoDrawings},
    {"fixMissingFonts", "fixMissingFonts", "", AStyleWithAMissingFont},
    {"runLisp failing", "runLisp", "(no-such-function)", OneDrawing},
    {"runLisp closing its drawing", "runLisp", "(command \"CLOSE\")", TwoDrawings},
    {"switchSpace to no layout", "switchSpace", "\"NoSuchLayout\"", OneDrawing},
    {"queryDrawingLayouts active", "queryDrawingLayouts", R"({"source":"active","includeBlocks":true})", OneDrawing},
    {"queryDrawingLayouts files", "queryDrawingLayouts",
     R"({"source":"files","includeBlocks":true,"dwgPaths":["{dir}/sheet.dxf","{dir}/plan.dxf"]})", ASheetOnDisk},
    {"extractFrames model", "extractFrames", "\"model\"", FramesOnTheCurrentLayout},
    {"extractFrames paper", "extractFrames", "\"paper\"", FramesOnTheCurrentLayout},
    {"queryBlocks", "queryBlocks", R"({"xmin":0,"ymin":0,"xmax":100,"ymax":100})", TitleBlocks},
    {"queryBlocks on a layout", "queryBlocks", R"({"xmin":0,"ymin":0,"xmax":100,"ymax":100,"layout":"Layout1"})",
     TitleBlocks},
    {"queryAllBlocks", "queryAllBlocks", "", TitleBlocks},
    {"queryLayoutContext", "queryLayoutContext",
     R"({"dwgPath":"{dir}/plan.dxf","layoutName":"Model","includeBlocks":true})", PlanWithTitleBlocksBehind},
    {"getPrinters", "getPrinters", "", OneDrawing},
    {"getPaperSizes", "getPaperSizes", "\"DWG To PDF.pc3\"", OneDrawing},
    {"getStyles", "getStyles", "", OneDrawing},
    {"getLayouts", "getLayouts", "", OneDrawing},
    {"nativePlot", "nativePlot",
     R"j({"printer":"DWG To PDF.pc3","paper":"ISO_A3_(420.00_x_297.00_MM)","style":"monochrome.ctb","layout":"Model","outputPath":"{dir}/out/window.pdf"})j",
     OneDrawing},
    {"simulateLayoutPlot", "simulateLayoutPlot",
     R"j({"spaceType":"layout","dwgPath":"{dir}/plan.dxf","layoutName":"Layout1","printer":"DWG To PDF.pc3","paper":"ISO_A3_(420.00_x_297.00_MM)","style":"monochrome.ctb","outputMode":"single","outputPath":"{dir}/out/sim.pdf","scale":{"mode":"fitToPaper"}})j",
     PlanWithAPdfPageSetupBehind},
    {"layoutPlot", "layoutPlot", R"({"dwgPath":"{dir}/plan.dxf","layoutName":"Layout1","outputPath":"{dir}/out/sheet.pdf"})",
     PlanWithAPdfPageSetupBehind},
    {"layoutCustomPlot", "layoutCustomPlot",
     R"j({"dwgPath":"{dir}/plan.dxf","layoutName":"Layout1","outputPath":"{dir}/out/custom.pdf","device":{"mode":"override","printer":"DWG To PDF.pc3","paper":"ISO_A4_(210.00_x_297.00_MM)"},"style":{"mode":"override","name":"monochrome.ctb"},"scale":{"mode":"custom","units":"millimeters","denominator":2},"orientation":"landscape"})j",
     PlanWithAPdfPageSetupBehind},
};

// Failures the plug-in does not survive yet: the row ("*": every row), the failing call's number
// and name, and what breaks. Call 0 means the row's action breaks without any fault; its runs with
// one are then not judged. The loop checks that each entry still breaks, so a mended fault shows,
// and that the call is still the one named, so a changed action cannot hide another call behind a
// stale entry.
struct KnownFault {
  const char* label;
  size_t call;
  const char* hostCall;
  const char* reason;
};
const std::vector<KnownFault> kKnownPluginFaults = {};

// Host calls whose failure an action gets over and then still does all it was asked: the row
// ("*": every row), the call's name as injectedFailures() gives it, and how the action gets over it.
struct Recoverable {
  const char* label;
  const char* hostCall;
  const char* how;
};
const std::vector<Recoverable> kRecoverable = {
    {"*", "beginExecuteInApplicationContext", "a refused post is made again, and the queue runs then"},
    {"*", "inputPointManager", "watching the user's input is no part of any answer"},
    {"*", "addInputContextReactor", "watching the user's input is no part of any answer"},
    {"getCurrentSpace", "acedGetVar", "a CTAB the host does not give reads as \"Model\""},
    {"openDwg closed", "newAcApDocumentIterator", "without the list of open drawings the file is opened"},
    {"openDwg closed", "acedGetVar", "the readiness check that reads it is made again"},
    {"closeDwg", "disableDocumentActivation", "the drawing closes without activation held"},
    {"closeDwg", "enableDocumentActivation", "the drawing is closed already"},
    {"fixMissingFonts", "getRecord", "a style not read is looked at again on the next pass"},
    {"fixMissingFonts", "workingDatabase", "the document's own database stands in"},
    {"fixMissingFonts", "findFile", "a font not found is replaced, as a missing one is"},
    {"fixMissingFonts", "sendStringToExecute", "the regeneration after the repair only redraws"},
    {"extractFrames model", "acedGetCurViewportObjectId", "model space is read without a viewport"},
    {"getPaperSizes", "getLocaleMediaName", "the canonical media name stands in"},
    {"queryBlocks", "acedGetVar", "only the restoring of the user's view reads it"},
    {"queryBlocks", "acedSetVar", "only the restoring of the user's view writes it"},
    {"queryBlocks", "acedSetCurrentView", "only the restoring of the user's view sets it"},
    {"queryBlocks on a layout", "acedGetVar", "only the restoring of the user's view reads it"},
    {"queryBlocks on a layout", "acedSetCurrentView", "only the restoring of the user's view sets it"},
    {"queryAllBlocks", "acedGetVar", "only the restoring of the user's view reads it"},
    {"queryLayoutContext", "acedGetVar", "only the restoring of the user's view reads it"},
    // The window plot keeps the layout's own value where a setting is refused.
    {"nativePlot", "acedGetVar", "the view is focused without it"},
    {"nativePlot", "acedSetCurrentView", "the view is focused without it"},
    {"nativePlot", "copyFrom", "the plot starts from the default settings"},
    {"nativePlot", "setPlotOrigin", "the layout's own origin"},
    {"nativePlot", "setPlotPaperUnits", "the layout's own units"},
    {"nativePlot", "setCurrentStyleSheet", "the layout's own style table"},
    {"nativePlot", "setPlotCentered", "the layout's own placement"},
    {"nativePlot", "setUseStandardScale", "the layout's own scale"},
    {"nativePlot", "setStdScaleType", "the layout's own scale"},
    {"nativePlot", "setPlotRotation", "the layout's own rotation"},
    // Where the host cannot say what file the device writes, the plot goes on unchecked, as the
    // layout plots do.
    {"nativePlot", "acplPlotConfigManagerPtr", "the device's output is not checked"},
    {"nativePlot", "setCurrentConfig", "the device's output is not checked"},
};

bool IsRecoverable(const std::string& label, const std::string& hostCall) {
  for (const Recoverable& r : kRecoverable)
    if ((label == r.label || std::string(r.label) == "*") && hostCall == r.hostCall) return true;
  return false;
}

// Whether an answer (status and text, as AnswerOf gives it) reports a failure.
bool SaysFailure(const std::string& answer) {
  return answer.rfind("\"false\"", 0) == 0 || answer.find("Error") != std::string::npos ||
         answer.find("error") != std::string::npos || answer.find("fail") != std::string::npos;
}

const KnownFault* FindKnown(const std::string& label, size_t call) {
  for (const KnownFault& k : kKnownPluginFaults)
    if ((label == k.label || std::string(k.label) == "*") && call == k.call) return &k;
  return nullptr;
}

class FaultLoop : public ::testing::TestWithParam<Row> {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/orvik-faults-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    std::ofstream(dir + "/plan.dxf") << "0\nSECTION\n2\nENTITIES\n0\nENDSEC\n0\nEOF\n";
    cadsim::reset();
    ASSERT_TRUE(OrvikWebSocket::Connect(hub.Url(), HandleCommand));
    SetSessionSleepForTesting([](int) {});
  }
  void TearDown() override {
    OrvikWebSocket::Disconnect();
    SetSessionSleepForTesting(nullptr);
    UnloadPipelineForTesting();
    std::error_code ec;
    fs::remove_all(dir, ec);
  }

  // A fresh host with the pipeline's side of the plug-in loaded, the row's drawings open and the
  // active one confirmed ready; nothing counted yet.
  void FreshWorld(const Row& row) {
    LoadPipelineForTesting();
    row.setup(dir);
    cadsim::runUntilIdle();
    cadsim::clearFaults();
  }

  // Runs the row's action as request `reqId` until the host is idle; false when it was not queued.
  bool RunAction(const Row& row, const std::string& reqId) {
    std::string params = row.params;
    for (size_t at = params.find("{dir}"); at != std::string::npos; at = params.find("{dir}", at + dir.size()))
      params.replace(at, 5, dir);
    const std::string answer = HandleCommand(reqId, row.action, params);
    cadsim::runUntilIdle();
    return answer == "__QUEUED__";
  }

  // The status and text of the request's first answer, as the record holds them ("" when none).
  std::string AnswerOf(const std::string& reqId) {
    const std::string head = "{\"type\":1,\"target\":\"CadResult\",\"arguments\":[\"" + reqId + "\",";
    for (const std::string& r : hub.Records())
      if (r.compare(0, head.size(), head) == 0) return r.substr(head.size());
    return "";
  }

  // What the run left broken: empty when every end condition holds.
  std::vector<std::string> Broken(const std::string& reqId) {
    std::vector<std::string> broken;
    for (AcApDocument* doc : cadsim::documents())
      if (int locks = cadsim::lockCount(doc))
        broken.push_back(cadsim::titleUtf8(doc) + " left locked (" + std::to_string(locks) + ")");
    for (const std::string& open : cadsim::openObjects()) broken.push_back("left open: " + open);
    for (const std::string& fault : cadsim::faultLog()) broken.push_back("host fault: " + fault);

    const std::string probe = reqId + "/next";
    HandleCommand(probe, "getDwgPath", "");
    cadsim::runUntilIdle();
    // Records arrive in the order they were sent: once the fence is in, everything before it is.
    const std::string fence = reqId + "/fence";
    SendCadResult(fence, "true", "");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::map<std::string, int> answers;
    for (;;) {
      const size_t seen = hub.RecordCount();  // before the answers: a record arriving between is not missed
      answers = hub.AnswersPerRequest();
      if (answers.count(fence) || std::chrono::steady_clock::now() >= deadline) break;
      hub.WaitForRecords(seen + 1, 1000);
    }
    if (!answers.count(fence)) broken.push_back("the hub never got the fence");
    if (answers[reqId] != 1) broken.push_back(std::to_string(answers[reqId]) + " answers to the request");
    if (answers[probe] != 1) broken.push_back(std::to_string(answers[probe]) + " answers to the next command");
    return broken;
  }

  FakeHub hub;
  std::string dir;
};

std::string Joined(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : "; ") + p;
  return out;
}

TEST_P(FaultLoop, ActionSurvivesAnyOneFailingHostCall) {
  const Row& row = GetParam();
  const std::string base = row.label;
  FreshWorld(row);
  ASSERT_TRUE(RunAction(row, base + "#0")) << base << ": not queued";
  const size_t calls = cadsim::hostCallCount();
  std::vector<std::string> broken = Broken(base + "#0");
  if (FindKnown(base, 0)) {
    EXPECT_FALSE(broken.empty()) << base << " is survived now: drop it from kKnownPluginFaults";
    return;
  }
  EXPECT_TRUE(broken.empty()) << base << " without a fault: " << Joined(broken);
  EXPECT_GT(calls, 0u) << base;
  const std::string unfailed = AnswerOf(base + "#0");

  for (size_t k = 1; k <= calls; ++k) {
    const std::string reqId = base + "#" + std::to_string(k);
    FreshWorld(row);
    cadsim::failNthHostCall(k);
    ASSERT_TRUE(RunAction(row, reqId)) << reqId << ": not queued";
    const std::vector<std::string> failed = cadsim::injectedFailures();
    cadsim::clearFaults();
    ASSERT_EQ(failed.size(), 1u) << reqId << ": call " << k << " of " << calls << " was not made";
    broken = Broken(reqId);
    if (AnswerOf(reqId) == unfailed && !SaysFailure(unfailed) && !IsRecoverable(base, failed[0]))
      broken.push_back("answered as if nothing had failed: " + unfailed);
    const KnownFault* known = FindKnown(base, k);
    if (!known) {
      EXPECT_TRUE(broken.empty()) << base << ", call " << k << " (" << failed[0] << ") failing: " << Joined(broken);
      continue;
    }
    EXPECT_EQ(failed[0], known->hostCall) << base << ", call " << k << ": the known fault names another call";
    EXPECT_FALSE(broken.empty()) << base << ", call " << k << " (" << failed[0]
                                 << ") is survived now: drop it from kKnownPluginFaults";
  }
}

// Test names from the row labels: letters and digits kept, anything else as "_".
std::string RowName(const ::testing::TestParamInfo<Row>& info) {
  std::string name = info.param.label;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(QueuedActions, FaultLoop, ::testing::ValuesIn(kRows), RowName);

}  // namespace
