// The settings that govern which line work the companion's frame recogniser gets, the
// process-wide production copy of them, and the strict reader of recognition fixtures.
//
// A fixture is a JSON document with a schema version, a coordinate system and a settings object
// (the shape recognition_input.h writes). Unlike the pipeline's lenient key search, the fixture
// reader accepts only well-formed JSON and names the first fault it meets: every failure is a
// std::runtime_error whose text is "Frame recognition input: " followed by the fault. Values of
// members it does not know are skipped, nested at most 128 levels deep.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace OrvikFrameRecognition {

struct Settings {
  double IgnoreLengthThreshold = 100.0;
  std::vector<std::string> IgnoreLayerNames;
  int32_t MaximumEntityLevel = 3;
  double AxisCoordinateTolerance = 1.0;
  double LineComparisonTolerance = 1.0;
  int32_t EndpointKeyDecimalPlaces = 4;
  std::string EndpointKeyCulture = "zh-CN";
  double OrthogonalBlockRotationToleranceDegrees = 1e-6;
  double SimilarBoundsRelativeTolerance = 0.1;
  int32_t MinimumPolylineVertexCount = 4;
  int32_t MaximumPolylineVertexCount = 6;
};

// Throws the subsystem's runtime error ("Frame recognition input: " + message) unless `condition`.
void Require(bool condition, const char* message);
void Require(bool condition, const std::string& message);

// Throws on the first value out of its range, in field order.
void Validate(const Settings& settings);

// The production settings, guarded by their own mutex; the defaults from load.
Settings GetProductionSettings();
// Validates first: invalid settings throw and leave the production settings as they were.
void SetProductionSettings(const Settings& settings);

// Reads the settings of a fixture held in memory.
Settings ParseSettingsFromFixtureJson(const std::string& text);
// Reads the settings of a fixture file. Only a regular file is read, so a path naming a FIFO or a
// device fails at once instead of blocking the caller.
Settings LoadSettings(const std::wstring& path);

}  // namespace OrvikFrameRecognition
