#include "modules/CurCtrl.h"

#include <cmath>
#include <cstddef>
#include <initializer_list>

#include "blocks/guarded.h"
#include "blocks/numeric.h"

namespace svg {
namespace {

// clang-format off
constexpr SignalRow kSignals[] = {
    {SignalKind::kFloatInput, offsetof(CurCtrl, Idpos_ref_sum), "Idpos_ref_sum type=f", "pu", "positive-sequence d-axis current reference after reference limiting"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Iqpos_ref_sum), "Iqpos_ref_sum type=f", "pu", "positive-sequence q-axis current reference after reference limiting"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Idpos_fbk), "Idpos_fbk type=f", "pu", "positive-sequence d-axis current feedback"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Iqpos_fbk), "Iqpos_fbk type=f", "pu", "positive-sequence q-axis current feedback"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Idneg_ref_sum), "Idneg_ref_sum type=f", "pu", "negative-sequence d-axis current reference after reference limiting"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Iqneg_ref_sum), "Iqneg_ref_sum type=f", "pu", "negative-sequence q-axis current reference after reference limiting"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Idneg_fbk), "Idneg_fbk type=f", "pu", "negative-sequence d-axis current feedback"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Iqneg_fbk), "Iqneg_fbk type=f", "pu", "negative-sequence q-axis current feedback"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Idzero_ref_sum), "Idzero_ref_sum type=f", "pu", "zero-sequence d-axis current reference after reference limiting"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Iqzero_ref_sum), "Iqzero_ref_sum type=f", "pu", "zero-sequence q-axis current reference after reference limiting"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Idzero_fbk), "Idzero_fbk type=f", "pu", "zero-sequence d-axis current feedback"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Iqzero_fbk), "Iqzero_fbk type=f", "pu", "zero-sequence q-axis current feedback"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Ud_ff), "Ud_ff type=f", "pu", "filtered d-axis grid-voltage feed-forward"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Uq_ff), "Uq_ff type=f", "pu", "filtered q-axis grid-voltage feed-forward"},
    {SignalKind::kByteInput, offsetof(CurCtrl, flg_seq_deblock), "flg_seq_deblock type=cu", "-", "deblock command; enables the current regulators"},
    {SignalKind::kByteInput, offsetof(CurCtrl, flg_update_fosys), "flg_update_fosys type=cu", "-", "integrator tracking request (not driven, always 0)"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, wL_pu), "wL_pu type=f", "pu", "series reactor reactance at nominal frequency; scales gains and decoupling"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, grid_theta), "grid_theta type=f", "turns", "grid angle from the phase-locked loop"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Ictrl_a_pu), "Ictrl_a_pu type=f", "pu", "phase-a converter current from the Hall sensors, sign inverted"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Ictrl_b_pu), "Ictrl_b_pu type=f", "pu", "phase-b converter current from the Hall sensors, sign inverted"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Ictrl_c_pu), "Ictrl_c_pu type=f", "pu", "phase-c converter current from the Hall sensors, sign inverted"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Idpos_fosys), "Idpos_fosys type=f", "pu", "tracking value of the positive-sequence d integrator (not driven, 0)"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Iqpos_fosys), "Iqpos_fosys type=f", "pu", "tracking value of the positive-sequence q integrator (not driven, 0)"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Idneg_fosys), "Idneg_fosys type=f", "pu", "tracking value of the negative-sequence d integrator (not driven, 0)"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Iqneg_fosys), "Iqneg_fosys type=f", "pu", "tracking value of the negative-sequence q integrator (not driven, 0)"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Idzero_fosys), "Idzero_fosys type=f", "pu", "tracking value of the zero-sequence d integrator (not driven, 0)"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Iqzero_fosys), "Iqzero_fosys type=f", "pu", "tracking value of the zero-sequence q integrator (not driven, 0)"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Task1), "Task1 type=f", "s", "task 1 period; sample time of the regulators and band-pass filters"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Task2), "Task2 type=f", "s", "task 2 period (not read)"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Task3), "Task3 type=f", "s", "task 3 period (not read)"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, set_Ua_ff), "set_Ua_ff type=f", "pu", "filtered phase-a voltage for instantaneous feed-forward"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, set_Ub_ff), "set_Ub_ff type=f", "pu", "filtered phase-b voltage for instantaneous feed-forward"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, set_Uc_ff), "set_Uc_ff type=f", "pu", "filtered phase-c voltage for instantaneous feed-forward"},
    {SignalKind::kByteInput, offsetof(CurCtrl, flg_ffsw), "flg_ffsw type=cu", "-", "feed-forward switch flag, set after a grid voltage disturbance"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Ud_fil_GFM), "Ud_fil_GFM type=f", "pu", "filtered d-axis voltage in the grid-forming frame"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Uq_fil_GFM), "Uq_fil_GFM type=f", "pu", "filtered q-axis voltage in the grid-forming frame"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Id_fbk_GFM), "Id_fbk_GFM type=f", "pu", "filtered positive-sequence d-axis current in the grid-forming frame"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Iq_fbk_GFM), "Iq_fbk_GFM type=f", "pu", "filtered positive-sequence q-axis current in the grid-forming frame"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Idref_GFM), "Idref_GFM type=f", "pu", "grid-forming positive-sequence d-axis current reference"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, Iqref_GFM), "Iqref_GFM type=f", "pu", "grid-forming positive-sequence q-axis current reference"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, grid_theta_GFM), "grid_theta_GFM type=f", "turns", "grid-forming angle"},
    {SignalKind::kByteInput, offsetof(CurCtrl, En_GFM), "En_GFM type=cu", "-", "grid-forming control active; switches the positive-sequence loop inputs"},
    {SignalKind::kFloatInput, offsetof(CurCtrl, E_GFM_final), "E_GFM_final type=f", "pu", "grid-forming voltage magnitude in use"},
    {SignalKind::kByteInput, offsetof(CurCtrl, GFM_Blk_OtLoop), "GFM_Blk_OtLoop type=cu", "-", "outer loops follow the grid-forming references (not read here)"},
    {SignalKind::kVariable, offsetof(CurCtrl, set_mod_a_pos), "set_mod_a_pos type=f", "pu", "positive-sequence modulation contribution, phase a"},
    {SignalKind::kVariable, offsetof(CurCtrl, set_mod_b_pos), "set_mod_b_pos type=f", "pu", "positive-sequence modulation contribution, phase b"},
    {SignalKind::kVariable, offsetof(CurCtrl, set_mod_c_pos), "set_mod_c_pos type=f", "pu", "positive-sequence modulation contribution, phase c"},
    {SignalKind::kVariable, offsetof(CurCtrl, set_mod_a_neg), "set_mod_a_neg type=f", "pu", "negative-sequence modulation contribution, phase a"},
    {SignalKind::kVariable, offsetof(CurCtrl, set_mod_b_neg), "set_mod_b_neg type=f", "pu", "negative-sequence modulation contribution, phase b"},
    {SignalKind::kVariable, offsetof(CurCtrl, set_mod_c_neg), "set_mod_c_neg type=f", "pu", "negative-sequence modulation contribution, phase c"},
    {SignalKind::kVariable, offsetof(CurCtrl, set_mod_a_zero), "set_mod_a_zero type=f", "pu", "zero-sequence and 100 Hz modulation contribution, phase a"},
    {SignalKind::kVariable, offsetof(CurCtrl, set_mod_b_zero), "set_mod_b_zero type=f", "pu", "zero-sequence and 100 Hz modulation contribution, phase b"},
    {SignalKind::kVariable, offsetof(CurCtrl, set_mod_c_zero), "set_mod_c_zero type=f", "pu", "zero-sequence and 100 Hz modulation contribution, phase c"},
    {SignalKind::kVariable, offsetof(CurCtrl, set_Idpos_follow), "set_Idpos_follow type=f", "pu", "integrator state of the positive-sequence d-axis regulator"},
    {SignalKind::kVariable, offsetof(CurCtrl, set_Iqpos_follow), "set_Iqpos_follow type=f", "pu", "integrator state of the positive-sequence q-axis regulator"},
    {SignalKind::kVariable, offsetof(CurCtrl, set_Idneg_follow), "set_Idneg_follow type=f", "pu", "integrator state of the negative-sequence d-axis regulator"},
    {SignalKind::kVariable, offsetof(CurCtrl, set_Iqneg_follow), "set_Iqneg_follow type=f", "pu", "integrator state of the negative-sequence q-axis regulator"},
    {SignalKind::kVariable, offsetof(CurCtrl, set_Idzero_follow), "set_Idzero_follow type=f", "pu", "integrator state of the zero-sequence d-axis regulator"},
    {SignalKind::kVariable, offsetof(CurCtrl, set_Iqzero_follow), "set_Iqzero_follow type=f", "pu", "integrator state of the zero-sequence q-axis regulator"},
    {SignalKind::kVariable, offsetof(CurCtrl, set_Udmod_pos), "set_Udmod_pos type=f", "pu", "positive-sequence d-axis voltage command without feed-forward"},
    {SignalKind::kVariable, offsetof(CurCtrl, set_Uqmod_pos), "set_Uqmod_pos type=f", "pu", "positive-sequence q-axis voltage command without feed-forward"},
    {SignalKind::kVariable, offsetof(CurCtrl, set_Udmod_neg), "set_Udmod_neg type=f", "pu", "negative-sequence d-axis voltage command"},
    {SignalKind::kVariable, offsetof(CurCtrl, set_Uqmod_neg), "set_Uqmod_neg type=f", "pu", "negative-sequence q-axis voltage command"},
    {SignalKind::kVariable, offsetof(CurCtrl, md_pos), "md_pos type=f", "pu", "positive-sequence d-axis current regulator output"},
    {SignalKind::kVariable, offsetof(CurCtrl, mq_pos), "mq_pos type=f", "pu", "positive-sequence q-axis current regulator output"},
    {SignalKind::kVariable, offsetof(CurCtrl, md_neg), "md_neg type=f", "pu", "negative-sequence d-axis current regulator output"},
    {SignalKind::kVariable, offsetof(CurCtrl, mq_neg), "mq_neg type=f", "pu", "negative-sequence q-axis current regulator output"},
    {SignalKind::kVariable, offsetof(CurCtrl, md_zero), "md_zero type=f", "pu", "zero-sequence d-axis current regulator output"},
    {SignalKind::kVariable, offsetof(CurCtrl, mq_zero), "mq_zero type=f", "pu", "zero-sequence q-axis current regulator output"},
    {SignalKind::kVariable, offsetof(CurCtrl, Ucmd_H3), "Ucmd_H3 type=f", "pu", "150 Hz zero-sequence resonant voltage command"},
    {SignalKind::kVariable, offsetof(CurCtrl, Ucmd_H2), "Ucmd_H2 type=f", "pu", "phase-a component of the 100 Hz resonant voltage command"},
    {SignalKind::kVariable, offsetof(CurCtrl, highlambda_3), "highlambda_3 type=f", "-", "damping of the 150 Hz band-pass filter"},
    {SignalKind::kVariable, offsetof(CurCtrl, highlambda_2), "highlambda_2 type=f", "-", "damping of the 100 Hz alpha-axis band-pass filter"},
    // The beta filter's damping under the same name: the registry keeps the alpha field.
    {SignalKind::kVariable, offsetof(CurCtrl, highlambda_2_beta), "highlambda_2 type=f", "-", "damping of the 100 Hz beta-axis band-pass filter (registry keeps the alpha entry)"},
    {SignalKind::kVariable, offsetof(CurCtrl, test1), "test1 type=f", "-", "gain multiplier of the negative-sequence regulators"},
    {SignalKind::kVariable, offsetof(CurCtrl, test2), "test2 type=f", "-", "gain multiplier of the zero-sequence regulators"},
    {SignalKind::kParameter, offsetof(CurCtrl, ena_curloop_neg), "ena_curloop_neg type=cu default=1 option=1", "-", "enables the negative-sequence current loop and its output"},
    {SignalKind::kParameter, offsetof(CurCtrl, ena_curloop_zero), "ena_curloop_zero type=cu default=0 option=1", "-", "enables the zero-sequence current loop, its resonant terms and its output"},
    {SignalKind::kParameter, offsetof(CurCtrl, parm_pos_cur_kp), "parm_pos_cur_kp type=f default=0.38 option=1", "-", "current regulator proportional gain, normalised to the reactor reactance"},
    {SignalKind::kParameter, offsetof(CurCtrl, parm_pos_cur_ki), "parm_pos_cur_ki type=f default=7.89 option=1", "-", "current regulator integral gain, normalised to the reactor reactance"},
    {SignalKind::kParameter, offsetof(CurCtrl, parm_pos_cur_kilim), "parm_pos_cur_kilim type=f default=10.0 option=1", "pu", "integrator limit of all six current regulators", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(CurCtrl, parm_pos_cur_kilim), "parm_pos_cur_kilim type=f default=1.0 option=1", "pu", "integrator limit of all six current regulators", Builds::kReducedOnly},
    {SignalKind::kParameter, offsetof(CurCtrl, parm_pos_cur_pilim), "parm_pos_cur_pilim type=f default=10.0 option=1", "pu", "output limit of the positive-sequence regulators; half for the others", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(CurCtrl, parm_pos_cur_pilim), "parm_pos_cur_pilim type=f default=1.0 option=1", "pu", "output limit of the positive-sequence regulators; half for the others", Builds::kReducedOnly},
    {SignalKind::kParameter, offsetof(CurCtrl, parm_theta_shift), "parm_theta_shift type=f default=0.0 option=1", "turns", "angle offset added to the transform angle"},
    {SignalKind::kParameter, offsetof(CurCtrl, ena_InstanFf), "ena_InstanFf type=cu default=0 option=1", "-", "enables instantaneous phase-voltage feed-forward while flg_ffsw is set", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(CurCtrl, ena_test_mode), "ena_test_mode type=cu default=0 option=1", "-", "selects the test gains for the positive- and negative-sequence loops", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(CurCtrl, parm_pos_cur_kp_test), "parm_pos_cur_kp_test type=f default=0.38 option=1", "-", "current regulator proportional gain used in test mode", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(CurCtrl, parm_pos_cur_ki_test), "parm_pos_cur_ki_test type=f default=7.89 option=1", "-", "current regulator integral gain used in test mode", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(CurCtrl, parm_GFM_Mode_Sel), "parm_GFM_Mode_Sel type=cu default=0 option=1", "-", "grid-forming mode: 2 applies the grid-forming voltage directly, loop off", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(CurCtrl, kp_zeroH3), "kp_zeroH3 type=f default=0 option=1", "-", "proportional gain of the 150 Hz zero-sequence term", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(CurCtrl, kr_zeroH3), "kr_zeroH3 type=f default=0 option=1", "-", "resonant gain of the 150 Hz zero-sequence term", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(CurCtrl, kp_H2), "kp_H2 type=f default=0 option=1", "-", "proportional gain of the 100 Hz alpha/beta term", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(CurCtrl, kr_H2), "kr_H2 type=f default=0 option=1", "-", "resonant gain of the 100 Hz alpha/beta term", Builds::kFullOnly},
};
// clang-format on

