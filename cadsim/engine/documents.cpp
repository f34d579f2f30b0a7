// Documents and the document manager of the simulated host, with the host's event order, and the
// lock files the host keeps beside open drawing files.
#include <algorithm>
#include <cstdio>
#include <sys/stat.h>

#include "cadsim/engine/database_state.h"
#include "cadsim/engine/session_state.h"

namespace cadsim {
namespace {

std::wstring baseName(const std::wstring& path) {
  size_t slash = path.find_last_of(L"/\\");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

void setActive(AcApDocument* doc) {
  SessionState& s = session();
  AcApDocument* old = s.mdiActive;
  if (old == doc) return;
  if (old) raiseDocEvent([&](AcApDocManagerReactor* r) { r->documentToBeDeactivated(old); });
  if (s.cur != doc) {
    s.cur = doc;
    if (doc) raiseDocEvent([&](AcApDocManagerReactor* r) { r->documentBecameCurrent(doc); });
  }
  s.mdiActive = doc;
  if (doc) {
    raiseDocEvent([&](AcApDocManagerReactor* r) { r->documentToBeActivated(doc); });
    raiseDocEvent([&](AcApDocManagerReactor* r) { r->documentActivated(doc); });
  }
}

std::unique_ptr<DocumentData> makeDocument(const std::string& pathOrEmpty,
                                           std::unique_ptr<AcDbDatabase> loaded) {
  SessionState& s = session();
  auto d = std::make_unique<DocumentData>();
  if (pathOrEmpty.empty()) {
    d->title = L"Drawing" + std::to_wstring(++s.untitledCounter) + L".dwg";
    d->fileName = d->title;
    d->named = false;
  } else {
    d->fileName = widen(pathOrEmpty);
    d->title = baseName(d->fileName);
    d->named = true;
  }
  d->database = loaded ? std::move(loaded) : std::make_unique<AcDbDatabase>(true, false);
  return d;
}

// Takes a drawing out of the open list; it is destroyed when the caller lets it go.
std::unique_ptr<DocumentData> takeDocument(AcApDocument* doc) {
  auto& docs = session().documents;
  auto it = std::find_if(docs.begin(), docs.end(),
                         [&](const std::unique_ptr<DocumentData>& p) { return &p->facade == doc; });
  if (it == docs.end()) return nullptr;
  std::unique_ptr<DocumentData> gone = std::move(*it);
  docs.erase(it);
  return gone;
}

}  // namespace

void lock(DocumentData& d, AcAp::DocLockMode mode) {
  ++d.lockCount;
  d.lockMode = mode;
}

Acad::ErrorStatus openDrawingFile(const std::string& path, bool readOnly) {
  // The host opens files only: a path with no file is not found, whatever the tests' leniency.
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return Acad::eFileNotFound;
  int status = 0;
  openDrawing(path, &status, readOnly);
  return static_cast<Acad::ErrorStatus>(status);
}

DocumentData* dataOf(AcApDocument* doc) {
  if (!doc) return nullptr;
  for (auto& d : session().documents)
    if (&d->facade == doc) return d.get();
  return nullptr;
}

AcDbDatabase* currentDatabase() {
  DocumentData* d = dataOf(session().cur);
  return d ? d->database.get() : nullptr;
}

void raiseDocEvent(const std::function<void(AcApDocManagerReactor*)>& fn) {
  std::vector<AcApDocManagerReactor*> copy = session().docReactors;
  for (AcApDocManagerReactor* r : copy) {
    auto& live = session().docReactors;
    if (std::find(live.begin(), live.end(), r) != live.end()) fn(r);
  }
}

void raiseEditorEvent(const std::function<void(AcEditorReactor*)>& fn) {
  std::vector<AcEditorReactor*> copy = session().editorReactors;
  for (AcEditorReactor* r : copy) {
    auto& live = session().editorReactors;
    if (std::find(live.begin(), live.end(), r) != live.end()) fn(r);
  }
}

// --- control surface ------------------------------------------------------------------------------

std::string lockFilePath(const std::string& drawingPath) {
  std::string base = drawingPath;
  size_t slash = base.find_last_of('/');
  size_t dot = base.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) base.erase(dot);
  return base + ".dwl";
}

std::string secondLockFilePath(const std::string& drawingPath) { return lockFilePath(drawingPath) + "2"; }

bool createLockFiles(const std::string& drawingPath) {
  // The host writes who holds the drawing; the content only has to exist.
  bool ok = true;
  for (const std::string& p : {lockFilePath(drawingPath), secondLockFilePath(drawingPath)}) {
    FILE* f = std::fopen(p.c_str(), "w");
    if (!f) {
      ok = false;
      continue;
    }
    std::fputs("cadsim\n", f);
    std::fclose(f);
  }
  return ok;
}

void removeLockFiles(const std::string& drawingPath) {
  std::remove(lockFilePath(drawingPath).c_str());
  std::remove(secondLockFilePath(drawingPath).c_str());
}


namespace {

AcApDocument* beginOpenWith(const std::string& pathOrEmpty, std::unique_ptr<AcDbDatabase> loaded) {
  SessionState& s = session();
  s.documents.push_back(makeDocument(pathOrEmpty, std::move(loaded)));
  DocumentData* d = s.documents.back().get();
  d->opening = true;
  AcApDocument* doc = &d->facade;
  raiseDocEvent([&](AcApDocManagerReactor* r) { r->documentCreateStarted(doc); });
  if (dataOf(doc)) setActive(doc);
  return doc;
}

}  // namespace

AcApDocument* beginOpen(const std::string& pathOrEmpty) {
  requireMainThread("beginOpen");
  return beginOpenWith(pathOrEmpty, nullptr);
}

void finishOpen(AcApDocument* doc) {
  requireMainThread("finishOpen");
  DocumentData* d = dataOf(doc);
  if (!d || !d->opening) return;
  d->opening = false;
  raiseDocEvent([&](AcApDocManagerReactor* r) { r->documentCreated(doc); });
  if ((d = dataOf(doc)) != nullptr) {
    AcDbDatabase* db = d->database.get();
    raiseEditorEvent([&](AcEditorReactor* r) { r->initialDwgFileOpenComplete(db); });
  }
}

void cancelOpen(AcApDocument* doc) {
  requireMainThread("cancelOpen");
  SessionState& s = session();
  DocumentData* d = dataOf(doc);
  if (!d || !d->opening) return;
  raiseDocEvent([&](AcApDocManagerReactor* r) { r->documentCreateCanceled(doc); });
  std::unique_ptr<DocumentData> gone = takeDocument(doc);
  if (s.cur == doc) s.cur = nullptr;
  if (s.mdiActive == doc) {
    s.mdiActive = nullptr;
    if (!s.documents.empty()) setActive(&s.documents.back()->facade);
  }
}

AcApDocument* newDrawing() {
  AcApDocument* doc = beginOpen("");
  finishOpen(doc);
  return doc;
}

AcApDocument* openDrawing(const std::string& path, int* status, bool readOnly) {
  requireMainThread("openDrawing");
  if (status) *status = 0;
  struct stat st;
  std::unique_ptr<AcDbDatabase> loaded;
  bool fromFile = !path.empty() && ::stat(path.c_str(), &st) == 0;
  if (fromFile) {
    loaded = std::make_unique<AcDbDatabase>(false, false);
    Acad::ErrorStatus read = loadDrawingFile(loaded.get(), widen(path));
    if (read != Acad::eOk) {
      if (status) *status = read;
      return nullptr;
    }
  } else if (path.empty() || strictDrawingFiles()) {
    if (status) *status = path.empty() ? Acad::eInvalidInput : Acad::eFileNotFound;
    return nullptr;
  }
  AcApDocument* doc = beginOpenWith(path, std::move(loaded));
  if (DocumentData* d = dataOf(doc)) {
    d->readOnly = readOnly;
    d->database->data().readOnly = readOnly;
    // A read-only drawing leaves the file to others: the host keeps no lock files for it.
    if (fromFile && !readOnly) d->hasLockFiles = createLockFiles(path);
  }
  finishOpen(doc);
  return doc;
}

void activate(AcApDocument* doc) {
  requireMainThread("activate");
  if (!dataOf(doc)) return;
  setActive(doc);
}

void close(AcApDocument* doc) {
  requireMainThread("close");
  SessionState& s = session();
  DocumentData* d = dataOf(doc);
  if (!d) return;
  std::wstring fileName = d->fileName;
  if (s.mdiActive == doc)
    raiseDocEvent([&](AcApDocManagerReactor* r) { r->documentToBeDeactivated(doc); });
  raiseDocEvent([&](AcApDocManagerReactor* r) { r->documentToBeDestroyed(doc); });
  std::unique_ptr<DocumentData> gone = takeDocument(doc);
  bool wasActive = s.mdiActive == doc;
  if (s.cur == doc) s.cur = nullptr;
  if (s.mdiActive == doc) s.mdiActive = nullptr;
  if (gone && workingDatabase() == gone->database.get())
    acdbHostApplicationServices()->setWorkingDatabase(nullptr);
  if (gone && gone->hasLockFiles) removeLockFiles(narrow(gone->fileName));
  gone.reset();
  raiseDocEvent([&](AcApDocManagerReactor* r) { r->documentDestroyed(fileName.c_str()); });
  if (wasActive && !s.documents.empty()) setActive(&s.documents.back()->facade);
}

void retitle(AcApDocument* doc, const std::string& path) {
  requireMainThread("retitle");
  DocumentData* d = dataOf(doc);
  if (!d) return;
  d->fileName = widen(path);
  d->title = baseName(d->fileName);
  d->named = true;
  raiseDocEvent([&](AcApDocManagerReactor* r) { r->documentTitleUpdated(doc); });
}

void setBusy(AcApDocument* doc, bool busy) {
  requireMainThread("setBusy");
  DocumentData* d = dataOf(doc);
  if (!d) return;
  d->busy = busy;
  if (busy && d->quiescent) {
    d->quiescent = false;
    std::vector<AcEdInputContextReactor*> reactors = d->inputPoints.reactors;
    for (AcEdInputContextReactor* r : reactors) r->endQuiescentState();
  }
}

std::vector<AcApDocument*> documents() {
  std::vector<AcApDocument*> out;
  for (auto& d : session().documents) out.push_back(&d->facade);
  return out;
}

AcApDocument* findDocument(const std::string& pathOrTitle) {
  std::wstring w = widen(pathOrTitle);
  for (auto& d : session().documents)
    if (d->fileName == w || d->title == w) return &d->facade;
  return nullptr;
}

int lockCount(AcApDocument* doc) {
  DocumentData* d = dataOf(doc);
  return d ? d->lockCount : 0;
}

std::string fileNameUtf8(AcApDocument* doc) {
  DocumentData* d = dataOf(doc);
  return d ? narrow(d->fileName) : std::string();
}

std::string titleUtf8(AcApDocument* doc) {
  DocumentData* d = dataOf(doc);
  return d ? narrow(d->title) : std::string();
}

void setDocumentManagerAvailable(bool available) { session().managerAvailable = available; }

Acad::ErrorStatus InputPointManagerImpl::addInputContextReactor(AcEdInputContextReactor* r) {
  requireMainThread("addInputContextReactor");
  Acad::ErrorStatus es;
  if (hostCallFails("addInputContextReactor", Acad::eInvalidContext, &es)) return es;
  if (!r) return Acad::eNullObjectPointer;
  if (std::find(reactors.begin(), reactors.end(), r) != reactors.end()) return Acad::eDuplicateKey;
  reactors.push_back(r);
  return Acad::eOk;
}

Acad::ErrorStatus InputPointManagerImpl::removeInputContextReactor(AcEdInputContextReactor* r) {
  requireMainThread("removeInputContextReactor");
  auto it = std::find(reactors.begin(), reactors.end(), r);
  if (it == reactors.end()) return Acad::eKeyNotFound;
  reactors.erase(it);
  return Acad::eOk;
}

}  // namespace cadsim

