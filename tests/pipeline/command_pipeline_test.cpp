// Admission, queueing, execution and answers of remote commands, with the host driven by hand and
// the answers read off a hub on loopback.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "layouts/cancellation_registry.h"
#include "pipeline/document_binding.h"
#include "pipeline/request_json.h"
#include "tests/pipeline/fake_hub.h"
#include "tests/pipeline/pipeline_host.h"

namespace fs = std::filesystem;

namespace {

const std::string kNotReadyAtAdmission = "CAD_DOCUMENT_NOT_READY: No initialized active drawing is available.";

// Tasks of the two test actions run through this; it says what became of each.
std::function<TaskOutcome(const CommandTask&)> g_testRun;
TaskOutcome RunTestTask(const CommandTask& task, AcApDocManager*) { return g_testRun(task); }
constexpr int32_t kTestGated = 90;  // gated on the active drawing
constexpr int32_t kTestFree = 91;   // names its drawing itself
const ActionRow kTestActions[] = {
    {"testGated", kTestGated, ActionParams::kAsReceived, nullptr, true, ActionAnswer::kQueued, nullptr, nullptr,
     RunTestTask},
    {"testFree", kTestFree, ActionParams::kAsReceived, nullptr, false, ActionAnswer::kQueued, nullptr, nullptr,
     RunTestTask},
};

class Pipeline : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadPipelineForTesting();
    RegisterActions(kTestActions);
    SetSessionSleepForTesting([this](int ms) { slept += ms; });
    char pattern[] = "/tmp/orvik-pipeline-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    ASSERT_TRUE(OrvikWebSocket::Connect(hub.Url(), HandleCommand));
  }
  void TearDown() override {
    OrvikWebSocket::Disconnect();
    g_testRun = nullptr;
    SetSessionSleepForTesting(nullptr);
    EXPECT_TRUE(cadsim::faultLog().empty()) << cadsim::faultLog().front();
    UnloadPipelineForTesting();
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  AcApDocument* OpenReady(const std::string& path) {
    AcApDocument* doc = cadsim::openDrawing(path);
    cadsim::runUntilIdle();
    return doc;
  }
  // Admits the request and runs the host until idle.
  void Run(const std::string& reqId, const std::string& action, const std::string& params) {
    EXPECT_EQ(HandleCommand(reqId, action, params), "__QUEUED__") << action;
    cadsim::runUntilIdle();
  }
  FakeHub hub;
  std::string dir;
  int slept = 0;
};

TEST_F(Pipeline, ImmediateAnswersQueueNothing) {
  OpenReady(dir + "/a.dwg");
  struct Case {
    const char* action;
    std::string params;
    std::string answer;
  } cases[] = {
      {"verifyDir", dir, "EXISTS"},  // unquoted
      {"verifyDir", "", "NOT_FOUND"},
      {"GetDwgPath", "", "Error: Unknown action 'GetDwgPath'"},  // names are case-sensitive
      {"runLisp", "", "Error: Empty LISP code."},
      {"runLispNoWait", "", "Error: Empty LISP code."},
      {"switchSpace", "\"\"", "Error: spaceName required"},  // quotes alone are empty
      {"openDwg", "\"\"", "Error: Empty DWG path."},
      {"nativePlot", "", "Error: Empty plot params."},
      {"simulateLayoutPlot", "", "Error: Empty layout plot params."},
      {"layoutPlot", "", "Error: Empty layout plot params."},
      {"layoutPlotCustom", "", "Error: Empty custom layout plot params."},
      {"layoutCustomPlot", "", "Error: Empty custom layout plot params."},
  };
  for (const Case& c : cases) EXPECT_EQ(HandleCommand("r", c.action, c.params), c.answer) << c.action << " " << c.params;
  cadsim::runUntilIdle();
  EXPECT_EQ(hub.RecordsBeforeFence(), std::vector<std::string>{});
}

TEST_F(Pipeline, CancellationIdentifiersAreUnquotedAndUnescaped) {
  struct Case {
    std::string params;
    std::string cancels;
  } cases[] = {
      {"\"abc\"", "abc"},
      {"abc", "abc"},
      {"\"", "\""},              // one quote character is an identifier of its own
      {"\"a\\\"b\"", "a\"b"},    // a JSON string is unescaped
  };
  for (const Case& c : cases) {
    OrvikDrawingLayouts::FinishQuery(c.cancels);
    HandleCommand("x", "cancelDrawingLayouts", c.params);
    EXPECT_TRUE(OrvikDrawingLayouts::IsCancelled(c.cancels)) << c.params;
    OrvikDrawingLayouts::FinishQuery(c.cancels);
  }
}

