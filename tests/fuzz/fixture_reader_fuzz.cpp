// Feeds arbitrary bytes to the strict fixture reader. It either reads settings that validate and
// survive a round trip through the Schema 2 writer unchanged, or fails with the subsystem's
// runtime error; nothing else may escape.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "frames/recognition_input.h"
#include "frames/recognition_settings.h"

namespace {

bool Same(const OrvikFrameRecognition::Settings& a, const OrvikFrameRecognition::Settings& b) {
  return a.IgnoreLengthThreshold == b.IgnoreLengthThreshold && a.IgnoreLayerNames == b.IgnoreLayerNames &&
         a.MaximumEntityLevel == b.MaximumEntityLevel && a.AxisCoordinateTolerance == b.AxisCoordinateTolerance &&
         a.LineComparisonTolerance == b.LineComparisonTolerance &&
         a.EndpointKeyDecimalPlaces == b.EndpointKeyDecimalPlaces && a.EndpointKeyCulture == b.EndpointKeyCulture &&
         a.OrthogonalBlockRotationToleranceDegrees == b.OrthogonalBlockRotationToleranceDegrees &&
         a.SimilarBoundsRelativeTolerance == b.SimilarBoundsRelativeTolerance &&
         a.MinimumPolylineVertexCount == b.MinimumPolylineVertexCount &&
         a.MaximumPolylineVertexCount == b.MaximumPolylineVertexCount;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace OrvikFrameRecognition;
  OrvikFrameRecognition::Fixture fixture;
  try {
    fixture.Settings = ParseSettingsFromFixtureJson(std::string(reinterpret_cast<const char*>(data), size));
  } catch (const std::runtime_error& e) {
    if (std::strncmp(e.what(), "Frame recognition input: ", 25) != 0) std::abort();
    return 0;
  }
  Validate(fixture.Settings);  // throws, and so aborts the run, if the reader let a bad value by
  if (!Same(ParseSettingsFromFixtureJson(Serialize(fixture)), fixture.Settings)) std::abort();
  return 0;
}
