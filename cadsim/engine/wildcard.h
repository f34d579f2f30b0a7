// The host's wildcard patterns, as its selection filters read string values.
//
//   *  any run of characters, also none      ?  any one character
//   #  one digit                              @  one letter (ASCII, or any character past ASCII)
//   .  one character that is neither a letter nor a digit
//   [...]  one of the characters listed, with a-z ranges; [~...] one not listed
//   ~  at the start of an alternative: anything that alternative does not match
//   ,  separates alternatives                 `  takes the next character as it is
// Letter case is ignored (ASCII letters fold, as host names do). A "[" without its "]" stands for
// itself. Pure code.
#pragma once

#include <string>

namespace cadsim {

bool wildcardMatches(const std::wstring& pattern, const std::wstring& value);

}  // namespace cadsim
