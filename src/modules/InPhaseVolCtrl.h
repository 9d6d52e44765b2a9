// Phase DC balance control: one balance coefficient per phase cluster, a proportional gain
// times the phase's ratio of two host-supplied values (the numerator over sqrt(2) times the
// divisor) limited to +-2, scaled by the reciprocal of the DC voltage command and signed by the
// cell power direction. The coefficients leave the controller on host output channels 17..19.
#pragma once

#include "framework/environment.h"
#include "framework/module.h"

namespace svg {

inline constexpr int kBalancePhases = 3;

struct InPhaseVolCtrl {
    ModuleHeader hdr;
    // Inputs, filled by the wiring.
    const float* numerator[kBalancePhases];  // host inputs 33..35
    const float* divisor[kBalancePhases];    // host inputs 36..38, RMS values
    const float* rcp_Udccmd;                 // 1 / DC voltage command, 1/V
    const float* submodule_pwdir;            // cell power direction, +1 or -1
    const float* Task1;                      // task periods, s; not read
    const float* Task2;
    const float* Task3;

    // Parameter.
    float parm_kp_Udcbalctrl;  // balance gain

    // Variables.
    float set_Udca_bal_coef, set_Udcb_bal_coef, set_Udcc_bal_coef;
    float test1, test2, test3;  // unlimited ratio per phase
    float test4, test5, test6;  // limited ratio per phase
    float test7;                // common scale
};

ModuleHeader* CreateInPhaseVolCtrl(Environment* env, ModuleHeader* module,
                                   const char* instance_name) noexcept;

// Task 1: the three balance coefficients.
void InPhaseVolCtrlStep(ModuleHeader* module) noexcept;

}  // namespace svg
