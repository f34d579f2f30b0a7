// Reads drawings written by ezdxf (tests/data/dxf/make_drawings.py) in several DXF versions and
// checks the model against what the script wrote.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cadsim/dxf/dxf_reader.h"
#include "cadsim/dxf/dxf_text.h"

namespace cadsim::dxf {
namespace {

// The drawings are made once per script version and shared by every test process.
std::string DrawingsDir() {
  static const std::string dir = [] {
    const std::string script = std::string(ORVIK_SOURCE_DIR) + "/tests/data/dxf/make_drawings.py";
    struct stat info {};
    if (::stat(script.c_str(), &info) != 0) return std::string();
    const std::string finalDir = std::string(ORVIK_BINARY_DIR) + "/dxf-drawings-" +
                                 std::to_string(static_cast<long long>(info.st_mtime));
    if (::access((finalDir + "/drawing_R2018.expect").c_str(), R_OK) == 0) return finalDir;
    std::string scratch = std::string(ORVIK_BINARY_DIR) + "/dxf-drawings-XXXXXX";
    if (::mkdtemp(scratch.data()) == nullptr) return std::string();
    const std::string command = "/usr/bin/python3 '" + script + "' '" + scratch + "'";
    if (std::system(command.c_str()) != 0) return std::string();
    // Another test process may have won the race; either copy is good.
    if (std::rename(scratch.c_str(), finalDir.c_str()) != 0) {
      std::system(("rm -rf '" + scratch + "'").c_str());
    }
    return finalDir;
  }();
  return dir;
}

std::vector<std::vector<std::string>> Expectations(const std::string& version) {
  std::ifstream in(DrawingsDir() + "/drawing_" + version + ".expect");
  std::vector<std::vector<std::string>> records;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    for (std::string field; std::getline(stream, field, '\t');) fields.push_back(field);
    if (line.back() == '\t') fields.emplace_back();
    records.push_back(fields);
  }
  return records;
}

// Every entity of the drawing: the ENTITIES section and every block definition.
std::vector<const Entity*> AllEntities(const Drawing& d) {
  std::vector<const Entity*> all;
  for (const Entity& e : d.entities) all.push_back(&e);
  for (const Block& b : d.blocks) {
    for (const Entity& e : b.entities) all.push_back(&e);
  }
  return all;
}

const Entity* EntityByHandle(const Drawing& d, const std::string& handle) {
  for (const Entity* e : AllEntities(d)) {
    if (e->handle.text == handle) return e;
  }
  return nullptr;
}

template <typename T>
std::vector<const Entity*> EntitiesOf(const std::vector<Entity>& entities, const std::string& layer = "") {
  std::vector<const Entity*> found;
  for (const Entity& e : entities) {
    if (std::holds_alternative<T>(e.data) && (layer.empty() || e.layer == layer)) found.push_back(&e);
  }
  return found;
}

const Layer* LayerNamed(const Drawing& d, const std::string& name) {
  for (const Layer& l : d.layers) {
    if (l.name == name) return &l;
  }
  return nullptr;
}

const Block* BlockNamed(const Drawing& d, const std::string& name) {
  for (const Block& b : d.blocks) {
    if (b.name == name) return &b;
  }
  return nullptr;
}

class DrawingsTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    ASSERT_FALSE(DrawingsDir().empty()) << "make_drawings.py failed";
    result_ = ReadFile(DrawingsDir() + "/drawing_" + GetParam() + ".dxf");
    ASSERT_EQ(result_.status, Status::kOk) << result_.message;
    expect_ = Expectations(GetParam());
    ASSERT_FALSE(expect_.empty());
  }
  bool IsR12() const { return GetParam() == "R12"; }
  const Drawing& drawing() const { return result_.drawing; }

  Result result_;
  std::vector<std::vector<std::string>> expect_;
};

