#include "pipeline/request_json.h"

#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#if defined(__APPLE__)
#include <xlocale.h>
#endif

#include "host/strings.h"

namespace {

constexpr size_t kNoPos = std::string_view::npos;

// std::stod in the classic locale: the host process may run under a locale with a decimal comma,
// where "10.5" would read as 10. Throws as std::stod does, so the drain's answer stays the same.
double ClassicStod(const std::string& text) {
  static const locale_t classic = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  char* end = nullptr;
  errno = 0;
  const double value = strtod_l(text.c_str(), &end, classic);
  if (end == text.c_str()) throw std::invalid_argument("stod");
  if (errno == ERANGE) throw std::out_of_range("stod");
  return value;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsNumberEnd(char c) { return c == ',' || c == '}' || c == '\n' || c == '\r'; }

// Position of the first `"key"` in json. Scans quote to quote rather than building the needle, so
// a read allocates nothing but its result.
size_t FindKey(std::string_view json, std::string_view key) {
  size_t p = json.find('"');
  while (p != kNoPos && p + key.size() + 1 < json.size()) {
    if (json.compare(p + 1, key.size(), key) == 0 && json[p + 1 + key.size()] == '"') return p;
    p = json.find('"', p + 1);
  }
  return kNoPos;
}

// The first colon at or after the key's closing quote plus one; it need not follow the key.
size_t ColonAfterKey(std::string_view json, std::string_view key) {
  const size_t p = FindKey(json, key);
  if (p == kNoPos) return kNoPos;
  return json.find(':', p + key.size() + 2);
}

size_t SkipBlanks(std::string_view json, size_t at) {
  while (at < json.size() && IsBlank(json[at])) ++at;
  return at;
}

// Where the value after the key's colon starts, or kNoPos when there is no colon or no value.
size_t ValueStart(std::string_view json, std::string_view key) {
  const size_t colon = ColonAfterKey(json, key);
  if (colon == kNoPos) return kNoPos;
  const size_t v = SkipBlanks(json, colon + 1);
  return v < json.size() ? v : kNoPos;
}

// The text after the key's colon up to a number's end (a comma, a closing brace or a line end);
// false when the key or its colon is missing.
bool NumberText(std::string_view json, std::string_view key, std::string_view& text) {
  const size_t colon = ColonAfterKey(json, key);
  if (colon == kNoPos) return false;
  size_t end = colon + 1;
  while (end < json.size() && !IsNumberEnd(json[end])) ++end;
  text = json.substr(colon + 1, end - colon - 1);
  return true;
}

// Decodes the four hexadecimal digits at `at` (just after a backslash-u) and, for a high
// surrogate, a low-surrogate escape right behind them, appending the code point in UTF-8 (U+FFFD
// for a surrogate without its partner). Returns the position after what it consumed, or kNoPos
// (nothing appended) when the digits are missing.
size_t DecodeCodePointEscape(std::string_view text, size_t at, std::string& out) {
  const long v = ReadHex4(text, at);
  if (v < 0) return kNoPos;
  at += 4;
  uint32_t code = static_cast<uint32_t>(v);
  if (code >= 0xD800 && code <= 0xDBFF && at + 1 < text.size() && text[at] == '\\' && text[at + 1] == 'u') {
    const long w = ReadHex4(text, at + 2);
    if (w >= 0xDC00 && w <= 0xDFFF) {
      code = ((code - 0xD800) << 10) + 0x10000 + (static_cast<uint32_t>(w) - 0xDC00);
      at += 6;
    }
  }
  // A surrogate left unpaired has no UTF-8 form: its bytes would not be the text the request
  // sent, and the link would echo them as U+FFFD anyway.
  if (code >= 0xD800 && code <= 0xDFFF) code = 0xFFFD;
  AppendUtf8(out, code);
  return at;
}

}  // namespace

std::string QuoteStripped(const std::string& text) {
  std::string value = text;
  if (!value.empty() && value.front() == '"') value.erase(0, 1);
  if (!value.empty() && value.back() == '"') value.pop_back();
  return value;
}

std::string JsonStringValue(std::string_view json, std::string_view key) {
  const size_t open = ValueStart(json, key);
  if (open == kNoPos || json[open] != '"') return {};
  bool escaped = false;
  for (size_t i = open + 1; i < json.size(); ++i) {
    const char c = json[i];
    if (escaped) {
      escaped = false;
    } else if (c == '\\') {
      escaped = true;
    } else if (c == '"') {
      return UnescapeJsonString(json.substr(open + 1, i - open - 1));
    }
  }
  return {};
}

double JsonNumberValue(std::string_view json, std::string_view key, double fallback) {
  std::string_view text;
  if (!NumberText(json, key, text)) return fallback;
  try {
    return ClassicStod(std::string(text));
  } catch (const std::exception&) {
    return fallback;
  }
}

bool JsonBoolValue(std::string_view json, std::string_view key, bool fallback) {
  const size_t v = ValueStart(json, key);
  if (v == kNoPos) return fallback;
  if (json.compare(v, 4, "true") == 0) return true;
  if (json.compare(v, 5, "false") == 0) return false;
  return fallback;
}

std::string JsonObjectValue(std::string_view json, std::string_view key) {
  const size_t open = ValueStart(json, key);
  if (open == kNoPos || json[open] != '{') return {};
  int depth = 0;
  bool inString = false;
  bool escaped = false;
  for (size_t i = open; i < json.size(); ++i) {
    const char c = json[i];
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '{') {
      ++depth;
    } else if (c == '}') {
      if (--depth == 0) return std::string(json.substr(open, i - open + 1));
    }
  }
  return {};
}

