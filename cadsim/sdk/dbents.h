// Entities of the SDK surface: the entity base, lines, light-weight polylines, text, mtext, block
// references with their attributes, attribute definitions, viewports, and the dynamic block view
// of a reference.
//
// Entities are database objects (dbobject.h). A block reference's attributes are objects of their
// own, owned by the reference: walk them with attributeIterator() (the caller deletes it) and open
// each id.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cadsim/sdk/acge.h"
#include "cadsim/sdk/dbobject.h"

class AcDbEntity : public AcDbObject {
 public:
  ACRX_DECLARE_MEMBERS(AcDbEntity);
  AcDbObjectId blockId() const;
  // Allocates: free with acutDelString.
  ACHAR* layer() const;
  AcDbObjectId layerId() const;
  // Sets the layer by name; the name must exist in the entity's database once it is in one.
  Acad::ErrorStatus setLayer(const ACHAR* newVal, bool doSubents = true, bool allowHiddenLayer = false);
  Acad::ErrorStatus setLayer(AcDbObjectId newVal, bool doSubents = true, bool allowHiddenLayer = false);
  Adesk::UInt16 colorIndex() const;
  Acad::ErrorStatus setColorIndex(Adesk::UInt16 color, bool doSubents = true);
  AcDb::Visibility visibility() const;
  Acad::ErrorStatus setVisibility(AcDb::Visibility newVal, bool doSubents = true);
  // eInvalidExtents when the entity has no extent (an empty polyline, an empty block).
  virtual Acad::ErrorStatus getGeomExtents(AcDbExtents& extents) const;

  // Engine use: the layer name kept until the entity joins a database.
  const std::wstring& layerName() const { return m_layerName; }

 private:
  std::wstring m_layerName = L"0";
  AcDbObjectId m_layerId;
  Adesk::UInt16 m_color = 256;
  AcDb::Visibility m_visibility = AcDb::kVisible;
};

class AcDbCurve : public AcDbEntity {
 public:
  ACRX_DECLARE_MEMBERS(AcDbCurve);
  virtual bool isClosed() const { return false; }
  virtual Acad::ErrorStatus getStartParam(double& param) const;
  virtual Acad::ErrorStatus getEndParam(double& param) const;
  virtual Acad::ErrorStatus getDistAtParam(double param, double& dist) const;
  virtual Acad::ErrorStatus getStartPoint(AcGePoint3d& point) const;
  virtual Acad::ErrorStatus getEndPoint(AcGePoint3d& point) const;
};

class AcDbLine : public AcDbCurve {
 public:
  ACRX_DECLARE_MEMBERS(AcDbLine);
  AcDbLine() = default;
  AcDbLine(const AcGePoint3d& start, const AcGePoint3d& end) : m_start(start), m_end(end) {}
  AcGePoint3d startPoint() const;
  AcGePoint3d endPoint() const;
  Acad::ErrorStatus setStartPoint(const AcGePoint3d& p);
  Acad::ErrorStatus setEndPoint(const AcGePoint3d& p);
  Acad::ErrorStatus getEndParam(double& param) const override;
  Acad::ErrorStatus getDistAtParam(double param, double& dist) const override;
  Acad::ErrorStatus getStartPoint(AcGePoint3d& point) const override;
  Acad::ErrorStatus getEndPoint(AcGePoint3d& point) const override;
  Acad::ErrorStatus getGeomExtents(AcDbExtents& extents) const override;

 private:
  AcGePoint3d m_start, m_end;
};

// A full circle in the plane of its normal (the simulated host keeps circles in the XY plane).
class AcDbCircle : public AcDbCurve {
 public:
  ACRX_DECLARE_MEMBERS(AcDbCircle);
  AcDbCircle() = default;
  AcDbCircle(const AcGePoint3d& center, double radius) : m_center(center), m_radius(radius) {}
  AcGePoint3d center() const;
  Acad::ErrorStatus setCenter(const AcGePoint3d& center);
  double radius() const;
  Acad::ErrorStatus setRadius(double radius);
  bool isClosed() const override { return true; }
  Acad::ErrorStatus getGeomExtents(AcDbExtents& extents) const override;

