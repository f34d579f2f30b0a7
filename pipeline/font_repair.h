// Repair of text styles whose font files the host cannot find.
//
// Run by the "fixMissingFonts" task on the host's main thread, after the task write-locked the
// current drawing. Every style of the MDI-active drawing whose font file (or non-empty big-font
// file) is missing is switched to the shape font "txt.shx" with the big font "gbcbig.shx", and one
// regeneration is typed into the drawing to run after the reply. The drawing is not saved.
#pragma once

#include <string>

#include "host/acad.h"

// "FIXED:<n>" for n repaired styles, "OK" when nothing needed repair, or an "Error: " line.
std::string PerformFixMissingFonts();

// True when the host cannot find the font file (a null or empty name counts as missing).
bool fontFixIsMissing(const ACHAR* fontFileName);

// The "fixMissingFonts" row. Main thread, at load.
void RegisterFontRepairActions();
