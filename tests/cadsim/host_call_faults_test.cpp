// Host calls made to fail on demand: every fault point fails the way the host fails that call,
// calls are counted once each under their own name, and the nth call (of one name or of all)
// is the one that fails.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cadsim/control.h"
#include "tests/cadsim/new_drawing_test.h"

namespace {

using HostCallFaultsTest = NewDrawingTest;

std::string Status(int status) { return std::to_string(status); }
template <class T>
std::string Pointer(T* p) {
  return p ? "set" : "null";
}

void NoCommand() {}

// The status of `open`, made right after arm(); whatever it opened anyway is closed again.
template <class T, class Open>
std::string Closed(const std::function<void()>& arm, Open open) {
  T* p = nullptr;
  arm();
  Acad::ErrorStatus es = open(p);
  if (p) p->close();
  return Status(es);
}

// One row per fault point: the call, made right after arm() plants "fail the next host call",
// answers its own failure. Objects a call opens anyway are closed, so a row that does not fail
// shows as a wrong answer rather than a leak.
TEST_F(HostCallFaultsTest, EachFaultPointFailsTheWayTheHostFailsIt) {
  AcApDocManager* manager = acDocManagerPtr();
  // A multi-line attribute, open for read while `read` runs.
  const AcDbObjectId block = cadsim::addBlockDefinition(db, "B");
  const AcDbObjectId ref = cadsim::addBlockReference(db, cadsim::modelSpaceId(db), block, {0, 0, 0},
                                                     {{"T", "one\\Ptwo", true, false}});
  auto WithAttribute = [&](const std::function<void()>& arm, const std::function<std::string(AcDbAttribute*)>& read) {
    AcDbBlockReference* r = nullptr;
    acdbOpenObject(r, ref, AcDb::kForRead);
    std::unique_ptr<AcDbObjectIterator> it(r->attributeIterator());
    AcDbAttribute* a = nullptr;
    acdbOpenObject(a, it->objectId(), AcDb::kForRead);
    r->close();
    arm();
    std::string answer = read(a);
    a->close();
    return answer;
  };
  AcDbLayoutManager* layouts = acdbHostApplicationServices()->layoutManager();
  AcDbObjectId layout1 = cadsim::layoutId(db, "Layout1");
  struct Row {
    const char* name;
    std::function<std::string(const std::function<void()>& arm)> call;
    std::string failure;
  } rows[] = {
      {"lockDocument", [&](auto& arm) { arm(); return Status(manager->lockDocument(doc)); }, "320"},
      {"setCurDocument", [&](auto& arm) { arm(); return Status(manager->setCurDocument(doc)); }, "335"},
      {"sendStringToExecute", [&](auto& arm) { arm(); return Status(manager->sendStringToExecute(doc, L"REGENALL\n")); }, "2"},
      {"beginExecuteInApplicationContext",
       [&](auto& arm) { arm(); return Status(manager->beginExecuteInApplicationContext([](void*) {}, nullptr)); }, "335"},
      {"appContextOpenDocument", [&](auto& arm) { arm(); return Status(manager->appContextOpenDocument(L"/no/such.dxf")); }, "72"},
      {"appContextCloseDocument", [&](auto& arm) { arm(); return Status(manager->appContextCloseDocument(doc)); }, "2"},
      {"newAcApDocumentIterator", [&](auto& arm) {
         arm();
         return Pointer(std::unique_ptr<AcApDocumentIterator>(manager->newAcApDocumentIterator()).get());
       }, "null"},
      {"disableDocumentActivation", [&](auto& arm) { arm(); return Status(manager->disableDocumentActivation()); }, "335"},
      {"enableDocumentActivation", [&](auto& arm) { arm(); return Status(manager->enableDocumentActivation()); }, "335"},
      {"inputPointManager", [&](auto& arm) { arm(); return Pointer(doc->inputPointManager()); }, "null"},
      {"addInputContextReactor", [&](auto& arm) {
         static AcEdInputContextReactor reactor;
         AcEdInputPointManager* input = doc->inputPointManager();
         arm();
         return Status(input->addInputContextReactor(&reactor));
       }, "335"},
      {"addCommand", [&](auto& arm) { arm(); return Status(acedRegCmds->addCommand(L"G", L"C", L"C", 0, NoCommand)); }, "23"},
      {"acedGetVar", [&](auto& arm) { resbuf rb{}; arm(); return Status(acedGetVar(L"DWGTITLED", &rb)); }, Status(RTERROR)},
      {"acedSetVar", [&](auto& arm) {
         std::wstring name = L"Layout1";
         resbuf rb{};
         rb.restype = RTSTR;
         rb.resval.rstring = &name[0];
         arm();
         return Status(acedSetVar(L"CTAB", &rb));
       }, Status(RTREJ)},
      {"acdbOpenObject", [&](auto& arm) {
         return Closed<AcDbLayout>(arm, [&](AcDbLayout*& l) { return acdbOpenObject(l, layout1, AcDb::kForRead); });
       }, "83"},
      {"getLayoutDictionary", [&](auto& arm) {
         return Closed<AcDbDictionary>(arm, [&](AcDbDictionary*& d) { return db->getLayoutDictionary(d); });
       }, "83"},
      {"getTextStyleTable", [&](auto& arm) {
         return Closed<AcDbTextStyleTable>(arm, [&](AcDbTextStyleTable*& t) { return db->getTextStyleTable(t); });
       }, "83"},
      {"getRecord", [&](auto& arm) {
         AcDbTextStyleTable* t = nullptr;
         db->getTextStyleTable(t);
         AcDbTextStyleTableIterator* it = nullptr;
         t->newIterator(it);
         std::string answer = Closed<AcDbTextStyleTableRecord>(arm, [&](auto*& r) { return it->getRecord(r); });
         delete it;
         t->close();
         return answer;
       }, "83"},
      {"getEntity", [&](auto& arm) {
         AcDbBlockTableRecord* space = nullptr;
         acdbOpenObject(space, cadsim::layoutSpaceId(db, "Layout1"), AcDb::kForRead);
         AcDbBlockTableRecordIterator* it = nullptr;
         space->newIterator(it);
         std::string answer = Closed<AcDbEntity>(arm, [&](auto*& e) { return it->getEntity(e); });
         delete it;
         space->close();
         return answer;
       }, "83"},
      {"newIterator", [&](auto& arm) {
         AcDbLayerTable* t = nullptr;
         db->getLayerTable(t);
         AcDbLayerTableIterator* it = nullptr;
         arm();
         Acad::ErrorStatus es = t->newIterator(it);
         delete it;
         t->close();
         return Status(es);
       }, "6"},
      {"newIterator", [&](auto& arm) {  // a dictionary's answers a null iterator
         AcDbDictionary* d = nullptr;
         db->getLayoutDictionary(d);
         arm();
         std::unique_ptr<AcDbDictionaryIterator> it(d->newIterator());
         d->close();
         return Pointer(it.get());
       }, "null"},
      {"upgradeOpen", [&](auto& arm) {
         AcDbLayout* l = nullptr;
         acdbOpenObject(l, layout1, AcDb::kForRead);
         arm();
         Acad::ErrorStatus es = l->upgradeOpen();
         l->close();
         return Status(es);
       }, "82"},
      {"findFile", [&](auto& arm) {
         AcString out;
         arm();
         return Status(acdbHostApplicationServices()->findFile(out, L"txt.shx", db, AcDbHostApplicationServices::kFontFile));
       }, "76"},
      {"setCurrentLayout", [&](auto& arm) { arm(); return Status(layouts->setCurrentLayout(L"Layout1", db)); }, "335"},
      {"setCurrentLayoutId", [&](auto& arm) { arm(); return Status(layouts->setCurrentLayoutId(layout1)); }, "335"},
      {"findActiveLayout", [&](auto& arm) { arm(); return Pointer(layouts->findActiveLayout(true, db)); }, "null"},
      {"getActiveLayoutName", [&](auto& arm) { AcString n; arm(); return Status(layouts->getActiveLayoutName(n, true, db)); }, "22"},
      {"findLayoutNamed", [&](auto& arm) { arm(); return layouts->findLayoutNamed(L"Layout1", db).isNull() ? "null" : "set"; }, "null"},
      {"getAcDbObjectId", [&](auto& arm) { AcDbObjectId id; arm(); return Status(db->getAcDbObjectId(id, false, layout1.handle())); }, "13"},
      {"readDwgFile", [&](auto& arm) { AcDbDatabase side(false, true); arm(); return Status(side.readDwgFile(L"/no/such.dxf")); }, "72"},
      {"appContextOpenDocument", [&](auto& arm) {
         AcApDocManager::DocOpenParams p{};
         p.mpwszFileName = L"/no/such.dxf";
         p.mnFlags = 6;
         arm();
         return Status(manager->appContextOpenDocument(&p));
       }, "72"},
      {"acedSSGet", [&](auto& arm) {
         ads_name ss = {0, 0};
         arm();
         return Status(acedSSGet(L"X", nullptr, nullptr, nullptr, ss));
       }, Status(RTERROR)},
      {"acedSetCurrentView", [&](auto& arm) { AcDbViewTableRecord v; arm(); return Status(acedSetCurrentView(&v, nullptr)); }, "3"},
      {"getName", [&](auto& arm) {
         AcDbLayout* l = nullptr;
         acdbOpenObject(l, layout1, AcDb::kForRead);
         AcString name;
         arm();
         Acad::ErrorStatus es = l->getName(name);
         l->close();
         return Status(es);
       }, "3"},
      {"tag", [&](auto& arm) { return WithAttribute(arm, [](AcDbAttribute* a) { AcString t; return Status(a->tag(t)); }); }, "3"},
      {"textString", [&](auto& arm) { return WithAttribute(arm, [](AcDbAttribute* a) { AcString t; return Status(a->textString(t)); }); }, "3"},
      {"getMTextAttribute", [&](auto& arm) {
         return WithAttribute(arm, [](AcDbAttribute* a) { return Pointer(std::unique_ptr<AcDbMText>(a->getMTextAttribute()).get()); });
       }, "null"},
      {"text", [&](auto& arm) {
         return WithAttribute([] {}, [&](AcDbAttribute* a) {
           std::unique_ptr<AcDbMText> m(a->getMTextAttribute());
           AcString t;
           arm();
           return Status(m->text(t));
         });
       }, "3"},
      {"workingDatabase", [&](auto& arm) { arm(); return Pointer(acdbHostApplicationServices()->workingDatabase()); }, "null"},
      {"layoutManager", [&](auto& arm) { arm(); return Pointer(acdbHostApplicationServices()->layoutManager()); }, "null"},
  };
  for (const Row& row : rows) {
    std::string answer = row.call([] {
      cadsim::clearFaults();
      cadsim::failNthHostCall(1);
    });
    EXPECT_EQ(answer, row.failure) << row.name;
    EXPECT_EQ(cadsim::injectedFailures(), std::vector<std::string>{row.name});
    EXPECT_EQ(cadsim::hostCallCount(), 1u) << row.name;  // the call alone, nothing it is made of
  }
  cadsim::clearFaults();
  while (cadsim::lockCount(doc) > 0) manager->unlockDocument(doc);
}

TEST_F(HostCallFaultsTest, TheNthCallOfANameFailsOnceOrFromThenOn) {
  AcApDocManager* manager = acDocManagerPtr();
  struct Case {
    bool persistent;
    std::vector<Acad::ErrorStatus> answers;  // of four locks in a row
  } cases[] = {
      {false, {Acad::eOk, Acad::eLockViolation, Acad::eOk, Acad::eOk}},
      {true, {Acad::eOk, Acad::eLockViolation, Acad::eLockViolation, Acad::eLockViolation}},
  };
  for (const Case& c : cases) {
    cadsim::clearFaults();
    cadsim::failNthCall("lockDocument", 2, Acad::eLockViolation, c.persistent);
    std::vector<Acad::ErrorStatus> answers;
    for (int i = 0; i < 4; ++i) {
      answers.push_back(manager->lockDocument(doc));
      manager->unlockDocument(doc);
    }
    EXPECT_EQ(answers, c.answers) << c.persistent;
    EXPECT_EQ(cadsim::hostCallCount("lockDocument"), 4u);
    EXPECT_EQ(cadsim::hostCallCount("unlockDocument"), 0u);  // not a fault point
  }
  cadsim::clearFaults();
  EXPECT_EQ(cadsim::hostCallCount(), 0u);
}

TEST_F(HostCallFaultsTest, CountsSeeTheCallerOnlyAndArgumentFaultsAreNoCallsOfTheirOwn) {
  // The host's own work is not counted: a LISP setvar, a builder, a typed command.
  cadsim::typeLine("(setvar \"CTAB\" \"Layout1\")");
  cadsim::addLayer(db, "L");
  cadsim::typeLine("REGENALL");
  EXPECT_EQ(cadsim::hostCallCount(), 0u);

  // An opening call counts under its own name, yet a fault planted on acdbOpenObject fails it.
  cadsim::failCall("acdbOpenObject", Acad::eNotApplicable);
  AcDbLayerTable* table = nullptr;
  EXPECT_EQ(db->getLayerTable(table), Acad::eNotApplicable);
  EXPECT_EQ(cadsim::hostCallCounts(), (std::map<std::string, size_t>{{"getLayerTable", 1}}));

  // The argument fault takes the first setCurrentLayout; the nth fault counts calls only, so the
  // second setCurrentLayout is call 2 and fails with the call's own failure.
  AcDbLayoutManager* layouts = acdbHostApplicationServices()->layoutManager();
  cadsim::clearFaults();
  cadsim::failCall("setCurrentLayout:Layout2", Acad::eKeyNotFound);
  cadsim::failNthHostCall(2);
  EXPECT_EQ(layouts->setCurrentLayout(L"Layout2", db), Acad::eKeyNotFound);
  EXPECT_EQ(layouts->setCurrentLayout(L"Layout2", db), Acad::eInvalidContext);
  EXPECT_EQ(layouts->setCurrentLayout(L"Layout2", db), Acad::eOk);
  EXPECT_EQ(cadsim::injectedFailures(),
            (std::vector<std::string>{"setCurrentLayout:Layout2", "setCurrentLayout"}));
  EXPECT_EQ(cadsim::hostCallCount(), 3u);
}

}  // namespace
