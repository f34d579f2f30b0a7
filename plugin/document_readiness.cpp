#include "plugin/document_readiness.h"

#include <algorithm>
#include <atomic>
#include <set>

#include "host/host_entry.h"
#include "host/platform.h"
#include "host/strings.h"

namespace {

OrvikCadDocumentReadiness g_readiness;
OrvikCadDocumentReactor g_documentReactor;
OrvikCadReadinessEditorReactor g_editorReactor;
OrvikCadInputContextReactor g_inputContextReactor;

// Main thread only.
std::vector<AcApDocument*> g_watched;
std::set<const AcApDocument*> g_creating;
std::set<const AcApDocument*> g_closing;
bool g_monitoring = false;
std::vector<void (*)()> g_probeFollowUps;
// At most one probe is ever pending.
OrvikSinglePost g_probePost;
// Transient switches held (beginTransientDocumentSwitch).
int g_transientSwitches = 0;

bool contains(const std::vector<AcApDocument*>& v, const AcApDocument* d) {
  return std::find(v.begin(), v.end(), d) != v.end();
}

}  // namespace

// --- tracker -----------------------------------------------------------------------------------------

void OrvikCadDocumentReadiness::observe(const AcApDocument* document, const AcDbDatabase* database) {
  if (document == m_document && database == m_database) return;
  m_document = document;
  m_database = database;
  invalidate();
}

void OrvikCadDocumentReadiness::invalidate() {
  m_confirmed = false;
  ++m_epoch;
}

bool OrvikCadDocumentReadiness::isReady(const AcApDocument* document,
                                        const AcDbDatabase* database) const {
  return m_confirmed && document && database && document == m_document && database == m_database;
}

bool OrvikCadDocumentReadiness::canRun(uint64_t taskEpoch, const AcApDocument* document,
                                       const AcDbDatabase* database) const {
  return taskEpoch == m_epoch && isReady(document, database);
}

bool OrvikCadDocumentReadiness::confirm(bool quiescent, bool isCurrent, bool noneCreating) {
  if (m_document && m_database && quiescent && isCurrent && noneCreating) m_confirmed = true;
  return m_confirmed;
}

void OrvikCadDocumentReadiness::reset() { *this = OrvikCadDocumentReadiness(); }

OrvikCadDocumentReadiness& readinessTracker() { return g_readiness; }
OrvikCadDocumentReactor& documentReactor() { return g_documentReactor; }
OrvikCadReadinessEditorReactor& readinessEditorReactor() { return g_editorReactor; }
OrvikCadInputContextReactor& inputContextReactor() { return g_inputContextReactor; }

void setReadinessMonitoring(bool on) { g_monitoring = on; }
bool readinessMonitoring() { return g_monitoring; }

// --- drawings ------------------------------------------------------------------------------------------

AcApDocument* availableActiveDocument() {
  ORVIK_ASSERT_MAIN_THREAD();
  AcApDocManager* manager = acDocManagerPtr();
  if (!manager) return nullptr;
  AcApDocument* doc = manager->mdiActiveDocument();
  if (doc && g_closing.count(doc)) return nullptr;
  return doc;
}

void watchDocument(AcApDocument* document) {
  ORVIK_ASSERT_MAIN_THREAD();
  if (!document || contains(g_watched, document) || g_closing.count(document)) return;
  AcEdInputPointManager* input = document->inputPointManager();
  if (input && input->addInputContextReactor(&g_inputContextReactor) == Acad::eOk)
    g_watched.push_back(document);
}

void unwatchDocument(AcApDocument* document) {
  ORVIK_ASSERT_MAIN_THREAD();
  auto it = std::find(g_watched.begin(), g_watched.end(), document);
  if (it == g_watched.end()) return;
  g_watched.erase(it);
  if (AcEdInputPointManager* input = document->inputPointManager())
    input->removeInputContextReactor(&g_inputContextReactor);
}

const std::vector<AcApDocument*>& watchedDocuments() { return g_watched; }
bool isCreatingAnyDocument() { return !g_creating.empty(); }

// --- probe and publication ------------------------------------------------------------------------------

void scheduleDocumentProbe() {
  if (g_monitoring) g_probePost.post(acDocManagerPtr(), confirmActiveDocument);
}

void confirmActiveDocument(void*) {
  ORVIK_ASSERT_MAIN_THREAD();
  g_probePost.ran();
  // During a transient switch the probe would confirm the wrong drawing; its end probes again.
  if (!g_monitoring || g_transientSwitches > 0) return;
  // Run by the host from its application context: nothing may escape.
  try {
    AcApDocument* document = availableActiveDocument();
    watchDocument(document);
    AcDbDatabase* database = document ? document->database() : nullptr;
    g_readiness.observe(document, database);
    AcApDocManager* manager = acDocManagerPtr();
    bool quiescent = document && document->isQuiescent();
    bool current = document && manager && manager->curDocument() == document;
    g_readiness.confirm(quiescent, current, g_creating.empty());
    publishActiveDocument();
    for (auto* followUp : g_probeFollowUps) followUp();
  } catch (...) {
  }
}

void addProbeFollowUp(void (*followUp)()) {
  for (auto* known : g_probeFollowUps)
    if (known == followUp) return;
  g_probeFollowUps.push_back(followUp);
}

void clearProbeFollowUps() { g_probeFollowUps.clear(); }

