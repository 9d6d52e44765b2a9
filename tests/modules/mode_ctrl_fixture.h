// A mode-control bench: the input and output modules, Parameter, ModeCtrl and AppModeCtrl,
// wired as the full build wires them (so host channels 44, 90 and 91 reach the parameters).
// After the build every measured input of ModeCtrl is pointed at a bench member. Ticks run
// the scheduler with the host record {0, 10, 10, 1}: task 2 on every 10th tick, with the
// default task-2 period of 1 ms.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "framework/environment.h"
#include "framework/sim_io.h"
#include "framework/slots.h"
#include "meter_ctrl_fixture.h"
#include "modules/AppModeCtrl.h"
#include "modules/ModeCtrl.h"
#include "modules/Parameter.h"
#include "support/temp_dir.h"
#include "variants/travik/travik.h"

namespace svg::testing {

inline void WireModeBench(Environment* env) noexcept {
    WireParameter(env);
    WireModeCtrl(env);
    WireAppModeCtrl(env);
}

inline constexpr ModuleSpec kModeBenchModules[] = {
    {kSlotSimInput, "SimInput", sizeof(SimInput), &CreateSimInput, nullptr, 1, 1, true},
    {kSlotSimOutput, "SimOutput", sizeof(SimOutput), &CreateSimOutput, nullptr, 26, 1, true},
    {kSlotParameter, "Parameter", sizeof(Parameter), &CreateParameter, nullptr, 2, 1, false},
    {kSlotModeCtrl, "ModeCtrl", sizeof(ModeCtrl), &CreateModeCtrl, nullptr, 18, 2, false},
    {kSlotAppModeCtrl, "AppModeCtrl", sizeof(AppModeCtrl), &CreateAppModeCtrl, nullptr, 19, 2,
     false},
};
inline constexpr Variant kModeBenchVariant{kModeBenchModules, 5, &WireModeBench};

// Host channels of mode control.
inline constexpr int kChMode = 44;
inline constexpr int kChKpU = 90;
inline constexpr int kChKiU = 91;
inline constexpr int kTicksPerPeriod = 10;  // host steps per task-2 period

class ModeBench : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(BuildEnvironment(kModeBenchVariant, SystemAllocator(), &env_), 0);
        const double record[4] = {0, 10, 10, 1};
        ApplyHostParameters(env_, record);
        mc_ = ModuleAt<ModeCtrl>(env_, kSlotModeCtrl);
        app_ = ModuleAt<AppModeCtrl>(env_, kSlotAppModeCtrl);
        Channel(60, 30.0f);  // rating, so Parameter's bases are sane
        Channel(kChKpU, 0.05f);
        Channel(kChKiU, 200.0f);
        Mode(0);

        mc_->Udpos_fil = &udpos_;
        mc_->Uqpos_fil = &uqpos_;
        mc_->Idpos_fbk = &idpos_;
        mc_->Qsvg_pu = &qsvg_;
        mc_->Q_sel_pu = &qsel_;
        mc_->P_sel_pu = &psel_;
        mc_->Id_mix = &id_mix_;
        mc_->Iq_mix = &iq_mix_;
        mc_->Ufbk_pu = &ufbk_;
        mc_->Ucmd_pu = &ucmd_;
        mc_->Qsvg_cmd_pu = &qsvg_cmd_;
        mc_->Qsys_cmd_pu = &qsys_cmd_;
        mc_->Isvg_cmd_pu = &isvg_cmd_;
        mc_->kpi_Umode = &kpi_;
        mc_->Ufbk_another_pu = &u2_;
        mc_->Qn_Mvar = &qn_;
        mc_->Task2 = &task2_;
        app_->Ppcc = &ppcc_;
        app_->Qn_Mvar = &qn_;
        app_->Task2 = &task2_;
    }
    void TearDown() override {
        if (env_ != nullptr) {
            EXPECT_EQ(TearDownEnvironment(env_, false), 0);
        }
    }

    void Channel(int channel, float value) { env_->io[channel] = value; }
    void Mode(float mode) { Channel(kChMode, mode); }
    void Running(bool on) { Channel(43, on ? 1.0f : 0.0f); }
    void Ticks(long count) {
        for (long i = 0; i < count; ++i) {
            SchedulerTick(env_);
        }
    }
    // Whole task-2 periods: ModeCtrl and AppModeCtrl run once in each.
    void Periods(long count) { Ticks(count * kTicksPerPeriod); }

    TempWorkDir dir_;
    Environment* env_ = nullptr;
    ModeCtrl* mc_ = nullptr;
    AppModeCtrl* app_ = nullptr;

    float udpos_ = 1.0f, uqpos_ = 0.0f, idpos_ = 0.0f;
    float qsvg_ = 0.0f, qsel_ = 0.0f, psel_ = 0.0f;
    float id_mix_ = 0.0f, iq_mix_ = 0.0f;
    float ufbk_ = 1.0f, ucmd_ = 1.0f;
    float qsvg_cmd_ = 0.0f, qsys_cmd_ = 0.0f, isvg_cmd_ = 0.0f;
    float kpi_ = 1.0f, u2_ = 1.0f, qn_ = 30.0f, task2_ = 0.001f, ppcc_ = 0.0f;
};

}  // namespace svg::testing
