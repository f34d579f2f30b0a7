// Drawings written by ezdxf (tests/data/dxf/make_drawings.py) in four DXF versions, read into the
// simulated host and walked through the SDK as the plug-in's readers walk them: every space with
// its references, attributes and viewports, layouts with their page setups, and the file's handles.
// (Tables and line work are read in the frame collector's and the end-to-end tests' drawings.)
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cadsim/control.h"
#include "cadsim/dxf/dxf_reader.h"

namespace {

using Strings = std::vector<std::string>;

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

template <class T>
struct Closer {
  void operator()(T* p) const { p->close(); }
};
// Null, with nothing to close, when the id does not name a T.
template <class T>
std::unique_ptr<T, Closer<T>> Open(AcDbObjectId id) {
  T* p = nullptr;
  acdbOpenObject(p, id, AcDb::kForRead);
  return std::unique_ptr<T, Closer<T>>(p);
}

std::string Num(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}
template <class Point>
std::string Pt(const Point& p) {
  return Num(p.x) + "," + Num(p.y);
}

std::string Name(AcDbObjectId id) {
  auto o = Open<AcDbObject>(id);
  AcString name;
  if (auto* layout = AcDbLayout::cast(o.get())) layout->getName(name);
  else if (auto* record = AcDbSymbolTableRecord::cast(o.get())) record->getName(name);
  return name.utf8Ptr();
}

// One line per entity of a space: a viewport with its view and frozen layers, or a reference with
// its block (and the dynamic block it represents), place, scale, rotation and attributes.
std::string Describe(AcDbObjectId id) {
  auto e = Open<AcDbEntity>(id);
  std::ostringstream out;
  if (auto* v = AcDbViewport::cast(e.get())) {
    if (v->number() == 1) return "own viewport";  // the paper space's own, which ezdxf places
    AcDbObjectIdArray frozen;
    v->getFrozenLayerList(frozen);
    out << "viewport " << Pt(v->centerPoint()) << " view " << Pt(v->viewCenter()) << " h" << Num(v->viewHeight());
    for (int i = 0; i < frozen.length(); ++i) out << " -" << Name(frozen[i]);
  } else if (auto* r = AcDbBlockReference::cast(e.get())) {
    out << "ref " << Name(r->blockTableRecord());
    AcDbDynBlockReference dynamic(id);
    if (dynamic.isDynamicBlock()) out << " of " << Name(dynamic.dynamicBlockTableRecord());
    if (!dynamic.anonymousBlockTableRecord().isNull()) out << " as " << Name(dynamic.anonymousBlockTableRecord());
    out << " " << Pt(r->position());
    const AcGeScale3d scale = r->scaleFactors();
    if (scale.sx != 1 || scale.sy != 1) out << " x" << Num(scale.sx) << "," << Num(scale.sy);
    if (r->rotation() != 0) out << " r" << Num(r->rotation() * 180 / M_PI);
    // Read as the plug-in reads them: multi-line values as the plain text of a copy of their
    // MText; invisible ones marked.
    std::unique_ptr<AcDbObjectIterator> atts(r->attributeIterator());
    for (atts->start(false); !atts->done(); atts->step(false, true)) {
      auto a = Open<AcDbAttribute>(atts->objectId());
      AcString tag, value;
      EXPECT_EQ(a->tag(tag), Acad::eOk);
      if (a->isMTextAttribute()) {
        std::unique_ptr<AcDbMText> m(a->getMTextAttribute());
        EXPECT_EQ(m->text(value), Acad::eOk);
      } else {
        EXPECT_EQ(a->textString(value), Acad::eOk);
      }
      out << " " << tag.utf8Ptr() << "=" << value.utf8Ptr() << (a->isInvisible() ? " (invisible)" : "");
    }
  } else {
    out << cadsim::narrow(e->isA()->name());
  }
  return out.str();
}

// The entities of a space, described in order.
Strings Contents(AcDbObjectId space) {
  Strings out;
  auto block = Open<AcDbBlockTableRecord>(space);
  AcDbBlockTableRecordIterator* it = nullptr;
  block->newIterator(it);
  for (; !it->done(); it->step()) {
    AcDbObjectId id;
    it->getEntityId(id);
    out.push_back(Describe(id));
  }
  delete it;
  return out;
}

class DrawingsTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    cadsim::reset();
    ASSERT_FALSE(DrawingsDir().empty()) << "make_drawings.py failed";
    db_ = std::make_unique<AcDbDatabase>(false, true);
    const std::string path = DrawingsDir() + "/drawing_" + GetParam() + ".dxf";
    ASSERT_EQ(db_->readDwgFile(cadsim::widen(path).c_str(), AcDbDatabase::kForReadAndAllShare), Acad::eOk);
  }
  void TearDown() override {
    db_.reset();
    EXPECT_EQ(cadsim::openObjects(), Strings());
    EXPECT_EQ(cadsim::faultLog(), Strings());
  }
  bool IsR12() const { return GetParam() == "R12"; }
  AcDbDatabase* db() const { return db_.get(); }
  // The records of one kind from the .expect file, each without its kind field.
  std::vector<Strings> Expected(const std::string& kind) const {
    std::ifstream in(DrawingsDir() + "/drawing_" + GetParam() + ".expect");
    std::vector<Strings> records;
    for (std::string line; std::getline(in, line);) {
      Strings fields;
      std::stringstream stream(line);
      for (std::string field; std::getline(stream, field, '\t');) fields.push_back(field);
      if (fields[0] == kind) records.emplace_back(fields.begin() + 1, fields.end());
    }
    return records;
  }

  std::unique_ptr<AcDbDatabase> db_;
};

