// The drawing content queries' rows in the action table.
//
// Today the one row is "cancelDrawingLayouts", answered on the receiving thread before the
// readiness gate so that a cancel works whatever the drawing's state. Registering also makes every
// ended task forget its request id in the cancellation registry, whatever its action was.
#pragma once

// Main thread, at load.
void RegisterLayoutActions();
