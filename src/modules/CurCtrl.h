// Sequence current control: closes the converter current loops in the positive-sequence frame
// (rotating with the grid angle), the negative-sequence frame (rotating against it) and the
// zero-sequence frame, each with a d and a q PI regulator. Each frame's dq voltage command is
// the cross-coupling (decoupling) term of its reference, plus the grid-voltage feed-forward
// in the positive frame, minus the regulator output; the inverse Park transform turns it into
// three per-phase modulation contributions. The zero-sequence branch also carries a 150 Hz
// resonant term on the zero-sequence current and a 100 Hz term on the alpha/beta currents.
// While grid-forming control is active the positive loop takes its references, feedback,
// feed-forward and angle from it, or applies its voltage magnitude directly. Per unit
// throughout; angles in turns.
#pragma once

#include <cstdint>

#include "blocks/filters.h"
#include "blocks/pi_reg.h"
#include "blocks/transforms.h"
#include "framework/environment.h"
#include "framework/module.h"

namespace svg {

// Working values of one frame's step: errors, integrator limits, dq voltage command, the
// transform angle (turns) and the inverse Park result.
struct CurCtrlFrame {
    float err_d;
    float err_q;
    float int_min_d;
    float int_max_d;
    float int_min_q;
    float int_max_q;
    Dq v;
    float theta;
    Abc abc;
};

// The positive loop's inputs after the grid-following / grid-forming selection.
struct CurCtrlPosInputs {
    float id_ref;
    float iq_ref;
    float id_fbk;
    float iq_fbk;
    float ud_ff;
    float uq_ff;
    float theta;  // turns
};

struct CurCtrl {
    ModuleHeader hdr;
    // Inputs.
    const float* Idpos_ref_sum;  // sequence current references and feedback, per unit
    const float* Iqpos_ref_sum;
    const float* Idpos_fbk;
    const float* Iqpos_fbk;
    const float* Idneg_ref_sum;
    const float* Iqneg_ref_sum;
    const float* Idneg_fbk;
    const float* Iqneg_fbk;
    const float* Idzero_ref_sum;
    const float* Iqzero_ref_sum;
    const float* Idzero_fbk;
    const float* Iqzero_fbk;
    const float* Ud_ff;  // grid-voltage feed-forward, dq
    const float* Uq_ff;
    const std::uint8_t* flg_seq_deblock;
    const std::uint8_t* flg_update_fosys;  // pins each integrator to its tracking value
    const float* wL_pu;                    // reactor reactance, per unit
    const float* grid_theta;               // turns
    const float* Ictrl_a_pu;               // measured converter phase currents
    const float* Ictrl_b_pu;
    const float* Ictrl_c_pu;
    const float* Idpos_fosys;  // integrator tracking values
    const float* Iqpos_fosys;
    const float* Idneg_fosys;
    const float* Iqneg_fosys;
    const float* Idzero_fosys;
    const float* Iqzero_fosys;
    const float* Task1;  // s; read once, at task registration
    const float* Task2;
    const float* Task3;
    const float* set_Ua_ff;  // filtered phase voltages for the instantaneous feed-forward
    const float* set_Ub_ff;
    const float* set_Uc_ff;
    const std::uint8_t* flg_ffsw;
    const float* Ud_fil_GFM;  // grid-forming feed-forward, feedback, references and angle
    const float* Uq_fil_GFM;
    const float* Id_fbk_GFM;
    const float* Iq_fbk_GFM;
    const float* Idref_GFM;
    const float* Iqref_GFM;
    const float* grid_theta_GFM;  // turns
    const std::uint8_t* En_GFM;
    const float* E_GFM_final;            // grid-forming voltage magnitude, per unit
    const std::uint8_t* GFM_Blk_OtLoop;  // not read

    // Parameters.
    std::uint8_t ena_curloop_neg;
    std::uint8_t ena_curloop_zero;
    float parm_pos_cur_kp;  // normalised: the regulator gain is kp * wL * 10
    float parm_pos_cur_ki;
    float parm_pos_cur_kilim;  // integrator limit of all six regulators
    float parm_pos_cur_pilim;  // positive output limit; half of it for the others
    float parm_theta_shift;    // turns
    std::uint8_t ena_InstanFf;
    std::uint8_t ena_test_mode;
    float parm_pos_cur_kp_test;
    float parm_pos_cur_ki_test;
    std::uint8_t parm_GFM_Mode_Sel;  // 2: grid-forming voltage applied directly
    float kp_zeroH3;                 // 150 Hz zero-sequence term
    float kr_zeroH3;
    float kp_H2;  // 100 Hz alpha/beta term
    float kr_H2;

    // Variables.
    float set_mod_a_pos, set_mod_b_pos, set_mod_c_pos;
    float set_mod_a_neg, set_mod_b_neg, set_mod_c_neg;
    float set_mod_a_zero, set_mod_b_zero, set_mod_c_zero;
    float set_Idpos_follow, set_Iqpos_follow;  // integrator states after this step
    float set_Idneg_follow, set_Iqneg_follow;
    float set_Idzero_follow, set_Iqzero_follow;
    float set_Udmod_pos, set_Uqmod_pos;  // decoupling minus regulator, no feed-forward
    float set_Udmod_neg, set_Uqmod_neg;
    float md_pos, mq_pos, md_neg, mq_neg, md_zero, mq_zero;  // regulator outputs
    float Ucmd_H3;                                           // 150 Hz zero-sequence command
    float Ucmd_H2;                                           // phase a of the 100 Hz command
    float highlambda_3;                                      // damping of the 150 Hz band-pass
    float highlambda_2;  // damping of the 100 Hz alpha band-pass
    // Damping of the 100 Hz beta band-pass. Registered under the alpha filter's name, which
    // keeps the first field, so it is reachable only here.
    float highlambda_2_beta;
    float test1;  // gain multiplier of the negative-sequence regulators
    float test2;  // gain multiplier of the zero-sequence regulators

    // Internal state.
    PiReg pos_d, pos_q, neg_d, neg_q, zero_d, zero_q;
    float kp_active;  // gain pair in force, chosen at the end of the previous step
    float ki_active;
    CurCtrlFrame pos, neg, zero;
    CurCtrlPosInputs pos_in;
    float i0;               // zero-sequence current
    Abc i_neg;              // negated phase currents
    AlphaBeta i_ab;         // their alpha/beta components
    AlphaBeta h2_ab;        // 100 Hz command, alpha/beta
    float h2_b, h2_c;       // phases b and c of the 100 Hz command
    IirFilter bp_h3;        // 150 Hz band-pass on i0
    IirFilter bp_h2_alpha;  // 100 Hz band-passes on alpha and beta
    IirFilter bp_h2_beta;
};

ModuleHeader* CreateCurCtrl(Environment* env, ModuleHeader* module,
                            const char* instance_name) noexcept;

// Task 1: positive, negative and zero-sequence loops, then the gain pair for the next step.
void CurCtrlStep(ModuleHeader* module) noexcept;

}  // namespace svg
