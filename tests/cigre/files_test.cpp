// Trace and registry files: none unless the WriteFiles parameter asks for them, and then the
// very files the three-function library writes for the same run.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "cigre/cigre_run.h"
#include "support/host_run.h"
#include "support/temp_dir.h"
#include "variants/travik/host_channels.h"

namespace svg::testing {
namespace {

constexpr int kSteps = 60;

// Every input port's channel moves; the running command is on.
double Channel(const Deliverable& d, int channel, int k) {
    return 1000.0 * std::sin(0.05 * k + channel) + (channel == d.running_channel ? 1.0 : 0.0);
}

class CigreFiles : public ::testing::TestWithParam<const CigreModel*> {
  protected:
    const CigreModel& model_ = *GetParam();
    const Deliverable& reference_ = *model_.reference;
    const std::string files_[3] = {reference_.InputTrace(), reference_.OutputTrace(),
                                   "allDescriptions_7.tsv"};
};

TEST_P(CigreFiles, NoFilesUnlessAskedFor) {
    TempWorkDir dir;
    CigreRun run(model_);
    ASSERT_EQ(run.Start(), 0);
    for (int k = 0; k < kSteps; ++k) {
        ASSERT_EQ(run.Step(), 0);
    }
    ASSERT_EQ(run.Terminate(), 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_P(CigreFiles, AskedForTheyEqualTheThreeFunctionLibrarysFiles) {
    std::string reference[3];
    {
        TempWorkDir dir;
        HostRun host(reference_, {7, 10, 10, 1});
        // The settings as the model's single-precision parameters hold them.
        for (const ParameterChannel& row : kTravikParameterChannels) {
            auto& channel = host.in[static_cast<std::size_t>(row.channel)];
            channel = reference_.reduced() ? channel : static_cast<float>(channel);
        }
        ASSERT_EQ(host.Init(), 0);
        for (int k = 0; k < kSteps; ++k) {
            for (int port = 0; port < model_.input_count; ++port) {
                const int ch = model_.inputs[port].channel;
                host.in[static_cast<std::size_t>(ch)] = Channel(reference_, ch, k);
            }
            host.Step(k * 1e-4);
        }
        host.Terminate();
        for (int f = 0; f < 3; ++f) {
            reference[f] = ReadFile(files_[f]);
        }
    }
    TempWorkDir dir;
    CigreRun run(model_);
    run.SetParameter<std::uint8_t>("WriteFiles", 1);
    run.SetParameter<std::int32_t>("RunId", 7);
    // At the start the ports hold what the host's channels hold: the reduced build's settings
    // ports their registered values.
    const HostRun defaults(reference_);
    for (int port = 0; port < model_.input_count; ++port) {
        run.SetInput(port, defaults.in[static_cast<std::size_t>(model_.inputs[port].channel)]);
    }
    ASSERT_EQ(run.Start(), 0);
    for (int k = 0; k < kSteps; ++k) {
        for (int port = 0; port < model_.input_count; ++port) {
            run.SetInput(port, Channel(reference_, model_.inputs[port].channel, k));
        }
        ASSERT_EQ(run.Step(), 0);
    }
    ASSERT_EQ(run.Terminate(), 0);
    for (int f = 0; f < 3; ++f) {
        EXPECT_FALSE(reference[f].empty()) << files_[f];
        EXPECT_TRUE(ReadFile(files_[f]) == reference[f]) << files_[f];
    }
    EXPECT_TRUE(std::filesystem::exists("allParams_7.tbl"));
}

INSTANTIATE_TEST_SUITE_P(Models, CigreFiles, ::testing::ValuesIn(kCigreModels),
                         [](const auto& param_info) {
                             return std::string(param_info.param->name);
                         });

}  // namespace
}  // namespace svg::testing
