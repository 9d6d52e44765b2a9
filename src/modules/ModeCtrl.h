// Mode control: turns the selected reactive-power operating mode into the positive-sequence
// reactive current reference set_Iqpos_ref_ss (per unit of rated current), in task list 2.
//
// Modes (parm_Qctrl_mode): 0 constant converter reactive power (open loop), 1 voltage control,
// 2 power factor, 3 system reactive power, 5 current command (open loop), 6 system reactive
// power or power factor with forced voltage control while the bus voltage stays outside its
// band; 4 and 7..255 act as 0. Around the closed loop: a timed voltage dead zone, a
// voltage/current droop, a reactive-reserve shift of the voltage reference, an
// anti-misoperation correction from a second bus voltage, integrator tracking, a minimum
// reference magnitude with sign memory, a magnitude limit and a rate limit per task-2 period.
// A master/slave coordination front end lets a master regulate a group rated in 10 kvar units
// and a slave follow the master's reference.
#pragma once

#include <cstdint>

#include "blocks/filters.h"
#include "blocks/pi_reg.h"
#include "framework/environment.h"
#include "framework/module.h"

namespace svg {

// Minimum-magnitude hold: the value, or +-m on the side where the input last lay outside
// (-m, m). The sign memory is 0 (negative side) or 1.
struct MinHold {
    std::uint8_t sign;
};

// On-delay timer state: previous input and remaining time (s).
struct OnDelay {
    std::int32_t prev;
    float remaining;
};

struct ModeCtrl {
    ModuleHeader hdr;
    // Inputs.
    const std::uint8_t* flg_seq_running;
    const float* Udpos_fil;  // positive-sequence voltage, per unit
    const float* Uqpos_fil;
    const float* Idpos_fbk;  // positive-sequence active current, per unit
    const float* Qsvg_pu;    // converter reactive power, per unit of rating
    const float* Q_sel_pu;   // powers at the selected measuring point
    const float* P_sel_pu;
    const float* Id_mix;  // converter current, +theta frame
    const float* Iq_mix;
    const float* Ufbk_pu;  // controlled bus voltage, per unit
    const float* Ucmd_pu;  // voltage command
    const float* Qsvg_cmd_pu;
    // Reactive current limit: host channel 56 in the reduced controller, parm_Iqpos_ref_lim in
    // the full one.
    const float* sim_Iqpos_ref_lim;
    const float* Qsys_cmd_pu;
    const float* Isvg_cmd_pu;
    const float* Coorctl_cmd_pu;  // not read
    const float* Iqpos_intg_fosys;
    const std::uint8_t* flg_update_fosys;  // forces the tracking inputs into the integrators
    const std::uint8_t* flg_Qn_lim;        // scales the reference by 0.01
    const float* Task2;                    // s, the period of this module's task
    const float* Task3;                    // not read
    const std::uint8_t* AVC_Umode;
    const std::uint8_t* AVC_Qmode;
    const std::uint8_t* AVC_mode_sw;
    const float* AVC_Ucmd_pu;
    const float* AVC_Qcmd_pu;
    const float* Iqpos_ref_sel;  // reference in use by the ride-through control
    const std::uint8_t* flg_HVRT_mod;
    const std::uint8_t* flg_LVRT_mod;
    const std::uint8_t* flg_ZVRT_mod;
    const float* kpi_Umode;        // voltage-loop gain scale
    const float* Ufbk_another_pu;  // second bus voltage
    const float* Upod_cmd;         // oscillation-damping modulation of the voltage error
    const float* QresvC_intg_fosys;
    const float* QresvL_intg_fosys;
    const float* AntiMis_intg_fosys;
    const float* Qn_Mvar;  // rated reactive power, Mvar
    const std::uint8_t* CoorMode_Valid;
    const std::uint8_t* SCoorMode_Valid;
    const std::uint8_t* BusEnb[4];  // not read
    const float* Qn_Coor_10kVar[4];
    const float* Qsvg_Coor_10kVar[4];
    const float* Iqref_MRec_10kVar;
    const float* Idneg_ref_MRec_10kVar;
    const float* Iqneg_ref_MRec_10kVar;
    const float* Iqref_SRec_10kVar;
    const float* Idneg_ref_SRec_10kVar;
    const float* Iqneg_ref_SRec_10kVar;
    const std::uint8_t* GFM_Blk_OtLoop;
    const float* Iqref_GFM;

