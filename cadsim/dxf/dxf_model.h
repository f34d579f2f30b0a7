// The plain drawing model the simulated host's DXF reader produces (cadsim::dxf).
//
// It holds what an ASCII DXF file says, close to the file's own terms and free of engine types:
// the engine turns a Drawing into its database. Texts are UTF-8; handles keep the hexadecimal text
// as read beside its numeric value. Records the reader does not understand are still kept
// (type, handle, owner, layer and their raw group pairs), so nothing in a file is silently lost.
// Values are filled with the file's defaults when a group is absent.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace cadsim::dxf {

struct Point3 {
  double x = 0;
  double y = 0;
  double z = 0;
};

// A handle as written in the file. "0" and an empty text both mean "no object".
struct Handle {
  std::string text;
  uint64_t value = 0;  // 0 when the text is empty, not hexadecimal or too long for 64 bits

  bool IsNull() const { return value == 0; }
};

// One group of the file: its code and its value, decoded to UTF-8 when it is a text.
struct Group {
  int code = 0;
  std::string value;
};

// Extended entity data of one registered application (1001 and the groups after it).
struct XData {
  std::string application;
  std::vector<Group> groups;  // codes 1000..1071, in file order
};

// Data every entity, table record and object may carry.
struct ObjectBase {
  std::string type;  // the record's type as written after group 0, e.g. "LINE", "LAYOUT"
  Handle handle;
  Handle owner;                // 330 outside the type's own subclasses
  Handle extensionDictionary;  // 360 inside {ACAD_XDICTIONARY
  std::vector<XData> xdata;
  size_t line = 0;  // line of the file where the record begins
};

struct Header {
  std::string acadVersion;  // $ACADVER, e.g. "AC1032"; empty when absent
  std::string codePage;     // $DWGCODEPAGE, e.g. "ANSI_1252"
  Handle handSeed;          // $HANDSEED
  int insUnits = 0;         // $INSUNITS
  Point3 extMin;            // $EXTMIN
  Point3 extMax;            // $EXTMAX
  struct Variable {
    std::string name;  // with its "$"
    std::vector<Group> values;
  };
  std::vector<Variable> variables;  // every variable in file order, the ones above included
};

struct Layer : ObjectBase {
  std::string name;
  int flags = 0;       // 70: 1 frozen, 2 frozen in new viewports, 4 locked, 16 xref-dependent
  int color = 7;       // 62 as written; negative means the layer is off
  std::string linetype;
  bool on = true;      // colour not negative
  bool frozen = false;
  bool locked = false;
  bool plot = true;    // 290
  int lineWeight = -3;  // 370
};

struct TextStyle : ObjectBase {
  std::string name;
  int flags = 0;  // 70: 1 shape file, 4 vertical text
  double fixedHeight = 0;   // 40
  double widthFactor = 1;   // 41
  double obliqueAngle = 0;  // 50, degrees
  int generationFlags = 0;  // 71
  double lastHeight = 0;    // 42
  std::string fontFile;     // 3
  std::string bigFontFile;  // 4
};

struct BlockRecord : ObjectBase {
  std::string name;
  Handle layout;  // 340: the layout of a model or paper space record
  int insertUnits = 0;
  // The dynamic block this anonymous block represents, from its "AcDbBlockRepBTag" extended data
  // or its "AcDbBlockRepresentation" extension dictionary; null when it represents none.
  Handle dynamicBlockRecord;
};

// A record of any other symbol table (LTYPE, VIEW, UCS, APPID, DIMSTYLE, VPORT...).
struct TableRecord : ObjectBase {
  std::string table;  // the table's name, e.g. "LTYPE"
  std::string name;
  int flags = 0;
  std::vector<double> pattern;  // LTYPE: the dash lengths (49), dashes positive, gaps negative
};

struct Line {
  Point3 start;
  Point3 end;
  double thickness = 0;
  Point3 extrusion{0, 0, 1};
};

struct Vertex {
  Point3 point;
  double startWidth = 0;
  double endWidth = 0;
  double bulge = 0;
  int flags = 0;  // old-style VERTEX flags
};

// CIRCLE, and ARC with its angles (degrees, counter-clockwise from start to end).
struct Circle {
  Point3 center;
  double radius = 0;
  bool arc = false;
  double startAngle = 0;
  double endAngle = 360;
  Point3 extrusion{0, 0, 1};
};

// LWPOLYLINE and old-style POLYLINE (with its VERTEX records) alike.
struct Polyline {
  std::vector<Vertex> vertices;
  bool closed = false;
  int flags = 0;  // 70 as written; 1 is closed for both kinds
  double elevation = 0;
  double constantWidth = 0;
  double thickness = 0;
  Point3 extrusion{0, 0, 1};
};

// ATTRIB (on a block reference) and ATTDEF (in a block definition).
struct Attribute {
  std::string tag;
  std::string text;    // the value, or the default value of a definition
  std::string prompt;  // ATTDEF only
  int flags = 0;       // 70: 1 invisible, 2 constant, 4 verify, 8 preset
  Point3 position;
  Point3 alignment;
  double height = 0;
  double rotation = 0;  // degrees
  double widthFactor = 1;       // 41
  int horizontalAlignment = 0;  // 72
  int verticalAlignment = 0;    // 74
  std::string style;
  // A multi-line attribute keeps its MTEXT content (with formatting codes) here; `text` then
  // holds what the single-line part of the record says (often only the first line).
  bool multiline = false;
  std::string mtext;
  // Filled for the ATTRIBs of a block reference, which are not entities of their own here.
  Handle handle;
  std::string layer;
  bool visible = true;
};

