// Sequence current control on a bench of its own: the dq loops around a reactor plant against
// the closed-form first-order response, decoupling and feed-forward holding the plant while
// blocked, the gain pair of test mode and the negative-sequence enable, the clamp of the
// resonant terms, and recovery from bad values and task periods.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <string>

#include "framework/environment.h"
#include "framework/sim_io.h"
#include "framework/slots.h"
#include "modules/CurCtrl.h"
#include "support/registry_names.h"
#include "support/temp_dir.h"
#include "variants/travik/travik.h"

namespace svg::testing {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr double kW = 2.0 * std::numbers::pi * 50.0;  // grid frequency, rad/s
constexpr float kTs = 1e-4f, kTsZero = 0.0f, kTsNaN = kNaN, kTsInf = kInf, kTsNeg = -1e-4f;

template <const float* Ts>
void WireBench(Environment* env) noexcept {
    WireCurCtrl(env);
    ModuleAt<CurCtrl>(env, kSlotCurCtrl)->Task1 = Ts;
}
constexpr ModuleSpec kBenchModules[] = {
    {kSlotSimInput, "SimInput", sizeof(SimInput), &CreateSimInput, nullptr, 1, 1, true},
    {kSlotSimOutput, "SimOutput", sizeof(SimOutput), &CreateSimOutput, nullptr, 3, 1, true},
    {kSlotCurCtrl, "CurCtrl", sizeof(CurCtrl), &CreateCurCtrl, nullptr, 2, 1, false},
};
template <const float* Ts>
constexpr Variant kBench{kBenchModules, 3, &WireBench<Ts>};

// Reactor between grid and converter in the grid frame, per unit: (X/w) di_d/dt = ud - vd
// - R i_d + X i_q, (X/w) di_q/dt = uq - vq - R i_q - X i_d. Uncoupled, the cross terms sit at
// the reference currents as the decoupling assumes, so each axis is the first-order
// i' = (v - R i)/L of its regulator voltage v. A non-finite command is not applied.
struct Plant {
    double x = 0.1, r = 0.0, id = 0.0, iq = 0.0;
    bool coupled = true;
    double id_ref = 0.0, iq_ref = 0.0;
    void Advance(double ud_vd, double uq_vq) {
        constexpr int kSub = 20;
        const double k = kW / x * kTs / kSub;
        for (int s = 0; s < kSub && std::isfinite(ud_vd) && std::isfinite(uq_vq); ++s) {
            const double did = ud_vd - r * id + x * (coupled ? iq : iq_ref);
            const double diq = uq_vq - r * iq - x * (coupled ? id : id_ref);
            id += k * did;
            iq += k * diq;
        }
    }
};

// The float inputs the tests drive; the others read the zero cell.
struct Cells {
    float id_ref{}, iq_ref{}, id_fbk{}, iq_fbk{}, idn_ref{}, iqn_ref{}, id0_ref{};
    float ud{}, uq{}, wl{}, theta{}, ia{}, ib{}, ic{};
};

// CurCtrl alone; the deblock command and the gain channels 88/89 come through the input
// module as in the full build.
class Bench {
  public:
    explicit Bench(const Variant& variant = kBench<&kTs>) {
        EXPECT_EQ(BuildEnvironment(variant, SystemAllocator(), &env_), 0);
        const double record[4] = {0, 10, 10, 1};
        ApplyHostParameters(env_, record);
        m = ModuleAt<CurCtrl>(env_, kSlotCurCtrl);
        m->Idpos_ref_sum = &c.id_ref;
        m->Iqpos_ref_sum = &c.iq_ref;
        m->Idpos_fbk = &c.id_fbk;
        m->Iqpos_fbk = &c.iq_fbk;
        m->Idneg_ref_sum = &c.idn_ref;
        m->Iqneg_ref_sum = &c.iqn_ref;
        m->Idzero_ref_sum = &c.id0_ref;
        m->Ud_ff = &c.ud;
        m->Uq_ff = &c.uq;
        m->wL_pu = &c.wl;
        m->grid_theta = &c.theta;
        m->Ictrl_a_pu = &c.ia;
        m->Ictrl_b_pu = &c.ib;
        m->Ictrl_c_pu = &c.ic;
        Gains(0.38f, 7.89f);
    }
    ~Bench() { TearDownEnvironment(env_, false); }
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    void Gains(float kp, float ki) {
        env_->io[88] = kp;
        env_->io[89] = ki;
    }
    void Deblock(bool on) { env_->io[kDeblockChannel] = on ? 1.0f : 0.0f; }
    void Tick() { SchedulerTick(env_); }
    // One step of the positive loop around the plant, the grid angle advancing at 50 Hz.
    void Loop(Plant& p) {
        c.theta = static_cast<float>(std::fmod(n_++ * 50.0 * kTs, 1.0));
        c.id_fbk = static_cast<float>(p.id);
        c.iq_fbk = static_cast<float>(p.iq);
        Tick();
        const Abc v{m->set_mod_a_pos, m->set_mod_b_pos, m->set_mod_c_pos};
        p.Advance(c.ud - ParkD(v, c.theta), c.uq - ParkQ(v, c.theta));
    }

