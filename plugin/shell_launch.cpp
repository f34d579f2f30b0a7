#include "plugin/shell_launch.h"

#include <cstdint>

#include "host/host_entry.h"
#include "host/platform.h"
#include "host/strings.h"
#include "link/connection_supervisor.h"
#include "plugin/document_readiness.h"
#include "plugin/message_language.h"

namespace {

const char* const kShellUrl = "orvik-kelm://cad/open";

// The page waiting for its drawing to be confirmed (main thread only). An empty route: none.
struct PendingWorkspace {
  std::string route;
  uint64_t epoch = 0;
};
PendingWorkspace g_pendingWorkspace;

void OpenForReadyDrawing(const CadClientMetadata& metadata, const std::string& route) {
  startCadConnectionCoordinator(metadata);
  const std::string clientId = prepareCadClientId();
  openShellWithClient(clientId, metadata.clientName, route);
}

}  // namespace

std::string urlEncode(const std::string& text) { return UrlEncode(text); }

void openShellHome() { OrvikOpenUrl(kShellUrl); }

void openShellWithClient(const std::string& clientId, const std::string& clientName, const std::string& route) {
  OrvikOpenUrl(std::string(kShellUrl) + "?clientId=" + urlEncode(clientId) + "&clientName=" + urlEncode(clientName) +
               "&route=" + urlEncode(route));
}

void openClientWorkspace(const std::string& route, const std::string& commandName) {
  ORVIK_ASSERT_MAIN_THREAD();
  const CadClientMetadata metadata = getCadClientMetadata();
  if (metadata.documentReady) {
    OpenForReadyDrawing(metadata, route);
    return;
  }
  AcApDocument* document = availableActiveDocument();
  if (document && document->database() && !isCreatingAnyDocument()) {
    watchDocument(document);
    g_pendingWorkspace.route = route;
    g_pendingWorkspace.epoch = readinessTracker().epoch();
    scheduleDocumentProbe();
    return;
  }
  const std::wstring message = OrvikWide(noActiveDocumentMessage(commandName));
  acutPrintf(L"\n%s\n", message.c_str());
}

void finishPendingWorkspace() {
  ORVIK_ASSERT_MAIN_THREAD();
  if (g_pendingWorkspace.route.empty()) return;
  if (g_pendingWorkspace.epoch != readinessTracker().epoch()) {
    // The user moved to another drawing first: the page was asked for the old one.
    g_pendingWorkspace.route.clear();
    return;
  }
  const CadClientMetadata metadata = getCadClientMetadata();
  if (!metadata.documentReady) return;
  const std::string route = g_pendingWorkspace.route;
  g_pendingWorkspace.route.clear();
  OpenForReadyDrawing(metadata, route);
}

void clearPendingWorkspace() { g_pendingWorkspace.route.clear(); }

void orvikShowCmd() {
  OrvikGuarded([] { openClientWorkspace("model-current", "ORVIKPLOT"); });
}
void orvikSheetSetCmd() {
  OrvikGuarded([] { openClientWorkspace("sheetset", "ORVIKSHEETSET"); });
}
void orvikSettingsCmd() {
  OrvikGuarded([] { openClientWorkspace("settings", "ORVIKSETTING"); });
}
void orvikHomeCmd() {
  OrvikGuarded([] { openShellHome(); });
}
