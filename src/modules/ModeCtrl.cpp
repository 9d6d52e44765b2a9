#include "modules/ModeCtrl.h"

#include <cmath>
#include <cstddef>

#include "blocks/build.h"
#include "blocks/comparators.h"
#include "blocks/guarded.h"
#include "blocks/numeric.h"

namespace svg {
namespace {

// clang-format off
constexpr SignalRow kSignals[] = {
    {SignalKind::kVariable, offsetof(ModeCtrl, set_Iqpos_ref_ss), "set_Iqpos_ref_ss type=f", "pu", "final positive-sequence reactive (q-axis) current reference of mode control"},
    {SignalKind::kVariable, offsetof(ModeCtrl, set_Iqpos_intg_follow), "set_Iqpos_intg_follow type=f", "pu", "closed-loop PI integrator value, offered for tracking by another unit"},
    {SignalKind::kVariable, offsetof(ModeCtrl, flg_Qsvg_mode), "flg_Qsvg_mode type=cu", "-", "mode indicator: constant converter reactive power (open loop)"},
    {SignalKind::kVariable, offsetof(ModeCtrl, flg_U_mode), "flg_U_mode type=cu", "-", "mode indicator: voltage control"},
    {SignalKind::kVariable, offsetof(ModeCtrl, flg_PF_mode), "flg_PF_mode type=cu", "-", "mode indicator: power-factor control"},
    {SignalKind::kVariable, offsetof(ModeCtrl, flg_Qsys_mode), "flg_Qsys_mode type=cu", "-", "mode indicator: system reactive power control"},
    {SignalKind::kVariable, offsetof(ModeCtrl, flg_I_mode), "flg_I_mode type=cu", "-", "mode indicator: current command (open loop)"},
    {SignalKind::kVariable, offsetof(ModeCtrl, flg_force_Umode), "flg_force_Umode type=cu", "-", "mode indicator: forced voltage control in the combined mode"},
    {SignalKind::kVariable, offsetof(ModeCtrl, err_ki_final), "err_ki_final type=f", "pu", "error fed to the closed-loop PI"},
    {SignalKind::kVariable, offsetof(ModeCtrl, flg_Uctrl), "flg_Uctrl type=cu", "-", "flag: voltage control is in charge of the PI"},
    {SignalKind::kVariable, offsetof(ModeCtrl, flg_Qopen_mode), "flg_Qopen_mode type=cu", "-", "flag: open-loop path selected"},
    {SignalKind::kVariable, offsetof(ModeCtrl, err_openmode_final), "err_openmode_final type=f", "pu", "open-loop reactive power command minus measured converter reactive power"},
    {SignalKind::kVariable, offsetof(ModeCtrl, flg_Qclose_mode), "flg_Qclose_mode type=cu", "-", "flag: closed-loop path selected"},
    {SignalKind::kVariable, offsetof(ModeCtrl, Qcmd_openmode), "Qcmd_openmode type=f", "pu", "open-loop reactive power command after the minimum-magnitude hold"},
    {SignalKind::kVariable, offsetof(ModeCtrl, Iqcmd_open_limpre), "Iqcmd_open_limpre type=f", "pu", "open-loop reactive current command before the limit"},
    {SignalKind::kVariable, offsetof(ModeCtrl, Iqcmd_openmode), "Iqcmd_openmode type=f", "pu", "open-loop reactive current command after the limit"},
    {SignalKind::kVariable, offsetof(ModeCtrl, err_Uslope), "err_Uslope type=f", "pu", "voltage droop term: current magnitude times droop slope"},
    {SignalKind::kVariable, offsetof(ModeCtrl, err_Umode), "err_Umode type=f", "pu", "voltage error of the voltage loop"},
    {SignalKind::kVariable, offsetof(ModeCtrl, flg_inzone_judge), "flg_inzone_judge type=cu", "-", "flag: voltage error inside the dead zone (instantaneous)"},
    {SignalKind::kVariable, offsetof(ModeCtrl, flg_inzone_delay), "flg_inzone_delay type=cu", "-", "flag: voltage error inside the dead zone after the 0.5 s on-delay"},
    {SignalKind::kVariable, offsetof(ModeCtrl, flg_in_zone), "flg_in_zone type=cu", "-", "flag: dead zone in force (enabled and delayed judgement)"},
    {SignalKind::kVariable, offsetof(ModeCtrl, err_forkp), "err_forkp type=f", "pu", "error for the proportional path"},
    {SignalKind::kVariable, offsetof(ModeCtrl, err_forki), "err_forki type=f", "pu", "error for the integral path"},
    {SignalKind::kVariable, offsetof(ModeCtrl, Qaim_sel_pu), "Qaim_sel_pu type=f", "pu", "power-factor mode reactive power target at the measuring point"},
    {SignalKind::kVariable, offsetof(ModeCtrl, err_PF_mode), "err_PF_mode type=f", "pu", "power-factor mode error"},
    {SignalKind::kVariable, offsetof(ModeCtrl, err_Qsys_mode), "err_Qsys_mode type=f", "pu", "system reactive power error"},
    {SignalKind::kVariable, offsetof(ModeCtrl, flg_Uuplim_temp), "flg_Uuplim_temp type=cu", "-", "flag: combined-mode voltage above the upper limit"},
    {SignalKind::kVariable, offsetof(ModeCtrl, flg_Udownlim_temp), "flg_Udownlim_temp type=cu", "-", "flag: combined-mode voltage below the lower limit"},
    {SignalKind::kVariable, offsetof(ModeCtrl, flg_Uupdown), "flg_Uupdown type=cu", "-", "flag: combined-mode voltage above the upper or below the lower limit"},
    {SignalKind::kVariable, offsetof(ModeCtrl, err_QU_mode), "err_QU_mode type=f", "pu", "combined-mode error when not in forced voltage control"},
    {SignalKind::kVariable, offsetof(ModeCtrl, flg_Ucmd_change), "flg_Ucmd_change type=cu", "-", "flag: voltage command moved by more than 0.001 since the last step"},
    {SignalKind::kVariable, offsetof(ModeCtrl, flg_Ufbk_err), "flg_Ufbk_err type=f", "pu", "absolute difference of voltage command and feedback"},
    {SignalKind::kVariable, offsetof(ModeCtrl, flg_Uerr_zone2), "flg_Uerr_zone2 type=cu", "-", "flag: voltage difference above twice the dead-zone width"},
    {SignalKind::kVariable, offsetof(ModeCtrl, flg_Uerr_zone1), "flg_Uerr_zone1 type=cu", "-", "flag: voltage difference above the dead-zone width, after confirmation"},
    {SignalKind::kVariable, offsetof(ModeCtrl, flg_Uinzone_R), "flg_Uinzone_R type=cu", "-", "reset of the dead-zone hold latch"},
    {SignalKind::kVariable, offsetof(ModeCtrl, flg_Uinzone_S), "flg_Uinzone_S type=cu", "-", "set of the dead-zone hold latch"},
    {SignalKind::kVariable, offsetof(ModeCtrl, flg_Uctrl_sw), "flg_Uctrl_sw type=cu", "-", "state of the dead-zone hold latch: 1 holds the voltage loop still"},
    {SignalKind::kVariable, offsetof(ModeCtrl, kp_QUsel), "kp_QUsel type=f", "-", "proportional gain in use"},
    {SignalKind::kVariable, offsetof(ModeCtrl, ki_QUsel), "ki_QUsel type=f", "1/s", "integral gain in use"},
    {SignalKind::kVariable, offsetof(ModeCtrl, err_close_mode), "err_close_mode type=f", "pu", "error of the selected closed-loop reactive-power mode"},
    {SignalKind::kVariable, offsetof(ModeCtrl, int_uplim), "int_uplim type=f", "pu", "upper PI integrator limit in use"},
    {SignalKind::kVariable, offsetof(ModeCtrl, int_downlim), "int_downlim type=f", "pu", "lower PI integrator limit in use"},
    {SignalKind::kVariable, offsetof(ModeCtrl, Iqcmd_closemode_pre), "Iqcmd_closemode_pre type=f", "pu", "closed-loop reactive current command before the limit"},
    {SignalKind::kVariable, offsetof(ModeCtrl, Iqcmd_closemode), "Iqcmd_closemode type=f", "pu", "closed-loop reactive current command after the limit"},
    {SignalKind::kVariable, offsetof(ModeCtrl, Iqpos_ref), "Iqpos_ref type=f", "pu", "selected reactive current command before minimum, limit and rate limit"},
    {SignalKind::kVariable, offsetof(ModeCtrl, dir_power_test), "dir_power_test type=cu", "-", "test switch: 1 negates the open-loop current command"},
    {SignalKind::kVariable, offsetof(ModeCtrl, VscRev), "VscRev type=f", "pu", "reactive-reserve voltage reference correction, sum of both parts"},
    {SignalKind::kVariable, offsetof(ModeCtrl, VscRevL), "VscRevL type=f", "pu", "reactive-reserve voltage reference correction, inductive part"},
    {SignalKind::kVariable, offsetof(ModeCtrl, VscRevC), "VscRevC type=f", "pu", "reactive-reserve voltage reference correction, capacitive part"},
    {SignalKind::kVariable, offsetof(ModeCtrl, AntiMisIqComp), "AntiMisIqComp type=f", "pu", "anti-misoperation reactive current correction"},
    {SignalKind::kVariable, offsetof(ModeCtrl, QregIntMin), "QregIntMin type=f", "pu", "anti-misoperation integrator, under-voltage side"},
    {SignalKind::kVariable, offsetof(ModeCtrl, QregIntMax), "QregIntMax type=f", "pu", "anti-misoperation integrator, over-voltage side"},
    {SignalKind::kVariable, offsetof(ModeCtrl, set_QresvC_intg_follow), "set_QresvC_intg_follow type=f", "pu", "capacitive reactive-reserve integrator, offered for tracking"},
    {SignalKind::kVariable, offsetof(ModeCtrl, set_QresvL_intg_follow), "set_QresvL_intg_follow type=f", "pu", "inductive reactive-reserve integrator, offered for tracking"},
    {SignalKind::kVariable, offsetof(ModeCtrl, set_AntiMis_intg_follow), "set_AntiMis_intg_follow type=f", "pu", "anti-misoperation integrator, offered for tracking"},
    {SignalKind::kVariable, offsetof(ModeCtrl, Qn_10kVar), "Qn_10kVar type=f", "10kvar", "own rated reactive power in 10 kvar units"},
    {SignalKind::kVariable, offsetof(ModeCtrl, Qsvg_10kVar), "Qsvg_10kVar type=f", "10kvar", "own reactive power in 10 kvar units"},
    {SignalKind::kVariable, offsetof(ModeCtrl, Idneg_ref_Send_10kVar), "Idneg_ref_Send_10kVar type=f", "10kvar", "coordination send value, negative-sequence d-axis reference, always 0"},
    {SignalKind::kVariable, offsetof(ModeCtrl, Idneg_Send_10kVar), "Idneg_Send_10kVar type=f", "10kvar", "coordination send value, negative-sequence d-axis current, always 0"},
    {SignalKind::kVariable, offsetof(ModeCtrl, Iqneg_ref_Send_10kVar), "Iqneg_ref_Send_10kVar type=f", "10kvar", "coordination send value, negative-sequence q-axis reference, always 0"},
    {SignalKind::kVariable, offsetof(ModeCtrl, Iqneg_Send_10kVar), "Iqneg_Send_10kVar type=f", "10kvar", "coordination send value, negative-sequence q-axis current, always 0"},
    {SignalKind::kVariable, offsetof(ModeCtrl, set_Iqpos_ref_ss_CoorMode), "set_Iqpos_ref_ss_CoorMode type=f", "pu", "own rate-limited reactive current reference"},
    {SignalKind::kVariable, offsetof(ModeCtrl, Iqpos_ref_Send_10kVar[0]), "Iqpos_ref_Send_10kVar1 type=f", "10kvar", "coordination send value 1: own reactive current reference in 10 kvar units"},
    {SignalKind::kVariable, offsetof(ModeCtrl, Iqpos_ref_Send_10kVar[1]), "Iqpos_ref_Send_10kVar2 type=f", "10kvar", "coordination send value 2, always 0"},
    {SignalKind::kVariable, offsetof(ModeCtrl, Iqpos_ref_Send_10kVar[2]), "Iqpos_ref_Send_10kVar3 type=f", "10kvar", "coordination send value 3, always 0"},
    {SignalKind::kVariable, offsetof(ModeCtrl, Iqpos_ref_Send_10kVar[3]), "Iqpos_ref_Send_10kVar4 type=f", "10kvar", "coordination send value 4, always 0"},
    {SignalKind::kVariable, offsetof(ModeCtrl, Master_CoorMode_Valid), "Master_CoorMode_Valid type=cu", "-", "flag: coordination valid with this unit as master"},
    {SignalKind::kVariable, offsetof(ModeCtrl, CoorMode_Valid_final), "CoorMode_Valid_final type=cu", "-", "flag: coordination valid"},
    {SignalKind::kVariable, offsetof(ModeCtrl, flg_seq_running_final), "flg_seq_running_final type=cu", "-", "flag: own control loop runs"},
    {SignalKind::kVariable, offsetof(ModeCtrl, En_test), "En_test type=cu", "-", "test switch: 1 sends Iref_test instead of the own reference"},
    {SignalKind::kVariable, offsetof(ModeCtrl, Iref_test), "Iref_test type=f", "10kvar", "test value for the coordination send channel"},
    {SignalKind::kByteInput, offsetof(ModeCtrl, flg_seq_running), "flg_seq_running type=cu", "-", "running command byte"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Udpos_fil), "Udpos_fil type=f", "pu", "filtered positive-sequence d-axis voltage from the PLL"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Uqpos_fil), "Uqpos_fil type=f", "pu", "filtered positive-sequence q-axis voltage from the PLL"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Idpos_fbk), "Idpos_fbk type=f", "pu", "positive-sequence d-axis current feedback"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Qsvg_pu), "Qsvg_pu type=f", "pu", "filtered converter reactive power"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Q_sel_pu), "Q_sel_pu type=f", "pu", "reactive power at the selected measuring point"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, P_sel_pu), "P_sel_pu type=f", "pu", "active power at the selected measuring point"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Id_mix), "Id_mix type=f", "pu", "d-axis current, Park transform of the raw currents at the grid angle"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Iq_mix), "Iq_mix type=f", "pu", "q-axis current, Park transform of the raw currents at the grid angle"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Ufbk_pu), "Ufbk_pu type=f", "pu", "voltage feedback of the control site"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Ucmd_pu), "Ucmd_pu type=f", "pu", "voltage command of the voltage loop"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Qsvg_cmd_pu), "Qsvg_cmd_pu type=f", "pu", "converter reactive-power command"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, sim_Iqpos_ref_lim), "sim_Iqpos_ref_lim type=f", "pu", "magnitude limit of the reactive current reference, from a host channel", Builds::kReducedOnly},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Qsys_cmd_pu), "Qsys_cmd_pu type=f", "pu", "system reactive-power command"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Isvg_cmd_pu), "Isvg_cmd_pu type=f", "pu", "converter current command, peak"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Coorctl_cmd_pu), "Coorctl_cmd_pu type=f", "pu", "coordination reactive-power command; not read"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Iqpos_intg_fosys), "Iqpos_intg_fosys type=f", "pu", "integrator value of the redundant controller for the PI to track; unwired, reads 0"},
    {SignalKind::kByteInput, offsetof(ModeCtrl, flg_update_fosys), "flg_update_fosys type=cu", "-", "flag: integrators track the redundant controller; unwired, reads 0"},
    {SignalKind::kByteInput, offsetof(ModeCtrl, flg_Qn_lim), "flg_Qn_lim type=cu", "-", "flag: scales the reference by 0.01; unwired, reads 0"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Task2), "Task2 type=f", "s", "task-2 period"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Task3), "Task3 type=f", "s", "task-3 period; not read"},
    {SignalKind::kByteInput, offsetof(ModeCtrl, AVC_Umode), "AVC_Umode type=cu", "-", "flag: external AVC voltage mode; unwired, reads 0"},
    {SignalKind::kByteInput, offsetof(ModeCtrl, AVC_Qmode), "AVC_Qmode type=cu", "-", "flag: external AVC reactive power mode; unwired, reads 0"},
    {SignalKind::kByteInput, offsetof(ModeCtrl, AVC_mode_sw), "AVC_mode_sw type=cu", "-", "flag: external AVC switch to voltage control; unwired, reads 0"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, AVC_Ucmd_pu), "AVC_Ucmd_pu type=f", "pu", "external AVC voltage command; unwired, reads 0"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, AVC_Qcmd_pu), "AVC_Qcmd_pu type=f", "pu", "external AVC reactive power command; unwired, reads 0"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Iqpos_ref_sel), "Iqpos_ref_sel type=f", "pu", "reactive current reference after ride-through handling"},
    {SignalKind::kByteInput, offsetof(ModeCtrl, flg_HVRT_mod), "flg_HVRT_mod type=cu", "-", "flag: high-voltage ride-through active"},
    {SignalKind::kByteInput, offsetof(ModeCtrl, flg_LVRT_mod), "flg_LVRT_mod type=cu", "-", "flag: low-voltage ride-through active"},
    {SignalKind::kByteInput, offsetof(ModeCtrl, flg_ZVRT_mod), "flg_ZVRT_mod type=cu", "-", "flag: zero-voltage ride-through active, always 0"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, kpi_Umode), "kpi_Umode type=f", "-", "voltage-loop gain scaling from the RMS base of the control site"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Ufbk_another_pu), "Ufbk_another_pu type=f", "pu", "cross-check voltage of a second bus"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Upod_cmd), "Upod_cmd type=f", "pu", "power oscillation damping voltage modulation"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, QresvC_intg_fosys), "QresvC_intg_fosys type=f", "pu", "capacitive reserve integrator of the redundant controller; unwired, reads 0"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, QresvL_intg_fosys), "QresvL_intg_fosys type=f", "pu", "inductive reserve integrator of the redundant controller; unwired, reads 0"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, AntiMis_intg_fosys), "AntiMis_intg_fosys type=f", "pu", "anti-misoperation integrator of the redundant controller; unwired, reads 0"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Qn_Mvar), "Qn_Mvar type=f", "Mvar", "rated reactive power of the converter"},
    {SignalKind::kByteInput, offsetof(ModeCtrl, CoorMode_Valid), "CoorMode_Valid type=cu", "-", "coordination valid, used as master; unwired, reads 0"},
    {SignalKind::kByteInput, offsetof(ModeCtrl, SCoorMode_Valid), "SCoorMode_Valid type=cu", "-", "coordination valid, used as slave; unwired, reads 0"},
    {SignalKind::kByteInput, offsetof(ModeCtrl, BusEnb[0]), "BusEnb1 type=cu", "-", "enable of coordination bus 1; not read, unwired, reads 0"},
    {SignalKind::kByteInput, offsetof(ModeCtrl, BusEnb[1]), "BusEnb2 type=cu", "-", "enable of coordination bus 2; not read, unwired, reads 0"},
    {SignalKind::kByteInput, offsetof(ModeCtrl, BusEnb[2]), "BusEnb3 type=cu", "-", "enable of coordination bus 3; not read, unwired, reads 0"},
    {SignalKind::kByteInput, offsetof(ModeCtrl, BusEnb[3]), "BusEnb4 type=cu", "-", "enable of coordination bus 4; not read, unwired, reads 0"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Qn_Coor_10kVar[0]), "Qn_Coor_10kVar1 type=f", "10kvar", "coordination group rated reactive power 1; unwired, reads 0"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Qn_Coor_10kVar[1]), "Qn_Coor_10kVar2 type=f", "10kvar", "coordination group rated reactive power 2; not read, unwired, reads 0"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Qn_Coor_10kVar[2]), "Qn_Coor_10kVar3 type=f", "10kvar", "coordination group rated reactive power 3; not read, unwired, reads 0"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Qn_Coor_10kVar[3]), "Qn_Coor_10kVar4 type=f", "10kvar", "coordination group rated reactive power 4; not read, unwired, reads 0"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Qsvg_Coor_10kVar[0]), "Qsvg_Coor_10kVar1 type=f", "10kvar", "coordination group reactive power 1; unwired, reads 0"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Qsvg_Coor_10kVar[1]), "Qsvg_Coor_10kVar2 type=f", "10kvar", "coordination group reactive power 2; not read, unwired, reads 0"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Qsvg_Coor_10kVar[2]), "Qsvg_Coor_10kVar3 type=f", "10kvar", "coordination group reactive power 3; not read, unwired, reads 0"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Qsvg_Coor_10kVar[3]), "Qsvg_Coor_10kVar4 type=f", "10kvar", "coordination group reactive power 4; not read, unwired, reads 0"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Iqref_MRec_10kVar), "Iqref_MRec_10kVar type=f", "10kvar", "reactive current reference received as master; unwired, reads 0"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Idneg_ref_MRec_10kVar), "Idneg_ref_MRec_10kVar type=f", "10kvar", "negative-sequence d-axis reference received as master; not read, unwired, reads 0"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Iqneg_ref_MRec_10kVar), "Iqneg_ref_MRec_10kVar type=f", "10kvar", "negative-sequence q-axis reference received as master; not read, unwired, reads 0"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Iqref_SRec_10kVar), "Iqref_SRec_10kVar type=f", "10kvar", "reactive current reference received as slave; unwired, reads 0"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Idneg_ref_SRec_10kVar), "Idneg_ref_SRec_10kVar type=f", "10kvar", "negative-sequence d-axis reference received as slave; not read, unwired, reads 0"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Iqneg_ref_SRec_10kVar), "Iqneg_ref_SRec_10kVar type=f", "10kvar", "negative-sequence q-axis reference received as slave; not read, unwired, reads 0"},
    {SignalKind::kByteInput, offsetof(ModeCtrl, GFM_Blk_OtLoop), "GFM_Blk_OtLoop type=cu", "-", "flag: grid-forming active, the outer loops follow its references"},
    {SignalKind::kFloatInput, offsetof(ModeCtrl, Iqref_GFM), "Iqref_GFM type=f", "pu", "grid-forming q-axis current reference"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_Qctrl_mode), "parm_Qctrl_mode type=cu default=0 option=1", "-", "operating mode: 0 converter Q, 1 voltage, 2 PF, 3 system Q, 5 current, 6 combined"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_PF_cmd), "parm_PF_cmd type=f default=0.95 option=1", "-", "power-factor command"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_kp_U), "parm_kp_U type=f default=0.05 option=1", "-", "proportional gain of voltage control, scaled by kpi_Umode"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_ki_U), "parm_ki_U type=f default=200 option=1", "1/s", "integral gain of voltage control, scaled by kpi_Umode"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_kp_Q), "parm_kp_Q type=f default=0.05 option=1", "-", "proportional gain in the reactive-power modes"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_ki_Q), "parm_ki_Q type=f default=20.0 option=1", "1/s", "integral gain in the reactive-power modes"},
    {SignalKind::kParameter, offsetof(ModeCtrl, ena_Uslope), "ena_Uslope type=cu default=0 option=1", "-", "enable of the voltage/current droop"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_Uslope), "parm_Uslope type=f default=0.05 option=1", "-", "droop slope, per unit voltage per unit current"},
    {SignalKind::kParameter, offsetof(ModeCtrl, ena_Uzone), "ena_Uzone type=cu default=1 option=1", "-", "enable of the voltage dead zone"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_Uzone), "parm_Uzone type=f default=5.00 option=1", "%", "dead-zone half width, percent of the voltage command"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_Uuplim_pu), "parm_Uuplim_pu type=f default=1.1 option=1", "pu", "upper voltage limit of the combined mode"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_Udownlim_pu), "parm_Udownlim_pu type=f default=0.9 option=1", "pu", "lower voltage limit of the combined mode"},
    {SignalKind::kParameter, offsetof(ModeCtrl, ena_UPF), "ena_UPF type=cu default=0 option=1", "-", "combined-mode sub-mode: 0 system reactive power, 1 power factor, 2 open loop"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_Qclose_kilim), "parm_Qclose_kilim type=f default=1.1 option=1", "pu", "closed-loop integrator limit, scaled by the group rating ratio"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_Iqpos_ref_lim), "parm_Iqpos_ref_lim type=f default=1.1 option=1", "pu", "magnitude limit of the reactive current reference, scaled by the group rating ratio", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_Iqpos_ref_lim), "parm_Iqpos_ref_lim type=f default=1.15 option=1", "pu", "magnitude limit of the reactive current reference, scaled by the group rating ratio", Builds::kReducedOnly},
    {SignalKind::kParameter, offsetof(ModeCtrl, ena_PF_lead), "ena_PF_lead type=cu default=0 option=1", "-", "switch: 1 negates the power-factor mode reactive power target (leading)"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_Iqpos_ref_min), "parm_Iqpos_ref_min type=f default=0.05 option=1", "pu", "minimum magnitude of the references, when not coordinating as master"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_rate_Iqpos), "parm_rate_Iqpos type=f default=0.05 option=1", "pu", "largest change of the final reference per task-2 period"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_dir_power), "parm_dir_power type=cu default=0 option=1", "-", "switch: 1 negates the open-loop current command"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_time_Udeadout), "parm_time_Udeadout type=f default=0.012 option=1", "s", "confirmation time of a voltage error outside the dead zone"},
    {SignalKind::kParameter, offsetof(ModeCtrl, ena_QnRes), "ena_QnRes type=cu default=0 option=1", "-", "enable of the reactive-reserve correction"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_QnRes_pu), "parm_QnRes_pu type=f default=0.0 option=1", "pu", "reactive reserve to keep"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_QnRes_kp), "parm_QnRes_kp type=f default=0.2 option=1", "-", "reactive-reserve PI proportional gain"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_QnRes_ki), "parm_QnRes_ki type=f default=0.1 option=1", "1/s", "reactive-reserve PI integral gain"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_QnRes_Vlim), "parm_QnRes_Vlim type=f default=0.02 option=1", "pu", "limit of the reactive-reserve voltage correction"},
    {SignalKind::kParameter, offsetof(ModeCtrl, ena_AntiMis), "ena_AntiMis type=cu default=0 option=1", "-", "enable of the anti-misoperation correction"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_AntiMisInt), "parm_AntiMisInt type=f default=10 option=1", "1/s", "anti-misoperation integral gain"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_AntiMisOV), "parm_AntiMisOV type=f default=1.1 option=1", "pu", "over-voltage level of the second bus"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_AntiMisUV), "parm_AntiMisUV type=f default=0.9 option=1", "pu", "under-voltage level of the second bus"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_AntiMisMaxQ), "parm_AntiMisMaxQ type=f default=1 option=1", "pu", "limit of the anti-misoperation integrators"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_AntiMisUloop), "parm_AntiMisUloop type=f default=0.2 option=1", "%", "band around the over- and under-voltage levels"},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_AntiMisStabTime), "parm_AntiMisStabTime type=f default=1.5 option=1", "s", "time the anti-misoperation integrators keep running inside the band"},
    {SignalKind::kParameter, offsetof(ModeCtrl, CoorMasterEnb), "CoorMasterEnb type=cu default=1 option=1", "-", "switch: 1 makes this unit the coordination master", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(ModeCtrl, SVGShuntEnb), "SVGShuntEnb type=cu default=1 option=1", "-", "switch: 1 makes this unit take part in coordination", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(ModeCtrl, ena_test_mode), "ena_test_mode type=cu default=0 option=1", "-", "switch: 1 selects the test gains for voltage control", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_kp_U_test), "parm_kp_U_test type=f default=2.2 option=1", "-", "test proportional gain of voltage control", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(ModeCtrl, parm_ki_U_test), "parm_ki_U_test type=f default=210 option=1", "1/s", "test integral gain of voltage control", Builds::kFullOnly},
};
// clang-format on

