#include "modules/Parameter.h"

#include <cmath>
#include <cstddef>
#include <numbers>

#include "blocks/build.h"
#include "blocks/numeric.h"
#include "blocks/transforms.h"

namespace svg {
namespace {

// VdcRefMaxRcp (the zero cell in this system), then the ratings the reduced controller takes
// from host channels instead of parameters.
// clang-format off
constexpr SignalRow kInputs[] = {
    {SignalKind::kFloatInput, offsetof(Parameter, VdcRefMaxRcp), "VdcRefMaxRcp type=f", "1/V", "reciprocal of the maximum DC voltage reference scaling Sample_ratio (reads 0 in this system)"},
    {SignalKind::kFloatInput, offsetof(Parameter, sim_Qn_Mvar), "sim_Qn_Mvar type=f", "Mvar", "rated reactive power of the converter, read from host channel 43", Builds::kReducedOnly},
    {SignalKind::kFloatInput, offsetof(Parameter, sim_Un_kV), "sim_Un_kV type=f", "kV", "nominal line RMS voltage at the converter connection, read from host channel 44", Builds::kReducedOnly},
    {SignalKind::kFloatInput, offsetof(Parameter, sim_LTotCal), "sim_LTotCal type=f", "mH", "total series inductance between converter and grid, read from host channel 45", Builds::kReducedOnly},
};
// clang-format on

// clang-format off
constexpr SignalRow kParameters[] = {
    {SignalKind::kParameter, offsetof(Parameter, parm_TsTask1_us), "parm_TsTask1_us type=f default=100 option=1", "us", "task 1 period (the base control period)"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Task2_mul), "parm_Task2_mul type=f default=10 option=1", "-", "task 2 period as a multiple of the task 1 period"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Task3_mul), "parm_Task3_mul type=f default=10 option=1", "-", "task 3 period as a multiple of the task 2 period"},
    {SignalKind::kParameter, offsetof(Parameter, parm_FrqHzNom), "parm_FrqHzNom type=f default=50 option=1", "Hz", "nominal grid frequency"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Vn_kV), "parm_Vn_kV type=f default=35 option=1", "kV", "nominal line RMS voltage at the converter connection", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(Parameter, parm_Qn_Mvar), "parm_Qn_Mvar type=f default=30 option=1", "Mvar", "rated reactive power of the converter", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(Parameter, parm_LTotCal), "parm_LTotCal type=f default=13 option=1", "mH", "total series inductance between converter and grid", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(Parameter, parm_cellnum), "parm_cellnum type=f default=77 option=1", "-", "number of cells per phase cluster", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(Parameter, parm_cellnum), "parm_cellnum type=f default=36 option=1", "-", "number of cells per phase cluster", Builds::kReducedOnly},
    {SignalKind::kParameter, offsetof(Parameter, parm_redy_lnk_num), "parm_redy_lnk_num type=f default=0 option=1", "-", "number of redundant cells per phase cluster"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CapPM), "parm_CapPM type=f default=4.1 option=1", "mF", "cell DC capacitor capacitance; read by no control step", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(Parameter, parm_CapPM), "parm_CapPM type=f default=3.68 option=1", "mF", "cell DC capacitor capacitance; read by no control step", Builds::kReducedOnly},
    {SignalKind::kParameter, offsetof(Parameter, parm_trans_type), "parm_trans_type type=cu default=0 option=1", "-", "coupling transformer arrangement code 0 to 6"},
    {SignalKind::kParameter, offsetof(Parameter, parm_trans_HVnom), "parm_trans_HVnom type=f default=35 option=1", "kV", "coupling transformer rated high-side voltage"},
    {SignalKind::kParameter, offsetof(Parameter, parm_trans_LVnom), "parm_trans_LVnom type=f default=10 option=1", "kV", "coupling transformer rated low-side voltage"},
    {SignalKind::kParameter, offsetof(Parameter, parm_pcu_dev_cfg), "parm_pcu_dev_cfg type=iu default=2 option=1", "-", "power control unit device configuration code"},
    {SignalKind::kParameter, offsetof(Parameter, parm_pcu_dev_mode), "parm_pcu_dev_mode type=iu default=2 option=1", "-", "power control unit device mode code"},
    {SignalKind::kParameter, offsetof(Parameter, parm_remote_local), "parm_remote_local type=cu default=0 option=1", "-", "remote or local operation selector"},
    {SignalKind::kParameter, offsetof(Parameter, parm_enb_wave_trigger), "parm_enb_wave_trigger type=lu default=0 option=1", "-", "1 toggles the parameter update flag at every task 1 step (wave record trigger)"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CT1Ratio), "parm_CT1Ratio type=f default=60 option=1", "-", "CT1 current transformer ratio"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CT2Ratio), "parm_CT2Ratio type=f default=600 option=1", "-", "CT2 current transformer ratio"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CT3Ratio), "parm_CT3Ratio type=f default=600 option=1", "-", "CT3 current transformer ratio"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CT4Ratio), "parm_CT4Ratio type=f default=600 option=1", "-", "CT4 current transformer ratio"},
    {SignalKind::kParameter, offsetof(Parameter, parm_PT1Ratio), "parm_PT1Ratio type=f default=2200 option=1", "-", "PT1 (PCC) voltage transformer ratio"},
    {SignalKind::kParameter, offsetof(Parameter, parm_PT2Ratio), "parm_PT2Ratio type=f default=1100 option=1", "-", "PT2 (alternative PCC-side site) voltage transformer ratio"},
    {SignalKind::kParameter, offsetof(Parameter, parm_PT3Ratio), "parm_PT3Ratio type=f default=1100 option=1", "-", "PT3 (alternative PCC-side site) voltage transformer ratio"},
    {SignalKind::kParameter, offsetof(Parameter, parm_PT4Ratio), "parm_PT4Ratio type=f default=350 option=1", "-", "PT4 (converter connection) voltage transformer ratio"},
    {SignalKind::kParameter, offsetof(Parameter, parm_GridHall1Ratio), "parm_GridHall1Ratio type=f default=5000 option=1", "-", "ratio of the Hall current sensor set 1"},
    {SignalKind::kParameter, offsetof(Parameter, parm_GridHall2Ratio), "parm_GridHall2Ratio type=f default=5000 option=1", "-", "ratio of the Hall current sensor set 2; read by no control step"},
    {SignalKind::kParameter, offsetof(Parameter, parm_PT1CalibrationA), "parm_PT1CalibrationA type=f default=1 option=1", "-", "calibration factor of PT1 phase a"},
    {SignalKind::kParameter, offsetof(Parameter, parm_PT1CalibrationB), "parm_PT1CalibrationB type=f default=1 option=1", "-", "calibration factor of PT1 phase b"},
    {SignalKind::kParameter, offsetof(Parameter, parm_PT1CalibrationC), "parm_PT1CalibrationC type=f default=1 option=1", "-", "calibration factor of PT1 phase c"},
    {SignalKind::kParameter, offsetof(Parameter, parm_PT2CalibrationA), "parm_PT2CalibrationA type=f default=1 option=1", "-", "calibration factor of PT2 phase a"},
    {SignalKind::kParameter, offsetof(Parameter, parm_PT2CalibrationB), "parm_PT2CalibrationB type=f default=1 option=1", "-", "calibration factor of PT2 phase b"},
    {SignalKind::kParameter, offsetof(Parameter, parm_PT2CalibrationC), "parm_PT2CalibrationC type=f default=1 option=1", "-", "calibration factor of PT2 phase c"},
    {SignalKind::kParameter, offsetof(Parameter, parm_PT3CalibrationA), "parm_PT3CalibrationA type=f default=1 option=1", "-", "calibration factor of PT3 phase a"},
    {SignalKind::kParameter, offsetof(Parameter, parm_PT3CalibrationB), "parm_PT3CalibrationB type=f default=1 option=1", "-", "calibration factor of PT3 phase b"},
    {SignalKind::kParameter, offsetof(Parameter, parm_PT3CalibrationC), "parm_PT3CalibrationC type=f default=1 option=1", "-", "calibration factor of PT3 phase c"},
    {SignalKind::kParameter, offsetof(Parameter, parm_PT4CalibrationA), "parm_PT4CalibrationA type=f default=1 option=1", "-", "calibration factor of PT4 phase a"},
    {SignalKind::kParameter, offsetof(Parameter, parm_PT4CalibrationB), "parm_PT4CalibrationB type=f default=1 option=1", "-", "calibration factor of PT4 phase b"},
    {SignalKind::kParameter, offsetof(Parameter, parm_PT4CalibrationC), "parm_PT4CalibrationC type=f default=1 option=1", "-", "calibration factor of PT4 phase c"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CT1CalibrationA), "parm_CT1CalibrationA type=f default=1 option=1", "-", "calibration factor of CT1 phase a"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CT1CalibrationB), "parm_CT1CalibrationB type=f default=1 option=1", "-", "calibration factor of CT1 phase b"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CT1CalibrationC), "parm_CT1CalibrationC type=f default=1 option=1", "-", "calibration factor of CT1 phase c"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CT2CalibrationA), "parm_CT2CalibrationA type=f default=1 option=1", "-", "calibration factor of CT2 phase a"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CT2CalibrationB), "parm_CT2CalibrationB type=f default=1 option=1", "-", "calibration factor of CT2 phase b"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CT2CalibrationC), "parm_CT2CalibrationC type=f default=1 option=1", "-", "calibration factor of CT2 phase c"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CT3CalibrationA), "parm_CT3CalibrationA type=f default=1 option=1", "-", "calibration factor of CT3 phase a"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CT3CalibrationB), "parm_CT3CalibrationB type=f default=1 option=1", "-", "calibration factor of CT3 phase b"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CT3CalibrationC), "parm_CT3CalibrationC type=f default=1 option=1", "-", "calibration factor of CT3 phase c"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CT4CalibrationA), "parm_CT4CalibrationA type=f default=1 option=1", "-", "calibration factor of CT4 phase a"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CT4CalibrationB), "parm_CT4CalibrationB type=f default=1 option=1", "-", "calibration factor of CT4 phase b"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CT4CalibrationC), "parm_CT4CalibrationC type=f default=1 option=1", "-", "calibration factor of CT4 phase c"},
    {SignalKind::kParameter, offsetof(Parameter, parm_GridHall1CalibrationA), "parm_GridHall1CalibrationA type=f default=0 option=1", "-", "calibration factor of Hall sensor set 1 phase a"},
    {SignalKind::kParameter, offsetof(Parameter, parm_GridHall1CalibrationB), "parm_GridHall1CalibrationB type=f default=0 option=1", "-", "calibration factor of Hall sensor set 1 phase b"},
    {SignalKind::kParameter, offsetof(Parameter, parm_GridHall1CalibrationC), "parm_GridHall1CalibrationC type=f default=0 option=1", "-", "calibration factor of Hall sensor set 1 phase c"},
    {SignalKind::kParameter, offsetof(Parameter, parm_GridHallBoardType), "parm_GridHallBoardType type=lu default=400 option=1", "-", "Hall sampling board type 100, 200 or 400 (selects the channel calibration)"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CT_Board_Type), "parm_CT_Board_Type type=cu default=5 option=1", "-", "CT sampling board type code (scales the CT channel calibrations)"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Power1CheckError), "parm_Power1CheckError type=cu default=0 option=1", "-", "power supply 1 check error setting"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Power2CheckError), "parm_Power2CheckError type=cu default=0 option=1", "-", "power supply 2 check error setting"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Power3CheckError), "parm_Power3CheckError type=cu default=0 option=1", "-", "power supply 3 check error setting"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Power4CheckError), "parm_Power4CheckError type=cu default=0 option=1", "-", "power supply 4 check error setting"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Power5CheckError), "parm_Power5CheckError type=cu default=0 option=1", "-", "power supply 5 check error setting"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Power6CheckError), "parm_Power6CheckError type=cu default=0 option=1", "-", "power supply 6 check error setting"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Power7CheckError), "parm_Power7CheckError type=cu default=0 option=1", "-", "power supply 7 check error setting"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Power8CheckError), "parm_Power8CheckError type=cu default=0 option=1", "-", "power supply 8 check error setting"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Hall1OcEnb), "parm_Hall1OcEnb type=cu default=0 option=1", "-", "enable of the Hall sensor set 1 overcurrent protection"},
    {SignalKind::kParameter, offsetof(Parameter, parm_HallNullEnb), "parm_HallNullEnb type=cu default=0 option=1", "-", "enable of the Hall sensor zero-offset correction"},
    {SignalKind::kParameter, offsetof(Parameter, parm_SampleCalibrationEnb), "parm_SampleCalibrationEnb type=cu default=0 option=1", "-", "enable of the sampling calibration check"},
    {SignalKind::kParameter, offsetof(Parameter, parm_SurgeEnb), "parm_SurgeEnb type=cu default=0 option=1", "-", "enable of the surge protection"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CT4GridOcEnb), "parm_CT4GridOcEnb type=cu default=0 option=1", "-", "enable of the CT4 grid overcurrent protection"},
    {SignalKind::kParameter, offsetof(Parameter, parm_PT4GridOVEnb), "parm_PT4GridOVEnb type=cu default=0 option=1", "-", "enable of the PT4 grid overvoltage protection"},
    {SignalKind::kParameter, offsetof(Parameter, parm_HallSampleErrorEnb), "parm_HallSampleErrorEnb type=cu default=0 option=1", "-", "enable of the Hall sampling error check"},
    {SignalKind::kParameter, offsetof(Parameter, parm_PhaseCompensationEnb), "parm_PhaseCompensationEnb type=cu default=0 option=1", "-", "enable of the sampling phase compensation"},
    {SignalKind::kParameter, offsetof(Parameter, parm_HallLbProtEnb), "parm_HallLbProtEnb type=cu default=0 option=1", "-", "enable of the Hall sensor line-break protection"},
    {SignalKind::kParameter, offsetof(Parameter, parm_GridOcProtThr), "parm_GridOcProtThr type=f default=1.35 option=1", "pu", "grid overcurrent protection threshold, per unit of rated RMS current"},
    {SignalKind::kParameter, offsetof(Parameter, parm_SurgeProtThr), "parm_SurgeProtThr type=f default=0 option=1", "-", "surge protection threshold"},
    {SignalKind::kParameter, offsetof(Parameter, parm_SurgeProtTm), "parm_SurgeProtTm type=f default=100 option=1", "ms", "surge protection delay"},
    {SignalKind::kParameter, offsetof(Parameter, parm_HallCalibrationThr), "parm_HallCalibrationThr type=f default=0 option=1", "-", "tolerance of the Hall sampling calibration check"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CTCalibrationThr), "parm_CTCalibrationThr type=f default=0 option=1", "-", "tolerance of the CT sampling calibration check"},
    {SignalKind::kParameter, offsetof(Parameter, parm_PTCalibrationThr), "parm_PTCalibrationThr type=f default=0 option=1", "-", "tolerance of the PT sampling calibration check"},
    {SignalKind::kParameter, offsetof(Parameter, parm_PTOVTm), "parm_PTOVTm type=f default=50 option=1", "ms", "PT overvoltage protection delay"},
    {SignalKind::kParameter, offsetof(Parameter, parm_PTOVNum), "parm_PTOVNum type=f default=4 option=1", "-", "number of over-threshold detections for the PT overvoltage trip"},
    {SignalKind::kParameter, offsetof(Parameter, parm_PTOVThr), "parm_PTOVThr type=f default=1.45 option=1", "pu", "PT overvoltage protection threshold, per unit of nominal voltage"},
    {SignalKind::kParameter, offsetof(Parameter, parm_HallOcThr), "parm_HallOcThr type=f default=0.2 option=1", "pu", "Hall sensor overcurrent threshold, per unit of rated RMS current"},
    {SignalKind::kParameter, offsetof(Parameter, parm_HallOcTm), "parm_HallOcTm type=f default=0.2 option=1", "ms", "Hall sensor overcurrent protection delay"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CT4OcProtThr), "parm_CT4OcProtThr type=f default=1.35 option=1", "pu", "CT4 overcurrent protection threshold, per unit of rated RMS current"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Cell_DC_Ov_Thr), "parm_Cell_DC_Ov_Thr type=iu default=1200 option=1", "V", "cell DC overvoltage threshold"},
    {SignalKind::kParameter, offsetof(Parameter, parm_manu_bypass_mode), "parm_manu_bypass_mode type=cu default=1 option=1", "-", "manual cell bypass mode selector"},
    {SignalKind::kParameter, offsetof(Parameter, parm_setswit_testmeas), "parm_setswit_testmeas type=cu default=0 option=1", "-", "test measurement switch setting"},
    {SignalKind::kParameter, offsetof(Parameter, parm_GridHall1NullA), "parm_GridHall1NullA type=i default=1 option=1", "-", "zero-offset setting of Hall sensor set 1 phase a"},
    {SignalKind::kParameter, offsetof(Parameter, parm_GridHall2NullA), "parm_GridHall2NullA type=i default=1 option=1", "-", "zero-offset setting of Hall sensor set 2 phase a"},
    {SignalKind::kParameter, offsetof(Parameter, parm_GridHall1NullB), "parm_GridHall1NullB type=i default=1 option=1", "-", "zero-offset setting of Hall sensor set 1 phase b"},
    {SignalKind::kParameter, offsetof(Parameter, parm_GridHall2NullB), "parm_GridHall2NullB type=i default=1 option=1", "-", "zero-offset setting of Hall sensor set 2 phase b"},
    {SignalKind::kParameter, offsetof(Parameter, parm_GridHall1NullC), "parm_GridHall1NullC type=i default=1 option=1", "-", "zero-offset setting of Hall sensor set 1 phase c"},
    {SignalKind::kParameter, offsetof(Parameter, parm_GridHall2NullC), "parm_GridHall2NullC type=i default=1 option=1", "-", "zero-offset setting of Hall sensor set 2 phase c"},
    {SignalKind::kParameter, offsetof(Parameter, parm_I_cmd_limit), "parm_I_cmd_limit type=f default=1.1 option=1", "pu", "current command limit"},
    {SignalKind::kParameter, offsetof(Parameter, parm_ena_SC_PowerProt2), "parm_ena_SC_PowerProt2 type=cu default=0 option=1", "-", "enable of the second short-circuit power protection"},
    {SignalKind::kParameter, offsetof(Parameter, parm_pllwt_Enb), "parm_pllwt_Enb type=cu default=1 option=1", "-", "enable of the PLL angle (wt) output"},
    {SignalKind::kParameter, offsetof(Parameter, parm_trans_pllwt_Enb), "parm_trans_pllwt_Enb type=cu default=1 option=1", "-", "enable of the transformer phase-shift compensation of the PLL angle"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Harmonic_times1), "parm_Harmonic_times1 type=lu default=1 option=1", "-", "harmonic order setting 1"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Harmonic_times2), "parm_Harmonic_times2 type=lu default=1 option=1", "-", "harmonic order setting 2"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Harmonic_times3), "parm_Harmonic_times3 type=lu default=1 option=1", "-", "harmonic order setting 3"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Harmonic_times4), "parm_Harmonic_times4 type=lu default=1 option=1", "-", "harmonic order setting 4"},
    {SignalKind::kParameter, offsetof(Parameter, parm_HallPhase_Full), "parm_HallPhase_Full type=cu default=1 option=1", "-", "1 when the Hall sensors measure all three phases"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CT1Phase_Full), "parm_CT1Phase_Full type=cu default=1 option=1", "-", "1 when CT1 measures all three phases"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CT2Phase_Full), "parm_CT2Phase_Full type=cu default=1 option=1", "-", "1 when CT2 measures all three phases"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CT3Phase_Full), "parm_CT3Phase_Full type=cu default=1 option=1", "-", "1 when CT3 measures all three phases"},
    {SignalKind::kParameter, offsetof(Parameter, parm_CT4Phase_Full), "parm_CT4Phase_Full type=cu default=1 option=1", "-", "1 when CT4 measures all three phases"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Upcc1), "parm_Upcc1 type=f default=220 option=1", "kV", "nominal line RMS voltage of the PT1 (PCC) site"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Upcc2), "parm_Upcc2 type=f default=220 option=1", "kV", "nominal line RMS voltage of the PT2 site"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Upcc3), "parm_Upcc3 type=f default=220 option=1", "kV", "nominal line RMS voltage of the PT3 site"},
    {SignalKind::kParameter, offsetof(Parameter, parm_High_Qn_Mvar), "parm_High_Qn_Mvar type=f default=30 option=1", "Mvar", "upper reactive power limit of the converter"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Low_Qn_Mvar), "parm_Low_Qn_Mvar type=f default=-30 option=1", "Mvar", "lower reactive power limit of the converter"},
    {SignalKind::kParameter, offsetof(Parameter, parm_sys_Qn_Mvar_set), "parm_sys_Qn_Mvar_set type=f default=1 option=1", "Mvar", "system reactive power setpoint"},
    {SignalKind::kParameter, offsetof(Parameter, parm_sys_High_Qn_Mvar), "parm_sys_High_Qn_Mvar type=f default=30 option=1", "Mvar", "upper system reactive power limit"},
    {SignalKind::kParameter, offsetof(Parameter, parm_sys_Low_Qn_Mvar), "parm_sys_Low_Qn_Mvar type=f default=-30 option=1", "Mvar", "lower system reactive power limit"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Factor_Target), "parm_Factor_Target type=f default=0.99 option=1", "-", "target power factor"},
    {SignalKind::kParameter, offsetof(Parameter, parm_High_Factor), "parm_High_Factor type=f default=1 option=1", "-", "upper power factor limit"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Low_Factor), "parm_Low_Factor type=f default=0 option=1", "-", "lower power factor limit"},
    {SignalKind::kParameter, offsetof(Parameter, parm_trans_High_U), "parm_trans_High_U type=f default=1.2 option=1", "pu", "upper voltage limit at the transformer"},
    {SignalKind::kParameter, offsetof(Parameter, parm_trans_Low_U), "parm_trans_Low_U type=f default=0.8 option=1", "pu", "lower voltage limit at the transformer"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Uctrl_cmd), "parm_Uctrl_cmd type=f default=1 option=1", "pu", "voltage control command"},
    {SignalKind::kParameter, offsetof(Parameter, parm_vbi_check), "parm_vbi_check type=cu default=0 option=1", "-", "valve base interface check flag"},
    {SignalKind::kParameter, offsetof(Parameter, parm_hard_work), "parm_hard_work type=cu default=0 option=1", "-", "hardware run mode flag"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Qctrl_mode), "parm_Qctrl_mode type=cu default=0 option=1", "-", "reactive power control operating mode selector"},
    {SignalKind::kParameter, offsetof(Parameter, parm_deShuntOvThr), "parm_deShuntOvThr type=f default=1240 option=1", "V", "cell DC voltage below which an overvoltage shunt is released"},
    {SignalKind::kParameter, offsetof(Parameter, parm_ShuntUvThr), "parm_ShuntUvThr type=f default=400 option=1", "V", "cell DC voltage below which the cell is shunted for undervoltage"},
    {SignalKind::kParameter, offsetof(Parameter, parm_deShuntUvThr), "parm_deShuntUvThr type=f default=500 option=1", "V", "cell DC voltage above which an undervoltage shunt is released"},
    {SignalKind::kParameter, offsetof(Parameter, parm_ShuntFailThr), "parm_ShuntFailThr type=iu default=40 option=1", "-", "shunt failure threshold"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Cell_Dc_Ov_ShuntThr), "parm_Cell_Dc_Ov_ShuntThr type=f default=1250 option=1", "V", "cell DC voltage above which the cell is shunted for overvoltage"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Fbp1), "parm_Fbp1 type=f default=900 option=1", "Hz", "frequency of the single pole of the band-pass section"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Fbp2), "parm_Fbp2 type=f default=5000 option=1", "Hz", "frequency of the double pole of the band-pass section"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Fld1), "parm_Fld1 type=f default=2500 option=1", "Hz", "zero frequency of the lead-lag filter"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Fld2), "parm_Fld2 type=f default=5000 option=1", "Hz", "pole frequency of the lead-lag filter"},
    {SignalKind::kParameter, offsetof(Parameter, parm_LeadLagULim), "parm_LeadLagULim type=f default=1.0 option=1", "-", "output limit of the lead-lag filter"},
    {SignalKind::kParameter, offsetof(Parameter, parm_LeadLagGn), "parm_LeadLagGn type=f default=1.0 option=1", "-", "gain of the lead-lag filter"},
    {SignalKind::kParameter, offsetof(Parameter, parm_airCoolingNum), "parm_airCoolingNum type=cu default=6 option=1", "-", "number of air cooling units"},
    {SignalKind::kParameter, offsetof(Parameter, parm_tempNum), "parm_tempNum type=cu default=2 option=1", "-", "number of temperature sensors"},
    {SignalKind::kParameter, offsetof(Parameter, parm_Auto_Uadjust_Cellnum), "parm_Auto_Uadjust_Cellnum type=f default=0.1 option=1", "-", "share of the cell count used for automatic voltage adjustment", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(Parameter, parm_Auto_Uadjust_Cellnum), "parm_Auto_Uadjust_Cellnum type=iu default=0 option=1", "-", "share of the cell count used for automatic voltage adjustment", Builds::kReducedOnly},
    {SignalKind::kParameter, offsetof(Parameter, parm_phs_Rnet_Snode_st1), "parm_phs_Rnet_Snode_st1 type=iu default=0 option=1", "-", "ring network station node setting 1", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(Parameter, parm_phs_Rnet_Snode_st2), "parm_phs_Rnet_Snode_st2 type=iu default=0 option=1", "-", "ring network station node setting 2", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(Parameter, parm_RingNetwork_modeEn), "parm_RingNetwork_modeEn type=b default=0 option=1", "-", "enable of the ring network mode", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(Parameter, parm_RingNetwork_selfChcek), "parm_RingNetwork_selfChcek type=b default=0 option=1", "-", "enable of the ring network self check", Builds::kFullOnly},
    {SignalKind::kParameter, offsetof(Parameter, parm_unit_type), "parm_unit_type type=cu default=0 option=1", "-", "unit type code; read by no control step", Builds::kReducedOnly},
};
// clang-format on

