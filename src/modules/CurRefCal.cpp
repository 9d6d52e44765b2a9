#include "modules/CurRefCal.h"

#include <cmath>
#include <cstddef>

#include "blocks/build.h"
#include "blocks/numeric.h"

namespace svg {
namespace {

// clang-format off
constexpr SignalRow kSignals[] = {
    {SignalKind::kVariable, offsetof(CurRefCal, set_Idpos_ref_sum), "set_Idpos_ref_sum     type=f  level=1", "pu", "limited positive-sequence d-axis (active) current reference"},
    {SignalKind::kSharedVariable, offsetof(CurRefCal, set_Iqpos_ref_sum), "set_Iqpos_ref_sum     type=f  level=1", "pu", "limited positive-sequence q-axis (reactive) current reference"},
    {SignalKind::kVariable, offsetof(CurRefCal, set_Idneg_ref_sum), "set_Idneg_ref_sum     type=f  level=1", "pu", "limited negative-sequence d-axis current reference"},
    {SignalKind::kVariable, offsetof(CurRefCal, set_Iqneg_ref_sum), "set_Iqneg_ref_sum     type=f  level=1", "pu", "limited negative-sequence q-axis current reference"},
    {SignalKind::kVariable, offsetof(CurRefCal, set_Idzero_ref_sum), "set_Idzero_ref_sum    type=f  level=1", "pu", "limited zero-sequence d-axis current reference"},
    {SignalKind::kVariable, offsetof(CurRefCal, set_Iqzero_ref_sum), "set_Iqzero_ref_sum    type=f  level=1", "pu", "limited zero-sequence q-axis current reference"},
    {SignalKind::kVariable, offsetof(CurRefCal, set_Idapp_ref_sum), "set_Idapp_ref_sum     type=f  level=1", "pu", "sum of the auxiliary d-axis current references (not limited)"},
    {SignalKind::kVariable, offsetof(CurRefCal, set_Iqapp_ref_sum), "set_Iqapp_ref_sum     type=f  level=1", "pu", "sum of the auxiliary q-axis current references (not limited)"},
    {SignalKind::kVariable, offsetof(CurRefCal, set_I_round_lim), "set_I_round_lim       type=f  level=1", "-", "round-limit factor, 0 to 1 (1.1 pu over the vector sum of the sequence currents)"},
    {SignalKind::kVariable, offsetof(CurRefCal, test1), "test1 type=cu", "-", "debug signal, set to 2 at creation and never changed"},
    {SignalKind::kVariable, offsetof(CurRefCal, test2), "test2 type=cu", "-", "debug signal, always 0"},
    {SignalKind::kVariable, offsetof(CurRefCal, test3), "test3 type=f", "-", "debug signal, always 0"},
    {SignalKind::kSharedVariable, offsetof(CurRefCal, I_round_lim), "I_round_lim type=f", "-", "round-limit factor, 0 to 1 (same value as set_I_round_lim after the step)"},
    {SignalKind::kParameter, offsetof(CurRefCal, parm_Idpos_ref_lim), "parm_Idpos_ref_lim type=f default=0.5 option=1", "pu", "limit of the positive-sequence d-axis (active) current reference sum"},
    {SignalKind::kParameter, offsetof(CurRefCal, parm_Iqpos_ref_lim), "parm_Iqpos_ref_lim type=f default=1.1 option=1", "pu", "limit of the positive-sequence q-axis (reactive) current reference sum", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(CurRefCal, parm_Iqpos_ref_lim), "parm_Iqpos_ref_lim type=f default=1.15 option=1", "pu", "limit of the positive-sequence q-axis (reactive) current reference sum", Builds::kReducedOnly},
    {SignalKind::kParameter, offsetof(CurRefCal, parm_Idneg_ref_lim), "parm_Idneg_ref_lim type=f default=1 option=1", "pu", "limit of the negative-sequence d-axis current reference sum"},
    {SignalKind::kParameter, offsetof(CurRefCal, parm_Iqneg_ref_lim), "parm_Iqneg_ref_lim type=f default=1 option=1", "pu", "limit of the negative-sequence q-axis current reference sum"},
    {SignalKind::kParameter, offsetof(CurRefCal, parm_Idzero_ref_lim), "parm_Idzero_ref_lim type=f default=0.5 option=1", "pu", "limit of the zero-sequence d-axis current reference sum"},
    {SignalKind::kParameter, offsetof(CurRefCal, parm_Iqzero_ref_lim), "parm_Iqzero_ref_lim type=f default=0.5 option=1", "pu", "limit of the zero-sequence q-axis current reference sum"},
    {SignalKind::kParameter, offsetof(CurRefCal, parm_round_lim_type), "parm_round_lim_type type=cu default=0 option=1", "-", "round-limit factor: 0 fixed 1, 1 root-sum-square, 2 sum of magnitudes, 3+ from feedback", Builds::kFullOnly},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Idpos_ref), "Idpos_ref type=f", "pu", "positive-sequence d-axis current reference from the DC voltage regulator"},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Iqpos_ref_sel), "Iqpos_ref_sel type=f", "pu", "positive-sequence q-axis (reactive) current reference after ride-through handling"},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Idpos_app_ref1), "Idpos_app_ref1 type=f", "pu", "auxiliary positive-sequence d-axis current reference 1 (reads 0 in this system)"},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Iqpos_app_ref1), "Iqpos_app_ref1 type=f", "pu", "auxiliary positive-sequence q-axis current reference 1 (reads 0 in this system)"},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Idpos_app_ref2), "Idpos_app_ref2 type=f", "pu", "auxiliary positive-sequence d-axis current reference 2 (reads 0 in this system)"},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Iqpos_app_ref2), "Iqpos_app_ref2 type=f", "pu", "auxiliary positive-sequence q-axis current reference 2 (reads 0 in this system)"},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Idpos_app_ref3), "Idpos_app_ref3 type=f", "pu", "auxiliary positive-sequence d-axis current reference 3 (reads 0 in this system)"},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Iqpos_app_ref3), "Iqpos_app_ref3 type=f", "pu", "auxiliary positive-sequence q-axis current reference 3 (reads 0 in this system)"},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Idneg_op_ref), "Idneg_op_ref type=f", "pu", "negative-sequence d-axis current reference from the reference selection"},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Iqneg_op_ref), "Iqneg_op_ref type=f", "pu", "negative-sequence q-axis current reference from the reference selection"},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Idneg_cl_ref), "Idneg_cl_ref type=f", "pu", "negative-sequence d-axis cluster balancing current reference"},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Iqneg_cl_ref), "Iqneg_cl_ref type=f", "pu", "negative-sequence q-axis cluster balancing current reference"},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Idneg_app_ref), "Idneg_app_ref type=f", "pu", "auxiliary negative-sequence d-axis current reference (reads 0 in this system)"},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Iqneg_app_ref), "Iqneg_app_ref type=f", "pu", "auxiliary negative-sequence q-axis current reference (reads 0 in this system)"},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Idzero_ref), "Idzero_ref type=f", "pu", "zero-sequence d-axis current reference from the reference selection"},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Iqzero_ref), "Iqzero_ref type=f", "pu", "zero-sequence q-axis current reference from the reference selection"},
    {SignalKind::kByteInput, offsetof(CurRefCal, trans_type), "trans_type type=cu", "-", "coupling transformer arrangement code; 3 leaves out the cluster balancing references"},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Idpos_fbk), "Idpos_fbk type=f", "pu", "positive-sequence d-axis current feedback"},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Iqpos_fbk), "Iqpos_fbk type=f", "pu", "positive-sequence q-axis current feedback"},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Idneg_fbk), "Idneg_fbk type=f", "pu", "negative-sequence d-axis current feedback"},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Iqneg_fbk), "Iqneg_fbk type=f", "pu", "negative-sequence q-axis current feedback"},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Idzero_fbk), "Idzero_fbk type=f", "pu", "zero-sequence d-axis current feedback"},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Iqzero_fbk), "Iqzero_fbk type=f", "pu", "zero-sequence q-axis current feedback"},
    {SignalKind::kFloatInput, offsetof(CurRefCal, sim_Iqpos_ref_lim), "sim_Iqpos_ref_lim type=f", "pu", "limit of the positive-sequence q-axis reference sum, from the host input", Builds::kReducedOnly},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Task1), "Task1 type=f", "s", "task 1 period (not read)"},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Task2), "Task2 type=f", "s", "task 2 period (not read)"},
    {SignalKind::kFloatInput, offsetof(CurRefCal, Task3), "Task3 type=f", "s", "task 3 period (not read)"},
};
// clang-format on

