#include "modules/CurRef.h"

#include <cstddef>

#include "blocks/numeric.h"

namespace svg {
namespace {

// clang-format off
constexpr SignalRow kSignals[] = {
    {SignalKind::kVariable, offsetof(CurRef, set_Idneg_op_ref), "set_Idneg_op_ref type=f", "pu", "negative-sequence d-axis current reference, limited to [-1, 1]"},
    {SignalKind::kVariable, offsetof(CurRef, set_Iqneg_op_ref), "set_Iqneg_op_ref type=f", "pu", "negative-sequence q-axis current reference, limited to [-1, 1]"},
    {SignalKind::kVariable, offsetof(CurRef, set_Idzero_ref), "set_Idzero_ref type=f", "pu", "zero-sequence d-axis current reference, limited to [-1, 1]"},
    {SignalKind::kVariable, offsetof(CurRef, set_Iqzero_ref), "set_Iqzero_ref type=f", "pu", "zero-sequence q-axis current reference, limited to [-1, 1]"},
    {SignalKind::kVariable, offsetof(CurRef, test1), "test1 type=cu", "-", "debug signal, always 0"},
    {SignalKind::kVariable, offsetof(CurRef, test2), "test2 type=f", "-", "debug signal, always 0"},
    {SignalKind::kVariable, offsetof(CurRef, test3), "test3 type=f", "-", "debug signal, always 0"},
    {SignalKind::kFloatInput, offsetof(CurRef, Upos_fil), "Upos_fil type=f", "pu", "filtered positive-sequence grid voltage magnitude from the PLL"},
    {SignalKind::kFloatInput, offsetof(CurRef, Udneg_fil), "Udneg_fil type=f", "pu", "filtered negative-sequence d-axis grid voltage from the PLL"},
    {SignalKind::kFloatInput, offsetof(CurRef, Uqneg_fil), "Uqneg_fil type=f", "pu", "filtered negative-sequence q-axis grid voltage from the PLL"},
    {SignalKind::kFloatInput, offsetof(CurRef, Idpos_ref), "Idpos_ref type=f", "pu", "positive-sequence d-axis current reference of the DC voltage control"},
    {SignalKind::kFloatInput, offsetof(CurRef, Iqpos_ref_sel), "Iqpos_ref_sel type=f", "pu", "positive-sequence q-axis current reference after ride-through handling"},
    {SignalKind::kFloatInput, offsetof(CurRef, Idneg_cl_ref), "Idneg_cl_ref type=f", "pu", "negative-sequence d-axis balancing reference of the DC voltage control"},
    {SignalKind::kFloatInput, offsetof(CurRef, Iqneg_cl_ref), "Iqneg_cl_ref type=f", "pu", "negative-sequence q-axis balancing reference of the DC voltage control"},
    {SignalKind::kParameter, offsetof(CurRef, ena_neg_cmp), "ena_neg_cmp type=cu default=1 option=1", "-", "1 enables the negative-sequence current references"},
    {SignalKind::kParameter, offsetof(CurRef, ena_zero_cmp), "ena_zero_cmp type=cu default=0 option=1", "-", "1 enables the zero-sequence current references"},
    {SignalKind::kParameter, offsetof(CurRef, parm_Ineg_op_type), "parm_Ineg_op_type type=cu default=0 option=1", "-", "negative-sequence formula: 0 reactive reference only, else also the active one", Builds::kFullOnly},
};
// clang-format on

constexpr float kRefLimit = 1.0f;  // per unit

int RegisterCurRefTasks(ModuleHeader* module, int list) {
    return RegisterTask(list, &CurRefStep, module) != 0 ? 1 : 0;
}

}  // namespace

ModuleHeader* CreateCurRef(Environment* env, ModuleHeader* module,
                           const char* instance_name) noexcept {
    InitHeader(module, env, "Curref", instance_name, &RegisterCurRefTasks);
    RegisterSignals(module, kSignals);
    // The references and the debug signals start at 0 with the zero-filled record.
    return module;
}

void CurRefStep(ModuleHeader* module) noexcept {
    CurRef& m = *As<CurRef>(module);
    if (m.ena_neg_cmp == 1) {
        // Negative-sequence current in proportion to the negative-sequence voltage, scaled by
        // the positive-sequence references over the positive-sequence voltage. With no voltage
        // at all the quotient is the numerator times 1e10: its sign, or 0 when there is no
        // negative-sequence voltage to follow either.
        const float u = *m.Upos_fil;
        const float iq = *m.Iqpos_ref_sel;
        const float udn = *m.Udneg_fil;
        const float uqn = *m.Uqneg_fil;
        float id_num = iq * uqn;
        float iq_num = -(iq * udn);
        if (m.parm_Ineg_op_type != 0) {
            const float id = *m.Idpos_ref;
            id_num = iq * uqn - id * udn;
            iq_num = -id * uqn - iq * udn;
        }
        m.set_Idneg_op_ref = LimitSym(SafeDiv(id_num, u), kRefLimit);
        m.set_Iqneg_op_ref = LimitSym(SafeDiv(iq_num, u), kRefLimit);
    } else {
        m.set_Idneg_op_ref = 0.0f;
        m.set_Iqneg_op_ref = 0.0f;
    }
    if (m.ena_zero_cmp == 1) {
        m.set_Idzero_ref = LimitSym(*m.Idneg_cl_ref, kRefLimit);
        m.set_Iqzero_ref = LimitSym(*m.Iqneg_cl_ref, kRefLimit);
    } else {
        m.set_Idzero_ref = 0.0f;
        m.set_Iqzero_ref = 0.0f;
    }
}

}  // namespace svg
