// Runtime-extension layer of the SDK surface: the system registry and its services, the entry
// point a loadable application exports.
#pragma once

#include "cadsim/sdk/acad_types.h"

// Keys of the system registry.
#define ACRX_DYNAMIC_LINKER L"DynamicLinker"
#define ACRX_COMMAND_DOCK L"ACAD_REGISTERED_COMMANDS"
#define ACRX_EDITOR_NAME L"AcEditor"

class AcRxClass;

class AcRxObject {
 public:
  virtual ~AcRxObject() = default;
  static AcRxClass* desc();
  static AcRxObject* cast(const AcRxObject* inPtr) { return const_cast<AcRxObject*>(inPtr); }
  virtual AcRxClass* isA() const;
  bool isKindOf(const AcRxClass* aClass) const;
  // Copies another object of a class that supports it; eNotApplicable otherwise.
  virtual Acad::ErrorStatus copyFrom(const AcRxObject* other);
};

// Runtime class information: the host's casts (T::cast) and class-name checks go through it.
class AcRxClass {
 public:
  AcRxClass(const ACHAR* name, AcRxClass* parent) : m_name(name), m_parent(parent) {}
  const ACHAR* name() const { return m_name; }
  AcRxClass* myParent() const { return m_parent; }
  bool isDerivedFrom(const AcRxClass* other) const {
    for (const AcRxClass* c = this; c; c = c->m_parent)
      if (c == other) return true;
    return false;
  }

 private:
  const ACHAR* m_name;
  AcRxClass* m_parent;
};

inline bool AcRxObject::isKindOf(const AcRxClass* aClass) const {
  const AcRxClass* mine = isA();
  return mine && aClass && mine->isDerivedFrom(aClass);
}

// Declares the runtime class members of a class derived from AcRxObject.
#define ACRX_DECLARE_MEMBERS(CLASS)                                                         \
  static AcRxClass* desc();                                                                 \
  static CLASS* cast(const AcRxObject* inPtr) {                                             \
    return (inPtr && inPtr->isKindOf(CLASS::desc()))                                        \
               ? const_cast<CLASS*>(static_cast<const CLASS*>(inPtr))                       \
               : nullptr;                                                                   \
  }                                                                                         \
  AcRxClass* isA() const override

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
