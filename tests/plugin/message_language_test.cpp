// The language of command-line messages, and the commands that open the companion shell's pages
// against the simulated host's drawings, seen through the recording `open` program.
#include "plugin/message_language.h"
#include "plugin/messages.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "cadsim/control.h"
#include "host/platform.h"
#include "link/connection_supervisor.h"
#include "link/runtime_discovery.h"
#include "plugin/document_readiness.h"
#include "plugin/shell_launch.h"
#include "tests/link/loopback.h"

namespace fs = std::filesystem;

namespace {

// HOME points at a fresh folder for each test, so the language comes from a preference file the
// test writes and the service is never found.
class MessageLanguage : public testing::Test {
 protected:
  void SetUp() override {
    if (const char* home = std::getenv("HOME")) savedHome_ = home;
    char pattern[] = "/tmp/orvik-lang-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    home_ = pattern;
    setenv("HOME", home_.c_str(), 1);
    fs::create_directories(fs::path(UiPreferencesPath()).parent_path());
  }
  void TearDown() override {
    setenv("HOME", savedHome_.c_str(), 1);
    fs::remove_all(home_);
  }
  static void WritePreferences(const std::string& text) {
    std::ofstream(UiPreferencesPath(), std::ios::binary | std::ios::trunc) << text;
  }

  std::string home_;
  std::string savedHome_;
};

TEST_F(MessageLanguage, PreferenceFileVariants) {
  const struct {
    const char* content;
    const char* locale;
    const char* why;
  } cases[] = {
      {R"({"schemaVersion":1,"locale":"zh-TW"})", "zh-TW", "valid Traditional Chinese"},
      {"{\"schemaVersion\" :\r\n\t 1 , \"locale\" : \"zh-CN\"}", "zh-CN", "blanks everywhere"},
      {R"({"locale":"zh-TW","schemaVersion":1)", "zh-TW", "the 1 is the last character"},
      {R"({"schemaVersion":10,"locale":"zh-TW"})", "en-US", "10 is not 1"},
      {R"({"schemaVersion":"1","locale":"zh-CN"})", "en-US", "quoted schema"},
      {R"({"schemaVersion":1,"locale":"zh-cn"})", "en-US", "locale is case-sensitive"},
      {R"({"schemaVersion":1,"locale":"zh-CN)", "en-US", "unterminated locale"},
      {R"({"schemaVersion":1})", "en-US", "no locale"},
  };
  for (const auto& c : cases) {
    WritePreferences(c.content);
    EXPECT_EQ(orvikReadUiLocale(), c.locale) << c.why;
    EXPECT_EQ(readBootLocale(), c.locale) << c.why;
  }
}

TEST_F(MessageLanguage, ChangeBetweenTwoMessagesApplies) {
  WritePreferences(R"({"schemaVersion":1,"locale":"zh-CN"})");
  EXPECT_EQ(orvikText(kMsgExtractStart), kMsgExtractStart.zhCN);
  WritePreferences(R"({"schemaVersion":1,"locale":"zh-TW"})");
  EXPECT_EQ(orvikText(kMsgExtractStart), kMsgExtractStart.zhTW);
  EXPECT_EQ(orvikText(L"cn", nullptr, L"en"), std::wstring(L"en")) << "missing text falls back";
}

TEST_F(MessageLanguage, UnusableHomeOrFileSelectsEnglish) {
  WritePreferences(R"({"schemaVersion":1,"locale":"zh-CN"})");
  unsetenv("HOME");
  EXPECT_EQ(orvikText(kMsgFontsRepaired), kMsgFontsRepaired.en);
  setenv("HOME", "", 1);
  EXPECT_EQ(orvikReadUiLocale(), "en-US");

  // A folder or a FIFO at the file's path: English, and no hang waiting for a writer.
  setenv("HOME", home_.c_str(), 1);
  const std::string path = UiPreferencesPath();
  unlink(path.c_str());
  ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
  EXPECT_EQ(orvikReadUiLocale(), "en-US");
  rmdir(path.c_str());
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  EXPECT_EQ(orvikReadUiLocale(), "en-US");
}

// The printf conversions of a wide format, e.g. {"%s", "%.1f", "%hs"}.
std::vector<std::wstring> Placeholders(const wchar_t* format) {
  std::vector<std::wstring> found;
  for (const wchar_t* p = format; *p != L'\0'; ++p) {
    if (*p != L'%') continue;
    const wchar_t* start = p++;
    if (*p == L'%') continue;
    while (*p != L'\0' && std::wcschr(L"-+ #0123456789.*hlLqjzt", *p) != nullptr) ++p;
    if (*p == L'\0') {
      found.push_back(L"<unterminated>");
      break;
    }
    found.emplace_back(start, p + 1);
  }
  return found;
}

TEST(MessageTable, EveryMessageHasThreeTextsWithMatchingPlaceholders) {
  const auto all = AllOrvikMessages();
  ASSERT_GT(all.size(), 40u);
  for (const auto& [name, message] : all) {
    ASSERT_TRUE(message->zhCN && message->zhTW && message->en) << name;
    EXPECT_NE(*message->en, L'\0') << name;
    const auto expected = Placeholders(message->en);
    EXPECT_EQ(Placeholders(message->zhCN), expected) << name;
    EXPECT_EQ(Placeholders(message->zhTW), expected) << name;
  }
}

class ShellLaunch : public MessageLanguage {
 protected:
  void SetUp() override {
    MessageLanguage::SetUp();
    if (const char* path = std::getenv("PATH")) savedPath_ = path;
    setenv("PATH", (std::string(ORVIK_SOURCE_DIR) + "/tools/fake-open:" + savedPath_).c_str(), 1);
    setenv("ORVIK_OPEN_LOG", (home_ + "/opened").c_str(), 1);
    // The commands start the connection: no service on the default port may answer it.
    SetDefaultRuntimePortForTesting(ownPort_.port);
    cadsim::reset();
    resetDocumentReadiness();
    clearPendingWorkspace();
    addProbeFollowUp(finishPendingWorkspace);
    InstallSupervisorHooks({nullptr, fillActiveDocument});
    setReadinessMonitoring(true);
    acDocManagerPtr()->addReactor(&documentReactor());
    acedEditor->addReactor(&readinessEditorReactor());
  }
  void TearDown() override {
    stopWebSocketClient();
    clearPendingWorkspace();
    clearProbeFollowUps();
    EXPECT_TRUE(cadsim::faultLog().empty()) << cadsim::faultLog().front();
    // Closed one by one: the host's reset trips over several drawings torn down at once.
    for (AcApDocument* doc : cadsim::documents()) cadsim::close(doc);
    cadsim::runUntilIdle();
    cadsim::reset();
    resetDocumentReadiness();
    setenv("PATH", savedPath_.c_str(), 1);
    unsetenv("ORVIK_OPEN_LOG");
    SetDefaultRuntimePortForTesting(0);
    MessageLanguage::TearDown();
  }
  // The URLs opened so far, in order.
  std::vector<std::string> OpenedUrls() const {
    std::vector<std::string> urls;
    std::ifstream in(home_ + "/opened");
    for (std::string line; std::getline(in, line);) {
      EXPECT_EQ(line.rfind("open URL ", 0), 0u) << line;
      urls.push_back(line.substr(std::min(line.size(), sizeof("open URL ") - 1)));
    }
    return urls;
  }
  // A page URL for the route, carrying a client identifier and this process's display name.
  static bool IsPage(const std::string& url, const std::string& route) {
    return std::regex_match(url, std::regex("orvik-kelm://cad/open\\?clientId=\\d{20}&clientName=" +
                                            urlEncode(OrvikProcessDisplayName()) + "&route=" + route));
  }
  static std::string ClientId(const std::string& url) {
    std::smatch m;
    return std::regex_search(url, m, std::regex("[?&]clientId=([^&]*)")) ? m[1].str() : std::string();
  }

