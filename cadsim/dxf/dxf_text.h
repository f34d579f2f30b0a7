// Text decoding for the DXF reader: turns the bytes of a DXF text value into UTF-8.
//
// DXF R2007 and later files are UTF-8; older ones are written in the code page named by
// $DWGCODEPAGE and spell other characters as \U+XXXX. Choose a TextDecoding once per file with
// TextDecodingFor (after the HEADER is known), then pass every text value through DecodeText.
// Decoding never fails: bytes that cannot be decoded become U+FFFD.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cadsim::dxf {

struct TextDecoding {
  enum class Source { kUtf8, kCp1252, kUnknownCodePage };
  Source source = Source::kCp1252;
};

// $ACADVER and $DWGCODEPAGE as read (either may be empty).
TextDecoding TextDecodingFor(std::string_view acadVersion, std::string_view codePage);

// The value in UTF-8 with \U+XXXX escapes replaced by their characters. \M+ escapes (characters
// of East Asian double-byte code pages) are kept as written.
std::string DecodeText(std::string_view raw, const TextDecoding& decoding);

// The plain text of MTEXT content: paragraph breaks (\P) become line feeds, formatting codes and
// grouping braces are dropped, stacked fractions are written as "a/b".
std::string MTextPlainText(std::string_view content);

// Appends the UTF-8 form of a code point (U+FFFD for surrogates and values beyond U+10FFFF).
void AppendUtf8(std::string& out, uint32_t codePoint);

// True when the bytes form valid UTF-8.
bool IsValidUtf8(std::string_view bytes);

}  // namespace cadsim::dxf
