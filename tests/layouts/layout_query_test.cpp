// The layout and block readers and the drawing layouts query against the simulated host: orders,
// error records, cancellation, the three read modes and the read-only fallback putting the user's
// drawing, current document and layout back.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "cadsim/control.h"
#include "layouts/drawing_layouts_query.h"
#include "layouts/layout_readers.h"
#include "pipeline/document_binding.h"
#include "pipeline/request_json.h"
#include "plugin/document_readiness.h"

namespace {

using namespace OrvikDrawingLayouts;
using Strings = std::vector<std::string>;

std::string Decode(const std::string& raw) { return UnescapeJsonString(raw); }

TEST(QueryParams, PathsAndBooleans) {
  struct Row {
    std::string params;
    bool ok;
    Strings paths;
  };
  std::string twoHundred = "{\"dwgPaths\":[";
  for (int i = 0; i < 200; ++i) twoHundred += (i ? ",\"/d/" : "\"/d/") + std::to_string(i) + "\"";
  const Row rows[] = {
      {R"({"dwgPaths" : [ "/a b.dwg" ,"C:\\x\"y.dwg"]})", true, {"/a b.dwg", "C:\\x\"y.dwg"}},  // blanks, escapes
      {R"({"dwgPaths":[]})", true, {}},                   // read, but the query refuses it
      {twoHundred + "]}", true, {}},                      // 200 accepted
      {twoHundred + ",\"/d/x\"]}", false, {}},            // the 201st
      {R"({"dwgPaths":["/a",""]})", false, {}},           // an empty path
      {R"({"dwgPaths":["/a",1]})", false, {}},            // not a string
      {R"({"dwgPaths":["/a"})", false, {}},               // unterminated
      {"{\"dwgPaths\":[\"/a\tb\"]}", false, {}},          // a raw control byte
      {R"({"dwgPaths":["/a\u0000.dwg"]})", false, {}},    // an escaped one would cut the host's name
      {R"({"dwgPaths":"/a"})", false, {}},                // not an array
  };
  for (const Row& row : rows) {
    Strings paths;
    EXPECT_EQ(ReadPaths(row.params, paths, Decode), row.ok) << row.params.substr(0, 60);
    if (row.ok && !row.paths.empty()) {
      EXPECT_EQ(paths, row.paths);
    }
  }
  EXPECT_TRUE(ReadBool(R"({"includeBlocks":  true})", "includeBlocks", false));
  EXPECT_FALSE(ReadBool(R"({"includeBlocks":"true"})", "includeBlocks", false));  // a string counts as absent
  EXPECT_TRUE(ReadBool(R"({"other":false})", "allowDocumentFallback", true));
}

TEST(QueryParams, FallbackOnlyWhenEveryFailureIsAContextError) {
  auto snapshot = [](bool blocks, const char* error, bool context, std::vector<std::pair<const char*, bool>> layouts) {
    Snapshot s;
    s.includeBlocks = blocks;
    s.errorCode = error;
    s.contextError = context;
    for (auto& l : layouts) s.layouts.push_back({"L", "1", 0, {}, l.first, "", l.second});
    return s;
  };
  EXPECT_FALSE(CanUseDocumentFallback(snapshot(false, "dwg_read_failed", true, {})));  // no blocks asked
  EXPECT_TRUE(CanUseDocumentFallback(snapshot(true, "dwg_read_failed", true, {})));
  EXPECT_FALSE(CanUseDocumentFallback(snapshot(true, "dwg_read_failed", false, {})));
  EXPECT_TRUE(CanUseDocumentFallback(snapshot(true, "", false, {{"", false}, {"x", true}})));
  EXPECT_FALSE(CanUseDocumentFallback(snapshot(true, "", false, {{"x", true}, {"x", false}})));  // one ordinary
  EXPECT_FALSE(CanUseDocumentFallback(snapshot(true, "", false, {{"", false}})));  // nothing failed
}

