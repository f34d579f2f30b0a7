// findFile over the host's fonts and beside a drawing, and drawing files: lock files, missing,
// damaged and foreign files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "cadsim/control.h"

namespace {

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::string find(const std::string& name, AcDbDatabase* db = nullptr,
                 AcDbHostApplicationServices::FindFileHint hint = AcDbHostApplicationServices::kFontFile) {
  AcString out;
  std::wstring w = cadsim::widen(name);
  Acad::ErrorStatus es = acdbHostApplicationServices()->findFile(out, w.c_str(), db, hint);
  return es == Acad::eOk ? cadsim::narrow(out.kwszPtr()) : "<" + std::to_string(es) + ">";
}

class FontsAndFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cadsim::reset();
    char pattern[] = "/tmp/cadsim_files_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override {
    cadsim::reset();
    if (std::system(("rm -rf '" + dir + "'").c_str()) != 0) ADD_FAILURE() << "cannot remove " << dir;
    EXPECT_EQ(cadsim::faultLog(), std::vector<std::string>());
  }
  std::string dir;
};

TEST_F(FontsAndFilesTest, FindFileLooksInTheFontFolderOrTheBuiltInList) {
  EXPECT_NE(find("TXT.SHX").find("txt.shx"), std::string::npos);  // the built-in list, any letter case
  EXPECT_EQ(find("missing.shx"), "<76>");
  cadsim::setAvailableFonts({"only.shx"});
  EXPECT_EQ(find("txt.shx"), "<76>");
  EXPECT_NE(find("only.shx"), "<76>");

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

  AcString out = L"stale";
  EXPECT_EQ(acdbHostApplicationServices()->findFile(out, nullptr), Acad::eInvalidInput);
  EXPECT_TRUE(out.isEmpty());
}

// Statuses of drawing files that cannot be read, for documents and side databases alike.
TEST_F(FontsAndFilesTest, UnreadableDrawingFilesAnswerStatuses) {
  writeFile(dir + "/binary.dwg", std::string("AC1032\0\0\0\x1f", 10));
  writeFile(dir + "/notes.txt", "hello\n");
  writeFile(dir + "/damaged.dxf", "0\nSECTION\n2\nENTITIES\n0\nLINE\n10\nnot-a-number\n");
  ::mkdir((dir + "/folder.dwg").c_str(), 0700);
  struct Case {
    std::string path;
    int status;
  } cases[] = {
      {dir + "/missing.dwg", Acad::eFileNotFound},
      {dir + "/binary.dwg", Acad::eDwgNotRecoverable},  // DWG is not readable here
      {dir + "/notes.txt", Acad::eDwgNotRecoverable},
      {dir + "/damaged.dxf", Acad::eDxfReadAborted},
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
    EXPECT_EQ(cadsim::openObjects(), std::vector<std::string>()) << c.path;  // nothing half-built
  }
  EXPECT_TRUE(cadsim::documents().empty());
  EXPECT_FALSE(exists(dir + "/binary.dwl"));  // no lock files for a failed open
  EXPECT_FALSE(exists(dir + "/damaged.dwl"));

  writeFile(dir + "/plan.dxf", "0\nSECTION\n2\nENTITIES\n0\nENDSEC\n0\nEOF\n");
  AcDbDatabase full(true, true);  // a database with content refuses to read at all
  EXPECT_EQ(full.readDwgFile(cadsim::widen(dir + "/plan.dxf").c_str()), Acad::eInvalidContext);
}

// An open drawing file keeps the host's lock files beside it until it closes (the plug-in's sweep
// of stale ones must tell them apart).
TEST_F(FontsAndFilesTest, OpenDrawingsKeepLockFilesUntilTheyClose) {
  const std::string plan = dir + "/plan.dxf";
  writeFile(plan, "0\nSECTION\n2\nENTITIES\n0\nENDSEC\n0\nEOF\n");
  AcApDocument* doc = cadsim::openDrawing(plan);
  ASSERT_NE(doc, nullptr);
  EXPECT_TRUE(exists(dir + "/plan.dwl") && exists(dir + "/plan.dwl2"));
  cadsim::close(doc);
  EXPECT_FALSE(exists(dir + "/plan.dwl") || exists(dir + "/plan.dwl2"));
  EXPECT_EQ(cadsim::lockFilePath("/a.b/plan"), "/a.b/plan.dwl");  // a dot in a folder is no extension
}

}  // namespace
