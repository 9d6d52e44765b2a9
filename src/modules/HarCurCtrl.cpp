#include "modules/HarCurCtrl.h"

#include <cmath>
#include <cstddef>

#include "blocks/build.h"
#include "blocks/comparators.h"
#include "blocks/numeric.h"

namespace svg {
namespace {

// One signal of a loop, registered once per loop. '#' in the name stands for the loop number;
// parameters carry one default per loop, as laid out in the settings table.
struct LoopRow {
    SignalKind kind;
    std::size_t offset;  // within the loop's block
    const char* name;
    const char* type;
    const char* unit;
    const char* meaning;  // '#' stands for the loop number, as in the name
    const char* defaults[kHarLoops];
    // The reduced controller's defaults where they differ; none means the same.
    const char* reduced_defaults[kHarLoops] = {};
};

// Rows registered loop by loop: loop k's block starts at base + k * stride in the record.
struct LoopGroup {
    std::size_t base;
    std::size_t stride;
    const LoopRow* rows;
    std::size_t count;
};

template <std::size_t N>
constexpr LoopGroup Group(std::size_t base, std::size_t stride, const LoopRow (&rows)[N]) {
    return {base, stride, rows, N};
}

// Offset of one axis of a loop's four-axis array.
constexpr std::size_t Axis(std::size_t array, HarAxis axis) {
    return array + static_cast<std::size_t>(axis) * sizeof(float);
}

// clang-format off
constexpr SignalRow kHeadInputs[] = {
    {SignalKind::kByteInput, offsetof(HarCurCtrl, flg_seq_running), "flg_seq_running type=cu", "-", "running command from the sequence (host input)"},
    {SignalKind::kByteInput, offsetof(HarCurCtrl, trans_type), "trans_type type=cu", "-", "coupling arrangement code 0 to 6; above 6 freezes the point-of-connection angle"},
    {SignalKind::kFloatInput, offsetof(HarCurCtrl, grid_theta), "grid_theta type=f", "turns", "grid angle from the phase-locked loop"},
    {SignalKind::kFloatInput, offsetof(HarCurCtrl, rcp_Ivalve_base), "rcp_Ivalve_base type=f", "1/A", "reciprocal of the valve (Hall-sensor) current base"},
    {SignalKind::kFloatInput, offsetof(HarCurCtrl, rcp_Ipoc_base), "rcp_Ipoc_base type=f", "1/A", "reciprocal of the point-of-connection current base (not read)"},
    {SignalKind::kFloatInput, offsetof(HarCurCtrl, rcp_Upoc_base), "rcp_Upoc_base type=f", "1/V", "reciprocal of the point-of-connection voltage base (not read)"},
};
// clang-format on

constexpr SignalKind kIn = SignalKind::kFloatInput;
// clang-format off
constexpr LoopRow kLoopInputs[] = {
    {kIn, offsetof(HarLoopInputs, hall_idpos), "loop#_hall_idpos", "f", "A", "valve current positive-sequence d component at the harmonic of loop #", {}},
    {kIn, offsetof(HarLoopInputs, hall_iqpos), "loop#_hall_iqpos", "f", "A", "valve current positive-sequence q component at the harmonic of loop #", {}},
    {kIn, offsetof(HarLoopInputs, hall_idneg), "loop#_hall_idneg", "f", "A", "valve current negative-sequence d component at the harmonic of loop #", {}},
    {kIn, offsetof(HarLoopInputs, hall_iqneg), "loop#_hall_iqneg", "f", "A", "valve current negative-sequence q component at the harmonic of loop #", {}},
    {kIn, offsetof(HarLoopInputs, sys_idpos), "loop#_sys_idpos", "f", "A", "system current positive-sequence d component at the harmonic of loop #", {}},
    {kIn, offsetof(HarLoopInputs, sys_iqpos), "loop#_sys_iqpos", "f", "A", "system current positive-sequence q component at the harmonic of loop #", {}},
    {kIn, offsetof(HarLoopInputs, sys_idneg), "loop#_sys_idneg", "f", "A", "system current negative-sequence d component at the harmonic of loop #", {}},
    {kIn, offsetof(HarLoopInputs, sys_iqneg), "loop#_sys_iqneg", "f", "A", "system current negative-sequence q component at the harmonic of loop #", {}},
    {kIn, offsetof(HarLoopInputs, sys_udpos), "loop#_sys_udpos", "f", "V", "system voltage positive-sequence d component at the harmonic of loop #", {}},
    {kIn, offsetof(HarLoopInputs, sys_uqpos), "loop#_sys_uqpos", "f", "V", "system voltage positive-sequence q component at the harmonic of loop #", {}},
    {kIn, offsetof(HarLoopInputs, sys_udneg), "loop#_sys_udneg", "f", "V", "system voltage negative-sequence d component at the harmonic of loop #", {}},
    {kIn, offsetof(HarLoopInputs, sys_uqneg), "loop#_sys_uqneg", "f", "V", "system voltage negative-sequence q component at the harmonic of loop #", {}},
};
// clang-format on

// clang-format off
constexpr SignalRow kTailInputs[] = {
    {kIn, offsetof(HarCurCtrl, Urms_PT4_ab_fund), "Urms_PT4_ab_fund type=f", "V", "fundamental RMS line voltage ab of voltage transformer PT4 (host input)"},
    {kIn, offsetof(HarCurCtrl, Urms_PT4_bc_fund), "Urms_PT4_bc_fund type=f", "V", "fundamental RMS line voltage bc of voltage transformer PT4 (host input)"},
    {kIn, offsetof(HarCurCtrl, Urms_PT4_ca_fund), "Urms_PT4_ca_fund type=f", "V", "fundamental RMS line voltage ca of voltage transformer PT4 (host input)"},
    {kIn, offsetof(HarCurCtrl, Task1), "Task1 type=f", "s", "task-1 period (Ts of the regulators and the running delay)"},
    {kIn, offsetof(HarCurCtrl, Task2), "Task2 type=f", "s", "task-2 period (not read)"},
    {kIn, offsetof(HarCurCtrl, Task3), "Task3 type=f", "s", "task-3 period (not read)"},
};
// clang-format on

constexpr SignalKind kVar = SignalKind::kVariable;
// clang-format off
constexpr SignalRow kHeadVariables[] = {
    {kVar, offsetof(HarCurCtrl, set_poc_theta), "set_poc_theta type=f", "turns", "grid angle for the point of connection"},
    {kVar, offsetof(HarCurCtrl, set_mod_a_har), "set_mod_a_har type=f", "pu", "summed harmonic phase a voltage of the four loops (modulation contribution)"},
    {kVar, offsetof(HarCurCtrl, set_mod_b_har), "set_mod_b_har type=f", "pu", "summed harmonic phase b voltage of the four loops (modulation contribution)"},
    {kVar, offsetof(HarCurCtrl, set_mod_c_har), "set_mod_c_har type=f", "pu", "summed harmonic phase c voltage of the four loops (modulation contribution)"},
};
constexpr LoopRow kLoopRms[] = {
    {kVar, offsetof(HarLoopRms, hall_rms), "set_loop#_hall_rms", "f", "A", "r.m.s. value of the valve current at the harmonic of loop #", {}},
    {kVar, offsetof(HarLoopRms, Isys_rms), "set_loop#_Isys_rms", "f", "A", "r.m.s. value of the system current at the harmonic of loop #", {}},
    {kVar, offsetof(HarLoopRms, Usys_per), "set_loop#_Usys_per", "f", "%", "system voltage at the harmonic of loop # in percent of the fundamental phase voltage", {}},
};
constexpr LoopRow kLoopHarnum[] = {
    {kVar, 0, "set_harloop#_harnum", "lu", "-", "copy of the harmonic order of loop #", {}},
};
constexpr SignalRow kRunningDelay[] = {
    {kVar, offsetof(HarCurCtrl, running_delay), "running_delay type=cu", "-", "converter running for at least 0.5 s"},
};
constexpr LoopRow kLoopEnables[] = {
    {kVar, offsetof(HarLoop, posctrl_ena), "loop#_posctrl_ena", "cu", "-", "loop # regulates the positive-sequence harmonic", {}},
    {kVar, offsetof(HarLoop, negctrl_ena), "loop#_negctrl_ena", "cu", "-", "loop # regulates the negative-sequence harmonic", {}},
};
constexpr LoopRow kLoopReferences[] = {
    {kVar, Axis(offsetof(HarLoop, ref), kHarPosD), "loop#_idpos_ref", "f", "pu", "positive-sequence d-axis harmonic current reference of loop #", {}},
    {kVar, Axis(offsetof(HarLoop, ref), kHarPosQ), "loop#_iqpos_ref", "f", "pu", "positive-sequence q-axis harmonic current reference of loop #", {}},
    {kVar, Axis(offsetof(HarLoop, ref), kHarNegD), "loop#_idneg_ref", "f", "pu", "negative-sequence d-axis harmonic current reference of loop #", {}},
    {kVar, Axis(offsetof(HarLoop, ref), kHarNegQ), "loop#_iqneg_ref", "f", "pu", "negative-sequence q-axis harmonic current reference of loop #", {}},
};
constexpr LoopRow kLoopFeedbacks[] = {
    {kVar, Axis(offsetof(HarLoop, fbk_pu), kHarPosD), "loop#_hall_idpos_pu", "f", "pu", "positive-sequence d-axis valve current feedback of loop #, sign inverted", {}},
    {kVar, Axis(offsetof(HarLoop, fbk_pu), kHarPosQ), "loop#_hall_iqpos_pu", "f", "pu", "positive-sequence q-axis valve current feedback of loop #, sign inverted", {}},
    {kVar, Axis(offsetof(HarLoop, fbk_pu), kHarNegD), "loop#_hall_idneg_pu", "f", "pu", "negative-sequence d-axis valve current feedback of loop #, sign inverted", {}},
    {kVar, Axis(offsetof(HarLoop, fbk_pu), kHarNegQ), "loop#_hall_iqneg_pu", "f", "pu", "negative-sequence q-axis valve current feedback of loop #, sign inverted", {}},
};
// clang-format on

// Settings: field, name, type, then the defaults of loops 1, 2, 3, 4.
constexpr SignalKind kPar = SignalKind::kParameter;
using P = HarLoopParams;
// clang-format off
constexpr LoopRow kLoopParams[] = {
    {kPar, offsetof(P, ena), "ena_harloop#", "cu", "-", "enable of harmonic loop #", {"1", "1", "1", "1"}, {"1", "1", "0", "0"}},
    {kPar, offsetof(P, mode), "parm_harloop#_mode", "cu", "-", "loop # references: 0 d reference = ioutlim, 1 to 4 zero, above 4 held", {"1", "1", "1", "1"}},
    {kPar, offsetof(P, harnum), "parm_harloop#_harnum", "cu", "-", "harmonic order of loop #", {"5", "7", "11", "13"}},
    {kPar, offsetof(P, phaseq), "parm_harloop#_phaseq", "cu", "-", "loop # sequence: 0 positive-sequence harmonic, non-zero negative-sequence harmonic", {"1", "0", "1", "0"}},
    {kPar, offsetof(P, ikp), "parm_harloop#_ikp", "f", "-", "proportional gain of the current regulators of loop #", {"0.1", "0.1", "0.1", "0.1"}},
    {kPar, offsetof(P, iki), "parm_harloop#_iki", "f", "1/s", "integral gain of the current regulators of loop #", {"5.0", "5.0", "5.0", "5.0"}},
    {kPar, offsetof(P, phashift), "parm_harloop#_phashift", "f", "turns", "angle offset of the harmonic frame of loop #", {"-0.2", "-0.2", "-0.2", "-0.2"}, {"-0.24", "0.24", "-0.24", "0.24"}},
    {kPar, offsetof(P, uharref), "parm_harloop#_uharref", "f", "-", "harmonic voltage reference of loop # (not read by any routine)", {"1.6", "1.6", "1.6", "1.6"}},
    {kPar, offsetof(P, ukp), "parm_harloop#_ukp", "f", "-", "voltage regulator proportional gain of loop # (not read by any routine)", {"0.1", "0.1", "0.1", "0.1"}},
    {kPar, offsetof(P, uki), "parm_harloop#_uki", "f", "-", "voltage regulator integral gain of loop # (not read by any routine)", {"1", "1", "1", "1"}},
    {kPar, offsetof(P, umodelim), "parm_harloop#_umodelim", "f", "pu", "output limit (plus and minus) of the current regulators of loop #", {"0.7", "0.7", "0.7", "0.7"}},
    {kPar, offsetof(P, ioutlim), "parm_harloop#_ioutlim", "f", "pu", "d-axis harmonic current reference of loop # in mode 0", {"1.0", "1.0", "1.0", "1.0"}},
    {kPar, offsetof(P, isyslim), "parm_harloop#_isyslim", "f", "-", "system current limit of loop # (not read by any routine)", {"0", "0", "0", "0"}},
    {kPar, offsetof(P, autoY), "parm_harloop#_autoY", "cu", "-", "automatic Y setting of loop # (not read by any routine)", {"1", "1", "1", "1"}},
    {kPar, offsetof(P, Yminlim), "parm_harloop#_Yminlim", "f", "-", "lower limit of Y of loop # (not read by any routine)", {"2.0", "2.0", "2.0", "2.0"}},
};
// clang-format on

// Each group registers loop 1's rows, then loop 2's, and so on; the groups follow each other
// in registration order.
constexpr LoopGroup kInputGroup =
    Group(offsetof(HarCurCtrl, loop_in), sizeof(HarLoopInputs), kLoopInputs);
constexpr LoopGroup kRmsGroup = Group(offsetof(HarCurCtrl, rms), sizeof(HarLoopRms), kLoopRms);
constexpr LoopGroup kHarnumGroup =
    Group(offsetof(HarCurCtrl, set_harnum), sizeof(std::uint32_t), kLoopHarnum);
constexpr LoopGroup kEnableGroup = Group(offsetof(HarCurCtrl, loop), sizeof(HarLoop), kLoopEnables);
constexpr LoopGroup kReferenceGroup =
    Group(offsetof(HarCurCtrl, loop), sizeof(HarLoop), kLoopReferences);
constexpr LoopGroup kFeedbackGroup =
    Group(offsetof(HarCurCtrl, loop), sizeof(HarLoop), kLoopFeedbacks);
constexpr LoopGroup kParamGroup =
    Group(offsetof(HarCurCtrl, parm), sizeof(HarLoopParams), kLoopParams);

constexpr std::size_t kDescriptorLen = 96;  // the longest composed descriptor: 51 characters
constexpr std::size_t kMeaningLen = 160;

// Appends `text` with '#' replaced by the loop digit; stops one short of the buffer's end.
template <std::size_t N>
void Append(char (&out)[N], std::size_t& n, const char* text, char digit) {
    for (; *text != '\0' && n + 1 < N; ++text) {
        out[n++] = *text == '#' ? digit : *text;
    }
    out[n] = '\0';
}

void RegisterLoopGroup(ModuleHeader* module, const LoopGroup& g) {
    for (int k = 0; k < kHarLoops; ++k) {
        const char digit = static_cast<char>('1' + k);
        for (std::size_t i = 0; i < g.count; ++i) {
            const LoopRow& r = g.rows[i];
            char text[kDescriptorLen];
            std::size_t n = 0;
            Append(text, n, r.name, digit);
            Append(text, n, " type=", digit);
            Append(text, n, r.type, digit);
            const char* value = kReducedBuild && r.reduced_defaults[k] != nullptr
                                    ? r.reduced_defaults[k]
                                    : r.defaults[k];
            if (value != nullptr) {
                Append(text, n, " default=", digit);
                Append(text, n, value, digit);
                Append(text, n, " option=1", digit);
            }
            char meaning[kMeaningLen];
            std::size_t m = 0;
            Append(meaning, m, r.meaning, digit);
            const SignalRow row{r.kind, g.base + static_cast<std::size_t>(k) * g.stride + r.offset,
                                text, r.unit, meaning};
            RegisterSignals(module, &row, 1);
        }
    }
}

constexpr float kRunningDelayS = 0.5f;              // running command on-delay
constexpr std::uint8_t kTransTypeGridAngle = 6;     // up to this type the grid angle is used
constexpr std::uint8_t kModeDReference = 0;         // d reference = ioutlim
constexpr std::uint8_t kModeZeroReferenceLast = 4;  // modes 1..4: references 0; above: held
constexpr float kAntiWindup = 1.0f;
constexpr float kIntegratorLimit = 10.0f;
// Mean of the three line voltages and line to phase: 1/3 and 1/sqrt(3) in single precision.
constexpr float kOneThird = 0.33333334f;
constexpr float kPercent = 100.0f;

// A gain or limit that is not a finite number counts as 0: the regulator then adds nothing
// through that term instead of slamming its integrator to a limit at every step.
float FiniteOr0(float x) { return std::isfinite(x) ? x : 0.0f; }

// An angle in turns brought into one turn. x - floor(x) is exact in single precision, so a
// finite angle keeps its value modulo one turn; a non-finite one (from a NaN or infinite
// grid angle or phase shift) gives 0.
float WrapTurn(float x) { return std::isfinite(x) ? x - std::floor(x) : 0.0f; }

// A regulator step whose error or state is not finite (a NaN or overflowing measurement) is
// undone as a disabled step: output, integrator and anti-windup cleared, 0 returned. A bad
// measurement so commands nothing, and the loop starts again from an empty integrator once
// its inputs are sane, instead of driving the integrator to its lower limit and the output
// to its negative limit on the way.
float StepFinite(PiReg& r, float e, std::int32_t enable) {
    const float out = PiRegStep(r, e, enable);
    if (std::isfinite(out) && std::isfinite(r.I) && std::isfinite(r.U) && std::isfinite(r.Aw)) {
        return out;
    }
    return PiRegStep(r, 0.0f, 0);
}

// Kp, Ki and the output limit from the loop's settings; the other settings stay as they are.
void RefreshGains(PiReg& r, const HarLoopParams& p) {
    PiRegDesign(r, r.Ts, FiniteOr0(p.ikp), FiniteOr0(p.iki), r.Kaw, FiniteOr0(p.umodelim), r.IntMin,
                r.IntMax);
}

int RegisterHarCurCtrlTasks(ModuleHeader* module, int list) {
    HarCurCtrl& m = *As<HarCurCtrl>(module);
    // A task period that is not a positive finite number counts as 0, which holds the
    // integrators instead of filling them with NaN for the whole run.
    const float task1 = *m.Task1;
    const float ts = std::isfinite(task1) && task1 > 0.0f ? task1 : 0.0f;
    for (int k = 0; k < kHarLoops; ++k) {
        for (PiReg& r : m.loop[k].pi) {
            const HarLoopParams& p = m.parm[k];
            PiRegDesign(r, ts, FiniteOr0(p.ikp), FiniteOr0(p.iki), kAntiWindup,
                        FiniteOr0(p.umodelim), -kIntegratorLimit, kIntegratorLimit);
        }
    }
    const int rms = RegisterTask(2, &HarCurCtrlRmsStep, module);
    const int main = RegisterTask(list, &HarCurCtrlStep, module);
    return rms != 0 || main != 0 ? 1 : 0;
}

// One sequence of a loop on axes d and d + 1, in the frame at `theta` (turns). Only the d
// regulator follows the gain settings at run time; the q regulator keeps those of the task
// registration.
Abc RunSequence(HarCurCtrl& m, HarLoop& l, const HarLoopParams& p, HarAxis d, const float* hall_d,
                const float* hall_q, float theta) {
    const int q = d + 1;
    if (p.mode == kModeDReference) {
        l.ref[d] = p.ioutlim;
        l.ref[q] = 0.0f;
    } else if (p.mode <= kModeZeroReferenceLast) {
        l.ref[d] = 0.0f;
        l.ref[q] = 0.0f;
    }  // higher modes hold the references
    // Feedback: the negated valve current, per unit.
    const float rcp = *m.rcp_Ivalve_base;
    l.fbk_pu[d] = -(*hall_d * rcp);
    l.fbk_pu[q] = -(*hall_q * rcp);
    RefreshGains(l.pi[d], p);
    l.err[d] = l.ref[d] - l.fbk_pu[d];
    l.err[q] = l.ref[q] - l.fbk_pu[q];
    l.out[d] = StepFinite(l.pi[d], l.err[d], m.running_delay);
    l.out[q] = StepFinite(l.pi[q], l.err[q], m.running_delay);
    return InvParkAbc({l.out[d], l.out[q]}, theta);
}

void RunLoop(HarCurCtrl& m, int k) {
    HarLoop& l = m.loop[k];
    const HarLoopParams& p = m.parm[k];
    const HarLoopInputs& in = m.loop_in[k];
    l.theta_h = WrapTurn(static_cast<float>(p.harnum) * *m.grid_theta + p.phashift);
    l.posctrl_ena = p.phaseq == 0 ? 1 : 0;
    if (l.posctrl_ena != 0) {
        l.v_pos = RunSequence(m, l, p, kHarPosD, in.hall_idpos, in.hall_iqpos, l.theta_h);
    } else {
        l.v_pos = {};
    }
    l.negctrl_ena = p.phaseq;
    if (l.negctrl_ena != 0) {
        l.v_neg = RunSequence(m, l, p, kHarNegD, in.hall_idneg, in.hall_iqneg, -l.theta_h);
    } else {
        l.v_neg = {};
    }
    l.v_sum = {l.v_neg.a + l.v_pos.a, l.v_neg.b + l.v_pos.b, l.v_neg.c + l.v_pos.c};
}

// A loop that is off, or every loop while not running: no voltage, regulators cleared.
void ClearLoop(HarLoop& l) {
    l.v_sum = {};
    for (int i = 0; i < kHarAxes; ++i) {
        l.out[i] = PiRegStep(l.pi[i], 0.0f, 0);
    }
}

// sqrt(0.5 (a^2 + b^2 + c^2 + d^2)): the RMS value of a harmonic whose two sequence vectors
// have the peak components a, b and c, d. Squares summed in single precision, halved in
// double precision and rounded back, the root in double precision.
float HarmonicRms(float a, float b, float c, float d) {
    const float sum = a * a + b * b + c * c + d * d;
    const float half = static_cast<float>(0.5 * static_cast<double>(sum));
    return static_cast<float>(std::sqrt(static_cast<double>(half)));
}

}  // namespace

ModuleHeader* CreateHarCurCtrl(Environment* env, ModuleHeader* module,
                               const char* instance_name) noexcept {
    InitHeader(module, env, "HARCURCTRL", instance_name, &RegisterHarCurCtrlTasks);
    RegisterSignals(module, kHeadInputs);
    RegisterLoopGroup(module, kInputGroup);
    RegisterSignals(module, kTailInputs);
    RegisterSignals(module, kHeadVariables);
    RegisterLoopGroup(module, kRmsGroup);
    RegisterLoopGroup(module, kHarnumGroup);
    RegisterSignals(module, kRunningDelay);
    RegisterLoopGroup(module, kEnableGroup);
    RegisterLoopGroup(module, kReferenceGroup);
    RegisterLoopGroup(module, kFeedbackGroup);
    RegisterLoopGroup(module, kParamGroup);
    // Outputs, timer, angles and regulators start at 0 with the zero-filled record.
    return module;
}

void HarCurCtrlStep(ModuleHeader* module) noexcept {
    HarCurCtrl& m = *As<HarCurCtrl>(module);
    if (*m.trans_type <= kTransTypeGridAngle) {
        m.poc_theta = *m.grid_theta;
    }
    m.running_delay = static_cast<std::uint8_t>(TonTimer(
        *m.flg_seq_running, m.running_prev, kRunningDelayS, m.running_remaining, *m.Task1));
    for (int k = 0; k < kHarLoops; ++k) {
        if (m.parm[k].ena == 1 && m.running_delay != 0) {
            RunLoop(m, k);
        } else {
            ClearLoop(m.loop[k]);
        }
    }
    m.set_poc_theta = m.poc_theta;
    const Abc& l1 = m.loop[0].v_sum;
    const Abc& l2 = m.loop[1].v_sum;
    const Abc& l3 = m.loop[2].v_sum;
    const Abc& l4 = m.loop[3].v_sum;
    m.set_mod_a_har = l2.a + l1.a + l3.a + l4.a;
    m.set_mod_b_har = l2.b + l1.b + l3.b + l4.b;
    m.set_mod_c_har = l2.c + l1.c + l3.c + l4.c;
}

void HarCurCtrlRmsStep(ModuleHeader* module) noexcept {
    HarCurCtrl& m = *As<HarCurCtrl>(module);
    // Fundamental phase voltage: the mean line voltage over sqrt(3).
    const float uf =
        (*m.Urms_PT4_ab_fund + *m.Urms_PT4_bc_fund + *m.Urms_PT4_ca_fund) * kOneThird * kRcpSqrt3;
    const float r = SafeRcp(uf);
    for (int k = 0; k < kHarLoops; ++k) {
        const HarLoopInputs& in = m.loop_in[k];
        HarLoopRms& out = m.rms[k];
        out.hall_rms = HarmonicRms(*in.hall_idpos, *in.hall_iqpos, *in.hall_idneg, *in.hall_iqneg);
        out.Isys_rms = HarmonicRms(*in.sys_idpos, *in.sys_iqpos, *in.sys_idneg, *in.sys_iqneg);
        const float u = HarmonicRms(*in.sys_udpos, *in.sys_uqpos, *in.sys_udneg, *in.sys_uqneg);
        // A NaN figure reads 0 (the lower limit).
        out.Usys_per = Limit(u * r * kPercent, 0.0f, kPercent);
        m.set_harnum[k] = m.parm[k].harnum;
    }
}

}  // namespace svg
