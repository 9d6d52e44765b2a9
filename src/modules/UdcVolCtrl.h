// DC voltage control: keeps the mean cell DC voltage of the three phase clusters at its
// command with a PI regulator whose output is the positive-sequence active current reference,
// and balances the clusters with two PI regulators whose outputs are closed-loop
// negative-sequence current references (phase A against the mean on the d axis, phase B
// against phase C on the q axis). The cluster voltages are freed of their ripple at twice the
// grid frequency by averaging each with a copy delayed by half a ripple period. The command
// ramps up from the measured value after deblocking and takes its own values during high- and
// low-voltage ride-through. Voltages per unit of MeterCtrl's rated cell voltage; the two volt
// outputs are scaled back with this module's own rated cell voltage.
#pragma once

#include <cstdint>

#include "blocks/delays.h"
#include "blocks/pi_reg.h"
#include "framework/environment.h"
#include "framework/module.h"

namespace svg {

// Delay lines of half a period of the double-frequency ripple at a 100 us task period: 50
// samples at 50 Hz; 41 2/3 samples at 60 Hz, blended from a 41- and a 42-sample line.
inline constexpr std::uint32_t kRipple50Len = 50;
inline constexpr std::uint32_t kRipple60ShortLen = 41;
inline constexpr std::uint32_t kRipple60LongLen = 42;
inline constexpr int kClusters = 3;  // phase clusters A, B, C

struct UdcVolCtrl {
    ModuleHeader hdr;
    // Inputs.
    const float* Udc_A_mean;  // mean cell DC voltage of each phase cluster, V
    const float* Udc_B_mean;
    const float* Udc_C_mean;
    const float* rcp_Udccmd;  // 1 / MeterCtrl's rated cell voltage, 1/V
    const float* Udcctrl_fosys;
    const float* Idnegctrl_cl_fosys;
    const float* Iqnegctrl_cl_fosys;
    const float* Task1;  // s; the only task period used
    const float* Task2;
    const float* Task3;
    const float* FrqHzNom;  // nominal frequency, Hz
    const std::uint8_t* flg_LVRT_mod;
    const std::uint8_t* flg_HVRT_mod;
    const std::uint8_t* flg_seq_deblock;
    const std::uint8_t* flg_seq_running;
    const std::uint8_t* flg_update_fosys;
    const float* Ipqref_lock;  // not read
    const float* Upos_fil;     // not read
    const std::uint8_t* trans_type;
    const std::uint8_t* GFM_Blk_OtLoop;  // 1: grid-forming control holds the DC regulator
    const float* Idref_GFM;              // the value it holds the integrator at

    // Parameters.
    float parm_Udccmd;        // rated cell DC voltage, V (scales the volt outputs)
    float parm_Udccmd_HVRT;   // per-unit command during high-voltage ride-through
    float parm_Udccmd_LVRT;   // per-unit command during low-voltage ride-through
    float parm_Udccmd_slope;  // rise rate of the reference, per unit per second
    float parm_Udcctrl_kp;
    float parm_Udcctrl_ki;
    float parm_Udcctrl_pilim;  // per-unit current
    float parm_Udcctrl_kilim;
    std::uint8_t ena_Inegctrl_cl;
    float parm_Inegctrl_kp;
    float parm_Inegctrl_ki;
    float parm_Inegctrl_pilim;
    float parm_Inegctrl_kilim;
    float parm_CapPM;  // no effect here

    // Variables.
    float set_Udccmd_final;  // V
    float set_Udc_mean;      // V
    float set_Idpos_ref;
    float set_Idneg_cl_ref;
    float set_Iqneg_cl_ref;
    float set_Udcctrl_follow;
    float set_Idnegctrl_cl_follow;
    float set_Iqnegctrl_cl_follow;
    float udc_fbk_pu;
    float udc_ref_pu;
    float Udc_err;
    std::uint8_t Ineg_ena_temp;
    float Idnegctrl_err;
    float Iqnegctrl_err;
    float Udc_A_delay;
    float Udc_A_fil;
    std::uint32_t length;  // length and write position of the phase-A 50-sample line
    std::uint32_t index;
    std::uint8_t freq_temp;  // whole hertz of the nominal frequency
    float temp5;             // 1.0 at 50 Hz, 2.0 at 60 Hz, 3.0 otherwise
    std::uint32_t UdcASum_FPGA, UdcBSum_FPGA, UdcCSum_FPGA;  // not written here
    std::uint32_t u16A, u16B, u16C;                          // not written here
    std::uint8_t test1;

    // Internal state.
    float Udc_A_pu, Udc_B_pu, Udc_C_pu;
    float Udc_B_delay, Udc_C_delay, Udc_B_fil, Udc_C_fil;
    RingDelay ripple50[kClusters];
    RingDelay ripple41[kClusters];
    RingDelay ripple42[kClusters];
    float ripple50_buf[kClusters][kRipple50Len];
    float ripple41_buf[kClusters][kRipple60ShortLen];
    float ripple42_buf[kClusters][kRipple60LongLen];
    float Udccmd_sel;
    float Udccmd_target;
    float Udccmd_ramp;
    std::int32_t deblock_prev;  // on-delay of the deblock command
    float deblock_remaining;    // s
    std::uint8_t flg_deblock_dly;
    PiReg Udc_pi;
    PiReg Idneg_pi;
    PiReg Iqneg_pi;
};

ModuleHeader* CreateUdcVolCtrl(Environment* env, ModuleHeader* module,
                               const char* instance_name) noexcept;

// Task 1: measurement, reference, DC voltage regulator, balancing regulators.
void UdcVolCtrlStep(ModuleHeader* module) noexcept;

}  // namespace svg
