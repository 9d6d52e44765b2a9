// Steps for measured signals that must not carry a NaN or an overflow forever.
#pragma once

#include "blocks/filters.h"

namespace svg {

// Filter steps for measured signals. A filter whose output leaves the finite range (a NaN or
// an overflowing input, or coefficients from a NaN setting) restarts from rest and returns 0,
// so it works normally again as soon as its input and settings are sane. Finite results are
// exactly those of the plain block step.
float LpfStepFinite(LpfFirst& f, float x) noexcept;
float IirStepFinite(IirFilter& f, float x) noexcept;

// sqrt(x^2 + y^2), the sum in single precision and the root in double. A sum that overflows
// single precision gives the magnitude saturated at FLT_MAX instead of infinity.
float Magnitude(float x, float y) noexcept;

}  // namespace svg
