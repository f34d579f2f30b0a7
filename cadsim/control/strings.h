// Text at the SDK's wide-text boundary, for tests, the program and the engine alike.
#pragma once

#include <string>

namespace cadsim {

// Strict UTF-8 decoding: overlong forms, encoded surrogates and values past U+10FFFF become
// U+FFFD, so that no byte sequence can pose as another character.
std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& wide);
// Names compare without letter case in the host; only ASCII letters fold.
std::wstring upper(const std::wstring& s);

}  // namespace cadsim
