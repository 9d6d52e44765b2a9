// Grid-forming control inside the full build, its inputs owned by the test: the swing
// equation's step response and the synchronising term against their closed forms, the
// magnitude regulator, the virtual admittance's steady state, the ride-through hold, and bad
// settings that must not latch a NaN.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "framework/slots.h"
#include "modules/GfmCtrl.h"
#include "support/env_run.h"
#include "support/grid_signals.h"
#include "support/registry_names.h"

namespace svg::testing {
namespace {

constexpr float kTs = 1e-4f;
constexpr float kHz = 50.0f;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
enum : int { kChMode = 124, kChSel = 126, kChKj = 127, kChKd, kChK1, kChK2, kChK3 };
enum : int { kChEref = 138, kChKu, kChKq, kChKpQv, kChKiQv, kChVr = 148, kChDelayOff };
enum : int { kUdcRef = 6, kUdcFbk, kErrKi, kUcmd, kErrOpen, kWGfl, kGridTheta, kIdSum, kIqSum };

// Every input but the deblock command points at `f_` and `b_` (HVRT, LVRT, Uctrl, Qopen).
// With `lead_` set, each step feeds a balanced voltage of `volts_` placed `lead_` turns ahead of
// the module's own angle, so its dq voltage is `volts_` (cos, sin) of the lead whatever the
// angle does.
class GfmBench : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(run_.Init(), 0);
        m_ = run_.Module<GfmCtrl>(kSlotGfmCtrl);
        const float** floats[] = {&m_->Uctrl_a_pu, &m_->Uctrl_b_pu,         &m_->Uctrl_c_pu,
                                  &m_->Ictrl_a_pu, &m_->Ictrl_b_pu,         &m_->Ictrl_c_pu,
                                  &m_->Udc_ref_pu, &m_->Udc_fbk_pu,         &m_->err_ki_final,
                                  &m_->Ucmd_pu,    &m_->err_openmode_final, &m_->w_GFL,
                                  &m_->grid_theta, &m_->Idpos_ref_sum,      &m_->Iqpos_ref_sum};
        for (int k = 0; k < 15; ++k) *floats[k] = &f_[k];
        m_->flg_HVRT_mod = &b_[0];
        m_->flg_LVRT_mod = &b_[1];
        m_->flg_Uctrl = &b_[2];
        m_->flg_Qopen_mode = &b_[3];
        m_->Task1 = &kTs;
        m_->FrqHzNom = &kHz;
        f_[kUdcRef] = f_[kUdcFbk] = f_[kWGfl] = 1.0f;
    }
    void Activate(bool on) { run_.in[kChMode] = run_.in[42] = on ? 1.0 : 0.0; }
    void Run(int steps) {
        for (int k = 0; k < steps; ++k) {
            const double t = kTwoPi * (m_->grid_theta_GFM + lead_);
            for (int ph = 0; ph < 3 && lead_ != 0.0; ++ph) {
                f_[ph] = static_cast<float>(volts_ * std::cos(t - ph * kTwoPi / 3.0));
            }
            run_.Step(0.0);
        }
    }

    TempWorkDir dir_;
    EnvRun run_;
    GfmCtrl* m_ = nullptr;
    float f_[15] = {};
    std::uint8_t b_[4] = {};
    double lead_ = 0.0, volts_ = 1.0;
};

// With the nominal weight 1 the frequency is 1 + k3 Uq + y. Uq = sin(2 pi lead). A step e of
// the DC energy error (fbk^2 - ref^2) through (k1 s + k2)/(kj s + kd) gives
// y = e (k2/kd + (k1/kj - k2/kd) exp(-kd t/kj)); the trapezoidal rule sees the step half a task
// period early, so step n matches t = (n + 1/2) Ts, within 1e-5 e. The angle integrates the
// frequency at 50 Hz and stays in [0, 1).
struct SwingCase {
    std::string name;
    float kj, kd, k1, k2, k3;
};
class GfmSwing : public GfmBench, public ::testing::WithParamInterface<SwingCase> {};

