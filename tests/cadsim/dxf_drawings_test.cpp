// Drawings written by a real DXF library (ezdxf) opened in the simulated host: layouts, attributed
// blocks (multi-line too), layers off and frozen, text styles, viewports, handles and lock files,
// and the details of turning other files into databases (old files without layouts, entities on
// layouts other than the active one, references to blocks that do not exist, damaged files).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>

#include "cadsim/control.h"

namespace {

// The main test drawing: "Sheet A" was current when saved, so its entities sit in the ENTITIES
// section while those of "图纸B" sit in its block. It prints the handles the checks compare with.
const char* kPlan = R"PY(
doc = ezdxf.new("R2018")
doc.layers.add("OFF").off()
doc.layers.add("FROZEN").freeze()
doc.layers.add("LOCKED").lock()
doc.styles.add("CN", font="missing.shx").dxf.bigfont = "gbcbig.shx"
doc.styles.add("TT", font="arial.ttf").set_extended_font_data("Arial")
tb = doc.blocks.new("TITLE")
tb.add_lwpolyline([(0, 0), (420, 0), (420, 297), (0, 297)], close=True)
tb.add_attdef("NO", (10, 10), dxfattribs={"height": 5})
tb.add_attdef("NOTE", (10, 20), dxfattribs={"height": 5})
a = doc.layouts.new("Sheet A")
b = doc.layouts.new("图纸B")
doc.layouts.set_active_layout("Sheet A")
doc.header["$TILEMODE"] = 0
vp = a.add_viewport(center=(100, 100), size=(80, 60), view_center_point=(0, 0), view_height=50)
vp.frozen_layers = ["FROZEN"]
ref = a.add_blockref("TITLE", (0, 0), dxfattribs={"layer": "LOCKED"})
ref.add_attrib("NO", "A-01", (10, 10))
note = ref.add_attrib("NOTE", "", (10, 20))
mt = ezdxf.entities.MText.new()
mt.text = "line one\\Pline two"
note.set_mtext(mt)
b.add_blockref("TITLE", (5, 5)).add_attrib("NO", "B-02", (10, 10))
msp = doc.modelspace()
msp.add_line((0, 0), (100, 0), dxfattribs={"layer": "FROZEN"})
msp.add_lwpolyline([(0, 0), (10, 0), (10, 10)], dxfattribs={"layer": "OFF"})
msp.add_blockref("NOPE", (0, 0))
msp.add_text("hello", dxfattribs={"style": "CN"})
print(ref.dxf.handle, a.dxf_layout.dxf.handle)
)PY";

std::string g_dir, g_plan, g_refHandle, g_layoutHandle;

// Writes <name>.dxf with ezdxf: `script` builds `doc`. Returns the path, and what it printed.
std::string write(const std::string& name, const std::string& script, std::string* printed = nullptr) {
  const std::string path = g_dir + "/" + name + ".dxf", py = g_dir + "/" + name + ".py";
  std::ofstream(py) << "import sys, ezdxf\n" << script << "\ndoc.saveas(sys.argv[1])\n";
  FILE* p = ::popen(("/usr/bin/python3 " + py + " " + path).c_str(), "r");
  if (!p) return "";
  char buf[256];
  while (std::fgets(buf, sizeof(buf), p)) {
    if (printed) *printed += buf;
  }
  return ::pclose(p) == 0 ? path : "";
}

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::string name(AcDbObjectId id) {
  AcDbObject* o = nullptr;
  if (acdbOpenObject(o, id, AcDb::kForRead) != Acad::eOk) return "?";
  AcString n;
  if (auto* l = AcDbLayout::cast(o)) l->getName(n);
  else if (auto* r = AcDbSymbolTableRecord::cast(o)) r->getName(n);
  o->close();
  return n.utf8Ptr();
}

class DxfDrawingsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/cadsim_dxf_XXXXXX";
    g_dir = mkdtemp(pattern);
    std::string printed;
    g_plan = write("plan", kPlan, &printed);
    char ref[32] = {0}, layout[32] = {0};
    std::sscanf(printed.c_str(), "%31s %31s", ref, layout);
    g_refHandle = ref;
    g_layoutHandle = layout;
  }
  static void TearDownTestSuite() {
    if (std::system(("rm -rf '" + g_dir + "'").c_str()) != 0) ADD_FAILURE() << "cannot remove " << g_dir;
  }
  void SetUp() override {
    cadsim::reset();
    ASSERT_FALSE(g_plan.empty()) << "ezdxf did not write the drawing";
  }
  void TearDown() override {
    db.reset();
    EXPECT_EQ(cadsim::openObjects(), std::vector<std::string>());
    EXPECT_EQ(cadsim::faultLog(), std::vector<std::string>());
    cadsim::reset();
  }
  AcDbDatabase* load(const std::string& path) {
    db = std::make_unique<AcDbDatabase>(false, true);
    EXPECT_FALSE(path.empty());
    EXPECT_EQ(db->readDwgFile(cadsim::widen(path).c_str(), AcDbDatabase::kForReadAndAllShare), Acad::eOk);
    return db.get();
  }
  // Class names of the entities of a space, in order; for references, their block and
  // "TAG=value" of each attribute, multi-line ones as plain text.
  static std::vector<std::string> contents(AcDbObjectId space) {
    std::vector<std::string> out;
    AcDbBlockTableRecord* rec = nullptr;
    if (acdbOpenObject(rec, space, AcDb::kForRead) != Acad::eOk) return {"<no space>"};
    AcDbBlockTableRecordIterator* it = nullptr;
    rec->newIterator(it);
    for (; !it->done(); it->step()) {
      AcDbEntity* e = nullptr;
      if (it->getEntity(e) != Acad::eOk) continue;
      out.push_back(cadsim::narrow(e->isA()->name()));
      if (auto* ref = AcDbBlockReference::cast(e)) {
        out.back() += " " + name(ref->blockTableRecord());
        std::unique_ptr<AcDbObjectIterator> atts(ref->attributeIterator());
        for (atts->start(false); !atts->done(); atts->step(false, true)) {
          AcDbAttribute* a = nullptr;
          if (acdbOpenObject(a, atts->objectId(), AcDb::kForRead) != Acad::eOk) continue;
          AcString value;
          if (a->isMTextAttribute()) a->getMTextAttributeConst()->text(value);
          else a->textString(value);
          out.back() += " " + cadsim::narrow(a->tagConst()) + "=" + value.utf8Ptr();
          a->close();
        }
      }
      e->close();
    }
    delete it;
    rec->close();
    return out;
  }
  std::unique_ptr<AcDbDatabase> db;
};

using Strings = std::vector<std::string>;

TEST_F(DxfDrawingsTest, LayoutsAndAttributedBlocksKeepTheFilesHandles) {
  AcDbDatabase* d = load(g_plan);
  AcDbLayoutManager* lm = acdbHostApplicationServices()->layoutManager();
  EXPECT_EQ(cadsim::handleText(lm->findLayoutNamed(L"Sheet A", d)), g_layoutHandle);
  EXPECT_FALSE(lm->findLayoutNamed(L"模型", d).isNull());
  EXPECT_EQ(cadsim::currentLayoutName(d), "Sheet A");  // current when saved
  EXPECT_FALSE(d->tilemode());

  // Every paper layout's space, reached through the layout dictionary as the layout readers do.
  std::map<std::string, Strings> spaces;
  AcDbDictionary* dict = nullptr;
  ASSERT_EQ(acdbOpenObject(dict, d->layoutDictionaryId(), AcDb::kForRead), Acad::eOk);
  std::unique_ptr<AcDbDictionaryIterator> it(dict->newIterator());
  for (; !it->done(); it->next()) {
    AcDbLayout* layout = nullptr;
    ASSERT_EQ(acdbOpenObject(layout, it->objectId(), AcDb::kForRead), Acad::eOk);
    const AcDbObjectId space = layout->getBlockTableRecordId();
    const bool model = layout->modelType();
    layout->close();
    if (!model) spaces[name(it->objectId())] = contents(space);
  }
  dict->close();
  EXPECT_EQ(spaces, (std::map<std::string, Strings>{
                        {"Layout1", {}},
                        {"Sheet A", {"AcDbViewport", "AcDbBlockReference TITLE NO=A-01 NOTE=line one\nline two"}},
                        {"图纸B", {"AcDbBlockReference TITLE NO=B-02"}}}));

  AcDbObjectId ref;
  ASSERT_EQ(d->getAcDbObjectId(ref, false, AcDbHandle(cadsim::widen(g_refHandle).c_str())), Acad::eOk);
  AcDbBlockReference* br = nullptr;
  ASSERT_EQ(acdbOpenObject(br, ref, AcDb::kForRead), Acad::eOk);
  ACHAR* layer = br->layer();
  EXPECT_EQ(cadsim::narrow(layer), "LOCKED");
  acutDelString(layer);
  EXPECT_EQ(br->ownerId(), cadsim::layoutSpaceId(d, "Sheet A"));
  br->close();
}

