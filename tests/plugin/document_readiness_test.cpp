// The readiness tracker against the simulated host's real event sequences.
#include <gtest/gtest.h>

#include "cadsim/control.h"
#include "plugin/document_readiness.h"

namespace {

CadClientMetadata Published() {
  std::lock_guard<std::mutex> lock(g_lifecycleMutex);
  return g_metadata;
}

class Readiness : public ::testing::Test {
 protected:
  void SetUp() override {
    cadsim::reset();
    resetDocumentReadiness();
    {
      std::lock_guard<std::mutex> lock(g_lifecycleMutex);
      g_metadata = CadClientMetadata();
    }
    setReadinessMonitoring(true);
    acDocManagerPtr()->addReactor(&documentReactor());
    acedEditor->addReactor(&readinessEditorReactor());
  }
  void TearDown() override {
    EXPECT_TRUE(cadsim::faultLog().empty()) << cadsim::faultLog().front();
    cadsim::reset();
    resetDocumentReadiness();
  }
};

// A switch away and back is a change too: the epoch only grows. (A single switch with work queued
// is the end-to-end chaos tests'.)
TEST_F(Readiness, ATaskAdmittedBeforeASwitchAwayAndBackIsRefused) {
  cadsim::openDrawing("/a.dwg");
  cadsim::runUntilIdle();
  const uint64_t admitted = Published().documentEpoch;
  EXPECT_TRUE(validateCadDocumentTask(admitted));
  cadsim::openDrawing("/b.dwg");
  cadsim::runUntilIdle();
  cadsim::activate(cadsim::findDocument("/a.dwg"));
  cadsim::runUntilIdle();
  ASSERT_TRUE(Published().documentReady);
  EXPECT_FALSE(validateCadDocumentTask(admitted));
  EXPECT_TRUE(validateCadDocumentTask(Published().documentEpoch));
}

TEST_F(Readiness, TaskCheckMakesTheReadyDrawingCurrent) {
  AcApDocument* a = cadsim::openDrawing("/a.dwg");
  AcApDocument* b = cadsim::openDrawing("/b.dwg");
  cadsim::runUntilIdle();
  uint64_t epoch = Published().documentEpoch;
  // Something made the background drawing current without activating it.
  ASSERT_EQ(acDocManagerPtr()->setCurDocument(a, AcAp::kNone, false), Acad::eOk);
  EXPECT_TRUE(validateCadDocumentTask(epoch));
  EXPECT_EQ(acDocManagerPtr()->curDocument(), b);

  acDocManagerPtr()->setCurDocument(a, AcAp::kNone, false);
  cadsim::failCall("setCurDocument", Acad::eInvalidInput);
  EXPECT_FALSE(validateCadDocumentTask(epoch));
}

TEST_F(Readiness, ClosingTheActiveDrawingUnpublishesItAtOnce) {
  cadsim::openDrawing("/a.dwg");
  AcApDocument* b = cadsim::openDrawing("/b.dwg");
  cadsim::runUntilIdle();
  uint64_t before = Published().documentEpoch;

  struct Spy : AcApDocManagerReactor {
    void documentToBeDestroyed(AcApDocument*) override {
      seen = Published();
      available = availableActiveDocument();
    }
    CadClientMetadata seen;
    AcApDocument* available = reinterpret_cast<AcApDocument*>(1);
  } spy;
  acDocManagerPtr()->addReactor(&spy);  // after the tracker's reactor, so it sees its effect
  cadsim::close(b);
  acDocManagerPtr()->removeReactor(&spy);
  EXPECT_EQ(spy.available, nullptr);
  EXPECT_FALSE(spy.seen.documentReady);
  EXPECT_EQ(spy.seen.activeDocumentPath, "");
  EXPECT_GT(spy.seen.documentEpoch, before);

  cadsim::runUntilIdle();
  EXPECT_TRUE(Published().documentReady);
  EXPECT_EQ(Published().activeDocumentPath, "/a.dwg");
  EXPECT_EQ(watchedDocuments().size(), 1u);
}

// The host announces a creation before the new drawing is active: readiness is withdrawn at
// once, so a command arriving in that window is refused; a cancelled creation, announced or
// under way, leaves the previous drawing ready.
TEST_F(Readiness, ACreationStartingWithdrawsReadinessUntilItIsCancelled) {
  AcApDocument* a = cadsim::openDrawing("/a.dwg");
  cadsim::runUntilIdle();
  const uint64_t before = Published().documentEpoch;
  ASSERT_TRUE(Published().documentReady);
  int coming = 0;
  documentReactor().documentCreateStarted(reinterpret_cast<AcApDocument*>(&coming));
  EXPECT_FALSE(Published().documentReady);
  EXPECT_GT(Published().documentEpoch, before);
  EXPECT_FALSE(validateCadDocumentTask(before));
  documentReactor().documentCreateCanceled(reinterpret_cast<AcApDocument*>(&coming));
  cadsim::runUntilIdle();
  EXPECT_TRUE(Published().documentReady);
  EXPECT_EQ(acDocManagerPtr()->mdiActiveDocument(), a);

  AcApDocument* doomed = cadsim::beginOpen("/b.dwg");
  cadsim::runUntilIdle();
  EXPECT_FALSE(Published().documentReady);
  cadsim::cancelOpen(doomed);
  cadsim::runUntilIdle();
  EXPECT_TRUE(Published().documentReady);
  EXPECT_EQ(Published().activeDocumentPath, "/a.dwg");
  EXPECT_FALSE(isCreatingAnyDocument());
}

TEST_F(Readiness, ManyEventsLeaveExactlyOneProbePendingAndAFailedPostBlocksNone) {
  cadsim::openDrawing("/a.dwg");
  cadsim::runUntilIdle();
  for (int i = 0; i < 50; ++i) {
    cadsim::fireCommandEnded("LINE");
    cadsim::fireLispEnded();
    scheduleDocumentProbe();
  }
  EXPECT_EQ(cadsim::pendingCallbackCount(), 1u);
  cadsim::runUntilIdle();
  EXPECT_EQ(cadsim::pendingCallbackCount(), 0u);

  cadsim::failCall("beginExecuteInApplicationContext", Acad::eInvalidContext);
  scheduleDocumentProbe();
  EXPECT_EQ(cadsim::pendingCallbackCount(), 0u);
  scheduleDocumentProbe();
  EXPECT_EQ(cadsim::pendingCallbackCount(), 1u);
}

TEST_F(Readiness, MonitoringOffMeansNoProbesAndProbesThatDoNothing) {
  cadsim::openDrawing("/a.dwg");
  scheduleDocumentProbe();
  setReadinessMonitoring(false);
  cadsim::runUntilIdle();  // the pending probe runs and does nothing
  EXPECT_FALSE(Published().documentReady);
  scheduleDocumentProbe();
  EXPECT_EQ(cadsim::pendingCallbackCount(), 0u);
}

TEST_F(Readiness, AReactorThatCannotBeAttachedLeavesTheDrawingUnwatched) {
  AcApDocument* doc = cadsim::openDrawing("/a.dwg");
  unwatchDocument(doc);
  cadsim::failCall("addInputContextReactor", Acad::eInvalidInput);
  watchDocument(doc);
  EXPECT_TRUE(watchedDocuments().empty());
  watchDocument(doc);
  EXPECT_EQ(watchedDocuments().size(), 1u);
}

}  // namespace
