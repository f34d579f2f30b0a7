// The plug-in's command pipeline loaded on the simulated host as the entry loads it, without the
// connection supervisor: for tests that drive HandleCommand and the drain by hand.
#pragma once

#include "cadsim/control.h"
#include "link/client_state.h"
#include "pipeline/command_dispatch.h"
#include "pipeline/command_queue.h"
#include "pipeline/session_actions.h"
#include "pipeline/task_watch.h"
#include "plugin/document_readiness.h"
#include "bundle/entry.h"

// A fresh host, the action table, the readiness and task reactors, and the marker command; no
// drawing is ready yet.
inline void LoadPipelineForTesting() {
  cadsim::reset();
  resetDocumentReadiness();
  ResetCommandQueue();
  RegisterAllActions();
  clearProbeFollowUps();
  addProbeFollowUp(RetryCommandDrain);
  updateCadDocumentState(false, "", "", 1);
  setReadinessMonitoring(true);
  acDocManagerPtr()->addReactor(&documentReactor());
  acDocManagerPtr()->addReactor(&taskDocumentReactor());
  acedEditor->addReactor(&readinessEditorReactor());
  acedEditor->addReactor(&taskEditorReactor());
  acedRegCmds->addCommand(L"TEST_GROUP", L"orvik-notify-lisp-done", L"orvik-notify-lisp-done",
                          ACRX_CMD_NOHISTORY, orvikNotifyLispDoneCmd);
}

inline void UnloadPipelineForTesting() {
  ResetCommandQueue();
  clearProbeFollowUps();
  // Closed one by one: the host's reset trips over several drawings torn down at once.
  for (AcApDocument* doc : cadsim::documents()) cadsim::close(doc);
  cadsim::runUntilIdle();
  cadsim::reset();
  resetDocumentReadiness();
}
