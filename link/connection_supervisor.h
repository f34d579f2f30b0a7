// The connection supervisor and this client's identity.
//
// One thread discovers the companion's runtime service, connects the WebSocket with a query string
// that identifies this CAD client, reports the active drawing whenever the shared client state
// changes, sends the keep-alive and reconnects after a loss or a service restart. It sleeps on
// g_lifecycleWake between passes and wakes at once when the shared state changes. The client
// identifier stays the same for one run of the service; it is handed to the companion's user
// interface too, so the two can be matched.
//
// Identity items are guarded by g_lifecycleMutex (link/client_state.h), never held across a
// network call.
//
// The supervisor knows nothing of the layers above the link: the plug-in's entry hands it the
// command handler and the active drawing's description once at load, before the first
// startCadConnectionCoordinator:
//     InstallSupervisorHooks({HandleCommand, fillActiveDocument});
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/client_state.h"
#include "link/runtime_discovery.h"
#include "link/websocket.h"

extern const char* const kPluginVersion;

struct SupervisorHooks {
  // Answers each "ExecuteCommand" on the WebSocket's receive thread. Without one, invocations
  // are ignored.
  OrvikWebSocket::CommandHandler handleCommand;
  // Host's main thread: fills the drawing fields of the description (readiness, epoch, title,
  // path). Without one, the description names no drawing.
  std::function<void(CadClientMetadata&)> describeActiveDocument;
};

// Replaces the hooks; a connection already made keeps the handler it was made with.
void InstallSupervisorHooks(SupervisorHooks hooks);

// Twenty digits: local time to the second, then the first six digits of a random number.
std::string GenerateClientId();
// Percent-encodes every byte but ASCII letters, digits and "-_.~" (two upper-case hex digits).
std::string UrlEncode(const std::string& text);
std::string BuildCadHubUrl(const RuntimeInfo& runtime, const std::string& clientId,
                           const CadClientMetadata& metadata);

// Main thread: the description of this client with the active drawing's state.
CadClientMetadata getCadClientMetadata();

// Publishes the description and starts the supervisor unless it runs. Never throws: when the
// thread cannot be started, says so on standard output and leaves the plug-in working without a
// supervisor; a later call tries again.
void startCadConnectionCoordinator(const CadClientMetadata& metadata);
// The identifier for the companion's user interface (main thread). While the WebSocket stands,
// it is the identifier the connection was made with, whatever a probe made now finds, unless the
// probe finds another run of the service (which the supervisor then reconnects to).
std::string prepareCadClientId();
bool isWebSocketRunning();
// Cancels and joins the supervisor and closes the WebSocket; returns promptly even while the
// supervisor is inside discovery or a connect.
void stopWebSocketClient();
bool ConnectToRuntime(const RuntimeInfo& runtime, const std::string& clientId,
                      const CadClientMetadata& metadata);
bool SendCadDocumentState(const CadClientMetadata& metadata);

// Exported entry points for other callers.
void stopHttpServerCmd();
void stopHttpServerSafe();
void webSocketTick();
void startHttpServerCmd();

// Test hooks. The wait hook replaces the supervisor's timed wait between passes (it is called
// with the delay in milliseconds and without the lifecycle lock); nullptr restores the real wait.
void SetSupervisorWaitForTesting(std::function<void(int64_t delayMs)> wait);
// Forgets the identity and the supervisor's state (the supervisor must be stopped).
void ResetClientIdentityForTesting();
std::string CurrentClientIdForTesting();
// While set, starting the supervisor's thread fails as when the system refuses a new thread.
void SetSupervisorStartFailureForTesting(bool fail);
