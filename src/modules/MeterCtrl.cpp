#include "modules/MeterCtrl.h"

#include <cmath>
#include <cstddef>

#include "blocks/numeric.h"

namespace svg {
namespace {

// clang-format off
constexpr SignalRow kSignals[] = {
    {SignalKind::kFloatInput, offsetof(MeterCtrl, U_PT1_a), "U_PT1_a type=f", "V", "instantaneous phase-a voltage at PT1, the PCC measurement"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, U_PT1_b), "U_PT1_b type=f", "V", "instantaneous phase-b voltage at PT1, the PCC measurement"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, U_PT1_c), "U_PT1_c type=f", "V", "instantaneous phase-c voltage at PT1, the PCC measurement"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, U_PT2_a), "U_PT2_a type=f", "V", "instantaneous phase-a voltage at PT2, an alternative PCC-side site"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, U_PT2_b), "U_PT2_b type=f", "V", "instantaneous phase-b voltage at PT2, an alternative PCC-side site"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, U_PT2_c), "U_PT2_c type=f", "V", "instantaneous phase-c voltage at PT2, an alternative PCC-side site"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, U_PT3_a), "U_PT3_a type=f", "V", "instantaneous phase-a voltage at PT3, an alternative PCC-side site"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, U_PT3_b), "U_PT3_b type=f", "V", "instantaneous phase-b voltage at PT3, an alternative PCC-side site"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, U_PT3_c), "U_PT3_c type=f", "V", "instantaneous phase-c voltage at PT3, an alternative PCC-side site"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, U_PT4_a), "U_PT4_a type=f", "V", "instantaneous phase-a voltage at PT4, the converter connection point"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, U_PT4_b), "U_PT4_b type=f", "V", "instantaneous phase-b voltage at PT4, the converter connection point"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, U_PT4_c), "U_PT4_c type=f", "V", "instantaneous phase-c voltage at PT4, the converter connection point"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, Urms_PT1_ab), "Urms_PT1_ab type=f", "V", "line ab RMS voltage at PT1, the PCC measurement, measured by the host"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, Urms_PT1_bc), "Urms_PT1_bc type=f", "V", "line bc RMS voltage at PT1, the PCC measurement, measured by the host"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, Urms_PT1_ca), "Urms_PT1_ca type=f", "V", "line ca RMS voltage at PT1, the PCC measurement, measured by the host"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, Urms_PT2_ab), "Urms_PT2_ab type=f", "V", "line ab RMS voltage at PT2, an alternative PCC-side site, measured by the host"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, Urms_PT2_bc), "Urms_PT2_bc type=f", "V", "line bc RMS voltage at PT2, an alternative PCC-side site, measured by the host"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, Urms_PT2_ca), "Urms_PT2_ca type=f", "V", "line ca RMS voltage at PT2, an alternative PCC-side site, measured by the host"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, Urms_PT3_ab), "Urms_PT3_ab type=f", "V", "line ab RMS voltage at PT3, an alternative PCC-side site, measured by the host"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, Urms_PT3_bc), "Urms_PT3_bc type=f", "V", "line bc RMS voltage at PT3, an alternative PCC-side site, measured by the host"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, Urms_PT3_ca), "Urms_PT3_ca type=f", "V", "line ca RMS voltage at PT3, an alternative PCC-side site, measured by the host"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, Urms_PT4_ab), "Urms_PT4_ab type=f", "V", "line ab RMS voltage at PT4, the converter connection point, measured by the host"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, Urms_PT4_bc), "Urms_PT4_bc type=f", "V", "line bc RMS voltage at PT4, the converter connection point, measured by the host"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, Urms_PT4_ca), "Urms_PT4_ca type=f", "V", "line ca RMS voltage at PT4, the converter connection point, measured by the host"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, I_CT1_a), "I_CT1_a type=f", "A", "instantaneous phase-a current of CT1, a system current transformer"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, I_CT1_b), "I_CT1_b type=f", "A", "instantaneous phase-b current of CT1, a system current transformer"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, I_CT1_c), "I_CT1_c type=f", "A", "instantaneous phase-c current of CT1, a system current transformer"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, I_CT2_a), "I_CT2_a type=f", "A", "instantaneous phase-a current of CT2, a system current transformer"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, I_CT2_b), "I_CT2_b type=f", "A", "instantaneous phase-b current of CT2, a system current transformer"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, I_CT2_c), "I_CT2_c type=f", "A", "instantaneous phase-c current of CT2, a system current transformer"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, I_CT3_a), "I_CT3_a type=f", "A", "instantaneous phase-a current of CT3, the load current"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, I_CT3_b), "I_CT3_b type=f", "A", "instantaneous phase-b current of CT3, the load current"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, I_CT3_c), "I_CT3_c type=f", "A", "instantaneous phase-c current of CT3, the load current"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, I_HALL_a), "I_HALL_a type=f", "A", "phase-a converter (valve) current from the Hall sensor"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, I_HALL_b), "I_HALL_b type=f", "A", "phase-b converter (valve) current from the Hall sensor"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, I_HALL_c), "I_HALL_c type=f", "A", "phase-c converter (valve) current from the Hall sensor"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, Upcc1_nom), "Upcc1_nom type=f", "kV", "nominal line RMS voltage of the PT1 site"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, Upcc2_nom), "Upcc2_nom type=f", "kV", "nominal line RMS voltage of the PT2 site"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, Upcc3_nom), "Upcc3_nom type=f", "kV", "nominal line RMS voltage of the PT3 site"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, Qn_Mvar), "Qn_Mvar type=f", "Mvar", "rated reactive power of the converter"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, Un_kV), "Un_kV type=f", "kV", "nominal line RMS voltage at the converter connection point"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, LTotCal), "LTotCal type=f", "mH", "total series inductance of the converter"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, FrqHzNom), "FrqHzNom type=f", "Hz", "nominal grid frequency"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, trans_HVnom), "trans_HVnom type=f", "kV", "rated high-side voltage of the coupling transformer"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, trans_LVnom), "trans_LVnom type=f", "kV", "rated low-side voltage of the coupling transformer"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, AVC_Qcmd), "AVC_Qcmd type=f", "Mvar", "external AVC reactive-power command; unwired, reads 0"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, AVC_Ucmd), "AVC_Ucmd type=f", "kV", "external AVC voltage command, line RMS; unwired, reads 0"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, Coorctl_cmd), "Coorctl_cmd type=f", "Mvar", "external coordination reactive-power command; unwired, reads 0"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, Task1), "Task1 type=f", "s", "task-1 period"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, Task2), "Task2 type=f", "s", "task-2 period"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, Task3), "Task3 type=f", "s", "task-3 period"},
    {SignalKind::kByteInput, offsetof(MeterCtrl, trans_type), "trans_type type=cu", "-", "coupling transformer arrangement code, 0 to 6"},
    {SignalKind::kFloatInput, offsetof(MeterCtrl, grid_theta), "grid_theta type=f", "turns", "grid angle from the phase-locked loop"},
    {SignalKind::kParameter, offsetof(MeterCtrl, ena_CT1_sys), "ena_CT1_sys type=cu default=1 option=1", "-", "enable: 1 includes CT1 in the system current"},
    {SignalKind::kParameter, offsetof(MeterCtrl, ena_CT2_sys), "ena_CT2_sys type=cu default=0 option=1", "-", "enable: 1 includes CT2 in the system current"},
    {SignalKind::kParameter, offsetof(MeterCtrl, parm_Urms_ctrl_sel), "parm_Urms_ctrl_sel type=cu default=0 option=1", "-", "line RMS value used: 0 mean of the three, 1 ab, 2 bc, 3 ca"},
    {SignalKind::kParameter, offsetof(MeterCtrl, parm_PTsite_sel), "parm_PTsite_sel type=cu default=1 option=1", "-", "site used for control on the PCC side: 1 PT1, 2 PT2, 3 PT3"},
    {SignalKind::kParameter, offsetof(MeterCtrl, parm_ctrl_site), "parm_ctrl_site type=cu default=0 option=1", "-", "voltage control site: 0 converter connection point (PT4), 1 selected PCC-side site"},
    {SignalKind::kParameter, offsetof(MeterCtrl, parm_submodule_pwdir), "parm_submodule_pwdir type=cu default=0 option=1", "-", "submodule power direction: 0 gives +1, 1 gives -1"},
    {SignalKind::kParameter, offsetof(MeterCtrl, parm_antimis_site), "parm_antimis_site type=cu default=1 option=1", "-", "site of the cross-check voltage: 1 PT1, 2 PT2, 3 PT3, 4 PT4"},
    {SignalKind::kParameter, offsetof(MeterCtrl, parm_Udccmd), "parm_Udccmd type=f default=2400.0 option=1", "V", "cell DC voltage command, the base of the per-unit DC voltages", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(MeterCtrl, parm_Udccmd), "parm_Udccmd type=f default=950.0 option=1", "V", "cell DC voltage command, the base of the per-unit DC voltages", Builds::kReducedOnly},
    {SignalKind::kParameter, offsetof(MeterCtrl, parm_Ucmd), "parm_Ucmd type=f default=35.0 option=1", "kV", "voltage command, line RMS"},
    {SignalKind::kParameter, offsetof(MeterCtrl, parm_Qsvg_cmd), "parm_Qsvg_cmd type=f default=1.0 option=1", "Mvar", "converter reactive-power command"},
    {SignalKind::kParameter, offsetof(MeterCtrl, parm_Qsys_cmd), "parm_Qsys_cmd type=f default=0.0 option=1", "Mvar", "system reactive-power command"},
    {SignalKind::kParameter, offsetof(MeterCtrl, parm_Isvg_cmd), "parm_Isvg_cmd type=f default=10.0 option=1", "A", "converter current command, RMS"},
    {SignalKind::kParameter, offsetof(MeterCtrl, parm_PF_cmd), "parm_PF_cmd type=f default=0.95 option=1", "-", "power-factor command, watched for changes only"},
    {SignalKind::kParameter, offsetof(MeterCtrl, ena_AutoWave), "ena_AutoWave type=cu default=1 option=1", "-", "enable: 1 enables the command-change trigger"},
    {SignalKind::kParameter, offsetof(MeterCtrl, parm_UfbkMode), "parm_UfbkMode type=cu default=0 option=1", "-", "source of the RMS values: 0 host inputs, 1 own computation, 2 filtered vector magnitude", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(MeterCtrl, parm_UABSFil), "parm_UABSFil type=f default=35 option=1", "Hz", "corner frequency of the vector-magnitude filters", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(MeterCtrl, parm_Upos_cal_type), "parm_Upos_cal_type type=cu default=0 option=1", "-", "positive-sequence PCC magnitude method: 1 averaged dq magnitude, else quarter-period delay", Builds::kFullOnly},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Upcc_a_pu), "set_Upcc_a_pu type=f", "pu", "selected PCC-side phase-a voltage, per unit of Upcc_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Upcc_b_pu), "set_Upcc_b_pu type=f", "pu", "selected PCC-side phase-b voltage, per unit of Upcc_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Upcc_c_pu), "set_Upcc_c_pu type=f", "pu", "selected PCC-side phase-c voltage, per unit of Upcc_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Upoc_a_pu), "set_Upoc_a_pu type=f", "pu", "phase-a voltage at PT4, per unit of Upoc_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Upoc_b_pu), "set_Upoc_b_pu type=f", "pu", "phase-b voltage at PT4, per unit of Upoc_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Upoc_c_pu), "set_Upoc_c_pu type=f", "pu", "phase-c voltage at PT4, per unit of Upoc_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Uctrl_a_pu), "set_Uctrl_a_pu type=f level=1", "pu", "phase-a control voltage for the PLL, zero sequence removed, per unit of Upoc_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Uctrl_b_pu), "set_Uctrl_b_pu type=f level=1", "pu", "phase-b control voltage for the PLL, zero sequence removed, per unit of Upoc_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Uctrl_c_pu), "set_Uctrl_c_pu type=f level=1", "pu", "phase-c control voltage for the PLL, zero sequence removed, per unit of Upoc_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Isys_a_pu), "set_Isys_a_pu type=f", "pu", "phase-a system current, enabled CTs summed"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Isys_b_pu), "set_Isys_b_pu type=f", "pu", "phase-b system current, enabled CTs summed"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Isys_c_pu), "set_Isys_c_pu type=f", "pu", "phase-c system current, enabled CTs summed"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Ictrl_a_pu), "set_Ictrl_a_pu type=f", "pu", "phase-a converter current from the Hall sensor, sign inverted, per unit of Ihall_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Ictrl_b_pu), "set_Ictrl_b_pu type=f", "pu", "phase-b converter current from the Hall sensor, sign inverted, per unit of Ihall_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Ictrl_c_pu), "set_Ictrl_c_pu type=f", "pu", "phase-c converter current from the Hall sensor, sign inverted, per unit of Ihall_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Iload_a_pu), "set_Iload_a_pu type=f", "pu", "phase-a CT3 current, per unit of Ipoc_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Iload_b_pu), "set_Iload_b_pu type=f", "pu", "phase-b CT3 current, per unit of Ipoc_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Iload_c_pu), "set_Iload_c_pu type=f", "pu", "phase-c CT3 current, per unit of Ipoc_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Uvalve_base), "set_Uvalve_base type=f", "V", "valve voltage base, peak phase"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_rcp_Ihall_base), "set_rcp_Ihall_base type=f", "1/A", "reciprocal of the Hall current base Ihall_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_rcp_Upoc_base), "set_rcp_Upoc_base type=f", "1/V", "reciprocal of the converter connection voltage base Upoc_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_rcp_Ipoc_base), "set_rcp_Ipoc_base type=f", "1/A", "reciprocal of the converter connection current base Ipoc_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_wL_pu), "set_wL_pu type=f", "pu", "series reactance at nominal frequency"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_rcp_Udccmd), "set_rcp_Udccmd type=f", "1/V", "reciprocal of the DC voltage command parm_Udccmd"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_submodule_pwdir), "set_submodule_pwdir type=f", "-", "submodule power direction, +1 or -1"},
    {SignalKind::kSharedVariable, offsetof(MeterCtrl, set_Ucmd_pu), "set_Ucmd_pu type=f", "pu", "voltage command, per unit of the RMS base of the control site"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_AVC_Ucmd_pu), "set_AVC_Ucmd_pu type=f", "pu", "external AVC voltage command, per unit of the RMS base of the control site"},
    {SignalKind::kSharedVariable, offsetof(MeterCtrl, set_Ufbk_pu), "set_Ufbk_pu type=f", "pu", "voltage feedback of the control site"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Ufbk_rms), "set_Ufbk_rms type=f", "kV", "voltage feedback of the control site, line RMS"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Ufbk_another_pu), "set_Ufbk_another_pu type=f", "pu", "cross-check voltage of a second site; 1 when not available"},
    {SignalKind::kSharedVariable, offsetof(MeterCtrl, set_Qsvg_cmd_pu), "set_Qsvg_cmd_pu type=f", "pu", "converter reactive-power command, per unit of Q_base"},
    {SignalKind::kSharedVariable, offsetof(MeterCtrl, set_Qsys_cmd_pu), "set_Qsys_cmd_pu type=f", "pu", "system reactive-power command, per unit of Q_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_AVC_Qcmd_pu), "set_AVC_Qcmd_pu type=f", "pu", "external AVC reactive-power command, per unit of Q_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Coorctl_cmd_pu), "set_Coorctl_cmd_pu type=f", "pu", "coordination reactive-power command, per unit of Q_base"},
    {SignalKind::kSharedVariable, offsetof(MeterCtrl, set_Isvg_cmd_pu), "set_Isvg_cmd_pu type=f", "pu", "converter current command, per unit peak of Ihall_base"},
    {SignalKind::kSharedVariable, offsetof(MeterCtrl, set_Ufbk_rms), "set_Ufbk_rms type=f", "kV", "voltage feedback of the control site, line RMS", Builds::kReducedOnly},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Ucmd), "set_Ucmd type=f", "kV", "copy of the voltage command parm_Ucmd, line RMS"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Qsvg_cmd), "set_Qsvg_cmd type=f", "Mvar", "copy of the converter reactive-power command parm_Qsvg_cmd"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Qsys_cmd), "set_Qsys_cmd type=f", "Mvar", "copy of the system reactive-power command parm_Qsys_cmd"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Isvg_cmd), "set_Isvg_cmd type=f", "A", "copy of the converter current command parm_Isvg_cmd, RMS"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_kpi_Umode), "set_kpi_Umode type=f", "-", "voltage-loop gain scaling: RMS base of the control site times 0.028571"},
    {SignalKind::kVariable, offsetof(MeterCtrl, CmdchangeTrig), "CmdchangeTrig type=cu", "-", "command-change trigger, set for about 200 ms when a command changes"},
    {SignalKind::kVariable, offsetof(MeterCtrl, UabRms), "UabRms type=f level=1", "V", "own line ab RMS voltage of PT4 over 100 task-1 samples"},
    {SignalKind::kVariable, offsetof(MeterCtrl, UbcRms), "UbcRms type=f level=1", "V", "own line bc RMS voltage of PT4 over 100 task-1 samples"},
    {SignalKind::kVariable, offsetof(MeterCtrl, UcaRms), "UcaRms type=f level=1", "V", "own line ca RMS voltage of PT4 over 100 task-1 samples"},
    {SignalKind::kVariable, offsetof(MeterCtrl, UPCCabRms), "UPCCabRms type=f level=1", "V", "own line ab RMS voltage of PT1 (PCC) over 100 task-1 samples"},
    {SignalKind::kVariable, offsetof(MeterCtrl, UPCCbcRms), "UPCCbcRms type=f level=1", "V", "own line bc RMS voltage of PT1 (PCC) over 100 task-1 samples"},
    {SignalKind::kVariable, offsetof(MeterCtrl, UPCCcaRms), "UPCCcaRms type=f level=1", "V", "own line ca RMS voltage of PT1 (PCC) over 100 task-1 samples"},
    {SignalKind::kVariable, offsetof(MeterCtrl, Upcc_base), "Upcc_base type=f", "V", "voltage base of the PCC side, peak phase"},
    {SignalKind::kVariable, offsetof(MeterCtrl, Upoc_base), "Upoc_base type=f", "V", "converter connection voltage base, peak phase"},
    {SignalKind::kVariable, offsetof(MeterCtrl, Ipcc_base), "Ipcc_base type=f", "A", "current base of the PCC side, peak"},
    {SignalKind::kVariable, offsetof(MeterCtrl, Ipoc_base), "Ipoc_base type=f", "A", "converter connection current base, peak"},
    {SignalKind::kVariable, offsetof(MeterCtrl, Ihall_base), "Ihall_base type=f", "A", "valve current base of the Hall sensors, peak"},
    {SignalKind::kVariable, offsetof(MeterCtrl, Q_base), "Q_base type=f", "Mvar", "reactive power base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, Upcc_rms_base), "Upcc_rms_base type=f", "kV", "voltage base of the PCC side, line RMS"},
    {SignalKind::kVariable, offsetof(MeterCtrl, Upoc_rms_base), "Upoc_rms_base type=f", "kV", "converter connection voltage base, line RMS"},
    {SignalKind::kVariable, offsetof(MeterCtrl, k_trans), "k_trans type=f", "-", "coupling transformer ratio, high side over low side"},
    {SignalKind::kVariable, offsetof(MeterCtrl, rcp_k_trans), "rcp_k_trans type=f", "-", "inverse coupling transformer ratio, low side over high side"},
    {SignalKind::kVariable, offsetof(MeterCtrl, rcp_Upcc_base), "rcp_Upcc_base type=f", "1/V", "reciprocal of the PCC-side voltage base Upcc_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, rcp_Ipcc_base), "rcp_Ipcc_base type=f", "1/A", "reciprocal of the PCC-side current base Ipcc_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, rcp_Q_base), "rcp_Q_base type=f", "1/Mvar", "reciprocal of the reactive power base Q_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, rcp_Upcc_rms_base), "rcp_Upcc_rms_base type=f", "1/kV", "reciprocal of the PCC-side RMS voltage base Upcc_rms_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, rcp_Upoc_rms_base), "rcp_Upoc_rms_base type=f", "1/kV", "reciprocal of the converter connection RMS voltage base Upoc_rms_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, rcp_Z_base), "rcp_Z_base type=f", "1/ohm", "reciprocal of the impedance base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, rcp_Uvalve_base), "rcp_Uvalve_base type=f", "1/V", "reciprocal of the valve voltage base set_Uvalve_base"},
    {SignalKind::kVariable, offsetof(MeterCtrl, set_Upos_PCC_pu), "set_Upos_PCC_pu type=f", "pu", "positive-sequence PCC voltage magnitude"},
    {SignalKind::kVariable, offsetof(MeterCtrl, ABSMode), "ABSMode type=cu", "-", "flag: 1 while the feedback uses the filtered vector magnitude"},
    {SignalKind::kVariable, offsetof(MeterCtrl, test1), "test1 type=cu", "-", "debug byte, set to 1 at construction and never changed"},
};
// clang-format on

