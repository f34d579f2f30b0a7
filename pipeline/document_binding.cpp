#include "pipeline/document_binding.h"

#include "host/strings.h"

std::string DocumentPath(AcApDocument* document) {
  if (!document) return std::string();
  return OrvikUtf8(document->fileName());
}