// The regulators' anti-windup gain.
constexpr float kAntiWindup = 1.0f;
// Gains are normalised to the reactor: the regulator gain is k * wL * 10.
constexpr float kGainScale = 10.0f;
// The negative- and zero-sequence regulators get half the positive output limit.
constexpr float kHalfLimit = 0.5f;
// Gain pair in force on the first step, whatever the parameters hold.
constexpr float kInitialKp = 0.38f;
constexpr float kInitialKi = 7.89f;
// Initial values of the published multipliers and band-pass dampings.
constexpr float kInitialMultiplier = 0.5f;
constexpr float kInitialDampingH3 = 0.0033333334f;
constexpr float kInitialDampingH2 = 0.005f;
// Band-pass centres, rad/s: 2 pi 150 Hz and 2 pi 100 Hz.
constexpr float kW150Hz = 942.4778f;
constexpr float kW100Hz = 628.3185f;
// The zero-sequence current is a third of the phase sum.
constexpr float kOneThird = 0.33333334f;
// Band-pass outputs are clamped to this magnitude before the resonant gain.
constexpr float kResonantClamp = 1.0f;
// parm_GFM_Mode_Sel value that applies the grid-forming voltage directly.
constexpr std::uint8_t kGfmDirectVoltage = 2;

int RegisterCurCtrlTasks(ModuleHeader* module, int list) {
    CurCtrl& m = *As<CurCtrl>(module);
    // A task period that is not a positive finite number would leave NaN or runaway values
    // in every integrator and filter coefficient for the whole run; it counts as 0, which
    // holds the integrators and silences the band-passes instead.
    const float task1 = *m.Task1;
    const float ts = std::isfinite(task1) && task1 > 0.0f ? task1 : 0.0f;
    StdFilterDesign(m.bp_h3, ts, kW150Hz, m.highlambda_3);
    StdFilterDesign(m.bp_h2_alpha, ts, kW100Hz, m.highlambda_2);
    StdFilterDesign(m.bp_h2_beta, ts, kW100Hz, m.highlambda_2_beta);
    for (PiReg* r : {&m.pos_d, &m.pos_q, &m.neg_d, &m.neg_q, &m.zero_d, &m.zero_q}) {
        PiRegDesign(*r, ts, r->Kp, r->Ki, kAntiWindup, r->OutLim, r->IntMin, r->IntMax);
        r->Out = 0.0f;
    }
    return RegisterTask(list, &CurCtrlStep, module) != 0 ? 1 : 0;
}