class LayoutReading : public ::testing::Test {
 protected:
  void SetUp() override {
    cadsim::reset();
    doc = cadsim::newDrawing();
    db = cadsim::databaseOf(doc);
  }
  void TearDown() override {
    EXPECT_EQ(cadsim::openObjects(), Strings());
    EXPECT_EQ(cadsim::faultLog(), Strings());
    cadsim::reset();
  }
  // Objects that only use up handles, so the next one's handle text is longer.
  void SpendHandles(int count) {
    for (int i = 0; i < count; ++i) cadsim::addLine(db, cadsim::modelSpaceId(db), {0, 0, 0}, {1, 1, 0});
  }
  Snapshot Read(const KeepGoing& keepGoing = nullptr) {
    Snapshot s;
    s.includeBlocks = true;
    ReadLayouts(db, s, keepGoing);
    return s;
  }
  AcApDocument* doc = nullptr;
  AcDbDatabase* db = nullptr;
};

// References without attributes, dynamic blocks and the texts of values are driven end to end in
// tests/e2e/test_drawing_layouts.py, on handles whose texts sort as their values do.
TEST_F(LayoutReading, OrdersNamesAndAttributesAsInTheDrawing) {
  SpendHandles(0x20);
  const AcDbObjectId early = cadsim::addLayout(db, "Early", 7);
  const AcDbObjectId space = cadsim::layoutSpaceId(db, "Layout1");
  const AcDbObjectId tb = cadsim::addBlockDefinition(db, "TB", {{"NO", ""}});
  const AcDbObjectId first = cadsim::addBlockReference(db, space, tb, {0, 0, 0}, {{"NO", "1"}});
  SpendHandles(300);
  const AcDbObjectId late = cadsim::addLayout(db, "Late", 7);
  cadsim::addBlockReference(db, space, tb, {0, 0, 0},
                            {{"M", "one\\Ptwo", true}, {"H", "hidden", false, true}});
  // Byte order of the handle texts is not their numeric order: the test only means something so.
  ASSERT_LT(cadsim::handleText(late), cadsim::handleText(early));

  const Snapshot s = Read();
  EXPECT_EQ(s.errorCode, "");
  Strings names;
  for (const Layout& l : s.layouts) names.push_back(l.name);
  EXPECT_EQ(names, (Strings{"Layout1", "Layout2", "Late", "Early"}));  // tab order, then handle text
  ASSERT_EQ(s.layouts[0].blocks.size(), 2u);
  const std::vector<Block>& blocks = s.layouts[0].blocks;
  EXPECT_EQ(blocks[0].blockHandle, cadsim::handleText(first));  // numeric handle order
  ASSERT_EQ(blocks[1].attributes.size(), 2u);
  EXPECT_EQ(blocks[1].attributes[0].value, "one\ntwo");  // plain text of a multi-line attribute
  EXPECT_EQ(blocks[1].attributes[1].value, "hidden");    // invisible ones too
}

TEST_F(LayoutReading, FailuresStopTheDrawingOrOnlyTheirLayout) {
  const AcDbObjectId space = cadsim::layoutSpaceId(db, "Layout1");
  cadsim::addBlockReference(db, space, cadsim::addBlockDefinition(db, "TB", {{"NO", ""}}), {0, 0, 0}, {{"NO", "1"}});
  struct Row {
    const char* call;
    int status;
    size_t nth;
    std::string error;       // the drawing's
    bool context;            // the drawing's context flag
    std::string blockError;  // Layout1's message
  };
  const Row rows[] = {
      {"acdbOpenObject", 2, 1, "dwg_read_failed", true, ""},  // the layout dictionary
      {"acdbOpenObject", 3, 2, "dwg_read_failed", false, ""},  // the first layout
      {"getEntity", 35, 1, "", false, "Cannot read a layout entity (CAD status 35)."},
      {"acdbOpenObject:AcDbBlockTableRecord", 124, 1, "", false, "Cannot read the layout block record (CAD status 124)."},
      {"getName:AcDbBlockTableRecord", 3, 1, "", false, "Cannot read a block name (CAD status 3)."},
      {"acdbOpenObject:AcDbAttribute", 250, 1, "", false, "Cannot read a block attribute (CAD status 250)."},
      {"textString", 330, 1, "", false, "Cannot read a block attribute value (CAD status 330)."},
  };
  for (const Row& row : rows) {
    cadsim::clearFaults();
    cadsim::failNthCall(row.call, row.nth, row.status);
    const Snapshot s = Read();
    EXPECT_EQ(s.errorCode, row.error) << row.call;
    EXPECT_EQ(s.contextError, row.context) << row.call;
    if (!row.error.empty()) {
      EXPECT_TRUE(s.layouts.empty()) << row.call;
      continue;
    }
    ASSERT_EQ(s.layouts.size(), 2u) << row.call;
    EXPECT_EQ(s.layouts[0].blockErrorMessage, row.blockError) << row.call;
    EXPECT_TRUE(s.layouts[0].blocks.empty());
    EXPECT_EQ(s.layouts[0].blockContextError, row.status != 3) << row.call;
    EXPECT_EQ(s.layouts[1].blockErrorCode, "") << row.call;  // the other layout is still read
  }
}