TEST_F(DxfDrawingsTest, LayersStylesAndModelSpaceComeThrough) {
  AcDbDatabase* d = load(g_plan);
  AcDbLayerTable* layers = nullptr;
  ASSERT_EQ(d->getLayerTable(layers), Acad::eOk);
  std::map<std::string, std::string> states;
  for (const wchar_t* n : {L"OFF", L"FROZEN", L"LOCKED", L"0"}) {
    AcDbLayerTableRecord* rec = nullptr;
    ASSERT_EQ(layers->getAt(n, rec, AcDb::kForRead), Acad::eOk) << cadsim::narrow(n);
    states[cadsim::narrow(n)] = std::string(rec->isOff() ? "off" : "") + (rec->isFrozen() ? "frozen" : "") +
                                (rec->isLocked() ? "locked" : "");
    rec->close();
  }
  layers->close();
  EXPECT_EQ(states, (std::map<std::string, std::string>{{"0", ""}, {"FROZEN", "frozen"}, {"LOCKED", "locked"}, {"OFF", "off"}}));

  // "file/big font/typeface" of each style.
  AcDbTextStyleTable* styles = nullptr;
  ASSERT_EQ(d->getTextStyleTable(styles), Acad::eOk);
  Strings fonts;
  for (const wchar_t* n : {L"CN", L"TT"}) {
    AcDbTextStyleTableRecord* rec = nullptr;
    ASSERT_EQ(styles->getAt(n, rec, AcDb::kForRead), Acad::eOk);
    AcString file, big, typeface;
    bool bold, italic;
    Charset charset;
    Autodesk::AutoCAD::PAL::FontUtils::FontPitch pitch;
    Autodesk::AutoCAD::PAL::FontUtils::FontFamily family;
    rec->fileName(file);
    rec->bigFontFileName(big);
    rec->font(typeface, bold, italic, charset, pitch, family);
    rec->close();
    fonts.push_back(std::string(file.utf8Ptr()) + "/" + big.utf8Ptr() + "/" + typeface.utf8Ptr());
  }
  styles->close();
  EXPECT_EQ(fonts, (Strings{"missing.shx/gbcbig.shx/", "arial.ttf//Arial"}));

  // The reference to the block that is not in the file is dropped; the rest of the space loads.
  EXPECT_EQ(contents(cadsim::modelSpaceId(d)), (Strings{"AcDbLine", "AcDbPolyline", "AcDbText"}));
}

TEST_F(DxfDrawingsTest, ViewportsKnowTheirFrozenLayers) {
  AcDbDatabase* d = load(g_plan);
  AcDbLayout* layout = nullptr;
  ASSERT_EQ(acdbOpenObject(layout, cadsim::layoutId(d, "Sheet A"), AcDb::kForRead), Acad::eOk);
  AcDbObjectIdArray vps = layout->getViewportArray();
  layout->close();
  ASSERT_GE(vps.length(), 1);
  AcDbViewport* vp = nullptr;
  ASSERT_EQ(acdbOpenObject(vp, vps[vps.length() - 1], AcDb::kForRead), Acad::eOk);
  EXPECT_EQ(vp->centerPoint(), AcGePoint3d(100, 100, 0));
  EXPECT_DOUBLE_EQ(vp->width(), 80);
  EXPECT_DOUBLE_EQ(vp->viewHeight(), 50);
  AcDbObjectIdArray frozen;
  vp->getFrozenLayerList(frozen);
  vp->close();
  ASSERT_EQ(frozen.length(), 1);
  EXPECT_EQ(name(frozen[0]), "FROZEN");
}

