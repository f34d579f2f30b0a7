// The shared description of this CAD client: one record, its lock and its change counter.
//
// Three threads meet here. The host's main thread writes the drawing fields through
// updateCadDocumentState; the connection supervisor copies the whole record into its query string
// and state messages; the command dispatcher reads the readiness fields before it admits a command.
// Readers lock g_lifecycleMutex and copy what they need; nobody holds it across a network or host
// call. Lock order where locks nest: hub handler mutex, then g_lifecycleMutex, then the WebSocket
// send mutex.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

struct CadClientMetadata {
  std::string clientName;
  std::string cadVersion;
  std::string processName;
  uint64_t processId = 0;
  std::string platform;
  std::string pluginVersion;
  bool documentReady = false;
  uint64_t documentEpoch = 0;
  std::string activeDocumentName;
  std::string activeDocumentPath;
};

// Guards g_metadata, g_lifecycleRevision and the client identity of the connection supervisor.
extern std::mutex g_lifecycleMutex;
// Wakes the connection supervisor early; notified after g_lifecycleMutex is released.
extern std::condition_variable g_lifecycleWake;
// Incremented on every change of g_metadata or of the client identity.
extern uint64_t g_lifecycleRevision;
extern CadClientMetadata g_metadata;

// Stores the active drawing's state (even when unchanged), increments the revision and wakes the
// supervisor. Called on the host's main thread; exported for other callers.
void updateCadDocumentState(bool ready, const std::string& documentName,
                            const std::string& documentPath, uint64_t epoch);
