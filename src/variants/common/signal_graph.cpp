// The signal graph of the seventeen control modules both deliverables share: every input slot
// a module reads from another module or from a measurement channel, the command bytes and the
// parameter channels of the full controller. Each function does nothing when its module is not
// built and feeds an input from the zero cell when the producer is not, so each deliverable
// (and each test) runs the very same wiring over the modules it has, then adds its own
// host-facing part.
#include "variants/common/signal_graph.h"

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "framework/sim_io.h"
#include "framework/slots.h"
#include "modules/AppModeCtrl.h"
#include "modules/CurCtrl.h"
#include "modules/CurRef.h"
#include "modules/CurRefCal.h"
#include "modules/CurTrans.h"
#include "modules/GfmCtrl.h"
#include "modules/HLVRTCtrl.h"
#include "modules/HarCurCtrl.h"
#include "modules/InPhaseVolCtrl.h"
#include "modules/MeterCtrl.h"
#include "modules/ModCal.h"
#include "modules/ModeCtrl.h"
#include "modules/PLL.h"
#include "modules/PQCal.h"
#include "modules/Parameter.h"
#include "modules/ThreeHarCtrl.h"
#include "modules/UFedCtrl.h"
#include "modules/UdcVolCtrl.h"

namespace svg {

void WireParameter(Environment* env) noexcept {
    SimInput* in = ModuleAt<SimInput>(env, kSlotSimInput);
    Parameter* par = ModuleAt<Parameter>(env, kSlotParameter);
    if (in == nullptr || par == nullptr) {
        return;
    }
    par->VdcRefMaxRcp = ZeroCellFloat();
    SetChannelTarget(in, 45, &par->parm_Qctrl_mode);
    SetChannelTarget(in, 60, &par->parm_Qn_Mvar);
    SetChannelTarget(in, 61, &par->parm_Vn_kV);
    SetChannelTarget(in, 62, &par->parm_FrqHzNom);
    SetChannelTarget(in, 63, &par->parm_LTotCal);
    SetChannelTarget(in, 64, &par->parm_CapPM);
    SetChannelTarget(in, 65, &par->parm_cellnum);
    SetChannelTarget(in, 68, &par->parm_Upcc1);
    SetChannelTarget(in, 71, &par->parm_trans_HVnom);
    SetChannelTarget(in, 72, &par->parm_trans_LVnom);
}

void WireMeterCtrl(Environment* env) noexcept {
    SimInput* in = ModuleAt<SimInput>(env, kSlotSimInput);
    MeterCtrl* meter = ModuleAt<MeterCtrl>(env, kSlotMeterCtrl);
    if (in == nullptr || meter == nullptr) {
        return;
    }
    const Parameter* par = ModuleAt<Parameter>(env, kSlotParameter);
    // Host inputs 0..35 in record order: PT1..PT4 phase voltages, PT1..PT4 line RMS values,
    // CT1..CT3 and Hall currents.
    const float** host_inputs[] = {
        &meter->U_PT1_a,     &meter->U_PT1_b,     &meter->U_PT1_c,     &meter->U_PT2_a,
        &meter->U_PT2_b,     &meter->U_PT2_c,     &meter->U_PT3_a,     &meter->U_PT3_b,
        &meter->U_PT3_c,     &meter->U_PT4_a,     &meter->U_PT4_b,     &meter->U_PT4_c,
        &meter->Urms_PT1_ab, &meter->Urms_PT1_bc, &meter->Urms_PT1_ca, &meter->Urms_PT2_ab,
        &meter->Urms_PT2_bc, &meter->Urms_PT2_ca, &meter->Urms_PT3_ab, &meter->Urms_PT3_bc,
        &meter->Urms_PT3_ca, &meter->Urms_PT4_ab, &meter->Urms_PT4_bc, &meter->Urms_PT4_ca,
        &meter->I_CT1_a,     &meter->I_CT1_b,     &meter->I_CT1_c,     &meter->I_CT2_a,
        &meter->I_CT2_b,     &meter->I_CT2_c,     &meter->I_CT3_a,     &meter->I_CT3_b,
        &meter->I_CT3_c,     &meter->I_HALL_a,    &meter->I_HALL_b,    &meter->I_HALL_c,
    };
    for (int i = 0; i < static_cast<int>(std::size(host_inputs)); ++i) {
        *host_inputs[i] = &in->input[i];
    }
    meter->Upcc1_nom = From(par, &Parameter::Upcc1);
    meter->Upcc2_nom = From(par, &Parameter::Upcc2);
    meter->Upcc3_nom = From(par, &Parameter::Upcc3);
    meter->Qn_Mvar = From(par, &Parameter::Qn_Mvar);
    meter->Un_kV = From(par, &Parameter::Un_kV);
    meter->LTotCal = From(par, &Parameter::LTotCal);
    meter->FrqHzNom = From(par, &Parameter::FrqHzNom);
    meter->trans_HVnom = From(par, &Parameter::trans_HVnom);
    meter->trans_LVnom = From(par, &Parameter::trans_LVnom);
    meter->AVC_Qcmd = ZeroCellFloat();
    meter->AVC_Ucmd = ZeroCellFloat();
    meter->Coorctl_cmd = ZeroCellFloat();
    meter->Task1 = From(par, &Parameter::Task1);
    meter->Task2 = From(par, &Parameter::Task2);
    meter->Task3 = From(par, &Parameter::Task3);
    meter->trans_type = From(par, &Parameter::trans_type);
    meter->grid_theta = From(ModuleAt<PLL>(env, kSlotPLL), &PLL::set_grid_theta);
    SetChannelTarget(in, 46, &meter->parm_ctrl_site);
    SetChannelTarget(in, 47, &meter->parm_PTsite_sel);
    SetChannelTarget(in, 66, &meter->parm_Qsvg_cmd);
    SetChannelTarget(in, 67, &meter->parm_Ucmd);
    SetChannelTarget(in, 69, &meter->parm_Udccmd);
}

void WirePLL(Environment* env) noexcept {
    SimInput* in = ModuleAt<SimInput>(env, kSlotSimInput);
    PLL* pll = ModuleAt<PLL>(env, kSlotPLL);
    if (in == nullptr || pll == nullptr) {
        return;
    }
    const Parameter* par = ModuleAt<Parameter>(env, kSlotParameter);
    const MeterCtrl* meter = ModuleAt<MeterCtrl>(env, kSlotMeterCtrl);
    pll->Uctrl_a_pu = From(meter, &MeterCtrl::set_Uctrl_a_pu);
    pll->Uctrl_b_pu = From(meter, &MeterCtrl::set_Uctrl_b_pu);
    pll->Uctrl_c_pu = From(meter, &MeterCtrl::set_Uctrl_c_pu);
    pll->flg_ZVRT_mod = ZeroCellByte();
    pll->FrqHzNom = From(par, &Parameter::FrqHzNom);
    pll->Task1 = From(par, &Parameter::Task1);
    pll->Task2 = From(par, &Parameter::Task2);
    pll->Task3 = From(par, &Parameter::Task3);
    pll->flg_ffsw = From(ModuleAt<UFedCtrl>(env, kSlotUFedCtrl), &UFedCtrl::flg_ffsw);
    SetChannelTarget(in, 84, &pll->parm_pll_kp);
    SetChannelTarget(in, 85, &pll->parm_pll_ki);
}

void WireUFedCtrl(Environment* env) noexcept {
    SimInput* in = ModuleAt<SimInput>(env, kSlotSimInput);
    UFedCtrl* ff = ModuleAt<UFedCtrl>(env, kSlotUFedCtrl);
    if (in == nullptr || ff == nullptr) {
        return;
    }
    const Parameter* par = ModuleAt<Parameter>(env, kSlotParameter);
    const MeterCtrl* meter = ModuleAt<MeterCtrl>(env, kSlotMeterCtrl);
    const PLL* pll = ModuleAt<PLL>(env, kSlotPLL);
    const HLVRTCtrl* vrt = ModuleAt<HLVRTCtrl>(env, kSlotHLVRTCtrl);
    ff->flg_seq_running = RunningCommand(in);
    ff->Uctrl_a_pu = From(meter, &MeterCtrl::set_Uctrl_a_pu);
    ff->Uctrl_b_pu = From(meter, &MeterCtrl::set_Uctrl_b_pu);
    ff->Uctrl_c_pu = From(meter, &MeterCtrl::set_Uctrl_c_pu);
    ff->Upoc_a_pu = From(meter, &MeterCtrl::set_Upoc_a_pu);
    ff->Upoc_b_pu = From(meter, &MeterCtrl::set_Upoc_b_pu);
    ff->Upoc_c_pu = From(meter, &MeterCtrl::set_Upoc_c_pu);
    ff->Ud_mix = From(pll, &PLL::set_Ud_mix);
    ff->Uq_mix = From(pll, &PLL::set_Uq_mix);
    ff->flg_HVRT_mod = From(vrt, &HLVRTCtrl::flg_HVRT_mod);
    ff->flg_LVRT_mod = From(vrt, &HLVRTCtrl::flg_LVRT_mod);
    ff->Task1 = From(par, &Parameter::Task1);
    ff->Task2 = From(par, &Parameter::Task2);
    ff->Task3 = From(par, &Parameter::Task3);
    SetChannelTarget(in, 50, &ff->ena_Uff_sw);
    SetChannelTarget(in, 92, &ff->parm_Uff_filf);
    SetChannelTarget(in, 93, &ff->parm_Uff_filf_sw);
}

void WireCurTrans(Environment* env) noexcept {
    SimInput* in = ModuleAt<SimInput>(env, kSlotSimInput);
    CurTrans* cur = ModuleAt<CurTrans>(env, kSlotCurTrans);
    if (in == nullptr || cur == nullptr) {
        return;
    }
    const Parameter* par = ModuleAt<Parameter>(env, kSlotParameter);
    const MeterCtrl* meter = ModuleAt<MeterCtrl>(env, kSlotMeterCtrl);
    const PLL* pll = ModuleAt<PLL>(env, kSlotPLL);
    cur->Ictrl_a_pu = From(meter, &MeterCtrl::set_Ictrl_a_pu);
    cur->Ictrl_b_pu = From(meter, &MeterCtrl::set_Ictrl_b_pu);
    cur->Ictrl_c_pu = From(meter, &MeterCtrl::set_Ictrl_c_pu);
    cur->grid_theta = From(pll, &PLL::set_grid_theta);
    cur->Task1 = From(par, &Parameter::Task1);
    cur->Task2 = From(par, &Parameter::Task2);
    cur->Task3 = From(par, &Parameter::Task3);
    cur->flg_ffsw = From(ModuleAt<UFedCtrl>(env, kSlotUFedCtrl), &UFedCtrl::flg_ffsw);
    cur->grid_freq = From(pll, &PLL::set_grid_freq);
    SetChannelTarget(in, 51, &cur->parm_HALL_lpf_sel);
    SetChannelTarget(in, 94, &cur->parm_HALL_wc_lpf);
}

void WirePQCal(Environment* env) noexcept {
    SimInput* in = ModuleAt<SimInput>(env, kSlotSimInput);
    PQCal* pq = ModuleAt<PQCal>(env, kSlotPQCal);
    if (in == nullptr || pq == nullptr) {
        return;
    }
    const Parameter* par = ModuleAt<Parameter>(env, kSlotParameter);
    const MeterCtrl* meter = ModuleAt<MeterCtrl>(env, kSlotMeterCtrl);
    const PLL* pll = ModuleAt<PLL>(env, kSlotPLL);
    const CurTrans* cur = ModuleAt<CurTrans>(env, kSlotCurTrans);
    pq->flg_seq_running = RunningCommand(in);
    pq->Qn_Mvar = From(par, &Parameter::Qn_Mvar);
    pq->Ud_mix = From(pll, &PLL::set_Ud_mix);
    pq->Uq_mix = From(pll, &PLL::set_Uq_mix);
    pq->Id_mix = From(cur, &CurTrans::set_Id_mix);
    pq->Iq_mix = From(cur, &CurTrans::set_Iq_mix);
    pq->Isys_a_pu = From(meter, &MeterCtrl::set_Isys_a_pu);
    pq->Isys_b_pu = From(meter, &MeterCtrl::set_Isys_b_pu);
    pq->Isys_c_pu = From(meter, &MeterCtrl::set_Isys_c_pu);
    pq->Upcc_a_pu = From(meter, &MeterCtrl::set_Upcc_a_pu);
    pq->Upcc_b_pu = From(meter, &MeterCtrl::set_Upcc_b_pu);
    pq->Upcc_c_pu = From(meter, &MeterCtrl::set_Upcc_c_pu);
    pq->Upoc_a_pu = From(meter, &MeterCtrl::set_Upoc_a_pu);
    pq->Upoc_b_pu = From(meter, &MeterCtrl::set_Upoc_b_pu);
    pq->Upoc_c_pu = From(meter, &MeterCtrl::set_Upoc_c_pu);
    pq->Task1 = From(par, &Parameter::Task1);
    pq->Task2 = From(par, &Parameter::Task2);
    pq->Task3 = From(par, &Parameter::Task3);
    pq->reset = ZeroCellByte();
}

void WireUdcVolCtrl(Environment* env) noexcept {
    SimInput* in = ModuleAt<SimInput>(env, kSlotSimInput);
    UdcVolCtrl* udc = ModuleAt<UdcVolCtrl>(env, kSlotUdcVolCtrl);
    if (in == nullptr || udc == nullptr) {
        return;
    }
    const Parameter* par = ModuleAt<Parameter>(env, kSlotParameter);
    const MeterCtrl* meter = ModuleAt<MeterCtrl>(env, kSlotMeterCtrl);
    const HLVRTCtrl* vrt = ModuleAt<HLVRTCtrl>(env, kSlotHLVRTCtrl);
    udc->Udc_A_mean = &in->input[39];
    udc->Udc_B_mean = &in->input[40];
    udc->Udc_C_mean = &in->input[41];
    udc->rcp_Udccmd = From(meter, &MeterCtrl::set_rcp_Udccmd);
    udc->Udcctrl_fosys = ZeroCellFloat();
    udc->Idnegctrl_cl_fosys = ZeroCellFloat();
    udc->Iqnegctrl_cl_fosys = ZeroCellFloat();
    udc->Task1 = From(par, &Parameter::Task1);
    udc->Task2 = From(par, &Parameter::Task2);
    udc->Task3 = From(par, &Parameter::Task3);
    udc->FrqHzNom = From(par, &Parameter::FrqHzNom);
    udc->flg_LVRT_mod = From(vrt, &HLVRTCtrl::flg_LVRT_mod);
    udc->flg_HVRT_mod = From(vrt, &HLVRTCtrl::flg_HVRT_mod);
    udc->flg_seq_deblock = DeblockCommand(in);
    udc->flg_seq_running = RunningCommand(in);
    udc->flg_update_fosys = ZeroCellByte();
    udc->Ipqref_lock = ZeroCellFloat();
    udc->Upos_fil = ZeroCellFloat();
    udc->trans_type = From(par, &Parameter::trans_type);
    const GfmCtrl* gfm = ModuleAt<GfmCtrl>(env, kSlotGfmCtrl);
    udc->GFM_Blk_OtLoop = From(gfm, &GfmCtrl::GFM_Blk_OtLoop);
    udc->Idref_GFM = From(gfm, &GfmCtrl::Idref_GFM);
    SetChannelTarget(in, 49, &udc->ena_Inegctrl_cl);
    SetChannelTarget(in, 70, &udc->parm_Udccmd);
    SetChannelTarget(in, 86, &udc->parm_Inegctrl_kp);
    SetChannelTarget(in, 87, &udc->parm_Inegctrl_ki);
}

void WireHLVRTCtrl(Environment* env) noexcept {
    SimInput* in = ModuleAt<SimInput>(env, kSlotSimInput);
    HLVRTCtrl* vrt = ModuleAt<HLVRTCtrl>(env, kSlotHLVRTCtrl);
    if (in == nullptr || vrt == nullptr) {
        return;
    }
    const Parameter* par = ModuleAt<Parameter>(env, kSlotParameter);
    const MeterCtrl* meter = ModuleAt<MeterCtrl>(env, kSlotMeterCtrl);
    const PLL* pll = ModuleAt<PLL>(env, kSlotPLL);
    const CurRefCal* cal = ModuleAt<CurRefCal>(env, kSlotCurRefCal);
    vrt->Upos_fil = From(pll, &PLL::set_Upos_fil);
    vrt->Uneg_fil = From(pll, &PLL::set_Uneg_fil);
    vrt->Iqpos_ref_ss = From(ModuleAt<ModeCtrl>(env, kSlotModeCtrl), &ModeCtrl::set_Iqpos_ref_ss);
    vrt->Task1 = From(par, &Parameter::Task1);
    vrt->Task2 = From(par, &Parameter::Task2);
    vrt->Task3 = From(par, &Parameter::Task3);
    vrt->flg_seq_deblock = DeblockCommand(in);
    vrt->Upos_PCC_pu = From(meter, &MeterCtrl::set_Upos_PCC_pu);
    vrt->I_round_lim = From(cal, &CurRefCal::set_I_round_lim);
    SetChannelTarget(in, 52, &vrt->ena_VRT);
    SetChannelTarget(in, 53, &vrt->parm_VRT_site);
    SetChannelTarget(in, 54, &vrt->parm_VRT_mode);
    SetChannelTarget(in, 55, &vrt->ena_Uneglim);
    SetChannelTarget(in, 73, &vrt->parm_HVRT_in);
    SetChannelTarget(in, 74, &vrt->parm_HVRT_out);
    SetChannelTarget(in, 75, &vrt->parm_HVRT_k);
    SetChannelTarget(in, 76, &vrt->parm_LVRT_in);
    SetChannelTarget(in, 77, &vrt->parm_LVRT_out);
    SetChannelTarget(in, 78, &vrt->parm_LVRT_k);
    SetChannelTarget(in, 79, &vrt->parm_Iq0_k);
    SetChannelTarget(in, 80, &vrt->parm_HVRT_strong);
    SetChannelTarget(in, 81, &vrt->parm_LVRT_strong);
    SetChannelTarget(in, 83, &vrt->parm_Iqpos_ref_min);
}

void WireCurRef(Environment* env) noexcept {
    SimInput* in = ModuleAt<SimInput>(env, kSlotSimInput);
    CurRef* ref = ModuleAt<CurRef>(env, kSlotCurRef);
    if (in == nullptr || ref == nullptr) {
        return;
    }
    const PLL* pll = ModuleAt<PLL>(env, kSlotPLL);
    const UdcVolCtrl* udc = ModuleAt<UdcVolCtrl>(env, kSlotUdcVolCtrl);
    const HLVRTCtrl* vrt = ModuleAt<HLVRTCtrl>(env, kSlotHLVRTCtrl);
    ref->Upos_fil = From(pll, &PLL::set_Upos_fil);
    ref->Udneg_fil = From(pll, &PLL::set_Udneg_fil);
    ref->Uqneg_fil = From(pll, &PLL::set_Uqneg_fil);
    ref->Idpos_ref = From(udc, &UdcVolCtrl::set_Idpos_ref);
    ref->Iqpos_ref_sel = From(vrt, &HLVRTCtrl::set_Iqpos_ref_sel);
    ref->Idneg_cl_ref = From(udc, &UdcVolCtrl::set_Idneg_cl_ref);
    ref->Iqneg_cl_ref = From(udc, &UdcVolCtrl::set_Iqneg_cl_ref);
    SetChannelTarget(in, 48, &ref->ena_neg_cmp);
}

void WireCurRefCal(Environment* env) noexcept {
    SimInput* in = ModuleAt<SimInput>(env, kSlotSimInput);
    CurRefCal* cal = ModuleAt<CurRefCal>(env, kSlotCurRefCal);
    if (in == nullptr || cal == nullptr) {
        return;
    }
    const Parameter* par = ModuleAt<Parameter>(env, kSlotParameter);
    const CurTrans* cur = ModuleAt<CurTrans>(env, kSlotCurTrans);
    const UdcVolCtrl* udc = ModuleAt<UdcVolCtrl>(env, kSlotUdcVolCtrl);
    const HLVRTCtrl* vrt = ModuleAt<HLVRTCtrl>(env, kSlotHLVRTCtrl);
    const CurRef* ref = ModuleAt<CurRef>(env, kSlotCurRef);
    cal->Idpos_ref = From(udc, &UdcVolCtrl::set_Idpos_ref);
    cal->Iqpos_ref_sel = From(vrt, &HLVRTCtrl::set_Iqpos_ref_sel);
    cal->Idpos_app_ref1 = ZeroCellFloat();
    cal->Iqpos_app_ref1 = ZeroCellFloat();
    cal->Idpos_app_ref2 = ZeroCellFloat();
    cal->Iqpos_app_ref2 = ZeroCellFloat();
    cal->Idpos_app_ref3 = ZeroCellFloat();
    cal->Iqpos_app_ref3 = ZeroCellFloat();
    cal->Idneg_op_ref = From(ref, &CurRef::set_Idneg_op_ref);
    cal->Iqneg_op_ref = From(ref, &CurRef::set_Iqneg_op_ref);
    cal->Idneg_cl_ref = From(udc, &UdcVolCtrl::set_Idneg_cl_ref);
    cal->Iqneg_cl_ref = From(udc, &UdcVolCtrl::set_Iqneg_cl_ref);
    cal->Idneg_app_ref = ZeroCellFloat();
    cal->Iqneg_app_ref = ZeroCellFloat();
    cal->Idzero_ref = From(ref, &CurRef::set_Idzero_ref);
    cal->Iqzero_ref = From(ref, &CurRef::set_Iqzero_ref);
    cal->trans_type = From(par, &Parameter::trans_type);
    cal->Idpos_fbk = From(cur, &CurTrans::set_Idpos_fbk);
    cal->Iqpos_fbk = From(cur, &CurTrans::set_Iqpos_fbk);
    cal->Idneg_fbk = From(cur, &CurTrans::set_Idneg_fbk);
    cal->Iqneg_fbk = From(cur, &CurTrans::set_Iqneg_fbk);
    cal->Idzero_fbk = From(cur, &CurTrans::set_Idzero_fbk);
    cal->Iqzero_fbk = From(cur, &CurTrans::set_Iqzero_fbk);
    cal->Task1 = From(par, &Parameter::Task1);
    cal->Task2 = From(par, &Parameter::Task2);
    cal->Task3 = From(par, &Parameter::Task3);
    SetChannelTarget(in, 82, &cal->parm_Iqpos_ref_lim);
    SetChannelTarget(in, 95, &cal->parm_Idpos_ref_lim);
}

void WireCurCtrl(Environment* env) noexcept {
    SimInput* in = ModuleAt<SimInput>(env, kSlotSimInput);
    CurCtrl* cc = ModuleAt<CurCtrl>(env, kSlotCurCtrl);
    if (in == nullptr || cc == nullptr) {
        return;
    }
    const Parameter* par = ModuleAt<Parameter>(env, kSlotParameter);
    const MeterCtrl* meter = ModuleAt<MeterCtrl>(env, kSlotMeterCtrl);
    const CurTrans* cur = ModuleAt<CurTrans>(env, kSlotCurTrans);
    const CurRefCal* cal = ModuleAt<CurRefCal>(env, kSlotCurRefCal);
    const UFedCtrl* ufed = ModuleAt<UFedCtrl>(env, kSlotUFedCtrl);
    cc->Idpos_ref_sum = From(cal, &CurRefCal::set_Idpos_ref_sum);
    cc->Iqpos_ref_sum = From(cal, &CurRefCal::set_Iqpos_ref_sum);
    cc->Idpos_fbk = From(cur, &CurTrans::set_Idpos_fbk);
    cc->Iqpos_fbk = From(cur, &CurTrans::set_Iqpos_fbk);
    cc->Idneg_ref_sum = From(cal, &CurRefCal::set_Idneg_ref_sum);
    cc->Iqneg_ref_sum = From(cal, &CurRefCal::set_Iqneg_ref_sum);
    cc->Idneg_fbk = From(cur, &CurTrans::set_Idneg_fbk);
    cc->Iqneg_fbk = From(cur, &CurTrans::set_Iqneg_fbk);
    cc->Idzero_ref_sum = From(cal, &CurRefCal::set_Idzero_ref_sum);
    cc->Iqzero_ref_sum = From(cal, &CurRefCal::set_Iqzero_ref_sum);
    cc->Idzero_fbk = From(cur, &CurTrans::set_Idzero_fbk);
    cc->Iqzero_fbk = From(cur, &CurTrans::set_Iqzero_fbk);
    cc->Ud_ff = From(ufed, &UFedCtrl::set_Ud_ff);
    cc->Uq_ff = From(ufed, &UFedCtrl::set_Uq_ff);
    cc->flg_seq_deblock = DeblockCommand(in);
    // Integrator tracking is never requested in this build.
    cc->flg_update_fosys = ZeroCellByte();
    cc->wL_pu = From(meter, &MeterCtrl::set_wL_pu);
    cc->grid_theta = From(ModuleAt<PLL>(env, kSlotPLL), &PLL::set_grid_theta);
    cc->Ictrl_a_pu = From(meter, &MeterCtrl::set_Ictrl_a_pu);
    cc->Ictrl_b_pu = From(meter, &MeterCtrl::set_Ictrl_b_pu);
    cc->Ictrl_c_pu = From(meter, &MeterCtrl::set_Ictrl_c_pu);
    for (const float** fosys : {&cc->Idpos_fosys, &cc->Iqpos_fosys, &cc->Idneg_fosys,
                                &cc->Iqneg_fosys, &cc->Idzero_fosys, &cc->Iqzero_fosys}) {
        *fosys = ZeroCellFloat();
    }
    cc->Task1 = From(par, &Parameter::Task1);
    cc->Task2 = From(par, &Parameter::Task2);
    cc->Task3 = From(par, &Parameter::Task3);
    cc->set_Ua_ff = From(ufed, &UFedCtrl::set_Ua_ff);
    cc->set_Ub_ff = From(ufed, &UFedCtrl::set_Ub_ff);
    cc->set_Uc_ff = From(ufed, &UFedCtrl::set_Uc_ff);
    cc->flg_ffsw = From(ufed, &UFedCtrl::flg_ffsw);
    const GfmCtrl* gfm = ModuleAt<GfmCtrl>(env, kSlotGfmCtrl);
    cc->Ud_fil_GFM = From(gfm, &GfmCtrl::set_Ud_fil_GFM);
    cc->Uq_fil_GFM = From(gfm, &GfmCtrl::set_Uq_fil_GFM);
    cc->Id_fbk_GFM = From(gfm, &GfmCtrl::set_Id_fbk_GFM);
    cc->Iq_fbk_GFM = From(gfm, &GfmCtrl::set_Iq_fbk_GFM);
    cc->Idref_GFM = From(gfm, &GfmCtrl::Idref_GFM);
    cc->Iqref_GFM = From(gfm, &GfmCtrl::Iqref_GFM);
    cc->grid_theta_GFM = From(gfm, &GfmCtrl::grid_theta_GFM);
    cc->En_GFM = From(gfm, &GfmCtrl::En_GFM);
    cc->E_GFM_final = From(gfm, &GfmCtrl::E_GFM_final);
    cc->GFM_Blk_OtLoop = From(gfm, &GfmCtrl::GFM_Blk_OtLoop);
    SetChannelTarget(in, 88, &cc->parm_pos_cur_kp);
    SetChannelTarget(in, 89, &cc->parm_pos_cur_ki);
}

void WireHarCurCtrl(Environment* env) noexcept {
    SimInput* in = ModuleAt<SimInput>(env, kSlotSimInput);
    HarCurCtrl* har = ModuleAt<HarCurCtrl>(env, kSlotHarCurCtrl);
    if (in == nullptr || har == nullptr) {
        return;
    }
    const Parameter* par = ModuleAt<Parameter>(env, kSlotParameter);
    const MeterCtrl* meter = ModuleAt<MeterCtrl>(env, kSlotMeterCtrl);
    har->flg_seq_running = RunningCommand(in);
    har->trans_type = From(par, &Parameter::trans_type);
    har->grid_theta = From(ModuleAt<PLL>(env, kSlotPLL), &PLL::set_grid_theta);
    har->rcp_Ivalve_base = From(meter, &MeterCtrl::set_rcp_Ihall_base);
    har->rcp_Ipoc_base = From(meter, &MeterCtrl::set_rcp_Ipoc_base);
    har->rcp_Upoc_base = From(meter, &MeterCtrl::set_rcp_Upoc_base);
    // No harmonic extraction in this build: every harmonic dq component reads the zero cell.
    for (HarLoopInputs& loop : har->loop_in) {
        for (const float** slot :
             {&loop.hall_idpos, &loop.hall_iqpos, &loop.hall_idneg, &loop.hall_iqneg,
              &loop.sys_idpos, &loop.sys_iqpos, &loop.sys_idneg, &loop.sys_iqneg, &loop.sys_udpos,
              &loop.sys_uqpos, &loop.sys_udneg, &loop.sys_uqneg}) {
            *slot = ZeroCellFloat();
        }
    }
    har->Urms_PT4_ab_fund = &in->input[21];
    har->Urms_PT4_bc_fund = &in->input[22];
    har->Urms_PT4_ca_fund = &in->input[23];
    har->Task1 = From(par, &Parameter::Task1);
    har->Task2 = From(par, &Parameter::Task2);
    har->Task3 = From(par, &Parameter::Task3);
}

void WireModeCtrl(Environment* env) noexcept {
    SimInput* in = ModuleAt<SimInput>(env, kSlotSimInput);
    ModeCtrl* mode = ModuleAt<ModeCtrl>(env, kSlotModeCtrl);
    if (in == nullptr || mode == nullptr) {
        return;
    }
    const Parameter* par = ModuleAt<Parameter>(env, kSlotParameter);
    const MeterCtrl* meter = ModuleAt<MeterCtrl>(env, kSlotMeterCtrl);
    const PLL* pll = ModuleAt<PLL>(env, kSlotPLL);
    const CurTrans* cur = ModuleAt<CurTrans>(env, kSlotCurTrans);
    const PQCal* pq = ModuleAt<PQCal>(env, kSlotPQCal);
    const AppModeCtrl* app = ModuleAt<AppModeCtrl>(env, kSlotAppModeCtrl);
    const HLVRTCtrl* vrt = ModuleAt<HLVRTCtrl>(env, kSlotHLVRTCtrl);
    const float* zero = ZeroCellFloat();
    const std::uint8_t* zero_byte = ZeroCellByte();
    mode->flg_seq_running = RunningCommand(in);
    mode->Udpos_fil = From(pll, &PLL::set_Udpos_fil);
    mode->Uqpos_fil = From(pll, &PLL::set_Uqpos_fil);
    mode->Idpos_fbk = From(cur, &CurTrans::set_Idpos_fbk);
    mode->Qsvg_pu = From(pq, &PQCal::set_Qsvg_pu);
    mode->Q_sel_pu = From(pq, &PQCal::set_Q_sel_pu);
    mode->P_sel_pu = From(pq, &PQCal::set_P_sel_pu);
    mode->Id_mix = From(cur, &CurTrans::set_Id_mix);
    mode->Iq_mix = From(cur, &CurTrans::set_Iq_mix);
    mode->Ufbk_pu = From(meter, &MeterCtrl::set_Ufbk_pu);
    mode->Ucmd_pu = From(meter, &MeterCtrl::set_Ucmd_pu);
    mode->Qsvg_cmd_pu = From(meter, &MeterCtrl::set_Qsvg_cmd_pu);
    mode->Qsys_cmd_pu = From(meter, &MeterCtrl::set_Qsys_cmd_pu);
    mode->Isvg_cmd_pu = From(meter, &MeterCtrl::set_Isvg_cmd_pu);
    mode->Coorctl_cmd_pu = From(meter, &MeterCtrl::set_Coorctl_cmd_pu);
    mode->Iqpos_intg_fosys = zero;
    mode->flg_update_fosys = zero_byte;
    mode->flg_Qn_lim = zero_byte;
    mode->Task2 = From(par, &Parameter::Task2);
    mode->Task3 = From(par, &Parameter::Task3);
    mode->AVC_Umode = zero_byte;
    mode->AVC_Qmode = zero_byte;
    mode->AVC_mode_sw = zero_byte;
    mode->AVC_Ucmd_pu = zero;
    mode->AVC_Qcmd_pu = zero;
    mode->Iqpos_ref_sel = From(vrt, &HLVRTCtrl::set_Iqpos_ref_sel);
    mode->flg_HVRT_mod = From(vrt, &HLVRTCtrl::flg_HVRT_mod);
    mode->flg_LVRT_mod = From(vrt, &HLVRTCtrl::flg_LVRT_mod);
    mode->flg_ZVRT_mod = From(vrt, &HLVRTCtrl::flg_ZVRT_mod);
    mode->kpi_Umode = From(meter, &MeterCtrl::set_kpi_Umode);
    mode->Ufbk_another_pu = From(meter, &MeterCtrl::set_Ufbk_another_pu);
    mode->Upod_cmd = From(app, &AppModeCtrl::set_Upod_cmd);
    mode->QresvC_intg_fosys = zero;
    mode->QresvL_intg_fosys = zero;
    mode->AntiMis_intg_fosys = zero;
    mode->Qn_Mvar = From(par, &Parameter::Qn_Mvar);
    // Coordination bus: no partner units in this build.
    mode->CoorMode_Valid = zero_byte;
    mode->SCoorMode_Valid = zero_byte;
    for (int k = 0; k < 4; ++k) {
        mode->BusEnb[k] = zero_byte;
        mode->Qn_Coor_10kVar[k] = zero;
        mode->Qsvg_Coor_10kVar[k] = zero;
    }
    mode->Iqref_MRec_10kVar = zero;
    mode->Idneg_ref_MRec_10kVar = zero;
    mode->Iqneg_ref_MRec_10kVar = zero;
    mode->Iqref_SRec_10kVar = zero;
    mode->Idneg_ref_SRec_10kVar = zero;
    mode->Iqneg_ref_SRec_10kVar = zero;
    const GfmCtrl* gfm = ModuleAt<GfmCtrl>(env, kSlotGfmCtrl);
    mode->GFM_Blk_OtLoop = From(gfm, &GfmCtrl::GFM_Blk_OtLoop);
    mode->Iqref_GFM = From(gfm, &GfmCtrl::Iqref_GFM);
    SetChannelTarget(in, 44, &mode->parm_Qctrl_mode);
    SetChannelTarget(in, 90, &mode->parm_kp_U);
    SetChannelTarget(in, 91, &mode->parm_ki_U);
}

void WireAppModeCtrl(Environment* env) noexcept {
    AppModeCtrl* app = ModuleAt<AppModeCtrl>(env, kSlotAppModeCtrl);
    if (app == nullptr) {
        return;
    }
    const Parameter* par = ModuleAt<Parameter>(env, kSlotParameter);
    app->Ppcc = From(ModuleAt<PQCal>(env, kSlotPQCal), &PQCal::set_Ppcc);
    app->Qn_Mvar = From(par, &Parameter::Qn_Mvar);
    app->Task1 = From(par, &Parameter::Task1);
    app->Task2 = From(par, &Parameter::Task2);
    app->Task3 = From(par, &Parameter::Task3);
}

void WireInPhaseVolCtrl(Environment* env) noexcept {
    SimInput* in = ModuleAt<SimInput>(env, kSlotSimInput);
    InPhaseVolCtrl* bal = ModuleAt<InPhaseVolCtrl>(env, kSlotInPhaseVolCtrl);
    if (in == nullptr || bal == nullptr) {
        return;
    }
    const Parameter* par = ModuleAt<Parameter>(env, kSlotParameter);
    const MeterCtrl* meter = ModuleAt<MeterCtrl>(env, kSlotMeterCtrl);
    // Host inputs 33..35 (Hall currents) are the numerators, 36..38 the divisors.
    for (int k = 0; k < kBalancePhases; ++k) {
        bal->numerator[k] = &in->input[33 + k];
        bal->divisor[k] = &in->input[36 + k];
    }
    bal->rcp_Udccmd = From(meter, &MeterCtrl::set_rcp_Udccmd);
    bal->submodule_pwdir = From(meter, &MeterCtrl::set_submodule_pwdir);
    bal->Task1 = From(par, &Parameter::Task1);
    bal->Task2 = From(par, &Parameter::Task2);
    bal->Task3 = From(par, &Parameter::Task3);
}

void WireThreeHarCtrl(Environment* env) noexcept {
    SimInput* in = ModuleAt<SimInput>(env, kSlotSimInput);
    ThreeHarCtrl* thh = ModuleAt<ThreeHarCtrl>(env, kSlotThreeHarCtrl);
    if (in == nullptr || thh == nullptr) {
        return;
    }
    const Parameter* par = ModuleAt<Parameter>(env, kSlotParameter);
    const PLL* pll = ModuleAt<PLL>(env, kSlotPLL);
    const CurCtrl* cc = ModuleAt<CurCtrl>(env, kSlotCurCtrl);
    thh->mod_a_pos = From(cc, &CurCtrl::set_mod_a_pos);
    thh->mod_b_pos = From(cc, &CurCtrl::set_mod_b_pos);
    thh->mod_c_pos = From(cc, &CurCtrl::set_mod_c_pos);
    thh->mod_a_neg = From(cc, &CurCtrl::set_mod_a_neg);
    thh->mod_b_neg = From(cc, &CurCtrl::set_mod_b_neg);
    thh->mod_c_neg = From(cc, &CurCtrl::set_mod_c_neg);
    thh->Udmod_pos = From(cc, &CurCtrl::set_Udmod_pos);
    thh->Uqmod_pos = From(cc, &CurCtrl::set_Uqmod_pos);
    thh->Udmod_neg = From(cc, &CurCtrl::set_Udmod_neg);
    thh->Uqmod_neg = From(cc, &CurCtrl::set_Uqmod_neg);
    thh->grid_theta = From(pll, &PLL::set_grid_theta);
    thh->Udpos = From(pll, &PLL::set_Udpos);
    thh->Uqpos = From(pll, &PLL::set_Uqpos);
    thh->Udneg = From(pll, &PLL::set_Udneg);
    thh->Uqneg = From(pll, &PLL::set_Uqneg);
    thh->Ud_mix = From(pll, &PLL::set_Ud_mix);
    thh->Uq_mix = From(pll, &PLL::set_Uq_mix);
    thh->flg_seq_running = RunningCommand(in);
    thh->trans_type = From(par, &Parameter::trans_type);
    thh->Task1 = From(par, &Parameter::Task1);
    thh->flg_ffsw = From(ModuleAt<UFedCtrl>(env, kSlotUFedCtrl), &UFedCtrl::flg_ffsw);
}

void WireModCal(Environment* env) noexcept {
    ModCal* mod = ModuleAt<ModCal>(env, kSlotModCal);
    if (mod == nullptr) {
        return;
    }
    const Parameter* par = ModuleAt<Parameter>(env, kSlotParameter);
    const MeterCtrl* meter = ModuleAt<MeterCtrl>(env, kSlotMeterCtrl);
    const ThreeHarCtrl* thh = ModuleAt<ThreeHarCtrl>(env, kSlotThreeHarCtrl);
    const CurCtrl* cc = ModuleAt<CurCtrl>(env, kSlotCurCtrl);
    mod->mod_a_pos = From(cc, &CurCtrl::set_mod_a_pos);
    mod->mod_b_pos = From(cc, &CurCtrl::set_mod_b_pos);
    mod->mod_c_pos = From(cc, &CurCtrl::set_mod_c_pos);
    mod->mod_a_neg = From(cc, &CurCtrl::set_mod_a_neg);
    mod->mod_b_neg = From(cc, &CurCtrl::set_mod_b_neg);
    mod->mod_c_neg = From(cc, &CurCtrl::set_mod_c_neg);
    mod->mod_a_zero = From(cc, &CurCtrl::set_mod_a_zero);
    mod->mod_b_zero = From(cc, &CurCtrl::set_mod_b_zero);
    mod->mod_c_zero = From(cc, &CurCtrl::set_mod_c_zero);
    const HarCurCtrl* har = ModuleAt<HarCurCtrl>(env, kSlotHarCurCtrl);
    mod->mod_a_har = From(har, &HarCurCtrl::set_mod_a_har);
    mod->mod_b_har = From(har, &HarCurCtrl::set_mod_b_har);
    mod->mod_c_har = From(har, &HarCurCtrl::set_mod_c_har);
    // The common-mode injection goes into all three phases.
    mod->threehar_a = From(thh, &ThreeHarCtrl::set_threehar_inject);
    mod->threehar_b = From(thh, &ThreeHarCtrl::set_threehar_inject);
    mod->threehar_c = From(thh, &ThreeHarCtrl::set_threehar_inject);
    mod->Udc_mean = From(ModuleAt<UdcVolCtrl>(env, kSlotUdcVolCtrl), &UdcVolCtrl::set_Udc_mean);
    mod->Uvalve_base = From(meter, &MeterCtrl::set_Uvalve_base);
    mod->submodule_pwdir = From(meter, &MeterCtrl::set_submodule_pwdir);
    mod->Task1 = From(par, &Parameter::Task1);
    mod->Task2 = From(par, &Parameter::Task2);
    mod->Task3 = From(par, &Parameter::Task3);
    mod->cellnum = From(par, &Parameter::cellnum);
}

void WireSharedModules(Environment* env) noexcept {
    WireParameter(env);
    WireMeterCtrl(env);
    WirePLL(env);
    WireUFedCtrl(env);
    WireCurTrans(env);
    WirePQCal(env);
    WireUdcVolCtrl(env);
    WireHLVRTCtrl(env);
    WireCurRef(env);
    WireCurRefCal(env);
    WireCurCtrl(env);
    WireHarCurCtrl(env);
    WireModeCtrl(env);
    WireAppModeCtrl(env);
    WireInPhaseVolCtrl(env);
    WireThreeHarCtrl(env);
    WireModCal(env);
}

}  // namespace svg