    Cells c{};
    CurCtrl* m = nullptr;

  private:
    TempWorkDir dir_;
    Environment* env_ = nullptr;
    long n_ = 0;
};

struct StepCase {
    std::string name;
    float id_ref, iq_ref, kp;
    bool coupled;
    double tol;  // of the larger step
};
class StepResponse : public ::testing::TestWithParam<StepCase> {};

// With R = (X/w) ki/kp the PI zero cancels the plant pole and each axis answers a reference
// step like 1/(tau s + 1), tau = 1/(10 w kp), whatever X is. On the reactor with its true
// cross coupling, the decoupling at the references keeps the response near that.
TEST_P(StepResponse, FollowsTheFirstOrderClosedLoop) {
    const StepCase& s = GetParam();
    const float ki = s.kp * (7.89f / 0.38f);
    Bench b;
    Plant p;
    p.r = p.x / kW * ki / s.kp;
    p.coupled = s.coupled;
    b.c.ud = 1.0f;
    b.c.wl = static_cast<float>(p.x);
    b.Gains(s.kp, ki);
    b.Loop(p);  // blocked: the new gains take over
    b.Deblock(true);
    p.id_ref = b.c.id_ref = s.id_ref;
    p.iq_ref = b.c.iq_ref = s.iq_ref;
    const double tau = 1.0 / (10.0 * kW * s.kp);
    const double tol = s.tol * std::max(std::abs(s.id_ref), std::abs(s.iq_ref));
    for (int k = 1; k <= 3000; ++k) {
        b.Loop(p);
        const double shape = 1.0 - std::exp(-k * kTs / tau);
        ASSERT_NEAR(p.id, s.id_ref * shape, tol) << k;
        ASSERT_NEAR(p.iq, s.iq_ref * shape, tol) << k;
    }
    EXPECT_NEAR(p.id, s.id_ref, 1e-4);
    EXPECT_NEAR(p.iq, s.iq_ref, 1e-4);
    // No error left: the output is all integral and holds R i.
    EXPECT_NEAR(b.m->set_Idpos_follow, p.r * s.id_ref, 1e-5);
    EXPECT_NEAR(b.m->md_pos, p.r * s.id_ref, 1e-5);
}

INSTANTIATE_TEST_SUITE_P(CurCtrl, StepResponse,
                         ::testing::Values(StepCase{"DAxis", 0.5f, 0.0f, 0.038f, false, 0.005},
                                           StepCase{"QAxis", 0.0f, -0.8f, 0.038f, false, 0.005},
                                           StepCase{"Both", 0.6f, 0.4f, 0.038f, false, 0.005},
                                           StepCase{"DCoupled", 0.5f, 0.0f, 0.38f, true, 0.1},
                                           StepCase{"BothCoupled", 0.6f, -0.4f, 0.38f, true, 0.1}),
                         CaseName<StepCase>);

// Blocked, the regulators are empty and the contributions are decoupling plus feed-forward:
// the converter voltage holds a lossless reactor at its reference current. The negative
// contribution is its decoupling term (-X iq, X id) at minus the grid angle.
TEST(CurCtrlBlocked, DecouplingAndFeedForwardHoldThePlantAtItsReference) {
    Bench b;
    Plant p{0.1, 0.0, 0.3, -0.5};
    b.c = {.id_ref = 0.3f,
           .iq_ref = -0.5f,
           .idn_ref = 0.2f,
           .iqn_ref = 0.1f,
           .id0_ref = 0.4f,
           .ud = 0.9f,
           .uq = 0.05f,
           .wl = 0.1f};
    for (int k = 0; k < 500; ++k) {
        b.Loop(p);
        const CurCtrl& m = *b.m;
        for (float v : {m.md_pos, m.mq_pos, m.md_neg, m.mq_neg, m.md_zero, m.set_Idpos_follow,
                        m.set_Iqneg_follow, m.set_Idzero_follow, m.set_mod_a_zero}) {
            ASSERT_EQ(v, 0.0f);
        }
        ASSERT_NEAR(p.id, 0.3, 1e-5);
        ASSERT_NEAR(p.iq, -0.5, 1e-5);
        ASSERT_NEAR(m.set_Udmod_pos, 0.1 * -0.5, 1e-7);
        ASSERT_NEAR(m.set_Uqmod_pos, -0.1 * 0.3, 1e-7);
        const double t = -2.0 * std::numbers::pi * b.c.theta;
        const double t_b = t - 2.0 * std::numbers::pi / 3.0;
        ASSERT_NEAR(m.set_mod_a_neg, -0.01 * std::cos(t) - 0.02 * std::sin(t), 1e-6);
        ASSERT_NEAR(m.set_mod_b_neg, -0.01 * std::cos(t_b) - 0.02 * std::sin(t_b), 1e-6);
    }
}

// With the integrator band at 0 every regulator is proportional, md = gain * error. The first
// step uses 0.38 whatever the parameters hold; test mode and kp reach the positive and
// negative gains one step later, the zero-sequence gain follows kp at once and never the test
// gain. Any non-zero ena_curloop_neg runs the negative regulators, only 1 passes their
// contribution on, and the published commands carry the decoupling terms throughout.
TEST(CurCtrlGains, TestModeActsOneStepLaterAndTheNegativeEnableGatesSeparately) {
    struct Row {
        std::uint8_t test_mode, ena_neg;
        float kp, md_pos, md_neg, md_zero;
    };
    const Row rows[] = {{0, 1, 1.0f, 0.38f, 0.19f, 0.5f}, {0, 1, 1.0f, 1.0f, 0.5f, 0.5f},
                        {1, 0, 1.0f, 1.0f, 0.0f, 0.5f},   {1, 2, 1.0f, 2.0f, 1.0f, 0.5f},
                        {1, 1, 3.0f, 2.0f, 1.0f, 1.5f},   {0, 1, 3.0f, 2.0f, 1.0f, 1.5f},
                        {0, 1, 3.0f, 3.0f, 1.5f, 1.5f}};
    Bench b;
    CurCtrl& m = *b.m;
    m.parm_pos_cur_kilim = 0.0f;
    m.parm_pos_cur_kp_test = 2.0f;
    m.ena_curloop_zero = 1;
    b.c.wl = 0.1f;
    b.c.id_ref = b.c.idn_ref = b.c.id0_ref = 1.0f;
    b.c.iqn_ref = 0.3f;
    b.Deblock(true);
    int step = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(++step);
        m.ena_test_mode = r.test_mode;
        m.ena_curloop_neg = r.ena_neg;
        b.Gains(r.kp, 7.89f);
        b.Tick();
        EXPECT_NEAR(m.md_pos, r.md_pos, 1e-6);
        EXPECT_NEAR(m.md_neg, r.md_neg, 1e-6);
        EXPECT_NEAR(m.md_zero, r.md_zero, 1e-6);
        EXPECT_EQ(m.set_Idpos_follow, 0.0f);
        EXPECT_EQ(m.set_Udmod_neg, -0.1f * 0.3f - m.md_neg);
        EXPECT_EQ(m.set_Uqmod_neg, 0.1f * 1.0f - m.mq_neg);
        EXPECT_EQ(m.set_mod_b_neg == 0.0f, r.ena_neg != 1);
    }
}