// clang-format off
constexpr SignalRow kVariables[] = {
    {SignalKind::kSharedVariable, offsetof(Parameter, Task1), "Task1 type=f", "s", "task 1 period"},
    {SignalKind::kSharedVariable, offsetof(Parameter, Task2), "Task2 type=f", "s", "task 2 period"},
    {SignalKind::kSharedVariable, offsetof(Parameter, Task3), "Task3 type=f", "s", "task 3 period"},
    {SignalKind::kSharedVariable, offsetof(Parameter, TsTask1Rcp), "TsTask1Rcp type=f", "1/s", "reciprocal of the task 1 period"},
    {SignalKind::kSharedVariable, offsetof(Parameter, TsTask2Rcp), "TsTask2Rcp type=f", "1/s", "reciprocal of the task 2 period"},
    {SignalKind::kSharedVariable, offsetof(Parameter, TsTask3Rcp), "TsTask3Rcp type=f", "1/s", "reciprocal of the task 3 period"},
    {SignalKind::kSharedVariable, offsetof(Parameter, Qn), "Qn type=f", "var", "rated reactive power, the power base"},
    {SignalKind::kSharedVariable, offsetof(Parameter, Un), "Un type=f", "V", "nominal line RMS voltage, the voltage base"},
    {SignalKind::kSharedVariable, offsetof(Parameter, In), "In type=f", "A", "rated RMS current, the current base"},
    {SignalKind::kVariable, offsetof(Parameter, True), "True type=lu", "-", "constant 1"},
    {SignalKind::kVariable, offsetof(Parameter, False), "False type=lu", "-", "constant 0"},
    {SignalKind::kVariable, offsetof(Parameter, PT1ConversionFactorA), "PT1ConversionFactorA type=f", "-", "PT1 phase a conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, PT1ConversionFactorB), "PT1ConversionFactorB type=f", "-", "PT1 phase b conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, PT1ConversionFactorC), "PT1ConversionFactorC type=f", "-", "PT1 phase c conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, PT2ConversionFactorA), "PT2ConversionFactorA type=f", "-", "PT2 phase a conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, PT2ConversionFactorB), "PT2ConversionFactorB type=f", "-", "PT2 phase b conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, PT2ConversionFactorC), "PT2ConversionFactorC type=f", "-", "PT2 phase c conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, PT3ConversionFactorA), "PT3ConversionFactorA type=f", "-", "PT3 phase a conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, PT3ConversionFactorB), "PT3ConversionFactorB type=f", "-", "PT3 phase b conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, PT3ConversionFactorC), "PT3ConversionFactorC type=f", "-", "PT3 phase c conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, PT4ConversionFactorA), "PT4ConversionFactorA type=f", "-", "PT4 phase a conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, PT4ConversionFactorB), "PT4ConversionFactorB type=f", "-", "PT4 phase b conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, PT4ConversionFactorC), "PT4ConversionFactorC type=f", "-", "PT4 phase c conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, CT1ConversionFactorA), "CT1ConversionFactorA type=f", "-", "CT1 phase a conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, CT1ConversionFactorB), "CT1ConversionFactorB type=f", "-", "CT1 phase b conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, CT1ConversionFactorC), "CT1ConversionFactorC type=f", "-", "CT1 phase c conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, CT2ConversionFactorA), "CT2ConversionFactorA type=f", "-", "CT2 phase a conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, CT2ConversionFactorB), "CT2ConversionFactorB type=f", "-", "CT2 phase b conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, CT2ConversionFactorC), "CT2ConversionFactorC type=f", "-", "CT2 phase c conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, CT3ConversionFactorA), "CT3ConversionFactorA type=f", "-", "CT3 phase a conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, CT3ConversionFactorB), "CT3ConversionFactorB type=f", "-", "CT3 phase b conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, CT3ConversionFactorC), "CT3ConversionFactorC type=f", "-", "CT3 phase c conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, CT4ConversionFactorA), "CT4ConversionFactorA type=f", "-", "CT4 phase a conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, CT4ConversionFactorB), "CT4ConversionFactorB type=f", "-", "CT4 phase b conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, CT4ConversionFactorC), "CT4ConversionFactorC type=f", "-", "CT4 phase c conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, GridHall1CalibrationA), "GridHall1CalibrationA type=f", "-", "Hall sensor set 1 phase a conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, GridHall1CalibrationB), "GridHall1CalibrationB type=f", "-", "Hall sensor set 1 phase b conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, GridHall1CalibrationC), "GridHall1CalibrationC type=f", "-", "Hall sensor set 1 phase c conversion factor (calibration times ratio)"},
    {SignalKind::kVariable, offsetof(Parameter, HallChannelCalibration), "HallChannelCalibration type=f", "-", "Hall sampling channel scale per converter count, by board type"},
    {SignalKind::kVariable, offsetof(Parameter, PTChannelCalibration), "PTChannelCalibration type=f", "-", "PT sampling channel scale per converter count"},
    {SignalKind::kVariable, offsetof(Parameter, CTChannelCalibration), "CTChannelCalibration type=f", "-", "CT1 to CT3 sampling channel scale per converter count, by board type"},
    {SignalKind::kVariable, offsetof(Parameter, CT4ChannelCalibration), "CT4ChannelCalibration type=f", "-", "CT4 sampling channel scale per converter count, by board type"},
    {SignalKind::kVariable, offsetof(Parameter, CT1Ratio), "CT1Ratio type=f", "-", "CT1 current transformer ratio"},
    {SignalKind::kVariable, offsetof(Parameter, CT2Ratio), "CT2Ratio type=f", "-", "CT2 current transformer ratio"},
    {SignalKind::kVariable, offsetof(Parameter, CT3Ratio), "CT3Ratio type=f", "-", "CT3 current transformer ratio"},
    {SignalKind::kVariable, offsetof(Parameter, GridHall1NullA), "GridHall1NullA type=i", "-", "zero-offset setting of Hall sensor set 1 phase a"},
    {SignalKind::kVariable, offsetof(Parameter, GridHall2NullA), "GridHall2NullA type=i", "-", "zero-offset setting of Hall sensor set 2 phase a"},
    {SignalKind::kVariable, offsetof(Parameter, GridHall1NullB), "GridHall1NullB type=i", "-", "zero-offset setting of Hall sensor set 1 phase b"},
    {SignalKind::kVariable, offsetof(Parameter, GridHall2NullB), "GridHall2NullB type=i", "-", "zero-offset setting of Hall sensor set 2 phase b"},
    {SignalKind::kVariable, offsetof(Parameter, GridHall1NullC), "GridHall1NullC type=i", "-", "zero-offset setting of Hall sensor set 1 phase c"},
    {SignalKind::kVariable, offsetof(Parameter, GridHall2NullC), "GridHall2NullC type=i", "-", "zero-offset setting of Hall sensor set 2 phase c"},
    {SignalKind::kVariable, offsetof(Parameter, PTOVTm), "PTOVTm type=f", "ms", "PT overvoltage protection delay"},
    {SignalKind::kVariable, offsetof(Parameter, PTOVNum), "PTOVNum type=f", "-", "number of over-threshold detections for the PT overvoltage trip"},
    {SignalKind::kVariable, offsetof(Parameter, PTOVThr), "PTOVThr type=f", "V", "PT overvoltage protection threshold, peak line voltage"},
    {SignalKind::kVariable, offsetof(Parameter, HallOcThr), "HallOcThr type=f", "A", "Hall sensor overcurrent threshold, RMS current"},
    {SignalKind::kVariable, offsetof(Parameter, HallOcTm), "HallOcTm type=f", "ms", "Hall sensor overcurrent protection delay"},
    {SignalKind::kVariable, offsetof(Parameter, CT4OcProtThr), "CT4OcProtThr type=f", "A", "CT4 overcurrent protection threshold, peak current"},
    {SignalKind::kVariable, offsetof(Parameter, I_cmd_limit), "I_cmd_limit type=f", "pu", "current command limit"},
    {SignalKind::kVariable, offsetof(Parameter, ena_SC_PowerProt2), "ena_SC_PowerProt2 type=cu", "-", "enable of the second short-circuit power protection"},
    {SignalKind::kVariable, offsetof(Parameter, Cell_DC_Ov_Thr), "Cell_DC_Ov_Thr type=iu", "V", "cell DC overvoltage threshold"},
    {SignalKind::kVariable, offsetof(Parameter, manu_bypass_mode), "manu_bypass_mode type=cu", "-", "manual cell bypass mode selector"},
    {SignalKind::kSharedVariable, offsetof(Parameter, FrqHzNom), "FrqHzNom type=f", "Hz", "nominal grid frequency"},
    {SignalKind::kSharedVariable, offsetof(Parameter, trans_type), "trans_type type=cu", "-", "coupling transformer arrangement code 0 to 6"},
    {SignalKind::kSharedVariable, offsetof(Parameter, LTotCal), "LTotCal type=f", "mH", "total series inductance between converter and grid"},
    {SignalKind::kSharedVariable, offsetof(Parameter, Un_kV), "Un_kV type=f", "kV", "nominal line RMS voltage at the converter connection"},
    {SignalKind::kSharedVariable, offsetof(Parameter, Qn_Mvar), "Qn_Mvar type=f", "Mvar", "rated reactive power of the converter"},
    {SignalKind::kSharedVariable, offsetof(Parameter, trans_HVnom), "trans_HVnom type=f", "kV", "coupling transformer rated high-side voltage"},
    {SignalKind::kSharedVariable, offsetof(Parameter, trans_LVnom), "trans_LVnom type=f", "kV", "coupling transformer rated low-side voltage"},
    {SignalKind::kSharedVariable, offsetof(Parameter, cellnum), "cellnum type=iu", "-", "number of cells per phase cluster"},
    {SignalKind::kSharedVariable, offsetof(Parameter, redy_lnk_num), "redy_lnk_num type=iu", "-", "number of redundant cells per phase cluster"},
    {SignalKind::kSharedVariable, offsetof(Parameter, cellnum_ll), "cellnum_ll type=f", "-", "cells per phase cluster less the redundant cells"},
    {SignalKind::kVariable, offsetof(Parameter, pcu_dev_cfg), "pcu_dev_cfg type=iu", "-", "power control unit device configuration code"},
    {SignalKind::kVariable, offsetof(Parameter, pcu_dev_mode), "pcu_dev_mode type=iu", "-", "power control unit device mode code"},
    {SignalKind::kVariable, offsetof(Parameter, remote_local), "remote_local type=cu", "-", "remote or local operation selector"},
    {SignalKind::kVariable, offsetof(Parameter, Power1CheckError), "Power1CheckError type=cu", "-", "power supply 1 check error setting"},
    {SignalKind::kVariable, offsetof(Parameter, Power2CheckError), "Power2CheckError type=cu", "-", "power supply 2 check error setting"},
    {SignalKind::kVariable, offsetof(Parameter, Power3CheckError), "Power3CheckError type=cu", "-", "power supply 3 check error setting"},
    {SignalKind::kVariable, offsetof(Parameter, Power4CheckError), "Power4CheckError type=cu", "-", "power supply 4 check error setting"},
    {SignalKind::kVariable, offsetof(Parameter, Power5CheckError), "Power5CheckError type=cu", "-", "power supply 5 check error setting"},
    {SignalKind::kVariable, offsetof(Parameter, Power6CheckError), "Power6CheckError type=cu", "-", "power supply 6 check error setting"},
    {SignalKind::kVariable, offsetof(Parameter, Power7CheckError), "Power7CheckError type=cu", "-", "power supply 7 check error setting"},
    {SignalKind::kVariable, offsetof(Parameter, Power8CheckError), "Power8CheckError type=cu", "-", "power supply 8 check error setting"},
    {SignalKind::kVariable, offsetof(Parameter, GridHall1OcEnb), "GridHall1OcEnb type=cu", "-", "enable of the Hall sensor set 1 overcurrent protection"},
    {SignalKind::kVariable, offsetof(Parameter, GridHallNullEnb), "GridHallNullEnb type=cu", "-", "enable of the Hall sensor zero-offset correction"},
    {SignalKind::kVariable, offsetof(Parameter, SampleCalibrationEnb), "SampleCalibrationEnb type=cu", "-", "enable of the sampling calibration check"},
    {SignalKind::kVariable, offsetof(Parameter, SurgeEnb), "SurgeEnb type=cu", "-", "enable of the surge protection"},
    {SignalKind::kVariable, offsetof(Parameter, CT4GridOcEnb), "CT4GridOcEnb type=cu", "-", "enable of the CT4 grid overcurrent protection"},
    {SignalKind::kVariable, offsetof(Parameter, PT4GridOVEnb), "PT4GridOVEnb type=cu", "-", "enable of the PT4 grid overvoltage protection"},
    {SignalKind::kVariable, offsetof(Parameter, HallSampleErrorEnb), "HallSampleErrorEnb type=cu", "-", "enable of the Hall sampling error check"},
    {SignalKind::kVariable, offsetof(Parameter, PhaseCompensationEnb), "PhaseCompensationEnb type=cu", "-", "enable of the sampling phase compensation"},
    {SignalKind::kVariable, offsetof(Parameter, HallLbProtEnb), "HallLbProtEnb type=cu", "-", "enable of the Hall sensor line-break protection"},
    {SignalKind::kVariable, offsetof(Parameter, ParmUpdateFlag), "ParmUpdateFlag type=cu", "-", "parameter update flag, toggled at every task 1 step while the wave trigger is on"},
    {SignalKind::kVariable, offsetof(Parameter, pllwt_Enb), "pllwt_Enb type=cu", "-", "enable of the PLL angle (wt) output"},
    {SignalKind::kVariable, offsetof(Parameter, trans_pllwt_Enb), "trans_pllwt_Enb type=cu", "-", "enable of the transformer phase-shift compensation of the PLL angle"},
    {SignalKind::kVariable, offsetof(Parameter, HallCalibrationThr), "HallCalibrationThr type=f", "-", "tolerance of the Hall sampling calibration check"},
    {SignalKind::kVariable, offsetof(Parameter, CTCalibrationThr), "CTCalibrationThr type=f", "-", "tolerance of the CT sampling calibration check"},
    {SignalKind::kVariable, offsetof(Parameter, PTCalibrationThr), "PTCalibrationThr type=f", "-", "tolerance of the PT sampling calibration check"},
    {SignalKind::kVariable, offsetof(Parameter, GridOcProtThr), "GridOcProtThr type=f", "A", "grid overcurrent protection threshold, peak current"},
    {SignalKind::kVariable, offsetof(Parameter, SurgeProtThr), "SurgeProtThr type=f", "-", "surge protection threshold"},
    {SignalKind::kVariable, offsetof(Parameter, SurgeProtTm), "SurgeProtTm type=f", "ms", "surge protection delay"},
    {SignalKind::kVariable, offsetof(Parameter, Harmonic_times1), "Harmonic_times1 type=lu", "-", "harmonic order setting 1"},
    {SignalKind::kVariable, offsetof(Parameter, Harmonic_times2), "Harmonic_times2 type=lu", "-", "harmonic order setting 2"},
    {SignalKind::kVariable, offsetof(Parameter, Harmonic_times3), "Harmonic_times3 type=lu", "-", "harmonic order setting 3"},
    {SignalKind::kVariable, offsetof(Parameter, Harmonic_times4), "Harmonic_times4 type=lu", "-", "harmonic order setting 4"},
    {SignalKind::kVariable, offsetof(Parameter, HallPhase_Full), "HallPhase_Full type=cu", "-", "1 when the Hall sensors measure all three phases"},
    {SignalKind::kVariable, offsetof(Parameter, CT1Phase_Full), "CT1Phase_Full type=cu", "-", "1 when CT1 measures all three phases"},
    {SignalKind::kVariable, offsetof(Parameter, CT2Phase_Full), "CT2Phase_Full type=cu", "-", "1 when CT2 measures all three phases"},
    {SignalKind::kVariable, offsetof(Parameter, CT3Phase_Full), "CT3Phase_Full type=cu", "-", "1 when CT3 measures all three phases"},
    {SignalKind::kVariable, offsetof(Parameter, CT4Phase_Full), "CT4Phase_Full type=cu", "-", "1 when CT4 measures all three phases"},
    {SignalKind::kVariable, offsetof(Parameter, Upcc1), "Upcc1 type=f", "kV", "nominal line RMS voltage of the PT1 (PCC) site"},
    {SignalKind::kVariable, offsetof(Parameter, Upcc2), "Upcc2 type=f", "kV", "nominal line RMS voltage of the PT2 site"},
    {SignalKind::kVariable, offsetof(Parameter, Upcc3), "Upcc3 type=f", "kV", "nominal line RMS voltage of the PT3 site"},
    {SignalKind::kVariable, offsetof(Parameter, High_Qn_Mvar), "High_Qn_Mvar type=f", "Mvar", "upper reactive power limit of the converter"},
    {SignalKind::kVariable, offsetof(Parameter, Low_Qn_Mvar), "Low_Qn_Mvar type=f", "Mvar", "lower reactive power limit of the converter"},
    {SignalKind::kVariable, offsetof(Parameter, sys_Qn_Mvar_set), "sys_Qn_Mvar_set type=f", "Mvar", "system reactive power setpoint"},
    {SignalKind::kVariable, offsetof(Parameter, sys_High_Qn_Mvar), "sys_High_Qn_Mvar type=f", "Mvar", "upper system reactive power limit"},
    {SignalKind::kVariable, offsetof(Parameter, sys_Low_Qn_Mvar), "sys_Low_Qn_Mvar type=f", "Mvar", "lower system reactive power limit"},
    {SignalKind::kVariable, offsetof(Parameter, Factor_Target), "Factor_Target type=f", "-", "target power factor"},
    {SignalKind::kVariable, offsetof(Parameter, High_Factor), "High_Factor type=f", "-", "upper power factor limit"},
    {SignalKind::kVariable, offsetof(Parameter, Low_Factor), "Low_Factor type=f", "-", "lower power factor limit"},
    {SignalKind::kSharedVariable, offsetof(Parameter, trans_High_U), "trans_High_U type=f", "pu", "upper voltage limit at the transformer"},
    {SignalKind::kSharedVariable, offsetof(Parameter, trans_Low_U), "trans_Low_U type=f", "pu", "lower voltage limit at the transformer"},
    {SignalKind::kSharedVariable, offsetof(Parameter, Uctrl_cmd), "Uctrl_cmd type=f", "pu", "voltage control command"},
    {SignalKind::kSharedVariable, offsetof(Parameter, vbi_check), "vbi_check type=cu", "-", "valve base interface check flag"},
    {SignalKind::kSharedVariable, offsetof(Parameter, hard_work), "hard_work type=cu", "-", "hardware run mode flag"},
    {SignalKind::kSharedVariable, offsetof(Parameter, Qctrl_mode), "Qctrl_mode type=cu", "-", "reactive power control operating mode selector"},
    {SignalKind::kVariable, offsetof(Parameter, deShuntOvThr), "deShuntOvThr type=iu", "V", "cell DC voltage below which an overvoltage shunt is released"},
    {SignalKind::kVariable, offsetof(Parameter, ShuntUvThr), "ShuntUvThr type=iu", "V", "cell DC voltage below which the cell is shunted for undervoltage"},
    {SignalKind::kVariable, offsetof(Parameter, deShuntUvThr), "deShuntUvThr type=iu", "V", "cell DC voltage above which an undervoltage shunt is released"},
    {SignalKind::kVariable, offsetof(Parameter, ShuntFailThr), "ShuntFailThr type=iu", "-", "shunt failure threshold"},
    {SignalKind::kVariable, offsetof(Parameter, Cell_Dc_Ov_ShuntThr), "Cell_Dc_Ov_ShuntThr type=iu", "V", "cell DC voltage above which the cell is shunted for overvoltage"},
    {SignalKind::kVariable, offsetof(Parameter, PT1_normRcp), "PT1_normRcp type=f", "1/kV", "reciprocal of the nominal line RMS voltage of the PT1 (PCC) site"},
    {SignalKind::kVariable, offsetof(Parameter, PT2_normRcp), "PT2_normRcp type=f", "1/kV", "reciprocal of the nominal line RMS voltage of the PT2 site"},
    {SignalKind::kVariable, offsetof(Parameter, PT3_normRcp), "PT3_normRcp type=f", "1/kV", "reciprocal of the nominal line RMS voltage of the PT3 site"},
    {SignalKind::kVariable, offsetof(Parameter, PT4_normRcp), "PT4_normRcp type=f", "1/kV", "reciprocal of the nominal line RMS voltage at the converter connection"},
    {SignalKind::kVariable, offsetof(Parameter, InRcp), "InRcp type=f", "1/A", "reciprocal of the rated RMS current"},
    {SignalKind::kVariable, offsetof(Parameter, u8_true), "u8_true type=cu", "-", "constant 1 (byte)"},
    {SignalKind::kVariable, offsetof(Parameter, setswit_testmeas), "setswit_testmeas type=cu", "-", "test measurement switch setting"},
    {SignalKind::kVariable, offsetof(Parameter, airCoolingNum), "airCoolingNum type=cu", "-", "number of air cooling units"},
    {SignalKind::kVariable, offsetof(Parameter, tempNum), "tempNum type=cu", "-", "number of temperature sensors"},
    {SignalKind::kVariable, offsetof(Parameter, Sample_ratio), "Sample_ratio type=f", "-", "PT4 sample scale per cell and per maximum DC voltage reference"},
    {SignalKind::kVariable, offsetof(Parameter, LeadLagULim), "LeadLagULim type=f", "-", "output limit of the lead-lag filter, fixed point with 26 fraction bits"},
    {SignalKind::kVariable, offsetof(Parameter, NLL_10), "NLL_10 type=f", "-", "band-pass numerator coefficient b0, fixed point with 26 fraction bits"},
    {SignalKind::kVariable, offsetof(Parameter, NLL_11), "NLL_11 type=f", "-", "band-pass numerator coefficient b1, fixed point with 26 fraction bits"},
    {SignalKind::kVariable, offsetof(Parameter, NLL_12), "NLL_12 type=f", "-", "band-pass numerator coefficient b2, fixed point with 26 fraction bits"},
    {SignalKind::kVariable, offsetof(Parameter, NLL_13), "NLL_13 type=f", "-", "band-pass numerator coefficient b3, fixed point with 26 fraction bits"},
    {SignalKind::kVariable, offsetof(Parameter, DLL_11), "DLL_11 type=f", "-", "band-pass denominator coefficient a1, fixed point with 26 fraction bits"},
    {SignalKind::kVariable, offsetof(Parameter, DLL_12), "DLL_12 type=f", "-", "band-pass denominator coefficient a2, fixed point with 26 fraction bits"},
    {SignalKind::kVariable, offsetof(Parameter, DLL_13), "DLL_13 type=f", "-", "band-pass denominator coefficient a3, fixed point with 26 fraction bits"},
    {SignalKind::kVariable, offsetof(Parameter, NLL_A10), "NLL_A10 type=f", "-", "lead-lag numerator coefficient b0, fixed point with 26 fraction bits"},
    {SignalKind::kVariable, offsetof(Parameter, NLL_A11), "NLL_A11 type=f", "-", "lead-lag numerator coefficient b1, fixed point with 26 fraction bits"},
    {SignalKind::kVariable, offsetof(Parameter, DLL_B11), "DLL_B11 type=f", "-", "lead-lag denominator coefficient a1, fixed point with 26 fraction bits"},
    {SignalKind::kVariable, offsetof(Parameter, LeadLagGnQ26), "LeadLagGnQ26 type=f", "-", "gain of the lead-lag filter, fixed point with 26 fraction bits"},
    {SignalKind::kVariable, offsetof(Parameter, CT_Board_Type), "CT_Board_Type type=f", "-", "CT sampling board type code"},
    {SignalKind::kVariable, offsetof(Parameter, Auto_Uadjust_Cellnum), "Auto_Uadjust_Cellnum type=iu", "-", "number of cells used for automatic voltage adjustment"},
    {SignalKind::kVariable, offsetof(Parameter, phs_Rnet_Snode_st1), "phs_Rnet_Snode_st1 type=iu", "-", "ring network station node setting 1"},
    {SignalKind::kVariable, offsetof(Parameter, phs_Rnet_Snode_st2), "phs_Rnet_Snode_st2 type=iu", "-", "ring network station node setting 2"},
    {SignalKind::kVariable, offsetof(Parameter, RingNetwork_modeEn), "RingNetwork_modeEn type=b", "-", "enable of the ring network mode"},
    {SignalKind::kVariable, offsetof(Parameter, RingNetwork_selfChcek), "RingNetwork_selfChcek type=b", "-", "enable of the ring network self check"},
};
// clang-format on

