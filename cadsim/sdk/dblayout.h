// Layouts of the SDK surface: plot settings, layouts and the layout manager.
//
// A layout is a database object in the drawing's layout dictionary (open and close it); model
// space is the layout named "Model" (the host also takes "模型" for it). The layout manager,
// reached through acdbHostApplicationServices()->layoutManager(), is null when the host has none.
// Names passed to it compare without letter case.
#pragma once

#include <string>

#include "cadsim/sdk/acge.h"
#include "cadsim/sdk/dbobject.h"

class AcDbPlotSettings : public AcDbObject {
 public:
  ACRX_DECLARE_MEMBERS(AcDbPlotSettings);
  explicit AcDbPlotSettings(bool modelType = false) : m_modelType(modelType) {}
  enum PlotPaperUnits { kInches = 0, kMillimeters = 1, kPixels = 2 };
  enum PlotRotation { k0degrees = 0, k90degrees = 1, k180degrees = 2, k270degrees = 3 };
  enum PlotType { kDisplay = 0, kExtents = 1, kLimits = 2, kView = 3, kWindow = 4, kLayout = 5 };
  // Standard scales; kScaleToFit fits the plot area to the printable area of the paper.
  enum StdScaleType {
    kScaleToFit = 0,
    k1_128in_1ft, k1_64in_1ft, k1_32in_1ft, k1_16in_1ft, k3_32in_1ft, k1_8in_1ft, k3_16in_1ft,
    k1_4in_1ft, k3_8in_1ft, k1_2in_1ft, k3_4in_1ft, k1in_1ft, k3in_1ft, k6in_1ft, k1ft_1ft,
    k1_1 = 16, k1_2, k1_4, k1_5, k1_8, k1_10, k1_16, k1_20, k1_30, k1_40, k1_50, k1_100,
    k2_1, k4_1, k8_1, k10_1, k100_1, k1000_1, k1and1half_in_1ft
  };

  bool modelType() const;
  Acad::ErrorStatus getPlotSettingsName(const ACHAR*& name) const;
  Acad::ErrorStatus setPlotSettingsName(const ACHAR* name);
  Acad::ErrorStatus getPlotCfgName(const ACHAR*& name) const;
  Acad::ErrorStatus getCanonicalMediaName(const ACHAR*& name) const;
  Acad::ErrorStatus getCurrentStyleSheet(const ACHAR*& name) const;
  PlotPaperUnits plotPaperUnits() const;
  PlotRotation plotRotation() const;
  PlotType plotType() const;
  bool plotCentered() const;
  bool useStandardScale() const;
  StdScaleType stdScaleType() const;
  bool scaleLineweights() const;
  bool plotPlotStyles() const;
  bool printLineweights() const;
  void setScaleLineweights(bool scaleIt);
  void setPlotPlotStyles(bool plotIt);
  void setPrintLineweights(bool printIt);
  Acad::ErrorStatus getStdScale(double& scale) const;
  Acad::ErrorStatus getCustomPrintScale(double& numerator, double& denominator) const;
  Acad::ErrorStatus getPlotOrigin(double& x, double& y) const;
  // The paper as the plot is turned: width and height swapped at 90 and 270 degrees.
  Acad::ErrorStatus getPlotPaperSize(double& width, double& height) const;
  Acad::ErrorStatus getPlotPaperMargins(double& left, double& bottom, double& right, double& top) const;
  Acad::ErrorStatus getPlotWindowArea(double& xmin, double& ymin, double& xmax, double& ymax) const;
  // copyFrom (AcDbObject's) takes the plot settings of another AcDbPlotSettings (or AcDbLayout):
  // device, media, style sheet, plot area, scale, rotation, origin and flags, and the model-type
  // flag. The source must be readable and this object writable; eWrongObjectType for anything
  // else.
  using AcDbObject::copyFrom;

