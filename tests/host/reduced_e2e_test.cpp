// The reduced deliverable through its exported functions: its registry against the full
// build's, its host channels, and a run on a grid behind an average-value converter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/grid_drive.h"
#include "support/host_run.h"
#include "support/temp_dir.h"

namespace svg::testing {
namespace {

// The parameters the reduced build does not have, and those whose default it changes (the
// description-file line it writes instead).
const std::set<std::string> kRemoved = {"Parameter.parm_Vn_kV",
                                        "Parameter.parm_Qn_Mvar",
                                        "Parameter.parm_LTotCal",
                                        "Parameter.parm_phs_Rnet_Snode_st1",
                                        "Parameter.parm_phs_Rnet_Snode_st2",
                                        "Parameter.parm_RingNetwork_modeEn",
                                        "Parameter.parm_RingNetwork_selfChcek",
                                        "CurCtrl.ena_InstanFf",
                                        "CurCtrl.ena_test_mode",
                                        "CurCtrl.parm_pos_cur_kp_test",
                                        "CurCtrl.parm_pos_cur_ki_test",
                                        "CurCtrl.parm_GFM_Mode_Sel",
                                        "CurCtrl.kp_zeroH3",
                                        "CurCtrl.kr_zeroH3",
                                        "CurCtrl.kp_H2",
                                        "CurCtrl.kr_H2",
                                        "CurRef.parm_Ineg_op_type",
                                        "CurRefCal.parm_round_lim_type",
                                        "CurTrans.ena_HALL_lpf_transient",
                                        "CurTrans.parm_HALL_wc_lpf_kp",
                                        "CurTrans.parm_transtype_i",
                                        "CurTrans.parm_IZero_wc_lpf",
                                        "HLVRTCtrl.parm_Iqpos_ref_lim",
                                        "HLVRTCtrl.parm_HLVRT_delay_time",
                                        "HLVRTCtrl.ena_Uneglim",
                                        "MeterCtrl.parm_UfbkMode",
                                        "MeterCtrl.parm_UABSFil",
                                        "MeterCtrl.parm_Upos_cal_type",
                                        "ModeCtrl.CoorMasterEnb",
                                        "ModeCtrl.SVGShuntEnb",
                                        "ModeCtrl.ena_test_mode",
                                        "ModeCtrl.parm_kp_U_test",
                                        "ModeCtrl.parm_ki_U_test",
                                        "PLL.parm_PllParmGain",
                                        "PLL.parm_transtype_u",
                                        "UFedCtrl.parm_Uff_kp",
                                        "UFedCtrl.parm_ffsw_relaytime"};

struct Changed {
    const char* name;
    const char* type;
    const char* value;
};
constexpr Changed kChanged[] = {
    {"Parameter.parm_cellnum", "f", "36"},
    {"Parameter.parm_CapPM", "f", "3.68"},
    {"Parameter.parm_Auto_Uadjust_Cellnum", "iu", "0"},
    {"CurCtrl.parm_pos_cur_kilim", "f", "1"},
    {"CurCtrl.parm_pos_cur_pilim", "f", "1"},
    {"CurRefCal.parm_Iqpos_ref_lim", "f", "1.15"},
    {"ModeCtrl.parm_Iqpos_ref_lim", "f", "1.15"},
    {"HarCurCtrl.parm_harloop1_phashift", "f", "-0.24"},
    {"HarCurCtrl.parm_harloop2_phashift", "f", "0.24"},
    {"HarCurCtrl.parm_harloop3_phashift", "f", "-0.24"},
    {"HarCurCtrl.parm_harloop4_phashift", "f", "0.24"},
    {"HarCurCtrl.ena_harloop3", "cu", "0"},
    {"HarCurCtrl.ena_harloop4", "cu", "0"},
    {"MeterCtrl.parm_Udccmd", "f", "950"},
    {"PLL.parm_pll_kp", "f", "10.8"},
    {"PLL.parm_pll_ki", "f", "46"},
    {"UdcVolCtrl.parm_Udccmd", "f", "950"},
    {"UdcVolCtrl.parm_Udccmd_HVRT", "f", "1.1"},
    {"UdcVolCtrl.parm_Udcctrl_pilim", "f", "0"},
    {"UdcVolCtrl.parm_Udcctrl_kilim", "f", "2"},
    {"UdcVolCtrl.parm_Inegctrl_kp", "f", "2.91"},
    {"UdcVolCtrl.parm_Inegctrl_ki", "f", "10"},
    {"UdcVolCtrl.parm_Inegctrl_pilim", "f", "2"},
    {"UdcVolCtrl.parm_Inegctrl_kilim", "f", "10"},
    {"UFedCtrl.ena_Uff_sw", "cu", "0"},
    {"UFedCtrl.parm_Uff_filf", "f", "1256"},
};

// The host outputs of the reduced build, in order: its recorded variables.
constexpr const char* kWaves[] = {"Parameter.Task1",
                                  "Parameter.Task2",
                                  "Parameter.Task3",
                                  "Parameter.TsTask1Rcp",
                                  "Parameter.TsTask2Rcp",
                                  "Parameter.TsTask3Rcp",
                                  "Parameter.Qn",
                                  "Parameter.Un",
                                  "Parameter.In",
                                  "Parameter.FrqHzNom",
                                  "Parameter.trans_type",
                                  "Parameter.LTotCal",
                                  "Parameter.Un_kV",
                                  "Parameter.Qn_Mvar",
                                  "Parameter.trans_HVnom",
                                  "Parameter.trans_LVnom",
                                  "Parameter.cellnum",
                                  "Parameter.redy_lnk_num",
                                  "Parameter.cellnum_ll",
                                  "Parameter.trans_High_U",
                                  "Parameter.trans_Low_U",
                                  "Parameter.Uctrl_cmd",
                                  "Parameter.vbi_check",
                                  "Parameter.hard_work",
                                  "Parameter.Qctrl_mode",
                                  "ModCal.set_mod_a_sum",
                                  "ModCal.set_mod_b_sum",
                                  "ModCal.set_mod_c_sum",
                                  "CurRefCal.set_Iqpos_ref_sum",
                                  "CurRefCal.I_round_lim",
                                  "HLVRTCtrl.set_Iqpos_ref_sel",
                                  "HLVRTCtrl.flg_HVRT_mod",
                                  "HLVRTCtrl.flg_LVRT_mod",
                                  "HLVRTCtrl.Ipqref_lock",
                                  "HLVRTCtrl.lim_VRT",
                                  "InPhaseVolCtrl.set_Udca_bal_coef",
                                  "InPhaseVolCtrl.set_Udcb_bal_coef",
                                  "InPhaseVolCtrl.set_Udcc_bal_coef",
                                  "MeterCtrl.set_Ucmd_pu",
                                  "MeterCtrl.set_Ufbk_pu",
                                  "MeterCtrl.set_Qsvg_cmd_pu",
                                  "MeterCtrl.set_Qsys_cmd_pu",
                                  "MeterCtrl.set_Isvg_cmd_pu",
                                  "MeterCtrl.set_Ufbk_rms",
                                  "PLL.set_Udpos",
                                  "PLL.set_Uqpos",
                                  "PLL.set_Udneg",
                                  "PLL.set_Uqneg",
                                  "PLL.set_grid_freq",
                                  "PLL.set_grid_theta",
                                  "UdcVolCtrl.set_Udccmd_final",
                                  "UdcVolCtrl.set_Udc_mean",
                                  "UdcVolCtrl.set_Idpos_ref",
                                  "UFedCtrl.flg_ffsw",
                                  "ThreeHarCtrl.set_threehar_inject",
                                  "ThreeHarCtrl.threehar_a_pos",
                                  "ThreeHarCtrl.threehar_a_neg"};

// Modules of the full build that the reduced build does not have.
const std::set<std::string> kFullOnlyModules = {"GfmCtrl", "HallOC", "DCPro", "OFPro",
                                                "UFPro",   "OVPro",  "UVPro"};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string NameOf(const std::string& line) { return line.substr(0, line.find('\t')); }

// Init and Terminate of a deliverable in its own folder; the folder's files.
std::string RunAndRead(const Deliverable& d, const std::string& folder, const char* file) {
    std::filesystem::create_directory(folder);
    const auto back = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    {
        HostRun run(d);
        EXPECT_EQ(run.Init(), 0);
    }
    const std::string text = ReadFile(file);
    std::filesystem::current_path(back);
    return text;
}

// The reduced build's description file is the full build's, less the modules and parameters
// it lacks, with its own defaults and Parameter.parm_unit_type after the Parameter lines; its
// wave-channel file lists exactly its 57 host outputs.
TEST(ReducedRegistry, IsTheFullBuildsLessWhatItLeavesOutWithItsOwnDefaults) {
    TempWorkDir dir;
    const std::string full = RunAndRead(kTravik, "full", "allDescriptions_0.tsv");
    std::string expected;
    std::string last_module;
    for (const std::string& line : Lines(full)) {
        const std::string name = NameOf(line);
        const std::string module = name.substr(0, name.find('.'));
        if (last_module == "Parameter" && module != "Parameter") {
            expected += "Parameter.parm_unit_type\t\ttype=cu\t\tdefault=0.000000\n";
        }
        last_module = module;
        if (kFullOnlyModules.count(module) != 0 || kRemoved.count(name) != 0) {
            continue;
        }
        const auto changed = std::find_if(std::begin(kChanged), std::end(kChanged),
                                          [&](const Changed& c) { return name == c.name; });
        if (changed == std::end(kChanged)) {
            expected += line + "\n";
            continue;
        }
        char text[160];
        std::snprintf(text, sizeof text, "%s\t\ttype=%s\t\tdefault=%f\n", changed->name,
                      changed->type, std::strtod(changed->value, nullptr));
        expected += text;
    }
    EXPECT_EQ(RunAndRead(kPellum, "reduced", "allDescriptions_0.tsv"), expected);

    std::string waves;
    int number = 1;
    for (const char* name : kWaves) {
        waves += "\xE5\xBD\x95\xE6\xB3\xA2\xE9\x80\x9A\xE9\x81\x93" + std::to_string(number++) +
                 ":\t\t" + name + "\n";
    }
    EXPECT_EQ(ReadFile("reduced/RecordWaves_0.tsv"), waves);
}

// Exactly one output per recorded variable: the host's array past the 57th double is not
// touched, whatever the inputs.
TEST(ReducedHost, WritesExactlyItsFiftySevenOutputs) {
    TempWorkDir dir;
    HostRun run(kPellum);
    run.out.fill(-7.0);
    ASSERT_EQ(run.Init(), 0);
    for (double value : {0.0, 1e30, -1e30, 3.5}) {
        std::fill(run.in.begin(), run.in.begin() + 64, value);
        run.Step(0.1);
        EXPECT_NE(run.out[56], -7.0);
        EXPECT_TRUE(
            std::all_of(run.out.begin() + 57, run.out.end(), [](double v) { return v == -7.0; }));
    }
}

struct ReducedHostRun : HostRun {
    ReducedHostRun() : HostRun(kPellum) {}
};

class ReducedRun : public ::testing::Test {
  protected:
    static constexpr double kCellVolts = 950.0;  // the DC command of this build
    static constexpr double kCells = 36.0;       // its cell count

