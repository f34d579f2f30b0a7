// Runtime discovery against a fake service on loopback, and the readers of the discovery file. (What
// either reader accepts is also checked on arbitrary input by a fuzzer.)
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include "link/orvik_curl.h"
#include "link/runtime_discovery.h"
#include "loopback.h"

namespace {

// Answers one connection with `reply`, then closes.
struct HttpPeer {
  loopback::Listener listener;
  std::thread thread;

  void Serve(const std::string& reply) {
    thread = std::thread([this, reply] {
      loopback::Conn c;
      if (c.Take(listener.Accept())) c.Write(reply);
    });
  }
  ~HttpPeer() {
    if (thread.joinable()) thread.join();
  }
};

std::string Health(int port, long pid = 4242, const std::string& instance = "inst-1", int protocol = 1) {
  const std::string body = "{\"status\":\"ok\",\"pid\":" + std::to_string(pid) + ",\"port\":" + std::to_string(port) +
                           ",\"protocolVersion\":" + std::to_string(protocol) + ",\"instanceId\":\"" + instance + "\"}";
  return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

std::string RuntimeFile(const std::string& schema, const std::string& protocol, const std::string& port,
                        const std::string& pid, const std::string& instance) {
  return "{\n  \"schemaVersion\": " + schema + ",\n  \"protocolVersion\": " + protocol + ",\n  \"port\": " + port +
         ",\n  \"pid\": " + pid + ",\n  \"instanceId\": " + instance + "\n}\n";
}

class DiscoveryTest : public ::testing::Test {
 protected:
  // One file per process: the test runner may run these tests in parallel processes.
  std::string path = std::string(ORVIK_BINARY_DIR) + "/link_runtime_test_" + std::to_string(::getpid()) + ".json";
  void SetUp() override {
    std::remove(path.c_str());
    SetRuntimeFilePathForTesting(path);
    SetDefaultRuntimePortForTesting(ownPort.port);
  }
  void TearDown() override {
    ::rmdir(path.c_str());
    std::remove(path.c_str());
    SetRuntimeFilePathForTesting("");
    SetDefaultRuntimePortForTesting(0);
  }
  void WriteFile(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
  loopback::ReservedPort ownPort;
};

}  // namespace

TEST_F(DiscoveryTest, FileIsConfirmedByTheServiceItNames) {
  const struct {
    const char* why;
    std::string (*reply)(int port);  // the health reply of the service on `port`
    bool found;
  } cases[] = {
      {"the service matches the file", [](int p) { return Health(p); }, true},
      {"the reply names another port", [](int p) { return Health(p + 1); }, false},
      {"the reply names another pid", [](int p) { return Health(p, 4243); }, false},
      {"the reply names another instance", [](int p) { return Health(p, 4242, "inst-2"); }, false},
      {"the reply speaks protocol 2", [](int p) { return Health(p, 4242, "inst-1", 2); }, false},
      {"the status is 404", [](int p) { return "HTTP/1.1 404 Not Found" + Health(p).substr(15); }, false},
  };
  for (const auto& c : cases) {
    HttpPeer peer;
    WriteFile(RuntimeFile("1", "1", std::to_string(peer.listener.port), "4242", "\"inst-1\""));
    peer.Serve(c.reply(peer.listener.port));
    RuntimeInfo info;
    EXPECT_EQ(TryDiscoverRuntime(info), c.found) << c.why;
    EXPECT_EQ(info.port, c.found ? peer.listener.port : 0) << c.why;
  }
}

TEST_F(DiscoveryTest, FileReader) {
  const struct {
    const char* why;
    std::string text;
    bool ok;
  } files[] = {
      {"valid", RuntimeFile("1", "1", "9001", "77", "\"abc\""), true},
      {"schemaVersion 2", RuntimeFile("2", "1", "9001", "77", "\"abc\""), false},
      {"protocolVersion 2", RuntimeFile("1", "2", "9001", "77", "\"abc\""), false},
      {"port 65536", RuntimeFile("1", "1", "65536", "77", "\"abc\""), false},
      {"pid beyond 64 bits", RuntimeFile("1", "1", "9001", "99999999999999999999", "\"abc\""), false},
      {"pid that wraps 64 bits to 4", RuntimeFile("1", "1", "9001", "18446744073709551620", "\"abc\""), false},
      {"port null must not borrow the pid's digits", RuntimeFile("1", "1", "null", "9001", "\"abc\""), false},
      {"instanceId not a string", RuntimeFile("1", "1", "9001", "77", "5"), false},
      {"truncated after the port's colon", "{\"schemaVersion\":1,\"protocolVersion\":1,\"port\":", false},
  };
  for (const auto& c : files) {
    WriteFile(c.text);
    RuntimeInfo info;
    EXPECT_EQ(TryReadRuntime(info), c.ok) << c.why;
    EXPECT_EQ(info.port, c.ok ? 9001 : 0) << c.why;
    EXPECT_EQ(info.pid, c.ok ? 77 : 0) << c.why;
  }
}

TEST_F(DiscoveryTest, OnlyASmallRegularFileIsRead) {
  const std::string valid = RuntimeFile("1", "1", "9001", "77", "\"abc\"");
  const struct {
    const char* why;
    void (*plant)(const std::string& path, const std::string& valid);
  } cases[] = {
      // An ordinary open of a FIFO waits for a writer for ever, and unloading waits for the reader.
      {"a FIFO", [](const std::string& p, const std::string&) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }},
      {"a directory", [](const std::string& p, const std::string&) { ASSERT_EQ(::mkdir(p.c_str(), 0700), 0); }},
      {"a valid file padded beyond any discovery file",
       [](const std::string& p, const std::string& v) { std::ofstream(p) << v << std::string(1 << 20, ' '); }},
  };
  for (const auto& c : cases) {
    c.plant(path, valid);
    auto read = std::async(std::launch::async, [] {
      RuntimeInfo info;
      return TryReadRuntime(info) || OrvikCurl::GetNetPort() != 0;
    });
    if (read.wait_for(std::chrono::milliseconds(loopback::kBoundMs)) != std::future_status::ready) {
      ADD_FAILURE() << c.why << ": the read blocked";
      do {  // a writer comes and goes, so each blocked open sees the end
        const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
      } while (read.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready);
    } else {
      EXPECT_FALSE(read.get()) << c.why;
    }
    ::rmdir(path.c_str());
    std::remove(path.c_str());
  }
  WriteFile(valid);
  EXPECT_EQ(OrvikCurl::GetNetPort(), 9001);  // the same file unpadded is read
}