struct FrameGains {
    float kp;
    float ki;
    float out_lim;
};

// One frame's d and q regulators on the frame's errors. The gains and limits are refreshed
// every step, so parameter changes act at once; while tracking is requested both integrator
// limits equal the tracking value, which pins the integrator to it.
Dq Regulate(const CurCtrl& m, PiReg& d, PiReg& q, CurCtrlFrame& f, const FrameGains& g, bool enable,
            float fosys_d, float fosys_q) {
    if (*m.flg_update_fosys != 0) {
        f.int_min_d = f.int_max_d = fosys_d;
        f.int_min_q = f.int_max_q = fosys_q;
    } else {
        f.int_min_d = f.int_min_q = -m.parm_pos_cur_kilim;
        f.int_max_d = f.int_max_q = m.parm_pos_cur_kilim;
    }
    PiRegDesign(d, d.Ts, g.kp, g.ki, kAntiWindup, g.out_lim, f.int_min_d, f.int_max_d);
    PiRegDesign(q, q.Ts, g.kp, g.ki, kAntiWindup, g.out_lim, f.int_min_q, f.int_max_q);
    const std::int32_t run = enable ? 1 : 0;
    return {PiRegStep(d, f.err_d, run), PiRegStep(q, f.err_q, run)};
}

void SelectPositiveInputs(CurCtrl& m) {
    if (*m.En_GFM != 0) {
        m.pos_in = {*m.Idref_GFM,  *m.Iqref_GFM,  *m.Id_fbk_GFM,    *m.Iq_fbk_GFM,
                    *m.Ud_fil_GFM, *m.Uq_fil_GFM, *m.grid_theta_GFM};
    } else {
        m.pos_in = {*m.Idpos_ref_sum, *m.Iqpos_ref_sum, *m.Idpos_fbk, *m.Iqpos_fbk,
                    *m.Ud_ff,         *m.Uq_ff,         *m.grid_theta};
    }
}

