// Measured-signal steps: finite results as the plain blocks give them, and a clean restart
// instead of a NaN or an overflow that would stay in the state for good.
#include "blocks/guarded.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

namespace svg {
namespace {

TEST(Magnitude, IsTheHypotenuseAndSaturatesWhereTheSquaresOverflow) {
    EXPECT_EQ(Magnitude(3.0f, 4.0f), 5.0f);
    EXPECT_EQ(Magnitude(-3.0f, -4.0f), 5.0f);
    EXPECT_FLOAT_EQ(Magnitude(3e30f, 4e30f), 5e30f);
    EXPECT_EQ(Magnitude(FLT_MAX, FLT_MAX), FLT_MAX);
    EXPECT_TRUE(std::isnan(Magnitude(std::nanf(""), 1.0f)));
}

TEST(LpfStepFinite, RestartsFromRestAfterANanAndThenFollowsThePlainFilter) {
    LpfFirst guarded{};
    LpfFirst plain{};
    LpfFirstDesign(guarded, 1e-4f, 100.0f);
    LpfFirstDesign(plain, 1e-4f, 100.0f);
    for (int k = 0; k < 50; ++k) {
        EXPECT_EQ(LpfStepFinite(guarded, 1.0f), LpfFirstStep(plain, 1.0f));
    }
    EXPECT_EQ(LpfStepFinite(guarded, std::numeric_limits<float>::quiet_NaN()), 0.0f);
    EXPECT_EQ(LpfStepFinite(guarded, INFINITY), 0.0f);
    plain.Y = 0.0f;
    for (int k = 0; k < 50; ++k) {
        EXPECT_EQ(LpfStepFinite(guarded, 0.5f), LpfFirstStep(plain, 0.5f));
    }
}

TEST(IirStepFinite, ClearsEveryHistoryTapAfterAnOverflow) {
    IirFilter f{};
    ASSERT_TRUE(IirFilterCreate(f, 2));
    ButterLpfDesign(f, 1e-4f, 500.0f);
    IirStepFinite(f, 1.0f);
    EXPECT_EQ(IirStepFinite(f, INFINITY), 0.0f);
    for (float v : f.Xh) {
        EXPECT_EQ(v, 0.0f);
    }
    for (float v : f.Yh) {
        EXPECT_EQ(v, 0.0f);
    }
    EXPECT_TRUE(std::isfinite(IirStepFinite(f, 1.0f)));
}

}  // namespace
}  // namespace svg
