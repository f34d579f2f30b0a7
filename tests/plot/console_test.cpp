// The two console functions that ask for their input: each answer is the line typed after the
// command, and the lines after the answer still run as commands.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cadsim/control.h"
#include "plot/plot_catalogues.h"

namespace {

class ConsolePrompts : public ::testing::Test {
 protected:
  void SetUp() override {
    cadsim::reset();
    doc = cadsim::newDrawing();
    acedRegCmds->addCommand(L"TESTS", L"PAPERS", L"PAPERS", 0, getPaperSizesCmd);
    acedRegCmds->addCommand(L"TESTS", L"VERIFYDIR", L"VERIFYDIR", 0, verifyDirCmd);
  }
  void TearDown() override { cadsim::reset(); }

  // Everything the command line shows after the typed text has run, one string.
  std::string Type(const wchar_t* text) {
    cadsim::takeOutputLines();
    acDocManager->sendStringToExecute(doc, text);
    cadsim::runUntilIdle();
    acutPrintf(L"\n");  // ends the last line, which a message may leave open
    std::string all;
    for (const std::string& line : cadsim::takeOutputLines()) all += line + "\n";
    return all;
  }

  AcApDocument* doc = nullptr;
};

TEST_F(ConsolePrompts, AnswersAreTheLinesTypedAfterTheCommand) {
  std::string out = Type(L"PAPERS\nDWG To PDF.pc3\n(princ \"after\")\n");
  EXPECT_NE(out.find("Enter the target printer name: "), std::string::npos) << out;
  EXPECT_NE(out.find("====== [C++ Paper sizes for DWG To PDF.pc3] ======"), std::string::npos) << out;
  EXPECT_NE(out.find("after"), std::string::npos) << out;  // the answer was read, not run

  out = Type(L"PAPERS\nNo Such Device\n");
  EXPECT_NE(out.find("[Error] The specified printer was not found or validation failed."), std::string::npos)
      << out;

  out = Type(L"VERIFYDIR\n/tmp\n");
  EXPECT_NE(out.find("Directory '/tmp' exists."), std::string::npos) << out;
  // Nothing typed ahead: the prompt is cancelled, as by Esc.
  out = Type(L"VERIFYDIR");
  EXPECT_NE(out.find("[Cancelled] No path was entered."), std::string::npos) << out;
}

}  // namespace