 private:
  AcGePoint3d m_center;
  double m_radius = 0;
};

// An arc running counter-clockwise from its start angle to its end angle (radians, from the X axis).
class AcDbArc : public AcDbCurve {
 public:
  ACRX_DECLARE_MEMBERS(AcDbArc);
  AcDbArc() = default;
  AcDbArc(const AcGePoint3d& center, double radius, double startAngle, double endAngle)
      : m_center(center), m_radius(radius), m_start(startAngle), m_end(endAngle) {}
  AcGePoint3d center() const;
  Acad::ErrorStatus setCenter(const AcGePoint3d& center);
  double radius() const;
  Acad::ErrorStatus setRadius(double radius);
  double startAngle() const;
  Acad::ErrorStatus setStartAngle(double angle);
  double endAngle() const;
  Acad::ErrorStatus setEndAngle(double angle);
  Acad::ErrorStatus getGeomExtents(AcDbExtents& extents) const override;

 private:
  AcGePoint3d m_center;
  double m_radius = 0, m_start = 0, m_end = 0;
};

// A light-weight polyline: 2D vertices with bulges at one elevation. Its parameter runs from 0
// at the first vertex by one per vertex.
class AcDbPolyline : public AcDbCurve {
 public:
  ACRX_DECLARE_MEMBERS(AcDbPolyline);
  AcDbPolyline() = default;
  explicit AcDbPolyline(unsigned int num) { (void)num; }
  unsigned int numVerts() const;
  Acad::ErrorStatus addVertexAt(unsigned int index, const AcGePoint2d& pt, double bulge = 0.,
                                double startWidth = -1., double endWidth = -1.,
                                Adesk::Int32 vertexIdentifier = 0);
  Acad::ErrorStatus getPointAt(unsigned int index, AcGePoint2d& pt) const;
  Acad::ErrorStatus getPointAt(unsigned int index, AcGePoint3d& pt) const;
  Acad::ErrorStatus getBulgeAt(unsigned int index, double& bulge) const;
  bool isClosed() const override;
  void setClosed(bool closed);
  double elevation() const;
  void setElevation(double elevation);
  Acad::ErrorStatus getEndParam(double& param) const override;
  Acad::ErrorStatus getDistAtParam(double param, double& dist) const override;
  Acad::ErrorStatus getStartPoint(AcGePoint3d& point) const override;
  Acad::ErrorStatus getEndPoint(AcGePoint3d& point) const override;
  Acad::ErrorStatus getGeomExtents(AcDbExtents& extents) const override;

 private:
  struct Vertex {
    AcGePoint2d point;
    double bulge;
  };
  double segmentLength(size_t index) const;
  std::vector<Vertex> m_vertices;
  bool m_closed = false;
  double m_elevation = 0;
};

class AcDbText : public AcDbEntity {
 public:
  ACRX_DECLARE_MEMBERS(AcDbText);
  AcDbText() = default;
  AcDbText(const AcGePoint3d& position, const ACHAR* text, AcDbObjectId style = AcDbObjectId(),
           double height = 0, double rotation = 0);
  // Allocates: free with acutDelString.
  ACHAR* textString() const;
  const ACHAR* textStringConst() const;
  Acad::ErrorStatus textString(AcString& text) const;
  Acad::ErrorStatus setTextString(const ACHAR* text);
  AcGePoint3d position() const;
  Acad::ErrorStatus setPosition(const AcGePoint3d& p);
  double height() const;
  Acad::ErrorStatus setHeight(double height);
  double rotation() const;
  Acad::ErrorStatus setRotation(double rotation);
  AcDbObjectId textStyle() const;
  Acad::ErrorStatus setTextStyle(AcDbObjectId style);
  Acad::ErrorStatus getGeomExtents(AcDbExtents& extents) const override;

 private:
  std::wstring m_text;
  AcGePoint3d m_position;
  double m_height = 2.5, m_rotation = 0;
  AcDbObjectId m_style;
};