  // The settings as data. The plot settings validator writes them (the SDK's only way to change
  // them); the engine fills them from drawings. Paper size and margins are millimetres, for the
  // media at rotation 0.
  struct Data {
    std::wstring name, configName, mediaName, styleSheet, viewName;
    PlotPaperUnits units = kMillimeters;
    PlotRotation rotation = k0degrees;
    PlotType type = kLayout;
    StdScaleType stdScaleType = kScaleToFit;
    bool centered = false, standardScale = true;
    bool scaleLineweights = false, plotPlotStyles = true, printLineweights = true;
    double stdScale = 1, numerator = 1, denominator = 1;
    double originX = 0, originY = 0, paperWidth = 297, paperHeight = 210;
    double marginLeft = 0, marginBottom = 0, marginRight = 0, marginTop = 0;
    double windowMinX = 0, windowMinY = 0, windowMaxX = 0, windowMaxY = 0;
  };
  Data& plotData() { return m_plot; }
  const Data& plotData() const { return m_plot; }
  void setModelTypeFlag(bool model) { m_modelType = model; }
  bool modelTypeValue() const { return m_modelType; }

 protected:
  Acad::ErrorStatus copyObjectFrom(const AcRxObject* pSrc) override;

 private:
  bool m_modelType;
  Data m_plot;
};

class AcDbLayout : public AcDbPlotSettings {
 public:
  ACRX_DECLARE_MEMBERS(AcDbLayout);
  AcDbLayout() = default;
  // The text of the const form belongs to the layout and lives while it stays open.
  Acad::ErrorStatus getLayoutName(const ACHAR*& layoutName) const;
  Acad::ErrorStatus getName(AcString& sName) const;
  Acad::ErrorStatus setLayoutName(const ACHAR* name);
  int getTabOrder() const;
  void setTabOrder(int order);
  bool getTabSelected() const { return false; }
  AcDbObjectId getBlockTableRecordId() const;
  Acad::ErrorStatus setBlockTableRecordId(AcDbObjectId id);
  // The viewports of the layout's paper space, its own (number 1) first.
  AcDbObjectIdArray getViewportArray() const;
  void getLimits(AcGePoint2d& min, AcGePoint2d& max) const;
  void getExtents(AcGePoint3d& min, AcGePoint3d& max) const;

  // Engine use.
  int tabOrderValue() const { return m_tabOrder; }
  AcDbObjectId blockRecordValue() const { return m_block; }
  AcGePoint2d limitsMin, limitsMax{420, 297};
  AcGePoint3d extentsMin, extentsMax;

 private:
  std::wstring m_name;
  int m_tabOrder = 0;
  AcDbObjectId m_block;
};

// The host's layout manager: which layout each drawing shows, and finding layouts by name.
class AcDbLayoutManager : public AcRxObject {
 public:
  ACRX_DECLARE_MEMBERS(AcDbLayoutManager);
  // Makes a layout current in the drawing (default: the working database). eKeyNotFound for a
  // name the drawing has no layout for.
  Acad::ErrorStatus setCurrentLayout(const ACHAR* newname, AcDbDatabase* pDb = nullptr);
  Acad::ErrorStatus setCurrentLayoutId(AcDbObjectId layoutId);
  // The current layout's name; with allowModel false, model space answers the last paper layout
  // that was current. The text stays valid until the next call. Null when there is no drawing.
  const ACHAR* findActiveLayout(bool allowModel, const AcDbDatabase* pDb = nullptr);
  Acad::ErrorStatus getActiveLayoutName(AcString& sName, bool allowModel,
                                        const AcDbDatabase* pDb = nullptr);
  AcDbObjectId getActiveLayoutBTRId(const AcDbDatabase* pDb = nullptr);
  // The layout's id, null when the drawing has no layout of that name.
  AcDbObjectId findLayoutNamed(const ACHAR* name, const AcDbDatabase* pDb = nullptr);
  bool layoutExists(const ACHAR* name, const AcDbDatabase* pDb = nullptr);
  int countLayouts(AcDbDatabase* pDb = nullptr);
  // Adds a paper-space layout with its own paper space block record.
  Acad::ErrorStatus createLayout(const ACHAR* newname, AcDbObjectId& layoutId,
                                 AcDbObjectId& blockTableRecId, AcDbDatabase* pDb = nullptr);
};
