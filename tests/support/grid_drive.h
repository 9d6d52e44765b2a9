// A generated-grid run of the built library through its exported functions.
#pragma once

#include "support/grid_signals.h"
#include "support/host_run.h"

namespace svg::testing {

using GridDrive = BasicGridDrive<HostRun>;

}  // namespace svg::testing
