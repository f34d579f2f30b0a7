#include "pipeline/document_binding.h"

#include <sys/stat.h>

#include "host/opened_object.h"
#include "host/platform.h"
#include "host/strings.h"
#include "pipeline/command_queue.h"
#include "pipeline/layout_switch.h"
#include "pipeline/result_reporting.h"

namespace {

// Owns a document iterator, which the host hands over.
struct DocumentIteration {
  AcApDocumentIterator* it;
  explicit DocumentIteration(AcApDocManager* manager) : it(manager->newAcApDocumentIterator()) {}
  DocumentIteration(const DocumentIteration&) = delete;
  DocumentIteration& operator=(const DocumentIteration&) = delete;
  ~DocumentIteration() { delete it; }
};

AcDbLayoutManager* LayoutManager() {
  AcDbHostApplicationServices* services = acdbHostApplicationServices();
  return services ? services->layoutManager() : nullptr;
}

// The id of the layout the database shows now (model space included); null when unknown.
AcDbObjectId ActiveLayoutId(AcDbDatabase* database) {
  AcDbLayoutManager* layouts = LayoutManager();
  if (!database || !layouts) return AcDbObjectId();
  const ACHAR* name = layouts->findActiveLayout(true, database);
  if (!name) return AcDbObjectId();
  const std::wstring copy = name;  // the host's text lives only until its next call
  return layouts->findLayoutNamed(copy.c_str(), database);
}

// The paths the error messages name, read at the moment of the failure.
std::string CurrentAndActivePaths(AcApDocManager* manager) {
  return "; current=" + DocumentPath(manager->curDocument()) +
         "; mdiActive=" + DocumentPath(manager->mdiActiveDocument());
}

}  // namespace