TEST_F(DxfDrawingsTest, OpenedDocumentsKeepLockFilesUntilClosed) {
  int status = -1;
  AcApDocument* doc = cadsim::openDrawing(g_plan, &status);
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(exists(g_dir + "/plan.dwl"));
  EXPECT_TRUE(exists(g_dir + "/plan.dwl2"));
  cadsim::typeLine("(setvar \"CTAB\" \"图纸B\")");
  EXPECT_EQ(cadsim::currentLayoutName(cadsim::databaseOf(doc)), "图纸B");
  cadsim::close(doc);
  EXPECT_FALSE(exists(g_dir + "/plan.dwl"));
  EXPECT_FALSE(exists(g_dir + "/plan.dwl2"));

  ASSERT_EQ(acDocManager->appContextOpenDocument(cadsim::widen(g_plan).c_str()), Acad::eOk);
  EXPECT_TRUE(exists(g_dir + "/plan.dwl"));
  cadsim::reset();  // a reset drops the drawing and its lock files too
  EXPECT_FALSE(exists(g_dir + "/plan.dwl"));
}

// Damaged DXF answers a read failure and leaves nothing half-built; a database that already has
// content refuses to read at all.
TEST_F(DxfDrawingsTest, DamagedDxfAndFullDatabasesAreReadFailures) {
  std::string damaged = g_dir + "/damaged.dxf";
  std::ofstream(damaged) << "0\nSECTION\n2\nENTITIES\n0\nLINE\n10\nnot-a-number\n";
  AcDbDatabase empty(false, true);
  EXPECT_EQ(empty.readDwgFile(cadsim::widen(damaged).c_str()), Acad::eDxfReadAborted);
  int status = 0;
  EXPECT_EQ(cadsim::openDrawing(damaged, &status), nullptr);
  EXPECT_EQ(status, Acad::eDxfReadAborted);
  EXPECT_FALSE(exists(g_dir + "/damaged.dwl"));
  AcDbDatabase full(true, true);
  EXPECT_EQ(full.readDwgFile(cadsim::widen(g_plan).c_str()), Acad::eInvalidContext);
}

TEST_F(DxfDrawingsTest, OldFilesWithoutLayoutsGetModelAndPaperLayouts) {
  AcDbDatabase* d = load(write("r12", R"(
doc = ezdxf.new("R12")
doc.modelspace().add_line((0, 0), (1, 1))
doc.layout("Layout1").add_circle((0, 0), 2)
)"));
  EXPECT_EQ(cadsim::currentLayoutName(d), "Model");
  EXPECT_EQ(contents(cadsim::modelSpaceId(d)), Strings{"AcDbLine"});
  EXPECT_EQ(contents(cadsim::layoutSpaceId(d, "Layout1")), Strings{"AcDbEntity"});
  EXPECT_EQ(acdbHostApplicationServices()->layoutManager()->countLayouts(d), 2);
}

// Entities of the active paper layout sit in the ENTITIES section, those of the others in their
// own blocks; both must land on their layout, in the file's order.
TEST_F(DxfDrawingsTest, EntitiesLandOnTheirOwnLayouts) {
  AcDbDatabase* d = load(write("spaces", R"(
doc = ezdxf.new("R2018")
doc.layout("Layout1").add_circle((0, 0), 1)
second = doc.layouts.new("Second")
second.add_lwpolyline([(0, 0), (5, 0)])
second.add_line((0, 0), (5, 5))
)"));
  EXPECT_EQ(contents(cadsim::layoutSpaceId(d, "Layout1")), Strings{"AcDbEntity"});
  EXPECT_EQ(contents(cadsim::layoutSpaceId(d, "Second")), (Strings{"AcDbPolyline", "AcDbLine"}));
}

}  // namespace
