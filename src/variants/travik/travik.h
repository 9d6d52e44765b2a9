// The full deliverable: its module list and its wiring.
#pragma once

#include "framework/environment.h"

namespace svg {

const Variant& TravikVariant() noexcept;
void WireTravik(Environment* env) noexcept;

}  // namespace svg
