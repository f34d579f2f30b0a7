// The supervisor's pacing, the client identity and reconnection, with the supervisor's passes and
// the service driven by hand; and the shared client record it watches.
#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <regex>
#include <thread>
#include <vector>

#include "link/connection_supervisor.h"
#include "link/hub_protocol.h"
#include "link/websocket.h"
#include "loopback.h"

namespace {

using Clock = std::chrono::steady_clock;

// A run of the service on one port: the health probe and the hub's WebSocket, as the runtime
// service serves both. The instance it names and whether it answers probes can change under way.
class FakeService {
 public:
  using Hub = loopback::Conn;

  explicit FakeService(const std::string& instance) : instance_(instance) {
    thread_ = std::thread([this] { Serve(); });
  }
  ~FakeService() {
    ::shutdown(listener_.fd, SHUT_RDWR);
    thread_.join();
  }
  int Port() const { return listener_.port; }
  void SetInstance(const std::string& instance) {
    std::lock_guard<std::mutex> lock(mutex_);
    instance_ = instance;
  }
  void SetAnswersProbes(bool answers) {
    std::lock_guard<std::mutex> lock(mutex_);
    answersProbes_ = answers;
  }
  size_t HubCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return hubs_.size();
  }
  // Hub connection i; it stays valid while the service lives.
  Hub& HubAt(size_t i) {
    std::lock_guard<std::mutex> lock(mutex_);
    return *hubs_.at(i);
  }
  // The value of a query parameter in the upgrade request of hub connection i.
  std::string Query(size_t i, const std::string& key) {
    std::smatch m;
    const std::string request = HubAt(i).head;
    return std::regex_search(request, m, std::regex("[?&]" + key + "=([^& ]*)")) ? m[1].str() : "<none>";
  }

 private:
  void Serve() {
    for (int c; (c = ::accept(listener_.fd, nullptr, nullptr)) >= 0;) {
      auto hub = std::make_unique<Hub>();
      hub->Take(c);
      if (hub->head.rfind("GET /api/lifecycle/health ", 0) == 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (answersProbes_) {
          hub->Write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n{\"pid\":42,\"port\":" +
                     std::to_string(listener_.port) + ",\"protocolVersion\":1,\"instanceId\":\"" + instance_ + "\"}");
        }
        continue;
      }
      hub->Upgrade();
      Hub& upgraded = *hub;
      {
        // Counted before the reply that completes the client's connect.
        std::lock_guard<std::mutex> lock(mutex_);
        hubs_.push_back(std::move(hub));
      }
      upgraded.Write(loopback::ServerFrame(1, "{}\x1E"));
    }
  }

  loopback::Listener listener_;
  std::mutex mutex_;
  std::string instance_;
  bool answersProbes_ = true;
  std::vector<std::unique_ptr<Hub>> hubs_;
  std::thread thread_;
};

// Holds the supervisor between its passes: each pass ends in the wait hook, which returns only
// when the test lets the next pass run (or opens the gate for good).
class Passes {
 public:
  Passes() {
    SetSupervisorWaitForTesting([this](int64_t delay) {
      std::unique_lock<std::mutex> lock(mutex_);
      delays_.push_back(delay);
      cv_.notify_all();
      cv_.wait(lock, [&] { return open_ || allowed_ >= delays_.size(); });
    });
  }
  ~Passes() { SetSupervisorWaitForTesting(nullptr); }
  // True once `n` passes have ended (bounded wait).
  bool WaitFor(size_t n) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_until(lock, Clock::now() + std::chrono::milliseconds(loopback::kBoundMs),
                          [&] { return delays_.size() >= n; });
  }
  // Lets one more pass run; true once it has ended.
  bool Step() {
    size_t ended;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      allowed_ = ended = delays_.size();
    }
    cv_.notify_all();
    return WaitFor(ended + 1);
  }
  void Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    cv_.notify_all();
  }
  std::vector<int64_t> Delays() {
    std::lock_guard<std::mutex> lock(mutex_);
    return delays_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<int64_t> delays_;
  size_t allowed_ = 0;
  bool open_ = false;
};

std::string Answer(const std::string& reqId, const std::string& action, const std::string&) {
  return "answered " + reqId + " " + action;
}

