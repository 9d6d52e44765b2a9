// Metering: raw transformer voltages and currents to the per-unit signals of the control.
//
// PT1 is the PCC measurement, PT2 and PT3 are alternative PCC-side sites and PT4 measures the
// converter's own connection point (Upoc quantities, at the nominal voltage Un_kV). The main
// routine (task 1) computes own line RMS values, selects the voltage feedback site, derives
// the zero-sequence-free control voltage for the phase-locked loop, the positive-sequence PCC
// magnitude and the per-unit currents and commands. Task 3 refreshes the bases and their
// reciprocals, then the series reactance; task 2 raises a short trigger when an operator
// command changes.
#pragma once

#include <cstdint>

#include "blocks/delays.h"
#include "blocks/transforms.h"
#include "framework/environment.h"
#include "framework/module.h"

namespace svg {

inline constexpr int kMeterWindowLen = 100;   // samples of a mean-square window (10 ms)
inline constexpr int kMeterAverageLen = 100;  // samples of the dq-magnitude average
inline constexpr int kMeterWatchedCommands = 8;

// Mean square of one line voltage over the last 100 task-1 samples.
struct MeanSquareWindow {
    float w[kMeterWindowLen];  // x^2 / 100 per sample
    float S;                   // running sum
    float R;                   // exact sum of the current block, replaces S once per window
};

// Line-to-line RMS values of one measuring point.
struct LineSet {
    float ab;
    float bc;
    float ca;
};

// Own line RMS windows: PT4 ab, bc, ca, then PT1 ab, bc, ca.
enum MeterWindow : int { kPocAb, kPocBc, kPocCa, kPccAb, kPccBc, kPccCa, kMeterWindows };

struct MeterCtrl {
    ModuleHeader hdr;
    // Inputs: instantaneous phase voltages (V), host line RMS values (V), currents (A).
    const float *U_PT1_a, *U_PT1_b, *U_PT1_c, *U_PT2_a, *U_PT2_b, *U_PT2_c;
    const float *U_PT3_a, *U_PT3_b, *U_PT3_c, *U_PT4_a, *U_PT4_b, *U_PT4_c;
    const float *Urms_PT1_ab, *Urms_PT1_bc, *Urms_PT1_ca, *Urms_PT2_ab, *Urms_PT2_bc;
    const float *Urms_PT2_ca, *Urms_PT3_ab, *Urms_PT3_bc, *Urms_PT3_ca, *Urms_PT4_ab;
    const float *Urms_PT4_bc, *Urms_PT4_ca;
    const float *I_CT1_a, *I_CT1_b, *I_CT1_c, *I_CT2_a, *I_CT2_b, *I_CT2_c;
    const float *I_CT3_a, *I_CT3_b, *I_CT3_c, *I_HALL_a, *I_HALL_b, *I_HALL_c;
    // Ratings (kV, Mvar, mH, Hz), external commands, task periods (s), grid angle (turns).
    const float *Upcc1_nom, *Upcc2_nom, *Upcc3_nom, *Qn_Mvar, *Un_kV, *LTotCal, *FrqHzNom;
    const float *trans_HVnom, *trans_LVnom, *AVC_Qcmd, *AVC_Ucmd, *Coorctl_cmd;
    const float *Task1, *Task2, *Task3;
    const std::uint8_t* trans_type;
    const float* grid_theta;

    // Parameters.
    std::uint8_t ena_CT1_sys, ena_CT2_sys, parm_Urms_ctrl_sel, parm_PTsite_sel, parm_ctrl_site;
    std::uint8_t parm_submodule_pwdir, parm_antimis_site;
    float parm_Udccmd, parm_Ucmd, parm_Qsvg_cmd, parm_Qsys_cmd, parm_Isvg_cmd, parm_PF_cmd;
    std::uint8_t ena_AutoWave, parm_UfbkMode;
    float parm_UABSFil;
    std::uint8_t parm_Upos_cal_type;

