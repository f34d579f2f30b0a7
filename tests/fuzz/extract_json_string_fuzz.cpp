// The JSON string reader on arbitrary text from every start, and the escapers' round trip: what
// JsonEscape or EscapeDocumentText writes, ExtractJsonString must read back unchanged.
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/hub_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  size_t cursor = 0;
  for (int i = 0; i < 8 && cursor < input.size(); ++i) {
    const size_t before = cursor;
    (void)ExtractJsonString(input, cursor);
    if (cursor <= before || cursor > input.size()) __builtin_trap();
  }
  for (const std::string& escaped : {JsonEscape(input), EscapeDocumentText(input)}) {
    size_t c = 0;
    if (ExtractJsonString("\"" + escaped + "\"", c) != input) __builtin_trap();
  }
  return 0;
}