TEST_F(LayoutReading, ADrawingWithOnlyModelSpaceHasNoLayouts) {
  AcDbDictionary* layouts = nullptr;
  ASSERT_EQ(acdbOpenObject(layouts, db->layoutDictionaryId(), AcDb::kForWrite), Acad::eOk);
  layouts->remove(L"Layout1");
  layouts->remove(L"Layout2");
  layouts->close();
  const Snapshot s = Read();
  EXPECT_EQ(s.errorCode, "no_layouts");
  EXPECT_EQ(s.errorMessage, "This drawing has no paper-space layouts.");
}

// The callback answers true until its nth question, then false for good, as a cancelled query
// does. The dictionary's order is Early, Layout1, Layout2, Model; the sorted order puts Early last.
// With blocks, each layout's paper-space viewport is asked about first.
TEST_F(LayoutReading, ACancelStopsTheDrawingOrTheLayoutBeingRead) {
  cadsim::addLayout(db, "Early", 7);
  const AcDbObjectId tb = cadsim::addBlockDefinition(db, "TB", {{"NO", ""}});
  cadsim::addBlockReference(db, cadsim::layoutSpaceId(db, "Layout1"), tb, {0, 0, 0}, {{"NO", "1"}});
  const struct {
    int falseFrom;
    bool blocks;
    Strings layouts;          // as read, unsorted
    const char* layout1Error;  // Layout1's block error
  } rows[] = {
      {1, true, {}, ""},                                          // before the first entry
      {3, false, {"Early", "Layout1"}, ""},                       // at the third entry
      {5, true, {"Early", "Layout1"}, "drawing_layouts_cancelled"},  // at Layout1's reference
      {6, true, {"Early", "Layout1"}, "drawing_layouts_cancelled"},  // at its attribute
  };
  for (const auto& row : rows) {
    int asked = 0;
    Snapshot s;
    s.includeBlocks = row.blocks;
    ReadLayouts(db, s, [&] { return ++asked < row.falseFrom; });
    EXPECT_EQ(s.errorCode, "drawing_layouts_cancelled") << row.falseFrom;
    EXPECT_EQ(s.errorMessage, "The layout query was cancelled or disconnected.");
    Strings names;
    for (const Layout& l : s.layouts) names.push_back(l.name);
    EXPECT_EQ(names, row.layouts) << row.falseFrom;
    if (names.size() < 2) continue;
    EXPECT_EQ(s.layouts[1].blockErrorCode, row.layout1Error) << row.falseFrom;
    EXPECT_FALSE(s.layouts[1].blockContextError);
    EXPECT_TRUE(s.layouts[1].blocks.empty() || !*row.layout1Error);
  }
}

// A drawing file with one layout holding one attributed title block.
std::string WriteDrawing(const std::string& dir, const std::string& name) {
  const std::string path = dir + "/" + name;
  const char* pairs[] = {
      "0", "SECTION", "2", "BLOCKS", "0", "BLOCK", "8", "0", "2", "TB", "70", "2", "10", "0", "20", "0", "30", "0",
      "3", "TB", "0", "ATTDEF", "8", "0", "10", "0", "20", "0", "30", "0", "40", "2.5", "1", "", "3", "No", "2",
      "NO", "70", "0", "0", "ENDBLK", "8", "0", "0", "ENDSEC", "0", "SECTION", "2", "ENTITIES", "0", "INSERT", "5",
      "A0", "67", "1", "8", "0", "66", "1", "2", "TB", "10", "0", "20", "0", "30", "0", "0", "ATTRIB", "5", "A1",
      "67", "1", "8", "0", "10", "0", "20", "0", "30", "0", "40", "2.5", "1", "S-01", "2", "NO", "70", "0", "0",
      "SEQEND", "8", "0", "0", "ENDSEC", "0", "EOF"};
  std::ofstream out(path);
  for (const char* p : pairs) out << p << "\n";
  return path;
}

