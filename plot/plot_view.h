// The current view of the active drawing and the window a plot or a window selection acts on.
//
// The view is read from "VIEWDIR", "TARGET" and "VIEWTWIST": world coordinates become display
// coordinates by the inverse of (rotation by minus the twist about the view direction through the
// target) x (translation to the target) x (plane to world of the view direction). A window is
// carried across by its four corners at z = 0 and replaced by their bounding box. When the view
// cannot be read, or the window or view holds a value that is not finite, nothing changes: a view
// made of such values would leave the drawing unusable. Main thread.
#pragma once

// Zooms the current view to the window (a paper-space view when "CVPORT" reads 1) and refreshes
// the display. In model space (or when "CTAB" cannot be read) the window is replaced by its bounds
// in display coordinates, the window a plot of the view needs; in a paper-space layout it is left
// as given.
void FocusAndGetPlotWindow(double& xmin, double& ymin, double& xmax, double& ymax);

// Replace the window by the bounds of its corners in display coordinates; the view is untouched.
void TransformWcsToPlotDcs(double& xmin, double& ymin, double& xmax, double& ymax);
void ConvertWcsToPlotDcs(double& xmin, double& ymin, double& xmax, double& ymax);
// The reverse: the window is taken as display coordinates and replaced by its bounds in world
// coordinates.
void ConvertDcsToPlotWcs(double& xmin, double& ymin, double& xmax, double& ymax);

// Sets the current view to the window as FocusAndGetPlotWindow does, without the paper-space
// flag, without a display refresh and without giving anything back.
void LookAtPlotFrame(double xmin, double ymin, double xmax, double ymax);
