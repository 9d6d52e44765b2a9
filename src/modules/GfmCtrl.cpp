#include "modules/GfmCtrl.h"

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <initializer_list>
#include <limits>

#include "blocks/comparators.h"
#include "blocks/guarded.h"
#include "blocks/numeric.h"
#include "blocks/transforms.h"

namespace svg {
namespace {

// clang-format off
constexpr SignalRow kSignals[] = {
    {SignalKind::kVariable, offsetof(GfmCtrl, set_Ud_fil_GFM), "set_Ud_fil_GFM type=f level=1", "pu", "filtered d-axis voltage in the grid-forming frame"},
    {SignalKind::kVariable, offsetof(GfmCtrl, set_Uq_fil_GFM), "set_Uq_fil_GFM type=f level=1", "pu", "filtered q-axis voltage in the grid-forming frame"},
    {SignalKind::kVariable, offsetof(GfmCtrl, set_Id_fbk_GFM), "set_Id_fbk_GFM type=f level=1", "pu", "filtered positive-sequence d-axis current in the grid-forming frame"},
    {SignalKind::kVariable, offsetof(GfmCtrl, set_Iq_fbk_GFM), "set_Iq_fbk_GFM type=f level=1", "pu", "filtered positive-sequence q-axis current in the grid-forming frame"},
    {SignalKind::kVariable, offsetof(GfmCtrl, set_Idneg_fbk_GFM), "set_Idneg_fbk_GFM type=f level=1", "pu", "negative-sequence d-axis current in the grid-forming frame"},
    {SignalKind::kVariable, offsetof(GfmCtrl, set_Iqneg_fbk_GFM), "set_Iqneg_fbk_GFM type=f level=1", "pu", "negative-sequence q-axis current in the grid-forming frame"},
    {SignalKind::kVariable, offsetof(GfmCtrl, set_w_GFM), "set_w_GFM type=f level=1", "pu", "grid-forming frequency, per unit of the nominal frequency"},
    {SignalKind::kVariable, offsetof(GfmCtrl, grid_theta_GFM), "grid_theta_GFM type=f level=1", "turns", "grid-forming angle"},
    {SignalKind::kVariable, offsetof(GfmCtrl, E_GFM), "E_GFM type=f level=1", "pu", "voltage magnitude from the reactive-power/voltage regulator"},
    {SignalKind::kVariable, offsetof(GfmCtrl, E_GFM_final), "E_GFM_final type=f level=1", "pu", "grid-forming voltage magnitude in use"},
    {SignalKind::kVariable, offsetof(GfmCtrl, Idref_GFM), "Idref_GFM type=f level=1", "pu", "grid-forming positive-sequence d-axis current reference"},
    {SignalKind::kVariable, offsetof(GfmCtrl, Iqref_GFM), "Iqref_GFM type=f level=1", "pu", "grid-forming positive-sequence q-axis current reference"},
    {SignalKind::kVariable, offsetof(GfmCtrl, En_GFM), "En_GFM type=cu level=1", "-", "grid-forming control active"},
    {SignalKind::kVariable, offsetof(GfmCtrl, GFM_Blk_OtLoop), "GFM_Blk_OtLoop type=cu level=1", "-", "outer loops follow the grid-forming references (same value as En_GFM)"},
    {SignalKind::kVariable, offsetof(GfmCtrl, GFM_TEST), "GFM_TEST type=cu level=1", "-", "test switch: 1 skips the sequence decoupling of the measured currents"},
    {SignalKind::kFloatInput, offsetof(GfmCtrl, Uctrl_a_pu), "Uctrl_a_pu type=f", "pu", "phase-a control voltage"},
    {SignalKind::kFloatInput, offsetof(GfmCtrl, Uctrl_b_pu), "Uctrl_b_pu type=f", "pu", "phase-b control voltage"},
    {SignalKind::kFloatInput, offsetof(GfmCtrl, Uctrl_c_pu), "Uctrl_c_pu type=f", "pu", "phase-c control voltage"},
    {SignalKind::kFloatInput, offsetof(GfmCtrl, Ictrl_a_pu), "Ictrl_a_pu type=f", "pu", "phase-a converter current from the Hall sensors, sign inverted"},
    {SignalKind::kFloatInput, offsetof(GfmCtrl, Ictrl_b_pu), "Ictrl_b_pu type=f", "pu", "phase-b converter current from the Hall sensors, sign inverted"},
    {SignalKind::kFloatInput, offsetof(GfmCtrl, Ictrl_c_pu), "Ictrl_c_pu type=f", "pu", "phase-c converter current from the Hall sensors, sign inverted"},
    {SignalKind::kFloatInput, offsetof(GfmCtrl, Udc_ref_pu), "Udc_ref_pu type=f", "pu", "ramped per-unit reference of the DC voltage control"},
    {SignalKind::kFloatInput, offsetof(GfmCtrl, Udc_fbk_pu), "Udc_fbk_pu type=f", "pu", "mean of the three scaled cluster DC voltages"},
    {SignalKind::kFloatInput, offsetof(GfmCtrl, err_ki_final), "err_ki_final type=f", "pu", "error fed to the closed-loop regulator of mode control"},
    {SignalKind::kFloatInput, offsetof(GfmCtrl, err_openmode_final), "err_openmode_final type=f", "pu", "open-loop reactive power command minus measured converter reactive power"},
    {SignalKind::kFloatInput, offsetof(GfmCtrl, Ucmd_pu), "Ucmd_pu type=f", "pu", "voltage command, per unit of the RMS base of the control site"},
    {SignalKind::kFloatInput, offsetof(GfmCtrl, w_GFL), "w_GFL type=f", "pu", "grid-following frequency from the phase-locked loop"},
    {SignalKind::kFloatInput, offsetof(GfmCtrl, grid_theta), "grid_theta type=f", "turns", "grid angle from the phase-locked loop"},
    {SignalKind::kByteInput, offsetof(GfmCtrl, flg_HVRT_mod), "flg_HVRT_mod type=cu", "-", "high-voltage ride-through active"},
    {SignalKind::kByteInput, offsetof(GfmCtrl, flg_LVRT_mod), "flg_LVRT_mod type=cu", "-", "low-voltage ride-through active"},
    {SignalKind::kByteInput, offsetof(GfmCtrl, flg_ffsw), "flg_ffsw type=cu", "-", "feed-forward switch flag (not read)"},
    {SignalKind::kByteInput, offsetof(GfmCtrl, flg_seq_deblock), "flg_seq_deblock type=cu", "-", "deblock command; enables the current-reference regulators"},
    {SignalKind::kByteInput, offsetof(GfmCtrl, flg_Uctrl), "flg_Uctrl type=cu", "-", "voltage control is in charge of the mode-control regulator"},
    {SignalKind::kByteInput, offsetof(GfmCtrl, flg_Qopen_mode), "flg_Qopen_mode type=cu", "-", "open-loop reactive power path selected in mode control"},
    {SignalKind::kFloatInput, offsetof(GfmCtrl, FrqHzNom), "FrqHzNom type=f", "Hz", "nominal grid frequency"},
    {SignalKind::kFloatInput, offsetof(GfmCtrl, Task1), "Task1 type=f", "s", "task 1 period; sample time of the filters, regulators and angle"},
    {SignalKind::kFloatInput, offsetof(GfmCtrl, Task2), "Task2 type=f", "s", "task 2 period (not read)"},
    {SignalKind::kFloatInput, offsetof(GfmCtrl, Task3), "Task3 type=f", "s", "task 3 period (not read)"},
    {SignalKind::kFloatInput, offsetof(GfmCtrl, wL_pu), "wL_pu type=f", "pu", "series reactor reactance at nominal frequency (not read)"},
    {SignalKind::kFloatInput, offsetof(GfmCtrl, Idpos_ref_sum), "Idpos_ref_sum type=f", "pu", "grid-following positive-sequence d-axis current reference"},
    {SignalKind::kFloatInput, offsetof(GfmCtrl, Iqpos_ref_sum), "Iqpos_ref_sum type=f", "pu", "grid-following positive-sequence q-axis current reference"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_UGFM_wc_lpf), "parm_UGFM_wc_lpf type=f default=63 option=1", "rad/s", "cut-off of the published dq voltage filters"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_UGFM_wc1_lpf), "parm_UGFM_wc1_lpf type=f default=63 option=1", "rad/s", "cut-off of the internal dq voltage filters of the reference loops"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_IGFM_wc_lpf), "parm_IGFM_wc_lpf type=f default=6280 option=1", "rad/s", "cut-off of the published dq current filters"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_curtrans_wc_lpf), "parm_curtrans_wc_lpf type=f default=220.0 option=1", "rad/s", "cut-off of the four sequence-decoupling filters"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_GFM_Mode), "parm_GFM_Mode type=cu default=0 option=1", "-", "allows grid-forming operation when non-zero"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_GFM_Mode_Sel), "parm_GFM_Mode_Sel type=cu default=0 option=1", "-", "current reference method: 0 voltage regulators, non-zero virtual admittance"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_Uctrl_GFM), "parm_Uctrl_GFM type=cu default=0 option=1", "-", "set to 1 to take the voltage magnitude from the voltage command"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_m_GFM), "parm_m_GFM type=f default=1 option=1", "-", "weight of the nominal frequency against the grid-following one in the base"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_GFM_kj), "parm_GFM_kj type=f default=3.5 option=1", "-", "inertia coefficient of the swing transfer function"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_GFM_kd), "parm_GFM_kd type=f default=185 option=1", "-", "damping coefficient of the swing transfer function"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_GFM_k1), "parm_GFM_k1 type=f default=1 option=1", "-", "numerator s-coefficient of the swing transfer function"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_GFM_k2), "parm_GFM_k2 type=f default=3 option=1", "-", "numerator constant of the swing transfer function"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_GFM_k3), "parm_GFM_k3 type=f default=0.35 option=1", "-", "gain of the q-axis voltage synchronising term"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_theta_pre), "parm_theta_pre type=f default=0 option=1", "turns", "angle offset added to the grid angle while grid-forming is inactive"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_Eref_lim), "parm_Eref_lim type=f default=0.2 option=1", "pu", "limit of the voltage magnitude correction"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_Eref), "parm_Eref type=f default=1 option=1", "pu", "voltage magnitude set-point"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_Ku_GFM), "parm_Ku_GFM type=f default=1 option=1", "-", "voltage magnitude error gain while voltage control is in charge"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_Kq_GFM), "parm_Kq_GFM type=f default=1 option=1", "-", "voltage magnitude error gain otherwise"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_kp_QV), "parm_kp_QV type=f default=0 option=1", "-", "proportional gain of the voltage magnitude regulator"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_ki_QV), "parm_ki_QV type=f default=1 option=1", "-", "integral gain of the voltage magnitude regulator"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_GFM_Iref_kp), "parm_GFM_Iref_kp type=f default=4 option=1", "-", "proportional gain of both current-reference regulators"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_GFM_Iref_ki), "parm_GFM_Iref_ki type=f default=0.02 option=1", "-", "integral gain of both current-reference regulators"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_GFM_Idref_lim), "parm_GFM_Idref_lim type=f default=0.5 option=1", "pu", "limit of the grid-forming d-axis current reference"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_GFM_Iqref_lim), "parm_GFM_Iqref_lim type=f default=1.5 option=1", "pu", "limit of the grid-forming q-axis current reference"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_GFM_vl), "parm_GFM_vl type=f default=1.5 option=1", "pu", "virtual reactance of the admittance, per unit at 50 Hz"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_GFM_vr), "parm_GFM_vr type=f default=1.5 option=1", "pu", "virtual resistance of the admittance"},
    {SignalKind::kParameter, offsetof(GfmCtrl, parm_GFM_t_delayoff), "parm_GFM_t_delayoff type=f default=0.2 option=1", "s", "hold time after a ride-through before grid-forming resumes"},
};
// clang-format on

