// The full deliverable: its module list and its wiring.
#pragma once

#include "framework/environment.h"
#include "variants/common/signal_graph.h"

namespace svg {

const Variant& TravikVariant() noexcept;

// The whole signal graph: the shared module wiring, then grid-forming control, the protection
// elements and the output channels.
void WireTravik(Environment* env) noexcept;

// The wiring of the full controller's own modules; like the shared wiring, each does nothing
// when its module is not in the environment.
void WireGfmCtrl(Environment* env) noexcept;
void WireProtection(Environment* env) noexcept;
void WireOutputs(Environment* env) noexcept;

}  // namespace svg