TEST_F(Pipeline, TasksRunOneAtATimeInOrderAndEachCompletionSchedulesOneDrain) {
  OpenReady("/a.dwg");
  std::vector<std::string> ran;
  g_testRun = [&](const CommandTask& t) {
    ran.push_back(t.reqId);
    return t.reqId == "hold" ? DeferTaskToCommandLine(t.reqId) : TaskOutcome::Done("done " + t.reqId);
  };
  uint64_t epoch = CurrentDocumentEpoch();
  EnqueueAndSchedule(CommandTask{"hold", kTestGated, "", 0});
  cadsim::runUntilIdle();
  ASSERT_EQ(ran, std::vector<std::string>{"hold"});
  ASSERT_TRUE(g_queueBusy.load());

  for (const char* id : {"t1", "t2", "t3"}) EnqueueAndSchedule(CommandTask{id, kTestGated, "", epoch});
  EXPECT_EQ(cadsim::pendingCallbackCount(), 0u);  // the running task's completion will drain
  OnTaskComplete("hold", "done hold", true);
  EXPECT_EQ(cadsim::pendingCallbackCount(), 1u);
  EXPECT_TRUE(cadsim::runOneCallback());
  EXPECT_EQ(ran.size(), 2u);  // one task per drain
  cadsim::runUntilIdle();
  EXPECT_EQ(ran, (std::vector<std::string>{"hold", "t1", "t2", "t3"}));
  EXPECT_FALSE(g_queueBusy.load());
  EXPECT_EQ(hub.WaitForRecords(4).size(), 4u);
}

TEST_F(Pipeline, AThrowingTaskEndsWithItsMessageAndTheNextStillRuns) {
  OpenReady("/a.dwg");
  g_testRun = [&](const CommandTask& t) {
    if (t.reqId == "std") throw std::invalid_argument("stod");
    if (t.reqId == "other") throw 42;
    return TaskOutcome::Done("fine");
  };
  uint64_t epoch = CurrentDocumentEpoch();
  for (const char* id : {"std", "other", "next"}) EnqueueAndSchedule(CommandTask{id, kTestGated, "", epoch});
  cadsim::runUntilIdle();
  auto records = hub.WaitForRecords(3);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0], ResultRecord("std", "false", "stod"));
  EXPECT_EQ(records[1], ResultRecord("other", "false", "Error: Unknown C++ exception."));
  EXPECT_EQ(records[2], ResultRecord("next", "true", "fine"));
}