constexpr float kInf = std::numeric_limits<float>::infinity();
// The regulators' anti-windup gain.
constexpr float kAntiWindup = 1.0f;
// Environment time counter units per second (the counter advances by 100 per 100 us step).
constexpr float kCounterPerSecond = 1000000.0f;
// The ride-through hold sets with a ride-through at once: an on-delay of zero counter units.
constexpr float kHoldOnDelay = 0.0f;
// Henry per unit of reactance given at 50 Hz: 1 / (2 pi 50).
constexpr double kHenryPerPuAt50Hz = 0.0031831;
// Reciprocal of an exact-zero denominator in the double-precision filter designs.
constexpr double kRcpOfZeroDouble = static_cast<double>(kRcpOfZero);

// A limit magnitude from a setting: a negative or NaN setting allows nothing (0) instead of
// inverting the band or spoiling the comparisons; normal settings pass unchanged.
float Band(float lim) { return Limit(lim, 0.0f, kInf); }

// A double-precision filter output leaves the single-precision range only for bad settings
// or inputs; the filter then restarts from rest.
bool InFloatRange(double y) { return std::abs(y) <= static_cast<double>(FLT_MAX); }

// Single precision of a double-precision value, saturated at the largest finite float.
float ToFloat(double x) {
    if (x > static_cast<double>(FLT_MAX)) {
        return FLT_MAX;
    }
    return x < -static_cast<double>(FLT_MAX) ? -FLT_MAX : static_cast<float>(x);
}

