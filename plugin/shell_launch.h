// Commands that open the companion's user interface on a page for this client.
//
// A page is opened only for a confirmed drawing: a request made while the active drawing is not
// yet confirmed waits, and the readiness probe finishes it (finishPendingWorkspace). Main thread.
#pragma once

// Called at the end of every readiness probe: opens a page that was waiting for confirmation.
void finishPendingWorkspace();
// Drops a page request still waiting for confirmation (unload).
void clearPendingWorkspace();
