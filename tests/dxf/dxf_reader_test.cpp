// Hand-written DXF texts for what ezdxf never writes: damaged files, other writers' habits, and
// the record structures the reader must fold or link.
#include <gtest/gtest.h>

#include <initializer_list>
#include <regex>
#include <string>

#include "cadsim/dxf/dxf_reader.h"

namespace cadsim::dxf {
namespace {

// Joins lines with LF; each argument is one line of the file.
std::string Lines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\n";
  return text;
}

// An ENTITIES section holding `body`, in a file that is otherwise complete.
std::string EntitiesFile(const std::string& body) {
  return "0\nSECTION\n2\nENTITIES\n" + body + "0\nENDSEC\n0\nEOF\n";
}

TEST(ReaderStatusTest, InputThatIsNotDxfAtAll) {
  const struct {
    std::string text;
    Status status;
    const char* why;
  } cases[] = {
      {"", Status::kNotDxf, "empty file"},
      {std::string("AC1032\0\0\0\x1f", 10), Status::kNotDxf, "a DWG drawing"},
      {"AutoCAD Binary DXF\r\n\x1a", Status::kUnsupported, "binary DXF"},
      {"hello world\nsecond line\n", Status::kNotDxf, "plain text"},
      {Lines({"0", "LINE", "0", "EOF"}), Status::kNotDxf, "pairs, but not beginning with a SECTION"},
  };
  for (const auto& c : cases) {
    const Result r = ReadText(c.text);
    EXPECT_EQ(r.status, c.status) << c.why << ": " << r.message;
    EXPECT_FALSE(r.message.empty()) << c.why;
  }
}

// (A file cut short anywhere is the ezdxf drawings' truncation test.)
TEST(ReaderStatusTest, DamagedDxfNamesTheLineOfTheFault) {
  const struct {
    std::string text;
    size_t line;
    const char* why;
  } cases[] = {
      {EntitiesFile(Lines({"0", "LINE", "10", "abc"})), 8, "text where a coordinate belongs"},
      {EntitiesFile(Lines({"0", "LINE", "10", "nan"})), 8, "a coordinate that is not finite"},
      {EntitiesFile(Lines({"0", "LINE", "62", "1.5x"})), 8, "text where an integer belongs"},
      {EntitiesFile(Lines({"0", "LINE", "xx", "1"})), 7, "a group code that is not a number"},
      {EntitiesFile(Lines({"0", "LINE", "", "8", "0"})), 7, "a blank line inside the file"},
      {Lines({"0", "SECTION", "2", "ENTITIES", "0"}), 5, "odd number of lines: last code has no value"},
      {Lines({"0", "SECTION", "2", "ENTITIES", "0", "SECTION", "2", "BLOCKS"}), 5,
       "a section opened inside another"},
      {Lines({"0", "SECTION", "2", "ENTITIES", "0", "LINE", "0", "EOF"}), 7, "EOF inside a section"},
      {Lines({"0", "SECTION", "2", "ENTITIES", "8", "0", "0", "ENDSEC", "0", "EOF"}), 5,
       "a group before the section's first record"},
      {Lines({"0", "SECTION", "2", "BLOCKS", "0", "BLOCK", "2", "A", "0", "LINE", "0", "ENDSEC", "0", "EOF"}), 11,
       "a block without ENDBLK"},
      {Lines({"0", "SECTION", "2", "BLOCKS", "0", "LINE", "0", "ENDSEC", "0", "EOF"}), 5,
       "an entity outside any block"},
  };
  for (const auto& c : cases) {
    const Result r = ReadText(c.text);
    EXPECT_EQ(r.status, Status::kMalformed) << c.why;
    EXPECT_EQ(r.line, c.line) << c.why << ": " << r.message;
    EXPECT_NE(r.message.find("line " + std::to_string(c.line) + ":"), std::string::npos) << r.message;
  }
}

TEST(ReaderStatusTest, FilesOnDisk) {
  EXPECT_EQ(ReadFile("/nonexistent/folder/drawing.dxf").status, Status::kFileNotFound);
  EXPECT_EQ(ReadFile("").status, Status::kFileNotFound);
  EXPECT_EQ(ReadFile(ORVIK_SOURCE_DIR).status, Status::kNotDxf);  // a folder
}

// Layouts other writers use that must read the same as the plain form.
TEST(ReaderToleranceTest, WritersHabitsReadTheSame) {
  const std::string plain = EntitiesFile(Lines({"0", "LINE", "5", "2A", "8", "WALLS", "10", "1.5", "11", "3"}));
  const struct {
    std::string text;
    const char* why;
  } cases[] = {
      {plain, "the plain form"},
      {"\xEF\xBB\xBF" + plain, "a byte order mark"},
      {std::regex_replace(plain, std::regex("\n"), "\r\n"), "CRLF line ends"},
      {EntitiesFile(Lines({"  0", "LINE", "  5", "2A  ", "  8", "WALLS", " 10", " 1.5 ", " 11", "+3.0"})),
       "codes padded with spaces, numbers with spaces and a plus sign"},
      {EntitiesFile(Lines({"999", "a comment", "0", "LINE", "5", "2A", "8", "WALLS", "10", "1.5", "11", "3"})),
       "a comment"},
      {plain + "\n\n  \n", "blank lines after EOF"},
      {plain + "garbage after the end\n", "anything after EOF"},
      {Lines({"0", "SECTION", "2", "THUMBNAILIMAGE", "90", "3", "310", "00FF", "0", "ENDSEC"}) +
           plain.substr(0, plain.size() - std::string("0\nEOF\n").size()) + "0\nEOF",
       "an unknown section before, and no line end after EOF"},
  };
  for (const auto& c : cases) {
    const Result r = ReadText(c.text);
    ASSERT_EQ(r.status, Status::kOk) << c.why << ": " << r.message;
    ASSERT_EQ(r.drawing.entities.size(), 1u) << c.why;
    const Entity& e = r.drawing.entities[0];
    EXPECT_EQ(e.handle.text, "2A") << c.why;
    EXPECT_EQ(e.layer, "WALLS") << c.why;
    ASSERT_TRUE(std::holds_alternative<Line>(e.data)) << c.why;
    EXPECT_DOUBLE_EQ(std::get<Line>(e.data).start.x, 1.5) << c.why;
    EXPECT_DOUBLE_EQ(std::get<Line>(e.data).end.x, 3) << c.why;
  }
}

TEST(ReaderToleranceTest, HandlesKeepTheirTextWhateverItSays) {
  const struct {
    const char* text;
    uint64_t value;
  } cases[] = {
      {"1F", 0x1F},
      {"ffffffffffffffff", 0xFFFFFFFFFFFFFFFFull},
      {"10000000000000000", 0},  // 17 digits do not fit
      {"ZZ", 0},                 // not hexadecimal
      {"0", 0},
  };
  for (const auto& c : cases) {
    const Result r = ReadText(EntitiesFile(Lines({"0", "LINE", "5", c.text})));
    ASSERT_EQ(r.status, Status::kOk) << c.text;
    EXPECT_EQ(r.drawing.entities.at(0).handle.text, c.text);
    EXPECT_EQ(r.drawing.entities.at(0).handle.value, c.value) << c.text;
  }
}

// The ezdxf drawings hold whole sequences; these are the damaged ones and the details they lack.
TEST(ReaderStructureTest, SequencesFoldIntoTheirOwner) {
  const Result r = ReadText(EntitiesFile(Lines({
      "0", "POLYLINE", "5", "20", "66", "1", "70", "1", "30", "4",           // closed, elevation 4
      "0", "VERTEX", "10", "1", "20", "2", "42", "0.25",                     //
      "0", "VERTEX", "10", "3", "20", "4",                                   //
      "0", "SEQEND",                                                         //
      "0", "INSERT", "5", "30", "66", "1", "2", "CUT",                       // its SEQEND is missing
      "0", "ATTRIB", "2", "X", "1", "x",                                     //
      "0", "LINE", "5", "31",                                                //
      "0", "ATTRIB", "5", "32", "2", "LOOSE", "1", "y",                      // owned by nothing
      "0", "INSERT", "5", "40", "2", "NOATTS",                               // no 66: takes none
      "0", "LWPOLYLINE", "90", "2000000000", "10", "1", "20", "1", "20", "9",  // a huge count
  })));
  ASSERT_EQ(r.status, Status::kOk) << r.message;
  const auto& es = r.drawing.entities;
  ASSERT_EQ(es.size(), 6u);

  const Polyline& pl = std::get<Polyline>(es[0].data);
  ASSERT_EQ(pl.vertices.size(), 2u);
  EXPECT_TRUE(pl.closed);
  EXPECT_DOUBLE_EQ(pl.vertices[0].bulge, 0.25);
  EXPECT_DOUBLE_EQ(pl.vertices[1].point.z, 4);

  EXPECT_EQ(std::get<Insert>(es[1].data).attributes.size(), 1u);
  EXPECT_EQ(es[2].type, "LINE");
  EXPECT_EQ(std::get<Attribute>(es[3].data).tag, "LOOSE");
  EXPECT_TRUE(std::get<Insert>(es[4].data).attributes.empty());

  // Only the vertices that are there, whatever the count claims; a stray 20 moves the last one.
  const Polyline& lw = std::get<Polyline>(es[5].data);
  ASSERT_EQ(lw.vertices.size(), 1u);
  EXPECT_DOUBLE_EQ(lw.vertices[0].point.y, 9);
}

TEST(ReaderStructureTest, OwnersGroupsAndUnknownRecords) {
  const Result r = ReadText(EntitiesFile(Lines({
      "0", "ELLIPSE", "5", "50",                                     //
      "102", "{ACAD_REACTORS", "330", "99", "102", "}",             // a reactor is not the owner
      "102", "{ACAD_XDICTIONARY", "360", "77", "102", "}",          //
      "330", "1F", "100", "AcDbEntity", "67", "1", "8", "HOLES",     //
      "60", "1", "62", "-5", "6", "DASHED",                          //
      "100", "AcDbEllipse", "10", "5", "40", "2.5",                  //
      "1001", "MYAPP", "1000", "tag", "1040", "3.5",                 //
  })));
  ASSERT_EQ(r.status, Status::kOk) << r.message;
  const Entity& e = r.drawing.entities.at(0);
  EXPECT_EQ(e.owner.text, "1F");
  EXPECT_EQ(e.extensionDictionary.text, "77");
  EXPECT_TRUE(e.paperSpace);
  EXPECT_FALSE(e.visible);
  EXPECT_EQ(e.color, -5);
  EXPECT_EQ(e.linetype, "DASHED");
  ASSERT_EQ(e.groups.size(), 2u);  // the groups the reader does not model are kept
  EXPECT_EQ(e.groups[1].value, "2.5");
  ASSERT_EQ(e.xdata.size(), 1u);
  EXPECT_EQ(e.xdata[0].application, "MYAPP");
  ASSERT_EQ(e.xdata[0].groups.size(), 2u);
  EXPECT_EQ(e.xdata[0].groups[1].value, "3.5");
}

// The representation link AutoCAD writes through the block record's extension dictionary, and the
// layout that finds its space only through the space's back link.
TEST(ReaderStructureTest, ExtensionDictionaryRepresentationAndLayoutBackLink) {
  const std::string text = Lines({
      "0", "SECTION", "2", "TABLES",                                                      //
      "0", "TABLE", "2", "BLOCK_RECORD", "5", "1",                                        //
      "0", "BLOCK_RECORD", "5", "20", "102", "{ACAD_XDICTIONARY", "360", "A0", "102", "}",  //
      "330", "1", "100", "AcDbSymbolTableRecord", "100", "AcDbBlockTableRecord", "2", "*U7",
      "0", "BLOCK_RECORD", "5", "30", "2", "DOOR",                                        //
      "0", "BLOCK_RECORD", "5", "40", "2", "*Paper_Space", "340", "B0",                   //
      "0", "ENDTAB", "0", "ENDSEC",                                                       //
      "0", "SECTION", "2", "OBJECTS",                                                     //
      "0", "DICTIONARY", "5", "C", "330", "0", "3", "ACAD_LAYOUT", "350", "D",            //
      "0", "DICTIONARY", "5", "D", "3", "Sheet", "350", "B0",                             //
      "0", "DICTIONARY", "5", "A0", "330", "20", "3", "AcDbBlockRepresentation", "360", "A1",
      "0", "DICTIONARY", "5", "A1", "330", "A0", "3", "AcDbRepData", "360", "A2",         //
      "0", "BLOCKREPRESENTATIONDATA", "5", "A2", "330", "A1",                             //
      "100", "AcDbBlockRepresentationData", "70", "1", "340", "30",                       //
      "0", "LAYOUT", "5", "B0", "330", "D", "100", "AcDbPlotSettings", "1", "Setup",      //
      "2", "Printer.pc3", "70", "1024", "100", "AcDbLayout", "1", "Sheet", "71", "-2",    //
      "0", "ENDSEC", "0", "EOF",
  });
  const Result r = ReadText(text);
  ASSERT_EQ(r.status, Status::kOk) << r.message;
  const Drawing& d = r.drawing;
  ASSERT_EQ(d.blockRecords.size(), 3u);
  EXPECT_EQ(d.blockRecords[0].dynamicBlockRecord.text, "30");
  EXPECT_TRUE(d.blockRecords[1].dynamicBlockRecord.IsNull());
  EXPECT_EQ(d.rootDictionary.text, "C");
  ASSERT_EQ(d.layouts.size(), 1u);
  const Layout& layout = d.layouts[0];
  EXPECT_EQ(layout.blockRecord.text, "40");  // from the record's 340
  EXPECT_EQ(layout.name, "Sheet");           // not the page setup's name
  EXPECT_EQ(layout.plot.pageSetupName, "Setup");
  EXPECT_EQ(layout.tabOrder, -2);
  EXPECT_TRUE(layout.modelType);
}

}  // namespace
}  // namespace cadsim::dxf