using cadsim::dataOf;
using cadsim::requireMainThread;
using cadsim::session;

// --- AcApDocument --------------------------------------------------------------------------------

const ACHAR* AcApDocument::fileName() const {
  requireMainThread("AcApDocument::fileName");
  return m_data->fileName.c_str();
}
const ACHAR* AcApDocument::docTitle() const {
  requireMainThread("AcApDocument::docTitle");
  return m_data->title.c_str();
}
AcDbDatabase* AcApDocument::database() const { return m_data->database.get(); }
bool AcApDocument::isQuiescent() const { return m_data->quiescent; }
bool AcApDocument::isNamedDrawing() const { return m_data->named; }
bool AcApDocument::isReadOnly() const { return m_data->readOnly; }
AcAp::DocLockMode AcApDocument::myLockMode() const { return m_data->lockMode; }
AcEdInputPointManager* AcApDocument::inputPointManager() {
  if (cadsim::hostCallAnswersNull("inputPointManager")) return nullptr;
  return &m_data->inputPoints;
}

// --- AcApDocManager ------------------------------------------------------------------------------

AcApDocManager* acDocManagerPtr() {
  static AcApDocManager* manager = new AcApDocManager();
  return session().managerAvailable ? manager : nullptr;
}

AcApDocument* AcApDocManager::curDocument() const {
  requireMainThread("curDocument");
  return session().cur;
}

