#include "cadsim/dxf/dxf_text.h"

#include <cstddef>

namespace cadsim::dxf {
namespace {

constexpr uint32_t kReplacement = 0xFFFD;

// Code points of the bytes 0x80..0x9F in Windows-1252; 0 where the code page leaves a hole.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Length of the valid UTF-8 sequence at `pos`, or 0 when the bytes there are not one.
size_t Utf8SequenceLength(std::string_view s, size_t pos) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char b0 = byte(pos);
  if (b0 < 0x80) return 1;
  size_t length = 0;
  uint32_t cp = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
    cp = b0 & 0x1Fu;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    cp = b0 & 0x0Fu;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    cp = b0 & 0x07u;
  } else {
    return 0;
  }
  if (s.size() - pos < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    const unsigned char b = byte(pos + i);
    if ((b & 0xC0u) != 0x80u) return 0;
    cp = (cp << 6) | (b & 0x3Fu);
  }
  // Overlong forms, surrogates and values past the last plane are not UTF-8.
  if ((length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000) || cp > 0x10FFFF ||
      (cp >= 0xD800 && cp <= 0xDFFF)) {
    return 0;
  }
  return length;
}

bool IsAscii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

std::string SanitizedUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const size_t n = Utf8SequenceLength(s, i);
    if (n == 0) {
      AppendUtf8(out, kReplacement);
      ++i;
    } else {
      out.append(s.substr(i, n));
      i += n;
    }
  }
  return out;
}

std::string FromCp1252(std::string_view s) {
  std::string out;
  out.reserve(s.size() + s.size() / 2);
  for (char c : s) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      out.push_back(c);
    } else if (b < 0xA0) {
      const uint16_t cp = kCp1252High[b - 0x80];
      AppendUtf8(out, cp != 0 ? cp : kReplacement);
    } else {
      AppendUtf8(out, b);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The code unit of a \U+XXXX escape starting at `pos`, or -1 when there is none there.
long UnicodeEscapeAt(std::string_view s, size_t pos) {
  if (s.size() - pos < 7 || s[pos] != '\\' || (s[pos + 1] != 'U' && s[pos + 1] != 'u') ||
      s[pos + 2] != '+') {
    return -1;
  }
  long value = 0;
  for (size_t i = pos + 3; i < pos + 7; ++i) {
    const int d = HexDigit(s[i]);
    if (d < 0) return -1;
    value = value * 16 + d;
  }
  return value;
}

std::string ReplaceUnicodeEscapes(std::string_view s) {
  if (s.find('\\') == std::string_view::npos) return std::string(s);
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const long unit = UnicodeEscapeAt(s, i);
    if (unit < 0) {
      out.push_back(s[i]);
      ++i;
      continue;
    }
    i += 7;
    uint32_t cp = static_cast<uint32_t>(unit);
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      // Characters beyond the first plane come as a pair of escaped surrogates.
      const long low = UnicodeEscapeAt(s, i);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint32_t>(low) - 0xDC00);
        i += 7;
      } else {
        cp = kReplacement;
      }
    }
    AppendUtf8(out, cp);
  }
  return out;
}

}  // namespace

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool IsValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const size_t n = Utf8SequenceLength(s, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

TextDecoding TextDecodingFor(std::string_view acadVersion, std::string_view codePage) {
  TextDecoding decoding;
  // "AC1021" (R2007) and later are UTF-8 whatever code page they name.
  if (acadVersion.size() == 6 && acadVersion.substr(0, 2) == "AC") {
    int number = 0;
    bool digits = true;
    for (char c : acadVersion.substr(2)) {
      if (c < '0' || c > '9') digits = false;
      number = number * 10 + (c - '0');
    }
    if (digits && number >= 1021) {
      decoding.source = TextDecoding::Source::kUtf8;
      return decoding;
    }
  }
  std::string page;
  for (char c : codePage) {
    if (c != ' ') page.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
  }
  if (page.empty() || page == "ANSI_1252" || page == "ISO8859-1" || page == "ISO8859_1" ||
      page == "ANSI_28591") {
    decoding.source = TextDecoding::Source::kCp1252;
  } else if (page == "UTF8" || page == "UTF-8") {
    decoding.source = TextDecoding::Source::kUtf8;
  } else {
    decoding.source = TextDecoding::Source::kUnknownCodePage;
  }
  return decoding;
}

std::string DecodeText(std::string_view raw, const TextDecoding& decoding) {
  std::string utf8;
  if (IsAscii(raw)) {
    utf8.assign(raw);
  } else if (decoding.source == TextDecoding::Source::kCp1252 && !IsValidUtf8(raw)) {
    // Some writers put UTF-8 into files that name a Windows code page; text that is valid UTF-8
    // is taken as such, since cp1252 text that happens to be valid UTF-8 is vanishingly rare.
    utf8 = FromCp1252(raw);
  } else {
    utf8 = SanitizedUtf8(raw);
  }
  return ReplaceUnicodeEscapes(utf8);
}

std::string MTextPlainText(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  const auto skipPastSemicolon = [&](size_t from) {
    const size_t end = s.find(';', from);
    return end == std::string_view::npos ? s.size() : end + 1;
  };
  for (size_t i = 0; i < s.size();) {
    const char c = s[i];
    if (c == '{' || c == '}') {
      ++i;
      continue;
    }
    if (c != '\\' || i + 1 == s.size()) {
      out.push_back(c);
      ++i;
      continue;
    }
    const char code = s[i + 1];
    switch (code) {
      case 'P':
      case 'N':  // column break
        out.push_back('\n');
        i += 2;
        break;
      case '~':
        out.push_back(' ');
        i += 2;
        break;
      case '\\':
      case '{':
      case '}':
        out.push_back(code);
        i += 2;
        break;
      case 'L': case 'l': case 'O': case 'o': case 'K': case 'k':  // NOLINT: on/off toggles
        i += 2;
        break;
      case 'S': {
        const size_t end = skipPastSemicolon(i + 2);
        const size_t stop = (end > 0 && end <= s.size() && s[end - 1] == ';') ? end - 1 : end;
        for (size_t k = i + 2; k < stop; ++k) {
          const char f = s[k];
          out.push_back(f == '^' || f == '#' ? '/' : f);
        }
        i = end;
        break;
      }
      case 'f': case 'F': case 'H': case 'h': case 'W': case 'w': case 'Q': case 'q':
      case 'T': case 't': case 'A': case 'a': case 'C': case 'c': case 'p':
        i = skipPastSemicolon(i + 2);
        break;
      default:
        // Not a formatting code (\M+ and the like): keep it as written.
        out.push_back(c);
        ++i;
        break;
    }
  }
  return out;
}

}  // namespace cadsim::dxf