double Rcp(double den) { return den == 0.0 ? kRcpOfZeroDouble : 1.0 / den; }

// One step of a Tustin filter. An output outside the single-precision range (NaN included)
// clears both histories and gives 0, so the filter works again once its input and settings
// are sane.
double TustinStep(GfmTustin& f, double x) {
    const double y = f.a1 * f.y_prev + f.b0 * x + f.b1 * f.x_prev;
    if (!InFloatRange(y)) {
        f.x_prev = f.y_prev = 0.0;
        return 0.0;
    }
    f.x_prev = x;
    f.y_prev = y;
    return y;
}

void Design(GfmCtrl& m, float ts) {
    LpfFirstDesign(m.ud_fil, ts, m.parm_UGFM_wc_lpf);
    LpfFirstDesign(m.uq_fil, ts, m.parm_UGFM_wc_lpf);
    LpfFirstDesign(m.ud1_fil, ts, m.parm_UGFM_wc1_lpf);
    LpfFirstDesign(m.uq1_fil, ts, m.parm_UGFM_wc1_lpf);
    LpfFirstDesign(m.id_fil, ts, m.parm_IGFM_wc_lpf);
    LpfFirstDesign(m.iq_fil, ts, m.parm_IGFM_wc_lpf);
    for (LpfFirst* f : {&m.pd_fil, &m.pq_fil, &m.nd_fil, &m.nq_fil}) {
        LpfFirstDesign(*f, ts, m.parm_curtrans_wc_lpf);
    }
    PiRegDesign(m.idref_pi, ts, m.parm_GFM_Iref_kp, m.parm_GFM_Iref_ki, kAntiWindup,
                Band(m.parm_GFM_Idref_lim), m.id_int_min, m.id_int_max);
    PiRegDesign(m.iqref_pi, ts, m.parm_GFM_Iref_kp, m.parm_GFM_Iref_ki, kAntiWindup,
                Band(m.parm_GFM_Iqref_lim), m.iq_int_min, m.iq_int_max);
    const float e_lim = Band(m.parm_Eref_lim);
    PiRegDesign(m.e_pi, ts, m.parm_kp_QV, m.parm_ki_QV, kAntiWindup, e_lim, -e_lim, e_lim);
}