// Operating modes of parm_Qctrl_mode; every other value acts as constant converter reactive
// power.
enum Mode : std::uint8_t {
    kModeQsvg = 0,
    kModeVoltage = 1,
    kModePowerFactor = 2,
    kModeQsys = 3,
    kModeCurrent = 5,
    kModeCombined = 6,
};

// Mode-6 sub-modes of ena_UPF.
enum CombinedSubMode : std::uint8_t { kUpfQsys = 0, kUpfPowerFactor = 1, kUpfOpenLoop = 2 };

constexpr float kInzoneDelay = 0.5f;        // s, dead-zone judgement confirmation
constexpr float kUinzoneSetDelay = 0.1f;    // s, minimum magnitude held before the loop stops
constexpr float kRefFilterCorner = 200.0f;  // rad/s, filter of the own reference
constexpr float kUcmdMoved = 0.001f;        // per unit, a voltage command that moved
constexpr float kPercent = 0.01f;
// Environment time counter units (host steps x 100) of the mode-6 latch: 5000 host steps
// outside the band set it, 600000 host steps inside clear it.
constexpr float kUlimInDelay = 500000.0f;
constexpr float kUlimOutDelay = 60000000.0f;
constexpr float kAntiMisMinUd = 0.8f;  // per unit; below it the correction is off
constexpr float kMvarTo10kVar = 100.0f;

