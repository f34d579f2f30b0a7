// The simulated host's wildcard patterns, which the paper extraction's layout filter must escape.
#include <gtest/gtest.h>

#include <string>

#include "cadsim/control/strings.h"
#include "cadsim/engine/wildcard.h"

namespace {

TEST(HostWildcard, MatchesAsTheHostReadsFilterStrings) {
  const struct {
    const wchar_t* pattern;
    const wchar_t* value;
    bool matches;
  } rows[] = {
      {L"LWPOLYLINE,INSERT", L"insert", true},  // alternatives, letter case ignored
      {L"Sheet #2", L"Sheet 12", true},         // # is one digit
      {L"Sheet #2", L"Sheet #2", false},
      {L"Sheet `#2", L"Sheet #2", true},        // the back-quote escapes
      {L"~Draft", L"Layout1", true},            // ~ negates
      {L"~Draft", L"Draft", false},
      {L"`~Draft", L"~Draft", true},
      {L"A [rev]", L"A r", true},               // a class
      {L"A `[rev`]", L"A [rev]", true},
      {L"[~a-c]x", L"dx", true},
      {L"[a-c]x", L"Bx", true},
      {L"a*b*c", L"aXbYbc", true},
      {L"?@.#", L"zq-7", true},
      {L"@@", L"图纸", true},                   // characters past ASCII count as letters
      {L"a`,b", L"a,b", true},                  // an escaped comma is no separator
      {L"[x,y]z", L"yz", true},                 // nor is one inside a class
      {L"[abc", L"[abc", true},                 // an open bracket without its end is itself
      {L"a`", L"a`", true},                     // a back-quote at the end is itself
  };
  for (const auto& row : rows)
    EXPECT_EQ(cadsim::wildcardMatches(row.pattern, row.value), row.matches)
        << cadsim::narrow(row.pattern) << " ~ " << cadsim::narrow(row.value);
}

}  // namespace
