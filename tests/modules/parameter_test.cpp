// System parameters: task periods, bases, truncations and the lead-lag coefficients.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numbers>
#include <vector>

#include "meter_ctrl_fixture.h"

namespace svg::testing {
namespace {

using ParameterTest = MeteringBench;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST_F(ParameterTest, StepAtTaskRegistrationGivesRatedPeriodsAndBasesBeforeTheFirstTick) {
    // Single-precision results computed in python3 with struct.pack('f') rounding after every
    // operation, e.g. Task1 = f32(100 * f32(1e-6)), In = f32(f32(3e7 / 35000) / sqrt(3)).
    EXPECT_EQ(par_->Task1, 9.999999747378752e-05f);
    EXPECT_EQ(par_->Task2, 0.0009999999310821295f);
    EXPECT_EQ(par_->Task3, 0.009999999776482582f);
    EXPECT_EQ(par_->TsTask1Rcp, 10000.0f);
    EXPECT_EQ(par_->TsTask2Rcp, 1000.0000610351562f);
    EXPECT_EQ(par_->TsTask3Rcp, 100.0f);
    EXPECT_EQ(par_->Qn, 30e6f);
    EXPECT_EQ(par_->Un, 35000.0f);
    EXPECT_EQ(par_->In, 494.8716735839844f);
    EXPECT_EQ(par_->InRcp, 0.002020725980401039f);
    EXPECT_EQ(par_->PT4_normRcp, 0.02857142873108387f);
    EXPECT_EQ(par_->GridOcProtThr, 944.80322265625f);
    EXPECT_EQ(par_->CT4OcProtThr, 944.80322265625f);
    EXPECT_EQ(par_->PTOVThr, 71771.3359375f);
    EXPECT_EQ(par_->HallOcThr, 98.97433471679688f);
    EXPECT_EQ(par_->CTChannelCalibration, 0.0005469999741762877f);
    EXPECT_EQ(par_->CT4ChannelCalibration, 0.009320000186562538f);
    EXPECT_EQ(par_->HallChannelCalibration, 0.00003815f);
    EXPECT_EQ(par_->PT1ConversionFactorA, 2200.0f);
    EXPECT_EQ(par_->cellnum, 77u);
    EXPECT_EQ(par_->cellnum_ll, 77.0f);
    EXPECT_EQ(par_->Auto_Uadjust_Cellnum, 7u);  // f32(0.1) * 77 = 7.7000003
    EXPECT_EQ(par_->Sample_ratio, 0.0f);        // its input is the zero cell
    EXPECT_EQ(par_->True, 1u);
    EXPECT_EQ(par_->u8_true, 1);
    // The rated current against the textbook Qn / (sqrt(3) Un).
    EXPECT_NEAR(par_->In, 30e6 / (std::numbers::sqrt3 * 35e3), 1e-4);
}

TEST_F(ParameterTest, RegistersEveryParameterAndVariableOnItsOwnField) {
    ExpectFieldsDisjoint(*env_->parameters, "Parameter", par_, sizeof(Parameter), 142);
    ExpectFieldsDisjoint(*env_->variables, "Parameter", par_, sizeof(Parameter), 159);
    EXPECT_STREQ(env_->parameters->entries[0].name, "Parameter.parm_TsTask1_us");
    EXPECT_STREQ(env_->parameters->entries[141].name, "Parameter.parm_RingNetwork_selfChcek");
    EXPECT_STREQ(env_->variables->entries[0].name, "Parameter.Task1");
    EXPECT_STREQ(env_->variables->entries[158].name, "Parameter.RingNetwork_selfChcek");
    // Defaults of each storage width.
    EXPECT_EQ(par_->parm_CapPM, 4.1f);
    EXPECT_EQ(par_->parm_Low_Qn_Mvar, -30.0f);
    EXPECT_EQ(par_->parm_GridHallBoardType, 400u);
    EXPECT_EQ(par_->parm_CT_Board_Type, 5);
    EXPECT_EQ(par_->parm_GridHall2NullC, 1);
    EXPECT_EQ(par_->parm_RingNetwork_modeEn, 0);
    EXPECT_EQ(par_->parm_LeadLagGn, 1.0f);
}

TEST_F(ParameterTest, RunsOnceInTaskListOneRightAfterTheInputModule) {
    const std::vector<TaskEntry> list1 = TaskListOf(env_, 1);
    ASSERT_GE(list1.size(), 2u);
    EXPECT_EQ(list1[1], (TaskEntry{&ParameterStep, &par_->hdr}));
    int count = 0;
    for (int l = 1; l <= kTaskLists; ++l) {
        for (const TaskEntry& t : TaskListOf(env_, l)) {
            count += t.routine == &ParameterStep ? 1 : 0;
        }
    }
    EXPECT_EQ(count, 1);
}

// Analog prototypes of the two published sections, and the z-domain response of the
// published coefficients (leading denominator coefficient 2^26).
std::complex<double> Poly(const std::vector<double>& c, std::complex<double> zinv) {
    std::complex<double> sum = 0.0, p = 1.0;
    for (double k : c) {
        sum += k * p;
        p *= zinv;
    }
    return sum;
}

// Relative error a polynomial's value can carry when its coefficients are rounded to single
// precision: a few float epsilons times its condition number sum|c_k| / |value|.
double RoundingBound(const std::vector<double>& c, std::complex<double> zinv) {
    double norm = 0.0;
    for (double k : c) {
        norm += std::fabs(k);
    }
    return 4 * FLT_EPSILON * norm / std::abs(Poly(c, zinv));
}

struct LeadLagCase {
    float ts_us, fbp1, fbp2, fld1, fld2;
};

class LeadLagTest : public MeteringBench, public ::testing::WithParamInterface<LeadLagCase> {};

TEST_P(LeadLagTest, SectionsAreBilinearImagesOfTheirAnalogPrototypes) {
    const LeadLagCase& c = GetParam();
    par_->parm_TsTask1_us = c.ts_us;
    par_->parm_Fbp1 = c.fbp1;
    par_->parm_Fbp2 = c.fbp2;
    par_->parm_Fld1 = c.fld1;
    par_->parm_Fld2 = c.fld2;
    ParameterStep(&par_->hdr);
    // Bilinear identity: H(z = e^jW) = H_analog(j (2/h) tan(W/2)) for the design step h,
    // which is half the task-1 period.
    const double h = c.ts_us * 1e-6 * 0.5;
    const double w_bp1 = 2 * std::numbers::pi * c.fbp1, w_bp2 = 2 * std::numbers::pi * c.fbp2;
    const double w_ld1 = 2 * std::numbers::pi * c.fld1, w_ld2 = 2 * std::numbers::pi * c.fld2;
    const double q26 = 67108864.0;
    for (double W : {0.01, 0.1, 0.5, 1.0, 2.0, 3.0}) {
        const std::complex<double> zinv = std::polar(1.0, -W);
        const std::complex<double> s(0.0, 2.0 / h * std::tan(W / 2));
        const std::complex<double> band =
            w_bp2 * w_bp2 * s / ((s + w_bp2) * (s + w_bp2) * (s + w_bp1));
        const std::vector<double> band_num = {par_->NLL_10, par_->NLL_11, par_->NLL_12,
                                              par_->NLL_13};
        const std::vector<double> band_den = {q26, par_->DLL_11, par_->DLL_12, par_->DLL_13};
        const std::complex<double> band_z = Poly(band_num, zinv) / Poly(band_den, zinv);
        EXPECT_LT(std::abs(band_z - band),
                  (RoundingBound(band_num, zinv) + RoundingBound(band_den, zinv)) * std::abs(band))
            << "W=" << W;
        const std::vector<double> lead_num = {par_->NLL_A10, par_->NLL_A11};
        const std::vector<double> lead_den = {q26, par_->DLL_B11};
        const std::complex<double> lead = (s + w_ld1) / (s + w_ld2);
        const std::complex<double> lead_z = Poly(lead_num, zinv) / Poly(lead_den, zinv);
        EXPECT_LT(std::abs(lead_z - lead),
                  (RoundingBound(lead_num, zinv) + RoundingBound(lead_den, zinv)) * std::abs(lead))
            << "W=" << W;
    }
    EXPECT_EQ(par_->LeadLagULim, 67108864.0f);
    EXPECT_EQ(par_->LeadLagGnQ26, 67108864.0f);
}

INSTANTIATE_TEST_SUITE_P(Designs, LeadLagTest,
                         ::testing::Values(LeadLagCase{100, 900, 5000, 2500, 5000},
                                           LeadLagCase{200, 50, 300, 20, 400},
                                           LeadLagCase{50, 1000, 1000, 3000, 100}));

TEST_F(ParameterTest, ZeroTaskPeriodGivesSafeReciprocalsAndATripleIntegratorDenominator) {
    par_->parm_TsTask1_us = 0.0f;
    ParameterStep(&par_->hdr);
    EXPECT_EQ(par_->Task1, 0.0f);
    EXPECT_EQ(par_->TsTask1Rcp, 1e10f);
    EXPECT_EQ(par_->TsTask3Rcp, 1e10f);
    // With h = 0 the band-pass denominator is 8 (z - 1)^3 and K1 = 2^26 / 8: coefficients
    // 2^26 (-3, 3, -1); the numerator vanishes. The lead-lag degenerates to (z - 1)/(z - 1).
    const float q = 67108864.0f;
    EXPECT_EQ(par_->DLL_11, -3 * q);
    EXPECT_EQ(par_->DLL_12, 3 * q);
    EXPECT_EQ(par_->DLL_13, -q);
    EXPECT_EQ(par_->NLL_10, 0.0f);
    EXPECT_EQ(par_->NLL_A10, q);
    EXPECT_EQ(par_->NLL_A11, -q);
    EXPECT_EQ(par_->DLL_B11, -q);
}

struct TruncCase {
    float value;
    std::uint32_t expected;
};

class UnsignedSettingTest : public MeteringBench,
                            public ::testing::WithParamInterface<TruncCase> {};

TEST_P(UnsignedSettingTest, EveryUnsignedSettingTruncatesTowardZeroAndSaturates) {
    const TruncCase& c = GetParam();
    Channel(kChCellnum, c.value);  // parm_cellnum comes from host channel 65
    par_->parm_redy_lnk_num = c.value;
    par_->parm_deShuntOvThr = c.value;
    par_->parm_ShuntUvThr = c.value;
    par_->parm_deShuntUvThr = c.value;
    par_->parm_Cell_Dc_Ov_ShuntThr = c.value;
    par_->parm_Auto_Uadjust_Cellnum = 1.0f;
    Ticks(1);
    for (std::uint32_t v :
         {par_->cellnum, par_->redy_lnk_num, par_->deShuntOvThr, par_->ShuntUvThr,
          par_->deShuntUvThr, par_->Cell_Dc_Ov_ShuntThr, par_->Auto_Uadjust_Cellnum}) {
        EXPECT_EQ(v, c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, UnsignedSettingTest,
    ::testing::Values(TruncCase{77.9f, 77u}, TruncCase{0.5f, 0u}, TruncCase{0.0f, 0u},
                      TruncCase{-5.0f, 0u}, TruncCase{-kInf, 0u}, TruncCase{kNaN, 0u},
                      TruncCase{4294967040.0f, 4294967040u},  // 2^32 - 256, exact in float
                      TruncCase{4294967296.0f, UINT32_MAX}, TruncCase{FLT_MAX, UINT32_MAX},
                      TruncCase{kInf, UINT32_MAX}));

struct RatingCase {
    int channel;
    float value;
};

class BadRatingTest : public MeteringBench, public ::testing::WithParamInterface<RatingCase> {};

TEST_P(BadRatingTest, ZeroOrNegativeRatingsStayFiniteAndEveryRatingRecovers) {
    const RatingCase& c = GetParam();
    Ticks(1);
    Parameter good;
    std::memcpy(&good, par_, sizeof good);
    Channel(c.channel, c.value);
    Ticks(3);
    if (std::isfinite(c.value) && std::fabs(c.value) < 1e6f) {
        EXPECT_EQ(NonFiniteFloats(*env_->variables, "Parameter"), std::vector<std::string>{});
    }
    for (const ChannelValue& rated : kRatedChannels) {
        Channel(rated.channel, rated.value);
    }
    Ticks(1);
    // Everything after the parameters is recomputed from scratch at every step.
    const std::size_t first = offsetof(Parameter, Task1);
    EXPECT_EQ(std::memcmp(reinterpret_cast<const char*>(&good) + first,
                          reinterpret_cast<const char*>(par_) + first, sizeof good - first),
              0);
}

std::vector<RatingCase> RatingCases() {
    std::vector<RatingCase> cases;
    for (int ch : {kChQn, kChVn, kChFrqNom, kChLTotCal, kChCapPM, kChCellnum, kChUpcc1}) {
        for (float v : {0.0f, -30.0f, kNaN, kInf, -kInf, FLT_MAX}) {
            cases.push_back({ch, v});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Channels, BadRatingTest, ::testing::ValuesIn(RatingCases()));

TEST_F(ParameterTest, WaveTriggerTogglesTheUpdateFlagAtEveryStep) {
    par_->parm_enb_wave_trigger = 1;
    std::vector<int> flags;
    for (int i = 0; i < 4; ++i) {
        Ticks(1);
        flags.push_back(par_->ParmUpdateFlag);
    }
    EXPECT_EQ(flags, (std::vector<int>{1, 0, 1, 0}));
    par_->parm_enb_wave_trigger = 2;
    Ticks(3);
    EXPECT_EQ(par_->ParmUpdateFlag, 0);
}

TEST_F(ParameterTest, UnknownHallBoardKeepsTheLastCalibration) {
    par_->parm_GridHallBoardType = 200;
    Ticks(1);
    EXPECT_EQ(par_->HallChannelCalibration, 0.00001908f);
    par_->parm_GridHallBoardType = 300;
    Ticks(1);
    EXPECT_EQ(par_->HallChannelCalibration, 0.00001908f);
    par_->parm_GridHallBoardType = 100;
    Ticks(1);
    EXPECT_EQ(par_->HallChannelCalibration, 0.00000954f);
}

}  // namespace
}  // namespace svg::testing