bool Set(std::uint8_t flag) { return flag != 0; }
std::uint8_t Flag(bool b) { return b ? 1 : 0; }

bool IsClosedLoopMode(std::uint8_t mode) {
    switch (mode) {
        case kModeVoltage:
        case kModePowerFactor:
        case kModeQsys:
        case kModeCombined:
            return true;
        default:
            return false;
    }
}

// Minimum-magnitude hold with threshold m: values at or beyond +-m pass and set the sign
// memory; values inside (-m, m), and a NaN, give +m or -m on the remembered side.
float HoldMinimum(MinHold& h, float x, float m) {
    if (x <= -m) {
        h.sign = 0;
        return x;
    }
    if (x >= m) {
        h.sign = 1;
        return x;
    }
    return h.sign == 1 ? m : -m;
}

std::uint8_t OnDelayStep(OnDelay& t, bool in, float preset, float dt) {
    return Flag(TonTimer(in ? 1 : 0, t.prev, preset, t.remaining, dt) != 0);
}

int RegisterModeCtrlTasks(ModuleHeader* module, int list) {
    if (RegisterTask(list, &ModeCtrlStep, module) != 0) {
        return 1;
    }
    ModeCtrl& m = *As<ModeCtrl>(module);
    LpfFirstDesign(m.Iqpos_ref_fil, *m.Task2, kRefFilterCorner);
    return 0;
}

