// The layout plots' answers: the step error texts, the classification of a failed plot into an
// errorCode, and the success and failure objects. Pure; safe on any thread.
//
// Inside the plug-in a plot attempt ends with a plot result: the output path, or a text beginning
// "Error:". The companion gets a JSON object; its errorCode is read from the message because the
// texts carry the step that failed.
#pragma once

#include <string>

// "Error: <step> failed (Acad::ErrorStatus=<status>)."
std::string ManualPlotError(const char* step, int status);

bool IsPlotError(const std::string& plotResult);

// The errorCode for a failure message (the plot result without "Error:" and leading spaces), read
// from the message's fixed text before its first "=".
const char* LayoutPlotErrorCode(const std::string& message);

// {"success":false,"simulated":false,"errorCode":..,"message":..}
std::string LayoutPlotError(const std::string& errorCode, const std::string& message);

// What a successful plot used, as the success object reports it.
struct EffectivePlotSettings {
  std::string deviceMode = "inheritLayout";
  std::string printer;
  std::string paper;
  std::string styleMode = "inheritLayout";
  std::string style;
  std::string scaleMode = "inheritLayout";
  double scaleDenominator = 0;
  std::string units = "inheritLayout";
  std::string orientation = "inheritLayout";
};

std::string LayoutPlotSuccess(const std::string& dwgPath, const std::string& layoutName, const std::string& outputPath,
                              const EffectivePlotSettings& settings);

// The failure object of a failed plot result, classified.
std::string LayoutPlotFailure(const std::string& plotResult);
