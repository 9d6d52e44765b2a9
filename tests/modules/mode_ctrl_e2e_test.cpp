// Operating modes end to end: the full deliverable driven like a host (ratings, PLL gains, a
// balanced grid on PT4, the run commands, the mode on channel 44), with the reference read
// from ModeCtrl's record. A test host closes the loop by injecting the referenced reactive
// current as Hall currents.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>

#include "framework/slots.h"
#include "modules/ModeCtrl.h"
#include "support/env_run.h"
#include "support/grid_signals.h"

namespace svg::testing {
namespace {

// Hall currents 90 degrees behind the voltage give positive (capacitive) reactive current.
constexpr double kCapacitiveShift = -std::numbers::pi / 2.0;

class ModeEndToEnd : public ::testing::Test {
  protected:
    // Builds the library with the ratings (every other setting channel at its registered
    // value), plus description-file lines written before the start (as a user edits the file).
    void Start(BasicGridDrive<EnvRun>& drive, const char* description = "") {
        std::ofstream("allDescriptions_0.tsv") << description;
        SetRatings(drive.run);
        ASSERT_EQ(drive.run.Init(), 0);
    }
    static ModeCtrl* Mode(BasicGridDrive<EnvRun>& drive) {
        return drive.run.Module<ModeCtrl>(kSlotModeCtrl);
    }
    // Host steps with the grid at `kv`; with `plant` the converter's current follows the
    // published reference, as ideal current control would.
    static void Run(BasicGridDrive<EnvRun>& drive, double seconds, double kv, bool plant) {
        const ModeCtrl* mc = Mode(drive);
        const long steps = std::lround(seconds / kHostDt);
        for (long k = 0; k < steps; ++k) {
            const double amps = plant ? mc->set_Iqpos_ref_ss * kRatedPeakAmps : 0.0;
            drive.Step(50.0, kv, amps, kCapacitiveShift);
        }
    }
    // One task-2 period: ten host steps, the first of which runs task list 2.
    static void Period(BasicGridDrive<EnvRun>& drive, double kv = 35.0) {
        Run(drive, 10 * kHostDt, kv, false);
    }
};

// Channel 44 selects the mode; the open-loop reference moves by 0.05 per task-2 period.
TEST_F(ModeEndToEnd, ModeOnChannel44SetsTheReferenceWhichRampsAtTheRateLimit) {
    BasicGridDrive<EnvRun> drive;
    Start(drive);
    drive.run.in[66] = 15.0;  // converter reactive power command: 0.5 of 30 Mvar
    Run(drive, 0.3, 35.0, false);
    const ModeCtrl* mc = Mode(drive);
    EXPECT_FLOAT_EQ(mc->set_Iqpos_ref_ss, -0.05f);  // stopped: minimum magnitude, negative

    SetCommands(drive.run, true, true);
    for (int k = 1; k <= 10; ++k) {
        Period(drive);
        EXPECT_NEAR(mc->set_Iqpos_ref_ss, -0.05 + 0.05 * k, 1e-5) << "period " << k;
    }
    Run(drive, 0.1, 35.0, false);
    EXPECT_EQ(mc->flg_Qsvg_mode, 1);
    // Open loop: command over the d voltage, 0.5 per unit at the nominal voltage.
    EXPECT_NEAR(mc->set_Iqpos_ref_ss, 0.5, 0.005);

    drive.run.in[44] = 5.0;  // current command of 10 A: far below the minimum magnitude
    Run(drive, 0.1, 35.0, false);
    EXPECT_EQ(mc->flg_I_mode, 1);
    EXPECT_EQ(mc->flg_Qsvg_mode, 0);
    // The current command keeps its own sign memory, which has never seen +0.05.
    EXPECT_FLOAT_EQ(mc->set_Iqpos_ref_ss, -0.05f);

    drive.run.in[44] = 300.0;  // low byte 44: acts as mode 0
    Run(drive, 0.1, 35.0, false);
    EXPECT_EQ(mc->flg_Qsvg_mode, 1);
    EXPECT_NEAR(mc->set_Iqpos_ref_ss, 0.5, 0.005);
}

// Voltage control with a droop of 0.1: the converter settles where the voltage deviation
// equals droop times current, I = (Ucmd - U)/0.1, on either side; once the error sits inside
// the dead zone, a small voltage move leaves the reference frozen.
TEST_F(ModeEndToEnd, VoltageModeFollowsAGridStepWithItsDroopAndTheDeadZoneFreezesIt) {
    BasicGridDrive<EnvRun> drive;
    Start(drive,
          "ModeCtrl.ena_Uslope\t\ttype=cu\t\tdefault=1.000000\n"
          "ModeCtrl.parm_Uslope\t\ttype=f\t\tdefault=0.100000\n");
    drive.run.in[44] = 1.0;
    SetCommands(drive.run, true, true);
    const ModeCtrl* mc = Mode(drive);
    Run(drive, 0.5, 35.0, true);
    EXPECT_EQ(mc->flg_U_mode, 1);

    const double low = (35.0 - 33.0) / 35.0 / 0.1;
    Run(drive, 2.0, 33.0, true);
    EXPECT_NEAR(mc->set_Iqpos_ref_ss, low, 0.01);
    Run(drive, 2.0, 37.0, true);
    EXPECT_NEAR(mc->set_Iqpos_ref_ss, -low, 0.01);
    EXPECT_EQ(mc->flg_in_zone, 1);

    const float frozen = mc->set_Iqpos_ref_ss;
    Run(drive, 1.0, 36.8, true);
    EXPECT_EQ(mc->flg_in_zone, 1);
    EXPECT_EQ(mc->err_forki, 0.0f);
    EXPECT_EQ(mc->set_Iqpos_ref_ss, frozen);
}

// A coordinated slave runs no loop of its own and publishes its master's reference, received
// in 10 kvar units and converted to its own rating: a master of 30 Mvar at 0.5 per unit is 1.0
// per unit of a 15 Mvar slave.
TEST_F(ModeEndToEnd, CoordinatedSlaveFollowsItsMaster) {
    BasicGridDrive<EnvRun> master;
    Start(master);
    BasicGridDrive<EnvRun> slave;
    Start(slave, "ModeCtrl.CoorMasterEnb\t\ttype=cu\t\tdefault=0.000000\n");
    master.run.in[66] = 15.0;
    slave.run.in[60] = 15.0;
    slave.run.in[44] = 1.0;  // its own mode would be voltage control
    SetCommands(master.run, true, true);
    SetCommands(slave.run, true, true);

    const std::uint8_t valid = 1;
    const float group_rating = 4500.0f;  // 45 Mvar in 10 kvar units
    float link = 0.0f;
    ModeCtrl* m = Mode(master);
    ModeCtrl* s = Mode(slave);
    m->CoorMode_Valid = &valid;
    m->Qn_Coor_10kVar[0] = &group_rating;
    s->SCoorMode_Valid = &valid;
    s->Iqref_SRec_10kVar = &link;

    for (int k = 0; k < 3000; ++k) {
        master.Step(50.0, 35.0);
        link = m->Iqpos_ref_Send_10kVar[0];
        slave.Step(50.0, 33.0);
        ASSERT_FLOAT_EQ(s->set_Iqpos_ref_ss, link / 1500.0f) << k;
    }
    EXPECT_EQ(m->Master_CoorMode_Valid, 1);
    EXPECT_EQ(m->flg_seq_running_final, 1);
    EXPECT_EQ(s->CoorMode_Valid_final, 1);
    EXPECT_EQ(s->flg_seq_running_final, 0);
    EXPECT_NEAR(m->set_Iqpos_ref_ss_CoorMode, 0.5, 0.005);
    EXPECT_NEAR(s->set_Iqpos_ref_ss, 1.0, 0.01);
}

}  // namespace
}  // namespace svg::testing
