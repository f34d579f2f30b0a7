// The shared client record under concurrent readers.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "link/client_state.h"

namespace {

TEST(ClientState, EveryUpdateCountsAndWakesEvenWhenNothingChanged) {
  uint64_t before;
  {
    std::lock_guard<std::mutex> lock(g_lifecycleMutex);
    before = g_lifecycleRevision;
  }
  updateCadDocumentState(true, "a.dwg", "/a.dwg", 7);
  updateCadDocumentState(true, "a.dwg", "/a.dwg", 7);
  std::lock_guard<std::mutex> lock(g_lifecycleMutex);
  EXPECT_EQ(g_lifecycleRevision, before + 2);
}

TEST(ClientState, ReadersNeverSeeAMixOfTwoStates) {
  updateCadDocumentState(true, "odd.dwg", "/odd.dwg", 1);
  std::atomic<bool> done{false};
  std::atomic<int> mixed{0};
  std::thread reader([&] {
    while (!done.load()) {
      CadClientMetadata copy;
      {
        std::unique_lock<std::mutex> lock(g_lifecycleMutex);
        g_lifecycleWake.wait_for(lock, std::chrono::milliseconds(1));
        copy = g_metadata;
      }
      bool odd = copy.documentEpoch % 2 == 1;
      bool consistent = copy.activeDocumentPath == "/" + copy.activeDocumentName &&
                        copy.documentReady == odd &&
                        (copy.activeDocumentName.empty() || copy.activeDocumentName == (odd ? "odd.dwg" : "even.dwg"));
      if (!consistent && copy.documentEpoch != 0) mixed.fetch_add(1);
    }
  });
  for (uint64_t e = 1; e <= 20000; ++e) {
    bool odd = e % 2 == 1;
    std::string name = odd ? "odd.dwg" : "even.dwg";
    updateCadDocumentState(odd, name, "/" + name, e);
  }
  done.store(true);
  reader.join();
  EXPECT_EQ(mixed.load(), 0);
}

}  // namespace