// 2^26: the lead-lag coefficients are published in fixed point with 26 fraction bits.
constexpr float kQ26 = 67108864.0f;
constexpr double kQ26d = 67108864.0;

// Q26 scale 2^26 / d formed in double precision; a zero denominator is replaced by 1e-6.
float Q26Scale(float d) {
    return static_cast<float>(kQ26d / (d != 0.0f ? static_cast<double>(d) : 0.000001));
}

int RegisterParameterTasks(ModuleHeader* module, int) {
    ParameterStep(module);
    return RegisterTask(1, &ParameterStep, module);
}

void TaskPeriods(Parameter& p) {
    p.Task1 = p.parm_TsTask1_us * 0.000001f;
    p.Task2 = p.Task1 * p.parm_Task2_mul;
    p.Task3 = p.Task2 * p.parm_Task3_mul;
    p.TsTask1Rcp = SafeRcp(p.Task1);
    p.TsTask2Rcp = SafeRcp(p.Task2);
    p.TsTask3Rcp = SafeRcp(p.Task3);
}

void Bases(Parameter& p) {
    p.Qn = *p.sim_Qn_Mvar * 1000000.0f;
    p.Un = *p.sim_Un_kV * 1000.0f;
    p.Un_kV = *p.sim_Un_kV;
    p.Qn_Mvar = *p.sim_Qn_Mvar;
    // Rated current Qn / (sqrt(3) Un). A zero nominal voltage takes the safe reciprocal
    // instead of dividing by zero, so the current base and its reciprocal stay finite.
    const float qn_per_un = SafeDiv(p.Qn, p.Un);
    p.In = static_cast<float>(static_cast<double>(qn_per_un) / std::numbers::sqrt3);
}