constexpr float kRmsToPeakPhase = 0.8164966f;  // sqrt(2/3): line RMS to phase peak

// Square root formed in double precision. A sum of squares that rounding has left slightly
// below zero, or that is not a number, reads as 0.
float Root(float sum) {
    return static_cast<float>(std::sqrt(static_cast<double>(sum > 0.0f ? sum : 0.0f)));
}

float Magnitude(float x, float y) { return Root(x * x + y * y); }

Abc Read(const float* a, const float* b, const float* c) { return {*a, *b, *c}; }
LineSet ReadLines(const float* ab, const float* bc, const float* ca) { return {*ab, *bc, *ca}; }
Abc Scale(const Abc& x, float k) { return {x.a * k, x.b * k, x.c * k}; }
float Mean(const LineSet& s) { return (s.ab + s.bc + s.ca) / 3.0f; }

// Volts to kilovolts, and RMS volts to per unit of an RMS base in kV, with the 0.001 product
// in double precision.
float Kilo(float volts) { return static_cast<float>(static_cast<double>(volts) * 0.001); }
float PerUnitKilo(float volts, float rcp_base_kv) { return Kilo(volts * rcp_base_kv); }

// The line RMS value `sel` picks from a set: 0 the mean, 1 ab, 2 bc, 3 ca; others keep `out`.
void SelectLine(const LineSet& set, std::uint8_t sel, float& out) {
    switch (sel) {
        case 0:
            out = Mean(set);
            break;
        case 1:
            out = set.ab;
            break;
        case 2:
            out = set.bc;
            break;
        case 3:
            out = set.ca;
            break;
        default:
            break;
    }
}

