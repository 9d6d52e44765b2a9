#include "modules/ThreeHarCtrl.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <initializer_list>

#include "blocks/guarded.h"

namespace svg {
namespace {

// clang-format off
constexpr SignalRow kSignals[] = {
    {SignalKind::kSharedVariable, offsetof(ThreeHarCtrl, set_threehar_inject), "set_threehar_inject type=f", "pu", "common-mode voltage added to all three phases to extend the modulation range"},
    {SignalKind::kSharedVariable, offsetof(ThreeHarCtrl, threehar_a_pos), "threehar_a_pos type=f", "pu", "positive-sequence third-harmonic injection term"},
    {SignalKind::kSharedVariable, offsetof(ThreeHarCtrl, threehar_a_neg), "threehar_a_neg type=f", "pu", "negative-sequence third-harmonic injection term"},
    {SignalKind::kFloatInput, offsetof(ThreeHarCtrl, mod_a_pos), "mod_a_pos type=f", "pu", "positive-sequence modulation contribution of phase a from current control"},
    {SignalKind::kFloatInput, offsetof(ThreeHarCtrl, mod_b_pos), "mod_b_pos type=f", "pu", "positive-sequence modulation contribution of phase b from current control"},
    {SignalKind::kFloatInput, offsetof(ThreeHarCtrl, mod_c_pos), "mod_c_pos type=f", "pu", "positive-sequence modulation contribution of phase c from current control"},
    {SignalKind::kFloatInput, offsetof(ThreeHarCtrl, mod_a_neg), "mod_a_neg type=f", "pu", "negative-sequence modulation contribution of phase a from current control"},
    {SignalKind::kFloatInput, offsetof(ThreeHarCtrl, mod_b_neg), "mod_b_neg type=f", "pu", "negative-sequence modulation contribution of phase b from current control"},
    {SignalKind::kFloatInput, offsetof(ThreeHarCtrl, mod_c_neg), "mod_c_neg type=f", "pu", "negative-sequence modulation contribution of phase c from current control"},
    {SignalKind::kFloatInput, offsetof(ThreeHarCtrl, Udmod_pos), "Udmod_pos type=f", "pu", "positive-sequence d-axis voltage command without feed-forward from current control"},
    {SignalKind::kFloatInput, offsetof(ThreeHarCtrl, Uqmod_pos), "Uqmod_pos type=f", "pu", "positive-sequence q-axis voltage command without feed-forward from current control"},
    {SignalKind::kFloatInput, offsetof(ThreeHarCtrl, Udmod_neg), "Udmod_neg type=f", "pu", "negative-sequence d-axis voltage command from current control"},
    {SignalKind::kFloatInput, offsetof(ThreeHarCtrl, Uqmod_neg), "Uqmod_neg type=f", "pu", "negative-sequence q-axis voltage command from current control"},
    {SignalKind::kFloatInput, offsetof(ThreeHarCtrl, grid_theta), "grid_theta type=f", "turns", "grid angle from the phase-locked loop"},
    {SignalKind::kFloatInput, offsetof(ThreeHarCtrl, Udpos), "Udpos type=f", "pu", "positive-sequence d-axis grid voltage from the phase-locked loop"},
    {SignalKind::kFloatInput, offsetof(ThreeHarCtrl, Uqpos), "Uqpos type=f", "pu", "positive-sequence q-axis grid voltage from the phase-locked loop"},
    {SignalKind::kFloatInput, offsetof(ThreeHarCtrl, Udneg), "Udneg type=f", "pu", "negative-sequence d-axis grid voltage from the phase-locked loop"},
    {SignalKind::kFloatInput, offsetof(ThreeHarCtrl, Uqneg), "Uqneg type=f", "pu", "negative-sequence q-axis grid voltage from the phase-locked loop"},
    {SignalKind::kFloatInput, offsetof(ThreeHarCtrl, Ud_mix), "Ud_mix type=f", "pu", "d-axis grid voltage at +theta, both sequences mixed, from the phase-locked loop"},
    {SignalKind::kFloatInput, offsetof(ThreeHarCtrl, Uq_mix), "Uq_mix type=f", "pu", "q-axis grid voltage at +theta, both sequences mixed, from the phase-locked loop"},
    // Declared as floats; their producers store bytes, and they are read as bytes.
    {SignalKind::kByteInput, offsetof(ThreeHarCtrl, flg_seq_running), "flg_seq_running type=f", "-", "running command from the sequence (host input), read as a byte"},
    {SignalKind::kByteInput, offsetof(ThreeHarCtrl, trans_type), "trans_type type=f", "-", "coupling arrangement code 0 to 6, read as a byte; injection only with 0"},
    {SignalKind::kFloatInput, offsetof(ThreeHarCtrl, Task1), "Task1 type=f", "s", "task-1 period (Ts of the filters)"},
    {SignalKind::kByteInput, offsetof(ThreeHarCtrl, flg_ffsw), "flg_ffsw type=cu", "-", "feed-forward switch flag: selects the fast sequence-voltage filters"},
    {SignalKind::kParameter, offsetof(ThreeHarCtrl, ena_ThreeHar), "ena_ThreeHar type=cu default=0 option=1", "-", "enable of the common-mode injection"},
    {SignalKind::kParameter, offsetof(ThreeHarCtrl, parm_ThreeHar_Mode), "parm_ThreeHar_Mode type=cu default=0 option=1", "-", "injection method: 0 third harmonic, 1 min-max, other no injection"},
    {SignalKind::kParameter, offsetof(ThreeHarCtrl, parm_Uff_filf), "parm_Uff_filf type=f default=63.0 option=1", "rad/s", "cut-off frequency of the normal voltage filters (mixed dq voltage)"},
    {SignalKind::kParameter, offsetof(ThreeHarCtrl, parm_Uff_filf_sw), "parm_Uff_filf_sw type=f default=1256.0 option=1", "rad/s", "cut-off frequency of the fast voltage filters (sequence dq voltages)"},
};
// clang-format on

constexpr std::uint8_t kModeThirdHarmonic = 0;
constexpr std::uint8_t kModeMinMax = 1;
// Three times the grid angle, radians per turn (3 * 2 pi).
constexpr float kThreeTurnsRad = 18.849556f;
// One eighth of the voltage vector's amplitude is injected, with the sign of the injection
// law: -1/8 on the cosine term, and the sine term subtracted with -1/8.
constexpr double kEighth = -0.125;
constexpr double kMinMaxHalf = -0.5;

void DesignFilters(ThreeHarCtrl& m) {
    const float ts = *m.Task1;
    for (LpfFirst* f : {&m.Ud_mix_fil, &m.Uq_mix_fil}) {
        LpfFirstDesign(*f, ts, m.parm_Uff_filf);
    }
    for (LpfFirst* f : {&m.Udpos_fil, &m.Uqpos_fil, &m.Udneg_fil, &m.Uqneg_fil}) {
        LpfFirstDesign(*f, ts, m.parm_Uff_filf_sw);
    }
}

int RegisterThreeHarCtrlTasks(ModuleHeader* module, int list) {
    DesignFilters(*As<ThreeHarCtrl>(module));
    return RegisterTask(list, &ThreeHarCtrlStep, module) != 0 ? 1 : 0;
}

// Common mode that centres the summed phase contributions between their extremes. The sum of
// extremes is single precision, its product with -1/2 double precision.
float MinMax(const ThreeHarCtrl& m) {
    const float sa = *m.mod_a_neg + *m.mod_a_pos;
    const float sb = *m.mod_b_neg + *m.mod_b_pos;
    const float sc = *m.mod_c_neg + *m.mod_c_pos;
    const float extremes = std::max({sa, sb, sc}) + std::min({sa, sb, sc});
    return static_cast<float>(kMinMaxHalf * static_cast<double>(extremes));
}

// -1/8 (d cos phi - q sin phi) of a dq voltage at angle phi, in double precision.
double ThirdHarmonicTerm(float d, float dmod, float q, float qmod, float phi) {
    const double p = static_cast<double>(phi);
    return kEighth * (static_cast<double>(d) + static_cast<double>(dmod)) * std::cos(p) -
           kEighth * (static_cast<double>(q) + static_cast<double>(qmod)) * std::sin(p);
}

float ThirdHarmonic(ThreeHarCtrl& m) {
    // The sequence voltages are filtered fast while the fast feed-forward is on; otherwise
    // the mixed voltage is filtered slowly and the negative sequence carries nothing. Each
    // pair resumes from its own last state when the selection changes.
    if (*m.flg_ffsw == 1) {
        m.d1 = LpfStepFinite(m.Udpos_fil, *m.Udpos);
        m.q1 = LpfStepFinite(m.Uqpos_fil, *m.Uqpos);
        m.d2 = LpfStepFinite(m.Udneg_fil, *m.Udneg);
        m.q2 = LpfStepFinite(m.Uqneg_fil, *m.Uqneg);
    } else {
        m.d1 = LpfStepFinite(m.Ud_mix_fil, *m.Ud_mix);
        m.q1 = LpfStepFinite(m.Uq_mix_fil, *m.Uq_mix);
        m.d2 = 0.0f;
        m.q2 = 0.0f;
    }
    const float theta = *m.grid_theta;
    const float phi = theta * kThreeTurnsRad;
    const float phi_neg = theta * -kThreeTurnsRad;
    const double pos = ThirdHarmonicTerm(m.d1, *m.Udmod_pos, m.q1, *m.Uqmod_pos, phi);
    const double neg = ThirdHarmonicTerm(m.d2, *m.Udmod_neg, m.q2, *m.Uqmod_neg, phi_neg);
    m.threehar_a_pos = static_cast<float>(pos);
    m.threehar_a_neg = static_cast<float>(neg);
    return m.threehar_a_pos + m.threehar_a_neg;
}

}  // namespace

ModuleHeader* CreateThreeHarCtrl(Environment* env, ModuleHeader* module,
                                 const char* instance_name) noexcept {
    InitHeader(module, env, "THREEHARCTRL", instance_name, &RegisterThreeHarCtrlTasks);
    RegisterSignals(module, kSignals);
    return module;
}

void ThreeHarCtrlStep(ModuleHeader* module) noexcept {
    ThreeHarCtrl& m = *As<ThreeHarCtrl>(module);
    DesignFilters(m);
    const bool active = m.ena_ThreeHar == 1 && *m.flg_seq_running == 1 && *m.trans_type == 0;
    if (!active) {
        m.set_threehar_inject = 0.0f;
    } else if (m.parm_ThreeHar_Mode == kModeMinMax) {
        m.set_threehar_inject = MinMax(m);
    } else if (m.parm_ThreeHar_Mode == kModeThirdHarmonic) {
        m.set_threehar_inject = ThirdHarmonic(m);
    } else {
        m.set_threehar_inject = 0.0f;
    }
}

}  // namespace svg
