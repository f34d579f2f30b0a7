// Drawings written by a real DXF library (ezdxf) opened in the simulated host: layouts, attributed
// blocks (multi-line too), layers off and frozen, text styles, handles and the lock files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>

#include "cadsim/control.h"

namespace {

// Writes the test drawing with ezdxf and prints the handles the checks compare with.
const char* kScript = R"PY(
import sys, ezdxf
doc = ezdxf.new("R2018")
doc.layers.add("OFF").off()
doc.layers.add("FROZEN").freeze()
doc.layers.add("LOCKED").lock()
doc.styles.add("CN", font="missing.shx").dxf.bigfont = "gbcbig.shx"
tb = doc.blocks.new("TITLE")
tb.add_lwpolyline([(0, 0), (420, 0), (420, 297), (0, 297)], close=True)
tb.add_attdef("NO", (10, 10), dxfattribs={"height": 5})
tb.add_attdef("NOTE", (10, 20), dxfattribs={"height": 5})
a = doc.layouts.new("Sheet A")
b = doc.layouts.new("图纸B")
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
msp.add_text("hello", dxfattribs={"style": "CN"})
doc.saveas(sys.argv[1])
print(ref.dxf.handle, a.dxf_layout.dxf.handle)
)PY";

std::string run(const std::string& command) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return out;
  char buf[256];
  while (std::fgets(buf, sizeof(buf), p)) out += buf;
  ::pclose(p);
  return out;
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
    dir = mkdtemp(pattern);
    path = dir + "/plan.dxf";
    std::ofstream(dir + "/make.py") << kScript;
    std::string printed = run("/usr/bin/python3 " + dir + "/make.py " + path);
    std::sscanf(printed.c_str(), "%31s %31s", refHandle, layoutHandle);
  }
  static void TearDownTestSuite() {
    if (std::system(("rm -rf '" + dir + "'").c_str()) != 0) ADD_FAILURE() << "cannot remove " << dir;
  }
  void SetUp() override {
    cadsim::reset();
    ASSERT_TRUE(exists(path)) << "ezdxf did not write the drawing";
  }
  void TearDown() override {
    cadsim::reset();
    EXPECT_EQ(cadsim::openObjects(), std::vector<std::string>());
    EXPECT_EQ(cadsim::faultLog(), std::vector<std::string>());
  }
  static std::string dir, path;
  static char refHandle[32], layoutHandle[32];
};
std::string DxfDrawingsTest::dir, DxfDrawingsTest::path;
char DxfDrawingsTest::refHandle[32], DxfDrawingsTest::layoutHandle[32];

TEST_F(DxfDrawingsTest, LayoutsAndAttributedBlocksKeepTheFilesHandles) {
  AcDbDatabase db(false, true);
  ASSERT_EQ(db.readDwgFile(cadsim::widen(path).c_str(), AcDbDatabase::kForReadAndAllShare), Acad::eOk);

  AcDbLayoutManager* lm = acdbHostApplicationServices()->layoutManager();
  AcDbObjectId sheetA = lm->findLayoutNamed(L"Sheet A", &db);
  ASSERT_FALSE(sheetA.isNull());
  EXPECT_EQ(cadsim::handleText(sheetA), layoutHandle);
  EXPECT_FALSE(lm->findLayoutNamed(L"图纸B", &db).isNull());
  EXPECT_FALSE(lm->findLayoutNamed(L"模型", &db).isNull());

  // Every attributed reference on every paper layout, read as the layout readers do.
  std::map<std::string, std::string> found;  // "layout/block/tag" -> value
  AcDbDictionary* dict = nullptr;
  ASSERT_EQ(acdbOpenObject(dict, db.layoutDictionaryId(), AcDb::kForRead), Acad::eOk);
  std::unique_ptr<AcDbDictionaryIterator> it(dict->newIterator());
  for (; !it->done(); it->next()) {
    AcDbLayout* layout = nullptr;
    ASSERT_EQ(acdbOpenObject(layout, it->objectId(), AcDb::kForRead), Acad::eOk);
    AcString layoutName;
    layout->getName(layoutName);
    AcDbObjectId space = layout->getBlockTableRecordId();
    bool model = layout->modelType();
    layout->close();
    if (model) continue;
    AcDbBlockTableRecord* rec = nullptr;
    ASSERT_EQ(acdbOpenObject(rec, space, AcDb::kForRead), Acad::eOk);
    AcDbBlockTableRecordIterator* ents = nullptr;
    ASSERT_EQ(rec->newIterator(ents, true, true), Acad::eOk);
    for (ents->start(true, true); !ents->done(); ents->step(true, true)) {
      AcDbEntity* e = nullptr;
      ASSERT_EQ(ents->getEntity(e, AcDb::kForRead), Acad::eOk);
      if (auto* ref = AcDbBlockReference::cast(e)) {
        std::unique_ptr<AcDbObjectIterator> atts(ref->attributeIterator());
        for (atts->start(false); !atts->done(); atts->step(false, true)) {
          AcDbAttribute* a = nullptr;
          ASSERT_EQ(acdbOpenObject(a, atts->objectId(), AcDb::kForRead), Acad::eOk);
          AcString value;
          if (a->isMTextAttribute()) a->getMTextAttributeConst()->text(value);
          else a->textString(value);
          found[std::string(layoutName.utf8Ptr()) + "/" + name(ref->blockTableRecord()) + "/" +
                cadsim::narrow(a->tagConst())] = value.utf8Ptr();
          a->close();
        }
      }
      e->close();
    }
    delete ents;
    rec->close();
  }
  dict->close();
  EXPECT_EQ(found, (std::map<std::string, std::string>{{"Sheet A/TITLE/NO", "A-01"},
                                                       {"Sheet A/TITLE/NOTE", "line one\nline two"},
                                                       {"图纸B/TITLE/NO", "B-02"}}));

  AcDbObjectId ref;
  ASSERT_EQ(db.getAcDbObjectId(ref, false, AcDbHandle(cadsim::widen(refHandle).c_str())), Acad::eOk);
  AcDbBlockReference* br = nullptr;
  ASSERT_EQ(acdbOpenObject(br, ref, AcDb::kForRead), Acad::eOk);
  ACHAR* layer = br->layer();
  EXPECT_EQ(cadsim::narrow(layer), "LOCKED");
  acutDelString(layer);
  EXPECT_EQ(br->ownerId(), cadsim::layoutSpaceId(&db, "Sheet A"));
  br->close();
}

