// Power calculation: powers and power factors of known phasors with either filter order, the
// measuring-point selection, the running delay on the environment time counter, the
// low-active-power block and the modulation-frequency switch, and recovery from bad
// measurements.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "pll_curtrans_pqcal_fixture.h"

namespace svg::testing::measurement {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr double kTs = 1e-4;
using Phasor = std::complex<double>;

// Balanced 50 Hz sets at the POC and the PCC and the system current, per unit peak phasors,
// and the converter's dq voltage and current.
struct Operating {
    Phasor upoc, upcc, isys;
    Dq udq, idq;
};

// Active and reactive power of amplitude-invariant peak phasors, reactive power counted
// positive for a current leading the voltage.
double ActivePower(Phasor u, Phasor i) { return std::real(u * std::conj(i)); }
double ReactivePower(Phasor u, Phasor i) { return std::imag(i * std::conj(u)); }
double PowerFactor(double p, double q) {
    return p == 0.0 && q == 0.0 ? 1.0 : std::fabs(p) / std::hypot(p, q);
}

class PqCalTest : public Bench {
  protected:
    void Drive(int ticks, const Operating& op) {
        Run(ticks, [&](int) {
            upoc_ = PhaseSet(std::abs(op.upoc), turns_, std::arg(op.upoc));
            upcc_ = PhaseSet(std::abs(op.upcc), turns_, std::arg(op.upcc));
            isys_ = PhaseSet(std::abs(op.isys), turns_, std::arg(op.isys));
            udq_ = op.udq;
            idq_ = op.idq;
            turns_ = std::fmod(turns_ + 50.0 * kTs, 1.0);
        });
    }

    void ExpectPowers(const Operating& op, double tol = 1e-4) {
        const double ppoc = ActivePower(op.upoc, op.isys);
        const double qpoc = ReactivePower(op.upoc, op.isys);
        const double ppcc = ActivePower(op.upcc, op.isys);
        const double qpcc = ReactivePower(op.upcc, op.isys);
        const double qn = qn_;
        EXPECT_NEAR(pq_->set_Ppoc, qn * ppoc, qn * tol);
        EXPECT_NEAR(pq_->set_Qpoc, qn * qpoc, qn * tol);
        EXPECT_NEAR(pq_->set_Ppcc, qn * ppcc, qn * tol);
        EXPECT_NEAR(pq_->set_Qpcc, qn * qpcc, qn * tol);
        EXPECT_NEAR(pq_->set_PFpoc, PowerFactor(ppoc, qpoc), tol);
        EXPECT_NEAR(pq_->set_PFpcc, PowerFactor(ppcc, qpcc), tol);
        const bool poc = pq_->parm_ctrl_site == 0;
        EXPECT_NEAR(pq_->set_P_sel_pu, poc ? ppoc : ppcc, tol);
        EXPECT_NEAR(pq_->set_Q_sel_pu, poc ? qpoc : qpcc, tol);
        EXPECT_NEAR(pq_->set_PF_sel, poc ? pq_->set_PFpoc : pq_->set_PFpcc, 1e-7);
        EXPECT_NEAR(pq_->set_Psel, qn * (poc ? ppoc : ppcc), qn * tol);
        EXPECT_NEAR(pq_->set_Qsel, qn * (poc ? qpoc : qpcc), qn * tol);
        // The converter's own power from its dq quantities.
        const double psvg = op.idq.d * op.udq.d + op.idq.q * op.udq.q;
        const double qsvg = op.idq.q * op.udq.d - op.idq.d * op.udq.q;
        EXPECT_NEAR(pq_->set_Psvg_pu, psvg, tol);
        EXPECT_NEAR(pq_->set_Qsvg_pu, qsvg, tol);
        EXPECT_NEAR(pq_->set_Psvg, std::fabs(qn * psvg), qn * tol);
        EXPECT_NEAR(pq_->set_Qsvg, qn * qsvg, qn * tol);
    }

    // Constant "phases" a = x, b = c = -x/2: alpha = x, beta = 0, so the POC power is the
    // product of the two values.
    void SetPocActivePower(double mw) {
        upoc_ = {1.0f, -0.5f, -0.5f};
        const auto k = static_cast<float>(mw / qn_);
        isys_ = {k, -0.5f * k, -0.5f * k};
    }
    // The converter's reactive power Iq Ud, per unit.
    void SetConverterReactivePower(float q) {
        udq_ = {1.0f, 0.0f};
        idq_ = {0.0f, q};
    }
    // Ticks until `flag` reads `value`, at most `limit`; the count, or -1.
    int TicksUntil(const std::uint8_t& flag, std::uint8_t value, int limit) {
        for (int n = 1; n <= limit; ++n) {
            Ticks(1);
            if (flag == value) {
                return n;
            }
        }
        return -1;
    }

