#include "pipeline/request_json.h"

#include <gtest/gtest.h>

#include <clocale>
#include <stdexcept>
#include <string>

namespace {

struct TextCase {
  const char* json;
  const char* key;
  std::string expected;
  const char* why;
};

TEST(RequestJson, StringValue) {
  const TextCase cases[] = {
      {R"({"a":"x\"y"})", "a", "x\"y", "escaped quote reads as a plain quote"},
      {R"({"a":"\ud83d\ude00"})", "a", "\xF0\x9F\x98\x80", "surrogate pair joins into four bytes"},
      {R"({"a":"\u12"})", "a", "\\u12", "short code-point escape stays as written"},
      {R"({"a":"abc)", "a", "", "unterminated value reads as empty"},
      {R"({"a":"x\\"})", "a", "x\\", "escaped backslash does not escape the closing quote"},
      {R"({"o":{"a":"in"},"a":"out"})", "a", "in", "first occurrence wins, even when nested"},
      {R"({"a" : "spaced"})", "a", "spaced", "blanks around the colon"},
      {R"({"a":null,"b":"x"})", "a", "", "null must not borrow the next member's string"},
      {R"({"a":5,"b":"x"})", "a", "", "a number is not a string"},
      {R"({"a":)", "a", "", "nothing after the colon"},
  };
  for (const auto& c : cases) EXPECT_EQ(JsonStringValue(c.json, c.key), c.expected) << c.why;
}

// A longer key that starts with the wanted one ("dwgPaths" before "dwgPath") is another key.
TEST(RequestJson, EveryReaderSkipsALongerKeySharingItsPrefix) {
  const std::string json =
      R"({"dwgPaths":"no","sizes":{"n":1},"xs":9,"flags":false,"dwgPath":"yes","size":{"n":2},"x":3,"flag":true})";
  EXPECT_EQ(JsonStringValue(json, "dwgPath"), "yes");
  EXPECT_EQ(JsonObjectValue(json, "size"), R"({"n":2})");
  EXPECT_EQ(JsonNumberValue(json, "x", 0), 3);
  EXPECT_TRUE(JsonBoolValue(json, "flag", false));
  std::string text;
  ReadQuotedText(json, "dwgPath", text);
  EXPECT_EQ(text, "yes");
  text.clear();
  ReadEscapedQuotedText(json, "dwgPath", text);
  EXPECT_EQ(text, "yes");
  double number = 0;
  ReadPlainNumber(json, "x", number);
  EXPECT_EQ(number, 3);
  number = 0;
  ReadRawNumber(json, "x", number);
  EXPECT_EQ(number, 3);
}

TEST(RequestJson, Unescape) {
  const struct {
    std::string in, expected;
    const char* why;
  } cases[] = {
      {"\\\"\\/\\\\\\b\\f\\n\\r\\t", "\"/\\\b\f\n\r\t", "the named escapes"},
      {"\\q", "\\q", "unknown escape stays as written"},
      {"end\\", "end\\", "final lone backslash is kept"},
      {"\\u00zz", "\\u00zz", "non-hex digits: the text after u is ordinary"},
      {"\\u0000", std::string(1, '\0'), "NUL code point is one byte"},
      {"\\u07FF\\u0800", "\xDF\xBF\xE0\xA0\x80", "two/three-byte boundary, upper-case hex"},
      {"\\ud83dA", "\xEF\xBF\xBD" "A", "high surrogate followed by plain text: U+FFFD"},
      {"\\ud83d\\u0041", "\xEF\xBF\xBD" "A", "high surrogate followed by a non-low escape"},
      {"\\ud83d\\ude0", "\xEF\xBF\xBD\\ude0", "truncated low surrogate"},
      {"\\udc00", "\xEF\xBF\xBD", "lone low surrogate"},
      {"\\ud800", "\xEF\xBF\xBD", "lone high surrogate at the end"},
  };
  for (const auto& c : cases) EXPECT_EQ(UnescapeJsonString(c.in), c.expected) << c.why;
}

TEST(RequestJson, Escape) {
  EXPECT_EQ(EscapeJsonString(std::string("\b\t\n\f\r\"\\\0\x1f", 9)), "\\b\\t\\n\\f\\r\\\"\\\\\\u0000\\u001f");
  EXPECT_EQ(EscapeJsonString("\x7f/\xE5\x9B\xBE"), "\x7f/\xE5\x9B\xBE") << "DEL, slash, UTF-8 kept";
  // (That every byte survives a round trip with no raw control character is the fuzz target's.)
}

TEST(RequestJson, ObjectValue) {
  const TextCase cases[] = {
      {R"({"device":{"mode":"x","in":{"k":"}"}},"mode":"y"})", "device",
       R"({"mode":"x","in":{"k":"}"}})", "nested object and a brace inside a string"},
      {R"({"o":{"s":"a\"}{"}})", "o", R"({"s":"a\"}{"})", "escaped quote keeps the string open"},
      {R"({"o": {}})", "o", "{}", "empty object after a blank"},
      {R"({"o":{"a":1)", "o", "", "unbalanced"},
      {R"({"o":"{x}"})", "o", "", "a string is not an object"},
      {R"({"o":null,"p":{"a":1}})", "o", "", "null must not borrow the next object"},
  };
  for (const auto& c : cases) EXPECT_EQ(JsonObjectValue(c.json, c.key), c.expected) << c.why;
}

