// The simulated host's plotting: where the plot machinery lives once it is built.
//
// It will hold the plot configuration manager (plot devices with their paper sizes, and the plot
// style tables), the plot settings validator, plot info and its validator, the plot engine and
// the publish engine that writes PDF files, and acplProcessPlotState. Devices and style tables are
// the session's, so their state is kept here, reset with the session; the plot settings of a
// layout stay on the layout (AcDbPlotSettings, cadsim/engine/database_state.h). The SDK
// declarations belong in cadsim/sdk/ and the tests' controls in cadsim/control/plot.h.
//
// Nothing plots yet.
#pragma once

namespace cadsim {

// Back to the host's plot defaults (reset() calls it).
void resetPlotServices();

}  // namespace cadsim
