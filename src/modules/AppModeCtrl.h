// Power oscillation damping: a small modulation of the voltage-loop error, set_Upod_cmd, from
// the active power at the point of common coupling. The power (per unit of the rated reactive
// power) passes a washout high-pass, two lead-lag stages and a second-order low-pass and is
// scaled by a gain. A test mode replaces the chain by a sine of given frequency, amplitude and
// phase. Runs last in task list 2.
#pragma once

#include <cstdint>

#include "blocks/filters.h"
#include "framework/environment.h"
#include "framework/module.h"

namespace svg {

struct AppModeCtrl {
    ModuleHeader hdr;
    // Inputs.
    const float* Ppcc;     // PCC active power, MW
    const float* Qn_Mvar;  // rated reactive power, Mvar
    const float* Task1;    // s; the filter designs use it
    const float* Task2;    // s; the period of this module's task
    const float* Task3;    // not read

    // Parameters.
    float parm_PODHPF_Tw;   // washout corner (rad/s at the task-1 period)
    float parm_PODcor1_T1;  // lead and lag time constants of stage 1, s
    float parm_PODcor1_T2;
    float parm_PODcor2_T3;  // stage 2
    float parm_PODcor2_T4;
    float parm_POD2LPF_Wc;  // low-pass corner (rad/s at the task-1 period)
    float parm_POD_k;
    float parm_PODtest_freq;  // Hz
    float parm_PODtest_mag;
    float parm_PODtest_phase;  // rad
    std::uint8_t ena_POD;
    std::uint8_t ena_PODtest;

    // Variables.
    float set_Upod_cmd;
    std::uint8_t test1;  // 1: second-order low-pass with damping 0.707; 0: Butterworth
    float test2, test3;  // always 0
    float HPF_out;
    float PODcor1_out, PODcor1_in_k;
    float PODcor2_out, PODcor2_in_k;
    float LPF2out;
    float Point;     // test-signal period, task-2 steps
    float PointCnt;  // test-signal step counter

    // Internal state.
    IirFilter POD_hpf;
    IirFilter POD_lpf_butter;
    IirFilter POD_lpf2;
};

ModuleHeader* CreateAppModeCtrl(Environment* env, ModuleHeader* module,
                                const char* instance_name) noexcept;

// Task 2.
void AppModeCtrlStep(ModuleHeader* module) noexcept;

}  // namespace svg
