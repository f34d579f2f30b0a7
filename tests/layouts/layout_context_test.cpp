// The layout context query's error objects and block order on the simulated host; resolving by
// handle and by name is driven end to end in tests/e2e/test_block_queries.py.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "cadsim/control.h"
#include "layouts/layout_context.h"
#include "layouts/layout_readers.h"

namespace {

std::string ErrorCode(const std::string& answer) {
  const std::string key = "\"errorCode\":\"";
  const size_t at = answer.find(key);
  if (at == std::string::npos || answer.rfind("{\"success\":false,", 0) != 0) return "(not an error: " + answer + ")";
  return answer.substr(at + key.size(), answer.find('"', at + key.size()) - at - key.size());
}

class LayoutContext : public ::testing::Test {
 protected:
  void SetUp() override {
    cadsim::reset();
    doc = cadsim::newDrawing();
    db = cadsim::databaseOf(doc);
    cadsim::runUntilIdle();
  }
  void TearDown() override {
    EXPECT_EQ(cadsim::openObjectCount(), 0u) << "every object opened is closed";
    for (AcApDocument* d : cadsim::documents()) cadsim::close(d);
    cadsim::reset();
  }
  AcApDocument* doc = nullptr;
  AcDbDatabase* db = nullptr;
};

// The error objects only the host's failures lead to; the others are driven end to end.
TEST_F(LayoutContext, ErrorObjectsOfHostFailures) {
  cadsim::addBlockReference(db, cadsim::layoutSpaceId(db, "Layout1"), cadsim::addBlockDefinition(db, "TB", {{"NO", ""}}),
                            AcGePoint3d(0, 0, 0), {{"NO", "1"}});
  const std::string blockHandle = cadsim::handleText(cadsim::addBlockDefinition(db, "PLAIN"));
  const struct {
    const char* why;
    std::function<void()> arrange;
    const char* name;
    std::string handle;
    const char* code;
    const char* message;  // checked when given
  } cases[] = {
      {"no layout manager", [] { cadsim::setLayoutManagerAvailable(false); }, "Layout1", "", "layout_not_found",
       nullptr},
      {"host refuses every switch",
       [] {
         cadsim::failCall("setCurrentLayout", 3, true);
         cadsim::failCall("acedSetVar:CTAB", RTREJ, true);
       },
       "Layout1", "", "layout_activation_failed", nullptr},
      {"a handle naming no layout", [] {}, "Layout1", blockHandle, "layout_object_invalid",
       "The resolved handle is not a readable layout object."},
      {"a layout whose name cannot be read", [] { cadsim::failCall("getName:AcDbLayout", 3); }, "Layout1", "",
       "layout_object_invalid", "The resolved layout has no usable name or BTR."},
      {"an attribute's text unreadable", [] { cadsim::failCall("textString", 3); }, "Layout1", "",
       "layout_attributes_read_failed", "The layout attribute text could not be read."},
      {"layout record cannot be walked", [] { cadsim::failCall("newIterator", 3, true); }, "Layout1", "",
       "layout_btr_open_failed", nullptr},
      {"no drawing", [] { cadsim::close(cadsim::documents().front()); }, "Layout1", "", "active_document_missing",
       nullptr},
  };
  for (const auto& c : cases) {
    c.arrange();
    const std::string answer = PerformQueryLayoutContext(c.name, c.handle, true);
    EXPECT_EQ(ErrorCode(answer), c.code) << c.why;
    if (c.message) {
      EXPECT_NE(answer.find(std::string("\"message\":\"") + c.message + "\"}"), std::string::npos) << answer;
    }
    cadsim::clearFaults();
    cadsim::setLayoutManagerAvailable(true);
  }
}

TEST_F(LayoutContext, ADynamicBlockIsNamedAfterItsDynamicDefinition) {
  const AcDbObjectId anonymous =
      cadsim::addAnonymousRepresentation(db, cadsim::addBlockDefinition(db, "DOOR", {{"W", ""}}, true));
  cadsim::addBlockReference(db, cadsim::layoutSpaceId(db, "Layout1"), anonymous, AcGePoint3d(0, 0, 0), {{"W", "9"}});
  const std::string answer = PerformQueryLayoutContext("Layout1", "", true);
  EXPECT_NE(answer.find("\"blocks\":[{\"blockName\":\"DOOR\""), std::string::npos) << answer;
}

// Handles in the file, so the entity order (100 first) differs from the numeric order (1F first),
// and the text order ("100" < "1F") differs from both. The layouts reader orders them alike.
TEST_F(LayoutContext, BlocksComeInNumericHandleOrder) {
  char pattern[] = "/tmp/orvik-context-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string path = std::string(pattern) + "/handles.dxf";
  auto insert = [](const char* handle, const char* attribHandle, const char* endHandle, const char* value) {
    return std::string("0\nINSERT\n5\n") + handle + "\n67\n1\n8\n0\n66\n1\n2\nTB\n10\n0\n20\n0\n30\n0\n" +
           "0\nATTRIB\n5\n" + attribHandle + "\n8\n0\n10\n0\n20\n0\n30\n0\n40\n2.5\n1\n" + value +
           "\n2\nTAG\n70\n0\n0\nSEQEND\n5\n" + endHandle + "\n8\n0\n";
  };
  std::ofstream(path) << "0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n8\n0\n2\nTB\n70\n2\n10\n0\n20\n0\n30\n0\n3\nTB\n"
                         "0\nATTDEF\n8\n0\n10\n0\n20\n0\n30\n0\n40\n2.5\n1\n\n3\nP\n2\nTAG\n70\n0\n0\nENDBLK\n8\n0\n"
                         "0\nENDSEC\n0\nSECTION\n2\nENTITIES\n"
                      << insert("100", "101", "102", "late") << insert("1F", "20", "21", "early")
                      << "0\nENDSEC\n0\nEOF\n";
  AcApDocument* file = cadsim::openDrawing(path);
  ASSERT_NE(file, nullptr);
  cadsim::runUntilIdle();

  const std::string answer = PerformQueryLayoutContext("Layout1", "", true);
  const size_t early = answer.find("\"blockHandle\":\"1F\"");
  const size_t late = answer.find("\"blockHandle\":\"100\"");
  ASSERT_NE(early, std::string::npos) << answer;
  ASSERT_NE(late, std::string::npos) << answer;
  EXPECT_LT(early, late);
  OrvikDrawingLayouts::Snapshot snapshot;
  snapshot.includeBlocks = true;
  OrvikDrawingLayouts::ReadLayouts(cadsim::databaseOf(file), snapshot, nullptr);
  ASSERT_EQ(snapshot.layouts.size(), 1u) << snapshot.errorCode;
  ASSERT_EQ(snapshot.layouts[0].blocks.size(), 2u) << snapshot.layouts[0].blockErrorMessage;
  EXPECT_EQ(snapshot.layouts[0].blocks[0].blockHandle, "1F");
  EXPECT_EQ(snapshot.layouts[0].blocks[1].blockHandle, "100");
  for (AcApDocument* d : cadsim::documents()) cadsim::close(d);
  std::remove(path.c_str());
  rmdir(pattern);
}

}  // namespace
