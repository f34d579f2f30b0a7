// The text of a block attribute, as every block reader of the plug-in reports it: the plain text of
// a multi-line attribute (without its formatting codes), else the attribute's text string.
#pragma once

#include <string>

#include "host/acad.h"

namespace OrvikAttributeText {

// Status 3 for a null attribute (value untouched); otherwise the status of the text read.
Acad::ErrorStatus ReadValue(const AcDbAttribute* attribute, AcString& value);

// Tag and value in UTF-8, assigned only when both were read; the first failing status, or eOk.
Acad::ErrorStatus ReadUtf8Pair(const AcDbAttribute* attribute, std::string& tag, std::string& value);

}  // namespace OrvikAttributeText
