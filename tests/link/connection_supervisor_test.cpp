// The supervisor's pacing and the client identity, with the waits and the service driven by hand.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <regex>
#include <thread>

#include "link/connection_supervisor.h"
#include "link/websocket.h"

namespace {

int UnusedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

// Answers health probes as a service instance would, until destroyed.
class HealthService {
 public:
  explicit HealthService(std::string instanceId) : instance_(std::move(instanceId)) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(fd_, 8);
    socklen_t len = sizeof addr;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] {
      for (;;) {
        int c = ::accept(fd_, nullptr, nullptr);
        if (c < 0) return;
        char buf[1024];
        (void)!::recv(c, buf, sizeof buf, 0);
        std::string body = "{\"pid\":42,\"port\":" + std::to_string(port_) +
                           ",\"protocolVersion\":1,\"instanceId\":\"" + instance_ + "\"}";
        std::string reply = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body;
        (void)!::send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
        ::close(c);
      }
    });
  }
  ~HealthService() {
    ::shutdown(fd_, SHUT_RDWR);
    thread_.join();
    ::close(fd_);
  }
  int port() const { return port_; }

 private:
  std::string instance_;
  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
};

class Supervisor : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDefaultRuntimePortForTesting(UnusedPort());
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
  SetDefaultRuntimePortForTesting(service.port());
  EXPECT_EQ(prepareCadClientId(), early);
  EXPECT_EQ(CurrentClientIdForTesting(), early);
}

TEST_F(Supervisor, ANewServiceInstanceGetsANewIdentifier) {
  HealthService first("run-1");
  SetDefaultRuntimePortForTesting(first.port());
  std::string id1 = prepareCadClientId();
  EXPECT_EQ(prepareCadClientId(), id1);
  HealthService second("run-2");
  SetDefaultRuntimePortForTesting(second.port());
  // A new identifier: equal only if the same second drew the same random number.
  EXPECT_NE(prepareCadClientId(), id1);
}

TEST(ClientIdentity, IdentifiersAreTwentyDigits) {
  for (int i = 0; i < 100; ++i) EXPECT_TRUE(std::regex_match(GenerateClientId(), std::regex("\\d{20}")));
}

TEST(ClientIdentity, UrlEncodingIsBytewiseUpperCase) {
  EXPECT_EQ(UrlEncode("a b"), "a%20b");
  EXPECT_EQ(UrlEncode("line\n"), "line%0A");
  EXPECT_EQ(UrlEncode("图"), "%E5%9B%BE");
  EXPECT_EQ(UrlEncode("AZaz09-_.~"), "AZaz09-_.~");
  EXPECT_EQ(UrlEncode("'&=?/"), "%27%26%3D%3F%2F");
}

TEST(ClientIdentity, TheHubUrlCarriesEveryFieldInOrder) {
  CadClientMetadata m;
  m.clientName = "AutoCAD 2026";
  m.cadVersion = "AutoCAD 2026";
  m.processName = "AutoCAD";
  m.processId = 77;
  m.platform = "macos";
  m.pluginVersion = "1.0.34";
  m.documentReady = true;
  m.activeDocumentName = "a b.dwg";
  m.activeDocumentPath = "/x/a b.dwg";
  RuntimeInfo r;
  r.port = 8165;
  r.instanceId = "i d";
  EXPECT_EQ(BuildCadHubUrl(r, "12345678901234567890", m),
            "ws://127.0.0.1:8165/cadHub?clientId=12345678901234567890&clientName=AutoCAD%202026"
            "&cadVersion=AutoCAD%202026&processName=AutoCAD&processId=77&platform=macos"
            "&pluginVersion=1.0.34&serviceInstanceId=i%20d&documentReady=true"
            "&activeDocumentName=a%20b.dwg&activeDocumentPath=%2Fx%2Fa%20b.dwg");
}

}  // namespace
