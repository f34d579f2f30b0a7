// Finding the companion's runtime service on this machine.
//
// Discovery probes the default port with the HTTP health request and, failing that, reads the
// service's discovery file and confirms it with the same probe. Every function is synchronous,
// blocks for at most a few seconds, reports failure as false and leaves no socket open. The
// connection supervisor calls TryDiscoverRuntime from its own thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

struct RuntimeInfo {
  int32_t port = 0;
  int64_t pid = 0;
  std::string instanceId;
};

constexpr int kDefaultRuntimePort = 8165;

// The whole discovery; on true `info` is filled.
bool TryDiscoverRuntime(RuntimeInfo& info);
// The same, for the host's main thread: the probes together give up once `budgetMs` has passed,
// so a service that accepts and then says nothing (or trickles) cannot hold the host.
bool TryDiscoverRuntimeWithin(RuntimeInfo& info, int budgetMs);

// Health probe of one port; on true `info` holds the port and the reply's pid and instanceId.
bool TryReadRuntimeAtPort(int port, RuntimeInfo& info);

// Reads and checks the discovery file; on true `info` holds its port, pid and instanceId.
bool TryReadRuntime(RuntimeInfo& info);

// Probes info.port and requires the reply's pid and instanceId to equal the record's.
bool VerifyRuntimeHealth(const RuntimeInfo& info);

// The checks of TryReadRuntime on a file's text.
bool ParseRuntimeFile(const std::string& text, RuntimeInfo& info);

// The checks of TryReadRuntimeAtPort on a whole health reply (status line, headers, body).
bool ParseHealthReply(const std::string& reply, int probedPort, RuntimeInfo& info);

// Field readers: plain text searches for the quoted key, its colon and the value after it.
// The integer reader takes the first digit run before the member ends (a "," "}" or "]"), with a
// "-" directly before it making it negative; false when there is none or it overflows.
bool ReadIntegerMember(const std::string& text, const std::string& key, int64_t& value);
// The text between the next two double quotes after the key's colon, not unescaped; empty when
// any step is not found.
std::string ReadStringMember(const std::string& text, const std::string& key);

using ExchangeDeadline = std::chrono::steady_clock::time_point;

// Sends `request` to 127.0.0.1:port and reads the reply until the peer closes, a read waits more
// than `idleSeconds`, `maxBytes` are read, or 4 x idleSeconds or the caller's deadline have passed.
// False when the connection or the send fails; the reply read so far is kept either way.
bool LocalHttpExchange(int port, const std::string& request, int idleSeconds, size_t maxBytes, std::string& reply,
                       ExchangeDeadline deadline = ExchangeDeadline::max());

// The discovery file's text, read without blocking and only when it is a small regular file (a
// FIFO or a huge file planted at the path fails the read instead of stalling its caller).
bool ReadRuntimeFileText(std::string& text);

// The discovery file: $HOME/Library/Application Support/OrvikKelm/runtime.json; empty when HOME
// is unset.
std::string RuntimeFilePath();

// While set, probes in progress give up within a tenth of a second and new ones fail at once, so
// that unloading never waits for a service that accepts and then says nothing.
void AbortRuntimeDiscovery(bool abort);

// Test hooks: replace the default port and the discovery file path (0 / empty restores them).
void SetDefaultRuntimePortForTesting(int port);
void SetRuntimeFilePathForTesting(const std::string& path);
