#include "pipeline/session_actions.h"

#include <sys/stat.h>

#include "host/platform.h"
#include "host/strings.h"
#include "pipeline/document_binding.h"

std::string ActiveDwgPath(AcApDocManager* manager) {
  if (!manager) return std::string();
  AcApDocument* doc = manager->mdiActiveDocument();
  if (!doc) doc = manager->curDocument();
  return DocumentPath(doc);
}

std::string CurrentSpaceName() {
  ORVIK_ASSERT_MAIN_THREAD();
  resbuf rb{};
  if (acedGetVar(L"CTAB", &rb) != RTNORM) return "Model";
  if (rb.restype != RTSTR || !rb.resval.rstring) return "Model";
  std::string name = OrvikUtf8(rb.resval.rstring);
  acutDelString(rb.resval.rstring);
  return name;
}

bool VerifyDirExists(const std::string& path) {
  if (path.empty()) return false;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode);
}
