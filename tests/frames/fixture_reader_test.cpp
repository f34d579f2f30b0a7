// The strict fixture reader: every fault it names, the limits of its JSON, and the production
// settings it feeds.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <locale>
#include <stdexcept>
#include <string>

#include "frames/recognition_input.h"
#include "frames/recognition_settings.h"

namespace {

using namespace OrvikFrameRecognition;

const std::string kSettings =
    R"({"IgnoreLengthThreshold":100,"IgnoreLayerNames":[],"MaximumEntityLevel":3,)"
    R"("AxisCoordinateTolerance":1,"LineComparisonTolerance":1,"EndpointKeyDecimalPlaces":4,)"
    R"("EndpointKeyCulture":"zh-CN","OrthogonalBlockRotationToleranceDegrees":1e-6,)"
    R"("SimilarBoundsRelativeTolerance":0.1,"MinimumPolylineVertexCount":4,"MaximumPolylineVertexCount":6})";

// The settings object with one field's value replaced, or the field left out when `value` is null.
std::string With(const std::string& field, const char* value, std::string s = kSettings) {
  const size_t at = s.find("\"" + field + "\":");
  const size_t colon = s.find(':', at);
  const size_t end = s[colon + 1] == '[' ? s.find(']', colon) + 1 : s.find_first_of(",}", colon);
  if (value) return s.replace(at, end - at, "\"" + field + "\":" + value);
  return s.erase(at, end - at + (s[end] == ',' ? 1 : 0));
}

std::string Doc(const std::string& settings = kSettings, const std::string& before = "",
                const std::string& after = "") {
  return "{" + before + R"("SchemaVersion":2,"CoordinateSystem":"WCS","Settings":)" + settings + after + "}";
}

std::string Nested(int depth) { return std::string(depth, '[') + std::string(depth, ']'); }

// The reader's message without the subsystem's prefix, or "" when it read the fixture.
std::string Failure(const std::string& text) {
  try {
    ParseSettingsFromFixtureJson(text);
    return "";
  } catch (const std::runtime_error& e) {
    const std::string prefix = "Frame recognition input: ";
    const std::string what = e.what();
    return what.compare(0, prefix.size(), prefix) == 0 ? what.substr(prefix.size()) : "unprefixed: " + what;
  }
}

TEST(FixtureReader, NamesTheFirstFault) {
  const struct {
    std::string text;
    const char* fault;
  } rows[] = {
      {"\xEF\xBB\xBF" + Doc(), ""},                      // a UTF-8 byte order mark is dropped
      {std::string("\xEF\xBB\0", 3) + Doc(), "invalid UTF-8 BOM"},
      {"", "invalid JSON, expected '{'"},
      {" { } ", "empty fixture"},
      {R"({"SchemaVersion":1,"CoordinateSystem":"WCS","Settings":)" + kSettings + "}",
       "unsupported or duplicate SchemaVersion"},
      {Doc(kSettings, R"("SchemaVersion":2,)"), "unsupported or duplicate SchemaVersion"},
      {R"({"SchemaVersion":2.0,"CoordinateSystem":"WCS","Settings":)" + kSettings + "}", ""},
      {R"({"SchemaVersion":2,"CoordinateSystem":"UCS","Settings":)" + kSettings + "}",
       "unsupported or duplicate CoordinateSystem"},
      {R"({"Settings":)" + kSettings + R"(,"Settings":)" + kSettings + "}", "duplicate Settings"},
      {R"({"SchemaVersion":2,"Settings":)" + kSettings + "}",
       "fixture requires SchemaVersion, CoordinateSystem and Settings"},
      // nothing after the last required member is read
      {Doc(kSettings, "", R"(,"RecognitionInput":{"HorizontalLines":[{)"), ""},
      {Doc("{}"), "Settings is empty"},
      {Doc(With("MaximumEntityLevel", "3,\"MaximumEntityLevel\":3")), "duplicate Settings field MaximumEntityLevel"},
      {Doc(With("EndpointKeyCulture", nullptr)), "missing Settings.EndpointKeyCulture"},
      {Doc(With("MaximumEntityLevel", "64")), ""},
      {Doc(With("MaximumEntityLevel", "65")), "invalid MaximumEntityLevel"},
      {Doc(With("MinimumPolylineVertexCount", "7")), "invalid polyline vertex limits"},
      {Doc(With("EndpointKeyDecimalPlaces", "15")), ""},
      {Doc(With("EndpointKeyDecimalPlaces", "16")), "invalid EndpointKeyDecimalPlaces"},
      {Doc(With("OrthogonalBlockRotationToleranceDegrees", "0")), "invalid OrthogonalBlockRotationToleranceDegrees"},
      {Doc(With("IgnoreLengthThreshold", "-0.5")), "invalid IgnoreLengthThreshold"},
      // unknown values nest at most 128 levels below the member
      {Doc(kSettings, "\"Deep\":" + Nested(129) + ","), ""},
      {Doc(kSettings, "\"Deep\":" + Nested(130) + ","), "JSON nesting too deep"},
      {Doc(kSettings, "\"Deep\":" + std::string(100000, '[') + ","), "JSON nesting too deep"},
      // strings
      {Doc(With("EndpointKeyCulture", R"("\ude00")")), "unpaired unicode surrogate"},
      {Doc(With("EndpointKeyCulture", R"("\ud83dx")")), "missing low unicode surrogate"},
      {Doc(With("EndpointKeyCulture", R"("\ud83d\u0041")")), "invalid low unicode surrogate"},
      {Doc(With("EndpointKeyCulture", R"("\u12G4")")), "invalid JSON unicode escape"},
      {Doc(With("EndpointKeyCulture", "\"a\tb\"")), "unterminated or invalid JSON string"},
      {R"({"SchemaVersion":2,"CoordinateSystem":"WCS)", "unterminated or invalid JSON string"},
      // numbers and integers
      {Doc(With("IgnoreLengthThreshold", "-")), "invalid JSON number"},
      {Doc(With("IgnoreLengthThreshold", "01")), "invalid JSON, expected '}'"},
      {Doc(With("IgnoreLengthThreshold", "1.")), "invalid JSON fraction"},
      {Doc(With("IgnoreLengthThreshold", "1e+")), "invalid JSON exponent"},
      {Doc(With("IgnoreLengthThreshold", "1e999")), "non-finite or invalid JSON number"},
      {Doc(With("MaximumEntityLevel", "3.5")), "invalid JSON integer"},
      {Doc(With("MinimumPolylineVertexCount", "2147483648")), "invalid JSON integer"},
      {Doc(With("MaximumEntityLevel", "3E0")), ""},
      // literals and values of unknown members
      {Doc(kSettings, R"("x":tru,)"), "invalid JSON literal"},
      {Doc(kSettings, R"("x":[1,],)"), "invalid JSON value"},
      {Doc(With("IgnoreLayerNames", "[\"A\",]")), "invalid JSON, expected '\"'"},
  };
  for (const auto& row : rows) EXPECT_EQ(Failure(row.text), row.fault) << row.text.substr(0, 200);
}

TEST(FixtureReader, ReadsValuesAsWritten) {
  const Settings s = ParseSettingsFromFixtureJson(
      Doc(With("EndpointKeyCulture", R"("\ud83d\ude00\u00e9\/")", With("IgnoreLayerNames", R"(["A","\u0000"])"))));
  EXPECT_EQ(s.EndpointKeyCulture, "\xF0\x9F\x98\x80\xC3\xA9/");
  EXPECT_EQ(s.IgnoreLayerNames, (std::vector<std::string>{"A", std::string(1, '\0')}));

  Fixture fixture;
  fixture.Settings.IgnoreLayerNames = {"Frame \"A\"", std::string("\x01\xE6\xA1\x86", 4)};
  fixture.Settings.IgnoreLengthThreshold = 0.1;
  fixture.Settings.OrthogonalBlockRotationToleranceDegrees = 1e-300;
  const Settings back = ParseSettingsFromFixtureJson(Serialize(fixture));
  EXPECT_EQ(back.IgnoreLayerNames, fixture.Settings.IgnoreLayerNames);
  EXPECT_EQ(back.IgnoreLengthThreshold, 0.1);
  EXPECT_EQ(back.OrthogonalBlockRotationToleranceDegrees, 1e-300);
}

// The host may run under a global locale whose decimal mark is a comma (tools/setup.sh generates
// de_DE.UTF-8); the fixture's numbers still read as written.
TEST(FixtureReader, NumbersReadTheSameUnderADecimalCommaLocale) {
  const std::locale saved = std::locale::global(std::locale("de_DE.UTF-8"));
  Settings s;
  try {
    s = ParseSettingsFromFixtureJson(Doc(With("IgnoreLengthThreshold", "1234.5", With("AxisCoordinateTolerance", "2.5e-1"))));
  } catch (...) {
    std::locale::global(saved);
    throw;
  }
  std::locale::global(saved);
  EXPECT_EQ(s.IgnoreLengthThreshold, 1234.5);
  EXPECT_EQ(s.AxisCoordinateTolerance, 0.25);
}

TEST(FixtureReader, LoadsRegularFilesOnly) {
  char dir[] = "/tmp/orvik-fixture-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string file = std::string(dir) + "/基线.json", fifo = std::string(dir) + "/fifo";
  std::ofstream(file, std::ios::binary) << Doc(With("MaximumEntityLevel", "5"));
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::wstring wideFile = std::wstring(dir, dir + sizeof dir - 1) + L"/基线.json";
  EXPECT_EQ(LoadSettings(wideFile).MaximumEntityLevel, 5);
  // A FIFO with no writer would block an ordinary open for ever.
  for (const std::string& path : {fifo, std::string(dir), std::string(dir) + "/missing"}) {
    try {
      LoadSettings(std::wstring(path.begin(), path.end()));
      ADD_FAILURE() << path;
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "Frame recognition input: cannot open baseline Settings file");
    }
  }
  std::remove(file.c_str());
  std::remove(fifo.c_str());
  rmdir(dir);
}

TEST(FixtureReader, ProductionSettingsChangeOnlyWhenValid) {
  Settings wanted;
  wanted.MaximumEntityLevel = 7;
  SetProductionSettings(wanted);
  Settings invalid = wanted;
  invalid.MaximumPolylineVertexCount = 2;
  EXPECT_THROW(SetProductionSettings(invalid), std::runtime_error);
  EXPECT_EQ(GetProductionSettings().MaximumEntityLevel, 7);
  SetProductionSettings(Settings());
}

}  // namespace
