// The line work of a drawing's model space that the companion's frame recogniser needs, and its
// Schema 2 JSON.
//
// Extract walks model space depth-first through nested block references and keeps, in world X/Y,
// the horizontal and vertical lines and the bounds of polylines with few vertices, filtered by the
// recognition settings. Serialize writes a Fixture as the Schema 2 document the companion (and
// ParseSettingsFromFixtureJson) reads. Failures throw the subsystem's runtime error
// ("Frame recognition input: ..."); a host status that is not eOk is reported with the step it
// failed in. Main thread (Extract); Serialize is pure.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frames/recognition_settings.h"
#include "host/acad.h"

namespace OrvikFrameRecognition {

struct Point2d {
  double X = 0;
  double Y = 0;
};

struct Line2d {
  Point2d StartPoint;
  Point2d EndPoint;
};

struct Bounds2d {
  Point2d MinPoint;
  Point2d MaxPoint;
};

// Each list in the order the walk found its items.
struct RecognitionInput {
  std::vector<Line2d> HorizontalLines;
  std::vector<Line2d> VerticalLines;
  std::vector<Bounds2d> PolylineBounds;
};

struct Fixture {
  int32_t SchemaVersion = 2;
  std::string DrawingFileName;
  std::string CoordinateSystem = "WCS";
  OrvikFrameRecognition::Settings Settings;
  OrvikFrameRecognition::RecognitionInput RecognitionInput;
};

// Main thread. Collects the model space of `database` with `settings` (validated first).
Fixture Extract(AcDbDatabase* database, const Settings& settings, const std::string& drawingFileName);

std::string Serialize(const Fixture& fixture);

// Appends a finite number as C's "%.17g" writes it in the classic locale (throws for a
// non-finite one); exposed for the benchmark that compares it with snprintf.
void AppendJsonNumber(std::string& out, double value);

}  // namespace OrvikFrameRecognition