// Advances one window by the sample x and returns its RMS value. At k = 0 the running sum is
// replaced by the exact sum of the last block, so rounding drift of the running sum (and any
// non-finite sample) leaves the window after at most two blocks.
float WindowRms(MeanSquareWindow& win, std::uint8_t k, float x) {
    if (k == 0) {
        win.S = win.R;
        win.R = 0.0f;
    }
    const double xd = static_cast<double>(x);
    win.S -= win.w[k];
    win.w[k] = static_cast<float>(xd * xd * 0.01);
    win.S += win.w[k];
    win.R += win.w[k];
    return Root(win.S);
}

// Forward-Euler low-pass with the corner in Hz, in double precision. A state that has left
// the finite range (a non-finite rating or measurement) restarts from 0, so the filter
// recovers once its input is finite again.
float MagnitudeLowPass(float state, float input, float corner_hz, float ts) {
    const double u = static_cast<double>(state);
    const auto next =
        static_cast<float>(u + static_cast<double>(corner_hz) * 6.28 * static_cast<double>(ts) *
                                   (static_cast<double>(input) - u));
    return std::isfinite(next) ? next : 0.0f;
}

void LineRms(MeterCtrl& m) {
    m.k = static_cast<std::uint8_t>(m.k + 1 < kMeterWindowLen ? m.k + 1 : 0);
    const Abc poc = Read(m.U_PT4_a, m.U_PT4_b, m.U_PT4_c);
    const Abc pcc = Read(m.U_PT1_a, m.U_PT1_b, m.U_PT1_c);
    m.UabRms = WindowRms(m.window[kPocAb], m.k, poc.a - poc.b);
    m.UbcRms = WindowRms(m.window[kPocBc], m.k, poc.b - poc.c);
    m.UcaRms = WindowRms(m.window[kPocCa], m.k, poc.c - poc.a);
    m.UPCCabRms = WindowRms(m.window[kPccAb], m.k, pcc.a - pcc.b);
    m.UPCCbcRms = WindowRms(m.window[kPccBc], m.k, pcc.b - pcc.c);
    m.UPCCcaRms = WindowRms(m.window[kPccCa], m.k, pcc.c - pcc.a);
}

