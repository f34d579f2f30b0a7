// Layouts of the simulated host: the layout manager and CTAB through the system variables. (The two
// names of model space are driven through the plug-in's space switch.)
#include <gtest/gtest.h>

#include <cstdlib>

#include "cadsim/control.h"
#include "tests/cadsim/new_drawing_test.h"

namespace {

std::string ctab() {
  resbuf rb{};
  if (acedGetVar(L"CTAB", &rb) != RTNORM || rb.restype != RTSTR) return "<failed>";
  std::string out = cadsim::narrow(rb.resval.rstring);
  std::free(rb.resval.rstring);
  return out;
}

int setCtab(const wchar_t* name) {
  resbuf rb{};
  rb.restype = RTSTR;
  rb.resval.rstring = const_cast<ACHAR*>(name);
  return acedSetVar(L"CTAB", &rb);
}

class LayoutsTest : public NewDrawingTest {
 protected:
  void SetUp() override {
    NewDrawingTest::SetUp();
    cadsim::addLayout(db, "图纸A");
    manager = acdbHostApplicationServices()->layoutManager();
    ASSERT_NE(manager, nullptr);
  }
  AcDbLayoutManager* manager = nullptr;
};

TEST_F(LayoutsTest, ManagerSwitchesAndReportsTheActiveLayout) {
  EXPECT_EQ(ctab(), "Model");
  EXPECT_EQ(manager->countLayouts(db), 4);
  // Model space is not a layout to ask for when model is not allowed: the last paper layout
  // current, or the first by tab order when none was.
  EXPECT_EQ(cadsim::narrow(manager->findActiveLayout(false, db)), "Layout1");
  ASSERT_EQ(manager->setCurrentLayout(L"图纸A", db), Acad::eOk);
  EXPECT_EQ(ctab(), "图纸A");
  EXPECT_EQ(cadsim::narrow(manager->findActiveLayout(true, db)), "图纸A");
  AcDbLayout* layout = nullptr;
  ASSERT_EQ(acdbOpenObject(layout, manager->findLayoutNamed(L"图纸A", db), AcDb::kForRead), Acad::eOk);
  EXPECT_EQ(layout->getTabOrder(), 3);
  EXPECT_EQ(layout->getBlockTableRecordId(), db->currentSpaceId());
  layout->close();

  ASSERT_EQ(manager->setCurrentLayout(L"model", db), Acad::eOk);  // letter case does not matter
  EXPECT_EQ(ctab(), "Model");
  EXPECT_EQ(db->currentSpaceId(), cadsim::modelSpaceId(db));
  EXPECT_EQ(cadsim::narrow(manager->findActiveLayout(false, db)), "图纸A");
  EXPECT_EQ(manager->setCurrentLayout(L"NoSuch", db), Acad::eKeyNotFound);
  EXPECT_EQ(setCtab(L"NoSuch"), RTERROR);
  EXPECT_TRUE(manager->findLayoutNamed(L"NoSuch", db).isNull());
}

// Each drawing keeps its own current layout; the manager works on the database it is given.
TEST_F(LayoutsTest, DrawingsKeepTheirOwnCurrentLayout) {
  AcApDocument* other = cadsim::newDrawing();
  AcDbDatabase* otherDb = cadsim::databaseOf(other);
  ASSERT_EQ(manager->setCurrentLayout(L"Layout2", otherDb), Acad::eOk);
  EXPECT_EQ(cadsim::currentLayoutName(db), "Model");
  EXPECT_EQ(ctab(), "Layout2");  // the other drawing is current
  cadsim::activate(doc);
  EXPECT_EQ(ctab(), "Model");
  EXPECT_TRUE(manager->findLayoutNamed(L"图纸A", otherDb).isNull());
}

}  // namespace