TEST_F(Pipeline, CompletionWhileDisconnectedStillUnlocksAndMovesOn) {
  AcApDocument* doc = OpenReady("/a.dwg");
  std::vector<std::string> ran;
  g_testRun = [&](const CommandTask& t) {
    ran.push_back(t.reqId);
    if (t.reqId == "first") {
      acDocManagerPtr()->lockDocument(doc, AcAp::kWrite);
      g_lockedDocument = doc;
      OrvikWebSocket::Disconnect();
    }
    return TaskOutcome::Done("done");
  };
  uint64_t epoch = CurrentDocumentEpoch();
  EnqueueAndSchedule(CommandTask{"first", kTestGated, "", epoch});
  EnqueueAndSchedule(CommandTask{"second", kTestGated, "", epoch});
  cadsim::runUntilIdle();
  EXPECT_EQ(ran, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(cadsim::lockCount(doc), 0);
  EXPECT_EQ(g_lockedDocument, nullptr);
}

// A task that typed its work into the drawing ends when its marker runs, or, when the marker will
// never come, as soon as the host says so; either way the lock goes and the queue moves on.
TEST_F(Pipeline, ADeferredTaskEndsWithItsMarkerOrWhenTheMarkerCanNoLongerCome) {
  AcApDocument* a = OpenReady(dir + "/a.dwg");
  cadsim::addLayout(cadsim::databaseOf(a), "A\\B \"q\"");
  const std::string kLispFailed =
      "Error: The AutoLISP code failed or was cancelled; the rest of the sent text was not run.";
  struct Case {
    const char* action;
    std::string params;
    std::string answer;
  } cases[] = {
      {"runLisp", "(no-such-function)", kLispFailed},  // the failing line drops the marker
      {"switchSpace", "\"No Such Layout\"", kLispFailed},
      // A command failing inside LISP code that goes on: the marker still comes.
      {"runLisp", "(command \"NOSUCHCMD\")\n(princ \"went on\")", "OK"},
      // Backslashes and quotes survive the LISP string; a line feed would split the typed text.
      {"switchSpace", "\"A\\B \"q\"\"", "OK"},
      {"switchSpace", "\"Layout1\n(princ)\"", "Error: spaceName must not contain control characters."},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string id = "r" + std::to_string(n++);
    Run(id, c.action, c.params);
    Run(id + "-next", "getDwgPath", "");
    auto answers = hub.WaitForRecords(static_cast<size_t>(2 * n));
    ASSERT_EQ(answers.size(), static_cast<size_t>(2 * n)) << c.params;
    EXPECT_EQ(answers[static_cast<size_t>(2 * n - 2)], ResultRecord(id, "true", c.answer)) << c.params;
    EXPECT_EQ(answers.back(), ResultRecord(id + "-next", "true", dir + "/a.dwg"));
    EXPECT_EQ(cadsim::lockCount(a), 0) << c.params;
  }
  EXPECT_EQ(cadsim::currentLayoutName(cadsim::databaseOf(a)), "A\\B \"q\"");
  EXPECT_NE(cadsim::output().find("went on"), std::string::npos);

  // Run by hand with nothing deferred: the message with an empty identifier, and no answer.
  cadsim::clearOutput();
  cadsim::typeLine("orvik-notify-lisp-done");
  EXPECT_NE(cadsim::output().find("(reqId=)"), std::string::npos);
  EXPECT_EQ(hub.RecordsBeforeFence().size(), static_cast<size_t>(2 * n));
}

// Closing the drawing a deferred task holds ends the task; the destroyed drawing is never unlocked.
TEST_F(Pipeline, ClosingTheDrawingOfADeferredTaskEndsIt) {
  AcApDocument* a = OpenReady(dir + "/a.dwg");
  OpenReady(dir + "/b.dwg");
  cadsim::activate(a);
  cadsim::runUntilIdle();
  EXPECT_EQ(HandleCommand("lisp", "runLisp", "(princ 1)"), "__QUEUED__");
  EXPECT_TRUE(cadsim::runOneCallback());  // the drain: the text is typed, not yet run
  ASSERT_TRUE(TaskIsDeferred());
  cadsim::close(a);
  cadsim::runUntilIdle();
  EXPECT_FALSE(g_queueBusy.load());
  EXPECT_EQ(g_lockedDocument, nullptr);
  auto records = hub.WaitForRecords(1);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0], ResultRecord("lisp", "true", "Error: The drawing was closed before the request completed."));
}

// A drain the host refuses to post is posted again by the next enqueue, completion or probe.
TEST_F(Pipeline, ARefusedDrainPostIsRetried) {
  OpenReady(dir + "/a.dwg");
  cadsim::failCall("beginExecuteInApplicationContext", 3);
  EXPECT_EQ(HandleCommand("first", "getDwgPath", ""), "__QUEUED__");
  EXPECT_EQ(cadsim::pendingCallbackCount(), 0u);
  scheduleDocumentProbe();  // the next probe tries again
  cadsim::runUntilIdle();
  EXPECT_EQ(hub.WaitForRecords(1).size(), 1u);

  cadsim::failCall("beginExecuteInApplicationContext", 3);
  EXPECT_EQ(HandleCommand("second", "getDwgPath", ""), "__QUEUED__");
  EXPECT_EQ(HandleCommand("third", "getDwgPath", ""), "__QUEUED__");  // so does the next command
  cadsim::runUntilIdle();
  auto records = hub.WaitForRecords(3);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1], ResultRecord("second", "true", dir + "/a.dwg"));
  EXPECT_EQ(records[2], ResultRecord("third", "true", dir + "/a.dwg"));
}

