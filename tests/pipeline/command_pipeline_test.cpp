// Admission, queueing, execution and answers of remote commands, with the host driven by hand and
// the answers read off a hub on loopback.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>
#include <stdexcept>

#include "cadsim/control.h"
#include "layouts/cancellation_registry.h"
#include "link/client_state.h"
#include "pipeline/command_dispatch.h"
#include "pipeline/command_queue.h"
#include "pipeline/result_reporting.h"
#include "plugin/document_readiness.h"
#include "tests/pipeline/fake_hub.h"

namespace {

std::string Result(const std::string& reqId, const std::string& status, const std::string& message) {
  return "{\"type\":1,\"target\":\"CadResult\",\"arguments\":[\"" + reqId + "\",\"" + status + "\",\"" +
         message + "\"]}";
}

class Pipeline : public ::testing::Test {
 protected:
  void SetUp() override {
    cadsim::reset();
    resetDocumentReadiness();
    ResetCommandQueue();
    SetTaskRunnerForTesting(nullptr);
    updateCadDocumentState(false, "", "", 1);
    setReadinessMonitoring(true);
    acDocManagerPtr()->addReactor(&documentReactor());
    acedEditor->addReactor(&readinessEditorReactor());
    ASSERT_TRUE(OrvikWebSocket::Connect(hub.Url(), HandleCommand));
  }
  void TearDown() override {
    OrvikWebSocket::Disconnect();
    SetTaskRunnerForTesting(nullptr);
    ResetCommandQueue();
    EXPECT_TRUE(cadsim::faultLog().empty()) << cadsim::faultLog().front();
    cadsim::reset();
    resetDocumentReadiness();
  }
  AcApDocument* OpenReady(const std::string& path) {
    AcApDocument* doc = cadsim::openDrawing(path);
    cadsim::runUntilIdle();
    return doc;
  }
  FakeHub hub;
};

TEST_F(Pipeline, WithoutAReadyDrawingCommandsAreRefusedOnceWithSuccessFalse) {
  EXPECT_EQ(HandleCommand("r1", "getDwgPath", ""), "__QUEUED__");
  // The gate comes first: an unknown action is refused the same way, not called unknown.
  EXPECT_EQ(HandleCommand("r2", "noSuchAction", ""), "__QUEUED__");
  auto records = hub.WaitForRecords(2);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0], Result("r1", "false", "CAD_DOCUMENT_NOT_READY: No initialized active drawing is available."));
  EXPECT_EQ(records[1], Result("r2", "false", "CAD_DOCUMENT_NOT_READY: No initialized active drawing is available."));
  cadsim::runUntilIdle();
  EXPECT_EQ(hub.Records().size(), 2u);  // nothing was queued, so nothing more is answered

  // A drawing still opening is not ready either; actions naming their own drawing pass the gate.
  cadsim::beginOpen("/a.dwg");
  cadsim::runUntilIdle();
  EXPECT_EQ(HandleCommand("r3", "getCurrentSpace", ""), "__QUEUED__");
  EXPECT_EQ(HandleCommand("r4", "verifyDir", "\"/\""), "EXISTS");
}

TEST_F(Pipeline, ImmediateAnswers) {
  OpenReady("/a.dwg");
  char dir[] = "/tmp/orvik-verify-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string file = std::string(dir) + "/f.txt";
  fclose(fopen(file.c_str(), "w"));
  struct Case {
    const char* action;
    std::string params;
    std::string answer;
  } cases[] = {
      {"verifyDir", std::string("\"") + dir + "\"", "EXISTS"},
      {"verifyDir", dir, "EXISTS"},
      {"verifyDir", "\"" + file + "\"", "NOT_FOUND"},  // a regular file is not a folder
      {"verifyDir", "", "NOT_FOUND"},
      {"cancelDrawingLayouts", "\"abc\"", "{\"success\":true}"},
      {"cancelDrawingLayouts", "", "{\"success\":true}"},
      {"GetDwgPath", "", "Error: Unknown action 'GetDwgPath'"},  // names are case-sensitive
  };
  for (const Case& c : cases) EXPECT_EQ(HandleCommand("r", c.action, c.params), c.answer) << c.action << " " << c.params;
  remove(file.c_str());
  rmdir(dir);
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

TEST_F(Pipeline, QueuedCommandsAreAnsweredOnceAfterTheyRunOnTheMainThread) {
  OpenReady("/drawings/a b.dwg");
  EXPECT_EQ(HandleCommand("p1", "getDwgPath", ""), "__QUEUED__");
  EXPECT_EQ(HandleCommand("p2", "getCurrentSpace", ""), "__QUEUED__");
  EXPECT_TRUE(hub.Records().empty());
  cadsim::runUntilIdle();
  auto records = hub.WaitForRecords(2);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0], Result("p1", "true", "/drawings/a b.dwg"));
  EXPECT_EQ(records[1], Result("p2", "true", "Model"));
}