int RegisterGfmCtrlTasks(ModuleHeader* module, int list) {
    GfmCtrl& m = *As<GfmCtrl>(module);
    Design(m, *m.Task1);
    return RegisterTask(list, &GfmCtrlStep, module) != 0 ? 1 : 0;
}

// Voltages and currents in the frame of last step's angle. The negative-sequence current
// appears at twice the angle in this frame; the decoupling filters hold last step's sequence
// currents, each rotated by twice the angle into the other sequence's frame and subtracted.
void Measure(GfmCtrl& m) {
    const float theta = m.grid_theta_GFM;
    const Abc u{*m.Uctrl_a_pu, *m.Uctrl_b_pu, *m.Uctrl_c_pu};
    const Abc i{*m.Ictrl_a_pu, *m.Ictrl_b_pu, *m.Ictrl_c_pu};
    m.Ud = ParkD(u, theta);
    m.Uq = ParkQ(u, theta);
    m.Id = ParkD(i, theta);
    m.Iq = ParkQ(i, theta);
    m.set_Ud_fil_GFM = LpfStepFinite(m.ud_fil, m.Ud);
    m.set_Uq_fil_GFM = LpfStepFinite(m.uq_fil, m.Uq);
    m.Ud1 = LpfStepFinite(m.ud1_fil, m.Ud);
    m.Uq1 = LpfStepFinite(m.uq1_fil, m.Uq);

    float pos_d = m.Id;
    float pos_q = m.Iq;
    if (m.GFM_TEST == 0) {
        const float pd = LpfStepFinite(m.pd_fil, m.set_Id_fbk_GFM);
        const float pq = LpfStepFinite(m.pq_fil, m.set_Iq_fbk_GFM);
        const float nd = LpfStepFinite(m.nd_fil, m.set_Idneg_fbk_GFM);
        const float nq = LpfStepFinite(m.nq_fil, m.set_Iqneg_fbk_GFM);
        const float t2 = 2.0f * kTwoPi * theta;
        const float c = Cos(t2);
        const float s = Sin(t2);
        pos_d = m.Id - c * nd - s * nq;
        pos_q = s * nd + m.Iq - c * nq;
        m.set_Idneg_fbk_GFM = c * (m.Id - pd) - s * (m.Iq - pq);
        m.set_Iqneg_fbk_GFM = c * (m.Iq - pq) + s * (m.Id - pd);
    }
    m.set_Id_fbk_GFM = LpfStepFinite(m.id_fil, pos_d);
    m.set_Iq_fbk_GFM = LpfStepFinite(m.iq_fil, pos_q);
}

