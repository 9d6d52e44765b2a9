// Current transformation: the converter's per-unit phase currents into the feedback of the
// current controllers. Positive-sequence dq components in the +theta frame, negative-sequence
// components in the -theta frame (by the same two separation methods as the phase-locked loop
// uses for the voltage), the zero sequence demodulated at the fundamental, and an optional
// Butterworth filter on the sequence feedback for the Hall-sensor noise.
#pragma once

#include <cstdint>

#include "blocks/filters.h"
#include "blocks/sequence.h"
#include "framework/environment.h"
#include "framework/module.h"

namespace svg {

// Hall filter bank, one filter per sequence component and order.
enum HallFilterIndex : int {
    kHallDpos1,  // first order: dpos, qpos
    kHallQpos1,
    kHallDpos2,  // second order: dpos, qpos
    kHallQpos2,
    kHallDneg1,  // first order: dneg, qneg
    kHallQneg1,
    kHallDneg2,  // second order: dneg, qneg
    kHallQneg2,
    kHallFilters,
};

struct CurTrans {
    ModuleHeader hdr;
    // Inputs.
    const float* Ictrl_a_pu;  // converter currents, per unit
    const float* Ictrl_b_pu;
    const float* Ictrl_c_pu;
    const float* grid_theta;  // turns
    const float* Task1;       // s; the only task period used
    const float* Task2;
    const float* Task3;
    const std::uint8_t* flg_ffsw;  // fast feed-forward active: may bypass the Hall filter
    const float* grid_freq;        // Hz, for the quarter-period delays

    // Parameters.
    float parm_curtrans_wc_lpf;           // rad/s, sequence feedback filters
    std::uint8_t parm_HALL_lpf_sel;       // 0 none, 1 first-order, 2 second-order Butterworth
    float parm_HALL_wc_lpf;               // rad/s, base corner of the Hall filter
    std::uint8_t ena_HALL_lpf_transient;  // keep the Hall filter while flg_ffsw is 1
    float parm_HALL_wc_lpf_kp;            // factor on the base corner
    std::uint8_t parm_transtype_i;        // 0: double frame; non-zero: quarter-period delay
    float parm_IZero_wc_lpf;              // rad/s, zero-sequence filters

    // Variables.
    float set_Idpos_fbk, set_Iqpos_fbk, set_Idneg_fbk, set_Iqneg_fbk;
    float set_Idzero_fbk, set_Iqzero_fbk, set_Id_mix, set_Iq_mix;
    float Idpos_fil, Iqpos_fil, Idneg_fil, Iqneg_fil;
    float temp_Ictrl_abc_pu[3];
    std::uint8_t test1;

    // Internal state.
    SequenceSplit split;
    LpfFirst zero_d;  // zero-sequence demodulation filters
    LpfFirst zero_q;
    IirFilter hall[kHallFilters];
};

ModuleHeader* CreateCurTrans(Environment* env, ModuleHeader* module,
                             const char* instance_name) noexcept;

// Task 1.
void CurTransStep(ModuleHeader* module) noexcept;

}  // namespace svg
