// The link against the runtime service stand-in (a real WebSocket server library): connect and
// handshake, records of every length class, invocations both ways, pings, and the server closing.
// Skipped when the stand-in script is not present.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "link/hub_protocol.h"
#include "link/runtime_discovery.h"
#include "link/websocket.h"

extern char** environ;

namespace {

std::string StandinPath() {
  if (const char* path = std::getenv("ORVIK_STANDIN")) return path;
  return std::string(ORVIK_SOURCE_DIR) + "/tools/runtime_standin.py";
}

// The stand-in as a child process speaking JSON lines.
struct Standin {
  pid_t pid = -1;
  int in = -1;   // its standard input
  int out = -1;  // its standard output
  std::string pending;
  std::string home;

  bool Start(const std::vector<std::string>& extra) {
    char dir[] = "/tmp/orvik-link-XXXXXX";
    if (!::mkdtemp(dir)) return false;
    home = dir;
    int toChild[2], fromChild[2];
    if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) return false;
    std::vector<std::string> args = {"/usr/bin/python3", StandinPath(), "serve", "--port", "0", "--home", home,
                                     "--json", "--ping-interval", "0"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    posix_spawn_file_actions_addclose(&actions, toChild[1]);
    posix_spawn_file_actions_addclose(&actions, fromChild[0]);
    const int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    in = toChild[1];
    out = fromChild[0];
    return rc == 0;
  }
  ~Standin() {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
    if (in >= 0) ::close(in);
    if (out >= 0) ::close(out);
    if (!home.empty()) std::system(("rm -rf '" + home + "'").c_str());
  }
  void Command(const std::string& line) {
    const std::string text = line + "\n";  // shorter than PIPE_BUF, so written whole
    (void)!::write(in, text.data(), text.size());
  }
  // The next event line of the given kind; empty when the stand-in says nothing for 30 s or ends.
  std::string EventOf(const std::string& kind) {
    for (;;) {
      for (size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
        const std::string line = pending.substr(0, nl);
        pending.erase(0, nl + 1);
        if (line.find("\"event\": \"" + kind + "\"") != std::string::npos) return line;
      }
      pollfd p{out, POLLIN, 0};
      char buffer[65536];
      const ssize_t n = ::poll(&p, 1, 30000) > 0 ? ::read(out, buffer, sizeof buffer) : -1;
      if (n <= 0) return std::string();
      pending.append(buffer, static_cast<size_t>(n));
    }
  }
};

std::string Member(const std::string& json, const std::string& key) {
  // The member name, not the same word as a value (the event kind "result" is both).
  const std::string needle = "\"" + key + "\"";
  for (size_t at = json.find(needle); at != std::string::npos; at = json.find(needle, at + 1)) {
    size_t cursor = json.find_first_not_of(' ', at + needle.size());
    if (cursor != std::string::npos && json[cursor] == ':') return ExtractJsonString(json, cursor);
  }
  return "<missing>";
}

}  // namespace

TEST(Standin, ConnectExchangeAndSurviveClose) {
  if (::access(StandinPath().c_str(), R_OK) != 0) GTEST_SKIP() << "runtime stand-in not present";
  Standin standin;
  ASSERT_TRUE(standin.Start({"--ws-ping-interval", "0.5"}));
  const std::string listening = standin.EventOf("listening");
  int64_t port = 0;
  ASSERT_TRUE(ReadIntegerMember(listening, "port", port)) << listening;

  const auto handler = [](const std::string& reqId, const std::string& action, const std::string& params) {
    if (action == "queue") return std::string(kQueuedResult);
    return reqId + "|" + action + "|" + params;
  };
  const std::string url = "ws://127.0.0.1:" + std::to_string(port) + "/cadHub?clientId=c%201";
  ASSERT_TRUE(OrvikWebSocket::Connect(url, handler));
  EXPECT_NE(standin.EventOf("connected").find("c 1"), std::string::npos);
  EXPECT_NE(standin.EventOf("handshake").find("true"), std::string::npos);

  // Records of every length class reach the service whole.
  for (size_t n : {0u, 125u, 126u, 65535u, 65536u, 3u << 20}) {
    const std::string text = n == 0 ? std::string() : "\"" + std::string(n - 1, 'a' + n % 26);
    ASSERT_TRUE(OrvikWebSocket::Send(text)) << n;
    const std::string e = standin.EventOf("record");
    EXPECT_EQ(Member(e, "text"), text) << n;
  }

  // Invocations: a queued one answers nothing, others answer at once with escaped text.
  standin.Command("{\"cmd\":\"exec\",\"reqId\":\"q1\",\"action\":\"queue\",\"params\":\"{}\"}");
  standin.Command(
      "{\"cmd\":\"exec\",\"reqId\":\"r\\u00e9\",\"action\":\"getDwgPath\",\"params\":\"{\\\"p\\\":\\\"a\\\\\\\\b\\u56fe\\\"}\"}");
  const std::string result = standin.EventOf("result");
  EXPECT_EQ(Member(result, "reqId"), "r\xC3\xA9");
  EXPECT_EQ(Member(result, "status"), "true");
  EXPECT_EQ(Member(result, "result"), "r\xC3\xA9|getDwgPath|{\"p\":\"a\\\\b\xE5\x9B\xBE\"}");
  EXPECT_TRUE(OrvikWebSocket::IsConnected());

  // The server closes: the client marks itself down and can connect again.
  standin.Command("{\"cmd\":\"close\"}");
  ASSERT_FALSE(standin.EventOf("disconnected").empty());
  EXPECT_FALSE(OrvikWebSocket::IsConnected());  // the close frame was seen before the server let go
  OrvikWebSocket::Disconnect();
  EXPECT_FALSE(OrvikWebSocket::Send("{}"));
  ASSERT_TRUE(OrvikWebSocket::Connect(url, handler));
  standin.EventOf("handshake");
  standin.Command("{\"cmd\":\"exec\",\"reqId\":\"r2\",\"action\":\"again\",\"params\":\"{}\"}");
  EXPECT_EQ(Member(standin.EventOf("result"), "result"), "r2|again|{}");
  OrvikWebSocket::Disconnect();
  ASSERT_FALSE(standin.EventOf("disconnected").empty());
}
