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

// The records of one kind from the .expect file, each without its kind field.
std::vector<std::vector<std::string>> Expected(const std::string& version, const std::string& kind) {
  std::ifstream in(DrawingsDir() + "/drawing_" + version + ".expect");
  std::vector<std::vector<std::string>> records;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    for (std::string field; std::getline(stream, field, '\t');) fields.push_back(field);
    if (line.back() == '\t') fields.emplace_back();
    if (fields[0] == kind) records.emplace_back(fields.begin() + 1, fields.end());
  }
  return records;
}

// Every entity of the drawing with this handle: the ENTITIES section and every block definition.
const Entity* EntityByHandle(const Drawing& d, const std::string& handle) {
  for (const Entity& e : d.entities) {
    if (e.handle.text == handle) return &e;
  }
  for (const Block& b : d.blocks) {
    for (const Entity& e : b.entities) {
      if (e.handle.text == handle) return &e;
    }
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

// Layers, blocks, layouts and text styles alike.
template <typename T>
const T* Named(const std::vector<T>& items, const std::string& name) {
  for (const T& item : items) {
    if (item.name == name) return &item;
  }
  return nullptr;
}

class DrawingsTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    ASSERT_FALSE(DrawingsDir().empty()) << "make_drawings.py failed";
    result_ = ReadFile(DrawingsDir() + "/drawing_" + GetParam() + ".dxf");
    ASSERT_EQ(result_.status, Status::kOk) << result_.message;
  }
  bool IsR12() const { return GetParam() == "R12"; }
  const Drawing& drawing() const { return result_.drawing; }
  std::vector<std::vector<std::string>> Expected(const std::string& kind) const {
    return dxf::Expected(GetParam(), kind);
  }

  Result result_;
};

TEST_P(DrawingsTest, HeaderLayersAndTextStyles) {
  const std::map<std::string, std::string> versions = {
      {"R12", "AC1009"}, {"R2000", "AC1015"}, {"R2010", "AC1024"}, {"R2018", "AC1032"}};
  EXPECT_EQ(drawing().header.acadVersion, versions.at(GetParam()));

  const Layer* off = Named(drawing().layers, "OFFLAYER");
  const Layer* frozen = Named(drawing().layers, "FROZEN");
  const Layer* locked = Named(drawing().layers, "LOCKED");
  ASSERT_TRUE(off && frozen && locked);
  EXPECT_FALSE(off->on);
  EXPECT_EQ(off->color, -3);
  EXPECT_TRUE(frozen->on && frozen->frozen && !frozen->locked);
  EXPECT_TRUE(locked->on && locked->locked && !locked->frozen);
  if (!IsR12()) {
    ASSERT_NE(Named(drawing().layers, "NOPLOT"), nullptr);
    EXPECT_FALSE(Named(drawing().layers, "NOPLOT")->plot);
    EXPECT_TRUE(off->plot);
  }

  const TextStyle* cjk = Named(drawing().textStyles, "CJK");
  ASSERT_TRUE(cjk && Named(drawing().textStyles, "TTF"));
  EXPECT_EQ(cjk->fontFile, "simplex.shx");
  EXPECT_EQ(cjk->bigFontFile, "gbcbig.shx");
  EXPECT_DOUBLE_EQ(cjk->fixedHeight, 2.5);
  EXPECT_DOUBLE_EQ(cjk->widthFactor, 0.8);
  EXPECT_EQ(Named(drawing().textStyles, "TTF")->bigFontFile, "");
}

TEST_P(DrawingsTest, ModelSpaceGeometryAndTexts) {
  const std::vector<Entity>& model = drawing().entities;
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
  EXPECT_DOUBLE_EQ(pl.vertices[2].point.y, 3);
  if (!IsR12()) {
    EXPECT_DOUBLE_EQ(pl.elevation, 2);
    EXPECT_DOUBLE_EQ(pl.vertices[0].bulge, 0.5);
  }

  // R12 spells the Chinese characters as \U+ escapes in a cp1252 file.
  const auto texts = EntitiesOf<dxf::Text>(model);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(std::get<dxf::Text>(texts[0]->data).text, "Caf\u00e9 \u00b1 \u4e2d\u6587");
  EXPECT_EQ(std::get<dxf::Text>(texts[0]->data).style, "CJK");

  if (!IsR12()) {
    // Longer than one 250-character chunk, so it is written as 3 groups and a final 1.
    const auto mtexts = EntitiesOf<MText>(model);
    ASSERT_EQ(mtexts.size(), 1u);
    EXPECT_EQ(std::get<MText>(mtexts[0]->data).text, "first line\\Psecond line " + std::string(300, 'x'));
  }
}

TEST_P(DrawingsTest, BlockDefinitionsWithAttributeDefinitions) {
  const Block* title = Named(drawing().blocks, "TITLE");
  ASSERT_NE(title, nullptr);
  EXPECT_DOUBLE_EQ(title->basePoint.y, 2);
  std::map<std::string, Attribute> defs;
  for (const Entity* e : EntitiesOf<Attribute>(title->entities)) {
    EXPECT_EQ(e->type, "ATTDEF");
    defs[std::get<Attribute>(e->data).tag] = std::get<Attribute>(e->data);
  }
  ASSERT_EQ(defs.size(), 3u);
  EXPECT_EQ(defs["DWGNO"].prompt, "Drawing number");
  EXPECT_EQ(defs["TITLE"].text, "untitled");
  EXPECT_EQ(defs["SECRET"].flags & 1, 1);  // invisible
}