void fillActiveDocument(CadClientMetadata& metadata) {
  ORVIK_ASSERT_MAIN_THREAD();
  AcApDocument* document = availableActiveDocument();
  AcDbDatabase* database = document ? document->database() : nullptr;
  g_readiness.observe(document, database);
  metadata.documentReady = g_readiness.isReady(document, database);
  metadata.documentEpoch = g_readiness.epoch();
  metadata.activeDocumentName = document ? OrvikUtf8(document->docTitle()) : std::string();
  metadata.activeDocumentPath = document ? OrvikUtf8(document->fileName()) : std::string();
}

void beginTransientDocumentSwitch() {
  ORVIK_ASSERT_MAIN_THREAD();
  ++g_transientSwitches;
}

void endTransientDocumentSwitch() {
  ORVIK_ASSERT_MAIN_THREAD();
  if (g_transientSwitches == 0 || --g_transientSwitches > 0) return;
  publishActiveDocument();
  scheduleDocumentProbe();
}

void publishActiveDocument() {
  if (g_transientSwitches > 0) return;
  CadClientMetadata metadata;
  fillActiveDocument(metadata);
  updateCadDocumentState(metadata.documentReady, metadata.activeDocumentName,
                         metadata.activeDocumentPath, metadata.documentEpoch);
}

bool validateCadDocumentTask(uint64_t taskEpoch) {
  ORVIK_ASSERT_MAIN_THREAD();
  AcApDocument* document = availableActiveDocument();
  AcDbDatabase* database = document ? document->database() : nullptr;
  g_readiness.observe(document, database);
  AcApDocManager* manager = acDocManagerPtr();
  if (manager && g_creating.empty() && g_readiness.canRun(taskEpoch, document, database)) {
    if (manager->curDocument() == document) return true;
    if (manager->setCurDocument(document, AcAp::kNone, false) != Acad::eOk) return false;
    return manager->curDocument() == document;
  }
  publishActiveDocument();
  scheduleDocumentProbe();
  return false;
}

void resetDocumentReadiness() {
  g_readiness.reset();
  g_transientSwitches = 0;
  g_watched.clear();
  g_creating.clear();
  g_closing.clear();
  g_monitoring = false;
  g_probePost.ran();
}

// --- reactors --------------------------------------------------------------------------------------------
// Reactor callbacks are host entry points: nothing may escape from them into the host.

void OrvikCadDocumentReactor::documentCreateStarted(AcApDocument* doc) {
  OrvikGuarded([&] {
    g_creating.insert(doc);
    if (g_transientSwitches == 0) g_readiness.invalidate();
    publishActiveDocument();
  });
}

void OrvikCadDocumentReactor::documentCreated(AcApDocument* doc) {
  OrvikGuarded([&] {
    g_creating.erase(doc);
    g_closing.erase(doc);
    watchDocument(doc);
    publishActiveDocument();
    scheduleDocumentProbe();
  });
}

void OrvikCadDocumentReactor::documentToBeDestroyed(AcApDocument* doc) {
  OrvikGuarded([&] {
    unwatchDocument(doc);
    g_creating.erase(doc);
    g_closing.insert(doc);
    AcApDocManager* manager = acDocManagerPtr();
    if (manager && manager->mdiActiveDocument() == doc && g_transientSwitches == 0) g_readiness.invalidate();
    publishActiveDocument();
  });
}

void OrvikCadDocumentReactor::documentDestroyed(const ACHAR*) {
  OrvikGuarded([] {
    publishActiveDocument();
    scheduleDocumentProbe();
  });
}

void OrvikCadDocumentReactor::documentCreateCanceled(AcApDocument* doc) {
  OrvikGuarded([&] {
    g_creating.erase(doc);
    publishActiveDocument();
    scheduleDocumentProbe();
  });
}

void OrvikCadDocumentReactor::documentBecameCurrent(AcApDocument*) {
  OrvikGuarded([] {
    publishActiveDocument();
    scheduleDocumentProbe();
  });
}

void OrvikCadDocumentReactor::documentToBeDeactivated(AcApDocument*) { OrvikGuarded(scheduleDocumentProbe); }

void OrvikCadDocumentReactor::documentActivated(AcApDocument* doc) {
  OrvikGuarded([&] {
    watchDocument(doc);
    publishActiveDocument();
    scheduleDocumentProbe();
  });
}

void OrvikCadDocumentReactor::documentTitleUpdated(AcApDocument*) { OrvikGuarded(publishActiveDocument); }

void OrvikCadReadinessEditorReactor::initialDwgFileOpenComplete(AcDbDatabase*) { OrvikGuarded(scheduleDocumentProbe); }
void OrvikCadReadinessEditorReactor::commandEnded(const ACHAR*) { OrvikGuarded(scheduleDocumentProbe); }
void OrvikCadReadinessEditorReactor::commandCancelled(const ACHAR*) { OrvikGuarded(scheduleDocumentProbe); }
void OrvikCadReadinessEditorReactor::commandFailed(const ACHAR*) { OrvikGuarded(scheduleDocumentProbe); }
void OrvikCadReadinessEditorReactor::lispEnded() { OrvikGuarded(scheduleDocumentProbe); }
void OrvikCadReadinessEditorReactor::lispCancelled() { OrvikGuarded(scheduleDocumentProbe); }

void OrvikCadInputContextReactor::beginQuiescentState() { OrvikGuarded(scheduleDocumentProbe); }