    ReducedRun() {
        drive_.modulation_output = 25;
        in()[43] = 30.0;  // Mvar
        in()[44] = 35.0;  // kV
        in()[45] = 13.0;  // mH
        for (int ph = 0; ph < 3; ++ph) {
            in()[36 + ph] = 1.0;  // DC balance divisors
        }
        SetCellDc(run_, kCellVolts);
        EXPECT_EQ(run_.Init(), 0);
    }
    std::array<double, kChannels>& in() { return run_.in; }
    // The generated grid on every PT (the drive sets PT4) and the converter behind 13 mH.
    void Step(double kv = 35.0) {
        for (int ph = 0; ph < 3; ++ph) {
            for (int pt = 0; pt < 3; ++pt) {
                in()[3 * pt + ph] = in()[9 + ph];
                in()[12 + 3 * pt + ph] = in()[21 + ph];
            }
        }
        drive_.StepConverter(kCells * kCellVolts, 13e-3, 50.0, kv);
    }

    BasicGridDrive<ReducedHostRun> drive_;
    HostRun& run_ = drive_.run;
};

// Ratings on 43..45, a balanced grid, cell voltages on 39..41, then running and deblock on
// 61 and 60: the loop locks to 50 Hz, and the modulation outputs carry a balanced set of equal
// amplitude inside [-1, 1], whose currents the converter then holds small.
TEST_F(ReducedRun, LocksToTheGridAndModulatesABalancedSet) {
    for (int k = 0; k < 2000; ++k) {
        Step();
    }
    in()[60] = 1.0;
    in()[61] = 1.0;
    for (int k = 0; k < 4000; ++k) {
        Step();
    }
    double peak[3] = {};
    for (int k = 0; k < 200; ++k) {  // one cycle
        Step();
        EXPECT_NEAR(run_.out[48], 50.0, 0.01);
        EXPECT_NEAR(TurnError(run_.out[49], drive_.NextGridTurns(50.0)), 0.0, 1e-3);
        EXPECT_NEAR(run_.out[25] + run_.out[26] + run_.out[27], 0.0, 0.01);
        for (int ph = 0; ph < 3; ++ph) {
            EXPECT_LE(std::abs(run_.out[25 + ph]), 1.0);
            peak[ph] = std::max(peak[ph], std::abs(run_.out[25 + ph]));
        }
    }
    const double grid_peak = 35e3 * std::sqrt(2.0 / 3.0) / (kCells * kCellVolts);
    for (int ph = 0; ph < 3; ++ph) {
        EXPECT_NEAR(peak[ph], grid_peak, 0.01) << ph;
    }
    EXPECT_EQ(run_.out[53], 0.0);  // no fast feed-forward on a steady grid
}

// A rated voltage of 0 on channel 44: the rated current takes the safe reciprocal, so every
// output stays finite, and the run recovers once the rating is back.
TEST_F(ReducedRun, ZeroRatedVoltageKeepsEveryOutputFinite) {
    in()[60] = 1.0;
    in()[61] = 1.0;
    for (int k = 0; k < 500; ++k) {
        Step();
    }
    in()[44] = 0.0;
    for (int k = 0; k < 500; ++k) {
        Step();
        for (int ch = 0; ch < 57; ++ch) {
            ASSERT_TRUE(std::isfinite(run_.out[ch])) << ch << " at step " << k;
        }
    }
    EXPECT_EQ(run_.out[7], 0.0);  // Parameter.Un
    in()[44] = 35.0;
    for (int k = 0; k < 6000; ++k) {
        Step();
    }
    EXPECT_NEAR(run_.out[48], 50.0, 0.01);
    EXPECT_NEAR(run_.out[8], 30e6 / (std::sqrt(3.0) * 35e3), 0.01);  // Parameter.In
}

}  // namespace
}  // namespace svg::testing
