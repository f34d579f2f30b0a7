// The drawing-level services of the session: switching layouts at once, binding a request to an
// open drawing, putting the active layout back after an operation, sweeping lock files and
// repairing text styles whose fonts are missing. Driven on the simulated host's main thread.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>

#include "cadsim/control.h"
#include "pipeline/command_queue.h"
#include "pipeline/document_binding.h"
#include "pipeline/font_repair.h"
#include "pipeline/layout_switch.h"
#include "pipeline/session_actions.h"

namespace fs = std::filesystem;

namespace {

const std::string kLocalModel = "\xE6\xA8\xA1\xE5\x9E\x8B";  // 模型

class DrawingSession : public ::testing::Test {
 protected:
  void SetUp() override {
    cadsim::reset();
    ResetCommandQueue();
    char pattern[] = "/tmp/orvik-session-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    a = cadsim::openDrawing(dir + "/a.dwg");
    cadsim::runUntilIdle();
    db = cadsim::databaseOf(a);
  }
  void TearDown() override {
    if (g_lockedDocument) acDocManagerPtr()->unlockDocument(g_lockedDocument);
    ResetCommandQueue();
    EXPECT_EQ(cadsim::openObjectCount(), 0u);
    EXPECT_TRUE(cadsim::faultLog().empty()) << cadsim::faultLog().front();
    // Closed one by one: the host's reset trips over several drawings torn down at once.
    for (AcApDocument* doc : cadsim::documents()) cadsim::close(doc);
    cadsim::runUntilIdle();
    cadsim::reset();
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::string Layout() { return cadsim::currentLayoutName(db); }
  void Touch(const std::string& path) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << "x";
  }
  std::string dir;
  AcApDocument* a = nullptr;
  AcDbDatabase* db = nullptr;
};

TEST_F(DrawingSession, SwitchSpaceSyncTakesEveryRouteAndRefreshesOnlyWhenSwitched) {
  const std::string longName(300, 'L');
  struct Case {
    const char* why;
    const char* from;           // the layout current before
    bool localModel;            // model space goes by its other name
    bool manager;               // the layout manager is there
    const char* managerRefuses;  // a layout manager call that fails
    bool ctabRefused;
    std::string name;
    bool result;
    std::string layoutAfter;
    int refreshes;
  } cases[] = {
      {"a paper layout through the layout manager", "Model", false, true, nullptr, false, "Layout1", true, "Layout1", 1},
      {"already current: nothing changes", "Layout2", false, true, nullptr, false, "Layout2", true, "Layout2", 0},
      // Both routes refuse, so a true result proves that nothing was called.
      {"model space by its other name is already current", "Model", true, true, "setCurrentLayout", true, "Model",
       true, kLocalModel, 0},
      {"manager refuses Model but takes its other name", "Layout1", false, true, "setCurrentLayout:Model", true,
       "Model", true, "Model", 1},
      {"no layout manager: CTAB instead", "Model", false, false, nullptr, false, "Layout2", true, "Layout2", 1},
      {"no layout manager and CTAB refused", "Model", false, false, nullptr, true, "Layout2", false, "Model", 0},
      {"a name longer than the host takes is not cut to another name", "Model", false, true, nullptr, false, longName,
       false, "Model", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    cadsim::clearFaults();
    cadsim::setLayoutManagerAvailable(true);
    ASSERT_TRUE(SwitchSpaceSync("Model"));
    ASSERT_TRUE(SwitchSpaceSync(c.from));
    if (c.localModel) cadsim::setModelLayoutName(db, kLocalModel);
    cadsim::setLayoutManagerAvailable(c.manager);
    if (c.managerRefuses) cadsim::failCall(c.managerRefuses, 3, true);
    if (c.ctabRefused) cadsim::failCall("acedSetVar:CTAB", RTERROR, true);
    const int before = cadsim::displayRefreshCount();
    EXPECT_EQ(SwitchSpaceSync(c.name), c.result);
    EXPECT_EQ(Layout(), c.layoutAfter);
    EXPECT_EQ(cadsim::displayRefreshCount() - before, c.refreshes);
    cadsim::setModelLayoutName(db, "Model");
  }
  cadsim::clearFaults();
  cadsim::close(a);
  EXPECT_FALSE(SwitchSpaceSync("Layout1"));  // no current drawing
}

TEST_F(DrawingSession, RequestPathsFindTheOpenDrawing) {
  const std::string file = dir + "/a.dwg";
  Touch(file);
  const std::string link = dir + "/link.dwg";
  ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
  AcApDocManager* manager = acDocManagerPtr();
  struct Case {
    std::string request;
    bool found;
  } cases[] = {
      {file + "/", true},                  // trailing slash
      {"\\" + file.substr(1), true},       // a backslash where the slash was
      {link, true},                        // the same file under another name
      {dir + "/A.dwg", false},             // case is kept on a case-sensitive volume
  };
  for (const Case& c : cases)
    EXPECT_EQ(FindOpenDocumentByPath(manager, c.request), c.found ? a : nullptr) << c.request;
  EXPECT_EQ(NormalizeDocumentPath("/"), "/");

  // Deleted since it was opened: only the text still matches, the link no longer does.
  fs::remove(file);
  EXPECT_EQ(FindOpenDocumentByPath(manager, file), a);
  EXPECT_EQ(FindOpenDocumentByPath(manager, link), nullptr);
}

TEST_F(DrawingSession, BindingActivatesAndLocksOrExplainsWhyNot) {
  AcApDocument* b = cadsim::openDrawing(dir + "/b.dwg");
  cadsim::runUntilIdle();
  AcApDocManager* manager = acDocManagerPtr();
  const std::string paths = "; current=" + dir + "/b.dwg; mdiActive=" + dir + "/b.dwg";
  struct Case {
    const char* fault;
    std::string request;
    std::string error;
  } cases[] = {
      {"", "", "{\"success\":false,\"errorCode\":\"required_parameter_missing\",\"message\":\"dwgPath is required.\"}"},
      {"", "/nope.dwg",
       "{\"success\":false,\"errorCode\":\"dwg_not_open\",\"message\":\"Requested DWG is not open. requested=/nope.dwg" +
           paths + "\"}"},
      {"setCurDocument", dir + "/a.dwg",
       "{\"success\":false,\"errorCode\":\"dwg_activation_failed\",\"message\":\"Could not activate requested DWG. "
       "requested=" + dir + "/a.dwg" + paths + "; setCurDocumentStatus=5\"}"},
      {"lockDocument", dir + "/b.dwg",
       "{\"success\":false,\"errorCode\":\"document_lock_failed\",\"message\":\"Could not lock requested DWG. "
       "requested=" + dir + "/b.dwg" + paths + "; lockDocumentStatus=5\"}"},
  };
  for (const Case& c : cases) {
    if (*c.fault) cadsim::failCall(c.fault, 5);
    const TaskDocument bound = BindRequestedDocument(manager, c.request);
    EXPECT_FALSE(bound);
    EXPECT_EQ(bound.error, c.error);
    EXPECT_EQ(g_lockedDocument, nullptr);
    cadsim::clearFaults();
  }
  EXPECT_EQ(cadsim::lockCount(b), 0);

  const TaskDocument bound = BindRequestedDocument(manager, dir + "/a.dwg/");
  ASSERT_TRUE(bound);
  EXPECT_EQ(bound.document, a);
  EXPECT_EQ(g_lockedDocument, a);
  EXPECT_EQ(cadsim::lockCount(a), 1);
  EXPECT_EQ(manager->mdiActiveDocument(), a);
}

TEST_F(DrawingSession, APreservedLayoutComesBackAfterTheOperation) {
  AcApDocument* b = cadsim::openDrawing(dir + "/b.dwg");
  cadsim::runUntilIdle();
  cadsim::activate(a);
  cadsim::runUntilIdle();
  ASSERT_TRUE(SwitchSpaceSync("Layout1"));
  const std::string restoreFailed =
      "{\"success\":false,\"errorCode\":\"layout_restore_failed\",\"message\":\"The operation finished, but the "
      "original active layout could not be restored.\"}";
  struct Case {
    const char* why;
    std::function<void()> during;
    std::string reply;
    std::string layoutAfter;
  } cases[] = {
      // The other drawing is now in front: its layouts are not ours to switch.
      {"another drawing in front", [&] {
         SwitchSpaceSync("Layout2");
         acDocManagerPtr()->setCurDocument(b, AcAp::kNone, true);
       }, restoreFailed, "Layout2"},
      {"host refuses every route", [] {
         SwitchSpaceSync("Layout2");
         cadsim::failCall("setCurrentLayout", 3, true);
         cadsim::failCall("acedSetVar:CTAB", RTERROR, true);
       }, restoreFailed, "Layout2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(WithPreservedLayout(a, [&] {
                c.during();
                return std::string("done");
              }),
              c.reply);
    EXPECT_EQ(Layout(), c.layoutAfter);
    cadsim::clearFaults();
    acDocManagerPtr()->setCurDocument(a, AcAp::kNone, true);
    ASSERT_TRUE(SwitchSpaceSync("Layout1"));
  }

