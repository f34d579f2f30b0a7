#include "plot/plot_json.h"

#include <cmath>
#include <iomanip>
#include <locale>
#include <sstream>

#include "pipeline/request_json.h"

namespace {

// Calls `visit` with the raw (still escaped) content of every string value of the JSON text: keys
// are skipped, so a paper named "width" is not found among the papers. An unterminated last string
// is not visited: it is no string of the answer.
template <typename Visit>
void ForEachRawString(std::string_view json, Visit visit) {
  size_t i = 0;
  while (i < json.size()) {
    if (json[i] != '"') {
      ++i;
      continue;
    }
    const size_t start = ++i;
    while (i < json.size() && json[i] != '"') i += (json[i] == '\\') ? 2 : 1;
    if (i >= json.size()) return;
    const size_t end = i++;
    size_t next = i;
    while (next < json.size() && (json[next] == ' ' || json[next] == '\t' || json[next] == '\r' || json[next] == '\n'))
      ++next;
    if (next < json.size() && json[next] == ':') continue;  // a key
    if (visit(json.substr(start, end - start))) return;
  }
}

char AsciiLowerByte(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::ostringstream ClassicStream() {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  return out;
}

}  // namespace

std::string EscapeLayoutPlotJson(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size() + 8);
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (byte < 0x20) {
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

bool JsonContainsString(std::string_view json, std::string_view value) {
  const std::string escaped = EscapeLayoutPlotJson(value);
  bool found = false;
  ForEachRawString(json, [&](std::string_view raw) { return found = (raw == escaped); });
  return found;
}

std::vector<std::string> JsonStrings(std::string_view json) {
  std::vector<std::string> strings;
  ForEachRawString(json, [&](std::string_view raw) {
    strings.push_back(UnescapeJsonString(raw));
    return false;
  });
  return strings;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLowerByte(a[i]) != AsciiLowerByte(b[i])) return false;
  return true;
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLowerByte(c);
  return out;
}

std::string PlotStyleFileName(std::string_view nameOrPath) {
  const size_t cut = nameOrPath.find_last_of("/\\");
  return std::string(cut == std::string_view::npos ? nameOrPath : nameOrPath.substr(cut + 1));
}

std::string FormatFixedSix(double value) {
  if (!std::isfinite(value)) return "null";
  std::ostringstream out = ClassicStream();
  out << std::fixed << std::setprecision(6) << value;
  return out.str();
}

std::string FormatShortNumber(double value) {
  if (!std::isfinite(value)) return "null";
  std::ostringstream out = ClassicStream();
  out << value;
  return out.str();
}