// Calibration factor x ratio, phase by phase, of one instrument transformer.
void PhaseFactors(float& a, float& b, float& c, float cal_a, float cal_b, float cal_c,
                  float ratio) {
    a = cal_a * ratio;
    b = cal_b * ratio;
    c = cal_c * ratio;
}

void ConversionFactors(Parameter& p) {
    PhaseFactors(p.PT1ConversionFactorA, p.PT1ConversionFactorB, p.PT1ConversionFactorC,
                 p.parm_PT1CalibrationA, p.parm_PT1CalibrationB, p.parm_PT1CalibrationC,
                 p.parm_PT1Ratio);
    PhaseFactors(p.PT2ConversionFactorA, p.PT2ConversionFactorB, p.PT2ConversionFactorC,
                 p.parm_PT2CalibrationA, p.parm_PT2CalibrationB, p.parm_PT2CalibrationC,
                 p.parm_PT2Ratio);
    PhaseFactors(p.PT3ConversionFactorA, p.PT3ConversionFactorB, p.PT3ConversionFactorC,
                 p.parm_PT3CalibrationA, p.parm_PT3CalibrationB, p.parm_PT3CalibrationC,
                 p.parm_PT3Ratio);
    PhaseFactors(p.PT4ConversionFactorA, p.PT4ConversionFactorB, p.PT4ConversionFactorC,
                 p.parm_PT4CalibrationA, p.parm_PT4CalibrationB, p.parm_PT4CalibrationC,
                 p.parm_PT4Ratio);
    PhaseFactors(p.CT1ConversionFactorA, p.CT1ConversionFactorB, p.CT1ConversionFactorC,
                 p.parm_CT1CalibrationA, p.parm_CT1CalibrationB, p.parm_CT1CalibrationC,
                 p.parm_CT1Ratio);
    PhaseFactors(p.CT2ConversionFactorA, p.CT2ConversionFactorB, p.CT2ConversionFactorC,
                 p.parm_CT2CalibrationA, p.parm_CT2CalibrationB, p.parm_CT2CalibrationC,
                 p.parm_CT2Ratio);
    PhaseFactors(p.CT3ConversionFactorA, p.CT3ConversionFactorB, p.CT3ConversionFactorC,
                 p.parm_CT3CalibrationA, p.parm_CT3CalibrationB, p.parm_CT3CalibrationC,
                 p.parm_CT3Ratio);
    PhaseFactors(p.CT4ConversionFactorA, p.CT4ConversionFactorB, p.CT4ConversionFactorC,
                 p.parm_CT4CalibrationA, p.parm_CT4CalibrationB, p.parm_CT4CalibrationC,
                 p.parm_CT4Ratio);
    PhaseFactors(p.GridHall1CalibrationA, p.GridHall1CalibrationB, p.GridHall1CalibrationC,
                 p.parm_GridHall1CalibrationA, p.parm_GridHall1CalibrationB,
                 p.parm_GridHall1CalibrationC, p.parm_GridHall1Ratio);
}

