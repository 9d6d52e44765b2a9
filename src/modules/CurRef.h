// Current reference selection: the negative-sequence current references that make the
// converter's negative-sequence current follow the grid's negative-sequence voltage so that
// the power exchange carries no double-frequency terms, and the zero-sequence references.
// Currents per unit of rated current, voltages per unit of nominal voltage.
#pragma once

#include <cstdint>

#include "framework/environment.h"
#include "framework/module.h"

namespace svg {

struct CurRef {
    ModuleHeader hdr;
    // Inputs.
    const float* Upos_fil;   // positive-sequence voltage magnitude
    const float* Udneg_fil;  // negative-sequence voltage in its own dq frame
    const float* Uqneg_fil;
    const float* Idpos_ref;      // positive-sequence active current reference
    const float* Iqpos_ref_sel;  // positive-sequence reactive current reference
    const float* Idneg_cl_ref;   // closed-loop negative-sequence references
    const float* Iqneg_cl_ref;

    // Parameters.
    std::uint8_t ena_neg_cmp;        // 1 enables the negative-sequence references
    std::uint8_t ena_zero_cmp;       // 1 enables the zero-sequence references
    std::uint8_t parm_Ineg_op_type;  // 0 reactive reference only, else active one too

    // Variables.
    float set_Idneg_op_ref;  // limited to [-1, 1]
    float set_Iqneg_op_ref;
    float set_Idzero_ref;
    float set_Iqzero_ref;
    std::uint8_t test1;
    float test2;
    float test3;
};

ModuleHeader* CreateCurRef(Environment* env, ModuleHeader* module,
                           const char* instance_name) noexcept;

// Task 1.
void CurRefStep(ModuleHeader* module) noexcept;

}  // namespace svg
