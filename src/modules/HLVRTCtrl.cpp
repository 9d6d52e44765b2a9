#include "modules/HLVRTCtrl.h"

#include <cstddef>
#include <limits>

#include "blocks/build.h"
#include "blocks/comparators.h"
#include "blocks/numeric.h"

namespace svg {
namespace {

// clang-format off
constexpr SignalRow kSignals[] = {
    {SignalKind::kFloatInput, offsetof(HLVRTCtrl, sim_HVRT_k), "sim_HVRT_k type=f", "-", "high-voltage injection gain from the host input", Builds::kReducedOnly},
    {SignalKind::kFloatInput, offsetof(HLVRTCtrl, sim_LVRT_k), "sim_LVRT_k type=f", "-", "low-voltage injection gain from the host input", Builds::kReducedOnly},
    {SignalKind::kFloatInput, offsetof(HLVRTCtrl, sim_Iq0_k), "sim_Iq0_k type=f", "-", "weight of the pre-fault reference in the injection, from the host input", Builds::kReducedOnly},
    {SignalKind::kFloatInput, offsetof(HLVRTCtrl, sim_HVRT_in), "sim_HVRT_in type=f", "pu", "high-voltage ride-through entry level from the host input", Builds::kReducedOnly},
    {SignalKind::kFloatInput, offsetof(HLVRTCtrl, sim_HVRT_out), "sim_HVRT_out type=f", "pu", "high-voltage ride-through exit level from the host input", Builds::kReducedOnly},
    {SignalKind::kFloatInput, offsetof(HLVRTCtrl, sim_LVRT_in), "sim_LVRT_in type=f", "pu", "low-voltage ride-through entry level from the host input", Builds::kReducedOnly},
    {SignalKind::kFloatInput, offsetof(HLVRTCtrl, sim_LVRT_out), "sim_LVRT_out type=f", "pu", "low-voltage ride-through exit level from the host input", Builds::kReducedOnly},
    {SignalKind::kFloatInput, offsetof(HLVRTCtrl, sim_Iqpos_ref_min), "sim_Iqpos_ref_min type=f", "pu", "minimum magnitude of the reactive current reference, from the host input", Builds::kReducedOnly},
    {SignalKind::kSharedVariable, offsetof(HLVRTCtrl, set_Iqpos_ref_sel), "set_Iqpos_ref_sel type=f", "pu", "positive-sequence reactive current reference after ride-through handling"},
    {SignalKind::kSharedVariable, offsetof(HLVRTCtrl, flg_HVRT_mod), "flg_HVRT_mod type=cu", "-", "high-voltage ride-through active"},
    {SignalKind::kSharedVariable, offsetof(HLVRTCtrl, flg_LVRT_mod), "flg_LVRT_mod type=cu", "-", "low-voltage ride-through active"},
    {SignalKind::kSharedVariable, offsetof(HLVRTCtrl, set_Ipqref_lock), "Ipqref_lock type=f", "pu", "pre-fault reactive current reference (base of the injection)", Builds::kReducedOnly},
    {SignalKind::kSharedVariable, offsetof(HLVRTCtrl, Iq_lim_VRT), "lim_VRT type=f", "pu", "reactive injection current limit during ride-through", Builds::kReducedOnly},
    {SignalKind::kVariable, offsetof(HLVRTCtrl, flg_ZVRT_mod), "flg_ZVRT_mod type=cu", "-", "zero-voltage ride-through mode, always 0"},
    {SignalKind::kVariable, offsetof(HLVRTCtrl, set_Ipqref_lock), "set_Ipqref_lock type=f", "pu", "pre-fault reactive current reference (base of the injection)"},
    {SignalKind::kVariable, offsetof(HLVRTCtrl, Hysteresis_HVRT), "Hysteresis_HVRT type=cu", "-", "high-voltage ride-through latch"},
    {SignalKind::kVariable, offsetof(HLVRTCtrl, test3), "test3 type=f", "-", "1 while high- or low-voltage ride-through is active, else 0"},
    {SignalKind::kVariable, offsetof(HLVRTCtrl, Hysteresis_LVRT_temp0), "Hysteresis_LVRT_temp0 type=cu", "-", "voltage not low (hysteresis comparator state)"},
    {SignalKind::kVariable, offsetof(HLVRTCtrl, Hysteresis_HVRT_temp), "Hysteresis_HVRT_temp type=cu", "-", "voltage high (hysteresis comparator state)"},
    {SignalKind::kVariable, offsetof(HLVRTCtrl, Hysteresis_LVRT_temp1), "Hysteresis_LVRT_temp1 type=cu", "-", "voltage low (inverse of the not-low comparator state)"},
    {SignalKind::kVariable, offsetof(HLVRTCtrl, test1), "test1 type=f", "-", "debug signal, always 0"},
    {SignalKind::kFloatInput, offsetof(HLVRTCtrl, Upos_fil), "Upos_fil type=f", "pu", "filtered positive-sequence voltage magnitude from the phase-locked loop"},
    {SignalKind::kFloatInput, offsetof(HLVRTCtrl, Uneg_fil), "Uneg_fil type=f", "pu", "filtered negative-sequence voltage magnitude from the phase-locked loop"},
    {SignalKind::kFloatInput, offsetof(HLVRTCtrl, Iqpos_ref_ss), "Iqpos_ref_ss type=f", "pu", "positive-sequence reactive current reference from mode control"},
    {SignalKind::kFloatInput, offsetof(HLVRTCtrl, Task1), "Task1 type=f", "s", "task-1 period (not read)"},
    {SignalKind::kFloatInput, offsetof(HLVRTCtrl, Task2), "Task2 type=f", "s", "task-2 period (not read)"},
    {SignalKind::kFloatInput, offsetof(HLVRTCtrl, Task3), "Task3 type=f", "s", "task-3 period (not read)"},
    {SignalKind::kByteInput, offsetof(HLVRTCtrl, flg_seq_deblock), "flg_seq_deblock type=cu", "-", "deblock command from the sequence (host input)"},
    {SignalKind::kFloatInput, offsetof(HLVRTCtrl, Upos_PCC_pu), "Upos_PCC_pu type=f", "pu", "positive-sequence voltage at the point of common coupling"},
    {SignalKind::kFloatInput, offsetof(HLVRTCtrl, I_round_lim), "I_round_lim type=f", "-", "round-limit factor (0 to 1) from the current reference limiting, previous step"},
    {SignalKind::kParameter, offsetof(HLVRTCtrl, ena_VRT), "ena_VRT type=cu default=1 option=1", "-", "enable of the ride-through flags"},
    {SignalKind::kParameter, offsetof(HLVRTCtrl, parm_VRT_mode), "parm_VRT_mode type=cu default=1 option=1", "-", "injection mode: 0 fixed values, otherwise voltage-proportional injection"},
    {SignalKind::kParameter, offsetof(HLVRTCtrl, parm_HVRT_k), "parm_HVRT_k type=f default=5 option=1", "-", "high-voltage injection gain, current per unit of voltage deviation above 1.1 pu"},
    {SignalKind::kParameter, offsetof(HLVRTCtrl, parm_LVRT_k), "parm_LVRT_k type=f default=1.5 option=1", "-", "low-voltage injection gain, current per unit of voltage deviation below 0.9 pu"},
    {SignalKind::kParameter, offsetof(HLVRTCtrl, parm_Iq0_k), "parm_Iq0_k type=f default=1 option=1", "-", "weight of the pre-fault reference in the injection"},
    {SignalKind::kParameter, offsetof(HLVRTCtrl, parm_HVRT_in), "parm_HVRT_in type=f default=1.12 option=1", "pu", "high-voltage ride-through entry level"},
    {SignalKind::kParameter, offsetof(HLVRTCtrl, parm_HVRT_out), "parm_HVRT_out type=f default=1.1 option=1", "pu", "high-voltage ride-through exit level"},
    {SignalKind::kParameter, offsetof(HLVRTCtrl, parm_LVRT_in), "parm_LVRT_in type=f default=0.88 option=1", "pu", "low-voltage ride-through entry level"},
    {SignalKind::kParameter, offsetof(HLVRTCtrl, parm_LVRT_out), "parm_LVRT_out type=f default=0.9 option=1", "pu", "low-voltage ride-through exit level"},
    {SignalKind::kParameter, offsetof(HLVRTCtrl, parm_HVRT_strong), "parm_HVRT_strong type=f default=-1 option=1", "pu", "fixed reactive current injection during high-voltage ride-through (mode 0)"},
    {SignalKind::kParameter, offsetof(HLVRTCtrl, parm_LVRT_strong), "parm_LVRT_strong type=f default=1 option=1", "pu", "fixed reactive current injection during low-voltage ride-through (mode 0)"},
    {SignalKind::kParameter, offsetof(HLVRTCtrl, parm_Iqpos_ref_min), "parm_Iqpos_ref_min type=f default=0.05 option=1", "pu", "minimum magnitude of the output reactive current reference"},
    {SignalKind::kParameter, offsetof(HLVRTCtrl, parm_Iqpos_ref_lim), "parm_Iqpos_ref_lim type=f default=1.1 option=1", "pu", "injection limit before the negative-sequence reduction", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(HLVRTCtrl, parm_VRT_site), "parm_VRT_site type=cu default=0 option=1", "-", "detection voltage: 1 PCC voltage, otherwise converter-side positive-sequence voltage"},
    {SignalKind::kParameter, offsetof(HLVRTCtrl, parm_HLVRT_delay_time), "parm_HLVRT_delay_time type=f default=0.01 option=1", "s", "exit delay of both ride-through states", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(HLVRTCtrl, ena_Uneglim), "ena_Uneglim type=cu default=1 option=1", "-", "enable: 1 reduces the injection limit by the negative-sequence voltage", Builds::kFullOnly},
};
// clang-format on

// Environment time counter units per second (the counter advances by 100 per 100 us step).
constexpr float kCounterPerSecond = 1000000.0f;
// Fixed levels of the voltage-proportional injection, per unit voltage.
constexpr float kHvrtKnee = 1.1f;
constexpr float kLvrtKnee = 0.9f;
// Below this positive-sequence voltage the limit is not reduced by the negative sequence.
constexpr float kUneglimMinUpos = 0.15f;
// Weight of each sample in the 100-sample mean of the pre-fault lock.
constexpr float kLockMeanWeight = 0.01f;
constexpr float kInf = std::numeric_limits<float>::infinity();

int RegisterHLVRTCtrlTasks(ModuleHeader* module, int list) {
    HLVRTCtrl& m = *As<HLVRTCtrl>(module);
    MovingSumInit(m.lock_long, m.lock_long_buf, kLockLongLen);
    MovingSumInit(m.lock_short, m.lock_short_buf, kLockShortLen);
    return RegisterTask(list, &HLVRTCtrlStep, module) != 0 ? 1 : 0;
}

// One ride-through latch. While its own condition holds it is set at once and its exit stamp
// follows the counter; when the opposite condition holds it is cleared at once; otherwise it
// is cleared once `delay` counter units have passed since the last step with its condition.
void RideThroughLatch(std::uint8_t& latch, float& t_in, float& t_out, bool own, bool opposite,
                      std::uint32_t now, float delay) {
    const auto t = static_cast<float>(now);
    if (own) {
        if (latch == 0) {
            latch = 1;
            t_in = t;
        }
        t_out = t;
        return;
    }
    t_in = t;
    if (latch != 0 && (opposite || ElapsedAtLeast(now, t_out, delay))) {
        latch = 0;
        t_out = t;
    }
}

void Detection(HLVRTCtrl& m) {
    m.U_vrt = m.parm_VRT_site == 1 ? *m.Upos_PCC_pu : *m.Upos_fil;
    m.flg_VRT_ena = *m.flg_seq_deblock != 0 && m.ena_VRT != 0 ? 1 : 0;
    const bool high =
        HystCmp(m.U_vrt, *m.sim_HVRT_in, *m.sim_HVRT_out, m.Hysteresis_HVRT_temp != 0);
    const bool not_low =
        HystCmp(m.U_vrt, *m.sim_LVRT_out, *m.sim_LVRT_in, m.Hysteresis_LVRT_temp0 != 0);
    m.Hysteresis_HVRT_temp = high ? 1 : 0;
    m.Hysteresis_LVRT_temp0 = not_low ? 1 : 0;
    m.Hysteresis_LVRT_temp1 = not_low ? 0 : 1;

    // The exit delay in counter units; a NaN, negative or huge setting gets the saturating
    // conversion (0: exit at once; 2^32 - 1: no delayed exit).
    const auto delay =
        static_cast<float>(TruncToUint32(m.parm_HLVRT_delay_time * kCounterPerSecond));
    const std::uint32_t now = m.hdr.env->time_counter;
    RideThroughLatch(m.Hysteresis_HVRT, m.t_HVRT_in, m.t_HVRT_out, high, !not_low, now, delay);
    RideThroughLatch(m.flg_LVRT_latch, m.t_LVRT_in, m.t_LVRT_out, !not_low, high, now, delay);
    m.flg_HVRT_mod = m.Hysteresis_HVRT != 0 && m.flg_VRT_ena != 0 ? 1 : 0;
    m.flg_LVRT_mod = m.flg_LVRT_latch != 0 && m.flg_VRT_ena != 0 ? 1 : 0;
}

// The pre-fault reference: the mean of the mode-control reference between 200 and 101 steps
// ago, frozen during ride-through at the value of two steps before (so across an event it
// alternates between the last two values before the event, as stored tunings expect).
void PreFaultLock(HLVRTCtrl& m) {
    const float ss = *m.Iqpos_ref_ss;
    const float sum_long = MovingSumStep(m.lock_long, ss);
    const float sum_short = MovingSumStep(m.lock_short, ss);
    m.Iq_lock_avg = (sum_long - sum_short) * kLockMeanWeight;
    m.Ipqref_lock_d2 = m.Ipqref_lock_d1;
    m.Ipqref_lock_d1 = m.set_Ipqref_lock;
    if (m.flg_HVRT_mod == 0 && m.flg_LVRT_mod == 0) {
        m.test3 = 0.0f;
        m.set_Ipqref_lock = m.Iq_lock_avg;
    } else {
        m.test3 = 1.0f;
        m.set_Ipqref_lock = m.Ipqref_lock_d2;
    }
}

// A negative value is made at most -min, any other value (NaN included) at least +min. A
// negative or NaN minimum counts as 0, so it can never turn the sign of the reference.
float MinimumMagnitude(float x, float min) {
    const float m = Limit(min, 0.0f, kInf);
    return x < 0.0f ? Limit(x, -kInf, -m) : Limit(x, m, kInf);
}

void Reference(HLVRTCtrl& m) {
    m.Iq_HVRT_fix = m.parm_HVRT_strong;
    m.Iq_LVRT_fix = m.parm_LVRT_strong;
    const float base = m.set_Ipqref_lock * *m.sim_Iq0_k;
    m.Iq_HVRT_k = base + (m.U_vrt >= kHvrtKnee ? *m.sim_HVRT_k * (kHvrtKnee - m.U_vrt) : 0.0f);
    m.Iq_LVRT_k = base + (m.U_vrt <= kLvrtKnee ? *m.sim_LVRT_k * (kLvrtKnee - m.U_vrt) : 0.0f);
    if (m.parm_VRT_mode == 0) {
        m.Iq_LVRT_inj = m.Iq_LVRT_fix;
        m.Iq_HVRT_inj = m.Iq_HVRT_fix;
    } else {
        m.Iq_LVRT_inj = m.Iq_LVRT_k;
        m.Iq_HVRT_inj = m.Iq_HVRT_k;
    }

    const float upos = *m.Upos_fil;
    if (m.ena_Uneglim == 1 && upos > kUneglimMinUpos) {
        // Upos / (Upos + Uneg) of two magnitudes lies in (0, 1]; limiting it keeps a NaN or
        // negative negative-sequence value from raising or poisoning the limit.
        const float share = Limit(SafeDiv(upos, upos + *m.Uneg_fil), 0.0f, 1.0f);
        m.Iq_lim_VRT = m.parm_Iqpos_ref_lim * share;
    } else {
        m.Iq_lim_VRT = m.parm_Iqpos_ref_lim;
    }

    float sel = *m.Iqpos_ref_ss;
    if (m.flg_HVRT_mod == 0 && m.flg_LVRT_mod == 1) {
        sel = LimitSym(*m.I_round_lim * m.Iq_LVRT_inj, m.Iq_lim_VRT);
    } else if (m.flg_HVRT_mod == 1 && m.flg_LVRT_mod == 0) {
        sel = LimitSym(*m.I_round_lim * m.Iq_HVRT_inj, m.Iq_lim_VRT);
    }
    m.set_Iqpos_ref_sel = MinimumMagnitude(sel, *m.sim_Iqpos_ref_min);
}

}  // namespace

ModuleHeader* CreateHLVRTCtrl(Environment* env, ModuleHeader* module,
                              const char* instance_name) noexcept {
    InitHeader(module, env, "HLVRTCtrl", instance_name, &RegisterHLVRTCtrlTasks);
    RegisterSignals(module, kSignals);
    if constexpr (!kReducedBuild) {
        // The full controller's gains and thresholds are its parameters; the reduced one reads
        // them from host channels 48..55.
        HLVRTCtrl& m = *As<HLVRTCtrl>(module);
        m.sim_HVRT_k = &m.parm_HVRT_k;
        m.sim_LVRT_k = &m.parm_LVRT_k;
        m.sim_Iq0_k = &m.parm_Iq0_k;
        m.sim_HVRT_in = &m.parm_HVRT_in;
        m.sim_HVRT_out = &m.parm_HVRT_out;
        m.sim_LVRT_in = &m.parm_LVRT_in;
        m.sim_LVRT_out = &m.parm_LVRT_out;
        m.sim_Iqpos_ref_min = &m.parm_Iqpos_ref_min;
    }
    // Outputs, flags, comparator states, latches, injections, the limit and the lock values
    // start at 0 with the zero-filled record.
    return module;
}

void HLVRTCtrlStep(ModuleHeader* module) noexcept {
    HLVRTCtrl& m = *As<HLVRTCtrl>(module);
    Detection(m);
    PreFaultLock(m);
    Reference(m);
}

}  // namespace svg