// The vector sum of all sequence currents may reach 1.1 per unit; the small offset keeps the
// root away from zero.
constexpr double kRoundLimit = 1.1;
constexpr double kRoundOffset = 0.000001;
constexpr std::uint8_t kTransTypeNoClosedLoop = 3;  // closed-loop negative sequence left out

int RegisterCurRefCalTasks(ModuleHeader* module, int list) {
    return RegisterTask(list, &CurRefCalStep, module) != 0 ? 1 : 0;
}

float Square(float x) { return x * x; }

// Squared magnitude of the d and q sums of magnitudes over the three sequences.
float SumOfMagnitudesSquared(float dpos, float qpos, float dneg, float qneg, float dzero,
                             float qzero) {
    return Square(std::fabs(dpos) + std::fabs(dneg) + std::fabs(dzero)) +
           Square(std::fabs(qpos) + std::fabs(qneg) + std::fabs(qzero));
}

// The factor by which the previous step's sums (or this step's feedback) exceed the round
// limit, before limiting to [0, 1].
float RoundLimitFactor(const CurRefCal& m) {
    float s = 0.0f;
    switch (m.parm_round_lim_type) {
        case 0:
            return 1.0f;
        case 1:
            s = Square(m.Idpos_raw) + Square(m.Iqpos_raw) + Square(m.Idneg_raw) +
                Square(m.Iqneg_raw) + Square(m.Idzero_raw) + Square(m.Iqzero_raw);
            break;
        case 2:
            s = SumOfMagnitudesSquared(m.Idpos_raw, m.Iqpos_raw, m.Idneg_raw, m.Iqneg_raw,
                                       m.Idzero_raw, m.Iqzero_raw);
            break;
        default:
            s = SumOfMagnitudesSquared(*m.Idpos_fbk, *m.Iqpos_fbk, *m.Idneg_fbk, *m.Iqneg_fbk,
                                       *m.Idzero_fbk, *m.Iqzero_fbk);
            break;
    }
    // The root and the quotient in double precision, rounded once to single.
    return static_cast<float>(kRoundLimit / std::sqrt(static_cast<double>(s) + kRoundOffset));
}

}  // namespace