// Without a ready drawing the gate comes before the action name: an unknown action is refused as
// not ready rather than called unknown. Actions that name their drawing themselves pass it.
TEST_F(Pipeline, WithoutAReadyDrawingOnlyActionsNamingTheirDrawingPassTheGate) {
  EXPECT_EQ(HandleCommand("r", "noSuchAction", ""), "__QUEUED__");
  EXPECT_EQ(hub.WaitForRecords(1).at(0), ResultRecord("r", "false", kNotReadyAtAdmission));
  const std::string path = dir + "/c.dwg";
  std::ofstream(path) << "0\nSECTION\n2\nENTITIES\n0\nENDSEC\n0\nEOF\n";
  EXPECT_EQ(HandleCommand("v", "verifyDir", dir), "EXISTS");
  Run("open", "openDwg", "\"" + path + "\"");
  auto records = hub.WaitForRecords(2);
  ASSERT_EQ(records.size(), 2u);  // nothing was queued for the refused one
  EXPECT_EQ(records[1], ResultRecord("open", "true", "OPENED:" + path));
}

TEST_F(Pipeline, OnlyTheDrawingIndependentActionsSkipTheGate) {
  for (const char* name : {"verifyDir", "openDwg", "queryDrawingLayouts", "queryLayoutContext", "simulateLayoutPlot",
                           "layoutPlot", "layoutPlotCustom", "layoutCustomPlot"})
    EXPECT_FALSE(ActionUsesActiveDocument(name)) << name;
  for (const char* name : {"cancelDrawingLayouts", "getPrinters", "runLisp", "extractFrames", "noSuchAction"})
    EXPECT_TRUE(ActionUsesActiveDocument(name)) << name;
}

// A command the host refused to register never completes a task: the tasks that would type it end
// at once with an error, and the queue moves on.
TEST_F(Pipeline, ATaskThatWouldTypeAnUnregisteredCommandEndsAtOnce) {
  AcApDocument* doc = OpenReady(dir + "/a.dwg");
  SetUnregisteredCommands({"ORVIK-NOTIFY-LISP-DONE", "orvik-native-extract"});
  Run("lisp", "runLisp", "(princ 1)");
  Run("space", "switchSpace", "Layout1");
  Run("frames", "extractFrames", "\"model\"");
  SetUnregisteredCommands({});
  auto records = hub.WaitForRecords(3);
  ASSERT_EQ(records.size(), 3u);
  const char* lisp = "Error: The CAD command orvik-notify-lisp-done is not registered, so the request cannot be completed.";
  EXPECT_EQ(records[0], ResultRecord("lisp", "true", lisp));
  EXPECT_EQ(records[1], ResultRecord("space", "true", lisp));
  EXPECT_EQ(records[2], ResultRecord("frames", "true", "Error: The CAD command orvik-native-extract is not registered, so "
                                                       "the request cannot be completed."));
  EXPECT_FALSE(TaskIsDeferred());
  EXPECT_EQ(cadsim::lockCount(doc), 0);
}

// The layout plots run inside the layout preservation: the layout current before is current again,
// and the simulation's answer is exactly this text (key order, escaping).
TEST_F(Pipeline, LayoutPlotsPutTheCurrentLayoutBack) {
  AcApDocument* doc = OpenReady(dir + "/a.dwg");
  AcDbDatabase* db = cadsim::databaseOf(doc);
  ASSERT_EQ(cadsim::currentLayoutName(db), "Model");
  const std::string path = cadsim::fileNameUtf8(doc);
  Run("sim", "simulateLayoutPlot",
      R"j({"spaceType":"layout","dwgPath":")j" + path + R"j(","layoutName":"Layout1","printer":"DWG To PDF.pc3",)j"
      R"j("outputMode":"single","mode":"fitToPaper","outputPath":")j" + dir + R"j(/a \"q\".pdf"})j");
  EXPECT_EQ(cadsim::currentLayoutName(db), "Model");
  Run("custom", "layoutCustomPlot",
      R"j({"dwgPath":")j" + path + R"j(","layoutName":"Layout1","outputPath":")j" + dir + R"j(/c.pdf",)j"
      R"j("device":{"mode":"override","printer":"DWG To PDF.pc3","paper":"ISO_A3_(420.00_x_297.00_MM)"},)j"
      R"j("style":{"mode":"inheritLayout"},"scale":{"mode":"inheritLayout","units":"inheritLayout"},)j"
      R"j("orientation":"inheritLayout"})j");
  EXPECT_EQ(cadsim::currentLayoutName(db), "Model");
  auto records = hub.WaitForRecords(2);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0], ResultRecord("sim", "true", EscapeJsonString(
      R"j({"success":true,"simulated":true,"spaceType":"layout","dwgPath":")j" + path + R"j(","layoutName":"Layout1",)j"
      R"j("printer":"DWG To PDF.pc3","paper":"","style":"","scaleMode":"fitToPaper","scaleDenominator":0,)j"
      R"j("rotation":"","outputMode":"single","outputPath":")j" + dir + R"j(/a \"q\".pdf"})j")));
  EXPECT_NE(records[1].find("Layout PDF created."), std::string::npos) << records[1];
  EXPECT_TRUE(fs::exists(dir + "/c.pdf"));
}