std::string NormalizeDocumentPath(const std::string& path) {
  std::string out = path;
  for (char& c : out)
    if (c == '\\') c = '/';
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

bool SameDocumentFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  struct stat sa {}, sb {};
  if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string DocumentPath(AcApDocument* document) {
  if (!document) return std::string();
  return OrvikUtf8(document->fileName());
}

bool LookUpOpenDocumentByPath(AcApDocManager* manager, const std::string& path, AcApDocument*& found) {
  found = nullptr;
  if (!manager) return false;
  if (path.empty()) return true;
  const std::string wanted = NormalizeDocumentPath(path);
  DocumentIteration iteration(manager);
  if (!iteration.it) return false;
  for (AcApDocumentIterator* it = iteration.it; !it->done(); it->step()) {
    AcApDocument* document = it->document();
    if (!document) continue;
    const std::string fileName = DocumentPath(document);
    if (fileName.empty()) continue;
    if (NormalizeDocumentPath(fileName) == wanted || SameDocumentFile(fileName, path)) {
      found = document;
      break;
    }
  }
  return true;
}

AcApDocument* FindOpenDocumentByPath(AcApDocManager* manager, const std::string& path) {
  AcApDocument* found = nullptr;
  LookUpOpenDocumentByPath(manager, path, found);
  return found;
}

bool ActivateDocument(AcApDocManager* manager, AcApDocument* document, Acad::ErrorStatus* status) {
  ORVIK_ASSERT_MAIN_THREAD();
  if (!manager || !document) return false;
  if (manager->curDocument() == document && manager->mdiActiveDocument() == document) {
    if (status) *status = Acad::eOk;
    return true;
  }
  const Acad::ErrorStatus es = manager->setCurDocument(document, AcAp::kNone, true);
  if (status) *status = es;
  if (es != Acad::eOk) return false;
  return manager->curDocument() == document && manager->mdiActiveDocument() == document;
}

TaskDocument LockTaskDocument(AcApDocManager* manager, AcApDocument* document) {
  ORVIK_ASSERT_MAIN_THREAD();
  TaskDocument result;
  if (!manager || !document) {
    result.error = "Error: Cannot lock a null document.";
    return result;
  }
  const Acad::ErrorStatus es = manager->lockDocument(document, AcAp::kWrite, nullptr, nullptr, true);
  if (es != Acad::eOk) {
    result.error = "Error: lockDocument code=" + std::to_string(static_cast<int>(es));
    return result;
  }
  g_lockedDocument = document;
  result.document = document;
  return result;
}

TaskDocument LockCurrentDocument(AcApDocManager* manager) {
  AcApDocument* document = manager ? manager->curDocument() : nullptr;
  if (!document) return TaskDocument{nullptr, "Error: No active document."};
  return LockTaskDocument(manager, document);
}

TaskDocument BindRequestedDocument(AcApDocManager* manager, const std::string& dwgPath) {
  ORVIK_ASSERT_MAIN_THREAD();
  TaskDocument result;
  if (dwgPath.empty()) {
    result.error = LayoutQueueError("required_parameter_missing", "dwgPath is required.");
    return result;
  }
  if (!manager) {
    result.error = LayoutQueueError("dwg_not_open", "Requested DWG is not open. requested=" + dwgPath +
                                                        "; current=; mdiActive=");
    return result;
  }
  AcApDocument* found = FindOpenDocumentByPath(manager, dwgPath);
  if (!found) {
    result.error = LayoutQueueError("dwg_not_open", "Requested DWG is not open. requested=" + dwgPath +
                                                        CurrentAndActivePaths(manager));
    return result;
  }
  Acad::ErrorStatus status = Acad::eOk;
  if (!ActivateDocument(manager, found, &status)) {
    result.error = LayoutQueueError("dwg_activation_failed", "Could not activate requested DWG. requested=" +
                                                                 dwgPath + CurrentAndActivePaths(manager) +
                                                                 "; setCurDocumentStatus=" +
                                                                 std::to_string(static_cast<int>(status)));
    return result;
  }
  const Acad::ErrorStatus lock = manager->lockDocument(found, AcAp::kWrite, nullptr, nullptr, true);
  if (lock != Acad::eOk) {
    result.error = LayoutQueueError("document_lock_failed", "Could not lock requested DWG. requested=" + dwgPath +
                                                                CurrentAndActivePaths(manager) +
                                                                "; lockDocumentStatus=" +
                                                                std::to_string(static_cast<int>(lock)));
    return result;
  }
  g_lockedDocument = found;
  result.document = found;
  return result;
}

ScopedLayoutRestoration::ScopedLayoutRestoration(AcApDocument* document) : m_document(document) {
  if (m_document) m_layout = ActiveLayoutId(m_document->database());
}

ScopedLayoutRestoration::~ScopedLayoutRestoration() {
  if (m_done) return;
  try {
    restore();
  } catch (...) {
    // A destructor that runs while an exception travels must not throw again.
  }
}

bool ScopedLayoutRestoration::restore() {
  // Restoring happens at most once; a repeated call reports the first outcome.
  if (m_done) return m_restored;
  m_done = true;
  if (!valid()) return false;
  AcApDocManager* manager = acDocManagerPtr();
  // Switching layouts acts on the current drawing: never on another drawing's behalf.
  if (!manager || manager->curDocument() != m_document || manager->mdiActiveDocument() != m_document)
    return false;
  std::string name;
  {
    OpenedObject<AcDbLayout> layout;
    if (acdbOpenObject(layout.object, m_layout, AcDb::kForRead) != Acad::eOk || !layout.object) {
      layout.object = nullptr;
      return false;
    }
    const ACHAR* text = nullptr;
    if (layout.object->getLayoutName(text) != Acad::eOk || !text) return false;
    name = OrvikUtf8(text);
  }
  if (!SwitchSpaceSync(name)) return false;
  m_restored = ActiveLayoutId(m_document->database()) == m_layout;
  return m_restored;
}

std::string WithPreservedLayout(AcApDocument* document, const std::function<std::string()>& operation) {
  ScopedLayoutRestoration guard(document);
  if (!guard.valid())
    return LayoutQueueError("layout_context_unavailable", "The original active layout could not be captured.");
  std::string result = operation();
  if (!guard.restore())
    return LayoutQueueError("layout_restore_failed",
                            "The operation finished, but the original active layout could not be restored.");
  return result;
}
