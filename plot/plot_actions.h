// The plotting rows of the action table: the catalogues (getPrinters, getPaperSizes, getStyles,
// getLayouts), the window plot (nativePlot), the layout plot (layoutPlot), the custom layout plot
// (layoutPlotCustom and layoutCustomPlot, one action under two names) and its simulation
// (simulateLayoutPlot).
//
// The catalogue and window plot actions work on the active drawing; the layout plots name their
// drawing in "dwgPath", which is bound (found, activated, locked) before they run, and the layout
// that was active is made current again afterwards.
#pragma once

// Main thread, at load.
void RegisterPlotActions();
