// The signal graph of the full deliverable: every input slot, every host-channel target and
// every output channel. Plain stores, run once after all modules are created.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>

#include "framework/sim_io.h"
#include "framework/slots.h"
#include "framework/type_codes.h"
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
#include "modules/ProElement.h"
#include "modules/ThreeHarCtrl.h"
#include "modules/UFedCtrl.h"
#include "modules/UdcVolCtrl.h"
#include "variants/common/signal_graph.h"
#include "variants/travik/travik.h"

namespace svg {

void WireGfmCtrl(Environment* env) noexcept {
    SimInput* in = ModuleAt<SimInput>(env, kSlotSimInput);
    GfmCtrl* gfm = ModuleAt<GfmCtrl>(env, kSlotGfmCtrl);
    if (in == nullptr || gfm == nullptr) {
        return;
    }
    const Parameter* par = ModuleAt<Parameter>(env, kSlotParameter);
    const MeterCtrl* meter = ModuleAt<MeterCtrl>(env, kSlotMeterCtrl);
    const PLL* pll = ModuleAt<PLL>(env, kSlotPLL);
    const UdcVolCtrl* udc = ModuleAt<UdcVolCtrl>(env, kSlotUdcVolCtrl);
    const ModeCtrl* mode = ModuleAt<ModeCtrl>(env, kSlotModeCtrl);
    const HLVRTCtrl* vrt = ModuleAt<HLVRTCtrl>(env, kSlotHLVRTCtrl);
    const CurRefCal* cal = ModuleAt<CurRefCal>(env, kSlotCurRefCal);
    gfm->Uctrl_a_pu = From(meter, &MeterCtrl::set_Uctrl_a_pu);
    gfm->Uctrl_b_pu = From(meter, &MeterCtrl::set_Uctrl_b_pu);
    gfm->Uctrl_c_pu = From(meter, &MeterCtrl::set_Uctrl_c_pu);
    gfm->Ictrl_a_pu = From(meter, &MeterCtrl::set_Ictrl_a_pu);
    gfm->Ictrl_b_pu = From(meter, &MeterCtrl::set_Ictrl_b_pu);
    gfm->Ictrl_c_pu = From(meter, &MeterCtrl::set_Ictrl_c_pu);
    gfm->Udc_ref_pu = From(udc, &UdcVolCtrl::udc_ref_pu);
    gfm->Udc_fbk_pu = From(udc, &UdcVolCtrl::udc_fbk_pu);
    gfm->err_ki_final = From(mode, &ModeCtrl::err_ki_final);
    gfm->err_openmode_final = From(mode, &ModeCtrl::err_openmode_final);
    gfm->Ucmd_pu = From(meter, &MeterCtrl::set_Ucmd_pu);
    gfm->w_GFL = From(pll, &PLL::set_w_GFL);
    gfm->grid_theta = From(pll, &PLL::set_grid_theta);
    gfm->flg_HVRT_mod = From(vrt, &HLVRTCtrl::flg_HVRT_mod);
    gfm->flg_LVRT_mod = From(vrt, &HLVRTCtrl::flg_LVRT_mod);
    gfm->flg_ffsw = From(ModuleAt<UFedCtrl>(env, kSlotUFedCtrl), &UFedCtrl::flg_ffsw);
    gfm->flg_seq_deblock = DeblockCommand(in);
    gfm->flg_Uctrl = From(mode, &ModeCtrl::flg_Uctrl);
    gfm->flg_Qopen_mode = From(mode, &ModeCtrl::flg_Qopen_mode);
    gfm->FrqHzNom = From(par, &Parameter::FrqHzNom);
    gfm->Task1 = From(par, &Parameter::Task1);
    gfm->Task2 = From(par, &Parameter::Task2);
    gfm->Task3 = From(par, &Parameter::Task3);
    // Read by no routine; bound to the reactance its name stands for.
    gfm->wL_pu = From(meter, &MeterCtrl::set_wL_pu);
    gfm->Idpos_ref_sum = From(cal, &CurRefCal::set_Idpos_ref_sum);
    gfm->Iqpos_ref_sum = From(cal, &CurRefCal::set_Iqpos_ref_sum);
    SetChannelTarget(in, 124, &gfm->parm_GFM_Mode);
    // Channels 125 and 126 both write the current-reference method; 126 comes later and wins.
    SetChannelTarget(in, 125, &gfm->parm_GFM_Mode_Sel);
    SetChannelTarget(in, 126, &gfm->parm_GFM_Mode_Sel);
    SetChannelTarget(in, 127, &gfm->parm_GFM_kj);
    SetChannelTarget(in, 128, &gfm->parm_GFM_kd);
    SetChannelTarget(in, 129, &gfm->parm_GFM_k1);
    SetChannelTarget(in, 130, &gfm->parm_GFM_k2);
    SetChannelTarget(in, 131, &gfm->parm_GFM_k3);
    SetChannelTarget(in, 132, &gfm->parm_UGFM_wc_lpf);
    SetChannelTarget(in, 133, &gfm->parm_UGFM_wc1_lpf);
    SetChannelTarget(in, 134, &gfm->parm_IGFM_wc_lpf);
    SetChannelTarget(in, 135, &gfm->parm_m_GFM);
    SetChannelTarget(in, 136, &gfm->parm_theta_pre);
    SetChannelTarget(in, 137, &gfm->parm_Eref_lim);
    SetChannelTarget(in, 138, &gfm->parm_Eref);
    SetChannelTarget(in, 139, &gfm->parm_Ku_GFM);
    SetChannelTarget(in, 140, &gfm->parm_Kq_GFM);
    SetChannelTarget(in, 141, &gfm->parm_kp_QV);
    SetChannelTarget(in, 142, &gfm->parm_ki_QV);
    SetChannelTarget(in, 143, &gfm->parm_GFM_Iref_kp);
    SetChannelTarget(in, 144, &gfm->parm_GFM_Iref_ki);
    SetChannelTarget(in, 145, &gfm->parm_GFM_Idref_lim);
    SetChannelTarget(in, 146, &gfm->parm_GFM_Iqref_lim);
    SetChannelTarget(in, 147, &gfm->parm_GFM_vl);
    SetChannelTarget(in, 148, &gfm->parm_GFM_vr);
    SetChannelTarget(in, 149, &gfm->parm_GFM_t_delayoff);
}

// The six protection elements: analog inputs, the running command as gate, the direction
// stored into the element after registration (so a description-file value has no effect) and
// the parameters the host channels write. The instances differ only in these data.
void WireProtection(Environment* env) noexcept {
    SimInput* in = ModuleAt<SimInput>(env, kSlotSimInput);
    if (in == nullptr) {
        return;
    }
    const MeterCtrl* meter = ModuleAt<MeterCtrl>(env, kSlotMeterCtrl);
    const float* freq = From(ModuleAt<PLL>(env, kSlotPLL), &PLL::set_grid_freq);
    const float* const hall[3] = {From(meter, &MeterCtrl::set_Ictrl_a_pu),
                                  From(meter, &MeterCtrl::set_Ictrl_b_pu),
                                  From(meter, &MeterCtrl::set_Ictrl_c_pu)};
    const float* const cell_dc[3] = {&in->input[39], &in->input[40], &in->input[41]};
    const float* const grid_freq[3] = {freq, freq, freq};
    const float* const line_rms[3] = {&in->input[21], &in->input[22], &in->input[23]};
    constexpr int kNoChannel = -1;
    struct Single {
        ModuleSlot slot;
        const float* const* analog;
        std::uint8_t over;
        int enable, pickup, dropout, pickup_delay;  // host channels
    };
    const Single singles[] = {
        {kSlotHallOC, hall, 1, 56, 96, 97, kNoChannel},
        {kSlotDCPro, cell_dc, 1, 57, 98, 99, kNoChannel},
        {kSlotOFPro, grid_freq, 1, 58, 100, 101, 102},
        {kSlotUFPro, grid_freq, 0, 59, 103, 104, 105},
    };
    for (const Single& s : singles) {
        Pro002003* pro = ModuleAt<Pro002003>(env, s.slot);
        if (pro == nullptr) {
            continue;
        }
        pro->di_input01 = &in->running_cmd;
        pro->an_input01 = s.analog[0];
        pro->an_input02 = s.analog[1];
        pro->an_input03 = s.analog[2];
        pro->parm_obCn3L1_ob = s.over;
        SetChannelTarget(in, s.enable, &pro->enable01);
        SetChannelTarget(in, s.pickup, &pro->act_set01);
        SetChannelTarget(in, s.dropout, &pro->ret_set01);
        if (s.pickup_delay != kNoChannel) {
            SetChannelTarget(in, s.pickup_delay, &pro->act_time01);
        }
    }
    // Three-stage elements: every stage gated by the running command, and per stage k the
    // channels first + 3k (pick-up threshold), +1 (drop-out threshold) and +2 (pick-up delay).
    struct Triple {
        ModuleSlot slot;
        std::uint8_t over;
        int first;
    };
    constexpr Triple kTriples[] = {{kSlotOVPro, 1, 106}, {kSlotUVPro, 0, 115}};
    for (const Triple& t : kTriples) {
        Pro002004* pro = ModuleAt<Pro002004>(env, t.slot);
        if (pro == nullptr) {
            continue;
        }
        pro->an_input01 = line_rms[0];
        pro->an_input02 = line_rms[1];
        pro->an_input03 = line_rms[2];
        pro->parm_obCn3L3_ob = t.over;
        for (int k = 0; k < kProStages; ++k) {
            const ProStageFields& f = kProStageFields[k];
            pro->*f.gate = &in->running_cmd;
            SetChannelTarget(in, t.first + 3 * k, &(pro->*f.pickup));
            SetChannelTarget(in, t.first + 3 * k + 1, &(pro->*f.dropout));
            SetChannelTarget(in, t.first + 3 * k + 2, &(pro->*f.pickup_delay));
        }
    }
}

void WireOutputs(Environment* env) noexcept {
    SimInput* in = ModuleAt<SimInput>(env, kSlotSimInput);
    SimOutput* out = ModuleAt<SimOutput>(env, kSlotSimOutput);
    if (in == nullptr || out == nullptr) {
        return;
    }
    const MeterCtrl* meter = ModuleAt<MeterCtrl>(env, kSlotMeterCtrl);
    const PLL* pll = ModuleAt<PLL>(env, kSlotPLL);
    const CurTrans* cur = ModuleAt<CurTrans>(env, kSlotCurTrans);
    const PQCal* pq = ModuleAt<PQCal>(env, kSlotPQCal);
    const HLVRTCtrl* vrt = ModuleAt<HLVRTCtrl>(env, kSlotHLVRTCtrl);
    const UdcVolCtrl* udc = ModuleAt<UdcVolCtrl>(env, kSlotUdcVolCtrl);
    const CurRefCal* cal = ModuleAt<CurRefCal>(env, kSlotCurRefCal);
    const ModCal* mod = ModuleAt<ModCal>(env, kSlotModCal);
    const InPhaseVolCtrl* bal = ModuleAt<InPhaseVolCtrl>(env, kSlotInPhaseVolCtrl);
    const GfmCtrl* gfm = ModuleAt<GfmCtrl>(env, kSlotGfmCtrl);
    const Pro002003* over_freq = ModuleAt<Pro002003>(env, kSlotOFPro);
    const Pro002003* under_freq = ModuleAt<Pro002003>(env, kSlotUFPro);
    const Pro002004* over_volt = ModuleAt<Pro002004>(env, kSlotOVPro);
    const Pro002004* under_volt = ModuleAt<Pro002004>(env, kSlotUVPro);
    // The combined protection flag ORs the ten element and stage flags; its other ten inputs
    // stay on the zero cell.
    const std::uint8_t* const flags[] = {
        From(ModuleAt<Pro002003>(env, kSlotHallOC), &Pro002003::act_flg01),
        From(ModuleAt<Pro002003>(env, kSlotDCPro), &Pro002003::act_flg01),
        From(over_freq, &Pro002003::act_flg01),
        From(under_freq, &Pro002003::act_flg01),
        From(over_volt, &Pro002004::flg_obCn3L3_01),
        From(over_volt, &Pro002004::flg_obCn3L3_02),
        From(over_volt, &Pro002004::flg_obCn3L3_03),
        From(under_volt, &Pro002004::flg_obCn3L3_01),
        From(under_volt, &Pro002004::flg_obCn3L3_02),
        From(under_volt, &Pro002004::flg_obCn3L3_03),
    };
    for (std::size_t k = 0; k < std::size(flags); ++k) {
        out->flag_inputs[k] = flags[k];
    }
    // Output channels in channel order. A channel whose source module is absent stays
    // unbound (BindOutput refuses a null source) and keeps its 0.0.
    auto bind = [env](const void* source, int type, int channel) {
        BindOutput(env, source, type, channel);
    };
    auto field = [](const auto* module, auto member) -> const void* {
        return module != nullptr ? &(module->*member) : nullptr;
    };
    bind(field(mod, &ModCal::set_mod_a_sum), kTypeF, 0);
    bind(field(mod, &ModCal::set_mod_b_sum), kTypeF, 1);
    bind(field(mod, &ModCal::set_mod_c_sum), kTypeF, 2);
    bind(DeblockCommand(in), kTypeC, 3);
    bind(&in->running_cmd, kTypeC, 4);
    bind(field(pll, &PLL::set_grid_theta), kTypeF, 5);
    bind(field(pll, &PLL::set_grid_freq), kTypeF, 6);
    bind(field(pll, &PLL::set_Upos_fil), kTypeF, 7);
    bind(field(pq, &PQCal::set_Qsvg_pu), kTypeF, 8);
    bind(field(vrt, &HLVRTCtrl::flg_LVRT_mod), kTypeC, 9);
    bind(field(vrt, &HLVRTCtrl::flg_HVRT_mod), kTypeC, 10);
    bind(field(udc, &UdcVolCtrl::set_Udc_mean), kTypeF, 11);
    bind(field(udc, &UdcVolCtrl::set_Udccmd_final), kTypeF, 12);
    bind(field(cal, &CurRefCal::set_Idpos_ref_sum), kTypeF, 13);
    bind(field(cur, &CurTrans::set_Idpos_fbk), kTypeF, 14);
    bind(field(vrt, &HLVRTCtrl::set_Iqpos_ref_sel), kTypeF, 15);
    bind(field(cur, &CurTrans::set_Iqpos_fbk), kTypeF, 16);
    bind(field(bal, &InPhaseVolCtrl::set_Udca_bal_coef), kTypeF, 17);
    bind(field(bal, &InPhaseVolCtrl::set_Udcb_bal_coef), kTypeF, 18);
    bind(field(bal, &InPhaseVolCtrl::set_Udcc_bal_coef), kTypeF, 19);
    bind(&out->prot_flag, kTypeCu, 20);
    bind(field(gfm, &GfmCtrl::set_Ud_fil_GFM), kTypeF, 21);
    bind(field(gfm, &GfmCtrl::set_Uq_fil_GFM), kTypeF, 22);
    bind(field(gfm, &GfmCtrl::set_Id_fbk_GFM), kTypeF, 23);
    bind(field(gfm, &GfmCtrl::set_Iq_fbk_GFM), kTypeF, 24);
    bind(field(gfm, &GfmCtrl::set_w_GFM), kTypeF, 25);
    bind(field(gfm, &GfmCtrl::grid_theta_GFM), kTypeF, 26);
    bind(field(gfm, &GfmCtrl::E_GFM), kTypeF, 27);
    bind(field(gfm, &GfmCtrl::Idref_GFM), kTypeF, 28);
    bind(field(gfm, &GfmCtrl::Iqref_GFM), kTypeF, 29);
    bind(field(gfm, &GfmCtrl::E_GFM_final), kTypeF, 30);
    bind(field(meter, &MeterCtrl::set_Ufbk_rms), kTypeF, 31);
    bind(field(over_freq, &Pro002003::act_flg01), kTypeCu, 32);
    bind(field(under_freq, &Pro002003::act_flg01), kTypeCu, 33);
    bind(field(over_volt, &Pro002004::flg_obCn3L3_01), kTypeCu, 34);
    bind(field(over_volt, &Pro002004::flg_obCn3L3_02), kTypeCu, 35);
    bind(field(over_volt, &Pro002004::flg_obCn3L3_03), kTypeCu, 36);
    bind(field(under_volt, &Pro002004::flg_obCn3L3_01), kTypeCu, 37);
    bind(field(under_volt, &Pro002004::flg_obCn3L3_02), kTypeCu, 38);
    bind(field(under_volt, &Pro002004::flg_obCn3L3_03), kTypeCu, 39);
}

void WireTravik(Environment* env) noexcept {
    WireSharedModules(env);
    WireGfmCtrl(env);
    WireProtection(env);
    WireOutputs(env);
}

}  // namespace svg
