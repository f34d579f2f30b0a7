#include "pipeline/layout_switch.h"

#include <cstdlib>

#include "host/acad.h"
#include "host/platform.h"
#include "host/strings.h"

const char* const kModelSpaceName = "Model";
const char* const kModelSpaceLocalName = "\xE6\xA8\xA1\xE5\x9E\x8B";

bool IsModelSpaceName(const std::string& name) {
  return name == kModelSpaceName || name == kModelSpaceLocalName;
}

namespace {

// The current layout as "CTAB" reports it; model space when the host will not say.
std::string CurrentLayoutName() {
  resbuf rb{};
  if (acedGetVar(L"CTAB", &rb) != RTNORM) return kModelSpaceName;
  if (rb.restype != RTSTR) return kModelSpaceName;
  if (!rb.resval.rstring) return kModelSpaceName;
  std::string name = OrvikUtf8(rb.resval.rstring);
  std::free(rb.resval.rstring);  // acedGetVar malloc()s its strings
  return name;
}

// The fallback route: writes "CTAB" as a string.
bool SetCtab(const std::wstring& name) {
  std::wstring copy = name;  // resbuf takes a mutable pointer; the host only reads it
  resbuf rb{};
  rb.restype = RTSTR;
  rb.resval.rstring = &copy[0];
  return acedSetVar(L"CTAB", &rb) == RTNORM;
}

}  // namespace

bool SwitchSpaceSync(const std::string& name) {
  ORVIK_ASSERT_MAIN_THREAD();
  if (name.empty()) return false;
  AcApDocManager* manager = acDocManagerPtr();
  AcApDocument* document = manager ? manager->curDocument() : nullptr;
  if (!document) return false;

  const std::string current = CurrentLayoutName();
  if (current == name) return true;
  if (IsModelSpaceName(current) && IsModelSpaceName(name)) return true;

  const std::wstring wide = OrvikWide(name);
  if (wide.size() > kMaxLayoutNameChars) return false;

  bool switched = false;
  AcDbHostApplicationServices* services = acdbHostApplicationServices();
  AcDbLayoutManager* layouts = services ? services->layoutManager() : nullptr;
  if (layouts) {
    AcDbDatabase* database = document->database();
    Acad::ErrorStatus es = layouts->setCurrentLayout(wide.c_str(), database);
    if (es != Acad::eOk && IsModelSpaceName(name)) {
      // A localized host may know model space only by its other name.
      const std::wstring other = OrvikWide(name == kModelSpaceName ? kModelSpaceLocalName : kModelSpaceName);
      es = layouts->setCurrentLayout(other.c_str(), database);
    }
    switched = es == Acad::eOk;
  }
  if (!switched) switched = SetCtab(wide);
  if (switched) acedUpdateDisplay();
  return switched;
}
