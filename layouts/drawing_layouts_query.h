// The drawing layouts query: the layouts (and on request the attributed blocks) of the active
// drawing or of up to 200 drawing files, open or not, as {"drawings":[...]} with one snapshot per
// drawing in request order.
//
// A file open in CAD is read from its document under a read lock; any other file is read into a
// side database that never becomes a document. When blocks were asked for and a side-database read
// failed only with context errors, the file may be opened read-only as a temporary document, read
// there and closed again; the active document, the current document and the active layout are put
// back as they were, and a failure to put them back is reported rather than hidden.
//
// Everything runs on the host's main thread in the application context. `keepGoing` is asked
// between drawings, layouts, entities and attributes; a false answer ends the work soon with a
// "drawing_layouts_cancelled" mark.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/acad.h"
#include "layouts/drawing_snapshot.h"

namespace OrvikDrawingLayouts {

using DecodePath = std::function<std::string(const std::string&)>;
using FindOpenDocument = std::function<AcApDocument*(AcApDocManager*, const std::string&)>;
using KeepGoing = std::function<bool()>;

// The whole answer: the envelope, or one of the two request-level error objects.
std::string Query(AcApDocManager* manager, const std::string& source, const std::string& params,
                  const DecodePath& decodePath, const FindOpenDocument& findOpenDocument,
                  const KeepGoing& keepGoing);

// The "dwgPaths" array: false unless it holds 1 to 200 non-empty strings free of control
// characters, before and after decoding (an empty array reads as true with no paths).
bool ReadPaths(const std::string& params, std::vector<std::string>& paths, const DecodePath& decodePath);
// One JSON string starting at `position`; `out` is its raw text passed through `decodePath`.
bool ReadString(const std::string& text, size_t& position, std::string& out, const DecodePath& decodePath);
// A boolean key by text scan; anything but a literal true or false gives the default.
bool ReadBool(const std::string& params, const std::string& key, bool defaultValue);

// Reads an open document under a read lock (mode "openDocument").
Snapshot ReadOpenDocument(AcApDocManager* manager, AcApDocument* document, bool includeBlocks,
                          const KeepGoing& keepGoing);
// Reads a file through a temporary read-only document (mode "documentFallback"), or from its
// document when it is open by now (mode "openDocument").
Snapshot ReadDocumentFallback(AcApDocManager* manager, const std::string& path,
                              const FindOpenDocument& findOpenDocument, const KeepGoing& keepGoing);
// Blocks were asked for and every failure of the read was a context error.
bool CanUseDocumentFallback(const Snapshot& snapshot);
// Whether that very document is among the manager's open documents.
bool DocumentIsOpen(AcApDocManager* manager, AcApDocument* document);

// What the fallback must put back, captured before it opens anything. finish() closes the
// document the fallback opened and restores the rest; the destructor finishes an early exit.
class TemporaryReadDocument {
 public:
  explicit TemporaryReadDocument(AcApDocManager* manager);
  ~TemporaryReadDocument();
  TemporaryReadDocument(const TemporaryReadDocument&) = delete;
  TemporaryReadDocument& operator=(const TemporaryReadDocument&) = delete;

  bool captured() const { return captured_; }
  // From here until finish the readiness tracker ignores the temporary drawing's events.
  void beginOpen();
  bool existed(AcApDocument* document) const;
  // Takes ownership of a document the fallback opened; documents open before are never taken.
  void own(AcApDocument* document);
  // The one document open now that was not open before, or null: what an open produced when the
  // path does not find it (a host that records another spelling of the name), so it is still
  // closed again rather than left in the user's session.
  AcApDocument* newcomer() const;
  // Closes and restores once; false when something could not be put back (recorded in
  // `snapshot`, a close failure before a restore failure).
  bool finish(Snapshot& snapshot);

 private:
  bool RestorePriorDocuments(Snapshot& snapshot);

  AcApDocManager* manager_ = nullptr;
  AcApDocument* priorCurrent_ = nullptr;
  AcApDocument* priorActive_ = nullptr;
  AcDbObjectId priorLayout_;
  std::vector<AcApDocument*> existing_;
  AcApDocument* owned_ = nullptr;
  bool finished_ = false;
  bool opening_ = false;
  bool captured_ = false;
};

}  // namespace OrvikDrawingLayouts