void PositiveLoop(CurCtrl& m, float wl) {
    SelectPositiveInputs(m);
    const CurCtrlPosInputs& s = m.pos_in;
    CurCtrlFrame& f = m.pos;
    f.err_d = s.id_ref - s.id_fbk;
    f.err_q = s.iq_ref - s.iq_fbk;
    const FrameGains g{m.kp_active * wl * kGainScale, m.ki_active * wl * kGainScale,
                       m.parm_pos_cur_pilim};
    const bool run = *m.flg_seq_deblock != 0 && m.parm_GFM_Mode_Sel != kGfmDirectVoltage;
    const Dq out = Regulate(m, m.pos_d, m.pos_q, f, g, run, *m.Idpos_fosys, *m.Iqpos_fosys);
    m.md_pos = out.d;
    m.mq_pos = out.q;
    m.set_Idpos_follow = m.pos_d.I;
    m.set_Iqpos_follow = m.pos_q.I;
    f.theta = s.theta + m.parm_theta_shift;

    if (m.ena_InstanFf == 1 && *m.flg_ffsw != 0) {
        // Instantaneous feed-forward: the filtered phase voltages are added per phase, so
        // the dq command holds only decoupling and regulator terms.
        f.v = {wl * s.iq_ref - m.md_pos, -wl * s.id_ref - m.mq_pos};
        f.abc = InvParkAbc(f.v, f.theta);
        m.set_mod_a_pos = *m.set_Ua_ff + f.abc.a;
        m.set_mod_b_pos = *m.set_Ub_ff + f.abc.b;
        m.set_mod_c_pos = *m.set_Uc_ff + f.abc.c;
        return;
    }
    if (m.parm_GFM_Mode_Sel == kGfmDirectVoltage) {
        f.v = {*m.E_GFM_final, 0.0f};
    } else {
        f.v = {wl * s.iq_ref + s.ud_ff - m.md_pos, s.uq_ff - wl * s.id_ref - m.mq_pos};
        // The published commands always carry the grid-following references, and the
        // transform uses the grid-following angle.
        m.set_Udmod_pos = wl * *m.Iqpos_ref_sum - m.md_pos;
        m.set_Uqmod_pos = -wl * *m.Idpos_ref_sum - m.mq_pos;
        f.theta = *m.grid_theta + m.parm_theta_shift;
    }
    f.abc = InvParkAbc(f.v, f.theta);
    m.set_mod_a_pos = f.abc.a;
    m.set_mod_b_pos = f.abc.b;
    m.set_mod_c_pos = f.abc.c;
}

