// The host's publish sequence shared by the layout and window plots: validate the plot info, then
// drive a publish engine through one document of one page written to a file.
//
// Main thread. Whatever step fails, what was begun is ended and the engine destroyed, so a failed
// plot never leaves the host plotting.
#pragma once

#include <string>

#include "host/acad.h"

enum class PublishStep {
  kNone,  // everything succeeded
  kValidate,
  kCreateEngine,
  kBeginPlot,
  kBeginDocument,
  kBeginPage,
  kGenerate,  // generating the graphics or ending the page, document or plot
};

struct PublishOutcome {
  PublishStep failedStep = PublishStep::kNone;
  int status = 0;  // the host's status of the failed step
  explicit operator bool() const { return failedStep == PublishStep::kNone; }
};

// Plots the layout (with `overrideSettings` over its own, when given) to `outputPath`; `documentName`
// is the drawing's file name, which the host records in the output.
PublishOutcome PublishToFile(AcDbObjectId layoutId, AcDbPlotSettings* overrideSettings, const std::string& documentName,
                             const std::string& outputPath);

// Why the settings' device cannot write the PDF a plot promises ("Error: set plot device failed:
// ..."), or empty when it writes PDF or the host cannot say which file it writes.
std::string NonPdfDeviceError(const AcDbPlotSettings* settings);
