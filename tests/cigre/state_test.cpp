// The whole instance lives in the host's state array: copies, moves and snapshots of that
// array continue exactly as the original, and instances share nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "cigre/cigre_run.h"
#include "support/temp_dir.h"

namespace svg::testing {
namespace {

// The outputs of `steps` samples from the current one, each as its bit pattern.
std::vector<std::uint64_t> Continue(CigreRun& run, int steps) {
    std::vector<std::uint64_t> trace;
    for (int k = 0; k < steps; ++k) {
        DriveGrid(run, run.steps);
        EXPECT_EQ(run.Step(), 0) << run.Error();
        for (int port = 0; port < run.info.NumOutputPorts; ++port) {
            trace.push_back(std::bit_cast<std::uint64_t>(run.Output(port)));
        }
    }
    return trace;
}

class CigreState : public ::testing::TestWithParam<const CigreModel*> {
  protected:
    const CigreModel& model_ = *GetParam();
    TempWorkDir dir_;
};

TEST_P(CigreState, SnapshotIntoAFreshInstanceContinuesBitIdentically) {
    CigreRun original(model_);
    ASSERT_EQ(original.Start(), 0) << original.Error();
    Continue(original, 700);
    const std::vector<double> states = original.states;
    const std::vector<double> outputs = original.outputs;
    const std::vector<std::uint64_t> reference = Continue(original, 800);
    // The original's array is gone: nothing may still point into it.
    std::fill(original.states.begin(), original.states.end(), std::nan(""));
    // A fresh instance, started as a host starts one, then given the snapshot.
    auto copy = std::make_unique<CigreRun>(model_);
    ASSERT_EQ(copy->Start(), 0);
    copy->states = states;
    copy->outputs = outputs;
    copy->steps = 700;
    copy->Attach();
    EXPECT_EQ(copy->lib.first_call(&copy->instance), 0);  // as a host does after a restore
    EXPECT_EQ(Continue(*copy, 800), reference);
}

// A snapshot restored in another run of the host: the states are taken in one load of the
// library, which is then unloaded, and restored into a second load at another address (copies
// under other names). Every address the states hold into the first load must have moved.
TEST_P(CigreState, SnapshotIntoAnotherLoadOfTheLibraryContinuesBitIdentically) {
    const std::filesystem::path library(model_.path);
    auto copy = [&](const char* suffix) {
        const std::filesystem::path to =
            dir_.path() / (model_.name + std::string(suffix) + library.extension().string());
        std::filesystem::copy_file(library, to);
        return std::make_unique<CigreLibrary>(to.string());
    };
    auto first = copy("_first");
    std::vector<double> states;
    std::vector<double> outputs;
    std::vector<std::uint64_t> reference;
    {
        CigreRun original(*first);
        original.model = &model_;
        ASSERT_EQ(original.Start(), 0);
        Continue(original, 600);
        states = original.states;
        outputs = original.outputs;
        reference = Continue(original, 700);
        ASSERT_EQ(original.Terminate(), 0);
    }
    auto second = copy("_second");  // loaded while the first still is
    first.reset();
    CigreRun restored(*second);
    restored.model = &model_;
    ASSERT_EQ(restored.Start(), 0);
    restored.states = states;
    restored.outputs = outputs;
    restored.steps = 600;
    restored.Attach();
    EXPECT_EQ(restored.lib.first_call(&restored.instance), 0) << restored.Error();
    EXPECT_EQ(Continue(restored, 700), reference);
    EXPECT_EQ(restored.Terminate(), 0);
}

TEST_P(CigreState, StatesMovedBeforeEverySampleChangeNothing) {
    CigreRun still(model_);
    CigreRun moving(model_);
    ASSERT_EQ(still.Start(), 0);
    ASSERT_EQ(moving.Start(), 0);
    std::vector<std::uint64_t> moved;
    for (int k = 0; k < 600; ++k) {
        std::vector<double> elsewhere = moving.states;  // the host's copy around every call
        moving.states.swap(elsewhere);
        moving.Attach();
        const std::vector<std::uint64_t> one = Continue(moving, 1);
        moved.insert(moved.end(), one.begin(), one.end());
    }
    EXPECT_EQ(moved, Continue(still, 600));
}

TEST_P(CigreState, InterleavedInstancesGiveTheResultsOfSeparateRuns) {
    CigreRun alone(model_);
    ASSERT_EQ(alone.Start(), 0);
    const std::vector<std::uint64_t> reference = Continue(alone, 900);

    CigreRun a(model_);
    CigreRun b(model_);
    ASSERT_EQ(a.Start(), 0);
    ASSERT_EQ(b.Start(), 0);
    std::vector<std::uint64_t> ta;
    std::vector<std::uint64_t> tb;
    for (int k = 0; k < 900; ++k) {
        const auto one_a = Continue(a, 1);
        const auto one_b = Continue(b, 1);
        ta.insert(ta.end(), one_a.begin(), one_a.end());
        tb.insert(tb.end(), one_b.begin(), one_b.end());
    }
    EXPECT_EQ(ta, reference);
    EXPECT_EQ(tb, reference);
}

// Held at its initial state (Initialize before every sample) until the release, the model
// then runs as one started at the release: no bump, nothing left over from the hold.
TEST_P(CigreState, HeldUntilReleaseStartsLikeAFreshStartAtTheRelease) {
    constexpr int kRelease = 300;
    CigreRun held(model_);
    ASSERT_EQ(held.Start(), 0);
    for (int k = 0; k < kRelease; ++k) {
        ASSERT_EQ(held.lib.initialize(&held.instance), 0);
        Continue(held, 1);
    }
    CigreRun fresh(model_);
    fresh.steps = kRelease - 1;
    ASSERT_EQ(fresh.Start(), 0);
    Continue(fresh, 1);
    EXPECT_EQ(Continue(held, 400), Continue(fresh, 400));
}

INSTANTIATE_TEST_SUITE_P(Models, CigreState, ::testing::ValuesIn(kCigreModels),
                         [](const auto& param_info) {
                             return std::string(param_info.param->name);
                         });

}  // namespace
}  // namespace svg::testing
