#include "link/client_state.h"

std::mutex g_lifecycleMutex;
std::condition_variable g_lifecycleWake;
uint64_t g_lifecycleRevision = 0;
CadClientMetadata g_metadata;

void updateCadDocumentState(bool ready, const std::string& documentName,
                            const std::string& documentPath, uint64_t epoch) {
  {
    std::lock_guard<std::mutex> lock(g_lifecycleMutex);
    g_metadata.documentReady = ready;
    g_metadata.documentEpoch = epoch;
    g_metadata.activeDocumentName = documentName;
    g_metadata.activeDocumentPath = documentPath;
    ++g_lifecycleRevision;
  }
  g_lifecycleWake.notify_all();
}