// Blocked (regulator outputs 0), the three positive-sequence outputs against the inverse Park
// transform in closed form: the normal path with grid-following or grid-forming inputs (the
// angle and the published commands stay grid-following), the grid-forming voltage applied
// directly at the grid-forming angle, and the instantaneous phase-voltage feed-forward; the
// last two keep the published commands.
TEST(CurCtrlPositivePaths, SelectInputsAngleAndFeedForward) {
    struct Row {
        const char* name;
        std::uint8_t instan_ff, en_gfm, mode_sel;
        double vd, vq, theta;
        bool phase_ff, publishes;
    };
    const Row rows[] = {{"Normal", 0, 0, 0, 0.85, 0.02, 0.2, false, true},
                        {"GfmInputs", 0, 1, 0, 1.12, -0.16, 0.2, false, true},
                        {"GfmDirect", 0, 1, 2, 1.05, 0.0, 0.7, false, false},
                        {"InstantFf", 1, 1, 2, 0.02, -0.06, 0.7, true, false}};
    Bench b;
    CurCtrl& m = *b.m;
    b.c = {.id_ref = 0.3f, .iq_ref = -0.5f, .ud = 0.9f, .uq = 0.05f, .wl = 0.1f, .theta = 0.2f};
    const float gfm[6] = {0.6f, 0.2f, 1.1f, -0.1f, 0.7f, 1.05f};
    const float ff[3] = {0.4f, -0.3f, -0.1f};
    const std::uint8_t ffsw = 1;
    std::uint8_t en_gfm = 0;
    m.Idref_GFM = &gfm[0];
    m.Iqref_GFM = &gfm[1];
    m.Ud_fil_GFM = &gfm[2];
    m.Uq_fil_GFM = &gfm[3];
    m.grid_theta_GFM = &gfm[4];
    m.E_GFM_final = &gfm[5];
    m.En_GFM = &en_gfm;
    m.flg_ffsw = &ffsw;
    m.set_Ua_ff = &ff[0];
    m.set_Ub_ff = &ff[1];
    m.set_Uc_ff = &ff[2];
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        m.ena_InstanFf = r.instan_ff;
        en_gfm = r.en_gfm;
        m.parm_GFM_Mode_Sel = r.mode_sel;
        m.set_Udmod_pos = m.set_Uqmod_pos = 7.0f;
        b.Tick();
        const double out[3] = {m.set_mod_a_pos, m.set_mod_b_pos, m.set_mod_c_pos};
        for (int ph = 0; ph < 3; ++ph) {
            const double t = 2.0 * std::numbers::pi * (r.theta - (ph == 2 ? -1.0 : ph) / 3.0);
            const double add = r.phase_ff ? ff[ph] : 0.0;
            EXPECT_NEAR(out[ph], r.vd * std::cos(t) - r.vq * std::sin(t) + add, 1e-6) << ph;
        }
        EXPECT_NEAR(m.set_Udmod_pos, r.publishes ? -0.05 : 7.0, 1e-7);
        EXPECT_NEAR(m.set_Uqmod_pos, r.publishes ? -0.03 : 7.0, 1e-7);
    }
}

