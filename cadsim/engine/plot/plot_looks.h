// How an object plots, beyond what the SDK's entity classes carry: linetype, lineweight and the
// placement of text. The DXF import records it for the objects whose look is not the default
// (most have none); the plot reads it. Kept per database, so it goes with the drawing.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace cadsim {

struct PlotLook {
  enum Linetype { kByLayer, kByBlock, kOwn };
  Linetype linetype = kByLayer;
  // The dash pattern of an own linetype (or of a layer's), in drawing units: dashes positive, gaps
  // negative, dots zero. Empty: continuous.
  std::shared_ptr<const std::vector<double>> dashes;
  double linetypeScale = 1;
  int lineWeight = -1;  // hundredths of a millimetre; -1 by layer, -2 by block, -3 the default
  // Text: alignment codes as the file writes them, the alignment point, the width factor.
  int horizontalAlignment = 0, verticalAlignment = 0;
  double alignX = 0, alignY = 0;
  double widthFactor = 1;
  // Multi-line text: attachment point (1 top left .. 9 bottom right), column width (0: none), and
  // the angle of its direction.
  int attachment = 1;
  double columnWidth = 0;
  double direction = 0;
};

}  // namespace cadsim
