// The run-time environment and its scheduler, driven through test-only modules.
#include "framework/environment.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "framework/registry.h"
#include "framework/sim_io.h"
#include "framework/slots.h"
#include "support/temp_dir.h"

namespace svg {
namespace {

// Records the ticks at which each of its four routines ran.
struct Probe {
    ModuleHeader hdr;
    const float* some_input;
    float parm_gain;
    float out_value;
    std::vector<int>* runs[kTaskLists];
};

struct ProbeLog {
    std::vector<int> ticks[kTaskLists];
    int step = 0;
};

// The log lives outside the zero-filled module record; the test attaches it after the build.
template <int List>
void ProbeRoutine(ModuleHeader* module) {
    Probe* probe = As<Probe>(module);
    if (probe->runs[List] != nullptr) {
        probe->runs[List]->push_back(static_cast<int>(module->env->scheduler->tick));
    }
}

int RegisterProbeTasks(ModuleHeader* module, int) {
    RegisterTask(1, &ProbeRoutine<0>, module);
    RegisterTask(2, &ProbeRoutine<1>, module);
    RegisterTask(3, &ProbeRoutine<2>, module);
    RegisterTask(4, &ProbeRoutine<3>, module);
    return 0;
}

ModuleHeader* CreateProbe(Environment* env, ModuleHeader* module, const char* name) {
    InitHeader(module, env, "PROBE", name, &RegisterProbeTasks);
    Probe* probe = As<Probe>(module);
    RegisterParameter(module, &probe->parm_gain, "parm_gain type=f default=2.5 option=1");
    RegisterVariable(module, &probe->out_value, "out_value type=f");
    DeclareInput(module, &probe->some_input, "some_input type=f");
    return module;
}

constexpr ModuleSpec kProbeModules[] = {
    {kSlotSimInput, "SimInput", sizeof(SimInput), &CreateSimInput, nullptr, 1, 1, true},
    {kSlotSimOutput, "SimOutput", sizeof(SimOutput), &CreateSimOutput, nullptr, 3, 1, true},
    {kSlotParameter, "Probe", sizeof(Probe), &CreateProbe, nullptr, 2, 1, false},
};
constexpr Variant kProbeVariant{kProbeModules, 3, nullptr};

// An allocator that fails the n-th allocation (counting from 1) and counts what is live.
struct CountingAllocator {
    int fail_at = 0;
    int calls = 0;
    int live = 0;
    Allocator Get() { return {&Allocate, &Free, this}; }
    static void* Allocate(void* context, std::size_t bytes) {
        auto* self = static_cast<CountingAllocator*>(context);
        if (++self->calls == self->fail_at) {
            return nullptr;
        }
        void* block = SystemAllocator().allocate(nullptr, bytes);
        self->live += block != nullptr ? 1 : 0;
        return block;
    }
    static void Free(void* context, void* block) {
        --static_cast<CountingAllocator*>(context)->live;
        SystemAllocator().release(nullptr, block);
    }
};

class EnvironmentTest : public ::testing::Test {
  protected:
    void Build(const double* record) {
        ASSERT_EQ(BuildEnvironment(kProbeVariant, SystemAllocator(), &env_), 0);
        ApplyHostParameters(env_, record);
        Probe* probe = ModuleAt<Probe>(env_, kSlotParameter);
        for (int l = 0; l < kTaskLists; ++l) {
            probe->runs[l] = &log_.ticks[l];
        }
    }
    void Steps(int count) {
        for (int i = 0; i < count; ++i) {
            StepEnvironment(env_, in_, out_);
        }
    }
    void TearDown() override {
        if (env_ != nullptr) {
            EXPECT_EQ(TearDownEnvironment(env_, false), 0);
        }
    }
    testing::TempWorkDir dir_;
    Environment* env_ = nullptr;
    ProbeLog log_;
    double in_[kHostChannels] = {};
    double out_[kHostChannels] = {};
};

struct DividerCase {
    double record[4];
    int task2, task3, task4;
    std::vector<int> list2_ticks;  // over the first 20 steps
};

class DividerTest : public EnvironmentTest, public ::testing::WithParamInterface<DividerCase> {};

TEST_P(DividerTest, ListsRunAtTheTicksTheDividersGive) {
    const DividerCase& c = GetParam();
    Build(c.record);
    EXPECT_EQ(env_->scheduler->task2_divider, c.task2);
    EXPECT_EQ(env_->scheduler->task3_divider, c.task3);
    EXPECT_EQ(env_->scheduler->task4_divider, c.task4);
    Steps(20);
    EXPECT_EQ(log_.ticks[0].size(), 20u);
    EXPECT_EQ(log_.ticks[1], c.list2_ticks);
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    HostRecords, DividerTest,
    ::testing::Values(DividerCase{{0, 10, 10, 1}, 10, 100, 100, {0, 10}},
                      DividerCase{{0, 0, 5, 5}, 10, 10, 1, std::vector<int>(20, 0)},
                      DividerCase{{0, 4, 3, 0}, 4, 12, 1, std::vector<int>(20, 0)},
                      DividerCase{{0, 3, 1, 5}, 3, 3, 15, {0, 3, 6, 9, 12, 0, 3}},
                      DividerCase{{0, 2.9, -1.7, 1}, 2, -2, -2, std::vector<int>(10, 0)},
                      // NaN truncates to INT32_MIN; INT32_MIN x 2 wraps to 0 in 32 bits.
                      DividerCase{{0, kNaN, 2, 1}, INT32_MIN, 10, 1, std::vector<int>(20, 0)},
                      DividerCase{{0, 1e300, -1, 1}, INT32_MIN, INT32_MIN, INT32_MIN, {0}}));

TEST_F(EnvironmentTest, TickWrapsAtTheTask4DividerAndListsThreeAndFourRunOnlyAtTickZero) {
    const double record[4] = {0, 10, 10, 1};
    Build(record);
    Steps(250);
    EXPECT_EQ(log_.ticks[2], (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(log_.ticks[3], (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(log_.ticks[1].size(), 25u);
    EXPECT_EQ(env_->scheduler->tick, 50);
}

TEST_F(EnvironmentTest, WithoutAHostRecordTheDefaultDividersApply) {
    Build(nullptr);
    EXPECT_EQ(env_->parameters->run_id, 0);
    EXPECT_EQ(env_->scheduler->task2_divider, 10);
    EXPECT_EQ(env_->scheduler->task3_divider, 10);
    EXPECT_EQ(env_->scheduler->task4_divider, 1);
}

TEST_F(EnvironmentTest, TimeCounterAdvancesByOneHundredPerStepAndWraps) {
    const double record[4] = {7, 10, 10, 1};
    Build(record);
    EXPECT_EQ(env_->parameters->run_id, 7);
    EXPECT_EQ(env_->time_counter, 0u);
    Steps(3);
    EXPECT_EQ(env_->time_counter, 300u);
    env_->time_counter = 4294967196u;
    Steps(2);
    EXPECT_EQ(env_->time_counter, 100u);
}

TEST_F(EnvironmentTest, RegistrationGivesDefaultsAndDeclaredInputsReadZero) {
    Build(nullptr);
    Probe* probe = ModuleAt<Probe>(env_, kSlotParameter);
    EXPECT_EQ(probe->parm_gain, 2.5f);
    ASSERT_NE(probe->some_input, nullptr);
    EXPECT_EQ(*probe->some_input, 0.0f);
    EXPECT_EQ(env_->parameters->entry_count, 1);
    EXPECT_EQ(env_->variables->entry_count, 1);
}

TEST_F(EnvironmentTest, TaskListIndexOutsideOneToFourIsRefused) {
    Build(nullptr);
    ModuleHeader* probe = ModuleInSlot(env_, kSlotParameter);
    EXPECT_EQ(RegisterTask(0, &ProbeRoutine<0>, probe), 1);
    EXPECT_EQ(RegisterTask(5, &ProbeRoutine<0>, probe), 1);
    EXPECT_EQ(RegisterTask(-1, &ProbeRoutine<0>, probe), 1);
}

TEST_F(EnvironmentTest, TasksRunInRankOrderNotCreationOrder) {
    Build(nullptr);
    // Probe has rank 2, SimOutput rank 3: list 1 is SimInput, Probe, SimOutput.
    const TaskNode* node = env_->scheduler->lists[0]->first;
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->module, ModuleInSlot(env_, kSlotSimInput));
    EXPECT_EQ(node->next->module, ModuleInSlot(env_, kSlotParameter));
    ASSERT_NE(node->next->next, nullptr);
    EXPECT_EQ(node->next->next->module, ModuleInSlot(env_, kSlotSimOutput));
    EXPECT_EQ(node->next->next->next, nullptr);
}

TEST(HostToBuffer, NonFiniteBecomesZeroAndOutOfRangeSaturates) {
    EXPECT_EQ(HostToBuffer(kNaN), 0.0f);
    EXPECT_EQ(HostToBuffer(std::numeric_limits<double>::infinity()), 0.0f);
    EXPECT_EQ(HostToBuffer(-std::numeric_limits<double>::infinity()), 0.0f);
    EXPECT_EQ(HostToBuffer(1e39), FLT_MAX);
    EXPECT_EQ(HostToBuffer(-1e300), -FLT_MAX);
    for (double v : {0.1, -35000.0 * std::sqrt(2.0 / 3.0), 1e-40, 3.4028234e38, -0.0}) {
        const float expected = static_cast<float>(v);
        const float got = HostToBuffer(v);
        EXPECT_EQ(std::memcmp(&expected, &got, sizeof got), 0) << v;
    }
}

TEST(BuildFailure, EveryFailedAllocationFailsTheBuildAndTearDownReleasesEverything) {
    testing::TempWorkDir dir;
    CountingAllocator probe_run;
    Environment* env = nullptr;
    ASSERT_EQ(BuildEnvironment(kProbeVariant, probe_run.Get(), &env), 0);
    EXPECT_EQ(TearDownEnvironment(env, false), 0);
    EXPECT_EQ(probe_run.live, 0);
    const int allocations = probe_run.calls;
    ASSERT_GT(allocations, 8);
    for (int n = 1; n <= allocations; ++n) {
        CountingAllocator failing;
        failing.fail_at = n;
        Environment* partial = nullptr;
        // The last allocations are task nodes: a node that cannot be had is left out and the
        // build still succeeds.
        const int task_nodes = 6;
        EXPECT_EQ(BuildEnvironment(kProbeVariant, failing.Get(), &partial),
                  n <= allocations - task_nodes ? 1 : 0)
            << "allocation " << n;
        EXPECT_EQ(partial == nullptr, n == 1);
        TearDownEnvironment(partial, false);
        EXPECT_EQ(failing.live, 0) << "allocation " << n;
    }
}

}  // namespace
}  // namespace svg