    double turns_ = 0.1;
};

TEST_F(PqCalTest, RegistersItsSignalsInOrderWithTheirDefaults) {
    EXPECT_STREQ(pq_->hdr.type_name, "PQCAL");
    const std::vector<std::string> params = {
        "parm_pwr_filfc",          "parm_ctrl_site",         "ena_Plow_block",
        "parm_Plow_in_thr",        "parm_Plow_out_thr",      "parm_Plow_in_delay",
        "parm_Plow_out_delay",     "ena_modfreq_sw",         "parm_freqsw_in_thr",
        "parm_freqsw_out_thr",     "parm_freqsw_in_delay",   "parm_freqsw_out_delay",
        "parm_carrier_multi_high", "parm_carrier_multi_low", "parm_dir_power"};
    const std::vector<std::string> vars = {"set_Psvg_pu",
                                           "set_Qsvg_pu",
                                           "set_P_sel_pu",
                                           "set_Q_sel_pu",
                                           "set_PF_sel",
                                           "set_Psvg",
                                           "set_Qsvg",
                                           "set_Ppcc",
                                           "set_Qpcc",
                                           "set_PFpcc",
                                           "set_Ppoc",
                                           "set_Qpoc",
                                           "set_PFpoc",
                                           "set_Psel",
                                           "set_Qsel",
                                           "flg_P_low_block",
                                           "flg_modfreq_sw",
                                           "set_carrier_multi",
                                           "set_rcp_carrier_multi",
                                           "order_filter",
                                           "dir_power_test",
                                           "Upoc_alpha",
                                           "Upoc_beta",
                                           "Upcc_alpha",
                                           "Upcc_beta",
                                           "Isys_alpha",
                                           "Isys_beta",
                                           "set_Psvg1",
                                           "set_Qsvg1",
                                           "flg_run_delay",
                                           "err_Plow_in",
                                           "flg_Plowin_temp",
                                           "flg_Plowin_delay",
                                           "flg_Plowout_temp",
                                           "flg_Plowout_delay",
                                           "flg_freqsw_in_temp",
                                           "flg_freqswin_delay",
                                           "flg_freqsw_out_temp",
                                           "flg_freqswout_delay"};
    EXPECT_EQ(RegisteredNames(*env_->parameters, "PQCal"), params);
    EXPECT_EQ(RegisteredNames(*env_->variables, "PQCal"), vars);
    EXPECT_EQ(pq_->parm_pwr_filfc, 471.0f);
    EXPECT_EQ(pq_->parm_freqsw_out_delay, 1.0f);
    EXPECT_EQ(pq_->second[kPsvg].Order, 2);
}

struct PowerCase {
    const char* name;
    std::uint8_t order_filter;
    std::uint8_t ctrl_site;
    Operating op;
};

class PqCalPowerTest : public PqCalTest, public ::testing::WithParamInterface<PowerCase> {};

TEST_P(PqCalPowerTest, PowersAndPowerFactorsOfKnownPhasors) {
    pq_->order_filter = GetParam().order_filter;
    pq_->parm_ctrl_site = GetParam().ctrl_site;
    Drive(1000, GetParam().op);
    ExpectPowers(GetParam().op);
}

const Operating kLagging{std::polar(1.0, 0.0),
                         std::polar(0.98, 0.1),
                         std::polar(0.6, -0.5),
                         {1.0f, 0.05f},
                         {0.1f, -0.7f}};
const Operating kExporting{std::polar(1.05, 2.0),
                           std::polar(0.9, 1.7),
                           std::polar(0.4, 5.0),
                           {0.95f, -0.1f},
                           {-0.3f, 0.9f}};

INSTANTIATE_TEST_SUITE_P(Phasors, PqCalPowerTest,
                         ::testing::Values(PowerCase{"FirstOrderAtPoc", 0, 0, kLagging},
                                           PowerCase{"SecondOrderAtPoc", 1, 0, kLagging},
                                           PowerCase{"FirstOrderAtPcc", 0, 1, kExporting},
                                           PowerCase{"SecondOrderAtPcc", 7, 2, kExporting},
                                           PowerCase{"FirstOrderExportingAtPoc", 0, 0, kExporting},
                                           PowerCase{"NoPowerUnityFactor", 0, 0, {}}),
                         CaseName<PowerCase>);

TEST_F(PqCalTest, EitherDirectionSwitchNegatesTheConverterReactivePower) {
    SetConverterReactivePower(0.4f);
    const std::uint8_t switches[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    for (const auto& s : switches) {
        pq_->parm_dir_power = s[0];
        pq_->dir_power_test = s[1];
        Ticks(500);
        const float sign = s[0] != 0 || s[1] != 0 ? -1.0f : 1.0f;
        EXPECT_NEAR(pq_->set_Qsvg, sign * 30.0f * 0.4f, 1e-3) << int(s[0]) << int(s[1]);
        EXPECT_NEAR(pq_->set_Qsvg_pu, 0.4f, 1e-4);
    }
}

// The running delay rises 3000000 counter units after running starts and falls 1000000
// units after it stops.
TEST_F(PqCalTest, RunningDelayFollowsTheSequenceOnTheEnvironmentCounter) {
    Ticks(10);
    const std::uint32_t stopped_at = env_->time_counter;
    running_ = 1;
    ASSERT_GT(TicksUntil(pq_->flg_run_delay, 1, 40000), 0);
    EXPECT_EQ(env_->time_counter - stopped_at, 3000000u);
    Ticks(100);
    const std::uint32_t last_running = env_->time_counter;
    running_ = 0;
    ASSERT_GT(TicksUntil(pq_->flg_run_delay, 0, 20000), 0);
    EXPECT_EQ(env_->time_counter - last_running, 1000000u);
    // A short run does not raise it.
    running_ = 1;
    Ticks(29000);
    running_ = 0;
    Ticks(1);
    running_ = 1;
    Ticks(2000);
    EXPECT_EQ(pq_->flg_run_delay, 0);
}

TEST_F(PqCalTest, RunningDelayCompletesAcrossTheCounterWrap) {
    env_->time_counter = 4294967296u - 1000000u;
    Ticks(1);
    const std::uint32_t stopped_at = env_->time_counter;
    running_ = 1;
    ASSERT_GT(TicksUntil(pq_->flg_run_delay, 1, 40000), 0);
    // Stamps are single-precision, so near 2^32 they are kept to 512 units.
    EXPECT_NEAR(static_cast<double>(env_->time_counter - stopped_at), 3e6, 1024.0);
}

// Elapsed time between two tick counts at the 100 us task period.
double Seconds(int ticks) { return ticks * kTs; }

// Ticks a 5 s on-delay takes at the 100 us period: the remaining time counts down in single
// precision, and 5.0f reaches 1e-5 after 50005 subtractions of 1e-4f (counted in python3 with
// struct.pack('f') rounding after every subtraction), not 50000.
constexpr int kFiveSecondTicks = 50005;

TEST_F(PqCalTest, LowPowerBlockSetsAfterFiveSecondsBelowAndClearsAfterFiveSecondsAbove) {
    pq_->ena_Plow_block = 1;
    running_ = 1;
    SetPocActivePower(0.5);
    // Entry is only looked at once the running delay is up (3 s).
    ASSERT_GT(TicksUntil(pq_->flg_Plowin_temp, 1, 40000), 0);
    EXPECT_EQ(pq_->flg_run_delay, 1);
    EXPECT_NEAR(pq_->err_Plow_in, 0.5, 1e-4);
    EXPECT_EQ(pq_->flg_P_low_block, 0);
    EXPECT_EQ(TicksUntil(pq_->flg_P_low_block, 1, 60000), kFiveSecondTicks);

    // Between the levels nothing changes; above the exit level for 5 s clears the block.
    SetPocActivePower(3.0);
    Ticks(60000);
    EXPECT_EQ(pq_->flg_P_low_block, 1);
    SetPocActivePower(6.0);
    const int rise = TicksUntil(pq_->flg_Plowout_temp, 1, 1000);
    ASSERT_GT(rise, 0);
    EXPECT_EQ(TicksUntil(pq_->flg_P_low_block, 0, 60000), kFiveSecondTicks);

    // Stopping clears the running delay, not the block: its exit needs the power high.
    SetPocActivePower(0.5);
    ASSERT_GT(TicksUntil(pq_->flg_P_low_block, 1, 60000), 0);
    running_ = 0;
    ASSERT_GT(TicksUntil(pq_->flg_run_delay, 0, 20000), 0);
    Ticks(60000);
    EXPECT_EQ(pq_->flg_Plowin_temp, 0);
    EXPECT_EQ(pq_->flg_P_low_block, 1);
}

TEST_F(PqCalTest, ResetClearsTheLowPowerBlockUnlessTheEntryIsConfirmed) {
    pq_->ena_Plow_block = 1;
    pq_->parm_Plow_in_delay = 0.01f;
    running_ = 1;
    SetPocActivePower(0.5);
    ASSERT_GT(TicksUntil(pq_->flg_P_low_block, 1, 40000), 0);
    reset_ = 1;
    Ticks(10);
    EXPECT_EQ(pq_->flg_P_low_block, 1);  // set wins
    SetPocActivePower(3.0);
    Ticks(100);
    EXPECT_EQ(pq_->flg_P_low_block, 0);
}

TEST_F(PqCalTest, DisabledModulationSwitchKeepsTheLowCarrierMultiplier) {
    running_ = 1;
    SetConverterReactivePower(0.01f);
    Ticks(40000);
    EXPECT_EQ(pq_->flg_freqsw_out_temp, 1);
    EXPECT_EQ(pq_->flg_freqsw_in_temp, 0);
    EXPECT_EQ(pq_->flg_modfreq_sw, 0);
    EXPECT_EQ(pq_->set_carrier_multi, 3.0f);
    EXPECT_EQ(pq_->set_rcp_carrier_multi, 1.0f / 3.0f);
}

TEST_F(PqCalTest, ModulationSwitchLatchesWithHysteresisAndConfirmationDelays) {
    pq_->ena_modfreq_sw = 1;
    pq_->parm_freqsw_in_delay = 0.01f;
    pq_->parm_freqsw_out_delay = 0.02f;
    running_ = 1;
    SetConverterReactivePower(-0.05f);  // the magnitude counts
    ASSERT_GT(TicksUntil(pq_->flg_freqsw_in_temp, 1, 40000), 0);
    EXPECT_NEAR(Seconds(TicksUntil(pq_->flg_modfreq_sw, 1, 1000)), 0.01, 3e-4);
    EXPECT_EQ(pq_->set_carrier_multi, 4.0f);
    EXPECT_EQ(pq_->set_rcp_carrier_multi, 0.25f);

    // Entry: on above 1.05 x 0.1, off below 0.1; exit: on above 0.2, off below 0.95 x 0.2.
    struct Level {
        float q;
        std::uint8_t in_temp;
        std::uint8_t out_temp;
        std::uint8_t latch;
    };
    const Level levels[] = {{0.104f, 1, 0, 1}, {0.106f, 0, 0, 1}, {0.101f, 0, 0, 1},
                            {0.099f, 1, 0, 1}, {0.15f, 0, 0, 1},  {0.199f, 0, 0, 1},
                            {0.201f, 0, 1, 0}, {0.191f, 0, 1, 0}, {0.189f, 0, 0, 0},
                            {0.15f, 0, 0, 0}};
    for (const Level& l : levels) {
        SetConverterReactivePower(l.q);
        Ticks(500);
        EXPECT_EQ(pq_->flg_freqsw_in_temp, l.in_temp) << l.q;
        EXPECT_EQ(pq_->flg_freqsw_out_temp, l.out_temp) << l.q;
        EXPECT_EQ(pq_->flg_modfreq_sw, l.latch) << l.q;
        EXPECT_EQ(pq_->set_carrier_multi, l.latch != 0 ? 4.0f : 3.0f) << l.q;
    }
}

TEST_F(PqCalTest, ZeroCarrierMultiplierTakesTheSafeReciprocal) {
    pq_->parm_carrier_multi_low = 0.0f;
    Ticks(1);
    EXPECT_EQ(pq_->set_rcp_carrier_multi, 1e10f);
}

struct BadMeasurementCase {
    const char* name;
    float value;
    std::uint8_t order_filter;
};

class PqCalBadInputTest : public PqCalTest,
                          public ::testing::WithParamInterface<BadMeasurementCase> {};

TEST_P(PqCalBadInputTest, BadMeasurementsAreForgottenOnceTheyAreSane) {
    const float v = GetParam().value;
    pq_->order_filter = GetParam().order_filter;
    Drive(1000, kLagging);
    Run(500, [&](int) {
        upoc_ = upcc_ = isys_ = {v, v, v};
        udq_ = idq_ = {v, v};
    });
    Drive(3000, kLagging);  // a huge finite sample decays with the filters
    ExpectPowers(kLagging);
    EXPECT_TRUE(NonFinite(*env_->variables, "PQCal").empty());

    // One phase bad, then the rating.
    Run(500, [&](int) { isys_.b = v; });
    Drive(3000, kLagging);  // a huge finite sample decays with the filters
    ExpectPowers(kLagging);
    Run(500, [&](int) { qn_ = v; });
    qn_ = 30.0f;
    Drive(1, kLagging);
    ExpectPowers(kLagging);
    EXPECT_TRUE(NonFinite(*env_->variables, "PQCal").empty());
}

INSTANTIATE_TEST_SUITE_P(Measurements, PqCalBadInputTest,
                         ::testing::Values(BadMeasurementCase{"NaNFirstOrder", kNaN, 0},
                                           BadMeasurementCase{"NaNSecondOrder", kNaN, 1},
                                           BadMeasurementCase{"InfiniteFirstOrder", kInf, 0},
                                           BadMeasurementCase{"MinusInfiniteSecond", -kInf, 1},
                                           BadMeasurementCase{"HugeFirstOrder", 1e30f, 0},
                                           BadMeasurementCase{"HugeSecondOrder", 1e30f, 1},
                                           BadMeasurementCase{"LargestSecondOrder", FLT_MAX, 1}),
                         CaseName<BadMeasurementCase>);

}  // namespace
}  // namespace svg::testing::measurement
