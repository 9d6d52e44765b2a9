// Voltage ride-through: detects high and low grid voltage with hysteresis comparators, holds
// a ride-through state that starts at once and ends after an exit delay on the environment
// time counter, and during that state replaces the mode-control reactive current reference by
// an injection current (a fixed value per direction, or the pre-fault reference plus a gain
// times the voltage deviation). Outside ride-through the mode-control reference passes
// through. The result is raised to a minimum magnitude. Currents per unit of rated current,
// voltages per unit of nominal voltage.
#pragma once

#include <cstdint>

#include "blocks/delays.h"
#include "framework/environment.h"
#include "framework/module.h"

namespace svg {

// Lengths of the two moving-sum windows over the mode-control reference: the pre-fault lock
// is the mean of the reference between 200 and 101 steps ago.
inline constexpr std::uint32_t kLockLongLen = 200;
inline constexpr std::uint32_t kLockShortLen = 100;

struct HLVRTCtrl {
    ModuleHeader hdr;
    // Inputs.
    const float* Upos_fil;      // positive-sequence voltage magnitude, per unit
    const float* Uneg_fil;      // negative-sequence voltage magnitude, per unit
    const float* Iqpos_ref_ss;  // mode-control reactive current reference, per unit
    const float* Task1;         // task periods, s; not read
    const float* Task2;
    const float* Task3;
    const std::uint8_t* flg_seq_deblock;
    const float* Upos_PCC_pu;  // positive-sequence PCC voltage, per unit
    const float* I_round_lim;  // round-limit factor of the previous step, 0..1
    // Gains and thresholds: host channels 48..55 in the reduced controller, the parameters of
    // the same names (parm_ for sim_) in the full one.
    const float *sim_HVRT_k, *sim_LVRT_k, *sim_Iq0_k, *sim_HVRT_in, *sim_HVRT_out;
    const float *sim_LVRT_in, *sim_LVRT_out, *sim_Iqpos_ref_min;

    // Parameters.
    std::uint8_t ena_VRT;        // enables the ride-through flags
    std::uint8_t parm_VRT_mode;  // 0 fixed injection, other values voltage-proportional
    float parm_HVRT_k;           // injection gain, per unit current per unit voltage
    float parm_LVRT_k;
    float parm_Iq0_k;    // weight of the pre-fault reference in the injection
    float parm_HVRT_in;  // entry and exit levels, per unit voltage
    float parm_HVRT_out;
    float parm_LVRT_in;
    float parm_LVRT_out;
    float parm_HVRT_strong;  // fixed injections (mode 0), per unit current
    float parm_LVRT_strong;
    float parm_Iqpos_ref_min;     // minimum magnitude of the output reference
    float parm_Iqpos_ref_lim;     // injection limit before the negative-sequence reduction
    std::uint8_t parm_VRT_site;   // 1 PCC voltage, other values converter-side voltage
    float parm_HLVRT_delay_time;  // exit delay, s
    std::uint8_t ena_Uneglim;     // 1 reduces the limit by the negative-sequence voltage

    // Variables.
    float set_Iqpos_ref_sel;  // reactive current reference after ride-through handling
    std::uint8_t flg_HVRT_mod;
    std::uint8_t flg_LVRT_mod;
    std::uint8_t flg_ZVRT_mod;           // zero-voltage ride-through; always 0
    float set_Ipqref_lock;               // pre-fault reactive current reference
    std::uint8_t Hysteresis_HVRT;        // high-voltage latch
    float test3;                         // 1.0 while either ride-through flag is set
    std::uint8_t Hysteresis_LVRT_temp0;  // voltage not low
    std::uint8_t Hysteresis_HVRT_temp;   // voltage high
    std::uint8_t Hysteresis_LVRT_temp1;  // voltage low
    float test1;

    // Internal state.
    float U_vrt;  // detection voltage, per unit
    std::uint8_t flg_VRT_ena;
    std::uint8_t flg_LVRT_latch;
    float t_HVRT_in;  // environment time counter stamps
    float t_HVRT_out;
    float t_LVRT_in;
    float t_LVRT_out;
    float Iq_HVRT_inj, Iq_LVRT_inj, Iq_HVRT_k, Iq_LVRT_k, Iq_HVRT_fix, Iq_LVRT_fix;
    float Iq_lim_VRT;
    MovingSum lock_long;
    MovingSum lock_short;
    float lock_long_buf[kLockLongLen];
    float lock_short_buf[kLockShortLen];
    float Iq_lock_avg;
    float Ipqref_lock_d1;
    float Ipqref_lock_d2;
};

ModuleHeader* CreateHLVRTCtrl(Environment* env, ModuleHeader* module,
                              const char* instance_name) noexcept;

// Task 1: detection, pre-fault lock, reference.
void HLVRTCtrlStep(ModuleHeader* module) noexcept;

}  // namespace svg
