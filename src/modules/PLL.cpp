#include "modules/PLL.h"

#include <cmath>
#include <cstddef>

#include "blocks/build.h"
#include "blocks/numeric.h"

namespace svg {
namespace {

// clang-format off
constexpr SignalRow kSignals[] = {
    {SignalKind::kFloatInput, offsetof(PLL, Uctrl_a_pu), "Uctrl_a_pu type=f", "pu", "phase a voltage used for control"},
    {SignalKind::kFloatInput, offsetof(PLL, Uctrl_b_pu), "Uctrl_b_pu type=f", "pu", "phase b voltage used for control"},
    {SignalKind::kFloatInput, offsetof(PLL, Uctrl_c_pu), "Uctrl_c_pu type=f", "pu", "phase c voltage used for control"},
    {SignalKind::kByteInput, offsetof(PLL, flg_ZVRT_mod), "flg_ZVRT_mod type=cu", "-", "zero-voltage ride-through mode; 1 freezes the loop at nominal frequency"},
    {SignalKind::kFloatInput, offsetof(PLL, FrqHzNom), "FrqHzNom type=f", "Hz", "nominal grid frequency"},
    {SignalKind::kFloatInput, offsetof(PLL, Task1), "Task1 type=f", "s", "task-1 period (Ts of the loop)"},
    {SignalKind::kFloatInput, offsetof(PLL, Task2), "Task2 type=f", "s", "task-2 period (not used)"},
    {SignalKind::kFloatInput, offsetof(PLL, Task3), "Task3 type=f", "s", "task-3 period (not used)"},
    {SignalKind::kByteInput, offsetof(PLL, flg_ffsw), "flg_ffsw type=cu", "-", "feed-forward transient flag; when set the proportional gain is scaled by parm_PllParmGain"},
    {SignalKind::kSharedVariable, offsetof(PLL, set_Udpos), "set_Udpos type=f level=1", "pu", "positive-sequence d-axis voltage in the +theta frame"},
    {SignalKind::kSharedVariable, offsetof(PLL, set_Uqpos), "set_Uqpos type=f level=1", "pu", "positive-sequence q-axis voltage in the +theta frame"},
    {SignalKind::kSharedVariable, offsetof(PLL, set_Udneg), "set_Udneg type=f level=1", "pu", "negative-sequence d-axis voltage in the -theta frame"},
    {SignalKind::kSharedVariable, offsetof(PLL, set_Uqneg), "set_Uqneg type=f level=1", "pu", "negative-sequence q-axis voltage in the -theta frame"},
    {SignalKind::kVariable, offsetof(PLL, set_Ud_mix), "set_Ud_mix type=f level=1", "pu", "d-axis Park transform of the raw phase voltages at +theta (both sequences mixed)"},
    {SignalKind::kVariable, offsetof(PLL, set_Uq_mix), "set_Uq_mix type=f level=1", "pu", "q-axis Park transform of the raw phase voltages at +theta (both sequences mixed)"},
    {SignalKind::kVariable, offsetof(PLL, set_Udpos_fil), "set_Udpos_fil type=f level=1", "pu", "low-pass filtered positive-sequence d-axis voltage"},
    {SignalKind::kVariable, offsetof(PLL, set_Uqpos_fil), "set_Uqpos_fil type=f level=1", "pu", "low-pass filtered positive-sequence q-axis voltage"},
    {SignalKind::kVariable, offsetof(PLL, set_Udneg_fil), "set_Udneg_fil type=f level=1", "pu", "low-pass filtered negative-sequence d-axis voltage"},
    {SignalKind::kVariable, offsetof(PLL, set_Uqneg_fil), "set_Uqneg_fil type=f level=1", "pu", "low-pass filtered negative-sequence q-axis voltage"},
    {SignalKind::kVariable, offsetof(PLL, set_Upos), "set_Upos type=f level=1", "pu", "positive-sequence voltage magnitude"},
    {SignalKind::kVariable, offsetof(PLL, set_Uneg), "set_Uneg type=f level=1", "pu", "negative-sequence voltage magnitude"},
    {SignalKind::kVariable, offsetof(PLL, set_Upos_fil), "set_Upos_fil type=f level=1", "pu", "filtered positive-sequence voltage magnitude"},
    {SignalKind::kVariable, offsetof(PLL, set_Uneg_fil), "set_Uneg_fil type=f level=1", "pu", "filtered negative-sequence voltage magnitude"},
    {SignalKind::kSharedVariable, offsetof(PLL, set_grid_freq), "set_grid_freq type=f level=1", "Hz", "grid frequency (filtered loop frequency)"},
    {SignalKind::kSharedVariable, offsetof(PLL, set_grid_theta), "set_grid_theta type=f level=1", "turns", "grid angle, wraps at one turn"},
    {SignalKind::kVariable, offsetof(PLL, set_w_GFL), "set_w_GFL type=f level=1", "pu", "filtered loop frequency in per unit of the nominal frequency"},
    {SignalKind::kVariable, offsetof(PLL, temp_err), "temp_err type=f", "pu", "last regulator error (q-voltage normalised by the positive-sequence magnitude)"},
    {SignalKind::kVariable, offsetof(PLL, temp_grid_freq_pre), "temp_grid_freq_pre type=f", "Hz", "unfiltered loop frequency (nominal plus regulator output)"},
    {SignalKind::kVariable, offsetof(PLL, temp_Uctrl_abc_pu[0]), "temp_Uctrl_abc_pu[0] type=f", "pu", "copy of the phase a control voltage"},
    {SignalKind::kVariable, offsetof(PLL, temp_Uctrl_abc_pu[1]), "temp_Uctrl_abc_pu[1] type=f", "pu", "copy of the phase b control voltage"},
    {SignalKind::kVariable, offsetof(PLL, temp_Uctrl_abc_pu[2]), "temp_Uctrl_abc_pu[2] type=f", "pu", "copy of the phase c control voltage"},
    {SignalKind::kVariable, offsetof(PLL, test1), "test1 type=cu", "-", "debug byte, stays 0"},
    {SignalKind::kParameter, offsetof(PLL, parm_pll_wc_lpf), "parm_pll_wc_lpf type=f default=220.0 option=1", "rad/s", "corner frequency of the four low-pass filters on the sequence dq voltages"},
    {SignalKind::kParameter, offsetof(PLL, parm_freqfil_wc_lpf), "parm_freqfil_wc_lpf type=f default=475.0 option=1", "rad/s", "corner frequency of the frequency low-pass filter"},
    {SignalKind::kParameter, offsetof(PLL, parm_pll_kp), "parm_pll_kp type=f default=21.2 option=1", "Hz/pu", "loop proportional gain per unit of normalised q-voltage", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(PLL, parm_pll_kp), "parm_pll_kp type=f default=10.8 option=1", "Hz/pu", "loop proportional gain per unit of normalised q-voltage", Builds::kReducedOnly},
    {SignalKind::kParameter, offsetof(PLL, parm_pll_ki), "parm_pll_ki type=f default=1413.7 option=1", "Hz/pu/s", "loop integral gain per unit of normalised q-voltage", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(PLL, parm_pll_ki), "parm_pll_ki type=f default=46.0 option=1", "Hz/pu/s", "loop integral gain per unit of normalised q-voltage", Builds::kReducedOnly},
    {SignalKind::kParameter, offsetof(PLL, parm_pll_intg_lim), "parm_pll_intg_lim type=f default=20.0 option=1", "Hz", "loop integrator limit (plus and minus)"},
    {SignalKind::kParameter, offsetof(PLL, parm_pll_out_lim), "parm_pll_out_lim type=f default=10.0 option=1", "Hz", "loop regulator output limit (plus and minus)"},
    {SignalKind::kParameter, offsetof(PLL, parm_pll_freq_filtype), "parm_pll_freq_filtype type=cu default=0 option=1", "-", "frequency output: 1 low-pass filter only, otherwise one-cycle moving average and clamp"},
    {SignalKind::kParameter, offsetof(PLL, parm_PllParmGain), "parm_PllParmGain type=f default=1 option=1", "-", "factor on the proportional gain while the feed-forward transient flag is set", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(PLL, parm_transtype_u), "parm_transtype_u type=cu default=1 option=1", "-", "sequence separation: non-zero quarter-period delay, 0 decoupled double synchronous frame", Builds::kFullOnly},
};
// clang-format on

// Samples entering the one-cycle averages are limited to +-1000 Hz, far beyond any grid
// frequency, so a huge nominal frequency can neither overflow a running sum nor leave it
// wrong once the huge samples have left the window.
constexpr float kWindowSampleLimit = 1000.0f;

void WindowFill(FreqWindow& win, std::uint8_t len, float sample) {
    win.index = 0;
    win.len = len;
    for (std::uint8_t i = 0; i < len; ++i) {
        win.w[i] = sample;
    }
    win.sum = static_cast<float>(len) * sample;
}

// Replaces the oldest sample by w and returns the new running sum.
float WindowPush(FreqWindow& win, float w) {
    if (win.index >= win.len) {
        win.index = 0;
    }
    win.sum -= win.w[win.index];
    win.w[win.index] = w;
    win.index = static_cast<std::uint8_t>(win.index + 1 < win.len ? win.index + 1 : 0);
    win.sum += w;
    return win.sum;
}

// The integer part of the nominal frequency is 60. Compared as a range, so NaN and huge
// values are never converted to an integer.
bool IsSixtyHertz(float f) { return f >= 60.0f && f < 61.0f; }

// One-cycle average of the filtered frequency w at the 100 us task period.
float CycleAverage(PLL& m, float fnom, float w) {
    const float x = Limit(w, -kWindowSampleLimit, kWindowSampleLimit);
    if (IsSixtyHertz(fnom)) {
        const float sum_a = WindowPush(m.win60a, x);
        const float sum_b = WindowPush(m.win60b, x);
        return 0.6666667f * sum_b / 167.0f + 0.33333334f * sum_a / 166.0f;
    }
    return WindowPush(m.win50, x) / 200.0f;
}

// The angle integrates the loop frequency and wraps at one turn into [0, 1). A non-finite
// increment (a NaN or infinite frequency or period) holds the angle.
float NextAngle(float theta, float ts, float freq) {
    auto next = static_cast<float>(std::fmod(static_cast<double>(ts * freq + theta), 1.0));
    if (!std::isfinite(next)) {
        return theta;
    }
    if (next < 0.0f) {  // a negative loop frequency turns backwards
        next += 1.0f;
        if (next >= 1.0f) {
            next = 0.0f;
        }
    }
    return next;
}

void DesignFilters(PLL& m, float ts) {
    SequenceFilterDesign(m.split, ts, m.parm_pll_wc_lpf);
    LpfFirstDesign(m.freq_lpf, ts, m.parm_freqfil_wc_lpf);
}

void RefreshGains(PLL& m) {
    m.loop.Kp = *m.flg_ffsw != 0 ? m.parm_pll_kp * m.parm_PllParmGain : m.parm_pll_kp;
    m.loop.Ki = m.parm_pll_ki;
    m.loop.OutLim = m.parm_pll_out_lim;
    m.loop.IntMax = m.parm_pll_intg_lim;
    m.loop.IntMin = -m.parm_pll_intg_lim;
}

int RegisterPLLTasks(ModuleHeader* module, int list) {
    PLL& m = *As<PLL>(module);
    const float ts = *m.Task1;
    DesignFilters(m, ts);
    PiRegDesign(m.loop, ts, m.parm_pll_kp, m.parm_pll_ki, 1.0f, m.parm_pll_out_lim,
                -m.parm_pll_intg_lim, m.parm_pll_intg_lim);
    return RegisterTask(list, &PLLStep, module);
}

void SplitSequences(PLL& m, const Abc& u, float theta, float ts) {
    const SeqDq fil =
        SequenceFeedback(m.split, {m.set_Udpos, m.set_Uqpos, m.set_Udneg, m.set_Uqneg});
    m.set_Udpos_fil = fil.dpos;
    m.set_Uqpos_fil = fil.qpos;
    m.set_Udneg_fil = fil.dneg;
    m.set_Uqneg_fil = fil.qneg;

    SeqDq seq{};
#if !SVG_REDUCED_BUILD
    if (m.parm_transtype_u != 0) {
        seq = SplitQuarterDelay(m.split, u, theta, m.set_grid_freq, ts);
        m.set_Upos = Magnitude(m.split.pos.alpha, m.split.pos.beta);
        m.set_Uneg = Magnitude(m.split.neg.alpha, m.split.neg.beta);
        m.set_Upos_fil = m.set_Upos;
        m.set_Uneg_fil = m.set_Uneg;
    } else
#else
    static_cast<void>(u);
    static_cast<void>(ts);
#endif
    {
        seq = SplitDoubleFrame({m.set_Ud_mix, m.set_Uq_mix}, fil, theta);
        m.set_Upos = Magnitude(seq.dpos, seq.qpos);
        m.set_Uneg = Magnitude(seq.dneg, seq.qneg);
        m.set_Upos_fil = Magnitude(fil.dpos, fil.qpos);
        m.set_Uneg_fil = Magnitude(fil.dneg, fil.qneg);
    }
    m.set_Udpos = seq.dpos;
    m.set_Uqpos = seq.qpos;
    m.set_Udneg = seq.dneg;
    m.set_Uqneg = seq.qneg;
}

void Regulate(PLL& m, float fnom) {
    RefreshGains(m);
    if (*m.flg_ZVRT_mod == 1) {
        m.temp_grid_freq_pre = fnom;
        PiRegStep(m.loop, 0.0f, 0);
        return;
    }
    // q voltage normalised by the positive-sequence magnitude, floored at 0.1 per unit so the
    // error stays finite when the voltage collapses.
    const float den = static_cast<double>(m.set_Upos_fil) > 0.1 ? m.set_Upos_fil : 0.1f;
    m.temp_err = m.set_Uqpos / den;
    m.temp_grid_freq_pre = PiRegStep(m.loop, Limit(m.temp_err, -1.0f, 1.0f), 1) + fnom;
}

}  // namespace

ModuleHeader* CreatePLL(Environment* env, ModuleHeader* module,
                        const char* instance_name) noexcept {
    InitHeader(module, env, "PLL", instance_name, &RegisterPLLTasks);
    RegisterSignals(module, kSignals);
    PLL& m = *As<PLL>(module);
    m.set_grid_freq = 50.0f;
    if constexpr (kReducedBuild) {
        m.parm_transtype_u = 0;  // the double synchronous frame is the only method
    }
    SequenceSplitCreate(m.split);
    WindowFill(m.win50, 200, 50.0f);
    WindowFill(m.win60a, 166, 60.0f);
    WindowFill(m.win60b, 167, 60.0f);
    return module;
}

void PLLStep(ModuleHeader* module) noexcept {
    PLL& m = *As<PLL>(module);
    const float ts = *m.Task1;
    const float fnom = *m.FrqHzNom;
    const float theta = m.set_grid_theta;
    DesignFilters(m, ts);

    const Abc u{*m.Uctrl_a_pu, *m.Uctrl_b_pu, *m.Uctrl_c_pu};
    m.temp_Uctrl_abc_pu[0] = u.a;
    m.temp_Uctrl_abc_pu[1] = u.b;
    m.temp_Uctrl_abc_pu[2] = u.c;
    m.set_Ud_mix = ParkD(u, theta);
    m.set_Uq_mix = ParkQ(u, theta);
    SplitSequences(m, u, theta, ts);
    Regulate(m, fnom);

    if constexpr (kReducedBuild) {
        // One filter step, an unclamped frequency and no per-unit frequency output.
        m.set_grid_theta = NextAngle(theta, ts, m.temp_grid_freq_pre);
        const float w = LpfStepFinite(m.freq_lpf, m.temp_grid_freq_pre);
        m.set_grid_freq = m.parm_pll_freq_filtype == 1 ? w : CycleAverage(m, fnom, w);
        return;
    }
    // The frequency filter advances twice per step when the nominal frequency is set: once
    // for the per-unit frequency and once for the frequency output.
    if (fnom == 0.0f) {
        m.set_w_GFL = 1e10f;
    } else {
        m.set_w_GFL = LpfStepFinite(m.freq_lpf, m.temp_grid_freq_pre) / fnom;
    }
    m.set_grid_theta = NextAngle(theta, ts, m.temp_grid_freq_pre);
    const float w = LpfStepFinite(m.freq_lpf, m.temp_grid_freq_pre);
    if (m.parm_pll_freq_filtype == 1) {
        m.set_grid_freq = w;
    } else {
        m.set_grid_freq = Limit(CycleAverage(m, fnom, w), 40.0f, 70.0f);
    }
}

}  // namespace svg