void RmsSets(MeterCtrl& m) {
    switch (m.parm_UfbkMode) {
        case 0:
            m.pcc_set = ReadLines(m.Urms_PT1_ab, m.Urms_PT1_bc, m.Urms_PT1_ca);
            m.poc_set = ReadLines(m.Urms_PT4_ab, m.Urms_PT4_bc, m.Urms_PT4_ca);
            m.ABSMode = 0;
            break;
        case 1:
            m.pcc_set = {m.UPCCabRms, m.UPCCbcRms, m.UPCCcaRms};
            m.poc_set = {m.UabRms, m.UbcRms, m.UcaRms};
            m.ABSMode = 0;
            break;
        case 2:
            m.ABSMode = 1;
            break;
        default:
            break;
    }
}

// Per-unit mean line RMS of the cross-check site; 1 where no cross-check is available.
float CrossCheck(const MeterCtrl& m, const LineSet& pt2, const LineSet& pt3, bool with_pt4) {
    switch (m.parm_antimis_site) {
        case 1:
            return PerUnitKilo(Mean(m.pcc_set), m.rcp_Upcc_rms_base);
        case 2:
            return PerUnitKilo(Mean(pt2), m.rcp_Upcc_rms_base);
        case 3:
            return PerUnitKilo(Mean(pt3), m.rcp_Upcc_rms_base);
        case 4:
            return with_pt4 ? PerUnitKilo(Mean(m.poc_set), m.rcp_Upoc_rms_base) : 1.0f;
        default:
            return 1.0f;
    }
}