TEST_F(DxfDrawingsTest, LayersStylesAndModelSpaceComeThrough) {
  AcDbDatabase db(false, true);
  ASSERT_EQ(db.readDwgFile(cadsim::widen(path).c_str()), Acad::eOk);
  AcDbLayerTable* layers = nullptr;
  ASSERT_EQ(db.getLayerTable(layers), Acad::eOk);
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

  AcDbTextStyleTable* styles = nullptr;
  ASSERT_EQ(db.getTextStyleTable(styles), Acad::eOk);
  AcDbTextStyleTableRecord* cn = nullptr;
  ASSERT_EQ(styles->getAt(L"CN", cn, AcDb::kForRead), Acad::eOk);
  styles->close();
  AcString font, big;
  cn->fileName(font);
  cn->bigFontFileName(big);
  cn->close();
  EXPECT_STREQ(font.utf8Ptr(), "missing.shx");
  EXPECT_STREQ(big.utf8Ptr(), "gbcbig.shx");

  AcDbBlockTableRecord* ms = nullptr;
  ASSERT_EQ(acdbOpenObject(ms, cadsim::modelSpaceId(&db), AcDb::kForRead), Acad::eOk);
  AcDbBlockTableRecordIterator* it = nullptr;
  ms->newIterator(it);
  std::vector<std::string> classes;
  for (; !it->done(); it->step()) {
    AcDbEntity* e = nullptr;
    ASSERT_EQ(it->getEntity(e), Acad::eOk);
    classes.push_back(cadsim::narrow(e->isA()->name()));
    e->close();
  }
  delete it;
  ms->close();
  EXPECT_EQ(classes, (std::vector<std::string>{"AcDbLine", "AcDbPolyline", "AcDbText"}));
}

TEST_F(DxfDrawingsTest, OpenedDocumentsKeepLockFilesUntilClosed) {
  int status = -1;
  AcApDocument* doc = cadsim::openDrawing(path, &status);
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(exists(dir + "/plan.dwl"));
  EXPECT_TRUE(exists(dir + "/plan.dwl2"));
  EXPECT_EQ(cadsim::currentLayoutName(cadsim::databaseOf(doc)), "Model");
  cadsim::typeLine("(setvar \"CTAB\" \"图纸B\")");
  EXPECT_EQ(cadsim::currentLayoutName(cadsim::databaseOf(doc)), "图纸B");
  cadsim::close(doc);
  EXPECT_FALSE(exists(dir + "/plan.dwl"));
  EXPECT_FALSE(exists(dir + "/plan.dwl2"));

  ASSERT_EQ(acDocManager->appContextOpenDocument(cadsim::widen(path).c_str()), Acad::eOk);
  EXPECT_TRUE(exists(dir + "/plan.dwl"));
  cadsim::reset();  // a reset drops the drawing and its lock files too
  EXPECT_FALSE(exists(dir + "/plan.dwl"));
}

// Damaged DXF answers a read failure and leaves nothing half-built.
TEST_F(DxfDrawingsTest, DamagedDxfIsAReadFailure) {
  std::string damaged = dir + "/damaged.dxf";
  std::ofstream(damaged) << "0\nSECTION\n2\nENTITIES\n0\nLINE\n10\nnot-a-number\n";
  AcDbDatabase db(false, true);
  EXPECT_EQ(db.readDwgFile(cadsim::widen(damaged).c_str()), Acad::eDxfReadAborted);
  int status = 0;
  EXPECT_EQ(cadsim::openDrawing(damaged, &status), nullptr);
  EXPECT_EQ(status, Acad::eDxfReadAborted);
  EXPECT_FALSE(exists(dir + "/damaged.dwl"));
}

}  // namespace
