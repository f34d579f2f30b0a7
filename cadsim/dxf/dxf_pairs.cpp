#include "cadsim/dxf/dxf_pairs.h"

#include <charconv>
#include <cmath>

#if !defined(__cpp_lib_to_chars)
#include <locale.h>
#include <stdlib.h>

#include <cerrno>
#include <string>
#endif

namespace cadsim::dxf {
namespace {

bool InRange(int code, int low, int high) { return code >= low && code <= high; }

// The next line without its line end; false at the end of the text.
bool TakeLine(PairCursor& cursor, std::string_view& line) {
  if (cursor.pos >= cursor.text.size()) return false;
  const size_t end = cursor.text.find('\n', cursor.pos);
  const size_t stop = end == std::string_view::npos ? cursor.text.size() : end;
  line = cursor.text.substr(cursor.pos, stop - cursor.pos);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  cursor.pos = end == std::string_view::npos ? cursor.text.size() : end + 1;
  ++cursor.nextLine;
  return true;
}

PairStatus Fail(PairCursor& cursor, size_t line, std::string message) {
  cursor.errorLine = line;
  cursor.error = std::move(message);
  return PairStatus::kError;
}

std::string Shown(std::string_view text) {
  constexpr size_t kMax = 40;
  std::string shown;
  for (char c : text.substr(0, kMax)) {
    const auto b = static_cast<unsigned char>(c);
    shown.push_back(b < 0x20 || b >= 0x7F ? '?' : c);
  }
  if (text.size() > kMax) shown += "...";
  return shown;
}

}  // namespace

std::string_view Trim(std::string_view text) {
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; };
  while (!text.empty() && space(text.front())) text.remove_prefix(1);
  while (!text.empty() && space(text.back())) text.remove_suffix(1);
  return text;
}

ValueKind KindOfCode(int code) {
  if (code == 5 || code == 105 || InRange(code, 320, 369) || InRange(code, 390, 399) ||
      InRange(code, 480, 481) || code == 1005) {
    return ValueKind::kHandle;
  }
  if (InRange(code, 10, 59) || InRange(code, 110, 149) || InRange(code, 210, 239) ||
      InRange(code, 460, 469) || InRange(code, 1010, 1059)) {
    return ValueKind::kDouble;
  }
  if (InRange(code, 60, 99) || InRange(code, 160, 179) || InRange(code, 270, 299) ||
      InRange(code, 370, 389) || InRange(code, 400, 409) || InRange(code, 420, 429) ||
      InRange(code, 440, 459) || InRange(code, 1060, 1071)) {
    return ValueKind::kInteger;
  }
  if (InRange(code, 310, 319) || code == 1004) return ValueKind::kBinary;
  return ValueKind::kText;
}

bool IsKnownCode(int code) {
  // -5..-1 are application codes that some exporters leave in; 0..1071 is the format's range.
  return InRange(code, -5, 1071);
}

bool ParseDouble(std::string_view text, double& value) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
#if defined(__cpp_lib_to_chars)
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size() && std::isfinite(value);
#else
  // LLVM's library before version 17 reads no floating-point numbers with from_chars. The C
  // library's reader in the "C" locale reads the same texts, except a second sign and hexadecimal
  // forms, which are refused here first.
  if (text.front() == '+' || text.find_first_of("xX") != std::string_view::npos) return false;
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  value = strtod_l(copy.c_str(), &end, c);
  return errno == 0 && end == copy.c_str() + copy.size() && std::isfinite(value);
#endif
}

bool ParseInteger(std::string_view text, int64_t& value) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool ParseHandle(std::string_view text, uint64_t& value) {
  text = Trim(text);
  if (text.empty() || text.size() > 16) return false;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

PairCursor MakePairCursor(std::string_view text) {
  PairCursor cursor;
  // A byte order mark is not part of the first group code.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  cursor.text = text;
  return cursor;
}

PairStatus NextPair(PairCursor& cursor, RawPair& pair) {
  for (;;) {
    const size_t codeLine = cursor.nextLine;
    std::string_view codeText;
    if (!TakeLine(cursor, codeText)) return PairStatus::kEnd;
    codeText = Trim(codeText);
    if (codeText.empty()) {
      // Blank lines are tolerated only at the very end of a file.
      const size_t savedPos = cursor.pos;
      const size_t savedLine = cursor.nextLine;
      std::string_view rest;
      bool blank = true;
      while (blank && TakeLine(cursor, rest)) blank = Trim(rest).empty();
      if (blank) return PairStatus::kEnd;
      cursor.pos = savedPos;
      cursor.nextLine = savedLine;
      return Fail(cursor, codeLine, "empty line where a group code was expected");
    }
    int64_t code = 0;
    if (!ParseInteger(codeText, code) || !IsKnownCode(static_cast<int>(code)) ||
        code != static_cast<int>(code)) {
      return Fail(cursor, codeLine, "'" + Shown(codeText) + "' is not a group code");
    }
    std::string_view value;
    if (!TakeLine(cursor, value)) {
      return Fail(cursor, codeLine, "group code " + std::to_string(code) + " has no value");
    }
    if (code == 999) continue;  // comment
    pair.code = static_cast<int>(code);
    pair.line = codeLine;
    const ValueKind kind = KindOfCode(pair.code);
    if (kind == ValueKind::kText && pair.code != 0) {
      pair.value = value;
    } else {
      pair.value = Trim(value);
    }
    if (kind == ValueKind::kDouble) {
      double d = 0;
      if (!ParseDouble(pair.value, d)) {
        return Fail(cursor, codeLine + 1,
                    "group code " + std::to_string(code) + " needs a number, not '" + Shown(value) + "'");
      }
    } else if (kind == ValueKind::kInteger) {
      int64_t i = 0;
      if (!ParseInteger(pair.value, i)) {
        return Fail(cursor, codeLine + 1,
                    "group code " + std::to_string(code) + " needs an integer, not '" + Shown(value) + "'");
      }
    }
    return PairStatus::kPair;
  }
}

}  // namespace cadsim::dxf