// Negative sequence: decoupling minus regulator in the frame rotating against the grid angle;
// no voltage feed-forward.
void NegativeLoop(CurCtrl& m, float wl) {
    CurCtrlFrame& f = m.neg;
    f.err_d = *m.Idneg_ref_sum - *m.Idneg_fbk;
    f.err_q = *m.Iqneg_ref_sum - *m.Iqneg_fbk;
    const FrameGains g{m.kp_active * wl * kGainScale * m.test1,
                       m.ki_active * wl * kGainScale * m.test1, kHalfLimit * m.parm_pos_cur_pilim};
    const bool run = *m.flg_seq_deblock != 0 && m.ena_curloop_neg != 0;
    const Dq out = Regulate(m, m.neg_d, m.neg_q, f, g, run, *m.Idneg_fosys, *m.Iqneg_fosys);
    m.md_neg = out.d;
    m.mq_neg = out.q;
    m.set_Idneg_follow = m.neg_d.I;
    m.set_Iqneg_follow = m.neg_q.I;

    f.v = {-wl * *m.Iqneg_ref_sum - m.md_neg, wl * *m.Idneg_ref_sum - m.mq_neg};
    m.set_Udmod_neg = f.v.d;
    m.set_Uqmod_neg = f.v.q;
    f.theta = -*m.grid_theta - m.parm_theta_shift;
    f.abc = InvParkAbc(f.v, f.theta);
    const bool out_on = m.ena_curloop_neg == 1;
    m.set_mod_a_neg = out_on ? f.abc.a : 0.0f;
    m.set_mod_b_neg = out_on ? f.abc.b : 0.0f;
    m.set_mod_c_neg = out_on ? f.abc.c : 0.0f;
}