// Volts or amperes per converter count of the sampling boards.
void ChannelCalibrations(Parameter& p) {
    switch (p.parm_GridHallBoardType) {
        case 400:
            p.HallChannelCalibration = 0.00003815f;
            break;
        case 200:
            p.HallChannelCalibration = 0.00001908f;
            break;
        case 100:
            p.HallChannelCalibration = 0.00000954f;
            break;
        default:  // unknown board: keep the last known calibration
            break;
    }
    p.PTChannelCalibration = 0.0107064f;
    const double board = static_cast<double>(p.parm_CT_Board_Type);
    p.CTChannelCalibration = static_cast<float>(board * 0.0001094);
    p.CT4ChannelCalibration = static_cast<float>(board * 0.001864);
}

// Protection thresholds in amperes and volts; peak values use sqrt(2) as 1.4142135.
void Thresholds(Parameter& p) {
    p.PTOVThr = p.parm_PTOVThr * p.Un * kSqrt2;
    p.HallOcThr = p.parm_HallOcThr * p.In;
    p.CT4OcProtThr = p.parm_CT4OcProtThr * p.In * kSqrt2;
    p.GridOcProtThr = p.parm_GridOcProtThr * p.In * kSqrt2;
}

// Counts and cell-voltage thresholds as unsigned integers: NaN and negative settings give 0,
// settings at or beyond 2^32 saturate.
void UnsignedSettings(Parameter& p) {
    p.cellnum = TruncToUint32(p.parm_cellnum);
    p.redy_lnk_num = TruncToUint32(p.parm_redy_lnk_num);
    p.cellnum_ll = p.parm_cellnum - p.parm_redy_lnk_num;
    p.deShuntOvThr = TruncToUint32(p.parm_deShuntOvThr);
    p.ShuntUvThr = TruncToUint32(p.parm_ShuntUvThr);
    p.deShuntUvThr = TruncToUint32(p.parm_deShuntUvThr);
    p.ShuntFailThr = p.parm_ShuntFailThr;
    p.Cell_Dc_Ov_ShuntThr = TruncToUint32(p.parm_Cell_Dc_Ov_ShuntThr);
    p.Auto_Uadjust_Cellnum =
        TruncToUint32(static_cast<float>(p.parm_Auto_Uadjust_Cellnum) * p.parm_cellnum);
}