// A ride-through sets the hold at once; the hold clears once no ride-through has been seen
// for the hold time. The time in counter units is truncated to unsigned: a NaN or negative
// setting releases at the first step without a ride-through, a setting of 2^32 units or more
// saturates and holds for a whole counter cycle.
void EnableLogic(GfmCtrl& m) {
    const bool ride_through = *m.flg_HVRT_mod != 0 || *m.flg_LVRT_mod != 0;
    const auto off_delay =
        static_cast<float>(TruncToUint32(m.parm_GFM_t_delayoff * kCounterPerSecond));
    m.flg_rt_hold = CounterConfirmedFlag(m.flg_rt_hold, ride_through, m.t_hold_on, m.t_hold_off,
                                         m.hdr.env->time_counter, kHoldOnDelay, off_delay);
    const bool active = m.parm_GFM_Mode != 0 && *m.flg_seq_deblock != 0 && m.flg_rt_hold == 0;
    m.En_GFM = active ? 1 : 0;
    m.GFM_Blk_OtLoop = m.En_GFM;
}

// Swing filter (k1 s + k2)/(kj s + kd) in Tustin form, in double precision because its pole
// sits close to 1 at the task period. Its input is the DC-link energy error while active and
// 0 while inactive, so its output decays then.
void SwingDesign(GfmCtrl& m, double ts) {
    const double kj = m.parm_GFM_kj;
    const double kd = m.parm_GFM_kd;
    const double k1 = m.parm_GFM_k1;
    const double k2 = m.parm_GFM_k2;
    const double r = Rcp(kd * ts + 2.0 * kj);
    m.swing.a1 = (2.0 * kj - kd * ts) * r;
    m.swing.b0 = (k2 * ts + 2.0 * k1) * r;
    m.swing.b1 = (k2 * ts - 2.0 * k1) * r;
}

// Frequency, then the angle: integrated from last step's angle while active, the tracked
// phase-locked loop angle plus the offset while inactive. A frequency base that is not finite
// (a bad weight, or a phase-locked loop frequency spoilt by a bad rating) is the nominal
// frequency; a non-finite angle restarts from the tracked angle, or from 0 when that too is
// bad, instead of staying NaN in the integration.
void AngleAndFrequency(GfmCtrl& m, float ts, float en) {
    m.wb = (1.0f - m.parm_m_GFM) * *m.w_GFL + m.parm_m_GFM;
    if (!std::isfinite(m.wb)) {
        m.wb = 1.0f;
    }
    SwingDesign(m, ts);
    const float udc_fbk = *m.Udc_fbk_pu;
    const float udc_ref = *m.Udc_ref_pu;
    const float energy_err = (udc_fbk * udc_fbk - udc_ref * udc_ref) * en;
    const double y = TustinStep(m.swing, energy_err);
    m.set_w_GFM = static_cast<float>(y) + m.parm_GFM_k3 * m.set_Uq_fil_GFM + m.wb;

    const float tracked = *m.grid_theta + m.parm_theta_pre;
    m.theta_raw = m.En_GFM != 0 ? ts * m.set_w_GFM * *m.FrqHzNom + m.grid_theta_GFM : tracked;
    float theta = std::fmod(m.theta_raw, 1.0f);
    if (!std::isfinite(theta)) {
        theta = std::fmod(tracked, 1.0f);
        if (!std::isfinite(theta)) {
            theta = 0.0f;
        }
    }
    m.grid_theta_GFM = theta;
}

