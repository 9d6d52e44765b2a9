// A measurement bench: the input and output modules with PLL, CurTrans and PQCal, whose
// inputs read floats and flags the bench owns. The task periods are constants the wiring
// points at (the start-up work of the modules reads them during the build); every other
// input is pointed at a bench member after the build. Ticks run the scheduler with the host
// record {0, 10, 10, 1}, so the environment time counter advances by 100 per tick.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "blocks/transforms.h"
#include "framework/environment.h"
#include "framework/registry.h"
#include "framework/sim_io.h"
#include "framework/slots.h"
#include "framework/type_codes.h"
#include "modules/CurTrans.h"
#include "modules/PLL.h"
#include "modules/PQCal.h"
#include "support/registry_names.h"
#include "support/temp_dir.h"

namespace svg::testing::measurement {

inline constexpr float kTask1 = 0.0001f;
inline constexpr float kTask2 = 0.001f;
inline constexpr float kTask3 = 0.01f;
inline constexpr double kPi = std::numbers::pi;

inline void WireBench(Environment* env) noexcept {
    PLL* pll = ModuleAt<PLL>(env, kSlotPLL);
    CurTrans* ct = ModuleAt<CurTrans>(env, kSlotCurTrans);
    PQCal* pq = ModuleAt<PQCal>(env, kSlotPQCal);
    pll->Task1 = ct->Task1 = pq->Task1 = &kTask1;
    pll->Task2 = ct->Task2 = pq->Task2 = &kTask2;
    pll->Task3 = ct->Task3 = pq->Task3 = &kTask3;
}

inline constexpr ModuleSpec kBenchModules[] = {
    {kSlotSimInput, "SimInput", sizeof(SimInput), &CreateSimInput, nullptr, 1, 1, true},
    {kSlotSimOutput, "SimOutput", sizeof(SimOutput), &CreateSimOutput, nullptr, 5, 1, true},
    {kSlotCurTrans, "CurTrans", sizeof(CurTrans), &CreateCurTrans, nullptr, 3, 1, false},
    {kSlotPLL, "PLL", sizeof(PLL), &CreatePLL, nullptr, 2, 1, false},
    {kSlotPQCal, "PQCal", sizeof(PQCal), &CreatePQCal, nullptr, 4, 1, false},
};
inline constexpr Variant kBenchVariant{kBenchModules, 5, &WireBench};

// Phase set a = A cos(x), b = A cos(x -+ 2pi/3), c = A cos(x +- 2pi/3) at x = 2 pi turns + phase
// (radians): positive sequence for sign = +1, negative sequence for sign = -1.
inline Abc PhaseSet(double amplitude, double turns, double phase, int sign = 1) {
    const double x = 2.0 * kPi * turns + phase;
    const double third = sign * 2.0 * kPi / 3.0;
    return {static_cast<float>(amplitude * std::cos(x)),
            static_cast<float>(amplitude * std::cos(x - third)),
            static_cast<float>(amplitude * std::cos(x + third))};
}

inline Abc Sum(const Abc& x, const Abc& y) { return {x.a + y.a, x.b + y.b, x.c + y.c}; }

// Signed difference of two angles in turns, folded into [-0.5, 0.5).
inline double TurnDiff(double x, double y) {
    const double d = std::fmod(x - y, 1.0);
    return d >= 0.5 ? d - 1.0 : (d < -0.5 ? d + 1.0 : d);
}

// The float variables of an instance that hold a NaN or an infinity.
inline std::vector<std::string> NonFinite(const SignalRegistry& r, const std::string& inst) {
    std::vector<std::string> bad;
    const std::string prefix = inst + ".";
    for (int i = 0; i < r.entry_count; ++i) {
        const RegistryEntry& e = r.entries[i];
        if (e.type_code == kTypeF && std::strncmp(e.name, prefix.c_str(), prefix.size()) == 0 &&
            !std::isfinite(*static_cast<const float*>(e.address))) {
            bad.emplace_back(e.name);
        }
    }
    return bad;
}

class Bench : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(BuildEnvironment(kBenchVariant, SystemAllocator(), &env_), 0);
        const double record[4] = {0, 10, 10, 1};
        ApplyHostParameters(env_, record);
        pll_ = ModuleAt<PLL>(env_, kSlotPLL);
        ct_ = ModuleAt<CurTrans>(env_, kSlotCurTrans);
        pq_ = ModuleAt<PQCal>(env_, kSlotPQCal);

        pll_->Uctrl_a_pu = &u_.a;
        pll_->Uctrl_b_pu = &u_.b;
        pll_->Uctrl_c_pu = &u_.c;
        pll_->flg_ZVRT_mod = &zvrt_;
        pll_->FrqHzNom = &fnom_;
        pll_->flg_ffsw = &ffsw_;

        ct_->Ictrl_a_pu = &i_.a;
        ct_->Ictrl_b_pu = &i_.b;
        ct_->Ictrl_c_pu = &i_.c;
        ct_->grid_theta = &theta_;
        ct_->flg_ffsw = &ffsw_;
        ct_->grid_freq = &freq_;

        pq_->flg_seq_running = &running_;
        pq_->Qn_Mvar = &qn_;
        pq_->Ud_mix = &udq_.d;
        pq_->Uq_mix = &udq_.q;
        pq_->Id_mix = &idq_.d;
        pq_->Iq_mix = &idq_.q;
        pq_->Isys_a_pu = &isys_.a;
        pq_->Isys_b_pu = &isys_.b;
        pq_->Isys_c_pu = &isys_.c;
        pq_->Upcc_a_pu = &upcc_.a;
        pq_->Upcc_b_pu = &upcc_.b;
        pq_->Upcc_c_pu = &upcc_.c;
        pq_->Upoc_a_pu = &upoc_.a;
        pq_->Upoc_b_pu = &upoc_.b;
        pq_->Upoc_c_pu = &upoc_.c;
        pq_->reset = &reset_;
    }
    void TearDown() override {
        if (env_ != nullptr) {
            EXPECT_EQ(TearDownEnvironment(env_, false), 0);
        }
    }

    void Ticks(int count) {
        for (int n = 0; n < count; ++n) {
            SchedulerTick(env_);
        }
    }
    // Runs `count` ticks, calling `before(n)` ahead of tick n.
    template <class F>
    void Run(int count, F&& before) {
        for (int n = 0; n < count; ++n) {
            before(n);
            SchedulerTick(env_);
        }
    }

    TempWorkDir dir_;
    Environment* env_ = nullptr;
    PLL* pll_ = nullptr;
    CurTrans* ct_ = nullptr;
    PQCal* pq_ = nullptr;

    // PLL inputs.
    Abc u_{};
    float fnom_ = 50.0f;
    std::uint8_t zvrt_ = 0;
    std::uint8_t ffsw_ = 0;
    // CurTrans inputs.
    Abc i_{};
    float theta_ = 0.0f;
    float freq_ = 50.0f;
    // PQCal inputs.
    std::uint8_t running_ = 0;
    std::uint8_t reset_ = 0;
    float qn_ = 30.0f;
    Dq udq_{};
    Dq idq_{};
    Abc isys_{};
    Abc upcc_{};
    Abc upoc_{};
};

}  // namespace svg::testing::measurement
