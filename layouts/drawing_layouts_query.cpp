#include "layouts/drawing_layouts_query.h"

#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "host/platform.h"
#include "host/strings.h"
#include "layouts/layout_readers.h"
#include "plugin/document_readiness.h"

namespace OrvikDrawingLayouts {
namespace {

// The host's layout manager, or null when the host has no services or no manager.
AcDbLayoutManager* LayoutManagerOrNull() {
  AcDbHostApplicationServices* services = acdbHostApplicationServices();
  return services ? services->layoutManager() : nullptr;
}


constexpr size_t kMaxPaths = 200;
constexpr Acad::ErrorStatus kFileNotFound = static_cast<Acad::ErrorStatus>(76);
constexpr Acad::ErrorStatus kFileAccessError = static_cast<Acad::ErrorStatus>(72);

const char* const kInvalidPaths =
    "{\"success\":false,\"errorCode\":\"drawing_layouts_request_invalid\","
    "\"message\":\"dwgPaths must contain one to 200 DWG file paths.\"}";
const char* const kInvalidSource =
    "{\"success\":false,\"errorCode\":\"drawing_layouts_request_invalid\","
    "\"message\":\"source must be active or files.\"}";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The position of the first non-blank at or after `from`, or npos.
size_t SkipBlanks(const std::string& text, size_t from) {
  while (from < text.size() && IsBlank(text[from])) ++from;
  return from < text.size() ? from : std::string::npos;
}

// The position just after ':' following the first quoted `key`, or npos.
size_t AfterKey(const std::string& params, const std::string& key) {
  const size_t at = params.find("\"" + key + "\"");
  if (at == std::string::npos) return std::string::npos;
  const size_t colon = params.find(':', at + key.size() + 2);
  return colon == std::string::npos ? colon : colon + 1;
}

bool HasControlByte(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

Snapshot FileSnapshot(const std::string& path, bool includeBlocks, const char* mode) {
  Snapshot snapshot;
  snapshot.dwgPath = path;
  snapshot.displayName = DisplayName(path);
  snapshot.hasFilePath = true;
  snapshot.includeBlocks = includeBlocks;
  snapshot.blockReadMode = mode;
  return snapshot;
}

// Releases the read lock taken by ReadOpenDocument on every way out.
class ReadDocument {
 public:
  ReadDocument(AcApDocManager* manager, AcApDocument* document) : manager_(manager), document_(document) {}
  ~ReadDocument() {
    if (locked_) manager_->unlockDocument(document_);
  }
  ReadDocument(const ReadDocument&) = delete;
  ReadDocument& operator=(const ReadDocument&) = delete;
  bool lock() {
    locked_ = manager_->lockDocument(document_, AcAp::kRead, nullptr, nullptr, true) == Acad::eOk;
    return locked_;
  }

 private:
  AcApDocManager* manager_;
  AcApDocument* document_;
  bool locked_ = false;
};

// A pipe or a device is never a drawing, and the host's reader would wait on a pipe without end or
// read a device such as /dev/zero until memory runs out. What cannot be examined is left to the
// host, which tells a missing file apart.
bool NotAFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

Snapshot ReadSideDatabase(const std::string& path, bool includeBlocks, const KeepGoing& keepGoing) {
  Snapshot snapshot = FileSnapshot(path, includeBlocks, "sideDatabase");
  if (NotAFile(path)) {
    SetError(snapshot, "dwg_read_failed", StatusMessage("Could not read the DWG", kFileAccessError));
    return snapshot;
  }
  // Made and destroyed per file, so a long list never holds more than one drawing.
  auto database = std::make_unique<AcDbDatabase>(false, true);
  const std::wstring widePath = OrvikWide(path);
  const Acad::ErrorStatus es =
      database->readDwgFile(widePath.c_str(), AcDbDatabase::kForReadAndAllShare, false, nullptr);
  if (es == Acad::eOk) {
    ReadLayouts(database.get(), snapshot, keepGoing);
  } else {
    snapshot.contextError = ContextError(es);
    SetError(snapshot, es == kFileNotFound ? "dwg_not_found" : "dwg_read_failed",
             StatusMessage("Could not read the DWG", es));
  }
  return snapshot;
}

// The active layout's id in the document's database, or null when it cannot be told.
AcDbObjectId ActiveLayoutOf(AcApDocument* document) {
  AcDbLayoutManager* layouts = LayoutManagerOrNull();
  AcDbDatabase* database = document ? document->database() : nullptr;
  if (!layouts || !database) return AcDbObjectId();
  AcString name;
  if (layouts->getActiveLayoutName(name, true, database) != Acad::eOk) return AcDbObjectId();
  return layouts->findLayoutNamed(name.kwszPtr(), database);
}

}  // namespace

bool ReadBool(const std::string& params, const std::string& key, bool defaultValue) {
  size_t at = AfterKey(params, key);
  if (at == std::string::npos) return defaultValue;
  at = SkipBlanks(params, at);
  if (at == std::string::npos) return defaultValue;
  if (params.compare(at, 4, "true") == 0) return true;
  if (params.compare(at, 5, "false") == 0) return false;
  return defaultValue;
}

bool ReadString(const std::string& text, size_t& position, std::string& out, const DecodePath& decodePath) {
  if (position >= text.size() || text[position] != '"') return false;
  for (size_t i = position + 1; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20) return false;
    if (c == '\\') {
      if (++i >= text.size() || static_cast<unsigned char>(text[i]) < 0x20) return false;
      continue;
    }
    if (c == '"') {
      const std::string raw = text.substr(position + 1, i - position - 1);
      out = decodePath ? decodePath(raw) : raw;
      position = i + 1;
      return true;
    }
  }
  return false;
}

bool ReadPaths(const std::string& params, std::vector<std::string>& paths, const DecodePath& decodePath) {
  size_t at = AfterKey(params, "dwgPaths");
  if (at == std::string::npos) return false;
  at = SkipBlanks(params, at);
  if (at == std::string::npos || params[at] != '[') return false;
  at = SkipBlanks(params, at + 1);
  if (at == std::string::npos) return false;
  if (params[at] == ']') return true;
  for (;;) {
    std::string path;
    if (!ReadString(params, at, path, decodePath) || path.empty()) return false;
    // An escaped control character (\u0000 above all) would reach the host as a shorter or
    // different file name than the one asked for.
    if (HasControlByte(path)) return false;
    if (paths.size() >= kMaxPaths) return false;
    paths.push_back(std::move(path));
    at = SkipBlanks(params, at);
    if (at == std::string::npos) return false;
    if (params[at] == ']') return true;
    if (params[at] != ',') return false;
    at = SkipBlanks(params, at + 1);
    if (at == std::string::npos) return false;
  }
}

bool DocumentIsOpen(AcApDocManager* manager, AcApDocument* document) {
  if (!manager || !document) return false;
  std::unique_ptr<AcApDocumentIterator> it(manager->newAcApDocumentIterator());
  if (!it) return false;
  for (; !it->done(); it->step())
    if (it->document() == document) return true;
  return false;
}

bool CanUseDocumentFallback(const Snapshot& snapshot) {
  if (!snapshot.includeBlocks) return false;
  if (!snapshot.errorCode.empty()) return snapshot.contextError;
  bool anyBlockError = false;
  for (const Layout& layout : snapshot.layouts) {
    if (layout.blockErrorCode.empty()) continue;
    if (!layout.blockContextError) return false;
    anyBlockError = true;
  }
  return anyBlockError;
}

Snapshot ReadOpenDocument(AcApDocManager* manager, AcApDocument* document, bool includeBlocks,
                          const KeepGoing& keepGoing) {
  ORVIK_ASSERT_MAIN_THREAD();
  Snapshot snapshot;
  snapshot.includeBlocks = includeBlocks;
  snapshot.blockReadMode = "openDocument";
  if (!Continue(keepGoing)) {
    SetError(snapshot, kCancelledCode, kCancelledMessage);
    return snapshot;
  }
  if (!document) {
    SetError(snapshot, "no_active_document", "There is no active drawing in CAD.");
    return snapshot;
  }
  if (!manager) {
    SetError(snapshot, "document_lock_failed", "The drawing could not be locked for a read-only snapshot.");
    return snapshot;
  }
  ReadDocument lock(manager, document);
  if (!lock.lock()) {
    SetError(snapshot, "document_lock_failed", "The drawing could not be locked for a read-only snapshot.");
    return snapshot;
  }
  const std::string filePath = OrvikUtf8(document->fileName());
  snapshot.displayName = DisplayName(filePath);
  snapshot.hasFilePath = document->isNamedDrawing() && !filePath.empty();
  snapshot.dwgPath = snapshot.hasFilePath ? filePath : std::string();
  ReadLayouts(document->database(), snapshot, keepGoing);
  if (!snapshot.hasFilePath)
    SetError(snapshot, "unsaved_document", "Save the active drawing as a DWG before importing its layouts.");
  return snapshot;
}

TemporaryReadDocument::TemporaryReadDocument(AcApDocManager* manager) : manager_(manager) {
  if (!manager_) return;
  priorCurrent_ = manager_->curDocument();
  priorActive_ = manager_->mdiActiveDocument();
  std::unique_ptr<AcApDocumentIterator> it(manager_->newAcApDocumentIterator());
  if (!it) return;
  for (; !it->done(); it->step()) existing_.push_back(it->document());
  if (priorActive_) {
    priorLayout_ = ActiveLayoutOf(priorActive_);
    if (priorLayout_.isNull()) return;
  }
  captured_ = true;
}

TemporaryReadDocument::~TemporaryReadDocument() {
  // Also runs while an exception unwinds: nothing may escape a destructor into the host.
  try {
    Snapshot scratch;
    finish(scratch);
  } catch (...) {
  }
}

bool TemporaryReadDocument::existed(AcApDocument* document) const {
  return std::find(existing_.begin(), existing_.end(), document) != existing_.end();
}

AcApDocument* TemporaryReadDocument::newcomer() const {
  if (!manager_) return nullptr;
  std::unique_ptr<AcApDocumentIterator> it(manager_->newAcApDocumentIterator());
  if (!it) return nullptr;
  AcApDocument* found = nullptr;
  for (; !it->done(); it->step()) {
    if (existed(it->document())) continue;
    if (found) return nullptr;
    found = it->document();
  }
  return found;
}

void TemporaryReadDocument::own(AcApDocument* document) {
  if (document && !existed(document)) owned_ = document;
}

void TemporaryReadDocument::beginOpen() {
  if (opening_) return;
  opening_ = true;
  beginTransientDocumentSwitch();
}

bool TemporaryReadDocument::finish(Snapshot& snapshot) {
  if (finished_) return true;
  finished_ = true;
  if (!opening_) return true;
  // Once the user's drawing is back (or the failure is recorded), readiness sees what is active
  // now; also when the restore throws, or readiness would ignore the host for good.
  struct EndSwitch {
    ~EndSwitch() {
      try {
        endTransientDocumentSwitch();
      } catch (...) {
      }
    }
  } endSwitch;
  return RestorePriorDocuments(snapshot);
}

bool TemporaryReadDocument::RestorePriorDocuments(Snapshot& snapshot) {
  bool ok = true;

  if (owned_ && DocumentIsOpen(manager_, owned_)) {
    const Acad::ErrorStatus es = manager_->appContextCloseDocument(owned_);
    if (es != Acad::eOk) {
      SetError(snapshot, "document_fallback_close_failed",
               StatusMessage("The temporary read-only drawing could not be closed", es));
      ok = false;
    }
  }

  if (priorActive_) {
    if (!DocumentIsOpen(manager_, priorActive_) ||
        manager_->setCurDocument(priorActive_, AcAp::kNone, true) != Acad::eOk) {
      ok = false;
    } else {
      AcDbLayoutManager* layouts = LayoutManagerOrNull();
      AcString name;
      if (!layouts || layouts->getActiveLayoutName(name, true, priorActive_->database()) != Acad::eOk) {
        ok = false;
      } else if (layouts->findLayoutNamed(name.kwszPtr(), priorActive_->database()) != priorLayout_ &&
                 layouts->setCurrentLayoutId(priorLayout_) != Acad::eOk) {
        ok = false;
      }
    }
  }

  if (priorCurrent_ && priorCurrent_ != priorActive_) {
    if (!DocumentIsOpen(manager_, priorCurrent_) ||
        manager_->setCurDocument(priorCurrent_, AcAp::kNone, false) != Acad::eOk)
      ok = false;
  }

  if (manager_->mdiActiveDocument() != priorActive_ || manager_->curDocument() != priorCurrent_) ok = false;

  if (!ok && snapshot.errorCode != "document_fallback_close_failed")
    SetError(snapshot, "document_fallback_restore_failed",
             "The original drawing and layout could not be restored after the read-only query.");
  return ok;
}

Snapshot ReadDocumentFallback(AcApDocManager* manager, const std::string& path,
                              const FindOpenDocument& findOpenDocument, const KeepGoing& keepGoing) {
  ORVIK_ASSERT_MAIN_THREAD();
  Snapshot snapshot = FileSnapshot(path, true, "documentFallback");
  if (!Continue(keepGoing)) {
    SetError(snapshot, kCancelledCode, kCancelledMessage);
    return snapshot;
  }
  // The user may have opened the file since the side-database read: read it there, nothing to
  // open or put back.
  if (AcApDocument* open = findOpenDocument ? findOpenDocument(manager, path) : nullptr)
    return ReadOpenDocument(manager, open, true, keepGoing);

  TemporaryReadDocument temporary(manager);
  if (!temporary.captured()) {
    SetError(snapshot, "document_fallback_context_unavailable",
             "The original drawing and layout could not be captured for a read-only fallback.");
    return snapshot;
  }
  if (!Continue(keepGoing)) {
    SetError(snapshot, kCancelledCode, kCancelledMessage);
    return snapshot;
  }

  temporary.beginOpen();
  const std::wstring widePath = OrvikWide(path);
  AcApDocManager::DocOpenParams open{};
  open.mpwszFileName = widePath.c_str();
  open.mnInitialViewType = AcApDocManager::DocOpenParams::kDefaultView;
  open.mnFlags = AcApDocManager::DocOpenParams::kRequireReadOnly |
                 AcApDocManager::DocOpenParams::kFileNameArgIsUnicode;
  const Acad::ErrorStatus es = manager->appContextOpenDocument(&open);
  AcApDocument* opened = findOpenDocument ? findOpenDocument(manager, path) : nullptr;
  temporary.own(opened ? opened : temporary.newcomer());

  if (es != Acad::eOk || !opened) {
    SetError(snapshot, "document_fallback_open_failed",
             StatusMessage("The drawing could not be opened for a read-only query", es));
  } else if (!opened->isReadOnly() && !temporary.existed(opened)) {
    SetError(snapshot, "document_fallback_not_readonly", "CAD did not honor the required read-only drawing open.");
  } else if (!Continue(keepGoing)) {
    SetError(snapshot, kCancelledCode, kCancelledMessage);
  } else {
    snapshot = ReadOpenDocument(manager, opened, true, keepGoing);
    snapshot.blockReadMode = temporary.existed(opened) ? "openDocument" : "documentFallback";
  }
  temporary.finish(snapshot);
  return snapshot;
}

std::string Query(AcApDocManager* manager, const std::string& source, const std::string& params,
                  const DecodePath& decodePath, const FindOpenDocument& findOpenDocument,
                  const KeepGoing& keepGoing) {
  ORVIK_ASSERT_MAIN_THREAD();
  const bool includeBlocks = ReadBool(params, "includeBlocks", false);
  const bool allowFallback = ReadBool(params, "allowDocumentFallback", true);
  std::string answer = "{\"drawings\":[";

  if (source == "active") {
    AcApDocument* document = nullptr;
    if (manager) {
      document = manager->mdiActiveDocument();
      if (!document) document = manager->curDocument();
    }
    AppendSerialized(answer, ReadOpenDocument(manager, document, includeBlocks, keepGoing));
  } else if (source == "files") {
    std::vector<std::string> paths;
    if (!ReadPaths(params, paths, decodePath) || paths.empty()) return kInvalidPaths;
    // Each snapshot is written as soon as it is read, so the answer never holds 200 drawings'
    // records at once.
    for (size_t i = 0; i < paths.size(); ++i) {
      const std::string& path = paths[i];
      if (i) answer.push_back(',');
      if (!Continue(keepGoing)) {
        Snapshot cancelled = FileSnapshot(path, includeBlocks, "sideDatabase");
        SetError(cancelled, kCancelledCode, kCancelledMessage);
        AppendSerialized(answer, cancelled);
        break;
      }
      Snapshot snapshot;
      if (AcApDocument* document = findOpenDocument ? findOpenDocument(manager, path) : nullptr) {
        snapshot = ReadOpenDocument(manager, document, includeBlocks, keepGoing);
        if (snapshot.dwgPath.empty()) {
          snapshot.dwgPath = path;
          snapshot.displayName = DisplayName(path);
        }
      } else {
        snapshot = ReadSideDatabase(path, includeBlocks, keepGoing);
        if (allowFallback && CanUseDocumentFallback(snapshot) && Continue(keepGoing))
          snapshot = ReadDocumentFallback(manager, path, findOpenDocument, keepGoing);
      }
      AppendSerialized(answer, snapshot);
    }
  } else {
    return kInvalidSource;
  }
  answer += "]}";
  return answer;
}

}  // namespace OrvikDrawingLayouts
