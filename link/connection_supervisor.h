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
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/client_state.h"
#include "link/runtime_discovery.h"

extern const char* const kPluginVersion;

// Twenty digits: local time to the second, then the first six digits of a random number.
std::string GenerateClientId();
// Percent-encodes every byte but ASCII letters, digits and "-_.~" (two upper-case hex digits).
std::string UrlEncode(const std::string& text);
std::string BuildCadHubUrl(const RuntimeInfo& runtime, const std::string& clientId,
                           const CadClientMetadata& metadata);

// Main thread: the description of this client with the active drawing's state.
CadClientMetadata getCadClientMetadata();

// Publishes the description and starts the supervisor unless it runs.
void startCadConnectionCoordinator(const CadClientMetadata& metadata);
// The identifier for the companion's user interface (main thread).
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
