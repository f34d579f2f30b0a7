// Drawing files and font files of the simulated host: reading a drawing file into a database, and
// findFile over the host's font folder.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cwchar>
#include <fstream>

#include "cadsim/engine/database_state.h"

namespace cadsim {
namespace {

bool g_strictDrawingFiles = false;
bool g_readOnlyOpenHonoured = true;
std::string g_fontFolder;
std::vector<std::string> defaultFonts() {
  return {"txt.shx", "simplex.shx", "romans.shx", "romand.shx", "isocp.shx", "complex.shx",
          "gbenor.shx", "gbeitc.shx", "gbcbig.shx", "bigfont.shx", "extfont.shx", "ltypeshp.shx"};
}
std::vector<std::string>& availableFonts() {
  static std::vector<std::string>* fonts = new std::vector<std::string>(defaultFonts());
  return *fonts;
}

bool isRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string lower(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string baseName(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The first bytes tell a binary DWG ("AC10xx") and binary DXF from text.
enum class FileKind { kDxf, kDwg, kOther };
FileKind sniff(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char head[64] = {0};
  in.read(head, sizeof(head) - 1);
  std::string text(head, static_cast<size_t>(in.gcount()));
  if (text.rfind("AC10", 0) == 0 || text.rfind("AC1.", 0) == 0) return FileKind::kDwg;
  if (text.rfind("AutoCAD Binary DXF", 0) == 0) return FileKind::kOther;
  // ASCII DXF opens with group code 0 (or a 999 comment), perhaps after blanks.
  size_t i = text.find_first_not_of(" \t\r\n");
  if (i == std::string::npos) return FileKind::kOther;
  if (text.compare(i, 1, "0") == 0 || text.compare(i, 3, "999") == 0) return FileKind::kDxf;
  return FileKind::kOther;
}

}  // namespace

void setStrictDrawingFiles(bool strict) { g_strictDrawingFiles = strict; }
bool strictDrawingFiles() { return g_strictDrawingFiles; }
void setReadOnlyOpenHonoured(bool honoured) { g_readOnlyOpenHonoured = honoured; }
bool readOnlyOpenHonoured() { return g_readOnlyOpenHonoured; }

Acad::ErrorStatus loadDrawingFile(AcDbDatabase* db, const std::wstring& widePath) {
  std::string path = narrow(widePath);
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return Acad::eFileNotFound;
  if (!S_ISREG(st.st_mode)) return Acad::eFileAccessErr;
  if (::access(path.c_str(), R_OK) != 0) return Acad::eFileAccessErr;
  if (sniff(path) == FileKind::kDwg) return Acad::eDwgNotRecoverable;
  Acad::ErrorStatus es = readDxfInto(db, path);
  if (es == Acad::eOk) db->data().fileName = widePath;
  return es;
}

void resetDrawingServices() {
  g_strictDrawingFiles = false;
  g_readOnlyOpenHonoured = true;
  g_fontFolder.clear();
  availableFonts() = defaultFonts();
  setLayoutManagerAvailable(true);
}

void setFontFolder(const std::string& dir) { g_fontFolder = dir; }
void setAvailableFonts(const std::vector<std::string>& fileNames) {
  availableFonts() = fileNames;
  g_fontFolder.clear();
}

// Where a font file name is found: the font folder (or the built-in list, under a virtual
// folder), compared without letter case as on the host's file system. Empty when missing.
std::string findFontFile(const std::string& name) {
  std::string wanted = lower(baseName(name));
  if (wanted.empty()) return "";
  if (!g_fontFolder.empty()) {
    std::string direct = g_fontFolder + "/" + baseName(name);
    if (isRegularFile(direct)) return direct;
    // Letter case may differ on disk: the host's volumes ignore it.
    std::string found;
    if (DIR* dir = ::opendir(g_fontFolder.c_str())) {
      while (dirent* e = ::readdir(dir)) {
        if (lower(e->d_name) == wanted && isRegularFile(g_fontFolder + "/" + e->d_name)) {
          found = g_fontFolder + "/" + e->d_name;
          break;
        }
      }
      ::closedir(dir);
    }
    return found;
  }
  for (const std::string& f : availableFonts())
    if (lower(f) == wanted) return "/cadsim/fonts/" + f;
  return "";
}

}  // namespace cadsim

Acad::ErrorStatus AcDbHostApplicationServices::findFile(AcString& fileOut, const ACHAR* pcFilename,
                                                        AcDbDatabase* pDb, FindFileHint hint) {
  Acad::ErrorStatus es;
  fileOut = L"";
  if (cadsim::hostCallFails("findFile", Acad::eFileNotFound, &es)) return es;
  if (!pcFilename) return Acad::eInvalidInput;
  std::string name = cadsim::narrow(pcFilename);
  if (name.empty()) return Acad::eFileNotFound;
  std::string found;
  bool fontHint = hint == kFontFile || hint == kCompiledShapeFile || hint == kTrueTypeFontFile;
  if (!name.empty() && name[0] == '/' && cadsim::isRegularFile(name)) {
    found = name;
  } else if (fontHint) {
    found = cadsim::findFontFile(name);
  } else {
    // Beside the drawing, then the font folder as a support path.
    AcDbDatabase* db = pDb ? pDb : cadsim::workingDatabase();
    if (db && name[0] != '/') {
      std::string drawing = cadsim::narrow(db->data().fileName);
      size_t slash = drawing.find_last_of('/');
      if (slash != std::string::npos && cadsim::isRegularFile(drawing.substr(0, slash + 1) + name))
        found = drawing.substr(0, slash + 1) + name;
    }
    if (found.empty()) found = cadsim::findFontFile(name);
  }
  if (found.empty()) return Acad::eFileNotFound;
  fileOut = cadsim::widen(found);
  return Acad::eOk;
}
