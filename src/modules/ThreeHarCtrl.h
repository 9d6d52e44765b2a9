// Third-harmonic injection: one common-mode voltage added to all three phases to stretch the
// usable modulation range. Either the min-max method on the positive- plus negative-sequence
// phase contributions of the current controller, or one eighth of the converter voltage
// vector's amplitude injected at three times the grid angle, per sequence. Per-unit voltages,
// angles in turns.
#pragma once

#include <cstdint>

#include "blocks/filters.h"
#include "framework/environment.h"
#include "framework/module.h"

namespace svg {

struct ThreeHarCtrl {
    ModuleHeader hdr;
    // Inputs.
    const float* mod_a_pos;  // positive-sequence phase contributions
    const float* mod_b_pos;
    const float* mod_c_pos;
    const float* mod_a_neg;  // negative-sequence phase contributions
    const float* mod_b_neg;
    const float* mod_c_neg;
    const float* Udmod_pos;  // converter dq voltage commands without feed-forward
    const float* Uqmod_pos;
    const float* Udmod_neg;
    const float* Uqmod_neg;
    const float* grid_theta;  // turns
    const float* Udpos;       // sequence grid voltages in dq
    const float* Uqpos;
    const float* Udneg;
    const float* Uqneg;
    const float* Ud_mix;  // grid voltage in dq
    const float* Uq_mix;
    const std::uint8_t* flg_seq_running;  // declared as float, stored as a byte
    const std::uint8_t* trans_type;       // declared as float, stored as a byte
    const float* Task1;                   // s
    const std::uint8_t* flg_ffsw;         // fast feed-forward active

    // Parameters.
    std::uint8_t ena_ThreeHar;
    std::uint8_t parm_ThreeHar_Mode;  // 0 third harmonic, 1 min-max, other none
    float parm_Uff_filf;              // normal voltage filters, rad/s
    float parm_Uff_filf_sw;           // fast voltage filters, rad/s

    // Variables.
    float set_threehar_inject;
    float threehar_a_pos;
    float threehar_a_neg;

    // Internal state.
    LpfFirst Ud_mix_fil, Uq_mix_fil;                      // normal
    LpfFirst Udpos_fil, Uqpos_fil, Udneg_fil, Uqneg_fil;  // fast
    float d1, q1, d2, q2;                                 // filtered voltages
};

ModuleHeader* CreateThreeHarCtrl(Environment* env, ModuleHeader* module,
                                 const char* instance_name) noexcept;

// Task 1: the injected common-mode voltage.
void ThreeHarCtrlStep(ModuleHeader* module) noexcept;

}  // namespace svg
