#include "modules/InPhaseVolCtrl.h"

#include <cstddef>

#include "blocks/numeric.h"
#include "blocks/transforms.h"

namespace svg {
namespace {

// clang-format off
constexpr SignalRow kSignals[] = {
    {SignalKind::kFloatInput, offsetof(InPhaseVolCtrl, numerator[0]), "numerator[0] type=f", "A", "phase a balance numerator: converter phase a Hall current (host input 33)"},
    {SignalKind::kFloatInput, offsetof(InPhaseVolCtrl, numerator[1]), "numerator[1] type=f", "A", "phase b balance numerator: converter phase b Hall current (host input 34)"},
    {SignalKind::kFloatInput, offsetof(InPhaseVolCtrl, numerator[2]), "numerator[2] type=f", "A", "phase c balance numerator: converter phase c Hall current (host input 35)"},
    {SignalKind::kFloatInput, offsetof(InPhaseVolCtrl, divisor[0]), "divisor[0] type=f", "-", "phase a balance divisor, an RMS value (host input 36); used times sqrt(2)"},
    {SignalKind::kFloatInput, offsetof(InPhaseVolCtrl, divisor[1]), "divisor[1] type=f", "-", "phase b balance divisor, an RMS value (host input 37); used times sqrt(2)"},
    {SignalKind::kFloatInput, offsetof(InPhaseVolCtrl, divisor[2]), "divisor[2] type=f", "-", "phase c balance divisor, an RMS value (host input 38); used times sqrt(2)"},
    {SignalKind::kFloatInput, offsetof(InPhaseVolCtrl, rcp_Udccmd), "rcp_Udccmd type=f", "1/V", "reciprocal of the DC voltage command"},
    {SignalKind::kFloatInput, offsetof(InPhaseVolCtrl, submodule_pwdir), "submodule_pwdir type=f", "-", "cell power direction, +1 or -1"},
    {SignalKind::kFloatInput, offsetof(InPhaseVolCtrl, Task1), "Task1 type=f", "s", "task 1 period (not read)"},
    {SignalKind::kFloatInput, offsetof(InPhaseVolCtrl, Task2), "Task2 type=f", "s", "task 2 period (not read)"},
    {SignalKind::kFloatInput, offsetof(InPhaseVolCtrl, Task3), "Task3 type=f", "s", "task 3 period (not read)"},
    {SignalKind::kParameter, offsetof(InPhaseVolCtrl, parm_kp_Udcbalctrl), "parm_kp_Udcbalctrl type=f default=0.4 option=1", "-", "proportional gain of the phase DC voltage balance"},
    {SignalKind::kSharedVariable, offsetof(InPhaseVolCtrl, set_Udca_bal_coef), "set_Udca_bal_coef type=f", "-", "phase a DC voltage balance coefficient"},
    {SignalKind::kSharedVariable, offsetof(InPhaseVolCtrl, set_Udcb_bal_coef), "set_Udcb_bal_coef type=f", "-", "phase b DC voltage balance coefficient"},
    {SignalKind::kSharedVariable, offsetof(InPhaseVolCtrl, set_Udcc_bal_coef), "set_Udcc_bal_coef type=f", "-", "phase c DC voltage balance coefficient"},
    {SignalKind::kVariable, offsetof(InPhaseVolCtrl, test1), "test1 type=f", "-", "unlimited balance ratio of phase a (debug)"},
    {SignalKind::kVariable, offsetof(InPhaseVolCtrl, test2), "test2 type=f", "-", "unlimited balance ratio of phase b (debug)"},
    {SignalKind::kVariable, offsetof(InPhaseVolCtrl, test3), "test3 type=f", "-", "unlimited balance ratio of phase c (debug)"},
    {SignalKind::kVariable, offsetof(InPhaseVolCtrl, test4), "test4 type=f", "-", "balance ratio of phase a limited to [-2, 2] (debug)"},
    {SignalKind::kVariable, offsetof(InPhaseVolCtrl, test5), "test5 type=f", "-", "balance ratio of phase b limited to [-2, 2] (debug)"},
    {SignalKind::kVariable, offsetof(InPhaseVolCtrl, test6), "test6 type=f", "-", "balance ratio of phase c limited to [-2, 2] (debug)"},
    {SignalKind::kVariable, offsetof(InPhaseVolCtrl, test7), "test7 type=f", "-", "common balance scale: gain times DC command reciprocal and power direction"},
};
// clang-format on

// The ratio is limited to +-2.
constexpr float kRatioLimit = 2.0f;

int RegisterInPhaseVolCtrlTasks(ModuleHeader* module, int list) {
    return RegisterTask(list, &InPhaseVolCtrlStep, module) != 0 ? 1 : 0;
}

// numerator / (sqrt(2) divisor); a zero divisor gives the ratio 1e10 (limited to 2).
float Ratio(float numerator, float divisor) {
    const float d = divisor * kSqrt2;
    return d == 0.0f ? kRcpOfZero : numerator / d;
}

}  // namespace

ModuleHeader* CreateInPhaseVolCtrl(Environment* env, ModuleHeader* module,
                                   const char* instance_name) noexcept {
    InitHeader(module, env, "INPHASEVOLCTRL", instance_name, &RegisterInPhaseVolCtrlTasks);
    RegisterSignals(module, kSignals);
    return module;
}

void InPhaseVolCtrlStep(ModuleHeader* module) noexcept {
    InPhaseVolCtrl& m = *As<InPhaseVolCtrl>(module);
    const float g = *m.rcp_Udccmd * m.parm_kp_Udcbalctrl * *m.submodule_pwdir;
    float* const ratio[kBalancePhases] = {&m.test1, &m.test2, &m.test3};
    float* const limited[kBalancePhases] = {&m.test4, &m.test5, &m.test6};
    float* const coef[kBalancePhases] = {&m.set_Udca_bal_coef, &m.set_Udcb_bal_coef,
                                         &m.set_Udcc_bal_coef};
    for (int k = 0; k < kBalancePhases; ++k) {
        *ratio[k] = Ratio(*m.numerator[k], *m.divisor[k]);
        // A NaN ratio (a NaN host value) balances nothing instead of pushing the full -2.
        *limited[k] = LimitCommand(*ratio[k], kRatioLimit);
        *coef[k] = g * *limited[k];
    }
    m.test7 = g;
}

}  // namespace svg