struct ResonantCase {
    std::string name;
    double hz, amplitude, damping;
};
class Resonant : public ::testing::TestWithParam<ResonantCase> {};

// 150 Hz on the zero-sequence current, 100 Hz on alpha/beta, kp = 0.5 and kr = 1. Small
// inputs pass at the gain of the bilinear image of 2 zeta w s / (s^2 + 2 zeta w s + w^2);
// large ones are clamped to 1 before kr, the proportional part is not. Blocked, the zero
// contribution is the 100 Hz term minus the 150 Hz one.
TEST_P(Resonant, BandPassOutputIsClampedBeforeTheResonantGain) {
    const ResonantCase& c = GetParam();
    Bench b;
    CurCtrl& m = *b.m;
    m.ena_curloop_zero = 1;
    m.kp_zeroH3 = m.kp_H2 = 0.5f;
    m.kr_zeroH3 = m.kr_H2 = 1.0f;
    const bool h3 = c.hz == 150.0;
    const double w = 2.0 * std::numbers::pi * c.hz;
    const double wa = 2.0 / kTs * std::tan(w * kTs / 2.0);  // analogue image of w
    const double gain =
        2.0 * c.damping * w * wa / std::hypot(w * w - wa * wa, 2.0 * c.damping * w * wa);
    double peak = 0.0;
    double peak_total = 0.0;
    for (int k = 0; k < 20000; ++k) {
        float* phase[3] = {&b.c.ia, &b.c.ib, &b.c.ic};
        for (int ph = 0; ph < 3; ++ph) {
            const double shift = h3 ? 0.0 : ph * 2.0 * std::numbers::pi / 3.0;
            *phase[ph] = static_cast<float>(-c.amplitude * std::cos(w * k * kTs - shift));
        }
        b.Tick();
        const float x = h3 ? m.i0 : m.i_ab.alpha;
        const float u = h3 ? m.Ucmd_H3 : m.Ucmd_H2;
        ASSERT_LE(std::abs(u - 0.5f * x), 1.0f + 1e-6f) << k;
        ASSERT_NEAR(m.set_mod_a_zero, m.Ucmd_H2 - m.Ucmd_H3, 1e-6);
        if (k >= 19000) {
            peak = std::max(peak, static_cast<double>(std::abs(u - 0.5f * x)));
            peak_total = std::max(peak_total, static_cast<double>(std::abs(u)));
        }
    }
    if (c.amplitude * gain > 1.0) {
        EXPECT_NEAR(peak, 1.0, 1e-6);
        EXPECT_NEAR(peak_total, 1.0 + 0.5 * c.amplitude, 0.02 * c.amplitude);
    } else {
        EXPECT_NEAR(peak, c.amplitude * gain, 0.01 * c.amplitude);
    }
}

