// Remote commands through the whole system on loopback: a C++ hub peer sends "getDwgPath" to the
// plug-in, which admits it on its receive thread, runs it on the simulated host's main thread and
// answers. Reports the round trip (p50, p99) and the back-to-back throughput beside a plain
// WebSocket echo (ping answered by pong) with the same peer and client in the same run.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "cadsim/control.h"
#include "link/client_state.h"
#include "pipeline/command_dispatch.h"
#include "pipeline/command_queue.h"
#include "plugin/document_readiness.h"
#include "plugin/entry.h"
#include "tests/pipeline/fake_hub.h"

namespace {

using Clock = std::chrono::steady_clock;

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

// Measures from a thread of its own while the process's main thread runs the simulated host, as
// in the application: the plug-in's main-thread checks ask the platform which thread that is.
int Measure() {
  FakeHub hub;
  if (!OrvikWebSocket::Connect(hub.Url(), HandleCommand)) {
    std::fprintf(stderr, "cannot connect\n");
    return 1;
  }
  const int kRoundTrips = 2000;
  std::vector<double> echo, command;
  for (int i = 0; i < kRoundTrips; ++i) {
    auto t0 = Clock::now();
    hub.SendPing("abc");
    hub.WaitForPongs(static_cast<size_t>(i + 1));
    echo.push_back(Micros(Clock::now() - t0));
  }
  for (int i = 0; i < kRoundTrips; ++i) {
    size_t before = hub.RecordCount();
    auto t0 = Clock::now();
    hub.SendInvocation("rt" + std::to_string(i), "getDwgPath", "");
    hub.WaitForRecords(before + 1);
    command.push_back(Micros(Clock::now() - t0));
  }
  const int kBurst = 20000;
  size_t before = hub.RecordCount();
  auto t0 = Clock::now();
  for (int i = 0; i < kBurst; ++i) hub.SendInvocation("b" + std::to_string(i), "getDwgPath", "");
  size_t got = hub.WaitForRecords(before + kBurst, 120000).size() - before;
  double seconds = std::chrono::duration<double>(Clock::now() - t0).count();

  std::printf("WebSocket echo round trip (ping/pong): p50 %.1f us, p99 %.1f us\n", Percentile(echo, 0.5),
              Percentile(echo, 0.99));
  std::printf("getDwgPath round trip:                 p50 %.1f us, p99 %.1f us (%.2fx the echo p50)\n",
              Percentile(command, 0.5), Percentile(command, 0.99),
              Percentile(command, 0.5) / Percentile(echo, 0.5));
  std::printf("getDwgPath back to back:               %zu answers in %.3f s = %.0f commands/s\n", got, seconds,
              static_cast<double>(got) / seconds);
  OrvikWebSocket::Disconnect();
  return got == static_cast<size_t>(kBurst) ? 0 : 1;
}

}  // namespace

int main() {
  cadsim::reset();
  resetDocumentReadiness();
  RegisterAllActions();
  setReadinessMonitoring(true);
  acDocManagerPtr()->addReactor(&documentReactor());
  acedEditor->addReactor(&readinessEditorReactor());
  cadsim::openDrawing("/bench/drawing.dwg");
  cadsim::runUntilIdle();

  std::atomic<bool> done{false};
  int status = 1;
  std::thread measure([&] {
    status = Measure();
    done.store(true);
    cadsim::wake();
  });
  // The simulated host's main thread, idle until work is posted.
  while (!done.load()) {
    cadsim::waitForWork(5);
    cadsim::runUntilIdle();
  }
  measure.join();
  return status;
}
