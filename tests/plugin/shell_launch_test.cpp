// The commands that open the companion shell's pages, against the simulated host's drawings and
// its record of opened URLs. HOME points at a fresh folder, so the language comes from a
// preference file the test writes and the service is never found.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "cadsim/control.h"
#include "link/connection_supervisor.h"
#include "plugin/document_readiness.h"
#include "plugin/shell_launch.h"

namespace fs = std::filesystem;

namespace {

class ShellLaunch : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* home = std::getenv("HOME")) savedHome = home;
    char pattern[] = "/tmp/orvik-shell-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    home = pattern;
    setenv("HOME", home.c_str(), 1);
    cadsim::reset();
    resetDocumentReadiness();
    clearPendingWorkspace();
    cadsim::setDisplayName("My CAD");
    setReadinessMonitoring(true);
    acDocManagerPtr()->addReactor(&documentReactor());
    acedEditor->addReactor(&readinessEditorReactor());
  }
  void TearDown() override {
    stopWebSocketClient();
    clearPendingWorkspace();
    EXPECT_TRUE(cadsim::faultLog().empty()) << cadsim::faultLog().front();
    // Closed one by one: the host's reset trips over several drawings torn down at once.
    for (AcApDocument* doc : cadsim::documents()) cadsim::close(doc);
    cadsim::runUntilIdle();
    cadsim::reset();
    resetDocumentReadiness();
    setenv("HOME", savedHome.c_str(), 1);
    fs::remove_all(home);
  }
  void SetLocale(const std::string& locale) {
    const fs::path folder = fs::path(home) / "Library/Application Support/OrvikKelmShell";
    fs::create_directories(folder);
    std::ofstream(folder / "ui-preferences.json") << "{\"schemaVersion\":1,\"locale\":\"" << locale << "\"}";
  }
  static bool IsPage(const std::string& url, const std::string& route) {
    return std::regex_match(url, std::regex("orvik-kelm://cad/open\\?clientId=\\d{20}&clientName=My%20CAD&route=" +
                                            route));
  }
  std::string home, savedHome;
};

TEST_F(ShellLaunch, WithoutADrawingThePageCommandsExplainInTheShellsLanguage) {
  struct Case {
    const char* locale;
    void (*command)();
    std::string message;
  } cases[] = {
      {"en-US", orvikShowCmd,
       "[Orvik] No active drawing is available. Create or open a DWG, then run ORVIKPLOT again."},
      {"zh-CN", orvikSheetSetCmd,
       "[Orvik] \xE5\xBD\x93\xE5\x89\x8D\xE6\xB2\xA1\xE6\x9C\x89\xE6\xB4\xBB\xE5\x8A\xA8\xE5\x9B\xBE\xE7\xBA\xB8"},
      {"zh-TW", orvikSettingsCmd,
       "[Orvik] \xE7\x9B\xAE\xE5\x89\x8D\xE6\xB2\x92\xE6\x9C\x89\xE4\xBD\x9C\xE7\x94\xA8\xE4\xB8\xAD\xE5\x9C\x96"
       "\xE9\x9D\xA2"},
      {"fr-FR", orvikSettingsCmd,  // not a shell language: English
       "[Orvik] No active drawing is available. Create or open a DWG, then run ORVIKSETTING again."},
  };
  for (const Case& c : cases) {
    SetLocale(c.locale);
    cadsim::clearOutput();
    c.command();
    EXPECT_NE(cadsim::output().find("\n" + c.message), std::string::npos) << c.locale << cadsim::output();
  }
  EXPECT_TRUE(cadsim::openedUrls().empty());
  orvikHomeCmd();  // the home page needs no drawing
  EXPECT_EQ(cadsim::openedUrls(), std::vector<std::string>{"orvik-kelm://cad/open"});
}

TEST_F(ShellLaunch, AConfirmedDrawingOpensThePageWithTheClientIdentifier) {
  cadsim::openDrawing("/a.dwg");
  cadsim::runUntilIdle();
  orvikShowCmd();
  orvikSheetSetCmd();
  orvikSettingsCmd();
  orvikHomeCmd();
  const auto urls = cadsim::openedUrls();
  ASSERT_EQ(urls.size(), 4u);
  EXPECT_TRUE(IsPage(urls[0], "model-current")) << urls[0];
  EXPECT_TRUE(IsPage(urls[1], "sheetset")) << urls[1];
  EXPECT_TRUE(IsPage(urls[2], "settings")) << urls[2];
  EXPECT_EQ(urls[3], "orvik-kelm://cad/open");
  EXPECT_EQ(urls[0].substr(0, 50), urls[1].substr(0, 50));  // one identifier for this client
  EXPECT_EQ(urlEncode("a b'/~\xE5"), "a%20b%27%2F~%E5");    // a quote cannot end a shell argument
}

TEST_F(ShellLaunch, ADrawingStillOpeningGetsItsPageOnlyOnceConfirmed) {
  AcApDocument* a = cadsim::openDrawing("/a.dwg");
  cadsim::setBusy(a, true);
  cadsim::runUntilIdle();
  orvikSettingsCmd();
  cadsim::runUntilIdle();
  EXPECT_TRUE(cadsim::openedUrls().empty());  // waiting
  cadsim::setBusy(a, false);
  cadsim::runUntilIdle();
  ASSERT_EQ(cadsim::openedUrls().size(), 1u);
  EXPECT_TRUE(IsPage(cadsim::openedUrls()[0], "settings"));
  cadsim::runUntilIdle();
  EXPECT_EQ(cadsim::openedUrls().size(), 1u);  // once
}

TEST_F(ShellLaunch, SwitchingDrawingsFirstDropsTheWaitingPage) {
  AcApDocument* a = cadsim::openDrawing("/a.dwg");
  cadsim::setBusy(a, true);
  cadsim::runUntilIdle();
  orvikShowCmd();
  cadsim::openDrawing("/b.dwg");
  cadsim::runUntilIdle();
  cadsim::setBusy(a, false);
  cadsim::activate(a);
  cadsim::runUntilIdle();
  EXPECT_TRUE(cadsim::openedUrls().empty());
}

}  // namespace
