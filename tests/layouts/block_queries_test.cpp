// The window and all-blocks queries on the simulated host: what they list, what they print in
// each language, and the escaping of their JSON.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "cadsim/control.h"
#include "layouts/block_queries.h"
#include "pipeline/layout_switch.h"
#include "plugin/message_language.h"

namespace fs = std::filesystem;

namespace {

TEST(JsonEscape, EscapesEveryControlCharacterAndKeepsTheRest) {
  const struct {
    std::string in;
    const char* out;
  } cases[] = {
      {"tab\there", "tab\\there"},                  // the three short escapes
      {"a\nb\rc", "a\\nb\\rc"},
      {"say \"hi\" \\ bye", "say \\\"hi\\\" \\\\ bye"},  // quote and backslash
      {std::string("nul\0end", 7), "nul\\u0000end"},  // other controls: \u00xx, lower-case hex
      {"\x01\x1b\x1f", "\\u0001\\u001b\\u001f"},
      {"\x7f 图框 é", "\x7f 图框 é"},                  // DEL and UTF-8 pass through
  };
  for (const auto& c : cases) EXPECT_EQ(jsonEscape(c.in), c.out) << c.out;
}

std::string Block(const std::string& name, const std::string& attributes) {
  return "{\"blockName\":\"" + name + "\",\"attributes\":[" + attributes + "]}";
}
std::string Attribute(const std::string& tag, const std::string& value) {
  return "{\"tag\":\"" + tag + "\",\"value\":\"" + value + "\"}";
}

// A fresh drawing, and HOME in a fresh folder so the summaries' language is the test's choice.
class BlockQueries : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* home = std::getenv("HOME")) savedHome = home;
    char pattern[] = "/tmp/orvik-blocks-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    home = pattern;
    setenv("HOME", home.c_str(), 1);
    fs::create_directories(fs::path(UiPreferencesPath()).parent_path());
    cadsim::reset();
    db = cadsim::databaseOf(cadsim::newDrawing());
    cadsim::runUntilIdle();
    title = cadsim::addBlockDefinition(db, "TITLE", {{"NO", ""}, {"NAME", ""}});
  }
  void TearDown() override {
    EXPECT_EQ(cadsim::openObjectCount(), 0u) << "every object opened is closed";
    EXPECT_TRUE(cadsim::liveSelectionSets() == 0) << "every selection set is freed";
    for (AcApDocument* d : cadsim::documents()) cadsim::close(d);
    cadsim::reset();
    setenv("HOME", savedHome.c_str(), 1);
    fs::remove_all(home);
  }
  void Language(const char* locale) {
    std::ofstream(UiPreferencesPath(), std::ios::trunc) << "{\"schemaVersion\":1,\"locale\":\"" << locale << "\"}";
  }

  std::string home, savedHome;
  AcDbDatabase* db = nullptr;
  AcDbObjectId title;
};

TEST_F(BlockQueries, WindowListsAttributedReferencesInsideAndCountsAllSelected) {
  const AcDbObjectId model = cadsim::modelSpaceId(db);
  cadsim::addBlockReference(db, model, title, AcGePoint3d(10, 10, 0), {{"NO", "A-1"}, {"NAME", "Plan\t1"}});
  cadsim::addBlockReference(db, model, title, AcGePoint3d(500, 500, 0), {{"NO", "outside"}, {"NAME", ""}});
  cadsim::addBlockReference(db, model, cadsim::addBlockDefinition(db, "PLAIN"), AcGePoint3d(20, 20, 0));
  cadsim::addLine(db, model, AcGePoint3d(1, 1, 0), AcGePoint3d(2, 2, 0));

  cadsim::clearOutput();
  EXPECT_EQ(PerformQueryBlocksByWindow(0, 0, 100, 100, "Model"),
            "[" + Block("TITLE", Attribute("NO", "A-1") + "," + Attribute("NAME", "Plan\\t1")) + "]");
  // The reference without attributes is counted though not listed.
  EXPECT_EQ(cadsim::output(),
            "\n[Orvik] Block query completed: window (0.0,0.0 ~ 100.0,100.0), layout=Model, 2 block(s) found.\n");

  cadsim::clearOutput();
  EXPECT_EQ(PerformQueryBlocksByWindow(200, 200, 300, 300, "Model"), "[]");
  EXPECT_EQ(cadsim::output(), "") << "an empty window prints nothing";
}