AcApDocument* AcApDocManager::mdiActiveDocument() const {
  requireMainThread("mdiActiveDocument");
  return session().mdiActive;
}

bool AcApDocManager::isApplicationContext() const {
  requireMainThread("isApplicationContext");
  return session().appContext;
}

Acad::ErrorStatus AcApDocManager::setCurDocument(AcApDocument* pDoc, AcAp::DocLockMode mode,
                                                 bool activate) {
  requireMainThread("setCurDocument");
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("setCurDocument", Acad::eInvalidContext, &es)) return es;
  cadsim::DocumentData* d = dataOf(pDoc);
  if (!d) return Acad::eInvalidInput;
  cadsim::SessionState& s = session();
  if (activate && pDoc != s.mdiActive) {
    if (!s.activationEnabled) return Acad::eDocumentSwitchDisabled;
    cadsim::setActive(pDoc);
  } else if (s.cur != pDoc) {
    s.cur = pDoc;
    cadsim::raiseDocEvent([&](AcApDocManagerReactor* r) { r->documentBecameCurrent(pDoc); });
  }
  if (mode != AcAp::kNone) cadsim::lock(*d, mode);
  return Acad::eOk;
}

Acad::ErrorStatus AcApDocManager::activateDocument(AcApDocument* pDoc, bool) {
  requireMainThread("activateDocument");
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("activateDocument", Acad::eDocumentSwitchDisabled, &es)) return es;
  if (!dataOf(pDoc)) return Acad::eInvalidInput;
  if (!session().activationEnabled) return Acad::eDocumentSwitchDisabled;
  cadsim::setActive(pDoc);
  return Acad::eOk;
}

