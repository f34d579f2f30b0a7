// Text conversion at the host boundary: the plug-in keeps UTF-8 inside and converts to and from
// the host's wide text only where it calls the host. Also the few text helpers that every layer
// above shares.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/acad.h"

// UTF-8 of a host text; a null text is empty. Invalid code points become U+FFFD.
std::string OrvikUtf8(const ACHAR* text);
std::string OrvikUtf8(const std::wstring& text);
// Wide text of UTF-8; invalid sequences become U+FFFD.
std::wstring OrvikWide(const std::string& utf8);

// Appends one code point in UTF-8, as it is (callers decide what to do with surrogates).
void AppendUtf8(std::string& out, uint32_t codePoint);
// The value of the four hexadecimal digits at `at` (either case), or -1 when they are missing.
long ReadHex4(std::string_view text, size_t at);

// Escapes text for the inside of a JSON string. Every byte below 0x20 is escaped (a raw control
// character makes a strict reader drop the whole message); bytes from 0x80 are copied unchanged.
std::string EscapeJsonString(std::string_view text);
