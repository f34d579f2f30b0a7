// The drawing content queries' rows in the action table.
//
// "cancelDrawingLayouts" is answered on the receiving thread before the readiness gate, so that a
// cancel works whatever the drawing's state. "queryDrawingLayouts" names its drawings itself, so
// it is queued and run whether or not an active drawing is ready. Registering also makes every
// ended task forget its request id in the cancellation registry, whatever its action was.
#pragma once

// Main thread, at load.
void RegisterLayoutActions();
