// The service side of the command benchmarks: one loopback connection driven by the measuring
// thread itself, which writes a frame and reads the client's answer from the socket. No thread or
// lock of the peer's own stands between the two, so an echo and a command are timed alike.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "cadsim/control.h"
#include "link/hub_protocol.h"
#include "link/ws_frame.h"
#include "plugin/document_readiness.h"
#include "bundle/entry.h"
#include "tests/link/loopback.h"

class HubPeer {
 public:
  std::string Url() const { return "ws://127.0.0.1:" + std::to_string(listener_.port) + "/cadHub"; }

  // Accepts the client, answers the upgrade and the hub handshake. Runs beside the client's Connect.
  bool Accept() {
    if (!conn_.Take(listener_.Accept()) || !conn_.Upgrade()) return false;
    return conn_.Write(loopback::ServerFrame(1, "{}\x1E"));
  }
  bool Write(const std::string& bytes) { return conn_.Write(bytes); }
  // The next frame the client sends; ok is false when the stream ended or stalled.
  OrvikWebSocket::Frame Next() { return OrvikWebSocket::RecvFrame(conn_.source); }

  static std::string Ping(const std::string& payload) { return loopback::ServerFrame(9, payload); }
  static std::string Invocation(const std::string& reqId, const std::string& action, const std::string& params = "") {
    return loopback::ServerFrame(1, loopback::Invocation(reqId, action, params));
  }

 private:
  loopback::Listener listener_;
  loopback::Conn conn_;
};

// Loads the action table and readiness on a fresh simulated host with one ready drawing, runs
// `measure` on a thread of its own while this thread plays the host's main thread (idle until work
// is posted), and returns what `measure` returned.
inline int RunBesideTheHostMainThread(const std::function<int()>& measure) {
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
  std::thread worker([&] {
    status = measure();
    done.store(true);
    cadsim::wake();
  });
  while (!done.load()) {
    cadsim::waitForWork(5);
    cadsim::runUntilIdle();
  }
  worker.join();
  return status;
}
