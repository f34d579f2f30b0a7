// Runs every request field reader on arbitrary text. The input is "key NUL json" (no NUL: the
// whole input is the json and the key is "a"). Besides never crashing, the readers must agree with
// each other where they read the same value, and what the escaper writes must read back.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "pipeline/request_json.h"

namespace {

bool SameNumber(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

// The three number readers take the same text after the key's colon: where they read a number at
// all, it is the same number.
void CheckNumberReaders(std::string_view json, std::string_view key) {
  const double one = JsonNumberValue(json, key, 1.0);
  const bool read = SameNumber(one, JsonNumberValue(json, key, 2.0));  // not a fallback
  double raw = 1.0;
  bool rawRead = false;
  try {
    ReadRawNumber(json, key, raw);
    rawRead = true;
  } catch (const std::invalid_argument&) {
  } catch (const std::out_of_range&) {
  }
  double plain = 1.0;
  bool plainThrew = false;
  try {
    ReadPlainNumber(json, key, plain);
  } catch (const std::invalid_argument&) {
    plainThrew = true;
  } catch (const std::out_of_range&) {
    plainThrew = true;
  }
  if (read && !(rawRead && SameNumber(raw, one) && !plainThrew && SameNumber(plain, one))) std::abort();
  if (!read && rawRead && !SameNumber(raw, 1.0)) std::abort();  // raw read what the other could not
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  const std::string_view key = split == std::string_view::npos ? "a" : input.substr(0, split);
  const std::string_view json = split == std::string_view::npos ? input : input.substr(split + 1);

  (void)JsonStringValue(json, key);
  (void)JsonBoolValue(json, key, false);
  CheckNumberReaders(json, key);
  const std::string object = JsonObjectValue(json, key);
  if (!object.empty()) {
    if (object.front() != '{' || object.back() != '}') std::abort();
    // The object cut out reads the same when it is the value of a member of its own.
    const std::string wrapped = "{\"" + std::string(key) + "\":" + object + "}";
    if (JsonObjectValue(wrapped, key) != object) std::abort();
  }
  (void)SimpleUnescape(json);

  std::string text = "untouched";
  ReadQuotedText(json, key, text);
  ReadEscapedQuotedText(json, key, text);

  const std::string escaped = EscapeJsonString(json);
  for (const char c : escaped) {
    if (static_cast<unsigned char>(c) < 0x20) std::abort();
  }
  if (UnescapeJsonString(escaped) != json) std::abort();
  // Escaped into a request, any text is the string value of its member again.
  const std::string request = "{\"" + std::string(key) + "\": \"" + escaped + "\", \"z\": 1}";
  if (JsonStringValue(request, key) != json) std::abort();
  return 0;
}
