// The AutoLISP subset on the simulated host's command line: values, errors, events, and the
// cancellation of the rest of a text sent with sendStringToExecute.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "cadsim/control.h"
#include "tests/cadsim/new_drawing_test.h"

namespace {

// How evaluations and commands end, one word each.
struct EventLog : AcEditorReactor {
  std::string events;
  void add(const std::string& word) { events += (events.empty() ? "" : " ") + word; }
  void lispWillStart(const ACHAR*) override { add("start"); }
  void lispEnded() override { add("ended"); }
  void lispCancelled() override { add("cancelled"); }
  void commandFailed(const ACHAR* name) override { add("failed[" + cadsim::narrow(name) + "]"); }
};

int g_markers = 0;
void MarkerCommand() { ++g_markers; }

class LispTest : public NewDrawingTest {
 protected:
  void SetUp() override {
    NewDrawingTest::SetUp();
    acedEditor->addReactor(&log);
    cadsim::runUntilIdle();
    cadsim::clearOutput();
  }
  void TearDown() override {
    acedEditor->removeReactor(&log);
    NewDrawingTest::TearDown();
  }

  std::string run(const std::string& line) {
    cadsim::clearOutput();
    cadsim::typeLine(line);
    return cadsim::output();
  }
  void send(const std::wstring& text) {
    ASSERT_EQ(acDocManager->sendStringToExecute(doc, text.c_str(), true, false, false), Acad::eOk);
    cadsim::runUntilIdle();
  }

  EventLog log;
};

// What the host echoes for each line. Every error prints "; error: ..." and cancels the
// evaluation; any other line ends it.
TEST_F(LispTest, LinesEvaluateAndEchoLikeTheHost) {
  const struct {
    std::string line;
    const char* output;
  } cases[] = {
      {"(setvar \"CTAB\" \"Layout1\")", "\"Layout1\"\n"},
      {"(getvar \"ctab\")", "\"Layout1\"\n"},            // names without letter case
      {"(getvar \"NOSUCHVAR\")", "nil\n"},
      {"(princ \"a\\\"b\\\\c\\nd\")", "a\"b\\c\nd\"a\\\"b\\\\c\\nd\"\n"},  // escapes: printed, echoed
      {"(princ)", ""},                                   // the quiet exit
      {"(prin1 \"x\")(princ (strcat \"a\" \"b\"))(princ 'sym)(princ -7)(princ 1e3)(princ)",  // several forms
       "\"x\"abSYM-71000.0"},
      {"(foo 1)", "; error: no function definition: FOO\n"},
      {"(setvar \"CTAB\" \"Nope\")", "; error: AutoCAD variable setting rejected: \"CTAB\" \"Nope\"\n"},
      {"(setvar 1 2)", "; error: bad argument type: stringp 1\n"},
      {"(princ \"unterminated)", "; error: malformed string on input\n"},
      {"(princ 1))", "1; error: extra right paren on input\n"},
      {std::string(100000, '(') + "princ" + std::string(100000, ')'),  // refused, not overflowed
       "; error: malformed list on input\n"},
  };
  for (const auto& c : cases) {
    log.events.clear();
    EXPECT_EQ(run(c.line), c.output) << c.line.substr(0, 60);
    EXPECT_EQ(log.events, std::strstr(c.output, "; error:") ? "start cancelled" : "start ended") << c.line.substr(0, 60);
  }
  EXPECT_EQ(cadsim::currentLayoutName(db), "Layout1");
}

// lispCancelled is raised exactly when the rest of the sent text is dropped, marker included: an
// evaluation ended by an error, by (exit), or by closing its own drawing. A command failing inside
// LISP that goes on, or a failing command line, leaves the rest to run.
TEST_F(LispTest, OnlyACancelledEvaluationDropsTheMarker) {
  ASSERT_EQ(acedRegCmds->addCommand(L"TEST", L"MARKER", L"MARKER", 0, MarkerCommand), Acad::eOk);
  struct Case {
    const wchar_t* text;  // sent with the marker line after it
    const char* events;   // LISP and failure events, in order
    const char* printed;  // expected in the output; nullptr: nothing is printed
    bool goesOn;          // "after" is printed and the marker runs
  } cases[] = {
      {L"(undefined-fn)", "start cancelled", "; error: no function definition: UNDEFINED-FN", false},
      {L"(princ \"a\")(exit)(princ \"after\")", "start cancelled", "a; error: quit / exit abort\n", false},
      {L"(command \"CLOSE\") (princ \"after\")", "start cancelled", nullptr, false},  // its drawing is gone
      {L"(command \"NOSUCHCMD\") (princ \"after\")", "start ended",
       "Unknown command \"NOSUCHCMD\".  Press F1 for help.\nafter", true},
      {L"(command \"OPEN\" \"/no/such.dxf\") (princ \"after\")", "start failed[OPEN] ended",
       "Cannot open /no/such.dxf (status 76).\nafter", true},
      {L"NOSUCHCMD", "", "Unknown command \"NOSUCHCMD\".", true},
      {L"OPEN /no/such.dxf\n(princ \"after\")", "failed[OPEN] start ended", "after", true},
  };
  for (const Case& c : cases) {
    cadsim::newDrawing();  // the one the text goes to, and another behind it
    cadsim::runUntilIdle();
    AcApDocument* target = acDocManager->mdiActiveDocument();
    cadsim::clearOutput();
    log.events.clear();
    g_markers = 0;
    std::wstring text = std::wstring(c.text) + L"\nMARKER\n";
    ASSERT_EQ(acDocManager->sendStringToExecute(target, text.c_str(), true, false, false), Acad::eOk);
    cadsim::runUntilIdle();
    EXPECT_EQ(log.events, c.events) << cadsim::narrow(c.text);
    if (c.printed) {
      EXPECT_NE(cadsim::output().find(c.printed), std::string::npos) << cadsim::narrow(c.text) << "\n" << cadsim::output();
    } else {
      EXPECT_EQ(cadsim::output(), "") << cadsim::narrow(c.text);
    }
    const auto open = cadsim::documents();
    EXPECT_EQ(std::find(open.begin(), open.end(), target) != open.end(), !std::wcsstr(c.text, L"CLOSE"))
        << cadsim::narrow(c.text);
    EXPECT_EQ(cadsim::output().find("after") != std::string::npos, c.goesOn && std::wcsstr(c.text, L"after"))
        << cadsim::narrow(c.text);
    EXPECT_EQ(g_markers, c.goesOn ? 1 : 0) << cadsim::narrow(c.text);
  }
}

TEST_F(LispTest, FormsSpanLinesAndRunCommands) {
  send(L"(progn\r\n  (setvar \"CTAB\" \"Layout2\") ; comment (\n  (command \"_REGENALL\")\n  (princ))\n");
  EXPECT_EQ(cadsim::output(), "Regenerating model.\n");
  EXPECT_EQ(cadsim::currentLayoutName(db), "Layout2");
  cadsim::clearOutput();
  // A form never closed is an error once the text ends.
  send(L"(princ \"a\"\n");
  EXPECT_EQ(cadsim::output(), "; error: malformed list on input\n");
}

}  // namespace
