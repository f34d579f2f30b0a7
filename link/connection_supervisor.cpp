#include "link/connection_supervisor.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <iostream>
#include <system_error>
#include <thread>

#include "host/platform.h"
#include "link/hub_protocol.h"

const char* const kPluginVersion = "1.0.34";

namespace {

constexpr int kMainThreadDiscoveryMs = 1000;
constexpr int kStopFlushMs = 1000;

// Guarded by g_lifecycleMutex.
std::string g_serviceInstanceId;
std::string g_clientId;
std::string g_pendingClientId;
// The identity the standing connection was made with; empty while there is none.
std::string g_linkInstanceId;
std::string g_linkClientId;
std::function<void(int64_t)> g_testWait;

// Stands alone: copied out, never held while a hook runs.
std::mutex g_hooksMutex;
SupervisorHooks g_hooks;

SupervisorHooks CurrentHooks() {
  std::lock_guard<std::mutex> lock(g_hooksMutex);
  return g_hooks;
}

// The supervisor thread is started and joined only by the host's main thread (load, unload and
// the shell commands), so its handle needs no lock of its own beyond this one.
std::mutex g_threadMutex;
std::thread g_supervisor;
std::atomic<bool> g_cancel{false};
std::atomic<bool> g_running{false};
std::atomic<bool> g_supervisorDone{false};
std::atomic<bool> g_failStartForTesting{false};

// Adopts a newly discovered service instance: the identifier handed out while no service was
// known becomes the client identifier, so the companion can match the two. Lifecycle lock held.
void AdoptInstanceLocked(const std::string& instanceId) {
  g_serviceInstanceId = instanceId;
  g_clientId = g_pendingClientId.empty() ? GenerateClientId() : g_pendingClientId;
  g_pendingClientId.clear();
}

// Lifecycle lock held. True while the connection made with g_linkClientId is up.
bool LinkStandsLocked() { return !g_linkClientId.empty() && isWebSocketRunning(); }

void ForgetLinkIdentity() {
  std::lock_guard<std::mutex> lock(g_lifecycleMutex);
  g_linkInstanceId.clear();
  g_linkClientId.clear();
}

void DropConnection() {
  ForgetLinkIdentity();
  OrvikWebSocket::Disconnect();
  g_running.store(false);
}

void ConnectionSupervisor() {
  int64_t delay = 250;
  uint64_t lastSentRevision = 0;
  while (!g_cancel.load()) {
    uint64_t revision;
    {
      std::lock_guard<std::mutex> lock(g_lifecycleMutex);
      revision = g_lifecycleRevision;
    }
    RuntimeInfo runtime;
    if (!TryDiscoverRuntime(runtime)) {
      delay = std::min<int64_t>(delay * 2, 5000);
    } else if (!g_cancel.load()) {
      CadClientMetadata metadata;
      std::string clientId;
      std::string linkInstance;
      std::string linkClient;
      {
        std::lock_guard<std::mutex> lock(g_lifecycleMutex);
        if (runtime.instanceId != g_serviceInstanceId) AdoptInstanceLocked(runtime.instanceId);
        else if (g_clientId.empty()) g_clientId = GenerateClientId();
        metadata = g_metadata;
        clientId = g_clientId;
        linkInstance = g_linkInstanceId;
        linkClient = g_linkClientId;
      }
      // A restarted service (its new run has a new instance identifier, though the old socket may
      // still stand) or an identifier changed since the connection was made: the hub must know
      // this client by the identifier the companion's pages get, so connect again.
      if (isWebSocketRunning() && (runtime.instanceId != linkInstance || clientId != linkClient)) DropConnection();
      bool justConnected = false;
      if (!isWebSocketRunning() && !g_cancel.load()) {
        if (ConnectToRuntime(runtime, clientId, metadata)) {
          justConnected = true;
          delay = 1000;
        }
      }
      if (isWebSocketRunning()) {
        CadClientMetadata copy;
        uint64_t current;
        {
          std::lock_guard<std::mutex> lock(g_lifecycleMutex);
          copy = g_metadata;
          current = g_lifecycleRevision;
        }
        if (justConnected || current != lastSentRevision) {
          if (SendCadDocumentState(copy)) lastSentRevision = current;
        }
        OrvikWebSocket::Tick();
      }
    }
    if (g_cancel.load()) break;
    std::function<void(int64_t)> testWait;
    {
      std::lock_guard<std::mutex> lock(g_lifecycleMutex);
      testWait = g_testWait;
    }
    if (testWait) {
      testWait(delay);
      continue;
    }
    std::unique_lock<std::mutex> lock(g_lifecycleMutex);
    g_lifecycleWake.wait_for(lock, std::chrono::milliseconds(delay),
                             [&] { return g_cancel.load() || g_lifecycleRevision != revision; });
  }
  g_supervisorDone.store(true);
  g_lifecycleWake.notify_all();
}

}  // namespace