// Band-pass output clamped to [-1, 1]. A filter whose output leaves the finite range (a NaN
// or infinite current) restarts from rest instead of holding NaN in its history for ever.
float ResonantPart(IirFilter& f, float x) {
    return Limit(IirStepFinite(f, x), -kResonantClamp, kResonantClamp);
}

// Zero sequence: the dq regulator outputs rotated back to a phase value, the 150 Hz term on
// the zero-sequence current and the 100 Hz term on the alpha/beta currents.
void ZeroLoop(CurCtrl& m, float wl) {
    CurCtrlFrame& f = m.zero;
    f.err_d = *m.Idzero_ref_sum - *m.Idzero_fbk;
    f.err_q = *m.Iqzero_ref_sum - *m.Iqzero_fbk;
    // Test mode does not reach the zero-sequence gains: they come from the parameters.
    const FrameGains g{m.parm_pos_cur_kp * wl * kGainScale * m.test2,
                       m.parm_pos_cur_ki * wl * kGainScale * m.test2,
                       kHalfLimit * m.parm_pos_cur_pilim};
    const bool run = *m.flg_seq_deblock != 0 && m.ena_curloop_zero != 0;
    const Dq out = Regulate(m, m.zero_d, m.zero_q, f, g, run, *m.Idzero_fosys, *m.Iqzero_fosys);
    m.md_zero = out.d;
    m.mq_zero = out.q;
    m.set_Idzero_follow = m.zero_d.I;
    m.set_Iqzero_follow = m.zero_q.I;

    const float ia = *m.Ictrl_a_pu;
    const float ib = *m.Ictrl_b_pu;
    const float ic = *m.Ictrl_c_pu;
    m.i0 = -(ia + ib + ic) * kOneThird;
    m.Ucmd_H3 = m.kr_zeroH3 * ResonantPart(m.bp_h3, m.i0) + m.kp_zeroH3 * m.i0;

#if !SVG_REDUCED_BUILD  // the reduced controller has no 100 Hz resonant term
    m.i_neg = {-ia, -ib, -ic};
    m.i_ab = ClarkeAbc(m.i_neg);
    m.h2_ab.alpha = m.kp_H2 * m.i_ab.alpha + m.kr_H2 * ResonantPart(m.bp_h2_alpha, m.i_ab.alpha);
    m.h2_ab.beta = m.kp_H2 * m.i_ab.beta + m.kr_H2 * ResonantPart(m.bp_h2_beta, m.i_ab.beta);
    const Abc h2 = InvClarke(m.h2_ab);
    m.Ucmd_H2 = h2.a;
    m.h2_b = h2.b;
    m.h2_c = h2.c;
#endif

    f.theta = *m.grid_theta + m.parm_theta_shift;
    if (m.ena_curloop_zero != 1) {
        m.set_mod_a_zero = 0.0f;
        m.set_mod_b_zero = 0.0f;
        m.set_mod_c_zero = 0.0f;
        return;
    }
    const float phi = kTwoPi * f.theta;
    const float v0 = -(Cos(phi) * m.md_zero - Sin(phi) * m.mq_zero + m.Ucmd_H3);
    m.set_mod_a_zero = v0 + m.Ucmd_H2;
    m.set_mod_b_zero = v0 + m.h2_b;
    m.set_mod_c_zero = v0 + m.h2_c;
}