  // Not capturable: the operation never runs.
  cadsim::setLayoutManagerAvailable(false);
  bool ran = false;
  EXPECT_EQ(WithPreservedLayout(a, [&] {
              ran = true;
              return std::string("done");
            }),
            "{\"success\":false,\"errorCode\":\"layout_context_unavailable\",\"message\":\"The original active "
            "layout could not be captured.\"}");
  EXPECT_FALSE(ran);
  cadsim::setLayoutManagerAvailable(true);

  // A throwing operation still gets its layout back, and the exception travels on.
  EXPECT_THROW(WithPreservedLayout(a,
                                   []() -> std::string {
                                     SwitchSpaceSync("Layout2");
                                     throw std::runtime_error("plot failed");
                                   }),
               std::runtime_error);
  EXPECT_EQ(Layout(), "Layout1");
}

TEST_F(DrawingSession, TheLockFileSweepStaysInsideTheDrawingsTree) {
  // A folder name a shell would have read as commands (more of them: the end-to-end open).
  const std::string folder = dir + "/it's $(touch PWNED) `touch PWNED` a\"b; & new\nline";
  const std::string outside = dir + "-outside";
  Touch(folder + "/x.dwl");
  Touch(folder + "/sub/deeper/y.dwl2");
  Touch(folder + "/keep.dwl.bak");
  Touch(outside + "/z.dwl");
  fs::create_directory_symlink(outside, folder + "/linked");  // never followed
  fs::create_symlink(outside + "/z.dwl", folder + "/alias.dwl");  // a link is not a regular file
  EXPECT_EQ(SweepDrawingLockFiles(folder + "/drawing.dwg"), 2u);
  EXPECT_FALSE(fs::exists(folder + "/x.dwl"));
  EXPECT_FALSE(fs::exists(folder + "/sub/deeper/y.dwl2"));
  EXPECT_TRUE(fs::exists(folder + "/keep.dwl.bak"));
  EXPECT_TRUE(fs::exists(outside + "/z.dwl"));
  EXPECT_TRUE(fs::is_symlink(folder + "/alias.dwl"));
  EXPECT_FALSE(fs::exists(dir + "/PWNED"));
  fs::remove_all(outside);
  // No folder part, the root, or a folder that is not there: nothing, and no failure.
  for (const char* path : {"a.dwg", "/a.dwg", "//a.dwg", "/no/such/folder/a.dwg", ""})
    EXPECT_EQ(SweepDrawingLockFiles(path), 0u) << path;
}

