// The block queries' escaping and naming; what they list and print is driven end to end in
// tests/e2e/test_block_queries.py.
#include <gtest/gtest.h>

#include <string>

#include "cadsim/control.h"
#include "layouts/block_queries.h"
#include "pipeline/layout_switch.h"

namespace {

TEST(JsonEscape, EscapesEveryControlCharacterAndKeepsTheRest) {
  const struct {
    std::string in;
    const char* out;
  } cases[] = {
      {"a\tb\nc\rd", "a\\tb\\nc\\rd"},                    // the three short escapes
      {"say \"hi\" \\ bye", "say \\\"hi\\\" \\\\ bye"},  // quote and backslash
      {std::string("nul\0end", 7), "nul\\u0000end"},     // other controls: \u00xx, lower-case hex
      {"\x01\x1b\x1f", "\\u0001\\u001b\\u001f"},
      {"\x7f 图框 é", "\x7f 图框 é"},  // DEL and UTF-8 pass through
  };
  for (const auto& c : cases) EXPECT_EQ(jsonEscape(c.in), c.out) << c.out;
}

// A modified dynamic block is named after its anonymous definition, and the space name of the
// summary comes whole however long it is (300 bytes here).
TEST(AllBlocks, AnonymousDefinitionNameAndALongSpaceName) {
  cadsim::reset();
  AcDbDatabase* db = cadsim::databaseOf(cadsim::newDrawing());
  cadsim::runUntilIdle();
  std::string sheet;
  for (int i = 0; i < 100; ++i) sheet += "图";
  cadsim::addLayout(db, sheet);
  const AcDbObjectId anonymous =
      cadsim::addAnonymousRepresentation(db, cadsim::addBlockDefinition(db, "DOOR", {{"W", ""}}, true));
  cadsim::addBlockReference(db, cadsim::layoutSpaceId(db, sheet), anonymous, AcGePoint3d(0, 0, 0), {{"W", "900"}});
  ASSERT_TRUE(SwitchSpaceSync(sheet));
  cadsim::clearOutput();

  const std::string answer = PerformQueryAllBlocks();
  EXPECT_EQ(answer.rfind("[{\"blockName\":\"*U", 0), 0u) << answer;
  EXPECT_NE(answer.find("\"attributes\":[{\"tag\":\"W\",\"value\":\"900\"}]}]"), std::string::npos) << answer;
  EXPECT_NE(cadsim::output().find("space=" + sheet + ", 1 unique"), std::string::npos) << cadsim::output();
  EXPECT_EQ(cadsim::openObjectCount(), 0u);
  for (AcApDocument* d : cadsim::documents()) cadsim::close(d);
  cadsim::reset();
}

// Refusals that leave the current layout and the view as they were, and the answers of a host that
// cannot give a name or a text.
TEST(BlockQueries, RefusalsAndUnreadableNamesAndTexts) {
  cadsim::reset();
  AcApDocument* doc = cadsim::newDrawing();
  AcDbDatabase* db = cadsim::databaseOf(doc);
  cadsim::runUntilIdle();
  cadsim::addBlockReference(db, cadsim::modelSpaceId(db), cadsim::addBlockDefinition(db, "TB", {{"NO", ""}}),
                            AcGePoint3d(10, 10, 0), {{"NO", "1"}});
  ASSERT_TRUE(SwitchSpaceSync("Model"));
  const cadsim::ViewState before = cadsim::currentView(doc);
  const struct {
    double xmin, ymin, xmax, ymax;
    const char* layout;
    const char* answer;
  } refused[] = {
      {0, 0, 100, 100, "Nowhere", "Error: Cannot switch to layout 'Nowhere'."},  // not another space's blocks
      {0, 0, 0, 0, "Layout1", "Error: The query window has no area."},          // no window keys at all
      {0, 5, 100, 5, "Model", "Error: The query window has no area."},
  };
  for (const auto& r : refused) {
    EXPECT_EQ(PerformQueryBlocksByWindow(r.xmin, r.ymin, r.xmax, r.ymax, r.layout), r.answer);
    EXPECT_EQ(cadsim::currentLayoutName(db), "Model");
    EXPECT_EQ(cadsim::currentView(doc).width, before.width);
    EXPECT_EQ(cadsim::currentView(doc).height, before.height);
  }
  const struct {
    const char* call;
    std::string answer;
  } unreadable[] = {
      {"getName:AcDbBlockTableRecord", "[{\"blockName\":\"未知块名\",\"attributes\":[{\"tag\":\"NO\",\"value\":\"1\"}]}]"},
      {"textString", "Error: Cannot read block attribute text."},
      {"tag", "Error: Cannot read block attribute text."},
  };
  for (const auto& u : unreadable) {
    cadsim::failCall(u.call, 3, true);
    EXPECT_EQ(PerformQueryBlocksByWindow(0, 0, 100, 100, "Model"), u.answer) << u.call;
    EXPECT_EQ(PerformQueryAllBlocks(), u.answer) << u.call;
    cadsim::clearFaults();
  }
  EXPECT_EQ(cadsim::openObjectCount(), 0u);
  cadsim::close(doc);
  cadsim::reset();
}

}  // namespace