ModuleHeader* CreateCurRefCal(Environment* env, ModuleHeader* module,
                              const char* instance_name) noexcept {
    InitHeader(module, env, "CURREFCAL", instance_name, &RegisterCurRefCalTasks);
    RegisterSignals(module, kSignals);
    if constexpr (!kReducedBuild) {
        CurRefCal& m = *As<CurRefCal>(module);
        m.sim_Iqpos_ref_lim = &m.parm_Iqpos_ref_lim;  // a host channel in the reduced controller
    }
    // The sums start at 0 with the zero-filled record; the input rows point every slot at
    // the zero cell until the wiring fills it.
    As<CurRefCal>(module)->test1 = 2;
    return module;
}

void CurRefCalStep(ModuleHeader* module) noexcept {
    CurRefCal& m = *As<CurRefCal>(module);
    m.I_round_lim = RoundLimitFactor(m);

    const float dapp = *m.Idpos_app_ref1 + *m.Idpos_app_ref2 + *m.Idpos_app_ref3;
    const float qapp = *m.Iqpos_app_ref1 + *m.Iqpos_app_ref2 + *m.Iqpos_app_ref3;
    m.Idpos_raw = *m.Idpos_ref + *m.Idpos_app_ref1 + *m.Idpos_app_ref2 + *m.Idpos_app_ref3;
    m.Iqpos_raw = *m.Iqpos_ref_sel + *m.Iqpos_app_ref1 + *m.Iqpos_app_ref2 + *m.Iqpos_app_ref3;
    if (*m.trans_type == kTransTypeNoClosedLoop) {
        m.Idneg_raw = *m.Idneg_op_ref + *m.Idneg_app_ref;
        m.Iqneg_raw = *m.Iqneg_op_ref + *m.Iqneg_app_ref;
    } else {
        m.Idneg_raw = *m.Idneg_cl_ref + *m.Idneg_op_ref + *m.Idneg_app_ref;
        m.Iqneg_raw = *m.Iqneg_cl_ref + *m.Iqneg_op_ref + *m.Iqneg_app_ref;
    }
    m.Idzero_raw = *m.Idzero_ref;
    m.Iqzero_raw = *m.Iqzero_ref;

    m.I_round_lim = Limit(m.I_round_lim, 0.0f, 1.0f);
    m.set_I_round_lim = m.I_round_lim;

    m.set_Idpos_ref_sum = LimitSym(m.Idpos_raw, m.parm_Idpos_ref_lim);
    m.set_Iqpos_ref_sum = LimitSym(m.Iqpos_raw, *m.sim_Iqpos_ref_lim);
    m.set_Idneg_ref_sum = LimitSym(m.Idneg_raw, m.parm_Idneg_ref_lim);
    m.set_Iqneg_ref_sum = LimitSym(m.Iqneg_raw, m.parm_Iqneg_ref_lim);
    m.set_Idzero_ref_sum = LimitSym(m.Idzero_raw, m.parm_Idzero_ref_lim);
    m.set_Iqzero_ref_sum = LimitSym(m.Iqzero_raw, m.parm_Iqzero_ref_lim);

    m.set_Idapp_ref_sum = dapp + *m.Idneg_app_ref;
    m.set_Iqapp_ref_sum = qapp + *m.Iqneg_app_ref;
}

}  // namespace svg
