// The supervisor's pacing and the client identity, with the waits and the service driven by hand.
#include <gtest/gtest.h>

#include <condition_variable>
#include <regex>
#include <thread>

#include "link/connection_supervisor.h"
#include "link/websocket.h"
#include "loopback.h"

namespace {

// Answers health probes as a service instance would, until destroyed.
struct HealthService {
  loopback::Listener listener;
  std::thread thread;

  explicit HealthService(const std::string& instance) {
    thread = std::thread([this, instance] {
      for (int c; (c = ::accept(listener.fd, nullptr, nullptr)) >= 0; ::close(c)) {
        loopback::ReadHead(c);
        loopback::WriteAll(c, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n{\"pid\":42,\"port\":" +
                                  std::to_string(listener.port) + ",\"protocolVersion\":1,\"instanceId\":\"" +
                                  instance + "\"}");
      }
    });
  }
  ~HealthService() {
    ::shutdown(listener.fd, SHUT_RDWR);
    thread.join();
  }
};

class Supervisor : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDefaultRuntimePortForTesting(loopback::UnusedPort());
    SetRuntimeFilePathForTesting("/nonexistent/runtime.json");
    ResetClientIdentityForTesting();
  }
  void TearDown() override {
    SetSupervisorWaitForTesting(nullptr);
    stopWebSocketClient();
    SetDefaultRuntimePortForTesting(0);
    SetRuntimeFilePathForTesting("");
    ResetClientIdentityForTesting();
  }
};

TEST_F(Supervisor, WithoutAServiceTheWaitsDoubleUpToFiveSeconds) {
  std::mutex m;
  std::condition_variable cv;
  std::vector<int64_t> waits;
  bool release = false;
  SetSupervisorWaitForTesting([&](int64_t delay) {
    std::unique_lock<std::mutex> lock(m);
    waits.push_back(delay);
    cv.notify_all();
    if (waits.size() >= 6) cv.wait(lock, [&] { return release; });
  });
  startCadConnectionCoordinator(CadClientMetadata());
  {
    std::unique_lock<std::mutex> lock(m);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(30), [&] { return waits.size() >= 6; }));
    EXPECT_EQ(waits, (std::vector<int64_t>{500, 1000, 2000, 4000, 5000, 5000}));
    release = true;
    cv.notify_all();
  }
  stopWebSocketClient();
  EXPECT_FALSE(isWebSocketRunning());
}

TEST_F(Supervisor, AnIdentifierHandedOutBeforeTheServiceAppearedIsAdopted) {
  std::string early = prepareCadClientId();
  EXPECT_TRUE(std::regex_match(early, std::regex("\\d{20}")));
  EXPECT_EQ(prepareCadClientId(), early);  // still no service: the same pending identifier

  HealthService service("run-1");
  SetDefaultRuntimePortForTesting(service.listener.port);
  EXPECT_EQ(prepareCadClientId(), early);
  EXPECT_EQ(CurrentClientIdForTesting(), early);
}

TEST_F(Supervisor, ANewServiceInstanceGetsANewIdentifier) {
  HealthService first("run-1");
  SetDefaultRuntimePortForTesting(first.listener.port);
  std::string id1 = prepareCadClientId();
  EXPECT_EQ(prepareCadClientId(), id1);
  HealthService second("run-2");
  SetDefaultRuntimePortForTesting(second.listener.port);
  // A new identifier: equal only if the same second drew the same random number.
  EXPECT_NE(prepareCadClientId(), id1);
}

TEST(ClientIdentity, IdentifiersAreTwentyDigits) {
  for (int i = 0; i < 100; ++i) EXPECT_TRUE(std::regex_match(GenerateClientId(), std::regex("\\d{20}")));
}

TEST(ClientIdentity, UrlEncodingIsBytewiseUpperCase) {
  // Only the unreserved set passes; the query's own delimiters and every UTF-8 byte are encoded.
  EXPECT_EQ(UrlEncode("AZaz09-_.~ \n'&=?/图"), "AZaz09-_.~%20%0A%27%26%3D%3F%2F%E5%9B%BE");
}

TEST(ClientIdentity, TheHubUrlCarriesEveryFieldInOrder) {
  // Every field in declaration order; the expected URL below names each one.
  const CadClientMetadata m{"AutoCAD 2026", "AutoCAD 2026", "AutoCAD", 77, "macos", "1.0.34", true, 3,
                            "a b.dwg", "/x/a b.dwg"};
  const RuntimeInfo r{8165, 4242, "i d"};
  EXPECT_EQ(BuildCadHubUrl(r, "12345678901234567890", m),
            "ws://127.0.0.1:8165/cadHub?clientId=12345678901234567890&clientName=AutoCAD%202026"
            "&cadVersion=AutoCAD%202026&processName=AutoCAD&processId=77&platform=macos"
            "&pluginVersion=1.0.34&serviceInstanceId=i%20d&documentReady=true"
            "&activeDocumentName=a%20b.dwg&activeDocumentPath=%2Fx%2Fa%20b.dwg");
}

}  // namespace