INSTANTIATE_TEST_SUITE_P(CurCtrl, Resonant,
                         ::testing::Values(ResonantCase{"H3Small", 150.0, 0.5, 0.0033333334},
                                           ResonantCase{"H3Large", 150.0, 5.0, 0.0033333334},
                                           ResonantCase{"H2Small", 100.0, 0.5, 0.005},
                                           ResonantCase{"H2Large", 100.0, 5.0, 0.005}),
                         CaseName<ResonantCase>);

struct BadCase {
    std::string name;
    float Cells::*cell;     // a bench input, or
    float CurCtrl::*param;  // a parameter
    float bad;
};
class BadValue : public ::testing::TestWithParam<BadCase> {};

// A bad value for three steps on a running loop with the resonant terms working: once it is
// sane again the loop settles at its references, every output is finite and the band-passes
// pass signal again.
TEST_P(BadValue, LeavesNoRegulatorOrBandPassPoisoned) {
    const BadCase& c = GetParam();
    Bench b;
    Plant p;
    CurCtrl& m = *b.m;
    m.ena_curloop_zero = 1;
    m.kr_zeroH3 = m.kr_H2 = 1.0f;
    b.c = {.id_ref = 0.5f, .iq_ref = -0.3f, .ud = 1.0f, .wl = 0.1f};
    b.Deblock(true);
    float& target = c.cell != nullptr ? b.c.*c.cell : m.*c.param;
    const float sane = target;
    for (int k = 0; k < 12000; ++k) {
        const double t = kW * k * kTs;
        b.c.ic = static_cast<float>(0.2 * std::sin(3.0 * t) + 0.2 * std::sin(2.0 * t));
        target = k >= 1000 && k < 1003 ? c.bad : sane;
        b.Loop(p);
    }
    EXPECT_NEAR(p.id, 0.5, 1e-4);
    EXPECT_NEAR(p.iq, -0.3, 1e-4);
    for (float v : {m.set_mod_a_pos, m.set_mod_b_neg, m.set_mod_c_zero, m.set_Idpos_follow,
                    m.set_Iqzero_follow, m.set_Udmod_pos, m.set_Uqmod_neg, m.md_neg}) {
        EXPECT_TRUE(std::isfinite(v));
    }
    EXPECT_GT(std::abs(m.bp_h3.Yh[1]) + std::abs(m.bp_h3.Yh[2]), 0.01f);
    EXPECT_GT(std::abs(m.bp_h2_alpha.Yh[1]) + std::abs(m.bp_h2_beta.Yh[1]), 0.01f);
}

