// The simulated host's object model: the open/close protocol, erased objects, ids, iterators,
// dictionaries, and the reports of objects left open.
#include <gtest/gtest.h>

#include <memory>

#include "cadsim/control.h"
#include "tests/cadsim/new_drawing_test.h"

namespace {

class ObjectModelTest : public NewDrawingTest {
 protected:
  void SetUp() override {
    NewDrawingTest::SetUp();
    line = cadsim::addLine(db, cadsim::modelSpaceId(db), AcGePoint3d(0, 0, 0), AcGePoint3d(10, 0, 0));
    ASSERT_FALSE(line.isNull());
  }
  AcDbObjectId line;
};

// Many readers or one writer: each row opens the line twice and expects the second status.
TEST_F(ObjectModelTest, OpenModesExcludeEachOtherAsTheHostDoes) {
  struct Case {
    AcDb::OpenMode first, second;
    Acad::ErrorStatus expected;
  } cases[] = {
      {AcDb::kForRead, AcDb::kForRead, Acad::eOk},                  // readers share
      {AcDb::kForRead, AcDb::kForWrite, Acad::eWasOpenForRead},     // writer waits for readers
      {AcDb::kForWrite, AcDb::kForRead, Acad::eWasOpenForWrite},    // readers wait for the writer
      {AcDb::kForWrite, AcDb::kForWrite, Acad::eWasOpenForWrite},   // one writer only
      {AcDb::kForNotify, AcDb::kForWrite, Acad::eWasOpenForNotify}, // notify blocks a writer
  };
  for (const Case& c : cases) {
    AcDbLine* a = nullptr;
    AcDbLine* b = nullptr;
    ASSERT_EQ(acdbOpenObject(a, line, c.first), Acad::eOk);
    EXPECT_EQ(acdbOpenObject(b, line, c.second), c.expected) << static_cast<int>(c.first) << "/" << static_cast<int>(c.second);
    if (b) b->close();
    EXPECT_EQ(a->close(), Acad::eOk);
  }
}

TEST_F(ObjectModelTest, UpgradeAndDowngradeFollowTheReaders) {
  AcDbLine* a = nullptr;
  AcDbLine* b = nullptr;
  ASSERT_EQ(acdbOpenObject(a, line, AcDb::kForRead), Acad::eOk);
  ASSERT_EQ(acdbOpenObject(b, line, AcDb::kForRead), Acad::eOk);
  EXPECT_EQ(a->upgradeOpen(), Acad::eWasOpenForRead);  // another reader holds it
  b->close();
  ASSERT_EQ(a->upgradeOpen(), Acad::eOk);
  a->setEndPoint(AcGePoint3d(5, 5, 0));
  ASSERT_EQ(a->downgradeOpen(), Acad::eOk);
  EXPECT_EQ(a->endPoint(), AcGePoint3d(5, 5, 0));
  EXPECT_EQ(acdbOpenObject(b, line, AcDb::kForRead), Acad::eOk);  // a reader again
  b->close();
  a->close();
}

TEST_F(ObjectModelTest, ErasedObjectsOpenOnlyWhenAskedAndIteratorsSkipThem) {
  AcDbObjectId second = cadsim::addLine(db, cadsim::modelSpaceId(db), AcGePoint3d(), AcGePoint3d(1, 1, 0));
  AcDbLine* l = nullptr;
  ASSERT_EQ(acdbOpenObject(l, line, AcDb::kForWrite), Acad::eOk);
  ASSERT_EQ(l->erase(), Acad::eOk);
  l->close();
  EXPECT_EQ(acdbOpenObject(l, line, AcDb::kForRead), Acad::eWasErased);
  ASSERT_EQ(acdbOpenObject(l, line, AcDb::kForRead, true), Acad::eOk);
  EXPECT_TRUE(l->isErased());
  l->close();

  AcDbBlockTableRecord* ms = nullptr;
  ASSERT_EQ(acdbOpenObject(ms, cadsim::modelSpaceId(db), AcDb::kForRead), Acad::eOk);
  AcDbBlockTableRecordIterator* it = nullptr;
  ASSERT_EQ(ms->newIterator(it, true, true), Acad::eOk);
  std::vector<AcDbObjectId> seen;
  for (it->start(true, true); !it->done(); it->step(true, true)) {
    AcDbObjectId id;
    it->getEntityId(id);
    seen.push_back(id);
  }
  EXPECT_EQ(seen, std::vector<AcDbObjectId>{second});
  size_t all = 0;
  for (it->start(true, false); !it->done(); it->step(true, false)) ++all;
  EXPECT_EQ(all, 2u);  // asked not to skip: the erased one is there
  delete it;
  ms->close();
}

// Wrong ids and wrong classes answer statuses, never a crash.
TEST_F(ObjectModelTest, BadIdsAndWrongClassesAnswerStatuses) {
  AcDbLayout* layout = nullptr;
  EXPECT_EQ(acdbOpenObject(layout, line, AcDb::kForRead), Acad::eNotThatKindOfClass);
  EXPECT_EQ(layout, nullptr);
  EXPECT_EQ(cadsim::openObjectCount(), 0u);  // the mistyped open was closed again
  EXPECT_EQ(acdbOpenObject(layout, AcDbObjectId(), AcDb::kForRead), Acad::eNullObjectId);

  // An id that outlives its database.
  AcDbObjectId stale;
  {
    AcDbDatabase side(true, true);
    stale = cadsim::modelSpaceId(&side);
  }
  AcDbObject* o = nullptr;
  EXPECT_EQ(acdbOpenObject(o, stale, AcDb::kForRead), Acad::eNotInDatabase);
  EXPECT_TRUE(stale.handle().isNull());
}

// The leak report names what was left open. Closing twice, writing an object open for read,
// reading a closed one and destroying a database with an object open are host faults.
TEST_F(ObjectModelTest, ObjectsLeftOpenAndMisusedAreReported) {
  AcDbLine* l = nullptr;
  ASSERT_EQ(acdbOpenObject(l, line, AcDb::kForWrite), Acad::eOk);
  std::vector<std::string> open = cadsim::openObjects();
  ASSERT_EQ(open.size(), 1u);
  EXPECT_EQ(open[0], "AcDbLine " + cadsim::handleText(line) + " write");
  l->close();
  EXPECT_EQ(l->close(), Acad::eNotOpenForRead);
  ASSERT_EQ(acdbOpenObject(l, line, AcDb::kForRead), Acad::eOk);
  l->setStartPoint(AcGePoint3d(1, 1, 1));
  l->close();
  (void)l->startPoint();
  ASSERT_EQ(cadsim::faultLog().size(), 3u);
  cadsim::reset();

  auto side = std::make_unique<AcDbDatabase>(true, true);
  AcDbBlockTable* table = nullptr;
  ASSERT_EQ(side->getBlockTable(table), Acad::eOk);
  side.reset();
  ASSERT_EQ(cadsim::faultLog().size(), 1u);
  EXPECT_NE(cadsim::faultLog()[0].find("AcDbBlockTable"), std::string::npos);
  cadsim::reset();
}

// Entries are found without letter case and erased ones hidden.
TEST_F(ObjectModelTest, DictionaryEntries) {
  AcDbObjectId mine = cadsim::addDictionary(db, "MY_DATA");
  AcDbDictionary* nod = nullptr;
  ASSERT_EQ(db->getNamedObjectsDictionary(nod), Acad::eOk);
  AcDbObjectId found;
  EXPECT_EQ(nod->getAt(L"my_data", found), Acad::eOk);
  EXPECT_EQ(found, mine);
  EXPECT_TRUE(nod->has(L"ACAD_LAYOUT"));
  cadsim::eraseObject(mine);
  EXPECT_EQ(nod->getAt(L"MY_DATA", found), Acad::eKeyNotFound);
  std::unique_ptr<AcDbDictionaryIterator> entries(nod->newIterator());
  for (; !entries->done(); entries->next()) EXPECT_NE(entries->objectId(), mine);
  nod->close();
}

}  // namespace
