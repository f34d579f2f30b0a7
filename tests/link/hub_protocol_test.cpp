// Result records, escaping, invocation reading and record splitting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/hub_protocol.h"

TEST(HubText, ExtractJsonStringDecodesAndAdvances) {
  const struct {
    const char* why;
    std::string text;
    std::string value;
    size_t cursorAfter;
  } cases[] = {
      {"simple escapes", R"("q\"b\\s\/n\nr\rt\tb\bf\f")", "q\"b\\s/n\nr\rt\tb\bf\f", 26},
      {"\\u escapes decode to UTF-8", R"("\u0041\u00e9\u56fe")", "A\xC3\xA9\xE5\x9B\xBE", 20},
      {"a surrogate pair joins", R"("\ud83d\ude00")", "\xF0\x9F\x98\x80", 14},
      {"an unpaired surrogate becomes U+FFFD", R"("\ud83dx")", "\xEF\xBF\xBDx", 9},
      {"a malformed \\u stays as written", R"("\u12G4")", "\\u12G4", 8},
      {"unterminated string gives what was read", "\"abc", "abc", 4},
      {"a number argument is skipped for the next string", "7, \"s\"", "s", 6},
  };
  for (const auto& c : cases) {
    size_t cursor = 0;
    EXPECT_EQ(ExtractJsonString(c.text, cursor), c.value) << c.why;
    EXPECT_EQ(cursor, c.cursorAfter) << c.why;
  }
  size_t past = 50;
  EXPECT_EQ(ExtractJsonString("\"a\"", past), "");  // a cursor beyond the text is safe
  EXPECT_EQ(past, 3u);
}

TEST(HubText, EscapersEscapeEveryControlByte) {
  const struct {
    std::string text;
    std::string result;    // JsonEscape
    std::string document;  // EscapeDocumentText
  } cases[] = {
      {"a\tb\nc\rd\"e\\f", "a\\tb\\nc\\rd\\\"e\\\\f", "a\\tb\\nc\\rd\\\"e\\\\f"},
      {"\b\f", "\\u0008\\u000c", "\\b\\f"},
      {std::string("\x00\x01\x1F", 3), "\\u0000\\u0001\\u001f", "\\u0000\\u0001\\u001f"},
      {"\x7F \xE5\x9B\xBE /", "\x7F \xE5\x9B\xBE /", "\x7F \xE5\x9B\xBE /"},  // DEL, UTF-8 and slash unchanged
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JsonEscape(c.text), c.result);
    EXPECT_EQ(EscapeDocumentText(c.text), c.document);
  }
}

// The identifier is escaped like the result, so a hostile one cannot break the record. (The
// handshake and state records are read by the service stand-in in every end-to-end test.)
TEST(HubText, ResultRecords) {
  EXPECT_EQ(BuildCadResultRecord("r\"1\\", "false", "a\"b\n"),
            "{\"type\":1,\"target\":\"CadResult\",\"arguments\":[\"r\\\"1\\\\\",\"false\",\"a\\\"b\\n\"]}");
  EXPECT_EQ(BuildCadResultRecord("", "true", "x"), "");  // no identifier, no record
}

TEST(HubText, RecordTextsAreEscapedAsUtf8InAnyRoom) {
  const std::string fffd = "\xEF\xBF\xBD";
  const struct {
    std::string text;
    std::string escaped;
  } cases[] = {
      {"plain text longer than a word", "plain text longer than a word"},
      {"a\tb\nc\rd\"e\\f\x01", "a\\tb\\nc\\rd\\\"e\\\\f\\u0001"},
      {"\xC3\xA9 \xE5\x9B\xBE \xF0\x9F\x98\x80 \x7F", "\xC3\xA9 \xE5\x9B\xBE \xF0\x9F\x98\x80 \x7F"},  // 2, 3, 4 bytes, DEL
      {"\xED\xA0\x80", fffd + fffd + fffd},                                         // a surrogate
      {"\xE0\x9F\xBF\xF0\x8F\xBF\xBF", fffd + fffd + fffd + fffd + fffd + fffd + fffd},  // overlong forms
      {"x\xF0\x9F\x98", "x" + fffd + fffd + fffd},                                  // cut short
      {std::string("12345678\xC3", 9), "12345678" + fffd},                          // a lead byte last
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EscapedRecordTextSize(c.text), c.escaped.size()) << c.escaped;
    // Written into buffers of every size from the smallest that always makes progress.
    for (size_t room = 6; room <= c.escaped.size() + 1; ++room) {
      std::string out;
      std::vector<char> buffer(room);
      size_t from = 0;
      while (from < c.text.size()) {
        const size_t wrote = EscapeRecordText(c.text, from, buffer.data(), room);
        ASSERT_GT(wrote, 0u) << c.escaped << " room " << room;
        out.append(buffer.data(), wrote);
      }
      EXPECT_EQ(out, c.escaped) << "room " << room;
    }
  }
}