class AcDbMText : public AcDbEntity {
 public:
  ACRX_DECLARE_MEMBERS(AcDbMText);
  // The content with its formatting codes. Allocates: free with acutDelString.
  ACHAR* contents() const;
  Acad::ErrorStatus contents(AcString& text) const;
  Acad::ErrorStatus setContents(const ACHAR* text);
  // The plain text: paragraph breaks as line feeds, formatting codes dropped. Allocates.
  ACHAR* text() const;
  Acad::ErrorStatus text(AcString& text) const;
  AcGePoint3d location() const;
  Acad::ErrorStatus setLocation(const AcGePoint3d& p);
  double textHeight() const;
  Acad::ErrorStatus setTextHeight(double height);
  AcDbObjectId textStyle() const;
  Acad::ErrorStatus setTextStyle(AcDbObjectId style);

 private:
  std::wstring m_contents;
  AcGePoint3d m_location;
  double m_height = 2.5;
  AcDbObjectId m_style;
};

class AcDbAttributeDefinition : public AcDbText {
 public:
  ACRX_DECLARE_MEMBERS(AcDbAttributeDefinition);
  AcDbAttributeDefinition() = default;
  AcDbAttributeDefinition(const AcGePoint3d& position, const ACHAR* text, const ACHAR* tag,
                          const ACHAR* prompt, AcDbObjectId style = AcDbObjectId());
  // Allocate: free with acutDelString.
  ACHAR* tag() const;
  ACHAR* prompt() const;
  const ACHAR* tagConst() const;
  const ACHAR* promptConst() const;
  Acad::ErrorStatus setTag(const ACHAR* tag);
  Acad::ErrorStatus setPrompt(const ACHAR* prompt);
  bool isInvisible() const;
  Acad::ErrorStatus setInvisible(bool invisible);
  bool isConstant() const;
  Acad::ErrorStatus setConstant(bool constant);
  bool isMTextAttributeDefinition() const;
  Acad::ErrorStatus setMTextAttributeDefinition(AcDbMText* mtext);  // copies it

 private:
  std::wstring m_tag, m_prompt;
  bool m_invisible = false, m_constant = false;
  std::unique_ptr<AcDbMText> m_mtext;
};

class AcDbAttribute : public AcDbText {
 public:
  ACRX_DECLARE_MEMBERS(AcDbAttribute);
  AcDbAttribute() = default;
  AcDbAttribute(const AcGePoint3d& position, const ACHAR* text, const ACHAR* tag,
                AcDbObjectId style = AcDbObjectId());
  // Allocates: free with acutDelString.
  ACHAR* tag() const;
  Acad::ErrorStatus tag(AcString& tag) const;
  const ACHAR* tagConst() const;
  Acad::ErrorStatus setTag(const ACHAR* tag);
  bool isInvisible() const;
  Acad::ErrorStatus setInvisible(bool invisible);
  bool isConstant() const;
  // A multi-line attribute keeps its text in an MText; textString() then holds its plain text.
  bool isMTextAttribute() const;
  // A copy of the attribute's MText, not in any database: the caller deletes it. Null for a
  // single-line attribute.
  AcDbMText* getMTextAttribute() const;
  // The attribute's own MText, valid while the attribute is open. Null for a single-line one.
  const AcDbMText* getMTextAttributeConst() const;
  // Makes the attribute multi-line with a copy of the given MText's content.
  Acad::ErrorStatus setMTextAttribute(AcDbMText* mtext);
  Acad::ErrorStatus convertIntoMTextAttribute(bool val = true);

 private:
  std::wstring m_tag;
  bool m_invisible = false, m_constant = false;
  std::unique_ptr<AcDbMText> m_mtext;
};

