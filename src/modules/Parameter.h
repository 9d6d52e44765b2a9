// System parameters: ratings, task periods, instrument-transformer data, protection settings.
// The step derives the task periods in seconds, the per-unit bases (Qn, Un, In), conversion
// factors, thresholds in amperes and volts and the coefficients of a lead-lag filter in Q26
// fixed point. It runs right after the input module, so ratings written by host channels take
// effect in the same host step, and once more during task registration, so the modules
// registered after it start up with the computed periods and bases.
#pragma once

#include <cstdint>
#include <type_traits>

#include "blocks/build.h"
#include "framework/environment.h"
#include "framework/module.h"

namespace svg {

struct Parameter {
    ModuleHeader hdr;
    const float* VdcRefMaxRcp;  // scales Sample_ratio; the zero cell in this system
    // Ratings: host channels in the reduced controller, the parameters parm_Qn_Mvar,
    // parm_Vn_kV and parm_LTotCal in the full one.
    const float* sim_Qn_Mvar;  // Mvar
    const float* sim_Un_kV;    // kV
    const float* sim_LTotCal;  // mH

    // Parameters, in registration order.
    float parm_TsTask1_us, parm_Task2_mul, parm_Task3_mul, parm_FrqHzNom, parm_Vn_kV, parm_Qn_Mvar;
    float parm_LTotCal, parm_cellnum, parm_redy_lnk_num, parm_CapPM;
    std::uint8_t parm_trans_type;
    float parm_trans_HVnom, parm_trans_LVnom;
    std::uint32_t parm_pcu_dev_cfg, parm_pcu_dev_mode;
    std::uint8_t parm_remote_local;
    std::uint32_t parm_enb_wave_trigger;
    float parm_CT1Ratio, parm_CT2Ratio, parm_CT3Ratio, parm_CT4Ratio, parm_PT1Ratio, parm_PT2Ratio;
    float parm_PT3Ratio, parm_PT4Ratio, parm_GridHall1Ratio, parm_GridHall2Ratio;
    float parm_PT1CalibrationA, parm_PT1CalibrationB, parm_PT1CalibrationC, parm_PT2CalibrationA;
    float parm_PT2CalibrationB, parm_PT2CalibrationC, parm_PT3CalibrationA, parm_PT3CalibrationB;
    float parm_PT3CalibrationC, parm_PT4CalibrationA, parm_PT4CalibrationB, parm_PT4CalibrationC;
    float parm_CT1CalibrationA, parm_CT1CalibrationB, parm_CT1CalibrationC, parm_CT2CalibrationA;
    float parm_CT2CalibrationB, parm_CT2CalibrationC, parm_CT3CalibrationA, parm_CT3CalibrationB;
    float parm_CT3CalibrationC, parm_CT4CalibrationA, parm_CT4CalibrationB, parm_CT4CalibrationC;
    float parm_GridHall1CalibrationA, parm_GridHall1CalibrationB, parm_GridHall1CalibrationC;
    std::uint32_t parm_GridHallBoardType;
    std::uint8_t parm_CT_Board_Type, parm_Power1CheckError, parm_Power2CheckError;
    std::uint8_t parm_Power3CheckError, parm_Power4CheckError, parm_Power5CheckError;
    std::uint8_t parm_Power6CheckError, parm_Power7CheckError, parm_Power8CheckError;
    std::uint8_t parm_Hall1OcEnb, parm_HallNullEnb, parm_SampleCalibrationEnb, parm_SurgeEnb;
    std::uint8_t parm_CT4GridOcEnb, parm_PT4GridOVEnb, parm_HallSampleErrorEnb;
    std::uint8_t parm_PhaseCompensationEnb, parm_HallLbProtEnb;
    float parm_GridOcProtThr, parm_SurgeProtThr, parm_SurgeProtTm, parm_HallCalibrationThr;
    float parm_CTCalibrationThr, parm_PTCalibrationThr, parm_PTOVTm, parm_PTOVNum, parm_PTOVThr;
    float parm_HallOcThr, parm_HallOcTm, parm_CT4OcProtThr;
    std::uint32_t parm_Cell_DC_Ov_Thr;
    std::uint8_t parm_manu_bypass_mode, parm_setswit_testmeas;
    std::int32_t parm_GridHall1NullA, parm_GridHall2NullA, parm_GridHall1NullB, parm_GridHall2NullB;
    std::int32_t parm_GridHall1NullC, parm_GridHall2NullC;
    float parm_I_cmd_limit;
    std::uint8_t parm_ena_SC_PowerProt2, parm_pllwt_Enb, parm_trans_pllwt_Enb;
    std::uint32_t parm_Harmonic_times1, parm_Harmonic_times2, parm_Harmonic_times3;
    std::uint32_t parm_Harmonic_times4;
    std::uint8_t parm_HallPhase_Full, parm_CT1Phase_Full, parm_CT2Phase_Full, parm_CT3Phase_Full;
    std::uint8_t parm_CT4Phase_Full;
    float parm_Upcc1, parm_Upcc2, parm_Upcc3, parm_High_Qn_Mvar, parm_Low_Qn_Mvar;
    float parm_sys_Qn_Mvar_set, parm_sys_High_Qn_Mvar, parm_sys_Low_Qn_Mvar, parm_Factor_Target;
    float parm_High_Factor, parm_Low_Factor, parm_trans_High_U, parm_trans_Low_U, parm_Uctrl_cmd;
    std::uint8_t parm_vbi_check, parm_hard_work, parm_Qctrl_mode;
    float parm_deShuntOvThr, parm_ShuntUvThr, parm_deShuntUvThr;
    std::uint32_t parm_ShuntFailThr;
    float parm_Cell_Dc_Ov_ShuntThr, parm_Fbp1, parm_Fbp2, parm_Fld1, parm_Fld2, parm_LeadLagULim;
    float parm_LeadLagGn;
    std::uint8_t parm_airCoolingNum, parm_tempNum;
    // A fraction of the cell count in the full controller, a count in the reduced one.
    std::conditional_t<kReducedBuild, std::uint32_t, float> parm_Auto_Uadjust_Cellnum;
    std::uint32_t parm_phs_Rnet_Snode_st1, parm_phs_Rnet_Snode_st2;
    std::uint8_t parm_RingNetwork_modeEn, parm_RingNetwork_selfChcek;
    std::uint8_t parm_unit_type;  // reduced controller only