// Step 1: master/slave coordination and the quantities the loops regulate.
void Coordination(ModeCtrl& m) {
    const bool master_role = m.CoorMasterEnb == 1;
    const std::uint8_t valid = master_role ? *m.CoorMode_Valid : *m.SCoorMode_Valid;
    m.CoorMode_Valid_final = Flag(Set(valid) && Set(m.SVGShuntEnb));
    m.Master_CoorMode_Valid = Flag(Set(m.CoorMode_Valid_final) && master_role);

    m.Qn_10kVar = *m.Qn_Mvar * kMvarTo10kVar;
    m.Qn_inv = SafeRcp(m.Qn_10kVar);
    m.Iqref_MRec_pu = *m.Iqref_MRec_10kVar * m.Qn_inv;
    m.Iqref_SRec_pu = *m.Iqref_SRec_10kVar * m.Qn_inv;
    m.Iqpos_ref_rec = master_role ? m.Iqref_MRec_pu : m.Iqref_SRec_pu;

    if (!Set(m.Master_CoorMode_Valid)) {
        m.Qsvg_sel_pu = *m.Qsvg_pu;
        m.Uzone_sel = m.parm_Uzone;
        m.Iq_min_sel = m.parm_Iqpos_ref_min;
        m.Qn_ratio = 1.0f;
        m.I_abs_sel = Magnitude(*m.Id_mix, *m.Iq_mix);
    } else {
        // The master regulates the group: its reactive power and its rating ratio.
        m.Qsvg_sel_pu = *m.Qsvg_Coor_10kVar[0] * m.Qn_inv;
        m.Qn_ratio = SafeDiv(*m.Qn_Coor_10kVar[0], m.Qn_10kVar);
        m.Uzone_sel = 0.0f;
        m.Iq_min_sel = 0.0f;
        m.I_coor_pu = SafeDiv(m.Qsvg_sel_pu, *m.Ufbk_pu);
        m.I_abs_sel = std::fabs(SafeDiv(m.I_coor_pu, m.Qn_ratio));
    }
    m.Iq_lim_sel = *m.sim_Iqpos_ref_lim * m.Qn_ratio;
    // A coordinated slave does not run its own loop.
    m.flg_seq_running_final = Flag((Set(*m.flg_seq_running) && !Set(m.CoorMode_Valid_final)) ||
                                   Set(m.Master_CoorMode_Valid));
}

