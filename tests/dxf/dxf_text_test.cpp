// Decoding of DXF text values and the plain text of MTEXT content.
#include <gtest/gtest.h>

#include <string>

#include "cadsim/dxf/dxf_text.h"

namespace cadsim::dxf {
namespace {

TEST(DxfTextTest, DecodingChoosesTheSourceByVersionAndCodePage) {
  using Source = TextDecoding::Source;
  const struct {
    const char* version;
    const char* codePage;
    Source source;
  } cases[] = {
      {"AC1032", "ANSI_936", Source::kUtf8},       // R2018: UTF-8 whatever the page says
      {"AC1021", "", Source::kUtf8},               // R2007 is the first UTF-8 version
      {"AC1018", "ANSI_1252", Source::kCp1252},    //
      {"AC1009", "", Source::kCp1252},             // no code page: AutoCAD's default
      {"", "ansi_1252", Source::kCp1252},          // case does not matter
      {"AC1015", "ANSI_936", Source::kUnknownCodePage},
      {"AC10xx", "ANSI_1252", Source::kCp1252},    // a damaged version is not a number
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextDecodingFor(c.version, c.codePage).source, c.source) << c.version << " " << c.codePage;
  }
}

TEST(DxfTextTest, EscapesAndBadBytes) {
  const TextDecoding utf8{TextDecoding::Source::kUtf8};
  const TextDecoding cp1252{TextDecoding::Source::kCp1252};
  const struct {
    std::string raw;
    TextDecoding decoding;
    std::string decoded;
    const char* why;
  } cases[] = {
      {"\\U+00E9\\u+4E2D", utf8, "\u00e9\u4e2d", "either case of U"},
      {"\\U+D83D\\U+DE00", utf8, "\U0001F600", "a surrogate pair is one character"},
      {"\\U+D83Dx", utf8, "\uFFFDx", "a lone high surrogate"},
      {"\\U+DE00", utf8, "\uFFFD", "a lone low surrogate"},
      {"\\U+12G4 \\U+12", utf8, "\\U+12G4 \\U+12", "not four hex digits: kept as written"},
      {"a\\", utf8, "a\\", "a backslash at the very end"},
      {"\xC0\xAF", utf8, "\uFFFD\uFFFD", "an overlong form"},
      {"\xED\xA0\x80", utf8, "\uFFFD\uFFFD\uFFFD", "an encoded surrogate"},
      {"\xF4\x90\x80\x80", utf8, "\uFFFD\uFFFD\uFFFD\uFFFD", "beyond U+10FFFF"},
      {"\xE4\xB8", utf8, "\uFFFD\uFFFD", "a sequence cut short"},
      {"\x81\x9F\xFF", cp1252, "\uFFFD\u0178\u00ff", "a hole in cp1252, then two letters"},
      {"\xC3\xA9t\xC3\xA9", cp1252, "\u00e9t\u00e9", "UTF-8 in a cp1252 file stays UTF-8"},
      {"\xD6\xD0\\M+5CDBC", TextDecodingFor("AC1015", "ANSI_936"), "\uFFFD\uFFFD\\M+5CDBC",
       "a double-byte code page we lack, and its \\M+ escape, are not guessed at"},
      {std::string("a\0b", 3), utf8, std::string("a\0b", 3), "a NUL byte passes through"},
  };
  for (const auto& c : cases) {
    const std::string decoded = DecodeText(c.raw, c.decoding);
    EXPECT_EQ(decoded, c.decoded) << c.why;
    EXPECT_TRUE(IsValidUtf8(decoded)) << c.why;
  }
}

TEST(DxfTextTest, MTextPlainText) {
  const struct {
    const char* content;
    const char* plain;
    const char* why;
  } cases[] = {
      {"one\\Ptwo", "one\ntwo", "paragraph break"},
      {"{\\fArial|b1|i0|c0|p34;Bold} and {\\H2.5x;big}", "Bold and big", "font and height groups"},
      {"\\C1;red\\c255;x", "redx", "colours"},
      {"\\LUnder\\l \\Oover\\o", "Under over", "on/off toggles"},
      {"1\\S1^2; inch", "11/2 inch", "a stacked fraction"},
      {"a\\\\b \\{c\\}", "a\\b {c}", "escaped backslash and braces"},
      {"non\\~breaking", "non breaking", "non-breaking space"},
      {"\\fArial", "", "a code cut off before its semicolon"},
      {"end\\", "end\\", "a backslash at the end"},
      {"\\M+5CDBC", "\\M+5CDBC", "an escape that is not formatting"},
  };
  for (const auto& c : cases) EXPECT_EQ(MTextPlainText(c.content), c.plain) << c.why;
}

}  // namespace
}  // namespace cadsim::dxf
