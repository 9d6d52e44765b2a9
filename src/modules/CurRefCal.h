// Current reference limiting: adds up, per sequence and axis, the current references of the
// control functions, limits each sum to its own setting (rectangular, each component on its
// own) and computes the round-limit factor that tells how far the vector sum of all sequence
// currents exceeds 1.1 per unit. Currents per unit of rated current.
#pragma once

#include <cstdint>

#include "framework/environment.h"
#include "framework/module.h"

namespace svg {

struct CurRefCal {
    ModuleHeader hdr;
    // Inputs, filled by the wiring.
    const float* Idpos_ref;       // DC voltage control, active
    const float* Iqpos_ref_sel;   // ride-through control, reactive
    const float* Idpos_app_ref1;  // auxiliary references
    const float* Iqpos_app_ref1;
    const float* Idpos_app_ref2;
    const float* Iqpos_app_ref2;
    const float* Idpos_app_ref3;
    const float* Iqpos_app_ref3;
    const float* Idneg_op_ref;  // negative sequence from reference selection
    const float* Iqneg_op_ref;
    const float* Idneg_cl_ref;  // negative sequence from cluster balancing
    const float* Iqneg_cl_ref;
    const float* Idneg_app_ref;
    const float* Iqneg_app_ref;
    const float* Idzero_ref;
    const float* Iqzero_ref;
    const std::uint8_t* trans_type;
    const float* Idpos_fbk;  // sequence current feedback
    const float* Iqpos_fbk;
    const float* Idneg_fbk;
    const float* Iqneg_fbk;
    const float* Idzero_fbk;
    const float* Iqzero_fbk;
    // Limit of the positive-sequence q reference: host channel 56 in the reduced controller,
    // parm_Iqpos_ref_lim in the full one.
    const float* sim_Iqpos_ref_lim;
    const float* Task1;  // task periods, s; not read
    const float* Task2;
    const float* Task3;

    // Parameters.
    float parm_Idpos_ref_lim;
    float parm_Iqpos_ref_lim;
    float parm_Idneg_ref_lim;
    float parm_Iqneg_ref_lim;
    float parm_Idzero_ref_lim;
    float parm_Iqzero_ref_lim;
    std::uint8_t parm_round_lim_type;  // 0 fixed 1; 1 RSS; 2 sum of magnitudes; 3+ feedback

    // Variables.
    float set_Idpos_ref_sum, set_Iqpos_ref_sum;
    float set_Idneg_ref_sum, set_Iqneg_ref_sum;
    float set_Idzero_ref_sum, set_Iqzero_ref_sum;
    float set_Idapp_ref_sum, set_Iqapp_ref_sum;  // auxiliary sums, not limited
    float set_I_round_lim;                       // round-limit factor, 0..1
    std::uint8_t test1;                          // 2
    std::uint8_t test2;
    float test3;
    float I_round_lim;

    // Internal state: the unlimited sums of the previous step feed this step's factor.
    float Idpos_raw, Iqpos_raw, Idneg_raw, Iqneg_raw, Idzero_raw, Iqzero_raw;
};

ModuleHeader* CreateCurRefCal(Environment* env, ModuleHeader* module,
                              const char* instance_name) noexcept;

// Task 1.
void CurRefCalStep(ModuleHeader* module) noexcept;

}  // namespace svg
