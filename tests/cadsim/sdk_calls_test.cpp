// SDK calls that write drawings or find things, as later plug-in code uses them: adding records
// and attributes, dictionaries with setAt, extension dictionaries, backward iteration, findFile
// beside a drawing.
#include <gtest/gtest.h>

#include <fstream>

#include "cadsim/control.h"
#include "tests/cadsim/new_drawing_test.h"

namespace {

using SdkCallsTest = NewDrawingTest;

TEST_F(SdkCallsTest, SymbolTableAddRefusesDuplicatesAndNeedsWrite) {
  AcDbBlockTable* table = nullptr;
  ASSERT_EQ(db->getBlockTable(table, AcDb::kForRead), Acad::eOk);
  auto* rec = new AcDbBlockTableRecord();
  rec->setName(L"NEW");
  AcDbObjectId id;
  EXPECT_EQ(table->add(id, rec), Acad::eNotOpenForWrite);
  ASSERT_EQ(table->upgradeOpen(), Acad::eOk);
  ASSERT_EQ(table->add(id, rec), Acad::eOk);
  rec->close();
  auto* twin = new AcDbBlockTableRecord();
  twin->setName(L"new");
  AcDbObjectId twinId;
  EXPECT_EQ(table->add(twinId, twin), Acad::eDuplicateKey);
  EXPECT_TRUE(twinId.isNull());
  delete twin;  // refused: still the caller's
  table->close();

  // Backward iteration ends where forward starts.
  AcDbBlockTableIterator* it = nullptr;
  ASSERT_EQ(acdbOpenObject(table, db->blockTableId(), AcDb::kForRead), Acad::eOk);
  ASSERT_EQ(table->newIterator(it, false, true), Acad::eOk);
  AcDbObjectId last, first;
  it->getRecordId(last);
  for (; !it->done(); it->step(false, true)) it->getRecordId(first);
  delete it;
  table->close();
  EXPECT_EQ(cadsim::handleText(first), cadsim::handleText(cadsim::modelSpaceId(db)));
  EXPECT_EQ(last, id);
}

TEST_F(SdkCallsTest, AttributesAndDictionariesAddedThroughTheSdk) {
  AcDbObjectId block = cadsim::addBlockDefinition(db, "B");
  AcDbObjectId refId = cadsim::addBlockReference(db, cadsim::modelSpaceId(db), block, AcGePoint3d());
  AcDbBlockReference* ref = nullptr;
  ASSERT_EQ(acdbOpenObject(ref, refId, AcDb::kForWrite), Acad::eOk);
  auto* att = new AcDbAttribute(AcGePoint3d(), L"v", L"T");
  AcDbObjectId attId;
  ASSERT_EQ(ref->appendAttribute(attId, att), Acad::eOk);
  EXPECT_EQ(att->ownerId(), refId);
  att->close();
  ASSERT_EQ(ref->createExtensionDictionary(), Acad::eOk);
  EXPECT_EQ(ref->createExtensionDictionary(), Acad::eDuplicateKey);
  AcDbObjectId xd = ref->extensionDictionary();
  ref->close();

  AcDbDictionary* dict = nullptr;
  ASSERT_EQ(acdbOpenObject(dict, xd, AcDb::kForWrite), Acad::eOk);
  auto* child = new AcDbDictionary();
  AcDbObjectId childId;
  ASSERT_EQ(dict->setAt(L"CHILD", child, childId), Acad::eOk);
  child->close();
  AcString key;
  ASSERT_EQ(dict->nameAt(childId, key), Acad::eOk);
  EXPECT_STREQ(key.utf8Ptr(), "CHILD");
  ASSERT_EQ(dict->remove(L"child"), Acad::eOk);
  EXPECT_EQ(dict->numEntries(), 0u);
  dict->close();
}

TEST_F(SdkCallsTest, FindFileLooksBesideTheDrawingForOtherFiles) {
  char pattern[] = "/tmp/cadsim_beside_XXXXXX";
  std::string dir = mkdtemp(pattern);
  std::ofstream(dir + "/plan.dxf") << "0\nSECTION\n2\nENTITIES\n0\nENDSEC\n0\nEOF\n";
  std::ofstream(dir + "/xref.dwg") << "x";
  AcApDocument* doc = cadsim::openDrawing(dir + "/plan.dxf");
  ASSERT_NE(doc, nullptr);
  ACHAR out[256];
  EXPECT_EQ(acdbHostApplicationServices()->findFile(out, 256, L"xref.dwg", cadsim::databaseOf(doc),
                                                    AcDbHostApplicationServices::kXRefDrawing),
            Acad::eOk);
  EXPECT_EQ(cadsim::narrow(out), dir + "/xref.dwg");
  EXPECT_EQ(acdbHostApplicationServices()->findFile(out, 256, L"nope.dwg", cadsim::databaseOf(doc)),
            Acad::eFileNotFound);
  cadsim::close(doc);
  EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
}

}  // namespace