TEST_P(DrawingsTest, HeaderLayersAndTextStyles) {
  const std::map<std::string, std::string> versions = {
      {"R12", "AC1009"}, {"R2000", "AC1015"}, {"R2010", "AC1024"}, {"R2018", "AC1032"}};
  EXPECT_EQ(drawing().header.acadVersion, versions.at(GetParam()));
  EXPECT_EQ(drawing().header.insUnits, IsR12() ? 0 : 4);  // R12 has no $INSUNITS
  EXPECT_FALSE(drawing().header.variables.empty());

  const Layer* off = LayerNamed(drawing(), "OFFLAYER");
  const Layer* frozen = LayerNamed(drawing(), "FROZEN");
  const Layer* locked = LayerNamed(drawing(), "LOCKED");
  ASSERT_TRUE(off && frozen && locked);
  EXPECT_FALSE(off->on);
  EXPECT_EQ(off->color, -3);
  EXPECT_TRUE(frozen->on && frozen->frozen && !frozen->locked);
  EXPECT_TRUE(locked->on && locked->locked && !locked->frozen);
  if (!IsR12()) {
    ASSERT_NE(LayerNamed(drawing(), "NOPLOT"), nullptr);
    EXPECT_FALSE(LayerNamed(drawing(), "NOPLOT")->plot);
    EXPECT_TRUE(off->plot);
  }

  bool sawCjk = false;
  bool sawTtf = false;
  for (const TextStyle& s : drawing().textStyles) {
    if (s.name == "CJK") {
      sawCjk = true;
      EXPECT_EQ(s.fontFile, "simplex.shx");
      EXPECT_EQ(s.bigFontFile, "gbcbig.shx");
      EXPECT_DOUBLE_EQ(s.fixedHeight, 2.5);
      EXPECT_DOUBLE_EQ(s.widthFactor, 0.8);
    } else if (s.name == "TTF") {
      sawTtf = true;
      EXPECT_EQ(s.fontFile, "arial.ttf");
      EXPECT_EQ(s.bigFontFile, "");
    }
  }
  EXPECT_TRUE(sawCjk && sawTtf);
}

TEST_P(DrawingsTest, ModelSpaceGeometryAndTexts) {
  const std::vector<Entity>& model = drawing().entities;
  const auto frozenLines = EntitiesOf<Line>(model, "FROZEN");
  ASSERT_EQ(frozenLines.size(), 1u);
  const Line& line = std::get<Line>(frozenLines[0]->data);
  EXPECT_DOUBLE_EQ(line.end.x, 10);
  EXPECT_FALSE(frozenLines[0]->paperSpace);
  const auto offLines = EntitiesOf<Line>(model, "OFFLAYER");
  ASSERT_EQ(offLines.size(), 1u);
  EXPECT_EQ(offLines[0]->color, 1);
  EXPECT_DOUBLE_EQ(std::get<Line>(offLines[0]->data).end.y, 7.5);

  // R12 has only old-style polylines with VERTEX records; later versions write LWPOLYLINE.
  const auto polylines = EntitiesOf<Polyline>(model, "LOCKED");
  ASSERT_EQ(polylines.size(), 1u);
  const Polyline& pl = std::get<Polyline>(polylines[0]->data);
  EXPECT_EQ(polylines[0]->type, IsR12() ? "POLYLINE" : "LWPOLYLINE");
  ASSERT_EQ(pl.vertices.size(), 3u);
  EXPECT_TRUE(pl.closed);
  EXPECT_DOUBLE_EQ(pl.vertices[2].point.x, 4);
  EXPECT_DOUBLE_EQ(pl.vertices[2].point.y, 3);
  if (!IsR12()) {
    EXPECT_DOUBLE_EQ(pl.elevation, 2);
    EXPECT_DOUBLE_EQ(pl.vertices[0].bulge, 0.5);
  }

  // R12 spells the Chinese characters as \U+ escapes in a cp1252 file.
  const auto texts = EntitiesOf<dxf::Text>(model);
  ASSERT_EQ(texts.size(), 1u);
  const dxf::Text& text = std::get<dxf::Text>(texts[0]->data);
  EXPECT_EQ(text.text, "Caf\u00e9 \u00b1 \u4e2d\u6587");
  EXPECT_EQ(text.style, "CJK");
  EXPECT_DOUBLE_EQ(text.height, 2);

  if (!IsR12()) {
    // Longer than one 250-character chunk, so it is written as 3 groups and a final 1.
    const auto mtexts = EntitiesOf<MText>(model);
    ASSERT_EQ(mtexts.size(), 1u);
    const std::string expected = "first line\\Psecond line " + std::string(300, 'x');
    EXPECT_EQ(std::get<MText>(mtexts[0]->data).text, expected);
    EXPECT_EQ(MTextPlainText(std::get<MText>(mtexts[0]->data).text),
              "first line\nsecond line " + std::string(300, 'x'));
  }
}