    // Variables.
    float set_Upcc_a_pu, set_Upcc_b_pu, set_Upcc_c_pu, set_Upoc_a_pu, set_Upoc_b_pu;
    float set_Upoc_c_pu, set_Uctrl_a_pu, set_Uctrl_b_pu, set_Uctrl_c_pu;
    float set_Isys_a_pu, set_Isys_b_pu, set_Isys_c_pu, set_Ictrl_a_pu, set_Ictrl_b_pu;
    float set_Ictrl_c_pu, set_Iload_a_pu, set_Iload_b_pu, set_Iload_c_pu;
    float set_Uvalve_base, set_rcp_Ihall_base, set_rcp_Upoc_base, set_rcp_Ipoc_base;
    float set_wL_pu, set_rcp_Udccmd, set_submodule_pwdir;
    float set_Ucmd_pu, set_AVC_Ucmd_pu, set_Ufbk_pu, set_Ufbk_rms, set_Ufbk_another_pu;
    float set_Qsvg_cmd_pu, set_Qsys_cmd_pu, set_AVC_Qcmd_pu, set_Coorctl_cmd_pu;
    float set_Isvg_cmd_pu, set_Ucmd, set_Qsvg_cmd, set_Qsys_cmd, set_Isvg_cmd, set_kpi_Umode;
    std::uint8_t CmdchangeTrig;
    float UabRms, UbcRms, UcaRms, UPCCabRms, UPCCbcRms, UPCCcaRms;
    float Upcc_base, Upoc_base, Ipcc_base, Ipoc_base, Ihall_base, Q_base;
    float Upcc_rms_base, Upoc_rms_base, k_trans, rcp_k_trans;
    float rcp_Upcc_base, rcp_Ipcc_base, rcp_Q_base, rcp_Upcc_rms_base, rcp_Upoc_rms_base;
    float rcp_Z_base, rcp_Uvalve_base, set_Upos_PCC_pu;
    std::uint8_t ABSMode, test1;

    // Internal state.
    std::uint8_t k;  // sample index of the mean-square windows, 0..99
    MeanSquareWindow window[kMeterWindows];
    LineSet pcc_set;  // line RMS of the PCC (PT1) and of PT4, from the host or own windows
    LineSet poc_set;
    float site_rms;  // line RMS of the selected PCC-side site
    float poc_rms;   // line RMS of PT4
    Abc pcc_v;       // phase voltages of the selected PCC-side site, V
    float U0;        // zero sequence of PT4, V
    Abc poc_v0;      // PT4 phase voltages without zero sequence, V
    Abc isys_raw;    // enabled CT currents summed, A
    float UabsPcc;   // filtered vector magnitudes, per unit
    float UabsPoc;
    std::int32_t avg_index;  // dq-magnitude moving average
    float avg_sum;
    std::int32_t avg_rebuild;  // steps left in which the sum is rebuilt from the window
    float avg[kMeterAverageLen];
#if !SVG_REDUCED_BUILD
    FracDelay alpha_delay;  // quarter-period delays of the PCC alpha and beta components
    FracDelay beta_delay;
    AlphaBeta pos_seq;  // positive- and negative-sequence PCC alpha-beta pairs
    AlphaBeta neg_seq;
#endif
    float prev_cmd[kMeterWatchedCommands];
    float trig_timer;  // s
};

ModuleHeader* CreateMeterCtrl(Environment* env, ModuleHeader* module,
                              const char* instance_name) noexcept;

// Task 1: line RMS, voltages, currents and commands, in this order.
void MeterCtrlMain(ModuleHeader* module) noexcept;
// Task 3: bases and reciprocals; then series reactance, DC-command reciprocal and direction.
void MeterCtrlBases(ModuleHeader* module) noexcept;
void MeterCtrlReactance(ModuleHeader* module) noexcept;
// Task 2: command-change trigger.
void MeterCtrlCommandTrigger(ModuleHeader* module) noexcept;

}  // namespace svg