class DrawingQuery : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/orvik-query-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    cadsim::reset();
    cadsim::setStrictDrawingFiles(true);
    file = WriteDrawing(dir, "plan.dwg");
    other = cadsim::openDrawing(WriteDrawing(dir, "other.dwg"));
    active = cadsim::newDrawing();
    cadsim::addLayout(cadsim::databaseOf(active), "Sheet");
    acdbHostApplicationServices()->layoutManager()->setCurrentLayout(L"Layout2", cadsim::databaseOf(active));
    cadsim::clearFaults();
  }
  void TearDown() override {
    EXPECT_EQ(cadsim::openObjects(), Strings());
    EXPECT_EQ(cadsim::faultLog(), Strings());
    cadsim::reset();
    std::filesystem::remove_all(dir);
  }
  std::string Run(const std::string& params, const KeepGoing& keepGoing = nullptr,
                  const FindOpenDocument& find = FindOpenDocumentByPath) {
    return Query(acDocManagerPtr(), JsonStringValue(params, "source"), params, Decode, find, keepGoing);
  }
  std::string Files(const Strings& paths, const std::string& extra = ",\"includeBlocks\":true") {
    std::string params = "{\"source\":\"files\"" + extra + ",\"dwgPaths\":[";
    for (size_t i = 0; i < paths.size(); ++i) params += (i ? ",\"" : "\"") + paths[i] + "\"";
    return Run(params + "]}");
  }
  // The user's state the fallback must leave as it was.
  void ExpectUntouched() {
    EXPECT_EQ(acDocManagerPtr()->mdiActiveDocument(), active);
    EXPECT_EQ(acDocManagerPtr()->curDocument(), active);
    EXPECT_EQ(cadsim::currentLayoutName(cadsim::databaseOf(active)), "Layout2");
    EXPECT_EQ(cadsim::documents().size(), 2u);
    EXPECT_EQ(cadsim::lockCount(active) + cadsim::lockCount(other), 0);
  }
  std::string dir, file;
  AcApDocument* other = nullptr;
  AcApDocument* active = nullptr;
};

TEST_F(DrawingQuery, APipeOrDeviceIsRefusedNotWaitedOn) {
  const std::string pipe = dir + "/pipe.dwg";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const std::string answer = Files({pipe, "/dev/zero"});
  std::remove(pipe.c_str());
  const std::string refused = R"("error":{"code":"dwg_read_failed","message":"Could not read the DWG (CAD status 72)."})";
  EXPECT_NE(answer.find("pipe.dwg"), std::string::npos);
  EXPECT_NE(answer.find(refused), answer.rfind(refused)) << answer;  // both
}

// The fallback after context errors, an ordinary error preventing it and a host ignoring the
// read-only demand are driven end to end in tests/e2e/test_drawing_layouts.py.
TEST_F(DrawingQuery, ReadOnlyFallbackRefusedOrFailing) {
  cadsim::failCall("getEntity", 2);
  std::string answer = Files({file}, R"(,"includeBlocks":true,"allowDocumentFallback":false)");
  EXPECT_NE(answer.find(R"("blockReadMode":"sideDatabase"})"), std::string::npos) << answer;
  ExpectUntouched();

  // The drawing opened under a name the path does not find: reported, and still closed again.
  cadsim::clearFaults();
  cadsim::failCall("getEntity", 2);
  answer = Run("{\"source\":\"files\",\"includeBlocks\":true,\"dwgPaths\":[\"" + file + "\"]}", nullptr,
               [](AcApDocManager*, const std::string&) { return nullptr; });
  EXPECT_NE(answer.find(R"("error":{"code":"document_fallback_open_failed","message":"The drawing could not be )"
                        R"(opened for a read-only query (CAD status 0)."})"),
            std::string::npos) << answer;
  ExpectUntouched();

  // The user's drawing cannot be made active again: said so, beside the layouts read.
  cadsim::clearFaults();
  cadsim::failCall("getEntity", 2);
  cadsim::failCall("setCurDocument", 3);
  answer = Files({file});
  EXPECT_NE(answer.find(R"("value":"S-01"}]}]}],"blocksIncluded":true,"blockReadMode":"documentFallback",)"
                        R"("error":{"code":"document_fallback_restore_failed")"),
            std::string::npos) << answer;
  EXPECT_EQ(cadsim::documents().size(), 2u);
}