TEST(LispText, IsPreparedForTheCommandLine) {
  EXPECT_EQ(PrepareLispCode("(a)\r\n(b)\r\n"), "(a)\n(b)\n");  // CR LF becomes LF, no second LF
  EXPECT_EQ(EscapeLispString("a\"b\\c"), "a\\\"b\\\\c");  // both quotes and backslashes
}

// The stale lock goes before the open, so the one there afterwards is the host's own.
TEST_F(Pipeline, OpenDwgSweepsStaleLocksBeforeOpeningNotAfter) {
  OpenReady(dir + "/a.dwg");
  const std::string fresh = dir + "/sub/c.dwg";
  fs::create_directories(dir + "/sub");
  std::ofstream(dir + "/sub/c.dwl2") << "x";
  std::ofstream(fresh) << "0\nSECTION\n2\nENTITIES\n0\nENDSEC\n0\nEOF\n";  // the host opens files only
  Run("open", "openDwg", "\"" + fresh + "\"");
  EXPECT_EQ(hub.WaitForRecords(1).back(), ResultRecord("open", "true", "OPENED:" + fresh));
  std::string lock;
  std::getline(std::ifstream(dir + "/sub/c.dwl2"), lock);
  EXPECT_NE(lock, "x");
  EXPECT_EQ(slept, 100);  // the database was there at once: only the settle pause
  EXPECT_EQ(cadsim::lockCount(cadsim::findDocument(fresh)), 0);
}

// A host call refused inside a task ends that task once with the host's status, and releases the
// lock: a text the host refuses to type never reaches its marker, so it must not hold the queue.
TEST_F(Pipeline, HostRefusalsEndTheTaskOnceWithTheHostsStatus) {
  AcApDocument* a = OpenReady(dir + "/a.dwg");
  struct Case {
    const char* fault;
    int status;
    const char* action;
    std::string params;
    std::string answer;
  } cases[] = {
      {"lockDocument", 5, "runLisp", "(princ 1)", "Error: lockDocument code=5"},
      {"sendStringToExecute", 3, "runLisp", "(princ 1)", "Error: sendStringToExecute code=3"},
      {"sendStringToExecute", 3, "switchSpace", "\"Layout1\"", "Error: sendStringToExecute code=3"},
      {"sendStringToExecute", 3, "runLispNoWait", "(princ 1)", "Error: sendStringToExecute code=3"},  // not "OK"
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    cadsim::failCall(c.fault, c.status);
    Run("r" + std::to_string(i), c.action, c.params);
    cadsim::clearFaults();
    auto records = hub.WaitForRecords(i + 1);
    ASSERT_EQ(records.size(), i + 1) << c.action;
    EXPECT_EQ(records[i], ResultRecord("r" + std::to_string(i), "true", c.answer)) << c.action;
    EXPECT_FALSE(g_queueBusy.load());
    EXPECT_EQ(cadsim::lockCount(a), 0);
  }
}

TEST_F(Pipeline, ADrainOutsideTheApplicationContextReschedulesItself) {
  OpenReady("/a.dwg");
  int ran = 0;
  g_testRun = [&](const CommandTask&) {
    ++ran;
    return TaskOutcome::Done("");
  };
  {
    std::lock_guard<std::mutex> lock(g_queueMutex);
    g_pendingQueue.push_back(CommandTask{"x", kTestGated, "", CurrentDocumentEpoch()});
  }
  ProcessCommandQueue(nullptr);  // called from document context, as a command would
  EXPECT_EQ(ran, 0);
  EXPECT_EQ(cadsim::pendingCallbackCount(), 1u);
  cadsim::runUntilIdle();
  EXPECT_EQ(ran, 1);
}

}  // namespace
