// Phase-locked loop: grid angle (turns), grid frequency (Hz) and per-unit frequency from the
// three per-unit control voltages, with the voltage split into positive-sequence dq components
// in the +theta frame and negative-sequence components in the -theta frame.
#pragma once

#include <cstdint>

#include "blocks/delays.h"
#include "blocks/filters.h"
#include "blocks/guarded.h"
#include "blocks/pi_reg.h"
#include "blocks/sequence.h"
#include "blocks/transforms.h"
#include "framework/environment.h"
#include "framework/module.h"

namespace svg {

inline constexpr std::uint8_t kPllWindowCapacity = 200;

// Moving average of the filtered frequency over one fundamental cycle: a running sum over a
// ring of samples.
struct FreqWindow {
    std::uint8_t index;  // slot of the oldest sample
    std::uint8_t len;    // samples in the window
    float sum;
    float w[kPllWindowCapacity];
};

struct PLL {
    ModuleHeader hdr;
    // Inputs.
    const float* Uctrl_a_pu;  // control voltages, per unit
    const float* Uctrl_b_pu;
    const float* Uctrl_c_pu;
    const std::uint8_t* flg_ZVRT_mod;  // 1 holds the loop at the nominal frequency
    const float* FrqHzNom;             // Hz
    const float* Task1;                // s; the only task period used
    const float* Task2;
    const float* Task3;
    const std::uint8_t* flg_ffsw;  // fast feed-forward active: proportional gain scaled

    // Parameters.
    float parm_pll_wc_lpf;               // rad/s, sequence filters
    float parm_freqfil_wc_lpf;           // rad/s, frequency filter
    float parm_pll_kp;                   // Hz per unit of normalised q voltage
    float parm_pll_ki;                   // Hz/s per unit
    float parm_pll_intg_lim;             // Hz
    float parm_pll_out_lim;              // Hz
    std::uint8_t parm_pll_freq_filtype;  // 1: filter output; else one-cycle average, clamped
    float parm_PllParmGain;
    std::uint8_t parm_transtype_u;  // non-zero: quarter-period delay; 0: double frame

    // Variables.
    float set_Udpos, set_Uqpos, set_Udneg, set_Uqneg, set_Ud_mix, set_Uq_mix;
    float set_Udpos_fil, set_Uqpos_fil, set_Udneg_fil, set_Uqneg_fil;
    float set_Upos, set_Uneg, set_Upos_fil, set_Uneg_fil;
    float set_grid_freq;   // Hz
    float set_grid_theta;  // turns, [0, 1)
    float set_w_GFL;       // per unit of FrqHzNom
    float temp_err;
    float temp_grid_freq_pre;  // Hz, nominal + regulator output
    float temp_Uctrl_abc_pu[3];
    std::uint8_t test1;

    // Internal state.
    SequenceSplit split;
    LpfFirst freq_lpf;
    PiReg loop;
    FreqWindow win50;   // 200 samples: one cycle at 50 Hz
    FreqWindow win60a;  // 166 and 167 samples, blended to 166 2/3 at 60 Hz
    FreqWindow win60b;
};

ModuleHeader* CreatePLL(Environment* env, ModuleHeader* module, const char* instance_name) noexcept;

// Task 1.
void PLLStep(ModuleHeader* module) noexcept;

}  // namespace svg