Acad::ErrorStatus AcApDocManager::lockDocument(AcApDocument* pDoc, AcAp::DocLockMode mode,
                                               const ACHAR*, const ACHAR*, bool) {
  requireMainThread("lockDocument");
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("lockDocument", Acad::eLockViolation, &es)) return es;
  cadsim::DocumentData* d = dataOf(pDoc);
  if (!d) return Acad::eNoDocument;
  cadsim::lock(*d, mode);
  return Acad::eOk;
}

Acad::ErrorStatus AcApDocManager::unlockDocument(AcApDocument* pDoc) {
  requireMainThread("unlockDocument");
  // No fault point: the host refuses an unlock only for a drawing that is not locked, and a
  // refusal that kept the lock would model no host.
  cadsim::DocumentData* d = dataOf(pDoc);
  if (!d) return Acad::eNoDocument;
  if (d->lockCount == 0) return Acad::eNotApplicable;
  if (--d->lockCount == 0) d->lockMode = AcAp::kNone;
  return Acad::eOk;
}

AcApDocumentIterator* AcApDocManager::newAcApDocumentIterator() {
  requireMainThread("newAcApDocumentIterator");
  if (cadsim::hostCallAnswersNull("newAcApDocumentIterator")) return nullptr;
  return new AcApDocumentIterator(cadsim::documents());
}

int AcApDocManager::documentCount() const {
  requireMainThread("documentCount");
  return static_cast<int>(session().documents.size());
}

Acad::ErrorStatus AcApDocManager::beginExecuteInApplicationContext(
    void (*fn)(void*), void* pData) {
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("beginExecuteInApplicationContext", Acad::eInvalidContext, &es)) return es;
  if (!fn) return Acad::eInvalidInput;
  cadsim::SessionState& s = session();
  {
    std::lock_guard<std::mutex> lock(s.postMutex);
    s.posted.emplace_back(fn, pData);
  }
  s.postWake.notify_all();
  return Acad::eOk;
}

