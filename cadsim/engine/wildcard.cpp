#include "cadsim/engine/wildcard.h"

#include <vector>

namespace cadsim {
namespace {

wchar_t fold(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }
bool isDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool isLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c > 0x7F; }

struct Token {
  enum Kind { kLiteral, kStar, kAny, kDigit, kLetter, kOther, kClass } kind = kLiteral;
  wchar_t literal = 0;
  bool negated = false;                            // kClass
  std::vector<std::pair<wchar_t, wchar_t>> ranges;  // kClass, folded

  bool matches(wchar_t c) const {
    switch (kind) {
      case kLiteral: return fold(c) == fold(literal);
      case kAny: return true;
      case kDigit: return isDigit(c);
      case kLetter: return isLetter(c);
      case kOther: return !isDigit(c) && !isLetter(c);
      case kClass: {
        const wchar_t f = fold(c);
        bool in = false;
        for (const auto& r : ranges) in = in || (f >= r.first && f <= r.second);
        return in != negated;
      }
      case kStar: break;
    }
    return false;
  }
};

// Reads a bracket class starting after "[" at `at`; false (nothing consumed) when it has no "]".
bool readClass(const std::wstring& p, size_t& at, Token& out) {
  size_t i = at;
  Token token;
  token.kind = Token::kClass;
  if (i < p.size() && p[i] == L'~') {
    token.negated = true;
    ++i;
  }
  bool first = true;
  while (i < p.size() && (p[i] != L']' || first)) {
    first = false;
    wchar_t low = p[i];
    if (low == L'`' && i + 1 < p.size()) low = p[++i];
    ++i;
    wchar_t high = low;
    if (i + 1 < p.size() && p[i] == L'-' && p[i + 1] != L']') {
      high = p[i + 1];
      if (high == L'`' && i + 2 < p.size()) high = p[++i + 1];
      i += 2;
    }
    token.ranges.push_back({fold(low), fold(high)});
  }
  if (i >= p.size()) return false;
  at = i + 1;
  out = std::move(token);
  return true;
}

std::vector<Token> tokenize(const std::wstring& p) {
  std::vector<Token> tokens;
  for (size_t i = 0; i < p.size();) {
    const wchar_t c = p[i++];
    Token t;
    if (c == L'`' && i < p.size()) t.literal = p[i++];
    else if (c == L'*') t.kind = Token::kStar;
    else if (c == L'?') t.kind = Token::kAny;
    else if (c == L'#') t.kind = Token::kDigit;
    else if (c == L'@') t.kind = Token::kLetter;
    else if (c == L'.') t.kind = Token::kOther;
    else if (c == L'[' && readClass(p, i, t)) {
    } else t.literal = c;
    tokens.push_back(std::move(t));
  }
  return tokens;
}

// One alternative: a star backtracks to the latest star only, which is enough when every other
// token takes exactly one character.
bool matchOne(const std::vector<Token>& tokens, const std::wstring& value) {
  size_t t = 0, v = 0, starToken = std::wstring::npos, starValue = 0;
  while (v < value.size()) {
    if (t < tokens.size() && tokens[t].kind == Token::kStar) {
      starToken = t++;
      starValue = v;
    } else if (t < tokens.size() && tokens[t].matches(value[v])) {
      ++t;
      ++v;
    } else if (starToken != std::wstring::npos) {
      t = starToken + 1;
      v = ++starValue;
    } else {
      return false;
    }
  }
  while (t < tokens.size() && tokens[t].kind == Token::kStar) ++t;
  return t == tokens.size();
}

}  // namespace

bool wildcardMatches(const std::wstring& pattern, const std::wstring& value) {
  size_t start = 0;
  for (;;) {
    // An alternative ends at a comma that is neither escaped nor inside a bracket class.
    size_t end = start;
    for (bool inClass = false; end < pattern.size(); ++end) {
      const wchar_t c = pattern[end];
      if (c == L'`') ++end;
      else if (c == L'[' && !inClass) inClass = pattern.find(L']', end + 2) != std::wstring::npos;
      else if (c == L']' && inClass) inClass = false;
      else if (c == L',' && !inClass) break;
    }
    std::wstring alternative = pattern.substr(start, end - start);
    const bool negated = !alternative.empty() && alternative[0] == L'~';
    if (negated) alternative.erase(0, 1);
    if (matchOne(tokenize(alternative), value) != negated) return true;
    if (end >= pattern.size()) return false;
    start = end + 1;
  }
}

}  // namespace cadsim
