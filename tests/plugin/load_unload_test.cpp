// Loading and unloading the plug-in through its entry, with drawings open and work in flight.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "cadsim/control.h"
#include "link/client_state.h"
#include "link/runtime_discovery.h"
#include "pipeline/command_dispatch.h"
#include "pipeline/command_queue.h"
#include "plugin/document_readiness.h"
#include "bundle/entry.h"
#include "tests/pipeline/fake_hub.h"

namespace {

uint64_t Revision() {
  std::lock_guard<std::mutex> lock(g_lifecycleMutex);
  return g_lifecycleRevision;
}

class LoadAndUnload : public ::testing::Test {
 protected:
  void SetUp() override {
    // No companion service: the supervisor finds nothing; the test's own hub carries the answers.
    // and no service on the default port may answer it.
    ASSERT_NE(mkdtemp(home), nullptr);
    setenv("HOME", home, 1);
    SetDefaultRuntimePortForTesting(ownPort.port);
  }
  void TearDown() override {
    if (loaded) unloadApp();
    for (AcApDocument* doc : cadsim::documents()) cadsim::close(doc);
    cadsim::runUntilIdle();
    cadsim::reset();
    resetDocumentReadiness();
    SetDefaultRuntimePortForTesting(0);
    std::filesystem::remove_all(home);
  }
  char home[32] = "/tmp/orvik-load-XXXXXX";
  loopback::ReservedPort ownPort;
  bool loaded = false;
};

TEST_F(LoadAndUnload, LoadWatchesEveryDrawingAndUnloadLeavesNothingBehind) {
  cadsim::reset();
  resetDocumentReadiness();
  ResetCommandQueue();
  for (const char* path : {"/a.dwg", "/b.dwg", "/c.dwg"}) cadsim::openDrawing(path);
  cadsim::runUntilIdle();

  initApp();
  loaded = true;
  EXPECT_EQ(watchedDocuments().size(), 3u);
  cadsim::runUntilIdle();
  {
    std::lock_guard<std::mutex> lock(g_lifecycleMutex);
    EXPECT_TRUE(g_metadata.documentReady);
    EXPECT_EQ(g_metadata.activeDocumentPath, "/c.dwg");
  }
  cadsim::clearOutput();
  cadsim::typeLine("orvik-notify-lisp-done");  // the command group is there
  EXPECT_NE(cadsim::output().find("(reqId=)"), std::string::npos);
  cadsim::runUntilIdle();

  FakeHub hub;
  ASSERT_TRUE(OrvikWebSocket::Connect(hub.Url(), HandleCommand));
  AcApDocument* c = cadsim::findDocument("/c.dwg");
  EXPECT_EQ(HandleCommand("deferred", "runLisp", "(princ 1)"), "__QUEUED__");
  EXPECT_TRUE(cadsim::runOneCallback());  // the drain: the text is typed, its marker not yet run
  ASSERT_TRUE(TaskIsDeferred());
  EXPECT_EQ(cadsim::lockCount(c), 1);
  EXPECT_EQ(HandleCommand("queued1", "getDwgPath", ""), "__QUEUED__");
  EXPECT_EQ(HandleCommand("queued2", "getCurrentSpace", ""), "__QUEUED__");

  unloadApp();
  loaded = false;
  // Unloading closes the connection: once the hub has seen it end, every record is in.
  ASSERT_TRUE(hub.WaitForEnd());
  const auto records = hub.Records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0], ResultRecord("deferred", "true",
                               "Error: The CAD plug-in was unloaded before the command the request typed had run."));
  EXPECT_EQ(records[1], ResultRecord("queued1", "false", "Error: The CAD plug-in was unloaded before the request ran."));
  EXPECT_EQ(records[2], ResultRecord("queued2", "false", "Error: The CAD plug-in was unloaded before the request ran."));
  EXPECT_EQ(cadsim::lockCount(c), 0);
  EXPECT_FALSE(g_queueBusy.load());
  EXPECT_FALSE(TaskIsDeferred());
  EXPECT_TRUE(watchedDocuments().empty());

  // The typed text still runs, but its marker is no command any more; no reactor reacts to the
  // host's events, nothing is posted and nothing is published.
  const uint64_t revision = Revision();
  cadsim::clearOutput();
  cadsim::runUntilIdle();
  cadsim::activate(cadsim::findDocument("/a.dwg"));
  cadsim::setBusy(c, true);
  cadsim::setBusy(c, false);
  EXPECT_EQ(cadsim::pendingCallbackCount(), 0u);
  cadsim::runUntilIdle();
  EXPECT_EQ(Revision(), revision);
  cadsim::typeLine("ORVIKHOME");
  EXPECT_NE(cadsim::output().find("ORVIK-NOTIFY-LISP-DONE\""), std::string::npos) << cadsim::output();
  EXPECT_NE(cadsim::output().find("Unknown command \"ORVIKHOME\""), std::string::npos);
  EXPECT_EQ(hub.Records().size(), 3u);
  EXPECT_TRUE(cadsim::faultLog().empty()) << cadsim::faultLog().front();
}

// A command the host refuses at load is said on the command line, and a task that would wait for
// it ends at once instead of holding the queue for ever.
TEST_F(LoadAndUnload, ACommandTheHostRefusesIsReportedAndNeverWaitedFor) {
  cadsim::reset();
  resetDocumentReadiness();
  ResetCommandQueue();
  cadsim::openDrawing("/a.dwg");
  cadsim::runUntilIdle();
  cadsim::clearOutput();
  cadsim::failNthCall("addCommand", 1, 5);  // the first of the table: the marker command
  initApp();
  loaded = true;
  EXPECT_NE(cadsim::output().find("[Orvik] The command orvik-notify-lisp-done could not be registered (status 5); "
                                  "requests that need it will fail."),
            std::string::npos)
      << cadsim::output();
  cadsim::runUntilIdle();
  FakeHub hub;
  ASSERT_TRUE(OrvikWebSocket::Connect(hub.Url(), HandleCommand));
  EXPECT_EQ(HandleCommand("lisp", "runLisp", "(princ 1)"), "__QUEUED__");
  cadsim::runUntilIdle();
  const auto records = hub.WaitForRecords(1);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0], ResultRecord("lisp", "true", "Error: The CAD command orvik-notify-lisp-done is not registered, "
                                                     "so the request cannot be completed."));
  EXPECT_FALSE(TaskIsDeferred());
}

}  // namespace