// Every reference on every space, with its attribute values as ezdxf reads them back; the
// multi-line attribute (R2018 only) must give its whole content, not its first line.
TEST_P(DrawingsTest, AttributedBlockReferencesOnEverySpace) {
  const auto inserts = Expected("insert");
  EXPECT_GE(inserts.size(), 4u);
  for (const auto& rec : inserts) {
    SCOPED_TRACE("insert " + rec[0]);
    const Entity* e = EntityByHandle(drawing(), rec[0]);
    ASSERT_NE(e, nullptr);
    const Insert* insert = std::get_if<Insert>(&e->data);
    ASSERT_NE(insert, nullptr);
    EXPECT_EQ(insert->blockName, rec[1]);
    EXPECT_EQ(IsR12() ? (e->paperSpace ? "*" : "M") : e->owner.text, rec[2]);
    std::string values;
    for (const Attribute& a : insert->attributes) {
      std::string value = a.multiline ? MTextPlainText(a.mtext) : a.text;
      for (size_t at = value.find('\n'); at != std::string::npos; at = value.find('\n', at)) {
        value.replace(at, 1, "\\n");
      }
      values += (values.empty() ? "" : ";") + a.tag + "=" + value;
      EXPECT_FALSE(a.handle.IsNull());
    }
    EXPECT_EQ(values, rec[3]);
  }

  // The model-space title block, the first reference written, was placed scaled and turned.
  const auto model = EntitiesOf<Insert>(drawing().entities);
  ASSERT_FALSE(model.empty());
  const Insert& scaled = std::get<Insert>(model[0]->data);
  EXPECT_DOUBLE_EQ(scaled.position.x, 50);
  EXPECT_DOUBLE_EQ(scaled.scale.x, 2);
  EXPECT_DOUBLE_EQ(scaled.scale.y, 3);
  EXPECT_DOUBLE_EQ(scaled.rotation, 90);
}

TEST_P(DrawingsTest, LayoutsWithTabOrderAndPlotSettings) {
  if (IsR12()) {
    EXPECT_TRUE(drawing().layouts.empty());
    return;
  }
  const auto layouts = Expected("layout");
  EXPECT_EQ(layouts.size(), 4u);
  for (const auto& rec : layouts) {
    SCOPED_TRACE("layout " + rec[0]);
    const Layout* layout = Named(drawing().layouts, rec[0]);
    ASSERT_NE(layout, nullptr);
    EXPECT_EQ(layout->handle.text, rec[1]);
    EXPECT_EQ(layout->tabOrder, std::stoi(rec[2]));
    EXPECT_EQ(layout->blockRecord.text, rec[3]);
    EXPECT_FALSE(layout->modelType);
    if (rec[0] != "Layout1") {
      EXPECT_EQ(layout->plot.configName, "DWG To PDF.pc3");
      EXPECT_EQ(layout->plot.mediaName, "ISO_A3_(420.00_x_297.00_MM)");
      EXPECT_DOUBLE_EQ(layout->plot.paperWidth, 420);
      EXPECT_DOUBLE_EQ(layout->plot.marginLeft, 8);  // ezdxf takes margins top, right, bottom, left
      EXPECT_DOUBLE_EQ(layout->plot.marginTop, 5);
      EXPECT_DOUBLE_EQ(layout->plot.scaleDenominator, 50);
    }
    // The space's block record points back at its layout.
    bool linked = false;
    for (const BlockRecord& br : drawing().blockRecords) {
      if (br.handle.text == rec[3]) linked = br.layout.text == rec[1];
    }
    EXPECT_TRUE(linked);
  }
  int models = 0;
  for (const Layout& l : drawing().layouts) models += l.modelType ? 1 : 0;
  EXPECT_EQ(models, 1);
}

TEST_P(DrawingsTest, ViewportsWithFrozenLayers) {
  const auto viewports = Expected("viewport");
  EXPECT_EQ(viewports.size(), IsR12() ? 1u : 3u);
  for (const auto& rec : viewports) {
    SCOPED_TRACE("viewport " + rec[0]);
    const Entity* e = EntityByHandle(drawing(), rec[0]);
    ASSERT_NE(e, nullptr);
    const Viewport* vp = std::get_if<Viewport>(&e->data);
    ASSERT_NE(vp, nullptr);
    EXPECT_DOUBLE_EQ(vp->viewCenter.y, 20);
    EXPECT_DOUBLE_EQ(vp->viewHeight, 75);
    std::vector<std::string> frozen;
    for (const Handle& h : vp->frozenLayers) frozen.push_back(h.text);
    EXPECT_EQ(frozen, std::vector<std::string>(rec.begin() + 2, rec.end()));
  }
}

TEST_P(DrawingsTest, AnonymousBlockLinksToItsDynamicDefinition) {
  const auto links = Expected("dynamic");
  ASSERT_EQ(links.size(), IsR12() ? 0u : 1u);
  for (const BlockRecord& br : drawing().blockRecords) {
    const bool anonymous = !links.empty() && br.handle.text == links[0][0];
    EXPECT_EQ(br.dynamicBlockRecord.text, anonymous ? links[0][1] : "") << br.name;
  }
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