TEST_F(Pipeline, ARequestIdentifierIsEscapedInItsAnswer) {
  SendCadResult("a\"b\\c", "true", "x\ty\x01");
  auto records = hub.WaitForRecords(1);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0], Result("a\\\"b\\\\c", "true", "x\\ty\\u0001"));
  SendCadResult("", "true", "nobody waits");
  OnTaskComplete("", "nobody waits", true);
  SendCadResult("last", "true", "");
  auto after = hub.WaitForRecords(2);
  ASSERT_EQ(after.size(), 2u);  // the empty identifiers produced nothing in between
  EXPECT_EQ(after[1], Result("last", "true", ""));
}

TEST_F(Pipeline, TasksRunOneAtATimeInOrderAndEachCompletionSchedulesOneDrain) {
  OpenReady("/a.dwg");
  std::vector<std::string> ran;
  SetTaskRunnerForTesting([&](const CommandTask& t) {
    ran.push_back(t.reqId);
    if (t.reqId != "hold") OnTaskComplete(t.reqId, "done " + t.reqId, true);
  });
  uint64_t epoch = CurrentDocumentEpoch();
  EnqueueAndSchedule(CommandTask{"hold", kGetDwgPath, "", 0});
  cadsim::runUntilIdle();
  ASSERT_EQ(ran, std::vector<std::string>{"hold"});
  ASSERT_TRUE(g_queueBusy.load());

  for (const char* id : {"t1", "t2", "t3"}) EnqueueAndSchedule(CommandTask{id, kGetDwgPath, "", epoch});
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

TEST_F(Pipeline, TasksCarryTheEpochOfTheirAdmission) {
  OpenReady("/a.dwg");
  std::vector<uint64_t> epochs;
  SetTaskRunnerForTesting([&](const CommandTask& t) {
    epochs.push_back(t.documentEpoch);
    OnTaskComplete(t.reqId, "", true);
  });
  uint64_t now = CurrentDocumentEpoch();
  EnqueueAndSchedule(CommandTask{"a", kOpenDwg, "", 0});
  EnqueueAndSchedule(CommandTask{"b", kOpenDwg, "", 12345});
  cadsim::runUntilIdle();
  EXPECT_EQ(epochs, (std::vector<uint64_t>{now, 12345}));
}

TEST_F(Pipeline, ATaskAdmittedBeforeTheDrawingChangedIsRefusedWhenItRuns) {
  OpenReady("/a.dwg");
  AcApDocument* b = cadsim::openDrawing("/b.dwg");
  cadsim::runUntilIdle();
  EXPECT_EQ(HandleCommand("styles", "getDwgPath", ""), "__QUEUED__");
  EXPECT_EQ(HandleCommand("space", "getCurrentSpace", ""), "__QUEUED__");
  cadsim::activate(cadsim::findDocument("/a.dwg"));  // the user switches before the drain runs
  cadsim::runUntilIdle();
  auto records = hub.WaitForRecords(2);
  ASSERT_EQ(records.size(), 2u);
  const std::string refusal = "CAD_DOCUMENT_NOT_READY: The active document changed or is still initializing.";
  EXPECT_EQ(records[0], Result("styles", "false", refusal));
  EXPECT_EQ(records[1], Result("space", "false", refusal));
  EXPECT_EQ(acDocManagerPtr()->mdiActiveDocument(), cadsim::findDocument("/a.dwg"));
  EXPECT_NE(b, nullptr);
}

TEST_F(Pipeline, AThrowingTaskEndsWithItsMessageAndTheNextStillRuns) {
  OpenReady("/a.dwg");
  SetTaskRunnerForTesting([&](const CommandTask& t) {
    if (t.reqId == "std") throw std::invalid_argument("stod");
    if (t.reqId == "other") throw 42;
    OnTaskComplete(t.reqId, "fine", true);
  });
  uint64_t epoch = CurrentDocumentEpoch();
  for (const char* id : {"std", "other", "next"}) EnqueueAndSchedule(CommandTask{id, kGetDwgPath, "", epoch});
  cadsim::runUntilIdle();
  auto records = hub.WaitForRecords(3);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0], Result("std", "false", "stod"));
  EXPECT_EQ(records[1], Result("other", "false", "Error: Unknown C++ exception."));
  EXPECT_EQ(records[2], Result("next", "true", "fine"));
}

