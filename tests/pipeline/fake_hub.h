// A minimal hub on loopback for pipeline tests: it accepts the plug-in's WebSocket, answers the
// upgrade and the hub handshake, sends invocations and collects every record the plug-in sends.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/websocket.h"

class FakeHub {
 public:
  FakeHub() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(listener_, 4);
    socklen_t len = sizeof addr;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    server_ = std::thread([this] { Serve(); });
  }
  ~FakeHub() {
    OrvikWebSocket::Disconnect();
    ::shutdown(listener_, SHUT_RDWR);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (client_ >= 0) ::shutdown(client_, SHUT_RDWR);
    }
    server_.join();
    ::close(listener_);
    if (client_ >= 0) ::close(client_);
  }

  std::string Url() const { return "ws://127.0.0.1:" + std::to_string(port_) + "/cadHub"; }

  // Server to client: one unmasked text frame holding the invocation record.
  void SendInvocation(const std::string& reqId, const std::string& action, const std::string& params) {
    SendText("{\"type\":1,\"target\":\"ExecuteCommand\",\"arguments\":[\"" + reqId + "\",\"" + action +
             "\",\"" + params + "\"]}\x1e");
  }
  void SendText(const std::string& payload) { SendFrame('\x81', payload); }
  // Server to client: a ping; the client answers with a pong carrying the same payload.
  void SendPing(const std::string& payload) { SendFrame('\x89', payload); }
  size_t WaitForPongs(size_t n, int timeoutMs = 5000) {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return pongs_ >= n; });
    return pongs_;
  }
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
  // How many CadResults each request id got (the id is the first argument, never escaped in tests).
  std::map<std::string, int> AnswersPerRequest() {
    static const std::string kHead = "{\"type\":1,\"target\":\"CadResult\",\"arguments\":[\"";
    std::map<std::string, int> answers;
    for (const std::string& r : Results())
      if (r.compare(0, kHead.size(), kHead) == 0) ++answers[r.substr(kHead.size(), r.find('"', kHead.size()) - kHead.size())];
    return answers;
  }
  // Records that are CadResults, in order.
  std::vector<std::string> Results() {
    std::vector<std::string> out;
    for (const std::string& r : Records())
      if (r.find("\"CadResult\"") != std::string::npos) out.push_back(r);
    return out;
  }

 private:
  void SendFrame(char head, const std::string& payload) {
    std::string frame(1, head);
    if (payload.size() < 126) {
      frame.push_back(static_cast<char>(payload.size()));
    } else {
      frame.push_back(126);
      frame.push_back(static_cast<char>(payload.size() >> 8));
      frame.push_back(static_cast<char>(payload.size() & 0xFF));
    }
    frame += payload;
    std::lock_guard<std::mutex> lock(mutex_);
    if (client_ >= 0) (void)!::send(client_, frame.data(), frame.size(), MSG_NOSIGNAL);
  }
  bool ReadExact(int fd, char* out, size_t n) {
    size_t got = 0;
    while (got < n) {
      ssize_t r = ::recv(fd, out + got, n - got, 0);
      if (r <= 0) return false;
      got += static_cast<size_t>(r);
    }
    return true;
  }
  void Serve() {
    int fd = ::accept(listener_, nullptr, nullptr);
    if (fd < 0) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      client_ = fd;
    }
    std::string head;
    char c;
    while (head.find("\r\n\r\n") == std::string::npos && ReadExact(fd, &c, 1)) head.push_back(c);
    const std::string reply =
        "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n";
    (void)!::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
    bool handshaken = false;
    for (;;) {
      unsigned char h[2];
      if (!ReadExact(fd, reinterpret_cast<char*>(h), 2)) break;
      uint64_t len = h[1] & 0x7F;
      if (len == 126) {
        unsigned char e[2];
        if (!ReadExact(fd, reinterpret_cast<char*>(e), 2)) break;
        len = (uint64_t(e[0]) << 8) | e[1];
      } else if (len == 127) {
        break;  // the plug-in's records are far below 64 KiB
      }
      unsigned char key[4] = {0, 0, 0, 0};
      if ((h[1] & 0x80) && !ReadExact(fd, reinterpret_cast<char*>(key), 4)) break;
      std::string payload(len, '\0');
      if (len && !ReadExact(fd, &payload[0], len)) break;
      for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(payload[i] ^ key[i % 4]);
      if ((h[0] & 0x0F) == 0xA) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++pongs_;
        cv_.notify_all();
        continue;
      }
      if ((h[0] & 0x0F) != 1) continue;
      if (!handshaken) {
        handshaken = true;
        SendText("{}\x1e");
        continue;
      }
      std::lock_guard<std::mutex> lock(mutex_);
      size_t start = 0;
      for (size_t sep; (sep = payload.find('\x1e', start)) != std::string::npos; start = sep + 1)
        records_.push_back(payload.substr(start, sep - start));
      cv_.notify_all();
    }
  }

  int listener_ = -1;
  int client_ = -1;
  int port_ = 0;
  std::thread server_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<std::string> records_;
  size_t pongs_ = 0;
};
