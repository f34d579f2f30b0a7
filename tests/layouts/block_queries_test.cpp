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

}  // namespace