void Reciprocals(Parameter& p) {
    p.PT1_normRcp = SafeRcp(p.parm_Upcc1);
    p.PT2_normRcp = SafeRcp(p.parm_Upcc2);
    p.PT3_normRcp = SafeRcp(p.parm_Upcc3);
    p.PT4_normRcp = SafeRcp(*p.sim_Un_kV);
    p.InRcp = SafeRcp(p.In);
    p.Sample_ratio = p.parm_PT4Ratio * p.PTChannelCalibration * p.parm_PT4CalibrationA *
                     SafeRcp(p.parm_cellnum) * *p.VdcRefMaxRcp;
}

// Tustin images, with s = (2/h)(z - 1)/(z + 1), of the band-pass section
// w_bp2^2 s / ((s + w_bp2)^2 (s + w_bp1)) and of the lead-lag (s + w_ld1)/(s + w_ld2), each
// normalised to a leading denominator coefficient of 2^26.
void LeadLag(Parameter& p) {
    p.w_bp1 = 6.2831855f * p.parm_Fbp1;
    p.w_bp2 = 6.2831855f * p.parm_Fbp2;
    p.w_ld1 = 6.2831855f * p.parm_Fld1;
    p.w_ld2 = 6.2831855f * p.parm_Fld2;
    p.h = p.Task1 * 0.5f;

    const float a = p.w_bp2 * p.h;
    const float a2 = a * a;
    const float plus = 4.0f * p.w_bp2 * p.h + 4.0f + a2;   // (a + 2)^2
    const float minus = 4.0f - 4.0f * p.w_bp2 * p.h + a2;  // (a - 2)^2
    const float middle = 2.0f * a2 - 8.0f;                 // 2 (a + 2)(a - 2)
    const float b = p.w_bp1 * p.h;
    p.K1 = Q26Scale(plus * (b + 2.0f));
    p.NLL_10 = 2.0f * a2 * p.K1;
    p.NLL_11 = p.NLL_10;
    p.NLL_12 = -p.NLL_10;
    p.NLL_13 = -p.NLL_10;
    p.DLL_11 = (plus * (b - 2.0f) + middle * (b + 2.0f)) * p.K1;
    p.DLL_12 = (minus * (b + 2.0f) + middle * (b - 2.0f)) * p.K1;
    p.DLL_13 = minus * (b - 2.0f) * p.K1;

    p.K2 = Q26Scale(p.w_ld2 * p.h + 2.0f);
    p.NLL_A10 = (p.w_ld1 * p.h + 2.0f) * p.K2;
    p.NLL_A11 = (p.w_ld1 * p.h - 2.0f) * p.K2;
    p.DLL_B11 = (p.w_ld2 * p.h - 2.0f) * p.K2;
    p.LeadLagULim = p.parm_LeadLagULim * kQ26;
    p.LeadLagGnQ26 = p.parm_LeadLagGn * kQ26;
}

