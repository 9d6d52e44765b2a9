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

double Channel(int channel, int k) {
    return 1000.0 * std::sin(0.05 * k + channel) + (channel == 43 ? 1.0 : 0.0);
}

const char* const kFiles[] = {"TravikDLLinput.txt", "TravikDLLoutput.txt", "allDescriptions_7.tsv"};

TEST(CigreFiles, NoFilesUnlessAskedFor) {
    TempWorkDir dir;
    CigreRun run;
    ASSERT_EQ(run.Start(), 0);
    for (int k = 0; k < kSteps; ++k) {
        ASSERT_EQ(run.Step(), 0);
    }
    ASSERT_EQ(run.Terminate(), 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(CigreFiles, AskedForTheyEqualTheThreeFunctionLibrarysFiles) {
    std::string reference[3];
    {
        TempWorkDir dir;
        HostRun host({7, 10, 10, 1});
        // The settings as the model's single-precision parameters hold them.
        for (const ParameterChannel& row : kTravikParameterChannels) {
            host.in[static_cast<std::size_t>(row.channel)] =
                static_cast<float>(host.in[static_cast<std::size_t>(row.channel)]);
        }
        ASSERT_EQ(host.Init(), 0);
        for (int k = 0; k < kSteps; ++k) {
            for (int ch = 0; ch < 44; ++ch) {
                host.in[static_cast<std::size_t>(ch)] = Channel(ch, k);
            }
            host.Step(k * 1e-4);
        }
        host.Terminate();
        for (int f = 0; f < 3; ++f) {
            reference[f] = ReadFile(kFiles[f]);
        }
    }
    TempWorkDir dir;
    CigreRun run;
    run.SetParameter<std::uint8_t>("WriteFiles", 1);
    run.SetParameter<std::int32_t>("RunId", 7);
    ASSERT_EQ(run.Start(), 0);
    for (int k = 0; k < kSteps; ++k) {
        for (int ch = 0; ch < 44; ++ch) {
            run.SetInput(ch, Channel(ch, k));
        }
        ASSERT_EQ(run.Step(), 0);
    }
    ASSERT_EQ(run.Terminate(), 0);
    for (int f = 0; f < 3; ++f) {
        EXPECT_FALSE(reference[f].empty()) << kFiles[f];
        EXPECT_TRUE(ReadFile(kFiles[f]) == reference[f]) << kFiles[f];
    }
    EXPECT_TRUE(std::filesystem::exists("allParams_7.tbl"));
}

}  // namespace
}  // namespace svg::testing
