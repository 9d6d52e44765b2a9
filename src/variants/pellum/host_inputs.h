// Host input channels of the reduced build that a module reads, ascending by channel: the
// measurements, the ratings and commands, the settings that stand for parameters (the value a
// host gives unless told otherwise is the registered default of that parameter) and the two
// run commands. Channels 42, 57..59, 62 and 63 are not read.
#pragma once

#include "variants/common/host_input.h"

namespace svg {

inline constexpr HostInput kPellumSettingInputs[] = {
    {43, "Qn_Mvar", "Mvar", "rated reactive power of the converter"},
    {44, "Un_kV", "kV", "rated line voltage"},
    {45, "LTotCal", "mH", "total inductance between the converter and the grid"},
    {46, "Ucmd_pu", "pu", "voltage command of the voltage control"},
    {47, "Qsvg_cmd_pu", "pu", "reactive power command"},
    {48, "HVRT_k", "-",
     "high-voltage ride-through gain of the reactive current; stands for "
     "HLVRTCtrl.parm_HVRT_k, registered value 5"},
    {49, "LVRT_k", "-",
     "low-voltage ride-through gain of the reactive current; stands for "
     "HLVRTCtrl.parm_LVRT_k, registered value 1.5"},
    {50, "Iq0_k", "-",
     "weight of the pre-fault reactive current during a ride-through; stands for "
     "HLVRTCtrl.parm_Iq0_k, registered value 1"},
    {51, "HVRT_in", "pu",
     "voltage above which the high-voltage ride-through begins; stands for "
     "HLVRTCtrl.parm_HVRT_in, registered value 1.12"},
    {52, "HVRT_out", "pu",
     "voltage below which the high-voltage ride-through ends; stands for "
     "HLVRTCtrl.parm_HVRT_out, registered value 1.1"},
    {53, "LVRT_in", "pu",
     "voltage below which the low-voltage ride-through begins; stands for "
     "HLVRTCtrl.parm_LVRT_in, registered value 0.88"},
    {54, "LVRT_out", "pu",
     "voltage above which the low-voltage ride-through ends; stands for "
     "HLVRTCtrl.parm_LVRT_out, registered value 0.9"},
    {55, "Iqpos_ref_min", "pu",
     "least positive-sequence reactive current reference during a ride-through; stands for "
     "HLVRTCtrl.parm_Iqpos_ref_min, registered value 0.05"},
    {56, "Iqpos_ref_lim", "pu",
     "limit of the positive-sequence reactive current reference, in the mode control and the "
     "current reference; stands for ModeCtrl.parm_Iqpos_ref_lim and "
     "CurRefCal.parm_Iqpos_ref_lim, registered value 1.15"},
    {60, "deblock", "-",
     "deblock command: 1 releases the converter pulses (read as a whole number, below 1 as 0)"},
    {61, "running", "-",
     "running command: 1 while the converter is in operation (read as a whole number, below 1 as "
     "0)"},
};

inline constexpr auto kPellumHostInputs = JoinHostInputs(kMeasurementInputs, kPellumSettingInputs);

}  // namespace svg