  std::string savedPath_;
  loopback::ReservedPort ownPort_;
};

TEST_F(ShellLaunch, WithoutADrawingThePageCommandsExplainInTheShellsLanguage) {
  struct Case {
    const char* locale;
    void (*command)();
    std::string message;
  } cases[] = {
      {"en-US", orvikShowCmd,
       "[Orvik] No active drawing is available. Create or open a DWG, then run ORVIKPLOT again."},
      {"zh-TW", orvikSheetSetCmd,
       "[Orvik] \xE7\x9B\xAE\xE5\x89\x8D\xE6\xB2\x92\xE6\x9C\x89\xE4\xBD\x9C\xE7\x94\xA8\xE4\xB8\xAD\xE5\x9C\x96"
       "\xE9\x9D\xA2"},
      {"fr-FR", orvikSettingsCmd,  // not a shell language: English
       "[Orvik] No active drawing is available. Create or open a DWG, then run ORVIKSETTING again."},
  };
  for (const Case& c : cases) {
    WritePreferences(std::string("{\"schemaVersion\":1,\"locale\":\"") + c.locale + "\"}");
    cadsim::clearOutput();
    c.command();
    EXPECT_NE(cadsim::output().find("\n" + c.message), std::string::npos) << c.locale << cadsim::output();
  }
  EXPECT_TRUE(OpenedUrls().empty());
  orvikHomeCmd();  // the home page needs no drawing
  EXPECT_EQ(OpenedUrls(), std::vector<std::string>{"orvik-kelm://cad/open"});
}

// A switch to another drawing first drops the waiting page; a drawing still opening gets its page
// once confirmed, and only once. (The identifier matching the connection's is the end-to-end test's.)
TEST_F(ShellLaunch, APageWaitsForTheDrawingToBeConfirmedAndASwitchDropsIt) {
  AcApDocument* a = cadsim::openDrawing("/a.dwg");
  cadsim::setBusy(a, true);
  cadsim::runUntilIdle();
  orvikShowCmd();
  cadsim::openDrawing("/b.dwg");
  cadsim::runUntilIdle();
  cadsim::setBusy(a, false);
  cadsim::activate(a);
  cadsim::runUntilIdle();
  EXPECT_TRUE(OpenedUrls().empty());

  AcApDocument* c = cadsim::openDrawing("/c.dwg");
  cadsim::setBusy(c, true);
  cadsim::runUntilIdle();
  orvikSettingsCmd();
  cadsim::runUntilIdle();
  EXPECT_TRUE(OpenedUrls().empty());
  cadsim::setBusy(c, false);
  cadsim::runUntilIdle();
  orvikSheetSetCmd();  // confirmed: at once
  cadsim::runUntilIdle();
  const auto urls = OpenedUrls();  // the waiting page once, then the other
  ASSERT_EQ(urls.size(), 2u);
  EXPECT_TRUE(IsPage(urls[0], "settings")) << urls[0];
  EXPECT_TRUE(IsPage(urls[1], "sheetset")) << urls[1];
  EXPECT_EQ(ClientId(urls[0]), ClientId(urls[1]));  // one identifier for this client
  EXPECT_EQ(urlEncode("a b'/~\xE5"), "a%20b%27%2F~%E5");  // a quote cannot end a shell argument
}

}  // namespace
