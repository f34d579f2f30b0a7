// Plotting of the SDK surface: the plot configuration manager (devices and style tables), plot
// info and its validator, the plot page info, and the publish engine that plots to a file.
//
// A plot runs on the main thread as one nested sequence on one engine:
//   beginPlot, beginDocument, beginPage, beginGenerateGraphics, endGenerateGraphics, endPage,
//   endDocument, endPlot, destroy.
// A call out of that order answers eInvalidContext and changes nothing. While a plot is begun and
// not ended, acplProcessPlotState() is not kNotPlotting. The plot info must be validated before
// beginDocument. For a PDF device the file named in beginDocument is written at endDocument; a
// plot that ends without endDocument writes nothing. An engine destroyed with a plot still begun
// ends it (and reports a host fault: the caller leaked a half-built plot).
#pragma once

#include <memory>
#include <string>

#include "cadsim/sdk/acad_types.h"
#include "cadsim/sdk/acdb.h"
#include "cadsim/sdk/acutil.h"
#include "cadsim/sdk/dblayout.h"

// One plot device of the catalogue.
class AcPlPlotConfigInfo {
 public:
  enum DeviceType { kSystemPrinter = 0, kPC3File = 1, kOneOffConfig = 2, kUninitialized = -1 };
  AcPlPlotConfigInfo() = default;
  AcPlPlotConfigInfo(const ACHAR* deviceName, const ACHAR* fullPath, DeviceType type)
      : m_name(deviceName ? deviceName : L""), m_path(fullPath ? fullPath : L""), m_type(type) {}
  const ACHAR* deviceName() const { return m_name.c_str(); }
  const ACHAR* fullPath() const { return m_path.c_str(); }
  DeviceType deviceType() const { return m_type; }

 private:
  std::wstring m_name, m_path;
  DeviceType m_type = kUninitialized;
};

// The configuration of one plot device, made current by the manager, which owns it.
class AcPlPlotConfig {
 public:
  AcPlPlotConfig(const ACHAR* deviceName, const ACHAR* fileExtension)
      : m_name(deviceName ? deviceName : L""), m_extension(fileExtension ? fileExtension : L"") {}
  virtual ~AcPlPlotConfig() = default;
  const ACHAR* deviceName() const { return m_name.c_str(); }
  // The extension, with its leading dot, of the file a plot to file writes: ".pdf", ".dwf",
  // ".png"...; empty for a device that writes no file.
  Acad::ErrorStatus getDefaultFileExtension(const ACHAR*& pDefaultExtension) const {
    pDefaultExtension = m_extension.c_str();
    return Acad::eOk;
  }

 private:
  std::wstring m_name, m_extension;
};

// The host's plot devices and plot style tables. Lists are read as of the last refreshList.
class AcPlPlotConfigManager {
 public:
  enum RefreshCode {
    kAll = 0,
    kRefreshDevicesList = 1,
    kRefreshStyleList = 2,
    kRefreshSystemDevicesList = 3,
    kRefreshPC3DevicesList = 4,
  };
  enum StyTypes {
    kUndefined = 0,
    kRegular = 0x01,      // named styles (.stb)
    kTranslation = 0x02,  // legacy translation tables
    kColorDep = 0x04,     // colour-dependent (.ctb)
    kAllTypes = 0x07,
  };
  virtual ~AcPlPlotConfigManager() = default;
  void refreshList(RefreshCode refreshCode = kAll);
  // false when the host cannot enumerate; the list is then left empty.
  bool getDevicesList(AcArray<AcPlPlotConfigInfo>& deviceList);
  // Entries as the host lists them: file names or full paths ("/" or "\" separated). The SDK hands
  // them out as ACHAR* without saying who frees them; the simulated manager keeps them (valid
  // until the next refreshList), and callers must not free them.
  bool getStyleList(AcArray<ACHAR*>& list, long styType = kAllTypes);
  // Makes the named device (letter case ignored) the current configuration; pConfig is null, and
  // the status not eOk, for a device the host does not have. pConfig stays the manager's and valid
  // until the next call.
  Acad::ErrorStatus setCurrentConfig(AcPlPlotConfig*& pConfig, const ACHAR* pDeviceName);
};

// Null when the host has no plot configuration manager.
AcPlPlotConfigManager* acplPlotConfigManagerPtr();

// What to plot: a layout, optionally with settings that override its page setup. The override
// settings are not copied: they must outlive the plot. Changing the layout or the overrides drops
// the validation.
class AcPlPlotInfo {
 public:
  AcPlPlotInfo() = default;
  virtual ~AcPlPlotInfo();
  AcPlPlotInfo(const AcPlPlotInfo&) = delete;
  AcPlPlotInfo& operator=(const AcPlPlotInfo&) = delete;
  // The SDK takes the id by non-const reference.
  void setLayout(AcDbObjectId& layoutId);
  AcDbObjectId layout() const { return m_layout; }
  void setOverrideSettings(const AcDbPlotSettings* pOverrides);
  const AcDbPlotSettings* overrideSettings() const { return m_overrides; }
  // The settings the validator settled on (a copy it owns); null until validated.
  const AcDbPlotSettings* validatedSettings() const { return m_validated.get(); }
  bool isValidated() const { return m_validated != nullptr; }