// A repair with nothing to repair, and the regeneration only after a repair, are the end-to-end
// tests'; the style without any font file and the host's refusals are not.
TEST_F(DrawingSession, MissingFontsAreReplacedAndRefusalsExplained) {
  cadsim::setAvailableFonts({"txt.shx", "simplex.shx", "gbcbig.shx", "hztxt.shx"});
  EXPECT_FALSE(fontFixIsMissing(L"SIMPLEX.SHX"));  // file names are compared without case
  cadsim::addTextStyle(db, "LostFont", "gone.shx", "hztxt.shx");   // font missing, big font there
  cadsim::addTextStyle(db, "LostBig", "simplex.shx", "gone2.shx");  // big font missing
  cadsim::addTextStyle(db, "Empty", "");                           // no font file at all
  EXPECT_EQ(PerformFixMissingFonts(), "FIXED:3");
  cadsim::runUntilIdle();  // the regeneration it typed
  EXPECT_EQ(PerformFixMissingFonts(), "OK");  // all repaired now

  cadsim::failCall("acdbOpenObject", 5);
  EXPECT_EQ(PerformFixMissingFonts(), "Error: Cannot open text style table.");
  cadsim::failCall("newIterator", 5);
  EXPECT_EQ(PerformFixMissingFonts(), "Error: Cannot create style iterator.");
  cadsim::close(a);
  EXPECT_EQ(PerformFixMissingFonts(), "Error: No active document.");
}

}  // namespace
