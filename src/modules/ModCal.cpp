#include "modules/ModCal.h"

#include <cstddef>

#include "blocks/numeric.h"

namespace svg {
namespace {

// clang-format off
constexpr SignalRow kSignals[] = {
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