// The frame's length is written before its payload, so the size and the text must agree for any
// bytes at all, and the text must be UTF-8 that reads back as the input wherever that was UTF-8.
TEST(HubText, RecordTextSizeAgreesWithTheTextForAnyBytes) {
  uint32_t seed = 12345;
  const auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  // Bytes drawn mostly from the ones that matter: ASCII, escapes, lead and continuation bytes.
  const std::string alphabet = std::string("aZ \"\\\t\x01\x7F", 8) + "\xC3\xA9\xE5\x9B\xBE\xF0\x9F\x98\x80\xED\xA0\xC0\xF4\x90\xFF";
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const size_t size = next() % 80;
    for (size_t i = 0; i < size; ++i) text += alphabet[next() % alphabet.size()];
    const RecordPiece piece{text, true};
    const std::string escaped = JoinRecord(&piece, 1);
    ASSERT_EQ(escaped.size(), EscapedRecordTextSize(text)) << round;
    // UTF-8 already: escaping it again replaces nothing.
    const RecordPiece again{escaped, true};
    EXPECT_EQ(JoinRecord(&again, 1), JsonEscape(escaped)) << round;
    size_t cursor = 0;
    EXPECT_EQ(JsonEscape(ExtractJsonString("\"" + escaped + "\"", cursor)), escaped) << round;
  }
}

TEST(HubText, InvocationReading) {
  const struct {
    const char* why;
    std::string record;
    std::string read;  // reqId|action|params, or empty when the record is no invocation
  } cases[] = {
      {"plain invocation", R"({"type":1,"target":"ExecuteCommand","arguments":["r1","getPrinters","{}"]})",
       "r1|getPrinters|{}"},
      {"escaped quotes and backslash in params",
       R"({"type":1,"target":"ExecuteCommand","arguments":["r2","a","{\"p\":\"C:\\\\d\"}"]})", R"(r2|a|{"p":"C:\\d"})"},
      {"members in another order", R"({"arguments":["x"],"type":1,"target":"ExecuteCommand","arguments":["r3","b",""]})",
       "r3|b|"},
      {"hub ping", R"({"type":6})", ""},
      {"another target", R"({"type":1,"target":"Other","arguments":["r","a","{}"]})", ""},
      {"arguments only before the target", R"({"arguments":["r","a","{}"],"type":1,"target":"ExecuteCommand"})", ""},
      {"empty action", R"({"type":1,"target":"ExecuteCommand","arguments":["r","","{}"]})", ""},
  };
  for (const auto& c : cases) {
    const HubInvocation inv = ParseHubInvocation(c.record);
    EXPECT_EQ(inv.ok ? inv.reqId + "|" + inv.action + "|" + inv.params : "", c.read) << c.why;
  }
}

TEST(HubText, RecordSplittingAcrossMessages) {
  const struct {
    const char* why;
    std::vector<std::string> messages;
    std::vector<std::string> records;
    std::string tail;
  } cases[] = {
      {"a record split across three messages", {"a", "b", "c\x1E" "d"}, {"abc"}, "d"},
      {"empty records pass through", {"\x1E\x1E"}, {"", ""}, ""},
      {"the separator alone completes the tail", {"x", "\x1E"}, {"x"}, ""},
  };
  for (const auto& c : cases) {
    std::string tail;
    std::vector<std::string> records;
    for (const std::string& m : c.messages) {
      ASSERT_TRUE(ForEachHubRecord(tail, m, [&](const std::string& r) { records.push_back(r); })) << c.why;
    }
    EXPECT_EQ(records, c.records) << c.why;
    EXPECT_EQ(tail, c.tail) << c.why;
  }
}