TEST_P(DrawingsTest, BlockDefinitionsWithAttributeDefinitions) {
  const Block* title = BlockNamed(drawing(), "TITLE");
  ASSERT_NE(title, nullptr);
  EXPECT_DOUBLE_EQ(title->basePoint.x, 1);
  EXPECT_DOUBLE_EQ(title->basePoint.y, 2);
  std::map<std::string, Attribute> defs;
  for (const Entity* e : EntitiesOf<Attribute>(title->entities)) {
    EXPECT_EQ(e->type, "ATTDEF");
    defs[std::get<Attribute>(e->data).tag] = std::get<Attribute>(e->data);
  }
  ASSERT_EQ(defs.size(), 3u);
  EXPECT_EQ(defs["DWGNO"].prompt, "Drawing number");
  EXPECT_DOUBLE_EQ(defs["DWGNO"].height, 2.5);
  EXPECT_DOUBLE_EQ(defs["DWGNO"].position.y, 5);
  EXPECT_EQ(defs["TITLE"].text, "untitled");
  EXPECT_EQ(defs["SECRET"].flags & 1, 1);
  EXPECT_EQ(EntitiesOf<Line>(title->entities).size(), 1u);
  ASSERT_NE(BlockNamed(drawing(), "PLAIN"), nullptr);
}

TEST_P(DrawingsTest, AttributedBlockReferencesOnEverySpace) {
  int checked = 0;
  for (const auto& rec : expect_) {
    if (rec[0] != "insert") continue;
    SCOPED_TRACE("insert " + rec[1]);
    const Entity* e = EntityByHandle(drawing(), rec[1]);
    ASSERT_NE(e, nullptr);
    const Insert* insert = std::get_if<Insert>(&e->data);
    ASSERT_NE(insert, nullptr);
    EXPECT_EQ(insert->blockName, rec[2]);
    if (IsR12()) {
      EXPECT_EQ(e->paperSpace, rec[3] == "*");
    } else {
      EXPECT_EQ(e->owner.text, rec[3]);
    }
    std::string values;
    for (const Attribute& a : insert->attributes) {
      if (!values.empty()) values += ";";
      std::string value = a.multiline ? MTextPlainText(a.mtext) : a.text;
      for (size_t at = value.find('\n'); at != std::string::npos; at = value.find('\n', at)) {
        value.replace(at, 1, "\\n");
      }
      values += a.tag + "=" + value;
      EXPECT_FALSE(a.handle.IsNull());
    }
    EXPECT_EQ(values, rec[4]);
    EXPECT_EQ(insert->attributesFollow, !insert->attributes.empty());
    ++checked;
  }
  EXPECT_GE(checked, 4);

  const Entity* scaled = EntityByHandle(drawing(), "45");  // the model-space title block
  ASSERT_NE(scaled, nullptr);
  const Insert& insert = std::get<Insert>(scaled->data);
  EXPECT_DOUBLE_EQ(insert.position.x, 50);
  EXPECT_DOUBLE_EQ(insert.scale.x, 2);
  EXPECT_DOUBLE_EQ(insert.scale.y, 3);
  EXPECT_DOUBLE_EQ(insert.rotation, 90);
}

// Only R2018 writes multi-line attributes; before that the same attribute is a single line.
TEST_P(DrawingsTest, MultiLineAttributeKeepsItsContent) {
  int multiline = 0;
  for (const Entity* e : AllEntities(drawing())) {
    const Insert* insert = std::get_if<Insert>(&e->data);
    if (insert == nullptr) continue;
    for (const Attribute& a : insert->attributes) {
      if (!a.multiline) continue;
      ++multiline;
      EXPECT_EQ(a.tag, "DWGNO");
      EXPECT_EQ(a.mtext, "line one\\Pline two");
      EXPECT_EQ(a.text, "line one");
    }
  }
  EXPECT_EQ(multiline, GetParam() == "R2018" ? 1 : 0);
}

