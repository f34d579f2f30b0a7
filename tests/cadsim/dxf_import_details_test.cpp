// Details of turning DXF files into databases: old files without layouts, the layout that was
// current when the file was saved, viewports with frozen layers, TrueType styles, entities on
// layouts other than the active one, and references to blocks that do not exist.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "cadsim/control.h"

namespace {

std::string g_dir;

std::string write(const std::string& name, const std::string& script) {
  std::string path = g_dir + "/" + name + ".dxf";
  std::string py = g_dir + "/" + name + ".py";
  std::ofstream(py) << "import sys, ezdxf\n" << script << "\ndoc.saveas(sys.argv[1])\n";
  if (std::system(("/usr/bin/python3 " + py + " " + path).c_str()) != 0) return "";
  return path;
}

class DxfImportDetailsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/cadsim_import_XXXXXX";
    g_dir = mkdtemp(pattern);
  }
  static void TearDownTestSuite() {
    if (std::system(("rm -rf '" + g_dir + "'").c_str()) != 0) ADD_FAILURE();
  }
  void SetUp() override { cadsim::reset(); }
  void TearDown() override {
    db.reset();
    EXPECT_EQ(cadsim::openObjects(), std::vector<std::string>());
    EXPECT_EQ(cadsim::faultLog(), std::vector<std::string>());
  }
  AcDbDatabase* load(const std::string& path) {
    db = std::make_unique<AcDbDatabase>(false, true);
    EXPECT_FALSE(path.empty());
    EXPECT_EQ(db->readDwgFile(cadsim::widen(path).c_str()), Acad::eOk) << path;
    return db.get();
  }
  // Class names of the entities of a space, in order.
  static std::vector<std::string> classes(AcDbObjectId space) {
    std::vector<std::string> out;
    AcDbBlockTableRecord* rec = nullptr;
    if (acdbOpenObject(rec, space, AcDb::kForRead) != Acad::eOk) return {"<no space>"};
    AcDbBlockTableRecordIterator* it = nullptr;
    rec->newIterator(it);
    for (; !it->done(); it->step()) {
      AcDbEntity* e = nullptr;
      if (it->getEntity(e) != Acad::eOk) continue;
      out.push_back(cadsim::narrow(e->isA()->name()));
      e->close();
    }
    delete it;
    rec->close();
    return out;
  }
  std::unique_ptr<AcDbDatabase> db;
};