// Feedback from the controlled site: its line RMS (V) against its RMS base (kV), or the
// filtered vector magnitude while ABSMode is set.
void Feedback(MeterCtrl& m, float rms, float rms_base, float rcp_rms_base, float uabs) {
    if (m.ABSMode == 0) {
        m.set_Ufbk_pu = PerUnitKilo(rms, rcp_rms_base);
        m.set_Ufbk_rms = Kilo(rms);
    } else {
        m.set_Ufbk_pu = uabs;
        m.set_Ufbk_rms = rms_base * uabs;
    }
    m.set_kpi_Umode = rms_base * 0.028571f;
}

void VoltageFeedback(MeterCtrl& m) {
    const LineSet pt2 = ReadLines(m.Urms_PT2_ab, m.Urms_PT2_bc, m.Urms_PT2_ca);
    const LineSet pt3 = ReadLines(m.Urms_PT3_ab, m.Urms_PT3_bc, m.Urms_PT3_ca);
    switch (m.parm_PTsite_sel) {
        case 1:
            SelectLine(m.pcc_set, m.parm_Urms_ctrl_sel, m.site_rms);
            break;
        case 2:
            SelectLine(pt2, m.parm_Urms_ctrl_sel, m.site_rms);
            break;
        case 3:
            SelectLine(pt3, m.parm_Urms_ctrl_sel, m.site_rms);
            break;
        default:
            break;
    }
    SelectLine(m.poc_set, m.parm_Urms_ctrl_sel, m.poc_rms);

    switch (m.parm_ctrl_site) {
        case 0:
            Feedback(m, m.poc_rms, m.Upoc_rms_base, m.rcp_Upoc_rms_base, m.UabsPoc);
            m.set_Ufbk_another_pu = CrossCheck(m, pt2, pt3, false);
            break;
        case 1:
            Feedback(m, m.site_rms, m.Upcc_rms_base, m.rcp_Upcc_rms_base, m.UabsPcc);
            m.set_Ufbk_another_pu =
                m.parm_antimis_site == m.parm_PTsite_sel ? 1.0f : CrossCheck(m, pt2, pt3, true);
            break;
        default:
            break;
    }
}