    // Parameters.
    std::uint8_t parm_Qctrl_mode;
    float parm_PF_cmd;
    float parm_kp_U;
    float parm_ki_U;
    float parm_kp_Q;
    float parm_ki_Q;
    std::uint8_t ena_Uslope;
    float parm_Uslope;  // per unit voltage per unit current
    std::uint8_t ena_Uzone;
    float parm_Uzone;  // percent of the voltage command
    float parm_Uuplim_pu;
    float parm_Udownlim_pu;
    std::uint8_t ena_UPF;  // mode 6: 0 system reactive power, 1 power factor, 2 open loop
    float parm_Qclose_kilim;
    float parm_Iqpos_ref_lim;
    std::uint8_t ena_PF_lead;
    float parm_Iqpos_ref_min;
    float parm_rate_Iqpos;  // per task-2 period
    std::uint8_t parm_dir_power;
    float parm_time_Udeadout;  // s
    std::uint8_t ena_QnRes;
    float parm_QnRes_pu;
    float parm_QnRes_kp;
    float parm_QnRes_ki;
    float parm_QnRes_Vlim;
    std::uint8_t ena_AntiMis;
    float parm_AntiMisInt;
    float parm_AntiMisOV;
    float parm_AntiMisUV;
    float parm_AntiMisMaxQ;
    float parm_AntiMisUloop;     // percent
    float parm_AntiMisStabTime;  // s
    std::uint8_t CoorMasterEnb;
    std::uint8_t SVGShuntEnb;
    std::uint8_t ena_test_mode;
    float parm_kp_U_test;
    float parm_ki_U_test;

    // Variables.
    float set_Iqpos_ref_ss;
    float set_Iqpos_intg_follow;
    std::uint8_t flg_Qsvg_mode, flg_U_mode, flg_PF_mode, flg_Qsys_mode, flg_I_mode;
    std::uint8_t flg_force_Umode;
    float err_ki_final;
    std::uint8_t flg_Uctrl;
    std::uint8_t flg_Qopen_mode;
    float err_openmode_final;
    std::uint8_t flg_Qclose_mode;
    float Qcmd_openmode;
    float Iqcmd_open_limpre;
    float Iqcmd_openmode;
    float err_Uslope;
    float err_Umode;
    std::uint8_t flg_inzone_judge, flg_inzone_delay, flg_in_zone;
    float err_forkp;
    float err_forki;
    float Qaim_sel_pu;
    float err_PF_mode;
    float err_Qsys_mode;
    std::uint8_t flg_Uuplim_temp, flg_Udownlim_temp, flg_Uupdown;
    float err_QU_mode;
    std::uint8_t flg_Ucmd_change;
    float flg_Ufbk_err;  // a float despite its name
    std::uint8_t flg_Uerr_zone2, flg_Uerr_zone1;
    std::uint8_t flg_Uinzone_R, flg_Uinzone_S, flg_Uctrl_sw;
    float kp_QUsel, ki_QUsel;
    float err_close_mode;
    float int_uplim, int_downlim;
    float Iqcmd_closemode_pre, Iqcmd_closemode;
    float Iqpos_ref;
    std::uint8_t dir_power_test;
    float VscRev, VscRevL, VscRevC;
    float AntiMisIqComp;
    float QregIntMin, QregIntMax;
    float set_QresvC_intg_follow, set_QresvL_intg_follow, set_AntiMis_intg_follow;
    float Qn_10kVar;
    float Qsvg_10kVar;
    float Idneg_ref_Send_10kVar, Idneg_Send_10kVar, Iqneg_ref_Send_10kVar, Iqneg_Send_10kVar;
    float set_Iqpos_ref_ss_CoorMode;
    float Iqpos_ref_Send_10kVar[4];
    std::uint8_t Master_CoorMode_Valid, CoorMode_Valid_final;
    std::uint8_t flg_seq_running_final;
    std::uint8_t En_test;
    float Iref_test;

    // Internal state.
    float Qn_inv;
    float Iqref_MRec_pu, Iqref_SRec_pu, Iqpos_ref_rec;
    float Qsvg_sel_pu;
    float Qn_ratio;
    float Iq_lim_sel;
    float Uzone_sel;
    float Iq_min_sel;
    float I_abs_sel;
    float I_coor_pu;
    PiReg QU_pi;
    LpfFirst Iqpos_ref_fil;
    float Iqpos_ref_fil_abs;
    OnDelay inzone_timer;   // dead-zone judgement
    OnDelay zone1_timer;    // zone-1 confirmation
    OnDelay uinzone_timer;  // hold-latch set
    float Uinzone_S_delay;  // s
    bool above_min;         // hysteresis states
    bool zone1_above;
    bool Uuplim_above;
    bool Udownlim_above;
    MinHold ref_hold;    // final reference
    MinHold qopen_hold;  // open-loop reactive power command
    MinHold iopen_hold;  // open-loop current command
    MinHold pf_hold;     // PF target
    MinHold qsys_hold;   // system reactive power target
    float err_forkp_prev;
    float Ucmd_prev;
    std::uint8_t flg_Ulim_latch;
    std::uint8_t flg_force_U_act;
    float t_Ulim_in;  // environment time counter stamps
    float t_Ulim_out;
    float QnRes_target;
    float QnRes_PL, QnRes_IL;  // inductive side
    float QnRes_PC, QnRes_IC;  // capacitive side
    float AntiMis_lim;
    float AntiMis_ov_timer;  // s
    float AntiMis_uv_timer;
};

ModuleHeader* CreateModeCtrl(Environment* env, ModuleHeader* module,
                             const char* instance_name) noexcept;

// Task 2.
void ModeCtrlStep(ModuleHeader* module) noexcept;

}  // namespace svg