  // Engine use.
  void setValidatedSettings(std::unique_ptr<AcDbPlotSettings> settings);

 private:
  AcDbObjectId m_layout;
  const AcDbPlotSettings* m_overrides = nullptr;
  std::unique_ptr<AcDbPlotSettings> m_validated;
};

class AcPlPlotInfoValidator {
 public:
  enum MatchingPolicy {
    kMatchDisabled = 1,
    kMatchEnabled = 2,            // an unusable media is replaced by the device's closest one
    kMatchEnabledCustom = 3,
    kMatchEnabledTmpCustom = 4,
  };
  AcPlPlotInfoValidator() = default;
  virtual ~AcPlPlotInfoValidator() = default;
  void setMediaMatchingPolicy(MatchingPolicy policy) { m_policy = policy; }
  MatchingPolicy matchingPolicy() const { return m_policy; }
  // Settles the settings to plot with (the layout's page setup, or the override settings) against
  // the devices. Statuses: eNullObjectId (no layout), eWasErased / eNotInDatabase (a layout that
  // is gone), eNotThatKindOfClass (not a layout), eInvalidInput (the device is unknown, or the
  // media is not the device's and matching is disabled, or nothing to plot: an empty window).
  Acad::ErrorStatus validate(AcPlPlotInfo& info);

 private:
  MatchingPolicy m_policy = kMatchDisabled;
};

// What one page of a plot held; filled by beginPage.
class AcPlPlotPageInfo {
 public:
  AcPlPlotPageInfo() = default;
  virtual ~AcPlPlotPageInfo() = default;
  Adesk::Int32 entityCount() const { return m_entities; }
  Adesk::Int32 rasterCount() const { return 0; }
  Adesk::Int32 oleObjectCount() const { return 0; }
  Adesk::Int32 gradientCount() const { return 0; }
  Adesk::Int32 shadedViewportType() const { return 0; }

  // Engine use.
  void setEntityCount(Adesk::Int32 n) { m_entities = n; }

 private:
  Adesk::Int32 m_entities = 0;
};

// The host's progress dialog; the simulated host has none to show, so pass null.
class AcPlPlotProgress;

class AcPlPlotEngine {
 public:
  virtual Acad::ErrorStatus beginPlot(AcPlPlotProgress* pPlotProgress, void* pParams = nullptr);
  virtual Acad::ErrorStatus endPlot(void* pParams = nullptr);
  // bPlotToFile with pFileName writes the plot there; nCopies at least 1.
  virtual Acad::ErrorStatus beginDocument(AcPlPlotInfo& plotInfo, const ACHAR* pDocname,
                                          void* pParams = nullptr, Adesk::Int32 nCopies = 1,
                                          bool bPlotToFile = false, const ACHAR* pFileName = nullptr);
  virtual Acad::ErrorStatus endDocument(void* pParams = nullptr);
  virtual Acad::ErrorStatus beginPage(AcPlPlotPageInfo& pageInfo, AcPlPlotInfo& plotInfo,
                                      bool bLastPage, void* pParams = nullptr);
  virtual Acad::ErrorStatus endPage(void* pParams = nullptr);
  virtual Acad::ErrorStatus beginGenerateGraphics(void* pParams = nullptr);
  virtual Acad::ErrorStatus endGenerateGraphics(void* pParams = nullptr);
  virtual bool isBackgroundPackaging() const { return false; }
  // Deletes the engine.
  virtual void destroy();

  // Engine use.
  struct State;
  explicit AcPlPlotEngine(State* state) : m_state(state) {}
  AcPlPlotEngine(const AcPlPlotEngine&) = delete;
  AcPlPlotEngine& operator=(const AcPlPlotEngine&) = delete;

 protected:
  virtual ~AcPlPlotEngine();

 private:
  State* m_state;
};

class AcPlPlotFactory {
 public:
  // A new engine for plotting to a device or file; the caller destroys it. eInvalidContext while
  // another engine has a plot begun.
  static Acad::ErrorStatus createPublishEngine(AcPlPlotEngine*& pEngine);
};

// At global scope in the SDK, beside the factory rather than inside it.
enum ProcessPlotState { kNotPlotting = 0, kForegroundPlotting = 1, kBackgroundPlotting = 2 };

// Whether a plot is running in this process (any engine between beginPlot and endPlot, or one
// the host runs itself).
ProcessPlotState acplProcessPlotState();
