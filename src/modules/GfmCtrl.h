// Grid-forming control: lets the converter act as a voltage source. Its own angle integrates
// a virtual-synchronous frequency made of a frequency base, the DC-link energy error (squared
// per-unit DC voltage error) through the swing transfer function (k1 s + k2)/(kj s + kd), and
// a synchronising term on the q-axis voltage in its own frame. Voltages and currents are
// measured in that frame, the currents split into positive and negative sequence by a
// double-frequency decoupling. A reactive-power/voltage regulator sets the voltage magnitude,
// and either two voltage regulators or a virtual admittance turn it into positive-sequence
// current references. While grid-forming is not active the angle follows the phase-locked
// loop and the reference states are pinned to the grid-following references, so switching
// over is bumpless. Per unit; angles in turns.
#pragma once

#include <cstdint>

#include "blocks/filters.h"
#include "blocks/pi_reg.h"
#include "framework/environment.h"
#include "framework/module.h"

namespace svg {

// Tustin form of a first-order transfer function, y = a1 y' + b0 x + b1 x', kept in double
// precision with its input and output histories.
struct GfmTustin {
    double a1, b0, b1;
    double x_prev, y_prev;
};

struct GfmCtrl {
    ModuleHeader hdr;
    // Inputs.
    const float* Uctrl_a_pu;  // control voltages, per unit
    const float* Uctrl_b_pu;
    const float* Uctrl_c_pu;
    const float* Ictrl_a_pu;  // converter currents, per unit
    const float* Ictrl_b_pu;
    const float* Ictrl_c_pu;
    const float* Udc_ref_pu;  // DC voltage reference and feedback, per unit
    const float* Udc_fbk_pu;
    const float* err_ki_final;  // reactive-power/voltage errors of the operating mode
    const float* err_openmode_final;
    const float* Ucmd_pu;
    const float* w_GFL;       // grid-following frequency, per unit
    const float* grid_theta;  // phase-locked loop angle, turns
    const std::uint8_t* flg_HVRT_mod;
    const std::uint8_t* flg_LVRT_mod;
    const std::uint8_t* flg_ffsw;  // not read
    const std::uint8_t* flg_seq_deblock;
    const std::uint8_t* flg_Uctrl;
    const std::uint8_t* flg_Qopen_mode;
    const float* FrqHzNom;  // Hz
    const float* Task1;     // s; the only task period used
    const float* Task2;
    const float* Task3;
    const float* wL_pu;          // not read
    const float* Idpos_ref_sum;  // grid-following references the states are pinned to
    const float* Iqpos_ref_sum;

    // Parameters.
    float parm_UGFM_wc_lpf;          // rad/s, published dq voltage filters
    float parm_UGFM_wc1_lpf;         // rad/s, dq voltage filters of the reference loops
    float parm_IGFM_wc_lpf;          // rad/s, published dq current filters
    float parm_curtrans_wc_lpf;      // rad/s, sequence-decoupling filters
    std::uint8_t parm_GFM_Mode;      // non-zero: grid-forming allowed
    std::uint8_t parm_GFM_Mode_Sel;  // 0: voltage regulators; non-zero: virtual admittance
    std::uint8_t parm_Uctrl_GFM;     // 1: the magnitude is the voltage command
    float parm_m_GFM;                // weight of nominal frequency against w_GFL
    float parm_GFM_kj;               // inertia
    float parm_GFM_kd;               // damping
    float parm_GFM_k1;               // swing numerator, s coefficient
    float parm_GFM_k2;               // swing numerator, constant
    float parm_GFM_k3;               // q-voltage synchronising gain
    float parm_theta_pre;            // turns added to the tracked angle while inactive
    float parm_Eref_lim;             // +- limit of the magnitude correction
    float parm_Eref;                 // magnitude set-point
    float parm_Ku_GFM;               // error gain in voltage control
    float parm_Kq_GFM;               // error gain otherwise
    float parm_kp_QV;
    float parm_ki_QV;
    float parm_GFM_Iref_kp;
    float parm_GFM_Iref_ki;
    float parm_GFM_Idref_lim;   // +- limit of Idref_GFM
    float parm_GFM_Iqref_lim;   // +- limit of Iqref_GFM
    float parm_GFM_vl;          // virtual reactance, per unit at 50 Hz
    float parm_GFM_vr;          // virtual resistance, per unit
    float parm_GFM_t_delayoff;  // s, grid-forming stays off this long after a ride-through

    // Variables.
    float set_Ud_fil_GFM;
    float set_Uq_fil_GFM;
    float set_Id_fbk_GFM;
    float set_Iq_fbk_GFM;
    float set_Idneg_fbk_GFM;
    float set_Iqneg_fbk_GFM;
    float set_w_GFM;       // per unit
    float grid_theta_GFM;  // turns
    float E_GFM;
    float E_GFM_final;
    float Idref_GFM;
    float Iqref_GFM;
    std::uint8_t En_GFM;
    std::uint8_t GFM_Blk_OtLoop;
    std::uint8_t GFM_TEST;  // 1: currents taken without sequence decoupling

    // Internal state.
    LpfFirst ud_fil, uq_fil;                  // published voltage
    LpfFirst ud1_fil, uq1_fil;                // voltage of the reference loops
    LpfFirst id_fil, iq_fil;                  // published positive-sequence current
    LpfFirst pd_fil, pq_fil, nd_fil, nq_fil;  // sequence decoupling
    PiReg idref_pi, iqref_pi, e_pi;
    float Ud, Uq, Id, Iq;  // raw dq voltage and current in the grid-forming frame
    float Ud1, Uq1;
    std::uint8_t flg_rt_hold;  // a ride-through was active within the hold time
    float t_hold_on, t_hold_off;
    float wb;  // frequency base, per unit
    GfmTustin swing;
    GfmTustin adm_d, adm_q;
    float K_E;                                             // magnitude error gain in use
    float err_E;                                           // scaled magnitude error
    float dE;                                              // magnitude correction
    float theta_raw;                                       // unwrapped angle, turns
    float id_int_min, id_int_max, iq_int_min, iq_int_max;  // for the next step's set-up
};

ModuleHeader* CreateGfmCtrl(Environment* env, ModuleHeader* module,
                            const char* instance_name) noexcept;

// Task 1: measurement, enable logic, angle and frequency, magnitude, current references.
void GfmCtrlStep(ModuleHeader* module) noexcept;

}  // namespace svg
