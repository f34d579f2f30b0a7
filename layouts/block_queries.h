// The two older block queries of the active drawing ("queryBlocks", "queryAllBlocks") and the
// small text helpers every block reader shares.
//
// Both queries answer a JSON array of {"blockName","attributes":[{"tag","value"}]} objects with
// no whitespace, print a one-line summary on the command line, and answer a line beginning with
// "Error:" when they cannot run. They are not cancellable and report no handles: the snapshot and
// layout-context queries do. A reference is named after the definition it points at directly, so
// a dynamic block with changed parameters shows its anonymous definition's name. Main thread,
// inside a queued task with the drawing locked by the caller.
#pragma once

#include <string>

#include "host/acad.h"

// Escapes text for the inside of a JSON string (no quotes added): tab, line feed, carriage
// return, double quote and backslash get their short escapes, every other byte below 0x20 a
// \u00xx escape; all other bytes are copied as they are.
std::string jsonEscape(const std::string& text);

// UTF-8 of a host text; null gives an empty string.
std::string ws2s(const wchar_t* text);

// The attributed block references entirely inside the window on `layoutName` (made current first;
// the view is zoomed to the window). "[]" without a summary when the selection finds nothing.
std::string PerformQueryBlocksByWindow(double xmin, double ymin, double xmax, double ymax, const std::string& layoutName);

// One attributed reference per distinct definition name in the current space, the first in
// drawing order deciding the values reported.
std::string PerformQueryAllBlocks();

// Developer commands: list the attributed blocks in the window (0,0)-(420,297) of the current
// space, and insert a sample attributed frame at (0,0).
void orviktestQueryBlocksCmd();
void orviktestCreateBlockCmd();