// Reactive-power/voltage regulator: the correction of the magnitude set-point, enabled only
// while grid-forming is active.
void VoltageMagnitude(GfmCtrl& m) {
    m.K_E = *m.flg_Uctrl == 1 ? m.parm_Ku_GFM : m.parm_Kq_GFM;
    const float err = *m.flg_Qopen_mode == 1 ? *m.err_openmode_final : *m.err_ki_final;
    m.err_E = err * m.K_E;
    m.dE = LimitSym(PiRegStep(m.e_pi, m.err_E, m.En_GFM), m.parm_Eref_lim);
    m.E_GFM = m.parm_Eref + m.dE;
    m.E_GFM_final = m.parm_Uctrl_GFM == 1 ? *m.Ucmd_pu : m.E_GFM;
}

// Two voltage regulators. Their integrator bands, taken at the next step's set-up, are the
// reference limits while active and collapse onto the grid-following references while
// inactive, so the integrators track those references.
void VoltageRegulators(GfmCtrl& m) {
    if (m.En_GFM != 0) {
        const float d_lim = Band(m.parm_GFM_Idref_lim);
        const float q_lim = Band(m.parm_GFM_Iqref_lim);
        m.id_int_min = -d_lim;
        m.id_int_max = d_lim;
        m.iq_int_min = -q_lim;
        m.iq_int_max = q_lim;
    } else {
        m.id_int_min = m.id_int_max = *m.Idpos_ref_sum;
        m.iq_int_min = m.iq_int_max = *m.Iqpos_ref_sum;
    }
    const std::int32_t run = *m.flg_seq_deblock != 0 ? 1 : 0;
    m.Idref_GFM = PiRegStep(m.idref_pi, m.Uq1, run);
    m.Iqref_GFM = PiRegStep(m.iqref_pi, m.E_GFM_final - m.Ud1, run);
}

// Virtual admittance 1/(L s + R), L the virtual reactance over 2 pi 50 Hz, in Tustin form in
// double precision, driven by the voltage difference less the cross-coupled drop of last
// step's references. While inactive its input is 0, its output history is pinned to the
// grid-following references and the references hold.
void VirtualAdmittance(GfmCtrl& m, float ts, float en) {
    const double l = static_cast<double>(m.parm_GFM_vl) * kHenryPerPuAt50Hz;
    const double r = m.parm_GFM_vr;
    const double t = ts;
    // The denominator is kept in single precision.
    const double rcp = Rcp(ToFloat(2.0 * l + r * t));
    for (GfmTustin* f : {&m.adm_d, &m.adm_q}) {
        f->a1 = (2.0 * l - r * t) * rcp;
        f->b0 = f->b1 = t * rcp;
    }
    const float ed = (m.Ud1 - m.E_GFM_final + m.parm_GFM_vl * m.Iqref_GFM) * en;
    const float eq = (m.Uq1 - m.parm_GFM_vl * m.Idref_GFM) * en;
    const double yd = TustinStep(m.adm_d, ed);
    const double yq = TustinStep(m.adm_q, eq);
    if (m.En_GFM != 0) {
        m.Idref_GFM = LimitSym(static_cast<float>(yd), m.parm_GFM_Idref_lim);
        m.Iqref_GFM = LimitSym(static_cast<float>(yq), m.parm_GFM_Iqref_lim);
    } else {
        m.adm_d.y_prev = *m.Idpos_ref_sum;
        m.adm_q.y_prev = *m.Iqpos_ref_sum;
    }
}

}  // namespace

ModuleHeader* CreateGfmCtrl(Environment* env, ModuleHeader* module,
                            const char* instance_name) noexcept {
    InitHeader(module, env, "GFMCTRL", instance_name, &RegisterGfmCtrlTasks);
    RegisterSignals(module, kSignals);
    // Per unit of the nominal frequency; everything else starts at 0 with the zero-filled
    // record.
    As<GfmCtrl>(module)->set_w_GFM = 1.0f;
    return module;
}

void GfmCtrlStep(ModuleHeader* module) noexcept {
    GfmCtrl& m = *As<GfmCtrl>(module);
    const float ts = *m.Task1;
    Design(m, ts);
    Measure(m);
    EnableLogic(m);
    const float en = m.En_GFM != 0 ? 1.0f : 0.0f;
    AngleAndFrequency(m, ts, en);
    VoltageMagnitude(m);
    if (m.parm_GFM_Mode_Sel == 0) {
        VoltageRegulators(m);
    } else {
        VirtualAdmittance(m, ts, en);
    }
}

}  // namespace svg
