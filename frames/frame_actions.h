// The frame extraction's rows in the action table.
//
// "extractFrames" takes a quote-stripped value: "paper" extracts the frames of the current paper
// layout, anything else (an empty value reads as "model") model space's recognition input. The
// drain locks the current drawing and types the extraction command into its command line; the
// command completes the task (frame_extraction.h).
#pragma once

// Main thread, at load.
void RegisterFrameActions();
