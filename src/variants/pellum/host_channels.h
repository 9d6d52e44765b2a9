// Host channels 48..56 of the reduced build: each is a module input standing in for a
// parameter the full build reads there, and that parameter stays registered (with this build's
// default) though no step reads it. A host gives each channel that parameter's value unless
// told otherwise, as it does for the full build's parameter channels; a test checks this table
// against the registry of a built controller.
#pragma once

#include "variants/common/parameter_channel.h"

namespace svg {

// Ascending by channel; every channel is read as a float.
inline constexpr ParameterChannel kPellumParameterChannels[] = {
    {48, "HLVRTCtrl.parm_HVRT_k", ChannelWrite::kFloat, 5.0},
    {49, "HLVRTCtrl.parm_LVRT_k", ChannelWrite::kFloat, 1.5},
    {50, "HLVRTCtrl.parm_Iq0_k", ChannelWrite::kFloat, 1.0},
    {51, "HLVRTCtrl.parm_HVRT_in", ChannelWrite::kFloat, 1.12},
    {52, "HLVRTCtrl.parm_HVRT_out", ChannelWrite::kFloat, 1.1},
    {53, "HLVRTCtrl.parm_LVRT_in", ChannelWrite::kFloat, 0.88},
    {54, "HLVRTCtrl.parm_LVRT_out", ChannelWrite::kFloat, 0.9},
    {55, "HLVRTCtrl.parm_Iqpos_ref_min", ChannelWrite::kFloat, 0.05},
    {56, "ModeCtrl.parm_Iqpos_ref_lim", ChannelWrite::kFloat, 1.15},
};

}  // namespace svg