// Control voltage for the phase-locked loop: PT4 without zero sequence, compensated for the
// coupling transformer's connection.
Abc ControlVoltage(MeterCtrl& m) {
    const Abc u = Read(m.U_PT4_a, m.U_PT4_b, m.U_PT4_c);
    m.U0 = (u.a + u.b + u.c) / 3.0f;
    m.poc_v0 = {u.a - m.U0, u.b - m.U0, u.c - m.U0};
    const Abc& v = m.poc_v0;
    switch (*m.trans_type) {
        case 0:
        case 1:
            return v;
        case 2:
        case 5:
            return Scale({v.a - v.c, v.b - v.a, v.c - v.b}, kRcpSqrt3);
        case 3:
        case 4:
        case 6:
            return Scale({v.a - v.b, v.b - v.c, v.c - v.a}, kRcpSqrt3);
        default:
            return {0.0f, 0.0f, 0.0f};
    }
}

// A dq magnitude (per unit) that no measured voltage reaches; it only appears with a zero or
// non-finite voltage base.
constexpr float kAverageOutlier = 1000.0f;

// Mean of the dq magnitude over the last 100 samples, kept as a running sum. From an outlier
// (or a non-finite sample) on, until it has left the window, the sum is rebuilt from the
// window at every step: otherwise the rounding residue of subtracting a huge sample would stay
// in the running sum for good. Samples in the normal range never trigger the rebuild.
float AverageMagnitude(MeterCtrl& m, float sample) {
    m.avg_sum -= m.avg[m.avg_index];
    m.avg[m.avg_index] = sample;
    m.avg_sum += sample;
    m.avg_index = m.avg_index + 1 < kMeterAverageLen ? m.avg_index + 1 : 0;
    if (!(sample < kAverageOutlier)) {
        m.avg_rebuild = kMeterAverageLen + 1;  // this step up to the one it leaves the window
    }
    if (m.avg_rebuild > 0) {
        --m.avg_rebuild;
        m.avg_sum = 0.0f;
        for (const float x : m.avg) {
            m.avg_sum += x;
        }
    }
    return m.avg_sum / 100.0f;
}

void PositiveSequence(MeterCtrl& m, const Abc& pcc_pu, const Abc& poc_pu) {
    if (m.parm_Upos_cal_type == 1) {
        const float d = ParkD(pcc_pu, *m.grid_theta);
        const float q = ParkQ(pcc_pu, *m.grid_theta);
        m.set_Upos_PCC_pu = AverageMagnitude(m, Magnitude(d, q));
        return;
    }
    const float ts = *m.Task1;
    const AlphaBeta pcc = ClarkeAbc(pcc_pu);
    const AlphaBeta poc = ClarkeAbc(poc_pu);
    m.UabsPcc = MagnitudeLowPass(m.UabsPcc, Magnitude(pcc.alpha, pcc.beta), m.parm_UABSFil, ts);
    m.UabsPoc = MagnitudeLowPass(m.UabsPoc, Magnitude(poc.alpha, poc.beta), m.parm_UABSFil, ts);
#if !SVG_REDUCED_BUILD  // the reduced controller has no quarter-period-delay magnitude
    // Quarter-period delays at the nominal frequency; the delay line bounds its own delay, so
    // a zero, negative or very low nominal frequency cannot take it out of its buffer.
    const float alpha_d = FracDelayStep(m.alpha_delay, pcc.alpha, *m.FrqHzNom, ts, 0.25f);
    const float beta_d = FracDelayStep(m.beta_delay, pcc.beta, *m.FrqHzNom, ts, 0.25f);
    m.pos_seq = {(pcc.alpha - beta_d) * 0.5f, (alpha_d + pcc.beta) * 0.5f};
    m.neg_seq = {(pcc.alpha + beta_d) * 0.5f, (pcc.beta - alpha_d) * 0.5f};
    m.set_Upos_PCC_pu = Magnitude(m.pos_seq.alpha, m.pos_seq.beta);
#endif
}