TEST_F(BlockQueries, WindowSummaryInEachLanguageWithAUtf8LayoutName) {
  const std::string sheet = "图纸一";
  cadsim::addLayout(db, sheet);
  cadsim::addBlockReference(db, cadsim::layoutSpaceId(db, sheet), title, AcGePoint3d(30, 40, 0), {{"NO", "P-1"}});
  const struct {
    const char* locale;
    const char* summary;
  } cases[] = {
      {"zh-CN", "\n[Orvik] 块查询完成：窗口(0.0,0.0 ~ 420.0,297.0)，布局=图纸一，找到 1 个块。\n"},
      {"zh-TW", "\n[Orvik] 圖塊查詢完成：視窗(0.0,0.0 ~ 420.0,297.0)，配置=图纸一，找到 1 個圖塊。\n"},
      {"en-US",
       "\n[Orvik] Block query completed: window (0.0,0.0 ~ 420.0,297.0), layout=图纸一, 1 block(s) found.\n"},
  };
  for (const auto& c : cases) {
    Language(c.locale);
    cadsim::clearOutput();
    EXPECT_EQ(PerformQueryBlocksByWindow(0, 0, 420, 297, sheet), "[" + Block("TITLE", Attribute("NO", "P-1")) + "]");
    EXPECT_EQ(cadsim::output(), c.summary) << c.locale;
    EXPECT_EQ(cadsim::currentLayoutName(db), sheet) << "the query makes the layout current";
  }
}

TEST_F(BlockQueries, AllBlocksFirstReferencePerNameAnonymousNamesAndTheSpace) {
  const AcDbObjectId model = cadsim::modelSpaceId(db);
  const AcDbObjectId dynamic = cadsim::addBlockDefinition(db, "DOOR", {{"W", ""}}, true);
  const AcDbObjectId anonymous = cadsim::addAnonymousRepresentation(db, dynamic);
  cadsim::addBlockReference(db, model, cadsim::addBlockDefinition(db, "PLAIN"), AcGePoint3d(0, 0, 0));
  cadsim::addBlockReference(db, model, title, AcGePoint3d(0, 0, 0), {{"NO", "first"}, {"NAME", "\x02"}});
  cadsim::addBlockReference(db, model, anonymous, AcGePoint3d(5, 0, 0), {{"W", "900"}});
  cadsim::addBlockReference(db, model, title, AcGePoint3d(9, 0, 0), {{"NO", "second"}, {"NAME", ""}});

  const std::string answer = PerformQueryAllBlocks();
  const std::string titleBlock = Block("TITLE", Attribute("NO", "first") + "," + Attribute("NAME", "\\u0002"));
  ASSERT_EQ(answer.rfind("[" + titleBlock + ",{\"blockName\":\"*U", 0), 0u) << answer;
  EXPECT_NE(answer.find("\"attributes\":[" + Attribute("W", "900") + "]}]"), std::string::npos) << answer;
  EXPECT_EQ(answer.find("second"), std::string::npos) << "only the first TITLE reference reports values";
  EXPECT_EQ(cadsim::output(),
            "\n[Orvik] All-block query completed: space=Model, 2 unique attribute block definition(s) found.\n");

  // The space name comes whole, however long, and a paper layout's own space is the one read.
  std::string longName;
  for (int i = 0; i < 100; ++i) longName += "图";
  cadsim::addLayout(db, longName);
  cadsim::addBlockReference(db, cadsim::layoutSpaceId(db, longName), title, AcGePoint3d(0, 0, 0), {{"NO", "P"}});
  ASSERT_TRUE(SwitchSpaceSync(longName));
  Language("zh-CN");
  cadsim::clearOutput();
  EXPECT_EQ(PerformQueryAllBlocks(), "[" + Block("TITLE", Attribute("NO", "P")) + "]");
  EXPECT_NE(cadsim::output().find("空间=" + longName + "，找到 1 个"), std::string::npos) << cadsim::output();
}

TEST_F(BlockQueries, NoActiveDrawing) {
  for (AcApDocument* d : cadsim::documents()) cadsim::close(d);
  EXPECT_EQ(PerformQueryAllBlocks(), "Error: No active document.");
  EXPECT_EQ(PerformQueryBlocksByWindow(0, 0, 1, 1, "Model"), "Error: No active document.");
}

}  // namespace
