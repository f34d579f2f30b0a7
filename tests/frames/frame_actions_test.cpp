// The extraction hand-over types a command into the drawing: into a drawing that is inside another
// command that text would be the command's input, the extraction would never run, and the queue
// would wait for it for ever.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "link/websocket.h"
#include "tests/pipeline/fake_hub.h"
#include "tests/pipeline/pipeline_host.h"

namespace {

TEST(FrameActions, ADrawingInsideAnotherCommandIsRefusedAndTheQueueGoesOn) {
  FakeHub hub;
  ASSERT_TRUE(OrvikWebSocket::Connect(hub.Url(), HandleCommand));
  LoadPipelineForTesting();
  AcApDocument* doc = cadsim::newDrawing();
  cadsim::runUntilIdle();
  // Admitted while the drawing was idle; the user starts a command before the queue runs.
  ASSERT_EQ(HandleCommand("x1", "extractFrames", "\"model\""), "__QUEUED__");
  cadsim::setBusy(doc, true);
  cadsim::runUntilIdle();
  cadsim::setBusy(doc, false);
  cadsim::runUntilIdle();
  ASSERT_EQ(HandleCommand("x2", "getDwgPath", ""), "__QUEUED__");
  cadsim::runUntilIdle();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (hub.AnswersPerRequest().count("x2") == 0 && std::chrono::steady_clock::now() < deadline)
    hub.WaitForRecords(hub.RecordCount() + 1, 1000);
  const auto records = hub.Records();
  const std::string all = [&] {
    std::string joined;
    for (const std::string& r : records) joined += r + "\n";
    return joined;
  }();
  EXPECT_NE(all.find(ResultRecord("x1", "true",
                                  "Error: CAD is busy with another command; the frames were not extracted.")),
            std::string::npos)
      << all;
  EXPECT_NE(all.find("\"x2\",\"true\",\"Drawing1.dwg\""), std::string::npos) << all;
  OrvikWebSocket::Disconnect();
  UnloadPipelineForTesting();
}

}  // namespace