std::string UnescapeJsonString(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c != '\\' || i + 1 >= text.size()) {
      out += c;
      ++i;
      continue;
    }
    const char e = text[i + 1];
    i += 2;
    switch (e) {
      case '"': case '/': case '\\': out += e; break;
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'u': {
        const size_t after = DecodeCodePointEscape(text, i, out);
        // Not a code-point escape: keep it as written and read what follows as plain text.
        if (after == kNoPos) out += "\\u";
        else i = after;
        break;
      }
      default:
        out += '\\';
        out += e;
        break;
    }
  }
  return out;
}

void ReadQuotedText(std::string_view json, std::string_view key, std::string& target) {
  const size_t p = FindKey(json, key);
  if (p == kNoPos) return;
  // The character right after the key's closing quote is skipped unseen (normally the colon).
  const size_t afterKey = p + key.size() + 2;
  const size_t open = json.find('"', afterKey + 1);
  if (open == kNoPos) return;
  // Only a colon and blanks may stand before the opening quote; anything else means the value
  // is not a string and the quote found belongs to a later member.
  for (size_t i = afterKey; i < open; ++i) {
    if (json[i] != ':' && !IsBlank(json[i])) return;
  }
  const size_t close = json.find('"', open + 1);
  if (close == kNoPos) return;
  target.assign(json.substr(open + 1, close - open - 1));
}

void ReadPlainNumber(std::string_view json, std::string_view key, double& target) {
  std::string_view text;
  if (!NumberText(json, key, text)) return;
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  if (text.empty()) return;
  target = ClassicStod(std::string(text));
}

void ReadEscapedQuotedText(std::string_view json, std::string_view key, std::string& target) {
  const size_t open = ValueStart(json, key);
  if (open == kNoPos || json.compare(open, 4, "null") == 0 || json[open] != '"') return;
  size_t close = json.find('"', open + 1);
  while (close != kNoPos && json[close - 1] == '\\') close = json.find('"', close + 1);
  if (close == kNoPos) return;
  target = SimpleUnescape(json.substr(open + 1, close - open - 1));
}

void ReadRawNumber(std::string_view json, std::string_view key, double& target) {
  std::string_view text;
  if (!NumberText(json, key, text) || text.empty()) return;
  target = ClassicStod(std::string(text));
}

std::string SimpleUnescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char e = text[++i];
      if (e == 'u') {
        // A companion whose serializer escapes non-ASCII text sends every Chinese name this way.
        const size_t after = DecodeCodePointEscape(text, i + 1, out);
        if (after != kNoPos) {
          i = after - 1;
          continue;
        }
      }
      out += e == 'n' ? '\n' : e == 'r' ? '\r' : e;
    } else {
      out += text[i];
    }
  }
  return out;
}