void Copies(Parameter& p) {
    p.CT1Ratio = p.parm_CT1Ratio;
    p.CT2Ratio = p.parm_CT2Ratio;
    p.CT3Ratio = p.parm_CT3Ratio;
    p.GridHall1NullA = p.parm_GridHall1NullA;
    p.GridHall2NullA = p.parm_GridHall2NullA;
    p.GridHall1NullB = p.parm_GridHall1NullB;
    p.GridHall2NullB = p.parm_GridHall2NullB;
    p.GridHall1NullC = p.parm_GridHall1NullC;
    p.GridHall2NullC = p.parm_GridHall2NullC;
    p.PTOVTm = p.parm_PTOVTm;
    p.PTOVNum = p.parm_PTOVNum;
    p.HallOcTm = p.parm_HallOcTm;
    p.I_cmd_limit = p.parm_I_cmd_limit;
    p.ena_SC_PowerProt2 = p.parm_ena_SC_PowerProt2;
    p.Cell_DC_Ov_Thr = p.parm_Cell_DC_Ov_Thr;
    p.manu_bypass_mode = p.parm_manu_bypass_mode;
    p.FrqHzNom = p.parm_FrqHzNom;
    p.trans_type = p.parm_trans_type;
    p.LTotCal = *p.sim_LTotCal;
    p.trans_HVnom = p.parm_trans_HVnom;
    p.trans_LVnom = p.parm_trans_LVnom;
    p.pcu_dev_cfg = p.parm_pcu_dev_cfg;
    p.pcu_dev_mode = p.parm_pcu_dev_mode;
    p.remote_local = p.parm_remote_local;
    p.Power1CheckError = p.parm_Power1CheckError;
    p.Power2CheckError = p.parm_Power2CheckError;
    p.Power3CheckError = p.parm_Power3CheckError;
    p.Power4CheckError = p.parm_Power4CheckError;
    p.Power5CheckError = p.parm_Power5CheckError;
    p.Power6CheckError = p.parm_Power6CheckError;
    p.Power7CheckError = p.parm_Power7CheckError;
    p.Power8CheckError = p.parm_Power8CheckError;
    p.GridHall1OcEnb = p.parm_Hall1OcEnb;
    p.GridHallNullEnb = p.parm_HallNullEnb;
    p.SampleCalibrationEnb = p.parm_SampleCalibrationEnb;
    p.SurgeEnb = p.parm_SurgeEnb;
    p.CT4GridOcEnb = p.parm_CT4GridOcEnb;
    p.PT4GridOVEnb = p.parm_PT4GridOVEnb;
    p.HallSampleErrorEnb = p.parm_HallSampleErrorEnb;
    p.PhaseCompensationEnb = p.parm_PhaseCompensationEnb;
    p.HallLbProtEnb = p.parm_HallLbProtEnb;
    p.pllwt_Enb = p.parm_pllwt_Enb;
    p.trans_pllwt_Enb = p.parm_trans_pllwt_Enb;
    p.HallCalibrationThr = p.parm_HallCalibrationThr;
    p.CTCalibrationThr = p.parm_CTCalibrationThr;
    p.PTCalibrationThr = p.parm_PTCalibrationThr;
    p.SurgeProtThr = p.parm_SurgeProtThr;
    p.SurgeProtTm = p.parm_SurgeProtTm;
    p.Harmonic_times1 = p.parm_Harmonic_times1;
    p.Harmonic_times2 = p.parm_Harmonic_times2;
    p.Harmonic_times3 = p.parm_Harmonic_times3;
    p.Harmonic_times4 = p.parm_Harmonic_times4;
    p.HallPhase_Full = p.parm_HallPhase_Full;
    p.CT1Phase_Full = p.parm_CT1Phase_Full;
    p.CT2Phase_Full = p.parm_CT2Phase_Full;
    p.CT3Phase_Full = p.parm_CT3Phase_Full;
    p.CT4Phase_Full = p.parm_CT4Phase_Full;
    p.Upcc1 = p.parm_Upcc1;
    p.Upcc2 = p.parm_Upcc2;
    p.Upcc3 = p.parm_Upcc3;
    p.High_Qn_Mvar = p.parm_High_Qn_Mvar;
    p.Low_Qn_Mvar = p.parm_Low_Qn_Mvar;
    p.sys_Qn_Mvar_set = p.parm_sys_Qn_Mvar_set;
    p.sys_High_Qn_Mvar = p.parm_sys_High_Qn_Mvar;
    p.sys_Low_Qn_Mvar = p.parm_sys_Low_Qn_Mvar;
    p.Factor_Target = p.parm_Factor_Target;
    p.High_Factor = p.parm_High_Factor;
    p.Low_Factor = p.parm_Low_Factor;
    p.trans_High_U = p.parm_trans_High_U;
    p.trans_Low_U = p.parm_trans_Low_U;
    p.Uctrl_cmd = p.parm_Uctrl_cmd;
    p.vbi_check = p.parm_vbi_check;
    p.hard_work = p.parm_hard_work;
    p.Qctrl_mode = p.parm_Qctrl_mode;
    p.setswit_testmeas = p.parm_setswit_testmeas;
}

