// Harmonic current control on a bench of its own: each loop cancels a harmonic current of its
// order and sequence through a plant in its harmonic frame, mode 0 injects the limit voltage
// at the harmonic angle after the running delay, the distortion figures of known harmonic
// content, recovery from bad values; then its registration in the full build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "blocks/numeric.h"
#include "framework/registry.h"
#include "framework/sim_io.h"
#include "framework/slots.h"
#include "framework/type_codes.h"
#include "modules/HarCurCtrl.h"
#include "support/env_run.h"
#include "support/registry_names.h"
#include "support/temp_dir.h"

namespace svg::testing {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kTs = 1e-4f, kTsNaN = kNaN;
constexpr double kTurn = 2.0 * std::numbers::pi;
// The 0.5 s running delay counted down by 100 us in single precision: first active step.
constexpr int kDelaySteps = 5002;

void Defaults(HarCurCtrl&) {}
void NaNIntegralGain(HarCurCtrl& m) { m.parm[0].iki = kNaN; }

// HarCurCtrl with the input and output modules; `Setup` changes settings before the task
// registration.
template <const float* Ts, void (*Setup)(HarCurCtrl&)>
void WireBench(Environment* env) noexcept {
    WireHarCurCtrl(env);
    ModuleAt<HarCurCtrl>(env, kSlotHarCurCtrl)->Task1 = Ts;
    Setup(*ModuleAt<HarCurCtrl>(env, kSlotHarCurCtrl));
}
constexpr ModuleSpec kBenchModules[] = {
    {kSlotSimInput, "SimInput", sizeof(SimInput), &CreateSimInput, nullptr, 1, 1, true},
    {kSlotSimOutput, "SimOutput", sizeof(SimOutput), &CreateSimOutput, nullptr, 3, 1, true},
    {kSlotHarCurCtrl, "HarCurCtrl", sizeof(HarCurCtrl), &CreateHarCurCtrl, nullptr, 2, 1, false},
};
template <const float* Ts, void (*Setup)(HarCurCtrl&)>
constexpr Variant kBench{kBenchModules, 3, &WireBench<Ts, Setup>};

// The grid angle advances at 50 Hz; each loop's twelve dq inputs read `cells` in record order
// (valve current, system current, system voltage); valve base 200 A.
struct Bench {
    explicit Bench(const Variant& variant = kBench<&kTs, &Defaults>) {
        EXPECT_EQ(BuildEnvironment(variant, SystemAllocator(), &env), 0);
        const double record[4] = {0, 10, 10, 1};
        ApplyHostParameters(env, record);
        m = ModuleAt<HarCurCtrl>(env, kSlotHarCurCtrl);
        m->grid_theta = &theta;
        m->rcp_Ivalve_base = &rcp;
        m->trans_type = &trans;
        m->Urms_PT4_ab_fund = &urms[0];
        m->Urms_PT4_bc_fund = &urms[1];
        m->Urms_PT4_ca_fund = &urms[2];
        for (int k = 0; k < kHarLoops; ++k) {
            HarLoopInputs& in = m->loop_in[k];
            const float** slots[] = {&in.hall_idpos, &in.hall_iqpos, &in.hall_idneg, &in.hall_iqneg,
                                     &in.sys_idpos,  &in.sys_iqpos,  &in.sys_idneg,  &in.sys_iqneg,
                                     &in.sys_udpos,  &in.sys_uqpos,  &in.sys_udneg,  &in.sys_uqneg};
            for (int i = 0; i < 12; ++i) {
                *slots[i] = &cells[k][i];
            }
        }
    }
    ~Bench() { TearDownEnvironment(env, false); }
    void Step(bool running = true) {
        theta = static_cast<float>(std::fmod(n++ * 50.0 * kTs, 1.0)) + theta_offset;
        env->io[kRunningChannel] = running ? 1.0f : 0.0f;
        SchedulerTick(env);
    }
    void Steps(int count) {
        for (int i = 0; i < count; ++i) {
            Step();
        }
    }
    // Loop k's frame angle, turns: h theta + shift, negated for a negative-sequence loop.
    double Angle(int k) const {
        const HarLoopParams& p = m->parm[k];
        return (p.phaseq == 0 ? 1 : -1) * (p.harnum * double{theta} + p.phashift);
    }
    // Largest deviation over one 50 Hz cycle of the summed voltages from `amplitude` at loop
    // k's frame angle.
    double InjectionError(int k, double amplitude) {
        double worst = 0.0;
        for (int i = 0; i < 200; ++i) {
            Step();
            const double got[3] = {m->set_mod_a_har, m->set_mod_b_har, m->set_mod_c_har};
            for (int ph = 0; ph < 3; ++ph) {
                const double want = amplitude * std::cos(kTurn * (Angle(k) - ph / 3.0));
                worst = std::max(worst, std::abs(got[ph] - want));
            }
        }
        return worst;
    }