// Every space holds its own entities in the file's order, wherever the file kept them (the active
// layout's in the ENTITIES section, the others' in their blocks); attribute values are read whole
// (older versions spell the Chinese as \U+ escapes), multi-line ones as plain text; an anonymous
// block names the dynamic block it represents; a reference to a block the file lacks is dropped.
TEST_P(DrawingsTest, SpacesHoldTheirReferencesAttributesAndViewports) {
  std::map<std::string, Strings> spaces;
  auto dict = Open<AcDbDictionary>(db()->layoutDictionaryId());
  std::unique_ptr<AcDbDictionaryIterator> it(dict->newIterator());
  for (; !it->done(); it->next()) {
    auto layout = Open<AcDbLayout>(it->objectId());
    spaces[Name(it->objectId())] = Contents(layout->getBlockTableRecordId());
  }
  dict.reset();
  // Later versions give each paper space its own viewport first.
  auto sheet = [&](int i) {
    Strings space = {"viewport " + Num(100 + i) + ",100 view 10,20 h75" + (IsR12() ? "" : " -FROZEN"),
                     "ref TITLE " + Num(10 * i) + ",5 DWGNO=D-" + Num(i + 1) + " TITLE=Sheet " + Num(i) + " \"q\" \u4e2d",
                     "ref PLAIN 0,0"};
    if (!IsR12()) space.insert(space.begin(), "own viewport");
    return space;
  };
  const Strings model = {"ref TITLE 50,60 x2,3 r90 DWGNO=M-001 TITLE=Model title", "ref PLAIN 1,1"};
  std::map<std::string, Strings> expected = {{"Model", model}, {"Layout1", sheet(0)}};
  if (!IsR12()) {
    expected = {{"Model", model}, {"Layout1", {}}, {"Sheet B", sheet(0)}, {"Sheet A", sheet(1)},
                {"\u56fe\u7eb8 C", sheet(2)}};
    expected["Sheet A"].push_back("ref *U1 of DOOR_DYN as *U1 30,30 WIDTH=900");
    expected["Sheet A"].push_back("ref DOOR_DYN of DOOR_DYN 40,30");
    if (GetParam() == "R2018")
      expected["Sheet B"].push_back("ref TITLE 0,100 DWGNO=line one\nline two SECRET=hidden \u503c (invisible)");
  }
  EXPECT_EQ(spaces, expected);

  // The file's handles find each reference, on the space the file put it in.
  const auto inserts = Expected("insert");
  EXPECT_EQ(inserts.size(), IsR12() ? 4u : GetParam() == "R2018" ? 11u : 10u);
  for (const Strings& rec : inserts) {
    AcDbObjectId ref;
    ASSERT_EQ(db()->getAcDbObjectId(ref, false, AcDbHandle(cadsim::widen(rec[0]).c_str())), Acad::eOk) << rec[0];
    auto reference = Open<AcDbBlockReference>(ref);
    ASSERT_TRUE(reference) << rec[0];
    const AcDbObjectId owner = reference->ownerId();
    if (IsR12()) EXPECT_EQ(owner, rec[1] == "M" ? cadsim::modelSpaceId(db()) : cadsim::layoutSpaceId(db(), "Layout1"));
    else EXPECT_EQ(cadsim::handleText(owner), rec[1]) << rec[0];
  }
}

