// The protection elements in the full build, stepped through the environment: the single-stage
// element DCPro and stage 1 of the three-stage element OVPro, each gated by the running
// command, their analog inputs pointed at the test's own values. Every case gives the value
// of the first analog input step by step, the other two inputs held, and the flag expected
// after each step: direction, any/all, the strict and inclusive comparisons, hysteresis,
// pick-up and drop-out delays on the environment time counter (100 units per step), the
// counter wrap, NaN inputs and settings outside their range.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "framework/slots.h"
#include "modules/ProElement.h"
#include "support/env_run.h"
#include "support/registry_names.h"
#include "support/temp_dir.h"

namespace svg::testing {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

enum class Element { kSingle, kStage1 };

struct Case {
    std::string name;
    Element element;
    std::uint8_t over;                  // stored into the direction parameter after the build
    std::uint8_t all;                   // all/any parameter
    float pickup, dropout;              // thresholds
    float pickup_delay, dropout_delay;  // s
    float others;                       // analog inputs 2 and 3
    std::vector<float> x;               // analog input 1, one value per step
    std::string flags;                  // expected flag after each step
    std::uint32_t counter_start = 0;    // environment time counter before the first step
};

// 100 counter units per step: 0.0005 s is 5 steps, 0.0003 s is 3 steps.
const Case kCases[] = {
    // Zero delays: the flag follows the comparison with the hysteresis of the thresholds.
    {"SingleOverIsStrict",
     Element::kSingle,
     1,
     0,
     1.3f,
     1.2f,
     0,
     0,
     0.0f,
     {1.0f, 1.3f, 1.31f, 1.25f, 1.2f, 1.19f, 1.3f, 1.31f},
     "00110001"},
    {"StageOverIsInclusive",
     Element::kStage1,
     1,
     0,
     1.3f,
     1.2f,
     0,
     0,
     0.0f,
     {1.0f, 1.3f, 1.31f, 1.25f, 1.2f, 1.19f, 1.3f, 1.31f},
     "01111011"},
    {"SingleUnderIsStrict",
     Element::kSingle,
     0,
     0,
     0.9f,
     0.95f,
     0,
     0,
     10.0f,
     {1.0f, 0.9f, 0.89f, 0.94f, 0.95f, 0.96f, 0.89f},
     "0011001"},
    {"StageUnderIsInclusive",
     Element::kStage1,
     0,
     0,
     0.9f,
     0.95f,
     0,
     0,
     10.0f,
     {1.0f, 0.9f, 0.89f, 0.94f, 0.95f, 0.96f, 0.89f},
     "0111101"},
    // Any: one input decides. All: one input short of the threshold blocks the pick-up, and
    // once picked up one input below the drop-out threshold releases.
    {"AnyPicksUpOnOneInput", Element::kSingle, 1, 0, 1.3f, 1.2f, 0, 0, 0.0f, {2.0f, 2.0f}, "11"},
    {"AllNeverPicksUpWithOneInputBelow",
     Element::kStage1,
     1,
     1,
     1.3f,
     1.2f,
     0,
     0,
     1.29f,
     {2.0f, 2.0f, 2.0f},
     "000"},
    {"AllPicksUpWhenEveryInputMeetsIt",
     Element::kSingle,
     1,
     1,
     1.3f,
     1.2f,
     0,
     0,
     1.35f,
     {1.29f, 1.31f},
     "01"},
    {"AllHoldsWhileEveryInputStaysAboveTheDropout",
     Element::kStage1,
     1,
     1,
     1.3f,
     1.2f,
     0,
     0,
     1.3f,
     {1.3f, 1.25f, 1.19f},
     "110"},
    // Selectors other than 0 and 1 count as set: all, over.
    {"AllOrAnyOfTwoMeansAll", Element::kSingle, 1, 2, 1.3f, 1.2f, 0, 0, 0.0f, {2.0f}, "0"},
    {"DirectionOf255MeansOver",
     Element::kStage1,
     255,
     0,
     1.3f,
     1.2f,
     0,
     0,
     0.0f,
     {2.0f, 0.0f},
     "10"},
    // Pick-up after 5 steps of the condition, drop-out after 3 steps without it.
    {"DelaysConfirmPickupAndDropout",
     Element::kSingle,
     1,
     0,
     1.3f,
     1.2f,
     0.0005f,
     0.0003f,
     0.0f,
     {0, 2, 2, 2, 2, 2, 2, 2, 0, 0, 0, 0, 0},
     "0000011111000"},
    {"AnInterruptionRestartsThePickupDelay",
     Element::kStage1,
     1,
     0,
     1.3f,
     1.2f,
     0.0005f,
     0,
     0.0f,
     {2, 2, 2, 2, 0, 2, 2, 2, 2, 2},
     "0000000001"},
    {"AReturnRestartsTheDropoutDelay",
     Element::kSingle,
     1,
     0,
     1.3f,
     1.2f,
     0,
     0.0003f,
     0.0f,
     {2, 0, 0, 2, 0, 0, 0},
     "1111110"},
    // Both delays running across the wrap of the 32-bit counter.
    {"DelaysSpanTheCounterWrap",
     Element::kStage1,
     1,
     0,
     1.3f,
     1.2f,
     0.0005f,
     0.0003f,
     0.0f,
     {0, 2, 2, 2, 2, 2, 2, 0, 0, 0},
     "0000011110",
     4294967296u - 350u},
    // A drop-out threshold beyond the pick-up threshold: the flag picks up, then fails its own
    // drop-out test at once; with zero delays it alternates every step.
    {"CrossedThresholdsAlternate",
     Element::kSingle,
     1,
     0,
     1.3f,
     1.4f,
     0,
     0,
     0.0f,
     {1.35f, 1.35f, 1.35f, 1.35f},
     "1010"},
    // NaN compares false: it never picks up, and for a set flag the condition counts as gone.
    {"NaNNeverPicksUp", Element::kStage1, 1, 0, 1.3f, 1.2f, 0, 0, kNaN, {kNaN, kNaN}, "00"},
    {"NaNUnderNeverPicksUp", Element::kSingle, 0, 1, 0.9f, 0.95f, 0, 0, kNaN, {kNaN}, "0"},
    {"NaNWithAnyLeavesTheOtherInputsDeciding",
     Element::kSingle,
     1,
     0,
     1.3f,
     1.2f,
     0,
     0,
     2.0f,
     {kNaN, kNaN},
     "11"},
    {"NaNReleasesAfterTheDropoutDelay",
     Element::kStage1,
     1,
     0,
     1.3f,
     1.2f,
     0,
     0.0003f,
     0.0f,
     {2, kNaN, kNaN, kNaN, 2},
     "11101"},
    // Delay settings outside the range: NaN and negative are no delay, infinite and huge
    // saturate and never elapse, 4294.9672 s and more likewise.
    {"NaNDelayIsNoDelay", Element::kSingle, 1, 0, 1.3f, 1.2f, kNaN, kNaN, 0.0f, {2, 0}, "10"},
    {"NegativeDelayIsNoDelay",
     Element::kStage1,
     1,
     0,
     1.3f,
     1.2f,
     -1.0f,
     -1e30f,
     0.0f,
     {2, 0},
     "10"},
    {"InfiniteDelayNeverElapses",
     Element::kSingle,
     1,
     0,
     1.3f,
     1.2f,
     kInf,
     0,
     0.0f,
     {2, 2, 2, 2},
     "0000"},
    {"DelayBeyondTheCounterNeverElapses",
     Element::kStage1,
     1,
     0,
     1.3f,
     1.2f,
     5000.0f,
     0,
     0.0f,
     {2, 2, 2},
     "000",
     4294967296u - 250u},
};

class ProElementCase : public ::testing::TestWithParam<Case> {};

TEST_P(ProElementCase, FlagFollowsComparisonAndDelays) {
    const Case& c = GetParam();
    TempWorkDir dir;
    EnvRun run;
    run.in[43] = 1.0;  // running: the gate
    if (c.element == Element::kSingle) {
        run.in[57] = 1.0;  // DCPro enable
        run.in[98] = c.pickup;
        run.in[99] = c.dropout;
    } else {
        run.in[106] = c.pickup;
        run.in[107] = c.dropout;
        run.in[108] = c.pickup_delay;
    }
    ASSERT_EQ(run.Init(), 0);
    auto* single = run.Module<Pro002003>(kSlotDCPro);
    auto* stages = run.Module<Pro002004>(kSlotOVPro);
    if (c.element == Element::kSingle) {
        single->parm_obCn3L1_ob = c.over;
        single->parm_obCn3L1_allorany = c.all;
        single->act_time01 = c.pickup_delay;
        single->ret_time01 = c.dropout_delay;
    } else {
        stages->parm_obCn3L3_ob = c.over;
        stages->parm_obCn3L3_allorany = c.all;
        stages->parm_obCn3L3_01_ret_t = c.dropout_delay;
    }
    // The analog inputs read the test's own values, so a NaN reaches the element as it is
    // (the host boundary would turn a NaN channel into 0).
    float x[3] = {0.0f, c.others, c.others};
    if (c.element == Element::kSingle) {
        single->an_input01 = &x[0];
        single->an_input02 = &x[1];
        single->an_input03 = &x[2];
    } else {
        stages->an_input01 = &x[0];
        stages->an_input02 = &x[1];
        stages->an_input03 = &x[2];
    }
    run.env()->time_counter = c.counter_start;
    // The element restamps its timers at the first step without the condition, so the
    // start value of the counter only moves where the delays run.
    std::string flags;
    for (float value : c.x) {
        x[0] = value;
        ASSERT_EQ(run.Step(0.0), 0);
        const std::uint8_t flag =
            c.element == Element::kSingle ? single->act_flg01 : stages->flg_obCn3L3_01;
        flags += flag != 0 ? '1' : '0';
    }
    EXPECT_EQ(flags, c.flags);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProElementCase, ::testing::ValuesIn(kCases), CaseName<Case>);

// Disabling or removing the gate clears a set flag at once and restarts both delays; the
// stages of the three-stage element keep their own enables, thresholds and flags.
TEST(ProElement, EnableAndGateClearAtOnceAndStagesStayApart) {
    TempWorkDir dir;
    EnvRun run;
    run.in[43] = 1.0;
    run.in[57] = 1.0;
    run.in[98] = 1.3;
    run.in[99] = 1.2;
    for (int k = 0; k < 3; ++k) {  // stage thresholds 1.1, 1.2, 1.3
        run.in[106 + 3 * k] = 1.1 + 0.1 * k;
        run.in[107 + 3 * k] = 1.0;
        run.in[108 + 3 * k] = 0.0;
    }
    ASSERT_EQ(run.Init(), 0);
    auto* single = run.Module<Pro002003>(kSlotDCPro);
    auto* stages = run.Module<Pro002004>(kSlotOVPro);
    single->ret_time01 = 1.0f;  // a long drop-out delay that disabling must not wait for
    stages->parm_obCn3L3_02_ret_t = 1.0f;
    for (int ch : {21, 22, 23, 39, 40, 41}) {
        run.in[ch] = 1.25;
    }
    ASSERT_EQ(run.Step(0.0), 0);
    EXPECT_EQ(single->act_flg01, 0);  // 1.25 is below 1.3
    EXPECT_EQ(stages->flg_obCn3L3_01, 1);
    EXPECT_EQ(stages->flg_obCn3L3_02, 1);
    EXPECT_EQ(stages->flg_obCn3L3_03, 0);
    run.in[39] = 1.5;
    ASSERT_EQ(run.Step(0.0), 0);
    EXPECT_EQ(single->act_flg01, 1);

    stages->ena_obCn3L3_02 = 0;  // stage 2 off: its flag clears, stage 1 keeps its own
    run.in[57] = 0.0;            // the single element off
    ASSERT_EQ(run.Step(0.0), 0);
    EXPECT_EQ(single->act_flg01, 0);
    EXPECT_EQ(stages->flg_obCn3L3_01, 1);
    EXPECT_EQ(stages->flg_obCn3L3_02, 0);

    run.in[43] = 0.0;  // no running command: every flag clears
    ASSERT_EQ(run.Step(0.0), 0);
    EXPECT_EQ(stages->flg_obCn3L3_01, 0);
    EXPECT_EQ(stages->times[0].pickup, run.env()->time_counter);
    EXPECT_EQ(stages->times[0].dropout, run.env()->time_counter);
}

// Registration: names in the described order under each instance, the direction the wiring
// stores whatever the description file says, and the single-stage element off by default.
TEST(ProElement, RegistersItsSignalsAndTheWiringSetsTheDirection) {
    TempWorkDir dir;
    WriteFile("allDescriptions_0.tsv",
              "UFPro.parm_obCn3L1_ob\t\ttype=cu\t\tdefault=1.000000\n"
              "OVPro.parm_obCn3L3_ob\t\ttype=cu\t\tdefault=0.000000\n");
    EnvRun run;
    ASSERT_EQ(run.Init(), 0);
    const std::vector<std::string> single_params = {"parm_obCn3L1_ob", "parm_obCn3L1_allorany",
                                                    "event_type01",    "enable01",
                                                    "act_set01",       "ret_set01",
                                                    "act_time01",      "ret_time01"};
    for (const char* inst : {"HallOC", "DCPro", "OFPro", "UFPro"}) {
        EXPECT_EQ(RegisteredNames(*run.env()->parameters, inst), single_params) << inst;
        EXPECT_EQ(RegisteredNames(*run.env()->variables, inst),
                  std::vector<std::string>{"act_flg01"});
    }
    for (const char* inst : {"OVPro", "UVPro"}) {
        const std::vector<std::string> params = RegisteredNames(*run.env()->parameters, inst);
        ASSERT_EQ(params.size(), 20u);
        EXPECT_EQ(params[1], "parm_obCn3L3_allorany");
        EXPECT_EQ(params[2], "outMat_obCn3L3_01");
        EXPECT_EQ(params[19], "parm_obCn3L3_03_ret_t");
        EXPECT_EQ(RegisteredNames(*run.env()->variables, inst),
                  (std::vector<std::string>{"flg_obCn3L3_01", "flg_obCn3L3_02", "flg_obCn3L3_03"}));
    }
    const std::uint8_t directions[] = {
        run.Module<Pro002003>(kSlotHallOC)->parm_obCn3L1_ob,
        run.Module<Pro002003>(kSlotDCPro)->parm_obCn3L1_ob,
        run.Module<Pro002003>(kSlotOFPro)->parm_obCn3L1_ob,
        run.Module<Pro002003>(kSlotUFPro)->parm_obCn3L1_ob,
        run.Module<Pro002004>(kSlotOVPro)->parm_obCn3L3_ob,
        run.Module<Pro002004>(kSlotUVPro)->parm_obCn3L3_ob,
    };
    const std::uint8_t expected[] = {1, 1, 1, 0, 1, 0};
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(directions[k], expected[k]) << k;
    }
    EXPECT_EQ(run.Module<Pro002003>(kSlotHallOC)->enable01, 0);
    EXPECT_EQ(run.Module<Pro002004>(kSlotUVPro)->ena_obCn3L3_03, 1);
    EXPECT_FLOAT_EQ(run.Module<Pro002004>(kSlotUVPro)->parm_obCn3L3_03_ret, 1.2f);
}

}  // namespace
}  // namespace svg::testing