struct Insert {
  std::string blockName;
  Point3 position;
  Point3 scale{1, 1, 1};
  double rotation = 0;  // degrees
  int columnCount = 1;
  int rowCount = 1;
  double columnSpacing = 0;
  double rowSpacing = 0;
  Point3 extrusion{0, 0, 1};
  bool attributesFollow = false;  // 66
  std::vector<Attribute> attributes;  // the ATTRIBs before the SEQEND, in file order
};

struct Text {
  std::string text;
  Point3 position;
  Point3 alignment;
  double height = 0;
  double rotation = 0;  // degrees
  double widthFactor = 1;
  std::string style;
  int horizontalAlignment = 0;
  int verticalAlignment = 0;
};

struct MText {
  std::string text;  // chunks 3 and the final 1 joined, with formatting codes
  Point3 position;
  Point3 direction{1, 0, 0};
  double height = 0;
  double referenceWidth = 0;
  int attachment = 1;
  double rotation = 0;  // 50 as written
  std::string style;
};

struct Viewport {
  Point3 center;  // paper space
  double width = 0;
  double height = 0;
  int status = 0;  // 68: 0 off, positive on and its stacking order
  int id = 0;      // 69: 1 is the paper space's own viewport
  Point3 viewCenter;  // model space (display coordinates)
  double viewHeight = 0;
  Point3 viewTarget;
  Point3 viewDirection{0, 0, 1};
  double twist = 0;  // 51, degrees
  int statusFlags = 0;                     // 90
  std::vector<Handle> frozenLayers;        // 331
  std::vector<std::string> frozenLayerNames;  // R12 extended data (1003)
};

using EntityData = std::variant<std::monostate, Line, Polyline, Insert, Attribute, Text, MText, Viewport, Circle>;

struct Entity : ObjectBase {
  std::string layer = "0";
  std::string linetype;  // empty: BYLAYER
  int color = 256;       // 62: 256 BYLAYER, 0 BYBLOCK
  int lineWeight = -1;   // 370: hundredths of a millimetre; -1 BYLAYER, -2 BYBLOCK, -3 default
  double linetypeScale = 1;  // 48
  bool paperSpace = false;  // 67
  bool visible = true;      // 60 is 0
  EntityData data;          // monostate for entity types kept generically
  std::vector<Group> groups;  // raw groups of entity types kept generically
};

struct Block : ObjectBase {
  std::string name;
  int flags = 0;  // 70: 1 anonymous, 2 has attribute definitions, 4 xref, 8 overlay, 16 dependent
  Point3 basePoint;
  std::string xrefPath;
  std::string description;
  std::string layer = "0";
  std::vector<Entity> entities;  // ATTDEFs included, in file order
};

struct Dictionary : ObjectBase {
  struct Entry {
    std::string name;
    Handle handle;
  };
  std::vector<Entry> entries;
  bool hardOwner = false;  // 280
  int mergeStyle = 0;      // 281
};

struct PlotSettings {
  std::string pageSetupName;  // 1
  std::string configName;     // 2: the plot device
  std::string mediaName;      // 4: the canonical media name
  std::string plotViewName;   // 6
  std::string styleSheet;     // 7
  double marginLeft = 0;      // 40
  double marginBottom = 0;    // 41
  double marginRight = 0;     // 42
  double marginTop = 0;       // 43
  double paperWidth = 0;      // 44
  double paperHeight = 0;     // 45
  double originX = 0;         // 46
  double originY = 0;         // 47
  double windowMinX = 0;      // 48
  double windowMinY = 0;      // 49
  double windowMaxX = 0;      // 140
  double windowMaxY = 0;      // 141
  double scaleNumerator = 1;    // 142
  double scaleDenominator = 1;  // 143
  int flags = 0;                // 70; 1024 marks the model layout
  int paperUnits = 0;           // 72: 0 inches, 1 millimetres, 2 pixels
  int rotation = 0;             // 73: 0, 1 (90), 2 (180), 3 (270)
  int plotType = 0;             // 74
  int standardScaleType = 0;    // 75
  double scaleFactor = 1;       // 147
};

struct Layout : ObjectBase {
  std::string name;
  int flags = 0;  // 70 of the layout subclass
  int tabOrder = 0;
  Handle blockRecord;  // the layout's space block record
  Handle lastViewport;
  Point3 limitsMin;
  Point3 limitsMax;
  Point3 insertionBase;
  Point3 extentsMin;
  Point3 extentsMax;
  PlotSettings plot;
  bool modelType = false;  // plot flag 1024
};

// Any other object of the OBJECTS section, kept with its raw groups.
struct Object : ObjectBase {
  std::vector<Group> groups;
};

// Where entities live: model space and the active paper-space layout are in `entities` (told apart
// by `paperSpace` and their owner); every other layout's entities are in the block of its space
// ("*Paper_Space0", ...), which the layout names through `blockRecord`. R12 files have no block
// records, layouts or objects, and may have no handles at all.
struct Drawing {
  Header header;
  std::vector<Layer> layers;
  std::vector<TextStyle> textStyles;
  std::vector<BlockRecord> blockRecords;
  std::vector<TableRecord> otherTableRecords;
  std::vector<Block> blocks;
  std::vector<Entity> entities;  // the ENTITIES section: model space and the active paper space
  Handle rootDictionary;         // the first object of the OBJECTS section
  std::vector<Dictionary> dictionaries;
  std::vector<Layout> layouts;  // in file order
  std::vector<Object> objects;  // other objects
};

}  // namespace cadsim::dxf
