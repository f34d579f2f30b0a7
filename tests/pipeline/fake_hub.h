// A hub on loopback for pipeline tests: it accepts the plug-in's WebSocket, answers the upgrade
// and the hub handshake, sends invocations and collects, on a thread of its own, every record the
// plug-in sends.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/websocket.h"
#include "pipeline/result_reporting.h"
#include "tests/link/loopback.h"

// The CadResult record the plug-in sends for an answer (identifiers and texts unescaped in tests).
inline std::string ResultRecord(const std::string& reqId, const std::string& status, const std::string& message) {
  return "{\"type\":1,\"target\":\"CadResult\",\"arguments\":[\"" + reqId + "\",\"" + status + "\",\"" +
         message + "\"]}";
}

class FakeHub {
 public:
  FakeHub() : server_([this] { Serve(); }) {}
  ~FakeHub() {
    OrvikWebSocket::Disconnect();
    ::shutdown(listener_.fd, SHUT_RDWR);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (client_ >= 0) ::shutdown(client_, SHUT_RDWR);
    }
    server_.join();
  }

  std::string Url() const { return "ws://127.0.0.1:" + std::to_string(listener_.port) + "/cadHub"; }

  void SendText(const std::string& payload) { Send(loopback::ServerFrame(1, payload)); }
  size_t RecordCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_.size();
  }
  // Waits (bounded) until at least n records arrived, then returns all of them.
  std::vector<std::string> WaitForRecords(size_t n, int timeoutMs = 5000) {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return records_.size() >= n; });
    return records_;
  }
  std::vector<std::string> Records() {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
  }
  // Records that are CadResults, in order.
  std::vector<std::string> Results() {
    std::vector<std::string> out;
    for (const std::string& r : Records())
      if (r.find("\"CadResult\"") != std::string::npos) out.push_back(r);
    return out;
  }
  // Every record the plug-in sent before this call, once it has surely arrived: a marker result
  // goes out through the plug-in's own sending path and records arrive in the order they were sent,
  // so once the marker is in, nothing sent earlier is still on its way. The marker is left out; a
  // marker that never arrives gives a record saying so, which no expectation matches.
  std::vector<std::string> RecordsBeforeFence() {
    const std::string marker = "fence-" + std::to_string(++fences_);
    SendCadResult(marker, "true", "");
    const std::string fence = ResultRecord(marker, "true", "");
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait_for(lock, std::chrono::seconds(10),
                 [&] { return std::find(records_.begin(), records_.end(), fence) != records_.end(); });
    const auto at = std::find(records_.begin(), records_.end(), fence);
    if (at == records_.end()) return {"the fence " + marker + " never arrived"};
    return std::vector<std::string>(records_.begin(), at);
  }
  // Waits (bounded) until the plug-in has closed the connection; then Records() is final.
  bool WaitForEnd(int timeoutMs = 10000) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return ended_; });
  }
  // How many CadResults each request id got (the id is the first argument, never escaped in tests).
  std::map<std::string, int> AnswersPerRequest() {
    static const std::string kHead = "{\"type\":1,\"target\":\"CadResult\",\"arguments\":[\"";
    std::map<std::string, int> answers;
    for (const std::string& r : Results())
      if (r.compare(0, kHead.size(), kHead) == 0) ++answers[r.substr(kHead.size(), r.find('"', kHead.size()) - kHead.size())];
    return answers;
  }

 private:
  void Send(const std::string& frame) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (client_ >= 0) loopback::WriteAll(client_, frame);
  }
  void Serve() {
    struct Ended {
      FakeHub* hub;
      ~Ended() {
        std::lock_guard<std::mutex> lock(hub->mutex_);
        hub->ended_ = true;
        hub->cv_.notify_all();
      }
    } ended{this};
    if (!conn_.Take(listener_.Accept())) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      client_ = conn_.fd;
    }
    if (!conn_.Upgrade()) return;
    SendText("{}\x1e");
    for (;;) {
      const std::string record = conn_.ReadRecord();
      if (record.rfind("<", 0) == 0 || record == "CLOSE") return;  // the stream ended
      std::lock_guard<std::mutex> lock(mutex_);
      records_.push_back(record);
      cv_.notify_all();
    }
  }

  loopback::Listener listener_;
  loopback::Conn conn_;  // the server thread's, until it is joined
  std::mutex mutex_;
  std::condition_variable cv_;
  int client_ = -1;
  std::vector<std::string> records_;
  bool ended_ = false;  // the server thread has seen the stream end
  int fences_ = 0;
  std::thread server_;  // last: starts once everything above exists
};
