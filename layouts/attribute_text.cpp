#include "layouts/attribute_text.h"

#include <memory>

#include "host/strings.h"

namespace OrvikAttributeText {

Acad::ErrorStatus ReadValue(const AcDbAttribute* attribute, AcString& value) {
  if (!attribute) return Acad::eInvalidInput;
  if (attribute->isMTextAttribute()) {
    // A copy the caller owns: the formatting codes stay in the attribute, only plain text leaves.
    std::unique_ptr<AcDbMText> mtext(attribute->getMTextAttribute());
    if (!mtext) return Acad::eInvalidInput;
    return mtext->text(value);
  }
  return attribute->textString(value);
}

Acad::ErrorStatus ReadUtf8Pair(const AcDbAttribute* attribute, std::string& tag, std::string& value) {
  if (!attribute) return Acad::eInvalidInput;
  AcString tagText;
  Acad::ErrorStatus es = attribute->tag(tagText);
  if (es != Acad::eOk) return es;
  AcString valueText;
  es = ReadValue(attribute, valueText);
  if (es != Acad::eOk) return es;
  tag = OrvikUtf8(tagText.kwszPtr());
  value = OrvikUtf8(valueText.kwszPtr());
  return Acad::eOk;
}

}  // namespace OrvikAttributeText