TEST_F(DxfImportDetailsTest, OldFilesWithoutLayoutsGetModelAndPaperLayouts) {
  AcDbDatabase* d = load(write("r12", R"(
doc = ezdxf.new("R12")
doc.modelspace().add_line((0, 0), (1, 1))
doc.layout("Layout1").add_line((0, 0), (2, 2))
)"));
  EXPECT_EQ(cadsim::currentLayoutName(d), "Model");
  EXPECT_EQ(classes(cadsim::modelSpaceId(d)), std::vector<std::string>{"AcDbLine"});
  AcDbObjectId paper = cadsim::layoutSpaceId(d, "Layout1");
  ASSERT_FALSE(paper.isNull());
  EXPECT_EQ(classes(paper), std::vector<std::string>{"AcDbLine"});
  EXPECT_EQ(acdbHostApplicationServices()->layoutManager()->countLayouts(d), 2);
}

// Entities of the active paper layout sit in the ENTITIES section, those of the others in their
// own blocks; both must land on their layout. (The writer makes no overall viewports here.)
TEST_F(DxfImportDetailsTest, EntitiesLandOnTheirOwnLayouts) {
  AcDbDatabase* d = load(write("spaces", R"(
doc = ezdxf.new("R2018")
doc.layout("Layout1").add_circle((0, 0), 1)
second = doc.layouts.new("Second")
second.add_lwpolyline([(0, 0), (5, 0)])
second.add_line((0, 0), (5, 5))
doc.modelspace().add_text("m")
)"));
  EXPECT_EQ(classes(cadsim::layoutSpaceId(d, "Layout1")), std::vector<std::string>{"AcDbEntity"});
  EXPECT_EQ(classes(cadsim::layoutSpaceId(d, "Second")), (std::vector<std::string>{"AcDbPolyline", "AcDbLine"}));
  EXPECT_EQ(classes(cadsim::modelSpaceId(d)), std::vector<std::string>{"AcDbText"});
}

TEST_F(DxfImportDetailsTest, TheLayoutCurrentWhenSavedIsCurrentAgain) {
  AcDbDatabase* d = load(write("current", R"(
doc = ezdxf.new("R2018")
doc.layouts.new("Later")
doc.layouts.set_active_layout("Later")
doc.header["$TILEMODE"] = 0
)"));
  EXPECT_EQ(cadsim::currentLayoutName(d), "Later");
  EXPECT_EQ(d->currentSpaceId(), cadsim::layoutSpaceId(d, "Later"));
  EXPECT_FALSE(d->tilemode());
}

TEST_F(DxfImportDetailsTest, ViewportsKnowTheirFrozenLayers) {
  AcDbDatabase* d = load(write("viewports", R"(
doc = ezdxf.new("R2018")
doc.layers.add("HIDE_ME")
vp = doc.layout("Layout1").add_viewport(center=(100, 100), size=(80, 60), view_center_point=(0, 0), view_height=50)
vp.frozen_layers = ["HIDE_ME"]
)"));
  AcDbLayout* layout = nullptr;
  ASSERT_EQ(acdbOpenObject(layout, cadsim::layoutId(d, "Layout1"), AcDb::kForRead), Acad::eOk);
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
  AcDbLayerTableRecord* layer = nullptr;
  ASSERT_EQ(acdbOpenObject(layer, frozen[0], AcDb::kForRead), Acad::eOk);
  AcString name;
  layer->getName(name);
  layer->close();
  EXPECT_STREQ(name.utf8Ptr(), "HIDE_ME");
}

TEST_F(DxfImportDetailsTest, TrueTypeStylesKeepTheirTypeface) {
  AcDbDatabase* d = load(write("truetype", R"(
doc = ezdxf.new("R2018")
style = doc.styles.add("TT", font="arial.ttf")
style.set_extended_font_data("Arial", italic=False, bold=True)
)"));
  AcDbTextStyleTable* table = nullptr;
  ASSERT_EQ(d->getTextStyleTable(table), Acad::eOk);
  AcDbTextStyleTableRecord* rec = nullptr;
  ASSERT_EQ(table->getAt(L"TT", rec, AcDb::kForRead), Acad::eOk);
  table->close();
  AcString typeface, file;
  bool bold, italic;
  Charset charset;
  Autodesk::AutoCAD::PAL::FontUtils::FontPitch pitch;
  Autodesk::AutoCAD::PAL::FontUtils::FontFamily family;
  rec->font(typeface, bold, italic, charset, pitch, family);
  rec->fileName(file);
  rec->close();
  EXPECT_STREQ(typeface.utf8Ptr(), "Arial");
  EXPECT_STREQ(file.utf8Ptr(), "arial.ttf");
}

// A reference to a block that is not in the file is dropped; the rest of the drawing loads.
TEST_F(DxfImportDetailsTest, ReferencesToMissingBlocksAreDropped) {
  AcDbDatabase* d = load(write("dangling", R"(
doc = ezdxf.new("R2018")
doc.modelspace().add_blockref("NOPE", (0, 0))
doc.modelspace().add_line((0, 0), (1, 0))
)"));
  EXPECT_EQ(classes(cadsim::modelSpaceId(d)), std::vector<std::string>{"AcDbLine"});
}

TEST_F(DxfImportDetailsTest, ReadingIntoADatabaseThatHasContentIsRefused) {
  std::string path = write("plain", "doc = ezdxf.new('R2018')");
  AcDbDatabase full(true, true);
  EXPECT_EQ(full.readDwgFile(cadsim::widen(path).c_str()), Acad::eInvalidContext);
}

}  // namespace
