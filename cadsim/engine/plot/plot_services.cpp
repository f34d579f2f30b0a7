#include "cadsim/engine/plot/plot_services.h"

namespace cadsim {

void resetPlotServices() {}

}  // namespace cadsim
