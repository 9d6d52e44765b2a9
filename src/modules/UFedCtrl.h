// Voltage feed-forward: low-pass filters the grid voltage in the dq frame for the current
// controller and decides when that feed-forward switches to its fast setting. Each phase
// voltage is compared with itself 400 task periods (two 50 Hz cycles at 100 us) before; the
// mean absolute deviation over about 100 periods, scaled to the amplitude of a sinusoidal
// deviation, raises a fault flag with hysteresis. A fault confirmed for 1e-4 s, once the
// converter has been running for 0.2 s, sets a latch that ride-through holds; a relay with an
// off-delay on the environment time counter follows the latch and drives the switch flag
// `flg_ffsw`. With the flag set the dq feed-forward takes the fast filter pair, otherwise the
// slow pair; only the selected pair runs, so a switch continues from the other pair's last
// output. Voltages per unit of nominal voltage.
#pragma once

#include <cstdint>

#include "blocks/filters.h"
#include "framework/environment.h"
#include "framework/module.h"

namespace svg {

// The deviation detector's store of one phase: a ring of the samples of the last 400 task
// periods plus the current one, a ring of the last 101 absolute deviations, then the running
// sum, the accumulator of the current 101-period block and the last output.
inline constexpr std::uint32_t kFfLastSample = 400;  // sample counter runs 0 .. 400
inline constexpr std::uint32_t kFfLastDiff = 100;    // difference counter runs 0 .. 100
inline constexpr std::uint32_t kFfDiffBase = kFfLastSample + 1;
inline constexpr std::uint32_t kFfRunningSum = kFfDiffBase + kFfLastDiff + 1;
inline constexpr std::uint32_t kFfAccumulator = kFfRunningSum + 1;
inline constexpr std::uint32_t kFfOutput = kFfAccumulator + 1;
inline constexpr std::uint32_t kFfStoreLen = kFfOutput + 1;  // 505 floats
inline constexpr int kFfPhases = 3;

struct UFedCtrl {
    ModuleHeader hdr;
    // Inputs.
    const std::uint8_t* flg_seq_running;  // running command
    const float* Uctrl_a_pu;              // control phase voltages, per unit
    const float* Uctrl_b_pu;
    const float* Uctrl_c_pu;
    const float* Upoc_a_pu;  // not read
    const float* Upoc_b_pu;
    const float* Upoc_c_pu;
    const float* Ud_mix;  // grid voltage in the dq frame, per unit
    const float* Uq_mix;
    const std::uint8_t* flg_HVRT_mod;  // ride-through active: holds the switch latch
    const std::uint8_t* flg_LVRT_mod;
    const float* Task1;  // s; the only task period used
    const float* Task2;
    const float* Task3;

    // Parameters.
    std::uint8_t ena_Uff_sw;      // 1: the relay drives flg_ffsw
    std::uint8_t ena_Uff_manusw;  // 1: flg_ffsw forced on
    float parm_Uff_filf;          // corner of the slow dq filters, rad/s
    float parm_Uff_filf_sw;       // corner of the phase filters and base of the fast dq ones
    float parm_sw_thr;            // fault level of the detector output; release at half
    float parm_Uff_kp;            // fast dq corner = parm_Uff_filf_sw * parm_Uff_kp
    float parm_ffsw_relaytime;    // relay off-delay, s

    // Variables.
    std::uint8_t flg_ffsw;  // feed-forward switch flag
    float set_Ud_ff;        // filtered dq feed-forward, per unit
    float set_Uq_ff;
    float set_Ua_ff;  // filtered phase voltages, per unit
    float set_Ub_ff;
    float set_Uc_ff;
    float err_Ua;  // detector output per phase, per unit amplitude of the deviation
    float err_Ub;
    float err_Uc;
    std::uint8_t flg_Ua_fault;  // detector output above its level (hysteresis)
    std::uint8_t flg_Ub_fault;
    std::uint8_t flg_Uc_fault;
    std::uint8_t flg_Ua_ffsw;  // fault confirmed
    std::uint8_t flg_Ub_ffsw;
    std::uint8_t flg_Uc_ffsw;
    std::uint8_t flg_run_delay;    // running for at least 0.2 s
    std::uint8_t flg_Uabc_ffsw_s;  // set condition of the switch latch
    std::uint8_t flg_Uabc_ffsw_r;  // reset condition of the switch latch
    std::uint8_t flg_Uabc_ffsw;    // switch latch
    std::uint8_t flg_Uabc_ffsw_relay;

    // Internal state.
    std::uint32_t sample_count;  // 0 .. kFfLastSample, shared by the phases
    std::uint32_t diff_count;    // 0 .. kFfLastDiff
    float store[kFfPhases][kFfStoreLen];
    std::int32_t fault_prev[kFfPhases];  // confirmation on-delays
    float fault_remaining[kFfPhases];    // s
    std::int32_t run_prev;               // run on-delay
    float run_remaining;                 // s
    // Environment counter stamps: the last step with the latch clear (or the relay's turn-on)
    // and the last step with the latch set (or the relay's release).
    float t_relay_set;
    float t_relay_hold;
    LpfFirst d_slow;
    LpfFirst q_slow;
    LpfFirst d_fast;
    LpfFirst q_fast;
    LpfFirst phase_fil[kFfPhases];
};

ModuleHeader* CreateUFedCtrl(Environment* env, ModuleHeader* module,
                             const char* instance_name) noexcept;

// Task 1: filter design, deviation detector, switch chain, filters.
void UFedCtrlStep(ModuleHeader* module) noexcept;

}  // namespace svg
