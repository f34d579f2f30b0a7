// What can be plotted: the host's plot devices, plot style tables, paper sizes of one device and
// the active drawing's paper-space layouts, each as a compact JSON array, and the console functions
// that print them.
//
// Main thread, inside the application context (or a command). GetDevicesJson and
// GetPaperSizesJson raise std::runtime_error with a "CAD_PLOT_RESOURCES_NOT_READY: " message when
// the host cannot answer; the plot actions let it reach the drain, which answers with it. The other
// answers never raise and may be "[]".
#pragma once

#include <string>
#include <vector>

extern const char* const kPlotResourcesNotReady;  // "CAD_PLOT_RESOURCES_NOT_READY: "

// ["<device>",...] in the host's order, empty names skipped.
std::string GetDevicesJson();
// The style tables' file names in first-seen order, without "Normal" and without names that equal
// an earlier one but for ASCII letter case.
std::vector<std::string> GetPlotStyleNames();
std::string GetStylesJson();
// True when the file name of `nameOrPath` is among GetPlotStyleNames (ASCII case ignored).
bool IsPlotStyleAvailable(const std::string& nameOrPath);
// [{"localeName":..,"canonicalName":..,"width":..,"height":..,"printableWidth":..,
//   "printableHeight":..},...] for the device's media with a usable size, in the host's order.
std::string GetPaperSizesJson(const std::string& deviceName);
// The active drawing's paper-space layout names, in its layout dictionary's order.
std::string GetLayoutsJson();

// Console functions (not registered as commands): the catalogues on the command line. Two ask for
// their input on the command line first (a device name; a folder).
void getDevicesCmd();
void getStylesCmd();
void getLayoutsCmd();
void getPaperSizesCmd();
void verifyDirCmd();
void PrintPaperSizes(const std::string& deviceName);
void PrintDirectoryState(const std::string& path);
