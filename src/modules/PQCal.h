// Power calculation: filtered active and reactive power of the converter (from its dq voltage
// and current), at the PCC and at the POC (from the system current and the two voltages),
// the power factors, the powers of the selected measuring point, and two timed latches: the
// low-active-power block and the modulation-frequency switch with its carrier multiplier.
// Powers are per unit of the rated reactive power; names without _pu are in MW or Mvar.
#pragma once

#include <cstdint>

#include "blocks/filters.h"
#include "framework/environment.h"
#include "framework/module.h"

namespace svg {

// The six filtered powers, one first- and one second-order filter each.
enum PowerChannel : int { kPsvg, kQsvg, kPpoc, kQpoc, kPpcc, kQpcc, kPowerChannels };

// State of a latch with hysteresis entry and exit conditions confirmed by on-delays.
struct TimedLatch {
    bool in_above;  // previous results of the two comparators
    bool out_above;
    std::int32_t in_prev;  // previous inputs and remaining times (s) of the two on-delays
    std::int32_t out_prev;
    float in_remaining;
    float out_remaining;
};

struct PQCal {
    ModuleHeader hdr;
    // Inputs.
    const std::uint8_t* flg_seq_running;
    const float* Qn_Mvar;  // rated reactive power, Mvar
    const float* Ud_mix;   // converter voltage and current in the +theta frame, per unit
    const float* Uq_mix;
    const float* Id_mix;
    const float* Iq_mix;
    const float* Isys_a_pu;  // system current, per unit
    const float* Isys_b_pu;
    const float* Isys_c_pu;
    const float* Upcc_a_pu;  // PCC and POC phase voltages, per unit
    const float* Upcc_b_pu;
    const float* Upcc_c_pu;
    const float* Upoc_a_pu;
    const float* Upoc_b_pu;
    const float* Upoc_c_pu;
    const float* Task1;  // s; the only task period used
    const float* Task2;
    const float* Task3;
    const std::uint8_t* reset;  // clears the low-power block

    // Parameters.
    float parm_pwr_filfc;         // rad/s
    std::uint8_t parm_ctrl_site;  // 0 POC, other values PCC
    std::uint8_t ena_Plow_block;
    float parm_Plow_in_thr;  // MW
    float parm_Plow_out_thr;
    float parm_Plow_in_delay;  // s
    float parm_Plow_out_delay;
    std::uint8_t ena_modfreq_sw;
    float parm_freqsw_in_thr;  // per unit
    float parm_freqsw_out_thr;
    float parm_freqsw_in_delay;  // s
    float parm_freqsw_out_delay;
    float parm_carrier_multi_high;
    float parm_carrier_multi_low;
    std::uint8_t parm_dir_power;

    // Variables.
    float set_Psvg_pu, set_Qsvg_pu, set_P_sel_pu, set_Q_sel_pu, set_PF_sel;
    float set_Psvg, set_Qsvg, set_Ppcc, set_Qpcc, set_PFpcc, set_Ppoc, set_Qpoc, set_PFpoc;
    float set_Psel, set_Qsel;
    std::uint8_t flg_P_low_block, flg_modfreq_sw;
    float set_carrier_multi, set_rcp_carrier_multi;
    std::uint8_t order_filter, dir_power_test;
    float Upoc_alpha, Upoc_beta, Upcc_alpha, Upcc_beta, Isys_alpha, Isys_beta;
    float set_Psvg1, set_Qsvg1;
    std::uint8_t flg_run_delay;
    float err_Plow_in;
    std::uint8_t flg_Plowin_temp, flg_Plowin_delay, flg_Plowout_temp, flg_Plowout_delay;
    std::uint8_t flg_freqsw_in_temp, flg_freqswin_delay, flg_freqsw_out_temp;
    std::uint8_t flg_freqswout_delay;

    // Internal state.
    IirFilter second[kPowerChannels];
    LpfFirst first[kPowerChannels];
    float Ppoc_pu, Qpoc_pu, Ppcc_pu, Qpcc_pu;
    float Ppoc_raw, Qpoc_raw, Ppcc_raw, Qpcc_raw;
    float t_run_on;  // environment time counter stamps
    float t_run_off;
    TimedLatch plow;
    TimedLatch freqsw;
};

ModuleHeader* CreatePQCal(Environment* env, ModuleHeader* module,
                          const char* instance_name) noexcept;

// Task 1.
void PQCalStep(ModuleHeader* module) noexcept;

}  // namespace svg