void Voltages(MeterCtrl& m) {
    RmsSets(m);
    VoltageFeedback(m);
    switch (m.parm_PTsite_sel) {
        case 1:
            m.pcc_v = Read(m.U_PT1_a, m.U_PT1_b, m.U_PT1_c);
            break;
        case 2:
            m.pcc_v = Read(m.U_PT2_a, m.U_PT2_b, m.U_PT2_c);
            break;
        case 3:
            m.pcc_v = Read(m.U_PT3_a, m.U_PT3_b, m.U_PT3_c);
            break;
        default:
            break;
    }
    const Abc ctrl = Scale(ControlVoltage(m), m.set_rcp_Upoc_base);
    const Abc pcc_pu = Scale(m.pcc_v, m.rcp_Upcc_base);
    const Abc poc_pu = Scale(Read(m.U_PT4_a, m.U_PT4_b, m.U_PT4_c), m.set_rcp_Upoc_base);
    m.set_Upcc_a_pu = pcc_pu.a;
    m.set_Upcc_b_pu = pcc_pu.b;
    m.set_Upcc_c_pu = pcc_pu.c;
    m.set_Upoc_a_pu = poc_pu.a;
    m.set_Upoc_b_pu = poc_pu.b;
    m.set_Upoc_c_pu = poc_pu.c;
    m.set_Uctrl_a_pu = ctrl.a;
    m.set_Uctrl_b_pu = ctrl.b;
    m.set_Uctrl_c_pu = ctrl.c;
    PositiveSequence(m, pcc_pu, poc_pu);
}

void SystemCurrent(MeterCtrl& m, float rcp_base) {
    m.set_Isys_a_pu = m.isys_raw.a * rcp_base;
    m.set_Isys_b_pu = m.isys_raw.b * rcp_base;
    m.set_Isys_c_pu = m.isys_raw.c * rcp_base;
}

void Currents(MeterCtrl& m) {
    const float ct1 = static_cast<float>(m.ena_CT1_sys);
    const float ct2 = static_cast<float>(m.ena_CT2_sys);
    m.isys_raw = {*m.I_CT1_a * ct1 + *m.I_CT2_a * ct2, *m.I_CT1_b * ct1 + *m.I_CT2_b * ct2,
                  *m.I_CT1_c * ct1 + *m.I_CT2_c * ct2};
    switch (m.parm_ctrl_site) {
        case 0:
            SystemCurrent(m, m.set_rcp_Ipoc_base);
            break;
        case 1:
            SystemCurrent(m, m.rcp_Ipcc_base);
            break;
        default:
            break;
    }
    // The Hall sensors count positive into the converter; the control counts out of it.
    m.set_Ictrl_a_pu = -(*m.I_HALL_a * m.set_rcp_Ihall_base);
    m.set_Ictrl_b_pu = -(*m.I_HALL_b * m.set_rcp_Ihall_base);
    m.set_Ictrl_c_pu = -(*m.I_HALL_c * m.set_rcp_Ihall_base);
    m.set_Iload_a_pu = *m.I_CT3_a * m.set_rcp_Ipoc_base;
    m.set_Iload_b_pu = *m.I_CT3_b * m.set_rcp_Ipoc_base;
    m.set_Iload_c_pu = *m.I_CT3_c * m.set_rcp_Ipoc_base;
}

void VoltageCommands(MeterCtrl& m, float rcp_rms_base) {
    m.set_Ucmd_pu = m.parm_Ucmd * rcp_rms_base;
    m.set_AVC_Ucmd_pu = *m.AVC_Ucmd * rcp_rms_base;
}

void Commands(MeterCtrl& m) {
    m.set_Coorctl_cmd_pu = *m.Coorctl_cmd * m.rcp_Q_base;
    m.set_AVC_Qcmd_pu = *m.AVC_Qcmd * m.rcp_Q_base;
    m.set_Qsys_cmd_pu = m.parm_Qsys_cmd * m.rcp_Q_base;
    m.set_Qsvg_cmd_pu = m.parm_Qsvg_cmd * m.rcp_Q_base;
    m.set_Isvg_cmd_pu = m.set_rcp_Ihall_base * m.parm_Isvg_cmd * kSqrt2;
    switch (m.parm_ctrl_site) {
        case 0:
            VoltageCommands(m, m.rcp_Upoc_rms_base);
            break;
        case 1:
            VoltageCommands(m, m.rcp_Upcc_rms_base);
            break;
        default:
            break;
    }
    m.set_Qsvg_cmd = m.parm_Qsvg_cmd;
    m.set_Qsys_cmd = m.parm_Qsys_cmd;
    m.set_Isvg_cmd = m.parm_Isvg_cmd;
    m.set_Ucmd = m.parm_Ucmd;
}

int RegisterMeterCtrlTasks(ModuleHeader* module, int list) {
    MeterCtrl* m = As<MeterCtrl>(module);
    m->avg_index = 0;
    m->avg_sum = 0.0f;
    m->avg_rebuild = 0;
    const struct {
        int list;
        TaskRoutine routine;
    } tasks[] = {{list, &MeterCtrlMain},
                 {3, &MeterCtrlBases},
                 {3, &MeterCtrlReactance},
                 {2, &MeterCtrlCommandTrigger}};
    for (const auto& task : tasks) {
        if (RegisterTask(task.list, task.routine, module) != 0) {
            return 1;
        }
    }
    return 0;
}

}  // namespace

