// findFile over the host's fonts, and drawing files: lock files, missing files and
// files that are not drawings.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "cadsim/control.h"

namespace {

std::string tempDir() {
  char pattern[] = "/tmp/cadsim_files_XXXXXX";
  const char* dir = mkdtemp(pattern);
  return dir ? dir : "/tmp";
}

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::string find(const std::string& name, AcDbHostApplicationServices::FindFileHint hint =
                                              AcDbHostApplicationServices::kFontFile) {
  ACHAR out[512] = {0};
  std::wstring w = cadsim::widen(name);
  Acad::ErrorStatus es = acdbHostApplicationServices()->findFile(out, 512, w.c_str(), nullptr, hint);
  return es == Acad::eOk ? cadsim::narrow(out) : "<" + std::to_string(es) + ">";
}

class FontsAndFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cadsim::reset();
    dir = tempDir();
  }
  void TearDown() override {
    cadsim::reset();
    if (std::system(("rm -rf '" + dir + "'").c_str()) != 0) ADD_FAILURE() << "cannot remove " << dir;
    EXPECT_EQ(cadsim::faultLog(), std::vector<std::string>());
  }
  std::string dir;
};

TEST_F(FontsAndFilesTest, FindFileLooksInTheFontFolder) {
  writeFile(dir + "/simplex.shx", "x");
  writeFile(dir + "/HZTXT.SHX", "x");
  ::mkdir((dir + "/folder.shx").c_str(), 0700);
  cadsim::setFontFolder(dir);
  struct Case {
    std::string name, expected;
  } cases[] = {
      {"simplex.shx", dir + "/simplex.shx"},
      {"hztxt.shx", dir + "/HZTXT.SHX"},          // letter case ignored, as on the host's volumes
      {"C:\\fonts\\simplex.shx", dir + "/simplex.shx"},  // a foreign folder: its file name counts
      {"/elsewhere/simplex.shx", dir + "/simplex.shx"},  // the font folder still holds it
      {"txt.shx", "<76>"},                       // with a folder, the built-in list is gone
      {"folder.shx", "<76>"},                    // folders are not font files
      {"", "<76>"},
  };
  for (const Case& c : cases) EXPECT_EQ(find(c.name), c.expected) << c.name;

  ACHAR small[8];
  EXPECT_EQ(acdbHostApplicationServices()->findFile(small, 8, L"simplex.shx", nullptr,
                                                    AcDbHostApplicationServices::kFontFile),
            Acad::eBufferTooSmall);
  EXPECT_EQ(acdbHostApplicationServices()->findFile(nullptr, 8, L"simplex.shx"), Acad::eInvalidInput);
}

TEST_F(FontsAndFilesTest, BuiltInFontListAndItsReplacement) {
  EXPECT_NE(find("gbcbig.shx").find("gbcbig.shx"), std::string::npos);
  EXPECT_NE(find("TXT.SHX").find("txt.shx"), std::string::npos);
  EXPECT_EQ(find("missing.shx"), "<76>");
  cadsim::setAvailableFonts({"only.shx"});
  EXPECT_EQ(find("txt.shx"), "<76>");
  EXPECT_NE(find("only.shx"), "<76>");
  cadsim::failCall("findFile", Acad::eFileAccessErr);
  EXPECT_EQ(find("only.shx"), "<72>");
}

// Statuses of drawing files that cannot be read, for documents and side databases alike.
TEST_F(FontsAndFilesTest, UnreadableDrawingFilesAnswerStatuses) {
  writeFile(dir + "/binary.dwg", std::string("AC1032\0\0\0\x1f", 10));
  writeFile(dir + "/notes.txt", "hello\n");
  ::mkdir((dir + "/folder.dwg").c_str(), 0700);
  struct Case {
    std::string path;
    int status;
  } cases[] = {
      {dir + "/missing.dwg", Acad::eFileNotFound},
      {dir + "/binary.dwg", Acad::eDwgNotRecoverable},  // DWG is not readable here
      {dir + "/notes.txt", Acad::eDwgNotRecoverable},
      {dir + "/folder.dwg", Acad::eFileAccessErr},
  };
  cadsim::setStrictDrawingFiles(true);
  for (const Case& c : cases) {
    AcDbDatabase side(false, true);
    EXPECT_EQ(side.readDwgFile(cadsim::widen(c.path).c_str(), AcDbDatabase::kForReadAndAllShare), c.status)
        << c.path;
    int status = 0;
    EXPECT_EQ(cadsim::openDrawing(c.path, &status), nullptr) << c.path;
    EXPECT_EQ(status, c.status) << c.path;
    EXPECT_EQ(acDocManager->appContextOpenDocument(cadsim::widen(c.path).c_str()), c.status) << c.path;
  }
  EXPECT_TRUE(cadsim::documents().empty());
  EXPECT_FALSE(exists(dir + "/binary.dwl"));  // no lock files for a failed open

  cadsim::failCall("readDwgFile", Acad::eFileNotFound);
  AcDbDatabase side(false, true);
  EXPECT_EQ(side.readDwgFile(L"/anything.dxf"), Acad::eFileNotFound);
}

TEST_F(FontsAndFilesTest, NamesWithoutFilesOpenAsEmptyDrawingsUnlessStrict) {
  int status = -1;
  AcApDocument* doc = cadsim::openDrawing(dir + "/new.dwg", &status);
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(exists(dir + "/new.dwl"));
  cadsim::setStrictDrawingFiles(true);
  EXPECT_EQ(acDocManager->appContextOpenDocument(cadsim::widen(dir + "/other.dwg").c_str()),
            Acad::eFileNotFound);
  EXPECT_EQ(cadsim::documents().size(), 1u);
}

TEST_F(FontsAndFilesTest, LockFilePathsSitBesideTheDrawing) {
  EXPECT_EQ(cadsim::secondLockFilePath("/a/b/plan.dwg"), "/a/b/plan.dwl2");
  EXPECT_EQ(cadsim::lockFilePath("/a.b/plan"), "/a.b/plan.dwl");  // a dot in a folder is no extension
}

}  // namespace
