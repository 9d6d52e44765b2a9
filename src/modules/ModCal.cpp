#include "modules/ModCal.h"

#include <cstddef>

#include "blocks/numeric.h"

namespace svg {
namespace {

// clang-format off
constexpr SignalRow kSignals[] = {
    {SignalKind::kFloatInput, offsetof(ModCal, mod_a_pos), "mod_a_pos type=f", "pu", "positive-sequence modulation contribution of the current controller, phase a"},
    {SignalKind::kFloatInput, offsetof(ModCal, mod_b_pos), "mod_b_pos type=f", "pu", "positive-sequence modulation contribution of the current controller, phase b"},
    {SignalKind::kFloatInput, offsetof(ModCal, mod_c_pos), "mod_c_pos type=f", "pu", "positive-sequence modulation contribution of the current controller, phase c"},
    {SignalKind::kFloatInput, offsetof(ModCal, mod_a_neg), "mod_a_neg type=f", "pu", "negative-sequence modulation contribution of the current controller, phase a"},
    {SignalKind::kFloatInput, offsetof(ModCal, mod_b_neg), "mod_b_neg type=f", "pu", "negative-sequence modulation contribution of the current controller, phase b"},
    {SignalKind::kFloatInput, offsetof(ModCal, mod_c_neg), "mod_c_neg type=f", "pu", "negative-sequence modulation contribution of the current controller, phase c"},
    {SignalKind::kFloatInput, offsetof(ModCal, mod_a_zero), "mod_a_zero type=f", "pu", "zero-sequence and 100 Hz modulation contribution of the current controller, phase a"},
    {SignalKind::kFloatInput, offsetof(ModCal, mod_b_zero), "mod_b_zero type=f", "pu", "zero-sequence and 100 Hz modulation contribution of the current controller, phase b"},
    {SignalKind::kFloatInput, offsetof(ModCal, mod_c_zero), "mod_c_zero type=f", "pu", "zero-sequence and 100 Hz modulation contribution of the current controller, phase c"},
    {SignalKind::kFloatInput, offsetof(ModCal, mod_a_har), "mod_a_har type=f", "pu", "summed harmonic voltage of the harmonic current control, phase a"},
    {SignalKind::kFloatInput, offsetof(ModCal, mod_b_har), "mod_b_har type=f", "pu", "summed harmonic voltage of the harmonic current control, phase b"},
    {SignalKind::kFloatInput, offsetof(ModCal, mod_c_har), "mod_c_har type=f", "pu", "summed harmonic voltage of the harmonic current control, phase c"},
    {SignalKind::kFloatInput, offsetof(ModCal, threehar_a), "threehar_a type=f", "pu", "common-mode third-harmonic injection added to phase a"},
    {SignalKind::kFloatInput, offsetof(ModCal, threehar_b), "threehar_b type=f", "pu", "common-mode third-harmonic injection added to phase b"},
    {SignalKind::kFloatInput, offsetof(ModCal, threehar_c), "threehar_c type=f", "pu", "common-mode third-harmonic injection added to phase c"},
    {SignalKind::kFloatInput, offsetof(ModCal, Udc_mean), "Udc_mean type=f", "V", "mean cell DC voltage from the DC voltage control"},
    {SignalKind::kFloatInput, offsetof(ModCal, Uvalve_base), "Uvalve_base type=f", "V", "valve voltage base, peak phase"},
    {SignalKind::kFloatInput, offsetof(ModCal, submodule_pwdir), "submodule_pwdir type=f", "-", "cell power direction, +1 or -1"},
    {SignalKind::kFloatInput, offsetof(ModCal, Task1), "Task1 type=f", "s", "task 1 period (not read)"},
    {SignalKind::kFloatInput, offsetof(ModCal, Task2), "Task2 type=f", "s", "task 2 period (not read)"},
    {SignalKind::kFloatInput, offsetof(ModCal, Task3), "Task3 type=f", "s", "task 3 period (not read)"},
    {SignalKind::kWordInput, offsetof(ModCal, cellnum), "cellnum type=lu", "-", "number of cells per phase cluster"},
    {SignalKind::kSharedVariable, offsetof(ModCal, set_mod_a_sum), "set_mod_a_sum type=f level=1", "-", "phase a modulation index of the cascaded cells, limited to [-1, 1]"},
    {SignalKind::kSharedVariable, offsetof(ModCal, set_mod_b_sum), "set_mod_b_sum type=f level=1", "-", "phase b modulation index of the cascaded cells, limited to [-1, 1]"},
    {SignalKind::kSharedVariable, offsetof(ModCal, set_mod_c_sum), "set_mod_c_sum type=f level=1", "-", "phase c modulation index of the cascaded cells, limited to [-1, 1]"},
    {SignalKind::kVariable, offsetof(ModCal, test1), "test1 type=f", "-", "scale factor from per-unit voltage to modulation index (debug)"},
    {SignalKind::kVariable, offsetof(ModCal, test2), "test2 type=f", "-", "extra multiplier of the modulation scale factor, 1 by default"},
    {SignalKind::kVariable, offsetof(ModCal, test3), "test3 type=f", "-", "debug signal, not written (stays 0)"},
};
// clang-format on

constexpr float kFullModulation = 1.0f;
constexpr int kSlowList = 3;

// The 10 ms list keeps a routine of this module after the two of the measurement; nothing is
// computed there, the indices are formed at every task-1 step.
void ModCalSlowStep(ModuleHeader* /*module*/) noexcept {}

int RegisterModCalTasks(ModuleHeader* module, int list) {
    if (RegisterTask(list, &ModCalStep, module) != 0) {
        return 1;
    }
    return RegisterTask(kSlowList, &ModCalSlowStep, module) != 0 ? 1 : 0;
}

// The contributions in the grouping the sum is formed in: negative plus positive, then zero,
// harmonic and third harmonic.
float PhaseSum(float pos, float neg, float zero, float har, float threehar) {
    return neg + pos + zero + har + threehar;
}

}  // namespace

ModuleHeader* CreateModCal(Environment* env, ModuleHeader* module,
                           const char* instance_name) noexcept {
    InitHeader(module, env, "MODCAL", instance_name, &RegisterModCalTasks);
    RegisterSignals(module, kSignals);
    ModCal& m = *As<ModCal>(module);
    m.test2 = 1.0f;
    return module;
}

void ModCalStep(ModuleHeader* module) noexcept {
    ModCal& m = *As<ModCal>(module);
    m.sum_a = PhaseSum(*m.mod_a_pos, *m.mod_a_neg, *m.mod_a_zero, *m.mod_a_har, *m.threehar_a);
    m.sum_b = PhaseSum(*m.mod_b_pos, *m.mod_b_neg, *m.mod_b_zero, *m.mod_b_har, *m.threehar_b);
    m.sum_c = PhaseSum(*m.mod_c_pos, *m.mod_c_neg, *m.mod_c_zero, *m.mod_c_har, *m.threehar_c);

    // A zero cell count or DC voltage gives the factor kRcpOfZero (whatever the numerator),
    // so the indices saturate instead of faulting.
    const std::uint32_t cells = *m.cellnum;
    const float k1 = cells == 0 ? kRcpOfZero : *m.Uvalve_base / static_cast<float>(cells);
    const float udc = *m.Udc_mean;
    const float k2 = udc == 0.0f ? kRcpOfZero : *m.submodule_pwdir / udc;
    m.gain = k2 * k1 * m.test2;
    m.test1 = m.gain;

    m.m_a = m.gain * m.sum_a;
    m.m_b = m.gain * m.sum_b;
    m.m_c = m.gain * m.sum_c;
    // A NaN index (a NaN contribution or DC voltage) commands no voltage rather than the full
    // negative one.
    m.set_mod_a_sum = LimitCommand(m.m_a, kFullModulation);
    m.set_mod_b_sum = LimitCommand(m.m_b, kFullModulation);
    m.set_mod_c_sum = LimitCommand(m.m_c, kFullModulation);
}

}  // namespace svg
