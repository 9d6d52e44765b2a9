#include "modules/UdcVolCtrl.h"

#include <cmath>
#include <cstddef>
#include <initializer_list>
#include <limits>

#include "blocks/comparators.h"
#include "blocks/numeric.h"
#include "blocks/transforms.h"

namespace svg {
namespace {

// clang-format off
constexpr SignalRow kSignals[] = {
    {SignalKind::kSharedVariable, offsetof(UdcVolCtrl, set_Udccmd_final), "set_Udccmd_final type=f level=1", "V", "ramped DC voltage reference, scaled back to volts with parm_Udccmd"},
    {SignalKind::kSharedVariable, offsetof(UdcVolCtrl, set_Udc_mean), "set_Udc_mean type=f level=1", "V", "mean cell DC voltage scaled back to volts with parm_Udccmd"},
    {SignalKind::kSharedVariable, offsetof(UdcVolCtrl, set_Idpos_ref), "set_Idpos_ref type=f", "pu", "positive-sequence d-axis current reference from the DC voltage regulator"},
    {SignalKind::kVariable, offsetof(UdcVolCtrl, set_Idneg_cl_ref), "set_Idneg_cl_ref type=f", "pu", "negative-sequence d-axis cluster balancing current reference"},
    {SignalKind::kVariable, offsetof(UdcVolCtrl, set_Iqneg_cl_ref), "set_Iqneg_cl_ref type=f", "pu", "negative-sequence q-axis cluster balancing current reference"},
    {SignalKind::kVariable, offsetof(UdcVolCtrl, set_Udcctrl_follow), "set_Udcctrl_follow type=f", "pu", "integrator state of the DC voltage regulator, offered for tracking"},
    {SignalKind::kVariable, offsetof(UdcVolCtrl, set_Idnegctrl_cl_follow), "set_Idnegctrl_cl_follow type=f", "pu", "integrator state of the d-axis balancing regulator"},
    {SignalKind::kVariable, offsetof(UdcVolCtrl, set_Iqnegctrl_cl_follow), "set_Iqnegctrl_cl_follow type=f", "pu", "integrator state of the q-axis balancing regulator"},
    {SignalKind::kVariable, offsetof(UdcVolCtrl, udc_fbk_pu), "udc_fbk_pu type=f", "pu", "mean of the three scaled cluster DC voltages"},
    {SignalKind::kVariable, offsetof(UdcVolCtrl, udc_ref_pu), "udc_ref_pu type=f", "pu", "ramped DC voltage reference"},
    {SignalKind::kVariable, offsetof(UdcVolCtrl, Udc_err), "Udc_err type=f", "pu", "error of the DC voltage regulator, reference minus mean"},
    {SignalKind::kVariable, offsetof(UdcVolCtrl, Ineg_ena_temp), "Ineg_ena_temp type=cu", "-", "cluster balancing regulators enabled (enable set and running)"},
    {SignalKind::kVariable, offsetof(UdcVolCtrl, Idnegctrl_err), "Idnegctrl_err type=f", "pu", "d-axis balancing error: mean minus ripple-filtered phase-A voltage"},
    {SignalKind::kVariable, offsetof(UdcVolCtrl, Iqnegctrl_err), "Iqnegctrl_err type=f", "pu", "q-axis balancing error: ripple-filtered phase-B minus phase-C voltage"},
    {SignalKind::kVariable, offsetof(UdcVolCtrl, Udc_A_delay), "Udc_A_delay type=f", "pu", "phase-A cluster voltage delayed by half a ripple period"},
    {SignalKind::kVariable, offsetof(UdcVolCtrl, Udc_A_fil), "Udc_A_fil type=f", "pu", "phase-A cluster voltage freed of the double-frequency ripple"},
    {SignalKind::kVariable, offsetof(UdcVolCtrl, length), "length type=iu", "-", "length of the phase-A delay line in samples"},
    {SignalKind::kVariable, offsetof(UdcVolCtrl, index), "index type=iu", "-", "write position of the phase-A delay line"},
    {SignalKind::kVariable, offsetof(UdcVolCtrl, freq_temp), "freq_temp type=cu", "Hz", "integer part of the nominal frequency"},
    {SignalKind::kVariable, offsetof(UdcVolCtrl, temp5), "temp5 type=f", "-", "delay-line selection: 1 for 50 Hz, 2 for 60 Hz, 3 for any other frequency"},
    {SignalKind::kVariable, offsetof(UdcVolCtrl, UdcASum_FPGA), "UdcASum_FPGA type=lu", "-", "phase-A cell voltage sum slot, not written by this module (0)"},
    {SignalKind::kVariable, offsetof(UdcVolCtrl, UdcBSum_FPGA), "UdcBSum_FPGA type=lu", "-", "phase-B cell voltage sum slot, not written by this module (0)"},
    {SignalKind::kVariable, offsetof(UdcVolCtrl, UdcCSum_FPGA), "UdcCSum_FPGA type=lu", "-", "phase-C cell voltage sum slot, not written by this module (0)"},
    {SignalKind::kVariable, offsetof(UdcVolCtrl, u16A), "u16A type=iu", "-", "phase-A raw value slot, not written by this module (0)"},
    {SignalKind::kVariable, offsetof(UdcVolCtrl, u16B), "u16B type=iu", "-", "phase-B raw value slot, not written by this module (0)"},
    {SignalKind::kVariable, offsetof(UdcVolCtrl, u16C), "u16C type=iu", "-", "phase-C raw value slot, not written by this module (0)"},
    {SignalKind::kVariable, offsetof(UdcVolCtrl, test1), "test1 type=cu", "-", "debug signal, always 0"},
    {SignalKind::kFloatInput, offsetof(UdcVolCtrl, Udc_A_mean), "Udc_A_mean type=f", "V", "mean cell DC voltage of the phase-A cluster"},
    {SignalKind::kFloatInput, offsetof(UdcVolCtrl, Udc_B_mean), "Udc_B_mean type=f", "V", "mean cell DC voltage of the phase-B cluster"},
    {SignalKind::kFloatInput, offsetof(UdcVolCtrl, Udc_C_mean), "Udc_C_mean type=f", "V", "mean cell DC voltage of the phase-C cluster"},
    {SignalKind::kFloatInput, offsetof(UdcVolCtrl, rcp_Udccmd), "rcp_Udccmd type=f", "1/V", "reciprocal of the meter module's DC voltage command; scales volts to per unit"},
    {SignalKind::kFloatInput, offsetof(UdcVolCtrl, Udcctrl_fosys), "Udcctrl_fosys type=f", "pu", "tracking value of the DC voltage regulator integrator (not driven, 0)"},
    {SignalKind::kFloatInput, offsetof(UdcVolCtrl, Idnegctrl_cl_fosys), "Idnegctrl_cl_fosys type=f", "pu", "tracking value of the d-axis balancing integrator (not driven, 0)"},
    {SignalKind::kFloatInput, offsetof(UdcVolCtrl, Iqnegctrl_cl_fosys), "Iqnegctrl_cl_fosys type=f", "pu", "tracking value of the q-axis balancing integrator (not driven, 0)"},
    {SignalKind::kFloatInput, offsetof(UdcVolCtrl, Task1), "Task1 type=f", "s", "task 1 period; sample time of the regulators, ramp and deblock delay"},
    {SignalKind::kFloatInput, offsetof(UdcVolCtrl, Task2), "Task2 type=f", "s", "task 2 period (not read)"},
    {SignalKind::kFloatInput, offsetof(UdcVolCtrl, Task3), "Task3 type=f", "s", "task 3 period (not read)"},
    {SignalKind::kFloatInput, offsetof(UdcVolCtrl, FrqHzNom), "FrqHzNom type=f", "Hz", "nominal grid frequency; selects the ripple delay lines"},
    {SignalKind::kByteInput, offsetof(UdcVolCtrl, flg_LVRT_mod), "flg_LVRT_mod type=cu", "-", "low-voltage ride-through active; selects the LVRT DC voltage command"},
    {SignalKind::kByteInput, offsetof(UdcVolCtrl, flg_HVRT_mod), "flg_HVRT_mod type=cu", "-", "high-voltage ride-through active; selects the HVRT DC voltage command"},
    {SignalKind::kByteInput, offsetof(UdcVolCtrl, flg_seq_deblock), "flg_seq_deblock type=cu", "-", "deblock command; enables the DC voltage regulator"},
    {SignalKind::kByteInput, offsetof(UdcVolCtrl, flg_seq_running), "flg_seq_running type=cu", "-", "running command; enables the balancing regulators"},
    {SignalKind::kByteInput, offsetof(UdcVolCtrl, flg_update_fosys), "flg_update_fosys type=cu", "-", "integrator tracking request (not driven, always 0)"},
    {SignalKind::kFloatInput, offsetof(UdcVolCtrl, Ipqref_lock), "Ipqref_lock type=f", "pu", "locked current reference slot (not driven, not read)"},
    {SignalKind::kFloatInput, offsetof(UdcVolCtrl, Upos_fil), "Upos_fil type=f", "pu", "filtered positive-sequence voltage slot (not driven, not read)"},
    {SignalKind::kByteInput, offsetof(UdcVolCtrl, trans_type), "trans_type type=cu", "-", "coupling arrangement code; 3 leaves the q-axis balancing error unscaled"},
    {SignalKind::kByteInput, offsetof(UdcVolCtrl, GFM_Blk_OtLoop), "GFM_Blk_OtLoop type=cu", "-", "grid-forming active: the DC voltage integrator tracks Idref_GFM"},
    {SignalKind::kFloatInput, offsetof(UdcVolCtrl, Idref_GFM), "Idref_GFM type=f", "pu", "grid-forming d-axis current reference, tracked while grid-forming is active"},
    {SignalKind::kParameter, offsetof(UdcVolCtrl, parm_Udccmd), "parm_Udccmd type=f default=1050 option=1", "V", "rated cell DC voltage; scales the reference and mean back to volts", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(UdcVolCtrl, parm_Udccmd), "parm_Udccmd type=f default=950 option=1", "V", "rated cell DC voltage; scales the reference and mean back to volts", Builds::kReducedOnly},
    {SignalKind::kParameter, offsetof(UdcVolCtrl, parm_Udccmd_HVRT), "parm_Udccmd_HVRT type=f default=1.0 option=1", "pu", "per-unit DC voltage command during high-voltage ride-through", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(UdcVolCtrl, parm_Udccmd_HVRT), "parm_Udccmd_HVRT type=f default=1.1 option=1", "pu", "per-unit DC voltage command during high-voltage ride-through", Builds::kReducedOnly},
    {SignalKind::kParameter, offsetof(UdcVolCtrl, parm_Udccmd_LVRT), "parm_Udccmd_LVRT type=f default=1.0 option=1", "pu", "per-unit DC voltage command during low-voltage ride-through"},
    {SignalKind::kParameter, offsetof(UdcVolCtrl, parm_Udccmd_slope), "parm_Udccmd_slope type=f default=10 option=1", "pu/s", "rise rate of the DC voltage reference"},
    {SignalKind::kParameter, offsetof(UdcVolCtrl, parm_Udcctrl_kp), "parm_Udcctrl_kp type=f default=2.91 option=1", "-", "proportional gain of the DC voltage regulator"},
    {SignalKind::kParameter, offsetof(UdcVolCtrl, parm_Udcctrl_ki), "parm_Udcctrl_ki type=f default=100 option=1", "-", "integral gain of the DC voltage regulator"},
    {SignalKind::kParameter, offsetof(UdcVolCtrl, parm_Udcctrl_pilim), "parm_Udcctrl_pilim type=f default=1 option=1", "pu", "output limit of the DC voltage regulator (current)", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(UdcVolCtrl, parm_Udcctrl_pilim), "parm_Udcctrl_pilim type=f default=0.0 option=1", "pu", "output limit of the DC voltage regulator (current)", Builds::kReducedOnly},
    {SignalKind::kParameter, offsetof(UdcVolCtrl, parm_Udcctrl_kilim), "parm_Udcctrl_kilim type=f default=1 option=1", "pu", "integrator limit of the DC voltage regulator", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(UdcVolCtrl, parm_Udcctrl_kilim), "parm_Udcctrl_kilim type=f default=2 option=1", "pu", "integrator limit of the DC voltage regulator", Builds::kReducedOnly},
    {SignalKind::kParameter, offsetof(UdcVolCtrl, ena_Inegctrl_cl), "ena_Inegctrl_cl type=cu default=1 option=1", "-", "enables the cluster balancing regulators"},
    {SignalKind::kParameter, offsetof(UdcVolCtrl, parm_Inegctrl_kp), "parm_Inegctrl_kp type=f default=1.5 option=1", "-", "proportional gain of the balancing regulators", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(UdcVolCtrl, parm_Inegctrl_kp), "parm_Inegctrl_kp type=f default=2.91 option=1", "-", "proportional gain of the balancing regulators", Builds::kReducedOnly},
    {SignalKind::kParameter, offsetof(UdcVolCtrl, parm_Inegctrl_ki), "parm_Inegctrl_ki type=f default=4 option=1", "-", "integral gain of the balancing regulators", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(UdcVolCtrl, parm_Inegctrl_ki), "parm_Inegctrl_ki type=f default=10 option=1", "-", "integral gain of the balancing regulators", Builds::kReducedOnly},
    {SignalKind::kParameter, offsetof(UdcVolCtrl, parm_Inegctrl_pilim), "parm_Inegctrl_pilim type=f default=0.5 option=1", "pu", "output limit of the balancing regulators", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(UdcVolCtrl, parm_Inegctrl_pilim), "parm_Inegctrl_pilim type=f default=2 option=1", "pu", "output limit of the balancing regulators", Builds::kReducedOnly},
    {SignalKind::kParameter, offsetof(UdcVolCtrl, parm_Inegctrl_kilim), "parm_Inegctrl_kilim type=f default=0.5 option=1", "pu", "integrator limit of the balancing regulators", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(UdcVolCtrl, parm_Inegctrl_kilim), "parm_Inegctrl_kilim type=f default=10 option=1", "pu", "integrator limit of the balancing regulators", Builds::kReducedOnly},
    {SignalKind::kParameter, offsetof(UdcVolCtrl, parm_CapPM), "parm_CapPM type=f default=3.68 option=1", "-", "cell capacitance setting; no effect on this module"},
};
// clang-format on

constexpr float kInf = std::numeric_limits<float>::infinity();
// Deblock on-delay before the command takes over from the measured voltage, s.
constexpr float kDeblockDelay = 0.0008f;
// Blend of the 41- and 42-sample lines into 41 2/3 samples at 60 Hz.
constexpr float kOneThird = 1.0f / 3.0f;
// The q-axis balancing error is scaled by 1/sqrt(3) (kRcpSqrt3), except with transformer
// type 3.
constexpr std::uint8_t kTransTypeUnscaled = 3;
// Nominal frequencies with their own delay lines, Hz, and the temp5 code of each.
constexpr std::uint8_t kHz50 = 50;
constexpr std::uint8_t kHz60 = 60;
constexpr float kHighestWholeHz = 255.0f;  // the whole hertz are kept in a byte

// The regulators' anti-windup gain.
constexpr float kAntiWindup = 1.0f;

int RegisterUdcVolCtrlTasks(ModuleHeader* module, int list) {
    UdcVolCtrl& m = *As<UdcVolCtrl>(module);
    for (int k = 0; k < kClusters; ++k) {
        RingDelayInit(m.ripple50[k], m.ripple50_buf[k], kRipple50Len, 0.0f);
        RingDelayInit(m.ripple41[k], m.ripple41_buf[k], kRipple60ShortLen, 0.0f);
        RingDelayInit(m.ripple42[k], m.ripple42_buf[k], kRipple60LongLen, 0.0f);
    }
    const float ts = *m.Task1;
    PiRegDesign(m.Udc_pi, ts, m.parm_Udcctrl_kp, m.parm_Udcctrl_ki, kAntiWindup,
                m.parm_Udcctrl_pilim, -m.parm_Udcctrl_kilim, m.parm_Udcctrl_kilim);
    for (PiReg* pi : {&m.Idneg_pi, &m.Iqneg_pi}) {
        PiRegDesign(*pi, ts, m.parm_Inegctrl_kp, m.parm_Inegctrl_ki, kAntiWindup,
                    m.parm_Inegctrl_pilim, -m.parm_Inegctrl_kilim, m.parm_Inegctrl_kilim);
    }
    m.length = m.ripple50[0].Len;
    return RegisterTask(list, &UdcVolCtrlStep, module) != 0 ? 1 : 0;
}

void Measurement(UdcVolCtrl& m) {
    // Whole hertz, saturated to the byte: a NaN or negative frequency gives 0, anything from
    // 255 Hz up gives 255; both use the 50 Hz lines.
    m.freq_temp =
        static_cast<std::uint8_t>(TruncToUint32(Limit(*m.FrqHzNom, 0.0f, kHighestWholeHz)));
    const float rcp = *m.rcp_Udccmd;
    m.Udc_A_pu = *m.Udc_A_mean * rcp;
    m.Udc_B_pu = *m.Udc_B_mean * rcp;
    m.Udc_C_pu = *m.Udc_C_mean * rcp;
    m.udc_fbk_pu = (m.Udc_B_pu + m.Udc_A_pu + m.Udc_C_pu) / 3.0f;
    m.set_Udc_mean = m.udc_fbk_pu * m.parm_Udccmd;

    if (m.freq_temp == kHz50) {
        m.temp5 = 1.0f;
    } else if (m.freq_temp == kHz60) {
        m.temp5 = 2.0f;
    } else {
        m.temp5 = 3.0f;
    }
    // Every line is fed at every step, so a change of the nominal frequency finds a full
    // history in the lines it switches to.
    const float pu[kClusters] = {m.Udc_A_pu, m.Udc_B_pu, m.Udc_C_pu};
    float delayed[kClusters];
    for (int k = 0; k < kClusters; ++k) {
        const float d50 = RingDelayStep(m.ripple50[k], pu[k]);
        const float d41 = RingDelayStep(m.ripple41[k], pu[k]);
        const float d42 = RingDelayStep(m.ripple42[k], pu[k]);
        delayed[k] = m.freq_temp == kHz60 ? kOneThird * d41 + kTwoThirds * d42 : d50;
    }
    m.Udc_A_delay = delayed[0];
    m.Udc_B_delay = delayed[1];
    m.Udc_C_delay = delayed[2];
    m.index = m.ripple50[0].Pos;
    m.Udc_A_fil = (m.Udc_A_pu + m.Udc_A_delay) * 0.5f;
    m.Udc_B_fil = (m.Udc_B_pu + m.Udc_B_delay) * 0.5f;
    m.Udc_C_fil = (m.Udc_C_pu + m.Udc_C_delay) * 0.5f;
}

// The command: 1.0, or the ride-through command of the one active direction. Before the
// deblock delay has passed the reference follows the measured voltage; rises of the target
// are ramped at the set slope, falls take effect at once.
void Reference(UdcVolCtrl& m, float ts) {
    const std::uint8_t lvrt = *m.flg_LVRT_mod;
    const std::uint8_t hvrt = *m.flg_HVRT_mod;
    if (lvrt == 1 && hvrt == 0) {
        m.Udccmd_sel = m.parm_Udccmd_LVRT;
    } else if (lvrt == 0 && hvrt == 1) {
        m.Udccmd_sel = m.parm_Udccmd_HVRT;
    } else {
        m.Udccmd_sel = 1.0f;
    }
    m.flg_deblock_dly =
        TonTimer(*m.flg_seq_deblock, m.deblock_prev, kDeblockDelay, m.deblock_remaining, ts) == 1
            ? 1
            : 0;
    m.Udccmd_target = m.flg_deblock_dly == 1 ? m.Udccmd_sel : m.udc_fbk_pu;
    m.Udccmd_ramp += LimitSym(m.Udccmd_target - m.Udccmd_ramp, ts * m.parm_Udccmd_slope);
    // A ramp driven out of the finite range (an infinite task period) restarts from 0.
    if (!std::isfinite(m.Udccmd_ramp)) {
        m.Udccmd_ramp = 0.0f;
    }
    m.udc_ref_pu =
        m.Udccmd_ramp > m.Udccmd_target ? m.Udccmd_target : Limit(m.Udccmd_ramp, 0.0f, kInf);
    m.set_Udccmd_final = m.udc_ref_pu * m.parm_Udccmd;
}

void DcVoltageRegulator(UdcVolCtrl& m, float ts) {
    float int_max = m.parm_Udcctrl_kilim;
    float int_min = -m.parm_Udcctrl_kilim;
    if (*m.flg_update_fosys == 1) {
        int_max = int_min = *m.Udcctrl_fosys;
    } else if (*m.GFM_Blk_OtLoop == 1) {
        int_max = int_min = *m.Idref_GFM;
    }
    PiRegDesign(m.Udc_pi, ts, m.parm_Udcctrl_kp, m.parm_Udcctrl_ki, kAntiWindup,
                m.parm_Udcctrl_pilim, int_min, int_max);
    m.Udc_err = m.udc_ref_pu - m.udc_fbk_pu;
    m.set_Idpos_ref = PiRegStep(m.Udc_pi, m.Udc_err, *m.flg_seq_deblock);
    m.set_Udcctrl_follow = m.Udc_pi.I;
}

// One balancing regulator: tracks its tracking input while integrator tracking is on.
float Balancing(UdcVolCtrl& m, PiReg& pi, float err, float fosys, float ts) {
    const bool track = *m.flg_update_fosys == 1;
    PiRegDesign(pi, ts, m.parm_Inegctrl_kp, m.parm_Inegctrl_ki, kAntiWindup, m.parm_Inegctrl_pilim,
                track ? fosys : -m.parm_Inegctrl_kilim, track ? fosys : m.parm_Inegctrl_kilim);
    return PiRegStep(pi, err, m.Ineg_ena_temp);
}

void BalancingRegulators(UdcVolCtrl& m, float ts) {
    m.Ineg_ena_temp = m.ena_Inegctrl_cl != 0 && *m.flg_seq_running != 0 ? 1 : 0;
    m.Idnegctrl_err = m.udc_fbk_pu - m.Udc_A_fil;
    m.set_Idneg_cl_ref = Balancing(m, m.Idneg_pi, m.Idnegctrl_err, *m.Idnegctrl_cl_fosys, ts);
    m.set_Idnegctrl_cl_follow = m.Idneg_pi.I;
    m.Iqnegctrl_err = m.Udc_B_fil - m.Udc_C_fil;
    if (*m.trans_type != kTransTypeUnscaled) {
        m.Iqnegctrl_err *= kRcpSqrt3;
    }
    m.set_Iqneg_cl_ref = Balancing(m, m.Iqneg_pi, m.Iqnegctrl_err, *m.Iqnegctrl_cl_fosys, ts);
    m.set_Iqnegctrl_cl_follow = m.Iqneg_pi.I;
}

}  // namespace

ModuleHeader* CreateUdcVolCtrl(Environment* env, ModuleHeader* module,
                               const char* instance_name) noexcept {
    InitHeader(module, env, "UdcVolCtrl", instance_name, &RegisterUdcVolCtrlTasks);
    RegisterSignals(module, kSignals);
    // Outputs, measurements, filter values, errors, the reference state and the deblock
    // timer start at 0 with the zero-filled record.
    return module;
}

void UdcVolCtrlStep(ModuleHeader* module) noexcept {
    UdcVolCtrl& m = *As<UdcVolCtrl>(module);
    const float ts = *m.Task1;
    Measurement(m);
    Reference(m, ts);
    DcVoltageRegulator(m, ts);
    BalancingRegulators(m, ts);
}

}  // namespace svg
