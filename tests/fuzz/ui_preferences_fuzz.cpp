// Feeds arbitrary content to the shell preference reader; it must always name one of the three
// locales.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "plugin/message_language.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string locale =
      LocaleFromPreferencesText(std::string_view(reinterpret_cast<const char*>(data), size));
  if (locale != "zh-CN" && locale != "zh-TW" && locale != "en-US") std::abort();
  return 0;
}
