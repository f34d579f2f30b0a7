// The drawing-session actions end to end inside the process: requests admitted by HandleCommand,
// run by the drain on the simulated host's main thread, answered on a hub on loopback.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "cadsim/control.h"
#include "link/client_state.h"
#include "pipeline/command_dispatch.h"
#include "pipeline/command_queue.h"
#include "pipeline/document_binding.h"
#include "pipeline/result_reporting.h"
#include "pipeline/session_actions.h"
#include "plugin/document_readiness.h"
#include "tests/pipeline/fake_hub.h"

namespace fs = std::filesystem;

namespace {

std::string Result(const std::string& reqId, const std::string& message) {
  return "{\"type\":1,\"target\":\"CadResult\",\"arguments\":[\"" + reqId + "\",\"true\",\"" + message + "\"]}";
}

class SessionActions : public ::testing::Test {
 protected:
  void SetUp() override {
    cadsim::reset();
    resetDocumentReadiness();
    ResetCommandQueue();
    updateCadDocumentState(false, "", "", 1);
    setReadinessMonitoring(true);
    acDocManagerPtr()->addReactor(&documentReactor());
    acedEditor->addReactor(&readinessEditorReactor());
    acedRegCmds->addCommand(L"TEST_GROUP", L"orvik-notify-lisp-done", L"orvik-notify-lisp-done",
                            ACRX_CMD_NOHISTORY, orvikNotifyLispDoneCmd);
    SetSessionSleepForTesting([this](int ms) { slept += ms; });
    char pattern[] = "/tmp/orvik-actions-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    ASSERT_TRUE(OrvikWebSocket::Connect(hub.Url(), HandleCommand));
    a = Open(dir + "/a.dwg");
  }
  void TearDown() override {
    OrvikWebSocket::Disconnect();
    SetSessionSleepForTesting(nullptr);
    ResetCommandQueue();
    EXPECT_TRUE(cadsim::faultLog().empty()) << cadsim::faultLog().front();
    // Closed one by one: the host's reset trips over several drawings torn down at once.
    for (AcApDocument* doc : cadsim::documents()) cadsim::close(doc);
    cadsim::runUntilIdle();
    cadsim::reset();
    resetDocumentReadiness();
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  AcApDocument* Open(const std::string& path) {
    AcApDocument* doc = cadsim::openDrawing(path);
    cadsim::runUntilIdle();
    return doc;
  }
  // Admits the request, runs the host until idle and returns the answers so far.
  std::vector<std::string> Run(const std::string& reqId, const std::string& action, const std::string& params) {
    EXPECT_EQ(HandleCommand(reqId, action, params), "__QUEUED__") << action;
    cadsim::runUntilIdle();
    return Answers();
  }
  std::vector<std::string> Answers() {
    hub.WaitForRecords(answered + 1, 300);
    auto records = hub.Results();
    answered = records.size();
    return records;
  }
  FakeHub hub;
  std::string dir;
  AcApDocument* a = nullptr;
  int slept = 0;
  size_t answered = 0;
};

TEST_F(SessionActions, AdmissionRefusesEmptyParametersAtOnce) {
  struct Case {
    const char* action;
    const char* params;
    const char* answer;
  } cases[] = {
      {"runLisp", "", "Error: Empty LISP code."},
      {"runLispNoWait", "", "Error: Empty LISP code."},
      {"switchSpace", "\"\"", "Error: spaceName required"},  // quotes alone are empty
      {"switchSpace", "", "Error: spaceName required"},
      {"openDwg", "\"\"", "Error: Empty DWG path."},
  };
  for (const Case& c : cases) EXPECT_EQ(HandleCommand("r", c.action, c.params), c.answer) << c.action;
  cadsim::runUntilIdle();
  EXPECT_TRUE(hub.Results().empty());  // nothing was queued
}

TEST_F(SessionActions, LispTextIsPreparedForTheCommandLine) {
  struct Case {
    std::string in, out;
  } lisp[] = {
      {"(princ 1)", "(princ 1)\n"},               // a final line feed is added
      {"(a)\r\n(b)\r\n", "(a)\n(b)\n"},           // CR LF becomes LF, no second LF
      {"\r", "\n"},                               // only carriage returns: one line feed
  };
  for (const Case& c : lisp) EXPECT_EQ(PrepareLispCode(c.in), c.out);
  EXPECT_EQ(EscapeLispString("a\"b\\c"), "a\\\"b\\c");  // quotes only; a backslash passes as is
}

TEST_F(SessionActions, WaitingLispAndSpaceSwitchAnswerOnlyWhenTheMarkerRuns) {
  EXPECT_EQ(Run("lisp", "runLisp", "(princ \"from-lisp\")\r\n(princ \"second\")").size(), 1u);
  EXPECT_EQ(hub.Results().back(), Result("lisp", "OK"));
  EXPECT_NE(cadsim::output().find("from-lisp"), std::string::npos);
  EXPECT_EQ(cadsim::lockCount(a), 0);  // released by the completion

  Run("space", "switchSpace", "\"Layout1\"");
  EXPECT_EQ(hub.Results().back(), Result("space", "OK"));
  EXPECT_EQ(CurrentSpaceName(), "Layout1");

  // A failing line stops before the marker: the task stays running and the queue waits, by design.
  EXPECT_EQ(Run("bad", "runLisp", "(no-such-function)").size(), 2u);
  Run("after", "getDwgPath", "");
  EXPECT_EQ(hub.Results().size(), 2u);
  EXPECT_TRUE(g_queueBusy.load());
  EXPECT_EQ(cadsim::lockCount(a), 1);
  cadsim::typeLine("_.orvik-notify-lisp-done");  // the user ends it by hand
  cadsim::runUntilIdle();
  auto answers = hub.WaitForRecords(4);
  ASSERT_EQ(answers.size(), 4u);
  EXPECT_EQ(answers[2], Result("bad", "OK"));
  EXPECT_EQ(answers[3], Result("after", dir + "/a.dwg"));
}

TEST_F(SessionActions, NoWaitLispIsAnsweredBeforeItsCodeRuns) {
  EXPECT_EQ(HandleCommand("nw", "runLispNoWait", "(princ \"late\")"), "__QUEUED__");
  ASSERT_TRUE(cadsim::runOneCallback());  // the drain alone
  ASSERT_EQ(Answers().size(), 1u);
  EXPECT_EQ(hub.Results()[0], Result("nw", "OK"));
  EXPECT_EQ(cadsim::output().find("late"), std::string::npos);
  cadsim::runUntilIdle();
  EXPECT_NE(cadsim::output().find("late"), std::string::npos);
}

TEST_F(SessionActions, OpenDwgOpensSwitchesOrFindsTheDrawingInFront) {
  AcApDocument* b = Open(dir + "/b.dwg");
  const std::string fresh = dir + "/sub/c.dwg";
  fs::create_directories(dir + "/sub/old");
  std::ofstream(dir + "/sub/old/c.dwl") << "x";
  std::ofstream(dir + "/sub/c.dwl2") << "x";
  std::ofstream(fresh) << "0\nSECTION\n2\nENTITIES\n0\nENDSEC\n0\nEOF\n";  // the host opens files only
  struct Case {
    std::string params, answer;
  } cases[] = {
      {"\"" + dir + "/b.dwg\"", "ALREADY_CURRENT:" + dir + "/b.dwg"},
      {"\"" + dir + "\\a.dwg\"", "SWITCHED:" + dir + "/a.dwg"},   // a backslash spelling binds too
      {"\"" + fresh + "\"", "OPENED:" + fresh},
  };
  for (const Case& c : cases) {
    Run("open", "openDwg", c.params);
    EXPECT_EQ(hub.Results().back(), Result("open", c.answer));
    EXPECT_FALSE(g_queueBusy.load());
  }
  EXPECT_FALSE(fs::exists(dir + "/sub/old/c.dwl"));
  // The stale lock went; the one there now is the host's own, kept while the drawing is open.
  std::string lock;
  std::getline(std::ifstream(dir + "/sub/c.dwl2"), lock);
  EXPECT_NE(lock, "x");
  EXPECT_EQ(slept, 100);  // the database was there at once: only the settle pause
  EXPECT_EQ(cadsim::lockCount(a) + cadsim::lockCount(b), 0);
  EXPECT_EQ(DocumentPath(acDocManagerPtr()->mdiActiveDocument()), fresh);

  Run("missing", "openDwg", dir + "/nowhere.dwg");
  EXPECT_EQ(hub.Results().back(), Result("missing", "Error: Open failed code=76"));
}

TEST_F(SessionActions, LockFailuresEndTheTaskOnce) {
  cadsim::failCall("lockDocument", 5);
  Run("l", "runLisp", "(princ 1)");
  EXPECT_EQ(hub.Results().back(), Result("l", "Error: lockDocument code=5"));
  Run("f", "fixMissingFonts", "");
  EXPECT_EQ(hub.Results().back(), Result("f", "OK"));  // the default style's font is there

  g_queueBusy.store(true);
  EXPECT_FALSE(LockTaskDocument(acDocManagerPtr(), nullptr, "null"));
  EXPECT_EQ(Answers().back(), Result("null", "Error: Cannot lock a null document."));
  EXPECT_FALSE(g_queueBusy.load());
  EXPECT_EQ(hub.Results().size(), 3u);
}

}  // namespace
