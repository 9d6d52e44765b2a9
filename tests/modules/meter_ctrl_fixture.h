// A metering bench: the input and output modules, Parameter and MeterCtrl, wired as the full
// build wires them, driven by writing host channels into the I/O buffer and ticking the
// scheduler with the host record {0, 10, 10, 1} (task 2 every 10th tick, task 3 every 100th).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
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
#include "modules/MeterCtrl.h"
#include "modules/Parameter.h"
#include "support/temp_dir.h"
#include "variants/travik/travik.h"

namespace svg::testing {

// Host channel numbers used by the tests.
enum MeteringChannel : int {
    kChU_PT1 = 0,  // a, b, c at 0..2; PT2 at 3..5, PT3 at 6..8, PT4 at 9..11
    kChU_PT2 = 3,
    kChU_PT3 = 6,
    kChU_PT4 = 9,
    kChUrms_PT1 = 12,  // ab, bc, ca at 12..14; PT2 15..17, PT3 18..20, PT4 21..23
    kChUrms_PT2 = 15,
    kChUrms_PT3 = 18,
    kChUrms_PT4 = 21,
    kChI_CT1 = 24,
    kChI_CT2 = 27,
    kChI_CT3 = 30,
    kChI_HALL = 33,
    kChCtrlSite = 46,
    kChPTsiteSel = 47,
    kChQn = 60,
    kChVn = 61,
    kChFrqNom = 62,
    kChLTotCal = 63,
    kChCapPM = 64,
    kChCellnum = 65,
    kChQsvgCmd = 66,
    kChUcmd = 67,
    kChUpcc1 = 68,
    kChUdccmd = 69,
    kChTransHV = 71,
    kChTransLV = 72,
};

// The channel values a host sends when it keeps the parameter defaults.
struct ChannelValue {
    int channel;
    float value;
};
inline constexpr ChannelValue kRatedChannels[] = {
    {45, 0.0f},           {kChCtrlSite, 0.0f}, {kChPTsiteSel, 1.0f}, {kChQn, 30.0f},
    {kChVn, 35.0f},       {kChFrqNom, 50.0f},  {kChLTotCal, 13.0f},  {kChCapPM, 4.1f},
    {kChCellnum, 77.0f},  {kChQsvgCmd, 1.0f},  {kChUcmd, 35.0f},     {kChUpcc1, 220.0f},
    {kChUdccmd, 2400.0f}, {kChTransHV, 35.0f}, {kChTransLV, 10.0f},
};

// Host channels and inputs of Parameter and MeterCtrl, as the full build wires them.
// The deliverable's own wiring of the two modules; the phase-locked loop is absent, so
// MeterCtrl's grid angle reads the zero cell until the bench points it at its own angle.
inline void WireMetering(Environment* env) noexcept {
    WireParameter(env);
    WireMeterCtrl(env);
}

inline constexpr ModuleSpec kMeteringModules[] = {
    {kSlotSimInput, "SimInput", sizeof(SimInput), &CreateSimInput, nullptr, 1, 1, true},
    {kSlotSimOutput, "SimOutput", sizeof(SimOutput), &CreateSimOutput, nullptr, 4, 1, true},
    {kSlotParameter, "Parameter", sizeof(Parameter), &CreateParameter, nullptr, 2, 1, false},
    {kSlotMeterCtrl, "MeterCtrl", sizeof(MeterCtrl), &CreateMeterCtrl, nullptr, 3, 1, false},
};
inline constexpr Variant kMeteringVariant{kMeteringModules, 4, &WireMetering};

class MeteringBench : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(BuildEnvironment(kMeteringVariant, SystemAllocator(), &env_), 0);
        const double record[4] = {0, 10, 10, 1};
        ApplyHostParameters(env_, record);
        par_ = ModuleAt<Parameter>(env_, kSlotParameter);
        meter_ = ModuleAt<MeterCtrl>(env_, kSlotMeterCtrl);
        meter_->grid_theta = &theta_;
        for (const ChannelValue& c : kRatedChannels) {
            Channel(c.channel, c.value);
        }
    }
    void TearDown() override {
        if (env_ != nullptr) {
            EXPECT_EQ(TearDownEnvironment(env_, false), 0);
        }
    }

    void Channel(int channel, float value) { env_->io[channel] = value; }
    void Phases(int first, const Abc& v) {
        Channel(first, v.a);
        Channel(first + 1, v.b);
        Channel(first + 2, v.c);
    }
    void Ticks(int count) {
        for (int i = 0; i < count; ++i) {
            SchedulerTick(env_);
        }
    }
    // Runs `count` ticks, calling `before(tick)` ahead of each.
    template <class F>
    void Run(int count, F&& before) {
        for (int i = 0; i < count; ++i) {
            before(i);
            SchedulerTick(env_);
        }
    }

    // Time of tick n at the default task-1 period of 100 us.
    static double Seconds(int n) { return n * 1e-4; }

    TempWorkDir dir_;
    Environment* env_ = nullptr;
    Parameter* par_ = nullptr;
    MeterCtrl* meter_ = nullptr;
    float theta_ = 0.0f;
};