TEST_P(GfmSwing, FrequencyFollowsTheClosedForm) {
    const SwingCase& c = GetParam();
    const float gains[] = {c.kj, c.kd, c.k1, c.k2, c.k3};
    for (int k = 0; k < 5; ++k) run_.in[kChKj + k] = gains[k];
    lead_ = 0.02;
    Activate(true);
    Run(2500);
    const double sync = c.k3 * std::sin(kTwoPi * lead_);
    EXPECT_NEAR(m_->set_w_GFM, 1.0 + sync, 2e-6);
    f_[kUdcFbk] = 1.1f;
    const double e = static_cast<double>(1.1f * 1.1f - 1.0f);
    const double ss = c.k2 / c.kd;
    double theta = m_->grid_theta_GFM;
    for (int n = 0; n < 4000; ++n) {
        Run(1);
        const double y = e * (ss + (c.k1 / c.kj - ss) * std::exp(-c.kd * (n + 0.5) * kTs / c.kj));
        ASSERT_NEAR(m_->set_w_GFM - 1.0 - sync, y, 1e-5 * e + 4e-7) << n;
        theta = std::fmod(theta + kTs * kHz * (1.0 + sync + y), 1.0);
        ASSERT_TRUE(m_->grid_theta_GFM >= 0.0f && m_->grid_theta_GFM < 1.0f);
    }
    EXPECT_NEAR(TurnError(m_->grid_theta_GFM, theta), 0.0, 1e-4);
}

INSTANTIATE_TEST_SUITE_P(GfmCtrl, GfmSwing,
                         ::testing::Values(SwingCase{"Registered", 3.5f, 185, 1, 3, 0.35f},
                                           SwingCase{"LightInertia", 0.5f, 40, 0.2f, 5, 1.0f},
                                           SwingCase{"NoLead", 2.0f, 10, 0, 1, 0}),
                         CaseName<SwingCase>);

// The magnitude regulator: the integrator ramps error x gain x ki per second up to the
// +-0.2 limit, the proportional path gives kp x gain x error; the gain and the error follow the
// voltage-control and open-loop flags. Disabled, the magnitude is the set-point.
struct MagnitudeCase {
    std::string name;
    std::uint8_t uctrl, qopen;
    float kp, ki;
    int steps;
    float expected;
};
class GfmMagnitude : public GfmBench, public ::testing::WithParamInterface<MagnitudeCase> {};

TEST_P(GfmMagnitude, SteadyStateOfTheRegulator) {
    const MagnitudeCase& c = GetParam();
    const double settings[] = {1.05, 2.0, 0.5, c.kp, c.ki};  // Eref, Ku, Kq, kp, ki
    for (int k = 0; k < 5; ++k) run_.in[kChEref + k] = settings[k];
    b_[2] = c.uctrl;
    b_[3] = c.qopen;
    f_[kErrKi] = 0.1f;
    f_[kErrOpen] = -0.04f;
    Activate(true);
    Run(c.steps);
    EXPECT_NEAR(m_->E_GFM_final, c.expected, 1e-5);
    Activate(false);
    Run(1);
    EXPECT_EQ(m_->E_GFM, 1.05f);
}

INSTANTIATE_TEST_SUITE_P(
    GfmCtrl, GfmMagnitude,
    ::testing::Values(MagnitudeCase{"IntegralRamp", 0, 0, 0, 1, 2000, 1.05f + 0.01f},
                      MagnitudeCase{"VoltageControlGain", 1, 0, 0.5f, 0, 10, 1.05f + 0.1f},
                      MagnitudeCase{"OpenLoopError", 0, 1, 2, 0, 10, 1.05f - 0.04f},
                      MagnitudeCase{"ProportionalLimited", 1, 0, 5, 0, 10, 1.05f + 0.2f}),
    CaseName<MagnitudeCase>);

// Virtual admittance: references hold while inactive; active, with a = Ud - E and b = Uq they
// settle where R Id - X Iq = a and X Id + R Iq = b (X = 1.5 reactance, R = 1 resistance).
TEST_F(GfmBench, VirtualAdmittanceSettlesOnTheClosedForm) {
    run_.in[kChSel] = 1.0;
    run_.in[kChVr] = 1.0;
    run_.in[kChKiQv] = 0.0;  // E stays at the set-point 1
    lead_ = std::atan2(0.1, 0.9) / kTwoPi;
    run_.in[42] = 1.0;
    Run(3000);
    EXPECT_EQ(m_->Idref_GFM, 0.0f);
    volts_ = std::hypot(0.9, 0.1);
    Activate(true);
    Run(3000);
    const double a = -0.1, b = 0.1, r = 1.0, x = 1.5;
    EXPECT_NEAR(m_->Idref_GFM, (a * r + b * x) / (r * r + x * x), 2e-4);
    EXPECT_NEAR(m_->Iqref_GFM, (b * r - a * x) / (r * r + x * x), 2e-4);
}

// Grid-forming needs the mode, the deblock command and no ride-through within the hold: a
// ride-through ends it at once and it resumes `hold` steps after the ride-through, also across
// a wrap of the counter. A NaN or negative hold releases at once; 2^32 units or more never.
struct EnableCase {
    std::string name;
    float seconds;
    std::uint32_t counter;
    int hold;  // -1: not within the run
};
class GfmEnable : public GfmBench, public ::testing::WithParamInterface<EnableCase> {};

