// Readiness of the active drawing.
//
// Commands from the companion must not run against a drawing that is still opening, being created,
// closing, or that the user switched away from after the command was queued. The tracker follows
// the host's document, editor and input-context events, confirms the active drawing only when the
// host is idle with that drawing current, and numbers every change of the active drawing with an
// epoch. Every change is published into the shared client state (link/client_state.h).
//
// Everything here runs on the host's main thread; other threads see readiness only through the
// shared client state.
#pragma once

#include <cstdint>
#include <vector>

#include "host/acad.h"
#include "link/client_state.h"

// The tracker of the observed (document, database) pair. Identities are compared, never used.
class OrvikCadDocumentReadiness {
 public:
  // A new pair (or a first one) invalidates; the same pair twice changes nothing.
  void observe(const AcApDocument* document, const AcDbDatabase* database);
  void invalidate();
  bool isReady(const AcApDocument* document, const AcDbDatabase* database) const;
  bool canRun(uint64_t taskEpoch, const AcApDocument* document, const AcDbDatabase* database) const;
  // Confirms the stored pair when the host is quiescent, it is current and nothing is being
  // created; never clears a confirmation. Returns the confirmation.
  bool confirm(bool quiescent, bool isCurrent, bool noneCreating);
  uint64_t epoch() const { return m_epoch; }
  void reset();

 private:
  const AcApDocument* m_document = nullptr;
  const AcDbDatabase* m_database = nullptr;
  uint64_t m_epoch = 1;
  bool m_confirmed = false;
};

// The plug-in's own short-lived switch to another drawing, such as a read-only drawing opened, read
// and closed inside one task. While one is held, the host's document events keep their bookkeeping
// (drawings being created, closed, watched) but change neither the tracked drawing, its
// confirmation and epoch, nor the state published to the companion. When the last one ends the
// active drawing is observed as usual: the same drawing as before keeps its confirmation and epoch,
// so commands queued for it still run and the companion sees no flicker. Main thread only.
void beginTransientDocumentSwitch();
void endTransientDocumentSwitch();

class OrvikCadDocumentReactor : public AcApDocManagerReactor {
 public:
  void documentCreateStarted(AcApDocument* doc) override;
  void documentCreated(AcApDocument* doc) override;
  void documentToBeDestroyed(AcApDocument* doc) override;
  void documentDestroyed(const ACHAR* fileName) override;
  void documentCreateCanceled(AcApDocument* doc) override;
  void documentBecameCurrent(AcApDocument* doc) override;
  void documentToBeDeactivated(AcApDocument* doc) override;
  void documentActivated(AcApDocument* doc) override;
  void documentTitleUpdated(AcApDocument* doc) override;
};

class OrvikCadReadinessEditorReactor : public AcEditorReactor {
 public:
  void initialDwgFileOpenComplete(AcDbDatabase* db) override;
  void commandEnded(const ACHAR* cmd) override;
  void commandCancelled(const ACHAR* cmd) override;
  void commandFailed(const ACHAR* cmd) override;
  void lispEnded() override;
  void lispCancelled() override;
};

class OrvikCadInputContextReactor : public AcEdInputContextReactor {
 public:
  void beginQuiescentState() override;
};

// The process-wide tracker and reactors, created when the bundle is loaded.
OrvikCadDocumentReadiness& readinessTracker();
OrvikCadDocumentReactor& documentReactor();
OrvikCadReadinessEditorReactor& readinessEditorReactor();
OrvikCadInputContextReactor& inputContextReactor();

// Monitoring runs from load to unload; outside it probes are neither scheduled nor acted on.
void setReadinessMonitoring(bool on);
bool readinessMonitoring();

// The MDI-active drawing unless it is closing; null without a document manager.
AcApDocument* availableActiveDocument();
void watchDocument(AcApDocument* document);
void unwatchDocument(AcApDocument* document);
const std::vector<AcApDocument*>& watchedDocuments();
bool isCreatingAnyDocument();

// Posts one probe to the application context unless one is already pending.
void scheduleDocumentProbe();
// The probe: confirms the active drawing when the host is idle with it current, then publishes.
void confirmActiveDocument(void* data);
// Work run at the end of every probe, in the order added: the entry adds the page waiting for a
// confirmed drawing (plugin/shell_launch.h) and the command queue's drain retry, so a post the
// host refused once is tried again. Main thread, at load; cleared at unload.
void addProbeFollowUp(void (*followUp)());
void clearProbeFollowUps();
void fillActiveDocument(CadClientMetadata& metadata);
void publishActiveDocument();
// The check a queued command makes before it touches the active drawing.
bool validateCadDocumentTask(uint64_t taskEpoch);

// Forgets every drawing, the epoch and the pending probe (unload, and tests).
void resetDocumentReadiness();
