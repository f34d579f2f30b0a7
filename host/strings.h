// Text conversion at the host boundary: the plug-in keeps UTF-8 inside and converts to and from
// the host's wide text only where it calls the host.
#pragma once

#include <string>

#include "host/acad.h"

// UTF-8 of a host text; a null text is empty. Invalid code points become U+FFFD.
std::string OrvikUtf8(const ACHAR* text);
std::string OrvikUtf8(const std::wstring& text);
// Wide text of UTF-8; invalid sequences become U+FFFD.
std::wstring OrvikWide(const std::string& utf8);
