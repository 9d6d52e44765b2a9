// The reduced deliverable: its module list and its wiring.
#pragma once

#include "framework/environment.h"

namespace svg {

const Variant& PellumVariant() noexcept;

// The shared module wiring restricted to the seventeen modules of this build, then the host
// channels: ratings, commands, ride-through settings and the current limit as module inputs.
void WirePellum(Environment* env) noexcept;

}  // namespace svg
