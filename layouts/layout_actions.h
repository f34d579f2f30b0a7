// The drawing content queries' rows in the action table.
//
// "cancelDrawingLayouts" is answered on the receiving thread before the readiness gate so that a
// cancel works whatever the drawing's state. The block queries ("queryBlocks", "queryAllBlocks")
// lock the current drawing; "queryLayoutContext" binds the drawing it names and restores its
// layout afterwards. Registering also makes every ended task forget its request id in the
// cancellation registry, whatever its action was.
#pragma once

// Main thread, at load.
void RegisterLayoutActions();
