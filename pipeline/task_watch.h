// Watches the host for what ends a deferred task without its marker command.
//
// A task that typed work into a drawing (runLisp, switchSpace) completes when its marker command
// runs. Two things make sure the marker never comes: the LISP code fails or is cancelled (the host
// then drops the rest of the typed text, the marker with it, and tells editor reactors through
// lispCancelled), or the drawing the task holds is closed. Either way the task is ended here with
// an "Error:" text, its lock released or forgotten, and the queue moves on. A command that fails
// inside LISP code that then goes on raises no lispCancelled, so its marker still comes.
//
// Both reactors run on the host's main thread; the entry installs them at load and removes them
// at unload.
#pragma once

#include "host/acad.h"

class OrvikTaskDocumentReactor : public AcApDocManagerReactor {
 public:
  void documentToBeDestroyed(AcApDocument* doc) override;
};

class OrvikTaskEditorReactor : public AcEditorReactor {
 public:
  void lispCancelled() override;
};

OrvikTaskDocumentReactor& taskDocumentReactor();
OrvikTaskEditorReactor& taskEditorReactor();