TEST_P(GfmEnable, RideThroughHoldsGridFormingOff) {
    const EnableCase& c = GetParam();
    run_.in[kChDelayOff] = c.seconds;
    run_.env()->time_counter = c.counter;
    run_.in[42] = 1.0;
    Run(5);
    EXPECT_EQ(m_->En_GFM, 0);  // mode 0
    Activate(true);
    b_[1] = 1;
    Run(1);
    EXPECT_EQ(m_->En_GFM, 0);
    Run(100);
    b_[1] = 0;
    int first = -1;
    for (int n = 0; n < 3000 && first < 0; ++n) {
        Run(1);
        first = m_->En_GFM != 0 ? n : -1;
        ASSERT_EQ(m_->GFM_Blk_OtLoop, m_->En_GFM);
    }
    EXPECT_NEAR(first, c.hold, c.hold > 0 ? 2 : 0);  // stamps near 2^32 resolve 256 units
}

INSTANTIATE_TEST_SUITE_P(GfmCtrl, GfmEnable,
                         ::testing::Values(EnableCase{"Registered", 0.2f, 0, 2000},
                                           EnableCase{"AcrossTheWrap", 0.2f, 0xFFFFFFFFu - 50000u,
                                                      2000},
                                           EnableCase{"NaNReleasesAtOnce", kNaN, 0, 0},
                                           EnableCase{"NegativeReleasesAtOnce", -1.0f, 0, 0},
                                           EnableCase{"HugeHoldsForAWholeCycle", 1e30f, 0, -1}),
                         CaseName<EnableCase>);

// Bad settings while grid-forming runs with a DC energy error and a magnitude error: nothing
// crashes, negative or NaN limits allow no correction and no reference, and once the channels
// are sane the frequency returns to 1 + k3 Uq with a finite angle in [0, 1): no NaN stays in
// the swing filter, the filters or the regulators (a huge finite swing state decays in kj/kd).
struct BadCase {
    std::string name;
    std::vector<int> channels;
    float value;
    bool allows_nothing;
};
class GfmBadInput : public GfmBench, public ::testing::WithParamInterface<BadCase> {};

TEST_P(GfmBadInput, NothingLatchesOnceTheChannelsAreSane) {
    const BadCase& c = GetParam();
    lead_ = 0.01;
    f_[kErrKi] = 0.3f;
    for (const double sel : {0.0, 1.0}) {
        run_.in[kChSel] = sel;
        Activate(true);
        Run(500);
        f_[kUdcFbk] = 1.05f;
        for (int ch : c.channels) run_.in[ch] = c.value;
        Run(300);
        EXPECT_TRUE(std::isfinite(m_->grid_theta_GFM));
        if (c.allows_nothing) {
            EXPECT_EQ(m_->E_GFM, 1.0f);
            EXPECT_EQ(m_->Idref_GFM, 0.0f);
            EXPECT_EQ(m_->Iqref_GFM, 0.0f);
        }
        SetRegisteredParameters(run_.in);
        f_[kUdcFbk] = 1.0f;
        Activate(true);
        Run(20000);
        EXPECT_NEAR(m_->set_w_GFM, 1.0 + 0.35 * std::sin(kTwoPi * lead_), 1e-3);
        EXPECT_TRUE(m_->grid_theta_GFM >= 0.0f && m_->grid_theta_GFM < 1.0f);
        EXPECT_TRUE(std::isfinite(m_->E_GFM + m_->Idref_GFM + m_->Iqref_GFM + m_->set_Id_fbk_GFM +
                                  m_->set_Idneg_fbk_GFM));
    }
}

INSTANTIATE_TEST_SUITE_P(
    GfmCtrl, GfmBadInput,
    ::testing::Values(BadCase{"NaNInertia", {kChKj}, kNaN, false},
                      BadCase{"NoInertiaNoDamping", {kChKj, kChKd}, 0.0f, false},
                      BadCase{"HugeNumerator", {kChK1, kChK2}, 1e30f, false},
                      BadCase{"InfiniteDamping", {kChKd}, INFINITY, false},
                      BadCase{"NaNSyncGainAndCutOffs", {kChK3, 132, 133, 134}, kNaN, false},
                      BadCase{"NaNWeightAndOffset", {135, 136}, kNaN, false},
                      BadCase{"NaNMagnitudeGains", {kChKu, kChKq, kChKpQv, kChKiQv}, kNaN, false},
                      BadCase{"HugeReferenceGains", {143, 144, 147, 148}, 1e30f, false},
                      BadCase{"NaNLimits", {137, 145, 146}, kNaN, true},
                      BadCase{"NegativeLimits", {137, 145, 146}, -1.0f, true}),
    CaseName<BadCase>);

}  // namespace
}  // namespace svg::testing