TEST_F(Pipeline, CompletionWhileDisconnectedStillUnlocksAndMovesOn) {
  AcApDocument* doc = OpenReady("/a.dwg");
  std::vector<std::string> ran;
  SetTaskRunnerForTesting([&](const CommandTask& t) {
    ran.push_back(t.reqId);
    if (t.reqId == "first") {
      acDocManagerPtr()->lockDocument(doc, AcAp::kWrite);
      g_lockedDocument = doc;
      OrvikWebSocket::Disconnect();
    }
    OnTaskComplete(t.reqId, "done", true);
  });
  uint64_t epoch = CurrentDocumentEpoch();
  EnqueueAndSchedule(CommandTask{"first", kGetDwgPath, "", epoch});
  EnqueueAndSchedule(CommandTask{"second", kGetDwgPath, "", epoch});
  cadsim::runUntilIdle();
  EXPECT_EQ(ran, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(cadsim::lockCount(doc), 0);
  EXPECT_EQ(g_lockedDocument, nullptr);
  EXPECT_FALSE(g_queueBusy.load());
}

TEST_F(Pipeline, ADeferredTaskHoldsTheQueueUntilItsMarkerCommandRuns) {
  OpenReady("/a.dwg");
  acedRegCmds->addCommand(L"TEST_GROUP", L"orvik-notify-lisp-done", L"orvik-notify-lisp-done",
                          ACRX_CMD_NOHISTORY, orvikNotifyLispDoneCmd);
  std::vector<std::string> ran;
  SetTaskRunnerForTesting([&](const CommandTask& t) {
    ran.push_back(t.reqId);
    if (t.reqId == "lisp") {
      g_currentTaskReqId = t.reqId;  // handed to the command line; the marker completes it
      return;
    }
    OnTaskComplete(t.reqId, "done", true);
  });
  uint64_t epoch = CurrentDocumentEpoch();
  EnqueueAndSchedule(CommandTask{"lisp", kRunLisp, "", epoch});
  EnqueueAndSchedule(CommandTask{"after", kGetDwgPath, "", epoch});
  cadsim::runUntilIdle();
  EXPECT_EQ(ran, std::vector<std::string>{"lisp"});
  cadsim::typeLine("_.orvik-notify-lisp-done");
  cadsim::runUntilIdle();
  EXPECT_EQ(ran, (std::vector<std::string>{"lisp", "after"}));
  auto records = hub.WaitForRecords(2);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0], Result("lisp", "true", "OK"));
  EXPECT_NE(cadsim::output().find("LISP completed (reqId=lisp)"), std::string::npos);

  // Run by hand with nothing deferred: the message with an empty identifier, and no answer.
  cadsim::clearOutput();
  cadsim::typeLine("orvik-notify-lisp-done");
  EXPECT_NE(cadsim::output().find("(reqId=)"), std::string::npos);
  EXPECT_EQ(hub.Records().size(), 2u);
  acedRegCmds->removeGroup(L"TEST_GROUP");
}

