#include "modules/AppModeCtrl.h"

#include <cmath>
#include <cstddef>

#include "blocks/guarded.h"
#include "blocks/numeric.h"
#include "blocks/transforms.h"

namespace svg {
namespace {

// clang-format off
constexpr SignalRow kSignals[] = {
    {SignalKind::kVariable, offsetof(AppModeCtrl, set_Upod_cmd), "set_Upod_cmd\t\ttype=f", "pu", "power oscillation damping voltage modulation, added to the voltage error of mode control"},
    {SignalKind::kFloatInput, offsetof(AppModeCtrl, Ppcc), "Ppcc\t\ttype=f", "MW", "active power at the PCC"},
    {SignalKind::kFloatInput, offsetof(AppModeCtrl, Qn_Mvar), "Qn_Mvar\t\ttype=f", "Mvar", "rated reactive power of the converter"},
    {SignalKind::kFloatInput, offsetof(AppModeCtrl, Task1), "Task1\t\ttype=f", "s", "task-1 period, used to design the filters"},
    {SignalKind::kFloatInput, offsetof(AppModeCtrl, Task2), "Task2\t\ttype=f", "s", "task-2 period, step of the lead-lag stages and the test signal"},
    {SignalKind::kFloatInput, offsetof(AppModeCtrl, Task3), "Task3\t\ttype=f", "s", "task-3 period, not read"},
    {SignalKind::kVariable, offsetof(AppModeCtrl, test1), "test1\t\ttype=cu", "-", "low-pass selector: 1 second-order low-pass with damping 0.707, 0 Butterworth"},
    {SignalKind::kVariable, offsetof(AppModeCtrl, test2), "test2\t\ttype=f", "-", "debug signal, always 0"},
    {SignalKind::kVariable, offsetof(AppModeCtrl, test3), "test3\t\ttype=f", "-", "debug signal, always 0"},
    {SignalKind::kVariable, offsetof(AppModeCtrl, HPF_out), "HPF_out\t\ttype=f", "pu", "washout (high-pass) filter output of the per-unit PCC active power"},
    {SignalKind::kVariable, offsetof(AppModeCtrl, PODcor1_out), "PODcor1_out\t\ttype=f", "pu", "output of lead-lag stage 1"},
    {SignalKind::kVariable, offsetof(AppModeCtrl, PODcor1_in_k), "PODcor1_in_k\t\ttype=f", "pu", "previous input of lead-lag stage 1"},
    {SignalKind::kVariable, offsetof(AppModeCtrl, PODcor2_out), "PODcor2_out\t\ttype=f", "pu", "output of lead-lag stage 2"},
    {SignalKind::kVariable, offsetof(AppModeCtrl, PODcor2_in_k), "PODcor2_in_k\t\ttype=f", "pu", "previous input of lead-lag stage 2"},
    {SignalKind::kVariable, offsetof(AppModeCtrl, LPF2out), "LPF2out\t\ttype=f", "pu", "second-order low-pass filter output, before the damping gain"},
    {SignalKind::kVariable, offsetof(AppModeCtrl, Point), "Point\t\ttype=f", "-", "test-signal period in task-2 steps"},
    {SignalKind::kVariable, offsetof(AppModeCtrl, PointCnt), "PointCnt\t\ttype=f", "-", "test-signal step counter"},
    {SignalKind::kParameter, offsetof(AppModeCtrl, parm_PODHPF_Tw), "parm_PODHPF_Tw type=f default=3 option=1", "rad/s", "washout filter corner, applied with the task-1 period"},
    {SignalKind::kParameter, offsetof(AppModeCtrl, parm_PODcor1_T1), "parm_PODcor1_T1 type=f default=0.546 option=1", "s", "lead time constant of lead-lag stage 1"},
    {SignalKind::kParameter, offsetof(AppModeCtrl, parm_PODcor1_T2), "parm_PODcor1_T2 type=f default=0.182 option=1", "s", "lag time constant of lead-lag stage 1"},
    {SignalKind::kParameter, offsetof(AppModeCtrl, parm_PODcor2_T3), "parm_PODcor2_T3 type=f default=1.0 option=1", "s", "lead time constant of lead-lag stage 2"},
    {SignalKind::kParameter, offsetof(AppModeCtrl, parm_PODcor2_T4), "parm_PODcor2_T4 type=f default=1.0 option=1", "s", "lag time constant of lead-lag stage 2"},
    {SignalKind::kParameter, offsetof(AppModeCtrl, parm_POD2LPF_Wc), "parm_POD2LPF_Wc type=f default=2.5 option=1", "rad/s", "low-pass filter corner, applied with the task-1 period"},
    {SignalKind::kParameter, offsetof(AppModeCtrl, parm_POD_k), "parm_POD_k type=f default=0.1 option=1", "-", "power oscillation damping gain"},
    {SignalKind::kParameter, offsetof(AppModeCtrl, parm_PODtest_freq), "parm_PODtest_freq type=f default=1.7 option=1", "Hz", "test-signal frequency"},
    {SignalKind::kParameter, offsetof(AppModeCtrl, parm_PODtest_mag), "parm_PODtest_mag type=f default=1.0 option=1", "pu", "test-signal amplitude"},
    {SignalKind::kParameter, offsetof(AppModeCtrl, parm_PODtest_phase), "parm_PODtest_phase type=f default=0.0 option=1", "rad", "test-signal phase"},
    {SignalKind::kParameter, offsetof(AppModeCtrl, ena_POD), "ena_POD type=cu default=0 option=1", "-", "enable of the damping output: 1 enables it"},
    {SignalKind::kParameter, offsetof(AppModeCtrl, ena_PODtest), "ena_PODtest type=cu default=0 option=1", "-", "test selector: 1 replaces the damping chain by the test sine"},
};
// clang-format on

constexpr float kLowPassDamping = 0.707f;

// The filters are designed with the task-1 period although the step runs once per task-2
// period: measured in real time their corners lie at Task1/Task2 times the given values.
void DesignFilters(AppModeCtrl& m) {
    const float ts = *m.Task1;
    StdFilterDesign(m.POD_hpf, ts, m.parm_PODHPF_Tw, 0.0f);
    ButterLpfDesign(m.POD_lpf_butter, ts, m.parm_POD2LPF_Wc);
    StdFilterDesign(m.POD_lpf2, ts, m.parm_POD2LPF_Wc, kLowPassDamping);
}

int RegisterAppModeCtrlTasks(ModuleHeader* module, int list) {
    AppModeCtrl& m = *As<AppModeCtrl>(module);
    DesignFilters(m);
    return RegisterTask(list, &AppModeCtrlStep, module) != 0 ? 1 : 0;
}

// Lead-lag (1 + s t_lead)/(1 + s t_lag) in backward-Euler form at step ts:
//   y = ((t_lead + ts) x + t_lag y_prev - t_lead x_prev) / (t_lag + ts)
// with the safe reciprocal of a zero denominator. A result that is not finite restarts the
// stage from rest (output 0), so one bad sample does not stay in its state.
float LeadLagStep(float x, float& y, float& x_prev, float t_lead, float t_lag, float ts) {
    const float num = (t_lead + ts) * x + y * t_lag - x_prev * t_lead;
    y = SafeDiv(num, t_lag + ts);
    x_prev = x;
    if (!std::isfinite(y)) {
        y = 0.0f;
        x_prev = 0.0f;
    }
    return y;
}

void DampingChain(AppModeCtrl& m, float ts) {
    const float p = SafeDiv(*m.Ppcc, *m.Qn_Mvar);
    m.HPF_out = IirStepFinite(m.POD_hpf, p);
    LeadLagStep(m.HPF_out, m.PODcor1_out, m.PODcor1_in_k, m.parm_PODcor1_T1, m.parm_PODcor1_T2, ts);
    LeadLagStep(m.PODcor1_out, m.PODcor2_out, m.PODcor2_in_k, m.parm_PODcor2_T3, m.parm_PODcor2_T4,
                ts);
    m.LPF2out = IirStepFinite(m.test1 != 0 ? m.POD_lpf2 : m.POD_lpf_butter, m.PODcor2_out);
    m.set_Upod_cmd = m.parm_POD_k * m.LPF2out;
}

// Test sine: one period spans Point + 1 task-2 steps. Point is 1/(f Task2) truncated to an
// unsigned count: a zero product gives the quotient 1e10 and so the largest count, a negative,
// NaN or sub-one quotient gives 0 (the counter then stays at 0); the counter is a float and
// indexes nothing.
void TestSignal(AppModeCtrl& m, float ts) {
    const float f = m.parm_PODtest_freq;
    m.Point = static_cast<float>(TruncToUint32(SafeRcp(f * ts)));
    m.set_Upod_cmd = Sin(m.PointCnt * kTwoPi * f * ts + m.parm_PODtest_phase) * m.parm_PODtest_mag;
    m.PointCnt += 1.0f;
    if (m.Point < m.PointCnt) {
        m.PointCnt = 0.0f;
    }
}

}  // namespace

ModuleHeader* CreateAppModeCtrl(Environment* env, ModuleHeader* module,
                                const char* instance_name) noexcept {
    InitHeader(module, env, "APPMODECTRL", instance_name, &RegisterAppModeCtrlTasks);
    AppModeCtrl& m = *As<AppModeCtrl>(module);
    RegisterSignals(module, kSignals);
    // Variables start at 0 with the zero-filled record, except the low-pass selector.
    m.test1 = 1;
    IirFilterCreateKind(m.POD_hpf, kHighPass1);
    if (!IirFilterCreate(m.POD_lpf_butter, 2)) {
        return nullptr;
    }
    IirFilterCreateKind(m.POD_lpf2, kLowPass2);
    return module;
}

void AppModeCtrlStep(ModuleHeader* module) noexcept {
    AppModeCtrl& m = *As<AppModeCtrl>(module);
    DesignFilters(m);
    // Only 1 enables the output and only 1 selects the test signal.
    if (m.ena_POD != 1) {
        m.set_Upod_cmd = 0.0f;
        return;
    }
    const float ts = *m.Task2;
    if (m.ena_PODtest != 1) {
        DampingChain(m, ts);
    } else {
        TestSignal(m, ts);
    }
    if (!std::isfinite(m.set_Upod_cmd)) {
        m.set_Upod_cmd = 0.0f;  // a gain or test setting that is not a number
    }
}

}  // namespace svg
