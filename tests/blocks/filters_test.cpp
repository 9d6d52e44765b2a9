#include "blocks/filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

namespace svg {
namespace {

using Complex = std::complex<double>;
constexpr double kPi = 3.14159265358979323846;

// Frequency response of the filter's coefficients at digital frequency omega (rad/sample).
Complex Response(const IirFilter& f, double omega) {
    const Complex zinv = std::exp(Complex(0.0, -omega));
    Complex num = 0.0;
    Complex den = 0.0;
    Complex zk = 1.0;
    for (std::int32_t i = 0; i <= f.Order; ++i) {
        num += static_cast<double>(f.Num[i]) * zk;
        den += static_cast<double>(f.Den[i]) * zk;
        zk *= zinv;
    }
    return num / den;
}

TEST(LpfFirst, StepResponseFollowsTheBackwardEulerClosedForm) {
    LpfFirst f{};
    const float ts = 1e-4f;
    const float wc = 2.0f * 3.14159265f * 50.0f;
    LpfFirstDesign(f, ts, wc);
    const double a = 1.0 / (1.0 + static_cast<double>(wc) * static_cast<double>(ts));
    for (int n = 1; n <= 2000; ++n) {
        ASSERT_NEAR(LpfFirstStep(f, 1.0f), 1.0 - std::pow(a, n), 2e-6) << "step " << n;
    }
}

TEST(LpfFirst, ZeroCornerHoldsAndZeroDivisorUsesTheSafeReciprocal) {
    LpfFirst f{0.7f, 0.0f, 0.0f};
    LpfFirstDesign(f, 1e-4f, 0.0f);
    EXPECT_EQ(f.A, 1.0f);
    EXPECT_EQ(f.B, 0.0f);
    EXPECT_EQ(LpfFirstStep(f, 5.0f), 0.7f);
    EXPECT_EQ(f.Y, 0.7f);  // design left the state alone

    LpfFirstDesign(f, 1.0f, -1.0f);  // 1 + wc Ts = 0
    EXPECT_EQ(f.A, 1e10f);
    EXPECT_EQ(f.B, 1.0f - 1e10f);
}

// Digital Butterworth low-pass coefficients computed in python from the analogue poles
// s_k = wc exp(j pi (2k + N + 1)/(2N)), each mapped by z = (2 + s Ts)/(2 - s Ts), the
// denominator multiplied out from (1 - z_k/z) and the numerator C(N, i) scaled to unity
// gain at zero frequency; x = wc Ts = 0.05 and 0.5.
struct ButterCase {
    float wc;
    std::int32_t order;
    std::vector<double> b;
    std::vector<double> a;
};

const std::vector<ButterCase> kButterCases = {
    {500.0f, 1, {2.4390243902e-02, 2.4390243902e-02}, {1.0, -9.5121951220e-01}},
    {500.0f,
     2,
     {6.0329330243e-04, 1.2065866049e-03, 6.0329330243e-04},
     {1.0, -1.9293319812e+00, 9.3174515437e-01}},
    {500.0f,
     6,
     {2.2166320342e-10, 1.3299792205e-09, 3.3249480513e-09, 4.4332640683e-09, 3.3249480513e-09,
      1.3299792205e-09, 2.2166320342e-10},
     {1.0, -5.8068590087e+00, 1.4052858457e+01, -1.8141718758e+01, 1.3176640766e+01,
      -5.1052629061e+00, 8.2434146313e-01}},
    {5000.0f,
     2,
     {4.4136753893e-02, 8.8273507786e-02, 4.4136753893e-02},
     {1.0, -1.3241026168e+00, 5.0064963236e-01}},
    {5000.0f,
     4,
     {2.0436524982e-03, 8.1746099928e-03, 1.2261914989e-02, 8.1746099928e-03, 2.0436524982e-03},
     {1.0, -2.7253641083e+00, 2.9280332378e+00, -1.4436869880e+00, 2.7371629851e-01}},
    {5000.0f,
     5,
     {4.3758637445e-04, 2.1879318723e-03, 4.3758637445e-03, 4.3758637445e-03, 2.1879318723e-03,
      4.3758637445e-04},
     {1.0, -3.4187742373e+00, 4.8550140296e+00, -3.5428564745e+00, 1.3214025113e+00,
      -2.0078306525e-01}},
};

TEST(ButterLpfDesign, MatchesTheBilinearImageOfTheAnaloguePoles) {
    for (const ButterCase& c : kButterCases) {
        IirFilter f;
        ASSERT_TRUE(IirFilterCreate(f, c.order));
        ButterLpfDesign(f, 1e-4f, c.wc);
        for (std::int32_t i = 0; i <= c.order; ++i) {
            EXPECT_NEAR(f.Num[i], c.b[i], 2e-6 * c.b[i]) << "order " << c.order << " b" << i;
            EXPECT_NEAR(f.Den[i], c.a[i], 4e-6 * std::max(1.0, std::abs(c.a[i])))
                << "order " << c.order << " a" << i;
        }
    }
}

// Single-precision coefficients of the higher orders are ill-conditioned (poles crowd z = 1),
// so the attainable accuracy falls with the order.
constexpr double kOrderTol[kIirMaxLen] = {0.0, 1e-6, 2e-6, 3e-5, 5e-5, 1e-3, 3e-3};

// |H|^2 = 1/(1 + (w/wc)^(2N)) at the analogue frequency w = (2/Ts) tan(omega/2) that the
// bilinear transform maps to omega: -3 dB at the image of wc, unity at zero frequency.
TEST(ButterLpfDesign, MagnitudeIsButterworthAtTheBilinearImage) {
    const float ts = 1e-4f;
    const float wc = 3000.0f;
    for (std::int32_t order = 1; order <= kIirMaxOrder; ++order) {
        IirFilter f;
        ASSERT_TRUE(IirFilterCreate(f, order));
        ButterLpfDesign(f, ts, wc);
        for (const double ratio : {0.0, 0.5, 1.0, 2.0}) {
            const double omega = 2.0 * std::atan(ratio * wc * ts / 2.0);
            const double expected = 1.0 / std::sqrt(1.0 + std::pow(ratio, 2.0 * order));
            EXPECT_NEAR(std::abs(Response(f, omega)), expected, kOrderTol[order])
                << "order " << order << " w/wc " << ratio;
        }
    }
}

// A design repeated with the same inputs is skipped; one with another corner, or after the
// coefficients were set another way, is made: the coefficients always equal a fresh design.
TEST(ButterLpfDesign, RepeatedDesignsAlwaysLeaveTheCoefficientsOfAFreshOne) {
    const auto fresh = [](float wc) {
        IirFilter f;
        IirFilterCreate(f, 2);
        ButterLpfDesign(f, 1e-4f, wc);
        return f;
    };
    IirFilter f;
    ASSERT_TRUE(IirFilterCreate(f, 2));
    const float zeros[kIirMaxLen] = {};
    for (const float wc : {3000.0f, 3000.0f, 500.0f, 500.0f, 3000.0f}) {
        ButterLpfDesign(f, 1e-4f, wc);
        const IirFilter expected = fresh(wc);
        for (std::uint32_t i = 0; i < kIirMaxLen; ++i) {
            EXPECT_EQ(f.Num[i], expected.Num[i]) << wc << " b" << i;
            EXPECT_EQ(f.Den[i], expected.Den[i]) << wc << " a" << i;
        }
        IirFilterSetCoeffs(f, zeros, zeros);  // the next same design must be made again
    }
}

// The step response settles at 1 for every order, and the circular histories of orders above
// 2 give the textbook direct-form-I recurrence over many wraps.
TEST(IirFilter, StepResponseSettlesAtOneAndFollowsTheRecurrence) {
    for (std::int32_t order = 1; order <= kIirMaxOrder; ++order) {
        IirFilter f;
        ASSERT_TRUE(IirFilterCreate(f, order));
        ButterLpfDesign(f, 1e-4f, 3000.0f);
        std::vector<double> x(600);
        std::vector<double> y(600);
        for (std::size_t n = 0; n < x.size(); ++n) {
            x[n] = n < 300 ? 1.0 : std::sin(0.3 * static_cast<double>(n));
            double ref = 0.0;
            for (std::int32_t i = 0; i <= order && i <= static_cast<std::int32_t>(n); ++i) {
                ref += f.Num[i] * x[n - i];
                if (i > 0) {
                    ref -= f.Den[i] * y[n - i];
                }
            }
            y[n] = ref;
            const float out = IirFilterStep(f, static_cast<float>(x[n]));
            ASSERT_NEAR(out, ref, kOrderTol[order]) << "order " << order << " sample " << n;
            if (n == 299) {
                EXPECT_NEAR(out, 1.0f, kOrderTol[order]) << "order " << order;
                if (order == 1) {
                    EXPECT_EQ(out, 1.0f);
                }
            }
        }
    }
}

TEST(IirFilter, DesignKeepsTheHistories) {
    IirFilter f;
    IirFilterCreateKind(f, kBandPass);
    StdFilterDesign(f, 1e-4f, 314.0f, 0.5f);
    for (int n = 0; n < 10; ++n) IirFilterStep(f, static_cast<float>(n));
    const IirFilter before = f;
    StdFilterDesign(f, 1e-4f, 628.0f, 0.2f);
    for (std::uint32_t i = 0; i < kIirMaxLen; ++i) {
        EXPECT_EQ(f.Xh[i], before.Xh[i]);
        EXPECT_EQ(f.Yh[i], before.Yh[i]);
    }
}

// Every kind against its analogue prototype through the bilinear identity
// H(e^{j omega}) = Ha(j (2/Ts) tan(omega/2)).
TEST(StdFilterDesign, EveryKindIsTheBilinearImageOfItsPrototype) {
    const double ts = 1e-4;
    const double w = 2.0 * kPi * 300.0;
    const double zeta = 0.3;
    using Prototype = Complex (*)(Complex s, double w, double zeta);
    const Prototype prototypes[] = {
        [](Complex s, double wn, double) { return wn / (s + wn); },
        [](Complex s, double wn, double) { return s / (s + wn); },
        [](Complex s, double wn, double z) {
            return wn * wn / (s * s + 2.0 * z * wn * s + wn * wn);
        },
        [](Complex s, double wn, double z) { return s * s / (s * s + 2.0 * z * wn * s + wn * wn); },
        [](Complex s, double wn, double z) {
            return 2.0 * z * wn * s / (s * s + 2.0 * z * wn * s + wn * wn);
        },
        [](Complex s, double wn, double z) {
            return (s * s + wn * wn) / (s * s + 2.0 * z * wn * s + wn * wn);
        },
    };
    for (std::int32_t kind = 0; kind <= kBandStop; ++kind) {
        IirFilter f;
        IirFilterCreateKind(f, kind);
        EXPECT_EQ(f.Order, kind <= kHighPass1 ? 1 : 2);
        StdFilterDesign(f, static_cast<float>(ts), static_cast<float>(w), static_cast<float>(zeta));
        for (const double omega : {0.01, 0.1, 0.19, 0.5, 1.5, 3.0}) {
            const Complex s(0.0, 2.0 / ts * std::tan(omega / 2.0));
            const Complex expected = prototypes[kind](s, w, zeta);
            EXPECT_NEAR(std::abs(Response(f, omega) - expected), 0.0, 2e-5)
                << "kind " << kind << " omega " << omega;
        }
    }
}

TEST(StdFilterDesign, BandPassPassesAndNotchRemovesTheCentreFrequency) {
    const float ts = 1e-4f;
    const float w = 2.0f * 3.14159265f * 100.0f;
    const double centre = 2.0 * std::atan(static_cast<double>(w) * ts / 2.0);
    IirFilter bp;
    IirFilter notch;
    IirFilterCreateKind(bp, kBandPass);
    IirFilterCreateKind(notch, kBandStop);
    StdFilterDesign(bp, ts, w, 0.4f);
    StdFilterDesign(notch, ts, w, 0.4f);
    const Complex h = Response(bp, centre);
    EXPECT_NEAR(std::abs(h), 1.0, 1e-5);
    EXPECT_NEAR(std::arg(h), 0.0, 1e-4);
    EXPECT_NEAR(std::abs(Response(notch, centre)), 0.0, 1e-5);

    // In time: after the transient the band-pass reproduces the sine and the notch removes it.
    double bp_err = 0.0;
    double notch_peak = 0.0;
    for (int n = 0; n < 4000; ++n) {
        const float x = static_cast<float>(std::sin(centre * n));
        const float yb = IirFilterStep(bp, x);
        const float yn = IirFilterStep(notch, x);
        if (n >= 3000) {
            bp_err = std::max(bp_err, std::abs(static_cast<double>(yb - x)));
            notch_peak = std::max(notch_peak, std::abs(static_cast<double>(yn)));
        }
    }
    EXPECT_LT(bp_err, 1e-3);
    EXPECT_LT(notch_peak, 1e-3);
}

// Out-of-range orders and mismatched kinds stay within the filter and have a defined result.
TEST(IirFilterFaults, OrderBelowOneIsAPassThrough) {
    IirFilter f;
    ASSERT_TRUE(IirFilterCreate(f, -3));
    EXPECT_EQ(f.Order, 0);
    EXPECT_EQ(f.Len, 1u);
    EXPECT_EQ(IirFilterStep(f, 2.5f), 2.5f);
    ButterLpfDesign(f, 1e-4f, 500.0f);  // no Butterworth of order 0: pass-through
    EXPECT_EQ(IirFilterStep(f, -1.25f), -1.25f);
    EXPECT_EQ(IirFilterStep(f, 7.0f), 7.0f);
}

TEST(IirFilterFaults, OrderAboveTheStorageFailsAndOutputsZero) {
    IirFilter f;
    EXPECT_FALSE(IirFilterCreate(f, kIirMaxOrder + 1));
    EXPECT_EQ(IirFilterStep(f, 3.0f), 0.0f);
}

TEST(IirFilterFaults, KindNotMatchingTheOrderOutputsZero) {
    IirFilter first;
    ASSERT_TRUE(IirFilterCreate(first, 1));
    first.Kind = kBandPass;  // a second-order kind on a first-order filter
    StdFilterDesign(first, 1e-4f, 314.0f, 0.5f);
    EXPECT_EQ(first.Num[2], 0.0f);
    EXPECT_EQ(first.Den[2], 0.0f);

    IirFilter unknown;
    IirFilterCreateKind(unknown, 9);
    EXPECT_EQ(unknown.Order, 2);
    StdFilterDesign(unknown, 1e-4f, 314.0f, 0.5f);

    IirFilter third;
    ASSERT_TRUE(IirFilterCreate(third, 3));
    StdFilterDesign(third, 1e-4f, 314.0f, 0.5f);
    for (int n = 0; n < 20; ++n) {
        EXPECT_EQ(IirFilterStep(first, 1.0f), 0.0f);
        EXPECT_EQ(IirFilterStep(unknown, 1.0f), 0.0f);
        EXPECT_EQ(IirFilterStep(third, 1.0f), 0.0f);
    }
}

}  // namespace
}  // namespace svg
