// The current loops in the full build: registration and task order of the modulation chain,
// and the fast feed-forward switch on a voltage sag, with the module records in reach. A test
// host closes the loop with an average-value converter behind the series reactor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "framework/slots.h"
#include "modules/CurCtrl.h"
#include "modules/UFedCtrl.h"
#include "support/env_run.h"
#include "support/grid_signals.h"
#include "support/registry_names.h"

namespace svg::testing {
namespace {

constexpr double kCellVolts = 500.0;  // rated and actual cell voltage of the run

// The ratings with both rated cell voltages at the cells' voltage, stopped and blocked.
void Start(BasicGridDrive<EnvRun>& drive) {
    SetRatings(drive.run);
    drive.run.in[69] = drive.run.in[70] = kCellVolts;
    SetCellDc(drive.run, kCellVolts);
    ASSERT_EQ(drive.run.Init(), 0);
}

// One host step at `kv` against an average-value converter: 77 cells at their rated voltage
// behind the 13 mH reactor.
void PlantStep(BasicGridDrive<EnvRun>& drive, double kv) {
    drive.StepConverter(77.0 * kCellVolts, 0.013, 50.0, kv);
}

std::vector<std::string> Routines(const Environment* env, int list) {
    std::vector<std::string> names;
    for (const TaskNode* n = env->scheduler->lists[list - 1]->first; n != nullptr; n = n->next) {
        names.emplace_back(n->module->instance_name);
    }
    return names;
}

// Task list 1 closes with the current loops, the harmonic loops, the balance, the injection and
// the summation, in that order; task list 3 ends with the summation's slow routine. The three
// smaller modules register what they publish, in order.
TEST(CurrentLoopBuild, ModulationChainRegistersAndRunsInOrder) {
    TempWorkDir dir;
    EnvRun run;
    ASSERT_EQ(run.Init(), 0);
    const std::vector<std::string> list1 = Routines(run.env(), 1);
    const std::vector<std::string> tail = {"CurRefCal",  "GfmCtrl",        "CurCtrl",
                                           "HarCurCtrl", "InPhaseVolCtrl", "ThreeHarCtrl",
                                           "ModCal"};
    EXPECT_NE(std::search(list1.begin(), list1.end(), tail.begin(), tail.end()), list1.end());
    EXPECT_EQ(list1[4], "UFedCtrl");
    const std::vector<std::string> list3 = {"MeterCtrl", "MeterCtrl", "ModCal"};
    EXPECT_EQ(Routines(run.env(), 3), list3);

    struct Names {
        const char* instance;
        const char* type_name;
        int slot;
        std::vector<std::string> variables, parameters;
    };
    const Names kNames[] = {
        {"ModCal",
         "MODCAL",
         kSlotModCal,
         {"set_mod_a_sum", "set_mod_b_sum", "set_mod_c_sum", "test1", "test2", "test3"},
         {}},
        {"ThreeHarCtrl",
         "THREEHARCTRL",
         kSlotThreeHarCtrl,
         {"set_threehar_inject", "threehar_a_pos", "threehar_a_neg"},
         {"ena_ThreeHar", "parm_ThreeHar_Mode", "parm_Uff_filf", "parm_Uff_filf_sw"}},
        {"InPhaseVolCtrl",
         "INPHASEVOLCTRL",
         kSlotInPhaseVolCtrl,
         {"set_Udca_bal_coef", "set_Udcb_bal_coef", "set_Udcc_bal_coef", "test1", "test2", "test3",
          "test4", "test5", "test6", "test7"},
         {"parm_kp_Udcbalctrl"}},
    };
    for (const Names& n : kNames) {
        const ModuleHeader* h = ModuleInSlot(run.env(), n.slot);
        ASSERT_NE(h, nullptr) << n.instance;
        EXPECT_STREQ(h->instance_name, n.instance);
        EXPECT_STREQ(h->type_name, n.type_name);
        EXPECT_EQ(RegisteredNames(*run.env()->variables, n.instance), n.variables);
        EXPECT_EQ(RegisteredNames(*run.env()->parameters, n.instance), n.parameters);
    }
}

// A sag to 0.5 pu: the detector sees the waveform depart from the one two cycles earlier and
// the fast feed-forward switches on within a few milliseconds, so the modulation references
// follow the sag at the fast filter's pace. The ride-through holds the latch while it lasts;
// after the recovery the relay keeps the switch on for its off-delay of 0.625 s after the
// last step of the latch.
TEST(CurrentLoopBuild, SagSwitchesTheFastFeedForwardUntilTheOffDelayHasPassed) {
    BasicGridDrive<EnvRun> drive;
    Start(drive);
    const auto* ufed = drive.run.Module<UFedCtrl>(kSlotUFedCtrl);
    const auto* cur = drive.run.Module<CurCtrl>(kSlotCurCtrl);
    // The cells sit on a fixed DC source at their rated voltage, so the DC regulators have no
    // plant to undo what they integrate: start running once the cluster filters are full and
    // deblock once the DC reference has followed the cells.
    for (int k = 0; k < 15000; ++k) {
        SetCommands(drive.run, k >= 5000, k >= 1000);
        PlantStep(drive, 35.0);
    }
    ASSERT_EQ(ufed->flg_ffsw, 0);
    const float ud_before = ufed->set_Ud_ff;
    ASSERT_NEAR(ud_before, 1.0f, 0.01f);

    int on_after = -1;
    for (int k = 1; k <= 3000; ++k) {
        PlantStep(drive, 17.5);
        if (on_after < 0 && ufed->flg_ffsw == 1) {
            on_after = k;
        }
        if (k == on_after + 50) {  // 5 ms on the fast filter: tau = 0.8 ms
            EXPECT_NEAR(ufed->set_Ud_ff, 0.5f, 0.02f);
        }
    }
    // Half the sag is reached after about 40 of the 100 averaged differences; one more step
    // confirms it (1e-4 s).
    EXPECT_GT(on_after, 10);
    EXPECT_LT(on_after, 100);
    EXPECT_EQ(drive.run.out[9], 1.0);  // low-voltage ride-through holds the latch
    EXPECT_EQ(ufed->flg_ffsw, 1);

    int last_latch = 0;
    int off_at = -1;
    for (int k = 1; k <= 12000 && off_at < 0; ++k) {
        PlantStep(drive, 35.0);
        if (ufed->flg_Uabc_ffsw == 1) {
            last_latch = k;
        }
        if (ufed->flg_ffsw == 0) {
            off_at = k;
        }
    }
    ASSERT_GT(off_at, 0);
    EXPECT_NEAR(off_at - last_latch, 6250, 1);
    // Back on the normal filters, the loops settle at the grid voltage again.
    for (int k = 0; k < 5000; ++k) {
        PlantStep(drive, 35.0);
    }
    EXPECT_NEAR(ufed->set_Ud_ff, ud_before, 0.005f);
    EXPECT_TRUE(std::isfinite(cur->md_pos));
}

}  // namespace
}  // namespace svg::testing
