// Editor layer of the SDK surface: result buffers and system variables, the command line, the
// command stack, editor and input-context reactors.
#pragma once

#include "cadsim/sdk/acad_types.h"
#include "cadsim/sdk/acdb.h"
#include "cadsim/sdk/acrx.h"

class AcApDocument;
class AcDbViewTableRecord;
class AcDbViewport;

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

// A string result (RTSTR) from acedGetVar is malloc'ed: the caller frees it with free(), as the
// SDK's guide says (not acutDelString, which pairs with the SDK's own string allocations).
int acedGetVar(const ACHAR* sym, struct resbuf* result);
int acedSetVar(const ACHAR* sym, const struct resbuf* val);
// Prompts on the command line and reads the next line of the text typed with the running command
// (the lines sent after it in one go). With cronly 0 a space also ends the answer. RTNORM; RTCAN
// when nothing was typed ahead (the user pressed Esc); RTERROR when the answer does not fit in
// bufLen characters with its terminator.
int acedGetString(int cronly, const ACHAR* prompt, ACHAR* result, size_t bufLen);
void acutDelString(ACHAR*& pString);
// printf-style output on the command line. As in the host: %s takes a wide string, %hs a narrow
// (UTF-8) one, %ls a wide one.
int acutPrintf(const ACHAR* format, ...);
void acedUpdateDisplay();
// The current viewport of the current drawing: on a paper layout the viewport made current there
// (its own paper-space viewport unless a floating one was entered); null in model space, whose
// viewport table records this host does not model.
AcDbObjectId acedGetCurViewportObjectId();

// A result-buffer list from (type, value) pairs ended by 0: RTSHORT and group codes 60-79 and
// 270-289 take an int, RTLONG and 90-99 an Adesk::Int32, RTREAL/RTANG and 10-59 (reals) a double,
// RTPOINT/RT3DPOINT and 10-18 a const double*, strings (RTSTR, group codes 0-9, 100-109, 300-369,
// 410-419, 1000-1009) a const ACHAR*. Null for a type it does not know. Free with acutRelRb.
struct resbuf* acutBuildList(int rtype, ...);
int acutRelRb(struct resbuf* rb);

// Selection sets. Modes: "W" selects the entities of the current space lying entirely inside the
// window pt1-pt2 (ads_point), "X" the whole drawing; the filter matches group 0 (entity type,
// comma-separated alternatives) and 410 (layout name), letter case ignored. RTNORM with a new set
// in ss (free it with acedSSFree), RTERROR when nothing is selected, RTREJ for an unknown mode.
int acedSSGet(const ACHAR* str, const void* pt1, const void* pt2, const struct resbuf* filter,
              ads_name ss);
int acedSSFree(const ads_name sname);
int acedSSLength(const ads_name sname, Adesk::Int32* len);
int acedSSName(const ads_name ss, Adesk::Int32 i, ads_name entres);
Acad::ErrorStatus acdbGetObjectId(AcDbObjectId& objId, const ads_name objName);

// Makes the view record the current space's view of the current document (pVP is ignored).
Acad::ErrorStatus acedSetCurrentView(AcDbViewTableRecord* pVwRec, AcDbViewport* pVP);

class AcEdUIContext;
class AcEdCommand;

// Where a command's localized resources come from; the simulated host has none to load.
class AcRxResourceInstance {
 public:
  static const AcRxResourceInstance& empty();
};

class AcEdCommandStack : public AcRxObject {
 public:
  virtual Acad::ErrorStatus addCommand(const ACHAR* cmdGroupName, const ACHAR* cmdGlobalName,
                                       const ACHAR* cmdLocalName, Adesk::Int32 commandFlags,
                                       AcRxFunctionPtr FunctionAddr,
                                       AcEdUIContext* UIContext = nullptr, int fcode = -1,
                                       const AcRxResourceInstance& resourceInstance =
                                           AcRxResourceInstance::empty(),
                                       AcEdCommand** cmdPtrRet = nullptr) = 0;
  virtual Acad::ErrorStatus removeGroup(const ACHAR* groupName) = 0;
  virtual Acad::ErrorStatus removeCmd(const ACHAR* cmdGroupName, const ACHAR* cmdGlobalName) = 0;
};
#define acedRegCmds (static_cast<AcEdCommandStack*>(acrxSysRegistry()->at(ACRX_COMMAND_DOCK)))

// The event reactor base the SDK's editor takes; editor reactors derive from it.
class AcRxEventReactor {
 public:
  virtual ~AcRxEventReactor() = default;
};

class AcEditorReactor : public AcRxEventReactor {
 public:
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
  // Takes the event reactor base, as the SDK's does; only AcEditorReactor objects hear events.
  virtual void addReactor(AcRxEventReactor* newObj) = 0;
  virtual void removeReactor(AcRxEventReactor* delObj) = 0;
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