class Supervisor : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDefaultRuntimePortForTesting(loopback::UnusedPort());
    SetRuntimeFilePathForTesting("/nonexistent/runtime.json");
    ResetClientIdentityForTesting();
    InstallSupervisorHooks({Answer, nullptr});
  }
  void TearDown() override {
    if (passes) passes->Open();
    stopWebSocketClient();
    passes.reset();
    service.reset();
    InstallSupervisorHooks({});
    SetSupervisorStartFailureForTesting(false);
    SetDefaultRuntimePortForTesting(0);
    SetRuntimeFilePathForTesting("");
    ResetClientIdentityForTesting();
  }
  // Starts the service and the supervisor, and lets the first pass connect.
  void StartConnected(const std::string& instance) {
    service = std::make_unique<FakeService>(instance);
    SetDefaultRuntimePortForTesting(service->Port());
    passes = std::make_unique<Passes>();
    startCadConnectionCoordinator(CadClientMetadata());
    ASSERT_TRUE(passes->WaitFor(1));
    ASSERT_EQ(service->HubCount(), 1u);
    ASSERT_TRUE(isWebSocketRunning());
  }

  std::unique_ptr<FakeService> service;
  std::unique_ptr<Passes> passes;
};

TEST_F(Supervisor, WithoutAServiceTheWaitsDoubleUpToFiveSeconds) {
  passes = std::make_unique<Passes>();
  startCadConnectionCoordinator(CadClientMetadata());
  ASSERT_TRUE(passes->WaitFor(1));
  for (int i = 1; i < 6; ++i) ASSERT_TRUE(passes->Step());
  EXPECT_EQ(passes->Delays(), (std::vector<int64_t>{500, 1000, 2000, 4000, 5000, 5000}));
  EXPECT_FALSE(isWebSocketRunning());
}

TEST_F(Supervisor, AServiceRestartedUnderAStandingSocketGetsANewConnection) {
  StartConnected("run-1");
  const std::string first = service->Query(0, "clientId");
  EXPECT_TRUE(std::regex_match(first, std::regex("\\d{20}"))) << first;
  EXPECT_EQ(service->Query(0, "serviceInstanceId"), "run-1");
  FakeService::Hub& hub = service->HubAt(0);

  // The service restarts as a new run while the old socket still stands.
  service->SetInstance("run-2");
  ASSERT_TRUE(passes->Step());
  ASSERT_EQ(service->HubCount(), 2u);
  EXPECT_TRUE(loopback::SeesEnd(hub.fd));
  EXPECT_EQ(service->Query(1, "serviceInstanceId"), "run-2");
  EXPECT_NE(service->Query(1, "clientId"), first);
  EXPECT_EQ(prepareCadClientId(), service->Query(1, "clientId"));
}

TEST_F(Supervisor, ThePageGetsTheIdentifierTheHubKnows) {
  // One handed out before the service appeared is the one the connection is made with.
  const std::string early = prepareCadClientId();
  EXPECT_TRUE(std::regex_match(early, std::regex("\\d{20}")));
  EXPECT_EQ(prepareCadClientId(), early);  // still no service: the same pending identifier
  StartConnected("run-1");
  EXPECT_EQ(service->Query(0, "clientId"), early);
  EXPECT_EQ(prepareCadClientId(), early);
  // A probe that fails while connected, as with a service too slow to answer, changes nothing.
  service->SetAnswersProbes(false);
  EXPECT_EQ(prepareCadClientId(), early);
  service->SetAnswersProbes(true);
  ASSERT_TRUE(passes->Step());
  EXPECT_EQ(prepareCadClientId(), early);
  EXPECT_EQ(service->HubCount(), 1u);  // the hub knows the client by the same identifier still
}

TEST_F(Supervisor, AThreadThatCannotStartIsReportedAndALaterStartRetries) {
  SetSupervisorStartFailureForTesting(true);
  CadClientMetadata m;
  m.clientName = "described";
  testing::internal::CaptureStdout();
  startCadConnectionCoordinator(m);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("[OrvikWS] ", 0), 0u) << out;
  {
    std::lock_guard<std::mutex> lock(g_lifecycleMutex);
    EXPECT_EQ(g_metadata.clientName, "described");  // published all the same
  }
  SetSupervisorStartFailureForTesting(false);
  passes = std::make_unique<Passes>();
  startCadConnectionCoordinator(m);
  EXPECT_TRUE(passes->WaitFor(1));
}

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

}  // namespace