class AcDbBlockReference : public AcDbEntity {
 public:
  ACRX_DECLARE_MEMBERS(AcDbBlockReference);
  AcDbBlockReference() = default;
  AcDbBlockReference(const AcGePoint3d& position, AcDbObjectId blockTableRec);
  AcDbObjectId blockTableRecord() const;
  Acad::ErrorStatus setBlockTableRecord(AcDbObjectId id);
  AcGePoint3d position() const;
  Acad::ErrorStatus setPosition(const AcGePoint3d& p);
  AcGeScale3d scaleFactors() const;
  Acad::ErrorStatus setScaleFactors(const AcGeScale3d& scale);
  double rotation() const;
  Acad::ErrorStatus setRotation(double rotation);
  // Definition space to world: scale, then rotate about Z, then move to the position.
  AcGeMatrix3d blockTransform() const;
  // Adds an attribute; needs the reference open for write and in a database. The attribute joins
  // the database open for write: the caller closes it.
  Acad::ErrorStatus appendAttribute(AcDbObjectId& id, AcDbAttribute* attribute);
  Acad::ErrorStatus appendAttribute(AcDbAttribute* attribute);
  // Never null; already done when the reference has no attributes. The caller deletes it.
  AcDbObjectIterator* attributeIterator() const;
  Acad::ErrorStatus getGeomExtents(AcDbExtents& extents) const override;

  // Engine use.
  std::vector<AcDbObjectId>& attributeIds() { return m_attributes; }
  AcDbObjectId blockRecordValue() const { return m_block; }

 private:
  AcDbObjectId m_block;
  AcGePoint3d m_position;
  AcGeScale3d m_scale;
  double m_rotation = 0;
  std::vector<AcDbObjectId> m_attributes;
};

// A paper-space viewport onto model space.
class AcDbViewport : public AcDbEntity {
 public:
  ACRX_DECLARE_MEMBERS(AcDbViewport);
  AcGePoint3d centerPoint() const;
  Acad::ErrorStatus setCenterPoint(const AcGePoint3d& p);
  double width() const;
  Acad::ErrorStatus setWidth(double w);
  double height() const;
  Acad::ErrorStatus setHeight(double h);
  // 1 is the paper space's own viewport; -1 while the layout is not current.
  Adesk::Int16 number() const;
  bool isOn() const;
  Acad::ErrorStatus setOn();
  Acad::ErrorStatus setOff();
  AcGePoint2d viewCenter() const;
  Acad::ErrorStatus setViewCenter(const AcGePoint2d& p);
  double viewHeight() const;
  Acad::ErrorStatus setViewHeight(double h);
  AcGePoint3d viewTarget() const;
  Acad::ErrorStatus setViewTarget(const AcGePoint3d& p);
  AcGeVector3d viewDirection() const;
  Acad::ErrorStatus setViewDirection(const AcGeVector3d& v);
  double twistAngle() const;
  Acad::ErrorStatus setTwistAngle(double angle);
  Acad::ErrorStatus getFrozenLayerList(AcDbObjectIdArray& ids) const;
  Acad::ErrorStatus freezeLayersInViewport(const AcDbObjectIdArray& ids);
  Acad::ErrorStatus thawLayersInViewport(const AcDbObjectIdArray& ids);
  bool isLayerFrozenInViewport(AcDbObjectId layerId) const;
  Acad::ErrorStatus getGeomExtents(AcDbExtents& extents) const override;

  // Engine use.
  Adesk::Int16 numberValue = 2;

 private:
  AcGePoint3d m_center;
  double m_width = 0, m_height = 0;
  bool m_on = true;
  AcGePoint2d m_viewCenter;
  double m_viewHeight = 0, m_twist = 0;
  AcGePoint3d m_target;
  AcGeVector3d m_direction{0, 0, 1};
  AcDbObjectIdArray m_frozen;
};

// The dynamic block view of a block reference. A reference to a dynamic block points at an
// anonymous representation once its parameters change; this finds the dynamic definition.
class AcDbDynBlockReference {
 public:
  explicit AcDbDynBlockReference(AcDbObjectId blockRefId);
  explicit AcDbDynBlockReference(AcDbBlockReference* pRef);
  // Whether a block table record is a dynamic definition or the representation of one.
  static bool isDynamicBlock(AcDbObjectId blockTableRecordId);
  bool isDynamicBlock() const;
  AcDbObjectId blockId() const { return m_ref; }
  // The dynamic definition; null when the reference is not to a dynamic block.
  AcDbObjectId dynamicBlockTableRecord() const;
  // The anonymous representation the reference points at; null when it points at the definition.
  AcDbObjectId anonymousBlockTableRecord() const;

 private:
  AcDbObjectId m_ref;
  AcDbObjectId m_block;  // the record the reference points at
};
