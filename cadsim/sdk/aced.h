// Editor layer of the SDK surface: result buffers and system variables, the command line, the
// command stack, editor and input-context reactors.
#pragma once

#include "cadsim/sdk/acad_types.h"
#include "cadsim/sdk/acdb.h"
#include "cadsim/sdk/acrx.h"

class AcApDocument;

typedef double ads_real;
typedef ads_real ads_point[3];
typedef Adesk::Int64 ads_name[2];

union ads_u_val {
  ads_real rreal;
  ads_real rpoint[3];
  short rint;
  ACHAR* rstring;
  Adesk::Int64 rlname[2];
  Adesk::Int32 rlong;
  Adesk::Int64 mnLongPtr;
};

struct resbuf {
  struct resbuf* rbnext;
  short restype;
  union ads_u_val resval;
};

// A string result (RTSTR) from acedGetVar is the caller's to free with acutDelString.
int acedGetVar(const ACHAR* sym, struct resbuf* result);
int acedSetVar(const ACHAR* sym, const struct resbuf* val);
void acutDelString(ACHAR*& pString);
// printf-style output on the command line. As in the host: %s takes a wide string, %hs a narrow
// (UTF-8) one, %ls a wide one.
int acutPrintf(const ACHAR* format, ...);
void acedUpdateDisplay();
// The current viewport of the current drawing: on a paper layout the viewport made current there
// (its own paper-space viewport unless a floating one was entered); null in model space, whose
// viewport table records this host does not model.
AcDbObjectId acedGetCurViewportObjectId();

class AcEdUIContext;
class AcEdCommand;

class AcEdCommandStack : public AcRxObject {
 public:
  virtual Acad::ErrorStatus addCommand(const ACHAR* cmdGroupName, const ACHAR* cmdGlobalName,
                                       const ACHAR* cmdLocalName, Adesk::Int32 commandFlags,
                                       AcRxFunctionPtr FunctionAddr,
                                       AcEdUIContext* UIContext = nullptr, int fcode = -1,
                                       void* hResourceHandle = nullptr,
                                       AcEdCommand** cmdPtrRet = nullptr) = 0;
  virtual Acad::ErrorStatus removeGroup(const ACHAR* groupName) = 0;
  virtual Acad::ErrorStatus removeCmd(const ACHAR* cmdGroupName, const ACHAR* cmdGlobalName) = 0;
};
#define acedRegCmds (static_cast<AcEdCommandStack*>(acrxSysRegistry()->at(ACRX_COMMAND_DOCK)))

class AcEditorReactor {
 public:
  virtual ~AcEditorReactor() = default;
  virtual void commandWillStart(const ACHAR* /*cmdStr*/) {}
  virtual void commandEnded(const ACHAR* /*cmdStr*/) {}
  virtual void commandCancelled(const ACHAR* /*cmdStr*/) {}
  virtual void commandFailed(const ACHAR* /*cmdStr*/) {}
  virtual void lispWillStart(const ACHAR* /*firstLine*/) {}
  virtual void lispEnded() {}
  virtual void lispCancelled() {}
  virtual void initialDwgFileOpenComplete(AcDbDatabase* /*pDwg*/) {}
  virtual void beginQuit() {}
};

class AcEditor : public AcRxObject {
 public:
  virtual void addReactor(AcEditorReactor* reactor) = 0;
  virtual void removeReactor(AcEditorReactor* reactor) = 0;
};
#define acedEditor (static_cast<AcEditor*>(acrxSysRegistry()->at(ACRX_EDITOR_NAME)))

class AcEdInputContextReactor {
 public:
  virtual ~AcEdInputContextReactor() = default;
  virtual void beginQuiescentState() {}
  virtual void endQuiescentState() {}
};

class AcEdInputPointManager {
 public:
  virtual ~AcEdInputPointManager() = default;
  virtual Acad::ErrorStatus addInputContextReactor(AcEdInputContextReactor* pReactor) = 0;
  virtual Acad::ErrorStatus removeInputContextReactor(AcEdInputContextReactor* pReactor) = 0;
};