// One side of the reserve PI on the error to the side's target: the integrator limited to
// [lo, hi] (or forced to its tracking input) and the side's voltage shift limited the same.
float ReserveSide(ModeCtrl& m, float target, float& p, float& integ, const float* fosys,
                  float& follow, float lo, float hi, float ts) {
    m.QnRes_target = target;
    const float e = target - *m.Qsvg_pu;
    p = e * m.parm_QnRes_kp;
    integ += e * ts * m.parm_QnRes_ki;
    if (Set(*m.flg_update_fosys)) {
        integ = *fosys;
    } else {
        integ = Limit(integ, lo, hi);
        follow = integ;
    }
    return Limit(integ + p, lo, hi);
}

// Step 10: shift of the voltage reference that keeps a reactive reserve: raised while the
// converter runs out of inductive reserve, lowered while it runs out of capacitive reserve.
void ReserveCorrection(ModeCtrl& m, float ts) {
    if (!(m.parm_Qctrl_mode == kModeVoltage && *m.flg_seq_running == 1 && m.ena_QnRes == 1)) {
        m.VscRev = m.VscRevL = m.VscRevC = 0.0f;
        m.QnRes_IL = m.QnRes_IC = 0.0f;
        return;
    }
    const float vlim = m.parm_QnRes_Vlim;
    if (*m.Qsvg_pu < 0.0f) {  // inductive
        m.VscRevL = ReserveSide(m, m.parm_QnRes_pu - 1.0f, m.QnRes_PL, m.QnRes_IL,
                                m.QresvL_intg_fosys, m.set_QresvL_intg_follow, 0.0f, vlim, ts);
        m.QnRes_PC = m.QnRes_IC = m.VscRevC = 0.0f;
    } else {  // capacitive
        m.VscRevC = ReserveSide(m, 1.0f - m.parm_QnRes_pu, m.QnRes_PC, m.QnRes_IC,
                                m.QresvC_intg_fosys, m.set_QresvC_intg_follow, -vlim, 0.0f, ts);
        m.QnRes_PL = m.QnRes_IL = m.VscRevL = 0.0f;
    }
    m.VscRev = m.VscRevC + m.VscRevL;
}