INSTANTIATE_TEST_SUITE_P(
    CurCtrl, BadValue,
    ::testing::Values(BadCase{"ReferenceNaN", &Cells::id_ref, nullptr, kNaN},
                      BadCase{"ReferenceInf", &Cells::iq_ref, nullptr, kInf},
                      BadCase{"ReactanceNaN", &Cells::wl, nullptr, kNaN},
                      BadCase{"ReactanceInf", &Cells::wl, nullptr, kInf},
                      BadCase{"PhaseCurrentNaN", &Cells::ia, nullptr, kNaN},
                      BadCase{"PhaseCurrentInf", &Cells::ib, nullptr, -kInf},
                      BadCase{"ZeroReferenceInf", &Cells::id0_ref, nullptr, kInf},
                      BadCase{"FeedForwardInf", &Cells::ud, nullptr, kInf},
                      BadCase{"KilimNaN", nullptr, &CurCtrl::parm_pos_cur_kilim, kNaN},
                      BadCase{"PilimNaN", nullptr, &CurCtrl::parm_pos_cur_pilim, kNaN},
                      BadCase{"ShiftNaN", nullptr, &CurCtrl::parm_theta_shift, kNaN},
                      BadCase{"KrNaN", nullptr, &CurCtrl::kr_zeroH3, kNaN}),
    CaseName<BadCase>);

struct PeriodCase {
    std::string name;
    const Variant* variant;
};
class TaskPeriod : public ::testing::TestWithParam<PeriodCase> {};

// A task period at registration that is 0 or not a positive finite number holds the
// integrators (the regulators are proportional) and silences the band-passes.
TEST_P(TaskPeriod, ThatIsNotPositiveHoldsTheIntegratorsAndSilencesTheBandPasses) {
    Bench b(*GetParam().variant);
    CurCtrl& m = *b.m;
    m.ena_curloop_zero = 1;
    m.kp_zeroH3 = m.kr_zeroH3 = m.kr_H2 = 1.0f;
    b.c.wl = 0.1f;
    b.c.id_ref = b.c.id0_ref = 0.2f;
    b.Deblock(true);
    for (int k = 0; k < 200; ++k) {
        b.c.ia = static_cast<float>(std::sin(0.0942 * k));  // 150 Hz
        b.Tick();
        ASSERT_EQ(m.set_Idpos_follow, 0.0f);
        ASSERT_NEAR(m.md_pos, 0.38f * 0.1f * 10.0f * 0.2f, 1e-6);
        ASSERT_EQ(m.Ucmd_H3, m.i0);
        ASSERT_EQ(m.Ucmd_H2, 0.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(CurCtrl, TaskPeriod,
                         ::testing::Values(PeriodCase{"Zero", &kBench<&kTsZero>},
                                           PeriodCase{"NaN", &kBench<&kTsNaN>},
                                           PeriodCase{"Infinite", &kBench<&kTsInf>},
                                           PeriodCase{"Negative", &kBench<&kTsNeg>}),
                         CaseName<PeriodCase>);

}  // namespace
}  // namespace svg::testing
