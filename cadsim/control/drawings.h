// Drawings: opening, creating, activating and closing them as a user or the host would, with the
// host's events, and what tests read about them.
#pragma once

#include <string>
#include <vector>

#include "cadsim/sdk/acap.h"

namespace cadsim {

// Creates an unsaved drawing "DrawingN.dwg" and makes it active, with the full event sequence.
AcApDocument* newDrawing();
// Opens a drawing: a path of a readable drawing file loads it and keeps the host's lock files
// "<name>.dwl" and "<name>.dwl2" beside it until it closes. A file that cannot be read answers its
// status (a binary DWG: eDwgNotRecoverable 61). A path with no file creates an empty drawing with
// that name, so tests and scripts can name drawings freely; with strict drawing files it answers
// eFileNotFound (76) instead, as the real host does. The drawing becomes active. Returns null and
// sets *status when the host refuses. appContextOpenDocument and the program's OPEN and DRAWING
// arguments open the same way.
// With readOnly the drawing opens read-only: isReadOnly() is true and its objects do not open for
// write.
AcApDocument* openDrawing(const std::string& path, int* status = nullptr, bool readOnly = false);
void setStrictDrawingFiles(bool strict);
// Whether the open with a parameter record honours its require-read-only flag (default true);
// false makes the host open such a drawing writable, as some hosts do.
void setReadOnlyOpenHonoured(bool honoured);
// The lock file paths the host keeps beside an open drawing file.
std::string lockFilePath(const std::string& drawingPath);
std::string secondLockFilePath(const std::string& drawingPath);

// Staged creation, for "still opening" states: beginOpen raises the creation-started and the
// activation events and stops before the creation completes; finishOpen completes it, cancelOpen
// cancels it (the drawing is destroyed).
AcApDocument* beginOpen(const std::string& pathOrEmpty);
void finishOpen(AcApDocument* doc);
void cancelOpen(AcApDocument* doc);

// Brings an open drawing to the front as a user would (deactivation and activation events).
void activate(AcApDocument* doc);
// Closes a drawing with the host's events; the next drawing, if any, becomes active.
void close(AcApDocument* doc);
// Gives a drawing a new file name and title, raising the title event.
void retitle(AcApDocument* doc, const std::string& path);
// Holds a drawing busy (not quiescent) until released.
void setBusy(AcApDocument* doc, bool busy);

std::vector<AcApDocument*> documents();
AcApDocument* findDocument(const std::string& pathOrTitle);
int lockCount(AcApDocument* doc);
std::string fileNameUtf8(AcApDocument* doc);
std::string titleUtf8(AcApDocument* doc);

}  // namespace cadsim