void AcApDocManager::addReactor(AcApDocManagerReactor* reactor) {
  requireMainThread("AcApDocManager::addReactor");
  auto& v = session().docReactors;
  if (reactor && std::find(v.begin(), v.end(), reactor) == v.end()) v.push_back(reactor);
}

void AcApDocManager::removeReactor(AcApDocManagerReactor* reactor) {
  requireMainThread("AcApDocManager::removeReactor");
  auto& v = session().docReactors;
  v.erase(std::remove(v.begin(), v.end(), reactor), v.end());
}

Acad::ErrorStatus AcApDocManager::sendStringToExecute(AcApDocument* pDoc, const ACHAR* text,
                                                      bool bActivate, bool, bool) {
  requireMainThread("sendStringToExecute");
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("sendStringToExecute", Acad::eNotApplicable, &es)) return es;
  if (!dataOf(pDoc) || !text) return Acad::eInvalidInput;
  session().input.push_back(cadsim::PendingInput{pDoc, text, bActivate});
  return Acad::eOk;
}

Acad::ErrorStatus AcApDocManager::appContextNewDocument(const ACHAR*) {
  requireMainThread("appContextNewDocument");
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("appContextNewDocument", Acad::eNotApplicable, &es)) return es;
  cadsim::newDrawing();
  return Acad::eOk;
}

Acad::ErrorStatus AcApDocManager::appContextOpenDocument(const ACHAR* name) {
  requireMainThread("appContextOpenDocument");
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("appContextOpenDocument", Acad::eFileAccessErr, &es)) return es;
  if (!name || !*name) return Acad::eInvalidInput;
  return cadsim::openDrawingFile(cadsim::narrow(name));
}

Acad::ErrorStatus AcApDocManager::appContextOpenDocument(const DocOpenParams* params) {
  requireMainThread("appContextOpenDocument");
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("appContextOpenDocument", Acad::eFileAccessErr, &es)) return es;
  if (!params) return Acad::eInvalidInput;
  std::string path;
  if (params->mpwszFileName) path = cadsim::narrow(params->mpwszFileName);
  if (path.empty()) return Acad::eInvalidInput;
  if ((params->mnFlags & DocOpenParams::kRequireReadOnly) &&
      (params->mnFlags & DocOpenParams::kDisallowReadOnly))
    return Acad::eInvalidInput;
  // A drawing the user has open already comes to the front as it is, read-only or not.
  for (auto& d : session().documents)
    if (d->named && d->fileName == cadsim::widen(path)) {
      if (!session().activationEnabled) return Acad::eDocumentSwitchDisabled;
      cadsim::activate(&d->facade);
      return Acad::eOk;
    }
  const bool readOnly = (params->mnFlags & DocOpenParams::kRequireReadOnly) && cadsim::readOnlyOpenHonoured();
  return cadsim::openDrawingFile(path, readOnly);
}

Acad::ErrorStatus AcApDocManager::appContextCloseDocument(AcApDocument* pDoc) {
  requireMainThread("appContextCloseDocument");
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("appContextCloseDocument", Acad::eNotApplicable, &es)) return es;
  if (!dataOf(pDoc)) return Acad::eInvalidInput;
  cadsim::close(pDoc);
  return Acad::eOk;
}

bool AcApDocManager::isDocumentActivationEnabled() { return session().activationEnabled; }

Acad::ErrorStatus AcApDocManager::disableDocumentActivation() {
  requireMainThread("disableDocumentActivation");
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("disableDocumentActivation", Acad::eInvalidContext, &es)) return es;
  session().activationEnabled = false;
  cadsim::raiseDocEvent([](AcApDocManagerReactor* r) { r->documentActivationModified(false); });
  return Acad::eOk;
}

Acad::ErrorStatus AcApDocManager::enableDocumentActivation() {
  requireMainThread("enableDocumentActivation");
  Acad::ErrorStatus es;
  if (cadsim::hostCallFails("enableDocumentActivation", Acad::eInvalidContext, &es)) return es;
  session().activationEnabled = true;
  cadsim::raiseDocEvent([](AcApDocManagerReactor* r) { r->documentActivationModified(true); });
  return Acad::eOk;
}
