// Application layer of the SDK surface: documents, the document manager and its reactors.
//
// Everything here is main-thread-only, except AcApDocManager::beginExecuteInApplicationContext,
// which any thread may call: the callback runs later, once, in order, on the main thread, in the
// application context.
#pragma once

#include <string>
#include <vector>

#include "cadsim/sdk/acad_types.h"
#include "cadsim/sdk/acdb.h"

class AcEdInputPointManager;
class AcApDocument;

namespace cadsim {
struct DocumentData;
}

class AcApDocument {
 public:
  const ACHAR* fileName() const;
  const ACHAR* docTitle() const;
  AcDbDatabase* database() const;
  bool isQuiescent() const;
  bool isNamedDrawing() const;
  bool isReadOnly() const;
  AcAp::DocLockMode myLockMode() const;
  AcEdInputPointManager* inputPointManager();

  // Engine use.
  explicit AcApDocument(cadsim::DocumentData* data) : m_data(data) {}
  cadsim::DocumentData& data() const { return *m_data; }

 private:
  cadsim::DocumentData* m_data;
};

class AcApDocumentIterator {
 public:
  explicit AcApDocumentIterator(std::vector<AcApDocument*> docs) : m_docs(std::move(docs)) {}
  bool done() const { return m_index >= m_docs.size(); }
  void step() { ++m_index; }
  AcApDocument* document() { return done() ? nullptr : m_docs[m_index]; }

 private:
  std::vector<AcApDocument*> m_docs;
  size_t m_index = 0;
};

// Document events, raised on the main thread in the host's order.
class AcApDocManagerReactor {
 public:
  virtual ~AcApDocManagerReactor() = default;
  virtual void documentCreateStarted(AcApDocument*) {}
  virtual void documentCreated(AcApDocument*) {}
  virtual void documentToBeDestroyed(AcApDocument*) {}
  virtual void documentDestroyed(const ACHAR* /*fileName*/) {}
  virtual void documentCreateCanceled(AcApDocument*) {}
  virtual void documentLockModeWillChange(AcApDocument*, AcAp::DocLockMode /*myCurrentMode*/,
                                          AcAp::DocLockMode /*myNewMode*/,
                                          AcAp::DocLockMode /*currentMode*/,
                                          const ACHAR* /*globalCommandName*/) {}
  virtual void documentBecameCurrent(AcApDocument*) {}
  virtual void documentToBeActivated(AcApDocument*) {}
  virtual void documentToBeDeactivated(AcApDocument*) {}
  virtual void documentActivationModified(bool /*bActivation*/) {}
  virtual void documentActivated(AcApDocument*) {}
  virtual void documentTitleUpdated(AcApDocument*) {}
};

namespace cadsim {
typedef void (*AppContextCallback)(void* pData);
}

class AcApDocManager {
 public:
  // What the open with a parameter record reads; members the host does not use stay zero. Both
  // file name members are wide text (the SDK keeps the pair for source compatibility).
  struct DocOpenParams {
    union {
      const ACHAR* mpszFileName;
      const wchar_t* mpwszFileName;
    };
    union {
      const ACHAR* mpszViewName;
      const wchar_t* mpwszViewName;
      const double* mpCoords;
    };
    enum InitialViewType : unsigned char {
      kUnknown = 0,
      kDefaultView = 1,
      kLayoutName = 2,
      kViewName = 3,
      kLayoutHandle = 4,
      kViewHandle = 5,
      kViewWorldCoords = 6,
    };
    InitialViewType mnInitialViewType;
    enum {
      kDisallowReadOnly = 0x01,
      kRequireReadOnly = 0x02,
      kFileNameArgIsUnicode = 0x04,
      kViewNameArgIsUnicode = 0x08,
      kUseUIOnErrors = 0x10,
      kOwnerControlled = 0x20,
      kUseUI = 0x40,
    };
    int mnFlags;
    const wchar_t* mpwszPassword;
    void* mpOwnerData;
    void* mpUnused;
    int mnUnused;
    const wchar_t* mpwszTitle;
  };

  AcApDocument* curDocument() const;
  AcApDocument* mdiActiveDocument() const;
  bool isApplicationContext() const;
  Acad::ErrorStatus setCurDocument(AcApDocument* pDoc, AcAp::DocLockMode mode = AcAp::kNone,
                                   bool activate = false);
  Acad::ErrorStatus activateDocument(AcApDocument* pAcTargetDocument, bool bPassScript = false);
  Acad::ErrorStatus lockDocument(AcApDocument* pDoc, AcAp::DocLockMode = AcAp::kWrite,
                                 const ACHAR* pGlobalCmdName = nullptr,
                                 const ACHAR* pLocalCmdName = nullptr, bool prompt = true);
  Acad::ErrorStatus unlockDocument(AcApDocument* pDoc);
  // The caller deletes the iterator.
  AcApDocumentIterator* newAcApDocumentIterator();
  int documentCount() const;
  Acad::ErrorStatus beginExecuteInApplicationContext(void (*procAddr)(void*), void* pData);
  void addReactor(AcApDocManagerReactor* reactor);
  void removeReactor(AcApDocManagerReactor* reactor);
  // Types the text at the document's command line later, on the main thread.
  Acad::ErrorStatus sendStringToExecute(AcApDocument* pAcTargetDocument, const ACHAR* pszExecute,
                                        bool bActivate = true, bool bWrapUpInactiveDoc = false,
                                        bool bEchoString = true);
  Acad::ErrorStatus appContextNewDocument(const ACHAR* pszTemplateName);
  Acad::ErrorStatus appContextOpenDocument(const ACHAR* pszDrawingName);
  // Opens like the form above; kRequireReadOnly makes the document read-only. A drawing already
  // open is activated.
  Acad::ErrorStatus appContextOpenDocument(const DocOpenParams* pParams);
  Acad::ErrorStatus appContextCloseDocument(AcApDocument* pDoc);
  bool isDocumentActivationEnabled();
  Acad::ErrorStatus disableDocumentActivation();
  Acad::ErrorStatus enableDocumentActivation();
};

// Null while the host has no document manager (tests can take it away).
AcApDocManager* acDocManagerPtr();
#define acDocManager acDocManagerPtr()