TEST(RequestJson, NumberValue) {
  const struct {
    const char* json;
    double expected;
    const char* why;
  } cases[] = {
      {R"({"n":-2.5,"m":1})", -2.5, "ends at the comma"},
      {R"({"n":12abc})", 12, "trailing letters after digits"},
      {R"({"n":"5"})", -1, "quoted number"},
      {R"({"n":null})", -1, "null"},
      {R"({"n":1e999})", -1, "out of range"},
      {"{\"n\":\n5}", -1, "the line end closes an empty value"},
      {R"({"m":5})", -1, "missing key"},
  };
  for (const auto& c : cases) EXPECT_EQ(JsonNumberValue(c.json, "n", -1), c.expected) << c.why;
}

TEST(RequestJson, BoolValue) {
  const struct {
    const char* json;
    bool fallback, expected;
    const char* why;
  } cases[] = {
      {R"({"b":true})", false, true, "bare true"},
      {"{\"b\": \r\n\tfalse}", true, false, "bare false after blanks"},
      {R"({"b":"true"})", false, false, "quoted true is the fallback"},
      {R"({"b":null})", true, true, "null is the fallback"},
      {R"({"b":)", true, true, "nothing after the colon"},
  };
  for (const auto& c : cases) EXPECT_EQ(JsonBoolValue(c.json, "b", c.fallback), c.expected) << c.why;
}

TEST(RequestJson, QuotedAndEscapedTextReaders) {
  const TextCase quoted[] = {
      {R"({"layout" : "A1"})", "layout", "A1", "blanks around the colon"},
      {R"({"layout":"A\"B"})", "layout", "A\\", "cut at an escaped quote, backslash kept"},
      {R"({"layout":"\u00e9"})", "layout", "\\u00e9", "taken raw"},
      {R"({"layout":null,"x":"y"})", "layout", "keep", "null must not borrow a later string"},
      {R"({"layout":3})", "layout", "keep", "number"},
      {R"({"layout":"open)", "layout", "keep", "unterminated"},
  };
  for (const auto& c : quoted) {
    std::string target = "keep";
    ReadQuotedText(c.json, c.key, target);
    EXPECT_EQ(target, c.expected) << c.why;
  }
  const TextCase escaped[] = {
      {R"({"s":"a\tb"})", "s", "atb", "backslash-t gives a plain t"},
      {R"({"s":"a\nb\"c"})", "s", "a\nb\"c", "line feed and quote"},
      {R"({"s": null})", "s", "keep", "null"},
      {R"({"s":"open)", "s", "keep", "unterminated"},
      {R"({"s":   )", "s", "keep", "only blanks"},
      {R"({"s":"\u5e03\u5c401"})", "s", "\xE5\xB8\x83\xE5\xB1\x80" "1", "escaped Chinese layout name"},
      {R"({"s":"\ud83d\ude00"})", "s", "\xF0\x9F\x98\x80", "surrogate pair"},
      {R"({"s":"a\ud800b"})", "s", "a\xEF\xBF\xBD" "b", "a lone surrogate: U+FFFD"},
      {R"({"s":"\u12x"})", "s", "u12x", "a broken code-point escape reads as before"},
  };
  for (const auto& c : escaped) {
    std::string target = "keep";
    ReadEscapedQuotedText(c.json, c.key, target);
    EXPECT_EQ(target, c.expected) << c.why;
  }
  EXPECT_EQ(SimpleUnescape("\\u0041\\r\\n\\\\x\\"), "A\r\n\\x\\");
}

TEST(RequestJson, NumberReaders) {
  double target = 7;
  ReadPlainNumber(R"({"x":  12.5})", "x", target);
  EXPECT_EQ(target, 12.5);
  target = 7;
  ReadPlainNumber(R"({"x":   })", "x", target);  // only spaces: nothing to read
  EXPECT_EQ(target, 7);
  // Not a number: the conversion's exception reaches the queue, which fails the task.
  EXPECT_THROW(ReadPlainNumber(R"({"x":"3"})", "x", target), std::invalid_argument);
  EXPECT_THROW(ReadPlainNumber(R"({"x":1e999})", "x", target), std::out_of_range);

  ReadRawNumber(R"({"x": 4})", "x", target);
  EXPECT_EQ(target, 4);
  ReadRawNumber(R"({"x":})", "x", target);
  EXPECT_EQ(target, 4);
  // Unlike the plain reader, spaces alone are a value, and not a number.
  EXPECT_THROW(ReadRawNumber(R"({"x":   })", "x", target), std::invalid_argument);
}

// The host process may run under a locale with a decimal comma; a window or a scale sent as 10.5
// must still read as 10.5 (tools/setup.sh generates de_DE.UTF-8).
TEST(RequestJson, NumbersReadTheSameUnderADecimalCommaLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
  double plain = 0, raw = 0;
  ReadPlainNumber(R"({"x":10.5})", "x", plain);
  ReadRawNumber(R"({"x":-0.25})", "x", raw);
  const double value = JsonNumberValue(R"({"x":1.5e3})", "x", 0);
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(plain, 10.5);
  EXPECT_EQ(raw, -0.25);
  EXPECT_EQ(value, 1500);
}

}  // namespace
