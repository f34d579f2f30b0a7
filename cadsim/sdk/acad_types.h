// Basic types, status codes and enumerations of the host SDK surface.
//
// The names, call shapes and the status numbers the plug-in depends on are the host's own, so the
// plug-in sources build unchanged against the real SDK; only host/acad.h chooses which one.
#pragma once

#include <cstddef>
#include <cstdint>

typedef wchar_t ACHAR;

// The SDK declares these scopes as structs, not namespaces: code may qualify names through them
// but never reopen them or write `using namespace`.
struct Adesk {
  typedef int8_t Int8;
  typedef uint8_t UInt8;
  typedef int16_t Int16;
  typedef uint16_t UInt16;
  typedef int32_t Int32;
  typedef uint32_t UInt32;
  typedef int64_t Int64;
  typedef uint64_t UInt64;
  typedef intptr_t IntPtr;
  typedef uintptr_t UIntPtr;
  typedef intptr_t LongPtr;
  typedef bool Boolean;
  static constexpr bool kFalse = false;
  static constexpr bool kTrue = true;
};

// Status numbers are the SDK's own: the companion sees them in "status N" texts, and the
// plug-in's rules that key on a status (a context error, an empty extent) must fire on the host.
struct Acad {
  enum ErrorStatus {
    eOk = 0,
    eNotImplementedYet = 1,
    eNotApplicable = 2,
    eInvalidInput = 3,
    eAmbiguousInput = 4,
    eAmbiguousOutput = 5,
    eOutOfMemory = 6,
    eBufferTooSmall = 7,
    eInvalidOpenState = 8,
    eNullHandle = 11,
    eUnknownHandle = 13,
    eNullObjectPointer = 15,
    eNullObjectId = 16,
    eIllegalEntityType = 21,
    eKeyNotFound = 22,
    eDuplicateKey = 23,
    eInvalidIndex = 24,
    eInvalidExtents = 30,
    eWrongObjectType = 34,
    eWrongDatabase = 35,
    eInvalidDwgVersion = 37,
    eEndOfFile = 41,
    eNotOpenForRead = 44,
    eNotOpenForWrite = 45,
    eNotThatKindOfClass = 46,
    eInvalidDxfCode = 50,
    eFilerError = 53,
    eDwgNotRecoverable = 61,
    eDxfReadAborted = 63,
    eFileAccessErr = 72,
    eFileNotFound = 76,
    eWasErased = 80,
    eWasOpenForRead = 82,
    eWasOpenForWrite = 83,
    eWasOpenForNotify = 86,
    eNotInDatabase = 137,
    eNullExtents = 312,
    eLockViolation = 320,
    eLockConflict = 321,
    eNoDocument = 330,
    eNotFromThisDocument = 331,
    eDocumentSwitchDisabled = 334,
    eInvalidContext = 335,
    eLayoutNotCurrent = 522,
  };
};

struct AcAp {
  enum DocLockMode {
    kNone = 0x00,
    kAutoWrite = 0x01,
    kNotLocked = 0x02,
    kWrite = 0x04,
    kProtectedAutoWrite = 0x14,
    kRead = 0x20,
    kXWrite = 0x40,
  };
};

struct AcRx {
  typedef void (*FcnPtr)();
  enum DictIterType { kDictSorted = 0, kDictCollated = 1 };
  enum AppMsgCode {
    kNullMsg = 0,
    kInitAppMsg = 1,
    kUnloadAppMsg = 2,
    kLoadDwgMsg = 3,
    kUnloadDwgMsg = 4,
    kInvkSubrMsg = 5,
    kCfgMsg = 6,
    kEndMsg = 7,
    kQuitMsg = 8,
    kSaveMsg = 9,
  };
  // Scoped in the SDK, with its enumerators repeated as members.
  enum class AppRetCode { kRetOK = 0, kRetError = 3 };
  static constexpr AppRetCode kRetOK = AppRetCode::kRetOK;
  static constexpr AppRetCode kRetError = AppRetCode::kRetError;
};

struct AcDb {
  // Scoped in the SDK, with its enumerators repeated as members.
  enum class OpenMode { kForRead = 0, kForWrite = 1, kForNotify = 2 };
  static constexpr OpenMode kForRead = OpenMode::kForRead;
  static constexpr OpenMode kForWrite = OpenMode::kForWrite;
  static constexpr OpenMode kForNotify = OpenMode::kForNotify;
  enum Visibility { kInvisible = 1, kVisible = 0 };
};

// The editor header's unscoped enumerations put their enumerators at global scope, as here; a
// plug-in name such as kNone or kAll at global scope (or in an unnamed namespace seen from global
// code) collides with them on the host, so it collides here too.
enum AcadContextMenuMode { kDefault = 0, kEdit, kCommand, kHotGrip, kOsnap };
enum undoSubcommandActivities { kNone = 0, kOne = 1, kAll = 2 };

// Names of the model and paper space block table records.
#define ACDB_MODEL_SPACE L"*Model_Space"
#define ACDB_PAPER_SPACE L"*Paper_Space"


// Result codes and result-buffer types of the editor functions (aced*, acut*).
enum {
  RTNONE = 5000,
  RTREAL = 5001,
  RTPOINT = 5002,
  RTSHORT = 5003,
  RTANG = 5004,
  RTSTR = 5005,
  RTENAME = 5006,
  RTPICKS = 5007,
  RTORINT = 5008,
  RT3DPOINT = 5009,
  RTLONG = 5010,
  RTVOID = 5014,
  RTLB = 5016,
  RTLE = 5017,
  RTDOTE = 5018,
  RTNIL = 5019,
  RTDXF0 = 5020,
  RTT = 5021,
  RTRESBUF = 5023,
  RTNORM = 5100,
  RTERROR = -5001,
  RTCAN = -5002,
  RTREJ = -5003,
  RTFAIL = -5004,
  RTKWORD = -5005,
};

// Command flags of the command stack.
enum {
  ACRX_CMD_MODAL = 0x00000000,
  ACRX_CMD_TRANSPARENT = 0x00000001,
  ACRX_CMD_USEPICKSET = 0x00000002,
  ACRX_CMD_REDRAW = 0x00000004,
  ACRX_CMD_NOPERSPECTIVE = 0x00000008,
  ACRX_CMD_NOMULTIPLE = 0x00000010,
  ACRX_CMD_NOTILEMODE = 0x00000020,
  ACRX_CMD_NOPAPERSPACE = 0x00000040,
  ACRX_CMD_UNDEFINED = 0x00000200,
  ACRX_CMD_SESSION = 0x00200000,
  ACRX_CMD_NOHISTORY = 0x00800000,
  ACRX_CMD_NO_UNDO_MARKER = 0x01000000,
};