// One side of the anti-misoperation correction: integrates `drive` outside the band around
// the level, and inside it until the stabilisation time has passed.
void AntiMisIntegrate(ModeCtrl& m, float& integ, float& timer, float u2, float level, float drive,
                      float ts) {
    const float band = m.parm_AntiMisUloop * kPercent;
    const float step = drive * ts * m.parm_AntiMisInt;
    if (u2 < (1.0f - band) * level || u2 > (1.0f + band) * level) {
        timer = 0.0f;
        integ += step;
    } else {
        timer += ts;
        if (timer < m.parm_AntiMisStabTime) {
            integ += step;
        } else {
            timer = m.parm_AntiMisStabTime;
        }
    }
    if (Set(*m.flg_update_fosys)) {
        integ = *m.AntiMis_intg_fosys;
    } else {
        integ = LimitSym(integ, m.AntiMis_lim);
        m.set_AntiMis_intg_follow = integ;
    }
}

void AntiMisClear(ModeCtrl& m) {
    m.AntiMisIqComp = m.QregIntMax = m.QregIntMin = 0.0f;
    m.AntiMis_ov_timer = m.AntiMis_uv_timer = 0.0f;
}

// Step 11: current correction from the second bus voltage.
void AntiMisoperation(ModeCtrl& m, float ts) {
    if (m.parm_Qctrl_mode == kModeVoltage && *m.flg_seq_running == 1 && m.ena_AntiMis == 1) {
        m.AntiMis_lim = m.parm_AntiMisMaxQ;
    } else {
        m.AntiMis_lim = 0.0f;
        AntiMisClear(m);
    }
    const float u2 = *m.Ufbk_another_pu;
    if (u2 > 1.0f) {
        const float level = m.parm_AntiMisOV;
        AntiMisIntegrate(m, m.QregIntMax, m.AntiMis_ov_timer, u2, level, u2 - level, ts);
        m.QregIntMin = 0.0f;
    } else if (u2 < 1.0f) {
        const float level = m.parm_AntiMisUV;
        AntiMisIntegrate(m, m.QregIntMin, m.AntiMis_uv_timer, u2, level, level - u2, ts);
        m.QregIntMax = 0.0f;
    } else {  // exactly 1.0, or no valid measurement
        AntiMisClear(m);
    }
    const float ud = *m.Udpos_fil;
    if (!(ud > kAntiMisMinUd)) {
        AntiMisClear(m);
    } else {
        m.AntiMisIqComp = LimitSym(SafeDiv(m.QregIntMin - m.QregIntMax, ud), 1.0f);
    }
}

// Step 4: the voltage loop with command u_cmd; fills the proportional and integral errors.
void VoltageLoop(ModeCtrl& m, float u_cmd, float ts) {
    if (m.ena_Uslope == 1) {
        const float sign = m.Qsvg_sel_pu >= 0.0f ? 1.0f : -1.0f;
        m.err_Uslope = m.I_abs_sel * m.parm_Uslope * sign;
    } else {
        m.err_Uslope = 0.0f;
    }
    if (m.ena_QnRes == 1) {
        ReserveCorrection(m, ts);
    } else {
        m.VscRev = 0.0f;
    }
    if (m.ena_AntiMis == 1) {
        AntiMisoperation(m, ts);
    } else {
        m.AntiMisIqComp = 0.0f;
    }
    const float ref = Set(*m.AVC_Umode) && !Set(*m.AVC_mode_sw) ? *m.AVC_Ucmd_pu : u_cmd;
    m.err_Umode = ref - *m.Ufbk_pu - m.err_Uslope + m.VscRev + *m.Upod_cmd;

    // Dead zone: the error stays inside the band for 0.5 s.
    m.flg_inzone_judge = Flag(std::fabs(m.err_Umode) < m.Uzone_sel * u_cmd * kPercent);
    m.flg_inzone_delay = OnDelayStep(m.inzone_timer, Set(m.flg_inzone_judge), kInzoneDelay, ts);
    m.flg_in_zone = m.ena_Uzone & m.flg_inzone_delay;

    // Hold latch: set once the own reference has sat at its minimum magnitude for 0.1 s,
    // reset when the command moves or the voltage leaves the dead zone.
    m.Iqpos_ref_fil_abs = std::fabs(LpfStepFinite(m.Iqpos_ref_fil, m.set_Iqpos_ref_ss_CoorMode));
    m.above_min = HystCmp(m.Iqpos_ref_fil_abs, 1.05f * m.Iq_min_sel, m.Iq_min_sel, m.above_min);
    m.flg_Uinzone_S = OnDelayStep(m.uinzone_timer, !m.above_min, m.Uinzone_S_delay, ts);

    m.flg_Ucmd_change = Flag(std::fabs(u_cmd - m.Ucmd_prev) > kUcmdMoved);
    m.flg_Ufbk_err = std::fabs(u_cmd - *m.Ufbk_pu);
    const float w = m.Uzone_sel * kPercent;
    m.flg_Uerr_zone2 =
        Flag(HystCmp(m.flg_Ufbk_err, 2.0f * w, 0.95f * (2.0f * w), Set(m.flg_Uerr_zone2)));
    m.zone1_above = HystCmp(m.flg_Ufbk_err, w, 0.95f * w, m.zone1_above);
    m.flg_Uerr_zone1 = OnDelayStep(m.zone1_timer, m.zone1_above, m.parm_time_Udeadout, ts);

    m.flg_Uinzone_R =
        Flag(Set(m.flg_Ucmd_change) || Set(m.flg_Uerr_zone2) || Set(m.flg_Uerr_zone1));
    if (Set(m.flg_Uinzone_R)) {
        m.flg_Uctrl_sw = 0;
    } else if (Set(m.flg_Uinzone_S)) {
        m.flg_Uctrl_sw = 1;
    }

    if (Set(m.flg_in_zone) || Set(m.flg_Uctrl_sw)) {
        // Proportional error frozen, integrator stopped. A frozen error that is not a
        // number (a bad sample just before the freeze) freezes as 0 instead.
        m.err_forkp = std::isfinite(m.err_forkp_prev) ? m.err_forkp_prev : 0.0f;
        m.err_forki = 0.0f;
    } else {
        m.err_forkp = m.err_Umode;
        m.err_forki = m.err_Umode;
    }
    m.err_forkp_prev = m.err_forkp;
    m.Ucmd_prev = u_cmd;
}

