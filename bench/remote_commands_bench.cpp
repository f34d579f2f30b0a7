// Remote commands through the whole system on loopback: a hub peer sends "getDwgPath" to the
// plug-in, which admits it on its receive thread, runs it on the simulated host's main thread and
// answers. Reports the round trip (p50, p90, p99) beside a plain WebSocket echo (ping answered by
// pong) with the same peer and client, the two interleaved so that both meet the same load, and
// the back-to-back throughput.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "bench/hub_peer.h"
#include "cadsim/control.h"
#include "link/client_state.h"
#include "link/websocket.h"
#include "pipeline/command_dispatch.h"
#include "pipeline/command_queue.h"
#include "plugin/document_readiness.h"
#include "bundle/entry.h"

namespace {

using Clock = std::chrono::steady_clock;

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

bool IsResult(const OrvikWebSocket::Frame& f) {
  return f.ok && f.opcode == 1 && f.payload.find("\"CadResult\"") != std::string::npos;
}

// Measures from a thread of its own while the process's main thread runs the simulated host, as
// in the application: the plug-in's main-thread checks ask the platform which thread that is.
int Measure() {
  HubPeer hub;
  std::thread accept([&] { hub.Accept(); });
  const bool connected = OrvikWebSocket::Connect(hub.Url(), HandleCommand);
  accept.join();
  if (!connected) {
    std::fprintf(stderr, "cannot connect\n");
    return 1;
  }
  const int kRoundTrips = 5000;
  std::vector<double> echo, command;
  for (int i = 0; i < kRoundTrips; ++i) {
    auto t0 = Clock::now();
    hub.Write(HubPeer::Ping("abc"));
    for (OrvikWebSocket::Frame f = hub.Next(); f.opcode != 0xA; f = hub.Next()) {
      if (!f.ok) return 1;
    }
    echo.push_back(Micros(Clock::now() - t0));
    t0 = Clock::now();
    hub.Write(HubPeer::Invocation("rt" + std::to_string(i), "getDwgPath"));
    for (OrvikWebSocket::Frame f = hub.Next(); !IsResult(f); f = hub.Next()) {
      if (!f.ok) return 1;
    }
    command.push_back(Micros(Clock::now() - t0));
  }
  const int kBurst = 20000;
  std::string burst;
  for (int i = 0; i < kBurst; ++i) burst += HubPeer::Invocation("b" + std::to_string(i), "getDwgPath");
  auto t0 = Clock::now();
  std::thread writer([&] { hub.Write(burst); });
  int got = 0;
  while (got < kBurst) {
    const OrvikWebSocket::Frame f = hub.Next();
    if (!f.ok) break;
    got += IsResult(f) ? 1 : 0;
  }
  writer.join();
  double seconds = std::chrono::duration<double>(Clock::now() - t0).count();

  std::printf("WebSocket echo round trip (ping/pong): p50 %.1f us, p90 %.1f us, p99 %.1f us\n", Percentile(echo, 0.5),
              Percentile(echo, 0.9), Percentile(echo, 0.99));
  std::printf("getDwgPath round trip:                 p50 %.1f us, p90 %.1f us, p99 %.1f us\n", Percentile(command, 0.5),
              Percentile(command, 0.9), Percentile(command, 0.99));
  std::printf("command / echo:                        p50 %.2fx, p90 %.2fx, p99 %.2fx\n",
              Percentile(command, 0.5) / Percentile(echo, 0.5), Percentile(command, 0.9) / Percentile(echo, 0.9),
              Percentile(command, 0.99) / Percentile(echo, 0.99));
  std::printf("getDwgPath back to back:               %d answers in %.3f s = %.0f commands/s\n", got, seconds,
              static_cast<double>(got) / seconds);
  OrvikWebSocket::Disconnect();
  return got == kBurst ? 0 : 1;
}

}  // namespace

int main() { return RunBesideTheHostMainThread(Measure); }
