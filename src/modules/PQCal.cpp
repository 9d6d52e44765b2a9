#include "modules/PQCal.h"

#include <cmath>
#include <cstddef>
#include <initializer_list>

#include "blocks/comparators.h"
#include "blocks/guarded.h"
#include "blocks/numeric.h"
#include "blocks/power.h"
#include "blocks/transforms.h"

namespace svg {
namespace {

// clang-format off
constexpr SignalRow kSignals[] = {
    {SignalKind::kVariable, offsetof(PQCal, set_Psvg_pu), "set_Psvg_pu type=f", "pu", "filtered converter active power"},
    {SignalKind::kVariable, offsetof(PQCal, set_Qsvg_pu), "set_Qsvg_pu type=f", "pu", "filtered converter reactive power, positive for a leading current"},
    {SignalKind::kVariable, offsetof(PQCal, set_P_sel_pu), "set_P_sel_pu type=f", "pu", "active power at the selected measuring point"},
    {SignalKind::kVariable, offsetof(PQCal, set_Q_sel_pu), "set_Q_sel_pu type=f", "pu", "reactive power at the selected measuring point"},
    {SignalKind::kVariable, offsetof(PQCal, set_PF_sel), "set_PF_sel type=f", "-", "power factor at the selected measuring point, 0 to 1"},
    {SignalKind::kVariable, offsetof(PQCal, set_Psvg), "set_Psvg type=f", "MW", "converter active power, magnitude"},
    {SignalKind::kVariable, offsetof(PQCal, set_Qsvg), "set_Qsvg type=f", "Mvar", "converter reactive power, negated when the power direction is reversed"},
    {SignalKind::kVariable, offsetof(PQCal, set_Ppcc), "set_Ppcc type=f", "MW", "active power at the point of common coupling"},
    {SignalKind::kVariable, offsetof(PQCal, set_Qpcc), "set_Qpcc type=f", "Mvar", "reactive power at the point of common coupling"},
    {SignalKind::kVariable, offsetof(PQCal, set_PFpcc), "set_PFpcc type=f", "-", "power factor at the point of common coupling, 0 to 1"},
    {SignalKind::kVariable, offsetof(PQCal, set_Ppoc), "set_Ppoc type=f", "MW", "active power at the point of connection"},
    {SignalKind::kVariable, offsetof(PQCal, set_Qpoc), "set_Qpoc type=f", "Mvar", "reactive power at the point of connection"},
    {SignalKind::kVariable, offsetof(PQCal, set_PFpoc), "set_PFpoc type=f", "-", "power factor at the point of connection, 0 to 1"},
    {SignalKind::kVariable, offsetof(PQCal, set_Psel), "set_Psel type=f", "MW", "active power at the selected measuring point"},
    {SignalKind::kVariable, offsetof(PQCal, set_Qsel), "set_Qsel type=f", "Mvar", "reactive power at the selected measuring point"},
    {SignalKind::kVariable, offsetof(PQCal, flg_P_low_block), "flg_P_low_block type=cu", "-", "low-active-power block latched"},
    {SignalKind::kVariable, offsetof(PQCal, flg_modfreq_sw), "flg_modfreq_sw type=cu", "-", "modulation-frequency switch active"},
    {SignalKind::kVariable, offsetof(PQCal, set_carrier_multi), "set_carrier_multi type=f ", "-", "carrier multiplier in use"},
    {SignalKind::kVariable, offsetof(PQCal, set_rcp_carrier_multi), "set_rcp_carrier_multi type=f ", "-", "reciprocal of the carrier multiplier in use"},
    {SignalKind::kVariable, offsetof(PQCal, order_filter), "order_filter type=cu", "-", "power filter order: 0 first-order, other values second-order"},
    {SignalKind::kVariable, offsetof(PQCal, dir_power_test), "dir_power_test type=cu", "-", "test switch: 1 negates the converter reactive power in Mvar"},
    {SignalKind::kVariable, offsetof(PQCal, Upoc_alpha), "Upoc_alpha type=f", "pu", "alpha component of the point-of-connection voltage"},
    {SignalKind::kVariable, offsetof(PQCal, Upoc_beta), "Upoc_beta type=f", "pu", "beta component of the point-of-connection voltage"},
    {SignalKind::kVariable, offsetof(PQCal, Upcc_alpha), "Upcc_alpha type=f", "pu", "alpha component of the point-of-common-coupling voltage"},
    {SignalKind::kVariable, offsetof(PQCal, Upcc_beta), "Upcc_beta type=f", "pu", "beta component of the point-of-common-coupling voltage"},
    {SignalKind::kVariable, offsetof(PQCal, Isys_alpha), "Isys_alpha type=f", "pu", "alpha component of the system current"},
    {SignalKind::kVariable, offsetof(PQCal, Isys_beta), "Isys_beta type=f", "pu", "beta component of the system current"},
    {SignalKind::kVariable, offsetof(PQCal, set_Psvg1), "set_Psvg1 type=f", "pu", "unfiltered converter active power product (1.5 times the dq product)"},
    {SignalKind::kVariable, offsetof(PQCal, set_Qsvg1), "set_Qsvg1 type=f", "pu", "unfiltered converter reactive power product (1.5 times the dq product)"},
    {SignalKind::kVariable, offsetof(PQCal, flg_run_delay), "flg_run_delay type=cu", "-", "converter running: set after 3 s of running, cleared 1 s after it stops"},
    {SignalKind::kVariable, offsetof(PQCal, err_Plow_in), "err_Plow_in type=f", "MW", "magnitude of the active power at the selected measuring point"},
    {SignalKind::kVariable, offsetof(PQCal, flg_Plowin_temp), "flg_Plowin_temp type=cu", "-", "low-power block entry condition before confirmation"},
    {SignalKind::kVariable, offsetof(PQCal, flg_Plowin_delay), "flg_Plowin_delay type=cu", "-", "low-power block entry condition after the confirmation time"},
    {SignalKind::kVariable, offsetof(PQCal, flg_Plowout_temp), "flg_Plowout_temp type=cu", "-", "low-power block exit condition before confirmation"},
    {SignalKind::kVariable, offsetof(PQCal, flg_Plowout_delay), "flg_Plowout_delay type=cu", "-", "low-power block exit condition after the confirmation time"},
    {SignalKind::kVariable, offsetof(PQCal, flg_freqsw_in_temp), "flg_freqsw_in_temp type=cu", "-", "frequency-switch entry condition before confirmation"},
    {SignalKind::kVariable, offsetof(PQCal, flg_freqswin_delay), "flg_freqswin_delay type=cu", "-", "frequency-switch entry condition after the confirmation time"},
    {SignalKind::kVariable, offsetof(PQCal, flg_freqsw_out_temp), "flg_freqsw_out_temp type=cu", "-", "frequency-switch exit condition before confirmation"},
    {SignalKind::kVariable, offsetof(PQCal, flg_freqswout_delay), "flg_freqswout_delay type=cu", "-", "frequency-switch exit condition after the confirmation time"},
    {SignalKind::kByteInput, offsetof(PQCal, flg_seq_running), "flg_seq_running type=cu", "-", "running command of the converter sequence"},
    {SignalKind::kFloatInput, offsetof(PQCal, Qn_Mvar), "Qn_Mvar type=f", "Mvar", "rated reactive power of the converter"},
    {SignalKind::kFloatInput, offsetof(PQCal, Ud_mix), "Ud_mix type=f", "pu", "d-axis grid voltage, positive and negative sequence mixed"},
    {SignalKind::kFloatInput, offsetof(PQCal, Uq_mix), "Uq_mix type=f", "pu", "q-axis grid voltage, positive and negative sequence mixed"},
    {SignalKind::kFloatInput, offsetof(PQCal, Id_mix), "Id_mix type=f", "pu", "d-axis converter current, positive and negative sequence mixed"},
    {SignalKind::kFloatInput, offsetof(PQCal, Iq_mix), "Iq_mix type=f", "pu", "q-axis converter current, positive and negative sequence mixed"},
    {SignalKind::kFloatInput, offsetof(PQCal, Isys_a_pu), "Isys_a_pu type=f", "pu", "phase-a system current, enabled current transformers summed"},
    {SignalKind::kFloatInput, offsetof(PQCal, Isys_b_pu), "Isys_b_pu type=f", "pu", "phase-b system current, enabled current transformers summed"},
    {SignalKind::kFloatInput, offsetof(PQCal, Isys_c_pu), "Isys_c_pu type=f", "pu", "phase-c system current, enabled current transformers summed"},
    {SignalKind::kFloatInput, offsetof(PQCal, Upcc_a_pu), "Upcc_a_pu type=f", "pu", "phase-a voltage at the point of common coupling"},
    {SignalKind::kFloatInput, offsetof(PQCal, Upcc_b_pu), "Upcc_b_pu type=f", "pu", "phase-b voltage at the point of common coupling"},
    {SignalKind::kFloatInput, offsetof(PQCal, Upcc_c_pu), "Upcc_c_pu type=f", "pu", "phase-c voltage at the point of common coupling"},
    {SignalKind::kFloatInput, offsetof(PQCal, Upoc_a_pu), "Upoc_a_pu type=f", "pu", "phase-a voltage at the point of connection"},
    {SignalKind::kFloatInput, offsetof(PQCal, Upoc_b_pu), "Upoc_b_pu type=f", "pu", "phase-b voltage at the point of connection"},
    {SignalKind::kFloatInput, offsetof(PQCal, Upoc_c_pu), "Upoc_c_pu type=f", "pu", "phase-c voltage at the point of connection"},
    {SignalKind::kFloatInput, offsetof(PQCal, Task1), "Task1 type=f", "s", "task 1 period; sample time of the power filters and confirmation timers"},
    {SignalKind::kFloatInput, offsetof(PQCal, Task2), "Task2 type=f", "s", "task 2 period (not read)"},
    {SignalKind::kFloatInput, offsetof(PQCal, Task3), "Task3 type=f", "s", "task 3 period (not read)"},
    {SignalKind::kByteInput, offsetof(PQCal, reset), "reset type=cu", "-", "clears the low-active-power block (not driven, 0)"},
    {SignalKind::kParameter, offsetof(PQCal, parm_pwr_filfc), "parm_pwr_filfc type=f default=471.0 option=1", "rad/s", "corner frequency of the power filters"},
    {SignalKind::kParameter, offsetof(PQCal, parm_ctrl_site), "parm_ctrl_site type=cu default=0 option=1", "-", "measuring point of the selected powers: 0 point of connection, else PCC"},
    {SignalKind::kParameter, offsetof(PQCal, ena_Plow_block), "ena_Plow_block type=cu default=0 option=1", "-", "enables the low-active-power block"},
    {SignalKind::kParameter, offsetof(PQCal, parm_Plow_in_thr), "parm_Plow_in_thr type=f default=1.0 option=1", "MW", "block entry level of the selected active power"},
    {SignalKind::kParameter, offsetof(PQCal, parm_Plow_out_thr), "parm_Plow_out_thr type=f default=5.0 option=1", "MW", "block exit level of the selected active power"},
    {SignalKind::kParameter, offsetof(PQCal, parm_Plow_in_delay), "parm_Plow_in_delay type=f default=5.0 option=1", "s", "low-power block entry confirmation time"},
    {SignalKind::kParameter, offsetof(PQCal, parm_Plow_out_delay), "parm_Plow_out_delay type=f default=5.0 option=1", "s", "low-power block exit confirmation time"},
    {SignalKind::kParameter, offsetof(PQCal, ena_modfreq_sw), "ena_modfreq_sw type=cu default=0 option=1", "-", "enables the modulation-frequency switch"},
    {SignalKind::kParameter, offsetof(PQCal, parm_freqsw_in_thr), "parm_freqsw_in_thr type=f default=0.1 option=1", "pu", "switch-in level of the converter reactive power magnitude"},
    {SignalKind::kParameter, offsetof(PQCal, parm_freqsw_out_thr), "parm_freqsw_out_thr type=f default=0.2 option=1", "pu", "switch-out level of the converter reactive power magnitude"},
    {SignalKind::kParameter, offsetof(PQCal, parm_freqsw_in_delay), "parm_freqsw_in_delay type=f default=1.0 option=1", "s", "frequency-switch entry confirmation time"},
    {SignalKind::kParameter, offsetof(PQCal, parm_freqsw_out_delay), "parm_freqsw_out_delay type=f default=1.0 option=1", "s", "frequency-switch exit confirmation time"},
    {SignalKind::kParameter, offsetof(PQCal, parm_carrier_multi_high), "parm_carrier_multi_high type=f default=4.0 option=1", "-", "carrier multiplier while the modulation-frequency switch is active"},
    {SignalKind::kParameter, offsetof(PQCal, parm_carrier_multi_low), "parm_carrier_multi_low type=f default=3.0 option=1", "-", "carrier multiplier otherwise"},
    {SignalKind::kParameter, offsetof(PQCal, parm_dir_power), "parm_dir_power type=cu default=0 option=1", "-", "power direction: 1 negates the converter reactive power in Mvar"},
};
// clang-format on

// Counter units (host steps x 100) of the running delay: 3 s on, 1 s off.
constexpr float kRunOnDelay = 3000000.0f;
constexpr float kRunOffDelay = 1000000.0f;

// The 2/3 that cancels the 1.5 of the amplitude-invariant power product.
float TwoThirds(float x) { return x * 2.0f / 3.0f; }

void DesignFilters(PQCal& m, float ts) {
    for (int k = 0; k < kPowerChannels; ++k) {
        ButterLpfDesign(m.second[k], ts, m.parm_pwr_filfc);
        LpfFirstDesign(m.first[k], ts, m.parm_pwr_filfc);
    }
}

int RegisterPQCalTasks(ModuleHeader* module, int list) {
    if (RegisterTask(list, &PQCalStep, module) != 0) {
        return 1;
    }
    PQCal& m = *As<PQCal>(module);
    DesignFilters(m, *m.Task1);
    return 0;
}

// Levels (comparator thresholds on and off) and confirmation times (s) of a timed latch.
struct LatchLevels {
    float in_on;
    float in_off;
    float out_on;
    float out_off;
    float in_delay;
    float out_delay;
};

// Entry and exit conditions before and after their on-delays.
struct LatchConditions {
    std::uint8_t in_temp;
    std::uint8_t in_delay;
    std::uint8_t out_temp;
    std::uint8_t out_delay;
};

// Entry: x below the entry level (hysteresis upwards); exit: x above the exit level
// (hysteresis downwards). A disabled entry condition reads 0, a disabled exit condition 1.
LatchConditions LatchStep(TimedLatch& l, float x, const LatchLevels& lv, bool in_enabled,
                          bool out_enabled, float ts) {
    LatchConditions c{};
    if (in_enabled) {
        l.in_above = HystCmp(x, lv.in_on, lv.in_off, l.in_above);
        c.in_temp = l.in_above ? 0 : 1;
    }
    c.out_temp = 1;
    if (out_enabled) {
        l.out_above = HystCmp(x, lv.out_on, lv.out_off, l.out_above);
        c.out_temp = l.out_above ? 1 : 0;
    }
    c.in_delay = static_cast<std::uint8_t>(
        TonTimer(c.in_temp, l.in_prev, lv.in_delay, l.in_remaining, ts) != 0 ? 1 : 0);
    c.out_delay = static_cast<std::uint8_t>(
        TonTimer(c.out_temp, l.out_prev, lv.out_delay, l.out_remaining, ts) != 0 ? 1 : 0);
    return c;
}

// Set wins over clear; neither keeps the latch.
std::uint8_t Latch(std::uint8_t latch, std::uint8_t set, bool clear) {
    if (set != 0) {
        return 1;
    }
    return clear ? 0 : latch;
}

void Powers(PQCal& m) {
    const AlphaBeta upoc = ClarkeAbc({*m.Upoc_a_pu, *m.Upoc_b_pu, *m.Upoc_c_pu});
    const AlphaBeta upcc = ClarkeAbc({*m.Upcc_a_pu, *m.Upcc_b_pu, *m.Upcc_c_pu});
    const AlphaBeta isys = ClarkeAbc({*m.Isys_a_pu, *m.Isys_b_pu, *m.Isys_c_pu});
    m.Upoc_alpha = upoc.alpha;
    m.Upoc_beta = upoc.beta;
    m.Upcc_alpha = upcc.alpha;
    m.Upcc_beta = upcc.beta;
    m.Isys_alpha = isys.alpha;
    m.Isys_beta = isys.beta;

    // The current is the first vector, the voltage the second.
    const PowerPq svg = PowerAlphaBeta({*m.Id_mix, *m.Iq_mix}, {*m.Ud_mix, *m.Uq_mix});
    const PowerPq poc = PowerAlphaBeta(isys, upoc);
    const PowerPq pcc = PowerAlphaBeta(isys, upcc);
    m.set_Psvg1 = svg.p;
    m.set_Qsvg1 = svg.q;
    m.Ppoc_raw = poc.p;
    m.Qpoc_raw = poc.q;
    m.Ppcc_raw = pcc.p;
    m.Qpcc_raw = pcc.q;

    DesignFilters(m, *m.Task1);
    const float raw[kPowerChannels] = {m.set_Psvg1, m.set_Qsvg1, m.Ppoc_raw,
                                       m.Qpoc_raw,  m.Ppcc_raw,  m.Qpcc_raw};
    float y[kPowerChannels];
    for (int k = 0; k < kPowerChannels; ++k) {
        y[k] = m.order_filter == 0 ? LpfStepFinite(m.first[k], raw[k])
                                   : IirStepFinite(m.second[k], raw[k]);
    }
    // Reactive power is counted positive for a current leading the voltage.
    m.set_Psvg_pu = TwoThirds(y[kPsvg]);
    m.set_Qsvg_pu = -TwoThirds(y[kQsvg]);
    m.Ppoc_pu = TwoThirds(y[kPpoc]);
    m.Qpoc_pu = -TwoThirds(y[kQpoc]);
    m.Ppcc_pu = TwoThirds(y[kPpcc]);
    m.Qpcc_pu = -TwoThirds(y[kQpcc]);

    m.set_PFpoc = std::fabs(PowerFactorCalc(m.Ppoc_pu, m.Qpoc_pu));
    m.set_PFpcc = std::fabs(PowerFactorCalc(m.Ppcc_pu, m.Qpcc_pu));
    if (m.parm_ctrl_site == 0) {
        m.set_P_sel_pu = m.Ppoc_pu;
        m.set_Q_sel_pu = m.Qpoc_pu;
        m.set_PF_sel = m.set_PFpoc;
    } else {
        m.set_P_sel_pu = m.Ppcc_pu;
        m.set_Q_sel_pu = m.Qpcc_pu;
        m.set_PF_sel = m.set_PFpcc;
    }

    const float qn = *m.Qn_Mvar;
    m.set_Qsvg = qn * m.set_Qsvg_pu;
    if (m.parm_dir_power != 0 || m.dir_power_test != 0) {
        m.set_Qsvg = -m.set_Qsvg;
    }
    m.set_Psvg = std::fabs(qn * m.set_Psvg_pu);
    m.set_Ppcc = qn * m.Ppcc_pu;
    m.set_Qpcc = qn * m.Qpcc_pu;
    m.set_Ppoc = qn * m.Ppoc_pu;
    m.set_Qpoc = qn * m.Qpoc_pu;
    m.set_Psel = qn * m.set_P_sel_pu;
    m.set_Qsel = qn * m.set_Q_sel_pu;
}

// flg_run_delay rises after 3 s of running and falls 1 s after the sequence stops.
void RunningDelay(PQCal& m) {
    m.flg_run_delay =
        CounterConfirmedFlag(m.flg_run_delay, *m.flg_seq_running != 0, m.t_run_on, m.t_run_off,
                             m.hdr.env->time_counter, kRunOnDelay, kRunOffDelay);
}

void LowPowerBlock(PQCal& m, float ts) {
    m.err_Plow_in = std::fabs(*m.Qn_Mvar * m.set_P_sel_pu);
    const bool enabled = m.ena_Plow_block == 1;
    const LatchLevels lv{1.05f * m.parm_Plow_in_thr,  m.parm_Plow_in_thr,   m.parm_Plow_out_thr,
                         0.95f * m.parm_Plow_out_thr, m.parm_Plow_in_delay, m.parm_Plow_out_delay};
    const LatchConditions c =
        LatchStep(m.plow, m.err_Plow_in, lv, enabled && m.flg_run_delay == 1, enabled, ts);
    m.flg_Plowin_temp = c.in_temp;
    m.flg_Plowin_delay = c.in_delay;
    m.flg_Plowout_temp = c.out_temp;
    m.flg_Plowout_delay = c.out_delay;
    m.flg_P_low_block = Latch(m.flg_P_low_block, c.in_delay, c.out_delay != 0 || *m.reset != 0);
}

void ModulationFrequencySwitch(PQCal& m, float ts) {
    const bool enabled = m.ena_modfreq_sw == 1 && m.flg_run_delay == 1;
    const LatchLevels lv{1.05f * m.parm_freqsw_in_thr, m.parm_freqsw_in_thr,
                         m.parm_freqsw_out_thr,        0.95f * m.parm_freqsw_out_thr,
                         m.parm_freqsw_in_delay,       m.parm_freqsw_out_delay};
    const LatchConditions c =
        LatchStep(m.freqsw, std::fabs(m.set_Qsvg_pu), lv, enabled, enabled, ts);
    m.flg_freqsw_in_temp = c.in_temp;
    m.flg_freqswin_delay = c.in_delay;
    m.flg_freqsw_out_temp = c.out_temp;
    m.flg_freqswout_delay = c.out_delay;
    m.flg_modfreq_sw = Latch(m.flg_modfreq_sw, c.in_delay, c.out_delay != 0);
    m.set_carrier_multi =
        m.flg_modfreq_sw == 1 ? m.parm_carrier_multi_high : m.parm_carrier_multi_low;
    m.set_rcp_carrier_multi = SafeRcp(m.set_carrier_multi);
}

}  // namespace

ModuleHeader* CreatePQCal(Environment* env, ModuleHeader* module,
                          const char* instance_name) noexcept {
    InitHeader(module, env, "PQCAL", instance_name, &RegisterPQCalTasks);
    PQCal& m = *As<PQCal>(module);
    for (IirFilter& f : m.second) {
        if (!IirFilterCreate(f, 2)) {
            return nullptr;
        }
    }
    RegisterSignals(module, kSignals);
    // Outputs, flags, comparators and timers start at 0 with the zero-filled record; the
    // stamps and the on-delay timers start at the counter value (0 while the build runs).
    const auto now = static_cast<float>(env->time_counter);
    m.t_run_on = now;
    m.t_run_off = now;
    for (TimedLatch* l : {&m.plow, &m.freqsw}) {
        l->in_remaining = now;
        l->out_remaining = now;
    }
    return module;
}

void PQCalStep(ModuleHeader* module) noexcept {
    PQCal& m = *As<PQCal>(module);
    const float ts = *m.Task1;
    Powers(m);
    RunningDelay(m);
    LowPowerBlock(m, ts);
    ModulationFrequencySwitch(m, ts);
}

}  // namespace svg
