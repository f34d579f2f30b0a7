#include "plugin/message_language.h"
#include "plugin/messages.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cwchar>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

// HOME points at a fresh folder for each test; the shell's folder is created inside it.
class MessageLanguage : public testing::Test {
 protected:
  void SetUp() override {
    if (const char* home = std::getenv("HOME")) savedHome_ = home, hadHome_ = true;
    char pattern[] = "/tmp/orvik-lang-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    home_ = pattern;
    setenv("HOME", home_.c_str(), 1);
    const std::string library = home_ + "/Library";
    mkdir(library.c_str(), 0700);
    mkdir((library + "/Application Support").c_str(), 0700);
    mkdir((library + "/Application Support/OrvikKelmShell").c_str(), 0700);
  }
  void TearDown() override {
    if (hadHome_) {
      setenv("HOME", savedHome_.c_str(), 1);
    } else {
      unsetenv("HOME");
    }
    std::system(("rm -rf '" + home_ + "'").c_str());
  }
  static void WritePreferences(const std::string& text) {
    std::ofstream(UiPreferencesPath(), std::ios::binary | std::ios::trunc) << text;
  }

  std::string home_;
  std::string savedHome_;
  bool hadHome_ = false;
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
      {R"({"schemaVersion":2,"locale":"zh-CN"})", "en-US", "unknown schema"},
      {R"({"schemaVersion":"1","locale":"zh-CN"})", "en-US", "quoted schema"},
      {R"({"schemaVersion":1,"locale":"fr-FR"})", "en-US", "unknown locale"},
      {R"({"schemaVersion":1,"locale":"zh-cn"})", "en-US", "locale is case-sensitive"},
      {R"({"schemaVersion":1,"locale":"zh-CN)", "en-US", "unterminated locale"},
      {R"({"schemaVersion":1})", "en-US", "no locale"},
      {R"({"locale":"zh-CN"})", "en-US", "no schema"},
      {"", "en-US", "empty file"},
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
  EXPECT_EQ(noActiveDocumentMessage("ORVIKPLOT"),
            "[Orvik] 目前沒有作用中圖面。請先建立或開啟 DWG，再執行 ORVIKPLOT。");
  EXPECT_EQ(orvikText(L"cn", nullptr, L"en"), std::wstring(L"en")) << "missing text falls back";
}

TEST_F(MessageLanguage, UnusableHomeOrFileSelectsEnglish) {
  WritePreferences(R"({"schemaVersion":1,"locale":"zh-CN"})");
  unsetenv("HOME");
  EXPECT_EQ(orvikText(kMsgFontsRepaired), kMsgFontsRepaired.en);
  EXPECT_EQ(noActiveDocumentMessage("ORVIKPLOT"),
            "[Orvik] No active drawing is available. Create or open a DWG, then run ORVIKPLOT "
            "again.");
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
  std::set<std::wstring> english;
  for (const auto& [name, message] : all) {
    ASSERT_TRUE(message->zhCN && message->zhTW && message->en) << name;
    EXPECT_NE(*message->en, L'\0') << name;
    EXPECT_TRUE(english.insert(message->en).second) << name << " repeats an English text";
    const auto expected = Placeholders(message->en);
    EXPECT_EQ(Placeholders(message->zhCN), expected) << name;
    EXPECT_EQ(Placeholders(message->zhTW), expected) << name;
  }
}

}  // namespace