// Settings read by no step of this system, published for recording.
void LateCopies(Parameter& p) {
    p.CT_Board_Type = static_cast<float>(p.parm_CT_Board_Type);
    p.airCoolingNum = p.parm_airCoolingNum;
    p.tempNum = p.parm_tempNum;
    p.phs_Rnet_Snode_st1 = p.parm_phs_Rnet_Snode_st1;
    p.phs_Rnet_Snode_st2 = p.parm_phs_Rnet_Snode_st2;
    p.RingNetwork_modeEn = p.parm_RingNetwork_modeEn;
    p.RingNetwork_selfChcek = p.parm_RingNetwork_selfChcek;
}

}  // namespace

ModuleHeader* CreateParameter(Environment* env, ModuleHeader* module,
                              const char* instance_name) noexcept {
    InitHeader(module, env, "PARAMETER", instance_name, &RegisterParameterTasks);
    Parameter* p = As<Parameter>(module);
    p->ParmUpdateFlag = 0;
    RegisterSignals(module, kInputs);
    RegisterSignals(module, kVariables);
    RegisterSignals(module, kParameters);
    if constexpr (!kReducedBuild) {
        // The full controller's ratings are its parameters, which host channels overwrite.
        p->sim_Qn_Mvar = &p->parm_Qn_Mvar;
        p->sim_Un_kV = &p->parm_Vn_kV;
        p->sim_LTotCal = &p->parm_LTotCal;
    }
    return module;
}

void ParameterStep(ModuleHeader* module) noexcept {
    Parameter& p = *As<Parameter>(module);
    p.True = 1;
    p.u8_true = 1;
    p.False = 0;
    if (p.parm_enb_wave_trigger == 1) {
        p.ParmUpdateFlag = p.ParmUpdateFlag == 0 ? 1 : 0;
    }
    TaskPeriods(p);
    Bases(p);
    ConversionFactors(p);
    ChannelCalibrations(p);
    Thresholds(p);
    UnsignedSettings(p);
    Reciprocals(p);
    LeadLag(p);
    Copies(p);
    LateCopies(p);
}

}  // namespace svg