ModuleHeader* CreateMeterCtrl(Environment* env, ModuleHeader* module,
                              const char* instance_name) noexcept {
    InitHeader(module, env, "METERCTRL", instance_name, &RegisterMeterCtrlTasks);
    RegisterSignals(module, kSignals);
    MeterCtrl* m = As<MeterCtrl>(module);
    m->set_Ufbk_another_pu = 1.0f;
    m->set_kpi_Umode = 1.0f;
    m->test1 = 1;
#if !SVG_REDUCED_BUILD
    FracDelayCreate(m->alpha_delay);
    FracDelayCreate(m->beta_delay);
#endif
    return module;
}

void MeterCtrlMain(ModuleHeader* module) noexcept {
    MeterCtrl& m = *As<MeterCtrl>(module);
    LineRms(m);
    Voltages(m);
    Currents(m);
    Commands(m);
}

void MeterCtrlBases(ModuleHeader* module) noexcept {
    MeterCtrl& m = *As<MeterCtrl>(module);
    switch (m.parm_PTsite_sel) {
        case 1:
            m.Upcc_rms_base = *m.Upcc1_nom;
            break;
        case 2:
            m.Upcc_rms_base = *m.Upcc2_nom;
            break;
        case 3:
            m.Upcc_rms_base = *m.Upcc3_nom;
            break;
        default:
            break;
    }
    const float un = *m.Un_kV;
    const float qn = *m.Qn_Mvar;
    m.Upcc_base = m.Upcc_rms_base * 1000.0f * kRmsToPeakPhase;
    m.Upoc_base = un * 1000.0f * kRmsToPeakPhase;
    m.Ipcc_base = SafeDiv(qn * 1000.0f * kRmsToPeakPhase, m.Upcc_rms_base);
    m.Ipoc_base = SafeDiv(qn * 1000.0f * kRmsToPeakPhase, un);
    m.Q_base = qn;
    m.Upoc_rms_base = un;
    m.k_trans = SafeDiv(*m.trans_HVnom, *m.trans_LVnom);
    m.rcp_k_trans = SafeDiv(*m.trans_LVnom, *m.trans_HVnom);
    m.rcp_Upcc_rms_base = SafeRcp(m.Upcc_rms_base);
    m.rcp_Upcc_base = SafeRcp(m.Upcc_base);
    m.set_rcp_Upoc_base = SafeRcp(m.Upoc_base);
    m.rcp_Ipcc_base = SafeRcp(m.Ipcc_base);
    m.set_rcp_Ipoc_base = SafeRcp(m.Ipoc_base);
    m.rcp_Q_base = SafeRcp(m.Q_base);
    m.rcp_Upoc_rms_base = SafeRcp(m.Upoc_rms_base);

    float zu = 0.0f;  // impedance voltage, kV^2
    switch (*m.trans_type) {
        case 0:
            m.Ihall_base = m.Ipoc_base;
            m.set_Uvalve_base = m.Upoc_base;
            zu = un * un;
            break;
        case 3:
            m.Ihall_base = m.Ipoc_base / kSqrt3;
            m.set_Uvalve_base = m.Upoc_base * kSqrt3;
            zu = 3.0f * (un * un);
            break;
        default: {
            m.Ihall_base = m.k_trans * m.Ipoc_base;
            m.set_Uvalve_base = m.Upoc_base * m.rcp_k_trans;
            const float valve_kv = un * m.rcp_k_trans;
            zu = valve_kv * valve_kv;
            break;
        }
    }
    m.rcp_Z_base = SafeDiv(qn, zu);
    m.rcp_Uvalve_base = SafeRcp(m.set_Uvalve_base);
    m.set_rcp_Ihall_base = SafeRcp(m.Ihall_base);
}

void MeterCtrlReactance(ModuleHeader* module) noexcept {
    MeterCtrl& m = *As<MeterCtrl>(module);
    m.set_rcp_Udccmd = SafeRcp(m.parm_Udccmd);
    m.set_wL_pu = *m.FrqHzNom * 6.2831855f * *m.LTotCal * 0.001f * m.rcp_Z_base;
    switch (m.parm_submodule_pwdir) {
        case 0:
            m.set_submodule_pwdir = 1.0f;
            break;
        case 1:
            m.set_submodule_pwdir = -1.0f;
            break;
        default:
            break;
    }
}

void MeterCtrlCommandTrigger(ModuleHeader* module) noexcept {
    MeterCtrl& m = *As<MeterCtrl>(module);
    const float now[kMeterWatchedCommands] = {m.parm_Udccmd,   m.parm_Qsvg_cmd, m.parm_Qsys_cmd,
                                              m.parm_Isvg_cmd, *m.AVC_Qcmd,     *m.AVC_Ucmd,
                                              m.parm_Ucmd,     m.parm_PF_cmd};
    for (int i = 0; m.ena_AutoWave != 0 && i < kMeterWatchedCommands; ++i) {
        if (!(now[i] == m.prev_cmd[i])) {  // a NaN on either side counts as a change
            m.CmdchangeTrig = 1;
            break;
        }
    }
    if (m.CmdchangeTrig != 0 && m.trig_timer < 0.2f) {
        m.trig_timer += 0.001f;
    } else {
        m.CmdchangeTrig = 0;
        m.trig_timer = 0.0f;
    }
    for (int i = 0; i < kMeterWatchedCommands; ++i) {
        m.prev_cmd[i] = now[i];
    }
}

}  // namespace svg
