// The plot settings validator of the SDK surface: the only way to change an AcDbPlotSettings (or
// a layout's page setup), checked against the plot devices the host knows.
//
// Reached through acdbHostApplicationServices()->plotSettingsValidator(), null when the host has
// none. Every setter wants the settings writable: a settings object made by the caller, or a
// database-resident one (a layout) open for write. What the host refuses it refuses with a status
// and leaves the settings as they were:
//   eInvalidInput      a null settings pointer or name; a device, media or style sheet the host
//                      does not know; a media given by its localized name; an empty or inverted
//                      window; a window plot without a window; a layout plot of model space; a
//                      view plot; a scale or rotation out of range; pixels for a paper device
//   eNotOpenForWrite   a resident settings object that is not open for write
// Names handed out (media lists, localized names) belong to the validator and stay valid until
// the next refreshLists or setPlotCfgName on any settings.
#pragma once

#include "cadsim/sdk/acad_types.h"
#include "cadsim/sdk/acutil.h"
#include "cadsim/sdk/dblayout.h"

class AcDbPlotSettingsValidator {
 public:
  virtual ~AcDbPlotSettingsValidator() = default;

  // Selects a device ("DWG To PDF.pc3", "None"); with a media name the media too, else the media
  // the settings had when the new device has it, else the device's first. Devices compare without
  // letter case, media names exactly.
  Acad::ErrorStatus setPlotCfgName(AcDbPlotSettings* pPlotSet, const ACHAR* plotDeviceName,
                                   const ACHAR* mediaName = nullptr);
  // Canonical names only (those of canonicalMediaNameList), compared exactly.
  Acad::ErrorStatus setCanonicalMediaName(AcDbPlotSettings* pPlotSet, const ACHAR* mediaName);
  Acad::ErrorStatus setPlotOrigin(AcDbPlotSettings* pPlotSet, double xCoordinate, double yCoordinate);
  Acad::ErrorStatus setPlotPaperUnits(AcDbPlotSettings* pPlotSet,
                                      AcDbPlotSettings::PlotPaperUnits units);
  Acad::ErrorStatus setPlotRotation(AcDbPlotSettings* pPlotSet,
                                    AcDbPlotSettings::PlotRotation rotationType);
  Acad::ErrorStatus setPlotCentered(AcDbPlotSettings* pPlotSet, bool isCentered);
  Acad::ErrorStatus setPlotType(AcDbPlotSettings* pPlotSet, AcDbPlotSettings::PlotType plotAreaType);
  // In the plotted space's coordinates; xmin < xmax and ymin < ymax.
  Acad::ErrorStatus setPlotWindowArea(AcDbPlotSettings* pPlotSet, double xmin, double ymin,
                                      double xmax, double ymax);
  Acad::ErrorStatus setPlotViewName(AcDbPlotSettings* pPlotSet, const ACHAR* viewName);
  Acad::ErrorStatus setUseStandardScale(AcDbPlotSettings* pPlotSet, bool useStandard);
  Acad::ErrorStatus setStdScaleType(AcDbPlotSettings* pPlotSet,
                                    AcDbPlotSettings::StdScaleType scaleType);
  Acad::ErrorStatus setStdScale(AcDbPlotSettings* pPlotSet, double standardScale);
  // Paper units per drawing unit: numerator / denominator, both finite and greater than zero.
  Acad::ErrorStatus setCustomPrintScale(AcDbPlotSettings* pPlotSet, double numerator,
                                        double denominator);
  // A style table's file name as the host lists it (letter case ignored), or empty for none.
  Acad::ErrorStatus setCurrentStyleSheet(AcDbPlotSettings* pPlotSet, const ACHAR* styleSheetName);
  // The host's defaults: the first device of the catalogue and its first media.
  Acad::ErrorStatus setDefaultPlotConfig(AcDbPlotSettings* pPlotSet);

  // Device names, in the host's order.
  Acad::ErrorStatus plotDeviceList(AcArray<const ACHAR*>& deviceList);
  // The canonical media names of the settings' device, in the host's order.
  Acad::ErrorStatus canonicalMediaNameList(AcDbPlotSettings* pPlotSet, AcArray<const ACHAR*>& mediaList);
  // The name a user sees for a canonical media name; null when the device has no localized name
  // for it (eOk all the same), eInvalidInput for a media the device does not have. The answer
  // reuses the buffer of earlier name answers: texts handed out before no longer hold their names.
  Acad::ErrorStatus getLocaleMediaName(AcDbPlotSettings* pPlotSet, const ACHAR* canonicalName,
                                       const ACHAR*& localeMediaName);
  Acad::ErrorStatus getLocaleMediaName(AcDbPlotSettings* pPlotSet, int index,
                                       const ACHAR*& localeMediaName);
  // Style table entries as the host lists them (file names or full paths).
  Acad::ErrorStatus plotStyleSheetList(AcArray<const ACHAR*>& styleList);
  // Re-reads the device's media for the settings (after a catalogue change).
  void refreshLists(AcDbPlotSettings* pPlotSet);
};