TEST_P(DrawingsTest, LayoutsWithTabOrderAndPlotSettings) {
  if (IsR12()) {
    EXPECT_TRUE(drawing().layouts.empty());
    return;
  }
  int checked = 0;
  for (const auto& rec : expect_) {
    if (rec[0] != "layout") continue;
    SCOPED_TRACE("layout " + rec[1]);
    const Layout* layout = nullptr;
    for (const Layout& l : drawing().layouts) {
      if (l.name == rec[1]) layout = &l;
    }
    ASSERT_NE(layout, nullptr);
    EXPECT_EQ(layout->handle.text, rec[2]);
    EXPECT_EQ(layout->tabOrder, std::stoi(rec[3]));
    EXPECT_EQ(layout->blockRecord.text, rec[4]);
    EXPECT_FALSE(layout->modelType);
    if (rec[1] != "Layout1") {
      EXPECT_EQ(layout->plot.configName, "DWG To PDF.pc3");
      EXPECT_EQ(layout->plot.mediaName, "ISO_A3_(420.00_x_297.00_MM)");
      EXPECT_DOUBLE_EQ(layout->plot.paperWidth, 420);
      EXPECT_DOUBLE_EQ(layout->plot.paperHeight, 297);
      EXPECT_DOUBLE_EQ(layout->plot.marginLeft, 8);
      EXPECT_DOUBLE_EQ(layout->plot.marginBottom, 7);
      EXPECT_DOUBLE_EQ(layout->plot.marginRight, 6);
      EXPECT_DOUBLE_EQ(layout->plot.marginTop, 5);
      EXPECT_DOUBLE_EQ(layout->plot.scaleNumerator, 1);
      EXPECT_DOUBLE_EQ(layout->plot.scaleDenominator, 50);
      EXPECT_EQ(layout->plot.paperUnits, 1);
    }
    // The space's block record points back at its layout.
    bool linked = false;
    for (const BlockRecord& br : drawing().blockRecords) {
      if (br.handle.text == rec[4]) linked = br.layout.text == rec[2];
    }
    EXPECT_TRUE(linked);
    ++checked;
  }
  EXPECT_EQ(checked, 4);

  int models = 0;
  for (const Layout& l : drawing().layouts) models += l.modelType ? 1 : 0;
  EXPECT_EQ(models, 1);

  // The layout dictionary is reachable from the root dictionary.
  const Dictionary* root = nullptr;
  for (const Dictionary& dict : drawing().dictionaries) {
    if (dict.handle.value == drawing().rootDictionary.value) root = &dict;
  }
  ASSERT_NE(root, nullptr);
  bool hasLayoutDictionary = false;
  for (const auto& entry : root->entries) hasLayoutDictionary |= entry.name == "ACAD_LAYOUT";
  EXPECT_TRUE(hasLayoutDictionary);
}

TEST_P(DrawingsTest, ViewportsWithFrozenLayers) {
  int checked = 0;
  for (const auto& rec : expect_) {
    if (rec[0] != "viewport") continue;
    SCOPED_TRACE("viewport " + rec[1]);
    const Entity* e = EntityByHandle(drawing(), rec[1]);
    ASSERT_NE(e, nullptr);
    const Viewport* vp = std::get_if<Viewport>(&e->data);
    ASSERT_NE(vp, nullptr);
    EXPECT_DOUBLE_EQ(vp->width, 200);
    EXPECT_DOUBLE_EQ(vp->height, 150);
    EXPECT_DOUBLE_EQ(vp->center.y, 100);
    EXPECT_DOUBLE_EQ(vp->viewCenter.x, 10);
    EXPECT_DOUBLE_EQ(vp->viewCenter.y, 20);
    EXPECT_DOUBLE_EQ(vp->viewHeight, 75);
    std::vector<std::string> frozen;
    for (const Handle& h : vp->frozenLayers) frozen.push_back(h.text);
    EXPECT_EQ(frozen, std::vector<std::string>(rec.begin() + 3, rec.end()));
    ++checked;
  }
  EXPECT_EQ(checked, IsR12() ? 1 : 3);
}

TEST_P(DrawingsTest, AnonymousBlockLinksToItsDynamicDefinition) {
  int checked = 0;
  for (const auto& rec : expect_) {
    if (rec[0] != "dynamic") continue;
    for (const BlockRecord& br : drawing().blockRecords) {
      if (br.handle.text == rec[1]) {
        EXPECT_EQ(br.dynamicBlockRecord.text, rec[2]);
        ++checked;
      } else {
        EXPECT_TRUE(br.dynamicBlockRecord.IsNull()) << br.name;
      }
    }
  }
  EXPECT_EQ(checked, IsR12() ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Versions, DrawingsTest, ::testing::Values("R12", "R2000", "R2010", "R2018"),
                         [](const auto& info) { return info.param; });

// A real file cut short anywhere must give a clear failure, never a crash or a success that
// silently lost the end of the drawing.
TEST(DamagedDrawingsTest, EveryTruncationIsReportedAsMalformed) {
  ASSERT_FALSE(DrawingsDir().empty());
  for (const std::string version : {"R12", "R2018"}) {
    std::ifstream in(DrawingsDir() + "/drawing_" + version + ".dxf", std::ios::binary);
    const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(whole.size(), 1000u);
    // The final "EOF" line is the one place where a cut still leaves a whole file.
    const size_t lastWhole = whole.rfind("EOF");
    for (size_t cut = 1; cut < lastWhole; cut += 97) {
      const Result r = ReadText(std::string_view(whole).substr(0, cut));
      ASSERT_NE(r.status, Status::kOk) << version << " cut at " << cut;
      EXPECT_TRUE(r.drawing.layers.empty() && r.drawing.entities.empty());
      if (cut > 20) {
        EXPECT_EQ(r.status, Status::kMalformed) << version << " cut at " << cut << ": " << r.message;
        EXPECT_GT(r.line, 0u);
      }
    }
  }
}

}  // namespace
}  // namespace cadsim::dxf