    // Variables, in registration order.
    float Task1, Task2, Task3, TsTask1Rcp, TsTask2Rcp, TsTask3Rcp, Qn, Un, In;
    std::uint32_t True, False;
    float PT1ConversionFactorA, PT1ConversionFactorB, PT1ConversionFactorC, PT2ConversionFactorA;
    float PT2ConversionFactorB, PT2ConversionFactorC, PT3ConversionFactorA, PT3ConversionFactorB;
    float PT3ConversionFactorC, PT4ConversionFactorA, PT4ConversionFactorB, PT4ConversionFactorC;
    float CT1ConversionFactorA, CT1ConversionFactorB, CT1ConversionFactorC, CT2ConversionFactorA;
    float CT2ConversionFactorB, CT2ConversionFactorC, CT3ConversionFactorA, CT3ConversionFactorB;
    float CT3ConversionFactorC, CT4ConversionFactorA, CT4ConversionFactorB, CT4ConversionFactorC;
    float GridHall1CalibrationA, GridHall1CalibrationB, GridHall1CalibrationC;
    float HallChannelCalibration, PTChannelCalibration, CTChannelCalibration, CT4ChannelCalibration;
    float CT1Ratio, CT2Ratio, CT3Ratio;
    std::int32_t GridHall1NullA, GridHall2NullA, GridHall1NullB, GridHall2NullB, GridHall1NullC;
    std::int32_t GridHall2NullC;
    float PTOVTm, PTOVNum, PTOVThr, HallOcThr, HallOcTm, CT4OcProtThr, I_cmd_limit;
    std::uint8_t ena_SC_PowerProt2;
    std::uint32_t Cell_DC_Ov_Thr;
    std::uint8_t manu_bypass_mode;
    float FrqHzNom;
    std::uint8_t trans_type;
    float LTotCal, Un_kV, Qn_Mvar, trans_HVnom, trans_LVnom;
    std::uint32_t cellnum, redy_lnk_num;
    float cellnum_ll;
    std::uint32_t pcu_dev_cfg, pcu_dev_mode;
    std::uint8_t remote_local, Power1CheckError, Power2CheckError, Power3CheckError;
    std::uint8_t Power4CheckError, Power5CheckError, Power6CheckError, Power7CheckError;
    std::uint8_t Power8CheckError, GridHall1OcEnb, GridHallNullEnb, SampleCalibrationEnb, SurgeEnb;
    std::uint8_t CT4GridOcEnb, PT4GridOVEnb, HallSampleErrorEnb, PhaseCompensationEnb;
    std::uint8_t HallLbProtEnb, ParmUpdateFlag, pllwt_Enb, trans_pllwt_Enb;
    float HallCalibrationThr, CTCalibrationThr, PTCalibrationThr, GridOcProtThr, SurgeProtThr;
    float SurgeProtTm;
    std::uint32_t Harmonic_times1, Harmonic_times2, Harmonic_times3, Harmonic_times4;
    std::uint8_t HallPhase_Full, CT1Phase_Full, CT2Phase_Full, CT3Phase_Full, CT4Phase_Full;
    float Upcc1, Upcc2, Upcc3, High_Qn_Mvar, Low_Qn_Mvar, sys_Qn_Mvar_set, sys_High_Qn_Mvar;
    float sys_Low_Qn_Mvar, Factor_Target, High_Factor, Low_Factor, trans_High_U, trans_Low_U;
    float Uctrl_cmd;
    std::uint8_t vbi_check, hard_work, Qctrl_mode;
    std::uint32_t deShuntOvThr, ShuntUvThr, deShuntUvThr, ShuntFailThr, Cell_Dc_Ov_ShuntThr;
    float PT1_normRcp, PT2_normRcp, PT3_normRcp, PT4_normRcp, InRcp;
    std::uint8_t u8_true, setswit_testmeas, airCoolingNum, tempNum;
    float Sample_ratio, LeadLagULim, NLL_10, NLL_11, NLL_12, NLL_13, DLL_11, DLL_12, DLL_13;
    float NLL_A10, NLL_A11, DLL_B11, LeadLagGnQ26, CT_Board_Type;
    std::uint32_t Auto_Uadjust_Cellnum, phs_Rnet_Snode_st1, phs_Rnet_Snode_st2;
    std::uint8_t RingNetwork_modeEn, RingNetwork_selfChcek;

    // Lead-lag design: corner angular frequencies (rad/s), half the task-1 period (s) and the
    // Q26 scale factors of the band-pass and lead-lag sections.
    float w_bp1, w_bp2, w_ld1, w_ld2, h;
    float K1, K2;
};

ModuleHeader* CreateParameter(Environment* env, ModuleHeader* module,
                              const char* instance_name) noexcept;

// Task-1 routine: recomputes every variable from the parameters.
void ParameterStep(ModuleHeader* module) noexcept;

}  // namespace svg