// Step 6: power-factor error. A command of magnitude above 1 counts as unity power factor.
void PowerFactorError(ModeCtrl& m) {
    const float pf = m.parm_PF_cmd;
    const float sin_phi =
        static_cast<float>(std::sqrt(static_cast<double>(Limit(1.0f - pf * pf, 0.0f, 1.0f))));
    const float tan_phi = SafeDiv(sin_phi, pf);
    m.Qaim_sel_pu = std::fabs(*m.P_sel_pu) * tan_phi;
    if (m.ena_PF_lead != 0) {
        m.Qaim_sel_pu = -m.Qaim_sel_pu;
    }
    const float q =
        HoldMinimum(m.pf_hold, m.Qaim_sel_pu - *m.Q_sel_pu + m.Qsvg_sel_pu, m.Iq_min_sel);
    m.err_PF_mode = q - m.Qsvg_sel_pu;
}

// Step 7: system reactive power error.
void QsysError(ModeCtrl& m) {
    const float q =
        HoldMinimum(m.qsys_hold, *m.Qsys_cmd_pu - *m.Q_sel_pu + m.Qsvg_sel_pu, m.Iq_min_sel);
    m.err_Qsys_mode = q - m.Qsvg_sel_pu;
}

// Step 9: open-loop current command from the reactive power or current command.
void OpenLoop(ModeCtrl& m) {
    const bool avc_q = Set(*m.AVC_Qmode);
    m.Qcmd_openmode =
        HoldMinimum(m.qopen_hold, avc_q ? *m.AVC_Qcmd_pu : *m.Qsvg_cmd_pu, m.Iq_min_sel);
    m.err_openmode_final = m.Qcmd_openmode - *m.Qsvg_pu;
    if (m.parm_Qctrl_mode == kModeCurrent && !avc_q) {
        m.Iqcmd_open_limpre = HoldMinimum(m.iopen_hold, *m.Isvg_cmd_pu, m.Iq_min_sel);
    } else {
        m.Iqcmd_open_limpre = SafeDiv(m.Qcmd_openmode - *m.Idpos_fbk * *m.Uqpos_fil, *m.Udpos_fil);
    }
    if (m.parm_dir_power != 0 || m.dir_power_test != 0) {
        m.Iqcmd_open_limpre = -m.Iqcmd_open_limpre;
    }
    m.Iqcmd_openmode = LimitSym(m.Iqcmd_open_limpre, m.Iq_lim_sel);
}

// Step 8: mode 6. Forced voltage control while the voltage has been outside its band for
// 5000 host steps, until it has been back inside for 600000 host steps.
void CombinedMode(ModeCtrl& m, float ts) {
    const float u = *m.Ufbk_pu;
    m.Uuplim_above = HystCmp(u, m.parm_Uuplim_pu, 0.97f * m.parm_Uuplim_pu, m.Uuplim_above);
    m.Udownlim_above = HystCmp(u, 1.03f * m.parm_Udownlim_pu, m.parm_Udownlim_pu, m.Udownlim_above);
    m.flg_Uuplim_temp = Flag(m.Uuplim_above);
    m.flg_Udownlim_temp = Flag(!m.Udownlim_above);
    m.flg_Uupdown = Flag(Set(m.flg_Uuplim_temp) || Set(m.flg_Udownlim_temp));

    m.flg_Ulim_latch =
        CounterConfirmedFlag(m.flg_Ulim_latch, Set(m.flg_Uupdown), m.t_Ulim_in, m.t_Ulim_out,
                             m.hdr.env->time_counter, kUlimInDelay, kUlimOutDelay);

    m.flg_force_U_act = Flag(m.parm_Qctrl_mode == kModeCombined && Set(m.flg_Ulim_latch));
    if (Set(m.flg_force_U_act)) {
        VoltageLoop(m, *m.Ucmd_pu, ts);
        return;
    }
    switch (m.ena_UPF) {
        case kUpfQsys:
            QsysError(m);
            m.err_QU_mode = m.err_Qsys_mode;
            break;
        case kUpfPowerFactor:
            PowerFactorError(m);
            m.err_QU_mode = m.err_PF_mode;
            break;
        case kUpfOpenLoop:
            // Open loop on the converter reactive power command, computed here so the
            // command is this step's and not the one of the last open-loop step.
            m.flg_Qopen_mode = 1;
            m.flg_Qclose_mode = 0;
            OpenLoop(m);
            break;
        default:
            break;
    }
}

// Steps 2 and 3: path selection, the selected mode's error and the gains in use.
void SelectPath(ModeCtrl& m, float ts) {
    const std::uint8_t mode = m.parm_Qctrl_mode;
    const bool closed = IsClosedLoopMode(mode);
    const bool avc_u = Set(*m.AVC_Umode);
    const bool avc_sw = Set(*m.AVC_mode_sw);
    m.flg_Qclose_mode = Flag(closed || avc_u || avc_sw);
    m.flg_Qopen_mode = Flag((!closed || Set(*m.AVC_Qmode)) && !avc_sw);

    if (!Set(m.flg_Qclose_mode)) {
        OpenLoop(m);
        return;
    }
    if (avc_u || avc_sw) {
        VoltageLoop(m, *m.Ucmd_pu, ts);
    } else {
        switch (mode) {
            case kModeVoltage:
                VoltageLoop(m, *m.Ucmd_pu, ts);
                break;
            case kModePowerFactor:
                PowerFactorError(m);
                break;
            case kModeQsys:
                QsysError(m);
                break;
            case kModeCombined:
                CombinedMode(m, ts);
                break;
            default:
                break;
        }
    }
    if (mode == kModeVoltage || Set(m.flg_force_U_act) || avc_sw || avc_u) {
        const float kpi = *m.kpi_Umode;
        if (m.ena_test_mode == 1) {
            m.kp_QUsel = m.parm_kp_U_test * kpi;
            m.ki_QUsel = m.parm_ki_U_test * kpi;
        } else {
            m.kp_QUsel = m.parm_kp_U * kpi;
            m.ki_QUsel = m.parm_ki_U * kpi;
        }
    } else {
        m.kp_QUsel = m.parm_kp_Q;
        m.ki_QUsel = m.parm_ki_Q;
    }
}

