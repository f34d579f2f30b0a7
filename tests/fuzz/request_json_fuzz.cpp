// Runs every request field reader on arbitrary text. The input is "key NUL json" (no NUL: the
// whole input is the json and the key is "a"). Traps when escaping leaves a raw control character
// or does not survive a round trip through the unescaper.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "pipeline/request_json.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  const std::string_view key = split == std::string_view::npos ? "a" : input.substr(0, split);
  const std::string_view json = split == std::string_view::npos ? input : input.substr(split + 1);

  (void)JsonStringValue(json, key);
  (void)JsonNumberValue(json, key, 0.0);
  (void)JsonBoolValue(json, key, false);
  const std::string object = JsonObjectValue(json, key);
  if (!object.empty() && (object.front() != '{' || object.back() != '}')) std::abort();
  (void)SimpleUnescape(json);

  std::string text = "untouched";
  ReadQuotedText(json, key, text);
  ReadEscapedQuotedText(json, key, text);
  double number = 0;
  try {
    ReadPlainNumber(json, key, number);
  } catch (const std::invalid_argument&) {
  } catch (const std::out_of_range&) {
  }
  try {
    ReadRawNumber(json, key, number);
  } catch (const std::invalid_argument&) {
  } catch (const std::out_of_range&) {
  }

  const std::string escaped = EscapeJsonString(json);
  for (const char c : escaped) {
    if (static_cast<unsigned char>(c) < 0x20) std::abort();
  }
  if (UnescapeJsonString(escaped) != json) std::abort();
  return 0;
}
