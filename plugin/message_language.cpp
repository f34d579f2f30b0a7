#include "plugin/message_language.h"

#include <cstddef>
#include <cstdlib>

#include "host/small_file.h"

namespace {

constexpr const char* kEnglish = "en-US";

// The shell writes a few hundred bytes; anything far larger is not its preference file.
constexpr size_t kMaxPreferenceBytes = 1 << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string ReadLocale() {
  const std::string path = UiPreferencesPath();
  std::string content;
  if (path.empty() || !ReadSmallRegularFile(path, kMaxPreferenceBytes, content)) return kEnglish;
  return LocaleFromPreferencesText(content);
}

}  // namespace

std::string UiPreferencesPath() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') return {};
  return std::string(home) + "/Library/Application Support/OrvikKelmShell/ui-preferences.json";
}

std::string LocaleFromPreferencesText(std::string_view text) {
  constexpr std::string_view kSchemaKey = "\"schemaVersion\"";
  constexpr std::string_view kLocaleKey = "\"locale\"";
  constexpr auto kNone = std::string_view::npos;

  const size_t schema = text.find(kSchemaKey);
  if (schema == kNone) return kEnglish;
  size_t at = text.find(':', schema + kSchemaKey.size());
  if (at == kNone) return kEnglish;
  ++at;
  while (at < text.size() && IsBlank(text[at])) ++at;
  if (at >= text.size() || text[at] != '1') return kEnglish;
  if (at + 1 < text.size() && text[at + 1] >= '0' && text[at + 1] <= '9') return kEnglish;

  const size_t locale = text.find(kLocaleKey);
  if (locale == kNone) return kEnglish;
  const size_t colon = text.find(':', locale + kLocaleKey.size());
  if (colon == kNone) return kEnglish;
  const size_t open = text.find('"', colon + 1);
  if (open == kNone) return kEnglish;
  const size_t close = text.find('"', open + 1);
  if (close == kNone) return kEnglish;
  const std::string_view value = text.substr(open + 1, close - open - 1);
  if (value == "zh-CN" || value == "zh-TW") return std::string(value);
  return kEnglish;
}

std::string orvikReadUiLocale() { return ReadLocale(); }

std::string readBootLocale() { return ReadLocale(); }

const ACHAR* orvikText(const ACHAR* zhCN, const ACHAR* zhTW, const ACHAR* en) {
  const std::string locale = orvikReadUiLocale();
  const ACHAR* chosen = locale == "zh-CN" ? zhCN : locale == "zh-TW" ? zhTW : en;
  return chosen != nullptr ? chosen : en;
}

std::string noActiveDocumentMessage(const std::string& commandName) {
  const std::string locale = readBootLocale();
  if (locale == "zh-CN") {
    return "[Orvik] 当前没有活动图纸。请先新建或打开 DWG，再执行 " + commandName + "。";
  }
  if (locale == "zh-TW") {
    return "[Orvik] 目前沒有作用中圖面。請先建立或開啟 DWG，再執行 " + commandName + "。";
  }
  return "[Orvik] No active drawing is available. Create or open a DWG, then run " + commandName +
         " again.";
}
