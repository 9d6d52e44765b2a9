// Modulation summation: adds up, per phase, every per-unit voltage contribution of the
// current-control chain and turns the sum into the normalised modulation index of the phase's
// cascaded cells, the per-unit voltage times the valve voltage base over the phase's total DC
// voltage (cell count times mean cell voltage), signed by the cell power direction and
// limited to [-1, 1]. The three indices leave the controller on host output channels 0..2.
#pragma once

#include <cstdint>

#include "framework/environment.h"
#include "framework/module.h"

namespace svg {

struct ModCal {
    ModuleHeader hdr;
    // Inputs, filled by the wiring; per unit.
    const float* mod_a_pos;  // positive-sequence contribution
    const float* mod_b_pos;
    const float* mod_c_pos;
    const float* mod_a_neg;  // negative-sequence contribution
    const float* mod_b_neg;
    const float* mod_c_neg;
    const float* mod_a_zero;  // zero-sequence and 100 Hz contribution
    const float* mod_b_zero;
    const float* mod_c_zero;
    const float* mod_a_har;  // selective harmonic contribution
    const float* mod_b_har;
    const float* mod_c_har;
    const float* threehar_a;  // common-mode third-harmonic injection, once per phase
    const float* threehar_b;
    const float* threehar_c;
    const float* Udc_mean;         // mean cell DC voltage, V
    const float* Uvalve_base;      // valve voltage base, V per unit
    const float* submodule_pwdir;  // cell power direction, +1 or -1
    const float* Task1;            // task periods, s; not read
    const float* Task2;
    const float* Task3;
    const std::uint32_t* cellnum;  // cells per phase

    // Variables.
    float set_mod_a_sum, set_mod_b_sum, set_mod_c_sum;  // modulation index, -1..1
    float test1;                                        // scale factor of the last step
    float test2;                                        // extra multiplier of the scale factor, 1.0
    float test3;                                        // not written

    // Internal values of the last step.
    float sum_a, sum_b, sum_c;  // per-unit sums
    float gain;                 // scale factor
    float m_a, m_b, m_c;        // unlimited indices
};

ModuleHeader* CreateModCal(Environment* env, ModuleHeader* module,
                           const char* instance_name) noexcept;

// Task 1: the three modulation indices.
void ModCalStep(ModuleHeader* module) noexcept;

}  // namespace svg