// The gain pair for the next step.
void SelectGains(CurCtrl& m) {
    if (m.ena_test_mode == 1) {
        m.kp_active = m.parm_pos_cur_kp_test;
        m.ki_active = m.parm_pos_cur_ki_test;
    } else {
        m.kp_active = m.parm_pos_cur_kp;
        m.ki_active = m.parm_pos_cur_ki;
    }
}

}  // namespace

ModuleHeader* CreateCurCtrl(Environment* env, ModuleHeader* module,
                            const char* instance_name) noexcept {
    InitHeader(module, env, "CURCTRL", instance_name, &RegisterCurCtrlTasks);
    RegisterSignals(module, kSignals);
    CurCtrl& m = *As<CurCtrl>(module);
    // Outputs, regulators and working values start at 0 with the zero-filled record.
    m.highlambda_3 = kInitialDampingH3;
    m.highlambda_2 = kInitialDampingH2;
    m.highlambda_2_beta = kInitialDampingH2;
    m.test1 = kInitialMultiplier;
    m.test2 = kInitialMultiplier;
    m.kp_active = kInitialKp;
    m.ki_active = kInitialKi;
    IirFilterCreateKind(m.bp_h3, kBandPass);
    IirFilterCreateKind(m.bp_h2_alpha, kBandPass);
    IirFilterCreateKind(m.bp_h2_beta, kBandPass);
    return module;
}

void CurCtrlStep(ModuleHeader* module) noexcept {
    CurCtrl& m = *As<CurCtrl>(module);
    const float wl = *m.wL_pu;
    PositiveLoop(m, wl);
    NegativeLoop(m, wl);
    ZeroLoop(m, wl);
    SelectGains(m);
}

}  // namespace svg
