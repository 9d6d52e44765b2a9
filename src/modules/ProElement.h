// Threshold-and-time protection elements. Each watches three analog quantities against a
// pick-up threshold and a separate drop-out threshold, in the over or the under direction,
// combines the three comparisons with "any" or "all", and confirms pick-up and drop-out with
// delays measured on the environment time counter (microseconds, unsigned, wrapping). An
// element or stage acts only while its enable parameter and its gate input are both non-zero;
// otherwise its flag is clear and both delays restart.
//
// Two types, each instantiated under several instance names (the instances differ only in
// their wiring and in the direction the wiring stores):
//   "PRO_002_003"  single stage, one flag; over is x > T, under is T > x (strict);
//   "PRO_002_004"  three stages on the same three inputs, one flag each, sharing direction
//                  and combination; over is x >= T, under is T >= x.
// T is the drop-out threshold while the flag is set, the pick-up threshold otherwise. A
// comparison with a NaN is false: a NaN input never picks up; with "any", the other inputs
// still decide; a set flag whose comparisons all fail on NaN counts the condition as gone and
// drops after the drop-out delay. Delays are seconds; the count of microseconds is formed in
// single precision and truncated to unsigned 32-bit (NaN or negative: no delay; 4294.9672 s or
// more: a delay that never elapses).
#pragma once

#include <cstdint>

#include "framework/environment.h"
#include "framework/module.h"

namespace svg {

// Pick-up and drop-out start times of one stage: environment time counter readings.
struct ProStageTimes {
    std::uint32_t pickup;
    std::uint32_t dropout;
};

// Type "PRO_002_003": single stage.
struct Pro002003 {
    ModuleHeader hdr;
    // Inputs.
    const std::uint8_t* di_input01;  // gate: active while non-zero
    const float* an_input01;         // the three analog quantities
    const float* an_input02;
    const float* an_input03;

    // Parameters.
    std::uint8_t parm_obCn3L1_ob;        // direction: non-zero over, 0 under (set by the wiring)
    std::uint8_t parm_obCn3L1_allorany;  // non-zero: all three must meet it; 0: any one
    std::uint8_t event_type01;           // not read by the step
    std::uint8_t enable01;               // element enable
    float act_set01;                     // pick-up threshold
    float ret_set01;                     // drop-out threshold
    float act_time01;                    // pick-up delay, s
    float ret_time01;                    // drop-out delay, s

    // Variables.
    std::uint8_t act_flg01;  // output flag

    // Internal state.
    ProStageTimes times;
};

// Type "PRO_002_004": three stages.
inline constexpr int kProStages = 3;

struct Pro002004 {
    ModuleHeader hdr;
    // Inputs.
    const std::uint8_t* di_input01;  // gates of stage 1, 2, 3
    const std::uint8_t* di_input02;
    const std::uint8_t* di_input03;
    const float* an_input01;  // the three analog quantities, shared by the stages
    const float* an_input02;
    const float* an_input03;

    // Parameters.
    std::uint8_t parm_obCn3L3_ob;        // direction of all stages (set by the wiring)
    std::uint8_t parm_obCn3L3_allorany;  // all/any of all stages
    std::uint8_t outMat_obCn3L3_01;      // not read by the step
    std::uint8_t ena_obCn3L3_01;         // stage 1 enable
    float parm_obCn3L3_01;               // stage 1 pick-up threshold
    float parm_obCn3L3_01_ret;           // stage 1 drop-out threshold
    float parm_obCn3L3_01_t;             // stage 1 pick-up delay, s
    float parm_obCn3L3_01_ret_t;         // stage 1 drop-out delay, s
    std::uint8_t outMat_obCn3L3_02;
    std::uint8_t ena_obCn3L3_02;
    float parm_obCn3L3_02;
    float parm_obCn3L3_02_ret;
    float parm_obCn3L3_02_t;
    float parm_obCn3L3_02_ret_t;
    std::uint8_t outMat_obCn3L3_03;
    std::uint8_t ena_obCn3L3_03;
    float parm_obCn3L3_03;
    float parm_obCn3L3_03_ret;
    float parm_obCn3L3_03_t;
    float parm_obCn3L3_03_ret_t;

    // Variables.
    std::uint8_t flg_obCn3L3_01;  // stage output flags
    std::uint8_t flg_obCn3L3_02;
    std::uint8_t flg_obCn3L3_03;

    // Internal state.
    ProStageTimes times[kProStages];
};

// The per-stage fields of the three-stage type, in stage order: what the step runs each stage
// on and what the wiring points the host channels at.
struct ProStageFields {
    const std::uint8_t* Pro002004::*gate;
    std::uint8_t Pro002004::*enable;
    float Pro002004::*pickup;
    float Pro002004::*dropout;
    float Pro002004::*pickup_delay;
    float Pro002004::*dropout_delay;
    std::uint8_t Pro002004::*flag;
};

inline constexpr ProStageFields kProStageFields[kProStages] = {
    {&Pro002004::di_input01, &Pro002004::ena_obCn3L3_01, &Pro002004::parm_obCn3L3_01,
     &Pro002004::parm_obCn3L3_01_ret, &Pro002004::parm_obCn3L3_01_t,
     &Pro002004::parm_obCn3L3_01_ret_t, &Pro002004::flg_obCn3L3_01},
    {&Pro002004::di_input02, &Pro002004::ena_obCn3L3_02, &Pro002004::parm_obCn3L3_02,
     &Pro002004::parm_obCn3L3_02_ret, &Pro002004::parm_obCn3L3_02_t,
     &Pro002004::parm_obCn3L3_02_ret_t, &Pro002004::flg_obCn3L3_02},
    {&Pro002004::di_input03, &Pro002004::ena_obCn3L3_03, &Pro002004::parm_obCn3L3_03,
     &Pro002004::parm_obCn3L3_03_ret, &Pro002004::parm_obCn3L3_03_t,
     &Pro002004::parm_obCn3L3_03_ret_t, &Pro002004::flg_obCn3L3_03},
};

ModuleHeader* CreatePro002003(Environment* env, ModuleHeader* module,
                              const char* instance_name) noexcept;
ModuleHeader* CreatePro002004(Environment* env, ModuleHeader* module,
                              const char* instance_name) noexcept;

// Task 1: comparison and timing of the element, or of stages 1, 2, 3 in turn.
void Pro002003Step(ModuleHeader* module) noexcept;
void Pro002004Step(ModuleHeader* module) noexcept;

}  // namespace svg