// Old files without layouts get model space and "Layout1"; later ones keep the file's layouts,
// handles, tab order and plot settings, their spaces linked both ways.
TEST_P(DrawingsTest, LayoutsKeepTheFilesHandlesAndPlotSettings) {
  AcDbLayoutManager* manager = acdbHostApplicationServices()->layoutManager();
  EXPECT_EQ(manager->countLayouts(db()), IsR12() ? 2 : 5);
  EXPECT_EQ(cadsim::currentLayoutName(db()), GetParam() == "R2018" ? "Sheet B" : "Model");  // as saved
  const auto layouts = Expected("layout");
  EXPECT_EQ(layouts.size(), IsR12() ? 0u : 4u);
  for (const Strings& rec : layouts) {
    SCOPED_TRACE("layout " + rec[0]);
    const AcDbObjectId id = manager->findLayoutNamed(cadsim::widen(rec[0]).c_str(), db());
    EXPECT_EQ(cadsim::handleText(id), rec[1]);
    auto layout = Open<AcDbLayout>(id);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->getTabOrder(), std::stoi(rec[2]));
    EXPECT_EQ(cadsim::handleText(layout->getBlockTableRecordId()), rec[3]);
    auto space = Open<AcDbBlockTableRecord>(layout->getBlockTableRecordId());
    ASSERT_TRUE(space);
    EXPECT_EQ(space->getLayoutId(), id);
    const AcDbObjectIdArray viewports = layout->getViewportArray();  // the paper space's own first
    ASSERT_EQ(viewports.length(), rec[0] == "Layout1" ? 0 : 2);
    if (rec[0] == "Layout1") continue;
    EXPECT_EQ(Open<AcDbViewport>(viewports[0])->number(), 1);
    const ACHAR* config = nullptr;
    const ACHAR* media = nullptr;
    layout->getPlotCfgName(config);
    layout->getCanonicalMediaName(media);
    double width, height, left, bottom, right, top, numerator, denominator;
    layout->getPlotPaperSize(width, height);
    layout->getPlotPaperMargins(left, bottom, right, top);
    layout->getCustomPrintScale(numerator, denominator);
    std::ostringstream plot;
    for (double v : {width, height, left, bottom, right, top, numerator, denominator}) plot << " " << v;
    // ezdxf takes margins top, right, bottom, left.
    EXPECT_EQ(cadsim::narrow(config) + " " + cadsim::narrow(media) + plot.str(),
              "DWG To PDF.pc3 ISO_A3_(420.00_x_297.00_MM) 420 297 8 7 6 5 1 50");
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, DrawingsTest, ::testing::Values("R12", "R2000", "R2010", "R2018"),
                         [](const auto& info) { return info.param; });

// A real file cut short anywhere must give a clear failure, never a crash or a success that
// silently lost the end of the drawing.
TEST(DamagedDrawingsTest, EveryTruncationIsReportedAsMalformed) {
  using namespace cadsim::dxf;
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
