// Runtime-extension layer of the SDK surface: the system registry and its services, the entry
// point a loadable application exports.
#pragma once

#include "cadsim/sdk/acad_types.h"

// Keys of the system registry.
#define ACRX_DYNAMIC_LINKER L"DynamicLinker"
#define ACRX_COMMAND_DOCK L"ACAD_REGISTERED_COMMANDS"
#define ACRX_EDITOR_NAME L"AcEditor"

class AcRxObject {
 public:
  virtual ~AcRxObject() = default;
};

// Registry of named services (the simulated one is fixed: it holds what the host provides).
class AcRxDictionary : public AcRxObject {
 public:
  virtual AcRxObject* at(const ACHAR* key) const = 0;
};

class AcRxDynamicLinker : public AcRxObject {
 public:
  virtual bool unlockApplication(void* appId) const = 0;
  virtual bool registerAppMDIAware(void* appId) const = 0;
};

AcRxDictionary* acrxSysRegistry();
#define acrxDynamicLinker (static_cast<AcRxDynamicLinker*>(acrxSysRegistry()->at(ACRX_DYNAMIC_LINKER)))

typedef void (*AcRxFunctionPtr)();

// Exported by every loadable application; the host calls it with kInitAppMsg after loading and
// kUnloadAppMsg before unloading.
extern "C" AcRx::AppRetCode acrxEntryPoint(AcRx::AppMsgCode msg, void* appId);