TEST_F(Pipeline, ADrainOutsideTheApplicationContextReschedulesItself) {
  OpenReady("/a.dwg");
  int ran = 0;
  SetTaskRunnerForTesting([&](const CommandTask& t) {
    ++ran;
    OnTaskComplete(t.reqId, "", true);
  });
  {
    std::lock_guard<std::mutex> lock(g_queueMutex);
    g_pendingQueue.push_back(CommandTask{"x", kGetDwgPath, "", CurrentDocumentEpoch()});
  }
  ProcessCommandQueue(nullptr);  // called from document context, as a command would
  EXPECT_EQ(ran, 0);
  EXPECT_EQ(cadsim::pendingCallbackCount(), 1u);
  cadsim::runUntilIdle();
  EXPECT_EQ(ran, 1);
  ProcessCommandQueue(nullptr);  // an empty queue leaves the busy flag alone
  EXPECT_FALSE(g_queueBusy.load());
}

TEST_F(Pipeline, LayoutQueueErrorEscapesItsTexts) {
  EXPECT_EQ(LayoutQueueError("dwg_not_open", "requested=C:\\a \"b\"\n"),
            "{\"success\":false,\"errorCode\":\"dwg_not_open\",\"message\":\"requested=C:\\\\a \\\"b\\\"\\n\"}");
}

}  // namespace

namespace {

// Many commands arrive on the receive thread while the main thread switches drawings and the
// connection drops and comes back: every request is answered at most once, nothing deadlocks,
// and (under ThreadSanitizer) nothing races.
TEST(PipelineStress, CommandsWhileTheDrawingChangesAndTheConnectionDrops) {
  cadsim::reset();
  resetDocumentReadiness();
  ResetCommandQueue();
  setReadinessMonitoring(true);
  acDocManagerPtr()->addReactor(&documentReactor());
  acedEditor->addReactor(&readinessEditorReactor());
  cadsim::openDrawing("/a.dwg");
  cadsim::openDrawing("/b.dwg");
  cadsim::runUntilIdle();

  size_t sent = 0, answered = 0;
  for (int round = 0; round < 4; ++round) {
    FakeHub hub;
    ASSERT_TRUE(OrvikWebSocket::Connect(hub.Url(), HandleCommand));
    std::atomic<bool> done{false};
    std::thread sender([&] {
      for (int i = 0; i < 200 && !done.load(); ++i)
        hub.SendInvocation("r" + std::to_string(round) + "-" + std::to_string(i),
                           i % 3 ? "getDwgPath" : "getCurrentSpace", "");
    });
    for (int i = 0; i < 200; ++i) {
      if (i % 25 == 0) cadsim::activate(cadsim::documents()[static_cast<size_t>(i / 25) % 2]);
      cadsim::runUntilIdle();
    }
    sender.join();
    if (round % 2 == 1) {
      OrvikWebSocket::Disconnect();  // drop while answers may still be due
    } else {
      // A steady connection answers every request; wait (bounded) for the stragglers.
      for (int i = 0; i < 2000 && hub.Results().size() < 200; ++i) {
        cadsim::runUntilIdle();
        hub.WaitForRecords(hub.RecordCount() + 1, 5);
      }
      EXPECT_EQ(hub.Results().size(), 200u);
    }
    cadsim::runUntilIdle();
    std::vector<std::string> results = hub.Results();
    std::set<std::string> unique(results.begin(), results.end());
    EXPECT_EQ(unique.size(), results.size());
    EXPECT_LE(results.size(), 200u);
    sent += 200;
    answered += results.size();
    OrvikWebSocket::Disconnect();
  }
  EXPECT_GT(answered, 0u);
  EXPECT_LE(answered, sent);
  EXPECT_TRUE(cadsim::faultLog().empty());
  // Whatever was still queued when the last connection dropped still runs, unanswered.
  cadsim::runUntilIdle();
  EXPECT_FALSE(g_queueBusy.load());
  cadsim::reset();
  resetDocumentReadiness();
  ResetCommandQueue();
}

}  // namespace
