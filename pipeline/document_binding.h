// Finding, activating and locking the drawing a request is meant for, and running an operation
// with the drawing's active layout put back afterwards.
//
// Everything here runs on the host's main thread inside a queued task. A document locked through
// LockTaskDocument or BindRequestedDocument stays write-locked in g_lockedDocument until
// OnTaskComplete releases it, so a task locks at most one document. Binding never opens a drawing:
// a path that is not open is an error for the caller to report.
#pragma once

#include <functional>
#include <string>

#include "host/acad.h"

// Backslashes become slashes and trailing slashes go (a lone "/" stays). Case is kept.
std::string NormalizeDocumentPath(const std::string& path);
// True when both paths exist and are the same file (device and inode).
bool SameDocumentFile(const std::string& a, const std::string& b);
// The document's file name in UTF-8; empty for a null document or name.
std::string DocumentPath(AcApDocument* document);

// The first open document whose file name matches `path` textually (after normalising both) or
// names the same file on disk; null when none does.
AcApDocument* FindOpenDocumentByPath(AcApDocManager* manager, const std::string& path);
// The same search, for a caller that must not act on a file an open drawing may hold: false when
// the host could not list its drawings (nothing is known then), else true with `found` set.
bool LookUpOpenDocumentByPath(AcApDocManager* manager, const std::string& path, AcApDocument*& found);

// Makes the document current and MDI-active; true when it is both afterwards. `status`, when given,
// receives the host's answer to the switch (eOk when nothing had to change).
bool ActivateDocument(AcApDocManager* manager, AcApDocument* document, Acad::ErrorStatus* status = nullptr);

// What locking or binding a drawing for the running task came to: the document, write-locked and
// held in g_lockedDocument until OnTaskComplete releases it, or the text the task must end with.
struct TaskDocument {
  AcApDocument* document = nullptr;
  std::string error;
  explicit operator bool() const { return document != nullptr; }
};

// Write-locks the document for the running task ("Error: Cannot lock a null document.",
// "Error: lockDocument code=<status>").
TaskDocument LockTaskDocument(AcApDocManager* manager, AcApDocument* document);

// The current document write-locked for the running task, as the actions on the active drawing
// need it ("Error: No active document." when there is none).
TaskDocument LockCurrentDocument(AcApDocManager* manager);

// Binds a request's "dwgPath" to an open document: found, activated and write-locked. On failure
// the error is the reply object and nothing is locked.
TaskDocument BindRequestedDocument(AcApDocManager* manager, const std::string& dwgPath);

// Remembers the document's active layout when created and puts it back once, on restore() or at
// destruction. It never switches a layout of a document that is not current and MDI-active.
class ScopedLayoutRestoration {
 public:
  explicit ScopedLayoutRestoration(AcApDocument* document);
  ~ScopedLayoutRestoration();
  ScopedLayoutRestoration(const ScopedLayoutRestoration&) = delete;
  ScopedLayoutRestoration& operator=(const ScopedLayoutRestoration&) = delete;

  // The original layout was captured.
  bool valid() const { return !m_layout.isNull(); }
  // True when the original layout is active again (also on a second call after a success).
  bool restore();

 private:
  AcApDocument* m_document;
  AcDbObjectId m_layout;
  bool m_done = false;
  bool m_restored = false;
};

// Runs `operation` with the document's active layout preserved; its result, or an error object when
// the layout could not be captured (the operation then does not run) or could not be put back.
std::string WithPreservedLayout(AcApDocument* document, const std::function<std::string()>& operation);
