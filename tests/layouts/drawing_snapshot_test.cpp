// The snapshot's JSON text, byte for byte: the companion compares keys and escapes exactly.
#include <gtest/gtest.h>

#include "layouts/drawing_snapshot.h"

namespace {

using namespace OrvikDrawingLayouts;

TEST(Quote, EscapesQuoteBackslashAndEveryControlByteOnly) {
  struct Row {
    std::string in, out;
  };
  const Row rows[] = {
      {"", "\"\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},                // quote and backslash
      {"\t\n\r", "\"\\u0009\\u000a\\u000d\""},       // no short escapes
      {std::string("\0\x1f", 2), "\"\\u0000\\u001f\""},  // NUL and the last control byte, lower case hex
      {"a/b\x7f", "\"a/b\x7f\""},                   // slash and DEL unchanged
      {"图框 \xe5\x9c\x96", "\"图框 \xe5\x9c\x96\""},   // UTF-8 raw
  };
  for (const Row& row : rows) EXPECT_EQ(Quote(row.in), row.out) << row.in;
}

Snapshot TwoLayouts(bool includeBlocks) {
  Snapshot s;
  s.dwgPath = "C:\\d\\a.dwg";
  s.displayName = DisplayName(s.dwgPath);
  s.hasFilePath = true;
  s.includeBlocks = includeBlocks;
  s.blockReadMode = "sideDatabase";
  Layout first{"A1", "1F", -2, {}, "", "", false};
  first.blocks.push_back({"TB", "2A", 0x2A, {{"NO", "1"}, {"T", "x\ty"}}});
  Layout second{"A2", "20", 0, {}, "", "", false};
  SetBlockError(second, "layout_blocks_read_failed", StatusMessage("Cannot read a block name", Acad::eInvalidInput),
                Acad::eInvalidInput);
  s.layouts = {first, second};
  return s;
}

TEST(Serialize, WritesKeysOnlyWhereTheRulesSay) {
  struct Row {
    const char* what;
    Snapshot snapshot;
    std::string json;
  };
  Snapshot failed = TwoLayouts(true);
  SetError(failed, "drawing_layouts_cancelled", "The layout query was cancelled or disconnected.");
  Snapshot unsaved;
  unsaved.displayName = "Drawing1.dwg";
  SetError(unsaved, "unsaved_document", "Save.");
  Snapshot emptyBlocks;
  emptyBlocks.includeBlocks = true;
  emptyBlocks.blockReadMode = "openDocument";
  emptyBlocks.layouts.push_back({"L", "A", 1, {}, "", "", false});
  const Row rows[] = {
      {"blocks asked: blocks or blockError per layout, then the read mode", TwoLayouts(true),
       R"({"dwgPath":"C:\\d\\a.dwg","displayName":"a.dwg","hasFilePath":true,"layouts":[)"
       R"({"name":"A1","handle":"1F","tabOrder":-2,"blocks":[{"blockName":"TB","blockHandle":"2A",)"
       R"("attributes":[{"tag":"NO","value":"1"},{"tag":"T","value":"x\u0009y"}]}]},)"
       R"({"name":"A2","handle":"20","tabOrder":0,"blockError":{"code":"layout_blocks_read_failed",)"
       R"("message":"Cannot read a block name (CAD status 3)."}}],"blocksIncluded":true,)"
       R"("blockReadMode":"sideDatabase"})"},
      {"no blocks asked: no block keys even beside a block error", TwoLayouts(false),
       R"({"dwgPath":"C:\\d\\a.dwg","displayName":"a.dwg","hasFilePath":true,"layouts":[)"
       R"({"name":"A1","handle":"1F","tabOrder":-2},{"name":"A2","handle":"20","tabOrder":0}]})"},
      {"an error stands beside the layouts read", failed,
       Serialize(TwoLayouts(true)).substr(0, Serialize(TwoLayouts(true)).size() - 1) +
           R"(,"error":{"code":"drawing_layouts_cancelled","message":"The layout query was cancelled or disconnected."}})"},
      {"unsaved: empty path, empty layouts array", unsaved,
       R"({"dwgPath":"","displayName":"Drawing1.dwg","hasFilePath":false,"layouts":[],)"
       R"("error":{"code":"unsaved_document","message":"Save."}})"},
      {"blocks read, none attributed: an empty array", emptyBlocks,
       R"({"dwgPath":"","displayName":"","hasFilePath":false,"layouts":[{"name":"L","handle":"A","tabOrder":1,)"
       R"("blocks":[]}],"blocksIncluded":true,"blockReadMode":"openDocument"})"},
  };
  for (const Row& row : rows) EXPECT_EQ(Serialize(row.snapshot), row.json) << row.what;
}

// The context statuses themselves show in the layout readers' failure table (layout_query_test.cpp).
TEST(SnapshotHelpers, ContextErrorsAndDisplayNames) {
  for (int status : {0, 1, 76, 331}) EXPECT_FALSE(ContextError(static_cast<Acad::ErrorStatus>(status)));
  // The named statuses the host answers for a drawing not in reach (the simulated host's old
  // numbers for eNoDocument never reached the rule).
  for (Acad::ErrorStatus es : {Acad::eNotApplicable, Acad::eWrongDatabase, Acad::eNoDocument})
    EXPECT_TRUE(ContextError(es)) << es;
  EXPECT_EQ(DisplayName("C:\\a\\b/c.dwg"), "c.dwg");  // either separator, the last one wins
  EXPECT_EQ(DisplayName("/a/"), "");
}

}  // namespace