// The errors only a host failure or a race reaches, and the fallback's close failure, which a later
// restore failure must not hide.
TEST_F(DrawingQuery, ErrorsOfTheHostAndOfRaces) {
  AcApDocument* unsaved = cadsim::newDrawing();  // "Drawing<n>.dwg", never saved
  acDocManagerPtr()->setCurDocument(active, AcAp::kNone, true);
  cadsim::clearFaults();
  int finds = 0;
  const struct {
    const char* why;
    std::function<void()> arrange;
    std::string params;
    FindOpenDocument find;
    std::string expected;  // a part of the answer
  } rows[] = {
      {"the read lock refused", [] { cadsim::failCall("lockDocument", 3); }, R"({"source":"active"})",
       FindOpenDocumentByPath,
       R"("error":{"code":"document_lock_failed","message":"The drawing could not be locked for a read-only snapshot."})"},
      {"an open unsaved drawing named by its path", [] {},
       R"({"source":"files","dwgPaths":["/x/Plan.dwg"]})",
       [&](AcApDocManager*, const std::string&) { return unsaved; },
       R"({"dwgPath":"/x/Plan.dwg","displayName":"Plan.dwg","hasFilePath":false,)"},
      {"the user's layout cannot be told", [] {
         cadsim::failCall("getEntity", 2);
         cadsim::failCall("getActiveLayoutName", 3);
       }, "", FindOpenDocumentByPath,
       R"("error":{"code":"document_fallback_context_unavailable","message":"The original drawing and layout )"
       R"(could not be captured for a read-only fallback."})"},
      {"the file opened meanwhile", [] { cadsim::failCall("getEntity", 2); }, "",
       [&](AcApDocManager*, const std::string&) { return ++finds == 2 ? other : nullptr; },
       R"("value":"S-01"}]}]}],"blocksIncluded":true,"blockReadMode":"openDocument"})"},
      {"the temporary drawing will not close, nor the user's come back", [] {
         cadsim::failCall("getEntity", 2);
         cadsim::failCall("appContextCloseDocument", 5);
         cadsim::failCall("setCurDocument", 3, true);
       }, "", FindOpenDocumentByPath,
       R"("error":{"code":"document_fallback_close_failed","message":"The temporary read-only drawing could not )"
       R"(be closed (CAD status 5)."})"},
  };
  for (const auto& row : rows) {
    row.arrange();
    const std::string params =
        row.params.empty() ? "{\"source\":\"files\",\"includeBlocks\":true,\"dwgPaths\":[\"" + file + "\"]}" : row.params;
    const std::string answer = Run(params, nullptr, row.find);
    EXPECT_NE(answer.find(row.expected), std::string::npos) << row.why << "\n" << answer;
    cadsim::clearFaults();
    acDocManagerPtr()->setCurDocument(active, AcAp::kNone, true);
    for (AcApDocument* d : cadsim::documents())
      if (d != active && d != other && d != unsaved) cadsim::close(d);
  }
  cadsim::close(unsaved);
  cadsim::close(other);
  cadsim::close(active);
  EXPECT_NE(Run(R"({"source":"active"})").find(R"("error":{"code":"no_active_document","message":"There is no active drawing )"
                                     R"(in CAD."})"),
            std::string::npos);
}

// The fallback's temporary drawing is the plug-in's own doing: commands queued for the user's
// drawing still run afterwards, and the state the companion sees never changes.
TEST_F(DrawingQuery, TheFallbackLeavesTheUsersDrawingReady) {
  acDocManagerPtr()->addReactor(&documentReactor());
  setReadinessMonitoring(true);
  cadsim::runUntilIdle();
  confirmActiveDocument(nullptr);
  const uint64_t epoch = readinessTracker().epoch();
  ASSERT_TRUE(readinessTracker().isReady(active, cadsim::databaseOf(active)));
  cadsim::failCall("getEntity", 2);
  EXPECT_NE(Files({file}).find(R"("blockReadMode":"documentFallback"})"), std::string::npos);
  cadsim::runUntilIdle();
  EXPECT_EQ(readinessTracker().epoch(), epoch);
  EXPECT_TRUE(validateCadDocumentTask(epoch));
  acDocManagerPtr()->removeReactor(&documentReactor());
  resetDocumentReadiness();
}

}  // namespace
