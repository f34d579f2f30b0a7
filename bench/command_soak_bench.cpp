// A soak: a million commands over one connection, with the process's resident memory sampled as
// they go. The plug-in runs in the simulated host as in the application; the hub peer keeps
// nothing of what it reads, so what grows is the plug-in's (or the simulated host's). Queued
// actions, answers given at once and an unknown action are mixed, a hundred in flight at a time,
// and every answer is counted against its request.
//     command_soak_bench [COMMANDS=1000000] [SECONDS=300]
// stops early, saying so, when the time bound passes.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/hub_peer.h"
#include "cadsim/control.h"
#include "link/websocket.h"
#include "pipeline/command_dispatch.h"
#include "plugin/document_readiness.h"
#include "bundle/entry.h"

namespace {

using Clock = std::chrono::steady_clock;

double ResidentMiB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  if (!(statm >> pages >> resident)) return -1;
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// The request identifier of a CadResult record, or "" for any other frame.
std::string AnsweredId(const OrvikWebSocket::Frame& f) {
  static const std::string kHead = "{\"type\":1,\"target\":\"CadResult\",\"arguments\":[\"";
  if (!f.ok || f.opcode != 1 || f.payload.compare(0, kHead.size(), kHead) != 0) return std::string();
  return f.payload.substr(kHead.size(), f.payload.find('"', kHead.size()) - kHead.size());
}

int Soak(long commands, long seconds) {
  HubPeer hub;
  std::thread accept([&] { hub.Accept(); });
  const bool connected = OrvikWebSocket::Connect(hub.Url(), HandleCommand);
  accept.join();
  if (!connected) {
    std::fprintf(stderr, "cannot connect\n");
    return 1;
  }
  static const char* const kActions[][2] = {
      {"getDwgPath", ""}, {"getCurrentSpace", ""}, {"verifyDir", "/tmp"}, {"noSuchAction", "{}"}};
  const int kWindow = 100;
  const long kSampleEvery = 50000;
  const auto start = Clock::now();
  const auto deadline = start + std::chrono::seconds(seconds);
  long sent = 0, answered = 0, wrong = 0;
  std::vector<std::string> ids(kWindow);
  std::vector<bool> seen(kWindow);
  std::printf("%10s %12s %10s\n", "commands", "resident MiB", "seconds");
  std::printf("%10ld %12.1f %10.1f\n", 0L, ResidentMiB(), 0.0);
  double warm = -1;
  while (sent < commands && Clock::now() < deadline) {
    std::string batch;
    for (int i = 0; i < kWindow; ++i) {
      ids[i] = "s" + std::to_string(sent + i);
      seen[i] = false;
      const auto& action = kActions[(sent + i) % 4];
      batch += HubPeer::Invocation(ids[i], action[0], action[1]);
    }
    if (!hub.Write(batch)) break;
    // Queued answers come in order from the main thread, the others at once from the receive
    // thread, so within a window the order is not fixed: each must come exactly once.
    for (int got = 0; got < kWindow;) {
      const OrvikWebSocket::Frame f = hub.Next();
      if (!f.ok) {
        std::fprintf(stderr, "the connection ended after %ld answers\n", answered);
        return 1;
      }
      const std::string id = AnsweredId(f);
      if (id.empty()) continue;  // a state message or a keep-alive
      const long n = std::atol(id.c_str() + 1) - sent;
      if (n < 0 || n >= kWindow || seen[n]) {
        ++wrong;
      } else {
        seen[n] = true;
      }
      ++got;
    }
    sent += kWindow;
    answered += kWindow;
    if (sent % kSampleEvery == 0) {
      const double rss = ResidentMiB();
      if (sent == 2 * kSampleEvery) warm = rss;
      std::printf("%10ld %12.1f %10.1f\n", sent, rss, std::chrono::duration<double>(Clock::now() - start).count());
      std::fflush(stdout);
    }
  }
  const double seconds_ = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("%ld commands, %ld answers, %ld answered wrongly or twice, in %.1f s (%.0f commands/s)%s\n", sent,
              answered, wrong, seconds_, static_cast<double>(sent) / seconds_,
              sent < commands ? "; stopped at the time bound" : "");
  if (warm >= 0) std::printf("resident memory after warm-up (%ld commands): %+.1f MiB\n", 2 * kSampleEvery, ResidentMiB() - warm);
  OrvikWebSocket::Disconnect();
  return wrong == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const long commands = argc > 1 ? std::atol(argv[1]) : 1000000;
  const long seconds = argc > 2 ? std::atol(argv[2]) : 300;
  return RunBesideTheHostMainThread([&] { return Soak(commands, seconds); });
}