std::string GenerateClientId() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof(stamp), "%Y%m%d%H%M%S", &local);
  std::string id = std::string(stamp) + std::to_string(std::rand() % 1000000 + 1000000);
  return id.substr(0, 20);
}

std::string UrlEncode(const std::string& text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 3);
  for (unsigned char c : text) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '-' || c == '_' || c == '.' || c == '~';
    if (plain) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 0xF]);
    }
  }
  return out;
}

std::string BuildCadHubUrl(const RuntimeInfo& runtime, const std::string& clientId,
                           const CadClientMetadata& m) {
  return "ws://127.0.0.1:" + std::to_string(runtime.port) + "/cadHub" +
         "?clientId=" + UrlEncode(clientId) + "&clientName=" + UrlEncode(m.clientName) +
         "&cadVersion=" + UrlEncode(m.cadVersion) + "&processName=" + UrlEncode(m.processName) +
         "&processId=" + std::to_string(m.processId) + "&platform=" + UrlEncode(m.platform) +
         "&pluginVersion=" + UrlEncode(m.pluginVersion) +
         "&serviceInstanceId=" + UrlEncode(runtime.instanceId) +
         "&documentReady=" + (m.documentReady ? "true" : "false") +
         "&activeDocumentName=" + UrlEncode(m.activeDocumentName) +
         "&activeDocumentPath=" + UrlEncode(m.activeDocumentPath);
}

CadClientMetadata getCadClientMetadata() {
  ORVIK_ASSERT_MAIN_THREAD();
  CadClientMetadata m;
  std::string name = OrvikProcessDisplayName();
  if (name.empty()) name = "AutoCAD";
  m.clientName = name;
  m.cadVersion = name;
  m.processName = "AutoCAD";
  m.processId = static_cast<uint64_t>(getpid());
  m.platform = "macos";
  m.pluginVersion = kPluginVersion;
  const SupervisorHooks hooks = CurrentHooks();
  if (hooks.describeActiveDocument) hooks.describeActiveDocument(m);
  return m;
}

void startCadConnectionCoordinator(const CadClientMetadata& metadata) {
  {
    std::lock_guard<std::mutex> lock(g_lifecycleMutex);
    g_metadata = metadata;
    ++g_lifecycleRevision;
  }
  {
    std::lock_guard<std::mutex> lock(g_threadMutex);
    if (!g_supervisor.joinable()) {
      g_cancel.store(false);
      g_supervisorDone.store(false);
      // The host's main thread calls this from load and from its commands: nothing may escape.
      try {
        if (g_failStartForTesting.load()) {
          throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        }
        g_supervisor = std::thread(ConnectionSupervisor);
      } catch (const std::exception& e) {
        std::cout << "[OrvikWS] connection supervisor not started: " << e.what() << std::endl;
      } catch (...) {
        std::cout << "[OrvikWS] connection supervisor not started" << std::endl;
      }
    }
  }
  g_lifecycleWake.notify_all();
}

std::string prepareCadClientId() {
  RuntimeInfo runtime;
  // The host's main thread waits here: about a second at most. A service slower than that counts
  // as not found, which the standing connection's identifier covers.
  const bool found = TryDiscoverRuntimeWithin(runtime, kMainThreadDiscoveryMs);
  std::string id;
  {
    std::lock_guard<std::mutex> lock(g_lifecycleMutex);
    ++g_lifecycleRevision;
    if (LinkStandsLocked() && (!found || runtime.instanceId == g_linkInstanceId)) {
      // A probe that fails (a slow service is enough) says nothing about the standing
      // connection: the page must name the client the hub knows.
      g_serviceInstanceId = g_linkInstanceId;
      g_clientId = g_linkClientId;
      g_pendingClientId.clear();
      id = g_clientId;
    } else if (found && runtime.instanceId != g_serviceInstanceId) {
      AdoptInstanceLocked(runtime.instanceId);
      id = g_clientId;
    } else if (found) {
      if (g_clientId.empty()) g_clientId = GenerateClientId();
      id = g_clientId;
    } else {
      if (g_pendingClientId.empty()) {
        g_serviceInstanceId.clear();
        g_clientId.clear();
        g_pendingClientId = GenerateClientId();
      }
      id = g_pendingClientId;
    }
    g_lifecycleWake.notify_all();
  }
  return id;
}

