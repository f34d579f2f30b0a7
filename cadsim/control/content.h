// Drawing content: a small builder for drawings made in code, the objects left open, and the
// host services that content depends on (layout manager, font files).
//
// Every builder function works on a database directly (no object is left open) and answers the
// new object's id, or a null id when the arguments name nothing (an unknown layout, block or
// layer). Spaces are block table record ids; use modelSpaceId or layoutSpaceId. New drawings have
// the layouts "Model", "Layout1" and "Layout2", the layer "0" and the text style "Standard"
// (txt.shx).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "cadsim/sdk/acap.h"
#include "cadsim/sdk/acdb.h"
#include "cadsim/sdk/acge.h"

namespace cadsim {

struct AttributeSpec {
  std::string tag;
  std::string value;      // for a multi-line attribute, MText content ("\P" breaks paragraphs)
  bool multiline = false;
  bool invisible = false;
};

struct LayerSpec {
  bool off = false;
  bool frozen = false;
  bool locked = false;
  bool hidden = false;
};

AcDbDatabase* databaseOf(AcApDocument* doc);
AcDbObjectId modelSpaceId(AcDbDatabase* db);
// The block table record of a layout ("Model" and "模型" name model space).
AcDbObjectId layoutSpaceId(AcDbDatabase* db, const std::string& layoutName);
AcDbObjectId layoutId(AcDbDatabase* db, const std::string& layoutName);
// A paper-space layout with its own paper space; tabOrder -1 puts it after the others.
AcDbObjectId addLayout(AcDbDatabase* db, const std::string& name, int tabOrder = -1);
// Renames the model layout as a localized host shows it (e.g. "模型").
void setModelLayoutName(AcDbDatabase* db, const std::string& name);
AcDbObjectId addLayer(AcDbDatabase* db, const std::string& name, const LayerSpec& wanted = {});
AcDbObjectId addTextStyle(AcDbDatabase* db, const std::string& name, const std::string& fontFile,
                          const std::string& bigFontFile = "", const std::string& typeface = "");
// A block definition holding one attribute definition per entry (value = default text).
AcDbObjectId addBlockDefinition(AcDbDatabase* db, const std::string& name,
                                const std::vector<AttributeSpec>& attributeDefinitions = {},
                                bool dynamic = false);
// An anonymous block ("*U<n>") representing a dynamic block definition, with copies of its
// attribute definitions.
AcDbObjectId addAnonymousRepresentation(AcDbDatabase* db, AcDbObjectId dynamicDefinition);
AcDbObjectId addBlockReference(AcDbDatabase* db, AcDbObjectId space, AcDbObjectId block,
                               const AcGePoint3d& position,
                               const std::vector<AttributeSpec>& attributes = {},
                               const std::string& layer = "0");
AcDbObjectId addLine(AcDbDatabase* db, AcDbObjectId space, const AcGePoint3d& start,
                     const AcGePoint3d& end, const std::string& layer = "0");
AcDbObjectId addPolyline(AcDbDatabase* db, AcDbObjectId space, const std::vector<AcGePoint2d>& points,
                         bool closed, const std::string& layer = "0");
AcDbObjectId addText(AcDbDatabase* db, AcDbObjectId space, const AcGePoint3d& position,
                     const std::string& text, const std::string& style = "Standard");
AcDbObjectId addMText(AcDbDatabase* db, AcDbObjectId space, const AcGePoint3d& position,
                      const std::string& contents, const std::string& style = "Standard");
AcDbObjectId addViewport(AcDbDatabase* db, AcDbObjectId paperSpace, const AcGePoint3d& center,
                         double width, double height,
                         const std::vector<std::string>& frozenLayers = {});
// Enters a floating viewport of a paper layout, as a user double-clicking into it: while that
// layout is current, acedGetCurViewportObjectId answers it. A null id goes back to paper space.
void setActiveViewport(AcDbDatabase* db, AcDbObjectId viewport);
// A dictionary entry in the named objects dictionary, or in an object's extension dictionary
// (made when missing) when `owner` is not null.
AcDbObjectId addDictionary(AcDbDatabase* db, const std::string& name, AcDbObjectId owner = AcDbObjectId());
bool eraseObject(AcDbObjectId id);
std::string handleText(AcDbObjectId id);
// The current layout's name in the drawing ("" without a database).
std::string currentLayoutName(AcDbDatabase* db);

// Objects open right now in any live database, as "<class> <handle> <read|write|notify>"; tests
// expect none once the plug-in's work is done. A database destroyed with objects open reports a
// host fault.
size_t openObjectCount();
std::vector<std::string> openObjects();

// Selection sets made by acedSSGet and not yet freed; tests expect none once the plug-in is done.
size_t liveSelectionSets();

// Takes the layout manager away (layoutManager() returns null) or gives it back.
void setLayoutManagerAvailable(bool available);

// The host's font files for findFile: a folder whose files exist (--fonts DIR), or, without one,
// a list of names (default: txt.shx, simplex.shx, romans.shx, gbcbig.shx, isocp.shx, ...).
void setFontFolder(const std::string& dir);
void setAvailableFonts(const std::vector<std::string>& fileNames);

}  // namespace cadsim