    TempWorkDir dir;
    Environment* env = nullptr;
    HarCurCtrl* m = nullptr;
    float theta = 0.0f, theta_offset = 0.0f, rcp = 1.0f / 200.0f;
    std::uint8_t trans = 0;
    float cells[kHarLoops][12]{};
    float urms[3]{};
    long n = 0;
};

struct FrameCase {
    std::string name;
    int loop;
    std::uint8_t phaseq;
    double wd, wq;  // harmonic current the plant drives by itself, per unit
};
class HarmonicFrame : public ::testing::TestWithParam<FrameCase> {};

// Plant in the loop's frame: y += 0.05 (v + w - y), v the summed output's dq components at the
// loop's angle (amplitude-invariant Park), fed back as the negated valve current. Only a loop
// working in that very frame drives y to 0, its regulators then holding -w.
TEST_P(HarmonicFrame, LoopCancelsAHarmonicCurrentOfItsOrderAndSequence) {
    const FrameCase& c = GetParam();
    Bench b;
    b.m->parm[c.loop].phaseq = c.phaseq;
    const int d = c.phaseq == 0 ? kHarPosD : kHarNegD;
    double y[2] = {c.wd, c.wq};
    for (int n = 0; n < 22000; ++n) {
        b.cells[c.loop][d] = static_cast<float>(-y[0] / b.rcp);
        b.cells[c.loop][d + 1] = static_cast<float>(-y[1] / b.rcp);
        b.Step();
        const double v[3] = {b.m->set_mod_a_har, b.m->set_mod_b_har, b.m->set_mod_c_har};
        double vd = 0.0, vq = 0.0;
        for (int ph = 0; ph < 3; ++ph) {
            vd += 2.0 / 3.0 * v[ph] * std::cos(kTurn * (b.Angle(c.loop) - ph / 3.0));
            vq -= 2.0 / 3.0 * v[ph] * std::sin(kTurn * (b.Angle(c.loop) - ph / 3.0));
        }
        y[0] += 0.05 * (vd + c.wd - y[0]);
        y[1] += 0.05 * (vq + c.wq - y[1]);
    }
    EXPECT_NEAR(y[0], 0.0, 1e-3);
    EXPECT_NEAR(y[1], 0.0, 1e-3);
    EXPECT_NEAR(b.m->loop[c.loop].out[d], -c.wd, 2e-3);
    EXPECT_NEAR(b.m->loop[c.loop].out[d + 1], -c.wq, 2e-3);
}

INSTANTIATE_TEST_SUITE_P(HarCurCtrl, HarmonicFrame,
                         ::testing::Values(FrameCase{"Loop1FifthNegative", 0, 1, 0.3, -0.2},
                                           FrameCase{"Loop2SeventhPositive", 1, 0, -0.25, 0.1},
                                           FrameCase{"Loop3EleventhNegative", 2, 1, 0.1, 0.3},
                                           FrameCase{"Loop4ThirteenthPositive", 3, 0, -0.2, -0.2}),
                         CaseName<FrameCase>);

// Mode 0 without feedback: nothing for 0.5 s of running, then the d regulator at its limit
// gives umodelim at the harmonic angle. The d regulator follows its gain settings at once,
// the q regulator keeps those of task registration; a loop switched off is cleared; a
// transformer type above 6 holds the point-of-connection angle.
TEST(HarCurCtrl, ModeZeroInjectsTheLimitAtTheHarmonicAngleAfterTheRunningDelay) {
    Bench b;
    b.m->parm[2].mode = 0;
    for (int i = 1; i < kDelaySteps; ++i) {
        b.Step();
        ASSERT_EQ(b.m->set_mod_a_har, 0.0f) << i;
        ASSERT_EQ(b.m->set_mod_c_har, 0.0f) << i;
    }
    b.Step();
    EXPECT_NE(b.m->set_mod_a_har, 0.0f);
    b.Steps(1500);
    EXPECT_LT(b.InjectionError(2, 0.7), 1e-5);

    b.m->parm[2].ikp = 0.3f;
    b.trans = 7;
    const float held = b.m->set_poc_theta;
    b.Step();
    EXPECT_EQ(b.m->loop[2].pi[kHarNegD].Kp, 0.3f);
    EXPECT_EQ(b.m->loop[2].pi[kHarNegQ].Kp, 0.1f);
    EXPECT_EQ(b.m->set_poc_theta, held);
    b.trans = 6;
    b.Step();
    EXPECT_EQ(b.m->set_poc_theta, b.theta);
    b.m->parm[2].ena = 0;
    b.Step();
    EXPECT_EQ(b.m->set_mod_b_har, 0.0f);
    EXPECT_EQ(b.m->loop[2].pi[kHarNegD].I, 0.0f);
}

// A task period that is not a positive number holds the integrators: the d output is Kp e.
TEST(HarCurCtrl, NaNTaskPeriodHoldsTheIntegrators) {
    Bench b(kBench<&kTsNaN, &Defaults>);
    b.m->parm[0].mode = 0;
    b.Steps(100);
    EXPECT_EQ(b.m->loop[0].pi[kHarNegD].Ts, 0.0f);
    EXPECT_EQ(b.m->loop[0].out[kHarNegD], 0.1f);
}

struct RmsCase {
    std::string name;
    float hall[4], sys_u[4], urms[3];
    float hall_rms, usys_per;
};
class DistortionFigures : public ::testing::TestWithParam<RmsCase> {};

// Sequence vectors of peaks P and N make the RMS value sqrt((P^2 + N^2)/2), for the valve and
// the system current alike; the voltage figure is that over the fundamental phase RMS (mean
// line RMS / sqrt 3), in percent, within [0, 100]: 163.29932 V peak on 10 kV lines is 2 %.
TEST_P(DistortionFigures, AreRmsValuesAndPercentOfTheFundamental) {
    const RmsCase& c = GetParam();
    Bench b;
    for (auto& loop : b.cells) {
        std::copy(c.hall, c.hall + 4, loop);
        std::copy(c.hall, c.hall + 4, loop + 4);
        std::copy(c.sys_u, c.sys_u + 4, loop + 8);
    }
    std::copy(c.urms, c.urms + 3, b.urms);
    b.Step(false);  // tick 0 runs task list 2
    for (int k = 0; k < kHarLoops; ++k) {
        EXPECT_NEAR(b.m->rms[k].hall_rms, c.hall_rms, 1e-5 * c.hall_rms);
        EXPECT_EQ(b.m->rms[k].Isys_rms, b.m->rms[k].hall_rms);
        EXPECT_NEAR(b.m->rms[k].Usys_per, c.usys_per, 1e-4);
        EXPECT_EQ(b.m->set_harnum[k], std::vector<std::uint32_t>({5, 7, 11, 13})[k]);
    }
}

INSTANTIATE_TEST_SUITE_P(
    HarCurCtrl, DistortionFigures,
    ::testing::Values(
        RmsCase{
            "Positive", {30, 40, 0, 0}, {163.29932f, 0, 0, 0}, {1e4f, 1e4f, 1e4f}, 50 / kSqrt2, 2},
        RmsCase{"BothUnbalancedLines",
                {3, 4, 0, 12},
                {0, 115.47005f, 0, 115.47005f},
                {9e3f, 1e4f, 1.1e4f},
                13 / kSqrt2,
                2},
        RmsCase{"NoFundamentalIs100", {1, 0, 0, 0}, {0, 0, 1e-3f, 0}, {0, 0, 0}, 1 / kSqrt2, 100},
        RmsCase{"NoFundamentalNoHarmonicIs0", {1, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0}, 1 / kSqrt2, 0},
        RmsCase{
            "NaNVoltageReads0", {1, 0, 0, 0}, {kNaN, 0, 0, 0}, {1e4f, 1e4f, 1e4f}, 1 / kSqrt2, 0}),
    CaseName<RmsCase>);

enum Knob { kAngle, kShift, kFeedbackD, kFeedbackQ, kKp, kKi, kLimit, kOrder, kMode, kSeq };
void Set(Bench& b, Knob knob, float v) {
    HarLoopParams& p = b.m->parm[0];
    float* floats[] = {
        &b.theta_offset, &p.phashift, &b.cells[0][kHarNegD], &b.cells[0][kHarNegQ], &p.ikp,
        &p.iki,          &p.umodelim};
    std::uint8_t* bytes[] = {&p.harnum, &p.mode, &p.phaseq};
    if (knob < kOrder) {
        *floats[knob] = v;
    } else {
        *bytes[knob - kOrder] = TruncToByte(v);
    }
}

struct BadCase {
    std::string name;
    Knob knob;
    float bad, good;
    int recovery = 3000;  // steps
    const Variant* variant = &kBench<&kTs, &Defaults>;
};
class HarmonicBadInput : public ::testing::TestWithParam<BadCase> {};

// Loop 1 injecting in mode 0 meets 100 steps of a bad value: its output stays finite and
// within the limit of both regulators, and once the value is sane again (and an integrator
// driven to its limit has come back) it injects the limit voltage at the harmonic angle.
TEST_P(HarmonicBadInput, OutputStaysFiniteAndRecovers) {
    const BadCase& c = GetParam();
    Bench b(*c.variant);
    b.m->parm[0].mode = 0;
    b.Steps(kDelaySteps + 1500);
    Set(b, c.knob, c.bad);
    for (int i = 0; i < 100; ++i) {
        b.Step();
        for (float v : {b.m->set_mod_a_har, b.m->set_mod_b_har, b.m->set_mod_c_har}) {
            ASSERT_LE(std::abs(v), 0.7f * std::sqrt(2.0f) + 1e-6f) << i;
        }
    }
    Set(b, c.knob, c.good);
    b.Steps(c.recovery);
    EXPECT_LT(b.InjectionError(0, 0.7), 1e-5);
}

// A huge gain's anti-windup feedback drives the integrator to -10, whence it comes back
// slowly; a NaN integral gain at task registration would hold the q integrator at -10.
INSTANTIATE_TEST_SUITE_P(HarCurCtrl, HarmonicBadInput,
                         ::testing::Values(BadCase{"NaNGridAngle", kAngle, kNaN, 0},
                                           BadCase{"NaNPhaseShift", kShift, kNaN, -0.2f},
                                           BadCase{"NaNFeedback", kFeedbackD, kNaN, 0},
                                           BadCase{"InfiniteFeedback", kFeedbackQ, kInf, 0},
                                           BadCase{"NaNGain", kKp, kNaN, 0.1f},
                                           BadCase{"HugeGain", kKp, 1e38f, 0.1f, 10000},
                                           BadCase{"InfiniteIntegralGain", kKi, kInf, 5.0f},
                                           BadCase{"NaNIntegralGainAtStart", kKi, kNaN, 5.0f, 3000,
                                                   &kBench<&kTs, &NaNIntegralGain>},
                                           BadCase{"NaNLimit", kLimit, kNaN, 0.7f},
                                           BadCase{"HighestOrder", kOrder, 255, 5},
                                           BadCase{"ModeAbove4HoldsTheReference", kMode, 200, 0},
                                           BadCase{"SequenceSelector255IsNegative", kSeq, 255, 1}),
                         CaseName<BadCase>);

// In the full build: the type name, the registration order read from the tables (variables
// row by row, each row through loops 1..4; then the settings loop by loop), the field and
// type behind sample names, the per-loop defaults, the regulators set up at task
// registration and the task-2 routine after the meter's.
TEST(HarCurCtrlBuild, RegistersInOrderAndSetsUpItsRegulators) {
    TempWorkDir dir;
    EnvRun run;
    ASSERT_EQ(run.Init(), 0);
    const HarCurCtrl* m = run.Module<HarCurCtrl>(kSlotHarCurCtrl);
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(m->hdr.type_name, "HARCURCTRL");
    std::vector<std::string> vars = {"set_poc_theta", "set_mod_a_har", "set_mod_b_har",
                                     "set_mod_c_har"};
    std::vector<std::string> parms;
    auto per_loop = [](std::vector<std::string>& out, std::vector<std::string> names) {
        for (char k = '1'; k <= '4'; ++k) {
            for (std::string n : names) {
                n[n.find('#')] = k;
                out.push_back(n);
            }
        }
    };
    per_loop(vars, {"set_loop#_hall_rms", "set_loop#_Isys_rms", "set_loop#_Usys_per"});
    per_loop(vars, {"set_harloop#_harnum"});
    vars.emplace_back("running_delay");
    per_loop(vars, {"loop#_posctrl_ena", "loop#_negctrl_ena"});
    per_loop(vars, {"loop#_idpos_ref", "loop#_iqpos_ref", "loop#_idneg_ref", "loop#_iqneg_ref"});
    per_loop(vars, {"loop#_hall_idpos_pu", "loop#_hall_iqpos_pu", "loop#_hall_idneg_pu",
                    "loop#_hall_iqneg_pu"});
    std::vector<std::string> settings = {"ena_harloop#"};
    for (const char* s : {"mode", "harnum", "phaseq", "ikp", "iki", "phashift", "uharref", "ukp",
                          "uki", "umodelim", "ioutlim", "isyslim", "autoY", "Yminlim"}) {
        settings.push_back(std::string("parm_harloop#_") + s);
    }
    per_loop(parms, settings);
    EXPECT_EQ(RegisteredNames(*run.env()->variables, "HarCurCtrl"), vars);
    EXPECT_EQ(RegisteredNames(*run.env()->parameters, "HarCurCtrl"), parms);

    const struct {
        const SignalRegistry* registry;
        const char* name;
        const void* address;
        int type;
    } fields[] = {
        {run.env()->variables, "HarCurCtrl.set_harloop4_harnum", &m->set_harnum[3], kTypeLu},
        {run.env()->variables, "HarCurCtrl.loop4_iqneg_ref", &m->loop[3].ref[kHarNegQ], kTypeF},
        {run.env()->parameters, "HarCurCtrl.parm_harloop4_Yminlim", &m->parm[3].Yminlim, kTypeF},
    };
    for (const auto& f : fields) {
        const RegistryEntry* end = f.registry->entries + f.registry->entry_count;
        const RegistryEntry* e = std::find_if(
            f.registry->entries, end, [&](const auto& x) { return std::string(x.name) == f.name; });
        ASSERT_NE(e, end) << f.name;
        EXPECT_EQ(e->address, f.address) << f.name;
        EXPECT_EQ(e->type_code, f.type) << f.name;
    }
    for (int k = 0; k < kHarLoops; ++k) {
        EXPECT_EQ(m->parm[k].harnum, std::vector<int>({5, 7, 11, 13})[k]);
        EXPECT_EQ(m->parm[k].phaseq, std::vector<int>({1, 0, 1, 0})[k]);
        for (const PiReg& r : m->loop[k].pi) {
            EXPECT_TRUE(r.Ts == 1e-4f && r.Kp == 0.1f && r.Ki == 5.0f && r.Kaw == 1.0f &&
                        r.IntMax == 10.0f && r.IntMin == -10.0f && r.OutLim == 0.7f);
        }
    }
    std::vector<std::string> list2;
    for (const TaskNode* n = run.env()->scheduler->lists[1]->first; n != nullptr; n = n->next) {
        list2.emplace_back(n->module->instance_name);
    }
    EXPECT_EQ(list2,
              std::vector<std::string>({"MeterCtrl", "HarCurCtrl", "ModeCtrl", "AppModeCtrl"}));
}

}  // namespace
}  // namespace svg::testing
