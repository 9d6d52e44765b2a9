#include "modules/ProElement.h"

#include <cstddef>

#include "blocks/comparators.h"
#include "blocks/numeric.h"

namespace svg {
namespace {

// clang-format off
constexpr SignalRow kSignals003[] = {
    {SignalKind::kByteInput, offsetof(Pro002003, di_input01), "di_input01 type=cu", "-", "gate: the element (or stage 1) acts only while non-zero (running command)"},
    {SignalKind::kFloatInput, offsetof(Pro002003, an_input01), "an_input01 type=f", "-", "first analog quantity watched (unit set by the instance wiring)"},
    {SignalKind::kFloatInput, offsetof(Pro002003, an_input02), "an_input02 type=f", "-", "second analog quantity watched (unit set by the instance wiring)"},
    {SignalKind::kFloatInput, offsetof(Pro002003, an_input03), "an_input03 type=f", "-", "third analog quantity watched (unit set by the instance wiring)"},
    {SignalKind::kVariable, offsetof(Pro002003, act_flg01), "act_flg01 type=cu", "-", "protection output flag"},
    {SignalKind::kParameter, offsetof(Pro002003, parm_obCn3L1_ob), "parm_obCn3L1_ob type=cu default=1 option=1", "-", "direction: non-zero over, 0 under"},
    {SignalKind::kParameter, offsetof(Pro002003, parm_obCn3L1_allorany), "parm_obCn3L1_allorany type=cu default=0 option=1", "-", "combination: non-zero all three inputs must meet the condition, 0 any one"},
    {SignalKind::kParameter, offsetof(Pro002003, event_type01), "event_type01 type=cu default=1 option=1", "-", "event type (not read by the step)"},
    {SignalKind::kParameter, offsetof(Pro002003, enable01), "enable01 type=cu default=0 option=1", "-", "element enable"},
    {SignalKind::kParameter, offsetof(Pro002003, act_set01), "act_set01 type=f default=1.3 option=1", "-", "pick-up threshold, in the unit of the analog inputs"},
    {SignalKind::kParameter, offsetof(Pro002003, ret_set01), "ret_set01 type=f default=1.2 option=1", "-", "drop-out threshold, in the unit of the analog inputs"},
    {SignalKind::kParameter, offsetof(Pro002003, act_time01), "act_time01 type=f default=0.0 option=1", "s", "pick-up delay"},
    {SignalKind::kParameter, offsetof(Pro002003, ret_time01), "ret_time01 type=f default=0.0 option=1", "s", "drop-out delay"},
};
// clang-format on

// clang-format off
constexpr SignalRow kSignals004[] = {
    {SignalKind::kByteInput, offsetof(Pro002004, di_input01), "di_input01 type=cu", "-", "gate: the element (or stage 1) acts only while non-zero (running command)"},
    {SignalKind::kByteInput, offsetof(Pro002004, di_input02), "di_input02 type=cu", "-", "gate of stage 2: the stage acts only while non-zero (running command)"},
    {SignalKind::kByteInput, offsetof(Pro002004, di_input03), "di_input03 type=cu", "-", "gate of stage 3: the stage acts only while non-zero (running command)"},
    {SignalKind::kFloatInput, offsetof(Pro002004, an_input01), "an_input01 type=f", "-", "first analog quantity watched (unit set by the instance wiring)"},
    {SignalKind::kFloatInput, offsetof(Pro002004, an_input02), "an_input02 type=f", "-", "second analog quantity watched (unit set by the instance wiring)"},
    {SignalKind::kFloatInput, offsetof(Pro002004, an_input03), "an_input03 type=f", "-", "third analog quantity watched (unit set by the instance wiring)"},
    {SignalKind::kVariable, offsetof(Pro002004, flg_obCn3L3_01), "flg_obCn3L3_01 type=cu", "-", "stage 1 output flag"},
    {SignalKind::kVariable, offsetof(Pro002004, flg_obCn3L3_02), "flg_obCn3L3_02 type=cu", "-", "stage 2 output flag"},
    {SignalKind::kVariable, offsetof(Pro002004, flg_obCn3L3_03), "flg_obCn3L3_03 type=cu", "-", "stage 3 output flag"},
    {SignalKind::kParameter, offsetof(Pro002004, parm_obCn3L3_ob), "parm_obCn3L3_ob type=cu default=1 option=1", "-", "direction for all stages: non-zero over, 0 under"},
    {SignalKind::kParameter, offsetof(Pro002004, parm_obCn3L3_allorany), "parm_obCn3L3_allorany type=cu default=0 option=1", "-", "combination for all stages: non-zero all three inputs, 0 any one"},
    {SignalKind::kParameter, offsetof(Pro002004, outMat_obCn3L3_01), "outMat_obCn3L3_01 type=cu default=1 option=1", "-", "stage 1 output matrix (not read by the step)"},
    {SignalKind::kParameter, offsetof(Pro002004, ena_obCn3L3_01), "ena_obCn3L3_01 type=cu default=1 option=1", "-", "stage 1 enable"},
    {SignalKind::kParameter, offsetof(Pro002004, parm_obCn3L3_01), "parm_obCn3L3_01 type=f default=1.3 option=1", "-", "stage 1 pick-up threshold, in the unit of the analog inputs"},
    {SignalKind::kParameter, offsetof(Pro002004, parm_obCn3L3_01_ret), "parm_obCn3L3_01_ret type=f default=1.2 option=1", "-", "stage 1 drop-out threshold, in the unit of the analog inputs"},
    {SignalKind::kParameter, offsetof(Pro002004, parm_obCn3L3_01_t), "parm_obCn3L3_01_t type=f default=0.0 option=1", "s", "stage 1 pick-up delay"},
    {SignalKind::kParameter, offsetof(Pro002004, parm_obCn3L3_01_ret_t), "parm_obCn3L3_01_ret_t type=f default=0.0 option=1", "s", "stage 1 drop-out delay"},
    {SignalKind::kParameter, offsetof(Pro002004, outMat_obCn3L3_02), "outMat_obCn3L3_02 type=cu default=1 option=1", "-", "stage 2 output matrix (not read by the step)"},
    {SignalKind::kParameter, offsetof(Pro002004, ena_obCn3L3_02), "ena_obCn3L3_02 type=cu default=1 option=1", "-", "stage 2 enable"},
    {SignalKind::kParameter, offsetof(Pro002004, parm_obCn3L3_02), "parm_obCn3L3_02 type=f default=1.3 option=1", "-", "stage 2 pick-up threshold, in the unit of the analog inputs"},
    {SignalKind::kParameter, offsetof(Pro002004, parm_obCn3L3_02_ret), "parm_obCn3L3_02_ret type=f default=1.2 option=1", "-", "stage 2 drop-out threshold, in the unit of the analog inputs"},
    {SignalKind::kParameter, offsetof(Pro002004, parm_obCn3L3_02_t), "parm_obCn3L3_02_t type=f default=0.0 option=1", "s", "stage 2 pick-up delay"},
    {SignalKind::kParameter, offsetof(Pro002004, parm_obCn3L3_02_ret_t), "parm_obCn3L3_02_ret_t type=f default=0.0 option=1", "s", "stage 2 drop-out delay"},
    {SignalKind::kParameter, offsetof(Pro002004, outMat_obCn3L3_03), "outMat_obCn3L3_03 type=cu default=1 option=1", "-", "stage 3 output matrix (not read by the step)"},
    {SignalKind::kParameter, offsetof(Pro002004, ena_obCn3L3_03), "ena_obCn3L3_03 type=cu default=1 option=1", "-", "stage 3 enable"},
    {SignalKind::kParameter, offsetof(Pro002004, parm_obCn3L3_03), "parm_obCn3L3_03 type=f default=1.3 option=1", "-", "stage 3 pick-up threshold, in the unit of the analog inputs"},
    {SignalKind::kParameter, offsetof(Pro002004, parm_obCn3L3_03_ret), "parm_obCn3L3_03_ret type=f default=1.2 option=1", "-", "stage 3 drop-out threshold, in the unit of the analog inputs"},
    {SignalKind::kParameter, offsetof(Pro002004, parm_obCn3L3_03_t), "parm_obCn3L3_03_t type=f default=0.0 option=1", "s", "stage 3 pick-up delay"},
    {SignalKind::kParameter, offsetof(Pro002004, parm_obCn3L3_03_ret_t), "parm_obCn3L3_03_ret_t type=f default=0.0 option=1", "s", "stage 3 drop-out delay"},
};
// clang-format on

// Environment time counter units (microseconds) per second.
constexpr float kCounterPerSecond = 1000000.0f;

// A delay in seconds as a count of counter units: the product in single precision, truncated
// toward zero to unsigned 32-bit (NaN and negative give 0, 2^32 and more saturate).
std::uint32_t DelayCount(float seconds) {
    return TruncToUint32(static_cast<double>(seconds * kCounterPerSecond));
}

// The settings one stage compares and times with.
struct StageSettings {
    bool over;
    bool all;
    bool inclusive;  // >= rather than > (the three-stage type)
    float pickup;
    float dropout;
    float pickup_delay;  // s
    float dropout_delay;
};

// One input against the threshold in the element's direction; false for a NaN.
bool Meets(float x, float threshold, const StageSettings& s) {
    if (s.inclusive) {
        return s.over ? x >= threshold : threshold >= x;
    }
    return s.over ? x > threshold : threshold > x;
}

// Comparison and timing of one stage. Returns the new flag.
std::uint8_t StageStep(std::uint8_t flag, bool active, const float (&x)[3], const StageSettings& s,
                       ProStageTimes& t, std::uint32_t now) {
    if (!active) {
        t.pickup = now;
        t.dropout = now;
        return 0;
    }
    const float threshold = flag != 0 ? s.dropout : s.pickup;
    const bool m1 = Meets(x[0], threshold, s);
    const bool m2 = Meets(x[1], threshold, s);
    const bool m3 = Meets(x[2], threshold, s);
    const bool condition = s.all ? m1 && m2 && m3 : m1 || m2 || m3;
    return CounterConfirmedFlag(flag, condition, t.pickup, t.dropout, now,
                                DelayCount(s.pickup_delay), DelayCount(s.dropout_delay));
}

// Task registration: every start time from the current counter, then the step on the list.
int RegisterPro002003Tasks(ModuleHeader* module, int list) {
    auto& m = *As<Pro002003>(module);
    m.times = {m.hdr.env->time_counter, m.hdr.env->time_counter};
    return RegisterTask(list, &Pro002003Step, module) != 0 ? 1 : 0;
}

int RegisterPro002004Tasks(ModuleHeader* module, int list) {
    auto& m = *As<Pro002004>(module);
    for (ProStageTimes& t : m.times) {
        t = {m.hdr.env->time_counter, m.hdr.env->time_counter};
    }
    return RegisterTask(list, &Pro002004Step, module) != 0 ? 1 : 0;
}

}  // namespace

ModuleHeader* CreatePro002003(Environment* env, ModuleHeader* module,
                              const char* instance_name) noexcept {
    InitHeader(module, env, "PRO_002_003", instance_name, &RegisterPro002003Tasks);
    RegisterSignals(module, kSignals003);
    // Flag and start times start at 0 with the zero-filled record.
    return module;
}

ModuleHeader* CreatePro002004(Environment* env, ModuleHeader* module,
                              const char* instance_name) noexcept {
    InitHeader(module, env, "PRO_002_004", instance_name, &RegisterPro002004Tasks);
    RegisterSignals(module, kSignals004);
    return module;
}

void Pro002003Step(ModuleHeader* module) noexcept {
    auto& m = *As<Pro002003>(module);
    const float x[3] = {*m.an_input01, *m.an_input02, *m.an_input03};
    const StageSettings s{m.parm_obCn3L1_ob != 0,
                          m.parm_obCn3L1_allorany != 0,
                          false,
                          m.act_set01,
                          m.ret_set01,
                          m.act_time01,
                          m.ret_time01};
    const bool active = m.enable01 != 0 && *m.di_input01 != 0;
    m.act_flg01 = StageStep(m.act_flg01, active, x, s, m.times, m.hdr.env->time_counter);
}

void Pro002004Step(ModuleHeader* module) noexcept {
    auto& m = *As<Pro002004>(module);
    const float x[3] = {*m.an_input01, *m.an_input02, *m.an_input03};
    for (int k = 0; k < kProStages; ++k) {
        const ProStageFields& f = kProStageFields[k];
        const StageSettings s{m.parm_obCn3L3_ob != 0,
                              m.parm_obCn3L3_allorany != 0,
                              true,
                              m.*f.pickup,
                              m.*f.dropout,
                              m.*f.pickup_delay,
                              m.*f.dropout_delay};
        const bool active = m.*f.enable != 0 && *(m.*f.gate) != 0;
        m.*f.flag = StageStep(m.*f.flag, active, x, s, m.times[k], m.hdr.env->time_counter);
    }
}

}  // namespace svg