// Balanced positive-sequence phase set of peak `peak` at angle 2 pi f t + phase (radians).
inline Abc Balanced(double peak, double f, double t, double phase = 0.0) {
    constexpr double kPi = std::numbers::pi;
    const double w = 2.0 * kPi * f * t + phase;
    return {static_cast<float>(peak * std::cos(w)),
            static_cast<float>(peak * std::cos(w - 2.0 * kPi / 3.0)),
            static_cast<float>(peak * std::cos(w + 2.0 * kPi / 3.0))};
}

// Bytes a registered field of a type code occupies.
inline std::size_t FieldWidth(int type_code) {
    switch (type_code) {
        case kTypeB:
        case kTypeC:
        case kTypeCu:
            return 1;
        default:
            return 4;
    }
}

// Every field registered under "<instance>." lies inside the module record and no two
// overlap, so a descriptor type wider than its field cannot write into its neighbour.
inline void ExpectFieldsDisjoint(const SignalRegistry& registry, const std::string& instance,
                                 const void* record, std::size_t size, int expected_count) {
    struct Span {
        std::uintptr_t begin, end;
        std::string name;
    };
    std::vector<Span> spans;
    const auto base = reinterpret_cast<std::uintptr_t>(record);
    const std::string prefix = instance + ".";
    for (int i = 0; i < registry.entry_count; ++i) {
        const RegistryEntry& e = registry.entries[i];
        if (std::strncmp(e.name, prefix.c_str(), prefix.size()) != 0) {
            continue;
        }
        const auto at = reinterpret_cast<std::uintptr_t>(e.address);
        spans.push_back({at, at + FieldWidth(e.type_code), e.name});
        EXPECT_NE(e.type_code, kTypeUnknown) << e.name;
        EXPECT_GE(at, base + sizeof(ModuleHeader)) << e.name;
        EXPECT_LE(at + FieldWidth(e.type_code), base + size) << e.name;
    }
    EXPECT_EQ(static_cast<int>(spans.size()), expected_count);
    std::sort(spans.begin(), spans.end(),
              [](const Span& x, const Span& y) { return x.begin < y.begin; });
    for (std::size_t i = 1; i < spans.size(); ++i) {
        EXPECT_LE(spans[i - 1].end, spans[i].begin) << spans[i - 1].name << " / " << spans[i].name;
    }
}

// Names of the float variables registered under "<instance>." that hold a NaN or an infinity.
inline std::vector<std::string> NonFiniteFloats(const SignalRegistry& registry,
                                                const std::string& instance) {
    std::vector<std::string> bad;
    const std::string prefix = instance + ".";
    for (int i = 0; i < registry.entry_count; ++i) {
        const RegistryEntry& e = registry.entries[i];
        if (e.type_code == kTypeF && std::strncmp(e.name, prefix.c_str(), prefix.size()) == 0 &&
            !std::isfinite(*static_cast<const float*>(e.address))) {
            bad.emplace_back(e.name);
        }
    }
    return bad;
}

// The routines of task list 1..4 with their modules, in run order.
struct TaskEntry {
    TaskRoutine routine;
    const ModuleHeader* module;
    bool operator==(const TaskEntry&) const = default;
};
inline std::vector<TaskEntry> TaskListOf(const Environment* env, int list) {
    std::vector<TaskEntry> out;
    for (const TaskNode* n = env->scheduler->lists[list - 1]->first; n != nullptr; n = n->next) {
        out.push_back({n->routine, n->module});
    }
    return out;
}

}  // namespace svg::testing
