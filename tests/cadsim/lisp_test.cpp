// The AutoLISP subset on the simulated host's command line: values, errors, events, and the
// cancellation of the rest of a text sent with sendStringToExecute.
#include <gtest/gtest.h>

#include "cadsim/control.h"

namespace {

struct EventLog : AcEditorReactor {
  std::string events;
  void lispWillStart(const ACHAR* firstLine) override { events += "start[" + cadsim::narrow(firstLine) + "] "; }
  void lispEnded() override { events += "ended "; }
  void lispCancelled() override { events += "cancelled "; }
  void commandWillStart(const ACHAR* name) override { events += "cmd[" + cadsim::narrow(name) + "] "; }
};

class LispTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cadsim::reset();
    doc = cadsim::newDrawing();
    acedEditor->addReactor(&log);
    cadsim::runUntilIdle();
    cadsim::clearOutput();
  }
  void TearDown() override { acedEditor->removeReactor(&log); }

  std::string run(const std::string& line) {
    cadsim::clearOutput();
    cadsim::typeLine(line);
    return cadsim::output();
  }
  void send(const std::wstring& text) {
    ASSERT_EQ(acDocManager->sendStringToExecute(doc, text.c_str(), true, false, false), Acad::eOk);
    cadsim::runUntilIdle();
  }

  AcApDocument* doc = nullptr;
  EventLog log;
};

// What the host echoes for each expression.
TEST_F(LispTest, ExpressionsEvaluateAndEchoLikeTheHost) {
  struct Case {
    const char* line;
    const char* output;
  } cases[] = {
      {"(setvar \"CTAB\" \"Layout1\")", "\"Layout1\"\n"},
      {"(getvar \"ctab\")", "\"Layout1\"\n"},            // names without letter case
      {"(getvar \"DWGTITLED\")", "0\n"},                 // numeric variables are integers
      {"(getvar \"NOSUCHVAR\")", "nil\n"},
      {"(princ \"a\\\"b\\\\c\\nd\")", "a\"b\\c\nd\"a\\\"b\\\\c\\nd\"\n"},  // escapes: printed, echoed
      {"(princ)", ""},                                   // the quiet exit
      {"(princ 42)(princ)", "42"},                       // several forms on one line
      {"(prin1 \"x\")(princ (strcat \"a\" \"b\"))(princ)", "\"x\"ab"},
      {"(princ 'sym)(princ -7)(princ 1e3)(princ)", "SYM-71000.0"},
  };
  for (const Case& c : cases) EXPECT_EQ(run(c.line), c.output) << c.line;
  EXPECT_EQ(cadsim::currentLayoutName(cadsim::databaseOf(doc)), "Layout1");
}

// Every error prints "; error: ..." and cancels the evaluation.
TEST_F(LispTest, ErrorsAreReportedLikeTheHost) {
  struct Case {
    const char* line;
    const char* output;
  } cases[] = {
      {"(foo 1)", "; error: no function definition: FOO\n"},
      {"(setvar \"CTAB\" \"Nope\")", "; error: AutoCAD variable setting rejected: \"CTAB\" \"Nope\"\n"},
      {"(setvar 1 2)", "; error: bad argument type: stringp 1\n"},
      {"(getvar)", "; error: too few arguments\n"},
      {"(princ \"unterminated)", "; error: malformed string on input\n"},
      {"(princ 1))", "1; error: extra right paren on input\n"},
      {"((1) 2)", "; error: bad function: (1)\n"},
  };
  for (const Case& c : cases) {
    log.events.clear();
    EXPECT_EQ(run(c.line), c.output) << c.line;
    EXPECT_NE(log.events.find("cancelled"), std::string::npos) << c.line;
  }
}

TEST_F(LispTest, DeepNestingIsRefusedNotOverflowed) {
  std::string deep(100000, '(');
  EXPECT_EQ(run(deep + "princ" + std::string(100000, ')')), "; error: malformed list on input\n");
}

// A failing line cancels the rest of the same text, with its lisp events: the marker after it never runs, and text
// sent later runs normally.
TEST_F(LispTest, AFailingLineCancelsTheRestOfItsText) {
  send(L"(princ \"one\")\n(undefined-fn)\n(princ \"marker\")\nREGENALL\n");
  EXPECT_EQ(cadsim::output(), "one\"one\"\n; error: no function definition: UNDEFINED-FN\n");
  EXPECT_EQ(log.events, "start[(princ \"one\")] ended start[(undefined-fn)] cancelled ");
  cadsim::clearOutput();
  send(L"(princ \"later\")\n");
  EXPECT_EQ(cadsim::output(), "later\"later\"\n");
}

TEST_F(LispTest, FormsSpanLinesAndRunCommands) {
  send(L"(progn\r\n  (setvar \"CTAB\" \"Layout2\") ; comment (\n  (command \"_REGENALL\")\n  (princ))\n");
  EXPECT_EQ(cadsim::output(), "Regenerating model.\n");
  EXPECT_EQ(cadsim::currentLayoutName(cadsim::databaseOf(doc)), "Layout2");
  EXPECT_NE(log.events.find("cmd[REGENALL]"), std::string::npos);
  cadsim::clearOutput();
  // A form never closed is an error once the text ends.
  send(L"(princ \"a\"\n");
  EXPECT_EQ(cadsim::output(), "; error: malformed list on input\n");
}

TEST_F(LispTest, RefusedCtabWriteFailsTheSetvar) {
  cadsim::failCall("acedSetVar:CTAB", RTERROR);
  EXPECT_EQ(run("(setvar \"CTAB\" \"Layout1\")"),
            "; error: AutoCAD variable setting rejected: \"CTAB\" \"Layout1\"\n");
  EXPECT_EQ(cadsim::currentLayoutName(cadsim::databaseOf(doc)), "Model");
}

}  // namespace