bool isWebSocketRunning() { return g_running.load() && OrvikWebSocket::IsConnected(); }

void stopWebSocketClient() {
  // The answers handed over last (at unload, those of the requests still queued) leave before the
  // socket closes, if the service takes them within about a second.
  OrvikWebSocket::Flush(kStopFlushMs);
  g_cancel.store(true);
  g_lifecycleWake.notify_all();
  {
    std::lock_guard<std::mutex> lock(g_threadMutex);
    if (g_supervisor.joinable() && g_supervisor.get_id() != std::this_thread::get_id()) {
      // Interrupts discovery and any connect in progress, again and again until the supervisor
      // has seen the cancel flag: a connect it began just after one interruption gets the next.
      AbortRuntimeDiscovery(true);
      while (!g_supervisorDone.load()) {
        OrvikWebSocket::Disconnect();
        std::unique_lock<std::mutex> lock(g_lifecycleMutex);
        g_lifecycleWake.wait_for(lock, std::chrono::milliseconds(50), [] { return g_supervisorDone.load(); });
      }
      g_supervisor.join();
      AbortRuntimeDiscovery(false);
    }
  }
  ForgetLinkIdentity();
  g_running.store(false);
  OrvikWebSocket::Disconnect();
}

bool ConnectToRuntime(const RuntimeInfo& runtime, const std::string& clientId,
                      const CadClientMetadata& metadata) {
  if (g_running.load()) DropConnection();
  ForgetLinkIdentity();
  const std::string url = BuildCadHubUrl(runtime, clientId, metadata);
  const bool connected = OrvikWebSocket::Connect(url, CurrentHooks().handleCommand);
  if (connected) {
    std::lock_guard<std::mutex> lock(g_lifecycleMutex);
    g_linkInstanceId = runtime.instanceId;
    g_linkClientId = clientId;
  }
  g_running.store(connected);
  return isWebSocketRunning();
}

bool SendCadDocumentState(const CadClientMetadata& metadata) {
  // Behind the results handed over before it: a refusal sent while the drawing was not ready
  // reaches the service before the state that says it is.
  return OrvikWebSocket::SendDocumentState(
      BuildCadStateRecord(metadata.documentReady, metadata.activeDocumentName, metadata.activeDocumentPath));
}

void InstallSupervisorHooks(SupervisorHooks hooks) {
  std::lock_guard<std::mutex> lock(g_hooksMutex);
  g_hooks = std::move(hooks);
}

void stopHttpServerCmd() { stopWebSocketClient(); }
void stopHttpServerSafe() { stopWebSocketClient(); }
void webSocketTick() {}

void startHttpServerCmd() {
  std::string id = prepareCadClientId();
  CadClientMetadata copy;
  {
    std::lock_guard<std::mutex> lock(g_lifecycleMutex);
    copy = g_metadata;
  }
  OrvikOpenUrl("orvik-kelm://cad/open?clientId=" + id + "&clientName=" + UrlEncode(copy.clientName));
  g_lifecycleWake.notify_all();
}

void SetSupervisorWaitForTesting(std::function<void(int64_t)> wait) {
  std::lock_guard<std::mutex> lock(g_lifecycleMutex);
  g_testWait = std::move(wait);
}

void ResetClientIdentityForTesting() {
  std::lock_guard<std::mutex> lock(g_lifecycleMutex);
  g_serviceInstanceId.clear();
  g_clientId.clear();
  g_pendingClientId.clear();
  g_linkInstanceId.clear();
  g_linkClientId.clear();
}

std::string CurrentClientIdForTesting() {
  std::lock_guard<std::mutex> lock(g_lifecycleMutex);
  return g_clientId;
}

void SetSupervisorStartFailureForTesting(bool fail) { g_failStartForTesting.store(fail); }
