// Host channels 44..149 of the full build: the parameter each one overwrites at every host
// step, how it is written, and the parameter's registered default. A host that leaves such a
// channel at 0 sets the parameter to 0 (controller gains included), so the stand-in hosts and
// test drivers give every channel its registered value unless told otherwise. Data only: the
// wiring points the channels at their parameters, and a test checks this table against the
// registry and the wiring of a built controller.
#pragma once

#include <cstdint>
#include <string_view>

namespace svg {

// How the input module writes a host channel into its parameter: the low byte of the value
// truncated toward zero, or the single-precision value.
enum class ChannelWrite : std::uint8_t { kByte, kFloat };

struct ParameterChannel {
    int channel;
    std::string_view target;  // qualified parameter name
    ChannelWrite write;
    double registered;  // the parameter's registered default
};

// Ascending by channel. Channels 125 and 126 both write GfmCtrl.parm_GFM_Mode_Sel; 126 is
// written after 125, so its value is the one the parameter keeps. GfmCtrl.parm_Uctrl_GFM is
// reached by no channel and keeps its registered or description-file value.
inline constexpr ParameterChannel kTravikParameterChannels[] = {
    {44, "ModeCtrl.parm_Qctrl_mode", ChannelWrite::kByte, 0.0},
    {45, "Parameter.parm_Qctrl_mode", ChannelWrite::kByte, 0.0},
    {46, "MeterCtrl.parm_ctrl_site", ChannelWrite::kByte, 0.0},
    {47, "MeterCtrl.parm_PTsite_sel", ChannelWrite::kByte, 1.0},
    {48, "CurRef.ena_neg_cmp", ChannelWrite::kByte, 1.0},
    {49, "UdcVolCtrl.ena_Inegctrl_cl", ChannelWrite::kByte, 1.0},
    {50, "UFedCtrl.ena_Uff_sw", ChannelWrite::kByte, 1.0},
    {51, "CurTrans.parm_HALL_lpf_sel", ChannelWrite::kByte, 0.0},
    {52, "HLVRTCtrl.ena_VRT", ChannelWrite::kByte, 1.0},
    {53, "HLVRTCtrl.parm_VRT_site", ChannelWrite::kByte, 0.0},
    {54, "HLVRTCtrl.parm_VRT_mode", ChannelWrite::kByte, 1.0},
    {55, "HLVRTCtrl.ena_Uneglim", ChannelWrite::kByte, 1.0},
    {56, "HallOC.enable01", ChannelWrite::kByte, 0.0},
    {57, "DCPro.enable01", ChannelWrite::kByte, 0.0},
    {58, "OFPro.enable01", ChannelWrite::kByte, 0.0},
    {59, "UFPro.enable01", ChannelWrite::kByte, 0.0},
    {60, "Parameter.parm_Qn_Mvar", ChannelWrite::kFloat, 30.0},
    {61, "Parameter.parm_Vn_kV", ChannelWrite::kFloat, 35.0},
    {62, "Parameter.parm_FrqHzNom", ChannelWrite::kFloat, 50.0},
    {63, "Parameter.parm_LTotCal", ChannelWrite::kFloat, 13.0},
    {64, "Parameter.parm_CapPM", ChannelWrite::kFloat, 4.1},
    {65, "Parameter.parm_cellnum", ChannelWrite::kFloat, 77.0},
    {66, "MeterCtrl.parm_Qsvg_cmd", ChannelWrite::kFloat, 1.0},
    {67, "MeterCtrl.parm_Ucmd", ChannelWrite::kFloat, 35.0},
    {68, "Parameter.parm_Upcc1", ChannelWrite::kFloat, 220.0},
    {69, "MeterCtrl.parm_Udccmd", ChannelWrite::kFloat, 2400.0},
    {70, "UdcVolCtrl.parm_Udccmd", ChannelWrite::kFloat, 1050.0},
    {71, "Parameter.parm_trans_HVnom", ChannelWrite::kFloat, 35.0},
    {72, "Parameter.parm_trans_LVnom", ChannelWrite::kFloat, 10.0},
    {73, "HLVRTCtrl.parm_HVRT_in", ChannelWrite::kFloat, 1.12},
    {74, "HLVRTCtrl.parm_HVRT_out", ChannelWrite::kFloat, 1.1},
    {75, "HLVRTCtrl.parm_HVRT_k", ChannelWrite::kFloat, 5.0},
    {76, "HLVRTCtrl.parm_LVRT_in", ChannelWrite::kFloat, 0.88},
    {77, "HLVRTCtrl.parm_LVRT_out", ChannelWrite::kFloat, 0.9},
    {78, "HLVRTCtrl.parm_LVRT_k", ChannelWrite::kFloat, 1.5},
    {79, "HLVRTCtrl.parm_Iq0_k", ChannelWrite::kFloat, 1.0},
    {80, "HLVRTCtrl.parm_HVRT_strong", ChannelWrite::kFloat, -1.0},
    {81, "HLVRTCtrl.parm_LVRT_strong", ChannelWrite::kFloat, 1.0},
    {82, "CurRefCal.parm_Iqpos_ref_lim", ChannelWrite::kFloat, 1.1},
    {83, "HLVRTCtrl.parm_Iqpos_ref_min", ChannelWrite::kFloat, 0.05},
    {84, "PLL.parm_pll_kp", ChannelWrite::kFloat, 21.2},
    {85, "PLL.parm_pll_ki", ChannelWrite::kFloat, 1413.7},
    {86, "UdcVolCtrl.parm_Inegctrl_kp", ChannelWrite::kFloat, 1.5},
    {87, "UdcVolCtrl.parm_Inegctrl_ki", ChannelWrite::kFloat, 4.0},
    {88, "CurCtrl.parm_pos_cur_kp", ChannelWrite::kFloat, 0.38},
    {89, "CurCtrl.parm_pos_cur_ki", ChannelWrite::kFloat, 7.89},
    {90, "ModeCtrl.parm_kp_U", ChannelWrite::kFloat, 0.05},
    {91, "ModeCtrl.parm_ki_U", ChannelWrite::kFloat, 200.0},
    {92, "UFedCtrl.parm_Uff_filf", ChannelWrite::kFloat, 63.0},
    {93, "UFedCtrl.parm_Uff_filf_sw", ChannelWrite::kFloat, 1256.0},
    {94, "CurTrans.parm_HALL_wc_lpf", ChannelWrite::kFloat, 12566.0},
    {95, "CurRefCal.parm_Idpos_ref_lim", ChannelWrite::kFloat, 0.5},
    {96, "HallOC.act_set01", ChannelWrite::kFloat, 1.3},
    {97, "HallOC.ret_set01", ChannelWrite::kFloat, 1.2},
    {98, "DCPro.act_set01", ChannelWrite::kFloat, 1.3},
    {99, "DCPro.ret_set01", ChannelWrite::kFloat, 1.2},
    {100, "OFPro.act_set01", ChannelWrite::kFloat, 1.3},
    {101, "OFPro.ret_set01", ChannelWrite::kFloat, 1.2},
    {102, "OFPro.act_time01", ChannelWrite::kFloat, 0.0},
    {103, "UFPro.act_set01", ChannelWrite::kFloat, 1.3},
    {104, "UFPro.ret_set01", ChannelWrite::kFloat, 1.2},
    {105, "UFPro.act_time01", ChannelWrite::kFloat, 0.0},
    {106, "OVPro.parm_obCn3L3_01", ChannelWrite::kFloat, 1.3},
    {107, "OVPro.parm_obCn3L3_01_ret", ChannelWrite::kFloat, 1.2},
    {108, "OVPro.parm_obCn3L3_01_t", ChannelWrite::kFloat, 0.0},
    {109, "OVPro.parm_obCn3L3_02", ChannelWrite::kFloat, 1.3},
    {110, "OVPro.parm_obCn3L3_02_ret", ChannelWrite::kFloat, 1.2},
    {111, "OVPro.parm_obCn3L3_02_t", ChannelWrite::kFloat, 0.0},
    {112, "OVPro.parm_obCn3L3_03", ChannelWrite::kFloat, 1.3},
    {113, "OVPro.parm_obCn3L3_03_ret", ChannelWrite::kFloat, 1.2},
    {114, "OVPro.parm_obCn3L3_03_t", ChannelWrite::kFloat, 0.0},
    {115, "UVPro.parm_obCn3L3_01", ChannelWrite::kFloat, 1.3},
    {116, "UVPro.parm_obCn3L3_01_ret", ChannelWrite::kFloat, 1.2},
    {117, "UVPro.parm_obCn3L3_01_t", ChannelWrite::kFloat, 0.0},
    {118, "UVPro.parm_obCn3L3_02", ChannelWrite::kFloat, 1.3},
    {119, "UVPro.parm_obCn3L3_02_ret", ChannelWrite::kFloat, 1.2},
    {120, "UVPro.parm_obCn3L3_02_t", ChannelWrite::kFloat, 0.0},
    {121, "UVPro.parm_obCn3L3_03", ChannelWrite::kFloat, 1.3},
    {122, "UVPro.parm_obCn3L3_03_ret", ChannelWrite::kFloat, 1.2},
    {123, "UVPro.parm_obCn3L3_03_t", ChannelWrite::kFloat, 0.0},
    {124, "GfmCtrl.parm_GFM_Mode", ChannelWrite::kByte, 0.0},
    {125, "GfmCtrl.parm_GFM_Mode_Sel", ChannelWrite::kByte, 0.0},
    {126, "GfmCtrl.parm_GFM_Mode_Sel", ChannelWrite::kByte, 0.0},
    {127, "GfmCtrl.parm_GFM_kj", ChannelWrite::kFloat, 3.5},
    {128, "GfmCtrl.parm_GFM_kd", ChannelWrite::kFloat, 185.0},
    {129, "GfmCtrl.parm_GFM_k1", ChannelWrite::kFloat, 1.0},
    {130, "GfmCtrl.parm_GFM_k2", ChannelWrite::kFloat, 3.0},
    {131, "GfmCtrl.parm_GFM_k3", ChannelWrite::kFloat, 0.35},
    {132, "GfmCtrl.parm_UGFM_wc_lpf", ChannelWrite::kFloat, 63.0},
    {133, "GfmCtrl.parm_UGFM_wc1_lpf", ChannelWrite::kFloat, 63.0},
    {134, "GfmCtrl.parm_IGFM_wc_lpf", ChannelWrite::kFloat, 6280.0},
    {135, "GfmCtrl.parm_m_GFM", ChannelWrite::kFloat, 1.0},
    {136, "GfmCtrl.parm_theta_pre", ChannelWrite::kFloat, 0.0},
    {137, "GfmCtrl.parm_Eref_lim", ChannelWrite::kFloat, 0.2},
    {138, "GfmCtrl.parm_Eref", ChannelWrite::kFloat, 1.0},
    {139, "GfmCtrl.parm_Ku_GFM", ChannelWrite::kFloat, 1.0},
    {140, "GfmCtrl.parm_Kq_GFM", ChannelWrite::kFloat, 1.0},
    {141, "GfmCtrl.parm_kp_QV", ChannelWrite::kFloat, 0.0},
    {142, "GfmCtrl.parm_ki_QV", ChannelWrite::kFloat, 1.0},
    {143, "GfmCtrl.parm_GFM_Iref_kp", ChannelWrite::kFloat, 4.0},
    {144, "GfmCtrl.parm_GFM_Iref_ki", ChannelWrite::kFloat, 0.02},
    {145, "GfmCtrl.parm_GFM_Idref_lim", ChannelWrite::kFloat, 0.5},
    {146, "GfmCtrl.parm_GFM_Iqref_lim", ChannelWrite::kFloat, 1.5},
    {147, "GfmCtrl.parm_GFM_vl", ChannelWrite::kFloat, 1.5},
    {148, "GfmCtrl.parm_GFM_vr", ChannelWrite::kFloat, 1.5},
    {149, "GfmCtrl.parm_GFM_t_delayoff", ChannelWrite::kFloat, 0.2},
};

}  // namespace svg
