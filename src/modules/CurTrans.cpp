#include "modules/CurTrans.h"

#include <cmath>
#include <cstddef>

#include "blocks/guarded.h"
#include "blocks/transforms.h"

namespace svg {
namespace {

// clang-format off
constexpr SignalRow kSignals[] = {
    {SignalKind::kFloatInput, offsetof(CurTrans, Ictrl_a_pu), "Ictrl_a_pu type=f", "pu", "converter phase a current (Hall sensor)"},
    {SignalKind::kFloatInput, offsetof(CurTrans, Ictrl_b_pu), "Ictrl_b_pu type=f", "pu", "converter phase b current (Hall sensor)"},
    {SignalKind::kFloatInput, offsetof(CurTrans, Ictrl_c_pu), "Ictrl_c_pu type=f", "pu", "converter phase c current (Hall sensor)"},
    {SignalKind::kFloatInput, offsetof(CurTrans, grid_theta), "grid_theta type=f", "turns", "grid angle from the phase-locked loop"},
    {SignalKind::kFloatInput, offsetof(CurTrans, Task1), "Task1 type=f", "s", "task-1 period (Ts of the filters and delays)"},
    {SignalKind::kFloatInput, offsetof(CurTrans, Task2), "Task2 type=f", "s", "task-2 period (not used)"},
    {SignalKind::kFloatInput, offsetof(CurTrans, Task3), "Task3 type=f", "s", "task-3 period (not used)"},
    {SignalKind::kByteInput, offsetof(CurTrans, flg_ffsw), "flg_ffsw type=cu", "-", "feed-forward transient flag; can bypass the Hall filter"},
    {SignalKind::kFloatInput, offsetof(CurTrans, grid_freq), "grid_freq type=f", "Hz", "grid frequency from the phase-locked loop, sets the quarter-period delays"},
    {SignalKind::kParameter, offsetof(CurTrans, parm_curtrans_wc_lpf), "parm_curtrans_wc_lpf type=f default=220.0 option=1", "rad/s", "corner of the four low-pass filters on the sequence currents used by the decoupling"},
    {SignalKind::kParameter, offsetof(CurTrans, parm_HALL_lpf_sel), "parm_HALL_lpf_sel type=cu default=0 option=1", "-", "sequence-feedback Hall filter: 0 none, 1 first-order, 2 second-order Butterworth"},
    {SignalKind::kParameter, offsetof(CurTrans, parm_HALL_wc_lpf), "parm_HALL_wc_lpf type=f default=12566.0 option=1", "rad/s", "base corner frequency of the Hall filter"},
    {SignalKind::kParameter, offsetof(CurTrans, ena_HALL_lpf_transient), "ena_HALL_lpf_transient type=cu default=1 option=1", "-", "enable: keep the Hall filter active while the feed-forward transient flag is set", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(CurTrans, parm_HALL_wc_lpf_kp), "parm_HALL_wc_lpf_kp type=f default=3 option=1", "-", "factor on the base Hall filter corner; the corner is the product", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(CurTrans, parm_transtype_i), "parm_transtype_i type=cu default=0 option=1", "-", "sequence separation: 0 decoupled double synchronous frame, non-zero quarter-period delay", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(CurTrans, parm_IZero_wc_lpf), "parm_IZero_wc_lpf type=f default=3140 option=1", "rad/s", "corner frequency of the two zero-sequence low-pass filters", Builds::kFullOnly},
    {SignalKind::kVariable, offsetof(CurTrans, set_Idpos_fbk), "set_Idpos_fbk type=f level=1", "pu", "positive-sequence d-axis current feedback in the +theta frame"},
    {SignalKind::kVariable, offsetof(CurTrans, set_Iqpos_fbk), "set_Iqpos_fbk type=f level=1", "pu", "positive-sequence q-axis current feedback in the +theta frame"},
    {SignalKind::kVariable, offsetof(CurTrans, set_Idneg_fbk), "set_Idneg_fbk type=f level=1", "pu", "negative-sequence d-axis current feedback in the -theta frame"},
    {SignalKind::kVariable, offsetof(CurTrans, set_Iqneg_fbk), "set_Iqneg_fbk type=f level=1", "pu", "negative-sequence q-axis current feedback in the -theta frame"},
    {SignalKind::kVariable, offsetof(CurTrans, set_Idzero_fbk), "set_Idzero_fbk type=f level=1", "pu", "zero-sequence current demodulated at theta, d component"},
    {SignalKind::kVariable, offsetof(CurTrans, set_Iqzero_fbk), "set_Iqzero_fbk type=f level=1", "pu", "zero-sequence current demodulated at theta, q component"},
    {SignalKind::kVariable, offsetof(CurTrans, set_Id_mix), "set_Id_mix type=f", "pu", "d-axis Park transform of the raw phase currents at +theta (both sequences mixed)"},
    {SignalKind::kVariable, offsetof(CurTrans, set_Iq_mix), "set_Iq_mix type=f", "pu", "q-axis Park transform of the raw phase currents at +theta (both sequences mixed)"},
    {SignalKind::kVariable, offsetof(CurTrans, Idpos_fil), "Idpos_fil type=f", "pu", "low-pass filtered positive-sequence d-axis current (decoupling)"},
    {SignalKind::kVariable, offsetof(CurTrans, Iqpos_fil), "Iqpos_fil type=f", "pu", "low-pass filtered positive-sequence q-axis current (decoupling)"},
    {SignalKind::kVariable, offsetof(CurTrans, Idneg_fil), "Idneg_fil type=f", "pu", "low-pass filtered negative-sequence d-axis current (decoupling)"},
    {SignalKind::kVariable, offsetof(CurTrans, Iqneg_fil), "Iqneg_fil type=f", "pu", "low-pass filtered negative-sequence q-axis current (decoupling)"},
    {SignalKind::kVariable, offsetof(CurTrans, temp_Ictrl_abc_pu[0]), "temp_Ictrl_abc_pu[0] type=f", "pu", "copy of the phase a converter current"},
    {SignalKind::kVariable, offsetof(CurTrans, temp_Ictrl_abc_pu[1]), "temp_Ictrl_abc_pu[1] type=f", "pu", "copy of the phase b converter current"},
    {SignalKind::kVariable, offsetof(CurTrans, temp_Ictrl_abc_pu[2]), "temp_Ictrl_abc_pu[2] type=f", "pu", "copy of the phase c converter current"},
    {SignalKind::kVariable, offsetof(CurTrans, test1), "test1 type=cu", "-", "debug byte, stays 0"},
};
// clang-format on

constexpr std::int32_t kHallOrder[kHallFilters] = {1, 1, 2, 2, 1, 1, 2, 2};

// Filters of one order for dpos, qpos, dneg, qneg.
using HallStage = int[4];
constexpr HallStage kHallFirstOrder = {kHallDpos1, kHallQpos1, kHallDneg1, kHallQneg1};
constexpr HallStage kHallSecondOrder = {kHallDpos2, kHallQpos2, kHallDneg2, kHallQneg2};

void DesignFilters(CurTrans& m, float ts) {
    SequenceFilterDesign(m.split, ts, m.parm_curtrans_wc_lpf);
    LpfFirstDesign(m.zero_d, ts, m.parm_IZero_wc_lpf);
    LpfFirstDesign(m.zero_q, ts, m.parm_IZero_wc_lpf);
    const float wc = m.parm_HALL_wc_lpf * m.parm_HALL_wc_lpf_kp;
    for (IirFilter& f : m.hall) {
        ButterLpfDesign(f, ts, wc);
    }
}

int RegisterCurTransTasks(ModuleHeader* module, int list) {
    CurTrans& m = *As<CurTrans>(module);
    DesignFilters(m, *m.Task1);
    return RegisterTask(list, &CurTransStep, module);
}

void HallFilterStage(CurTrans& m, const HallStage& stage) {
    m.set_Idpos_fbk = IirStepFinite(m.hall[stage[0]], m.set_Idpos_fbk);
    m.set_Iqpos_fbk = IirStepFinite(m.hall[stage[1]], m.set_Iqpos_fbk);
    m.set_Idneg_fbk = IirStepFinite(m.hall[stage[2]], m.set_Idneg_fbk);
    m.set_Iqneg_fbk = IirStepFinite(m.hall[stage[3]], m.set_Iqneg_fbk);
}

}  // namespace

ModuleHeader* CreateCurTrans(Environment* env, ModuleHeader* module,
                             const char* instance_name) noexcept {
    InitHeader(module, env, "CURTRANS", instance_name, &RegisterCurTransTasks);
    RegisterSignals(module, kSignals);
    CurTrans& m = *As<CurTrans>(module);
    SequenceSplitCreate(m.split);
    for (int i = 0; i < kHallFilters; ++i) {
        if (!IirFilterCreate(m.hall[i], kHallOrder[i])) {
            return nullptr;
        }
    }
    return module;
}

void CurTransStep(ModuleHeader* module) noexcept {
    CurTrans& m = *As<CurTrans>(module);
    const float theta = *m.grid_theta;
    const float ts = *m.Task1;
    DesignFilters(m, ts);

    const Abc cur{*m.Ictrl_a_pu, *m.Ictrl_b_pu, *m.Ictrl_c_pu};
    m.temp_Ictrl_abc_pu[0] = cur.a;
    m.temp_Ictrl_abc_pu[1] = cur.b;
    m.temp_Ictrl_abc_pu[2] = cur.c;
    m.set_Id_mix = ParkD(cur, theta);
    m.set_Iq_mix = ParkQ(cur, theta);

    const SeqDq fil = SequenceFeedback(
        m.split, {m.set_Idpos_fbk, m.set_Iqpos_fbk, m.set_Idneg_fbk, m.set_Iqneg_fbk});
    m.Idpos_fil = fil.dpos;
    m.Iqpos_fil = fil.qpos;
    m.Idneg_fil = fil.dneg;
    m.Iqneg_fil = fil.qneg;
#if SVG_REDUCED_BUILD  // the double synchronous frame is the reduced controller's only method
    const SeqDq seq = SplitDoubleFrame({m.set_Id_mix, m.set_Iq_mix}, fil, theta);
#else
    const SeqDq seq = m.parm_transtype_i == 0
                          ? SplitDoubleFrame({m.set_Id_mix, m.set_Iq_mix}, fil, theta)
                          : SplitQuarterDelay(m.split, cur, theta, *m.grid_freq, ts);
#endif
    m.set_Idpos_fbk = seq.dpos;
    m.set_Iqpos_fbk = seq.qpos;
    m.set_Idneg_fbk = seq.dneg;
    m.set_Iqneg_fbk = seq.qneg;

    // Zero sequence: two thirds of the phase sum, demodulated at the fundamental.
    const float sum = cur.a + cur.b + cur.c;
    const float t = kTwoPi * theta;
    m.set_Idzero_fbk = LpfStepFinite(m.zero_d, sum * kTwoThirds * Cos(t));
    m.set_Iqzero_fbk = -LpfStepFinite(m.zero_q, sum * kTwoThirds * Sin(t));

    if (m.ena_HALL_lpf_transient == 0 && *m.flg_ffsw == 1) {
        return;
    }
    switch (m.parm_HALL_lpf_sel) {
        case 1:
            HallFilterStage(m, kHallFirstOrder);
            break;
        case 2:
            HallFilterStage(m, kHallSecondOrder);
            break;
        default:  // no filtering
            break;
    }
}

}  // namespace svg
