// Host channels of the ride-through, DC-voltage and reference-limiting settings, with the
// values a host sends to keep the registered defaults. These channels overwrite their
// parameters at every step, so a run that leaves them at 0 would zero the settings.
#pragma once

namespace svg::testing {

struct ChannelDefault {
    int channel;
    float value;
};

inline constexpr ChannelDefault kReferenceChainDefaults[] = {
    {48, 1.0f},     // CurRef.ena_neg_cmp
    {49, 1.0f},     // UdcVolCtrl.ena_Inegctrl_cl
    {52, 1.0f},     // HLVRTCtrl.ena_VRT
    {53, 0.0f},     // HLVRTCtrl.parm_VRT_site
    {54, 1.0f},     // HLVRTCtrl.parm_VRT_mode
    {55, 1.0f},     // HLVRTCtrl.ena_Uneglim
    {69, 2400.0f},  // MeterCtrl.parm_Udccmd (the per-unit base of the cell voltages)
    {70, 1050.0f},  // UdcVolCtrl.parm_Udccmd
    {73, 1.12f},    // HLVRTCtrl.parm_HVRT_in
    {74, 1.1f},     // HLVRTCtrl.parm_HVRT_out
    {75, 5.0f},     // HLVRTCtrl.parm_HVRT_k
    {76, 0.88f},    // HLVRTCtrl.parm_LVRT_in
    {77, 0.9f},     // HLVRTCtrl.parm_LVRT_out
    {78, 1.5f},     // HLVRTCtrl.parm_LVRT_k
    {79, 1.0f},     // HLVRTCtrl.parm_Iq0_k
    {80, -1.0f},    // HLVRTCtrl.parm_HVRT_strong
    {81, 1.0f},     // HLVRTCtrl.parm_LVRT_strong
    {82, 1.1f},     // CurRefCal.parm_Iqpos_ref_lim
    {83, 0.05f},    // HLVRTCtrl.parm_Iqpos_ref_min
    {86, 1.5f},     // UdcVolCtrl.parm_Inegctrl_kp
    {87, 4.0f},     // UdcVolCtrl.parm_Inegctrl_ki
    {95, 0.5f},     // CurRefCal.parm_Idpos_ref_lim
};

}  // namespace svg::testing
