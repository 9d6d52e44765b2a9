#include "modules/UFedCtrl.h"

#include <cmath>
#include <cstddef>

#include "blocks/comparators.h"
#include "blocks/guarded.h"
#include "blocks/numeric.h"

namespace svg {
namespace {

// clang-format off
constexpr SignalRow kSignals[] = {
    {SignalKind::kSharedVariable, offsetof(UFedCtrl, flg_ffsw), "flg_ffsw type=cu", "-", "feed-forward switch flag: fast feed-forward filters selected (grid fault transient)"},
    {SignalKind::kVariable, offsetof(UFedCtrl, set_Ud_ff), "set_Ud_ff type=f", "pu", "filtered d-axis grid-voltage feed-forward"},
    {SignalKind::kVariable, offsetof(UFedCtrl, set_Uq_ff), "set_Uq_ff type=f", "pu", "filtered q-axis grid-voltage feed-forward"},
    {SignalKind::kVariable, offsetof(UFedCtrl, set_Ua_ff), "set_Ua_ff type=f", "pu", "filtered phase a control voltage (instantaneous feed-forward)"},
    {SignalKind::kVariable, offsetof(UFedCtrl, set_Ub_ff), "set_Ub_ff type=f", "pu", "filtered phase b control voltage (instantaneous feed-forward)"},
    {SignalKind::kVariable, offsetof(UFedCtrl, set_Uc_ff), "set_Uc_ff type=f", "pu", "filtered phase c control voltage (instantaneous feed-forward)"},
    {SignalKind::kVariable, offsetof(UFedCtrl, err_Ua), "err_Ua type=f", "pu", "waveform-deviation detector output of phase a (against two cycles before)"},
    {SignalKind::kVariable, offsetof(UFedCtrl, err_Ub), "err_Ub type=f", "pu", "waveform-deviation detector output of phase b (against two cycles before)"},
    {SignalKind::kVariable, offsetof(UFedCtrl, err_Uc), "err_Uc type=f", "pu", "waveform-deviation detector output of phase c (against two cycles before)"},
    {SignalKind::kVariable, offsetof(UFedCtrl, flg_Ua_fault), "flg_Ua_fault type=cu", "-", "phase a detector flag (threshold with hysteresis)"},
    {SignalKind::kVariable, offsetof(UFedCtrl, flg_Ub_fault), "flg_Ub_fault type=cu", "-", "phase b detector flag (threshold with hysteresis)"},
    {SignalKind::kVariable, offsetof(UFedCtrl, flg_Uc_fault), "flg_Uc_fault type=cu", "-", "phase c detector flag (threshold with hysteresis)"},
    {SignalKind::kVariable, offsetof(UFedCtrl, flg_Ua_ffsw), "flg_Ua_ffsw type=cu", "-", "phase a fault confirmed after the 0.1 ms on-delay"},
    {SignalKind::kVariable, offsetof(UFedCtrl, flg_Ub_ffsw), "flg_Ub_ffsw type=cu", "-", "phase b fault confirmed after the 0.1 ms on-delay"},
    {SignalKind::kVariable, offsetof(UFedCtrl, flg_Uc_ffsw), "flg_Uc_ffsw type=cu", "-", "phase c fault confirmed after the 0.1 ms on-delay"},
    {SignalKind::kVariable, offsetof(UFedCtrl, flg_run_delay), "flg_run_delay type=cu", "-", "converter running for at least 0.2 s"},
    {SignalKind::kVariable, offsetof(UFedCtrl, flg_Uabc_ffsw_s), "flg_Uabc_ffsw_s type=cu", "-", "set condition of the switch latch (running delay passed and a phase fault confirmed)"},
    {SignalKind::kVariable, offsetof(UFedCtrl, flg_Uabc_ffsw_r), "flg_Uabc_ffsw_r type=cu", "-", "reset condition of the switch latch (no high- or low-voltage ride-through active)"},
    {SignalKind::kVariable, offsetof(UFedCtrl, flg_Uabc_ffsw), "flg_Uabc_ffsw type=cu", "-", "feed-forward switch latch"},
    {SignalKind::kVariable, offsetof(UFedCtrl, flg_Uabc_ffsw_relay), "flg_Uabc_ffsw_relay type=cu", "-", "off-delay relay output of the switch latch"},
    {SignalKind::kByteInput, offsetof(UFedCtrl, flg_seq_running), "flg_seq_running type=cu", "-", "running command from the sequence (host input)"},
    {SignalKind::kFloatInput, offsetof(UFedCtrl, Uctrl_a_pu), "Uctrl_a_pu type=f", "pu", "phase a voltage used for control"},
    {SignalKind::kFloatInput, offsetof(UFedCtrl, Uctrl_b_pu), "Uctrl_b_pu type=f", "pu", "phase b voltage used for control"},
    {SignalKind::kFloatInput, offsetof(UFedCtrl, Uctrl_c_pu), "Uctrl_c_pu type=f", "pu", "phase c voltage used for control"},
    {SignalKind::kFloatInput, offsetof(UFedCtrl, Upoc_a_pu), "Upoc_a_pu type=f", "pu", "phase a voltage at the point of connection (not read)"},
    {SignalKind::kFloatInput, offsetof(UFedCtrl, Upoc_b_pu), "Upoc_b_pu type=f", "pu", "phase b voltage at the point of connection (not read)"},
    {SignalKind::kFloatInput, offsetof(UFedCtrl, Upoc_c_pu), "Upoc_c_pu type=f", "pu", "phase c voltage at the point of connection (not read)"},
    {SignalKind::kFloatInput, offsetof(UFedCtrl, Ud_mix), "Ud_mix type=f", "pu", "d-axis grid voltage at +theta, both sequences mixed, from the phase-locked loop"},
    {SignalKind::kFloatInput, offsetof(UFedCtrl, Uq_mix), "Uq_mix type=f", "pu", "q-axis grid voltage at +theta, both sequences mixed, from the phase-locked loop"},
    {SignalKind::kByteInput, offsetof(UFedCtrl, flg_HVRT_mod), "flg_HVRT_mod type=cu", "-", "high-voltage ride-through mode active"},
    {SignalKind::kByteInput, offsetof(UFedCtrl, flg_LVRT_mod), "flg_LVRT_mod type=cu", "-", "low-voltage ride-through mode active"},
    {SignalKind::kFloatInput, offsetof(UFedCtrl, Task1), "Task1 type=f", "s", "task-1 period (Ts of the filters and timers)"},
    {SignalKind::kFloatInput, offsetof(UFedCtrl, Task2), "Task2 type=f", "s", "task-2 period (not used)"},
    {SignalKind::kFloatInput, offsetof(UFedCtrl, Task3), "Task3 type=f", "s", "task-3 period (not used)"},
    {SignalKind::kParameter, offsetof(UFedCtrl, ena_Uff_sw), "ena_Uff_sw type=cu default=1 option=1", "-", "enable: lets the relay drive the feed-forward switch flag", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(UFedCtrl, ena_Uff_sw), "ena_Uff_sw type=cu default=0 option=1", "-", "enable: lets the relay drive the feed-forward switch flag", Builds::kReducedOnly},
    {SignalKind::kParameter, offsetof(UFedCtrl, ena_Uff_manusw), "ena_Uff_manusw type=cu default=0 option=1", "-", "enable: forces the feed-forward switch flag on"},
    {SignalKind::kParameter, offsetof(UFedCtrl, parm_Uff_filf), "parm_Uff_filf type=f default=63.0 option=1", "rad/s", "cut-off frequency of the normal dq feed-forward filters", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(UFedCtrl, parm_Uff_filf), "parm_Uff_filf type=f default=1256.0 option=1", "rad/s", "cut-off frequency of the normal dq feed-forward filters", Builds::kReducedOnly},
    {SignalKind::kParameter, offsetof(UFedCtrl, parm_Uff_filf_sw), "parm_Uff_filf_sw type=f default=1256.0 option=1", "rad/s", "cut-off of the phase-voltage filters and base of the fast dq filters"},
    {SignalKind::kParameter, offsetof(UFedCtrl, parm_sw_thr), "parm_sw_thr type=f default=0.2 option=1", "pu", "fault threshold on the detector output; release at half of it"},
    {SignalKind::kParameter, offsetof(UFedCtrl, parm_Uff_kp), "parm_Uff_kp type=f default=1.0 option=1", "-", "multiplier of the fast cut-off base for the fast dq filters", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(UFedCtrl, parm_ffsw_relaytime), "parm_ffsw_relaytime type=f default=0.625 option=1", "s", "relay off-delay of the feed-forward switch", Builds::kFullOnly},
};
// clang-format on

// The mean of |sin| over a half cycle is 2/pi, so the sum of about 100 absolute deviations
// (half a 50 Hz cycle at 100 us) times pi/200 is the amplitude of a sinusoidal deviation.
// Applied in double precision to the single-precision sum.
constexpr double kDeviationScale = 0.01571;
// The fault flag releases below this share of its level.
constexpr float kReleaseShare = 0.5f;
// Confirmation of a phase fault and the running time before faults may switch, s.
constexpr float kFaultConfirm = 1e-4f;
constexpr float kRunDelay = 0.2f;
// Environment time counter units per second (the counter advances by 100 per 100 us step).
constexpr float kCounterPerSecond = 1000000.0f;
// The relay turns on with the latch at once: an on-delay of zero counter units.
constexpr float kRelayOnDelay = 0.0f;

void DesignFilters(UFedCtrl& m) {
    const float ts = *m.Task1;
    LpfFirstDesign(m.d_slow, ts, m.parm_Uff_filf);
    LpfFirstDesign(m.q_slow, ts, m.parm_Uff_filf);
    const float fast = m.parm_Uff_filf_sw * m.parm_Uff_kp;
    LpfFirstDesign(m.d_fast, ts, fast);
    LpfFirstDesign(m.q_fast, ts, fast);
    for (LpfFirst& f : m.phase_fil) {
        LpfFirstDesign(f, ts, m.parm_Uff_filf_sw);
    }
}

int RegisterUFedCtrlTasks(ModuleHeader* module, int list) {
    if (RegisterTask(list, &UFedCtrlStep, module) != 0) {
        return 1;
    }
    DesignFilters(*As<UFedCtrl>(module));
    return 0;
}

// Counts 0 .. last and wraps; any value above `last` also restarts at 0.
void Advance(std::uint32_t& count, std::uint32_t last) {
    ++count;
    if (count > last) {
        count = 0;
    }
}

// One phase of the deviation detector at sample index i (0 .. 400) and difference index
// j (0 .. 100). x is compared with the sample written 400 steps before; the window sum drops
// one stored difference and adds the new one, and every 101 steps restarts from the sum of
// the last block's differences. That restart also clears a NaN or an overflow from the sum
// once the samples of the last 400 steps are finite again.
float DetectorStep(float (&s)[kFfStoreLen], float x, std::uint32_t i, std::uint32_t j) {
    const float old = s[i + 1 > kFfLastSample ? 0 : i + 1];
    s[i] = x;
    float& sum = s[kFfRunningSum];
    float& acc = s[kFfAccumulator];
    if (j == 0) {
        sum = acc;
        acc = 0.0f;
    }
    sum -= s[kFfDiffBase + (j + 1 < kFfLastDiff ? j + 1 : 0)];
    const auto d = static_cast<float>(std::fabs(static_cast<double>(x - old)));
    s[kFfDiffBase + j] = d;
    sum += d;
    acc += d;
    s[kFfOutput] = static_cast<float>(static_cast<double>(sum) * kDeviationScale);
    return s[kFfOutput];
}

void Detector(UFedCtrl& m) {
    Advance(m.sample_count, kFfLastSample);
    Advance(m.diff_count, kFfLastDiff);
    const float x[kFfPhases] = {*m.Uctrl_a_pu, *m.Uctrl_b_pu, *m.Uctrl_c_pu};
    float* err[kFfPhases] = {&m.err_Ua, &m.err_Ub, &m.err_Uc};
    for (int k = 0; k < kFfPhases; ++k) {
        *err[k] = DetectorStep(m.store[k], x[k], m.sample_count, m.diff_count);
    }
}

// Fault flags with hysteresis, their confirmation, the run delay and the switch latch.
void SwitchLatch(UFedCtrl& m, float ts) {
    const float err[kFfPhases] = {m.err_Ua, m.err_Ub, m.err_Uc};
    std::uint8_t* fault[kFfPhases] = {&m.flg_Ua_fault, &m.flg_Ub_fault, &m.flg_Uc_fault};
    std::uint8_t* confirmed[kFfPhases] = {&m.flg_Ua_ffsw, &m.flg_Ub_ffsw, &m.flg_Uc_ffsw};
    bool any = false;
    for (int k = 0; k < kFfPhases; ++k) {
        *fault[k] =
            HystCmp(err[k], m.parm_sw_thr, kReleaseShare * m.parm_sw_thr, *fault[k] != 0) ? 1 : 0;
        *confirmed[k] =
            TonTimer(*fault[k], m.fault_prev[k], kFaultConfirm, m.fault_remaining[k], ts) != 0 ? 1
                                                                                               : 0;
        any = any || *confirmed[k] != 0;
    }
    // The timer passes the running byte through once the delay has run out.
    m.flg_run_delay = static_cast<std::uint8_t>(
        TonTimer(*m.flg_seq_running, m.run_prev, kRunDelay, m.run_remaining, ts));
    m.flg_Uabc_ffsw_s = m.flg_run_delay != 0 && any ? 1 : 0;
    m.flg_Uabc_ffsw_r = *m.flg_HVRT_mod == 0 && *m.flg_LVRT_mod == 0 ? 1 : 0;
    if (m.flg_Uabc_ffsw_s != 0) {
        m.flg_Uabc_ffsw = 1;
    } else if (m.flg_Uabc_ffsw_r != 0) {
        m.flg_Uabc_ffsw = 0;
    }
}

// The relay follows the latch on at once and off after the off-delay, measured on the
// environment time counter from the last step with the latch set. The delay in counter units
// is truncated to unsigned: a NaN or negative setting releases at the first step without the
// latch, a setting of 2^32 units or more saturates and holds for a whole counter cycle.
void Relay(UFedCtrl& m) {
    const auto off_delay =
        static_cast<float>(TruncToUint32(m.parm_ffsw_relaytime * kCounterPerSecond));
    m.flg_Uabc_ffsw_relay =
        CounterConfirmedFlag(m.flg_Uabc_ffsw_relay, m.flg_Uabc_ffsw != 0, m.t_relay_set,
                             m.t_relay_hold, m.hdr.env->time_counter, kRelayOnDelay, off_delay);
    m.flg_ffsw = (m.ena_Uff_sw == 1 && m.flg_Uabc_ffsw_relay != 0) || m.ena_Uff_manusw == 1 ? 1 : 0;
}

// Phase filters, then the selected dq pair; the other pair keeps its state. A filter whose
// output leaves the finite range restarts from rest.
void FeedForward(UFedCtrl& m) {
    m.set_Ua_ff = LpfStepFinite(m.phase_fil[0], *m.Uctrl_a_pu);
    m.set_Ub_ff = LpfStepFinite(m.phase_fil[1], *m.Uctrl_b_pu);
    m.set_Uc_ff = LpfStepFinite(m.phase_fil[2], *m.Uctrl_c_pu);
    const bool fast = m.flg_ffsw != 0;
    m.set_Ud_ff = LpfStepFinite(fast ? m.d_fast : m.d_slow, *m.Ud_mix);
    m.set_Uq_ff = LpfStepFinite(fast ? m.q_fast : m.q_slow, *m.Uq_mix);
}

}  // namespace

ModuleHeader* CreateUFedCtrl(Environment* env, ModuleHeader* module,
                             const char* instance_name) noexcept {
    InitHeader(module, env, "UFEDCTRL", instance_name, &RegisterUFedCtrlTasks);
    RegisterSignals(module, kSignals);
    // Counters, detector stores, flags, timers, relay stamps and outputs start at 0 with the
    // zero-filled record.
    return module;
}

void UFedCtrlStep(ModuleHeader* module) noexcept {
    UFedCtrl& m = *As<UFedCtrl>(module);
    DesignFilters(m);
    Detector(m);
    SwitchLatch(m, *m.Task1);
    Relay(m);
    FeedForward(m);
}

}  // namespace svg
