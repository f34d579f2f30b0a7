#include "plot/plot_paths.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "plot/plot_json.h"

namespace {

// Room for ".pdf" inside the usual 255-byte limit of one file name.
constexpr size_t kMaxStemBytes = 250;

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsForbiddenInFileName(unsigned char c) {
  switch (c) {
    case '<': case '>': case ':': case '"': case '/': case '\\': case '|': case '?': case '*':
      return true;
    default:
      return c < 0x20;
  }
}

// Never cuts inside a UTF-8 sequence: the cut falls before a lead byte.
void CutAtCharacter(std::string& text, size_t maxBytes) {
  if (text.size() <= maxBytes) return;
  size_t cut = maxBytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  text.resize(cut);
}

void TrimTrailingSpacesAndDots(std::string& text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '.')) text.pop_back();
}

}  // namespace

std::string MakeLayoutPdfPath(std::string_view layoutName) {
  const char* home = std::getenv("HOME");
  const std::string base = (home && *home) ? home : "/tmp";
  return base + "/Documents/OrvikPut/" + SanitizeLayoutFileStem(layoutName) + ".pdf";
}

std::string SanitizeLayoutFileStem(std::string_view layoutName) {
  std::string stem(layoutName);
  for (char& c : stem)
    if (IsForbiddenInFileName(static_cast<unsigned char>(c))) c = '_';
  TrimTrailingSpacesAndDots(stem);
  if (stem.size() > kMaxStemBytes) {
    CutAtCharacter(stem, kMaxStemBytes);
    TrimTrailingSpacesAndDots(stem);
  }
  return stem.empty() ? std::string("Layout") : stem;
}

bool EnsureParentDirectory(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return false;
  return EnsureDirectoryTree(path.substr(0, slash));
}

bool EnsureDirectoryTree(const std::string& directory) {
  if (directory.empty()) return false;
  std::string prefix = directory[0] == '/' ? "/" : "";
  size_t at = 0;
  while (at < directory.size()) {
    size_t end = directory.find('/', at);
    if (end == std::string::npos) end = directory.size();
    if (end > at) {
      if (!prefix.empty() && prefix.back() != '/') prefix += '/';
      prefix.append(directory, at, end - at);
      struct stat st {};
      if (stat(prefix.c_str(), &st) != 0 && mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) return false;
      if (!IsDirectory(prefix)) return false;
    }
    at = end + 1;
  }
  return true;
}

std::string NormalizeComparablePath(std::string_view path) {
  std::string out = AsciiLower(path);
  for (char& c : out)
    if (c == '\\') c = '/';
  while (!out.empty() && out.back() == '/') out.pop_back();
  return out;
}

bool EndsWithSeparator(std::string_view path) { return !path.empty() && (path.back() == '/' || path.back() == '\\'); }

bool HasPdfExtension(std::string_view path) {
  // "a.pdf/" names a folder: creating its parents would leave a folder "a.pdf" in the way of every
  // later plot to "a.pdf".
  if (EndsWithSeparator(path)) return false;
  const std::string normalized = NormalizeComparablePath(path);
  return normalized.size() >= 4 && normalized.compare(normalized.size() - 4, 4, ".pdf") == 0;
}