// Step 12: the closed-loop PI with its tracking limits.
void ClosedLoopRegulator(ModeCtrl& m, float ts) {
    switch (m.parm_Qctrl_mode) {
        case kModeVoltage:
            m.err_close_mode = m.err_forki;
            break;
        case kModePowerFactor:
            m.err_close_mode = m.err_PF_mode;
            break;
        case kModeQsys:
            m.err_close_mode = m.err_Qsys_mode;
            break;
        case kModeCombined:
            m.err_close_mode = m.err_QU_mode;
            break;
        default:
            break;
    }
    m.flg_Uctrl = Flag(Set(m.flg_force_U_act) || Set(*m.AVC_Umode) || Set(*m.AVC_mode_sw));
    const bool running = Set(m.flg_seq_running_final);
    if (!running) {
        m.err_ki_final = 0.0f;
    } else {
        m.err_ki_final = Set(m.flg_Uctrl) ? m.err_forki : m.err_close_mode;
    }
    // An error that is not a number (a bad measurement) counts as no error: the integrator
    // holds instead of dropping to its lower limit, and a mode that keeps its last error
    // does not keep a NaN.
    if (!std::isfinite(m.err_close_mode)) {
        m.err_close_mode = 0.0f;
    }
    if (!std::isfinite(m.err_ki_final)) {
        m.err_ki_final = 0.0f;
    }

    // Equal limits make the integrator track that value.
    if (!running) {
        m.int_uplim = m.int_downlim = 0.0f;
    } else if (Set(*m.flg_update_fosys)) {
        m.int_uplim = m.int_downlim = *m.Iqpos_intg_fosys;
    } else if (Set(*m.flg_HVRT_mod) || Set(*m.flg_LVRT_mod) || Set(*m.flg_ZVRT_mod)) {
        m.int_uplim = m.int_downlim = *m.Iqpos_ref_sel;
    } else if (Set(m.flg_Qopen_mode)) {
        m.int_uplim = m.int_downlim = m.Iqcmd_openmode;
    } else {
        m.int_uplim = m.parm_Qclose_kilim * m.Qn_ratio;
        m.int_downlim = -m.parm_Qclose_kilim * m.Qn_ratio;
    }
    if (*m.GFM_Blk_OtLoop == 1) {
        m.int_uplim = m.int_downlim = *m.Iqref_GFM;
    }

    PiReg& pi = m.QU_pi;
    PiRegDesign(pi, ts, m.kp_QUsel, m.ki_QUsel, 1.0f, m.Iq_lim_sel, m.int_downlim, m.int_uplim);
    const float out = PiRegStep(pi, m.err_ki_final, running ? 1 : 0);
    m.set_Iqpos_intg_follow = pi.I;

    m.Iqcmd_closemode_pre = out + m.AntiMisIqComp;
    if (Set(m.flg_in_zone)) {
        m.Iqcmd_closemode_pre += m.err_forkp * m.kp_QUsel;
    }
    m.Iqcmd_closemode = LimitSym(m.Iqcmd_closemode_pre, m.Iq_lim_sel);
}

// Step 13: selection, minimum magnitude, limit and rate limit of the own reference.
void FinalReference(ModeCtrl& m) {
    if (!Set(m.flg_seq_running_final)) {
        m.Iqpos_ref = 0.0f;
    } else {
        m.Iqpos_ref = Set(m.flg_Qclose_mode) ? m.Iqcmd_closemode : m.Iqcmd_openmode;
    }
    if (Set(*m.flg_Qn_lim)) {
        m.Iqpos_ref *= 0.01f;
    }
    const float target = LimitSym(HoldMinimum(m.ref_hold, m.Iqpos_ref, m.Iq_min_sel), m.Iq_lim_sel);
    float& own = m.set_Iqpos_ref_ss_CoorMode;
    own += LimitSym(target - own, m.parm_rate_Iqpos);
    if (!std::isfinite(own)) {
        own = 0.0f;  // only a limit that is not a number can get here; restart from 0
    }
}

// Step 14: active-mode indicators, from the mode alone.
void Indicators(ModeCtrl& m) {
    m.flg_Qsvg_mode = m.flg_U_mode = m.flg_PF_mode = m.flg_Qsys_mode = m.flg_I_mode = 0;
    m.flg_force_Umode = 0;
    const std::uint8_t mode = m.parm_Qctrl_mode;
    if (mode != kModeCombined) {
        m.flg_force_U_act = 0;
    }
    switch (mode) {
        case kModeVoltage:
            m.flg_U_mode = 1;
            break;
        case kModePowerFactor:
            m.flg_PF_mode = 1;
            break;
        case kModeQsys:
            m.flg_Qsys_mode = 1;
            break;
        case kModeCurrent:
            m.flg_I_mode = 1;
            break;
        case kModeCombined:
            if (Set(m.flg_force_U_act)) {
                m.flg_U_mode = 1;
                m.flg_force_Umode = 1;
            } else if (m.ena_UPF != 0) {
                m.flg_PF_mode = 1;
            } else {
                m.flg_Qsys_mode = 1;
            }
            break;
        default:
            m.flg_Qsvg_mode = 1;
            break;
    }
}

// Step 15: the published reference and the coordination send values.
void Outputs(ModeCtrl& m) {
    m.Qsvg_10kVar = *m.Qsvg_pu * m.Qn_10kVar;
    m.set_Iqpos_ref_ss =
        Set(m.CoorMode_Valid_final) ? m.Iqpos_ref_rec : m.set_Iqpos_ref_ss_CoorMode;
    m.Iqpos_ref_Send_10kVar[0] =
        m.En_test == 1 ? m.Iref_test : m.set_Iqpos_ref_ss_CoorMode * m.Qn_10kVar;
    m.Iqpos_ref_Send_10kVar[1] = m.Iqpos_ref_Send_10kVar[2] = m.Iqpos_ref_Send_10kVar[3] = 0.0f;
    m.Idneg_ref_Send_10kVar = m.Idneg_Send_10kVar = 0.0f;
    m.Iqneg_ref_Send_10kVar = m.Iqneg_Send_10kVar = 0.0f;
}

}  // namespace

ModuleHeader* CreateModeCtrl(Environment* env, ModuleHeader* module,
                             const char* instance_name) noexcept {
    InitHeader(module, env, "MODECTRL", instance_name, &RegisterModeCtrlTasks);
    ModeCtrl& m = *As<ModeCtrl>(module);
    m.En_test = 0;
    m.Iref_test = 0.0f;
    RegisterSignals(module, kSignals);
    if constexpr (!kReducedBuild) {
        m.sim_Iqpos_ref_lim = &m.parm_Iqpos_ref_lim;  // a host channel in the reduced controller
    }
    // Every other field starts at 0 with the zero-filled record: flags, errors, latches,
    // timers, sign memories (negative side) and the reference.
    m.Uinzone_S_delay = kUinzoneSetDelay;
    return module;
}

void ModeCtrlStep(ModuleHeader* module) noexcept {
    ModeCtrl& m = *As<ModeCtrl>(module);
    const float ts = *m.Task2;
    Coordination(m);
    SelectPath(m, ts);
    ClosedLoopRegulator(m, ts);
    FinalReference(m);
    Indicators(m);
    Outputs(m);
}

}  // namespace svg
