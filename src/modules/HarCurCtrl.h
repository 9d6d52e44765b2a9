// Selective harmonic current control: up to four loops, each regulating the valve (Hall)
// current of one harmonic order h in a frame turning at h times the grid angle (positive-
// sequence harmonic) or at minus h times it (negative-sequence harmonic). A d and a q PI
// regulator per sequence; their outputs are turned back into three phase voltages, and the
// four loops' phase voltages are summed into the harmonic contribution of the modulation.
// A task-2 routine gives each loop's harmonic RMS currents and its harmonic voltage in percent
// of the fundamental phase voltage. Harmonic dq inputs in amperes and volts, everything else
// per unit; angles in turns. Nothing acts before the running command has held for 0.5 s.
#pragma once

#include <cstdint>

#include "blocks/pi_reg.h"
#include "blocks/transforms.h"
#include "framework/environment.h"
#include "framework/module.h"

namespace svg {

inline constexpr int kHarLoops = 4;

// The dq components of one loop's harmonic, positive then negative sequence: valve current
// and system current (A), system voltage (V).
struct HarLoopInputs {
    const float* hall_idpos;
    const float* hall_iqpos;
    const float* hall_idneg;
    const float* hall_iqneg;
    const float* sys_idpos;
    const float* sys_iqpos;
    const float* sys_idneg;
    const float* sys_iqneg;
    const float* sys_udpos;
    const float* sys_uqpos;
    const float* sys_udneg;
    const float* sys_uqneg;
};

// The fifteen settings of one loop, in registration order.
struct HarLoopParams {
    std::uint8_t ena;     // 1: loop on
    std::uint8_t mode;    // 0: d reference = ioutlim; 1..4: references 0; above 4: held
    std::uint8_t harnum;  // harmonic order h
    std::uint8_t phaseq;  // 0: positive-sequence harmonic; any other: negative sequence
    float ikp;            // current regulator gains
    float iki;
    float phashift;      // angle offset, turns
    float uharref;       // not read
    float ukp;           // not read
    float uki;           // not read
    float umodelim;      // regulator output limit (+-), per unit
    float ioutlim;       // d reference in mode 0, per unit
    float isyslim;       // not read
    std::uint8_t autoY;  // not read
    float Yminlim;       // not read
};

// Task-2 figures of one loop.
struct HarLoopRms {
    float hall_rms;  // RMS of the valve harmonic current, A
    float Isys_rms;  // RMS of the system harmonic current, A
    float Usys_per;  // system harmonic voltage, percent of the fundamental phase voltage
};

// Axis index of a loop's references, feedbacks, errors, regulators and outputs.
enum HarAxis : int { kHarPosD = 0, kHarPosQ = 1, kHarNegD = 2, kHarNegQ = 3, kHarAxes = 4 };

// Working state of one loop. The enables, references and per-unit feedbacks are published.
struct HarLoop {
    float theta_h;  // harmonic angle h theta + phase shift, wrapped into one turn
    std::uint8_t posctrl_ena;
    std::uint8_t negctrl_ena;
    float ref[kHarAxes];     // current references, per unit
    float fbk_pu[kHarAxes];  // valve current feedback, per unit
    float err[kHarAxes];
    PiReg pi[kHarAxes];
    float out[kHarAxes];  // regulator outputs, per-unit voltage
    Abc v_pos;            // positive-sequence phase voltages
    Abc v_neg;            // negative-sequence phase voltages
    Abc v_sum;            // the loop's phase voltages
};

struct HarCurCtrl {
    ModuleHeader hdr;
    // Inputs.
    const std::uint8_t* flg_seq_running;
    const std::uint8_t* trans_type;  // above 6: the point-of-connection angle is held
    const float* grid_theta;         // turns
    const float* rcp_Ivalve_base;    // 1 / valve current base, 1/A
    const float* rcp_Ipoc_base;      // not read
    const float* rcp_Upoc_base;      // not read
    HarLoopInputs loop_in[kHarLoops];
    const float* Urms_PT4_ab_fund;  // fundamental RMS line voltages of PT4, V
    const float* Urms_PT4_bc_fund;
    const float* Urms_PT4_ca_fund;
    const float* Task1;  // s; the only task period read
    const float* Task2;
    const float* Task3;

    // Parameters.
    HarLoopParams parm[kHarLoops];

    // Variables.
    float set_poc_theta;  // grid angle for the point of connection, turns
    float set_mod_a_har;  // summed harmonic phase voltages, per unit
    float set_mod_b_har;
    float set_mod_c_har;
    HarLoopRms rms[kHarLoops];
    std::uint32_t set_harnum[kHarLoops];  // copies of the harmonic orders
    std::uint8_t running_delay;           // running for at least 0.5 s

    // Internal state.
    std::int32_t running_prev;  // on-delay of the running command
    float running_remaining;    // s
    float poc_theta;            // turns
    HarLoop loop[kHarLoops];
};

ModuleHeader* CreateHarCurCtrl(Environment* env, ModuleHeader* module,
                               const char* instance_name) noexcept;

// Task 1: the four loops and the summed harmonic phase voltages.
void HarCurCtrlStep(ModuleHeader* module) noexcept;
// Task 2: RMS values of the harmonic currents, the harmonic voltage in percent, the orders.
void HarCurCtrlRmsStep(ModuleHeader* module) noexcept;

}  // namespace svg
